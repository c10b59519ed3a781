// The stages behind D3DXCreateEffect, tested directly: constant
// expressions, and the HLSL the parser hands to the compiler.

#include "effect/EffectConstants.h"
#include "effect/EffectParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace swd3d9::effect;

namespace {

struct Evaluation {
    bool ok;
    Constant value;
    std::string error;
};

Evaluation evaluate(const std::string& text, const std::map<std::string, Constant>& names = {})
{
    std::vector<Token> tokens;
    std::string error;
    uint32_t line, column;
    EXPECT_TRUE(tokenize(text, tokens, error, line, column)) << error;
    ConstantEvaluator evaluator([&names](const std::string& name, Constant& value) {
        auto found = names.find(name);
        if (found == names.end())
            return false;
        value = found->second;
        return true;
    });
    Evaluation result;
    result.ok = evaluator.evaluate(tokens.data(), tokens.data() + tokens.size() - 1, result.value);
    result.error = evaluator.error();
    return result;
}

std::vector<double> values(const std::string& text)
{
    Evaluation e = evaluate(text);
    EXPECT_TRUE(e.ok) << text << ": " << e.error;
    return e.value.values;
}

std::vector<double> list(std::initializer_list<double> v) { return v; }

} // namespace

TEST(EffectConstants, ArithmeticFollowsHlslTypes)
{
    EXPECT_EQ(list({7}), values("1 + 2 * 3"));
    EXPECT_EQ(list({3}), values("7 / 2")) << "ints divide as ints";
    EXPECT_EQ(list({3.5}), values("7.0 / 2"));
    EXPECT_EQ(list({1}), values("7 % 3"));
    EXPECT_EQ(list({-5}), values("-(2 + 3)"));
    EXPECT_EQ(Constant::Base::Float, evaluate("1 + 0.5f").value.base);
    EXPECT_EQ(Constant::Base::Int, evaluate("1 + 2").value.base);
    EXPECT_EQ(list({19}), values("0x10 | 3"));
    EXPECT_EQ(list({16}), values("1 << 4"));
    EXPECT_EQ(list({0}), values("1 < 2 && 3 > 4"));
    EXPECT_EQ(list({1}), values("true ? 1 : 2"));
    EXPECT_EQ(list({3}), values("(int)3.9"));
    EXPECT_EQ(list({2, 2, 2}), values("(float3)2"));
}

TEST(EffectConstants, VectorsListsAndIntrinsics)
{
    EXPECT_EQ(list({2, 4, 6}), values("float3(1, 2, 3) * 2"));
    EXPECT_EQ(list({1, 2, 3, 4}), values("float4(float2(1, 2), 3, 4)"));
    EXPECT_EQ(list({1, 2, 3}), values("{1, {2, 3}}"));
    EXPECT_EQ(list({4, 3, 2, 1}), values("float4(1, 2, 3, 4).wzyx"));
    EXPECT_EQ(list({5, 5}), values("float2(5, 6).xx"));
    EXPECT_EQ(list({3}), values("max(2, 3)"));
    EXPECT_EQ(list({4}), values("sqrt(16)"));
    EXPECT_EQ(list({32}), values("dot(float3(1, 2, 3), float3(4, 5, 6))"));
    EXPECT_EQ(list({0, 0, 1}), values("cross(float3(1, 0, 0), float3(0, 1, 0))"));
    EXPECT_EQ(list({0.6, 0.8}), values("normalize(float2(3, 4))"));
    EXPECT_EQ(list({1, 0.5}), values("saturate(float2(2, 0.5))"));
}

TEST(EffectConstants, NamesComeFromTheCaller)
{
    Constant color;
    color.base = Constant::Base::Float;
    color.values = {0.25, 0.5, 1};
    Evaluation e = evaluate("Lights[1].color.z * 2 + Lights[1].color.x", {{"Lights[1].color", color}});
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(list({2.25}), e.value.values);
    Evaluation missing = evaluate("Unknown + 1");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(std::string::npos, missing.error.find("Unknown"));
}

