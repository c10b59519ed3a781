#pragma once

// Vertex fetch: where each vertex component lives in the streams (from an
// FVF code or a declaration) and its conversion to floats.

#include "d3d9/Pipeline.h"
#include "pipeline/DrawState.h"

namespace swd3d9 {
namespace pipeline {

struct VertexElement {
    int8_t stream; // -1: absent
    uint8_t type;  // D3DDECLTYPE
    uint16_t offset;
};

struct VertexLayout {
    bool pretransformed;
    VertexElement position, normal, diffuse, specular;
    VertexElement texCoords[8];
};

// A fetched vertex. Absent colours read as opaque white (diffuse) and
// transparent black (specular); absent texture coordinates as (0, 0, 0, 1),
// and a coordinate set's missing components as 0 except the one after
// the last, which reads as 1.
struct FetchedVertex {
    float position[4];
    float normal[3];
    float diffuse[4];
    float specular[4];
    float texCoords[8][4];
};

// False when the layout has no usable position.
bool layoutFromFvf(DWORD fvf, VertexLayout& layout);
bool layoutFromDeclaration(const VertexDeclaration& declaration, VertexLayout& layout);

// Bytes from a vertex's start that the layout reads in a stream (0 when it
// reads nothing there).
UINT layoutExtent(const VertexLayout& layout, int stream);

// Reads vertex `index` of the streams (the caller checked the limits).
void fetchVertex(const VertexLayout& layout, const StreamView* streams, UINT index, FetchedVertex& vertex);

} // namespace pipeline
} // namespace swd3d9
