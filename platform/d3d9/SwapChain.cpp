#include "d3d9/SwapChain.h"

#include "d3d9/Device.h"
#include "pipeline/Formats.h"
#include "d3d9/Pipeline.h"
#include "pipeline/Resolve.h"
#include "win32/Window.h"

#include <algorithm>
#include <exception>
#include <new>

namespace swd3d9 {

namespace {

D3DFORMAT currentDisplayFormat(const AdapterProfile& profile)
{
    return isDisplayFormat(profile, D3DFMT_X8R8G8B8) ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
}

bool windowClientSize(HWND window, UINT& width, UINT& height)
{
    RECT rect;
    if (!GetClientRect(window, &rect))
        return false;
    width = static_cast<UINT>(rect.right - rect.left);
    height = static_cast<UINT>(rect.bottom - rect.top);
    return true;
}

constexpr UINT PRESENT_BAND_ROWS = 64;

} // namespace

HRESULT SwapChain::validateParameters(const AdapterProfile& profile, D3DPRESENT_PARAMETERS& p, HWND focusWindow)
{
    if (p.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX)
        return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0)
        p.BackBufferCount = 1;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount != 1)
        return D3DERR_INVALIDCALL;
    const HWND window = p.hDeviceWindow ? p.hDeviceWindow : focusWindow;
    if (!window || !IsWindow(window))
        return D3DERR_INVALIDCALL;
    if (p.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT && p.PresentationInterval != D3DPRESENT_INTERVAL_ONE &&
        p.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE)
        return D3DERR_INVALIDCALL;

    if (p.Windowed) {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN)
            p.BackBufferFormat = currentDisplayFormat(profile);
        // Windowed back buffers are converted when presented, so any
        // render-target format the display side supports will do.
        const bool usable = (p.BackBufferFormat == D3DFMT_A8R8G8B8 && isDisplayFormat(profile, D3DFMT_X8R8G8B8)) ||
                            isDisplayFormat(profile, p.BackBufferFormat);
        if (!usable)
            return D3DERR_INVALIDCALL;
        if (p.FullScreen_RefreshRateInHz != 0)
            return D3DERR_INVALIDCALL;
        // A zero size takes the window's client size (at least one pixel).
        UINT width = 0, height = 0;
        windowClientSize(window, width, height);
        if (p.BackBufferWidth == 0)
            p.BackBufferWidth = std::max(1u, width);
        if (p.BackBufferHeight == 0)
            p.BackBufferHeight = std::max(1u, height);
    } else {
        const D3DFORMAT adapterFormat =
            p.BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : p.BackBufferFormat;
        if (!isBackBufferFormat(profile, adapterFormat, p.BackBufferFormat))
            return D3DERR_INVALIDCALL;
        bool found = false;
        D3DDISPLAYMODE mode;
        for (UINT i = 0; displayMode(profile, adapterFormat, i, mode); ++i) {
            if (mode.Width == p.BackBufferWidth && mode.Height == p.BackBufferHeight &&
                (p.FullScreen_RefreshRateInHz == 0 || p.FullScreen_RefreshRateInHz == mode.RefreshRate))
                found = true;
        }
        if (!found)
            return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferWidth > uint64_t{profile.caps.MaxTextureWidth} * 2 ||
        p.BackBufferHeight > uint64_t{profile.caps.MaxTextureHeight} * 2)
        return D3DERR_INVALIDCALL;

    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        const DWORD levels = multisampleQualityLevels(profile, p.BackBufferFormat, p.MultiSampleType);
        if (levels == 0)
            return D3DERR_INVALIDCALL;
        if (p.MultiSampleQuality >= levels || p.SwapEffect != D3DSWAPEFFECT_DISCARD ||
            (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
            return D3DERR_INVALIDCALL;
    } else if (p.MultiSampleQuality != 0) {
        return D3DERR_INVALIDCALL;
    }
    if (p.EnableAutoDepthStencil) {
        if (!isDepthStencilFormatSupported(profile, p.AutoDepthStencilFormat))
            return D3DERR_INVALIDCALL;
        if (p.MultiSampleType != D3DMULTISAMPLE_NONE &&
            multisampleQualityLevels(profile, p.AutoDepthStencilFormat, p.MultiSampleType) <= p.MultiSampleQuality)
            return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

SwapChain::SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit)
    : Lifetime(implicit ? 0 : 1), m_device(device), m_parameters(parameters), m_implicit(implicit)
{
    setOwnedElsewhere(implicit);
    if (!implicit) {
        device->registerSwapChain();
        device->AddRef();
    }
}

SwapChain::~SwapChain()
{
    leaveFullScreenMode(this);
    for (Surface* surface : m_backBuffers)
        delete surface;
    if (!m_implicit && m_device)
        m_device->unregisterSwapChain();
}

SwapChain* SwapChain::create(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit)
{
    SwapChain* chain = new (std::nothrow) SwapChain(device, parameters, implicit);
    if (!chain)
        return nullptr;
    const auto discard = [&] {
        if (implicit)
            chain->destroyImplicit();
        else
            chain->Release();
        return nullptr;
    };
    try {
        chain->m_backBuffers.reserve(parameters.BackBufferCount);
    } catch (const std::exception&) {
        return discard();
    }
    D3DSURFACE_DESC desc{parameters.BackBufferFormat,
                         D3DRTYPE_SURFACE,
                         D3DUSAGE_RENDERTARGET,
                         D3DPOOL_DEFAULT,
                         parameters.MultiSampleType,
                         parameters.MultiSampleQuality,
                         parameters.BackBufferWidth,
                         parameters.BackBufferHeight};
    const bool lockable = (parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    for (UINT i = 0; i < parameters.BackBufferCount; ++i) {
        Surface* surface = Surface::createStandalone(device, desc, lockable, true);
        if (!surface)
            return discard();
        surface->setSwapChain(chain);
        chain->m_backBuffers.push_back(surface);
    }
    if (!parameters.Windowed)
        enterFullScreenMode(chain, chain->fullScreenMode());
    return chain;
}

void SwapChain::destroyImplicit() { delete this; }

bool SwapChain::isReferenced() const
{
    if (publicRefs() > 0)
        return true;
    for (const Surface* surface : m_backBuffers) {
        if (surface->publicRefs() > 0)
            return true;
    }
    return false;
}

HWND SwapChain::presentationWindow() const
{
    return m_parameters.hDeviceWindow ? m_parameters.hDeviceWindow : m_device->focusWindow();
}

void SwapChain::onPublicRefsStarted()
{
    if (m_implicit)
        m_device->AddRef();
}

void SwapChain::onPublicRefsEnded() { m_device->Release(); }

HRESULT STDMETHODCALLTYPE SwapChain::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DSwapChain9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3DSwapChain9});
}

