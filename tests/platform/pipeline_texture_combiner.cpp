// The texture-stage combiner: every operation against hand-computed
// values, argument modifiers, registers and the end of the cascade.

#include "d3d9/DeviceState.h"
#include "d3d9/PixelStateTranslation.h"
#include "pipeline/TextureCombiner.h"

#include <gtest/gtest.h>

#include <random>

using swd3d9::CombinerSetup;

namespace {

constexpr float TOLERANCE = 1e-4f;

const float DIFFUSE[4] = {0.2f, 0.4f, 0.6f, 0.8f};
const float SPECULAR[4] = {0.1f, 0.9f, 0.3f, 0.7f};
// Stage 0 samples T0, stage 1 samples T1, the rest grey.
const float TEXTURES[8][4] = {{0.5f, 0.25f, 1.0f, 0.5f}, {0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.5f, 0.5f, 0.5f},
                              {0.5f, 0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f, 0.5f},
                              {0.5f, 0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f, 0.5f}};
// Texture factor: alpha 0.2, red 0.2, green 0.2, blue 0.4.
constexpr DWORD FACTOR = 0x33333366u;

class TextureCombinerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        swd3d9::setDefaultState(state, true);
        state.renderStates[D3DRS_TEXTUREFACTOR] = FACTOR;
        for (bool& b : bound)
            b = true;
    }

    void stage(int i, DWORD colorOp, DWORD arg1, DWORD arg2, DWORD alphaOp = D3DTOP_SELECTARG1,
               DWORD alphaArg1 = D3DTA_TEXTURE, DWORD alphaArg2 = D3DTA_CURRENT)
    {
        DWORD* s = state.stageStates[i];
        s[D3DTSS_COLOROP] = colorOp;
        s[D3DTSS_COLORARG1] = arg1;
        s[D3DTSS_COLORARG2] = arg2;
        s[D3DTSS_ALPHAOP] = alphaOp;
        s[D3DTSS_ALPHAARG1] = alphaArg1;
        s[D3DTSS_ALPHAARG2] = alphaArg2;
    }

    void run(float out[4])
    {
        swd3d9::prepareCombiner(setup, state, bound);
        swd3d9::combine(setup, DIFFUSE, SPECULAR, TEXTURES, out);
    }

    void expectColour(const float expected[4], const float actual[4], const char* what)
    {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(expected[c], actual[c], TOLERANCE) << what << ", channel " << c;
    }

    swd3d9::DeviceState state{};
    bool bound[8];
    CombinerSetup setup;
};

struct OpCase {
    const char* name;
    DWORD op, arg0, arg1, arg2;
    float rgb[3];
};

} // namespace

