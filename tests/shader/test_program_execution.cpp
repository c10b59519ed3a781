#include "execution_test_support.h"

#include <random>

using namespace shadertest;

namespace {

// Pixel lanes: quad q covers pixels x = 2q, 2q + 1 and y = 0, 1, lanes
// 4q + 0..3 being top-left, top-right, bottom-left, bottom-right.
int pixelX(int lane) { return (lane / 4) * 2 + (lane & 1); }
int pixelY(int lane) { return (lane >> 1) & 1; }

// Runs check once per kernel set with a fresh batch whose inputs fill sets.
void forEachKernelSet(const ProgramUnderTest& p, int lanes, const std::function<void(TestBatch&)>& fill,
                      const std::function<void(const TestBatch&, uint64_t killed, const char* set)>& check,
                      const TextureAccess* textures = nullptr)
{
    ASSERT_FALSE(p.executables.empty());
    for (const auto& e : p.executables) {
        ExecutionContext context;
        TestBatch batch(*p.program, lanes);
        fill(batch);
        const uint64_t killed = batch.run(*e.second, context, textures);
        check(batch, killed, kernelSetName(e.first));
    }
}

TEST(ProgramExecution, PartialVertexBatchesFillDefaultsAndOnlyTheirLanes)
{
    auto p = buildProgram(R"(
float4 Scale;
float4 main(float4 t : TEXCOORD0, float4 n : NORMAL, out float4 o : TEXCOORD1) : POSITION {
    o = t * Scale + n;
    return float4(t.x + t.y, t.z * t.w, sqrt(t.x), 2);
}
)", "main", ShaderStage::Vertex);
    for (int lanes : {1, 5, 13, 64}) {
        forEachKernelSet(
            p, lanes,
            [](TestBatch& b) {
                b.input("TEXCOORD0", [](int i, int c) { return float(i + c); });
                b.uniform("Scale", {2, 3, 4, 5});
            },
            [&](const TestBatch& b, uint64_t killed, const char* set) {
                EXPECT_EQ(killed, 0u);
                for (int i = 0; i < lanes; ++i) {
                    EXPECT_FLOAT_EQ(b.output("POSITION", 0, i), float(2 * i + 1)) << set;
                    EXPECT_FLOAT_EQ(b.output("POSITION", 1, i), float((i + 2) * (i + 3))) << set;
                    EXPECT_FLOAT_EQ(b.output("POSITION", 2, i), std::sqrt(float(i))) << set;
                    // NORMAL is left at its default (0, 0, 0, 1) by TestBatch.
                    EXPECT_FLOAT_EQ(b.output("TEXCOORD1", 1, i), float((i + 1) * 3)) << set;
                    EXPECT_FLOAT_EQ(b.output("TEXCOORD1", 3, i), float((i + 3) * 5 + 1)) << set;
                }
            });
    }
}

TEST(ProgramExecution, LoopsWithDivergentTripCountsBreakAndContinue)
{
    auto p = buildProgram(R"(
int Count;
void main(float4 t : TEXCOORD0, out float4 r : POSITION, out float4 q : TEXCOORD0) {
    float s = 0;
    for (int i = 0; i < (int)t.x; i++) {
        if (i == 3) continue;
        s += i;
        if (s > t.y) break;
    }
    float w = t.z; int n = 0;
    while (w > 1) { w *= 0.5; n++; }
    float d = 0; int k = 0;
    do { d += k * t.w; k++; } while (k < Count);
    float u = 0;
    [unroll] for (int j = 0; j < 4; j++) u += j * t.x;
    r = float4(s, n + w, d, u);
    // A value of the loop header used after the loop, lanes leaving at different trips.
    int m = 0; float v;
    while ((v = t.x * m) < t.y) m++;
    // Swapping through the loop's phis.
    float a = 1, b = t.w;
    for (int f = 0; f < (int)t.x; f++) { float old = a; a = b; b = old + b; }
    q = float4(v, m, a, b);
}
)", "main", ShaderStage::Vertex);
    std::mt19937 random(3);
    std::vector<float> x(MAX_LANES), y(MAX_LANES), z(MAX_LANES), w(MAX_LANES);
    for (int i = 0; i < MAX_LANES; ++i) {
        x[i] = float(random() % 12 + 1);
        y[i] = float(random() % 40);
        z[i] = float(random() % 1000) * 0.37f;
        w[i] = float(random() % 7) * 0.5f;
    }
    forEachKernelSet(
        p, MAX_LANES,
        [&](TestBatch& b) {
            b.input("TEXCOORD0", [&](int i, int c) { return c == 0 ? x[i] : c == 1 ? y[i] : c == 2 ? z[i] : w[i]; });
            b.uniformInts("Count", {5});
        },
        [&](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < MAX_LANES; ++i) {
                float s = 0;
                for (int k = 0; k < int(x[i]); ++k) {
                    if (k == 3)
                        continue;
                    s += float(k);
                    if (s > y[i])
                        break;
                }
                float ww = z[i];
                int n = 0;
                while (ww > 1) {
                    ww *= 0.5f;
                    ++n;
                }
                float d = 0;
                for (int k = 0; k < 5; ++k)
                    d += float(k) * w[i];
                int m = 0;
                while (x[i] * float(m) < y[i])
                    ++m;
                float a = 1, bb = w[i];
                for (int f = 0; f < int(x[i]); ++f) {
                    const float old = a;
                    a = bb;
                    bb = old + bb;
                }
                EXPECT_FLOAT_EQ(b.output("POSITION", 0, i), s) << set << " lane " << i;
                EXPECT_FLOAT_EQ(b.output("POSITION", 1, i), float(n) + ww) << set << " lane " << i;
                EXPECT_FLOAT_EQ(b.output("POSITION", 2, i), d) << set;
                EXPECT_FLOAT_EQ(b.output("POSITION", 3, i), 6 * x[i]) << set;
                EXPECT_FLOAT_EQ(b.output("TEXCOORD0", 0, i), x[i] * float(m)) << set << " lane " << i;
                EXPECT_FLOAT_EQ(b.output("TEXCOORD0", 1, i), float(m)) << set << " lane " << i;
                EXPECT_FLOAT_EQ(b.output("TEXCOORD0", 2, i), a) << set << " lane " << i;
                EXPECT_FLOAT_EQ(b.output("TEXCOORD0", 3, i), bb) << set << " lane " << i;
            }
        });
}

