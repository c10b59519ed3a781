// The render-state manager and its non-texture families on the device:
// defaults kept across device resets, nothing touched after a release,
// depth-bias capabilities, lights Direct3D refuses, and lit and fogged
// quads against the fixed-function formulas.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXClipState.h"
#include "renderer/dx/KXDXOffScreenTextureState.h"
#include "renderer/dx/KXDXRenderStateMgr.h"
#include "renderer/dx/KXDXZBufferState.h"
#include "sceneapi/KXClipPlane.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXTexture2D.h"

#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

using kxdxtest::renderState;

DWORD bitsOf(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// An 8-bit channel value expected from a colour component in 0..1.
double channel(double component)
{
    return std::clamp(component, 0.0, 1.0) * 255.0;
}

// One state of each family, its default, and a value no default has (cull
// mode and material where Direct3D's own defaults differ from ours).
const struct {
    D3DRENDERSTATETYPE state;
    DWORD ours, scrambled;
} FAMILY_DEFAULTS[] = {
    {D3DRS_CULLMODE, D3DCULL_NONE, D3DCULL_CCW},      {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, D3DCMP_GREATER},
    {D3DRS_ALPHABLENDENABLE, FALSE, TRUE},            {D3DRS_STENCILENABLE, FALSE, TRUE},
    {D3DRS_FOGENABLE, FALSE, TRUE},                   {D3DRS_AMBIENT, 0, 0x12345678},
    {D3DRS_CLIPPLANEENABLE, 0, 0x3F},                 {D3DRS_DEPTHBIAS, 0, 0x3F000000}, // 0.0f, 0.5f
};

// A window manager on the device and identity transforms: positions are
// clip coordinates, or eye coordinates under a projection the test sets.
class RenderStatesTest : public kxdxtest::DeviceTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(DeviceTest::SetUp());
        m_states = std::make_unique<KXDXRenderStateMgr>(device.get());
        kxdxtest::setIdentityTransforms(d3d());
    }

    BOOL lightEnabled(DWORD index) const
    {
        BOOL enabled = 2;
        d3d()->GetLightEnable(index, &enabled);
        return enabled;
    }
    void scrambleDefaults() const
    {
        for (const auto& f : FAMILY_DEFAULTS)
            d3d()->SetRenderState(f.state, f.scrambled);
        d3d()->LightEnable(3, TRUE);
        D3DMATERIAL9 zero{};
        d3d()->SetMaterial(&zero);
    }
    void expectFamilyDefaults() const
    {
        for (const auto& f : FAMILY_DEFAULTS)
            EXPECT_EQ(f.ours, renderState(d3d(), f.state)) << "state " << f.state;
        EXPECT_FALSE(lightEnabled(3));
        D3DMATERIAL9 m{};
        d3d()->GetMaterial(&m);
        EXPECT_EQ(1.0f, m.Diffuse.r);
        EXPECT_EQ(0.0f, m.Diffuse.a);
    }

    // A quad of corners (+-e, +-e, z) facing the eye (normals (0, 0, -1)),
    // of the vertex colour where lighting is off, drawn on black; the centre
    // of the presented picture is expected to be (r, g, b).
    void expectQuad(double r, double g, double b, D3DCOLOR color = 0, float z = 0.5f, float e = 1.0f)
    {
        struct Vertex {
            float x, y, z, nx, ny, nz;
            D3DCOLOR diffuse;
        };
        const Vertex quad[4] = {{-e, -e, z, 0, 0, -1, color}, {-e, e, z, 0, 0, -1, color},
                                {e, -e, z, 0, 0, -1, color}, {e, e, z, 0, 0, -1, color}};
        d3d()->SetRenderState(D3DRS_COLORVERTEX, FALSE);
        d3d()->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
        const kxdxtest::PresentedImage image = kxdxtest::drawFrame(
            d3d(), window.get(), [&] { d3d()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)); });
        ASSERT_FALSE(image.empty());
        const uint32_t c = image.at(image.width / 2, image.height / 2);
        EXPECT_NEAR(r, kxdxtest::red(c), 1.5);
        EXPECT_NEAR(g, kxdxtest::green(c), 1.5);
        EXPECT_NEAR(b, kxdxtest::blue(c), 1.5);
    }

    std::unique_ptr<KXDXRenderStateMgr> m_states;
};

} // namespace

