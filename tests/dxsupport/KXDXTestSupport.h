#pragma once

// Shared pieces of the tests of the Direct3D renderer and its device-side
// resources: holders of what the renderer factory makes, a hidden window
// with a KXDXDevice on it, a capability override that undoes itself, the
// picture a window last showed, and PNG images.

#include "renderer/KXAdapterFormatUtils.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRendererFactory.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include <d3d9.h>
#include <swd3d9.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

namespace kxdxtest {

// The factory every device-side object of the tests comes from; it holds no
// state, so one serves them all.
inline KXDXRendererFactory& factory()
{
    static KXDXRendererFactory instance;
    return instance;
}

// Gives an object back to the factory through the matching destroy
// operation.
struct FactoryDestroy {
    void operator()(KXDevice* device) const { factory().destroyDevice(device); }
    void operator()(KXRenderer* renderer) const { factory().destroyRenderer(renderer); }
    void operator()(KXRenderSurface* surface) const { factory().destroyRenderSurface(surface); }
    void operator()(KXRenderTexture* texture) const { factory().destroyRenderTexture(texture); }
    void operator()(KXMemoryTexture* texture) const { factory().destroyMemoryTexture(texture); }
    void operator()(KXTextureFilter* filter) const { factory().destroyTextureFilter(filter); }
    void operator()(KXDepthStencilSurface* surface) const { factory().destroyDepthStencilSurface(surface); }
};

// An object the factory made, held as T (its abstract class or the Direct3D
// class behind it) and destroyed by the factory.
template <class T>
using Made = std::unique_ptr<T, FactoryDestroy>;

// What a creation returned, as T. An object of another class fails the
// test: it goes back to the factory and the holder stays empty, as it does
// when the creation found no memory.
template <class T, class Abstract>
Made<T> adopt(Abstract* made)
{
    T* typed = dynamic_cast<T*>(made);
    if (made && !typed) {
        ADD_FAILURE() << "the factory made an object that is not a " << typeid(T).name();
        FactoryDestroy()(made);
    }
    return Made<T>(typed);
}

// The factory's creations, each held as T; a test that needs a Direct3D
// class's own accessors names that class.
template <class T = KXDevice>
Made<T> createDevice()
{
    return adopt<T>(factory().createDevice());
}

template <class T = KXRenderer>
Made<T> createRenderer(KXRenderer::KXRENDERERTYPE type)
{
    return adopt<T>(factory().createRenderer(type));
}

template <class T = KXRenderSurface>
Made<T> createRenderSurface()
{
    return adopt<T>(factory().createRenderSurface());
}

template <class T = KXRenderTexture>
Made<T> createRenderTexture()
{
    return adopt<T>(factory().createRenderTexture());
}

template <class T = KXMemoryTexture>
Made<T> createMemoryTexture()
{
    return adopt<T>(factory().createMemoryTexture());
}

template <class T = KXDepthStencilSurface>
Made<T> createDepthStencilSurface()
{
    return adopt<T>(factory().createDepthStencilSurface());
}

template <class T = KXTextureFilter>
Made<T> createTextureFilter(KXTextureFilter::KXTEXTUREFILTERTYPE type = KXTextureFilter::KXTEXTUREFILTER_BOXBLUR)
{
    return adopt<T>(factory().createTextureFilter(type));
}

// A hidden window of class "STATIC" of the given client size.
class TestWindow
{
public:
    TestWindow(int width, int height)
        : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, width, height, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~TestWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

// Makes every Direct3D object created while it lives report and honour the
// changed capabilities; the device's own come back when it goes.
class CapsOverride
{
public:
    CapsOverride()
    {
        SwD3D9GetDefaultCaps(&m_override.Caps);
        m_override.RemovedFormatSupport = 0;
    }
    ~CapsOverride() { SwD3D9SetCapsOverride(nullptr); }
    CapsOverride(const CapsOverride&) = delete;
    CapsOverride& operator=(const CapsOverride&) = delete;
    D3DCAPS9& caps() { return m_override.Caps; }
    void removeFormatSupport(DWORD bits) { m_override.RemovedFormatSupport |= bits; }
    // Takes effect for Direct3D objects created from now on.
    void apply() { SwD3D9SetCapsOverride(&m_override); }

private:
    SWD3D9CAPSOVERRIDE m_override{};
};

// Initialises device on the window with the best windowed format, without
// multisampling unless multisampled; the settings used go to `used`.
inline bool initializeBest(KXDevice& device, HWND window, bool multisampled = true, KXAdapterFormat* used = nullptr)
{
    KXAdapterFormat settings;
    if (KXAdapterFormatUtils::getBestFormat(device.getCapabilities().adapterFormats,
                                            KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != 0)
        return false;
    if (!multisampled)
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
    if (device.initialize(window, settings) != 0)
        return false;
    if (used)
        *used = settings;
    return true;
}

// A KXDXDevice from the factory, created on a window with the best windowed
// format; null when that fails.
inline Made<KXDXDevice> makeDevice(HWND window, KXAdapterFormat* used = nullptr, bool multisampled = true)
{
    Made<KXDXDevice> device = createDevice<KXDXDevice>();
    if (!device || !initializeBest(*device, window, multisampled, used))
        return nullptr;
    return device;
}

// The picture the window last showed, as 0xAARRGGBB words (alpha 255), rows
// from the top; empty when nothing was presented there.
struct PresentedImage {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(unsigned x, unsigned y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool empty() const { return pixels.empty(); }
};

inline PresentedImage presentedImage(HWND window)
{
    PresentedImage image;
    UINT width = 0, height = 0;
    if (SwD3D9GetPresentedImage(window, &width, &height, nullptr, 0) == D3DERR_NOTFOUND || width == 0)
        return image;
    image.pixels.resize(static_cast<size_t>(width) * height);
    if (FAILED(SwD3D9GetPresentedImage(window, &width, &height, image.pixels.data(),
                                       static_cast<UINT>(image.pixels.size() * 4))))
        return PresentedImage();
    image.width = width;
    image.height = height;
    return image;
}

// Identity world, view and projection: positions are clip coordinates.
inline void setIdentityTransforms(IDirect3DDevice9* d3d)
{
    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
        d3d->SetTransform(t, &identity);
}

// One frame: the target cleared to black and the depth to 1, draw run
// between BeginScene and EndScene, then Present; the picture the window
// then shows.
inline PresentedImage drawFrame(IDirect3DDevice9* d3d, HWND window, const std::function<void()>& draw)
{
    d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d3d->BeginScene();
    draw();
    d3d->EndScene();
    d3d->Present(nullptr, nullptr, nullptr, nullptr);
    return presentedImage(window);
}

// A render state read back from the device.
inline DWORD renderState(IDirect3DDevice9* d3d, D3DRENDERSTATETYPE state)
{
    DWORD value = 0xBAADF00D;
    EXPECT_EQ(D3D_OK, d3d->GetRenderState(state, &value));
    return value;
}

// The texture a stage holds; the reference GetTexture adds is given back,
// the pointer being only compared.
inline IDirect3DBaseTexture9* boundTexture(IDirect3DDevice9* d3d, DWORD stage)
{
    IDirect3DBaseTexture9* texture = nullptr;
    d3d->GetTexture(stage, &texture);
    if (texture)
        texture->Release();
    return texture;
}

// Red, green and blue of a 0xAARRGGBB word.
inline int red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int blue(uint32_t c) { return static_cast<int>(c & 0xFF); }

// A PNG image whose pixel (x, y) is the 0xAARRGGBB word pixel(x, y).
inline KXRef<KXImage2D> pngImage(unsigned width, unsigned height,
                                 const std::function<uint32_t(unsigned x, unsigned y)>& pixel)
{
    KXRawImage2D raw(width, height);
    raw.createData();
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            KXColor color;
            color.setBGRA(pixel(x, y));
            raw.setColor(x, y, color);
        }
    }
    KXRef<KXImage2D> image = KXMake<KXImage2D>();
    EXPECT_EQ(0, KXImageUtils::encode(&raw, image.get(), KXImage2D::KXIMAGE2D_PNG));
    return image;
}

// A 4 x 4 PNG image of one colour.
inline KXRef<KXImage2D> solidPng(const KXColor& color)
{
    const uint32_t word = color.getBGRA();
    return pngImage(4, 4, [word](unsigned, unsigned) { return word; });
}

// Counts the live Direct3D objects at construction and checks at the end of
// the test that the count came back and nothing was released twice.
class LiveObjectCheck
{
public:
    LiveObjectCheck() : m_live(SwD3D9GetLiveObjectCount()), m_overReleases(SwD3D9GetOverReleaseCount()) {}
    void expectBalanced() const
    {
        EXPECT_EQ(m_live, SwD3D9GetLiveObjectCount()) << "Direct3D objects leaked";
        EXPECT_EQ(m_overReleases, SwD3D9GetOverReleaseCount()) << "Direct3D objects released too often";
    }

private:
    UINT m_live;
    UINT m_overReleases;
};

// A test with a device on a 64 x 64 window; on tear-down the device goes
// and every Direct3D object the test made must be gone too.
class DeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device = makeDevice(window.get());
        ASSERT_TRUE(device);
    }
    void TearDown() override
    {
        device.reset();
        live.expectBalanced();
    }
    IDirect3DDevice9* d3d() const { return device->getD3DDevice(); }

    LiveObjectCheck live;
    TestWindow window{64, 64};
    Made<KXDXDevice> device;
};

// Records the types of the device events it hears.
class DeviceEvents : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event))
            types.push_back(deviceEvent->getType());
    }
    std::vector<int> types;
};

} // namespace kxdxtest
