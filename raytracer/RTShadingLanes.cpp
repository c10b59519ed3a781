#include "raytracer/RTShadingLanes.h"

#include "raytracer/RTPacketTraversal.h"
#include "raytracer/RTShapeTree.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXTriMesh.h"

#include <cmath>

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

// Four lanes' vectors, lane k being get(k): built in registers, since values
// written to memory one at a time and read back four at a time would wait
// for the writes.
template <class Get>
Vec4 spread(Get get)
{
    const RTVec3 a = get(0), b = get(1), c = get(2), d = get(3);
    return {_mm_setr_ps(a.x, b.x, c.x, d.x), _mm_setr_ps(a.y, b.y, c.y, d.y), _mm_setr_ps(a.z, b.z, c.z, d.z)};
}
template <class Get>
__m128 spreadFloat(Get get)
{
    return _mm_setr_ps(get(0), get(1), get(2), get(3));
}

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
    const RTHit* hit[4];
    for (int k = 0; k < 4; ++k)
        hit[k] = hits[k < used ? k : used - 1];
    const auto vertex = [&](int corner) {
        return spread([&](int k) {
            return RTVec3(hit[k]->mesh->getTriMesh().getVertexArray()[hit[k]->indices[corner]]);
        });
    };
    const auto vertexNormal = [&](int corner) {
        return spread([&](int k) {
            return RTVec3(hit[k]->mesh->getTriMesh().getNormalsArray()[hit[k]->indices[corner]]);
        });
    };
    // Columns of the upper 3x3 of the world transform, as
    // rtTransformDirection reads them.
    const auto column = [&](int c) {
        return spread([&](int k) {
            const float* m = hit[k]->shape->world.getData();
            return RTVec3(m[c], m[4 + c], m[8 + c]);
        });
    };
    const Vec4 p = spread([&](int k) { return hit[k]->point; });
    const Vec4 v0 = vertex(0), v1 = vertex(1), v2 = vertex(2);
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
    const Vec4 n0 = vertexNormal(0), n1 = vertexNormal(1), n2 = vertexNormal(2);
    const Vec4 na = select(apex0, n0, select(apex1, n1, n2));
    const Vec4 nb = select(apex0, n1, n0);
    const Vec4 nc = select(apex2, n1, n2);
    const Vec4 e = nb + (nc - nb) * alongBC;
    const Vec4 blended = e + (na - e) * towardA;
    const Vec4 world = {dot(blended, column(0)), dot(blended, column(1)), dot(blended, column(2))};
    const __m128 size = length(world);
    const __m128 divide = _mm_cmpge_ps(size, _mm_set1_ps(1e-7f));
    Vec4 normal = {select(divide, _mm_div_ps(world.x, size), world.x), select(divide, _mm_div_ps(world.y, size), world.y),
                   select(divide, _mm_div_ps(world.z, size), world.z)};
    const __m128 flip = spreadFloat([&](int k) { return hit[k]->backFacing ? -0.0f : 0.0f; });
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
        out.ip.a = hit[k]->indices[apex];
        out.ip.b = hit[k]->indices[apex == 0 ? 1 : 0];
        out.ip.c = hit[k]->indices[apex == 2 ? 1 : 2];
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
    // The shadow rays' directions, worked out once per light.
    const std::vector<RTLight>* lights = shading.lighting ? &shading.lighting->getLights() : nullptr;
    RTRay towardLights[8];
    const bool few = lights && lights->size() <= 8;
    for (size_t l = 0; few && l < lights->size(); ++l)
        towardLights[l] = RTRay(RTVec3(), -(*lights)[l].direction);
    for (int k = 0; k < count; ++k)
        if (prepared[k].surface &&
            rtPreparedShadowRay(shading, *hits[k], prepared[k], shadowRays[k], few ? towardLights : nullptr))
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

