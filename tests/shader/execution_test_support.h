#pragma once

// Running compiled programs in tests: batches built by semantic and uniform
// name, run with every kernel set the processor has, and an analytic
// texture that records what it was asked.

#include "compiler_test_support.h"

#include "shader/RegisterProgram.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <map>

namespace shadertest {

using swd3d9::shader::ExecutionContext;
using swd3d9::shader::KernelSet;
using swd3d9::shader::MAX_LANES;
using swd3d9::shader::RegisterProgram;
using swd3d9::shader::SampleKind;
using swd3d9::shader::SampleRequest;
using swd3d9::shader::SamplerDimension;
using swd3d9::shader::ShaderBatch;
using swd3d9::shader::TextureAccess;

inline std::vector<KernelSet> kernelSets()
{
    std::vector<KernelSet> sets = {KernelSet::Generic};
    if (swd3d9::shader::bestKernelSet() == KernelSet::Avx2)
        sets.push_back(KernelSet::Avx2);
    return sets;
}

inline const char* kernelSetName(KernelSet set) { return set == KernelSet::Avx2 ? "avx2" : "generic"; }

// A texture whose texel at (u, v, w) of level l is (u, v, w, l) with the
// level chosen as a sampler would: from the longer of the two derivative
// vectors scaled by the texture size, plus the bias. Every request is kept.
class AnalyticTexture : public TextureAccess {
public:
    explicit AnalyticTexture(float size = 256.0f) : size_(size) {}

    void sample(const SampleRequest& request, float* const rgba[4]) const override
    {
        requests.push_back(request);
        for (int i = 0; i < request.lanes; ++i) {
            float c[3] = {0, 0, 0};
            for (int k = 0; k < request.components; ++k)
                c[k] = request.coordinates[k][i];
            float level = 0;
            if (request.kind == SampleKind::ExplicitLevel) {
                level = request.level[i];
            } else {
                float x = 0, y = 0;
                for (int k = 0; k < request.components; ++k) {
                    x += request.ddx[k][i] * request.ddx[k][i];
                    y += request.ddy[k][i] * request.ddy[k][i];
                }
                level = std::log2(std::sqrt(std::max(x, y)) * size_);
                if (request.kind == SampleKind::Bias)
                    level += request.level[i];
            }
            rgba[0][i] = c[0];
            rgba[1][i] = c[1];
            rgba[2][i] = c[2];
            rgba[3][i] = level;
        }
    }

    mutable std::vector<SampleRequest> requests;

private:
    float size_;
};

// One batch: inputs and outputs by semantic, uniforms by name.
class TestBatch {
public:
    TestBatch(const Program& program, int lanes) : program_(program), lanes_(lanes)
    {
        const auto& info = program.info();
        inputs_.assign(info.inputs.size() * 4, std::vector<float>(lanes, 0.0f));
        for (size_t i = 0; i < info.inputs.size(); ++i)
            inputs_[4 * i + 3].assign(lanes, 1.0f);
        outputs_.assign(info.outputs.size() * 4, std::vector<float>(lanes, -12345.0f));
        constants_.assign(info.uniformBytes / 4 + 4, 0.0f);
    }

    int lanes() const { return lanes_; }

    // Component c of the input with the semantic, per lane.
    void input(const std::string& semantic, const std::function<float(int lane, int c)>& value)
    {
        const int index = find(program_.info().inputs, semantic);
        ASSERT_GE(index, 0) << semantic;
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < lanes_; ++i)
                inputs_[4 * index + c][i] = value(i, c);
    }

    float output(const std::string& semantic, int c, int lane) const
    {
        const int index = find(program_.info().outputs, semantic);
        EXPECT_GE(index, 0) << semantic;
        return index < 0 ? NAN : outputs_[4 * index + c][lane];
    }

    void uniform(const std::string& name, const std::vector<float>& values, uint32_t extraOffset = 0)
    {
        const auto* u = findUniform(name);
        ASSERT_TRUE(u) << name;
        std::memcpy(&constants_[(u->offset + extraOffset) / 4], values.data(), values.size() * 4);
    }
    void uniformInts(const std::string& name, const std::vector<int32_t>& values, uint32_t extraOffset = 0)
    {
        const auto* u = findUniform(name);
        ASSERT_TRUE(u) << name;
        std::memcpy(&constants_[(u->offset + extraOffset) / 4], values.data(), values.size() * 4);
    }
    // m[r][c] is HLSL element (r, c), stored as the uniform's packing says.
    void matrix(const std::string& name, const std::vector<std::vector<float>>& m, uint32_t element = 0)
    {
        const auto* u = findUniform(name);
        ASSERT_TRUE(u) << name;
        const uint32_t base = u->offset + element * u->arrayStride;
        for (size_t r = 0; r < m.size(); ++r)
            for (size_t c = 0; c < m[r].size(); ++c) {
                const uint32_t at = u->columnMajor ? base + 16 * c + 4 * r : base + 16 * r + 4 * c;
                constants_[at / 4] = m[r][c];
            }
    }

    const swd3d9::shader::UniformVariable* findUniform(const std::string& name) const
    {
        for (const auto& u : program_.info().uniforms)
            if (u.name == name)
                return &u;
        return nullptr;
    }

    // Runs the batch; returns the discarded lanes.
    uint64_t run(const RegisterProgram& executable, ExecutionContext& context, const TextureAccess* textures)
    {
        std::vector<const float*> in;
        for (auto& v : inputs_)
            in.push_back(v.data());
        std::vector<float*> out;
        for (auto& v : outputs_)
            out.push_back(v.data());
        ShaderBatch batch;
        batch.lanes = lanes_;
        batch.inputs = in.data();
        batch.outputs = out.data();
        batch.constants = constants_.data();
        batch.textures = textures;
        return swd3d9::shader::runProgram(executable, context, batch);
    }

private:
    // By name and index, "COLOR" being "COLOR0".
    static int find(const std::vector<swd3d9::shader::StageVariable>& list, const std::string& semantic)
    {
        auto split = [](const std::string& s) {
            size_t end = s.size();
            while (end > 0 && s[end - 1] >= '0' && s[end - 1] <= '9')
                --end;
            return std::make_pair(s.substr(0, end), end == s.size() ? 0 : std::stoi(s.substr(end)));
        };
        for (size_t i = 0; i < list.size(); ++i)
            if (split(list[i].semantic) == split(semantic))
                return static_cast<int>(i);
        return -1;
    }

    const Program& program_;
    int lanes_;
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    std::vector<float> constants_;
};

inline std::shared_ptr<const RegisterProgram> translateOrFail(const Program& program, KernelSet set)
{
    std::string errors;
    auto executable = swd3d9::shader::translateProgram(program.spirv(), program.info(), set, errors);
    EXPECT_TRUE(executable) << errors;
    return executable;
}

// Compiles and translates for every kernel set, then calls check with a
// fresh batch and a function that runs it.
struct ProgramUnderTest {
    std::shared_ptr<const Program> program;
    std::vector<std::pair<KernelSet, std::shared_ptr<const RegisterProgram>>> executables;
};

inline ProgramUnderTest buildProgram(const std::string& hlsl, const std::string& entry, ShaderStage stage)
{
    ProgramUnderTest p;
    p.program = compileOrFail(hlsl, entry, stage);
    if (!p.program)
        return p;
    for (KernelSet set : kernelSets())
        if (auto e = translateOrFail(*p.program, set))
            p.executables.push_back({set, e});
    return p;
}

} // namespace shadertest
