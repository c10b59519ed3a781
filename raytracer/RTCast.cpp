#include "raytracer/RTCast.h"

#include "raytracer/RTShapeTree.h"
#include "raytracer/RTTraversal.h"

#include <algorithm>
#include <cmath>

namespace {

// A world point within 1e-4 of the box counts as inside it.
bool nearBox(const RTVec3& p, const RTBox& box)
{
    const float e = 1e-4f;
    return p.x >= box.lo[0] - e && p.x <= box.hi[0] + e && p.y >= box.lo[1] - e && p.y <= box.hi[1] + e &&
           p.z >= box.lo[2] - e && p.z <= box.hi[2] + e;
}

// Shape-tree leaves behind the origin are visited too: a strongly scaled
// shape may have hits lying well behind the origin in world units that
// still count in its own.
bool everyLeaf(uint32_t, float)
{
    return true;
}

template <bool ANY>
bool meshHit(const RTMesh& mesh, const RTRay& ray, RTMeshHit& hit)
{
    return ANY ? mesh.intersectAny(ray, hit) : mesh.intersect(ray, hit);
}

// Only hits beyond minDistance along the world ray count.
template <bool ANY>
bool intersectShapeImpl(const RTShapeTree& tree, const RTShape& shape, const RTRay& ray, RTHit& record,
                        float minDistance = -FLT_MAX)
{
    const RTRay local = shape.identity ? ray : ray.transformed(shape.inverse.getData());
    bool improved = false;
    for (uint32_t m = 0; m < shape.numMeshes; ++m) {
        const RTMesh* mesh = tree.getMesh(shape.firstMesh + m);
        RTMeshHit hit;
        if (!meshHit<ANY>(*mesh, local, hit))
            continue;
        const RTVec3 world = shape.identity ? hit.point : rtTransformPoint(shape.world.getData(), hit.point);
        const float distance = rtDot(ray.direction, world - ray.origin);
        if (!(distance > minDistance) || (!record.empty() && !(distance < record.distance)))
            continue;
        record.distance = distance;
        record.shape = &shape;
        record.mesh = mesh;
        record.point = hit.point;
        record.worldPoint = world;
        const uint32_t* triangle = mesh->getTriangle(hit.triangle);
        record.indices[0] = triangle[0];
        record.indices[1] = triangle[1];
        record.indices[2] = triangle[2];
        record.backFacing = hit.backFacing;
        improved = true;
        if (ANY)
            break;
    }
    return improved;
}

} // namespace

RTRayContext& RTRayContext::getFreshContext()
{
    if (!m_fresh)
        m_fresh.reset(new RTRayContext(m_random));
    return *m_fresh;
}

bool RTCaster::intersectShape(const RTShapeTree& tree, const RTShape& shape, const RTRay& ray, RTHit& record)
{
    return intersectShapeImpl<false>(tree, shape, ray, record);
}

// The leaves are visited nearest first. The record keeps the nearest hit
// found so far, also from earlier leaves; it is final once it lies in the
// leaf at hand. A transparent hit is listed and the search starts again just
// behind it, in the same leaf. After such a restart only hits in front of
// the new origin count: in a strongly scaled shape the surface just left
// lies within the triangle test's 1e-5 (in object units) behind the origin
// and would otherwise be found again and again.
void RTCaster::cast(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray)
{
    context.m_hits.clear();
    if (!tree)
        return;
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    RTRay current = ray;
    RTHit record;
    float minDistance = -FLT_MAX;
    const auto visit = [&](const RTSpatialNode& leaf, const RTBox& box) {
        for (;;) {
            for (uint32_t i = 0; i < leaf.count(); ++i)
                intersectShapeImpl<false>(*tree, shapes[items[leaf.first + i]], current, record, minDistance);
            if (record.empty() || !nearBox(record.worldPoint, box))
                return false;
            context.m_hits.push_back(record);
            if (record.shape->opaque)
                return true;
            current.origin = record.worldPoint + current.direction * 1e-4f;
            minDistance = 0.0f;
            record = RTHit();
        }
    };
    rtTraverse(tree->getTree(), ray, everyLeaf, visit);
}

size_t RTCaster::countHits(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray, size_t limit)
{
    if (!tree)
        return 0;
    if (tree->hasTransparentShapes() || limit == 0) {
        cast(context, tree, ray);
        return std::min(context.m_hits.size(), limit);
    }
    // Every surface is opaque, so the count is 0 or 1, and 1 exactly when
    // some shape is hit at a point inside the leaf at hand (an earlier leaf
    // holding the shape would have found it first). A hit outside the leaf
    // is rare enough to be settled by a full cast.
    context.m_hits.clear();
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    int outcome = 0; // 1 hit, -1 undecided
    const auto visit = [&](const RTSpatialNode& leaf, const RTBox& box) {
        for (uint32_t i = 0; i < leaf.count(); ++i) {
            RTHit record;
            if (!intersectShapeImpl<true>(*tree, shapes[items[leaf.first + i]], ray, record))
                continue;
            outcome = nearBox(record.worldPoint, box) ? 1 : -1;
            return true;
        }
        return false;
    };
    rtTraverse(tree->getTree(), ray, everyLeaf, visit);
    if (outcome >= 0)
        return static_cast<size_t>(outcome);
    cast(context, tree, ray);
    return std::min(context.m_hits.size(), limit);
}
