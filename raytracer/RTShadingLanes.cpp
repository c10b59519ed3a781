#include "raytracer/RTShadingLanes.h"

#include "raytracer/RTShapeTree.h"
#include "sceneapi/KXTriMesh.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RT_HAVE_SSE2 1
#endif

#ifdef RT_HAVE_SSE2
namespace {

// Three coordinates of four lanes.
struct Vec4 {
    __m128 x, y, z;
};

Vec4 operator-(const Vec4& a, const Vec4& b)
{
    return {_mm_sub_ps(a.x, b.x), _mm_sub_ps(a.y, b.y), _mm_sub_ps(a.z, b.z)};
}
Vec4 operator+(const Vec4& a, const Vec4& b)
{
    return {_mm_add_ps(a.x, b.x), _mm_add_ps(a.y, b.y), _mm_add_ps(a.z, b.z)};
}
Vec4 operator*(const Vec4& a, __m128 s)
{
    return {_mm_mul_ps(a.x, s), _mm_mul_ps(a.y, s), _mm_mul_ps(a.z, s)};
}

// rtDot: x, then y, then z added.
__m128 dot(const Vec4& a, const Vec4& b)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}
__m128 length(const Vec4& v) { return _mm_sqrt_ps(dot(v, v)); }

__m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
Vec4 select(__m128 mask, const Vec4& a, const Vec4& b)
{
    return {select(mask, a.x, b.x), select(mask, a.y, b.y), select(mask, a.z, b.z)};
}

// a / b where keep is set, 0 elsewhere (RTInterpolation's guarded ratios).
__m128 ratio(__m128 a, __m128 b, __m128 keep) { return _mm_and_ps(keep, _mm_div_ps(a, b)); }

// Values of four lanes gathered from scalars, lane k from slot k.
struct Gather {
    alignas(16) float v[4];
    __m128 load() const { return _mm_load_ps(v); }
};
struct GatherVec {
    Gather x, y, z;
    void set(int k, float px, float py, float pz)
    {
        x.v[k] = px;
        y.v[k] = py;
        z.v[k] = pz;
    }
    Vec4 load() const { return {x.load(), y.load(), z.load()}; }
};

// The double-precision crossing of RTInterpolation for two lanes (the low
// or high half of the quad): Q = vb + r (vc - vb), rounded to float.
void crossing(const Vec4& point, const Vec4& va, const Vec4& vb, const Vec4& vc, bool high, __m128d q[3])
{
    const auto widen = [high](__m128 v) { return _mm_cvtps_pd(high ? _mm_movehl_ps(v, v) : v); };
    const __m128d p[3] = {widen(point.x), widen(point.y), widen(point.z)};
    const __m128d a[3] = {widen(va.x), widen(va.y), widen(va.z)};
    const __m128d b[3] = {widen(vb.x), widen(vb.y), widen(vb.z)};
    const __m128d c[3] = {widen(vc.x), widen(vc.y), widen(vc.z)};
    __m128d p1[3], p2[3], w0[3];
    for (int i = 0; i < 3; ++i) {
        p1[i] = _mm_sub_pd(p[i], a[i]);
        p2[i] = _mm_sub_pd(c[i], b[i]);
        w0[i] = _mm_sub_pd(a[i], b[i]);
    }
    const auto dotd = [](const __m128d* x, const __m128d* y) {
        return _mm_add_pd(_mm_add_pd(_mm_mul_pd(x[0], y[0]), _mm_mul_pd(x[1], y[1])), _mm_mul_pd(x[2], y[2]));
    };
    const __m128d aa = dotd(p1, p1), ab = dotd(p1, p2), bb = dotd(p2, p2), ad = dotd(p1, w0), bd = dotd(p2, w0);
    const __m128d den = _mm_sub_pd(_mm_mul_pd(aa, bb), _mm_mul_pd(ab, ab));
    const __m128d zero = _mm_setzero_pd();
    const __m128d proper =
        _mm_and_pd(_mm_cmpgt_pd(den, _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(1e-12), aa), bb)),
                   _mm_and_pd(_mm_cmpgt_pd(aa, zero), _mm_cmpgt_pd(bb, zero)));
    const __m128d r = _mm_and_pd(proper, _mm_div_pd(_mm_sub_pd(_mm_mul_pd(aa, bd), _mm_mul_pd(ab, ad)), den));
    for (int i = 0; i < 3; ++i)
        q[i] = _mm_add_pd(b[i], _mm_mul_pd(r, p2[i]));
}

