#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXStoryBoard.h"
#include "sceneapi/KXTangentFrame.h"
#include "sceneapi/KXTriMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

namespace {

// A unit cube's eight corners, enough to give a mesh its bounds.
KXRef<KXTriMesh> makeBoxMesh(float lo, float hi)
{
    auto mesh = KXMake<KXTriMesh>();
    std::vector<KXPosition> v;
    for (int i = 0; i < 8; ++i)
        v.emplace_back((i & 1) ? hi : lo, (i & 2) ? hi : lo, (i & 4) ? hi : lo);
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, v, {0, 1, 3, 0, 3, 2});
    return mesh;
}

KXRef<KXShape> makeShape(KXTriMesh* mesh)
{
    auto shape = KXMake<KXShape>();
    shape->setGeometry(mesh);
    return shape;
}

void expectNear(const KXPosition& p, float x, float y, float z)
{
    EXPECT_NEAR(p.getX(), x, 1e-5f);
    EXPECT_NEAR(p.getY(), y, 1e-5f);
    EXPECT_NEAR(p.getZ(), z, 1e-5f);
}

class CountingImpl : public KXTriMeshImpl
{
public:
    explicit CountingImpl(int& deaths) : m_deaths(deaths) {}
    ~CountingImpl() override { ++m_deaths; }
    void draw() override {}

private:
    int& m_deaths;
};

} // namespace

TEST(KXSceneTreeTest, GroupBoundsFollowChildrenTransformsAndGeometry)
{
    KXScene scene;
    KXRoot* root = scene.getRoot();
    auto mesh = makeBoxMesh(-1, 1);
    auto group = KXMake<KXGroup>();
    auto shape = makeShape(mesh.get());
    group->addChild(shape.get());
    root->addChild(group.get());
    expectNear(root->getBounds().getLowerLeftPos(), -1, -1, -1);

    // A child's transform moves the parent's bounds, not the child's own.
    shape->getTransform()->setTranslation(KXVector(10, 0, 0));
    expectNear(shape->getBounds().getUpperRightPos(), 1, 1, 1);
    expectNear(group->getBounds().getUpperRightPos(), 11, 1, 1);
    group->getTransform()->setScale(KXVector(2, 2, 2));
    expectNear(root->getBounds().getUpperRightPos(), 22, 2, 2);

    // Changing the geometry reaches every ancestor.
    mesh->setVertexArray({KXPosition(0, 0, 0), KXPosition(0, 0, 5)});
    expectNear(root->getBounds().getUpperRightPos(), 20, 0, 10);

    // Disabled children do not count; an empty group has empty bounds.
    shape->setEnabled(false);
    EXPECT_TRUE(root->getBounds().isEmpty());
    shape->setEnabled(true);
    group->removeChild(shape.get());
    EXPECT_TRUE(root->getBounds().isEmpty());
    EXPECT_EQ(shape->getParent(), nullptr);
}

TEST(KXSceneTreeTest, SharedGeometryUpdatesEveryShapeThatUsesIt)
{
    auto mesh = makeBoxMesh(0, 1);
    auto a = makeShape(mesh.get());
    auto b = makeShape(mesh.get());
    auto group = KXMake<KXGeometryGroup>();
    group->addGeometry(mesh.get());
    b->setGeometryGroup(group.get());
    EXPECT_EQ(b->getNumTriangles(), 4);
    mesh->setVertexArray({KXPosition(3, 3, 3)});
    expectNear(a->getBounds().getLowerLeftPos(), 3, 3, 3);
    expectNear(b->getBounds().getLowerLeftPos(), 3, 3, 3);
}

TEST(KXSceneTreeTest, ReparentingMovesNodesAndCyclesAreRefused)
{
    auto g1 = KXMake<KXGroup>();
    auto g2 = KXMake<KXGroup>();
    auto leaf = makeShape(makeBoxMesh(0, 1).get());
    ASSERT_TRUE(g1->addChild(g2.get()));
    ASSERT_TRUE(g1->addChild(leaf.get()));
    ASSERT_TRUE(g2->addChild(leaf.get()));
    EXPECT_EQ(g1->getNumChildNodes(), 1);
    EXPECT_EQ(leaf->getParent(), g2.get());
    EXPECT_FALSE(g2->addChild(g1.get()));
    EXPECT_FALSE(g1->addChild(g1.get()));
    EXPECT_FALSE(g1->addChild(nullptr));
    KXScene scene;
    EXPECT_FALSE(g1->addChild(scene.getRoot()));
    EXPECT_EQ(g1->getChild(5), nullptr);
    EXPECT_EQ(g1->getChild(-1), nullptr);
}

