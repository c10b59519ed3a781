// The drawing pipeline for one validated draw: vertex fetch and shading in
// a batch, primitive assembly with clipping and culling, triangle setup,
// binning into tiles and the rasterisation of tiles by the worker pool.
//
// Triangles wait in a batch that spans draws and is rasterised tile by
// tile when something is about to look at or change what they draw into or
// read from (flushDraws): many small draws then share the worker threads
// and each tile's pixels stay in cache across draws. Within a tile,
// triangles keep their draw and primitive order, so the image is the same
// as drawing each call at once. Lines and points are drawn at once.

#include "d3d9/Pipeline.h"

#include "d3d9/Device.h"
#include "d3d9/ProgramShaders.h"
#include "d3d9/Resources.h"
#include "pipeline/Binning.h"
#include "pipeline/Clipper.h"
#include "pipeline/PixelProcessor.h"
#include "pipeline/Rasterizer.h"
#include "pipeline/TriangleSetup.h"
#include "pipeline/VertexProgram.h"
#include "pipeline/VertexShading.h"
#include "pipeline/WorkerPool.h"

#include <swd3d9.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <type_traits>
#include <vector>

namespace swd3d9 {

using namespace pipeline;

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
    std::vector<Lifetime*> batchHeld;
    Surface* batchTarget = nullptr;
};
static_assert(std::is_trivially_copyable<PixelContext>::value && std::is_standard_layout<PixelContext>::value,
              "batched states are compared and copied as bytes");

