// The editor aids the canvas places around lights and selections: light
// markers (size, place, colour, the reach shown in detail), the selection
// box, and the controller guide, checked through a canvas that records the
// geometry each aid has when it is drawn.

#include "CanvasTestSupport.h"

#include "sceneapi/KXCone.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXSphere.h"
#include "sceneapi/KXWireSheet.h"

#include <cmath>

namespace {

// What an aid looked like when the canvas drew it.
struct DrawnAid {
    const KXShape* shape;
    unsigned pass;
    KXMatrix world;
    KXPosition position; // cone position, sphere or sheet centre
    KXVector direction;
    float size[3] = {0, 0, 0}; // cone radii and length, sphere radius, sheet width and height
    KXColor diffuse;
    bool zWrite;
};

// A canvas that notes every aid shape it draws.
class AidsCanvas : public KXTestCanvas
{
public:
    explicit AidsCanvas(KXRecordingLog& log) : m_log(log) {}

    void drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass) override
    {
        DrawnAid aid{shape, pass, m_log.world, {}, {}, {0, 0, 0}, {}, m_log.states.zWrite != 0};
        if (auto* cone = dynamic_cast<KXCone*>(shape->getGeometry())) {
            aid.position = cone->getPosition();
            aid.direction = cone->getDirection();
            aid.size[0] = cone->getRadiusAtPosition();
            aid.size[1] = cone->getRadiusAtEnd();
            aid.size[2] = cone->getLength();
        } else if (auto* sphere = dynamic_cast<KXSphere*>(shape->getGeometry())) {
            aid.position = sphere->getCenter();
            aid.size[0] = sphere->getRadius();
        } else if (auto* sheet = dynamic_cast<KXSheet*>(shape->getGeometry())) {
            aid.position = sheet->getCenter();
            aid.direction = sheet->getU().cross(sheet->getV());
            aid.size[0] = sheet->getWidth();
            aid.size[1] = sheet->getHeight();
        } else if (KXGeometryGroup* group = shape->getGeometryGroup()) {
            if (auto* grid = dynamic_cast<KXWireSheet*>(group->getGeometry(0))) {
                aid.position = grid->getCenter();
                aid.size[0] = grid->getWidth();
                aid.size[1] = grid->getHeight();
            }
        }
        const KXAppearance* appearance = shape->getAppearance();
        if (const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr)
            aid.diffuse = material->getDiffuseColor();
        drawn.push_back(aid);
        KXCanvas::drawShape(shape, useSelectedAppearance, pass);
    }

    std::vector<DrawnAid> drawn;

private:
    KXRecordingLog& m_log;
};

KXShape* fill(KXShape* shape, KXGeometry* geometry, const char* name)
{
    shape->setName(wide(name));
    shape->setGeometry(geometry);
    auto appearance = makeAppearance(name);
    shape->setAppearance(appearance.get());
    return shape;
}

