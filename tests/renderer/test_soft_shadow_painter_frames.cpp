// Soft shadows drawn by the canvas's planar soft-shadow painter on the
// software device, read back: the blurred silhouette lies where the light
// throws the object, with a graded edge centred on the hard shadow's edge,
// the texture is kept between frames until asked for again, survives device
// resets, and the painter leaves no state behind.

#include "KXDXTestScenes.h"

#include "canvas/KXPlanarSoftShadowPainter.h"
#include "canvas/KXSoftShadowCanvas.h"
#include "imagegen/KXShadowTexGen.h"
#include "renderer/KXRenderSurface.h"
#include "sceneapi/KXShowcaseScene.h"

#include <swd3d9.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

using namespace kxdxtest;

namespace {

constexpr int LIT_FLOOR = 255;

// The darkest soft shadow on a white floor: the silhouette's colour (0.1
// grey) lit by the sun at 45 degrees, laid over the floor with the
// silhouette's opacity 0.3 (each stored as a byte in the texture).
int coreShadow()
{
    const float alpha = std::round(0.3f * 255.0f) / 255.0f;
    const float colour = std::round(0.1f * 255.0f) / 255.0f * std::sqrt(0.5f);
    return static_cast<int>(std::lround(255.0f * (colour * alpha + (1.0f - alpha))));
}

// A view from straight above of a white floor, drawn by a canvas with soft
// shadows on, the sun slanting toward +x at 45 degrees; a red box floats
// over the floor.
struct TopDownSoftShadows {
    static constexpr unsigned SIZE = 256;

    explicit TopDownSoftShadows(float viewScale = 8.0f) : scale(viewScale)
    {
        setSingleColorBackground(scene, rgb(0, 0, 0));
        setTopDownOrthoCamera(scene, scale, SIZE, SIZE);
        floor = makeSquare(scale / 2.0f);
        addGlowingShape(scene.getRoot(), floor.get(), KXColor(1, 1, 1, 1));
        harness.canvas.enableSoftShadows(1);
        painter()->setLightDirection(KXUnitVector(1.0f, 0.0f, -1.0f), KXUnitVector(0.0f, 1.0f, 0.0f));
    }

