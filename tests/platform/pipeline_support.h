#pragma once

// A device drawing into a small lockable render target with its own depth
// buffer, on the calling thread unless a test asks for more threads, and
// helpers to draw pre-transformed geometry and read the pixels back.

#include "D3DTestSupport.h"

#include <vector>

namespace d3dtest {

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD diffuse;
};
constexpr DWORD SCREEN_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

class PipelineTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), 1));
    }

    void TearDown() override
    {
        target.reset();
        depth.reset();
        DeviceTest::TearDown();
    }

    void makeTarget(UINT w, UINT h, D3DFORMAT format = D3DFMT_A8R8G8B8, D3DFORMAT depthFormat = D3DFMT_D24S8,
                    D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE)
    {
        width = w;
        height = h;
        ASSERT_EQ(D3D_OK, device->CreateRenderTarget(w, h, format, samples, 0, samples == D3DMULTISAMPLE_NONE,
                                                     target.out(), nullptr));
        ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
        depthHasStencil = depthFormat == D3DFMT_D24S8;
        if (depthFormat != D3DFMT_UNKNOWN) {
            ASSERT_EQ(D3D_OK, device->CreateDepthStencilSurface(w, h, depthFormat, samples, 0, FALSE, depth.out(),
                                                                nullptr));
            ASSERT_EQ(D3D_OK, device->SetDepthStencilSurface(depth.get()));
        } else {
            device->SetDepthStencilSurface(nullptr);
        }
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    void clear(D3DCOLOR color, float z = 1.0f, DWORD stencil = 0)
    {
        const DWORD flags = D3DCLEAR_TARGET | (depth ? D3DCLEAR_ZBUFFER : 0) | (depthHasStencil && depth ? D3DCLEAR_STENCIL : 0);
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, flags, color, z, stencil));
    }

    void drawScreen(D3DPRIMITIVETYPE type, const std::vector<ScreenVertex>& v, UINT primitives)
    {
        device->SetFVF(SCREEN_FVF);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(type, primitives, v.data(), sizeof(ScreenVertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    // A rectangle of two triangles with pixel-edge corners.
    void drawRect(float x0, float y0, float x1, float y1, float z, DWORD color)
    {
        std::vector<ScreenVertex> v = {{x0, y0, z, 1, color}, {x1, y0, z, 1, color}, {x0, y1, z, 1, color},
                                       {x1, y1, z, 1, color}};
        drawScreen(D3DPT_TRIANGLESTRIP, v, 2);
    }

    std::vector<DWORD> pixels32()
    {
        std::vector<DWORD> out(width * height);
        D3DLOCKED_RECT locked;
        if (FAILED(target->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
            return out;
        for (UINT y = 0; y < height; ++y)
            std::memcpy(&out[y * width], static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, width * 4);
        target->UnlockRect();
        return out;
    }

    DWORD pixel(UINT x, UINT y) { return readPixel(target.get(), static_cast<int>(x), static_cast<int>(y)); }

    Com<IDirect3DSurface9> target;
    Com<IDirect3DSurface9> depth;
    bool depthHasStencil = false;
    UINT width = 0;
    UINT height = 0;
};

inline int channel(DWORD color, int shift) { return static_cast<int>((color >> shift) & 0xFF); }

} // namespace d3dtest
