#pragma once

// Internal to the renderer library: the floor square that the reflection and
// soft-shadow painters draw in their plane.
//
// The painters' planes point their normal away from the viewer, into the
// floor (the default floor plane has the normal (0, 0, -1)), so the viewer
// stands on the side where the plane's equation is negative, and the floor
// square is turned to face that side.

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXPlane.h"
#include "sceneapi/KXVector.h"

class KXGeometry;
class KXPrimitivesFactory;

class KXFloorSheet
{
public:
    // Normals shorter than this give no plane.
    static constexpr float MIN_NORMAL_LENGTH = 1e-7f;

    // The plane with its whole equation divided by the normal's length, so
    // that the normal has unit length and the plane stays where it was; false
    // (unit untouched) for a normal too short to give a direction.
    static bool toUnitPlane(const KXPlane& plane, KXPlane& unit);

    // Two perpendicular unit vectors spanning the plane of the unit normal,
    // with u × v = -normal: a sheet along them faces the viewer's side. u is
    // taken perpendicular to the normal from the normal's largest component
    // (ties go to x, then y), so that it never vanishes.
    static void getAxes(const KXVector& unitNormal, KXVector& u, KXVector& v);

    // A 2 × 2 sheet primitive of the factory through the origin, in the
    // orientation of the unit normal and facing the viewer's side, cut into
    // divisions × divisions cells; null when the factory makes none. The
    // factory keeps it until it is given back. May throw std::bad_alloc.
    static KXGeometry* create(KXPrimitivesFactory& factory, const KXVector& unitNormal, int divisions = 1);

    // Places the 2 × 2 sheet: scaled by size, its centre moved to the point
    // of the unit plane nearest to (centre.x, centre.y, 0), the ground under
    // the scene's centre.
    static KXMatrix placement(const KXPlane& unitPlane, float size, const KXPosition& centre);
};