// A manager sets our defaults as it is made. Direct3D's Reset brings back
// Direct3D's (counter-clockwise culling, a black material); the manager
// puts ours back at once. One destroyed before the reset no longer hears
// it (ASan).
TEST_F(RenderStatesTest, ManagersSetTheFamiliesDefaultsAndRestoreThemAfterADeviceReset)
{
    scrambleDefaults();
    {
        KXDXOffScreenRenderStateMgr offScreen(device.get());
        expectFamilyDefaults();
        EXPECT_NE(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(offScreen.getTextureState()));
    }
    EXPECT_EQ(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(m_states->getTextureState()));
    scrambleDefaults();
    KXClipPlane plane(KXPlane(0.0f, 0.0f, 1.0f, 0.0f));
    m_states->getClipState()->setClipPlane(1, &plane, KXMatrix());
    device->reset();
    ASSERT_EQ(KXDevice::KXDEVICESTATUS_USABLE, device->getStatus());
    expectFamilyDefaults();
    EXPECT_TRUE(static_cast<KXDXClipState*>(m_states->getClipState())->getPlanes().empty());
}

// After release nothing may touch the device, and the manager, with the
// textures the off-screen state keeps, outlives the device object (ASan).
TEST_F(RenderStatesTest, StatesDoNothingOnceTheDeviceIsReleasedAndOutliveIt)
{
    auto manager = std::make_unique<KXDXOffScreenRenderStateMgr>(device.get());
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    texture->setImage2D(kxdxtest::solidPng(KXColor(1.0f, 0.0f, 0.0f, 1.0f)).get());
    manager->getTextureState()->setTexture2D(0, texture.get(), nullptr);
    device->release();
    EXPECT_EQ(nullptr, manager->getDevice());
    EXPECT_EQ(nullptr, static_cast<KXDXTextureState*>(manager->getTextureState())->getDXDevice());
    device.reset();

    KXDirectionalLight light;
    KXLinearFog fog;
    manager->resetAll();
    manager->getLightState()->setLight(0, &light, KXMatrix());
    manager->getZBufferState()->setDepthBias(1.0f, 1.0f);
    manager->getStencilState()->clear();
    manager->getFogState()->setFog(&fog);
    manager->getTextureState()->setTexture2D(0, texture.get(), nullptr);
    manager->getTextureState()->setAddressMode(1, 0, 0);
    EXPECT_TRUE(static_cast<KXDXTextureState*>(manager->getTextureState())->getTouchedStages().empty());
}

// Without plain depth bias nothing is set, even where the slope-scaled bias
// exists; the slope-scaled bias is set only where the adapter has it. The
// defaults follow the same rules.
TEST(DepthBias, SetsOnlyTheBiasesTheAdapterSupports)
{
    const DWORD sentinel = bitsOf(-7.0f);
    for (int supported = 0; supported < 4; ++supported) {
        const bool depthBias = supported & 1, slopeScaled = supported & 2;
        SCOPED_TRACE(testing::Message() << "depth bias " << depthBias << ", slope-scaled " << slopeScaled);
        kxdxtest::CapsOverride caps;
        caps.caps().RasterCaps &= ~(D3DPRASTERCAPS_DEPTHBIAS | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS);
        caps.caps().RasterCaps |= (depthBias ? D3DPRASTERCAPS_DEPTHBIAS : 0) |
                                  (slopeScaled ? D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS : 0);
        caps.apply();
        kxdxtest::TestWindow window(32, 32);
        auto device = kxdxtest::makeDevice(window.get());
        ASSERT_TRUE(device);
        IDirect3DDevice9* d3d = device->getD3DDevice();
        const auto clearBiases = [d3d, sentinel] {
            d3d->SetRenderState(D3DRS_DEPTHBIAS, sentinel);
            d3d->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, sentinel);
        };
        clearBiases();
        KXDXZBufferState zBuffer(device.get());
        EXPECT_EQ(depthBias ? bitsOf(0.0f) : sentinel, renderState(d3d, D3DRS_DEPTHBIAS));
        EXPECT_EQ(slopeScaled ? bitsOf(0.0f) : sentinel, renderState(d3d, D3DRS_SLOPESCALEDEPTHBIAS));
        clearBiases();
        zBuffer.setDepthBias(0.25f, 2.5f);
        EXPECT_EQ(depthBias ? bitsOf(0.25f) : sentinel, renderState(d3d, D3DRS_DEPTHBIAS));
        EXPECT_EQ(depthBias && slopeScaled ? bitsOf(2.5f) : sentinel, renderState(d3d, D3DRS_SLOPESCALEDEPTHBIAS));
    }
}

