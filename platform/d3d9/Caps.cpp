#include "d3d9/Caps.h"

#include "pipeline/Formats.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace swd3d9 {

namespace {

std::mutex& overrideMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool g_hasOverride = false;
SWD3D9CAPSOVERRIDE g_override;
std::atomic<DWORD> g_creationFailures{0};

struct ModeSize {
    UINT width, height;
};
const ModeSize MODES[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
const UINT REFRESH_RATE = 60;

// Non-maskable multisampling offers two qualities: 2 and 4 samples.
const DWORD NONMASKABLE_QUALITY_LEVELS = 2;

} // namespace

void fillDefaultCaps(D3DCAPS9& caps)
{
    std::memset(&caps, 0, sizeof(caps));
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.Caps2 = D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_FULLSCREENGAMMA;
    caps.Caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD | D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    caps.CursorCaps = D3DCURSORCAPS_COLOR;
    caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                   D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                   D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                   D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_CANBLTSYSTONONLOCAL | D3DDEVCAPS_HWRASTERIZATION;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                             D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_TSSARGTEMP | D3DPMISCCAPS_BLENDOP |
                             D3DPMISCCAPS_PERSTAGECONSTANT | D3DPMISCCAPS_SEPARATEALPHABLEND;
    caps.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                      D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_ANISOTROPY |
                      D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE |
                      D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS |
                      D3DPRASTERCAPS_MULTISAMPLE_TOGGLE;
    const DWORD allComparisons = 0xFF;
    caps.ZCmpCaps = allComparisons;
    caps.AlphaCmpCaps = allComparisons;
    const DWORD allBlendFactors = 0x3FFF;
    caps.SrcBlendCaps = allBlendFactors;
    caps.DestBlendCaps = allBlendFactors;
    caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                     D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                       D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                       D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MINFANISOTROPIC |
                             D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                             D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    caps.CubeTextureFilterCaps = caps.TextureFilterCaps;
    caps.VolumeTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                   D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR |
                                   D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                              D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV |
                              D3DPTADDRESSCAPS_MIRRORONCE;
    caps.VolumeTextureAddressCaps = caps.TextureAddressCaps;
    caps.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                    D3DLINECAPS_FOG;
    caps.MaxTextureWidth = 8192;
    caps.MaxTextureHeight = 8192;
    caps.MaxVolumeExtent = 1024;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 8192;
    caps.MaxAnisotropy = 16;
    caps.MaxVertexW = 1e10f;
    // Pre-transformed vertices are not clipped; the rasteriser takes
    // coordinates within this band.
    caps.GuardBandLeft = -16384.0f;
    caps.GuardBandTop = -16384.0f;
    caps.GuardBandRight = 16383.0f;
    caps.GuardBandBottom = 16383.0f;
    caps.ExtentsAdjust = 0.0f;
    caps.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                       D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;
    caps.FVFCaps = 8;
    // Every D3DTOP_ operation but the bump-mapping ones: there is no
    // bump-map format (D3DFMT_V8U8 and its kin) to feed them.
    caps.TextureOpCaps = 0x03FFFFFF & ~(D3DTEXOPCAPS_BUMPENVMAP | D3DTEXOPCAPS_BUMPENVMAPLUMINANCE);
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                                D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER |
                                D3DVTXPCAPS_TEXGEN_SPHEREMAP;
    caps.MaxActiveLights = 8;
    caps.MaxUserClipPlanes = 6;
    caps.MaxVertexBlendMatrices = 0;
    caps.MaxVertexBlendMatrixIndex = 0;
    // 1.0 tells that point sprites are not supported.
    caps.MaxPointSize = 1.0f;
    caps.MaxPrimitiveCount = 0x00FFFFFF;
    caps.MaxVertexIndex = 0x00FFFFFF;
    caps.MaxStreams = 16;
    caps.MaxStreamStride = 508;
    // Compiled programs run in both stages with shader model 3 limits.
    caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
    caps.PixelShader1xMaxValue = 3.402823466e38f;
    caps.VS20Caps.Caps = D3DVS20CAPS_PREDICATION;
    caps.VS20Caps.DynamicFlowControlDepth = D3DVS20_MAX_DYNAMICFLOWCONTROLDEPTH;
    caps.VS20Caps.NumTemps = D3DVS20_MAX_NUMTEMPS;
    caps.VS20Caps.StaticFlowControlDepth = D3DVS20_MAX_STATICFLOWCONTROLDEPTH;
    caps.PS20Caps.Caps = D3DPS20CAPS_ARBITRARYSWIZZLE | D3DPS20CAPS_GRADIENTINSTRUCTIONS | D3DPS20CAPS_PREDICATION |
                         D3DPS20CAPS_NODEPENDENTREADLIMIT | D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT;
    caps.PS20Caps.DynamicFlowControlDepth = D3DPS20_MAX_DYNAMICFLOWCONTROLDEPTH;
    caps.PS20Caps.NumTemps = D3DPS20_MAX_NUMTEMPS;
    caps.PS20Caps.StaticFlowControlDepth = D3DPS20_MAX_STATICFLOWCONTROLDEPTH;
    caps.PS20Caps.NumInstructionSlots = D3DPS20_MAX_NUMINSTRUCTIONSLOTS;
    caps.VertexTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                   D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.MaxVShaderInstructionsExecuted = 0xFFFFFFFF;
    caps.MaxPShaderInstructionsExecuted = 0xFFFFFFFF;
    caps.MaxVertexShader30InstructionSlots = D3DMAX30SHADERINSTRUCTIONS;
    caps.MaxPixelShader30InstructionSlots = D3DMAX30SHADERINSTRUCTIONS;
    caps.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    caps.MasterAdapterOrdinal = 0;
    caps.AdapterOrdinalInGroup = 0;
    caps.NumberOfAdaptersInGroup = 1;
    caps.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                     D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    caps.NumSimultaneousRTs = 1;
    caps.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                 D3DPTFILTERCAPS_MAGFLINEAR;
}

AdapterProfile currentAdapterProfile()
{
    AdapterProfile profile;
    std::lock_guard<std::mutex> lock(overrideMutex());
    if (g_hasOverride) {
        profile.caps = g_override.Caps;
        profile.removedFormatSupport = g_override.RemovedFormatSupport;
        // The identity of the adapter is not the override's to change.
        profile.caps.DeviceType = D3DDEVTYPE_HAL;
        profile.caps.AdapterOrdinal = 0;
    } else {
        fillDefaultCaps(profile.caps);
    }
    return profile;
}

void setAdapterProfileOverride(const SWD3D9CAPSOVERRIDE* override)
{
    std::lock_guard<std::mutex> lock(overrideMutex());
    g_hasOverride = override != nullptr;
    if (override)
        g_override = *override;
}

DWORD simulatedCreationFailures() { return g_creationFailures.load(std::memory_order_relaxed); }

void setSimulatedCreationFailures(DWORD kinds) { g_creationFailures.store(kinds, std::memory_order_relaxed); }

namespace {

// The mode a full-screen device switched the display to, and that device's
// swap chain; the display is one for the whole process, as on a desktop.
const void* g_fullScreenOwner = nullptr;
D3DDISPLAYMODE g_fullScreenMode;

} // namespace

void enterFullScreenMode(const void* owner, const D3DDISPLAYMODE& mode)
{
    std::lock_guard<std::mutex> lock(overrideMutex());
    g_fullScreenOwner = owner;
    g_fullScreenMode = mode;
}

void leaveFullScreenMode(const void* owner)
{
    std::lock_guard<std::mutex> lock(overrideMutex());
    if (g_fullScreenOwner == owner)
        g_fullScreenOwner = nullptr;
}

D3DDISPLAYMODE currentDisplayMode()
{
    {
        std::lock_guard<std::mutex> lock(overrideMutex());
        if (g_fullScreenOwner)
            return g_fullScreenMode;
    }
    D3DDISPLAYMODE mode;
    mode.Width = 1920;
    mode.Height = 1080;
    mode.RefreshRate = REFRESH_RATE;
    mode.Format = D3DFMT_X8R8G8B8;
    return mode;
}

bool isDisplayFormat(const AdapterProfile& profile, D3DFORMAT format)
{
    if (format == D3DFMT_X8R8G8B8)
        return !(profile.removedFormatSupport & SWD3D9_NO_X8R8G8B8_DISPLAY);
    if (format == D3DFMT_R5G6B5)
        return !(profile.removedFormatSupport & SWD3D9_NO_R5G6B5_DISPLAY);
    return false;
}

UINT displayModeCount(const AdapterProfile& profile, D3DFORMAT format)
{
    return isDisplayFormat(profile, format) ? static_cast<UINT>(sizeof(MODES) / sizeof(MODES[0])) : 0;
}

bool displayMode(const AdapterProfile& profile, D3DFORMAT format, UINT index, D3DDISPLAYMODE& mode)
{
    if (index >= displayModeCount(profile, format))
        return false;
    mode.Width = MODES[index].width;
    mode.Height = MODES[index].height;
    mode.RefreshRate = REFRESH_RATE;
    mode.Format = format;
    return true;
}

bool isBackBufferFormat(const AdapterProfile& profile, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat)
{
    if (!isDisplayFormat(profile, adapterFormat))
        return false;
    if (backBufferFormat == adapterFormat)
        return true;
    // A back buffer with alpha over a display without it.
    return adapterFormat == D3DFMT_X8R8G8B8 && backBufferFormat == D3DFMT_A8R8G8B8;
}

bool isDepthStencilFormatSupported(const AdapterProfile& profile, D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_D16:
        return !(profile.removedFormatSupport & SWD3D9_NO_D16);
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
        return !(profile.removedFormatSupport & SWD3D9_NO_D24S8);
    default:
        return false;
    }
}

