#pragma once

// Vertex fetch: where each vertex component lives in the streams (from an
// FVF code or a declaration) and its conversion to floats.

#include "pipeline/DrawDescription.h"
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

// Where the inputs of a vertex program live: element i is the program's
// input i, found in the declaration (or FVF) by usage and usage index;
// a missing one (stream -1) reads as (0, 0, 0, 1).
constexpr int MAX_PROGRAM_INPUTS = 16;
struct ProgramInputLayout {
    int count;
    VertexElement elements[MAX_PROGRAM_INPUTS];
};

// False when the layout has no usable position.
bool layoutFromFvf(DWORD fvf, VertexLayout& layout);
bool layoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& declaration, VertexLayout& layout);

// Bytes from a vertex's start that the layout reads in a stream (0 when it
// reads nothing there).
UINT layoutExtent(const VertexLayout& layout, int stream);

// The elements of a program's inputs, given as (usage, usage index)
// pairs, in a declaration or an FVF code (whose parts stand for POSITION0,
// NORMAL0, COLOR0, COLOR1 and TEXCOORD0-7). False for more inputs than a
// layout holds.
bool programInputsFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& declaration, const uint8_t (*usages)[2],
                                  int count, ProgramInputLayout& layout);
bool programInputsFromFvf(DWORD fvf, const uint8_t (*usages)[2], int count, ProgramInputLayout& layout);
UINT programInputExtent(const ProgramInputLayout& layout, int stream);

// Reads vertices first .. first + count - 1 as structure of arrays: input
// i's component c of vertex first + k goes to columns[4 * i + c][k]. Every
// declaration type is converted; missing components read as Direct3D
// fills them (0, 0, 0, 1).
void fetchProgramInputs(const ProgramInputLayout& layout, const StreamView* streams, UINT first, int count,
                        float* const* columns);

// Reads vertex `index` of the streams (the caller checked the limits).
void fetchVertex(const VertexLayout& layout, const StreamView* streams, UINT index, FetchedVertex& vertex);

} // namespace pipeline
} // namespace swd3d9
