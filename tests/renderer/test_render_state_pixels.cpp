// Render states judged by the pixels they produce: lit quads against the
// fixed-function lighting formula, fog against the fog formulas at a known
// depth, and texture operations against their combiner arithmetic.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXRenderStateMgr.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <d3dx9.h>

#include <algorithm>
#include <cmath>

namespace {

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
};
constexpr DWORD LIT_FVF = D3DFVF_XYZ | D3DFVF_NORMAL;

struct ColoredVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr DWORD COLORED_FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// An 8-bit channel value expected from a colour component in 0..1.
double channel(double component)
{
    return std::clamp(component, 0.0, 1.0) * 255.0;
}

class PixelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_device = kxdxtest::makeDevice(m_window.get());
        ASSERT_TRUE(m_device);
        d3d = m_device->getD3DDevice();
        m_states = std::make_unique<KXDXRenderStateMgr>(m_device.get());
        D3DMATRIX identity;
        D3DXMatrixIdentity(reinterpret_cast<D3DXMATRIX*>(&identity));
        d3d->SetTransform(D3DTS_WORLD, &identity);
        d3d->SetTransform(D3DTS_VIEW, &identity);
        d3d->SetTransform(D3DTS_PROJECTION, &identity);
    }
    void TearDown() override { m_states.reset(); }

    // Draws a quad of four vertices (a strip) on black and returns the
    // presented picture.
    template <class Vertex>
    kxdxtest::PresentedImage draw(const Vertex (&quad)[4], DWORD fvf)
    {
        d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        d3d->BeginScene();
        d3d->SetFVF(fvf);
        d3d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        d3d->EndScene();
        d3d->Present(nullptr, nullptr, nullptr, nullptr);
        return kxdxtest::presentedImage(m_window.get());
    }

    // A quad filling the view at depth 0.5 (identity transforms), facing the
    // eye: every corner is (+-1, +-1, 0.5) with the normal (0, 0, -1).
    kxdxtest::PresentedImage drawLitQuad()
    {
        const LitVertex quad[4] = {{-1, -1, 0.5f, 0, 0, -1},
                                   {-1, 1, 0.5f, 0, 0, -1},
                                   {1, -1, 0.5f, 0, 0, -1},
                                   {1, 1, 0.5f, 0, 0, -1}};
        return draw(quad, LIT_FVF);
    }

    void expectCentre(const kxdxtest::PresentedImage& image, double r, double g, double b)
    {
        ASSERT_FALSE(image.empty());
        const uint32_t c = image.at(image.width / 2, image.height / 2);
        EXPECT_NEAR(r, kxdxtest::red(c), 1.5);
        EXPECT_NEAR(g, kxdxtest::green(c), 1.5);
        EXPECT_NEAR(b, kxdxtest::blue(c), 1.5);
    }

    kxdxtest::TestWindow m_window{64, 64};
    std::unique_ptr<KXDXDevice> m_device;
    IDirect3DDevice9* d3d = nullptr;
    std::unique_ptr<KXDXRenderStateMgr> m_states;
};

} // namespace

// Lighting: colour = emissive + ambient x global ambient
//                  + sum of attenuation x spot x diffuse x light x (N . L).

TEST_F(PixelTest, DirectionalLightFollowsTheLambertTerm)
{
    KXMaterial material;
    // 204, 153, 102 / 255 exactly; emissive red 0.1 packs to 26 / 255.
    material.set(KXColor(1.0f, 1.0f, 1.0f, 1.0f), KXColor(0.8f, 0.6f, 0.4f, 1.0f), KXColor(0, 0, 0, 1),
                 KXColor(0.1f, 0.0f, 0.0f, 1.0f), 0.0f);
    m_states->getMaterialState()->setMaterial(&material);
    KXAmbientLight ambient;
    ambient.setColor(KXColor(0.2f, 0.2f, 0.2f, 1.0f));
    m_states->getLightState()->setAmbientLight(&ambient);
    KXDirectionalLight sun;
    sun.setColor(KXColor(1.0f, 0.5f, 1.0f, 1.0f)); // green 128 / 255
    sun.setDirection(KXVector(0.6f, 0.0f, 0.8f));
    m_states->getLightState()->setLight(0, &sun, KXMatrix());

    const double lambert = 0.8;
    const double ga = 51 / 255.0;
    expectCentre(drawLitQuad(), channel(26 / 255.0 + ga + 0.8 * 1.0 * lambert),
                 channel(ga + 0.6 * (128 / 255.0) * lambert), channel(ga + 0.4 * 1.0 * lambert));
}

