#pragma once

// The plain-colour span: the rows of a triangle drawn without textures, fog,
// alpha test, stencil or blending into a 32-bit single-sample target, with
// the general path's arithmetic but none of its per-pixel choices. What
// depends only on the triangle and the draw (the target rows, the colour
// planes, the routine for the depth function) is prepared once per
// triangle; each row then starts from its first pixel.

#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

struct PlainTriangle {
    // Draws pixels lo..hi of row y; fx and fy are where the planes are
    // evaluated for pixel lo.
    void (*drawRow)(const PlainTriangle& t, int64_t lo, int64_t hi, int y, float fx, float fy);
    uint8_t* color;
    size_t colorPitch;
    UINT colorHeight;
    uint8_t* depth; // null without depth testing
    size_t depthPitch;
    UINT depthHeight;
    bool zWrite;
    uint32_t alphaFill;
    Plane zPlane, qPlane;
    float depthOffset;
#if defined(__SSE2__)
    // The diffuse and specular RGBA planes, a channel per lane.
    __m128 diffuseBase, diffuseDx, diffuseDy;
    __m128 specularBase, specularDx, specularDy;
#else
    Plane varyingPlanes[8];
#endif
};

// Prepares the spans of one triangle: planes holds its z, 1/w and varying
// planes (as setup stores them).
void preparePlainTriangle(const PixelContext& pixels, const Plane* planes, float depthOffset, PlainTriangle& t);

inline void plainColorSpan(const PlainTriangle& t, int64_t lo, int64_t hi, int y, float fx, float fy)
{
    t.drawRow(t, lo, hi, y, fx, fy);
}

} // namespace pipeline
} // namespace swd3d9
