#pragma once

// The drawing pipeline's entry for one validated draw.

#include "pipeline/DrawBatch.h"
#include "pipeline/DrawDescription.h"
#include "pipeline/StateCompiler.h"

namespace swd3d9 {
namespace pipeline {

// Draws with the state `translator` compiles into its render target
// (the first stage): triangles join c's batch,
// lines and points are drawn at once. Returns false when a task on the
// workers failed, and throws std::bad_alloc when memory runs out; from the
// moment the draw's primitives start to join the batch, `mark` says what
// the batch held before (see rollBack).
bool drawInto(PipelineContext& c, DrawStateTranslator& translator, const DrawDescription& draw, BatchMark& mark);

} // namespace pipeline
} // namespace swd3d9
