// Node controllers and scene axes drawn by the canvas on the software
// device and read back: a controller keeps its size on screen across camera
// kinds and zoom, it is drawn over the scene, and the axes stay in their
// corner.

#include "KXDXTestScenes.h"

#include "widgets/KXNodeControllers.h"
#include "widgets/KXSceneAxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace kxdxtest;

namespace {

constexpr unsigned SIZE = 256;
// An eighth-turn perspective view at distance d is this many times d high.
const float VIEW_HEIGHT_PER_DISTANCE = 2.0f * std::tan(0.7853975f / 2.0f);

// Fills a widget shape with glowing geometry.
void glow(KXShape* shape, KXGeometry* geometry, const KXColor& colour)
{
    auto appearance = KXMake<KXAppearance>();
    appearance->createMaterial()->set(KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), colour, 0.0f);
    shape->setGeometry(geometry);
    shape->setAppearance(appearance.get());
}

// The rectangle of the pixels of a colour, found by a test on each pixel.
struct Extent {
    int count = 0;
    unsigned minX = ~0u, maxX = 0, minY = ~0u, maxY = 0;
    unsigned width() const { return count ? maxX - minX + 1 : 0; }
    unsigned height() const { return count ? maxY - minY + 1 : 0; }
};

template <class Test>
Extent extentOf(const PresentedImage& image, Test test)
{
    Extent e;
    for (unsigned y = 0; y < image.height; ++y) {
        for (unsigned x = 0; x < image.width; ++x) {
            if (!test(image.at(x, y)))
                continue;
            ++e.count;
            e.minX = std::min(e.minX, x);
            e.maxX = std::max(e.maxX, x);
            e.minY = std::min(e.minY, y);
            e.maxY = std::max(e.maxY, y);
        }
    }
    return e;
}

bool isRed(uint32_t c) { return red(c) > 200 && green(c) < 60 && blue(c) < 60; }
bool isGreen(uint32_t c) { return green(c) > 200 && red(c) < 60 && blue(c) < 60; }
bool isBlue(uint32_t c) { return blue(c) > 200 && red(c) < 60 && green(c) < 60; }

// A glowing blue box spanning -1..1, selected, with node controllers whose
// widget 1 is a glowing red square one unit wide, facing the cameras that
// look along +y.
class ControllerFrames : public ::testing::Test
{
protected:
    ControllerFrames()
    {
        setSingleColorBackground(scene, rgb(0, 0, 0));
        sceneBox = makeBox(KXPosition(-1.0f, -1.0f, -1.0f), KXPosition(1.0f, 1.0f, 1.0f));
        node = addGlowingShape(scene.getRoot(), sceneBox.get(), KXColor(0, 0, 1, 1));
        scene.getSelection()->selectNode(node);
        KXNodeControllers* controllers = harness.canvas.createNodeControllers();
        controllers->setState(static_cast<KXNodeControllers::KXNODECONTROLLERSTATE>(1));
        KXWidget* widget = controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(1));
        square = makeBox(KXPosition(-0.5f, -0.01f, -0.5f), KXPosition(0.5f, 0.01f, 0.5f));
        glow(widget->createVisual(), square.get(), KXColor(1, 0, 0, 1));
    }

    void perspective(float distance)
    {
        setPerspectiveCamera(scene, KXPosition(0.0f, -distance, 0.0f), KXPosition(), SIZE, SIZE);
    }
    void orthographic(float eyeDistance, float scale)
    {
        auto camera = KXMake<KXOrthoCamera>();
        camera->setPosition(KXPosition(0.0f, -eyeDistance, 0.0f), KXPosition(), KXVector(0.0f, 0.0f, 1.0f));
        camera->setViewport(KXDimension2D(static_cast<float>(SIZE), static_cast<float>(SIZE)));
        camera->setViewportScale(scale);
        camera->setNearPlane(0.1f);
        camera->setFarPlane(100.0f);
        scene.getRoot()->setCamera(camera.get());
    }
    PresentedImage render(const std::string& name)
    {
        PresentedImage image = harness.render(scene);
        writePicture(image, "/tmp/aids_" + name + ".png");
        return image;
    }

    CanvasHarness harness{SIZE, SIZE};
    KXScene scene;
    KXRef<KXTriMesh> sceneBox;
    KXRef<KXTriMesh> square;
    KXShape* node = nullptr;
};

