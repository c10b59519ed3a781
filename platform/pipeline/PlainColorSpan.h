#pragma once

// The plain-colour span: one row of a triangle drawn without textures, fog,
// alpha test, stencil or blending into a 32-bit single-sample target, with
// the general path's arithmetic but none of its per-pixel choices.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Draws pixels lo..hi of row y. q, z and base hold the interpolants at lo;
// zStep is the depth step per pixel.
void plainColorSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo,
                    int64_t hi, int y, float q, float z, const float* base, float zStep);

} // namespace pipeline
} // namespace swd3d9
