// Hard shadows drawn by the canvas's planar shadow painter on the software
// device, read back and checked against analytic truths: the darkening of a
// white floor by the shadow's opacity (once, whatever overlaps), the size of
// a point light's shadow, the plane the shadow lies in, D3DXMatrixShadow and
// the ray tracer's shadow rays.

#include "KXDXTestScenes.h"

#include "canvas/KXPlanarShadowPainter.h"
#include "raytracer/KXRayTracer.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXShowcaseScene.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

using namespace kxdxtest;

namespace {

// Shadows of opaque and transparent shapes over a floor of brightness 255:
// the shadow colour (0.1 grey, stored as the byte 26) laid over the floor
// with the shadow's opacity (stored as a byte too).
int shadedFloor(float opacity)
{
    const float alpha = std::round(opacity * 255.0f) / 255.0f;
    const float colour = std::round(0.1f * 255.0f) / 255.0f;
    return static_cast<int>(std::lround(255.0f * (colour * alpha + (1.0f - alpha))));
}
const int LIT_FLOOR = 255;
const int OPAQUE_SHADOW = shadedFloor(KXPlanarShadowPainter::SHADOW_OPACITY);
const int TRANSPARENT_SHADOW = shadedFloor(KXPlanarShadowPainter::TRANSPARENT_SHADOW_OPACITY);

// A view from straight above of a white floor (scale units wide and high)
// drawn by a canvas with hard shadows on, the sun slanting toward +x.
struct TopDownShadows {
    static constexpr unsigned SIZE = 256;

    explicit TopDownShadows(float viewScale = 8.0f, bool withFloor = true, float floorHeight = 0.0f)
        : scale(viewScale)
    {
        setSingleColorBackground(scene, rgb(0, 0, 0));
        setTopDownOrthoCamera(scene, scale, SIZE, SIZE);
        if (withFloor) {
            floor = makeSquare(scale, floorHeight);
            addGlowingShape(scene.getRoot(), floor.get(), KXColor(1, 1, 1, 1));
        }
        harness.canvas.enableShadows(1);
        painter()->setLightDirection(KXUnitVector(1.0f, 0.0f, -1.0f));
    }

    KXPlanarShadowPainter* painter()
    {
        return static_cast<KXPlanarShadowPainter*>(
            harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW));
    }
    KXShape* addBox(const KXPosition& lower, const KXPosition& upper, float alpha = 1.0f)
    {
        boxes.push_back(makeBox(lower, upper));
        return addGlowingShape(scene.getRoot(), boxes.back().get(), KXColor(0.9f, 0.1f, 0.1f, alpha));
    }
    PresentedImage render(const char* name)
    {
        PresentedImage image = harness.render(scene);
        writePicture(image, std::string("/tmp/shadow_") + name + ".png");
        return image;
    }
    // The green of the pixel at the floor point (x, y) (the boxes are red,
    // so green tells the floor's brightness).
    int floorAt(const PresentedImage& image, float x, float y) const
    {
        const auto px = static_cast<unsigned>((x / scale + 0.5f) * SIZE);
        const auto py = static_cast<unsigned>((0.5f - y / scale) * SIZE);
        return green(image.at(px, py));
    }

    float scale;
    KXScene scene;
    CanvasHarness harness{SIZE, SIZE};
    KXRef<KXTriMesh> floor;
    std::vector<KXRef<KXTriMesh>> boxes;
};

} // namespace

