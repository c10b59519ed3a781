// Whole frames drawn by the canvas through the window renderer, checked
// against independent truths: the ray tracer's picture of the same scene,
// the fixed-function lighting formula, the texture's own texels, and the
// faces a viewer must see.

#include "KXDXTestScenes.h"

#include "raytracer/KXRayTracer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXGltfLoader.h"
#include "sceneapi/KXImageUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace kxdxtest;

namespace {

// A colour no object of the test scenes has, so that the background tells
// itself apart from everything drawn over it.
const int BG_R = 255, BG_G = 0, BG_B = 255;

bool isBackground(int r, int g, int b)
{
    return std::abs(r - BG_R) + std::abs(g - BG_G) + std::abs(b - BG_B) <= 6;
}

// Which pixels show an object (true) rather than the background.
std::vector<bool> maskOf(const PresentedImage& image)
{
    std::vector<bool> mask(image.pixels.size());
    for (size_t i = 0; i < mask.size(); ++i)
        mask[i] = !isBackground(red(image.pixels[i]), green(image.pixels[i]), blue(image.pixels[i]));
    return mask;
}

std::vector<bool> maskOf(const KXRawImage2D& image)
{
    std::vector<bool> mask(static_cast<size_t>(image.getWidth()) * image.getHeight());
    for (unsigned y = 0; y < image.getHeight(); ++y)
        for (unsigned x = 0; x < image.getWidth(); ++x) {
            const KXColor c = image.getColor(x, y);
            mask[static_cast<size_t>(y) * image.getWidth() + x] =
                !isBackground(static_cast<int>(std::lround(c.getR() * 255)),
                              static_cast<int>(std::lround(c.getG() * 255)),
                              static_cast<int>(std::lround(c.getB() * 255)));
        }
    return mask;
}

// Share of the pixels away from edges (no change of either mask within two
// pixels) on which the two masks agree, and how many such pixels there were.
double maskAgreement(const std::vector<bool>& a, const std::vector<bool>& b, unsigned width, unsigned height,
                     size_t& counted)
{
    auto uniformAround = [&](const std::vector<bool>& m, unsigned x, unsigned y) {
        const bool v = m[static_cast<size_t>(y) * width + x];
        for (unsigned yy = y - 2; yy <= y + 2; ++yy)
            for (unsigned xx = x - 2; xx <= x + 2; ++xx)
                if (m[static_cast<size_t>(yy) * width + xx] != v)
                    return false;
        return true;
    };
    size_t agree = 0;
    counted = 0;
    for (unsigned y = 2; y + 2 < height; ++y)
        for (unsigned x = 2; x + 2 < width; ++x) {
            if (!uniformAround(a, x, y) && !uniformAround(b, x, y))
                continue;
            ++counted;
            const size_t i = static_cast<size_t>(y) * width + x;
            agree += a[i] == b[i];
        }
    return counted ? static_cast<double>(agree) / counted : 0.0;
}

// Draws the scene through the canvas and traces it; the share of pixels
// away from edges on which both show an object, or both the background.
double agreementWithRayTracer(KXScene& scene, unsigned width, unsigned height, size_t& objectPixels)
{
    setSingleColorBackground(scene, rgb(BG_R, BG_G, BG_B));
    if (KXCamera* camera = scene.getRoot()->getCamera())
        camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    CanvasHarness harness(width, height);
    if (!harness.ready())
        return 0.0;
    const PresentedImage raster = harness.render(scene);

    KXRawImage2D traced(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    traced.createData();
    KXRayTracer tracer;
    tracer.trace(&scene, traced);

    const std::vector<bool> a = maskOf(raster), b = maskOf(traced);
    objectPixels = static_cast<size_t>(std::count(a.begin(), a.end(), true));
    size_t counted = 0;
    return maskAgreement(a, b, width, height, counted);
}

} // namespace

TEST(Frames, ShowcaseCoversWhatTheRayTracerCovers)
{
    KXScene scene;
    KXShowcaseScene::build(scene, 320, 240);
    size_t objectPixels = 0;
    EXPECT_GE(agreementWithRayTracer(scene, 320, 240, objectPixels), 0.99);
    EXPECT_GT(objectPixels, 320u * 240u / 4) << "the ground and the objects are drawn";
}

TEST(Frames, GltfStillLifeCoversWhatTheRayTracerCovers)
{
    KXScene scene;
    KXGltfLoadOptions options;
    options.viewportWidth = 320;
    options.viewportHeight = 240;
    std::string error;
    const std::string path = std::string(KX_TEST_DATA_DIR) + "/gltf/still_life.glb";
    const std::wstring widePath(path.begin(), path.end());
    ASSERT_EQ(0, KXGltfLoader::load(widePath.c_str(), scene, &error, options)) << error;
    size_t objectPixels = 0;
    EXPECT_GE(agreementWithRayTracer(scene, 320, 240, objectPixels), 0.99);
    EXPECT_GT(objectPixels, 320u * 240u / 20);
}

// A public sample model, a textured box lit by the light the loader adds:
// the faces are flat, so per-vertex lighting equals the ray tracer's
// per-pixel lighting, and the two pictures agree in colour, not only in
// coverage.
TEST(Frames, GltfTexturedBoxLooksAsTheRayTracerSeesIt)
{
    KXScene scene;
    KXGltfLoadOptions options;
    options.viewportWidth = 160;
    options.viewportHeight = 120;
    std::string error;
    const std::string path = std::string(KX_TEST_DATA_DIR) + "/gltf/BoxTextured.gltf";
    const std::wstring widePath(path.begin(), path.end());
    ASSERT_EQ(0, KXGltfLoader::load(widePath.c_str(), scene, &error, options)) << error;
    setSingleColorBackground(scene, rgb(BG_R, BG_G, BG_B));
    CanvasHarness harness(160, 120);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const PresentedImage raster = harness.render(scene);
    KXRawImage2D traced(160, 120, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    traced.createData();
    KXRayTracer tracer;
    tracer.trace(&scene, traced);

    const std::vector<bool> a = maskOf(raster), b = maskOf(traced);
    size_t counted = 0;
    EXPECT_GE(maskAgreement(a, b, 160, 120, counted), 0.99);
    // Mean colour difference over the pixels both show the box on.
    double difference = 0.0;
    size_t inside = 0;
    for (unsigned y = 0; y < 120; ++y)
        for (unsigned x = 0; x < 160; ++x) {
            if (!a[y * 160 + x] || !b[y * 160 + x])
                continue;
            const uint32_t p = raster.at(x, y);
            const KXColor c = traced.getColor(x, y);
            difference += std::abs(red(p) - c.getR() * 255) + std::abs(green(p) - c.getG() * 255) +
                          std::abs(blue(p) - c.getB() * 255);
            ++inside;
        }
    ASSERT_GT(inside, 160u * 120u / 8);
    EXPECT_LT(difference / (3.0 * inside), 6.0) << "mean difference per channel";
}

// The scene's front faces are counter-clockwise: a one-sided box shows its
// outside to a viewer outside it and nothing to a viewer inside it.
TEST(Frames, OneSidedBoxShowsItsOutsideOnly)
{
    KXScene scene;
    setSingleColorBackground(scene, rgb(BG_R, BG_G, BG_B));
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(0.0f, 0.0f, 0.0f), 2.0f, 2.0f, 2.0f);
    addShape(scene, box.get(), KXColor(0.2f, 0.7f, 0.3f, 1.0f));
    // Lit from the viewer's side: seen from outside the faces are bright.
    addDirectionalLight(scene, KXVector(-1.0f, 1.0f, -1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f));

    CanvasHarness harness(64, 64);
    ASSERT_TRUE(harness.ready());
    setPerspectiveCamera(scene, KXPosition(5.0f, -5.0f, 5.0f), KXPosition(0.0f, 0.0f, 0.0f), 64, 64);
    const PresentedImage outside = harness.render(scene);
    const uint32_t centre = outside.at(32, 32);
    EXPECT_FALSE(isBackground(red(centre), green(centre), blue(centre)));
    EXPECT_GT(green(centre), 100) << "the lit outside of the box";

    setPerspectiveCamera(scene, KXPosition(0.2f, -0.3f, 0.1f), KXPosition(0.0f, 1.0f, 0.0f), 64, 64);
    const PresentedImage inside = harness.render(scene);
    const std::vector<bool> mask = maskOf(inside);
    EXPECT_EQ(0, std::count(mask.begin(), mask.end(), true)) << "no inside face is drawn";
}

// A quad facing the viewer, lit by one directional light, against Direct3D's
// lighting formula: ambient·material ambient + (N·L)·light·material diffuse.
TEST(Frames, LitQuadFollowsTheLightingFormula)
{
    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 0));
    setTopDownOrthoCamera(scene, 4.0f, 32, 32);
    auto square = makeSquare(1.5f);
    const KXColor diffuse(0.8f, 0.6f, 0.4f, 1.0f);
    addShape(scene, square.get(), diffuse);
    const float angle = 0.7f; // between the light and the normal
    addDirectionalLight(scene, KXVector(std::sin(angle), 0.0f, -std::cos(angle)), KXColor(0.9f, 0.9f, 0.9f, 1.0f));
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(0.2f, 0.2f, 0.2f, 1.0f));
    scene.getRoot()->getLightModel()->setAmbientLight(ambient.get());

    CanvasHarness harness(32, 32);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const uint32_t pixel = harness.render(scene).at(16, 16);
    // Colours reach the device as bytes: the formula takes them as such.
    auto byteOf = [](float v) { return std::round(v * 255.0f) / 255.0f; };
    const float lit[3] = {diffuse.getR(), diffuse.getG(), diffuse.getB()};
    const int got[3] = {red(pixel), green(pixel), blue(pixel)};
    for (int c = 0; c < 3; ++c) {
        const float m = byteOf(lit[c]);
        const float expected = byteOf(0.2f) * m + std::cos(angle) * byteOf(0.9f) * m;
        EXPECT_NEAR(expected * 255.0f, got[c], 1.5f) << c;
    }
}

