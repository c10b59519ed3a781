#include "pipeline/Clipper.h"

namespace swd3d9 {
namespace pipeline {

namespace {

// Signed distance to plane `plane` (outcode bit), non-negative inside; the
// sides lie at x = ±sideX·w and y = ±sideY·w.
float planeDistance(const ShadedVertex& v, int plane, float sideX, float sideY)
{
    const float* p = v.position;
    switch (plane) {
    case 0:
        return sideX * p[3] + p[0];
    case 1:
        return sideX * p[3] - p[0];
    case 2:
        return sideY * p[3] + p[1];
    case 3:
        return sideY * p[3] - p[1];
    case 4:
        return p[2];
    case 5:
        return p[3] - p[2];
    default:
        return v.clipDistance[plane - 6];
    }
}

void lerpVertex(const ShadedVertex& a, const ShadedVertex& b, float t, int varyingCount, ShadedVertex& out)
{
    for (int i = 0; i < 4; ++i)
        out.position[i] = a.position[i] + (b.position[i] - a.position[i]) * t;
    for (int i = 0; i < MAX_CLIP_DISTANCES; ++i)
        out.clipDistance[i] = a.clipDistance[i] + (b.clipDistance[i] - a.clipDistance[i]) * t;
    for (int i = 0; i < varyingCount; ++i)
        out.varyings[i] = a.varyings[i] + (b.varyings[i] - a.varyings[i]) * t;
    out.outcode = 0;
}

void copyVertex(const ShadedVertex& v, int varyingCount, ShadedVertex& out)
{
    for (int i = 0; i < 4; ++i)
        out.position[i] = v.position[i];
    for (int i = 0; i < MAX_CLIP_DISTANCES; ++i)
        out.clipDistance[i] = v.clipDistance[i];
    for (int i = 0; i < varyingCount; ++i)
        out.varyings[i] = v.varyings[i];
    out.outcode = 0;
}

} // namespace

int clipTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c, uint32_t planes,
                 int varyingCount, ShadedVertex* out, float sideX, float sideY)
{
    ShadedVertex bufferA[MAX_CLIPPED_VERTICES];
    ShadedVertex bufferB[MAX_CLIPPED_VERTICES];
    ShadedVertex* input = bufferA;
    ShadedVertex* output = bufferB;
    copyVertex(a, varyingCount, input[0]);
    copyVertex(b, varyingCount, input[1]);
    copyVertex(c, varyingCount, input[2]);
    int count = 3;
    for (int plane = 0; plane < 12 && count > 0; ++plane) {
        if (!(planes & (1u << plane)))
            continue;
        int produced = 0;
        for (int i = 0; i < count; ++i) {
            const ShadedVertex& current = input[i];
            const ShadedVertex& next = input[(i + 1) % count];
            const float dc = planeDistance(current, plane, sideX, sideY);
            const float dn = planeDistance(next, plane, sideX, sideY);
            if (dc >= 0.0f)
                copyVertex(current, varyingCount, output[produced++]);
            // The crossing is always computed from the inside vertex, so a
            // shared edge clips to the same point in both its triangles.
            if ((dc >= 0.0f) != (dn >= 0.0f) && produced < MAX_CLIPPED_VERTICES) {
                if (dc >= 0.0f)
                    lerpVertex(current, next, dc / (dc - dn), varyingCount, output[produced++]);
                else
                    lerpVertex(next, current, dn / (dn - dc), varyingCount, output[produced++]);
            }
        }
        count = produced;
        ShadedVertex* swap = input;
        input = output;
        output = swap;
    }
    for (int i = 0; i < count; ++i)
        copyVertex(input[i], varyingCount, out[i]);
    return count < 3 ? 0 : count;
}

bool clipLine(const ShadedVertex& a, const ShadedVertex& b, uint32_t planes, int varyingCount, ShadedVertex& outA,
              ShadedVertex& outB)
{
    float t0 = 0.0f, t1 = 1.0f;
    for (int plane = 0; plane < 12; ++plane) {
        if (!(planes & (1u << plane)))
            continue;
        const float da = planeDistance(a, plane, 1.0f, 1.0f);
        const float db = planeDistance(b, plane, 1.0f, 1.0f);
        if (da < 0.0f && db < 0.0f)
            return false;
        if (da < 0.0f)
            t0 = t0 > da / (da - db) ? t0 : da / (da - db);
        else if (db < 0.0f)
            t1 = t1 < da / (da - db) ? t1 : da / (da - db);
    }
    if (t0 > t1)
        return false;
    lerpVertex(a, b, t0, varyingCount, outA);
    lerpVertex(a, b, t1, varyingCount, outB);
    return true;
}

} // namespace pipeline
} // namespace swd3d9
