// Frames, renderers and render states while memory runs out, each
// allocation failed in turn: nothing is thrown, what could not be done is
// left undone, and the next frame with memory enough is whole (the picture
// of a frame that never ran short).

#include "KXAllocationFailures.h"

#include "FakeEffect.h"
#include "KXDXTestScenes.h"

#include "canvas/KXPlanarSoftShadowPainter.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXTextureState.h"
#include "resources/KXDXShaderProgramImpl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXShowcaseScene.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace kxdxtest;
using kxalloc::CountingAllocations;
using kxalloc::FailingAllocations;

namespace {

constexpr unsigned W = 64;
constexpr unsigned H = 48;

// Every kind of thing a frame draws: a gradient background, lit meshes in
// groups placed by transforms, textures, polylines, transparent shapes.
void buildShowcase(KXScene& scene)
{
    KXShowcaseScene::build(scene, W, H);
}

// A lit square in a group moved by a transform, a textured square, a
// polyline, transparent squares and an opaque two-sided one on a single
// colour: what a frame left in the wrong state would draw differently.
void buildSmallScene(KXScene& scene)
{
    setSingleColorBackground(scene, rgb(30, 60, 90));
    setTopDownOrthoCamera(scene, 4.0f, W, H);
    addDirectionalLight(scene, KXVector(0.2f, 0.1f, -1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto group = KXMake<KXGroup>();
    group->getTransform()->setTranslation(KXVector(-1.0f, 0.5f, 0.0f));
    scene.getRoot()->addChild(group.get());
    auto lit = makeSquare(0.5f);
    auto appearance = KXMake<KXAppearance>();
    appearance->createMaterial()->setDiffuseColor(KXColor(0.8f, 0.2f, 0.1f, 1.0f));
    auto shape = KXMake<KXShape>();
    shape->setGeometry(lit.get());
    shape->setAppearance(appearance.get());
    group->addChild(shape.get());

    auto png = pngImage(4, 4, [](unsigned x, unsigned y) { return 0xFF000000u | x * 60 << 16 | y * 60 << 8 | 200; });
    KXShape* textured = addTexturedSquare(scene, png.get());
    textured->getTransform()->setScale(KXVector(0.5f, 0.5f, 1.0f));

    auto lines = KXMake<KXPolyline>();
    const KXPosition points[] = {{-1.8f, -0.5f, 0.1f}, {1.8f, -0.5f, 0.1f}, {1.5f, -1.0f, 0.1f}};
    lines->set(KXPolyline::KXPOLYLINETYPE_OPEN, points, 3);
    addShape(scene, lines.get(), KXColor(1.0f, 1.0f, 1.0f, 1.0f))
        ->getAppearance()
        ->getMaterial()
        ->setEmissiveColor(KXColor(1.0f, 1.0f, 0.0f, 1.0f));

    auto glass = makeSquare(0.6f, 0.5f, 1.0f, 0.5f);
    glass->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(scene, glass.get(), KXColor(0.2f, 0.9f, 0.3f, 0.5f));

    // An opaque two-sided wall over a transparent square it partly hides:
    // the wall is left out if the far-side pass seems to go on, and the
    // square shows through it if depth writes stay off.
    auto wall = makeSquare(0.5f, 1.0f, 1.6f, -1.2f);
    wall->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(scene, wall.get(), KXColor(0.9f, 0.9f, 0.9f, 1.0f));
    auto under = makeSquare(0.5f, 0.2f, 1.8f, -1.4f);
    addShape(scene, under.get(), KXColor(0.9f, 0.1f, 0.9f, 0.5f));
}

// A canvas of the application's own make whose steps allocate as they
// draw, so that memory also runs out in a step the canvas does not guard,
// halfway through a pass: after a group is drawn, before a shape is.
// A canvas that also draws hard shadows and the floor's reflection.
class PaintingCanvas : public KXCanvas
{
public:
    PaintingCanvas()
    {
        enableShadows(1);
        enableReflection(1);
    }
};

// Soft shadows whose texture is rendered again every frame, so that every
// frame runs the whole soft-shadow path.
class SoftShadowingCanvas : public KXCanvas
{
public:
    SoftShadowingCanvas()
    {
        enableSoftShadows(1);
        if (auto* painter = dynamic_cast<KXPlanarSoftShadowPainter*>(
                getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW)))
            painter->setUpdateTexture(1);
    }
};

class AllocatingCanvas : public KXCanvas
{
public:
    void drawGroup(KXGroup* group, KXSelection* selection, unsigned pass) override
    {
        KXCanvas::drawGroup(group, selection, pass);
        m_notes.push_back(std::make_unique<unsigned>(pass));
    }
    void drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass) override
    {
        m_notes.push_back(std::make_unique<unsigned>(pass));
        KXCanvas::drawShape(shape, useSelectedAppearance, pass);
    }

private:
    std::vector<std::unique_ptr<unsigned>> m_notes;
};

// A window with a device, a window renderer and a canvas of either kind;
// the device and the renderer come from the factory.
struct Harness {
    explicit Harness(std::unique_ptr<KXCanvas> made) : canvas(std::move(made))
    {
        device = makeDevice(window.get());
        renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
        if (!device || !renderer)
            return;
        renderer->initialize(device.get());
        renderer->setSize(W, H);
        canvas->setRenderer(renderer.get());
    }
    ~Harness() { canvas->setRenderer(nullptr); }
    bool ready() const { return device && renderer; }
    // A frame; whether anything was thrown.
    bool render(const KXScene& scene)
    {
        try {
            canvas->render(&scene, nullptr);
        } catch (...) {
            return false;
        }
        return true;
    }

