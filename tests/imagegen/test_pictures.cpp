#include "KXImageGenTestSupport.h"
#include "KXDXTestScenes.h"

#include "imagegen/KXImageMaker.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXSceneAxes.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXTempFile.h"
#include "sceneapi/KXTexture2D.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

using namespace kximagegentest;

namespace {

using SceneSetup = std::function<void(KXScene&)>;

void orthographicView(KXScene& scene)
{
    auto camera = KXMake<KXOrthoCamera>();
    camera->setPosition(KXPosition(6.0f, -8.0f, 7.0f), KXPosition(0.0f, 0.0f, 0.5f), KXVector(0, 0, 1));
    camera->setViewport(scene.getRoot()->getCamera()->getViewport());
    camera->setViewportScale(9.0f);
    camera->setNearPlane(0.5f);
    camera->setFarPlane(60.0f);
    scene.getRoot()->setCamera(camera.get());
}

void skyDome(KXScene& scene)
{
    // Bands of colour across the panorama, so that a misplaced tile shows.
    auto image = kxdxtest::pngImage(64, 32, [](unsigned x, unsigned y) {
        return 0xFF000000u | ((x * 4) << 16) | ((y * 8) << 8) | (((x + y) % 8) * 32);
    });
    auto texture = KXMake<KXTexture2D>();
    texture->setImage2D(image.get());
    auto dome = KXMake<KXSkyDome>();
    dome->setTexture2D(texture.get());
    scene.getRoot()->setBackground(dome.get());
}

// Every 2 x 2 block of a picture averaged into a pixel, colours weighted by
// their alpha (a block without alpha is black).
KXRawImage2D averaged2x2(const KXRawImage2D& big)
{
    KXRawImage2D small(big.getWidth() / 2, big.getHeight() / 2, big.getFormat());
    small.createData();
    for (unsigned y = 0; y < small.getHeight(); ++y) {
        const unsigned char* rows[2] = {big.getRow(2 * y), big.getRow(2 * y + 1)};
        unsigned char* out = small.getRow(y);
        for (unsigned x = 0; x < small.getWidth(); ++x) {
            double alpha = 0.0, colour[3] = {0.0, 0.0, 0.0};
            for (const unsigned char* row : rows)
                for (unsigned k = 0; k < 2; ++k) {
                    const unsigned char* p = row + 4 * (2 * x + k);
                    alpha += p[3];
                    for (int c = 0; c < 3; ++c)
                        colour[c] += double(p[c]) * p[3];
                }
            for (int c = 0; c < 3; ++c)
                out[4 * x + c] = static_cast<unsigned char>(alpha > 0.0 ? std::lround(colour[c] / alpha) : 0);
            out[4 * x + 3] = static_cast<unsigned char>(std::lround(alpha / 4.0));
        }
    }
    return small;
}

} // namespace

// By tiles of 128 pixels (partial ones at the right and bottom) the picture
// is the one a single pass makes, for both kinds of camera and for
// backgrounds that draw with cameras of their own.
TEST(Pictures, TilesEqualOnePassForEveryCameraAndBackground)
{
    const unsigned width = 1000, height = 600;
    auto tiled = makeGenerator(float(width), float(height), 0, 128);
    ASSERT_TRUE(tiled);
    ASSERT_EQ(KXImageMaker::KXMAKER_GPU, tiled->getPrimaryMaker()->getMakerType());
    const std::pair<const char*, SceneSetup> setups[] = {
        {"perspective camera, gradient", [](KXScene&) {}},
        {"orthographic camera, gradient", orthographicView},
        {"perspective camera, sky dome", skyDome},
        {"orthographic camera, sky dome", [](KXScene& scene) { orthographicView(scene); skyDome(scene); }},
    };
    for (const auto& setup : setups) {
        KXScene scene;
        ASSERT_EQ(0, KXShowcaseScene::build(scene, width, height));
        setup.second(scene);
        int byTilesResult = -1;
        const KXRawImage2D byTiles = picture(*tiled, scene, width, height, &byTilesResult);
        const KXRawImage2D once = singlePass(scene, width, height);
        ASSERT_EQ(KXRESULT_OK, byTilesResult) << setup.first;
        ASSERT_TRUE(once.hasData()) << setup.first;
        EXPECT_LT(compare(byTiles, once, 8).share, 0.002) << setup.first;
    }
}

