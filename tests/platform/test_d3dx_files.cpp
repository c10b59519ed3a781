// D3DX image files: save and load round trips for each format, filters,
// colour keys, cube and volume files.

#include "D3DTestSupport.h"

#include "sceneapi/KXTempFile.h"

#include <cmath>
#include <cstdio>
#include <vector>

using namespace d3dtest;

namespace {

DWORD pattern(UINT x, UINT y) { return 0xFF000000u | ((x * 37) & 0xFF) << 16 | ((y * 53) & 0xFF) << 8 | ((x + y) * 17 & 0xFF); }

// Largest difference of one colour channel (alpha left out when asked).
int channelDifference(DWORD a, DWORD b, bool withAlpha)
{
    int worst = 0;
    for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

class D3DXFileTest : public DeviceTest
{
protected:
    Com<IDirect3DSurface9> patternSurface(UINT width, UINT height, D3DFORMAT format = D3DFMT_A8R8G8B8)
    {
        Com<IDirect3DSurface9> surface;
        device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, surface.out(), nullptr);
        fillSurface(surface.get(), pattern);
        return Com<IDirect3DSurface9>(surface.detach());
    }
};

struct FormatCase {
    D3DXIMAGE_FILEFORMAT format;
    int tolerance; // per channel
    bool keepsAlpha;
};

} // namespace

TEST_F(D3DXFileTest, SurfacesRoundTripThroughEveryFormat)
{
    const FormatCase cases[] = {
        {D3DXIFF_BMP, 0, true},  {D3DXIFF_PNG, 0, true},  {D3DXIFF_DDS, 0, true},  {D3DXIFF_DIB, 0, true},
        {D3DXIFF_TGA, 0, true},  {D3DXIFF_PPM, 0, false}, {D3DXIFF_JPG, 40, false}, {D3DXIFF_HDR, 2, false},
        {D3DXIFF_PFM, 1, false},
    };
    Com<IDirect3DSurface9> source = patternSurface(13, 7);
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.format);
        Com<ID3DXBuffer> file;
        ASSERT_EQ(D3D_OK, D3DXSaveSurfaceToFileInMemory(file.out(), c.format, source.get(), nullptr, nullptr));
        D3DXIMAGE_INFO info;
        ASSERT_EQ(D3D_OK, D3DXGetImageInfoFromFileInMemory(file->GetBufferPointer(), file->GetBufferSize(), &info));
        EXPECT_EQ(c.format, info.ImageFileFormat);
        EXPECT_EQ(13u, info.Width);
        EXPECT_EQ(7u, info.Height);
        Com<IDirect3DSurface9> loaded;
        device->CreateOffscreenPlainSurface(13, 7, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, loaded.out(), nullptr);
        ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromFileInMemory(loaded.get(), nullptr, nullptr, file->GetBufferPointer(),
                                                          file->GetBufferSize(), nullptr, D3DX_FILTER_NONE, 0,
                                                          nullptr));
        int worst = 0;
        for (UINT y = 0; y < 7; ++y)
            for (UINT x = 0; x < 13; ++x)
                worst = std::max(worst, channelDifference(pattern(x, y), readPixel(loaded.get(), x, y), true));
        EXPECT_LE(worst, c.tolerance);
    }
}

TEST_F(D3DXFileTest, SavingAPartAndToAFile)
{
    Com<IDirect3DSurface9> source = patternSurface(16, 16);
    const RECT part{4, 8, 12, 10};
    Com<ID3DXBuffer> file;
    ASSERT_EQ(D3D_OK, D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_PNG, source.get(), nullptr, &part));
    D3DXIMAGE_INFO info;
    D3DXGetImageInfoFromFileInMemory(file->GetBufferPointer(), file->GetBufferSize(), &info);
    EXPECT_EQ(8u, info.Width);
    EXPECT_EQ(2u, info.Height);
    const RECT outside{10, 10, 20, 12};
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_PNG, source.get(), nullptr, &outside));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXSaveSurfaceToFileInMemory(file.out(), static_cast<D3DXIMAGE_FILEFORMAT>(42),
                                                                source.get(), nullptr, nullptr));

    KXTempFile temp(true, L"png");
    ASSERT_EQ(D3D_OK, D3DXSaveSurfaceToFileW(temp.getFileName(), D3DXIFF_PNG, source.get(), nullptr, nullptr));
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, D3DXCreateTextureFromFileW(device.get(), temp.getFileName(), texture.out()));
    EXPECT_EQ(D3DERR_NOTFOUND, D3DXCreateTextureFromFileW(device.get(), L"/no/such/file.png", texture.out()));
}

