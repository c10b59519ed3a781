#pragma once

#include "sceneapi/KXBounds.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

// Base of the renderer-side forms of geometries.
class KXGeometryImpl : public KXImplementation
{
};

// Base of drawable geometry: tri-meshes and polylines. Observers (the shapes
// that use a geometry) hear a KXObjectEvent of kind CHANGED whenever its data
// change.
class KXSCENE_API KXGeometry : public KXObject
{
public:
    enum KXGEOMTYPE {
        KXGEOMTYPE_NONE = 0,
        KXGEOMTYPE_POLYLINE = 1,
        KXGEOMTYPE_TRIMESH = 2,
    };

    KXGeometry() = default;
    explicit KXGeometry(KXScene* scene) : KXObject(scene) {}

    virtual int getGeomType() const = 0;
    // Bounds in the geometry's own coordinates; kept up to date by every
    // setter, so reading them never computes anything.
    const KXBounds& getBounds() const { return m_bounds; }

    // A pre-transformed geometry holds screen positions (x and y in pixels,
    // z the depth) that are drawn without any transform or lighting.
    bool getPreTransformed() const { return m_preTransformed; }
    void setPreTransformed(bool preTransformed);

protected:
    void setBounds(const KXBounds& bounds) { m_bounds = bounds; }

private:
    KXBounds m_bounds;
    bool m_preTransformed = false;
};
