#include "compiler_test_support.h"

#include "shader/CompilerProcess.h"
#include "shader/GlslangFrontEnd.h"

#include <dirent.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <thread>

using namespace shadertest;
using swd3d9::shader::ChildCompileResult;
using swd3d9::shader::compileInChildProcess;
using swd3d9::shader::compileShader;
using swd3d9::shader::compileShaders;
using swd3d9::shader::ShaderRequest;

namespace {

const char* const PASS_THROUGH = R"(
float4x4 World;
float4 passVS(float4 p : POSITION) : POSITION { return mul(p, World); }
float4 passPS(float4 c : COLOR0) : COLOR { return c; }
)";

int openDescriptors()
{
    int count = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory))
            ++count;
        closedir(directory);
    }
    return count;
}

bool hasErrorLine(const std::string& errors)
{
    return errors.find(": error: ") != std::string::npos;
}

} // namespace

TEST(ShaderCompiler, CompilesEveryEntryPointOfTheSampleEffects)
{
    struct Sample {
        const char* file;
        std::vector<ShaderRequest> requests;
    };
    const Sample samples[] = {
        {"phong.hlsl", {{"PhongVS", ShaderStage::Vertex}, {"PhongPS", ShaderStage::Pixel}}},
        {"cubemap.hlsl", {{"ReflectVS", ShaderStage::Vertex}, {"ReflectPS", ShaderStage::Pixel}}},
        {"ui_annotations.hlsl", {{"std_VS", ShaderStage::Vertex}, {"blinn_PS", ShaderStage::Pixel}}},
        {"shaded.hlsl", {{"ShadedVS", ShaderStage::Vertex}, {"ShadedPS", ShaderStage::Pixel}}},
        {"complex.hlsl",
         {{"SkinVS4", ShaderStage::Vertex}, {"SkinVS", ShaderStage::Vertex}, {"LitPS", ShaderStage::Pixel}}},
    };
    for (const Sample& sample : samples) {
        const std::string hlsl = readSample(sample.file);
        ASSERT_FALSE(hlsl.empty()) << sample.file;
        std::vector<std::shared_ptr<const Program>> programs;
        std::string errors;
        EXPECT_TRUE(compileShaders(hlsl, sample.file, sample.requests, programs, errors)) << sample.file << errors;
        EXPECT_FALSE(hasErrorLine(errors)) << errors;
        ASSERT_EQ(programs.size(), sample.requests.size());
        for (size_t i = 0; i < programs.size(); ++i) {
            ASSERT_TRUE(programs[i]) << sample.file << " " << sample.requests[i].entryPoint;
            EXPECT_EQ(programs[i]->info().stage, sample.requests[i].stage);
            const std::vector<uint32_t>& spirv = programs[i]->spirv();
            ASSERT_GT(spirv.size(), 5u);
            EXPECT_EQ(spirv[0], spv::MagicNumber);
            // Legalisation inlines every call: the executor runs one function.
            EXPECT_EQ(countOps(spirv, spv::OpFunctionCall), 0) << sample.requests[i].entryPoint;
            EXPECT_EQ(countOps(spirv, spv::OpFunction), 1) << sample.requests[i].entryPoint;
        }
    }
}

TEST(ShaderCompiler, SeveralRequestsInOneCallKeepTheirOrderAndShareDuplicates)
{
    const std::vector<ShaderRequest> requests = {{"passPS", ShaderStage::Pixel},
                                                 {"passVS", ShaderStage::Vertex},
                                                 {"passPS", ShaderStage::Pixel},
                                                 {"passVS", ShaderStage::Vertex}};
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    ASSERT_TRUE(compileShaders(PASS_THROUGH, "pass.hlsl", requests, programs, errors)) << errors;
    ASSERT_EQ(programs.size(), 4u);
    EXPECT_EQ(programs[0]->info().stage, ShaderStage::Pixel);
    EXPECT_EQ(programs[1]->info().stage, ShaderStage::Vertex);
    EXPECT_EQ(programs[0], programs[2]);
    EXPECT_EQ(programs[1], programs[3]);
    EXPECT_EQ(countOps(programs[1]->spirv(), spv::OpMatrixTimesVector), 1);

    std::vector<std::shared_ptr<const Program>> none = {nullptr};
    EXPECT_TRUE(compileShaders(PASS_THROUGH, "pass.hlsl", {}, none, errors));
    EXPECT_TRUE(none.empty());
}

