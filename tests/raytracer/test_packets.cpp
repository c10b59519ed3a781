// Rays walked together: the packet walks, the meshes' and casts' packet
// entry points and the first pass that uses them must give each ray exactly
// what it gets on its own, surfaces, order and image alike.

#include "RTTestScenes.h"

#include "raytracer/KXRayTracer.h"
#include "raytracer/RTCast.h"
#include "raytracer/RTMesh.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTPacketTraversal.h"
#include "raytracer/RTPacketTraversalWide.h"
#include "raytracer/RTShading.h"
#include "raytracer/RTShadingLanes.h"
#include "raytracer/RTShapeTree.h"
#include "raytracer/RTUnprojector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using namespace rttest;

namespace {

const unsigned kAllLanes = ~0u >> (32 - RT_PACKET_SIZE);

RTVec3 randomDirection(std::mt19937& random)
{
    std::normal_distribution<float> normal;
    return rtNormalize(RTVec3(normal(random), normal(random), normal(random)));
}

// Groups of RT_PACKET_SIZE rays of the kinds the walks must keep apart or
// share:
// neighbours of one origin and nearly one direction (as primary rays of a
// row), one direction from nearby origins (as shadow rays toward a
// directional light), unrelated rays, and rays with zero direction
// components or lanes running the other way. Coordinates are scaled by
// scale.
std::vector<RTRay> rayGroup(std::mt19937& random, int kind, float scale)
{
    std::uniform_real_distribution<float> spread(-2.0f, 2.0f), nudge(-0.01f, 0.01f);
    const RTVec3 origin(spread(random), spread(random), spread(random));
    const RTVec3 direction = randomDirection(random);
    std::vector<RTRay> rays;
    for (int k = 0; k < RT_PACKET_SIZE; ++k) {
        RTVec3 o = origin, d = direction;
        switch (kind) {
        case 0: // one eye, fanned out
            d = RTVec3(d.x + nudge(random), d.y + nudge(random), d.z + nudge(random));
            break;
        case 1: // one direction, origins along a line
            o = RTVec3(o.x + 0.02f * k, o.y + nudge(random), o.z);
            break;
        case 2: // unrelated
            o = RTVec3(spread(random), spread(random), spread(random));
            d = randomDirection(random);
            break;
        default: // along an axis, or a lane turned round
            if (k % 4 == 1)
                d = RTVec3(0.0f, d.y, d.z);
            if (k % 4 == 2)
                d = -d;
            if (k % 4 == 3)
                d = RTVec3(0.0f, 0.0f, d.z < 0.0f ? -1.0f : 1.0f);
            break;
        }
        rays.emplace_back(o * scale, d);
    }
    return rays;
}

struct Visited {
    uint32_t node;
    float box[6];
    bool operator==(const Visited& other) const
    {
        return node == other.node && std::memcmp(box, other.box, sizeof box) == 0;
    }
};

Visited visited(const RTSpatialTree& tree, const RTSpatialNode& leaf, const RTBox& box)
{
    Visited v{static_cast<uint32_t>(&leaf - tree.nodes.data()), {}};
    for (int a = 0; a < 3; ++a) {
        v.box[a] = box.lo[a];
        v.box[3 + a] = box.hi[a];
    }
    return v;
}

// Whether a walk stops at a leaf: a fixed choice per ray and leaf, so that
// some lanes end early and others run on.
bool stopsAt(uint32_t leaf, int lane)
{
    return (leaf * 2654435761u + static_cast<uint32_t>(lane) * 40503u) % 7u == 0u;
}

void expectSameHit(const RTHit& a, const RTHit& b)
{
    EXPECT_EQ(a.distance, b.distance);
    EXPECT_EQ(a.shape, b.shape);
    EXPECT_EQ(a.mesh, b.mesh);
    EXPECT_EQ(a.point.x, b.point.x);
    EXPECT_EQ(a.point.y, b.point.y);
    EXPECT_EQ(a.point.z, b.point.z);
    EXPECT_EQ(a.worldPoint.x, b.worldPoint.x);
    EXPECT_EQ(a.worldPoint.y, b.worldPoint.y);
    EXPECT_EQ(a.worldPoint.z, b.worldPoint.z);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(a.indices[k], b.indices[k]);
    EXPECT_EQ(a.backFacing, b.backFacing);
}

// What a trace prepares for a scene (node cache, mesh trees, shape tree),
// with shading under lights.
struct PreparedScene {
    RTNodeCache nodes;
    RTMeshTreeMap meshes;
    std::unique_ptr<RTShapeTree> tree;
    RTLighting lighting;
    RTShadingContext shading;

