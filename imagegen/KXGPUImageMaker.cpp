#include "imagegen/KXGPUImageMaker.h"

#include "imagegen/KXImgGen.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/KXRendererFactory.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXRawImage2D.h"

#include <algorithm>

KXGPUImageMaker::~KXGPUImageMaker()
{
    destroySurface();
}

void KXGPUImageMaker::destroySurface()
{
    if (!m_surface)
        return;
    m_surface->release();
    if (m_generator && m_generator->getFactory())
        m_generator->getFactory()->destroyRenderSurface(m_surface);
    m_surface = nullptr;
}

int KXGPUImageMaker::beginImage(const KXPosition2D&, const KXDimension2D& dimension, const KXDimension2D&,
                                const KXScene*, KXCanvas*, IKXStatusMgr*)
{
    unsigned width = 0, height = 0;
    if (!m_generator || !m_generator->getFactory() || !toPixels(dimension, width, height))
        return KXRESULT_FAILED;
    if (m_surface && m_surface->getWidth() == width && m_surface->getHeight() == height)
        return KXRESULT_OK;
    // A picture of another size needs a surface of its own size.
    destroySurface();
    m_surface = m_generator->getFactory()->createRenderSurface();
    if (!m_surface)
        return KXRESULT_FAILED;
    if (m_surface->initialize(m_generator->getDevice()) != KXRESULT_OK ||
        m_surface->create(width, height, 0) != KXRESULT_OK) {
        destroySurface();
        return KXRESULT_FAILED;
    }
    return KXRESULT_OK;
}

int KXGPUImageMaker::addTile(unsigned, unsigned, const KXViewport& source, const KXViewport& destination,
                             KXRenderSurface* tile)
{
    if (!m_surface || !tile)
        return KXRESULT_FAILED;
    if (source.getWidth() != destination.getWidth() || source.getHeight() != destination.getHeight())
        return KXRESULT_FAILED;
    const unsigned pictureWidth = m_surface->getWidth(), pictureHeight = m_surface->getHeight();
    if (destination.getTopLeftCornerX() >= pictureWidth || destination.getTopLeftCornerY() >= pictureHeight)
        return KXRESULT_OK;
    const unsigned width = std::min(destination.getWidth(), pictureWidth - destination.getTopLeftCornerX());
    const unsigned height = std::min(destination.getHeight(), pictureHeight - destination.getTopLeftCornerY());
    return m_surface->copyRegion(
        KXViewport(destination.getTopLeftCornerX(), destination.getTopLeftCornerY(), width, height), tile,
        KXViewport(source.getTopLeftCornerX(), source.getTopLeftCornerY(), width, height));
}

int KXGPUImageMaker::endImage(const KXPosition2D&, const KXDimension2D&, const KXScene*, KXCanvas*, IKXStatusMgr*)
{
    return KXRESULT_OK;
}

int KXGPUImageMaker::isUsable()
{
    return !m_surface || m_usable ? 1 : 0;
}

int KXGPUImageMaker::saveToRawImage(KXRawImage2D* image)
{
    if (!m_surface)
        return KXRESULT_FAILED;
    return m_surface->saveToRawImage(image);
}

int KXGPUImageMaker::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!m_surface)
        return KXRESULT_FAILED;
    if (!path)
        return KXRESULT_NULLARGUMENT;
    // One copy in main memory, encoded row by row: a picture of any size
    // costs its surface, this copy and the encoded bytes.
    KXRawImage2D picture;
    const int read = m_surface->saveToRawImage(&picture);
    return read == KXRESULT_OK ? saveRawPicture(picture, path, fileType) : read;
}

int KXGPUImageMaker::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!m_surface)
        return KXRESULT_FAILED;
    if (!image)
        return KXRESULT_NULLARGUMENT;
    KXRawImage2D picture;
    const int read = m_surface->saveToRawImage(&picture);
    return read == KXRESULT_OK ? encodeRawPicture(picture, image, fileType) : read;
}
