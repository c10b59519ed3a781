#include "sceneapi/KXCamera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

// Below this sine of the angle between up vector and view direction the up
// vector no longer fixes a roll, and the view matrix picks another one.
constexpr float kMinUpSine = 1e-4f;

bool isFinite(const KXPosition& p)
{
    return std::isfinite(p.getX()) && std::isfinite(p.getY()) && std::isfinite(p.getZ());
}

bool isFinite(const KXVector& v)
{
    return std::isfinite(v.getX()) && std::isfinite(v.getY()) && std::isfinite(v.getZ());
}

// Look-at view matrix that stays a proper rotation for degenerate input:
// previousForward stands in when eye and target coincide, and a scene axis
// stands in for an up vector along the view direction.
KXMatrix buildViewMatrix(const KXPosition& eye, const KXPosition& target, const KXVector& up,
                         const KXVector& previousForward)
{
    KXVector forward = target - eye;
    const bool hasTarget = forward.length() >= 1e-7f;
    if (hasTarget)
        forward.normalize();
    else
        forward = previousForward;

    KXVector upDir = up;
    const bool hasUp = upDir.length() >= 1e-7f;
    if (hasUp)
        upDir.normalize();
    if (!hasUp || forward.cross(upDir).length() < kMinUpSine) {
        // Two unit vectors cannot both lie within 0.9 of the same unit
        // forward vector, so one of +z and +y always works.
        upDir = std::fabs(forward.getZ()) < 0.9f ? KXVector(0.0f, 0.0f, 1.0f) : KXVector(0.0f, 1.0f, 0.0f);
    }
    // Building from eye and target avoids the rounding of eye + forward for
    // an eye far from the origin.
    return KXMatrix::lookAt(eye, hasTarget ? target : eye + forward, upDir);
}

} // namespace

KXCamera::KXCamera()
{
    m_view = KXMatrix::lookAt(m_eye, m_target, m_up);
}

KXCamera::KXCamera(KXScene* scene) : KXObject(scene)
{
    m_view = KXMatrix::lookAt(m_eye, m_target, m_up);
}

void KXCamera::setPosition(const KXPosition& eye, const KXPosition& target, const KXVector& up)
{
    if (!isFinite(eye) || !isFinite(target) || !isFinite(up))
        return;
    const KXUnitVector newUp = up.length() >= 1e-7f ? KXUnitVector(up) : m_up;
    if (eye == m_eye && target == m_target && newUp == m_up)
        return;
    m_eye = eye;
    m_target = target;
    m_up = newUp;
    m_view = buildViewMatrix(m_eye, m_target, m_up, getViewDirection());
    changed();
}

KXUnitVector KXCamera::getViewDirection() const
{
    // The view matrix's third column is the camera's +z axis in scene space,
    // which points from the target back to the eye.
    return KXUnitVector(-m_view.get(0, 2), -m_view.get(1, 2), -m_view.get(2, 2));
}

void KXCamera::setWorldMatrix(const KXMatrix& world)
{
    if (world == m_world)
        return;
    m_world = world;
    changed();
}

void KXCamera::setProjectionMatrix(const KXMatrix& projection)
{
    if (m_projectionSet && projection == m_projection)
        return;
    m_projection = projection;
    m_projectionSet = true;
    changed();
}

void KXCamera::resetProjectionMatrix()
{
    if (!m_projectionSet)
        return;
    projectionParameterChanged();
}

void KXCamera::setViewport(const KXDimension2D& viewport)
{
    const float w = viewport.getWidth(), h = viewport.getHeight();
    if (std::isnan(w) || std::isnan(h) || w < 0.0f || h < 0.0f || viewport == m_viewport)
        return;
    m_viewport = viewport;
    projectionParameterChanged();
}

void KXCamera::setViewportWidth(float width)
{
    setViewport(KXDimension2D(width, m_viewport.getHeight()));
}

void KXCamera::setViewportHeight(float height)
{
    setViewport(KXDimension2D(m_viewport.getWidth(), height));
}

float KXCamera::getAspectRatio() const
{
    const float w = m_viewport.getWidth(), h = m_viewport.getHeight();
    if (!(w > 0.0f && h > 0.0f) || !std::isfinite(w / h))
        return 1.0f;
    return w / h;
}

float KXCamera::getViewportScale(int* type) const
{
    if (type)
        *type = getCameraType();
    return m_viewportScale;
}

void KXCamera::setViewportScale(float scale, int* /*type*/)
{
    if (!std::isfinite(scale) || scale <= 0.0f || scale == m_viewportScale)
        return;
    m_viewportScale = scale;
    // Only an orthographic view is sized by the scale; a perspective camera
    // keeps its projection, including one set by hand.
    if (getCameraType() == KXCAMERATYPE_ORTHOGRAPHIC)
        projectionParameterChanged();
    else
        changed();
}

void KXCamera::setNearPlane(float distance)
{
    if (!std::isfinite(distance) || distance == m_near)
        return;
    m_near = distance;
    projectionParameterChanged();
}

void KXCamera::setFarPlane(float distance)
{
    if (!std::isfinite(distance) || distance == m_far)
        return;
    m_far = distance;
    projectionParameterChanged();
}

void KXCamera::getUsablePlanes(bool positiveNear, float& zNear, float& zFar) const
{
    zNear = m_near;
    zFar = m_far;
    if (positiveNear && !(zNear > 0.0f))
        zNear = zFar > 0.0f ? zFar * 1e-4f : 1e-4f;
    // Depth divides by far - near; keep it clear of zero relative to the
    // size of the planes.
    const float minDepthRange = std::max(std::fabs(zNear) * 1e-3f, 1e-6f);
    if (!(zFar - zNear >= minDepthRange))
        zFar = zNear + minDepthRange;
}

void KXCamera::updateProjectionMatrix()
{
    m_projection = computeProjectionMatrix();
    m_projectionSet = false;
}

void KXCamera::projectionParameterChanged()
{
    updateProjectionMatrix();
    changed();
}

KXPerspectiveCamera::KXPerspectiveCamera()
{
    updateProjectionMatrix();
}

KXPerspectiveCamera::KXPerspectiveCamera(KXScene* scene) : KXCamera(scene)
{
    updateProjectionMatrix();
}

void KXPerspectiveCamera::setFOV(float fov)
{
    if (!(fov > 0.0f && fov < kPi) || fov == m_fov)
        return;
    m_fov = fov;
    projectionParameterChanged();
}

KXMatrix KXPerspectiveCamera::computeProjectionMatrix() const
{
    float zNear, zFar;
    getUsablePlanes(true, zNear, zFar);
    return KXMatrix::perspective(m_fov, getAspectRatio(), zNear, zFar);
}

KXOrthoCamera::KXOrthoCamera()
{
    updateProjectionMatrix();
}

KXOrthoCamera::KXOrthoCamera(KXScene* scene) : KXCamera(scene)
{
    updateProjectionMatrix();
}

KXMatrix KXOrthoCamera::computeProjectionMatrix() const
{
    float zNear, zFar;
    getUsablePlanes(false, zNear, zFar);
    const float height = getViewportScale();
    return KXMatrix::orthographic(height * getAspectRatio(), height, zNear, zFar);
}
