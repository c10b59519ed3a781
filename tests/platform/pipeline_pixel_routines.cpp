// The per-sample routines a draw's class of pixel state selects, against
// processPixel, which decides everything per sample: random states of
// every class (random comparison functions, stencil operations, masks,
// factors, fog and write masks within it), random target, depth and
// stencil contents and random inputs, run on two copies of the buffers;
// every byte of the colour and depth-stencil buffers must agree after
// every sample. The varyings a routine declares it does not read are
// changed before it runs; the early depth and stencil tests run first or
// not at all, as triangles and lines use them. Through the device, a
// planar shadow's state (stencil-counted, blended, depth-tested without
// writes) darkens each pixel once, for triangles and lines alike. A pixel
// program's colour goes through the routines of the same classes, held to
// processShadedPixel the same way.

#include "pipeline_support.h"

#include "d3d9/DeviceState.h"
#include "d3d9/PixelStateTranslation.h"
#include "pipeline/PixelBuffer.h"
#include "d3d9/Resources.h"
#include "pipeline/PixelRoutines.h"

#include <memory>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::PixelBuffer;
using swd3d9::pipeline::PixelContext;
using swd3d9::pipeline::PixelInputs;

namespace {

constexpr UINT SIDE = 8;

// The classes the routine table tells apart, as render states and targets
// produce them.
enum DepthClass { NO_DEPTH, DEPTH_16, DEPTH_24, DEPTH_24_STENCIL, STENCIL_ONLY, DEPTH_CLASSES };
enum BlendClass { BLEND_OFF, BLEND_SOURCE_ALPHA, BLEND_ADD, BLEND_ANY, BLEND_CLASSES };
// 0 to 3: untextured, bit 0 specular added, bit 1 fogged; 4 texture stages.
constexpr int SHADE_CLASSES = 5;

struct Targets {
    PixelBuffer color, depth;
};

void allocate(Targets& t, D3DFORMAT colorFormat, D3DFORMAT depthFormat, UINT samples)
{
    ASSERT_TRUE(t.color.allocate(colorFormat, SIDE, SIDE, 1, samples));
    if (depthFormat != D3DFMT_UNKNOWN) {
        ASSERT_TRUE(t.depth.allocate(depthFormat, SIDE, SIDE, 1, samples));
    }
}

size_t byteCount(const PixelBuffer& b) { return b.empty() ? 0 : b.planeSize() * b.samples(); }

void copyContents(const Targets& from, Targets& to)
{
    std::memcpy(to.color.data(), from.color.data(), byteCount(from.color));
    if (!from.depth.empty())
        std::memcpy(to.depth.data(), from.depth.data(), byteCount(from.depth));
}

bool sameContents(const PixelBuffer& a, const PixelBuffer& b)
{
    if (byteCount(a) != byteCount(b))
        return false;
    return byteCount(a) == 0 || std::memcmp(a.data(), b.data(), byteCount(a)) == 0;
}

// Builds context from the state, drawing into fast, and reference as its
// copy drawing into slow.
void buildContexts(const swd3d9::DeviceState& state, D3DFORMAT colorFormat, D3DFORMAT depthFormat, UINT samples,
                   Targets& fast, Targets& slow, PixelContext& context, PixelContext& reference)
{
    std::memset(&context, 0, sizeof(PixelContext));
    swd3d9::pipeline::TargetView& view = context.target;
    view.color = &fast.color;
    view.depth = fast.depth.empty() ? nullptr : &fast.depth;
    view.colorFormat = colorFormat;
    view.depthFormat = fast.depth.empty() ? D3DFMT_UNKNOWN : depthFormat;
    view.samples = samples;
    swd3d9::buildPixelState(state, context);
    std::memcpy(&reference, &context, sizeof(PixelContext));
    reference.target.color = &slow.color;
    reference.target.depth = slow.depth.empty() ? nullptr : &slow.depth;
}

} // namespace

class PixelRoutineTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
        for (UINT i = 0; i < 16; ++i) {
            const DWORD texel = static_cast<DWORD>(random());
            std::memcpy(static_cast<BYTE*>(locked.pBits) + (i / 4) * locked.Pitch + (i % 4) * 4, &texel, 4);
        }
        texture->UnlockRect(0);
    }

    void TearDown() override
    {
        texture.reset();
        DeviceTest::TearDown();
    }

    DWORD pick(std::initializer_list<DWORD> values)
    {
        return values.begin()[std::uniform_int_distribution<size_t>(0, values.size() - 1)(random)];
    }
    DWORD upTo(DWORD last) { return std::uniform_int_distribution<DWORD>(0, last)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }
    float between(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); }
    static DWORD bits(float f) { return floatBits(f); }

    void randomBlend(DWORD* rs, int blend)
    {
        rs[D3DRS_ALPHABLENDENABLE] = blend != BLEND_OFF;
        rs[D3DRS_SEPARATEALPHABLENDENABLE] = chance(0.5);
        rs[D3DRS_BLENDFACTOR] = static_cast<DWORD>(random());
        switch (blend) {
        case BLEND_SOURCE_ALPHA:
            rs[D3DRS_SRCBLEND] = pick({D3DBLEND_SRCALPHA, D3DBLEND_BOTHSRCALPHA});
            rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
            rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
            rs[D3DRS_SRCBLENDALPHA] = pick({D3DBLEND_SRCALPHA, D3DBLEND_ONE});
            rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_INVSRCALPHA;
            rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
            break;
        case BLEND_ADD:
            rs[D3DRS_SRCBLEND] = rs[D3DRS_DESTBLEND] = D3DBLEND_ONE;
            rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
            rs[D3DRS_SRCBLENDALPHA] = rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ONE;
            rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
            break;
        default:
            // Every factor, the two "both" ones and values past the last
            // included; every operation, and one past the last.
            rs[D3DRS_SRCBLEND] = 1 + upTo(16);
            rs[D3DRS_DESTBLEND] = 1 + upTo(16);
            rs[D3DRS_BLENDOP] = 1 + upTo(5);
            rs[D3DRS_SRCBLENDALPHA] = 1 + upTo(16);
            rs[D3DRS_DESTBLENDALPHA] = 1 + upTo(16);
            rs[D3DRS_BLENDOPALPHA] = 1 + upTo(5);
            break;
        }
    }

    // Render states, stage states and bindings of one class, everything
    // the class leaves open random: comparison functions and stencil
    // operations include values past the last (they pass and keep).
    void randomState(swd3d9::DeviceState& state, int depth, bool alphaTest, bool wordTarget, int blend, int shade,
                     D3DFORMAT& colorFormat, D3DFORMAT& depthFormat)
    {
        swd3d9::setDefaultState(state, true);
        DWORD* rs = state.renderStates;
        switch (depth) {
        case NO_DEPTH:
            depthFormat = static_cast<D3DFORMAT>(pick({D3DFMT_UNKNOWN, D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8}));
            rs[D3DRS_ZENABLE] = D3DZB_FALSE;
            rs[D3DRS_STENCILENABLE] = depthFormat != D3DFMT_D24S8 && chance(0.5);
            break;
        case DEPTH_16:
            depthFormat = D3DFMT_D16;
            rs[D3DRS_ZENABLE] = pick({D3DZB_TRUE, D3DZB_USEW});
            rs[D3DRS_STENCILENABLE] = chance(0.5);
            break;
        case DEPTH_24:
            depthFormat = static_cast<D3DFORMAT>(pick({D3DFMT_D24S8, D3DFMT_D24X8}));
            rs[D3DRS_ZENABLE] = D3DZB_TRUE;
            rs[D3DRS_STENCILENABLE] = depthFormat == D3DFMT_D24X8 && chance(0.5);
            break;
        default:
            depthFormat = D3DFMT_D24S8;
            rs[D3DRS_ZENABLE] = depth == DEPTH_24_STENCIL;
            rs[D3DRS_STENCILENABLE] = TRUE;
            break;
        }
        rs[D3DRS_ZWRITEENABLE] = chance(0.6);
        rs[D3DRS_ZFUNC] = upTo(9);
        rs[D3DRS_TWOSIDEDSTENCILMODE] = chance(0.5);
        rs[D3DRS_STENCILFUNC] = upTo(9);
        rs[D3DRS_CCW_STENCILFUNC] = upTo(9);
        for (const DWORD op : {D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_CCW_STENCILFAIL,
                               D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS})
            rs[op] = upTo(9);
        rs[D3DRS_STENCILREF] = pick({0, 1, 0x80, 0xFF, upTo(255)});
        rs[D3DRS_STENCILMASK] = pick({0xFF, 0x0F, upTo(255)});
        rs[D3DRS_STENCILWRITEMASK] = pick({0xFF, 0xF0, upTo(255)});

        rs[D3DRS_ALPHATESTENABLE] = alphaTest;
        rs[D3DRS_ALPHAFUNC] = upTo(9);
        rs[D3DRS_ALPHAREF] = upTo(255);

        if (wordTarget) {
            colorFormat = static_cast<D3DFORMAT>(pick({D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}));
            rs[D3DRS_COLORWRITEENABLE] = chance(0.6) ? 0xF : 1 + upTo(14);
        } else if (chance(0.25)) {
            // Nothing written: the routine for any target.
            colorFormat = static_cast<D3DFORMAT>(pick({D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}));
            rs[D3DRS_COLORWRITEENABLE] = 0;
        } else {
            colorFormat = static_cast<D3DFORMAT>(pick({D3DFMT_R5G6B5, D3DFMT_A2R10G10B10, D3DFMT_A8B8G8R8,
                                                      D3DFMT_A1R5G5B5, D3DFMT_A16B16G16R16}));
            rs[D3DRS_COLORWRITEENABLE] = chance(0.6) ? 0xF : upTo(15);
        }
        randomBlend(rs, blend);

        rs[D3DRS_SPECULARENABLE] = shade < 4 ? (shade & 1) != 0 : chance(0.5);
        rs[D3DRS_FOGENABLE] = shade < 4 ? (shade & 2) != 0 : chance(0.5);
        rs[D3DRS_FOGTABLEMODE] = pick({D3DFOG_NONE, D3DFOG_EXP, D3DFOG_EXP2, D3DFOG_LINEAR});
        rs[D3DRS_FOGCOLOR] = static_cast<DWORD>(random());
        rs[D3DRS_FOGSTART] = bits(between(-0.5f, 0.5f));
        rs[D3DRS_FOGEND] = bits(between(0.6f, 2.0f));
        rs[D3DRS_FOGDENSITY] = bits(between(0.0f, 3.0f));
        if (chance(0.5)) {
            // A perspective projection: table fog measures 1/w.
            state.projection.m[2][3] = 1.0f;
            state.projection.m[3][3] = 0.0f;
        }
        rs[D3DRS_SHADEMODE] = pick({D3DSHADE_GOURAUD, D3DSHADE_FLAT});

        DWORD(&stage)[swd3d9::TEXTURE_STAGE_STATE_COUNT] = state.stageStates[0];
        if (shade < 4) {
            stage[D3DTSS_COLOROP] = D3DTOP_DISABLE;
        } else if (chance(0.5)) {
            state.textures[0] = swd3d9::toTexture(texture.get());
            stage[D3DTSS_COLOROP] = pick({D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTOP_ADD});
            stage[D3DTSS_ALPHAOP] = pick({D3DTOP_MODULATE, D3DTOP_SELECTARG1});
            state.samplerStates[0][D3DSAMP_MINFILTER] = pick({D3DTEXF_POINT, D3DTEXF_LINEAR});
            state.samplerStates[0][D3DSAMP_MAGFILTER] = pick({D3DTEXF_POINT, D3DTEXF_LINEAR});
        } else {
            // A stage that reads no texture.
            stage[D3DTSS_COLOROP] = pick({D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_SUBTRACT});
            stage[D3DTSS_COLORARG1] = pick({D3DTA_TFACTOR, D3DTA_SPECULAR});
            stage[D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
            rs[D3DRS_TEXTUREFACTOR] = static_cast<DWORD>(random());
        }
    }

    // Random bytes, with stencil values near the reference so that the
    // stencil comparisons go both ways.
    void fillRandom(Targets& t, DWORD stencilRef)
    {
        for (size_t i = 0; i < byteCount(t.color); ++i)
            t.color.data()[i] = static_cast<uint8_t>(random());
        if (t.depth.empty())
            return;
        for (size_t i = 0; i < byteCount(t.depth); ++i)
            t.depth.data()[i] = static_cast<uint8_t>(random());
        if (t.depth.bytesPerPixel() != 4)
            return;
        for (size_t i = 0; i < byteCount(t.depth); i += 4)
            t.depth.data()[i] = static_cast<uint8_t>(pick({stencilRef, stencilRef + 1, stencilRef - 1, 0, 0xFF,
                                                           upTo(255)}));
    }

    std::mt19937 random{41};
    Com<IDirect3DTexture9> texture;
};

