#pragma once

#include "sceneapi/KXMeshPrimitive.h"
#include "sceneapi/KXSceneExport.h"

// A flat rectangle: floors, guide sheets, ground planes.
//
// It lies around its centre, spanning its width along u and its height along
// v, and faces u x v: its normal is u x v and its triangles are
// counter-clockwise seen from that side. s runs from 0 to 1 along u; t from 1
// on the -v side to 0 on the +v side. It is cut into cells of two triangles,
// one cell by default. The default sheet is 1 x 1 in the plane z = 0 around
// the origin, facing +z.
class KXSCENE_API KXSheet : public KXMeshPrimitive
{
public:
    KXSheet();
    explicit KXSheet(KXScene* scene);

    // u and v give directions only (they are normalised here) and are meant
    // to be perpendicular; otherwise the sheet is a parallelogram along them.
    // When u x v is too short to normalise the normal is +z. Width and
    // height are the full side lengths; their signs are ignored.
    void setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width, float height);

    const KXPosition& getCenter() const { return m_center; }
    const KXVector& getU() const { return m_u; }
    const KXVector& getV() const { return m_v; }
    float getWidth() const { return m_width; }
    float getHeight() const { return m_height; }

    // Number of cells along u and along v, each clamped to 1..1024. Kept by
    // setParameters.
    void setSubdivisions(int divisionsU, int divisionsV);
    int getDivisionsU() const { return m_divisionsU; }
    int getDivisionsV() const { return m_divisionsV; }

protected:
    void generate(KXPrimitiveBuilder& builder) const override;

private:
    KXPosition m_center;
    KXVector m_u{1.0f, 0.0f, 0.0f};
    KXVector m_v{0.0f, 1.0f, 0.0f};
    float m_width = 1.0f;
    float m_height = 1.0f;
    int m_divisionsU = 1;
    int m_divisionsV = 1;
};
