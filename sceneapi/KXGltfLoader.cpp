#include "sceneapi/KXGltfLoader.h"

#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXCameraUtils.h"
#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXGltfData.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTextureAttributes.h"
#include "sceneapi/KXTriMesh.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <tuple>

using kxgltf::fail;

namespace {

constexpr float kPi = 3.14159265f;

// Primitive modes.
constexpr int kModePoints = 0;
constexpr int kModeLines = 1;
constexpr int kModeLineLoop = 2;
constexpr int kModeLineStrip = 3;
constexpr int kModeTriangles = 4;
constexpr int kModeTriangleStrip = 5;
constexpr int kModeTriangleFan = 6;

// Sampler filters.
constexpr int kFilterNearest = 9728;
constexpr int kFilterNearestMipmapNearest = 9984;
constexpr int kFilterNearestMipmapLinear = 9986;

// Shapes one file may make. A mesh used by many nodes is shared, but each use
// is a shape of its own, so a small file could otherwise ask for millions.
constexpr size_t kMaxShapes = size_t(1) << 19;
// Triangles of one primitive that get vertices of their own for flat
// normals: each index of the file then costs a whole vertex.
constexpr size_t kMaxFlatTriangles = size_t(1) << 22;
// Node nesting: the scene graph walks its tree recursively.
constexpr int kMaxNodeDepth = 256;
// Texels averaged when a texture is reduced to its mean colour.
constexpr unsigned kMeanSamples = 256;

// glTF's y-up space to our z-up space: +90 degrees about x, so that glTF's
// +y becomes +z and its +z (the front of a model) becomes -y. Written out
// rather than computed, so that it is exact.
const KXMatrix kYUpToZUp(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);

std::wstring toWide(const std::string& utf8)
{
    std::wstring wide;
    if (!KXFileUtils::fromNativePath(utf8.c_str(), wide))
        wide.clear();
    return wide;
}

// A number of the file as a float; fails when it is not finite or does not
// fit a float.
float finiteFloat(double value, const std::string& what)
{
    if (!std::isfinite(value) || std::fabs(value) > FLT_MAX)
        fail(what + " is not a usable number");
    return static_cast<float>(value);
}

// A factor clamped to [lo, hi]; NaN gives the fallback.
float clampedFloat(double value, float lo, float hi, float fallback)
{
    if (std::isnan(value))
        return fallback;
    return static_cast<float>(std::min<double>(std::max<double>(value, lo), hi));
}

// An index of the file checked against the array it refers to.
size_t checkedIndex(int index, size_t size, const std::string& from, const std::string& to)
{
    if (index < 0 || static_cast<size_t>(index) >= size)
        fail(from + " refers to " + to + " " + std::to_string(index) + ", which does not exist");
    return static_cast<size_t>(index);
}

// An integer member of an extension object, -1 when absent.
int extensionInt(const tinygltf::ExtensionMap& extensions, const char* extension, const char* member)
{
    const auto it = extensions.find(extension);
    if (it == extensions.end() || !it->second.IsObject() || !it->second.Has(member))
        return -1;
    const tinygltf::Value& value = it->second.Get(member);
    if (!value.IsNumber())
        return -1;
    const double number = value.GetNumberAsDouble();
    // Out-of-range numbers count as a reference to nothing, which fails the
    // index check of the caller.
    return number >= 0.0 && number <= INT_MAX ? static_cast<int>(number) : INT_MAX;
}

const tinygltf::Value* extensionMember(const tinygltf::ExtensionMap& extensions, const char* extension,
                                       const char* member)
{
    const auto it = extensions.find(extension);
    if (it == extensions.end() || !it->second.IsObject() || !it->second.Has(member))
        return nullptr;
    return &it->second.Get(member);
}

float numberOr(const tinygltf::Value* value, float fallback)
{
    if (!value || !value->IsNumber())
        return fallback;
    const double number = value->GetNumberAsDouble();
    return std::isfinite(number) && std::fabs(number) <= FLT_MAX ? static_cast<float>(number) : fallback;
}

// A node's own transform, from its matrix or its translation, rotation and
// scale. glTF stores matrices column by column for column vectors, which is
// element for element our row-major layout for row vectors.
KXMatrix localMatrix(const tinygltf::Node& node, const std::string& name)
{
    if (!node.matrix.empty()) {
        if (node.matrix.size() != 16)
            fail(name + " has a matrix of " + std::to_string(node.matrix.size()) + " numbers instead of 16");
        float m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = finiteFloat(node.matrix[static_cast<size_t>(i)], name + "'s matrix");
        return KXMatrix(m);
    }
    KXMatrix scale, rotation, translation;
    if (!node.scale.empty()) {
        if (node.scale.size() != 3)
            fail(name + " has a scale of " + std::to_string(node.scale.size()) + " numbers instead of 3");
        scale = KXMatrix::scaling(finiteFloat(node.scale[0], name + "'s scale"),
                                  finiteFloat(node.scale[1], name + "'s scale"),
                                  finiteFloat(node.scale[2], name + "'s scale"));
    }
    if (!node.rotation.empty()) {
        if (node.rotation.size() != 4)
            fail(name + " has a rotation of " + std::to_string(node.rotation.size()) + " numbers instead of 4");
        double q[4];
        for (int i = 0; i < 4; ++i)
            q[i] = finiteFloat(node.rotation[static_cast<size_t>(i)], name + "'s rotation");
        const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        if (length > 0.0) {
            const double x = q[0] / length, y = q[1] / length, z = q[2] / length, w = q[3] / length;
            // The transpose of the usual column-vector rotation matrix of the
            // unit quaternion (x, y, z, w).
            rotation = KXMatrix(static_cast<float>(1 - 2 * (y * y + z * z)), static_cast<float>(2 * (x * y + z * w)),
                                static_cast<float>(2 * (x * z - y * w)), 0.0f, static_cast<float>(2 * (x * y - z * w)),
                                static_cast<float>(1 - 2 * (x * x + z * z)), static_cast<float>(2 * (y * z + x * w)),
                                0.0f, static_cast<float>(2 * (x * z + y * w)), static_cast<float>(2 * (y * z - x * w)),
                                static_cast<float>(1 - 2 * (x * x + y * y)), 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
        }
    }
    if (!node.translation.empty()) {
        if (node.translation.size() != 3)
            fail(name + " has a translation of " + std::to_string(node.translation.size()) + " numbers instead of 3");
        translation = KXMatrix::translation(finiteFloat(node.translation[0], name + "'s translation"),
                                            finiteFloat(node.translation[1], name + "'s translation"),
                                            finiteFloat(node.translation[2], name + "'s translation"));
    }
    return scale * rotation * translation;
}

// Determinant of the upper 3x3: negative for a mirroring transform.
float linearDeterminant(const KXMatrix& m)
{
    return m.get(0, 0) * (m.get(1, 1) * m.get(2, 2) - m.get(1, 2) * m.get(2, 1)) -
           m.get(0, 1) * (m.get(1, 0) * m.get(2, 2) - m.get(1, 2) * m.get(2, 0)) +
           m.get(0, 2) * (m.get(1, 0) * m.get(2, 1) - m.get(1, 1) * m.get(2, 0));
}

// Vertex indices of triangle t of a list, strip or fan, in drawing order:
// odd strip triangles swap their last two vertices so that every triangle
// keeps the strip's winding, and fan triangles keep the fan's.
void triangleAt(int mode, const std::vector<uint32_t>& indices, size_t t, uint32_t& a, uint32_t& b, uint32_t& c)
{
    if (mode == kModeTriangleStrip) {
        a = indices[t];
        b = indices[t + 1 + (t & 1)];
        c = indices[t + 2 - (t & 1)];
    } else if (mode == kModeTriangleFan) {
        a = indices[0];
        b = indices[t + 1];
        c = indices[t + 2];
    } else {
        a = indices[3 * t];
        b = indices[3 * t + 1];
        c = indices[3 * t + 2];
    }
}

size_t triangleCount(int mode, size_t indexCount)
{
    if (mode == kModeTriangles)
        return indexCount / 3;
    return indexCount >= 3 ? indexCount - 2 : 0;
}

KXColor colorAt(const kxgltf::FloatData& colors, size_t i)
{
    const float* c = &colors.values[i * static_cast<size_t>(colors.components)];
    return KXColor(c[0], c[1], c[2], colors.components == 4 ? c[3] : 1.0f);
}

// Builds the KXScene tree of one parsed glTF model.
class SceneBuilder
{
public:
    SceneBuilder(const tinygltf::Model& model, KXScene& scene, const KXGltfLoadOptions& options)
        : m_model(model), m_scene(scene), m_options(options)
    {}

    KXRef<KXRoot> build(const std::wstring& fallbackName);

private:
    void addNode(int index, KXGroup* parent, const KXMatrix& parentWorld, int depth);
    void addMesh(int meshIndex, KXGroup* group, bool mirrored);
    KXGeometry* geometryFor(int meshIndex, int primitiveIndex, bool mirrored);
    KXRef<KXGeometry> makeTriMesh(const tinygltf::Primitive& primitive, int mode, const std::string& name,
                                  bool mirrored);
    KXRef<KXGeometry> makePolyline(const tinygltf::Primitive& primitive, int mode, const std::string& name);
    std::optional<kxgltf::FloatData> readColors(const tinygltf::Primitive& primitive, size_t vertexCount,
                                                const std::string& name);
    std::vector<uint32_t> readPrimitiveIndices(const tinygltf::Primitive& primitive, size_t vertexCount,
                                               const std::string& name);
    std::optional<kxgltf::FloatData> readAttribute(const tinygltf::Primitive& primitive, const std::string& semantic,
                                                   int minComponents, int maxComponents, size_t vertexCount,
                                                   const std::string& name);

    const tinygltf::Material& material(int index) const;
    int baseTexCoordSet(int materialIndex) const;
    KXAppearance* appearanceFor(int materialIndex);
    KXImage2D* imageForTexture(int textureIndex, const std::string& from);
    std::optional<KXColor> meanColor(int textureIndex, const std::string& from);
    void setTextureTransform(KXAppearance& appearance, const tinygltf::TextureInfo& info);

    void addCamera(int cameraIndex, KXGroup* group, const KXMatrix& world, const std::string& from);
    void addLight(int lightIndex, const KXMatrix& world, const std::string& from);
    KXRef<KXCamera> makeFittedCamera(const KXBounds& bounds);
    KXRef<KXLightModel> makeDefaultLights();

    const tinygltf::Model& m_model;
    KXScene& m_scene;
    const KXGltfLoadOptions& m_options;

    std::vector<char> m_visited;
    size_t m_shapeCount = 0;
    std::map<std::tuple<int, int, bool>, KXRef<KXGeometry>> m_geometries;
    std::map<int, KXRef<KXAppearance>> m_appearances;
    std::map<int, KXRef<KXImage2D>> m_images;
    std::map<int, std::optional<KXColor>> m_meanColors;
    KXRef<KXCamera> m_rootCamera;
    std::vector<KXRef<KXCamera>> m_camerasWithoutFarPlane;
    KXRef<KXLightModel> m_lights;
};

KXRef<KXRoot> SceneBuilder::build(const std::wstring& fallbackName)
{
    auto root = KXMake<KXRoot>(&m_scene);
    auto zUp = KXMake<KXGroup>(&m_scene);
    zUp->getTransform()->setTransformationMatrix(kYUpToZUp);
    root->addChild(zUp.get());

    // The default scene, else the first, else every node that is nobody's child.
    std::vector<int> roots;
    if (!m_model.scenes.empty()) {
        const int sceneIndex = m_model.defaultScene >= 0 ? m_model.defaultScene : 0;
        const tinygltf::Scene& scene =
            m_model.scenes[checkedIndex(sceneIndex, m_model.scenes.size(), "the file", "scene")];
        roots = scene.nodes;
        const std::wstring name = toWide(scene.name);
        root->setName(name.empty() ? fallbackName : name);
    } else {
        std::vector<char> isChild(m_model.nodes.size(), 0);
        for (const tinygltf::Node& node : m_model.nodes)
            for (int child : node.children)
                if (child >= 0 && static_cast<size_t>(child) < isChild.size())
                    isChild[static_cast<size_t>(child)] = 1;
        for (size_t i = 0; i < isChild.size(); ++i)
            if (!isChild[i])
                roots.push_back(static_cast<int>(i));
        root->setName(fallbackName);
    }
    zUp->setName(root->getName());

    m_visited.assign(m_model.nodes.size(), 0);
    for (int node : roots)
        addNode(node, zUp.get(), kYUpToZUp, 0);

    const KXBounds bounds = root->getBounds();
    for (const KXRef<KXCamera>& camera : m_camerasWithoutFarPlane) {
        KXCameraUtils::updateFarPlane(camera.get(), bounds);
        if (!(camera->getFarPlane() > camera->getNearPlane()))
            camera->setFarPlane(camera->getNearPlane() * 1000.0f);
    }
    root->setCamera(m_rootCamera ? m_rootCamera.get() : makeFittedCamera(bounds).get());

    if (m_lights && m_lights->getNumLights() > 0) {
        auto ambient = KXMake<KXAmbientLight>(&m_scene);
        ambient->setColor(KXColor(0.15f, 0.15f, 0.15f, 1.0f));
        m_lights->setAmbientLight(ambient.get());
        root->setLightModel(m_lights.get());
    } else {
        root->setLightModel(makeDefaultLights().get());
    }
    return root;
}

void SceneBuilder::addNode(int index, KXGroup* parent, const KXMatrix& parentWorld, int depth)
{
    const size_t i = checkedIndex(index, m_model.nodes.size(), "a scene or node", "node");
    // glTF nodes form a tree; a node met again (a cycle or a shared child) is
    // left where it was first placed.
    if (m_visited[i])
        return;
    m_visited[i] = 1;
    if (depth >= kMaxNodeDepth)
        fail("the nodes nest deeper than " + std::to_string(kMaxNodeDepth) + " levels");

    const tinygltf::Node& node = m_model.nodes[i];
    const std::string name = "node " + std::to_string(index);
    const KXMatrix local = localMatrix(node, name);
    const KXMatrix world = local * parentWorld;

    auto group = KXMake<KXGroup>(&m_scene);
    group->setName(toWide(node.name));
    group->getTransform()->setTransformationMatrix(local);
    parent->addChild(group.get());

    if (node.mesh >= 0 || node.mesh < -1)
        addMesh(static_cast<int>(checkedIndex(node.mesh, m_model.meshes.size(), name, "mesh")), group.get(),
                linearDeterminant(world) < 0.0f);
    if (node.camera >= 0 || node.camera < -1)
        addCamera(node.camera, group.get(), world, name);
    const int light = extensionInt(node.extensions, "KHR_lights_punctual", "light");
    if (light >= 0)
        addLight(light, world, name);
    for (int child : node.children)
        addNode(child, group.get(), world, depth + 1);
}

void SceneBuilder::addMesh(int meshIndex, KXGroup* group, bool mirrored)
{
    const tinygltf::Mesh& mesh = m_model.meshes[static_cast<size_t>(meshIndex)];
    for (size_t p = 0; p < mesh.primitives.size(); ++p) {
        KXGeometry* geometry = geometryFor(meshIndex, static_cast<int>(p), mirrored);
        if (!geometry)
            continue;
        if (++m_shapeCount > kMaxShapes)
            fail("the scene would have more than " + std::to_string(kMaxShapes) + " shapes");
        auto shape = KXMake<KXShape>(&m_scene);
        shape->setName(toWide(mesh.name));
        shape->setGeometry(geometry);
        shape->setAppearance(appearanceFor(mesh.primitives[p].material));
        group->addChild(shape.get());
    }
}

KXGeometry* SceneBuilder::geometryFor(int meshIndex, int primitiveIndex, bool mirrored)
{
    const auto key = std::make_tuple(meshIndex, primitiveIndex, mirrored);
    const auto found = m_geometries.find(key);
    if (found != m_geometries.end())
        return found->second.get();

    const tinygltf::Primitive& primitive =
        m_model.meshes[static_cast<size_t>(meshIndex)].primitives[static_cast<size_t>(primitiveIndex)];
    const std::string name = "primitive " + std::to_string(primitiveIndex) + " of mesh " + std::to_string(meshIndex);
    const int mode = primitive.mode < 0 ? kModeTriangles : primitive.mode;
    KXRef<KXGeometry> geometry;
    switch (mode) {
    case kModePoints:
        break; // there is no point geometry to draw them with
    case kModeLines:
    case kModeLineLoop:
    case kModeLineStrip:
        geometry = makePolyline(primitive, mode, name);
        break;
    case kModeTriangles:
    case kModeTriangleStrip:
    case kModeTriangleFan:
        geometry = makeTriMesh(primitive, mode, name, mirrored);
        break;
    default:
        fail(name + " has an unknown mode " + std::to_string(mode));
    }
    m_geometries[key] = geometry;
    return geometry.get();
}

std::optional<kxgltf::FloatData> SceneBuilder::readAttribute(const tinygltf::Primitive& primitive,
                                                             const std::string& semantic, int minComponents,
                                                             int maxComponents, size_t vertexCount,
                                                             const std::string& name)
{
    const auto it = primitive.attributes.find(semantic);
    if (it == primitive.attributes.end())
        return std::nullopt;
    kxgltf::FloatData data = kxgltf::readFloats(m_model, it->second, minComponents, maxComponents);
    if (data.count != vertexCount)
        fail(name + " has " + std::to_string(data.count) + " " + semantic + " values for " +
             std::to_string(vertexCount) + " positions");
    return data;
}

// Vertex colours as the colours of the surface. glTF multiplies them with the
// base colour, while our meshes show vertex colours instead of their
// material, so the base colour factor is folded in here; colours that are
// white everywhere change nothing in glTF and are left out.
std::optional<kxgltf::FloatData> SceneBuilder::readColors(const tinygltf::Primitive& primitive, size_t vertexCount,
                                                          const std::string& name)
{
    std::optional<kxgltf::FloatData> colors = readAttribute(primitive, "COLOR_0", 3, 4, vertexCount, name);
    if (!colors)
        return colors;
    if (std::all_of(colors->values.begin(), colors->values.end(), [](float v) { return v >= 0.999f; }))
        return std::nullopt;
    const std::vector<double>& factor = material(primitive.material).pbrMetallicRoughness.baseColorFactor;
    const size_t components = static_cast<size_t>(colors->components);
    for (size_t c = 0; c < components && c < factor.size(); ++c) {
        const float f = clampedFloat(factor[c], 0.0f, 1.0f, 1.0f);
        for (size_t i = c; i < colors->values.size(); i += components)
            colors->values[i] *= f;
    }
    return colors;
}

std::vector<uint32_t> SceneBuilder::readPrimitiveIndices(const tinygltf::Primitive& primitive, size_t vertexCount,
                                                         const std::string& name)
{
    std::vector<uint32_t> indices;
    if (primitive.indices >= 0 || primitive.indices < -1) {
        indices = kxgltf::readIndices(m_model, primitive.indices);
        for (uint32_t index : indices)
            if (index >= vertexCount)
                fail(name + " uses vertex " + std::to_string(index) + " but has only " + std::to_string(vertexCount) +
                     " vertices");
    } else {
        indices.resize(vertexCount);
        for (size_t i = 0; i < vertexCount; ++i)
            indices[i] = static_cast<uint32_t>(i);
    }
    return indices;
}

KXRef<KXGeometry> SceneBuilder::makeTriMesh(const tinygltf::Primitive& primitive, int mode, const std::string& name,
                                            bool mirrored)
{
    const auto it = primitive.attributes.find("POSITION");
    if (it == primitive.attributes.end())
        return nullptr; // nothing to place the triangles with
    const kxgltf::FloatData position = kxgltf::readFloats(m_model, it->second, 3, 3);
    const size_t n = position.count;
    const auto normal = readAttribute(primitive, "NORMAL", 3, 3, n, name);
    const auto color = readColors(primitive, n, name);
    const auto uv =
        readAttribute(primitive, "TEXCOORD_" + std::to_string(baseTexCoordSet(primitive.material)), 2, 2, n, name);
    const std::vector<uint32_t> indices = readPrimitiveIndices(primitive, n, name);

    auto vertexAt = [&](uint32_t i) {
        return KXPosition(position.values[3 * size_t(i)], position.values[3 * size_t(i) + 1],
                          position.values[3 * size_t(i) + 2]);
    };
    auto mesh = KXMake<KXTriMesh>(&m_scene);
    mesh->setName(toWide(name));
    if (primitive.material >= 0 && material(primitive.material).doubleSided)
        mesh->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);

    std::vector<KXPosition> vertices;
    std::vector<KXUnitVector> normals;
    std::vector<KXColor> colors;
    std::vector<KXPosition2D> texCoords;
    std::vector<uint32_t> meshIndices;
    KXTriMesh::KXTRIMESHTYPE type = KXTriMesh::KXTRIMESHTYPE_LIST;
    const size_t triangles = triangleCount(mode, indices.size());

    if (normal && !mirrored) {
        // The primitive as it is.
        vertices.reserve(n);
        normals.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            vertices.push_back(vertexAt(i));
            normals.emplace_back(normal->values[3 * size_t(i)], normal->values[3 * size_t(i) + 1],
                                 normal->values[3 * size_t(i) + 2]);
        }
        meshIndices = indices;
        type = mode == kModeTriangleStrip ? KXTriMesh::KXTRIMESHTYPE_STRIP
               : mode == kModeTriangleFan ? KXTriMesh::KXTRIMESHTYPE_FAN
                                          : KXTriMesh::KXTRIMESHTYPE_LIST;
        if (color)
            for (size_t i = 0; i < n; ++i)
                colors.push_back(colorAt(*color, i));
        if (uv)
            for (size_t i = 0; i < n; ++i)
                texCoords.emplace_back(uv->values[2 * i], uv->values[2 * i + 1]);
    } else if (normal) {
        // Mirrored: the same vertices, the triangles listed the other way round.
        for (uint32_t i = 0; i < n; ++i) {
            vertices.push_back(vertexAt(i));
            normals.emplace_back(normal->values[3 * size_t(i)], normal->values[3 * size_t(i) + 1],
                                 normal->values[3 * size_t(i) + 2]);
        }
        if (color)
            for (size_t i = 0; i < n; ++i)
                colors.push_back(colorAt(*color, i));
        if (uv)
            for (size_t i = 0; i < n; ++i)
                texCoords.emplace_back(uv->values[2 * i], uv->values[2 * i + 1]);
        meshIndices.reserve(3 * triangles);
        for (size_t t = 0; t < triangles; ++t) {
            uint32_t a, b, c;
            triangleAt(mode, indices, t, a, b, c);
            meshIndices.insert(meshIndices.end(), {a, c, b});
        }
    } else {
        // Flat normals need vertices of their own for every triangle.
        if (triangles > kMaxFlatTriangles)
            fail(name + " has too many triangles to be given normals");
        vertices.reserve(3 * triangles);
        normals.reserve(3 * triangles);
        meshIndices.reserve(3 * triangles);
        for (size_t t = 0; t < triangles; ++t) {
            uint32_t corner[3];
            triangleAt(mode, indices, t, corner[0], corner[1], corner[2]);
            const KXPosition a = vertexAt(corner[0]), b = vertexAt(corner[1]), c = vertexAt(corner[2]);
            KXVector face = (b - a).cross(c - a);
            if (!(face.length() > 0.0f))
                face = KXVector(0.0f, 0.0f, 1.0f); // a degenerate triangle is never hit
            if (mirrored)
                std::swap(corner[1], corner[2]);
            for (uint32_t k : corner) {
                meshIndices.push_back(static_cast<uint32_t>(vertices.size()));
                vertices.push_back(vertexAt(k));
                normals.emplace_back(face);
                if (color)
                    colors.push_back(colorAt(*color, k));
                if (uv)
                    texCoords.emplace_back(uv->values[2 * size_t(k)], uv->values[2 * size_t(k) + 1]);
            }
        }
    }
    mesh->set(type, std::move(vertices), std::move(meshIndices), std::move(normals), std::move(colors),
              std::move(texCoords));
    return KXRef<KXGeometry>(mesh.get());
}

