#include "CanvasTestSupport.h"

#include <cmath>

using ::testing::ElementsAre;

TEST_F(CanvasTest, OpaqueShapesAreDrawnOnceAndTransparentOnesTwiceAfterThem)
{
    auto opaque = makeBoxMesh("opaque", KXPosition(-2.0f, 0.0f, 0.0f), 0.5f);
    auto half = makeBoxMesh("half", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    auto plain = makeBoxMesh("plain", KXPosition(2.0f, 0.0f, 0.0f), 0.5f);
    auto shaded = makeBoxMesh("shaded", KXPosition(0.0f, 0.0f, 2.0f), 0.5f);
    // A transparent shader program makes a shape transparent even without a material.
    auto shadedLook = KXMake<KXAppearance>();
    auto program = KXMake<KXShaderProgram>();
    program->setName(L"program");
    program->setTransparent(true);
    shadedLook->setShaderProgram(program.get());
    // Transparent ones first in the tree: the passes, not the tree order, decide.
    addShape(root(), "half", half.get(), makeAppearance("halfMaterial", 0.5f).get());
    addShape(root(), "shaded", shaded.get(), shadedLook.get());
    addShape(root(), "opaque", opaque.get(), makeAppearance("opaqueMaterial").get());
    addShape(root(), "plain", plain.get());

    render();
    EXPECT_THAT(log.drawTexts(),
                ElementsAre("renderer.drawTriMesh(opaque)", "renderer.drawTriMesh(plain)",
                            "renderer.drawTriMesh(half)", "renderer.drawTriMeshWithShader(program,shaded)",
                            "renderer.drawTriMesh(half)", "renderer.drawTriMeshWithShader(program,shaded)"));
    // Opaque: clockwise faces culled, depth writes, no blending.
    const KXTrackedStates& solid = log.draws(opaque.get()).at(0)->states;
    EXPECT_EQ(solid.cullMode, KXPolyState::KXCULLMODE_CLOCKWISE);
    EXPECT_EQ(solid.zWrite, 1);
    EXPECT_EQ(solid.blending, 0);
    // Transparent: blended by source alpha; first the faces the opaque pass
    // culls without depth writes, then the others with depth writes.
    const auto halves = log.draws(half.get());
    ASSERT_EQ(halves.size(), 2u);
    for (const KXRecordedCall* draw : halves) {
        EXPECT_EQ(draw->states.blending, 1);
        EXPECT_EQ(draw->states.sourceBlend, KXBlendState::KXBLENDFACTOR_SRCALPHA);
        EXPECT_EQ(draw->states.destinationBlend, KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    }
    EXPECT_EQ(halves[0]->states.cullMode, KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
    EXPECT_EQ(halves[0]->states.zWrite, 0);
    EXPECT_EQ(halves[1]->states.cullMode, KXPolyState::KXCULLMODE_CLOCKWISE);
    EXPECT_EQ(halves[1]->states.zWrite, 1);
    // Only an alpha of exactly 1 is opaque.
    EXPECT_EQ(KXCanvas::isTransparent(makeAppearance("m", 1.5f).get()), 1);
}

TEST_F(CanvasTest, ShapesAreDrawnWhereTheirTransformsPlaceThemAndDisabledOnesNotAtAll)
{
    camera->setWorldMatrix(KXMatrix::translation(0.0f, 0.0f, 1.0f));
    root()->getTransform()->setScale(KXVector(2.0f, 2.0f, 2.0f));
    KXGroup* group = addGroup(root(), "group");
    group->getTransform()->setTranslation(KXVector(1.0f, 0.0f, 0.0f));
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 0.25f);
    addShape(group, "shape", mesh.get())->getTransform()->setTranslation(KXVector(0.0f, 0.5f, 0.0f));
    addShape(group, "hidden", mesh.get())->setEnabled(false);
    addShape(addGroup(root(), "hiddenGroup"), "inner", mesh.get())->getParent()->setEnabled(false);

    render();
    ASSERT_EQ(log.draws().size(), 1u);
    // A point p of the mesh lands at ((p + shape) + group) · 2 + camera world.
    const KXPosition placed = log.draws().at(0)->world.transform(KXPosition(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(placed, KXPosition(2.0f, 1.0f, 1.0f));
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);

    log.clear();
    root()->setEnabled(false);
    render();
    EXPECT_TRUE(log.draws().empty());
}

TEST_F(CanvasTest, GroupsOutsideTheViewAreSkippedWithEverythingBelowThem)
{
    // The camera looks at the origin from y = -10; x = 40 is far out to the side.
    KXGroup* outside = addGroup(root(), "outside");
    outside->setAppearance(makeAppearance("groupMaterial").get());
    auto farMesh = makeBoxMesh("far", KXPosition(40.0f, 0.0f, 0.0f), 0.5f);
    addShape(outside, "farShape", farMesh.get());
    auto nearMesh = makeBoxMesh("near", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    addShape(addGroup(root(), "inside"), "nearShape", nearMesh.get());
    render();
    EXPECT_THAT(log.drawTexts(), ElementsAre("renderer.drawTriMesh(near)"));
    EXPECT_EQ(log.count("material.setMaterial(groupMaterial)"), 0);

    // Moved into view by its transform, the group is drawn.
    log.clear();
    outside->getTransform()->setTranslation(KXVector(-40.0f, 0.0f, 0.0f));
    render();
    EXPECT_THAT(log.drawTexts(), ElementsAre("renderer.drawTriMesh(far)", "renderer.drawTriMesh(near)"));
}

TEST_F(CanvasTest, OnlyShapesOfMoreThan256TrianglesAreCulledOnTheirOwn)
{
    // The root spans the view and the shapes far to the side, so it is drawn;
    // those shapes are tested only when they are large.
    auto visible = makeBoxMesh("visible", KXPosition(0.0f, 0.0f, 0.0f), 0.5f, 300);
    auto small = makeBoxMesh("small", KXPosition(40.0f, 0.0f, 0.0f), 0.5f, 256);
    auto large = makeBoxMesh("large", KXPosition(40.0f, 0.0f, 0.0f), 0.5f, 257);
    addShape(root(), "visibleShape", visible.get());
    addShape(root(), "smallShape", small.get());
    addShape(root(), "largeShape", large.get());
    render();
    EXPECT_THAT(log.drawTexts(), ElementsAre("renderer.drawTriMesh(visible)", "renderer.drawTriMesh(small)"));
}

TEST_F(CanvasTest, AppearancesBindTexturesUpToTheFirstEmptyStageAndAreUndoneAfterTheShape)
{
    KXGroup* group = addGroup(root(), "group");
    auto groupLook = makeAppearance("groupMaterial");
    group->setAppearance(groupLook.get());
    auto look = makeAppearance("material");
    look->createTexture(KXTexture::KXTEXTURE_2D, 0)->setName(L"t0");
    look->createTexture(KXTexture::KXTEXTURE_2D, 1)->setName(L"t1");
    look->createTextureAttributes(1)->setName(L"a1");
    look->createTexture(KXTexture::KXTEXTURE_2D, 3)->setName(L"t3");
    look->createPolygonAttributes()->setPolygonOffset(1.5f);
    look->getPolygonAttributes()->setPolygonOffsetFactor(-2.0f);
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    addShape(group, "shape", mesh.get(), look.get());
    render();
    // The group's appearance first, the shape's over it; textures unbound
    // and the depth bias cleared after the shape and again after the group.
    EXPECT_TRUE(log.containsInOrder({"material.setMaterial(groupMaterial)", "material.setMaterial(material)",
                                     "texture.setTexture2D(0,t0,null)", "texture.setTexture2D(1,t1,a1)",
                                     "zbuffer.setDepthBias(1.5,-2)", "renderer.drawTriMesh(mesh)", "texture.reset()",
                                     "zbuffer.setDepthBias(0,0)", "renderer.popTransform()", "texture.reset()",
                                     "zbuffer.setDepthBias(0,0)"}))
        << log.dump();
    EXPECT_EQ(log.count("texture.setTexture2D(3,t3,null)"), 0);
    EXPECT_EQ(log.draws().at(0)->states.depthBias, 1.5f);
}

TEST_F(CanvasTest, CubeTexturesWithoutAnImageMirrorTheSkyBoxEnvironment)
{
    auto sky = KXMake<KXSkyBox>();
    sky->getTexture3D()->setName(L"environment");
    root()->setReflectionEnvironment(sky.get());
    auto look = KXMake<KXAppearance>();
    look->createTexture(KXTexture::KXTEXTURE_3D, 0)->setName(L"mirror");
    auto own = static_cast<KXTexture3D*>(look->createTexture(KXTexture::KXTEXTURE_3D, 1));
    own->setName(L"own");
    own->setImage3D(KXMake<KXImage3D>().get());
    auto program = KXMake<KXShaderProgram>();
    program->setName(L"program");
    look->setShaderProgram(program.get());
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    addShape(root(), "shape", mesh.get(), look.get());
    render();
    EXPECT_TRUE(log.containsInOrder({"texture.setTexture3D(0,environment,null)", "texture.setTexture3D(1,own,null)",
                                     "renderer.drawTriMeshWithEnvironment(program,environment,mesh)"}))
        << log.dump();

    // A sky dome is no environment: nothing to mirror, the shader draws alone.
    log.clear();
    root()->setReflectionEnvironment(KXMake<KXSkyDome>().get());
    render();
    EXPECT_TRUE(log.containsInOrder({"texture.setTexture3D(0,null,null)", "renderer.drawTriMeshWithShader(program,mesh)"}));
}

TEST_F(CanvasTest, SelectedAppearanceKeepsTheShapesOwnShader)
{
    auto look = makeAppearance("normal");
    auto program = KXMake<KXShaderProgram>();
    program->setName(L"program");
    look->setShaderProgram(program.get());
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    KXShape* shape = addShape(root(), "shape", mesh.get(), look.get());
    shape->setSelectedAppearance(makeAppearance("chosen").get());

    canvas.drawShape(shape, 1, KXCanvas::KXPASS_ALL);
    canvas.drawShape(shape, 0, KXCanvas::KXPASS_ALL);
    EXPECT_THAT(log.texts(std::vector<std::string>{"material", "renderer"}),
                ElementsAre("material.setMaterial(chosen)", "renderer.drawTriMeshWithShader(program,mesh)",
                            "material.setMaterial(normal)", "renderer.drawTriMeshWithShader(program,mesh)"));
}

TEST_F(CanvasTest, GeometryAndGeometryGroupAreBothDrawn)
{
    auto polyline = KXMake<KXPolyline>();
    polyline->setName(L"line");
    polyline->set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, {KXPosition(0, 0, 0), KXPosition(1, 0, 0)});
    auto group = KXMake<KXGeometryGroup>();
    auto a = makeBoxMesh("a", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    auto b = makeBoxMesh("b", KXPosition(0.0f, 0.0f, 1.0f), 0.5f);
    group->addGeometry(a.get());
    group->addGeometry(b.get());
    KXShape* shape = addShape(root(), "shape", nullptr);
    shape->setGeometry(polyline.get());
    shape->setGeometryGroup(group.get());
    render();
    EXPECT_THAT(log.drawTexts(),
                ElementsAre("renderer.drawPolyline(line)", "renderer.drawTriMesh(a)", "renderer.drawTriMesh(b)"));
}

TEST_F(CanvasTest, SceneDecoratorsAreDrawnUnderTheSceneAtItsScale)
{
    auto mesh = makeBoxMesh("mesh", KXPosition(3.0f, 1.0f, 1.0f), 1.0f);
    addShape(root(), "shape", mesh.get());
    KXSceneDecorators* decorators = canvas.createSceneDecorators();
    auto first = makeBoxMesh("first", KXPosition(1.0f, 0.0f, 0.0f), 0.1f);
    auto second = makeBoxMesh("second", KXPosition(0.0f, 0.0f, 0.0f), 0.1f);
    decorators->createDecorator(KXSceneDecorators::KXSCENEDECORATORS_FIRST)->setGeometry(first.get());
    decorators->createDecorator(KXSceneDecorators::KXSCENEDECORATORS_SECOND)->setGeometry(second.get());
    render();
    EXPECT_EQ(log.draws().size(), 1u) << "state 0 draws no decorator";

    log.clear();
    decorators->setState(KXSceneDecorators::KXSCENEDECORATORSSTATE_FIRST);
    render();
    // Opaque, so drawn in the opaque pass only, before the scene.
    EXPECT_THAT(log.drawTexts(), ElementsAre("renderer.drawTriMesh(first)", "renderer.drawTriMesh(mesh)"));
    // Its point (1, 0, 0) is scaled by the radius √3 and put under the centre (3, 1).
    const KXPosition placed = log.draws(first.get()).at(0)->world.transform(KXPosition(1.0f, 0.0f, 0.0f));
    EXPECT_NEAR(placed.getX(), 3.0f + std::sqrt(3.0f), 1e-5f);
    EXPECT_NEAR(placed.getY(), 1.0f, 1e-5f);
    EXPECT_NEAR(placed.getZ(), 0.0f, 1e-5f);

    log.clear();
    decorators->setState(KXSceneDecorators::KXSCENEDECORATORSSTATE_SECOND);
    render();
    EXPECT_EQ(log.draws(second.get()).size(), 1u);
    EXPECT_EQ(renderer.getStackDepth(), 0u);
}
