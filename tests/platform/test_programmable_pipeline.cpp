// Draws with vertex and pixel programs: programs that do what the
// fixed-function stages do draw the same pictures, alone or mixed with the
// fixed-function other half; sampling, derivatives, discard, depth output,
// VPOS and VFACE, multisampling and threading.

#include "pipeline_support.h"

#include "d3d9/ProgramShaders.h"
#include "shader/ShaderCompiler.h"

#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace d3dtest;
using swd3d9::shader::Program;
using swd3d9::shader::ShaderStage;

namespace {

struct SceneVertex {
    float x, y, z;
    DWORD color;
    float u, v;
};
constexpr DWORD SCENE_FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct TexturedScreenVertex {
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD TEXTURED_SCREEN_FVF = D3DFVF_XYZRHW | D3DFVF_TEX1;

const char* const TRANSFORM_VS = R"(
float4x4 WorldViewProjection;
struct VertexOut { float4 position : POSITION; float4 color : COLOR0; float2 uv : TEXCOORD0; };
VertexOut main(float3 position : POSITION, float4 color : COLOR0, float2 uv : TEXCOORD0)
{
    VertexOut o;
    o.position = mul(float4(position, 1), WorldViewProjection);
    o.color = color;
    o.uv = uv;
    return o;
}
)";

const char* const COLOR_PS = R"(
float4 main(float4 color : COLOR0) : COLOR { return color; }
)";

const char* const TEXTURE_PS = R"(
sampler2D Texture;
float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Texture, uv); }
)";

int maxDifference(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            worst = std::max(worst, std::abs(channel(a[i], shift) - channel(b[i], shift)));
    return a.size() == b.size() ? worst : 256;
}

class ProgramPipelineTest : public PipelineTest
{
protected:
    std::shared_ptr<const Program> compile(const char* hlsl, ShaderStage stage)
    {
        std::string errors;
        auto program = swd3d9::shader::compileShader(hlsl, "test.hlsl", "main", stage, errors);
        EXPECT_TRUE(program) << errors;
        if (program) {
            EXPECT_TRUE(program->executable()) << program->executableErrors();
        }
        return program;
    }