KXRef<KXGeometry> SceneBuilder::makePolyline(const tinygltf::Primitive& primitive, int mode, const std::string& name)
{
    const auto it = primitive.attributes.find("POSITION");
    if (it == primitive.attributes.end())
        return nullptr;
    const kxgltf::FloatData position = kxgltf::readFloats(m_model, it->second, 3, 3);
    const auto color = readColors(primitive, position.count, name);
    const std::vector<uint32_t> indices = readPrimitiveIndices(primitive, position.count, name);

    std::vector<KXPosition> points;
    std::vector<KXColor> colors;
    points.reserve(indices.size());
    for (uint32_t i : indices) {
        points.emplace_back(position.values[3 * size_t(i)], position.values[3 * size_t(i) + 1],
                            position.values[3 * size_t(i) + 2]);
        if (color)
            colors.push_back(colorAt(*color, i));
    }
    const KXPolyline::KXPOLYLINETYPE type = mode == kModeLineLoop    ? KXPolyline::KXPOLYLINETYPE_CLOSED
                                            : mode == kModeLineStrip ? KXPolyline::KXPOLYLINETYPE_OPEN
                                                                     : KXPolyline::KXPOLYLINETYPE_SEGMENTS;
    auto polyline = KXMake<KXPolyline>(&m_scene);
    polyline->setName(toWide(name));
    polyline->set(type, std::move(points), std::move(colors));
    return KXRef<KXGeometry>(polyline.get());
}

