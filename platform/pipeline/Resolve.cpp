#include "pipeline/Resolve.h"

#include "pipeline/Formats.h"
#include "pipeline/UnalignedAccess.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

// The mean of n samples' channel values, rounded half up.
inline uint32_t mean(uint32_t sum, uint32_t n) { return (sum + n / 2) / n; }

// N is the sample count when known at compile time (the divisions become
// shifts), 0 when it is `n`, given at run time.
template <UINT N>
void resolveArgb(const uint8_t* first, size_t planeSize, UINT n, UINT count, uint32_t setBits, uint8_t* target)
{
    const UINT samples = N ? N : n;
    for (UINT i = 0; i < count; ++i) {
        uint32_t b = 0, g = 0, r = 0, a = 0;
        const uint8_t* p = first + 4 * static_cast<size_t>(i);
        for (UINT s = 0; s < samples; ++s, p += planeSize) {
            const uint32_t v = load32(p);
            b += v & 0xFFu;
            g += (v >> 8) & 0xFFu;
            r += (v >> 16) & 0xFFu;
            a += v >> 24;
        }
        store32(target + 4 * static_cast<size_t>(i), (mean(a, samples) << 24) | (mean(r, samples) << 16) |
                                                          (mean(g, samples) << 8) | mean(b, samples) | setBits);
    }
}

template <UINT N>
void resolveR5G6B5(const uint8_t* first, size_t planeSize, UINT n, UINT count, uint8_t* target)
{
    const UINT samples = N ? N : n;
    for (UINT i = 0; i < count; ++i) {
        uint32_t r = 0, g = 0, b = 0;
        const uint8_t* p = first + 2 * static_cast<size_t>(i);
        for (UINT s = 0; s < samples; ++s, p += planeSize) {
            const uint32_t v = load16(p);
            r += v >> 11;
            g += (v >> 5) & 0x3Fu;
            b += v & 0x1Fu;
        }
        store16(target + 2 * static_cast<size_t>(i),
                static_cast<uint16_t>((mean(r, samples) << 11) | (mean(g, samples) << 5) | mean(b, samples)));
    }
}

// Formats without an integer path: decoded samples summed in sample order,
// scaled by 1/n and encoded again, a block of pixels at a time.
void resolveDecoded(D3DFORMAT format, const uint8_t* first, size_t planeSize, UINT samples, UINT count,
                    uint8_t* target)
{
    constexpr UINT BLOCK = 64;
    float sum[BLOCK * 4], row[BLOCK * 4];
    const UINT size = bytesPerPixel(format);
    const float scale = 1.0f / static_cast<float>(samples);
    for (UINT done = 0; done < count; done += BLOCK) {
        const UINT pixels = std::min(BLOCK, count - done);
        const uint8_t* p = first + static_cast<size_t>(done) * size;
        decodePixels(format, p, pixels, sum);
        for (UINT s = 1; s < samples; ++s) {
            decodePixels(format, p + s * planeSize, pixels, row);
            for (UINT k = 0; k < pixels * 4; ++k)
                sum[k] += row[k];
        }
        for (UINT k = 0; k < pixels * 4; ++k)
            sum[k] *= scale;
        encodePixels(format, sum, pixels, target + static_cast<size_t>(done) * size);
    }
}

// The nearest 8-bit value to a 5- or 6-bit one: round(v * 255 / 31) and
// round(v * 255 / 63), exact in integers (no value falls on a half).
inline uint32_t widen5(uint32_t v) { return (v * 510u + 31u) / 62u; }
inline uint32_t widen6(uint32_t v) { return (v * 510u + 63u) / 126u; }

} // namespace

void resolveRow(const PixelBuffer& source, UINT x, UINT y, UINT z, UINT count, uint8_t* target)
{
    const uint8_t* first = source.pixel(x, y, z, 0);
    const UINT samples = source.samples();
    const D3DFORMAT format = source.format();
    if (samples <= 1 || isDepthFormat(format)) {
        std::memcpy(target, first, static_cast<size_t>(count) * source.bytesPerPixel());
        return;
    }
    const size_t plane = source.planeSize();
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: {
        const uint32_t setBits = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
        if (samples == 2)
            resolveArgb<2>(first, plane, samples, count, setBits, target);
        else if (samples == 4)
            resolveArgb<4>(first, plane, samples, count, setBits, target);
        else
            resolveArgb<0>(first, plane, samples, count, setBits, target);
        return;
    }
    case D3DFMT_R5G6B5:
        if (samples == 2)
            resolveR5G6B5<2>(first, plane, samples, count, target);
        else if (samples == 4)
            resolveR5G6B5<4>(first, plane, samples, count, target);
        else
            resolveR5G6B5<0>(first, plane, samples, count, target);
        return;
    default:
        resolveDecoded(format, first, plane, samples, count, target);
        return;
    }
}

void rowToBGRA(D3DFORMAT format, const uint8_t* row, UINT count, uint32_t* target)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        for (UINT i = 0; i < count; ++i)
            target[i] = load32(row + 4 * static_cast<size_t>(i)) | 0xFF000000u;
        return;
    case D3DFMT_R5G6B5:
        for (UINT i = 0; i < count; ++i) {
            const uint32_t v = load16(row + 2 * static_cast<size_t>(i));
            target[i] = 0xFF000000u | (widen5(v >> 11) << 16) | (widen6((v >> 5) & 0x3Fu) << 8) | widen5(v & 0x1Fu);
        }
        return;
    default:
        break;
    }
    // Any other colour format through floating point, alpha shown as opaque.
    constexpr UINT BLOCK = 64;
    float rgba[BLOCK * 4];
    const UINT size = bytesPerPixel(format);
    for (UINT done = 0; done < count; done += BLOCK) {
        const UINT pixels = std::min(BLOCK, count - done);
        decodePixels(format, row + static_cast<size_t>(done) * size, pixels, rgba);
        for (UINT i = 0; i < pixels; ++i)
            rgba[4 * i + 3] = 1.0f;
        encodePixels(D3DFMT_A8R8G8B8, rgba, pixels, reinterpret_cast<uint8_t*>(target + done));
    }
}

} // namespace pipeline
} // namespace swd3d9