class AidsTest : public ::testing::Test
{
protected:
    AidsTest()
    {
        canvas.setRenderer(&renderer);
        camera = new KXPerspectiveCamera();
        camera->setName(L"camera");
        // 10 from the scene's origin, looking at it.
        camera->setPosition(KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
        scene.getRoot()->setCamera(camera.get());
        lights = KXMake<KXLightModel>();
        lights->setFixed(true);
        scene.getRoot()->setLightModel(lights.get());
        // A box of radius sqrt(3) around (1, 2, 3): the scene's bounds.
        box = makeBoxMesh("box", KXPosition(1.0f, 2.0f, 3.0f), 1.0f);
        addShape(scene.getRoot(), "boxShape", box.get());

        cone->setName(L"sunCone");
        KXLightDecorator* decorator = canvas.createLightDecorator();
        fill(decorator->createDecorator(KXLightDecorator::KXLIGHTDECORATOR_DIRECTIONAL), cone.get(), "sunMarker");
        fill(decorator->createDecorator(KXLightDecorator::KXLIGHTDECORATOR_SPOT), spotCone.get(), "spotMarker");
        fill(decorator->createDecorator(KXLightDecorator::KXLIGHTDECORATOR_POINT), sphere.get(), "pointMarker");
        canvas.showLights(1, 0);
    }

    std::vector<DrawnAid> aidsNamed(const char* name) const
    {
        std::vector<DrawnAid> out;
        for (const DrawnAid& aid : canvas.drawn)
            if (aid.shape->getName() == wide(name))
                out.push_back(aid);
        return out;
    }
    void render() { canvas.render(&scene, nullptr); }

    KXRecordingLog log;
    KXRecordingRenderer renderer{log};
    AidsCanvas canvas{log};
    KXScene scene;
    KXRef<KXPerspectiveCamera> camera;
    KXRef<KXLightModel> lights;
    KXRef<KXTriMesh> box;
    KXRef<KXCone> cone = KXMake<KXCone>();
    KXRef<KXCone> spotCone = KXMake<KXCone>();
    KXRef<KXSphere> sphere = KXMake<KXSphere>();
};

// The marker size: a hundredth of the distance at which an eighth-turn
// perspective view shows the scene as the camera does.
float markerSize(float viewDistance) { return viewDistance / 100.0f; }

} // namespace

