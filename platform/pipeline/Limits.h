#pragma once

// The device's counts that the pipeline sizes its own arrays by: vertex
// streams, texture stages and the states of one sampler. The device state
// holds its bindings and states in arrays of the same sizes.

#include <d3d9.h>

namespace swd3d9 {

constexpr UINT STREAM_COUNT = 16;
constexpr UINT TEXTURE_STAGE_COUNT = 8;
constexpr UINT SAMPLER_STATE_COUNT = 14;

} // namespace swd3d9
