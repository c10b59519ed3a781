// The planar reflection and overlay painters drawing whole frames on the
// software device, read back and checked against independent truths: the
// mirrored scene drawn directly by the canvas, the floor the viewer can
// see, the depth a later drawing is hidden by, D3DX's reflection matrix.

#include "KXDXTestScenes.h"

#include "canvas/KXOverlayPainter.h"
#include "canvas/KXPlanarReflectionPainter.h"
#include "renderer/KXRenderStateMgr.h"
#include "sceneapi/KXShowcaseScene.h"

#include <d3dx9math.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace kxdxtest;

namespace {

constexpr unsigned WIDTH = 160, HEIGHT = 120;
// The floor plane of the painter, z = 0.001.
constexpr float FLOOR_Z = 0.001f;

int channelDifference(uint32_t a, uint32_t b)
{
    return std::max({std::abs(red(a) - red(b)), std::abs(green(a) - green(b)), std::abs(blue(a) - blue(b))});
}

KXPlanarReflectionPainter* reflectionPainter(KXCanvas& canvas)
{
    return dynamic_cast<KXPlanarReflectionPainter*>(
        canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARREFLECTION));
}

// A box of the given centre and sizes with a material of that colour.
KXShape* addBox(KXScene& scene, const KXPosition& centre, float sx, float sy, float sz, const KXColor& colour)
{
    auto box = KXMake<KXBox>();
    box->setParameters(centre, sx, sy, sz);
    return addShape(scene, box.get(), colour);
}

// What the tests look at: a box floating above the floor and a slab
// standing on it between the viewer and the box's mirror image, seen
// obliquely from above. `mirrored` builds the mirror image of the same
// objects instead, below the floor, and no ground.
struct FloorScene {
    // The ground emits its colour only: exactly this green wherever it shows.
    static constexpr uint32_t GROUND = 0xFF009900u;

    FloorScene(bool mirrored, bool ground)
    {
        const KXPosition eye(0.0f, -4.0f, 4.0f);
        camera = setPerspectiveCamera(scene, eye, KXPosition(0.0f, 0.0f, 0.0f), WIDTH, HEIGHT);
        setSingleColorBackground(scene, rgb(255, 0, 255));
        if (ground) {
            KXShape* sheet = addShape(scene, makeSquare(20.0f).get(), KXColor(0.0f, 0.0f, 0.0f, 1.0f));
            sheet->getAppearance()->getMaterial()->setEmissiveColor(rgb(0, 0x99, 0));
        }
        auto mirror = [&](float z) { return mirrored ? 2.0f * FLOOR_Z - z : z; };
        addBox(scene, KXPosition(0.0f, 0.0f, mirror(1.0f)), 1.0f, 1.0f, 1.0f, KXColor(0.9f, 0.5f, 0.2f, 1.0f));
        addBox(scene, KXPosition(0.35f, -1.6f, mirror(0.75f)), 0.7f, 0.2f, 1.5f, KXColor(0.3f, 0.4f, 0.9f, 1.0f));
    }

    // A fixed model (lights in scene space) with a grey ambient light.
    KXLightModel* lights(bool fixed)
    {
        auto model = KXMake<KXLightModel>();
        model->setFixed(fixed);
        auto ambient = KXMake<KXAmbientLight>();
        ambient->setColor(KXColor(0.25f, 0.25f, 0.25f, 1.0f));
        model->setAmbientLight(ambient.get());
        scene.getRoot()->setLightModel(model.get());
        return model.get();
    }
    void addLight(KXLightModel* model, const KXVector& direction)
    {
        auto light = KXMake<KXDirectionalLight>();
        light->setDirection(direction);
        light->setColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
        model->addLight(light.get());
    }

    KXScene scene;
    KXPerspectiveCamera* camera = nullptr;
};

// The frames of a floor scene with and without the mirror, and of the
// mirrored scene drawn directly, with everything the comparisons need.
struct MirrorFrames {
    PresentedImage plain, reflected, direct;
};

