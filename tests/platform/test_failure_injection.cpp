// The device under failures it cannot prevent: memory that runs out at any
// allocation of a call, threads the system will not start, and sizes beyond
// what 32 bits (or the machine) hold. Every call answers with an error code
// and leaves nothing behind, and the device draws correctly afterwards.
//
// Memory runs out through the replaceable global allocation functions of
// this test program: from a chosen allocation on, every allocation fails.

#include "pipeline_support.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

namespace {

std::atomic<long> g_allocationsLeft{-1}; // -1: no failures
std::atomic<long> g_failedAllocations{0};

void* allocate(std::size_t size, std::size_t alignment) noexcept
{
    long left = g_allocationsLeft.load(std::memory_order_relaxed);
    while (left > 0 && !g_allocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
        ++g_failedAllocations;
        return nullptr;
    }
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
    void* memory = nullptr;
    return posix_memalign(&memory, alignment, size) == 0 ? memory : nullptr;
}

void* allocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void* memory = allocate(size, alignment))
        return memory;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return allocateOrThrow(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateOrThrow(size, static_cast<std::size_t>(a)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

// Under AddressSanitizer a request beyond what the machine holds returns
// null, as it does without it, instead of ending the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

using namespace d3dtest;

namespace {

// Runs `attempt` with memory running out after n allocations, for n = 0, 1,
// ... until it completes without meeting the failure; `check(result,
// failed)` judges every run.
template <class Attempt, class Check>
void whileMemoryRunsOut(Attempt attempt, Check check)
{
    for (long n = 0; n < 20000; ++n) {
        const long before = g_failedAllocations.load();
        g_allocationsLeft.store(n);
        const auto result = attempt();
        g_allocationsLeft.store(-1);
        const bool failed = g_failedAllocations.load() != before;
        if (n == 0) {
            EXPECT_TRUE(failed) << "the call allocated nothing, so nothing failed";
        }
        check(result, failed);
        if (!failed || ::testing::Test::HasFailure())
            return;
    }
    ADD_FAILURE() << "the call never completed";
}

struct Creation {
    const char* name;
    HRESULT outOfMemory;
    std::function<HRESULT(IDirect3DDevice9*, IUnknown**)> create;
};

// The object is read once the call has filled it in.
template <class T>
HRESULT handOut(HRESULT result, T* const& object, IUnknown** out)
{
    *out = object;
    return result;
}

} // namespace

TEST_F(PipelineTest, CreationThatRunsOutOfMemoryLeavesNoObject)
{
    const Creation creations[] = {
        {"mipmapped texture", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DTexture9* t = nullptr;
             return handOut(d->CreateTexture(64, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), t, out);
         }},
        {"render-target texture", D3DERR_OUTOFVIDEOMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DTexture9* t = nullptr;
             return handOut(d->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP,
                                             D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr),
                            t, out);
         }},
        {"cube texture", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DCubeTexture9* t = nullptr;
             return handOut(d->CreateCubeTexture(16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), t, out);
         }},
        {"volume texture", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DVolumeTexture9* t = nullptr;
             return handOut(d->CreateVolumeTexture(8, 8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &t, nullptr),
                            t, out);
         }},
        {"multisampled render target", D3DERR_OUTOFVIDEOMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DSurface9* s = nullptr;
             return handOut(d->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &s,
                                                  nullptr),
                            s, out);
         }},
        {"plain surface", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DSurface9* s = nullptr;
             return handOut(d->CreateOffscreenPlainSurface(16, 16, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &s, nullptr), s,
                            out);
         }},
        {"vertex buffer", D3DERR_OUTOFVIDEOMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DVertexBuffer9* b = nullptr;
             return handOut(d->CreateVertexBuffer(256, 0, 0, D3DPOOL_DEFAULT, &b, nullptr), b, out);
         }},
        {"vertex declaration", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                   D3DDECL_END()};
             IDirect3DVertexDeclaration9* v = nullptr;
             return handOut(d->CreateVertexDeclaration(elements, &v), v, out);
         }},
        {"event query", E_OUTOFMEMORY,
         [](IDirect3DDevice9* d, IUnknown** out) {
             IDirect3DQuery9* q = nullptr;
             return handOut(d->CreateQuery(D3DQUERYTYPE_EVENT, &q), q, out);
         }},
        {"additional swap chain", D3DERR_OUTOFVIDEOMEMORY,
         [this](IDirect3DDevice9* d, IUnknown** out) {
             D3DPRESENT_PARAMETERS p = windowedParameters(window, D3DFMT_UNKNOWN);
             p.BackBufferCount = 2;
             IDirect3DSwapChain9* c = nullptr;
             return handOut(d->CreateAdditionalSwapChain(&p, &c), c, out);
         }},
    };
    const UINT live = SwD3D9GetLiveObjectCount();
    for (const Creation& creation : creations) {
        SCOPED_TRACE(creation.name);
        whileMemoryRunsOut(
            [&] {
                IUnknown* object = nullptr;
                const HRESULT result = creation.create(device.get(), &object);
                const bool handedOut = object != nullptr;
                if (object)
                    object->Release();
                return std::make_pair(result, handedOut);
            },
            [&](std::pair<HRESULT, bool> result, bool failed) {
                EXPECT_EQ(failed ? creation.outOfMemory : D3D_OK, result.first);
                EXPECT_EQ(!failed, result.second);
                EXPECT_EQ(live, SwD3D9GetLiveObjectCount());
            });
    }
    // The device draws on as before.
    makeTarget(16, 16);
    clear(0xFF000000);
    drawRect(4, 4, 12, 12, 0.5f, 0xFF30A050);
    EXPECT_EQ(0xFF000000u, pixel(3, 3));
    EXPECT_EQ(0xFF30A050u, pixel(4, 4));
    EXPECT_EQ(0xFF30A050u, pixel(11, 11));
    EXPECT_EQ(0xFF000000u, pixel(12, 12));
}

