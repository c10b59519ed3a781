// The interpreter loop and its kernels for one instruction set.
// ProgramInterpreter.cpp includes this file once per set, inside the set's
// namespace and target (hence no include guard), with KERNEL_WIDTH 8 (AVX2)
// or 4 (SSE2). Each instruction is one dispatch per batch: its kernel loops
// over the batch's lanes W at a time.

#if KERNEL_WIDTH == 8
typedef float V __attribute__((vector_size(32), may_alias));
typedef int32_t VI __attribute__((vector_size(32), may_alias));
typedef uint32_t VU __attribute__((vector_size(32), may_alias));
constexpr int W = 8;
inline V vmin(V a, V b) { return V(_mm256_min_ps(__m256(a), __m256(b))); }
inline V vmax(V a, V b) { return V(_mm256_max_ps(__m256(a), __m256(b))); }
inline V vsqrt(V a) { return V(_mm256_sqrt_ps(__m256(a))); }
inline uint32_t laneBits(VI m) { return static_cast<uint32_t>(_mm256_movemask_ps(__m256(m))); }
#else
typedef float V __attribute__((vector_size(16), may_alias));
typedef int32_t VI __attribute__((vector_size(16), may_alias));
typedef uint32_t VU __attribute__((vector_size(16), may_alias));
constexpr int W = 4;
inline V vmin(V a, V b) { return V(_mm_min_ps(__m128(a), __m128(b))); }
inline V vmax(V a, V b) { return V(_mm_max_ps(__m128(a), __m128(b))); }
inline V vsqrt(V a) { return V(_mm_sqrt_ps(__m128(a))); }
inline uint32_t laneBits(VI m) { return static_cast<uint32_t>(_mm_movemask_ps(__m128(m))); }
#endif

inline V splat(float f) { return V{} + f; }
inline VI splatI(int32_t i) { return VI{} + i; }
// A value broadcast as its bits: integers stored in float registers would
// read as denormals, which arithmetic flushes to zero.
inline VI splatBits(const float* p)
{
    int32_t bits;
    __builtin_memcpy(&bits, p, 4);
    return splatI(bits);
}
inline V load(const float* p) { return *reinterpret_cast<const V*>(p); }
inline VI loadI(const float* p) { return *reinterpret_cast<const VI*>(p); }
inline void store(float* p, V v) { *reinterpret_cast<V*>(p) = v; }
inline void storeI(float* p, VI v) { *reinterpret_cast<VI*>(p) = v; }

#include "shader/ShaderMath.h"

// Lanes i .. i + W - 1 of a 64-bit lane mask as a vector mask.
inline VI maskLanes(uint64_t mask, int i)
{
    VI bit;
    for (int k = 0; k < W; ++k)
        bit[k] = 1 << k;
    const VI m = splatI(static_cast<int32_t>((mask >> i) & ((1u << W) - 1)));
    return (m & bit) != 0;
}

// Float to int as Direct3D converts: truncation, saturated, NaN to 0.
inline VI toInt(V x)
{
    x = selectV(x != x, splat(0.0f), x);
    x = vmin(vmax(x, splat(-2147483648.0f)), splat(2147483520.0f));
    return __builtin_convertvector(x, VI);
}
inline VI toUInt(V x)
{
    x = selectV(x != x, splat(0.0f), x);
    x = vmin(vmax(x, splat(0.0f)), splat(4294967040.0f));
    const VI high = x >= splat(2147483648.0f);
    const V shifted = selectV(high, x - splat(2147483648.0f), x);
    return __builtin_convertvector(shifted, VI) ^ (high & splatI(int32_t(0x80000000u)));
}
inline V fromUInt(VI x)
{
    const VU u = VU(x);
    return __builtin_convertvector(VI(u >> 16), V) * splat(65536.0f) + __builtin_convertvector(VI(u & 0xffff), V);
}

inline int32_t clampIndex(int32_t i, int32_t last) { return i < 0 ? 0 : i > last ? last : i; }

struct Frame {
    float* regs;
    int n; // lanes rounded up to a multiple of 8
    float* reg(uint16_t r) const { return regs + size_t(r) * MAX_LANES; }
};