TEST(KXSceneTreeTest, ChildrenLiveAsLongAsTheirGroup)
{
    KXTriMesh* mesh = new KXTriMesh();
    {
        auto group = KXMake<KXGroup>();
        KXShape* shape = new KXShape();
        shape->setGeometry(mesh);
        group->addChild(shape);
        EXPECT_EQ(mesh->getRefCount(), 1);
        mesh->ref(); // keep the mesh beyond the tree
    }
    EXPECT_EQ(mesh->getRefCount(), 1);
    mesh->unref();
}

TEST(KXSceneTreeTest, WorldMatrixComposesTransformsFromNodeToRoot)
{
    KXScene scene;
    KXRoot* root = scene.getRoot();
    auto group = KXMake<KXGroup>();
    auto shape = makeShape(makeBoxMesh(0, 1).get());
    root->addChild(group.get());
    group->addChild(shape.get());
    root->getTransform()->setTranslation(KXVector(0, 0, 100));
    group->getTransform()->setRotation(KXVector(0, 0, 1), 1.5707963f);
    shape->getTransform()->setTranslation(KXVector(1, 0, 0));
    const KXMatrix world = KXNodeUtils::getWorldMatrixAtNode(shape.get());
    // (0,0,0) in the shape -> (1,0,0) -> rotated to (0,1,0) -> (0,1,100).
    expectNear(world.transform(KXPosition(0, 0, 0)), 0, 1, 100);
    EXPECT_TRUE(KXNodeUtils::getWorldMatrixAtNode(nullptr).isIdentity());

    // The frustum test's recipe: local bounds carried by the world matrix.
    KXBounds b = shape->getBounds();
    b.transform(world);
    expectNear(b.getLowerLeftPos(), -1, 1, 100);
}

TEST(KXSceneTreeTest, TransformMatrixAndComponentsAgree)
{
    auto group = KXMake<KXGroup>();
    KXTransform* t = group->getTransform();
    t->setScale(KXVector(2, 3, 4));
    t->setRotation(KXVector(1, 1, 0), 0.5f);
    t->setTranslation(KXVector(5, 6, 7));
    const KXMatrix m = t->getTransformationMatrix();
    auto other = KXMake<KXGroup>();
    other->getTransform()->setTransformationMatrix(m);
    const KXVector s = other->getTransform()->getScale();
    EXPECT_NEAR(s.getX(), 2.0f, 1e-5f);
    EXPECT_NEAR(s.getZ(), 4.0f, 1e-5f);
    EXPECT_NEAR(other->getTransform()->getTranslation().getY(), 6.0f, 1e-5f);
    // A pivot rotates about itself: the pivot point does not move.
    t->setIdentity();
    t->setPivot(KXPosition(1, 1, 0));
    t->setRotation(KXVector(0, 0, 1), 1.0f);
    expectNear(t->getTransformationMatrix().transform(KXPosition(1, 1, 0)), 1, 1, 0);
}

TEST(KXSceneTreeTest, BoundsMayBeReadFromManyThreadsAtOnce)
{
    KXScene scene;
    for (int i = 0; i < 50; ++i) {
        auto g = KXMake<KXGroup>();
        for (int j = 0; j < 20; ++j) {
            auto s = makeShape(makeBoxMesh(0, 1).get());
            s->getTransform()->setTranslation(KXVector(float(i), float(j), 0));
            g->addChild(s.get());
        }
        scene.getRoot()->addChild(g.get());
    }
    std::vector<KXBounds> seen(4);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&, k] { seen[k] = scene.getRoot()->getBounds(); });
    for (auto& th : threads)
        th.join();
    for (const KXBounds& b : seen)
        expectNear(b.getUpperRightPos(), 50, 20, 1);
}

