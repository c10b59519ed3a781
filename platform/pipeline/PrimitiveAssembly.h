#pragma once

// Primitive assembly: the draw's primitives from its indices (or vertex
// sequence), dropped when out of view, clipped against the view volume,
// the guard band and the user clip planes, and set up for rasterisation
// (culling, edge equations, interpolation planes), in chunks on the
// workers for large draws.

#include "pipeline/PipelineContext.h"

#include "pipeline/DrawDescription.h"

namespace swd3d9 {
namespace pipeline {

// Vertex number `i` of the draw's index list or sequence.
struct VertexSource {
    const DrawDescription& draw;
    UINT first; // the lowest vertex shaded
    UINT limit; // one past the highest addressable vertex

    // The position in the shaded array, or -1 for a vertex that cannot be read.
    int64_t at(UINT i) const
    {
        int64_t vertex;
        if (!draw.indexed) {
            vertex = static_cast<int64_t>(draw.startVertex) + i;
        } else {
            uint32_t index;
            if (draw.indexSize == 2) {
                uint16_t i16;
                std::memcpy(&i16, draw.indices + 2 * static_cast<size_t>(i), 2);
                index = i16;
            } else {
                std::memcpy(&index, draw.indices + 4 * static_cast<size_t>(i), 4);
            }
            vertex = static_cast<int64_t>(index) + draw.baseVertex;
        }
        if (vertex < first || vertex >= limit)
            return -1;
        return vertex - first;
    }
};

// Whether a primitive whose vertices all lie beyond the planes `shared`
// (the AND of their outcodes) can be dropped unseen.
bool outOfView(const SetupParameters& setup, uint32_t shared, const ShadedVertex* const* v, int count);

// Assembles and sets up the draw's primitives from the shaded vertices
// c.vertices (vertex `first` at index 0) into `out`, in primitive order
// whatever ran where. False when a task on the workers failed.
bool assemblePrimitives(PipelineContext& c, const DrawDescription& draw, const SetupParameters& setup, DWORD fillMode,
                        UINT first, UINT count, SetupOutput& out);

} // namespace pipeline
} // namespace swd3d9
