// Shader objects of compiled programs: creation checks, COM behaviour,
// binding with SetVertexShader / SetPixelShader, and what Reset does.

#include "D3DTestSupport.h"

#include "d3d9/ProgramShaders.h"
#include "shader/ShaderProgram.h"

#include <memory>
#include <string>
#include <vector>

using namespace d3dtest;
using swd3d9::shader::Program;
using swd3d9::shader::ProgramInfo;
using swd3d9::shader::SamplerDimension;
using swd3d9::shader::ShaderStage;

namespace {

std::shared_ptr<const Program> makeProgram(ShaderStage stage, size_t samplers = 0)
{
    ProgramInfo info;
    info.stage = stage;
    for (size_t i = 0; i < samplers; ++i)
        info.samplers.push_back({"sampler" + std::to_string(i), SamplerDimension::Texture2D});
    return std::make_shared<const Program>(std::vector<uint32_t>{}, info);
}

} // namespace

TEST_F(DeviceTest, ProgramShadersAreMadeForProgramsOfTheirStage)
{
    const auto vertexProgram = makeProgram(ShaderStage::Vertex, 2);
    const auto pixelProgram = makeProgram(ShaderStage::Pixel, 2);
    const std::vector<DWORD> vertexSamplers = {D3DVERTEXTEXTURESAMPLER3, D3DVERTEXTEXTURESAMPLER0};
    Com<IDirect3DVertexShader9> vs;
    Com<IDirect3DPixelShader9> ps;
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(device.get(), pixelProgram, vertexSamplers, vs.out()));
    EXPECT_EQ(nullptr, vs.get());
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createPixelShader(device.get(), vertexProgram, {0, 1}, ps.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(device.get(), nullptr, {}, vs.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(nullptr, vertexProgram, vertexSamplers, vs.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(device.get(), vertexProgram, vertexSamplers, nullptr));
    // One sampler register per sampler of the program, among the stage's own.
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createPixelShader(device.get(), pixelProgram, {0}, ps.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createPixelShader(device.get(), pixelProgram, {0, 16}, ps.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL,
              swd3d9::createPixelShader(device.get(), pixelProgram, {0, D3DVERTEXTEXTURESAMPLER0}, ps.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(device.get(), vertexProgram, {0, 1}, vs.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, swd3d9::createVertexShader(device.get(), vertexProgram,
                                                             {D3DVERTEXTEXTURESAMPLER0, D3DDMAPSAMPLER}, vs.out()));

    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), pixelProgram, {15, 3}, ps.out()));
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), vertexProgram, vertexSamplers, vs.out()));
    EXPECT_EQ(vertexProgram, swd3d9::toVertexShader(vs.get())->program());
    EXPECT_EQ(vertexSamplers, swd3d9::toVertexShader(vs.get())->samplerRegisters());
    EXPECT_EQ((std::vector<DWORD>{15, 3}), swd3d9::toPixelShader(ps.get())->samplerRegisters());

    // Shader bytecode stays unsupported.
    const DWORD bytecode[] = {0xFFFE0200, 0x0000FFFF};
    IDirect3DVertexShader9* fromBytecode = vs.get();
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateVertexShader(bytecode, &fromBytecode));
    EXPECT_EQ(nullptr, fromBytecode);
}