    KXPlanarSoftShadowPainter* painter()
    {
        return static_cast<KXPlanarSoftShadowPainter*>(
            harness.canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
    }
    KXShape* addBox(const KXPosition& lower, const KXPosition& upper, KXGroup* parent = nullptr)
    {
        boxes.push_back(makeBox(lower, upper));
        return addGlowingShape(parent ? parent : scene.getRoot(), boxes.back().get(), KXColor(0.9f, 0.1f, 0.1f, 1.0f));
    }
    PresentedImage render(const char* name)
    {
        PresentedImage image = harness.render(scene);
        writePicture(image, std::string("/tmp/soft_shadow_") + name + ".png");
        return image;
    }
    // The green of the pixel at the floor point (x, y) (the boxes are red,
    // so green tells the floor's brightness).
    int floorAt(const PresentedImage& image, float x, float y) const
    {
        const auto px = static_cast<unsigned>((x / scale + 0.5f) * SIZE);
        const auto py = static_cast<unsigned>((0.5f - y / scale) * SIZE);
        return green(image.at(px, py));
    }
    // How far the floor at (x, y) is darkened, from 0 (lit) to 1 (the core).
    float darkening(const PresentedImage& image, float x, float y) const
    {
        return static_cast<float>(LIT_FLOOR - floorAt(image, x, y)) / static_cast<float>(LIT_FLOOR - coreShadow());
    }

    float scale;
    KXScene scene;
    CanvasHarness harness{SIZE, SIZE};
    KXRef<KXTriMesh> floor;
    std::vector<KXRef<KXTriMesh>> boxes;
};

// Where the darkening along a line first reaches one half, walking from
// `from` toward `to` in small steps.
float halfWay(const TopDownSoftShadows& view, const PresentedImage& image, KXPosition2D from, KXPosition2D to)
{
    constexpr int STEPS = 400;
    for (int i = 0; i <= STEPS; ++i) {
        const float t = static_cast<float>(i) / STEPS;
        const float x = from.getX() + (to.getX() - from.getX()) * t;
        const float y = from.getY() + (to.getY() - from.getY()) * t;
        if (view.darkening(image, x, y) >= 0.5f)
            return t;
    }
    return 2.0f;
}

} // namespace

TEST(SoftShadowFrames, ShadowLiesWhereTheLightThrowsItWithAGradedEdgeCentredOnTheHardOne)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    // A box 2 × 2 wide at heights 2 to 3: the sun at 45 degrees throws its
    // bottom 2 and its top 3 toward +x, so the shadow covers x 1 .. 4 (its
    // middle at 2.5), just clear of the box itself (x -1 .. 1 from above).
    view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    const PresentedImage image = view.render("box");
    ASSERT_FALSE(image.empty());
    // The core is as dark as the silhouette makes it.
    EXPECT_NEAR(view.floorAt(image, 2.5f, 0.0f), coreShadow(), 3);
    // Far from the shadow the floor keeps its white: the floor itself, at
    // z = 0, casts nothing. (The blur gives transparent texels an alpha of
    // 1/255, which may take one level off the floor under the texture.)
    EXPECT_GE(view.floorAt(image, -3.0f, -3.0f), LIT_FLOOR - 1);
    EXPECT_GE(view.floorAt(image, 2.5f, 3.0f), LIT_FLOOR - 1);
    EXPECT_GE(view.floorAt(image, -1.5f, 0.0f), LIT_FLOOR - 1);
    // The edge is graded: between lit and core there are values in between.
    EXPECT_GT(view.floorAt(image, 2.5f, 1.0f), coreShadow() + 10);
    EXPECT_LT(view.floorAt(image, 2.5f, 1.0f), LIT_FLOOR - 10);
    // Half the darkening falls on the hard shadow's edges (y = ±1, x = 4),
    // within a pixel or two.
    const float pixel = view.scale / TopDownSoftShadows::SIZE;
    const float up = 2.0f * halfWay(view, image, KXPosition2D(2.5f, 2.0f), KXPosition2D(2.5f, 0.0f));
    const float down = 2.0f * halfWay(view, image, KXPosition2D(2.5f, -2.0f), KXPosition2D(2.5f, 0.0f));
    const float right = 2.0f * halfWay(view, image, KXPosition2D(5.0f, 0.0f), KXPosition2D(3.0f, 0.0f));
    EXPECT_NEAR(2.0f - up, 1.0f, 2.5f * pixel);
    EXPECT_NEAR(2.0f - down, 1.0f, 2.5f * pixel);
    EXPECT_NEAR(5.0f - right, 4.0f, 2.5f * pixel);
}

TEST(SoftShadowFrames, TextureIsKeptBetweenFramesUntilAskedForAgain)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    KXShape* box = view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    EXPECT_NEAR(view.floorAt(view.render("kept_first"), 2.5f, 0.0f), coreShadow(), 3);
    EXPECT_EQ(view.painter()->getTextureDone(), 1);
    // The box moves 1.5 toward -y: without an update the shadow stays as it
    // was rendered, on the floor it was rendered for.
    box->getTransform()->setTranslation(KXVector(0.0f, -1.5f, 0.0f));
    const PresentedImage kept = view.render("kept_moved");
    EXPECT_NEAR(view.floorAt(kept, 2.5f, 0.5f), coreShadow(), 3);
    EXPECT_GE(view.floorAt(kept, 2.5f, -2.2f), LIT_FLOOR - 1);
    // Asked for, every frame renders it again: the shadow follows the box.
    view.painter()->setUpdateTexture(1);
    const PresentedImage updated = view.render("kept_updated");
    EXPECT_NEAR(view.floorAt(updated, 2.5f, -2.0f), coreShadow(), 3);
    EXPECT_GE(view.floorAt(updated, 2.5f, 0.8f), LIT_FLOOR - 1);
    box->getTransform()->setTranslation(KXVector(0.0f, 0.0f, 0.0f));
    EXPECT_NEAR(view.floorAt(view.render("kept_back"), 2.5f, 0.0f), coreShadow(), 3);
}

