#include "d3d9/Blit.h"

#include "d3d9/Formats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

void readRectRGBA(const PixelBuffer& source, const RECT& rect, float* rgba)
{
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const UINT samples = source.samples();
    std::vector<float> row(samples > 1 ? static_cast<size_t>(width) * 4 : 0);
    for (LONG y = rect.top; y < rect.bottom; ++y, rgba += static_cast<size_t>(width) * 4) {
        decodePixels(source.format(), source.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(y)), width, rgba);
        if (samples == 1)
            continue;
        for (UINT s = 1; s < samples; ++s) {
            decodePixels(source.format(), source.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(y), 0, s),
                         width, row.data());
            for (size_t i = 0; i < row.size(); ++i)
                rgba[i] += row[i];
        }
        const float scale = 1.0f / static_cast<float>(samples);
        for (size_t i = 0; i < static_cast<size_t>(width) * 4; ++i)
            rgba[i] *= scale;
    }
}

void copyRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, UINT x, UINT y)
{
    const UINT width = static_cast<UINT>(sourceRect.right - sourceRect.left);
    const UINT height = static_cast<UINT>(sourceRect.bottom - sourceRect.top);
    const bool perSample = source.samples() == target.samples();
    if (perSample && source.format() == target.format()) {
        const size_t bytes = static_cast<size_t>(width) * source.bytesPerPixel();
        for (UINT s = 0; s < source.samples(); ++s)
            for (UINT row = 0; row < height; ++row)
                std::memmove(target.pixel(x, y + row, 0, s),
                             source.pixel(static_cast<UINT>(sourceRect.left), static_cast<UINT>(sourceRect.top) + row,
                                          0, s),
                             bytes);
        return;
    }
    std::vector<float> rgba(static_cast<size_t>(width) * 4);
    for (UINT row = 0; row < height; ++row) {
        const RECT line{sourceRect.left, sourceRect.top + static_cast<LONG>(row), sourceRect.right,
                        sourceRect.top + static_cast<LONG>(row) + 1};
        if (perSample) {
            for (UINT s = 0; s < source.samples(); ++s) {
                decodePixels(source.format(),
                             source.pixel(static_cast<UINT>(sourceRect.left), static_cast<UINT>(line.top), 0, s),
                             width, rgba.data());
                encodePixels(target.format(), rgba.data(), width, target.pixel(x, y + row, 0, s));
            }
        } else {
            readRectRGBA(source, line, rgba.data());
            for (UINT s = 0; s < target.samples(); ++s)
                encodePixels(target.format(), rgba.data(), width, target.pixel(x, y + row, 0, s));
        }
    }
}

void stretchRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, const RECT& targetRect,
                 bool linear)
{
    const UINT sw = static_cast<UINT>(sourceRect.right - sourceRect.left);
    const UINT sh = static_cast<UINT>(sourceRect.bottom - sourceRect.top);
    const UINT tw = static_cast<UINT>(targetRect.right - targetRect.left);
    const UINT th = static_cast<UINT>(targetRect.bottom - targetRect.top);
    if (sw == tw && sh == th) {
        copyRect(source, sourceRect, target, static_cast<UINT>(targetRect.left), static_cast<UINT>(targetRect.top));
        return;
    }
    std::vector<float> image(static_cast<size_t>(sw) * sh * 4);
    readRectRGBA(source, sourceRect, image.data());
    std::vector<float> row(static_cast<size_t>(tw) * 4);
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