TEST_F(PixelRoutineTest, EveryRoutineMatchesTheReferenceOnRandomStatesBitForBit)
{
    auto state = std::make_unique<swd3d9::DeviceState>();
    auto context = std::make_unique<PixelContext>();
    auto reference = std::make_unique<PixelContext>();
    std::vector<int> reached(swd3d9::pipeline::PIXEL_ROUTINE_COUNT, 0);
    for (int trial = 0; trial < 3000; ++trial) {
        const int depth = static_cast<int>(upTo(DEPTH_CLASSES - 1));
        const bool alphaTest = chance(0.5);
        const bool wordTarget = chance(0.9);
        const int blend = static_cast<int>(upTo(BLEND_CLASSES - 1));
        const int shade = static_cast<int>(upTo(SHADE_CLASSES - 1));
        const UINT samples = chance(0.8) ? 1 : 4;
        D3DFORMAT colorFormat, depthFormat;
        randomState(*state, depth, alphaTest, wordTarget, blend, shade, colorFormat, depthFormat);

        Targets fast, slow;
        allocate(fast, colorFormat, depthFormat, samples);
        allocate(slow, colorFormat, depthFormat, samples);
        fillRandom(fast, state->renderStates[D3DRS_STENCILREF] & 0xFF);
        copyContents(fast, slow);

        buildContexts(*state, colorFormat, depthFormat, samples, fast, slow, *context, *reference);

        const int index = swd3d9::pipeline::pixelRoutineIndex(*context);
        ASSERT_EQ(swd3d9::pipeline::pixelRoutineAt(index), context->routine.run) << "trial " << trial;
        ++reached[static_cast<size_t>(index)];

        // Samples on a corner of the target, so that most pixels are drawn
        // several times and blending and stencil counting build on earlier
        // results.
        for (int n = 0; n < 24; ++n) {
            float varyings[swd3d9::pipeline::MAX_VARYINGS];
            for (float& v : varyings)
                v = chance(0.1) ? static_cast<float>(upTo(1)) : between(-0.25f, 1.25f);
            float derivatives[2][4 * swd3d9::pipeline::MAX_STAGES];
            for (float& d : derivatives[0])
                d = between(-0.3f, 0.3f);
            for (float& d : derivatives[1])
                d = between(-0.3f, 0.3f);
            PixelInputs in;
            in.z = chance(0.1) ? static_cast<float>(upTo(1)) : between(-0.1f, 1.1f);
            in.invW = between(0.2f, 2.0f);
            in.varyings = varyings;
            const bool derived = context->key.needsDerivatives;
            in.derivativesX = derived ? derivatives[0] : nullptr;
            in.derivativesY = derived ? derivatives[1] : nullptr;
            in.frontFace = chance(0.5);
            const int x = static_cast<int>(upTo(3)), y = static_cast<int>(upTo(3));
            const UINT sample = upTo(samples - 1);
            swd3d9::pipeline::processPixel(*reference, x, y, sample, in);
            // The rasteriser interpolates only the varyings the routine
            // reads: others must not matter.
            for (int i = context->routine.varyingsRead; i < swd3d9::pipeline::MAX_VARYINGS; ++i)
                varyings[i] = 7.0f - varyings[i];
            // Triangles run the early tests first when there are some;
            // lines and points only the routine.
            const auto& routine = context->routine;
            const bool early = routine.earlyTest && chance(0.5);
            if (!early || !routine.earlyTest(*context, x, y, sample, in.z, in.frontFace))
                routine.run(*context, x, y, sample, in);
            ASSERT_TRUE(sameContents(fast.color, slow.color))
                << "colour differs: routine " << index << ", trial " << trial << ", sample " << n;
            ASSERT_TRUE(sameContents(fast.depth, slow.depth))
                << "depth or stencil differs: routine " << index << ", trial " << trial << ", sample " << n;
        }
        state->textures[0] = nullptr;
    }
    for (size_t i = 0; i < reached.size(); ++i)
        EXPECT_GT(reached[i], 0) << "routine " << i << " never chosen";
}

