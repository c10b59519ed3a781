// Reference counting, Reset and lost devices, scenes and presentation.

#include "D3DTestSupport.h"

#include <vector>

using namespace d3dtest;

TEST_F(DeviceTest, ResourcesHoldTheDeviceAndGettersAddReferences)
{
    EXPECT_EQ(1u, refCount(device.get()));
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    EXPECT_EQ(2u, refCount(device.get()));
    EXPECT_EQ(4u, texture->GetLevelCount());

    // A level surface shares its texture's count and keeps it alive.
    Com<IDirect3DSurface9> level;
    ASSERT_EQ(D3D_OK, texture->GetSurfaceLevel(1, level.out()));
    EXPECT_EQ(2u, refCount(texture.get()));
    EXPECT_EQ(2u, refCount(level.get()));
    IDirect3DTexture9* raw = texture.detach();
    EXPECT_EQ(1u, raw->Release());
    Com<IDirect3DTexture9> container;
    ASSERT_EQ(D3D_OK, level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(container.out())));
    EXPECT_EQ(raw, container.get());
    container.reset();
    level.reset();
    EXPECT_EQ(1u, refCount(device.get()));

    // The back buffer: each getter adds a reference that is the caller's,
    // and holding it holds the device.
    Com<IDirect3DSurface9> first, second;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, first.out());
    device->GetRenderTarget(0, second.out());
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(2u, refCount(first.get()));
    EXPECT_EQ(2u, refCount(device.get()));
}

TEST_F(DeviceTest, BoundObjectsLiveOnWhileTheDeviceHoldsThem)
{
    const UINT live = SwD3D9GetLiveObjectCount();
    Com<IDirect3DTexture9> texture;
    Com<IDirect3DVertexBuffer9> vertices;
    Com<IDirect3DIndexBuffer9> indices;
    device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr);
    device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_MANAGED, vertices.out(), nullptr);
    device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, indices.out(), nullptr);
    ASSERT_EQ(D3D_OK, device->SetTexture(3, texture.get()));
    ASSERT_EQ(D3D_OK, device->SetStreamSource(0, vertices.get(), 0, 12));
    ASSERT_EQ(D3D_OK, device->SetIndices(indices.get()));
    const UINT created = SwD3D9GetLiveObjectCount();
    // Binding does not change what the application holds.
    EXPECT_EQ(1u, refCount(texture.get()));
    IDirect3DTexture9* rawTexture = texture.get();
    texture.reset();
    vertices.reset();
    indices.reset();
    EXPECT_EQ(created, SwD3D9GetLiveObjectCount());

    Com<IDirect3DBaseTexture9> bound;
    ASSERT_EQ(D3D_OK, device->GetTexture(3, bound.out()));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(rawTexture), bound.get());
    EXPECT_EQ(1u, refCount(bound.get()));
    bound.reset();

    // Unbinding lets them go.
    device->SetTexture(3, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    EXPECT_EQ(live, SwD3D9GetLiveObjectCount());
}

TEST_F(DeviceTest, ReleasingTheDeviceLastFreesWhatItStillBinds)
{
    Com<IDirect3DTexture9> texture;
    device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out(), nullptr);
    Com<IDirect3DSurface9> level;
    texture->GetSurfaceLevel(0, level.out());
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, level.get()));
    device->SetTexture(0, texture.get());
    level.reset();
    texture.reset();
    // The fixture checks that nothing is left once the device goes.
}

TEST_F(DeviceTest, ResetRefusesWhileDefaultPoolResourcesLive)
{
    Com<IDirect3DTexture9> managed, scratchless;
    Com<IDirect3DSurface9> target, systemCopy;
    device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.out(), nullptr);
    device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, systemCopy.out(), nullptr);
    device->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, target.out(), nullptr);

    D3DPRESENT_PARAMETERS p = parameters;
    p.BackBufferWidth = 100;
    p.BackBufferHeight = 80;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    // A failed reset leaves the device waiting for a good one.
    EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());

    // Held back buffers block it too.
    target.reset();
    Com<IDirect3DSurface9> held = backBuffer();
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    held.reset();

    // A default-pool texture held only by a binding goes with the binding.
    device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, scratchless.out(), nullptr);
    device->SetTexture(0, scratchless.get());
    scratchless.reset();
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());

    // New back buffer and depth buffer at the new size, viewport over it.
    Com<IDirect3DSurface9> buffer = backBuffer(), depth;
    D3DSURFACE_DESC desc;
    buffer->GetDesc(&desc);
    EXPECT_EQ(100u, desc.Width);
    EXPECT_EQ(80u, desc.Height);
    ASSERT_EQ(D3D_OK, device->GetDepthStencilSurface(depth.out()));
    depth->GetDesc(&desc);
    EXPECT_EQ(100u, desc.Width);
    EXPECT_EQ(D3DFMT_D24S8, desc.Format);
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(100u, viewport.Width);
    EXPECT_EQ(80u, viewport.Height);
    // Managed and system-memory resources survive.
    D3DSURFACE_DESC levelDesc;
    EXPECT_EQ(D3D_OK, managed->GetLevelDesc(0, &levelDesc));
    EXPECT_EQ(D3D_OK, systemCopy->GetDesc(&levelDesc));
}

