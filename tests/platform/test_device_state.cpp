// Device state: documented defaults, setters and getters, and the rules
// that tie state to render targets.

#include "D3DTestSupport.h"

using namespace d3dtest;

namespace {

DWORD renderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state)
{
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(D3D_OK, device->GetRenderState(state, &value)) << state;
    return value;
}

} // namespace

TEST_F(DeviceTest, RenderStateDefaults)
{
    IDirect3DDevice9* d = device.get();
    // With an automatic depth buffer the z-buffer starts on.
    EXPECT_EQ(static_cast<DWORD>(D3DZB_TRUE), renderState(d, D3DRS_ZENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DFILL_SOLID), renderState(d, D3DRS_FILLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DSHADE_GOURAUD), renderState(d, D3DRS_SHADEMODE));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_ZWRITEENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ONE), renderState(d, D3DRS_SRCBLEND));
    EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ZERO), renderState(d, D3DRS_DESTBLEND));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_CCW), renderState(d, D3DRS_CULLMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_LESSEQUAL), renderState(d, D3DRS_ZFUNC));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_ALWAYS), renderState(d, D3DRS_ALPHAFUNC));
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(d, D3DRS_ALPHABLENDENABLE));
    EXPECT_EQ(static_cast<DWORD>(D3DBLENDOP_ADD), renderState(d, D3DRS_BLENDOP));
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(d, D3DRS_FOGENABLE));
    EXPECT_EQ(floatBits(0.0f), renderState(d, D3DRS_FOGSTART));
    EXPECT_EQ(floatBits(1.0f), renderState(d, D3DRS_FOGEND));
    EXPECT_EQ(floatBits(1.0f), renderState(d, D3DRS_FOGDENSITY));
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_NONE), renderState(d, D3DRS_FOGTABLEMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_NONE), renderState(d, D3DRS_FOGVERTEXMODE));
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), renderState(d, D3DRS_STENCILFAIL));
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), renderState(d, D3DRS_STENCILZFAIL));
    EXPECT_EQ(static_cast<DWORD>(D3DSTENCILOP_KEEP), renderState(d, D3DRS_STENCILPASS));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_ALWAYS), renderState(d, D3DRS_STENCILFUNC));
    EXPECT_EQ(0xFFFFFFFFu, renderState(d, D3DRS_STENCILMASK));
    EXPECT_EQ(0xFFFFFFFFu, renderState(d, D3DRS_STENCILWRITEMASK));
    EXPECT_EQ(0xFFFFFFFFu, renderState(d, D3DRS_TEXTUREFACTOR));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_LIGHTING));
    EXPECT_EQ(0u, renderState(d, D3DRS_AMBIENT));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_COLORVERTEX));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_LOCALVIEWER));
    EXPECT_EQ(static_cast<DWORD>(FALSE), renderState(d, D3DRS_NORMALIZENORMALS));
    EXPECT_EQ(static_cast<DWORD>(D3DMCS_COLOR1), renderState(d, D3DRS_DIFFUSEMATERIALSOURCE));
    EXPECT_EQ(static_cast<DWORD>(D3DMCS_COLOR2), renderState(d, D3DRS_SPECULARMATERIALSOURCE));
    EXPECT_EQ(static_cast<DWORD>(D3DMCS_MATERIAL), renderState(d, D3DRS_AMBIENTMATERIALSOURCE));
    EXPECT_EQ(0u, renderState(d, D3DRS_CLIPPLANEENABLE));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_CLIPPING));
    EXPECT_EQ(0x0000000Fu, renderState(d, D3DRS_COLORWRITEENABLE));
    EXPECT_EQ(0xFFFFFFFFu, renderState(d, D3DRS_BLENDFACTOR));
    EXPECT_EQ(0u, renderState(d, D3DRS_DEPTHBIAS));
    EXPECT_EQ(0u, renderState(d, D3DRS_SLOPESCALEDEPTHBIAS));
    EXPECT_EQ(floatBits(64.0f), renderState(d, D3DRS_POINTSIZE_MAX));
    EXPECT_EQ(static_cast<DWORD>(TRUE), renderState(d, D3DRS_MULTISAMPLEANTIALIAS));
    // States that do not exist are refused.
    DWORD value;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(10), &value));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1));

    ASSERT_EQ(D3D_OK, device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), renderState(d, D3DRS_CULLMODE));
}

