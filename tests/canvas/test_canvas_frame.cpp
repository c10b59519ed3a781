#include "CanvasTestSupport.h"

using ::testing::ElementsAreArray;

namespace {

// Families whose calls make up the frame sequence (everything but painters).
const std::vector<std::string> kFrameFamilies = {"renderer", "material", "texture", "light", "zbuffer", "blend",
                                                 "poly", "stencil", "fog", "clip", "event", "painter"};

} // namespace

TEST_F(CanvasTest, FrameRunsEveryStepInOrder)
{
    canvas.recordPainters(log);
    KXRecordingObserver observer(log);
    canvas.registerObserver(&observer);

    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
    root()->setBackground(background.get());
    auto fog = KXMake<KXLinearFog>();
    fog->setName(L"fog");
    root()->setFog(fog.get());
    auto lights = KXMake<KXLightModel>();
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setName(L"ambient");
    lights->setAmbientLight(ambient.get());
    auto sun = KXMake<KXDirectionalLight>();
    sun->setName(L"sun");
    lights->addLight(sun.get());
    root()->setLightModel(lights.get());

    auto solid = makeBoxMesh("solidMesh", KXPosition(-1.0f, 0.0f, 0.0f), 0.5f);
    auto solidLook = makeAppearance("solidMaterial");
    addShape(root(), "solid", solid.get(), solidLook.get());
    auto glass = makeBoxMesh("glassMesh", KXPosition(1.0f, 0.0f, 0.0f), 0.5f);
    auto glassLook = makeAppearance("glassMaterial", 0.5f);
    addShape(root(), "glass", glass.get(), glassLook.get());

    render();

    const std::vector<std::string> expected = {
        "renderer.beginScene()",
        "event.canvas(0)",
        "material.enableSpecular(1)",
        // Depth, then the background clears the colour target.
        "zbuffer.clear()",
        "renderer.clear((1,0,0,1))",
        // Fog, camera and lights.
        "fog.enableFog(1)",
        "fog.setVertexFog(0)",
        "fog.setRangeFog(0)",
        "fog.setFog(fog)",
        "renderer.setCamera(camera)",
        "light.enableNormalization(1)",
        "light.setAmbientLight(ambient)",
        "light.setLight(0,sun,I)",
        // Opaque pass: the solid box only.
        "poly.setShadeMode(1)",
        "poly.setFillMode(2)",
        "poly.setCullMode(0)",
        "renderer.pushTransform(I)",
        "renderer.pushTransform(I)",
        "material.setMaterial(solidMaterial)",
        "renderer.drawTriMesh(solidMesh)",
        "texture.reset()",
        "zbuffer.setDepthBias(0,0)",
        "renderer.popTransform()",
        // First transparent pass: far faces, no depth writes. Shapes that draw
        // nothing in a pass are not placed.
        "blend.enableBlending(1)",
        "blend.setSourceBlend(4)",
        "blend.setDestinationBlend(5)",
        "blend.setBlendOperation(0)",
        "zbuffer.enableZWrite(0)",
        "poly.setCullMode(1)",
        "renderer.pushTransform(I)",
        "material.setMaterial(glassMaterial)",
        "renderer.drawTriMesh(glassMesh)",
        "texture.reset()",
        "zbuffer.setDepthBias(0,0)",
        "renderer.popTransform()",
        // Second transparent pass: near faces, depth writes.
        "zbuffer.enableZWrite(1)",
        "poly.setCullMode(0)",
        "renderer.pushTransform(I)",
        "material.setMaterial(glassMaterial)",
        "renderer.drawTriMesh(glassMesh)",
        "texture.reset()",
        "zbuffer.setDepthBias(0,0)",
        "renderer.popTransform()",
        "poly.reset()",
        "zbuffer.reset()",
        "blend.reset()",
        "renderer.popTransform()",
        "fog.reset()",
        "light.reset()",
        // Editor aids: the guide's blending, then the controllers' two passes.
        "poly.setShadeMode(1)",
        "poly.setFillMode(2)",
        "poly.setCullMode(0)",
        "blend.enableBlending(1)",
        "blend.setSourceBlend(4)",
        "blend.setDestinationBlend(5)",
        "blend.setBlendOperation(0)",
        "zbuffer.enableZWrite(0)",
        "blend.enableBlending(0)",
        "zbuffer.clear()",
        "zbuffer.enableZWrite(1)",
        "zbuffer.enableZWrite(0)",
        "blend.enableBlending(1)",
        "blend.setSourceBlend(4)",
        "blend.setDestinationBlend(5)",
        "blend.setBlendOperation(0)",
        "zbuffer.reset()",
        "blend.reset()",
        "poly.reset()",
        // The overlay is the last painter.
        "painter.paint(3)",
        "event.canvas(1)",
        "renderer.endScene()",
    };
    EXPECT_THAT(log.texts(kFrameFamilies), ElementsAreArray(expected)) << log.dump();
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);
    canvas.unregisterObserver(&observer);
}

