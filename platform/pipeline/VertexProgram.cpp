#include "pipeline/VertexProgram.h"

#include "pipeline/ClipCodes.h"
#include "pipeline/ProgramTextures.h"

#include "d3d9/ProgramShaders.h"
#include "shader/ShaderExecution.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

using shader::MAX_LANES;

// The inputs and outputs of one batch and the thread's execution context,
// per thread since vertex chunks are shaded in parallel.
struct VertexLanes {
    shader::ExecutionContext context;
    alignas(64) float inputs[4 * MAX_PROGRAM_INPUTS][MAX_LANES];
    alignas(64) float outputs[4 * MAX_VERTEX_OUTPUTS][MAX_LANES];
};

VertexLanes& threadLanes()
{
    thread_local VertexLanes lanes;
    return lanes;
}

float saturate(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

} // namespace

bool buildVertexProgram(const DeviceState& state, const Shader* vertexShader, const DrawDescription& draw,
                        int varyingCount, SamplerSetup vertexSamplers[VERTEX_SAMPLERS], VertexProgramSetup& setup)
{
    if (!vertexShader || !vertexShader->program() || !vertexShader->program()->executable())
        return false;
    const shader::Program& program = *vertexShader->program();
    const shader::ProgramInfo& info = program.info();
    if (info.inputs.size() > MAX_PROGRAM_INPUTS || info.outputs.size() > MAX_VERTEX_OUTPUTS ||
        info.samplers.size() > VERTEX_SAMPLERS || info.uniformBytes > sizeof(state.vertexShaderFloats) ||
        vertexShader->samplerRegisters().size() != info.samplers.size())
        return false;
    setup.executable = program.executable();

    uint8_t usages[MAX_PROGRAM_INPUTS][2];
    const int inputCount = static_cast<int>(info.inputs.size());
    for (int i = 0; i < inputCount; ++i) {
        usages[i][0] = info.inputs[static_cast<size_t>(i)].usage;
        usages[i][1] = info.inputs[static_cast<size_t>(i)].usageIndex;
    }
    const bool layoutFound = draw.declaration
                                 ? programInputsFromDeclaration(*draw.declaration, usages, inputCount, setup.inputs)
                                 : programInputsFromFvf(draw.fvf, usages, inputCount, setup.inputs);
    if (!layoutFound)
        return false;

    setup.outputCount = static_cast<int>(info.outputs.size());
    setup.positionOutput = -1;
    for (int i = 0; i < setup.outputCount; ++i) {
        const shader::StageVariable& v = info.outputs[static_cast<size_t>(i)];
        setup.outputVarying[i] = -1;
        setup.outputComponents[i] = 0;
        setup.outputSaturated[i] = false;
        int varying = -1, available = 4;
        if (v.usage == D3DDECLUSAGE_POSITION && v.usageIndex == 0) {
            setup.positionOutput = i;
        } else if (v.usage == D3DDECLUSAGE_COLOR && v.usageIndex < 2) {
            varying = v.usageIndex == 0 ? VARYING_DIFFUSE : VARYING_SPECULAR;
            setup.outputSaturated[i] = true;
        } else if (v.usage == D3DDECLUSAGE_FOG) {
            varying = VARYING_FOG;
            available = 1;
        } else if (v.usage == D3DDECLUSAGE_TEXCOORD && v.usageIndex < MAX_STAGES) {
            varying = VARYING_TEXCOORD + 4 * v.usageIndex;
        }
        if (varying < 0 || varying >= varyingCount)
            continue;
        setup.outputVarying[i] = static_cast<int8_t>(varying);
        setup.outputComponents[i] = static_cast<uint8_t>(std::min({available, 4, varyingCount - varying}));
    }
    setup.varyingCount = varyingCount;

    const DWORD* rs = state.renderStates;
    setup.clipPlaneMask = rs[D3DRS_CLIPPING] ? static_cast<uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & 0x3F) : 0;
    std::memcpy(setup.clipPlanes, state.clipPlanes, sizeof(setup.clipPlanes));
    setup.constants = &state.vertexShaderFloats[0][0];

    setup.samplerCount = static_cast<int>(info.samplers.size());
    for (int i = 0; i < setup.samplerCount; ++i) {
        const DWORD reg = vertexShader->samplerRegisters()[static_cast<size_t>(i)];
        if (reg < D3DVERTEXTEXTURESAMPLER0 || reg > D3DVERTEXTEXTURESAMPLER3)
            return false;
        const int slot = samplerSlot(reg);
        SamplerSetup& sampler = vertexSamplers[reg - D3DVERTEXTEXTURESAMPLER0];
        prepareSampler(sampler, state.samplerStates[slot], state.textures[slot]);
        setup.samplers[i] = &sampler;
    }
    return true;
}

void shadeProgramVertices(const VertexProgramSetup& setup, const StreamView* streams, UINT first, UINT count,
                          ShadedVertex* out)
{
    VertexLanes& lanes = threadLanes();
    float* inputs[4 * MAX_PROGRAM_INPUTS];
    for (int i = 0; i < 4 * MAX_PROGRAM_INPUTS; ++i)
        inputs[i] = lanes.inputs[i];
    float* outputs[4 * MAX_VERTEX_OUTPUTS];
    for (int i = 0; i < 4 * MAX_VERTEX_OUTPUTS; ++i)
        outputs[i] = lanes.outputs[i];
    const SamplerTextures textures(setup.samplers, setup.samplerCount);
    shader::ShaderBatch batch;
    batch.inputs = inputs;
    batch.outputs = outputs;
    batch.constants = setup.constants;
    batch.textures = &textures;

    for (UINT start = 0; start < count; start += MAX_LANES) {
        const int n = static_cast<int>(std::min<UINT>(MAX_LANES, count - start));
        fetchProgramInputs(setup.inputs, streams, first + start, n, inputs);
        batch.lanes = n;
        shader::runProgram(*setup.executable, lanes.context, batch);
        for (int k = 0; k < n; ++k) {
            ShadedVertex& v = out[start + static_cast<UINT>(k)];
            // Varyings the program leaves unwritten read as (0, 0, 0, 1),
            // the fog factor as 1 (no fog).
            for (int i = 0; i < setup.varyingCount; ++i)
                v.varyings[i] = i >= VARYING_TEXCOORD ? ((i - VARYING_TEXCOORD) % 4 == 3 ? 1.0f : 0.0f)
                                                      : (i == VARYING_FOG || i == VARYING_DIFFUSE + 3 ||
                                                                 i == VARYING_SPECULAR + 3
                                                             ? 1.0f
                                                             : 0.0f);
            for (int i = 0; i < setup.outputCount; ++i) {
                const int varying = setup.outputVarying[i];
                if (varying < 0)
                    continue;
                for (int c = 0; c < setup.outputComponents[i]; ++c) {
                    const float value = lanes.outputs[4 * i + c][k];
                    v.varyings[varying + c] = setup.outputSaturated[i] ? saturate(value) : value;
                }
            }
            float* p = v.position;
            if (setup.positionOutput >= 0) {
                for (int c = 0; c < 4; ++c)
                    p[c] = lanes.outputs[4 * setup.positionOutput + c][k];
            } else {
                p[0] = p[1] = p[2] = 0.0f;
                p[3] = 1.0f;
            }
            uint32_t code = viewVolumeOutcode(p);
            if (setup.clipPlaneMask)
                code |= clipPlaneOutcode(p, setup.clipPlaneMask, setup.clipPlanes, v.clipDistance);
            v.outcode = code;
        }
    }
}

} // namespace pipeline
} // namespace swd3d9
