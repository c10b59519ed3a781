#include "d3d9/Direct3D9.h"

#include "d3d9/Device.h"
#include "pipeline/Formats.h"

#include <cstring>
#include <new>

namespace swd3d9 {

namespace {

// The identity of the adapter's monitor.
char g_monitor;

} // namespace

Direct3D9::Direct3D9() : Lifetime(1), m_profile(currentAdapterProfile()) {}

HRESULT Direct3D9::checkAdapter(UINT adapter, D3DDEVTYPE type) const
{
    if (adapter != 0)
        return D3DERR_INVALIDCALL;
    if (type == D3DDEVTYPE_HAL)
        return D3D_OK;
    if (type == D3DDEVTYPE_REF || type == D3DDEVTYPE_NULLREF)
        return D3DERR_NOTAVAILABLE;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Direct3D9::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3D9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3D9});
}

HRESULT STDMETHODCALLTYPE Direct3D9::RegisterSoftwareDevice(void* pInitializeFunction)
{
    (void)pInitializeFunction;
    return D3DERR_NOTAVAILABLE;
}

UINT STDMETHODCALLTYPE Direct3D9::GetAdapterCount() { return 1; }

HRESULT STDMETHODCALLTYPE Direct3D9::GetAdapterIdentifier(UINT Adapter, DWORD Flags,
                                                          D3DADAPTER_IDENTIFIER9* pIdentifier)
{
    (void)Flags;
    if (Adapter != 0 || !pIdentifier)
        return D3DERR_INVALIDCALL;
    std::memset(pIdentifier, 0, sizeof(*pIdentifier));
    std::strncpy(pIdentifier->Driver, "swd3d9", MAX_DEVICE_IDENTIFIER_STRING - 1);
    std::strncpy(pIdentifier->Description, "Software Direct3D 9 device", MAX_DEVICE_IDENTIFIER_STRING - 1);
    std::strncpy(pIdentifier->DeviceName, "\\\\.\\DISPLAY1", sizeof(pIdentifier->DeviceName) - 1);
    pIdentifier->DriverVersion.QuadPart = 0x0009000000000001LL;
    pIdentifier->DeviceIdentifier = GUID{0x5357d3d9, 0x0001, 0x0001, {0x80, 0, 0, 0, 0, 0, 0, 1}};
    return D3D_OK;
}

UINT STDMETHODCALLTYPE Direct3D9::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format)
{
    if (Adapter != 0)
        return 0;
    return displayModeCount(m_profile, Format);
}

HRESULT STDMETHODCALLTYPE Direct3D9::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                                                      D3DDISPLAYMODE* pMode)
{
    if (Adapter != 0 || !pMode)
        return D3DERR_INVALIDCALL;
    // A format that is not a display format is an invalid call, as
    // Direct3D answers, like a mode past the list.
    if (!isDisplayFormat(m_profile, Format))
        return D3DERR_INVALIDCALL;
    return displayMode(m_profile, Format, Mode, *pMode) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Direct3D9::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode)
{
    if (Adapter != 0 || !pMode)
        return D3DERR_INVALIDCALL;
    *pMode = currentDisplayMode();
    if (!isDisplayFormat(m_profile, D3DFMT_X8R8G8B8))
        pMode->Format = D3DFMT_R5G6B5;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D9::CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                                                     D3DFORMAT BackBufferFormat, BOOL bWindowed)
{
    const HRESULT adapter = checkAdapter(Adapter, DevType);
    if (FAILED(adapter))
        return adapter;
    if (BackBufferFormat == D3DFMT_UNKNOWN) {
        // Windowed devices may leave the back-buffer format to the display.
        if (!bWindowed)
            return D3DERR_INVALIDCALL;
        BackBufferFormat = AdapterFormat;
    }
    return isBackBufferFormat(m_profile, AdapterFormat, BackBufferFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT STDMETHODCALLTYPE Direct3D9::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                       DWORD Usage, D3DRESOURCETYPE RType, D3DFORMAT CheckFormat)
{
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    return checkDeviceFormat(m_profile, AdapterFormat, Usage, RType, CheckFormat);
}

HRESULT STDMETHODCALLTYPE Direct3D9::CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType,
                                                                D3DFORMAT SurfaceFormat, BOOL Windowed,
                                                                D3DMULTISAMPLE_TYPE MultiSampleType,
                                                                DWORD* pQualityLevels)
{
    (void)Windowed;
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    if (static_cast<DWORD>(MultiSampleType) > D3DMULTISAMPLE_16_SAMPLES)
        return D3DERR_INVALIDCALL;
    const DWORD levels = multisampleQualityLevels(m_profile, SurfaceFormat, MultiSampleType);
    if (pQualityLevels)
        *pQualityLevels = levels;
    return levels > 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT STDMETHODCALLTYPE Direct3D9::CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType,
                                                            D3DFORMAT AdapterFormat, D3DFORMAT RenderTargetFormat,
                                                            D3DFORMAT DepthStencilFormat)
{
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    if (!isDisplayFormat(m_profile, AdapterFormat))
        return D3DERR_NOTAVAILABLE;
    // Every depth format works with every render-target format.
    if (!isRenderTargetFormat(RenderTargetFormat) || !isDepthStencilFormatSupported(m_profile, DepthStencilFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D9::CheckDeviceFormatConversion(UINT Adapter, D3DDEVTYPE DeviceType,
                                                                 D3DFORMAT SourceFormat, D3DFORMAT TargetFormat)
{
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    return (isColorFormat(SourceFormat) && isRenderTargetFormat(TargetFormat)) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT STDMETHODCALLTYPE Direct3D9::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps)
{
    if (!pCaps)
        return D3DERR_INVALIDCALL;
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    *pCaps = m_profile.caps;
    return D3D_OK;
}

HMONITOR STDMETHODCALLTYPE Direct3D9::GetAdapterMonitor(UINT Adapter)
{
    return Adapter == 0 ? reinterpret_cast<HMONITOR>(&g_monitor) : nullptr;
}

HRESULT STDMETHODCALLTYPE Direct3D9::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                                  DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                                                  IDirect3DDevice9** ppReturnedDeviceInterface)
{
    if (!ppReturnedDeviceInterface)
        return D3DERR_INVALIDCALL;
    *ppReturnedDeviceInterface = nullptr;
    const HRESULT adapter = checkAdapter(Adapter, DeviceType);
    if (FAILED(adapter))
        return adapter;
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    return Device::create(this, m_profile, hFocusWindow, BehaviorFlags, pPresentationParameters,
                          ppReturnedDeviceInterface);
}

} // namespace swd3d9

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion)
{
    if (SDKVersion != D3D_SDK_VERSION)
        return nullptr;
    return new (std::nothrow) swd3d9::Direct3D9();
}
