#pragma once

// One validated draw as the pipeline receives it: the primitives, the
// vertices or indices they use, the vertex layout and the vertex streams.
// The device guarantees what the description says.

#include "pipeline/Limits.h"

#include <cstdint>
#include <vector>

namespace swd3d9 {

// One vertex stream as the draw sees it: bytes from the binding's offset
// to the end of the buffer.
struct StreamView {
    const uint8_t* data;
    // 64-bit: vertices drawn from the application's memory can span more
    // than 4 GiB.
    uint64_t size;
    UINT stride;
    // Vertices addressable from data (size / stride); indices beyond must
    // not be read.
    UINT vertexLimit;
};

struct DrawDescription {
    D3DPRIMITIVETYPE primitiveType;
    UINT primitiveCount;
    // Non-indexed draws use vertices startVertex .. startVertex + vertexCount - 1,
    // all within every stream's vertexLimit.
    bool indexed;
    UINT startVertex;
    UINT vertexCount;
    // Indexed draws: indexCount indices of indexSize bytes (2 or 4), each
    // plus baseVertex naming a vertex. The application promised the range
    // minIndex .. minIndex + numVertices - 1; stray indices still need the
    // vertexLimit check.
    const uint8_t* indices;
    UINT indexSize;
    UINT indexCount;
    INT baseVertex;
    UINT minIndex;
    UINT numVertices;
    // The vertex layout: an FVF code, or when fvf is 0 the elements of a
    // declaration (without its end marker).
    DWORD fvf;
    const std::vector<D3DVERTEXELEMENT9>* declaration;
    StreamView streams[STREAM_COUNT];
};

} // namespace swd3d9
