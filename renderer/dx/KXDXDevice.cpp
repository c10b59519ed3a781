#include "renderer/dx/KXDXDevice.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

namespace {

// The SDK version every Direct3D 9 header of the era defines.
constexpr UINT SDK_VERSION = 32;

D3DFORMAT backBufferFormatOf(uint32_t colorFormat)
{
    return colorFormat == KXAdapterFormat::KXCOLORFORMAT_X8R8G8B8 ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
}

// Tells the device's observers; false when memory ran out before any of
// them heard it (the observer list is copied for the walk).
bool notifyDevice(KXDXDevice& device, KXDeviceEvent::KXDEVICEEVENTTYPE type)
{
    return kxRunWithinMemory([&] { device.notify(KXDeviceEvent(type)); });
}

} // namespace

KXDXDevice::KXDXDevice()
{
    m_direct3D = Direct3DCreate9(SDK_VERSION);
    if (m_direct3D && SUCCEEDED(m_direct3D->GetDeviceCaps(0, D3DDEVTYPE_HAL, &m_caps))) {
        buildCapabilities();
        buildAdapterFormats();
    } else {
        m_caps = D3DCAPS9{};
    }
    // Without memory for a pool, meshes take buffers of their own.
    m_vbManager = new (std::nothrow) KXDXVbManager(this);
    m_ibManager = new (std::nothrow) KXDXIbManager(this);
}

KXDXDevice::~KXDXDevice()
{
    release();
    if (m_direct3D)
        m_direct3D->Release();
    m_direct3D = nullptr;
}

void KXDXDevice::buildCapabilities()
{
    const D3DCAPS9& caps = m_caps;
    KXDeviceCapabilities& out = m_capabilities;
    out.pixelShaderVersion = caps.PixelShaderVersion;
    out.vertexShaderVersion = caps.VertexShaderVersion;
    out.depthBias = (caps.RasterCaps & D3DPRASTERCAPS_DEPTHBIAS) ? 1 : 0;
    out.slopeScaledDepthBias = (caps.RasterCaps & D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS) ? 1 : 0;
    out.maxAnisotropy = caps.MaxAnisotropy;
    const DWORD filters = caps.TextureFilterCaps;
    auto best = [filters](DWORD anisotropic, DWORD linear) {
        return (filters & anisotropic) ? 2 : (filters & linear) ? 1 : 0;
    };
    out.bestMinFilter = best(D3DPTFILTERCAPS_MINFANISOTROPIC, D3DPTFILTERCAPS_MINFLINEAR);
    out.bestMagFilter = best(D3DPTFILTERCAPS_MAGFANISOTROPIC, D3DPTFILTERCAPS_MAGFLINEAR);
    out.linearMipFilter = (filters & D3DPTFILTERCAPS_MIPFLINEAR) ? 1 : 0;
    out.modulate = (caps.TextureOpCaps & (D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X)) ? 1 : 0;
}

bool KXDXDevice::probeDepthFormat(D3DFORMAT format, D3DFORMAT depthFormat) const
{
    return SUCCEEDED(m_direct3D->CheckDeviceFormat(m_caps.AdapterOrdinal, m_caps.DeviceType, format,
                                                   D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depthFormat)) &&
           SUCCEEDED(m_direct3D->CheckDepthStencilMatch(m_caps.AdapterOrdinal, m_caps.DeviceType, format, format,
                                                        depthFormat));
}

