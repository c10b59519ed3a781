// The window renderer: binding to a device, the transform stack, reading
// the picture back, and frames that survive lost devices, resizes and a
// device made anew.

#include "KXDXTestScenes.h"

#include "KXRecordingLog.h"
#include "KXRecordingRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXTempFile.h"

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

// The raw image's pixels as 0xAARRGGBB words, rows from the top.
std::vector<uint32_t> wordsOf(const KXRawImage2D& image)
{
    std::vector<uint32_t> words(static_cast<size_t>(image.getWidth()) * image.getHeight());
    for (unsigned y = 0; y < image.getHeight(); ++y)
        std::memcpy(&words[static_cast<size_t>(y) * image.getWidth()], image.getRow(y), image.getRowSize());
    return words;
}

// An encoded image's pixels as 0xAARRGGBB words, alpha 255.
std::vector<uint32_t> decodedWords(KXImage2D& image)
{
    KXRawImage2D raw;
    EXPECT_EQ(0, KXImageUtils::decode(&image, &raw));
    raw.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_BGRA);
    std::vector<uint32_t> words = wordsOf(raw);
    for (uint32_t& w : words)
        w |= 0xFF000000u;
    return words;
}

} // namespace

// Only a KXDXDevice, only once until uninitialize; released first, the
// device leaves a renderer that draws nothing.
TEST(Renderer, BindsOnlyToItsOwnDeviceClassAndOnce)
{
    Made<KXRenderer> renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
    ASSERT_TRUE(renderer);
    EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer->initialize(nullptr));
    KXRecordingLog log;
    KXRecordingDevice other(log);
    EXPECT_EQ(KXRESULT_FAILED, renderer->initialize(&other));

    TestWindow window(W, H);
    auto device = makeDevice(window.get());
    ASSERT_TRUE(device);
    ASSERT_EQ(KXRESULT_OK, renderer->initialize(device.get()));
    EXPECT_EQ(KXRESULT_FAILED, renderer->initialize(device.get()));
    EXPECT_EQ(KXViewport(0, 0, W, H), renderer->getViewport());
    renderer->uninitialize();
    EXPECT_EQ(nullptr, renderer->getRenderStateMgr());
    EXPECT_EQ(KXRESULT_OK, renderer->initialize(device.get()));
    device->release();
    EXPECT_EQ(nullptr, renderer->getDevice());
    renderer->beginScene();
    renderer->clear(KXColor());
    renderer->endScene();
}

// A pushed transform acts inside the camera's world: world = pushed x
// camera world, and popping brings back the camera world alone.
TEST(Renderer, PushedTransformsActInsideTheCameraWorld)
{
    CanvasHarness harness(W, H);
    ASSERT_TRUE(harness.ready());
    auto camera = KXMake<KXPerspectiveCamera>();
    const KXMatrix cameraWorld = KXMatrix::rotationZ(0.5f) * KXMatrix::translation(1.0f, 2.0f, 3.0f);
    camera->setWorldMatrix(cameraWorld);
    harness.renderer->setCamera(camera.get());
    const auto transform = [&harness](D3DTRANSFORMSTATETYPE type) {
        KXMatrix m;
        harness.device->getD3DDevice()->GetTransform(type, reinterpret_cast<D3DMATRIX*>(m.getData()));
        return m;
    };
    const KXMatrix a = KXMatrix::scaling(2.0f, 3.0f, 4.0f) * KXMatrix::translation(-1.0f, 0.0f, 5.0f);
    harness.renderer->pushTransform(a);
    const KXMatrix expected = a * cameraWorld, world = transform(D3DTS_WORLD);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(expected[i], world[i], 1e-5f) << i;
    harness.renderer->popTransform();
    EXPECT_EQ(cameraWorld, transform(D3DTS_WORLD));
    EXPECT_EQ(camera->getViewMatrix(), transform(D3DTS_VIEW));
}

