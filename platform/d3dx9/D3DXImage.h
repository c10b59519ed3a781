#pragma once

// The working pieces of the D3DX texture functions: image files decoded
// into floating-point pictures, resampling with the D3DX filters, and the
// pixel storage of surfaces and volumes behind their interfaces.

#include <d3dx9.h>

#include "pipeline/PixelBuffer.h"
#include "sceneapi/KXImageCodec.h"

#include <new>
#include <stdexcept>
#include <vector>

namespace swd3dx {

// Red, green, blue, alpha floats per pixel, rows from the top.
struct FloatImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<float> pixels;

    bool allocate(UINT w, UINT h);
    float* at(UINT x, UINT y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
    const float* at(UINT x, UINT y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
};

// An image file in memory, decoded enough to describe it.
struct ImageFile {
    const unsigned char* data = nullptr;
    size_t size = 0;
    D3DXIMAGE_INFO info{};
    bool isDDS = false;
    kxcodec::DDSInfo dds;
    // The picture of a file that is not DDS.
    KXRawImage2D picture;
    bool hasAlpha = false;
};

// D3DXERR_INVALIDDATA for data no reader accepts.
HRESULT openImageFile(const void* data, UINT size, ImageFile& file);
// One picture of the file: face and level of a DDS file (slice of a
// volume), or the only picture of other files. E_OUTOFMEMORY when memory
// runs out.
[[nodiscard]] HRESULT readImage(const ImageFile& file, UINT face, UINT level, UINT slice, FloatImage& image);

// The filter type of a D3DX filter value (D3DX_DEFAULT gives `fallback`);
// 0 for an invalid one.
DWORD filterType(DWORD filter, DWORD fallback);
// Replaces pixels equal to the colour key (compared as 8-bit ARGB) with
// transparent black; a key of 0 does nothing.
void applyColorKey(FloatImage& image, D3DCOLOR colorKey);
// Scales with a D3DX filter type; D3DX_FILTER_NONE crops or pads with
// transparent black instead. False when memory runs out.
[[nodiscard]] bool resample(const FloatImage& source, UINT width, UINT height, DWORD type, FloatImage& target);

// Pixel storage behind interfaces of this platform; null for others.
swd3d9::PixelBuffer* surfacePixels(IDirect3DSurface9* surface);
// Reads and writes rectangles (all samples written, samples averaged when
// read). readPixels is false, with the image empty, when memory for it runs
// out.
[[nodiscard]] bool readPixels(const swd3d9::PixelBuffer& pixels, const RECT& rect, UINT slice, FloatImage& image);
void writePixels(swd3d9::PixelBuffer& pixels, const RECT& rect, UINT slice, const FloatImage& image);

// Runs the body of a D3DX function so that no exception leaves it: a
// container that cannot grow gives E_OUTOFMEMORY.
template <class Body>
HRESULT guarded(Body body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace swd3dx
