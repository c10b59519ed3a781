#pragma once

// Swap chains: the back buffers a device draws into and their presentation
// into a window.

#include "d3d9/Caps.h"
#include "d3d9/Objects.h"
#include "d3d9/Resources.h"

#include <vector>

namespace swd3d9 {

class Device;

class SwapChain final : public IDirect3DSwapChain9, public Lifetime
{
public:
    // Checks presentation parameters and fills in what they leave to the
    // runtime (back-buffer count, size from the window, format from the
    // display), as CreateDevice and Reset do.
    static HRESULT validateParameters(const AdapterProfile& profile, D3DPRESENT_PARAMETERS& parameters,
                                      HWND focusWindow);
    // Creates the back buffers; null when memory runs out. The implicit
    // swap chain belongs to the device; others to whoever references them.
    static SwapChain* create(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit);
    // Deletes an implicit swap chain and its back buffers.
    void destroyImplicit();

    Surface* backBuffer(UINT index) const { return index < m_backBuffers.size() ? m_backBuffers[index] : nullptr; }
    const D3DPRESENT_PARAMETERS& parameters() const { return m_parameters; }
    // True while the application holds the swap chain or a back buffer.
    bool isReferenced() const;
    HWND presentationWindow() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }
    HRESULT STDMETHODCALLTYPE Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                                      CONST RGNDATA* pDirtyRegion, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(IDirect3DSurface9* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9** ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS* pPresentationParameters) override;

protected:
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;

private:
    SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit);
    ~SwapChain() override;

    // The display mode of a full-screen swap chain.
    D3DDISPLAYMODE fullScreenMode() const;

    Device* m_device;
    D3DPRESENT_PARAMETERS m_parameters;
    bool m_implicit;
    std::vector<Surface*> m_backBuffers;
    // What the window showed before the last Present, reused by the next.
    std::vector<uint32_t> m_spareImage;
};

// Reads a rectangle of a colour surface as blue, green, red, 255 words,
// resolving a multisampled one.
void readSurfaceBGRA(const PixelBuffer& pixels, const RECT& rect, uint32_t* target);

} // namespace swd3d9