    Com<IDirect3DVertexShader9> vertexShader(const char* hlsl, const std::vector<DWORD>& samplers = {})
    {
        Com<IDirect3DVertexShader9> shader;
        auto program = compile(hlsl, ShaderStage::Vertex);
        if (program) {
            EXPECT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), program, samplers, shader.out()));
        }
        vertexProgram = program;
        return Com<IDirect3DVertexShader9>(shader.detach());
    }

    Com<IDirect3DPixelShader9> pixelShader(const char* hlsl, const std::vector<DWORD>& samplers = {})
    {
        Com<IDirect3DPixelShader9> shader;
        auto program = compile(hlsl, ShaderStage::Pixel);
        if (program) {
            EXPECT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), program, samplers, shader.out()));
        }
        pixelProgram = program;
        return Com<IDirect3DPixelShader9>(shader.detach());
    }

    // The first constant register of a program's uniform.
    static UINT registerOf(const Program& program, const std::string& name)
    {
        for (const auto& u : program.info().uniforms)
            if (u.name == name)
                return u.offset / 16;
        ADD_FAILURE() << "no uniform " << name;
        return 0;
    }

    // A camera looking at the scene, in perspective: the fixed transforms,
    // and the same product as the constants of a default-packed float4x4.
    void setCamera()
    {
        D3DXMATRIX view, projection, product;
        const D3DXVECTOR3 eye(0.3f, 0.8f, -3.0f), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.9f, static_cast<float>(width) / height, 0.5f, 10.0f);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        D3DXMatrixMultiply(&product, &view, &projection);
        D3DXMATRIX transposed;
        D3DXMatrixTranspose(&transposed, &product);
        if (vertexProgram)
            device->SetVertexShaderConstantF(registerOf(*vertexProgram, "WorldViewProjection"), transposed, 4);
    }

    // A tilted grid of coloured cells, some reaching past the view so
    // that clipping takes part.
    static std::vector<SceneVertex> sceneTriangles()
    {
        std::vector<SceneVertex> v;
        const int n = 6;
        auto vertex = [&](int i, int j) {
            const float x = -2.2f + 4.4f * i / n, y = -1.6f + 3.2f * j / n;
            const float z = 0.6f * x - 0.4f * y + 0.2f * std::sin(3.0f * x * y);
            const DWORD color = D3DCOLOR_ARGB(255 - 20 * j, 40 * i, 255 - 40 * j, (i * 37 + j * 91) & 0xFF);
            return SceneVertex{x, y, z, color, static_cast<float>(i) / n, static_cast<float>(j) / n};
        };
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                v.push_back(vertex(i, j));
                v.push_back(vertex(i + 1, j));
                v.push_back(vertex(i, j + 1));
                v.push_back(vertex(i + 1, j));
                v.push_back(vertex(i + 1, j + 1));
                v.push_back(vertex(i, j + 1));
            }
        }
        return v;
    }

    std::vector<DWORD> drawScene()
    {
        clear(D3DCOLOR_XRGB(10, 20, 30));
        const std::vector<SceneVertex> v = sceneTriangles();
        device->SetFVF(SCENE_FVF);
        EXPECT_EQ(D3D_OK, device->BeginScene());
        EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v.data(),
                                                  sizeof(SceneVertex)));
        EXPECT_EQ(D3D_OK, device->EndScene());
        return pixels32();
    }

    void drawTexturedRect(float x0, float y0, float x1, float y1, float z = 0.5f, float u1 = 1.0f, float v1 = 1.0f)
    {
        const TexturedScreenVertex v[4] = {{x0, y0, z, 1, 0, 0}, {x1, y0, z, 1, u1, 0}, {x0, y1, z, 1, 0, v1},
                                           {x1, y1, z, 1, u1, v1}};
        device->SetFVF(TEXTURED_SCREEN_FVF);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    // A texture whose every level is filled by color(level, x, y).
    Com<IDirect3DTexture9> makeTexture(UINT size, UINT levels, DWORD (*color)(UINT level, UINT x, UINT y))
    {
        Com<IDirect3DTexture9> texture;
        EXPECT_EQ(D3D_OK, device->CreateTexture(size, size, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                texture.out(), nullptr));
        for (UINT level = 0; texture && level < texture->GetLevelCount(); ++level) {
            D3DLOCKED_RECT locked;
            EXPECT_EQ(D3D_OK, texture->LockRect(level, &locked, nullptr, 0));
            const UINT n = std::max(1u, size >> level);
            for (UINT y = 0; y < n; ++y)
                for (UINT x = 0; x < n; ++x)
                    reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                        color(level, x, y);
            texture->UnlockRect(level);
        }
        return Com<IDirect3DTexture9>(texture.detach());
    }

    void savePicture(const char* name)
    {
        D3DXSaveSurfaceToFileA((std::string("/tmp/programmable_") + name + ".png").c_str(), D3DXIFF_PNG, target.get(),
                               nullptr, nullptr);
    }

    std::shared_ptr<const Program> vertexProgram, pixelProgram;
};

} // namespace

TEST_F(ProgramPipelineTest, ProgramsDoingTheFixedFunctionWorkDrawTheSamePicture)
{
    makeTarget(96, 64);
    setCamera();
    const std::vector<DWORD> fixed = drawScene();
    savePicture("fixed");

    Com<IDirect3DVertexShader9> vs = vertexShader(TRANSFORM_VS);
    Com<IDirect3DPixelShader9> ps = pixelShader(COLOR_PS);
    ASSERT_TRUE(vs && ps);
    setCamera();
    int covered = 0;
    for (DWORD c : fixed)
        covered += c != D3DCOLOR_XRGB(10, 20, 30);
    EXPECT_GT(covered, 96 * 64 / 2);

    // Program vertices, fixed-function pixels.
    device->SetVertexShader(vs.get());
    EXPECT_LE(maxDifference(fixed, drawScene()), 1);
    // Both programmed.
    device->SetPixelShader(ps.get());
    EXPECT_LE(maxDifference(fixed, drawScene()), 1);
    savePicture("programmed");
    // Fixed-function vertices, program pixels.
    device->SetVertexShader(nullptr);
    EXPECT_LE(maxDifference(fixed, drawScene()), 1);
    device->SetPixelShader(nullptr);
}

