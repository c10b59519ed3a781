#include "sceneapi/KXCameraUtils.h"

#include "sceneapi/KXCamera.h"

#include <algorithm>
#include <cmath>

namespace {

// Planes and view sizes are pushed out by this fraction of the fitted size,
// so that corners lying exactly on the fitted sphere or view edge stay inside
// after rounding.
constexpr float kFitMargin = 1e-3f;

// The bounds as the camera sees them: their corners after the camera's world
// matrix, and the sphere around them.
struct FittedBounds {
    KXPosition corners[8];
    KXPosition centre;
    float radius = 0.0f;
};

FittedBounds fitBounds(const KXCamera& camera, const KXBounds& bounds)
{
    KXBounds box = bounds.isEmpty() ? KXBounds() : bounds;
    const KXPosition& lo = box.getLowerLeftPos();
    const KXPosition& hi = box.getUpperRightPos();
    const KXMatrix& world = camera.getWorldMatrix();
    FittedBounds fit;
    fit.centre = world.transform(box.getCenter());
    for (int i = 0; i < 8; ++i) {
        const KXPosition corner((i & 1) ? hi.getX() : lo.getX(), (i & 2) ? hi.getY() : lo.getY(),
                                (i & 4) ? hi.getZ() : lo.getZ());
        fit.corners[i] = world.transform(corner);
        fit.radius = std::max(fit.radius, fit.corners[i].distance(fit.centre));
    }
    return fit;
}

// Distance from the eye to the centre of the bounds along the view direction.
float centreDepth(const KXCamera& camera, const FittedBounds& fit)
{
    return (fit.centre - camera.getEyePosition()).dot(camera.getViewDirection());
}

} // namespace

void KXCameraUtils::initialize(KXCamera* camera, const KXBounds& bounds, const KXUnitVector& direction,
                               const KXUnitVector& up)
{
    if (!camera)
        return;
    const FittedBounds fit = fitBounds(*camera, bounds);
    // A single point still needs the eye somewhere off it.
    const float radius = fit.radius > 0.0f ? fit.radius : 1.0f;

    KXVector dir = direction.toVector();
    if (!(dir.length() >= 1e-7f))
        dir = KXVector(0.0f, 0.0f, -1.0f);
    dir.normalize();

    // Outside the sphere; for a perspective camera far enough for the sphere
    // to fit the narrower of its two view angles.
    float distance = 2.0f * radius;
    if (const auto* perspective = dynamic_cast<const KXPerspectiveCamera*>(camera)) {
        const float tanHalfY = std::tan(0.5f * perspective->getFOV());
        const float tanHalf = std::min(tanHalfY, tanHalfY * camera->getAspectRatio());
        const float sinHalf = tanHalf / std::sqrt(1.0f + tanHalf * tanHalf);
        if (sinHalf > 0.0f)
            distance = std::max(distance, radius / sinHalf * (1.0f + kFitMargin));
    }
    camera->setPosition(fit.centre - dir * distance, fit.centre, up);
    updateFarPlane(camera, bounds);
    updateNearPlane(camera, bounds, 0.0f);
}

void KXCameraUtils::updateViewport(KXCamera* camera, unsigned width, unsigned height, const KXBounds& bounds)
{
    if (!camera)
        return;
    camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    if (camera->getCameraType() != KXCamera::KXCAMERATYPE_ORTHOGRAPHIC)
        return;

    // Half extents of the corners across the view, measured from the view
    // axis so that a camera not aimed at the centre is fitted as well.
    const FittedBounds fit = fitBounds(*camera, bounds);
    const KXMatrix& view = camera->getViewMatrix();
    float halfWidth = 0.0f, halfHeight = 0.0f;
    for (const KXPosition& corner : fit.corners) {
        const KXPosition v = view.transform(corner);
        halfWidth = std::max(halfWidth, std::fabs(v.getX()));
        halfHeight = std::max(halfHeight, std::fabs(v.getY()));
    }
    const float scale = 2.0f * std::max(halfHeight, halfWidth / camera->getAspectRatio()) * (1.0f + kFitMargin);
    if (scale > 0.0f)
        camera->setViewportScale(scale);
}

void KXCameraUtils::updateNearPlane(KXCamera* camera, const KXBounds& bounds, float margin)
{
    if (!camera)
        return;
    if (!std::isfinite(margin))
        margin = 0.0f;
    const FittedBounds fit = fitBounds(*camera, bounds);
    const float front = centreDepth(*camera, fit) - fit.radius * (1.0f + kFitMargin) - margin;
    const float farPlane = camera->getFarPlane();
    const float minNear = farPlane > 0.0f ? farPlane * 1e-3f : 1e-4f;
    camera->setNearPlane(std::max(front, minNear));
}

void KXCameraUtils::updateFarPlane(KXCamera* camera, const KXBounds& bounds)
{
    if (!camera)
        return;
    const FittedBounds fit = fitBounds(*camera, bounds);
    float back = centreDepth(*camera, fit) + fit.radius * (1.0f + kFitMargin);
    if (!(back > 0.0f))
        back = std::max(fit.radius, 1.0f);
    camera->setFarPlane(back);
}
