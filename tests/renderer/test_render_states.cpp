// The render-state manager and the non-texture families, read back from the
// device: code tables, defaults, resets, depth-bias capabilities, lights,
// materials, fog and clip planes, and how the manager follows device resets
// and releases.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXBlendState.h"
#include "renderer/dx/KXDXClipState.h"
#include "renderer/dx/KXDXFogState.h"
#include "renderer/dx/KXDXLightState.h"
#include "renderer/dx/KXDXMaterialState.h"
#include "renderer/dx/KXDXOffScreenTextureState.h"
#include "renderer/dx/KXDXPolyState.h"
#include "renderer/dx/KXDXRenderStateMgr.h"
#include "renderer/dx/KXDXStencilState.h"
#include "renderer/dx/KXDXZBufferState.h"
#include "sceneapi/KXClipPlane.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXMatrix.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

DWORD bitsOf(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

class RenderStatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_device = kxdxtest::makeDevice(m_window.get());
        ASSERT_TRUE(m_device);
        d3d = m_device->getD3DDevice();
    }

    DWORD renderState(D3DRENDERSTATETYPE state) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d->GetRenderState(state, &value));
        return value;
    }
    BOOL lightEnabled(DWORD index) const
    {
        BOOL enabled = 2;
        d3d->GetLightEnable(index, &enabled);
        return enabled;
    }
    D3DLIGHT9 light(DWORD index) const
    {
        D3DLIGHT9 result{};
        EXPECT_EQ(D3D_OK, d3d->GetLight(index, &result));
        return result;
    }
    D3DMATERIAL9 material() const
    {
        D3DMATERIAL9 result{};
        d3d->GetMaterial(&result);
        return result;
    }

    kxdxtest::TestWindow m_window{64, 64};
    std::unique_ptr<KXDXDevice> m_device;
    IDirect3DDevice9* d3d = nullptr;
};

void expectColor(const D3DCOLORVALUE& c, float r, float g, float b, float a)
{
    EXPECT_FLOAT_EQ(r, c.r);
    EXPECT_FLOAT_EQ(g, c.g);
    EXPECT_FLOAT_EQ(b, c.b);
    EXPECT_FLOAT_EQ(a, c.a);
}

// Puts every render state that a family's defaults cover to Direct3D's
// values or to values no default has.
void scrambleDefaults(IDirect3DDevice9* d3d)
{
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    d3d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d3d->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d3d->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    d3d->SetRenderState(D3DRS_STENCILREF, 7);
    d3d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d3d->SetRenderState(D3DRS_AMBIENT, 0x12345678);
    d3d->SetRenderState(D3DRS_CLIPPLANEENABLE, 0x3F);
    d3d->SetRenderState(D3DRS_DEPTHBIAS, bitsOf(0.5f));
    d3d->LightEnable(3, TRUE);
    D3DMATERIAL9 zero{};
    d3d->SetMaterial(&zero);
}