MirrorFrames drawMirrorFrames(FloorScene& original, FloorScene& mirrored)
{
    MirrorFrames frames;
    CanvasHarness harness(WIDTH, HEIGHT);
    if (!harness.ready())
        return frames;
    // Without fog the mirror image has exactly the colours of the mirrored scene.
    reflectionPainter(harness.canvas)->getReflectionFog()->setDensity(0.0f);
    frames.plain = harness.render(original.scene);
    harness.canvas.enableReflection(1);
    frames.reflected = harness.render(original.scene);
    harness.canvas.enableReflection(0);
    frames.direct = harness.render(mirrored.scene);
    return frames;
}

// Checks the mirror frame against the mirrored scene: the mirror changes
// only pixels where the ground shows, shows there what the mirrored scene
// shows, in the same colours, and is kept off the slab standing in front.
void expectMirrorOfScene(const MirrorFrames& frames, const char* what)
{
    ASSERT_FALSE(frames.plain.empty());
    const uint32_t background = 0xFFFF00FFu;
    auto directObject = [&](unsigned x, unsigned y) {
        for (unsigned yy = y - 1; yy <= y + 1; ++yy)
            for (unsigned xx = x - 1; xx <= x + 1; ++xx)
                if (frames.direct.at(xx, yy) == background)
                    return false;
        return true;
    };
    int changedOffFloor = 0, compared = 0, wrongColour = 0, hiddenBySlab = 0, missing = 0;
    for (unsigned y = 1; y + 1 < HEIGHT; ++y)
        for (unsigned x = 1; x + 1 < WIDTH; ++x) {
            const uint32_t plain = frames.plain.at(x, y), reflected = frames.reflected.at(x, y);
            const bool floor = plain == FloorScene::GROUND;
            if (!floor) {
                changedOffFloor += plain != reflected;
                hiddenBySlab += directObject(x, y) && blue(plain) > red(plain);
                continue;
            }
            if (!directObject(x, y)) {
                // Off the mirror image's interior only its edges may differ.
                if (frames.direct.at(x, y) == background)
                    missing += reflected != plain;
                continue;
            }
            ++compared;
            wrongColour += channelDifference(reflected, frames.direct.at(x, y)) > 3;
        }
    EXPECT_EQ(changedOffFloor, 0) << what << ": the mirror shows only on visible floor pixels";
    EXPECT_GT(hiddenBySlab, 20) << what << ": the slab hides part of the mirror image";
    EXPECT_GT(compared, 300) << what;
    EXPECT_EQ(wrongColour, 0) << what << ": the mirror image is lit as the mirrored scene";
    EXPECT_EQ(missing, 0) << what << ": nothing is mirrored where the mirrored scene shows nothing";
}

// A sheet just above the ground emitting pure blue, drawn depth-tested
// without writing depth: where it shows tells what the depth buffer holds.
struct DepthProbe {
    static constexpr uint32_t COLOUR = 0xFF0000FFu;
    KXRef<KXTriMesh> sheet = makeSquare(20.0f, 0.0002f);
    KXRef<KXMaterial> material = KXMake<KXMaterial>();

    void draw(KXRenderer& renderer)
    {
        KXRenderStateMgr* states = renderer.getRenderStateMgr();
        const KXColor black(0.0f, 0.0f, 0.0f, 1.0f);
        material->set(black, black, black, KXColor(0.0f, 0.0f, 1.0f, 1.0f), 0.0f);
        states->getMaterialState()->setMaterial(material.get());
        states->getZBufferState()->enableZWrite(0);
        renderer.drawTriMesh(sheet.get());
        states->getZBufferState()->reset();
        states->getMaterialState()->reset();
    }
};

// A canvas of a test's own class drawing on a device without multisampling
// (so that every pixel is one surface or another), and the pictures of it.
template <class Canvas>
struct OwnCanvasHarness {
    OwnCanvasHarness() : device(makeDevice(window.get(), nullptr, false))
    {
        if (device)
            renderer = createRenderer(KXRenderer::KXRENDERER_WINDOW);
        if (!renderer || renderer->initialize(device.get()) != 0)
            return;
        renderer->setSize(WIDTH, HEIGHT);
        canvas.setRenderer(renderer.get());
    }
    ~OwnCanvasHarness() { canvas.setRenderer(nullptr); }
    bool ready() const { return canvas.getRenderer() != nullptr; }
    PresentedImage render(const KXScene& scene)
    {
        canvas.render(&scene, nullptr);
        return presentedImage(window.get());
    }

    TestWindow window{WIDTH, HEIGHT};
    Made<KXDXDevice> device;
    Made<KXRenderer> renderer;
    Canvas canvas;
};

} // namespace