TEST(ProgramExecution, BranchesSwitchesAndEarlyReturns)
{
    auto p = buildProgram(R"(
bool Flag;
float4 main(float4 t : TEXCOORD0) : POSITION {
    float4 r = 0;
    if (t.x > 0.5) r.x = t.y * 2; else r.x = -t.y;
    if (Flag) r.y = 1; else r.y = 2;
    switch ((int)t.z) {
    case 0: r.z = 10; break;
    case 1: r.z = 11; break;
    case 5: case 6: r.z = 12; break;
    default: r.z = -1; break;
    }
    if (t.w > 0.75) return float4(7, 7, 7, 7);
    r.w = t.w;
    return r;
}
)", "main", ShaderStage::Vertex);
    for (int flag : {0, 1}) {
        forEachKernelSet(
            p, 40,
            [&](TestBatch& b) {
                b.input("TEXCOORD0", [](int i, int c) {
                    const float v[4] = {float(i % 2), float(i), float(i % 8), float(i % 5) * 0.25f};
                    return v[c];
                });
                b.uniformInts("Flag", {flag});
            },
            [&](const TestBatch& b, uint64_t, const char* set) {
                for (int i = 0; i < 40; ++i) {
                    if (float(i % 5) * 0.25f > 0.75f) {
                        for (int c = 0; c < 4; ++c)
                            EXPECT_EQ(b.output("POSITION", c, i), 7.0f) << set;
                        continue;
                    }
                    const int z = i % 8;
                    EXPECT_EQ(b.output("POSITION", 0, i), i % 2 ? float(2 * i) : -float(i)) << set;
                    EXPECT_EQ(b.output("POSITION", 1, i), flag ? 1.0f : 2.0f) << set;
                    EXPECT_EQ(b.output("POSITION", 2, i), z == 0 ? 10.0f : z == 1 ? 11.0f : z == 5 || z == 6 ? 12.0f : -1.0f)
                        << set << " lane " << i;
                    EXPECT_EQ(b.output("POSITION", 3, i), float(i % 5) * 0.25f) << set;
                }
            });
    }
}

