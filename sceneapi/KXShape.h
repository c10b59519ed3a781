#pragma once

#include "sceneapi/KXNode.h"
#include "sceneapi/KXSceneExport.h"

class KXAppearance;
class KXGeometry;
class KXGeometryGroup;

// A leaf node that draws a geometry and/or a geometry group with an
// appearance. A second appearance is used while the shape is selected. The
// shape holds references to all four and follows changes of its geometry in
// its bounds.
class KXSCENE_API KXShape : public KXNode, public KXObserver
{
public:
    KXShape() = default;
    explicit KXShape(KXScene* scene) : KXNode(scene) {}
    ~KXShape() override;

    int getType() const override { return KXNODETYPE_SHAPE; }

    KXGeometry* getGeometry() const { return m_geometry; }
    void setGeometry(KXGeometry* geometry);
    KXGeometryGroup* getGeometryGroup() const { return m_geometryGroup; }
    void setGeometryGroup(KXGeometryGroup* group);
    KXAppearance* getAppearance() const { return m_appearance; }
    void setAppearance(KXAppearance* appearance);
    KXAppearance* getSelectedAppearance() const { return m_selectedAppearance; }
    void setSelectedAppearance(KXAppearance* appearance);

    // Triangles of the geometry (when it is a tri-mesh) and of the tri-meshes
    // of the geometry group.
    int getNumTriangles() const;
    int refresh() override;

    void update(KXObservable* source, const KXEvent& event) override;

protected:
    KXBounds computeBounds() const override;

private:
    KXGeometry* m_geometry = nullptr;
    KXGeometryGroup* m_geometryGroup = nullptr;
    KXAppearance* m_appearance = nullptr;
    KXAppearance* m_selectedAppearance = nullptr;
};