    PreparedScene(KXRoot* root, const KXLightModel* lights) : lighting(lights, KXMatrix())
    {
        nodes.build(root);
        tree = RTShapeTree::build(root, nodes, meshes);
        shading.lighting = &lighting;
        shading.shapeTree = tree.get();
    }
};

} // namespace

TEST(PacketTraversal, EveryLaneSeesTheLeavesOfItsOwnWalkInOrder)
{
    std::mt19937 random(21);
    std::uniform_real_distribution<float> cut(-1.0f, 3.0f);
    int shared = 0, givenUp = 0, wideWalks = 0;
    for (float scale : {1e-3f, 1.0f, 1e4f}) {
        auto soup = makeTriangleSoup(800, 7, 0.12f);
        std::vector<KXPosition> v = soup->getVertexArray();
        for (KXPosition& p : v)
            p = KXPosition(p.getX() * scale, p.getY() * scale, p.getZ() * scale);
        auto scaled = KXMake<KXTriMesh>();
        scaled->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), soup->getIndicesArray(), soup->getNormalsArray());
        const RTMesh mesh(*scaled, true);
        const RTSpatialTree& tree = mesh.getTree();
        for (int g = 0; g < 600; ++g) {
            const std::vector<RTRay> rays = rayGroup(random, g % 4, scale);
            const RTRay* lanes[RT_PACKET_SIZE];
            // Subtrees leaving the ray before a cut-off are skipped.
            float behind[RT_PACKET_SIZE];
            for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                lanes[k] = &rays[k];
                behind[k] = k % 4 == 1 ? -FLT_MAX : k % 4 == 3 ? -INFINITY : cut(random) * scale;
            }

            // The ordered walk.
            std::vector<Visited> together[RT_PACKET_SIZE], alone[RT_PACKET_SIZE];
            const unsigned single = rtTraversePacket(tree, lanes, kAllLanes, behind,
                                                     [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) {
                                                         unsigned done = 0;
                                                         for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                                                             if (!(mask & (1u << k)))
                                                                 continue;
                                                             together[k].push_back(visited(tree, leaf, box));
                                                             if (stopsAt(together[k].back().node, k))
                                                                 done |= 1u << k;
                                                         }
                                                         return done;
                                                     });
            for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                rtTraverse(tree, rays[k], [&](uint32_t, float exit) { return exit >= behind[k]; },
                           [&](const RTSpatialNode& leaf, const RTBox& box) {
                               alone[k].push_back(visited(tree, leaf, box));
                               return stopsAt(alone[k].back().node, k);
                           });
                if (single & (1u << k)) {
                    ++givenUp;
                    continue;
                }
                ASSERT_TRUE(together[k] == alone[k]) << "scale " << scale << " group " << g << " lane " << k;
                shared += !alone[k].empty();
            }

            // The walk in any order, with behind as rtTraverseAll's.
            std::vector<uint32_t> allTogether[RT_PACKET_SIZE], allAlone[RT_PACKET_SIZE];
            const unsigned allSingle =
                rtTraverseAllPacket(tree, lanes, kAllLanes, behind, [&](unsigned mask, const RTSpatialNode& leaf) {
                    unsigned done = 0;
                    for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                        if (!(mask & (1u << k)))
                            continue;
                        allTogether[k].push_back(static_cast<uint32_t>(&leaf - tree.nodes.data()));
                        if (stopsAt(allTogether[k].back(), k))
                            done |= 1u << k;
                    }
                    return done;
                });
            for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                if (allSingle & (1u << k))
                    continue;
                rtTraverseAll(tree, rays[k], behind[k], [&](const RTSpatialNode& leaf) {
                    allAlone[k].push_back(static_cast<uint32_t>(&leaf - tree.nodes.data()));
                    return stopsAt(allAlone[k].back(), k);
                });
                ASSERT_EQ(allTogether[k], allAlone[k]) << "scale " << scale << " group " << g << " lane " << k;
            }

            // Eight lanes to a register: the same lanes given up, and the
            // same leaves, boxes and order for every lane, as four.
            if (rtWidestPackets() != RTPacketWidth::EIGHT)
                continue;
            std::vector<Visited> wide[RT_PACKET_SIZE];
            auto visitWide = [&](unsigned mask, const RTSpatialNode& leaf, const RTBox& box) {
                unsigned done = 0;
                for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                    if (!(mask & (1u << k)))
                        continue;
                    wide[k].push_back(visited(tree, leaf, box));
                    if (stopsAt(wide[k].back().node, k))
                        done |= 1u << k;
                }
                return done;
            };
            ASSERT_EQ(rtTraversePacketWide(tree, lanes, kAllLanes, behind, visitWide), single);
            std::vector<uint32_t> allWide[RT_PACKET_SIZE];
            auto visitAllWide = [&](unsigned mask, const RTSpatialNode& leaf) {
                unsigned done = 0;
                for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                    if (!(mask & (1u << k)))
                        continue;
                    allWide[k].push_back(static_cast<uint32_t>(&leaf - tree.nodes.data()));
                    if (stopsAt(allWide[k].back(), k))
                        done |= 1u << k;
                }
                return done;
            };
            ASSERT_EQ(rtTraverseAllPacketWide(tree, lanes, kAllLanes, behind, visitAllWide), allSingle);
            for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                ASSERT_TRUE(wide[k] == together[k]) << "scale " << scale << " group " << g << " lane " << k;
                ASSERT_EQ(allWide[k], allTogether[k]) << "scale " << scale << " group " << g << " lane " << k;
                wideWalks += !wide[k].empty();
            }
        }
    }
