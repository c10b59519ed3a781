// Writes the fuzzer's seed corpus: small valid files that between them use
// every part of glTF the loader reads. Run it by hand with the corpus
// directory as argument after changing what the loader reads.

#include "test_gltf_asset.h"

#include <cmath>
#include <cstdio>
#include <fstream>

using namespace gltftest;

namespace {

std::string g_directory;

void save(const std::string& name, const void* data, size_t size)
{
    std::ofstream out(g_directory + "/" + name, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void saveBoth(const std::string& name, const Asset& asset)
{
    const std::vector<uint8_t> glb = asset.glb();
    save(name + ".glb", glb.data(), glb.size());
    const std::string text = asset.gltf();
    save(name + ".gltf", text.data(), text.size());
}

std::vector<uint8_t> tinyPng()
{
    KXRawImage2D raw(2, 2, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    raw.createData();
    raw.setColor(1, 0, KXColor(0, 1, 0, 1));
    KXImage2D image;
    KXImageUtils::encode(&raw, &image, KXImage2D::KXIMAGE2D_PNG);
    return std::vector<uint8_t>(image.getData(), image.getData() + image.getSize());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus DIRECTORY\n");
        return 2;
    }
    g_directory = argv[1];

    {
        Asset asset;
        asset.addRootNode(json{{"mesh", addTriangleMesh(asset)}});
        saveBoth("triangle", asset);
    }
    {
        // Materials, a texture with a transform, camera, lights, hierarchy.
        Asset asset;
        const std::vector<uint8_t> png = tinyPng();
        const int view = asset.addView(png.data(), png.size());
        asset.append("images", json{{"bufferView", view}, {"mimeType", "image/png"}});
        asset.append("samplers", json{{"magFilter", 9728}, {"minFilter", 9986}});
        asset.append("textures", json{{"source", 0}, {"sampler", 0}});
        asset.append(
            "materials",
            json{{"pbrMetallicRoughness",
                  {{"baseColorFactor", {0.9, 0.5, 0.2, 0.7}},
                   {"metallicFactor", 0.3},
                   {"roughnessFactor", 0.4},
                   {"baseColorTexture",
                    {{"index", 0},
                     {"extensions",
                      {{"KHR_texture_transform", {{"offset", {0.1, 0.2}}, {"rotation", 0.5}, {"scale", {2, 2}}}}}}}},
                   {"metallicRoughnessTexture", {{"index", 0}}}}},
                 {"emissiveFactor", {0.2, 0.1, 0}},
                 {"emissiveTexture", {{"index", 0}}},
                 {"alphaMode", "BLEND"},
                 {"doubleSided", true},
                 {"extensions", {{"KHR_materials_emissive_strength", {{"emissiveStrength", 2}}}}}});
        const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, "VEC3");
        const int normal = asset.addFloats({0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3");
        const int uv =
            asset.addIntegers<uint16_t>({0, 0, 65535, 0, 0, 65535, 65535, 65535}, kUnsignedShort, "VEC2", true);
        const int color = asset.addIntegers<uint8_t>({255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 9},
                                                     kUnsignedByte, "VEC4", true);
        const int indices = asset.addIndices({0, 1, 2, 2, 1, 3});
        const int mesh = asset.addMesh(
            json{{"POSITION", position}, {"NORMAL", normal}, {"TEXCOORD_0", uv}, {"COLOR_0", color}}, indices, 4, 0);
        asset.append("cameras", json{{"type", "perspective"}, {"perspective", {{"yfov", 0.8}, {"znear", 0.1}}}});
        asset.append("cameras", json{{"type", "orthographic"},
                                     {"orthographic", {{"xmag", 2}, {"ymag", 2}, {"znear", 0}, {"zfar", 10}}}});
        asset.doc["extensionsUsed"] = {"KHR_lights_punctual", "KHR_texture_transform",
                                       "KHR_materials_emissive_strength"};
        asset.doc["extensions"]["KHR_lights_punctual"]["lights"] =
            json::array({json{{"type", "directional"}, {"intensity", 2}},
                         json{{"type", "point"}, {"color", {1, 0.5, 0.5}}, {"intensity", 40}, {"range", 20}},
                         json{{"type", "spot"}, {"spot", {{"innerConeAngle", 0.1}, {"outerConeAngle", 0.6}}}}});
        const float h = std::sqrt(0.5f);
        asset.append("nodes", json{{"camera", 0}, {"translation", {0, 1, 6}}});
        asset.append("nodes",
                     json{{"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}, {"rotation", {-h, 0, 0, h}}});
        asset.append("nodes",
                     json{{"extensions", {{"KHR_lights_punctual", {{"light", 1}}}}}, {"translation", {2, 3, 2}}});
        asset.append("nodes", json{{"extensions", {{"KHR_lights_punctual", {{"light", 2}}}}}, {"camera", 1}});
        asset.append("nodes", json{{"mesh", mesh}, {"scale", {-1, 1, 1}}});
        asset.addRootNode(json{{"name", "top"},
                               {"mesh", mesh},
                               {"children", {0, 1, 2, 3, 4}},
                               {"matrix", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5, 0, 1}}});
        saveBoth("rich", asset);
    }
    {
        // Strips, fans, lines and points; normals left to the loader.
        Asset asset;
        const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0}, "VEC3");
        const int indices = asset.addIntegers<uint32_t>({0, 1, 2, 3, 4}, kUnsignedInt, "SCALAR");
        for (int mode = 0; mode <= 6; ++mode)
            asset.addRootNode(
                json{{"mesh", asset.addMesh(json{{"POSITION", position}}, mode % 2 ? indices : -1, mode)}});
        saveBoth("modes", asset);
    }
    {
        // Quantized positions and a sparse accessor without a buffer view.
        Asset asset;
        const int position = asset.addIntegers<int16_t>({0, 0, 0, 100, 0, 0, 0, 100, 0}, kShort, "VEC3");
        const int sparseIndices = asset.addView(std::vector<uint16_t>{0, 2}.data(), 4);
        const int sparseValues = asset.addView(std::vector<float>{0, 0, 1, 0, 0, 2}.data(), 24);
        const int normal = asset.append(
            "accessors", json{{"componentType", kFloat},
                              {"count", 3},
                              {"type", "VEC3"},
                              {"sparse",
                               {{"count", 2},
                                {"indices", {{"bufferView", sparseIndices}, {"componentType", kUnsignedShort}}},
                                {"values", {{"bufferView", sparseValues}}}}}});
        asset.doc["extensionsRequired"] = {"KHR_mesh_quantization"};
        asset.doc["extensionsUsed"] = {"KHR_mesh_quantization"};
        asset.addRootNode(json{{"mesh", asset.addMesh(json{{"POSITION", position}, {"NORMAL", normal}})}});
        saveBoth("quantized_sparse", asset);
    }
    std::printf("seed corpus written to %s\n", g_directory.c_str());
    return 0;
}
