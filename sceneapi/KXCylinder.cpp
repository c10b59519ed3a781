#include "sceneapi/KXCylinder.h"

#include "sceneapi/KXPrimitiveBuilder.h"

KXCylinder::KXCylinder()
{
    rebuild();
}

KXCylinder::KXCylinder(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXCylinder::setParameters(const KXPosition& baseCenter, const KXVector& axis, float radius, float height,
                               int slices, bool caps)
{
    slices = KXPrimitiveBuilder::clampCount(slices, 3, KXPrimitiveBuilder::kMaxSlices);
    if (isUpToDate() && baseCenter == m_baseCenter && axis == m_axis && radius == m_radius && height == m_height &&
        slices == m_slices && caps == m_caps)
        return;
    m_baseCenter = baseCenter;
    m_axis = axis;
    m_radius = radius;
    m_height = height;
    m_slices = slices;
    m_caps = caps;
    rebuild();
}

void KXCylinder::generate(KXPrimitiveBuilder& builder) const
{
    const float radius = KXPrimitiveBuilder::sanitizeLength(m_radius);
    builder.addFrustum(KXPrimitiveFrame::make(m_baseCenter, m_axis), radius, radius,
                       KXPrimitiveBuilder::sanitizeLength(m_height), m_slices, 1, m_caps, m_caps);
}