uint64_t execute(const RegisterProgram& program, ExecutionContext& context, const ShaderBatch& batch)
{
    const int lanes = batch.lanes;
    const uint64_t all = lanes >= 64 ? ~uint64_t(0) : (uint64_t(1) << lanes) - 1;
    Frame f{context.registers(), (lanes + 7) & ~7};
    const int n = f.n;
    uint64_t* pending = context.blockMasks();
    uint64_t* edges = pending + program.blockCount;
    uint32_t* counters = context.loopCounters();
    uint32_t loopIterations = 0;
    const uint32_t maxLoopIterations = static_cast<uint32_t>(lanes) * LOOP_ITERATIONS_PER_LANE;
    const RegisterInstruction* code = program.code.data();
    const uint32_t size = static_cast<uint32_t>(program.code.size());
    const uint32_t* extra = program.extra.data();
    const float* constants = batch.constants;
    const int32_t lastUniform = static_cast<int32_t>(program.info.uniformBytes / 4) - 1;

    for (uint16_t r : program.clearedRegisters)
        for (int i = 0; i < n; i += W)
            store(f.reg(r) + i, splat(0.0f));
    for (const StageSlot& slot : program.inputs) {
        float* d = f.reg(slot.reg);
        const float* s = batch.inputs ? batch.inputs[4 * slot.variable + slot.component] : nullptr;
        if (s) {
            for (int i = 0; i < lanes; ++i)
                d[i] = s[i];
            for (int i = lanes; i < n; ++i)
                d[i] = 0.0f;
        } else {
            const float fill = slot.component == 3 ? 1.0f : 0.0f;
            for (int i = 0; i < n; i += W)
                store(d + i, splat(fill));
        }
        if (slot.integer)
            for (int i = 0; i < n; i += W)
                storeI(d + i, toInt(load(d + i)));
    }
    for (uint32_t b = 0; b < program.blockCount; ++b)
        pending[b] = 0;
    pending[0] = all;

    uint64_t current = all, killed = 0;
    int width = 8; // the preamble runs over one vector of lanes
    for (uint32_t pc = 0; pc < size; ++pc) {
        if (pc == program.mainStart)
            width = n;
        const RegisterInstruction& in = code[pc];
        const int m = width;
        float* d = f.reg(in.r[0]);
        const float* a = f.reg(in.r[1]);
        const float* b = f.reg(in.r[2]);
        const float* c = f.reg(in.r[3]);

#define FLOAT_UNARY(op, expr)                                                                                          \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const V x = load(a + i);                                                                                   \
            store(d + i, (expr));                                                                                      \
        }                                                                                                              \
        break;
#define FLOAT_BINARY(op, expr)                                                                                         \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const V x = load(a + i), y = load(b + i);                                                                  \
            store(d + i, (expr));                                                                                      \
        }                                                                                                              \
        break;
#define FLOAT_TERNARY(op, expr)                                                                                        \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const V x = load(a + i), y = load(b + i), z = load(c + i);                                                 \
            store(d + i, (expr));                                                                                      \
        }                                                                                                              \
        break;
#define FLOAT_COMPARE(op, expr)                                                                                        \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const V x = load(a + i), y = load(b + i);                                                                  \
            storeI(d + i, (expr));                                                                                     \
        }                                                                                                              \
        break;
#define INT_UNARY(op, expr)                                                                                            \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const VI x = loadI(a + i);                                                                                 \
            storeI(d + i, (expr));                                                                                     \
        }                                                                                                              \
        break;
#define INT_BINARY(op, expr)                                                                                           \
    case RegisterOp::op:                                                                                               \
        for (int i = 0; i < m; i += W) {                                                                               \
            const VI x = loadI(a + i), y = loadI(b + i);                                                               \
            storeI(d + i, (expr));                                                                                     \
        }                                                                                                              \
        break;
