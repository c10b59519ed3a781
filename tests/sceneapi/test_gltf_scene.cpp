// glTF loading: materials and textures, cameras and lights, and what a file
// without cameras or lights is given.

#include "test_gltf_asset.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace gltftest;

namespace {

KXAppearance* appearanceOfFirstShape(const KXScene& scene)
{
    const auto shapes = shapesOf(scene);
    return shapes.empty() ? nullptr : shapes[0]->getAppearance();
}

// Loads one triangle with the given material and returns the scene.
void loadWithMaterial(Asset& asset, const json& material, KXScene& scene)
{
    asset.append("materials", material);
    asset.addRootNode(json{{"mesh", addTriangleMesh(asset, static_cast<int>(asset.doc["materials"].size()) - 1)}});
    std::string error;
    ASSERT_EQ(0, loadGlb(asset, scene, &error)) << error;
}

KXMaterial* loadMaterial(const json& material, KXScene& scene)
{
    Asset asset;
    loadWithMaterial(asset, material, scene);
    KXAppearance* appearance = appearanceOfFirstShape(scene);
    return appearance ? appearance->getMaterial() : nullptr;
}

// A 2 x 2 PNG of one colour, as an image file's bytes.
std::vector<uint8_t> pngOfColor(const KXColor& color)
{
    KXRawImage2D raw(2, 2, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    raw.createData();
    for (unsigned y = 0; y < 2; ++y)
        for (unsigned x = 0; x < 2; ++x)
            raw.setColor(x, y, color);
    KXImage2D image;
    EXPECT_EQ(0, KXImageUtils::encode(&raw, &image, KXImage2D::KXIMAGE2D_PNG));
    return std::vector<uint8_t>(image.getData(), image.getData() + image.getSize());
}

// Adds a texture over an embedded PNG; returns the texture index.
int addPngTexture(Asset& asset, const std::vector<uint8_t>& png)
{
    const int view = asset.addView(png.data(), png.size());
    const int image = asset.append("images", json{{"bufferView", view}, {"mimeType", "image/png"}});
    return asset.append("textures", json{{"source", image}});
}

// The corners of a box, projected by the camera: inside the view and the
// depth range when every coordinate lies in [-1, 1] and depth in [0, 1].
bool seesWholeBox(const KXCamera& camera, const KXBounds& bounds)
{
    const KXMatrix toClip = camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix();
    const KXPosition& lo = bounds.getLowerLeftPos();
    const KXPosition& hi = bounds.getUpperRightPos();
    for (int i = 0; i < 8; ++i) {
        const KXPosition corner((i & 1) ? hi.getX() : lo.getX(), (i & 2) ? hi.getY() : lo.getY(),
                                (i & 4) ? hi.getZ() : lo.getZ());
        const KXPosition p = toClip.transform(corner);
        if (std::fabs(p.getX()) > 1.0f || std::fabs(p.getY()) > 1.0f || p.getZ() < 0.0f || p.getZ() > 1.0f)
            return false;
    }
    return true;
}

} // namespace

TEST(GltfMaterials, BaseColourAlphaModeAndSidedness)
{
    KXScene opaque, blended;
    const json base{{"baseColorFactor", {0.8, 0.4, 0.2, 0.5}}};
    KXMaterial* a = loadMaterial(json{{"pbrMetallicRoughness", base}, {"metallicFactor", 0}}, opaque);
    KXMaterial* b =
        loadMaterial(json{{"pbrMetallicRoughness", base}, {"alphaMode", "BLEND"}, {"doubleSided", true}}, blended);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    // Alpha is opacity only for blended materials.
    EXPECT_EQ(a->getDiffuseColor().getA(), 1.0f);
    EXPECT_EQ(b->getDiffuseColor().getA(), 0.5f);
    // The hue of the base colour survives.
    EXPECT_GT(a->getDiffuseColor().getR(), a->getDiffuseColor().getG());
    EXPECT_GT(a->getDiffuseColor().getG(), a->getDiffuseColor().getB());
    const auto* opaqueMesh = static_cast<const KXTriMesh*>(shapesOf(opaque)[0]->getGeometry());
    const auto* blendedMesh = static_cast<const KXTriMesh*>(shapesOf(blended)[0]->getGeometry());
    EXPECT_EQ(opaqueMesh->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);
    EXPECT_EQ(blendedMesh->getSidedness(), KXTriMesh::KXSIDEDNESS_TWO);
}

TEST(GltfMaterials, MetalTintsItsHighlightsAndRoughnessDullsThem)
{
    KXScene s1, s2, s3;
    const json gold{{"baseColorFactor", {1.0, 0.8, 0.2, 1.0}}, {"metallicFactor", 1.0}, {"roughnessFactor", 0.0}};
    const json plastic{{"baseColorFactor", {1.0, 0.8, 0.2, 1.0}}, {"metallicFactor", 0.0}, {"roughnessFactor", 0.0}};
    const json chalk{{"baseColorFactor", {1.0, 0.8, 0.2, 1.0}}, {"metallicFactor", 0.0}, {"roughnessFactor", 1.0}};
    KXMaterial* metal = loadMaterial(json{{"pbrMetallicRoughness", gold}}, s1);
    KXMaterial* shiny = loadMaterial(json{{"pbrMetallicRoughness", plastic}}, s2);
    KXMaterial* rough = loadMaterial(json{{"pbrMetallicRoughness", chalk}}, s3);
    ASSERT_TRUE(metal && shiny && rough);
    // A polished metal reflects in its own colour, a dielectric in white.
    const KXColor& gs = metal->getSpecularColor();
    EXPECT_NEAR(gs.getG() / gs.getR(), 0.8f, 1e-4f);
    EXPECT_NEAR(gs.getB() / gs.getR(), 0.2f, 1e-4f);
    EXPECT_EQ(shiny->getSpecularColor().getR(), shiny->getSpecularColor().getB());
    // Metal puts its colour into the highlight rather than the diffuse term.
    EXPECT_LT(metal->getDiffuseColor().intensity(), shiny->getDiffuseColor().intensity());
    // Smooth surfaces get tight highlights, fully rough ones none at all.
    EXPECT_GT(shiny->getShininess(), rough->getShininess());
    EXPECT_EQ(rough->getSpecularColor().intensity(), 0.0f);
    EXPECT_GT(shiny->getSpecularColor().intensity(), 0.0f);
}

TEST(GltfMaterials, EmissiveColourWithItsStrength)
{
    KXScene scene;
    KXMaterial* material =
        loadMaterial(json{{"emissiveFactor", {0.5, 0.25, 0.0}},
                          {"extensions", {{"KHR_materials_emissive_strength", {{"emissiveStrength", 2.0}}}}}},
                     scene);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getEmissiveColor(), KXColor(1.0f, 0.5f, 0.0f, 1.0f));
}

