// glTF loading: node hierarchy, transforms, the y-up to z-up turn, and mesh
// and line geometry.

#include "test_gltf_asset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace gltftest;

namespace {

void expectNear(const KXPosition& p, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(p.getX(), x, tolerance);
    EXPECT_NEAR(p.getY(), y, tolerance);
    EXPECT_NEAR(p.getZ(), z, tolerance);
}

void expectNear(const KXVector& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.getX(), x, tolerance);
    EXPECT_NEAR(v.getY(), y, tolerance);
    EXPECT_NEAR(v.getZ(), z, tolerance);
}

KXGroup* groupNamed(const KXScene& scene, const std::wstring& name)
{
    std::vector<KXGroup*> groups;
    collect(scene.getRoot(), groups);
    for (KXGroup* group : groups)
        if (group->getName() == name)
            return group;
    return nullptr;
}

// The scene-space position of a node's origin.
KXPosition originOf(const KXNode* node)
{
    return KXNodeUtils::getWorldMatrixAtNode(node).transform(KXPosition(0, 0, 0));
}

// Loads a mesh of the given mode from positions and optional indices and
// returns the scene-space triangles of its single shape.
std::vector<WorldTriangle> trianglesOf(const std::vector<float>& positions, const std::vector<uint16_t>& indices,
                                       int mode, bool withNormals = true)
{
    Asset asset;
    json attributes{{"POSITION", asset.addFloats(positions, "VEC3")}};
    if (withNormals) {
        std::vector<float> normals;
        for (size_t i = 0; i < positions.size() / 3; ++i)
            normals.insert(normals.end(), {0, 0, 1});
        attributes["NORMAL"] = asset.addFloats(normals, "VEC3");
    }
    const int indexAccessor = indices.empty() ? -1 : asset.addIndices(indices);
    asset.addRootNode(json{{"mesh", asset.addMesh(attributes, indexAccessor, mode)}});
    KXScene scene;
    std::string error;
    EXPECT_EQ(0, loadGlb(asset, scene, &error)) << error;
    const auto shapes = shapesOf(scene);
    return shapes.size() == 1 ? worldTriangles(shapes[0]) : std::vector<WorldTriangle>();
}

} // namespace

