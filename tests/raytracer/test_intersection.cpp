// Ray intersection: slab and triangle tests, the order in which trees are
// walked, meshes against their own triangle-by-triangle test and against
// analytic shapes, and casts through scenes.

#include "RTTestScenes.h"

#include "raytracer/RTCast.h"
#include "raytracer/RTMesh.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTShapeTree.h"
#include "raytracer/RTTraversal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace rttest;

namespace {

RTVec3 randomDirection(std::mt19937& random)
{
    std::normal_distribution<float> normal;
    return rtNormalize(RTVec3(normal(random), normal(random), normal(random)));
}

// The leaves of a tree in the order the cast consumes them, built the long
// way: every leaf the ray's line reaches is listed first, farthest first,
// from a stack that takes the nearer child before the farther one.
std::vector<uint32_t> referenceLeafOrder(const RTSpatialTree& tree, const RTRay& ray)
{
    std::vector<uint32_t> listed;
    if (!rtSlabTest(ray, tree.rootBox))
        return listed;
    std::vector<std::pair<uint32_t, RTBox>> stack{{0u, tree.rootBox}};
    while (!stack.empty()) {
        const auto [index, box] = stack.back();
        stack.pop_back();
        const RTSpatialNode& node = tree.nodes[index];
        if (node.isLeaf()) {
            listed.push_back(index);
            continue;
        }
        RTBox left, right;
        rtSplitBox(box, node.axis(), left, right);
        float l0 = -FLT_MAX, l1 = FLT_MAX, r0 = -FLT_MAX, r1 = FLT_MAX;
        const bool hitLeft = rtSlabTest(ray, left, l0, l1), hitRight = rtSlabTest(ray, right, r0, r1);
        const std::pair<uint32_t, RTBox> l{node.first, left}, r{node.first + 1, right};
        if (hitLeft && hitRight) {
            const bool rightNearer = r0 <= l0;
            stack.push_back(rightNearer ? r : l);
            stack.push_back(rightNearer ? l : r);
        } else if (hitLeft || hitRight) {
            stack.push_back(hitLeft ? l : r);
        } else {
            const auto distance = [&ray](const RTBox& b) {
                return rtLength(RTVec3(b.center(0), b.center(1), b.center(2)) - ray.origin);
            };
            const bool leftNearer = distance(left) <= distance(right);
            stack.push_back(leftNearer ? l : r);
            stack.push_back(leftNearer ? r : l);
        }
    }
    std::reverse(listed.begin(), listed.end());
    return listed;
}

struct Cast {
    KXScene scene;
    RTNodeCache nodes;
    RTMeshTreeMap meshes;
    std::unique_ptr<RTShapeTree> tree;
    RTRayContext context;

    void prepare()
    {
        nodes.build(scene.getRoot());
        tree = RTShapeTree::build(scene.getRoot(), nodes, meshes);
    }
    const std::vector<RTHit>& along(const RTVec3& origin, const RTVec3& direction)
    {
        RTCaster::cast(context, tree.get(), RTRay(origin, direction));
        return context.getHits();
    }
};

} // namespace

TEST(SlabTest, HitsNarrowTheIntervalAndBoxesBehindCount)
{
    RTBox box;
    for (int a = 0; a < 3; ++a) {
        box.lo[a] = -1.0f;
        box.hi[a] = 1.0f;
    }
    float t0 = -FLT_MAX, t1 = FLT_MAX;
    ASSERT_TRUE(rtSlabTest(RTRay(RTVec3(-5, 0.5f, 0.5f), RTVec3(1, 0, 0)), box, t0, t1));
    EXPECT_FLOAT_EQ(t0, 4.0f);
    EXPECT_FLOAT_EQ(t1, 6.0f);
    EXPECT_TRUE(rtSlabTest(RTRay(RTVec3(5, 0, 0), RTVec3(1, 0, 0)), box));
    EXPECT_FALSE(rtSlabTest(RTRay(RTVec3(-5, 2, 0), RTVec3(1, 0, 0)), box));
    // A ray running along a face counts as inside.
    EXPECT_TRUE(rtSlabTest(RTRay(RTVec3(-5, 1, 0), RTVec3(1, 0, 0)), box));
    EXPECT_TRUE(rtSlabTest(RTRay(RTVec3(-5, -1, 1), RTVec3(1, 0, 0)), box));
    // An interval that ends before the box misses it.
    t0 = 0.0f, t1 = 3.0f;
    EXPECT_FALSE(rtSlabTest(RTRay(RTVec3(-5, 0, 0), RTVec3(1, 0, 0)), box, t0, t1));
}

