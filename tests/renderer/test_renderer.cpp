// The window renderer: binding to a device, the transform stack, reading
// the picture back, and frames that survive lost devices, resizes and a
// device made anew.

#include "KXDXTestScenes.h"

#include "KXRecordingLog.h"
#include "KXRecordingRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXTempFile.h"

#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cstring>

using namespace kxdxtest;

namespace {

constexpr unsigned W = 64;
constexpr unsigned H = 48;

// A red square in front of a grey background, seen from above, lit by a
// white light from the viewer's side.
void buildSquareScene(KXScene& scene, bool withBackground = true)
{
    if (withBackground)
        setSingleColorBackground(scene, rgb(40, 40, 40));
    setTopDownOrthoCamera(scene, 4.0f, W, H);
    addDirectionalLight(scene, KXVector(0.0f, 0.0f, -1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto square = makeSquare(1.0f);
    addShape(scene, square.get(), KXColor(0.8f, 0.1f, 0.1f, 1.0f));
}

bool samePictures(const PresentedImage& a, const PresentedImage& b)
{
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

// The raw image's pixels as 0xAARRGGBB words, rows from the top.
std::vector<uint32_t> wordsOf(const KXRawImage2D& image)
{
    std::vector<uint32_t> words(static_cast<size_t>(image.getWidth()) * image.getHeight());
    for (unsigned y = 0; y < image.getHeight(); ++y)
        std::memcpy(&words[static_cast<size_t>(y) * image.getWidth()], image.getRow(y), image.getRowSize());
    return words;
}

} // namespace

TEST(Renderer, BindsOnlyToItsOwnDeviceClassAndOnce)
{
    KXDXRenderer renderer;
    EXPECT_EQ(KXViewport(0, 0, 100, 100), renderer.getViewport());
    EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.initialize(nullptr));
    KXRecordingLog log;
    KXRecordingDevice other(log);
    EXPECT_EQ(KXRESULT_FAILED, renderer.initialize(&other));
    EXPECT_EQ(nullptr, renderer.getDevice());
    EXPECT_EQ(nullptr, renderer.getRenderStateMgr());

    TestWindow window(W, H);
    auto device = makeDevice(window.get());
    ASSERT_TRUE(device);
    ASSERT_EQ(KXRESULT_OK, renderer.initialize(device.get()));
    EXPECT_NE(nullptr, renderer.getRenderStateMgr());
    EXPECT_EQ(KXRESULT_FAILED, renderer.initialize(device.get()));
    EXPECT_EQ(KXViewport(0, 0, W, H), renderer.getViewport());
    renderer.uninitialize();
    EXPECT_EQ(nullptr, renderer.getRenderStateMgr());
    EXPECT_EQ(KXRESULT_OK, renderer.initialize(device.get()));
    // Released first, the device leaves a renderer that draws nothing.
    device->release();
    EXPECT_EQ(nullptr, renderer.getDevice());
    renderer.beginScene();
    renderer.clear(KXColor());
    renderer.endScene();
}

TEST(Renderer, PushedTransformsActInsideTheCameraWorld)
{
    TestWindow window(W, H);
    auto device = makeDevice(window.get());
    ASSERT_TRUE(device);
    KXDXRenderer renderer;
    ASSERT_EQ(KXRESULT_OK, renderer.initialize(device.get()));
    auto camera = KXMake<KXPerspectiveCamera>();
    const KXMatrix cameraWorld = KXMatrix::rotationZ(0.5f) * KXMatrix::translation(1.0f, 2.0f, 3.0f);
    camera->setWorldMatrix(cameraWorld);
    renderer.setCamera(camera.get());

    const KXMatrix a = KXMatrix::scaling(2.0f, 3.0f, 4.0f) * KXMatrix::translation(-1.0f, 0.0f, 5.0f);
    renderer.pushTransform(a);
    KXMatrix world;
    device->getD3DDevice()->GetTransform(D3DTS_WORLD, reinterpret_cast<D3DMATRIX*>(world.getData()));
    const KXMatrix expected = a * cameraWorld;
    KXMatrix top;
    renderer.getTransform(top);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(expected[i], world[i], 1e-5f) << i;
        EXPECT_NEAR(expected[i], top[i], 1e-5f) << i;
    }
    renderer.popTransform();
    device->getD3DDevice()->GetTransform(D3DTS_WORLD, reinterpret_cast<D3DMATRIX*>(world.getData()));
    EXPECT_EQ(cameraWorld, world);
    KXMatrix view;
    device->getD3DDevice()->GetTransform(D3DTS_VIEW, reinterpret_cast<D3DMATRIX*>(view.getData()));
    EXPECT_EQ(camera->getViewMatrix(), view);
}

TEST(Renderer, SavesRefuseWhatTheyCannotWrite)
{
    KXDXRenderer unbound;
    EXPECT_EQ(KXRESULT_FAILED, unbound.saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
    KXRawImage2D raw;
    EXPECT_EQ(KXRESULT_FAILED, unbound.saveToRawImage(&raw));

    CanvasHarness harness(W, H);
    ASSERT_TRUE(harness.ready());
    KXDXRenderer& renderer = *harness.renderer;
    EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToImage(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToRawImage(nullptr));
    KXTempFile file(true, L"tga");
    KXImage2D image;
    for (auto type : {KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_PPM}) {
        EXPECT_EQ(KXRESULT_FAILED, renderer.saveToFile(file.getFileName(), type));
        EXPECT_EQ(KXRESULT_FAILED, renderer.saveToImage(&image, type));
    }
    EXPECT_EQ(nullptr, image.getData());
}

// The back buffer of the configuration a capable adapter gets is
// multisampled and not lockable; every save reads it back all the same and
// gives the picture that was presented.
TEST(Renderer, SavesGiveThePresentedPicture)
{
    KXAdapterFormat settings;
    CanvasHarness harness(W, H, &settings);
    ASSERT_TRUE(harness.ready());
    ASSERT_EQ(KXAdapterFormat::KXMULTISAMPLING_NONE | KXAdapterFormat::KXMULTISAMPLING_NONMASKABLE,
              settings.multisampling);
    KXScene scene;
    buildSquareScene(scene);
    const PresentedImage shown = harness.render(scene);
    ASSERT_FALSE(shown.empty());

    KXRawImage2D raw;
    ASSERT_EQ(KXRESULT_OK, harness.renderer->saveToRawImage(&raw));
    EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_BGRA, raw.getFormat());
    ASSERT_EQ(W, raw.getWidth());
    ASSERT_EQ(H, raw.getHeight());
    EXPECT_EQ(shown.pixels, wordsOf(raw)) << "alpha 255, rows through the pitch";

    KXImage2D png;
    ASSERT_EQ(KXRESULT_OK, harness.renderer->saveToImage(&png, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, png.getFileType());
    KXRawImage2D decoded;
    ASSERT_EQ(0, KXImageUtils::decode(&png, &decoded));
    decoded.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_BGRA);
    EXPECT_EQ(shown.pixels, wordsOf(decoded));

    KXTempFile file(true, L"bmp");
    ASSERT_EQ(KXRESULT_OK, harness.renderer->saveToFile(file.getFileName(), KXImage2D::KXIMAGE2D_BMP));
    KXImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadImage2DFromFile(file.getFileName(), &loaded, 0, 0));
    KXRawImage2D fromFile;
    ASSERT_EQ(0, KXImageUtils::decode(&loaded, &fromFile));
    fromFile.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_BGRA);
    std::vector<uint32_t> words = wordsOf(fromFile);
    for (uint32_t& w : words)
        w |= 0xFF000000u;
    EXPECT_EQ(shown.pixels, words);
}

