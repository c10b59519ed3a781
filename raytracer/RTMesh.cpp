#include "raytracer/RTMesh.h"

#include "raytracer/RTPacketTraversal.h"
#include "raytracer/RTPacketTraversalWide.h"

#include "sceneapi/KXTriMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RT_HAVE_SSE2 1
#endif

namespace {

// Triangles as the tree builder reads the index list: strips keep one
// winding by swapping the last two indices of every odd triangle.
void enumerateForTree(const KXTriMesh& mesh, std::vector<uint32_t>& out)
{
    const std::vector<uint32_t>& i = mesh.getIndicesArray();
    const size_t n = i.size();
    switch (mesh.getTriMeshType()) {
    case KXTriMesh::KXTRIMESHTYPE_LIST:
        out.assign(i.begin(), i.begin() + (n / 3) * 3);
        break;
    case KXTriMesh::KXTRIMESHTYPE_STRIP:
        for (size_t k = 0; k + 2 < n; ++k) {
            const bool odd = (k & 1) != 0;
            out.insert(out.end(), {i[k], odd ? i[k + 2] : i[k + 1], odd ? i[k + 1] : i[k + 2]});
        }
        break;
    default:
        for (size_t k = 1; k + 1 < n; ++k)
            out.insert(out.end(), {i[0], i[k], i[k + 1]});
        break;
    }
}

// Triangles as the triangle-by-triangle test reads the index list.
void enumerateDirect(const KXTriMesh& mesh, std::vector<uint32_t>& out)
{
    const std::vector<uint32_t>& i = mesh.getIndicesArray();
    const size_t n = i.size();
    switch (mesh.getTriMeshType()) {
    case KXTriMesh::KXTRIMESHTYPE_LIST:
        out.assign(i.begin(), i.begin() + (n / 3) * 3);
        break;
    case KXTriMesh::KXTRIMESHTYPE_STRIP:
        for (size_t k = 0; k + 2 < n; ++k)
            out.insert(out.end(), {i[k], i[k + 1], i[k + 2]});
        break;
    case KXTriMesh::KXTRIMESHTYPE_FAN:
        for (size_t k = 1; k + 1 < n; ++k)
            out.insert(out.end(), {i[0], i[k], i[k + 1]});
        break;
    default:
        break;
    }
}

// Drops triangles that name vertices the mesh does not have.
void dropInvalidTriangles(std::vector<uint32_t>& triangles, size_t numVertices)
{
    size_t kept = 0;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        if (triangles[t] < numVertices && triangles[t + 1] < numVertices && triangles[t + 2] < numVertices) {
            std::copy(triangles.begin() + t, triangles.begin() + t + 3, triangles.begin() + kept);
            kept += 3;
        }
    }
    triangles.resize(kept);
}

// The lowest lane set in a non-empty four-lane mask.
uint32_t lowestLane(int lanes)
{
    return (lanes & 1) ? 0u : (lanes & 2) ? 1u : (lanes & 4) ? 2u : 3u;
}

bool insideBox(const RTVec3& p, const RTBox& box)
{
    return p.x >= box.lo[0] && p.x <= box.hi[0] && p.y >= box.lo[1] && p.y <= box.hi[1] && p.z >= box.lo[2] &&
           p.z <= box.hi[2];
}

// The cone of a pack's first-vertex normals n: its axis c is their mean,
// and r bounds |n - c|. For a unit ray direction d, d . n >= d . c - r
// (Cauchy-Schwarz), so d . c >= 1.001 r + 1e-4 puts every d . n well
// above 0, beyond what rounding in either dot product or in |d| can undo (a
// few units in the seventh digit): the packed test would find each triangle
// facing away.
void setFacingCone(const RTTrianglePack& pack, size_t used, RTPackGroup& group, uint32_t slot)
{
    double mean[3] = {0.0, 0.0, 0.0};
    for (size_t lane = 0; lane < used; ++lane)
        for (int a = 0; a < 3; ++a)
            mean[a] += pack.normal0[a][lane];
    const double length = std::sqrt(mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2]);
    if (!(length > 1e-3))
        return;
    float axis[3];
    for (int a = 0; a < 3; ++a)
        axis[a] = static_cast<float>(mean[a] / length);
    double spread = 0.0;
    for (size_t lane = 0; lane < used; ++lane) {
        double squared = 0.0;
        for (int a = 0; a < 3; ++a) {
            const double difference = double(pack.normal0[a][lane]) - axis[a];
            squared += difference * difference;
        }
        spread = std::max(spread, std::sqrt(squared));
    }
    // Cones as wide as a hemisphere cull nothing a ray could use.
    if (!(spread < 1.0))
        return;
    for (int a = 0; a < 3; ++a)
        group.axis[a][slot] = axis[a];
    group.awayFrom[slot] = static_cast<float>(spread * 1.001 + 1e-4);
}

