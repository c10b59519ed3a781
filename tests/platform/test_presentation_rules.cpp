// The rules that reading back and presenting rely on: which surfaces can
// be locked, how a multisampled back buffer is read, and what Reset leaves
// behind.

#include "D3DTestSupport.h"

#include <vector>

using namespace d3dtest;

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD colour;
};

// A triangle over the lower left half of a square target, its hypotenuse
// running through pixel centres' diagonal neighbours, in white.
void drawHalf(IDirect3DDevice9* device, float size)
{
    const ScreenVertex triangle[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF},
                                      {size, size, 0.5f, 1, 0xFFFFFFFF},
                                      {0, size, 0.5f, 1, 0xFFFFFFFF}};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(ScreenVertex));
    device->EndScene();
}

// Everything GetRenderState, GetTextureStageState, GetSamplerState,
// GetTransform and the other getters report, in one list, for comparing
// two devices.
std::vector<DWORD> stateOf(IDirect3DDevice9* device)
{
    std::vector<DWORD> out;
    auto add = [&out](const void* data, size_t bytes) {
        const DWORD* words = static_cast<const DWORD*>(data);
        out.insert(out.end(), words, words + bytes / 4);
    };
    DWORD v;
    for (DWORD rs = 0; rs < 256; ++rs)
        out.push_back(SUCCEEDED(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(rs), &v)) ? v : 0xBAD0BAD0);
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD type = 1; type <= D3DTSS_CONSTANT; ++type)
            out.push_back(SUCCEEDED(device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type),
                                                                 &v))
                              ? v
                              : 0xBAD0BAD0);
    std::vector<DWORD> samplers;
    for (DWORD s = 0; s < 16; ++s)
        samplers.push_back(s);
    for (DWORD s = D3DDMAPSAMPLER; s <= D3DVERTEXTEXTURESAMPLER3; ++s)
        samplers.push_back(s);
    for (DWORD s : samplers)
        for (DWORD type = D3DSAMP_ADDRESSU; type <= D3DSAMP_DMAPOFFSET; ++type)
            out.push_back(SUCCEEDED(device->GetSamplerState(s, static_cast<D3DSAMPLERSTATETYPE>(type), &v))
                              ? v
                              : 0xBAD0BAD0);
    D3DMATRIX m;
    std::vector<D3DTRANSFORMSTATETYPE> transforms = {D3DTS_VIEW, D3DTS_PROJECTION};
    for (int t = 0; t < 8; ++t)
        transforms.push_back(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + t));
    for (int w = 0; w < 256; ++w)
        transforms.push_back(D3DTS_WORLDMATRIX(w));
    for (D3DTRANSFORMSTATETYPE t : transforms) {
        device->GetTransform(t, &m);
        add(&m, sizeof(m));
    }
    D3DMATERIAL9 material;
    device->GetMaterial(&material);
    add(&material, sizeof(material));
    for (DWORD light = 0; light < 8; ++light) {
        D3DLIGHT9 l{};
        BOOL enabled = FALSE;
        out.push_back(device->GetLight(light, &l));
        out.push_back(device->GetLightEnable(light, &enabled));
        out.push_back(static_cast<DWORD>(enabled));
    }
    for (DWORD plane = 0; plane < 6; ++plane) {
        float p[4] = {};
        device->GetClipPlane(plane, p);
        add(p, sizeof(p));
    }
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    add(&viewport, sizeof(viewport));
    RECT scissor;
    device->GetScissorRect(&scissor);
    add(&scissor, sizeof(scissor));
    device->GetFVF(&v);
    out.push_back(v);
    return out;
}