TEST(DeviceCreation, ThatRunsOutOfMemoryLeavesNoObject)
{
    const UINT live = SwD3D9GetLiveObjectCount();
    const HWND window = makeWindow(32, 32);
    whileMemoryRunsOut(
        [&] {
            IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
            HRESULT result = E_OUTOFMEMORY;
            bool handedOut = false;
            if (d3d) {
                D3DPRESENT_PARAMETERS p = windowedParameters(window);
                IDirect3DDevice9* device = nullptr;
                result = d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device);
                handedOut = device != nullptr;
                if (device)
                    device->Release();
                d3d->Release();
            }
            return std::make_pair(result, handedOut);
        },
        [&](std::pair<HRESULT, bool> result, bool failed) {
            if (failed)
                EXPECT_TRUE(result.first == E_OUTOFMEMORY || result.first == D3DERR_OUTOFVIDEOMEMORY) << result.first;
            else
                EXPECT_EQ(D3D_OK, result.first);
            EXPECT_EQ(!failed, result.second);
            EXPECT_EQ(live, SwD3D9GetLiveObjectCount());
        });
    DestroyWindow(window);
}

namespace {

// A 140x120-pixel grid of 8400 triangles in 70 colours: enough for two
// chunks of primitive setup and several of vertex shading.
constexpr UINT GRID_TRIANGLES = 8400;

std::vector<ScreenVertex> triangleGrid(BYTE alpha)
{
    std::vector<ScreenVertex> v;
    for (UINT cell = 0; cell < GRID_TRIANGLES / 2; ++cell) {
        const float x = static_cast<float>(cell % 70) * 2, y = static_cast<float>(cell / 70) * 2;
        const DWORD color = (DWORD{alpha} << 24) | ((cell % 10) * 0x170000u) | ((cell / 600) * 0x1F00u) | 0x40;
        const ScreenVertex quad[6] = {{x, y, 0.5f, 1, color},     {x + 2, y, 0.5f, 1, color},
                                      {x, y + 2, 0.5f, 1, color}, {x + 2, y, 0.5f, 1, color},
                                      {x + 2, y + 2, 0.5f, 1, color}, {x, y + 2, 0.5f, 1, color}};
        v.insert(v.end(), quad, quad + 6);
    }
    return v;
}

class DrawingTest : public PipelineTest
{
protected:
    // Clear, an opaque square waiting in the batch, then (with blending)
    // the grid, filled or as lines, and a translucent square. The grid's
    // draw may fail when memory runs out at allocation `failAt` (-1:
    // never); its result is returned.
    HRESULT drawScene(long failAt, bool withGrid, DWORD fillMode = D3DFILL_SOLID)
    {
        clear(0xFF000000);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        drawRect(10, 10, 120, 120, 0.5f, 0xFF2080C0);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        HRESULT result = D3D_OK;
        if (withGrid) {
            device->SetRenderState(D3DRS_FILLMODE, fillMode);
            device->BeginScene();
            g_allocationsLeft.store(failAt);
            result = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, GRID_TRIANGLES, grid.data(), sizeof(ScreenVertex));
            g_allocationsLeft.store(-1);
            device->EndScene();
            device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        }
        drawRect(60, 60, 240, 240, 0.5f, 0x80FF8000);
        return result;
    }

