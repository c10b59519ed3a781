#include "CanvasTestSupport.h"

#include <cmath>

namespace {

void expectNear(const KXPosition& actual, const KXPosition& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.getX(), expected.getX(), tolerance);
    EXPECT_NEAR(actual.getY(), expected.getY(), tolerance);
    EXPECT_NEAR(actual.getZ(), expected.getZ(), tolerance);
}

void expectColor(const KXColor& actual, const KXColor& expected)
{
    EXPECT_FLOAT_EQ(actual.getR(), expected.getR());
    EXPECT_FLOAT_EQ(actual.getG(), expected.getG());
    EXPECT_FLOAT_EQ(actual.getB(), expected.getB());
    EXPECT_FLOAT_EQ(actual.getA(), expected.getA());
}

} // namespace

// The matrices against D3DXMatrixShadow (orientation, non-unit normals,
// point lights) are tested with the frames.
TEST(PlanarShadowMatrix, DefaultsProjectStraightDownOntoThePlaneAHairAboveTheGround)
{
    KXPlanarShadowPainter painter;
    EXPECT_EQ(painter.getPainterType(), KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW);
    EXPECT_EQ(painter.getLightType(), KXPlanarShadowPainter::KXSHADOWLIGHT_DIRECTIONAL);
    EXPECT_EQ(painter.getShadowPlane(), KXPlane(0.0f, 0.0f, -1.0f, 0.0001f));
    ASSERT_TRUE(painter.hasShadowMatrix());
    for (const KXPosition& p : {KXPosition(0.5f, 0.5f, 1.0f), KXPosition(-3.0f, 2.0f, 7.5f), KXPosition(1, 1, 0)})
        expectNear(painter.getShadowMatrix().transform(p), KXPosition(p.getX(), p.getY(), 0.0001f));

    // A slanted sun moves the shadow away from the sun by the height.
    painter.setLightDirection(KXUnitVector(1.0f, 0.0f, -1.0f));
    expectNear(painter.getShadowMatrix().transform(KXPosition(0.0f, 0.0f, 2.0f)), KXPosition(1.9999f, 0.0f, 0.0001f));
}