TEST(EffectConstants, MalformedExpressionsFailCleanly)
{
    EXPECT_FALSE(evaluate("1 / 0").ok);
    EXPECT_FALSE(evaluate("1 +").ok);
    EXPECT_FALSE(evaluate("(1, 2)").ok);
    EXPECT_FALSE(evaluate("float3(1, 2)").ok);
    EXPECT_FALSE(evaluate("1.5 | 2").ok);
    EXPECT_FALSE(evaluate("float2(1, 2).q").ok);
    EXPECT_FALSE(evaluate("noise(1)").ok);
    // Deep nesting is refused, not followed until the stack runs out.
    EXPECT_FALSE(evaluate(std::string(5000, '(') + "1" + std::string(5000, ')')).ok);
    EXPECT_FALSE(evaluate(std::string(5000, '-') + "1").ok);
}

namespace {

bool parse(const std::string& text, EffectDescription& description, std::string& messages)
{
    messages.clear();
    return parseEffect(text, "test.fx", false, description, messages);
}

} // namespace

TEST(EffectParser, HlslKeepsLinesAndLosesEffectSyntax)
{
    const std::string text = "texture2D T < string Name = \"t.png\"; >;\n"
                             "textureCUBE C;\n"
                             "sampler S = sampler_state\n"
                             "{\n"
                             "    Texture = <C>;\n"
                             "};\n"
                             "string Label = \"x\";\n"
                             "float4 Color : DIFFUSE < string UIName = \"c\"; > = { 1, 0, 0, 1 };\n"
                             "DWORD Mask;\n"
                             "float4 MainPS(float3 n : TEXCOORD0) : COLOR { return texCUBE(S, n) * Color; }\n"
                             "technique T\n"
                             "{\n"
                             "    pass P { PixelShader = compile ps_2_0 MainPS(); }\n"
                             "}\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(d.hlsl.begin(), d.hlsl.end(), '\n'));
    EXPECT_EQ(std::string::npos, d.hlsl.find("texture2D"));
    EXPECT_EQ(std::string::npos, d.hlsl.find("sampler_state"));
    EXPECT_EQ(std::string::npos, d.hlsl.find("technique"));
    EXPECT_EQ(std::string::npos, d.hlsl.find("Label"));
    EXPECT_EQ(std::string::npos, d.hlsl.find("UIName"));
    EXPECT_NE(std::string::npos, d.hlsl.find("samplerCUBE S")) << "the sampler takes its texture's type";
    EXPECT_NE(std::string::npos, d.hlsl.find("uint  Mask"));
    EXPECT_NE(std::string::npos, d.hlsl.find("float4 Color : DIFFUSE"));
    // Every line of the function is where it was.
    size_t line = std::count(text.begin(), text.begin() + static_cast<long>(text.find("float4 MainPS")), '\n');
    size_t hlslLine =
        std::count(d.hlsl.begin(), d.hlsl.begin() + static_cast<long>(d.hlsl.find("float4 MainPS")), '\n');
    EXPECT_EQ(line, hlslLine);
    ASSERT_EQ(1u, d.programs.size());
    EXPECT_EQ("MainPS", d.programs[0].entryPoint);

    // An annotation closed by the '>' of ">=" still goes entirely.
    ASSERT_TRUE(parse("float X <int a = 1;>= 2;\n", d, messages)) << messages;
    EXPECT_EQ(std::string::npos, d.hlsl.find('>')) << d.hlsl;
    EXPECT_NE(std::string::npos, d.hlsl.find("= 2;")) << d.hlsl;
}

TEST(EffectParser, UntypedSamplersFollowTheirUse)
{
    const std::string text = "texture T;\n"
                             "sampler S = sampler_state { Texture = <T>; };\n"
                             "sampler Plain;\n"
                             "float4 MainPS(float3 n : TEXCOORD0) : COLOR\n"
                             "{ return texCUBE(S, n) + tex2D(Plain, n.xy); }\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;
    EXPECT_NE(std::string::npos, d.hlsl.find("samplerCUBE S"));
    EXPECT_NE(std::string::npos, d.hlsl.find("sampler2D Plain"));
}

