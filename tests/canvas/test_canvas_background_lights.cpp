#include "CanvasTestSupport.h"

#include <cmath>

using ::testing::ElementsAre;

namespace {

bool nearlyEqual(const KXMatrix& a, const KXMatrix& b, float tolerance)
{
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a[i] - b[i]) > tolerance)
            return false;
    }
    return true;
}

} // namespace

TEST_F(CanvasTest, ColourTargetIsClearedOnlyByABackground)
{
    render();
    EXPECT_TRUE(log.find("renderer", "clear").empty());
    EXPECT_EQ(log.count("zbuffer.clear()"), 2) << "the frame's depth clear and the editor aids' one";

    log.clear();
    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(KXColor(0.5f, 0.0f, 1.0f, 0.25f));
    root()->setBackground(background.get());
    render();
    // Eight bits a channel: 0.5 and 0.25 round to 128/255 and 64/255.
    EXPECT_EQ(log.count("renderer.clear((0.501961,0,1,0.25098))"), 1);
    EXPECT_EQ(log.find("renderer", "clear").size(), 1u);
}

// Textured and gradient backgrounds are drawn with their own camera before
// the scene camera is set, and leave no depth behind for the scene.
TEST_F(CanvasTest, GradientBackgroundIsDrawnUnlitWithItsOwnCamera)
{
    auto background = KXMake<KXGradientBackground>();
    background->getCamera()->setName(L"gradientCamera");
    background->getGeometry()->setName(L"gradientQuad");
    root()->setBackground(background.get());
    render();
    EXPECT_TRUE(log.containsInOrder({"renderer.clear((0,0,0,1))", "renderer.setCamera(gradientCamera)",
                                     "renderer.drawTriMesh(gradientQuad)", "zbuffer.clear()",
                                     "renderer.setCamera(camera)"}))
        << log.dump();
    const KXTrackedStates& atDraw = log.find("renderer", "drawTriMesh").at(0)->states;
    EXPECT_EQ(atDraw.lighting, 0);
    EXPECT_EQ(atDraw.cullMode, KXPolyState::KXCULLMODE_CLOCKWISE);
    // Vertex colours are left on, as in a frame without a gradient.
    EXPECT_TRUE(log.containsInOrder({"renderer.drawTriMesh(gradientQuad)", "material.enableColorVertex(1)",
                                     "poly.reset()", "zbuffer.reset()", "renderer.setCamera(camera)"}));
    EXPECT_EQ(log.count("material.enableColorVertex(0)"), 0);
}

TEST_F(CanvasTest, SkyBoxIsDrawnWithoutDepthAndWithAClampedCubeTexture)
{
    auto sky = KXMake<KXSkyBox>();
    sky->getGeometry()->setName(L"skyCube");
    sky->setLightModel(nullptr);
    root()->setBackground(sky.get());
    render();
    EXPECT_TRUE(log.containsInOrder({"renderer.clear((0,0,0,1))", "texture.setAddressMode(0,0,0)",
                                     "texture.setAddressMode(0,1,0)", "renderer.drawTriMesh(skyCube)",
                                     "texture.reset()", "zbuffer.reset()", "light.reset()",
                                     "renderer.setCamera(camera)"}))
        << log.dump();
    const KXTrackedStates& atDraw = log.find("renderer", "drawTriMesh").at(0)->states;
    EXPECT_EQ(atDraw.zEnable, 0);
    EXPECT_EQ(atDraw.zWrite, 0);
    EXPECT_EQ(atDraw.textures[0], sky->getTexture3D());
    EXPECT_TRUE(log.find("light", "setLight").empty());
}

