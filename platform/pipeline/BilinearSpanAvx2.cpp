// The bilinear textured span of BilinearSpan.h eight pixels a step, in
// 256-bit registers, for processors with AVX2 (bilinearTexturedSpan picks
// it at run time).
//
// It gives the bits of the four-pixel span. Every integer operation works
// lane by lane on the same 16-bit values, only laid out differently: a
// texel's blue and red in one register, its green and alpha in another, as
// the bytes are masked and shifted, which saves the unpacking and packing.
// The floating-point interpolants take the four-pixel span's values: its
// lanes start at value + k step (k = 0..3) and advance by 4 step, so the
// upper four lanes here hold the lower four plus 4 step, and a step adds
// 4 step twice. Values that do not vary along the span (1/q, the texel
// rows of v/q, a constant colour) are computed once from the same lanes.

#include "pipeline/BilinearSpan.h"

#if defined(__SSE2__) && defined(__x86_64__)

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

namespace swd3d9 {
namespace pipeline {

namespace {

using Addressing = BilinearAddressing;

} // namespace

// Everything with 256-bit registers is compiled for AVX2 (without FMA,
// which would fuse the multiplications and additions the four-pixel span
// rounds separately). GCC sets the target for everything up to
// pop_options; clang takes it as an attribute of each function. The
// headers are included above, so that nothing they define inline is
// compiled for AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

#if defined(__GNUC__)
#define KX_SPAN_INLINE __attribute__((always_inline)) inline
#else
#define KX_SPAN_INLINE inline
#endif

// The float lanes of the four-pixel span's first step: value + k step.
KX_SPAN_INLINE __m128 firstStep(float value, float step)
{
    return _mm_add_ps(_mm_set1_ps(value), _mm_mul_ps(_mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f), _mm_set1_ps(step)));
}

// Four lanes in both halves.
KX_SPAN_INLINE __m256 twice(__m128 lanes)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(lanes), lanes, 1);
}

// The float lanes of eight pixels: 0..3 as the four-pixel span starts them,
// 4..7 as its next step holds them.
KX_SPAN_INLINE __m256 startLanes(float value, float step)
{
    const __m128 first = firstStep(value, step);
    const __m128 second = _mm_add_ps(first, _mm_set1_ps(4.0f * step));
    return _mm256_insertf128_ps(_mm256_castps128_ps256(first), second, 1);
}

// The four-pixel stride 4 step of an interpolant, added to both halves and,
// once more, to the upper half only (-0 adds nothing to the lower half,
// whatever its value, the sign of a zero included).
struct Stride {
    __m256 both, upper;
};

KX_SPAN_INLINE Stride strideOf(float step)
{
    const __m256 stride = _mm256_set1_ps(4.0f * step);
    return {stride, _mm256_blend_ps(_mm256_set1_ps(-0.0f), stride, 0xF0)};
}

// Eight pixels on: two steps of the four-pixel span, the first from its
// previous upper half.
KX_SPAN_INLINE __m256 advance(__m256 lanes, const Stride& stride)
{
    const __m256 next = _mm256_add_ps(_mm256_permute2f128_ps(lanes, lanes, 0x11), stride.both);
    return _mm256_add_ps(next, stride.upper);
}

// 16-bit lanes by channel pair: blue and red of each pixel's 32-bit word
// in one register, green and alpha in another (the low and high half of
// each word).
struct ChannelPairs {
    __m256i blueRed, greenAlpha;
};

// A colour channel over q of eight pixels times 1/q, saturated and scaled
// by `scale`.
KX_SPAN_INLINE __m256i scaledChannel(__m256 channel, __m256 w, __m256 scale)
{
    const __m256 value = _mm256_mul_ps(channel, w);
    return _mm256_cvtps_epi32(
        _mm256_mul_ps(_mm256_min_ps(_mm256_max_ps(value, _mm256_setzero_ps()), _mm256_set1_ps(1.0f)), scale));
}

