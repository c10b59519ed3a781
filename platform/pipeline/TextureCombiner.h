#pragma once

// The fixed-function texture-stage combiner: up to eight stages, each
// combining its arguments with its colour and alpha operations into the
// current colour or the temporary register.
//
// Once per draw, the device turns the texture-stage states, the texture
// factor and which samplers have textures into a CombinerSetup: the active
// stage count (stages stop at the first whose COLOROP is DISABLE, or whose
// first colour argument is a texture that is not bound) and, per stage, the
// decoded operations and arguments. Per pixel, combine() reads the setup.
//
// What the caller does around it:
// - Sample stage i's texture (sampler i, coordinates from the stage's
//   TEXCOORDINDEX) only when the bit i of setup.textureMask is set; other
//   entries of textures[] are not read.
// - Add the specular colour after the stages when D3DRS_SPECULARENABLE is
//   on (rgb only, saturated); combine() does not.
// - Then fog, alpha test and blending.
//
// Colours are RGBA floats in 0..1; every stage's result is saturated.

#include "pipeline/Limits.h"

#include <cstdint>

namespace swd3d9 {

struct CombinerStage {
    // D3DTEXTUREOP values.
    uint8_t colorOp, alphaOp;
    // D3DTA_* values including modifiers: [0] ARG0, [1] ARG1, [2] ARG2.
    uint8_t colorArg[3];
    uint8_t alphaArg[3];
    // The result goes to the temporary register instead of current.
    bool resultToTemp;
    // The stage's sampler has a texture.
    bool textureBound;
    // Bump-mapping luminance scale and offset.
    float bumpScale, bumpOffset;
    // The stage's D3DTSS_CONSTANT colour.
    float constant[4];
};

// Common stage set-ups that combine() computes without the general loop.
enum CombinerShortcut : uint8_t {
    COMBINE_GENERAL = 0,
    // No active stage: the diffuse colour.
    COMBINE_DIFFUSE,
    // One stage, texture times diffuse in colour and alpha.
    COMBINE_MODULATE_TEXTURE,
    // One stage, the texture in colour and alpha.
    COMBINE_SELECT_TEXTURE,
};

struct CombinerSetup {
    int stageCount;
    CombinerShortcut shortcut;
    // Stages whose texture combine() reads (bit i: stage i).
    uint32_t textureMask;
    float textureFactor[4];
    CombinerStage stages[TEXTURE_STAGE_COUNT];
};

// Whether an operation with these arguments (D3DTA_* values: ARG0, ARG1,
// ARG2) reads the stage's texture.
bool readsTexture(DWORD op, const uint8_t args[3]);

// The stages of a setup of one or two stages with their choices made, for
// a draw to run per pixel without deciding them again: each stage's
// colour and alpha operations as routines, each argument as the register
// it reads, the channels taken from it and whether they are complemented.
// combinePlanned gives combine()'s results bit for bit.
constexpr int PLANNED_STAGES = 2;

struct CombinerArgument {
    // A D3DTA_ register (D3DTA_DIFFUSE to D3DTA_CONSTANT).
    uint8_t source;
    // The register's channel read for each of the argument's: the alpha
    // four times when it is replicated.
    uint8_t channel[4];
    bool complement;
    // Neither modifier: the register is read as it is.
    bool plain;
};

struct CombinerStagePlan;
struct CombinerRegisters;

// Channels 0-2 (colour) or 3 (alpha) of a stage's result.
using CombinerOperation = void (*)(const CombinerStagePlan& stage, const CombinerRegisters& registers,
                                   float result[4]);

struct CombinerStagePlan {
    CombinerOperation color, alpha;
    CombinerArgument colorArg[3], alphaArg[3];
    bool resultToTemp;
    bool textureBound;
    // The premodulate operations read the next stage's texture.
    bool readsNextTexture;
};

struct CombinerPlan;

using PlannedCombine = void (*)(const CombinerSetup& setup, const CombinerPlan& plan, const float diffuse[4],
                                const float specular[4], const float textures[TEXTURE_STAGE_COUNT][4],
                                float rgbaOut[4]);

struct CombinerPlan {
    // Runs the stages as combine() does; null when the setup has no
    // stage, or more than PLANNED_STAGES.
    PlannedCombine combine;
    CombinerStagePlan stages[PLANNED_STAGES];
};

// Fills plan from a prepared setup; returns whether the setup has a plan
// (one or two stages).
bool planCombiner(const CombinerSetup& setup, CombinerPlan& plan);

// Runs the stages for one pixel. textures[i] is stage i's sampled texel.
void combine(const CombinerSetup& setup, const float diffuse[4], const float specular[4],
             const float textures[TEXTURE_STAGE_COUNT][4], float rgbaOut[4]);

// D3DCOLOR (ARGB) to RGBA floats.
void colorToFloats(DWORD color, float rgba[4]);

} // namespace swd3d9
