#include "canvas/KXOverlayPainter.h"

#include "canvas/KXShapeWalk.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTriMesh.h"

KXOverlayPainter::~KXOverlayPainter() = default;

void KXOverlayPainter::paint(const KXScene*)
{
    KXRoot* root = m_overlayScene ? m_overlayScene->getRoot() : nullptr;
    KXRenderStateMgr* states = m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
    if (!root || !states || !root->isEnabled())
        return;
    KXPolyState* poly = states->getPolyState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXBlendState* blend = states->getBlendState();
    KXLightState* light = states->getLightState();

    states->getMaterialState()->reset();
    poly->setShadeMode(KXPolyState::KXSHADEMODE_GOURAUD);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    // Over everything, whatever the depth buffer holds, and leaving it as it is.
    zBuffer->enableZBuffer(0);
    zBuffer->enableZWrite(0);
    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
    light->enableLighting(0);
    walk(root);
    poly->reset();
    blend->reset();
    zBuffer->reset();
    light->reset();
}

void KXOverlayPainter::walk(KXGroup* group)
{
    // Transforms, appearances and culling play no part: the geometry is in
    // screen coordinates already.
    auto draw = [this](KXShape* shape) {
        kxshapewalk::forEachGeometry(shape, [this](KXGeometry* geometry) { drawGeometry(geometry); });
    };
    kxshapewalk::forEachShape(group, nullptr, draw);
}

void KXOverlayPainter::drawGeometry(KXGeometry* geometry)
{
    if (!geometry || !geometry->getPreTransformed())
        return;
    // A geometry the renderer has no memory for is left out of the overlay.
    kxRunWithinMemory([&] {
        switch (geometry->getGeomType()) {
        case KXGeometry::KXGEOMTYPE_TRIMESH:
            if (auto* mesh = dynamic_cast<KXTriMesh*>(geometry))
                m_renderer->drawTriMesh(mesh);
            break;
        case KXGeometry::KXGEOMTYPE_POLYLINE:
            if (auto* polyline = dynamic_cast<KXPolyline*>(geometry))
                m_renderer->drawPolyline(polyline);
            break;
        default:
            break;
        }
    });
}
