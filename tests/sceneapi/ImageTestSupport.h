#pragma once

// Shared helpers of the image tests: test pictures, pixel comparisons and
// scratch file names.

#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXTempFile.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace imagetest {

// A picture with distinct values in every channel, smooth ramps and hard
// edges, so that swapped channels, flipped rows and off-by-one columns all
// show. Alpha varies unless opaque is set.
inline KXRawImage2D makePattern(unsigned width, unsigned height,
                                KXRawImage2D::KXRAWIMAGE2DFMT format = KXRawImage2D::KXRAWIMAGE2D_BGRA,
                                bool opaque = false,
                                size_t fragmentLimit = KXRawImage2D::DEFAULT_FRAGMENT_LIMIT)
{
    KXRawImage2D image(width, height, format, fragmentLimit);
    image.createData();
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const unsigned r = (x * 255) / (width > 1 ? width - 1 : 1);
            const unsigned g = (y * 255) / (height > 1 ? height - 1 : 1);
            const unsigned b = ((x / 4 + y / 4) % 2) ? 220 : 30;
            const unsigned a = opaque ? 255 : 64 + (x * 7 + y * 3) % 192;
            image.setColor(x, y, KXColor(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f));
        }
    }
    return image;
}

// A picture filled with one colour given as bytes.
inline KXRawImage2D makeConstant(unsigned width, unsigned height, unsigned r, unsigned g, unsigned b, unsigned a,
                                 KXRawImage2D::KXRAWIMAGE2DFMT format = KXRawImage2D::KXRAWIMAGE2D_BGRA)
{
    KXRawImage2D image(width, height, format);
    image.createData();
    const KXColor color(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            image.setColor(x, y, color);
    return image;
}

// A pixel as bytes red, green, blue, alpha, whatever the image's format.
inline uint32_t pixelRGBA(const KXRawImage2D& image, unsigned x, unsigned y)
{
    const uint32_t bgra = image.getColor(x, y).getBGRA();
    const uint32_t a = bgra >> 24, r = (bgra >> 16) & 0xFF, g = (bgra >> 8) & 0xFF, b = bgra & 0xFF;
    return (r << 24) | (g << 16) | (b << 8) | a;
}

// Largest difference of one channel between two images of equal size, in
// 8-bit steps; 256 when the sizes differ. Alpha is left out when asked.
inline int maxDifference(const KXRawImage2D& a, const KXRawImage2D& b, bool withAlpha = true)
{
    if (a.getWidth() != b.getWidth() || a.getHeight() != b.getHeight())
        return 256;
    int worst = 0;
    for (unsigned y = 0; y < a.getHeight(); ++y) {
        for (unsigned x = 0; x < a.getWidth(); ++x) {
            const uint32_t pa = pixelRGBA(a, x, y), pb = pixelRGBA(b, x, y);
            for (int shift = withAlpha ? 0 : 8; shift < 32; shift += 8) {
                const int d = std::abs(static_cast<int>((pa >> shift) & 0xFF) - static_cast<int>((pb >> shift) & 0xFF));
                worst = d > worst ? d : worst;
            }
        }
    }
    return worst;
}

// Mean absolute difference over red, green and blue.
inline double meanDifference(const KXRawImage2D& a, const KXRawImage2D& b)
{
    double sum = 0.0;
    for (unsigned y = 0; y < a.getHeight(); ++y) {
        for (unsigned x = 0; x < a.getWidth(); ++x) {
            const uint32_t pa = pixelRGBA(a, x, y), pb = pixelRGBA(b, x, y);
            for (int shift = 8; shift < 32; shift += 8)
                sum += std::abs(static_cast<int>((pa >> shift) & 0xFF) - static_cast<int>((pb >> shift) & 0xFF));
        }
    }
    return sum / (3.0 * a.getWidth() * a.getHeight());
}

} // namespace imagetest
