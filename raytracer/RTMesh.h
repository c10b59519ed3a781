#pragma once

#include "raytracer/RTPacketTraversalWide.h"
#include "raytracer/RTRay.h"
#include "raytracer/RTSpatialTree.h"

#include <cstdint>
#include <vector>

class KXTriMesh;

// Four triangles laid out for the packed triangle test: everything the test
// needs that does not depend on the ray, one lane per triangle. Unused lanes
// are zero, which makes them degenerate, so they never hit.
struct alignas(16) RTTrianglePack {
    float v0[3][4];     // first vertex
    float e1[3][4];     // second vertex - first
    float e2[3][4];     // third vertex - first
    float n[3][4];      // e1 x e2, not normalised
    float nv0[4];       // n . v0
    float d00[4];       // e1 . e1
    float d01[4];       // e1 . e2
    float d11[4];       // e2 . e2
    float den[4];       // d01² - d00·d11
    float normal0[3][4]; // the first vertex's normal, for back-face culling
    uint32_t triangle[4]; // triangle numbers into RTMesh::triangles
};

// Up to four consecutive packs with a box around each, grown a little
// beyond the triangles so that a ray line missing the box surely misses
// every triangle of its pack: the exact test runs only on packs whose box
// the ray crosses.
//
// For meshes whose back faces are culled, each pack also has a cone around
// its triangles' first-vertex normals: a ray whose direction d has
// d . axis >= awayFrom sees every triangle of the pack from behind, so the
// pack needs no test. awayFrom covers the cone's width and the rounding of
// the per-triangle test with room to spare; it is +infinity where nothing
// is culled this way and -infinity in lanes without a pack.
//
// The cones fill the first cache line of a group: rays that see every pack
// from behind (the far side of a closed mesh, shadow rays leaving a lit
// surface) are turned away without the boxes being read.
struct alignas(64) RTPackGroup {
    float axis[3][4];
    float awayFrom[4];
    float lo[3][4];
    float hi[3][4];
    uint32_t firstPack;
    uint32_t numPacks;
};

// The nearest triangle of a mesh along an object-space ray.
struct RTMeshHit {
    float t = 0.0f;
    RTVec3 point;
    uint32_t triangle = 0;
    int backFacing = 0;
};

// A tri-mesh prepared for ray casting: its triangles (vertex indices in the
// order they were enumerated) packed four at a time, and, for meshes of more
// than 9 triangles, a tree over its object space whose leaves list packs.
//
// Triangles whose indices lie outside the vertex array are left out.
class RTMesh
{
public:
    // Meshes with more triangles than this get a tree.
    static constexpr int MAX_TRIANGLES_WITHOUT_TREE = 9;

    // withTree false forces triangle-by-triangle testing (background geometry).
    RTMesh(const KXTriMesh& mesh, bool withTree);
    RTMesh(const RTMesh&) = delete;
    RTMesh& operator=(const RTMesh&) = delete;

    const KXTriMesh& getTriMesh() const { return m_mesh; }
    // The radius of the tri-mesh's bounds, as it was when the mesh was
    // prepared (secondary rays start this much times 1e-4 off a surface).
    float getRadius() const { return m_radius; }
    bool hasTree() const { return !m_tree.empty(); }
    const RTSpatialTree& getTree() const { return m_tree; }
    size_t getNumTriangles() const { return m_triangles.size() / 3; }
    // Vertex indices of a triangle number.
    const uint32_t* getTriangle(uint32_t triangle) const { return &m_triangles[3 * size_t(triangle)]; }
    const std::vector<RTTrianglePack>& getPacks() const { return m_packs; }
    const std::vector<RTPackGroup>& getPackGroups() const { return m_groups; }

    // Nearest hit along the ray: through the tree when there is one (ending
    // at the first leaf that holds the nearest hit so far), otherwise over
    // every triangle. Ties keep the triangle enumerated first.
    bool intersect(const RTRay& ray, RTMeshHit& hit) const;
    // Whether the ray hits any triangle: the same leaves, triangles and
    // tolerances as intersect, ending at the first hit found.
    bool intersectAny(const RTRay& ray, RTMeshHit& hit) const;
    // intersect for the rays of lanes (a mask of bits into rays), the
    // tree walked by all of them at once (rtTraversePacket, in registers of
    // the given width); hits[k] gets what intersect(*rays[k], hits[k])
    // would give. Returns the lanes with a hit.
    unsigned intersectPacket(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits,
                             RTPacketWidth width = rtWidestPackets()) const;
    // intersectAny for the rays of lanes in the same way.
    unsigned intersectAnyPacket(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits,
                                RTPacketWidth width = rtWidestPackets()) const;

private:
    struct RayLimits;
    // intersectLanes for a mesh without a tree, four rays at a time;
    // found[k] tells whether lane k hit.
    template <bool ANY>
    void intersectWithoutTree(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits, bool* found) const;
    template <bool ANY>
    bool intersectTree(const RTRay& ray, RTMeshHit& hit) const;
    // intersectPacket (ANY false) or intersectAnyPacket (ANY true).
    template <bool ANY>
    unsigned intersectLanes(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits, RTPacketWidth width) const;
    // Tests the packs of count groups from first; returns true when ANY and
    // a hit was found.
    template <bool ANY>
    bool intersectGroups(const RTRay& ray, const RayLimits& limits, uint32_t first, uint32_t count, RTMeshHit& hit,
                         bool& found) const;
    template <bool ANY>
    bool intersectPack(const RTRay& ray, const RayLimits& limits, const RTTrianglePack& pack, RTMeshHit& hit,
                       bool& found) const;
    // Packs the triangles and groups the packs; returns the number of groups.
    uint32_t addPacks(const std::vector<uint32_t>& triangles, const std::vector<RTVec3>& vertices);

    const KXTriMesh& m_mesh;
    bool m_hasNormals = false;
    bool m_twoSided = false;
    std::vector<uint32_t> m_triangles;
    std::vector<RTTrianglePack> m_packs;
    std::vector<RTPackGroup> m_groups;
    // How far pack boxes reach beyond their triangles.
    float m_margin = 0.0f;
    float m_radius = 0.0f;
    RTSpatialTree m_tree; // leaves list pack groups
};