TEST_F(AidsTest, MarkersStandAtTheirLightsInTheirColoursAtOneScreenSize)
{
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(0.0f, 0.0f, -1.0f));
    sun->setColor(KXColor(1.0f, 0.5f, 0.0f, 0.2f));
    lights->addLight(sun.get());
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(4.0f, 0.0f, 1.0f));
    lights->addLight(lamp.get());
    auto off = KXMake<KXPointLight>();
    off->setEnabled(false);
    lights->addLight(off.get());
    render();

    // The camera is 10 from the scene's origin with the reference field of
    // view: markers 0.1 across.
    const std::vector<DrawnAid> suns = aidsNamed("sunMarker");
    ASSERT_EQ(suns.size(), 1u);
    const float r = std::sqrt(3.0f);
    EXPECT_NEAR(suns[0].position.getX(), 1.0f, 1e-5f);
    EXPECT_NEAR(suns[0].position.getZ(), 3.0f + 3.0f * r, 1e-4f) << "three radii against the light";
    EXPECT_NEAR(suns[0].size[0], markerSize(10.0f), 1e-5f);
    EXPECT_NEAR(suns[0].size[2], markerSize(10.0f), 1e-5f);
    // The light's colour, opaque: the marker is drawn with the opaque shapes.
    EXPECT_EQ(suns[0].diffuse, KXColor(1.0f, 0.5f, 0.0f, 1.0f));
    EXPECT_EQ(suns[0].pass, KXCanvas::KXPASS_OPAQUE);
    EXPECT_EQ(log.count("renderer.drawTriMesh(sunCone)"), 1) << log.dump();
    const std::vector<DrawnAid> lamps = aidsNamed("pointMarker");
    ASSERT_EQ(lamps.size(), 1u) << "the disabled light has no marker";
    EXPECT_EQ(lamps[0].position, KXPosition(4.0f, 0.0f, 1.0f));

    // Twice as far, twice as large: the same size on screen.
    canvas.drawn.clear();
    camera->setPosition(KXPosition(0.0f, -20.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    render();
    EXPECT_NEAR(aidsNamed("pointMarker").at(0).size[0], markerSize(20.0f), 1e-5f);

    // Lights that move with the camera have no place in the scene to mark.
    canvas.drawn.clear();
    lights->setFixed(false);
    render();
    EXPECT_TRUE(aidsNamed("pointMarker").empty());
}

TEST_F(AidsTest, OrthographicMarkersHaveThePerspectiveSizeOnScreen)
{
    auto lamp = KXMake<KXPointLight>();
    lights->addLight(lamp.get());
    render();
    const float perspectiveSize = aidsNamed("pointMarker").at(0).size[0];
    // An orthographic view as high as the perspective view at the scene's
    // origin (10 away, an eighth turn wide): 2 · 10 · tan(pi / 8) high.
    auto ortho = KXMake<KXOrthoCamera>();
    ortho->setPosition(KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    ortho->setViewportScale(20.0f * std::tan(3.14159265f / 8.0f));
    scene.getRoot()->setCamera(ortho.get());
    canvas.drawn.clear();
    render();
    EXPECT_NEAR(aidsNamed("pointMarker").at(0).size[0], perspectiveSize, 1e-4f * perspectiveSize);
}

TEST_F(AidsTest, DetailShowsTheReachOfPointAndSpotLightsTranslucentWithoutDepthWrites)
{
    canvas.showLights(1, 1);
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(4.0f, 0.0f, 1.0f));
    lamp->setRange(6.0f);
    lamp->setColor(KXColor(0.0f, 1.0f, 0.0f, 1.0f));
    lights->addLight(lamp.get());
    auto spot = KXMake<KXSpotLight>();
    spot->setRange(8.0f);
    spot->setSpreadAngles(1.0f, 1.2f);
    lights->addLight(spot.get());
    auto unlimited = KXMake<KXPointLight>();
    lights->addLight(unlimited.get());
    render();

    const std::vector<DrawnAid> lamps = aidsNamed("pointMarker");
    ASSERT_EQ(lamps.size(), 3u) << "marker and reach of the lamp, marker alone of the unlimited light";
    EXPECT_EQ(lamps[1].size[0], 6.0f);
    EXPECT_EQ(lamps[1].pass, KXCanvas::KXPASS_TRANSPARENT);
    EXPECT_FALSE(lamps[1].zWrite);
    EXPECT_TRUE(lamps[0].zWrite);
    EXPECT_EQ(lamps[1].diffuse, KXColor(0.0f, 1.0f, 0.0f, 0.1f));
    EXPECT_NE(lamps[2].size[0], KXPointLight::MAX_RANGE);

    const std::vector<DrawnAid> spots = aidsNamed("spotMarker");
    ASSERT_EQ(spots.size(), 2u);
    // The reach cone widens by the tangent of half the spread angle.
    EXPECT_NEAR(spots[1].size[1], 8.0f * std::tan(0.5f), 1e-4f);
    EXPECT_EQ(spots[1].size[2], 8.0f);
    // Blending was on for the frame's aids and is off again.
    EXPECT_TRUE(log.containsInOrder({"blend.enableBlending(1)", "blend.reset()", "light.reset()"})) << log.dump();
}

TEST_F(AidsTest, SelectionBoxEnclosesSelectedNodesAndLightMarkersWithTheOffset)
{
    KXNodeDecorators* decorators = canvas.createNodeDecorators();
    auto unitBox = makeBoxMesh("selectionBox", KXPosition(0.0f, 0.0f, 0.0f), 1.0f);
    fill(decorators->createDecorator(KXNodeDecorators::KXNODEDECORATORS_SELECTIONBOX), unitBox.get(), "selection");
    decorators->setOffset(0.1f);
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(4.0f, 0.0f, 1.0f));
    lights->addLight(lamp.get());
    KXShape* shape = dynamic_cast<KXShape*>(scene.getRoot()->getChild(0));
    ASSERT_NE(shape, nullptr);
    scene.getSelection()->selectNode(shape);
    scene.getSelection()->selectLight(lamp.get());

    render();
    EXPECT_TRUE(aidsNamed("selection").empty()) << "hidden until the decorators are shown";
    decorators->setState(KXNodeDecorators::KXNODEDECORATORSSTATE_SHOWN);
    canvas.drawn.clear();
    render();
    const std::vector<DrawnAid> boxes = aidsNamed("selection");
    // Around the light's marker (radius 0.1) first, then around the
    // 2 × 2 × 2 box at (1, 2, 3) (in each of the canvas's two transparent
    // passes), each 10 % larger.
    ASSERT_GE(boxes.size(), 2u);
    const KXPosition markerCorner = boxes[0].world.transform(KXPosition(1.0f, 1.0f, 1.0f));
    EXPECT_NEAR(markerCorner.getX(), 4.0f + 0.11f, 1e-3f);
    EXPECT_NEAR(markerCorner.getZ(), 1.0f + 0.11f, 1e-3f);
    for (size_t i = 1; i < boxes.size(); ++i) {
        const KXPosition boxCorner = boxes[i].world.transform(KXPosition(1.0f, 1.0f, 1.0f));
        EXPECT_NEAR(boxCorner.getX(), 2.1f, 1e-4f);
        EXPECT_NEAR(boxCorner.getY(), 3.1f, 1e-4f);
        EXPECT_NEAR(boxCorner.getZ(), 4.1f, 1e-4f);
    }
}

