#include "pipeline/DrawBatch.h"

#include "pipeline/Rasterizer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

// A batch is drawn once it holds this many triangles or states.
constexpr size_t BATCH_TRIANGLES = 1u << 18;
constexpr size_t BATCH_CONTEXTS = 256;
// Triangle boxes of a small draw that, summed, make it worth the workers:
// four tiles' worth of pixels.
constexpr int64_t PARALLEL_BOX_PIXELS = 4 * TILE_SIZE * TILE_SIZE;

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
    std::vector<HeldObject*> held;
    held.swap(c.batchHeld);
    for (HeldObject* object : held)
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

// Keeps an object alive (and its memory where the batch reads or writes
// it) until the batch is drawn. The caller has reserved room in batchHeld.
void holdForBatch(PipelineContext& c, HeldObject* object)
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
uint16_t batchContext(PipelineContext& c, const DrawObjects& objects, bool changed)
{
    const size_t count = c.batchContextTable.size();
    if (count > 0 && !changed)
        return static_cast<uint16_t>(count - 1);
    if (count > 0 && drawsAlike(*c.batchContextTable.back(), c.pixels))
        return static_cast<uint16_t>(count - 1);
    if (c.batchContexts.size() <= count)
        c.batchContexts.push_back(std::make_unique<PixelContext>());
    reserveMore(c.batchHeld, static_cast<size_t>(objects.heldCount));
    reserveMore(c.batchContextTable, 1);
    PixelContext& copy = *c.batchContexts[count];
    copyDrawnPart(c.pixels, copy);
    c.batchContextTable.push_back(&copy);
    for (int i = 0; i < objects.heldCount; ++i)
        holdForBatch(c, objects.held[i]);
    return static_cast<uint16_t>(count);
}

} // namespace

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
        c.batchTarget->noteDrawn();
    }
    resetBatch(c);
    releaseBatchObjects(c);
}

void discardBatch(PipelineContext& c)
{
    resetBatch(c);
    releaseBatchObjects(c);
}

uint16_t enterBatch(PipelineContext& c, const DrawObjects& objects, bool drawsLines, bool stateChanged,
                    BatchMark& mark)
{
    DrawnTarget* renderTarget = objects.target;
    if (drawsLines || (c.batchTarget && c.batchTarget != renderTarget) ||
        c.batchContextTable.size() >= BATCH_CONTEXTS)
        flushBatch(c);
    mark = BatchMark{c.batch.triangles.size(), c.batch.planes.size(), c.batch.lines.size(),
                     c.batch.lineVaryings.size(), true};
    if (drawsLines)
        return 0;
    if (!c.batchTarget) {
        c.batchBins.reset(objects.targetWidth, objects.targetHeight);
        c.batchTarget = renderTarget;
    }
    return batchContext(c, objects, stateChanged);
}

void binNewTriangles(PipelineContext& c, const BatchMark& mark, uint16_t context)
{
    std::vector<Triangle>& triangles = c.batch.triangles;
    for (size_t i = mark.triangles; i < triangles.size(); ++i) {
        Triangle& t = triangles[i];
        t.context = context;
        c.batchBins.add(static_cast<uint32_t>(i), t.minX, t.minY, t.maxX, t.maxY);
    }
    if (triangles.empty())
        flushBatch(c); // nothing drawn: let go of what the state holds
    else if (triangles.size() >= BATCH_TRIANGLES)
        flushBatch(c);
}

bool drawLinesNow(PipelineContext& c, DrawnTarget& renderTarget)
{
    SetupOutput& out = c.output;
    if (out.lines.empty() && out.triangles.empty())
        return true;
    const TargetView& target = c.pixels.target;
    c.bins.reset(target.clipRight, target.clipBottom);
    for (uint32_t i = 0; i < out.lines.size(); ++i) {
        const LineSegment& l = out.lines[i];
        c.bins.add(i, l.minX, l.minY, l.maxX, l.maxY);
    }
    const PixelContext* contexts[1] = {&c.pixels};
    TileJob job;
    job.inputs = {contexts, &out.triangles, &out.planes, &out.lines, &out.lineVaryings, &c.bins, true};
    job.tiles = &c.bins.usedTiles();
    const bool drawn = runTiles(c, job, out.lines.size() >= SMALL_DRAW_PRIMITIVES);
    renderTarget.noteDrawn();
    return drawn;
}

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

} // namespace pipeline
} // namespace swd3d9