#ifdef RT_HAVE_PACKETS
    // Most lanes were walked together; the odd kinds were handed back.
    EXPECT_GT(shared, 1000);
    EXPECT_GT(givenUp, 1000) << shared;
    if (rtWidestPackets() == RTPacketWidth::EIGHT) {
        EXPECT_GT(wideWalks, 1000);
    }
#endif
}

// Meshes with a tree are walked by all lanes at once; meshes without one
// (small meshes and background geometry) test four rays at once against each
// triangle. Both must give each ray what it finds alone, with and without
// vertex normals, one- and two-sided, walked with four lanes to a register
// and with eight.
TEST(PacketTraversal, MeshesFindWhatEachRayFindsAlone)
{
    std::mt19937 random(8);
    int hits = 0;
    for (int shape = 0; shape < 3; ++shape)
    for (float scale : {1e-3f, 1.0f, 1e4f}) {
        for (unsigned seed = 1; seed <= 2; ++seed) {
            const bool withTree = shape == 0, withNormals = shape != 2;
            auto soup = makeTriangleSoup(400, seed, 0.25f);
            std::vector<KXPosition> v = soup->getVertexArray();
            for (KXPosition& p : v)
                p = KXPosition(p.getX() * scale, p.getY() * scale, p.getZ() * scale);
            // One triangle of every mesh is degenerate: its corners coincide.
            v[soup->getIndicesArray()[3]] = v[soup->getIndicesArray()[4]] = v[soup->getIndicesArray()[5]];
            auto scaled = KXMake<KXTriMesh>();
            scaled->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), soup->getIndicesArray(),
                        withNormals ? soup->getNormalsArray() : std::vector<KXUnitVector>());
            // Two-sided for seed 2: back faces count and are marked.
            if (seed == 2)
                scaled->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
            const RTMesh mesh(*scaled, withTree);
            ASSERT_EQ(mesh.hasTree(), withTree);
            for (int g = 0; g < 500; ++g) {
                const std::vector<RTRay> rays = rayGroup(random, g % 4, scale);
                const RTRay* lanes[RT_PACKET_SIZE];
                for (int k = 0; k < RT_PACKET_SIZE; ++k)
                    lanes[k] = &rays[k];
                // Lane 2 is left out of every other group.
                const unsigned mask = g % 2 ? kAllLanes : kAllLanes & ~4u;
                for (RTPacketWidth width : {RTPacketWidth::FOUR, rtWidestPackets()}) {
                    RTMeshHit together[RT_PACKET_SIZE], any[RT_PACKET_SIZE];
                    const unsigned found = mesh.intersectPacket(lanes, mask, together, width);
                    const unsigned foundAny = mesh.intersectAnyPacket(lanes, mask, any, width);
                    for (int k = 0; k < RT_PACKET_SIZE; ++k) {
                        RTMeshHit alone, anyAlone;
                        const bool expected = (mask & (1u << k)) && mesh.intersect(rays[k], alone);
                        const bool expectedAny = (mask & (1u << k)) && mesh.intersectAny(rays[k], anyAlone);
                        ASSERT_EQ((found >> k) & 1u, expected ? 1u : 0u) << "group " << g << " lane " << k;
                        ASSERT_EQ((foundAny >> k) & 1u, expectedAny ? 1u : 0u) << "group " << g << " lane " << k;
                        if (expected) {
                            ++hits;
                            EXPECT_EQ(together[k].t, alone.t);
                            EXPECT_EQ(together[k].triangle, alone.triangle);
                            EXPECT_EQ(together[k].backFacing, alone.backFacing);
                            EXPECT_EQ(together[k].point.x, alone.point.x);
                            EXPECT_EQ(together[k].point.y, alone.point.y);
                            EXPECT_EQ(together[k].point.z, alone.point.z);
                        }
                        if (expectedAny) {
                            EXPECT_EQ(any[k].t, anyAlone.t);
                            EXPECT_EQ(any[k].triangle, anyAlone.triangle);
                            EXPECT_EQ(any[k].backFacing, anyAlone.backFacing);
                        }
                    }
                }
            }
        }
    }
    // Every hit counts once for each width.
    EXPECT_GT(hits, 3600);
}