// The surface, interpolation and lit normal of rtPrepareHit for four hits
// (slots past used repeat the last hit and are not stored).
void prepareFour(const RTHit* const* hits, RTPreparedHit* const* prepared, int used)
{
    GatherVec point, v[3], n[3], row[3];
    alignas(16) int32_t back[4];
    uint32_t index[4][3];
    for (int k = 0; k < 4; ++k) {
        const RTHit& hit = *hits[k < used ? k : used - 1];
        const KXTriMesh& mesh = hit.mesh->getTriMesh();
        const std::vector<KXPosition>& vertices = mesh.getVertexArray();
        const std::vector<KXUnitVector>& normals = mesh.getNormalsArray();
        point.set(k, hit.point.x, hit.point.y, hit.point.z);
        for (int i = 0; i < 3; ++i) {
            index[k][i] = hit.indices[i];
            const KXPosition& p = vertices[hit.indices[i]];
            v[i].set(k, p.getX(), p.getY(), p.getZ());
            const KXUnitVector& normal = normals[hit.indices[i]];
            n[i].set(k, normal.getX(), normal.getY(), normal.getZ());
        }
        // Columns of the upper 3x3, as rtTransformDirection reads them.
        const float* m = hit.shape->world.getData();
        for (int i = 0; i < 3; ++i)
            row[i].set(k, m[i], m[4 + i], m[8 + i]);
        back[k] = hit.backFacing ? -1 : 0;
    }
    const Vec4 p = point.load();
    const Vec4 v0 = v[0].load(), v1 = v[1].load(), v2 = v[2].load();
    const __m128 d0 = length(p - v0), d1 = length(p - v1), d2 = length(p - v2);
    // The apex is the corner farthest from the point (the last one on ties).
    const __m128 apex0 = _mm_and_ps(_mm_cmpgt_ps(d0, d1), _mm_cmpgt_ps(d0, d2));
    const __m128 apex1 = _mm_andnot_ps(apex0, _mm_and_ps(_mm_cmpgt_ps(d1, d0), _mm_cmpgt_ps(d1, d2)));
    const __m128 apex2 = _mm_andnot_ps(_mm_or_ps(apex0, apex1), _mm_castsi128_ps(_mm_set1_epi32(-1)));
    const Vec4 va = select(apex0, v0, select(apex1, v1, v2));
    const Vec4 vb = select(apex0, v1, v0);
    const Vec4 vc = select(apex2, v1, v2);

    __m128d low[3], high[3];
    crossing(p, va, vb, vc, false, low);
    crossing(p, va, vb, vc, true, high);
    const Vec4 q = {_mm_movelh_ps(_mm_cvtpd_ps(low[0]), _mm_cvtpd_ps(high[0])),
                    _mm_movelh_ps(_mm_cvtpd_ps(low[1]), _mm_cvtpd_ps(high[1])),
                    _mm_movelh_ps(_mm_cvtpd_ps(low[2]), _mm_cvtpd_ps(high[2]))};
    alignas(16) float qb[4], cb[4], qp[4], qa[4];
    const __m128 qbV = length(q - vb), cbV = length(vc - vb), qpV = length(q - p), qaV = length(q - va);
    _mm_store_ps(qb, qbV);
    _mm_store_ps(cb, cbV);
    _mm_store_ps(qp, qpV);
    _mm_store_ps(qa, qaV);

    // RTInterpolation::interpolate of the vertex normals, then
    // shadingNormal: into world space, normalised, turned for back faces.
    const __m128 zero = _mm_setzero_ps();
    const __m128 alongBC = ratio(qbV, cbV, _mm_cmpgt_ps(cbV, zero));
    const __m128 towardA = ratio(qpV, qaV, _mm_cmpgt_ps(qaV, zero));
    const Vec4 n0 = n[0].load(), n1 = n[1].load(), n2 = n[2].load();
    const Vec4 na = select(apex0, n0, select(apex1, n1, n2));
    const Vec4 nb = select(apex0, n1, n0);
    const Vec4 nc = select(apex2, n1, n2);
    const Vec4 e = nb + (nc - nb) * alongBC;
    const Vec4 blended = e + (na - e) * towardA;
    const Vec4 world = {dot(blended, row[0].load()), dot(blended, row[1].load()), dot(blended, row[2].load())};
    const __m128 size = length(world);
    const __m128 divide = _mm_cmpge_ps(size, _mm_set1_ps(1e-7f));
    Vec4 normal = {select(divide, _mm_div_ps(world.x, size), world.x), select(divide, _mm_div_ps(world.y, size), world.y),
                   select(divide, _mm_div_ps(world.z, size), world.z)};
    const __m128 flip = _mm_and_ps(_mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(back))),
                                   _mm_set1_ps(-0.0f));
    normal = {_mm_xor_ps(normal.x, flip), _mm_xor_ps(normal.y, flip), _mm_xor_ps(normal.z, flip)};
    alignas(16) float nx[4], ny[4], nz[4];
    _mm_store_ps(nx, normal.x);
    _mm_store_ps(ny, normal.y);
    _mm_store_ps(nz, normal.z);

    const int first = _mm_movemask_ps(apex0), second = _mm_movemask_ps(apex1);
    for (int k = 0; k < used; ++k) {
        RTPreparedHit& out = *prepared[k];
        const int apex = (first >> k) & 1 ? 0 : ((second >> k) & 1 ? 1 : 2);
        out.surface = true;
        out.ip.a = index[k][apex];
        out.ip.b = index[k][apex == 0 ? 1 : 0];
        out.ip.c = index[k][apex == 2 ? 1 : 2];
        out.ip.qb = qb[k];
        out.ip.cb = cb[k];
        out.ip.qp = qp[k];
        out.ip.qa = qa[k];
        out.normal = RTVec3(nx[k], ny[k], nz[k]);
    }
}

} // namespace
#endif

unsigned rtPrepareHits(const RTShadingContext& shading, const RTHit* const* hits, int count, RTPreparedHit* prepared,
                       RTRay* shadowRays)
{
    unsigned wanted = 0;
#ifdef RT_HAVE_SSE2
    const RTHit* quad[4];
    RTPreparedHit* out[4];
    int queued = 0;
    for (int k = 0; k < count; ++k) {
        prepared[k] = RTPreparedHit();
        if (!hits[k] || !rtIsLitSurface(shading, *hits[k]))
            continue;
        quad[queued] = hits[k];
        out[queued] = &prepared[k];
        if (++queued == 4) {
            prepareFour(quad, out, 4);
            queued = 0;
        }
    }
    if (queued != 0)
        prepareFour(quad, out, queued);
    for (int k = 0; k < count; ++k)
        if (prepared[k].surface && rtPreparedShadowRay(shading, *hits[k], prepared[k], shadowRays[k]))
            wanted |= 1u << k;
#else
    for (int k = 0; k < count; ++k) {
        prepared[k] = RTPreparedHit();
        if (hits[k] && rtPrepareHit(shading, *hits[k], prepared[k], shadowRays[k]))
            wanted |= 1u << k;
    }
#endif
    return wanted;
}
