// The shader interpreter on the shaded benchmark effect's pixel shader, over
// batches of 64 lanes (16 quads) with a bilinear, wrapping texture, against
// the same shader written by hand in scalar C++ with the same texture
// lookup: nanoseconds per pixel for both.

#include "shader/RegisterProgram.h"
#include "shader/ShaderCompiler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

using namespace swd3d9::shader;

constexpr int TEXTURE_SIZE = 256;

// A float RGB texture sampled bilinearly with wrapping, at the top level.
struct FillTexture {
    std::vector<float> texels = std::vector<float>(TEXTURE_SIZE * TEXTURE_SIZE * 3);

    FillTexture()
    {
        for (int y = 0; y < TEXTURE_SIZE; ++y)
            for (int x = 0; x < TEXTURE_SIZE; ++x) {
                float* t = &texels[(y * TEXTURE_SIZE + x) * 3];
                t[0] = ((x / 16 + y / 16) & 1) ? 1.0f : 0.4f;
                t[1] = float(x) / TEXTURE_SIZE;
                t[2] = float(y) / TEXTURE_SIZE;
            }
    }

    void sample(float u, float v, float rgb[3]) const
    {
        const float x = u * TEXTURE_SIZE - 0.5f, y = v * TEXTURE_SIZE - 0.5f;
        const float fx = std::floor(x), fy = std::floor(y);
        const float ax = x - fx, ay = y - fy;
        const int x0 = int(fx) & (TEXTURE_SIZE - 1), y0 = int(fy) & (TEXTURE_SIZE - 1);
        const int x1 = (x0 + 1) & (TEXTURE_SIZE - 1), y1 = (y0 + 1) & (TEXTURE_SIZE - 1);
        const float* t00 = &texels[(y0 * TEXTURE_SIZE + x0) * 3];
        const float* t10 = &texels[(y0 * TEXTURE_SIZE + x1) * 3];
        const float* t01 = &texels[(y1 * TEXTURE_SIZE + x0) * 3];
        const float* t11 = &texels[(y1 * TEXTURE_SIZE + x1) * 3];
        for (int c = 0; c < 3; ++c) {
            const float top = t00[c] + (t10[c] - t00[c]) * ax;
            const float bottom = t01[c] + (t11[c] - t01[c]) * ax;
            rgb[c] = top + (bottom - top) * ay;
        }
    }
};

class FillTextureAccess : public TextureAccess {
public:
    explicit FillTextureAccess(const FillTexture& texture) : texture_(texture) {}
    void sample(const SampleRequest& request, float* const rgba[4]) const override
    {
        for (int i = 0; i < request.lanes; ++i) {
            float rgb[3];
            texture_.sample(request.coordinates[0][i], request.coordinates[1][i], rgb);
            rgba[0][i] = rgb[0];
            rgba[1][i] = rgb[1];
            rgba[2][i] = rgb[2];
            rgba[3][i] = 1.0f;
        }
    }

private:
    const FillTexture& texture_;
};

// Interpolated normals and points of a sphere's pixels.
struct PixelInputs {
    std::vector<float> normal[3], point[3];
    PixelInputs()
    {
        for (int c = 0; c < 3; ++c) {
            normal[c].resize(MAX_LANES);
            point[c].resize(MAX_LANES);
        }
        for (int i = 0; i < MAX_LANES; ++i) {
            const float a = 0.05f * float(i), b = 0.9f + 0.01f * float(i);
            const float n[3] = {std::cos(a) * std::sin(b), std::cos(b), std::sin(a) * std::sin(b)};
            for (int c = 0; c < 3; ++c) {
                normal[c][i] = n[c] * 1.01f;
                point[c][i] = n[c];
            }
        }
    }
};

const float VIEW_POSITION[4] = {0, 1, 6, 1};