void KXDXDevice::buildAdapterFormats()
{
    struct Candidate {
        D3DFORMAT format;
        BOOL windowed;
    };
    // 32-bit before 16-bit colour, windowed before full screen.
    const Candidate candidates[] = {{D3DFMT_X8R8G8B8, TRUE},
                                    {D3DFMT_X8R8G8B8, FALSE},
                                    {D3DFMT_R5G6B5, TRUE},
                                    {D3DFMT_R5G6B5, FALSE}};
    for (const Candidate& c : candidates) {
        if (FAILED(m_direct3D->CheckDeviceType(m_caps.AdapterOrdinal, m_caps.DeviceType, c.format, c.format,
                                               c.windowed)))
            continue;
        KXAdapterFormat record;
        record.windowMode =
            c.windowed ? KXAdapterFormat::KXWINDOWMODE_WINDOWED : KXAdapterFormat::KXWINDOWMODE_FULLSCREEN;
        record.colorFormat = c.format == D3DFMT_X8R8G8B8 ? KXAdapterFormat::KXCOLORFORMAT_X8R8G8B8
                                                         : KXAdapterFormat::KXCOLORFORMAT_R5G6B5;
        if (probeDepthFormat(c.format, D3DFMT_D16))
            record.depthStencil |= KXAdapterFormat::KXDEPTHSTENCIL_D16;
        if (probeDepthFormat(c.format, D3DFMT_D24S8))
            record.depthStencil |= KXAdapterFormat::KXDEPTHSTENCIL_D24S8;
        record.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        if (SUCCEEDED(m_direct3D->CheckDeviceMultiSampleType(m_caps.AdapterOrdinal, m_caps.DeviceType, c.format,
                                                             c.windowed, D3DMULTISAMPLE_NONMASKABLE, nullptr)))
            record.multisampling |= KXAdapterFormat::KXMULTISAMPLING_NONMASKABLE;
        // Out of memory the list keeps the configurations found so far.
        if (!kxRunWithinMemory([&] { m_capabilities.adapterFormats.push_back(record); }))
            return;
    }
}