// A light without a Direct3D form sets nothing; one Direct3D refuses (here
// a direction flattened to nothing) must not leave its slot lit with the
// light it held before. Ambient components outside 0..1 are clamped before
// packing, so none spills into the neighbouring byte; 0.5 truncates to 127.
TEST_F(RenderStatesTest, LightStateSetsOnlyWhatDirect3DTakes)
{
    class FalseSpotLight : public KXPointLight
    {
    public:
        KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_SPOT; }
    };
    KXLightState* state = m_states->getLightState();
    FalseSpotLight falseSpot;
    state->setLight(1, &falseSpot, KXMatrix());
    EXPECT_FALSE(lightEnabled(1));
    KXDirectionalLight sun;
    state->setLight(3, &sun, KXMatrix());
    ASSERT_TRUE(lightEnabled(3));
    state->setLight(3, &sun, KXMatrix::scaling(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(lightEnabled(3));

    KXAmbientLight ambient;
    ambient.setColor(KXColor(1.5f, -0.5f, 0.5f, 1.0f));
    state->setAmbientLight(&ambient);
    EXPECT_EQ(0xFFFF007Fu, renderState(d3d(), D3DRS_AMBIENT));
}

// Lighting: colour = emissive + ambient x global ambient
//                  + sum of attenuation x spot x diffuse x light x (N . L).
TEST_F(RenderStatesTest, LightsFollowTheLightingFormula)
{
    KXMaterial material;
    const auto setMaterial = [&](const KXColor& diffuse, const KXColor& emissive) {
        material.set(KXColor(1, 1, 1, 1), diffuse, KXColor(0, 0, 0, 1), emissive, 0.0f);
        m_states->getMaterialState()->setMaterial(&material);
    };
    KXLightState* lights = m_states->getLightState();
    // Directional: the world matrix turns the direction to (0.6, 0, 0.8);
    // its scale and translation play no part. Diffuse 204, 153, 102 / 255
    // exactly; emissive red 0.1 packs to 26 / 255, light green 0.5 to 128.
    setMaterial(KXColor(0.8f, 0.6f, 0.4f, 1.0f), KXColor(0.1f, 0.0f, 0.0f, 1.0f));
    KXAmbientLight ambient;
    ambient.setColor(KXColor(0.2f, 0.2f, 0.2f, 1.0f));
    lights->setAmbientLight(&ambient);
    KXDirectionalLight sun;
    sun.setColor(KXColor(1.0f, 0.5f, 1.0f, 1.0f));
    sun.setDirection(KXVector(0.0f, -0.6f, 0.8f));
    lights->setLight(0, &sun, KXMatrix::scaling(3.0f, 3.0f, 3.0f) * KXMatrix::rotationZ(1.5707964f) *
                                  KXMatrix::translation(10.0f, 20.0f, 30.0f));
    const double ga = 51 / 255.0;
    expectQuad(channel(26 / 255.0 + ga + 0.8 * 0.8), channel(ga + 0.6 * (128 / 255.0) * 0.8), channel(ga + 0.4 * 0.8));

    // Spot, carried to (0, 0, -0.5) facing the quad: every corner is sqrt(3)
    // away and 54.7 degrees off the axis, between the cones at 30 and 75:
    // attenuation x ((cos a - cos(outer / 2)) / (cos(inner / 2) - cos(outer / 2)))^concentration x cos a.
    // An inner cone wider than the outer one is narrowed to it: the full
    // light, not Direct3D's default light that a refused SetLight would
    // leave enabled. Beyond the range, no light at all.
    ambient.setColor(KXColor(0, 0, 0, 1));
    lights->setAmbientLight(&ambient);
    setMaterial(KXColor(1.0f, 0.6f, 0.2f, 1.0f), KXColor(0, 0, 0, 1));
    KXSpotLight spot;
    spot.setPosition(KXPosition(-10.0f, 0.0f, -0.5f));
    spot.setDirection(KXVector(0.0f, 0.0f, 1.0f));
    spot.setAttenuation(0.5f, 0.25f, 0.125f);
    const KXMatrix world = KXMatrix::translation(10.0f, 0.0f, 0.0f);
    const double pi = 3.14159265358979, inner = pi / 3, outer = 150.0 * pi / 180.0;
    spot.setSpreadAngles(static_cast<float>(inner), static_cast<float>(outer));
    spot.setConcentration(2.0f);
    lights->setLight(0, &spot, world);
    const double d = std::sqrt(3.0), cosAngle = 1.0 / d, attenuation = 1.0 / (0.5 + 0.25 * d + 0.125 * d * d);
    const double t = (cosAngle - std::cos(outer / 2)) / (std::cos(inner / 2) - std::cos(outer / 2));
    const double lit = attenuation * t * t * cosAngle;
    expectQuad(channel(lit), channel(0.6 * lit), channel(0.2 * lit));
    spot.setInnerSpreadAngle(static_cast<float>(170.0 * pi / 180.0));
    lights->setLight(0, &spot, world);
    const double full = attenuation * cosAngle;
    expectQuad(channel(full), channel(0.6 * full), channel(0.2 * full));
    spot.setRange(1.5f);
    lights->setLight(0, &spot, world);
    expectQuad(0.0, 0.0, 0.0);
}

// Fog at a known eye depth: the quad lies at depth 5 under a perspective
// projection, its corners 15 away from the eye, so per-pixel fog reads the
// eye depth, per-vertex fog by range the corners' distance. The cases run
// one after the other on one device: per-vertex fog must take effect after
// per-pixel fog was set.
TEST_F(RenderStatesTest, FogBlendsTheFogColourByTheFogFactor)
{
    const struct {
        const char* name;
        int type; // 0 linear, 1 exponential, 2 squared exponential
        int vertexFog, rangeFog;
        double clear; // the expected share of the object's colour
    } cases[] = {{"linear per pixel", 0, 0, 0, (8.0 - 5.0) / (8.0 - 2.0)},
                 {"exponential per pixel", 1, 0, 0, std::exp(-0.5)},
                 {"squared exponential per pixel", 2, 0, 0, std::exp(-0.25)},
                 {"linear per vertex", 0, 1, 0, (20.0 - 5.0) / (20.0 - 2.0)},
                 {"linear per vertex by range", 0, 1, 1, (20.0 - 15.0) / (20.0 - 2.0)}};
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, static_cast<float>(D3DX_PI / 2), 1.0f, 1.0f, 100.0f);
    d3d()->SetTransform(D3DTS_PROJECTION, &projection);
    m_states->getLightState()->enableLighting(0);
    KXFogState* state = m_states->getFogState();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KXLinearFog linear;
        linear.setFrontDistance(2.0f);
        linear.setBackDistance(c.vertexFog ? 20.0f : 8.0f);
        KXExponentialFog exponential;
        exponential.setDensity(0.1f);
        exponential.setExpMode(c.type == 2 ? 1 : 0);
        KXFog* fog = c.type == 0 ? static_cast<KXFog*>(&linear) : &exponential;
        fog->setColor(KXColor(0.0f, 0.0f, 1.0f, 1.0f));
        state->setVertexFog(c.vertexFog);
        state->setRangeFog(c.rangeFog);
        state->setFog(fog);
        state->enableFog(1);
        expectQuad(channel(c.clear), 0.0, channel(1.0 - c.clear), 0xFFFF0000, 5.0f, 10.0f);
    }
}