TEST_F(TextureCombinerTest, ColourOperationsMatchHandComputedValues)
{
    // D = (0.2, 0.4, 0.6, 0.8), T = (0.5, 0.25, 1, 0.5), F = (0.2, 0.2, 0.4, 0.2).
    const DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, F = D3DTA_TFACTOR;
    const OpCase cases[] = {
        {"selectarg1", D3DTOP_SELECTARG1, 0, T, D, {0.5f, 0.25f, 1.0f}},
        {"selectarg2", D3DTOP_SELECTARG2, 0, T, D, {0.2f, 0.4f, 0.6f}},
        {"modulate", D3DTOP_MODULATE, 0, T, D, {0.1f, 0.1f, 0.6f}},
        {"modulate2x", D3DTOP_MODULATE2X, 0, T, D, {0.2f, 0.2f, 1.0f}},
        {"modulate4x", D3DTOP_MODULATE4X, 0, T, D, {0.4f, 0.4f, 1.0f}},
        {"add", D3DTOP_ADD, 0, T, D, {0.7f, 0.65f, 1.0f}},
        {"addsigned", D3DTOP_ADDSIGNED, 0, T, D, {0.2f, 0.15f, 1.0f}},
        {"addsigned2x", D3DTOP_ADDSIGNED2X, 0, T, D, {0.4f, 0.3f, 1.0f}},
        {"subtract", D3DTOP_SUBTRACT, 0, T, D, {0.3f, 0.0f, 0.4f}},
        {"addsmooth", D3DTOP_ADDSMOOTH, 0, T, D, {0.6f, 0.55f, 1.0f}},
        {"blenddiffusealpha", D3DTOP_BLENDDIFFUSEALPHA, 0, T, D, {0.44f, 0.28f, 0.92f}},
        {"blendtexturealpha", D3DTOP_BLENDTEXTUREALPHA, 0, T, D, {0.35f, 0.325f, 0.8f}},
        {"blendfactoralpha", D3DTOP_BLENDFACTORALPHA, 0, T, D, {0.26f, 0.37f, 0.68f}},
        {"blendtexturealphapm", D3DTOP_BLENDTEXTUREALPHAPM, 0, T, D, {0.6f, 0.45f, 1.0f}},
        {"blendcurrentalpha", D3DTOP_BLENDCURRENTALPHA, 0, T, D, {0.44f, 0.28f, 0.92f}},
        {"modulatealpha_addcolor", D3DTOP_MODULATEALPHA_ADDCOLOR, 0, D, T, {0.6f, 0.6f, 1.0f}},
        {"modulatecolor_addalpha", D3DTOP_MODULATECOLOR_ADDALPHA, 0, D, T, {0.9f, 0.9f, 1.0f}},
        {"modulateinvalpha_addcolor", D3DTOP_MODULATEINVALPHA_ADDCOLOR, 0, D, T, {0.3f, 0.45f, 0.8f}},
        {"modulateinvcolor_addalpha", D3DTOP_MODULATEINVCOLOR_ADDALPHA, 0, T, D, {0.6f, 0.8f, 0.5f}},
        {"multiplyadd", D3DTOP_MULTIPLYADD, F, T, D, {0.3f, 0.3f, 1.0f}},
        {"lerp", D3DTOP_LERP, F, T, D, {0.26f, 0.37f, 0.76f}},
    };
    for (const OpCase& c : cases) {
        SetUp();
        stage(0, c.op, c.arg1, c.arg2);
        state.stageStates[0][D3DTSS_COLORARG0] = c.arg0;
        float out[4];
        run(out);
        const float expected[4] = {c.rgb[0], c.rgb[1], c.rgb[2], 0.5f};
        expectColour(expected, out, c.name);
    }
}

TEST_F(TextureCombinerTest, AlphaOperationsUseTheAlphaChannels)
{
    // T.a = 0.5, D.a = 0.8, F.a = 0.2.
    const DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, F = D3DTA_TFACTOR;
    const struct {
        DWORD op, arg0, arg1, arg2;
        float alpha;
    } cases[] = {
        {D3DTOP_SELECTARG2, 0, T, D, 0.8f}, {D3DTOP_MODULATE, 0, T, D, 0.4f},
        {D3DTOP_ADD, 0, T, D, 1.0f},       {D3DTOP_SUBTRACT, 0, D, T, 0.3f},
        {D3DTOP_SUBTRACT, 0, T, D, 0.0f},  {D3DTOP_BLENDFACTORALPHA, 0, T, D, 0.74f},
        {D3DTOP_LERP, F, T, D, 0.74f},
    };
    for (const auto& c : cases) {
        SetUp();
        stage(0, D3DTOP_SELECTARG2, T, D, c.op, c.arg1, c.arg2);
        state.stageStates[0][D3DTSS_ALPHAARG0] = c.arg0;
        float out[4];
        run(out);
        EXPECT_NEAR(c.alpha, out[3], TOLERANCE) << "op " << c.op;
        EXPECT_NEAR(0.2f, out[0], TOLERANCE) << "the colour stays the colour operation's";
    }
}

