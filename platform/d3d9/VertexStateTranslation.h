#pragma once

// The device state translated into the vertex stage's key and constants
// (pipeline/VertexShading.h) or, with a vertex shader, into its program
// setup (pipeline/VertexProgram.h).

#include "d3d9/DeviceState.h"
#include "pipeline/VertexProgram.h"
#include "pipeline/VertexShading.h"

namespace swd3d9 {

// Fills the key and constants for vertex processing from the device state.
// lightsCurrent: constants.lights already hold the device's enabled lights
// in camera space (no light, enabling or view changed since they were
// prepared), so they are kept instead of prepared again.
void buildVertexState(const DeviceState& state, const pipeline::VertexLayout& layout, uint8_t stageCount,
                      pipeline::VertexKey& key, pipeline::VertexConstants& constants, bool lightsCurrent);

// Fills setup for the device's vertex shader and the draw's vertex layout
// (declaration, else FVF), preparing the vertex texture samplers the
// program reads in vertexSamplers. False when the shader has no runnable
// program or the program does not fit the layout.
bool buildVertexProgram(const DeviceState& state, const Shader* vertexShader, const DrawDescription& draw,
                        int varyingCount, SamplerSetup vertexSamplers[pipeline::VERTEX_SAMPLERS],
                        pipeline::VertexProgramSetup& setup);

} // namespace swd3d9