namespace {

constexpr uint32_t PIXEL_STATE_BITS = DIRTY_RENDER_STATES | DIRTY_STAGE_STATES | DIRTY_SAMPLER_STATES |
                                      DIRTY_TEXTURES | DIRTY_TARGETS | DIRTY_VIEWPORT | DIRTY_SCISSOR |
                                      DIRTY_PROJECTION | DIRTY_SHADERS | DIRTY_SHADER_CONSTANTS;

constexpr size_t SMALL_DRAW_PRIMITIVES = 64;
// A batch is drawn once it holds this many triangles or states.
constexpr size_t BATCH_TRIANGLES = 1u << 18;
constexpr size_t BATCH_CONTEXTS = 256;
// Triangle boxes of a small draw that, summed, make it worth the workers:
// four tiles' worth of pixels.
constexpr int64_t PARALLEL_BOX_PIXELS = 4 * TILE_SIZE * TILE_SIZE;
// Work units of the parallel vertex shading and primitive setup.
constexpr UINT VERTEX_CHUNK = 4096;
constexpr UINT PRIMITIVE_CHUNK = 8192;

// The device's pipeline context, made at its first use; null when memory
// for it runs out. Its threads are as many as the machine has cores, or as
// many as start.
PipelineContext* contextOf(Device& device) noexcept
{
    std::shared_ptr<PipelineContext>& context = device.pipelineContext();
    if (!context) {
        try {
            context = std::make_shared<PipelineContext>();
        } catch (const std::exception&) {
            return nullptr;
        }
        context->pool.setThreadCount(std::max(1u, std::thread::hardware_concurrency()));
    }
    return context.get();
}

// The target view of the current render target 0 and depth buffer: the
// viewport, intersected with the scissor rectangle and the surfaces.
bool buildTarget(const DeviceState& state, TargetView& target)
{
    Surface* color = state.renderTargets[0];
    if (!color)
        return false;
    target.color = &color->pixels();
    target.colorFormat = color->desc().Format;
    target.samples = std::max<UINT>(1, color->pixels().samples());
    int right = static_cast<int>(color->desc().Width);
    int bottom = static_cast<int>(color->desc().Height);
    target.depth = nullptr;
    target.depthFormat = D3DFMT_UNKNOWN;
    if (Surface* depth = state.depthStencil) {
        target.depth = &depth->pixels();
        target.depthFormat = depth->desc().Format;
        right = std::min(right, static_cast<int>(depth->desc().Width));
        bottom = std::min(bottom, static_cast<int>(depth->desc().Height));
    }
    const D3DVIEWPORT9& vp = state.viewport;
    target.viewportX = static_cast<float>(vp.X);
    target.viewportY = static_cast<float>(vp.Y);
    target.viewportWidth = static_cast<float>(vp.Width);
    target.viewportHeight = static_cast<float>(vp.Height);
    target.minZ = vp.MinZ;
    target.maxZ = vp.MaxZ;
    // The viewport may reach past the surfaces.
    int left = static_cast<int>(std::min<int64_t>(vp.X, right));
    int top = static_cast<int>(std::min<int64_t>(vp.Y, bottom));
    right = static_cast<int>(std::min<int64_t>(right, static_cast<int64_t>(vp.X) + vp.Width));
    bottom = static_cast<int>(std::min<int64_t>(bottom, static_cast<int64_t>(vp.Y) + vp.Height));
    if (state.renderStates[D3DRS_SCISSORTESTENABLE]) {
        const RECT& r = state.scissorRect;
        left = std::max<int>(left, r.left);
        top = std::max<int>(top, r.top);
        right = std::min<int>(right, r.right);
        bottom = std::min<int>(bottom, r.bottom);
    }
    target.clipLeft = left;
    target.clipTop = top;
    target.clipRight = right;
    target.clipBottom = bottom;
    return left < right && top < bottom;
}

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

// Outcode bits of the four sides of the view volume (x and y).
constexpr uint32_t VIEW_SIDES = 0xF;
// The guard band in screen pixels, inside the range triangle setup takes
// (with room for the sample margin).
constexpr float GUARD_BAND = MAX_SCREEN_COORDINATE - 64.0f;

// Whether a primitive whose vertices all lie beyond the planes `shared`
// (the AND of their outcodes) can be dropped unseen. The sides of the view
// volume meet the screen at the viewport's edges, where the centres of the
// border pixels lie half a pixel inside; with multisampling the samples of
// the left and top border pixels reach up to half a pixel outside, so
// beyond a side a primitive is out of view only when its vertices all lie
// beyond that side moved out by the sample margin.
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

struct TileJob {
    RasterInputs inputs;
    const std::vector<int>* tiles;
};

void runTile(void* context, unsigned index)
{
    const TileJob& job = *static_cast<const TileJob*>(context);
    rasterizeTile(job.inputs, (*job.tiles)[index]);
}

// Runs the tiles of a job, on the workers unless the job is small: tiles
// are independent, so the image does not depend on the choice. Rasterising
// a tile allocates nothing and cannot fail; the pool's answer is passed on
// all the same.
bool runTiles(PipelineContext& c, TileJob& job, bool parallel)
{
    if (!parallel) {
        for (unsigned i = 0; i < job.tiles->size(); ++i)
            runTile(&job, i);
        return true;
    }
    return c.pool.run(static_cast<unsigned>(job.tiles->size()), runTile, &job);
}

void releaseBatchObjects(PipelineContext& c)
{
    // Releasing may destroy an object; the list is emptied first so that
    // nothing reached from a destructor sees it half done.
    std::vector<Lifetime*> held;
    held.swap(c.batchHeld);
    for (Lifetime* object : held)
        object->releaseInternalRef();
    held.clear();
    if (c.batchHeld.empty())
        c.batchHeld.swap(held);
}

void resetBatch(PipelineContext& c)
{
    c.batch.clear();
    c.batchContextTable.clear();
    c.batchTarget = nullptr;
}

// Draws what waits and empties the batch. Tiles cannot fail (see
// runTiles), so the batch always leaves drawn.
void flushBatch(PipelineContext& c)
{
    if (!c.batch.triangles.empty()) {
        TileJob job;
        job.inputs = {c.batchContextTable.data(), &c.batch.triangles, &c.batch.planes, &c.batch.lines,
                      &c.batch.lineVaryings, &c.batchBins, false};
        job.tiles = &c.batchBins.usedTiles();
        int64_t boxPixels = 0;
        for (const Triangle& t : c.batch.triangles) {
            boxPixels += static_cast<int64_t>(t.maxX - t.minX + 1) * (t.maxY - t.minY + 1);
            if (boxPixels >= PARALLEL_BOX_PIXELS)
                break;
        }
        const bool drawn =
            runTiles(c, job, c.batch.triangles.size() >= SMALL_DRAW_PRIMITIVES || boxPixels >= PARALLEL_BOX_PIXELS);
        assert(drawn);
        (void)drawn;
        c.batchTarget->noteContentChanged(nullptr);
    }
    resetBatch(c);
    releaseBatchObjects(c);
}

// Keeps an object alive (and its memory where the batch reads or writes
// it) until the batch is drawn. The caller has reserved room in batchHeld.
void holdForBatch(PipelineContext& c, Lifetime* object)
{
    if (!object)
        return;
    assert(c.batchHeld.size() < c.batchHeld.capacity());
    c.batchHeld.push_back(object);
    object->addInternalRef();
}

// The part of a pixel context before the sampler setups, and the samplers
// the draw reads (the combiner's texture stages): the rasteriser looks at
// nothing else, so two contexts agreeing there draw alike, and a copy of
// that much draws like the original. Whole sampler setups are kilobytes
// each, most of them levels of textures never bound.
constexpr size_t PIXEL_CONTEXT_HEAD = offsetof(PixelContext, samplers);

bool drawsAlike(const PixelContext& a, const PixelContext& b)
{
    if (std::memcmp(&a, &b, PIXEL_CONTEXT_HEAD) != 0)
        return false;
    for (uint32_t mask = a.samplerMask; mask; mask &= mask - 1) {
        const int s = __builtin_ctz(mask);
        if (std::memcmp(&a.samplers[s], &b.samplers[s], sizeof(SamplerSetup)) != 0)
            return false;
    }
    return true;
}

void copyDrawnPart(const PixelContext& from, PixelContext& to)
{
    std::memcpy(&to, &from, PIXEL_CONTEXT_HEAD);
    for (uint32_t mask = from.samplerMask; mask; mask &= mask - 1) {
        const int s = __builtin_ctz(mask);
        std::memcpy(&to.samplers[s], &from.samplers[s], sizeof(SamplerSetup));
    }
}

// Room for `more` elements without reallocating on the next push_back;
// grows geometrically, as push_back would, so that repeated calls stay
// amortised constant.
template <class T>
void reserveMore(std::vector<T>& v, size_t more)
{
    if (v.capacity() - v.size() < more)
        v.reserve(std::max(v.size() + more, 2 * v.capacity()));
}

// The batch's index of the current pixel context: the last one when the
// state is unchanged, else a new copy, holding what it points into. Memory
// that runs out throws std::bad_alloc before anything changes, so the last
// context in the table always holds what it reads.
uint16_t batchContext(PipelineContext& c, const DeviceState& state, bool changed)
{
    const size_t count = c.batchContextTable.size();
    if (count > 0 && !changed)
        return static_cast<uint16_t>(count - 1);
    if (count > 0 && drawsAlike(*c.batchContextTable.back(), c.pixels))
        return static_cast<uint16_t>(count - 1);
    if (c.batchContexts.size() <= count)
        c.batchContexts.push_back(std::make_unique<PixelContext>());
    // The target, the depth buffer, the pixel shader and every sampler's texture.
    reserveMore(c.batchHeld, 3 + SAMPLER_COUNT);
    reserveMore(c.batchContextTable, 1);
    PixelContext& copy = *c.batchContexts[count];
    copyDrawnPart(c.pixels, copy);
    c.batchContextTable.push_back(&copy);
    holdForBatch(c, state.renderTargets[0]);
    holdForBatch(c, state.depthStencil);
    holdForBatch(c, state.pixelShader);
    for (TextureCore* texture : state.textures)
        if (texture)
            holdForBatch(c, &texture->resource());
    return static_cast<uint16_t>(count);
}

// What the batch held before a draw joined it, so that a draw that fails
// half-way can be taken out again.
struct BatchMark {
    size_t triangles, planes, lines, lineVaryings;
    bool taken;
};

// The draw as drawPrimitives describes it. Returns false when a task on
// the workers failed, and throws std::bad_alloc when memory runs out; from
// the moment the draw's triangles start to join the batch, `mark` says
// what the batch held before.
bool drawInto(Device& device, PipelineContext& c, const DrawDescription& draw, BatchMark& mark)
{
    DeviceState& state = device.state();
    // A shader whose program cannot run draws nothing.
    auto runnable = [](const Shader* shader) {
        return !shader || (shader->program() && shader->program()->executable());
    };
    if (!runnable(state.vertexShader) || !runnable(state.pixelShader))
        return true;

    VertexLayout layout;
    bool haveLayout = draw.declaration ? layoutFromDeclaration(*draw.declaration, layout)
                                       : layoutFromFvf(draw.fvf, layout);
    // Transformed vertices bypass vertex processing, the program's too.
    const bool programmedVertices = state.vertexShader && !(haveLayout && layout.pretransformed);
    if (programmedVertices) {
        layout.pretransformed = false;
        haveLayout = true;
    }
    if (!haveLayout)
        return true;

    const uint32_t dirty = state.dirty;
    state.dirty = 0;
    if (dirty & (DIRTY_LIGHTS | DIRTY_VIEW))
        c.lightsPrepared = false;
    bool pixelsChanged = false;
    if (!c.pixelsValid || (dirty & PIXEL_STATE_BITS)) {
        std::memset(&c.pixels.target, 0, sizeof(c.pixels.target));
        c.pixelsValid = buildTarget(state, c.pixels.target);
        if (c.pixelsValid)
            buildPixelState(state, c.pixels);
        pixelsChanged = true;
    } else if (c.pixels.key.textured) {
        prepareSamplers(state, c.pixels);
        pixelsChanged = true;
    }
    if (!c.pixelsValid)
        return true;
    PixelContext& pixels = c.pixels;
    if (programmedVertices) {
        std::memset(&c.vertexProgram, 0, sizeof(c.vertexProgram));
        if (!buildVertexProgram(state, state.vertexShader, draw, pixels.varyingCount, c.vertexSamplers,
                                c.vertexProgram))
            return true;
    } else {
        buildVertexState(state, layout, pixels.key.stageCount, c.vertexKey, c.vertexConstants, c.lightsPrepared);
        if (c.vertexKey.lighting)
            c.lightsPrepared = true;
    }

    // The vertices the draw can address: every used stream holds them.
    // A vertex counts only when every element the layout reads lies inside
    // its stream (a stride smaller than the layout must not read past the end).
    UINT limit = UINT32_MAX;
    for (int s = 0; s < static_cast<int>(STREAM_COUNT); ++s) {
        const StreamView& view = draw.streams[s];
        const UINT extent =
            programmedVertices ? programInputExtent(c.vertexProgram.inputs, s) : layoutExtent(layout, s);
        if (extent == 0)
            continue;
        if (!view.data || view.stride == 0)
            return true;
        UINT readable = 0;
        if (view.size >= extent)
            readable = static_cast<UINT>(std::min<uint64_t>(view.vertexLimit, (view.size - extent) / view.stride + 1));
        limit = std::min(limit, readable);
    }
    if (limit == UINT32_MAX)
        return true;
    UINT first = 0;
    UINT count = 0;
    if (!draw.indexed) {
        first = draw.startVertex;
        if (first >= limit)
            return true;
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
            return true;
        first = static_cast<UINT>(lo);
        count = static_cast<UINT>(hi - lo + 1);
    }
    if (c.vertices.size() < count)
        c.vertices.resize(count);
    const TargetView& target = pixels.target;
    const DWORD* rs = state.renderStates;
    SetupParameters setup{};
    setup.scaleX = target.viewportWidth * 0.5f;
    setup.offsetX = target.viewportX + target.viewportWidth * 0.5f;
    setup.scaleY = -target.viewportHeight * 0.5f;
    setup.offsetY = target.viewportY + target.viewportHeight * 0.5f;
    setup.scaleZ = target.maxZ - target.minZ;
    setup.offsetZ = target.minZ;
    setup.pretransformed = layout.pretransformed;
    setup.clipLeft = target.clipLeft;
    setup.clipTop = target.clipTop;
    setup.clipRight = target.clipRight;
    setup.clipBottom = target.clipBottom;
    setup.varyingCount = pixels.varyingCount;
    if (pixels.program.executable) {
        setup.planeVaryings = pixels.program.interpolated;
        setup.planeVaryingCount = pixels.program.interpolatedCount;
    }
    setup.flatShade = pixels.key.flatShade;
    setup.cullMode = rs[D3DRS_CULLMODE];
    setup.depthBias = pixels.constants.depthBias;
    setup.slopeScaleBias = pixels.constants.slopeScaleBias;
    setup.sampleMargin = target.samples > 1 ? SUBPIXEL_ONE / 2 : 0;

    // A small lit triangle list with culling on colours only the vertices
    // of the triangles that survive culling (the faces of a closed mesh
    // turned away from the viewer are about half of it): positions first,
    // then setup's own cull test, then the lighting.
    const bool colorLater = draw.primitiveType == D3DPT_TRIANGLELIST &&
                            draw.primitiveCount <= SMALL_DRAW_PRIMITIVES && count <= 3 * SMALL_DRAW_PRIMITIVES &&
                            !programmedVertices && c.vertexKey.lighting && rs[D3DRS_FILLMODE] == D3DFILL_SOLID &&
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
    } shadeJob{&c, &layout, &draw, &setup, first, count, colorLater, programmedVertices};
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