TEST(Renderer, SixteenBitBackBufferIsReadBackWidened)
{
    CapsOverride override;
    override.removeFormatSupport(SWD3D9_NO_X8R8G8B8_DISPLAY);
    override.apply();
    KXAdapterFormat settings;
    CanvasHarness harness(W, H, &settings);
    ASSERT_TRUE(harness.ready());
    ASSERT_EQ(KXAdapterFormat::KXCOLORFORMAT_R5G6B5, settings.colorFormat);
    KXScene scene;
    buildSquareScene(scene);
    const PresentedImage shown = harness.render(scene);
    KXRawImage2D raw;
    ASSERT_EQ(KXRESULT_OK, harness.renderer->saveToRawImage(&raw));
    // Each 5- or 6-bit component widened to the nearest 8-bit value, as the
    // window shows it.
    EXPECT_EQ(shown.pixels, wordsOf(raw));
}

// A lost device is found out by Present; the next frame resets it before it
// opens, whether or not the scene's background clears the target, and is
// drawn whole.
TEST(Renderer, FramesRecoverFromALostDevice)
{
    for (bool withBackground : {true, false}) {
        CanvasHarness harness(W, H);
        ASSERT_TRUE(harness.ready());
        DeviceEvents events;
        harness.device->registerObserver(&events);
        KXScene scene;
        buildSquareScene(scene, withBackground);
        const PresentedImage before = harness.render(scene);

        SwD3D9LoseDevice(harness.device->getD3DDevice());
        harness.render(scene);
        EXPECT_EQ(KXDevice::KXDEVICESTATUS_NOTRESET, harness.device->getStatus());
        const PresentedImage after = harness.render(scene);
        EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, harness.device->getStatus());
        EXPECT_EQ((std::vector<int>{0, 1}), events.types) << "one reset";
        EXPECT_TRUE(samePictures(before, after)) << "background " << withBackground;
        harness.device->unregisterObserver(&events);
    }
}

