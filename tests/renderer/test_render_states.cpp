// The render-state manager and the non-texture families, read back from the
// device: defaults and how the manager follows device resets and releases,
// the code tables where Direct3D's numbering has gaps, depth-bias
// capabilities, lights Direct3D refuses, and clip planes.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXBlendState.h"
#include "renderer/dx/KXDXClipState.h"
#include "renderer/dx/KXDXFogState.h"
#include "renderer/dx/KXDXLightState.h"
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
#include "sceneapi/KXTexture2D.h"

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

class RenderStatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_device = kxdxtest::makeDevice(m_window.get());
        ASSERT_TRUE(m_device);
        d3d = m_device->getD3DDevice();
    }

    DWORD rs(D3DRENDERSTATETYPE state) const { return renderState(d3d, state); }
    BOOL lightEnabled(DWORD index) const
    {
        BOOL enabled = 2;
        d3d->GetLightEnable(index, &enabled);
        return enabled;
    }

    kxdxtest::TestWindow m_window{64, 64};
    std::unique_ptr<KXDXDevice> m_device;
    IDirect3DDevice9* d3d = nullptr;
};

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

void scrambleDefaults(IDirect3DDevice9* d3d)
{
    for (const auto& f : FAMILY_DEFAULTS)
        d3d->SetRenderState(f.state, f.scrambled);
    d3d->LightEnable(3, TRUE);
    D3DMATERIAL9 zero{};
    d3d->SetMaterial(&zero);
}

void expectFamilyDefaults(IDirect3DDevice9* d3d)
{
    for (const auto& f : FAMILY_DEFAULTS)
        EXPECT_EQ(f.ours, renderState(d3d, f.state)) << "state " << f.state;
    BOOL enabled = TRUE;
    d3d->GetLightEnable(3, &enabled);
    EXPECT_FALSE(enabled);
    D3DMATERIAL9 m{};
    d3d->GetMaterial(&m);
    EXPECT_EQ(1.0f, m.Diffuse.r);
    EXPECT_EQ(0.0f, m.Diffuse.a);
}

} // namespace

// Direct3D's Reset brings back Direct3D's defaults (counter-clockwise
// culling, a black material); the manager puts its own back at once. A
// manager destroyed before the reset no longer hears it (ASan).
TEST_F(RenderStatesTest, ManagersSetTheFamiliesDefaultsAndRestoreThemAfterADeviceReset)
{
    scrambleDefaults(d3d);
    KXDXRenderStateMgr manager(m_device.get());
    expectFamilyDefaults(d3d);
    EXPECT_EQ(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(manager.getTextureState()));
    {
        KXDXOffScreenRenderStateMgr offScreen(m_device.get());
        EXPECT_NE(nullptr, dynamic_cast<KXDXOffScreenTextureState*>(offScreen.getTextureState()));
    }

    scrambleDefaults(d3d);
    KXClipPlane plane(KXPlane(0.0f, 0.0f, 1.0f, 0.0f));
    manager.getClipState()->setClipPlane(1, &plane, KXMatrix());
    m_device->reset();
    ASSERT_EQ(KXDevice::KXDEVICESTATUS_USABLE, m_device->getStatus());
    expectFamilyDefaults(d3d);
    EXPECT_TRUE(static_cast<KXDXClipState*>(manager.getClipState())->getPlanes().empty());
}