void shadedScalar(const float normalIn[3], const float p[3], const FillTexture& texture, float out[4])
{
    const float nl = 1.0f / std::sqrt(normalIn[0] * normalIn[0] + normalIn[1] * normalIn[1] + normalIn[2] * normalIn[2]);
    const float n[3] = {normalIn[0] * nl, normalIn[1] * nl, normalIn[2] * nl};
    const float u = (std::atan2(n[2], n[0]) * 0.15915494f + 0.5f) * 4;
    const float v = std::acos(std::fmin(std::fmax(n[1], -1.0f), 1.0f)) * 0.31830989f * 2;
    float t[3];
    texture.sample(u, v, t);
    float view[3] = {VIEW_POSITION[0] - p[0], VIEW_POSITION[1] - p[1], VIEW_POSITION[2] - p[2]};
    const float vl = 1.0f / std::sqrt(view[0] * view[0] + view[1] * view[1] + view[2] * view[2]);
    for (float& c : view)
        c *= vl;
    auto specular = [&](const float l[3], float d) {
        if (d <= 0)
            return 0.0f;
        float h[3] = {l[0] + view[0], l[1] + view[1], l[2] + view[2]};
        const float hl = 1.0f / std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
        return std::pow(std::fmax((n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) * hl, 0.0f), 32.0f);
    };
    const float l0[3] = {0.57735027f, 0.57735027f, 0.57735027f};
    const float d0 = std::fmax(n[0] * l0[0] + n[1] * l0[1] + n[2] * l0[2], 0.0f);
    const float s0 = specular(l0, d0);
    const float toLight[3] = {-3 - p[0], 3 - p[1], 4 - p[2]};
    const float dist = std::sqrt(toLight[0] * toLight[0] + toLight[1] * toLight[1] + toLight[2] * toLight[2]);
    const float l1[3] = {toLight[0] / dist, toLight[1] / dist, toLight[2] / dist};
    const float att = 1 / (1 + 0.05f * dist + 0.02f * dist * dist);
    const float d1 = std::fmax(n[0] * l1[0] + n[1] * l1[1] + n[2] * l1[2], 0.0f);
    const float s1 = specular(l1, d1);
    const float base[3] = {0.8f * t[0], 0.3f * t[1], 0.2f * t[2]};
    const float fill[3] = {0.5f, 0.5f, 0.6f};
    for (int c = 0; c < 3; ++c)
        out[c] = base[c] * 0.1f + base[c] * (0.8f * d0 + fill[c] * (d1 * att)) + 0.5f * (s0 + 0.5f * s1 * att);
    out[3] = 1;
}

std::shared_ptr<const Program> compileShaded()
{
    std::ifstream file(KX_SHADER_BENCH_HLSL);
    std::ostringstream text;
    text << file.rdbuf();
    std::string errors;
    return compileShader(text.str(), "shaded.hlsl", "ShadedPS", ShaderStage::Pixel, errors);
}

void runInterpreter(benchmark::State& state, KernelSet set)
{
    const auto program = compileShaded();
    std::string errors;
    const auto executable = program ? translateProgram(program->spirv(), program->info(), set, errors) : nullptr;
    if (!executable) {
        state.SkipWithError("the shaded pixel shader did not compile");
        return;
    }
    const FillTexture texture;
    const FillTextureAccess access(texture);
    PixelInputs inputs;
    std::vector<const float*> in(program->info().inputs.size() * 4, nullptr);
    for (size_t i = 0; i < program->info().inputs.size(); ++i)
        for (int c = 0; c < 3; ++c)
            in[4 * i + c] = program->info().inputs[i].semantic == "TEXCOORD0" ? inputs.normal[c].data()
                                                                                : inputs.point[c].data();
    std::vector<float> color[4];
    std::vector<float*> out;
    for (auto& c : color) {
        c.resize(MAX_LANES);
        out.push_back(c.data());
    }
    std::vector<float> constants(program->info().uniformBytes / 4 + 4, 0.0f);
    for (const auto& u : program->info().uniforms)
        if (u.name == "ViewPosition")
            std::copy(VIEW_POSITION, VIEW_POSITION + 4, constants.begin() + u.offset / 4);
    ShaderBatch batch;
    batch.lanes = MAX_LANES;
    batch.inputs = in.data();
    batch.outputs = out.data();
    batch.constants = constants.data();
    batch.textures = &access;
    ExecutionContext context;
    for (auto _ : state) {
        runProgram(*executable, context, batch);
        benchmark::DoNotOptimize(color[0].data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * MAX_LANES);
    state.counters["ns_per_pixel"] =
        benchmark::Counter(double(state.iterations()) * MAX_LANES, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ShadedPixelInterpreterAvx2(benchmark::State& state)
{
    if (bestKernelSet() != KernelSet::Avx2) {
        state.SkipWithError("no AVX2");
        return;
    }
    runInterpreter(state, KernelSet::Avx2);
}
BENCHMARK(BM_ShadedPixelInterpreterAvx2);

void BM_ShadedPixelInterpreterGeneric(benchmark::State& state) { runInterpreter(state, KernelSet::Generic); }
BENCHMARK(BM_ShadedPixelInterpreterGeneric);

void BM_ShadedPixelScalarCpp(benchmark::State& state)
{
    const FillTexture texture;
    PixelInputs inputs;
    float color[MAX_LANES][4];
    for (auto _ : state) {
        for (int i = 0; i < MAX_LANES; ++i) {
            const float n[3] = {inputs.normal[0][i], inputs.normal[1][i], inputs.normal[2][i]};
            const float p[3] = {inputs.point[0][i], inputs.point[1][i], inputs.point[2][i]};
            shadedScalar(n, p, texture, color[i]);
        }
        benchmark::DoNotOptimize(color);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * MAX_LANES);
    state.counters["ns_per_pixel"] =
        benchmark::Counter(double(state.iterations()) * MAX_LANES, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ShadedPixelScalarCpp);

} // namespace

BENCHMARK_MAIN();
