// Allocation failures injected into the image codecs and the D3DX file
// functions: every operation is run again and again with its first, second,
// third ... allocation failing, and must each time report the failure with
// its result code, leave its outputs as they were and leave nothing alive.

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include "FuzzDevice.h"

#include <d3dx9.h>
#include <swd3d9.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace {

// Allocations counted since the injection was armed; the one with number
// g_failAt (from 0) fails, and -1 fails none.
std::atomic<long> g_allocations{0};
std::atomic<long> g_failAt{-1};

// The allocation behind every form of operator new: null when it is the
// one chosen to fail.
void* allocate(std::size_t size)
{
    if (g_failAt.load() >= 0 && g_allocations.fetch_add(1) == g_failAt.load())
        return nullptr;
    return std::malloc(size ? size : 1);
}

} // namespace

// Every form is replaced, so that the nothrow allocations of the libraries
// fail too and each allocation is freed by its own pair.
void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }

// Not inlined, so that the compiler does not pair a new expression with
// the free() inside.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Runs `operation` with allocation number n failing, for n = 0, 1, 2, ...
// until a run makes fewer than n + 1 allocations (that run had to succeed).
// `check` sees each outcome and whether an allocation failed. Returns the
// number of allocations of a whole run.
template <class Operation, class Check>
long sweepAllocationFailures(Operation operation, Check check)
{
    for (long failAt = 0;; ++failAt) {
        g_allocations = 0;
        g_failAt = failAt;
        const auto outcome = operation();
        g_failAt = -1;
        const bool failed = g_allocations.load() > failAt;
        check(outcome, failed);
        if (!failed || failAt > 100000)
            return failAt;
    }
}

KXRawImage2D patternImage(unsigned width, unsigned height)
{
    KXRawImage2D image(width, height, KXRawImage2D::KXRAWIMAGE2D_BGRA);
    image.createData();
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            image.setColor(x, y, KXColor(x / float(width), y / float(height), 0.5f, (x + y) % 3 ? 1.0f : 0.5f));
    return image;
}

} // namespace

