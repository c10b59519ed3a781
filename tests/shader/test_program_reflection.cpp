#include "compiler_test_support.h"

#include "shader/ProgramReflection.h"

#include <d3d9types.h>

#include <algorithm>
#include <iterator>
#include <tuple>

using namespace shadertest;
using swd3d9::shader::compileShader;
using swd3d9::shader::ProgramInfo;
using swd3d9::shader::reflectProgram;
using swd3d9::shader::SamplerDimension;
using swd3d9::shader::semanticUsage;
using swd3d9::shader::StageVariable;
using swd3d9::shader::UniformVariable;
using swd3d9::shader::USAGE_VFACE;
using swd3d9::shader::USAGE_VPOS;

namespace {

const UniformVariable* findUniform(const ProgramInfo& info, const std::string& name)
{
    for (const UniformVariable& uniform : info.uniforms)
        if (uniform.name == name)
            return &uniform;
    return nullptr;
}

void expectStageVariables(const std::vector<StageVariable>& actual,
                          const std::vector<std::tuple<std::string, uint8_t, uint8_t, uint8_t>>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].semantic, std::get<0>(expected[i])) << i;
        EXPECT_EQ(actual[i].usage, std::get<1>(expected[i])) << actual[i].semantic;
        EXPECT_EQ(actual[i].usageIndex, std::get<2>(expected[i])) << actual[i].semantic;
        EXPECT_EQ(actual[i].components, std::get<3>(expected[i])) << actual[i].semantic;
    }
}

} // namespace

TEST(ProgramReflection, PhongUniformsLieWhereTheEffectWritesThem)
{
    const std::string hlsl = readSample("phong.hlsl");
    for (const auto& request : {std::make_pair("PhongVS", ShaderStage::Vertex), {"PhongPS", ShaderStage::Pixel}}) {
        const auto program = compileOrFail(hlsl, request.first, request.second);
        ASSERT_TRUE(program);
        const ProgramInfo& info = program->info();
        // Every stage sees the whole block, so one layout serves the effect.
        struct Expected {
            const char* name;
            const char* semantic;
            uint32_t offset;
            uint32_t size;
            uint8_t rows, columns;
        };
        const Expected expected[] = {
            {"WorldViewProjection", "WORLDVIEWPROJECTION", 0, 64, 4, 4},
            {"World", "WORLD", 64, 64, 4, 4},
            {"WorldInverseTranspose", "WORLDINVERSETRANSPOSE", 128, 64, 4, 4},
            {"ViewInverse", "VIEWINVERSE", 192, 64, 4, 4},
            {"LightPosition", "POSITION", 256, 12, 1, 3},
            {"LightColor", "DIFFUSE", 272, 16, 1, 4},
            {"AmbientColor", "AMBIENT", 288, 16, 1, 4},
            {"SpecularPower", "SPECULARPOWER", 304, 4, 1, 1},
        };
        ASSERT_EQ(info.uniforms.size(), std::size(expected)) << request.first;
        for (size_t i = 0; i < std::size(expected); ++i) {
            const UniformVariable& uniform = info.uniforms[i];
            EXPECT_EQ(uniform.name, expected[i].name);
            EXPECT_EQ(uniform.semantic, expected[i].semantic);
            EXPECT_EQ(uniform.offset, expected[i].offset) << uniform.name;
            EXPECT_EQ(uniform.size, expected[i].size) << uniform.name;
            EXPECT_EQ(uniform.rows, expected[i].rows) << uniform.name;
            EXPECT_EQ(uniform.columns, expected[i].columns) << uniform.name;
            EXPECT_EQ(uniform.elements, 0u) << uniform.name;
        }
        EXPECT_TRUE(info.uniforms[0].columnMajor);
        EXPECT_EQ(info.uniformBytes, 320u);
    }
}