TEST(ReflectionFrames, MirrorImageIsTheMirroredSceneUnderFixedLights)
{
    // A sun shining upward lights the boxes' undersides, which only the
    // mirror shows; mirrored, it shines down on the mirrored tops.
    const KXVector sun(0.3f, 0.5f, 0.8f);
    FloorScene original(false, true), mirrored(true, false);
    original.addLight(original.lights(true), sun);
    mirrored.addLight(mirrored.lights(true), KXVector(sun.getX(), sun.getY(), -sun.getZ()));
    const MirrorFrames frames = drawMirrorFrames(original, mirrored);
    writePicture(frames.reflected, "/tmp/reflection_fixed_lights.png");
    writePicture(frames.direct, "/tmp/reflection_fixed_lights_direct.png");
    expectMirrorOfScene(frames, "fixed lights");
}

TEST(ReflectionFrames, MirrorImageIsTheMirroredSceneUnderHeadLights)
{
    // Lights that move with the camera are given in its space, looking down
    // +z: (0, 0, 1) shines along the view, (1, 0, 1) from the left. In the
    // scene they shine along the camera's axes; mirrored, along the mirrored
    // axes.
    FloorScene original(false, true), mirrored(true, false);
    KXLightModel* head = original.lights(false);
    original.addLight(head, KXVector(0.0f, 0.0f, 1.0f));
    original.addLight(head, KXVector(1.0f, 0.0f, 1.0f));
    const KXCamera* camera = original.camera;
    KXVector forward = camera->getTargetPosition() - camera->getEyePosition();
    forward.normalize();
    KXVector right = forward.cross(KXVector(0.0f, 0.0f, 1.0f));
    right.normalize();
    auto mirror = [](const KXVector& v) { return KXVector(v.getX(), v.getY(), -v.getZ()); };
    KXLightModel* fixed = mirrored.lights(true);
    mirrored.addLight(fixed, mirror(forward));
    mirrored.addLight(fixed, mirror(right + forward));
    const MirrorFrames frames = drawMirrorFrames(original, mirrored);
    writePicture(frames.reflected, "/tmp/reflection_head_lights.png");
    expectMirrorOfScene(frames, "head lights");
}

TEST(ReflectionFrames, LaterDrawingIsStillHiddenByTheScene)
{
    // The probe drawn where the editor aids begin (before their step clears
    // the depth): with the mirror drawn before it the frame must be the
    // same as without, every mirror pixel covered and no object pixel.
    struct ProbeCanvas : KXCanvas {
        DepthProbe probe;
        void drawEditorAids(KXCamera* camera, KXRoot* root, KXSelection* selection) override
        {
            probe.draw(*getRenderer());
            KXCanvas::drawEditorAids(camera, root, selection);
        }
    };
    FloorScene original(false, true);
    original.addLight(original.lights(true), KXVector(-0.3f, 0.5f, -0.8f));
    OwnCanvasHarness<ProbeCanvas> harness;
    ASSERT_TRUE(harness.ready());
    const PresentedImage plain = harness.render(original.scene);
    harness.canvas.enableReflection(1);
    const PresentedImage reflected = harness.render(original.scene);
    writePicture(reflected, "/tmp/reflection_depth_probe.png");
    ASSERT_FALSE(plain.empty());
    int probePixels = 0, different = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) {
        probePixels += plain.pixels[i] == DepthProbe::COLOUR;
        different += plain.pixels[i] != reflected.pixels[i];
    }
    EXPECT_GT(probePixels, static_cast<int>(WIDTH * HEIGHT / 2));
    EXPECT_LT(probePixels, static_cast<int>(WIDTH * HEIGHT - 1000)) << "the boxes hide the probe";
    EXPECT_EQ(different, 0);
}

