#include "imagegen/KXImageMaker.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "imagegen/KXImgGen.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include <cmath>
#include <limits>

bool KXImageMaker::getOffScreenRenderer(KXSecondaryRenderer*& secondary, KXOffScreenRenderer*& offScreen) const
{
    KXRenderer* renderer = m_generator ? m_generator->getRenderer() : nullptr;
    secondary = dynamic_cast<KXSecondaryRenderer*>(renderer);
    offScreen = dynamic_cast<KXOffScreenRenderer*>(renderer);
    return secondary && offScreen;
}

KXImageMaker::ShadowUpdate::ShadowUpdate(KXCanvas* canvas)
    : m_painter(dynamic_cast<KXPlanarSoftShadowPainter*>(
          canvas ? canvas->getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW) : nullptr))
{
    if (m_painter) {
        m_previous = m_painter->getUpdateTexture();
        m_painter->setUpdateTexture(1);
    }
}

KXImageMaker::ShadowUpdate::~ShadowUpdate()
{
    if (m_painter)
        m_painter->setUpdateTexture(m_previous);
}

int KXImageMaker::saveRawPicture(const KXRawImage2D& picture, const wchar_t* path,
                                 KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!path)
        return KXRESULT_NULLARGUMENT;
    KXImage2D encoded;
    const int result = encodeRawPicture(picture, &encoded, fileType);
    return result == KXRESULT_OK ? KXImageUtils::saveImage2DToFile(&encoded, path) : result;
}

int KXImageMaker::encodeRawPicture(const KXRawImage2D& picture, KXImage2D* image,
                                   KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!image)
        return KXRESULT_NULLARGUMENT;
    return KXImageUtils::encode(&picture, image, fileType, JPEG_QUALITY);
}

bool KXImageMaker::toPixels(const KXDimension2D& dimension, unsigned& width, unsigned& height)
{
    const float w = dimension.getWidth(), h = dimension.getHeight();
    const float limit = static_cast<float>(std::numeric_limits<unsigned>::max());
    // Written so that NaN fails the tests.
    if (!(w >= 1.0f && h >= 1.0f && w < limit && h < limit))
        return false;
    width = static_cast<unsigned>(w);
    height = static_cast<unsigned>(h);
    return true;
}
