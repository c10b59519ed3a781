#pragma once

// The per-pixel end of the pipeline for one draw: texture stages (through
// the sampler and combiner), specular add, fog blend, alpha test, stencil
// and depth tests, blending, colour write masks and the store into the
// render target. The choices are made once per draw into a PixelKey, and
// the key picks the routine the rasteriser calls for every covered sample
// (PixelRoutines.h): processPixel specialised for the draw's class of
// state. processPixel itself decides everything per sample and is the
// reference those routines are held to. The programmable pixel stage
// (PixelProgram.h) replaces shadeColor and keeps the rest: the routine's
// store, held to processShadedPixel.

#include "pipeline/DrawState.h"
#include "pipeline/PixelProgram.h"
#include "pipeline/TextureCombiner.h"
#include "pipeline/TextureSampler.h"

namespace swd3d9 {
namespace pipeline {

struct PixelContext;
struct PixelInputs;

// Does for one sample what processPixel does, for the states of one class.
using PixelRoutine = void (*)(const PixelContext& context, int x, int y, UINT sample, const PixelInputs& in);

// The depth and stencil tests of a sample ahead of its shading, at depth z
// (bias included): when they fail, stores what processPixel stores then
// and returns true; else changes nothing.
using EarlyTestRoutine = bool (*)(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace);

// Does for a colour already shaded what processShadedPixel does, for the
// states of one class.
using ShadedPixelRoutine = void (*)(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace,
                                    const float color[4]);

// Does what shadeColor does, for the states of one class.
using ShadeRoutine = void (*)(const PixelContext& context, const PixelInputs& in, float rgba[4]);

// The stencil comparison (as a truth table, see PixelRoutineSetup) and
// operations of one side of a triangle.
struct StencilFace {
    uint8_t passes, fail, zFail, pass;
};

// The routine chosen for the key, and what it reads that the key says
// less directly. Derived from the rest of the context alone (the key, the
// target formats, the varyings), so that contexts compared as bytes stay
// equal for equal states.
struct PixelRoutineSetup {
    PixelRoutine run;
    // The tests and store of run for a pixel program's colour.
    ShadedPixelRoutine store;
    // The shading of run when texture stages are active.
    ShadeRoutine shade;
    // Null when the alpha test must come first, or nothing is tested;
    // else a sample it finishes need not be interpolated for run.
    EarlyTestRoutine earlyTest;
    // By PixelInputs::frontFace: counter-clockwise, then clockwise
    // triangles (the same unless stencil is two-sided).
    StencilFace stencil[2];
    // The bits of a 32-bit target word that the colour write mask keeps,
    // and the alpha byte an X8R8G8B8 target reads and stores as 255.
    uint32_t colorKeep;
    uint32_t alphaFill;
    // The varyings the routine reads: the first this many.
    int varyingsRead;
    // The depth and alpha comparisons as truth tables: bit 0 passes a
    // value less than the reference, bit 1 an equal one, bit 2 a greater.
    uint8_t depthPasses, alphaPasses;
    // The texture stages of shade, when there are one or two.
    CombinerPlan combiner;
};

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
    PixelRoutineSetup routine;
    SamplerSetup samplers[PIXEL_SAMPLERS];
};

// A single-sample 32-bit colour target, which the dedicated span loops
// write.
bool plainColorTarget(const TargetView& target);

// Whether the draw fits the rasteriser's textured span loop (see PixelKey).
// Sampler preparation can change whether derivatives are needed, so this is
// decided again after it.
bool fitsTexturedSpan(const PixelContext& context);

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

// Every step for one sample, each decided from the key as it comes: the
// reference of the routines in context.routine, which the rasteriser calls.
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

// The texel of texture stage s for shadeColor: the stage's coordinates,
// projected when the stage says so, sampled with their derivatives.
void sampleStage(const PixelContext& context, const PixelInputs& in, int s, float texel[4]);

// A target pixel of the format as RGBA, and RGBA stored into one under a
// colour write mask (D3DCOLORWRITEENABLE bits), as processPixel reads and
// writes them.
void readTarget(D3DFORMAT format, const uint8_t* p, float* rgba);
void writeTarget(D3DFORMAT format, uint8_t* p, const float* rgba, uint8_t mask);

// The store at the end of processPixel: the colour (saturated in place)
// blended into the target by the key's blend states and written under its
// write mask; nothing when no colour is written.
void storeColor(const PixelContext& context, int x, int y, UINT sample, float color[4]);

// The blend of colour and target (both already in 0..1) by the key's
// factors and operations, any of them; constant is the blend factor state.
void blendGeneral(const PixelKey& key, const float* constant, const float color[4], const float dst[4],
                  float result[4]);

// Blend factor of a D3DBLEND value for one channel set.
void blendFactor(uint8_t factor, const float* src, const float* dst, const float* constant, float* out);

} // namespace pipeline
} // namespace swd3d9
