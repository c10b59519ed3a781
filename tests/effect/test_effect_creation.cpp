// D3DXCreateEffect and its variants: arguments, macros, include files (from
// an ID3DXInclude and from disk), and the messages of broken sources, each
// naming the original file and line.

#include "EffectTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using effecttest::Com;
using effecttest::EffectTest;

namespace {

// Serves include files from memory and checks that every Open is closed.
class MemoryInclude final : public ID3DXInclude
{
public:
    std::map<std::string, std::string> files;
    std::map<std::string, const void*> parents; // parent data given for each file
    int open = 0;

    HRESULT STDMETHODCALLTYPE Open(D3DXINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override
    {
        auto file = files.find(name);
        if (file == files.end())
            return E_FAIL;
        parents[name] = parent;
        *data = file->second.data();
        *bytes = static_cast<UINT>(file->second.size());
        ++open;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(LPCVOID) override
    {
        --open;
        return S_OK;
    }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST_F(EffectTest, CreateArguments)
{
    const char source[] = "float F = 1;";
    Com<ID3DXEffect> effect;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateEffect(nullptr, source, sizeof source, nullptr, nullptr, 0, nullptr,
                                                   effect.out(), nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXCreateEffect(device.get(), nullptr, 4, nullptr, nullptr, 0, nullptr, effect.out(), nullptr));
    EXPECT_EQ(E_FAIL, D3DXCreateEffect(device.get(), source, 0, nullptr, nullptr, 0, nullptr, effect.out(), nullptr));
    // Compiling without asking for the effect is allowed; the length may
    // count the terminating NUL.
    EXPECT_EQ(D3D_OK,
              D3DXCreateEffect(device.get(), source, sizeof source, nullptr, nullptr, 0, nullptr, nullptr, nullptr));
    ASSERT_EQ(D3D_OK, D3DXCreateEffect(device.get(), source, sizeof source, nullptr, nullptr, 0, nullptr,
                                       effect.out(), nullptr));
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(D3D_OK, effect->GetDesc(&desc));
    EXPECT_EQ(1u, desc.Parameters);
    EXPECT_EQ(0u, desc.Techniques);
    EXPECT_EQ(nullptr, effect->GetCurrentTechnique());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->Begin(nullptr, 0)) << "no technique to begin";

    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXCreateEffectFromFileA(device.get(), "/nonexistent/effect.fx", nullptr, nullptr,
                                                             0, nullptr, effect.out(), nullptr));
    EXPECT_FALSE(effect);
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXCreateEffectFromFileW(device.get(), nullptr, nullptr, nullptr, 0, nullptr, effect.out(), nullptr));
}

TEST_F(EffectTest, EffectSyntaxErrorsNameTheirLine)
{
    const std::string source = "float4x4 M;\n"
                               "float F = 1;\n"
                               "technique T {\n"
                               "    pass P {\n"
                               "        CullMode = ;\n"
                               "    }\n"
                               "}\n";
    Com<ID3DXEffect> effect;
    std::string messages;
    EXPECT_EQ(E_FAIL, create(source, effect, &messages));
    EXPECT_FALSE(effect);
    EXPECT_TRUE(contains(messages, "memory(5,")) << messages;
    EXPECT_TRUE(contains(messages, "error")) << messages;

    EXPECT_EQ(E_FAIL, create("float F;\ntechnique T { pass P {\n PixelShader = asm { ps_2_0 mov oC0, c0 };\n} }\n",
                             effect, &messages));
    EXPECT_TRUE(contains(messages, "memory(3,")) << messages;
    EXPECT_TRUE(contains(messages, "asm")) << messages;

    EXPECT_EQ(E_FAIL, create("float F;\n\nunknowntype G;\n", effect, &messages));
    EXPECT_TRUE(contains(messages, "memory(3,")) << messages;
    EXPECT_TRUE(contains(messages, "unknowntype")) << messages;

    EXPECT_EQ(E_FAIL, create("float F;\n#if 1\n#error stopped here\n#endif\n", effect, &messages));
    EXPECT_TRUE(contains(messages, "memory(3)")) << messages;
    EXPECT_TRUE(contains(messages, "stopped here")) << messages;

    EXPECT_EQ(E_FAIL, create("technique T { pass P { VertexShader = compile vs_2_0 Missing(); } }", effect,
                             &messages));
    EXPECT_TRUE(contains(messages, "Missing")) << messages;
}

TEST_F(EffectTest, ShaderCompileErrorsNameTheirLine)
{
    const std::string source = "float4 Offset;\n"
                               "float4 MainVS(float4 p : POSITION) : POSITION\n"
                               "{\n"
                               "    return p + undefinedThing;\n"
                               "}\n"
                               "technique T { pass P { VertexShader = compile vs_2_0 MainVS(); } }\n";
    Com<ID3DXEffect> effect;
    std::string messages;
    EXPECT_EQ(E_FAIL, create(source, effect, &messages));
    EXPECT_FALSE(effect);
    EXPECT_TRUE(contains(messages, "memory(4")) << messages;
    EXPECT_TRUE(contains(messages, "undefinedThing")) << messages;

    // An error in an argument of a compile expression points at it.
    const std::string arguments = "float4 MainVS(float4 p : POSITION, uniform float s) : POSITION { return p * s; }\n"
                                  "\n"
                                  "technique T { pass P {\n"
                                  "    VertexShader = compile vs_2_0 MainVS(noSuchName); } }\n";
    EXPECT_EQ(E_FAIL, create(arguments, effect, &messages));
    EXPECT_TRUE(contains(messages, "memory(4")) << messages;
}

TEST_F(EffectTest, WarningsLeaveTheEffectUsable)
{
    const std::string source = "float F = someFunction(2);\n"
                               "technique Odd { pass P { CullMode = Sideways; } }\n"
                               "technique Fine { pass P { CullMode = CW; } }\n";
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create(source, effect, &messages));
    EXPECT_TRUE(contains(messages, "memory(1,")) << messages;
    EXPECT_TRUE(contains(messages, "memory(2,")) << messages;
    EXPECT_TRUE(contains(messages, "warning")) << messages;
    EXPECT_FALSE(contains(messages, "error")) << messages;
    float f = -1;
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(0.0f, f);
    EXPECT_EQ(E_FAIL, effect->ValidateTechnique("Odd"));
    D3DXHANDLE technique = nullptr;
    EXPECT_EQ(D3D_OK, effect->FindNextValidTechnique(nullptr, &technique));
    EXPECT_EQ(effect->GetTechniqueByName("Fine"), technique);
}

