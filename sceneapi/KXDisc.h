#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A flat disc, or a ring when it has an inner radius, facing along its
// normal. The texture is mapped flat onto the square around the disc, upright
// seen from the front with the frame's second axis up (+y for a disc facing
// +z). The default disc has radius 0.5 in the plane z = 0 around the origin,
// facing +z, with 32 slices.
//
// Triangles: slices for a disc, 2 x slices for a ring (none when the inner
// radius reaches the outer one).
class KXSCENE_API KXDisc : public KXMeshPrimitive
{
public:
    KXDisc();
    explicit KXDisc(KXScene* scene);

    // normal gives the direction only (normalised here; +z when too short).
    // Radii have their signs ignored; the inner radius is limited to the
    // outer one. slices is clamped to 3..1024.
    void setParameters(const KXPosition& center, const KXVector& normal, float radius, float innerRadius = 0.0f,
                       int slices = 32);

    const KXPosition& getCenter() const { return m_center; }
    const KXVector& getNormal() const { return m_normal; }
    float getRadius() const { return m_radius; }
    float getInnerRadius() const { return m_innerRadius; }
    int getSlices() const { return m_slices; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_center;
    KXVector m_normal{0.0f, 0.0f, 1.0f};
    float m_radius = 0.5f;
    float m_innerRadius = 0.0f;
    int m_slices = 32;
};
