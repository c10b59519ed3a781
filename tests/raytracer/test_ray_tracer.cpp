// The tracer's driver: result codes, flags and status, stages, the stop
// protocol, thread-count independence, and the showcase scene.

#include "RTTestScenes.h"

#include "raytracer/KXRayTracer.h"
#include "raytracer/RTEdgeMask.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTShapeTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#ifdef __linux__
#include <sched.h>
#endif

using namespace rttest;

namespace {

void fill(KXRawImage2D& image, const KXColor& color)
{
    for (unsigned y = 0; y < image.getHeight(); ++y)
        for (unsigned x = 0; x < image.getWidth(); ++x)
            image.setColor(x, y, color);
}

void expectPixel(const KXRawImage2D& image, unsigned x, unsigned y, float r, float g, float b, float tolerance = 1.5f / 255)
{
    const KXColor c = image.getColor(x, y);
    EXPECT_NEAR(c.getR(), r, tolerance) << x << ", " << y;
    EXPECT_NEAR(c.getG(), g, tolerance) << x << ", " << y;
    EXPECT_NEAR(c.getB(), b, tolerance) << x << ", " << y;
}

bool samePixels(const KXRawImage2D& a, const KXRawImage2D& b)
{
    for (unsigned y = 0; y < a.getHeight(); ++y)
        for (unsigned x = 0; x < a.getWidth(); ++x)
            if (a.getColor(x, y) != b.getColor(x, y))
                return false;
    return true;
}

// The pixel a world point falls on.
void project(const KXCamera& camera, const KXPosition& p, unsigned width, unsigned height, unsigned& x, unsigned& y)
{
    const KXPosition ndc = (camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix()).transform(p);
    x = static_cast<unsigned>((ndc.getX() + 1.0f) * 0.5f * width);
    y = static_cast<unsigned>((1.0f - ndc.getY()) * 0.5f * height);
}

// A tracer without its anti-aliasing pass.
class FirstPassTracer : public KXRayTracer
{
protected:
    void traceAntialiasPass(KXRoot*, KXRawImage2D&, RTNodeCache&, const RTShapeTree*, RTMeshTreeMap&,
                            RTEdgeMask&) override
    {
    }
};

// A tracer whose first pass paints columns instead of tracing: black up to
// x = 15, grey up to 23, black again from 24. The edge mask then marks the
// columns either side of the two steps, and only those are traced.
class PaintedFirstPassTracer : public KXRayTracer
{
protected:
    void tracePrimaryPass(KXRoot*, KXRawImage2D& image, RTNodeCache&, const RTShapeTree*, RTMeshTreeMap&) override
    {
        for (unsigned y = 0; y < image.getHeight(); ++y)
            for (unsigned x = 0; x < image.getWidth(); ++x)
                image.setColor(x, y, x >= 16 && x < 24 ? KXColor(0.5f, 0.5f, 0.5f, 1) : KXColor(0, 0, 0, 1));
    }
};

// A floor under a soft area light, white unlit glass in front: every
// pixel is slow and differs from the background.
void buildSlowScene(KXScene& scene, unsigned size)
{
    KXRoot* root = makeScene(scene, KXPosition(0, -6, 6), KXPosition(0, 0, 0), size, size);
    setBackgroundColor(root, KXColor(0, 0, 1, 1));
    auto floor = makeQuad(0.0f, 50.0f);
    addShape(root, floor.get(), makeLook(KXColor(0.8f, 0.7f, 0.6f, 1), KXColor(0.5f, 0.5f, 0.5f, 1), 0.0f).get());
    auto sphere = makeSphere(KXPosition(0, 0, 1), 1.0f);
    addShape(root, sphere.get(), makeLook(KXColor(0.9f, 0.2f, 0.1f, 0.6f), KXColor(0.8f, 0.8f, 0.8f, 1), 16.0f).get());
    auto lights = KXMake<KXLightModel>();
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(2, -1, 5));
    lamp->setRadius(0.7f);
    lamp->setCastShadows(true);
    lights->addLight(lamp.get());
    root->setLightModel(lights.get());
}

