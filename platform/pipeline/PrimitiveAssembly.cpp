#include "pipeline/PrimitiveAssembly.h"

#include "pipeline/Clipper.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

// Work unit of the parallel primitive setup.
constexpr UINT PRIMITIVE_CHUNK = 8192;

// Outcode bits of the four sides of the view volume (x and y).
constexpr uint32_t VIEW_SIDES = 0xF;
// The guard band in screen pixels, inside the range triangle setup takes
// (with room for the sample margin).
constexpr float GUARD_BAND = MAX_SCREEN_COORDINATE - 64.0f;

} // namespace

// The sides of the view volume meet the screen at the viewport's edges,
// where the centres of the border pixels lie half a pixel inside; with
// multisampling the samples of the left and top border pixels reach up to
// half a pixel outside, so beyond a side a primitive is out of view only
// when its vertices all lie beyond that side moved out by the sample
// margin.
bool outOfView(const SetupParameters& setup, uint32_t shared, const ShadedVertex* const* v, int count)
{
    if (shared & ~VIEW_SIDES)
        return true;
    if (!shared)
        return false;
    if (setup.sampleMargin == 0 || setup.pretransformed)
        return true;
    const float margin = static_cast<float>(setup.sampleMargin) / static_cast<float>(SUBPIXEL_ONE);
    const float sideX = 1.0f + margin / std::fabs(setup.scaleX);
    const float sideY = 1.0f + margin / std::fabs(setup.scaleY);
    if (!std::isfinite(sideX) || !std::isfinite(sideY))
        return true;
    uint32_t beyond = VIEW_SIDES;
    for (int i = 0; i < count; ++i) {
        const float* p = v[i]->position;
        uint32_t code = 0;
        code |= static_cast<uint32_t>(p[0] < -sideX * p[3]) << 0;
        code |= static_cast<uint32_t>(p[0] > sideX * p[3]) << 1;
        code |= static_cast<uint32_t>(p[1] < -sideY * p[3]) << 2;
        code |= static_cast<uint32_t>(p[1] > sideY * p[3]) << 3;
        beyond &= code;
    }
    return (beyond & shared) != 0;
}

namespace {

struct Assembler {
    SetupOutput& c;
    SetupParameters setup;
    DWORD fillMode;
    D3DPRIMITIVETYPE type;

    int varyingCount() const { return setup.varyingCount; }

    void addLine(const ShadedVertex& a, const ShadedVertex& b)
    {
        const uint32_t codes = a.outcode | b.outcode;
        if (a.outcode & b.outcode)
            return;
        if (codes) {
            ShadedVertex ca, cb;
            if (!clipLine(a, b, codes, varyingCount(), ca, cb))
                return;
            setupLine(setup, toScreen(setup, ca), toScreen(setup, cb), false, c.lines, c.lineVaryings);
        } else {
            setupLine(setup, toScreen(setup, a), toScreen(setup, b), false, c.lines, c.lineVaryings);
        }
    }

    void addPoint(const ShadedVertex& a)
    {
        if (a.outcode)
            return;
        const ScreenVertex s = toScreen(setup, a);
        setupLine(setup, s, s, true, c.lines, c.lineVaryings);
    }

    // The guard band's half extent along one axis in clip-square units
    // (x = ±side·w), for a viewport mapping clip x to screen x·scale +
    // offset; the view's own square (1) for a viewport that maps nothing.
    static float guardBandSide(float scale, float offset)
    {
        const float side = (GUARD_BAND - std::fabs(offset)) / std::fabs(scale);
        return std::isfinite(side) && side > 1.0f ? side : 1.0f;
    }

    // Whether a vertex lands within the guard band (the caps' GuardBand
    // rectangle), where the rasterizer takes it as it is.
    bool withinGuardBand(const ShadedVertex& v) const
    {
        const float w = v.position[3];
        if (!(w > 0.0f))
            return false;
        const float x = v.position[0] / w * setup.scaleX + setup.offsetX;
        const float y = v.position[1] / w * setup.scaleY + setup.offsetY;
        return std::fabs(x) < GUARD_BAND && std::fabs(y) < GUARD_BAND;
    }

