// Vertex and index buffers at the edges: creation that runs out of memory
// and the index widths a device's MaxVertexIndex allows.

#include "D3DTestSupport.h"

using namespace d3dtest;

namespace {

// Ends a simulated creation failure however the test leaves.
struct CreationFailures {
    explicit CreationFailures(DWORD kinds) { SwD3D9SetCreationFailures(kinds); }
    ~CreationFailures() { SwD3D9SetCreationFailures(0); }
};

} // namespace

TEST_F(DeviceTest, BufferCreationCanBeMadeToRunOutOfMemory)
{
    Com<IDirect3DVertexBuffer9> vb;
    Com<IDirect3DIndexBuffer9> ib;
    {
        CreationFailures failing(SWD3D9_FAIL_VERTEXBUFFER);
        IDirect3DVertexBuffer9* untouched = reinterpret_cast<IDirect3DVertexBuffer9*>(0x1);
        EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY,
                  device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &untouched, nullptr));
        EXPECT_EQ(nullptr, untouched);
        EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vb.out(), nullptr));
        EXPECT_FALSE(vb);
        // Only the kinds named fail; invalid calls stay invalid.
        EXPECT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out(), nullptr));
        EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, vb.out(), nullptr));
    }
    {
        CreationFailures failing(SWD3D9_FAIL_VERTEXBUFFER | SWD3D9_FAIL_INDEXBUFFER);
        EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY,
                  device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_SYSTEMMEM, ib.out(), nullptr));
        EXPECT_FALSE(ib);
        // Every device of the process is affected, including later ones.
        Com<IDirect3DDevice9> second;
        D3DPRESENT_PARAMETERS p = windowedParameters(window, D3DFMT_UNKNOWN);
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                            second.out()));
        EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY, second->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, vb.out(), nullptr));
        // Textures are not buffers.
        Com<IDirect3DTexture9> texture;
        EXPECT_EQ(D3D_OK, second->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    }
    // Zero ends it.
    EXPECT_EQ(D3D_OK, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, vb.out(), nullptr));
    EXPECT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, ib.out(), nullptr));
}

namespace {

// A device whose capabilities cap vertex indices at 16 bits, drawing into
// its back buffer with lighting off.
class SixteenBitIndexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SWD3D9CAPSOVERRIDE override;
        SwD3D9GetDefaultCaps(&override.Caps);
        override.Caps.MaxVertexIndex = 0xFFFF;
        override.RemovedFormatSupport = 0;
        SwD3D9SetCapsOverride(&override);
        d3d.reset();
        *d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
        SwD3D9SetCapsOverride(nullptr);
        ASSERT_TRUE(d3d);
        window = makeWindow(16, 16);
        D3DPRESENT_PARAMETERS p = windowedParameters(window);
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                            device.out()));
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    }

    void TearDown() override
    {
        device.reset();
        d3d.reset();
        DestroyWindow(window);
    }

    // The colour at the centre of the back buffer.
    DWORD centre()
    {
        Com<IDirect3DSurface9> back, copy;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out());
        device->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, copy.out(), nullptr);
        if (FAILED(device->GetRenderTargetData(back.get(), copy.get())))
            return 0xDEADBEEF;
        return readPixel(copy.get(), 8, 8) & 0xFFFFFF;
    }

    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    // A quad over the whole 16x16 target.
    const Vertex quad[4] = {{-1, -1, 0.5f, 1, 0xFF00FF00},
                            {17, -1, 0.5f, 1, 0xFF00FF00},
                            {-1, 17, 0.5f, 1, 0xFF00FF00},
                            {17, 17, 0.5f, 1, 0xFF00FF00}};

    HWND window = nullptr;
    Com<IDirect3D9> d3d;
    Com<IDirect3DDevice9> device;
};

} // namespace

TEST_F(SixteenBitIndexTest, ThirtyTwoBitIndicesAreCreatedButNotDrawn)
{
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    ASSERT_EQ(0xFFFFu, caps.MaxVertexIndex);

    Com<IDirect3DVertexBuffer9> vertices;
    Com<IDirect3DIndexBuffer9> wide, narrow;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(sizeof(quad), 0, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                                                 vertices.out(), nullptr));
    void* data = nullptr;
    ASSERT_EQ(D3D_OK, vertices->Lock(0, 0, &data, 0));
    std::memcpy(data, quad, sizeof(quad));
    vertices->Unlock();
    // Creating a 32-bit index buffer succeeds whatever the device; only
    // drawing with one needs MaxVertexIndex above 0xFFFF.
    ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(6 * 4, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, wide.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, narrow.out(), nullptr));
    const DWORD list32[6] = {0, 1, 2, 2, 1, 3};
    const WORD list16[6] = {0, 1, 2, 2, 1, 3};
    ASSERT_EQ(D3D_OK, wide->Lock(0, 0, &data, 0));
    std::memcpy(data, list32, sizeof(list32));
    wide->Unlock();
    ASSERT_EQ(D3D_OK, narrow->Lock(0, 0, &data, 0));
    std::memcpy(data, list16, sizeof(list16));
    narrow->Unlock();

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    device->SetStreamSource(0, vertices.get(), 0, sizeof(Vertex));
    device->SetIndices(wide.get());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, list32,
                                                                 D3DFMT_INDEX32, quad, sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0u, centre()) << "a refused draw drew";

    // The same geometry with 16-bit indices draws.
    ASSERT_EQ(D3D_OK, device->BeginScene());
    device->SetIndices(narrow.get());
    EXPECT_EQ(D3D_OK, device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0x00FF00u, centre());
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, list16, D3DFMT_INDEX16, quad,
                                                     sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0x00FF00u, centre());
}

TEST_F(DeviceTest, ThirtyTwoBitIndicesDrawWhereMaxVertexIndexAllows)
{
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    ASSERT_GT(caps.MaxVertexIndex, 0xFFFFu);
    struct Vertex {
        float x, y, z;
    };
    const Vertex triangle[3] = {{0, 0, 0.5f}, {1, 0, 0.5f}, {0, 1, 0.5f}};
    const DWORD list[3] = {0, 1, 2};
    device->SetFVF(D3DFVF_XYZ);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, list, D3DFMT_INDEX32, triangle,
                                                     sizeof(Vertex)));
    device->EndScene();
}