    const std::vector<ScreenVertex> grid = triangleGrid(0xC0);
};

} // namespace

TEST_F(DrawingTest, ADrawThatRunsOutOfMemoryLeavesNothingAndDrawingGoesOn)
{
    makeTarget(256, 256);
    ASSERT_EQ(D3D_OK, drawScene(-1, false));
    const std::vector<DWORD> withoutGrid = pixels32();
    // Triangles wait in the batch; lines are drawn at once.
    for (DWORD fillMode : {D3DFILL_SOLID, D3DFILL_WIREFRAME}) {
        SCOPED_TRACE(fillMode == D3DFILL_SOLID ? "filled" : "as lines");
        TearDown();
        SetUp();
        makeTarget(256, 256);
        ASSERT_EQ(D3D_OK, drawScene(-1, true, fillMode));
        const std::vector<DWORD> withGrid = pixels32();
        ASSERT_NE(withGrid, withoutGrid);
        for (long n = 0;; ++n) {
            ASSERT_LT(n, 20000);
            // A fresh device each time, so that every buffer of the draw
            // grows, with the grid's setup and shading in chunks on workers.
            TearDown();
            SetUp();
            makeTarget(256, 256);
            ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), 4));
            const long before = g_failedAllocations.load();
            const HRESULT result = drawScene(n, true, fillMode);
            const bool failed = g_failedAllocations.load() != before;
            ASSERT_TRUE(failed || n > 0) << "the draw allocated nothing, so nothing failed";
            ASSERT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result) << "allocation " << n;
            // The failed draw left nothing, the square before it still
            // waited, and the square after it drew with its own state.
            ASSERT_TRUE(pixels32() == (failed ? withoutGrid : withGrid)) << "allocation " << n;
            if (!failed)
                break;
        }
    }
}

TEST_F(DrawingTest, ThreadsThatCannotStartLeaveTheDeviceDrawingOnFewer)
{
    makeTarget(256, 256);
    ASSERT_EQ(D3D_OK, drawScene(-1, true));
    const std::vector<DWORD> reference = pixels32();
    struct Case {
        UINT startsAllowed, asked, expected;
    };
    for (const Case c : {Case{0, 4, 1}, Case{1, 4, 2}, Case{SWD3D9_UNLIMITED_THREAD_STARTS, 3, 3}}) {
        SwD3D9LimitThreadStarts(c.startsAllowed);
        const HRESULT set = SwD3D9SetRasterThreadCount(device.get(), c.asked);
        SwD3D9LimitThreadStarts(SWD3D9_UNLIMITED_THREAD_STARTS);
        EXPECT_EQ(D3D_OK, set);
        UINT threads = 0;
        EXPECT_EQ(D3D_OK, SwD3D9GetRasterThreadCount(device.get(), &threads));
        EXPECT_EQ(c.expected, threads);
        ASSERT_EQ(D3D_OK, drawScene(-1, true));
        EXPECT_TRUE(pixels32() == reference) << c.asked << " threads asked, " << threads << " running";
    }
    // A thread whose start runs out of memory is one the system refused.
    whileMemoryRunsOut(
        [&] {
            const HRESULT stopped = SwD3D9SetRasterThreadCount(device.get(), 1);
            return FAILED(stopped) ? stopped : SwD3D9SetRasterThreadCount(device.get(), 4);
        },
        [&](HRESULT result, bool failed) {
            EXPECT_EQ(D3D_OK, result);
            UINT threads = 0;
            SwD3D9GetRasterThreadCount(device.get(), &threads);
            EXPECT_EQ(failed ? threads : 4u, threads);
            EXPECT_GE(threads, 1u);
        });
    ASSERT_EQ(D3D_OK, drawScene(-1, true));
    EXPECT_TRUE(pixels32() == reference);
}

