// libFuzzer entry point for the D3DX file loaders on the software device:
// D3DXGetImageInfoFromFileInMemory, the texture, cube texture and volume
// texture loaders (with the defaults and with the file's own size, levels
// and format) and D3DXLoadSurfaceFromFileInMemory.
//
// Every call must succeed or fail with a documented code; a file whose
// description was read must then load into every kind of resource it can
// fill (out of memory aside), into resources of the sizes D3DX picks, and
// nothing may be left alive or released once too often.
//
// Pictures beyond LOAD_TEXELS are only described: loading converts every
// texel to floats and filters whole mip chains, so that large pictures
// would cost most of the run time while their loads take the same paths as
// small ones (the image decoders' own target decodes them at every size).

#include "FuzzDevice.h"

#include <d3dx9.h>
#include <swd3d9.h>

#include <cstdint>
#include <cstring>

namespace {

using fuzzdevice::require;

const uint64_t LOAD_TEXELS = 1 << 14;

bool isOutOfMemory(HRESULT result) { return result == E_OUTOFMEMORY || result == D3DERR_OUTOFVIDEOMEMORY; }

// One device for the whole run; loaders draw nothing, so its state does
// not carry from one input to the next.
IDirect3DDevice9* device()
{
    static IDirect3DDevice9* shared = fuzzdevice::createDevice();
    return shared;
}

bool isPowerOfTwo(UINT value) { return value != 0 && (value & (value - 1)) == 0; }

void checkInfo(const D3DXIMAGE_INFO& info)
{
    require(info.Width >= 1 && info.Height >= 1 && info.Depth >= 1 && info.MipLevels >= 1);
    require(info.ResourceType == D3DRTYPE_TEXTURE || info.ResourceType == D3DRTYPE_CUBETEXTURE ||
            info.ResourceType == D3DRTYPE_VOLUMETEXTURE);
    require(info.ImageFileFormat >= D3DXIFF_BMP && info.ImageFileFormat <= D3DXIFF_PFM);
    require(info.ResourceType == D3DRTYPE_VOLUMETEXTURE || info.Depth == 1);
}

// A texture made with default sizes: powers of two no larger than the
// device allows.
void checkDefaultTexture(IDirect3DTexture9* texture)
{
    D3DSURFACE_DESC desc;
    require(SUCCEEDED(texture->GetLevelDesc(0, &desc)));
    require(isPowerOfTwo(desc.Width) && isPowerOfTwo(desc.Height));
    require(texture->GetLevelCount() >= 1);
}

void loadTextures(const uint8_t* data, UINT size, const D3DXIMAGE_INFO& info)
{
    const bool cube = info.ResourceType == D3DRTYPE_CUBETEXTURE;

    IDirect3DTexture9* texture = nullptr;
    HRESULT result = D3DXCreateTextureFromFileInMemory(device(), data, size, &texture);
    // A cube map lends its first face to a plain texture, when it has it.
    require(SUCCEEDED(result) || isOutOfMemory(result) || (cube && result == D3DXERR_INVALIDDATA));
    require(SUCCEEDED(result) == (texture != nullptr));
    if (texture) {
        checkDefaultTexture(texture);
        texture->Release();
    }

    // The file's own size, levels and format, where the device holds it.
    D3DXIMAGE_INFO exInfo;
    texture = nullptr;
    result = D3DXCreateTextureFromFileInMemoryEx(device(), data, size, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2,
                                                 D3DX_FROM_FILE, 0, D3DFMT_FROM_FILE, D3DPOOL_SCRATCH,
                                                 D3DX_FILTER_NONE, D3DX_FILTER_BOX, 0, &exInfo, nullptr, &texture);
    require(SUCCEEDED(result) || isOutOfMemory(result) || result == D3DERR_INVALIDCALL ||
            (cube && result == D3DXERR_INVALIDDATA));
    require(SUCCEEDED(result) == (texture != nullptr));
    if (texture) {
        require(std::memcmp(&exInfo, &info, sizeof info) == 0);
        D3DSURFACE_DESC desc;
        require(SUCCEEDED(texture->GetLevelDesc(0, &desc)));
        require(desc.Width == info.Width && desc.Height == info.Height && desc.Format == info.Format);
        require(texture->GetLevelCount() == info.MipLevels);
        texture->Release();
    }

    IDirect3DCubeTexture9* cubeTexture = nullptr;
    result = D3DXCreateCubeTextureFromFileInMemory(device(), data, size, &cubeTexture);
    // Only cube-map files make cube textures.
    require(cube ? SUCCEEDED(result) || isOutOfMemory(result) : result == D3DXERR_INVALIDDATA);
    require(SUCCEEDED(result) == (cubeTexture != nullptr));
    if (cubeTexture)
        cubeTexture->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    result = D3DXCreateVolumeTextureFromFileInMemory(device(), data, size, &volume);
    // Volumes load from volume files and from plain pictures.
    require(cube ? result == D3DXERR_INVALIDDATA : SUCCEEDED(result) || isOutOfMemory(result));
    require(SUCCEEDED(result) == (volume != nullptr));
    if (volume) {
        D3DVOLUME_DESC desc;
        require(SUCCEEDED(volume->GetLevelDesc(0, &desc)));
        require(isPowerOfTwo(desc.Width) && isPowerOfTwo(desc.Height) && isPowerOfTwo(desc.Depth));
        volume->Release();
    }
}

// Into part of a surface, point-sampled with opaque black as the colour
// key; the first cube face present for cube maps.
void loadSurface(const uint8_t* data, UINT size, HRESULT described)
{
    IDirect3DSurface9* surface = nullptr;
    require(SUCCEEDED(device()->CreateOffscreenPlainSurface(16, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface,
                                                            nullptr)));
    D3DXIMAGE_INFO info;
    const RECT part{1, 1, 5, 3};
    HRESULT result =
        D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &part, data, size, nullptr, D3DX_FILTER_POINT, 0xFF000000,
                                        &info);
    require(SUCCEEDED(described) ? SUCCEEDED(result) || isOutOfMemory(result) : result == described);
    surface->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    const UINT length = static_cast<UINT>(size);
    device();
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    const UINT overReleasesBefore = SwD3D9GetOverReleaseCount();

    D3DXIMAGE_INFO info;
    const HRESULT described = D3DXGetImageInfoFromFileInMemory(data, length, &info);
    if (size == 0) {
        require(described == D3DERR_INVALIDCALL);
        return 0;
    }
    require(SUCCEEDED(described) || described == D3DXERR_INVALIDDATA || isOutOfMemory(described));
    if (SUCCEEDED(described)) {
        checkInfo(info);
        if (static_cast<uint64_t>(info.Width) * info.Height * info.Depth > LOAD_TEXELS)
            return 0;
        loadTextures(data, length, info);
    }
    loadSurface(data, length, described);

    require(SwD3D9GetLiveObjectCount() == liveBefore);
    require(SwD3D9GetOverReleaseCount() == overReleasesBefore);
    return 0;
}
