// What done looks like: an application creates a device on a hidden
// window, fills resources, reads pixels back, saves them as PNG and
// survives a lost device.

#include "D3DTestSupport.h"

#include "sceneapi/KXTempFile.h"

using namespace d3dtest;

TEST(ApplicationFlow, HiddenWindowOffscreenRenderingReadBackAndLostDevice)
{
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(path), nullptr);
    ASSERT_NE(nullptr, window);
    Com<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    DWORD levels = 0;
    ASSERT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                      D3DMULTISAMPLE_NONMASKABLE, &levels));
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    p.MultiSampleQuality = levels - 1;
    Com<IDirect3DDevice9> device;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                        device.out()));
    // A zero-size window still gets a back buffer.
    EXPECT_EQ(1u, p.BackBufferWidth);

    // The off-screen renderer's sizing: reset to the target size, then a
    // multisampled target and a plain resolve surface of that size.
    p.BackBufferWidth = 32;
    p.BackBufferHeight = 16;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    Com<IDirect3DSurface9> target, resolve, memory, saved;
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(32, 16, D3DFMT_A8R8G8B8, p.MultiSampleType, p.MultiSampleQuality,
                                                 FALSE, target.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(32, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                 resolve.out(), nullptr));
    Com<IDirect3DTexture9> staging;
    ASSERT_EQ(D3D_OK, device->CreateTexture(32, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                            staging.out(), nullptr));
    staging->GetSurfaceLevel(0, memory.out());

    device->SetRenderTarget(0, target.get());
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                                    D3DCOLOR_ARGB(255, 10, 20, 30), 1.0f, 0));
    ASSERT_EQ(D3D_OK, device->EndScene());
    ASSERT_EQ(D3D_OK, device->StretchRect(target.get(), nullptr, resolve.get(), nullptr, D3DTEXF_NONE));
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(resolve.get(), memory.get()));
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, staging->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    // Rows are tightly packed, as raw-image copies assume.
    EXPECT_EQ(32 * 4, locked.Pitch);
    EXPECT_EQ(D3DCOLOR_ARGB(255, 10, 20, 30), static_cast<DWORD*>(locked.pBits)[16 * 32 - 1]);
    staging->UnlockRect(0);

    KXTempFile file(true, L"png");
    ASSERT_EQ(D3D_OK, D3DXSaveSurfaceToFileW(file.getFileName(), D3DXIFF_PNG, target.get(), nullptr, nullptr));
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3D_OK, D3DXGetImageInfoFromFileW(file.getFileName(), &info));
    EXPECT_EQ(32u, info.Width);

    // A lost device: the frame's Present reports it, the next frame's
    // reset repairs it once the default-pool surfaces are gone.
    SwD3D9LoseDevice(device.get());
    EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
    Com<IDirect3DSurface9> backBuffer;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.out());
    device->SetRenderTarget(0, backBuffer.get());
    backBuffer.reset();
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    target.reset();
    resolve.reset();
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());
    // The system-memory staging texture survived.
    EXPECT_EQ(D3D_OK, staging->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    staging->UnlockRect(0);

    memory.reset();
    staging.reset();
    device.reset();
    d3d.reset();
    DestroyWindow(window);
    EXPECT_EQ(liveBefore, SwD3D9GetLiveObjectCount());
}
