#include "CanvasTestSupport.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float REFERENCE_FOV = 0.7853975f;
// The view distance of an orthographic view of height `scale`: the distance
// at which an eighth-turn perspective view is as high.
float orthoDistance(float scale) { return scale / (2.0f * std::tan(REFERENCE_FOV / 2.0f)); }

// Each widget shape draws a mesh named after its widget ("w7", "w7.handle",
// "w7.letter"); its selected appearance has a material of its own, so the
// material in force at a draw tells whether the widget was highlighted.
struct WidgetShapes {
    std::vector<KXRef<KXTriMesh>> meshes;
    KXRef<KXAppearance> normal = makeAppearance("normal");
    KXRef<KXAppearance> selected = makeAppearance("selected");
    KXRef<KXAppearance> translucent = makeAppearance("translucent", 0.5f);

    void fill(KXShape* shape, const std::string& name, bool transparent = false)
    {
        meshes.push_back(makeBoxMesh(name.c_str(), KXPosition(), 1.0f));
        shape->setGeometry(meshes.back().get());
        shape->setAppearance(transparent ? translucent.get() : normal.get());
        shape->setSelectedAppearance(selected.get());
    }
    const void* selectedMaterial() const { return selected->getMaterial(); }
};

// Names of the meshes drawn, in order.
std::vector<std::string> drawnMeshes(const KXRecordingLog& log)
{
    std::vector<std::string> names;
    for (const KXRecordedCall* call : log.draws())
        names.push_back(call->arguments.back());
    return names;
}

std::vector<std::string> names(std::initializer_list<int> widgets)
{
    std::vector<std::string> result;
    for (int widget : widgets)
        result.push_back("w" + std::to_string(widget));
    return result;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> MOVE = names({1, 2, 3, 10, 11, 12});
const std::vector<std::string> TURN = names({7, 8, 9});
const std::vector<std::string> SCALE = names({4, 5, 6, 13});
const std::vector<std::string> ANIMATED_MOVE = names({14, 15, 16, 20, 21, 22});
const std::vector<std::string> ANIMATED_TURN = names({17, 18, 19});
const std::vector<std::string> ANIMATED_SCALE = names({23});

// A frame of a scene with one box node, drawn on a 640 x 480 viewport, with
// node controllers whose 23 widgets each have a visual.
class NodeControllers : public CanvasTest
{
protected:
    NodeControllers()
    {
        renderer.presetViewport(KXViewport(0, 0, 640, 480));
        mesh = makeBoxMesh("scene-box", KXPosition(), 1.0f);
        node = addShape(root(), "node", mesh.get());
        controllers = canvas.createNodeControllers();
        for (int type = 1; type <= 23; ++type) {
            KXWidget* widget = controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(type));
            shapes.fill(widget->createVisual(), "w" + std::to_string(type));
        }
    }

    void setState(int state) { controllers->setState(static_cast<KXNodeControllers::KXNODECONTROLLERSTATE>(state)); }

    // The widget meshes drawn by one frame.
    std::vector<std::string> frame(const KXStoryBoard* storyBoard = nullptr)
    {
        log.clear();
        canvas.render(&scene, storyBoard);
        std::vector<std::string> drawn;
        for (const std::string& name : drawnMeshes(log)) {
            if (name != "scene-box")
                drawn.push_back(name);
        }
        return drawn;
    }

    // The uniform scale and the translation of the world matrix at the first
    // draw of a mesh.
    const KXRecordedCall* firstDraw(const std::string& name) const
    {
        for (const KXRecordedCall* call : log.draws()) {
            if (call->arguments.back() == name)
                return call;
        }
        return nullptr;
    }
    static float scaleOf(const KXRecordedCall* call)
    {
        return call->world.transform(KXVector(1.0f, 0.0f, 0.0f)).length();
    }

    KXRef<KXTriMesh> mesh;
    KXShape* node = nullptr;
    KXNodeControllers* controllers = nullptr;
    WidgetShapes shapes;
};