    // Triangles join the batch (drawn earlier when full or when the state
    // table is); lines and points are drawn at once, after what waits.
    const bool drawsLines = draw.primitiveType == D3DPT_POINTLIST || draw.primitiveType == D3DPT_LINELIST ||
                            draw.primitiveType == D3DPT_LINESTRIP || rs[D3DRS_FILLMODE] != D3DFILL_SOLID;
    Surface* renderTarget = state.renderTargets[0];
    if (drawsLines || (c.batchTarget && c.batchTarget != renderTarget) ||
        c.batchContextTable.size() >= BATCH_CONTEXTS)
        flushBatch(c);
    uint16_t batchContextIndex = 0;
    const size_t batchStart = c.batch.triangles.size();
    mark = BatchMark{batchStart, c.batch.planes.size(), c.batch.lines.size(), c.batch.lineVaryings.size(), true};
    if (!drawsLines) {
        if (!c.batchTarget) {
            c.batchBins.reset(static_cast<int>(renderTarget->desc().Width), static_cast<int>(renderTarget->desc().Height));
            c.batchTarget = renderTarget;
        }
        batchContextIndex = batchContext(c, state, pixelsChanged);
    }

    // Primitives are assembled and set up in chunks whose outputs are
    // joined in primitive order, so binning sees the same sequence
    // whatever ran where. A single thread sets the draw up as one chunk,
    // straight into the batch (or the draw's own output for lines).
    const UINT primitives = draw.primitiveCount;
    const UINT chunkSize = c.pool.threadCount() > 1 ? PRIMITIVE_CHUNK : std::max<UINT>(1, primitives);
    const unsigned setupChunks = (primitives + chunkSize - 1) / chunkSize;
    if (c.chunks.size() < setupChunks)
        c.chunks.resize(setupChunks);
    SetupOutput& drawOutput = drawsLines ? c.output : c.batch;
    if (drawsLines)
        c.output.clear();
    struct SetupJob {
        PipelineContext* c;
        const DrawDescription* draw;
        VertexSource source;
        SetupParameters setup;
        DWORD fillMode;
        UINT chunkSize;
        SetupOutput* direct; // the one chunk's output, appended to
    } setupJob{&c, &draw, VertexSource{draw, first, first + count}, setup, rs[D3DRS_FILLMODE], chunkSize,
               setupChunks == 1 ? &drawOutput : nullptr};
    auto setupChunk = [](void* context, unsigned chunk) {
        const SetupJob& job = *static_cast<const SetupJob*>(context);
        SetupOutput& out = job.direct ? *job.direct : job.c->chunks[chunk];
        if (!job.direct)
            out.clear();
        Assembler assembler{out, job.setup, job.fillMode, job.draw->primitiveType};
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
            const uint32_t planeBase = static_cast<uint32_t>(drawOutput.planes.size());
            const uint32_t varyingBase = static_cast<uint32_t>(drawOutput.lineVaryings.size());
            for (Triangle t : part.triangles) {
                t.planeIndex += planeBase;
                drawOutput.triangles.push_back(t);
            }
            for (LineSegment l : part.lines) {
                l.varyingIndex += varyingBase;
                drawOutput.lines.push_back(l);
            }
            drawOutput.planes.insert(drawOutput.planes.end(), part.planes.begin(), part.planes.end());
            drawOutput.lineVaryings.insert(drawOutput.lineVaryings.end(), part.lineVaryings.begin(),
                                           part.lineVaryings.end());
        }
    }

    if (!drawsLines) {
        // The new triangles into the batch's bins, with their state.
        std::vector<Triangle>& triangles = c.batch.triangles;
        for (size_t i = batchStart; i < triangles.size(); ++i) {
            Triangle& t = triangles[i];
            t.context = batchContextIndex;
            c.batchBins.add(static_cast<uint32_t>(i), t.minX, t.minY, t.maxX, t.maxY);
        }
        if (triangles.empty())
            flushBatch(c); // nothing drawn: let go of what the state holds
        else if (triangles.size() >= BATCH_TRIANGLES)
            flushBatch(c);
        return true;
    }

    SetupOutput& out = c.output;
    if (out.lines.empty() && out.triangles.empty())
        return true;
    c.bins.reset(target.clipRight, target.clipBottom);
    for (uint32_t i = 0; i < out.lines.size(); ++i) {
        const LineSegment& l = out.lines[i];
        c.bins.add(i, l.minX, l.minY, l.maxX, l.maxY);
    }
    const PixelContext* contexts[1] = {&pixels};
    TileJob job;
    job.inputs = {contexts, &out.triangles, &out.planes, &out.lines, &out.lineVaryings, &c.bins, true};
    job.tiles = &c.bins.usedTiles();
    const bool drawn = runTiles(c, job, out.lines.size() >= SMALL_DRAW_PRIMITIVES);
    renderTarget->noteContentChanged(nullptr);
    return drawn;
}

