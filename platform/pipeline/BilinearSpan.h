#pragma once

// The bilinear textured span: the textured span (TexturedSpan.h) for a
// bilinear A8R8G8B8 sampler of one level (the sampler's bilinearArgb), in
// 8-bit fixed point, as texture units filter: within a unit per channel of
// texturedSpan, with the same depth test. Two implementations give the same
// bits: four pixels a step with SSE2, and eight a step with AVX2
// (BilinearSpanAvx2.cpp) on processors that have it.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <algorithm>
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

// The columns xa, xb and rows ya, yb of the four texels around texel
// position (x, y) (the one at or left of and above the sample, and its
// right and lower neighbours) for addressing A.
template <BilinearAddressing A>
inline void bilinearCorners(const SamplerLevel& level, int x, int y, int& xa, int& xb, int& ya, int& yb)
{
    const int widthMask = level.width - 1, heightMask = level.height - 1;
    if (A == BilinearAddressing::WRAP_POWER_OF_TWO) {
        xa = x & widthMask;
        xb = (x + 1) & widthMask;
        ya = y & heightMask;
        yb = (y + 1) & heightMask;
    } else if (A == BilinearAddressing::WRAP) {
        // Index i wrapped into 0..n-1.
        const auto wrap = [](int i, int n) {
            const int r = i % n;
            return r < 0 ? r + n : r;
        };
        const bool inside = x >= 0 && x < level.width && y >= 0 && y < level.height;
        xa = inside ? x : wrap(x, level.width);
        xb = xa + 1 == level.width ? 0 : xa + 1;
        ya = inside ? y : wrap(y, level.height);
        yb = ya + 1 == level.height ? 0 : ya + 1;
    } else {
        xa = std::min(std::max(x, 0), widthMask);
        xb = std::min(std::max(x + 1, 0), widthMask);
        ya = std::min(std::max(y, 0), heightMask);
        yb = std::min(std::max(y + 1, 0), heightMask);
    }
}

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
