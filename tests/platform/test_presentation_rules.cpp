// The rules that reading back and presenting rely on: which back buffers can
// be locked or copied to memory, and what Reset leaves behind.

#include "D3DTestSupport.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

using namespace d3dtest;

namespace {

// Everything the state getters report, bindings as whether something is
// bound, in one list of words for comparing two devices. With `change`,
// every render, stage and sampler state read is then set to one more.
std::vector<DWORD> stateOf(IDirect3DDevice9* device, bool change = false)
{
    std::vector<DWORD> out;
    DWORD v = 0;
    auto got = [&](HRESULT result) {
        out.push_back(SUCCEEDED(result) ? v : 0xBAD0BAD0);
        return change && SUCCEEDED(result);
    };
    auto add = [&](const void* data, size_t bytes) {
        out.insert(out.end(), static_cast<const DWORD*>(data), static_cast<const DWORD*>(data) + bytes / 4);
    };
    for (DWORD rs = 0; rs < 256; ++rs)
        if (got(device->GetRenderState(D3DRENDERSTATETYPE(rs), &v)))
            device->SetRenderState(D3DRENDERSTATETYPE(rs), v + 1);
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD type = 1; type <= D3DTSS_CONSTANT; ++type)
            if (got(device->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), &v)))
                device->SetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), v + 1);
    // The pixel samplers, then the displacement-map and vertex samplers.
    for (DWORD s = 0; s <= D3DVERTEXTEXTURESAMPLER3; s = s == 15 ? D3DDMAPSAMPLER : s + 1)
        for (DWORD type = D3DSAMP_ADDRESSU; type <= D3DSAMP_DMAPOFFSET; ++type)
            if (got(device->GetSamplerState(s, D3DSAMPLERSTATETYPE(type), &v)))
                device->SetSamplerState(s, D3DSAMPLERSTATETYPE(type), v + 1);
    // View, projection, the texture matrices and the 256 world matrices.
    for (DWORD t = D3DTS_VIEW; t < 512; ++t)
        if (t <= D3DTS_PROJECTION || (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7) || t >= 256) {
            D3DMATRIX m;
            device->GetTransform(D3DTRANSFORMSTATETYPE(t), &m);
            add(&m, sizeof(m));
        }
    for (DWORD i = 0; i < 8; ++i) {
        D3DLIGHT9 light{};
        BOOL on = FALSE;
        // A braced list is evaluated in order: the enable flag after its call.
        out.insert(out.end(), {DWORD(device->GetLight(i, &light)), DWORD(device->GetLightEnable(i, &on)), DWORD(on)});
    }
    float planes[6][4] = {};
    for (DWORD i = 0; i < 6; ++i)
        device->GetClipPlane(i, planes[i]);
    D3DMATERIAL9 material;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    device->GetMaterial(&material);
    device->GetViewport(&viewport);
    device->GetScissorRect(&scissor);
    add(planes, sizeof(planes));
    add(&material, sizeof(material));
    add(&viewport, sizeof(viewport));
    add(&scissor, sizeof(scissor));
    got(device->GetFVF(&v));

    Com<IDirect3DVertexDeclaration9> declaration;
    Com<IDirect3DIndexBuffer9> indices;
    device->GetVertexDeclaration(declaration.out());
    device->GetIndices(indices.out());
    out.insert(out.end(), {DWORD(bool(declaration)), DWORD(bool(indices))});
    for (UINT s = 0; s < 16; ++s) {
        Com<IDirect3DVertexBuffer9> stream;
        UINT offset = 7, stride = 7, frequency = 7;
        device->GetStreamSource(s, stream.out(), &offset, &stride);
        device->GetStreamSourceFreq(s, &frequency);
        out.insert(out.end(), {DWORD(bool(stream)), offset, stride, frequency});
    }
    for (DWORD stage = 0; stage < 8; ++stage) {
        Com<IDirect3DBaseTexture9> texture;
        device->GetTexture(stage, texture.out());
        out.push_back(bool(texture));
    }
    return out;
}

} // namespace

TEST_F(DeviceTest, BackBufferIsReadDirectlyOnlyWhenLockableAndSingleSampled)
{
    // D3DPRESENTFLAG_LOCKABLE_BACKBUFFER is what makes a back buffer lockable.
    D3DLOCKED_RECT locked;
    EXPECT_EQ(D3DERR_INVALIDCALL, backBuffer()->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    D3DPRESENT_PARAMETERS p = parameters;
    p.BackBufferWidth = p.BackBufferHeight = 16;
    p.Flags |= D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
    EXPECT_EQ(0x123456u, readPixel(backBuffer().get(), 3, 3) & 0xFFFFFF);

    // Multisampled back buffers cannot be lockable at all, nor copied to
    // memory (StretchRect resolves them first).
    p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    p.Flags &= ~D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    Com<IDirect3DSurface9> back = backBuffer(), memory;
    EXPECT_EQ(D3DERR_INVALIDCALL, back->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, memory.out(),
                                                          nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetRenderTargetData(back.get(), memory.get()));
}

TEST_F(DeviceTest, ResetReturnsEveryStateAndBindingToTheDefaults)
{
    // The device, fresh from creation, tells the defaults.
    const std::vector<DWORD> defaults = stateOf(device.get());

    // Change everything there is to change, and bind objects that survive
    // a reset (managed and system memory).
    stateOf(device.get(), true);
    D3DMATRIX scale{};
    scale._11 = 2.0f;
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE3, D3DTS_WORLDMATRIX(200)})
        device->SetTransform(t, &scale);
    D3DMATERIAL9 material{};
    material.Power = 8.0f;
    device->SetMaterial(&material);
    // Enabling a light that was never set makes a default light.
    device->LightEnable(5, TRUE);
    const float plane[4] = {1, 2, 3, 4};
    device->SetClipPlane(2, plane);
    const D3DVIEWPORT9 viewport{4, 4, 20, 20, 0.25f, 0.75f};
    device->SetViewport(&viewport);
    const RECT scissor{1, 2, 3, 4};
    device->SetScissorRect(&scissor);
    Com<IDirect3DTexture9> texture;
    Com<IDirect3DVertexBuffer9> vertices;
    Com<IDirect3DIndexBuffer9> indices;
    Com<IDirect3DVertexDeclaration9> declaration;
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                          D3DDECL_END()};
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vertices.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, indices.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
    device->SetTexture(7, texture.get());
    device->SetStreamSource(3, vertices.get(), 4, 12);
    device->SetStreamSourceFreq(3, D3DSTREAMSOURCE_INDEXEDDATA | 2);
    device->SetIndices(indices.get());
    device->SetVertexDeclaration(declaration.get());
    ASSERT_NE(defaults, stateOf(device.get()));

    ASSERT_EQ(D3D_OK, device->Reset(&parameters));
    const std::vector<DWORD> after = stateOf(device.get());
    const auto differing = std::mismatch(defaults.begin(), defaults.end(), after.begin(), after.end()).first;
    EXPECT_TRUE(differing == defaults.end()) << "state word " << differing - defaults.begin() << " is not the default";
    // The targets are the new back buffer and automatic depth buffer; what
    // was bound keeps only the references its owner holds.
    Com<IDirect3DSurface9> target, depth;
    device->GetRenderTarget(0, target.out());
    device->GetDepthStencilSurface(depth.out());
    EXPECT_EQ(backBuffer().get(), target.get());
    EXPECT_TRUE(depth);
    for (IUnknown* object : std::initializer_list<IUnknown*>{texture.get(), vertices.get(), indices.get(),
                                                             declaration.get()})
        EXPECT_EQ(1u, refCount(object));
}
