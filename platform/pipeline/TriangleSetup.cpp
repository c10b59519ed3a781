#include "pipeline/TriangleSetup.h"

#include <algorithm>
#include <cmath>

namespace swd3d9 {
namespace pipeline {

namespace {

// Round to nearest, halves away from zero (positions are range-checked first).
int32_t toFixed(float v)
{
    const float scaled = v * SUBPIXEL_ONE;
    return static_cast<int32_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

bool inRange(const ScreenVertex& v)
{
    return std::fabs(v.x) <= MAX_SCREEN_COORDINATE && std::fabs(v.y) <= MAX_SCREEN_COORDINATE;
}

// The plane through three values at the three (float) vertex positions.
Plane planeThrough(const float* x, const float* y, float v0, float v1, float v2, float inverseArea)
{
    const float e1x = x[1] - x[0], e1y = y[1] - y[0];
    const float e2x = x[2] - x[0], e2y = y[2] - y[0];
    const float d1 = v1 - v0, d2 = v2 - v0;
    Plane p;
    p.dx = (d1 * e2y - d2 * e1y) * inverseArea;
    p.dy = (d2 * e1x - d1 * e2x) * inverseArea;
    p.base = v0 - p.dx * x[0] - p.dy * y[0];
    return p;
}

// The fixed-point positions of a triangle and twice its signed area on the
// fixed-point grid (positive is clockwise on screen, y growing downwards);
// false when a vertex lies out of range.
bool fixedTriangle(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2, int32_t fx[3],
                   int32_t fy[3], int64_t& area)
{
    if (!inRange(v0) || !inRange(v1) || !inRange(v2))
        return false;
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    for (int i = 0; i < 3; ++i) {
        fx[i] = toFixed(v[i]->x);
        fy[i] = toFixed(v[i]->y);
    }
    area = static_cast<int64_t>(fx[1] - fx[0]) * (fy[2] - fy[0]) -
           static_cast<int64_t>(fy[1] - fy[0]) * (fx[2] - fx[0]);
    return true;
}

} // namespace

ScreenVertex toScreen(const SetupParameters& p, const ShadedVertex& v)
{
    ScreenVertex s;
    s.varyings = v.varyings;
    if (p.pretransformed) {
        s.x = v.position[0];
        s.y = v.position[1];
        s.z = v.position[2];
        // A reciprocal w of zero would make every perspective-corrected
        // value 0/0; drivers treat such a vertex as having w = 1.
        s.invW = v.position[3] != 0.0f ? v.position[3] : 1.0f;
        return s;
    }
    const float invW = 1.0f / v.position[3];
    s.x = v.position[0] * invW * p.scaleX + p.offsetX;
    s.y = v.position[1] * invW * p.scaleY + p.offsetY;
    s.z = v.position[2] * invW * p.scaleZ + p.offsetZ;
    s.invW = invW;
    return s;
}

bool passesCull(uint32_t cullMode, float area)
{
    // area > 0: clockwise on screen (y down).
    if (cullMode == D3DCULL_CW)
        return area < 0.0f;
    if (cullMode == D3DCULL_CCW)
        return area > 0.0f;
    return true;
}

bool survivesCulling(const SetupParameters& p, const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2)
{
    int32_t fx[3], fy[3];
    int64_t area;
    return fixedTriangle(v0, v1, v2, fx, fy, area) && area != 0 && passesCull(p.cullMode, area > 0 ? 1.0f : -1.0f);
}

bool setupTriangle(const SetupParameters& p, const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
                   std::vector<Triangle>& triangles, std::vector<Plane>& planes)
{
    int32_t fx[3], fy[3];
    int64_t area;
    if (!fixedTriangle(v0, v1, v2, fx, fy, area) || area == 0)
        return false;
    const bool clockwise = area > 0;
    if (!passesCull(p.cullMode, clockwise ? 1.0f : -1.0f))
        return false;

    Triangle t;
    t.frontFace = clockwise;
    t.context = 0;
    // Order the vertices so the area is positive; the planes use the
    // original order (they do not depend on it).
    int order[3] = {0, 1, 2};
    if (!clockwise)
        std::swap(order[1], order[2]);
    int minFx = fx[0], maxFx = fx[0], minFy = fy[0], maxFy = fy[0];
    for (int i = 1; i < 3; ++i) {
        minFx = std::min(minFx, fx[i]);
        maxFx = std::max(maxFx, fx[i]);
        minFy = std::min(minFy, fy[i]);
        maxFy = std::max(maxFy, fy[i]);
    }
    // Pixel centres at integer coordinates: the pixels whose centre lies in the box.
    const int margin = p.sampleMargin;
    t.minX = std::max(p.clipLeft, (minFx - margin + SUBPIXEL_ONE - 1) >> SUBPIXEL_BITS);
    t.minY = std::max(p.clipTop, (minFy - margin + SUBPIXEL_ONE - 1) >> SUBPIXEL_BITS);
    t.maxX = std::min(p.clipRight - 1, (maxFx + margin) >> SUBPIXEL_BITS);
    t.maxY = std::min(p.clipBottom - 1, (maxFy + margin) >> SUBPIXEL_BITS);
    if (t.minX > t.maxX || t.minY > t.maxY)
        return false;
    for (int e = 0; e < 3; ++e) {
        const int a = order[e], b = order[(e + 1) % 3];
        const int64_t dx = fx[b] - fx[a];
        const int64_t dy = fy[b] - fy[a];
        // E(p) = (p.y - a.y) dx - (p.x - a.x) dy, positive inside a
        // clockwise triangle. With y downwards a top edge runs right
        // (dy == 0, dx > 0) and a left edge runs up (dy < 0); pixels
        // exactly on other edges are left out.
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        t.edgeA[e] = -dy;
        t.edgeB[e] = dx;
        t.edgeC[e] = static_cast<int64_t>(fx[a]) * dy - static_cast<int64_t>(fy[a]) * dx - (topLeft ? 0 : 1);
    }

    const float xs[3] = {fx[0] / float(SUBPIXEL_ONE), fx[1] / float(SUBPIXEL_ONE), fx[2] / float(SUBPIXEL_ONE)};
    const float ys[3] = {fy[0] / float(SUBPIXEL_ONE), fy[1] / float(SUBPIXEL_ONE), fy[2] / float(SUBPIXEL_ONE)};
    const float inverseArea = static_cast<float>(SUBPIXEL_ONE) * SUBPIXEL_ONE / static_cast<float>(area);
    t.planeIndex = static_cast<uint32_t>(planes.size());
    const Plane z = planeThrough(xs, ys, v0.z, v1.z, v2.z, inverseArea);
    const Plane q = planeThrough(xs, ys, v0.invW, v1.invW, v2.invW, inverseArea);
    planes.push_back(z);
    planes.push_back(q);
    t.depthOffset = p.depthBias + p.slopeScaleBias * std::max(std::fabs(z.dx), std::fabs(z.dy));
    const int planeCount = p.planeVaryings ? p.planeVaryingCount : p.varyingCount;
    for (int k = 0; k < planeCount; ++k) {
        const int i = p.planeVaryings ? p.planeVaryings[k] : k;
        const bool flat = p.flatShade && i < VARYING_FOG;
        if (flat) {
            const float value = v0.varyings[i];
            planes.push_back({q.base * value, q.dx * value, q.dy * value});
        } else {
            planes.push_back(planeThrough(xs, ys, v0.varyings[i] * v0.invW, v1.varyings[i] * v1.invW,
                                          v2.varyings[i] * v2.invW, inverseArea));
        }
    }
    triangles.push_back(t);
    return true;
}

bool setupLine(const SetupParameters& p, const ScreenVertex& a, const ScreenVertex& b, bool point,
               std::vector<LineSegment>& lines, std::vector<float>& varyings)
{
    if (!inRange(a) || !inRange(b))
        return false;
    LineSegment s;
    s.point = point;
    s.x[0] = a.x, s.y[0] = a.y, s.z[0] = a.z, s.invW[0] = a.invW;
    s.x[1] = b.x, s.y[1] = b.y, s.z[1] = b.z, s.invW[1] = b.invW;
    // Pixels whose centre can be reached: the box rounded outwards.
    s.minX = std::max(p.clipLeft, static_cast<int>(std::floor(std::min(a.x, b.x) - 0.5f)));
    s.minY = std::max(p.clipTop, static_cast<int>(std::floor(std::min(a.y, b.y) - 0.5f)));
    s.maxX = std::min(p.clipRight - 1, static_cast<int>(std::ceil(std::max(a.x, b.x) + 0.5f)));
    s.maxY = std::min(p.clipBottom - 1, static_cast<int>(std::ceil(std::max(a.y, b.y) + 0.5f)));
    if (s.minX > s.maxX || s.minY > s.maxY)
        return false;
    s.varyingIndex = static_cast<uint32_t>(varyings.size());
    for (int i = 0; i < p.varyingCount; ++i)
        varyings.push_back(a.varyings[i]);
    for (int i = 0; i < p.varyingCount; ++i) {
        const bool flat = p.flatShade && i < VARYING_FOG;
        varyings.push_back(flat || point ? a.varyings[i] : b.varyings[i]);
    }
    lines.push_back(s);
    return true;
}

} // namespace pipeline
} // namespace swd3d9
