// Render surfaces, render textures, memory textures and depth-stencil
// surfaces: a known pattern carried through every copy and save path and
// read back, Direct3D's refusals reported as failures, the depth format
// fallback, a render texture lent to an image, and the Direct3D objects
// given back.

#include "resources/KXDXDepthStencilSurface.h"
#include "resources/KXDXMemoryTexture.h"
#include "resources/KXDXRenderSurface.h"
#include "resources/KXDXRenderTexture.h"

#include "KXDXTestSupport.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXTempFile.h"

#include <cstring>

using namespace kxdxtest;

namespace {

const unsigned W = 40;
const unsigned H = 24;

// Every pixel different, alpha neither 0 nor 255.
uint32_t pattern(unsigned x, unsigned y)
{
    return ((0x40u + x + y) << 24) | ((x * 6) << 16) | ((y * 10) << 8) | ((x * 3 + y * 5) & 0xFF);
}

void fill(KXDXMemoryTexture& texture, uint32_t (*pixel)(unsigned, unsigned))
{
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture.getTexture()->LockRect(0, &locked, nullptr, 0));
    for (unsigned y = 0; y < texture.getHeight(); ++y)
        for (unsigned x = 0; x < texture.getWidth(); ++x) {
            const uint32_t word = pixel(x, y);
            std::memcpy(static_cast<unsigned char*>(locked.pBits) + y * locked.Pitch + x * 4, &word, 4);
        }
    texture.getTexture()->UnlockRect(0);
}

std::vector<uint32_t> wordsOf(const KXRawImage2D& raw)
{
    std::vector<uint32_t> words(static_cast<size_t>(raw.getWidth()) * raw.getHeight());
    for (unsigned y = 0; y < raw.getHeight(); ++y)
        std::memcpy(&words[static_cast<size_t>(y) * raw.getWidth()], raw.getRow(y), raw.getRowSize());
    return words;
}

// The pattern's w x h block from (left, top).
std::vector<uint32_t> expected(unsigned w, unsigned h, unsigned left = 0, unsigned top = 0)
{
    std::vector<uint32_t> words;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            words.push_back(pattern(left + x, top + y));
    return words;
}

// What a save wrote, decoded: from the raw save directly, from the encoded
// image, and from the file read back.
template <class Saving>
void expectSavesGive(Saving& object, const std::vector<uint32_t>& pixels, const char* what)
{
    SCOPED_TRACE(what);
    KXRawImage2D raw;
    ASSERT_EQ(KXRESULT_OK, object.saveToRawImage(&raw));
    EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_BGRA, raw.getFormat());
    EXPECT_EQ(pixels, wordsOf(raw));
    KXImage2D png;
    ASSERT_EQ(KXRESULT_OK, object.saveToImage(&png, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, png.getFileType());
    KXRawImage2D decoded;
    ASSERT_EQ(0, KXImageUtils::decode(&png, &decoded));
    decoded.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_BGRA);
    EXPECT_EQ(pixels, wordsOf(decoded));
    KXTempFile file(true, L"png");
    KXImage2D loaded;
    ASSERT_EQ(KXRESULT_OK, object.saveToFile(file.getFileName(), KXImage2D::KXIMAGE2D_PNG));
    ASSERT_EQ(0, KXImageUtils::loadImage2DFromFile(file.getFileName(), &loaded, 0, 0));
    EXPECT_EQ(png.getSize(), loaded.getSize());
    EXPECT_EQ(0, std::memcmp(png.getData(), loaded.getData(), png.getSize()));
}

// A device of another class.
class OtherDevice : public KXDevice
{
public:
    int initialize(KXWindowHandle, KXAdapterFormat&) override { return -1; }
    int getSettings(KXAdapterFormat&) override { return -1; }
    KXDeviceCapabilities getCapabilities() override { return {}; }
    void release() override {}
    KXDEVICESTATUS getStatus() override { return KXDEVICESTATUS_USABLE; }
    void reset() override {}
};

using SurfaceTest = DeviceTest;

} // namespace

