// Render states judged by the pixels they produce: lit quads against the
// fixed-function lighting formula, fog against the fog formulas at a known
// depth, and texture operations against their combiner arithmetic.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXRenderStateMgr.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXMatrix.h"
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
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
            d3d->SetTransform(t, &identity);
    }

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
    // The world matrix turns the direction to (0.6, 0, 0.8); its scale and
    // translation play no part.
    KXDirectionalLight sun;
    sun.setColor(KXColor(1.0f, 0.5f, 1.0f, 1.0f)); // green 128 / 255
    sun.setDirection(KXVector(0.0f, -0.6f, 0.8f));
    m_states->getLightState()->setLight(0, &sun, KXMatrix::scaling(3.0f, 3.0f, 3.0f) *
                                                     KXMatrix::rotationZ(1.5707964f) *
                                                     KXMatrix::translation(10.0f, 20.0f, 30.0f));

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
// An inner cone wider than the outer one is narrowed to it: the corners get
// the full light, not Direct3D's default light that a refused SetLight
// would leave enabled.
TEST_F(PixelTest, SpotLightFallsOffBetweenItsCones)
{
    KXMaterial material;
    material.set(KXColor(0, 0, 0, 1), KXColor(1, 1, 1, 1), KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), 0.0f);
    m_states->getMaterialState()->setMaterial(&material);
    // Carried by the world matrix to (0, 0, -0.5), facing the quad.
    KXSpotLight spot;
    spot.setPosition(KXPosition(-10.0f, 0.0f, -0.5f));
    spot.setDirection(KXVector(0.0f, 0.0f, 1.0f));
    const KXMatrix world = KXMatrix::translation(10.0f, 0.0f, 0.0f);
    const double pi = 3.14159265358979;
    const double inner = 60.0 * pi / 180.0, outer = 150.0 * pi / 180.0;
    spot.setSpreadAngles(static_cast<float>(inner), static_cast<float>(outer));
    spot.setConcentration(2.0f);
    m_states->getLightState()->setLight(0, &spot, world);

    // Every corner is 54.7 degrees off the axis: between 30 and 75.
    const double cosAngle = 1.0 / std::sqrt(3.0);
    const double t = (cosAngle - std::cos(outer / 2)) / (std::cos(inner / 2) - std::cos(outer / 2));
    const double lit = channel(t * t * cosAngle);
    expectCentre(drawLitQuad(), lit, lit, lit);

    spot.setInnerSpreadAngle(static_cast<float>(170.0 * pi / 180.0));
    m_states->getLightState()->setLight(0, &spot, world);
    expectCentre(drawLitQuad(), channel(cosAngle), channel(cosAngle), channel(cosAngle));
}

// Fog at a known eye depth: the quad lies at depth 5 under a perspective
// projection, its corners 15 away from the eye, so per-pixel fog reads the
// eye depth, per-vertex fog by range the corners' distance.
TEST_F(PixelTest, FogBlendsTheFogColourByTheFogFactor)
{
    struct FogCase {
        const char* name;
        int type; // 0 linear, 1 exponential, 2 squared exponential
        int vertexFog, rangeFog;
        double clear; // the expected share of the object's colour
    };
    const FogCase cases[] = {{"linear per pixel", 0, 0, 0, (8.0 - 5.0) / (8.0 - 2.0)},
                             {"exponential per pixel", 1, 0, 0, std::exp(-0.5)},
                             {"squared exponential per pixel", 2, 0, 0, std::exp(-0.25)},
                             {"linear per vertex", 0, 1, 0, (20.0 - 5.0) / (20.0 - 2.0)},
                             {"linear per vertex by range", 0, 1, 1, (20.0 - 15.0) / (20.0 - 2.0)}};
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, static_cast<float>(D3DX_PI / 2), 1.0f, 1.0f, 100.0f);
    d3d->SetTransform(D3DTS_PROJECTION, &projection);
    m_states->getLightState()->enableLighting(0);
    const ColoredVertex quad[4] = {{-10, -10, 5, 0xFFFF0000, 0, 0},
                                   {-10, 10, 5, 0xFFFF0000, 0, 1},
                                   {10, -10, 5, 0xFFFF0000, 1, 0},
                                   {10, 10, 5, 0xFFFF0000, 1, 1}};
    for (const FogCase& c : cases) {
        SCOPED_TRACE(c.name);
        KXLinearFog linear;
        linear.setFrontDistance(2.0f);
        linear.setBackDistance(c.vertexFog ? 20.0f : 8.0f);
        KXExponentialFog exponential;
        exponential.setDensity(0.1f);
        exponential.setExpMode(c.type == 2 ? 1 : 0);
        KXFog* fog = c.type == 0 ? static_cast<KXFog*>(&linear) : &exponential;
        fog->setColor(KXColor(0.0f, 0.0f, 1.0f, 1.0f));
        // The cases run one after the other on one device: per-vertex fog
        // must take effect after per-pixel fog was set.
        KXFogState* state = m_states->getFogState();
        state->setVertexFog(c.vertexFog);
        state->setRangeFog(c.rangeFog);
        state->setFog(fog);
        state->enableFog(1);
        expectCentre(draw(quad, COLORED_FVF), channel(c.clear), 0.0, channel(1.0 - c.clear));
    }
}

