// libFuzzer entry point for the whole effect path: any bytes go to
// D3DXCreateEffect on a software device, which preprocesses and parses them
// and compiles their shaders in its compiler process. An effect that is
// made has its parameters read back and written, its matrices set to the
// identity and its textures bound to small textures of each kind; then
// every pass of every technique draws over an 8 x 8 target, so
// that the vertex and pixel programs the compiler made also run.
//
// Every call must return, and leave no object alive or released once too
// often: an effect that cannot be made fails with an error message, and
// the compiler's crashes and hangs stay in its own process.

#include "EffectFuzzChecks.h"

#include <d3dx9.h>
#include <swd3d9.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using fuzzdevice::require;

// Two triangles over the whole target, one of each winding so that every
// cull mode draws one: their vertices carry every input a vertex program
// may ask for, as four floats each.
struct Vertex {
    float position[4];
    float normal[4];
    float colors[2][4];
    float tangent[4];
    float binormal[4];
    float blendWeight[4];
    float blendIndices[4];
    float texcoords[8][4];
    float pointSize;
};

const D3DVERTEXELEMENT9 VERTEX_ELEMENTS[] = {
    {0, offsetof(Vertex, position), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, offsetof(Vertex, normal), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, offsetof(Vertex, colors[0]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, offsetof(Vertex, colors[1]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 1},
    {0, offsetof(Vertex, tangent), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    {0, offsetof(Vertex, binormal), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0},
    {0, offsetof(Vertex, blendWeight), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
    {0, offsetof(Vertex, blendIndices), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
    {0, offsetof(Vertex, texcoords[0]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    {0, offsetof(Vertex, texcoords[1]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
    {0, offsetof(Vertex, texcoords[2]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 2},
    {0, offsetof(Vertex, texcoords[3]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 3},
    {0, offsetof(Vertex, texcoords[4]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 4},
    {0, offsetof(Vertex, texcoords[5]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 5},
    {0, offsetof(Vertex, texcoords[6]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 6},
    {0, offsetof(Vertex, texcoords[7]), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 7},
    {0, offsetof(Vertex, pointSize), D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_PSIZE, 0},
    D3DDECL_END()};

Vertex makeVertex(float x, float y)
{
    Vertex v{};
    const float position[4] = {x, y, 0.5f, 1.0f};
    const float normal[4] = {0.0f, 0.0f, -1.0f, 0.0f};
    for (int k = 0; k < 4; ++k) {
        v.position[k] = position[k];
        v.normal[k] = normal[k];
        v.colors[0][k] = 0.25f * float(k + 1);
        v.colors[1][k] = 1.0f - 0.25f * float(k);
        v.tangent[k] = k == 0 ? 1.0f : 0.0f;
        v.binormal[k] = k == 1 ? 1.0f : 0.0f;
        v.blendWeight[k] = 0.25f;
        v.blendIndices[k] = float(k);
        for (int t = 0; t < 8; ++t)
            v.texcoords[t][k] = (k % 2 == 0 ? x : y) * 0.5f + 0.5f + 0.125f * float(t);
    }
    v.pointSize = 2.0f;
    return v;
}

// What the draws need, made once: the target and its depth buffer, a
// surface to read the target back into, the vertex declaration and a
// texture of each kind for the effect's texture parameters.
struct DrawResources {
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* readBack = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DCubeTexture9* cubeTexture = nullptr;
    IDirect3DVolumeTexture9* volumeTexture = nullptr;
    Vertex triangles[6];

    DrawResources()
    {
        device = fuzzdevice::createDevice();
        IDirect3DSurface9* depth = nullptr;
        require(SUCCEEDED(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                                     nullptr)));
        require(SUCCEEDED(device->CreateDepthStencilSurface(8, 8, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                            &depth, nullptr)));
        require(SUCCEEDED(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &readBack,
                                                              nullptr)));
        require(SUCCEEDED(device->SetRenderTarget(0, target)));
        require(SUCCEEDED(device->SetDepthStencilSurface(depth)));
        depth->Release();
        require(SUCCEEDED(device->CreateVertexDeclaration(VERTEX_ELEMENTS, &declaration)));
        require(SUCCEEDED(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)));
        require(SUCCEEDED(device->CreateCubeTexture(4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cubeTexture,
                                                    nullptr)));
        require(SUCCEEDED(device->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volumeTexture,
                                                      nullptr)));
        triangles[0] = makeVertex(-1.0f, -1.0f);
        triangles[1] = makeVertex(-1.0f, 3.0f);
        triangles[2] = makeVertex(3.0f, -1.0f);
        triangles[3] = triangles[0];
        triangles[4] = triangles[2];
        triangles[5] = triangles[1];
    }

    void draw() const
    {
        device->SetVertexDeclaration(declaration);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, triangles, sizeof(Vertex));
    }

    // Reading the target back draws what the device still holds in its
    // batch, which keeps the batch's objects alive until then.
    void finish() const { require(SUCCEEDED(device->GetRenderTargetData(target, readBack))); }
};

// Values a shader reads sensibly: identity matrices keep the triangle on
// the target, and samplers read real textures.
void setDrawableValues(ID3DXEffect* effect, const D3DXEFFECT_DESC& desc, const DrawResources& resources)
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXHANDLE handle = effect->GetParameter(nullptr, i);
        D3DXPARAMETER_DESC parameter;
        require(effect->GetParameterDesc(handle, &parameter) == D3D_OK);
        if (parameter.Elements > 0)
            continue;
        if (parameter.Class == D3DXPC_MATRIX_ROWS || parameter.Class == D3DXPC_MATRIX_COLUMNS)
            effect->SetMatrix(handle, &identity);
        else if (parameter.Type == D3DXPT_TEXTURE || parameter.Type == D3DXPT_TEXTURE1D ||
                 parameter.Type == D3DXPT_TEXTURE2D)
            effect->SetTexture(handle, resources.texture);
        else if (parameter.Type == D3DXPT_TEXTURECUBE)
            effect->SetTexture(handle, resources.cubeTexture);
        else if (parameter.Type == D3DXPT_TEXTURE3D)
            effect->SetTexture(handle, resources.volumeTexture);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > UINT32_MAX)
        return 0;
    // One device for the whole run; each input's Begin/End restores what
    // its passes change.
    static const DrawResources resources;
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    const UINT overReleasesBefore = SwD3D9GetOverReleaseCount();

    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT made = D3DXCreateEffect(resources.device, data, static_cast<UINT>(size), nullptr, nullptr, 0,
                                          nullptr, &effect, &errors);
    require(SUCCEEDED(made) == (effect != nullptr));
    if (FAILED(made) && made != E_OUTOFMEMORY) {
        // Whatever made it fail is said.
        require(errors != nullptr && errors->GetBufferSize() > 0);
        const char* text = static_cast<const char*>(errors->GetBufferPointer());
        require(std::string(text, errors->GetBufferSize()).find("error") != std::string::npos);
    }
    if (errors)
        errors->Release();
    if (effect) {
        D3DXEFFECT_DESC desc;
        require(effect->GetDesc(&desc) == D3D_OK);
        effectfuzz::readParameters(effect, desc);
        setDrawableValues(effect, desc, resources);
        require(SUCCEEDED(resources.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                                                  0xff204060, 1.0f, 0)));
        require(SUCCEEDED(resources.device->BeginScene()));
        effectfuzz::runTechniques(effect, desc, [] { resources.draw(); });
        require(SUCCEEDED(resources.device->EndScene()));
        resources.finish();
        require(effect->Release() == 0);
    }

    require(SwD3D9GetLiveObjectCount() == liveBefore);
    require(SwD3D9GetOverReleaseCount() == overReleasesBefore);
    return 0;
}