TEST_F(TextureCombinerTest, DotProductGoesToAllFourChannels)
{
    // 4 * ((0.5-0.5)(0.2-0.5) + (0.25-0.5)(0.4-0.5) + (1-0.5)(0.6-0.5)) = 0.3,
    // whatever the alpha operation says.
    stage(0, D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    float out[4];
    run(out);
    const float expected[4] = {0.3f, 0.3f, 0.3f, 0.3f};
    expectColour(expected, out, "dot3");
}

TEST_F(TextureCombinerTest, ArgumentModifiersComplementAndReplicateAlpha)
{
    const struct {
        DWORD arg;
        float rgb[3];
    } cases[] = {
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, {0.5f, 0.75f, 0.0f}},
        {D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, {0.5f, 0.5f, 0.5f}},
        {D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, {0.2f, 0.2f, 0.2f}},
        {D3DTA_SPECULAR, {0.1f, 0.9f, 0.3f}},
        {D3DTA_SPECULAR | D3DTA_COMPLEMENT, {0.9f, 0.1f, 0.7f}},
        {D3DTA_TFACTOR, {0.2f, 0.2f, 0.4f}},
        {D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE, {0.2f, 0.2f, 0.2f}},
        {D3DTA_CONSTANT, {0x80 / 255.0f, 0x40 / 255.0f, 0x20 / 255.0f}},
        {D3DTA_TEMP, {0.0f, 0.0f, 0.0f}},
        {D3DTA_CURRENT, {0.2f, 0.4f, 0.6f}},
    };
    for (const auto& c : cases) {
        SetUp();
        stage(0, D3DTOP_SELECTARG1, c.arg, D3DTA_DIFFUSE);
        state.stageStates[0][D3DTSS_CONSTANT] = 0xFF804020u;
        float out[4];
        run(out);
        const float expected[4] = {c.rgb[0], c.rgb[1], c.rgb[2], 0.5f};
        expectColour(expected, out, "modifier");
    }
    // On an alpha argument, the complement applies to alpha; replication
    // changes nothing.
    stage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
          D3DTA_DIFFUSE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE);
    float out[4];
    run(out);
    EXPECT_NEAR(0.2f, out[3], TOLERANCE);
}

