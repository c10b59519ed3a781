// The device-side forms of images: the texels that encoded files decode
// into, the six-face cube's size, format and colour key, what bind puts on
// a stage, and how the textures go with their device.

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace kxdxtest;

namespace {

using PixelFunction = std::function<uint32_t(unsigned x, unsigned y)>;

// An encoded image file of the given type whose pixel (x, y) is the
// 0xAARRGGBB word pixel(x, y).
std::vector<unsigned char> encodeImage(unsigned width, unsigned height, const PixelFunction& pixel,
                                       KXImage2D::KXIMAGE2DFILETYPE type = KXImage2D::KXIMAGE2D_PNG)
{
    KXRawImage2D raw(width, height);
    raw.createData();
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            KXColor color;
            color.setBGRA(pixel(x, y));
            raw.setColor(x, y, color);
        }
    }
    KXImage2D image;
    if (KXImageUtils::encode(&raw, &image, type) != 0)
        return {};
    return std::vector<unsigned char>(image.getData(), image.getData() + image.getSize());
}

void appendU32(std::vector<unsigned char>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A DDS file of A8R8G8B8 pixels written field by field: a cube map of six
// faces when cube is set, else a volume of the given depth. The pixel of
// face or slice i is color(i).
std::vector<unsigned char> makeDDS(unsigned edge, unsigned depth, bool cube, const std::function<uint32_t(unsigned)>& color)
{
    std::vector<unsigned char> out;
    appendU32(out, 0x20534444); // "DDS "
    appendU32(out, 124);
    appendU32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | (cube ? 0 : 0x800000)); // caps, size, pitch, format, depth
    appendU32(out, edge);
    appendU32(out, edge);
    appendU32(out, edge * 4);
    appendU32(out, cube ? 0 : depth);
    appendU32(out, 1);
    for (int i = 0; i < 11; ++i)
        appendU32(out, 0);
    appendU32(out, 32);
    appendU32(out, 0x40 | 0x1); // RGB with alpha
    appendU32(out, 0);
    appendU32(out, 32);
    appendU32(out, 0x00FF0000);
    appendU32(out, 0x0000FF00);
    appendU32(out, 0x000000FF);
    appendU32(out, 0xFF000000);
    appendU32(out, 0x1000 | 0x8);                // texture, complex
    appendU32(out, cube ? 0x200 | 0xFC00 : 0x200000); // all six faces, or volume
    for (int i = 0; i < 3; ++i)
        appendU32(out, 0);
    const unsigned pictures = cube ? 6 : depth;
    for (unsigned i = 0; i < pictures; ++i)
        for (unsigned p = 0; p < edge * edge; ++p)
            appendU32(out, color(i));
    return out;
}

uint32_t readU32(const void* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// An A8B8G8R8 texel (bytes red, green, blue, alpha) as 0xAARRGGBB.
uint32_t argbFromABGR(uint32_t abgr)
{
    return (abgr & 0xFF00FF00u) | ((abgr & 0xFF) << 16) | ((abgr >> 16) & 0xFF);
}

class ImageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device = makeDevice(window.get());
        ASSERT_TRUE(device);
    }

    void TearDown() override
    {
        device.reset();
        live.expectBalanced();
    }

    IDirect3DDevice9* d3d() const { return device->getD3DDevice(); }

    // What a stage holds; the reference GetTexture adds is given back.
    IDirect3DBaseTexture9* textureOnStage(DWORD stage) const
    {
        IDirect3DBaseTexture9* texture = nullptr;
        d3d()->GetTexture(stage, &texture);
        if (texture)
            texture->Release();
        return texture;
    }

    LiveObjectCheck live;
    TestWindow window{64, 64};
    std::unique_ptr<KXDXDevice> device;
};