TEST_F(PixelTest, PointLightIsAttenuatedWithDistance)
{
    KXMaterial material;
    material.set(KXColor(0, 0, 0, 1), KXColor(1.0f, 0.6f, 0.2f, 1.0f), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1),
                 0.0f);
    m_states->getMaterialState()->setMaterial(&material);
    // One unit in front of the quad's centre: every corner is sqrt(3) away
    // and sees the light at cos = 1 / sqrt(3), so the quad is uniform.
    KXPointLight lamp;
    lamp.setPosition(KXPosition(0.0f, 0.0f, -0.5f));
    lamp.setAttenuation(0.5f, 0.25f, 0.125f);
    m_states->getLightState()->setLight(1, &lamp, KXMatrix());

    const double d = std::sqrt(3.0);
    const double attenuation = 1.0 / (0.5 + 0.25 * d + 0.125 * d * d);
    const double lambert = 1.0 / d;
    expectCentre(drawLitQuad(), channel(attenuation * lambert), channel(0.6 * attenuation * lambert),
                 channel(0.2 * attenuation * lambert));

    // Beyond the range there is no light at all.
    lamp.setRange(1.5f);
    m_states->getLightState()->setLight(1, &lamp, KXMatrix());
    expectCentre(drawLitQuad(), 0.0, 0.0, 0.0);
}

// Between the cones the spot factor is
// ((cos a - cos(outer / 2)) / (cos(inner / 2) - cos(outer / 2)))^concentration.
TEST_F(PixelTest, SpotLightFallsOffBetweenItsCones)
{
    KXMaterial material;
    material.set(KXColor(0, 0, 0, 1), KXColor(1, 1, 1, 1), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), 0.0f);
    m_states->getMaterialState()->setMaterial(&material);
    KXSpotLight spot;
    spot.setPosition(KXPosition(0.0f, 0.0f, -0.5f));
    spot.setDirection(KXVector(0.0f, 0.0f, 1.0f));
    const double pi = 3.14159265358979;
    const double inner = 60.0 * pi / 180.0, outer = 150.0 * pi / 180.0;
    spot.setSpreadAngles(static_cast<float>(inner), static_cast<float>(outer));
    spot.setConcentration(2.0f);
    m_states->getLightState()->setLight(0, &spot, KXMatrix());

    // Every corner is 54.7 degrees off the axis: between 30 and 75.
    const double cosAngle = 1.0 / std::sqrt(3.0);
    const double t = (cosAngle - std::cos(outer / 2)) / (std::cos(inner / 2) - std::cos(outer / 2));
    const double lit = channel(t * t * cosAngle);
    expectCentre(drawLitQuad(), lit, lit, lit);
}

// An inner cone wider than the outer one is narrowed to it: the corners,
// inside the 150-degree outer cone, get the full light, and not Direct3D's
// default light that a refused SetLight would leave enabled.
TEST_F(PixelTest, SpotLightWithCrossedConesLightsWithinItsOuterCone)
{
    KXMaterial material;
    material.set(KXColor(0, 0, 0, 1), KXColor(1, 1, 1, 1), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), 0.0f);
    m_states->getMaterialState()->setMaterial(&material);
    KXSpotLight spot;
    spot.setPosition(KXPosition(0.0f, 0.0f, -0.5f));
    spot.setDirection(KXVector(0.0f, 0.0f, 1.0f));
    spot.setOuterSpreadAngle(150.0f * 3.14159265f / 180.0f);
    spot.setInnerSpreadAngle(170.0f * 3.14159265f / 180.0f);
    m_states->getLightState()->setLight(0, &spot, KXMatrix());
    const double lit = channel(1.0 / std::sqrt(3.0));
    expectCentre(drawLitQuad(), lit, lit, lit);
}

