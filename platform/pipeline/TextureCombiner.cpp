#include "pipeline/TextureCombiner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace swd3d9 {

namespace {

float saturate(float x) { return std::min(std::max(x, 0.0f), 1.0f); }

// Which arguments an operation reads: bit 0 ARG0, bit 1 ARG1, bit 2 ARG2.
constexpr unsigned argumentsRead(DWORD op)
{
    switch (op) {
    case D3DTOP_SELECTARG1:
    case D3DTOP_PREMODULATE: return 2u;
    case D3DTOP_SELECTARG2: return 4u;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return 7u;
    case D3DTOP_BUMPENVMAP:
    case D3DTOP_BUMPENVMAPLUMINANCE: return 0u;
    default: return 6u;
    }
}

} // namespace

bool readsTexture(DWORD op, const uint8_t args[3])
{
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM || op == D3DTOP_BUMPENVMAP ||
        op == D3DTOP_BUMPENVMAPLUMINANCE)
        return true;
    const unsigned used = argumentsRead(op);
    for (int i = 0; i < 3; ++i)
        if ((used & (1u << i)) && (args[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE)
            return true;
    return false;
}

namespace {

struct Registers {
    const float* diffuse;
    const float* specular;
    const float* texture;
    const float* factor;
    const float* constant;
    float current[4];
    float temp[4];
};

const float* sourceOf(uint8_t arg, const Registers& r)
{
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: return r.diffuse;
    case D3DTA_TEXTURE: return r.texture;
    case D3DTA_TFACTOR: return r.factor;
    case D3DTA_SPECULAR: return r.specular;
    case D3DTA_TEMP: return r.temp;
    case D3DTA_CONSTANT: return r.constant;
    default: return r.current;
    }
}

// An argument with its modifiers: alpha replicated into the colour, then
// every channel complemented.
void argument(uint8_t arg, const Registers& r, float out[4])
{
    const float* v = sourceOf(arg, r);
    if (arg & D3DTA_ALPHAREPLICATE) {
        out[0] = out[1] = out[2] = out[3] = v[3];
    } else {
        out[0] = v[0];
        out[1] = v[1];
        out[2] = v[2];
        out[3] = v[3];
    }
    if (arg & D3DTA_COMPLEMENT)
        for (int i = 0; i < 4; ++i)
            out[i] = 1.0f - out[i];
}

float dot3(const float* a, const float* b)
{
    const float d = (a[0] - 0.5f) * (b[0] - 0.5f) + (a[1] - 0.5f) * (b[1] - 0.5f) + (a[2] - 0.5f) * (b[2] - 0.5f);
    return saturate(4.0f * d);
}

// Channels first..last of an operation's result (colour: 0..2, alpha: 3).
// a0, a1, a2 are the arguments with their modifiers; the blend operations
// read the unmodified alphas of their registers.
__attribute__((always_inline)) inline void applyOp(DWORD op, int first, int last, const float* a0, const float* a1, const float* a2, const Registers& r,
             const float* nextTexture, float* out)
{
    // The operation is chosen once, outside the channel loop.
    auto each = [&](auto f) {
        for (int c = first; c <= last; ++c)
            out[c] = saturate(f(c));
    };
    auto blend = [&](float alpha) { each([&](int c) { return a1[c] * alpha + a2[c] * (1.0f - alpha); }); };
    switch (op) {
    case D3DTOP_SELECTARG1: each([&](int c) { return a1[c]; }); break;
    case D3DTOP_SELECTARG2: each([&](int c) { return a2[c]; }); break;
    case D3DTOP_MODULATE: each([&](int c) { return a1[c] * a2[c]; }); break;
    case D3DTOP_MODULATE2X: each([&](int c) { return 2.0f * a1[c] * a2[c]; }); break;
    case D3DTOP_MODULATE4X: each([&](int c) { return 4.0f * a1[c] * a2[c]; }); break;
    case D3DTOP_ADD: each([&](int c) { return a1[c] + a2[c]; }); break;
    case D3DTOP_ADDSIGNED: each([&](int c) { return a1[c] + a2[c] - 0.5f; }); break;
    case D3DTOP_ADDSIGNED2X: each([&](int c) { return 2.0f * (a1[c] + a2[c] - 0.5f); }); break;
    case D3DTOP_SUBTRACT: each([&](int c) { return a1[c] - a2[c]; }); break;
    case D3DTOP_ADDSMOOTH: each([&](int c) { return a1[c] + a2[c] - a1[c] * a2[c]; }); break;
    case D3DTOP_BLENDDIFFUSEALPHA: blend(r.diffuse[3]); break;
    case D3DTOP_BLENDTEXTUREALPHA: blend(r.texture[3]); break;
    case D3DTOP_BLENDFACTORALPHA: blend(r.factor[3]); break;
    case D3DTOP_BLENDTEXTUREALPHAPM: each([&](int c) { return a1[c] + a2[c] * (1.0f - r.texture[3]); }); break;
    case D3DTOP_BLENDCURRENTALPHA: blend(r.current[3]); break;
    // The stage's result is modulated by the next stage's texture.
    case D3DTOP_PREMODULATE: each([&](int c) { return nextTexture ? a1[c] * nextTexture[c] : a1[c]; }); break;
    case D3DTOP_MODULATEALPHA_ADDCOLOR: each([&](int c) { return a1[c] + a1[3] * a2[c]; }); break;
    case D3DTOP_MODULATECOLOR_ADDALPHA: each([&](int c) { return a1[c] * a2[c] + a1[3]; }); break;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: each([&](int c) { return (1.0f - a1[3]) * a2[c] + a1[c]; }); break;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: each([&](int c) { return (1.0f - a1[c]) * a2[c] + a1[3]; }); break;
    case D3DTOP_DOTPRODUCT3: each([&](int) { return dot3(a1, a2); }); break;
    case D3DTOP_MULTIPLYADD: each([&](int c) { return a0[c] + a1[c] * a2[c]; }); break;
    case D3DTOP_LERP: each([&](int c) { return a0[c] * a1[c] + (1.0f - a0[c]) * a2[c]; }); break;
    // Bump mapping perturbs the next stage's coordinates, which this
    // combiner does not see: the stage passes the current colour on.
    default: each([&](int c) { return r.current[c]; }); break;
    }
}

const float OPAQUE_BLACK[4] = {0.0f, 0.0f, 0.0f, 1.0f};

} // namespace

