// SPIR-V to register programs (RegisterProgram.h).
//
// Values are scalarised: a vector, matrix, array or struct value is a list
// of virtual registers, one per scalar, so that extracting, inserting,
// shuffling and constructing composites cost no instruction. Instructions
// whose operands are all uniform (constants, uniform block loads and what is
// computed from them) go to the program's preamble, run once per batch over
// a few lanes and broadcast. Virtual registers then get physical registers
// by linear scan over the flattened code, with lifetimes stretched over the
// loops they cross.

#include "shader/RegisterProgram.h"

#include <glslang/SPIRV/GLSL.std.450.h>
#include <glslang/SPIRV/spirv.hpp>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>

namespace swd3d9 {
namespace shader {

namespace {

constexpr uint32_t NO_REG = 0xffffffffu;
constexpr int MAX_IR_REGS = 16;

enum class ScalarKind : uint8_t { None, Float, Int, UInt, Bool };

struct MemberLayout {
    uint32_t offset = 0;
    bool rowMajor = false;
    uint32_t matrixStride = 16;
};

struct TypeInfo {
    spv::Op op = spv::OpNop;
    uint32_t element = 0; // component, column, element or pointee type
    uint32_t count = 0;   // vector components, matrix columns, array length
    uint32_t scalars = 0; // scalarised size
    ScalarKind kind = ScalarKind::None;
    spv::StorageClass storage = spv::StorageClassMax;
    std::vector<uint32_t> members;
    std::vector<MemberLayout> layout;
    uint32_t arrayStride = 0;
    SamplerDimension dimension = SamplerDimension::Texture2D;
};

// Where a pointer points: a variable's registers (in scalars) or the uniform
// block (in bytes), plus a per-lane dynamic offset in the same units as a
// virtual register of ints (NO_REG when the offset is static).
struct PointerInfo {
    spv::StorageClass storage = spv::StorageClassMax;
    uint32_t variable = 0; // variable id
    uint32_t type = 0;     // pointee type
    uint32_t offset = 0;
    uint32_t dynamic = NO_REG; // register offset, or for uniforms a float index
    uint32_t dynamicBound = 0; // variables: registers addressable from offset
    MemberLayout matrix;       // layout of the uniform matrix pointed into
    uint32_t vectorStride = 4; // uniform vectors: bytes between components
};

struct Value {
    uint32_t type = 0;
    std::vector<uint32_t> regs;
    bool isPointer = false;
    PointerInfo pointer;
    int sampler = -1;
    bool isConstant = false;
};

struct Variable {
    spv::StorageClass storage;
    uint32_t type;
    uint32_t firstReg; // virtual registers firstReg .. firstReg + scalars - 1, physically contiguous
    uint32_t scalars;
};

struct VirtualRegister {
    enum Kind : uint8_t { Temp, Constant, Fixed } kind = Temp;
    bool uniform = false;  // computed in the preamble
    bool broadcast = false;
    int defBlock = -1;     // block of the defining instruction (-1: none that repeats)
    uint32_t bits = 0;     // constants
    uint32_t physical = NO_REG;
};

struct IrInstruction {
    RegisterInstruction ins;
    uint32_t regs[MAX_IR_REGS];
    uint8_t regCount = 0;
    uint32_t defMask = 0; // which regs are written
    std::vector<uint32_t> extra; // Switch tables
};

struct IrBlock {
    uint32_t label = 0;
    std::vector<IrInstruction> body;
    std::vector<IrInstruction> terminator;
    std::vector<uint32_t> successors; // block indices, one per edge slot
    std::vector<std::vector<IrInstruction>> edgeCopies;
    int loop = -1; // innermost loop containing the block
    int headerOf = -1; // loop index when this is a loop header
    int latchOf = -1;  // loop index when this block branches back to its header
    int mergeBlock = -1;
};

struct Loop {
    int header = 0;
    int latch = -1;
    int first = 0, last = 0; // positions in the structured order
};

struct PhiRecord {
    int block;
    std::vector<uint32_t> regs;
    std::vector<std::pair<uint32_t, uint32_t>> incoming; // value id, predecessor label
};

struct SpirvBlock {
    uint32_t label = 0;
    size_t begin = 0, end = 0; // word offsets of the instructions after OpLabel
    uint32_t merge = 0, continueTarget = 0;
    bool loopHeader = false;
    std::vector<uint32_t> successors;
    std::vector<int> predecessors;
};

std::atomic<uint64_t> programSerial{1};

class ProgramTranslator {
public:
    ProgramTranslator(const std::vector<uint32_t>& spirv, const ProgramInfo& info, std::string& errors)
        : words_(spirv), info_(info), errors_(errors)
    {
    }

    std::shared_ptr<RegisterProgram> translate(KernelSet kernels);

private:
    bool fail(const std::string& message)
    {
        if (errors_.empty())
            errors_ = message;
        return false;
    }

    bool parseModule();
    bool parseTypeOrConstant(spv::Op op, const uint32_t* w, uint32_t count);
    bool collectBlocks();
    bool orderBlocks();
    bool declareInterface();
    bool translateBlocks();
    bool translateInstruction(spv::Op op, const uint32_t* w, uint32_t count);
    bool translateExtended(const uint32_t* w, uint32_t count);
    bool translateImage(spv::Op op, const uint32_t* w, uint32_t count);
    bool translateAccessChain(const uint32_t* w, uint32_t count);
    bool translateLoad(uint32_t resultType, uint32_t result, uint32_t pointer);
    bool translateStore(uint32_t pointer, const Value& value);
    bool translateTerminator(spv::Op op, const uint32_t* w, uint32_t count);
    bool loadUniform(const PointerInfo& p, uint32_t type, std::vector<uint32_t>& out);
    uint32_t partOffset(uint32_t type, const uint32_t* w, uint32_t firstIndex, uint32_t count);
    bool resolvePhis();
    void insertLoopExitCopies();
    bool assemble(RegisterProgram& program);

    // Virtual registers.
    uint32_t newRegister(bool uniform);
    uint32_t constant(uint32_t bits);
    uint32_t constantFloat(float f);
    uint32_t constantInt(int32_t i) { return constant(static_cast<uint32_t>(i)); }
    bool isUniform(uint32_t reg) const
    {
        return regs_[reg].kind == VirtualRegister::Constant || regs_[reg].uniform;
    }

    // Emission: op with the given sources into a new register, in the
    // preamble when every source is uniform.
    uint32_t emit(RegisterOp op, std::initializer_list<uint32_t> sources, uint32_t imm = 0, uint16_t a = 0);
    uint32_t emitList(RegisterOp op, const std::vector<uint32_t>& sources, uint32_t imm = 0, uint16_t a = 0);
    void emitInstruction(IrInstruction ir, bool preamble);
    void emitMain(IrInstruction ir);
    IrInstruction makeInstruction(RegisterOp op, std::initializer_list<uint32_t> regs, uint32_t defMask);
    uint32_t dot(const uint32_t* x, const uint32_t* y, int n);

    const Value* value(uint32_t id) const
    {
        auto it = values_.find(id);
        return it == values_.end() ? nullptr : &it->second;
    }
    const std::vector<uint32_t>* regsOf(uint32_t id) const
    {
        const Value* v = value(id);
        return v && !v->isPointer && v->sampler < 0 ? &v->regs : nullptr;
    }
    Value& define(uint32_t id, uint32_t type)
    {
        Value& v = values_[id];
        v.type = type;
        return v;
    }
    uint32_t scalarsOf(uint32_t type) const
    {
        auto it = types_.find(type);
        return it == types_.end() ? 0 : it->second.scalars;
    }
    ScalarKind scalarKind(uint32_t type) const
    {
        auto it = types_.find(type);
        return it == types_.end() ? ScalarKind::None : it->second.kind;
    }
    bool elementwise(RegisterOp op, const uint32_t* w, int operands);

    const std::vector<uint32_t>& words_;
    const ProgramInfo& info_;
    std::string& errors_;

    std::unordered_map<uint32_t, TypeInfo> types_;
    std::unordered_map<uint32_t, Value> values_;
    std::unordered_map<uint32_t, Variable> variables_;
    std::unordered_map<uint32_t, std::string> names_;
    std::unordered_map<uint32_t, std::string> semantics_;
    std::unordered_map<uint32_t, uint32_t> builtins_;
    std::unordered_map<uint32_t, uint32_t> arrayStrides_;
    std::map<std::pair<uint32_t, uint32_t>, MemberLayout> memberLayouts_;
    uint32_t glslExtension_ = 0;
    uint32_t entryFunction_ = 0;
    std::vector<uint32_t> interface_;
    size_t functionBegin_ = 0, functionEnd_ = 0;

    std::vector<SpirvBlock> spirvBlocks_;
    std::unordered_map<uint32_t, int> blockIndex_; // label -> index in spirvBlocks_
    std::vector<int> order_;                       // structured order of block indices
    std::vector<int> position_;                    // block index -> position in order_ (-1: unreached)
    std::vector<Loop> loops_;