const tinygltf::Material& SceneBuilder::material(int index) const
{
    static const tinygltf::Material defaultMaterial;
    if (index == -1)
        return defaultMaterial;
    return m_model.materials[checkedIndex(index, m_model.materials.size(), "a primitive", "material")];
}

int SceneBuilder::baseTexCoordSet(int materialIndex) const
{
    const tinygltf::TextureInfo& info = material(materialIndex).pbrMetallicRoughness.baseColorTexture;
    if (info.index < 0)
        return 0;
    const int overridden = extensionInt(info.extensions, "KHR_texture_transform", "texCoord");
    const int set = overridden >= 0 ? overridden : info.texCoord;
    return set >= 0 && set < 1000 ? set : 0;
}

KXAppearance* SceneBuilder::appearanceFor(int materialIndex)
{
    const auto found = m_appearances.find(materialIndex);
    if (found != m_appearances.end())
        return found->second.get();

    const tinygltf::Material& source = material(materialIndex);
    const std::string name =
        materialIndex < 0 ? std::string("the default material") : "material " + std::to_string(materialIndex);
    const tinygltf::PbrMetallicRoughness& pbr = source.pbrMetallicRoughness;
    float base[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    for (size_t i = 0; i < 4 && i < pbr.baseColorFactor.size(); ++i)
        base[i] = clampedFloat(pbr.baseColorFactor[i], 0.0f, 1.0f, 1.0f);
    float metallic = clampedFloat(pbr.metallicFactor, 0.0f, 1.0f, 1.0f);
    float roughness = clampedFloat(pbr.roughnessFactor, 0.0f, 1.0f, 1.0f);
    // The metallic-roughness texture scales the factors: metal in blue,
    // roughness in green.
    if (pbr.metallicRoughnessTexture.index >= 0 || pbr.metallicRoughnessTexture.index < -1) {
        if (const auto mean = meanColor(pbr.metallicRoughnessTexture.index, name)) {
            metallic *= std::clamp(mean->getB(), 0.0f, 1.0f);
            roughness *= std::clamp(mean->getG(), 0.0f, 1.0f);
        }
    }

    // The fixed-function reading of metallic-roughness: metals darken their
    // diffuse colour and tint their highlights with the base colour; smooth
    // surfaces get bright, tight highlights, rough ones dim and broad ones.
    // Dielectrics get a brighter specular colour than their physical 4 %
    // reflectance, because the highlight is not normalised for its width.
    const float gloss = 1.0f - roughness;
    const float gloss2 = gloss * gloss;
    float d[3], s[3];
    for (int c = 0; c < 3; ++c) {
        d[c] = base[c] * (1.0f - 0.5f * metallic);
        s[c] = (0.25f + (base[c] - 0.25f) * metallic) * gloss2;
    }
    const KXColor diffuse(d[0], d[1], d[2], source.alphaMode == "BLEND" ? base[3] : 1.0f);
    const KXColor specular(s[0], s[1], s[2], 1.0f);

    float emissiveStrength = 1.0f;
    if (const tinygltf::Value* strength =
            extensionMember(source.extensions, "KHR_materials_emissive_strength", "emissiveStrength"))
        emissiveStrength = std::max(0.0f, numberOr(strength, 1.0f));
    float e[3] = {0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < 3 && i < source.emissiveFactor.size(); ++i)
        e[i] = clampedFloat(source.emissiveFactor[i], 0.0f, 1.0f, 0.0f) * emissiveStrength;
    KXColor emissive(e[0], e[1], e[2], 1.0f);
    if (source.emissiveTexture.index >= 0 || source.emissiveTexture.index < -1) {
        const auto mean = meanColor(source.emissiveTexture.index, name);
        emissive = mean ? KXColor(emissive.getR() * mean->getR(), emissive.getG() * mean->getG(),
                                  emissive.getB() * mean->getB(), 1.0f)
                        : KXColor(0.0f, 0.0f, 0.0f, 1.0f);
    }

    auto appearance = KXMake<KXAppearance>(&m_scene);
    appearance->setName(toWide(source.name));
    KXMaterial* result = appearance->createMaterial();
    // Shininess stays below 65: the ray tracer mirrors the less the closer
    // shininess comes to 128, and polished surfaces should still mirror.
    result->set(KXColor(diffuse.getR(), diffuse.getG(), diffuse.getB(), 1.0f), diffuse, specular, emissive,
                1.0f + 63.0f * gloss2);

    const tinygltf::TextureInfo& baseTexture = pbr.baseColorTexture;
    if (baseTexture.index >= 0 || baseTexture.index < -1) {
        if (KXImage2D* image = imageForTexture(baseTexture.index, name)) {
            auto* texture = static_cast<KXTexture2D*>(appearance->createTexture(KXTexture::KXTEXTURE_2D, 0));
            texture->setImage2D(image);
            const int samplerIndex = m_model.textures[static_cast<size_t>(baseTexture.index)].sampler;
            if (samplerIndex != -1) {
                const tinygltf::Sampler& sampler = m_model.samplers[checkedIndex(
                    samplerIndex, m_model.samplers.size(), "texture " + std::to_string(baseTexture.index), "sampler")];
                if (sampler.magFilter == kFilterNearest)
                    texture->setMagFilter(KXTexture::KXTEXTUREFILTER_POINT);
                if (sampler.minFilter == kFilterNearest || sampler.minFilter == kFilterNearestMipmapNearest ||
                    sampler.minFilter == kFilterNearestMipmapLinear)
                    texture->setMinFilter(KXTexture::KXTEXTUREFILTER_POINT);
            }
            setTextureTransform(*appearance, baseTexture);
        }
    }
    m_appearances[materialIndex] = appearance;
    return appearance.get();
}

// KHR_texture_transform: uv' = T·R·S·uv for column vectors, written as the
// row-vector matrix of the texture stage.
void SceneBuilder::setTextureTransform(KXAppearance& appearance, const tinygltf::TextureInfo& info)
{
    const auto it = info.extensions.find("KHR_texture_transform");
    if (it == info.extensions.end() || !it->second.IsObject())
        return;
    const tinygltf::Value& transform = it->second;
    float offset[2] = {0.0f, 0.0f}, scale[2] = {1.0f, 1.0f};
    for (int k = 0; k < 2; ++k) {
        if (transform.Has("offset") && transform.Get("offset").IsArray() && transform.Get("offset").ArrayLen() == 2)
            offset[k] = numberOr(&transform.Get("offset").Get(k), 0.0f);
        if (transform.Has("scale") && transform.Get("scale").IsArray() && transform.Get("scale").ArrayLen() == 2)
            scale[k] = numberOr(&transform.Get("scale").Get(k), 1.0f);
    }
    const float rotation = transform.Has("rotation") ? numberOr(&transform.Get("rotation"), 0.0f) : 0.0f;
    const float c = std::cos(rotation), s = std::sin(rotation);
    const float nine[9] = {scale[0] * c, scale[0] * s, 0.0f,      -scale[1] * s, scale[1] * c,
                           0.0f,         offset[0],    offset[1], 1.0f};
    KXMatrix2D matrix(nine);
    if (!matrix.isIdentity())
        appearance.createTextureAttributes(0)->setTextureMatrix(matrix);
}

KXImage2D* SceneBuilder::imageForTexture(int textureIndex, const std::string& from)
{
    const tinygltf::Texture& texture =
        m_model.textures[checkedIndex(textureIndex, m_model.textures.size(), from, "texture")];
    if (texture.source == -1)
        return nullptr; // an image only an extension we do not read provides
    const size_t imageIndex =
        checkedIndex(texture.source, m_model.images.size(), "texture " + std::to_string(textureIndex), "image");
    const auto found = m_images.find(static_cast<int>(imageIndex));
    if (found != m_images.end())
        return found->second.get();

    const tinygltf::Image& image = m_model.images[imageIndex];
    std::vector<unsigned char> bytes = image.bufferView >= 0 || image.bufferView < -1
                                           ? kxgltf::readBufferView(m_model, image.bufferView)
                                           : image.image;
    KXImage2D::KXIMAGE2DFILETYPE type = KXImageUtils::getFileTypeFromData(bytes.data(), bytes.size());
    if (type == KXImage2D::KXIMAGE2D_UNKNOWN)
        type = image.mimeType == "image/png"    ? KXImage2D::KXIMAGE2D_PNG
               : image.mimeType == "image/jpeg" ? KXImage2D::KXIMAGE2D_JPG
                                                : KXImage2D::KXIMAGE2D_UNKNOWN;
    KXRef<KXImage2D> result;
    // An image that is missing, empty or of a kind we cannot decode leaves
    // the material untextured rather than failing the whole file.
    if (!bytes.empty() && type != KXImage2D::KXIMAGE2D_UNKNOWN) {
        result = KXMake<KXImage2D>(&m_scene);
        result->setName(toWide(image.name.empty() ? image.uri : image.name));
        result->setData(std::move(bytes), type);
    }
    m_images[static_cast<int>(imageIndex)] = result;
    return result.get();
}

std::optional<KXColor> SceneBuilder::meanColor(int textureIndex, const std::string& from)
{
    const auto found = m_meanColors.find(textureIndex);
    if (found != m_meanColors.end())
        return found->second;
    std::optional<KXColor> mean;
    if (KXImage2D* image = imageForTexture(textureIndex, from)) {
        KXRawImage2D raw(1, 1, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        if (KXImageUtils::decode(image, &raw) == 0 && raw.getWidth() > 0 && raw.getHeight() > 0) {
            // A grid of samples is enough for a mean and bounds the cost.
            const unsigned nx = std::min(raw.getWidth(), kMeanSamples), ny = std::min(raw.getHeight(), kMeanSamples);
            double sum[4] = {0.0, 0.0, 0.0, 0.0};
            for (unsigned j = 0; j < ny; ++j)
                for (unsigned i = 0; i < nx; ++i) {
                    const KXColor c = raw.getColor(static_cast<unsigned>(uint64_t(i) * raw.getWidth() / nx),
                                                   static_cast<unsigned>(uint64_t(j) * raw.getHeight() / ny));
                    sum[0] += c.getR();
                    sum[1] += c.getG();
                    sum[2] += c.getB();
                    sum[3] += c.getA();
                }
            const double n = double(nx) * ny;
            mean = KXColor(float(sum[0] / n), float(sum[1] / n), float(sum[2] / n), float(sum[3] / n));
        }
    }
    m_meanColors[textureIndex] = mean;
    return mean;
}

void SceneBuilder::addCamera(int cameraIndex, KXGroup* group, const KXMatrix& world, const std::string& from)
{
    const tinygltf::Camera& source = m_model.cameras[checkedIndex(cameraIndex, m_model.cameras.size(), from, "camera")];
    const std::string name = "camera " + std::to_string(cameraIndex);
    KXRef<KXCamera> camera;
    bool farPlaneKnown = false;
    if (source.type == "orthographic") {
        const tinygltf::OrthographicCamera& ortho = source.orthographic;
        camera = KXMake<KXOrthoCamera>(&m_scene);
        camera->setViewport(KXDimension2D(float(m_options.viewportWidth), float(m_options.viewportHeight)));
        // ymag is half the height of the view.
        const float ymag = std::fabs(finiteFloat(ortho.ymag, name + "'s ymag"));
        if (ymag > 0.0f)
            camera->setViewportScale(2.0f * ymag);
        camera->setNearPlane(finiteFloat(ortho.znear, name + "'s znear"));
        camera->setFarPlane(finiteFloat(ortho.zfar, name + "'s zfar"));
        farPlaneKnown = ortho.zfar > ortho.znear;
    } else if (source.type == "perspective") {
        const tinygltf::PerspectiveCamera& perspective = source.perspective;
        auto camera3d = KXMake<KXPerspectiveCamera>(&m_scene);
        camera3d->setViewport(KXDimension2D(float(m_options.viewportWidth), float(m_options.viewportHeight)));
        camera3d->setFOV(finiteFloat(perspective.yfov, name + "'s yfov"));
        const float zNear = finiteFloat(perspective.znear, name + "'s znear");
        if (zNear > 0.0f)
            camera3d->setNearPlane(zNear);
        // A missing far plane is an infinite one: it is put behind the scene.
        farPlaneKnown = perspective.zfar > perspective.znear;
        if (farPlaneKnown)
            camera3d->setFarPlane(finiteFloat(perspective.zfar, name + "'s zfar"));
        camera = camera3d;
    } else {
        return; // a kind of camera glTF 2.0 does not define
    }
    camera->setName(toWide(source.name));

    // glTF cameras look down their local -z with +y up.
    const KXPosition eye = world.transform(KXPosition(0.0f, 0.0f, 0.0f));
    KXVector forward = world.transform(KXVector(0.0f, 0.0f, -1.0f));
    forward.normalize();
    camera->setPosition(eye, eye + forward, world.transform(KXVector(0.0f, 1.0f, 0.0f)));

    group->setCamera(camera.get());
    if (!farPlaneKnown)
        m_camerasWithoutFarPlane.push_back(camera);
    if (!m_rootCamera)
        m_rootCamera = camera;
}

void SceneBuilder::addLight(int lightIndex, const KXMatrix& world, const std::string& from)
{
    const tinygltf::Light& source = m_model.lights[checkedIndex(lightIndex, m_model.lights.size(), from, "light")];
    float rgb[3] = {1.0f, 1.0f, 1.0f};
    for (size_t i = 0; i < 3 && i < source.color.size(); ++i)
        rgb[i] = clampedFloat(source.color[i], 0.0f, 1.0f, 1.0f);
    const float intensity = clampedFloat(source.intensity, 0.0f, FLT_MAX, 1.0f);
    const KXPosition position = world.transform(KXPosition(0.0f, 0.0f, 0.0f));
    // Lights shine down their local -z.
    const KXVector direction = world.transform(KXVector(0.0f, 0.0f, -1.0f));

    KXRef<KXLight> light;
    if (source.type == "directional") {
        // Illuminance in lux has no upper bound; our colours stop at 1.
        const float scale = std::min(intensity, 1.0f);
        auto sun = KXMake<KXDirectionalLight>(&m_scene);
        sun->setDirection(direction);
        sun->setColor(KXColor(rgb[0] * scale, rgb[1] * scale, rgb[2] * scale, 1.0f));
        light = sun;
    } else if (source.type == "point" || source.type == "spot") {
        KXRef<KXPointLight> point;
        if (source.type == "spot") {
            auto spot = KXMake<KXSpotLight>(&m_scene);
            spot->setDirection(direction);
            // glTF gives half angles of the cone, we keep full ones.
            const float outer = clampedFloat(source.spot.outerConeAngle, 0.0f, 0.5f * kPi, 0.25f * kPi);
            const float inner = clampedFloat(source.spot.innerConeAngle, 0.0f, outer, 0.0f);
            spot->setSpreadAngles(2.0f * inner, 2.0f * outer);
            point = spot;
        } else {
            point = KXMake<KXPointLight>(&m_scene);
        }
        point->setPosition(position);
        point->setColor(KXColor(rgb[0], rgb[1], rgb[2], 1.0f));
        // Intensity in candela falls off with the square of the distance; the
        // constant term keeps the light from exceeding its colour up close.
        if (intensity > 0.0f)
            point->setAttenuation(1.0f, 0.0f, std::min(1.0f / intensity, FLT_MAX));
        else
            point->setColor(KXColor(0.0f, 0.0f, 0.0f, 1.0f));
        if (source.range > 0.0)
            point->setRange(clampedFloat(source.range, 0.0f, FLT_MAX, KXPointLight::MAX_RANGE));
        light = point;
    } else {
        return;
    }
    light->setName(toWide(source.name));
    light->setCastShadows(true);
    if (!m_lights)
        m_lights = KXMake<KXLightModel>(&m_scene);
    m_lights->setFixed(true);
    m_lights->addLight(light.get());
}

KXRef<KXCamera> SceneBuilder::makeFittedCamera(const KXBounds& bounds)
{
    auto camera = KXMake<KXPerspectiveCamera>(&m_scene);
    camera->setName(L"Fitted camera");
    camera->setViewport(KXDimension2D(float(m_options.viewportWidth), float(m_options.viewportHeight)));
    // From the front (glTF's +z, our -y), a little from the right and above.
    KXCameraUtils::initialize(camera.get(), bounds, KXUnitVector(-0.45f, 1.0f, -0.5f), KXUnitVector(0.0f, 0.0f, 1.0f));
    return KXRef<KXCamera>(camera.get());
}

KXRef<KXLightModel> SceneBuilder::makeDefaultLights()
{
    auto lights = KXMake<KXLightModel>(&m_scene);
    lights->setName(L"Default lights");
    lights->setFixed(true);
    auto ambient = KXMake<KXAmbientLight>(&m_scene);
    ambient->setColor(KXColor(0.25f, 0.25f, 0.25f, 1.0f));
    lights->setAmbientLight(ambient.get());
    // A key light from the upper left of the fitted camera's view, casting
    // shadows, and a weak fill light from the right.
    auto key = KXMake<KXDirectionalLight>(&m_scene);
    key->setDirection(KXVector(1.0f, 1.0f, -1.5f));
    key->setColor(KXColor(0.85f, 0.85f, 0.8f, 1.0f));
    key->setCastShadows(true);
    lights->addLight(key.get());
    auto fill = KXMake<KXDirectionalLight>(&m_scene);
    fill->setDirection(KXVector(-1.0f, 0.3f, -0.4f));
    fill->setColor(KXColor(0.3f, 0.3f, 0.35f, 1.0f));
    lights->addLight(fill.get());
    return lights;
}

// What tinygltf may read from disk: regular files below the directory of the
// glTF file (tinygltf would also look in the working directory), none at all
// for data loaded from memory, and none larger than the size limit.
struct FileAccess {
    bool allowed = false;
    std::string directory; // with a trailing separator
    size_t maxFileSize = 0;

    bool permits(const std::string& path, std::wstring& wide) const
    {
        return allowed && path.compare(0, directory.size(), directory) == 0 &&
               KXFileUtils::fromNativePath(path.c_str(), wide) && KXFileUtils::fileExists(wide.c_str());
    }
};

bool fileExists(const std::string& path, void* user)
{
    std::wstring wide;
    return static_cast<const FileAccess*>(user)->permits(path, wide);
}

std::string expandFilePath(const std::string& path, void*)
{
    return path;
}

bool readWholeFile(std::vector<unsigned char>* out, std::string* error, const std::string& path, void* user)
{
    const auto* access = static_cast<const FileAccess*>(user);
    std::wstring wide;
    if (access->permits(path, wide) && KXFileUtils::readFile(wide.c_str(), *out, access->maxFileSize) == 0)
        return true;
    if (error)
        *error += "cannot be read or is larger than " + std::to_string(access->maxFileSize) + " bytes";
    return false;
}

bool refuseWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*)
{
    return false;
}

// Keeps the encoded bytes of images given as data or files; they are decoded
// when drawn. Images in buffer views are read later from the checked view,
// since tinygltf hands them over without checking the view against its buffer.
bool keepEncodedImage(tinygltf::Image* image, const int, std::string*, std::string*, int, int,
                      const unsigned char* bytes, int size, void*)
{
    if (image->bufferView == -1 && bytes && size > 0)
        image->image.assign(bytes, bytes + size);
    image->as_is = true;
    return true;
}

// tinygltf's messages end in newlines and may be several; one line reads better.
std::string oneLine(std::string message)
{
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    std::replace(message.begin(), message.end(), '\n', ';');
    return message;
}

void parse(const unsigned char* data, size_t size, const FileAccess& access, tinygltf::Model& model)
{
    if (size > UINT_MAX)
        fail("the data are larger than glTF allows");
    tinygltf::TinyGLTF parser;
    parser.SetImageLoader(keepEncodedImage, nullptr);
    parser.SetFsCallbacks({fileExists, expandFilePath, readWholeFile, refuseWrite, const_cast<FileAccess*>(&access)});
    const std::string baseDir = access.allowed ? access.directory.substr(0, access.directory.size() - 1) : "";
    std::string error, warning;
    bool parsed;
    if (size >= 4 && std::memcmp(data, "glTF", 4) == 0) {
        kxgltf::checkGlbLayout(data, size);
        uint32_t jsonLength;
        std::memcpy(&jsonLength, data + 12, 4);
        kxgltf::checkJsonText(reinterpret_cast<const char*>(data) + 20, jsonLength);
        parsed = parser.LoadBinaryFromMemory(&model, &error, &warning, data, static_cast<unsigned>(size), baseDir);
    } else {
        kxgltf::checkJsonText(reinterpret_cast<const char*>(data), size);
        parsed = parser.LoadASCIIFromString(&model, &error, &warning, reinterpret_cast<const char*>(data),
                                            static_cast<unsigned>(size), baseDir);
    }
    if (!parsed)
        fail(error.empty() ? std::string("the data are not a glTF file") : oneLine(error));
    for (const std::string& extension : model.extensionsRequired)
        if (extension != "KHR_lights_punctual" && extension != "KHR_texture_transform" &&
            extension != "KHR_materials_emissive_strength" && extension != "KHR_mesh_quantization" &&
            extension != "KHR_materials_unlit")
            fail("the file needs the extension " + extension + ", which is not supported");
}

void report(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
}

int loadBytes(const unsigned char* data, size_t size, const FileAccess& access, const std::wstring& name,
              KXScene& scene, std::string* error, const KXGltfLoadOptions& options)
{
    tinygltf::Model model;
    parse(data, size, access, model);
    SceneBuilder builder(model, scene, options);
    KXRef<KXRoot> root = builder.build(name);
    scene.getSelection()->clear();
    scene.setRoot(root.get());
    if (error)
        error->clear();
    return 0;
}

// Runs a load, turning every failure into -1 and a message: ours, tinygltf's
// (whose parser throws on some malformed input) and running out of memory.
template <class Load>
int guarded(std::string* error, Load load)
{
    try {
        return load();
    } catch (const kxgltf::Failure& failure) {
        report(error, failure.message);
    } catch (const std::bad_alloc&) {
        report(error, "not enough memory to load the file");
    } catch (const std::exception& exception) {
        report(error, std::string("the file is damaged (") + exception.what() + ")");
    } catch (...) {
        report(error, "the file is damaged");
    }
    return -1;
}

} // namespace

