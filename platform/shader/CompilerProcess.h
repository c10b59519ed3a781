#pragma once

// Runs the shader compiler's front end (GlslangFrontEnd.h) in a child
// process. glslang can crash or hang on unusual input; in a child that
// costs one compile, not the host process. The child inherits the prepared
// source through fork, compiles the requests in order and streams one reply
// per request back through a socket; the parent waits with a time limit and
// turns a crash, a hang or a garbled reply into an error of the request in
// progress, then goes on with the requests after it in a new child.

#include "shader/HlslRewriter.h"
#include "shader/ShaderCompiler.h"

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

struct ChildCompileResult {
    bool compiled = false;
    std::vector<uint32_t> spirv;
    std::string messages;
};

// How long one child may take before it is killed.
constexpr int COMPILER_TIME_LIMIT_MS = 20000;

// Compiles every request of prepared source (HlslRewriter.h) in child
// processes; results gets one entry per request.
void compileInChildProcess(const PreparedHlsl& prepared, const std::string& fileName,
                           const std::vector<ShaderRequest>& requests, int timeLimitMilliseconds,
                           std::vector<ChildCompileResult>& results);

// Entry-point names that make the child misbehave on purpose, so that tests
// can check how the parent copes. They are not HLSL identifiers, so no
// program reaches them.
extern const char* const CHILD_CRASH_ENTRY_POINT;   // dies of SIGSEGV
extern const char* const CHILD_HANG_ENTRY_POINT;    // never replies
extern const char* const CHILD_GARBLE_ENTRY_POINT;  // replies with garbage
extern const char* const CHILD_EXIT_ENTRY_POINT;    // exits without replying

} // namespace shader
} // namespace swd3d9
