// Passes applied to the device: render, texture-stage and sampler states,
// textures and shaders, the uniform values the shaders read, CommitChanges,
// the state End restores (by the Begin flags), and the state manager that
// receives the changes instead of the device.

#include "EffectTestSupport.h"

#include <map>
#include <vector>

using d3dtest::Com;
using effecttest::EffectTest;

namespace {

DWORD renderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state)
{
    DWORD value = 0xDEADBEEF;
    device->GetRenderState(state, &value);
    return value;
}

DWORD samplerState(IDirect3DDevice9* device, DWORD sampler, D3DSAMPLERSTATETYPE type)
{
    DWORD value = 0xDEADBEEF;
    device->GetSamplerState(sampler, type, &value);
    return value;
}

IDirect3DBaseTexture9* boundTexture(IDirect3DDevice9* device, DWORD sampler)
{
    Com<IDirect3DBaseTexture9> texture;
    device->GetTexture(sampler, texture.out());
    return texture.get(); // the test holds its own reference
}

IUnknown* boundVertexShader(IDirect3DDevice9* device)
{
    Com<IDirect3DVertexShader9> shader;
    device->GetVertexShader(shader.out());
    return shader.get();
}

IUnknown* boundPixelShader(IDirect3DDevice9* device)
{
    Com<IDirect3DPixelShader9> shader;
    device->GetPixelShader(shader.out());
    return shader.get();
}

// The first sampler register but `except` whose texture is `texture`, or -1.
int registerOf(IDirect3DDevice9* device, IDirect3DBaseTexture9* texture, DWORD except = 99)
{
    for (DWORD s = 0; s < 16; ++s)
        if (s != except && boundTexture(device, s) == texture)
            return static_cast<int>(s);
    return -1;
}

class ComplexPassTest : public EffectTest
{
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        load("complex.fx", effect);
        ASSERT_EQ(D3D_OK,
                  device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, diffuse.out(), nullptr));
        ASSERT_EQ(D3D_OK, device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.out(), nullptr));
        ASSERT_EQ(D3D_OK, effect->SetTexture("DiffuseMap", diffuse.get()));
        ASSERT_EQ(D3D_OK, effect->SetTexture("Environment", cube.get()));
    }
    void TearDown() override
    {
        effect.reset();
        diffuse.reset();
        cube.reset();
        EffectTest::TearDown();
    }

    Com<ID3DXEffect> effect;
    Com<IDirect3DTexture9> diffuse;
    Com<IDirect3DCubeTexture9> cube;
};

} // namespace