TEST(PacketTraversal, CastsAndShadowCountsMatchTheSingleRayCasts)
{
    // A floor, a sphere moved and scaled, a box, a strongly scaled quad,
    // and, in the second scene, glass layers that send each ray on alone.
    for (int transparent = 0; transparent <= 1; ++transparent) {
        KXScene scene;
        KXRoot* root = makeScene(scene);
        auto floor = makeQuad(-1.0f, 8.0f);
        auto sphere = makeSphere(KXPosition(0, 0, 0), 1.0f, 48, 24);
        auto box = makeBox(KXPosition(-2, 1, 0.5f), 1.0f);
        auto tiny = makeQuad(0.0f, 0.001f, true, 0.002f, 0.0f);
        addShape(root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
        addShape(root, sphere.get(), makeLook(KXColor(1, 0, 0, 1)).get(),
                 KXMatrix::scaling(1.5f, 1.5f, 1.5f) * KXMatrix::translation(1, 0, 0.5f));
        addShape(root, box.get(), makeLook(KXColor(0, 1, 0, 1)).get());
        addShape(root, tiny.get(), makeLook(KXColor(0, 0, 1, 1)).get(),
                 KXMatrix::scaling(1000, 1000, 1000) * KXMatrix::translation(0, -3, 1));
        if (transparent) {
            auto glass = makeQuad(2.0f, 3.0f);
            glass->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
            addShape(root, glass.get(), makeLook(KXColor(1, 1, 1, 0.5f)).get());
        }
        const PreparedScene prepared(root, nullptr);
        const RTShapeTree* tree = prepared.tree.get();
        ASSERT_EQ(tree->hasTransparentShapes(), transparent == 1);

        std::mt19937 random(30 + transparent);
        RTRayContext together[RT_PACKET_SIZE], alone, shadows;
        RTRayContext* contexts[RT_PACKET_SIZE];
        for (int k = 0; k < RT_PACKET_SIZE; ++k)
            contexts[k] = &together[k];
        int listed = 0;
        for (int g = 0; g < 1500; ++g) {
            std::vector<RTRay> rays = rayGroup(random, g % 4, 2.0f);
            // Rays from above looking down, and sideways.
            if (g % 3 == 0)
                for (RTRay& ray : rays)
                    ray = RTRay(RTVec3(ray.origin.x, ray.origin.y, 6.0f),
                                RTVec3(ray.direction.x, ray.direction.y, -3.0f));
            const int count = 2 + g % (RT_PACKET_SIZE - 1);
            RTCaster::castPacket(contexts, tree, rays.data(), count);
            RTOcclusion occlusions[RT_PACKET_SIZE];
            std::fill(occlusions, occlusions + RT_PACKET_SIZE, static_cast<RTOcclusion>(-1));
            RTCaster::occlusionPacket(shadows, tree, rays.data(), count, occlusions);
            for (int k = 0; k < count; ++k) {
                RTCaster::cast(alone, tree, rays[k]);
                const std::vector<RTHit>& expected = alone.getHits();
                ASSERT_EQ(together[k].getHitCount(), expected.size()) << "group " << g << " lane " << k;
                for (size_t h = 0; h < expected.size(); ++h)
                    expectSameHit(together[k].getHits()[h], expected[h]);
                listed += static_cast<int>(expected.size());
                EXPECT_EQ(occlusions[k], RTCaster::occlusion(alone, tree, rays[k]));
            }
        }
        EXPECT_GT(listed, 1500);
    }
}

namespace {

// The first pass alone.
class FirstPassTracer : public KXRayTracer
{
protected:
    void traceAntialiasPass(KXRoot*, KXRawImage2D&, RTNodeCache&, const RTShapeTree*, RTMeshTreeMap&,
                            RTEdgeMask&) override
    {
    }
};

} // namespace

TEST(PacketTraversal, FirstPassPaintsWhatCastingAndShadingEachPixelAlonePaints)
{
    // The benchmark's kind of scene: a fine sphere on a floor under a sun
    // casting shadows and a lamp, seen from above at an angle, on an image
    // whose width is no multiple of four.
    const unsigned width = 61, height = 45;
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(3, -7, 5), KXPosition(0, 0, 0.5f), width, height);
    const KXColor background(0.1f, 0.2f, 0.3f, 0.0f);
    setBackgroundColor(root, background);
    auto floor = makeQuad(0.0f, 6.0f);
    auto sphere = makeSphere(KXPosition(0, 0, 1), 1.0f, 96, 48);
    addShape(root, floor.get(), makeLook(KXColor(0.6f, 0.6f, 0.6f, 1)).get());
    addShape(root, sphere.get(), makeLook(KXColor(0.8f, 0.3f, 0.2f, 1), KXColor(0.7f, 0.7f, 0.7f, 1), 32.0f).get());
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(-0.4f, 0.3f, -1.0f));
    sun->setCastShadows(true);
    lights->addLight(sun.get());
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(-2, -2, 4));
    lamp->setCastShadows(true);
    lights->addLight(lamp.get());
    root->setLightModel(lights.get());

    KXRawImage2D traced = makeImage(width, height);
    FirstPassTracer tracer;
    ASSERT_EQ(tracer.trace(&scene, traced), 0);

    // Each pixel cast and shaded on its own, composited over the
    // background as the first pass does, through an image of the same
    // format.
    const PreparedScene prepared(root, lights.get());
    const RTShapeTree* tree = prepared.tree.get();
    const RTShadingContext& shading = prepared.shading;
    const RTUnprojector unprojector(*root->getCamera());
    RTRayContext primary, secondary;
    KXRawImage2D reference = makeImage(width, height);
    int lit = 0, shadowed = 0;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const RTRay ray = unprojector.primaryRay(static_cast<float>(x), static_cast<float>(y), width, height);
            RTCaster::cast(primary, tree, ray);
            reference.setColor(x, y, background);
            KXColor expected = reference.getColor(x, y);
            for (size_t k = primary.getHitCount(); k-- > 0;) {
                const RTHit& hit = primary.getHits()[k];
                const float alpha = rtHitAlpha(hit);
                expected = rtShade(shading, hit, ray, secondary, 0) * alpha + expected * (1.0f - alpha);
            }
            reference.setColor(x, y, expected);
            ASSERT_FALSE(traced.getColor(x, y) != reference.getColor(x, y)) << x << ", " << y;
            if (primary.getHitCount() != 0) {
                ++lit;
                RTPreparedHit prepared;
                RTRay shadowRay;
                if (rtPrepareHit(shading, primary.getHits()[0], prepared, shadowRay))
                    shadowed += RTCaster::occlusion(secondary, tree, shadowRay) != RTOCCLUSION_CLEAR;
            }
        }
    }
    // The sphere and floor fill most of the view, and the sphere's shadow
    // falls on the floor in sight.
    EXPECT_GT(lit, static_cast<int>(width * height) / 2);
    EXPECT_GT(shadowed, 20) << lit;
}

