// The sample effects' shaders against scalar C++ evaluations of the same
// formulas, on random inputs.

#include "execution_test_support.h"

#include <random>

using namespace shadertest;

namespace {

struct Vec3 {
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalize(Vec3 a) { return a * (1 / std::sqrt(dot(a, a))); }

// A smooth texture, the same function in the program and in the reference.
class SmoothTexture : public TextureAccess {
public:
    static void texel(double u, double v, double rgba[4])
    {
        rgba[0] = 0.5 + 0.5 * std::sin(u);
        rgba[1] = 0.5 + 0.5 * std::cos(v);
        rgba[2] = 0.25 + 0.1 * u;
        rgba[3] = 0.75;
    }
    void sample(const SampleRequest& request, float* const rgba[4]) const override
    {
        for (int i = 0; i < request.lanes; ++i) {
            double t[4];
            texel(request.coordinates[0][i], request.coordinates[1][i], t);
            for (int c = 0; c < 4; ++c)
                rgba[c][i] = float(t[c]);
        }
    }
};

std::vector<std::vector<float>> randomMatrix(std::mt19937& random)
{
    std::uniform_real_distribution<float> value(-1, 1);
    std::vector<std::vector<float>> m(4, std::vector<float>(4));
    for (auto& row : m)
        for (float& v : row)
            v = value(random);
    return m;
}

// p (1 x 4) times m (4 x 4), as HLSL's mul(p, m).
std::vector<double> rowTimes(const double p[4], const std::vector<std::vector<float>>& m)
{
    std::vector<double> r(4, 0.0);
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            r[c] += p[k] * m[k][c];
    return r;
}

TEST(EffectPrograms, ShadedPixelShaderMatchesItsFormulas)
{
    const ProgramUnderTest p = buildProgram(readSample("shaded.hlsl"), "ShadedPS", ShaderStage::Pixel);
    ASSERT_FALSE(p.executables.empty());
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1, 1);
    SmoothTexture texture;
    for (const auto& e : p.executables) {
        ExecutionContext context;
        for (int round = 0; round < 8; ++round) {
            TestBatch batch(*p.program, MAX_LANES);
            float normal[MAX_LANES][3], point[MAX_LANES][3];
            for (int i = 0; i < MAX_LANES; ++i)
                for (int c = 0; c < 3; ++c) {
                    normal[i][c] = unit(random);
                    point[i][c] = unit(random);
                }
            const float view[3] = {unit(random) * 5, unit(random) * 5, 6};
            batch.input("TEXCOORD0", [&](int i, int c) { return c < 3 ? normal[i][c] : 1.0f; });
            batch.input("TEXCOORD1", [&](int i, int c) { return c < 3 ? point[i][c] : 1.0f; });
            batch.uniform("ViewPosition", {view[0], view[1], view[2], 1});
            batch.run(*e.second, context, &texture);
            for (int i = 0; i < MAX_LANES; ++i) {
                const Vec3 n = normalize({normal[i][0], normal[i][1], normal[i][2]});
                const Vec3 pt = {point[i][0], point[i][1], point[i][2]};
                const double u = (std::atan2(n.z, n.x) * 0.15915494 + 0.5) * 4;
                const double v = std::acos(std::min(std::max(n.y, -1.0), 1.0)) * 0.31830989 * 2;
                double t[4];
                SmoothTexture::texel(u, v, t);
                const Vec3 vv = normalize(Vec3{view[0], view[1], view[2]} - pt);
                const Vec3 l0 = {0.57735027, 0.57735027, 0.57735027};
                const double d0 = std::max(dot(n, l0), 0.0);
                const double s0 = d0 > 0 ? std::pow(std::max(dot(n, normalize(l0 + vv)), 0.0), 32) : 0;
                const Vec3 toLight = Vec3{-3, 3, 4} - pt;
                const double dist = std::sqrt(dot(toLight, toLight));
                const Vec3 l1 = toLight * (1 / dist);
                const double att = 1 / (1 + 0.05 * dist + 0.02 * dist * dist);
                const double d1 = std::max(dot(n, l1), 0.0);
                const double s1 = d1 > 0 ? std::pow(std::max(dot(n, normalize(l1 + vv)), 0.0), 32) : 0;
                const double base[3] = {0.8 * t[0], 0.3 * t[1], 0.2 * t[2]};
                const double light[3] = {0.8 * d0 + 0.5 * d1 * att, 0.8 * d0 + 0.5 * d1 * att,
                                         0.8 * d0 + 0.6 * d1 * att};
                for (int c = 0; c < 3; ++c) {
                    const double expected = base[c] * 0.1 + base[c] * light[c] + 0.5 * (s0 + 0.5 * s1 * att);
                    EXPECT_NEAR(batch.output("COLOR", c, i), expected, 2e-5 * (1 + std::fabs(expected)))
                        << kernelSetName(e.first) << " lane " << i << " component " << c;
                }
                EXPECT_EQ(batch.output("COLOR", 3, i), 1.0f);
            }
        }
    }
}

TEST(EffectPrograms, PhongVertexAndPixelShadersMatchTheirFormulas)
{
    const std::string hlsl = readSample("phong.hlsl");
    const ProgramUnderTest vs = buildProgram(hlsl, "PhongVS", ShaderStage::Vertex);
    const ProgramUnderTest ps = buildProgram(hlsl, "PhongPS", ShaderStage::Pixel);
    ASSERT_FALSE(vs.executables.empty());
    ASSERT_FALSE(ps.executables.empty());
    std::mt19937 random(13);
    std::uniform_real_distribution<float> unit(-1, 1);
    const auto wvp = randomMatrix(random), world = randomMatrix(random), wit = randomMatrix(random),
               viewInverse = randomMatrix(random);
    const float lightPosition[3] = {10, 10, -10};
    float position[MAX_LANES][4], normal[MAX_LANES][3], uv[MAX_LANES][2];
    for (int i = 0; i < MAX_LANES; ++i) {
        for (int c = 0; c < 3; ++c) {
            position[i][c] = unit(random) * 3;
            normal[i][c] = unit(random);
        }
        position[i][3] = 1;
        uv[i][0] = unit(random);
        uv[i][1] = unit(random);
    }
    SmoothTexture texture;
    for (size_t k = 0; k < vs.executables.size(); ++k) {
        ExecutionContext vsContext, psContext;
        TestBatch v(*vs.program, MAX_LANES);
        v.input("POSITION", [&](int i, int c) { return position[i][c]; });
        v.input("NORMAL", [&](int i, int c) { return c < 3 ? normal[i][c] : 0.0f; });
        v.input("TEXCOORD0", [&](int i, int c) { return c < 2 ? uv[i][c] : 0.0f; });
        v.matrix("WorldViewProjection", wvp);
        v.matrix("World", world);
        v.matrix("WorldInverseTranspose", wit);
        v.matrix("ViewInverse", viewInverse);
        v.uniform("LightPosition", {lightPosition[0], lightPosition[1], lightPosition[2]});
        v.run(*vs.executables[k].second, vsContext, nullptr);

        // The pixel shader reads what the vertex shader wrote (as if every
        // pixel sat on a vertex).
        TestBatch f(*ps.program, MAX_LANES);
        for (const char* s : {"TEXCOORD0", "TEXCOORD1", "TEXCOORD2", "TEXCOORD3"})
            f.input(s, [&](int i, int c) { return c < 3 ? v.output(s, c, i) : 1.0f; });
        f.uniform("LightColor", {1, 0.9f, 0.8f, 1});
        f.uniform("AmbientColor", {0.1f, 0.2f, 0.3f, 1});
        f.uniform("SpecularPower", {32});
        f.run(*ps.executables[k].second, psContext, &texture);

        const char* set = kernelSetName(vs.executables[k].first);
        for (int i = 0; i < MAX_LANES; ++i) {
            const double p[4] = {position[i][0], position[i][1], position[i][2], 1};
            const std::vector<double> clip = rowTimes(p, wvp), worldPos = rowTimes(p, world);
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(v.output("POSITION", c, i), clip[c], 1e-5) << set;
            const double nn[4] = {normal[i][0], normal[i][1], normal[i][2], 0};
            const std::vector<double> worldNormal = rowTimes(nn, wit);
            Vec3 wn = {worldNormal[0], worldNormal[1], worldNormal[2]};
            Vec3 lv = Vec3{lightPosition[0], lightPosition[1], lightPosition[2]} -
                      Vec3{worldPos[0], worldPos[1], worldPos[2]};
            Vec3 ev = Vec3{viewInverse[3][0], viewInverse[3][1], viewInverse[3][2]} -
                      Vec3{worldPos[0], worldPos[1], worldPos[2]};
            EXPECT_NEAR(v.output("TEXCOORD1", 0, i), wn.x, 1e-5) << set;
            EXPECT_NEAR(v.output("TEXCOORD2", 1, i), lv.y, 1e-4) << set;
            EXPECT_NEAR(v.output("TEXCOORD3", 2, i), ev.z, 1e-5) << set;
            EXPECT_EQ(v.output("TEXCOORD0", 1, i), uv[i][1]) << set;

            const Vec3 n = normalize(wn), l = normalize(lv), vv = normalize(ev);
            const Vec3 r = (l * -1) - n * (2 * dot(n, l * -1));
            const double diff = std::min(std::max(dot(n, l), 0.0), 1.0);
            const double specular = std::pow(std::min(std::max(dot(r, vv), 0.0), 1.0), 32);
            double t[4];
            SmoothTexture::texel(uv[i][0], uv[i][1], t);
            const double lightColor[3] = {1, 0.9f, 0.8f}, ambient[3] = {0.1f, 0.2f, 0.3f};
            for (int c = 0; c < 3; ++c) {
                const double expected = t[c] * (ambient[c] + diff * lightColor[c]) + specular * lightColor[c];
                EXPECT_NEAR(f.output("COLOR", c, i), expected, 2e-5 * (1 + std::fabs(expected))) << set << " lane " << i;
            }
            EXPECT_NEAR(f.output("COLOR", 3, i), t[3], 1e-6) << set;
        }
    }
}

} // namespace