// Records the status at each stage it reaches; stops the trace in the
// stage named by stopIn, if any.
class StageRecorder : public KXRayTracer
{
public:
    std::vector<KXRTSTATUS> seen;
    KXRTSTATUS stopIn = KXRT_DONE;

    void note() const
    {
        const KXRTSTATUS status = getStatus();
        if (seen.empty() || seen.back() != status)
            const_cast<StageRecorder*>(this)->seen.push_back(status);
        if (status == stopIn)
            stop();
    }

protected:
    void renderBackground(KXRoot* root, KXRawImage2D& image) override
    {
        note();
        KXRayTracer::renderBackground(root, image);
    }
    void tracePrimaryPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodes, const RTShapeTree* tree,
                          RTMeshTreeMap& meshes) override
    {
        note();
        KXRayTracer::tracePrimaryPass(root, image, nodes, tree, meshes);
    }
    void traceAntialiasPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodes, const RTShapeTree* tree,
                            RTMeshTreeMap& meshes, RTEdgeMask& mask) override
    {
        note();
        KXRayTracer::traceAntialiasPass(root, image, nodes, tree, meshes, mask);
    }
};

// A group that tells the recorder when its bounds are worked out, which the
// tracer does while it prepares the scene.
class PreparationProbe : public KXGroup
{
public:
    const StageRecorder* recorder = nullptr;

protected:
    KXBounds computeBounds() const override
    {
        if (recorder)
            recorder->note();
        return KXGroup::computeBounds();
    }
};

// A PNG image of width x height whose pixels colour(x, y) gives.
template <class Colour>
KXRef<KXImage2D> encodedImage(unsigned width, unsigned height, Colour&& colour)
{
    KXRawImage2D pixels = makeImage(width, height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            pixels.setColor(x, y, colour(x, y));
    auto encoded = KXMake<KXImage2D>();
    KXImageUtils::encode(&pixels, encoded.get(), KXImage2D::KXIMAGE2D_PNG);
    return encoded;
}

} // namespace

TEST(RayTracerDriver, RefusesImagesWithoutPixelsAndScenesWithoutRoots)
{
    KXScene scene;
    makeScene(scene);
    KXRayTracer tracer;
    KXRawImage2D empty;
    EXPECT_EQ(tracer.trace(&scene, empty), -1);
    KXRawImage2D unallocated(8, 8);
    EXPECT_EQ(tracer.trace(&scene, unallocated), -1);
    EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
    EXPECT_EQ(KXRayTracer::hasStopped(), 1);

    KXScene rootless;
    rootless.setRoot(nullptr);
    KXRawImage2D image = makeImage(4, 4);
    fill(image, KXColor(0.5f, 0.5f, 0.5f, 1));
    EXPECT_EQ(tracer.trace(&rootless, image), 0);
    EXPECT_EQ(tracer.trace(nullptr, image), 0);
    expectPixel(image, 1, 1, 0.5f, 0.5f, 0.5f);
}

TEST(RayTracerDriver, WithoutACameraOnlyTheBackgroundIsDrawn)
{
    KXScene scene;
    KXRoot* root = makeScene(scene);
    auto quad = makeQuad(0.0f, 5.0f);
    addShape(root, quad.get(), makeLook(KXColor(1, 0, 0, 1)).get());
    root->setCamera(nullptr);
    setBackgroundColor(root, KXColor(0.2f, 0.4f, 0.6f, 1));
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(8, 8);
    EXPECT_EQ(tracer.trace(&scene, image), 0);
    EXPECT_EQ(KXRayTracer::hasStopped(), 1);
    EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
    expectPixel(image, 0, 0, 0.2f, 0.4f, 0.6f);
    expectPixel(image, 4, 4, 0.2f, 0.4f, 0.6f);

    // Without a background the image keeps what it held where nothing is hit.
    root->setBackground(nullptr);
    fill(image, KXColor(0.1f, 0.1f, 0.1f, 1));
    EXPECT_EQ(tracer.trace(&scene, image), 0);
    expectPixel(image, 4, 4, 0.1f, 0.1f, 0.1f);
}

