#pragma once

// glslang and SPIRV-Tools as the shader compiler's front end: prepared HLSL
// (HlslRewriter.h) to optimised, validated SPIR-V. glslang can crash on
// unusual input, so programs are compiled only inside the compiler's child
// process (CompilerProcess.h); the host process runs glslang only on the
// fixed program of warmUpFrontEnd.

#include "shader/HlslRewriter.h"
#include "shader/ShaderProgram.h"

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

struct FrontEndOutput {
    bool compiled = false;
    std::vector<uint32_t> spirv;
    // "file(line[,col]): error: message" lines, warnings too.
    std::string messages;
};

// Once per process before the first compile.
void initializeFrontEnd();

// Builds glslang's tables of built-in functions for both stages in this
// process, once, by compiling a fixed program that cannot upset glslang.
// Building them is most of the time of a compile; child processes forked
// afterwards inherit them. False when memory runs out (a later call tries
// again).
bool warmUpFrontEnd();

// Compiles one entry point of prepared source.
FrontEndOutput runFrontEnd(const PreparedHlsl& prepared, const std::string& fileName, const std::string& entryPoint,
                           ShaderStage stage);

// Rewrites glslang's info log ("ERROR: 0:12: 'x' : message", "(12): error at
// column 7, HLSL parsing failed.", "ERROR: Linking ...") into
// "file(line[,col]): error: message" lines; messages without a line name
// the entry point. Summary lines are dropped, and so are columns on the
// moved lines (PreparedHlsl).
std::string formatGlslangLog(const std::string& log, const std::string& fileName, const std::string& entryPoint,
                             const std::vector<uint32_t>& movedLines);

} // namespace shader
} // namespace swd3d9