// Colours over q of eight pixels (one register per channel) times 1/q,
// saturated and scaled by twice `half`, as channel pairs. With half = 32767
// they are factors in 0..65534 for _mm256_mulhi_epu16; with half = 32640
// they are 8.8 values.
KX_SPAN_INLINE ChannelPairs colorPairs(__m256 red, __m256 green, __m256 blue, __m256 alpha, __m256 w, float half)
{
    const __m256 scale = _mm256_set1_ps(half);
    // Each value is at most half, so doubled it stays within its 16 bits.
    return {_mm256_or_si256(_mm256_slli_epi32(scaledChannel(blue, w, scale), 1),
                            _mm256_slli_epi32(scaledChannel(red, w, scale), 17)),
            _mm256_or_si256(_mm256_slli_epi32(scaledChannel(green, w, scale), 1),
                            _mm256_slli_epi32(scaledChannel(alpha, w, scale), 17))};
}

// Texel position u * size - 1/2 in 24.8 fixed point. Coordinates that are
// not finite read as 0; huge ones are bounded so that they convert.
KX_SPAN_INLINE __m256i fixedPosition(__m256 c, __m256 scale)
{
    const __m256 finite = _mm256_cmp_ps(_mm256_sub_ps(c, c), _mm256_setzero_ps(), _CMP_EQ_OQ);
    const __m256 limit = _mm256_set1_ps(1073741824.0f);
    __m256 f = _mm256_sub_ps(_mm256_mul_ps(_mm256_and_ps(c, finite), scale), _mm256_set1_ps(128.0f));
    f = _mm256_min_ps(_mm256_max_ps(f, _mm256_sub_ps(_mm256_setzero_ps(), limit)), limit);
    return _mm256_cvtps_epi32(f);
}

// All ones in lanes 0..lanes-1.
KX_SPAN_INLINE __m256i firstLanes(int lanes)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(lanes), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// The words of pixels x..x+lanes-1 of a row (the rest read as 0, from no
// memory).
KX_SPAN_INLINE __m256i loadWords(const uint32_t* row, int64_t x, int lanes)
{
    if (lanes == 8)
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
    return _mm256_maskload_epi32(reinterpret_cast<const int*>(row + x), firstLanes(lanes));
}

// Stores the words of pixels x..x+lanes-1 of a row.
KX_SPAN_INLINE void storeWords(uint32_t* row, int64_t x, int lanes, __m256i value)
{
    if (lanes == 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x), value);
    else
        _mm256_maskstore_epi32(reinterpret_cast<int*>(row + x), firstLanes(lanes), value);
}