TEST(ProgramExecution, UniformArraysStructsAndMatricesWithDynamicIndices)
{
    auto p = buildProgram(R"(
struct Light { float3 color; float3 dir; float power; };
Light Lights[4];
float4x3 Bones[6];
float3x3 Rot;
row_major float4x4 RowM;
float4x4 ColM;
void main(float4 t : TEXCOORD0, float4 p : TEXCOORD1, out float4 a : POSITION, out float4 b : TEXCOORD0,
          out float4 c : TEXCOORD1, out float4 d : TEXCOORD2) {
    int i = (int)t.x;
    float3 l = Lights[i].color * Lights[i].power + Lights[(i + 1) % 4].dir;
    a = float4(l, ColM._m21 + ColM[3].y + RowM._12);
    b = float4(mul(p, Bones[(int)t.y]), 0);
    c = float4(mul(p.xyz, Rot), 0) + float4(0, 0, 0, ColM._44);
    d = mul(p, RowM) + mul(ColM, p);
}
)", "main", ShaderStage::Vertex);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-2, 2);
    float lights[4][7], bones[6][4][3], rot[3][3], rowM[4][4], colM[4][4];
    for (auto& l : lights)
        for (float& v : l)
            v = value(random);
    for (auto& bone : bones)
        for (auto& row : bone)
            for (float& v : row)
                v = value(random);
    for (auto& row : rot)
        for (float& v : row)
            v = value(random);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) {
            rowM[r][k] = value(random);
            colM[r][k] = value(random);
        }
    std::vector<float> in[2][4];
    for (auto& v : in)
        for (auto& c : v)
            c.resize(MAX_LANES);
    for (int i = 0; i < MAX_LANES; ++i) {
        in[0][0][i] = float(random() % 4);
        in[0][1][i] = float(random() % 6);
        for (int c = 0; c < 4; ++c)
            in[1][c][i] = value(random);
    }
    auto rows = [](const float* m, int r, int c) {
        std::vector<std::vector<float>> out(r, std::vector<float>(c));
        for (int i = 0; i < r; ++i)
            for (int k = 0; k < c; ++k)
                out[i][k] = m[i * c + k];
        return out;
    };
    forEachKernelSet(
        p, MAX_LANES,
        [&](TestBatch& b) {
            b.input("TEXCOORD0", [&](int i, int c) { return c < 2 ? in[0][c][i] : 0.0f; });
            b.input("TEXCOORD1", [&](int i, int c) { return in[1][c][i]; });
            for (int l = 0; l < 4; ++l) {
                const std::string n = "Lights[" + std::to_string(l) + "].";
                b.uniform(n + "color", {lights[l][0], lights[l][1], lights[l][2]});
                b.uniform(n + "dir", {lights[l][3], lights[l][4], lights[l][5]});
                b.uniform(n + "power", {lights[l][6]});
            }
            for (int k = 0; k < 6; ++k)
                b.matrix("Bones", rows(&bones[k][0][0], 4, 3), k);
            b.matrix("Rot", rows(&rot[0][0], 3, 3));
            b.matrix("RowM", rows(&rowM[0][0], 4, 4));
            b.matrix("ColM", rows(&colM[0][0], 4, 4));
        },
        [&](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < MAX_LANES; ++i) {
                const int li = int(in[0][0][i]), bi = int(in[0][1][i]);
                const float p[4] = {in[1][0][i], in[1][1][i], in[1][2][i], in[1][3][i]};
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(b.output("POSITION", c, i), lights[li][c] * lights[li][6] + lights[(li + 1) % 4][3 + c],
                                1e-5f)
                        << set;
                EXPECT_NEAR(b.output("POSITION", 3, i), colM[2][1] + colM[3][1] + rowM[0][1], 1e-5f) << set;
                for (int c = 0; c < 3; ++c) {
                    float bone = 0, r = 0;
                    for (int k = 0; k < 4; ++k)
                        bone += p[k] * bones[bi][k][c];
                    for (int k = 0; k < 3; ++k)
                        r += p[k] * rot[k][c];
                    EXPECT_NEAR(b.output("TEXCOORD0", c, i), bone, 1e-5f) << set;
                    EXPECT_NEAR(b.output("TEXCOORD1", c, i), r, 1e-5f) << set;
                }
                EXPECT_NEAR(b.output("TEXCOORD1", 3, i), colM[3][3], 1e-6f) << set;
                for (int c = 0; c < 4; ++c) {
                    float e = 0;
                    for (int k = 0; k < 4; ++k)
                        e += p[k] * rowM[k][c] + colM[c][k] * p[k];
                    EXPECT_NEAR(b.output("TEXCOORD2", c, i), e, 1e-5f) << set;
                }
            }
        });
}