// Whether every binding is empty: vertex layout, streams, indices, textures.
void expectNothingBound(IDirect3DDevice9* device)
{
    Com<IDirect3DVertexDeclaration9> declaration;
    device->GetVertexDeclaration(declaration.out());
    EXPECT_FALSE(declaration);
    for (UINT s = 0; s < 16; ++s) {
        Com<IDirect3DVertexBuffer9> stream;
        UINT offset = 1, stride = 1, frequency = 0;
        device->GetStreamSource(s, stream.out(), &offset, &stride);
        device->GetStreamSourceFreq(s, &frequency);
        EXPECT_FALSE(stream) << "stream " << s;
        EXPECT_EQ(0u, offset);
        EXPECT_EQ(0u, stride);
        EXPECT_EQ(1u, frequency);
    }
    Com<IDirect3DIndexBuffer9> indices;
    device->GetIndices(indices.out());
    EXPECT_FALSE(indices);
    for (DWORD stage = 0; stage < 8; ++stage) {
        Com<IDirect3DBaseTexture9> texture;
        device->GetTexture(stage, texture.out());
        EXPECT_FALSE(texture) << "stage " << stage;
    }
}

} // namespace

TEST_F(DeviceTest, BackBufferLocksOnlyWhenMadeLockable)
{
    // D3DPRESENTFLAG_LOCKABLE_BACKBUFFER is what makes a back buffer lockable.
    D3DLOCKED_RECT locked;
    EXPECT_EQ(D3DERR_INVALIDCALL, backBuffer()->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(nullptr, locked.pBits);

    D3DPRESENT_PARAMETERS p = parameters;
    p.Flags |= D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
    Com<IDirect3DSurface9> lockable = backBuffer();
    ASSERT_EQ(D3D_OK, lockable->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(0x123456u, static_cast<const DWORD*>(locked.pBits)[0] & 0xFFFFFF);
    lockable->UnlockRect();
    lockable.reset();

    // Multisampled back buffers cannot be lockable at all.
    p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    p.Flags &= ~D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    EXPECT_EQ(D3D_OK, device->Reset(&p));
}

TEST_F(DeviceTest, MultisampledBackBufferIsReadThroughAResolve)
{
    DWORD levels = 0;
    ASSERT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                      D3DMULTISAMPLE_NONMASKABLE, &levels));
    D3DPRESENT_PARAMETERS p = parameters;
    p.BackBufferWidth = p.BackBufferHeight = 16;
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    p.MultiSampleQuality = levels - 1;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawHalf(device.get(), 16.0f);

    Com<IDirect3DSurface9> back = backBuffer(), memory, resolved, wrongSize;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(D3DERR_INVALIDCALL, back->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, memory.out(),
                                                          nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetRenderTargetData(back.get(), memory.get()));

    // Resolved into a plain render target of its size, then copied to memory.
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                 resolved.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->StretchRect(back.get(), nullptr, resolved.get(), nullptr, D3DTEXF_NONE));
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(resolved.get(), memory.get()));
    // Inside and outside the triangle the samples agree; on the diagonal
    // they are averaged.
    EXPECT_EQ(0xFFFFFFu, readPixel(memory.get(), 2, 12) & 0xFFFFFF);
    EXPECT_EQ(0x000000u, readPixel(memory.get(), 12, 2) & 0xFFFFFF);
    int partial = 0;
    for (int i = 0; i < 16; ++i) {
        const int red = static_cast<int>((readPixel(memory.get(), i, i) >> 16) & 0xFF);
        partial += red > 0 && red < 255;
    }
    EXPECT_GT(partial, 8) << "the diagonal is not antialiased";
    // The resolve needs a destination it can write: not a surface in memory.
    EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(back.get(), nullptr, memory.get(), nullptr, D3DTEXF_NONE));
}

