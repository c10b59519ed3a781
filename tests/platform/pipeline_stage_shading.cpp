// Texture stages with their choices made once per draw, against the
// routines that decide them per pixel: the combiner's plan against
// combine() on random stages (every operation, argument, modifier and
// register, bound and unbound textures), and the shading routines of one
// and two stages against shadeColor on random draws (texture formats,
// filters, projected coordinates, derivatives, specular and fog). Results
// must agree bit for bit.

#include "D3DTestSupport.h"

#include "d3d9/DeviceState.h"
#include "d3d9/PixelStateTranslation.h"
#include "d3d9/Resources.h"
#include "pipeline/PixelBuffer.h"
#include "pipeline/PixelRoutines.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::pipeline::PixelContext;
using swd3d9::pipeline::PixelInputs;

namespace {

class RandomStages
{
public:
    explicit RandomStages(unsigned seed) : random(seed) {}

    DWORD pick(std::initializer_list<DWORD> values)
    {
        return values.begin()[std::uniform_int_distribution<size_t>(0, values.size() - 1)(random)];
    }
    DWORD upTo(DWORD last) { return std::uniform_int_distribution<DWORD>(0, last)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }
    float between(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); }

    // Any register (past the last reads the current colour), with or
    // without each modifier.
    DWORD argument() { return upTo(7) | pick({0, D3DTA_COMPLEMENT, D3DTA_ALPHAREPLICATE, D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE}); }

    // Stages 0 to count - 1 enabled with any operations and arguments (the
    // alpha operation also disabled or invalid), the next disabled; the
    // texture factor and stage constants random.
    void stages(swd3d9::DeviceState& state, int count)
    {
        state.renderStates[D3DRS_TEXTUREFACTOR] = static_cast<DWORD>(random());
        for (int i = 0; i < count; ++i) {
            DWORD* s = state.stageStates[i];
            s[D3DTSS_COLOROP] = D3DTOP_SELECTARG1 + upTo(D3DTOP_LERP - D3DTOP_SELECTARG1);
            s[D3DTSS_ALPHAOP] = chance(0.85) ? D3DTOP_SELECTARG1 + upTo(D3DTOP_LERP - D3DTOP_SELECTARG1)
                                             : pick({D3DTOP_DISABLE, 0, 40});
            for (const DWORD arg : {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAARG0,
                                    D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2})
                s[arg] = chance(0.3) ? D3DTA_TEXTURE : argument();
            s[D3DTSS_RESULTARG] = chance(0.3) ? D3DTA_TEMP : D3DTA_CURRENT;
            s[D3DTSS_CONSTANT] = static_cast<DWORD>(random());
        }
        state.stageStates[count][D3DTSS_COLOROP] = D3DTOP_DISABLE;
    }

    std::mt19937 random;
};

bool sameBits(const float a[4], const float b[4]) { return std::memcmp(a, b, 4 * sizeof(float)) == 0; }

} // namespace