TEST(TriangleTest, PlaneCrossingInsideTheTriangleWithinTolerances)
{
    const RTVec3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    RTVec3 p;
    float t = 0.0f;
    ASSERT_TRUE(rtTriangleTest(RTRay(RTVec3(0.25f, 0.25f, 2), RTVec3(0, 0, -1)), a, b, c, p, t));
    EXPECT_FLOAT_EQ(t, 2.0f);
    EXPECT_FLOAT_EQ(p.x, 0.25f);
    // From behind, the same: facing is the mesh's business.
    EXPECT_TRUE(rtTriangleTest(RTRay(RTVec3(0.25f, 0.25f, -2), RTVec3(0, 0, 1)), a, b, c, p, t));
    // A ray starting on the triangle hits it at t = 0.
    ASSERT_TRUE(rtTriangleTest(RTRay(RTVec3(0.25f, 0.25f, 0), RTVec3(0, 0, 1)), a, b, c, p, t));
    EXPECT_FLOAT_EQ(t, 0.0f);
    // Behind the origin, outside, parallel (even in the plane), degenerate.
    EXPECT_FALSE(rtTriangleTest(RTRay(RTVec3(0.25f, 0.25f, 2), RTVec3(0, 0, 1)), a, b, c, p, t));
    EXPECT_FALSE(rtTriangleTest(RTRay(RTVec3(0.75f, 0.75f, 2), RTVec3(0, 0, -1)), a, b, c, p, t));
    EXPECT_FALSE(rtTriangleTest(RTRay(RTVec3(-1, 0.25f, 0), RTVec3(1, 0, 0)), a, b, c, p, t));
    EXPECT_FALSE(rtTriangleTest(RTRay(RTVec3(0.2f, 0.2f, 1), RTVec3(0, 0, -1)), a, b, RTVec3(2, 0, 0), p, t));
    // Edges count within 1e-5.
    EXPECT_TRUE(rtTriangleTest(RTRay(RTVec3(0.5f, 0.5f, 1), RTVec3(0, 0, -1)), a, b, c, p, t));
}

TEST(Traversal, VisitsLeavesInTheSameOrderAsTheFullLeafList)
{
    auto soup = makeTriangleSoup(600, 3, 0.15f);
    const RTMesh mesh(*soup, true);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-2.0f, 2.0f);
    int compared = 0;
    for (int r = 0; r < 2000; ++r) {
        RTVec3 direction = randomDirection(random);
        // Some rays run along the axes, some through the split planes.
        if (r % 5 == 0)
            direction = RTVec3(r % 2 ? 1.0f : -1.0f, 0, 0);
        RTVec3 origin(spread(random), spread(random), spread(random));
        if (r % 10 == 0)
            origin.y = 0.0f;
        const RTRay ray(origin, direction);
        std::vector<uint32_t> walked;
        rtTraverse(mesh.getTree(), ray, [](uint32_t, float) { return true; },
                   [&](const RTSpatialNode& leaf, const RTBox&) {
                       walked.push_back(static_cast<uint32_t>(&leaf - mesh.getTree().nodes.data()));
                       return false;
                   });
        ASSERT_EQ(walked, referenceLeafOrder(mesh.getTree(), ray)) << "ray " << r;
        compared += !walked.empty();
    }
    EXPECT_GT(compared, 800);
}

