#pragma once

// The device state translated into the pixel stage's key, constants and
// setups (pipeline/PixelProcessor.h): the texture-stage combiner or the
// pixel program, the samplers, fog, the tests and blending.

#include "d3d9/DeviceState.h"
#include "pipeline/PixelProcessor.h"

namespace swd3d9 {

// Fills key, constants and the stage setups from the device state. The
// target must already be set.
void buildPixelState(const DeviceState& state, pipeline::PixelContext& context);

// Brings the samplers of the textured stages up to date (texture contents
// and generated mip levels can change without a state change).
void prepareSamplers(const DeviceState& state, pipeline::PixelContext& context);

// The combiner setup of the texture-stage states and the texture factor
// (see pipeline/TextureCombiner.h). textureBound[i]: sampler i has a
// texture.
void prepareCombiner(CombinerSetup& setup, const DeviceState& state, const bool textureBound[TEXTURE_STAGE_COUNT]);

// Fills setup for the device's pixel shader; false (setup left for the
// fixed-function stages) when it has no runnable program.
bool buildPixelProgram(const DeviceState& state, const Shader* pixelShader, pipeline::PixelProgramSetup& setup);

} // namespace swd3d9