TEST_F(ImageTest, PngDecodesIntoTheTexelsOfTheImage)
{
    const PixelFunction pixel = [](unsigned x, unsigned y) {
        return ((255u - x * 20 - y * 10) << 24) | ((x * 60 + 10) << 16) | ((y * 60 + 20) << 8) | ((x + y) * 30);
    };
    const std::vector<unsigned char> png = encodeImage(4, 4, pixel);
    ASSERT_FALSE(png.empty());
    KXImage2D image(png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    KXDXImage2DImpl impl(device.get(), &image);
    EXPECT_EQ(device.get(), impl.getDevice());
    IDirect3DTexture9* texture = impl.getTexture();
    ASSERT_NE(nullptr, texture);

    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(4u, desc.Width);
    EXPECT_EQ(4u, desc.Height);
    ASSERT_EQ(D3DFMT_A8R8G8B8, desc.Format) << "a PNG with alpha keeps its alpha";
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            EXPECT_EQ(pixel(x, y), readU32(static_cast<const unsigned char*>(locked.pBits) + y * locked.Pitch + x * 4))
                << "texel " << x << ", " << y;
    texture->UnlockRect(0);
}

TEST_F(ImageTest, BoundTextureIsWhatATexturedQuadShows)
{
    // An 8 x 8 picture drawn four times enlarged with point sampling: every
    // 4 x 4 block of the window shows one texel.
    const PixelFunction pixel = [](unsigned x, unsigned y) {
        return 0xFF000000u | ((x * 32 + 7) << 16) | ((y * 32 + 3) << 8) | (((x ^ y) & 1) ? 0xC0u : 0x40u);
    };
    const std::vector<unsigned char> png = encodeImage(8, 8, pixel);
    KXImage2D image(png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    KXDXImage2DImpl impl(device.get(), &image);
    ASSERT_NE(nullptr, impl.getTexture());

    struct Vertex {
        float x, y, z, rhw, u, v;
    };
    const Vertex quad[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0},
                            {31.5f, -0.5f, 0.5f, 1, 1, 0},
                            {-0.5f, 31.5f, 0.5f, 1, 0, 1},
                            {31.5f, 31.5f, 0.5f, 1, 1, 1}};
    IDirect3DDevice9* d = d3d();
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    impl.bind(0);
    EXPECT_EQ(impl.getTexture(), textureOnStage(0));
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);

    const PresentedImage shown = presentedImage(window.get());
    ASSERT_EQ(64u, shown.width);
    for (unsigned ty = 0; ty < 8; ++ty)
        for (unsigned tx = 0; tx < 8; ++tx)
            EXPECT_EQ(pixel(tx, ty), shown.at(tx * 4 + 1, ty * 4 + 2)) << "texel " << tx << ", " << ty;
    EXPECT_EQ(0xFF000000u, shown.at(40, 40));
}

TEST_F(ImageTest, ImageWithoutUsableDataGivesNoTextureAndBindLeavesTheStage)
{
    IDirect3DTexture9* other = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &other, nullptr));
    d3d()->SetTexture(0, other);

    KXImage2D empty;
    const unsigned char garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8};
    KXImage2D broken(garbage, sizeof(garbage), KXImage2D::KXIMAGE2D_PNG);
    KXDXImage2DImpl emptyImpl(device.get(), &empty);
    KXDXImage2DImpl brokenImpl(device.get(), &broken);
    KXDXImage2DImpl nullImpl(device.get(), nullptr);
    for (KXDXImage2DImpl* impl : {&emptyImpl, &brokenImpl, &nullImpl}) {
        EXPECT_EQ(nullptr, impl->getTexture());
        impl->bind(0);
        EXPECT_EQ(other, textureOnStage(0));
    }

    d3d()->SetTexture(0, nullptr);
    other->Release();
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

TEST_F(ImageTest, LentTextureIsBoundButReleasedOnlyWhenOwned)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    {
        LentTextureImpl lent(device.get(), texture, false);
        lent.bind(3);
        EXPECT_EQ(texture, textureOnStage(3));
        d3d()->SetTexture(3, nullptr);
    }
    // Still ours: one reference, which we give up to an owning
    // implementation, whose destructor releases it.
    texture->AddRef();
    EXPECT_EQ(1u, texture->Release());
    { LentTextureImpl owner(device.get(), texture, true); }

    // A lent texture is dropped, not released, when the device goes.
    IDirect3DTexture9* second = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &second, nullptr));
    LentTextureImpl lentAtRelease(device.get(), second, false);
    device->release();
    EXPECT_EQ(nullptr, lentAtRelease.getTexture());
    EXPECT_EQ(nullptr, lentAtRelease.getDevice());
    second->AddRef();
    EXPECT_EQ(1u, second->Release());
    second->Release();
}

