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
//     fogged or not; or everything shadeColor does);
//   - for any other target, or none written, everything decided per sample.
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

// Fills context.routine from the key and the target: called wherever they
// change (buildPixelState, prepareSamplers).
void choosePixelRoutine(PixelContext& context);

// The table entry the context's class of state selects, and the routine
// there (exposed for tests).
int pixelRoutineIndex(const PixelContext& context);
PixelRoutine pixelRoutineAt(int index);

} // namespace pipeline
} // namespace swd3d9