void readSurfaceBGRA(const PixelBuffer& pixels, const RECT& rect, uint32_t* target)
{
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const UINT left = static_cast<UINT>(rect.left);
    if (pixels.samples() <= 1) {
        for (LONG y = rect.top; y < rect.bottom; ++y, target += width)
            pipeline::rowToBGRA(pixels.format(), pixels.pixel(left, static_cast<UINT>(y)), width, target);
        return;
    }
    // Multisampled rows resolve a block at a time, the way every other
    // reader of the surface resolves them.
    constexpr UINT BLOCK = 256;
    alignas(16) uint8_t resolved[BLOCK * 16];
    for (LONG y = rect.top; y < rect.bottom; ++y, target += width) {
        for (UINT done = 0; done < width; done += BLOCK) {
            const UINT count = std::min(BLOCK, width - done);
            pipeline::resolveRow(pixels, left + done, static_cast<UINT>(y), 0, count, resolved);
            pipeline::rowToBGRA(pixels.format(), resolved, count, target + done);
        }
    }
}

HRESULT STDMETHODCALLTYPE SwapChain::Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                                             CONST RGNDATA* pDirtyRegion, DWORD dwFlags)
{
    (void)pDirtyRegion;
    (void)dwFlags;
    flushDraws(*m_device);
    if (m_device->isLost()) {
        m_device->acknowledgeLoss();
        return D3DERR_DEVICELOST;
    }
    // Rectangles are for the copy swap effect only.
    if ((pSourceRect || pDestRect) && m_parameters.SwapEffect != D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    const PixelBuffer& pixels = m_backBuffers[0]->pixels();
    RECT source{0, 0, static_cast<LONG>(pixels.width()), static_cast<LONG>(pixels.height())};
    if (pSourceRect) {
        if (pSourceRect->left < 0 || pSourceRect->top < 0 || pSourceRect->left >= pSourceRect->right ||
            pSourceRect->top >= pSourceRect->bottom || pSourceRect->right > source.right ||
            pSourceRect->bottom > source.bottom)
            return D3DERR_INVALIDCALL;
        source = *pSourceRect;
    }
    const HWND window = hDestWindowOverride ? hDestWindowOverride : presentationWindow();
    const UINT width = static_cast<UINT>(source.right - source.left);
    const UINT height = static_cast<UINT>(source.bottom - source.top);
    // The picture the window showed before is the memory of the next one:
    // a frame of the same size then neither allocates nor touches new pages.
    std::vector<uint32_t> image;
    image.swap(m_spareImage);
    try {
        image.resize(static_cast<size_t>(width) * height);
    } catch (const std::exception&) {
        m_spareImage.swap(image);
        return E_OUTOFMEMORY;
    }
    // Bands of rows are converted on the drawing threads.
    struct Conversion {
        const PixelBuffer* pixels;
        RECT source;
        uint32_t* image;
    } conversion{&pixels, source, image.data()};
    const unsigned bands = (height + PRESENT_BAND_ROWS - 1) / PRESENT_BAND_ROWS;
    const bool converted = runOnDrawingThreads(
        *m_device, bands,
        [](void* context, unsigned band) {
            const Conversion& c = *static_cast<const Conversion*>(context);
            RECT rows = c.source;
            rows.top += static_cast<LONG>(band * PRESENT_BAND_ROWS);
            rows.bottom = std::min(rows.bottom, rows.top + static_cast<LONG>(PRESENT_BAND_ROWS));
            const size_t width = static_cast<size_t>(c.source.right - c.source.left);
            readSurfaceBGRA(*c.pixels, rows, c.image + static_cast<size_t>(band) * PRESENT_BAND_ROWS * width);
        },
        &conversion);
    if (!converted) {
        m_spareImage.swap(image);
        return E_OUTOFMEMORY;
    }
    {
        std::lock_guard<std::mutex> lock(swwin32::windowMutex());
        HWND__* target = swwin32::lookUpWindow(window);
        if (!target) {
            m_spareImage.swap(image);
            return D3DERR_INVALIDCALL;
        }
        target->presentedWidth = width;
        target->presentedHeight = height;
        target->presented.swap(image);
    }
    m_spareImage.swap(image);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetFrontBufferData(IDirect3DSurface9* pDestSurface)
{
    Surface* target = toSurface(pDestSurface);
    if (!target || target->desc().Format != D3DFMT_A8R8G8B8 || target->desc().Pool != D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::mutex> lock(swwin32::windowMutex());
    HWND__* window = swwin32::lookUpWindow(presentationWindow());
    if (!window)
        return D3DERR_INVALIDCALL;
    PixelBuffer& pixels = target->pixels();
    if (pixels.width() < window->presentedWidth || pixels.height() < window->presentedHeight)
        return D3DERR_INVALIDCALL;
    for (UINT y = 0; y < window->presentedHeight; ++y)
        std::copy_n(&window->presented[static_cast<size_t>(y) * window->presentedWidth], window->presentedWidth,
                    reinterpret_cast<uint32_t*>(pixels.pixel(0, y)));
    // Drivers copy the front buffer of a multisampled swap chain with its
    // unused X8 byte as zero, where single-sample ones give opaque alpha.
    if (m_parameters.MultiSampleType != D3DMULTISAMPLE_NONE) {
        for (UINT y = 0; y < window->presentedHeight; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(pixels.pixel(0, y));
            for (UINT x = 0; x < window->presentedWidth; ++x)
                row[x] &= 0x00FFFFFFu;
        }
    }
    target->noteContentChanged(nullptr);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetBackBuffer(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                                   IDirect3DSurface9** ppBackBuffer)
{
    // A refused call leaves the caller's pointer as it was, as Direct3D does.
    if (!ppBackBuffer || iBackBuffer >= m_backBuffers.size() || Type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    m_backBuffers[iBackBuffer]->AddRef();
    *ppBackBuffer = m_backBuffers[iBackBuffer];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetRasterStatus(D3DRASTER_STATUS* pRasterStatus)
{
    if (!pRasterStatus)
        return D3DERR_INVALIDCALL;
    pRasterStatus->InVBlank = FALSE;
    pRasterStatus->ScanLine = 0;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetDisplayMode(D3DDISPLAYMODE* pMode)
{
    if (!pMode)
        return D3DERR_INVALIDCALL;
    *pMode = m_parameters.Windowed ? currentDisplayMode() : fullScreenMode();
    return D3D_OK;
}

D3DDISPLAYMODE SwapChain::fullScreenMode() const
{
    D3DDISPLAYMODE mode;
    mode.Width = m_parameters.BackBufferWidth;
    mode.Height = m_parameters.BackBufferHeight;
    mode.RefreshRate = 60;
    mode.Format = m_parameters.BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : m_parameters.BackBufferFormat;
    return mode;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    *pPresentationParameters = m_parameters;
    return D3D_OK;
}

IDirect3DSwapChain9* swapChainInterface(SwapChain* swapChain) { return swapChain; }

} // namespace swd3d9