TEST(ProgramReflection, PhongStagesAreListedBySemanticInInterfaceOrder)
{
    const std::string hlsl = readSample("phong.hlsl");
    const auto vertex = compileOrFail(hlsl, "PhongVS", ShaderStage::Vertex);
    const auto pixel = compileOrFail(hlsl, "PhongPS", ShaderStage::Pixel);
    ASSERT_TRUE(vertex && pixel);
    expectStageVariables(vertex->info().inputs, {{"POSITION", D3DDECLUSAGE_POSITION, 0, 4},
                                                 {"NORMAL", D3DDECLUSAGE_NORMAL, 0, 3},
                                                 {"TEXCOORD0", D3DDECLUSAGE_TEXCOORD, 0, 2}});
    expectStageVariables(vertex->info().outputs, {{"POSITION", D3DDECLUSAGE_POSITION, 0, 4},
                                                  {"TEXCOORD0", D3DDECLUSAGE_TEXCOORD, 0, 2},
                                                  {"TEXCOORD1", D3DDECLUSAGE_TEXCOORD, 1, 3},
                                                  {"TEXCOORD2", D3DDECLUSAGE_TEXCOORD, 2, 3},
                                                  {"TEXCOORD3", D3DDECLUSAGE_TEXCOORD, 3, 3}});
    // The pixel shader's unused POSITION input is gone.
    expectStageVariables(pixel->info().inputs, {{"TEXCOORD0", D3DDECLUSAGE_TEXCOORD, 0, 2},
                                                {"TEXCOORD1", D3DDECLUSAGE_TEXCOORD, 1, 3},
                                                {"TEXCOORD2", D3DDECLUSAGE_TEXCOORD, 2, 3},
                                                {"TEXCOORD3", D3DDECLUSAGE_TEXCOORD, 3, 3}});
    expectStageVariables(pixel->info().outputs, {{"COLOR", D3DDECLUSAGE_COLOR, 0, 4}});

    EXPECT_TRUE(vertex->info().samplers.empty());
    ASSERT_EQ(pixel->info().samplers.size(), 1u);
    EXPECT_EQ(pixel->info().samplers[0].name, "DiffuseSampler");
    EXPECT_EQ(pixel->info().samplers[0].dimension, SamplerDimension::Texture2D);
    EXPECT_FALSE(vertex->info().usesDerivatives);
    EXPECT_TRUE(pixel->info().usesDerivatives);
    EXPECT_FALSE(pixel->info().discards);
}

TEST(ProgramReflection, OutParametersBuiltInsAndEveryUsage)
{
    const std::string hlsl =
        "void vs(float4 p : POSITION, float4 bw : BLENDWEIGHT, float4 bi : BLENDINDICES, float3 t : TANGENT,\n"
        "        float3 b : BINORMAL, float4 c1 : COLOR1, float2 uv : TEXCOORD7,\n"
        "        out float4 oPos : POSITION, out float oSize : PSIZE, out float oFog : FOG, out float4 oC : COLOR)\n"
        "{\n"
        "    oPos = p + bw + bi + float4(t + b, uv.x);\n"
        "    oSize = uv.y; oFog = b.x; oC = c1;\n"
        "}\n"
        "void ps(float2 vpos : VPOS, float face : VFACE, float4 c : COLOR0,\n"
        "        out float4 o0 : COLOR0, out float4 o1 : COLOR1, out float d : DEPTH)\n"
        "{\n"
        "    o0 = c * face + vpos.x; o1 = c; d = c.z;\n"
        "}\n"
        "struct PSOut { float4 c : SV_Target; float d : SV_Depth; };\n"
        "PSOut ps10(float4 pos : SV_Position, bool front : SV_IsFrontFace) { PSOut o; o.c = pos * front; o.d = 0; "
        "return o; }\n";
    const auto vertex = compileOrFail(hlsl, "vs", ShaderStage::Vertex);
    const auto pixel = compileOrFail(hlsl, "ps", ShaderStage::Pixel);
    const auto pixel10 = compileOrFail(hlsl, "ps10", ShaderStage::Pixel);
    ASSERT_TRUE(vertex && pixel && pixel10);
    expectStageVariables(vertex->info().inputs, {{"POSITION", D3DDECLUSAGE_POSITION, 0, 4},
                                                 {"BLENDWEIGHT", D3DDECLUSAGE_BLENDWEIGHT, 0, 4},
                                                 {"BLENDINDICES", D3DDECLUSAGE_BLENDINDICES, 0, 4},
                                                 {"TANGENT", D3DDECLUSAGE_TANGENT, 0, 3},
                                                 {"BINORMAL", D3DDECLUSAGE_BINORMAL, 0, 3},
                                                 {"COLOR1", D3DDECLUSAGE_COLOR, 1, 4},
                                                 {"TEXCOORD7", D3DDECLUSAGE_TEXCOORD, 7, 2}});
    expectStageVariables(vertex->info().outputs, {{"POSITION", D3DDECLUSAGE_POSITION, 0, 4},
                                                  {"PSIZE", D3DDECLUSAGE_PSIZE, 0, 1},
                                                  {"FOG", D3DDECLUSAGE_FOG, 0, 1},
                                                  {"COLOR", D3DDECLUSAGE_COLOR, 0, 4}});
    expectStageVariables(pixel->info().inputs, {{"VPOS", USAGE_VPOS, 0, 2},
                                                {"VFACE", USAGE_VFACE, 0, 1},
                                                {"COLOR0", D3DDECLUSAGE_COLOR, 0, 4}});
    expectStageVariables(pixel->info().outputs, {{"COLOR0", D3DDECLUSAGE_COLOR, 0, 4},
                                                 {"COLOR1", D3DDECLUSAGE_COLOR, 1, 4},
                                                 {"DEPTH", D3DDECLUSAGE_DEPTH, 0, 1}});
    expectStageVariables(pixel10->info().inputs,
                         {{"SV_POSITION", USAGE_VPOS, 0, 4}, {"SV_ISFRONTFACE", USAGE_VFACE, 0, 1}});
    expectStageVariables(pixel10->info().outputs,
                         {{"SV_TARGET", D3DDECLUSAGE_COLOR, 0, 4}, {"SV_DEPTH", D3DDECLUSAGE_DEPTH, 0, 1}});
}