// A textured square filling the view, its material emitting white and
// reflecting nothing, point-sampled: every pixel shows its texel.
TEST(Frames, TexturedQuadShowsTheImage)
{
    // 8 x 8 texels, each a different colour.
    auto png = pngImage(8, 8, [](unsigned x, unsigned y) { return 0xFF0000C8u | x * 32 << 16 | y * 32 << 8; });
    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 0));
    setTopDownOrthoCamera(scene, 2.0f, 64, 64);
    addTexturedSquare(scene, png.get());

    CanvasHarness harness(64, 64);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const PresentedImage image = harness.render(scene);
    // Texel (x, y) covers pixels 8x .. 8x + 7 (texture row 0 at the top).
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x) {
            const uint32_t pixel = image.at(8 * x + 4, 8 * y + 4);
            EXPECT_EQ(static_cast<int>(x * 32), red(pixel)) << x << "," << y;
            EXPECT_EQ(static_cast<int>(y * 32), green(pixel)) << x << "," << y;
            EXPECT_EQ(200, blue(pixel)) << x << "," << y;
        }
}

// Polylines light exactly the pixels of their segments.
TEST(Frames, PolylinesAreWhereTheyShouldBe)
{
    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 0));
    // One unit is 16 pixels, the origin at the centre of a 64 x 64 view;
    // the view covers its pixels exactly, pixel (i, j) centred half a pixel
    // right of and below its corner, so the segments run through the
    // centres of pixel row 23 and pixel column 40.
    setTopDownOrthoCamera(scene, 4.0f, 64, 64);
    auto lines = KXMake<KXPolyline>();
    const KXPosition points[] = {
        {-1.5f, 0.53125f, 0.0f}, {1.5f, 0.53125f, 0.0f}, {0.53125f, -1.5f, 0.0f}, {0.53125f, -1.0f, 0.0f}};
    lines->set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, points, 4);
    KXShape* shape = addShape(scene, lines.get(), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    shape->getAppearance()->getMaterial()->setEmissiveColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));

    CanvasHarness harness(64, 64);
    ASSERT_TRUE(harness.ready());
    const PresentedImage image = harness.render(scene);
    int horizontal = 0, vertical = 0;
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x) {
            if (red(image.at(x, y)) < 128)
                continue;
            // The ends lie on pixel edges, which either pixel may take.
            const bool onHorizontal = y == 23 && x >= 7 && x <= 56;
            const bool onVertical = x == 40 && y >= 47 && y <= 56;
            EXPECT_TRUE(onHorizontal || onVertical) << x << "," << y;
            horizontal += onHorizontal;
            vertical += onVertical;
        }
    EXPECT_GE(horizontal, 47);
    EXPECT_GE(vertical, 7);
}

