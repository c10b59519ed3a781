#include "raytracer/RTCast.h"

#include "raytracer/RTPacketTraversal.h"
#include "raytracer/RTPacketTraversalWide.h"
#include "raytracer/RTShapeTree.h"

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

// Whether the ray enters box only beyond maxDistance, by more than the
// rounding of values along the ray. A box the ray misses is kept: its
// entry value means nothing.
bool entersBeyond(const RTRay& ray, const RTBox& box, float maxDistance)
{
    float entry = -FLT_MAX, exit = FLT_MAX;
    return rtSlabTest(ray, box, entry, exit) && entry > maxDistance + 1e-4f * (1.0f + std::fabs(maxDistance));
}

// What a cast's hit list says of the way to a light: its last hit is the
// first opaque surface when there is one.
RTOcclusion occlusionOf(const std::vector<RTHit>& hits)
{
    if (hits.empty())
        return RTOCCLUSION_CLEAR;
    return hits.back().shape->opaque ? RTOCCLUSION_OPAQUE : RTOCCLUSION_TRANSPARENT;
}

// Shape-tree leaves behind the origin are visited too: a strongly scaled
// shape may have hits lying well behind the origin in world units that
// still count in its own.
bool everyLeaf(uint32_t, float)
{
    return true;
}

// Takes a mesh hit as the ray's nearest surface so far.
void recordHit(RTHit& record, const RTShape& shape, const RTMesh* mesh, const RTMeshHit& hit, const RTVec3& world,
               float distance)
{
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
        recordHit(record, shape, mesh, hit, world, distance);
        improved = true;
        if (ANY)
            break;
    }
    return improved;
}

// Calls walk(object) with the rays of lanes in the shape's object space:
// the world rays themselves for a shape without a transform.
template <class Walk>
void withObjectRays(const RTShape& shape, const RTRay* const* rays, unsigned lanes, Walk&& walk)
{
    if (shape.identity) {
        walk(rays);
        return;
    }
    RTRay locals[RT_PACKET_SIZE];
    const RTRay* local[RT_PACKET_SIZE] = {};
    for (unsigned left = lanes; left != 0; left &= left - 1) {
        const int k = rtLowestLane(left);
        locals[k] = rays[k]->transformed(shape.inverse.getData());
        local[k] = &locals[k];
    }
    walk(local);
}

// intersectShapeImpl<false> for the world rays of lanes, each record kept
// as there; the shape's meshes are walked by all lanes at once.
void intersectShapePacket(const RTShapeTree& tree, const RTShape& shape, const RTRay* const* rays, unsigned lanes,
                          RTHit* records)
{
    withObjectRays(shape, rays, lanes, [&](const RTRay* const* local) {
        for (uint32_t m = 0; m < shape.numMeshes; ++m) {
            const RTMesh* mesh = tree.getMesh(shape.firstMesh + m);
            RTMeshHit hits[RT_PACKET_SIZE];
            const unsigned found = mesh->intersectPacket(local, lanes, hits);
            for (unsigned left = found; left != 0; left &= left - 1) {
                const int k = rtLowestLane(left);
                const RTMeshHit& hit = hits[k];
                const RTRay& ray = *rays[k];
                RTHit& record = records[k];
                const RTVec3 world =
                    shape.identity ? hit.point : rtTransformPoint(shape.world.getData(), hit.point);
                const float distance = rtDot(ray.direction, world - ray.origin);
                if (!(distance > -FLT_MAX) || (!record.empty() && !(distance < record.distance)))
                    continue;
                recordHit(record, shape, mesh, hit, world, distance);
            }
        }
    });
}