TEST(KXTriMeshTest, TriangleCountsAndStripWinding)
{
    KXTriMesh mesh;
    mesh.setVertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0}});
    mesh.setIndicesArray({0, 1, 2, 3, 4});
    EXPECT_EQ(mesh.getNumTriangles(), 1);
    mesh.setTriMeshType(KXTriMesh::KXTRIMESHTYPE_STRIP);
    EXPECT_EQ(mesh.getNumTriangles(), 3);
    // Every strip triangle keeps the counter-clockwise winding of the first.
    for (int t = 0; t < 3; ++t) {
        uint32_t a, b, c;
        ASSERT_TRUE(mesh.getTriangle(t, a, b, c));
        const auto& v = mesh.getVertexArray();
        EXPECT_GT((v[b] - v[a]).cross(v[c] - v[a]).getZ(), 0.0f) << "triangle " << t;
    }
    mesh.setTriMeshType(KXTriMesh::KXTRIMESHTYPE_FAN);
    EXPECT_EQ(mesh.getNumTriangles(), 3);
    mesh.setIndicesArray({0, 1});
    EXPECT_EQ(mesh.getNumTriangles(), 0);
    uint32_t a, b, c;
    EXPECT_FALSE(mesh.getTriangle(0, a, b, c));
}

TEST(KXTriMeshTest, EveryChangeDiscardsTheImplementationAndDestructionDeletesIt)
{
    int deaths = 0;
    auto mesh = makeBoxMesh(0, 1);
    const std::vector<std::function<void()>> changes = {
        [&] { mesh->setVertexArray({KXPosition()}); },
        [&] { mesh->setNormalsArray({KXUnitVector()}); },
        [&] { mesh->setColorArray({KXColor()}); },
        [&] { mesh->setTexCoordsArray({KXPosition2D()}); },
        [&] { mesh->setCubicTexCoordsArray({KXPosition()}); },
        [&] { mesh->setIndicesArray({0, 0, 0}); },
        [&] { mesh->setTriMeshType(KXTriMesh::KXTRIMESHTYPE_FAN); },
        [&] { mesh->setSidedness(KXTriMesh::KXSIDEDNESS_TWO); },
        [&] { mesh->setPreTransformed(true); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        mesh->setImplementation(new CountingImpl(deaths));
        changes[i]();
        EXPECT_EQ(mesh->getImplementation(), nullptr) << "change " << i;
        EXPECT_EQ(deaths, static_cast<int>(i + 1));
    }
    mesh->setImplementation(new CountingImpl(deaths));
    mesh = nullptr;
    EXPECT_EQ(deaths, static_cast<int>(changes.size() + 1));
}

TEST(KXTriMeshTest, ComputedNormalsAndTangentFrameColours)
{
    KXTriMesh mesh;
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, {}, {},
             {KXPosition2D(0, 0), KXPosition2D(1, 0), KXPosition2D(0, 1)});
    mesh.computeNormals();
    ASSERT_EQ(mesh.getNormalsArray().size(), 3u);
    EXPECT_NEAR(mesh.getNormalsArray()[1].getZ(), 1.0f, 1e-6f);
    KXTangentFrame* frame = mesh.createTangentFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_NEAR(frame->getTangents()[0].getX(), 1.0f, 1e-6f);
    EXPECT_NEAR(frame->getBinormals()[0].getY(), 1.0f, 1e-6f);
    // A light straight above the first vertex lies along its normal: colour
    // (0.5, 0.5, 1) in tangent space.
    frame->updateTriMeshColor(KXPosition(0, 0, 10));
    ASSERT_EQ(mesh.getColorArray().size(), 3u);
    EXPECT_NEAR(mesh.getColorArray()[0].getR(), 0.5f, 1e-5f);
    EXPECT_NEAR(mesh.getColorArray()[0].getB(), 1.0f, 1e-5f);
    // A light far along +x gives a red-heavy colour.
    frame->updateTriMeshColor(KXPosition(1000, 0, 0));
    EXPECT_GT(mesh.getColorArray()[0].getR(), 0.99f);
}

