#pragma once

// The first stage of a draw on the device side: the device state
// translated into the pipeline's compiled state (pipeline/StateCompiler.h):
// the vertex layout and vertex key or program, the pixel key, constants
// and samplers, the target view, and the objects the draw reads and
// writes. State unchanged since the last draw is not translated again.

#include "d3d9/DeviceState.h"
#include "pipeline/StateCompiler.h"

namespace swd3d9 {

// Brings c's compiled state up to date with `state` for the draw and
// clears the state's dirty bits. False when the draw draws nothing: a
// shader that cannot run, no layout, no render target or an empty clip
// rectangle, a vertex program whose set-up fails.
bool compileDrawState(pipeline::PipelineContext& c, DeviceState& state, const DrawDescription& draw,
                      pipeline::CompiledDraw& out);

// A device's state as the pipeline's draws compile it.
class DeviceStateTranslator final : public pipeline::DrawStateTranslator
{
public:
    explicit DeviceStateTranslator(DeviceState& state) : m_state(state) {}

    bool compileDrawState(pipeline::PipelineContext& c, const DrawDescription& draw,
                          pipeline::CompiledDraw& out) override
    {
        return swd3d9::compileDrawState(c, m_state, draw, out);
    }

private:
    DeviceState& m_state;
};

} // namespace swd3d9
