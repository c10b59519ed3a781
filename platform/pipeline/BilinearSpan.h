#pragma once

// The bilinear textured span: the textured span (TexturedSpan.h) for a
// bilinear A8R8G8B8 sampler of one level (the sampler's bilinearArgb), four
// pixels at a time in 8-bit fixed point, as texture units filter: within a
// unit per channel of texturedSpan, with the same depth test. SSE2 only.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

#if defined(__SSE2__)
// Draws pixels lo..hi of row y. q, z and base hold the interpolants at lo;
// zStep is the depth step per pixel.
void bilinearTexturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo,
                          int64_t hi, int y, float q, float z, float zStep, const float* base);
#endif

} // namespace pipeline
} // namespace swd3d9
