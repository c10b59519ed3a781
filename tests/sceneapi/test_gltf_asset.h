#pragma once

// Small glTF assets written in code for the loader tests: a JSON document and
// one binary buffer, saved as GLB bytes or as glTF text with the buffer in a
// data URI.

#include "sceneapi/KXGltfLoader.h"
#include "sceneapi/sceneapi.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gltftest {

using json = nlohmann::json;

constexpr int kUnsignedByte = 5121;
constexpr int kShort = 5122;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;

class Asset
{
public:
    json doc = json{{"asset", {{"version", "2.0"}}}};
    std::vector<uint8_t> bin;

    // Appends bytes to the buffer, 4-byte aligned, as a new buffer view.
    int addView(const void* data, size_t size, size_t stride = 0)
    {
        while (bin.size() % 4)
            bin.push_back(0);
        const size_t offset = bin.size();
        bin.insert(bin.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        json view{{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}};
        if (stride)
            view["byteStride"] = stride;
        return append("bufferViews", view);
    }

    // An accessor of float tuples over a new view; type "SCALAR", "VEC2", ...
    int addFloats(const std::vector<float>& values, const char* type)
    {
        const size_t components = componentsOf(type);
        const int view = addView(values.data(), values.size() * sizeof(float));
        return append("accessors", json{{"bufferView", view},
                                        {"componentType", kFloat},
                                        {"count", values.size() / components},
                                        {"type", type}});
    }

    // An accessor of integers of the given component type over a new view.
    template <class T>
    int addIntegers(const std::vector<T>& values, int componentType, const char* type, bool normalized = false)
    {
        const int view = addView(values.data(), values.size() * sizeof(T));
        json accessor{{"bufferView", view},
                      {"componentType", componentType},
                      {"count", values.size() / componentsOf(type)},
                      {"type", type}};
        if (normalized)
            accessor["normalized"] = true;
        return append("accessors", accessor);
    }

    int addIndices(const std::vector<uint16_t>& indices) { return addIntegers(indices, kUnsignedShort, "SCALAR"); }

    int append(const char* array, const json& value)
    {
        json& list = doc[array];
        list.push_back(value);
        return static_cast<int>(list.size()) - 1;
    }

    // A mesh of one primitive; returns the mesh index.
    int addMesh(const json& attributes, int indices = -1, int mode = -1, int material = -1)
    {
        json primitive{{"attributes", attributes}};
        if (indices >= 0)
            primitive["indices"] = indices;
        if (mode >= 0)
            primitive["mode"] = mode;
        if (material >= 0)
            primitive["material"] = material;
        return append("meshes", json{{"primitives", json::array({primitive})}});
    }

    // A node added to the (single) scene's root list.
    int addRootNode(const json& node)
    {
        const int index = append("nodes", node);
        doc["scenes"][0]["nodes"].push_back(index);
        doc["scene"] = 0;
        return index;
    }

    json withBuffer(const std::string& uri) const
    {
        json d = doc;
        if (!bin.empty() || d.contains("bufferViews")) {
            json buffer{{"byteLength", paddedBin().size()}};
            if (!uri.empty())
                buffer["uri"] = uri;
            d["buffers"] = json::array({buffer});
        }
        return d;
    }

    std::vector<uint8_t> paddedBin() const
    {
        std::vector<uint8_t> padded = bin;
        while (padded.size() % 4)
            padded.push_back(0);
        return padded;
    }

    std::vector<uint8_t> glb() const { return glbOf(withBuffer(""), paddedBin()); }

    // A GLB file of any document and binary chunk (empty: no chunk).
    static std::vector<uint8_t> glbOf(const json& doc, const std::vector<uint8_t>& data)
    {
        std::string text = doc.dump();
        while (text.size() % 4)
            text.push_back(' ');
        std::vector<uint8_t> out;
        auto put32 = [&out](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        const uint32_t length = static_cast<uint32_t>(12 + 8 + text.size() + (data.empty() ? 0 : 8 + data.size()));
        out.insert(out.end(), {'g', 'l', 'T', 'F'});
        put32(2);
        put32(length);
        put32(static_cast<uint32_t>(text.size()));
        put32(0x4E4F534Au);
        out.insert(out.end(), text.begin(), text.end());
        if (!data.empty()) {
            put32(static_cast<uint32_t>(data.size()));
            put32(0x004E4942u);
            out.insert(out.end(), data.begin(), data.end());
        }
        return out;
    }

    std::string gltf() const
    {
        return withBuffer("data:application/octet-stream;base64," + base64(paddedBin())).dump(1);
    }

    static std::string base64(const std::vector<uint8_t>& bytes)
    {
        static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            uint32_t v = uint32_t(bytes[i]) << 16;
            if (i + 1 < bytes.size())
                v |= uint32_t(bytes[i + 1]) << 8;
            if (i + 2 < bytes.size())
                v |= bytes[i + 2];
            out += digits[(v >> 18) & 63];
            out += digits[(v >> 12) & 63];
            out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
            out += i + 2 < bytes.size() ? digits[v & 63] : '=';
        }
        return out;
    }

    static size_t componentsOf(const std::string& type)
    {
        return type == "SCALAR" ? 1 : type == "VEC2" ? 2 : type == "VEC3" ? 3 : 4;
    }
};

// One triangle in glTF's xy plane facing +z, with normals: the smallest mesh.
inline int addTriangleMesh(Asset& asset, int material = -1)
{
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
    const int normal = asset.addFloats({0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3");
    return asset.addMesh(json{{"POSITION", position}, {"NORMAL", normal}}, -1, -1, material);
}

inline int loadGlb(const Asset& asset, KXScene& scene, std::string* error = nullptr)
{
    const std::vector<uint8_t> bytes = asset.glb();
    return KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, error);
}

inline int loadText(const Asset& asset, KXScene& scene, std::string* error = nullptr)
{
    const std::string text = asset.gltf();
    return KXGltfLoader::loadFromMemory(text.data(), text.size(), scene, error);
}

// Every node of a type below (and including) node, depth first.
template <class T>
void collect(KXNode* node, std::vector<T*>& out)
{
    if (auto* match = dynamic_cast<T*>(node))
        out.push_back(match);
    if (auto* group = dynamic_cast<KXGroup*>(node))
        for (int i = 0; i < group->getNumChildNodes(); ++i)
            collect(group->getChild(i), out);
}

inline std::vector<KXShape*> shapesOf(const KXScene& scene)
{
    std::vector<KXShape*> shapes;
    collect(scene.getRoot(), shapes);
    return shapes;
}

// A triangle of a mesh in scene coordinates, with its geometric normal.
struct WorldTriangle {
    KXPosition a, b, c;
    KXVector normal() const
    {
        KXVector n = (b - a).cross(c - a);
        n.normalize();
        return n;
    }
};

inline std::vector<WorldTriangle> worldTriangles(const KXShape* shape)
{
    std::vector<WorldTriangle> out;
    const auto* mesh = dynamic_cast<const KXTriMesh*>(shape->getGeometry());
    if (!mesh)
        return out;
    const KXMatrix world = KXNodeUtils::getWorldMatrixAtNode(shape);
    for (int t = 0; t < mesh->getNumTriangles(); ++t) {
        uint32_t a, b, c;
        mesh->getTriangle(t, a, b, c);
        const auto& v = mesh->getVertexArray();
        out.push_back({world.transform(v[a]), world.transform(v[b]), world.transform(v[c])});
    }
    return out;
}

} // namespace gltftest