// Takes a failed draw's triangles out of the batch again.
void rollBack(PipelineContext& c, const BatchMark& mark)
{
    c.batch.triangles.resize(mark.triangles);
    c.batch.planes.resize(mark.planes);
    c.batch.lines.resize(mark.lines);
    c.batch.lineVaryings.resize(mark.lineVaryings);
    c.batchBins.truncate(static_cast<uint32_t>(mark.triangles));
    // An empty batch lets go of its target and of what its states hold.
    if (c.batch.triangles.empty())
        flushBatch(c);
}

} // namespace

HRESULT drawPrimitives(Device& device, const DrawDescription& draw)
{
    PipelineContext* c = contextOf(device);
    if (!c)
        return E_OUTOFMEMORY;
    BatchMark mark{};
    try {
        if (drawInto(device, *c, draw, mark))
            return D3D_OK;
    } catch (const std::exception&) {
        // Memory ran out (std::bad_alloc, or a container's length_error).
    }
    if (mark.taken)
        rollBack(*c, mark);
    // The state this draw compiled may not have reached the batch: the
    // next draw compiles it again.
    c->pixelsValid = false;
    return E_OUTOFMEMORY;
}

void flushDraws(Device& device)
{
    if (PipelineContext* c = device.pipelineContext().get())
        flushBatch(*c);
}

