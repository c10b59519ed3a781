#include "canvas/KXPlanarReflectionPainter.h"

#include "sceneapi/KXBounds.h"

KXPlanarReflectionPainter::~KXPlanarReflectionPainter() = default;

void KXPlanarReflectionPainter::paint(const KXScene*)
{
}

void KXPlanarReflectionPainter::setupReflectedLights(KXCamera*, KXRoot*)
{
}

void KXPlanarReflectionPainter::setSceneBounds(const KXBounds& bounds)
{
    const float size = FLOOR_SCALE * bounds.getRadius();
    const KXPosition centre = bounds.getCenter();
    m_floorMatrix = KXMatrix::scaling(size, size, size) * KXMatrix::translation(centre.getX(), centre.getY(), 0.0f);
}