// The registers of a planned combine, and the same by D3DTA_ value.
struct CombinerRegisters {
    Registers r;
    const float* source[D3DTA_CONSTANT + 1];
    const float* nextTexture;
};

namespace {

// The argument's channels: the register itself when unmodified, else
// made in out.
const float* fetchArgument(const CombinerArgument& argument, const CombinerRegisters& registers, float out[4])
{
    const float* v = registers.source[argument.source];
    if (argument.plain)
        return v;
    for (int c = 0; c < 4; ++c) {
        const float x = v[argument.channel[c]];
        out[c] = argument.complement ? 1.0f - x : x;
    }
    return out;
}

// The colour or alpha part of combine()'s stage for one operation: the
// arguments it reads, then the operation.
template <int Op, bool Alpha>
void plannedOperation(const CombinerStagePlan& stage, const CombinerRegisters& registers, float result[4])
{
    constexpr unsigned used = argumentsRead(Op);
    const CombinerArgument* args = Alpha ? stage.alphaArg : stage.colorArg;
    float made[3][4];
    const float* a0 = made[0];
    const float* a1 = made[1];
    const float* a2 = made[2];
    if constexpr ((used & 1u) != 0)
        a0 = fetchArgument(args[0], registers, made[0]);
    if constexpr ((used & 2u) != 0)
        a1 = fetchArgument(args[1], registers, made[1]);
    if constexpr ((used & 4u) != 0)
        a2 = fetchArgument(args[2], registers, made[2]);
    applyOp(Op, Alpha ? 3 : 0, Alpha ? 3 : 2, a0, a1, a2, registers.r, registers.nextTexture, result);
}

// The alpha of a stage whose alpha operation is disabled, or whose colour
// operation is the dot product (which goes to all four channels).
void keepCurrentAlpha(const CombinerStagePlan&, const CombinerRegisters& registers, float result[4])
{
    result[3] = registers.r.current[3];
}

void dotProductAlpha(const CombinerStagePlan&, const CombinerRegisters&, float result[4]) { result[3] = result[0]; }

template <bool Alpha, size_t... Op>
constexpr std::array<CombinerOperation, sizeof...(Op)> operationTable(std::index_sequence<Op...>)
{
    return {{&plannedOperation<static_cast<int>(Op), Alpha>...}};
}

constexpr std::array<CombinerOperation, D3DTOP_LERP + 1> COLOR_OPERATIONS =
    operationTable<false>(std::make_index_sequence<D3DTOP_LERP + 1>());
constexpr std::array<CombinerOperation, D3DTOP_LERP + 1> ALPHA_OPERATIONS =
    operationTable<true>(std::make_index_sequence<D3DTOP_LERP + 1>());

template <int Stages>
void combinePlanned(const CombinerSetup& setup, const CombinerPlan& plan, const float diffuse[4],
                    const float specular[4], const float textures[TEXTURE_STAGE_COUNT][4], float rgbaOut[4])
{
    CombinerRegisters registers;
    Registers& r = registers.r;
    r.diffuse = diffuse;
    r.specular = specular;
    r.factor = setup.textureFactor;
    for (int c = 0; c < 4; ++c) {
        r.current[c] = diffuse[c];
        r.temp[c] = 0.0f;
    }
    registers.source[D3DTA_DIFFUSE] = diffuse;
    registers.source[D3DTA_CURRENT] = r.current;
    registers.source[D3DTA_TFACTOR] = setup.textureFactor;
    registers.source[D3DTA_SPECULAR] = specular;
    registers.source[D3DTA_TEMP] = r.temp;
    for (int i = 0; i < Stages; ++i) {
        const CombinerStagePlan& s = plan.stages[i];
        r.texture = s.textureBound ? textures[i] : OPAQUE_BLACK;
        r.constant = setup.stages[i].constant;
        registers.source[D3DTA_TEXTURE] = r.texture;
        registers.source[D3DTA_CONSTANT] = r.constant;
        registers.nextTexture = s.readsNextTexture ? textures[i + 1] : nullptr;
        float result[4];
        s.color(s, registers, result);
        s.alpha(s, registers, result);
        float* target = s.resultToTemp ? r.temp : r.current;
        for (int c = 0; c < 4; ++c)
            target[c] = result[c];
    }
    for (int c = 0; c < 4; ++c)
        rgbaOut[c] = r.current[c];
}

// combine()'s shortcuts of one stage.
void combineModulated(const CombinerSetup&, const CombinerPlan&, const float diffuse[4], const float*,
                      const float textures[TEXTURE_STAGE_COUNT][4], float rgbaOut[4])
{
    for (int c = 0; c < 4; ++c)
        rgbaOut[c] = textures[0][c] * diffuse[c];
}

void combineSelected(const CombinerSetup&, const CombinerPlan&, const float*, const float*,
                     const float textures[TEXTURE_STAGE_COUNT][4], float rgbaOut[4])
{
    for (int c = 0; c < 4; ++c)
        rgbaOut[c] = textures[0][c];
}

CombinerArgument planArgument(uint8_t arg, bool alpha)
{
    const uint8_t select = arg & D3DTA_SELECTMASK;
    CombinerArgument planned;
    planned.source = select <= D3DTA_CONSTANT ? select : static_cast<uint8_t>(D3DTA_CURRENT);
    // Alpha arguments read alpha: replication changes nothing there.
    const bool replicate = !alpha && (arg & D3DTA_ALPHAREPLICATE) != 0;
    for (uint8_t c = 0; c < 4; ++c)
        planned.channel[c] = replicate ? 3 : c;
    planned.complement = (arg & D3DTA_COMPLEMENT) != 0;
    planned.plain = !replicate && !planned.complement;
    return planned;
}

} // namespace

