#pragma once

// The bilinear textured span: the textured span (TexturedSpan.h) for a
// bilinear A8R8G8B8 sampler of one level (the sampler's bilinearArgb), in
// 8-bit fixed point, as texture units filter: within a unit per channel of
// texturedSpan, with the same depth test. Two implementations give the same
// bits: four pixels a step with SSE2, and eight a step with AVX2
// (BilinearSpanAvx2.cpp) on processors that have it.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

#if defined(__SSE2__)
// Draws pixels lo..hi of row y with the widest implementation the processor
// runs. q, z and base hold the interpolants at lo; zStep is the depth step
// per pixel.
void bilinearTexturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo,
                          int64_t hi, int y, float q, float z, float zStep, const float* base);

// Pixels per step of an implementation.
enum class BilinearSpanWidth : uint8_t { FOUR = 4, EIGHT = 8 };

// The widest implementation this processor runs (decided once).
BilinearSpanWidth widestBilinearSpan();

// bilinearTexturedSpan with the given implementation, which the processor
// must run (EIGHT needs AVX2). For comparing the implementations.
void bilinearTexturedSpanOfWidth(BilinearSpanWidth width, const PixelContext& pixels, const Plane* varyingPlanes,
                                 const Plane& qPlane, int64_t lo, int64_t hi, int y, float q, float z, float zStep,
                                 const float* base);

// Texel addressing of the bilinear sampler: wrapping a power-of-two size,
// wrapping any size, or clamping.
enum class BilinearAddressing : uint8_t { WRAP_POWER_OF_TWO, WRAP, CLAMP };

using BilinearSpanRoutine = void (*)(const PixelContext&, const Plane*, const Plane&, int64_t, int64_t, int, float,
                                     float, float, const float*);

#if defined(__x86_64__)
// The eight-pixel routine of a case (texture times diffuse or the texture
// alone, blended by source alpha or not, depth-tested or not). Built for
// x86-64 only, as it moves texel offsets through 64-bit registers.
BilinearSpanRoutine eightPixelBilinearSpan(BilinearAddressing addressing, bool modulate, bool blend, bool depth);
#endif
#endif

} // namespace pipeline
} // namespace swd3d9