TEST_F(DeviceTest, ZBufferStartsOffWithoutAutomaticDepthBuffer)
{
    D3DPRESENT_PARAMETERS p = windowedParameters(window, D3DFMT_UNKNOWN);
    Com<IDirect3DDevice9> other;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                        other.out()));
    EXPECT_EQ(static_cast<DWORD>(D3DZB_FALSE), renderState(other.get(), D3DRS_ZENABLE));
    Com<IDirect3DSurface9> depth;
    EXPECT_EQ(D3DERR_NOTFOUND, other->GetDepthStencilSurface(depth.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, other->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
}

TEST_F(DeviceTest, TextureStageAndSamplerDefaults)
{
    for (DWORD stage = 0; stage < 8; ++stage) {
        DWORD v;
        device->GetTextureStageState(stage, D3DTSS_COLOROP, &v);
        EXPECT_EQ(static_cast<DWORD>(stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE), v);
        device->GetTextureStageState(stage, D3DTSS_ALPHAOP, &v);
        EXPECT_EQ(static_cast<DWORD>(stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE), v);
        device->GetTextureStageState(stage, D3DTSS_COLORARG1, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTA_TEXTURE), v);
        device->GetTextureStageState(stage, D3DTSS_COLORARG2, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTA_CURRENT), v);
        device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(stage, v);
        device->GetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTTFF_DISABLE), v);
        device->GetTextureStageState(stage, D3DTSS_RESULTARG, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTA_CURRENT), v);
    }
    for (DWORD sampler : {0u, 7u, 15u, static_cast<DWORD>(D3DVERTEXTEXTURESAMPLER0)}) {
        DWORD v;
        ASSERT_EQ(D3D_OK, device->GetSamplerState(sampler, D3DSAMP_ADDRESSU, &v));
        EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), v);
        device->GetSamplerState(sampler, D3DSAMP_MAGFILTER, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), v);
        device->GetSamplerState(sampler, D3DSAMP_MIPFILTER, &v);
        EXPECT_EQ(static_cast<DWORD>(D3DTEXF_NONE), v);
        device->GetSamplerState(sampler, D3DSAMP_MAXANISOTROPY, &v);
        EXPECT_EQ(1u, v);
    }
    DWORD v;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetTextureStageState(8, D3DTSS_COLOROP, &v));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetSamplerState(16, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetTexture(16, nullptr));
}

TEST_F(DeviceTest, TransformsStartAsIdentityAndMultiplyOnTheLeft)
{
    const D3DTRANSFORMSTATETYPE types[] = {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0, D3DTS_TEXTURE7,
                                           D3DTS_WORLDMATRIX(255)};
    D3DXMATRIX identity, m;
    D3DXMatrixIdentity(&identity);
    for (D3DTRANSFORMSTATETYPE type : types) {
        ASSERT_EQ(D3D_OK, device->GetTransform(type, &m));
        EXPECT_TRUE(m == identity);
    }
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), &m));

    D3DXMATRIX scale, move, result;
    D3DXMatrixScaling(&scale, 2, 3, 4);
    D3DXMatrixTranslation(&move, 1, 2, 3);
    device->SetTransform(D3DTS_WORLD, &move);
    device->MultiplyTransform(D3DTS_WORLD, &scale);
    device->GetTransform(D3DTS_WORLD, &result);
    // The scale acts first, then the translation.
    EXPECT_TRUE(result == scale * move);
}

TEST_F(DeviceTest, ViewportFollowsTheFirstRenderTarget)
{
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(0u, viewport.X);
    EXPECT_EQ(64u, viewport.Width);
    EXPECT_EQ(48u, viewport.Height);
    EXPECT_EQ(0.0f, viewport.MinZ);
    EXPECT_EQ(1.0f, viewport.MaxZ);

    D3DVIEWPORT9 inside{4, 4, 10, 10, 0.25f, 0.75f};
    ASSERT_EQ(D3D_OK, device->SetViewport(&inside));
    device->GetViewport(&viewport);
    EXPECT_EQ(0.25f, viewport.MinZ);
    // A viewport past the target's side used to be refused here, as the
    // documentation says; drivers accept it.
    D3DVIEWPORT9 outside{60, 0, 10, 10, 0.0f, 1.0f};
    EXPECT_EQ(D3D_OK, device->SetViewport(&outside));
    D3DVIEWPORT9 empty{0, 0, 0, 10, 0.0f, 1.0f};
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetViewport(&empty));

    Com<IDirect3DSurface9> target;
    device->CreateRenderTarget(20, 10, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, target.out(), nullptr);
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
    device->GetViewport(&viewport);
    EXPECT_EQ(20u, viewport.Width);
    EXPECT_EQ(10u, viewport.Height);
    EXPECT_EQ(0.0f, viewport.MinZ);
    // The first target cannot be removed, and only render targets qualify.
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetRenderTarget(0, nullptr));
    Com<IDirect3DSurface9> plain;
    device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, plain.out(), nullptr);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetRenderTarget(0, plain.get()));
    Com<IDirect3DSurface9> bound;
    device->GetRenderTarget(0, bound.out());
    EXPECT_EQ(target.get(), bound.get());
}

