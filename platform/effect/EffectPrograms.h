#pragma once

// The shaders of an effect: compiled all at once from the effect's HLSL,
// their messages put back on the original files and lines, and each
// program bound to the effect's parameters (which parameter fills which
// member of its uniform block, which sampler parameter stands behind each
// of its samplers and which device sampler register it reads).

#include "effect/EffectDescription.h"
#include "shader/ShaderProgram.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace swd3d9 {
namespace effect {

struct ProgramBinding {
    std::shared_ptr<const shader::Program> program; // null: it did not compile
    // Per sampler of the program: the device register it reads and the
    // sampler parameter (node, -1 when the effect has none of that name).
    std::vector<DWORD> samplerRegisters;
    std::vector<int> samplerParameters;
    // Per uniform of the program: the parameter node that fills it, -1
    // when none does (a uniform argument of the entry point left open).
    std::vector<int> uniformParameters;
    // Float registers the uniform block covers.
    UINT registers = 0;
    // The names the program's code may read: the entry function's, the
    // functions it calls, the compile arguments.
    std::vector<std::string> names;
};

// Compiles every program of the description in one compiler run. results
// has one entry per program, null for those that failed; their messages
// go to `messages` with the original file names and lines.
void compilePrograms(const EffectDescription& description, std::vector<std::shared_ptr<const shader::Program>>& results,
                     std::string& messages);

// What the program reads of the effect. paths finds parameter nodes by
// name.
void bindProgram(const EffectDescription& description, size_t programIndex,
                 std::shared_ptr<const shader::Program> program, const std::unordered_map<std::string, int>& paths,
                 ProgramBinding& binding);

} // namespace effect
} // namespace swd3d9