// After release nothing may touch the device, and the manager, with the
// textures the off-screen state keeps, outlives the device object itself
// (run under ASan).
TEST_F(RenderStatesTest, StatesDoNothingOnceTheDeviceIsReleasedAndOutliveIt)
{
    auto manager = std::make_unique<KXDXOffScreenRenderStateMgr>(m_device.get());
    KXRef<KXImage2D> image = kxdxtest::solidPng(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    texture->setImage2D(image.get());
    manager->getTextureState()->setTexture2D(0, texture.get(), nullptr);
    m_device->release();
    EXPECT_EQ(nullptr, manager->getDevice());
    m_device.reset();

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
    manager.reset();
}

// Comparisons, stencil and blend operations are Direct3D's values less one;
// blend factors skip D3DBLEND_DESTALPHA and D3DBLEND_SRCALPHASAT. Unknown
// codes set nothing, except stencil operations, which keep.
TEST_F(RenderStatesTest, CodeTablesFollowDirect3DsNumberingAndIgnoreUnknownCodes)
{
    KXDXZBufferState zBuffer(m_device.get());
    KXDXStencilState stencil(m_device.get());
    KXDXBlendState blend(m_device.get());
    KXDXPolyState poly(m_device.get());
    const auto set = [&](int comparison, int stencilOp, int source, int destination, int blendOp, int cull) {
        zBuffer.setZFunction(comparison);
        stencil.setStencilFunction(comparison);
        stencil.setPassOperation(stencilOp);
        blend.setSourceBlend(source);
        blend.setDestinationBlend(destination);
        blend.setBlendOperation(blendOp);
        poly.setCullMode(cull);
    };
    set(KXRenderState::KXCOMPARISON_GREATER, KXStencilState::KXSTENCILOPERATION_DECREMENT,
        KXBlendState::KXBLENDFACTOR_INVDESTALPHA, KXBlendState::KXBLENDFACTOR_BOTHSRCALPHA,
        KXBlendState::KXBLENDOPERATION_REVSUBTRACT, KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
    for (int unknown : {0, 1}) {
        SCOPED_TRACE(unknown ? "unknown codes" : "known codes");
        EXPECT_EQ(DWORD(D3DCMP_GREATER), rs(D3DRS_ZFUNC));
        EXPECT_EQ(DWORD(D3DCMP_GREATER), rs(D3DRS_STENCILFUNC));
        EXPECT_EQ(DWORD(unknown ? D3DSTENCILOP_KEEP : D3DSTENCILOP_DECR), rs(D3DRS_STENCILPASS));
        EXPECT_EQ(DWORD(D3DBLEND_INVDESTALPHA), rs(D3DRS_SRCBLEND));
        EXPECT_EQ(DWORD(D3DBLEND_BOTHSRCALPHA), rs(D3DRS_DESTBLEND));
        EXPECT_EQ(DWORD(D3DBLENDOP_REVSUBTRACT), rs(D3DRS_BLENDOP));
        EXPECT_EQ(DWORD(D3DCULL_CCW), rs(D3DRS_CULLMODE));
        set(8, 8, 13, -1, 5, 3);
    }
}

// Without plain depth bias nothing is set, even where the slope-scaled bias
// exists; the slope-scaled bias is set only where the adapter has it. The
// defaults follow the same rules.
TEST(DepthBias, SetsOnlyTheBiasesTheAdapterSupports)
{
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
        const DWORD sentinel = bitsOf(-7.0f);
        d3d->SetRenderState(D3DRS_DEPTHBIAS, sentinel);
        d3d->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, sentinel);
        KXDXZBufferState zBuffer(device.get());
        EXPECT_EQ(depthBias ? bitsOf(0.0f) : sentinel, renderState(d3d, D3DRS_DEPTHBIAS));
        EXPECT_EQ(slopeScaled ? bitsOf(0.0f) : sentinel, renderState(d3d, D3DRS_SLOPESCALEDEPTHBIAS));

        d3d->SetRenderState(D3DRS_DEPTHBIAS, sentinel);
        d3d->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, sentinel);
        zBuffer.setDepthBias(0.25f, 2.5f);
        EXPECT_EQ(depthBias ? bitsOf(0.25f) : sentinel, renderState(d3d, D3DRS_DEPTHBIAS));
        EXPECT_EQ(depthBias && slopeScaled ? bitsOf(2.5f) : sentinel, renderState(d3d, D3DRS_SLOPESCALEDEPTHBIAS));
    }
}

// A light without a Direct3D form sets nothing; one Direct3D refuses (here
// a direction flattened to nothing) must not leave its slot lit with the
// light it held before.
TEST_F(RenderStatesTest, LightsDirect3DCannotTakeLeaveTheirSlotsDark)
{
    class FalseSpotLight : public KXPointLight
    {
    public:
        KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_SPOT; }
    };
    KXDXLightState state(m_device.get());
    FalseSpotLight falseSpot;
    state.setLight(1, &falseSpot, KXMatrix());
    EXPECT_FALSE(lightEnabled(1));

    KXDirectionalLight sun;
    state.setLight(3, &sun, KXMatrix());
    ASSERT_TRUE(lightEnabled(3));
    state.setLight(3, &sun, KXMatrix::scaling(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(lightEnabled(3));
}

// Components outside 0..1 are clamped before packing, so none spills into
// the neighbouring byte; 0.5 truncates to 127.
TEST_F(RenderStatesTest, AmbientLightClampsEachComponent)
{
    KXDXLightState state(m_device.get());
    KXAmbientLight ambient;
    ambient.setColor(KXColor(1.5f, -0.5f, 0.5f, 1.0f));
    state.setAmbientLight(&ambient);
    EXPECT_EQ(0xFFFF007Fu, rs(D3DRS_AMBIENT));
}

// setClipPlane switches on its own plane only; enableClipping switches on
// every plane set since the last reset.
TEST_F(RenderStatesTest, ClipPlanesEnableTheirOwnBitThenAllListedPlanesTogether)
{
    KXDXClipState state(m_device.get());
    KXClipPlane plane(KXPlane(0.0f, 0.0f, 1.0f, -2.0f)); // z = 2
    state.setClipPlane(0, &plane, KXMatrix());
    EXPECT_EQ(0x1u, rs(D3DRS_CLIPPLANEENABLE));
    state.setClipPlane(2, &plane, KXMatrix::translation(0.0f, 0.0f, 3.0f));
    EXPECT_EQ(0x4u, rs(D3DRS_CLIPPLANEENABLE));

    // Index 6 and a null plane set nothing.
    state.setClipPlane(6, &plane, KXMatrix());
    state.setClipPlane(1, nullptr, KXMatrix());
    state.enableClipping(1);
    EXPECT_EQ(0x5u, rs(D3DRS_CLIPPLANEENABLE));
    state.enableClipping(0);
    EXPECT_EQ(0x0u, rs(D3DRS_CLIPPLANEENABLE));

    state.reset();
    state.enableClipping(1);
    EXPECT_EQ(0x0u, rs(D3DRS_CLIPPLANEENABLE));
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