// Encoded pictures decode to the raw one; a picture of another size comes
// out at its own size; the conversions leave the camera as it was.
TEST(Pictures, RawAndEncodedAgreeAcrossSizes)
{
    auto generator = makeGenerator(640, 480, 0, 256);
    ASSERT_TRUE(generator);
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 640, 480));
    KXCamera* camera = scene.getRoot()->getCamera();
    const KXMatrix projection = camera->getProjectionMatrix();

    for (const auto& wh : {std::make_pair(640u, 480u), std::make_pair(300u, 200u), std::make_pair(520u, 390u)}) {
        const unsigned width = wh.first, height = wh.second;
        int result = -1;
        const KXRawImage2D raw = picture(*generator, scene, width, height, &result);
        ASSERT_EQ(KXRESULT_OK, result);
        ASSERT_EQ(width, raw.getWidth());
        ASSERT_EQ(height, raw.getHeight());
        for (auto type : {KXImage2D::KXIMAGE2D_PNG, KXImage2D::KXIMAGE2D_JPG, KXImage2D::KXIMAGE2D_BMP}) {
            KXImage2D encoded;
            ASSERT_EQ(KXRESULT_OK, generator->convert(&scene, &encoded, type, KXPosition2D(0, 0), size(width, height),
                                                      nullptr, nullptr));
            KXRawImage2D decoded(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
            ASSERT_EQ(0, KXImageUtils::decode(&encoded, &decoded));
            if (type == KXImage2D::KXIMAGE2D_JPG)
                EXPECT_LT(compare(decoded, raw, 0).mean, 2.0) << width << " x " << height;
            else
                EXPECT_EQ(0, compare(decoded, raw, 0).largest) << width << " x " << height << " type " << type;
        }
        // A file straight from the maker.
        KXTempFile file(true, L"png");
        ASSERT_EQ(KXRESULT_OK, generator->convertToFile(&scene, file.getFileName(), KXImage2D::KXIMAGE2D_PNG,
                                                        KXPosition2D(0, 0), size(width, height), nullptr, nullptr));
        KXRawImage2D fromFile(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(file.getFileName(), &fromFile));
        EXPECT_EQ(0, compare(fromFile, raw, 0).largest);
    }
    EXPECT_EQ(projection, camera->getProjectionMatrix());
    EXPECT_FALSE(camera->isProjectionMatrixSet());
    EXPECT_EQ(640.0f, camera->getViewport().getWidth());
}

// Anti-aliasing without multisampling renders twice the size and averages
// 2 x 2 blocks: on the device for small pictures, tile by tile in main
// memory for large ones.
TEST(Pictures, SupersamplingAveragesATwiceAsLargePicture)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 300, 200));
    struct Case {
        const char* name;
        unsigned tile;
        float maxWidth, maxHeight;
        unsigned width, height;
        int maker;
    };
    // The picture at twice the size is made by tiles of the same size, so
    // that both are drawn alike.
    for (const Case& c : {Case{"one pass", 0, 200, 150, 200, 150, KXImageMaker::KXMAKER_SIMPLE},
                          Case{"tiles on the device", 0, 300, 200, 300, 200, KXImageMaker::KXMAKER_GPU},
                          Case{"tiles in main memory", 128, 1000, 1000, 300, 200, KXImageMaker::KXMAKER_CPU}}) {
        auto smooth = makeGenerator(c.maxWidth, c.maxHeight, 1, c.tile, false);
        auto sharp = makeGenerator(c.maxWidth * 2, c.maxHeight * 2, 0, c.tile, false);
        ASSERT_TRUE(smooth && sharp) << c.name;
        ASSERT_EQ(c.maker, smooth->getPrimaryMaker()->getMakerType()) << c.name;
        int result = -1;
        const KXRawImage2D antialiased = picture(*smooth, scene, c.width, c.height, &result);
        ASSERT_EQ(KXRESULT_OK, result) << c.name;
        const KXRawImage2D twice = picture(*sharp, scene, 2 * c.width, 2 * c.height, &result);
        ASSERT_EQ(KXRESULT_OK, result) << c.name;
        const Difference difference = compare(antialiased, averaged2x2(twice), 1);
        EXPECT_LE(difference.share, 0.0) << c.name << ", largest difference " << difference.largest;
    }
}

