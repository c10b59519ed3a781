#pragma once

// Clipping of triangles and lines against the view volume (depth 0 to 1 in
// clip space) and the user clip planes, for primitives whose outcodes are
// not all zero. Rejection (the AND of the outcodes non-zero) is the
// caller's test.

#include "pipeline/VertexShading.h"

namespace swd3d9 {
namespace pipeline {

// Six view-volume planes and six user planes, each halving the polygon at
// most once: a triangle grows to at most 3 + 12 vertices.
constexpr int MAX_CLIPPED_VERTICES = 3 + 12;

// Clips triangle (a, b, c) against the planes in `planes` (outcode bits);
// writes the polygon's vertices to out and returns their count (0 when
// nothing remains). varyingCount varyings are interpolated. The sides are
// cut at x = ±sideX·w and y = ±sideY·w: 1 is the view's square, larger
// values a guard band around it.
int clipTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c, uint32_t planes,
                 int varyingCount, ShadedVertex* out, float sideX = 1.0f, float sideY = 1.0f);

// Clips a segment; false when nothing remains.
bool clipLine(const ShadedVertex& a, const ShadedVertex& b, uint32_t planes, int varyingCount, ShadedVertex& outA,
              ShadedVertex& outB);

} // namespace pipeline
} // namespace swd3d9