TEST_F(ProgramPipelineTest, PixelProgramSamplesAsTheFixedFunctionStageDoes)
{
    makeTarget(64, 64, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    Com<IDirect3DTexture9> texture = makeTexture(64, 0, [](UINT level, UINT x, UINT y) {
        return static_cast<DWORD>(D3DCOLOR_ARGB(255 - 30 * level, (x * 53) & 0xFF, (y * 29) & 0xFF, 40 * level));
    });
    ASSERT_TRUE(texture);
    device->SetTexture(0, texture.get());
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    // Magnified, then minified between levels 1 and 2.
    auto draw = [&] {
        clear(0);
        drawTexturedRect(0, 0, 64, 32, 0.5f, 0.5f, 0.25f);
        drawTexturedRect(0, 32, 64, 64, 0.5f, 3.0f, 1.5f);
        return pixels32();
    };
    const std::vector<DWORD> fixed = draw();
    Com<IDirect3DPixelShader9> ps = pixelShader(TEXTURE_PS, {0});
    ASSERT_TRUE(ps);
    device->SetPixelShader(ps.get());
    const std::vector<DWORD> programmed = draw();
    savePicture("sampled");
    EXPECT_LE(maxDifference(fixed, programmed), 1);
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
}

TEST_F(ProgramPipelineTest, LevelsFollowDerivativesBiasAndExplicitLevels)
{
    makeTarget(64, 64, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    // Each level one colour: level l reads (l * 40, 0, 0).
    Com<IDirect3DTexture9> texture = makeTexture(
        64, 0, [](UINT level, UINT, UINT) { return static_cast<DWORD>(D3DCOLOR_ARGB(255, 40 * level, 0, 0)); });
    ASSERT_TRUE(texture);
    device->SetTexture(3, texture.get());
    device->SetSamplerState(3, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    const char* const levels = R"(
sampler2D Texture;
float4 Bias;
float4 main(float2 uv : TEXCOORD0) : COLOR
{
    float4 implicit = tex2D(Texture, uv);
    float4 biased = tex2Dbias(Texture, float4(uv, 0, Bias.x));
    float4 explicitLevel = tex2Dlod(Texture, float4(uv, 0, Bias.y));
    float4 gradient = tex2Dgrad(Texture, uv, ddx(uv) * 2, ddy(uv) * 2);
    return float4(implicit.r, biased.r, explicitLevel.r, gradient.r);
}
)";
    Com<IDirect3DPixelShader9> ps = pixelShader(levels, {3});
    ASSERT_TRUE(ps);
    const float bias[4] = {1.0f, 5.0f, 0, 0};
    device->SetPixelShaderConstantF(registerOf(*pixelProgram, "Bias"), bias, 1);
    device->SetPixelShader(ps.get());
    clear(0);
    // 64 texels over 16 pixels: level 2.
    drawTexturedRect(0, 0, 16, 16);
    const DWORD c = pixel(8, 8);
    EXPECT_EQ(80, channel(c, 16)) << std::hex << c;      // implicit: level 2
    EXPECT_EQ(120, channel(c, 8)) << std::hex << c;      // bias 1: level 3
    EXPECT_EQ(200, channel(c, 0)) << std::hex << c;      // explicit: level 5
    EXPECT_EQ(120, channel(c, 24)) << std::hex << c;     // gradients twice as long: level 3
    device->SetPixelShader(nullptr);
    device->SetTexture(3, nullptr);
}

TEST_F(ProgramPipelineTest, DiscardedPixelsLeaveColourAndDepthUntouched)
{
    makeTarget(32, 32);
    clear(D3DCOLOR_XRGB(1, 2, 3), 1.0f);
    const char* const clipLeft = R"(
float4 main(float2 uv : TEXCOORD0) : COLOR
{
    clip(uv.x - 0.5);
    return float4(1, 0, 0, 1);
}
)";
    Com<IDirect3DPixelShader9> ps = pixelShader(clipLeft);
    ASSERT_TRUE(ps);
    EXPECT_TRUE(pixelProgram->info().discards);
    device->SetPixelShader(ps.get());
    drawTexturedRect(0, 0, 32, 32, 0.5f);
    EXPECT_EQ(D3DCOLOR_XRGB(1, 2, 3), pixel(5, 10));
    EXPECT_EQ(D3DCOLOR_XRGB(255, 0, 0), pixel(25, 10));
    // Depth was written where the program kept the pixel only.
    device->SetPixelShader(nullptr);
    drawRect(0, 0, 32, 32, 0.7f, D3DCOLOR_XRGB(0, 255, 0));
    EXPECT_EQ(D3DCOLOR_XRGB(0, 255, 0), pixel(5, 10));
    EXPECT_EQ(D3DCOLOR_XRGB(255, 0, 0), pixel(25, 10));
}

TEST_F(ProgramPipelineTest, DepthOutputReplacesTheInterpolatedDepth)
{
    makeTarget(32, 32);
    clear(0, 1.0f);
    const char* const depthFromU = R"(
struct PixelOut { float4 color : COLOR0; float depth : DEPTH; };
PixelOut main(float2 uv : TEXCOORD0)
{
    PixelOut o;
    o.color = float4(0, 0, 1, 1);
    o.depth = uv.x;
    return o;
}
)";
    Com<IDirect3DPixelShader9> ps = pixelShader(depthFromU);
    ASSERT_TRUE(ps);
    device->SetPixelShader(ps.get());
    drawTexturedRect(0, 0, 32, 32, 0.1f);
    device->SetPixelShader(nullptr);
    // A rectangle at depth 0.5 hides what the program put farther away.
    drawRect(0, 0, 32, 32, 0.5f, D3DCOLOR_XRGB(0, 255, 0));
    for (int x = 0; x < 32; ++x) {
        const float u = (x + 0.5f) / 32.0f;
        if (std::fabs(u - 0.5f) < 0.04f)
            continue;
        EXPECT_EQ(u < 0.5f ? D3DCOLOR_XRGB(0, 0, 255) : D3DCOLOR_XRGB(0, 255, 0), pixel(x, 16)) << x;
    }
}

