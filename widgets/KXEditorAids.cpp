#include "widgets/KXControllerGuide.h"
#include "widgets/KXLightDecorator.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXNodeDecorators.h"
#include "widgets/KXSceneAxes.h"

// The drawing of the editor aids is not built yet: the canvas already calls
// these entry points at their places in the frame.

void KXLightDecorator::drawDecorators(KXCanvas&, KXLightModel*, const KXBounds&, KXCamera*, KXSelection*)
{
}

void KXNodeDecorators::drawSelectionDecorator(KXCanvas&, KXNode*, KXSelection*)
{
}

void KXControllerGuide::drawGuide(KXCanvas&, KXCamera*, KXSelection*)
{
}

KXBounds KXNodeControllers::getMaximumBounds()
{
    KXBounds bounds;
    bounds.grow(KXPosition(1.4f, 1.4f, 1.4f));
    return bounds;
}

void KXNodeControllers::drawControllers(KXCanvas&, KXCamera*, KXRoot*, KXSelection*, unsigned)
{
}

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

void KXSceneAxes::drawAxes(KXCanvas&, KXCamera*)
{
}
