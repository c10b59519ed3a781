#include "raytracer/RTUnprojector.h"

#include "sceneapi/KXCamera.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RT_HAVE_SSE2 1
#endif

RTUnprojector::RTUnprojector(const KXCamera& camera)
{
    // A singular product leaves the identity in place.
    rtInvert(camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix(), m_inverse);
}

RTRay RTUnprojector::primaryRay(float px, float py, unsigned width, unsigned height) const
{
    const float x = 2.0f * px / static_cast<float>(width) - 1.0f;
    const float y = 1.0f - 2.0f * py / static_cast<float>(height);
    const RTVec3 nearPoint = rtTransformPoint(m_inverse.getData(), RTVec3(x, y, 0.0f));
    const RTVec3 farPoint = rtTransformPoint(m_inverse.getData(), RTVec3(x, y, 1.0f));
    return RTRay(nearPoint, farPoint - nearPoint);
}

#ifdef RT_HAVE_SSE2
namespace {

// rtTransformPoint of (x, y, z) for four lanes, the same sums in the same
// order; the origin where |w| < 1e-8.
void transformPoints(const float* m, __m128 x, __m128 y, __m128 z, __m128 out[3])
{
    const auto row = [&](int c) {
        return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(m[c])), _mm_mul_ps(y, _mm_set1_ps(m[4 + c]))),
                                     _mm_mul_ps(z, _mm_set1_ps(m[8 + c]))),
                          _mm_set1_ps(m[12 + c]));
    };
    const __m128 w = row(3);
    const __m128 far = _mm_cmpge_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), w), _mm_set1_ps(1e-8f));
    // A NaN w is not below 1e-8 either: it divides, as the scalar test lets it.
    const __m128 keep = _mm_or_ps(far, _mm_cmpunord_ps(w, w));
    for (int c = 0; c < 3; ++c)
        out[c] = _mm_and_ps(keep, _mm_div_ps(row(c), w));
}

} // namespace
#endif

void RTUnprojector::primaryRays(unsigned x0, unsigned row, unsigned count, unsigned width, unsigned height,
                                RTRay* rays) const
{
    unsigned i = 0;
#ifdef RT_HAVE_SSE2
    const float* m = m_inverse.getData();
    const __m128 y = _mm_set1_ps(1.0f - 2.0f * static_cast<float>(row) / static_cast<float>(height));
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    for (; i + 4 <= count; i += 4) {
        const __m128 column = _mm_setr_ps(static_cast<float>(x0 + i), static_cast<float>(x0 + i + 1),
                                          static_cast<float>(x0 + i + 2), static_cast<float>(x0 + i + 3));
        const __m128 x = _mm_sub_ps(_mm_div_ps(_mm_mul_ps(_mm_set1_ps(2.0f), column), _mm_set1_ps(static_cast<float>(width))), one);
        __m128 nearPoint[3], farPoint[3], d[3];
        transformPoints(m, x, y, zero, nearPoint);
        transformPoints(m, x, y, one, farPoint);
        for (int c = 0; c < 3; ++c)
            d[c] = _mm_sub_ps(farPoint[c], nearPoint[c]);
        // RTRay::setDirection: normalised when at least 1e-7 long.
        const __m128 length =
            _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(d[0], d[0]), _mm_mul_ps(d[1], d[1])), _mm_mul_ps(d[2], d[2])));
        const __m128 divide = _mm_cmpge_ps(length, _mm_set1_ps(1e-7f));
        alignas(16) float o[3][4], dir[3][4], inv[3][4];
        for (int c = 0; c < 3; ++c) {
            const __m128 unit = _mm_or_ps(_mm_and_ps(divide, _mm_div_ps(d[c], length)), _mm_andnot_ps(divide, d[c]));
            _mm_store_ps(o[c], nearPoint[c]);
            _mm_store_ps(dir[c], unit);
            _mm_store_ps(inv[c], _mm_div_ps(one, unit));
        }
        for (int k = 0; k < 4; ++k) {
            RTRay& ray = rays[i + k];
            ray.origin = RTVec3(o[0][k], o[1][k], o[2][k]);
            ray.direction = RTVec3(dir[0][k], dir[1][k], dir[2][k]);
            ray.inverse = RTVec3(inv[0][k], inv[1][k], inv[2][k]);
            for (int c = 0; c < 3; ++c)
                ray.sign[c] = inv[c][k] < 0.0f ? 1 : 0;
        }
    }
#endif
    for (; i < count; ++i)
        rays[i] = primaryRay(static_cast<float>(x0 + i), static_cast<float>(row), width, height);
}
