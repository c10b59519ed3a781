#include "pipeline/BilinearSpan.h"

#if defined(__SSE2__)

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace swd3d9 {
namespace pipeline {

namespace {

// Four 32-bit lanes to eight 16-bit lanes: each pixel's value over the four
// channel lanes of its texel, pixels 0 and 1 in `low`, 2 and 3 in `high`.
void spreadPerPixel(__m128i lanes, __m128i& low, __m128i& high)
{
    // The low half of each lane, twice (values up to 65535 need no packing).
    const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(lanes, _MM_SHUFFLE(2, 2, 0, 0)),
                                              _MM_SHUFFLE(2, 2, 0, 0));
    low = _mm_unpacklo_epi32(pairs, pairs);
    high = _mm_unpackhi_epi32(pairs, pairs);
}

// Colours of four pixels (one register per channel, R, G, B, A), saturated
// and scaled by twice `half`, as 16-bit lanes laid out like texels (B, G,
// R, A per pixel). With half = 32767 they are factors in 0..65534 for
// _mm_mulhi_epu16; with half = 32640 they are 8.8 values.
void colorLanes(const __m128 channel[4], float half, __m128i& low, __m128i& high)
{
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(half);
    __m128i c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = _mm_cvtps_epi32(_mm_mul_ps(_mm_min_ps(_mm_max_ps(channel[i], zero), one), scale));
    const __m128i bg = _mm_packs_epi32(c[2], c[1]); // B0..B3, G0..G3
    const __m128i ra = _mm_packs_epi32(c[0], c[3]); // R0..R3, A0..A3
    const __m128i br = _mm_unpacklo_epi16(bg, ra);  // B0 R0 B1 R1 ...
    const __m128i ga = _mm_unpackhi_epi16(bg, ra);  // G0 A0 G1 A1 ...
    low = _mm_unpacklo_epi16(br, ga);
    high = _mm_unpackhi_epi16(br, ga);
    low = _mm_add_epi16(low, low);
    high = _mm_add_epi16(high, high);
}

// Loads the words of pixels x..x+lanes-1 of a row (the rest read as 0).
inline __m128i loadWords(const uint32_t* row, int64_t x, int lanes)
{
    if (lanes == 4)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    alignas(16) uint32_t words[4] = {0, 0, 0, 0};
    for (int k = 0; k < lanes; ++k)
        words[k] = row[x + k];
    return _mm_load_si128(reinterpret_cast<const __m128i*>(words));
}

// Stores the words of pixels x..x+lanes-1 of a row.
inline void storeWords(uint32_t* row, int64_t x, int lanes, __m128i value)
{
    if (lanes == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), value);
        return;
    }
    alignas(16) uint32_t words[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(words), value);
    for (int k = 0; k < lanes; ++k)
        row[x + k] = words[k];
}

// Lanes of `yes` where mask is set, of `no` elsewhere.
inline __m128i select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Two horizontally adjacent texels of a row as the low 64 bits: one load
// when they sit next to each other in memory, two at a wrapping or clamped
// edge.
inline __m128i texelPair(const uint8_t* row, int xa, int xb)
{
    if (xb == xa + 1)
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + 4 * xa));
    int32_t a, b;
    std::memcpy(&a, row + 4 * xa, 4);
    std::memcpy(&b, row + 4 * xb, 4);
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b));
}

using Addressing = BilinearAddressing;

struct TexelRows {
    __m128i left, right; // the texels at xa and xb of four pixels
};

// The texels of row ya (a) and row yb (b) around four pixels' positions.
// Part of the span's inner loop: inlined so that its registers stay there.
template <Addressing A>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void gatherTexels(const SamplerLevel& level, const int* x0, const int* y0, TexelRows& a, TexelRows& b)
{
    __m128i pairs[2][4];
    for (int k = 0; k < 4; ++k) {
        int xa, xb, ya, yb;
        bilinearCorners<A>(level, x0[k], y0[k], xa, xb, ya, yb);
        pairs[0][k] = texelPair(level.data + static_cast<size_t>(ya) * level.pitch, xa, xb);
        pairs[1][k] = texelPair(level.data + static_cast<size_t>(yb) * level.pitch, xa, xb);
    }
    // Pairs (left, right) of pixels 0..3 to one register of lefts and one
    // of rights.
    TexelRows* rows[2] = {&a, &b};
    for (int r = 0; r < 2; ++r) {
        const __m128 first = _mm_castsi128_ps(_mm_unpacklo_epi64(pairs[r][0], pairs[r][1]));
        const __m128 second = _mm_castsi128_ps(_mm_unpacklo_epi64(pairs[r][2], pairs[r][3]));
        rows[r]->left = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
        rows[r]->right = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
    }
}

