#include "sceneapi/KXTorus.h"

#include "sceneapi/KXPrimitiveBuilder.h"

#include <algorithm>

KXTorus::KXTorus()
{
    rebuild();
}

KXTorus::KXTorus(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXTorus::setParameters(const KXPosition& center, const KXVector& axis, float majorRadius, float minorRadius,
                            int segments, int sides)
{
    segments = KXPrimitiveBuilder::clampCount(segments, 3, KXPrimitiveBuilder::kMaxSlices);
    sides = KXPrimitiveBuilder::clampCount(sides, 3, KXPrimitiveBuilder::kMaxStacks);
    if (isUpToDate() && center == m_center && axis == m_axis && majorRadius == m_majorRadius &&
        minorRadius == m_minorRadius && segments == m_segments && sides == m_sides)
        return;
    m_center = center;
    m_axis = axis;
    m_majorRadius = majorRadius;
    m_minorRadius = minorRadius;
    m_segments = segments;
    m_sides = sides;
    rebuild();
}

void KXTorus::generate(KXPrimitiveBuilder& builder) const
{
    const float major = KXPrimitiveBuilder::sanitizeLength(m_majorRadius);
    const float minor = std::min(KXPrimitiveBuilder::sanitizeLength(m_minorRadius), major);
    // The tube's cross-section runs counter-clockwise from the outer equator
    // (up the outside first), which turns the faces outward; its last point
    // repeats the first exactly.
    std::vector<float> cosines, sines;
    KXPrimitiveBuilder::circleTable(m_sides, 0.0, cosines, sines);
    std::vector<KXProfilePoint> profile;
    profile.reserve(static_cast<size_t>(m_sides) + 1);
    for (int k = 0; k <= m_sides; ++k)
        profile.push_back({major + minor * cosines[k], minor * sines[k], cosines[k], sines[k],
                           1.0f - static_cast<float>(k) / static_cast<float>(m_sides)});
    builder.addRevolution(KXPrimitiveFrame::make(m_center, m_axis), profile, m_segments,
                          KXPrimitiveBuilder::KXTEXMAPPING_CYLINDRICAL);
}