#ifdef RT_HAVE_SSE2
// a where mask is set, b elsewhere.
__m128 select(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// x·a + y·b + z·c, added in that order.
__m128 dot3(__m128 x, __m128 a, __m128 y, __m128 b, __m128 z, __m128 c)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, a), _mm_mul_ps(y, b)), _mm_mul_ps(z, c));
}

// The lanes set in a four-bit mask, as a vector mask.
__m128 laneMask(int bits)
{
    return _mm_castsi128_ps(
        _mm_cmpgt_epi32(_mm_and_si128(_mm_set1_epi32(bits), _mm_setr_epi32(1, 2, 4, 8)), _mm_setzero_si128()));
}

// What the packed triangle test needs of a triangle, lane by lane: four
// triangles of a pack, or one spread over the lanes for four rays.
struct PackedTriangles {
    __m128 n[3], nv0, v0[3], e1[3], e2[3], d00, d01, d11, den;
};

// Where the packed test puts four (ray, triangle) pairs: t and the point.
struct PackedMeeting {
    __m128 t, p[3];
};

// The packed triangle test for four (ray, triangle) pairs, one per lane, o
// and d being the rays' origins and directions: the pairs of valid (those
// past the facing and degenerate checks) whose ray is not parallel to the
// plane, meets it inside the triangle (barycentric weights within 1e-5) and
// no more than 1e-5 behind the origin. Returns those lanes as bits.
int packedTriangleTest(const __m128 o[3], const __m128 d[3], const PackedTriangles& tri, __m128 valid,
                       PackedMeeting& meeting)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 tolerance = _mm_set1_ps(1e-5f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    const __m128 nd = dot3(tri.n[0], d[0], tri.n[1], d[1], tri.n[2], d[2]);
    valid = _mm_andnot_ps(_mm_cmplt_ps(_mm_and_ps(nd, absMask), tolerance), valid);
    if (_mm_movemask_ps(valid) == 0)
        return 0;
    const __m128 no = dot3(tri.n[0], o[0], tri.n[1], o[1], tri.n[2], o[2]);
    const __m128 s = _mm_div_ps(_mm_sub_ps(no, tri.nv0), nd);
    __m128 w[3];
    for (int a = 0; a < 3; ++a) {
        meeting.p[a] = _mm_sub_ps(o[a], _mm_mul_ps(s, d[a]));
        w[a] = _mm_sub_ps(meeting.p[a], tri.v0[a]);
    }
    const __m128 d20 = dot3(w[0], tri.e1[0], w[1], tri.e1[1], w[2], tri.e1[2]);
    const __m128 d21 = dot3(w[0], tri.e2[0], w[1], tri.e2[1], w[2], tri.e2[2]);
    const __m128 u = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(d21, tri.d01), _mm_mul_ps(d20, tri.d11)), tri.den);
    const __m128 v = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(d20, tri.d01), _mm_mul_ps(d21, tri.d00)), tri.den);
    const __m128 inside = _mm_and_ps(
        _mm_and_ps(_mm_cmple_ps(_mm_sub_ps(zero, u), tolerance), _mm_cmple_ps(_mm_sub_ps(u, one), tolerance)),
        _mm_and_ps(_mm_cmple_ps(_mm_sub_ps(zero, v), tolerance),
                   _mm_cmple_ps(_mm_sub_ps(_mm_add_ps(u, v), one), tolerance)));
    meeting.t = dot3(d[0], _mm_sub_ps(meeting.p[0], o[0]), d[1], _mm_sub_ps(meeting.p[1], o[1]), d[2],
                     _mm_sub_ps(meeting.p[2], o[2]));
    const __m128 ahead = _mm_cmple_ps(_mm_sub_ps(zero, meeting.t), tolerance);
    return _mm_movemask_ps(_mm_and_ps(_mm_and_ps(valid, inside), ahead));
}
#endif

} // namespace

// What a ray brings to the pack-box test: how far behind its origin a hit
// may lie, and how much the boxes grow for the rounding of hit points, which
// grows with the distance of the origin.
struct RTMesh::RayLimits {
    float behind;
    float margin;
#ifdef RT_HAVE_SSE2
    // The ray spread over four lanes once, for the packed tests of every
    // group and pack it meets.
    __m128 origin[3];
    __m128 direction[3];
    __m128 inverse[3];
#endif

    RayLimits() = default;
    explicit RayLimits(const RTRay& ray) { set(ray); }
    // behind and margin for a ray.
    static void bounds(const RTRay& ray, float& behind, float& margin)
    {
        const float largest = std::max({std::fabs(ray.origin.x), std::fabs(ray.origin.y), std::fabs(ray.origin.z)});
        behind = -1e-5f - 1e-4f * (1.0f + largest);
        margin = 1e-6f * largest;
    }
    void set(const RTRay& ray)
    {
        bounds(ray, behind, margin);
#ifdef RT_HAVE_SSE2
        for (int a = 0; a < 3; ++a) {
            origin[a] = _mm_set1_ps(ray.origin[a]);
            direction[a] = _mm_set1_ps(ray.direction[a]);
            inverse[a] = _mm_set1_ps(ray.inverse[a]);
        }
#endif
    }
};

