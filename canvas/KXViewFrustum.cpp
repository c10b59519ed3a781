#include "canvas/KXViewFrustum.h"

#include <cmath>

void KXViewFrustum::updateFrustum(const KXMatrix& world, const KXMatrix& view, const KXMatrix& projection)
{
    const KXMatrix m = world * view * projection;
    // A point p reaches clip space as (x, y, z, w) = [p 1] × m, so each clip
    // coordinate is the dot product of [p 1] with one column of m, and each
    // inequality of the clip volume is a plane in the space of p.
    for (int r = 0; r < 4; ++r) {
        const float c0 = m.get(r, 0), c1 = m.get(r, 1), c2 = m.get(r, 2), c3 = m.get(r, 3);
        m_planes[KXFRUSTUMPLANE_LEFT][r] = c3 + c0;
        m_planes[KXFRUSTUMPLANE_RIGHT][r] = c3 - c0;
        m_planes[KXFRUSTUMPLANE_TOP][r] = c3 - c1;
        m_planes[KXFRUSTUMPLANE_BOTTOM][r] = c3 + c1;
        // Depth runs from 0 to w in the Direct3D clip volume.
        m_planes[KXFRUSTUMPLANE_NEAR][r] = c2;
        m_planes[KXFRUSTUMPLANE_FAR][r] = c3 - c2;
    }
}

KXViewFrustum::KXVIEWFRUSTUMSTATE KXViewFrustum::isBoundsInFrustum(const KXPosition& lowerLeft,
                                                                   const KXPosition& upperRight) const
{
    for (const float* plane : m_planes) {
        const float a = plane[0], b = plane[1], c = plane[2], d = plane[3];
        // The corner farthest along the normal (P) decides whether anything
        // of the box is inside the plane, the opposite corner (N) whether all
        // of it is.
        const KXPosition p(a > 0.0f ? upperRight.getX() : lowerLeft.getX(),
                           b > 0.0f ? upperRight.getY() : lowerLeft.getY(),
                           c > 0.0f ? upperRight.getZ() : lowerLeft.getZ());
        const KXPosition n(a > 0.0f ? lowerLeft.getX() : upperRight.getX(),
                           b > 0.0f ? lowerLeft.getY() : upperRight.getY(),
                           c > 0.0f ? lowerLeft.getZ() : upperRight.getZ());
        // A plane with a zero normal gives NaN distances, which pass both
        // tests below: an unset frustum culls nothing.
        const float length = std::sqrt(a * a + b * b + c * c);
        const float distanceP = (a * p.getX() + b * p.getY() + c * p.getZ() + d) / length;
        if (distanceP <= 0.0f)
            return KXVIEWFRUSTUM_OUTSIDE;
        const float distanceN = (a * n.getX() + b * n.getY() + c * n.getZ() + d) / length;
        if (distanceN < 0.0f)
            return KXVIEWFRUSTUM_INTERSECTING;
    }
    return KXVIEWFRUSTUM_INSIDE;
}
