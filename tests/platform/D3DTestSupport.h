#pragma once

// Shared pieces of the device tests: an owning interface pointer, a hidden
// window with a device on it, and reference-count probes.

#include <d3dx9.h>
#include <swd3d9.h>

#include <gtest/gtest.h>

#include <cstring>

namespace d3dtest {

// Releases the interface it holds when it goes away.
template <class T>
class Com
{
public:
    Com() = default;
    explicit Com(T* p) : m_p(p) {}
    ~Com() { reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out()
    {
        reset();
        return &m_p;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    T* detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};

// The public reference count, read without changing it.
inline ULONG refCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

inline HWND makeWindow(int width, int height)
{
    return CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

inline D3DPRESENT_PARAMETERS windowedParameters(HWND window, D3DFORMAT depth = D3DFMT_D24S8)
{
    D3DPRESENT_PARAMETERS p;
    std::memset(&p, 0, sizeof(p));
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.hDeviceWindow = window;
    p.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    p.AutoDepthStencilFormat = depth;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    return p;
}

// A device on a hidden window; checks on tear-down that every object the
// test made is gone and that nothing was released once too often.
class DeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_liveBefore = SwD3D9GetLiveObjectCount();
        m_overReleasesBefore = SwD3D9GetOverReleaseCount();
        window = makeWindow(64, 48);
        ASSERT_NE(nullptr, window);
        d3d.out();
        *d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_TRUE(d3d);
        parameters = windowedParameters(window);
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.out()));
    }

    void TearDown() override
    {
        device.reset();
        d3d.reset();
        DestroyWindow(window);
        EXPECT_EQ(m_liveBefore, SwD3D9GetLiveObjectCount()) << "objects leaked";
        EXPECT_EQ(m_overReleasesBefore, SwD3D9GetOverReleaseCount()) << "objects released too often";
    }

    Com<IDirect3DSurface9> backBuffer()
    {
        Com<IDirect3DSurface9> surface;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, surface.out());
        return Com<IDirect3DSurface9>(surface.detach());
    }

    HWND window = nullptr;
    Com<IDirect3D9> d3d;
    Com<IDirect3DDevice9> device;
    D3DPRESENT_PARAMETERS parameters;

private:
    UINT m_liveBefore = 0;
    UINT m_overReleasesBefore = 0;
};

inline DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// Reads a 32-bit pixel of a lockable surface.
inline DWORD readPixel(IDirect3DSurface9* surface, int x, int y)
{
    D3DLOCKED_RECT locked;
    if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
        return 0xDEADBEEF;
    DWORD value;
    std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
    surface->UnlockRect();
    return value;
}

// Fills a lockable 32-bit surface with a function of the position.
template <class F>
void fillSurface(IDirect3DSurface9* surface, F colourAt)
{
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, surface->LockRect(&locked, nullptr, 0));
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) {
            const DWORD value = colourAt(x, y);
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &value, 4);
        }
    surface->UnlockRect();
}

// The colours of a one-texel cube texture's faces, in face order.
constexpr DWORD CUBE_FACE_COLOURS[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

// A managed one-texel X8R8G8B8 cube texture whose faces show
// CUBE_FACE_COLOURS, so that a picture tells which face was sampled.
inline void makeFaceColouredCube(IDirect3DDevice9* device, Com<IDirect3DCubeTexture9>& cube)
{
    ASSERT_EQ(D3D_OK, device->CreateCubeTexture(1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, cube.out(), nullptr));
    for (int f = 0; f < 6; ++f) {
        Com<IDirect3DSurface9> face;
        ASSERT_EQ(D3D_OK, cube->GetCubeMapSurface(D3DCUBEMAP_FACES(f), 0, face.out()));
        fillSurface(face.get(), [&](UINT, UINT) { return CUBE_FACE_COLOURS[f]; });
    }
}

} // namespace d3dtest
