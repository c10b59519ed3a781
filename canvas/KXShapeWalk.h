#pragma once

#include "renderer/KXRenderer.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTransform.h"

// The painters' walks through a scene graph.
namespace kxshapewalk {

// Visits every enabled shape below the group, depth first in child order;
// disabled nodes are skipped with everything below them. With a renderer,
// each node's transform is pushed around its visit, so that the shape is
// drawn where it stands; without one the shapes are visited as they are
// (geometry already in screen coordinates).
template <class Visit>
void forEachShape(KXGroup* group, KXRenderer* placing, Visit& visit)
{
    for (int i = 0; i < group->getNumChildNodes(); ++i) {
        KXNode* child = group->getChild(i);
        if (!child || !child->isEnabled())
            continue;
        if (placing)
            placing->pushTransform(child->getTransform()->getTransformationMatrix());
        if (child->getType() == KXNode::KXNODETYPE_GROUP) {
            if (auto* childGroup = dynamic_cast<KXGroup*>(child))
                forEachShape(childGroup, placing, visit);
        } else if (child->getType() == KXNode::KXNODETYPE_SHAPE) {
            if (auto* shape = dynamic_cast<KXShape*>(child))
                visit(shape);
        }
        if (placing)
            placing->popTransform();
    }
}

// Every geometry of a shape: its own, then those of its geometry group.
template <class Draw>
void forEachGeometry(KXShape* shape, Draw&& draw)
{
    if (KXGeometry* geometry = shape->getGeometry())
        draw(geometry);
    if (KXGeometryGroup* group = shape->getGeometryGroup())
        for (int i = 0; i < group->getNumGeometry(); ++i)
            if (KXGeometry* geometry = group->getGeometry(i))
                draw(geometry);
}

} // namespace kxshapewalk
