#pragma once

// What the drawing pipeline keeps from draw to draw for one device: the
// compiled state, scratch storage reused by every draw, the worker pool,
// and the batch of triangles waiting to be rasterised.

#include "pipeline/Binning.h"
#include "pipeline/DrawObjects.h"
#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"
#include "pipeline/VertexProgram.h"
#include "pipeline/VertexShading.h"
#include "pipeline/WorkerPool.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace swd3d9 {
namespace pipeline {

// Draws of at most this many primitives count as small: their vertices
// are coloured after culling, their lines drawn on the calling thread.
constexpr size_t SMALL_DRAW_PRIMITIVES = 64;

// Triangles, planes and lines of primitive setup.
struct SetupOutput {
    std::vector<Triangle> triangles;
    std::vector<Plane> planes;
    std::vector<LineSegment> lines;
    std::vector<float> lineVaryings;

    void clear()
    {
        triangles.clear();
        planes.clear();
        lines.clear();
        lineVaryings.clear();
    }
};

// Per-device scratch storage, reused from draw to draw so that drawing
// allocates only while the buffers still grow, and the worker pool.
struct PipelineContext {
    WorkerPool pool;
    PixelContext pixels;
    bool pixelsValid = false;
    VertexKey vertexKey;
    VertexConstants vertexConstants;
    // The vertex program of the current draw, and the vertex texture
    // samplers it reads.
    VertexProgramSetup vertexProgram;
    SamplerSetup vertexSamplers[VERTEX_SAMPLERS];
    // vertexConstants.lights hold the device's lights for its current view.
    bool lightsPrepared = false;
    std::vector<ShadedVertex> vertices;
    // Small lit draws: the fetched vertices, kept until the vertices that
    // culled triangles leave unused are known, and which are used.
    std::vector<FetchedVertex> fetched;
    std::vector<uint8_t> used;
    // Setup output of the whole draw, and of each chunk of primitives set
    // up in parallel (joined in primitive order).
    SetupOutput output;
    std::vector<SetupOutput> chunks;
    TileBins bins;

    // The triangles waiting to be rasterised, the states they were drawn
    // with (copies of `pixels`, reused from batch to batch), their bins over
    // the whole target, and the objects they read and write, held until the
    // batch is drawn.
    SetupOutput batch;
    std::vector<std::unique_ptr<PixelContext>> batchContexts;
    std::vector<const PixelContext*> batchContextTable;
    TileBins batchBins;
    std::vector<HeldObject*> batchHeld;
    DrawnTarget* batchTarget = nullptr;
};
static_assert(std::is_trivially_copyable<PixelContext>::value && std::is_standard_layout<PixelContext>::value,
              "batched states are compared and copied as bytes");

} // namespace pipeline
} // namespace swd3d9
