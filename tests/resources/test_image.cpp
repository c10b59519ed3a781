// The device-side forms of images: the texels that encoded files decode
// into, the six-face cube's size, format and colour key, lent textures, and
// how the textures go with their device.

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXImage3D.h"

#include <cstring>

using namespace kxdxtest;

namespace {

uint32_t readU32(const void* bytes, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(bytes) + offset, 4);
    return value;
}

using ImageTest = DeviceTest;

// Data that does not decode makes no texture, and binding it leaves the
// stage as it was.
TEST_F(ImageTest, PngDecodesIntoTheTexelsOfTheImageAndOnlyATextureIsBound)
{
    const auto pixel = [](unsigned x, unsigned y) {
        return ((255u - x * 20 - y * 10) << 24) | ((x * 60 + 10) << 16) | ((y * 60 + 20) << 8) | ((x + y) * 30);
    };
    KXRef<KXImage2D> image = pngImage(4, 4, pixel);
    KXDXImage2DImpl impl(device.get(), image.get());
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
    const unsigned char garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8};
    KXImage2D broken(garbage, sizeof(garbage), KXImage2D::KXIMAGE2D_PNG);
    KXDXImage2DImpl none(device.get(), &broken);
    EXPECT_EQ(nullptr, none.getTexture());
    none.bind(2);
    EXPECT_EQ(texture, boundTexture(d3d(), 2));
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

// A lent texture is bound either way, released by the implementation only
// when owned, and only dropped when the device goes. Implementations alive
// at the release give their textures up and bind nothing after; one held
// in an image's slot goes with the image, after the device (TearDown checks
// that every Direct3D object is gone).
TEST_F(ImageTest, LentTexturesAndTexturesAliveAtTheReleaseGoWithTheDevice)
{
    IDirect3DTexture9 *texture = nullptr, *second = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &second, nullptr));
    {
        LentTextureImpl lent(device.get(), texture, false);
        lent.bind(3);
        EXPECT_EQ(texture, boundTexture(d3d(), 3));
        d3d()->SetTexture(3, nullptr);
    }
    texture->AddRef();
    EXPECT_EQ(1u, texture->Release()) << "still ours alone";
    { LentTextureImpl owner(device.get(), texture, true); } // releases our reference

    LentTextureImpl lentAtRelease(device.get(), second, false);
    KXRef<KXImage2D> image = pngImage(2, 2, [](unsigned, unsigned) { return 0xFFFFFFFFu; });
    image->setImplementation(new KXDXImage2DImpl(device.get(), image.get()));
    KXDXImage2DImpl alive(device.get(), image.get());
    alive.bind(0);
    device->release();
    EXPECT_EQ(nullptr, lentAtRelease.getTexture());
    EXPECT_EQ(nullptr, alive.getTexture());
    EXPECT_EQ(nullptr, alive.getDevice());
    second->AddRef();
    EXPECT_EQ(1u, second->Release());
    second->Release();
    alive.bind(0);
    device.reset();
    alive.bind(0);
}

// Six 256 x 256 face files make a 512 x 512 cube of one level, scaled with
// the linear filter. Opaque black turns transparent black; near-black and
// half-transparent black keep their alpha. A face that does not load
// stays as created and the others go on.
TEST_F(ImageTest, SixFaceFilesMakeA512CubeWhereOpaqueBlackTurnsTransparent)
{
    const uint32_t faceColor[6] = {0, 0, 0xFF506070u, 0xFF8090A0u, 0xFFB0C0D0u, 0xFFE0F010u};
    const unsigned char garbage[] = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    KXImage3D image;
    for (int face = 0; face < 6; ++face) {
        KXRef<KXImage2D> png = pngImage(256, 256, [&](unsigned x, unsigned y) -> uint32_t {
            if (face == 0)
                return x < 128 ? 0xFF000000u : 0xFF000001u;
            return face == 1 && y < 128 ? 0x80000000u : faceColor[face];
        });
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
    // As 0xAARRGGBB.
    const auto texel = [cube](int face, unsigned x, unsigned y) {
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
    EXPECT_EQ(cube, boundTexture(d3d(), 1));
    d3d()->SetTexture(1, nullptr);
}

} // namespace
