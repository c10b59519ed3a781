#pragma once

// A compiled shader: the executable program of one vertex or pixel shader
// entry point of an effect, what it reads (stage inputs by semantic, the
// uniform block, samplers) and what it writes (stage outputs by semantic).
//
// Programs are made from the SPIR-V that the HLSL compiler produces and run
// over batches of lanes: a vertex batch is up to MAX_LANES vertices, a pixel
// batch is whole 2 x 2 quads (lanes 4q .. 4q + 3 are the quad's top-left,
// top-right, bottom-left and bottom-right pixels), so that derivatives and
// implicit-level sampling read the neighbours in the quad.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace swd3d9 {
namespace shader {

enum class ShaderStage : uint8_t { Vertex, Pixel };

constexpr int MAX_LANES = 64;

// The usages of the two pixel inputs no D3DDECLUSAGE stands for: the
// pixel's position (VPOS) and the side of the primitive it lies on (VFACE).
constexpr uint8_t USAGE_VPOS = 14;
constexpr uint8_t USAGE_VFACE = 15;

// A stage input or output, identified by its HLSL semantic: usage is the
// D3DDECLUSAGE it stands for (POSITION, NORMAL, TEXCOORD, COLOR, FOG, PSIZE,
// DEPTH for pixel outputs; VPOS and VFACE, pixel inputs handled by the
// caller, are USAGE_VPOS and USAGE_VFACE) and usageIndex the number after the name (TEXCOORD3: 3).
struct StageVariable {
    std::string semantic; // upper case, as written with its index ("TEXCOORD0")
    uint8_t usage;
    uint8_t usageIndex;
    uint8_t components; // 1 to 4
};

// A member of the uniform block: the effect writes parameter values at
// offset (bytes) of a block laid out as the device's float constant
// registers (16 bytes per register); ints and bools are stored as their
// 32-bit patterns.
// Struct members are listed one by one under dotted names ("Mtl.shininess",
// "Lights[2].color"); an array of scalars, vectors or matrices is one entry
// with its element count and stride.
struct UniformVariable {
    std::string name;
    std::string semantic; // upper case; empty without one
    uint32_t offset;
    uint32_t size;
    uint8_t rows = 1;    // matrices: HLSL rows and columns
    uint8_t columns = 1; // vectors: components
    // Matrices: element (r, c) lies at offset + 16 c + 4 r when true (the
    // default column-major packing), at offset + 16 r + 4 c when false
    // (row_major).
    bool columnMajor = true;
    uint32_t elements = 0; // 0: not an array
    uint32_t arrayStride = 0;
};

enum class SamplerDimension : uint8_t { Texture1D, Texture2D, Texture3D, Cube };

// A sampler the program reads, by its effect name; the caller binds it to
// one of the device's sampler registers.
struct SamplerVariable {
    std::string name;
    SamplerDimension dimension;
};

struct ProgramInfo {
    ShaderStage stage;
    std::vector<StageVariable> inputs;
    std::vector<StageVariable> outputs;
    std::vector<UniformVariable> uniforms;
    uint32_t uniformBytes = 0;
    std::vector<SamplerVariable> samplers;
    bool usesDerivatives = false; // pixel programs: ddx/ddy or implicit-level sampling
    bool discards = false;        // clip/discard
};

class RegisterProgram;
class ExecutionContext;
struct ShaderBatch;

// One compiled entry point: its optimised, validated SPIR-V and what the
// SPIR-V reads and writes. Programs are immutable once made and shared
// between the effects and shader objects that use them.
class Program {
public:
    Program(std::vector<uint32_t> spirv, ProgramInfo info);

    const ProgramInfo& info() const { return info_; }
    const std::vector<uint32_t>& spirv() const { return spirv_; }

    // The executable form (ShaderExecution.h), translated when the program
    // is made; null when the SPIR-V uses something the executor does not
    // run, executableErrors() saying what.
    const RegisterProgram* executable() const { return executable_.get(); }
    const std::string& executableErrors() const { return executableErrors_; }
    // Runs the program over a batch (ShaderExecution.h); returns the lanes
    // that were discarded. Without an executable form nothing runs.
    uint64_t run(ExecutionContext& context, const ShaderBatch& batch) const;

private:
    std::vector<uint32_t> spirv_;
    ProgramInfo info_;
    std::shared_ptr<const RegisterProgram> executable_;
    std::string executableErrors_;
};

} // namespace shader
} // namespace swd3d9
