#include "raytracer/RTShapeTree.h"

#include "raytracer/RTMath.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXShape.h"

void rtCollectShapes(const KXRoot* root, std::vector<const KXShape*>& shapes)
{
    std::vector<const KXNode*> pending;
    if (root)
        pending.push_back(root);
    while (!pending.empty()) {
        const KXNode* node = pending.back();
        pending.pop_back();
        if (!node || !node->isEnabled())
            continue;
        const int type = node->getType();
        if (type == KXNode::KXNODETYPE_SHAPE) {
            if (const KXShape* shape = dynamic_cast<const KXShape*>(node))
                shapes.push_back(shape);
        } else if (type == KXNode::KXNODETYPE_ROOT || type == KXNode::KXNODETYPE_GROUP) {
            if (const KXGroup* group = dynamic_cast<const KXGroup*>(node))
                for (int i = group->getNumChildNodes() - 1; i >= 0; --i)
                    pending.push_back(group->getChild(i));
        }
    }
}

std::unique_ptr<RTShapeTree> RTShapeTree::build(const KXRoot* root, const RTNodeCache& nodeCache, RTMeshTreeMap& meshes)
{
    std::vector<const KXShape*> collected;
    rtCollectShapes(root, collected);
    if (collected.empty())
        return nullptr;

    std::unique_ptr<RTShapeTree> tree(new RTShapeTree);
    tree->m_shapes.reserve(collected.size());
    std::vector<RTBox> boxes;
    boxes.reserve(collected.size());
    for (const KXShape* shape : collected) {
        RTShape record;
        record.shape = shape;
        record.appearance = shape->getAppearance();
        if (const RTNodeCache::Entry* entry = nodeCache.find(shape)) {
            record.world = entry->world;
            record.inverse = entry->inverse;
            record.worldBox = RTBox(entry->bounds);
        }
        record.identity = rtIsIdentity(record.world) && rtIsIdentity(record.inverse);
        record.scale = rtScaleOf(record.world);
        const KXMaterial* material = record.appearance ? record.appearance->getMaterial() : nullptr;
        record.opaque = !material || material->getDiffuseColor().getA() >= 1.0f;
        tree->m_hasTransparentShapes |= !record.opaque;

        record.firstMesh = static_cast<uint32_t>(tree->m_meshes.size());
        if (const RTMesh* mesh = meshes.prepare(shape->getGeometry()))
            tree->m_meshes.push_back(mesh);
        if (const KXGeometryGroup* group = shape->getGeometryGroup())
            for (int i = 0; i < group->getNumGeometry(); ++i)
                if (const RTMesh* mesh = meshes.prepare(group->getGeometry(i)))
                    tree->m_meshes.push_back(mesh);
        record.numMeshes = static_cast<uint32_t>(tree->m_meshes.size()) - record.firstMesh;

        boxes.push_back(record.worldBox);
        tree->m_shapes.push_back(record);
    }

    std::vector<uint32_t> items(collected.size());
    for (uint32_t i = 0; i < items.size(); ++i)
        items[i] = i;
    tree->m_tree.build(RTSpatialTree::SHAPES, RTBox(root->getBounds()), std::move(items), boxes);
    return tree;
}
