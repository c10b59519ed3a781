// The Direct3D object: adapter checks, capabilities, device creation and
// capability overrides.

#include "D3DTestSupport.h"

using namespace d3dtest;

namespace {

class Direct3DTest : public ::testing::Test
{
protected:
    void SetUp() override { d3d.reset(), *d3d.out() = Direct3DCreate9(D3D_SDK_VERSION); }
    void TearDown() override { SwD3D9SetCapsOverride(nullptr); }
    Com<IDirect3D9> d3d;
};

} // namespace

TEST_F(Direct3DTest, OnlyTheSdkVersionCreatesAndTheObjectCountsReferences)
{
    EXPECT_EQ(nullptr, Direct3DCreate9(31));
    ASSERT_TRUE(d3d);
    EXPECT_EQ(1u, d3d->GetAdapterCount());
    EXPECT_EQ(2u, d3d->AddRef());
    EXPECT_EQ(1u, d3d->Release());
    Com<IUnknown> unknown;
    ASSERT_EQ(S_OK, d3d->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.out())));
    EXPECT_EQ(2u, refCount(unknown.get()));
    void* nothing = &nothing;
    EXPECT_EQ(E_NOINTERFACE, d3d->QueryInterface(IID_IDirect3DDevice9, &nothing));
    EXPECT_EQ(nullptr, nothing);
}

TEST_F(Direct3DTest, DeviceTypesAndFormatsTheLibraryProbes)
{
    for (BOOL windowed : {TRUE, FALSE}) {
        EXPECT_EQ(D3D_OK, d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, windowed));
        EXPECT_EQ(D3D_OK, d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, windowed));
    }
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE));
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE));
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE));
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->CheckDeviceType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE));

    for (D3DFORMAT adapter : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24S8}) {
            EXPECT_EQ(D3D_OK, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, adapter, D3DUSAGE_DEPTHSTENCIL,
                                                     D3DRTYPE_SURFACE, depth));
            EXPECT_EQ(D3D_OK, d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, adapter, adapter, depth));
        }
    }
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                             D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8));
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                             D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE,
                                             D3DFMT_A8R8G8B8));
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                             D3DFMT_A8B8G8R8));
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_CUBETEXTURE,
                                             D3DFMT_A8R8G8B8));
    // No depth textures, no compressed textures, no render targets of
    // formats the pipeline does not write.
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                                          D3DRTYPE_TEXTURE, D3DFMT_D24S8));
    EXPECT_EQ(D3DERR_NOTAVAILABLE,
              d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1));
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                                          D3DRTYPE_SURFACE, D3DFMT_A8B8G8R8));
}

TEST_F(Direct3DTest, NonMaskableMultisamplingHasQualityLevels)
{
    DWORD levels = 0;
    ASSERT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                      D3DMULTISAMPLE_NONMASKABLE, &levels));
    EXPECT_EQ(2u, levels);
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_D24S8, TRUE,
                                                      D3DMULTISAMPLE_NONMASKABLE, nullptr));
    EXPECT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE,
                                                      D3DMULTISAMPLE_4_SAMPLES, &levels));
    EXPECT_EQ(1u, levels);
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                                   D3DMULTISAMPLE_8_SAMPLES, &levels));
}

TEST_F(Direct3DTest, CapsDescribeTheSoftwareDevice)
{
    D3DCAPS9 caps;
    ASSERT_EQ(D3D_OK, d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps));
    EXPECT_EQ(D3DDEVTYPE_HAL, caps.DeviceType);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.RasterCaps & D3DPRASTERCAPS_DEPTHBIAS);
    EXPECT_TRUE(caps.RasterCaps & D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS);
    EXPECT_TRUE(caps.TextureFilterCaps & D3DPTFILTERCAPS_MIPFLINEAR);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_MODULATE);
    EXPECT_EQ(8u, caps.MaxActiveLights);
    EXPECT_EQ(6u, caps.MaxUserClipPlanes);
    EXPECT_EQ(8u, caps.MaxSimultaneousTextures);
    EXPECT_GE(caps.MaxVertexIndex, 0xFFFFu);
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps));
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, nullptr));
}