TEST(ProgramExecution, LocalArraysIntegersAndBooleans)
{
    auto p = buildProgram(R"(
int N; uint U; bool B;
void main(float4 t : TEXCOORD0, out float4 a : POSITION, out float4 b : TEXCOORD0) {
    int i = (int)t.x;
    float arr[5] = {1, 2, 3, 4, 5};
    arr[i] = t.y;
    for (int k = 0; k < (int)t.z; k++) arr[k] += 10;
    a = float4(arr[(i + 2) % 5], arr[i], arr[0], arr[4]);
    int s = (int)t.w;
    b = float4(s / 3, s % 3, (s * N) >> 1, (B && s > 0) ? (float)(U + 1) : -1);
}
)", "main", ShaderStage::Vertex);
    forEachKernelSet(
        p, 30,
        [&](TestBatch& b) {
            b.input("TEXCOORD0", [](int i, int c) {
                const float v[4] = {float(i % 5), float(100 + i), float(i % 4), float(i - 15)};
                return v[c];
            });
            b.uniformInts("N", {-3});
            b.uniformInts("U", {41});
            b.uniformInts("B", {1});
        },
        [&](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < 30; ++i) {
                float arr[5] = {1, 2, 3, 4, 5};
                const int k = i % 5;
                arr[k] = float(100 + i);
                for (int j = 0; j < i % 4; ++j)
                    arr[j] += 10;
                EXPECT_EQ(b.output("POSITION", 0, i), arr[(k + 2) % 5]) << set << " lane " << i;
                EXPECT_EQ(b.output("POSITION", 1, i), arr[k]) << set;
                EXPECT_EQ(b.output("POSITION", 2, i), arr[0]) << set;
                EXPECT_EQ(b.output("POSITION", 3, i), arr[4]) << set;
                const int s = i - 15;
                EXPECT_EQ(b.output("TEXCOORD0", 0, i), float(s / 3)) << set;
                EXPECT_EQ(b.output("TEXCOORD0", 1, i), float(s % 3)) << set;
                EXPECT_EQ(b.output("TEXCOORD0", 2, i), float((s * -3) >> 1)) << set;
                EXPECT_EQ(b.output("TEXCOORD0", 3, i), s > 0 ? 42.0f : -1.0f) << set;
            }
        });
}

TEST(ProgramExecution, ClipAndDiscardMarkLanesKilled)
{
    auto p = buildProgram(R"(
float4 main(float4 t : TEXCOORD0) : COLOR {
    clip(t.x - 0.5);
    if (t.y > 0.7) discard;
    return t;
}
)", "main", ShaderStage::Pixel);
    forEachKernelSet(
        p, 32,
        [](TestBatch& b) {
            b.input("TEXCOORD0", [](int i, int c) { return c == 0 ? float(i % 3) * 0.4f : float(i % 7) * 0.15f; });
        },
        [](const TestBatch& b, uint64_t killed, const char* set) {
            uint64_t expected = 0;
            for (int i = 0; i < 32; ++i)
                if (float(i % 3) * 0.4f - 0.5f < 0 || float(i % 7) * 0.15f > 0.7f)
                    expected |= uint64_t(1) << i;
                else
                    EXPECT_EQ(b.output("COLOR0", 1, i), float(i % 7) * 0.15f) << set;
            EXPECT_EQ(killed, expected) << set;
        });
}

