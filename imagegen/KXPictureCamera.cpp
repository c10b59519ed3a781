#include "imagegen/KXPictureCamera.h"

#include "imagegen/KXTileImageMaker.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXSceneUtils.h"

KXPictureCamera::KXPictureCamera(const KXScene* scene, const KXDimension2D& picture)
{
    KXCamera* camera = KXSceneUtils::getRootCamera(scene);
    if (camera) {
        m_viewport = camera->getViewport();
        save(camera, m_camera);
        // The picture's aspect ratio shapes the projection the tiles narrow.
        camera->setViewport(picture);
        m_camera.pictureProjection = camera->getProjectionMatrix();
    }
    if (KXBackground* background = KXSceneUtils::getRootBackground(scene)) {
        switch (background->getBackgroundType()) {
        case KXBackground::KXBACKGROUNDTYPE_GRADIENT:
        case KXBackground::KXBACKGROUNDTYPE_IMAGE:
        case KXBackground::KXBACKGROUNDTYPE_SKYBOX:
        case KXBackground::KXBACKGROUNDTYPE_SKYDOME:
            save(background->getCamera(), m_background);
            m_background.pictureProjection = m_background.projection;
            break;
        default:
            break;
        }
    }
}

KXPictureCamera::~KXPictureCamera()
{
    restore(m_background);
    // The viewport first: changing it builds the projection anew.
    if (m_camera.camera)
        m_camera.camera->setViewport(m_viewport);
    restore(m_camera);
}

void KXPictureCamera::save(KXCamera* camera, Saved& saved)
{
    saved.camera = camera;
    if (!camera)
        return;
    saved.projection = camera->getProjectionMatrix();
    saved.projectionSet = camera->isProjectionMatrixSet();
}

void KXPictureCamera::restore(const Saved& saved)
{
    if (!saved.camera)
        return;
    if (saved.projectionSet)
        saved.camera->setProjectionMatrix(saved.projection);
    else
        saved.camera->resetProjectionMatrix();
}

void KXPictureCamera::narrowToTile(unsigned width, unsigned height, const KXViewport& tile)
{
    for (const Saved* saved : {&m_camera, &m_background})
        if (saved->camera)
            saved->camera->setProjectionMatrix(
                KXTileImageMaker::tileProjection(saved->pictureProjection, width, height, tile));
}
