#pragma once

#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXSceneExport.h"

// A grid of lines over a rectangle, drawn as separate segments: guide grids.
//
// The rectangle is the one a KXSheet with the same parameters covers: around
// its centre, its width along u and its height along v (directions,
// normalised here; side lengths, signs ignored). Its border and inner lines
// cut it into divisionsU cells along u and divisionsV cells along v, so there
// are divisionsU + 1 lines parallel to v followed by divisionsV + 1 lines
// parallel to u, each one segment of two points. The default is 1 x 1 in
// the plane z = 0 around the origin with 10 x 10 cells.
class KXSCENE_API KXWireSheet : public KXPolyline
{
public:
    KXWireSheet();
    explicit KXWireSheet(KXScene* scene);

    // Keeps the current cell counts.
    void setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width, float height);
    // Also sets both cell counts to divisions.
    void setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width, float height,
                       int divisions);

    const KXPosition& getCenter() const { return m_center; }
    const KXVector& getU() const { return m_u; }
    const KXVector& getV() const { return m_v; }
    float getWidth() const { return m_width; }
    float getHeight() const { return m_height; }

    // Cells along u and along v, each clamped to 1..1024.
    void setDivisions(int divisionsU, int divisionsV);
    int getDivisionsU() const { return m_divisionsU; }
    int getDivisionsV() const { return m_divisionsV; }

    // Bits of KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE; only the colours bit
    // means anything for lines: it gives every point the vertex colour.
    int getAttributes() const { return m_attributes; }
    void setAttributes(int attributes);
    // Opaque white by default.
    const KXColor& getVertexColor() const { return m_vertexColor; }
    void setVertexColor(const KXColor& color);

protected:
    void changed() override;

private:
    void rebuild();

    KXPosition m_center;
    KXVector m_u{1.0f, 0.0f, 0.0f};
    KXVector m_v{0.0f, 1.0f, 0.0f};
    float m_width = 1.0f;
    float m_height = 1.0f;
    int m_divisionsU = 10;
    int m_divisionsV = 10;
    int m_attributes = 0;
    KXColor m_vertexColor{1.0f, 1.0f, 1.0f, 1.0f};
    // Same scheme as KXMeshPrimitive: unchanged parameters keep the lines.
    bool m_upToDate = false;
    bool m_rebuilding = false;
};