void expectFamilyDefaults(IDirect3DDevice9* d3d)
{
    auto rs = [d3d](D3DRENDERSTATETYPE s) {
        DWORD v = 0xBAADF00D;
        d3d->GetRenderState(s, &v);
        return v;
    };
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), rs(D3DRS_CULLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DSHADE_GOURAUD), rs(D3DRS_SHADEMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DFILL_SOLID), rs(D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DZB_TRUE), rs(D3DRS_ZENABLE));
    EXPECT_EQ(static_cast<DWORD>(TRUE), rs(D3DRS_ZWRITEENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_LESSEQUAL), rs(D3DRS_ZFUNC));
    EXPECT_EQ(bitsOf(0.0f), rs(D3DRS_DEPTHBIAS));
    EXPECT_EQ(bitsOf(0.0f), rs(D3DRS_SLOPESCALEDEPTHBIAS));
    EXPECT_EQ(static_cast<DWORD>(FALSE), rs(D3DRS_ALPHABLENDENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ONE), rs(D3DRS_SRCBLEND));
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ZERO), rs(D3DRS_DESTBLEND));
    EXPECT_EQ(static_cast<DWORD>(D3DBLENDOP_ADD), rs(D3DRS_BLENDOP));
    EXPECT_EQ(static_cast<DWORD>(FALSE), rs(D3DRS_STENCILENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_ALWAYS), rs(D3DRS_STENCILFUNC));
    EXPECT_EQ(0u, rs(D3DRS_STENCILREF));
    EXPECT_EQ(0xFFFFFFFFu, rs(D3DRS_STENCILMASK));
    EXPECT_EQ(0xFFFFFFFFu, rs(D3DRS_STENCILWRITEMASK));
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), rs(D3DRS_STENCILPASS));
    EXPECT_EQ(static_cast<DWORD>(FALSE), rs(D3DRS_FOGENABLE));
    EXPECT_EQ(0u, rs(D3DRS_RANGEFOGENABLE));
    EXPECT_EQ(static_cast<DWORD>(TRUE), rs(D3DRS_LIGHTING));
    EXPECT_EQ(static_cast<DWORD>(FALSE), rs(D3DRS_NORMALIZENORMALS));
    EXPECT_EQ(0u, rs(D3DRS_AMBIENT));
    EXPECT_EQ(0u, rs(D3DRS_CLIPPLANEENABLE));
    for (DWORD i = 0; i < 8; ++i) {
        BOOL enabled = TRUE;
        d3d->GetLightEnable(i, &enabled);
        EXPECT_FALSE(enabled) << "light " << i;
    }
    D3DMATERIAL9 m{};
    d3d->GetMaterial(&m);
    expectColor(m.Diffuse, 1.0f, 1.0f, 1.0f, 0.0f);
    expectColor(m.Ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(0.0f, m.Power);
}

} // namespace

// The manager

TEST_F(RenderStatesTest, ManagerPutsEveryFamilyToItsDefaultsAndResetAllRestoresThem)
{
    scrambleDefaults(d3d);
    KXDXRenderStateMgr manager(m_device.get());
    expectFamilyDefaults(d3d);
    EXPECT_EQ(m_device.get(), manager.getDevice());
    EXPECT_EQ(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(manager.getTextureState()));

    scrambleDefaults(d3d);
    manager.resetAll();
    expectFamilyDefaults(d3d);
}

TEST_F(RenderStatesTest, OffScreenManagerDiffersOnlyInItsTextureState)
{
    scrambleDefaults(d3d);
    KXDXOffScreenRenderStateMgr manager(m_device.get());
    expectFamilyDefaults(d3d);
    EXPECT_NE(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(manager.getTextureState()));
    EXPECT_NE(nullptr, dynamic_cast<KXDXClipState*>(manager.getClipState()));
}

// Direct3D's Reset brings back Direct3D's defaults (counter-clockwise
// culling, a black material); the manager puts its own back at once.
TEST_F(RenderStatesTest, DeviceResetRestoresTheFamiliesDefaultsNotDirect3Ds)
{
    KXDXRenderStateMgr manager(m_device.get());
    KXClipPlane plane(KXPlane(0.0f, 0.0f, 1.0f, 0.0f));
    manager.getClipState()->setClipPlane(1, &plane, KXMatrix());
    manager.getPolyState()->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);

    m_device->reset();

    ASSERT_EQ(KXDevice::KXDEVICESTATUS_USABLE, m_device->getStatus());
    expectFamilyDefaults(d3d);
    EXPECT_TRUE(static_cast<KXDXClipState*>(manager.getClipState())->getPlanes().empty());
}

