// Scene flattening: the node cache, the split rules of shape and mesh
// trees, and the triangles the mesh trees list.

#include "RTTestScenes.h"

#include "raytracer/RTMesh.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTShapeTree.h"
#include "raytracer/RTSpatialTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace rttest;

namespace {

RTBox box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    RTBox b;
    b.lo[0] = x0, b.lo[1] = y0, b.lo[2] = z0;
    b.hi[0] = x1, b.hi[1] = y1, b.hi[2] = z1;
    return b;
}

struct Leaf {
    RTBox box;
    std::vector<uint32_t> items;
    int depth;
};

std::vector<Leaf> leavesOf(const RTSpatialTree& tree)
{
    std::vector<Leaf> leaves;
    tree.forEachNode([&](const RTSpatialNode& node, const RTBox& b, int depth) {
        if (node.isLeaf())
            leaves.push_back({b, std::vector<uint32_t>(tree.leafItems.begin() + node.first,
                                                        tree.leafItems.begin() + node.first + node.count()),
                              depth});
    });
    return leaves;
}

} // namespace

TEST(SpatialTreeRules, LongestAxisTiesGoToXThenY)
{
    EXPECT_EQ(rtLongestAxis(box(0, 0, 0, 2, 2, 1)), 0);
    EXPECT_EQ(rtLongestAxis(box(0, 0, 0, 1, 2, 2)), 1);
    EXPECT_EQ(rtLongestAxis(box(0, 0, 0, 1, 1, 3)), 2);
    // Extents within 1e-4 count as equal.
    EXPECT_EQ(rtLongestAxis(box(0, 0, 0, 1.0f, 1.00005f, 0.5f)), 0);
    EXPECT_EQ(rtLongestAxis(box(0, 0, 0, 1.0f, 1.001f, 0.5f)), 1);
}

TEST(SpatialTreeRules, HalvesMeetAtTheMiddleAndTouchingBoxesOverlap)
{
    RTBox left, right;
    rtSplitBox(box(-1, 0, 2, 3, 1, 4), 0, left, right);
    EXPECT_EQ(left.hi[0], 1.0f);
    EXPECT_EQ(right.lo[0], 1.0f);
    EXPECT_EQ(left.lo[0], -1.0f);
    EXPECT_EQ(right.hi[0], 3.0f);
    EXPECT_EQ(left.lo[2], 2.0f);
    EXPECT_EQ(right.hi[2], 4.0f);

    EXPECT_TRUE(rtBoxesOverlap(box(0, 0, 0, 1, 1, 1), box(1, 0, 0, 2, 1, 1)));
    EXPECT_TRUE(rtBoxesOverlap(box(0, 0, 0, 1, 1, 1), box(1.00005f, 0, 0, 2, 1, 1)));
    EXPECT_FALSE(rtBoxesOverlap(box(0, 0, 0, 1, 1, 1), box(1.001f, 0, 0, 2, 1, 1)));
    EXPECT_FALSE(rtBoxesOverlap(box(0, 0, 0, 1, 1, 1), box(0, 0, 2, 1, 1, 3)));
}

TEST(ShapeTree, AShapeCoveringEverythingIsInEveryLeafAndTwinsStayTogether)
{
    // Item 0 covers the whole box; 1 and 2 are identical small boxes in one
    // corner; 3 sits in the opposite corner.
    const std::vector<RTBox> items = {box(0, 0, 0, 8, 8, 8), box(0, 0, 0, 1, 1, 1), box(0, 0, 0, 1, 1, 1),
                                      box(7, 7, 7, 8, 8, 8)};
    RTSpatialTree tree;
    tree.build(RTSpatialTree::SHAPES, box(0, 0, 0, 8, 8, 8), {0, 1, 2, 3}, items);
    const std::vector<Leaf> leaves = leavesOf(tree);
    ASSERT_GT(leaves.size(), 1u);
    bool twinsSeen = false;
    for (const Leaf& leaf : leaves) {
        EXPECT_EQ(leaf.items.front(), 0u);
        EXPECT_LE(leaf.depth, RTSpatialTree::MAX_SPLIT_DEPTH + 1);
        const bool has1 = std::count(leaf.items.begin(), leaf.items.end(), 1u) != 0;
        const bool has2 = std::count(leaf.items.begin(), leaf.items.end(), 2u) != 0;
        EXPECT_EQ(has1, has2);
        twinsSeen |= has1;
        // Items keep their order within a leaf.
        EXPECT_TRUE(std::is_sorted(leaf.items.begin(), leaf.items.end()));
    }
    EXPECT_TRUE(twinsSeen);
}

TEST(ShapeTree, SplitsStopWhereBothHalvesGetTheSameShapes)
{
    // Two shapes both spanning the whole box: the first split fails.
    const std::vector<RTBox> items = {box(0, 0, 0, 4, 4, 4), box(0, 0, 0, 4, 4, 4)};
    RTSpatialTree tree;
    tree.build(RTSpatialTree::SHAPES, box(0, 0, 0, 4, 4, 4), {0, 1}, items);
    EXPECT_EQ(tree.nodes.size(), 1u);
    EXPECT_EQ(tree.getNumLeaves(), 1u);
}

