#include "pipeline/VertexProgram.h"

#include "pipeline/ClipCodes.h"
#include "pipeline/ProgramTextures.h"

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
