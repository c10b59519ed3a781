#pragma once

// The storage behind every surface and volume: plain pixel memory that the
// rasteriser, the copy operations and Lock all address directly.
//
// Rows are tightly packed (pitch = width x bytes per pixel). A multisampled
// buffer holds one complete plane per sample, plane s starting at
// samplePlane(s). A depth-stencil buffer stores its depth and stencil in the
// format's own layout: 16-bit words for D16, 32-bit words with the depth in
// the high 24 bits and the stencil in the low 8 bits for D24S8 and D24X8.

#include <d3d9.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace swd3d9 {

class PixelBuffer
{
public:
    // Storage is aligned to this many bytes.
    static constexpr size_t ALIGNMENT = 64;

    PixelBuffer() = default;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // Allocates zeroed storage; false when memory runs out or the buffer
    // cannot be addressed (the buffer is then empty). Sizes are 64-bit and
    // may exceed 4 GiB; a side must fit an int (rectangles are LONG) and
    // the row pitch too (Lock reports it as an INT).
    bool allocate(D3DFORMAT format, UINT width, UINT height, UINT depth, UINT samples);
    void release();
    bool empty() const { return !m_storage; }

    D3DFORMAT format() const { return m_format; }
    UINT width() const { return m_width; }
    UINT height() const { return m_height; }
    UINT depth() const { return m_depth; }
    UINT samples() const { return m_samples; }
    UINT bytesPerPixel() const { return m_bytesPerPixel; }
    size_t pitch() const { return m_pitch; }
    size_t slicePitch() const { return m_slicePitch; }
    size_t planeSize() const { return m_planeSize; }

    uint8_t* data() { return m_storage.get(); }
    const uint8_t* data() const { return m_storage.get(); }
    uint8_t* samplePlane(UINT sample) { return m_storage.get() + sample * m_planeSize; }
    const uint8_t* samplePlane(UINT sample) const { return m_storage.get() + sample * m_planeSize; }
    uint8_t* pixel(UINT x, UINT y, UINT z = 0, UINT sample = 0)
    {
        return samplePlane(sample) + z * m_slicePitch + y * m_pitch + static_cast<size_t>(x) * m_bytesPerPixel;
    }
    const uint8_t* pixel(UINT x, UINT y, UINT z = 0, UINT sample = 0) const
    {
        return samplePlane(sample) + z * m_slicePitch + y * m_pitch + static_cast<size_t>(x) * m_bytesPerPixel;
    }

private:
    struct AlignedFree {
        void operator()(uint8_t* p) const;
    };

    D3DFORMAT m_format = D3DFMT_UNKNOWN;
    UINT m_width = 0;
    UINT m_height = 0;
    UINT m_depth = 0;
    UINT m_samples = 0;
    UINT m_bytesPerPixel = 0;
    size_t m_pitch = 0;
    size_t m_slicePitch = 0;
    size_t m_planeSize = 0;
    std::unique_ptr<uint8_t[], AlignedFree> m_storage;
};

} // namespace swd3d9