// initialize takes only a KXDXDevice; create needs one and keeps the old
// size when Direct3D refuses; release empties textures and leaves surfaces
// their size.
TEST_F(SurfaceTest, InitializeCreateAndReleaseFollowTheResultCodes)
{
    const Made<KXDXRenderSurface> surface = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderTexture> texture = createRenderTexture<KXDXRenderTexture>();
    const Made<KXDXMemoryTexture> memory = createMemoryTexture<KXDXMemoryTexture>();
    const Made<KXDXDepthStencilSurface> depth = createDepthStencilSurface<KXDXDepthStencilSurface>();
    ASSERT_TRUE(surface && texture && memory && depth);
    OtherDevice other;
    const std::vector<std::function<int(KXDevice*)>> initializers = {
        [&](KXDevice* d) { return surface->initialize(d); }, [&](KXDevice* d) { return texture->initialize(d); },
        [&](KXDevice* d) { return memory->initialize(d); }, [&](KXDevice* d) { return depth->initialize(d); }};
    for (const auto& initialize : initializers) {
        EXPECT_EQ(KXRESULT_NULLARGUMENT, initialize(nullptr));
        EXPECT_EQ(KXRESULT_FAILED, initialize(&other));
    }
    EXPECT_EQ(KXRESULT_FAILED, surface->create(8, 8, 1));
    EXPECT_EQ(KXRESULT_FAILED, texture->create(8, 8, 0, 1));
    EXPECT_EQ(KXRESULT_FAILED, memory->create(8, 8));
    EXPECT_EQ(KXRESULT_FAILED, depth->create(8, 8));
    for (const auto& initialize : initializers)
        EXPECT_EQ(KXRESULT_OK, initialize(device.get()));

    ASSERT_EQ(KXRESULT_OK, surface->create(W, H, 1));
    ASSERT_EQ(KXRESULT_OK, texture->create(W, H, 1, 1));
    ASSERT_EQ(KXRESULT_OK, memory->create(W, H));
    ASSERT_EQ(KXRESULT_OK, depth->create(W, H));
    EXPECT_TRUE(surface->isRenderTarget());
    EXPECT_EQ(W, surface->getMemoryTexture()->getWidth()) << "read-back texture of the target's size";
    EXPECT_EQ(KXRESULT_FAILED, surface->create(0, 0, 0));
    EXPECT_EQ(KXRESULT_FAILED, texture->create(0, 0, 0, 0));
    EXPECT_EQ(KXRESULT_FAILED, memory->create(0, 0));
    EXPECT_EQ(KXRESULT_FAILED, depth->create(0, 0));
    EXPECT_EQ(std::vector<unsigned>({W, H, W, H, W, H, W, H}),
              std::vector<unsigned>({surface->getWidth(), surface->getHeight(), texture->getWidth(),
                                     texture->getHeight(), memory->getWidth(), memory->getHeight(), depth->getWidth(),
                                     depth->getHeight()}));

    D3DSURFACE_DESC desc{};
    texture->getTexture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(D3DPOOL_DEFAULT, desc.Pool);
    EXPECT_EQ(DWORD(D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP), desc.Usage);
    memory->getTexture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(D3DPOOL_SYSTEMMEM, desc.Pool);
    EXPECT_EQ(D3DFMT_A8R8G8B8, desc.Format);

    surface->release();
    texture->release();
    memory->release();
    depth->release();
    surface->release();
    EXPECT_EQ(nullptr, surface->getSurface());
    EXPECT_EQ(nullptr, surface->getMemoryTexture()->getTexture());
    EXPECT_EQ(std::vector<unsigned>({W, H, 0, 0, 0, 0, W, H}),
              std::vector<unsigned>({surface->getWidth(), surface->getHeight(), texture->getWidth(),
                                     texture->getHeight(), memory->getWidth(), memory->getHeight(), depth->getWidth(),
                                     depth->getHeight()}));
}