// Row offsets ya * pitch of four lanes (SSE2 multiplies two lanes at once).
inline __m128i rowOffsets(__m128i rows, __m128i pitch)
{
    const __m128i even = _mm_mul_epu32(rows, pitch);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(rows, 32), pitch);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// gatherTexels for a wrapping power-of-two texture with the addresses
// computed four lanes at a time. Returns false, having read nothing, when
// a pixel's texel pair wraps around the right edge.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline bool gatherWrappedPairs(const SamplerLevel& level, __m128i ix, __m128i iy, __m128i widthMask,
                               __m128i heightMask, __m128i pitch, TexelRows& a, TexelRows& b)
{
    const __m128i xa = _mm_and_si128(ix, widthMask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(xa, widthMask)) != 0)
        return false;
    const __m128i ya = _mm_and_si128(iy, heightMask);
    const __m128i yb = _mm_and_si128(_mm_add_epi32(iy, _mm_set1_epi32(1)), heightMask);
    const __m128i column = _mm_slli_epi32(xa, 2);
    alignas(16) uint32_t offsetA[4], offsetB[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(offsetA), _mm_add_epi32(rowOffsets(ya, pitch), column));
    _mm_store_si128(reinterpret_cast<__m128i*>(offsetB), _mm_add_epi32(rowOffsets(yb, pitch), column));
    const auto pair = [&](uint32_t offset) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(level.data + offset));
    };
    const auto split = [](__m128i p0, __m128i p1, __m128i p2, __m128i p3, TexelRows& row) {
        const __m128 first = _mm_castsi128_ps(_mm_unpacklo_epi64(p0, p1));
        const __m128 second = _mm_castsi128_ps(_mm_unpacklo_epi64(p2, p3));
        row.left = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
        row.right = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
    };
    split(pair(offsetA[0]), pair(offsetA[1]), pair(offsetA[2]), pair(offsetA[3]), a);
    split(pair(offsetB[0]), pair(offsetB[1]), pair(offsetB[2]), pair(offsetB[3]), b);
    return true;
}

