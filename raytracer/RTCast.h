#pragma once

#include "raytracer/RTMesh.h"
#include "raytracer/RTRandom.h"
#include "raytracer/RTRay.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

class RTShapeTree;
struct RTShape;

// What a shadow ray meets on its way to a light: nothing, transparent
// surfaces only, or an opaque surface.
enum RTOcclusion : int {
    RTOCCLUSION_CLEAR = 0,
    RTOCCLUSION_TRANSPARENT = 1,
    RTOCCLUSION_OPAQUE = 2,
};

// One surface a ray passes through.
struct RTHit {
    // Along the world ray: direction . (world point - origin).
    float distance = 0.0f;
    const RTShape* shape = nullptr;
    const RTMesh* mesh = nullptr;
    // The hit point in the shape's object space and in world space.
    RTVec3 point;
    RTVec3 worldPoint;
    // Vertex indices of the triangle, in the order it was enumerated.
    uint32_t indices[3] = {0, 0, 0};
    // The triangle of a two-sided mesh was hit from the side its first
    // vertex normal points away from.
    int backFacing = 0;

    bool empty() const { return mesh == nullptr; }
};

// Per-thread working space of ray casting: the hits of the last cast and the
// random numbers of soft shadows. Reused from ray to ray, so casting
// allocates nothing once the hit list has grown to its largest size.
class RTRayContext
{
public:
    RTRayContext() { m_hits.reserve(16); }
    explicit RTRayContext(RTRandom* random) : RTRayContext() { m_random = random; }
    RTRayContext(const RTRayContext&) = delete;
    RTRayContext& operator=(const RTRayContext&) = delete;

    const std::vector<RTHit>& getHits() const { return m_hits; }
    size_t getHitCount() const { return m_hits.size(); }
    void reset() { m_hits.clear(); }

    RTRandom* getRandom() const { return m_random; }
    // A context of the same thread whose hit list nobody is reading: for
    // shading the hits of this context's last cast, which may cast again.
    RTRayContext& getFreshContext();

private:
    friend class RTCaster;
    std::vector<RTHit> m_hits;
    RTRandom* m_random = nullptr;
    std::unique_ptr<RTRayContext> m_fresh;
};

// Casting rays through a shape tree.
class RTCaster
{
public:
    // Fills the context's hit list with the surfaces along the ray, nearest
    // first, up to and including the first opaque one. A transparent hit
    // lets the search go on just behind it (1e-4 further along the ray).
    // Hits count only within the tree's boxes. With a finite maxDistance
    // only surfaces nearer than that along the ray are listed, and leaves
    // the ray enters beyond it are not searched.
    static void cast(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray,
                     float maxDistance = INFINITY);

    // cast for count rays, each into its own context. Up to RT_PACKET_SIZE
    // rays (best neighbours running the same way) walk the trees together
    // where they agree; more are cast one by one.
    static void castPacket(RTRayContext* const* contexts, const RTShapeTree* tree, const RTRay* rays, int count);

    // What cast would list up to maxDistance, reduced to what a shadow
    // needs: an opaque surface, transparent ones only, or none. Without a
    // limit and with no transparent shape in the scene the first surface
    // found settles it, so the search ends at any hit instead of the nearest.
    static RTOcclusion occlusion(RTRayContext& context, const RTShapeTree* tree, const RTRay& ray,
                                 float maxDistance = INFINITY);

    // occlusion without a limit for count rays into occlusions, walked
    // together as castPacket walks its rays.
    static void occlusionPacket(RTRayContext& context, const RTShapeTree* tree, const RTRay* rays, int count,
                                RTOcclusion* occlusions);

    // Intersects one shape with a world ray and keeps the hit in record
    // when record is empty or the hit is nearer. Returns true when the
    // record was improved.
    static bool intersectShape(const RTShapeTree& tree, const RTShape& shape, const RTRay& ray, RTHit& record);
};
