#pragma once

// The batch: triangles of many draws waiting to be rasterised together,
// tile by tile, each with the pixel state it was drawn with. A batch is
// drawn when something is about to look at or change what its triangles
// draw into or read from (flushBatch), when it is full, or before lines
// and points, which are drawn at once.

#include "pipeline/PipelineContext.h"

namespace swd3d9 {
namespace pipeline {

// What the batch held before a draw joined it, so that a draw that fails
// half-way can be taken out again.
struct BatchMark {
    size_t triangles, planes, lines, lineVaryings;
    bool taken;
};

// Draws what waits and empties the batch. Tiles cannot fail, so the batch
// always leaves drawn.
void flushBatch(PipelineContext& c);

// Empties the batch undrawn and lets go of what it holds.
void discardBatch(PipelineContext& c);

// Makes room for a draw's primitives: draws what waits when the draw
// cannot join it (lines and points, another render target, a full state
// table), then marks what the batch holds. For triangles, returns the
// batch's index of the current pixel state (see batchContext); throws
// std::bad_alloc when memory runs out, after `mark` is set.
uint16_t enterBatch(PipelineContext& c, const DrawObjects& objects, bool drawsLines, bool stateChanged,
                    BatchMark& mark);

// Bins the triangles a draw added to the batch since `mark`, with their
// state, and draws the batch when it is full (or lets go of what the state
// holds when it is still empty).
void binNewTriangles(PipelineContext& c, const BatchMark& mark, uint16_t context);

// Draws a draw's lines and points (c.output) at once with the current
// pixel state. False when a task on the workers failed.
bool drawLinesNow(PipelineContext& c, DrawnTarget& renderTarget);

// Takes a failed draw's triangles out of the batch again.
void rollBack(PipelineContext& c, const BatchMark& mark);

} // namespace pipeline
} // namespace swd3d9