TEST(AllocationFailures, ImageCodecsFailCleanly)
{
    const KXImage2D::KXIMAGE2DFILETYPE types[] = {
        KXImage2D::KXIMAGE2D_BMP, KXImage2D::KXIMAGE2D_DIB, KXImage2D::KXIMAGE2D_JPG,
        KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_PNG, KXImage2D::KXIMAGE2D_DDS,
        KXImage2D::KXIMAGE2D_PPM, KXImage2D::KXIMAGE2D_HDR, KXImage2D::KXIMAGE2D_PFM,
    };
    const KXRawImage2D source = patternImage(9, 5);
    for (KXImage2D::KXIMAGE2DFILETYPE type : types) {
        SCOPED_TRACE(type);
        // A failed encode leaves the file as it was.
        KXImage2D file(reinterpret_cast<const unsigned char*>("old"), 3, KXImage2D::KXIMAGE2D_BMP);
        const long encodeAllocations = sweepAllocationFailures(
            [&] { return KXImageUtils::encode(&source, &file, type); },
            [&](int result, bool failed) {
                EXPECT_EQ(failed ? -1 : 0, result);
                EXPECT_EQ(failed, file.getSize() == 3);
            });
        EXPECT_GT(encodeAllocations, 0);

        // A failed decode leaves the picture as it was.
        KXRawImage2D picture(2, 1, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        picture.createData();
        picture.setColor(1, 0, KXColor(1, 0, 0, 1));
        const long decodeAllocations = sweepAllocationFailures(
            [&] { return KXImageUtils::decode(&file, &picture); },
            [&](int result, bool failed) {
                EXPECT_EQ(failed ? -1 : 0, result);
                if (failed)
                    EXPECT_TRUE(picture.getWidth() == 2 && picture.getColor(1, 0).getBGRA() == 0xFFFF0000u);
                else
                    EXPECT_TRUE(picture.getWidth() == 9 && picture.getHeight() == 5);
            });
        EXPECT_GT(decodeAllocations, 0);
    }
}

TEST(AllocationFailures, LongJpegStreamFailsCleanlyAtEveryBlock)
{
    // Noise compresses badly: the file takes several of the encoder's
    // output blocks, and the failure comes from inside libjpeg's stream.
    KXRawImage2D noise(96, 96, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, noise.createData());
    uint32_t state = 12345;
    for (unsigned y = 0; y < 96; ++y)
        for (unsigned x = 0; x < 96; ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setColor(x, y, KXColor((state >> 8 & 255) / 255.0f, (state >> 16 & 255) / 255.0f,
                                         (state >> 24) / 255.0f, 1.0f));
        }
    KXImage2D file(reinterpret_cast<const unsigned char*>("old"), 3, KXImage2D::KXIMAGE2D_BMP);
    sweepAllocationFailures([&] { return KXImageUtils::encode(&noise, &file, KXImage2D::KXIMAGE2D_JPG, 95); },
                            [&](int result, bool failed) {
                                EXPECT_EQ(failed ? -1 : 0, result);
                                EXPECT_EQ(failed, file.getSize() == 3);
                            });
    EXPECT_GT(file.getSize(), 3 * 4096u);
}

class D3DXAllocationFailures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 64, 64, nullptr, nullptr, GetModuleHandleW(nullptr),
                                 nullptr);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(nullptr, d3d);
        D3DPRESENT_PARAMETERS parameters = fuzzdevice::windowedPresentation(window);
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device));
        // Allocations are counted on one thread only.
        SwD3D9SetRasterThreadCount(device, 1);
        liveBefore = SwD3D9GetLiveObjectCount();
    }

    void TearDown() override
    {
        EXPECT_EQ(liveBefore, SwD3D9GetLiveObjectCount()) << "objects left alive";
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
        DestroyWindow(window);
    }

    // A 12 x 10 surface of a pattern.
    IDirect3DSurface9* patternSurface(D3DFORMAT format = D3DFMT_A8R8G8B8)
    {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(12, 10, format, D3DPOOL_SCRATCH, &surface, nullptr));
        std::vector<DWORD> pixels(12 * 10);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = 0xFF000000u | static_cast<DWORD>(i * 0x030507u);
        const RECT all{0, 0, 12, 10};
        EXPECT_EQ(D3D_OK, D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8,
                                                    12 * 4, nullptr, &all, D3DX_FILTER_NONE, 0));
        return surface;
    }

    std::vector<unsigned char> savedFile(IDirect3DBaseTexture9* texture, D3DXIMAGE_FILEFORMAT format)
    {
        ID3DXBuffer* buffer = nullptr;
        EXPECT_EQ(D3D_OK, D3DXSaveTextureToFileInMemory(&buffer, format, texture, nullptr));
        const unsigned char* bytes = static_cast<const unsigned char*>(buffer->GetBufferPointer());
        std::vector<unsigned char> file(bytes, bytes + buffer->GetBufferSize());
        buffer->Release();
        return file;
    }

    // Sweeps the failure over an operation that may make an object: each
    // failure must give E_OUTOFMEMORY, no object and nothing left alive.
    void expectCleanFailures(const char* name, const std::function<HRESULT(IUnknown**)>& operation)
    {
        SCOPED_TRACE(name);
        const UINT live = SwD3D9GetLiveObjectCount();
        IUnknown* made = nullptr;
        const long allocations = sweepAllocationFailures([&] { return operation(&made); },
                                                         [&](HRESULT result, bool failed) {
                                                             EXPECT_EQ(failed ? E_OUTOFMEMORY : D3D_OK, result);
                                                             if (FAILED(result)) {
                                                                 EXPECT_EQ(nullptr, made);
                                                             }
                                                             if (made)
                                                                 made->Release();
                                                             made = nullptr;
                                                             EXPECT_EQ(live, SwD3D9GetLiveObjectCount());
                                                         });
        EXPECT_GT(allocations, 0);
    }

    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    UINT liveBefore = 0;
};