RTMesh::RTMesh(const KXTriMesh& mesh, bool withTree) : m_mesh(mesh)
{
    const std::vector<KXPosition>& positions = mesh.getVertexArray();
    std::vector<RTVec3> vertices(positions.size());
    for (size_t v = 0; v < positions.size(); ++v)
        vertices[v] = RTVec3(positions[v]);
    m_hasNormals = !positions.empty() && mesh.getNormalsArray().size() == positions.size();
    m_twoSided = mesh.getSidedness() == KXTriMesh::KXSIDEDNESS_TWO;
    // Hits may lie outside a triangle by the test's tolerance of 1e-5 of its
    // edges, and hit points carry rounding; a margin of 2e-4 of the mesh's
    // size (at least 2e-4) covers both many times over.
    const RTBox bounds(mesh.getBounds());
    float size = 1.0f;
    for (int a = 0; a < 3; ++a)
        size = std::max({size, std::fabs(bounds.lo[a]), std::fabs(bounds.hi[a])});
    m_margin = 2e-4f * size;
    m_radius = mesh.getBounds().getRadius();

    const bool tree = withTree && mesh.getNumTriangles() > MAX_TRIANGLES_WITHOUT_TREE && !mesh.getIndicesArray().empty();
    if (tree)
        enumerateForTree(mesh, m_triangles);
    else
        enumerateDirect(mesh, m_triangles);
    dropInvalidTriangles(m_triangles, vertices.size());
    const uint32_t numTriangles = static_cast<uint32_t>(m_triangles.size() / 3);

    if (!tree) {
        m_packs.reserve((numTriangles + 3) / 4);
        m_groups.reserve((numTriangles + 15) / 16);
        std::vector<uint32_t> all(numTriangles);
        for (uint32_t t = 0; t < numTriangles; ++t)
            all[t] = t;
        addPacks(all, vertices);
        return;
    }

    std::vector<RTBox> boxes(numTriangles);
    std::vector<uint32_t> items(numTriangles);
    for (uint32_t t = 0; t < numTriangles; ++t) {
        const uint32_t* tri = getTriangle(t);
        RTBox& box = boxes[t];
        for (int a = 0; a < 3; ++a) {
            box.lo[a] = std::min({vertices[tri[0]][a], vertices[tri[1]][a], vertices[tri[2]][a]});
            box.hi[a] = std::max({vertices[tri[0]][a], vertices[tri[1]][a], vertices[tri[2]][a]});
        }
        items[t] = t;
    }
    m_tree.build(RTSpatialTree::TRIANGLES, bounds, std::move(items), boxes);

    // Leaves list pack groups rather than triangles: the packs of each leaf
    // are stored together, so a triangle shared by several leaves is packed
    // once per leaf.
    size_t numPacks = 0, numGroups = 0;
    for (const RTSpatialNode& node : m_tree.nodes)
        if (node.isLeaf()) {
            numPacks += (node.count() + 3) / 4;
            numGroups += (node.count() + 15) / 16;
        }
    m_packs.reserve(numPacks);
    m_groups.reserve(numGroups);
    std::vector<uint32_t> leafTriangles;
    for (RTSpatialNode& node : m_tree.nodes) {
        if (!node.isLeaf())
            continue;
        const auto items = m_tree.leafItems.begin() + node.first;
        leafTriangles.assign(items, items + node.count());
        const uint32_t firstGroup = static_cast<uint32_t>(m_groups.size());
        node.makeLeaf(firstGroup, addPacks(leafTriangles, vertices));
    }
    std::vector<uint32_t>().swap(m_tree.leafItems);
}

