#pragma once

// The comparison functions (D3DCMP_) of the per-pixel depth, stencil and
// alpha tests, the stencil operations, and depth values of a 24-bit depth buffer (D24S8, D24X8) as
// the per-pixel path computes them: the depth saturated to 0..1, scaled and
// rounded to 24 bits, compared with the stored value (the word's top 24
// bits), the stencil byte kept on writes. The span loops use the same.

#include <d3d9types.h>

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

inline uint32_t depthBits24(float z)
{
    // Near 1 the sum rounds up to 2^24 in single precision; the cap keeps
    // the far plane at the largest 24-bit depth, equal to a clear to 1.
    const float clamped = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
    return static_cast<uint32_t>(std::min(clamped * 16777215.0f + 0.5f, 16777215.0f));
}

// Whether value passes the comparison func against reference (an unknown
// function passes, as D3DCMP_ALWAYS).
inline bool compareFunction(uint8_t func, uint32_t value, uint32_t reference)
{
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}

// The stencil value after operation op (D3DSTENCILOP_) on value.
inline uint32_t stencilOperation(uint8_t op, uint32_t value, uint32_t reference)
{
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return 0;
    case D3DSTENCILOP_REPLACE:
        return reference & 0xFF;
    case D3DSTENCILOP_INCRSAT:
        return value < 0xFF ? value + 1 : 0xFF;
    case D3DSTENCILOP_DECRSAT:
        return value > 0 ? value - 1 : 0;
    case D3DSTENCILOP_INVERT:
        return ~value & 0xFF;
    case D3DSTENCILOP_INCR:
        return (value + 1) & 0xFF;
    case D3DSTENCILOP_DECR:
        return (value - 1) & 0xFF;
    default:
        return value;
    }
}

#if defined(__SSE2__)
// Four depths at once: the same rounding as depthBits24 lane by lane.
inline __m128i depthBits24x4(__m128 z)
{
    const __m128 clamped = _mm_min_ps(_mm_max_ps(z, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    const __m128 rounded = _mm_add_ps(_mm_mul_ps(clamped, _mm_set1_ps(16777215.0f)), _mm_set1_ps(0.5f));
    return _mm_cvttps_epi32(_mm_min_ps(rounded, _mm_set1_ps(16777215.0f)));
}

// All ones in the lanes whose depth passes. Both operands hold 24-bit
// values, so signed comparisons order them correctly.
inline __m128i depthPasses4(uint8_t func, __m128i bits, __m128i stored)
{
    const __m128i ones = _mm_set1_epi32(-1);
    switch (func) {
    case D3DCMP_NEVER: return _mm_setzero_si128();
    case D3DCMP_LESS: return _mm_cmplt_epi32(bits, stored);
    case D3DCMP_EQUAL: return _mm_cmpeq_epi32(bits, stored);
    case D3DCMP_LESSEQUAL: return _mm_xor_si128(_mm_cmpgt_epi32(bits, stored), ones);
    case D3DCMP_GREATER: return _mm_cmpgt_epi32(bits, stored);
    case D3DCMP_NOTEQUAL: return _mm_xor_si128(_mm_cmpeq_epi32(bits, stored), ones);
    case D3DCMP_GREATEREQUAL: return _mm_xor_si128(_mm_cmplt_epi32(bits, stored), ones);
    default: return ones;
    }
}
#endif

} // namespace pipeline
} // namespace swd3d9