    TestWindow window{W, H};
    Made<KXDXDevice> device;
    Made<KXRenderer> renderer;
    std::unique_ptr<KXCanvas> canvas;
};

// On one canvas, for every allocation k of a scene's first frame (when
// every device-side form is made): a frame of a fresh copy of the scene
// with the allocations from k on failing (or the k-th alone), then one with
// memory enough, which must show the reference picture. The canvas,
// renderer and device are the same throughout, and stay usable.
template <class Canvas>
void expectFramesWholeAfterFailures(const std::function<void(KXScene&)>& build, long stride)
{
    LiveObjectCheck live;
    {
        Harness harness(std::make_unique<Canvas>());
        ASSERT_TRUE(harness.ready());
        PresentedImage reference;
        long allocations = 0;
        {
            KXScene scene;
            build(scene);
            CountingAllocations counting;
            ASSERT_TRUE(harness.render(scene));
            allocations = counting.seen();
            counting.disarm();
            reference = presentedImage(harness.window.get());
        }
        ASSERT_FALSE(reference.empty());
        ASSERT_GT(allocations, 0);

        for (long failures : {-1L, 1L}) {
            for (long k = 0; k < allocations; k += stride) {
                SCOPED_TRACE(testing::Message() << "allocation " << k << " of " << allocations
                                                << (failures == 1 ? " alone" : " on"));
                KXScene scene;
                build(scene);
                bool drawn = false;
                {
                    FailingAllocations failing(k, failures);
                    drawn = harness.render(scene);
                }
                EXPECT_TRUE(drawn) << "an exception left the frame";
                ASSERT_TRUE(harness.render(scene));
                EXPECT_EQ(presentedImage(harness.window.get()).pixels, reference.pixels)
                    << "the frame after the failure is not whole";
                if (::testing::Test::HasFailure())
                    return;
            }
        }
        EXPECT_EQ(harness.device->getStatus(), KXDevice::KXDEVICESTATUS_USABLE);
    }
    live.expectBalanced();
}

TEST(FramesOutOfMemory, SmallSceneIsWholeAfterEveryFailedAllocation)
{
    expectFramesWholeAfterFailures<KXCanvas>(buildSmallScene, 1);
}

TEST(FramesOutOfMemory, ShowcaseIsWholeAfterFailedAllocations)
{
    expectFramesWholeAfterFailures<KXCanvas>(buildShowcase, 7);
}

TEST(FramesOutOfMemory, FramesOfAnAllocatingCanvasAreWholeAfterEveryFailedAllocation)
{
    expectFramesWholeAfterFailures<AllocatingCanvas>(buildSmallScene, 1);
}

TEST(FramesOutOfMemory, ShadowsAndReflectionAreWholeAfterFailedAllocations)
{
    expectFramesWholeAfterFailures<PaintingCanvas>(buildShowcase, 13);
}

TEST(FramesOutOfMemory, SoftShadowsAreWholeAfterFailedAllocations)
{
    expectFramesWholeAfterFailures<SoftShadowingCanvas>(buildShowcase, 13);
}

// A canvas made without memory for its painters is made all the same: it
// makes them at its next frame, hands them its renderer, and that frame is
// whole.
TEST(CanvasOutOfMemory, PaintersThatFoundNoMemoryAreMadeAtTheNextFrame)
{
    LiveObjectCheck live;
    {
        Harness harness(std::make_unique<KXCanvas>());
        ASSERT_TRUE(harness.ready());
        KXScene scene;
        buildSmallScene(scene);
        harness.canvas->enableSoftShadows(1);
        ASSERT_TRUE(harness.render(scene));
        const PresentedImage reference = presentedImage(harness.window.get());
        long allocations = 0;
        {
            std::optional<KXCanvas> canvas;
            CountingAllocations counting;
            canvas.emplace();
            allocations = counting.seen();
        }
        ASSERT_GT(allocations, 0);
        for (long k = 0; k < allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k);
            std::optional<KXCanvas> canvas;
            bool threw = false;
            long refused = 0;
            {
                FailingAllocations failing(k);
                try {
                    canvas.emplace();
                } catch (...) {
                    threw = true;
                }
                failing.disarm();
                refused = failing.refused();
            }
            ASSERT_FALSE(threw);
            int missing = 0;
            for (int type = 0; type < 4; ++type)
                missing += canvas->getPainter(static_cast<KXCanvasPainter::KXCANVASPAINTERTYPE>(type)) == nullptr;
            EXPECT_EQ(missing > 0, refused > 0);
            canvas->setRenderer(harness.renderer.get());
            canvas->enableSoftShadows(1);
            canvas->render(&scene, nullptr);
            EXPECT_EQ(presentedImage(harness.window.get()).pixels, reference.pixels);
            for (int type = 0; type < 4; ++type) {
                KXCanvasPainter* painter = canvas->getPainter(static_cast<KXCanvasPainter::KXCANVASPAINTERTYPE>(type));
                ASSERT_NE(painter, nullptr);
                EXPECT_EQ(painter->getRenderer(), harness.renderer.get());
            }
            auto* softShadows = dynamic_cast<KXPlanarSoftShadowPainter*>(
                canvas->getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
            ASSERT_NE(softShadows, nullptr);
            EXPECT_EQ(softShadows->getDevice(), harness.device.get());
            canvas->setRenderer(nullptr);
        }
    }
    live.expectBalanced();
}

// Initialising without memory for the render states fails with -1 and
// leaves the renderer uninitialised: no render states, no device, and a
// later initialize that has memory succeeds and draws.
TEST(RendererOutOfMemory, InitializeFailsCleanlyAndCanBeRepeated)
{
    LiveObjectCheck live;
    {
        TestWindow window(W, H);
        auto device = makeDevice(window.get());
        ASSERT_TRUE(device);
        long allocations = 0;
        {
            Made<KXRenderer> renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
            ASSERT_TRUE(renderer);
            CountingAllocations counting;
            ASSERT_EQ(renderer->initialize(device.get()), KXRESULT_OK);
            allocations = counting.seen();
        }
        ASSERT_GT(allocations, 0);
        for (long k = 0; k < allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k);
            Made<KXRenderer> renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
            ASSERT_TRUE(renderer);
            int result = KXRESULT_OK;
            {
                FailingAllocations failing(k);
                result = renderer->initialize(device.get());
            }
            if (result != KXRESULT_OK) {
                EXPECT_EQ(result, KXRESULT_FAILED);
                EXPECT_EQ(renderer->getRenderStateMgr(), nullptr);
                EXPECT_EQ(renderer->getDevice(), nullptr);
                EXPECT_EQ(renderer->initialize(device.get()), KXRESULT_OK);
            }
            EXPECT_NE(renderer->getRenderStateMgr(), nullptr);
        }
        EXPECT_EQ(device->getNumObservers(), 0) << "a renderer that failed is still heard by the device";
    }
    live.expectBalanced();
}