// After release nothing may touch the device: every operation is a no-op,
// and the manager outlives the device without using it (run under ASan).
TEST_F(RenderStatesTest, StatesDoNothingOnceTheDeviceIsReleasedAndOutliveIt)
{
    auto manager = std::make_unique<KXDXOffScreenRenderStateMgr>(m_device.get());
    m_device->release();
    EXPECT_EQ(nullptr, manager->getDevice());

    KXMaterial material;
    KXDirectionalLight light;
    KXLinearFog fog;
    KXClipPlane plane;
    manager->resetAll();
    manager->getMaterialState()->setMaterial(&material);
    manager->getLightState()->setLight(0, &light, KXMatrix());
    manager->getLightState()->setAmbientLight(&light);
    manager->getZBufferState()->clear();
    manager->getZBufferState()->setDepthBias(1.0f, 1.0f);
    manager->getStencilState()->clear();
    manager->getFogState()->setFog(&fog);
    manager->getClipState()->setClipPlane(0, &plane, KXMatrix());
    manager->getClipState()->enableClipping(1);
    manager->getTextureState()->setAddressMode(0, 0, 0);
    EXPECT_TRUE(static_cast<KXDXTextureState*>(manager->getTextureState())->getTouchedStages().empty());

    // The device object itself goes: the detached states must not reach it.
    m_device.reset();
    manager->resetAll();
    manager->getLightState()->setAmbientLight(&light);
    manager->getTextureState()->setTexture2D(0, nullptr, nullptr);
    manager->getFogState()->enableFog(1);
    manager.reset();
}

TEST_F(RenderStatesTest, ManagerDestroyedBeforeItsDeviceStopsObservingIt)
{
    const int observers = m_device->getNumObservers();
    {
        KXDXRenderStateMgr manager(m_device.get());
        EXPECT_EQ(observers + 1, m_device->getNumObservers());
    }
    EXPECT_EQ(observers, m_device->getNumObservers());
    m_device->reset(); // nobody left to hear it
}

// Code tables

TEST_F(RenderStatesTest, DepthAndStencilComparisonsFollowDirect3DsOrder)
{
    KXDXZBufferState zBuffer(m_device.get());
    KXDXStencilState stencil(m_device.get());
    for (int code = 0; code < 8; ++code) {
        zBuffer.setZFunction(code);
        stencil.setStencilFunction(code);
        EXPECT_EQ(static_cast<DWORD>(D3DCMP_NEVER + code), renderState(D3DRS_ZFUNC));
        EXPECT_EQ(static_cast<DWORD>(D3DCMP_NEVER + code), renderState(D3DRS_STENCILFUNC));
    }
    // Codes outside the table change nothing.
    zBuffer.setZFunction(KXRenderState::KXCOMPARISON_LESS);
    stencil.setStencilFunction(KXRenderState::KXCOMPARISON_LESS);
    for (int code : {8, -1, 100}) {
        zBuffer.setZFunction(code);
        stencil.setStencilFunction(code);
        EXPECT_EQ(static_cast<DWORD>(D3DCMP_LESS), renderState(D3DRS_ZFUNC));
        EXPECT_EQ(static_cast<DWORD>(D3DCMP_LESS), renderState(D3DRS_STENCILFUNC));
    }
    zBuffer.enableZBuffer(0);
    zBuffer.enableZWrite(0);
    EXPECT_EQ(static_cast<DWORD>(D3DZB_FALSE), renderState(D3DRS_ZENABLE));
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(D3DRS_ZWRITEENABLE));
}

TEST_F(RenderStatesTest, StencilOperationsMapInOrderAndUnknownCodesKeep)
{
    KXDXStencilState stencil(m_device.get());
    const D3DRENDERSTATETYPE states[] = {D3DRS_STENCILZFAIL, D3DRS_STENCILFAIL, D3DRS_STENCILPASS};
    const D3DSTENCILOP expected[] = {D3DSTENCILOP_KEEP,    D3DSTENCILOP_ZERO,    D3DSTENCILOP_REPLACE,
                                     D3DSTENCILOP_INCRSAT, D3DSTENCILOP_DECRSAT, D3DSTENCILOP_INVERT,
                                     D3DSTENCILOP_INCR,    D3DSTENCILOP_DECR};
    for (int code = 0; code < 8; ++code) {
        stencil.setZFailOperation(code);
        stencil.setFailOperation(code);
        stencil.setPassOperation(code);
        for (D3DRENDERSTATETYPE state : states)
            EXPECT_EQ(static_cast<DWORD>(expected[code]), renderState(state)) << "code " << code;
    }
    stencil.setFailOperation(9);
    stencil.setZFailOperation(-1);
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), renderState(D3DRS_STENCILFAIL));
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), renderState(D3DRS_STENCILZFAIL));

    stencil.enableStencil(1);
    stencil.setReference(0x5A);
    stencil.setMask(0x0F);
    stencil.setWriteMask(0xF0);
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_STENCILENABLE));
    EXPECT_EQ(0x5Au, renderState(D3DRS_STENCILREF));
    EXPECT_EQ(0x0Fu, renderState(D3DRS_STENCILMASK));
    EXPECT_EQ(0xF0u, renderState(D3DRS_STENCILWRITEMASK));
}

