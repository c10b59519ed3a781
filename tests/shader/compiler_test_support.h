#pragma once

// Shared pieces of the compiler tests: the sample shaders and a look into
// the SPIR-V the compiler makes.

#include "shader/ShaderCompiler.h"

#include <glslang/SPIRV/GLSL.std.450.h>
#include <glslang/SPIRV/spirv.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace shadertest {

using swd3d9::shader::Program;
using swd3d9::shader::ShaderStage;

inline std::string readSample(const std::string& name)
{
    std::ifstream file(std::string(KX_SHADER_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Compiles one entry point and fails the test (with the messages) when it
// does not compile.
inline std::shared_ptr<const Program> compileOrFail(const std::string& hlsl, const std::string& entryPoint,
                                                    ShaderStage stage)
{
    std::string errors;
    auto program = swd3d9::shader::compileShader(hlsl, "test.hlsl", entryPoint, stage, errors);
    EXPECT_TRUE(program) << errors;
    return program;
}

// How many instructions of the opcode the program has.
inline int countOps(const std::vector<uint32_t>& spirv, spv::Op op)
{
    int count = 0;
    for (size_t at = 5; at < spirv.size() && (spirv[at] >> 16) != 0; at += spirv[at] >> 16)
        count += (spirv[at] & 0xffff) == static_cast<uint32_t>(op);
    return count;
}

// How many GLSL.std.450 instructions of the kind the program has.
inline int countExtendedOps(const std::vector<uint32_t>& spirv, GLSLstd450 instruction)
{
    int count = 0;
    for (size_t at = 5; at < spirv.size() && (spirv[at] >> 16) != 0; at += spirv[at] >> 16)
        count += (spirv[at] & 0xffff) == spv::OpExtInst && (spirv[at] >> 16) >= 5 && spirv[at + 4] == instruction;
    return count;
}

} // namespace shadertest