TEST(ProgramReflection, MatricesArraysAndStructsOfTheUniformBlock)
{
    const std::string hlsl = "float4x3 A;\n"
                             "row_major float4x3 B;\n"
                             "float4x3 Bones[3];\n"
                             "float f;\n"
                             "struct Light { float3 color; float range; };\n"
                             "Light Lights[2];\n"
                             "struct Material { float4 diffuse; float shininess; float3x3 rotation; };\n"
                             "Material Mtl : MATERIAL;\n"
                             "int Count;\n"
                             "bool Enabled;\n"
                             "float Weights[4];\n"
                             "float4 vs(float4 p : POSITION, float3 n : NORMAL) : POSITION\n"
                             "{\n"
                             "    float3 v = mul(p, A) + mul(p, B) + mul(p, Bones[Count]) + Lights[Count].color * "
                             "Lights[1].range;\n"
                             "    v += Mtl.diffuse.xyz * Mtl.shininess + mul(n, Mtl.rotation);\n"
                             "    return float4(v, f + Weights[Count] + (Enabled ? 1 : 0));\n"
                             "}\n";
    const auto program = compileOrFail(hlsl, "vs", ShaderStage::Vertex);
    ASSERT_TRUE(program);
    const ProgramInfo& info = program->info();

    // A column-major float4x3 takes three registers of four rows, a
    // row-major one four registers of three columns.
    const UniformVariable* a = findUniform(info, "A");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->offset, 0u);
    EXPECT_EQ(a->rows, 4);
    EXPECT_EQ(a->columns, 3);
    EXPECT_TRUE(a->columnMajor);
    EXPECT_EQ(a->size, 48u);
    const UniformVariable* b = findUniform(info, "B");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->offset, 48u);
    EXPECT_FALSE(b->columnMajor);
    EXPECT_EQ(b->size, 60u);
    const UniformVariable* bones = findUniform(info, "Bones");
    ASSERT_TRUE(bones);
    EXPECT_EQ(bones->offset, 112u);
    EXPECT_EQ(bones->elements, 3u);
    EXPECT_EQ(bones->arrayStride, 48u);
    EXPECT_EQ(bones->size, 144u);
    EXPECT_EQ(findUniform(info, "f")->offset, 256u);

    // Arrays of structs are listed element by element under dotted names.
    const UniformVariable* color1 = findUniform(info, "Lights[1].color");
    const UniformVariable* range1 = findUniform(info, "Lights[1].range");
    ASSERT_TRUE(color1 && range1 && findUniform(info, "Lights[0].color"));
    EXPECT_EQ(color1->offset, findUniform(info, "Lights[0].color")->offset + 16);
    EXPECT_EQ(range1->offset, color1->offset + 12);
    EXPECT_EQ(color1->columns, 3);
    EXPECT_EQ(findUniform(info, "Lights"), nullptr);

    const UniformVariable* rotation = findUniform(info, "Mtl.rotation");
    ASSERT_TRUE(rotation && findUniform(info, "Mtl.diffuse"));
    EXPECT_EQ(findUniform(info, "Mtl.diffuse")->offset % 16, 0u);
    EXPECT_EQ(rotation->rows, 3);
    EXPECT_EQ(rotation->size, 44u);
    EXPECT_EQ(findUniform(info, "Mtl.shininess")->offset, findUniform(info, "Mtl.diffuse")->offset + 16);

    // ints and bools take a 32-bit slot; a float array one register per element.
    EXPECT_EQ(findUniform(info, "Count")->size, 4u);
    EXPECT_EQ(findUniform(info, "Enabled")->offset, findUniform(info, "Count")->offset + 4);
    const UniformVariable* weights = findUniform(info, "Weights");
    ASSERT_TRUE(weights);
    EXPECT_EQ(weights->elements, 4u);
    EXPECT_EQ(weights->arrayStride, 16u);
    EXPECT_EQ(weights->size, 52u);

    // The block ends at the register after its last member.
    uint32_t end = 0;
    for (const UniformVariable& uniform : info.uniforms) {
        EXPECT_LE(uniform.offset + uniform.size, info.uniformBytes) << uniform.name;
        end = std::max(end, uniform.offset + uniform.size);
    }
    EXPECT_EQ(info.uniformBytes, (end + 15) / 16 * 16);
}