TEST_F(RenderStatesTest, BlendFactorsAndOperationsFollowTheirTables)
{
    KXDXBlendState blend(m_device.get());
    const D3DBLEND factors[] = {D3DBLEND_ZERO,         D3DBLEND_ONE,          D3DBLEND_SRCCOLOR,
                                D3DBLEND_INVSRCCOLOR,  D3DBLEND_SRCALPHA,     D3DBLEND_INVSRCALPHA,
                                D3DBLEND_INVDESTALPHA, D3DBLEND_DESTCOLOR,    D3DBLEND_INVDESTCOLOR,
                                D3DBLEND_BOTHSRCALPHA, D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_BLENDFACTOR,
                                D3DBLEND_INVBLENDFACTOR};
    for (int code = 0; code < 13; ++code) {
        blend.setSourceBlend(code);
        blend.setDestinationBlend(12 - code);
        EXPECT_EQ(static_cast<DWORD>(factors[code]), renderState(D3DRS_SRCBLEND)) << "code " << code;
        EXPECT_EQ(static_cast<DWORD>(factors[12 - code]), renderState(D3DRS_DESTBLEND)) << "code " << code;
    }
    blend.setSourceBlend(13);
    blend.setDestinationBlend(-1);
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_INVBLENDFACTOR), renderState(D3DRS_SRCBLEND));
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ZERO), renderState(D3DRS_DESTBLEND));

    const D3DBLENDOP operations[] = {D3DBLENDOP_ADD, D3DBLENDOP_SUBTRACT, D3DBLENDOP_REVSUBTRACT, D3DBLENDOP_MIN,
                                     D3DBLENDOP_MAX};
    for (int code = 0; code < 5; ++code) {
        blend.setBlendOperation(code);
        EXPECT_EQ(static_cast<DWORD>(operations[code]), renderState(D3DRS_BLENDOP));
    }
    blend.setBlendOperation(5);
    EXPECT_EQ(static_cast<DWORD>(D3DBLENDOP_MAX), renderState(D3DRS_BLENDOP));
    blend.enableBlending(1);
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_ALPHABLENDENABLE));
}

