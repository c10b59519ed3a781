#include "widgets/KXSceneAxes.h"

#include "canvas/KXCanvas.h"
#include "imagegen/KXTileImageMaker.h"
#include "renderer/KXRenderState.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "widgets/KXNodeControllers.h"

#include <algorithm>

KXSceneAxes::KXSceneAxes() : m_camera(new KXPerspectiveCamera(nullptr))
{
    m_camera->setPosition(KXPosition(0.0f, EYE_POS_Y, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    m_camera->setViewportScale(1.3f);
    m_camera->setViewportHeight(1.0f);
    m_camera->setViewportWidth(1.0f);
    m_camera->setNearPlane(0.1f);
    m_camera->setFarPlane(10.0f);
    m_camera->setFOV(0.7853975f);
}

KXViewport KXSceneAxes::getAxesViewport(const KXViewport& view)
{
    // Unsigned arithmetic: a view smaller than the corner gets what it has.
    const unsigned inset = std::min(VIEWPORT_INSET, view.getWidth());
    const unsigned width = std::min(VIEWPORT_WIDTH, view.getWidth() - inset);
    const unsigned height = std::min(VIEWPORT_HEIGHT, view.getHeight());
    return KXViewport(view.getTopLeftCornerX() + inset, view.getTopLeftCornerY() + view.getHeight() - height, width,
                      height);
}

bool KXSceneAxes::intersect(const KXViewport& a, const KXViewport& b, KXViewport& common)
{
    const unsigned left = std::max(a.getTopLeftCornerX(), b.getTopLeftCornerX());
    const unsigned top = std::max(a.getTopLeftCornerY(), b.getTopLeftCornerY());
    const unsigned right = std::min(a.getTopLeftCornerX() + a.getWidth(), b.getTopLeftCornerX() + b.getWidth());
    const unsigned bottom = std::min(a.getTopLeftCornerY() + a.getHeight(), b.getTopLeftCornerY() + b.getHeight());
    if (right <= left || bottom <= top)
        return false;
    common = KXViewport(left, top, right - left, bottom - top);
    return true;
}

void KXSceneAxes::drawAxes(KXCanvas& canvas, KXCamera* sceneCamera)
{
    KXRenderer* renderer = canvas.getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!sceneCamera || !states)
        return;
    const KXViewport view = renderer->getViewport();
    // In a tile of a larger picture the corner is the picture's, and the tile
    // draws the part of the gizmo that falls in it.
    unsigned pictureWidth = 0, pictureHeight = 0;
    KXViewport tile;
    const bool tiled = canvas.getPictureTile(pictureWidth, pictureHeight, tile);
    const KXViewport corner = getAxesViewport(tiled ? KXViewport(0, 0, pictureWidth, pictureHeight) : view);
    KXViewport part = corner;
    if (tiled && !intersect(corner, tile, part))
        return;
    if (part.getWidth() == 0 || part.getHeight() == 0)
        return;
    KXLightState* light = states->getLightState();
    KXPolyState* poly = states->getPolyState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXBlendState* blend = states->getBlendState();

    light->reset();
    poly->setShadeMode(KXPolyState::KXSHADEMODE_GOURAUD);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    // Over the scene, whatever its depth.
    zBuffer->enableZBuffer(0);
    zBuffer->enableZWrite(0);

    // The axes camera looks at the gizmo from the scene camera's direction,
    // with the corner's aspect so that the gizmo is not stretched.
    const KXVector direction = sceneCamera->getViewDirection();
    const KXPosition target = m_camera->getTargetPosition();
    m_camera->setViewportWidth(static_cast<float>(corner.getWidth()));
    m_camera->setViewportHeight(static_cast<float>(corner.getHeight()));
    m_camera->setPosition(target + direction * EYE_POS_Y, target, sceneCamera->getUpVector());
    m_camera->resetProjectionMatrix();
    if (tiled) {
        // The part of the corner in this tile, seen as the whole corner shows
        // it, drawn where the tile's viewport has that part.
        const KXViewport inCorner(part.getTopLeftCornerX() - corner.getTopLeftCornerX(),
                                  part.getTopLeftCornerY() - corner.getTopLeftCornerY(), part.getWidth(),
                                  part.getHeight());
        m_camera->setProjectionMatrix(KXTileImageMaker::tileProjection(
            m_camera->getProjectionMatrix(), corner.getWidth(), corner.getHeight(), inCorner));
        part = KXViewport(view.getTopLeftCornerX() + part.getTopLeftCornerX() - tile.getTopLeftCornerX(),
                          view.getTopLeftCornerY() + part.getTopLeftCornerY() - tile.getTopLeftCornerY(),
                          part.getWidth(), part.getHeight());
    }
    if (m_lightModel)
        canvas.applyLightModel(m_camera.get(), m_lightModel);
    light->enableNormalization(1);

    renderer->setViewport(&part);
    renderer->setCamera(m_camera.get());

    if (m_state == KXSCENEAXESSTATE_SHOWN) {
        auto draw = [&](int first, int last, unsigned pass) {
            for (int type = first; type <= last; ++type)
                KXNodeControllers::drawWidget(canvas, m_widgets.get(type), type == m_type ? 1 : 0, pass);
        };
        draw(1, 3, KXCanvas::KXPASS_OPAQUE);
        draw(4, 6, KXCanvas::KXPASS_OPAQUE);
        blend->enableBlending(1);
        blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
        blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
        blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
        zBuffer->enableZWrite(0);
        poly->setCullMode(KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
        draw(4, 6, KXCanvas::KXPASS_TRANSPARENT);
        light->enableNormalization(0);
    }

    // Whatever is drawn after the gizmo is drawn with the scene's view.
    m_camera->resetProjectionMatrix();
    renderer->setViewport(&view);
    renderer->setCamera(sceneCamera);
    light->reset();
    zBuffer->reset();
    poly->reset();
    blend->reset();
}