// A multisampled device's tiles are resolved before they are read: the
// picture is the scene (edges smoothed), not black.
TEST(Pictures, MultisampledTilesAreResolved)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 400, 300));
    auto multisampled = makeGenerator(400, 300, 1, 128, true);
    auto plain = makeGenerator(400, 300, 0, 128);
    ASSERT_TRUE(multisampled && plain);
    ASSERT_NE(0, multisampled->getFlags() & KXImgGen::KXIMGGEN_MULTISAMPLING);
    int result = -1;
    const KXRawImage2D smooth = picture(*multisampled, scene, 400, 300, &result);
    ASSERT_EQ(KXRESULT_OK, result);
    const KXRawImage2D sharp = picture(*plain, scene, 400, 300, &result);
    ASSERT_EQ(KXRESULT_OK, result);
    const Difference difference = compare(smooth, sharp, 40);
    EXPECT_LT(difference.share, 0.03) << "only edges differ";

    // The view covers its border pixels whole: the sky is as bright in the
    // first row and column and on both sides of a tile seam (x = 128) as
    // next to them.
    auto channelsApart = [&](unsigned x0, unsigned y0, unsigned x1, unsigned y1) {
        const unsigned char* p = smooth.getRow(y0) + 4 * x0;
        const unsigned char* q = smooth.getRow(y1) + 4 * x1;
        int apart = 0;
        for (int c = 0; c < 3; ++c)
            apart = std::max(apart, std::abs(int(p[c]) - int(q[c])));
        return apart;
    };
    for (unsigned y = 0; y < 20; ++y) {
        EXPECT_LE(channelsApart(0, y, 1, y), 2) << "row " << y;
        EXPECT_LE(channelsApart(128, y, 127, y), 2) << "row " << y;
        EXPECT_LE(channelsApart(128, y, 129, y), 2) << "row " << y;
    }
    for (unsigned x = 0; x < 400; x += 7)
        EXPECT_LE(channelsApart(x, 0, x, 1), 3) << "column " << x;
}

// A host's canvas lent to a conversion gets its own renderer back and goes
// on drawing in its window after the generator is gone; the generator
// leaves no Direct3D object behind.
TEST(Pictures, TheHostCanvasOutlivesTheGenerator)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 160, 120));
    kxdxtest::CanvasHarness host(160, 120);
    ASSERT_TRUE(host.ready());
    KXRenderer* own = host.canvas.getRenderer();
    const kxdxtest::LiveObjectCheck live;
    {
        auto generator = makeGenerator(400, 300, 0, 128);
        ASSERT_TRUE(generator);
        KXRawImage2D raw;
        ASSERT_EQ(KXRESULT_OK,
                  generator->convert(&scene, &raw, KXPosition2D(0, 0), size(400, 300), nullptr, &host.canvas));
        EXPECT_EQ(own, host.canvas.getRenderer());
        ASSERT_EQ(KXRESULT_OK,
                  generator->convert(&scene, &raw, KXPosition2D(0, 0), size(100, 100), nullptr, &host.canvas));
        EXPECT_EQ(own, host.canvas.getRenderer());
    }
    live.expectBalanced();
    const kxdxtest::PresentedImage frame = host.render(scene);
    ASSERT_EQ(160u, frame.width);
    // The gradient sky at the top of the window.
    const uint32_t top = frame.pixels[5 * 160 + 80];
    EXPECT_GT(kxdxtest::blue(top), kxdxtest::red(top));
}

// A picture's alpha is its coverage: opaque wherever an opaque background
// shows through transparent objects, and the object's own alpha over a
// transparent background.
TEST(Pictures, AlphaIsCoverage)
{
    auto generator = makeGenerator(64, 64, 0);
    ASSERT_TRUE(generator);
    KXScene showcase;
    ASSERT_EQ(0, KXShowcaseScene::build(showcase, 64, 64));
    int result = -1;
    const KXRawImage2D opaque = picture(*generator, showcase, 64, 64, &result);
    ASSERT_EQ(KXRESULT_OK, result);
    int lowest = 255;
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x)
            lowest = std::min(lowest, int(opaque.getRow(y)[4 * x + 3]));
    EXPECT_EQ(255, lowest) << "the half-transparent cylinder over the scene";

    KXScene glass;
    kxdxtest::setSingleColorBackground(glass, kxdxtest::rgb(0, 0, 0, 0.0f));
    kxdxtest::setTopDownOrthoCamera(glass, 4.0f, 64, 64);
    auto square = kxdxtest::makeSquare(1.0f);
    KXShape* shape = kxdxtest::addShape(glass, square.get(), KXColor(1.0f, 1.0f, 1.0f, 0.5f));
    shape->getAppearance()->getMaterial()->setEmissiveColor(KXColor(1.0f, 1.0f, 1.0f, 0.5f));
    const KXRawImage2D overNothing = picture(*generator, glass, 64, 64, &result);
    ASSERT_EQ(KXRESULT_OK, result);
    EXPECT_NEAR(128, overNothing.getRow(32)[4 * 32 + 3], 1) << "inside the square";
    EXPECT_EQ(0, overNothing.getRow(2)[4 * 2 + 3]) << "the background";
}

