#pragma once

// The second stage of effect compilation: the preprocessed effect text read
// into an EffectDescription.
//
// The parser understands the effect framework's syntax around the HLSL:
// global parameters with semantics, annotations and initialisers, textures,
// samplers with sampler_state blocks, shader variables, techniques, passes
// and their state assignments, and compile expressions. Of the HLSL itself
// it reads structs and function signatures and steps over function bodies.
// It also writes the HLSL that the compiler gets: the same text with the
// effect-only syntax blanked out (newlines kept, so that lines still
// match), untyped samplers given the type of the texture they sample, and
// an entry point appended for every compile expression that passes
// arguments.
//
// Errors stop the parse with one "file(line,col): error: message" line;
// warnings (an unknown state, an initialiser that cannot be evaluated)
// leave a "warning" line and go on. Memory is bounded: parameters, array
// sizes and value components have fixed limits.

#include "effect/EffectDescription.h"

#include <string>

namespace swd3d9 {
namespace effect {

// Limits on what one effect may declare.
constexpr size_t MAX_PARAMETER_NODES = 1u << 16;
constexpr size_t MAX_VALUE_WORDS = 1u << 22;

// Parses `text`, the preprocessor's output for the file `fileName`.
// rowMajorDefault: matrices without row_major/column_major are row-major
// (D3DXSHADER_PACKMATRIX_ROWMAJOR).
bool parseEffect(const std::string& text, const std::string& fileName, bool rowMajorDefault,
                 EffectDescription& description, std::string& messages);

} // namespace effect
} // namespace swd3d9
