#include "widgets/KXSceneAxes.h"

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
