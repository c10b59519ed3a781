#include "imagegen/KXCPUImageMaker.h"

#include "renderer/KXRenderSurface.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXImageStitch.h"
#include "sceneapi/KXRawImage2D.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Averages the 2 × 2 blocks of a rectangle of a tile (blue, green, red,
// alpha bytes) into a rectangle of half its size in the picture (red,
// green, blue, alpha), rounding to nearest. Colours are weighted by their
// alpha, as the image resizer weighs them, so that both ways of
// supersampling give the same pixels; a block without alpha is black. Parts
// outside the picture are left out.
void addDownsampledTile(const KXRawImage2D& tile, const KXViewport& source, KXRawImage2D& picture, unsigned left,
                        unsigned top)
{
    const unsigned width = std::min(source.getWidth() / 2, left < picture.getWidth() ? picture.getWidth() - left : 0);
    const unsigned height =
        std::min(source.getHeight() / 2, top < picture.getHeight() ? picture.getHeight() - top : 0);
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* upper = tile.getRow(source.getTopLeftCornerY() + 2 * y);
        const unsigned char* lower = tile.getRow(source.getTopLeftCornerY() + 2 * y + 1);
        unsigned char* out = picture.getRow(top + y);
        if (!upper || !lower || !out)
            return;
        upper += static_cast<size_t>(source.getTopLeftCornerX()) * 4;
        lower += static_cast<size_t>(source.getTopLeftCornerX()) * 4;
        out += static_cast<size_t>(left) * 4;
        for (unsigned x = 0; x < width; ++x, upper += 8, lower += 8, out += 4) {
            const unsigned alpha = upper[3] + upper[7] + lower[3] + lower[7];
            unsigned colour[3] = {0, 0, 0};
            if (alpha > 0)
                for (int c = 0; c < 3; ++c)
                    colour[c] = (upper[c] * upper[3] + upper[c + 4] * upper[7] + lower[c] * lower[3] +
                                 lower[c + 4] * lower[7] + alpha / 2) /
                                alpha;
            out[0] = static_cast<unsigned char>(colour[2]);
            out[1] = static_cast<unsigned char>(colour[1]);
            out[2] = static_cast<unsigned char>(colour[0]);
            out[3] = static_cast<unsigned char>((alpha + 2) / 4);
        }
    }
}

} // namespace

KXCPUImageMaker::KXCPUImageMaker(KXImgGen* generator) : KXTileImageMaker(generator) {}

KXCPUImageMaker::~KXCPUImageMaker() = default;

int KXCPUImageMaker::setDownsampling(unsigned factor)
{
    if (factor != 1 && factor != 2)
        return KXRESULT_FAILED;
    m_downsampling = factor;
    return KXRESULT_OK;
}

int KXCPUImageMaker::beginImage(const KXPosition2D&, const KXDimension2D& dimension, const KXDimension2D& tile,
                                const KXScene*, KXCanvas*, IKXStatusMgr*)
{
    unsigned width = 0, height = 0, tileWidth = 0, tileHeight = 0;
    if (!toPixels(dimension, width, height) || !toPixels(tile, tileWidth, tileHeight))
        return KXRESULT_FAILED;
    width = std::max(1u, width / m_downsampling);
    height = std::max(1u, height / m_downsampling);
    // A picture of another size needs pixels of its own size.
    if (!m_picture || m_picture->getWidth() != width || m_picture->getHeight() != height) {
        m_picture.reset(new (std::nothrow) KXRawImage2D(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA));
        if (!m_picture || m_picture->createData() != 0) {
            m_picture.reset();
            return KXRESULT_FAILED;
        }
    }
    if (!m_tile || m_tile->getWidth() != tileWidth || m_tile->getHeight() != tileHeight) {
        m_tile.reset(new (std::nothrow) KXRawImage2D(tileWidth, tileHeight, KXRawImage2D::KXRAWIMAGE2D_BGRA));
        if (!m_tile || m_tile->createData() != 0) {
            m_tile.reset();
            return KXRESULT_FAILED;
        }
    }
    if (!m_stitch)
        m_stitch.reset(new (std::nothrow) KXImageStitch(m_picture.get()));
    if (!m_stitch)
        return KXRESULT_FAILED;
    m_stitch->setPicture(m_picture.get());
    return KXRESULT_OK;
}

int KXCPUImageMaker::addTile(unsigned, unsigned, const KXViewport& source, const KXViewport& destination,
                             KXRenderSurface* tile)
{
    if (!m_stitch || !m_picture || !m_tile || !tile)
        return KXRESULT_FAILED;
    if (source.getWidth() != destination.getWidth() || source.getHeight() != destination.getHeight())
        return KXRESULT_FAILED;
    if (tile->saveToRawImage(m_tile.get()) != KXRESULT_OK)
        return KXRESULT_FAILED;
    if (m_downsampling == 2) {
        addDownsampledTile(*m_tile, source, *m_picture, destination.getTopLeftCornerX() / 2,
                           destination.getTopLeftCornerY() / 2);
        return KXRESULT_OK;
    }
    return m_stitch->addTile(m_tile.get(), source.getTopLeftCornerX(), source.getTopLeftCornerY(), source.getWidth(),
                             source.getHeight(), destination.getTopLeftCornerX(), destination.getTopLeftCornerY()) ==
                   0
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXCPUImageMaker::endImage(const KXPosition2D&, const KXDimension2D&, const KXScene*, KXCanvas*, IKXStatusMgr*)
{
    m_tile.reset();
    m_stitch.reset();
    return KXRESULT_OK;
}

int KXCPUImageMaker::isUsable()
{
    return !m_picture || m_usable ? 1 : 0;
}

int KXCPUImageMaker::saveToRawImage(KXRawImage2D* image)
{
    if (!m_picture)
        return KXRESULT_FAILED;
    if (!image)
        return KXRESULT_NULLARGUMENT;
    // The image takes the picture's size; its own format stays.
    if (!image->hasData() || image->getWidth() != m_picture->getWidth() ||
        image->getHeight() != m_picture->getHeight()) {
        image->setWidth(m_picture->getWidth());
        image->setHeight(m_picture->getHeight());
        if (image->createData() != 0)
            return KXRESULT_FAILED;
    }
    // Row by row, so that either image may be held in pieces.
    const bool swap = image->getFormat() != m_picture->getFormat();
    const size_t rowSize = m_picture->getRowSize();
    for (unsigned y = 0; y < m_picture->getHeight(); ++y) {
        const unsigned char* from = m_picture->getRow(y);
        unsigned char* to = image->getRow(y);
        std::memcpy(to, from, rowSize);
        if (swap)
            for (size_t x = 0; x < rowSize; x += 4)
                std::swap(to[x], to[x + 2]);
    }
    return KXRESULT_OK;
}

int KXCPUImageMaker::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!m_picture)
        return KXRESULT_FAILED;
    switch (fileType) {
    case KXImage2D::KXIMAGE2D_BMP:
    case KXImage2D::KXIMAGE2D_PNG:
    case KXImage2D::KXIMAGE2D_JPG:
        return saveRawPicture(*m_picture, path, fileType);
    default:
        return KXRESULT_FAILED;
    }
}

int KXCPUImageMaker::saveToImage(KXImage2D*, KXImage2D::KXIMAGE2DFILETYPE)
{
    return KXRESULT_UNSUPPORTED;
}