TEST_F(D3DXAllocationFailures, FileLoadersReportOutOfMemory)
{
    IDirect3DCubeTexture9* cube = nullptr;
    IDirect3DVolumeTexture9* volume = nullptr;
    IDirect3DTexture9* plain = nullptr;
    ASSERT_EQ(D3D_OK, D3DXCreateCubeTexture(device, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube));
    ASSERT_EQ(D3D_OK, D3DXCreateVolumeTexture(device, 4, 4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &volume));
    ASSERT_EQ(D3D_OK, D3DXCreateTexture(device, 12, 10, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain));
    const std::vector<unsigned char> cubeFile = savedFile(cube, D3DXIFF_DDS);
    const std::vector<unsigned char> volumeFile = savedFile(volume, D3DXIFF_DDS);
    const std::vector<unsigned char> pngFile = savedFile(plain, D3DXIFF_PNG);
    cube->Release();
    volume->Release();
    plain->Release();
    IDirect3DSurface9* target = patternSurface();

    expectCleanFailures("image information", [&](IUnknown**) {
        D3DXIMAGE_INFO info;
        return D3DXGetImageInfoFromFileInMemory(pngFile.data(), UINT(pngFile.size()), &info);
    });
    expectCleanFailures("texture with filtered levels", [&](IUnknown** made) {
        return D3DXCreateTextureFromFileInMemory(device, pngFile.data(), UINT(pngFile.size()),
                                                 reinterpret_cast<IDirect3DTexture9**>(made));
    });
    expectCleanFailures("cube texture", [&](IUnknown** made) {
        return D3DXCreateCubeTextureFromFileInMemory(device, cubeFile.data(), UINT(cubeFile.size()),
                                                     reinterpret_cast<IDirect3DCubeTexture9**>(made));
    });
    expectCleanFailures("volume texture", [&](IUnknown** made) {
        // Scaled, with the lower levels filtered from the top one.
        return D3DXCreateVolumeTextureFromFileInMemoryEx(device, volumeFile.data(), UINT(volumeFile.size()), 8, 8, 2,
                                                         0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_LINEAR,
                                                         D3DX_FILTER_BOX, 0, nullptr, nullptr,
                                                         reinterpret_cast<IDirect3DVolumeTexture9**>(made));
    });
    expectCleanFailures("surface from a file, scaled", [&](IUnknown**) {
        const RECT part{0, 0, 7, 3};
        return D3DXLoadSurfaceFromFileInMemory(target, nullptr, &part, pngFile.data(), UINT(pngFile.size()), nullptr,
                                               D3DX_FILTER_TRIANGLE, 0, nullptr);
    });
    target->Release();
}

TEST_F(D3DXAllocationFailures, SurfaceCopiesSaversAndFiltersReportOutOfMemory)
{
    IDirect3DSurface9* source = patternSurface();
    IDirect3DSurface9* target = patternSurface(D3DFMT_R5G6B5);
    // A format DDS files do not name: saved as converted pixels.
    IDirect3DSurface9* wide = patternSurface(D3DFMT_A16B16G16R16);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D_OK, D3DXCreateTexture(device, 16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture));

    // A scaled copy reads the source into a picture first.
    expectCleanFailures("surface from a surface, scaled", [&](IUnknown**) {
        const RECT part{1, 1, 9, 4};
        return D3DXLoadSurfaceFromSurface(target, nullptr, &part, source, nullptr, nullptr, D3DX_FILTER_LINEAR, 0);
    });
    const D3DXIMAGE_FILEFORMAT formats[] = {D3DXIFF_PNG, D3DXIFF_JPG, D3DXIFF_BMP, D3DXIFF_DDS, D3DXIFF_HDR};
    for (D3DXIMAGE_FILEFORMAT format : formats) {
        SCOPED_TRACE(format);
        expectCleanFailures("surface saved", [&](IUnknown** made) {
            return D3DXSaveSurfaceToFileInMemory(reinterpret_cast<ID3DXBuffer**>(made), format, wide, nullptr,
                                                 nullptr);
        });
    }
    expectCleanFailures("texture saved with its levels", [&](IUnknown** made) {
        return D3DXSaveTextureToFileInMemory(reinterpret_cast<ID3DXBuffer**>(made), D3DXIFF_DDS, texture, nullptr);
    });
    expectCleanFailures("levels filtered", [&](IUnknown**) {
        return D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_TRIANGLE);
    });
    expectCleanFailures("matrix stack", [&](IUnknown** made) {
        return D3DXCreateMatrixStack(0, reinterpret_cast<ID3DXMatrixStack**>(made));
    });
    texture->Release();
    wide->Release();
    target->Release();
    source->Release();
}