TEST_F(DrawingTest, PresentationAndCopiesThatRunOutOfMemoryReportIt)
{
    makeTarget(64, 64);
    drawScene(-1, false);
    Com<IDirect3DSurface9> small;
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, small.out(),
                                                 nullptr));
    whileMemoryRunsOut([&] { return device->StretchRect(target.get(), nullptr, small.get(), nullptr, D3DTEXF_LINEAR); },
                       [](HRESULT result, bool failed) { EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result); });
    whileMemoryRunsOut([&] { return device->Present(nullptr, nullptr, nullptr, nullptr); },
                       [](HRESULT result, bool failed) { EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result); });
    UINT w = 0, h = 0;
    EXPECT_EQ(D3D_OK, SwD3D9GetPresentedImage(window, &w, &h, nullptr, 0));
}

TEST_F(DeviceTest, StateThatCannotGrowStaysAsItWas)
{
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = D3DVECTOR{0, 0, 1};
    whileMemoryRunsOut([&] { return device->SetLight(7, &light); },
                       [&](HRESULT result, bool failed) {
                           EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result);
                           D3DLIGHT9 read;
                           EXPECT_EQ(failed ? D3DERR_INVALIDCALL : D3D_OK, device->GetLight(7, &read));
                       });
    for (DWORD index : {7u, 9u}) {
        whileMemoryRunsOut([&] { return device->LightEnable(index, TRUE); },
                           [&](HRESULT result, bool failed) {
                               EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result);
                               BOOL enabled = FALSE;
                               const HRESULT read = device->GetLightEnable(index, &enabled);
                               EXPECT_EQ(!failed, SUCCEEDED(read) && enabled) << "light " << index;
                           });
    }

    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    const GUID guid = {0x1234, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const DWORD old = 0xA5A5A5A5;
    ASSERT_EQ(D3D_OK, texture->SetPrivateData(guid, &old, sizeof(old), 0));
    IUnknown* object = device.get();
    const ULONG refs = refCount(object);
    whileMemoryRunsOut([&] { return texture->SetPrivateData(guid, &object, sizeof(object), D3DSPD_IUNKNOWN); },
                       [&](HRESULT result, bool failed) {
                           EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result);
                           if (!failed)
                               return;
                           DWORD value = 0, size = sizeof(value);
                           EXPECT_EQ(D3D_OK, texture->GetPrivateData(guid, &value, &size));
                           EXPECT_EQ(old, value);
                           EXPECT_EQ(refs, refCount(object));
                       });
    EXPECT_EQ(refs + 1, refCount(object));
    texture->FreePrivateData(guid);
}

