// Declarations and values of every shape that share one path: array sizes
// of variables, struct members, typedefs and annotations; the initial
// values of string, sampler and shader arrays; and the numeric Set and Get
// functions on the shapes that decide between a number and a colour.

#include "EffectTestSupport.h"

#include "effect/EffectParser.h"

using namespace swd3d9::effect;
using effecttest::Com;
using effecttest::EffectTest;

namespace {

bool parse(const std::string& text, EffectDescription& description, std::string& messages)
{
    messages.clear();
    return parseEffect(text, "test.fx", false, description, messages);
}

const ParameterNode* findNode(const EffectDescription& d, const std::string& path)
{
    for (const ParameterNode& node : d.parameters)
        if (node.path == path)
            return &node;
    return nullptr;
}

// The parse fails, and says why.
void expectRefused(const std::string& text, const std::string& reason)
{
    EffectDescription d;
    std::string messages;
    EXPECT_FALSE(parse(text, d, messages)) << text;
    EXPECT_NE(std::string::npos, messages.find(reason)) << text << "\n" << messages;
}

} // namespace

TEST(EffectDeclarations, ArraySizesMultiplyWhereverTheyAreWritten)
{
    const std::string text = "struct Grid { float cell[2][3]; };\n"
                             "Grid G;\n"
                             "typedef float Triple[3];\n"
                             "Triple T[2];\n"
                             "float Open[] = { 1, 2, 3, 4 };\n"
                             "float X < int sizes[2][2] = { 1, 2, 3, 4 }; >;\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;
    ASSERT_NE(nullptr, findNode(d, "G.cell"));
    EXPECT_EQ(6u, findNode(d, "G.cell")->elements);
    ASSERT_NE(nullptr, findNode(d, "T"));
    EXPECT_EQ(6u, findNode(d, "T")->elements) << "the typedef's size times the variable's";
    ASSERT_NE(nullptr, findNode(d, "Open"));
    EXPECT_EQ(4u, findNode(d, "Open")->elements) << "an open size is taken from the initial value";
    ASSERT_NE(nullptr, findNode(d, "X@sizes"));
    EXPECT_EQ(4u, findNode(d, "X@sizes")->elements);

    expectRefused("struct S { float a[]; };", "struct members need a size");
    expectRefused("typedef float Open[];", "typedefs of arrays need a size");
    expectRefused("float X < int a[] = { 1 }; >;", "annotation arrays need a size");
    expectRefused("float A[][] = { 1 };", "only one array size may be left open");
    expectRefused("struct S { float a[40000][40000]; };", "array too large");
}

