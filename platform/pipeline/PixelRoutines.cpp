#include "pipeline/PixelRoutines.h"

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace swd3d9 {
namespace pipeline {

namespace {

enum DepthMode { DEPTH_NONE, DEPTH_16, DEPTH_24, DEPTH_24_STENCIL, STENCIL_ONLY, DEPTH_MODES };
enum BlendMode { BLEND_OFF, BLEND_SOURCE_ALPHA, BLEND_ADD, BLEND_GENERAL, BLEND_MODES };
// Untextured: the diffuse colour, with a bit each for the specular add and
// fog; or PixelRoutineSetup::shade (the texture stages' routine, or
// shadeColor), which the routine for any target always calls.
enum ShadeMode { SHADE_DIFFUSE = 0, SHADE_SPECULAR = 1, SHADE_FOG = 2, SHADE_BY_ROUTINE = 4, SHADE_MODES = 5 };

// Per depth mode and alpha test: the 32-bit target's blend and shade
// combinations, then the routine for any target.
constexpr int WORD_TARGET_VARIANTS = BLEND_MODES * SHADE_MODES;
constexpr int COLOR_VARIANTS = WORD_TARGET_VARIANTS + 1;
static_assert(PIXEL_ROUTINE_COUNT == DEPTH_MODES * 2 * COLOR_VARIANTS, "one routine per class");
// For a shaded colour: the 32-bit target's blends, then any target.
constexpr int SHADED_COLOR_VARIANTS = BLEND_MODES + 1;
static_assert(SHADED_PIXEL_ROUTINE_COUNT == DEPTH_MODES * 2 * SHADED_COLOR_VARIANTS, "one routine per class");
// Texture stages: one or two, specular added or not, fogged or not.
static_assert(STAGE_SHADE_ROUTINE_COUNT == PLANNED_STAGES * 4, "one routine per class");

// D3DCMP_NEVER to D3DCMP_ALWAYS are, less one, the truth tables of
// PixelRoutineSetup; an unknown function passes everything, as ALWAYS.
uint8_t comparisonTable(uint8_t func)
{
    return static_cast<uint8_t>(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func - D3DCMP_NEVER : 7);
}

// compareFunction for the function of the table, without a branch.
inline bool passes(uint8_t table, uint32_t value, uint32_t reference)
{
    const int order = (value >= reference) + (value > reference);
    return (table >> order) & 1;
}

float saturate(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

uint32_t toUnorm8(float v) { return static_cast<uint32_t>(saturate(v) * 255.0f + 0.5f); }

template <int Shade>
inline void shadeAs(const PixelContext& context, const PixelInputs& in, float rgba[4])
{
    if constexpr (Shade == SHADE_BY_ROUTINE) {
        context.routine.shade(context, in, rgba);
    } else {
        const float* v = in.varyings;
        std::memcpy(rgba, v + VARYING_DIFFUSE, 4 * sizeof(float));
        if constexpr ((Shade & SHADE_SPECULAR) != 0) {
            for (int i = 0; i < 3; ++i)
                rgba[i] = saturate(rgba[i] + v[VARYING_SPECULAR + i]);
        }
        if constexpr ((Shade & SHADE_FOG) != 0)
            applyFog(context, in.z, in.invW, v[VARYING_FOG], rgba);
    }
}

// The colour, saturated, blended into a 32-bit target word and stored
// under the write mask. The word is read whatever the mode: the mask
// merges with it, and its line is about to be written anyway.
template <int Blend>
__attribute__((always_inline)) inline void storeWord(const PixelContext& context, uint8_t* p, float color[4])
{
    const PixelRoutineSetup& setup = context.routine;
    uint32_t old;
    std::memcpy(&old, p, 4);
    for (int i = 0; i < 4; ++i)
        color[i] = saturate(color[i]);
    float result[4];
    if constexpr (Blend == BLEND_OFF) {
        std::memcpy(result, color, sizeof(result));
    } else {
        const float unit = 1.0f / 255.0f;
        // 255 * (1 / 255) is exactly 1 in single precision: the filled
        // alpha byte of X8R8G8B8 reads as 1.
        const float dst[4] = {((old >> 16) & 0xFF) * unit, ((old >> 8) & 0xFF) * unit, (old & 0xFF) * unit,
                              ((old | setup.alphaFill) >> 24) * unit};
        if constexpr (Blend == BLEND_SOURCE_ALPHA) {
            const float a = color[3], inverse = 1.0f - a;
            for (int i = 0; i < 3; ++i)
                result[i] = color[i] * a + dst[i] * inverse;
            // Alpha by SRCALPHA as the colour, or by ONE (laid over).
            const float alphaFactor = context.key.alphaOver ? 1.0f : a;
            result[3] = color[3] * alphaFactor + dst[3] * inverse;
        } else if constexpr (Blend == BLEND_ADD) {
            for (int i = 0; i < 4; ++i)
                result[i] = color[i] + dst[i];
        } else {
            blendGeneral(context.key, context.constants.blendFactor, color, dst, result);
        }
    }
    uint32_t c = (toUnorm8(result[3]) << 24) | (toUnorm8(result[0]) << 16) | (toUnorm8(result[1]) << 8) |
                 toUnorm8(result[2]);
    c |= setup.alphaFill;
    c = (c & ~setup.colorKeep) | (old & setup.colorKeep);
    std::memcpy(p, &c, 4);
}

// The depth and stencil part of a sample in one depth mode: the stored
// word, the tests and the store, as processPixel does them.
template <int Depth>
struct DepthStencilSample {
    static constexpr bool depthTest = Depth == DEPTH_16 || Depth == DEPTH_24 || Depth == DEPTH_24_STENCIL;
    static constexpr bool stencil = Depth == DEPTH_24_STENCIL || Depth == STENCIL_ONLY;

    uint8_t* pixel = nullptr;
    uint32_t storedDepth = 0, stencilValue = 0, depthBits = 0;
    bool stencilPass = true, depthPass = true;

    __attribute__((always_inline)) void load(const TargetView& target, int x, int y, UINT sample, float z)
    {
        if constexpr (Depth != DEPTH_NONE) {
            pixel = target.depth->pixel(static_cast<UINT>(x), static_cast<UINT>(y), 0,
                                        sample < target.depth->samples() ? sample : 0);
            if constexpr (Depth == DEPTH_16) {
                uint16_t w16;
                std::memcpy(&w16, pixel, 2);
                storedDepth = w16;
                depthBits = static_cast<uint32_t>(saturate(z) * 65535.0f + 0.5f);
            } else {
                uint32_t word;
                std::memcpy(&word, pixel, 4);
                storedDepth = word >> 8;
                stencilValue = word & 0xFF;
                if constexpr (depthTest)
                    depthBits = depthBits24(z);
            }
        }
    }

    // Whether both tests pass (the depth test runs only after the stencil
    // test passed).
    __attribute__((always_inline)) bool test(const PixelContext& context, const StencilFace& face)
    {
        const PixelConstants& c = context.constants;
        if constexpr (stencil)
            stencilPass = passes(face.passes, c.stencilRef & c.stencilMask, stencilValue & c.stencilMask);
        if constexpr (depthTest)
            depthPass = stencilPass && passes(context.routine.depthPasses, depthBits, storedDepth);
        return stencilPass && depthPass;
    }

    __attribute__((always_inline)) void store(const PixelContext& context, const StencilFace& face)
    {
        const PixelConstants& c = context.constants;
        const bool zWrite = context.key.zWrite;
        if constexpr (Depth == DEPTH_16) {
            if (zWrite && depthPass) {
                const uint16_t w16 = static_cast<uint16_t>(depthBits);
                std::memcpy(pixel, &w16, 2);
            }
        } else if constexpr (Depth != DEPTH_NONE) {
            uint32_t newStencil = stencilValue;
            if constexpr (stencil) {
                const uint8_t op = !stencilPass ? face.fail : (!depthPass ? face.zFail : face.pass);
                const uint32_t updated = stencilOperation(op, stencilValue, c.stencilRef);
                newStencil = (stencilValue & ~c.stencilWriteMask) | (updated & c.stencilWriteMask);
            }
            const bool writeDepth = depthTest && zWrite && stencilPass && depthPass;
            if (writeDepth || newStencil != stencilValue) {
                const uint32_t word = ((writeDepth ? depthBits : storedDepth) << 8) | newStencil;
                std::memcpy(pixel, &word, 4);
            }
        }
    }
};

// processSample for one class of state: the same steps in the same order,
// those the class rules out left out; shade(color) gives the colour.
template <int Depth, bool AlphaTest, bool WordTarget, int Blend, class Shade>
__attribute__((always_inline)) inline void finishSample(const PixelContext& context, int x, int y, UINT sample,
                                                        float z, bool frontFace, const Shade& shade)
{
    DepthStencilSample<Depth> depth;
    depth.load(context.target, x, y, sample, z);
    const StencilFace& face = context.routine.stencil[frontFace ? 1 : 0];
    float color[4];
    if constexpr (!AlphaTest) {
        if (!depth.test(context, face)) {
            depth.store(context, face);
            return;
        }
        shade(color);
    } else {
        shade(color);
        if (!passes(context.routine.alphaPasses, toUnorm8(color[3]), context.constants.alphaRef))
            return;
        if (!depth.test(context, face)) {
            depth.store(context, face);
            return;
        }
    }
    depth.store(context, face);

    if constexpr (WordTarget) {
        const TargetView& target = context.target;
        uint8_t* p = target.color->pixel(static_cast<UINT>(x), static_cast<UINT>(y), 0,
                                         sample < target.color->samples() ? sample : 0);
        storeWord<Blend>(context, p, color);
    } else {
        storeColor(context, x, y, sample, color);
    }
}

// processPixel for one class of state.
template <int Depth, bool AlphaTest, bool WordTarget, int Blend, int Shade>
void shadeSample(const PixelContext& context, int x, int y, UINT sample, const PixelInputs& in)
{
    finishSample<Depth, AlphaTest, WordTarget, Blend>(context, x, y, sample, in.z, in.frontFace,
                                                      [&](float* color) { shadeAs<Shade>(context, in, color); });
}

// processShadedPixel for one class of state.
template <int Depth, bool AlphaTest, bool WordTarget, int Blend>
void storeShaded(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace,
                 const float color[4])
{
    finishSample<Depth, AlphaTest, WordTarget, Blend>(
        context, x, y, sample, z, frontFace, [&](float* out) { std::memcpy(out, color, 4 * sizeof(float)); });
}

// shadeColor for one or two texture stages: the stages combined as the
// draw's plan says, then the specular add and fog if the class has them.
template <int Stages, bool Specular, bool Fog>
void shadeStages(const PixelContext& context, const PixelInputs& in, float rgba[4])
{
    const float* v = in.varyings;
    float textures[TEXTURE_STAGE_COUNT][4];
    for (int s = 0; s < Stages; ++s) {
        if (context.combiner.textureMask & (1u << s))
            sampleStage(context, in, s, textures[s]);
    }
    const CombinerPlan& plan = context.routine.combiner;
    plan.combine(context.combiner, plan, v + VARYING_DIFFUSE, v + VARYING_SPECULAR, textures, rgba);
    if constexpr (Specular) {
        for (int i = 0; i < 3; ++i)
            rgba[i] = saturate(rgba[i] + v[VARYING_SPECULAR + i]);
    }
    if constexpr (Fog)
        applyFog(context, in.z, in.invW, v[VARYING_FOG], rgba);
}

// The depth and stencil tests ahead of shading, for draws without an alpha
// test: a sample that fails them is finished here.
template <int Depth>
bool failsDepthStencil(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace)
{
    DepthStencilSample<Depth> depth;
    depth.load(context.target, x, y, sample, z);
    const StencilFace& face = context.routine.stencil[frontFace ? 1 : 0];
    if (depth.test(context, face))
        return false;
    depth.store(context, face);
    return true;
}

const EarlyTestRoutine EARLY_TESTS[DEPTH_MODES] = {nullptr, &failsDepthStencil<DEPTH_16>,
                                                   &failsDepthStencil<DEPTH_24>,
                                                   &failsDepthStencil<DEPTH_24_STENCIL>,
                                                   &failsDepthStencil<STENCIL_ONLY>};

// Entry i of the table: depth mode, alpha test, then the colour variant.
template <int Index>
constexpr PixelRoutine routineAt()
{
    constexpr int depth = Index / (2 * COLOR_VARIANTS);
    constexpr bool alphaTest = (Index / COLOR_VARIANTS) % 2 != 0;
    constexpr int variant = Index % COLOR_VARIANTS;
    if constexpr (variant == WORD_TARGET_VARIANTS)
        return &shadeSample<depth, alphaTest, false, BLEND_GENERAL, SHADE_BY_ROUTINE>;
    else
        return &shadeSample<depth, alphaTest, true, variant / SHADE_MODES, variant % SHADE_MODES>;
}

template <size_t... Index>
constexpr std::array<PixelRoutine, sizeof...(Index)> routineTable(std::index_sequence<Index...>)
{
    return {{routineAt<Index>()...}};
}

constexpr std::array<PixelRoutine, PIXEL_ROUTINE_COUNT> ROUTINES =
    routineTable(std::make_index_sequence<PIXEL_ROUTINE_COUNT>());

// Entry i of the shaded table: depth mode, alpha test, then the blend of a
// 32-bit target or the routine for any target.
template <int Index>
constexpr ShadedPixelRoutine shadedRoutineAt()
{
    constexpr int depth = Index / (2 * SHADED_COLOR_VARIANTS);
    constexpr bool alphaTest = (Index / SHADED_COLOR_VARIANTS) % 2 != 0;
    constexpr int variant = Index % SHADED_COLOR_VARIANTS;
    if constexpr (variant == BLEND_MODES)
        return &storeShaded<depth, alphaTest, false, BLEND_GENERAL>;
    else
        return &storeShaded<depth, alphaTest, true, variant>;
}

template <size_t... Index>
constexpr std::array<ShadedPixelRoutine, sizeof...(Index)> shadedRoutineTable(std::index_sequence<Index...>)
{
    return {{shadedRoutineAt<Index>()...}};
}

constexpr std::array<ShadedPixelRoutine, SHADED_PIXEL_ROUTINE_COUNT> SHADED_ROUTINES =
    shadedRoutineTable(std::make_index_sequence<SHADED_PIXEL_ROUTINE_COUNT>());

// Entry i of the stage table: stage count less one, then a bit each for
// the specular add and fog.
const ShadeRoutine STAGE_SHADES[STAGE_SHADE_ROUTINE_COUNT] = {
    &shadeStages<1, false, false>, &shadeStages<1, true, false>, &shadeStages<1, false, true>,
    &shadeStages<1, true, true>,   &shadeStages<2, false, false>, &shadeStages<2, true, false>,
    &shadeStages<2, false, true>,  &shadeStages<2, true, true>};

int depthMode(const PixelContext& context)
{
    const PixelKey& key = context.key;
    if (key.stencil)
        return key.zEnable ? DEPTH_24_STENCIL : STENCIL_ONLY;
    if (!key.zEnable)
        return DEPTH_NONE;
    const D3DFORMAT format = context.target.depthFormat;
    return format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE ? DEPTH_16 : DEPTH_24;
}

int blendMode(const PixelKey& key)
{
    if (!key.blend)
        return BLEND_OFF;
    const bool alphaByAlpha = (key.srcBlendAlpha == D3DBLEND_SRCALPHA || key.srcBlendAlpha == D3DBLEND_ONE) &&
                              key.destBlendAlpha == D3DBLEND_INVSRCALPHA && key.blendOpAlpha == D3DBLENDOP_ADD;
    if (key.srcBlend == D3DBLEND_SRCALPHA && key.destBlend == D3DBLEND_INVSRCALPHA &&
        key.blendOp == D3DBLENDOP_ADD && alphaByAlpha)
        return BLEND_SOURCE_ALPHA;
    const bool added = key.srcBlend == D3DBLEND_ONE && key.destBlend == D3DBLEND_ONE && key.blendOp == D3DBLENDOP_ADD;
    const bool alphaAdded = key.srcBlendAlpha == D3DBLEND_ONE && key.destBlendAlpha == D3DBLEND_ONE &&
                            key.blendOpAlpha == D3DBLENDOP_ADD;
    if (added && alphaAdded)
        return BLEND_ADD;
    return BLEND_GENERAL;
}

int shadeMode(const PixelKey& key)
{
    if (key.stageCount != 0)
        return SHADE_BY_ROUTINE;
    return (key.specularAdd ? SHADE_SPECULAR : 0) | (key.fogEnable ? SHADE_FOG : 0);
}

bool wordTarget(const PixelContext& context)
{
    const TargetView& target = context.target;
    return target.color && context.key.colorWrite != 0 &&
           (target.colorFormat == D3DFMT_A8R8G8B8 || target.colorFormat == D3DFMT_X8R8G8B8);
}

int blendVariant(const PixelContext& context) { return wordTarget(context) ? blendMode(context.key) : BLEND_MODES; }

} // namespace

int shadedPixelRoutineIndex(const PixelContext& context)
{
    return (depthMode(context) * 2 + (context.key.alphaTest ? 1 : 0)) * SHADED_COLOR_VARIANTS + blendVariant(context);
}

ShadedPixelRoutine shadedPixelRoutineAt(int index) { return SHADED_ROUTINES[static_cast<size_t>(index)]; }

int stageShadeIndex(const PixelContext& context)
{
    const PixelKey& key = context.key;
    const int stages = context.combiner.stageCount;
    if (context.program.executable || stages < 1 || stages > PLANNED_STAGES)
        return -1;
    return (stages - 1) * 4 + (key.specularAdd ? 1 : 0) + (key.fogEnable ? 2 : 0);
}

ShadeRoutine stageShadeAt(int index) { return STAGE_SHADES[index]; }

int pixelRoutineIndex(const PixelContext& context)
{
    const PixelKey& key = context.key;
    const int variant =
        wordTarget(context) ? blendMode(key) * SHADE_MODES + shadeMode(key) : WORD_TARGET_VARIANTS;
    return (depthMode(context) * 2 + (key.alphaTest ? 1 : 0)) * COLOR_VARIANTS + variant;
}

PixelRoutine pixelRoutineAt(int index) { return ROUTINES[static_cast<size_t>(index)]; }

void choosePixelRoutine(PixelContext& context)
{
    const PixelKey& key = context.key;
    PixelRoutineSetup& setup = context.routine;
    std::memset(&setup, 0, sizeof(setup));
    setup.run = ROUTINES[static_cast<size_t>(pixelRoutineIndex(context))];
    setup.store = SHADED_ROUTINES[static_cast<size_t>(shadedPixelRoutineIndex(context))];
    const int stageShade = stageShadeIndex(context);
    setup.shade = stageShade >= 0 && planCombiner(context.combiner, setup.combiner) ? STAGE_SHADES[stageShade]
                                                                                      : &shadeColor;
    setup.earlyTest = key.alphaTest ? nullptr : EARLY_TESTS[depthMode(context)];
    const StencilFace clockwise = {comparisonTable(key.stencilFunc), key.stencilFail, key.stencilZFail,
                                   key.stencilPass};
    const StencilFace counterClockwise = {comparisonTable(key.ccwStencilFunc), key.ccwStencilFail,
                                          key.ccwStencilZFail, key.ccwStencilPass};
    setup.stencil[0] = key.twoSidedStencil ? counterClockwise : clockwise;
    setup.stencil[1] = clockwise;
    const uint8_t mask = key.colorWrite;
    setup.colorKeep = ((mask & D3DCOLORWRITEENABLE_RED) ? 0 : 0x00FF0000u) |
                      ((mask & D3DCOLORWRITEENABLE_GREEN) ? 0 : 0x0000FF00u) |
                      ((mask & D3DCOLORWRITEENABLE_BLUE) ? 0 : 0x000000FFu) |
                      ((mask & D3DCOLORWRITEENABLE_ALPHA) ? 0 : 0xFF000000u);
    setup.alphaFill = context.target.colorFormat == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    setup.depthPasses = comparisonTable(key.zFunc);
    setup.alphaPasses = comparisonTable(key.alphaFunc);
    // Without texture stages (or a program) a sample reads the diffuse
    // colour, then the specular colour when it is added, then the vertex
    // fog factor.
    setup.varyingsRead = context.varyingCount;
    if (key.stageCount == 0 && !context.program.executable) {
        const bool vertexFog = key.fogEnable && !key.tableFog;
        setup.varyingsRead = vertexFog ? VARYING_FOG + 1 : (key.specularAdd ? VARYING_FOG : VARYING_SPECULAR);
    }
}

} // namespace pipeline
} // namespace swd3d9