TEST(ProgramExecution, DerivativesArePerQuadRowAndColumn)
{
    auto p = buildProgram(R"(
void main(float4 t : TEXCOORD0, out float4 a : COLOR0, out float4 b : COLOR1) {
    a = float4(ddx(t.x * 3 + t.y), ddy(t.x * 3 + t.y * 5), ddx(t.x * t.y), ddy(t.x * t.y));
    b = float4(fwidth(t.x * 2 - t.y), ddx(4.0), 0, 0);
}
)", "main", ShaderStage::Pixel);
    forEachKernelSet(
        p, MAX_LANES,
        [](TestBatch& b) {
            b.input("TEXCOORD0",
                    [](int i, int c) { return c == 0 ? float(pixelX(i)) : c == 1 ? float(pixelY(i) + 2) : 0.0f; });
        },
        [](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < MAX_LANES; ++i) {
                const int x0 = pixelX(i & ~3), y = pixelY(i) + 2, x = pixelX(i);
                EXPECT_EQ(b.output("COLOR0", 0, i), 3.0f) << set;
                EXPECT_EQ(b.output("COLOR0", 1, i), 5.0f) << set;
                // d(xy)/dx on this pixel's row is y; d(xy)/dy on its column is x.
                EXPECT_EQ(b.output("COLOR0", 2, i), float(y)) << set;
                EXPECT_EQ(b.output("COLOR0", 3, i), float(x)) << set;
                EXPECT_EQ(b.output("COLOR1", 0, i), 3.0f) << set;
                EXPECT_EQ(b.output("COLOR1", 1, i), 0.0f) << set;
                (void)x0;
            }
        });
}