TEST(ShapeTree, SplittingGoesOnDownToTheDepthLimitAndNoFurther)
{
    // One small shape in a corner: every split puts it in one half only,
    // so the halving goes on until the children of depth 16 are made. The
    // longest side is halved each time, x first on ties: 17 halvings leave
    // x and y halved six times and z five.
    const std::vector<RTBox> items = {box(0, 0, 0, 0.001f, 0.001f, 0.001f)};
    RTSpatialTree tree;
    tree.build(RTSpatialTree::SHAPES, box(0, 0, 0, 8, 8, 8), {0}, items);
    int deepest = 0;
    std::vector<Leaf> holding;
    for (const Leaf& leaf : leavesOf(tree)) {
        deepest = std::max(deepest, leaf.depth);
        if (!leaf.items.empty())
            holding.push_back(leaf);
    }
    EXPECT_EQ(deepest, RTSpatialTree::MAX_SPLIT_DEPTH + 1);
    ASSERT_EQ(holding.size(), 1u);
    EXPECT_EQ(holding[0].depth, RTSpatialTree::MAX_SPLIT_DEPTH + 1);
    EXPECT_EQ(holding[0].box.hi[0], 0.125f);
    EXPECT_EQ(holding[0].box.hi[1], 0.125f);
    EXPECT_EQ(holding[0].box.hi[2], 0.25f);
    // One leaf beside each step down, and the last pair.
    EXPECT_EQ(tree.getNumLeaves(), static_cast<size_t>(RTSpatialTree::MAX_SPLIT_DEPTH) + 2);
}

TEST(MeshTree, SplittingGoesOnDownToTheDepthLimitAndNoFurther)
{
    // Nine tiny triangles in a corner and one spanning the whole box: every
    // split sends all ten to the corner's half and the big one also to the
    // other, so no split fails and the corner's branch reaches the limit.
    std::vector<KXPosition> v = {{0, 0, 0}, {8, 0, 8}, {0, 8, 8}};
    std::vector<uint32_t> idx = {0, 1, 2};
    for (int t = 0; t < 9; ++t) {
        const float o = 0.001f * static_cast<float>(t);
        for (const KXPosition& corner :
             {KXPosition(o, 0, 0), KXPosition(o + 0.005f, 0, 0), KXPosition(o, 0.005f, 0.005f)}) {
            v.push_back(corner);
            idx.push_back(static_cast<uint32_t>(v.size() - 1));
        }
    }
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), std::move(idx));
    const RTMesh prepared(*mesh, true);
    ASSERT_TRUE(prepared.hasTree());
    int deepest = 0;
    prepared.getTree().forEachNode([&](const RTSpatialNode& node, const RTBox&, int depth) {
        if (node.isLeaf())
            deepest = std::max(deepest, depth);
    });
    EXPECT_EQ(deepest, RTSpatialTree::MAX_SPLIT_DEPTH + 1);
}

TEST(MeshTree, NineTrianglesAreTestedDirectlyTenGetATree)
{
    auto nine = makeTriangleSoup(9, 1);
    auto ten = makeTriangleSoup(10, 1);
    EXPECT_FALSE(RTMesh(*nine, true).hasTree());
    const RTMesh withTree(*ten, true);
    ASSERT_TRUE(withTree.hasTree());
    // 30 indices are more than 18: the root splits.
    EXPECT_GT(withTree.getTree().nodes.size(), 1u);
    EXPECT_FALSE(RTMesh(*ten, false).hasTree());
}