// Fog at a known eye depth: the quad lies at depth 5 under a perspective
// projection, so per-pixel fog reads the eye depth.

namespace {

struct FogCase {
    const char* name;
    int type; // 0 linear, 1 exponential, 2 squared exponential
    int vertexFog;
    int rangeFog;
    double clear; // the expected share of the object's colour
};

class FogPixelTest : public PixelTest, public ::testing::WithParamInterface<FogCase>
{
};

} // namespace

TEST_P(FogPixelTest, BlendsTheFogColourByTheFogFactor)
{
    const FogCase c = GetParam();
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, static_cast<float>(D3DX_PI / 2), 1.0f, 1.0f, 100.0f);
    d3d->SetTransform(D3DTS_PROJECTION, &projection);
    m_states->getLightState()->enableLighting(0);

    KXLinearFog linear;
    linear.setFrontDistance(2.0f);
    linear.setBackDistance(c.vertexFog ? 20.0f : 8.0f);
    KXExponentialFog exponential;
    exponential.setDensity(0.1f);
    exponential.setExpMode(c.type == 2 ? 1 : 0);
    KXFog* fog = c.type == 0 ? static_cast<KXFog*>(&linear) : &exponential;
    fog->setColor(KXColor(0.0f, 0.0f, 1.0f, 1.0f));
    KXFogState* state = m_states->getFogState();
    state->setVertexFog(c.vertexFog);
    state->setRangeFog(c.rangeFog);
    state->setFog(fog);
    state->enableFog(1);

    // The quad's corners are 15 away from the eye, its plane 5.
    const ColoredVertex quad[4] = {{-10, -10, 5, 0xFFFF0000, 0, 0},
                                   {-10, 10, 5, 0xFFFF0000, 0, 1},
                                   {10, -10, 5, 0xFFFF0000, 1, 0},
                                   {10, 10, 5, 0xFFFF0000, 1, 1}};
    expectCentre(draw(quad, COLORED_FVF), channel(c.clear), 0.0, channel(1.0 - c.clear));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FogPixelTest,
    ::testing::Values(FogCase{"LinearPerPixel", 0, 0, 0, (8.0 - 5.0) / (8.0 - 2.0)},
                      FogCase{"ExponentialPerPixel", 1, 0, 0, std::exp(-0.5)},
                      FogCase{"SquaredExponentialPerPixel", 2, 0, 0, std::exp(-0.25)},
                      FogCase{"LinearPerVertex", 0, 1, 0, (20.0 - 5.0) / (20.0 - 2.0)},
                      FogCase{"LinearPerVertexByRange", 0, 1, 1, (20.0 - 15.0) / (20.0 - 2.0)}),
    [](const ::testing::TestParamInfo<FogCase>& info) { return std::string(info.param.name); });

// Texture operations: a texture of (102, 51, 204) over vertices of
// (128, 64, 32), with lighting off so that the current colour is the
// vertex colour.

namespace {

struct OperationCase {
    const char* name;
    KXTextureAttributes::KXTEXTUREOPERATION operation;
    KXTextureAttributes::KXTEXTUREAGRVAL argument0;
    KXTextureAttributes::KXTEXTUREAGRVAL argument1;
    double r, g, b;
};

class TextureOperationPixelTest : public PixelTest, public ::testing::WithParamInterface<OperationCase>
{
};

constexpr double TR = 102, TG = 51, TB = 204; // texture
constexpr double DR = 128, DG = 64, DB = 32;  // vertex colour
constexpr double HALF = 128 / 255.0;          // alpha of the blend operation's factor

double clamp255(double v)
{
    return std::clamp(v, 0.0, 255.0);
}

} // namespace

