// The device-side forms of images: the texels that encoded files decode
// into, the six-face cube's size, format and colour key, cube and volume
// files, lent textures, and how the textures go with their device.

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXImage3D.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace kxdxtest;

namespace {

// A DDS file of A8R8G8B8 pixels, edge x edge: a cube map of six faces when
// cube is set, else a volume of the given depth. Face or slice i is color(i).
std::vector<uint32_t> makeDDS(uint32_t edge, uint32_t depth, bool cube, uint32_t (*color)(uint32_t))
{
    // Magic, header size, flags (caps, height, width, pitch, format, depth),
    // height, width, pitch, depth, one level, 11 reserved words; the pixel
    // format (RGB with alpha, 32 bits, masks); caps (texture, complex) and
    // caps2 (all six faces, or volume); 3 reserved words.
    std::vector<uint32_t> words = {0x20534444, 124, 0x100Fu | (cube ? 0u : 0x800000u), edge, edge, edge * 4,
                                   cube ? 0u : depth, 1};
    words.resize(words.size() + 11, 0);
    words.insert(words.end(), {32, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0x1008,
                               cube ? 0xFE00u : 0x200000u, 0, 0, 0});
    for (uint32_t i = 0; i < (cube ? 6 : depth); ++i)
        words.insert(words.end(), edge * edge, color(i));
    return words;
}

uint32_t readU32(const void* bytes, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(bytes) + offset, 4);
    return value;
}

class ImageTest : public DeviceTest
{
protected:
    // What a stage holds; the reference GetTexture adds is given back.
    IDirect3DBaseTexture9* textureOnStage(DWORD stage) const
    {
        IDirect3DBaseTexture9* texture = nullptr;
        d3d()->GetTexture(stage, &texture);
        if (texture)
            texture->Release();
        return texture;
    }
};

TEST_F(ImageTest, PngDecodesIntoTheTexelsOfTheImageAndOnlyATextureIsBound)
{
    const auto pixel = [](unsigned x, unsigned y) {
        return ((255u - x * 20 - y * 10) << 24) | ((x * 60 + 10) << 16) | ((y * 60 + 20) << 8) | ((x + y) * 30);
    };
    KXRef<KXImage2D> image = pngImage(4, 4, pixel);
    KXDXImage2DImpl impl(device.get(), image.get());
    EXPECT_EQ(device.get(), impl.getDevice());
    IDirect3DTexture9* texture = impl.getTexture();
    ASSERT_NE(nullptr, texture);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(4u, desc.Width);
    ASSERT_EQ(D3DFMT_A8R8G8B8, desc.Format) << "a PNG with alpha keeps its alpha";
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            EXPECT_EQ(pixel(x, y), readU32(locked.pBits, y * locked.Pitch + x * 4)) << x << ", " << y;
    texture->UnlockRect(0);
    impl.bind(2);
    EXPECT_EQ(texture, textureOnStage(2));

    // Data that does not decode: no texture, and bind leaves the stage.
    const unsigned char garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8};
    KXImage2D broken(garbage, sizeof(garbage), KXImage2D::KXIMAGE2D_PNG);
    KXDXImage2DImpl none(device.get(), &broken);
    EXPECT_EQ(nullptr, none.getTexture());
    none.bind(2);
    EXPECT_EQ(texture, textureOnStage(2));
    d3d()->SetTexture(2, nullptr);
}

// A texture lent by a subclass, as a render texture lends its own.
class LentTextureImpl : public KXDXImage2DImpl
{
public:
    LentTextureImpl(KXDXDevice* device, IDirect3DTexture9* texture, bool owned) : KXDXImage2DImpl(device)
    {
        setTexture(texture, owned);
    }
};

// Bound either way; released by the implementation only when owned, and
// only dropped when the device goes.
TEST_F(ImageTest, LentTextureIsBoundButReleasedOnlyWhenOwned)
{
    IDirect3DTexture9 *texture = nullptr, *second = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &second, nullptr));
    {
        LentTextureImpl lent(device.get(), texture, false);
        lent.bind(3);
        EXPECT_EQ(texture, textureOnStage(3));
        d3d()->SetTexture(3, nullptr);
    }
    texture->AddRef();
    EXPECT_EQ(1u, texture->Release()) << "still ours alone";
    { LentTextureImpl owner(device.get(), texture, true); } // releases our reference

    LentTextureImpl lentAtRelease(device.get(), second, false);
    device->release();
    EXPECT_EQ(nullptr, lentAtRelease.getTexture());
    second->AddRef();
    EXPECT_EQ(1u, second->Release());
    second->Release();
}