TEST(MeshTree, StripsAreListedWithOneWindingInTheTree)
{
    // 12 strip triangles, enough for a tree.
    std::vector<KXPosition> v;
    std::vector<uint32_t> idx;
    for (int k = 0; k < 14; ++k) {
        v.emplace_back(static_cast<float>(k / 2), static_cast<float>(k % 2), 0.0f);
        idx.push_back(static_cast<uint32_t>(k));
    }
    auto strip = KXMake<KXTriMesh>();
    strip->set(KXTriMesh::KXTRIMESHTYPE_STRIP, v, idx);
    const RTMesh tree(*strip, true);
    ASSERT_TRUE(tree.hasTree());
    const uint32_t expected[3][3] = {{0, 1, 2}, {1, 3, 2}, {2, 3, 4}};
    for (uint32_t t = 0; t < 3; ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(tree.getTriangle(t)[k], expected[t][k]);
    // Triangle by triangle, the strip is read as it comes.
    const RTMesh direct(*strip, false);
    EXPECT_EQ(direct.getTriangle(1)[1], 2u);
    EXPECT_EQ(direct.getTriangle(1)[2], 3u);
}

TEST(MeshTree, EveryLeafHoldsTheTrianglesThatReachIntoIt)
{
    auto soup = makeTriangleSoup(400, 7, 0.2f);
    const RTMesh mesh(*soup, true);
    const RTSpatialTree& tree = mesh.getTree();
    const std::vector<KXPosition>& v = soup->getVertexArray();
    const auto triangleBox = [&](uint32_t t) {
        const uint32_t* tri = mesh.getTriangle(t);
        RTBox b;
        for (int a = 0; a < 3; ++a) {
            b.lo[a] = std::min({v[tri[0]][a], v[tri[1]][a], v[tri[2]][a]});
            b.hi[a] = std::max({v[tri[0]][a], v[tri[1]][a], v[tri[2]][a]});
        }
        return b;
    };
    std::set<uint32_t> listed;
    size_t leaves = 0;
    tree.forEachNode([&](const RTSpatialNode& node, const RTBox& b, int depth) {
        if (!node.isLeaf())
            return;
        ++leaves;
        EXPECT_LE(depth, RTSpatialTree::MAX_SPLIT_DEPTH + 1);
        std::set<uint32_t> inLeaf;
        for (uint32_t g = node.first; g < node.first + node.count(); ++g) {
            const RTPackGroup& group = mesh.getPackGroups()[g];
            for (uint32_t p = 0; p < group.numPacks; ++p)
                for (int lane = 0; lane < 4; ++lane) {
                    const RTTrianglePack& pack = mesh.getPacks()[group.firstPack + p];
                    if (pack.n[0][lane] != 0.0f || pack.n[1][lane] != 0.0f || pack.n[2][lane] != 0.0f)
                        inLeaf.insert(pack.triangle[lane]);
                }
        }
        // Leaves deeper than the split limit may hold anything; shallower
        // ones were either not worth splitting or every triangle spanned
        // both halves. In every case a triangle overlapping the leaf is in it.
        for (uint32_t t = 0; t < mesh.getNumTriangles(); ++t) {
            if (rtBoxesOverlap(triangleBox(t), b)) {
                EXPECT_TRUE(inLeaf.count(t)) << "triangle " << t << " missing from a leaf it overlaps";
            }
        }
        listed.insert(inLeaf.begin(), inLeaf.end());
    });
    EXPECT_GT(leaves, 10u);
    EXPECT_EQ(listed.size(), mesh.getNumTriangles());
}

TEST(MeshTree, TrianglesNamingMissingVerticesAreLeftOut)
{
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 0, 1, 7, 2});
    const RTMesh prepared(*mesh, true);
    EXPECT_EQ(prepared.getNumTriangles(), 1u);
}

TEST(NodeCache, HoldsWorldMatricesInversesAndWorldBoundsOfEveryNode)
{
    KXScene scene;
    KXRoot* root = makeScene(scene);
    auto group = KXMake<KXGroup>();
    group->getTransform()->setTransformationMatrix(KXMatrix::translation(5, 0, 0));
    group->setEnabled(false);
    root->addChild(group.get());
    auto quad = makeQuad(0.0f);
    KXShape* shape = addShape(group.get(), quad.get(), nullptr, KXMatrix::scaling(2, 2, 2));
    // A node scaled by 0.001 still has an inverse.
    KXShape* tiny = addShape(root, quad.get(), nullptr, KXMatrix::scaling(0.001f, 0.001f, 0.001f));
    // A flattened node has none: the identity stands in.
    KXShape* flat = addShape(root, quad.get(), nullptr, KXMatrix::scaling(1, 1, 0));

    RTNodeCache cache;
    cache.build(root);
    EXPECT_EQ(cache.size(), 5u); // disabled nodes too
    const RTNodeCache::Entry* entry = cache.find(shape);
    ASSERT_NE(entry, nullptr);
    const KXPosition p = entry->world.transform(KXPosition(1, 1, 0));
    EXPECT_FLOAT_EQ(p.getX(), 7.0f);
    const KXPosition back = entry->inverse.transform(p);
    EXPECT_NEAR(back.getX(), 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(entry->bounds.getLowerLeftPos().getX(), 3.0f);
    EXPECT_FLOAT_EQ(entry->bounds.getUpperRightPos().getX(), 7.0f);
    EXPECT_NEAR(cache.find(tiny)->inverse.get(0, 0), 1000.0f, 0.01f);
    EXPECT_TRUE(cache.find(flat)->inverse.isIdentity());

    // Only the enabled shapes are collected.
    std::vector<const KXShape*> shapes;
    rtCollectShapes(root, shapes);
    EXPECT_EQ(shapes, (std::vector<const KXShape*>{tiny, flat}));
}

TEST(NodeCache, MeshesSharedByShapesArePreparedOnce)
{
    KXScene scene;
    KXRoot* root = makeScene(scene);
    auto sphere = makeSphere(KXPosition(0, 0, 0), 1.0f);
    addShape(root, sphere.get(), nullptr);
    addShape(root, sphere.get(), nullptr, KXMatrix::translation(3, 0, 0));
    RTNodeCache cache;
    cache.build(root);
    RTMeshTreeMap meshes;
    const auto tree = RTShapeTree::build(root, cache, meshes);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(meshes.size(), 1u);
    EXPECT_EQ(tree->getShapes().size(), 2u);
    EXPECT_TRUE(meshes.find(sphere.get())->hasTree());
    EXPECT_FALSE(tree->hasTransparentShapes());
}