// The first pass prepares a row's nearest hits four at a time; each must get
// what rtPrepareHit gives it alone: hits on scaled, turned and two-sided
// meshes, hit points moved onto corners and edges (equal corner distances,
// no proper crossing), surfaces that are not lit, lanes without a hit, and
// rows of every length.
TEST(PacketTraversal, PreparingHitsTogetherGivesWhatEachGetsAlone)
{
    KXScene scene;
    KXRoot* root = makeScene(scene);
    auto sphere = makeSphere(KXPosition(0, 0, 0), 1.0f, 40, 20);
    auto twoSided = makeSphere(KXPosition(0, 0, 0), 1.0f, 24, 12);
    twoSided->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    auto bare = makeQuad(-1.5f, 4.0f, false);
    auto coloured = makeBox(KXPosition(2.5f, 2.5f, 0), 1.0f);
    coloured->setColorArray(std::vector<KXColor>(coloured->getVertexArray().size(), KXColor(1, 0, 0, 1)));
    const auto look = makeLook(KXColor(0.8f, 0.3f, 0.2f, 1), KXColor(0.5f, 0.5f, 0.5f, 1), 20.0f);
    addShape(root, sphere.get(), look.get(),
             KXMatrix::scaling(1.5f, 0.7f, 1.0f) * KXMatrix::rotationAxis(KXVector(1, 2, 3), 0.7f) *
                 KXMatrix::translation(-1.5f, 0.5f, 0.2f));
    addShape(root, twoSided.get(), look.get(), KXMatrix::translation(1.5f, -0.5f, 0.0f));
    addShape(root, bare.get(), look.get());
    addShape(root, coloured.get(), look.get());
    auto lights = KXMake<KXLightModel>();
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(0.3f, -0.5f, -1.0f));
    sun->setCastShadows(true);
    lights->addLight(sun.get());
    root->setLightModel(lights.get());

    const PreparedScene prepared(root, lights.get());
    const RTShapeTree* tree = prepared.tree.get();
    const RTShadingContext& shading = prepared.shading;

    // Hits of rays from all around, every surface a ray passes through.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 5);
    std::vector<RTHit> hits;
    RTRayContext context;
    for (int r = 0; r < 5000; ++r) {
        const RTVec3 origin = randomDirection(random) * 8.0f;
        const RTVec3 target(spread(random) * 2.0f, spread(random) * 2.0f, spread(random));
        RTCaster::cast(context, tree, RTRay(origin, target - origin));
        for (RTHit hit : context.getHits()) {
            // Some points moved onto a corner or the middle of an edge.
            const std::vector<KXPosition>& v = hit.mesh->getTriMesh().getVertexArray();
            const int where = pick(random);
            if (where < 3)
                hit.point = RTVec3(v[hit.indices[where]]);
            else if (where == 3)
                hit.point = (RTVec3(v[hit.indices[0]]) + RTVec3(v[hit.indices[1]])) * 0.5f;
            hits.push_back(hit);
        }
    }
    ASSERT_GT(hits.size(), 4000u);

    std::uniform_int_distribution<int> rowLength(1, RT_PACKET_SIZE);
    int surfaces = 0, wanted = 0, others = 0;
    for (size_t next = 0; next < hits.size();) {
        const int count = rowLength(random);
        const RTHit* row[RT_PACKET_SIZE] = {};
        for (int k = 0; k < count && next < hits.size(); ++k)
            row[k] = pick(random) == 0 ? nullptr : &hits[next++];
        RTPreparedHit together[RT_PACKET_SIZE];
        RTRay shadows[RT_PACKET_SIZE];
        const unsigned rays = rtPrepareHits(shading, row, count, together, shadows);
        for (int k = 0; k < count; ++k) {
            RTPreparedHit alone;
            RTRay shadow;
            const bool wants = row[k] && rtPrepareHit(shading, *row[k], alone, shadow);
            ASSERT_EQ((rays >> k) & 1u, wants ? 1u : 0u);
            ASSERT_EQ(together[k].surface, alone.surface);
            if (!alone.surface) {
                others += row[k] != nullptr;
                continue;
            }
            ++surfaces;
            const RTInterpolation& a = together[k].ip;
            const RTInterpolation& b = alone.ip;
            EXPECT_EQ(a.a, b.a);
            EXPECT_EQ(a.b, b.b);
            EXPECT_EQ(a.c, b.c);
            EXPECT_EQ(a.qb, b.qb);
            EXPECT_EQ(a.cb, b.cb);
            EXPECT_EQ(a.qp, b.qp);
            EXPECT_EQ(a.qa, b.qa);
            EXPECT_EQ(together[k].normal.x, alone.normal.x);
            EXPECT_EQ(together[k].normal.y, alone.normal.y);
            EXPECT_EQ(together[k].normal.z, alone.normal.z);
            if (wants) {
                ++wanted;
                EXPECT_EQ(together[k].light, alone.light);
                EXPECT_EQ(shadows[k].origin.x, shadow.origin.x);
                EXPECT_EQ(shadows[k].origin.y, shadow.origin.y);
                EXPECT_EQ(shadows[k].origin.z, shadow.origin.z);
                for (int a = 0; a < 3; ++a) {
                    EXPECT_EQ(shadows[k].direction[a], shadow.direction[a]);
                    EXPECT_EQ(shadows[k].inverse[a], shadow.inverse[a]);
                    EXPECT_EQ(shadows[k].sign[a], shadow.sign[a]);
                }
            }
        }
    }
    EXPECT_GT(surfaces, 1500);
    EXPECT_GT(wanted, 500);
    EXPECT_GT(others, 200) << surfaces << " " << wanted;
}

