#include "pipeline/Rasterizer.h"

#include "d3d9/PixelBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

namespace {

int64_t floorDivide(int64_t a, int64_t b)
{
    // b > 0
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Whether a sample is certainly hidden by the depth already stored: lets
// draws without stencil or alpha test skip interpolation for hidden samples.
bool hiddenByDepth(const PixelContext& pixels, int x, int y, UINT sample, float z)
{
    const TargetView& target = pixels.target;
    const uint8_t* p = target.depth->pixel(static_cast<UINT>(x), static_cast<UINT>(y), 0,
                                           sample < target.depth->samples() ? sample : 0);
    const float clamped = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
    uint32_t stored, bits;
    if (target.depth->bytesPerPixel() == 2) {
        uint16_t w16;
        std::memcpy(&w16, p, 2);
        stored = w16;
        bits = static_cast<uint32_t>(clamped * 65535.0f + 0.5f);
    } else {
        std::memcpy(&stored, p, 4);
        stored >>= 8;
        bits = static_cast<uint32_t>(clamped * 16777215.0f + 0.5f);
    }
    switch (pixels.key.zFunc) {
    case D3DCMP_LESS:
        return !(bits < stored);
    case D3DCMP_LESSEQUAL:
        return !(bits <= stored);
    case D3DCMP_GREATER:
        return !(bits > stored);
    case D3DCMP_GREATEREQUAL:
        return !(bits >= stored);
    default:
        return false;
    }
}

#if !defined(__SSE2__)
uint32_t packChannel(float v, int shift)
{
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return static_cast<uint32_t>(v * 255.0f + 0.5f) << shift;
}
#endif

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

void rasterizeTriangle(const PixelContext& pixels, const Triangle& t, const Plane* planes, int x0, int y0, int x1,
                       int y1, UINT sample, int offsetX, int offsetY)
{
    const int varyingCount = pixels.varyingCount;
    const Plane& zPlane = planes[0];
    const Plane& qPlane = planes[1];
    const Plane* varyingPlanes = planes + 2;
    const bool textured = pixels.key.needsDerivatives;
    const bool earlyDepth = pixels.key.zEnable && !pixels.key.stencil && !pixels.key.alphaTest;
    float varyings[MAX_VARYINGS];
    float base[MAX_VARYINGS];
    float derivativesX[4 * MAX_STAGES];
    float derivativesY[4 * MAX_STAGES];
    PixelInputs in;
    in.varyings = varyings;
    in.derivativesX = textured ? derivativesX : nullptr;
    in.derivativesY = textured ? derivativesY : nullptr;
    in.frontFace = t.frontFace;
    const float sampleDx = offsetX / float(SUBPIXEL_ONE);
    const float sampleDy = offsetY / float(SUBPIXEL_ONE);
    for (int y = y0; y <= y1; ++y) {
        // The covered span of this row: each edge bounds x from one side.
        const int64_t py = static_cast<int64_t>(y) * SUBPIXEL_ONE + offsetY;
        int64_t lo = x0, hi = x1;
        for (int e = 0; e < 3; ++e) {
            const int64_t slope = t.edgeA[e] * SUBPIXEL_ONE;
            const int64_t constant = t.edgeA[e] * offsetX + t.edgeB[e] * py + t.edgeC[e];
            if (slope > 0)
                lo = std::max(lo, -floorDivide(constant, slope));
            else if (slope < 0)
                hi = std::min(hi, floorDivide(constant, -slope));
            else if (constant < 0)
                hi = lo - 1;
        }
        if (lo > hi)
            continue;
        const float fy = static_cast<float>(y) + sampleDy;
        float fx = static_cast<float>(lo) + sampleDx;
        float q = qPlane.at(fx, fy);
        float z = zPlane.at(fx, fy) + t.depthOffset;
        for (int i = 0; i < varyingCount; ++i)
            base[i] = varyingPlanes[i].at(fx, fy);
        if (pixels.key.plainColorSpan) {
            plainColorSpan(pixels, varyingPlanes, qPlane, lo, hi, y, q, z, base, zPlane.dx);
            continue;
        }
        if (pixels.key.texturedSpan) {
#if defined(__SSE2__)
            if (pixels.samplers[0].bilinearArgb) {
                texturedSpan4(pixels, varyingPlanes, qPlane, lo, hi, y, q, base);
                continue;
            }
#endif
            texturedSpan(pixels, varyingPlanes, qPlane, lo, hi, y, q, base);
            continue;
        }
        for (int64_t x = lo; x <= hi; ++x) {
            if (x != lo) {
                q += qPlane.dx;
                z += zPlane.dx;
                for (int i = 0; i < varyingCount; ++i)
                    base[i] += varyingPlanes[i].dx;
            }
            if (earlyDepth && hiddenByDepth(pixels, static_cast<int>(x), y, sample, z))
                continue;
            const float w = 1.0f / q;
            in.z = z;
            in.invW = q;
            for (int i = 0; i < varyingCount; ++i)
                varyings[i] = base[i] * w;
            if (textured) {
                // d(a/q)/dx = (d(a q)/dx - a dq/dx) / q, exact for the
                // perspective-correct attribute.
                for (int i = VARYING_TEXCOORD; i < varyingCount; ++i) {
                    const int k = i - VARYING_TEXCOORD;
                    derivativesX[k] = (varyingPlanes[i].dx - varyings[i] * qPlane.dx) * w;
                    derivativesY[k] = (varyingPlanes[i].dy - varyings[i] * qPlane.dy) * w;
                }
            }
            processPixel(pixels, static_cast<int>(x), y, sample, in);
        }
    }
}

void shadeLinePixel(const PixelContext& pixels, const LineSegment& s, const float* ends, float t, int x, int y,
                    UINT sample)
{
    const int varyingCount = pixels.varyingCount;
    t = std::min(1.0f, std::max(0.0f, t));
    const float q = s.invW[0] + (s.invW[1] - s.invW[0]) * t;
    const float w = q != 0.0f ? 1.0f / q : 0.0f;
    float varyings[MAX_VARYINGS];
    const float* a = ends;
    const float* b = ends + varyingCount;
    for (int i = 0; i < varyingCount; ++i)
        varyings[i] = (a[i] * s.invW[0] + (b[i] * s.invW[1] - a[i] * s.invW[0]) * t) * w;
    PixelInputs in;
    in.z = s.z[0] + (s.z[1] - s.z[0]) * t;
    in.invW = q;
    in.varyings = varyings;
    in.derivativesX = nullptr;
    in.derivativesY = nullptr;
    in.frontFace = true;
    processPixel(pixels, x, y, sample, in);
}

void rasterizeLine(const PixelContext& pixels, const LineSegment& s, const float* ends, int x0, int y0, int x1,
                   int y1, UINT sample)
{
    if (s.point) {
        // A one-pixel point covers the pixel whose centre is nearest, ties
        // going up and left.
        const int x = static_cast<int>(std::ceil(s.x[0] - 0.5f));
        const int y = static_cast<int>(std::ceil(s.y[0] - 0.5f));
        if (x >= x0 && x <= x1 && y >= y0 && y <= y1)
            shadeLinePixel(pixels, s, ends, 0.0f, x, y, sample);
        return;
    }
    const float dx = s.x[1] - s.x[0];
    const float dy = s.y[1] - s.y[0];
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const float major0 = xMajor ? s.x[0] : s.y[0];
    const float major1 = xMajor ? s.x[1] : s.y[1];
    const float minor0 = xMajor ? s.y[0] : s.x[0];
    const float dMajor = major1 - major0;
    if (dMajor == 0.0f)
        return;
    const float slope = (xMajor ? dy : dx) / dMajor;
    // Pixels along the major axis from the first end up to, not including,
    // the last: lines joined end to end draw their shared pixel once.
    const float lo = std::min(major0, major1), hi = std::max(major0, major1);
    int first = static_cast<int>(std::ceil(lo - 0.5f));
    int last = static_cast<int>(std::ceil(hi - 0.5f)) - 1;
    if (major1 < major0) {
        // Drawn from the far end: the first vertex's pixel is kept, the last's left out.
        first = static_cast<int>(std::floor(lo - 0.5f)) + 1;
        last = static_cast<int>(std::floor(hi - 0.5f));
    }
    const int majorMin = xMajor ? x0 : y0, majorMax = xMajor ? x1 : y1;
    const int minorMin = xMajor ? y0 : x0, minorMax = xMajor ? y1 : x1;
    first = std::max(first, majorMin);
    last = std::min(last, majorMax);
    for (int m = first; m <= last; ++m) {
        const float along = static_cast<float>(m) - major0;
        const int minor = static_cast<int>(std::floor(minor0 + slope * along + 0.5f));
        if (minor < minorMin || minor > minorMax)
            continue;
        const float t = along / dMajor;
        if (xMajor)
            shadeLinePixel(pixels, s, ends, t, m, minor, sample);
        else
            shadeLinePixel(pixels, s, ends, t, minor, m, sample);
    }
}

} // namespace

void samplePositions(UINT samples, int offsets[16][2])
{
    // Rotated-grid patterns in sixteenths of a pixel for the common
    // counts, a stratified diagonal pattern otherwise.
    static const int two[2][2] = {{4, 4}, {-4, -4}};
    static const int four[4][2] = {{-2, -6}, {6, -2}, {-6, 2}, {2, 6}};
    const int unit = SUBPIXEL_ONE / 16;
    if (samples <= 1) {
        offsets[0][0] = offsets[0][1] = 0;
        return;
    }
    for (UINT s = 0; s < samples && s < 16; ++s) {
        if (samples == 2) {
            offsets[s][0] = two[s][0] * unit;
            offsets[s][1] = two[s][1] * unit;
        } else if (samples == 4) {
            offsets[s][0] = four[s][0] * unit;
            offsets[s][1] = four[s][1] * unit;
        } else {
            const UINT j = (s * 5 + 3) % samples;
            offsets[s][0] = static_cast<int>((2 * s + 1) * 16 / (2 * samples)) * unit - 8 * unit;
            offsets[s][1] = static_cast<int>((2 * j + 1) * 16 / (2 * samples)) * unit - 8 * unit;
        }
    }
}

void rasterizeTile(const RasterInputs& inputs, int tile)
{
    const PixelContext& pixels = *inputs.pixels;
    const TargetView& target = pixels.target;
    const int tx = tile % inputs.bins->tilesX();
    const int ty = tile / inputs.bins->tilesX();
    const int tileX0 = std::max(target.clipLeft, tx * TILE_SIZE);
    const int tileY0 = std::max(target.clipTop, ty * TILE_SIZE);
    const int tileX1 = std::min(target.clipRight, (tx + 1) * TILE_SIZE) - 1;
    const int tileY1 = std::min(target.clipBottom, (ty + 1) * TILE_SIZE) - 1;
    if (tileX0 > tileX1 || tileY0 > tileY1)
        return;
    int offsets[16][2];
    const UINT samples = std::min<UINT>(std::max<UINT>(target.samples, 1), 16);
    samplePositions(samples, offsets);
    const std::vector<uint32_t>& bin = inputs.bins->bin(tile);
    for (uint32_t index : bin) {
        for (UINT s = 0; s < samples; ++s) {
            if (inputs.drawsLines) {
                const LineSegment& line = (*inputs.lines)[index];
                const int x0 = std::max(tileX0, line.minX), y0 = std::max(tileY0, line.minY);
                const int x1 = std::min(tileX1, line.maxX), y1 = std::min(tileY1, line.maxY);
                if (x0 <= x1 && y0 <= y1)
                    rasterizeLine(pixels, line, inputs.lineVaryings->data() + line.varyingIndex, x0, y0, x1, y1, s);
                continue;
            }
            const Triangle& t = (*inputs.triangles)[index];
            const int x0 = std::max(tileX0, t.minX), y0 = std::max(tileY0, t.minY);
            const int x1 = std::min(tileX1, t.maxX), y1 = std::min(tileY1, t.maxY);
            if (x0 > x1 || y0 > y1)
                continue;
            rasterizeTriangle(pixels, t, inputs.planes->data() + t.planeIndex, x0, y0, x1, y1, s, offsets[s][0],
                              offsets[s][1]);
        }
    }
}

} // namespace pipeline
} // namespace swd3d9
