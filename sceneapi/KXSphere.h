#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A sphere around a centre, or its upper half (towards +z).
//
// Slices are the steps around the z axis, stacks the bands from pole to pole
// (for a hemisphere, from the equator to the pole). Each pole is a vertex per
// slice. s runs around from +x towards +y, t from 0 at the top pole to 1 at
// the bottom pole (at the rim of a hemisphere). The whole sphere is closed;
// the hemisphere is an open dome. The default sphere has radius 0.5 around
// the origin with 32 slices and 16 stacks.
//
// Triangles: 2 x slices x (stacks - 1) for a sphere, slices x (2 x stacks - 1)
// for a hemisphere.
class KXSCENE_API KXSphere : public KXMeshPrimitive
{
public:
    KXSphere();
    explicit KXSphere(KXScene* scene);

    // The radius's sign is ignored. slices is clamped to 3..1024, stacks to
    // 2..1024 (1..1024 for a hemisphere), and the getters return the clamped
    // counts. hemisphere: only the half above the centre, open at the equator.
    void setParameters(const KXPosition& center, float radius, int slices, int stacks, bool hemisphere);

    const KXPosition& getCenter() const { return m_center; }
    float getRadius() const { return m_radius; }
    int getSlices() const { return m_slices; }
    int getStacks() const { return m_stacks; }
    bool isHemisphere() const { return m_hemisphere; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_center;
    float m_radius = 0.5f;
    int m_slices = 32;
    int m_stacks = 16;
    bool m_hemisphere = false;
};