TEST(RayTracerDriver, ImageBackgroundsStretchTheirImageOverTheView)
{
    // Quadrants of a 4 x 4 image: red, green / blue, white.
    KXRawImage2D pixels = makeImage(4, 4);
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            pixels.setColor(x, y, y < 2 ? (x < 2 ? KXColor(1, 0, 0, 1) : KXColor(0, 1, 0, 1))
                                        : (x < 2 ? KXColor(0, 0, 1, 1) : KXColor(1, 1, 1, 1)));
    auto encoded = KXMake<KXImage2D>();
    ASSERT_EQ(KXImageUtils::encode(&pixels, encoded.get(), KXImage2D::KXIMAGE2D_PNG), 0);
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 16, 16);
    auto background = KXMake<KXImageBackground>();
    background->getTexture2D()->setImage2D(encoded.get());
    background->getCamera()->setViewport(KXDimension2D(16, 16));
    root->setBackground(background.get());
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(16, 16);
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    expectPixel(image, 2, 2, 1, 0, 0);
    expectPixel(image, 10, 2, 0, 1, 0);
    expectPixel(image, 2, 10, 0, 0, 1);
    expectPixel(image, 10, 10, 1, 1, 1);
}

TEST(RayTracerDriver, TransparentSurfacesBlendOverTheBackground)
{
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 16, 16);
    setBackgroundColor(root, KXColor(0, 0, 1, 1));
    auto glass = makeQuad(0.0f, 1.0f);
    addShape(root, glass.get(), makeLook(KXColor(0.3f, 0.3f, 0.3f, 0.5f)).get());
    // Without a light model a surface shows its texture colour: white.
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(16, 16);
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    expectPixel(image, 8, 8, 0.5f, 0.5f, 1.0f);
    expectPixel(image, 0, 0, 0.0f, 0.0f, 1.0f);
}

TEST(RayTracerDriver, TinyImagesHaveNoEdgesToSmooth)
{
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 2, 2);
    setBackgroundColor(root, KXColor(0, 0, 0, 1));
    auto quad = makeQuad(0.0f, 1.0f);
    addShape(root, quad.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    for (unsigned size : {1u, 2u}) {
        KXRawImage2D full = makeImage(size, size), first = makeImage(size, size);
        KXRayTracer tracer;
        FirstPassTracer firstPass;
        ASSERT_EQ(tracer.trace(&scene, full), 0);
        ASSERT_EQ(firstPass.trace(&scene, first), 0);
        EXPECT_TRUE(samePixels(full, first));
    }
}

TEST(RayTracerDriver, AntialiasingAveragesNineSamplesOverTheFirstPass)
{
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 32, 32);
    // A white (unlit) square over the left half of the view: pixel column 16
    // looks at its edge.
    auto quad = makeQuad(0.0f, 20.0f, true, -20.0f, 0.0f);
    addShape(root, quad.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    KXRawImage2D image = makeImage(32, 32);
    PaintedFirstPassTracer tracer;
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    // Column 15: all nine samples hit the square.
    expectPixel(image, 15, 10, 1, 1, 1);
    // Column 16: samples left of the edge hit, the others keep the painted
    // grey.
    const KXColor edge = image.getColor(16, 10);
    EXPECT_GT(edge.getR(), 0.6f);
    EXPECT_LT(edge.getR(), 0.95f);
    // Columns 23 and 24: every sample misses, the painted colours stay and
    // the alpha, which the sum starts at 1, is clamped to 1.
    expectPixel(image, 23, 10, 0.5f, 0.5f, 0.5f);
    expectPixel(image, 24, 10, 0, 0, 0);
    EXPECT_EQ(image.getColor(24, 10).getA(), 1.0f);
    // Unmarked pixels, and the border rows, keep the first pass.
    expectPixel(image, 5, 10, 0, 0, 0);
    expectPixel(image, 15, 0, 0, 0, 0);
}