TEST(KXPolylineTest, SegmentsByTypeAndColoursOnlyWhenComplete)
{
    KXPolyline line;
    const KXPosition pts[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    line.set(KXPolyline::KXPOLYLINETYPE_OPEN, pts, 3);
    EXPECT_EQ(line.getNumSegments(), 2);
    EXPECT_TRUE(line.getColorArray().empty());
    expectNear(line.getBounds().getUpperRightPos(), 1, 1, 0);
    line.set(KXPolyline::KXPOLYLINETYPE_CLOSED, pts, 3);
    EXPECT_EQ(line.getNumSegments(), 3);
    line.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, pts, 3);
    EXPECT_EQ(line.getNumSegments(), 1);
}

TEST(KXSelectionTest, NodesAndLightsByIndexWithNullBeyondTheLists)
{
    KXScene scene;
    KXSelection* sel = scene.getSelection();
    auto shape = makeShape(makeBoxMesh(0, 1).get());
    auto light = KXMake<KXDirectionalLight>();
    sel->selectNode(shape.get());
    sel->selectNode(shape.get());
    sel->selectLight(light.get());
    EXPECT_EQ(sel->getNumSelectedNodes(), 1);
    EXPECT_EQ(sel->getNumSelectedLights(), 1);
    EXPECT_TRUE(sel->check(shape.get()));
    EXPECT_TRUE(sel->check(light.get()));
    EXPECT_FALSE(sel->check(scene.getRoot()));
    EXPECT_FALSE(sel->check(nullptr));
    EXPECT_EQ(sel->getSelectedNode(1), nullptr);
    EXPECT_EQ(sel->getSelectedLight(0), light.get());
    EXPECT_EQ(sel->getSelectedLight(1), nullptr);
    // A selected node stays valid after it leaves the caller's hands.
    KXShape* raw = shape.get();
    shape = nullptr;
    EXPECT_EQ(sel->getSelectedNode(0), raw);
    sel->deselect(raw);
    EXPECT_EQ(sel->getNumSelectedNodes(), 0);
    sel->clear();
    EXPECT_EQ(sel->getNumSelectedLights(), 0);
}

TEST(KXStoryBoardTest, PivotsInterpolateKeyFrames)
{
    KXScene scene;
    auto node = makeShape(makeBoxMesh(0, 1).get());
    scene.getRoot()->addChild(node.get());
    KXStoryBoard story;
    EXPECT_EQ(story.getAnimationBag(node.get()), nullptr);
    KXAnimationBag* bag = story.createAnimationBag(node.get());
    ASSERT_NE(bag, nullptr);
    EXPECT_EQ(bag->getNodePivot(), nullptr);
    KXAnimationBag::KeyFrame k0, k1;
    k1.time = 2.0f;
    k1.translation = KXVector(4, 0, 0);
    k1.rotationAngle = 1.5707963f;
    bag->addKeyFrame(k1);
    bag->addKeyFrame(k0);
    story.setTime(1.0f);
    ASSERT_NE(story.getAnimationBag(node.get())->getNodePivot(), nullptr);
    const KXMatrix m = bag->getNodePivot()->getMatrix();
    // Halfway: translated by 2 and turned by an eighth of a turn about z.
    expectNear(m.transform(KXPosition(0, 0, 0)), 2, 0, 0);
    expectNear(m.transform(KXPosition(1, 0, 0)), 2 + std::cos(0.78539816f), std::sin(0.78539816f), 0);
    story.setTime(10.0f);
    expectNear(bag->getNodePivot()->getMatrix().transform(KXPosition(1, 0, 0)), 4, 1, 0);
    EXPECT_FLOAT_EQ(story.getDuration(), 2.0f);
    story.applyToNodes();
    expectNear(KXNodeUtils::getWorldMatrixAtNode(node.get()).transform(KXPosition(1, 0, 0)), 4, 1, 0);
}

TEST(KXSceneUtilsTest, RootShortcutsAreNullSafe)
{
    EXPECT_EQ(KXSceneUtils::getRootCamera(nullptr), nullptr);
    EXPECT_EQ(KXSceneUtils::getRootBackground(nullptr), nullptr);
    KXScene scene;
    EXPECT_EQ(KXSceneUtils::getRootCamera(&scene), nullptr);
    scene.setRoot(nullptr);
    EXPECT_EQ(KXSceneUtils::getRootCamera(&scene), nullptr);
}
