#pragma once

// The per-sample routines of the general pixel path: processPixel compiled
// once for each class of pixel state, so that a draw pays for none of the
// choices its key has already made. A class fixes
//   - where depth and stencil live and which tests run: none; a 16-bit
//     depth test; a 24-bit depth test in the 32-bit word; that with the
//     stencil test; the stencil test alone;
//   - whether the alpha test runs;
//   - for a 32-bit A8R8G8B8 or X8R8G8B8 target, read and written as words:
//     the blend (off; colour by SRCALPHA and INVSRCALPHA added, the alpha
//     alike or laid over; ONE and ONE added; any other, decided per sample)
//     and the shading (the diffuse colour, with or without specular added,
//     fogged or not; or the texture stages);
//   - for any other target, or none written, everything decided per sample
//     but the texture stages.
// The texture stages come as a routine of their own, chosen with the
// class: for one or two stages, templates over the stage count, the
// specular add and fog that run the combiner's plan (the stages'
// operations and arguments decided once, TextureCombiner.h); for more,
// shadeColor.
// A pixel program's colour, shaded already, goes through the same classes
// without the shading (PixelRoutineSetup::store).
// Comparison functions (as truth tables the routine indexes, without a
// branch), stencil operations and depth writes stay values it reads;
// one-sided and two-sided stencil differ only in the faces the setup
// lists. Without an alpha test the depth and stencil tests also come as a
// routine of their own, per depth mode, so that the rasteriser
// interpolates nothing for the samples they discard.

#include "pipeline/PixelProcessor.h"

namespace swd3d9 {
namespace pipeline {

constexpr int PIXEL_ROUTINE_COUNT = 210;
constexpr int SHADED_PIXEL_ROUTINE_COUNT = 50;
constexpr int STAGE_SHADE_ROUTINE_COUNT = 8;

// Fills context.routine from the key and the target: called wherever they
// change (buildPixelState, prepareSamplers).
void choosePixelRoutine(PixelContext& context);

// The table entry the context's class of state selects, and the routine
// there (exposed for tests).
int pixelRoutineIndex(const PixelContext& context);
PixelRoutine pixelRoutineAt(int index);

// The same for a pixel program's colour (PixelRoutineSetup::store).
int shadedPixelRoutineIndex(const PixelContext& context);
ShadedPixelRoutine shadedPixelRoutineAt(int index);

// The entry of the texture-stage shading routines (PixelRoutineSetup::shade)
// for the context, or -1 when shadeColor does it.
int stageShadeIndex(const PixelContext& context);
ShadeRoutine stageShadeAt(int index);

} // namespace pipeline
} // namespace swd3d9