TEST(RayTracerDriver, StopFromAnotherThreadEndsTheTraceAndKeepsWhatWasDrawn)
{
    KXScene scene;
    const unsigned size = 384;
    buildSlowScene(scene, size);
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(size, size);
    int result = -2;
    std::thread worker([&] { result = tracer.trace(&scene, image); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(tracer.getStatus() == KXRayTracer::KXRT_FIRSTPASS && tracer.getProgress() > 0.0f) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(KXRayTracer::hasStopped(), 0);
    EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_FIRSTPASS);
    KXRayTracer::stop();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
    EXPECT_EQ(KXRayTracer::hasStopped(), 1);
    // A row was finished, one of the first rows handed out (not always
    // row 0: the workers start on neighbouring rows and stop within the row
    // at hand); the last rows still show the background.
    bool traced = false;
    const unsigned firstRows = std::min(size, 2 * std::max(1u, std::thread::hardware_concurrency()) + 1);
    for (unsigned y = 0; y < firstRows; ++y) {
        const KXColor early = image.getColor(size / 2, y);
        traced |= !(early.getB() > 0.99f && early.getR() < 0.01f);
    }
    EXPECT_TRUE(traced);
    const KXColor bottom = image.getColor(size / 2, size - 1);
    EXPECT_NEAR(bottom.getB(), 1.0f, 1e-6f);
    EXPECT_NEAR(bottom.getR(), 0.0f, 1e-6f);
}

#ifdef __linux__
TEST(RayTracerDriver, TheImageDoesNotDependOnTheNumberOfThreads)
{
    KXScene scene;
    buildSlowScene(scene, 48);
    KXRayTracer tracer;
    tracer.enableReflections(true);
    KXRawImage2D many = makeImage(48, 48), few = makeImage(48, 48);
    ASSERT_EQ(tracer.trace(&scene, many), 0);

    // The worker count follows the processors the calling thread may use.
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const int result = tracer.trace(&scene, few);
    sched_setaffinity(0, sizeof all, &all);
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(samePixels(many, few));
}
#endif

TEST(RayTracerDriver, ShowcaseSceneShowsSkyShadowsAndGlass)
{
    const unsigned width = 320, height = 240;
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene, width, height), 0);
    KXRayTracer tracer;
    tracer.enableReflections(true);
    KXRawImage2D image = makeImage(width, height);
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    // Kept for a look at the picture; the test's temporary folder is cleaned by the system.
    const std::string path = ::testing::TempDir() + "raytracer_showcase.png";
    EXPECT_EQ(KXImageUtils::saveRawImage2DToPNG(&image, std::wstring(path.begin(), path.end()).c_str()), 0);

    // The top of the sky is the gradient's top colour.
    expectPixel(image, width / 2, 0, 0.25f, 0.4f, 0.7f, 0.05f);
    // The sphere is red.
    const KXCamera& camera = *scene.getRoot()->getCamera();
    unsigned x, y;
    project(camera, KXPosition(0, 0, 1), width, height, x, y);
    const KXColor sphere = image.getColor(x, y);
    EXPECT_GT(sphere.getR(), 2 * sphere.getG());
    EXPECT_GT(sphere.getR(), 2 * sphere.getB());

    // The glass cylinder is seen, and seen through: where it stands the
    // picture differs both from the scene without it and from the scene
    // with an opaque cylinder, and is bluer than without (the glass is
    // blue).
    KXShape* glass = nullptr;
    for (int i = 0; i < scene.getRoot()->getNumChildNodes(); ++i) {
        auto* shape = dynamic_cast<KXShape*>(scene.getRoot()->getChild(i));
        if (shape && shape->getName() == L"Glass cylinder")
            glass = shape;
    }
    ASSERT_NE(glass, nullptr);
    unsigned gx, gy;
    project(camera, KXPosition(0.6f, -2.6f, 0.8f), width, height, gx, gy);
    const KXColor seenThrough = image.getColor(gx, gy);
    glass->setEnabled(false);
    KXRawImage2D without = makeImage(width, height);
    ASSERT_EQ(tracer.trace(&scene, without), 0);
    glass->setEnabled(true);
    KXMaterial* glassMaterial = glass->getAppearance()->getMaterial();
    const KXColor glassColor = glassMaterial->getDiffuseColor();
    glassMaterial->setDiffuseColor(KXColor(glassColor.getR(), glassColor.getG(), glassColor.getB(), 1.0f));
    KXRawImage2D opaque = makeImage(width, height);
    ASSERT_EQ(tracer.trace(&scene, opaque), 0);
    glassMaterial->setDiffuseColor(glassColor);
    const auto difference = [](const KXColor& a, const KXColor& b) {
        return std::max(
            {std::fabs(a.getR() - b.getR()), std::fabs(a.getG() - b.getG()), std::fabs(a.getB() - b.getB())});
    };
    const KXColor behind = without.getColor(gx, gy);
    EXPECT_GT(difference(seenThrough, behind), 0.05f);
    EXPECT_GT(difference(seenThrough, opaque.getColor(gx, gy)), 0.05f);
    EXPECT_GT(seenThrough.getB() - seenThrough.getR(), behind.getB() - behind.getR());

    // Without the sun's shadows pixels only get brighter (compared before
    // anti-aliasing, which smooths different edges in the two images).
    FirstPassTracer firstPass;
    KXRawImage2D shadowed = makeImage(width, height), unshadowed = makeImage(width, height);
    ASSERT_EQ(firstPass.trace(&scene, shadowed), 0);
    KXLight* sun = scene.getRoot()->getLightModel()->getLight(0);
    sun->setCastShadows(false);
    ASSERT_EQ(firstPass.trace(&scene, unshadowed), 0);
    size_t darker = 0;
    for (unsigned py = 0; py < height; ++py)
        for (unsigned px = 0; px < width; ++px) {
            const float with = shadowed.getColor(px, py).intensity(), without = unshadowed.getColor(px, py).intensity();
            EXPECT_LE(with, without + 2.0f / 255) << px << ", " << py;
            darker += with + 0.05f < without;
        }
    EXPECT_GT(darker, size_t(width) * height / 200);
}