// The bilinear textured span in 8-bit fixed point, four pixels per step,
// the way texture units filter: texel positions carry 8 fraction bits, the
// filter weights are 8-bit, and every channel runs in 16-bit lanes as an
// 8.8 fixed-point value until the final rounding. The results stay within
// a unit per channel of the floating-point path. Depth is computed and
// tested exactly as the per-pixel path does.
template <Addressing A, bool Modulate, bool Blend, bool Depth>
void bilinearSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
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

    // Interpolants of pixels x..x+3, advanced four pixels per step.
    const __m128 lane = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
    const auto start = [&](float value, float step) {
        return _mm_add_ps(_mm_set1_ps(value), _mm_mul_ps(lane, _mm_set1_ps(step)));
    };
    const auto stride = [](float step) { return _mm_set1_ps(4.0f * step); };
    __m128 qs = start(q, qPlane.dx), us = start(base[VARYING_TEXCOORD], texPlanes[0].dx),
           vs = start(base[VARYING_TEXCOORD + 1], texPlanes[1].dx);
    const __m128 qStep = stride(qPlane.dx), uStep = stride(texPlanes[0].dx), vStep = stride(texPlanes[1].dx);
    // Diffuse (0..3) and specular (4..7) colours; specular alpha is never
    // added and stays 0.
    __m128 colors[8], colorStep[8];
    bool colorsVary = qPlane.dx != 0.0f;
    for (int i = 0; i < 8; ++i) {
        const bool used = i < 4 ? Modulate : (specular && i < 7);
        colors[i] = used ? start(base[VARYING_DIFFUSE + i], varyingPlanes[VARYING_DIFFUSE + i].dx) : _mm_setzero_ps();
        colorStep[i] = used ? stride(varyingPlanes[VARYING_DIFFUSE + i].dx) : _mm_setzero_ps();
        colorsVary = colorsVary || (used && varyingPlanes[VARYING_DIFFUSE + i].dx != 0.0f);
    }
    __m128i factorLow = _mm_setzero_si128(), factorHigh = _mm_setzero_si128();
    __m128i specularLow = _mm_setzero_si128(), specularHigh = _mm_setzero_si128();
    const auto colorLanesAt = [&](const __m128* c, __m128 w) {
        __m128 channel[4];
        if (Modulate) {
            for (int i = 0; i < 4; ++i)
                channel[i] = _mm_mul_ps(c[i], w);
            colorLanes(channel, 32767.0f, factorLow, factorHigh);
        }
        if (specular) {
            for (int i = 0; i < 4; ++i)
                channel[i] = _mm_mul_ps(c[4 + i], w);
            colorLanes(channel, 32640.0f, specularLow, specularHigh);
        }
    };
    if (!colorsVary)
        colorLanesAt(colors, _mm_div_ps(_mm_set1_ps(1.0f), qs)); // one colour over the whole span

    // Texel positions: u * size - 1/2 in 24.8 fixed point. Coordinates that
    // are not finite read as 0; huge ones are bounded so that they convert.
    const __m128 scaleU = _mm_set1_ps(level.fwidth * 256.0f), scaleV = _mm_set1_ps(level.fheight * 256.0f);
    const __m128 centre = _mm_set1_ps(128.0f), limit = _mm_set1_ps(1073741824.0f);
    const auto fixedPosition = [&](__m128 c, __m128 scale) {
        const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(c, c), _mm_setzero_ps());
        __m128 f = _mm_sub_ps(_mm_mul_ps(_mm_and_ps(c, finite), scale), centre);
        f = _mm_min_ps(_mm_max_ps(f, _mm_sub_ps(_mm_setzero_ps(), limit)), limit);
        return _mm_cvtps_epi32(f);
    };
    const __m128i fractionMask = _mm_set1_epi32(0xFF), full = _mm_set1_epi32(256);
    const __m128i zero = _mm_setzero_si128(), rounding = _mm_set1_epi16(128);
    const __m128i allOnes = _mm_set1_epi32(-1), stencilByte = _mm_set1_epi32(0xFF);
    const __m128i fill = _mm_set1_epi32(target.colorFormat == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
    const __m128i whiteLevel = _mm_set1_epi16(static_cast<short>(0xFF00));
    // The alpha lanes (the fourth of each pixel's four) when the source alpha
    // is laid over the target's.
    const __m128i sourceAlphaOne = pixels.key.alphaOver ? _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1) : zero;
    const __m128i widthMask = _mm_set1_epi32(level.width - 1), heightMask = _mm_set1_epi32(level.height - 1);
    const __m128i pitch = _mm_set1_epi32(static_cast<int>(level.pitch));

    for (int64_t x = lo; x <= hi; x += 4) {
        const int lanes = static_cast<int>(std::min<int64_t>(4, hi - x + 1));
        const __m128 qNow = qs, uNow = us, vNow = vs;
        qs = _mm_add_ps(qs, qStep);
        us = _mm_add_ps(us, uStep);
        vs = _mm_add_ps(vs, vStep);
        __m128 colorsNow[8];
        for (int i = 0; i < 8; ++i) {
            colorsNow[i] = colors[i];
            if (colorsVary)
                colors[i] = _mm_add_ps(colors[i], colorStep[i]);
        }

        // Depth first: the pixel-by-pixel sums of the per-pixel path, the
        // test on four lanes, and nothing more for a group that fails.
        __m128i pass = allOnes;
        if (Depth) {
            alignas(16) float zs[4];
            for (int k = 0; k < 4; ++k) {
                zs[k] = z;
                z += zStep;
            }
            const __m128i bits = depthBits24x4(_mm_load_ps(zs));
            const __m128i words = loadWords(depth, x, lanes);
            pass = depthPasses4(zFunc, bits, _mm_srli_epi32(words, 8));
            if (lanes < 4)
                pass = _mm_and_si128(pass, _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(lanes)));
            if (_mm_movemask_epi8(pass) == 0)
                continue;
            if (zWrite)
                storeWords(depth, x, lanes,
                           select(pass, _mm_or_si128(_mm_slli_epi32(bits, 8), _mm_and_si128(words, stencilByte)), words));
        }

        const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), qNow);
        const __m128i pu = fixedPosition(_mm_mul_ps(uNow, w), scaleU);
        const __m128i pv = fixedPosition(_mm_mul_ps(vNow, w), scaleV);
        const __m128i ix = _mm_srai_epi32(pu, 8), iy = _mm_srai_epi32(pv, 8);
        TexelRows top, bottom;
        if (A != Addressing::WRAP_POWER_OF_TWO ||
            !gatherWrappedPairs(level, ix, iy, widthMask, heightMask, pitch, top, bottom)) {
            alignas(16) int x0[4], y0[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(x0), ix);
            _mm_store_si128(reinterpret_cast<__m128i*>(y0), iy);
            gatherTexels<A>(level, x0, y0, top, bottom);
        }

        // Weights: 256 - fx and fx across, then (65535 - 256 fy) and 256 fy
        // down, which _mm_mulhi_epu16 turns into 8.8 results.
        const __m128i fx = _mm_and_si128(pu, fractionMask), fy = _mm_and_si128(pv, fractionMask);
        __m128i rightLow, rightHigh, leftLow, leftHigh, downLow, downHigh;
        spreadPerPixel(fx, rightLow, rightHigh);
        spreadPerPixel(_mm_sub_epi32(full, fx), leftLow, leftHigh);
        spreadPerPixel(_mm_slli_epi32(fy, 8), downLow, downHigh);
        const __m128i upLow = _mm_xor_si128(downLow, allOnes), upHigh = _mm_xor_si128(downHigh, allOnes);
        const auto filter = [&](__m128i ta, __m128i tb, __m128i tc, __m128i td, __m128i left, __m128i right,
                                __m128i up, __m128i down) {
            // Each row across in exact 8.8 (the weights sum to 256), then down.
            const __m128i above = _mm_add_epi16(_mm_mullo_epi16(ta, left), _mm_mullo_epi16(tb, right));
            const __m128i below = _mm_add_epi16(_mm_mullo_epi16(tc, left), _mm_mullo_epi16(td, right));
            return _mm_add_epi16(_mm_mulhi_epu16(above, up), _mm_mulhi_epu16(below, down));
        };
        __m128i low = filter(_mm_unpacklo_epi8(top.left, zero), _mm_unpacklo_epi8(top.right, zero),
                             _mm_unpacklo_epi8(bottom.left, zero), _mm_unpacklo_epi8(bottom.right, zero), leftLow,
                             rightLow, upLow, downLow);
        __m128i high = filter(_mm_unpackhi_epi8(top.left, zero), _mm_unpackhi_epi8(top.right, zero),
                              _mm_unpackhi_epi8(bottom.left, zero), _mm_unpackhi_epi8(bottom.right, zero), leftHigh,
                              rightHigh, upHigh, downHigh);

        if (colorsVary && (Modulate || specular))
            colorLanesAt(colorsNow, w);
        if (Modulate) {
            low = _mm_mulhi_epu16(low, factorLow);
            high = _mm_mulhi_epu16(high, factorHigh);
        }
        if (specular) {
            // Added with saturation, then held at 255.0.
            low = _mm_adds_epu16(low, specularLow);
            high = _mm_adds_epu16(high, specularHigh);
            low = _mm_sub_epi16(low, _mm_subs_epu16(low, whiteLevel));
            high = _mm_sub_epi16(high, _mm_subs_epu16(high, whiteLevel));
        }

        const __m128i old = (Blend || Depth) ? loadWords(color, x, lanes) : zero;
        if (Blend) {
            const __m128i dst = _mm_or_si128(old, fill);
            // Source alpha over every channel of its pixel, as a factor in
            // 0..65535, and the destination bytes as 8.8 values.
            // Laid over the target's alpha, the source alpha has the factor 1.
            const auto blendPixels = [&](__m128i src, __m128i destination) {
                __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(src, 0xFF), 0xFF);
                alpha = _mm_add_epi16(alpha, _mm_srli_epi16(alpha, 8));
                return _mm_add_epi16(_mm_mulhi_epu16(src, _mm_or_si128(alpha, sourceAlphaOne)),
                                     _mm_mulhi_epu16(destination, _mm_xor_si128(alpha, allOnes)));
            };
            low = blendPixels(low, _mm_unpacklo_epi8(zero, dst));
            high = blendPixels(high, _mm_unpackhi_epi8(zero, dst));
        }

        // 8.8 to bytes, rounded to nearest.
        low = _mm_srli_epi16(_mm_adds_epu16(low, rounding), 8);
        high = _mm_srli_epi16(_mm_adds_epu16(high, rounding), 8);
        __m128i out = _mm_or_si128(_mm_packus_epi16(low, high), fill);
        if (Depth)
            out = select(pass, out, old);
        storeWords(color, x, lanes, out);
    }
}