TEST_F(ComplexPassTest, BeginPassAppliesStatesInOrder)
{
    UINT passes = 0;
    ASSERT_EQ(D3D_OK, effect->Begin(&passes, 0));
    EXPECT_EQ(2u, passes);
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));

    EXPECT_EQ(DWORD(D3DCULL_NONE), renderState(device.get(), D3DRS_CULLMODE));
    EXPECT_EQ(DWORD(D3DBLEND_SRCALPHA), renderState(device.get(), D3DRS_SRCBLEND));
    EXPECT_EQ(DWORD(D3DBLEND_INVSRCALPHA), renderState(device.get(), D3DRS_DESTBLEND));
    EXPECT_EQ(DWORD(TRUE), renderState(device.get(), D3DRS_ALPHABLENDENABLE));
    EXPECT_EQ(127u, renderState(device.get(), D3DRS_ALPHAREF)) << "AlphaLevel * 255, truncated";
    EXPECT_EQ(DWORD(D3DCMP_LESSEQUAL), renderState(device.get(), D3DRS_ZFUNC));
    EXPECT_EQ(DWORD(D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_BLUE),
              renderState(device.get(), D3DRS_COLORWRITEENABLE));
    EXPECT_EQ(0xFFFF0000u, renderState(device.get(), D3DRS_FOGCOLOR));
    EXPECT_EQ(DWORD(D3DTEXF_ANISOTROPIC), samplerState(device.get(), 2, D3DSAMP_MINFILTER));
    DWORD value = 0;
    device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(DWORD(D3DTOP_MODULATE), value);
    device->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(1u, value);
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(diffuse.get()), boundTexture(device.get(), 3));

    // The shader picked by ShaderIndex, and the samplers its programs read,
    // each with its sampler_state and texture.
    Com<IDirect3DVertexShader9> picked;
    ASSERT_EQ(D3D_OK, effect->GetVertexShader("SkinShaders[1]", picked.out()));
    ASSERT_NE(nullptr, picked.get());
    EXPECT_EQ(static_cast<IUnknown*>(picked.get()), boundVertexShader(device.get()));
    EXPECT_NE(nullptr, boundPixelShader(device.get()));
    int diffuseRegister = registerOf(device.get(), diffuse.get(), 3);
    int cubeRegister = registerOf(device.get(), cube.get());
    ASSERT_GE(diffuseRegister, 0);
    ASSERT_GE(cubeRegister, 0);
    EXPECT_EQ(DWORD(D3DTEXF_POINT), samplerState(device.get(), diffuseRegister, D3DSAMP_MINFILTER));
    EXPECT_EQ(DWORD(D3DTEXF_LINEAR), samplerState(device.get(), diffuseRegister, D3DSAMP_MAGFILTER));
    EXPECT_EQ(DWORD(D3DTADDRESS_MIRROR), samplerState(device.get(), diffuseRegister, D3DSAMP_ADDRESSU));
    EXPECT_EQ(DWORD(D3DTEXF_LINEAR), samplerState(device.get(), cubeRegister, D3DSAMP_MIPFILTER));

    EXPECT_EQ(D3DERR_INVALIDCALL, effect->BeginPass(1)) << "a pass is already active";
    ASSERT_EQ(D3D_OK, effect->EndPass());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->EndPass());

    // The second pass: a shader variable, and a sampler bound by register.
    ASSERT_EQ(D3D_OK, effect->BeginPass(1));
    Com<IDirect3DPixelShader9> plain;
    ASSERT_EQ(D3D_OK, effect->GetPixelShader("PlainPS", plain.out()));
    EXPECT_EQ(static_cast<IUnknown*>(plain.get()), boundPixelShader(device.get()));
    EXPECT_EQ(DWORD(D3DFILL_WIREFRAME), renderState(device.get(), D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(diffuse.get()), boundTexture(device.get(), 5));
    EXPECT_EQ(DWORD(D3DTADDRESS_MIRROR), samplerState(device.get(), 5, D3DSAMP_ADDRESSU));
    ASSERT_EQ(D3D_OK, effect->EndPass());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->BeginPass(2));
    ASSERT_EQ(D3D_OK, effect->End());
}

TEST_F(ComplexPassTest, EndRestoresWhatBeginSaved)
{
    const DWORD cull = renderState(device.get(), D3DRS_CULLMODE);
    const DWORD fill = renderState(device.get(), D3DRS_FILLMODE);
    const DWORD minFilter = samplerState(device.get(), 2, D3DSAMP_MINFILTER);
    const DWORD addressU = samplerState(device.get(), 5, D3DSAMP_ADDRESSU);
    const float nines[4] = {9, 9, 9, 9};
    ASSERT_EQ(D3D_OK, device->SetVertexShaderConstantF(0, nines, 1));
    ASSERT_EQ(D3D_OK, device->SetPixelShaderConstantF(0, nines, 1));
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, 0));
    for (UINT p = 0; p < 2; ++p) {
        ASSERT_EQ(D3D_OK, effect->BeginPass(p));
        ASSERT_EQ(D3D_OK, effect->EndPass());
    }
    ASSERT_EQ(D3D_OK, effect->End());
    EXPECT_EQ(cull, renderState(device.get(), D3DRS_CULLMODE));
    EXPECT_EQ(fill, renderState(device.get(), D3DRS_FILLMODE));
    EXPECT_EQ(0u, renderState(device.get(), D3DRS_ALPHAREF));
    EXPECT_EQ(minFilter, samplerState(device.get(), 2, D3DSAMP_MINFILTER));
    EXPECT_EQ(addressU, samplerState(device.get(), 5, D3DSAMP_ADDRESSU));
    for (DWORD s = 0; s < 16; ++s)
        EXPECT_EQ(nullptr, boundTexture(device.get(), s)) << s;
    EXPECT_EQ(nullptr, boundVertexShader(device.get()));
    EXPECT_EQ(nullptr, boundPixelShader(device.get()));
    // The uniform blocks overwrote constant register 0; it is restored too.
    float constants[4] = {};
    ASSERT_EQ(D3D_OK, device->GetPixelShaderConstantF(0, constants, 1));
    EXPECT_EQ(9.0f, constants[0]);
    ASSERT_EQ(D3D_OK, device->GetVertexShaderConstantF(0, constants, 1));
    EXPECT_EQ(9.0f, constants[3]);
    EXPECT_EQ(D3D_OK, effect->End()) << "End without Begin does nothing";
}