TEST(RayTracerDriver, StatusGoesThroughEveryStageInOrderAndAStopSkipsToDone)
{
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 16, 16);
    setBackgroundColor(root, KXColor(0, 0, 0, 1));
    auto probe = KXMake<PreparationProbe>();
    root->addChild(probe.get());
    auto quad = makeQuad(0.0f, 1.0f);
    addShape(probe.get(), quad.get(), makeLook(KXColor(1, 1, 1, 1)).get());

    const auto stagesSeen = [&](KXRayTracer::KXRTSTATUS stopIn) {
        StageRecorder tracer;
        tracer.stopIn = stopIn;
        probe->recorder = &tracer;
        probe->invalidateBounds();
        KXRawImage2D image = makeImage(16, 16);
        EXPECT_EQ(tracer.trace(&scene, image), 0);
        EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
        EXPECT_EQ(KXRayTracer::hasStopped(), 1);
        probe->recorder = nullptr;
        return tracer.seen;
    };
    using Stages = std::vector<KXRayTracer::KXRTSTATUS>;
    EXPECT_EQ(stagesSeen(KXRayTracer::KXRT_DONE), (Stages{KXRayTracer::KXRT_PREPARING, KXRayTracer::KXRT_BACKGROUND,
                                                          KXRayTracer::KXRT_FIRSTPASS, KXRayTracer::KXRT_ANTIALIAS}));
    EXPECT_EQ(stagesSeen(KXRayTracer::KXRT_PREPARING), (Stages{KXRayTracer::KXRT_PREPARING}));
    EXPECT_EQ(stagesSeen(KXRayTracer::KXRT_BACKGROUND),
              (Stages{KXRayTracer::KXRT_PREPARING, KXRayTracer::KXRT_BACKGROUND}));
    EXPECT_EQ(stagesSeen(KXRayTracer::KXRT_FIRSTPASS),
              (Stages{KXRayTracer::KXRT_PREPARING, KXRayTracer::KXRT_BACKGROUND, KXRayTracer::KXRT_FIRSTPASS}));
}

