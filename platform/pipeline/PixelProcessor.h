#pragma once

// The per-pixel end of the pipeline for one draw: texture stages (through
// the sampler and combiner), specular add, fog blend, alpha test, stencil
// and depth tests, blending, colour write masks and the store into the
// render target. The choices are made once per draw into a PixelKey; the
// rasteriser calls processPixel for every covered sample. A programmable
// pixel stage would replace shadeColor and keep the rest.

#include "pipeline/DrawState.h"
#include "pipeline/TextureCombiner.h"
#include "pipeline/TextureSampler.h"

namespace swd3d9 {
namespace pipeline {

struct PixelContext {
    PixelKey key;
    PixelConstants constants;
    TargetView target;
    int varyingCount;
    CombinerSetup combiner;
    SamplerSetup samplers[MAX_STAGES];
};

// Fills key, constants and the stage setups from the device state. The
// target must already be set.
void buildPixelState(const DeviceState& state, PixelContext& context);

// Brings the samplers of the textured stages up to date (texture contents
// and generated mip levels can change without a state change).
void prepareSamplers(const DeviceState& state, PixelContext& context);

// Interpolated inputs of one sample: depth before bias, 1/w, varyings (already
// divided by 1/w) and, for textured draws, their screen-space derivatives.
struct PixelInputs {
    float z;
    float invW;
    const float* varyings;
    // Derivatives of the four coordinates of each stage along x and y.
    const float* derivativesX;
    const float* derivativesY;
    bool frontFace;
};

void processPixel(const PixelContext& context, int x, int y, UINT sample, const PixelInputs& in);

// The colour of a pixel before fog and the per-pixel tests (exposed for tests).
void shadeColor(const PixelContext& context, const PixelInputs& in, float rgba[4]);

// Blend factor of a D3DBLEND value for one channel set.
void blendFactor(uint8_t factor, const float* src, const float* dst, const float* constant, float* out);

} // namespace pipeline
} // namespace swd3d9
