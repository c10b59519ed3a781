#include "imagegen/KXSimpleImageMaker.h"

#include "canvas/KXCanvas.h"
#include "imagegen/KXCanvasRendererLoan.h"
#include "imagegen/KXImgGen.h"
#include "imagegen/KXPictureCamera.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXRawImage2D.h"

int KXSimpleImageMaker::render(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                               KXCanvas* canvas, IKXStatusMgr*)
{
    if (!scene || !canvas || !m_generator)
        return KXRESULT_NULLARGUMENT;
    unsigned width = 0, height = 0;
    if (!toPixels(dimension, width, height))
        return KXRESULT_FAILED;
    KXSecondaryRenderer* secondary = nullptr;
    KXOffScreenRenderer* offScreen = nullptr;
    if (!getOffScreenRenderer(secondary, offScreen))
        return KXRESULT_UNSUPPORTED;
    ShadowUpdate shadowUpdate(canvas);
    // The target follows every change of size, not only the first picture's.
    if (m_generator->useTargetSize(width, height) != KXRESULT_OK)
        return KXRESULT_FAILED;

    KXRenderer* renderer = m_generator->getRenderer();
    secondary->bindTarget();
    const KXViewport viewport(static_cast<unsigned>(position.getX()), static_cast<unsigned>(position.getY()), width,
                              height);
    renderer->setViewport(&viewport);
    {
        KXCanvasRendererLoan loan(canvas, renderer);
        KXPictureCamera camera(scene, KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
        canvas->render(scene, nullptr);
    }
    secondary->restoreTarget();
    KXDevice* device = m_generator->getDevice();
    return device && device->getStatus() == KXDevice::KXDEVICESTATUS_USABLE ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXSimpleImageMaker::saveToRawImage(KXRawImage2D* image)
{
    if (!m_generator || !m_generator->getRenderer())
        return KXRESULT_FAILED;
    return m_generator->getRenderer()->saveToRawImage(image);
}

int KXSimpleImageMaker::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!m_generator || !m_generator->getRenderer())
        return KXRESULT_FAILED;
    if (fileType != KXImage2D::KXIMAGE2D_JPG)
        return m_generator->getRenderer()->saveToFile(path, fileType);
    if (!path)
        return KXRESULT_NULLARGUMENT;
    KXRawImage2D picture;
    const int read = saveToRawImage(&picture);
    return read == KXRESULT_OK ? saveRawPicture(picture, path, fileType) : read;
}

int KXSimpleImageMaker::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!m_generator || !m_generator->getRenderer())
        return KXRESULT_FAILED;
    if (fileType != KXImage2D::KXIMAGE2D_JPG)
        return m_generator->getRenderer()->saveToImage(image, fileType);
    if (!image)
        return KXRESULT_NULLARGUMENT;
    KXRawImage2D picture;
    const int read = saveToRawImage(&picture);
    return read == KXRESULT_OK ? encodeRawPicture(picture, image, fileType) : read;
}