bool runOnDrawingThreads(Device& device, unsigned count, void (*work)(void* context, unsigned index),
                         void* context)
{
    if (PipelineContext* c = contextOf(device))
        return c->pool.run(count, work, context);
    // Without a context (memory ran out) the caller does the work alone.
    try {
        for (unsigned i = 0; i < count; ++i)
            work(context, i);
    } catch (...) {
        return false;
    }
    return true;
}

void discardDraws(Device& device)
{
    if (PipelineContext* c = device.pipelineContext().get()) {
        resetBatch(*c);
        releaseBatchObjects(*c);
    }
}

} // namespace swd3d9

extern "C" HRESULT WINAPI SwD3D9SetRasterThreadCount(IDirect3DDevice9* pDevice, UINT count)
{
    swd3d9::Device* device = swd3d9::toDevice(pDevice);
    if (!device)
        return D3DERR_INVALIDCALL;
    swd3d9::flushDraws(*device);
    swd3d9::PipelineContext* context = swd3d9::contextOf(*device);
    if (!context)
        return E_OUTOFMEMORY;
    context->pool.setThreadCount(std::min(count, 64u));
    return D3D_OK;
}

extern "C" HRESULT WINAPI SwD3D9GetRasterThreadCount(IDirect3DDevice9* pDevice, UINT* pCount)
{
    swd3d9::Device* device = swd3d9::toDevice(pDevice);
    if (!device || !pCount)
        return D3DERR_INVALIDCALL;
    swd3d9::PipelineContext* context = swd3d9::contextOf(*device);
    if (!context)
        return E_OUTOFMEMORY;
    *pCount = context->pool.threadCount();
    return D3D_OK;
}

extern "C" void WINAPI SwD3D9LimitThreadStarts(UINT count)
{
    swd3d9::pipeline::limitWorkerThreadStarts(count == SWD3D9_UNLIMITED_THREAD_STARTS ? -1 : int64_t{count});
}