TEST(EffectParser, CompileArgumentsBecomeAnEntryPoint)
{
    const std::string text =
        "float4 Skin(float4 p : POSITION, uniform int bones, out float4 color : COLOR0, uniform float scale)"
        " : POSITION\n"
        "{ color = 1; return p * bones * scale; }\n"
        "VertexShader Shaders[2] = { compile vs_2_0 Skin(1, 0.5), compile vs_2_0 Skin(2, 0.5) };\n"
        "technique T { pass P { VertexShader = compile vs_2_0 Skin(1, 0.5); } }\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;
    ASSERT_EQ(2u, d.programs.size()) << "the same call compiles once";
    const ProgramRequest& first = d.programs[0];
    EXPECT_NE("Skin", first.entryPoint);
    std::string wrapper = d.hlsl.substr(d.hlsl.find(first.entryPoint));
    wrapper = wrapper.substr(0, wrapper.find('\n'));
    EXPECT_NE(std::string::npos, wrapper.find("float4 p : POSITION, out float4 color : COLOR0)")) << wrapper;
    EXPECT_NE(std::string::npos, wrapper.find(": POSITION")) << wrapper;
    EXPECT_NE(std::string::npos, wrapper.find("return Skin(p, (1), color, (0.5));")) << wrapper;
    EXPECT_EQ(2u, d.hlslExtraLines.size()) << "one entry point per program with arguments";

    EXPECT_FALSE(parse("float4 F(float4 p : POSITION) : POSITION { return p; }\n"
                       "technique T { pass P { VertexShader = compile vs_2_0 F(1); } }\n",
                       d, messages));
    EXPECT_NE(std::string::npos, messages.find("test.fx(2,")) << messages;
    EXPECT_FALSE(parse("technique T { pass P { VertexShader = compile ps_2_0 F(); } }\n", d, messages));
}

TEST(EffectParser, SizesAreBounded)
{
    EffectDescription d;
    std::string messages;
    EXPECT_FALSE(parse("float4 A[100000000];", d, messages));
    EXPECT_NE(std::string::npos, messages.find("error")) << messages;
    EXPECT_FALSE(parse("float A[70000];", d, messages)) << "more elements than parameters may have";
    EXPECT_FALSE(parse("float A[2][3000000];", d, messages));
    EXPECT_TRUE(parse("float4x4 Bones[200];", d, messages)) << messages;
}

TEST(EffectParser, StatesAndTheirValues)
{
    const std::string text = "float Level = 0.5;\n"
                             "texture T;\n"
                             "sampler S = sampler_state { Texture = (T); MinFilter = linear; BorderColor = 0xFF; };\n"
                             "technique A\n"
                             "{\n"
                             "    pass\n"
                             "    {\n"
                             "        cullmode = ccw;\n"
                             "        AlphaRef = Level * 255;\n"
                             "        SrcBlend = D3DBLEND_SRCALPHA;\n"
                             "        Sampler[2] = <S>;\n"
                             "        MinFilter[16] = Point;\n"
                             "    }\n"
                             "}\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(parse(text, d, messages)) << messages;
    ASSERT_EQ(1u, d.techniques.size());
    const PassDescription& pass = d.techniques[0].passes[0];
    EXPECT_FALSE(pass.hasName);
    ASSERT_EQ(5u, pass.states.size());
    EXPECT_TRUE(pass.states[0].constant) << "state and value names are case-insensitive";
    EXPECT_EQ(list({3}), pass.states[0].value.values);
    EXPECT_FALSE(pass.states[1].constant) << "a value over parameters is evaluated when the pass begins";
    EXPECT_TRUE(pass.states[1].known);
    EXPECT_EQ(list({5}), pass.states[2].value.values);
    EXPECT_EQ(StateAssignment::Kind::Object, pass.states[3].kind);
    EXPECT_EQ(2u, pass.states[3].index);
    EXPECT_EQ(16u, pass.states[4].index) << "the displacement-map sampler";
    ASSERT_EQ(1u, d.samplers.size());
    EXPECT_EQ(3u, d.samplers[0].states.size());

    EXPECT_FALSE(parse("technique A { pass { MinFilter[300] = Point; } }", d, messages));
    EXPECT_FALSE(parse("technique A { pass { Texture[0] = Level; } }", d, messages));
    EXPECT_FALSE(parse("technique A { pass { SetVertexShader(CompileShader(vs_4_0, F())); } }", d, messages));
}
