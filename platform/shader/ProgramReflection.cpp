#include "shader/ProgramReflection.h"

#include <d3d9types.h>
#include <glslang/SPIRV/spirv.hpp>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

namespace swd3d9 {
namespace shader {

namespace {

constexpr uint8_t MAX_USAGE_INDEX = 15;
// Structs nest at most this deep in a uniform block.
constexpr int MAX_STRUCT_DEPTH = 16;
// Arrays of structs are listed element by element, up to this many entries.
constexpr size_t MAX_UNIFORM_ENTRIES = 65536;
constexpr uint32_t NONE = ~0u;

struct Decorations {
    bool block = false;
    bool bufferBlock = false;
    bool rowMajor = false;
    uint32_t matrixStride = 0;
    uint32_t arrayStride = 0;
    uint32_t offset = NONE;
    uint32_t builtIn = NONE;
    std::string semantic;
};

struct Type {
    spv::Op op = spv::OpNop;
    std::vector<uint32_t> operands; // the words after the result id
};

struct Variable {
    uint32_t id;
    uint32_t pointerType;
    spv::StorageClass storage;
};

// The parts of a SPIR-V module reflection reads.
struct Module {
    std::unordered_map<uint32_t, std::string> names;
    std::map<std::pair<uint32_t, uint32_t>, std::string> memberNames;
    std::unordered_map<uint32_t, Decorations> decorations;
    std::map<std::pair<uint32_t, uint32_t>, Decorations> memberDecorations;
    std::unordered_map<uint32_t, Type> types;
    std::unordered_map<uint32_t, uint32_t> constants;
    std::vector<Variable> variables;
    bool hasEntryPoint = false;
    uint32_t executionModel = NONE;
    std::vector<uint32_t> interfaceIds;
    bool usesDerivatives = false;
    bool discards = false;