TEST_F(RenderStatesTest, PolyModesFollowTheirTables)
{
    KXDXPolyState poly(m_device.get());
    poly.setShadeMode(KXPolyState::KXSHADEMODE_FLAT);
    poly.setFillMode(KXPolyState::KXFILLMODE_WIREFRAME);
    poly.setCullMode(KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
    EXPECT_EQ(static_cast<DWORD>(D3DSHADE_FLAT), renderState(D3DRS_SHADEMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DFILL_WIREFRAME), renderState(D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_CCW), renderState(D3DRS_CULLMODE));
    poly.setFillMode(KXPolyState::KXFILLMODE_POINT);
    poly.setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    EXPECT_EQ(static_cast<DWORD>(D3DFILL_POINT), renderState(D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_CW), renderState(D3DRS_CULLMODE));
    poly.setShadeMode(2);
    poly.setFillMode(3);
    poly.setCullMode(3);
    EXPECT_EQ(static_cast<DWORD>(D3DSHADE_FLAT), renderState(D3DRS_SHADEMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DFILL_POINT), renderState(D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_CW), renderState(D3DRS_CULLMODE));
}

// Depth bias

namespace {

struct BiasCase {
    bool depthBias;
    bool slopeScaledDepthBias;
};

class DepthBiasTest : public ::testing::TestWithParam<BiasCase>
{
};

} // namespace

// Without plain depth bias nothing is set, even where the slope-scaled bias
// exists; the slope-scaled bias is set only where the adapter has it. reset
// follows the same rules.
TEST_P(DepthBiasTest, SetsOnlyTheBiasesTheAdapterSupports)
{
    const BiasCase c = GetParam();
    kxdxtest::CapsOverride caps;
    caps.caps().RasterCaps &= ~(D3DPRASTERCAPS_DEPTHBIAS | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS);
    if (c.depthBias)
        caps.caps().RasterCaps |= D3DPRASTERCAPS_DEPTHBIAS;
    if (c.slopeScaledDepthBias)
        caps.caps().RasterCaps |= D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS;
    caps.apply();
    kxdxtest::TestWindow window(32, 32);
    auto device = kxdxtest::makeDevice(window.get());
    ASSERT_TRUE(device);
    IDirect3DDevice9* d3d = device->getD3DDevice();
    auto rs = [d3d](D3DRENDERSTATETYPE s) {
        DWORD v = 0;
        d3d->GetRenderState(s, &v);
        return v;
    };
    const DWORD sentinel = bitsOf(-7.0f);
    d3d->SetRenderState(D3DRS_DEPTHBIAS, sentinel);
    d3d->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, sentinel);

    KXDXZBufferState zBuffer(device.get());
    EXPECT_EQ(c.depthBias, zBuffer.hasDepthBias());
    EXPECT_EQ(c.slopeScaledDepthBias, zBuffer.hasSlopeScaledDepthBias());
    EXPECT_EQ(c.depthBias ? bitsOf(0.0f) : sentinel, rs(D3DRS_DEPTHBIAS));
    EXPECT_EQ(c.slopeScaledDepthBias ? bitsOf(0.0f) : sentinel, rs(D3DRS_SLOPESCALEDEPTHBIAS));

    d3d->SetRenderState(D3DRS_DEPTHBIAS, sentinel);
    d3d->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, sentinel);
    zBuffer.setDepthBias(0.25f, 2.5f);
    EXPECT_EQ(c.depthBias ? bitsOf(0.25f) : sentinel, rs(D3DRS_DEPTHBIAS));
    EXPECT_EQ(c.depthBias && c.slopeScaledDepthBias ? bitsOf(2.5f) : sentinel, rs(D3DRS_SLOPESCALEDEPTHBIAS));
}

INSTANTIATE_TEST_SUITE_P(Capabilities, DepthBiasTest,
                         ::testing::Values(BiasCase{true, true}, BiasCase{true, false}, BiasCase{false, true},
                                           BiasCase{false, false}));

// Material

TEST_F(RenderStatesTest, MaterialTakesThePackedColoursAndLeavesTheDefaultAlone)
{
    KXDXMaterialState state(m_device.get());
    KXMaterial m;
    // 1.5 and -0.25 are clamped by the packing; 0.3 becomes 77 / 255.
    m.set(KXColor(0.2f, 1.5f, -0.25f, 1.0f), KXColor(0.3f, 0.6f, 1.0f, 0.5f), KXColor(1.0f, 1.0f, 1.0f, 1.0f),
          KXColor(0.0f, 0.0f, 0.4f, 0.0f), 12.5f);
    state.setMaterial(&m);
    const D3DMATERIAL9 set = material();
    expectColor(set.Ambient, 51 / 255.0f, 1.0f, 0.0f, 1.0f);
    expectColor(set.Diffuse, 77 / 255.0f, 153 / 255.0f, 1.0f, 128 / 255.0f);
    expectColor(set.Specular, 1.0f, 1.0f, 1.0f, 1.0f);
    expectColor(set.Emissive, 0.0f, 0.0f, 102 / 255.0f, 0.0f);
    EXPECT_EQ(12.5f, set.Power);

    state.setMaterial(nullptr);
    EXPECT_EQ(12.5f, material().Power);
    state.reset();
    expectColor(material().Diffuse, 1.0f, 1.0f, 1.0f, 0.0f);
    expectColor(state.getDefaultMaterial().Diffuse, 1.0f, 1.0f, 1.0f, 0.0f);

    state.enableSpecular(5);
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_SPECULARENABLE));
    state.enableColorVertex(0);
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(D3DRS_COLORVERTEX));
}

