#pragma once

// A sampler's states and its bound texture translated into the pipeline's
// sampler setup (pipeline/TextureSampler.h), for the pixel and the vertex
// texture samplers alike.

#include "d3d9/DeviceState.h"
#include "pipeline/TextureSampler.h"

namespace swd3d9 {

// Builds the setup of one sampler from its states (indexed by D3DSAMP_*)
// and its bound texture (null: unbound). Brings generated mip levels up to
// date first. Call once per draw, when the sampler or texture changed.
void prepareSampler(SamplerSetup& setup, const DWORD samplerStates[SAMPLER_STATE_COUNT], TextureCore* texture);

} // namespace swd3d9
