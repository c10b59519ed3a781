#include "pipeline/PixelBuffer.h"

#include "pipeline/Formats.h"

#include <cstring>
#include <limits>
#include <new>

namespace swd3d9 {

void PixelBuffer::AlignedFree::operator()(uint8_t* p) const { ::operator delete(p, std::align_val_t{ALIGNMENT}); }

bool PixelBuffer::allocate(D3DFORMAT format, UINT width, UINT height, UINT depth, UINT samples)
{
    release();
    const UINT size = swd3d9::bytesPerPixel(format);
    if (size == 0 || width == 0 || height == 0 || depth == 0 || samples == 0)
        return false;
    const UINT side = static_cast<UINT>(std::numeric_limits<INT>::max());
    if (width > side || height > side || depth > side)
        return false;
    const size_t limit = std::numeric_limits<size_t>::max() / 4;
    const size_t pitch = static_cast<size_t>(width) * size;
    if (pitch / size != width || pitch > side || pitch > limit / height)
        return false;
    const size_t slice = pitch * height;
    if (slice > limit / depth)
        return false;
    const size_t plane = slice * depth;
    if (plane > limit / samples)
        return false;
    const size_t total = plane * samples;
    const size_t rounded = (total + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
    void* memory = ::operator new(rounded, std::align_val_t{ALIGNMENT}, std::nothrow);
    if (!memory)
        return false;
    std::memset(memory, 0, rounded);
    m_storage.reset(static_cast<uint8_t*>(memory));
    m_format = format;
    m_width = width;
    m_height = height;
    m_depth = depth;
    m_samples = samples;
    m_bytesPerPixel = size;
    m_pitch = pitch;
    m_slicePitch = slice;
    m_planeSize = plane;
    return true;
}

void PixelBuffer::release()
{
    m_storage.reset();
    m_format = D3DFMT_UNKNOWN;
    m_width = m_height = m_depth = m_samples = m_bytesPerPixel = 0;
    m_pitch = m_slicePitch = m_planeSize = 0;
}

} // namespace swd3d9