// Lights

TEST_F(RenderStatesTest, DirectionalLightIsTurnedByTheWorldMatrixAndNormalised)
{
    KXDXLightState state(m_device.get());
    KXDirectionalLight sun;
    sun.setColor(KXColor(1.0f, 0.6f, 0.2f, 1.0f));
    sun.setDirection(KXVector(1.0f, 0.0f, 0.0f));
    // A quarter turn about z with a scale and a translation: the direction
    // turns to +y and keeps unit length; the translation plays no part.
    const KXMatrix world = KXMatrix::scaling(3.0f, 3.0f, 3.0f) * KXMatrix::rotationZ(1.5707964f) *
                           KXMatrix::translation(10.0f, 20.0f, 30.0f);
    state.setLight(2, &sun, world);

    const D3DLIGHT9 l = light(2);
    EXPECT_EQ(D3DLIGHT_DIRECTIONAL, l.Type);
    EXPECT_NEAR(0.0f, l.Direction.x, 1e-6f);
    EXPECT_NEAR(1.0f, l.Direction.y, 1e-6f);
    EXPECT_NEAR(0.0f, l.Direction.z, 1e-6f);
    expectColor(l.Diffuse, 1.0f, 153 / 255.0f, 51 / 255.0f, 1.0f);
    expectColor(l.Specular, 1.0f, 153 / 255.0f, 51 / 255.0f, 1.0f);
    expectColor(l.Ambient, 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(lightEnabled(2));

    state.enableLight(2, 0);
    EXPECT_FALSE(lightEnabled(2));
    state.reset();
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_LIGHTING));
}

TEST_F(RenderStatesTest, PointAndSpotLightsCarryPositionAttenuationAndCone)
{
    KXDXLightState state(m_device.get());
    KXSpotLight spot;
    spot.setPosition(KXPosition(1.0f, 2.0f, 3.0f));
    spot.setAttenuation(0.5f, 0.25f, 0.125f);
    spot.setRange(40.0f);
    spot.setDirection(KXVector(0.0f, 0.0f, -2.0f));
    spot.setSpreadAngles(0.4f, 0.9f);
    spot.setConcentration(3.0f);
    const KXMatrix world = KXMatrix::translation(10.0f, 0.0f, 0.0f);
    state.setLight(5, &spot, world);

    const D3DLIGHT9 l = light(5);
    EXPECT_EQ(D3DLIGHT_SPOT, l.Type);
    EXPECT_FLOAT_EQ(11.0f, l.Position.x);
    EXPECT_FLOAT_EQ(2.0f, l.Position.y);
    EXPECT_FLOAT_EQ(3.0f, l.Position.z);
    EXPECT_FLOAT_EQ(-1.0f, l.Direction.z);
    EXPECT_EQ(0.5f, l.Attenuation0);
    EXPECT_EQ(0.25f, l.Attenuation1);
    EXPECT_EQ(0.125f, l.Attenuation2);
    EXPECT_EQ(40.0f, l.Range);
    EXPECT_EQ(0.4f, l.Theta);
    EXPECT_EQ(0.9f, l.Phi);
    EXPECT_EQ(3.0f, l.Falloff);
    EXPECT_TRUE(lightEnabled(5));

    KXPointLight point;
    point.setPosition(KXPosition(0.0f, 0.0f, 1.0f));
    state.setLight(6, &point, KXMatrix::scaling(2.0f, 2.0f, 2.0f));
    const D3DLIGHT9 p = light(6);
    EXPECT_EQ(D3DLIGHT_POINT, p.Type);
    EXPECT_FLOAT_EQ(2.0f, p.Position.z);
    EXPECT_EQ(1.0f, p.Falloff);
    EXPECT_EQ(KXPointLight::MAX_RANGE, p.Range);
}