uint32_t RTMesh::addPacks(const std::vector<uint32_t>& triangles, const std::vector<RTVec3>& vertices)
{
    const std::vector<KXUnitVector>& normals = m_mesh.getNormalsArray();
    const size_t firstGroup = m_groups.size();
    for (size_t start = 0; start < triangles.size(); start += 4) {
        RTTrianglePack pack;
        std::memset(&pack, 0, sizeof pack);
        RTBox box;
        for (size_t lane = 0; lane < 4 && start + lane < triangles.size(); ++lane) {
            const uint32_t t = triangles[start + lane];
            const uint32_t* tri = getTriangle(t);
            const RTVec3& v0 = vertices[tri[0]];
            const RTVec3 e1 = vertices[tri[1]] - v0, e2 = vertices[tri[2]] - v0;
            const RTVec3 n = rtCross(e1, e2);
            for (int a = 0; a < 3; ++a) {
                pack.v0[a][lane] = v0[a];
                pack.e1[a][lane] = e1[a];
                pack.e2[a][lane] = e2[a];
                pack.n[a][lane] = n[a];
                pack.normal0[a][lane] = m_hasNormals ? normals[tri[0]][a] : 0.0f;
                const float lo = std::min({v0[a], vertices[tri[1]][a], vertices[tri[2]][a]});
                const float hi = std::max({v0[a], vertices[tri[1]][a], vertices[tri[2]][a]});
                box.lo[a] = lane == 0 ? lo : std::min(box.lo[a], lo);
                box.hi[a] = lane == 0 ? hi : std::max(box.hi[a], hi);
            }
            pack.nv0[lane] = rtDot(n, v0);
            pack.d00[lane] = rtDot(e1, e1);
            pack.d01[lane] = rtDot(e1, e2);
            pack.d11[lane] = rtDot(e2, e2);
            pack.den[lane] = pack.d01[lane] * pack.d01[lane] - pack.d00[lane] * pack.d11[lane];
            pack.triangle[lane] = t;
        }
        const size_t packIndex = m_packs.size();
        m_packs.push_back(pack);
        if ((start / 4) % 4 == 0) {
            RTPackGroup group;
            std::memset(&group, 0, sizeof group);
            for (float& bound : group.awayFrom)
                bound = -INFINITY;
            group.firstPack = static_cast<uint32_t>(packIndex);
            m_groups.push_back(group);
        }
        RTPackGroup& group = m_groups.back();
        const uint32_t lane = group.numPacks++;
        group.awayFrom[lane] = INFINITY;
        for (int a = 0; a < 3; ++a) {
            group.lo[a][lane] = box.lo[a] - m_margin;
            group.hi[a][lane] = box.hi[a] + m_margin;
        }
        if (m_hasNormals && !m_twoSided)
            setFacingCone(pack, std::min<size_t>(4, triangles.size() - start), group, lane);
    }
    return static_cast<uint32_t>(m_groups.size() - firstGroup);
}

bool RTMesh::intersect(const RTRay& ray, RTMeshHit& hit) const
{
    if (hasTree())
        return intersectTree<false>(ray, hit);
    bool found = false;
    intersectGroups<false>(ray, RayLimits(ray), 0, static_cast<uint32_t>(m_groups.size()), hit, found);
    return found;
}

bool RTMesh::intersectAny(const RTRay& ray, RTMeshHit& hit) const
{
    if (hasTree())
        return intersectTree<true>(ray, hit);
    bool found = false;
    return intersectGroups<true>(ray, RayLimits(ray), 0, static_cast<uint32_t>(m_groups.size()), hit, found);
}

unsigned RTMesh::intersectPacket(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits, RTPacketWidth width) const
{
    return intersectLanes<false>(rays, lanes, hits, width);
}

unsigned RTMesh::intersectAnyPacket(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits,
                                    RTPacketWidth width) const
{
    return intersectLanes<true>(rays, lanes, hits, width);
}

template <bool ANY>
unsigned RTMesh::intersectLanes(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits, RTPacketWidth width) const
{
    bool found[RT_PACKET_SIZE] = {};
    unsigned single = lanes;
    if (hasTree()) {
        RayLimits limits[RT_PACKET_SIZE];
        float behind[RT_PACKET_SIZE] = {};
        for (unsigned left = lanes; left != 0; left &= left - 1) {
            const int k = rtLowestLane(left);
            limits[k].set(*rays[k]);
            behind[k] = limits[k].behind;
        }
        if constexpr (ANY) {
            // The leaf visit of intersectTree<true>, lane by lane.
            auto visit = [&](unsigned mask, const RTSpatialNode& leaf) {
                unsigned done = 0;
                if (leaf.count() == 0)
                    return done;
                for (unsigned left = mask; left != 0; left &= left - 1) {
                    const int k = rtLowestLane(left);
                    if (intersectGroups<true>(*rays[k], limits[k], leaf.first, leaf.count(), hits[k], found[k]))
                        done |= 1u << k;
                }
                return done;
            };
            single = width == RTPacketWidth::EIGHT ? rtTraverseAllPacketWide(m_tree, rays, lanes, behind, visit)
                                                   : rtTraverseAllPacket(m_tree, rays, lanes, behind, visit);
        } else {
            // The leaf visit of intersectTree<false>, lane by lane.
            auto visit = [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) {
                unsigned done = 0;
                for (unsigned left = mask; left != 0; left &= left - 1) {
                    const int k = rtLowestLane(left);
                    if (leaf.count() != 0)
                        intersectGroups<false>(*rays[k], limits[k], leaf.first, leaf.count(), hits[k], found[k]);
                    if (found[k] && insideBox(hits[k].point, box))
                        done |= 1u << k;
                }
                return done;
            };
            single = width == RTPacketWidth::EIGHT ? rtTraversePacketWide(m_tree, rays, lanes, behind, visit)
                                                   : rtTraversePacket(m_tree, rays, lanes, behind, visit);
        }
    } else {
#ifdef RT_HAVE_SSE2
        intersectWithoutTree<ANY>(rays, lanes, hits, found);
        single = 0;
#endif
    }
    // Lanes the packet walk gave back take the single-ray walk.
    for (unsigned left = single; left != 0; left &= left - 1) {
        const int k = rtLowestLane(left);
        hits[k] = RTMeshHit();
        found[k] = ANY ? intersectAny(*rays[k], hits[k]) : intersect(*rays[k], hits[k]);
    }
    unsigned result = 0;
    for (unsigned left = lanes; left != 0; left &= left - 1) {
        const int k = rtLowestLane(left);
        result |= found[k] ? 1u << k : 0u;
    }
    return result;
}