TEST(ReflectionFrames, MirrorFadesIntoGreyFogWithDistance)
{
    // A white emitting square 0.5 above the floor, facing down: only its
    // mirror image is seen, grey-white by the fog factor exp(-(0.2 d / r)²)
    // of its distance d from the eye, with r the scene's radius (the default
    // fog, whose density is given per scene radius).
    KXScene scene;
    setPerspectiveCamera(scene, KXPosition(0.0f, -1.0f, 1.0f), KXPosition(0.0f, 0.0f, 0.0f), WIDTH, HEIGHT);
    setSingleColorBackground(scene, rgb(0, 0, 0));
    auto square = makeSquare(0.25f, 0.5f);
    KXTriMesh* mesh = square.get();
    // Turned to face down: its mirror image faces the viewer.
    std::vector<uint32_t> indices = {0, 2, 1, 0, 3, 2};
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, mesh->getVertexArray(), indices);
    KXShape* shape = addShape(scene, mesh, KXColor(0.0f, 0.0f, 0.0f, 1.0f));
    shape->getAppearance()->getMaterial()->setEmissiveColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    CanvasHarness harness(WIDTH, HEIGHT);
    ASSERT_TRUE(harness.ready());
    harness.canvas.enableReflection(1);
    const PresentedImage image = harness.render(scene);
    writePicture(image, "/tmp/reflection_fog.png");
    ASSERT_FALSE(image.empty());
    // Where the image's centre (0, 0, 2·0.001 - 0.5) lands on screen.
    const KXCamera* camera = scene.getRoot()->getCamera();
    const KXPosition centre(0.0f, 0.0f, 2.0f * FLOOR_Z - 0.5f);
    const KXPosition clip = (camera->getViewMatrix() * camera->getProjectionMatrix()).transform(centre);
    const auto px = static_cast<unsigned>((clip.getX() + 1.0f) * 0.5f * WIDTH);
    const auto py = static_cast<unsigned>((1.0f - clip.getY()) * 0.5f * HEIGHT);
    const float d = centre.distance(camera->getEyePosition());
    const float density = 0.2f / scene.getRoot()->getBounds().getRadius();
    const float f = std::exp(-(density * d) * (density * d));
    const float expected = (f * 1.0f + (1.0f - f) * 0.5f) * 255.0f;
    const uint32_t pixel = image.at(px, py);
    EXPECT_NEAR(red(pixel), expected, 6.0) << "fog factor " << f;
    EXPECT_EQ(red(pixel), blue(pixel));
    // Far enough for the fog to matter, near enough to see the square.
    EXPECT_LT(f, 0.6f);
    EXPECT_GT(f, 0.2f);
}

TEST(ReflectionFrames, ReflectionMatrixIsDirect3DsReflection)
{
    KXPlanarReflectionPainter painter;
    const float planes[][4] = {{0.0f, 0.0f, -1.0f, 0.001f}, {0.0f, 0.0f, -3.0f, 0.6f}, {1.0f, -2.0f, 2.0f, 0.5f},
                               {0.2f, 0.0f, 0.0f, -1.0f},  {0.0f, 4.0f, 3.0f, 10.0f}};
    for (const auto& abcd : planes) {
        painter.setReflectionPlane(KXPlane(abcd[0], abcd[1], abcd[2], abcd[3]));
        const D3DXPLANE plane(abcd[0], abcd[1], abcd[2], abcd[3]);
        D3DXMATRIX expected;
        D3DXMatrixReflect(&expected, &plane);
        const KXMatrix& m = painter.getReflectionMatrix();
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(m.get(r, c), expected.m[r][c], 1e-5f) << "plane " << abcd[0] << " " << abcd[1] << " "
                                                                   << abcd[2] << " " << abcd[3];
    }
}

TEST(ReflectionFrames, ShowcaseMirrorsItsObjectsOnTheGround)
{
    KXScene scene;
    ASSERT_EQ(KXShowcaseScene::build(scene, 320, 240), 0);
    CanvasHarness harness(320, 240);
    ASSERT_TRUE(harness.ready());
    const PresentedImage plain = harness.render(scene);
    harness.canvas.enableReflection(1);
    const PresentedImage reflected = harness.render(scene);
    writePicture(plain, "/tmp/showcase_plain.png");
    writePicture(reflected, "/tmp/showcase_reflection.png");
    ASSERT_FALSE(reflected.empty());
    // The mirror shows below the objects, on the ground, and never above
    // the horizon (the upper rows show the sky).
    int changed = 0, changedInSky = 0;
    for (unsigned y = 0; y < 240; ++y)
        for (unsigned x = 0; x < 320; ++x) {
            const bool differs = channelDifference(plain.at(x, y), reflected.at(x, y)) > 2;
            changed += differs;
            changedInSky += differs && y < 20;
        }
    EXPECT_GT(changed, 2000);
    EXPECT_EQ(changedInSky, 0);

    // A lost device is reset at the next frame, and the mirror comes back
    // the same (the frame right after the reset is not compared: the
    // specular state set before the reset is lost for that one frame, with
    // or without the mirror).
    ASSERT_EQ(SwD3D9LoseDevice(harness.device->getD3DDevice()), D3D_OK);
    harness.render(scene);
    harness.render(scene);
    const PresentedImage again = harness.render(scene);
    ASSERT_EQ(again.pixels.size(), reflected.pixels.size());
    int differ = 0;
    for (size_t i = 0; i < again.pixels.size(); ++i)
        differ += again.pixels[i] != reflected.pixels[i];
    EXPECT_EQ(differ, 0);
}