bool planCombiner(const CombinerSetup& setup, CombinerPlan& plan)
{
    std::memset(&plan, 0, sizeof(plan));
    const int count = setup.stageCount;
    if (count < 1 || count > PLANNED_STAGES)
        return false;
    for (int i = 0; i < count; ++i) {
        const CombinerStage& stage = setup.stages[i];
        CombinerStagePlan& planned = plan.stages[i];
        planned.color = COLOR_OPERATIONS[stage.colorOp <= D3DTOP_LERP ? stage.colorOp : 0];
        if (stage.colorOp == D3DTOP_DOTPRODUCT3)
            planned.alpha = &dotProductAlpha;
        else if (stage.alphaOp == D3DTOP_DISABLE || stage.alphaOp > D3DTOP_LERP)
            planned.alpha = &keepCurrentAlpha;
        else
            planned.alpha = ALPHA_OPERATIONS[stage.alphaOp];
        for (int a = 0; a < 3; ++a) {
            planned.colorArg[a] = planArgument(stage.colorArg[a], false);
            planned.alphaArg[a] = planArgument(stage.alphaArg[a], true);
        }
        planned.resultToTemp = stage.resultToTemp;
        planned.textureBound = stage.textureBound;
        planned.readsNextTexture = i + 1 < static_cast<int>(TEXTURE_STAGE_COUNT) && (setup.textureMask & (2u << i));
    }
    switch (setup.shortcut) {
    case COMBINE_MODULATE_TEXTURE: plan.combine = &combineModulated; break;
    case COMBINE_SELECT_TEXTURE: plan.combine = &combineSelected; break;
    default: plan.combine = count == 1 ? &combinePlanned<1> : &combinePlanned<2>; break;
    }
    return true;
}