TEST(GltfTransforms, GltfUpBecomesSceneUpAndGltfFrontFacesTheDefaultView)
{
    Asset asset;
    asset.addRootNode(json{{"name", "up"}, {"translation", {0, 1, 0}}});
    asset.addRootNode(json{{"name", "front"}, {"translation", {0, 0, 1}}});
    asset.addRootNode(json{{"name", "right"}, {"translation", {1, 0, 0}}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    expectNear(originOf(groupNamed(scene, L"up")), 0, 0, 1);
    expectNear(originOf(groupNamed(scene, L"front")), 0, -1, 0);
    expectNear(originOf(groupNamed(scene, L"right")), 1, 0, 0);
}

TEST(GltfTransforms, TranslationRotationScaleAndMatrixPlaceNodesAlike)
{
    // Scale 2, a quarter turn about +y, then a move by (1, 2, 3): glTF's
    // (1, 0, 0) goes to (2, 0, 0), then to (0, 0, -2), then to (1, 2, 1),
    // which is (1, -1, 2) in z-up space.
    Asset asset;
    const float h = std::sqrt(0.5f);
    asset.addRootNode(
        json{{"name", "trs"}, {"translation", {1, 2, 3}}, {"rotation", {0, h, 0, h}}, {"scale", {2, 2, 2}}});
    asset.addRootNode(json{{"name", "matrix"}, {"matrix", {0, 0, -2, 0, 0, 2, 0, 0, 2, 0, 0, 0, 1, 2, 3, 1}}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    for (const wchar_t* name : {L"trs", L"matrix"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        const KXMatrix world = KXNodeUtils::getWorldMatrixAtNode(groupNamed(scene, name));
        expectNear(world.transform(KXPosition(1, 0, 0)), 1, -1, 2);
        expectNear(world.transform(KXPosition(0, 1, 0)), 1, -3, 4);
    }
}

TEST(GltfTransforms, ChildrenComposeWithTheirParentsAndCyclesAreCut)
{
    Asset asset;
    asset.append("nodes", json{{"name", "parent"}, {"translation", {1, 0, 0}}, {"children", {1}}});
    asset.append("nodes", json{{"name", "child"}, {"translation", {0, 1, 0}}, {"children", {0}}}); // back to the parent
    asset.doc["scenes"] = json::array({json{{"nodes", {0}}}});
    KXScene scene;
    std::string error;
    ASSERT_EQ(0, loadGlb(asset, scene, &error)) << error;
    KXGroup* child = groupNamed(scene, L"child");
    ASSERT_NE(child, nullptr);
    expectNear(originOf(child), 1, 0, 1);
    EXPECT_EQ(child->getNumChildNodes(), 0);
}

TEST(GltfTransforms, AFileWithoutScenesShowsEveryTopNode)
{
    Asset asset;
    asset.append("nodes", json{{"name", "a"}, {"children", {1}}});
    asset.append("nodes", json{{"name", "b"}});
    asset.append("nodes", json{{"name", "c"}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    std::vector<KXGroup*> groups;
    collect(scene.getRoot(), groups);
    ASSERT_NE(groupNamed(scene, L"b"), nullptr);
    EXPECT_EQ(groupNamed(scene, L"b")->getParent(), groupNamed(scene, L"a"));
    EXPECT_NE(groupNamed(scene, L"c"), nullptr);
}

TEST(GltfMeshes, AttributesArriveInTheMesh)
{
    Asset asset;
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
    const int normal = asset.addFloats({0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3");
    const int uv = asset.addIntegers<uint8_t>({0, 255, 255, 255, 0, 0}, kUnsignedByte, "VEC2", true);
    const int color = asset.addFloats({1, 0, 0, 0, 1, 0, 0, 0, 1}, "VEC3");
    asset.addRootNode(json{
        {"mesh", asset.addMesh(json{{"POSITION", position}, {"NORMAL", normal}, {"TEXCOORD_0", uv}, {"COLOR_0", color}},
                               asset.addIndices({0, 1, 2}))}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    const auto shapes = shapesOf(scene);
    ASSERT_EQ(shapes.size(), 1u);
    const auto* mesh = dynamic_cast<const KXTriMesh*>(shapes[0]->getGeometry());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->getTriMeshType(), KXTriMesh::KXTRIMESHTYPE_LIST);
    EXPECT_EQ(mesh->getIndicesArray(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(mesh->getVertexArray()[1], KXPosition(1, 0, 0));
    expectNear(mesh->getNormalsArray()[2], 0, 0, 1);
    EXPECT_EQ(mesh->getTexCoordsArray()[0], KXPosition2D(0, 1));
    EXPECT_EQ(mesh->getTexCoordsArray()[2], KXPosition2D(0, 0));
    EXPECT_EQ(mesh->getColorArray()[1], KXColor(0, 1, 0, 1));
    EXPECT_EQ(mesh->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);
}

TEST(GltfMeshes, VertexColoursCarryTheBaseColourAndPlainWhiteIsDropped)
{
    // glTF multiplies vertex colours with the base colour; white ones change
    // nothing and would only hide the material.
    Asset asset;
    asset.append("materials", json{{"pbrMetallicRoughness", {{"baseColorFactor", {0.5, 1.0, 1.0, 1.0}}}}});
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
    const int white =
        asset.addIntegers<uint8_t>({255, 255, 255, 255, 255, 255, 255, 255, 255}, kUnsignedByte, "VEC3", true);
    const int tinted = asset.addFloats({0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1}, "VEC4");
    asset.addRootNode(
        json{{"name", "white"}, {"mesh", asset.addMesh(json{{"POSITION", position}, {"COLOR_0", white}})}});
    asset.addRootNode(json{{"mesh", asset.addMesh(json{{"POSITION", position}, {"COLOR_0", tinted}}, -1, -1, 0)}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    const auto shapes = shapesOf(scene);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_TRUE(static_cast<const KXTriMesh*>(shapes[0]->getGeometry())->getColorArray().empty());
    const auto& colors = static_cast<const KXTriMesh*>(shapes[1]->getGeometry())->getColorArray();
    ASSERT_EQ(colors.size(), 3u);
    EXPECT_EQ(colors[0], KXColor(0, 1, 0, 1));
    EXPECT_EQ(colors[1], KXColor(0.5f, 0, 1, 0));
}

TEST(GltfMeshes, TextAndBinaryFilesGiveTheSameMesh)
{
    Asset asset;
    asset.addRootNode(json{{"mesh", addTriangleMesh(asset)}, {"translation", {1, 2, 3}}});
    KXScene fromGlb, fromText;
    ASSERT_EQ(0, loadGlb(asset, fromGlb));
    std::string error;
    ASSERT_EQ(0, loadText(asset, fromText, &error)) << error;
    const auto a = worldTriangles(shapesOf(fromGlb).at(0));
    const auto b = worldTriangles(shapesOf(fromText).at(0));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].a, b[0].a);
    EXPECT_EQ(a[0].b, b[0].b);
    EXPECT_EQ(a[0].c, b[0].c);
}

TEST(GltfMeshes, StripsAndFansCoverTheSameFrontFacingTriangles)
{
    // A unit square in glTF's xy plane, seen from +z (glTF's front, our -y).
    const std::vector<float> square = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    const auto list = trianglesOf(square, {0, 1, 2, 2, 1, 3}, 4);
    const auto strip = trianglesOf(square, {0, 1, 2, 3}, 5);
    const auto fan = trianglesOf(square, {0, 1, 3, 2}, 6);
    for (const auto* triangles : {&list, &strip, &fan}) {
        ASSERT_EQ(triangles->size(), 2u);
        float area = 0.0f;
        for (const WorldTriangle& t : *triangles) {
            expectNear(t.normal(), 0, -1, 0);
            area += 0.5f * (t.b - t.a).cross(t.c - t.a).length();
        }
        EXPECT_NEAR(area, 1.0f, 1e-5f);
    }
    // A longer strip keeps every triangle facing the same way.
    const auto longStrip = trianglesOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0, 1, 2, 0}, {}, 5);
    ASSERT_EQ(longStrip.size(), 4u);
    for (const WorldTriangle& t : longStrip)
        expectNear(t.normal(), 0, -1, 0);
}

TEST(GltfMeshes, MissingNormalsBecomeFlatFaceNormals)
{
    // A pyramid sharing its apex: smooth normals would bend at the apex,
    // flat ones equal each face's own normal.
    Asset asset;
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, "VEC3");
    asset.addRootNode(json{
        {"mesh", asset.addMesh(json{{"POSITION", position}}, asset.addIndices({0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3}))}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    const auto* mesh = dynamic_cast<const KXTriMesh*>(shapesOf(scene).at(0)->getGeometry());
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->getNumTriangles(), 4);
    EXPECT_EQ(mesh->getNumVertices(), 12);
    for (int t = 0; t < 4; ++t) {
        uint32_t a, b, c;
        ASSERT_TRUE(mesh->getTriangle(t, a, b, c));
        const auto& v = mesh->getVertexArray();
        KXVector face = (v[b] - v[a]).cross(v[c] - v[a]);
        face.normalize();
        for (uint32_t i : {a, b, c}) {
            const KXUnitVector& n = mesh->getNormalsArray()[i];
            EXPECT_NEAR(n.dot(face), 1.0f, 1e-5f) << "triangle " << t;
        }
    }
}

TEST(GltfMeshes, MirroredNodesKeepTheirFrontFacesInFront)
{
    // The same front-facing triangle under a plain node and under a mirror
    // in x: seen in the scene both must still face glTF's +z (our -y), and
    // the plain one keeps its mesh untouched.
    for (bool withNormals : {true, false}) {
        SCOPED_TRACE(withNormals ? "with normals" : "flat normals");
        Asset asset;
        int mesh = 0;
        if (withNormals) {
            mesh = addTriangleMesh(asset);
        } else {
            mesh = asset.addMesh(json{{"POSITION", asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3")}});
        }
        asset.addRootNode(json{{"mesh", mesh}});
        asset.addRootNode(json{{"mesh", mesh}, {"scale", {-1, 1, 1}}});
        KXScene scene;
        ASSERT_EQ(0, loadGlb(asset, scene));
        const auto shapes = shapesOf(scene);
        ASSERT_EQ(shapes.size(), 2u);
        EXPECT_NE(shapes[0]->getGeometry(), shapes[1]->getGeometry());
        for (const KXShape* shape : shapes) {
            const auto triangles = worldTriangles(shape);
            ASSERT_EQ(triangles.size(), 1u);
            expectNear(triangles[0].normal(), 0, -1, 0);
        }
    }
}

TEST(GltfMeshes, NodesUsingOneMeshShareItsGeometryAndAppearance)
{
    Asset asset;
    asset.append("materials", json{{"name", "paint"}});
    const int mesh = addTriangleMesh(asset, 0);
    asset.addRootNode(json{{"mesh", mesh}});
    asset.addRootNode(json{{"mesh", mesh}, {"translation", {5, 0, 0}}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    const auto shapes = shapesOf(scene);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->getGeometry(), shapes[1]->getGeometry());
    EXPECT_EQ(shapes[0]->getAppearance(), shapes[1]->getAppearance());
}

TEST(GltfMeshes, QuantizedAndSparseAccessorsAreExpanded)
{
    Asset asset;
    // Positions as plain shorts (KHR_mesh_quantization), the second vertex
    // replaced through a sparse accessor.
    const int position = asset.addIntegers<int16_t>({0, 0, 0, 7, 7, 7, 0, 3, 0}, kShort, "VEC3");
    const int sparseIndices = asset.addView(std::vector<uint8_t>{1}.data(), 1);
    const std::vector<int16_t> sparseValue = {3, 0, 0};
    const int sparseValues = asset.addView(sparseValue.data(), 6);
    asset.doc["accessors"][position]["sparse"] =
        json{{"count", 1},
             {"indices", {{"bufferView", sparseIndices}, {"componentType", kUnsignedByte}}},
             {"values", {{"bufferView", sparseValues}}}};
    asset.doc["extensionsUsed"] = {"KHR_mesh_quantization"};
    asset.doc["extensionsRequired"] = {"KHR_mesh_quantization"};
    asset.addRootNode(json{{"mesh", asset.addMesh(json{{"POSITION", position}})}});
    KXScene scene;
    std::string error;
    ASSERT_EQ(0, loadGlb(asset, scene, &error)) << error;
    const auto* mesh = dynamic_cast<const KXTriMesh*>(shapesOf(scene).at(0)->getGeometry());
    ASSERT_NE(mesh, nullptr);
    std::set<std::tuple<float, float, float>> corners;
    for (const KXPosition& p : mesh->getVertexArray())
        corners.insert({p.getX(), p.getY(), p.getZ()});
    EXPECT_EQ(corners, (std::set<std::tuple<float, float, float>>{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}}));
}

TEST(GltfMeshes, LinesBecomePolylinesOfTheirKind)
{
    Asset asset;
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 1, 1, 0}, "VEC3");
    asset.addRootNode(json{{"name", "segments"},
                           {"mesh", asset.addMesh(json{{"POSITION", position}}, asset.addIndices({0, 1, 1, 2}), 1)}});
    asset.addRootNode(json{{"name", "loop"}, {"mesh", asset.addMesh(json{{"POSITION", position}}, -1, 2)}});
    asset.addRootNode(json{{"name", "strip"}, {"mesh", asset.addMesh(json{{"POSITION", position}}, -1, 3)}});
    asset.addRootNode(json{{"name", "points"}, {"mesh", asset.addMesh(json{{"POSITION", position}}, -1, 0)}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    auto polylineOf = [&](const wchar_t* name) -> const KXPolyline* {
        KXGroup* group = groupNamed(scene, name);
        if (!group || group->getNumChildNodes() != 1)
            return nullptr;
        return dynamic_cast<const KXPolyline*>(static_cast<KXShape*>(group->getChild(0))->getGeometry());
    };
    const KXPolyline* segments = polylineOf(L"segments");
    ASSERT_NE(segments, nullptr);
    EXPECT_EQ(segments->getPolylineType(), KXPolyline::KXPOLYLINETYPE_SEGMENTS);
    EXPECT_EQ(segments->getNumSegments(), 2);
    EXPECT_EQ(segments->getVertices()[2], KXPosition(1, 0, 0));
    ASSERT_NE(polylineOf(L"loop"), nullptr);
    EXPECT_EQ(polylineOf(L"loop")->getPolylineType(), KXPolyline::KXPOLYLINETYPE_CLOSED);
    EXPECT_EQ(polylineOf(L"loop")->getNumSegments(), 3);
    ASSERT_NE(polylineOf(L"strip"), nullptr);
    EXPECT_EQ(polylineOf(L"strip")->getPolylineType(), KXPolyline::KXPOLYLINETYPE_OPEN);
    EXPECT_EQ(polylineOf(L"strip")->getNumSegments(), 2);
    // Points have nothing to be drawn with and are left out.
    EXPECT_EQ(groupNamed(scene, L"points")->getNumChildNodes(), 0);
}