TEST(PlanarShadowMatrix, NoMatrixForALightInThePlaneOrAPlaneWithoutNormal)
{
    KXPlanarShadowPainter painter;
    painter.setLightType(KXPlanarShadowPainter::KXSHADOWLIGHT_POINT);
    painter.setLightPosition(KXPosition(3.0f, 1.0f, 0.0001f));
    EXPECT_FALSE(painter.hasShadowMatrix());
    painter.setLightPosition(KXPosition(3.0f, 1.0f, 2.0f));
    EXPECT_TRUE(painter.hasShadowMatrix());
    painter.setLightType(KXPlanarShadowPainter::KXSHADOWLIGHT_DIRECTIONAL);
    painter.setLightDirection(KXUnitVector(1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(painter.hasShadowMatrix());
    painter.setLightDirection(KXUnitVector(0.0f, 0.0f, -1.0f));
    EXPECT_TRUE(painter.hasShadowMatrix());
    painter.setShadowPlane(KXPlane(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_FALSE(painter.hasShadowMatrix());
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(painter.getShadowMatrix()[i]));
}

TEST(PlanarShadowMaterials, ColoursGiveTheRgbWhileTheOpacityStaysFixed)
{
    KXPlanarShadowPainter painter;
    const KXMaterial* shadow = painter.getShadowMaterial();
    const KXMaterial* light = painter.getShadowMaterialForTransparentObjects();
    expectColor(shadow->getDiffuseColor(), KXColor(0.0f, 0.0f, 0.0f, 0.3f));
    expectColor(shadow->getAmbientColor(), KXColor(0.0f, 0.0f, 0.0f, 0.3f));
    expectColor(shadow->getSpecularColor(), KXColor(0.0f, 0.0f, 0.0f, 0.3f));
    expectColor(shadow->getEmissiveColor(), KXColor(0.1f, 0.1f, 0.1f, 0.3f));
    EXPECT_FLOAT_EQ(shadow->getShininess(), 5.0f);
    expectColor(light->getDiffuseColor(), KXColor(0.0f, 0.0f, 0.0f, 0.05f));
    expectColor(light->getEmissiveColor(), KXColor(0.1f, 0.1f, 0.1f, 0.05f));

    painter.setShadowColor(KXColor(0.5f, 0.0f, 0.0f, 1.0f));
    painter.setShadowColorForTransparentObjects(KXColor(0.0f, 0.0f, 0.5f, 1.0f));
    shadow = painter.getShadowMaterial();
    light = painter.getShadowMaterialForTransparentObjects();
    expectColor(shadow->getEmissiveColor(), KXColor(0.5f, 0.0f, 0.0f, 1.0f));
    expectColor(shadow->getDiffuseColor(), KXColor(0.0f, 0.0f, 0.0f, 0.3f));
    expectColor(light->getEmissiveColor(), KXColor(0.0f, 0.0f, 0.5f, 1.0f));
    expectColor(light->getDiffuseColor(), KXColor(0.0f, 0.0f, 0.0f, 0.05f));
}

// A shadow painter drawing into the fixture's recording renderer, with a
// scene open.
class PlanarShadowPainterTest : public CanvasTest
{
protected:
    PlanarShadowPainterTest()
    {
        painter.setRenderer(&renderer);
        renderer.beginScene();
        log.clear();
    }

    void paint()
    {
        log.clear();
        painter.paint(&scene);
    }
    std::vector<std::string> drawn() const { return log.drawTexts(); }
    const KXMaterial* shadowMaterial() const { return painter.getShadowMaterial(); }
    const KXMaterial* lightShadowMaterial() const
    {
        return painter.getShadowMaterialForTransparentObjects();
    }

    KXPlanarShadowPainter painter;
};

TEST_F(PlanarShadowPainterTest, SetsItsStatesAroundBothPassesAndPutsThemBack)
{
    auto cube = makeBoxMesh("cube", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(root(), "shape", cube.get());
    root()->getTransform()->setTransformationMatrix(KXMatrix::translation(0.0f, 0.0f, 1.0f));
    paint();
    EXPECT_TRUE(log.containsInOrder({
        "renderer.pushTransform(M)", "poly.setShadeMode(0)", "poly.setFillMode(2)", "poly.setCullMode(0)",
        "stencil.clear()", "stencil.enableStencil(1)", "stencil.setReference(0)", "stencil.setMask(4294967295)",
        "stencil.setWriteMask(4294967295)", "stencil.setStencilFunction(2)", "stencil.setZFailOperation(0)",
        "stencil.setFailOperation(0)", "stencil.setPassOperation(6)", "zbuffer.enableZBuffer(1)",
        "zbuffer.enableZWrite(0)", "blend.enableBlending(1)", "blend.setSourceBlend(4)",
        "blend.setDestinationBlend(5)", "blend.setBlendOperation(0)", "light.enableLighting(1)",
        "material.enableColorVertex(0)", "renderer.pushTransform(M)", "material.setMaterial(obj)", "texture.reset()",
        "renderer.drawTriMesh(cube)", "material.setMaterial(obj)", "texture.reset()", "renderer.drawTriMesh(cube)",
        "poly.reset()", "blend.reset()", "stencil.reset()", "zbuffer.reset()", "light.reset()", "material.reset()",
        "material.enableColorVertex(1)", "renderer.popTransform()", "renderer.popTransform()"}))
        << log.dump();
    // The stencil is cleared once: the transparent pass must see the pixels
    // the opaque pass darkened.
    EXPECT_EQ(log.count("stencil.clear()"), 1);
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);

    // Each pass draws with its own material, vertex colours off, blended,
    // stencilled and without depth writes.
    const auto draws = log.draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0]->states.material, shadowMaterial());
    EXPECT_EQ(draws[1]->states.material, lightShadowMaterial());
    for (const KXRecordedCall* draw : draws) {
        EXPECT_EQ(draw->states.stencil, 1);
        EXPECT_EQ(draw->states.blending, 1);
        EXPECT_EQ(draw->states.zWrite, 0);
        EXPECT_EQ(draw->states.cullMode, 0);
        // Placed by the root's transform, then flattened.
        expectNear(draw->world.transform(KXPosition(0.5f, -0.5f, 1.0f)), KXPosition(0.5f, -0.5f, 0.0001f));
    }
    const KXTrackedStates defaults;
    EXPECT_EQ(log.states.cullMode, defaults.cullMode);
    EXPECT_EQ(log.states.shadeMode, defaults.shadeMode);
    EXPECT_EQ(log.states.blending, defaults.blending);
    EXPECT_EQ(log.states.stencil, defaults.stencil);
    EXPECT_EQ(log.states.zWrite, defaults.zWrite);
}

TEST_F(PlanarShadowPainterTest, OpaqueShapesCastInTheFirstPassTransparentOnesInTheSecond)
{
    auto opaqueMesh = makeBoxMesh("opaque", KXPosition(-2.0f, 0.0f, 0.5f), 0.5f);
    auto glassMesh = makeBoxMesh("glass", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    auto ghostMesh = makeBoxMesh("ghost", KXPosition(2.0f, 0.0f, 0.5f), 0.5f);
    auto bareMesh = makeBoxMesh("bare", KXPosition(4.0f, 0.0f, 0.5f), 0.5f);
    auto opaque = makeAppearance("stone", 1.0f);
    auto glass = makeAppearance("glass", 0.5f);
    auto ghost = makeAppearance("ghost", 0.0f);
    addShape(root(), "opaque", opaqueMesh.get(), opaque.get());
    addShape(root(), "glass", glassMesh.get(), glass.get());
    addShape(root(), "ghost", ghostMesh.get(), ghost.get());
    addShape(root(), "bare", bareMesh.get());
    paint();
    EXPECT_EQ(drawn(), (std::vector<std::string>{"renderer.drawTriMesh(opaque)", "renderer.drawTriMesh(bare)",
                                                 "renderer.drawTriMesh(glass)", "renderer.drawTriMesh(bare)"}));
    const auto draws = log.draws();
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[1]->states.material, shadowMaterial());
    EXPECT_EQ(draws[2]->states.material, lightShadowMaterial());
    // The scene's own appearances are never applied.
    EXPECT_EQ(log.count("material.setMaterial(stone)") + log.count("material.setMaterial(glass)"), 0);
}

TEST_F(PlanarShadowPainterTest, OnlyShapesReachingAboveTheGroundAndThePlaneCastShadows)
{
    // Wholly below the ground.
    auto buried = makeBoxMesh("buried", KXPosition(0.0f, 0.0f, -2.0f), 0.5f);
    addShape(root(), "buried", buried.get());
    // The ground itself, in z = 0 under the plane: its shadow would cover
    // the floor and, through the stencil, every other shadow.
    auto ground = KXMake<KXSheet>();
    ground->setParameters(KXPosition(0, 0, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 20.0f, 20.0f);
    ground->setName(L"ground");
    auto groundShape = KXMake<KXShape>();
    groundShape->setGeometry(ground.get());
    root()->addChild(groundShape.get());
    // Turned upside down and sunk a little: its upper corner goes below the
    // ground, most of it stays above.
    auto flipped = makeBoxMesh("flipped", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(root(), "flipped", flipped.get())->getTransform()->setTransformationMatrix(
        KXMatrix::rotationX(3.14159265f) * KXMatrix::translation(0.0f, 0.0f, 0.9f));
    // Nested groups are walked with their transforms; disabled nodes are not.
    KXGroup* group = addGroup(root(), "group");
    group->getTransform()->setTransformationMatrix(KXMatrix::translation(3.0f, 0.0f, 0.0f));
    auto nested = makeBoxMesh("nested", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(group, "nested", nested.get());
    auto hidden = makeBoxMesh("hidden", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(group, "hidden", hidden.get())->setEnabled(false);
    KXGroup* off = addGroup(root(), "off");
    auto offMesh = makeBoxMesh("inOff", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(off, "inOff", offMesh.get());
    off->setEnabled(false);
    // A geometry group's entries and polylines are drawn too.
    auto line = KXMake<KXPolyline>();
    line->set(KXPolyline::KXPOLYLINETYPE_OPEN, {KXPosition(0, 0, 1), KXPosition(1, 0, 2)});
    line->setName(L"line");
    auto part = makeBoxMesh("part", KXPosition(0.0f, 3.0f, 0.5f), 0.5f);
    auto parts = KXMake<KXGeometryGroup>();
    parts->addGeometry(part.get());
    parts->addGeometry(line.get());
    auto partsShape = KXMake<KXShape>();
    partsShape->setGeometryGroup(parts.get());
    root()->addChild(partsShape.get());

    paint();
    const std::vector<std::string> onePass = {"renderer.drawTriMesh(flipped)", "renderer.drawTriMesh(nested)",
                                              "renderer.drawTriMesh(part)", "renderer.drawPolyline(line)"};
    std::vector<std::string> bothPasses = onePass;
    bothPasses.insert(bothPasses.end(), onePass.begin(), onePass.end());
    EXPECT_EQ(drawn(), bothPasses);
    const auto nestedDraws = log.draws(nested.get());
    ASSERT_FALSE(nestedDraws.empty());
    expectNear(nestedDraws[0]->world.transform(KXPosition(0.5f, 0.5f, 1.0f)), KXPosition(3.5f, 0.5f, 0.0001f));
    EXPECT_EQ(renderer.getStackDepth(), 0u);
}

TEST_F(PlanarShadowPainterTest, ShapesBeyondThePlaneFromTheLightCastNothing)
{
    // A plane at z = 1 (a table top): what stands on it casts, what stands
    // under it does not.
    painter.setShadowPlane(KXPlane(0.0f, 0.0f, -1.0f, 1.0001f));
    auto onTable = makeBoxMesh("onTable", KXPosition(0.0f, 0.0f, 1.5f), 0.5f);
    auto underTable = makeBoxMesh("underTable", KXPosition(3.0f, 0.0f, 0.5f), 0.4f);
    addShape(root(), "onTable", onTable.get());
    addShape(root(), "underTable", underTable.get());
    paint();
    EXPECT_EQ(drawn(), (std::vector<std::string>{"renderer.drawTriMesh(onTable)", "renderer.drawTriMesh(onTable)"}));

    // A point light under the table lights its underside: now only what is
    // under the table casts (onto the plane, from below).
    painter.setShadowPlane(KXPlane(0.0f, 0.0f, 1.0f, -0.9999f));
    painter.setLightType(KXPlanarShadowPainter::KXSHADOWLIGHT_POINT);
    painter.setLightPosition(KXPosition(3.0f, 0.0f, -1.0f));
    camera->setPosition(KXPosition(0.0f, -10.0f, -2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    paint();
    EXPECT_EQ(drawn(),
              (std::vector<std::string>{"renderer.drawTriMesh(underTable)", "renderer.drawTriMesh(underTable)"}));
}

TEST_F(PlanarShadowPainterTest, DrawsNothingWithoutWhatItNeeds)
{
    auto cube = makeBoxMesh("cube", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(root(), "shape", cube.get());
    auto paintsAnything = [this](const KXScene* which) {
        log.clear();
        painter.paint(which);
        return log.size() != 0;
    };
    EXPECT_TRUE(paintsAnything(&scene));
    EXPECT_FALSE(paintsAnything(nullptr));
    KXScene empty;
    empty.setRoot(nullptr);
    EXPECT_FALSE(paintsAnything(&empty));

    // A camera below the default plane sees the floor from underneath.
    camera->setPosition(KXPosition(0.0f, -10.0f, -2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    EXPECT_FALSE(paintsAnything(&scene));
    // A camera above the floor looking slightly upward still sees the floor.
    camera->setPosition(KXPosition(0.0f, -10.0f, 1.0f), KXPosition(0.0f, 0.0f, 1.5f), KXVector(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(paintsAnything(&scene));
    // Without a camera there is no such test.
    root()->setCamera(nullptr);
    EXPECT_TRUE(paintsAnything(&scene));

    root()->setEnabled(false);
    EXPECT_FALSE(paintsAnything(&scene));
    root()->setEnabled(true);

    painter.setLightDirection(KXUnitVector(1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(paintsAnything(&scene));
    painter.setLightDirection(KXUnitVector(0.0f, 0.0f, -1.0f));

    KXRecordingLog otherLog;
    KXRecordingRenderer uninitialised(otherLog, false);
    painter.setRenderer(&uninitialised);
    painter.paint(&scene);
    painter.setRenderer(nullptr);
    painter.paint(&scene);
    EXPECT_EQ(otherLog.size(), 0u);
    EXPECT_EQ(log.size(), 0u);
}

TEST(PlanarShadowPainterInCanvas, RunsWhenShadowsAreOnAndDrawsAfterTheScene)
{
    KXRecordingLog log;
    KXRecordingRenderer renderer(log);
    KXCanvas canvas;
    canvas.setRenderer(&renderer);
    KXScene scene;
    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(KXPosition(0.0f, -10.0f, 2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    scene.getRoot()->setCamera(camera.get());
    auto cube = makeBoxMesh("cube", KXPosition(0.0f, 0.0f, 0.5f), 0.5f);
    addShape(scene.getRoot(), "shape", cube.get());

    canvas.render(&scene, nullptr);
    EXPECT_EQ(log.count("stencil.enableStencil(1)"), 0);
    canvas.enableShadows(1);
    log.clear();
    canvas.render(&scene, nullptr);
    EXPECT_TRUE(log.containsInOrder({"renderer.drawTriMesh(cube)", "light.reset()", "stencil.enableStencil(1)",
                                     "renderer.drawTriMesh(cube)", "renderer.drawTriMesh(cube)", "stencil.reset()",
                                     "renderer.endScene()"}))
        << log.dump();
    EXPECT_EQ(renderer.getStackDepth(), 0u);
}
