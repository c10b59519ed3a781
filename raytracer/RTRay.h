#pragma once

#include "raytracer/RTMath.h"
#include "raytracer/RTSpatialTree.h"

#include <cfloat>
#include <cmath>

// A ray: origin, unit direction, the inverse of the direction (a zero
// component gives an infinity) and the sign of each inverse component.
struct RTRay {
    RTVec3 origin;
    RTVec3 direction;
    RTVec3 inverse;
    int sign[3] = {0, 0, 0};

    RTRay() = default;
    // Normalises the direction (a direction shorter than 1e-7 stays as it is).
    RTRay(const RTVec3& origin_, const RTVec3& direction_) : origin(origin_) { setDirection(direction_); }
    void setDirection(const RTVec3& direction_)
    {
        direction = rtNormalize(direction_);
        inverse = RTVec3(1.0f / direction.x, 1.0f / direction.y, 1.0f / direction.z);
        for (int a = 0; a < 3; ++a)
            sign[a] = inverse[a] < 0.0f ? 1 : 0;
    }
    // The ray carried by a transform: origin with homogeneous divide,
    // direction through the upper 3x3, normalised.
    RTRay transformed(const float* m) const
    {
        return RTRay(rtTransformPoint(m, origin), rtTransformDirection(m, direction));
    }
};

// The value along a ray where it crosses the plane at coordinate plane of
// axis a. A ray that runs within the plane (direction component 0, origin on
// the plane) would give 0 × ∞; it counts as inside the slab, so the entry
// plane gives -∞ and the exit plane +∞.
inline float rtPlaneT(const RTRay& ray, int a, float plane, bool entry)
{
    const float t = (plane - ray.origin[a]) * ray.inverse[a];
    return t == t ? t : (entry ? -INFINITY : INFINITY);
}

// The values along a ray where it crosses the planes of a box, per axis:
// near[a] where it enters the slab of axis a and far[a] where it leaves it,
// the planes chosen by the signs of the direction.
inline void rtSlabPlanes(const RTRay& ray, const RTBox& box, float* nearT, float* farT)
{
    for (int a = 0; a < 3; ++a) {
        nearT[a] = rtPlaneT(ray, a, ray.sign[a] ? box.hi[a] : box.lo[a], true);
        farT[a] = rtPlaneT(ray, a, ray.sign[a] ? box.lo[a] : box.hi[a], false);
    }
}

// Combines the slabs of x, y and z in that order; misses are judged with a
// tolerance of 1e-5. On a hit within the interval (t0, t1), t0 and t1 become
// the entry and exit values.
inline bool rtSlabCombine(const float* nearT, const float* farT, float& t0, float& t1)
{
    const float e = 1e-5f;
    float tmin = nearT[0], tmax = farT[0];
    for (int a = 1; a < 3; ++a) {
        if (tmin - farT[a] > e || nearT[a] - tmax > e)
            return false;
        if (nearT[a] > tmin)
            tmin = nearT[a];
        if (farT[a] < tmax)
            tmax = farT[a];
    }
    if (t1 - tmin > e && tmax - t0 > e) {
        t0 = tmin;
        t1 = tmax;
        return true;
    }
    return false;
}

// Slab test of a ray against a box within the interval (t0, t1). With the
// interval (-FLT_MAX, FLT_MAX) a box behind the origin counts as hit.
inline bool rtSlabTest(const RTRay& ray, const RTBox& box, float& t0, float& t1)
{
    float nearT[3], farT[3];
    rtSlabPlanes(ray, box, nearT, farT);
    return rtSlabCombine(nearT, farT, t0, t1);
}

inline bool rtSlabTest(const RTRay& ray, const RTBox& box)
{
    float t0 = -FLT_MAX, t1 = FLT_MAX;
    return rtSlabTest(ray, box, t0, t1);
}

// Triangle test, one triangle at a time: the point where the ray's line
// meets the triangle's plane, accepted when its barycentric weights lie
// within 1e-5 of the triangle and it lies no more than 1e-5 behind the
// origin. Degenerate triangles (every normal component below 1e-7) and rays
// parallel to the plane (|n . D| < 1e-5) never hit. The packed test in
// RTTrianglePack computes the same values four triangles at a time.
inline bool rtTriangleTest(const RTRay& ray, const RTVec3& v0, const RTVec3& v1, const RTVec3& v2, RTVec3& point,
                           float& t)
{
    const RTVec3 e1 = v1 - v0, e2 = v2 - v0;
    const RTVec3 n = rtCross(e1, e2);
    if (std::fabs(n.x) < 1e-7f && std::fabs(n.y) < 1e-7f && std::fabs(n.z) < 1e-7f)
        return false;
    const float nd = rtDot(n, ray.direction);
    if (std::fabs(nd) < 1e-5f)
        return false;
    const float s = (rtDot(n, ray.origin) - rtDot(n, v0)) / nd;
    const RTVec3 p(ray.origin.x - s * ray.direction.x, ray.origin.y - s * ray.direction.y,
                   ray.origin.z - s * ray.direction.z);
    const RTVec3 w = p - v0;
    const float d00 = rtDot(e1, e1), d01 = rtDot(e1, e2), d11 = rtDot(e2, e2);
    const float d20 = rtDot(w, e1), d21 = rtDot(w, e2);
    const float den = d01 * d01 - d00 * d11;
    const float u = (d21 * d01 - d20 * d11) / den;
    const float v = (d20 * d01 - d21 * d00) / den;
    if (!(-u <= 1e-5f && u - 1.0f <= 1e-5f && -v <= 1e-5f && u + v - 1.0f <= 1e-5f))
        return false;
    const float tt = rtDot(ray.direction, p - ray.origin);
    if (!(-tt <= 1e-5f))
        return false;
    point = p;
    t = tt;
    return true;
}