template <Addressing A>
BilinearSpanRoutine fourPixelSpanFor(bool modulate, bool blend, bool depth)
{
    static const BilinearSpanRoutine routines[8] = {
        bilinearSpan<A, false, false, false>, bilinearSpan<A, false, false, true>,
        bilinearSpan<A, false, true, false>,  bilinearSpan<A, false, true, true>,
        bilinearSpan<A, true, false, false>,  bilinearSpan<A, true, false, true>,
        bilinearSpan<A, true, true, false>,   bilinearSpan<A, true, true, true>,
    };
    return routines[(modulate ? 4 : 0) + (blend ? 2 : 0) + (depth ? 1 : 0)];
}

BilinearSpanRoutine fourPixelSpan(Addressing addressing, bool modulate, bool blend, bool depth)
{
    switch (addressing) {
    case Addressing::WRAP_POWER_OF_TWO: return fourPixelSpanFor<Addressing::WRAP_POWER_OF_TWO>(modulate, blend, depth);
    case Addressing::WRAP: return fourPixelSpanFor<Addressing::WRAP>(modulate, blend, depth);
    default: return fourPixelSpanFor<Addressing::CLAMP>(modulate, blend, depth);
    }
}

} // namespace

BilinearSpanWidth widestBilinearSpan()
{
#if defined(__x86_64__)
    static const BilinearSpanWidth widest = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? BilinearSpanWidth::EIGHT : BilinearSpanWidth::FOUR;
    }();
    return widest;