#ifdef RT_HAVE_SSE2
// The groups, packs and triangles of a mesh without a tree, in the order
// intersectGroups takes them, each tested for four rays at once rather than
// each ray against four packs or triangles at once: the values of every
// (ray, triangle) pair come from the same operations in the same order, so
// each ray keeps what intersect (or intersectAny) gives it. Meshes this
// small are met by most rays of a scene (a ground of two triangles under
// everything), where one ray at a time would pay the whole set-up of a
// packed test for one or two triangles.
template <bool ANY>
void RTMesh::intersectWithoutTree(const RTRay* const* rays, unsigned lanes, RTMeshHit* hits, bool* found) const
{
    int order[RT_PACKET_SIZE];
    int count = 0;
    for (unsigned left = lanes; left != 0; left &= left - 1)
        order[count++] = rtLowestLane(left);
    const __m128 zero = _mm_setzero_ps();
    for (int start = 0; start < count; start += 4) {
        const int used = std::min(4, count - start);
        int lane[4];
        const RTRay* ray[4];
        float behind[4], margin[4];
        for (int i = 0; i < 4; ++i) {
            // Missing rays repeat the last one; they are never active.
            lane[i] = order[start + std::min(i, used - 1)];
            ray[i] = rays[lane[i]];
            RayLimits::bounds(*ray[i], behind[i], margin[i]);
            hits[lane[i]] = RTMeshHit();
        }
        // Built from the values themselves rather than stored and read back
        // as vectors, which would stall on the stores.
        const auto spread = [&ray](const RTVec3 RTRay::*member, int a) {
            return _mm_setr_ps((ray[0]->*member)[a], (ray[1]->*member)[a], (ray[2]->*member)[a], (ray[3]->*member)[a]);
        };
        __m128 O[3], D[3], inv[3], negative[3];
        for (int a = 0; a < 3; ++a) {
            O[a] = spread(&RTRay::origin, a);
            D[a] = spread(&RTRay::direction, a);
            inv[a] = spread(&RTRay::inverse, a);
            negative[a] = _mm_cmplt_ps(inv[a], zero);
        }
        const __m128 behindV = _mm_setr_ps(behind[0], behind[1], behind[2], behind[3]);
        const __m128 marginV = _mm_setr_ps(margin[0], margin[1], margin[2], margin[3]);
        int active = (1 << used) - 1, foundBits = 0;
        alignas(16) float best[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (size_t g = 0; g < m_groups.size() && active != 0; ++g) {
            const RTPackGroup& group = m_groups[g];
            // intersectGroups' culling of packs, with each ray's nearest hit
            // as it stands when the group is reached.
            const __m128 bestV = _mm_load_ps(best);
            const __m128 foundV = laneMask(foundBits);
            int packRays[4] = {0, 0, 0, 0};
            for (uint32_t j = 0; j < group.numPacks; ++j) {
                __m128 entry = _mm_set1_ps(-FLT_MAX), exit = _mm_set1_ps(FLT_MAX);
                for (int a = 0; a < 3; ++a) {
                    const __m128 lo = _mm_sub_ps(_mm_set1_ps(group.lo[a][j]), marginV);
                    const __m128 hi = _mm_add_ps(_mm_set1_ps(group.hi[a][j]), marginV);
                    const __m128 nearT = _mm_mul_ps(_mm_sub_ps(select(negative[a], hi, lo), O[a]), inv[a]);
                    const __m128 farT = _mm_mul_ps(_mm_sub_ps(select(negative[a], lo, hi), O[a]), inv[a]);
                    entry = _mm_max_ps(entry, nearT);
                    exit = _mm_min_ps(exit, farT);
                }
                __m128 cull = _mm_or_ps(_mm_cmpgt_ps(entry, exit), _mm_cmplt_ps(exit, behindV));
                if (!ANY)
                    cull = _mm_or_ps(cull, _mm_and_ps(foundV, _mm_cmpgt_ps(entry, bestV)));
                const __m128 toward = dot3(D[0], _mm_set1_ps(group.axis[0][j]), D[1], _mm_set1_ps(group.axis[1][j]),
                                           D[2], _mm_set1_ps(group.axis[2][j]));
                cull = _mm_or_ps(cull, _mm_cmpge_ps(toward, _mm_set1_ps(group.awayFrom[j])));
                packRays[j] = active & ~_mm_movemask_ps(cull);
            }
            for (uint32_t j = 0; j < group.numPacks; ++j) {
                const RTTrianglePack& pack = m_packs[group.firstPack + j];
                // intersectPack, a triangle at a time.
                for (int l = 0; l < 4; ++l) {
                    int valid = packRays[j] & active;
                    if (valid == 0)
                        break;
                    const float nx = pack.n[0][l], ny = pack.n[1][l], nz = pack.n[2][l];
                    if (std::fabs(nx) < 1e-7f && std::fabs(ny) < 1e-7f && std::fabs(nz) < 1e-7f)
                        continue;
                    __m128 back = zero;
                    if (m_hasNormals) {
                        const __m128 facing = dot3(D[0], _mm_set1_ps(pack.normal0[0][l]), D[1],
                                                   _mm_set1_ps(pack.normal0[1][l]), D[2], _mm_set1_ps(pack.normal0[2][l]));
                        back = _mm_cmpge_ps(facing, zero);
                        if (!m_twoSided) {
                            valid &= ~_mm_movemask_ps(back);
                            back = zero;
                        }
                    }
                    PackedTriangles triangle;
                    for (int a = 0; a < 3; ++a) {
                        triangle.n[a] = _mm_set1_ps(pack.n[a][l]);
                        triangle.v0[a] = _mm_set1_ps(pack.v0[a][l]);
                        triangle.e1[a] = _mm_set1_ps(pack.e1[a][l]);
                        triangle.e2[a] = _mm_set1_ps(pack.e2[a][l]);
                    }
                    triangle.nv0 = _mm_set1_ps(pack.nv0[l]);
                    triangle.d00 = _mm_set1_ps(pack.d00[l]);
                    triangle.d01 = _mm_set1_ps(pack.d01[l]);
                    triangle.d11 = _mm_set1_ps(pack.d11[l]);
                    triangle.den = _mm_set1_ps(pack.den[l]);
                    PackedMeeting meeting;
                    const int hitRays = packedTriangleTest(O, D, triangle, laneMask(valid), meeting);
                    if (hitRays == 0)
                        continue;
                    alignas(16) float tv[4], pxv[4], pyv[4], pzv[4];
                    _mm_store_ps(tv, meeting.t);
                    _mm_store_ps(pxv, meeting.p[0]);
                    _mm_store_ps(pyv, meeting.p[1]);
                    _mm_store_ps(pzv, meeting.p[2]);
                    const int backRays = _mm_movemask_ps(back);
                    for (int i = 0; i < 4; ++i) {
                        if (!(hitRays & (1 << i)) || ((foundBits & (1 << i)) && !(tv[i] < best[i])))
                            continue;
                        foundBits |= 1 << i;
                        best[i] = tv[i];
                        RTMeshHit& hit = hits[lane[i]];
                        hit.t = tv[i];
                        hit.point = RTVec3(pxv[i], pyv[i], pzv[i]);
                        hit.triangle = pack.triangle[l];
                        hit.backFacing = (backRays >> i) & 1;
                        if (ANY)
                            active &= ~(1 << i);
                    }
                }
            }
        }
        for (int i = 0; i < used; ++i)
            found[lane[i]] = (foundBits >> i) & 1;
    }
}
#endif

template <bool ANY>
bool RTMesh::intersectTree(const RTRay& ray, RTMeshHit& hit) const
{
    const RayLimits limits(ray);
    bool found = false;
    if (ANY) {
        // Whether some triangle is hit does not depend on the order of the
        // leaves: any walk that reaches every leaf the ray passes through
        // from just behind its origin onward gives the same answer.
        rtTraverseAll(m_tree, ray, limits.behind, [&](const RTSpatialNode& leaf) {
            return leaf.count() != 0 && intersectGroups<ANY>(ray, limits, leaf.first, leaf.count(), hit, found);
        });
        return found;
    }
    // Subtrees wholly behind the origin, by more than any hit may lie, are
    // skipped: a triangle they hold that the ray can hit reaches into a leaf
    // in front, which holds it too.
    const auto worth = [&limits](uint32_t, float exit) { return exit >= limits.behind; };
    const auto visit = [&](const RTSpatialNode& leaf, const RTBox& box) {
        if (leaf.count() != 0 && intersectGroups<ANY>(ray, limits, leaf.first, leaf.count(), hit, found))
            return true;
        // The nearest hit so far is final once it lies in the leaf at hand:
        // leaves further on lie beyond it.
        return found && insideBox(hit.point, box);
    };
    rtTraverse(m_tree, ray, worth, visit);
    return found;
}

template <bool ANY>
bool RTMesh::intersectGroups(const RTRay& ray, const RayLimits& limits, uint32_t first, uint32_t count, RTMeshHit& hit,
                             bool& found) const
{
    for (uint32_t g = first; g < first + count; ++g) {
        const RTPackGroup& group = m_groups[g];
        // Packs whose box the ray's line misses, that lie wholly behind the
        // origin or wholly beyond the nearest hit so far cannot improve it.
        // A comparison with NaN culls nothing.
        int lanes = (1 << group.numPacks) - 1;
#ifdef RT_HAVE_SSE2
        // Packs seen wholly from behind (RTPackGroup::awayFrom); lanes
        // without a pack count among them.
        const __m128 toward = _mm_add_ps(_mm_add_ps(_mm_mul_ps(limits.direction[0], _mm_load_ps(group.axis[0])),
                                                    _mm_mul_ps(limits.direction[1], _mm_load_ps(group.axis[1]))),
                                         _mm_mul_ps(limits.direction[2], _mm_load_ps(group.axis[2])));
        const int away = _mm_movemask_ps(_mm_cmpge_ps(toward, _mm_load_ps(group.awayFrom)));
        if (away == 0xf)
            continue;
        lanes &= ~away;
        const __m128 margin = _mm_set1_ps(limits.margin);
        __m128 entry = _mm_set1_ps(-FLT_MAX), exit = _mm_set1_ps(FLT_MAX);
        for (int a = 0; a < 3; ++a) {
            const __m128 lo = _mm_sub_ps(_mm_load_ps(group.lo[a]), margin);
            const __m128 hi = _mm_add_ps(_mm_load_ps(group.hi[a]), margin);
            const __m128 o = limits.origin[a], inv = limits.inverse[a];
            const __m128 nearT = _mm_mul_ps(_mm_sub_ps(ray.sign[a] ? hi : lo, o), inv);
            const __m128 farT = _mm_mul_ps(_mm_sub_ps(ray.sign[a] ? lo : hi, o), inv);
            entry = _mm_max_ps(entry, nearT);
            exit = _mm_min_ps(exit, farT);
        }
        __m128 cull = _mm_or_ps(_mm_cmpgt_ps(entry, exit), _mm_cmplt_ps(exit, _mm_set1_ps(limits.behind)));
        if (!ANY && found)
            cull = _mm_or_ps(cull, _mm_cmpgt_ps(entry, _mm_set1_ps(hit.t)));
        lanes &= ~_mm_movemask_ps(cull);
#else
        for (uint32_t lane = 0; lane < group.numPacks; ++lane) {
            float entry = -FLT_MAX, exit = FLT_MAX;
            for (int a = 0; a < 3; ++a) {
                const float lo = group.lo[a][lane] - limits.margin, hi = group.hi[a][lane] + limits.margin;
                const float nearT = ((ray.sign[a] ? hi : lo) - ray.origin[a]) * ray.inverse[a];
                const float farT = ((ray.sign[a] ? lo : hi) - ray.origin[a]) * ray.inverse[a];
                entry = entry > nearT ? entry : nearT;
                exit = exit < farT ? exit : farT;
            }
            if (entry > exit || exit < limits.behind || (!ANY && found && entry > hit.t))
                lanes &= ~(1 << lane);
            const float toward = ray.direction.x * group.axis[0][lane] + ray.direction.y * group.axis[1][lane] +
                                 ray.direction.z * group.axis[2][lane];
            if (toward >= group.awayFrom[lane])
                lanes &= ~(1 << lane);
        }
#endif
        // The packs left, lowest lane first.
        for (; lanes != 0; lanes &= lanes - 1)
            if (intersectPack<ANY>(ray, limits, m_packs[group.firstPack + lowestLane(lanes)], hit, found))
                return true;
    }
    return false;
}

template <bool ANY>
bool RTMesh::intersectPack(const RTRay& ray, const RayLimits& limits, const RTTrianglePack& pack, RTMeshHit& hit,
                           bool& found) const
{
#ifdef RT_HAVE_SSE2
    (void)ray;
    const __m128 dx = limits.direction[0], dy = limits.direction[1], dz = limits.direction[2];
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 tiny = _mm_set1_ps(1e-7f), zero = _mm_setzero_ps();
    {
        __m128 valid = _mm_castsi128_ps(_mm_set1_epi32(-1));
        __m128 back = zero;
        if (m_hasNormals) {
            const __m128 facing = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, _mm_load_ps(pack.normal0[0])),
                                                        _mm_mul_ps(dy, _mm_load_ps(pack.normal0[1]))),
                                             _mm_mul_ps(dz, _mm_load_ps(pack.normal0[2])));
            back = _mm_cmpge_ps(facing, zero);
            if (!m_twoSided) {
                valid = _mm_andnot_ps(back, valid);
                back = zero;
                if (_mm_movemask_ps(valid) == 0)
                    return false;
            }
        }
        PackedTriangles triangles;
        for (int a = 0; a < 3; ++a) {
            triangles.n[a] = _mm_load_ps(pack.n[a]);
            triangles.v0[a] = _mm_load_ps(pack.v0[a]);
            triangles.e1[a] = _mm_load_ps(pack.e1[a]);
            triangles.e2[a] = _mm_load_ps(pack.e2[a]);
        }
        triangles.nv0 = _mm_load_ps(pack.nv0);
        triangles.d00 = _mm_load_ps(pack.d00);
        triangles.d01 = _mm_load_ps(pack.d01);
        triangles.d11 = _mm_load_ps(pack.d11);
        triangles.den = _mm_load_ps(pack.den);
        const __m128 degenerate =
            _mm_and_ps(_mm_and_ps(_mm_cmplt_ps(_mm_and_ps(triangles.n[0], absMask), tiny),
                                  _mm_cmplt_ps(_mm_and_ps(triangles.n[1], absMask), tiny)),
                       _mm_cmplt_ps(_mm_and_ps(triangles.n[2], absMask), tiny));
        PackedMeeting meeting;
        const int lanes = packedTriangleTest(limits.origin, limits.direction, triangles, _mm_andnot_ps(degenerate, valid),
                                             meeting);
        if (lanes == 0)
            return false;
        alignas(16) float tv[4], pxv[4], pyv[4], pzv[4];
        _mm_store_ps(tv, meeting.t);
        _mm_store_ps(pxv, meeting.p[0]);
        _mm_store_ps(pyv, meeting.p[1]);
        _mm_store_ps(pzv, meeting.p[2]);
        const int backLanes = _mm_movemask_ps(back);
        for (int lane = 0; lane < 4; ++lane) {
            if (!(lanes & (1 << lane)))
                continue;
            if (found && !(tv[lane] < hit.t))
                continue;
            found = true;
            hit.t = tv[lane];
            hit.point = RTVec3(pxv[lane], pyv[lane], pzv[lane]);
            hit.triangle = pack.triangle[lane];
            hit.backFacing = (backLanes >> lane) & 1;
            if (ANY)
                return true;
        }
    }