// The same for a colour shaded already, as pixel programs give it: the
// routine of each class against processShadedPixel, the early tests run
// first or not at all.
TEST_F(PixelRoutineTest, EveryShadedColorRoutineMatchesTheBackEndBitForBit)
{
    namespace pipeline = swd3d9::pipeline;
    auto state = std::make_unique<swd3d9::DeviceState>();
    auto context = std::make_unique<PixelContext>();
    auto reference = std::make_unique<PixelContext>();
    std::vector<int> reached(pipeline::SHADED_PIXEL_ROUTINE_COUNT, 0);
    for (int trial = 0; trial < 1500; ++trial) {
        const int depth = static_cast<int>(upTo(DEPTH_CLASSES - 1));
        const bool alphaTest = chance(0.5);
        const bool wordTarget = chance(0.85);
        const int blend = static_cast<int>(upTo(BLEND_CLASSES - 1));
        const UINT samples = chance(0.8) ? 1 : 4;
        D3DFORMAT colorFormat, depthFormat;
        randomState(*state, depth, alphaTest, wordTarget, blend, 0, colorFormat, depthFormat);

        Targets fast, slow;
        allocate(fast, colorFormat, depthFormat, samples);
        allocate(slow, colorFormat, depthFormat, samples);
        fillRandom(fast, state->renderStates[D3DRS_STENCILREF] & 0xFF);
        copyContents(fast, slow);

        buildContexts(*state, colorFormat, depthFormat, samples, fast, slow, *context, *reference);

        const int index = pipeline::shadedPixelRoutineIndex(*context);
        ASSERT_EQ(pipeline::shadedPixelRoutineAt(index), context->routine.store) << "trial " << trial;
        ++reached[static_cast<size_t>(index)];

        for (int n = 0; n < 24; ++n) {
            float color[4];
            for (float& c : color)
                c = chance(0.1) ? static_cast<float>(upTo(1)) : between(-0.25f, 1.25f);
            const float z = chance(0.1) ? static_cast<float>(upTo(1)) : between(-0.1f, 1.1f);
            const bool frontFace = chance(0.5);
            const int x = static_cast<int>(upTo(3)), y = static_cast<int>(upTo(3));
            const UINT sample = upTo(samples - 1);
            pipeline::processShadedPixel(*reference, x, y, sample, z, frontFace, color);
            const auto& routine = context->routine;
            const bool early = routine.earlyTest && chance(0.5);
            if (!early || !routine.earlyTest(*context, x, y, sample, z, frontFace))
                routine.store(*context, x, y, sample, z, frontFace, color);
            ASSERT_TRUE(sameContents(fast.color, slow.color))
                << "colour differs: routine " << index << ", trial " << trial << ", sample " << n;
            ASSERT_TRUE(sameContents(fast.depth, slow.depth))
                << "depth or stencil differs: routine " << index << ", trial " << trial << ", sample " << n;
        }
    }
    for (size_t i = 0; i < reached.size(); ++i)
        EXPECT_GT(reached[i], 0) << "shaded routine " << i << " never chosen";
}