TEST(RayTracerDriver, SkyBoxesShowTheFaceOfEachDirection)
{
    // Solid faces in cube-map order: +x, -x, +y (the scene's up), -y, +z
    // (the scene's front, +y), -z.
    const KXColor faces[6] = {KXColor(1, 0, 0, 1), KXColor(0, 1, 0, 1), KXColor(0, 0, 1, 1),
                              KXColor(1, 1, 0, 1), KXColor(0, 1, 1, 1), KXColor(1, 0, 1, 1)};
    auto cube = KXMake<KXImage3D>();
    for (int f = 0; f < 6; ++f) {
        const auto face = encodedImage(4, 4, [&](unsigned, unsigned) { return faces[f]; });
        cube->setComponentData(f, face->getData(), face->getSize(), KXImage2D::KXIMAGE2D_PNG);
    }
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 33, 33);
    auto sky = KXMake<KXSkyBox>();
    sky->getTexture3D()->setImage3D(cube.get());
    // Until a renderer turns it, the sky camera looks along the scene's +y
    // with +z up; a view of 150 degrees reaches well into the faces around.
    sky->getCamera()->setFOV(150.0f * 3.14159265f / 180.0f);
    sky->getCamera()->setViewport(KXDimension2D(33, 33));
    root->setBackground(sky.get());
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(33, 33);
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    const auto expectFace = [&](unsigned x, unsigned y, int face) {
        expectPixel(image, x, y, faces[face].getR(), faces[face].getG(), faces[face].getB());
    };
    expectFace(16, 16, 4); // ahead: +y
    expectFace(16, 1, 2);  // up: +z
    expectFace(16, 31, 3); // down: -z
    expectFace(31, 16, 0); // right: +x
    expectFace(1, 16, 1);  // left: -x
}

TEST(RayTracerDriver, SkyDomesWrapTheirImageAroundTheHorizonAndLeaveTheGroundAlone)
{
    // Four bands across the image, one per quarter of the horizon from -y:
    // towards -x red, from -x to +y green, from +y to +x blue, from +x
    // back to -y white.
    const KXColor bands[4] = {KXColor(1, 0, 0, 1), KXColor(0, 1, 0, 1), KXColor(0, 0, 1, 1), KXColor(1, 1, 1, 1)};
    const auto panorama = encodedImage(64, 8, [&](unsigned x, unsigned) { return bands[x / 16]; });
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, 0, 10), KXPosition(0, 0, 0), 32, 32);
    auto dome = KXMake<KXSkyDome>();
    dome->getTexture2D()->setImage2D(panorama.get());
    dome->getCamera()->setViewport(KXDimension2D(32, 32));
    root->setBackground(dome.get());
    KXRayTracer tracer;
    KXRawImage2D image = makeImage(32, 32);
    fill(image, KXColor(0.5f, 0.5f, 0.5f, 1));
    ASSERT_EQ(tracer.trace(&scene, image), 0);
    // Looking along +y: left of ahead lies towards -x, right towards +x.
    expectPixel(image, 6, 8, 0, 1, 0);
    expectPixel(image, 25, 8, 0, 0, 1);
    // Below the horizon the image keeps what it held.
    expectPixel(image, 16, 28, 0.5f, 0.5f, 0.5f);
}

