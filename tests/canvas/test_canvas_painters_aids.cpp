#include "CanvasTestSupport.h"

#include <cmath>

using ::testing::ElementsAre;

TEST_F(CanvasTest, EachPainterTypeHasItsPainterWithTheRenderer)
{
    for (int type = 0; type < 4; ++type) {
        KXCanvasPainter* painter = canvas.getPainter(static_cast<KXCanvasPainter::KXCANVASPAINTERTYPE>(type));
        ASSERT_NE(painter, nullptr);
        EXPECT_EQ(painter->getPainterType(), type);
        EXPECT_EQ(painter->getRenderer(), &renderer);
    }
    EXPECT_EQ(canvas.getPainter(static_cast<KXCanvasPainter::KXCANVASPAINTERTYPE>(4)), nullptr);

    // A painter of the soft-shadow type but of another class still paints;
    // it just gets nothing handed to it.
    struct Foreign : KXCanvasPainter {
        int paints = 0;
        KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARSOFTSHADOW; }
        void paint(const KXScene*) override { ++paints; }
    };
    auto foreign = std::make_unique<Foreign>();
    Foreign* raw = foreign.get();
    canvas.replacePainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW, std::move(foreign));
    EXPECT_EQ(raw->getRenderer(), &renderer);
    canvas.enableSoftShadows(1);
    render();
    EXPECT_EQ(raw->paints, 1);
}

TEST_F(CanvasTest, PaintersRunAfterTheSceneAndSoftShadowsWinOverHardOnes)
{
    canvas.recordPainters(log);
    auto mesh = makeBoxMesh("mesh", KXPosition(0.0f, 0.0f, 0.0f), 0.5f);
    addShape(root(), "shape", mesh.get());
    auto paintsWith = [this](int reflection, int shadows, int softShadows) {
        log.clear();
        canvas.enableReflection(reflection);
        canvas.enableShadows(shadows);
        canvas.enableSoftShadows(softShadows);
        render();
        return log.texts("painter");
    };
    EXPECT_THAT(paintsWith(1, 1, 0), ElementsAre("painter.paint(2)", "painter.paint(0)", "painter.paint(3)"));
    // Reflection and shadows after the scene, the overlay after the editor aids.
    EXPECT_TRUE(log.containsInOrder({"renderer.drawTriMesh(mesh)", "light.reset()", "painter.paint(2)",
                                     "painter.paint(0)", "zbuffer.enableZWrite(0)", "painter.paint(3)",
                                     "renderer.endScene()"}))
        << log.dump();
    EXPECT_THAT(paintsWith(0, 1, 1), ElementsAre("painter.paint(1)", "painter.paint(3)"));
    EXPECT_THAT(paintsWith(0, 0, 1), ElementsAre("painter.paint(1)", "painter.paint(3)"));
    EXPECT_THAT(paintsWith(0, 0, 0), ElementsAre("painter.paint(3)"));
}

TEST_F(CanvasTest, ShadowsNeedAStencilBuffer)
{
    canvas.recordPainters(log);
    KXRecordingDevice device(log);
    renderer.presetDevice(&device);
    auto shadowPaints = [this](uint32_t depthStencil, int settingsResult) {
        log.clear();
        KXAdapterFormat settings;
        settings.depthStencil = depthStencil;
        static_cast<KXRecordingDevice*>(renderer.getDevice())->setSettings(settings, settingsResult);
        render();
        return log.find("painter").size() - 1; // the overlay always paints
    };
    for (int soft = 0; soft < 2; ++soft) {
        canvas.enableShadows(1 - soft);
        canvas.enableSoftShadows(soft);
        // A 16-bit depth buffer has no stencil: neither painter runs.
        EXPECT_EQ(shadowPaints(KXAdapterFormat::KXDEPTHSTENCIL_D16, 0), 0u) << "soft " << soft;
        // With a stencil (alone or with both bits), or without settings to go by: it runs.
        EXPECT_EQ(shadowPaints(KXAdapterFormat::KXDEPTHSTENCIL_D24S8, 0), 1u);
        EXPECT_EQ(shadowPaints(3, 0), 1u);
        EXPECT_EQ(shadowPaints(KXAdapterFormat::KXDEPTHSTENCIL_D16, -1), 1u);
    }
}

