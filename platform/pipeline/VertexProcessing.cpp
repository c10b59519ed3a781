#include "pipeline/VertexProcessing.h"

#include "pipeline/PrimitiveAssembly.h"
#include "pipeline/VertexFetch.h"

#include <algorithm>
#include <cstdint>

namespace swd3d9 {
namespace pipeline {

namespace {

// Work unit of the parallel vertex shading.
constexpr UINT VERTEX_CHUNK = 4096;

// Colours the vertices of a triangle list's triangles that can be drawn:
// every triangle that needs clipping, and the unclipped ones that pass
// setup's cull test. The others are never drawn, and their vertices
// (unless shared) keep no colours.
void colorUsedVertices(PipelineContext& c, const DrawDescription& draw, const SetupParameters& setup, UINT first,
                       UINT count)
{
    c.used.assign(count, 0);
    const VertexSource source{draw, first, first + count};
    const ShadedVertex* vertices = c.vertices.data();
    for (UINT p = 0; p < draw.primitiveCount; ++p) {
        const int64_t k[3] = {source.at(3 * p), source.at(3 * p + 1), source.at(3 * p + 2)};
        if (k[0] < 0 || k[1] < 0 || k[2] < 0)
            continue;
        const ShadedVertex& a = vertices[k[0]];
        const ShadedVertex& b = vertices[k[1]];
        const ShadedVertex& d = vertices[k[2]];
        const ShadedVertex* const corners[3] = {&a, &b, &d};
        if (outOfView(setup, a.outcode & b.outcode & d.outcode, corners, 3))
            continue;
        if ((a.outcode | b.outcode | d.outcode) == 0) {
            const ScreenVertex sa{a.screen[0], a.screen[1], a.screen[2], a.screen[3], a.varyings};
            const ScreenVertex sb{b.screen[0], b.screen[1], b.screen[2], b.screen[3], b.varyings};
            const ScreenVertex sd{d.screen[0], d.screen[1], d.screen[2], d.screen[3], d.varyings};
            if (!survivesCulling(setup, sa, sb, sd))
                continue;
        }
        c.used[static_cast<size_t>(k[0])] = c.used[static_cast<size_t>(k[1])] = c.used[static_cast<size_t>(k[2])] = 1;
    }
    for (UINT i = 0; i < count; ++i) {
        if (c.used[i])
            colorVertex(c.vertexKey, c.vertexConstants, c.fetched[i], c.vertices[i]);
    }
}

} // namespace

bool drawnVertices(const PipelineContext& c, const DrawDescription& draw, const VertexLayout& layout, bool programmed,
                   UINT& first, UINT& count)
{
    // The vertices the draw can address: every used stream holds them.
    // A vertex counts only when every element the layout reads lies inside
    // its stream (a stride smaller than the layout must not read past the end).
    UINT limit = UINT32_MAX;
    for (int s = 0; s < static_cast<int>(STREAM_COUNT); ++s) {
        const StreamView& view = draw.streams[s];
        const UINT extent =
            programmed ? programInputExtent(c.vertexProgram.inputs, s) : layoutExtent(layout, s);
        if (extent == 0)
            continue;
        if (!view.data || view.stride == 0)
            return false;
        UINT readable = 0;
        if (view.size >= extent)
            readable = static_cast<UINT>(std::min<uint64_t>(view.vertexLimit, (view.size - extent) / view.stride + 1));
        limit = std::min(limit, readable);
    }
    if (limit == UINT32_MAX)
        return false;
    first = 0;
    count = 0;
    if (!draw.indexed) {
        first = draw.startVertex;
        if (first >= limit)
            return false;
        count = std::min(draw.vertexCount, limit - first);
    } else {
        // Shade the vertices the indices actually name (within what the
        // streams hold), whatever range the application promised.
        int64_t lo = INT64_MAX, hi = -1;
        VertexSource all{draw, 0, limit};
        for (UINT i = 0; i < draw.indexCount; ++i) {
            const int64_t v = all.at(i);
            if (v < 0)
                continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        if (hi < 0)
            return false;
        first = static_cast<UINT>(lo);
        count = static_cast<UINT>(hi - lo + 1);
    }
    return true;
}

bool processVertices(PipelineContext& c, const DrawDescription& draw, const VertexLayout& layout, bool programmed,
                     const SetupParameters& setup, DWORD fillMode, UINT first, UINT count)
{
    if (c.vertices.size() < count)
        c.vertices.resize(count);
    // A small lit triangle list with culling on colours only the vertices
    // of the triangles that survive culling (the faces of a closed mesh
    // turned away from the viewer are about half of it): positions first,
    // then setup's own cull test, then the lighting.
    const bool colorLater = draw.primitiveType == D3DPT_TRIANGLELIST &&
                            draw.primitiveCount <= SMALL_DRAW_PRIMITIVES && count <= 3 * SMALL_DRAW_PRIMITIVES &&
                            !programmed && c.vertexKey.lighting && fillMode == D3DFILL_SOLID &&
                            setup.cullMode != D3DCULL_NONE;
    if (colorLater && c.fetched.size() < count)
        c.fetched.resize(count);

    // Vertices are shaded in independent chunks, in parallel for large draws.
    struct ShadeJob {
        PipelineContext* c;
        const VertexLayout* layout;
        const DrawDescription* draw;
        const SetupParameters* setup;
        UINT first, count;
        bool colorLater;
        bool programmed;
    } shadeJob{&c, &layout, &draw, &setup, first, count, colorLater, programmed};
    auto shadeChunk = [](void* context, unsigned chunk) {
        const ShadeJob& job = *static_cast<const ShadeJob*>(context);
        const UINT begin = chunk * VERTEX_CHUNK;
        const UINT end = std::min(job.count, begin + VERTEX_CHUNK);
        if (job.programmed) {
            shadeProgramVertices(job.c->vertexProgram, job.draw->streams, job.first + begin, end - begin,
                                 job.c->vertices.data() + begin);
            for (UINT i = begin; i < end; ++i) {
                ShadedVertex& out = job.c->vertices[i];
                if (out.outcode == 0) {
                    const ScreenVertex s = toScreen(*job.setup, out);
                    out.screen[0] = s.x, out.screen[1] = s.y, out.screen[2] = s.z, out.screen[3] = s.invW;
                }
            }
            return;
        }
        FetchedVertex local;
        for (UINT i = begin; i < end; ++i) {
            FetchedVertex& fetched = job.colorLater ? job.c->fetched[i] : local;
            fetchVertex(*job.layout, job.draw->streams, job.first + i, fetched);
            ShadedVertex& out = job.c->vertices[i];
            if (job.colorLater)
                transformVertex(job.c->vertexKey, job.c->vertexConstants, fetched, out);
            else
                shadeVertex(job.c->vertexKey, job.c->vertexConstants, fetched, out);
            if (out.outcode == 0) {
                const ScreenVertex s = toScreen(*job.setup, out);
                out.screen[0] = s.x, out.screen[1] = s.y, out.screen[2] = s.z, out.screen[3] = s.invW;
            }
        }
    };
    const unsigned vertexChunks = (count + VERTEX_CHUNK - 1) / VERTEX_CHUNK;
    if (vertexChunks > 1) {
        if (!c.pool.run(vertexChunks, shadeChunk, &shadeJob))
            return false;
    } else {
        shadeChunk(&shadeJob, 0);
    }
    if (colorLater)
        colorUsedVertices(c, draw, setup, first, count);
    return true;
}

} // namespace pipeline
} // namespace swd3d9
