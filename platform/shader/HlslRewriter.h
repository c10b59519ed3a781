#pragma once

// Prepares plain HLSL for glslang, the front end of the shader compiler.
// glslang's HLSL reader has gaps a Direct3D 9 effect runs into: intrinsics
// it gets wrong (lit, fmod, ldexp, texCUBEproj), constructs it crashes on
// (multi-component matrix swizzles, noise), names it reserves that the
// Direct3D compiler accepts as identifiers, and the DWORD type. The source
// is rewritten around them without moving any line, so glslang's messages
// point at the caller's lines.

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

// The text glslang compiles: a prelude that replaces the intrinsics glslang
// gets wrong, then the rewritten source, which starts again at line 1.
struct PreparedHlsl {
    std::string text;
    // The lines (1-based, ascending) whose columns the rewrites moved:
    // glslang's columns there do not match the source.
    std::vector<uint32_t> movedLines;
};

// False, with "file(line,col): error: ..." lines appended to errors, when
// the source uses something that cannot be compiled.
bool prepareHlsl(const std::string& hlsl, const std::string& fileName, PreparedHlsl& prepared, std::string& errors);

// Prefix of the names that identifiers reserved by glslang are compiled
// under; messages strip it again.
extern const char* const RENAMED_IDENTIFIER_PREFIX;

} // namespace shader
} // namespace swd3d9
