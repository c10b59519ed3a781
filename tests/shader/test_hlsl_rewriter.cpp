#include "shader/HlslRewriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using swd3d9::shader::PreparedHlsl;
using swd3d9::shader::prepareHlsl;

namespace {

// The rewritten source: what follows the prelude's closing "#line 1".
std::string rewrite(const std::string& hlsl, std::string* errors = nullptr, bool* ok = nullptr,
                    std::vector<uint32_t>* movedLines = nullptr)
{
    PreparedHlsl prepared;
    std::string messages;
    const bool succeeded = prepareHlsl(hlsl, "r.fx", prepared, messages);
    if (movedLines)
        *movedLines = prepared.movedLines;
    if (errors)
        *errors = messages;
    if (ok)
        *ok = succeeded;
    const std::string marker = "#line 1\n";
    const size_t at = prepared.text.find(marker);
    return at == std::string::npos ? std::string() : prepared.text.substr(at + marker.size());
}

} // namespace

TEST(HlslRewriter, ThePreludeComesFirstAndRestartsTheLineCount)
{
    PreparedHlsl prepared;
    std::string errors;
    ASSERT_TRUE(prepareHlsl("float4 f;\n", "r.fx", prepared, errors));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(prepared.movedLines.empty());
    const std::string tail = "#line 1\nfloat4 f;\n";
    ASSERT_GE(prepared.text.size(), tail.size());
    EXPECT_EQ(prepared.text.compare(prepared.text.size() - tail.size(), tail.size(), tail), 0);
    for (const char* replaced : {"#define lit ", "#define fmod(", "#define ldexp(", "#define texCUBEproj("})
        EXPECT_NE(prepared.text.find(replaced), std::string::npos) << replaced;
}

TEST(HlslRewriter, MatrixSwizzlesBecomeVectorsOfSingleElements)
{
    EXPECT_EQ(rewrite("float3 t = M._41_42_43;"), "float3 t = float3(M._41, M._42, M._43);");
    EXPECT_EQ(rewrite("x = IN.Bones[i + 1]._m00_m11;"), "x = float2(IN.Bones[i + 1]._m00, IN.Bones[i + 1]._m11);");
    EXPECT_EQ(rewrite("x = mul(A, B)._11_22_33_44;"),
              "x = float4(mul(A, B)._11, mul(A, B)._22, mul(A, B)._33, mul(A, B)._44);");
    EXPECT_EQ(rewrite("x = (A + B)._12_21 * 2;"), "x = float2((A + B)._12, (A + B)._21) * 2;");
    EXPECT_EQ(rewrite("return M._14_24;"), "return float2(M._14, M._24);");
    // As the effect preprocessor writes them, a space between the tokens.
    EXPECT_EQ(rewrite("x = M . _41_42;"), "x = float2(M ._41, M ._42);");
    // Single elements, vector swizzles and names that merely look alike stay.
    for (const char* kept : {"x = M._41;", "x = v.xyz;", "x = M._41_foo;", "x = M._15_16;", "x = s._m44_m00;",
                             "// M._41_42\n", "s = \"M._41_42\";", "x = 1._11_22;"})
        EXPECT_EQ(rewrite(kept), kept);
}

TEST(HlslRewriter, AMatrixExpressionOverSeveralLinesKeepsItsLines)
{
    const std::string hlsl = "y = 0;\nx = Bones[\n  i]._41_42;\ny = 1;\n";
    std::vector<uint32_t> movedLines;
    const std::string out = rewrite(hlsl, nullptr, nullptr, &movedLines);
    EXPECT_EQ(movedLines, (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(hlsl.begin(), hlsl.end(), '\n'));
    EXPECT_EQ(out, "y = 0;\nx = float2(Bones[\n  i]._41, Bones[   i]._42);\ny = 1;\n");
}

TEST(HlslRewriter, AssigningToAMatrixSwizzleIsAnError)
{
    std::string errors;
    bool ok = true;
    rewrite("void f()\n{\n    M._41_42_43 = 0;\n}\n", &errors, &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(errors.find("r.fx(3,6): error: "), std::string::npos) << errors;
    rewrite("M._11_22 += 1;", &errors, &ok);
    EXPECT_FALSE(ok);
    rewrite("b = M._11_22 == v;", &errors, &ok);
    EXPECT_TRUE(ok);
}

TEST(HlslRewriter, NamesGlslangReservesAreRenamedWhereTheyAreNames)
{
    EXPECT_EQ(rewrite("float3 point = 0;"), "float3 fx_renamed_point = 0;");
    EXPECT_EQ(rewrite("f(line, precise);"), "f(fx_renamed_line, fx_renamed_precise);");
    EXPECT_EQ(rewrite("float texture[2]; v.linear = texture[1];"),
              "float fx_renamed_texture[2]; v.fx_renamed_linear = fx_renamed_texture[1];");
    EXPECT_EQ(rewrite("float4 c : COLOR, in float2 centroid : TEXCOORD0"),
              "float4 c : COLOR, in float2 fx_renamed_centroid : TEXCOORD0");
    // Qualifiers, types and directives stay.
    for (const char* kept : {"shared float4x4 M;", "string Name = \"a point\";", "vector<float, 3> v;",
                             "matrix<float, 4, 4> m;", "linear centroid float2 uv : TEXCOORD0;",
                             "float4 c : packoffset(c0);", "#line 12\n", "float sample = pointy + myline;"})
        EXPECT_EQ(rewrite(kept), kept);
}

TEST(HlslRewriter, DwordBecomesUint)
{
    EXPECT_EQ(rewrite("DWORD Flags = 0x10; DWORDS x; dword y;"), "uint Flags = 0x10; DWORDS x; dword y;");
}

TEST(HlslRewriter, TheNoiseIntrinsicIsAnErrorAtItsPosition)
{
    std::string errors;
    bool ok = true;
    rewrite("float f(float2 p)\n{\n  return  noise(p);\n}\n", &errors, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(errors, "r.fx(3,11): error: 'noise' : intrinsic function not supported\n");

    // A program's own function of that name is renamed instead.
    EXPECT_EQ(rewrite("float noise(float2 p) { return p.x; }\nfloat g() { return noise(1); }", &errors, &ok),
              "float fx_renamed_noise(float2 p) { return p.x; }\nfloat g() { return fx_renamed_noise(1); }");
    EXPECT_TRUE(ok);
    EXPECT_EQ(rewrite("float noise = 1; x = s.noise(1);", &errors, &ok), "float noise = 1; x = s.noise(1);");
    EXPECT_TRUE(ok);
}

TEST(HlslRewriter, EveryLineStaysWhereItWas)
{
    const std::string hlsl = "/* point\n line */ float3 point = M._41_42_43;\n"
                             "DWORD d; // M._11_22\n"
                             "string s = \"line\";\n"
                             "float line = Bones[2]._m30_m31_m32.x;\n";
    std::vector<uint32_t> movedLines;
    const std::string out = rewrite(hlsl, nullptr, nullptr, &movedLines);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(hlsl.begin(), hlsl.end(), '\n'));
    // The lines whose columns changed, and only those.
    EXPECT_EQ(movedLines, (std::vector<uint32_t>{2, 3, 5}));
    EXPECT_NE(out.find("/* point\n line */"), std::string::npos) << out;
    EXPECT_NE(out.find("// M._11_22\n"), std::string::npos) << out;
    EXPECT_NE(out.find("float3(Bones[2]._m30, Bones[2]._m31, Bones[2]._m32).x"), std::string::npos) << out;
}