TEST_F(EffectTest, MacrosFromTheCaller)
{
    const D3DXMACRO defines[] = {{"VALUE", "2.5"}, {"ENABLE", nullptr}, {nullptr, nullptr}};
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create("float F = VALUE;\n#ifdef ENABLE\nfloat G = ENABLE;\n#endif\n", effect, &messages, 0,
                             defines))
        << messages;
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(2.5f, f);
    EXPECT_EQ(D3D_OK, effect->GetFloat("G", &f));
    EXPECT_EQ(1.0f, f);

    const D3DXMACRO invalid[] = {{"1BAD", "x"}, {nullptr, nullptr}};
    EXPECT_EQ(E_FAIL, create("float F;", effect, &messages, 0, invalid));
}

TEST_F(EffectTest, IncludesFromTheApplication)
{
    MemoryInclude include;
    include.files["lib.fxh"] = "#include \"inner.fxh\"\nfloat Scale = INNER * 2;\n";
    include.files["inner.fxh"] = "#define INNER 4\n";
    const std::string source = "#include \"lib.fxh\"\nfloat Offset = Scale + 1;\n";
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create(source, effect, &messages, 0, nullptr, &include)) << messages;
    EXPECT_EQ(0, include.open) << "every file opened is closed";
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("Offset", &f));
    EXPECT_EQ(9.0f, f);
    // Nested files get the data of the file that includes them.
    EXPECT_EQ(static_cast<const void*>(include.files["lib.fxh"].data()), include.parents["inner.fxh"]);

    // Errors in an included file name it and its line.
    include.files["broken.fxh"] = "float A;\nfloat B = ;\n";
    EXPECT_EQ(E_FAIL, create("float X;\n#include \"broken.fxh\"\n", effect, &messages, 0, nullptr, &include));
    EXPECT_TRUE(contains(messages, "broken.fxh(2,")) << messages;
    EXPECT_EQ(0, include.open);

    EXPECT_EQ(E_FAIL, create("#include \"absent.fxh\"\n", effect, &messages, 0, nullptr, &include));
    EXPECT_TRUE(contains(messages, "absent.fxh")) << messages;
    // Without a handler, sources in memory include nothing.
    EXPECT_EQ(E_FAIL, create("#include \"lib.fxh\"\n", effect, &messages));
}

