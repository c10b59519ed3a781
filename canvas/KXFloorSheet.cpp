#include "canvas/KXFloorSheet.h"

#include "sceneapi/KXPrimitivesFactory.h"
#include "sceneapi/KXSheet.h"

#include <cmath>

bool KXFloorSheet::toUnitPlane(const KXPlane& plane, KXPlane& unit)
{
    const float length = plane.getNormal().length();
    if (!(length >= MIN_NORMAL_LENGTH) || !std::isfinite(length) || !std::isfinite(plane.getD()))
        return false;
    // d is divided too: dividing only the normal would move the plane.
    unit.set(plane.getA() / length, plane.getB() / length, plane.getC() / length, plane.getD() / length);
    return true;
}

void KXFloorSheet::getAxes(const KXVector& unitNormal, KXVector& u, KXVector& v)
{
    const float nx = unitNormal.getX(), ny = unitNormal.getY(), nz = unitNormal.getZ();
    const float ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
    const float tie = 1e-7f;
    // Each choice keeps the largest component, so u has at least its length.
    if (ax + tie >= ay && ax + tie >= az)
        u.set(ny, -nx, 0.0f);
    else if (ay + tie >= az)
        u.set(-ny, nx, 0.0f);
    else
        u.set(0.0f, nz, -ny);
    u.normalize();
    // u × (u × n) = -n: the sheet's triangles face away from the normal.
    v = u.cross(unitNormal);
    v.normalize();
}

KXGeometry* KXFloorSheet::create(KXPrimitivesFactory& factory, const KXVector& unitNormal, int divisions)
{
    KXGeometry* geometry = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET);
    auto* sheet = dynamic_cast<KXSheet*>(geometry);
    if (!sheet) {
        factory.destroyGeometryPrimitive(geometry);
        return nullptr;
    }
    KXVector u, v;
    getAxes(unitNormal, u, v);
    sheet->setSubdivisions(divisions, divisions);
    sheet->setParameters(KXPosition(0.0f, 0.0f, 0.0f), u, v, 2.0f, 2.0f);
    return sheet;
}

KXMatrix KXFloorSheet::placement(const KXPlane& unitPlane, float size, const KXPosition& centre)
{
    const KXPosition ground(centre.getX(), centre.getY(), 0.0f);
    const KXVector normal = unitPlane.getNormal();
    const KXPosition onPlane = ground - normal * unitPlane.distance(ground);
    return KXMatrix::scaling(size, size, size) *
           KXMatrix::translation(onPlane.getX(), onPlane.getY(), onPlane.getZ());
}