int KXGltfLoader::load(const wchar_t* path, KXScene& scene, std::string* error, const KXGltfLoadOptions& options)
{
    if (!path) {
        report(error, "no file name was given");
        return -3;
    }
    return guarded(error, [&] {
        std::string native;
        if (!KXFileUtils::toNativePath(path, native))
            fail("the file name is not valid Unicode");
        if (!KXFileUtils::fileExists(path))
            fail("the file does not exist or is not a regular file");
        std::vector<unsigned char> bytes;
        if (KXFileUtils::readFile(path, bytes, options.maxFileSize) != 0)
            fail("the file cannot be read or is larger than " + std::to_string(options.maxFileSize) + " bytes");

        FileAccess access;
        access.allowed = true;
        access.maxFileSize = options.maxFileSize;
        const size_t slash = native.find_last_of('/');
        access.directory = slash == std::string::npos ? std::string("./") : native.substr(0, slash + 1);

        std::wstring name(path);
        const size_t nameStart = name.find_last_of(L'/');
        if (nameStart != std::wstring::npos)
            name.erase(0, nameStart + 1);
        const size_t dot = name.find_last_of(L'.');
        if (dot != std::wstring::npos && dot > 0)
            name.erase(dot);
        return loadBytes(bytes.data(), bytes.size(), access, name, scene, error, options);
    });
}

int KXGltfLoader::loadFromMemory(const void* data, size_t size, KXScene& scene, std::string* error,
                                 const KXGltfLoadOptions& options)
{
    if (!data) {
        report(error, "no data were given");
        return -3;
    }
    return guarded(error, [&] {
        FileAccess access; // nothing outside the data may be read
        return loadBytes(static_cast<const unsigned char*>(data), size, access, L"glTF scene", scene, error, options);
    });
}
