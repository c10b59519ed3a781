#include "d3d9/Blit.h"

#include "pipeline/Formats.h"
#include "pipeline/Resolve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

namespace swd3d9 {

bool isValidRect(const RECT& rect, UINT width, UINT height)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           rect.right <= static_cast<LONG>(width) && rect.bottom <= static_cast<LONG>(height);
}

bool rectsOverlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

namespace {

// Pixels converted at a time through the stack buffers below (16 bytes is
// the widest pixel).
constexpr UINT BLOCK = 64;
constexpr UINT MAX_PIXEL_BYTES = 16;

} // namespace

void readRectRGBA(const PixelBuffer& source, const RECT& rect, float* rgba)
{
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const UINT left = static_cast<UINT>(rect.left);
    alignas(16) uint8_t resolved[BLOCK * MAX_PIXEL_BYTES];
    for (LONG y = rect.top; y < rect.bottom; ++y, rgba += static_cast<size_t>(width) * 4) {
        if (source.samples() <= 1) {
            decodePixels(source.format(), source.pixel(left, static_cast<UINT>(y)), width, rgba);
            continue;
        }
        for (UINT done = 0; done < width; done += BLOCK) {
            const UINT count = std::min(BLOCK, width - done);
            pipeline::resolveRow(source, left + done, static_cast<UINT>(y), 0, count, resolved);
            decodePixels(source.format(), resolved, count, rgba + static_cast<size_t>(done) * 4);
        }
    }
}

void copyRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, UINT x, UINT y)
{
    const UINT width = static_cast<UINT>(sourceRect.right - sourceRect.left);
    const UINT height = static_cast<UINT>(sourceRect.bottom - sourceRect.top);
    const UINT left = static_cast<UINT>(sourceRect.left), top = static_cast<UINT>(sourceRect.top);
    const bool perSample = source.samples() == target.samples();
    const bool sameFormat = source.format() == target.format();
    if (perSample && sameFormat) {
        const size_t bytes = static_cast<size_t>(width) * source.bytesPerPixel();
        for (UINT s = 0; s < source.samples(); ++s)
            for (UINT row = 0; row < height; ++row)
                std::memmove(target.pixel(x, y + row, 0, s), source.pixel(left, top + row, 0, s), bytes);
        return;
    }
    const bool resolves = !perSample && source.samples() > 1;
    alignas(16) uint8_t resolved[BLOCK * MAX_PIXEL_BYTES];
    float rgba[BLOCK * 4];
    for (UINT row = 0; row < height; ++row) {
        for (UINT done = 0; done < width; done += BLOCK) {
            const UINT count = std::min(BLOCK, width - done);
            if (perSample) {
                for (UINT s = 0; s < source.samples(); ++s) {
                    decodePixels(source.format(), source.pixel(left + done, top + row, 0, s), count, rgba);
                    encodePixels(target.format(), rgba, count, target.pixel(x + done, y + row, 0, s));
                }
                continue;
            }
            // A multisampled source is resolved in its own format first, then
            // converted; a single-sample one is converted into every sample.
            const uint8_t* pixels = source.pixel(left + done, top + row);
            if (resolves) {
                pipeline::resolveRow(source, left + done, top + row, 0, count, resolved);
                pixels = resolved;
            }
            if (resolves && sameFormat) {
                for (UINT s = 0; s < target.samples(); ++s)
                    std::memcpy(target.pixel(x + done, y + row, 0, s), pixels,
                                static_cast<size_t>(count) * target.bytesPerPixel());
                continue;
            }
            decodePixels(source.format(), pixels, count, rgba);
            for (UINT s = 0; s < target.samples(); ++s)
                encodePixels(target.format(), rgba, count, target.pixel(x + done, y + row, 0, s));
        }
    }
}