// Six 256 x 256 face files make a 512 x 512 cube of one level, scaled with
// the linear filter. Opaque black turns transparent black; near-black and
// half-transparent black keep their alpha. A face that does not load
// stays as created and the others go on.
TEST_F(ImageTest, SixFaceFilesMakeA512CubeWhereOpaqueBlackTurnsTransparent)
{
    const uint32_t faceColor[6] = {0, 0, 0xFF506070u, 0xFF8090A0u, 0xFFB0C0D0u, 0xFFE0F010u};
    KXImage3D image;
    for (int face = 0; face < 6; ++face) {
        KXRef<KXImage2D> png = pngImage(256, 256, [&](unsigned x, unsigned y) -> uint32_t {
            if (face == 0)
                return x < 128 ? 0xFF000000u : 0xFF000001u;
            return face == 1 && y < 128 ? 0x80000000u : faceColor[face];
        });
        const unsigned char garbage[] = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
        const bool broken = face == 2;
        ASSERT_EQ(0, image.setComponentData(face, broken ? garbage : png->getData(),
                                            broken ? sizeof(garbage) : png->getSize(), KXImage2D::KXIMAGE2D_PNG));
    }
    KXDXImage3DImpl impl(device.get(), &image);
    IDirect3DCubeTexture9* cube = impl.getCubeTexture();
    ASSERT_NE(nullptr, cube);
    EXPECT_EQ(1u, cube->GetLevelCount());
    D3DSURFACE_DESC desc{};
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(512u, desc.Width);
    ASSERT_EQ(D3DFMT_A8B8G8R8, desc.Format);
    auto texel = [&](int face, unsigned x, unsigned y) {
        D3DLOCKED_RECT locked{};
        if (FAILED(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, D3DLOCK_READONLY)))
            return 0xDEADBEEFu;
        const uint32_t abgr = readU32(locked.pBits, y * locked.Pitch + x * 4);
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
        return (abgr & 0xFF00FF00u) | ((abgr & 0xFF) << 16) | ((abgr >> 16) & 0xFF);
    };
    EXPECT_EQ(0x00000000u, texel(0, 64, 256));
    EXPECT_EQ(0xFF000001u, texel(0, 448, 256));
    EXPECT_EQ(0x80000000u, texel(1, 256, 64));
    const uint32_t edgeAlpha = texel(0, 255, 256) >> 24; // blended across the key's edge
    EXPECT_GT(edgeAlpha, 0u);
    EXPECT_LT(edgeAlpha, 255u);
    for (int face = 3; face < 6; ++face)
        EXPECT_EQ(faceColor[face], texel(face, 256, 448)) << "face " << face;
    impl.bind(1);
    EXPECT_EQ(cube, textureOnStage(1));
    d3d()->SetTexture(1, nullptr);
}

// Implementations alive when the device is released give their textures
// up and bind nothing after; held in an image's slot, one goes with the
// image, after the device. TearDown checks that every Direct3D object is
// gone.
TEST_F(ImageTest, CubeAndVolumeFilesMakeTexturesThatGoWithTheDevice)
{
    const auto faceColor = [](uint32_t face) { return 0xFF000000u | (face * 40 + 5) << 16 | (250 - face * 30); };
    const std::vector<uint32_t> cubeFile = makeDDS(4, 1, true, faceColor);
    KXImage3D cubeImage;
    ASSERT_EQ(0, cubeImage.setData(cubeFile.data(), cubeFile.size() * 4, KXImage3D::KXIMAGE3D_CUBEMAP));
    auto cubeImpl = std::make_unique<KXDXImage3DImpl>(device.get(), &cubeImage);
    IDirect3DCubeTexture9* cube = cubeImpl->getCubeTexture();
    ASSERT_NE(nullptr, cube);
    EXPECT_EQ(nullptr, cubeImpl->getVolumeTexture());
    for (unsigned face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(D3D_OK, cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, D3DLOCK_READONLY));
        EXPECT_EQ(faceColor(face), readU32(locked.pBits, locked.Pitch + 8)) << "face " << face;
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }

    const auto sliceColor = [](uint32_t slice) { return slice ? 0xFFC0A000u : 0xFF0010F0u; };
    const std::vector<uint32_t> volumeFile = makeDDS(4, 2, false, sliceColor);
    KXImage3D volumeImage;
    ASSERT_EQ(0, volumeImage.setData(volumeFile.data(), volumeFile.size() * 4, KXImage3D::KXIMAGE3D_VOLUME));
    auto volumeImpl = std::make_unique<KXDXImage3DImpl>(device.get(), &volumeImage);
    IDirect3DVolumeTexture9* volume = volumeImpl->getVolumeTexture();
    ASSERT_NE(nullptr, volume);
    EXPECT_EQ(nullptr, volumeImpl->getCubeTexture());
    D3DLOCKED_BOX box{};
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY));
    for (unsigned slice = 0; slice < 2; ++slice)
        EXPECT_EQ(sliceColor(slice), readU32(box.pBits, slice * box.SlicePitch + 2 * box.RowPitch + 4)) << slice;
    volume->UnlockBox(0);
    cubeImpl->bind(0);
    volumeImpl->bind(1);
    EXPECT_EQ(volume, textureOnStage(1));

    KXRef<KXImage2D> slotImage = pngImage(2, 2, [](unsigned, unsigned) { return 0xFFFFFFFFu; });
    slotImage->setImplementation(new KXDXImage2DImpl(device.get(), slotImage.get()));
    auto impl2D = std::make_unique<KXDXImage2DImpl>(device.get(), slotImage.get());
    device->release();
    EXPECT_EQ(nullptr, cubeImpl->getDevice());
    EXPECT_EQ(nullptr, cubeImpl->getCubeTexture());
    EXPECT_EQ(nullptr, volumeImpl->getVolumeTexture());
    EXPECT_EQ(nullptr, impl2D->getTexture());
    cubeImpl->bind(0);
    device.reset();
    volumeImpl->bind(0);
    impl2D->bind(0);
}

} // namespace