// What the caps claim has to work: bump mapping needs a bump-map format
// to sample (none is available, so the operations are not claimed), and
// USHORT4N elements are read (the pictures are tested with the pipeline).
TEST_F(Direct3DTest, CapsClaimOnlyWhatTheDeviceDoes)
{
    D3DCAPS9 caps;
    ASSERT_EQ(D3D_OK, d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps));
    const bool bumpFormat = SUCCEEDED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                                             D3DRTYPE_TEXTURE, D3DFMT_V8U8));
    EXPECT_EQ(bumpFormat, (caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP) != 0);
    EXPECT_EQ(bumpFormat, (caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAPLUMINANCE) != 0);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3);
    EXPECT_TRUE(caps.DeclTypes & D3DDTCAPS_USHORT4N);
    // Pre-transformed vertices are not clipped, and the caps say so.
    EXPECT_FALSE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_CLIPTLVERTS);
}

TEST_F(Direct3DTest, OverridesApplyToLaterObjectsOnly)
{
    SWD3D9CAPSOVERRIDE override;
    SwD3D9GetDefaultCaps(&override.Caps);
    override.Caps.MaxVertexIndex = 0xFFFF;
    override.Caps.RasterCaps &= ~D3DPRASTERCAPS_DEPTHBIAS;
    override.Caps.MaxTextureWidth = override.Caps.MaxTextureHeight = 256;
    override.RemovedFormatSupport = SWD3D9_NO_D24S8 | SWD3D9_NO_MULTISAMPLE;
    SwD3D9SetCapsOverride(&override);
    Com<IDirect3D9> overridden(Direct3DCreate9(D3D_SDK_VERSION));

    D3DCAPS9 caps;
    overridden->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps);
    EXPECT_EQ(0xFFFFu, caps.MaxVertexIndex);
    EXPECT_FALSE(caps.RasterCaps & D3DPRASTERCAPS_DEPTHBIAS);
    EXPECT_EQ(D3DERR_NOTAVAILABLE, overridden->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                                                 D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                                                 D3DFMT_D24S8));
    EXPECT_EQ(D3DERR_NOTAVAILABLE, overridden->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                                          D3DMULTISAMPLE_NONMASKABLE, nullptr));
    // The object made before keeps what it had.
    d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps);
    EXPECT_EQ(0x00FFFFFFu, caps.MaxVertexIndex);

    // The device honours the overridden limits.
    HWND window = makeWindow(16, 16);
    D3DPRESENT_PARAMETERS p = windowedParameters(window, D3DFMT_D24S8);
    Com<IDirect3DDevice9> device;
    EXPECT_EQ(D3DERR_INVALIDCALL, overridden->CreateDevice(0, D3DDEVTYPE_HAL, window,
                                                           D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, device.out()));
    p = windowedParameters(window, D3DFMT_D16);
    ASSERT_EQ(D3D_OK, overridden->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                               device.out()));
    Com<IDirect3DTexture9> texture;
    EXPECT_EQ(D3DERR_INVALIDCALL,
              device->CreateTexture(512, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    EXPECT_EQ(D3D_OK, device->CreateTexture(256, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    texture.reset();
    device.reset();
    DestroyWindow(window);
}

TEST_F(Direct3DTest, CreateDeviceChecksBehaviourAndParameters)
{
    HWND window = makeWindow(40, 30);
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    Com<IDirect3DDevice9> device;
    // Exactly one vertex-processing flag.
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &p, device.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL,
              d3d->CreateDevice(0, D3DDEVTYPE_HAL, window,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                device.out()));
    // Multisampling needs the discard swap effect and a quality below the count.
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    p.MultiSampleQuality = 2;
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                                    &p, device.out()));
    p.MultiSampleQuality = 1;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                        device.out()));
    // Zero sizes took the window's client size and were written back.
    EXPECT_EQ(40u, p.BackBufferWidth);
    EXPECT_EQ(30u, p.BackBufferHeight);
    EXPECT_EQ(1u, p.BackBufferCount);
    // The device holds the Direct3D object.
    EXPECT_EQ(2u, refCount(d3d.get()));
    device.reset();
    EXPECT_EQ(1u, refCount(d3d.get()));

    // Software vertex processing works where the capability is missing;
    // hardware does not.
    SWD3D9CAPSOVERRIDE override;
    SwD3D9GetDefaultCaps(&override.Caps);
    override.Caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    override.RemovedFormatSupport = 0;
    SwD3D9SetCapsOverride(&override);
    Com<IDirect3D9> plain(Direct3DCreate9(D3D_SDK_VERSION));
    p = windowedParameters(window);
    EXPECT_EQ(D3DERR_INVALIDCALL, plain->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                                      &p, device.out()));
    EXPECT_EQ(D3D_OK, plain->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                          device.out()));
    device.reset();
    DestroyWindow(window);
}
