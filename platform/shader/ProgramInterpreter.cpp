// Running register programs (RegisterProgram.h) over batches of lanes.
//
// The interpreter loop and its kernels (ProgramKernels.h) are compiled
// twice: for AVX2 with FMA, eight lanes per vector, and for plain SSE2,
// four; a program runs with the set chosen when it was translated.

#include "shader/RegisterProgram.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <immintrin.h>

namespace swd3d9 {
namespace shader {

namespace {

// A loop entered repeats at most this often (Direct3D 9's shader models
// allow 255 iterations per loop); lanes still looping then leave it, so that
// a program cannot hang a draw.
constexpr uint32_t MAX_LOOP_ITERATIONS = 1024;
// Nested loops, each within that limit, would multiply into hours, so all
// the loops of a run together repeat at most as often as its lanes could
// in Direct3D 9, which executes at most 65,535 instructions per invocation:
// this many times per lane, which a run of valid programs never reaches.
constexpr uint32_t LOOP_ITERATIONS_PER_LANE = 65536;

namespace generic {
#define KERNEL_WIDTH 4
#include "shader/ProgramKernels.h"
#undef KERNEL_WIDTH
} // namespace generic

// GCC sets the target for everything up to pop_options; clang ignores
// that pragma and takes the target as an attribute of each function.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
namespace avx2 {
#define KERNEL_WIDTH 8
#include "shader/ProgramKernels.h"
#undef KERNEL_WIDTH
} // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Denormals flushed to zero in and out while a program runs, as shader
// hardware does; they would only slow the arithmetic down.
class FlushDenormals {
public:
    FlushDenormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }
    ~FlushDenormals() { _mm_setcsr(saved_); }

private:
    unsigned int saved_;
};

} // namespace

KernelSet bestKernelSet()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? KernelSet::Avx2 : KernelSet::Generic;
}

ExecutionContext::ExecutionContext() = default;

ExecutionContext::~ExecutionContext()
{
    std::free(registers_);
}

bool ExecutionContext::bind(const RegisterProgram& program)
{
    if (bound_ == &program && boundSerial_ == program.serial)
        return true;
    try {
        if (program.registerCount > registerCapacity_) {
            const size_t bytes = size_t(program.registerCount) * MAX_LANES * sizeof(float);
            void* memory = std::aligned_alloc(64, bytes);
            if (!memory)
                return false;
            std::memset(memory, 0, bytes);
            std::free(registers_);
            registers_ = static_cast<float*>(memory);
            registerCapacity_ = program.registerCount;
        }
        masks_.resize(std::max<size_t>(masks_.size(), program.blockCount + program.maxSuccessors));
        counters_.resize(std::max<size_t>(counters_.size(), program.loopCount + 1));
    } catch (const std::bad_alloc&) {
        bound_ = nullptr;
        return false;
    }
    for (uint32_t k = 0; k < program.constantCount; ++k) {
        uint32_t* reg = reinterpret_cast<uint32_t*>(registers_ + size_t(k) * MAX_LANES);
        for (int i = 0; i < MAX_LANES; ++i)
            reg[i] = program.constantValues[k];
    }
    bound_ = &program;
    boundSerial_ = program.serial;
    return true;
}

uint64_t runProgram(const RegisterProgram& program, ExecutionContext& context, const ShaderBatch& batch)
{
    if (batch.lanes <= 0 || batch.lanes > MAX_LANES || !context.bind(program))
        return 0;
    if (program.info.uniformBytes > 0 && !batch.constants)
        return 0;
    FlushDenormals flush;
    return program.kernels == KernelSet::Avx2 ? avx2::execute(program, context, batch)
                                              : generic::execute(program, context, batch);
}

uint64_t Program::run(ExecutionContext& context, const ShaderBatch& batch) const
{
    return executable_ ? runProgram(*executable_, context, batch) : 0;
}

} // namespace shader
} // namespace swd3d9