TEST(MeshIntersection, TreeFindsWhatTestingEveryTriangleFinds)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    for (unsigned seed = 1; seed <= 3; ++seed) {
        auto soup = makeTriangleSoup(500, seed, 0.25f);
        const RTMesh tree(*soup, true), direct(*soup, false);
        ASSERT_TRUE(tree.hasTree());
        const std::vector<KXPosition>& v = soup->getVertexArray();
        int hits = 0;
        for (int r = 0; r < 3000; ++r) {
            const RTVec3 origin(spread(random), spread(random), spread(random));
            const RTRay ray(origin, randomDirection(random));
            RTMeshHit fromTree, fromDirect;
            const bool foundTree = tree.intersect(ray, fromTree), foundDirect = direct.intersect(ray, fromDirect);
            ASSERT_EQ(foundTree, foundDirect) << "seed " << seed << " ray " << r;
            RTMeshHit any;
            ASSERT_EQ(tree.intersectAny(ray, any), foundDirect);
            // The nearest hit, recomputed with the plain triangle test.
            float nearest = FLT_MAX;
            for (size_t t = 0; t < v.size() / 3; ++t) {
                RTVec3 p;
                float d;
                // Culling: normals facing away from the ray are skipped.
                const KXUnitVector& n = soup->getNormalsArray()[3 * t];
                if (rtDot(ray.direction, RTVec3(n)) >= 0.0f)
                    continue;
                if (rtTriangleTest(ray, RTVec3(v[3 * t]), RTVec3(v[3 * t + 1]), RTVec3(v[3 * t + 2]), p, d))
                    nearest = std::min(nearest, d);
            }
            if (!foundTree) {
                EXPECT_EQ(nearest, FLT_MAX);
                continue;
            }
            ++hits;
            EXPECT_EQ(fromTree.t, fromDirect.t);
            EXPECT_EQ(fromTree.triangle, fromDirect.triangle);
            EXPECT_FLOAT_EQ(fromTree.t, nearest);
        }
        EXPECT_GT(hits, 100);
    }
}

TEST(MeshIntersection, TessellatedSphereAndPlaneMatchTheirAnalyticDistances)
{
    const float radius = 2.0f;
    auto sphere = makeSphere(KXPosition(0, 0, 0), radius, 128, 64);
    const RTMesh mesh(*sphere, true);
    // Within the tessellation: the chord of 2π/128 sags by r(1 - cos(π/128)).
    const float sag = radius * (1.0f - std::cos(3.14159265f / 64.0f));
    std::mt19937 random(2);
    int hits = 0;
    for (int r = 0; r < 2000; ++r) {
        const RTVec3 origin = randomDirection(random) * 10.0f;
        // Aim at a random point near the centre: rays passing well inside
        // the sphere hit it where the exact sphere would.
        const RTVec3 aim = randomDirection(random) * 2.5f;
        const RTRay ray(origin, aim - origin);
        const float along = -rtDot(origin, ray.direction);
        const float miss2 = rtDot(origin, origin) - along * along;
        RTMeshHit hit;
        const bool found = mesh.intersect(ray, hit);
        if (miss2 < (radius - 0.05f) * (radius - 0.05f)) {
            ASSERT_TRUE(found);
            const float exact = along - std::sqrt(radius * radius - miss2);
            EXPECT_NEAR(hit.t, exact, 3 * sag + 1e-3f);
            EXPECT_NEAR(rtLength(hit.point), radius, sag + 1e-4f);
            ++hits;
        } else if (miss2 > radius * radius) {
            EXPECT_FALSE(found);
        }
    }
    EXPECT_GT(hits, 500);

    auto plane = makeQuad(-1.5f, 10.0f);
    const RTMesh ground(*plane, true);
    RTMeshHit hit;
    ASSERT_TRUE(ground.intersect(RTRay(RTVec3(1, 2, 3), RTVec3(0, 0.6f, -0.8f)), hit));
    EXPECT_NEAR(hit.t, 4.5f / 0.8f, 1e-5f);
    EXPECT_NEAR(hit.point.y, 2.0f + 4.5f * 0.75f, 1e-5f);
    // Seen from below, the one-sided plane is not there.
    EXPECT_FALSE(ground.intersect(RTRay(RTVec3(1, 2, -3), RTVec3(0, 0, 1)), hit));
}

TEST(MeshIntersection, SidednessAndNormalsDecideWhatIsSeenFromBehind)
{
    auto twoSided = makeQuad(0.0f);
    twoSided->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    auto bare = makeQuad(0.0f, 1.0f, false);
    RTMeshHit hit;
    const RTRay fromBelow(RTVec3(0.1f, 0.2f, -1), RTVec3(0, 0, 1)), fromAbove(RTVec3(0.1f, 0.2f, 1), RTVec3(0, 0, -1));
    ASSERT_TRUE(RTMesh(*twoSided, true).intersect(fromBelow, hit));
    EXPECT_EQ(hit.backFacing, 1);
    ASSERT_TRUE(RTMesh(*twoSided, true).intersect(fromAbove, hit));
    EXPECT_EQ(hit.backFacing, 0);
    ASSERT_TRUE(RTMesh(*bare, true).intersect(fromBelow, hit));
    EXPECT_EQ(hit.backFacing, 0);
}

