#include "pipeline/TexturedSpan.h"

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

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
                  int y, float q, float z, float zStep, const float* base)
{
    const TargetView& target = pixels.target;
    const PixelKey& key = pixels.key;
    uint32_t* color = reinterpret_cast<uint32_t*>(target.color->pixel(0, static_cast<UINT>(y)));
    uint32_t* depth = key.zEnable ? reinterpret_cast<uint32_t*>(target.depth->pixel(0, static_cast<UINT>(y))) : nullptr;
    const SamplerSetup& sampler = pixels.samplers[0];
    const bool modulate = pixels.combiner.shortcut == COMBINE_MODULATE_TEXTURE;
    const bool blend = key.blend;
    const bool alphaOver = key.alphaOver;
    const bool specular = key.specularAdd;
    const bool opaqueTarget = target.colorFormat == D3DFMT_X8R8G8B8;
    const TexCoordDerivatives none = {0, 0, 0, 0, 0, 0};
    const Plane* texPlanes = varyingPlanes + VARYING_TEXCOORD;
    float tu = base[VARYING_TEXCOORD], tv = base[VARYING_TEXCOORD + 1], tw = base[VARYING_TEXCOORD + 2];
#if defined(__SSE2__)
    __m128 diffuse = _mm_loadu_ps(base + VARYING_DIFFUSE);
    const __m128 diffuseStep = _mm_setr_ps(varyingPlanes[0].dx, varyingPlanes[1].dx, varyingPlanes[2].dx,
                                           varyingPlanes[3].dx);
    __m128 specularColor = _mm_loadu_ps(base + VARYING_SPECULAR);
    const __m128 specularStep = _mm_setr_ps(varyingPlanes[4].dx, varyingPlanes[5].dx, varyingPlanes[6].dx, 0.0f);
    const __m128 rgbLanes = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f), unorm = _mm_set1_ps(1.0f / 255.0f);
    const __m128i zeroI = _mm_setzero_si128();
    const __m128 alphaOne = _mm_castsi128_ps(_mm_setr_epi32(0, 0, 0, -1));
#else
    float diffuse[4] = {base[0], base[1], base[2], base[3]};
    float specularColor[3] = {base[4], base[5], base[6]};
#endif
    for (int64_t x = lo; x <= hi; ++x) {
        if (x != lo) {
            q += qPlane.dx;
            tu += texPlanes[0].dx;
            tv += texPlanes[1].dx;
            tw += texPlanes[2].dx;
            z += zStep;
#if defined(__SSE2__)
            diffuse = _mm_add_ps(diffuse, diffuseStep);
            specularColor = _mm_add_ps(specularColor, specularStep);
#else
            for (int i = 0; i < 4; ++i)
                diffuse[i] += varyingPlanes[i].dx;
            for (int i = 0; i < 3; ++i)
                specularColor[i] += varyingPlanes[4 + i].dx;
#endif
        }
        if (depth) {
            const uint32_t bits = depthBits24(z);
            const uint32_t word = depth[x];
            if (!compareFunction(key.zFunc, bits, word >> 8))
                continue;
            if (key.zWrite)
                depth[x] = (bits << 8) | (word & 0xFF);
        }
        const float w = 1.0f / q;
        alignas(16) float texel[4];
        sample(sampler, tu * w, tv * w, tw * w, none, texel);
#if defined(__SSE2__)
        __m128 c = _mm_load_ps(texel);
        if (modulate)
            c = _mm_mul_ps(c, _mm_mul_ps(diffuse, _mm_set1_ps(w)));
        c = _mm_min_ps(_mm_max_ps(c, zero), one);
        if (specular) {
            // Specular added after the stage, to red, green and blue.
            const __m128 lit = _mm_min_ps(_mm_max_ps(_mm_add_ps(c, _mm_mul_ps(specularColor, _mm_set1_ps(w))), zero), one);
            c = _mm_or_ps(_mm_and_ps(rgbLanes, lit), _mm_andnot_ps(rgbLanes, c));
        }
        if (blend) {
            // Destination B, G, R, A bytes widened and reordered to R, G, B, A.
            const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(color[x]));
            const __m128i lanes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zeroI), zeroI);
            __m128 dst = _mm_mul_ps(_mm_cvtepi32_ps(lanes), unorm);
            dst = _mm_shuffle_ps(dst, dst, _MM_SHUFFLE(3, 0, 1, 2));
            if (opaqueTarget)
                dst = _mm_or_ps(_mm_andnot_ps(alphaOne, dst), _mm_and_ps(alphaOne, one));
            const __m128 sa = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 3, 3));
            // Laid over the target's alpha, the source alpha has the factor 1.
            const __m128 sourceFactor = alphaOver ? _mm_or_ps(_mm_andnot_ps(alphaOne, sa), _mm_and_ps(alphaOne, one)) : sa;
            c = _mm_add_ps(_mm_mul_ps(c, sourceFactor), _mm_mul_ps(dst, _mm_sub_ps(one, sa)));
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
        if (specular) {
            for (int i = 0; i < 3; ++i) {
                const float value = c[i] + specularColor[i] * w;
                c[i] = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
            }
        }
        if (blend) {
            const uint32_t old = color[x];
            const float dst[4] = {((old >> 16) & 0xFF) * (1.0f / 255.0f), ((old >> 8) & 0xFF) * (1.0f / 255.0f),
                                  (old & 0xFF) * (1.0f / 255.0f),
                                  opaqueTarget ? 1.0f : (old >> 24) * (1.0f / 255.0f)};
            const float sa = c[3];
            for (int i = 0; i < 4; ++i) {
                const float sourceFactor = alphaOver && i == 3 ? 1.0f : sa;
                const float value = c[i] * sourceFactor + dst[i] * (1.0f - sa);
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

} // namespace pipeline
} // namespace swd3d9