namespace {

// Claims to be a spot light without being one.
class FalseSpotLight : public KXPointLight
{
public:
    KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_SPOT; }
};

} // namespace

TEST_F(RenderStatesTest, LightsWithoutADirect3DFormSetNothing)
{
    KXDXLightState state(m_device.get());
    KXAmbientLight ambient;
    FalseSpotLight falseSpot;
    KXDirectionalLight sun;
    state.setLight(0, &ambient, KXMatrix());
    state.setLight(1, &falseSpot, KXMatrix());
    state.setLight(8, &sun, KXMatrix());
    state.setLight(2, nullptr, KXMatrix());
    for (DWORD index : {0u, 1u, 2u})
        EXPECT_FALSE(lightEnabled(index)) << index;
    D3DLIGHT9 unused;
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->GetLight(8, &unused));
}

// A spot light with its inner cone wider than its outer one is refused by
// Direct3D; it is set with the inner cone narrowed to the outer one.
TEST_F(RenderStatesTest, SpotLightInnerConeIsNarrowedToTheOuterCone)
{
    KXDXLightState state(m_device.get());
    KXSpotLight spot;
    spot.setOuterSpreadAngle(0.5f);
    spot.setInnerSpreadAngle(1.2f);
    ASSERT_GT(spot.getInnerSpreadAngle(), spot.getOuterSpreadAngle());
    state.setLight(0, &spot, KXMatrix());
    const D3DLIGHT9 l = light(0);
    EXPECT_EQ(D3DLIGHT_SPOT, l.Type);
    EXPECT_EQ(0.5f, l.Theta);
    EXPECT_EQ(0.5f, l.Phi);
    EXPECT_TRUE(lightEnabled(0));
}

// A light Direct3D refuses (here a direction flattened to nothing by the
// world matrix) must not leave the slot lit with the light it held before.
TEST_F(RenderStatesTest, RefusedLightDisablesItsSlot)
{
    KXDXLightState state(m_device.get());
    KXDirectionalLight sun;
    state.setLight(3, &sun, KXMatrix());
    ASSERT_TRUE(lightEnabled(3));
    state.setLight(3, &sun, KXMatrix::scaling(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(lightEnabled(3));
}

// Components outside 0..1 are clamped before packing, so none spills into
// the neighbouring byte.
TEST_F(RenderStatesTest, AmbientLightClampsEachComponent)
{
    KXDXLightState state(m_device.get());
    KXAmbientLight ambient;
    ambient.setColor(KXColor(1.5f, -0.5f, 0.5f, 1.0f));
    state.setAmbientLight(&ambient);
    EXPECT_EQ(0xFFFF007Fu, renderState(D3DRS_AMBIENT));
    ambient.setColor(KXColor(0.2f, 0.4f, 0.6f, 0.0f));
    state.setAmbientLight(&ambient);
    // Truncated toward zero: 51, 102, 153.
    EXPECT_EQ(0x00336699u, renderState(D3DRS_AMBIENT));
    state.setAmbientLight(nullptr);
    EXPECT_EQ(0x00336699u, renderState(D3DRS_AMBIENT));

    state.enableLighting(0);
    state.enableNormalization(1);
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(D3DRS_LIGHTING));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_NORMALIZENORMALS));
}

// Fog