// A resize resets the device; meshes drawn from the shared pools before it
// are drawn after it too, and the render states are ours again.
TEST(Renderer, ResizedFramesAreWhole)
{
    CanvasHarness harness(W, H);
    ASSERT_TRUE(harness.ready());
    KXScene scene;
    buildSquareScene(scene);
    const PresentedImage first = harness.render(scene);
    harness.renderer->setSize(W / 2, H / 2);
    harness.renderer->setSize(W, H);
    EXPECT_EQ(KXViewport(0, 0, W, H), harness.renderer->getViewport());
    const PresentedImage second = harness.render(scene);
    EXPECT_TRUE(samePictures(first, second));

    // Half the size: the square covers the same share of the picture.
    harness.renderer->setSize(W / 2, H / 2);
    const PresentedImage half = harness.render(scene);
    ASSERT_EQ(W / 2, half.width);
    EXPECT_EQ(first.at(W / 2, H / 2), half.at(W / 4, H / 4));
    EXPECT_EQ(first.at(2, 2), half.at(1, 1));
}

// Implementations left in the scene's slots belong to the device they were
// made on: a device made anew gets new ones, and the old ones let go of
// their Direct3D objects when their device goes.
TEST(Renderer, SceneOutlivesItsDevice)
{
    LiveObjectCheck live;
    {
        KXScene scene;
        buildSquareScene(scene);
        auto polyline = KXMake<KXPolyline>();
        const KXPosition points[] = {{-1.5f, -1.4f, 0.1f}, {1.5f, -1.4f, 0.1f}};
        polyline->set(KXPolyline::KXPOLYLINETYPE_OPEN, points, 2);
        addShape(scene, polyline.get(), KXColor(1.0f, 1.0f, 1.0f, 1.0f));

        PresentedImage first;
        {
            CanvasHarness harness(W, H);
            ASSERT_TRUE(harness.ready());
            first = harness.render(scene);
        }
        CanvasHarness again(W, H);
        ASSERT_TRUE(again.ready());
        EXPECT_TRUE(samePictures(first, again.render(scene)));
    }
    live.expectBalanced();
}
