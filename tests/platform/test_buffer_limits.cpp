// Vertex and index buffers at the edges: creation that runs out of memory
// and the index widths a device's MaxVertexIndex allows.

#include "D3DTestSupport.h"

using namespace d3dtest;

namespace {

// Draws a triangle through an index buffer (whatever it holds) and from
// memory with indices of `format`, expecting `result` from both draws.
void expectIndexedDraws(IDirect3DDevice9* device, D3DFORMAT format, HRESULT result)
{
    const float triangle[3][4] = {{0, 0, 0.5f, 1}, {8, 0, 0.5f, 1}, {0, 8, 0.5f, 1}};
    const WORD list16[3] = {0, 1, 2};
    const DWORD list32[3] = {0, 1, 2};
    const bool wide = format == D3DFMT_INDEX32;
    const void* list = wide ? static_cast<const void*>(list32) : list16;
    Com<IDirect3DVertexBuffer9> vertices;
    Com<IDirect3DIndexBuffer9> indices;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(sizeof(triangle), 0, D3DFVF_XYZRHW, D3DPOOL_MANAGED, vertices.out(),
                                                 nullptr));
    // Index buffers of either width are created whatever MaxVertexIndex says.
    ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(wide ? 12 : 6, 0, format, D3DPOOL_MANAGED, indices.out(), nullptr));
    device->SetFVF(D3DFVF_XYZRHW);
    device->SetStreamSource(0, vertices.get(), 0, sizeof(triangle[0]));
    device->SetIndices(indices.get());
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(result, device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1)) << "format " << format;
    EXPECT_EQ(result, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, list, format, triangle,
                                                     sizeof(triangle[0])))
        << "format " << format;
    device->EndScene();
}

} // namespace

TEST_F(DeviceTest, BufferCreationFailsForTheKindsNamedUntilSwitchedOff)
{
    // Nothing below leaves the test early, so the switch is always ended.
    Com<IDirect3DVertexBuffer9> vb;
    Com<IDirect3DIndexBuffer9> ib;
    SwD3D9SetCreationFailures(SWD3D9_FAIL_VERTEXBUFFER);
    IDirect3DVertexBuffer9* untouched = reinterpret_cast<IDirect3DVertexBuffer9*>(0x1);
    EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &untouched, nullptr));
    EXPECT_EQ(nullptr, untouched);
    EXPECT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out(), nullptr));
    SwD3D9SetCreationFailures(SWD3D9_FAIL_INDEXBUFFER);
    EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY,
              device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_SYSTEMMEM, ib.out(), nullptr));
    EXPECT_EQ(D3D_OK, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, vb.out(), nullptr));
    SwD3D9SetCreationFailures(0);
    EXPECT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, ib.out(), nullptr));
}

TEST_F(DeviceTest, ThirtyTwoBitIndicesDrawOnlyWhereMaxVertexIndexExceedsSixteenBits)
{
    expectIndexedDraws(device.get(), D3DFMT_INDEX32, D3D_OK);

    SWD3D9CAPSOVERRIDE override;
    SwD3D9GetDefaultCaps(&override.Caps);
    override.Caps.MaxVertexIndex = 0xFFFF;
    override.RemovedFormatSupport = 0;
    SwD3D9SetCapsOverride(&override);
    Com<IDirect3D9> capped(Direct3DCreate9(D3D_SDK_VERSION));
    SwD3D9SetCapsOverride(nullptr);
    ASSERT_TRUE(capped);
    Com<IDirect3DDevice9> small;
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    ASSERT_EQ(D3D_OK, capped->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                           small.out()));
    expectIndexedDraws(small.get(), D3DFMT_INDEX32, D3DERR_INVALIDCALL);
    expectIndexedDraws(small.get(), D3DFMT_INDEX16, D3D_OK);
}