TEST(SoftShadowFrames, ObjectsOutsideTheViewStillCastIntoIt)
{
    // A post left of the view (x -5.5 .. -4.5, 3 high) throws its shadow
    // toward +x, into the view (which spans x -4 .. 4). It sits in a group
    // of its own, which the main camera's frustum would cull.
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    auto group = KXMake<KXGroup>();
    view.scene.getRoot()->addChild(group.get());
    view.addBox(KXPosition(-5.5f, -0.5f, 0.0f), KXPosition(-4.5f, 0.5f, 3.0f), group.get());
    const PresentedImage image = view.render("outside");
    EXPECT_LT(view.floorAt(image, -3.0f, 0.0f), LIT_FLOOR - 20);
    EXPECT_GE(view.floorAt(image, -3.0f, 2.0f), LIT_FLOOR - 1);
}

TEST(SoftShadowFrames, NothingIsDrawnForACameraBelowThePlane)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    // Looking up at the floor from below: the floor square is seen from its
    // back, and the shadow, lying on its top, must not show through.
    view.scene.getRoot()->getCamera()->setPosition(KXPosition(0.0f, 0.0f, -10.0f), KXPosition(0.0f, 0.0f, 0.0f),
                                                   KXVector(0.0f, 1.0f, 0.0f));
    view.floor->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    const PresentedImage with = view.render("below");
    view.harness.canvas.enableSoftShadows(0);
    const PresentedImage without = view.harness.render(view.scene);
    ASSERT_FALSE(with.empty());
    EXPECT_EQ(with.pixels, without.pixels);
}

TEST(SoftShadowFrames, ShadowComesBackAfterADeviceReset)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    const PresentedImage before = view.render("before_reset");
    // The reset takes the default-pool textures; the image must not keep
    // pointing at the freed one, and the next frame renders it again.
    view.harness.device->reset();
    EXPECT_EQ(view.painter()->getTextureDone(), 0);
    EXPECT_EQ(view.painter()->getShadowImage()->getImplementation(), nullptr);
    const PresentedImage after = view.render("after_reset");
    EXPECT_EQ(view.painter()->getTextureDone(), 1);
    EXPECT_EQ(after.pixels, before.pixels);
}

TEST(SoftShadowFrames, FrameLeavesTheDeviceAsAFrameWithoutSoftShadowsDoes)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    IDirect3DDevice9* d3d = view.harness.device->getD3DDevice();
    auto deviceState = [&] {
        std::vector<DWORD> state;
        for (D3DRENDERSTATETYPE type :
             {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZWRITEENABLE, D3DRS_ZENABLE,
              D3DRS_CULLMODE, D3DRS_SHADEMODE, D3DRS_FILLMODE, D3DRS_LIGHTING, D3DRS_STENCILENABLE, D3DRS_FOGENABLE,
              D3DRS_AMBIENT, D3DRS_NORMALIZENORMALS})
            state.push_back(renderState(d3d, type));
        BOOL lightOn = FALSE;
        d3d->GetLightEnable(0, &lightOn);
        state.push_back(static_cast<DWORD>(lightOn));
        state.push_back(boundTexture(d3d, 0) != nullptr);
        return state;
    };
    view.harness.canvas.enableSoftShadows(0);
    view.render("state_without");
    const std::vector<DWORD> without = deviceState();
    view.harness.canvas.enableSoftShadows(1);
    view.render("state_with");
    EXPECT_EQ(deviceState(), without);
}

namespace {

// The silhouette a soft-shadow canvas draws through a shadow texture
// generator, 64 × 64 pixels, seen straight down on the square -2 .. 2.
struct SilhouetteView {
    static constexpr unsigned SIZE = 64;