#define INT_SCALAR_BINARY(op, expr)                                                                                    \
    case RegisterOp::op: {                                                                                             \
        const int32_t* x = reinterpret_cast<const int32_t*>(a);                                                       \
        const int32_t* y = reinterpret_cast<const int32_t*>(b);                                                       \
        int32_t* out = reinterpret_cast<int32_t*>(d);                                                                  \
        for (int i = 0; i < m; ++i)                                                                                    \
            out[i] = (expr);                                                                                           \
        break;                                                                                                         \
    }

        switch (in.op) {
        // --- Control flow ---
        case RegisterOp::Block:
            current = pending[in.a];
            pending[in.a] = 0;
            if (!current)
                pc = in.imm - 1;
            break;
        case RegisterOp::Branch:
            pending[in.a] |= current;
            edges[0] = current;
            break;
        case RegisterOp::BranchConditional: {
            uint64_t taken = 0;
            for (int i = 0; i < n; i += W)
                taken |= uint64_t(laneBits(loadI(d + i))) << i;
            taken &= current;
            edges[0] = taken;
            edges[1] = current & ~taken;
            pending[in.a] |= edges[0];
            pending[in.b] |= edges[1];
            break;
        }
        case RegisterOp::Switch: {
            const int32_t* selector = reinterpret_cast<const int32_t*>(d);
            const uint32_t* table = extra + in.imm;
            for (uint32_t k = 0; k < in.b; ++k)
                edges[k] = 0;
            for (int i = 0; i < lanes; ++i) {
                if (!(current >> i & 1))
                    continue;
                uint32_t slot = in.c;
                for (uint32_t k = 0; k < in.a; ++k)
                    if (static_cast<uint32_t>(selector[i]) == table[2 * k])
                        slot = table[2 * k + 1];
                edges[slot] |= uint64_t(1) << i;
            }
            for (uint32_t k = 0; k < in.b; ++k)
                pending[table[2 * in.a + k]] |= edges[k];
            break;
        }
        case RegisterOp::LoopStart:
            counters[in.a] = 0;
            break;
        case RegisterOp::LoopBack:
            if (pending[in.a]) {
                if (++counters[in.b] < MAX_LOOP_ITERATIONS && ++loopIterations < maxLoopIterations)
                    pc = in.imm - 1;
                else
                    pending[in.a] = 0; // lanes still looping stop here
            }
            break;
        case RegisterOp::Kill:
            killed |= current;
            break;
        case RegisterOp::Return:
            break;
        case RegisterOp::PhiCopy:
        case RegisterOp::StoreMasked: {
            const uint64_t mask = in.op == RegisterOp::PhiCopy ? edges[in.a] : current;
            if (!mask)
                break;
            if ((mask & all) == all) {
                for (int i = 0; i < m; i += W)
                    store(d + i, load(a + i));
            } else {
                for (int i = 0; i < m; i += W)
                    store(d + i, selectV(maskLanes(mask, i), load(a + i), load(d + i)));
            }
            break;
        }

        // --- Moves and memory ---
        case RegisterOp::Copy:
            for (int i = 0; i < m; i += W)
                store(d + i, load(a + i));
            break;
        case RegisterOp::Broadcast: {
            const VI x = splatBits(d);
            for (int i = 0; i < n; i += W)
                storeI(d + i, x);
            break;
        }
        case RegisterOp::LoadUniform: {
            const VI x = splatBits(constants + in.imm);
            for (int i = 0; i < m; i += W)
                storeI(d + i, x);
            break;
        }
        case RegisterOp::LoadUniformIndexed: {
            const int32_t* index = reinterpret_cast<const int32_t*>(a);
            bool same = true;
            for (int i = 1; i < m; ++i)
                same = same && index[i] == index[0];
            if (same) {
                const VI x = splatBits(constants + clampIndex(static_cast<int32_t>(in.imm) + index[0], lastUniform));
                for (int i = 0; i < m; i += W)
                    storeI(d + i, x);
            } else {
                for (int i = 0; i < m; ++i)
                    d[i] = constants[clampIndex(static_cast<int32_t>(in.imm) + index[i], lastUniform)];
            }
            break;
        }
        case RegisterOp::LoadIndexed: {
            const int32_t* index = reinterpret_cast<const int32_t*>(b);
            const int32_t last = static_cast<int32_t>(in.imm) - 1;
            for (int i = 0; i < m; ++i)
                d[i] = a[size_t(clampIndex(index[i], last)) * MAX_LANES + i];
            break;
        }
        case RegisterOp::StoreIndexed: {
            // r0: the first register addressed, r1: the value, r2: the index.
            const int32_t* index = reinterpret_cast<const int32_t*>(b);
            const int32_t last = static_cast<int32_t>(in.imm) - 1;
            for (int i = 0; i < lanes; ++i)
                if (current >> i & 1)
                    d[size_t(clampIndex(index[i], last)) * MAX_LANES + i] = a[i];
            break;
        }
        case RegisterOp::IndexMad: {
            const int32_t* index = reinterpret_cast<const int32_t*>(a);
            const int32_t* base = reinterpret_cast<const int32_t*>(b);
            int32_t* out = reinterpret_cast<int32_t*>(d);
            const int32_t last = static_cast<int32_t>(in.imm);
            for (int i = 0; i < m; ++i)
                out[i] = clampIndex(index[i], last) * in.a + base[i];
            break;
        }
        case RegisterOp::SelectComponent: {
            const int32_t* index = reinterpret_cast<const int32_t*>(a);
            for (int i = 0; i < m; ++i)
                d[i] = f.reg(in.r[2 + clampIndex(index[i], in.a - 1)])[i];
            break;
        }

        // --- Float arithmetic ---
        FLOAT_BINARY(FAdd, x + y)
        FLOAT_BINARY(FSub, x - y)
        FLOAT_BINARY(FMul, x * y)
        FLOAT_BINARY(FDiv, x / y)
        FLOAT_UNARY(FNegate, -x)
        FLOAT_BINARY(FRem, x - y * truncV(x / y))
        FLOAT_BINARY(FMod, x - y * floorV(x / y))
        FLOAT_TERNARY(Fma, x * y + z)
        FLOAT_TERNARY(FNma, z - x * y)
        case RegisterOp::MulSub: {
            const float* e = f.reg(in.r[4]);
            for (int i = 0; i < m; i += W)
                store(d + i, load(a + i) * load(b + i) - load(c + i) * load(e + i));
            break;
        }
        case RegisterOp::Dot2:
            for (int i = 0; i < m; i += W)
                store(d + i, load(a + i) * load(c + i) + load(b + i) * load(f.reg(in.r[4]) + i));
            break;
        case RegisterOp::Dot3: {
            const float* x0 = a; const float* x1 = b; const float* x2 = c;
            const float* y0 = f.reg(in.r[4]); const float* y1 = f.reg(in.r[5]); const float* y2 = f.reg(in.r[6]);
            for (int i = 0; i < m; i += W)
                store(d + i, load(x0 + i) * load(y0 + i) + load(x1 + i) * load(y1 + i) + load(x2 + i) * load(y2 + i));
            break;
        }
        case RegisterOp::Dot4: {
            const float* x0 = a; const float* x1 = b; const float* x2 = c; const float* x3 = f.reg(in.r[4]);
            const float* y0 = f.reg(in.r[5]); const float* y1 = f.reg(in.r[6]);
            const float* y2 = f.reg(in.r[7]); const float* y3 = f.reg(in.r[8]);
            for (int i = 0; i < m; i += W)
                store(d + i, (load(x0 + i) * load(y0 + i) + load(x1 + i) * load(y1 + i)) +
                                 (load(x2 + i) * load(y2 + i) + load(x3 + i) * load(y3 + i)));
            break;
        }
        // min/max return the other operand when one is NaN.
        FLOAT_BINARY(FMin, selectV(y != y, x, vmin(x, y)))
        FLOAT_BINARY(FMax, selectV(y != y, x, vmax(x, y)))
        FLOAT_BINARY(FMinFast, vmin(x, y))
        FLOAT_BINARY(FMaxFast, vmax(x, y))
        FLOAT_TERNARY(FClamp, vmin(vmax(x, y), z))
        FLOAT_UNARY(FAbs, absV(x))
        FLOAT_UNARY(FSign, selectV(x > splat(0.0f), splat(1.0f), selectV(x < splat(0.0f), splat(-1.0f), splat(0.0f))))
        FLOAT_UNARY(Floor, floorV(x))
        FLOAT_UNARY(Ceil, ceilV(x))
        FLOAT_UNARY(Trunc, truncV(x))
        FLOAT_UNARY(RoundEven, roundEvenV(x))
        FLOAT_UNARY(Fract, x - floorV(x))
        FLOAT_UNARY(Sqrt, vsqrt(x))
        FLOAT_UNARY(InverseSqrt, splat(1.0f) / vsqrt(x))
        FLOAT_UNARY(Exp, expV(x))
        FLOAT_UNARY(Exp2, exp2V(x))
        FLOAT_UNARY(Log, logV(x))
        FLOAT_UNARY(Log2, log2V(x))
        FLOAT_BINARY(Pow, powV(x, y))
        case RegisterOp::Sin:
        case RegisterOp::Cos:
        case RegisterOp::Tan:
            for (int i = 0; i < m; i += W) {
                V s, co;
                sinCosV(load(a + i), s, co);
                store(d + i, in.op == RegisterOp::Sin ? s : in.op == RegisterOp::Cos ? co : s / co);
            }
            break;
        FLOAT_UNARY(Asin, asinV(x))
        FLOAT_UNARY(Acos, acosV(x))
        FLOAT_UNARY(Atan, atanV(x))
        FLOAT_BINARY(Atan2, atan2V(x, y))
        FLOAT_UNARY(Sinh, sinhV(x))
        FLOAT_UNARY(Cosh, coshV(x))
        FLOAT_UNARY(Tanh, tanhV(x))
        FLOAT_UNARY(Asinh, copySign(logV(absV(x) + vsqrt(x * x + splat(1.0f))), x))
        FLOAT_UNARY(Acosh, logV(x + vsqrt(x * x - splat(1.0f))))
        FLOAT_UNARY(Atanh, splat(0.5f) * logV((splat(1.0f) + x) / (splat(1.0f) - x)))
        FLOAT_BINARY(Step, selectV(y < x, splat(0.0f), splat(1.0f)))
        case RegisterOp::SmoothStep:
            for (int i = 0; i < m; i += W) {
                const V e0 = load(a + i), e1 = load(b + i), x = load(c + i);
                const V t = vmin(vmax((x - e0) / (e1 - e0), splat(0.0f)), splat(1.0f));
                store(d + i, t * t * (splat(3.0f) - splat(2.0f) * t));
            }
            break;
        FLOAT_TERNARY(Mix, x + (y - x) * z)
        case RegisterOp::Ldexp:
            for (int i = 0; i < m; i += W) {
                const V x = load(a + i);
                VI e = loadI(b + i);
                e = e < splatI(-300) ? splatI(-300) : e > splatI(300) ? splatI(300) : e;
                VI e1 = e >> 1, e2 = e - e1;
                e1 = e1 < splatI(-126) ? splatI(-126) : e1 > splatI(127) ? splatI(127) : e1;
                e2 = e2 < splatI(-126) ? splatI(-126) : e2 > splatI(127) ? splatI(127) : e2;
                store(d + i, x * powerOfTwo(e1) * powerOfTwo(e2));
            }
            break;
        case RegisterOp::FrexpMantissa:
        case RegisterOp::FrexpExponent:
            for (int i = 0; i < m; i += W) {
                const V x = load(a + i);
                const VI bits = bitsOf(x);
                const VI exponent = (bits >> 23) & splatI(0xff);
                const VI special = (exponent == splatI(0)) | (exponent == splatI(0xff));
                if (in.op == RegisterOp::FrexpMantissa) {
                    const V mantissa = floatsOf((bits & splatI(int32_t(0x807fffffu))) | splatI(0x3f000000));
                    store(d + i, selectV(special, x, mantissa));
                } else {
                    storeI(d + i, ~special & (exponent - splatI(126)));
                }
            }
            break;

        // --- Comparisons (true is all ones) ---
        FLOAT_COMPARE(FOrdEqual, x == y)
        FLOAT_COMPARE(FOrdNotEqual, (x != y) & (x == x) & (y == y))
        FLOAT_COMPARE(FOrdLess, x < y)
        FLOAT_COMPARE(FOrdGreater, x > y)
        FLOAT_COMPARE(FOrdLessEqual, x <= y)
        FLOAT_COMPARE(FOrdGreaterEqual, x >= y)
        FLOAT_COMPARE(FUnordEqual, ~((x < y) | (x > y)))
        FLOAT_COMPARE(FUnordNotEqual, x != y)
        FLOAT_COMPARE(FUnordLess, ~(x >= y))
        FLOAT_COMPARE(FUnordGreater, ~(x <= y))
        FLOAT_COMPARE(FUnordLessEqual, ~(x > y))
        FLOAT_COMPARE(FUnordGreaterEqual, ~(x < y))
        case RegisterOp::IsNan:
            for (int i = 0; i < m; i += W) {
                const V x = load(a + i);
                storeI(d + i, x != x);
            }
            break;
        case RegisterOp::IsInf:
            for (int i = 0; i < m; i += W)
                storeI(d + i, absV(load(a + i)) == splat(__builtin_inff()));
            break;

        // --- Integers and booleans ---
        INT_BINARY(IAdd, VI(VU(x) + VU(y)))
        INT_BINARY(ISub, VI(VU(x) - VU(y)))
        INT_BINARY(IMul, VI(VU(x) * VU(y)))
        INT_SCALAR_BINARY(SDiv, y[i] == 0 ? 0 : (y[i] == -1 ? int32_t(0u - uint32_t(x[i])) : x[i] / y[i]))
        INT_SCALAR_BINARY(UDiv, y[i] == 0 ? -1 : int32_t(uint32_t(x[i]) / uint32_t(y[i])))
        INT_SCALAR_BINARY(SRem, (y[i] == 0 || y[i] == -1) ? 0 : x[i] % y[i])
        INT_SCALAR_BINARY(SMod, (y[i] == 0 || y[i] == -1) ? 0
                                : (x[i] % y[i] != 0 && ((x[i] % y[i] < 0) != (y[i] < 0))) ? x[i] % y[i] + y[i]
                                                                                        : x[i] % y[i])
        INT_SCALAR_BINARY(UMod, y[i] == 0 ? 0 : int32_t(uint32_t(x[i]) % uint32_t(y[i])))
        INT_UNARY(SNegate, VI(VU{} - VU(x)))
        INT_BINARY(ShiftLeft, VI(VU(x) << VU(y & 31)))
        INT_BINARY(ShiftRightLogical, VI(VU(x) >> VU(y & 31)))
        INT_BINARY(ShiftRightArithmetic, x >> (y & 31))
        INT_BINARY(BitAnd, x & y)
        INT_BINARY(BitOr, x | y)
        INT_BINARY(BitXor, x ^ y)
        INT_UNARY(BitNot, ~x)
        INT_UNARY(SAbs, x < 0 ? VI(VU{} - VU(x)) : x)
        INT_UNARY(SSign, (x > 0 ? splatI(1) : splatI(0)) | (x < 0 ? splatI(-1) : splatI(0)))
        INT_BINARY(SMin, x < y ? x : y)
        INT_BINARY(SMax, x > y ? x : y)
        INT_BINARY(UMin, VU(x) < VU(y) ? x : y)
        INT_BINARY(UMax, VU(x) > VU(y) ? x : y)
        INT_BINARY(IEqual, x == y)
        INT_BINARY(INotEqual, x != y)
        INT_BINARY(SLess, x < y)
        INT_BINARY(SGreater, x > y)
        INT_BINARY(SLessEqual, x <= y)
        INT_BINARY(SGreaterEqual, x >= y)
        INT_BINARY(ULess, VI(VU(x) < VU(y)))
        INT_BINARY(UGreater, VI(VU(x) > VU(y)))
        INT_BINARY(ULessEqual, VI(VU(x) <= VU(y)))
        INT_BINARY(UGreaterEqual, VI(VU(x) >= VU(y)))
        case RegisterOp::Select:
            for (int i = 0; i < m; i += W) {
                const VI s = loadI(a + i);
                storeI(d + i, (s & loadI(b + i)) | (~s & loadI(c + i)));
            }
            break;
        case RegisterOp::ConvertFToS:
            for (int i = 0; i < m; i += W)
                storeI(d + i, toInt(load(a + i)));
            break;
        case RegisterOp::ConvertFToU:
            for (int i = 0; i < m; i += W)
                storeI(d + i, toUInt(load(a + i)));
            break;
        case RegisterOp::ConvertSToF:
            for (int i = 0; i < m; i += W)
                store(d + i, __builtin_convertvector(loadI(a + i), V));
            break;
        case RegisterOp::ConvertUToF:
            for (int i = 0; i < m; i += W)
                store(d + i, fromUInt(loadI(a + i)));
            break;

        // --- Derivatives over 2 x 2 quads (TL, TR, BL, BR) ---
        case RegisterOp::DdxFine:
            for (int q = 0; q < m; q += 4) {
                const float top = a[q + 1] - a[q], bottom = a[q + 3] - a[q + 2];
                d[q] = d[q + 1] = top;
                d[q + 2] = d[q + 3] = bottom;
            }
            break;
        case RegisterOp::DdyFine:
            for (int q = 0; q < m; q += 4) {
                const float left = a[q + 2] - a[q], right = a[q + 3] - a[q + 1];
                d[q] = d[q + 2] = left;
                d[q + 1] = d[q + 3] = right;
            }
            break;
        case RegisterOp::DdxCoarse:
            for (int q = 0; q < m; q += 4)
                d[q] = d[q + 1] = d[q + 2] = d[q + 3] = a[q + 1] - a[q];
            break;
        case RegisterOp::DdyCoarse:
            for (int q = 0; q < m; q += 4)
                d[q] = d[q + 1] = d[q + 2] = d[q + 3] = a[q + 2] - a[q];
            break;

        case RegisterOp::Sample: {
            const uint32_t* ops = extra + in.imm;
            float* rgba[4];
            for (int k = 0; k < 4; ++k)
                rgba[k] = f.reg(static_cast<uint16_t>(ops[k]));
            if (!batch.textures) {
                // An unbound sampler reads as opaque black.
                for (int k = 0; k < 4; ++k)
                    for (int i = 0; i < n; i += W)
                        store(rgba[k] + i, splat(k == 3 ? 1.0f : 0.0f));
                break;
            }
            SampleRequest request;
            request.sampler = in.a;
            request.dimension = program.info.samplers[in.a].dimension;
            request.kind = static_cast<SampleKind>(in.b & 0xff);
            request.projected = (in.b >> 8) != 0;
            request.components = in.c;
            request.lanes = n;
            request.active = current & all;
            auto pointer = [&](uint32_t r) -> const float* { return r == 0xffff ? nullptr : f.reg(uint16_t(r)); };
            for (int k = 0; k < 3; ++k) {
                request.coordinates[k] = pointer(ops[4 + k]);
                request.ddx[k] = pointer(ops[8 + k]);
                request.ddy[k] = pointer(ops[11 + k]);
            }
            request.level = pointer(ops[7]);
            batch.textures->sample(request, rgba);
            break;
        }
        }
#undef FLOAT_UNARY
#undef FLOAT_BINARY
#undef FLOAT_TERNARY
#undef FLOAT_COMPARE
#undef INT_UNARY
#undef INT_BINARY
#undef INT_SCALAR_BINARY
    }

    if (batch.outputs) {
        for (const StageSlot& slot : program.outputs) {
            float* out = batch.outputs[4 * slot.variable + slot.component];
            if (!out)
                continue;
            const float* s = f.reg(slot.reg);
            if (slot.integer) {
                const int32_t* si = reinterpret_cast<const int32_t*>(s);
                for (int i = 0; i < lanes; ++i)
                    out[i] = static_cast<float>(si[i]);
            } else {
                for (int i = 0; i < lanes; ++i)
                    out[i] = s[i];
            }
        }
    }
    return program.info.stage == ShaderStage::Pixel ? killed & all : 0;
}