TEST_F(RenderStatesTest, FogParametersGoToTheModeTheFlagsChoose)
{
    KXDXFogState state(m_device.get());
    d3d->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    d3d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);

    KXLinearFog linear;
    linear.setColor(KXColor(0.2f, 0.4f, 2.0f, 0.5f));
    linear.setFrontDistance(3.0f);
    linear.setBackDistance(30.0f);
    state.setFog(&linear);
    EXPECT_EQ(0x803366FFu, renderState(D3DRS_FOGCOLOR));
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_LINEAR), renderState(D3DRS_FOGTABLEMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_NONE), renderState(D3DRS_FOGVERTEXMODE));
    EXPECT_EQ(bitsOf(3.0f), renderState(D3DRS_FOGSTART));
    EXPECT_EQ(bitsOf(30.0f), renderState(D3DRS_FOGEND));
    EXPECT_EQ(0u, renderState(D3DRS_RANGEFOGENABLE));
    // setFog does not switch fog on.
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(D3DRS_FOGENABLE));

    KXExponentialFog exponential;
    exponential.setDensity(0.25f);
    exponential.setExpMode(1);
    state.setVertexFog(1);
    state.setRangeFog(1);
    state.setFog(&exponential);
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_EXP2), renderState(D3DRS_FOGVERTEXMODE));
    EXPECT_EQ(bitsOf(0.25f), renderState(D3DRS_FOGDENSITY));
    EXPECT_EQ(1u, renderState(D3DRS_RANGEFOGENABLE));
    exponential.setExpMode(0);
    state.setFog(&exponential);
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_EXP), renderState(D3DRS_FOGVERTEXMODE));

    // reset clears both flags: the next fog is per pixel again.
    state.enableFog(1);
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(D3DRS_FOGENABLE));
    state.reset();
    EXPECT_EQ(0, state.getVertexFog());
    EXPECT_EQ(0, state.getRangeFog());
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(D3DRS_FOGENABLE));
    EXPECT_EQ(0u, renderState(D3DRS_RANGEFOGENABLE));
    state.setFog(&exponential);
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_EXP), renderState(D3DRS_FOGTABLEMODE));
}

// Clip planes

TEST_F(RenderStatesTest, ClipPlanesEnableTheirOwnBitThenAllListedPlanesTogether)
{
    KXDXClipState state(m_device.get());
    KXClipPlane plane(KXPlane(0.0f, 0.0f, 1.0f, -2.0f)); // z = 2
    state.setClipPlane(0, &plane, KXMatrix());
    EXPECT_EQ(0x1u, renderState(D3DRS_CLIPPLANEENABLE));
    state.setClipPlane(2, &plane, KXMatrix::translation(0.0f, 0.0f, 3.0f));
    EXPECT_EQ(0x4u, renderState(D3DRS_CLIPPLANEENABLE));
    float equation[4];
    ASSERT_EQ(D3D_OK, d3d->GetClipPlane(2, equation));
    EXPECT_FLOAT_EQ(1.0f, equation[2]);
    EXPECT_FLOAT_EQ(-5.0f, equation[3]);

    state.enableClipping(1);
    EXPECT_EQ(0x5u, renderState(D3DRS_CLIPPLANEENABLE));
    state.enableClipping(0);
    EXPECT_EQ(0x0u, renderState(D3DRS_CLIPPLANEENABLE));

    // Index 6 and a null plane set nothing.
    state.setClipPlane(6, &plane, KXMatrix());
    state.setClipPlane(1, nullptr, KXMatrix());
    EXPECT_EQ(0x0u, renderState(D3DRS_CLIPPLANEENABLE));
    EXPECT_EQ((std::vector<unsigned>{0, 2}), state.getPlanes());

    state.reset();
    EXPECT_TRUE(state.getPlanes().empty());
    state.enableClipping(1);
    EXPECT_EQ(0x0u, renderState(D3DRS_CLIPPLANEENABLE));
}

// Points of a plane stay on the carried plane, and points on its positive
// side stay on the positive side, under rotations, translations,
// non-uniform scales and mirrors alike.
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
            for (int k = 0; k < 5; ++k) {
                const KXPosition p(value(random), value(random), value(random));
                const float before = plane.distance(p);
                const float after = carried.distance(world.transform(p));
                // On the plane stays on the plane; sides are kept.
                EXPECT_NEAR(0.0f, carried.distance(world.transform(p - plane.getNormal() * (before /
                                                       plane.getNormal().dot(plane.getNormal())))),
                            1e-4f);
                if (std::fabs(before) > 1e-2f) {
                    EXPECT_EQ(before > 0.0f, after > 0.0f);
                }
            }
        }
    }
}