TEST_F(ImageTest, SixFaceFilesMakeA512CubeWhereOpaqueBlackTurnsTransparent)
{
    // Face 0: opaque black on the left, near-black on the right. Face 1:
    // half-transparent black on top, which the key (alpha included) misses.
    // Every other face one colour of its own.
    const uint32_t faceColor[6] = {0, 0xFF203040u, 0xFF506070u, 0xFF8090A0u, 0xFFB0C0D0u, 0xFFE0F010u};
    KXImage3D image;
    for (int face = 0; face < 6; ++face) {
        const PixelFunction pixel = [&](unsigned x, unsigned y) -> uint32_t {
            if (face == 0)
                return x < 128 ? 0xFF000000u : 0xFF000001u;
            if (face == 1 && y < 128)
                return 0x80000000u;
            return faceColor[face];
        };
        const std::vector<unsigned char> png = encodeImage(256, 256, pixel);
        ASSERT_EQ(0, image.setComponentData(face, png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG));
    }
    ASSERT_EQ(KXImage3D::KXIMAGE3D_CUBEFACES, image.getImage3DType());

    KXDXImage3DImpl impl(device.get(), &image);
    IDirect3DCubeTexture9* cube = impl.getCubeTexture();
    ASSERT_NE(nullptr, cube);
    EXPECT_EQ(nullptr, impl.getVolumeTexture());
    EXPECT_EQ(1u, cube->GetLevelCount());
    D3DSURFACE_DESC desc{};
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(512u, desc.Width);
    EXPECT_EQ(512u, desc.Height);
    EXPECT_EQ(D3DPOOL_MANAGED, desc.Pool);
    ASSERT_EQ(D3DFMT_A8B8G8R8, desc.Format);

    auto texel = [&](int face, unsigned x, unsigned y) {
        D3DLOCKED_RECT locked{};
        if (FAILED(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, D3DLOCK_READONLY)))
            return 0xDEADBEEFu;
        const uint32_t value = readU32(static_cast<const unsigned char*>(locked.pBits) + y * locked.Pitch + x * 4);
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
        return argbFromABGR(value);
    };
    EXPECT_EQ(0x00000000u, texel(0, 64, 256));
    EXPECT_EQ(0xFF000001u, texel(0, 448, 256));
    EXPECT_EQ(0x80000000u, texel(1, 256, 64));
    // Scaling up with the linear filter blends across the edge of the key.
    const uint32_t edgeAlpha = texel(0, 255, 256) >> 24;
    EXPECT_GT(edgeAlpha, 0u);
    EXPECT_LT(edgeAlpha, 255u);
    for (int face = 1; face < 6; ++face)
        EXPECT_EQ(faceColor[face], texel(face, 256, 448)) << "face " << face;

    impl.bind(1);
    EXPECT_EQ(cube, textureOnStage(1));
}

TEST_F(ImageTest, SixFaceCubeKeepsGoingPastAFaceThatDoesNotLoad)
{
    KXImage3D image;
    const unsigned char garbage[] = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    ASSERT_EQ(0, image.setComponentData(0, garbage, sizeof(garbage), KXImage2D::KXIMAGE2D_PNG));
    const std::vector<unsigned char> png = encodeImage(16, 16, [](unsigned, unsigned) { return 0xFF336699u; });
    ASSERT_EQ(0, image.setComponentData(3, png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG));

    KXDXImage3DImpl impl(device.get(), &image);
    IDirect3DCubeTexture9* cube = impl.getCubeTexture();
    ASSERT_NE(nullptr, cube);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &locked, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(0xFF336699u, argbFromABGR(readU32(static_cast<const unsigned char*>(locked.pBits) + 100 * locked.Pitch + 300 * 4)));
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0);
}