// depthBits24x4 of DepthTest.h on eight lanes.
KX_SPAN_INLINE __m256i depthBits24x8(__m256 z)
{
    const __m256 clamped = _mm256_min_ps(_mm256_max_ps(z, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    const __m256 rounded = _mm256_add_ps(_mm256_mul_ps(clamped, _mm256_set1_ps(16777215.0f)), _mm256_set1_ps(0.5f));
    return _mm256_cvttps_epi32(_mm256_min_ps(rounded, _mm256_set1_ps(16777215.0f)));
}

// depthPasses4 of DepthTest.h on eight lanes.
KX_SPAN_INLINE __m256i depthPasses8(uint8_t func, __m256i bits, __m256i stored)
{
    const __m256i ones = _mm256_set1_epi32(-1);
    switch (func) {
    case D3DCMP_NEVER: return _mm256_setzero_si256();
    case D3DCMP_LESS: return _mm256_cmpgt_epi32(stored, bits);
    case D3DCMP_EQUAL: return _mm256_cmpeq_epi32(bits, stored);
    case D3DCMP_LESSEQUAL: return _mm256_xor_si256(_mm256_cmpgt_epi32(bits, stored), ones);
    case D3DCMP_GREATER: return _mm256_cmpgt_epi32(bits, stored);
    case D3DCMP_NOTEQUAL: return _mm256_xor_si256(_mm256_cmpeq_epi32(bits, stored), ones);
    case D3DCMP_GREATEREQUAL: return _mm256_xor_si256(_mm256_cmpgt_epi32(stored, bits), ones);
    default: return ones;
    }
}

// The texels around eight pixels' positions: at columns xa (left) and xb
// (right) of rows ya (top) and yb (bottom).
struct TexelQuad {
    __m256i topLeft, topRight, bottomLeft, bottomRight;
};

// TexelQuad with the addresses worked out lane by lane, for any addressing.
template <Addressing A>
KX_SPAN_INLINE void gatherTexels(const SamplerLevel& level, __m256i ix, __m256i iy, TexelQuad& texels)
{
    alignas(32) int x0[8], y0[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(x0), ix);
    _mm256_store_si256(reinterpret_cast<__m256i*>(y0), iy);
    alignas(32) uint32_t words[4][8];
    for (int k = 0; k < 8; ++k) {
        int xa, xb, ya, yb;
        bilinearCorners<A>(level, x0[k], y0[k], xa, xb, ya, yb);
        const uint8_t* top = level.data + static_cast<size_t>(ya) * level.pitch;
        const uint8_t* bottom = level.data + static_cast<size_t>(yb) * level.pitch;
        std::memcpy(&words[0][k], top + 4 * xa, 4);
        std::memcpy(&words[1][k], top + 4 * xb, 4);
        std::memcpy(&words[2][k], bottom + 4 * xa, 4);
        std::memcpy(&words[3][k], bottom + 4 * xb, 4);
    }
    texels.topLeft = _mm256_load_si256(reinterpret_cast<const __m256i*>(words[0]));
    texels.topRight = _mm256_load_si256(reinterpret_cast<const __m256i*>(words[1]));
    texels.bottomLeft = _mm256_load_si256(reinterpret_cast<const __m256i*>(words[2]));
    texels.bottomRight = _mm256_load_si256(reinterpret_cast<const __m256i*>(words[3]));
}

// Two texels side by side at byte offset a of data, and two at offset b, as
// the low and high 64 bits.
KX_SPAN_INLINE __m128i twoTexelPairs(const uint8_t* data, uint32_t a, uint32_t b)
{
    const __m128d low = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + a)));
    return _mm_castpd_si128(_mm_loadh_pd(low, reinterpret_cast<const double*>(data + b)));
}

// The byte offsets of eight lanes in pairs, lanes 2k and 2k + 1 in
// pairs[k]: moving values from vector to general registers is the costly
// part of the loads, and it moves 64 bits as cheaply as 32.
KX_SPAN_INLINE void offsetPairs(__m256i offsets, uint64_t pairs[4])
{
    const __m128i low = _mm256_castsi256_si128(offsets), high = _mm256_extracti128_si256(offsets, 1);
    pairs[0] = static_cast<uint64_t>(_mm_cvtsi128_si64(low));
    pairs[1] = static_cast<uint64_t>(_mm_extract_epi64(low, 1));
    pairs[2] = static_cast<uint64_t>(_mm_cvtsi128_si64(high));
    pairs[3] = static_cast<uint64_t>(_mm_extract_epi64(high, 1));
}

// The two offsets of a pair.
KX_SPAN_INLINE uint32_t lowHalf(uint64_t pair)
{
    return static_cast<uint32_t>(pair);
}

KX_SPAN_INLINE uint32_t highHalf(uint64_t pair)
{
    return static_cast<uint32_t>(pair >> 32);
}

