// Calls where Windows drivers answer otherwise than the Direct3D 9
// documentation, or where the documentation leaves the answer open: clears,
// viewports, StretchRect between surfaces and depth buffers, back buffers,
// display modes and front-buffer copies. The device follows the drivers.

#include "D3DTestSupport.h"

using namespace d3dtest;

namespace {

class DriverAnswersTest : public DeviceTest
{
protected:
    Com<IDirect3DSurface9> renderTarget(UINT w, UINT h, D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE)
    {
        Com<IDirect3DSurface9> s;
        EXPECT_EQ(D3D_OK, device->CreateRenderTarget(w, h, D3DFMT_A8R8G8B8, samples, 0,
                                                     samples == D3DMULTISAMPLE_NONE, s.out(), nullptr));
        return Com<IDirect3DSurface9>(s.detach());
    }

    Com<IDirect3DSurface9> depthStencil(UINT w, UINT h, D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE)
    {
        Com<IDirect3DSurface9> s;
        EXPECT_EQ(D3D_OK, device->CreateDepthStencilSurface(w, h, D3DFMT_D24S8, samples, 0, FALSE, s.out(), nullptr));
        return Com<IDirect3DSurface9>(s.detach());
    }

    // A red rectangle over the whole target at depth z, depth-tested with
    // LESS and written.
    void drawAtDepth(UINT w, UINT h, float z)
    {
        struct V {
            float x, y, z, rhw;
            DWORD c;
        };
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        const V quad[4] = {{0, 0, z, 1, 0xFFFF0000}, {fw, 0, z, 1, 0xFFFF0000}, {0, fh, z, 1, 0xFFFF0000},
                           {fw, fh, z, 1, 0xFFFF0000}};
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        device->EndScene();
    }
};

} // namespace

// A count of zero with rectangles clears nothing; a count without
// rectangles clears the viewport. (The documentation calls both invalid.)
TEST_F(DriverAnswersTest, ClearCountAndRectanglesFollowTheDrivers)
{
    Com<IDirect3DSurface9> target = renderTarget(8, 8);
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0));
    const D3DRECT whole{0, 0, 8, 8};
    EXPECT_EQ(D3D_OK, device->Clear(0, &whole, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0));
    EXPECT_EQ(0xFF102030u, readPixel(target.get(), 4, 4));

    const D3DVIEWPORT9 viewport{2, 2, 4, 4, 0.0f, 1.0f};
    ASSERT_EQ(D3D_OK, device->SetViewport(&viewport));
    EXPECT_EQ(D3D_OK, device->Clear(1, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
    EXPECT_EQ(0xFF00FF00u, readPixel(target.get(), 2, 2));
    EXPECT_EQ(0xFF00FF00u, readPixel(target.get(), 5, 5));
    EXPECT_EQ(0xFF102030u, readPixel(target.get(), 1, 1));
    EXPECT_EQ(0xFF102030u, readPixel(target.get(), 6, 6));
}

// A viewport larger than the render target is accepted (the documentation
// says it fails); clears and draws keep to the target.
TEST_F(DriverAnswersTest, ViewportsLargerThanTheTargetAreAccepted)
{
    Com<IDirect3DSurface9> target = renderTarget(16, 12);
    Com<IDirect3DSurface9> depth = depthStencil(16, 12);
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
    ASSERT_EQ(D3D_OK, device->SetDepthStencilSurface(depth.get()));
    const D3DVIEWPORT9 huge{0, 0, 10000, 10000, 0.0f, 1.0f};
    ASSERT_EQ(D3D_OK, device->SetViewport(&huge));
    D3DVIEWPORT9 got;
    ASSERT_EQ(D3D_OK, device->GetViewport(&got));
    EXPECT_EQ(10000u, got.Width);
    EXPECT_EQ(10000u, got.Height);
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0));
    EXPECT_EQ(0xFF0000FFu, readPixel(target.get(), 15, 11));

    // Clip space maps onto the 10000-pixel square: a triangle with legs of
    // 0.002 in clip space covers the pixels with x + y below 10.
    struct V {
        float x, y, z;
        DWORD c;
    };
    const V tri[3] = {{-1.0f, 1.0f, 0.5f, 0xFFFF0000}, {-0.998f, 1.0f, 0.5f, 0xFFFF0000},
                      {-1.0f, 0.998f, 0.5f, 0xFFFF0000}};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0xFFFF0000u, readPixel(target.get(), 1, 1));
    EXPECT_EQ(0xFFFF0000u, readPixel(target.get(), 3, 4));
    EXPECT_EQ(0xFF0000FFu, readPixel(target.get(), 6, 6));
    EXPECT_EQ(0xFF0000FFu, readPixel(target.get(), 15, 11));

    // A viewport starting beyond the target draws and clears nothing there.
    const D3DVIEWPORT9 beyond{100, 100, 10, 10, 0.0f, 1.0f};
    ASSERT_EQ(D3D_OK, device->SetViewport(&beyond));
    EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
    EXPECT_EQ(0xFF0000FFu, readPixel(target.get(), 15, 11));
}

