#pragma once

// Vertex shading: the fixed-function transform, lighting, vertex fog and
// texture-coordinate generation, turning fetched vertices into clip-space
// positions and varyings. The programmable vertex stage (VertexProgram.h)
// produces the same ShadedVertex.

#include "pipeline/DrawState.h"
#include "pipeline/VertexFetch.h"

namespace swd3d9 {
namespace pipeline {

struct alignas(16) ShadedVertex {
    // Clip space; for pre-transformed vertices, screen x, y, z and 1/w.
    float position[4];
    float clipDistance[MAX_CLIP_DISTANCES];
    float varyings[MAX_VARYINGS];
    // Screen x, y, z and 1/w after the viewport transform, filled in by
    // setup for vertices inside the view volume.
    float screen[4];
    // Bits 0-5: outside -w<=x, x<=w, -w<=y, y<=w, 0<=z, z<=w; bits 6-11:
    // behind user clip planes 0-5.
    uint32_t outcode;
};

// A light as vertex shading reads it: its colours as floats, its position
// and direction moved into camera space by the view matrix.
void lightInCameraSpace(const D3DLIGHT9& light, const Matrix& view, Light& out);

// The matrix that transforms normals (row vectors) as m transforms points.
void normalMatrixOf(const Matrix& m, float out[3][3]);

void shadeVertex(const VertexKey& key, const VertexConstants& constants, const FetchedVertex& in, ShadedVertex& out);

// The two halves of shadeVertex for vertices that are not pre-transformed:
// the clip-space position, clip distances and outcode, then the varyings
// (lighting, fog, texture coordinates). Draws whose culled triangles leave
// vertices unused colour only the vertices that are drawn.
void transformVertex(const VertexKey& key, const VertexConstants& constants, const FetchedVertex& in,
                     ShadedVertex& out);
void colorVertex(const VertexKey& key, const VertexConstants& constants, const FetchedVertex& in, ShadedVertex& out);

// The vertex-fog factor of a mode at a distance (1: no fog, 0: all fog).
float fogFactor(uint8_t mode, const FogParameters& fog, float distance);

void multiply(const Matrix& a, const Matrix& b, Matrix& out);

} // namespace pipeline
} // namespace swd3d9