TEST_F(ProgramPipelineTest, PositionAndFaceInputs)
{
    makeTarget(32, 32, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    const char* const positionAndFace = R"(
float4 main(float2 position : VPOS, float face : VFACE) : COLOR
{
    return float4(position.x / 255, position.y / 255, face * 0.5 + 0.5, 1);
}
)";
    Com<IDirect3DPixelShader9> ps = pixelShader(positionAndFace);
    ASSERT_TRUE(ps);
    device->SetPixelShader(ps.get());
    clear(0);
    // Clockwise (front) on the left, counter-clockwise on the right.
    const std::vector<ScreenVertex> front = {{0, 0, 0.5f, 1, 0}, {16, 0, 0.5f, 1, 0}, {0, 32, 0.5f, 1, 0}};
    const std::vector<ScreenVertex> back = {{32, 0, 0.5f, 1, 0}, {17, 32, 0.5f, 1, 0}, {32, 32, 0.5f, 1, 0}};
    drawScreen(D3DPT_TRIANGLELIST, front, 1);
    drawScreen(D3DPT_TRIANGLELIST, back, 1);
    // VPOS is the integer pixel coordinate.
    EXPECT_EQ(D3DCOLOR_XRGB(3, 5, 255), pixel(3, 5));
    EXPECT_EQ(D3DCOLOR_XRGB(30, 28, 0), pixel(30, 28));
    device->SetPixelShader(nullptr);
}

TEST_F(ProgramPipelineTest, LinesAndPointsRunThePixelProgram)
{
    makeTarget(16, 16, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    const char* const swapped = R"(
float4 main(float4 color : COLOR0) : COLOR { return color.bgra; }
)";
    Com<IDirect3DPixelShader9> ps = pixelShader(swapped);
    ASSERT_TRUE(ps);
    device->SetPixelShader(ps.get());
    clear(0);
    const DWORD color = D3DCOLOR_XRGB(200, 100, 50);
    const std::vector<ScreenVertex> line = {{2, 4, 0.5f, 1, color}, {12, 4, 0.5f, 1, color}};
    const std::vector<ScreenVertex> point = {{8, 10, 0.5f, 1, color}};
    drawScreen(D3DPT_LINELIST, line, 1);
    drawScreen(D3DPT_POINTLIST, point, 1);
    EXPECT_EQ(D3DCOLOR_XRGB(50, 100, 200), pixel(6, 4));
    EXPECT_EQ(D3DCOLOR_XRGB(50, 100, 200), pixel(8, 10));
    EXPECT_EQ(0u, pixel(6, 6));
    device->SetPixelShader(nullptr);
}

