#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXGeometry.h"
#include "sceneapi/KXSceneExport.h"

#include <vector>

// Base of the renderer-side forms of polylines.
class KXPolylineImpl : public KXGeometryImpl
{
public:
    virtual void draw() = 0;
};

// Lines through a list of points, with optional per-point colours (used only
// when there is one colour per point).
class KXSCENE_API KXPolyline : public KXGeometry
{
public:
    enum KXPOLYLINETYPE {
        KXPOLYLINETYPE_SEGMENTS = 0, // points taken in pairs, one segment each
        KXPOLYLINETYPE_OPEN = 1,     // a chain from the first point to the last
        KXPOLYLINETYPE_CLOSED = 2,   // a chain back to the first point
    };

    KXPolyline() = default;
    explicit KXPolyline(KXScene* scene) : KXGeometry(scene) {}

    int getGeomType() const override { return KXGEOMTYPE_POLYLINE; }
    int refresh() override;

    // Replaces type, points and colours. colors may be null; otherwise it
    // holds count colours.
    void set(KXPOLYLINETYPE type, const KXPosition* points, int count, const KXColor* colors = nullptr);
    void set(KXPOLYLINETYPE type, std::vector<KXPosition> points, std::vector<KXColor> colors = {});

    KXPOLYLINETYPE getPolylineType() const { return m_type; }
    const std::vector<KXPosition>& getVertices() const { return m_points; }
    const std::vector<KXColor>& getColorArray() const { return m_colors; }
    int getNumVertices() const { return static_cast<int>(m_points.size()); }
    // Number of line segments the points make for the type.
    int getNumSegments() const;

    KXPolylineImpl* getImplementation() const { return static_cast<KXPolylineImpl*>(m_impl.get()); }
    void setImplementation(KXPolylineImpl* impl) { m_impl.set(impl); }

protected:
    void changed() override;

private:
    KXPOLYLINETYPE m_type = KXPOLYLINETYPE_SEGMENTS;
    std::vector<KXPosition> m_points;
    std::vector<KXColor> m_colors;
    KXImplementationSlot m_impl;
};