TEST_F(DeviceTest, ResetReturnsEveryStateAndBindingToTheDefaults)
{
    // A second device, fresh from creation, tells the defaults.
    HWND otherWindow = makeWindow(64, 48);
    D3DPRESENT_PARAMETERS fresh = windowedParameters(otherWindow);
    Com<IDirect3DDevice9> reference;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, otherWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &fresh,
                                        reference.out()));
    const std::vector<DWORD> defaults = stateOf(reference.get());
    ASSERT_EQ(defaults, stateOf(device.get())) << "a new device starts from the defaults";

    // Change everything there is to change.
    DWORD v;
    for (DWORD rs = 0; rs < 256; ++rs)
        if (SUCCEEDED(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(rs), &v)))
            device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(rs), v + 1);
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD type = 1; type <= D3DTSS_CONSTANT; ++type)
            if (SUCCEEDED(device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &v)))
                device->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), v + 1);
    for (DWORD s = 0; s < 16; ++s)
        for (DWORD type = D3DSAMP_ADDRESSU; type <= D3DSAMP_DMAPOFFSET; ++type)
            if (SUCCEEDED(device->GetSamplerState(s, static_cast<D3DSAMPLERSTATETYPE>(type), &v)))
                device->SetSamplerState(s, static_cast<D3DSAMPLERSTATETYPE>(type), v + 1);
    D3DMATRIX scale{};
    scale._11 = scale._22 = scale._33 = 2.0f;
    scale._44 = 1.0f;
    device->SetTransform(D3DTS_VIEW, &scale);
    device->SetTransform(D3DTS_PROJECTION, &scale);
    device->SetTransform(D3DTS_TEXTURE3, &scale);
    device->SetTransform(D3DTS_WORLD, &scale);
    device->SetTransform(D3DTS_WORLDMATRIX(200), &scale);
    D3DMATERIAL9 material{};
    material.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    material.Power = 8.0f;
    device->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 1, 1, 1};
    light.Range = 10.0f;
    light.Attenuation0 = 1.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->LightEnable(5, TRUE);
    const float plane[4] = {1, 2, 3, 4};
    device->SetClipPlane(2, plane);
    const D3DVIEWPORT9 viewport{4, 4, 20, 20, 0.25f, 0.75f};
    device->SetViewport(&viewport);
    const RECT scissor{1, 2, 3, 4};
    device->SetScissorRect(&scissor);

    // Bind objects that survive a reset (managed and system memory).
    Com<IDirect3DTexture9> texture;
    Com<IDirect3DCubeTexture9> cube;
    Com<IDirect3DVertexBuffer9> vertices;
    Com<IDirect3DIndexBuffer9> indices;
    Com<IDirect3DVertexDeclaration9> declaration;
    device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr);
    device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, cube.out(), nullptr);
    device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vertices.out(), nullptr);
    device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, indices.out(), nullptr);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                          D3DDECL_END()};
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
    device->SetTexture(0, texture.get());
    device->SetTexture(7, cube.get());
    device->SetStreamSource(0, vertices.get(), 4, 12);
    device->SetStreamSource(3, vertices.get(), 0, 16);
    device->SetStreamSourceFreq(3, D3DSTREAMSOURCE_INDEXEDDATA | 2);
    device->SetIndices(indices.get());
    device->SetVertexDeclaration(declaration.get());
    ASSERT_NE(defaults, stateOf(device.get()));

    D3DPRESENT_PARAMETERS p = parameters;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    const std::vector<DWORD> after = stateOf(device.get());
    ASSERT_EQ(defaults.size(), after.size());
    int differences = 0;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != defaults[i] && ++differences <= 5)
            ADD_FAILURE() << "state word " << i << " is " << after[i] << " after Reset, " << defaults[i]
                          << " on a new device";
    expectNothingBound(device.get());

    // The targets are the new back buffer and automatic depth buffer.
    Com<IDirect3DSurface9> target, depth, back = backBuffer();
    device->GetRenderTarget(0, target.out());
    device->GetDepthStencilSurface(depth.out());
    EXPECT_EQ(back.get(), target.get());
    EXPECT_TRUE(depth);
    // What was bound keeps only the references its owner holds.
    EXPECT_EQ(1u, refCount(texture.get()));
    EXPECT_EQ(1u, refCount(vertices.get()));
    EXPECT_EQ(1u, refCount(declaration.get()));

    reference.reset();
    DestroyWindow(otherWindow);
}
