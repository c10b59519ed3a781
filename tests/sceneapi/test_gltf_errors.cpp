// glTF loading of damaged, hostile and incomplete files: a clear error and an
// untouched scene, never a crash, a hang or a huge allocation. Files on disk,
// with their external buffers and images.

#include "test_gltf_asset.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

using namespace gltftest;

namespace {

// A small but complete asset: indexed triangles with every attribute, a
// textured material, a camera and a light.
Asset richAsset()
{
    Asset asset;
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, "VEC3");
    const int normal = asset.addFloats({0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3");
    const int uv = asset.addFloats({0, 0, 1, 0, 0, 1, 1, 1}, "VEC2");
    const int indices = asset.addIndices({0, 1, 2, 2, 1, 3});
    const uint8_t bmp[] = {'B', 'M', 0, 0};
    const int view = asset.addView(bmp, sizeof bmp);
    asset.append("images", json{{"bufferView", view}, {"mimeType", "image/png"}});
    asset.append("textures", json{{"source", 0}});
    asset.append("materials", json{{"pbrMetallicRoughness", {{"baseColorTexture", {{"index", 0}}}}}});
    asset.append("cameras", json{{"type", "perspective"}, {"perspective", {{"yfov", 0.8}, {"znear", 0.1}}}});
    asset.doc["extensions"]["KHR_lights_punctual"]["lights"] = json::array({json{{"type", "point"}}});
    const int mesh = asset.addMesh(json{{"POSITION", position}, {"NORMAL", normal}, {"TEXCOORD_0", uv}}, indices, 4, 0);
    asset.addRootNode(json{{"mesh", mesh}, {"children", {1}}});
    asset.append(
        "nodes",
        json{{"camera", 0}, {"translation", {0, 0, 3}}, {"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}});
    return asset;
}

// Loads the asset in both forms and expects both to fail with a message
// containing the given words, leaving the scene's root in place.
void expectRejected(const Asset& asset, const std::string& words)
{
    for (bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "GLB" : "glTF text");
        KXScene scene;
        KXRoot* before = scene.getRoot();
        std::string error;
        EXPECT_EQ(-1, binary ? loadGlb(asset, scene, &error) : loadText(asset, scene, &error));
        EXPECT_NE(error.find(words), std::string::npos) << "message: " << error;
        EXPECT_EQ(scene.getRoot(), before);
    }
}

class TempDir
{
public:
    TempDir()
    {
        static int counter = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("kx_gltf_test_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
                  std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::filesystem::path file(const std::string& name) const { return m_path / name; }
    void write(const std::string& name, const void* data, size_t size) const
    {
        std::ofstream out(file(name), std::ios::binary);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    void write(const std::string& name, const std::string& text) const { write(name, text.data(), text.size()); }

private:
    std::filesystem::path m_path;
};

} // namespace

TEST(GltfErrors, NullArgumentsAndMissingFiles)
{
    KXScene scene;
    std::string error;
    EXPECT_EQ(-3, KXGltfLoader::load(nullptr, scene, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(-3, KXGltfLoader::loadFromMemory(nullptr, 10, scene, &error));
    EXPECT_EQ(-1, KXGltfLoader::load(L"/nonexistent/dir/scene.gltf", scene, &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    TempDir dir;
    EXPECT_EQ(-1, KXGltfLoader::load(dir.file("").wstring().c_str(), scene, &error)); // a directory
    EXPECT_EQ(-1, KXGltfLoader::loadFromMemory("", 0, scene, &error));
    EXPECT_EQ(-1, KXGltfLoader::loadFromMemory("{ not json", 10, scene, &error));
    EXPECT_FALSE(error.empty());
}

TEST(GltfErrors, BrokenReferencesAreReported)
{
    {
        Asset asset = richAsset();
        asset.doc["meshes"][0]["primitives"][0]["indices"] = asset.addIndices({0, 1, 7});
        expectRejected(asset, "vertex 7");
    }
    {
        Asset asset = richAsset();
        asset.doc["nodes"][0]["mesh"] = 9;
        expectRejected(asset, "mesh 9");
    }
    {
        Asset asset = richAsset();
        asset.doc["nodes"][0]["children"] = {1, 42};
        expectRejected(asset, "node 42");
    }
    {
        Asset asset = richAsset();
        asset.doc["meshes"][0]["primitives"][0]["material"] = 3;
        expectRejected(asset, "material 3");
    }
    {
        Asset asset = richAsset();
        asset.doc["textures"][0]["source"] = 5;
        expectRejected(asset, "image 5");
    }
    {
        Asset asset = richAsset();
        asset.doc["nodes"][1]["extensions"]["KHR_lights_punctual"]["light"] = 4;
        expectRejected(asset, "light 4");
    }
    {
        Asset asset = richAsset();
        asset.doc["meshes"][0]["primitives"][0]["attributes"]["NORMAL"] = asset.addFloats({0, 0, 1}, "VEC3");
        expectRejected(asset, "NORMAL");
    }
}

TEST(GltfErrors, DataOutsideItsBuffersIsReported)
{
    {
        Asset asset = richAsset();
        asset.doc["accessors"][0]["count"] = 40; // the view holds 4
        expectRejected(asset, "beyond the end");
    }
    {
        Asset asset = richAsset();
        asset.doc["accessors"][0]["byteOffset"] = 4096;
        expectRejected(asset, "beyond the end");
    }
    {
        Asset asset = richAsset();
        asset.doc["bufferViews"][0]["byteLength"] = 1 << 20;
        expectRejected(asset, "outside its buffer");
    }
    {
        // An image view reaching past the buffer is caught before its bytes
        // are read.
        Asset asset = richAsset();
        asset.doc["bufferViews"][4]["byteOffset"] = 1 << 20;
        expectRejected(asset, "outside its buffer");
    }
    {
        Asset asset = richAsset();
        asset.doc["bufferViews"][0]["byteStride"] = 8; // elements of 12 bytes
        expectRejected(asset, "byte stride");
    }
    {
        Asset asset = richAsset();
        const float nan = std::nanf("");
        asset.doc["meshes"][0]["primitives"][0]["attributes"]["POSITION"] =
            asset.addFloats({0, 0, 0, nan, 0, 0, 0, 1, 0, 1, 1, 0}, "VEC3");
        expectRejected(asset, "not a finite number");
    }
}

TEST(GltfErrors, HugeCountsAndDeepNestingAreRefusedBeforeAnyAllocation)
{
    {
        // Two billion zeros without a buffer view would need 24 GB.
        Asset asset = richAsset();
        asset.doc["accessors"][0] = json{{"componentType", kFloat}, {"count", 2000000000}, {"type", "VEC3"}};
        expectRejected(asset, "elements");
    }
    {
        // Each node places the next: a chain far deeper than any model.
        Asset asset;
        for (int i = 0; i < 2000; ++i)
            asset.append("nodes", json{{"children", {i + 1}}});
        asset.append("nodes", json::object());
        asset.doc["scenes"] = json::array({json{{"nodes", {0}}}});
        expectRejected(asset, "nest deeper");
    }
    {
        // Nested arrays that a recursive parser would follow to its death.
        Asset asset = richAsset();
        std::string text =
            asset.withBuffer("data:application/octet-stream;base64," + Asset::base64(asset.paddedBin())).dump();
        text.insert(text.size() - 1, ",\"extras\":" + std::string(100000, '[') + std::string(100000, ']'));
        KXScene scene;
        std::string error;
        EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(text.data(), text.size(), scene, &error));
        EXPECT_NE(error.find("nests deeper"), std::string::npos) << error;
    }
    {
        // One mesh of many primitives used by many nodes would make more
        // shapes than a scene can hold.
        Asset asset;
        const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
        json primitives = json::array();
        for (int i = 0; i < 1000; ++i)
            primitives.push_back(json{{"attributes", {{"POSITION", position}}}});
        asset.append("meshes", json{{"primitives", primitives}});
        json children = json::array();
        for (int i = 0; i < 1000; ++i) {
            asset.append("nodes", json{{"mesh", 0}});
            children.push_back(i);
        }
        asset.append("nodes", json{{"children", children}});
        asset.doc["scenes"] = json::array({json{{"nodes", {1000}}}});
        expectRejected(asset, "shapes");
    }
}

TEST(GltfErrors, DamagedGlbContainersAreReported)
{
    const std::vector<uint8_t> good = richAsset().glb();
    KXScene scene;
    std::string error;
    ASSERT_EQ(0, KXGltfLoader::loadFromMemory(good.data(), good.size(), scene, &error)) << error;

    auto patched = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        std::memcpy(&bytes[offset], &value, 4);
        return bytes;
    };
    const uint32_t jsonLength = good[12] | good[13] << 8 | good[14] << 16 | uint32_t(good[15]) << 24;
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {patched(4, 1), "version"},
        {patched(8, static_cast<uint32_t>(good.size() + 100)), "truncated"},
        {patched(12, static_cast<uint32_t>(good.size())), "JSON chunk"},
        // A binary chunk that would end 8 bytes past the file.
        {patched(20 + jsonLength, static_cast<uint32_t>(good.size() - 20 - jsonLength)), "binary chunk"},
    };
    for (const auto& [bytes, words] : cases) {
        EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, &error)) << words;
        EXPECT_NE(error.find(words), std::string::npos) << error;
    }

    // A buffer declared empty while the binary chunk has data.
    const Asset asset = richAsset();
    json doc = asset.withBuffer("");
    doc["buffers"][0]["byteLength"] = 0;
    const std::vector<uint8_t> bytes = Asset::glbOf(doc, asset.paddedBin());
    EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, &error));
}

TEST(GltfErrors, UnsupportedRequiredExtensionsAreReported)
{
    Asset asset = richAsset();
    asset.doc["extensionsUsed"] = {"KHR_draco_mesh_compression"};
    asset.doc["extensionsRequired"] = {"KHR_draco_mesh_compression"};
    expectRejected(asset, "KHR_draco_mesh_compression");
}

TEST(GltfErrors, EveryTruncationOfAFileFailsCleanly)
{
    const Asset asset = richAsset();
    const std::vector<uint8_t> glb = asset.glb();
    const std::string text = asset.gltf();
    KXScene scene;
    std::string error;
    for (size_t n = 1; n < glb.size(); ++n) {
        // The copy makes sanitizers see any read past the cut.
        const std::vector<uint8_t> cut(glb.begin(), glb.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(cut.data(), cut.size(), scene, &error)) << n;
    }
    for (size_t n = 1; n < text.size(); n += 7) {
        const std::string cut = text.substr(0, n);
        EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(cut.data(), cut.size(), scene, &error)) << n;
    }
}

TEST(GltfErrors, RandomlyDamagedFilesNeverCrash)
{
    const std::vector<uint8_t> glb = richAsset().glb();
    std::mt19937 random(1234);
    KXScene scene;
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = glb;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        std::string error;
        const int result = KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, &error);
        ASSERT_TRUE(result == 0 || (result == -1 && !error.empty()));
        loaded += result == 0;
    }
    // Most single-byte changes land in data and leave the file usable.
    EXPECT_GT(loaded, 0);
}