TEST(ShaderCompiler, AFailedRequestLeavesTheOthersCompiled)
{
    const std::vector<ShaderRequest> requests = {
        {"passVS", ShaderStage::Vertex}, {"missingPS", ShaderStage::Pixel}, {"passPS", ShaderStage::Pixel}};
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    EXPECT_FALSE(compileShaders(PASS_THROUGH, "pass.hlsl", requests, programs, errors));
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_TRUE(programs[0]);
    EXPECT_FALSE(programs[1]);
    EXPECT_TRUE(programs[2]);
    EXPECT_NE(errors.find("pass.hlsl"), std::string::npos) << errors;
    EXPECT_NE(errors.find("missingPS"), std::string::npos) << errors;
}

TEST(ShaderCompiler, ErrorsNameTheLinesOfTheGivenText)
{
    // Line 3 holds a matrix swizzle and a reserved name, which the compiler
    // rewrites; the error on line 5 must still be reported there.
    const std::string hlsl = "float4x4 M;\n"
                             "float4 main(float4 p : POSITION) : POSITION {\n"
                             "    float3 point = M._41_42_43;\n"
                             "    float3 v = point;\n"
                             "    v += undefinedName;\n"
                             "    return p;\n"
                             "}\n";
    std::string errors;
    EXPECT_FALSE(compileShader(hlsl, "lines.fx", "main", ShaderStage::Vertex, errors));
    EXPECT_NE(errors.find("lines.fx(5): error: 'undefinedName'"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("ERROR"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("compilation errors"), std::string::npos) << errors;
    // Every message line names the file first.
    size_t start = 0;
    while (start < errors.size()) {
        const size_t end = errors.find('\n', start);
        const std::string line = errors.substr(start, end - start);
        EXPECT_EQ(line.compare(0, 8, "lines.fx"), 0) << line;
        start = end + 1;
    }

    // A syntax error carries the column glslang gave up at.
    const std::string syntax = "float4 ps() : COLOR\n"
                               "{\n"
                               "    return float4(1, 2, 3 4);\n"
                               "}\n";
    errors.clear();
    EXPECT_FALSE(compileShader(syntax, "syntax.fx", "ps", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("syntax.fx(3,27): error: "), std::string::npos) << errors;
}

TEST(ShaderCompiler, ColumnsAreLeftOutWhereTheRewritesMovedThem)
{
    // The rename of "point" moves the rest of line 1 in the text glslang sees.
    const std::string hlsl = "float4 ps() : COLOR { float4 point = 1; return point + 2 3; }\n"
                             "float4 other() : COLOR { return 1 2; }\n";
    std::string errors;
    EXPECT_FALSE(compileShader(hlsl, "moved.fx", "ps", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("moved.fx(1): error: "), std::string::npos) << errors;
    EXPECT_EQ(errors.find("moved.fx(1,"), std::string::npos) << errors;
}

TEST(ShaderCompiler, AMissingEntryPointIsAnError)
{
    std::string errors;
    EXPECT_FALSE(compileShader(PASS_THROUGH, "pass.hlsl", "nowhere", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("pass.hlsl: error: nowhere: "), std::string::npos) << errors;
}

TEST(GlslangLog, MessagesTakeTheFileLineForm)
{
    const std::string log = "WARNING: 0:3: 'fx_renamed_line' : something odd\n"
                            "ERROR: 0:12: 'fx_renamed_point' : undeclared identifier \n"
                            "ERROR: header.fxh:40: 'x' : unknown variable\n"
                            "(12): error at column 7, HLSL parsing failed.\n"
                            "(20): error at column 3, HLSL parsing failed.\n"
                            "ERROR: 2 compilation errors.  No code generated.\n"
                            "\n"
                            "ERROR: Linking fragment stage: Missing entry point\n";
    EXPECT_EQ(swd3d9::shader::formatGlslangLog(log, "fx.fx", "main", {}),
              "fx.fx(3): warning: 'line' : something odd\n"
              "fx.fx(12,7): error: 'point' : undeclared identifier\n"
              "header.fxh(40): error: 'x' : unknown variable\n"
              "fx.fx(20,3): error: syntax error\n"
              "fx.fx: error: main: Linking fragment stage: Missing entry point\n");
    EXPECT_EQ(swd3d9::shader::formatGlslangLog(log, "fx.fx", "main", {12, 20}),
              "fx.fx(3): warning: 'line' : something odd\n"
              "fx.fx(12): error: 'point' : undeclared identifier\n"
              "header.fxh(40): error: 'x' : unknown variable\n"
              "fx.fx: error: main: Linking fragment stage: Missing entry point\n");
}

TEST(ShaderCompiler, ErrorsOfSharedCodeAreReportedOnce)
{
    const std::string hlsl = "float helper() { return missing; }\n"
                             "float4 vs(float4 p : POSITION) : POSITION { return p * helper(); }\n"
                             "float4 ps() : COLOR { return helper(); }\n";
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    EXPECT_FALSE(compileShaders(hlsl, "shared.fx", {{"vs", ShaderStage::Vertex}, {"ps", ShaderStage::Pixel}},
                                programs, errors));
    const std::string message = "shared.fx(1): error: 'missing'";
    const size_t first = errors.find(message);
    ASSERT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find(message, first + 1), std::string::npos) << errors;
}

TEST(ShaderCompiler, RejectsTheNoiseIntrinsicButNotAFunctionOfThatName)
{
    const std::string intrinsic = "float4 ps(float2 uv : TEXCOORD0) : COLOR\n"
                                  "{\n"
                                  "    return  noise(uv);\n"
                                  "}\n";
    std::string errors;
    EXPECT_FALSE(compileShader(intrinsic, "noise.fx", "ps", ShaderStage::Pixel, errors));
    EXPECT_NE(errors.find("noise.fx(3,13): error: 'noise'"), std::string::npos) << errors;

    const std::string own = "float noise(float2 p) { return frac(sin(dot(p, float2(12.9898, 78.233))) * 43758.5); }\n"
                            "float4 ps(float2 uv : TEXCOORD0) : COLOR { return noise(uv); }\n";
    compileOrFail(own, "ps", ShaderStage::Pixel);
}

TEST(ShaderCompiler, CompilesWhatGlslangNeedsRewrittenFor)
{
    // Matrix swizzles of several elements crash glslang as written.
    const std::string swizzles = "float4x4 World;\n"
                                 "float4x3 Bones[4];\n"
                                 "float4 vs(float4 p : POSITION, int4 i : BLENDINDICES) : POSITION\n"
                                 "{\n"
                                 "    float3 t = World._41_42_43 + Bones[i.x]._m30_m31_m32;\n"
                                 "    return float4(t + World._11_22_33, World._44);\n"
                                 "}\n";
    const auto swizzled = compileOrFail(swizzles, "vs", ShaderStage::Vertex);

    // Names glslang reserves, DWORD, and a member named like a reserved word.
    const std::string names = "struct Edge { float3 line; float linear; };\n"
                              "DWORD Flags;\n"
                              "float4 ps(float3 point : TEXCOORD0, float centroid : TEXCOORD1) : COLOR\n"
                              "{\n"
                              "    Edge e; e.line = point; e.linear = centroid;\n"
                              "    float3 texture = e.line * e.linear;\n"
                              "    return float4(texture, (Flags & 1) ? 1.0 : 0.5);\n"
                              "}\n";
    compileOrFail(names, "ps", ShaderStage::Pixel);

    // Keyword uses of the same words stay keywords.
    const std::string keywords = "shared float4x4 M;\n"
                                 "string Description = \"a point on a line\";\n"
                                 "vector<float, 4> Tint;\n"
                                 "float4 vs(float4 p : POSITION) : POSITION { return mul(p, M) * Tint; }\n";
    compileOrFail(keywords, "vs", ShaderStage::Vertex);
}

TEST(ShaderCompiler, ThePreludeReplacesIntrinsicsGlslangGetsWrong)
{
    // lit's specular term is pow(n_dot_h, m), which glslang computes as a product.
    const std::string lit = "float4 ps(float3 v : TEXCOORD0) : COLOR { return lit(v.x, v.y, v.z); }\n";
    const auto litProgram = compileOrFail(lit, "ps", ShaderStage::Pixel);
    ASSERT_TRUE(litProgram);
    EXPECT_EQ(countExtendedOps(litProgram->spirv(), GLSLstd450Pow), 1);

    // fmod takes the sign of x: not OpFMod (GLSL mod), but x - y * trunc(x / y).
    const std::string fmod = "float4 ps(float2 v : TEXCOORD0) : COLOR { return fmod(v.x, v.y); }\n";
    const auto fmodProgram = compileOrFail(fmod, "ps", ShaderStage::Pixel);
    ASSERT_TRUE(fmodProgram);
    EXPECT_EQ(countOps(fmodProgram->spirv(), spv::OpFMod), 0);
    EXPECT_EQ(countExtendedOps(fmodProgram->spirv(), GLSLstd450Trunc), 1);

    // ldexp with a float exponent and texCUBEproj gave invalid SPIR-V.
    const std::string ldexp = "float4 ps(float2 v : TEXCOORD0) : COLOR { return ldexp(v.x, v.y); }\n";
    const auto ldexpProgram = compileOrFail(ldexp, "ps", ShaderStage::Pixel);
    ASSERT_TRUE(ldexpProgram);
    EXPECT_EQ(countExtendedOps(ldexpProgram->spirv(), GLSLstd450Exp2), 1);
    const std::string cubeProj = "samplerCUBE Env;\n"
                                 "float4 ps(float4 t : TEXCOORD0) : COLOR { return texCUBEproj(Env, t); }\n";
    const auto cubeProgram = compileOrFail(cubeProj, "ps", ShaderStage::Pixel);
    ASSERT_TRUE(cubeProgram);
    EXPECT_EQ(countOps(cubeProgram->spirv(), spv::OpImageSampleProjImplicitLod), 0);
    EXPECT_EQ(countOps(cubeProgram->spirv(), spv::OpImageSampleImplicitLod), 1);
}

TEST(CompilerProcess, AChildThatCrashesCostsOnlyItsRequest)
{
    const std::vector<ShaderRequest> requests = {{"passVS", ShaderStage::Vertex},
                                                 {swd3d9::shader::CHILD_CRASH_ENTRY_POINT, ShaderStage::Pixel},
                                                 {"passPS", ShaderStage::Pixel}};
    std::vector<std::shared_ptr<const Program>> programs;
    std::string errors;
    EXPECT_FALSE(compileShaders(PASS_THROUGH, "crash.fx", requests, programs, errors));
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_TRUE(programs[0]);
    EXPECT_FALSE(programs[1]);
    // The request after the crash is compiled by a new child.
    EXPECT_TRUE(programs[2]);
    EXPECT_NE(errors.find("crash.fx: error: internal compiler error in <crash>: the compiler crashed (signal 11)"),
              std::string::npos)
        << errors;
    // The parent goes on compiling.
    compileOrFail(PASS_THROUGH, "passVS", ShaderStage::Vertex);
}

TEST(CompilerProcess, GlslangCrashingOnSourceNotRewrittenIsAnError)
{
    // Without the rewrites, glslang itself crashes on these.
    const swd3d9::shader::PreparedHlsl swizzle{"float4x4 M;\n"
                                               "float4 vs(float4 p : POSITION) : POSITION\n"
                                               "{\n"
                                               "    float3 t = M._41_42_43;\n"
                                               "    return p + t.xyzz;\n"
                                               "}\n",
                                               {}};
    std::vector<ChildCompileResult> results;
    compileInChildProcess(swizzle, "raw.fx", {{"vs", ShaderStage::Vertex}, {"vs", ShaderStage::Vertex}},
                          swd3d9::shader::COMPILER_TIME_LIMIT_MS, results);
    ASSERT_EQ(results.size(), 2u);
    for (const ChildCompileResult& result : results) {
        EXPECT_FALSE(result.compiled);
        EXPECT_NE(result.messages.find("raw.fx: error: internal compiler error in vs: the compiler crashed"),
                  std::string::npos)
            << result.messages;
    }
    // The same source through the compiler, rewritten, compiles.
    std::string errors;
    EXPECT_TRUE(compileShader(swizzle.text, "raw.fx", "vs", ShaderStage::Vertex, errors)) << errors;
}

TEST(CompilerProcess, HangsGarbledRepliesAndSilentExitsAreErrors)
{
    const swd3d9::shader::PreparedHlsl prepared{"float4 ok() : COLOR { return 1; }\n", {}};
    const std::vector<ShaderRequest> requests = {{swd3d9::shader::CHILD_HANG_ENTRY_POINT, ShaderStage::Pixel},
                                                 {swd3d9::shader::CHILD_GARBLE_ENTRY_POINT, ShaderStage::Pixel},
                                                 {swd3d9::shader::CHILD_EXIT_ENTRY_POINT, ShaderStage::Pixel},
                                                 {"ok", ShaderStage::Pixel}};
    std::vector<ChildCompileResult> results;
    compileInChildProcess(prepared, "odd.fx", requests, 300, results);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_FALSE(results[0].compiled);
    EXPECT_NE(results[0].messages.find("internal compiler error in <hang>: the compiler took longer than 300 ms"),
              std::string::npos)
        << results[0].messages;
    EXPECT_FALSE(results[1].compiled);
    EXPECT_NE(results[1].messages.find("<garble>: the compiler sent a malformed reply"), std::string::npos)
        << results[1].messages;
    EXPECT_FALSE(results[2].compiled);
    EXPECT_NE(results[2].messages.find("<exit>: the compiler exited (status 3) without a result"), std::string::npos)
        << results[2].messages;
    EXPECT_TRUE(results[3].compiled) << results[3].messages;
    EXPECT_FALSE(results[3].spirv.empty());
}

TEST(CompilerProcess, LeavesNoDescriptorOrChildBehind)
{
    const int before = openDescriptors();
    for (int round = 0; round < 3; ++round) {
        std::vector<std::shared_ptr<const Program>> programs;
        std::string errors;
        compileShaders(PASS_THROUGH, "pass.hlsl",
                       {{"passVS", ShaderStage::Vertex}, {swd3d9::shader::CHILD_CRASH_ENTRY_POINT, ShaderStage::Pixel}},
                       programs, errors);
    }
    EXPECT_EQ(openDescriptors(), before);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(CompilerProcess, CompilesFromSeveralThreadsAtOnce)
{
    // The threads start together and stay until all are done, so that no
    // thread allocates (creating or ending a thread) while another forks:
    // the sanitizers' allocator would leave its lock held in the child.
    constexpr int THREADS = 4;
    std::shared_ptr<const Program> results[THREADS];
    std::atomic<int> ready{0}, done{0};
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            const std::string hlsl = PASS_THROUGH, fileName = "pass.hlsl";
            const std::string entryPoint = t % 2 ? "passPS" : "passVS";
            const ShaderStage stage = t % 2 ? ShaderStage::Pixel : ShaderStage::Vertex;
            std::string errors;
            errors.reserve(1024);
            ++ready;
            while (ready < THREADS)
                std::this_thread::yield();
            results[t] = compileShader(hlsl, fileName, entryPoint, stage, errors);
            ++done;
            while (done < THREADS)
                std::this_thread::yield();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_TRUE(result);
}