// StretchRect writes only into render targets: drivers refuse off-screen
// plain destinations, which the documentation's table lists.
TEST_F(DriverAnswersTest, StretchRectRefusesPlainDestinations)
{
    Com<IDirect3DSurface9> target = renderTarget(8, 8);
    Com<IDirect3DSurface9> plain;
    ASSERT_EQ(D3D_OK,
              device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, plain.out(), nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(target.get(), nullptr, plain.get(), nullptr, D3DTEXF_NONE));
    EXPECT_EQ(D3D_OK, device->StretchRect(plain.get(), nullptr, target.get(), nullptr, D3DTEXF_NONE));
}

// Depth-stencil copies take rectangles that cover the whole surface (as
// null ones do) and resolve a multisampled buffer into a single-sample one;
// the copied depth then decides what a draw keeps.
TEST_F(DriverAnswersTest, DepthStencilStretchRectTakesWholeRectanglesAndResolves)
{
    Com<IDirect3DSurface9> target = renderTarget(16, 16);
    Com<IDirect3DSurface9> multiTarget = renderTarget(16, 16, D3DMULTISAMPLE_4_SAMPLES);
    Com<IDirect3DSurface9> multiDepth = depthStencil(16, 16, D3DMULTISAMPLE_4_SAMPLES);
    Com<IDirect3DSurface9> singleDepth = depthStencil(16, 16);
    Com<IDirect3DSurface9> otherDepth = depthStencil(16, 16);

    const RECT whole{0, 0, 16, 16};
    const RECT part{0, 0, 8, 8};
    EXPECT_EQ(D3D_OK, device->StretchRect(otherDepth.get(), &whole, singleDepth.get(), &whole, D3DTEXF_NONE));
    EXPECT_EQ(D3D_OK, device->StretchRect(otherDepth.get(), nullptr, singleDepth.get(), &whole, D3DTEXF_NONE));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(otherDepth.get(), &part, singleDepth.get(), &part, D3DTEXF_NONE));
    // No copy from a single-sample buffer into a multisampled one.
    EXPECT_EQ(D3DERR_INVALIDCALL,
              device->StretchRect(singleDepth.get(), nullptr, multiDepth.get(), nullptr, D3DTEXF_NONE));

    // The multisampled buffer holds depth 0.25 everywhere.
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, multiTarget.get()));
    ASSERT_EQ(D3D_OK, device->SetDepthStencilSurface(multiDepth.get()));
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.25f, 0));
    ASSERT_EQ(D3D_OK, device->StretchRect(multiDepth.get(), nullptr, singleDepth.get(), nullptr, D3DTEXF_NONE));

    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
    ASSERT_EQ(D3D_OK, device->SetDepthStencilSurface(singleDepth.get()));
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0));
    drawAtDepth(16, 16, 0.5f);
    EXPECT_EQ(0xFF0000FFu, readPixel(target.get(), 8, 8)) << "behind the copied depth";
    drawAtDepth(16, 16, 0.125f);
    EXPECT_EQ(0xFFFF0000u, readPixel(target.get(), 8, 8)) << "in front of the copied depth";
    device->SetDepthStencilSurface(nullptr);
}