namespace {

// Whether rtShadeHits can shade the hit: see its comment.
bool shadesTogether(const RTShadingContext& shading, const RTHit& hit, const RTPreparedHit& prepared)
{
    if (!prepared.surface)
        return false;
    const KXAppearance* appearance = hit.shape->appearance;
    if (appearance->getTexture(0) && shading.textures)
        return false;
    if (shading.reflections && rtReflectivity(appearance) > 1e-6f)
        return false;
    const bool shadows = shading.shapeTree != nullptr;
    const std::vector<RTLight>& lights = shading.lighting->getLights();
    for (size_t l = 0; l < lights.size(); ++l) {
        const RTLight& light = lights[l];
        if (light.type == KXLight::KXLIGHTTYPE_DIRECTIONAL) {
            const bool known = prepared.shadowKnown && prepared.light == l;
            if (light.castShadows && shadows && !known && rtDot(prepared.normal, light.direction) < 0.0f)
                return false;
        } else if (light.type != KXLight::KXLIGHTTYPE_POINT || (light.castShadows && shadows)) {
            return false;
        }
    }
    return true;
}

#ifdef RT_HAVE_SSE2
// A colour of four lanes, component by component.
struct Color4 {
    __m128 c[4];

    static Color4 gather(const KXColor* colors)
    {
        Color4 out;
        out.c[0] = _mm_setr_ps(colors[0].getR(), colors[1].getR(), colors[2].getR(), colors[3].getR());
        out.c[1] = _mm_setr_ps(colors[0].getG(), colors[1].getG(), colors[2].getG(), colors[3].getG());
        out.c[2] = _mm_setr_ps(colors[0].getB(), colors[1].getB(), colors[2].getB(), colors[3].getB());
        out.c[3] = _mm_setr_ps(colors[0].getA(), colors[1].getA(), colors[2].getA(), colors[3].getA());
        return out;
    }
};

// acc += base * color * factor (KXColor's operators in that order) where
// mask is set.
void addLight(Color4& acc, const Color4& base, const KXColor& color, __m128 factor, __m128 mask)
{
    const float rgba[4] = {color.getR(), color.getG(), color.getB(), color.getA()};
    for (int i = 0; i < 4; ++i) {
        const __m128 term = _mm_mul_ps(_mm_mul_ps(base.c[i], _mm_set1_ps(rgba[i])), factor);
        acc.c[i] = select(mask, _mm_add_ps(acc.c[i], term), acc.c[i]);
    }
}

// The lights part of rtShade for four hits (slots past used repeat the last).
void shadeFour(const RTShadingContext& shading, const RTHit* const* hits, const RTRay* const* rays,
               const RTPreparedHit* const* prepared, KXColor* const* out, int used)
{
    const KXColor white(1.0f, 1.0f, 1.0f, 1.0f);
    const RTLighting& lighting = *shading.lighting;
    KXColor start[4], diffuse[4], specular[4];
    int slot[4];
    for (int k = 0; k < 4; ++k) {
        const int j = slot[k] = k < used ? k : used - 1;
        const KXMaterial& material = *hits[j]->shape->appearance->getMaterial();
        start[k] = material.getEmissiveColor();
        diffuse[k] = material.getDiffuseColor() * white;
        if (lighting.hasAmbient())
            start[k] += material.getAmbientColor() * white * lighting.getAmbient();
        specular[k] = material.getSpecularColor() * white;
    }
    Color4 acc = Color4::gather(start);
    const Color4 diffuse4 = Color4::gather(diffuse), specular4 = Color4::gather(specular);
    const Vec4 n = spread([&](int k) { return prepared[slot[k]]->normal; });
    const Vec4 w = spread([&](int k) { return hits[slot[k]]->worldPoint; });
    const Vec4 dir = spread([&](int k) { return rays[slot[k]]->direction; });
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const bool shadows = shading.shapeTree != nullptr;
    const std::vector<RTLight>& lights = lighting.getLights();
    for (size_t l = 0; l < lights.size(); ++l) {
        const RTLight& light = lights[l];
        if (light.type == KXLight::KXLIGHTTYPE_DIRECTIONAL) {
            const Vec4 toward = {_mm_set1_ps(light.direction.x), _mm_set1_ps(light.direction.y),
                                 _mm_set1_ps(light.direction.z)};
            const __m128 d = dot(n, toward);
            const __m128 shadow = spreadFloat([&](int k) {
                const RTPreparedHit& p = *prepared[slot[k]];
                return light.castShadows && shadows && p.shadowKnown && p.light == l ? p.factor : 1.0f;
            });
            addLight(acc, diffuse4, light.color, _mm_mul_ps(_mm_and_ps(d, absMask), shadow),
                     _mm_cmplt_ps(d, zero));
            continue;
        }
        // A point light casting no shadow the hit needs: spot and shadow
        // factors are 1.
        const Vec4 position = {_mm_set1_ps(light.position.x), _mm_set1_ps(light.position.y),
                               _mm_set1_ps(light.position.z)};
        const __m128 distance = length(position - w);
        const __m128 inRange = _mm_andnot_ps(_mm_cmplt_ps(_mm_set1_ps(light.range), distance),
                                             _mm_castsi128_ps(_mm_set1_epi32(-1)));
        const __m128 attenuation = _mm_div_ps(
            one, _mm_add_ps(_mm_add_ps(_mm_set1_ps(light.attenuation[0]), _mm_mul_ps(_mm_set1_ps(light.attenuation[1]), distance)),
                            _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(light.attenuation[2]), distance), distance)));
        const Vec4 away = w - position;
        const __m128 size = length(away);
        const __m128 divide = _mm_cmpge_ps(size, _mm_set1_ps(1e-7f));
        const Vec4 toSurface = {select(divide, _mm_div_ps(away.x, size), away.x),
                                select(divide, _mm_div_ps(away.y, size), away.y),
                                select(divide, _mm_div_ps(away.z, size), away.z)};
        const __m128 d = dot(n, toSurface);
        const Vec4 reflected = toSurface - n * _mm_mul_ps(_mm_set1_ps(2.0f), d);
        const __m128 s = dot(dir, reflected);
        const __m128 spot = one, shadow = one;
        addLight(acc, diffuse4, light.color,
                 _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_and_ps(d, absMask), attenuation), spot), shadow),
                 _mm_and_ps(inRange, _mm_cmplt_ps(d, zero)));
        const __m128 highlight = _mm_and_ps(inRange, _mm_cmplt_ps(s, zero));
        const int lit = _mm_movemask_ps(highlight);
        if (lit != 0) {
            alignas(16) float sv[4], powered[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            _mm_store_ps(sv, s);
            for (int k = 0; k < 4; ++k)
                if (lit & (1 << k))
                    powered[k] = std::pow(std::fabs(sv[k]), 20.0f);
            addLight(acc, specular4, light.color,
                     _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(attenuation, _mm_load_ps(powered)), spot), shadow), highlight);
        }
    }
    // KXColor::clamp: 0 for anything not above 0 (NaN too), 1 above 1.
    alignas(16) float rgba[4][4];
    for (int i = 0; i < 4; ++i) {
        const __m128 v = acc.c[i];
        const __m128 clamped = select(_mm_cmpgt_ps(v, one), one, v);
        _mm_store_ps(rgba[i], _mm_and_ps(_mm_cmpgt_ps(v, zero), clamped));
    }
    for (int k = 0; k < used; ++k)
        *out[k] = KXColor(rgba[0][k], rgba[1][k], rgba[2][k], rgba[3][k]);
}
#endif

} // namespace