#else
    return BilinearSpanWidth::FOUR;
#endif
}

void bilinearTexturedSpanOfWidth(BilinearSpanWidth width, const PixelContext& pixels, const Plane* varyingPlanes,
                                 const Plane& qPlane, int64_t lo, int64_t hi, int y, float q, float z, float zStep,
                                 const float* base)
{
    const SamplerSetup& sampler = pixels.samplers[0];
    const SamplerLevel& level = sampler.levels[0][sampler.firstLevel];
    const bool modulate = pixels.combiner.shortcut == COMBINE_MODULATE_TEXTURE;
    const bool blend = pixels.key.blend;
    const bool depth = pixels.key.zEnable;
    if (depth && pixels.key.zFunc == D3DCMP_NEVER)
        return;
    Addressing addressing = Addressing::WRAP;
    if (sampler.bilinearArgb == 2)
        addressing = Addressing::CLAMP;
    else if ((level.width & (level.width - 1)) == 0 && (level.height & (level.height - 1)) == 0)
        addressing = Addressing::WRAP_POWER_OF_TWO;
#if defined(__x86_64__)
    const BilinearSpanRoutine routine = width == BilinearSpanWidth::EIGHT
                                            ? eightPixelBilinearSpan(addressing, modulate, blend, depth)
                                            : fourPixelSpan(addressing, modulate, blend, depth);
#else
    (void)width;
    const BilinearSpanRoutine routine = fourPixelSpan(addressing, modulate, blend, depth);
#endif
    routine(pixels, varyingPlanes, qPlane, lo, hi, y, q, z, zStep, base);
}

void bilinearTexturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo,
                          int64_t hi, int y, float q, float z, float zStep, const float* base)
{
    bilinearTexturedSpanOfWidth(widestBilinearSpan(), pixels, varyingPlanes, qPlane, lo, hi, y, q, z, zStep, base);
}

} // namespace pipeline
} // namespace swd3d9

#endif