TEST(ProgramReflection, SamplersDerivativesAndDiscards)
{
    const std::string hlsl = "sampler1D Ramp;\n"
                             "sampler2D Image;\n"
                             "sampler3D Volume;\n"
                             "samplerCUBE Sky;\n"
                             "float4 all(float4 t : TEXCOORD0) : COLOR\n"
                             "{\n"
                             "    return tex1D(Ramp, t.x) + tex2D(Image, t.xy) + tex3D(Volume, t.xyz) +\n"
                             "           texCUBE(Sky, t.xyz);\n"
                             "}\n"
                             "float4 lod(float4 t : TEXCOORD0) : COLOR { return tex2Dlod(Image, t); }\n"
                             "float4 slope(float4 t : TEXCOORD0) : COLOR { return ddx(t) + ddy(t); }\n"
                             "float4 clipped(float4 c : COLOR0) : COLOR { clip(c.a - 0.5); return c; }\n";
    const auto all = compileOrFail(hlsl, "all", ShaderStage::Pixel);
    const auto lod = compileOrFail(hlsl, "lod", ShaderStage::Pixel);
    const auto slope = compileOrFail(hlsl, "slope", ShaderStage::Pixel);
    const auto clipped = compileOrFail(hlsl, "clipped", ShaderStage::Pixel);
    ASSERT_TRUE(all && lod && slope && clipped);
    const std::vector<std::pair<std::string, SamplerDimension>> expected = {{"Ramp", SamplerDimension::Texture1D},
                                                                            {"Image", SamplerDimension::Texture2D},
                                                                            {"Volume", SamplerDimension::Texture3D},
                                                                            {"Sky", SamplerDimension::Cube}};
    ASSERT_EQ(all->info().samplers.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(all->info().samplers[i].name, expected[i].first);
        EXPECT_EQ(all->info().samplers[i].dimension, expected[i].second);
    }
    EXPECT_TRUE(all->info().usesDerivatives);
    ASSERT_EQ(lod->info().samplers.size(), 1u);
    EXPECT_EQ(lod->info().samplers[0].name, "Image");
    EXPECT_FALSE(lod->info().usesDerivatives);
    EXPECT_TRUE(slope->info().usesDerivatives);
    EXPECT_TRUE(slope->info().samplers.empty());
    EXPECT_TRUE(clipped->info().discards);
    EXPECT_FALSE(all->info().discards);
}

