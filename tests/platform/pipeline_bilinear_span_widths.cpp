// The bilinear span's eight-pixel implementation (AVX2) against its
// four-pixel one (SSE2): on the same random rows, planes, textures and
// states they must leave the same colour and depth words, bit for bit, so
// that pictures do not depend on the processor. Widths 1 to 40 reach every
// length of the last, partial step; no word outside the span may change.

#include "pipeline/PixelBuffer.h"
#include "pipeline/BilinearSpan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#if defined(__SSE2__)

using namespace swd3d9;
using namespace swd3d9::pipeline;

namespace {

constexpr UINT ROW_WORDS = 64;
constexpr UINT ROWS = 3;

// A state of the span: which of its routines runs, and the flags it reads
// per span.
struct SpanState {
    bool wrap, powerOfTwo, modulate, blend, depth, specular, alphaOver, xrgbTarget, zWrite;
    uint8_t zFunc;
};

class BilinearSpanWidthTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (widestBilinearSpan() != BilinearSpanWidth::EIGHT)
            GTEST_SKIP() << "the processor has no AVX2";
        context = std::make_unique<PixelContext>();
        ASSERT_TRUE(colors[0].allocate(D3DFMT_A8R8G8B8, ROW_WORDS, ROWS, 1, 1));
        ASSERT_TRUE(colors[1].allocate(D3DFMT_A8R8G8B8, ROW_WORDS, ROWS, 1, 1));
        ASSERT_TRUE(depths[0].allocate(D3DFMT_D24S8, ROW_WORDS, ROWS, 1, 1));
        ASSERT_TRUE(depths[1].allocate(D3DFMT_D24S8, ROW_WORDS, ROWS, 1, 1));
    }

    // Sets the context up for a state over a random texture.
    void prepare(const SpanState& s)
    {
        std::uniform_int_distribution<int> sizeLog(0, 4), oddSize(1, 13);
        const int width = s.powerOfTwo ? 1 << sizeLog(random) : oddSize(random);
        const int height = s.powerOfTwo ? 1 << sizeLog(random) : oddSize(random);
        texels.resize(static_cast<size_t>(width) * height);
        for (uint32_t& t : texels)
            t = static_cast<uint32_t>(random());
        PixelContext& c = *context;
        c.key.blend = s.blend;
        c.key.zEnable = s.depth;
        c.key.zFunc = s.zFunc;
        c.key.zWrite = s.zWrite;
        c.key.specularAdd = s.specular;
        c.key.alphaOver = s.alphaOver;
        c.combiner.shortcut = s.modulate ? COMBINE_MODULATE_TEXTURE : COMBINE_SELECT_TEXTURE;
        c.target.colorFormat = s.xrgbTarget ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
        SamplerSetup& sampler = c.samplers[0];
        sampler.bilinearArgb = s.wrap ? 1 : 2;
        sampler.firstLevel = 0;
        SamplerLevel& level = sampler.levels[0][0];
        level.data = reinterpret_cast<const uint8_t*>(texels.data());
        level.width = width;
        level.height = height;
        level.depth = 1;
        level.pitch = static_cast<size_t>(width) * 4;
        level.slicePitch = level.pitch * static_cast<size_t>(height);
        level.fwidth = static_cast<float>(width);
        level.fheight = static_cast<float>(height);
        level.fdepth = 1.0f;
    }

    // A value for an interpolant: mostly ordinary, sometimes a zero of
    // either sign, a huge or non-finite value.
    float pick(float low, float high)
    {
        std::uniform_int_distribution<int> kind(0, 39);
        switch (kind(random)) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        case 2: return std::numeric_limits<float>::infinity();
        case 3: return std::numeric_limits<float>::quiet_NaN();
        case 4: return -3.0e30f;
        default: return std::uniform_real_distribution<float>(low, high)(random);
        }
    }

    // A step along the span: a third of the time none.
    float pickStep(float scale)
    {
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0)
            return std::uniform_int_distribution<int>(0, 1)(random) ? 0.0f : -0.0f;
        return pick(-scale, scale);
    }

    // Runs one random span with both widths over the same random words and
    // expects the same words back; lo..hi stays within the row.
    void compareOneSpan(int spanWidth)
    {
        std::uniform_int_distribution<int> row(0, ROWS - 1);
        const int y = row(random);
        const int64_t lo = std::uniform_int_distribution<int>(0, ROW_WORDS - spanWidth)(random);
        const int64_t hi = lo + spanWidth - 1;
        Plane planes[MAX_VARYINGS] = {};
        float base[MAX_VARYINGS] = {};
        // Colours near 0..1 (over q), texture coordinates over a few
        // repetitions of the texture, q positive as in front of the eye.
        for (int i = 0; i < 8; ++i) {
            base[VARYING_DIFFUSE + i] = pick(-0.2f, 1.5f);
            planes[VARYING_DIFFUSE + i].dx = pickStep(0.05f);
        }
        for (int i = 0; i < 2; ++i) {
            base[VARYING_TEXCOORD + i] = pick(-3.0f, 3.0f);
            planes[VARYING_TEXCOORD + i].dx = pickStep(0.2f);
        }
        Plane qPlane = {};
        const float q = pick(0.1f, 2.0f);
        qPlane.dx = pickStep(0.02f);
        const float z = pick(-0.1f, 1.1f), zStep = pickStep(0.02f);

        const size_t words = size_t(ROW_WORDS) * ROWS;
        std::vector<uint32_t> colorWords(words), depthWords(words);
        for (size_t i = 0; i < words; ++i) {
            colorWords[i] = static_cast<uint32_t>(random());
            depthWords[i] = static_cast<uint32_t>(random());
        }
        const BilinearSpanWidth widths[2] = {BilinearSpanWidth::FOUR, BilinearSpanWidth::EIGHT};
        for (int k = 0; k < 2; ++k) {
            std::memcpy(colors[k].data(), colorWords.data(), words * 4);
            std::memcpy(depths[k].data(), depthWords.data(), words * 4);
            context->target.color = &colors[k];
            context->target.depth = &depths[k];
            bilinearTexturedSpanOfWidth(widths[k], *context, planes, qPlane, lo, hi, y, q, z, zStep, base);
        }
        const uint32_t* color[2] = {reinterpret_cast<const uint32_t*>(colors[0].data()),
                                    reinterpret_cast<const uint32_t*>(colors[1].data())};
        const uint32_t* depth[2] = {reinterpret_cast<const uint32_t*>(depths[0].data()),
                                    reinterpret_cast<const uint32_t*>(depths[1].data())};
        for (size_t i = 0; i < words; ++i) {
            const int64_t x = static_cast<int64_t>(i % ROW_WORDS);
            const bool inside = i / ROW_WORDS == static_cast<size_t>(y) && x >= lo && x <= hi;
            ASSERT_EQ(color[0][i], color[1][i]) << "colour word " << i << ", span " << lo << ".." << hi;
            ASSERT_EQ(depth[0][i], depth[1][i]) << "depth word " << i << ", span " << lo << ".." << hi;
            if (!inside) {
                ASSERT_EQ(colorWords[i], color[1][i]) << "colour word " << i << " outside " << lo << ".." << hi;
                ASSERT_EQ(depthWords[i], depth[1][i]) << "depth word " << i << " outside " << lo << ".." << hi;
            }
        }
        changed += std::memcmp(color[1], colorWords.data(), words * 4) != 0;
    }

    std::mt19937 random{61};
    std::unique_ptr<PixelContext> context;
    PixelBuffer colors[2], depths[2];
    std::vector<uint32_t> texels;
    int changed = 0;
};

} // namespace

