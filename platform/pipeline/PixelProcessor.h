#pragma once

// The per-pixel end of the pipeline for one draw: texture stages (through
// the sampler and combiner), specular add, fog blend, alpha test, stencil
// and depth tests, blending, colour write masks and the store into the
// render target. The choices are made once per draw into a PixelKey; the
// rasteriser calls processPixel for every covered sample. The programmable
// pixel stage (PixelProgram.h) replaces shadeColor and keeps the rest
// (processShadedPixel).

#include "pipeline/DrawState.h"
#include "pipeline/PixelProgram.h"
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
    // The samplers the draw reads (bit s: samplers[s]): the combiner's
    // textured stages, or the registers a pixel program samples.
    uint32_t samplerMask;
    PixelProgramSetup program;
    SamplerSetup samplers[PIXEL_SAMPLERS];
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

// The back end of processPixel for a colour already shaded (a pixel
// program's, fog applied): alpha test, stencil and depth tests at depth z,
// blending, colour write masks and the store. The same results as
// processPixel for the same colour.
void processShadedPixel(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace,
                        const float color[4]);

// Blends fog into rgb as the draw's fog states say: table fog from the
// depth z (or eye depth 1 / invW), else the interpolated vertex fog factor.
void applyFog(const PixelContext& context, float z, float invW, float vertexFog, float rgba[4]);

// The colour of a pixel before fog and the per-pixel tests (exposed for tests).
void shadeColor(const PixelContext& context, const PixelInputs& in, float rgba[4]);

// Blend factor of a D3DBLEND value for one channel set.
void blendFactor(uint8_t factor, const float* src, const float* dst, const float* constant, float* out);

} // namespace pipeline
} // namespace swd3d9