    std::vector<VirtualRegister> regs_;
    std::unordered_map<uint32_t, uint32_t> constants_;
    std::vector<IrInstruction> preamble_;
    std::vector<IrBlock> blocks_; // by block index
    std::vector<PhiRecord> phis_;
    int currentBlock_ = -1;
    std::vector<StageSlot> inputSlots_, outputSlots_;
    std::vector<uint32_t> inputVirtual_, outputVirtual_; // the slots' virtual registers
    std::vector<uint32_t> clearedVariables_;
    std::vector<IrInstruction> variableInits_; // run at the start of the entry block
    uint32_t fixedCount_ = 0;
    uint32_t uniformFloats_ = 0;
};

// --- Module -----------------------------------------------------------------

std::string readString(const uint32_t* w, uint32_t count)
{
    std::string s;
    const char* c = reinterpret_cast<const char*>(w);
    for (size_t i = 0; i < count * 4 && c[i]; ++i)
        s.push_back(c[i]);
    return s;
}

bool ProgramTranslator::parseModule()
{
    if (words_.size() < 5 || words_[0] != spv::MagicNumber)
        return fail("not a SPIR-V module");
    size_t i = 5;
    bool inFunction = false;
    while (i < words_.size()) {
        const uint32_t count = words_[i] >> 16;
        const spv::Op op = static_cast<spv::Op>(words_[i] & 0xffff);
        if (count == 0 || i + count > words_.size())
            return fail("truncated SPIR-V instruction");
        const uint32_t* w = &words_[i];
        switch (op) {
        case spv::OpExtInstImport:
            if (readString(w + 2, count - 2) == "GLSL.std.450")
                glslExtension_ = w[1];
            break;
        case spv::OpEntryPoint:
            if (entryFunction_ == 0) {
                entryFunction_ = w[2];
                // The name is a nul-terminated string of words; the interface ids follow it.
                uint32_t k = 3;
                while (k < count && (w[k] >> 24) != 0 && (w[k] & 0xff) && (w[k] & 0xff00) && (w[k] & 0xff0000))
                    ++k;
                for (++k; k < count; ++k)
                    interface_.push_back(w[k]);
            }
            break;
        case spv::OpName:
            names_[w[1]] = readString(w + 2, count - 2);
            break;
        case spv::OpDecorate:
            if (w[2] == spv::DecorationBuiltIn)
                builtins_[w[1]] = w[3];
            else if (w[2] == spv::DecorationArrayStride)
                arrayStrides_[w[1]] = w[3];
            break;
        case spv::OpDecorateString:
            if (w[2] == spv::DecorationUserSemantic)
                semantics_[w[1]] = readString(w + 3, count - 3);
            break;
        case spv::OpMemberDecorate: {
            MemberLayout& m = memberLayouts_[{w[1], w[2]}];
            if (w[3] == spv::DecorationOffset)
                m.offset = w[4];
            else if (w[3] == spv::DecorationRowMajor)
                m.rowMajor = true;
            else if (w[3] == spv::DecorationMatrixStride)
                m.matrixStride = w[4];
            break;
        }
        case spv::OpFunction:
            if (w[2] == entryFunction_) {
                functionBegin_ = i + count;
                inFunction = true;
            }
            break;
        case spv::OpFunctionEnd:
            if (inFunction) {
                functionEnd_ = i;
                inFunction = false;
            }
            break;
        case spv::OpFunctionCall:
            return fail("function calls are not supported (the program was not inlined)");
        default:
            if (!inFunction && !parseTypeOrConstant(op, w, count))
                return false;
            break;
        }
        i += count;
    }
    if (entryFunction_ == 0 || functionEnd_ == 0)
        return fail("no entry point");
    return true;
}

bool ProgramTranslator::parseTypeOrConstant(spv::Op op, const uint32_t* w, uint32_t count)
{
    auto scalarType = [&](ScalarKind kind) {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        t.kind = kind;
        t.scalars = 1;
    };
    switch (op) {
    case spv::OpTypeVoid:
    case spv::OpTypeFunction:
    case spv::OpTypeSampler:
        types_[w[1]].op = op;
        return true;
    case spv::OpTypeBool:
        scalarType(ScalarKind::Bool);
        return true;
    case spv::OpTypeInt:
        if (w[2] != 32)
            return fail("only 32-bit integers are supported");
        scalarType(w[3] ? ScalarKind::Int : ScalarKind::UInt);
        return true;
    case spv::OpTypeFloat:
        if (w[2] != 32)
            return fail("only 32-bit floats are supported");
        scalarType(ScalarKind::Float);
        return true;
    case spv::OpTypeVector:
    case spv::OpTypeMatrix: {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        t.element = w[2];
        t.count = w[3];
        t.scalars = scalarsOf(w[2]) * w[3];
        t.kind = types_[w[2]].kind;
        return true;
    }
    case spv::OpTypeArray: {
        const Value* length = value(w[3]);
        if (!length || !length->isConstant || length->regs.size() != 1)
            return fail("array length is not a constant");
        TypeInfo& t = types_[w[1]];
        t.op = op;
        t.element = w[2];
        t.count = regs_[length->regs[0]].bits;
        t.scalars = scalarsOf(w[2]) * t.count;
        t.kind = types_[w[2]].kind;
        auto stride = arrayStrides_.find(w[1]);
        t.arrayStride = stride == arrayStrides_.end() ? 0 : stride->second;
        if (t.scalars > 4096)
            return fail("array too large");
        return true;
    }
    case spv::OpTypeRuntimeArray:
        return fail("runtime arrays are not supported");
    case spv::OpTypeStruct: {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        for (uint32_t k = 2; k < count; ++k) {
            t.members.push_back(w[k]);
            t.scalars += scalarsOf(w[k]);
            auto layout = memberLayouts_.find({w[1], k - 2});
            t.layout.push_back(layout == memberLayouts_.end() ? MemberLayout() : layout->second);
        }
        return true;
    }
    case spv::OpTypePointer: {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        t.storage = static_cast<spv::StorageClass>(w[2]);
        t.element = w[3];
        return true;
    }
    case spv::OpTypeImage: {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        switch (w[3]) {
        case spv::Dim1D: t.dimension = SamplerDimension::Texture1D; break;
        case spv::Dim2D: t.dimension = SamplerDimension::Texture2D; break;
        case spv::Dim3D: t.dimension = SamplerDimension::Texture3D; break;
        case spv::DimCube: t.dimension = SamplerDimension::Cube; break;
        default: return fail("unsupported image dimension");
        }
        return true;
    }
    case spv::OpTypeSampledImage: {
        TypeInfo& t = types_[w[1]];
        t.op = op;
        t.element = w[2];
        t.dimension = types_[w[2]].dimension;
        return true;
    }
    case spv::OpConstant:
    case spv::OpSpecConstant: {
        Value& v = define(w[2], w[1]);
        v.isConstant = true;
        v.regs = {constant(w[3])};
        return true;
    }
    case spv::OpConstantTrue:
    case spv::OpConstantFalse:
    case spv::OpSpecConstantTrue:
    case spv::OpSpecConstantFalse: {
        Value& v = define(w[2], w[1]);
        v.isConstant = true;
        v.regs = {constant(op == spv::OpConstantTrue || op == spv::OpSpecConstantTrue ? 0xffffffffu : 0u)};
        return true;
    }
    case spv::OpConstantComposite:
    case spv::OpSpecConstantComposite: {
        std::vector<uint32_t> regs;
        for (uint32_t k = 3; k < count; ++k) {
            const std::vector<uint32_t>* part = regsOf(w[k]);
            if (!part)
                return fail("unknown constant");
            regs.insert(regs.end(), part->begin(), part->end());
        }
        Value& v = define(w[2], w[1]);
        v.isConstant = true;
        v.regs = std::move(regs);
        return true;
    }
    case spv::OpConstantNull:
    case spv::OpUndef: {
        Value& v = define(w[2], w[1]);
        v.isConstant = true;
        v.regs.assign(scalarsOf(w[1]), constant(0));
        return true;
    }
    case spv::OpVariable: {
        const TypeInfo& pointerType = types_[w[1]];
        const spv::StorageClass storage = static_cast<spv::StorageClass>(w[3]);
        Value& v = define(w[2], w[1]);
        v.isPointer = true;
        v.pointer.storage = storage;
        v.pointer.variable = w[2];
        v.pointer.type = pointerType.element;
        if (storage == spv::StorageClassUniformConstant) {
            const TypeInfo& pointee = types_[pointerType.element];
            if (pointee.op != spv::OpTypeSampledImage)
                return fail("unsupported uniform constant");
            const std::string& name = names_[w[2]];
            for (size_t s = 0; s < info_.samplers.size(); ++s)
                if (info_.samplers[s].name == name)
                    v.sampler = static_cast<int>(s);
            if (v.sampler < 0)
                return fail("sampler " + name + " is not in the program's samplers");
            v.isPointer = false;
            v.pointer.type = pointerType.element;
            return true;
        }
        if (storage == spv::StorageClassUniform || storage == spv::StorageClassPushConstant)
            return true;
        Variable variable{storage, pointerType.element, static_cast<uint32_t>(regs_.size()),
                          scalarsOf(pointerType.element)};
        for (uint32_t k = 0; k < variable.scalars; ++k) {
            VirtualRegister r;
            r.kind = VirtualRegister::Fixed;
            r.physical = fixedCount_++;
            regs_.push_back(r);
        }
        if (storage == spv::StorageClassPrivate || storage == spv::StorageClassOutput ||
            storage == spv::StorageClassFunction) {
            // Variables start cleared, or with their (constant) initialiser.
            clearedVariables_.push_back(w[2]);
            if (count > 4) {
                const std::vector<uint32_t>* init = regsOf(w[4]);
                if (!init || init->size() != variable.scalars)
                    return fail("unsupported variable initialiser");
                for (uint32_t k = 0; k < variable.scalars; ++k) {
                    variableInits_.push_back(
                        makeInstruction(RegisterOp::Copy, {variable.firstReg + k, (*init)[k]}, 1));
                }
            }
        }
        variables_[w[2]] = variable;
        return true;
    }
    default:
        return true;
    }
}

// --- Control flow structure -------------------------------------------------

bool ProgramTranslator::collectBlocks()
{
    size_t i = functionBegin_;
    SpirvBlock* current = nullptr;
    while (i < functionEnd_) {
        const uint32_t count = words_[i] >> 16;
        const spv::Op op = static_cast<spv::Op>(words_[i] & 0xffff);
        const uint32_t* w = &words_[i];
        switch (op) {
        case spv::OpLabel:
            blockIndex_[w[1]] = static_cast<int>(spirvBlocks_.size());
            spirvBlocks_.emplace_back();
            current = &spirvBlocks_.back();
            current->label = w[1];
            current->begin = i + count;
            break;
        case spv::OpSelectionMerge:
            if (current)
                current->merge = w[1];
            break;
        case spv::OpLoopMerge:
            if (current) {
                current->merge = w[1];
                current->continueTarget = w[2];
                current->loopHeader = true;
            }
            break;
        case spv::OpBranch:
            if (current)
                current->successors = {w[1]};
            break;
        case spv::OpBranchConditional:
            if (current)
                current->successors = {w[2], w[3]};
            break;
        case spv::OpSwitch:
            if (current) {
                current->successors.push_back(w[2]);
                for (uint32_t k = 4; k < count; k += 2)
                    current->successors.push_back(w[k]);
            }
            break;
        default:
            break;
        }
        if (current && (op == spv::OpBranch || op == spv::OpBranchConditional || op == spv::OpSwitch ||
                        op == spv::OpReturn || op == spv::OpReturnValue || op == spv::OpKill ||
                        op == spv::OpTerminateInvocation || op == spv::OpUnreachable)) {
            current->end = i + count;
            current = nullptr;
        }
        i += count;
    }
    if (spirvBlocks_.empty())
        return fail("empty entry point");
    for (SpirvBlock& b : spirvBlocks_)
        for (uint32_t s : b.successors)
            if (!blockIndex_.count(s))
                return fail("branch to an unknown block");
    return true;
}

bool ProgramTranslator::orderBlocks()
{
    // Depth-first, visiting a header's merge block first and a loop's
    // continue target second: the reverse post-order then lists every
    // construct's blocks together, before its merge block, and a loop's
    // blocks as header, body, continue construct.
    const int n = static_cast<int>(spirvBlocks_.size());
    std::vector<uint8_t> state(n, 0);
    std::vector<int> postOrder;
    struct Frame {
        int block;
        std::vector<int> next;
        size_t k;
    };
    auto children = [&](int b) {
        std::vector<int> c;
        const SpirvBlock& sb = spirvBlocks_[b];
        if (sb.merge && blockIndex_.count(sb.merge))
            c.push_back(blockIndex_[sb.merge]);
        if (sb.continueTarget && blockIndex_.count(sb.continueTarget))
            c.push_back(blockIndex_[sb.continueTarget]);
        for (uint32_t s : sb.successors)
            c.push_back(blockIndex_[s]);
        return c;
    };
    std::vector<Frame> stack;
    stack.push_back({0, children(0), 0});
    state[0] = 1;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.k < f.next.size()) {
            const int c = f.next[f.k++];
            if (!state[c]) {
                state[c] = 1;
                stack.push_back({c, children(c), 0});
            }
            continue;
        }
        postOrder.push_back(f.block);
        stack.pop_back();
    }
    order_.assign(postOrder.rbegin(), postOrder.rend());
    position_.assign(n, -1);
    for (size_t p = 0; p < order_.size(); ++p)
        position_[order_[p]] = static_cast<int>(p);

    for (int b : order_)
        for (uint32_t s : spirvBlocks_[b].successors)
            spirvBlocks_[blockIndex_[s]].predecessors.push_back(b);

