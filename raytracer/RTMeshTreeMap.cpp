#include "raytracer/RTMeshTreeMap.h"

#include "sceneapi/KXTriMesh.h"

const RTMesh* RTMeshTreeMap::prepare(const KXGeometry* geometry)
{
    if (!geometry || geometry->getGeomType() != KXGeometry::KXGEOMTYPE_TRIMESH)
        return nullptr;
    const KXTriMesh* mesh = dynamic_cast<const KXTriMesh*>(geometry);
    if (!mesh)
        return nullptr;
    std::unique_ptr<RTMesh>& entry = m_meshes[geometry];
    if (!entry)
        entry.reset(new RTMesh(*mesh, true));
    return entry.get();
}

const RTMesh* RTMeshTreeMap::find(const KXGeometry* geometry) const
{
    const auto it = m_meshes.find(geometry);
    return it == m_meshes.end() ? nullptr : it->second.get();
}