TEST_F(DeviceTest, ResetWithZeroSizeTakesTheWindowsClientSize)
{
    MoveWindow(window, 0, 0, 33, 22, FALSE);
    D3DPRESENT_PARAMETERS p = parameters;
    p.BackBufferWidth = 0;
    p.BackBufferHeight = 0;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    EXPECT_EQ(33u, p.BackBufferWidth);
    EXPECT_EQ(22u, p.BackBufferHeight);
    D3DSURFACE_DESC desc;
    backBuffer()->GetDesc(&desc);
    EXPECT_EQ(33u, desc.Width);
}

TEST_F(DeviceTest, LostDeviceSequence)
{
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->EndScene());
    ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(D3D_OK, SwD3D9LoseDevice(device.get()));

    // Resetting before anyone has seen the loss fails with it.
    D3DPRESENT_PARAMETERS p = parameters;
    EXPECT_EQ(D3DERR_DEVICELOST, device->Reset(&p));
    EXPECT_EQ(D3DERR_DEVICELOST, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());
    EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
    // Drawing and clearing quietly do nothing meanwhile.
    EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());
    EXPECT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
}

TEST_F(DeviceTest, PresentReportingLossLetsTheNextResetRecover)
{
    // The renderer's frame loop: Present reports the loss, Reset repairs.
    SwD3D9LoseDevice(device.get());
    EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
    D3DPRESENT_PARAMETERS p = parameters;
    EXPECT_EQ(D3D_OK, device->Reset(&p));
}

TEST_F(DeviceTest, ScenesDoNotNest)
{
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndScene());
    EXPECT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndScene());
}

TEST_F(DeviceTest, PresentShowsTheBackBufferInTheWindow)
{
    UINT width = 0, height = 0;
    EXPECT_EQ(D3DERR_NOTFOUND, SwD3D9GetPresentedImage(window, &width, &height, nullptr, 0));
    const D3DRECT left{0, 0, 32, 48};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1.0f, 0);
    device->Clear(1, &left, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 128, 0), 1.0f, 0);
    ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(D3D_OK, SwD3D9GetPresentedImage(window, &width, &height, nullptr, 0));
    EXPECT_EQ(64u, width);
    EXPECT_EQ(48u, height);
    std::vector<DWORD> pixels(width * height);
    EXPECT_EQ(D3DERR_MOREDATA, SwD3D9GetPresentedImage(window, &width, &height, pixels.data(), 16));
    ASSERT_EQ(D3D_OK, SwD3D9GetPresentedImage(window, &width, &height, pixels.data(),
                                              static_cast<UINT>(pixels.size() * 4)));
    EXPECT_EQ(0xFFFF8000u, pixels[0]);
    EXPECT_EQ(0xFFFF8000u, pixels[47 * 64 + 31]);
    EXPECT_EQ(0xFF0000FFu, pixels[47 * 64 + 32]);
    // Rectangles belong to the copy swap effect.
    const RECT part{0, 0, 8, 8};
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Present(&part, nullptr, nullptr, nullptr));
}

TEST_F(DeviceTest, AdditionalSwapChainsBlockResetUntilReleased)
{
    HWND other = makeWindow(20, 10);
    D3DPRESENT_PARAMETERS p = windowedParameters(other, D3DFMT_UNKNOWN);
    Com<IDirect3DSwapChain9> chain;
    ASSERT_EQ(D3D_OK, device->CreateAdditionalSwapChain(&p, chain.out()));
    Com<IDirect3DSurface9> buffer;
    ASSERT_EQ(D3D_OK, chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, buffer.out()));
    ASSERT_EQ(D3D_OK, device->ColorFill(buffer.get(), nullptr, D3DCOLOR_XRGB(1, 2, 3)));
    buffer.reset();
    ASSERT_EQ(D3D_OK, chain->Present(nullptr, nullptr, nullptr, nullptr, 0));
    DWORD pixel = 0;
    UINT w, h;
    ASSERT_EQ(D3D_OK, SwD3D9GetPresentedImage(other, &w, &h, nullptr, 0));
    std::vector<DWORD> pixels(w * h);
    SwD3D9GetPresentedImage(other, &w, &h, pixels.data(), static_cast<UINT>(pixels.size() * 4));
    pixel = pixels[0];
    EXPECT_EQ(0xFF010203u, pixel);
    D3DPRESENT_PARAMETERS reset = parameters;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&reset));
    chain.reset();
    EXPECT_EQ(D3D_OK, device->Reset(&reset));
    DestroyWindow(other);
}