// The left and right texels of eight pixels whose left texels sit at the
// byte offsets (offsetPairs) of row, their right ones next to them.
KX_SPAN_INLINE void loadTexelPairs(const uint8_t* row, const uint64_t offsets[4], __m256i& left, __m256i& right)
{
    // Pairs of pixels 0, 1, 4, 5 and of 2, 3, 6, 7, so that the lefts and
    // rights split out of them come in pixel order in each half.
    const __m256i first =
        _mm256_inserti128_si256(_mm256_castsi128_si256(twoTexelPairs(row, lowHalf(offsets[0]), highHalf(offsets[0]))),
                                twoTexelPairs(row, lowHalf(offsets[2]), highHalf(offsets[2])), 1);
    const __m256i second =
        _mm256_inserti128_si256(_mm256_castsi128_si256(twoTexelPairs(row, lowHalf(offsets[1]), highHalf(offsets[1]))),
                                twoTexelPairs(row, lowHalf(offsets[3]), highHalf(offsets[3])), 1);
    const __m256 a = _mm256_castsi256_ps(first), b = _mm256_castsi256_ps(second);
    left = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    right = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// The bilinear filter of eight pixels on one channel pair: each row across
// in exact 8.8 (the weights sum to 256), then down, as _mm256_mulhi_epu16
// turns the products into 8.8 results.
KX_SPAN_INLINE __m256i filterPair(__m256i topLeft, __m256i topRight, __m256i bottomLeft, __m256i bottomRight,
                                  __m256i left, __m256i right, __m256i up, __m256i down)
{
    const __m256i above = _mm256_add_epi16(_mm256_mullo_epi16(topLeft, left), _mm256_mullo_epi16(topRight, right));
    const __m256i below =
        _mm256_add_epi16(_mm256_mullo_epi16(bottomLeft, left), _mm256_mullo_epi16(bottomRight, right));
    return _mm256_add_epi16(_mm256_mulhi_epu16(above, up), _mm256_mulhi_epu16(below, down));
}

// The colour factors (Modulate) and specular colours of eight pixels from
// the colours over q (c: diffuse R, G, B, A, then specular R, G, B) and
// 1/q. Specular alpha is never added and stays 0.
template <bool Modulate>
KX_SPAN_INLINE void colorPairsAt(const __m256* c, __m256 w, bool specular, ChannelPairs& factor,
                                 ChannelPairs& specularColor)
{
    if (Modulate)
        factor = colorPairs(c[0], c[1], c[2], c[3], w, 32767.0f);
    if (specular)
        specularColor = colorPairs(c[4], c[5], c[6], _mm256_setzero_ps(), w, 32640.0f);
}

// The bilinear textured span in 8-bit fixed point, eight pixels per step:
// the four-pixel span's arithmetic (see BilinearSpan.cpp) on twice the
// lanes.
template <Addressing A, bool Modulate, bool Blend, bool Depth>
void bilinearSpan8(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                   int y, float q, float z, float zStep, const float* base)
{
    const TargetView& target = pixels.target;
    const PixelKey& key = pixels.key;
    uint32_t* color = reinterpret_cast<uint32_t*>(target.color->pixel(0, static_cast<UINT>(y)));
    uint32_t* depth = Depth ? reinterpret_cast<uint32_t*>(target.depth->pixel(0, static_cast<UINT>(y))) : nullptr;
    const SamplerSetup& sampler = pixels.samplers[0];
    const SamplerLevel& level = sampler.levels[0][sampler.firstLevel];
    const Plane* texPlanes = varyingPlanes + VARYING_TEXCOORD;
    const bool specular = key.specularAdd;
    const uint8_t zFunc = key.zFunc;
    const bool zWrite = key.zWrite;

    __m256 qs = startLanes(q, qPlane.dx), us = startLanes(base[VARYING_TEXCOORD], texPlanes[0].dx),
           vs = startLanes(base[VARYING_TEXCOORD + 1], texPlanes[1].dx);
    const Stride qStride = strideOf(qPlane.dx), uStride = strideOf(texPlanes[0].dx),
                 vStride = strideOf(texPlanes[1].dx);
    const __m256 one = _mm256_set1_ps(1.0f);
    // With q constant along the span every lane holds q itself (a zero
    // could change sign, which 1/q keeps), and 1/q is computed once; with
    // v constant too the texel rows and vertical weights are fixed.
    const bool steadyQ = qPlane.dx == 0.0f && q != 0.0f;
    const bool steadyRows = steadyQ && texPlanes[1].dx == 0.0f;
    const __m256 steadyW = steadyQ ? _mm256_set1_ps(1.0f / q) : one;

    // Diffuse (0..3) and specular (4..6) colours, those the span uses.
    const int firstColor = Modulate ? 0 : 4, colorEnd = specular ? 7 : 4;
    bool colorsVary = qPlane.dx != 0.0f;
    for (int i = firstColor; i < colorEnd; ++i)
        colorsVary = colorsVary || varyingPlanes[VARYING_DIFFUSE + i].dx != 0.0f;
    __m256 colors[7], colorsNow[7];
    Stride colorStride[7];
    ChannelPairs factor = {_mm256_setzero_si256(), _mm256_setzero_si256()};
    ChannelPairs specularColor = factor;
    if (colorsVary) {
        for (int i = 0; i < 7; ++i) {
            const bool used = i >= firstColor && i < colorEnd;
            const float step = used ? varyingPlanes[VARYING_DIFFUSE + i].dx : 0.0f;
            colors[i] = used ? startLanes(base[VARYING_DIFFUSE + i], step) : _mm256_setzero_ps();
            colorsNow[i] = colors[i];
            colorStride[i] = strideOf(step);
        }
    } else {
        // One colour over the whole span, from the four-pixel span's first
        // step, whose lanes it keeps for every later step.
        const __m256 w = _mm256_div_ps(one, twice(firstStep(q, qPlane.dx)));
        const float* start = base + VARYING_DIFFUSE;
        const Plane* planes = varyingPlanes + VARYING_DIFFUSE;
        if (Modulate)
            factor = colorPairs(twice(firstStep(start[0], planes[0].dx)), twice(firstStep(start[1], planes[1].dx)),
                                twice(firstStep(start[2], planes[2].dx)), twice(firstStep(start[3], planes[3].dx)), w,
                                32767.0f);
        if (specular)
            specularColor = colorPairs(twice(firstStep(start[4], planes[4].dx)),
                                       twice(firstStep(start[5], planes[5].dx)),
                                       twice(firstStep(start[6], planes[6].dx)), _mm256_setzero_ps(), w, 32640.0f);
    }

    const __m256 scaleU = _mm256_set1_ps(level.fwidth * 256.0f), scaleV = _mm256_set1_ps(level.fheight * 256.0f);
    const __m256i fractionMask = _mm256_set1_epi32(0xFF), allOnes = _mm256_set1_epi32(-1);
    const __m256i lowBytes = _mm256_set1_epi32(0x00FF00FF), highBytes = _mm256_set1_epi32(0xFF00FF00u);
    const __m256i full = _mm256_set1_epi16(256), rounding = _mm256_set1_epi16(128);
    const __m256i stencilByte = _mm256_set1_epi32(0xFF);
    const __m256i fill =
        _mm256_set1_epi32(target.colorFormat == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
    const __m256i whiteLevel = _mm256_set1_epi16(static_cast<short>(0xFF00));
    // The source alpha's factor 1 when it is laid over the target's alpha.
    const __m256i sourceAlphaOne =
        key.alphaOver ? _mm256_set1_epi32(static_cast<int>(0xFFFF0000u)) : _mm256_setzero_si256();
    // The alpha of each pixel in both halves of its word.
    const __m256i alphaOfPixel = _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2, 3, 2, 3,
                                                  6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
    const __m256i widthMask = _mm256_set1_epi32(level.width - 1), heightMask = _mm256_set1_epi32(level.height - 1);
    const __m256i pitch = _mm256_set1_epi32(static_cast<int>(level.pitch));

    // The vertical position of every pixel, and its texel rows, when they
    // are fixed.
    __m256i steadyV = _mm256_setzero_si256();
    const uint8_t *steadyTop = level.data, *steadyBottom = level.data;
    if (steadyRows)
        steadyV = fixedPosition(_mm256_mul_ps(vs, steadyW), scaleV);
    if (A == Addressing::WRAP_POWER_OF_TWO && steadyRows) {
        // Positions are within +-2^22 texels: iy + 1 does not overflow.
        const int iy = _mm256_cvtsi256_si32(_mm256_srai_epi32(steadyV, 8));
        steadyTop += static_cast<uint32_t>(iy & (level.height - 1)) * static_cast<uint32_t>(level.pitch);
        steadyBottom += static_cast<uint32_t>((iy + 1) & (level.height - 1)) * static_cast<uint32_t>(level.pitch);
    }

    for (int64_t x = lo; x <= hi; x += 8) {
        const int lanes = static_cast<int>(std::min<int64_t>(8, hi - x + 1));
        const __m256 qNow = qs, uNow = us, vNow = vs;
        if (!steadyQ)
            qs = advance(qs, qStride);
        us = advance(us, uStride);
        if (!steadyRows)
            vs = advance(vs, vStride);
        if (colorsVary) {
            for (int i = firstColor; i < colorEnd; ++i) {
                colorsNow[i] = colors[i];
                colors[i] = advance(colors[i], colorStride[i]);
            }
        }

        // Depth first: the pixel-by-pixel sums of the per-pixel path, the
        // test on eight lanes, and nothing more for a group that fails.
        __m256i pass = allOnes;
        if (Depth) {
            alignas(32) float zs[8];
            for (int k = 0; k < 8; ++k) {
                zs[k] = z;
                z += zStep;
            }
            const __m256i bits = depthBits24x8(_mm256_load_ps(zs));
            const __m256i words = loadWords(depth, x, lanes);
            pass = depthPasses8(zFunc, bits, _mm256_srli_epi32(words, 8));
            if (lanes < 8)
                pass = _mm256_and_si256(pass, firstLanes(lanes));
            if (_mm256_testz_si256(pass, pass))
                continue;
            if (zWrite) {
                const __m256i written =
                    _mm256_or_si256(_mm256_slli_epi32(bits, 8), _mm256_and_si256(words, stencilByte));
                storeWords(depth, x, lanes, _mm256_blendv_epi8(words, written, pass));
            }
        }

        const __m256 w = steadyQ ? steadyW : _mm256_div_ps(one, qNow);
        const __m256i pu = fixedPosition(_mm256_mul_ps(uNow, w), scaleU);
        const __m256i pv = steadyRows ? steadyV : fixedPosition(_mm256_mul_ps(vNow, w), scaleV);
        const __m256i ix = _mm256_srai_epi32(pu, 8);
        TexelQuad texels;
        const __m256i xa = _mm256_and_si256(ix, widthMask);
        // A wrapping power-of-two texture reads its texel pairs side by side
        // unless one wraps around the right edge.
        if (A == Addressing::WRAP_POWER_OF_TWO && _mm256_testz_si256(_mm256_cmpeq_epi32(xa, widthMask), allOnes)) {
            const __m256i column = _mm256_slli_epi32(xa, 2);
            uint64_t offsets[4];
            if (steadyRows) {
                offsetPairs(column, offsets);
                loadTexelPairs(steadyTop, offsets, texels.topLeft, texels.topRight);
                loadTexelPairs(steadyBottom, offsets, texels.bottomLeft, texels.bottomRight);
            } else {
                const __m256i iy = _mm256_srai_epi32(pv, 8);
                const __m256i top = _mm256_mullo_epi32(_mm256_and_si256(iy, heightMask), pitch);
                const __m256i bottom = _mm256_mullo_epi32(
                    _mm256_and_si256(_mm256_add_epi32(iy, _mm256_set1_epi32(1)), heightMask), pitch);
                offsetPairs(_mm256_add_epi32(top, column), offsets);
                loadTexelPairs(level.data, offsets, texels.topLeft, texels.topRight);
                offsetPairs(_mm256_add_epi32(bottom, column), offsets);
                loadTexelPairs(level.data, offsets, texels.bottomLeft, texels.bottomRight);
            }
        } else {
            gatherTexels<A>(level, ix, _mm256_srai_epi32(pv, 8), texels);
        }

        // Weights: 256 - fx and fx across, then (65535 - 256 fy) and 256 fy
        // down, in both halves of each pixel's word.
        const __m256i fx = _mm256_and_si256(pu, fractionMask);
        const __m256i fy = _mm256_slli_epi32(_mm256_and_si256(pv, fractionMask), 8);
        const __m256i right = _mm256_or_si256(fx, _mm256_slli_epi32(fx, 16));
        const __m256i left = _mm256_sub_epi16(full, right);
        const __m256i down = _mm256_or_si256(fy, _mm256_slli_epi32(fy, 16));
        const __m256i up = _mm256_xor_si256(down, allOnes);
        __m256i blueRed = filterPair(
            _mm256_and_si256(texels.topLeft, lowBytes), _mm256_and_si256(texels.topRight, lowBytes),
            _mm256_and_si256(texels.bottomLeft, lowBytes), _mm256_and_si256(texels.bottomRight, lowBytes), left, right,
            up, down);
        __m256i greenAlpha = filterPair(
            _mm256_srli_epi16(texels.topLeft, 8), _mm256_srli_epi16(texels.topRight, 8),
            _mm256_srli_epi16(texels.bottomLeft, 8), _mm256_srli_epi16(texels.bottomRight, 8), left, right, up, down);

        if (colorsVary && (Modulate || specular))
            colorPairsAt<Modulate>(colorsNow, w, specular, factor, specularColor);
        if (Modulate) {
            blueRed = _mm256_mulhi_epu16(blueRed, factor.blueRed);
            greenAlpha = _mm256_mulhi_epu16(greenAlpha, factor.greenAlpha);
        }
        if (specular) {
            // Added with saturation, then held at 255.0.
            blueRed = _mm256_adds_epu16(blueRed, specularColor.blueRed);
            greenAlpha = _mm256_adds_epu16(greenAlpha, specularColor.greenAlpha);
            blueRed = _mm256_sub_epi16(blueRed, _mm256_subs_epu16(blueRed, whiteLevel));
            greenAlpha = _mm256_sub_epi16(greenAlpha, _mm256_subs_epu16(greenAlpha, whiteLevel));
        }

        const __m256i old = (Blend || Depth) ? loadWords(color, x, lanes) : _mm256_setzero_si256();
        if (Blend) {
            // Source alpha over every channel of its pixel, as a factor in
            // 0..65535 (1 for the alpha laid over the target's), and the
            // destination bytes as 8.8 values.
            const __m256i destination = _mm256_or_si256(old, fill);
            __m256i alpha = _mm256_shuffle_epi8(greenAlpha, alphaOfPixel);
            alpha = _mm256_add_epi16(alpha, _mm256_srli_epi16(alpha, 8));
            const __m256i inverse = _mm256_xor_si256(alpha, allOnes);
            blueRed = _mm256_add_epi16(_mm256_mulhi_epu16(blueRed, alpha),
                                       _mm256_mulhi_epu16(_mm256_slli_epi16(destination, 8), inverse));
            greenAlpha = _mm256_add_epi16(_mm256_mulhi_epu16(greenAlpha, _mm256_or_si256(alpha, sourceAlphaOne)),
                                          _mm256_mulhi_epu16(_mm256_and_si256(destination, highBytes), inverse));
        }

        // 8.8 to bytes, rounded to nearest.
        blueRed = _mm256_srli_epi16(_mm256_adds_epu16(blueRed, rounding), 8);
        greenAlpha = _mm256_and_si256(_mm256_adds_epu16(greenAlpha, rounding), highBytes);
        __m256i out = _mm256_or_si256(_mm256_or_si256(blueRed, greenAlpha), fill);
        if (Depth)
            out = _mm256_blendv_epi8(old, out, pass);
        storeWords(color, x, lanes, out);
    }
}

template <Addressing A>
BilinearSpanRoutine eightPixelSpanFor(bool modulate, bool blend, bool depth)
{
    static const BilinearSpanRoutine routines[8] = {
        bilinearSpan8<A, false, false, false>, bilinearSpan8<A, false, false, true>,
        bilinearSpan8<A, false, true, false>,  bilinearSpan8<A, false, true, true>,
        bilinearSpan8<A, true, false, false>,  bilinearSpan8<A, true, false, true>,
        bilinearSpan8<A, true, true, false>,   bilinearSpan8<A, true, true, true>,
    };
    return routines[(modulate ? 4 : 0) + (blend ? 2 : 0) + (depth ? 1 : 0)];
}

#undef KX_SPAN_INLINE

} // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

BilinearSpanRoutine eightPixelBilinearSpan(BilinearAddressing addressing, bool modulate, bool blend, bool depth)
{
    switch (addressing) {
    case Addressing::WRAP_POWER_OF_TWO: return eightPixelSpanFor<Addressing::WRAP_POWER_OF_TWO>(modulate, blend, depth);
    case Addressing::WRAP: return eightPixelSpanFor<Addressing::WRAP>(modulate, blend, depth);
    default: return eightPixelSpanFor<Addressing::CLAMP>(modulate, blend, depth);
    }
}

} // namespace pipeline
} // namespace swd3d9

#endif
