#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A ring: a tube of minorRadius whose centre line is the circle of
// majorRadius around the axis through the centre. Segments are the steps
// around the axis, sides the steps around the tube. s runs around the axis;
// t runs around the tube from 1 at the outer equator, up over the top, through
// the hole and under the bottom, back to 0 at the outer equator. The
// default torus has radii 0.375 and 0.125 around the z axis through the
// origin, 32 segments, 16 sides.
//
// Triangles: 2 x segments x sides; the surface is closed.
class KXSCENE_API KXTorus : public KXMeshPrimitive
{
public:
    KXTorus();
    explicit KXTorus(KXScene* scene);

    // axis gives the direction only (normalised here; +z when too short).
    // Radii have their signs ignored; the minor radius is limited to the
    // major one, so the tube never passes through the axis. segments and
    // sides are clamped to 3..1024.
    void setParameters(const KXPosition& center, const KXVector& axis, float majorRadius, float minorRadius,
                       int segments = 32, int sides = 16);

    const KXPosition& getCenter() const { return m_center; }
    const KXVector& getAxis() const { return m_axis; }
    float getMajorRadius() const { return m_majorRadius; }
    float getMinorRadius() const { return m_minorRadius; }
    int getSegments() const { return m_segments; }
    int getSides() const { return m_sides; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_center;
    KXVector m_axis{0.0f, 0.0f, 1.0f};
    float m_majorRadius = 0.375f;
    float m_minorRadius = 0.125f;
    int m_segments = 32;
    int m_sides = 16;
};
