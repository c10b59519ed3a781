#pragma once

// The drawing pipeline's entry for one validated draw.

#include "pipeline/DrawBatch.h"

#include "pipeline/DrawDescription.h"

namespace swd3d9 {
namespace pipeline {

// Draws with `state` into its render target: triangles join c's batch,
// lines and points are drawn at once. Returns false when a task on the
// workers failed, and throws std::bad_alloc when memory runs out; from the
// moment the draw's primitives start to join the batch, `mark` says what
// the batch held before (see rollBack).
bool drawInto(PipelineContext& c, DeviceState& state, const DrawDescription& draw, BatchMark& mark);

} // namespace pipeline
} // namespace swd3d9
