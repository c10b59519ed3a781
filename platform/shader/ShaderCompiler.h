#pragma once

// The HLSL compiler of effects: plain HLSL (the effect syntax already removed)
// to Programs. glslang runs in a child process, so that a crash on unusual
// input becomes a compile error instead of taking the host process down.

#include "shader/ShaderProgram.h"

#include <memory>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

// Compiles one entry point of plain HLSL (no effect syntax). fileName is used in
// error messages ("file(line,col): error: ..." lines, line numbers of the given text).
// Returns null and fills errors on failure; never crashes the process.
std::shared_ptr<const Program> compileShader(const std::string& hlsl, const std::string& fileName,
                                             const std::string& entryPoint, ShaderStage stage,
                                             std::string& errors);

// The same for several entry points of one source in a single child process
// (an effect compiles all its passes' shaders at once). results[i] is null when
// request i failed; errors collects every message. True when all succeeded.
struct ShaderRequest {
    std::string entryPoint;
    ShaderStage stage;
};
bool compileShaders(const std::string& hlsl, const std::string& fileName, const std::vector<ShaderRequest>& requests,
                    std::vector<std::shared_ptr<const Program>>& results, std::string& errors);

} // namespace shader
} // namespace swd3d9
