#include "execution_test_support.h"

#include <random>

using namespace shadertest;

namespace {

// One function of the shader language against the C++ library in double
// precision, over random arguments from its range.
struct MathCase {
    const char* expression; // HLSL, of x and y
    std::function<double(double, double)> reference;
    float xLow, xHigh, yLow, yHigh;
    double relative; // allowed error: relative * |expected| + absolute
    double absolute;
};

double hlslRound(double x) { return std::nearbyint(x); }

const std::vector<MathCase>& mathCases()
{
    static const std::vector<MathCase> cases = {
        {"sin(x)", [](double x, double) { return std::sin(x); }, -100, 100, 0, 0, 0, 2e-7},
        {"cos(x)", [](double x, double) { return std::cos(x); }, -100, 100, 0, 0, 0, 2e-7},
        {"tan(x)", [](double x, double) { return std::tan(x); }, -1.5f, 1.5f, 0, 0, 4e-7, 2e-7},
        {"asin(x)", [](double x, double) { return std::asin(x); }, -1, 1, 0, 0, 0, 4e-7},
        {"acos(x)", [](double x, double) { return std::acos(x); }, -1, 1, 0, 0, 0, 4e-7},
        {"atan(x)", [](double x, double) { return std::atan(x); }, -50, 50, 0, 0, 0, 3e-7},
        {"atan2(x, y)", [](double x, double y) { return std::atan2(x, y); }, -5, 5, -5, 5, 0, 5e-7},
        {"sinh(x)", [](double x, double) { return std::sinh(x); }, -10, 10, 0, 0, 1e-6, 1e-7},
        {"cosh(x)", [](double x, double) { return std::cosh(x); }, -10, 10, 0, 0, 1e-6, 0},
        {"tanh(x)", [](double x, double) { return std::tanh(x); }, -10, 10, 0, 0, 1e-6, 1e-7},
        {"exp(x)", [](double x, double) { return std::exp(x); }, -80, 80, 0, 0, 1e-6, 0},
        {"exp2(x)", [](double x, double) { return std::exp2(x); }, -120, 120, 0, 0, 1e-6, 0},
        {"log(x)", [](double x, double) { return std::log(x); }, 1e-20f, 1e20f, 0, 0, 1e-6, 1e-7},
        {"log2(x)", [](double x, double) { return std::log2(x); }, 1e-3f, 1e3f, 0, 0, 1e-6, 1e-7},
        {"log10(x)", [](double x, double) { return std::log10(x); }, 1e-3f, 1e3f, 0, 0, 1e-6, 1e-7},
        {"pow(x, y)", [](double x, double y) { return std::pow(x, y); }, 0.01f, 10, -8, 8, 1e-5, 0},
        {"sqrt(x)", [](double x, double) { return std::sqrt(x); }, 0, 1e6f, 0, 0, 1e-7, 0},
        {"rsqrt(x)", [](double x, double) { return 1 / std::sqrt(x); }, 1e-6f, 1e6f, 0, 0, 2e-7, 0},
        {"floor(x)", [](double x, double) { return std::floor(x); }, -1e3f, 1e3f, 0, 0, 0, 0},
        {"ceil(x)", [](double x, double) { return std::ceil(x); }, -1e3f, 1e3f, 0, 0, 0, 0},
        {"trunc(x)", [](double x, double) { return std::trunc(x); }, -1e3f, 1e3f, 0, 0, 0, 0},
        {"round(x)", [](double x, double) { return hlslRound(x); }, -1e3f, 1e3f, 0, 0, 0, 0},
        {"frac(x)", [](double x, double) { return x - std::floor(x); }, -1e3f, 1e3f, 0, 0, 0, 1e-4},
        {"abs(x)", [](double x, double) { return std::fabs(x); }, -10, 10, 0, 0, 0, 0},
        {"sign(x)", [](double x, double) { return double((x > 0) - (x < 0)); }, -10, 10, 0, 0, 0, 0},
        {"fmod(x, y)", [](double x, double y) { return std::fmod(x, y); }, -20, 20, 0.5f, 3, 0, 2e-6},
        {"min(x, y)", [](double x, double y) { return std::min(x, y); }, -10, 10, -10, 10, 0, 0},
        {"max(x, y)", [](double x, double y) { return std::max(x, y); }, -10, 10, -10, 10, 0, 0},
        {"clamp(x, -0.5, y)", [](double x, double y) { return std::min(std::max(x, -0.5), y); }, -2, 2, 0, 2, 0, 0},
        {"saturate(x)", [](double x, double) { return std::min(std::max(x, 0.0), 1.0); }, -2, 2, 0, 0, 0, 0},
        {"lerp(x, y, 0.25)", [](double x, double y) { return x + (y - x) * 0.25; }, -10, 10, -10, 10, 0, 1e-6},
        {"step(x, y)", [](double x, double y) { return y >= x ? 1.0 : 0.0; }, -1, 1, -1, 1, 0, 0},
        {"smoothstep(-1, 2, x)",
         [](double x, double) {
             const double t = std::min(std::max((x + 1) / 3, 0.0), 1.0);
             return t * t * (3 - 2 * t);
         },
         -2, 3, 0, 0, 0, 1e-6},
        {"degrees(x)", [](double x, double) { return x * 180 / M_PI; }, -10, 10, 0, 0, 1e-7, 0},
        {"radians(x)", [](double x, double) { return x * M_PI / 180; }, -1000, 1000, 0, 0, 1e-7, 0},
        {"ldexp(x, 3)", [](double x, double) { return std::ldexp(x, 3); }, -10, 10, 0, 0, 0, 0},
        {"length(float3(x, y, 1))", [](double x, double y) { return std::sqrt(x * x + y * y + 1); }, -10, 10, -10, 10,
         2e-7, 0},
        {"distance(float2(x, 1), float2(y, 3))", [](double x, double y) { return std::hypot(x - y, 2.0); }, -10, 10,
         -10, 10, 2e-7, 0},
        {"dot(float4(x, y, 1, 2), float4(3, x, y, 4))", [](double x, double y) { return 3 * x + x * y + y + 8; }, -10,
         10, -10, 10, 1e-6, 1e-5},
        {"normalize(float3(x, y, 2)).x", [](double x, double y) { return x / std::sqrt(x * x + y * y + 4); }, -10, 10,
         -10, 10, 0, 3e-7},
        {"cross(float3(x, y, 1), float3(2, x, y)).y", [](double x, double y) { return 2 - y * x; }, -10, 10, -10, 10,
         0, 1e-5},
        {"reflect(float3(x, y, 1), float3(0.6, 0, 0.8)).z",
         [](double x, double) { return 1 - 2 * (0.6 * x + 0.8) * 0.8; }, -10, 10, -10, 10, 0, 1e-5},
        {"refract(normalize(float3(x, -1, 0)), float3(0, 1, 0), 0.75).x",
         [](double x, double) {
             const double l = std::sqrt(x * x + 1), ix = x / l, iy = -1 / l;
             const double d = iy, k = 1 - 0.5625 * (1 - d * d);
             return k < 0 ? 0.0 : 0.75 * ix;
         },
         -3, 3, 0, 0, 0, 1e-6},
        {"faceforward(float3(1, 2, 3), float3(x, 0, 0), float3(y, 0, 0)).y",
         [](double x, double y) { return x * y < 0 ? 2.0 : -2.0; }, -1, 1, -1, 1, 0, 0},
        {"determinant(float3x3(x, 1, 2, 3, y, 5, 6, 7, 9))",
         [](double x, double y) { return x * (y * 9 - 35) - 1 * (27 - 30) + 2 * (21 - 6 * y); }, -5, 5, -5, 5, 1e-6,
         1e-4},
        {"determinant(float4x4(x, 1, 2, 3, 4, y, 6, 7, 8, 9, 11, 10, 3, 5, 1, 2))",
         [](double x, double y) {
             const double m[4][4] = {{x, 1, 2, 3}, {4, y, 6, 7}, {8, 9, 11, 10}, {3, 5, 1, 2}};
             double det = 0;
             for (int c = 0; c < 4; ++c) {
                 double minor[3][3];
                 for (int r = 1; r < 4; ++r)
                     for (int k = 0, j = 0; k < 4; ++k)
                         if (k != c)
                             minor[r - 1][j++] = m[r][k];
                 const double d3 = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                                   minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                                   minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
                 det += (c % 2 ? -1 : 1) * m[0][c] * d3;
             }
             return det;
         },
         -5, 5, -5, 5, 1e-6, 1e-3},
    };
    return cases;
}

TEST(ShaderMath, EveryFunctionMatchesTheLibraryWithinItsTolerance)
{
    const auto& cases = mathCases();
    std::string hlsl;
    std::vector<swd3d9::shader::ShaderRequest> requests;
    for (size_t k = 0; k < cases.size(); ++k) {
        hlsl += "float4 F" + std::to_string(k) + "(float4 t : TEXCOORD0) : POSITION { float x = t.x, y = t.y; " +
                "return float4(" + cases[k].expression + ", 0, 0, 1); }\n";
        requests.push_back({"F" + std::to_string(k), ShaderStage::Vertex});
    }
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    ASSERT_TRUE(swd3d9::shader::compileShaders(hlsl, "math.hlsl", requests, programs, errors)) << errors;

    std::mt19937 random(7);
    ExecutionContext context;
    for (size_t k = 0; k < cases.size(); ++k) {
        const MathCase& mc = cases[k];
        std::uniform_real_distribution<float> xs(mc.xLow, mc.xHigh), ys(mc.yLow, mc.yHigh);
        for (KernelSet set : kernelSets()) {
            auto executable = translateOrFail(*programs[k], set);
            ASSERT_TRUE(executable) << mc.expression;
            for (int round = 0; round < 16; ++round) {
                TestBatch batch(*programs[k], MAX_LANES);
                std::vector<float> x(MAX_LANES), y(MAX_LANES);
                for (int i = 0; i < MAX_LANES; ++i) {
                    x[i] = xs(random);
                    y[i] = ys(random);
                }
                batch.input("TEXCOORD0", [&](int i, int c) { return c == 0 ? x[i] : c == 1 ? y[i] : 0.0f; });
                batch.run(*executable, context, nullptr);
                for (int i = 0; i < MAX_LANES; ++i) {
                    const double expected = mc.reference(x[i], y[i]);
                    const double got = batch.output("POSITION", 0, i);
                    ASSERT_LE(std::fabs(got - expected), mc.relative * std::fabs(expected) + mc.absolute)
                        << mc.expression << " at x = " << x[i] << ", y = " << y[i] << " (" << kernelSetName(set) << ")";
                }
            }
        }
    }
}

// Values at the edges: what Direct3D hardware gives for NaN, infinities and
// the points where the functions have none.
TEST(ShaderMath, SpecialValues)
{
    auto p = buildProgram(R"(
float4 T0 : TEXCOORD0; float4 T1 : TEXCOORD1;
void main(float4 t : TEXCOORD0, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1, out float4 c : TEXCOORD2,
          out float4 p : POSITION) {
    float zero = t.x, inf = t.y, nan = t.z, one = t.w;
    a = float4(pow(zero, zero), pow(zero, one), pow(-2 * one, 2 * one), saturate(nan));
    b = float4(normalize(float3(zero, zero, zero)).x, exp(-inf), exp(inf), log(zero));
    c = float4(max(nan, one), min(one, nan), atan2(zero, -one), sqrt(-one));
    p = float4(isnan(nan), isinf(-inf), isfinite(one), isfinite(inf));
}
)", "main", ShaderStage::Vertex);
    for (auto& e : p.executables) {
        ExecutionContext context;
        TestBatch batch(*p.program, 8);
        batch.input("TEXCOORD0", [](int, int c) {
            const float v[4] = {0.0f, INFINITY, NAN, 1.0f};
            return v[c];
        });
        batch.run(*e.second, context, nullptr);
        auto out = [&](const char* s, int c) { return batch.output(s, c, 5); };
        EXPECT_EQ(out("TEXCOORD0", 0), 1.0f);  // pow(0, 0) = 1
        EXPECT_EQ(out("TEXCOORD0", 1), 0.0f);  // pow(0, 1)
        EXPECT_NEAR(out("TEXCOORD0", 2), 4.0f, 1e-5f); // pow of |x|, as Direct3D's pow
        EXPECT_EQ(out("TEXCOORD0", 3), 0.0f);  // saturate(NaN) = 0
        EXPECT_TRUE(std::isnan(out("TEXCOORD1", 0))); // normalize(0) = NaN
        EXPECT_EQ(out("TEXCOORD1", 1), 0.0f);
        EXPECT_EQ(out("TEXCOORD1", 2), INFINITY);
        EXPECT_EQ(out("TEXCOORD1", 3), -INFINITY);
        EXPECT_EQ(out("TEXCOORD2", 0), 1.0f); // max(NaN, 1) = 1
        EXPECT_EQ(out("TEXCOORD2", 1), 1.0f); // min(1, NaN) = 1
        EXPECT_NEAR(out("TEXCOORD2", 2), float(M_PI), 1e-6f);
        EXPECT_TRUE(std::isnan(out("TEXCOORD2", 3)));
        EXPECT_EQ(out("POSITION", 0), 1.0f);
        EXPECT_EQ(out("POSITION", 1), 1.0f);
        EXPECT_EQ(out("POSITION", 2), 1.0f);
        EXPECT_EQ(out("POSITION", 3), 0.0f);
    }
}

} // namespace