    SilhouetteView()
    {
        setSingleColorBackground(scene, rgb(255, 255, 255));
        setTopDownOrthoCamera(scene, 4.0f, SIZE, SIZE);
        shadow->createMaterial()->set(KXColor(0, 0, 0, 0.3f), KXColor(0, 0, 0, 0.3f), KXColor(0, 0, 0, 0.3f),
                                      KXColor(0.1f, 0.1f, 0.1f, 0.3f), 5.0f);
        transparentShadow->createMaterial()->set(KXColor(0, 0, 0, 0.1f), KXColor(0, 0, 0, 0.1f),
                                                 KXColor(0, 0, 0, 0.1f), KXColor(0.5f, 0.5f, 0.5f, 0.1f), 5.0f);
        canvas.setLightCamera(scene.getRoot()->getCamera());
        canvas.setShadowAppearance(shadow.get());
        canvas.setShadowAppearanceForTransparentObjects(transparentShadow.get());
        canvas.setBackgroundColor(KXColor(0, 0, 0, 0));
    }
    bool ready() { return harness.ready() && generator.initialize(harness.device.get(), SIZE, SIZE) == 0; }
    KXShape* addBox(const KXPosition& lower, const KXPosition& upper, float alpha = 1.0f)
    {
        boxes.push_back(makeBox(lower, upper));
        return addGlowingShape(scene.getRoot(), boxes.back().get(), KXColor(0.9f, 0.2f, 0.2f, alpha));
    }
    // Renders inside a frame of the window renderer, as the painter does,
    // and reads the generator's texture back.
    bool render(KXRawImage2D& picture)
    {
        harness.renderer->beginScene();
        const int rendered = generator.render(&scene, &canvas);
        harness.renderer->endScene();
        return rendered == 0 && generator.getRenderTexture()->saveToRawImage(&picture) == 0;
    }
    // The texel at the scene point (x, y) as bytes R, G, B, A.
    static std::array<int, 4> at(const KXRawImage2D& picture, float x, float y)
    {
        const KXColor c = picture.getColor(static_cast<unsigned>((x / 4.0f + 0.5f) * SIZE),
                                           static_cast<unsigned>((0.5f - y / 4.0f) * SIZE));
        return {static_cast<int>(std::lround(c.getR() * 255)), static_cast<int>(std::lround(c.getG() * 255)),
                static_cast<int>(std::lround(c.getB() * 255)), static_cast<int>(std::lround(c.getA() * 255))};
    }

    KXScene scene;
    CanvasHarness harness{SIZE, SIZE};
    KXShadowTexGen generator{0};
    KXSoftShadowCanvas canvas;
    KXRef<KXAppearance> shadow = KXMake<KXAppearance>();
    KXRef<KXAppearance> transparentShadow = KXMake<KXAppearance>();
    std::vector<KXRef<KXTriMesh>> boxes;
};

} // namespace