TEST(PlannedCombinerTest, MatchesCombineBitForBitOnRandomStages)
{
    RandomStages r(7);
    auto state = std::make_unique<swd3d9::DeviceState>();
    int planned[3] = {};
    for (int trial = 0; trial < 20000; ++trial) {
        swd3d9::setDefaultState(*state, true);
        const int count = 1 + static_cast<int>(r.upTo(2));
        r.stages(*state, count);
        // The common one-stage set-ups, which combine() takes as shortcuts.
        if (count == 1 && r.chance(0.1)) {
            DWORD* s = state->stageStates[0];
            const bool modulate = r.chance(0.5);
            s[D3DTSS_COLOROP] = s[D3DTSS_ALPHAOP] = modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
            s[D3DTSS_COLORARG1] = s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
            s[D3DTSS_COLORARG2] = s[D3DTSS_ALPHAARG2] = r.pick({D3DTA_DIFFUSE, D3DTA_CURRENT});
            s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        }
        bool bound[swd3d9::TEXTURE_STAGE_COUNT];
        for (bool& b : bound)
            b = r.chance(0.75);
        swd3d9::CombinerSetup setup;
        swd3d9::prepareCombiner(setup, *state, bound);
        swd3d9::CombinerPlan plan;
        const bool hasPlan = swd3d9::planCombiner(setup, plan);
        // An unbound texture as the first argument ends the cascade early.
        ASSERT_EQ(setup.stageCount >= 1 && setup.stageCount <= 2, hasPlan);
        ASSERT_EQ(hasPlan, plan.combine != nullptr);
        ++planned[hasPlan ? setup.stageCount : 0];
        if (!hasPlan)
            continue;
        for (int n = 0; n < 8; ++n) {
            float diffuse[4], specular[4], textures[swd3d9::TEXTURE_STAGE_COUNT][4];
            for (int c = 0; c < 4; ++c) {
                diffuse[c] = r.chance(0.1) ? static_cast<float>(r.upTo(1)) : r.between(-0.25f, 1.25f);
                specular[c] = r.between(-0.25f, 1.25f);
                for (auto& t : textures)
                    t[c] = r.chance(0.1) ? static_cast<float>(r.upTo(1)) : r.between(0.0f, 1.0f);
            }
            float expected[4], actual[4];
            swd3d9::combine(setup, diffuse, specular, textures, expected);
            plan.combine(setup, plan, diffuse, specular, textures, actual);
            ASSERT_TRUE(sameBits(expected, actual))
                << "trial " << trial << ": " << expected[0] << " " << expected[1] << " " << expected[2] << " "
                << expected[3] << " planned " << actual[0] << " " << actual[1] << " " << actual[2] << " " << actual[3];
        }
    }
    EXPECT_GT(planned[1], 1000);
    EXPECT_GT(planned[2], 1000);
}

class StageShadingTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        // Every format with a 4x4 level and its mip levels of random texels.
        const D3DFORMAT formats[TEXTURE_COUNT] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                                                  D3DFMT_A4R4G4B4, D3DFMT_L8,       D3DFMT_A8};
        for (int i = 0; i < TEXTURE_COUNT; ++i) {
            Com<IDirect3DTexture9>& texture = textures[i];
            ASSERT_EQ(D3D_OK,
                      device->CreateTexture(4, 4, 0, 0, formats[i], D3DPOOL_MANAGED, texture.out(), nullptr));
            for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
                D3DLOCKED_RECT locked;
                ASSERT_EQ(D3D_OK, texture->LockRect(level, &locked, nullptr, 0));
                const UINT side = 4u >> level;
                for (UINT y = 0; y < side; ++y)
                    for (UINT x = 0; x < 4 * side; ++x)
                        static_cast<BYTE*>(locked.pBits)[y * locked.Pitch + x] = static_cast<BYTE>(r.random());
                texture->UnlockRect(level);
            }
        }
        ASSERT_TRUE(target.allocate(D3DFMT_A8R8G8B8, 4, 4, 1, 1));
    }

    void TearDown() override
    {
        for (auto& texture : textures)
            texture.reset();
        DeviceTest::TearDown();
    }

    // Stages as RandomStages makes them, with random textures (or none),
    // sampler states, coordinate projection, specular and fog.
    void randomState(swd3d9::DeviceState& state, int count)
    {
        swd3d9::setDefaultState(state, true);
        DWORD* rs = state.renderStates;
        rs[D3DRS_ZENABLE] = D3DZB_FALSE;
        r.stages(state, count);
        for (int i = 0; i < count; ++i) {
            IDirect3DTexture9* texture = textures[r.upTo(TEXTURE_COUNT - 1)].get();
            state.textures[i] = r.chance(0.8) ? swd3d9::toTexture(texture) : nullptr;
            DWORD* sampler = state.samplerStates[i];
            sampler[D3DSAMP_MINFILTER] = r.pick({D3DTEXF_POINT, D3DTEXF_LINEAR});
            sampler[D3DSAMP_MAGFILTER] = r.pick({D3DTEXF_POINT, D3DTEXF_LINEAR});
            sampler[D3DSAMP_MIPFILTER] = r.pick({D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR});
            sampler[D3DSAMP_ADDRESSU] = r.pick({D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_MIRROR});
            sampler[D3DSAMP_ADDRESSV] = r.pick({D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_MIRROR});
            state.stageStates[i][D3DTSS_TEXTURETRANSFORMFLAGS] =
                r.chance(0.7) ? 0 : r.pick({D3DTTFF_PROJECTED, D3DTTFF_PROJECTED | D3DTTFF_COUNT1,
                                            D3DTTFF_PROJECTED | D3DTTFF_COUNT2, D3DTTFF_PROJECTED | D3DTTFF_COUNT3,
                                            D3DTTFF_PROJECTED | D3DTTFF_COUNT4});
        }
        rs[D3DRS_SPECULARENABLE] = r.chance(0.5);
        rs[D3DRS_FOGENABLE] = r.chance(0.5);
        rs[D3DRS_FOGTABLEMODE] = r.pick({D3DFOG_NONE, D3DFOG_EXP, D3DFOG_LINEAR});
        rs[D3DRS_FOGCOLOR] = static_cast<DWORD>(r.random());
        rs[D3DRS_FOGSTART] = floatBits(r.between(-0.5f, 0.5f));
        rs[D3DRS_FOGEND] = floatBits(r.between(0.6f, 2.0f));
        rs[D3DRS_FOGDENSITY] = floatBits(r.between(0.0f, 3.0f));
    }

    static constexpr int TEXTURE_COUNT = 7;
    RandomStages r{23};
    Com<IDirect3DTexture9> textures[TEXTURE_COUNT];
    swd3d9::PixelBuffer target;
};

