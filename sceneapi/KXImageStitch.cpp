#include "sceneapi/KXImageStitch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Length of [start, start + length) that lies inside [0, size).
unsigned clipLength(unsigned start, unsigned length, unsigned size)
{
    if (start >= size)
        return 0;
    return std::min<uint64_t>(length, size - start);
}

} // namespace

int KXImageStitch::addTile(const KXRawImage2D* tile, unsigned sourceLeft, unsigned sourceTop, unsigned width,
                           unsigned height, unsigned destinationLeft, unsigned destinationTop)
{
    if (!tile)
        return -3;
    if (!m_picture || !m_picture->hasData() || !tile->hasData())
        return -1;
    width = std::min(clipLength(sourceLeft, width, tile->getWidth()),
                     clipLength(destinationLeft, width, m_picture->getWidth()));
    height = std::min(clipLength(sourceTop, height, tile->getHeight()),
                      clipLength(destinationTop, height, m_picture->getHeight()));

    const size_t bytes = static_cast<size_t>(width) * KXRawImage2D::BYTES_PER_PIXEL;
    const size_t sourceOffset = static_cast<size_t>(sourceLeft) * KXRawImage2D::BYTES_PER_PIXEL;
    const size_t destinationOffset = static_cast<size_t>(destinationLeft) * KXRawImage2D::BYTES_PER_PIXEL;
    const bool sameFormat = tile->getFormat() == m_picture->getFormat();
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* src = tile->getRow(sourceTop + y) + sourceOffset;
        unsigned char* dst = m_picture->getRow(destinationTop + y) + destinationOffset;
        if (sameFormat) {
            std::memmove(dst, src, bytes);
            continue;
        }
        // The two formats differ only in the places of red and blue.
        for (size_t i = 0; i < bytes; i += 4) {
            const unsigned char p0 = src[i], p1 = src[i + 1], p2 = src[i + 2], p3 = src[i + 3];
            dst[i] = p2;
            dst[i + 1] = p1;
            dst[i + 2] = p0;
            dst[i + 3] = p3;
        }
    }
    ++m_numTiles;
    return 0;
}