// The sky cameras start with the world matrix for a scene camera looking
// along +y with +z up; the canvas must give the same one for such a camera,
// wherever its eye is, and keep turning it with the camera.
TEST_F(CanvasTest, SkyCamerasTurnWithTheSceneCameraOnly)
{
    for (bool dome : {false, true}) {
        KXRef<KXBackground> sky = dome ? static_cast<KXBackground*>(new KXSkyDome())
                                       : static_cast<KXBackground*>(new KXSkyBox());
        const KXMatrix initial = sky->getCamera()->getWorldMatrix();
        root()->setBackground(sky.get());
        if (dome) {
            // The dome binds its panorama as a 2D texture, clamped like the box.
            static_cast<KXSkyDome*>(sky.get())->getTexture2D()->setName(L"panorama");
            render();
            EXPECT_TRUE(log.containsInOrder({"texture.setAddressMode(0,0,0)", "texture.setAddressMode(0,1,0)",
                                             "texture.setTexture2D(0,panorama,null)"}));
        }

        camera->setPosition(KXPosition(3.0f, -20.0f, 7.0f), KXPosition(3.0f, 0.0f, 7.0f), KXVector(0.0f, 0.0f, 1.0f));
        render();
        EXPECT_TRUE(nearlyEqual(sky->getCamera()->getWorldMatrix(), initial, 1e-5f)) << (dome ? "dome" : "box");

        camera->setPosition(KXPosition(-8.0f, 1.0f, 4.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
        render();
        const KXMatrix turned = sky->getCamera()->getWorldMatrix();
        EXPECT_FALSE(nearlyEqual(turned, initial, 1e-2f));
        // Orientation only: no translation, rows of unit length.
        EXPECT_NEAR(turned.getTranslation().length(), 0.0f, 1e-5f);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(KXVector(turned.get(r, 0), turned.get(r, 1), turned.get(r, 2)).length(), 1.0f, 1e-5f);
        camera->setPosition(KXPosition(-80.0f, 10.0f, 40.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
        render();
        EXPECT_TRUE(nearlyEqual(sky->getCamera()->getWorldMatrix(), turned, 1e-5f));
    }
}

TEST_F(CanvasTest, LightsKeepTheirModelIndicesAndTheFirstEnabledOneIsRemembered)
{
    auto lights = KXMake<KXLightModel>();
    auto off = KXMake<KXPointLight>();
    off->setEnabled(false);
    auto spot = KXMake<KXSpotLight>();
    spot->setPosition(KXPosition(1.0f, 2.0f, 3.0f));
    auto sun = KXMake<KXDirectionalLight>();
    for (auto [light, name] : {std::pair<KXLight*, const wchar_t*>{off.get(), L"off"}, {spot.get(), L"spot"},
                               {sun.get(), L"sun"}}) {
        light->setName(name);
        lights->addLight(light);
    }
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setEnabled(false);
    lights->setAmbientLight(ambient.get());
    root()->setLightModel(lights.get());
    render();
    // Disabled lights (and a disabled ambient light) leave gaps.
    EXPECT_THAT(log.texts("light"), ElementsAre("light.enableNormalization(1)", "light.setLight(1,spot,I)",
                                                "light.setLight(2,sun,I)", "light.reset()"));
    // The first enabled light's position lights tangent frames; a
    // directional light gives the origin.
    EXPECT_EQ(canvas.getFirstLightPosition(), KXPosition(1.0f, 2.0f, 3.0f));
    spot->setEnabled(false);
    render();
    EXPECT_EQ(canvas.getFirstLightPosition(), KXPosition(0.0f, 0.0f, 0.0f));
}

TEST_F(CanvasTest, LightMatrixPlacesFixedLightsInTheSceneAndOthersWithTheCamera)
{
    auto lights = KXMake<KXLightModel>();
    lights->addLight(KXMake<KXPointLight>().get());
    root()->setLightModel(lights.get());
    const KXMatrix world = KXMatrix::rotationAxis(KXVector(0.0f, 0.0f, 1.0f), 0.4f) * KXMatrix::translation(1, 2, 3);
    camera->setWorldMatrix(world);
    const KXMatrix flip = KXMatrix::scaling(1.0f, 1.0f, -1.0f);
    auto lightMatrix = [this]() {
        const KXMatrix m = log.find("light", "setLight").back()->matrix;
        log.clear();
        return m;
    };
    auto isInverseOf = [](const KXMatrix& a, const KXMatrix& b) { return nearlyEqual(a * b, KXMatrix(), 1e-5f); };

    // Fixed: the lights are in the scene and move with the camera's world matrix.
    render();
    EXPECT_TRUE(nearlyEqual(lightMatrix(), world, 1e-6f));
    // Not fixed: given in a camera space looking down +z, carried back into the scene.
    lights->setFixed(false);
    render();
    EXPECT_TRUE(isInverseOf(lightMatrix(), camera->getViewMatrix() * flip));

    // A renderer reporting a non-zero reserved value includes the world matrix.
    renderer.setReserved(1);
    render();
    EXPECT_TRUE(isInverseOf(lightMatrix(), world * camera->getViewMatrix() * flip));
    lights->setFixed(true);
    render();
    EXPECT_TRUE(lightMatrix().isIdentity());
}
