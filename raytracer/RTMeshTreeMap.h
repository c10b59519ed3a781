#pragma once

#include "raytracer/RTMesh.h"

#include <memory>
#include <cstddef>
#include <unordered_map>

class KXGeometry;

// The tri-meshes of one trace prepared for ray casting, one entry per mesh
// however many shapes use it. Meshes of more than 9 triangles carry their
// tree; smaller ones are tested triangle by triangle.
class RTMeshTreeMap
{
public:
    // The prepared form of a tri-mesh, made on first request; null for a
    // geometry that is not a tri-mesh.
    const RTMesh* prepare(const KXGeometry* geometry);
    const RTMesh* find(const KXGeometry* geometry) const;
    size_t size() const { return m_meshes.size(); }

private:
    std::unordered_map<const KXGeometry*, std::unique_ptr<RTMesh>> m_meshes;
};