TEST(GltfMaterials, BaseColourTextureKeepsTheEncodedImage)
{
    Asset asset;
    const std::vector<uint8_t> png = pngOfColor(KXColor(0.2f, 0.4f, 0.6f, 1.0f));
    const int texture = addPngTexture(asset, png);
    asset.append("materials",
                 json{{"pbrMetallicRoughness", {{"baseColorTexture", {{"index", texture}, {"texCoord", 1}}}}}});
    const int position = asset.addFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
    const int uv0 = asset.addFloats({0, 0, 0, 0, 0, 0}, "VEC2");
    const int uv1 = asset.addFloats({0.5f, 0.5f, 1, 0.5f, 0.5f, 1}, "VEC2");
    asset.addRootNode(json{
        {"mesh", asset.addMesh(json{{"POSITION", position}, {"TEXCOORD_0", uv0}, {"TEXCOORD_1", uv1}}, -1, -1, 0)}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    KXAppearance* appearance = appearanceOfFirstShape(scene);
    ASSERT_NE(appearance, nullptr);
    auto* texture2d = dynamic_cast<KXTexture2D*>(appearance->getTexture(0));
    ASSERT_NE(texture2d, nullptr);
    KXImage2D* image = texture2d->getImage2D();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->getFileType(), KXImage2D::KXIMAGE2D_PNG);
    EXPECT_EQ(std::vector<uint8_t>(image->getData(), image->getData() + image->getSize()), png);
    // The mesh carries the coordinate set the texture reads.
    const auto* mesh = static_cast<const KXTriMesh*>(shapesOf(scene)[0]->getGeometry());
    EXPECT_EQ(mesh->getTexCoordsArray().at(1), KXPosition2D(1, 0.5f));
    // The image decodes to what was encoded.
    KXRawImage2D raw;
    ASSERT_EQ(0, KXImageUtils::decode(image, &raw));
    EXPECT_NEAR(raw.getColor(1, 1).getB(), 0.6f, 1.0f / 255);
}

TEST(GltfMaterials, TextureTransformScalesAndOffsetsCoordinates)
{
    Asset asset;
    const int texture = addPngTexture(asset, pngOfColor(KXColor(1, 1, 1, 1)));
    const json transform{{"KHR_texture_transform", {{"offset", {0.25, 0.5}}, {"scale", {2.0, 4.0}}}}};
    KXScene scene;
    loadWithMaterial(
        asset, json{{"pbrMetallicRoughness", {{"baseColorTexture", {{"index", texture}, {"extensions", transform}}}}}},
        scene);
    KXTextureAttributes* attributes = appearanceOfFirstShape(scene)->getTextureAttributes(0);
    ASSERT_NE(attributes, nullptr);
    // uv' = uv * scale + offset
    float u = 0.5f, v = 0.25f;
    attributes->getTextureMatrix().transform(u, v);
    EXPECT_NEAR(u, 1.25f, 1e-6f);
    EXPECT_NEAR(v, 1.5f, 1e-6f);
}

TEST(GltfMaterials, UnmappableTexturesCountWithTheirMeanColour)
{
    // A metallic-roughness texture whose green (roughness) is 0 makes a
    // rough-by-factor material smooth; a black emissive texture turns the
    // glow off.
    Asset asset;
    const int smooth = addPngTexture(asset, pngOfColor(KXColor(0, 0, 1, 1)));
    const int dark = addPngTexture(asset, pngOfColor(KXColor(0, 0, 0, 1)));
    KXScene textured, plain;
    loadWithMaterial(
        asset,
        json{{"pbrMetallicRoughness", {{"roughnessFactor", 1.0}, {"metallicRoughnessTexture", {{"index", smooth}}}}},
             {"emissiveFactor", {1, 1, 1}},
             {"emissiveTexture", {{"index", dark}}}},
        textured);
    KXMaterial* roughByFactor = loadMaterial(json{{"pbrMetallicRoughness", {{"roughnessFactor", 1.0}}}}, plain);
    KXMaterial* material = appearanceOfFirstShape(textured)->getMaterial();
    EXPECT_GT(material->getShininess(), roughByFactor->getShininess());
    EXPECT_EQ(material->getEmissiveColor().intensity(), 0.0f);
}

TEST(GltfCameras, PerspectiveCameraIsPlacedByItsNode)
{
    Asset asset;
    asset.append("cameras",
                 json{{"type", "perspective"}, {"perspective", {{"yfov", 0.6}, {"znear", 0.5}, {"zfar", 50.0}}}});
    asset.append("cameras", json{{"type", "orthographic"},
                                 {"orthographic", {{"xmag", 3.0}, {"ymag", 2.0}, {"znear", 0.1}, {"zfar", 20.0}}}});
    // glTF (0, 1, 5) looking down -z is our (0, -5, 1) looking along +y.
    asset.addRootNode(json{{"camera", 0}, {"translation", {0, 1, 5}}});
    const int second = asset.addRootNode(json{{"name", "ortho"}, {"camera", 1}});
    asset.addRootNode(json{{"mesh", addTriangleMesh(asset)}});
    KXScene scene;
    KXGltfLoadOptions options;
    options.viewportWidth = 640;
    options.viewportHeight = 480;
    const std::vector<uint8_t> bytes = asset.glb();
    ASSERT_EQ(0, KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, nullptr, options));
    (void)second;

    auto* camera = dynamic_cast<KXPerspectiveCamera*>(scene.getRoot()->getCamera());
    ASSERT_NE(camera, nullptr);
    EXPECT_NEAR(camera->getFOV(), 0.6f, 1e-6f);
    EXPECT_NEAR(camera->getNearPlane(), 0.5f, 1e-6f);
    EXPECT_NEAR(camera->getFarPlane(), 50.0f, 1e-6f);
    EXPECT_EQ(camera->getViewport(), KXDimension2D(640, 480));
    const KXPosition& eye = camera->getEyePosition();
    EXPECT_NEAR(eye.getX(), 0.0f, 1e-5f);
    EXPECT_NEAR(eye.getY(), -5.0f, 1e-5f);
    EXPECT_NEAR(eye.getZ(), 1.0f, 1e-5f);
    EXPECT_NEAR(camera->getViewDirection().getY(), 1.0f, 1e-5f);
    EXPECT_NEAR(camera->getUpVector().getZ(), 1.0f, 1e-5f);

    // The other camera stays on its node.
    std::vector<KXGroup*> groups;
    collect(scene.getRoot(), groups);
    KXCamera* ortho = nullptr;
    for (KXGroup* group : groups)
        if (group->getName() == L"ortho")
            ortho = group->getCamera();
    ASSERT_NE(ortho, nullptr);
    EXPECT_EQ(ortho->getCameraType(), KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    EXPECT_NEAR(ortho->getViewportScale(), 4.0f, 1e-6f);
}

TEST(GltfCameras, AnInfiniteFarPlaneIsPutBehindTheScene)
{
    Asset asset;
    asset.append("cameras", json{{"type", "perspective"}, {"perspective", {{"yfov", 1.0}, {"znear", 0.1}}}});
    asset.addRootNode(json{{"camera", 0}, {"translation", {0.3, 0.3, 40}}});
    asset.addRootNode(json{{"mesh", addTriangleMesh(asset)}, {"scale", {3, 3, 3}}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    KXCamera* camera = scene.getRoot()->getCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_TRUE(seesWholeBox(*camera, scene.getRoot()->getBounds()));
}

TEST(GltfCameras, AFileWithoutCameraGetsOneThatSeesEverything)
{
    Asset asset;
    const int mesh = addTriangleMesh(asset);
    asset.addRootNode(json{{"mesh", mesh}, {"translation", {-4, 0, 0}}});
    asset.addRootNode(json{{"mesh", mesh}, {"translation", {6, 2, -3}}, {"scale", {2, 5, 1}}});
    for (const auto& [w, h] : {std::pair<unsigned, unsigned>{1024, 768}, {300, 900}}) {
        KXScene scene;
        KXGltfLoadOptions options;
        options.viewportWidth = w;
        options.viewportHeight = h;
        const std::vector<uint8_t> bytes = asset.glb();
        ASSERT_EQ(0, KXGltfLoader::loadFromMemory(bytes.data(), bytes.size(), scene, nullptr, options));
        KXCamera* camera = scene.getRoot()->getCamera();
        ASSERT_NE(camera, nullptr);
        EXPECT_TRUE(seesWholeBox(*camera, scene.getRoot()->getBounds())) << w << " x " << h;
    }
}

TEST(GltfLights, PunctualLightsArePlacedInSceneSpace)
{
    Asset asset;
    asset.doc["extensionsUsed"] = {"KHR_lights_punctual"};
    asset.doc["extensions"]["KHR_lights_punctual"]["lights"] =
        json::array({json{{"type", "directional"}, {"color", {1.0, 0.5, 0.25}}, {"intensity", 3.0}},
                     json{{"type", "point"}, {"intensity", 20.0}, {"range", 12.0}},
                     json{{"type", "spot"}, {"spot", {{"innerConeAngle", 0.2}, {"outerConeAngle", 0.5}}}}});
    const float h = std::sqrt(0.5f);
    // Turned a quarter about glTF's x, the light's -z becomes glTF's -y: down.
    asset.addRootNode(json{{"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}, {"rotation", {-h, 0, 0, h}}});
    asset.addRootNode(json{{"extensions", {{"KHR_lights_punctual", {{"light", 1}}}}}, {"translation", {1, 2, 3}}});
    asset.addRootNode(json{{"extensions", {{"KHR_lights_punctual", {{"light", 2}}}}}});
    KXScene scene;
    std::string error;
    ASSERT_EQ(0, loadGlb(asset, scene, &error)) << error;
    KXLightModel* lights = scene.getRoot()->getLightModel();
    ASSERT_NE(lights, nullptr);
    ASSERT_EQ(lights->getNumLights(), 3);
    EXPECT_TRUE(lights->isFixed());
    EXPECT_NE(lights->getAmbientLight(), nullptr);

    auto* sun = dynamic_cast<KXDirectionalLight*>(lights->getLight(0));
    ASSERT_NE(sun, nullptr);
    EXPECT_NEAR(sun->getDirection().getZ(), -1.0f, 1e-5f);
    EXPECT_EQ(sun->getColor(), KXColor(1.0f, 0.5f, 0.25f, 1.0f));
    EXPECT_TRUE(sun->getCastShadows());

    auto* bulb = dynamic_cast<KXPointLight*>(lights->getLight(1));
    ASSERT_NE(bulb, nullptr);
    EXPECT_EQ(bulb->getLightType(), KXLight::KXLIGHTTYPE_POINT);
    EXPECT_NEAR(bulb->getPosition().getX(), 1.0f, 1e-6f);
    EXPECT_NEAR(bulb->getPosition().getY(), -3.0f, 1e-6f);
    EXPECT_NEAR(bulb->getPosition().getZ(), 2.0f, 1e-6f);
    EXPECT_EQ(bulb->getRange(), 12.0f);
    // Far from the light, glTF's inverse-square law: intensity / d².
    const KXVector& a = bulb->getAttenuation();
    const float d = 1000.0f;
    EXPECT_NEAR(1.0f / (a.getX() + a.getY() * d + a.getZ() * d * d) * d * d, 20.0f, 0.01f);

    auto* spot = dynamic_cast<KXSpotLight*>(lights->getLight(2));
    ASSERT_NE(spot, nullptr);
    // glTF's cone angles are half angles.
    EXPECT_NEAR(spot->getInnerSpreadAngle(), 0.4f, 1e-6f);
    EXPECT_NEAR(spot->getOuterSpreadAngle(), 1.0f, 1e-6f);
    EXPECT_NEAR(spot->getDirection().getY(), 1.0f, 1e-5f);
}

TEST(GltfLights, AFileWithoutLightsGetsADefaultLightModel)
{
    Asset asset;
    asset.addRootNode(json{{"mesh", addTriangleMesh(asset)}});
    KXScene scene;
    ASSERT_EQ(0, loadGlb(asset, scene));
    KXLightModel* lights = scene.getRoot()->getLightModel();
    ASSERT_NE(lights, nullptr);
    ASSERT_NE(lights->getAmbientLight(), nullptr);
    ASSERT_GE(lights->getNumLights(), 1);
    auto* key = dynamic_cast<KXDirectionalLight*>(lights->getLight(0));
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->getCastShadows());
    // It shines downwards, onto what the fitted camera looks at.
    EXPECT_LT(key->getDirection().getZ(), 0.0f);
    EXPECT_GT(key->getDirection().dot(scene.getRoot()->getCamera()->getViewDirection()), 0.0f);
}