TEST_P(TextureOperationPixelTest, CombinesTextureAndVertexColour)
{
    const OperationCase c = GetParam();
    KXRawImage2D raw(4, 4);
    raw.createData();
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            raw.setColor(x, y, KXColor(0.4f, 0.2f, 0.8f, 1.0f));
    KXRef<KXImage2D> image = KXMake<KXImage2D>();
    ASSERT_EQ(0, KXImageUtils::encode(&raw, image.get(), KXImage2D::KXIMAGE2D_PNG));
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    texture->setImage2D(image.get());
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    attributes->setTextureOperation(c.operation);
    attributes->setTextureArgument(0, c.argument0);
    attributes->setTextureArgument(1, c.argument1);

    m_states->getLightState()->enableLighting(0);
    m_states->getTextureState()->setTexture2D(0, texture.get(), attributes.get());
    const ColoredVertex quad[4] = {{-1, -1, 0.5f, 0xFF804020, 0, 1},
                                   {-1, 1, 0.5f, 0xFF804020, 0, 0},
                                   {1, -1, 0.5f, 0xFF804020, 1, 1},
                                   {1, 1, 0.5f, 0xFF804020, 1, 0}};
    expectCentre(draw(quad, COLORED_FVF), c.r, c.g, c.b);

    // reset brings back the plain modulation of stage 0, without a texture:
    // the vertex colour alone.
    m_states->getTextureState()->reset();
    expectCentre(draw(quad, COLORED_FVF), DR, DG, DB);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TextureOperationPixelTest,
    ::testing::Values(
        OperationCase{"Modulate", KXTextureAttributes::KXTEXTUREOPERATION_MODULATE,
                      KXTextureAttributes::KXTEXTUREARG_TEXTURE, KXTextureAttributes::KXTEXTUREARG_CURRENT,
                      TR * DR / 255, TG * DG / 255, TB * DB / 255},
        OperationCase{"Modulate2x", KXTextureAttributes::KXTEXTUREOPERATION_MODULATE2X,
                      KXTextureAttributes::KXTEXTUREARG_TEXTURE, KXTextureAttributes::KXTEXTUREARG_CURRENT,
                      2 * TR * DR / 255, 2 * TG * DG / 255, 2 * TB * DB / 255},
        OperationCase{"Add", KXTextureAttributes::KXTEXTUREOPERATION_ADD, KXTextureAttributes::KXTEXTUREARG_TEXTURE,
                      KXTextureAttributes::KXTEXTUREARG_CURRENT, clamp255(TR + DR), clamp255(TG + DG),
                      clamp255(TB + DB)},
        OperationCase{"SubtractDiffuseMinusTexture", KXTextureAttributes::KXTEXTUREOPERATION_SUBTRACT,
                      KXTextureAttributes::KXTEXTUREARG_DIFFUSE, KXTextureAttributes::KXTEXTUREARG_TEXTURE,
                      clamp255(DR - TR), clamp255(DG - TG), clamp255(DB - TB)},
        OperationCase{"BlendHalfAndHalf", KXTextureAttributes::KXTEXTUREOPERATION_BLEND,
                      KXTextureAttributes::KXTEXTUREARG_TEXTURE, KXTextureAttributes::KXTEXTUREARG_CURRENT,
                      TR * HALF + DR * (1 - HALF), TG * HALF + DG * (1 - HALF), TB * HALF + DB * (1 - HALF)},
        OperationCase{"Replace", KXTextureAttributes::KXTEXTUREOPERATION_REPLACE,
                      KXTextureAttributes::KXTEXTUREARG_TEXTURE, KXTextureAttributes::KXTEXTUREARG_CURRENT, TR, TG,
                      TB}),
    [](const ::testing::TestParamInfo<OperationCase>& info) { return std::string(info.param.name); });