// intersectShapeImpl<true> for the world rays of lanes: returns the lanes
// with a hit and leaves each one's world point in points.
unsigned intersectShapeAnyPacket(const RTShapeTree& tree, const RTShape& shape, const RTRay* const* rays,
                                 unsigned lanes, RTVec3* points)
{
    // Each lane takes the first mesh it hits at a distance that counts.
    unsigned found = 0;
    withObjectRays(shape, rays, lanes, [&](const RTRay* const* local) {
        for (uint32_t m = 0; m < shape.numMeshes && (lanes & ~found) != 0; ++m) {
            const RTMesh* mesh = tree.getMesh(shape.firstMesh + m);
            RTMeshHit hits[RT_PACKET_SIZE];
            const unsigned hit = mesh->intersectAnyPacket(local, lanes & ~found, hits);
            for (unsigned left = hit; left != 0; left &= left - 1) {
                const int k = rtLowestLane(left);
                const RTVec3 world =
                    shape.identity ? hits[k].point : rtTransformPoint(shape.world.getData(), hits[k].point);
                if (!(rtDot(rays[k]->direction, world - rays[k]->origin) > -FLT_MAX))
                    continue;
                points[k] = world;
                found |= 1u << k;
            }
        }
    });
    return found;
}

// Which lanes of a packet have been tested against each of the first
// shapes. A ray passes several leaves holding the same shape and would meet
// it again in each with the same answer: a nearest hit already kept, or a
// miss.
class TestedShapes
{
public:
    // The lanes of mask not tested against shape yet; from now on they are.
    unsigned take(uint32_t shape, unsigned mask)
    {
        if (shape >= TRACKED)
            return mask;
        const unsigned fresh = mask & ~m_lanes[shape];
        m_lanes[shape] |= mask;
        return fresh;
    }

private:
    static constexpr uint32_t TRACKED = 64;
    unsigned m_lanes[TRACKED] = {};
};

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
//
// With a limit, a final hit at or beyond it ends the list, as every later
// one lies further still. A leaf the ray enters only beyond the limit is
// passed over: a surface nearer than the limit lies in a leaf the ray
// enters before it, which holds its shape too.
void RTCaster::cast(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray, float maxDistance)
{
    context.m_hits.clear();
    if (!tree)
        return;
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    const bool limited = maxDistance < INFINITY;
    RTRay current = ray;
    RTHit record;
    float minDistance = -FLT_MAX;
    const auto visit = [&](const RTSpatialNode& leaf, const RTBox& box) {
        if (limited && entersBeyond(ray, box, maxDistance))
            return false;
        for (;;) {
            for (uint32_t i = 0; i < leaf.count(); ++i)
                intersectShapeImpl<false>(*tree, shapes[items[leaf.first + i]], current, record, minDistance);
            if (record.empty() || !nearBox(record.worldPoint, box))
                return false;
            if (limited && !(rtDot(ray.direction, record.worldPoint - ray.origin) < maxDistance))
                return true;
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

// Without transparent shapes every lane ends at its first listed hit, so
// the visit of cast comes down to keeping each lane's nearest hit and
// listing it once it lies in the leaf at hand. Scenes with transparent
// shapes, whose restarts move a lane's origin, are cast ray by ray.
void RTCaster::castPacket(RTRayContext* const* contexts, const RTShapeTree* tree, const RTRay* rays, int count)
{
    if (!tree || tree->hasTransparentShapes() || count < 2 || count > RT_PACKET_SIZE) {
        for (int k = 0; k < count; ++k)
            cast(*contexts[k], tree, rays[k]);
        return;
    }
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    const RTRay* lanes[RT_PACKET_SIZE] = {};
    for (int k = 0; k < count; ++k)
        lanes[k] = &rays[k];
    float behind[RT_PACKET_SIZE];
    std::fill(behind, behind + RT_PACKET_SIZE, -INFINITY);
    RTHit records[RT_PACKET_SIZE];
    for (int k = 0; k < count; ++k)
        contexts[k]->m_hits.clear();
    TestedShapes tested;
    auto visit = [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) {
        for (uint32_t i = 0; i < leaf.count(); ++i) {
            const uint32_t shape = items[leaf.first + i];
            const unsigned fresh = tested.take(shape, mask);
            if (fresh != 0)
                intersectShapePacket(*tree, shapes[shape], lanes, fresh, records);
        }
        unsigned done = 0;
        for (unsigned left = mask; left != 0; left &= left - 1) {
            const int k = rtLowestLane(left);
            if (records[k].empty() || !nearBox(records[k].worldPoint, box))
                continue;
            contexts[k]->m_hits.push_back(records[k]);
            done |= 1u << k;
        }
        return done;
    };
    const unsigned all = ~0u >> (32 - count);
    const unsigned single = rtWidestPackets() == RTPacketWidth::EIGHT
                                ? rtTraversePacketWide(tree->getTree(), lanes, all, behind, visit)
                                : rtTraversePacket(tree->getTree(), lanes, all, behind, visit);
    for (int k = 0; k < count; ++k)
        if (single & (1u << k))
            cast(*contexts[k], tree, rays[k]);
}

RTOcclusion RTCaster::occlusion(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray, float maxDistance)
{
    if (!tree)
        return RTOCCLUSION_CLEAR;
    if (tree->hasTransparentShapes() || maxDistance < INFINITY) {
        cast(context, tree, ray, maxDistance);
        return occlusionOf(context.m_hits);
    }
    // Every surface is opaque, so the answer is clear or opaque, and opaque
    // exactly when some shape is hit at a point inside the leaf at hand (an
    // earlier leaf holding the shape would have found it first). A hit
    // outside the leaf is rare enough to be settled by a full cast.
    context.m_hits.clear();
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    int outcome = 0; // 1 opaque, -1 undecided
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
        return outcome == 1 ? RTOCCLUSION_OPAQUE : RTOCCLUSION_CLEAR;
    cast(context, tree, ray);
    return occlusionOf(context.m_hits);
}

void RTCaster::occlusionPacket(RTRayContext& context, const RTShapeTree* tree, const RTRay* rays, int count,
                               RTOcclusion* occlusions)
{
    if (!tree || tree->hasTransparentShapes() || count < 2 || count > RT_PACKET_SIZE) {
        for (int k = 0; k < count; ++k)
            occlusions[k] = occlusion(context, tree, rays[k]);
        return;
    }
    // The opaque case of occlusion, lane by lane: a lane is settled by the
    // first shape of a leaf it hits, opaque when the hit lies in the leaf
    // and undecided otherwise.
    const std::vector<RTShape>& shapes = tree->getShapes();
    const std::vector<uint32_t>& items = tree->getTree().leafItems;
    const RTRay* lanes[RT_PACKET_SIZE] = {};
    for (int k = 0; k < count; ++k) {
        lanes[k] = &rays[k];
        occlusions[k] = RTOCCLUSION_CLEAR;
    }
    float behind[RT_PACKET_SIZE];
    std::fill(behind, behind + RT_PACKET_SIZE, -INFINITY);
    unsigned undecided = 0;
    TestedShapes tested;
    auto visit = [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) {
        unsigned settled = 0;
        for (uint32_t i = 0; i < leaf.count() && (mask & ~settled) != 0; ++i) {
            const uint32_t shape = items[leaf.first + i];
            const unsigned fresh = tested.take(shape, mask & ~settled);
            if (fresh == 0)
                continue;
            RTVec3 points[RT_PACKET_SIZE];
            const unsigned hit = intersectShapeAnyPacket(*tree, shapes[shape], lanes, fresh, points);
            for (unsigned left = hit; left != 0; left &= left - 1) {
                const int k = rtLowestLane(left);
                if (nearBox(points[k], box))
                    occlusions[k] = RTOCCLUSION_OPAQUE;
                else
                    undecided |= 1u << k;
            }
            settled |= hit;
        }
        return settled;
    };
    const unsigned all = ~0u >> (32 - count);
    undecided |= rtWidestPackets() == RTPacketWidth::EIGHT
                     ? rtTraversePacketWide(tree->getTree(), lanes, all, behind, visit)
                     : rtTraversePacket(tree->getTree(), lanes, all, behind, visit);
    for (int k = 0; k < count; ++k)
        if (undecided & (1u << k))
            occlusions[k] = occlusion(context, tree, rays[k]);
}