TEST(GltfFiles, ExternalBuffersAndImagesAreReadBesideTheFile)
{
    TempDir dir;
    Asset asset = richAsset();
    const std::vector<uint8_t> bin = asset.paddedBin();
    dir.write("scene.bin", bin.data(), bin.size());
    const std::vector<uint8_t> png = [] {
        KXRawImage2D raw(1, 1, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        raw.createData();
        KXImage2D image;
        KXImageUtils::encode(&raw, &image, KXImage2D::KXIMAGE2D_PNG);
        return std::vector<uint8_t>(image.getData(), image.getData() + image.getSize());
    }();
    dir.write("wood.png", png.data(), png.size());
    json doc = asset.withBuffer("scene.bin");
    doc["images"][0] = json{{"uri", "wood.png"}};
    dir.write("scene.gltf", doc.dump());

    KXScene scene;
    std::string error;
    ASSERT_EQ(0, KXGltfLoader::load(dir.file("scene.gltf").wstring().c_str(), scene, &error)) << error;
    EXPECT_EQ(scene.getRoot()->getName(), L"scene");
    const auto shapes = shapesOf(scene);
    ASSERT_EQ(shapes.size(), 1u);
    auto* texture = dynamic_cast<KXTexture2D*>(shapes[0]->getAppearance()->getTexture(0));
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->getImage2D(), nullptr);
    EXPECT_EQ(texture->getImage2D()->getSize(), png.size());

    // Data in memory have no directory: the external buffer counts as missing.
    const std::string text = doc.dump();
    EXPECT_EQ(-1, KXGltfLoader::loadFromMemory(text.data(), text.size(), scene, &error));
    EXPECT_NE(error.find("scene.bin"), std::string::npos) << error;

    // A missing image leaves the material untextured; a missing buffer fails.
    std::filesystem::remove(dir.file("wood.png"));
    ASSERT_EQ(0, KXGltfLoader::load(dir.file("scene.gltf").wstring().c_str(), scene, &error)) << error;
    EXPECT_EQ(shapesOf(scene).at(0)->getAppearance()->getTexture(0), nullptr);
    std::filesystem::remove(dir.file("scene.bin"));
    EXPECT_EQ(-1, KXGltfLoader::load(dir.file("scene.gltf").wstring().c_str(), scene, &error));

    // GLB files are recognised by their signature, whatever their name.
    const std::vector<uint8_t> glb = richAsset().glb();
    dir.write("binary.gltf", glb.data(), glb.size());
    EXPECT_EQ(0, KXGltfLoader::load(dir.file("binary.gltf").wstring().c_str(), scene, &error)) << error;

    // The size limit applies to the file itself.
    KXGltfLoadOptions small;
    small.maxFileSize = 16;
    EXPECT_EQ(-1, KXGltfLoader::load(dir.file("binary.gltf").wstring().c_str(), scene, &error, small));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}