TEST(ShadowFrames, OverlappingShadowsDarkenTheFloorOnce)
{
    TopDownShadows view;
    ASSERT_TRUE(view.harness.ready());
    // Two posts 2 high whose shadows, 2 long toward +x, cross in y -0.2..0.2.
    view.addBox(KXPosition(-3.0f, -1.0f, 0.0f), KXPosition(-2.5f, 0.2f, 2.0f));
    view.addBox(KXPosition(-3.0f, -0.2f, 0.0f), KXPosition(-2.5f, 1.0f, 2.0f));
    const PresentedImage image = view.render("overlap");
    ASSERT_FALSE(image.empty());
    EXPECT_NEAR(view.floorAt(image, -1.5f, -0.6f), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(view.floorAt(image, -1.5f, 0.6f), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(view.floorAt(image, -1.5f, 0.0f), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(view.floorAt(image, -0.7f, 0.0f), OPAQUE_SHADOW, 2);
    // Beyond the shadows' ends and beside them the floor keeps its white:
    // the floor itself, in z = 0 under the plane, casts nothing.
    EXPECT_EQ(view.floorAt(image, -0.3f, 0.0f), LIT_FLOOR);
    EXPECT_EQ(view.floorAt(image, -1.5f, 1.3f), LIT_FLOOR);
    EXPECT_EQ(view.floorAt(image, 2.0f, 2.0f), LIT_FLOOR);
    // Left of the posts, toward the sun: no shadow.
    EXPECT_EQ(view.floorAt(image, -3.3f, 0.0f), LIT_FLOOR);
}

TEST(ShadowFrames, ATransparentShadowIsLighterAndAddsNothingOverAnOpaqueOne)
{
    TopDownShadows view;
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-3.0f, -1.0f, 0.0f), KXPosition(-2.5f, 0.2f, 2.0f));
    view.addBox(KXPosition(-3.0f, -0.2f, 0.0f), KXPosition(-2.5f, 1.0f, 2.0f), 0.5f);
    const PresentedImage image = view.render("transparent");
    ASSERT_FALSE(image.empty());
    EXPECT_NEAR(view.floorAt(image, -1.5f, -0.6f), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(view.floorAt(image, -1.5f, 0.6f), TRANSPARENT_SHADOW, 2);
    EXPECT_NEAR(view.floorAt(image, -1.5f, 0.0f), OPAQUE_SHADOW, 2);
    EXPECT_GT(TRANSPARENT_SHADOW, OPAQUE_SHADOW + 40);
}

TEST(ShadowFrames, APointLightShadowHasTheSizeOfItsProjection)
{
    // A cube of side a = 1 under a light at height H = 4: the shadow of its
    // top reaches a/2 · H/(H - a) from the centre.
    TopDownShadows view(4.0f);
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-0.5f, -0.5f, 0.0f), KXPosition(0.5f, 0.5f, 1.0f));
    view.painter()->setLightType(KXPlanarShadowPainter::KXSHADOWLIGHT_POINT);
    view.painter()->setLightPosition(KXPosition(0.0f, 0.0f, 4.0f));
    const PresentedImage image = view.render("point_light");
    ASSERT_FALSE(image.empty());
    const float reach = 0.5f * 4.0f / (4.0f - 1.0f);
    // Along the middle row and column, out from the cube's side (on a pixel
    // boundary): each pixel adds the share of it the shadow covers, read
    // from its darkening (edge pixels are partly covered).
    const int middle = static_cast<int>(TopDownShadows::SIZE / 2);
    const float pixelsPerUnit = TopDownShadows::SIZE / view.scale;
    const int side = static_cast<int>(0.5f * pixelsPerUnit);
    auto reachAlong = [&](int dx, int dy) {
        float covered = 0.0f;
        for (int step = side; step < middle; ++step) {
            // Pixels left and below the centre start one pixel further out.
            const int x = dx < 0 ? middle - 1 - step : middle + dx * step;
            const int y = dy < 0 ? middle - 1 - step : middle + dy * step;
            const int g = green(image.at(static_cast<unsigned>(x), static_cast<unsigned>(y)));
            if (g == LIT_FLOOR)
                break;
            covered += static_cast<float>(LIT_FLOOR - g) / (LIT_FLOOR - OPAQUE_SHADOW);
        }
        return (static_cast<float>(side) + covered) / pixelsPerUnit;
    };
    for (const auto& direction : {std::make_pair(1, 0), std::make_pair(-1, 0), std::make_pair(0, 1),
                                  std::make_pair(0, -1)})
        EXPECT_NEAR(reachAlong(direction.first, direction.second), reach, 0.5f / pixelsPerUnit)
            << direction.first << "," << direction.second;
}