    const Type* type(uint32_t id) const
    {
        const auto found = types.find(id);
        return found == types.end() ? nullptr : &found->second;
    }
    const Decorations& decorationsOf(uint32_t id) const
    {
        static const Decorations none;
        const auto found = decorations.find(id);
        return found == decorations.end() ? none : found->second;
    }
    const Decorations& memberDecorationsOf(uint32_t id, uint32_t member) const
    {
        static const Decorations none;
        const auto found = memberDecorations.find({id, member});
        return found == memberDecorations.end() ? none : found->second;
    }
    std::string nameOf(uint32_t id) const
    {
        const auto found = names.find(id);
        return found == names.end() ? std::string() : found->second;
    }
    // The type a pointer type points to, or 0.
    uint32_t pointee(uint32_t pointerType) const
    {
        const Type* pointer = type(pointerType);
        return pointer && pointer->op == spv::OpTypePointer && pointer->operands.size() == 2 ? pointer->operands[1]
                                                                                              : 0;
    }
};

// A literal string starting at word first of an instruction's words, and
// the number of words it takes.
std::string literalString(const uint32_t* words, size_t count, size_t& used)
{
    std::string text;
    used = 0;
    for (size_t w = 0; w < count; ++w) {
        ++used;
        for (int byte = 0; byte < 4; ++byte) {
            const char c = static_cast<char>((words[w] >> (8 * byte)) & 0xff);
            if (c == '\0')
                return text;
            text += c;
        }
    }
    return text;
}

void applyDecoration(Decorations& target, uint32_t decoration, const uint32_t* literals, size_t count)
{
    const uint32_t value = count > 0 ? literals[0] : 0;
    switch (decoration) {
    case spv::DecorationBlock: target.block = true; break;
    case spv::DecorationBufferBlock: target.bufferBlock = true; break;
    case spv::DecorationRowMajor: target.rowMajor = true; break;
    case spv::DecorationColMajor: target.rowMajor = false; break;
    case spv::DecorationMatrixStride: target.matrixStride = value; break;
    case spv::DecorationArrayStride: target.arrayStride = value; break;
    case spv::DecorationOffset: target.offset = value; break;
    case spv::DecorationBuiltIn: target.builtIn = value; break;
    default: break;
    }
}

bool isDerivativeOp(uint32_t op)
{
    switch (op) {
    case spv::OpDPdx:
    case spv::OpDPdy:
    case spv::OpFwidth:
    case spv::OpDPdxFine:
    case spv::OpDPdyFine:
    case spv::OpFwidthFine:
    case spv::OpDPdxCoarse:
    case spv::OpDPdyCoarse:
    case spv::OpFwidthCoarse:
    case spv::OpImageSampleImplicitLod:
    case spv::OpImageSampleDrefImplicitLod:
    case spv::OpImageSampleProjImplicitLod:
    case spv::OpImageSampleProjDrefImplicitLod:
    case spv::OpImageQueryLod:
        return true;
    default:
        return false;
    }
}

bool parseModule(const std::vector<uint32_t>& spirv, Module& module, std::string& problem)
{
    if (spirv.size() < 5 || spirv[0] != spv::MagicNumber) {
        problem = "not a SPIR-V module";
        return false;
    }
    for (size_t at = 5; at < spirv.size();) {
        const uint32_t wordCount = spirv[at] >> 16;
        const uint32_t op = spirv[at] & 0xffff;
        if (wordCount == 0 || at + wordCount > spirv.size()) {
            problem = "truncated SPIR-V instruction";
            return false;
        }
        const uint32_t* operands = spirv.data() + at + 1;
        const size_t count = wordCount - 1;
        at += wordCount;
        size_t used = 0;
        switch (op) {
        case spv::OpName:
            if (count >= 2)
                module.names[operands[0]] = literalString(operands + 1, count - 1, used);
            break;
        case spv::OpMemberName:
            if (count >= 3)
                module.memberNames[{operands[0], operands[1]}] = literalString(operands + 2, count - 2, used);
            break;
        case spv::OpDecorate:
            if (count >= 2)
                applyDecoration(module.decorations[operands[0]], operands[1], operands + 2, count - 2);
            break;
        case spv::OpMemberDecorate:
            if (count >= 3)
                applyDecoration(module.memberDecorations[{operands[0], operands[1]}], operands[2], operands + 3,
                                count - 3);
            break;
        case spv::OpDecorateString:
            if (count >= 3 && operands[1] == spv::DecorationUserSemantic)
                module.decorations[operands[0]].semantic = literalString(operands + 2, count - 2, used);
            break;
        case spv::OpMemberDecorateString:
            if (count >= 4 && operands[2] == spv::DecorationUserSemantic)
                module.memberDecorations[{operands[0], operands[1]}].semantic =
                    literalString(operands + 3, count - 3, used);
            break;
        case spv::OpEntryPoint:
            if (count >= 3 && !module.hasEntryPoint) {
                module.hasEntryPoint = true;
                module.executionModel = operands[0];
                literalString(operands + 2, count - 2, used);
                module.interfaceIds.assign(operands + 2 + used, operands + count);
            }
            break;
        case spv::OpTypeVoid:
        case spv::OpTypeBool:
        case spv::OpTypeInt:
        case spv::OpTypeFloat:
        case spv::OpTypeVector:
        case spv::OpTypeMatrix:
        case spv::OpTypeImage:
        case spv::OpTypeSampler:
        case spv::OpTypeSampledImage:
        case spv::OpTypeArray:
        case spv::OpTypeRuntimeArray:
        case spv::OpTypeStruct:
        case spv::OpTypePointer:
            if (count >= 1)
                module.types[operands[0]] = Type{static_cast<spv::Op>(op), {operands + 1, operands + count}};
            break;
        case spv::OpConstant:
            if (count >= 3)
                module.constants[operands[1]] = operands[2];
            break;
        case spv::OpVariable:
            if (count >= 3)
                module.variables.push_back({operands[1], operands[0], static_cast<spv::StorageClass>(operands[2])});
            break;
        case spv::OpKill:
        case spv::OpTerminateInvocation:
        case spv::OpDemoteToHelperInvocation:
            module.discards = true;
            break;
        default:
            if (isDerivativeOp(op))
                module.usesDerivatives = true;
            break;
        }
    }
    if (!module.hasEntryPoint) {
        problem = "the module has no entry point";
        return false;
    }
    return true;
}

// The semantic a built-in variable stands for when it has no UserSemantic.
std::string builtInSemantic(uint32_t builtIn)
{
    switch (builtIn) {
    case spv::BuiltInPosition: return "POSITION";
    case spv::BuiltInPointSize: return "PSIZE";
    case spv::BuiltInFragDepth: return "DEPTH";
    case spv::BuiltInFragCoord: return "VPOS";
    case spv::BuiltInFrontFacing: return "VFACE";
    default: return std::string();
    }
}

// Components of a stage variable's type: 1 for scalars, 2 to 4 for
// vectors, 0 for anything else.
uint8_t componentCount(const Module& module, uint32_t typeId)
{
    const Type* type = module.type(typeId);
    if (!type)
        return 0;
    switch (type->op) {
    case spv::OpTypeBool:
    case spv::OpTypeInt:
    case spv::OpTypeFloat:
        return 1;
    case spv::OpTypeVector:
        return type->operands.size() == 2 && type->operands[1] >= 2 && type->operands[1] <= 4
                   ? static_cast<uint8_t>(type->operands[1])
                   : 0;
    default:
        return 0;
    }
}

bool reflectStageVariables(const Module& module, ShaderStage stage, ProgramInfo& info, std::string& problem)
{
    std::unordered_map<uint32_t, const Variable*> variables;
    for (const Variable& variable : module.variables)
        variables[variable.id] = &variable;
    for (uint32_t id : module.interfaceIds) {
        const auto found = variables.find(id);
        if (found == variables.end())
            continue;
        const Variable& variable = *found->second;
        const bool output = variable.storage == spv::StorageClassOutput;
        if (!output && variable.storage != spv::StorageClassInput)
            continue;
        const Decorations& decorations = module.decorationsOf(id);
        StageVariable stageVariable{};
        stageVariable.semantic = decorations.semantic;
        if (stageVariable.semantic.empty())
            stageVariable.semantic = builtInSemantic(decorations.builtIn);
        // glslang names the variable of a returned value "@entryPointOutput".
        const std::string name = module.nameOf(id);
        const std::string what = name.empty() || name[0] == '@'
                                     ? std::string(output ? "the returned value" : "an input")
                                     : std::string(output ? "output" : "input") + " '" + name + "'";
        if (stageVariable.semantic.empty()) {
            problem = what + " has no semantic";
            return false;
        }
        if (!semanticUsage(stageVariable.semantic, stage, output, stageVariable.usage, stageVariable.usageIndex)) {
            problem = what + ": '" + stageVariable.semantic + "' is not a " +
                      (stage == ShaderStage::Vertex ? "vertex" : "pixel") + " shader " +
                      (output ? "output" : "input") + " semantic";
            return false;
        }
        stageVariable.components = componentCount(module, module.pointee(variable.pointerType));
        if (stageVariable.components == 0) {
            problem = what + " (" + stageVariable.semantic + ") is not a scalar or vector";
            return false;
        }
        (output ? info.outputs : info.inputs).push_back(stageVariable);
    }
    return true;
}

class UniformFlattener {
public:
    UniformFlattener(const Module& module, std::vector<UniformVariable>& uniforms, std::string& problem)
        : module_(module), uniforms_(uniforms), problem_(problem)
    {
    }