TEST_F(NodeControllers, StatesChooseTheWidgetGroupsOfANode)
{
    scene.getSelection()->selectNode(node);
    const std::vector<std::vector<std::string>> expected = {
        {}, MOVE, SCALE, TURN, concat(concat(MOVE, TURN), SCALE), {}, {}, {}, {}};
    for (int state = 0; state <= 8; ++state) {
        setState(state);
        EXPECT_EQ(frame(), expected[state]) << "state " << state;
    }
    // Missing widgets and shapes are skipped.
    setState(1);
    controllers->getWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2))->getVisual()->setGeometry(nullptr);
    EXPECT_EQ(frame(), names({1, 3, 10, 11, 12}));
    // Nothing without a selection.
    scene.getSelection()->clear();
    EXPECT_TRUE(frame().empty());
}

TEST_F(NodeControllers, AnimatedNodesGetTheAnimationWidgetsWhereTheStoryBoardHasThem)
{
    KXGroup* parent = addGroup(root(), "parent");
    parent->getTransform()->setTranslation(KXVector(0.0f, 0.0f, 1.0f));
    KXShape* animated = addShape(parent, "animated", mesh.get());
    animated->getTransform()->setTranslation(KXVector(5.0f, 5.0f, 5.0f));
    scene.getSelection()->selectNode(animated);
    KXStoryBoard storyBoard;
    KXAnimationBag::KeyFrame key;
    key.translation = KXVector(2.0f, 0.0f, 0.0f);
    storyBoard.createAnimationBag(animated)->addKeyFrame(key);
    storyBoard.setTime(0.0f);

    const std::vector<std::vector<std::string>> expected = {
        {}, MOVE, SCALE, TURN, concat(concat(MOVE, TURN), SCALE), ANIMATED_MOVE, ANIMATED_TURN, ANIMATED_SCALE,
        concat(concat(ANIMATED_MOVE, ANIMATED_TURN), ANIMATED_SCALE)};
    for (int state = 0; state <= 8; ++state) {
        setState(state);
        EXPECT_EQ(frame(&storyBoard), expected[state]) << "state " << state;
    }
    // Placed by the pivot within the parent, not by the node's transform.
    const KXPosition origin = firstDraw("w23")->world.transform(KXPosition());
    EXPECT_NEAR(origin.distance(KXPosition(2.0f, 0.0f, 1.0f)), 0.0f, 1e-5f);
    // Without the story board the node is not animated.
    EXPECT_TRUE(frame().empty());
}

TEST_F(NodeControllers, LightsGetTheWidgetsOfTheirKindOnlyWithAFixedLightModel)
{
    auto model = KXMake<KXLightModel>();
    root()->setLightModel(model.get());
    auto point = KXMake<KXPointLight>();
    auto spot = KXMake<KXSpotLight>();
    auto directional = KXMake<KXDirectionalLight>();
    auto ambient = KXMake<KXAmbientLight>();
    setState(4);
    struct Case {
        KXLight* light;
        std::vector<std::string> fixed;
    };
    const Case cases[] = {{point.get(), MOVE}, {spot.get(), concat(MOVE, TURN)}, {directional.get(), TURN},
                          {ambient.get(), {}}};
    for (const Case& c : cases) {
        scene.getSelection()->clear();
        scene.getSelection()->selectLight(c.light);
        model->setFixed(true);
        EXPECT_EQ(frame(), c.fixed) << "light type " << c.light->getLightType();
        model->setFixed(false);
        EXPECT_TRUE(frame().empty()) << "light type " << c.light->getLightType();
    }
    // The animation states draw nothing for a light.
    model->setFixed(true);
    setState(8);
    EXPECT_TRUE(frame().empty());
    // A disabled light has none.
    setState(4);
    spot->setEnabled(false);
    EXPECT_TRUE(frame().empty());
}