TEST(ShadowFrames, VertexColouredMeshesCastTheSameShadow)
{
    // The floor lies a little below the ground, so that it casts no shadow
    // of its own whatever part of its box is looked at.
    TopDownShadows view(8.0f, true, -0.001f);
    ASSERT_TRUE(view.harness.ready());
    KXRef<KXTriMesh> box = makeBox(KXPosition(-3.0f, -1.0f, 0.0f), KXPosition(-2.5f, 1.0f, 2.0f));
    auto coloured = KXMake<KXTriMesh>();
    coloured->set(KXTriMesh::KXTRIMESHTYPE_LIST, box->getVertexArray(), box->getIndicesArray(),
                  box->getNormalsArray(),
                  std::vector<KXColor>(box->getVertexArray().size(), KXColor(0.0f, 0.0f, 1.0f, 1.0f)));
    addGlowingShape(view.scene.getRoot(), coloured.get(), KXColor(0.9f, 0.1f, 0.1f, 1.0f));
    const PresentedImage image = view.render("vertex_colours");
    ASSERT_FALSE(image.empty());
    const uint32_t shadow = image.at(static_cast<unsigned>((-1.5f / view.scale + 0.5f) * TopDownShadows::SIZE),
                                     TopDownShadows::SIZE / 2);
    EXPECT_NEAR(red(shadow), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(green(shadow), OPAQUE_SHADOW, 2);
    EXPECT_NEAR(blue(shadow), OPAQUE_SHADOW, 2);
}

TEST(ShadowFrames, AnUpsideDownBoxSunkIntoTheGroundCastsItsShadow)
{
    TopDownShadows view;
    ASSERT_TRUE(view.harness.ready());
    // A post 2 high standing on its head, sunk 0.1 into the ground.
    KXShape* post = view.addBox(KXPosition(-3.0f, -0.5f, 0.0f), KXPosition(-2.5f, 0.5f, 2.0f));
    post->getTransform()->setTransformationMatrix(KXMatrix::rotationX(3.14159265f) *
                                                  KXMatrix::translation(0.0f, 0.0f, 1.9f));
    const PresentedImage image = view.render("upside_down");
    ASSERT_FALSE(image.empty());
    EXPECT_NEAR(view.floorAt(image, -1.5f, 0.0f), OPAQUE_SHADOW, 2);
    EXPECT_EQ(view.floorAt(image, -0.3f, 0.0f), LIT_FLOOR);
}

TEST(ShadowFrames, ShadowsFallOnAPlaneGivenWithALongNormal)
{
    // A white table top at z = 1 and a block 0.5 high on it. The plane
    // -0.25 z + 0.250025 = 0 is z = 1.0001, just above the table; taken with
    // d unscaled it would be z = 0.25, under the table and hidden by it.
    TopDownShadows view(8.0f, false);
    ASSERT_TRUE(view.harness.ready());
    auto table = makeSquare(2.0f, 1.0f);
    addGlowingShape(view.scene.getRoot(), table.get(), KXColor(1, 1, 1, 1));
    view.addBox(KXPosition(-1.5f, -0.5f, 1.0f), KXPosition(-1.0f, 0.5f, 1.5f));
    view.painter()->setShadowPlane(KXPlane(0.0f, 0.0f, -0.25f, 0.250025f));
    const PresentedImage image = view.render("long_normal");
    ASSERT_FALSE(image.empty());
    // The shadow reaches 0.5 beyond the block, toward +x.
    EXPECT_NEAR(view.floorAt(image, -0.75f, 0.0f), OPAQUE_SHADOW, 2);
    EXPECT_EQ(view.floorAt(image, -0.3f, 0.0f), LIT_FLOOR);
    // Off the table no shadow is drawn on the background.
    EXPECT_EQ(view.floorAt(image, -3.0f, 3.0f), 0);
}

namespace {

// A white floor, a red block and a sun from the front left, seen in
// perspective from eye toward target.
struct PerspectiveShadows {
    static constexpr unsigned WIDTH = 200, HEIGHT = 150;

    PerspectiveShadows(const KXPosition& eye, const KXPosition& target)
    {
        setSingleColorBackground(scene, rgb(0, 0, 255));
        setPerspectiveCamera(scene, eye, target, WIDTH, HEIGHT);
        floor = makeSquare(20.0f);
        addGlowingShape(scene.getRoot(), floor.get(), KXColor(1, 1, 1, 1));
        block = makeBox(KXPosition(-0.5f, -0.5f, 0.0f), KXPosition(0.5f, 0.5f, 1.5f));
        addGlowingShape(scene.getRoot(), block.get(), KXColor(0.9f, 0.1f, 0.1f, 1.0f));
        harness.canvas.enableShadows(1);
        static_cast<KXPlanarShadowPainter*>(harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW))
            ->setLightDirection(KXUnitVector(1.5f, 0.4f, -1.0f));
    }
    // Floor pixels darkened to the shadow's level.
    static int shadowPixels(const PresentedImage& image)
    {
        int count = 0;
        for (uint32_t p : image.pixels)
            count += std::abs(red(p) - OPAQUE_SHADOW) <= 3 && std::abs(blue(p) - OPAQUE_SHADOW) <= 3;
        return count;
    }

    KXScene scene;
    CanvasHarness harness{WIDTH, HEIGHT};
    KXRef<KXTriMesh> floor, block;
};

} // namespace

TEST(ShadowFrames, ACameraLookingSlightlyUpStillSeesTheShadowsOnTheFloor)
{
    PerspectiveShadows view(KXPosition(0.0f, -8.0f, 1.0f), KXPosition(0.0f, 0.0f, 1.3f));
    ASSERT_TRUE(view.harness.ready());
    const PresentedImage image = view.harness.render(view.scene);
    writePicture(image, "/tmp/shadow_looking_up.png");
    EXPECT_GT(PerspectiveShadows::shadowPixels(image), 50);
}