TEST_F(ControllerFrames, KeepTheirSizeOnScreenAcrossCameraKindsAndZoom)
{
    ASSERT_TRUE(harness.ready());
    // The controller is 50 / viewport size of the view distance wide, and the
    // view is VIEW_HEIGHT_PER_DISTANCE of it high: the unit square is this
    // many pixels wide in every view.
    const float expected = 50.0f / VIEW_HEIGHT_PER_DISTANCE;

    struct View {
        const char* name;
        bool ortho;
        float distance;
        float scale;
    };
    const View views[] = {
        {"perspective_near", false, 10.0f, 0.0f},
        {"perspective_far", false, 25.0f, 0.0f},
        // The orthographic view framing what the near perspective view frames
        // at the origin, then zoomed out, then seen from further away.
        {"ortho_near", true, 10.0f, 10.0f * VIEW_HEIGHT_PER_DISTANCE},
        {"ortho_zoomed_out", true, 10.0f, 25.0f * VIEW_HEIGHT_PER_DISTANCE},
        {"ortho_far_eye", true, 40.0f, 10.0f * VIEW_HEIGHT_PER_DISTANCE},
    };
    for (const View& view : views) {
        if (view.ortho)
            orthographic(view.distance, view.scale);
        else
            perspective(view.distance);
        const PresentedImage image = render(std::string("controller_") + view.name);
        ASSERT_FALSE(image.empty());
        const Extent square = extentOf(image, isRed);
        EXPECT_NEAR(static_cast<float>(square.width()), expected, expected * 0.1f) << view.name;
        EXPECT_NEAR(static_cast<float>(square.height()), expected, expected * 0.1f) << view.name;
        // Centred on the node.
        EXPECT_NEAR((square.minX + square.maxX) / 2.0f, SIZE / 2.0f, 2.0f) << view.name;
        EXPECT_NEAR((square.minY + square.maxY) / 2.0f, SIZE / 2.0f, 2.0f) << view.name;
    }
}

TEST_F(ControllerFrames, AreDrawnOverTheScene)
{
    ASSERT_TRUE(harness.ready());
    // Far enough for the square (inside the box) to be smaller than the box
    // on screen.
    perspective(6.0f);
    const PresentedImage image = render("controller_over_scene");
    ASSERT_FALSE(image.empty());
    EXPECT_TRUE(isRed(image.at(SIZE / 2, SIZE / 2)));
    const Extent square = extentOf(image, isRed);
    const Extent box = extentOf(image, isBlue);
    ASSERT_GT(box.count, 0);
    // The box shows around the square.
    EXPECT_LT(box.minX, square.minX);
    EXPECT_GT(box.maxX, square.maxX);
    EXPECT_LT(box.minY, square.minY);
    EXPECT_GT(box.maxY, square.maxY);
}

// The same scene with scene axes whose widget 1 is a glowing green box.
class SceneAxesFrames : public ControllerFrames
{
protected:
    SceneAxesFrames()
    {
        KXSceneAxes* axes = harness.canvas.createSceneAxes();
        axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
        KXWidget* widget = axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(1));
        gizmo = makeBox(KXPosition(-0.8f, -0.8f, -0.8f), KXPosition(0.8f, 0.8f, 0.8f));
        glow(widget->createVisual(), gizmo.get(), KXColor(0, 1, 0, 1));
    }

    KXRef<KXTriMesh> gizmo;
};

TEST_F(SceneAxesFrames, LandInTheirCornerRectangleUnstretched)
{
    ASSERT_TRUE(harness.ready());
    // A camera looking straight along +y sees the gizmo box as a square.
    perspective(10.0f);
    const PresentedImage image = render("axes_corner");
    ASSERT_FALSE(image.empty());
    const Extent gizmoPixels = extentOf(image, isGreen);
    ASSERT_GT(gizmoPixels.count, 0);
    EXPECT_GE(gizmoPixels.minX, 5u);
    EXPECT_LT(gizmoPixels.maxX, 5u + 120u);
    EXPECT_GE(gizmoPixels.minY, SIZE - 100u);
    EXPECT_LT(gizmoPixels.maxY, SIZE);
    // Square on screen: the axes camera has the corner's aspect.
    EXPECT_NEAR(static_cast<float>(gizmoPixels.width()), static_cast<float>(gizmoPixels.height()), 2.0f);
    // Centred in the corner.
    EXPECT_NEAR((gizmoPixels.minX + gizmoPixels.maxX) / 2.0f, 5.0f + 60.0f - 0.5f, 2.0f);
    EXPECT_NEAR((gizmoPixels.minY + gizmoPixels.maxY) / 2.0f, SIZE - 50.0f - 0.5f, 2.0f);
    // The scene and its controller are drawn with the full view.
    EXPECT_TRUE(isRed(image.at(SIZE / 2, SIZE / 2)));
}

TEST_F(SceneAxesFrames, FitTargetsSmallerThanTheCorner)
{
    CanvasHarness small(90, 60);
    ASSERT_TRUE(small.ready());
    KXSceneAxes* axes = small.canvas.createSceneAxes();
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
    glow(axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(1))->createVisual(), gizmo.get(),
         KXColor(0, 1, 0, 1));
    setPerspectiveCamera(scene, KXPosition(0.0f, -10.0f, 0.0f), KXPosition(), 90, 60);
    const PresentedImage image = small.render(scene);
    ASSERT_FALSE(image.empty());
    writePicture(image, "/tmp/aids_axes_small.png");
    const Extent gizmoPixels = extentOf(image, isGreen);
    ASSERT_GT(gizmoPixels.count, 0);
    EXPECT_GE(gizmoPixels.minX, 5u);
    EXPECT_NEAR(static_cast<float>(gizmoPixels.width()), static_cast<float>(gizmoPixels.height()), 2.0f);
}

} // namespace
