#pragma once

// The textured span: one row of a triangle drawn with one texture stage
// (the texture alone or modulated by the diffuse colour), the specular
// colour added or not, optionally blended with source alpha, into a 32-bit
// single-sample target, with or without a depth test against a 24-bit
// depth buffer (no stencil).

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Draws pixels lo..hi of row y. q, z and base hold the interpolants at lo;
// zStep is the depth step per pixel.
void texturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                  int y, float q, float z, float zStep, const float* base);

} // namespace pipeline
} // namespace swd3d9
