#include "pipeline/TexturedSpan.h"

#include "d3d9/PixelBuffer.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

namespace {

#if !defined(__SSE2__)
uint32_t packChannel(float v, int shift)
{
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return static_cast<uint32_t>(v * 255.0f + 0.5f) << shift;
}
#endif

} // namespace

void texturedSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                  int y, float q, const float* base)
{
    const TargetView& target = pixels.target;
    uint32_t* color = reinterpret_cast<uint32_t*>(target.color->pixel(0, static_cast<UINT>(y)));
    const SamplerSetup& sampler = pixels.samplers[0];
    const bool modulate = pixels.combiner.shortcut == COMBINE_MODULATE_TEXTURE;
    const bool blend = pixels.key.blend;
    const bool opaqueTarget = target.colorFormat == D3DFMT_X8R8G8B8;
    const TexCoordDerivatives none = {0, 0, 0, 0, 0, 0};
    const Plane* texPlanes = varyingPlanes + VARYING_TEXCOORD;
    float tu = base[VARYING_TEXCOORD], tv = base[VARYING_TEXCOORD + 1], tw = base[VARYING_TEXCOORD + 2];
#if defined(__SSE2__)
    __m128 diffuse = _mm_loadu_ps(base + VARYING_DIFFUSE);
    const __m128 diffuseStep = _mm_setr_ps(varyingPlanes[0].dx, varyingPlanes[1].dx, varyingPlanes[2].dx,
                                           varyingPlanes[3].dx);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f), unorm = _mm_set1_ps(1.0f / 255.0f);
    const __m128i zeroI = _mm_setzero_si128();
    const __m128 alphaOne = _mm_castsi128_ps(_mm_setr_epi32(0, 0, 0, -1));
#else
    float diffuse[4] = {base[0], base[1], base[2], base[3]};
#endif
    for (int64_t x = lo; x <= hi; ++x) {
        if (x != lo) {
            q += qPlane.dx;
            tu += texPlanes[0].dx;
            tv += texPlanes[1].dx;
            tw += texPlanes[2].dx;
#if defined(__SSE2__)
            diffuse = _mm_add_ps(diffuse, diffuseStep);
#else
            for (int i = 0; i < 4; ++i)
                diffuse[i] += varyingPlanes[i].dx;
#endif
        }
        const float w = 1.0f / q;
        alignas(16) float texel[4];
        sample(sampler, tu * w, tv * w, tw * w, none, texel);
#if defined(__SSE2__)
        __m128 c = _mm_load_ps(texel);
        if (modulate)
            c = _mm_mul_ps(c, _mm_mul_ps(diffuse, _mm_set1_ps(w)));
        c = _mm_min_ps(_mm_max_ps(c, zero), one);
        if (blend) {
            // Destination B, G, R, A bytes widened and reordered to R, G, B, A.
            const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(color[x]));
            const __m128i lanes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zeroI), zeroI);
            __m128 dst = _mm_mul_ps(_mm_cvtepi32_ps(lanes), unorm);
            dst = _mm_shuffle_ps(dst, dst, _MM_SHUFFLE(3, 0, 1, 2));
            if (opaqueTarget)
                dst = _mm_or_ps(_mm_andnot_ps(alphaOne, dst), _mm_and_ps(alphaOne, one));
            const __m128 sa = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 3, 3));
            c = _mm_add_ps(_mm_mul_ps(c, sa), _mm_mul_ps(dst, _mm_sub_ps(one, sa)));
            c = _mm_min_ps(_mm_max_ps(c, zero), one);
        }
        // R, G, B, A to the B, G, R, A bytes of the stored word.
        __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(c, scale), half));
        v = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 0, 1, 2));
        v = _mm_packs_epi32(v, v);
        v = _mm_packus_epi16(v, v);
        uint32_t word = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
#else
        float c[4];
        for (int i = 0; i < 4; ++i) {
            float value = modulate ? texel[i] * (diffuse[i] * w) : texel[i];
            c[i] = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
        }
        if (blend) {
            const uint32_t old = color[x];
            const float dst[4] = {((old >> 16) & 0xFF) * (1.0f / 255.0f), ((old >> 8) & 0xFF) * (1.0f / 255.0f),
                                  (old & 0xFF) * (1.0f / 255.0f),
                                  opaqueTarget ? 1.0f : (old >> 24) * (1.0f / 255.0f)};
            const float sa = c[3];
            for (int i = 0; i < 4; ++i) {
                const float value = c[i] * sa + dst[i] * (1.0f - sa);
                c[i] = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
            }
        }
        uint32_t word = packChannel(c[3], 24) | packChannel(c[0], 16) | packChannel(c[1], 8) | packChannel(c[2], 0);
