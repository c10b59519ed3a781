#pragma once

// What the software Direct3D 9 device offers beyond the Direct3D API, for
// Linux hosts and tests: reading what a window last showed, losing a device
// as a display mode change would, changing the capabilities that the next
// Direct3DCreate9 reports, and counting live objects to find leaks.
//
// Not part of Direct3D: code that must also build on Windows keeps its use
// of this header behind a platform test.
//
// Like every entry point of the platform, none of these throws.

#include <d3d9.h>

// Format support that a capability override can take away.
#define SWD3D9_NO_D24S8 0x00000001L        // D3DFMT_D24S8 (and D24X8) unsupported
#define SWD3D9_NO_MULTISAMPLE 0x00000002L  // no multisample type beyond D3DMULTISAMPLE_NONE
#define SWD3D9_NO_R5G6B5_DISPLAY 0x00000004L // R5G6B5 is not a display or back-buffer format
#define SWD3D9_NO_D16 0x00000008L          // D3DFMT_D16 unsupported
#define SWD3D9_NO_X8R8G8B8_DISPLAY 0x00000010L // X8R8G8B8 is not a display or back-buffer format

// Resource kinds whose creation SwD3D9SetCreationFailures can make fail.
#define SWD3D9_FAIL_VERTEXBUFFER 0x00000001L
#define SWD3D9_FAIL_INDEXBUFFER 0x00000002L

typedef struct _SWD3D9CAPSOVERRIDE {
    // The capabilities GetDeviceCaps reports and the device honours
    // (texture size limits, MaxPrimitiveCount, MaxVertexIndex, DevCaps'
    // D3DDEVCAPS_HWTRANSFORMANDLIGHT for hardware vertex processing, ...).
    D3DCAPS9 Caps;
    // SWD3D9_NO_* bits.
    DWORD RemovedFormatSupport;
} SWD3D9CAPSOVERRIDE;

extern "C" {

// The capabilities of the software device as it stands, without override.
void WINAPI SwD3D9GetDefaultCaps(D3DCAPS9* pCaps);

// Makes every later Direct3DCreate9 report and honour these capabilities,
// until called again; null restores the device's own. Objects created
// before keep what they had.
void WINAPI SwD3D9SetCapsOverride(const SWD3D9CAPSOVERRIDE* pOverride);

// Loses the device as a display mode change would: Present reports
// D3DERR_DEVICELOST, TestCooperativeLevel D3DERR_DEVICELOST and then
// D3DERR_DEVICENOTRESET, and Reset restores it.
HRESULT WINAPI SwD3D9LoseDevice(IDirect3DDevice9* pDevice);

// The picture Present last showed in a window: width and height, and
// width x height pixels of four bytes (blue, green, red, 255), rows from
// the top, copied into pPixels when it is not null and bufferSize bytes
// suffice. D3DERR_NOTFOUND when nothing was presented there yet,
// D3DERR_MOREDATA when the buffer is too small (the size is still given),
// D3DERR_INVALIDCALL for a window that does not exist.
HRESULT WINAPI SwD3D9GetPresentedImage(HWND hWnd, UINT* pWidth, UINT* pHeight, void* pPixels, UINT bufferSize);

// How many Direct3D and D3DX objects of this platform are alive.
UINT WINAPI SwD3D9GetLiveObjectCount(void);
// How many times Release was called on an object that no caller
// referenced any more (a double release).
UINT WINAPI SwD3D9GetOverReleaseCount(void);

// Makes every later CreateVertexBuffer / CreateIndexBuffer of the kinds
// given fail with D3DERR_OUTOFVIDEOMEMORY (and a null object), until it is
// called again; 0 ends it. Affects every device of the process.
void WINAPI SwD3D9SetCreationFailures(DWORD kinds);

// How many threads rasterise the device's draws (the calling thread
// included); 0 and 1 both mean the calling thread alone. Images are the
// same whatever the count. The default is the machine's core count.
// Threads the system will not start leave the device drawing on fewer,
// down to the calling thread alone; that is not a failure.
HRESULT WINAPI SwD3D9SetRasterThreadCount(IDirect3DDevice9* pDevice, UINT count);

// How many threads rasterise the device's draws now, the calling thread
// included (the device's drawing threads start with its first draw).
HRESULT WINAPI SwD3D9GetRasterThreadCount(IDirect3DDevice9* pDevice, UINT* pCount);

// Lets `count` more drawing threads start (across every device of the
// process); every later start fails as if the system had refused the
// thread, until it is called again. SWD3D9_UNLIMITED_THREAD_STARTS, the
// default, ends it.
#define SWD3D9_UNLIMITED_THREAD_STARTS 0xFFFFFFFFu
void WINAPI SwD3D9LimitThreadStarts(UINT count);

} // extern "C"