TEST_F(EffectTest, FilesIncludeRelativeToThemselves)
{
    char directory[] = "/tmp/kxeffect-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    const std::string root = directory;
    ASSERT_EQ(0, mkdir((root + "/sub").c_str(), 0700));
    auto write = [](const std::string& path, const std::string& text) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    };
    write(root + "/main.fx", "#include \"sub/common.fxh\"\nfloat Main = COMMON + OTHER;\n");
    write(root + "/sub/common.fxh", "#include \"other.fxh\"\n#define COMMON 1\n");
    write(root + "/sub/other.fxh", "#define OTHER 2\n");
    write(root + "/broken.fx", "float A;\n#include \"sub/bad.fxh\"\n");
    write(root + "/sub/bad.fxh", "\n\nfloat B = 1\n");

    Com<ID3DXEffect> effect;
    Com<ID3DXBuffer> errors;
    ASSERT_EQ(D3D_OK, D3DXCreateEffectFromFileA(device.get(), (root + "/main.fx").c_str(), nullptr, nullptr, 0,
                                                nullptr, effect.out(), errors.out()))
        << effecttest::bufferText(errors.get());
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("Main", &f));
    EXPECT_EQ(3.0f, f);

    const std::wstring wide(root.begin(), root.end());
    ASSERT_EQ(D3D_OK, D3DXCreateEffectFromFileW(device.get(), (wide + L"/main.fx").c_str(), nullptr, nullptr, 0,
                                                nullptr, effect.out(), nullptr));

    EXPECT_EQ(E_FAIL, D3DXCreateEffectFromFileA(device.get(), (root + "/broken.fx").c_str(), nullptr, nullptr, 0,
                                                nullptr, effect.out(), errors.out()));
    const std::string messages = effecttest::bufferText(errors.get());
    EXPECT_TRUE(contains(messages, "sub/bad.fxh(")) << messages;
    EXPECT_TRUE(contains(messages, "error")) << messages;

    for (const char* file : {"/sub/other.fxh", "/sub/common.fxh", "/sub/bad.fxh", "/main.fx", "/broken.fx"})
        std::remove((root + file).c_str());
    rmdir((root + "/sub").c_str());
    rmdir(root.c_str());
}

TEST_F(EffectTest, MacroBombsAreRefused)
{
    // Each macro doubles the one before it: 2^40 tokens.
    std::string doubling = "#define A0 x\n";
    for (int i = 1; i <= 40; ++i)
        doubling +=
            "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " A" + std::to_string(i - 1) + "\n";
    doubling += "float A40;\n";
    Com<ID3DXEffect> effect;
    std::string messages;
    EXPECT_EQ(E_FAIL, create(doubling, effect, &messages));
    EXPECT_TRUE(contains(messages, "macros expand")) << messages;

    // Nested calls of a macro that uses its argument three times.
    std::string nested = "#define T(x) x x x\nfloat f = 0";
    for (int i = 0; i < 30; ++i)
        nested += " + T(";
    nested += "1" + std::string(30, ')') + ";\n";
    EXPECT_EQ(E_FAIL, create(nested, effect, &messages));
    EXPECT_TRUE(contains(messages, "macros expand")) << messages;

    // A long chain of macros naming each other.
    std::string chain = "#define M0 1\n";
    for (int i = 1; i <= 2000; ++i)
        chain += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + "\n";
    chain += "float F = M2000;\n";
    EXPECT_EQ(E_FAIL, create(chain, effect, &messages));

    // Ordinary macros pass.
    EXPECT_EQ(D3D_OK, create("#define SQUARE(x) ((x) * (x))\n#define TWICE(x) (SQUARE(x) + SQUARE(x))\n"
                             "float F = TWICE(TWICE(3));\n",
                             effect, &messages))
        << messages;
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(2.0f * 18 * 18, f);
}