#endif
        if (opaqueTarget)
            word |= 0xFF000000u;
        color[x] = word;
    }
}

#if defined(__SSE2__)
// The textured span four pixels at a time, for samplers that sample four
// coordinates at once. The interpolants still advance pixel by pixel (the
// same additions as the general path), then every per-pixel operation runs
// on four lanes, channel by channel.
void texturedSpan4(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo, int64_t hi,
                   int y, float q, const float* base)
{
    const TargetView& target = pixels.target;
    uint32_t* color = reinterpret_cast<uint32_t*>(target.color->pixel(0, static_cast<UINT>(y)));
    const SamplerSetup& sampler = pixels.samplers[0];
    const bool modulate = pixels.combiner.shortcut == COMBINE_MODULATE_TEXTURE;
    const bool blend = pixels.key.blend;
    const bool opaqueTarget = target.colorFormat == D3DFMT_X8R8G8B8;
    const Plane* texPlanes = varyingPlanes + VARYING_TEXCOORD;
    float tu = base[VARYING_TEXCOORD], tv = base[VARYING_TEXCOORD + 1];
    __m128 diffuse = _mm_loadu_ps(base + VARYING_DIFFUSE);
    const __m128 diffuseStep = _mm_setr_ps(varyingPlanes[0].dx, varyingPlanes[1].dx, varyingPlanes[2].dx,
                                           varyingPlanes[3].dx);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f), unorm = _mm_set1_ps(1.0f / 255.0f);
    const __m128i byte = _mm_set1_epi32(0xFF);
    auto saturate = [&](__m128 v) { return _mm_min_ps(_mm_max_ps(v, zero), one); };
    for (int64_t x = lo; x <= hi; x += 4) {
        const int lanes = static_cast<int>(std::min<int64_t>(4, hi - x + 1));
        alignas(16) float qs[4], us[4], vs[4];
        __m128 ds[4];
        for (int k = 0; k < 4; ++k) {
            if (x + k != lo) {
                q += qPlane.dx;
                tu += texPlanes[0].dx;
                tv += texPlanes[1].dx;
                diffuse = _mm_add_ps(diffuse, diffuseStep);
            }
            qs[k] = q, us[k] = tu, vs[k] = tv;
            ds[k] = diffuse;
        }
        // Pixel-major diffuse colours to one register per channel.
        _MM_TRANSPOSE4_PS(ds[0], ds[1], ds[2], ds[3]);
        const __m128 w = _mm_div_ps(one, _mm_load_ps(qs));
        alignas(16) float u[4], v[4], texel[4][4];
        _mm_store_ps(u, _mm_mul_ps(_mm_load_ps(us), w));
        _mm_store_ps(v, _mm_mul_ps(_mm_load_ps(vs), w));
        sampleBilinear4(sampler, u, v, texel);
        __m128 c[4];
        for (int i = 0; i < 4; ++i) {
            c[i] = _mm_loadu_ps(texel[i]);
            if (modulate)
                c[i] = _mm_mul_ps(c[i], _mm_mul_ps(ds[i], w));
            c[i] = saturate(c[i]);
        }
        if (blend) {
            alignas(16) uint32_t old[4] = {0, 0, 0, 0};
            for (int k = 0; k < lanes; ++k)
                old[k] = color[x + k];
            const __m128i words = _mm_load_si128(reinterpret_cast<const __m128i*>(old));
            const __m128 dst[4] = {
                _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(words, 16), byte)), unorm),
                _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(words, 8), byte)), unorm),
                _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(words, byte)), unorm),
                opaqueTarget ? one : _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(words, 24)), unorm)};
            const __m128 sa = c[3];
            const __m128 da = _mm_sub_ps(one, sa);
            for (int i = 0; i < 4; ++i)
                c[i] = saturate(_mm_add_ps(_mm_mul_ps(c[i], sa), _mm_mul_ps(dst[i], da)));
        }
        auto toByte = [&](__m128 v) { return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale), half)); };
        __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(toByte(c[3]), 24), _mm_slli_epi32(toByte(c[0]), 16)),
                                   _mm_or_si128(_mm_slli_epi32(toByte(c[1]), 8), toByte(c[2])));
        if (opaqueTarget)
            out = _mm_or_si128(out, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
        if (lanes == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(color + x), out);
        } else {
            alignas(16) uint32_t words[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(words), out);
            for (int k = 0; k < lanes; ++k)
                color[x + k] = words[k];
        }
    }
}
#endif

} // namespace pipeline
} // namespace swd3d9
