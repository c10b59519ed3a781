#pragma once

// The textured span: one row of a triangle drawn with one texture stage
// (the texture alone or modulated by the diffuse colour), optionally
// blended with source alpha, into a 32-bit single-sample target.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Draws pixels lo..hi of row y. q and base hold the interpolants at lo.
void texturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                  int y, float q, const float* base);

#if defined(__SSE2__)
// The same four pixels at a time, for samplers that sample four coordinates
// at once (bilinear A8R8G8B8 level 0).
void texturedSpan4(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                   int y, float q, const float* base);
#endif

} // namespace pipeline
} // namespace swd3d9