TEST_F(DeviceTest, MaterialLightsAndClipPlanes)
{
    D3DMATERIAL9 material;
    ASSERT_EQ(D3D_OK, device->GetMaterial(&material));
    EXPECT_EQ(0.0f, material.Diffuse.r);
    material.Diffuse = D3DCOLORVALUE{1, 0.5f, 0.25f, 1};
    material.Power = 8;
    device->SetMaterial(&material);
    D3DMATERIAL9 back;
    device->GetMaterial(&back);
    EXPECT_EQ(0, std::memcmp(&material, &back, sizeof(back)));

    D3DLIGHT9 light;
    BOOL enabled;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetLight(0, &light));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetLightEnable(0, &enabled));
    // Enabling a light never set makes the default white directional light.
    ASSERT_EQ(D3D_OK, device->LightEnable(3, TRUE));
    ASSERT_EQ(D3D_OK, device->GetLight(3, &light));
    EXPECT_EQ(D3DLIGHT_DIRECTIONAL, light.Type);
    EXPECT_EQ(1.0f, light.Diffuse.r);
    EXPECT_EQ(1.0f, light.Direction.z);
    device->GetLightEnable(3, &enabled);
    EXPECT_TRUE(enabled);

    std::memset(&light, 0, sizeof(light));
    light.Type = D3DLIGHT_SPOT;
    light.Direction = D3DVECTOR{0, 0, -1};
    light.Range = 10;
    light.Attenuation0 = 1;
    light.Theta = 0.5f;
    light.Phi = 0.25f;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetLight(1000, &light)); // phi below theta
    light.Phi = 1.0f;
    ASSERT_EQ(D3D_OK, device->SetLight(1000, &light));
    device->GetLightEnable(1000, &enabled);
    EXPECT_FALSE(enabled);
    light.Range = -1;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetLight(1000, &light));

    const float plane[4] = {0, 0, 1, -0.5f};
    float out[4];
    ASSERT_EQ(D3D_OK, device->SetClipPlane(5, plane));
    ASSERT_EQ(D3D_OK, device->GetClipPlane(5, out));
    EXPECT_EQ(-0.5f, out[3]);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetClipPlane(6, plane));
}

TEST_F(DeviceTest, VertexLayoutsStreamsAndIndices)
{
    DWORD fvf = 1;
    device->GetFVF(&fvf);
    EXPECT_EQ(0u, fvf);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    device->GetFVF(&fvf);
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1), fvf);

    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    Com<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
    UINT count = 0;
    declaration->GetDeclaration(nullptr, &count);
    EXPECT_EQ(2u, count);
    device->SetVertexDeclaration(declaration.get());
    device->GetFVF(&fvf);
    EXPECT_EQ(0u, fvf);
    device->SetFVF(D3DFVF_XYZ);
    Com<IDirect3DVertexDeclaration9> current;
    device->GetVertexDeclaration(current.out());
    EXPECT_FALSE(current);

    Com<IDirect3DVertexBuffer9> buffer, got;
    device->CreateVertexBuffer(240, 0, 0, D3DPOOL_DEFAULT, buffer.out(), nullptr);
    ASSERT_EQ(D3D_OK, device->SetStreamSource(1, buffer.get(), 12, 24));
    UINT offset = 0, stride = 0;
    ASSERT_EQ(D3D_OK, device->GetStreamSource(1, got.out(), &offset, &stride));
    EXPECT_EQ(buffer.get(), got.get());
    EXPECT_EQ(12u, offset);
    EXPECT_EQ(24u, stride);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetStreamSource(16, buffer.get(), 0, 24));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetStreamSource(0, buffer.get(), 0, 4096));
}