    void addTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& d)
    {
        const ShadedVertex* const corners[3] = {&a, &b, &d};
        if (outOfView(setup, a.outcode & b.outcode & d.outcode, corners, 3))
            return;
        const uint32_t codes = a.outcode | b.outcode | d.outcode;
        // Within the guard band a triangle is not cut at the sides of the view
        // volume: the rasterizer keeps to the viewport's pixels, so that the
        // samples of the border pixels that lie outside the clip square still
        // see the triangle, as on hardware.
        // Beyond it, the sides are cut at the guard band's edges rather
        // than the view's, as hardware does: a triangle that must be cut
        // (one reaching behind the eye, a large floor) still covers the
        // border pixels whole, and tiles drawn side by side meet without a
        // line of half-covered pixels.
        uint32_t planes = codes;
        float sideX = 1.0f, sideY = 1.0f;
        if ((codes & VIEW_SIDES) && !setup.pretransformed) {
            if (withinGuardBand(a) && withinGuardBand(b) && withinGuardBand(d)) {
                planes &= ~VIEW_SIDES;
            } else {
                sideX = guardBandSide(setup.scaleX, setup.offsetX);
                sideY = guardBandSide(setup.scaleY, setup.offsetY);
            }
        }
        ShadedVertex clipped[MAX_CLIPPED_VERTICES];
        int count = 3;
        const ShadedVertex* polygon[MAX_CLIPPED_VERTICES] = {&a, &b, &d};
        if (planes) {
            count = clipTriangle(a, b, d, planes, varyingCount(), clipped, sideX, sideY);
            for (int i = 0; i < count; ++i)
                polygon[i] = &clipped[i];
            if (count == 0)
                return;
            // The provoking vertex keeps its colours through clipping.
            if (setup.flatShade) {
                for (int i = 0; i < count; ++i)
                    std::memcpy(clipped[i].varyings, a.varyings, VARYING_FOG * sizeof(float));
            }
        }
        ScreenVertex screen[MAX_CLIPPED_VERTICES];
        for (int i = 0; i < count; ++i) {
            if (codes) {
                screen[i] = toScreen(setup, *polygon[i]);
            } else {
                const float* p = polygon[i]->screen;
                screen[i] = {p[0], p[1], p[2], p[3], polygon[i]->varyings};
            }
        }
        if (fillMode == D3DFILL_SOLID) {
            for (int i = 1; i + 1 < count; ++i)
                setupTriangle(setup, screen[0], screen[i], screen[i + 1], c.triangles, c.planes);
            return;
        }
        // Wireframe and point fill: culled as a whole, then drawn as edges or vertices.
        float area = 0.0f;
        for (int i = 0; i < count; ++i) {
            const ScreenVertex& p = screen[i];
            const ScreenVertex& q = screen[(i + 1) % count];
            area += p.x * q.y - q.x * p.y;
        }
        if (area == 0.0f || !passesCull(setup.cullMode, area))
            return;
        for (int i = 0; i < count; ++i) {
            if (fillMode == D3DFILL_POINT)
                setupLine(setup, screen[i], screen[i], true, c.lines, c.lineVaryings);
            else
                setupLine(setup, screen[i], screen[(i + 1) % count], false, c.lines, c.lineVaryings);
        }
    }
};

} // namespace