using PixelRoutineDrawTest = PipelineTest;

TEST_F(PixelRoutineDrawTest, AStencilCountedShadowDarkensEachPixelOnce)
{
    makeTarget(16, 16);
    clear(0xFF808080, 0.5f, 0);
    // An occluder over the last four columns, nearer than the shadow.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    drawRect(12.0f, 0.0f, 16.0f, 16.0f, 0.1f, 0xFFFFFFFF);

    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILREF, 0);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const DWORD shadow = 0x80000000;
    // Overlapping rectangles over the top half, then lines across the
    // bottom half drawn twice: one over the other, and over the shadow.
    drawRect(0.0f, 0.0f, 16.0f, 8.0f, 0.3f, shadow);
    drawRect(2.0f, 2.0f, 14.0f, 6.0f, 0.3f, shadow);
    std::vector<ScreenVertex> lines;
    for (int y = 0; y < 16; ++y)
        for (int pass = 0; pass < 2; ++pass) {
            // Pixel centres lie on whole coordinates.
            lines.push_back({0.0f, static_cast<float>(y), 0.3f, 1.0f, shadow});
            lines.push_back({16.0f, static_cast<float>(y), 0.3f, 1.0f, shadow});
        }
    drawScreen(D3DPT_LINELIST, lines, static_cast<UINT>(lines.size() / 2));

    // Grey under black of alpha 128 once; the target's alpha by the same factors.
    const double a = 128.0 / 255.0, grey = 128.0 / 255.0;
    const DWORD rgb = static_cast<DWORD>(grey * (1.0 - a) * 255.0 + 0.5);
    const DWORD alpha = static_cast<DWORD>((a * a + 1.0 * (1.0 - a)) * 255.0 + 0.5);
    const DWORD darkened = (alpha << 24) | (rgb * 0x010101u);
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 16; ++x)
            ASSERT_EQ(x < 12 ? darkened : 0xFFFFFFFFu, pixel(x, y)) << x << ", " << y;
}