    // Adds the variable of type typeId at offset; layout holds the matrix
    // decorations of the struct member it is.
    bool add(uint32_t typeId, const std::string& name, const std::string& semantic, uint32_t offset,
             const Decorations& layout, int depth)
    {
        const Type* type = module_.type(typeId);
        if (!type || depth > MAX_STRUCT_DEPTH || uniforms_.size() >= MAX_UNIFORM_ENTRIES)
            return fail(name, "has a type the device cannot hold");
        if (type->op == spv::OpTypeStruct) {
            for (uint32_t member = 0; member < type->operands.size(); ++member) {
                const Decorations& memberLayout = module_.memberDecorationsOf(typeId, member);
                if (memberLayout.offset == NONE)
                    return fail(name, "has a member without an offset");
                const auto memberName = module_.memberNames.find({typeId, member});
                const std::string path = name + "." +
                                         (memberName == module_.memberNames.end() ? "_" + std::to_string(member)
                                                                                  : memberName->second);
                if (!add(type->operands[member], path, std::string(), offset + memberLayout.offset, memberLayout,
                         depth + 1))
                    return false;
            }
            return true;
        }
        if (type->op == spv::OpTypeArray) {
            const auto length = type->operands.size() == 2 ? module_.constants.find(type->operands[1])
                                                            : module_.constants.end();
            const uint32_t stride = module_.decorationsOf(typeId).arrayStride;
            if (length == module_.constants.end() || length->second == 0 || stride == 0)
                return fail(name, "is an array without a length or stride");
            const uint32_t elements = length->second;
            const Type* element = module_.type(type->operands[0]);
            if (element && (element->op == spv::OpTypeStruct || element->op == spv::OpTypeArray)) {
                for (uint32_t i = 0; i < elements; ++i)
                    if (!add(type->operands[0], name + "[" + std::to_string(i) + "]", std::string(),
                             offset + i * stride, layout, depth + 1))
                        return false;
                return true;
            }
            UniformVariable variable;
            if (!describe(type->operands[0], name, semantic, offset, layout, variable))
                return false;
            variable.elements = elements;
            variable.arrayStride = stride;
            variable.size = stride * (elements - 1) + variable.size;
            uniforms_.push_back(variable);
            return true;
        }
        UniformVariable variable;
        if (!describe(typeId, name, semantic, offset, layout, variable))
            return false;
        uniforms_.push_back(variable);
        return true;
    }

private:
    // A scalar, vector or matrix.
    bool describe(uint32_t typeId, const std::string& name, const std::string& semantic, uint32_t offset,
                  const Decorations& layout, UniformVariable& variable)
    {
        variable.name = name;
        variable.semantic = semantic;
        variable.offset = offset;
        const Type* type = module_.type(typeId);
        if (!type)
            return fail(name, "has an unknown type");
        switch (type->op) {
        case spv::OpTypeFloat:
        case spv::OpTypeInt:
        case spv::OpTypeBool:
            variable.size = 4;
            return true;
        case spv::OpTypeVector:
            variable.columns = static_cast<uint8_t>(componentCount(module_, typeId));
            variable.size = 4u * variable.columns;
            return variable.columns != 0 || fail(name, "is a vector of an unsupported size");
        case spv::OpTypeMatrix: {
            // The SPIR-V matrix is the transpose of the HLSL one: its columns
            // are the HLSL rows, and a SPIR-V RowMajor matrix is an HLSL
            // column-major one.
            const uint8_t columns = type->operands.size() == 2 ? componentCount(module_, type->operands[0]) : 0;
            const uint32_t rows = type->operands.size() == 2 ? type->operands[1] : 0;
            if (columns == 0 || rows < 1 || rows > 4)
                return fail(name, "is a matrix of an unsupported size");
            variable.rows = static_cast<uint8_t>(rows);
            variable.columns = columns;
            variable.columnMajor = layout.rowMajor;
            const uint32_t stride = layout.matrixStride != 0 ? layout.matrixStride : 16;
            variable.size = variable.columnMajor ? stride * (variable.columns - 1u) + 4u * variable.rows
                                                 : stride * (variable.rows - 1u) + 4u * variable.columns;
            return true;
        }
        default:
            return fail(name, "has a type the device cannot hold");
        }
    }