TEST_F(DeviceTest, ProgramShadersAreComObjectsOfTheirDevice)
{
    Com<IDirect3DVertexShader9> vs;
    Com<IDirect3DPixelShader9> ps;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {}, vs.out()));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel), {}, ps.out()));
    // Each shader the application holds holds the device.
    EXPECT_EQ(3u, refCount(device.get()));
    EXPECT_EQ(1u, refCount(vs.get()));
    Com<IDirect3DDevice9> owner;
    ASSERT_EQ(D3D_OK, ps->GetDevice(owner.out()));
    EXPECT_EQ(device.get(), owner.get());

    Com<IUnknown> unknown;
    ASSERT_EQ(S_OK, vs->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.out())));
    EXPECT_EQ(2u, refCount(vs.get()));
    EXPECT_EQ(S_OK, ps->QueryInterface(IID_IDirect3DPixelShader9, reinterpret_cast<void**>(unknown.out())));
    EXPECT_EQ(E_NOINTERFACE, vs->QueryInterface(IID_IDirect3DPixelShader9, reinterpret_cast<void**>(unknown.out())));
    EXPECT_EQ(nullptr, unknown.get());

    // No bytecode lies behind a program: the size is 0 and the bytes are refused.
    UINT size = 99;
    EXPECT_EQ(D3D_OK, vs->GetFunction(nullptr, &size));
    EXPECT_EQ(0u, size);
    DWORD buffer[4];
    size = sizeof(buffer);
    EXPECT_EQ(D3DERR_INVALIDCALL, ps->GetFunction(buffer, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(D3DERR_INVALIDCALL, ps->GetFunction(nullptr, nullptr));

    owner.reset();
    vs.reset();
    ps.reset();
    EXPECT_EQ(1u, refCount(device.get()));
}

TEST_F(DeviceTest, BoundProgramShadersLiveWhileTheDeviceHoldsThem)
{
    const UINT live = SwD3D9GetLiveObjectCount();
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {}, &vs));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel), {}, &ps));
    ASSERT_EQ(D3D_OK, device->SetVertexShader(vs));
    ASSERT_EQ(D3D_OK, device->SetPixelShader(ps));
    // Binding is not the application's reference.
    EXPECT_EQ(1u, refCount(vs));

    Com<IDirect3DVertexShader9> boundVs;
    Com<IDirect3DPixelShader9> boundPs;
    ASSERT_EQ(D3D_OK, device->GetVertexShader(boundVs.out()));
    ASSERT_EQ(D3D_OK, device->GetPixelShader(boundPs.out()));
    EXPECT_EQ(vs, boundVs.get());
    EXPECT_EQ(ps, boundPs.get());
    EXPECT_EQ(2u, refCount(vs));
    boundVs.reset();
    boundPs.reset();

    EXPECT_EQ(0u, vs->Release());
    EXPECT_EQ(0u, ps->Release());
    EXPECT_EQ(live + 2, SwD3D9GetLiveObjectCount());
    ASSERT_EQ(D3D_OK, device->GetVertexShader(boundVs.out()));
    EXPECT_EQ(vs, boundVs.get());
    boundVs.reset();

    ASSERT_EQ(D3D_OK, device->SetVertexShader(nullptr));
    EXPECT_EQ(live + 1, SwD3D9GetLiveObjectCount());
    ASSERT_EQ(D3D_OK, device->GetVertexShader(boundVs.out()));
    EXPECT_EQ(nullptr, boundVs.get());
    ASSERT_EQ(D3D_OK, device->SetPixelShader(nullptr));
    EXPECT_EQ(live, SwD3D9GetLiveObjectCount());
}

TEST_F(DeviceTest, SetShaderRefusesShadersOfAnotherDevice)
{
    Com<IDirect3DDevice9> other;
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                        other.out()));
    Com<IDirect3DVertexShader9> vs;
    Com<IDirect3DPixelShader9> ps;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(other.get(), makeProgram(ShaderStage::Vertex), {}, vs.out()));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(other.get(), makeProgram(ShaderStage::Pixel), {}, ps.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetVertexShader(vs.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetPixelShader(ps.get()));
    EXPECT_EQ(D3D_OK, other->SetVertexShader(vs.get()));
}

TEST_F(DeviceTest, ResetUnbindsProgramShadersWhichSurviveIt)
{
    Com<IDirect3DVertexShader9> vs;
    Com<IDirect3DPixelShader9> ps;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {}, vs.out()));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel), {}, ps.out()));
    ASSERT_EQ(D3D_OK, device->SetVertexShader(vs.get()));
    ASSERT_EQ(D3D_OK, device->SetPixelShader(ps.get()));
    const float constant[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    ASSERT_EQ(D3D_OK, device->SetVertexShaderConstantF(7, constant, 1));

    // Shader objects are not resources of the default pool: Reset goes on
    // while the application holds them, and leaves the default state.
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    Com<IDirect3DVertexShader9> boundVs;
    Com<IDirect3DPixelShader9> boundPs;
    ASSERT_EQ(D3D_OK, device->GetVertexShader(boundVs.out()));
    ASSERT_EQ(D3D_OK, device->GetPixelShader(boundPs.out()));
    EXPECT_EQ(nullptr, boundVs.get());
    EXPECT_EQ(nullptr, boundPs.get());
    float read[4] = {9, 9, 9, 9};
    ASSERT_EQ(D3D_OK, device->GetVertexShaderConstantF(7, read, 1));
    EXPECT_EQ(0.0f, read[0]);
    EXPECT_EQ(1u, refCount(vs.get()));
    EXPECT_EQ(D3D_OK, device->SetVertexShader(vs.get()));
    EXPECT_EQ(D3D_OK, device->SetPixelShader(ps.get()));
}

// Drawing with program shaders bound is not done yet by the pipeline; the
// draw calls must still be safe.
TEST_F(DeviceTest, DrawsWithProgramShadersBoundAreSafe)
{
    Com<IDirect3DVertexShader9> vs;
    Com<IDirect3DPixelShader9> ps;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {}, vs.out()));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel, 1), {0}, ps.out()));
    ASSERT_EQ(D3D_OK, device->SetVertexShader(vs.get()));
    ASSERT_EQ(D3D_OK, device->SetPixelShader(ps.get()));
    ASSERT_EQ(D3D_OK, device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    const Vertex triangle[3] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {64, 0, 0.5f, 1, 0xFFFF0000},
                                {0, 48, 0.5f, 1, 0xFFFF0000}};
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)));
    device->SetVertexShader(nullptr);
    EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
}