// A pattern uploaded from a memory texture comes back unchanged through
// every copy: render target <-> memory texture, render target to render
// target, a region into a scratch surface, render texture <-> memory
// texture; and through every save of each object. A render-target texture
// is not lockable (so its raw save must go through main memory).
TEST_F(SurfaceTest, APatternSurvivesEveryCopyAndSavePath)
{
    const Made<KXDXMemoryTexture> source = createMemoryTexture<KXDXMemoryTexture>();
    const Made<KXDXMemoryTexture> textureBack = createMemoryTexture<KXDXMemoryTexture>();
    const Made<KXMemoryTexture> back = createMemoryTexture();
    const Made<KXDXRenderSurface> target = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderSurface> copy = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderSurface> scratch = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderTexture> texture = createRenderTexture<KXDXRenderTexture>();
    ASSERT_TRUE(source && back && textureBack && target && copy && scratch && texture);
    for (KXMemoryTexture* m : std::initializer_list<KXMemoryTexture*>{source.get(), back.get(), textureBack.get()}) {
        ASSERT_EQ(KXRESULT_OK, m->initialize(device.get()));
        ASSERT_EQ(KXRESULT_OK, m->create(W, H));
    }
    fill(*source, pattern);
    for (KXDXRenderSurface* s : {target.get(), copy.get(), scratch.get()}) {
        s->setUseDeviceMultisampling(false);
        ASSERT_EQ(KXRESULT_OK, s->initialize(device.get()));
        ASSERT_EQ(KXRESULT_OK, s->create(W, H, s != scratch.get()));
    }
    ASSERT_EQ(KXRESULT_OK, texture->initialize(device.get()));

    ASSERT_EQ(KXRESULT_OK, target->loadFromMemoryTexture(source.get()));
    expectSavesGive(*target, expected(W, H), "render target");
    ASSERT_EQ(KXRESULT_OK, target->copyToMemoryTexture(back.get()));
    expectSavesGive(*back, expected(W, H), "memory texture read back");
    ASSERT_EQ(KXRESULT_OK, target->copyTo(copy.get()));
    expectSavesGive(*copy, expected(W, H), "copied render target");

    // A 16 x 8 block from (10, 6) to (3, 2); the rest stays transparent black.
    ASSERT_EQ(KXRESULT_OK, scratch->copyRegion(KXViewport(3, 2, 16, 8), target.get(), KXViewport(10, 6, 16, 8)));
    KXRawImage2D raw;
    ASSERT_EQ(KXRESULT_OK, scratch->saveToRawImage(&raw));
    for (unsigned y = 0; y < H; ++y)
        for (unsigned x = 0; x < W; ++x) {
            const bool inside = x >= 3 && x < 19 && y >= 2 && y < 10;
            ASSERT_EQ(inside ? pattern(x + 7, y + 4) : 0u, wordsOf(raw)[y * W + x]) << x << ", " << y;
        }

    for (int mipmap : {0, 1}) {
        SCOPED_TRACE(mipmap ? "mipmapped" : "one level");
        ASSERT_EQ(KXRESULT_OK, texture->create(W, H, mipmap, 1));
        ASSERT_EQ(KXRESULT_OK, texture->loadFromMemoryTexture(source.get()));
        D3DLOCKED_RECT locked{};
        EXPECT_NE(D3D_OK, texture->getTexture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))
            << "Direct3D never locks a default-pool render target";
        expectSavesGive(*texture, expected(W, H), "render texture");
        fill(*textureBack, [](unsigned, unsigned) { return 0u; });
        ASSERT_EQ(KXRESULT_OK, texture->copyToMemoryTexture(textureBack.get()));
        expectSavesGive(*textureBack, expected(W, H), "memory texture from the render texture");
    }
}