// A refused GetBackBuffer leaves the caller's pointer as it was.
TEST_F(DriverAnswersTest, RefusedBackBufferLeavesThePointer)
{
    IDirect3DSurface9* const marker = reinterpret_cast<IDirect3DSurface9*>(0x1234);
    IDirect3DSurface9* surface = marker;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetBackBuffer(0, 5, D3DBACKBUFFER_TYPE_MONO, &surface));
    EXPECT_EQ(marker, surface);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetBackBuffer(3, 0, D3DBACKBUFFER_TYPE_MONO, &surface));
    EXPECT_EQ(marker, surface);
    Com<IDirect3DSwapChain9> chain;
    ASSERT_EQ(D3D_OK, device->GetSwapChain(0, chain.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, chain->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &surface));
    EXPECT_EQ(marker, surface);
}

// The front buffer of a multisampled swap chain comes back with its X8
// byte as zero; a single-sample one with opaque alpha.
TEST_F(DriverAnswersTest, FrontBufferOfMultisampledChainsHasZeroAlpha)
{
    for (D3DMULTISAMPLE_TYPE samples : {D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_4_SAMPLES}) {
        D3DPRESENT_PARAMETERS p = windowedParameters(window);
        p.MultiSampleType = samples;
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 48;
        device.reset();
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, device.out()));
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(10, 20, 30), 1.0f, 0));
        ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
        Com<IDirect3DSurface9> copy;
        ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(64, 48, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, copy.out(),
                                                              nullptr));
        ASSERT_EQ(D3D_OK, device->GetFrontBufferData(0, copy.get()));
        const DWORD expected = samples == D3DMULTISAMPLE_NONE ? 0xFF0A141Eu : 0x000A141Eu;
        EXPECT_EQ(expected, readPixel(copy.get(), 5, 5)) << "samples " << samples;
    }
}

// Display modes: a format that is not a display format is an invalid call;
// a full-screen device switches the adapter's mode until it goes.
TEST(DisplayModes, FullScreenDevicesSwitchTheAdapterMode)
{
    Com<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_TRUE(d3d);
    D3DDISPLAYMODE mode;
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 0, &mode));
    EXPECT_EQ(D3DERR_INVALIDCALL, d3d->EnumAdapterModes(0, D3DFMT_D24S8, 0, &mode));
    EXPECT_EQ(D3D_OK, d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &mode));

    D3DDISPLAYMODE desktop;
    ASSERT_EQ(D3D_OK, d3d->GetAdapterDisplayMode(0, &desktop));
    HWND window = makeWindow(64, 48);
    ASSERT_NE(nullptr, window);
    for (UINT width : {640u, 800u}) {
        const UINT height = width * 3 / 4;
        D3DPRESENT_PARAMETERS p = windowedParameters(window);
        p.Windowed = FALSE;
        p.BackBufferWidth = width;
        p.BackBufferHeight = height;
        p.BackBufferCount = 1;
        Com<IDirect3DDevice9> device;
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, device.out()));
        ASSERT_EQ(D3D_OK, d3d->GetAdapterDisplayMode(0, &mode));
        EXPECT_EQ(width, mode.Width);
        EXPECT_EQ(height, mode.Height);
        EXPECT_EQ(D3DFMT_X8R8G8B8, mode.Format);
        device.reset();
        ASSERT_EQ(D3D_OK, d3d->GetAdapterDisplayMode(0, &mode));
        EXPECT_EQ(desktop.Width, mode.Width);
        EXPECT_EQ(desktop.Height, mode.Height);
    }
    DestroyWindow(window);
}
