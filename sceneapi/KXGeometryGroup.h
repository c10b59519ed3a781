#pragma once

#include "sceneapi/KXGeometry.h"
#include "sceneapi/KXSceneExport.h"

#include <vector>

// An ordered list of geometries drawn together by one shape. The group holds
// a reference to each geometry and tells its observers when the list or any
// member changes.
class KXSCENE_API KXGeometryGroup : public KXObject, public KXObserver
{
public:
    KXGeometryGroup() = default;
    explicit KXGeometryGroup(KXScene* scene) : KXObject(scene) {}
    ~KXGeometryGroup() override;

    int getNumGeometry() const { return static_cast<int>(m_geometries.size()); }
    // Null for an index out of range.
    KXGeometry* getGeometry(int index) const;
    // Null is ignored.
    void addGeometry(KXGeometry* geometry);
    bool removeGeometry(KXGeometry* geometry);
    void removeAllGeometry();

    // Union of the members' bounds (empty for an empty group).
    KXBounds getBounds() const;
    int getNumTriangles() const;
    int refresh() override;

    void update(KXObservable* source, const KXEvent& event) override;

private:
    std::vector<KXGeometry*> m_geometries;
};