TEST(OverlayFrames, OverlayLiesOverEverythingAndLeavesTheDepth)
{
    // The probe drawn after the overlay, just before the frame ends, by a
    // canvas without editor aids (whose step clears the depth).
    struct ProbeCanvas : KXCanvas {
        DepthProbe probe;
        void drawEditorAids(KXCamera*, KXRoot*, KXSelection*) override {}
        void endFrame() override
        {
            probe.draw(*getRenderer());
            KXCanvas::endFrame();
        }
    };
    FloorScene original(false, true);
    original.addLight(original.lights(true), KXVector(-0.3f, 0.5f, -0.8f));
    // A yellow rectangle in window pixels, counter-clockwise on screen, its
    // left half at the farthest depth (it would fail a depth test), its
    // right half at the nearest (it would hide the probe if written).
    // Direct3D 9 puts the centre of pixel (i, j) at (i, j) in these
    // coordinates: the edges run between pixels.
    const float x0 = 39.5f, xm = 79.5f, x1 = 119.5f, y0 = 19.5f, y1 = 99.5f;
    auto rectangle = KXMake<KXTriMesh>();
    rectangle->set(KXTriMesh::KXTRIMESHTYPE_LIST,
                   {{x0, y0, 1.0f}, {x0, y1, 1.0f}, {xm, y1, 1.0f}, {xm, y0, 1.0f}, {xm, y0, 0.0f}, {xm, y1, 0.0f},
                    {x1, y1, 0.0f}, {x1, y0, 0.0f}},
                   {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}, {}, std::vector<KXColor>(8, KXColor(1.0f, 1.0f, 0.0f, 1.0f)));
    rectangle->setPreTransformed(true);
    // Not pre-transformed: left out.
    auto ignored = makeSquare(20.0f, 3.0f);
    KXScene overlay;
    addShape(overlay, rectangle.get(), KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    addShape(overlay, ignored.get(), KXColor(1.0f, 0.0f, 0.0f, 1.0f));

    OwnCanvasHarness<ProbeCanvas> harness;
    ASSERT_TRUE(harness.ready());
    const PresentedImage plain = harness.render(original.scene);
    auto* painter =
        dynamic_cast<KXOverlayPainter*>(harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_OVERLAY));
    ASSERT_NE(painter, nullptr);
    painter->setOverlayScene(&overlay);
    const PresentedImage overlaid = harness.render(original.scene);
    writePicture(overlaid, "/tmp/overlay_probe.png");
    ASSERT_FALSE(plain.empty());
    int inside = 0, probeInside = 0, wrongInside = 0, wrongOutside = 0;
    for (unsigned y = 0; y < HEIGHT; ++y)
        for (unsigned x = 0; x < WIDTH; ++x) {
            const uint32_t before = plain.at(x, y), after = overlaid.at(x, y);
            if (!(x > x0 && x < x1 && y > y0 && y < y1)) {
                wrongOutside += before != after;
                continue;
            }
            // The probe still passes the scene's depth where it did;
            // everything else under the rectangle is yellow.
            ++inside;
            probeInside += before == DepthProbe::COLOUR;
            wrongInside += after != (before == DepthProbe::COLOUR ? before : 0xFFFFFF00u);
        }
    EXPECT_EQ(inside, 80 * 80);
    EXPECT_GT(probeInside, 1000);
    EXPECT_GT(inside - probeInside, 1000) << "the boxes lie under the rectangle";
    EXPECT_EQ(wrongInside, 0);
    EXPECT_EQ(wrongOutside, 0);
}