namespace {

// A canvas with the scene axes (a glowing box per axis widget) and the node
// controller of the selected first shape (a glowing box).
void addAids(KXCanvas& canvas, KXScene& scene, std::vector<KXRef<KXTriMesh>>& meshes)
{
    auto widgetShape = [&](KXShape* shape, const KXColor& colour) {
        meshes.push_back(kxdxtest::makeBox(KXPosition(-0.4f, -0.4f, -0.4f), KXPosition(0.4f, 0.4f, 0.4f)));
        shape->setGeometry(meshes.back().get());
        auto look = KXMake<KXAppearance>();
        look->createMaterial()->set(KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), colour, 0.0f);
        shape->setAppearance(look.get());
    };
    KXSceneAxes* axes = canvas.createSceneAxes();
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
    widgetShape(axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(1))->createVisual(),
                KXColor(1.0f, 0.0f, 1.0f));
    KXNodeControllers* controllers = canvas.createNodeControllers();
    controllers->setState(static_cast<KXNodeControllers::KXNODECONTROLLERSTATE>(1));
    widgetShape(controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(1))->createVisual(),
                KXColor(0.0f, 1.0f, 1.0f));
    for (int i = 0; i < scene.getRoot()->getNumChildNodes(); ++i)
        if (auto* shape = dynamic_cast<KXShape*>(scene.getRoot()->getChild(i))) {
            scene.getSelection()->selectNode(shape);
            break;
        }
}

} // namespace

// The aids placed on the screen belong to the picture: drawn in tiles, the
// axes sit once in the picture's corner (not in every tile's) and the
// controllers have the size they have in one pass.
TEST(Pictures, EditorAidsSitOnThePictureNotOnItsTiles)
{
    const unsigned width = 300, height = 200;
    auto tiled = makeGenerator(float(width), float(height), 0, 128);
    auto whole = makeGenerator(float(width), float(height), 0);
    ASSERT_TRUE(tiled && whole);
    ASSERT_EQ(KXImageMaker::KXMAKER_GPU, tiled->getPrimaryMaker()->getMakerType());
    ASSERT_EQ(KXImageMaker::KXMAKER_SIMPLE, whole->getPrimaryMaker()->getMakerType());
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, width, height));
    std::vector<KXRef<KXTriMesh>> meshes;
    KXCanvas tiledCanvas, wholeCanvas;
    addAids(tiledCanvas, scene, meshes);
    addAids(wholeCanvas, scene, meshes);
    KXRawImage2D byTiles(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA), once(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(KXRESULT_OK, tiled->convert(&scene, &byTiles, KXPosition2D(0, 0), size(width, height), nullptr,
                                          &tiledCanvas));
    ASSERT_EQ(KXRESULT_OK, whole->convert(&scene, &once, KXPosition2D(0, 0), size(width, height), nullptr,
                                          &wholeCanvas));
    EXPECT_LT(compare(byTiles, once, 8).share, 0.002);
    // The axes' magenta box is in the bottom-left corner of the picture only.
    auto magenta = [](const KXRawImage2D& image, unsigned x0, unsigned y0, unsigned x1, unsigned y1) {
        int count = 0;
        for (unsigned y = y0; y < y1; ++y)
            for (unsigned x = x0; x < x1; ++x) {
                const unsigned char* p = image.getRow(y) + 4 * x;
                count += p[0] > 200 && p[1] < 60 && p[2] > 200;
            }
        return count;
    };
    EXPECT_GT(magenta(byTiles, 0, height - 100, 130, height), 100);
    EXPECT_EQ(magenta(byTiles, 130, 0, width, height), 0);
    EXPECT_EQ(magenta(byTiles, 0, 0, 130, height - 100), 0);
}