// Sizes that Direct3D cannot serve and calls it refuses give -1, never a
// success that copied nothing; null arguments -3.
TEST_F(SurfaceTest, RefusedCopiesAndSavesFail)
{
    const Made<KXDXRenderSurface> target = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderSurface> small = createRenderSurface<KXDXRenderSurface>();
    const Made<KXRenderSurface> scratch = createRenderSurface();
    const Made<KXMemoryTexture> half = createMemoryTexture(), square = createMemoryTexture();
    const Made<KXDXMemoryTexture> large = createMemoryTexture<KXDXMemoryTexture>();
    const Made<KXRenderTexture> texture = createRenderTexture();
    ASSERT_TRUE(target && small && scratch && half && square && large && texture);
    for (KXRenderSurface* s : std::initializer_list<KXRenderSurface*>{target.get(), small.get(), scratch.get()})
        ASSERT_EQ(KXRESULT_OK, s->initialize(device.get()));
    for (KXMemoryTexture* m : std::initializer_list<KXMemoryTexture*>{half.get(), square.get(), large.get()})
        ASSERT_EQ(KXRESULT_OK, m->initialize(device.get()));
    ASSERT_EQ(KXRESULT_OK, texture->initialize(device.get()));
    KXRawImage2D raw;
    KXImage2D image;
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->saveToRawImage(&raw)) << "nothing created yet";
    EXPECT_EQ(KXRESULT_NULLARGUMENT, texture->saveToRawImage(&raw));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, half->saveToRawImage(&raw));
    EXPECT_EQ(KXRESULT_FAILED, target->saveToImage(&image, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->copyRegion(KXViewport(), small.get(), KXViewport()));

    target->setUseDeviceMultisampling(false);
    small->setUseDeviceMultisampling(false);
    ASSERT_EQ(KXRESULT_OK, target->create(256, 256, 1));
    ASSERT_EQ(KXRESULT_OK, small->create(128, 128, 1));
    ASSERT_EQ(KXRESULT_OK, scratch->create(256, 256, 0));
    ASSERT_EQ(KXRESULT_OK, half->create(256, 128));
    ASSERT_EQ(KXRESULT_OK, square->create(256, 256));
    ASSERT_EQ(KXRESULT_OK, large->create(300, 300));
    ASSERT_EQ(KXRESULT_OK, texture->create(256, 256, 0, 1));

    EXPECT_EQ(KXRESULT_FAILED, target->copyToMemoryTexture(half.get()));
    EXPECT_EQ(KXRESULT_FAILED, scratch->copyToMemoryTexture(square.get()))
        << "GetRenderTargetData needs a render target";
    EXPECT_EQ(KXRESULT_FAILED, scratch->copyTo(target.get())) << "StretchRect refuses a scratch surface";
    EXPECT_EQ(KXRESULT_FAILED, target->copyTo(small.get()));
    EXPECT_EQ(KXRESULT_FAILED, texture->copyToMemoryTexture(half.get()));
    EXPECT_EQ(KXRESULT_FAILED, target->loadFromMemoryTexture(half.get()));
    EXPECT_EQ(KXRESULT_FAILED, texture->loadFromMemoryTexture(large.get())) << "levels are matched by size";
    EXPECT_EQ(KXRESULT_FAILED,
              target->copyRegion(KXViewport(200, 0, 100, 10), scratch.get(), KXViewport(0, 0, 100, 10)));
    EXPECT_EQ(KXRESULT_FAILED, target->copyRegion(KXViewport(0, 0, 1, 1), scratch.get(),
                                                  KXViewport(0xFFFFFFFFu, 0, 0xFFFFFFFFu, 1)));

    // UpdateSurface refuses a source rectangle larger than the destination:
    // the larger texture's top-left corner fills the smaller surface.
    fill(*large, pattern);
    IDirect3DSurface9* whole = nullptr;
    ASSERT_EQ(D3D_OK, large->getTexture()->GetSurfaceLevel(0, &whole));
    EXPECT_NE(D3D_OK, d3d()->UpdateSurface(whole, nullptr, small->getSurface(), nullptr));
    whole->Release();
    ASSERT_EQ(KXRESULT_OK, small->loadFromMemoryTexture(large.get()));
    ASSERT_EQ(KXRESULT_OK, small->saveToRawImage(&raw));
    EXPECT_EQ(expected(128, 128), wordsOf(raw));

    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->copyToMemoryTexture(nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->copyTo(nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->loadFromMemoryTexture(nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->copyRegion(KXViewport(), nullptr, KXViewport()));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, texture->copyToMemoryTexture(nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, texture->loadFromMemoryTexture(nullptr));
    KXTempFile file(true, L"png");
    for (auto type : {KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_PPM}) {
        EXPECT_EQ(KXRESULT_FAILED, target->saveToFile(file.getFileName(), type));
        EXPECT_EQ(KXRESULT_FAILED, texture->saveToImage(&image, type));
        EXPECT_EQ(KXRESULT_FAILED, square->saveToImage(&image, type));
    }
    EXPECT_EQ(nullptr, image.getData());
    EXPECT_EQ(KXRESULT_FAILED, target->saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_FAILED, texture->saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_FAILED, square->saveToImage(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, target->saveToRawImage(nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, texture->saveToRawImage(nullptr));
}

// A render target made with the device's multisampling is resolved before
// it is read back: what was cleared into it comes back, not black.
TEST_F(SurfaceTest, MultisampledTargetsAreResolvedForReadBack)
{
    const Made<KXDXRenderSurface> target = createRenderSurface<KXDXRenderSurface>();
    const Made<KXDXRenderSurface> plain = createRenderSurface<KXDXRenderSurface>();
    ASSERT_TRUE(target && plain);
    ASSERT_EQ(KXRESULT_OK, target->initialize(device.get()));
    ASSERT_EQ(KXRESULT_OK, target->create(W, H, 1));
    D3DSURFACE_DESC desc{};
    target->getSurface()->GetDesc(&desc);
    ASSERT_NE(D3DMULTISAMPLE_NONE, desc.MultiSampleType) << "the test device is multisampled";
    ASSERT_EQ(device->getPresentParameters().MultiSampleType, desc.MultiSampleType);
    plain->setUseDeviceMultisampling(false);
    ASSERT_EQ(KXRESULT_OK, plain->initialize(device.get()));
    ASSERT_EQ(KXRESULT_OK, plain->create(W, H, 1));

    IDirect3DSurface9* previous = nullptr;
    d3d()->GetRenderTarget(0, &previous);
    d3d()->SetRenderTarget(0, target->getSurface());
    const D3DRECT left = {0, 0, LONG(W / 2), LONG(H)};
    d3d()->Clear(0, nullptr, D3DCLEAR_TARGET, 0x800000FF, 1.0f, 0);
    d3d()->Clear(1, &left, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    d3d()->SetRenderTarget(0, previous);
    previous->Release();

    std::vector<uint32_t> halves;
    for (unsigned y = 0; y < H; ++y)
        for (unsigned x = 0; x < W; ++x)
            halves.push_back(x < W / 2 ? 0xFFFF0000u : 0x800000FFu);
    KXRawImage2D raw;
    ASSERT_EQ(KXRESULT_OK, target->saveToRawImage(&raw));
    EXPECT_EQ(halves, wordsOf(raw));
    ASSERT_EQ(KXRESULT_OK, target->copyTo(plain.get()));
    ASSERT_EQ(KXRESULT_OK, plain->saveToRawImage(&raw));
    EXPECT_EQ(halves, wordsOf(raw));
}

// D24S8 where the device has it, else D16.
TEST(DepthStencilSurface, FallsBackToD16)
{
    LiveObjectCheck live;
    const std::vector<std::pair<DWORD, D3DFORMAT>> cases = {{0, D3DFMT_D24S8}, {SWD3D9_NO_D24S8, D3DFMT_D16}};
    for (const auto& [removed, format] : cases) {
        SCOPED_TRACE(removed);
        CapsOverride override;
        override.removeFormatSupport(removed);
        override.apply();
        TestWindow window(32, 32);
        auto device = makeDevice(window.get(), nullptr, false);
        ASSERT_TRUE(device);
        const Made<KXDXDepthStencilSurface> depth = createDepthStencilSurface<KXDXDepthStencilSurface>();
        ASSERT_TRUE(depth);
        ASSERT_EQ(KXRESULT_OK, depth->initialize(device.get()));
        ASSERT_EQ(KXRESULT_OK, depth->create(16, 16));
        D3DSURFACE_DESC desc{};
        depth->getSurface()->GetDesc(&desc);
        EXPECT_EQ(format, desc.Format);
        EXPECT_EQ(D3DMULTISAMPLE_NONE, desc.MultiSampleType);
    }
    live.expectBalanced();
}

// Stored in an image's slot, a render texture is found by the texture
// state as a KXDXImage2DImpl of the device and binds its texture; the
// image's disposal releases the texture and leaves the object, which can
// make a new one.
TEST_F(SurfaceTest, ARenderTextureLentToAnImageIsDisposedNotDeleted)
{
    const Made<KXDXRenderTexture> texture = createRenderTexture<KXDXRenderTexture>();
    ASSERT_TRUE(texture);
    ASSERT_EQ(KXRESULT_OK, texture->initialize(device.get()));
    ASSERT_EQ(KXRESULT_OK, texture->create(16, 16, 0, 1));
    {
        KXRef<KXImage2D> image = KXMake<KXImage2D>();
        KXRenderTexture* lent = texture.get();
        image->setImplementation(lent);
        auto* found = dynamic_cast<KXDXImage2DImpl*>(image->getImplementation());
        ASSERT_EQ(static_cast<KXDXImage2DImpl*>(texture.get()), found);
        EXPECT_EQ(device.get(), found->getDevice());
        found->bind(1);
        EXPECT_EQ(texture->getTexture(), boundTexture(d3d(), 1));
        d3d()->SetTexture(1, nullptr);
    }
    EXPECT_EQ(nullptr, texture->getTexture());
    EXPECT_EQ(0u, texture->getWidth());
    EXPECT_EQ(KXRESULT_OK, texture->create(8, 8, 0, 0));
}

// One object of each class from the factory, made on a device.
struct OneOfEach {
    Made<KXDXRenderSurface> surface = createRenderSurface<KXDXRenderSurface>();
    Made<KXDXRenderSurface> scratch = createRenderSurface<KXDXRenderSurface>();
    Made<KXDXRenderTexture> texture = createRenderTexture<KXDXRenderTexture>();
    Made<KXDXMemoryTexture> memory = createMemoryTexture<KXDXMemoryTexture>();
    Made<KXDXDepthStencilSurface> depth = createDepthStencilSurface<KXDXDepthStencilSurface>();

    // 0 when every object was made and every initialize and create
    // succeeded.
    int make(KXDevice* d)
    {
        if (!surface || !scratch || !texture || !memory || !depth)
            return KXRESULT_FAILED;
        const int failed = surface->initialize(d) | scratch->initialize(d) | texture->initialize(d) |
                           memory->initialize(d) | depth->initialize(d);
        return failed | surface->create(W, H, 1) | surface->create(W / 2, H, 1) | scratch->create(W, H, 0) |
               texture->create(W, H, 1, 1) | memory->create(W, H) | depth->create(W, H);
    }
    void release()
    {
        surface->release();
        scratch->release();
        texture->release();
        memory->release();
        depth->release();
    }
    bool holdsNothing() const
    {
        return !surface->getSurface() && !scratch->getSurface() && !texture->getTexture() &&
               !memory->getTexture() && !depth->getSurface();
    }
};

// Released objects give back every Direct3D object, and so do objects
// the factory destroys without release; objects still holding theirs when the device
// goes let go of them and create nothing after.
TEST_F(SurfaceTest, DirectThreeDObjectsAreGivenBack)
{
    const UINT baseline = SwD3D9GetLiveObjectCount();
    {
        OneOfEach objects;
        ASSERT_EQ(KXRESULT_OK, objects.make(device.get()));
        EXPECT_LT(baseline, SwD3D9GetLiveObjectCount());
        objects.release();
        EXPECT_TRUE(objects.holdsNothing());
        EXPECT_EQ(baseline, SwD3D9GetLiveObjectCount());
        ASSERT_EQ(KXRESULT_OK, objects.make(device.get()));
    }
    EXPECT_EQ(baseline, SwD3D9GetLiveObjectCount());

    OneOfEach objects;
    ASSERT_EQ(KXRESULT_OK, objects.make(device.get()));
    device.reset();
    EXPECT_TRUE(objects.holdsNothing());
    EXPECT_EQ(KXRESULT_FAILED, objects.surface->create(W, H, 1));
    EXPECT_EQ(KXRESULT_FAILED, objects.texture->create(W, H, 0, 1));
    EXPECT_EQ(KXRESULT_FAILED, objects.memory->create(W, H));
    EXPECT_EQ(KXRESULT_FAILED, objects.depth->create(W, H));
}