// A transform the stack has no memory for is not pushed: what is drawn
// inside it is left out rather than drawn out of place, its pop is skipped,
// and the stack comes back to the camera's world matrix; pushes a frame
// left open are dropped when the next begins.
TEST(RendererOutOfMemory, PushesTheStackCannotTakeAreLeftOutWithWhatTheyPlace)
{
    CanvasHarness harness(W, H);
    ASSERT_TRUE(harness.ready());
    KXScene scene;
    setTopDownOrthoCamera(scene, 4.0f, W, H);
    auto square = makeSquare(1.0f);
    KXDXRenderer& renderer = *harness.renderer;
    KXRenderStateMgr* states = renderer.getRenderStateMgr();
    // Unlit white, both sides.
    states->getLightState()->enableLighting(0);
    states->getPolyState()->setCullMode(KXPolyState::KXCULLMODE_NONE);
    KXMatrix base, top;

    // Nested pushes until the stack must grow, and cannot.
    const int depth = 200;
    long refused = 0;
    const auto frame = [&](bool failing) {
        renderer.beginScene();
        renderer.clear(KXColor(0.0f, 0.0f, 0.0f, 1.0f));
        states->getZBufferState()->clear();
        renderer.setCamera(scene.getRoot()->getCamera());
        renderer.getTransform(base);
        {
            FailingAllocations failures(0, failing ? -1 : 0);
            for (int i = 0; i < depth; ++i)
                renderer.pushTransform(KXMatrix());
            failures.disarm();
            refused = failures.refused();
        }
        renderer.drawTriMesh(square.get());
        for (int i = 0; i < depth; ++i)
            renderer.popTransform();
        renderer.getTransform(top);
        renderer.endScene();
        return presentedImage(harness.window.get());
    };
    const PresentedImage lost = frame(true);
    ASSERT_GT(refused, 0) << "no push needed memory";
    EXPECT_EQ(lost.at(W / 2, H / 2) & 0xFFFFFF, 0u) << "drawn inside a push that was left out";
    EXPECT_TRUE(top == base);

    // A frame abandoned with pushes open, the last of them lost: the next
    // frame starts with none open.
    renderer.beginScene();
    renderer.setCamera(scene.getRoot()->getCamera());
    {
        FailingAllocations failures(0);
        for (int i = 0; i < depth; ++i)
            renderer.pushTransform(KXMatrix::translation(0.01f, 0.0f, 0.0f));
        failures.disarm();
        ASSERT_GT(failures.refused(), 0);
    }
    renderer.endScene();
    const PresentedImage drawn = frame(false);
    EXPECT_EQ(drawn.at(W / 2, H / 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(top == base);
}

// A stage that reset could not put back is not set: without memory to list
// it, the texture state binds nothing there.
TEST(RenderStatesOutOfMemory, TextureStagesThatCannotBeListedAreNotSet)
{
    TestWindow window(W, H);
    auto device = makeDevice(window.get());
    ASSERT_TRUE(device);
    auto png = solidPng(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
    auto texture = KXMake<KXTexture2D>();
    texture->setImage2D(png.get());
    {
        KXDXTextureState state(device.get());
        {
            FailingAllocations failing(0);
            state.setTexture2D(0, texture.get(), nullptr);
            state.setAddressMode(1, KXTextureState::KXTEXTUREAXIS_U, KXTextureState::KXADDRESSMODE_CLAMP);
        }
        EXPECT_TRUE(state.getTouchedStages().empty());
        EXPECT_EQ(boundTexture(device->getD3DDevice(), 0), nullptr);
        DWORD address = 0;
        device->getD3DDevice()->GetSamplerState(1, D3DSAMP_ADDRESSU, &address);
        EXPECT_EQ(address, DWORD(D3DTADDRESS_WRAP));
        state.setTexture2D(0, texture.get(), nullptr);
        EXPECT_NE(boundTexture(device->getD3DDevice(), 0), nullptr);
        state.reset();
    }
    png->setImplementation(nullptr);
}

// Without memory to copy the list of formats, the capabilities come without
// it; a reset whose observers cannot be told leaves the device as it was.
// Either way the next frames are whole.
TEST(DeviceOutOfMemory, CapabilitiesAndResetsFailQuietly)
{
    CanvasHarness harness(W, H);
    ASSERT_TRUE(harness.ready());
    KXScene scene;
    buildSmallScene(scene);
    const PresentedImage reference = harness.render(scene);
    {
        FailingAllocations failing(0);
        const KXDeviceCapabilities capabilities = harness.device->getCapabilities();
        failing.disarm();
        EXPECT_TRUE(capabilities.adapterFormats.empty());
        EXPECT_EQ(capabilities.bestMagFilter, harness.device->getCapabilities().bestMagFilter);
    }
    long allocations = 0;
    {
        CountingAllocations counting;
        harness.device->reset();
        allocations = counting.seen();
    }
    for (long k = 0; k <= allocations; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k);
        {
            FailingAllocations failing(k);
            harness.device->reset();
        }
        // A device left lost by a reset that failed is reset again by the
        // renderer, once a frame has been presented on it.
        harness.render(scene);
        EXPECT_EQ(harness.render(scene).pixels, reference.pixels);
    }
}

// A window renderer whose shader programs take a given effect rather than
// compiling their source.
class EffectRenderer : public KXDXRenderer
{
public:
    FakeEffect* effect = nullptr;

protected:
    KXDXShaderProgramImpl* createShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program) override
    {
        return new (std::nothrow) KXDXShaderProgramImpl(device, program, effect);
    }
};

// An effect draw that runs out of memory anywhere (registering with the
// device, binding an image, describing a parameter) throws nothing; the
// next draw with memory enough makes what was missing, and the program
// ends with each parameter once, the image bound and every pass drawn.
TEST(EffectsOutOfMemory, EffectDrawsAreWholeAfterAFailedAllocation)
{
    LiveObjectCheck live;
    {
        TestWindow window(W, H);
        auto device = makeDevice(window.get());
        ASSERT_TRUE(device);
        EffectRenderer renderer;
        ASSERT_EQ(renderer.initialize(device.get()), KXRESULT_OK);
        auto mesh = makeSquare(0.5f);
        auto wood = solidPng(KXColor(0.6f, 0.4f, 0.2f, 1.0f));
        const auto makeEffect = [] {
            FakeEffectPtr effect = makeFakeEffect();
            effect->addParameter("Map", D3DXPT_TEXTURE, D3DXPC_OBJECT).annotate("ResourceName", "wood");
            effect->addParameter("Ks", D3DXPT_FLOAT)
                .value({0.5f})
                .annotate("UIWidget", "Slider")
                .annotate("UIName", "Specular")
                .annotate("UIMin", 0.0f)
                .annotate("UIMax", 1.0f);
            effect->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({1, 0, 0, 1}).annotate("UIType", "Color");
            effect->passes = 2;
            return effect;
        };
        long allocations = 0;
        {
            KXShaderProgram program;
            program.setImage(L"wood", wood.get());
            FakeEffectPtr effect = makeEffect();
            renderer.effect = effect.get();
            CountingAllocations counting;
            renderer.drawTriMeshWithShader(&program, mesh.get());
            allocations = counting.seen();
        }
        ASSERT_GT(allocations, 0);
        for (long k = 0; k < allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k << " of " << allocations);
            KXShaderProgram program;
            program.setImage(L"wood", wood.get());
            wood->setImplementation(nullptr);
            FakeEffectPtr effect = makeEffect();
            renderer.effect = effect.get();
            try {
                FailingAllocations failing(k);
                renderer.drawTriMeshWithShader(&program, mesh.get());
            } catch (...) {
                ADD_FAILURE() << "an exception left the draw";
            }
            effect->log().clear();
            renderer.drawTriMeshWithShader(&program, mesh.get());
            EXPECT_EQ(2, program.getNumParameters());
            ASSERT_NE(program.findParameter(L"Ks"), nullptr);
            EXPECT_NE(program.findParameter(L"Ks")->getControl(), nullptr);
            EXPECT_NE(program.findParameter(L"Tint"), nullptr);
            EXPECT_NE(effect->parameter("Map")->texture, nullptr);
            EXPECT_EQ(2, std::count(effect->log().begin(), effect->log().end(), "EndPass"));
            // One implementation holds the effect, besides the test.
            EXPECT_EQ(effect->refCount(), 2u);
            if (::testing::Test::HasFailure())
                return;
        }
        renderer.uninitialize();
    }
    live.expectBalanced();
}

// A value copy that runs out of memory throws bad_alloc (which the
// library's callers catch) and leaves source and target as they were.
TEST(EffectsOutOfMemory, VariantCopiesFailWholly)
{
    const KXVariant colour(KXColor(0.1f, 0.2f, 0.3f, 0.4f));
    const KXVariant text(L"a caption long enough to live outside the string object");
    for (const KXVariant* source : {&colour, &text}) {
        KXVariant target(2.5f);
        bool thrown = false;
        try {
            FailingAllocations failing(0);
            target = *source;
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        EXPECT_EQ(target, KXVariant(2.5f));
        thrown = false;
        try {
            FailingAllocations failing(0);
            KXVariant copy(*source);
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        target = *source;
        EXPECT_EQ(target, *source);
    }
    EXPECT_EQ(colour.getFloatArray(), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
}

} // namespace