TEST(MeshIntersection, PacksAreSkippedAsSeenFromBehindOnlyWhenEveryTriangleIs)
{
    // One-sided spheres, whose packs hold triangles facing much the same
    // way, against every triangle tested one by one with culling: rays
    // leaving the surface (as shadow rays do), rays grazing it with
    // directions a hair either side of the tangent plane, rays along the
    // axes, from inside and from outside; at three scales, as the cones
    // depend on directions alone (much smaller triangles would fall under
    // the triangle test's limits on unnormalised normals).
    for (const float scale : {1.0f, 0.05f, 1e3f}) {
        const RTVec3 centre = RTVec3(0.1f, -0.2f, 0.3f) * scale;
        auto sphere = makeSphere(centre.toPosition(), 1.3f * scale, 48, 24);
        const RTMesh tree(*sphere, true), direct(*sphere, false);
        size_t coned = 0, packs = 0;
        for (const RTPackGroup& group : direct.getPackGroups())
            for (uint32_t lane = 0; lane < group.numPacks; ++lane, ++packs)
                coned += group.awayFrom[lane] < 1.0f;
        EXPECT_GT(coned, packs * 9 / 10);

        const std::vector<KXPosition>& v = sphere->getVertexArray();
        const std::vector<KXUnitVector>& n = sphere->getNormalsArray();
        std::mt19937 random(17);
        std::uniform_int_distribution<size_t> vertex(0, v.size() - 1);
        std::uniform_real_distribution<float> hair(-1e-3f, 1e-3f), spread(-3.0f, 3.0f);
        int hits = 0, misses = 0;
        for (int r = 0; r < 3000; ++r) {
            const size_t k = vertex(random);
            const RTVec3 normal(n[k]);
            RTVec3 origin(v[k]), direction = randomDirection(random);
            if (r % 4 == 0) {
                origin = origin + normal * (1e-4f * scale);
                if (rtDot(direction, normal) < 0.0f)
                    direction = -direction;
            } else if (r % 4 == 1) {
                direction = rtNormalize(direction - normal * rtDot(direction, normal) + normal * hair(random));
            } else if (r % 4 == 2) {
                origin = centre + randomDirection(random) * (0.5f * scale);
            } else {
                origin = RTVec3(spread(random), spread(random), spread(random)) * scale;
            }
            if (r % 7 == 0)
                direction = RTVec3(0, 0, 0) - RTVec3(r % 3 == 0, r % 3 == 1, r % 3 == 2) * (r % 2 ? 1.0f : -1.0f);
            const RTRay ray(origin, direction);
            float nearest = FLT_MAX;
            for (size_t t = 0; t < direct.getNumTriangles(); ++t) {
                const uint32_t* i = direct.getTriangle(static_cast<uint32_t>(t));
                if (rtDot(ray.direction, RTVec3(n[i[0]])) >= 0.0f)
                    continue;
                RTVec3 p;
                float d;
                if (rtTriangleTest(ray, RTVec3(v[i[0]]), RTVec3(v[i[1]]), RTVec3(v[i[2]]), p, d))
                    nearest = std::min(nearest, d);
            }
            const bool expected = nearest < FLT_MAX;
            RTMeshHit fromDirect, any;
            ASSERT_EQ(direct.intersect(ray, fromDirect), expected) << "scale " << scale << " ray " << r;
            ASSERT_EQ(direct.intersectAny(ray, any), expected) << "scale " << scale << " ray " << r;
            if (expected) {
                EXPECT_EQ(fromDirect.t, nearest);
            }
            // The trees' leaves and tolerances are tested elsewhere; here
            // they only need to agree at the scale they were made for.
            if (scale == 1.0f) {
                RTMeshHit fromTree;
                ASSERT_EQ(tree.intersect(ray, fromTree), expected) << "ray " << r;
                ASSERT_EQ(tree.intersectAny(ray, any), expected) << "ray " << r;
                if (expected) {
                    EXPECT_EQ(fromTree.t, fromDirect.t);
                }
            }
            (expected ? hits : misses) += 1;
        }
        EXPECT_GT(hits, 100) << "scale " << scale;
        EXPECT_GT(misses, 800) << "scale " << scale;
    }
}