TEST(SoftShadowCanvasFrames, SilhouetteHasTheShadowColourOnceWhateverTheFogOrOverlaps)
{
    SilhouetteView view;
    ASSERT_TRUE(view.ready());
    // Two overlapping opaque boxes, a transparent one, an invisible one, one
    // under the ground and a ground sheet at z = 0.
    view.addBox(KXPosition(-1.5f, -1.5f, 0.0f), KXPosition(0.0f, 0.0f, 1.0f));
    view.addBox(KXPosition(-1.0f, -1.0f, 0.0f), KXPosition(0.5f, 0.5f, 2.0f));
    view.addBox(KXPosition(1.0f, 1.0f, 0.0f), KXPosition(1.8f, 1.8f, 1.0f), 0.5f);
    view.addBox(KXPosition(1.0f, -1.8f, 0.0f), KXPosition(1.8f, -1.0f, 1.0f), 0.0f);
    view.addBox(KXPosition(-1.8f, 1.0f, -2.0f), KXPosition(-1.0f, 1.8f, -1.0f));
    auto ground = makeSquare(2.0f);
    addGlowingShape(view.scene.getRoot(), ground.get(), KXColor(1, 1, 1, 1));
    // Thick white fog, which the silhouette must not show.
    auto fog = KXMake<KXLinearFog>();
    fog->setColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    fog->setFrontDistance(0.0f);
    fog->setBackDistance(1.0f);
    view.scene.getRoot()->setFog(fog.get());

    KXRawImage2D picture(SilhouetteView::SIZE, SilhouetteView::SIZE);
    ASSERT_TRUE(view.render(picture));
    const std::array<int, 4> shadow{26, 26, 26, 77};
    EXPECT_EQ(SilhouetteView::at(picture, -1.2f, -1.2f), shadow) << "one box";
    EXPECT_EQ(SilhouetteView::at(picture, -0.5f, -0.5f), shadow) << "two boxes darken once";
    EXPECT_EQ(SilhouetteView::at(picture, 0.2f, 0.2f), shadow);
    // Transparent shapes are blended over the clear background, as the
    // canvas draws them: 0.5 grey at 10 % gives 0.05 grey, alpha 0.1.
    EXPECT_EQ(SilhouetteView::at(picture, 1.4f, 1.4f), (std::array<int, 4>{13, 13, 13, 26})) << "transparent";
    const std::array<int, 4> clear{0, 0, 0, 0};
    EXPECT_EQ(SilhouetteView::at(picture, 1.4f, -1.4f), clear) << "invisible";
    EXPECT_EQ(SilhouetteView::at(picture, -1.4f, 1.4f), clear) << "below the ground";
    EXPECT_EQ(SilhouetteView::at(picture, 1.0f, 0.0f), clear) << "the ground sheet";
}

TEST(ShadowTexGen, RefusesBadArgumentsAndSharesOneUploadTexture)
{
    SilhouetteView view;
    ASSERT_TRUE(view.harness.ready());
    KXShadowTexGen unready(0);
    EXPECT_EQ(unready.initialize(nullptr, 64, 64), -1);
    EXPECT_EQ(unready.initialize(view.harness.device.get(), 0, 64), -1);
    EXPECT_EQ(unready.getDevice(), nullptr) << "nothing is stored";
    KXImage2D first, second;
    EXPECT_EQ(unready.convert(&view.scene, &first, KXImage2D::KXIMAGE2D_PNG, &view.canvas), -1) << "not initialised";
    EXPECT_EQ(unready.convert(nullptr, &first, KXImage2D::KXIMAGE2D_PNG, &view.canvas), -3);

    ASSERT_TRUE(view.ready());
    view.addBox(KXPosition(-1.0f, -1.0f, 0.0f), KXPosition(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(view.generator.convert(&view.scene, &first, KXImage2D::KXIMAGE2D_TGA, &view.canvas), -1);
    EXPECT_EQ(first.getImplementation(), nullptr);
    view.harness.renderer->beginScene();
    EXPECT_EQ(view.generator.convert(&view.scene, &first, KXImage2D::KXIMAGE2D_PNG, &view.canvas), 0);
    EXPECT_EQ(view.generator.convert(&view.scene, &second, KXImage2D::KXIMAGE2D_BMP, &view.canvas), 0);
    view.harness.renderer->endScene();
    ASSERT_NE(first.getImplementation(), nullptr);
    EXPECT_EQ(first.getImplementation(), second.getImplementation());
    // The images let go of the texture before the generator goes.
    first.setImplementation(nullptr);
    second.setImplementation(nullptr);
}

TEST(SoftShadowFrames, ATransparentObjectCastsALighterShadow)
{
    TopDownSoftShadows view;
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-1.0f, -3.0f, 2.0f), KXPosition(1.0f, -1.0f, 3.0f));
    KXShape* glass = view.addBox(KXPosition(-1.0f, 1.0f, 2.0f), KXPosition(1.0f, 3.0f, 3.0f));
    glass->getAppearance()->getMaterial()->setDiffuseColor(KXColor(0.0f, 0.0f, 0.0f, 0.5f));
    const PresentedImage image = view.render("transparent");
    const int opaque = view.floorAt(image, 2.5f, -2.0f);
    const int transparent = view.floorAt(image, 2.5f, 2.0f);
    EXPECT_NEAR(opaque, coreShadow(), 3);
    EXPECT_GT(transparent, opaque + 40);
    EXPECT_LT(transparent, LIT_FLOOR - 5);
}

