// The planar reflection painter and the overlay painter through the
// recording renderer: what they skip, where the floor and the mirror image
// go, and the states they leave behind.

#include "CanvasTestSupport.h"

#include <cmath>

namespace {

bool near(const KXMatrix& a, const KXMatrix& b)
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a[i] - b[i]) > 1e-5f)
            return false;
    return true;
}

// The render states as every step of a frame leaves them.
bool atDefaults(const KXTrackedStates& s)
{
    const KXTrackedStates d;
    return s.cullMode == d.cullMode && s.zEnable == d.zEnable && s.zWrite == d.zWrite && s.blending == d.blending &&
           s.sourceBlend == d.sourceBlend && s.destinationBlend == d.destinationBlend && s.lighting == d.lighting &&
           s.fog == d.fog && s.stencil == d.stencil;
}

// A reflection painter drawing into a recording renderer whose scene is
// open; a box floating above the floor, seen from (0, -10, 2).
class ReflectionPainterTest : public ::testing::Test
{
protected:
    ReflectionPainterTest()
    {
        painter.setRenderer(&renderer);
        renderer.beginScene();
        camera->setPosition(KXPosition(0.0f, -10.0f, 2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
        root()->setCamera(camera.get());
        addShape(root(), "box", box.get());
    }

    KXRoot* root() const { return scene.getRoot(); }
    void paint()
    {
        log.clear();
        painter.setSceneBounds(root()->getBounds());
        painter.paint(&scene);
    }
    bool mirrored()
    {
        paint();
        return !log.draws(box.get()).empty();
    }

    KXRecordingLog log;
    KXRecordingRenderer renderer{log};
    KXPlanarReflectionPainter painter;
    KXScene scene;
    KXRef<KXPerspectiveCamera> camera = KXMake<KXPerspectiveCamera>();
    KXRef<KXTriMesh> box = makeBoxMesh("box", KXPosition(0.0f, 0.0f, 1.0f), 0.5f);
};

} // namespace

TEST_F(ReflectionPainterTest, FloorLiesInThePlaneFacingTheViewer)
{
    // Normals along every axis (both signs along y, where a perpendicular
    // must not vanish), of any length, and oblique.
    const KXPlane planes[] = {{0.0f, 0.0f, -1.0f, 0.001f}, {0.0f, -1.0f, 0.0f, 2.0f}, {0.0f, 1.0f, 0.0f, 2.0f},
                              {-3.0f, 0.0f, 0.0f, 0.5f},   {0.0f, 0.0f, 2.0f, 1.0f},  {1.0f, 1.0f, -1.0f, 0.0f}};
    for (const KXPlane& plane : planes) {
        painter.setReflectionPlane(plane);
        painter.setSceneBounds(root()->getBounds());
        auto* sheet = dynamic_cast<KXSheet*>(painter.getFloorSheet());
        ASSERT_NE(sheet, nullptr);
        const float length = plane.getNormal().length();
        // Turned towards the viewer's side, against the normal.
        const KXVector facing = sheet->getU().cross(sheet->getV());
        EXPECT_NEAR(facing.length(), 1.0f, 1e-5f);
        EXPECT_NEAR(facing.dot(plane.getNormal()) / length, -1.0f, 1e-5f);
        for (const KXPosition& corner : sheet->getVertexArray())
            EXPECT_NEAR(plane.distance(painter.getFloorMatrix().transform(corner)) / length, 0.0f, 1e-3f);
    }
    // The default floor spans 100 scene radii under the scene's centre.
    painter.setReflectionPlane(KXPlane(0.0f, 0.0f, -1.0f, 0.001f));
    painter.setSceneBounds(root()->getBounds());
    const float size = 100.0f * root()->getBounds().getRadius();
    const KXPosition corner = painter.getFloorMatrix().transform(KXPosition(1.0f, 1.0f, 0.0f));
    EXPECT_NEAR(corner.getX(), size, 1e-3f);
    EXPECT_NEAR(corner.getY(), size, 1e-3f);
    EXPECT_NEAR(corner.getZ(), 0.001f, 1e-6f);
}

TEST_F(ReflectionPainterTest, DrawsWhileTheEyeIsOnTheViewersSide)
{
    // Ordinary views down at the scene (the view vector far from unit
    // length), and up from above the floor.
    camera->setPosition(KXPosition(7.5f, -10.0f, 6.0f), KXPosition(0.0f, 0.0f, 0.8f), KXVector(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(mirrored());
    camera->setPosition(KXPosition(0.0f, -10.0f, 0.5f), KXPosition(0.0f, 0.0f, 3.0f), KXVector(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(mirrored());
    // From below the plane there is no mirror at all.
    camera->setPosition(KXPosition(0.0f, -10.0f, -2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    EXPECT_FALSE(mirrored());
    EXPECT_EQ(log.size(), 0u) << log.dump();
    // The camera's world matrix lowers the scene by 5: the eye is above its
    // floor again.
    camera->setWorldMatrix(KXMatrix::translation(0.0f, 0.0f, -5.0f));
    EXPECT_TRUE(mirrored());
}

TEST_F(ReflectionPainterTest, SkipsWhatCannotBeMirrored)
{
    // A plane without a normal.
    painter.setReflectionPlane(KXPlane(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_FALSE(mirrored());
    painter.setReflectionPlane(KXPlane(0.0f, 0.0f, -1.0f, 0.001f));
    EXPECT_TRUE(mirrored());
    // A device without a stencil buffer: the mirror image would cover the frame.
    KXRecordingDevice device(log);
    renderer.presetDevice(&device);
    KXAdapterFormat settings;
    settings.depthStencil = KXAdapterFormat::KXDEPTHSTENCIL_D16;
    device.setSettings(settings);
    EXPECT_FALSE(mirrored());
    settings.depthStencil = KXAdapterFormat::KXDEPTHSTENCIL_D24S8;
    device.setSettings(settings);
    EXPECT_TRUE(mirrored());
    renderer.presetDevice(nullptr);
    // A disabled root.
    root()->setEnabled(false);
    EXPECT_FALSE(mirrored());
    EXPECT_EQ(log.size(), 0u);
}

TEST_F(ReflectionPainterTest, MirrorsOnTheFloorThenLaysTheScenesDepthAgain)
{
    auto glassMesh = makeBoxMesh("glass", KXPosition(3.0f, 0.0f, 1.0f), 0.5f);
    auto glass = makeAppearance("glassMaterial", 0.5f);
    addShape(root(), "glass", glassMesh.get(), glass.get());
    // Wholly below the ground: not mirrored. Turned upside down, a box on
    // the floor still is (its transformed upper-right corner is its lowest).
    auto sunk = makeBoxMesh("sunk", KXPosition(0.0f, 0.0f, -2.0f), 0.5f);
    addShape(root(), "sunk", sunk.get());
    auto turnedMesh = makeBoxMesh("turned", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    KXShape* turned = addShape(root(), "turned", turnedMesh.get());
    turned->getTransform()->setRotation(KXVector(1.0f, 0.0f, 0.0f), 3.14159265f);
    turned->getTransform()->setTranslation(KXVector(0.0f, 0.0f, 1.0f));
    root()->getTransform()->setTranslation(KXVector(0.5f, 0.0f, 0.0f));
    paint();

    const auto floor = log.draws(painter.getFloorSheet());
    const auto opaque = log.draws(box.get()), transparent = log.draws(glassMesh.get());
    ASSERT_EQ(floor.size(), 1u) << log.dump();
    ASSERT_EQ(opaque.size(), 2u);
    ASSERT_EQ(transparent.size(), 2u);
    EXPECT_EQ(log.draws(turnedMesh.get()).size(), 2u);
    EXPECT_EQ(log.draws(sunk.get()).size(), 1u) << "only its depth is laid";
    // Floor, opaque mirror, transparent mirror, then the depth.
    EXPECT_LT(floor[0], opaque[0]);
    EXPECT_LT(opaque[0], transparent[0]);
    EXPECT_LT(transparent[0], opaque[1]);
    const KXMatrix rootMatrix = root()->getTransform()->getTransformationMatrix();
    EXPECT_TRUE(near(opaque[0]->world, rootMatrix * painter.getReflectionMatrix()));
    EXPECT_TRUE(near(opaque[1]->world, rootMatrix));
    EXPECT_EQ(opaque[0]->states.cullMode, KXPolyState::KXCULLMODE_COUNTERCLOCKWISE) << "the mirror turns faces over";
    EXPECT_EQ(transparent[0]->states.zWrite, 0);
    // The depth pass writes depth only: the colour is kept by its blending.
    EXPECT_EQ(opaque[1]->states.zWrite, 1);
    EXPECT_EQ(opaque[1]->states.sourceBlend, KXBlendState::KXBLENDFACTOR_ZERO);
    EXPECT_EQ(opaque[1]->states.destinationBlend, KXBlendState::KXBLENDFACTOR_ONE);
    EXPECT_EQ(opaque[1]->operation, "drawTriMesh");
    EXPECT_TRUE(atDefaults(log.states)) << log.dump();
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);
}

// The overlay painter ----------------------------------------------------------

TEST(OverlayPainter, DrawsOnlyPreTransformedGeometryAndPutsTheStatesBack)
{
    KXRecordingLog log;
    KXRecordingRenderer renderer(log);
    renderer.beginScene();
    KXOverlayPainter painter;
    painter.setRenderer(&renderer);
    KXScene overlay, mainScene;
    auto screenMesh = [](const char* name) {
        auto mesh = makeBoxMesh(name, KXPosition(10.0f, 10.0f, 0.5f), 5.0f);
        mesh->setPreTransformed(true);
        return mesh;
    };
    auto first = screenMesh("first"), second = screenMesh("second"), nested = screenMesh("nested");
    auto plain = makeBoxMesh("plain", KXPosition(0.0f, 0.0f, 0.0f), 1.0f);
    KXShape* shape = addShape(overlay.getRoot(), "shape", first.get(), makeAppearance("material").get());
    shape->getTransform()->setTranslation(KXVector(5.0f, 0.0f, 0.0f));
    auto geometries = KXMake<KXGeometryGroup>();
    geometries->addGeometry(second.get());
    geometries->addGeometry(plain.get());
    shape->setGeometryGroup(geometries.get());
    addShape(addGroup(overlay.getRoot(), "group"), "nested", nested.get());
    addShape(overlay.getRoot(), "hidden", screenMesh("hidden").get())->setEnabled(false);

    // Nothing without an overlay scene, or with its root disabled.
    painter.paint(&mainScene);
    painter.setOverlayScene(&overlay);
    overlay.getRoot()->setEnabled(false);
    painter.paint(&mainScene);
    EXPECT_EQ(log.size(), 1u) << log.dump();
    overlay.getRoot()->setEnabled(true);
    log.clear();

    painter.paint(&mainScene);
    EXPECT_EQ(log.drawTexts(), (std::vector<std::string>{"renderer.drawTriMesh(first)", "renderer.drawTriMesh(second)",
                                                        "renderer.drawTriMesh(nested)"}))
        << log.dump();
    for (const KXRecordedCall* draw : log.draws()) {
        EXPECT_EQ(draw->states.zEnable, 0);
        EXPECT_EQ(draw->states.blending, 1);
        EXPECT_EQ(draw->states.lighting, 0);
        EXPECT_EQ(draw->states.material, nullptr);
        EXPECT_TRUE(draw->world.isIdentity());
    }
    EXPECT_TRUE(log.find("texture").empty());
    EXPECT_TRUE(atDefaults(log.states));
}