TEST_F(NodeControllers, SelectedNodesAndLightsAllGetTheirWidgets)
{
    auto model = KXMake<KXLightModel>();
    root()->setLightModel(model.get());
    auto light = KXMake<KXPointLight>();
    light->setPosition(KXPosition(4.0f, 0.0f, 0.0f));
    auto second = KXMake<KXPointLight>();
    second->setPosition(KXPosition(-4.0f, 0.0f, 0.0f));
    scene.getSelection()->selectNode(node);
    scene.getSelection()->selectLight(light.get());
    scene.getSelection()->selectLight(second.get());
    setState(1);

    // Node first, then the lights, each between its own two transforms.
    EXPECT_EQ(frame(), concat(concat(MOVE, MOVE), MOVE));
    std::vector<KXPosition> origins;
    for (const KXRecordedCall* call : log.draws()) {
        if (call->arguments.back() == "w1")
            origins.push_back(call->world.transform(KXPosition()));
    }
    ASSERT_EQ(origins.size(), 3u);
    EXPECT_NEAR(origins[0].distance(KXPosition(0.0f, 0.0f, 0.0f)), 0.0f, 1e-5f);
    EXPECT_NEAR(origins[1].distance(KXPosition(4.0f, 0.0f, 0.0f)), 0.0f, 1e-5f);
    EXPECT_NEAR(origins[2].distance(KXPosition(-4.0f, 0.0f, 0.0f)), 0.0f, 1e-5f);
    EXPECT_EQ(renderer.getStackDepth(), 0u);
    EXPECT_EQ(renderer.getMisuseCount(), 0);
}

TEST_F(NodeControllers, HighlightFollowsTheSelectedControllerAndHandlesAreNormalised)
{
    scene.getSelection()->selectNode(node);
    setState(1);
    KXWidget* widget2 = controllers->getWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2));
    shapes.fill(widget2->createHandle(), "w2.handle");
    shapes.fill(widget2->createLetter(), "w2.letter");
    controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2));

    EXPECT_EQ(frame(), (std::vector<std::string>{"w1", "w2.handle", "w2", "w2.letter", "w3", "w10", "w11", "w12"}));
    for (const KXRecordedCall* call : log.draws()) {
        const std::string& name = call->arguments.back();
        if (name == "scene-box")
            continue;
        const bool highlighted = name.rfind("w2", 0) == 0;
        EXPECT_EQ(call->states.material == shapes.selectedMaterial(), highlighted) << name;
        EXPECT_EQ(call->states.normalization, name == "w2.handle" ? 1 : 0) << name;
    }
    controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(11));
    frame();
    for (const KXRecordedCall* call : log.draws()) {
        if (call->arguments.back() == "scene-box")
            continue;
        EXPECT_EQ(call->states.material == shapes.selectedMaterial(), call->arguments.back() == "w11");
    }
}

TEST_F(NodeControllers, AreTheSameSizeOnScreenWhateverTheNodeScaleAndTheZoom)
{
    KXGroup* turned = addGroup(root(), "turned");
    turned->getTransform()->setRotation(KXVector(0.0f, 0.0f, 1.0f), 0.5f);
    turned->getTransform()->setTranslation(KXVector(1.0f, 2.0f, 0.0f));
    KXShape* scaled = addShape(turned, "scaled", mesh.get());
    scaled->getTransform()->setScale(KXVector(3.0f, 3.0f, 3.0f));
    setState(1);
    camera->setFOV(0.5f);

    scene.getSelection()->selectNode(scaled);
    frame();
    const KXRecordedCall* draw = firstDraw("w1");
    ASSERT_NE(draw, nullptr);
    // Turned and moved like the node, scaled only to keep the size on screen:
    // 50 / 480 of the view distance, which is the eye distance scaled by the
    // field of view.
    const KXPosition where(1.0f, 2.0f, 0.0f);
    const float distance = KXPosition(0.0f, -10.0f, 2.0f).distance(where) * 0.5f / REFERENCE_FOV;
    EXPECT_NEAR(scaleOf(draw), distance * 50.0f / 480.0f, 1e-4f);
    EXPECT_NEAR(draw->world.transform(KXPosition()).distance(where), 0.0f, 1e-5f);
    const KXVector x = draw->world.transform(KXVector(1.0f, 0.0f, 0.0f));
    EXPECT_NEAR(std::atan2(x.getY(), x.getX()), 0.5f, 1e-5f);

    // The unscaled node in the same place gets the same matrix.
    scaled->getTransform()->setScale(KXVector(1.0f, 1.0f, 1.0f));
    const KXMatrix before = draw->world;
    frame();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(firstDraw("w1")->world[i], before[i], 1e-4f) << i;

    // An orthographic camera: the size follows the view height, wherever the
    // eye is.
    auto ortho = KXMake<KXOrthoCamera>();
    ortho->setViewportScale(6.0f);
    for (float eye : {-10.0f, -40.0f}) {
        ortho->setPosition(KXPosition(0.0f, eye, 0.0f), KXPosition(), KXVector(0.0f, 0.0f, 1.0f));
        root()->setCamera(ortho.get());
        frame();
        EXPECT_NEAR(scaleOf(firstDraw("w1")), orthoDistance(6.0f) * 50.0f / 480.0f, 1e-4f);
    }
}