TEST(EffectDeclarations, ObjectArraysTakeListsWithNulls)
{
    const std::string text = "string Names[3] = { \"a\" \"b\", \"c\" };\n"
                             "float X < string tags[2] = { \"x\", \"y\" \"z\" }; >;\n"
                             "sampler2D Samplers[3] = { sampler_state { MinFilter = Point; }, NULL,\n"
                             "                          sampler_state { MinFilter = Linear; } };\n"
                             "float4 F(void) : POSITION { return 0; }\n"
                             "VertexShader Shaders[2] = { NULL, compile vs_2_0 F() };\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;

    const ParameterNode* names = findNode(d, "Names");
    ASSERT_NE(nullptr, names);
    ASSERT_EQ(3u, names->objectCount);
    EXPECT_EQ("ab", d.objects[names->firstObject].text) << "adjacent strings concatenate";
    EXPECT_EQ("c", d.objects[names->firstObject + 1].text);
    EXPECT_EQ("", d.objects[names->firstObject + 2].text);
    const ParameterNode* tags = findNode(d, "X@tags");
    ASSERT_NE(nullptr, tags);
    EXPECT_EQ("x", d.objects[tags->firstObject].text);
    EXPECT_EQ("yz", d.objects[tags->firstObject + 1].text);

    const ParameterNode* samplers = findNode(d, "Samplers");
    ASSERT_NE(nullptr, samplers);
    EXPECT_GE(d.objects[samplers->firstObject].sampler, 0);
    EXPECT_EQ(-1, d.objects[samplers->firstObject + 1].sampler);
    EXPECT_GE(d.objects[samplers->firstObject + 2].sampler, 0);
    EXPECT_NE(d.objects[samplers->firstObject].sampler, d.objects[samplers->firstObject + 2].sampler);

    const ParameterNode* shaders = findNode(d, "Shaders");
    ASSERT_NE(nullptr, shaders);
    EXPECT_EQ(-1, d.objects[shaders->firstObject].program);
    ASSERT_GE(d.objects[shaders->firstObject + 1].program, 0);
    ASSERT_FALSE(d.functions.empty());
    EXPECT_TRUE(d.functions[0].parameters.empty()) << "(void) declares no parameters";

    expectRefused("string S[2] = { \"a\", 1 };", "string expected");
    expectRefused("sampler2D S = sampler_state { } junk;", "after sampler_state");
    expectRefused("sampler2D S[2] = { sampler_state { } junk };", "',' or '}' expected");
    expectRefused("sampler2D S = 3;", "sampler_state expected");
    expectRefused("float4 F() : POSITION { return 0; }\nPixelShader P = compile vs_2_0 F();",
                  "the profile does not match the shader type");
    expectRefused("VertexShader V = asm { vs_2_0 };", "asm shaders are not supported");
    expectRefused("VertexShader V = 3;", "compile expected");
    expectRefused("float4 F(, float a) : POSITION { return a; }", "parameter expected");
    expectRefused("float4 F() : POSITION { return 0; }\nVertexShader V = compile vs_2_0 F(, 1);",
                  "argument expected");
}

namespace {

const char* const SHAPES_EFFECT = R"(
float1 One;
float2 Two;
float3 Rgb;
float3x1 Column;
float1x3 Row;
float4 Many[2];
int2 Ints;
float4x4 M[2];
VertexShader Vs;
PixelShader Ps;
)";

class EffectShapeTest : public EffectTest
{
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        std::string messages;
        ASSERT_EQ(D3D_OK, create(SHAPES_EFFECT, effect, &messages)) << messages;
    }
    void TearDown() override
    {
        effect.reset();
        EffectTest::TearDown();
    }

    Com<ID3DXEffect> effect;
};

D3DXMATRIX filled(float value)
{
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = value;
    return m;
}

} // namespace

TEST_F(EffectShapeTest, IntsAreNumbersOrColoursByShape)
{
    // One component: a number, not a colour.
    ASSERT_EQ(D3D_OK, effect->SetInt("One", 7));
    FLOAT f = 0;
    ASSERT_EQ(D3D_OK, effect->GetFloat("One", &f));
    EXPECT_EQ(7.0f, f);
    INT n = 0;
    ASSERT_EQ(D3D_OK, effect->GetInt("One", &n));
    EXPECT_EQ(7, n);

    // Three components, as a vector or as one column: the colour without
    // its alpha, which reads back as 0.
    for (const char* name : {"Rgb", "Column"}) {
        ASSERT_EQ(D3D_OK, effect->SetInt(name, static_cast<INT>(0x80FF4020))) << name;
        float rgb[3] = {};
        ASSERT_EQ(D3D_OK, effect->GetFloatArray(name, rgb, 3)) << name;
        EXPECT_FLOAT_EQ(1.0f, rgb[0]) << name;
        EXPECT_FLOAT_EQ(0x40 / 255.0f, rgb[1]) << name;
        EXPECT_FLOAT_EQ(0x20 / 255.0f, rgb[2]) << name;
        ASSERT_EQ(D3D_OK, effect->GetInt(name, &n)) << name;
        EXPECT_EQ(0x00FF4020, n) << name;
    }

    // Two components, a row of a matrix, an array and ints take no colour.
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetInt("Two", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetInt("Two", &n));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetInt("Row", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetInt("Many", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetInt("Ints", &n));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetInt("One", nullptr));
}

