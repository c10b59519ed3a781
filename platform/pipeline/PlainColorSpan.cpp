#include "pipeline/PlainColorSpan.h"

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

namespace {

// The interpolants of the span at one pixel. Each pixel's values are the
// previous pixel's plus the step, one addition at a time, exactly as the
// general path steps them, so that both round alike.
struct SpanWalk {
    float q, z;
#if defined(__SSE2__)
    __m128 diffuse, specular; // R, G, B, A
    __m128 diffuseStep, specularStep;
#else
    float a[8];
    float step[8];
#endif
    float qStep, zStep;

    void next()
    {
        q += qStep;
        z += zStep;
#if defined(__SSE2__)
        diffuse = _mm_add_ps(diffuse, diffuseStep);
        specular = _mm_add_ps(specular, specularStep);
#else
        for (int i = 0; i < 8; ++i)
            a[i] += step[i];
#endif
    }
};

#if !defined(__SSE2__)
uint32_t packChannel(float v, int shift)
{
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return static_cast<uint32_t>(v * 255.0f + 0.5f) << shift;
}
#endif

// One pixel: the general path's depth rounding and test, colour
// saturation and rounding, without its per-pixel choices.
template <int Z_FUNC, bool SPECULAR>
void drawPixel(const SpanWalk& s, uint32_t* color, uint32_t* depth, bool zWrite, uint32_t alphaFill)
{
    if (depth) {
        const uint32_t bits = depthBits24(s.z);
        const uint32_t word = *depth;
        if (!compareFunction(static_cast<uint8_t>(Z_FUNC), bits, word >> 8))
            return;
        if (zWrite)
            *depth = (bits << 8) | (word & 0xFF);
    }
    const float w = 1.0f / s.q;
#if defined(__SSE2__)
    // Diffuse and specular RGBA each in one register: the same per-channel
    // operations as the scalar form, four channels at a time.
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 wv = _mm_set1_ps(w);
    __m128 c = _mm_mul_ps(s.diffuse, wv);
    if (SPECULAR) {
        const __m128 rgbLanes = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
        const __m128 lit = _mm_min_ps(_mm_add_ps(_mm_max_ps(c, zero), _mm_mul_ps(s.specular, wv)), one);
        c = _mm_or_ps(_mm_and_ps(rgbLanes, lit), _mm_andnot_ps(rgbLanes, c));
    }
    // R, G, B, A rounded to bytes, then to the B, G, R, A bytes of the word.
    __m128i v = _mm_cvttps_epi32(
        _mm_add_ps(_mm_mul_ps(_mm_min_ps(_mm_max_ps(c, zero), one), _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 0, 1, 2));
    v = _mm_packs_epi32(v, v);
    v = _mm_packus_epi16(v, v);
    *color = static_cast<uint32_t>(_mm_cvtsi128_si32(v)) | alphaFill;
#else
    const float* a = s.a;
    float r = a[0] * w, g = a[1] * w, b = a[2] * w;
    if (SPECULAR) {
        r = std::min(1.0f, std::max(0.0f, r) + a[4] * w);
        g = std::min(1.0f, std::max(0.0f, g) + a[5] * w);
        b = std::min(1.0f, std::max(0.0f, b) + a[6] * w);
    }
    *color = packChannel(a[3] * w, 24) | packChannel(r, 16) | packChannel(g, 8) | packChannel(b, 0) | alphaFill;
#endif
}

// The span of one row: the interpolants at its first pixel from the
// triangle's planes (each evaluated as Plane::at does, a lane at a time),
// then every pixel in turn.
template <int Z_FUNC, bool SPECULAR>
void drawRow(const PlainTriangle& t, int64_t lo, int64_t hi, int y, float fx, float fy)
{
    uint32_t* color = reinterpret_cast<uint32_t*>(t.color + static_cast<size_t>(y) * t.colorPitch);
    uint32_t* depth = t.depth ? reinterpret_cast<uint32_t*>(t.depth + static_cast<size_t>(y) * t.depthPitch) : nullptr;
#if defined(__SSE2__)
    // The next row of a triangle usually starts near this one's: its first
    // words are loaded while this row is drawn (rows a pitch apart fall into
    // the same first-level cache sets, so they are seldom still there).
    if (static_cast<UINT>(y) + 1 < t.colorHeight) {
        _mm_prefetch(reinterpret_cast<const char*>(color + lo) + t.colorPitch, _MM_HINT_T0);
        if (depth && static_cast<UINT>(y) + 1 < t.depthHeight)
            _mm_prefetch(reinterpret_cast<const char*>(depth + lo) + t.depthPitch, _MM_HINT_T0);
    }
#endif
    SpanWalk s;
    s.q = t.qPlane.at(fx, fy);
    s.z = t.zPlane.at(fx, fy) + t.depthOffset;
    s.qStep = t.qPlane.dx;
    s.zStep = t.zPlane.dx;
#if defined(__SSE2__)
    const __m128 x = _mm_set1_ps(fx), yv = _mm_set1_ps(fy);
    s.diffuse = _mm_add_ps(_mm_add_ps(t.diffuseBase, _mm_mul_ps(t.diffuseDx, x)), _mm_mul_ps(t.diffuseDy, yv));
    s.specular = _mm_add_ps(_mm_add_ps(t.specularBase, _mm_mul_ps(t.specularDx, x)), _mm_mul_ps(t.specularDy, yv));
    s.diffuseStep = t.diffuseDx;
    s.specularStep = t.specularDx;
#else
    for (int i = 0; i < 8; ++i) {
        s.a[i] = t.varyingPlanes[i].at(fx, fy);
        s.step[i] = t.varyingPlanes[i].dx;
    }
#endif
    for (int64_t px = lo; px <= hi; ++px) {
        drawPixel<Z_FUNC, SPECULAR>(s, color + px, depth ? depth + px : nullptr, t.zWrite, t.alphaFill);
        s.next();
    }
}

using RowFunction = void (*)(const PlainTriangle&, int64_t, int64_t, int, float, float);

template <bool SPECULAR>
RowFunction rowFunction(int zFunc)
{
    switch (zFunc) {
    case D3DCMP_NEVER: return drawRow<D3DCMP_NEVER, SPECULAR>;
    case D3DCMP_LESS: return drawRow<D3DCMP_LESS, SPECULAR>;
    case D3DCMP_EQUAL: return drawRow<D3DCMP_EQUAL, SPECULAR>;
    case D3DCMP_LESSEQUAL: return drawRow<D3DCMP_LESSEQUAL, SPECULAR>;
    case D3DCMP_GREATER: return drawRow<D3DCMP_GREATER, SPECULAR>;
    case D3DCMP_NOTEQUAL: return drawRow<D3DCMP_NOTEQUAL, SPECULAR>;
    case D3DCMP_GREATEREQUAL: return drawRow<D3DCMP_GREATEREQUAL, SPECULAR>;
    default: return drawRow<D3DCMP_ALWAYS, SPECULAR>;
    }
}

} // namespace

void preparePlainTriangle(const PixelContext& pixels, const Plane* planes, float depthOffset, PlainTriangle& t)
{
    const TargetView& target = pixels.target;
    const PixelKey& key = pixels.key;
    t.color = target.color->pixel(0, 0);
    t.colorPitch = target.color->pitch();
    t.colorHeight = target.color->height();
    t.depth = key.zEnable ? target.depth->pixel(0, 0) : nullptr;
    t.depthPitch = key.zEnable ? target.depth->pitch() : 0;
    t.depthHeight = key.zEnable ? target.depth->height() : 0;
    t.zWrite = key.zWrite;
    t.alphaFill = target.colorFormat == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    t.zPlane = planes[0];
    t.qPlane = planes[1];
    t.depthOffset = depthOffset;
    const Plane* v = planes + 2;
#if defined(__SSE2__)
    t.diffuseBase = _mm_setr_ps(v[0].base, v[1].base, v[2].base, v[3].base);
    t.diffuseDx = _mm_setr_ps(v[0].dx, v[1].dx, v[2].dx, v[3].dx);
    t.diffuseDy = _mm_setr_ps(v[0].dy, v[1].dy, v[2].dy, v[3].dy);
    t.specularBase = _mm_setr_ps(v[4].base, v[5].base, v[6].base, v[7].base);
    t.specularDx = _mm_setr_ps(v[4].dx, v[5].dx, v[6].dx, v[7].dx);
    t.specularDy = _mm_setr_ps(v[4].dy, v[5].dy, v[6].dy, v[7].dy);
#else
    for (int i = 0; i < 8; ++i)
        t.varyingPlanes[i] = v[i];
#endif
    // Without depth testing every pixel passes.
    const int zFunc = key.zEnable ? static_cast<int>(key.zFunc) : static_cast<int>(D3DCMP_ALWAYS);
    t.drawRow = key.specularAdd ? rowFunction<true>(zFunc) : rowFunction<false>(zFunc);
}

} // namespace pipeline
} // namespace swd3d9
