#pragma once

// What the software adapter can do: its D3DCAPS9, the formats it supports
// for each use, its multisampling, and the override through <swd3d9.h>.

#include <swd3d9.h>

namespace swd3d9 {

// The capabilities one Direct3D object reports and its devices honour.
struct AdapterProfile {
    D3DCAPS9 caps;
    DWORD removedFormatSupport = 0; // SWD3D9_NO_* bits
};

void fillDefaultCaps(D3DCAPS9& caps);
// The profile that a Direct3D object created now gets.
AdapterProfile currentAdapterProfile();
void setAdapterProfileOverride(const SWD3D9CAPSOVERRIDE* override);

// SWD3D9_FAIL_* kinds of resource whose creation fails as if memory had
// run out (SwD3D9SetCreationFailures); process-wide like the override.
DWORD simulatedCreationFailures();
void setSimulatedCreationFailures(DWORD kinds);

// The one display mode of the adapter and the modes full-screen devices
// may use.
D3DDISPLAYMODE currentDisplayMode();
// A full-screen swap chain switches the display to its mode while it
// lives; the desktop mode comes back when it goes.
void enterFullScreenMode(const void* owner, const D3DDISPLAYMODE& mode);
void leaveFullScreenMode(const void* owner);
UINT displayModeCount(const AdapterProfile& profile, D3DFORMAT format);
bool displayMode(const AdapterProfile& profile, D3DFORMAT format, UINT index, D3DDISPLAYMODE& mode);

bool isDisplayFormat(const AdapterProfile& profile, D3DFORMAT format);
// A back-buffer format usable with a display format.
bool isBackBufferFormat(const AdapterProfile& profile, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat);
bool isDepthStencilFormatSupported(const AdapterProfile& profile, D3DFORMAT format);
bool isTextureFormatSupported(D3DFORMAT format);

HRESULT checkDeviceFormat(const AdapterProfile& profile, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE type,
                          D3DFORMAT format);

// Quality levels of a multisample type for a surface format; 0 when the
// combination is not supported.
DWORD multisampleQualityLevels(const AdapterProfile& profile, D3DFORMAT format, D3DMULTISAMPLE_TYPE type);
// Samples per pixel of a supported type and quality.
UINT samplesPerPixel(D3DMULTISAMPLE_TYPE type, DWORD quality);

} // namespace swd3d9
