#pragma once

// The programmable vertex stage: a vertex program run over batches of up
// to MAX_LANES vertices fetched by semantic, its outputs written as the
// ShadedVertex the fixed-function stage would make (clip-space position,
// outcodes and clip distances, varyings in DrawState.h's order), so that
// clipping, setup and rasterisation follow unchanged.

#include "pipeline/TextureSampler.h"
#include "pipeline/VertexFetch.h"
#include "pipeline/VertexShading.h"

namespace swd3d9 {
namespace shader {
class RegisterProgram;
}

namespace pipeline {

constexpr int VERTEX_SAMPLERS = 4;
constexpr int MAX_VERTEX_OUTPUTS = 16;

struct VertexProgramSetup {
    const shader::RegisterProgram* executable;
    ProgramInputLayout inputs;
    int outputCount;
    int positionOutput; // -1: none
    // Output i feeds varyings outputVarying[i] .. + outputComponents[i] - 1
    // (-1: none of them); colours are saturated, as Direct3D clamps oD0/oD1.
    int8_t outputVarying[MAX_VERTEX_OUTPUTS];
    uint8_t outputComponents[MAX_VERTEX_OUTPUTS];
    bool outputSaturated[MAX_VERTEX_OUTPUTS];
    // The varyings every vertex gets (those the pixel stage reads).
    int varyingCount;
    // User clip planes, in clip space for programmable vertex processing.
    uint8_t clipPlaneMask;
    float clipPlanes[MAX_CLIP_DISTANCES][4];
    // The device's float constant registers.
    const float* constants;
    // Program sampler i reads vertex texture sampler samplerIndex[i].
    int samplerCount;
    const SamplerSetup* samplers[VERTEX_SAMPLERS];
};

// Shades vertices first .. first + count - 1 of the streams into out[0 .. count - 1].
void shadeProgramVertices(const VertexProgramSetup& setup, const StreamView* streams, UINT first, UINT count,
                          ShadedVertex* out);

} // namespace pipeline
} // namespace swd3d9