// Every sampling function: the analytic texture returns the coordinates and
// the level it derived, so the outputs show what the program asked for.
TEST(ProgramExecution, SamplingFunctionsPassCoordinatesLevelsAndDerivatives)
{
    const std::string hlsl = R"(
sampler2D S2; sampler1D S1; sampler3D S3; samplerCUBE SC;
float4 Tex2D(float4 t : TEXCOORD0) : COLOR { return tex2D(S2, t.xy); }
float4 Tex2DBias(float4 t : TEXCOORD0) : COLOR { return tex2Dbias(S2, t); }
float4 Tex2DLod(float4 t : TEXCOORD0) : COLOR { return tex2Dlod(S2, t); }
float4 Tex2DGrad(float4 t : TEXCOORD0) : COLOR { return tex2Dgrad(S2, t.xy, float2(0.1, 0), float2(0, 0.3)); }
float4 Tex2DProj(float4 t : TEXCOORD0) : COLOR { return tex2Dproj(S2, t); }
float4 Tex1D(float4 t : TEXCOORD0) : COLOR { return tex1D(S1, t.x); }
float4 Tex3D(float4 t : TEXCOORD0) : COLOR { return tex3D(S3, t.xyz); }
float4 TexCube(float4 t : TEXCOORD0) : COLOR { return texCUBE(SC, t.xyz); }
float4 Divergent(float4 t : TEXCOORD0) : COLOR { float4 c = 0; if (t.w > 2.05) c = tex2D(S2, t.xy); return c; }
float4 VertexLod(float4 t : TEXCOORD0) : POSITION { return tex2Dlod(S2, t); }
)";
    struct Case {
        const char* entry;
        SampleKind kind;
        SamplerDimension dimension;
        bool projected;
    };
    const Case cases[] = {
        {"Tex2D", SampleKind::ImplicitLevel, SamplerDimension::Texture2D, false},
        {"Tex2DBias", SampleKind::Bias, SamplerDimension::Texture2D, false},
        {"Tex2DLod", SampleKind::ExplicitLevel, SamplerDimension::Texture2D, false},
        {"Tex2DGrad", SampleKind::Gradients, SamplerDimension::Texture2D, false},
        {"Tex2DProj", SampleKind::ImplicitLevel, SamplerDimension::Texture2D, true},
        {"Tex1D", SampleKind::ImplicitLevel, SamplerDimension::Texture1D, false},
        {"Tex3D", SampleKind::ImplicitLevel, SamplerDimension::Texture3D, false},
        {"TexCube", SampleKind::ImplicitLevel, SamplerDimension::Cube, false},
        {"Divergent", SampleKind::ImplicitLevel, SamplerDimension::Texture2D, false},
        {"VertexLod", SampleKind::ExplicitLevel, SamplerDimension::Texture2D, false},
    };
    std::vector<swd3d9::shader::ShaderRequest> requests;
    for (const Case& c : cases)
        requests.push_back({c.entry, c.entry[0] == 'V' ? ShaderStage::Vertex : ShaderStage::Pixel});
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    ASSERT_TRUE(swd3d9::shader::compileShaders(hlsl, "sampling.hlsl", requests, programs, errors)) << errors;

    auto coordinate = [](int lane, int c) {
        const float x = float(pixelX(lane)), y = float(pixelY(lane));
        const float v[4] = {0.1f + 0.01f * x, 0.2f + 0.02f * y, 0.3f + 0.005f * x, 2.0f + 0.1f * x};
        return v[c];
    };
    for (size_t k = 0; k < programs.size(); ++k) {
        const Case& c = cases[k];
        const Program& program = *programs[k];
        for (KernelSet set : kernelSets()) {
            auto executable = translateOrFail(program, set);
            ASSERT_TRUE(executable);
            AnalyticTexture texture(256);
            ExecutionContext context;
            TestBatch batch(program, 16);
            batch.input("TEXCOORD0", coordinate);
            batch.run(*executable, context, &texture);
            ASSERT_EQ(texture.requests.size(), 1u) << c.entry;
            const SampleRequest& request = texture.requests[0];
            EXPECT_EQ(request.kind, c.kind) << c.entry;
            EXPECT_EQ(request.dimension, c.dimension) << c.entry;
            EXPECT_EQ(request.projected, c.projected) << c.entry;
            EXPECT_EQ(program.info().samplers[request.sampler].dimension, c.dimension) << c.entry;
            const char* out = c.entry[0] == 'V' ? "POSITION" : "COLOR";
            for (int i = 0; i < 16; ++i) {
                float u = coordinate(i, 0), v = coordinate(i, 1), w = coordinate(i, 2), q = coordinate(i, 3);
                float level = std::log2(0.02f * 256); // the longer derivative: 0.02 along y
                if (c.kind == SampleKind::Bias)
                    level += q;
                if (c.kind == SampleKind::ExplicitLevel)
                    level = q;
                if (c.kind == SampleKind::Gradients)
                    level = std::log2(0.3f * 256);
                if (c.dimension == SamplerDimension::Texture1D)
                    level = std::log2(0.01f * 256);
                if (c.projected) {
                    // Derivatives of the quotient, along the pixel's row and column.
                    const int tl = i & ~3, row = i & 2, column = i & 1;
                    auto at = [&](int lane, int comp) { return coordinate(lane, comp) / coordinate(lane, 3); };
                    float dx2 = 0, dy2 = 0;
                    for (int comp = 0; comp < 2; ++comp) {
                        const float dx = at(tl + row + 1, comp) - at(tl + row, comp);
                        const float dy = at(tl + 2 + column, comp) - at(tl + column, comp);
                        dx2 += dx * dx;
                        dy2 += dy * dy;
                    }
                    level = std::log2(std::sqrt(std::max(dx2, dy2)) * 256);
                    u /= q;
                    v /= q;
                }
                if (c.dimension == SamplerDimension::Texture1D)
                    v = w = 0;
                if (c.dimension == SamplerDimension::Texture2D)
                    w = 0;
                if (std::string(c.entry) == "Divergent") {
                    EXPECT_EQ(request.active >> i & 1, q > 2.05f ? 1u : 0u) << i;
                    if (q <= 2.05f)
                        u = v = w = level = 0;
                }
                EXPECT_NEAR(batch.output(out, 0, i), u, 1e-6f) << c.entry << " " << kernelSetName(set);
                EXPECT_NEAR(batch.output(out, 1, i), v, 1e-6f) << c.entry;
                EXPECT_NEAR(batch.output(out, 2, i), w, 1e-6f) << c.entry;
                EXPECT_NEAR(batch.output(out, 3, i), level, 1e-4f) << c.entry << " lane " << i;
            }
        }
    }
}

