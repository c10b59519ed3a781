// The two derived canvases, step by step through the recording renderer:
// the soft-shadow canvas draws every caster once with a shadow appearance,
// from the light camera, inside the stencil, without fog, shaders, frame
// brackets or the scene's own appearances; the vector canvas draws with its
// owner's background colour and light model.

#include "CanvasTestSupport.h"

#include "canvas/KXSoftShadowCanvas.h"
#include "canvas/KXVecCanvas.h"

using ::testing::ElementsAre;

namespace {

class SoftShadowCanvasTest : public CanvasTest
{
protected:
    SoftShadowCanvasTest()
    {
        shadowCanvas.setRenderer(&renderer);
        lightCamera = new KXOrthoCamera();
        lightCamera->setName(L"light");
        lightCamera->setPosition(KXPosition(0.0f, 0.0f, 20.0f), KXPosition(0.0f, 0.0f, 0.0f),
                                 KXVector(0.0f, 1.0f, 0.0f));
        lightCamera->setNearPlane(1.0f);
        lightCamera->setFarPlane(40.0f);
        shadowCanvas.setLightCamera(lightCamera.get());
        shadowCanvas.setShadowAppearance(shadow.get());
        shadowCanvas.setShadowAppearanceForTransparentObjects(glassShadow.get());
        shadowCanvas.setBackgroundColor(KXColor(0.0f, 0.0f, 0.0f, 0.0f));
    }
    void renderShadow() { shadowCanvas.render(&scene, nullptr); }

    KXSoftShadowCanvas shadowCanvas;
    KXRef<KXOrthoCamera> lightCamera;
    KXRef<KXAppearance> shadow = makeAppearance("shadow", 0.3f);
    KXRef<KXAppearance> glassShadow = makeAppearance("glassShadow", 0.05f);
};

} // namespace

TEST_F(SoftShadowCanvasTest, DrawsEachCasterOnceWithItsPassAppearanceInsideTheStencil)
{
    auto solid = makeBoxMesh("solidMesh", KXPosition(-1.0f, 0.0f, 1.0f), 0.5f);
    auto solidLook = makeAppearance("solidMaterial");
    addShape(root(), "solid", solid.get(), solidLook.get());
    auto glass = makeBoxMesh("glassMesh", KXPosition(1.0f, 0.0f, 1.0f), 0.5f);
    auto glassLook = makeAppearance("glassMaterial", 0.5f);
    addShape(root(), "glass", glass.get(), glassLook.get());
    auto fog = KXMake<KXLinearFog>();
    fog->setName(L"sceneFog");
    root()->setFog(fog.get());

    renderShadow();
    // No frame of its own: it is drawn inside the painter's caller's frame.
    EXPECT_EQ(log.count("renderer.beginScene()"), 0);
    EXPECT_EQ(log.count("renderer.endScene()"), 0);
    EXPECT_TRUE(log.containsInOrder({"zbuffer.clear()", "zbuffer.enableZBuffer(1)", "zbuffer.enableZWrite(1)",
                                     "renderer.clear((0,0,0,0))", "material.setMaterial(shadow)",
                                     "renderer.setCamera(light)"}))
        << log.dump();
    // The scene's fog is put back before anything is drawn, and the stencil
    // lets each pixel be written once.
    EXPECT_TRUE(log.containsInOrder({"fog.setFog(sceneFog)", "fog.reset()", "stencil.clear()", "stencil.enableStencil(1)",
                                     "stencil.setReference(0)", "stencil.setStencilFunction(2)",
                                     "stencil.setPassOperation(6)", "renderer.drawTriMesh(solidMesh)",
                                     "renderer.drawTriMesh(glassMesh)", "stencil.reset()"}))
        << log.dump();
    // The shapes' own materials are never used: the opaque box with the
    // shadow, the transparent one (in both transparent passes) with the
    // other.
    EXPECT_EQ(log.count("material.setMaterial(solidMaterial)"), 0);
    EXPECT_EQ(log.count("material.setMaterial(glassMaterial)"), 0);
    EXPECT_EQ(log.count("renderer.drawTriMesh(solidMesh)"), 1);
    EXPECT_EQ(log.count("renderer.drawTriMesh(glassMesh)"), 2);
    const int glassDraw = log.indexOf("renderer.drawTriMesh(glassMesh)");
    EXPECT_LT(log.indexOf("material.setMaterial(glassShadow)"), glassDraw);
    EXPECT_GT(log.indexOf("material.setMaterial(glassShadow)"), log.indexOf("renderer.drawTriMesh(solidMesh)"));
}

