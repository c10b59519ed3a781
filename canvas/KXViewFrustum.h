#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXVector.h"

// The six clipping planes of a camera, for culling axis-aligned boxes.
//
// Each plane is (a, b, c, d) for a·x + b·y + c·z + d = 0 with the inside where
// the expression is positive; the planes are not normalised. They are read
// off the rows of world × view × projection for the Direct3D clip volume
// (-w ≤ x ≤ w, -w ≤ y ≤ w, 0 ≤ z ≤ w), so the boxes tested are in the space
// the world matrix takes in. A new frustum has every coefficient zero and
// finds every box inside.
class KXDXRENDERER_API KXViewFrustum
{
public:
    enum KXVIEWFRUSTUMSTATE {
        KXVIEWFRUSTUM_OUTSIDE = 0,
        KXVIEWFRUSTUM_INTERSECTING = 1, // partly inside
        KXVIEWFRUSTUM_INSIDE = 2,
    };
    enum KXFRUSTUMPLANE {
        KXFRUSTUMPLANE_LEFT = 0,
        KXFRUSTUMPLANE_RIGHT = 1,
        KXFRUSTUMPLANE_TOP = 2,
        KXFRUSTUMPLANE_BOTTOM = 3,
        KXFRUSTUMPLANE_NEAR = 4,
        KXFRUSTUMPLANE_FAR = 5,
    };
    static constexpr int NUM_PLANES = 6;

    KXViewFrustum() = default;
    ~KXViewFrustum() = default;

    // Rebuilds the planes from world × view × projection (row-vector matrices).
    void updateFrustum(const KXMatrix& world, const KXMatrix& view, const KXMatrix& projection);

    // Where the box between the minimum corner lowerLeft and the maximum
    // corner upperRight lies. A box is outside when it lies wholly on the
    // outer side of one plane (touching a plane from outside counts as
    // outside); it is intersecting as soon as, plane by plane in the order
    // above, a plane cuts it; otherwise inside. The test is conservative: a
    // box near a corner of the frustum can be called intersecting although
    // no part of it is visible, but never outside when a part is.
    KXVIEWFRUSTUMSTATE isBoundsInFrustum(const KXPosition& lowerLeft, const KXPosition& upperRight) const;

    // The four coefficients a, b, c, d of a plane 0..5 (see KXFRUSTUMPLANE).
    const float* getPlane(int index) const { return m_planes[index]; }

private:
    float m_planes[NUM_PLANES][4] = {};
};
