#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A cylinder standing on a base centre along an axis, with or without its two
// flat end caps. s runs around the axis, t from 0 at the top to 1 at the
// base. The default cylinder has radius 0.5 and runs from (0, 0, -0.5) to
// (0, 0, 0.5), 32 slices, capped.
//
// Triangles: 2 x slices on the side, plus 2 x slices for the caps.
class KXSCENE_API KXCylinder : public KXMeshPrimitive
{
public:
    KXCylinder();
    explicit KXCylinder(KXScene* scene);

    // axis gives the direction only (normalised here; +z when too short).
    // Radius and height have their signs ignored. slices is clamped to
    // 3..1024. caps closes both ends.
    void setParameters(const KXPosition& baseCenter, const KXVector& axis, float radius, float height,
                       int slices = 32, bool caps = true);

    const KXPosition& getBaseCenter() const { return m_baseCenter; }
    const KXVector& getAxis() const { return m_axis; }
    float getRadius() const { return m_radius; }
    float getHeight() const { return m_height; }
    int getSlices() const { return m_slices; }
    bool getCaps() const { return m_caps; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_baseCenter{0.0f, 0.0f, -0.5f};
    KXVector m_axis{0.0f, 0.0f, 1.0f};
    float m_radius = 0.5f;
    float m_height = 1.0f;
    int m_slices = 32;
    bool m_caps = true;
};
