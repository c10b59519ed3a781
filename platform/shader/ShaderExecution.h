#pragma once

// Running compiled programs: the executable form of a program's SPIR-V (a
// register program, RegisterProgram.h), the batches it runs over, the
// per-thread scratch it runs in and the texture interface through which it
// samples.
//
// A batch is a structure of arrays: every value of the program holds one
// float (or 32-bit integer pattern) per lane. Vertex batches are up to
// MAX_LANES vertices; pixel batches are whole 2 x 2 quads, lane 4q + 0..3
// being quad q's top-left, top-right, bottom-left and bottom-right pixel.
// Every lane of a quad runs, covered or not, so that derivatives see all
// four pixels; the caller keeps the results of the covered ones.
//
// Derivatives are per row and per column of a quad: ddx of a top-row pixel
// is top-right minus top-left, of a bottom-row pixel bottom-right minus
// bottom-left; ddy of a left-column pixel is bottom-left minus top-left, of
// a right-column pixel bottom-right minus top-right.

#include "shader/ShaderProgram.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

class RegisterProgram;

// How a sample chooses its mip level.
enum class SampleKind : uint8_t {
    ImplicitLevel, // from the derivatives of the coordinates in the quad
    Bias,          // the same, plus a bias per lane (tex2Dbias)
    ExplicitLevel, // a level per lane (tex2Dlod)
    Gradients,     // from derivatives the program gives (tex2Dgrad)
};

// One texture lookup for the lanes of a batch. Coordinates have one
// component for 1D, two for 2D and three for 3D and cube textures (the cube
// coordinate is a direction). Projected lookups (tex2Dproj) arrive already
// divided by their last component, with the derivatives of the quotient.
struct SampleRequest {
    uint32_t sampler = 0; // index in ProgramInfo::samplers
    SamplerDimension dimension = SamplerDimension::Texture2D;
    SampleKind kind = SampleKind::ImplicitLevel;
    bool projected = false;
    int components = 2;
    int lanes = 0;       // lanes to fill (a multiple of 8 or all of the batch)
    uint64_t active = 0; // lanes whose results the program uses
    const float* coordinates[3] = {};
    // ExplicitLevel: the level; Bias: the bias; otherwise null.
    const float* level = nullptr;
    // ImplicitLevel, Bias and Gradients: d(coordinate)/dx and d/dy per lane;
    // null for ExplicitLevel and in vertex programs.
    const float* ddx[3] = {};
    const float* ddy[3] = {};
};

// What the device provides for sampling: fills rgba[0..3][lane] for the
// request's lanes (at least its active ones).
class TextureAccess {
public:
    virtual ~TextureAccess() = default;
    virtual void sample(const SampleRequest& request, float* const rgba[4]) const = 0;
};

// One run of a program over a batch of lanes.
struct ShaderBatch {
    // Vertex programs: 1 to MAX_LANES; pixel programs: a multiple of 4.
    int lanes = 0;
    // inputs[4 * i + c]: component c of ProgramInfo::inputs[i], one float per
    // lane. A null pointer (or a null array) reads as 0 for x, y, z and 1 for
    // w, as Direct3D fills missing vertex elements.
    const float* const* inputs = nullptr;
    // outputs[4 * i + c]: where component c of ProgramInfo::outputs[i] goes;
    // null pointers are skipped.
    float* const* outputs = nullptr;
    // The uniform block as float constant registers (4 floats each), at
    // least ProgramInfo::uniformBytes long; may be null when that is 0.
    const float* constants = nullptr;
    // The program's samplers; may be null when it has none.
    const TextureAccess* textures = nullptr;
};

// Scratch space of one thread for running programs: registers and control
// masks, allocated when a program larger than any before runs, so that
// running batches allocates nothing. A context remembers the constants of
// the last program it ran; a thread that alternates programs does best with
// one context per program (or per stage).
class ExecutionContext {
public:
    ExecutionContext();
    ~ExecutionContext();
    ExecutionContext(const ExecutionContext&) = delete;
    ExecutionContext& operator=(const ExecutionContext&) = delete;

    // Makes room for and loads the constants of program; false when memory
    // runs out.
    bool bind(const RegisterProgram& program);

    float* registers() { return registers_; }
    uint64_t* blockMasks() { return masks_.data(); }
    uint32_t* loopCounters() { return counters_.data(); }

private:
    float* registers_ = nullptr; // 64-byte aligned, registerCapacity_ x MAX_LANES floats
    size_t registerCapacity_ = 0;
    std::vector<uint64_t> masks_;
    std::vector<uint32_t> counters_;
    const RegisterProgram* bound_ = nullptr;
    uint64_t boundSerial_ = 0;
};

// Translates SPIR-V (as the HLSL compiler makes it: legalised, every call
// inlined, structured control flow) into a register program. Returns null
// and describes the problem in errors when the SPIR-V uses something the
// executor does not run.
std::shared_ptr<const RegisterProgram> translateProgram(const std::vector<uint32_t>& spirv, const ProgramInfo& info,
                                                        std::string& errors);

// Runs program over a batch. Returns the lanes that were discarded (clip,
// discard); 0 for vertex programs.
uint64_t runProgram(const RegisterProgram& program, ExecutionContext& context, const ShaderBatch& batch);

} // namespace shader
} // namespace swd3d9