bool stretchRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, const RECT& targetRect,
                 bool linear)
{
    const UINT sw = static_cast<UINT>(sourceRect.right - sourceRect.left);
    const UINT sh = static_cast<UINT>(sourceRect.bottom - sourceRect.top);
    const UINT tw = static_cast<UINT>(targetRect.right - targetRect.left);
    const UINT th = static_cast<UINT>(targetRect.bottom - targetRect.top);
    if (sw == tw && sh == th) {
        copyRect(source, sourceRect, target, static_cast<UINT>(targetRect.left), static_cast<UINT>(targetRect.top));
        return true;
    }
    std::vector<float> image, row;
    try {
        image.resize(static_cast<size_t>(sw) * sh * 4);
        row.resize(static_cast<size_t>(tw) * 4);
    } catch (const std::exception&) {
        return false;
    }
    readRectRGBA(source, sourceRect, image.data());
    const float scaleX = static_cast<float>(sw) / static_cast<float>(tw);
    const float scaleY = static_cast<float>(sh) / static_cast<float>(th);
    for (UINT y = 0; y < th; ++y) {
        // Pixel centres map onto pixel centres.
        const float fy = (static_cast<float>(y) + 0.5f) * scaleY - 0.5f;
        for (UINT x = 0; x < tw; ++x) {
            const float fx = (static_cast<float>(x) + 0.5f) * scaleX - 0.5f;
            float* out = &row[static_cast<size_t>(x) * 4];
            if (!linear) {
                const UINT px = std::min(sw - 1, static_cast<UINT>(std::max(0.0f, std::floor(fx + 0.5f))));
                const UINT py = std::min(sh - 1, static_cast<UINT>(std::max(0.0f, std::floor(fy + 0.5f))));
                std::memcpy(out, &image[(static_cast<size_t>(py) * sw + px) * 4], 4 * sizeof(float));
                continue;
            }
            const float cx = std::max(0.0f, fx), cy = std::max(0.0f, fy);
            const UINT x0 = std::min(sw - 1, static_cast<UINT>(cx)), y0 = std::min(sh - 1, static_cast<UINT>(cy));
            const UINT x1 = std::min(sw - 1, x0 + 1), y1 = std::min(sh - 1, y0 + 1);
            const float ax = std::min(1.0f, cx - static_cast<float>(x0));
            const float ay = std::min(1.0f, cy - static_cast<float>(y0));
            const float* p00 = &image[(static_cast<size_t>(y0) * sw + x0) * 4];
            const float* p10 = &image[(static_cast<size_t>(y0) * sw + x1) * 4];
            const float* p01 = &image[(static_cast<size_t>(y1) * sw + x0) * 4];
            const float* p11 = &image[(static_cast<size_t>(y1) * sw + x1) * 4];
            for (int c = 0; c < 4; ++c) {
                const float top = p00[c] + (p10[c] - p00[c]) * ax;
                const float bottom = p01[c] + (p11[c] - p01[c]) * ax;
                out[c] = top + (bottom - top) * ay;
            }
        }
        for (UINT s = 0; s < target.samples(); ++s)
            encodePixels(target.format(), row.data(), tw,
                         target.pixel(static_cast<UINT>(targetRect.left), static_cast<UINT>(targetRect.top) + y, 0, s));
    }
    return true;
}

void fillRect(PixelBuffer& target, const RECT& rect, const uint8_t* pixel)
{
    const UINT size = target.bytesPerPixel();
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    for (UINT s = 0; s < target.samples(); ++s) {
        for (LONG y = rect.top; y < rect.bottom; ++y) {
            uint8_t* p = target.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(y), 0, s);
            if (size == 4) {
                uint32_t value;
                std::memcpy(&value, pixel, 4);
                std::fill_n(reinterpret_cast<uint32_t*>(p), width, value);
            } else {
                for (UINT x = 0; x < width; ++x, p += size)
                    std::memcpy(p, pixel, size);
            }
        }
    }
}

} // namespace swd3d9
