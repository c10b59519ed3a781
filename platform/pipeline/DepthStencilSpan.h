#pragma once

// The depth-stencil span: the rows of a triangle whose draw leaves the
// colour target as it is (colour writes off, or blended with ZERO and ONE)
// and runs no alpha test, into a single-sample target with a 32-bit depth
// buffer (D24S8, D24X8) or none. Only the depth and stencil tests and
// writes remain, with the general path's arithmetic: depth-only passes and
// stencil marking cost no shading at all.

#include "pipeline/PixelProcessor.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Whether the draw fits the span (see above).
bool fitsDepthStencilSpan(const PixelContext& context);

// Pixels lo..hi of row y: z is the depth at pixel lo (bias included) and
// zStep its step per pixel; frontFace picks the stencil state of two-sided
// stencil.
void depthStencilSpan(const PixelContext& pixels, int64_t lo, int64_t hi, int y, float z, float zStep,
                      bool frontFace);

} // namespace pipeline
} // namespace swd3d9
