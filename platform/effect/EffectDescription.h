#pragma once

// What the effect parser makes of an effect file: its parameters and
// annotations as D3DX describes them, their initial values, the sampler
// states of its samplers, its techniques and passes with their state
// assignments, the shaders to compile, and the plain HLSL that the
// compiler gets.
//
// Parameters, their struct members and array elements, and annotations
// are nodes of one list; a node's children are the members of a struct or
// the elements of an array. Values live in two flat stores: numeric
// components (32-bit words, in declaration order, a matrix row after row)
// and object slots (strings, textures, shaders, samplers; one slot per
// element). A subtree's storage is contiguous, so that an array or a
// struct reads as one block.

#include "effect/EffectConstants.h"
#include "effect/EffectLexer.h"
#include "shader/ShaderProgram.h"

#include <d3dx9effect.h>

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace effect {

struct ParameterNode {
    std::string name; // elements carry their array's name
    std::string semantic;
    bool hasSemantic = false;
    // The name that finds the node by name ("Lights[1].color", annotations
    // "owner@name"); the handle of the node points at its text.
    std::string path;
    D3DXPARAMETER_CLASS parameterClass = D3DXPC_SCALAR;
    D3DXPARAMETER_TYPE type = D3DXPT_VOID;
    UINT rows = 0;
    UINT columns = 0;
    UINT elements = 0;
    DWORD flags = 0;
    UINT bytes = 0;
    int parent = -1;
    int topLevel = -1; // the parameter or annotation this node belongs to
    std::vector<int> children;
    std::vector<int> annotations; // top-level parameters only
    uint32_t firstWord = 0;
    uint32_t wordCount = 0;
    uint32_t firstObject = 0;
    uint32_t objectCount = 0;
    // Samplers declared with register(sN): N; else -1.
    int samplerRegister = -1;
    uint32_t line = 0; // preprocessed line of the declaration
};

// The initial value of an object slot.
struct ObjectValue {
    std::string text;  // strings
    int program = -1;  // shaders: the compiled program, -1 for NULL
    int sampler = -1;  // samplers: index into EffectDescription::samplers
};

// One "name[index] = value" of a pass or of a sampler_state.
struct StateAssignment {
    int state = -1; // index into the state table; -1: a name the effect framework does not know
    UINT index = 0;
    std::string name; // as written
    enum class Kind : uint8_t {
        Value,   // an expression; constant, or over parameters, evaluated as the pass begins
        Program, // compile vs_2_0 F(...)
        Object,  // a texture, sampler or shader parameter
        Null,    // NULL
    };
    Kind kind = Kind::Value;
    std::vector<Token> expression;
    bool constant = false;
    Constant value; // the value when constant
    int program = -1;
    int parameter = -1; // Kind::Object: the parameter node
    // Kind::Object with a run-time index (Shaders[CurrentIndex]): the int
    // parameter that picks the element of `parameter`.
    int selector = -1;
    bool known = true; // false: unknown state or value name; the technique cannot be used
    uint32_t line = 0;
    uint32_t column = 0;
};

struct SamplerDescription {
    std::vector<StateAssignment> states;
};

struct PassDescription {
    std::string name;
    bool hasName = false;
    std::string path;
    std::vector<int> annotations;
    std::vector<StateAssignment> states;
};

struct TechniqueDescription {
    std::string name;
    bool hasName = false;
    std::string path;
    std::vector<int> annotations;
    std::vector<PassDescription> passes;
};

// A shader to compile: compile <profile> <function>(<arguments>).
struct ProgramRequest {
    shader::ShaderStage stage = shader::ShaderStage::Vertex;
    std::string profile;
    std::string function;
    std::vector<std::string> arguments; // as written
    std::string entryPoint;             // the function, or the wrapper that passes the arguments
    uint32_t line = 0;
    uint32_t column = 0;
};

// A function of the HLSL, as far as compile expressions need it.
struct FunctionParameter {
    std::string text; // the declaration as written ("in float4 pos : POSITION")
    std::string name;
    bool isUniform = false;
};

struct FunctionDescription {
    std::string name;
    std::string returnType;
    std::string returnSemantic; // with its colon (": COLOR"), or empty
    std::vector<FunctionParameter> parameters;
    bool defined = false;
    // The names the body mentions (globals and functions it uses).
    std::vector<std::string> names;
};

struct EffectDescription {
    SourceMap sourceMap;
    std::vector<ParameterNode> parameters;
    std::vector<int> topLevelParameters;
    std::vector<uint32_t> words;
    std::vector<ObjectValue> objects;
    std::vector<SamplerDescription> samplers;
    std::vector<TechniqueDescription> techniques;
    std::vector<ProgramRequest> programs;
    std::vector<FunctionDescription> functions;
    // Static globals whose values are known; state values may name them.
    std::vector<std::pair<std::string, Constant>> staticConstants;
    // The HLSL for the compiler; its line i is line i of the preprocessed
    // text (sourceMap) until the generated entry points appended at the
    // end, which map to hlslExtraLines.
    std::string hlsl;
    // Lines added before the source's first line ("#pragma pack_matrix").
    uint32_t hlslLeadingLines = 0;
    // Where each appended wrapper line comes from (the compile expression):
    // preprocessed line and column, from the first line after the source.
    std::vector<std::pair<uint32_t, uint32_t>> hlslExtraLines;
    uint32_t hlslSourceLines = 0;
};

} // namespace effect
} // namespace swd3d9
