#pragma once

// The first stage of a draw: the device state compiled into what the
// other stages read (the vertex layout and vertex key or program, the
// pixel key, constants and samplers, the target view, the setup
// parameters). The device side owns its state and translates it through
// DrawStateTranslator; state unchanged since the last draw is not
// compiled again.

#include "pipeline/DrawDescription.h"
#include "pipeline/DrawObjects.h"
#include "pipeline/PipelineContext.h"
#include "pipeline/VertexFetch.h"

namespace swd3d9 {
namespace pipeline {

// What compiling the state found out about the draw.
struct CompiledDraw {
    VertexLayout layout;
    // Vertices go through the vertex program (else fixed-function
    // processing, or none for transformed vertices).
    bool programmedVertices;
    // c.pixels differs from the state of the last draw.
    bool pixelsChanged;
    // The draw's D3DFILLMODE and D3DCULL.
    DWORD fillMode, cullMode;
    DrawObjects objects;
};

// The device side of the first stage: its state translated for one draw.
class DrawStateTranslator
{
public:
    // Brings c's compiled state up to date with the device state for the
    // draw and fills out. False when the draw draws nothing: a shader that
    // cannot run, no layout, no render target or an empty clip rectangle,
    // a vertex program whose set-up fails.
    virtual bool compileDrawState(PipelineContext& c, const DrawDescription& draw, CompiledDraw& out) = 0;

protected:
    ~DrawStateTranslator() = default;
};

// Triangle setup's parameters for the compiled state.
SetupParameters setupParameters(const PipelineContext& c, const CompiledDraw& draw);

} // namespace pipeline
} // namespace swd3d9