// Rows of primary rays are made four at a time; each ray must be the one
// primaryRay makes for its pixel, for perspective and orthographic cameras,
// rows of every length and an image wider than it is tall.
TEST(PacketTraversal, RowsOfPrimaryRaysAreThePixelsOwnRays)
{
    KXScene scene;
    KXRoot* root = makeScene(scene, KXPosition(3, -7, 5), KXPosition(0.5f, 0, 0.5f), 333, 97);
    auto orthographic = KXMake<KXOrthoCamera>();
    orthographic->setPosition(KXPosition(-2, 4, 9), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    orthographic->setViewport(KXDimension2D(333, 97));
    orthographic->setNearPlane(0.5f);
    orthographic->setFarPlane(40.0f);
    orthographic->setViewportScale(0.02f);
    int compared = 0;
    for (const KXCamera* camera : {static_cast<const KXCamera*>(root->getCamera()),
                                   static_cast<const KXCamera*>(orthographic.get())}) {
        const RTUnprojector unprojector(*camera);
        for (unsigned y : {0u, 1u, 48u, 96u}) {
            for (unsigned x = 0; x < 333; x += 16) {
                const unsigned count = std::min(16u, 333u - x - (x / 16) % 5);
                RTRay rays[RT_PACKET_SIZE];
                unprojector.primaryRays(x, y, count, 333, 97, rays);
                for (unsigned i = 0; i < count; ++i, ++compared) {
                    const RTRay alone = unprojector.primaryRay(static_cast<float>(x + i), static_cast<float>(y), 333, 97);
                    for (int a = 0; a < 3; ++a) {
                        ASSERT_EQ(rays[i].origin[a], alone.origin[a]) << x + i << ", " << y;
                        ASSERT_EQ(rays[i].direction[a], alone.direction[a]) << x + i << ", " << y;
                        ASSERT_EQ(rays[i].inverse[a], alone.inverse[a]) << x + i << ", " << y;
                        ASSERT_EQ(rays[i].sign[a], alone.sign[a]) << x + i << ", " << y;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 2000);
}

// Hits covering their pixel are shaded four at a time where rtShade needs
// nothing but the prepared shadow: each colour must be rtShade's, under
// shadowed and unshadowed suns, an attenuated lamp of limited range and
// ambient light, on materials with emissive, ambient and specular parts.
// Lights whose shadows or cones rtShade works out itself, and textured or
// reflecting surfaces, are left to rtShade.
TEST(PacketTraversal, ShadingHitsTogetherGivesWhatEachGetsAlone)
{
    KXScene scene;
    KXRoot* root = makeScene(scene);
    auto sphere = makeSphere(KXPosition(0, 0, 0), 1.0f, 40, 20);
    auto twoSided = makeSphere(KXPosition(0, 0, 0), 1.0f, 24, 12);
    twoSided->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    auto floor = makeQuad(-1.5f, 4.0f);
    const auto red = makeLook(KXColor(0.8f, 0.3f, 0.2f, 1), KXColor(0.5f, 0.6f, 0.7f, 1), 20.0f,
                              KXColor(0.2f, 0.1f, 0.3f, 1), KXColor(0.05f, 0.0f, 0.1f, 1));
    const auto grey = makeLook(KXColor(0.5f, 0.5f, 0.5f, 1));
    addShape(root, sphere.get(), red.get(),
             KXMatrix::scaling(1.5f, 0.7f, 1.0f) * KXMatrix::translation(-1.5f, 0.5f, 0.2f));
    addShape(root, twoSided.get(), red.get(), KXMatrix::translation(1.5f, -0.5f, 0.0f));
    addShape(root, floor.get(), grey.get());
    auto lights = KXMake<KXLightModel>();
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(0.2f, 0.25f, 0.3f, 1));
    lights->setAmbientLight(ambient.get());
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(0.3f, -0.5f, -1.0f));
    sun->setCastShadows(true);
    lights->addLight(sun.get());
    auto evening = KXMake<KXDirectionalLight>();
    evening->setDirection(KXVector(-1.0f, 0.2f, -0.3f));
    evening->setColor(KXColor(0.4f, 0.3f, 0.2f, 1));
    lights->addLight(evening.get());
    auto lamp = KXMake<KXPointLight>();
    lamp->setPosition(KXPosition(0.5f, -2.0f, 2.5f));
    lamp->setAttenuation(0.5f, 0.2f, 0.05f);
    lamp->setRange(4.5f);
    lights->addLight(lamp.get());
    root->setLightModel(lights.get());

    const PreparedScene scenePrepared(root, lights.get());
    const RTShapeTree* tree = scenePrepared.tree.get();

    std::mt19937 random(9);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    std::vector<RTRay> rays;
    std::vector<RTHit> hits;
    RTRayContext context, secondary;
    for (int r = 0; r < 3000; ++r) {
        const RTVec3 origin = randomDirection(random) * 8.0f;
        const RTVec3 target(spread(random) * 2.0f, spread(random) * 2.0f, spread(random));
        const RTRay ray(origin, target - origin);
        RTCaster::cast(context, tree, ray);
        if (context.getHitCount() != 0) {
            rays.push_back(ray);
            hits.push_back(context.getHits()[0]);
        }
    }

    // Shades every hit both ways under the lights of model; returns how
    // many were shaded four at a time.
    const auto compare = [&](const KXLightModel* model) -> size_t {
        const RTLighting lighting(model, KXMatrix());
        RTShadingContext shading;
        shading.lighting = &lighting;
        shading.shapeTree = tree;
        size_t together = 0;
        for (size_t first = 0; first < hits.size(); first += RT_PACKET_SIZE) {
            const int count = static_cast<int>(std::min<size_t>(RT_PACKET_SIZE, hits.size() - first));
            const RTHit* row[RT_PACKET_SIZE] = {};
            for (int k = 0; k < count; ++k)
                row[k] = &hits[first + k];
            RTPreparedHit prepared[RT_PACKET_SIZE];
            RTRay shadows[RT_PACKET_SIZE];
            const unsigned wanted = rtPrepareHits(shading, row, count, prepared, shadows);
            for (int k = 0; k < count; ++k)
                if (wanted & (1u << k)) {
                    prepared[k].shadowKnown = true;
                    prepared[k].factor = rtHardShadowFactor(RTCaster::occlusion(secondary, tree, shadows[k]));
                }
            KXColor colors[RT_PACKET_SIZE];
            // Every other row leaves its first lane out.
            const unsigned lanes = (~0u >> (32 - count)) & ((first / RT_PACKET_SIZE) % 2 ? ~1u : ~0u);
            const unsigned shaded = rtShadeHits(shading, row, &rays[first], prepared, lanes, colors);
            EXPECT_EQ(shaded & ~lanes, 0u);
            for (int k = 0; k < count; ++k) {
                if (!(shaded & (1u << k)))
                    continue;
                ++together;
                const KXColor alone = rtShade(shading, hits[first + k], rays[first + k], secondary, 0, &prepared[k]);
                EXPECT_TRUE(colors[k] == alone) << first + k;
            }
        }
        return together;
    };
    EXPECT_GT(compare(lights.get()), hits.size() * 9 / 10);
    // The lamp casting shadows, or a spot light: rtShade works those out.
    lamp->setCastShadows(true);
    EXPECT_EQ(compare(lights.get()), 0u);
    lamp->setCastShadows(false);
    auto spot = KXMake<KXSpotLight>();
    lights->addLight(spot.get());
    EXPECT_EQ(compare(lights.get()), 0u);
}