TEST_F(ComplexPassTest, BeginFlagsLeaveStatesOutOfTheSaving)
{
    const DWORD cull = renderState(device.get(), D3DRS_CULLMODE);
    const DWORD minFilter = samplerState(device.get(), 2, D3DSAMP_MINFILTER);

    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, D3DXFX_DONOTSAVESHADERSTATE));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    effect->EndPass();
    effect->End();
    EXPECT_EQ(cull, renderState(device.get(), D3DRS_CULLMODE));
    EXPECT_NE(nullptr, boundVertexShader(device.get())) << "shaders stay";
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);

    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, D3DXFX_DONOTSAVESAMPLERSTATE));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    effect->EndPass();
    effect->End();
    EXPECT_EQ(cull, renderState(device.get(), D3DRS_CULLMODE));
    EXPECT_EQ(DWORD(D3DTEXF_ANISOTROPIC), samplerState(device.get(), 2, D3DSAMP_MINFILTER)) << "sampler states stay";
    EXPECT_EQ(nullptr, boundVertexShader(device.get()));
    device->SetSamplerState(2, D3DSAMP_MINFILTER, minFilter);

    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, D3DXFX_DONOTSAVESTATE));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    effect->EndPass();
    effect->End();
    EXPECT_EQ(DWORD(D3DCULL_NONE), renderState(device.get(), D3DRS_CULLMODE)) << "nothing is restored";
    for (DWORD s = 0; s < 16; ++s)
        device->SetTexture(s, nullptr);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
}

TEST_F(ComplexPassTest, CommitChangesFollowsParameters)
{
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    ASSERT_EQ(D3D_OK, effect->SetFloat("AlphaLevel", 1.0f));
    ASSERT_EQ(D3D_OK, effect->SetInt("ShaderIndex", 0));
    EXPECT_EQ(127u, renderState(device.get(), D3DRS_ALPHAREF)) << "nothing changes before CommitChanges";
    ASSERT_EQ(D3D_OK, effect->CommitChanges());
    EXPECT_EQ(255u, renderState(device.get(), D3DRS_ALPHAREF));
    Com<IDirect3DVertexShader9> first;
    ASSERT_EQ(D3D_OK, effect->GetVertexShader("SkinShaders[0]", first.out()));
    EXPECT_EQ(static_cast<IUnknown*>(first.get()), boundVertexShader(device.get()));

    // A texture changed in the pass reaches the sampler its program reads.
    Com<IDirect3DTexture9> other;
    ASSERT_EQ(D3D_OK, device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, other.out(), nullptr));
    int diffuseRegister = registerOf(device.get(), diffuse.get(), 3);
    ASSERT_GE(diffuseRegister, 0);
    ASSERT_EQ(D3D_OK, effect->SetTexture("DiffuseMap", other.get()));
    ASSERT_EQ(D3D_OK, effect->CommitChanges());
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(other.get()), boundTexture(device.get(), diffuseRegister));
    ASSERT_EQ(D3D_OK, effect->EndPass());
    EXPECT_EQ(D3D_OK, effect->CommitChanges()) << "outside a pass it does nothing";
    ASSERT_EQ(D3D_OK, effect->End());
}

TEST_F(ComplexPassTest, PassCallsInTheWrongOrder)
{
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->BeginPass(0)) << "before Begin";
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->EndPass());
    ASSERT_EQ(D3D_OK, effect->SetTechnique("Fixed"));
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    EXPECT_EQ(nullptr, boundVertexShader(device.get()));
    EXPECT_EQ(DWORD(TRUE), renderState(device.get(), D3DRS_LIGHTING));
    EXPECT_EQ(0xFF204060u, renderState(device.get(), D3DRS_AMBIENT));
    ASSERT_EQ(D3D_OK, effect->EndPass());
    ASSERT_EQ(D3D_OK, effect->End());
}

