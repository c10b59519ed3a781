#pragma once

// Vertex processing of a draw: which vertices it addresses, then each one
// fetched from its streams and shaded (fixed-function transform and
// lighting, or the vertex program) into c.vertices, in independent chunks
// on the workers for large draws.

#include "pipeline/PipelineContext.h"

#include "pipeline/DrawDescription.h"

namespace swd3d9 {
namespace pipeline {

// The vertices the draw addresses, first .. first + count - 1, within what
// every stream it reads holds (`programmed`: read by c.vertexProgram's
// inputs, else by `layout`). False when there is nothing to shade.
bool drawnVertices(const PipelineContext& c, const DrawDescription& draw, const VertexLayout& layout, bool programmed,
                   UINT& first, UINT& count);

// Shades vertices first .. first + count - 1 into c.vertices, with their
// screen positions for `setup`. False when a task on the workers failed.
bool processVertices(PipelineContext& c, const DrawDescription& draw, const VertexLayout& layout, bool programmed,
                     const SetupParameters& setup, DWORD fillMode, UINT first, UINT count);

} // namespace pipeline
} // namespace swd3d9
