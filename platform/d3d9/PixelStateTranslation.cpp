#include "d3d9/PixelStateTranslation.h"

#include "d3d9/ProgramShaders.h"
#include "d3d9/SamplerTranslation.h"
#include "pipeline/DepthStencilSpan.h"
#include "pipeline/Formats.h"
#include "pipeline/PixelBuffer.h"
#include "pipeline/PixelRoutines.h"
#include "shader/ShaderProgram.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {

using namespace pipeline;

namespace {

float asFloat(DWORD bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

bool isValidOp(DWORD op) { return op >= D3DTOP_SELECTARG1 && op <= D3DTOP_LERP; }

uint8_t blendValue(DWORD v) { return static_cast<uint8_t>(v <= D3DBLEND_INVBLENDFACTOR ? v : static_cast<DWORD>(D3DBLEND_ONE)); }

} // namespace

void prepareCombiner(CombinerSetup& setup, const DeviceState& state, const bool textureBound[TEXTURE_STAGE_COUNT])
{
    setup = CombinerSetup{};
    colorToFloats(state.renderStates[D3DRS_TEXTUREFACTOR], setup.textureFactor);
    int count = 0;
    for (UINT i = 0; i < TEXTURE_STAGE_COUNT; ++i) {
        const DWORD* ss = state.stageStates[i];
        const DWORD colorOp = ss[D3DTSS_COLOROP];
        if (!isValidOp(colorOp))
            break;
        // A stage whose first colour argument is a texture that is not
        // there ends the cascade, as Direct3D 9 documents.
        if (!textureBound[i] && ss[D3DTSS_COLORARG1] == D3DTA_TEXTURE)
            break;
        CombinerStage& stage = setup.stages[i];
        stage.colorOp = static_cast<uint8_t>(colorOp);
        const DWORD alphaOp = ss[D3DTSS_ALPHAOP];
        stage.alphaOp = static_cast<uint8_t>(isValidOp(alphaOp) ? alphaOp : static_cast<DWORD>(D3DTOP_DISABLE));
        stage.colorArg[0] = static_cast<uint8_t>(ss[D3DTSS_COLORARG0]);
        stage.colorArg[1] = static_cast<uint8_t>(ss[D3DTSS_COLORARG1]);
        stage.colorArg[2] = static_cast<uint8_t>(ss[D3DTSS_COLORARG2]);
        stage.alphaArg[0] = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG0]);
        stage.alphaArg[1] = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG1]);
        stage.alphaArg[2] = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG2]);
        stage.resultToTemp = (ss[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        stage.textureBound = textureBound[i];
        float scale, offset;
        std::memcpy(&scale, &ss[D3DTSS_BUMPENVLSCALE], 4);
        std::memcpy(&offset, &ss[D3DTSS_BUMPENVLOFFSET], 4);
        stage.bumpScale = scale;
        stage.bumpOffset = offset;
        colorToFloats(ss[D3DTSS_CONSTANT], stage.constant);
        if (textureBound[i] &&
            (readsTexture(colorOp, stage.colorArg) ||
             (stage.alphaOp != D3DTOP_DISABLE && readsTexture(stage.alphaOp, stage.alphaArg))))
            setup.textureMask |= 1u << i;
        if ((colorOp == D3DTOP_PREMODULATE || stage.alphaOp == D3DTOP_PREMODULATE) && i + 1 < TEXTURE_STAGE_COUNT &&
            textureBound[i + 1])
            setup.textureMask |= 1u << (i + 1);
        ++count;
    }
    setup.stageCount = count;
    // A premodulating last stage has no next stage to read.
    setup.textureMask &= (1u << count) - 1u;

    if (count == 0) {
        setup.shortcut = COMBINE_DIFFUSE;
    } else if (count == 1 && !setup.stages[0].resultToTemp && setup.stages[0].textureBound) {
        const CombinerStage& s = setup.stages[0];
        // At stage 0 the current colour is the diffuse colour.
        auto isDiffuse = [](uint8_t arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
        const bool modulate = s.colorOp == D3DTOP_MODULATE && s.alphaOp == D3DTOP_MODULATE &&
                              s.colorArg[1] == D3DTA_TEXTURE && isDiffuse(s.colorArg[2]) &&
                              s.alphaArg[1] == D3DTA_TEXTURE && isDiffuse(s.alphaArg[2]);
        const bool select = s.colorOp == D3DTOP_SELECTARG1 && s.alphaOp == D3DTOP_SELECTARG1 &&
                            s.colorArg[1] == D3DTA_TEXTURE && s.alphaArg[1] == D3DTA_TEXTURE;
        setup.shortcut = modulate ? COMBINE_MODULATE_TEXTURE : select ? COMBINE_SELECT_TEXTURE : COMBINE_GENERAL;
    }
}

bool buildPixelProgram(const DeviceState& state, const Shader* pixelShader, PixelProgramSetup& setup)
{
    if (!pixelShader || !pixelShader->program() || !pixelShader->program()->executable())
        return false;
    const shader::Program& program = *pixelShader->program();
    const shader::ProgramInfo& info = program.info();
    if (info.inputs.size() > MAX_PROGRAM_VARIABLES || info.outputs.size() > MAX_PROGRAM_VARIABLES ||
        info.samplers.size() > PIXEL_SAMPLERS || info.uniformBytes > sizeof(setup.constants) ||
        pixelShader->samplerRegisters().size() != info.samplers.size())
        return false;
    setup.executable = program.executable();
    setup.discards = info.discards;
    setup.inputCount = static_cast<uint8_t>(info.inputs.size());
    bool interpolated[MAX_VARYINGS] = {};
    for (size_t i = 0; i < info.inputs.size(); ++i) {
        const shader::StageVariable& v = info.inputs[i];
        int varying = -1, available = 0;
        if (v.usage == D3DDECLUSAGE_TEXCOORD && v.usageIndex < MAX_STAGES) {
            varying = VARYING_TEXCOORD + 4 * v.usageIndex;
            available = 4;
            setup.texCoordSets = std::max<uint8_t>(setup.texCoordSets, static_cast<uint8_t>(v.usageIndex + 1));
        } else if (v.usage == D3DDECLUSAGE_COLOR && v.usageIndex < 2) {
            varying = v.usageIndex == 0 ? VARYING_DIFFUSE : VARYING_SPECULAR;
            available = 4;
        } else if (v.usage == D3DDECLUSAGE_FOG) {
            varying = VARYING_FOG;
            available = 1;
        } else if (v.usage == shader::USAGE_VPOS) {
            setup.inputSource[i] = PIXEL_INPUT_POSITION;
            continue;
        } else if (v.usage == shader::USAGE_VFACE) {
            setup.inputSource[i] = PIXEL_INPUT_FACE;
            continue;
        }
        if (varying < 0)
            continue;
        setup.inputSource[i] = PIXEL_INPUT_VARYING;
        setup.inputVarying[i] = static_cast<uint8_t>(varying);
        setup.inputComponents[i] = static_cast<uint8_t>(std::min<int>(v.components, available));
        for (int c = 0; c < setup.inputComponents[i]; ++c)
            interpolated[varying + c] = true;
    }
    for (int v = 0; v < MAX_VARYINGS; ++v)
        if (interpolated[v])
            setup.interpolated[setup.interpolatedCount++] = static_cast<uint8_t>(v);
    setup.outputCount = static_cast<uint8_t>(info.outputs.size());
    setup.colorOutput = setup.depthOutput = -1;
    for (size_t i = 0; i < info.outputs.size(); ++i) {
        const shader::StageVariable& v = info.outputs[i];
        if (v.usage == D3DDECLUSAGE_COLOR && v.usageIndex == 0)
            setup.colorOutput = static_cast<int8_t>(i);
        else if (v.usage == D3DDECLUSAGE_DEPTH && v.usageIndex == 0)
            setup.depthOutput = static_cast<int8_t>(i);
    }
    setup.samplerCount = static_cast<uint8_t>(info.samplers.size());
    for (size_t i = 0; i < info.samplers.size(); ++i) {
        const DWORD reg = pixelShader->samplerRegisters()[i];
        if (reg >= PIXEL_SAMPLERS)
            return false;
        setup.samplerRegister[i] = static_cast<uint8_t>(reg);
    }
    static_assert(sizeof(state.pixelShaderFloats) <= sizeof(setup.constants), "the registers fit");
    std::memcpy(setup.constants, state.pixelShaderFloats, sizeof(state.pixelShaderFloats));
    return true;
}

void prepareSamplers(const DeviceState& state, PixelContext& context)
{
    context.key.needsDerivatives = false;
    if (context.program.executable) {
        // A program reads the sampler registers its samplers are bound to.
        uint32_t mask = 0;
        for (int i = 0; i < context.program.samplerCount; ++i) {
            const int r = context.program.samplerRegister[i];
            if (mask & (1u << r))
                continue;
            mask |= 1u << r;
            prepareSampler(context.samplers[r], state.samplerStates[r], state.textures[r]);
        }
        context.samplerMask = mask;
        choosePixelRoutine(context);
        return;
    }
    context.samplerMask = context.combiner.textureMask & ((1u << MAX_STAGES) - 1);
    for (int s = 0; s < context.key.stageCount; ++s) {
        if (!(context.combiner.textureMask & (1u << s)))
            continue;
        const SamplerSetup& sampler = context.samplers[s];
        prepareSampler(context.samplers[s], state.samplerStates[s], state.textures[s]);
        const bool singleLevel = sampler.mipFilter == D3DTEXF_NONE || sampler.firstLevel == sampler.lastLevel;
        if (!singleLevel || sampler.minFilter != sampler.magFilter || sampler.minFilter == D3DTEXF_ANISOTROPIC)
            context.key.needsDerivatives = true;
    }
    context.key.texturedSpan = fitsTexturedSpan(context);
    choosePixelRoutine(context);
}

void buildPixelState(const DeviceState& state, PixelContext& context)
{
    PixelKey& key = context.key;
    PixelConstants& c = context.constants;
    std::memset(&key, 0, sizeof(key));
    std::memset(&c, 0, sizeof(c));
    const DWORD* rs = state.renderStates;

    bool bound[TEXTURE_STAGE_COUNT];
    for (UINT s = 0; s < TEXTURE_STAGE_COUNT; ++s)
        bound[s] = state.textures[s] != nullptr;
    prepareCombiner(context.combiner, state, bound);
    key.stageCount = static_cast<uint8_t>(context.combiner.stageCount);
    key.textured = context.combiner.textureMask != 0;
    for (int s = 0; s < key.stageCount; ++s) {
        const DWORD flags = state.stageStates[s][D3DTSS_TEXTURETRANSFORMFLAGS];
        const DWORD count = flags & 0xFF;
        // Without a count (none, or beyond four) drivers divide by the last
        // component the set supplies, which the vertex stage moves to the
        // fourth; COUNT1 | PROJECTED divides nothing.
        const bool counted = count >= 2 && count <= 4;
        if ((flags & D3DTTFF_PROJECTED) && count != 1)
            key.projectedComponent[s] = static_cast<uint8_t>(counted ? count : 4);
    }
    // A pixel program replaces the texture stages: the vertex stage makes
    // the coordinate sets the program reads, and its samplers are read
    // whenever it has some.
    std::memset(&context.program, 0, sizeof(context.program));
    if (buildPixelProgram(state, state.pixelShader, context.program)) {
        key.stageCount = context.program.texCoordSets;
        key.textured = context.program.samplerCount > 0;
        std::memset(key.projectedComponent, 0, sizeof(key.projectedComponent));
    }
    context.varyingCount = VARYING_TEXCOORD + 4 * key.stageCount;
    prepareSamplers(state, context);

    const bool programmed = context.program.executable != nullptr;
    key.specularAdd = rs[D3DRS_SPECULARENABLE] != 0 && !programmed;
    key.fogEnable = rs[D3DRS_FOGENABLE] != 0;
    if (key.fogEnable && rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE && rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR) {
        key.tableFog = static_cast<uint8_t>(rs[D3DRS_FOGTABLEMODE]);
        // A perspective projection gives eye depth as w, which is what
        // table fog measures; otherwise it uses the device depth.
        key.fogFromW = state.projection.m[2][3] != 0.0f && state.projection.m[3][3] == 0.0f;
    }
    colorToFloats(rs[D3DRS_FOGCOLOR], c.fogColor);
    c.fog = {asFloat(rs[D3DRS_FOGSTART]), asFloat(rs[D3DRS_FOGEND]), asFloat(rs[D3DRS_FOGDENSITY])};
    key.flatShade = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;

    key.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
    key.alphaFunc = static_cast<uint8_t>(rs[D3DRS_ALPHAFUNC]);
    c.alphaRef = static_cast<uint8_t>(rs[D3DRS_ALPHAREF] & 0xFF);

    const TargetView& target = context.target;
    const bool hasDepth = target.depth != nullptr;
    key.zEnable = hasDepth && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    key.zWrite = key.zEnable && rs[D3DRS_ZWRITEENABLE] != 0;
    key.zFunc = static_cast<uint8_t>(rs[D3DRS_ZFUNC]);
    const FormatInfo* depthInfo = hasDepth ? findFormat(target.depthFormat) : nullptr;
    key.stencil = depthInfo && depthInfo->hasStencil && rs[D3DRS_STENCILENABLE] != 0;
    key.stencilFunc = static_cast<uint8_t>(rs[D3DRS_STENCILFUNC]);
    key.stencilFail = static_cast<uint8_t>(rs[D3DRS_STENCILFAIL]);
    key.stencilZFail = static_cast<uint8_t>(rs[D3DRS_STENCILZFAIL]);
    key.stencilPass = static_cast<uint8_t>(rs[D3DRS_STENCILPASS]);
    key.twoSidedStencil = key.stencil && rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
    key.ccwStencilFunc = static_cast<uint8_t>(rs[D3DRS_CCW_STENCILFUNC]);
    key.ccwStencilFail = static_cast<uint8_t>(rs[D3DRS_CCW_STENCILFAIL]);
    key.ccwStencilZFail = static_cast<uint8_t>(rs[D3DRS_CCW_STENCILZFAIL]);
    key.ccwStencilPass = static_cast<uint8_t>(rs[D3DRS_CCW_STENCILPASS]);
    c.stencilRef = rs[D3DRS_STENCILREF] & 0xFF;
    c.stencilMask = rs[D3DRS_STENCILMASK] & 0xFF;
    c.stencilWriteMask = rs[D3DRS_STENCILWRITEMASK] & 0xFF;

    key.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    key.srcBlend = blendValue(rs[D3DRS_SRCBLEND]);
    key.destBlend = blendValue(rs[D3DRS_DESTBLEND]);
    key.blendOp = static_cast<uint8_t>(rs[D3DRS_BLENDOP]);
    key.separateAlpha = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    key.srcBlendAlpha = blendValue(rs[D3DRS_SRCBLENDALPHA]);
    key.destBlendAlpha = blendValue(rs[D3DRS_DESTBLENDALPHA]);
    key.blendOpAlpha = static_cast<uint8_t>(rs[D3DRS_BLENDOPALPHA]);
    // The two "both" factors set the destination factor as well.
    auto resolveBoth = [](uint8_t& src, uint8_t& dst) {
        if (src == D3DBLEND_BOTHSRCALPHA) {
            src = D3DBLEND_SRCALPHA;
            dst = D3DBLEND_INVSRCALPHA;
        } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
            src = D3DBLEND_INVSRCALPHA;
            dst = D3DBLEND_SRCALPHA;
        }
    };
    resolveBoth(key.srcBlend, key.destBlend);
    resolveBoth(key.srcBlendAlpha, key.destBlendAlpha);
    if (!key.separateAlpha) {
        key.srcBlendAlpha = key.srcBlend;
        key.destBlendAlpha = key.destBlend;
        key.blendOpAlpha = key.blendOp;
    }
    key.alphaOver = key.blend && key.srcBlendAlpha == D3DBLEND_ONE;
    colorToFloats(rs[D3DRS_BLENDFACTOR], c.blendFactor);
    key.colorWrite = static_cast<uint8_t>(rs[D3DRS_COLORWRITEENABLE] & 0xF);

    const bool plainTarget = plainColorTarget(target);
    const bool plainDepth = !key.zEnable || (target.depth->bytesPerPixel() == 4 && target.depth->samples() <= 1);
    key.plainColorSpan = plainTarget && plainDepth && key.stageCount == 0 && !key.fogEnable && !key.alphaTest &&
                         !key.stencil && !key.blend && key.colorWrite == 0xF;
    key.texturedSpan = fitsTexturedSpan(context);
    key.depthStencilSpan = fitsDepthStencilSpan(context);
    if (programmed) {
        key.plainColorSpan = key.texturedSpan = key.depthStencilSpan = false;
        context.program.plainStore = plainTarget && plainDepth && key.colorWrite == 0xF && !key.blend &&
                                     !key.alphaTest && !key.stencil;
        // The program's interpolated inputs, and the vertex fog factor.
        if (key.fogEnable && !key.tableFog) {
            PixelProgramSetup& program = context.program;
            bool listed = false;
            for (int i = 0; i < program.interpolatedCount; ++i)
                listed = listed || program.interpolated[i] == VARYING_FOG;
            if (!listed)
                program.interpolated[program.interpolatedCount++] = VARYING_FOG;
        }
    }

    c.depthBias = asFloat(rs[D3DRS_DEPTHBIAS]);
    c.slopeScaleBias = asFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    choosePixelRoutine(context);
}

} // namespace swd3d9