// Texture operations: a texture of (102, 51, 204) over vertices of
// (128, 64, 32), with lighting off so that the current colour is the
// vertex colour. The blend operation weighs both by the factor alpha 128.
TEST_F(PixelTest, TextureOperationsCombineTextureAndVertexColour)
{
    using A = KXTextureAttributes;
    struct OperationCase {
        const char* name;
        A::KXTEXTUREOPERATION operation;
        A::KXTEXTUREAGRVAL argument0, argument1;
        double (*combine)(double texture, double vertex);
    };
    const OperationCase cases[] = {
        {"modulate", A::KXTEXTUREOPERATION_MODULATE, A::KXTEXTUREARG_TEXTURE, A::KXTEXTUREARG_CURRENT,
         [](double t, double d) { return t * d / 255; }},
        {"modulate 2x", A::KXTEXTUREOPERATION_MODULATE2X, A::KXTEXTUREARG_TEXTURE, A::KXTEXTUREARG_CURRENT,
         [](double t, double d) { return 2 * t * d / 255; }},
        {"add", A::KXTEXTUREOPERATION_ADD, A::KXTEXTUREARG_TEXTURE, A::KXTEXTUREARG_CURRENT,
         [](double t, double d) { return std::min(t + d, 255.0); }},
        {"subtract diffuse minus texture", A::KXTEXTUREOPERATION_SUBTRACT, A::KXTEXTUREARG_DIFFUSE,
         A::KXTEXTUREARG_TEXTURE, [](double t, double d) { return std::max(d - t, 0.0); }},
        {"blend half and half", A::KXTEXTUREOPERATION_BLEND, A::KXTEXTUREARG_TEXTURE, A::KXTEXTUREARG_CURRENT,
         [](double t, double d) { return t * (128 / 255.0) + d * (127 / 255.0); }},
        {"replace", A::KXTEXTUREOPERATION_REPLACE, A::KXTEXTUREARG_TEXTURE, A::KXTEXTUREARG_CURRENT,
         [](double t, double) { return t; }},
    };
    KXRef<KXImage2D> image = kxdxtest::solidPng(KXColor(0.4f, 0.2f, 0.8f, 1.0f));
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    texture->setImage2D(image.get());
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    m_states->getLightState()->enableLighting(0);
    const ColoredVertex quad[4] = {{-1, -1, 0.5f, 0xFF804020, 0, 1},
                                   {-1, 1, 0.5f, 0xFF804020, 0, 0},
                                   {1, -1, 0.5f, 0xFF804020, 1, 1},
                                   {1, 1, 0.5f, 0xFF804020, 1, 0}};
    for (const OperationCase& c : cases) {
        SCOPED_TRACE(c.name);
        attributes->setTextureOperation(c.operation);
        attributes->setTextureArgument(0, c.argument0);
        attributes->setTextureArgument(1, c.argument1);
        m_states->getTextureState()->setTexture2D(0, texture.get(), attributes.get());
        expectCentre(draw(quad, COLORED_FVF), c.combine(102, 128), c.combine(51, 64), c.combine(204, 32));
    }
    // reset brings back the plain modulation of stage 0, without a texture:
    // the vertex colour alone.
    m_states->getTextureState()->reset();
    expectCentre(draw(quad, COLORED_FVF), 128, 64, 32);
}