void colorToFloats(DWORD color, float rgba[4])
{
    constexpr float k = 1.0f / 255.0f;
    rgba[0] = static_cast<float>((color >> 16) & 0xFF) * k;
    rgba[1] = static_cast<float>((color >> 8) & 0xFF) * k;
    rgba[2] = static_cast<float>(color & 0xFF) * k;
    rgba[3] = static_cast<float>(color >> 24) * k;
}

void combine(const CombinerSetup& setup, const float diffuse[4], const float specular[4],
             const float textures[TEXTURE_STAGE_COUNT][4], float rgbaOut[4])
{
    switch (setup.shortcut) {
    case COMBINE_DIFFUSE:
        for (int c = 0; c < 4; ++c)
            rgbaOut[c] = diffuse[c];
        return;
    case COMBINE_MODULATE_TEXTURE:
        for (int c = 0; c < 4; ++c)
            rgbaOut[c] = textures[0][c] * diffuse[c];
        return;
    case COMBINE_SELECT_TEXTURE:
        for (int c = 0; c < 4; ++c)
            rgbaOut[c] = textures[0][c];
        return;
    case COMBINE_GENERAL:
        break;
    }

    static const float opaqueBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    Registers r;
    r.diffuse = diffuse;
    r.specular = specular;
    r.factor = setup.textureFactor;
    for (int c = 0; c < 4; ++c) {
        r.current[c] = diffuse[c];
        r.temp[c] = 0.0f;
    }
    for (int i = 0; i < setup.stageCount; ++i) {
        const CombinerStage& s = setup.stages[i];
        r.texture = s.textureBound ? textures[i] : opaqueBlack;
        r.constant = s.constant;
        const float* next = nullptr;
        if (i + 1 < static_cast<int>(TEXTURE_STAGE_COUNT) && (setup.textureMask & (1u << (i + 1))))
            next = textures[i + 1];

        float result[4];
        float a0[4], a1[4], a2[4];
        const unsigned colorArgs = argumentsRead(s.colorOp);
        if (colorArgs & 1u)
            argument(s.colorArg[0], r, a0);
        if (colorArgs & 2u)
            argument(s.colorArg[1], r, a1);
        if (colorArgs & 4u)
            argument(s.colorArg[2], r, a2);
        applyOp(s.colorOp, 0, 2, a0, a1, a2, r, next, result);

        if (s.colorOp == D3DTOP_DOTPRODUCT3) {
            // The dot product goes to all four channels.
            result[3] = result[0];
        } else if (s.alphaOp == D3DTOP_DISABLE) {
            result[3] = r.current[3];
        } else {
            const unsigned alphaArgs = argumentsRead(s.alphaOp);
            // Alpha arguments read alpha; replication changes nothing there.
            if (alphaArgs & 1u)
                argument(static_cast<uint8_t>(s.alphaArg[0] & ~D3DTA_ALPHAREPLICATE), r, a0);
            if (alphaArgs & 2u)
                argument(static_cast<uint8_t>(s.alphaArg[1] & ~D3DTA_ALPHAREPLICATE), r, a1);
            if (alphaArgs & 4u)
                argument(static_cast<uint8_t>(s.alphaArg[2] & ~D3DTA_ALPHAREPLICATE), r, a2);
            applyOp(s.alphaOp, 3, 3, a0, a1, a2, r, next, result);
        }

        float* target = s.resultToTemp ? r.temp : r.current;
        for (int c = 0; c < 4; ++c)
            target[c] = result[c];
    }
    for (int c = 0; c < 4; ++c)
        rgbaOut[c] = r.current[c];
}

} // namespace swd3d9