TEST_F(CanvasTest, NothingHappensWithoutRendererSceneRootOrCamera)
{
    KXRecordingObserver observer(log);
    KXCanvas bare;
    bare.registerObserver(&observer);
    bare.render(&scene, nullptr);
    KXRecordingRenderer uninitialised(log, false);
    bare.setRenderer(&uninitialised);
    bare.render(&scene, nullptr);
    canvas.render(nullptr, nullptr);
    root()->setCamera(nullptr);
    render();
    KXRef<KXRoot> keep(root());
    scene.setRoot(nullptr);
    render();
    // No scene opened, nothing cleared, no event.
    EXPECT_EQ(log.size(), 0u) << log.dump();
    bare.unregisterObserver(&observer);
}

TEST_F(CanvasTest, ReferenceBoundsFollowTheSceneOnlyWhileNoControllerIsSelected)
{
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 1.0f);
    KXShape* shape = addShape(root(), "shape", mesh.get());
    KXNodeControllers* controllers = canvas.createNodeControllers();
    render();
    const KXBounds before = root()->getBounds();
    EXPECT_EQ(canvas.getReferenceBounds(), before);

    controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2));
    shape->getTransform()->setTranslation(KXVector(5.0f, 0.0f, 0.0f));
    render();
    EXPECT_EQ(canvas.getReferenceBounds(), before);
    EXPECT_NE(root()->getBounds(), before);

    controllers->setSelectedController(KXNodeControllers::KXNODECONTROLLER_NONE);
    render();
    EXPECT_EQ(canvas.getReferenceBounds(), root()->getBounds());

    // A canvas whose first frame already has a controller selected takes the
    // bounds of that frame (it has none to keep).
    KXTestCanvas fresh;
    fresh.setRenderer(&renderer);
    fresh.createNodeControllers()->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2));
    fresh.render(&scene, nullptr);
    EXPECT_EQ(fresh.getReferenceBounds(), root()->getBounds());
}

// A family is left as it was found when, after the last call that changed
// it, its reset follows before the frame ends. Checked over a frame that
// touches every family the canvas uses.
TEST_F(CanvasTest, EveryFamilyChangedInAFrameIsResetBeforeTheFrameEnds)
{
    auto check = [this](const char* what) {
        const auto& calls = log.calls();
        for (const char* family : {"texture", "light", "zbuffer", "blend", "poly", "stencil", "fog", "clip"}) {
            int lastChange = -1, lastReset = -1;
            for (size_t i = 0; i < calls.size(); ++i) {
                if (calls[i].family != family)
                    continue;
                if (calls[i].operation == "reset")
                    lastReset = static_cast<int>(i);
                else if (calls[i].operation != "clear")
                    lastChange = static_cast<int>(i);
            }
            EXPECT_TRUE(lastChange < 0 || lastChange < lastReset)
                << what << ": " << family << " left changed\n"
                << log.dump();
        }
        log.clear();
    };

    auto lights = KXMake<KXLightModel>();
    lights->addLight(KXMake<KXPointLight>().get());
    root()->setLightModel(lights.get());
    root()->setFog(KXMake<KXExponentialFog>().get());
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 1.0f);
    auto look = makeAppearance("look", 0.5f);
    look->createTexture(KXTexture::KXTEXTURE_2D, 0);
    look->createPolygonAttributes()->setPolygonOffset(2.0f);
    addShape(root(), "shape", mesh.get(), look.get());
    canvas.createSceneDecorators();
    canvas.createNodeControllers();
    canvas.createControllerGuide();

    root()->setBackground(KXMake<KXGradientBackground>().get());
    render();
    check("gradient");
    root()->setBackground(KXMake<KXImageBackground>().get());
    render();
    check("image");
    root()->setBackground(KXMake<KXSkyBox>().get());
    render();
    check("sky box");
    root()->setBackground(KXMake<KXSkyDome>().get());
    render();
    check("sky dome");
}