TEST(Cast, OpaqueSurfacesEndTheListTransparentOnesAreListedNearestFirst)
{
    Cast c;
    KXRoot* root = makeScene(c.scene);
    auto near = makeQuad(1.0f), far = makeQuad(-1.0f), glass = makeQuad(3.0f);
    addShape(root, far.get(), makeLook(KXColor(0, 0, 1, 1)).get());
    addShape(root, near.get(), makeLook(KXColor(0, 1, 0, 1)).get());
    c.prepare();
    const std::vector<RTHit>& opaque = c.along(RTVec3(0.2f, 0.1f, 5), RTVec3(0, 0, -1));
    ASSERT_EQ(opaque.size(), 1u);
    EXPECT_FLOAT_EQ(opaque[0].distance, 4.0f);
    EXPECT_EQ(opaque[0].mesh->getTriMesh().getVertexArray()[0].getZ(), 1.0f);

    Cast t;
    root = makeScene(t.scene);
    addShape(root, far.get(), makeLook(KXColor(0, 0, 1, 1)).get());
    addShape(root, glass.get(), makeLook(KXColor(1, 0, 0, 0.4f)).get());
    addShape(root, near.get(), makeLook(KXColor(0, 1, 0, 0.4f)).get());
    t.prepare();
    EXPECT_TRUE(t.tree->hasTransparentShapes());
    const std::vector<RTHit>& layers = t.along(RTVec3(0.2f, 0.1f, 5), RTVec3(0, 0, -1));
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_FLOAT_EQ(layers[0].worldPoint.z, 3.0f);
    EXPECT_FLOAT_EQ(layers[1].worldPoint.z, 1.0f);
    EXPECT_FLOAT_EQ(layers[2].worldPoint.z, -1.0f);
    // Nothing along the ray.
    EXPECT_TRUE(t.along(RTVec3(5, 5, 5), RTVec3(0, 0, -1)).empty());
}

TEST(Cast, ALimitListsOnlyTheSurfacesBeforeIt)
{
    // Glass at z = 3 and z = 1 over an opaque floor at z = -1, looked at
    // from z = 5; and the same without the glass.
    Cast t;
    KXRoot* root = makeScene(t.scene);
    auto floor = makeQuad(-1.0f), low = makeQuad(1.0f), high = makeQuad(3.0f);
    addShape(root, floor.get(), makeLook(KXColor(0, 0, 1, 1)).get());
    addShape(root, high.get(), makeLook(KXColor(1, 0, 0, 0.4f)).get());
    addShape(root, low.get(), makeLook(KXColor(0, 1, 0, 0.4f)).get());
    t.prepare();
    const RTRay down(RTVec3(0.2f, 0.1f, 5), RTVec3(0, 0, -1));
    const auto listed = [&](float limit) {
        RTCaster::cast(t.context, t.tree.get(), down, limit);
        return t.context.getHitCount();
    };
    EXPECT_EQ(listed(1.5f), 0u);
    EXPECT_EQ(listed(2.5f), 1u);
    EXPECT_EQ(listed(4.5f), 2u);
    EXPECT_EQ(listed(6.5f), 3u);
    EXPECT_EQ(listed(INFINITY), 3u);
    EXPECT_EQ(RTCaster::occlusion(t.context, t.tree.get(), down, 1.5f), RTOCCLUSION_CLEAR);
    EXPECT_EQ(RTCaster::occlusion(t.context, t.tree.get(), down, 2.5f), RTOCCLUSION_TRANSPARENT);
    EXPECT_EQ(RTCaster::occlusion(t.context, t.tree.get(), down, 4.5f), RTOCCLUSION_TRANSPARENT);
    EXPECT_EQ(RTCaster::occlusion(t.context, t.tree.get(), down, 6.5f), RTOCCLUSION_OPAQUE);
    EXPECT_EQ(RTCaster::occlusion(t.context, t.tree.get(), down), RTOCCLUSION_OPAQUE);

    Cast c;
    root = makeScene(c.scene);
    addShape(root, floor.get(), makeLook(KXColor(0, 0, 1, 1)).get());
    c.prepare();
    EXPECT_EQ(RTCaster::occlusion(c.context, c.tree.get(), down, 5.5f), RTOCCLUSION_CLEAR);
    EXPECT_EQ(RTCaster::occlusion(c.context, c.tree.get(), down, 6.5f), RTOCCLUSION_OPAQUE);
    EXPECT_EQ(RTCaster::occlusion(c.context, c.tree.get(), down), RTOCCLUSION_OPAQUE);
    EXPECT_EQ(RTCaster::occlusion(c.context, nullptr, down), RTOCCLUSION_CLEAR);
}