TEST(RayTracerDriver, LightModelsThatAreNotFixedMoveWithTheCamera)
{
    // A white floor seen from (3, 0, 4) at its origin: the ray of the
    // middle pixel meets it at 0.8 of a right angle, 5 units away.
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(3, 0, 4), KXPosition(0, 0, 0), 32, 32);
    setBackgroundColor(root, KXColor(0, 0, 0, 1));
    auto floor = makeQuad(0.0f, 50.0f);
    addShape(root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(false);
    root->setLightModel(lights.get());
    const auto middle = [&] {
        FirstPassTracer tracer;
        KXRawImage2D image = makeImage(32, 32);
        EXPECT_EQ(tracer.trace(&scene, image), 0);
        return image.getColor(16, 16).getR();
    };

    // A lamp at the camera's origin sits at the eye: 0.8 of its light,
    // attenuated by the distance.
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(0, 0, 0));
    lamp->setAttenuation(0.0f, 1.0f, 0.0f);
    lights->addLight(lamp.get());
    EXPECT_NEAR(middle(), 0.8f / 5.0f, 1.5f / 255);
    root->getCamera()->setPosition(KXPosition(0, 0.001f, 5), KXPosition(0, 0, 0), KXVector(0, 1, 0));
    EXPECT_NEAR(middle(), 1.0f / 5.0f, 1.5f / 255);
    root->getCamera()->setPosition(KXPosition(3, 0, 4), KXPosition(0, 0, 0), KXVector(0, 0, 1));

    // A light shining the way the camera looks lights what faces the
    // camera, wherever the camera is.
    lights->removeLight(lamp.get());
    lights->setFixed(false);
    auto headlight = KXMake<KXDirectionalLight>();
    headlight->setDirection(KXVector(0, 0, 1));
    lights->addLight(headlight.get());
    EXPECT_NEAR(middle(), 0.8f, 1.5f / 255);
    root->getCamera()->setPosition(KXPosition(0, 0.001f, 5), KXPosition(0, 0, 0), KXVector(0, 1, 0));
    EXPECT_NEAR(middle(), 1.0f, 1.5f / 255);
}

TEST(RayTracerDriver, LampsUnderCeilingsLightTheRoomAndGlassCastsALightShadow)
{
    // A room: a floor, and a ceiling at z = 4 above a lamp at z = 3 that
    // casts shadows, looked at from inside.
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(0, -0.5f, 2), KXPosition(0, 0, 0), 32, 32);
    setBackgroundColor(root, KXColor(0, 0, 0, 1));
    auto floor = makeQuad(0.0f, 5.0f);
    addShape(root, floor.get(), makeLook(KXColor(0.5f, 0.5f, 0.5f, 1)).get());
    auto ceiling = makeQuad(0.0f, 5.0f);
    ceiling->setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    ceiling->setIndicesArray({0, 2, 1, 0, 3, 2});
    addShape(root, ceiling.get(), makeLook(KXColor(0.5f, 0.5f, 0.5f, 1)).get(), KXMatrix::translation(0, 0, 4));
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(0, 0, 3));
    lamp->setCastShadows(true);
    lights->addLight(lamp.get());
    root->setLightModel(lights.get());
    const auto middle = [&] {
        FirstPassTracer tracer;
        KXRawImage2D image = makeImage(32, 32);
        EXPECT_EQ(tracer.trace(&scene, image), 0);
        return image.getColor(16, 16).getR();
    };
    // Straight below the lamp: the full diffuse light.
    EXPECT_NEAR(middle(), 0.5f, 1.5f / 255);

    // A pane of glass between the lamp and the floor, out of the camera's
    // view: half the light; an opaque sheet over it: none.
    auto pane = makeQuad(0.0f, 0.3f);
    pane->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(root, pane.get(), makeLook(KXColor(1, 1, 1, 0.5f)).get(), KXMatrix::translation(0, 0, 2.5f));
    EXPECT_NEAR(middle(), 0.25f, 1.5f / 255);
    auto sheet = makeQuad(0.0f, 0.3f);
    sheet->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(root, sheet.get(), makeLook(KXColor(1, 1, 1, 1)).get(), KXMatrix::translation(0, 0, 2.7f));
    EXPECT_NEAR(middle(), 0.0f, 1.5f / 255);
}