// A clip plane carried by the world matrix keeps the points it held, and the
// side each point was on, under rotations, non-uniform scales and mirrors.
TEST(ClipPlaneTransform, CarriedPlaneHoldsTheCarriedPoints)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    const KXMatrix worlds[] = {
        KXMatrix::rotationAxis(KXVector(1.0f, 2.0f, 3.0f), 0.7f) * KXMatrix::translation(4.0f, -1.0f, 2.0f),
        KXMatrix::scaling(3.0f, 0.5f, 1.0f) * KXMatrix::rotationZ(0.4f) * KXMatrix::translation(1.0f, 2.0f, 3.0f),
        KXMatrix::scaling(-1.0f, 2.0f, 1.0f),
    };
    for (const KXMatrix& world : worlds) {
        for (int round = 0; round < 20; ++round) {
            KXPlane plane(value(random), value(random), value(random), value(random));
            if (plane.getNormal().length() < 0.1f)
                continue;
            const KXPlane carried = KXDXClipState::transformPlane(plane, world);
            EXPECT_NEAR(1.0f, carried.getNormal().length(), 1e-5f);
            const KXVector n = plane.getNormal();
            for (int k = 0; k < 5; ++k) {
                const KXPosition p(value(random), value(random), value(random));
                const float before = plane.distance(p);
                const KXPosition onPlane = p - n * (before / n.dot(n));
                EXPECT_NEAR(0.0f, carried.distance(world.transform(onPlane)), 1e-4f);
                if (std::fabs(before) > 1e-2f) {
                    EXPECT_EQ(before > 0.0f, carried.distance(world.transform(p)) > 0.0f);
                }
            }
        }
    }
}