TEST(ProgramExecution, EndlessLoopsStopAtTheIterationLimit)
{
    auto p = buildProgram(R"(
float4 main(float4 t : TEXCOORD0) : POSITION {
    float s = 0;
    while (t.x > 0) { s += 1; if (s >= t.y) break; }
    return float4(s, 1, 1, 1);
}
)", "main", ShaderStage::Vertex);
    forEachKernelSet(
        p, 8,
        [](TestBatch& b) {
            b.input("TEXCOORD0", [](int i, int c) { return c == 0 ? 1.0f : i < 4 ? float(i + 1) : 1e9f; });
        },
        [](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(b.output("POSITION", 0, i), float(i + 1)) << set;
        });
}

// Three nested loops: lanes that stay within Direct3D 9's limits count
// exactly, and lanes that would repeat 2^30 times (each loop within its own
// limit) stop.
TEST(ProgramExecution, NestedLoopsStopAtTheLimitOfTheWholeRun)
{
    auto p = buildProgram(R"(
float4 main(float4 t : TEXCOORD0) : POSITION {
    float s = 0;
    for (float i = 0; i < t.x; i += 1)
        for (float j = 0; j < t.x; j += 1)
            for (float k = 0; k < t.x; k += 1)
                s += 1;
    return float4(s, 1, 1, 1);
}
)", "main", ShaderStage::Vertex);
    forEachKernelSet(
        p, 8, [](TestBatch& b) { b.input("TEXCOORD0", [](int i, int c) { return c == 0 ? float(30 + i) : 1.0f; }); },
        [](const TestBatch& b, uint64_t, const char* set) {
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(b.output("POSITION", 0, i), float((30 + i) * (30 + i) * (30 + i))) << set;
        });
    forEachKernelSet(
        p, 8, [](TestBatch& b) { b.input("TEXCOORD0", [](int, int c) { return c == 0 ? 1e9f : 1.0f; }); },
        [](const TestBatch&, uint64_t, const char*) {});
}

TEST(ProgramExecution, CompiledProgramsRunThroughTheirExecutableForm)
{
    auto program = compileOrFail("float4 main(float4 t : TEXCOORD0) : POSITION { return t * 2; }", "main",
                                 ShaderStage::Vertex);
    ASSERT_TRUE(program);
    ASSERT_TRUE(program->executable()) << program->executableErrors();
    const float x[3] = {1, 2, 3};
    float out[4][3] = {};
    const float* in[4] = {x, nullptr, nullptr, nullptr};
    float* outs[4] = {out[0], out[1], out[2], out[3]};
    ShaderBatch batch;
    batch.lanes = 3;
    batch.inputs = in;
    batch.outputs = outs;
    ExecutionContext context;
    EXPECT_EQ(program->run(context, batch), 0u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[0][i], 2 * x[i]);
        EXPECT_EQ(out[1][i], 0.0f);
        EXPECT_EQ(out[3][i], 2.0f); // w defaults to 1
    }
}

TEST(ProgramExecution, UnsupportedProgramsAreRefusedWithAReason)
{
    auto program = compileOrFail("float4 main(float4 t : TEXCOORD0) : POSITION { return t; }", "main",
                                 ShaderStage::Vertex);
    ASSERT_TRUE(program);
    std::string errors;
    std::vector<uint32_t> damaged(program->spirv().begin(), program->spirv().begin() + 3);
    EXPECT_FALSE(swd3d9::shader::translateProgram(damaged, program->info(), errors));
    EXPECT_FALSE(errors.empty());
    // The program's inputs must name the SPIR-V's.
    auto info = program->info();
    info.inputs.clear();
    errors.clear();
    EXPECT_FALSE(swd3d9::shader::translateProgram(program->spirv(), info, errors));
    EXPECT_NE(errors.find("TEXCOORD0"), std::string::npos) << errors;
}

} // namespace