bool assemblePrimitives(PipelineContext& c, const DrawDescription& draw, const SetupParameters& setup, DWORD fillMode,
                        UINT first, UINT count, SetupOutput& out)
{
    // Primitives are assembled and set up in chunks whose outputs are
    // joined in primitive order, so binning sees the same sequence
    // whatever ran where. A single thread sets the draw up as one chunk,
    // straight into `out`.
    const UINT primitives = draw.primitiveCount;
    const UINT chunkSize = c.pool.threadCount() > 1 ? PRIMITIVE_CHUNK : std::max<UINT>(1, primitives);
    const unsigned setupChunks = (primitives + chunkSize - 1) / chunkSize;
    if (c.chunks.size() < setupChunks)
        c.chunks.resize(setupChunks);
    struct SetupJob {
        PipelineContext* c;
        const DrawDescription* draw;
        VertexSource source;
        SetupParameters setup;
        DWORD fillMode;
        UINT chunkSize;
        SetupOutput* direct; // the one chunk's output, appended to
    } setupJob{&c, &draw, VertexSource{draw, first, first + count}, setup, fillMode, chunkSize,
               setupChunks == 1 ? &out : nullptr};
    auto setupChunk = [](void* context, unsigned chunk) {
        const SetupJob& job = *static_cast<const SetupJob*>(context);
        SetupOutput& chunkOut = job.direct ? *job.direct : job.c->chunks[chunk];
        if (!job.direct)
            chunkOut.clear();
        Assembler assembler{chunkOut, job.setup, job.fillMode, job.draw->primitiveType};
        const ShadedVertex* v = job.c->vertices.data();
        auto vertexAt = [&](UINT i) -> const ShadedVertex* {
            const int64_t k = job.source.at(i);
            return k < 0 ? nullptr : v + k;
        };
        const UINT begin = chunk * job.chunkSize;
        const UINT end = std::min(job.draw->primitiveCount, begin + job.chunkSize);
        const D3DPRIMITIVETYPE type = job.draw->primitiveType;
        for (UINT p = begin; p < end; ++p) {
            if (type == D3DPT_POINTLIST) {
                if (const ShadedVertex* a = vertexAt(p))
                    assembler.addPoint(*a);
            } else if (type == D3DPT_LINELIST || type == D3DPT_LINESTRIP) {
                const UINT i0 = type == D3DPT_LINELIST ? 2 * p : p;
                const ShadedVertex* a = vertexAt(i0);
                const ShadedVertex* b = vertexAt(i0 + 1);
                if (a && b)
                    assembler.addLine(*a, *b);
            } else {
                UINT i0, i1, i2;
                if (type == D3DPT_TRIANGLELIST) {
                    i0 = 3 * p, i1 = 3 * p + 1, i2 = 3 * p + 2;
                } else if (type == D3DPT_TRIANGLESTRIP) {
                    // Every other triangle of a strip is reversed to keep the winding.
                    i0 = p;
                    i1 = (p & 1) ? p + 2 : p + 1;
                    i2 = (p & 1) ? p + 1 : p + 2;
                } else {
                    i0 = p + 1, i1 = p + 2, i2 = 0;
                }
                const ShadedVertex* a = vertexAt(i0);
                const ShadedVertex* b = vertexAt(i1);
                const ShadedVertex* d = vertexAt(i2);
                if (a && b && d)
                    assembler.addTriangle(*a, *b, *d);
            }
        }
    };
    if (setupChunks > 1) {
        if (!c.pool.run(setupChunks, setupChunk, &setupJob))
            return false;
    } else {
        setupChunk(&setupJob, 0);
    }
    if (setupChunks > 1) {
        for (unsigned k = 0; k < setupChunks; ++k) {
            const SetupOutput& part = c.chunks[k];
            const uint32_t planeBase = static_cast<uint32_t>(out.planes.size());
            const uint32_t varyingBase = static_cast<uint32_t>(out.lineVaryings.size());
            for (Triangle t : part.triangles) {
                t.planeIndex += planeBase;
                out.triangles.push_back(t);
            }
            for (LineSegment l : part.lines) {
                l.varyingIndex += varyingBase;
                out.lines.push_back(l);
            }
            out.planes.insert(out.planes.end(), part.planes.begin(), part.planes.end());
            out.lineVaryings.insert(out.lineVaryings.end(), part.lineVaryings.begin(),
                                           part.lineVaryings.end());
        }
    }
    return true;
}

} // namespace pipeline
} // namespace swd3d9
