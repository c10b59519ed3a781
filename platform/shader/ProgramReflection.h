#pragma once

// What a compiled program reads and writes, read from its SPIR-V: stage
// inputs and outputs by semantic, the members of the uniform block with
// their layout, the samplers, and whether the program takes derivatives or
// discards pixels.

#include "shader/ShaderProgram.h"

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

// Fills info from the SPIR-V of one entry point of the given stage. False,
// with a message in problem, when the program uses something the device
// cannot run (an unknown semantic, a sampler array, a second uniform block)
// or the SPIR-V is not what the compiler makes.
bool reflectProgram(const std::vector<uint32_t>& spirv, ShaderStage stage, ProgramInfo& info, std::string& problem);

// The D3DDECLUSAGE and index a semantic of a stage input or output stands
// for ("TEXCOORD3": TEXCOORD, 3; "COLOR": COLOR, 0; "VPOS": USAGE_VPOS);
// false for a semantic Direct3D 9 does not have.
bool semanticUsage(const std::string& semantic, ShaderStage stage, bool output, uint8_t& usage, uint8_t& index);

} // namespace shader
} // namespace swd3d9
