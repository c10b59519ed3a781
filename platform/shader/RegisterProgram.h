#pragma once

// The executable form of a program: a linear list of instructions over
// registers of MAX_LANES floats (integers and booleans as 32-bit patterns in
// the same storage; booleans are 0 or all ones). ProgramTranslator makes it
// from SPIR-V, ProgramInterpreter runs it.
//
// Every instruction runs over all lanes of the batch, whatever the control
// mask; only stores, phi copies, samples and discards look at the mask. The
// translator arranges for this to be safe: values used after the loop they
// are computed in are copied out on the loop's exits.
//
// Control flow is a walk over the blocks in structured order. Each block
// collects the lanes branching to it in a mask; a block entered with no lane
// jumps past itself (a construct header past its whole construct), and the
// last block of a loop jumps back to the header while lanes continue.

#include "shader/ShaderExecution.h"

#include <cstdint>
#include <vector>

namespace swd3d9 {
namespace shader {

enum class RegisterOp : uint16_t {
    // Control flow. a: block; imm: pc to jump to when no lane enters.
    Block,
    // Branches record the lanes taking each successor k in the edge masks
    // used by the PhiCopy instructions after them.
    Branch,            // a: target block
    BranchConditional, // a: condition, b: true block, c: false block
    Switch,            // a: selector; imm: first of count (value, block) pairs in extra, then the default block
    LoopStart,         // a: loop counter
    LoopBack,          // a: header block, b: loop counter; imm: pc of the header's Block
    Kill,
    Return,
    PhiCopy, // r0 <- r1 on the lanes of edge mask a

    // Data. r0 is the destination unless said otherwise.
    Copy,
    Broadcast, // r0 <- lane 0 of r0
    LoadUniform,        // imm: float index in the constants
    LoadUniformIndexed, // r1: float index per lane (int); imm: float count of the block
    LoadIndexed,        // r0 <- register (r1 + index r2) per lane; imm: registers addressable from r1
    StoreIndexed,       // register (r0 + index r2) <- r1 on active lanes; imm: as LoadIndexed
    StoreMasked,        // r0 <- r1 on active lanes
    IndexMad,           // r0 <- clamp(r1, 0, imm) * a + r2 (ints)
    SelectComponent,    // r0 <- r[2 + r1] per lane; a: components (at most 8)

    FAdd, FSub, FMul, FDiv, FNegate, FRem, FMod,
    Fma,     // r1 * r2 + r3
    FNma,    // r3 - r1 * r2
    MulSub,  // r1 * r2 - r3 * r4
    Dot2, Dot3, Dot4, // r0 <- sum r[1 + k] * r[1 + n + k]
    FMin, FMax,       // NaN in one operand gives the other
    FMinFast, FMaxFast, // second operand known not NaN
    FClamp, FAbs, FSign, Floor, Ceil, Trunc, RoundEven, Fract,
    Sqrt, InverseSqrt, Exp, Exp2, Log, Log2, Pow, Sin, Cos, Tan, Asin, Acos, Atan, Atan2,
    Sinh, Cosh, Tanh, Asinh, Acosh, Atanh,
    Step, SmoothStep, Mix,
    Ldexp, FrexpMantissa, FrexpExponent,
    FOrdEqual, FOrdNotEqual, FOrdLess, FOrdGreater, FOrdLessEqual, FOrdGreaterEqual,
    FUnordEqual, FUnordNotEqual, FUnordLess, FUnordGreater, FUnordLessEqual, FUnordGreaterEqual,
    IsNan, IsInf,
    IAdd, ISub, IMul, SDiv, UDiv, SRem, SMod, UMod, SNegate,
    ShiftLeft, ShiftRightLogical, ShiftRightArithmetic,
    BitAnd, BitOr, BitXor, BitNot, // also the logical operations on booleans
    SAbs, SSign, SMin, SMax, UMin, UMax,
    IEqual, INotEqual, SLess, SGreater, SLessEqual, SGreaterEqual, ULess, UGreater, ULessEqual, UGreaterEqual,
    Select, // r1 ? r2 : r3
    ConvertFToS, ConvertFToU, ConvertSToF, ConvertUToF,
    DdxFine, DdyFine, DdxCoarse, DdyCoarse,
    Sample,
};

struct RegisterInstruction {
    RegisterOp op;
    uint16_t a = 0;
    uint16_t b = 0;
    uint16_t c = 0;
    uint32_t imm = 0;
    uint16_t r[10] = {};
};

// A Sample's a is the sampler, b its SampleKind | projected << 8, c the
// coordinate count; its registers are in RegisterProgram::extra from imm:
// rgba (4), coordinates (3), level, ddx (3), ddy (3), 0xffff for none.

// Where the inputs and outputs of a batch meet registers.
struct StageSlot {
    uint16_t variable;  // index in ProgramInfo inputs or outputs
    uint8_t component;
    bool integer;       // converted between float and int on the way
    uint16_t reg;
};

enum class KernelSet : uint8_t { Generic, Avx2 };

class RegisterProgram {
public:
    ProgramInfo info;
    KernelSet kernels = KernelSet::Generic;
    uint64_t serial = 0; // tells contexts apart the programs whose constants they hold

    std::vector<RegisterInstruction> code;
    uint32_t mainStart = 0; // code before this is run once over 8 lanes: uniform values
    std::vector<uint32_t> extra;

    uint32_t registerCount = 0;
    // Registers 0 .. constantCount-1 hold the constants, each value over all
    // lanes (constantValues: one 32-bit pattern per register).
    uint32_t constantCount = 0;
    std::vector<uint32_t> constantValues;
    // Registers cleared before each run: outputs and program variables.
    std::vector<uint16_t> clearedRegisters;
    std::vector<StageSlot> inputs;
    std::vector<StageSlot> outputs;
    uint32_t blockCount = 0;
    uint32_t loopCount = 0;
    uint32_t maxSuccessors = 1;
};

// translateProgram with a chosen kernel set (tests run both).
std::shared_ptr<const RegisterProgram> translateProgram(const std::vector<uint32_t>& spirv, const ProgramInfo& info,
                                                        KernelSet kernels, std::string& errors);

// The best kernel set this processor runs.
KernelSet bestKernelSet();

} // namespace shader
} // namespace swd3d9