TEST_F(ImageTest, CubeFileMakesACubeTextureAndVolumeFileAVolumeTexture)
{
    const auto faceColor = [](unsigned face) { return 0xFF000000u | (face * 40 + 5) << 16 | (250 - face * 30); };
    const std::vector<unsigned char> cubeFile = makeDDS(4, 1, true, faceColor);
    KXImage3D cubeImage;
    ASSERT_EQ(0, cubeImage.setData(cubeFile.data(), cubeFile.size(), KXImage3D::KXIMAGE3D_CUBEMAP));
    KXDXImage3DImpl cubeImpl(device.get(), &cubeImage);
    IDirect3DCubeTexture9* cube = cubeImpl.getCubeTexture();
    ASSERT_NE(nullptr, cube);
    EXPECT_EQ(nullptr, cubeImpl.getVolumeTexture());
    D3DSURFACE_DESC desc{};
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(4u, desc.Width);
    ASSERT_EQ(D3DFMT_A8R8G8B8, desc.Format);
    for (unsigned face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(D3D_OK, cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, D3DLOCK_READONLY));
        EXPECT_EQ(faceColor(face), readU32(static_cast<const unsigned char*>(locked.pBits) + locked.Pitch + 8))
            << "face " << face;
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }

    const auto sliceColor = [](unsigned slice) { return 0xFF000000u | (slice ? 0x00C0A000u : 0x000010F0u); };
    const std::vector<unsigned char> volumeFile = makeDDS(4, 2, false, sliceColor);
    KXImage3D volumeImage;
    ASSERT_EQ(0, volumeImage.setData(volumeFile.data(), volumeFile.size(), KXImage3D::KXIMAGE3D_VOLUME));
    KXDXImage3DImpl volumeImpl(device.get(), &volumeImage);
    IDirect3DVolumeTexture9* volume = volumeImpl.getVolumeTexture();
    ASSERT_NE(nullptr, volume);
    EXPECT_EQ(nullptr, volumeImpl.getCubeTexture());
    D3DVOLUME_DESC volumeDesc{};
    volume->GetLevelDesc(0, &volumeDesc);
    EXPECT_EQ(4u, volumeDesc.Width);
    EXPECT_EQ(2u, volumeDesc.Depth);
    ASSERT_EQ(D3DFMT_A8R8G8B8, volumeDesc.Format);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY));
    for (unsigned slice = 0; slice < 2; ++slice)
        EXPECT_EQ(sliceColor(slice), readU32(static_cast<const unsigned char*>(box.pBits) + slice * box.SlicePitch +
                                             2 * box.RowPitch + 4))
            << "slice " << slice;
    volume->UnlockBox(0);

    cubeImpl.bind(0);
    volumeImpl.bind(1);
    EXPECT_EQ(cube, textureOnStage(0));
    EXPECT_EQ(volume, textureOnStage(1));

    // A volume file is no cube map: nothing is made of it as one.
    KXImage3D mislabelled;
    ASSERT_EQ(0, mislabelled.setData(volumeFile.data(), volumeFile.size(), KXImage3D::KXIMAGE3D_CUBEMAP));
    KXDXImage3DImpl mislabelledImpl(device.get(), &mislabelled);
    EXPECT_EQ(nullptr, mislabelledImpl.getCubeTexture());
    EXPECT_EQ(nullptr, mislabelledImpl.getVolumeTexture());
    mislabelledImpl.bind(0);
    EXPECT_EQ(cube, textureOnStage(0));

    KXImage3D empty;
    KXDXImage3DImpl emptyImpl(device.get(), &empty);
    KXDXImage3DImpl nullImpl(device.get(), nullptr);
    EXPECT_EQ(nullptr, emptyImpl.getCubeTexture());
    EXPECT_EQ(nullptr, nullImpl.getCubeTexture());
    d3d()->SetTexture(0, nullptr);
    d3d()->SetTexture(1, nullptr);
}

TEST_F(ImageTest, ReleasedDeviceTakesTheTexturesAndLeavesTheImplementationsInert)
{
    const std::vector<unsigned char> png = encodeImage(8, 8, [](unsigned x, unsigned) { return 0xFF000000u | x; });
    KXImage2D image2D(png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    KXImage3D cubeFaces;
    for (int face = 0; face < 6; ++face)
        cubeFaces.setComponentData(face, png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    const std::vector<unsigned char> volumeFile = makeDDS(2, 2, false, [](unsigned) { return 0xFF123456u; });
    KXImage3D volumeImage;
    volumeImage.setData(volumeFile.data(), volumeFile.size(), KXImage3D::KXIMAGE3D_VOLUME);

    auto impl2D = std::make_unique<KXDXImage2DImpl>(device.get(), &image2D);
    auto cubeImpl = std::make_unique<KXDXImage3DImpl>(device.get(), &cubeFaces);
    auto volumeImpl = std::make_unique<KXDXImage3DImpl>(device.get(), &volumeImage);
    ASSERT_NE(nullptr, impl2D->getTexture());
    ASSERT_NE(nullptr, cubeImpl->getCubeTexture());
    ASSERT_NE(nullptr, volumeImpl->getVolumeTexture());
    impl2D->bind(0);
    cubeImpl->bind(1);
    volumeImpl->bind(2);
    // Held in an image's slot, an implementation goes with the image, after
    // the device.
    auto slotImage = std::make_unique<KXImage2D>(png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    slotImage->setImplementation(new KXDXImage2DImpl(device.get(), slotImage.get()));

    device->release();
    EXPECT_EQ(nullptr, impl2D->getDevice());
    EXPECT_EQ(nullptr, impl2D->getTexture());
    EXPECT_EQ(nullptr, cubeImpl->getDevice());
    EXPECT_EQ(nullptr, cubeImpl->getCubeTexture());
    EXPECT_EQ(nullptr, volumeImpl->getVolumeTexture());
    impl2D->bind(0);
    cubeImpl->bind(0);
    volumeImpl->bind(0);

    device.reset();
    impl2D.reset();
    cubeImpl.reset();
    volumeImpl.reset();
    slotImage.reset();
    // TearDown checks that every Direct3D object is gone.
}

} // namespace
