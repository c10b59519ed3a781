#include "sceneapi/KXSphere.h"

#include "sceneapi/KXPrimitiveBuilder.h"

#include <cmath>

KXSphere::KXSphere()
{
    rebuild();
}

KXSphere::KXSphere(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXSphere::setParameters(const KXPosition& center, float radius, int slices, int stacks, bool hemisphere)
{
    slices = KXPrimitiveBuilder::clampCount(slices, 3, KXPrimitiveBuilder::kMaxSlices);
    stacks = KXPrimitiveBuilder::clampCount(stacks, hemisphere ? 1 : 2, KXPrimitiveBuilder::kMaxStacks);
    if (isUpToDate() && center == m_center && radius == m_radius && slices == m_slices && stacks == m_stacks &&
        hemisphere == m_hemisphere)
        return;
    m_center = center;
    m_radius = radius;
    m_slices = slices;
    m_stacks = stacks;
    m_hemisphere = hemisphere;
    rebuild();
}

void KXSphere::generate(KXPrimitiveBuilder& builder) const
{
    const float radius = KXPrimitiveBuilder::sanitizeLength(m_radius);
    // The profile runs from the bottom (or the equator) up to the top pole at
    // polar angles from the pole; pole points get radius exactly 0 and the
    // equator height exactly 0, so the poles close and the bounds are exact.
    const double range = m_hemisphere ? 1.5707963267948966 : 3.141592653589793;
    std::vector<KXProfilePoint> profile;
    profile.reserve(static_cast<size_t>(m_stacks) + 1);
    for (int i = 0; i <= m_stacks; ++i) {
        const double theta = range * (1.0 - static_cast<double>(i) / m_stacks);
        const double sinTheta = (i == m_stacks || (!m_hemisphere && i == 0)) ? 0.0 : std::sin(theta);
        double cosTheta = std::cos(theta);
        if (std::fabs(cosTheta) < 1e-12)
            cosTheta = 0.0;
        const float t = static_cast<float>(theta / range);
        profile.push_back({static_cast<float>(radius * sinTheta), static_cast<float>(radius * cosTheta),
                           static_cast<float>(sinTheta), static_cast<float>(cosTheta), t});
    }
    builder.addRevolution(KXPrimitiveFrame::make(m_center, KXVector(0.0f, 0.0f, 1.0f)), profile, m_slices,
                          KXPrimitiveBuilder::KXTEXMAPPING_CYLINDRICAL);
}