TEST_F(EffectTest, UniformsReachTheConstantRegisters)
{
    const char* source = R"(
float4x4 C;
row_major float4x4 R;
float4 V;
bool B;
int I;
float4 MainVS(float4 p : POSITION) : POSITION { return mul(p, C) + mul(p, R) + V * (B ? I : 1); }
float4 MainPS() : COLOR { return V; }
technique T { pass P { VertexShader = compile vs_2_0 MainVS(); PixelShader = compile ps_2_0 MainPS(); } }
)";
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create(source, effect, &messages)) << messages;
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = static_cast<float>(i + 1);
    ASSERT_EQ(D3D_OK, effect->SetMatrix("C", &m));
    ASSERT_EQ(D3D_OK, effect->SetMatrix("R", &m));
    const D3DXVECTOR4 v(0.5f, -1, 2, 8);
    ASSERT_EQ(D3D_OK, effect->SetVector("V", &v));
    ASSERT_EQ(D3D_OK, effect->SetBool("B", 7));
    ASSERT_EQ(D3D_OK, effect->SetInt("I", -5));
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, D3DXFX_DONOTSAVESTATE));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));

    float registers[10][4];
    ASSERT_EQ(D3D_OK, device->GetVertexShaderConstantF(0, &registers[0][0], 10));
    // A default (column-major) matrix: register c holds column c, so that
    // mul(v, M) is the row-vector product; a row_major one holds rows.
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(m.m[r][c], registers[c][r]) << "C(" << r << "," << c << ")";
            EXPECT_EQ(m.m[r][c], registers[4 + r][c]) << "R(" << r << "," << c << ")";
        }
    EXPECT_EQ(0.5f, registers[8][0]);
    EXPECT_EQ(8.0f, registers[8][3]);
    // Bools as 0 or 1 and ints as their bit patterns.
    DWORD bits[2];
    std::memcpy(bits, registers[9], sizeof bits);
    EXPECT_EQ(1u, bits[0]);
    EXPECT_EQ(static_cast<DWORD>(-5), bits[1]);
    float pixel[4];
    ASSERT_EQ(D3D_OK, device->GetPixelShaderConstantF(8, pixel, 1));
    EXPECT_EQ(2.0f, pixel[2]);
    effect->EndPass();
    effect->End();
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
}

TEST_F(EffectTest, FixedFunctionStatesOfAPass)
{
    const char* source = R"(
float4x4 W = { 2, 0, 0, 0,  0, 2, 0, 0,  0, 0, 2, 0,  1, 2, 3, 1 };
float4 Diffuse = { 1, 0.5, 0.25, 1 };
technique T
{
    pass P
    {
        WorldTransform[0] = <W>;
        TextureTransform[1] = (W);
        LightEnable[1] = true;
        LightType[1] = Point;
        LightDiffuse[1] = (Diffuse);
        LightRange[1] = 50;
        MaterialPower = 12;
        FVF = 0x112;
        ColorWriteEnable = Red | Alpha;
        VertexShaderConstantF[10] = float4(1, 2, 3, 4);
        Texture[1] = NULL;
    }
}
)";
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create(source, effect, &messages)) << messages;
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    D3DXMATRIX world;
    ASSERT_EQ(D3D_OK, device->GetTransform(D3DTS_WORLD, &world));
    EXPECT_EQ(D3DXMATRIX(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1), world);
    D3DXMATRIX texture;
    ASSERT_EQ(D3D_OK, device->GetTransform(D3DTS_TEXTURE1, &texture));
    EXPECT_EQ(world, texture);
    BOOL enabled = FALSE;
    ASSERT_EQ(D3D_OK, device->GetLightEnable(1, &enabled));
    EXPECT_TRUE(enabled);
    D3DLIGHT9 light;
    ASSERT_EQ(D3D_OK, device->GetLight(1, &light));
    EXPECT_EQ(D3DLIGHT_POINT, light.Type);
    EXPECT_EQ(0.5f, light.Diffuse.g);
    EXPECT_EQ(50.0f, light.Range);
    D3DMATERIAL9 material;
    ASSERT_EQ(D3D_OK, device->GetMaterial(&material));
    EXPECT_EQ(12.0f, material.Power);
    DWORD fvf = 0;
    ASSERT_EQ(D3D_OK, device->GetFVF(&fvf));
    EXPECT_EQ(0x112u, fvf);
    EXPECT_EQ(DWORD(D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA),
              renderState(device.get(), D3DRS_COLORWRITEENABLE));
    float constant[4];
    ASSERT_EQ(D3D_OK, device->GetVertexShaderConstantF(10, constant, 1));
    EXPECT_EQ(4.0f, constant[3]);
    effect->EndPass();
    ASSERT_EQ(D3D_OK, effect->End());

    ASSERT_EQ(D3D_OK, device->GetTransform(D3DTS_WORLD, &world));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(identity, world);
    ASSERT_EQ(D3D_OK, device->GetLightEnable(1, &enabled));
    EXPECT_FALSE(enabled);
    ASSERT_EQ(D3D_OK, device->GetFVF(&fvf));
    EXPECT_EQ(0u, fvf);
    ASSERT_EQ(D3D_OK, device->GetVertexShaderConstantF(10, constant, 1));
    EXPECT_EQ(0.0f, constant[3]);
}