TEST_F(D3DXFileTest, TexturesFromFilesGetPowerOfTwoSizesAndFullChains)
{
    Com<IDirect3DSurface9> source = patternSurface(20, 9);
    Com<ID3DXBuffer> file;
    D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_BMP, source.get(), nullptr, nullptr);
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, D3DXCreateTextureFromFileInMemory(device.get(), file->GetBufferPointer(), file->GetBufferSize(),
                                                        texture.out()));
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(32u, desc.Width);
    EXPECT_EQ(16u, desc.Height);
    EXPECT_EQ(D3DPOOL_MANAGED, desc.Pool);
    EXPECT_EQ(D3DFMT_X8R8G8B8, desc.Format); // an opaque picture
    EXPECT_EQ(6u, texture->GetLevelCount());

    // Exact sizes and one level on request; the last level averages all.
    Com<IDirect3DTexture9> exact;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3D_OK, D3DXCreateTextureFromFileInMemoryEx(
                          device.get(), file->GetBufferPointer(), file->GetBufferSize(), D3DX_DEFAULT_NONPOW2,
                          D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE,
                          D3DX_DEFAULT, 0, &info, nullptr, exact.out()));
    exact->GetLevelDesc(0, &desc);
    EXPECT_EQ(20u, desc.Width);
    EXPECT_EQ(1u, exact->GetLevelCount());
    EXPECT_EQ(D3DXIFF_BMP, info.ImageFileFormat);
    Com<IDirect3DSurface9> level;
    exact->GetSurfaceLevel(0, level.out());
    EXPECT_EQ(pattern(19, 8), readPixel(level.get(), 19, 8));

    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXCreateTextureFromFileInMemory(device.get(), "garbage!", 8, texture.out()));
}

TEST_F(D3DXFileTest, LinearFilterScalesAndColourKeyClearsExactMatches)
{
    // A 2x1 picture of black and white scaled to 4x1: the linear filter
    // blends the inner texels, the ends keep their colours.
    Com<IDirect3DSurface9> two;
    device->CreateOffscreenPlainSurface(2, 1, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, two.out(), nullptr);
    fillSurface(two.get(), [](UINT x, UINT) { return x == 0 ? 0xFF000000u : 0xFFFFFFFFu; });
    Com<ID3DXBuffer> file;
    D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_PNG, two.get(), nullptr, nullptr);
    Com<IDirect3DSurface9> four;
    device->CreateOffscreenPlainSurface(4, 1, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, four.out(), nullptr);
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromFileInMemory(four.get(), nullptr, nullptr, file->GetBufferPointer(),
                                                      file->GetBufferSize(), nullptr, D3DX_FILTER_LINEAR, 0, nullptr));
    EXPECT_EQ(0xFF000000u, readPixel(four.get(), 0, 0));
    EXPECT_EQ(0xFF404040u, readPixel(four.get(), 1, 0));
    EXPECT_EQ(0xFFBFBFBFu, readPixel(four.get(), 2, 0));
    EXPECT_EQ(0xFFFFFFFFu, readPixel(four.get(), 3, 0));

    // Opaque black becomes transparent black; nearly black stays.
    fillSurface(two.get(), [](UINT x, UINT) { return x == 0 ? 0xFF000000u : 0xFF010000u; });
    D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_PNG, two.get(), nullptr, nullptr);
    Com<IDirect3DSurface9> keyed;
    device->CreateOffscreenPlainSurface(2, 1, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, keyed.out(), nullptr);
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromFileInMemory(keyed.get(), nullptr, nullptr, file->GetBufferPointer(),
                                                      file->GetBufferSize(), nullptr, D3DX_FILTER_NONE, 0xFF000000,
                                                      nullptr));
    EXPECT_EQ(0x00000000u, readPixel(keyed.get(), 0, 0));
    EXPECT_EQ(0xFF010000u, readPixel(keyed.get(), 1, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXLoadSurfaceFromFileInMemory(keyed.get(), nullptr, nullptr, file->GetBufferPointer(),
                                              file->GetBufferSize(), nullptr, 9, 0, nullptr));
}

TEST_F(D3DXFileTest, SurfaceToSurfaceConvertsResolvesAndScales)
{
    Com<IDirect3DSurface9> source = patternSurface(8, 8);
    Com<IDirect3DSurface9> wide;
    device->CreateOffscreenPlainSurface(8, 8, D3DFMT_R5G6B5, D3DPOOL_SCRATCH, wide.out(), nullptr);
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromSurface(wide.get(), nullptr, nullptr, source.get(), nullptr, nullptr,
                                                 D3DX_DEFAULT, 0));
    D3DLOCKED_RECT locked;
    wide->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    const WORD packed = static_cast<WORD*>(locked.pBits)[3];
    wide->UnlockRect();
    const DWORD expected = pattern(3, 0);
    EXPECT_NEAR(static_cast<int>((expected >> 16) & 0xFF) * 31 / 255.0, packed >> 11, 0.51);

    // A multisampled render target reads back averaged, into a part.
    Com<IDirect3DSurface9> multi, copy;
    device->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, multi.out(), nullptr);
    device->ColorFill(multi.get(), nullptr, 0xFF204060);
    device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, copy.out(), nullptr);
    const RECT part{4, 4, 8, 8};
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromSurface(copy.get(), nullptr, &part, multi.get(), nullptr, nullptr,
                                                 D3DX_DEFAULT, 0));
    EXPECT_EQ(0xFF204060u, readPixel(copy.get(), 7, 7));
    EXPECT_EQ(0u, readPixel(copy.get(), 3, 3));
}