TEST_F(ProgramPipelineTest, MultisampledTargetsResolveAsFixedFunctionOnes)
{
    makeTarget(48, 48, D3DFMT_A8R8G8B8, D3DFMT_D24S8, D3DMULTISAMPLE_4_SAMPLES);
    Com<IDirect3DSurface9> resolved;
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(48, 48, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 resolved.out(), nullptr));
    auto draw = [&] {
        clear(D3DCOLOR_XRGB(0, 0, 64));
        // Two crossing triangles: edges and the depth test per sample.
        const std::vector<ScreenVertex> a = {{3.3f, 2.1f, 0.2f, 1, D3DCOLOR_XRGB(255, 128, 0)},
                                             {44.7f, 20.4f, 0.8f, 1, D3DCOLOR_XRGB(255, 128, 0)},
                                             {9.2f, 45.5f, 0.2f, 1, D3DCOLOR_XRGB(255, 128, 0)}};
        const std::vector<ScreenVertex> b = {{40.1f, 3.7f, 0.5f, 1, D3DCOLOR_XRGB(0, 200, 100)},
                                             {42.6f, 44.9f, 0.5f, 1, D3DCOLOR_XRGB(0, 200, 100)},
                                             {2.5f, 30.2f, 0.5f, 1, D3DCOLOR_XRGB(0, 200, 100)}};
        drawScreen(D3DPT_TRIANGLELIST, a, 1);
        drawScreen(D3DPT_TRIANGLELIST, b, 1);
        EXPECT_EQ(D3D_OK, device->StretchRect(target.get(), nullptr, resolved.get(), nullptr, D3DTEXF_NONE));
        std::vector<DWORD> out;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x)
                out.push_back(readPixel(resolved.get(), x, y));
        return out;
    };
    const std::vector<DWORD> fixed = draw();
    Com<IDirect3DPixelShader9> ps = pixelShader(COLOR_PS);
    ASSERT_TRUE(ps);
    device->SetPixelShader(ps.get());
    const std::vector<DWORD> programmed = draw();
    device->SetPixelShader(nullptr);
    D3DXSaveSurfaceToFileA("/tmp/programmable_multisampled.png", D3DXIFF_PNG, resolved.get(), nullptr, nullptr);
    EXPECT_LE(maxDifference(fixed, programmed), 1);
    // Edge pixels mix the two colours.
    int mixed = 0;
    for (DWORD c : programmed)
        mixed += c != D3DCOLOR_XRGB(0, 0, 64) && c != D3DCOLOR_XRGB(255, 128, 0) && c != D3DCOLOR_XRGB(0, 200, 100);
    EXPECT_GT(mixed, 20);
}