TEST_F(SoftShadowCanvasTest, LeavesOutWhatCastsNoShadowAndCullsWithTheLightCamera)
{
    auto invisibleLook = makeAppearance("invisibleMaterial", 0.0f);
    auto invisible = makeBoxMesh("invisibleMesh", KXPosition(0.0f, 0.0f, 1.0f), 0.5f);
    addShape(root(), "invisible", invisible.get(), invisibleLook.get());
    auto below = makeBoxMesh("belowMesh", KXPosition(0.0f, 0.0f, -2.0f), 0.5f);
    addShape(root(), "below", below.get());
    // A box turned upside down around the ground: its upper corner in its
    // own space lies below the ground, but it reaches above it.
    auto turned = makeBoxMesh("turnedMesh", KXPosition(0.0f, 0.0f, -0.25f), 0.5f);
    KXShape* turnedShape = addShape(root(), "turned", turned.get());
    turnedShape->getTransform()->setRotation(KXVector(1.0f, 0.0f, 0.0f), 3.14159265f);
    // A ground sheet lying at z = 0.
    auto ground = KXMake<KXTriMesh>();
    ground->set(KXTriMesh::KXTRIMESHTYPE_LIST,
                {KXPosition(-5, -5, 0), KXPosition(5, -5, 0), KXPosition(5, 5, 0), KXPosition(-5, 5, 0)},
                {0, 1, 2, 0, 2, 3});
    ground->setName(L"groundMesh");
    addShape(root(), "ground", ground.get());
    // A group far to the side of the main camera's view (which looks along
    // +y from y = -10) but under the light camera looking down.
    KXGroup* aside = addGroup(root(), "aside");
    aside->getTransform()->setTranslation(KXVector(0.0f, -30.0f, 0.0f));
    auto post = makeBoxMesh("postMesh", KXPosition(0.0f, 0.0f, 1.0f), 0.5f);
    addShape(aside, "post", post.get());
    lightCamera->setPosition(KXPosition(0.0f, -15.0f, 20.0f), KXPosition(0.0f, -15.0f, 0.0f), KXVector(0, 1, 0));
    // 40 units high: the light sees y -35 .. 5.
    lightCamera->setViewportScale(40.0f);

    renderShadow();
    EXPECT_THAT(log.drawTexts(), ElementsAre("renderer.drawTriMesh(turnedMesh)", "renderer.drawTriMesh(postMesh)"))
        << log.dump();
    EXPECT_FALSE(KXSoftShadowCanvas::getCasterBounds(root()).isEmpty());
}

TEST_F(SoftShadowCanvasTest, CasterBoundsHoldOnlyWhatCastsAShadow)
{
    EXPECT_TRUE(KXSoftShadowCanvas::getCasterBounds(root()).isEmpty());
    auto ground = makeBoxMesh("groundMesh", KXPosition(0.0f, 0.0f, -1.0f), 1.0f);
    addShape(root(), "ground", ground.get());
    EXPECT_TRUE(KXSoftShadowCanvas::getCasterBounds(root()).isEmpty()) << "a box whose top is the ground";
    auto box = makeBoxMesh("boxMesh", KXPosition(3.0f, 2.0f, 1.0f), 0.5f);
    KXShape* shape = addShape(root(), "box", box.get());
    shape->getTransform()->setTranslation(KXVector(1.0f, 0.0f, 0.0f));
    const KXBounds bounds = KXSoftShadowCanvas::getCasterBounds(root());
    EXPECT_EQ(bounds.getLowerLeftPos(), KXPosition(3.5f, 1.5f, 0.5f));
    EXPECT_EQ(bounds.getUpperRightPos(), KXPosition(4.5f, 2.5f, 1.5f));
}

TEST_F(SoftShadowCanvasTest, DrawsNothingWithoutALightCamera)
{
    auto box = makeBoxMesh("boxMesh", KXPosition(0.0f, 0.0f, 1.0f), 0.5f);
    addShape(root(), "box", box.get());
    shadowCanvas.setLightCamera(nullptr);
    renderShadow();
    EXPECT_EQ(log.size(), 0u) << log.dump();
}

TEST_F(CanvasTest, VecCanvasDrawsWithItsOwnBackgroundAndLightModel)
{
    KXVecCanvas vec;
    vec.setRenderer(&renderer);
    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
    root()->setBackground(background.get());
    auto sceneLights = KXMake<KXLightModel>();
    auto sceneSun = KXMake<KXDirectionalLight>();
    sceneSun->setName(L"sceneSun");
    sceneLights->addLight(sceneSun.get());
    root()->setLightModel(sceneLights.get());
    auto box = makeBoxMesh("boxMesh", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    addShape(root(), "box", box.get());

    vec.setBackgroundColor(KXColor(0.0f, 0.0f, 1.0f, 1.0f));
    vec.render(&scene, nullptr);
    // Without a light model: lighting as it is, no lights set.
    EXPECT_EQ(log.count("renderer.clear((0,0,1,1))"), 1) << log.dump();
    EXPECT_EQ(log.count("renderer.clear((1,0,0,1))"), 0);
    EXPECT_TRUE(log.find("light", "setLight").empty());
    EXPECT_EQ(log.count("material.enableSpecular(0)"), 1);

    log.clear();
    auto ownLights = KXMake<KXLightModel>();
    auto ownSun = KXMake<KXDirectionalLight>();
    ownSun->setName(L"ownSun");
    ownLights->addLight(ownSun.get());
    vec.setLightModel(ownLights.get());
    vec.render(&scene, nullptr);
    const auto setLights = log.find("light", "setLight");
    ASSERT_EQ(setLights.size(), 1u) << log.dump();
    EXPECT_EQ(setLights[0]->text().rfind("light.setLight(0,ownSun,", 0), 0u) << setLights[0]->text();
    EXPECT_LT(log.indexOf("light.enableNormalization(1)"), log.indexOf(setLights[0]->text()));
    EXPECT_EQ(log.count("renderer.drawTriMesh(boxMesh)"), 1);
}