namespace {

// Records what an effect hands to its state manager.
class RecordingManager final : public ID3DXEffectStateManager
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ID3DXEffectStateManager)) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE, CONST D3DMATRIX*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMaterial(CONST D3DMATERIAL9*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetLight(DWORD, CONST D3DLIGHT9*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override
    {
        renderStates[state] = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override
    {
        textures[stage] = texture;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override
    {
        samplerStates[{sampler, type}] = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetNPatchMode(FLOAT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override
    {
        vertexShader = shader;
        ++shaderCalls;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, CONST FLOAT* data, UINT count) override
    {
        vertexConstants.assign(data, data + 4 * count);
        vertexConstantStart = start;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT, CONST INT*, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT, CONST BOOL*, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override
    {
        pixelShader = shader;
        ++shaderCalls;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT, CONST FLOAT*, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT, CONST INT*, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT, CONST BOOL*, UINT) override { return S_OK; }

    ULONG refs = 1;
    std::map<D3DRENDERSTATETYPE, DWORD> renderStates;
    std::map<DWORD, IDirect3DBaseTexture9*> textures;
    std::map<std::pair<DWORD, D3DSAMPLERSTATETYPE>, DWORD> samplerStates;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    int shaderCalls = 0;
    std::vector<float> vertexConstants;
    UINT vertexConstantStart = 99;
};

} // namespace

TEST_F(EffectTest, StateManagerReceivesThePass)
{
    Com<ID3DXEffect> effect;
    load("phong.fx", effect);
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    ASSERT_EQ(D3D_OK, effect->SetTexture("DiffuseTexture", texture.get()));
    RecordingManager manager;
    ASSERT_EQ(D3D_OK, effect->SetStateManager(&manager));
    EXPECT_EQ(2u, manager.refs);
    Com<ID3DXEffectStateManager> read;
    ASSERT_EQ(D3D_OK, effect->GetStateManager(read.out()));
    EXPECT_EQ(&manager, read.get());
    read.reset();

    const DWORD cull = renderState(device.get(), D3DRS_CULLMODE);
    ASSERT_EQ(D3D_OK, effect->Begin(nullptr, 0));
    ASSERT_EQ(D3D_OK, effect->BeginPass(0));
    EXPECT_EQ(cull, renderState(device.get(), D3DRS_CULLMODE)) << "the device is left alone";
    EXPECT_EQ(DWORD(D3DCULL_NONE), manager.renderStates[D3DRS_CULLMODE]);
    EXPECT_EQ(DWORD(TRUE), manager.renderStates[D3DRS_ZWRITEENABLE]);
    EXPECT_EQ(DWORD(FALSE), manager.renderStates[D3DRS_ALPHABLENDENABLE]);
    EXPECT_NE(nullptr, manager.vertexShader);
    EXPECT_NE(nullptr, manager.pixelShader);
    ASSERT_EQ(1u, manager.textures.size());
    const DWORD sampler = manager.textures.begin()->first;
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(texture.get()), manager.textures.begin()->second);
    EXPECT_EQ(DWORD(D3DTEXF_LINEAR), (manager.samplerStates[{sampler, D3DSAMP_MIPFILTER}]));
    EXPECT_EQ(DWORD(D3DTADDRESS_WRAP), (manager.samplerStates[{sampler, D3DSAMP_ADDRESSV}]));
    EXPECT_EQ(0u, manager.vertexConstantStart);
    ASSERT_GE(manager.vertexConstants.size(), 16u * 4 + 3);
    EXPECT_EQ(10.0f, manager.vertexConstants[16 * 4]) << "LightPosition";

    // CommitChanges sends only what parameters changed.
    const int calls = manager.shaderCalls;
    manager.renderStates.clear();
    manager.vertexConstants.clear();
    ASSERT_EQ(D3D_OK, effect->CommitChanges());
    EXPECT_TRUE(manager.vertexConstants.empty());
    ASSERT_EQ(D3D_OK, effect->SetFloat("SpecularPower", 3));
    const D3DXVECTOR4 light(1, 2, 3, 0);
    ASSERT_EQ(D3D_OK, effect->SetVector("LightPosition", &light));
    ASSERT_EQ(D3D_OK, effect->CommitChanges());
    ASSERT_FALSE(manager.vertexConstants.empty());
    EXPECT_EQ(2.0f, manager.vertexConstants[16 * 4 + 1]);
    EXPECT_TRUE(manager.renderStates.empty());
    EXPECT_EQ(calls, manager.shaderCalls);
    effect->EndPass();
    effect->End();

    ASSERT_EQ(D3D_OK, effect->SetStateManager(nullptr));
    EXPECT_EQ(1u, manager.refs);
}