unsigned rtShadeHits(const RTShadingContext& shading, const RTHit* const* hits, const RTRay* rays,
                     const RTPreparedHit* prepared, unsigned lanes, KXColor* colors)
{
    unsigned shaded = 0;
#ifdef RT_HAVE_SSE2
    if (!shading.lighting)
        return 0;
    const RTHit* quadHits[4];
    const RTRay* quadRays[4];
    const RTPreparedHit* quadPrepared[4];
    KXColor* quadOut[4];
    int queued = 0;
    for (unsigned left = lanes; left != 0; left &= left - 1) {
        const int k = rtLowestLane(left);
        if (!shadesTogether(shading, *hits[k], prepared[k]))
            continue;
        quadHits[queued] = hits[k];
        quadRays[queued] = &rays[k];
        quadPrepared[queued] = &prepared[k];
        quadOut[queued] = &colors[k];
        shaded |= 1u << k;
        if (++queued == 4) {
            shadeFour(shading, quadHits, quadRays, quadPrepared, quadOut, 4);
            queued = 0;
        }
    }
    if (queued != 0)
        shadeFour(shading, quadHits, quadRays, quadPrepared, quadOut, queued);
#else
    (void)shading;
    (void)hits;
    (void)rays;
    (void)prepared;
    (void)lanes;
    (void)colors;
#endif
    return shaded;
}