namespace {

// The block's shadow thrown away from the viewer, partly behind the block:
// the frame drawn without and with shadows. Every pixel of the block must
// keep its colour (the shadows are depth-tested against the scene), and the
// shadow must show beside it.
void expectShadowsChangeOnlyTheFloor(bool reflection, const char* picture)
{
    PerspectiveShadows view(KXPosition(-2.0f, -6.0f, 2.5f), KXPosition(0.0f, 0.0f, 0.5f));
    ASSERT_TRUE(view.harness.ready());
    view.harness.canvas.enableReflection(reflection ? 1 : 0);
    view.harness.canvas.enableShadows(0);
    const PresentedImage plain = view.harness.render(view.scene);
    view.harness.canvas.enableShadows(1);
    const PresentedImage shadowed = view.harness.render(view.scene);
    ASSERT_EQ(plain.pixels.size(), shadowed.pixels.size());
    writePicture(shadowed, picture);
    int blockPixels = 0, changedBlockPixels = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) {
        const uint32_t p = plain.pixels[i];
        if (red(p) > 200 && green(p) < 60) {
            ++blockPixels;
            changedBlockPixels += p != shadowed.pixels[i];
        }
    }
    EXPECT_GT(blockPixels, 500);
    EXPECT_EQ(changedBlockPixels, 0);
    EXPECT_GT(PerspectiveShadows::shadowPixels(shadowed), 300);
}

} // namespace

TEST(ShadowFrames, ShadowsChangeOnlyFloorPixelsAndStayBehindObjects)
{
    expectShadowsChangeOnlyTheFloor(false, "/tmp/shadow_behind.png");
}

// The reflection runs before the shadows and must leave the scene's depth
// behind it, or the shadows are drawn over the objects.
TEST(ShadowFrames, ShadowsStayBehindObjectsAfterAReflection)
{
    expectShadowsChangeOnlyTheFloor(true, "/tmp/shadow_behind_reflection.png");
}

TEST(ShadowFrames, HardShadowMaskAgreesWithTheRayTracer)
{
    // Ground, cube and sun; the ray tracer's shadow rays against the
    // painter's flattened cube. A floor pixel is in shadow where it is much
    // darker than the lit floor.
    const unsigned width = 240, height = 180;
    KXScene scene;
    setSingleColorBackground(scene, rgb(0, 0, 255));
    setPerspectiveCamera(scene, KXPosition(1.0f, -7.0f, 5.0f), KXPosition(-1.0f, 0.0f, 0.0f), width, height);
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    scene.getRoot()->setLightModel(lights.get());
    const KXVector sunDirection(-1.2f, 0.3f, -1.0f);
    KXDirectionalLight* sun = addDirectionalLight(scene, sunDirection, KXColor(1, 1, 1, 1));
    sun->setCastShadows(true);
    auto ground = makeSquare(6.0f);
    addShape(scene, ground.get(), KXColor(0.9f, 0.9f, 0.9f, 1.0f))->getAppearance()->getMaterial()->setAmbientColor(
        KXColor(0, 0, 0, 1));
    auto cube = makeBox(KXPosition(-0.5f, -0.5f, 0.0f), KXPosition(0.5f, 0.5f, 1.5f));
    addGlowingShape(scene.getRoot(), cube.get(), KXColor(0.8f, 0.0f, 0.0f, 1.0f));

    CanvasHarness harness(width, height);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableShadows(1);
    static_cast<KXPlanarShadowPainter*>(harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW))
        ->setLightDirection(KXUnitVector(sunDirection));
    const PresentedImage raster = harness.render(scene);
    writePicture(raster, "/tmp/shadow_vs_raytracer_raster.png");

    KXRawImage2D traced(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(traced.createData(), 0);
    KXRayTracer tracer;
    ASSERT_EQ(tracer.trace(&scene, traced), 0);
    PresentedImage tracedImage;
    tracedImage.width = width;
    tracedImage.height = height;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            tracedImage.pixels.push_back(traced.getColor(x, y).getBGRA() | 0xFF000000u);
    writePicture(tracedImage, "/tmp/shadow_vs_raytracer_traced.png");

    // Floor pixels are grey (neither the red cube nor the blue background);
    // the lit floor is the brightest of them.
    auto isFloor = [](uint32_t p) { return std::abs(red(p) - blue(p)) <= 12 && std::abs(red(p) - green(p)) <= 12; };
    auto litLevel = [&](const PresentedImage& image) {
        int level = 0;
        for (uint32_t p : image.pixels)
            if (isFloor(p))
                level = std::max(level, green(p));
        return level;
    };
    const int rasterLit = litLevel(raster), tracedLit = litLevel(tracedImage);
    ASSERT_GT(rasterLit, 100);
    ASSERT_GT(tracedLit, 100);
    size_t floorPixels = 0, agree = 0, rasterShadow = 0, tracedShadow = 0;
    for (size_t i = 0; i < raster.pixels.size(); ++i) {
        if (!isFloor(raster.pixels[i]) || !isFloor(tracedImage.pixels[i]))
            continue;
        const bool a = green(raster.pixels[i]) < rasterLit * 0.85;
        const bool b = green(tracedImage.pixels[i]) < tracedLit * 0.85;
        ++floorPixels;
        agree += a == b;
        rasterShadow += a;
        tracedShadow += b;
    }
    EXPECT_GT(floorPixels, width * height / 3);
    EXPECT_GT(rasterShadow, 500u);
    EXPECT_GT(tracedShadow, 500u);
    EXPECT_GE(static_cast<double>(agree) / floorPixels, 0.98)
        << "shadow pixels: raster " << rasterShadow << ", traced " << tracedShadow;
}