int KXDXDevice::initialize(KXWindowHandle window, KXAdapterFormat& settings)
{
    if (!window || !m_direct3D || m_device)
        return KXRESULT_FAILED;
    HWND hwnd = static_cast<HWND>(window);

    D3DPRESENT_PARAMETERS& p = m_presentParameters;
    p.Windowed = settings.windowMode == KXAdapterFormat::KXWINDOWMODE_WINDOWED ? TRUE : FALSE;
    if (settings.colorFormat == KXAdapterFormat::KXCOLORFORMAT_X8R8G8B8 ||
        settings.colorFormat == KXAdapterFormat::KXCOLORFORMAT_R5G6B5)
        p.BackBufferFormat = backBufferFormatOf(settings.colorFormat);
    p.BackBufferCount = 1;
    p.MultiSampleType = D3DMULTISAMPLE_NONE;
    p.MultiSampleQuality = 0;
    if (settings.multisampling & KXAdapterFormat::KXMULTISAMPLING_NONMASKABLE) {
        DWORD levels = 0;
        if (SUCCEEDED(m_direct3D->CheckDeviceMultiSampleType(m_caps.AdapterOrdinal, m_caps.DeviceType,
                                                             p.BackBufferFormat, p.Windowed,
                                                             D3DMULTISAMPLE_NONMASKABLE, &levels)) &&
            levels > 0) {
            p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
            p.MultiSampleQuality = levels - 1;
        }
    }
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = hwnd;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = settings.depthStencil == KXAdapterFormat::KXDEPTHSTENCIL_D16 ||
                                       !(settings.depthStencil & KXAdapterFormat::KXDEPTHSTENCIL_D24S8)
                                   ? D3DFMT_D16
                                   : D3DFMT_D24S8;
    p.FullScreen_RefreshRateInHz = 0;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    DWORD behavior = (m_caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                        : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    auto tryCreate = [&]() {
        // CreateDevice writes the sizes it chose into the parameters; a
        // failed try must not leave them behind for the next one.
        D3DPRESENT_PARAMETERS attempt = p;
        IDirect3DDevice9* device = nullptr;
        const HRESULT hr = m_direct3D->CreateDevice(m_caps.AdapterOrdinal, m_caps.DeviceType, hwnd, behavior,
                                                    &attempt, &device);
        if (SUCCEEDED(hr) && device) {
            m_device = device;
            p = attempt;
            return true;
        }
        if (device)
            device->Release();
        return SUCCEEDED(hr);
    };

    KXAdapterFormat chosen = settings;
    chosen.depthStencil = p.AutoDepthStencilFormat == D3DFMT_D16 ? KXAdapterFormat::KXDEPTHSTENCIL_D16
                                                                  : KXAdapterFormat::KXDEPTHSTENCIL_D24S8;
    bool succeeded = tryCreate();
    // Each fallback keeps the ones before it.
    if (!succeeded) {
        p.AutoDepthStencilFormat = D3DFMT_D16;
        chosen.depthStencil = KXAdapterFormat::KXDEPTHSTENCIL_D16;
        succeeded = tryCreate();
    }
    if (!succeeded) {
        p.MultiSampleType = D3DMULTISAMPLE_NONE;
        p.MultiSampleQuality = 0;
        chosen.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        succeeded = tryCreate();
    }
    if (!succeeded) {
        p.BackBufferFormat = D3DFMT_R5G6B5;
        chosen.colorFormat = KXAdapterFormat::KXCOLORFORMAT_R5G6B5;
        succeeded = tryCreate();
    }
    if (!succeeded) {
        behavior = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        succeeded = tryCreate();
    }
    if (!succeeded || !m_device)
        return KXRESULT_FAILED;

    // The caller's record names the configuration actually created.
    if (p.MultiSampleType == D3DMULTISAMPLE_NONE)
        chosen.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
    settings = chosen;
    m_settings = chosen;
    m_created = true;
    forgetBindings();
    return KXRESULT_OK;
}

int KXDXDevice::getSettings(KXAdapterFormat& settings)
{
    if (!m_created)
        return KXRESULT_FAILED;
    settings = m_settings;
    return KXRESULT_OK;
}

KXDeviceCapabilities KXDXDevice::getCapabilities()
{
    // The figures are copied with the list of formats moved aside (which
    // allocates nothing), then the list; out of memory the copy goes without
    // it and offers no configuration.
    KXDeviceCapabilities capabilities;
    std::vector<KXAdapterFormat> formats;
    formats.swap(m_capabilities.adapterFormats);
    capabilities = m_capabilities;
    formats.swap(m_capabilities.adapterFormats);
    kxRunWithinMemory([&] { capabilities.adapterFormats = m_capabilities.adapterFormats; });
    return capabilities;
}

void KXDXDevice::release()
{
    // Observers drop what they made on the device while it still exists.
    notifyDevice(*this, KXDeviceEvent::KXDEVICEEVENT_RELEASE);
    delete m_vbManager;
    m_vbManager = nullptr;
    delete m_ibManager;
    m_ibManager = nullptr;
    if (m_device)
        m_device->Release();
    m_device = nullptr;
    m_created = false;
    forgetBindings();
}

KXDevice::KXDEVICESTATUS KXDXDevice::getStatus()
{
    if (!m_device)
        return KXDEVICESTATUS_NODEVICE;
    switch (m_device->TestCooperativeLevel()) {
    case D3DERR_DEVICELOST:
        return KXDEVICESTATUS_LOST;
    case D3DERR_DEVICENOTRESET:
        return KXDEVICESTATUS_NOTRESET;
    case D3DERR_DRIVERINTERNALERROR:
        return KXDEVICESTATUS_DRIVERERROR;
    default:
        return KXDEVICESTATUS_USABLE;
    }
}

void KXDXDevice::reset()
{
    if (!m_device)
        return;
    // Observers that did not hear the first event still hold what a reset
    // must not find: out of memory the device is left as it is, and the
    // renderer tries again at its next frame.
    if (!notifyDevice(*this, KXDeviceEvent::KXDEVICEEVENT_BEFORERESET))
        return;
    // A reset unbinds every stream and index buffer.
    forgetBindings();
    m_device->Reset(&m_presentParameters);
    notifyDevice(*this, KXDeviceEvent::KXDEVICEEVENT_AFTERRESET);
}
