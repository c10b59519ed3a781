#include "pipeline/PlainColorSpan.h"

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

// The plain-colour span: the same arithmetic as the general path (depth
// rounding, colour saturation and rounding), without its per-pixel choices.
void plainColorSpan(const PixelContext& pixels, const Plane* varyingPlanes, const Plane& qPlane, int64_t lo,
                    int64_t hi, int y, float q, float z, const float* base, float zStep)
{
    const TargetView& target = pixels.target;
    const PixelKey& key = pixels.key;
    uint32_t* color = reinterpret_cast<uint32_t*>(target.color->pixel(0, static_cast<UINT>(y)));
    uint32_t* depth = key.zEnable ? reinterpret_cast<uint32_t*>(target.depth->pixel(0, static_cast<UINT>(y))) : nullptr;
    const bool specular = key.specularAdd;
    const uint32_t alphaFill = target.colorFormat == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
#if defined(__SSE2__)
    // Diffuse and specular RGBA each in one register: the same per-channel
    // operations as the scalar form below, four channels at a time.
    __m128 diffuse = _mm_loadu_ps(base + VARYING_DIFFUSE);
    __m128 specularColor = _mm_loadu_ps(base + VARYING_SPECULAR);
    const __m128 diffuseStep = _mm_setr_ps(varyingPlanes[0].dx, varyingPlanes[1].dx, varyingPlanes[2].dx,
                                           varyingPlanes[3].dx);
    const __m128 specularStep = _mm_setr_ps(varyingPlanes[4].dx, varyingPlanes[5].dx, varyingPlanes[6].dx,
                                            varyingPlanes[7].dx);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
    const __m128 rgbLanes = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
#else
    float a[8];
    for (int i = 0; i < 8; ++i)
        a[i] = base[i];
#endif
    for (int64_t x = lo; x <= hi; ++x) {
        if (x != lo) {
            q += qPlane.dx;
            z += zStep;
#if defined(__SSE2__)
            diffuse = _mm_add_ps(diffuse, diffuseStep);
            specularColor = _mm_add_ps(specularColor, specularStep);
#else
            for (int i = 0; i < 8; ++i)
                a[i] += varyingPlanes[i].dx;
#endif
        }
        if (depth) {
            const float clamped = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            const uint32_t bits = static_cast<uint32_t>(clamped * 16777215.0f + 0.5f);
            const uint32_t word = depth[x];
            const uint32_t stored = word >> 8;
            bool pass;
            switch (key.zFunc) {
            case D3DCMP_NEVER: pass = false; break;
            case D3DCMP_LESS: pass = bits < stored; break;
            case D3DCMP_EQUAL: pass = bits == stored; break;
            case D3DCMP_LESSEQUAL: pass = bits <= stored; break;
            case D3DCMP_GREATER: pass = bits > stored; break;
            case D3DCMP_NOTEQUAL: pass = bits != stored; break;
            case D3DCMP_GREATEREQUAL: pass = bits >= stored; break;
            default: pass = true; break;
            }
            if (!pass)
                continue;
            if (key.zWrite)
                depth[x] = (bits << 8) | (word & 0xFF);
        }
        const float w = 1.0f / q;
#if defined(__SSE2__)
        const __m128 wv = _mm_set1_ps(w);
        __m128 c = _mm_mul_ps(diffuse, wv);
        if (specular) {
            const __m128 lit = _mm_min_ps(_mm_add_ps(_mm_max_ps(c, zero), _mm_mul_ps(specularColor, wv)), one);
            c = _mm_or_ps(_mm_and_ps(rgbLanes, lit), _mm_andnot_ps(rgbLanes, c));
        }
        // R, G, B, A rounded to bytes, then to the B, G, R, A bytes of the word.
        __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_min_ps(_mm_max_ps(c, zero), one), scale), half));
        v = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 0, 1, 2));
        v = _mm_packs_epi32(v, v);
        v = _mm_packus_epi16(v, v);
        color[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(v)) | alphaFill;
#else
        float r = a[0] * w, g = a[1] * w, b = a[2] * w;
        if (specular) {
            r = std::min(1.0f, std::max(0.0f, r) + a[4] * w);
            g = std::min(1.0f, std::max(0.0f, g) + a[5] * w);
            b = std::min(1.0f, std::max(0.0f, b) + a[6] * w);
        }
        color[x] = packChannel(a[3] * w, 24) | packChannel(r, 16) | packChannel(g, 8) | packChannel(b, 0) | alphaFill;
#endif
    }
}

} // namespace pipeline
} // namespace swd3d9
