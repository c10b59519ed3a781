#pragma once

#include "raytracer/RTSpatialTree.h"
#include "sceneapi/KXMatrix.h"

#include <cstdint>
#include <memory>
#include <vector>

class KXAppearance;
class KXRoot;
class KXShape;
class RTMesh;
class RTMeshTreeMap;
class RTNodeCache;

// What casting and shading need of one shape, gathered once per trace.
struct RTShape {
    const KXShape* shape = nullptr;
    KXAppearance* appearance = nullptr;
    KXMatrix world;
    KXMatrix inverse;
    // The world matrix is the identity: rays need no transform.
    bool identity = true;
    // Cube root of |det(world)|: how the transform scales lengths.
    float scale = 1.0f;
    // No appearance, no material or a diffuse alpha of at least 1: rays stop
    // at this shape.
    bool opaque = true;
    RTBox worldBox;
    // The tri-meshes of the shape: its geometry, then those of its geometry
    // group, in order.
    uint32_t firstMesh = 0;
    uint32_t numMeshes = 0;
};

// The enabled shapes of a scene and a tree over world space whose leaves
// list the shapes whose world bounds reach into them.
class RTShapeTree
{
public:
    // Null when the scene has no enabled shape. Prepares the shapes'
    // tri-meshes in meshes.
    static std::unique_ptr<RTShapeTree> build(const KXRoot* root, const RTNodeCache& nodeCache, RTMeshTreeMap& meshes);

    const std::vector<RTShape>& getShapes() const { return m_shapes; }
    const RTSpatialTree& getTree() const { return m_tree; }
    const RTMesh* getMesh(uint32_t index) const { return m_meshes[index]; }
    // Some shape lets rays through (diffuse alpha below 1).
    bool hasTransparentShapes() const { return m_hasTransparentShapes; }

private:
    std::vector<RTShape> m_shapes;
    std::vector<const RTMesh*> m_meshes;
    RTSpatialTree m_tree;
    bool m_hasTransparentShapes = false;
};

// The enabled shapes below root (root included), depth first in child order;
// disabled nodes are skipped with everything below them.
void rtCollectShapes(const KXRoot* root, std::vector<const KXShape*>& shapes);