#else
    (void)limits;
    // The same arithmetic as above, one lane at a time.
    const RTVec3& o = ray.origin;
    const RTVec3& d = ray.direction;
    {
        for (int lane = 0; lane < 4; ++lane) {
            int backFacing = 0;
            if (m_hasNormals) {
                const float facing = d.x * pack.normal0[0][lane] + d.y * pack.normal0[1][lane] + d.z * pack.normal0[2][lane];
                if (facing >= 0.0f) {
                    if (!m_twoSided)
                        continue;
                    backFacing = 1;
                }
            }
            const float nx = pack.n[0][lane], ny = pack.n[1][lane], nz = pack.n[2][lane];
            if (std::fabs(nx) < 1e-7f && std::fabs(ny) < 1e-7f && std::fabs(nz) < 1e-7f)
                continue;
            const float nd = nx * d.x + ny * d.y + nz * d.z;
            if (std::fabs(nd) < 1e-5f)
                continue;
            const float s = (nx * o.x + ny * o.y + nz * o.z - pack.nv0[lane]) / nd;
            const RTVec3 point(o.x - s * d.x, o.y - s * d.y, o.z - s * d.z);
            const float wx = point.x - pack.v0[0][lane], wy = point.y - pack.v0[1][lane], wz = point.z - pack.v0[2][lane];
            const float d20 = wx * pack.e1[0][lane] + wy * pack.e1[1][lane] + wz * pack.e1[2][lane];
            const float d21 = wx * pack.e2[0][lane] + wy * pack.e2[1][lane] + wz * pack.e2[2][lane];
            const float u = (d21 * pack.d01[lane] - d20 * pack.d11[lane]) / pack.den[lane];
            const float v = (d20 * pack.d01[lane] - d21 * pack.d00[lane]) / pack.den[lane];
            if (!(-u <= 1e-5f && u - 1.0f <= 1e-5f && -v <= 1e-5f && u + v - 1.0f <= 1e-5f))
                continue;
            const float t = d.x * (point.x - o.x) + d.y * (point.y - o.y) + d.z * (point.z - o.z);
            if (!(-t <= 1e-5f) || (found && !(t < hit.t)))
                continue;
            found = true;
            hit.t = t;
            hit.point = point;
            hit.triangle = pack.triangle[lane];
            hit.backFacing = backFacing;
            if (ANY)
                return true;
        }
    }
#endif
    return false;
}
