// Resource creation: argument rules of Direct3D 9 for each kind.

#include "d3d9/Device.h"

#include "pipeline/Formats.h"

namespace swd3d9 {

namespace {

const DWORD TEXTURE_USAGE = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                            D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP | D3DUSAGE_SOFTWAREPROCESSING;
const DWORD BUFFER_USAGE = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_DONOTCLIP |
                           D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES;

bool isValidPool(D3DPOOL pool) { return pool >= D3DPOOL_DEFAULT && pool <= D3DPOOL_SCRATCH; }

// Pool and usage rules shared by the three texture kinds.
HRESULT checkTextureArguments(const D3DCAPS9& caps, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              bool volume)
{
    if (!isValidPool(pool) || (usage & ~TEXTURE_USAGE))
        return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DMAP))
        return D3DERR_INVALIDCALL;
    if (!isColorFormat(format))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && (pool != D3DPOOL_DEFAULT || volume || !isRenderTargetFormat(format)))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && (pool == D3DPOOL_MANAGED || (usage & D3DUSAGE_RENDERTARGET) ||
                                       !(caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES)))
        return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        if (volume || pool == D3DPOOL_SYSTEMMEM || !(caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) || levels > 1)
            return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

// Limits of the device's capabilities; scratch resources have none.
bool withinTextureLimits(const D3DCAPS9& caps, D3DPOOL pool, UINT width, UINT height)
{
    return pool == D3DPOOL_SCRATCH || (width <= caps.MaxTextureWidth && height <= caps.MaxTextureHeight);
}

} // namespace

HRESULT STDMETHODCALLTYPE Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle)
{
    if (!ppTexture || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    const HRESULT check = checkTextureArguments(caps(), Levels, Usage, Format, Pool, false);
    if (FAILED(check))
        return check;
    if (Width == 0 || Height == 0 || !withinTextureLimits(caps(), Pool, Width, Height))
        return D3DERR_INVALIDCALL;
    Texture* texture = Texture::create(this, Width, Height, Levels, Usage, Format, Pool);
    if (!texture)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppTexture = texture;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                                      D3DFORMAT Format, D3DPOOL Pool,
                                                      IDirect3DVolumeTexture9** ppVolumeTexture, HANDLE* pSharedHandle)
{
    if (!ppVolumeTexture || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppVolumeTexture = nullptr;
    const HRESULT check = checkTextureArguments(caps(), Levels, Usage, Format, Pool, true);
    if (FAILED(check))
        return check;
    if (Width == 0 || Height == 0 || Depth == 0)
        return D3DERR_INVALIDCALL;
    if (Pool != D3DPOOL_SCRATCH && (!(caps().TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP) ||
                                    Width > caps().MaxVolumeExtent || Height > caps().MaxVolumeExtent ||
                                    Depth > caps().MaxVolumeExtent))
        return D3DERR_INVALIDCALL;
    VolumeTexture* texture = VolumeTexture::create(this, Width, Height, Depth, Levels, Usage, Format, Pool);
    if (!texture)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppVolumeTexture = texture;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                                    D3DPOOL Pool, IDirect3DCubeTexture9** ppCubeTexture,
                                                    HANDLE* pSharedHandle)
{
    if (!ppCubeTexture || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppCubeTexture = nullptr;
    const HRESULT check = checkTextureArguments(caps(), Levels, Usage, Format, Pool, false);
    if (FAILED(check))
        return check;
    if (EdgeLength == 0 || !withinTextureLimits(caps(), Pool, EdgeLength, EdgeLength) ||
        (Pool != D3DPOOL_SCRATCH && !(caps().TextureCaps & D3DPTEXTURECAPS_CUBEMAP)))
        return D3DERR_INVALIDCALL;
    CubeTexture* texture = CubeTexture::create(this, EdgeLength, Levels, Usage, Format, Pool);
    if (!texture)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppCubeTexture = texture;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                                     IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle)
{
    if (!ppVertexBuffer || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppVertexBuffer = nullptr;
    if (Length == 0 || (Usage & ~BUFFER_USAGE) || !isValidPool(Pool) || Pool == D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    if (simulatedCreationFailures() & SWD3D9_FAIL_VERTEXBUFFER)
        return D3DERR_OUTOFVIDEOMEMORY;
    VertexBuffer* buffer = VertexBuffer::create(this, Length, Usage, FVF, Pool);
    if (!buffer)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppVertexBuffer = buffer;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                    IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle)
{
    if (!ppIndexBuffer || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppIndexBuffer = nullptr;
    if (Length == 0 || (Usage & ~BUFFER_USAGE) || !isValidPool(Pool) || Pool == D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    if (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    if ((Usage & D3DUSAGE_DYNAMIC) && Pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    if (simulatedCreationFailures() & SWD3D9_FAIL_INDEXBUFFER)
        return D3DERR_OUTOFVIDEOMEMORY;
    IndexBuffer* buffer = IndexBuffer::create(this, Length, Usage, Format, Pool);
    if (!buffer)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppIndexBuffer = buffer;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                                     D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                     BOOL Lockable, IDirect3DSurface9** ppSurface,
                                                     HANDLE* pSharedHandle)
{
    if (!ppSurface || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    if (Width == 0 || Height == 0 || !isRenderTargetFormat(Format) ||
        !withinTextureLimits(caps(), D3DPOOL_DEFAULT, Width, Height))
        return D3DERR_INVALIDCALL;
    const DWORD levels = multisampleQualityLevels(m_profile, Format, MultiSample);
    if (levels == 0 || MultisampleQuality >= levels)
        return D3DERR_INVALIDCALL;
    // Multisampled surfaces cannot be locked.
    if (Lockable && MultiSample != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC desc{Format, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                               MultiSample, MultisampleQuality, Width, Height};
    Surface* surface = Surface::createStandalone(this, desc, Lockable != FALSE, false);
    if (!surface)
        return D3DERR_OUTOFVIDEOMEMORY;
    *ppSurface = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                            D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                                            BOOL Discard, IDirect3DSurface9** ppSurface,
                                                            HANDLE* pSharedHandle)
{
    (void)Discard;
    if (!ppSurface || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    if (Width == 0 || Height == 0 || !isDepthStencilFormatSupported(m_profile, Format) ||
        !withinTextureLimits(caps(), D3DPOOL_DEFAULT, Width, Height))
        return D3DERR_INVALIDCALL;
    const DWORD levels = multisampleQualityLevels(m_profile, Format, MultiSample);
    if (levels == 0 || MultisampleQuality >= levels)
        return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC desc{Format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                               MultiSample, MultisampleQuality, Width, Height};
    Surface* surface = Surface::createStandalone(this, desc, false, false);
    if (!surface)
        return D3DERR_OUTOFVIDEOMEMORY;
    *ppSurface = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                                              IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle)
{
    if (!ppSurface || pSharedHandle)
        return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    // Managed plain surfaces do not exist.
    if (Width == 0 || Height == 0 || !isColorFormat(Format) || !isValidPool(Pool) || Pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    if (!withinTextureLimits(caps(), Pool, Width, Height))
        return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC desc{Format, D3DRTYPE_SURFACE, 0, Pool, D3DMULTISAMPLE_NONE, 0, Width, Height};
    Surface* surface = Surface::createStandalone(this, desc, true, false);
    if (!surface)
        return Pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    *ppSurface = surface;
    return D3D_OK;
}

} // namespace swd3d9