TEST(ProgramReflection, SemanticsDirect3D9DoesNotHaveAreErrors)
{
    const std::string hlsl = "float4 unknownInput(float4 c : FANCY) : COLOR { return c; }\n"
                             "float4 texcoordOut(float4 c : COLOR0) : TEXCOORD0 { return c; }\n"
                             "float4 vposInVertex(float4 p : VPOS) : POSITION { return p; }\n";
    std::string errors;
    EXPECT_FALSE(compileShader(hlsl, "sem.fx", "unknownInput", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("sem.fx: error: unknownInput: input 'c': 'FANCY' is not a pixel shader input semantic"),
              std::string::npos)
        << errors;
    EXPECT_FALSE(compileShader(hlsl, "sem.fx", "texcoordOut", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("the returned value: 'TEXCOORD0' is not a pixel shader output semantic"), std::string::npos)
        << errors;
    EXPECT_FALSE(compileShader(hlsl, "sem.fx", "vposInVertex", ShaderStage::Vertex, errors));
}

TEST(ProgramReflection, SemanticNamesAndIndices)
{
    struct Case {
        const char* semantic;
        ShaderStage stage;
        bool output;
        bool valid;
        uint8_t usage, index;
    };
    const Case cases[] = {
        {"COLOR", ShaderStage::Pixel, true, true, D3DDECLUSAGE_COLOR, 0},
        {"COLOR1", ShaderStage::Pixel, true, true, D3DDECLUSAGE_COLOR, 1},
        {"TEXCOORD15", ShaderStage::Vertex, false, true, D3DDECLUSAGE_TEXCOORD, 15},
        {"TEXCOORD16", ShaderStage::Vertex, false, false, 0, 0},
        {"TEXCOORD007", ShaderStage::Vertex, false, false, 0, 0},
        {"SV_POSITION", ShaderStage::Vertex, true, true, D3DDECLUSAGE_POSITION, 0},
        {"SV_POSITION", ShaderStage::Pixel, false, true, USAGE_VPOS, 0},
        {"VFACE", ShaderStage::Pixel, false, true, USAGE_VFACE, 0},
        {"VFACE", ShaderStage::Vertex, false, false, 0, 0},
        {"DEPTH", ShaderStage::Pixel, true, true, D3DDECLUSAGE_DEPTH, 0},
        {"NORMAL", ShaderStage::Pixel, true, false, 0, 0},
        {"POSITIONT", ShaderStage::Vertex, false, true, D3DDECLUSAGE_POSITIONT, 0},
        {"", ShaderStage::Vertex, false, false, 0, 0},
        {"7", ShaderStage::Vertex, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        uint8_t usage = 99, index = 99;
        EXPECT_EQ(semanticUsage(c.semantic, c.stage, c.output, usage, index), c.valid) << c.semantic;
        if (c.valid) {
            EXPECT_EQ(usage, c.usage) << c.semantic;
            EXPECT_EQ(index, c.index) << c.semantic;
        }
    }
}

TEST(ProgramReflection, DamagedSpirvIsRejectedWithoutReadingPastIt)
{
    const auto program = compileOrFail(readSample("phong.hlsl"), "PhongPS", ShaderStage::Pixel);
    ASSERT_TRUE(program);
    const std::vector<uint32_t>& spirv = program->spirv();
    ProgramInfo info;
    std::string problem;
    ASSERT_TRUE(reflectProgram(spirv, ShaderStage::Pixel, info, problem)) << problem;
    EXPECT_FALSE(reflectProgram(spirv, ShaderStage::Vertex, info, problem));
    EXPECT_FALSE(reflectProgram({}, ShaderStage::Pixel, info, problem));

    // Every truncation, and every word count replaced by a larger one, fails
    // or succeeds without reading outside the words (the sanitizers check).
    for (size_t size = 0; size < spirv.size(); ++size) {
        const std::vector<uint32_t> truncated(spirv.begin(), spirv.begin() + static_cast<std::ptrdiff_t>(size));
        reflectProgram(truncated, ShaderStage::Pixel, info, problem);
    }
    for (size_t at = 5; at < spirv.size(); at += spirv[at] >> 16) {
        std::vector<uint32_t> damaged = spirv;
        damaged[at] = (damaged[at] & 0xffff) | (0xffffu << 16);
        EXPECT_FALSE(reflectProgram(damaged, ShaderStage::Pixel, info, problem));
        damaged = spirv;
        damaged[at] &= 0xffff;
        EXPECT_FALSE(reflectProgram(damaged, ShaderStage::Pixel, info, problem));
    }
}