    // Loops: the header's region runs to the last block that branches back to it.
    blocks_.resize(n);
    for (int b = 0; b < n; ++b)
        blocks_[b].label = spirvBlocks_[b].label;
    for (int b : order_) {
        const SpirvBlock& sb = spirvBlocks_[b];
        if (!sb.loopHeader)
            continue;
        Loop loop;
        loop.header = b;
        loop.first = position_[b];
        loop.last = -1;
        for (int p : sb.predecessors)
            if (position_[p] >= loop.first && position_[p] > loop.last) {
                loop.last = position_[p];
                loop.latch = p;
            }
        if (loop.latch < 0) {
            loop.latch = b; // a loop that never repeats
            loop.last = loop.first;
        }
        blocks_[b].headerOf = static_cast<int>(loops_.size());
        blocks_[loop.latch].latchOf = static_cast<int>(loops_.size());
        loops_.push_back(loop);
    }
    for (int b : order_) {
        int best = -1;
        for (size_t l = 0; l < loops_.size(); ++l)
            if (position_[b] >= loops_[l].first && position_[b] <= loops_[l].last &&
                (best < 0 || loops_[l].first > loops_[best].first))
                best = static_cast<int>(l);
        blocks_[b].loop = best;
    }
    // A header with no lane skips to its merge block when everything in
    // between is reached only from inside.
    for (int b : order_) {
        const SpirvBlock& sb = spirvBlocks_[b];
        if (!sb.merge || !blockIndex_.count(sb.merge))
            continue;
        const int merge = blockIndex_[sb.merge];
        const int from = position_[b], to = position_[merge];
        if (to <= from)
            continue;
        bool enclosed = true;
        for (int p = from + 1; p < to && enclosed; ++p)
            for (int pred : spirvBlocks_[order_[p]].predecessors)
                if (position_[pred] < from || position_[pred] >= to)
                    enclosed = false;
        if (enclosed)
            blocks_[b].mergeBlock = merge;
    }
    return true;
}

// --- Registers and emission -------------------------------------------------

uint32_t ProgramTranslator::newRegister(bool uniform)
{
    VirtualRegister r;
    r.uniform = uniform;
    r.defBlock = uniform ? -1 : currentBlock_;
    regs_.push_back(r);
    return static_cast<uint32_t>(regs_.size() - 1);
}

uint32_t ProgramTranslator::constant(uint32_t bits)
{
    auto it = constants_.find(bits);
    if (it != constants_.end())
        return it->second;
    VirtualRegister r;
    r.kind = VirtualRegister::Constant;
    r.bits = bits;
    regs_.push_back(r);
    const uint32_t reg = static_cast<uint32_t>(regs_.size() - 1);
    constants_[bits] = reg;
    return reg;
}

uint32_t ProgramTranslator::constantFloat(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return constant(bits);
}

IrInstruction ProgramTranslator::makeInstruction(RegisterOp op, std::initializer_list<uint32_t> regs, uint32_t defMask)
{
    IrInstruction ir;
    ir.ins.op = op;
    for (uint32_t r : regs)
        ir.regs[ir.regCount++] = r;
    ir.defMask = defMask;
    return ir;
}

void ProgramTranslator::emitMain(IrInstruction ir)
{
    blocks_[currentBlock_].body.push_back(std::move(ir));
}

void ProgramTranslator::emitInstruction(IrInstruction ir, bool preamble)
{
    if (preamble)
        preamble_.push_back(std::move(ir));
    else
        emitMain(std::move(ir));
}

uint32_t ProgramTranslator::emitList(RegisterOp op, const std::vector<uint32_t>& sources, uint32_t imm, uint16_t a)
{
    bool uniform = true;
    for (uint32_t s : sources)
        uniform = uniform && isUniform(s);
    const uint32_t dst = newRegister(uniform);
    IrInstruction ir;
    ir.ins.op = op;
    ir.ins.imm = imm;
    ir.ins.a = a;
    ir.regs[ir.regCount++] = dst;
    for (uint32_t s : sources)
        ir.regs[ir.regCount++] = s;
    ir.defMask = 1;
    emitInstruction(std::move(ir), uniform);
    return dst;
}

uint32_t ProgramTranslator::emit(RegisterOp op, std::initializer_list<uint32_t> sources, uint32_t imm, uint16_t a)
{
    return emitList(op, std::vector<uint32_t>(sources), imm, a);
}

uint32_t ProgramTranslator::dot(const uint32_t* x, const uint32_t* y, int n)
{
    if (n == 1)
        return emit(RegisterOp::FMul, {x[0], y[0]});
    std::vector<uint32_t> sources(x, x + n);
    sources.insert(sources.end(), y, y + n);
    const RegisterOp op = n == 2 ? RegisterOp::Dot2 : n == 3 ? RegisterOp::Dot3 : RegisterOp::Dot4;
    return emitList(op, sources);
}

// --- Interface --------------------------------------------------------------

// "TEXCOORD3" -> ("TEXCOORD", 3); no digits means index 0.
std::pair<std::string, int> splitSemantic(const std::string& semantic)
{
    size_t end = semantic.size();
    while (end > 0 && semantic[end - 1] >= '0' && semantic[end - 1] <= '9')
        --end;
    std::string name;
    for (size_t i = 0; i < end; ++i)
        name.push_back(static_cast<char>(semantic[i] >= 'a' && semantic[i] <= 'z' ? semantic[i] - 32 : semantic[i]));
    int index = 0;
    for (size_t i = end; i < semantic.size() && index < 100000; ++i)
        index = index * 10 + (semantic[i] - '0');
    return {name, index};
}

int findStageVariable(const std::vector<StageVariable>& list, const std::string& semantic)
{
    const auto wanted = splitSemantic(semantic);
    for (size_t i = 0; i < list.size(); ++i)
        if (splitSemantic(list[i].semantic) == wanted)
            return static_cast<int>(i);
    return -1;
}

bool ProgramTranslator::declareInterface()
{
    for (uint32_t id : interface_) {
        auto var = variables_.find(id);
        if (var == variables_.end())
            continue;
        const Variable& v = var->second;
        std::string semantic;
        auto s = semantics_.find(id);
        if (s != semantics_.end()) {
            semantic = s->second;
        } else {
            auto b = builtins_.find(id);
            if (b == builtins_.end())
                continue;
            switch (b->second) {
            case spv::BuiltInPosition: semantic = "POSITION"; break;
            case spv::BuiltInPointSize: semantic = "PSIZE"; break;
            case spv::BuiltInFragDepth: semantic = "DEPTH"; break;
            case spv::BuiltInFragCoord: semantic = "VPOS"; break;
            case spv::BuiltInFrontFacing: semantic = "VFACE"; break;
            default: continue;
            }
        }
        const TypeInfo& type = types_[v.type];
        if (type.op != spv::OpTypeFloat && type.op != spv::OpTypeInt && type.op != spv::OpTypeVector &&
            type.op != spv::OpTypeBool)
            return fail("unsupported stage variable type for " + semantic);
        const bool integer = type.kind != ScalarKind::Float;
        if (v.storage == spv::StorageClassInput) {
            const int index = findStageVariable(info_.inputs, semantic);
            if (index < 0)
                return fail("input " + semantic + " is not in the program's inputs");
            for (uint32_t c = 0; c < v.scalars; ++c)
            {
                inputSlots_.push_back({static_cast<uint16_t>(index), static_cast<uint8_t>(c), integer, 0});
                inputVirtual_.push_back(v.firstReg + c);
            }
        } else if (v.storage == spv::StorageClassOutput) {
            const int index = findStageVariable(info_.outputs, semantic);
            if (index < 0)
                return fail("output " + semantic + " is not in the program's outputs");
            for (uint32_t c = 0; c < v.scalars; ++c) {
                StageSlot slot{static_cast<uint16_t>(index), static_cast<uint8_t>(c), integer, 0};
                outputSlots_.push_back(slot);
                outputVirtual_.push_back(v.firstReg + c);
            }
        }
    }
    return true;
}


// --- Blocks and instructions ------------------------------------------------

bool ProgramTranslator::translateBlocks()
{
    for (int b : order_) {
        currentBlock_ = b;
        if (b == 0)
            for (IrInstruction& ir : variableInits_)
                emitMain(ir);
        variableInits_.clear();
        const SpirvBlock& sb = spirvBlocks_[b];
        for (size_t i = sb.begin; i < sb.end;) {
            const uint32_t count = words_[i] >> 16;
            const spv::Op op = static_cast<spv::Op>(words_[i] & 0xffff);
            const uint32_t* w = &words_[i];
            const bool terminator = i + count == sb.end;
            if (!(terminator ? translateTerminator(op, w, count) : translateInstruction(op, w, count)))
                return false;
            i += count;
        }
        if (sb.end == 0)
            return fail("block without terminator");
    }
    currentBlock_ = -1;
    return true;
}

bool ProgramTranslator::translateTerminator(spv::Op op, const uint32_t* w, uint32_t count)
{
    IrBlock& block = blocks_[currentBlock_];
    IrInstruction ir;
    switch (op) {
    case spv::OpBranch:
        ir = makeInstruction(RegisterOp::Branch, {}, 0);
        ir.ins.a = static_cast<uint16_t>(blockIndex_[w[1]]);
        block.successors = {static_cast<uint32_t>(blockIndex_[w[1]])};
        break;
    case spv::OpBranchConditional: {
        const std::vector<uint32_t>* condition = regsOf(w[1]);
        if (!condition || condition->size() != 1)
            return fail("bad branch condition");
        const uint32_t t = blockIndex_[w[2]], f = blockIndex_[w[3]];
        if (t == f) {
            ir = makeInstruction(RegisterOp::Branch, {}, 0);
            ir.ins.a = static_cast<uint16_t>(t);
            block.successors = {t};
        } else {
            ir = makeInstruction(RegisterOp::BranchConditional, {(*condition)[0]}, 0);
            ir.ins.a = static_cast<uint16_t>(t);
            ir.ins.b = static_cast<uint16_t>(f);
            block.successors = {t, f};
        }
        break;
    }
    case spv::OpSwitch: {
        const std::vector<uint32_t>* selector = regsOf(w[1]);
        if (!selector || selector->size() != 1)
            return fail("bad switch selector");
        auto slotOf = [&](uint32_t label) {
            const uint32_t target = blockIndex_[label];
            for (size_t k = 0; k < block.successors.size(); ++k)
                if (block.successors[k] == target)
                    return static_cast<uint32_t>(k);
            block.successors.push_back(target);
            return static_cast<uint32_t>(block.successors.size() - 1);
        };
        block.successors.clear();
        ir = makeInstruction(RegisterOp::Switch, {(*selector)[0]}, 0);
        ir.ins.c = static_cast<uint16_t>(slotOf(w[2]));
        for (uint32_t k = 3; k + 1 < count; k += 2) {
            ir.extra.push_back(w[k]);
            ir.extra.push_back(slotOf(w[k + 1]));
        }
        ir.ins.a = static_cast<uint16_t>((count - 3) / 2);
        ir.ins.b = static_cast<uint16_t>(block.successors.size());
        for (uint32_t target : block.successors)
            ir.extra.push_back(target);
        break;
    }
    case spv::OpReturn:
    case spv::OpReturnValue:
    case spv::OpUnreachable:
        ir = makeInstruction(RegisterOp::Return, {}, 0);
        break;
    case spv::OpKill:
    case spv::OpTerminateInvocation:
        ir = makeInstruction(RegisterOp::Kill, {}, 0);
        break;
    default:
        return fail("unsupported block terminator " + std::to_string(op));
    }
    block.terminator.push_back(std::move(ir));
    block.edgeCopies.resize(block.successors.size());
    return true;
}

bool ProgramTranslator::elementwise(RegisterOp op, const uint32_t* w, int operands)
{
    const uint32_t n = scalarsOf(w[1]);
    const std::vector<uint32_t>* sources[4] = {};
    for (int i = 0; i < operands; ++i) {
        sources[i] = regsOf(w[3 + i]);
        if (!sources[i] || (sources[i]->size() != n && sources[i]->size() != 1))
            return fail("bad operand of instruction " + std::to_string(w[0] & 0xffff));
    }
    std::vector<uint32_t> result;
    for (uint32_t k = 0; k < n; ++k) {
        std::vector<uint32_t> s;
        for (int i = 0; i < operands; ++i)
            s.push_back(sources[i]->size() == 1 ? (*sources[i])[0] : (*sources[i])[k]);
        result.push_back(emitList(op, s));
    }
    define(w[2], w[1]).regs = std::move(result);
    return true;
}

RegisterOp coreElementwiseOp(spv::Op op, int& operands)
{
    operands = 2;
    switch (op) {
    case spv::OpFAdd: return RegisterOp::FAdd;
    case spv::OpFSub: return RegisterOp::FSub;
    case spv::OpFMul: return RegisterOp::FMul;
    case spv::OpFDiv: return RegisterOp::FDiv;
    case spv::OpFRem: return RegisterOp::FRem;
    case spv::OpFMod: return RegisterOp::FMod;
    case spv::OpIAdd: return RegisterOp::IAdd;
    case spv::OpISub: return RegisterOp::ISub;
    case spv::OpIMul: return RegisterOp::IMul;
    case spv::OpSDiv: return RegisterOp::SDiv;
    case spv::OpUDiv: return RegisterOp::UDiv;
    case spv::OpSRem: return RegisterOp::SRem;
    // HLSL's % truncates, as C's; glslang nonetheless emits OpSMod (the
    // remainder with the divisor's sign) for it, so both mean OpSRem here.
    case spv::OpSMod: return RegisterOp::SRem;
    case spv::OpUMod: return RegisterOp::UMod;
    case spv::OpShiftLeftLogical: return RegisterOp::ShiftLeft;
    case spv::OpShiftRightLogical: return RegisterOp::ShiftRightLogical;
    case spv::OpShiftRightArithmetic: return RegisterOp::ShiftRightArithmetic;
    case spv::OpBitwiseAnd:
    case spv::OpLogicalAnd: return RegisterOp::BitAnd;
    case spv::OpBitwiseOr:
    case spv::OpLogicalOr: return RegisterOp::BitOr;
    case spv::OpBitwiseXor:
    case spv::OpLogicalNotEqual: return RegisterOp::BitXor;
    case spv::OpFOrdEqual: return RegisterOp::FOrdEqual;
    case spv::OpFOrdNotEqual: return RegisterOp::FOrdNotEqual;
    case spv::OpFOrdLessThan: return RegisterOp::FOrdLess;
    case spv::OpFOrdGreaterThan: return RegisterOp::FOrdGreater;
    case spv::OpFOrdLessThanEqual: return RegisterOp::FOrdLessEqual;
    case spv::OpFOrdGreaterThanEqual: return RegisterOp::FOrdGreaterEqual;
    case spv::OpFUnordEqual: return RegisterOp::FUnordEqual;
    case spv::OpFUnordNotEqual: return RegisterOp::FUnordNotEqual;
    case spv::OpFUnordLessThan: return RegisterOp::FUnordLess;
    case spv::OpFUnordGreaterThan: return RegisterOp::FUnordGreater;
    case spv::OpFUnordLessThanEqual: return RegisterOp::FUnordLessEqual;
    case spv::OpFUnordGreaterThanEqual: return RegisterOp::FUnordGreaterEqual;
    case spv::OpIEqual: return RegisterOp::IEqual;
    case spv::OpINotEqual: return RegisterOp::INotEqual;
    case spv::OpSLessThan: return RegisterOp::SLess;
    case spv::OpSGreaterThan: return RegisterOp::SGreater;
    case spv::OpSLessThanEqual: return RegisterOp::SLessEqual;
    case spv::OpSGreaterThanEqual: return RegisterOp::SGreaterEqual;
    case spv::OpULessThan: return RegisterOp::ULess;
    case spv::OpUGreaterThan: return RegisterOp::UGreater;
    case spv::OpULessThanEqual: return RegisterOp::ULessEqual;
    case spv::OpUGreaterThanEqual: return RegisterOp::UGreaterEqual;
    default: break;
    }
    operands = 1;
    switch (op) {
    case spv::OpFNegate: return RegisterOp::FNegate;
    case spv::OpSNegate: return RegisterOp::SNegate;
    case spv::OpNot:
    case spv::OpLogicalNot: return RegisterOp::BitNot;
    case spv::OpIsNan: return RegisterOp::IsNan;
    case spv::OpIsInf: return RegisterOp::IsInf;
    case spv::OpConvertFToS: return RegisterOp::ConvertFToS;
    case spv::OpConvertFToU: return RegisterOp::ConvertFToU;
    case spv::OpConvertSToF: return RegisterOp::ConvertSToF;
    case spv::OpConvertUToF: return RegisterOp::ConvertUToF;
    default: break;
    }
    operands = 0;
    return RegisterOp::Copy;
}

bool ProgramTranslator::translateInstruction(spv::Op op, const uint32_t* w, uint32_t count)
{
    int operands = 0;
    const RegisterOp simple = coreElementwiseOp(op, operands);
    if (operands > 0)
        return elementwise(simple, w, operands);

    switch (op) {
    case spv::OpNop:
    case spv::OpLine:
    case spv::OpNoLine:
    case spv::OpSelectionMerge:
    case spv::OpLoopMerge:
        return true;
    case spv::OpVariable:
        if (!parseTypeOrConstant(op, w, count))
            return false;
        for (IrInstruction& ir : variableInits_)
            emitMain(ir);
        variableInits_.clear();
        return true;
    case spv::OpUndef:
    case spv::OpConstantNull:
        return parseTypeOrConstant(op, w, count);
    case spv::OpPhi: {
        PhiRecord phi;
        phi.block = currentBlock_;
        for (uint32_t k = 0; k < scalarsOf(w[1]); ++k)
            phi.regs.push_back(newRegister(false));
        for (uint32_t k = 3; k + 1 < count; k += 2)
            phi.incoming.push_back({w[k], w[k + 1]});
        define(w[2], w[1]).regs = phi.regs;
        phis_.push_back(std::move(phi));
        return true;
    }
    case spv::OpLoad:
        return translateLoad(w[1], w[2], w[3]);
    case spv::OpStore: {
        const Value* v = value(w[2]);
        if (!v)
            return fail("store of an unknown value");
        return translateStore(w[1], *v);
    }
    case spv::OpAccessChain:
    case spv::OpInBoundsAccessChain:
        return translateAccessChain(w, count);
    case spv::OpCopyObject:
    case spv::OpBitcast: {
        const Value* v = value(w[3]);
        if (!v)
            return fail("copy of an unknown value");
        Value copy = *v;
        copy.type = w[1];
        values_[w[2]] = copy;
        return true;
    }
    case spv::OpCompositeExtract: {
        const std::vector<uint32_t>* source = regsOf(w[3]);
        if (!source)
            return fail("extract from an unknown value");
        const uint32_t offset = partOffset(value(w[3])->type, w, 4, count);
        const uint32_t n = scalarsOf(w[1]);
        if (offset + n > source->size())
            return fail("extract out of range");
        define(w[2], w[1]).regs.assign(source->begin() + offset, source->begin() + offset + n);
        return true;
    }
    case spv::OpCompositeInsert: {
        const std::vector<uint32_t>* object = regsOf(w[3]);
        const std::vector<uint32_t>* composite = regsOf(w[4]);
        if (!object || !composite)
            return fail("insert of an unknown value");
        const uint32_t offset = partOffset(w[1], w, 5, count);
        std::vector<uint32_t> regs = *composite;
        if (offset + object->size() > regs.size())
            return fail("insert out of range");
        std::copy(object->begin(), object->end(), regs.begin() + offset);
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpCompositeConstruct: {
        std::vector<uint32_t> regs;
        for (uint32_t k = 3; k < count; ++k) {
            const std::vector<uint32_t>* part = regsOf(w[k]);
            if (!part)
                return fail("construct from an unknown value");
            regs.insert(regs.end(), part->begin(), part->end());
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpVectorShuffle: {
        const std::vector<uint32_t>* a = regsOf(w[3]);
        const std::vector<uint32_t>* b = regsOf(w[4]);
        if (!a || !b)
            return fail("shuffle of an unknown value");
        std::vector<uint32_t> regs;
        for (uint32_t k = 5; k < count; ++k) {
            const uint32_t c = w[k];
            regs.push_back(c < a->size() ? (*a)[c] : c - a->size() < b->size() ? (*b)[c - a->size()] : constant(0));
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpTranspose: {
        const std::vector<uint32_t>* m = regsOf(w[3]);
        const TypeInfo& t = types_[w[1]];
        if (!m)
            return fail("transpose of an unknown value");
        const uint32_t columns = t.count, rows = types_[t.element].count;
        std::vector<uint32_t> regs(columns * rows);
        for (uint32_t c = 0; c < columns; ++c)
            for (uint32_t r = 0; r < rows; ++r)
                regs[c * rows + r] = (*m)[r * columns + c];
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpSelect: {
        const std::vector<uint32_t>* condition = regsOf(w[3]);
        const std::vector<uint32_t>* a = regsOf(w[4]);
        const std::vector<uint32_t>* b = regsOf(w[5]);
        if (!condition || !a || !b || a->size() != b->size())
            return fail("bad select");
        std::vector<uint32_t> regs;
        for (size_t k = 0; k < a->size(); ++k) {
            const uint32_t c = condition->size() == 1 ? (*condition)[0] : (*condition)[k];
            regs.push_back((*a)[k] == (*b)[k] ? (*a)[k] : emit(RegisterOp::Select, {c, (*a)[k], (*b)[k]}));
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpLogicalEqual: {
        if (!elementwise(RegisterOp::BitXor, w, 2))
            return false;
        for (uint32_t& r : values_[w[2]].regs)
            r = emit(RegisterOp::BitNot, {r});
        return true;
    }
    case spv::OpVectorTimesScalar:
    case spv::OpMatrixTimesScalar:
        return elementwise(RegisterOp::FMul, w, 2);
    case spv::OpDot: {
        const std::vector<uint32_t>* a = regsOf(w[3]);
        const std::vector<uint32_t>* b = regsOf(w[4]);
        if (!a || !b || a->size() != b->size() || a->empty() || a->size() > 4)
            return fail("bad dot product");
        define(w[2], w[1]).regs = {dot(a->data(), b->data(), static_cast<int>(a->size()))};
        return true;
    }
    case spv::OpMatrixTimesVector:
    case spv::OpVectorTimesMatrix:
    case spv::OpMatrixTimesMatrix:
    case spv::OpOuterProduct: {
        const std::vector<uint32_t>* a = regsOf(w[3]);
        const std::vector<uint32_t>* b = regsOf(w[4]);
        if (!a || !b)
            return fail("bad matrix product");
        std::vector<uint32_t> regs;
        if (op == spv::OpOuterProduct) {
            for (uint32_t c = 0; c < b->size(); ++c)
                for (uint32_t r = 0; r < a->size(); ++r)
                    regs.push_back(emit(RegisterOp::FMul, {(*a)[r], (*b)[c]}));
        } else if (op == spv::OpMatrixTimesVector) {
            // Row r of the result is the dot product of the matrix's row r with the vector.
            const uint32_t columns = static_cast<uint32_t>(b->size()), rows = static_cast<uint32_t>(a->size()) / columns;
            for (uint32_t r = 0; r < rows; ++r) {
                uint32_t row[4];
                for (uint32_t c = 0; c < columns && c < 4; ++c)
                    row[c] = (*a)[c * rows + r];
                regs.push_back(dot(row, b->data(), static_cast<int>(columns)));
            }
        } else if (op == spv::OpVectorTimesMatrix) {
            const uint32_t rows = static_cast<uint32_t>(a->size()), columns = static_cast<uint32_t>(b->size()) / rows;
            for (uint32_t c = 0; c < columns; ++c)
                regs.push_back(dot(a->data(), b->data() + c * rows, static_cast<int>(rows)));
        } else {
            const TypeInfo& left = types_[value(w[3])->type];
            const uint32_t inner = left.count, rows = types_[left.element].count;
            const uint32_t columns = static_cast<uint32_t>(b->size()) / inner;
            for (uint32_t c = 0; c < columns; ++c)
                for (uint32_t r = 0; r < rows; ++r) {
                    uint32_t row[4];
                    for (uint32_t k = 0; k < inner && k < 4; ++k)
                        row[k] = (*a)[k * rows + r];
                    regs.push_back(dot(row, b->data() + c * inner, static_cast<int>(inner)));
                }
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpAny:
    case spv::OpAll: {
        const std::vector<uint32_t>* a = regsOf(w[3]);
        if (!a || a->empty())
            return fail("bad any/all");
        uint32_t r = (*a)[0];
        for (size_t k = 1; k < a->size(); ++k)
            r = emit(op == spv::OpAny ? RegisterOp::BitOr : RegisterOp::BitAnd, {r, (*a)[k]});
        define(w[2], w[1]).regs = {r};
        return true;
    }
    case spv::OpDPdx:
    case spv::OpDPdy:
    case spv::OpDPdxFine:
    case spv::OpDPdyFine:
    case spv::OpDPdxCoarse:
    case spv::OpDPdyCoarse:
    case spv::OpFwidth:
    case spv::OpFwidthFine:
    case spv::OpFwidthCoarse: {
        const std::vector<uint32_t>* a = regsOf(w[3]);
        if (!a)
            return fail("derivative of an unknown value");
        const bool coarse = op == spv::OpDPdxCoarse || op == spv::OpDPdyCoarse || op == spv::OpFwidthCoarse;
        const bool width = op == spv::OpFwidth || op == spv::OpFwidthFine || op == spv::OpFwidthCoarse;
        const bool isY = op == spv::OpDPdy || op == spv::OpDPdyFine || op == spv::OpDPdyCoarse;
        std::vector<uint32_t> regs;
        for (uint32_t s : *a) {
            if (isUniform(s) || info_.stage != ShaderStage::Pixel) {
                regs.push_back(constant(0));
                continue;
            }
            const RegisterOp dx = coarse ? RegisterOp::DdxCoarse : RegisterOp::DdxFine;
            const RegisterOp dy = coarse ? RegisterOp::DdyCoarse : RegisterOp::DdyFine;
            if (width) {
                const uint32_t x = emit(RegisterOp::FAbs, {emit(dx, {s})});
                regs.push_back(emit(RegisterOp::FAdd, {x, emit(RegisterOp::FAbs, {emit(dy, {s})})}));
            } else {
                regs.push_back(emit(isY ? dy : dx, {s}));
            }
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpVectorExtractDynamic: {
        const std::vector<uint32_t>* v = regsOf(w[3]);
        const std::vector<uint32_t>* index = regsOf(w[4]);
        if (!v || !index || v->size() > 8)
            return fail("bad dynamic extract");
        std::vector<uint32_t> sources = {(*index)[0]};
        sources.insert(sources.end(), v->begin(), v->end());
        define(w[2], w[1]).regs = {emitList(RegisterOp::SelectComponent, sources, 0, static_cast<uint16_t>(v->size()))};
        return true;
    }
    case spv::OpVectorInsertDynamic: {
        const std::vector<uint32_t>* v = regsOf(w[3]);
        const std::vector<uint32_t>* component = regsOf(w[4]);
        const std::vector<uint32_t>* index = regsOf(w[5]);
        if (!v || !component || !index || v->size() > 4)
            return fail("bad dynamic insert");
        std::vector<uint32_t> regs;
        for (uint32_t k = 0; k < v->size(); ++k) {
            const uint32_t isK = emit(RegisterOp::IEqual, {(*index)[0], constantInt(static_cast<int32_t>(k))});
            regs.push_back(emit(RegisterOp::Select, {isK, (*component)[0], (*v)[k]}));
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case spv::OpExtInst:
        if (w[3] != glslExtension_)
            return fail("unsupported extended instruction set");
        return translateExtended(w, count);
    case spv::OpImageSampleImplicitLod:
    case spv::OpImageSampleExplicitLod:
    case spv::OpImageSampleProjImplicitLod:
    case spv::OpImageSampleProjExplicitLod:
        return translateImage(op, w, count);
    default:
        return fail("unsupported instruction " + std::to_string(op));
    }
}

bool isNanFree(const VirtualRegister& r)
{
    return r.kind == VirtualRegister::Constant && (r.bits & 0x7f800000u) != 0x7f800000u;
}

bool ProgramTranslator::translateExtended(const uint32_t* w, uint32_t count)
{
    const uint32_t instruction = w[4];
    const uint32_t n = scalarsOf(w[1]);
    std::vector<const std::vector<uint32_t>*> args;
    for (uint32_t k = 5; k < count; ++k)
        args.push_back(regsOf(w[k]));
    auto arg = [&](size_t i, uint32_t k) {
        const std::vector<uint32_t>& a = *args[i];
        return a.size() == 1 ? a[0] : a[k];
    };
    auto unary = [&](RegisterOp op) {
        if (args.size() < 1 || !args[0])
            return fail("bad operand of extended instruction");
        std::vector<uint32_t> regs;
        for (uint32_t k = 0; k < n; ++k)
            regs.push_back(emit(op, {arg(0, k)}));
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    };
    auto nary = [&](RegisterOp op, size_t operands) {
        if (args.size() < operands)
            return fail("bad operand of extended instruction");
        for (size_t i = 0; i < operands; ++i)
            if (!args[i] || (args[i]->size() != 1 && args[i]->size() < n))
                return fail("bad operand of extended instruction");
        std::vector<uint32_t> regs;
        for (uint32_t k = 0; k < n; ++k) {
            std::vector<uint32_t> s;
            for (size_t i = 0; i < operands; ++i)
                s.push_back(arg(i, k));
            RegisterOp chosen = op;
            // min/max against a constant need not guard against NaN in it.
            if ((op == RegisterOp::FMin || op == RegisterOp::FMax) && isNanFree(regs_[s[1]]))
                chosen = op == RegisterOp::FMin ? RegisterOp::FMinFast : RegisterOp::FMaxFast;
            regs.push_back(emitList(chosen, s));
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    };
    auto scaled = [&](float factor) {
        if (args.empty() || !args[0])
            return fail("bad operand of extended instruction");
        std::vector<uint32_t> regs;
        for (uint32_t k = 0; k < n; ++k)
            regs.push_back(emit(RegisterOp::FMul, {arg(0, k), constantFloat(factor)}));
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    };
    for (const auto* a : args)
        if (!a && instruction != GLSLstd450Modf && instruction != GLSLstd450Frexp)
            return fail("unknown operand of extended instruction");

    switch (instruction) {
    case GLSLstd450Round:
    case GLSLstd450RoundEven: return unary(RegisterOp::RoundEven);
    case GLSLstd450Trunc: return unary(RegisterOp::Trunc);
    case GLSLstd450FAbs: return unary(RegisterOp::FAbs);
    case GLSLstd450SAbs: return unary(RegisterOp::SAbs);
    case GLSLstd450FSign: return unary(RegisterOp::FSign);
    case GLSLstd450SSign: return unary(RegisterOp::SSign);
    case GLSLstd450Floor: return unary(RegisterOp::Floor);
    case GLSLstd450Ceil: return unary(RegisterOp::Ceil);
    case GLSLstd450Fract: return unary(RegisterOp::Fract);
    case GLSLstd450Radians: return scaled(0.017453292519943295f);
    case GLSLstd450Degrees: return scaled(57.29577951308232f);
    case GLSLstd450Sin: return unary(RegisterOp::Sin);
    case GLSLstd450Cos: return unary(RegisterOp::Cos);
    case GLSLstd450Tan: return unary(RegisterOp::Tan);
    case GLSLstd450Asin: return unary(RegisterOp::Asin);
    case GLSLstd450Acos: return unary(RegisterOp::Acos);
    case GLSLstd450Atan: return unary(RegisterOp::Atan);
    case GLSLstd450Sinh: return unary(RegisterOp::Sinh);
    case GLSLstd450Cosh: return unary(RegisterOp::Cosh);
    case GLSLstd450Tanh: return unary(RegisterOp::Tanh);
    case GLSLstd450Asinh: return unary(RegisterOp::Asinh);
    case GLSLstd450Acosh: return unary(RegisterOp::Acosh);
    case GLSLstd450Atanh: return unary(RegisterOp::Atanh);
    case GLSLstd450Atan2: return nary(RegisterOp::Atan2, 2);
    case GLSLstd450Pow: return nary(RegisterOp::Pow, 2);
    case GLSLstd450Exp: return unary(RegisterOp::Exp);
    case GLSLstd450Log: return unary(RegisterOp::Log);
    case GLSLstd450Exp2: return unary(RegisterOp::Exp2);
    case GLSLstd450Log2: return unary(RegisterOp::Log2);
    case GLSLstd450Sqrt: return unary(RegisterOp::Sqrt);
    case GLSLstd450InverseSqrt: return unary(RegisterOp::InverseSqrt);
    case GLSLstd450FMin:
    case GLSLstd450NMin: return nary(RegisterOp::FMin, 2);
    case GLSLstd450FMax:
    case GLSLstd450NMax: return nary(RegisterOp::FMax, 2);
    case GLSLstd450UMin: return nary(RegisterOp::UMin, 2);
    case GLSLstd450SMin: return nary(RegisterOp::SMin, 2);
    case GLSLstd450UMax: return nary(RegisterOp::UMax, 2);
    case GLSLstd450SMax: return nary(RegisterOp::SMax, 2);
    case GLSLstd450FClamp:
    case GLSLstd450NClamp: return nary(RegisterOp::FClamp, 3);
    case GLSLstd450UClamp:
    case GLSLstd450SClamp: {
        const bool s = instruction == GLSLstd450SClamp;
        if (!nary(s ? RegisterOp::SMax : RegisterOp::UMax, 2))
            return false;
        for (uint32_t k = 0; k < n; ++k)
            values_[w[2]].regs[k] = emit(s ? RegisterOp::SMin : RegisterOp::UMin, {values_[w[2]].regs[k], arg(2, k)});
        return true;
    }
    case GLSLstd450FMix: return nary(RegisterOp::Mix, 3);
    case GLSLstd450Step: return nary(RegisterOp::Step, 2);
    case GLSLstd450SmoothStep: return nary(RegisterOp::SmoothStep, 3);
    case GLSLstd450Fma: return nary(RegisterOp::Fma, 3);
    case GLSLstd450Ldexp: return nary(RegisterOp::Ldexp, 2);
    case GLSLstd450Modf:
    case GLSLstd450ModfStruct:
    case GLSLstd450Frexp:
    case GLSLstd450FrexpStruct: {
        const bool isModf = instruction == GLSLstd450Modf || instruction == GLSLstd450ModfStruct;
        if (args.empty() || !args[0])
            return fail("bad operand of extended instruction");
        const uint32_t m = static_cast<uint32_t>(args[0]->size());
        std::vector<uint32_t> first, second;
        for (uint32_t k = 0; k < m; ++k) {
            const uint32_t x = (*args[0])[k];
            if (isModf) {
                const uint32_t whole = emit(RegisterOp::Trunc, {x});
                second.push_back(whole);
                first.push_back(emit(RegisterOp::FSub, {x, whole}));
            } else {
                first.push_back(emit(RegisterOp::FrexpMantissa, {x}));
                second.push_back(emit(RegisterOp::FrexpExponent, {x}));
            }
        }
        if (instruction == GLSLstd450Modf || instruction == GLSLstd450Frexp) {
            Value out;
            out.regs = second;
            if (!translateStore(w[6], out))
                return false;
            define(w[2], w[1]).regs = first;
        } else {
            first.insert(first.end(), second.begin(), second.end());
            define(w[2], w[1]).regs = first;
        }
        return true;
    }
    case GLSLstd450Length:
    case GLSLstd450Distance:
    case GLSLstd450Normalize: {
        std::vector<uint32_t> v = *args[0];
        if (instruction == GLSLstd450Distance) {
            if (args.size() < 2 || args[1]->size() != v.size())
                return fail("bad distance");
            for (size_t k = 0; k < v.size(); ++k)
                v[k] = emit(RegisterOp::FSub, {v[k], (*args[1])[k]});
        }
        if (v.empty() || v.size() > 4)
            return fail("bad vector length");
        const uint32_t squared = dot(v.data(), v.data(), static_cast<int>(v.size()));
        if (instruction != GLSLstd450Normalize) {
            define(w[2], w[1]).regs = {emit(RegisterOp::Sqrt, {squared})};
            return true;
        }
        // normalize(0) is 0 * inf = NaN, as on hardware that computes x * rsq(dot(x, x)).
        const uint32_t scale = emit(RegisterOp::InverseSqrt, {squared});
        std::vector<uint32_t> regs;
        for (uint32_t c : v)
            regs.push_back(emit(RegisterOp::FMul, {c, scale}));
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case GLSLstd450Cross: {
        if (args.size() < 2 || args[0]->size() != 3 || args[1]->size() != 3)
            return fail("bad cross product");
        const std::vector<uint32_t>& a = *args[0];
        const std::vector<uint32_t>& b = *args[1];
        define(w[2], w[1]).regs = {emit(RegisterOp::MulSub, {a[1], b[2], a[2], b[1]}),
                                   emit(RegisterOp::MulSub, {a[2], b[0], a[0], b[2]}),
                                   emit(RegisterOp::MulSub, {a[0], b[1], a[1], b[0]})};
        return true;
    }
    case GLSLstd450Reflect: {
        // i - 2 dot(n, i) n
        if (args.size() < 2 || args[0]->size() != args[1]->size() || args[0]->size() > 4)
            return fail("bad reflect");
        const std::vector<uint32_t>& i = *args[0];
        const std::vector<uint32_t>& nn = *args[1];
        const uint32_t d = dot(nn.data(), i.data(), static_cast<int>(i.size()));
        const uint32_t twice = emit(RegisterOp::FAdd, {d, d});
        std::vector<uint32_t> regs;
        for (size_t k = 0; k < i.size(); ++k)
            regs.push_back(emit(RegisterOp::FNma, {twice, nn[k], i[k]}));
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case GLSLstd450Refract: {
        // k = 1 - eta^2 (1 - dot(n, i)^2); k < 0: 0, else eta i - (eta dot(n, i) + sqrt(k)) n
        if (args.size() < 3 || args[0]->size() != args[1]->size() || args[0]->size() > 4)
            return fail("bad refract");
        const std::vector<uint32_t>& i = *args[0];
        const std::vector<uint32_t>& nn = *args[1];
        const uint32_t eta = (*args[2])[0];
        const uint32_t d = dot(nn.data(), i.data(), static_cast<int>(i.size()));
        const uint32_t oneMinusD2 = emit(RegisterOp::FNma, {d, d, constantFloat(1)});
        const uint32_t eta2 = emit(RegisterOp::FMul, {eta, eta});
        const uint32_t k = emit(RegisterOp::FNma, {eta2, oneMinusD2, constantFloat(1)});
        const uint32_t negative = emit(RegisterOp::FOrdLess, {k, constantFloat(0)});
        const uint32_t root = emit(RegisterOp::Sqrt, {emit(RegisterOp::FMaxFast, {k, constantFloat(0)})});
        const uint32_t factor = emit(RegisterOp::Fma, {eta, d, root});
        std::vector<uint32_t> regs;
        for (size_t c = 0; c < i.size(); ++c) {
            const uint32_t r = emit(RegisterOp::MulSub, {eta, i[c], factor, nn[c]});
            regs.push_back(emit(RegisterOp::Select, {negative, constantFloat(0), r}));
        }
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case GLSLstd450FaceForward: {
        // dot(nref, i) < 0 ? n : -n
        if (args.size() < 3 || args[1]->size() != args[2]->size() || args[1]->size() > 4)
            return fail("bad faceforward");
        const uint32_t d = dot(args[2]->data(), args[1]->data(), static_cast<int>(args[1]->size()));
        const uint32_t negative = emit(RegisterOp::FOrdLess, {d, constantFloat(0)});
        std::vector<uint32_t> regs;
        for (uint32_t c : *args[0])
            regs.push_back(emit(RegisterOp::Select, {negative, c, emit(RegisterOp::FNegate, {c})}));
        define(w[2], w[1]).regs = std::move(regs);
        return true;
    }
    case GLSLstd450Determinant: {
        const std::vector<uint32_t>& m = *args[0];
        const uint32_t size = m.size() == 4 ? 2 : m.size() == 9 ? 3 : m.size() == 16 ? 4 : 0;
        auto e = [&](uint32_t c, uint32_t r) { return m[c * size + r]; };
        uint32_t result;
        if (size == 2) {
            result = emit(RegisterOp::MulSub, {e(0, 0), e(1, 1), e(1, 0), e(0, 1)});
        } else if (size == 3) {
            // column 0 . (column 1 x column 2)
            const uint32_t cross[3] = {emit(RegisterOp::MulSub, {e(1, 1), e(2, 2), e(1, 2), e(2, 1)}),
                                       emit(RegisterOp::MulSub, {e(1, 2), e(2, 0), e(1, 0), e(2, 2)}),
                                       emit(RegisterOp::MulSub, {e(1, 0), e(2, 1), e(1, 1), e(2, 0)})};
            const uint32_t column[3] = {e(0, 0), e(0, 1), e(0, 2)};
            result = dot(column, cross, 3);
        } else if (size == 4) {
            // Laplace expansion over the 2 x 2 minors of columns 0, 1 and of columns 2, 3.
            auto minor = [&](uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1) {
                return emit(RegisterOp::MulSub, {e(c0, r0), e(c1, r1), e(c0, r1), e(c1, r0)});
            };
            const uint32_t s[6] = {minor(0, 1, 0, 1), minor(0, 1, 0, 2), minor(0, 1, 0, 3),
                                   minor(0, 1, 1, 2), minor(0, 1, 1, 3), minor(0, 1, 2, 3)};
            const uint32_t c[6] = {minor(2, 3, 2, 3), minor(2, 3, 1, 3), minor(2, 3, 1, 2),
                                   minor(2, 3, 0, 3), minor(2, 3, 0, 2), minor(2, 3, 0, 1)};
            // s0 c0 - s1 c1 + s2 c2 + s3 c3 - s4 c4 + s5 c5
            const uint32_t plusS[4] = {s[0], s[2], s[3], s[5]}, plusC[4] = {c[0], c[2], c[3], c[5]};
            const uint32_t minusS[2] = {s[1], s[4]}, minusC[2] = {c[1], c[4]};
            result = emit(RegisterOp::FSub, {dot(plusS, plusC, 4), dot(minusS, minusC, 2)});
        } else {
            return fail("bad determinant");
        }
        define(w[2], w[1]).regs = {result};
        return true;
    }
    default:
        return fail("unsupported GLSL.std.450 instruction " + std::to_string(instruction));
    }
}

bool ProgramTranslator::translateImage(spv::Op op, const uint32_t* w, uint32_t count)
{
    const Value* image = value(w[3]);
    const std::vector<uint32_t>* coordinate = regsOf(w[4]);
    if (!image || image->sampler < 0 || !coordinate)
        return fail("bad image sample");
    const SamplerDimension dimension = types_[image->type].dimension;
    const int components = dimension == SamplerDimension::Texture1D ? 1
                           : dimension == SamplerDimension::Texture2D ? 2 : 3;
    const bool projected = op == spv::OpImageSampleProjImplicitLod || op == spv::OpImageSampleProjExplicitLod;
    if (static_cast<int>(coordinate->size()) < components + (projected ? 1 : 0))
        return fail("too few texture coordinates");

    uint32_t bias = NO_REG, level = NO_REG;
    const std::vector<uint32_t>* gradients[2] = {};
    if (count > 5) {
        const uint32_t mask = w[5];
        uint32_t k = 6;
        auto next = [&]() { return k < count ? regsOf(w[k++]) : nullptr; };
        if (mask & spv::ImageOperandsBiasMask) {
            const auto* r = next();
            if (!r)
                return fail("bad bias");
            bias = (*r)[0];
        }
        if (mask & spv::ImageOperandsLodMask) {
            const auto* r = next();
            if (!r)
                return fail("bad level");
            level = (*r)[0];
        }
        if (mask & spv::ImageOperandsGradMask) {
            gradients[0] = next();
            gradients[1] = next();
            if (!gradients[0] || !gradients[1] || static_cast<int>(gradients[0]->size()) < components ||
                static_cast<int>(gradients[1]->size()) < components)
                return fail("bad gradients");
        }
        if (mask & ~(spv::ImageOperandsBiasMask | spv::ImageOperandsLodMask | spv::ImageOperandsGradMask |
                     spv::ImageOperandsMinLodMask))
            return fail("unsupported image operands");
    }

    uint32_t coords[3] = {NO_REG, NO_REG, NO_REG};
    for (int c = 0; c < components; ++c) {
        coords[c] = (*coordinate)[c];
        if (projected)
            coords[c] = emit(RegisterOp::FDiv, {coords[c], (*coordinate)[components]});
    }
    SampleKind kind;
    uint32_t levelReg = NO_REG;
    uint32_t ddx[3] = {NO_REG, NO_REG, NO_REG}, ddy[3] = {NO_REG, NO_REG, NO_REG};
    if (level != NO_REG) {
        kind = SampleKind::ExplicitLevel;
        levelReg = level;
    } else if (gradients[0]) {
        kind = SampleKind::Gradients;
        for (int c = 0; c < components; ++c) {
            ddx[c] = (*gradients[0])[c];
            ddy[c] = (*gradients[1])[c];
        }
    } else if (info_.stage != ShaderStage::Pixel) {
        // No quads in vertex programs: the top level, plus any bias.
        kind = SampleKind::ExplicitLevel;
        levelReg = bias != NO_REG ? bias : constant(0);
    } else {
        kind = bias != NO_REG ? SampleKind::Bias : SampleKind::ImplicitLevel;
        levelReg = bias;
        for (int c = 0; c < components; ++c) {
            if (isUniform(coords[c])) {
                ddx[c] = ddy[c] = constant(0);
            } else {
                ddx[c] = emit(RegisterOp::DdxFine, {coords[c]});
                ddy[c] = emit(RegisterOp::DdyFine, {coords[c]});
            }
        }
    }
    IrInstruction ir;
    ir.ins.op = RegisterOp::Sample;
    ir.ins.a = static_cast<uint16_t>(image->sampler);
    ir.ins.b = static_cast<uint16_t>(static_cast<int>(kind) | (projected ? 0x100 : 0));
    ir.ins.c = static_cast<uint16_t>(components);
    std::vector<uint32_t> rgba;
    for (int c = 0; c < 4; ++c) {
        rgba.push_back(newRegister(false));
        ir.regs[ir.regCount++] = rgba.back();
    }
    for (int c = 0; c < 3; ++c)
        ir.regs[ir.regCount++] = coords[c];
    ir.regs[ir.regCount++] = levelReg;
    for (int c = 0; c < 3; ++c)
        ir.regs[ir.regCount++] = ddx[c];
    for (int c = 0; c < 3; ++c)
        ir.regs[ir.regCount++] = ddy[c];
    ir.defMask = 0xf;
    emitMain(std::move(ir));
    const uint32_t n = scalarsOf(w[1]);
    rgba.resize(std::min<uint32_t>(n, 4));
    define(w[2], w[1]).regs = std::move(rgba);
    return true;
}

// The scalar offset, within a value of `type`, of the part that the
// literal indices w[firstIndex .. count) select, as OpCompositeExtract and
// OpCompositeInsert give them.
uint32_t ProgramTranslator::partOffset(uint32_t type, const uint32_t* w, uint32_t firstIndex, uint32_t count)
{
    uint32_t offset = 0;
    for (uint32_t k = firstIndex; k < count; ++k) {
        const TypeInfo& t = types_[type];
        if (t.op == spv::OpTypeStruct) {
            for (uint32_t m = 0; m < w[k] && m < t.members.size(); ++m)
                offset += scalarsOf(t.members[m]);
            type = w[k] < t.members.size() ? t.members[w[k]] : 0;
        } else {
            type = t.element;
            offset += w[k] * scalarsOf(type);
        }
    }
    return offset;
}

// --- Memory -----------------------------------------------------------------

bool ProgramTranslator::translateAccessChain(const uint32_t* w, uint32_t count)
{
    const Value* base = value(w[3]);
    if (!base || !base->isPointer)
        return fail("access chain on an unknown pointer");
    PointerInfo p = base->pointer;
    const bool uniform = p.storage == spv::StorageClassUniform || p.storage == spv::StorageClassPushConstant;
    auto variable = variables_.find(p.variable);
    if (!uniform && variable == variables_.end())
        return fail("access chain on an unknown variable");
    for (uint32_t k = 4; k < count; ++k) {
        const TypeInfo& t = types_[p.type];
        const Value* index = value(w[k]);
        if (!index || index->isPointer || index->regs.size() != 1)
            return fail("bad access chain index");
        const bool isStatic = index->isConstant;
        const uint32_t staticIndex = isStatic ? regs_[index->regs[0]].bits : 0;
        uint32_t element = 0, stride = 0, length = 0; // stride in bytes (uniform) or scalars
        if (t.op == spv::OpTypeStruct) {
            if (!isStatic || staticIndex >= t.members.size())
                return fail("bad struct member index");
            if (uniform) {
                p.offset += t.layout[staticIndex].offset;
                p.matrix = t.layout[staticIndex];
            } else {
                for (uint32_t m = 0; m < staticIndex; ++m)
                    p.offset += scalarsOf(t.members[m]);
            }
            p.type = t.members[staticIndex];
            continue;
        }
        if (t.op == spv::OpTypeArray) {
            element = t.element;
            length = t.count;
            stride = uniform ? t.arrayStride : scalarsOf(element);
        } else if (t.op == spv::OpTypeMatrix) {
            element = t.element;
            length = t.count;
            if (uniform) {
                stride = p.matrix.rowMajor ? 4 : p.matrix.matrixStride;
                p.vectorStride = p.matrix.rowMajor ? p.matrix.matrixStride : 4;
            } else {
                stride = scalarsOf(element);
            }
        } else if (t.op == spv::OpTypeVector) {
            element = t.element;
            length = t.count;
            stride = uniform ? p.vectorStride : 1;
        } else {
            return fail("access chain into a scalar");
        }
        if (isStatic) {
            p.offset += std::min(staticIndex, length - 1) * stride;
        } else {
            // offset += clamp(index, 0, length - 1) * stride, per lane
            const uint32_t units = uniform ? stride / 4 : stride;
            const uint32_t previous = p.dynamic == NO_REG ? constant(0) : p.dynamic;
            p.dynamic = emit(RegisterOp::IndexMad, {index->regs[0], previous}, length - 1,
                             static_cast<uint16_t>(units));
        }
        p.type = element;
    }
    Value& result = define(w[2], w[1]);
    result.isPointer = true;
    result.pointer = p;
    if (!uniform)
        result.pointer.dynamicBound = variable->second.scalars;
    return true;
}

// The pointer to part `part` of the uniform composite `p` points at, whose
// type is `t`: a vector's component, a matrix's column, an array's element
// or a struct's member. A row-major matrix keeps a column's components a
// row apart.
PointerInfo uniformPart(const PointerInfo& p, const TypeInfo& t, uint32_t part)
{
    PointerInfo q = p;
    switch (t.op) {
    case spv::OpTypeVector:
        q.offset += part * p.vectorStride;
        break;
    case spv::OpTypeMatrix:
        q.offset += part * (p.matrix.rowMajor ? 4 : p.matrix.matrixStride);
        q.vectorStride = p.matrix.rowMajor ? p.matrix.matrixStride : 4;
        break;
    case spv::OpTypeArray:
        q.offset += part * t.arrayStride;
        break;
    default:
        q.offset += t.layout[part].offset;
        q.matrix = t.layout[part];
        q.vectorStride = 4;
        break;
    }
    return q;
}

bool ProgramTranslator::loadUniform(const PointerInfo& p, uint32_t type, std::vector<uint32_t>& out)
{
    const TypeInfo& t = types_[type];
    switch (t.op) {
    case spv::OpTypeFloat:
    case spv::OpTypeInt:
    case spv::OpTypeBool: {
        if (p.offset % 4 != 0 || p.offset / 4 >= uniformFloats_)
            return fail("uniform outside the uniform block");
        if (p.dynamic == NO_REG)
            out.push_back(emit(RegisterOp::LoadUniform, {}, p.offset / 4));
        else
            out.push_back(emit(RegisterOp::LoadUniformIndexed, {p.dynamic}, p.offset / 4));
        return true;
    }
    case spv::OpTypeVector:
    case spv::OpTypeMatrix:
    case spv::OpTypeArray:
    case spv::OpTypeStruct: {
        const bool isStruct = t.op == spv::OpTypeStruct;
        const uint32_t parts = isStruct ? static_cast<uint32_t>(t.members.size()) : t.count;
        for (uint32_t part = 0; part < parts; ++part)
            if (!loadUniform(uniformPart(p, t, part), isStruct ? t.members[part] : t.element, out))
                return false;
        return true;
    }
    default:
        return fail("unsupported uniform type");
    }
}

bool ProgramTranslator::translateLoad(uint32_t resultType, uint32_t result, uint32_t pointer)
{
    const Value* source = value(pointer);
    if (!source)
        return fail("load from an unknown pointer");
    if (source->sampler >= 0) {
        Value& v = define(result, resultType);
        v.sampler = source->sampler;
        return true;
    }
    if (!source->isPointer)
        return fail("load from a non-pointer");
    const PointerInfo p = source->pointer;
    std::vector<uint32_t> regs;
    if (p.storage == spv::StorageClassUniform || p.storage == spv::StorageClassPushConstant) {
        if (!loadUniform(p, resultType, regs))
            return false;
    } else {
        const Variable& var = variables_[p.variable];
        const uint32_t n = scalarsOf(resultType);
        if (p.offset + n > var.scalars)
            return fail("load outside a variable");
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t reg = var.firstReg + p.offset + k;
            if (p.dynamic != NO_REG)
                regs.push_back(emit(RegisterOp::LoadIndexed, {reg, p.dynamic}, var.scalars - p.offset - k));
            else if (p.storage == spv::StorageClassInput)
                regs.push_back(reg); // inputs never change
            else
                regs.push_back(emit(RegisterOp::Copy, {reg}));
        }
    }
    define(result, resultType).regs = std::move(regs);
    return true;
}

bool ProgramTranslator::translateStore(uint32_t pointer, const Value& v)
{
    const Value* target = value(pointer);
    if (!target || !target->isPointer)
        return fail("store to an unknown pointer");
    const PointerInfo& p = target->pointer;
    auto var = variables_.find(p.variable);
    if (var == variables_.end() || p.storage == spv::StorageClassInput)
        return fail("store to read-only memory");
    const uint32_t n = static_cast<uint32_t>(v.regs.size());
    if (p.offset + n > var->second.scalars)
        return fail("store outside a variable");
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t reg = var->second.firstReg + p.offset + k;
        IrInstruction ir;
        if (p.dynamic != NO_REG) {
            ir = makeInstruction(RegisterOp::StoreIndexed, {reg, v.regs[k], p.dynamic}, 0);
            ir.ins.imm = var->second.scalars - p.offset - k;
        } else {
            ir = makeInstruction(RegisterOp::StoreMasked, {reg, v.regs[k]}, 1);
        }
        emitMain(std::move(ir));
    }
    return true;
}

// --- Phis, loop exits -------------------------------------------------------

bool ProgramTranslator::resolvePhis()
{
    // Copies per edge, done in parallel: a source that another copy of the
    // same edge overwrites is saved first.
    std::map<std::pair<int, int>, std::vector<std::pair<uint32_t, uint32_t>>> edges; // (pred, slot) -> (dst, src)
    for (const PhiRecord& phi : phis_) {
        for (const auto& in : phi.incoming) {
            auto pred = blockIndex_.find(in.second);
            if (pred == blockIndex_.end() || position_[pred->second] < 0)
                continue;
            const IrBlock& p = blocks_[pred->second];
            int slot = -1;
            for (size_t k = 0; k < p.successors.size(); ++k)
                if (static_cast<int>(p.successors[k]) == phi.block)
                    slot = static_cast<int>(k);
            if (slot < 0)
                continue;
            const std::vector<uint32_t>* source = regsOf(in.first);
            for (size_t k = 0; k < phi.regs.size(); ++k) {
                const uint32_t src = source && k < source->size() ? (*source)[k] : constant(0);
                edges[{pred->second, slot}].push_back({phi.regs[k], src});
            }
        }
    }
    for (auto& edge : edges) {
        const int pred = edge.first.first, slot = edge.first.second;
        currentBlock_ = pred;
        std::vector<uint32_t> dsts;
        for (const auto& c : edge.second)
            dsts.push_back(c.first);
        std::vector<IrInstruction>& copies = blocks_[pred].edgeCopies[slot];
        for (auto& c : edge.second) {
            if (std::find(dsts.begin(), dsts.end(), c.second) != dsts.end()) {
                const uint32_t saved = newRegister(false);
                copies.push_back(makeInstruction(RegisterOp::Copy, {saved, c.second}, 1));
                c.second = saved;
            }
        }
        for (const auto& c : edge.second) {
            IrInstruction ir = makeInstruction(RegisterOp::PhiCopy, {c.first, c.second}, 1);
            ir.ins.a = static_cast<uint16_t>(slot);
            copies.push_back(ir);
        }
    }
    currentBlock_ = -1;
    return true;
}

void ProgramTranslator::insertLoopExitCopies()
{
    auto inLoop = [&](int block, int loop) {
        const int p = position_[block];
        return p >= loops_[loop].first && p <= loops_[loop].last;
    };
    std::unordered_map<uint32_t, uint32_t> renamed;
    std::vector<std::pair<uint32_t, uint32_t>> copies; // original, copy
    auto visit = [&](int block, IrInstruction& ir) {
        for (int k = 0; k < ir.regCount; ++k) {
            const uint32_t r = ir.regs[k];
            if (r == NO_REG || (ir.defMask >> k & 1) || regs_[r].kind != VirtualRegister::Temp)
                continue;
            const int def = regs_[r].defBlock;
            if (def < 0 || blocks_[def].loop < 0 || inLoop(block, blocks_[def].loop))
                continue;
            auto it = renamed.find(r);
            if (it == renamed.end()) {
                VirtualRegister copy;
                regs_.push_back(copy);
                const uint32_t c = static_cast<uint32_t>(regs_.size() - 1);
                it = renamed.emplace(r, c).first;
                copies.push_back({r, c});
            }
            ir.regs[k] = it->second;
        }
    };
    for (int b : order_) {
        IrBlock& block = blocks_[b];
        for (IrInstruction& ir : block.body)
            visit(b, ir);
        for (IrInstruction& ir : block.terminator)
            visit(b, ir);
        for (auto& list : block.edgeCopies)
            for (IrInstruction& ir : list)
                visit(b, ir);
    }
    for (const auto& c : copies) {
        const int loop = blocks_[regs_[c.first].defBlock].loop;
        for (int p = loops_[loop].first; p <= loops_[loop].last; ++p) {
            IrBlock& block = blocks_[order_[p]];
            for (size_t slot = 0; slot < block.successors.size(); ++slot) {
                if (inLoop(static_cast<int>(block.successors[slot]), loop))
                    continue;
                IrInstruction ir = makeInstruction(RegisterOp::PhiCopy, {c.second, c.first}, 1);
                ir.ins.a = static_cast<uint16_t>(slot);
                block.edgeCopies[slot].insert(block.edgeCopies[slot].begin(), ir);
            }
        }
    }
}

// --- Assembly ---------------------------------------------------------------

bool ProgramTranslator::assemble(RegisterProgram& program)
{
    std::vector<IrInstruction> code = preamble_;

    // Uniform values that the main code reads are broadcast after the preamble.
    auto markBroadcast = [&](const IrInstruction& ir) {
        for (int k = 0; k < ir.regCount; ++k)
            if (ir.regs[k] != NO_REG && !(ir.defMask >> k & 1) && regs_[ir.regs[k]].uniform)
                regs_[ir.regs[k]].broadcast = true;
    };
    for (int b : order_) {
        const IrBlock& block = blocks_[b];
        for (const IrInstruction& ir : block.body)
            markBroadcast(ir);
        for (const IrInstruction& ir : block.terminator)
            markBroadcast(ir);
        for (const auto& list : block.edgeCopies)
            for (const IrInstruction& ir : list)
                markBroadcast(ir);
    }
    for (uint32_t r = 0; r < regs_.size(); ++r)
        if (regs_[r].broadcast)
            code.push_back(makeInstruction(RegisterOp::Broadcast, {r}, 0));
    const uint32_t mainStart = static_cast<uint32_t>(code.size());

    const size_t n = spirvBlocks_.size();
    std::vector<uint32_t> startPc(n, 0), entryPc(n, 0), afterPc(n, 0), loopBackPc(loops_.size(), 0);
    for (int b : order_) {
        IrBlock& block = blocks_[b];
        startPc[b] = static_cast<uint32_t>(code.size());
        if (block.headerOf >= 0) {
            IrInstruction ir = makeInstruction(RegisterOp::LoopStart, {}, 0);
            ir.ins.a = static_cast<uint16_t>(block.headerOf);
            code.push_back(ir);
        }
        entryPc[b] = static_cast<uint32_t>(code.size());
        IrInstruction entry = makeInstruction(RegisterOp::Block, {}, 0);
        entry.ins.a = static_cast<uint16_t>(b);
        code.push_back(entry);
        code.insert(code.end(), block.body.begin(), block.body.end());
        code.insert(code.end(), block.terminator.begin(), block.terminator.end());
        for (const auto& list : block.edgeCopies)
            code.insert(code.end(), list.begin(), list.end());
        afterPc[b] = static_cast<uint32_t>(code.size());
        if (block.latchOf >= 0) {
            IrInstruction ir = makeInstruction(RegisterOp::LoopBack, {}, 0);
            ir.ins.a = static_cast<uint16_t>(loops_[block.latchOf].header);
            ir.ins.b = static_cast<uint16_t>(block.latchOf);
            loopBackPc[block.latchOf] = static_cast<uint32_t>(code.size());
            code.push_back(ir);
        }
    }
    for (int b : order_) {
        const IrBlock& block = blocks_[b];
        code[entryPc[b]].ins.imm = block.mergeBlock >= 0 ? startPc[block.mergeBlock] : afterPc[b];
        if (block.latchOf >= 0)
            code[loopBackPc[block.latchOf]].ins.imm = entryPc[loops_[block.latchOf].header];
    }
    if (code.size() >= 0x7fffffff || n > 0xffff || loops_.size() > 0xffff)
        return fail("program too large");

    // Lifetimes of the temporaries over the flattened code; a lifetime that
    // crosses into or out of a loop covers the whole loop.
    const size_t count = regs_.size();
    std::vector<int64_t> first(count, INT64_MAX), last(count, -1);
    for (size_t pc = 0; pc < code.size(); ++pc) {
        const IrInstruction& ir = code[pc];
        for (int k = 0; k < ir.regCount; ++k) {
            const uint32_t r = ir.regs[k];
            if (r == NO_REG || regs_[r].kind != VirtualRegister::Temp)
                continue;
            first[r] = std::min<int64_t>(first[r], static_cast<int64_t>(pc));
            last[r] = std::max<int64_t>(last[r], static_cast<int64_t>(pc));
        }
    }
    std::vector<size_t> loopOrder(loops_.size());
    for (size_t l = 0; l < loops_.size(); ++l)
        loopOrder[l] = l;
    std::sort(loopOrder.begin(), loopOrder.end(), [&](size_t x, size_t y) {
        return loops_[x].last - loops_[x].first < loops_[y].last - loops_[y].first;
    });
    for (size_t l : loopOrder) {
        const int64_t from = startPc[loops_[l].header], to = loopBackPc[l];
        for (size_t r = 0; r < count; ++r) {
            if (last[r] < 0)
                continue;
            if (first[r] < from && last[r] >= from && last[r] < to)
                last[r] = to;
            if (first[r] > from && first[r] <= to && last[r] > to)
                first[r] = from;
        }
    }

    // Constants, then variables, then temporaries by linear scan.
    std::vector<uint32_t> constantRegs;
    for (size_t r = 0; r < count; ++r)
        if (regs_[r].kind == VirtualRegister::Constant) {
            regs_[r].physical = static_cast<uint32_t>(constantRegs.size());
            constantRegs.push_back(regs_[r].bits);
        }
    const uint32_t constantCount = static_cast<uint32_t>(constantRegs.size());
    for (size_t r = 0; r < count; ++r)
        if (regs_[r].kind == VirtualRegister::Fixed)
            regs_[r].physical += constantCount;
    std::vector<uint32_t> temps;
    for (uint32_t r = 0; r < count; ++r)
        if (regs_[r].kind == VirtualRegister::Temp && last[r] >= 0)
            temps.push_back(r);
    std::sort(temps.begin(), temps.end(), [&](uint32_t x, uint32_t y) { return first[x] < first[y]; });
    uint32_t next = constantCount + fixedCount_;
    std::vector<uint32_t> freeRegs;
    std::vector<std::pair<int64_t, uint32_t>> active; // (last use, physical), a min-heap
    auto later = [](const std::pair<int64_t, uint32_t>& x, const std::pair<int64_t, uint32_t>& y) {
        return x.first > y.first;
    };
    for (uint32_t r : temps) {
        while (!active.empty() && active.front().first < first[r]) {
            freeRegs.push_back(active.front().second);
            std::pop_heap(active.begin(), active.end(), later);
            active.pop_back();
        }
        uint32_t physical;
        if (freeRegs.empty()) {
            physical = next++;
        } else {
            physical = freeRegs.back();
            freeRegs.pop_back();
        }
        regs_[r].physical = physical;
        active.push_back({last[r], physical});
        std::push_heap(active.begin(), active.end(), later);
    }
    if (next >= 0xffff)
        return fail("program needs too many registers");
    auto physical = [&](uint32_t r) -> uint16_t {
        return r == NO_REG ? 0xffff : static_cast<uint16_t>(regs_[r].physical);
    };

    program.code.reserve(code.size());
    for (const IrInstruction& ir : code) {
        RegisterInstruction ins = ir.ins;
        if (ins.op == RegisterOp::Sample) {
            ins.imm = static_cast<uint32_t>(program.extra.size());
            for (int k = 0; k < ir.regCount; ++k)
                program.extra.push_back(physical(ir.regs[k]));
        } else {
            if (ir.regCount > 10)
                return fail("instruction with too many operands");
            for (int k = 0; k < ir.regCount; ++k)
                ins.r[k] = physical(ir.regs[k]);
            if (ins.op == RegisterOp::Switch) {
                ins.imm = static_cast<uint32_t>(program.extra.size());
                program.extra.insert(program.extra.end(), ir.extra.begin(), ir.extra.end());
            }
        }
        program.code.push_back(ins);
    }
    program.mainStart = mainStart;
    program.registerCount = next;
    program.constantCount = constantCount;
    program.constantValues = std::move(constantRegs);
    for (uint32_t id : clearedVariables_) {
        const Variable& v = variables_[id];
        for (uint32_t k = 0; k < v.scalars; ++k)
            program.clearedRegisters.push_back(physical(v.firstReg + k));
    }
    program.inputs = inputSlots_;
    for (size_t i = 0; i < inputSlots_.size(); ++i)
        program.inputs[i].reg = physical(inputVirtual_[i]);
    program.outputs = outputSlots_;
    for (size_t i = 0; i < outputSlots_.size(); ++i)
        program.outputs[i].reg = physical(outputVirtual_[i]);
    program.blockCount = static_cast<uint32_t>(n);
    program.loopCount = static_cast<uint32_t>(loops_.size());
    for (const IrBlock& block : blocks_)
        program.maxSuccessors = std::max<uint32_t>(program.maxSuccessors, static_cast<uint32_t>(block.successors.size()));
    return true;
}

std::shared_ptr<RegisterProgram> ProgramTranslator::translate(KernelSet kernels)
{
    uniformFloats_ = info_.uniformBytes / 4;
    if (!parseModule() || !collectBlocks() || !orderBlocks() || !declareInterface() || !translateBlocks() ||
        !resolvePhis())
        return nullptr;
    insertLoopExitCopies();
    auto program = std::make_shared<RegisterProgram>();
    program->info = info_;
    program->kernels = kernels;
    program->serial = programSerial.fetch_add(1);
    if (!assemble(*program))
        return nullptr;
    return program;
}

} // namespace

std::shared_ptr<const RegisterProgram> translateProgram(const std::vector<uint32_t>& spirv, const ProgramInfo& info,
                                                        KernelSet kernels, std::string& errors)
{
    try {
        ProgramTranslator translator(spirv, info, errors);
        return translator.translate(kernels);
    } catch (const std::bad_alloc&) {
        errors = "out of memory";
        return nullptr;
    }
}

std::shared_ptr<const RegisterProgram> translateProgram(const std::vector<uint32_t>& spirv, const ProgramInfo& info,
                                                        std::string& errors)
{
    return translateProgram(spirv, info, bestKernelSet(), errors);
}

} // namespace shader
} // namespace swd3d9