TEST_F(D3DXFileTest, CubeAndVolumeTexturesRoundTripThroughDds)
{
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(D3D_OK, D3DXCreateCubeTexture(device.get(), 8, 0, 0, D3DFMT_A8B8G8R8, D3DPOOL_MANAGED, cube.out()));
    for (UINT face = 0; face < 6; ++face) {
        Com<IDirect3DSurface9> surface;
        cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, surface.out());
        fillSurface(surface.get(), [face](UINT x, UINT y) { return 0xFF000000u | face << 16 | y << 8 | x; });
    }
    D3DXFilterTexture(cube.get(), nullptr, 0, D3DX_DEFAULT);
    Com<ID3DXBuffer> file;
    ASSERT_EQ(D3D_OK, D3DXSaveTextureToFileInMemory(file.out(), D3DXIFF_DDS, cube.get(), nullptr));
    D3DXIMAGE_INFO info;
    D3DXGetImageInfoFromFileInMemory(file->GetBufferPointer(), file->GetBufferSize(), &info);
    EXPECT_EQ(D3DRTYPE_CUBETEXTURE, info.ResourceType);
    EXPECT_EQ(D3DFMT_A8B8G8R8, info.Format);
    EXPECT_EQ(4u, info.MipLevels);
    Com<IDirect3DCubeTexture9> loaded;
    ASSERT_EQ(D3D_OK, D3DXCreateCubeTextureFromFileInMemory(device.get(), file->GetBufferPointer(),
                                                            file->GetBufferSize(), loaded.out()));
    EXPECT_EQ(4u, loaded->GetLevelCount());
    Com<IDirect3DSurface9> negativeZ;
    loaded->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, negativeZ.out());
    EXPECT_EQ(0xFF000000u | 5 << 16 | 3 << 8 | 6, readPixel(negativeZ.get(), 6, 3));
    // A flat picture is no cube map.
    Com<IDirect3DTexture9> flat;
    D3DXCreateTexture(device.get(), 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, flat.out());
    D3DXSaveTextureToFileInMemory(file.out(), D3DXIFF_DDS, flat.get(), nullptr);
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXCreateCubeTextureFromFileInMemory(device.get(), file->GetBufferPointer(),
                                                                         file->GetBufferSize(), loaded.out()));

    Com<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(D3D_OK, device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volume.out(),
                                                  nullptr));
    D3DLOCKED_BOX box;
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &box, nullptr, 0));
    for (UINT z = 0; z < 4; ++z)
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x)
                *reinterpret_cast<DWORD*>(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch +
                                          x * 4) = 0xFF000000u | z << 16 | y << 8 | x;
    volume->UnlockBox(0);
    ASSERT_EQ(D3D_OK, D3DXSaveTextureToFileInMemory(file.out(), D3DXIFF_DDS, volume.get(), nullptr));
    Com<IDirect3DVolumeTexture9> loadedVolume;
    ASSERT_EQ(D3D_OK, D3DXCreateVolumeTextureFromFileInMemory(device.get(), file->GetBufferPointer(),
                                                              file->GetBufferSize(), loadedVolume.out()));
    D3DVOLUME_DESC desc;
    loadedVolume->GetLevelDesc(0, &desc);
    EXPECT_EQ(4u, desc.Depth);
    ASSERT_EQ(D3D_OK, loadedVolume->LockBox(0, &box, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(0xFF030201u, *reinterpret_cast<DWORD*>(static_cast<BYTE*>(box.pBits) + 3 * box.SlicePitch +
                                                     2 * box.RowPitch + 1 * 4));
    loadedVolume->UnlockBox(0);
}

TEST_F(D3DXFileTest, SixFaceCubeLoadsScaledFacesWithABlackColourKey)
{
    // The image implementation's path for cube maps held as six files.
    Com<IDirect3DSurface9> faceImage = patternSurface(16, 16);
    fillSurface(faceImage.get(), [](UINT x, UINT) { return x < 8 ? 0xFF000000u : 0xFF00FF00u; });
    Com<ID3DXBuffer> file;
    D3DXSaveSurfaceToFileInMemory(file.out(), D3DXIFF_PNG, faceImage.get(), nullptr, nullptr);
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(D3D_OK, D3DXCreateCubeTexture(device.get(), 512, 1, 0, D3DFMT_A8B8G8R8, D3DPOOL_MANAGED, cube.out()));
    Com<IDirect3DSurface9> face;
    cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 0, face.out());
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromFileInMemory(face.get(), nullptr, nullptr, file->GetBufferPointer(),
                                                      file->GetBufferSize(), nullptr, D3DX_FILTER_LINEAR, 0xFF000000,
                                                      nullptr));
    D3DSURFACE_DESC desc;
    face->GetDesc(&desc);
    EXPECT_EQ(512u, desc.Width);
    // A8B8G8R8 in memory: red, green, blue, alpha bytes.
    EXPECT_EQ(0x00000000u, readPixel(face.get(), 10, 10));
    EXPECT_EQ(0xFF00FF00u, readPixel(face.get(), 500, 10));
}