// A transparent two-sided square seen from behind looks exactly like the
// same square turned towards the viewer: its back side is blended once,
// lit with the reversed normal.
TEST(Frames, TransparentTwoSidedSquareShowsEachSideOnce)
{
    auto build = [](KXScene& scene, bool fromBehind) {
        setSingleColorBackground(scene, rgb(30, 60, 90));
        setTopDownOrthoCamera(scene, 4.0f, 32, 32);
        addDirectionalLight(scene, KXVector(0.3f, 0.2f, -1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
        auto square = makeSquare(1.0f);
        if (fromBehind) {
            // The same square with its front turned to -z.
            std::vector<KXPosition> v = square->getVertexArray();
            square->set(KXTriMesh::KXTRIMESHTYPE_LIST, v, {0, 2, 1, 0, 3, 2},
                        std::vector<KXUnitVector>(4, KXUnitVector(0.0f, 0.0f, -1.0f)));
            square->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
        }
        addShape(scene, square.get(), KXColor(0.9f, 0.5f, 0.1f, 0.5f));
    };
    KXScene facing, behind;
    build(facing, false);
    build(behind, true);
    CanvasHarness harness(32, 32);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const PresentedImage a = harness.render(facing);
    const PresentedImage b = harness.render(behind);
    EXPECT_NE(a.at(16, 16), a.at(1, 1)) << "the square is drawn";
    EXPECT_EQ(a.at(16, 16), b.at(16, 16));
}

// A cube-textured square whose cubic coordinates all point mostly along
// +z: with its texture attributes set, every pixel shows the +z face, so all
// three coordinates reached the sampler.
TEST(Frames, CubeTexturedQuadSamplesByAllThreeCoordinates)
{
    const KXColor faceColors[KXImage3D::NUM_CUBEMAP_FACES] = {rgb(255, 0, 0),   rgb(0, 255, 0), rgb(0, 0, 255),
                                                               rgb(255, 255, 0), rgb(0, 255, 255), rgb(255, 0, 255)};
    auto cube = KXMake<KXImage3D>();
    for (int face = 0; face < KXImage3D::NUM_CUBEMAP_FACES; ++face) {
        KXRawImage2D texels(4, 4, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        texels.createData();
        for (unsigned y = 0; y < 4; ++y)
            for (unsigned x = 0; x < 4; ++x)
                texels.setColor(x, y, faceColors[face]);
        KXImage2D png;
        ASSERT_EQ(0, KXImageUtils::encode(&texels, &png, KXImage2D::KXIMAGE2D_PNG));
        cube->setComponentData(face, png.getData(), png.getSize(), KXImage2D::KXIMAGE2D_PNG);
    }

    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 0));
    setTopDownOrthoCamera(scene, 2.0f, 16, 16);
    auto square = makeSquare(1.0f);
    square->setCubicTexCoordsArray(std::vector<KXPosition>(4, KXPosition(0.3f, -0.2f, 1.0f)));
    KXShape* shape = addShape(scene, square.get(), KXColor(0.0f, 0.0f, 0.0f, 1.0f));
    KXAppearance* appearance = shape->getAppearance();
    appearance->getMaterial()->setEmissiveColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto* texture = static_cast<KXTexture3D*>(appearance->createTexture(KXTexture::KXTEXTURE_3D, 0));
    texture->setImage3D(cube.get());
    appearance->createTextureAttributes(0);

    CanvasHarness harness(16, 16);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const uint32_t pixel = harness.render(scene).at(8, 8);
    EXPECT_EQ(0, red(pixel));
    EXPECT_EQ(255, green(pixel));
    EXPECT_EQ(255, blue(pixel));
}

// Adapters with small limits draw the same pictures: a mesh addressing more
// vertices than 16-bit indices reach, on a device without 32-bit indices,
// and a texture larger than the device's largest texture, which is
// loaded scaled down.
TEST(Frames, SmallDeviceLimitsKeepThePicture)
{
    // A 300 x 240 grid of vertices (72,000) filling the view, coloured by
    // position.
    auto grid = KXMake<KXTriMesh>();
    {
        const int columns = 300, rows = 240;
        std::vector<KXPosition> v;
        std::vector<KXColor> c;
        std::vector<uint32_t> idx;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                v.emplace_back(-1.0f + 2.0f * x / (columns - 1), -1.0f + 2.0f * y / (rows - 1), 0.0f);
                c.emplace_back(static_cast<float>(x) / columns, static_cast<float>(y) / rows, 0.5f, 1.0f);
            }
        for (int y = 0; y + 1 < rows; ++y)
            for (int x = 0; x + 1 < columns; ++x) {
                const uint32_t i = static_cast<uint32_t>(y * columns + x);
                idx.insert(idx.end(), {i, i + 1, i + columns + 1, i, i + columns + 1, i + columns});
            }
        grid->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), std::move(idx), {}, std::move(c));
    }
    auto drawGrid = [&]() {
        KXScene scene;
        setSingleColorBackground(scene, rgb(0, 0, 0));
        setTopDownOrthoCamera(scene, 2.0f, 64, 64);
        auto shape = KXMake<KXShape>();
        shape->setGeometry(grid.get());
        scene.getRoot()->addChild(shape.get());
        CanvasHarness harness(64, 64);
        return harness.ready() ? harness.render(scene) : PresentedImage();
    };
    const PresentedImage unlimited = drawGrid();
    ASSERT_FALSE(unlimited.empty());
    {
        CapsOverride override;
        override.caps().MaxVertexIndex = 0xFFFF;
        override.apply();
        const PresentedImage limited = drawGrid();
        EXPECT_EQ(unlimited.pixels, limited.pixels);
    }

    // 64 x 64 texels in 4 x 4 blocks of one colour, on a device whose
    // textures are at most 32 x 32.
    auto png = pngImage(64, 64, [](unsigned x, unsigned y) {
        return 0xFF000064u | x / 16 * 64 << 16 | y / 16 * 64 << 8;
    });
    CapsOverride override;
    override.caps().MaxTextureWidth = 32;
    override.caps().MaxTextureHeight = 32;
    override.apply();
    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 0));
    setTopDownOrthoCamera(scene, 2.0f, 64, 64);
    addTexturedSquare(scene, png.get());
    CanvasHarness harness(64, 64);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableSpecular(0);
    const PresentedImage image = harness.render(scene);
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x) {
            const uint32_t pixel = image.at(16 * x + 8, 16 * y + 8);
            EXPECT_EQ(static_cast<int>(x * 64), red(pixel)) << x << "," << y;
            EXPECT_EQ(static_cast<int>(y * 64), green(pixel)) << x << "," << y;
            EXPECT_EQ(100, blue(pixel));
        }
}

