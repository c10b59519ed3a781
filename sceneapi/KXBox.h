#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// An axis-aligned box around a centre: six faces of two triangles, each with
// its own four vertices and its face normal. Every face carries the whole
// texture, upright seen from outside (for the side faces with +z up; the top
// with +y up, the bottom with -y up). The default box is 1 x 1 x 1 around the
// origin.
class KXSCENE_API KXBox : public KXMeshPrimitive
{
public:
    KXBox();
    explicit KXBox(KXScene* scene);

    // Sizes are the full extents along x, y and z; signs are ignored.
    void setParameters(const KXPosition& center, float sizeX, float sizeY, float sizeZ);

    const KXPosition& getCenter() const { return m_center; }
    float getSizeX() const { return m_sizeX; }
    float getSizeY() const { return m_sizeY; }
    float getSizeZ() const { return m_sizeZ; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_center;
    float m_sizeX = 1.0f;
    float m_sizeY = 1.0f;
    float m_sizeZ = 1.0f;
};