TEST_F(NodeControllers, LightControllersAreAnchoredAndSizedForBothCameraKinds)
{
    auto model = KXMake<KXLightModel>();
    root()->setLightModel(model.get());
    auto directional = KXMake<KXDirectionalLight>();
    directional->setDirection(KXVector(0.0f, 0.0f, -1.0f));
    scene.getSelection()->selectLight(directional.get());
    setState(3);

    // The scene is the unit box: centre the origin, radius sqrt(3).
    frame();
    const KXRecordedCall* draw = firstDraw("w7");
    ASSERT_NE(draw, nullptr);
    const KXPosition anchor(0.0f, 0.0f, 3.0f * std::sqrt(3.0f));
    EXPECT_NEAR(draw->world.transform(KXPosition()).distance(anchor), 0.0f, 1e-4f);
    const float distance = KXPosition(0.0f, -10.0f, 2.0f).distance(anchor);
    EXPECT_NEAR(scaleOf(draw), distance / 100.0f * 4500.0f / 480.0f, 1e-3f);

    // Orthographic: 4500 / 100 / 480 of the view distance of the view height,
    // not thousands of view heights.
    auto ortho = KXMake<KXOrthoCamera>();
    ortho->setViewportScale(6.0f);
    root()->setCamera(ortho.get());
    frame();
    EXPECT_NEAR(scaleOf(firstDraw("w7")), orthoDistance(6.0f) * 45.0f / 480.0f, 1e-4f);
}

TEST_F(NodeControllers, LeaveEveryStateFamilyAsTheyFoundIt)
{
    auto model = KXMake<KXLightModel>();
    model->setFixed(true);
    auto light = KXMake<KXPointLight>();
    model->addLight(light.get());
    controllers->setLightModel(model.get());
    KXWidget* widget = controllers->getWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(1));
    shapes.fill(widget->createHandle(), "w1.handle", true);
    scene.getSelection()->selectNode(node);
    setState(4);
    frame();

    // The controllers' own light model lights them, and the light state is
    // reset after them, in each pass.
    const int lastDraw = log.indexOf("renderer.drawTriMesh(w1.handle)");
    ASSERT_GE(lastDraw, 0);
    EXPECT_GE(log.indexOf("light.reset()", static_cast<size_t>(lastDraw)), 0);
    EXPECT_EQ(log.find("light", "setLight").size(), 2u) << log.dump();
    const KXTrackedStates defaults;
    EXPECT_EQ(log.states.normalization, defaults.normalization);
    EXPECT_EQ(log.states.lighting, defaults.lighting);
    EXPECT_EQ(log.states.zWrite, defaults.zWrite);
    EXPECT_EQ(log.states.blending, defaults.blending);
    EXPECT_EQ(log.states.cullMode, defaults.cullMode);
    EXPECT_EQ(renderer.getStackDepth(), 0u);
}

// The scene axes of a canvas on a 640 x 480 viewport, with six widgets.
class SceneAxes : public CanvasTest
{
protected:
    SceneAxes()
    {
        renderer.presetViewport(KXViewport(0, 0, 640, 480));
        axes = canvas.createSceneAxes();
        for (int type = 1; type <= 6; ++type) {
            KXWidget* widget = axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(type));
            shapes.fill(widget->createVisual(), "a" + std::to_string(type));
            // Widgets 4 to 6 have a translucent letter.
            if (type >= 4)
                shapes.fill(widget->createLetter(), "a" + std::to_string(type) + ".letter", true);
        }
    }

    KXSceneAxes* axes = nullptr;
    WidgetShapes shapes;
};

