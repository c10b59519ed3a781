#include "KXRasterRender.h"

#include "canvas/KXCanvas.h"
#include "renderer/KXAdapterFormatUtils.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRenderer.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXScene.h"

#include <windows.h>

#include <memory>

namespace {

// A hidden window of class "STATIC", destroyed with the object.
class HiddenWindow
{
public:
    HiddenWindow(unsigned width, unsigned height)
        : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, static_cast<int>(width), static_cast<int>(height),
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~HiddenWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

} // namespace

bool rasterRender(KXScene& scene, unsigned width, unsigned height, KXRawImage2D& image, std::string& error)
{
    HiddenWindow window(width, height);
    if (!window.get()) {
        error = "cannot create a window to draw in";
        return false;
    }
    // The device outlives the renderer that draws with it, and the renderer
    // the canvas that draws through it (locals go in reverse order).
    auto device = std::make_unique<KXDXDevice>();
    KXAdapterFormat settings;
    if (KXAdapterFormatUtils::getBestFormat(device->getCapabilities().adapterFormats,
                                            KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != KXRESULT_OK ||
        device->initialize(window.get(), settings) != KXRESULT_OK) {
        error = "no Direct3D 9 device is available";
        return false;
    }
    const D3DCAPS9* caps = device->getD3DCaps();
    if (width > caps->MaxTextureWidth || height > caps->MaxTextureHeight) {
        error = "the Direct3D device renders at most " + std::to_string(caps->MaxTextureWidth) + " x " +
                std::to_string(caps->MaxTextureHeight) + " pixels; ask for a smaller --size";
        return false;
    }

    KXDXRenderer renderer;
    if (renderer.initialize(device.get()) != KXRESULT_OK) {
        error = "the Direct3D renderer cannot use the device";
        return false;
    }
    renderer.setSize(width, height);
    const KXViewport viewport = renderer.getViewport();
    if (device->getStatus() != KXDevice::KXDEVICESTATUS_USABLE || viewport.getWidth() != width ||
        viewport.getHeight() != height) {
        error = "the Direct3D device cannot render " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels";
        return false;
    }

    {
        KXCanvas canvas;
        canvas.setRenderer(&renderer);
        canvas.render(&scene, nullptr);
    }
    const bool saved = renderer.saveToRawImage(&image) == KXRESULT_OK;
    renderer.uninitialize();
    if (!saved)
        error = "cannot read the picture back from the Direct3D device";
    return saved;
}