// A mesh with colours of its own shows them whatever the background: the
// gradient background, itself drawn with its vertex colours, leaves them on.
TEST(RendererFrames, VertexColoursShowOverEveryBackground)
{
    constexpr unsigned SIDE = 64;
    KXScene scene;
    setTopDownOrthoCamera(scene, 4.0f, SIDE, SIDE);
    addDirectionalLight(scene, KXVector(0.0f, 0.0f, -1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto square = makeSquare(1.0f);
    square->setColorArray(std::vector<KXColor>(square->getVertexArray().size(), KXColor(1.0f, 0.0f, 0.0f, 1.0f)));
    auto look = KXMake<KXAppearance>();
    look->createMaterial()->setDiffuseColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto shape = KXMake<KXShape>();
    shape->setGeometry(square.get());
    shape->setAppearance(look.get());
    scene.getRoot()->addChild(shape.get());
    CanvasHarness harness(SIDE, SIDE);
    ASSERT_TRUE(harness.ready());

    setSingleColorBackground(scene, rgb(0, 0, 0));
    const uint32_t plain = harness.render(scene).at(SIDE / 2, SIDE / 2);
    auto gradient = KXMake<KXGradientBackground>();
    scene.getRoot()->setBackground(gradient.get());
    for (int frame = 0; frame < 2; ++frame) {
        const uint32_t overGradient = harness.render(scene).at(SIDE / 2, SIDE / 2);
        EXPECT_EQ(overGradient, plain) << "frame " << frame;
    }
    EXPECT_GT(red(plain), 200);
    EXPECT_LT(green(plain), 20);
}
