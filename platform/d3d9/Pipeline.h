#pragma once

// The entry point from the device's validated draw calls into the drawing
// pipeline (vertex processing, clipping, rasterisation, texturing, per-pixel
// operations). The device guarantees what the description says; the
// pipeline reads everything else from the device's DeviceState.

#include "d3d9/DeviceState.h"

namespace swd3d9 {

class Device;

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
    // The vertex layout: an FVF code, or a declaration when fvf is 0.
    DWORD fvf;
    const VertexDeclaration* declaration;
    StreamView streams[STREAM_COUNT];
};

// Draws with the device's current state into its current render targets.
// Called only with valid arguments, inside a scene, on a device that is not
// lost. Triangles may wait in a batch: see flushDraws. E_OUTOFMEMORY when
// memory runs out; the draw then leaves nothing behind (what earlier draws
// left waiting stays) and the device draws on as before.
HRESULT drawPrimitives(Device& device, const DrawDescription& draw);

// Rasterises the triangles that wait. Called before anything reads or
// writes a surface, texture or volume outside the drawing pipeline (locks,
// copies, clears, presentation), changes the render targets, or resets
// the device. Does nothing when no draw waits. Cannot fail: rasterising
// allocates nothing.
void flushDraws(Device& device);

// Drops the triangles that wait, undrawn (the device is going away).
void discardDraws(Device& device);

// Runs work(context, i) for every i below count on the device's drawing
// threads (the caller among them) and returns when all are done: for work
// outside drawing that splits into independent parts, such as the row
// bands of a presentation or a clear. False when a part threw (the parts
// not yet started are then skipped).
bool runOnDrawingThreads(Device& device, unsigned count, void (*work)(void* context, unsigned index),
                         void* context);

} // namespace swd3d9