bool isTextureFormatSupported(D3DFORMAT format) { return isColorFormat(format); }

HRESULT checkDeviceFormat(const AdapterProfile& profile, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE type,
                          D3DFORMAT format)
{
    if (!isDisplayFormat(profile, adapterFormat))
        return D3DERR_NOTAVAILABLE;
    const DWORD unsupportedUsage = D3DUSAGE_DMAP | D3DUSAGE_QUERY_SRGBREAD | D3DUSAGE_QUERY_SRGBWRITE |
                                   D3DUSAGE_QUERY_VERTEXTEXTURE | D3DUSAGE_QUERY_LEGACYBUMPMAP;
    if (usage & unsupportedUsage)
        return D3DERR_NOTAVAILABLE;
    switch (type) {
    case D3DRTYPE_VERTEXBUFFER:
        return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_INDEXBUFFER:
        return (format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_SURFACE:
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_CUBETEXTURE:
    case D3DRTYPE_VOLUMETEXTURE:
    case D3DRTYPE_VOLUME:
        break;
    default:
        return D3DERR_NOTAVAILABLE;
    }
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
        // Depth buffers are surfaces only; no depth textures.
        if (type != D3DRTYPE_SURFACE || !isDepthStencilFormatSupported(profile, format))
            return D3DERR_NOTAVAILABLE;
        return (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP)) ? D3DERR_NOTAVAILABLE : D3D_OK;
    }
    if (!isTextureFormatSupported(format))
        return D3DERR_NOTAVAILABLE;
    const bool volume = type == D3DRTYPE_VOLUMETEXTURE || type == D3DRTYPE_VOLUME;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING)) {
        if (volume || !isRenderTargetFormat(format))
            return D3DERR_NOTAVAILABLE;
    }
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && (type == D3DRTYPE_SURFACE || volume))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

DWORD multisampleQualityLevels(const AdapterProfile& profile, D3DFORMAT format, D3DMULTISAMPLE_TYPE type)
{
    const bool usable = isRenderTargetFormat(format) || isDepthStencilFormatSupported(profile, format);
    if (!usable)
        return 0;
    if (type == D3DMULTISAMPLE_NONE)
        return 1;
    if (profile.removedFormatSupport & SWD3D9_NO_MULTISAMPLE)
        return 0;
    switch (type) {
    case D3DMULTISAMPLE_NONMASKABLE:
        return NONMASKABLE_QUALITY_LEVELS;
    case D3DMULTISAMPLE_2_SAMPLES:
    case D3DMULTISAMPLE_4_SAMPLES:
        return 1;
    default:
        return 0;
    }
}

UINT samplesPerPixel(D3DMULTISAMPLE_TYPE type, DWORD quality)
{
    switch (type) {
    case D3DMULTISAMPLE_NONMASKABLE:
        return quality == 0 ? 2 : 4;
    case D3DMULTISAMPLE_2_SAMPLES:
        return 2;
    case D3DMULTISAMPLE_4_SAMPLES:
        return 4;
    default:
        return 1;
    }
}

} // namespace swd3d9
