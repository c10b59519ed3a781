#pragma once

// The first stage of a draw: the device state compiled into what the
// other stages read (the vertex layout and vertex key or program, the
// pixel key, constants and samplers, the target view, the setup
// parameters). State unchanged since the last draw is not compiled again.

#include "pipeline/PipelineContext.h"
#include "pipeline/VertexFetch.h"

#include "pipeline/DrawDescription.h"

namespace swd3d9 {
namespace pipeline {

// What compileDrawState found out about the draw.
struct CompiledDraw {
    VertexLayout layout;
    // Vertices go through the vertex program (else fixed-function
    // processing, or none for transformed vertices).
    bool programmedVertices;
    // c.pixels differs from the state of the last draw.
    bool pixelsChanged;
};

// Brings c's compiled state up to date with `state` for the draw and
// clears the state's dirty bits. False when the draw draws nothing: a
// shader that cannot run, no layout, no render target or an empty clip
// rectangle, a vertex program whose set-up fails.
bool compileDrawState(PipelineContext& c, DeviceState& state, const DrawDescription& draw, CompiledDraw& out);

// Triangle setup's parameters for the compiled state.
SetupParameters setupParameters(const PipelineContext& c, const DeviceState& state, bool pretransformed);

} // namespace pipeline
} // namespace swd3d9