TEST_F(AidsTest, GuideLiesInThePlaneOfTheControllerAxisThroughTheAnchor)
{
    KXNodeControllers* controllers = canvas.createNodeControllers();
    KXControllerGuide* guide = canvas.createControllerGuide();
    auto sheet = KXMake<KXSheet>();
    fill(guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_SHEET), sheet.get(), "guideSheet");
    auto grid = KXMake<KXWireSheet>();
    KXShape* gridShape = fill(guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_GRID), nullptr, "guideGrid");
    auto gridGroup = KXMake<KXGeometryGroup>();
    gridGroup->addGeometry(grid.get());
    gridShape->setGeometryGroup(gridGroup.get());
    auto line = KXMake<KXPolyline>();
    fill(guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_LINE), line.get(), "guideLine");

    // The node, moved to (5, 0, 0), is selected; so is a lamp at (0, 0, 7),
    // listed apart: the lamp, selected last, anchors the guide.
    KXShape* shape = dynamic_cast<KXShape*>(scene.getRoot()->getChild(0));
    shape->getTransform()->setTranslation(KXVector(5.0f, 0.0f, 0.0f));
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(0.0f, 0.0f, 7.0f));
    lights->addLight(lamp.get());
    scene.getSelection()->selectNode(shape);
    scene.getSelection()->selectLight(lamp.get());
    render();
    EXPECT_TRUE(aidsNamed("guideSheet").empty()) << "no controller selected";

    // Controller 3 works along z: the guide plane is z = 7.
    controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(3));
    canvas.drawn.clear();
    render();
    const KXBounds& reference = canvas.getReferenceBounds();
    const KXPosition centre = reference.getCenter();
    const std::vector<DrawnAid> sheets = aidsNamed("guideSheet");
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].position, KXPosition(centre.getX(), centre.getY(), 7.0f));
    EXPECT_NEAR(std::fabs(sheets[0].direction.getZ()), 1.0f, 1e-6f);
    EXPECT_NEAR(sheets[0].size[0], 5.0f * reference.getRadius(), 1e-4f);
    // The grid spans the rectangle from the projected centre to the anchor.
    const std::vector<DrawnAid> grids = aidsNamed("guideGrid");
    ASSERT_EQ(grids.size(), 1u);
    EXPECT_NEAR(grids[0].size[0], std::fabs(centre.getX()), 1e-4f);
    EXPECT_NEAR(grids[0].size[1], std::fabs(centre.getY()), 1e-4f);
    EXPECT_NEAR(grids[0].position.getX(), centre.getX() / 2.0f, 1e-4f);
    // The line runs from the reference centre down the axis to the plane.
    ASSERT_EQ(line->getNumVertices(), 2);
    EXPECT_EQ(line->getVertices()[0], centre);
    EXPECT_EQ(line->getVertices()[1], KXPosition(centre.getX(), centre.getY(), 7.0f));

    // With the node alone, the node anchors it: the plane z = 0 through its
    // origin.
    scene.getSelection()->deselect(lamp.get());
    canvas.drawn.clear();
    render();
    EXPECT_NEAR(aidsNamed("guideSheet").at(0).position.getZ(), 0.0f, 1e-5f);
    // Controllers without an axis draw no guide.
    controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(4));
    canvas.drawn.clear();
    render();
    EXPECT_TRUE(aidsNamed("guideSheet").empty());
}