TEST_F(StageShadingTest, EveryStageRoutineMatchesShadeColorBitForBit)
{
    namespace pipeline = swd3d9::pipeline;
    auto state = std::make_unique<swd3d9::DeviceState>();
    auto context = std::make_unique<PixelContext>();
    std::vector<int> reached(pipeline::STAGE_SHADE_ROUTINE_COUNT, 0);
    for (int trial = 0; trial < 3000; ++trial) {
        // Three stages stay with shadeColor.
        const int count = 1 + static_cast<int>(r.upTo(2));
        randomState(*state, count);
        std::memset(context.get(), 0, sizeof(PixelContext));
        context->target.color = &target;
        context->target.colorFormat = D3DFMT_A8R8G8B8;
        context->target.samples = 1;
        swd3d9::buildPixelState(*state, *context);

        const int index = pipeline::stageShadeIndex(*context);
        const int stages = context->combiner.stageCount;
        ASSERT_EQ(stages >= 1 && stages <= 2, index >= 0) << "trial " << trial;
        if (index < 0) {
            ASSERT_EQ(&pipeline::shadeColor, context->routine.shade);
            continue;
        }
        ASSERT_EQ(pipeline::stageShadeAt(index), context->routine.shade);
        ++reached[static_cast<size_t>(index)];

        for (int n = 0; n < 16; ++n) {
            float varyings[pipeline::MAX_VARYINGS];
            for (float& v : varyings)
                v = r.chance(0.1) ? static_cast<float>(r.upTo(1)) : r.between(-0.25f, 1.25f);
            // Coordinates across several repeats, and now and then a zero
            // to project by.
            for (int i = pipeline::VARYING_TEXCOORD; i < pipeline::MAX_VARYINGS; ++i)
                varyings[i] = r.chance(0.05) ? 0.0f : r.between(-2.0f, 2.0f);
            float derivatives[2][4 * pipeline::MAX_STAGES];
            for (auto& axis : derivatives)
                for (float& d : axis)
                    d = r.between(-1.5f, 1.5f);
            PixelInputs in;
            in.z = r.between(-0.1f, 1.1f);
            in.invW = r.between(0.2f, 2.0f);
            in.varyings = varyings;
            in.derivativesX = context->key.needsDerivatives ? derivatives[0] : nullptr;
            in.derivativesY = context->key.needsDerivatives ? derivatives[1] : nullptr;
            in.frontFace = true;
            float expected[4], actual[4];
            pipeline::shadeColor(*context, in, expected);
            context->routine.shade(*context, in, actual);
            ASSERT_TRUE(sameBits(expected, actual)) << "routine " << index << ", trial " << trial;
        }
        for (auto& texture : state->textures)
            texture = nullptr;
    }
    for (size_t i = 0; i < reached.size(); ++i)
        EXPECT_GT(reached[i], 0) << "stage routine " << i << " never chosen";
}
