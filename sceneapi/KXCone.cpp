#include "sceneapi/KXCone.h"

#include "sceneapi/KXPrimitiveBuilder.h"

#include <cmath>

KXCone::KXCone()
{
    rebuild();
}

KXCone::KXCone(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXCone::setParameters(const KXPosition& position, const KXVector& direction, float radiusAtPosition,
                           float radiusAtEnd, float length, float angleStep, int stacks, bool capAtPosition,
                           bool capAtEnd)
{
    stacks = KXPrimitiveBuilder::clampCount(stacks, 1, KXPrimitiveBuilder::kMaxStacks);
    if (isUpToDate() && position == m_position && direction == m_direction &&
        radiusAtPosition == m_radiusAtPosition && radiusAtEnd == m_radiusAtEnd && length == m_length &&
        angleStep == m_angleStep && stacks == m_stacks && capAtPosition == m_capAtPosition &&
        capAtEnd == m_capAtEnd)
        return;
    m_position = position;
    m_direction = direction;
    m_radiusAtPosition = radiusAtPosition;
    m_radiusAtEnd = radiusAtEnd;
    m_length = length;
    m_angleStep = angleStep;
    m_stacks = stacks;
    m_capAtPosition = capAtPosition;
    m_capAtEnd = capAtEnd;
    rebuild();
}

int KXCone::getSlices() const
{
    constexpr double twoPi = 6.283185307179586;
    if (!(m_angleStep > 0.0f) || !std::isfinite(m_angleStep))
        return 32;
    const double slices = std::round(twoPi / static_cast<double>(m_angleStep));
    if (!(slices <= KXPrimitiveBuilder::kMaxSlices))
        return KXPrimitiveBuilder::kMaxSlices;
    return KXPrimitiveBuilder::clampCount(static_cast<int>(slices), 3, KXPrimitiveBuilder::kMaxSlices);
}

void KXCone::generate(KXPrimitiveBuilder& builder) const
{
    float length = std::isfinite(m_length) ? m_length : 0.0f;
    KXVector direction = m_direction;
    // Running the axis backwards keeps each radius at its own end and the
    // faces turned outward.
    if (length < 0.0f) {
        length = -length;
        direction = -direction;
    }
    builder.addFrustum(KXPrimitiveFrame::make(m_position, direction),
                       KXPrimitiveBuilder::sanitizeLength(m_radiusAtPosition),
                       KXPrimitiveBuilder::sanitizeLength(m_radiusAtEnd), length, getSlices(), m_stacks,
                       m_capAtPosition, m_capAtEnd);
}