TEST_F(BilinearSpanWidthTest, EightPixelSpanGivesTheFourPixelSpansBitsInEveryCase)
{
    // Every routine (addressing, modulation, blending, depth) with random
    // specular, alpha-over, target format and depth function and writes.
    std::uniform_int_distribution<int> coin(0, 1), function(D3DCMP_NEVER, D3DCMP_ALWAYS);
    int spans = 0;
    for (int addressing = 0; addressing < 3; ++addressing)
        for (int routine = 0; routine < 8; ++routine) {
            changed = 0;
            for (int trial = 0; trial < 160; ++trial) {
                SpanState s;
                s.wrap = addressing != 2;
                s.powerOfTwo = addressing != 1;
                s.modulate = routine & 4;
                s.blend = routine & 2;
                s.depth = routine & 1;
                s.specular = coin(random);
                s.alphaOver = s.blend && coin(random);
                s.xrgbTarget = coin(random);
                s.zWrite = coin(random);
                s.zFunc = static_cast<uint8_t>(function(random));
                prepare(s);
                compareOneSpan(1 + trial % 40);
                if (HasFatalFailure())
                    FAIL() << "addressing " << addressing << ", routine " << routine << ", trial " << trial;
                ++spans;
            }
            // Most spans draw something (the depth test rejects some).
            EXPECT_GT(changed, 64) << "addressing " << addressing << ", routine " << routine;
        }
    EXPECT_EQ(3 * 8 * 160, spans);
}

TEST_F(BilinearSpanWidthTest, EightPixelSpanMatchesOnLongOrdinarySpans)
{
    // The common draw: perspective-free, constant colour, a power-of-two
    // texture magnified and wrapped, the texel rows fixed along the span,
    // across the whole row and in pieces that end anywhere.
    std::uniform_int_distribution<int> coin(0, 1);
    for (int trial = 0; trial < 400; ++trial) {
        SpanState s = {true, true, coin(random) != 0, coin(random) != 0, false, false, false, coin(random) != 0,
                       false, D3DCMP_ALWAYS};
        prepare(s);
        const int width = trial % 2 ? static_cast<int>(ROW_WORDS) : 1 + trial % 63;
        const int y = trial % ROWS;
        const int64_t lo = ROW_WORDS - width, hi = ROW_WORDS - 1;
        Plane planes[MAX_VARYINGS] = {};
        float base[MAX_VARYINGS] = {};
        for (int i = 0; i < 4; ++i)
            base[VARYING_DIFFUSE + i] = std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
        base[VARYING_TEXCOORD] = std::uniform_real_distribution<float>(-1.0f, 2.0f)(random);
        base[VARYING_TEXCOORD + 1] = std::uniform_real_distribution<float>(-1.0f, 2.0f)(random);
        planes[VARYING_TEXCOORD].dx = std::uniform_real_distribution<float>(-0.05f, 0.05f)(random);
        Plane qPlane = {};
        const size_t words = size_t(ROW_WORDS) * ROWS;
        std::vector<uint32_t> start(words);
        for (uint32_t& word : start)
            word = static_cast<uint32_t>(random());
        const BilinearSpanWidth widths[2] = {BilinearSpanWidth::FOUR, BilinearSpanWidth::EIGHT};
        for (int k = 0; k < 2; ++k) {
            std::memcpy(colors[k].data(), start.data(), words * 4);
            context->target.color = &colors[k];
            context->target.depth = &depths[k];
            bilinearTexturedSpanOfWidth(widths[k], *context, planes, qPlane, lo, hi, y, 1.0f, 0.5f, 0.0f, base);
        }
        ASSERT_EQ(0, std::memcmp(colors[0].data(), colors[1].data(), words * 4)) << "trial " << trial;
        ASSERT_NE(0, std::memcmp(colors[1].data(), start.data(), words * 4)) << "trial " << trial;
    }
}

#endif