TEST_F(SceneAxes, DrawInTheBottomLeftCornerAndPutTheViewBack)
{
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
    axes->setSceneAxesType(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(5));
    render();

    EXPECT_TRUE(log.containsInOrder({"renderer.setViewport(5,380,120,100)", "renderer.setCamera(obj)",
                                     "renderer.drawTriMesh(a1)", "renderer.drawTriMesh(a2)",
                                     "renderer.drawTriMesh(a3)", "renderer.drawTriMesh(a4)",
                                     "renderer.drawTriMesh(a5)", "renderer.drawTriMesh(a6)",
                                     "renderer.drawTriMesh(a4.letter)", "renderer.drawTriMesh(a5.letter)",
                                     "renderer.drawTriMesh(a6.letter)", "renderer.setViewport(0,0,640,480)",
                                     "renderer.setCamera(camera)"}))
        << log.dump();
    for (const KXRecordedCall* call : log.draws()) {
        const std::string& name = call->arguments.back();
        const bool letter = name.find(".letter") != std::string::npos;
        // Opaque shapes over the scene, translucent ones blended.
        EXPECT_EQ(call->states.zEnable, 0) << name;
        EXPECT_EQ(call->states.blending, letter ? 1 : 0) << name;
        EXPECT_EQ(call->states.cullMode, letter ? 1 : 0) << name;
        EXPECT_EQ(call->states.material == shapes.selectedMaterial(), name.rfind("a5", 0) == 0) << name;
    }
    // Nothing is left on for the next frame: blending included.
    const KXTrackedStates defaults;
    EXPECT_EQ(log.states.blending, defaults.blending);
    EXPECT_EQ(log.states.zEnable, defaults.zEnable);
    EXPECT_EQ(log.states.zWrite, defaults.zWrite);
    EXPECT_EQ(log.states.cullMode, defaults.cullMode);
    EXPECT_EQ(log.states.normalization, defaults.normalization);
    EXPECT_EQ(renderer.getViewport(), KXViewport(0, 0, 640, 480));

    // Hidden axes draw no widgets.
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_HIDDEN);
    log.clear();
    render();
    EXPECT_EQ(log.count("renderer.drawTriMesh(a1)"), 0);
}

TEST_F(SceneAxes, TheCameraLooksAlongTheSceneViewWithTheCornersAspect)
{
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
    render();
    const KXPerspectiveCamera* axesCamera = axes->getCamera();
    // From 5 units along the scene's view direction, at the origin.
    const KXVector toEye = KXPosition(0.0f, -10.0f, 2.0f) - KXPosition();
    const float length = toEye.length();
    const KXPosition eye(toEye.getX() * 5.0f / length, toEye.getY() * 5.0f / length, toEye.getZ() * 5.0f / length);
    EXPECT_NEAR(axesCamera->getEyePosition().distance(eye), 0.0f, 1e-5f);
    EXPECT_NEAR(axesCamera->getTargetPosition().distance(KXPosition()), 0.0f, 1e-6f);
    EXPECT_NEAR(axesCamera->getUpVector().getZ(), 1.0f, 1e-6f);
    EXPECT_NEAR(axesCamera->getAspectRatio(), 1.2f, 1e-6f);
}

TEST_F(SceneAxes, TheCornerFitsSmallTargets)
{
    struct Case {
        KXViewport view;
        KXViewport corner;
    };
    const Case cases[] = {
        {KXViewport(0, 0, 640, 480), KXViewport(5, 380, 120, 100)},
        {KXViewport(10, 20, 300, 200), KXViewport(15, 120, 120, 100)},
        {KXViewport(0, 0, 100, 80), KXViewport(5, 0, 95, 80)},
        {KXViewport(7, 9, 3, 2), KXViewport(10, 9, 0, 2)},
        {KXViewport(0, 0, 0, 0), KXViewport(0, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        const KXViewport corner = KXSceneAxes::getAxesViewport(c.view);
        EXPECT_EQ(corner, c.corner) << c.view.getWidth() << " x " << c.view.getHeight();
    }

    // Drawn inside a 100 x 80 target, with the corner's aspect; an empty
    // corner draws nothing and leaves the viewport alone.
    axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
    renderer.presetViewport(KXViewport(0, 0, 100, 80));
    render();
    EXPECT_EQ(log.count("renderer.setViewport(5,0,95,80)"), 1);
    EXPECT_NEAR(axes->getCamera()->getAspectRatio(), 95.0f / 80.0f, 1e-6f);
    renderer.presetViewport(KXViewport(0, 0, 4, 80));
    log.clear();
    render();
    EXPECT_EQ(log.count("renderer.drawTriMesh(a1)"), 0);
    EXPECT_TRUE(log.find("renderer", "setViewport").empty());
}

} // namespace