    bool fail(const std::string& name, const char* what)
    {
        problem_ = "uniform '" + name + "' " + what;
        return false;
    }

    const Module& module_;
    std::vector<UniformVariable>& uniforms_;
    std::string& problem_;
};

bool reflectResources(const Module& module, ProgramInfo& info, std::string& problem)
{
    bool haveBlock = false;
    for (const Variable& variable : module.variables) {
        const uint32_t typeId = module.pointee(variable.pointerType);
        const Type* type = module.type(typeId);
        const std::string name = module.nameOf(variable.id);
        if (variable.storage == spv::StorageClassUniform) {
            const Decorations& decorations = module.decorationsOf(typeId);
            if (!type || type->op != spv::OpTypeStruct || !decorations.block) {
                problem = "'" + name + "' is a buffer, which Direct3D 9 shaders do not have";
                return false;
            }
            if (haveBlock) {
                problem = "'" + name + "' is a second constant buffer; Direct3D 9 shaders have one";
                return false;
            }
            haveBlock = true;
            UniformFlattener flattener(module, info.uniforms, problem);
            for (uint32_t member = 0; member < type->operands.size(); ++member) {
                const Decorations& layout = module.memberDecorationsOf(typeId, member);
                const auto memberName = module.memberNames.find({typeId, member});
                if (layout.offset == NONE || memberName == module.memberNames.end()) {
                    problem = "uniform member " + std::to_string(member) + " has no name or offset";
                    return false;
                }
                if (!flattener.add(type->operands[member], memberName->second, layout.semantic, layout.offset, layout,
                                   0))
                    return false;
            }
        } else if (variable.storage == spv::StorageClassUniformConstant) {
            if (!type || type->op != spv::OpTypeSampledImage || type->operands.size() != 1) {
                problem = "'" + name + "' is not a sampler1D, sampler2D, sampler3D or samplerCUBE" +
                          (type && type->op == spv::OpTypeArray ? " (sampler arrays are not supported)" : "");
                return false;
            }
            const Type* image = module.type(type->operands[0]);
            if (!image || image->op != spv::OpTypeImage || image->operands.size() < 2) {
                problem = "sampler '" + name + "' has no image type";
                return false;
            }
            SamplerVariable sampler;
            sampler.name = name;
            switch (image->operands[1]) {
            case spv::Dim1D: sampler.dimension = SamplerDimension::Texture1D; break;
            case spv::Dim2D: sampler.dimension = SamplerDimension::Texture2D; break;
            case spv::Dim3D: sampler.dimension = SamplerDimension::Texture3D; break;
            case spv::DimCube: sampler.dimension = SamplerDimension::Cube; break;
            default: problem = "sampler '" + name + "' has an unsupported dimension"; return false;
            }
            info.samplers.push_back(sampler);
        } else if (variable.storage == spv::StorageClassStorageBuffer ||
                   variable.storage == spv::StorageClassPushConstant) {
            problem = "'" + name + "' is a buffer, which Direct3D 9 shaders do not have";
            return false;
        }
    }
    uint32_t end = 0;
    for (const UniformVariable& uniform : info.uniforms)
        end = std::max(end, uniform.offset + uniform.size);
    info.uniformBytes = (end + 15u) & ~15u;
    return true;
}

struct SemanticName {
    const char* name;
    uint8_t usage;
};

const SemanticName SEMANTICS[] = {
    {"POSITIONT", D3DDECLUSAGE_POSITIONT},
    {"POSITION", D3DDECLUSAGE_POSITION},
    {"BLENDWEIGHT", D3DDECLUSAGE_BLENDWEIGHT},
    {"BLENDINDICES", D3DDECLUSAGE_BLENDINDICES},
    {"NORMAL", D3DDECLUSAGE_NORMAL},
    {"PSIZE", D3DDECLUSAGE_PSIZE},
    {"TEXCOORD", D3DDECLUSAGE_TEXCOORD},
    {"TANGENT", D3DDECLUSAGE_TANGENT},
    {"BINORMAL", D3DDECLUSAGE_BINORMAL},
    {"TESSFACTOR", D3DDECLUSAGE_TESSFACTOR},
    {"COLOR", D3DDECLUSAGE_COLOR},
    {"FOG", D3DDECLUSAGE_FOG},
    {"DEPTH", D3DDECLUSAGE_DEPTH},
    {"SAMPLE", D3DDECLUSAGE_SAMPLE},
    {"VPOS", USAGE_VPOS},
    {"VFACE", USAGE_VFACE},
    // Direct3D 10 names of the same.
    {"SV_TARGET", D3DDECLUSAGE_COLOR},
    {"SV_DEPTH", D3DDECLUSAGE_DEPTH},
    {"SV_ISFRONTFACE", USAGE_VFACE},
};

} // namespace

bool semanticUsage(const std::string& semantic, ShaderStage stage, bool output, uint8_t& usage, uint8_t& index)
{
    size_t digits = semantic.size();
    while (digits > 0 && semantic[digits - 1] >= '0' && semantic[digits - 1] <= '9')
        --digits;
    const std::string name = semantic.substr(0, digits);
    const std::string number = semantic.substr(digits);
    if (number.size() > 2)
        return false;
    const unsigned long value = number.empty() ? 0 : std::stoul(number);
    if (value > MAX_USAGE_INDEX)
        return false;
    index = static_cast<uint8_t>(value);
    const bool pixelInput = stage == ShaderStage::Pixel && !output;
    if (name == "SV_POSITION") {
        // In a pixel shader, the position of the pixel.
        usage = pixelInput ? USAGE_VPOS : static_cast<uint8_t>(D3DDECLUSAGE_POSITION);
        return true;
    }
    for (const SemanticName& known : SEMANTICS) {
        if (name != known.name)
            continue;
        usage = known.usage;
        // A pixel shader writes colours and depth, and only it reads VPOS
        // and VFACE.
        if (stage == ShaderStage::Pixel && output)
            return usage == D3DDECLUSAGE_COLOR || usage == D3DDECLUSAGE_DEPTH;
        if (usage == USAGE_VPOS || usage == USAGE_VFACE)
            return pixelInput;
        return true;
    }
    return false;
}

bool reflectProgram(const std::vector<uint32_t>& spirv, ShaderStage stage, ProgramInfo& info, std::string& problem)
{
    Module module;
    if (!parseModule(spirv, module, problem))
        return false;
    const uint32_t expectedModel =
        stage == ShaderStage::Vertex ? spv::ExecutionModelVertex : spv::ExecutionModelFragment;
    if (module.executionModel != expectedModel) {
        problem = "the entry point is not a " + std::string(stage == ShaderStage::Vertex ? "vertex" : "pixel") +
                  " shader";
        return false;
    }
    info = ProgramInfo();
    info.stage = stage;
    info.usesDerivatives = module.usesDerivatives;
    info.discards = module.discards;
    return reflectStageVariables(module, stage, info, problem) && reflectResources(module, info, problem);
}

} // namespace shader
} // namespace swd3d9
