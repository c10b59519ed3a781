#include "raytracer/RTUnprojector.h"

#include "sceneapi/KXCamera.h"

RTUnprojector::RTUnprojector(const KXCamera& camera)
{
    // A singular product leaves the identity in place.
    rtInvert(camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix(), m_inverse);
}

RTRay RTUnprojector::primaryRay(float px, float py, unsigned width, unsigned height) const
{
    const float x = 2.0f * px / static_cast<float>(width) - 1.0f;
    const float y = 1.0f - 2.0f * py / static_cast<float>(height);
    const RTVec3 nearPoint = rtTransformPoint(m_inverse.getData(), RTVec3(x, y, 0.0f));
    const RTVec3 farPoint = rtTransformPoint(m_inverse.getData(), RTVec3(x, y, 1.0f));
    return RTRay(nearPoint, farPoint - nearPoint);
}