TEST_F(DeviceTest, AResetThatRunsOutOfMemoryWaitsForTheNextReset)
{
    whileMemoryRunsOut(
        [&] {
            D3DPRESENT_PARAMETERS p = windowedParameters(window);
            p.BackBufferWidth = 80;
            return device->Reset(&p);
        },
        [&](HRESULT result, bool failed) {
            if (!failed) {
                EXPECT_EQ(D3D_OK, result);
                return;
            }
            EXPECT_EQ(D3DERR_OUTOFVIDEOMEMORY, result);
            // Without back buffers every call answers, none draws.
            EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());
            EXPECT_EQ(D3DERR_DEVICELOST, device->Present(nullptr, nullptr, nullptr, nullptr));
            IDirect3DSurface9* surface = nullptr;
            EXPECT_EQ(D3DERR_INVALIDCALL, device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface));
            EXPECT_EQ(D3DERR_NOTFOUND, device->GetRenderTarget(0, &surface));
            const D3DVIEWPORT9 viewport{0, 0, 8, 8, 0, 1};
            EXPECT_EQ(D3DERR_INVALIDCALL, device->SetViewport(&viewport));
            EXPECT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0));
            D3DDISPLAYMODE mode;
            EXPECT_EQ(D3DERR_INVALIDCALL, device->GetDisplayMode(0, &mode));
        });
    EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());
    Com<IDirect3DSurface9> back = backBuffer();
    ASSERT_TRUE(back);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(80u, desc.Width);
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1, 0));
    ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
}

TEST(Win32, ConversionsAllocateNothingAndWindowsFailCleanly)
{
    wchar_t wide[64];
    char narrow[64];
    wchar_t path[512];
    g_allocationsLeft.store(0);
    const int converted = MultiByteToWideChar(CP_UTF8, 0, "gr\xC3\xBC\xC3\x9F", -1, wide, 64);
    const int back = WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, 64, nullptr, nullptr);
    const DWORD length = GetModuleFileNameW(nullptr, path, 512);
    const HMODULE self = GetModuleHandleW(path);
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = GetLastError();
    g_allocationsLeft.store(-1);
    EXPECT_EQ(5, converted);
    EXPECT_EQ(0x00FC, static_cast<int>(wide[2]));
    EXPECT_EQ(7, back);
    EXPECT_STREQ("gr\xC3\xBC\xC3\x9F", narrow);
    EXPECT_GT(length, 0u);
    EXPECT_EQ(GetModuleHandleW(nullptr), self);
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), error);
}

TEST_F(DeviceTest, SizesBeyondWhatCanBeAddressedAreRefused)
{
    SWD3D9CAPSOVERRIDE caps;
    SwD3D9GetDefaultCaps(&caps.Caps);
    caps.Caps.MaxPrimitiveCount = 0xFFFFFFFF;
    caps.Caps.MaxVolumeExtent = 1u << 16;
    caps.RemovedFormatSupport = 0;
    SwD3D9SetCapsOverride(&caps);
    Com<IDirect3D9> big(Direct3DCreate9(D3D_SDK_VERSION));
    SwD3D9SetCapsOverride(nullptr);
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    Com<IDirect3DDevice9> wide;
    ASSERT_EQ(D3D_OK, big->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, wide.out()));

    Com<IDirect3DSurface9> surface;
    // A row pitch beyond what Lock can report (16 GiB).
    EXPECT_EQ(E_OUTOFMEMORY, wide->CreateOffscreenPlainSurface(1u << 30, 1, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH,
                                                               surface.out(), nullptr));
    // 2^52 bytes, which 32-bit sizes would wrap to nothing.
    EXPECT_EQ(E_OUTOFMEMORY, wide->CreateOffscreenPlainSurface(1u << 20, 1u << 28, D3DFMT_A32B32G32R32F,
                                                               D3DPOOL_SCRATCH, surface.out(), nullptr));
    EXPECT_FALSE(surface);
    // A volume whose slice pitch is beyond what LockBox can report.
    Com<IDirect3DVolumeTexture9> volume;
    EXPECT_EQ(E_OUTOFMEMORY, wide->CreateVolumeTexture(1u << 16, 1u << 16, 1, 1, 0, D3DFMT_A8R8G8B8,
                                                       D3DPOOL_SYSTEMMEM, volume.out(), nullptr));
    // Vertex counts past 32 bits.
    const ScreenVertex v[3] = {};
    wide->SetFVF(SCREEN_FVF);
    ASSERT_EQ(D3D_OK, wide->BeginScene());
    EXPECT_EQ(D3DERR_INVALIDCALL, wide->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0x60000000, v, sizeof(ScreenVertex)));
    EXPECT_EQ(D3DERR_INVALIDCALL, wide->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 0xFFFFFFFE, v, sizeof(ScreenVertex)));
    wide->EndScene();
}