TEST(ShadowMatrix, AgreesWithD3DXMatrixShadowUpToOrientation)
{
    std::mt19937 random(13);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    KXPlanarShadowPainter painter;
    for (int trial = 0; trial < 200; ++trial) {
        const KXPlane plane(coordinate(random), coordinate(random), coordinate(random), coordinate(random));
        const KXVector light(coordinate(random), coordinate(random), coordinate(random));
        const bool point = trial % 2 == 1;
        painter.setShadowPlane(plane);
        painter.setLightType(point ? KXPlanarShadowPainter::KXSHADOWLIGHT_POINT
                                   : KXPlanarShadowPainter::KXSHADOWLIGHT_DIRECTIONAL);
        if (point)
            painter.setLightPosition(KXPosition(light.getX(), light.getY(), light.getZ()));
        else
            painter.setLightDirection(KXUnitVector(light));
        if (!painter.hasShadowMatrix())
            continue;
        const KXVector& l = painter.getLightVector();
        const D3DXVECTOR4 d3dLight(l.getX(), l.getY(), l.getZ(), point ? 1.0f : 0.0f);
        const D3DXPLANE d3dPlane(plane.getA(), plane.getB(), plane.getC(), plane.getD());
        D3DXMATRIX expected;
        ASSERT_NE(D3DXMatrixShadow(&expected, &d3dLight, &d3dPlane), nullptr);
        // D3DX keeps the sign of k = P·L; the painter makes it positive.
        D3DXPLANE unit;
        D3DXPlaneNormalize(&unit, &d3dPlane);
        const float sign = D3DXPlaneDot(&unit, &d3dLight) < 0.0f ? -1.0f : 1.0f;
        for (int r = 0; r < 4; ++r)
            for (int s = 0; s < 4; ++s)
                EXPECT_NEAR(painter.getShadowMatrix().get(r, s), sign * expected.m[r][s],
                            1e-5f * (1.0f + std::fabs(expected.m[r][s])))
                    << "trial " << trial << " element " << r << "," << s;
    }
}

TEST(ShadowFrames, ShowcaseWithHardShadows)
{
    const unsigned width = 480, height = 360;
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene, width, height), 0);
    CanvasHarness harness(width, height);
    ASSERT_TRUE(harness.ready());
    const PresentedImage plain = harness.render(scene);
    harness.canvas.enableShadows(1);
    static_cast<KXPlanarShadowPainter*>(harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW))
        ->setLightDirection(KXUnitVector(-0.4f, 0.5f, -1.0f));
    const PresentedImage shadowed = harness.render(scene);
    writePicture(plain, "/tmp/showcase_plain.png");
    writePicture(shadowed, "/tmp/showcase_hard.png");
    ASSERT_EQ(plain.pixels.size(), shadowed.pixels.size());
    // The shadows darken part of the ground, never the whole of it, and
    // never lighten anything.
    size_t darker = 0, lighter = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) {
        darker += green(shadowed.pixels[i]) + 3 < green(plain.pixels[i]);
        lighter += green(shadowed.pixels[i]) > green(plain.pixels[i]) + 1;
    }
    EXPECT_GT(darker, plain.pixels.size() / 1000);
    EXPECT_LT(darker, plain.pixels.size() / 4);
    EXPECT_EQ(lighter, 0u);
}