// Every save gives the picture that was presented: from the multisampled,
// unlockable back buffer a capable adapter gets, and from a 16-bit one,
// each component widened to the nearest 8-bit value as the window shows it.
// Without a device, a target, or with a type Direct3D cannot write, nothing
// is written.
TEST(Renderer, SavesGiveThePresentedPictureOrNothing)
{
    const Made<KXRenderer> unbound = createRenderer(KXRenderer::KXRENDERER_WINDOW);
    ASSERT_TRUE(unbound);
    KXRawImage2D raw;
    EXPECT_EQ(KXRESULT_FAILED, unbound->saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_FAILED, unbound->saveToRawImage(&raw));
    for (bool sixteenBit : {false, true}) {
        SCOPED_TRACE(sixteenBit ? "16-bit" : "multisampled");
        CapsOverride override;
        if (sixteenBit)
            override.removeFormatSupport(SWD3D9_NO_X8R8G8B8_DISPLAY);
        override.apply();
        KXAdapterFormat settings;
        CanvasHarness harness(W, H, &settings);
        ASSERT_TRUE(harness.ready());
        ASSERT_TRUE(sixteenBit ? settings.colorFormat == KXAdapterFormat::KXCOLORFORMAT_R5G6B5
                               : (settings.multisampling & KXAdapterFormat::KXMULTISAMPLING_NONMASKABLE) != 0);
        KXScene scene;
        buildSquareScene(scene);
        const PresentedImage shown = harness.render(scene);
        ASSERT_FALSE(shown.empty());
        KXDXRenderer& renderer = *harness.renderer;
        ASSERT_EQ(KXRESULT_OK, renderer.saveToRawImage(&raw));
        EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_BGRA, raw.getFormat());
        ASSERT_EQ(W, raw.getWidth());
        ASSERT_EQ(H, raw.getHeight());
        EXPECT_EQ(shown.pixels, wordsOf(raw)) << "alpha 255, rows through the pitch";
        KXImage2D png, loaded;
        ASSERT_EQ(KXRESULT_OK, renderer.saveToImage(&png, KXImage2D::KXIMAGE2D_PNG));
        EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, png.getFileType());
        EXPECT_EQ(shown.pixels, decodedWords(png));
        KXTempFile file(true, L"bmp");
        ASSERT_EQ(KXRESULT_OK, renderer.saveToFile(file.getFileName(), KXImage2D::KXIMAGE2D_BMP));
        ASSERT_EQ(0, KXImageUtils::loadImage2DFromFile(file.getFileName(), &loaded, 0, 0));
        EXPECT_EQ(shown.pixels, decodedWords(loaded));

        EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToFile(nullptr, KXImage2D::KXIMAGE2D_PNG));
        EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToImage(nullptr, KXImage2D::KXIMAGE2D_PNG));
        EXPECT_EQ(KXRESULT_NULLARGUMENT, renderer.saveToRawImage(nullptr));
        KXImage2D refused;
        for (auto type : {KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_PPM}) {
            EXPECT_EQ(KXRESULT_FAILED, renderer.saveToFile(file.getFileName(), type));
            EXPECT_EQ(KXRESULT_FAILED, renderer.saveToImage(&refused, type));
        }
        EXPECT_EQ(nullptr, refused.getData());
    }
}

// A lost device is found out by Present; the next frame resets it (once)
// before it opens, whether or not the scene's background clears the
// target, and is drawn whole.
TEST(Renderer, FramesRecoverFromALostDevice)
{
    for (bool withBackground : {true, false}) {
        SCOPED_TRACE(withBackground ? "with background" : "without background");
        DeviceEvents events; // outlives the device it hears
        CanvasHarness harness(W, H);
        ASSERT_TRUE(harness.ready());
        harness.device->registerObserver(&events);
        KXScene scene;
        buildSquareScene(scene, withBackground);
        const PresentedImage before = harness.render(scene);
        SwD3D9LoseDevice(harness.device->getD3DDevice());
        harness.render(scene);
        EXPECT_EQ(KXDevice::KXDEVICESTATUS_NOTRESET, harness.device->getStatus());
        EXPECT_EQ(before.pixels, harness.render(scene).pixels);
        EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, harness.device->getStatus());
        EXPECT_EQ((std::vector<int>{0, 1}), events.types);
    }
}

// A resize resets the device; meshes drawn from the shared pools before it
// are drawn after it too, and at half the size the square covers the same
// share of the picture.
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
    EXPECT_EQ(first.pixels, harness.render(scene).pixels);
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
        EXPECT_EQ(first.pixels, again.render(scene).pixels);
    }
    live.expectBalanced();
}