TEST_F(EffectShapeTest, ArraysCopyAsMuchAsBothHold)
{
    const FLOAT five[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(D3D_OK, effect->SetFloatArray("Rgb", five, 5));
    FLOAT back[5] = {-1, -1, -1, -1, -1};
    ASSERT_EQ(D3D_OK, effect->GetFloatArray("Rgb", back, 5));
    EXPECT_EQ(3.0f, back[2]);
    EXPECT_EQ(-1.0f, back[3]) << "only the parameter's own components are written";

    // Bools keep their value in an int, and any non-zero int reads as TRUE.
    const BOOL flags[2] = {5, 0};
    ASSERT_EQ(D3D_OK, effect->SetBoolArray("Ints", flags, 2));
    INT ints[2] = {};
    ASSERT_EQ(D3D_OK, effect->GetIntArray("Ints", ints, 2));
    EXPECT_EQ(5, ints[0]);
    EXPECT_EQ(0, ints[1]);
    BOOL bools[2] = {};
    ASSERT_EQ(D3D_OK, effect->GetBoolArray("Ints", bools, 2));
    EXPECT_EQ(TRUE, bools[0]);
    EXPECT_EQ(FALSE, bools[1]);

    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloatArray("Rgb", nullptr, 1));
    EXPECT_EQ(D3D_OK, effect->SetFloatArray("Rgb", nullptr, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetFloatArray("Rgb", nullptr, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetIntArray("Vs", ints, 1));
}

TEST_F(EffectShapeTest, MatrixPointerArraysCheckEveryPointerFirst)
{
    const D3DXMATRIX ones = filled(1), twos = filled(2);
    const D3DXMATRIX both[2] = {ones, ones};
    ASSERT_EQ(D3D_OK, effect->SetMatrixArray("M", both, 2));

    // A null among the pointers refuses the call before anything changes.
    const D3DXMATRIX* withNull[2] = {&twos, nullptr};
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrixPointerArray("M", withNull, 2));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrixTransposePointerArray("M", withNull, 2));
    D3DXMATRIX read[2];
    ASSERT_EQ(D3D_OK, effect->GetMatrixArray("M", read, 2));
    EXPECT_EQ(ones, read[0]);

    D3DXMATRIX untouched = filled(9);
    D3DXMATRIX* readWithNull[2] = {&untouched, nullptr};
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetMatrixPointerArray("M", readWithNull, 2));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetMatrixTransposePointerArray("M", readWithNull, 2));
    EXPECT_EQ(filled(9), untouched);

    // By pointer, transposed, and back by value.
    D3DXMATRIX numbered;
    for (int i = 0; i < 16; ++i)
        numbered.m[i / 4][i % 4] = static_cast<float>(i);
    const D3DXMATRIX* pointers[2] = {&numbered, &twos};
    ASSERT_EQ(D3D_OK, effect->SetMatrixTransposePointerArray("M", pointers, 2));
    ASSERT_EQ(D3D_OK, effect->GetMatrixTransposeArray("M", read, 2));
    EXPECT_EQ(numbered, read[0]);
    ASSERT_EQ(D3D_OK, effect->GetMatrixArray("M", read, 2));
    D3DXMATRIX transposed;
    D3DXMatrixTranspose(&transposed, &numbered);
    EXPECT_EQ(transposed, read[0]);
    EXPECT_EQ(twos, read[1]);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrixTransposeArray("M", both, 3)) << "more than the array holds";
}

TEST_F(EffectShapeTest, ShaderParametersAnswerTheirOwnStageOnly)
{
    IDirect3DVertexShader9* vertex = reinterpret_cast<IDirect3DVertexShader9*>(1);
    ASSERT_EQ(D3D_OK, effect->GetVertexShader("Vs", &vertex));
    EXPECT_EQ(nullptr, vertex) << "a shader parameter starts as NULL";
    IDirect3DPixelShader9* pixel = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetPixelShader("Vs", &pixel));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetVertexShader("Ps", &vertex));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetPixelShader("Ps", nullptr));
    ASSERT_EQ(D3D_OK, effect->GetPixelShader("Ps", &pixel));
    EXPECT_EQ(nullptr, pixel);
}
