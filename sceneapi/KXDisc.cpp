#include "sceneapi/KXDisc.h"

#include "sceneapi/KXPrimitiveBuilder.h"

#include <algorithm>

KXDisc::KXDisc()
{
    rebuild();
}

KXDisc::KXDisc(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXDisc::setParameters(const KXPosition& center, const KXVector& normal, float radius, float innerRadius,
                           int slices)
{
    slices = KXPrimitiveBuilder::clampCount(slices, 3, KXPrimitiveBuilder::kMaxSlices);
    if (isUpToDate() && center == m_center && normal == m_normal && radius == m_radius &&
        innerRadius == m_innerRadius && slices == m_slices)
        return;
    m_center = center;
    m_normal = normal;
    m_radius = radius;
    m_innerRadius = innerRadius;
    m_slices = slices;
    rebuild();
}

void KXDisc::generate(KXPrimitiveBuilder& builder) const
{
    const float outer = KXPrimitiveBuilder::sanitizeLength(m_radius);
    const float inner = std::min(KXPrimitiveBuilder::sanitizeLength(m_innerRadius), outer);
    // From the rim inwards: that direction turns the faces towards the normal.
    builder.addRevolution(KXPrimitiveFrame::make(m_center, m_normal),
                          {{outer, 0.0f, 0.0f, 1.0f, 0.0f}, {inner, 0.0f, 0.0f, 1.0f, 0.0f}}, m_slices,
                          KXPrimitiveBuilder::KXTEXMAPPING_PLANAR);
}