TEST_F(TextureCombinerTest, StagesChainThroughCurrentAndTemp)
{
    // Stage 0: T0 * D = (0.1, 0.1, 0.6); stage 1 adds T1 = (0.1, 0.2, 0.3).
    stage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    stage(1, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_CURRENT);
    // Stage 2 ends the cascade; stage 3 is never reached.
    stage(2, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    stage(3, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TFACTOR);
    float out[4];
    run(out);
    const float expected[4] = {0.2f, 0.3f, 0.9f, 0.8f};
    expectColour(expected, out, "chain");
    EXPECT_EQ(2, setup.stageCount);
    EXPECT_EQ(3u, setup.textureMask);

    // Stage 0 into temp: current stays the diffuse colour for stage 1.
    SetUp();
    stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
    state.stageStates[0][D3DTSS_RESULTARG] = D3DTA_TEMP;
    stage(1, D3DTOP_MODULATE, D3DTA_TEMP, D3DTA_CURRENT, D3DTOP_ADD, D3DTA_TEMP, D3DTA_CURRENT);
    run(out);
    const float viaTemp[4] = {0.1f, 0.1f, 0.6f, 1.0f};
    expectColour(viaTemp, out, "temp");
    EXPECT_EQ(1u, setup.textureMask) << "stage 1 reads no texture";

    // A disabled first stage passes the diffuse colour through.
    stage(0, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    run(out);
    expectColour(DIFFUSE, out, "disabled");
    EXPECT_EQ(0u, setup.textureMask);
}

TEST_F(TextureCombinerTest, SaturationHappensAfterEveryStage)
{
    // 2 * (0.5 * 0.2 ... ) stays small, but ADD first saturates at 1 before
    // the next stage subtracts: 1 - 0.5 = 0.5, not 1.7 - 0.5.
    stage(0, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    stage(1, D3DTOP_SUBTRACT, D3DTA_CURRENT, D3DTA_TFACTOR | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE);
    state.stageStates[1][D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
    float out[4];
    run(out);
    // Stage 0: (0.7, 0.65, 1.0); minus (1 - 0.2) each.
    EXPECT_NEAR(0.0f, out[0], TOLERANCE);
    EXPECT_NEAR(0.2f, out[2], TOLERANCE);
    EXPECT_NEAR(0.5f, out[3], TOLERANCE) << "a disabled alpha operation keeps the current alpha";
}

TEST_F(TextureCombinerTest, MissingTextureAsFirstArgumentEndsTheCascade)
{
    stage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    stage(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
    stage(2, D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_CURRENT);
    bound[1] = false;
    float out[4];
    run(out);
    const float stage0[4] = {0.1f, 0.1f, 0.6f, 0.4f};
    expectColour(stage0, out, "cascade ends at stage 1");
    EXPECT_EQ(1, setup.stageCount);

    // A missing texture in another argument reads opaque black.
    SetUp();
    bound[0] = false;
    stage(0, D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    run(out);
    const float diffuseOpaque[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    expectColour(diffuseOpaque, out, "opaque black");
    EXPECT_EQ(0u, setup.textureMask);
}

TEST_F(TextureCombinerTest, PremodulateScalesByTheNextStagesTexture)
{
    stage(0, D3DTOP_PREMODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE);
    stage(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
    float out[4];
    run(out);
    // D * T1 = (0.02, 0.08, 0.18).
    const float expected[4] = {0.02f, 0.08f, 0.18f, 0.8f};
    expectColour(expected, out, "premodulate");
    EXPECT_EQ(2u, setup.textureMask);

    // As the last active stage there is no next texture to apply.
    stage(1, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    run(out);
    expectColour(DIFFUSE, out, "premodulate without a next stage");
    EXPECT_EQ(0u, setup.textureMask);
}

TEST_F(TextureCombinerTest, ShortcutsAgreeWithTheGeneralStages)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const struct {
        DWORD op, arg2;
        swd3d9::CombinerShortcut shortcut;
    } setups[] = {
        {D3DTOP_MODULATE, D3DTA_CURRENT, swd3d9::COMBINE_MODULATE_TEXTURE},
        {D3DTOP_MODULATE, D3DTA_DIFFUSE, swd3d9::COMBINE_MODULATE_TEXTURE},
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, swd3d9::COMBINE_SELECT_TEXTURE},
        {D3DTOP_DISABLE, D3DTA_DIFFUSE, swd3d9::COMBINE_DIFFUSE},
    };
    for (const auto& s : setups) {
        SetUp();
        stage(0, s.op, D3DTA_TEXTURE, s.arg2, s.op, D3DTA_TEXTURE, s.arg2);
        swd3d9::prepareCombiner(setup, state, bound);
        ASSERT_EQ(s.shortcut, setup.shortcut);
        CombinerSetup general = setup;
        general.shortcut = swd3d9::COMBINE_GENERAL;
        for (int i = 0; i < 200; ++i) {
            float diffuse[4], specular[4], textures[8][4];
            for (int c = 0; c < 4; ++c) {
                diffuse[c] = unit(random);
                specular[c] = unit(random);
                for (auto& t : textures)
                    t[c] = unit(random);
            }
            float fast[4], slow[4];
            swd3d9::combine(setup, diffuse, specular, textures, fast);
            swd3d9::combine(general, diffuse, specular, textures, slow);
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(slow[c], fast[c], 1e-6f) << "op " << s.op;
        }
    }
    // The default stage states are not a shortcut (alpha selects the texture).
    SetUp();
    swd3d9::prepareCombiner(setup, state, bound);
    EXPECT_EQ(swd3d9::COMBINE_GENERAL, setup.shortcut);
}