TEST_F(CanvasTest, SoftShadowPainterIsGivenDeviceAndOffScreenFlag)
{
    canvas.enableSoftShadows(1);
    KXRecordingDevice device(log);
    renderer.presetDevice(&device);
    auto mesh = makeBoxMesh("mesh", KXPosition(4.0f, 2.0f, 1.0f), 1.0f);
    addShape(root(), "shape", mesh.get());
    auto* painter = dynamic_cast<KXPlanarSoftShadowPainter*>(canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
    ASSERT_NE(painter, nullptr);

    const int expectedOffScreen[4] = {0, 1, 0, 1};
    for (int type = 0; type < 4; ++type) {
        renderer.setRendererType(static_cast<KXRenderer::KXRENDERERTYPE>(type));
        render();
        EXPECT_EQ(painter->getOffScreen(), expectedOffScreen[type]) << "renderer type " << type;
    }
    EXPECT_EQ(painter->getDevice(), &device);
    // Registered every frame, heard once.
    EXPECT_EQ(device.getNumObservers(), 1);
    // The light camera is framed on the shapes that cast shadows: it looks
    // down (the default light) at their centre.
    const KXCamera* light = painter->getLightCamera();
    ASSERT_NE(light, nullptr);
    EXPECT_NEAR(light->getTargetPosition().getX(), 4.0f, 1e-5f);
    EXPECT_NEAR(light->getTargetPosition().getY(), 2.0f, 1e-5f);
    EXPECT_NEAR(light->getTargetPosition().getZ(), 1.0f, 1e-5f);
    EXPECT_GT(light->getEyePosition().getZ(), light->getTargetPosition().getZ());
}

TEST_F(CanvasTest, SoftShadowPainterLetsGoOfDevicesItNoLongerUses)
{
    canvas.enableSoftShadows(1);
    auto* painter = dynamic_cast<KXPlanarSoftShadowPainter*>(canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
    KXRecordingDevice first(log);
    renderer.presetDevice(&first);
    render();
    {
        // A device released (here: destroyed) while the painter knows it is forgotten.
        KXRecordingDevice second(log);
        renderer.presetDevice(&second);
        render();
        EXPECT_EQ(first.getNumObservers(), 0) << "switching devices unregisters from the old one";
        EXPECT_EQ(second.getNumObservers(), 1);
    }
    EXPECT_EQ(painter->getDevice(), nullptr);
    renderer.presetDevice(&first);
    render();
    EXPECT_EQ(first.getNumObservers(), 1);
    {
        KXCanvas other;
        other.setRenderer(&renderer);
        other.enableSoftShadows(1);
        other.render(&scene, nullptr);
        EXPECT_EQ(first.getNumObservers(), 2);
    }
    EXPECT_EQ(first.getNumObservers(), 1) << "a destroyed canvas's painter unregisters";
}

TEST(CanvasEditorAids, AreMadeOnceAndDestroyedOnRequest)
{
    // Each create succeeds once, then returns null; the getter has the first.
    auto once = [](auto create, auto get) {
        auto* made = create();
        EXPECT_NE(made, nullptr);
        EXPECT_EQ(create(), nullptr);
        EXPECT_EQ(get(), made);
    };
    KXCanvas canvas;
    once([&] { return canvas.createNodeDecorators(); }, [&] { return canvas.getNodeDecorators(); });
    once([&] { return canvas.createNodeControllers(); }, [&] { return canvas.getNodeControllers(); });
    once([&] { return canvas.createSceneDecorators(); }, [&] { return canvas.getSceneDecorators(); });
    once([&] { return canvas.createLightDecorator(); }, [&] { return canvas.getLightDecorator(); });
    once([&] { return canvas.createControllerGuide(); }, [&] { return canvas.getControllerGuide(); });
    once([&] { return canvas.createSceneAxes(); }, [&] { return canvas.getSceneAxes(); });
    // The sets make each of their shapes and widgets once as well.
    KXControllerGuide* guide = canvas.getControllerGuide();
    once([&] { return guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_SHEET); },
         [&] { return guide->getGuide(KXControllerGuide::KXCONTROLLERGUIDE_SHEET); });
    const auto widgetType = static_cast<KXSceneAxes::KXSCENEAXESTYPE>(1);
    KXSceneAxes* axes = canvas.getSceneAxes();
    once([&] { return axes->createWidget(widgetType); }, [&] { return axes->getWidget(widgetType); });
    once([&] { return axes->getWidget(widgetType)->createVisual(); }, [&] { return axes->getWidget(widgetType)->getVisual(); });
    EXPECT_EQ(guide->getGuide(KXControllerGuide::KXCONTROLLERGUIDE_LINE), nullptr);

    for (int twice = 0; twice < 2; ++twice) {
        canvas.destroySceneAxes();
        canvas.destroyNodeControllers();
        EXPECT_EQ(canvas.getSceneAxes(), nullptr);
        EXPECT_EQ(canvas.getNodeControllers(), nullptr);
    }
    EXPECT_NE(canvas.createSceneAxes(), nullptr);
}

// The showcase scene of the scene-graph library (gradient background,
// lights, opaque, transparent and textured shapes) renders as a whole frame
// through the interface: the steps in their order, every shape drawn, the
// transparent one twice, nothing left on the transform stack.
TEST(CanvasShowcase, RendersAWholeFrame)
{
    KXRecordingLog log;
    KXRecordingRenderer renderer(log);
    renderer.presetViewport(KXViewport(0, 0, 1024, 768));
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene, 1024, 768), 0);
    KXTestCanvas canvas;
    canvas.setRenderer(&renderer);
    canvas.recordPainters(log);
    KXRecordingObserver observer(log);
    canvas.registerObserver(&observer);
    canvas.enableShadows(1);

    canvas.render(&scene, nullptr);

    EXPECT_TRUE(log.containsInOrder({"renderer.beginScene()", "event.canvas(0)", "material.enableSpecular(1)",
                                     "zbuffer.clear()", "renderer.clear((0,0,0,1))", "light.enableLighting(0)",
                                     "renderer.drawTriMesh(obj)", "light.enableLighting(1)", "light.enableNormalization(1)",
                                     "light.setAmbientLight(obj)", "blend.enableBlending(1)", "poly.setCullMode(1)",
                                     "poly.setCullMode(0)", "blend.reset()", "light.reset()", "painter.paint(0)",
                                     "painter.paint(3)", "event.canvas(1)", "renderer.endScene()"}))
        << log.dump();
    // Three lights at indices 0 to 2, every shape of the tree drawn: the
    // opaque ones once and the transparent one twice.
    EXPECT_EQ(log.find("light", "setLight").size(), 3u);
    int shapes = 0, transparent = 0;
    for (int i = 0; i < scene.getRoot()->getNumChildNodes(); ++i) {
        const auto* shape = dynamic_cast<const KXShape*>(scene.getRoot()->getChild(i));
        if (!shape)
            continue;
        ++shapes;
        transparent += KXCanvas::isTransparent(shape->getAppearance());
    }
    EXPECT_EQ(transparent, 1);
    // The background quad is drawn once as well, and the shadow painter
    // flattens every shape but the ground (which lies under its plane).
    EXPECT_EQ(static_cast<int>(log.find("renderer", "drawTriMesh").size()), 1 + shapes + transparent + shapes - 1);
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);
    canvas.unregisterObserver(&observer);
}