TEST_F(ProgramPipelineTest, VertexElementsReachTheProgramBySemantic)
{
    makeTarget(16, 16, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    // Half floats, normalised bytes and shorts, and an element the
    // declaration lacks (0, 0, 0, 1).
    const char* const passThrough = R"(
struct VertexOut { float4 position : POSITION; float4 a : TEXCOORD0; float4 b : TEXCOORD1; float4 c : TEXCOORD2; };
VertexOut main(float4 position : POSITION, float4 a : TEXCOORD0, float4 b : COLOR1, float4 c : TANGENT, float4 d : BINORMAL)
{
    VertexOut o;
    o.position = position;
    o.a = a;
    o.b = b;
    o.c = c + d;
    return o;
}
)";
    const char* const pick = R"(
float4 Select;
float4 main(float4 a : TEXCOORD0, float4 b : TEXCOORD1, float4 c : TEXCOORD2) : COLOR
{
    return Select.x * a + Select.y * b + Select.z * c;
}
)";
    Com<IDirect3DVertexShader9> vs = vertexShader(passThrough);
    Com<IDirect3DPixelShader9> ps = pixelShader(pick);
    ASSERT_TRUE(vs && ps);
    struct Vertex {
        float position[2];
        uint16_t half[4];
        uint8_t bytes[4];
        int16_t shorts[4];
    };
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 8, D3DDECLTYPE_FLOAT16_4, 0, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 16, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 1},
        {0, 20, D3DDECLTYPE_SHORT4N, 0, D3DDECLUSAGE_TANGENT, 0},
        D3DDECL_END()};
    Com<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
    // 0.25, 0.5, 1 and 0.75 as half floats.
    const uint16_t halves[4] = {0x3400, 0x3800, 0x3C00, 0x3A00};
    auto vertex = [&](float x, float y) {
        Vertex v{{x, y}, {}, {51, 102, 204, 255}, {16383, -32767, 32767, 0}};
        std::memcpy(v.half, halves, sizeof(halves));
        return v;
    };
    const Vertex quad[4] = {vertex(-1, 1), vertex(1, 1), vertex(-1, -1), vertex(1, -1)};
    device->SetVertexDeclaration(declaration.get());
    device->SetVertexShader(vs.get());
    device->SetPixelShader(ps.get());
    const float selections[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    const DWORD expected[3] = {D3DCOLOR_ARGB(191, 64, 128, 255), D3DCOLOR_ARGB(255, 51, 102, 204),
                               D3DCOLOR_ARGB(255, 128, 0, 255)};
    for (int i = 0; i < 3; ++i) {
        device->SetPixelShaderConstantF(registerOf(*pixelProgram, "Select"), selections[i], 1);
        clear(0);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
        const DWORD c = pixel(7, 9);
        for (int shift = 0; shift < 32; shift += 8)
            EXPECT_NEAR(channel(expected[i], shift), channel(c, shift), 1) << i << std::hex << " " << c;
    }
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
}

TEST_F(ProgramPipelineTest, VertexProgramsSampleVertexTextures)
{
    makeTarget(16, 16, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    // Level 0 is a 2 x 2 checker of four colours; level 1 one colour.
    Com<IDirect3DTexture9> texture = makeTexture(2, 2, [](UINT level, UINT x, UINT y) {
        static const DWORD colors[4] = {D3DCOLOR_XRGB(255, 0, 0), D3DCOLOR_XRGB(0, 255, 0), D3DCOLOR_XRGB(0, 0, 255),
                                        D3DCOLOR_XRGB(255, 255, 0)};
        return level ? D3DCOLOR_XRGB(9, 9, 9) : colors[2 * y + x];
    });
    ASSERT_TRUE(texture);
    device->SetTexture(D3DVERTEXTEXTURESAMPLER2, texture.get());
    device->SetSamplerState(D3DVERTEXTEXTURESAMPLER2, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(D3DVERTEXTEXTURESAMPLER2, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    const char* const displaced = R"(
sampler2D Heights;
struct VertexOut { float4 position : POSITION; float4 color : COLOR0; };
VertexOut main(float3 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut o;
    o.position = float4(position, 1);
    o.color = tex2Dlod(Heights, float4(uv, 0, 0));
    return o;
}
)";
    Com<IDirect3DVertexShader9> vs = vertexShader(displaced, {D3DVERTEXTEXTURESAMPLER2});
    ASSERT_TRUE(vs);
    device->SetVertexShader(vs.get());
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    clear(0);
    // Two flat triangles whose first vertices read texels (1, 0) and (0, 1).
    const SceneVertex v[6] = {{-1, 1, 0.5f, 0, 0.75f, 0.25f}, {1, 1, 0.5f, 0, 0, 0}, {-1, -1, 0.5f, 0, 0, 0},
                              {1, -1, 0.5f, 0, 0.25f, 0.75f}, {-1, -1, 0.5f, 0, 0, 0}, {1, 1, 0.5f, 0, 0, 0}};
    device->SetFVF(SCENE_FVF);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(SceneVertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(D3DCOLOR_XRGB(0, 255, 0), pixel(2, 2));
    EXPECT_EQ(D3DCOLOR_XRGB(0, 0, 255), pixel(13, 13));
    device->SetVertexShader(nullptr);
    device->SetTexture(D3DVERTEXTEXTURESAMPLER2, nullptr);
}

TEST_F(ProgramPipelineTest, ManyThreadsDrawTheSamePictureAsOne)
{
    makeTarget(200, 150);
    Com<IDirect3DTexture9> texture = makeTexture(32, 0, [](UINT level, UINT x, UINT y) {
        return static_cast<DWORD>(D3DCOLOR_ARGB(255, (x * 41 + level * 70) & 0xFF, (y * 23) & 0xFF, (x ^ y) * 8));
    });
    ASSERT_TRUE(texture);
    device->SetTexture(0, texture.get());
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    const char* const shaded = R"(
sampler2D Texture;
float4 main(float4 color : COLOR0, float2 uv : TEXCOORD0) : COLOR
{
    float4 t = tex2D(Texture, uv * 3);
    return lerp(color, t, saturate(length(ddx(uv)) * 40));
}
)";
    Com<IDirect3DVertexShader9> vs = vertexShader(TRANSFORM_VS);
    Com<IDirect3DPixelShader9> ps = pixelShader(shaded, {0});
    ASSERT_TRUE(vs && ps);
    device->SetVertexShader(vs.get());
    device->SetPixelShader(ps.get());
    setCamera();
    const std::vector<DWORD> one = drawScene();
    savePicture("threads");
    ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), 4));
    const std::vector<DWORD> four = drawScene();
    EXPECT_EQ(0, maxDifference(one, four));
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
}

