#pragma once

// Shared pieces of the fuzz entry points (and tests) that run on the
// software device: the check that ends a run on a broken promise, and the
// device that every input of a run shares.

#include <d3d9.h>
#include <swd3d9.h>

#include <cstdlib>
#include <cstring>

namespace fuzzdevice {

// A broken promise is a finding: abort, so that libFuzzer keeps the input.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}

// What a windowed device on window presents: a back buffer of the window's
// size in X8R8G8B8.
inline D3DPRESENT_PARAMETERS windowedPresentation(HWND window)
{
    D3DPRESENT_PARAMETERS parameters;
    std::memset(&parameters, 0, sizeof parameters);
    parameters.Windowed = TRUE;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.hDeviceWindow = window;
    return parameters;
}

// A windowed device with a 64 x 64 back buffer, drawing on the calling
// thread only, so that a run repeats exactly.
inline IDirect3DDevice9* createDevice()
{
    HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 64, 64, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters = windowedPresentation(window);
    IDirect3DDevice9* created = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &created)))
        std::abort();
    d3d->Release();
    SwD3D9SetRasterThreadCount(created, 1);
    return created;
}

} // namespace fuzzdevice