TEST(SoftShadowFrames, APointLightThrowsTheShadowFromItsPosition)
{
    TopDownSoftShadows view(14.0f);
    ASSERT_TRUE(view.harness.ready());
    view.addBox(KXPosition(-1.0f, -1.0f, 2.0f), KXPosition(1.0f, 1.0f, 3.0f));
    view.painter()->setLightType(KXPlanarSoftShadowPainter::KXSHADOWLIGHT_POINT);
    const PresentedImage image = view.render("point_light");
    const KXCamera* light = view.painter()->getLightCamera();
    ASSERT_NE(light, nullptr);
    ASSERT_EQ(light->getCameraType(), KXCamera::KXCAMERATYPE_PERSPECTIVE);
    // From the light's eye (on the line through the box's centre, up and
    // toward -x), the top edge x = 1 of the box lands on the floor at:
    const KXPosition eye = light->getEyePosition();
    ASSERT_NEAR(eye.getY(), 0.0f, 1e-4f);
    const float t = (eye.getZ() - 0.001f) / (eye.getZ() - 3.0f);
    const float edge = eye.getX() + t * (1.0f - eye.getX());
    // Further out than the sun's 4, and the shadow's half darkening sits on it.
    EXPECT_GT(edge, 4.2f);
    ASSERT_LT(edge + 1.0f, view.scale / 2.0f);
    const float pixel = view.scale / TopDownSoftShadows::SIZE;
    const float found = 3.0f * halfWay(view, image, KXPosition2D(edge + 1.0f, 0.0f), KXPosition2D(edge - 2.0f, 0.0f));
    EXPECT_NEAR(edge + 1.0f - found, edge, 3.0f * pixel);
}

// After a lost device is reset (inside the next frame, as the renderer does
// it), the frame is the one drawn before the loss: the painters' device
// objects, the render states set before the scene opens (specular) and the
// painters' own states all come back.
TEST(PainterFrames, EveryPainterRecoversFromALostDevice)
{
    const unsigned width = 240, height = 180;
    for (const bool soft : {false, true}) {
        SCOPED_TRACE(soft ? "soft shadows and reflection" : "hard shadows and reflection");
        KXScene scene;
        ASSERT_EQ(KXShowcaseScene::build(scene, width, height), 0);
        CanvasHarness harness(width, height);
        ASSERT_TRUE(harness.ready());
        harness.canvas.enableShadows(1);
        harness.canvas.enableSoftShadows(soft ? 1 : 0);
        harness.canvas.enableReflection(1);
        const PresentedImage before = harness.render(scene);
        ASSERT_EQ(D3D_OK, SwD3D9LoseDevice(harness.device->getD3DDevice()));
        // Drawn while lost: nothing is shown; the frame after resets.
        harness.render(scene);
        const PresentedImage after = harness.render(scene);
        EXPECT_EQ(harness.device->getStatus(), KXDevice::KXDEVICESTATUS_USABLE);
        ASSERT_EQ(after.pixels.size(), before.pixels.size());
        size_t differing = 0;
        for (size_t i = 0; i < before.pixels.size(); ++i)
            differing += after.pixels[i] != before.pixels[i];
        EXPECT_EQ(differing, 0u);
        writePicture(after, soft ? "/tmp/lost_soft.png" : "/tmp/lost_hard.png");
    }
}