TEST(Cast, ALimitedCastListsTheUnlimitedCastsHitsBeforeTheLimit)
{
    // Many shapes, some of them glass, so that the tree has many leaves the
    // limited cast may pass over; its list must be the start of the full
    // list, up to the limit measured from the ray's origin.
    Cast c;
    KXRoot* root = makeScene(c.scene);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-4.0f, 4.0f), unit(0.0f, 1.0f);
    auto sphere = makeSphere(KXPosition(0, 0, 0), 0.6f, 24, 12);
    auto pane = makeQuad(0.0f, 0.8f);
    pane->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    for (int k = 0; k < 40; ++k) {
        const KXMatrix place = KXMatrix::translation(spread(random), spread(random), spread(random));
        if (k % 3 == 0)
            addShape(root, pane.get(), makeLook(KXColor(1, 1, 1, 0.5f)).get(), place);
        else
            addShape(root, sphere.get(), makeLook(KXColor(1, 1, 1, 1)).get(), place);
    }
    c.prepare();
    RTRayContext full;
    int compared = 0, cut = 0;
    for (int r = 0; r < 3000; ++r) {
        const RTRay ray(RTVec3(spread(random), spread(random), spread(random)), randomDirection(random));
        const float limit = 12.0f * unit(random);
        RTCaster::cast(full, c.tree.get(), ray);
        RTCaster::cast(c.context, c.tree.get(), ray, limit);
        size_t before = 0;
        while (before < full.getHitCount() &&
               rtDot(ray.direction, full.getHits()[before].worldPoint - ray.origin) < limit)
            ++before;
        ASSERT_EQ(c.context.getHitCount(), before) << "ray " << r;
        for (size_t h = 0; h < before; ++h)
            EXPECT_EQ(c.context.getHits()[h].shape, full.getHits()[h].shape);
        compared += static_cast<int>(before);
        cut += before < full.getHitCount();
    }
    EXPECT_GT(compared, 300);
    EXPECT_GT(cut, 100);
}

TEST(Cast, ShapesAreHitInTheirOwnSpaceAndMeasuredInTheWorld)
{
    Cast c;
    KXRoot* root = makeScene(c.scene);
    auto sphere = makeSphere(KXPosition(0, 0, 0), 1.0f, 96, 48);
    // Scaled by 3 and moved to x = 10.
    addShape(root, sphere.get(), makeLook(KXColor(1, 1, 1, 1)).get(),
             KXMatrix::scaling(3, 3, 3) * KXMatrix::translation(10, 0, 0));
    c.prepare();
    const std::vector<RTHit>& hits = c.along(RTVec3(0, 0, 0), RTVec3(1, 0, 0));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(hits[0].distance, 7.0f, 0.01f);
    EXPECT_NEAR(hits[0].worldPoint.x, 7.0f, 0.01f);
    EXPECT_NEAR(hits[0].point.x, -1.0f, 0.01f);
    EXPECT_FLOAT_EQ(hits[0].shape->scale, 3.0f);
}

TEST(Cast, AStronglyScaledTransparentShapeIsPassedOnce)
{
    // In a shape scaled by 1000 the restart 1e-4 behind a surface lies
    // within the triangle test's tolerance in the shape's own units.
    Cast c;
    KXRoot* root = makeScene(c.scene);
    auto glass = makeQuad(0.0f, 0.01f);
    glass->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(root, glass.get(), makeLook(KXColor(1, 1, 1, 0.5f)).get(), KXMatrix::scaling(1000, 1000, 1000));
    auto floor = makeQuad(-5.0f, 20.0f);
    addShape(root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    c.prepare();
    const std::vector<RTHit>& hits = c.along(RTVec3(0.5f, 0.5f, 5), RTVec3(0, 0, -1));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_NEAR(hits[0].worldPoint.z, 0.0f, 1e-4f);
    EXPECT_NEAR(hits[1].worldPoint.z, -5.0f, 1e-4f);
}
