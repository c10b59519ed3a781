// The Linux host and test interface of <swd3d9.h>.

#include "d3d9/Caps.h"
#include "d3d9/Device.h"
#include "d3d9/Objects.h"
#include "win32/Window.h"

#include <cstring>

using namespace swd3d9;

extern "C" {

void WINAPI SwD3D9GetDefaultCaps(D3DCAPS9* pCaps)
{
    if (pCaps)
        fillDefaultCaps(*pCaps);
}

void WINAPI SwD3D9SetCapsOverride(const SWD3D9CAPSOVERRIDE* pOverride) { setAdapterProfileOverride(pOverride); }

void WINAPI SwD3D9SetCreationFailures(DWORD kinds) { setSimulatedCreationFailures(kinds); }

HRESULT WINAPI SwD3D9LoseDevice(IDirect3DDevice9* pDevice)
{
    Device* device = toDevice(pDevice);
    if (!device)
        return D3DERR_INVALIDCALL;
    device->loseDevice();
    return D3D_OK;
}

HRESULT WINAPI SwD3D9GetPresentedImage(HWND hWnd, UINT* pWidth, UINT* pHeight, void* pPixels, UINT bufferSize)
{
    std::lock_guard<std::mutex> lock(swwin32::windowMutex());
    HWND__* window = swwin32::lookUpWindow(hWnd);
    if (!window)
        return D3DERR_INVALIDCALL;
    if (window->presented.empty())
        return D3DERR_NOTFOUND;
    if (pWidth)
        *pWidth = window->presentedWidth;
    if (pHeight)
        *pHeight = window->presentedHeight;
    if (!pPixels)
        return D3D_OK;
    const size_t bytes = window->presented.size() * sizeof(uint32_t);
    if (bufferSize < bytes)
        return D3DERR_MOREDATA;
    std::memcpy(pPixels, window->presented.data(), bytes);
    return D3D_OK;
}

UINT WINAPI SwD3D9GetLiveObjectCount(void) { return liveObjectCount(); }
UINT WINAPI SwD3D9GetOverReleaseCount(void) { return overReleaseCount(); }

} // extern "C"
