#include "canvas/KXVecCanvas.h"

#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"

KXVecCanvas::KXVecCanvas()
{
    enableSpecular(0);
}

KXVecCanvas::~KXVecCanvas() = default;

void KXVecCanvas::drawBackground(KXCamera*, KXRoot*)
{
    if (KXRenderer* renderer = getRenderer())
        renderer->clear(m_backgroundColor);
}

void KXVecCanvas::setupLights(KXCamera* camera, KXRoot*, KXSelection*)
{
    KXRenderer* renderer = getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!states)
        return;
    states->getLightState()->enableNormalization(1);
    if (m_lightModel)
        applyLightModel(camera, m_lightModel);
}
