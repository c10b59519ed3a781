#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

// How the polygons of a shape are rasterised: a depth offset that lets
// coplanar geometry (decals, outlines) win the depth test, and the face
// culling and fill mode an application chooses.
//
// The depth offset is a constant bias plus a bias scaled by the polygon's
// depth slope, both 0 on new attributes. New attributes cull back faces (the
// faces whose winding shows they point away from the viewer) and fill
// polygons. The canvas sets culling and fill mode itself for each kind of
// draw; it reads only the offsets from here.
class KXSCENE_API KXPolygonAttributes : public KXObject
{
public:
    enum KXCULLMODE {
        KXCULLMODE_NONE = 0,
        KXCULLMODE_BACK = 1,
        KXCULLMODE_FRONT = 2,
    };
    enum KXFILLMODE {
        KXFILLMODE_POINT = 0,
        KXFILLMODE_LINE = 1,
        KXFILLMODE_FILL = 2,
    };

    KXPolygonAttributes() = default;
    explicit KXPolygonAttributes(KXScene* scene) : KXObject(scene) {}
    KXPolygonAttributes(const KXPolygonAttributes& other) = default;

    // Constant depth bias.
    float getPolygonOffset() const { return m_offset; }
    void setPolygonOffset(float offset);
    // Depth bias per unit of depth slope.
    float getPolygonOffsetFactor() const { return m_offsetFactor; }
    void setPolygonOffsetFactor(float factor);

    KXCULLMODE getCullMode() const { return m_cullMode; }
    void setCullMode(KXCULLMODE mode);
    KXFILLMODE getFillMode() const { return m_fillMode; }
    void setFillMode(KXFILLMODE mode);

private:
    float m_offset = 0.0f;
    float m_offsetFactor = 0.0f;
    KXCULLMODE m_cullMode = KXCULLMODE_BACK;
    KXFILLMODE m_fillMode = KXFILLMODE_FILL;
};