TEST_F(ProgramPipelineTest, PlainStoreMatchesTheGeneralBackEnd)
{
    makeTarget(96, 64);
    Com<IDirect3DVertexShader9> vs = vertexShader(TRANSFORM_VS);
    Com<IDirect3DPixelShader9> ps = pixelShader(COLOR_PS);
    ASSERT_TRUE(vs && ps);
    device->SetVertexShader(vs.get());
    device->SetPixelShader(ps.get());
    setCamera();
    const std::vector<DWORD> plain = drawScene();
    // Blending that keeps the source takes the general back end.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    EXPECT_EQ(0, maxDifference(plain, drawScene()));
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
}

TEST_F(ProgramPipelineTest, UserClipPlanesOfVertexProgramsLieInClipSpace)
{
    makeTarget(32, 32, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    const char* const untransformed = R"(
void main(float3 position : POSITION, out float4 clip : POSITION, out float4 color : COLOR0)
{
    clip = float4(position, 1);
    color = float4(1, 1, 1, 1);
}
)";
    Com<IDirect3DVertexShader9> vs = vertexShader(untransformed);
    ASSERT_TRUE(vs);
    device->SetVertexShader(vs.get());
    // Keeps clip-space x >= 0.25: the pixels from x = 20 on.
    const float plane[4] = {1, 0, 0, -0.25f};
    device->SetClipPlane(0, plane);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    clear(0);
    const SceneVertex v[4] = {{-1, 1, 0.5f, 0xFFFFFFFF, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFF, 0, 0},
                              {-1, -1, 0.5f, 0xFFFFFFFF, 0, 0}, {1, -1, 0.5f, 0xFFFFFFFF, 0, 0}};
    device->SetFVF(SCENE_FVF);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(SceneVertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0u, pixel(19, 16) & 0xFFFFFF);
    EXPECT_NE(0u, pixel(20, 16) & 0xFFFFFF);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    device->SetVertexShader(nullptr);
}

TEST_F(ProgramPipelineTest, CapsReportShaderModelThree)
{
    D3DCAPS9 caps;
    ASSERT_EQ(D3D_OK, device->GetDeviceCaps(&caps));
    EXPECT_EQ(D3DVS_VERSION(3, 0), caps.VertexShaderVersion);
    EXPECT_EQ(D3DPS_VERSION(3, 0), caps.PixelShaderVersion);
    EXPECT_EQ(256u, caps.MaxVertexShaderConst);
    EXPECT_GE(caps.MaxPixelShader30InstructionSlots, 512u);
    EXPECT_GE(caps.MaxVertexShader30InstructionSlots, 512u);
}
