#pragma once

// Triangle, line and point setup: the viewport transform, then what the
// rasteriser needs per primitive: fixed-point edge functions with the
// top-left rule folded in, a bounding box, and planes for depth, 1/w and
// the perspective-divided varyings.

#include "pipeline/VertexShading.h"

#include <vector>

namespace swd3d9 {
namespace pipeline {

// Sub-pixel precision of vertex positions. Positions are limited to
// +-MAX_SCREEN_COORDINATE pixels, so a fixed-point coordinate fits 23
// bits, an edge coefficient 24 bits, and an edge function value (a
// coefficient times a coordinate, summed three times) stays below 2^50:
// int64 arithmetic cannot overflow.
constexpr int SUBPIXEL_BITS = 8;
constexpr int SUBPIXEL_ONE = 1 << SUBPIXEL_BITS;
constexpr float MAX_SCREEN_COORDINATE = 16384.0f;

// A vertex after the viewport transform.
struct ScreenVertex {
    float x, y, z, invW;
    const float* varyings;
};

// value(x, y) = base + dx * x + dy * y, x and y in pixels.
struct Plane {
    float base, dx, dy;
    float at(float x, float y) const { return base + dx * x + dy * y; }
};

struct Triangle {
    // Edge i: E(x, y) = a * x + b * y + c on fixed-point coordinates,
    // inside when E >= 0 (the top-left bias is folded into c).
    int64_t edgeA[3], edgeB[3], edgeC[3];
    int minX, minY, maxX, maxY; // inclusive pixel bounds, within the clip rectangle
    bool frontFace;
    // Which of the rasteriser's pixel contexts (the draw's states) applies.
    uint16_t context;
    float depthOffset; // depth bias and slope-scaled bias of this triangle
    // Index of this triangle's planes: z, 1/w, then varyings / w (those of
    // SetupParameters::planeVaryings).
    uint32_t planeIndex;
};

// Lines and points keep their two (or one) end vertices; the rasteriser
// walks them directly.
struct LineSegment {
    float x[2], y[2], z[2], invW[2];
    int minX, minY, maxX, maxY;
    bool point;
    uint32_t varyingIndex; // 2 x varyingCount floats (points: 1 x)
};

struct SetupParameters {
    // Viewport transform (not applied to pre-transformed vertices).
    float scaleX, offsetX, scaleY, offsetY, scaleZ, offsetZ;
    bool pretransformed;
    // Clip rectangle (viewport and scissor on the target), right/bottom exclusive.
    int clipLeft, clipTop, clipRight, clipBottom;
    int varyingCount;
    // The varyings that get planes, in order (a triangle's planes 2, 3, ...):
    // a pixel program interpolates only the inputs it reads. Null: every
    // varying, plane 2 + v for varying v.
    const uint8_t* planeVaryings;
    int planeVaryingCount;
    // Colours taken from the first vertex (flat shading).
    bool flatShade;
    // D3DCULL value as the viewer sees the winding.
    uint32_t cullMode;
    float depthBias, slopeScaleBias;
    // How far (fixed-point units) samples lie from pixel centres at most.
    int sampleMargin;
};

// The viewport transform of a clip-space (or pre-transformed) vertex.
ScreenVertex toScreen(const SetupParameters& p, const ShadedVertex& v);

// Sets up one triangle (v0 is the provoking vertex). False when it covers
// no pixel centre region, is culled, or is degenerate.
bool setupTriangle(const SetupParameters& p, const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
                   std::vector<Triangle>& triangles, std::vector<Plane>& planes);

// Whether setupTriangle can keep an unclipped triangle: its vertices are in
// range, its area is not zero and the cull mode keeps its winding. A
// triangle that fails is never drawn, so its vertices need no colours.
bool survivesCulling(const SetupParameters& p, const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2);

// Whether a screen-space triangle survives culling (counter-clockwise and
// clockwise as the viewer sees them, y downwards).
bool passesCull(uint32_t cullMode, float area);

bool setupLine(const SetupParameters& p, const ScreenVertex& a, const ScreenVertex& b, bool point,
               std::vector<LineSegment>& lines, std::vector<float>& varyings);

} // namespace pipeline
} // namespace swd3d9
