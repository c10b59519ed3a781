// Shading: the light terms of each light type against hand-computed
// values, vertex colours, textures, shadow factors and reflections.

#include "RTTestScenes.h"

#include "raytracer/RTCast.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTShading.h"
#include "raytracer/RTShapeTree.h"
#include "raytracer/RTTextureCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>

using namespace rttest;

namespace {

constexpr float kTolerance = 1e-5f;

void expectColor(const KXColor& c, float r, float g, float b, float tolerance = kTolerance)
{
    EXPECT_NEAR(c.getR(), r, tolerance);
    EXPECT_NEAR(c.getG(), g, tolerance);
    EXPECT_NEAR(c.getB(), b, tolerance);
}

// A scene, its trees, and shading of the first hit along a ray.
struct Shading {
    KXScene scene;
    KXRoot* root = makeScene(scene);
    KXRef<KXLightModel> lights = KXMake<KXLightModel>();
    RTNodeCache nodes;
    RTMeshTreeMap meshes;
    std::unique_ptr<RTShapeTree> tree;
    std::unique_ptr<RTLighting> lighting;
    RTTextureCache textures;
    RTRandom random;
    RTRayContext primary{&random}, secondary{&random};

    Shading() { root->setLightModel(lights.get()); }
    RTShadingContext prepare(bool reflections = false)
    {
        nodes.build(root);
        tree = RTShapeTree::build(root, nodes, meshes);
        textures.clear();
        if (tree)
            for (const RTShape& shape : tree->getShapes())
                textures.addTextureOf(shape.appearance);
        lighting.reset(new RTLighting(root->getLightModel(), KXMatrix()));
        RTShadingContext context;
        context.lighting = lighting.get();
        context.shapeTree = tree.get();
        context.textures = &textures;
        context.reflections = reflections;
        return context;
    }
    // The colour of the first surface along the ray, shaded at depth 0.
    KXColor shade(const RTVec3& origin, const RTVec3& direction, bool reflections = false)
    {
        const RTShadingContext context = prepare(reflections);
        const RTRay ray(origin, direction);
        RTCaster::cast(primary, tree.get(), ray);
        EXPECT_FALSE(primary.getHits().empty());
        if (primary.getHits().empty())
            return KXColor(-1, -1, -1, -1);
        return rtShade(context, primary.getHits()[0], ray, secondary, 0);
    }
    float shadow(const RTVec3& origin, const RTVec3& lightPosition, float radius)
    {
        const RTShadingContext context = prepare();
        RTCaster::cast(primary, tree.get(), RTRay(origin, RTVec3(0, 0, -1)));
        EXPECT_FALSE(primary.getHits().empty());
        if (primary.getHits().empty())
            return -1.0f;
        return rtShadowFactor(context, primary.getHits()[0], lightPosition, RTVec3(), radius, false, secondary);
    }
    template <class Light>
    Light* addLight()
    {
        auto light = KXMake<Light>();
        lights->addLight(light.get());
        return light.get();
    }
};

const RTVec3 kDown(0, 0, -1);
const RTVec3 kUp(0, 0, 1);

// A PNG file of size x size pixels of one colour.
std::vector<unsigned char> solidPng(const KXColor& color, unsigned size = 2)
{
    KXRawImage2D pixels = makeImage(size, size);
    for (unsigned y = 0; y < size; ++y)
        for (unsigned x = 0; x < size; ++x)
            pixels.setColor(x, y, color);
    KXImage2D encoded;
    KXImageUtils::encode(&pixels, &encoded, KXImage2D::KXIMAGE2D_PNG);
    const auto* bytes = static_cast<const unsigned char*>(encoded.getData());
    return std::vector<unsigned char>(bytes, bytes + encoded.getSize());
}

// The colours of the six cube faces, in face order.
const KXColor kFaceColors[6] = {KXColor(1, 0, 0, 1), KXColor(0, 1, 0, 1), KXColor(0, 0, 1, 1),
                                KXColor(1, 1, 0, 1), KXColor(0, 1, 1, 1), KXColor(1, 0, 1, 1)};

KXRef<KXImage3D> makeCubeFaces()
{
    auto cube = KXMake<KXImage3D>();
    for (int f = 0; f < 6; ++f) {
        const std::vector<unsigned char> png = solidPng(kFaceColors[f]);
        cube->setComponentData(f, png.data(), png.size(), KXImage2D::KXIMAGE2D_PNG);
    }
    return cube;
}

} // namespace

TEST(ShadingLights, DirectionalLightGivesDiffuseByTheCosineAndNoHighlight)
{
    Shading s;
    auto floor = makeQuad(0.0f, 5.0f);
    addShape(s.root, floor.get(),
             makeLook(KXColor(0.5f, 0.4f, 0.2f, 1), KXColor(1, 1, 1, 1), 128.0f, KXColor(0.5f, 0.5f, 0.5f, 1),
                      KXColor(0.05f, 0, 0, 1))
                 .get());
    auto* sun = s.addLight<KXDirectionalLight>();
    sun->setDirection(KXVector(1, 0, -1));
    sun->setColor(KXColor(1.0f, 0.5f, 1.0f, 1));
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(0.2f, 0.2f, 0.2f, 1));
    s.lights->setAmbientLight(ambient.get());
    const float cosine = std::sqrt(0.5f);
    // emissive + ambient · ambient light + diffuse · light · |N · L|
    expectColor(s.shade(RTVec3(0.3f, 0.2f, 3), kDown), 0.05f + 0.1f + 0.5f * cosine, 0.1f + 0.4f * 0.5f * cosine,
                0.1f + 0.2f * cosine);
    // A light from below lights nothing; a disabled one neither.
    sun->setDirection(KXVector(0, 0, 1));
    expectColor(s.shade(RTVec3(0.3f, 0.2f, 3), kDown), 0.15f, 0.1f, 0.1f);
}

TEST(ShadingLights, PointLightIsAttenuatedAndHighlightedWithinItsRange)
{
    Shading s;
    auto floor = makeQuad(0.0f, 5.0f);
    addShape(s.root, floor.get(), makeLook(KXColor(0.6f, 0.6f, 0.6f, 1), KXColor(0.5f, 0.25f, 1, 1), 128.0f).get());
    auto* bulb = s.addLight<KXPointLight>();
    bulb->setPosition(KXPosition(0, 0, 2));
    bulb->setAttenuation(1.0f, 0.5f, 0.25f);
    // Hit at (1, 0, 0): distance √5, L = (1, 0, -2)/√5, N · L = -2/√5; the
    // mirrored light direction (1, 0, 2)/√5 meets the view ray (0, 0, -1)
    // at s = -2/√5.
    const float distance = std::sqrt(5.0f);
    const float attenuation = 1.0f / (1.0f + 0.5f * distance + 0.25f * 5.0f);
    const float diffuse = 0.6f * (2.0f / distance) * attenuation;
    const float highlight = std::pow(2.0f / distance, 20.0f) * attenuation;
    expectColor(s.shade(RTVec3(1, 0, 3), kDown), diffuse + 0.5f * highlight, diffuse + 0.25f * highlight,
                diffuse + highlight);
    // Out of range: nothing at all.
    bulb->setRange(2.0f);
    expectColor(s.shade(RTVec3(1, 0, 3), kDown), 0, 0, 0);
    // Disabled: nothing either.
    bulb->setRange(100.0f);
    bulb->setEnabled(false);
    expectColor(s.shade(RTVec3(1, 0, 3), kDown), 0, 0, 0);
}

TEST(ShadingLights, SpotLightFallsOffLinearlyBetweenItsCones)
{
    Shading s;
    auto floor = makeQuad(0.0f, 50.0f);
    addShape(s.root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    auto* spot = s.addLight<KXSpotLight>();
    spot->setPosition(KXPosition(0, 0, 10));
    spot->setDirection(KXVector(0, 0, -1));
    spot->setSpreadAngles(0.5f, 1.0f);
    const auto litAt = [&](float angle) {
        const float x = 10.0f * std::tan(angle);
        // Diffuse: |N · L| = cos(angle), no attenuation.
        return s.shade(RTVec3(x, 0, 3), kDown).getR() / std::cos(angle);
    };
    EXPECT_NEAR(litAt(0.2f), 1.0f, 1e-4f);
    EXPECT_NEAR(litAt(0.375f), 0.5f, 1e-3f);
    EXPECT_NEAR(litAt(0.6f), 0.0f, 1e-6f);
}

TEST(ShadingSurfaces, VertexColoursShowUnlitAndMissingPartsGiveBlack)
{
    Shading s;
    auto painted = KXMake<KXTriMesh>();
    painted->set(KXTriMesh::KXTRIMESHTYPE_LIST, {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}}, {0, 1, 2},
                 std::vector<KXUnitVector>(3, KXUnitVector(0, 0, 1)),
                 {KXColor(1, 0, 0, 1), KXColor(0, 1, 0, 1), KXColor(0, 0, 1, 1)});
    addShape(s.root, painted.get(), makeLook(KXColor(0.2f, 0.2f, 0.2f, 1)).get());
    auto* sun = s.addLight<KXDirectionalLight>();
    sun->setColor(KXColor(1, 1, 1, 1));
    // At the centroid each vertex weighs a third; near a vertex, its colour.
    expectColor(s.shade(RTVec3(1, 1, 2), kDown), 1.0f / 3, 1.0f / 3, 1.0f / 3, 1e-4f);
    expectColor(s.shade(RTVec3(0.01f, 0.01f, 2), kDown), 1.0f - 0.02f / 3, 0.01f / 3, 0.01f / 3, 1e-4f);
    expectColor(s.shade(RTVec3(1.5f, 0, 2), kDown), 0.5f, 0.5f, 0.0f, 1e-4f);

    Shading bare;
    auto unlit = makeQuad(0.0f, 1.0f, false);
    addShape(bare.root, unlit.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    EXPECT_EQ(bare.shade(RTVec3(0, 0, 2), kDown), KXColor());

    Shading plain;
    auto quad = makeQuad(0.0f);
    addShape(plain.root, quad.get(), nullptr);
    EXPECT_EQ(plain.shade(RTVec3(0, 0, 2), kDown), KXColor());
}

TEST(ShadingTextures, BilinearLookupsWrapAndFollowTheTextureMatrix)
{
    // 2 x 2: red, green / blue, white.
    KXRawImage2D image = makeImage(2, 2);
    image.setColor(0, 0, KXColor(1, 0, 0, 1));
    image.setColor(1, 0, KXColor(0, 1, 0, 1));
    image.setColor(0, 1, KXColor(0, 0, 1, 1));
    image.setColor(1, 1, KXColor(1, 1, 1, 1));
    expectColor(rtSample2D(image, 0.0f, 0.0f, nullptr), 1, 0, 0);
    expectColor(rtSample2D(image, 0.25f, 0.0f, nullptr), 0.5f, 0.5f, 0);
    // x = 1.5 blends texel 1 with texel 0 again (wrapping).
    expectColor(rtSample2D(image, 0.75f, 0.0f, nullptr), 0.5f, 0.5f, 0);
    expectColor(rtSample2D(image, 0.25f, 0.25f, nullptr), 0.5f, 0.5f, 0.5f);
    const KXColor wrapped = rtSample2D(image, 1.25f, -0.25f, nullptr);
    const KXColor plain = rtSample2D(image, 0.25f, 0.75f, nullptr);
    expectColor(wrapped, plain.getR(), plain.getG(), plain.getB());
    // A matrix shifting u by a half.
    const KXMatrix2D shift = KXMatrix2D::translation(0.5f, 0.0f);
    expectColor(rtSample2D(image, 0.0f, 0.0f, &shift), 0, 1, 0);
    // Cube faces are read texel by texel.
    expectColor(rtSampleTexel(image, 0.7f, 0.2f), 0, 1, 0);
    expectColor(rtSampleTexel(image, -0.2f, 0.6f), 1, 1, 1);
}

TEST(ShadingTextures, TexturesAreDecodedBeforeShadingAndModulateTheLight)
{
    KXRawImage2D pixels = makeImage(4, 4);
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            pixels.setColor(x, y, KXColor(0.25f * x, 0.25f * y, 1, 1));
    auto encoded = KXMake<KXImage2D>();
    ASSERT_EQ(KXImageUtils::encode(&pixels, encoded.get(), KXImage2D::KXIMAGE2D_PNG), 0);

    Shading s;
    auto quad = makeQuad(0.0f, 1.0f);
    quad->setTexCoordsArray({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    auto look = makeLook(KXColor(0.5f, 0.5f, 0.5f, 1));
    auto* texture = static_cast<KXTexture2D*>(look->createTexture(KXTexture::KXTEXTURE_2D, 0));
    texture->setImage2D(encoded.get());
    addShape(s.root, quad.get(), look.get());
    auto* sun = s.addLight<KXDirectionalLight>();
    sun->setColor(KXColor(1, 1, 1, 1));
    // (u, v) = (0.5, 0.5) is texel (2, 2) exactly.
    expectColor(s.shade(RTVec3(0, 0, 2), kDown), 0.25f, 0.25f, 0.5f, 2e-3f);
    // Decoded once, while the scene was prepared; shading only reads it.
    EXPECT_EQ(s.textures.size(), 1u);
    ASSERT_NE(s.textures.find2D(encoded.get()), nullptr);
    const RTShadingContext context = s.prepare();
    const KXRawImage2D* again = s.textures.find2D(encoded.get());
    const RTRay ray(RTVec3(0.5f, 0.5f, 2), kDown);
    RTCaster::cast(s.primary, s.tree.get(), ray);
    ASSERT_EQ(s.primary.getHitCount(), 1u);
    rtShade(context, s.primary.getHits()[0], ray, s.secondary, 0);
    rtShade(context, s.primary.getHits()[0], ray, s.secondary, 0);
    EXPECT_EQ(s.textures.find2D(encoded.get()), again);
    EXPECT_EQ(s.textures.size(), 1u);
    s.textures.add2D(encoded.get());
    EXPECT_EQ(s.textures.find2D(encoded.get()), again);
    // An image that was not added reads as one that cannot be decoded.
    RTTextureCache empty;
    EXPECT_EQ(empty.find2D(encoded.get()), nullptr);

    // Without a material the texture colour itself.
    look->setMaterial(nullptr);
    expectColor(s.shade(RTVec3(0, 0, 2), kDown), 0.5f, 0.5f, 1.0f, 2e-3f);
    // An image that cannot be decoded gives KXColor(); the failure is kept.
    auto broken = KXMake<KXImage2D>();
    broken->setData("not an image", 12, KXImage2D::KXIMAGE2D_PNG);
    texture->setImage2D(broken.get());
    EXPECT_EQ(s.shade(RTVec3(0, 0, 2), kDown), KXColor());
    EXPECT_EQ(s.textures.size(), 1u);
    EXPECT_EQ(s.textures.find2D(broken.get()), nullptr);
}

TEST(ShadingTextures, CubeMapsReadTheFaceEveryCornerPointsInto)
{
    auto cube = makeCubeFaces();
    Shading s;
    auto quad = makeQuad(0.0f, 1.0f);
    auto look = KXMake<KXAppearance>();
    static_cast<KXTexture3D*>(look->createTexture(KXTexture::KXTEXTURE_3D, 0))->setImage3D(cube.get());
    addShape(s.root, quad.get(), look.get());
    // Corner directions that, in both triangles of the quad, all point to
    // one side along one axis only, tested x, then y, then z; mixed signs
    // on every axis give face 1.
    const std::vector<KXPosition> corners[7] = {
        {{0.5f, 0.2f, -0.3f}, {0.9f, -0.4f, 0.1f}, {0.3f, 0.5f, 0.5f}, {0.7f, -0.1f, -0.6f}},   // +x: 0
        {{-0.5f, 0.2f, -0.3f}, {-0.9f, -0.4f, 0.1f}, {-0.3f, 0.5f, 0.5f}, {-0.7f, 0.1f, 0.6f}}, // -x: 1
        {{0.5f, 0.2f, -0.3f}, {-0.9f, 0.4f, 0.1f}, {0.3f, 0.5f, 0.5f}, {-0.7f, 0.1f, -0.6f}},   // +y: 2
        {{0.5f, -0.2f, -0.3f}, {-0.9f, -0.4f, 0.1f}, {0.3f, -0.5f, 0.5f}, {-0.7f, -0.1f, 0.6f}}, // -y: 3
        {{0.5f, 0.2f, 0.3f}, {-0.9f, -0.4f, 0.1f}, {0.3f, -0.5f, 0.5f}, {-0.7f, 0.1f, 0.6f}},    // +z: 4
        {{0.5f, 0.2f, -0.3f}, {-0.9f, -0.4f, -0.1f}, {0.3f, -0.5f, -0.5f}, {-0.7f, 0.1f, -0.6f}}, // -z: 5
        {{0.5f, 0.2f, -0.3f}, {-0.9f, -0.4f, 0.1f}, {0.3f, 0.5f, 0.5f}, {-0.7f, -0.1f, -0.6f}}, // none: 1
    };
    const int expectedFace[7] = {0, 1, 2, 3, 4, 5, 1};
    for (int c = 0; c < 7; ++c) {
        quad->setCubicTexCoordsArray(corners[c]);
        // Without a material the texture colour shows as it is; both
        // triangles of the quad read the same face.
        for (const RTVec3& at : {RTVec3(0.5f, -0.3f, 2), RTVec3(-0.4f, 0.6f, 2)}) {
            SCOPED_TRACE(testing::Message() << "corners " << c << " at " << at.x << ", " << at.y);
            const KXColor& face = kFaceColors[expectedFace[c]];
            expectColor(s.shade(at, kDown), face.getR(), face.getG(), face.getB());
        }
    }
    // An image held as one file is not sampled.
    auto oneFile = KXMake<KXImage3D>();
    static_cast<KXTexture3D*>(look->getTexture(0))->setImage3D(oneFile.get());
    EXPECT_EQ(s.shade(RTVec3(0.5f, -0.3f, 2), kDown), KXColor());
}

TEST(ShadowFactor, OpaqueSurfacesBlockGlassDimsAndNothingBeyondTheLightCounts)
{
    // A floor, covers of the given height and alpha over it, and a light at
    // z = 6 above the floor point below (0.1, 0.2, 1).
    const auto receiverWith = [](std::initializer_list<std::pair<float, float>> covers, Shading& s) {
        auto floor = makeQuad(0.0f, 10.0f);
        addShape(s.root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
        for (const auto& [height, alpha] : covers) {
            auto cover = makeQuad(height, 2.0f);
            cover->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
            addShape(s.root, cover.get(), makeLook(KXColor(1, 1, 1, alpha)).get());
        }
    };
    const RTVec3 light(0, 0, 6), at(0.1f, 0.2f, 1);
    // Hard shadow (radius 0) and soft shadow (radius 0.5) for each case:
    // 49 samples add 0.02 when clear, 0.01 through glass only, 0 when
    // blocked.
    const struct {
        std::initializer_list<std::pair<float, float>> covers;
        float hard, soft;
    } cases[] = {
        {{}, 1.0f, 0.98f},                         // nothing in the way
        {{{3.0f, 1.0f}}, 0.0f, 0.0f},              // a roof
        {{{2.0f, 0.5f}}, 0.5f, 0.49f},             // one pane of glass
        {{{2.0f, 0.5f}, {3.0f, 0.5f}}, 0.5f, 0.49f}, // two panes
        {{{2.0f, 0.5f}, {3.0f, 1.0f}}, 0.0f, 0.0f},  // glass in front of a roof
        {{{3.0f, 1.0f}, {2.0f, 0.5f}}, 0.0f, 0.0f},  // and the other way round
        {{{8.0f, 1.0f}}, 1.0f, 0.98f},             // a ceiling above the light
        {{{2.0f, 0.5f}, {8.0f, 1.0f}}, 0.5f, 0.49f}, // glass, and a ceiling above
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        Shading s;
        receiverWith(cases[c].covers, s);
        EXPECT_EQ(s.shadow(at, light, 0.0f), cases[c].hard) << "case " << c;
        EXPECT_NEAR(s.shadow(at, light, 0.5f), cases[c].soft, 1e-5f) << "case " << c;
    }

    // An area light half hidden behind the edge of a roof.
    Shading edge;
    auto floor = makeQuad(0.0f, 10.0f);
    addShape(edge.root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    auto half = makeQuad(3.0f, 2.0f, true, -2.0f, 0.0f);
    half->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(edge.root, half.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    const float partial = edge.shadow(RTVec3(0, 0.2f, 1), light, 1.0f);
    EXPECT_GT(partial, 0.2f);
    EXPECT_LT(partial, 0.8f);
}

TEST(ShadowFactor, SoftShadowSamplesSpreadAcrossEveryDirection)
{
    std::vector<RTVec3> directions = {RTVec3(1, 0, 0), RTVec3(-1, 0, 0), RTVec3(0, 1, 0), RTVec3(0, -1, 0),
                                      RTVec3(0, 0, 1), RTVec3(0, 0, -1), RTVec3(1, 1, 0), RTVec3(0, 1, 1),
                                      RTVec3(1, 0, 1), RTVec3(1, 1, 1), RTVec3(-1, 1, -1)};
    std::mt19937 random(5);
    std::normal_distribution<float> normal;
    for (int k = 0; k < 200; ++k)
        directions.emplace_back(normal(random), normal(random), normal(random));
    for (const RTVec3& direction : directions) {
        const RTVec3 d = rtNormalize(direction);
        RTVec3 u, v;
        rtSoftShadowAxes(d, u, v);
        EXPECT_NEAR(rtLength(u), 1.0f, 1e-5f) << d.x << " " << d.y << " " << d.z;
        EXPECT_NEAR(rtLength(v), 1.0f, 1e-5f) << d.x << " " << d.y << " " << d.z;
        EXPECT_NEAR(rtDot(u, d), 0.0f, 1e-5f);
        EXPECT_NEAR(rtDot(v, d), 0.0f, 1e-5f);
        EXPECT_NEAR(rtDot(u, v), 0.0f, 1e-5f);
    }

    // A light straight along +y from the point, its left part hidden behind
    // a wall whose edge the ray to the light's centre just passes: only a
    // spread of samples finds the shadow.
    Shading s;
    auto receiver = makeQuad(1.0f, 0.5f);
    addShape(s.root, receiver.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    auto wall = KXMake<KXTriMesh>();
    wall->set(KXTriMesh::KXTRIMESHTYPE_LIST, {{-3, 3, -2}, {-0.05f, 3, -2}, {-0.05f, 3, 4}, {-3, 3, 4}},
              {0, 1, 2, 0, 2, 3});
    addShape(s.root, wall.get(), makeLook(KXColor(1, 1, 1, 1)).get());
    const float factor = s.shadow(RTVec3(0, 0, 3), RTVec3(0, 6, 1), 1.0f);
    EXPECT_GT(factor, 0.2f);
    EXPECT_LT(factor, 0.8f);
}

TEST(Reflections, MirrorsShowWhatTheyFaceTwoLevelsDeep)
{
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(1, 1, 1, 1), 0.0f).get()), 1.0f);
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(1, 1, 1, 1), 128.0f).get()), 0.0f);
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(0.5f, 0.5f, 0.5f, 1), 64.0f).get()), 0.25f);
    auto bare = KXMake<KXAppearance>();
    EXPECT_EQ(rtReflectivity(bare.get()), 0.0f);

    // Two mirrors facing each other, a floor glowing red and a ceiling
    // glowing green, both of reflectivity 1 and diffuse grey 0.5, with no
    // lights. A ray down onto the floor sees its glow, plus half of the
    // ceiling (level one), which adds half of the floor's glow (level two);
    // a third level would add half of the ceiling's again:
    //   one level:    red 0.1,  green 0.1
    //   two levels:   red 0.125, green 0.1
    //   three levels: red 0.125, green 0.125
    Shading s;
    auto floor = makeQuad(0.0f, 5.0f);
    addShape(s.root, floor.get(),
             makeLook(KXColor(0.5f, 0.5f, 0.5f, 1), KXColor(1, 1, 1, 1), 0.0f, KXColor(0, 0, 0, 1),
                      KXColor(0.1f, 0, 0, 1))
                 .get());
    auto ceiling = makeQuad(0.0f, 5.0f);
    ceiling->setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    ceiling->setIndicesArray({0, 2, 1, 0, 3, 2});
    addShape(s.root, ceiling.get(),
             makeLook(KXColor(0.5f, 0.5f, 0.5f, 1), KXColor(1, 1, 1, 1), 0.0f, KXColor(0, 0, 0, 1),
                      KXColor(0, 0.2f, 0, 1))
                 .get(),
             KXMatrix::translation(0, 0, 4));
    expectColor(s.shade(RTVec3(0.5f, 0, 2), RTVec3(0.2f, 0, -1), true), 0.125f, 0.1f, 0);
    // Without reflections the floor's own glow only.
    expectColor(s.shade(RTVec3(0.5f, 0, 2), RTVec3(0.2f, 0, -1), false), 0.1f, 0, 0);
}

TEST(ShadingSurfaces, BackFacesOfTwoSidedMeshesAreLitOnTheSideSeen)
{
    Shading s;
    auto sheet = makeQuad(0.0f, 2.0f);
    sheet->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    addShape(s.root, sheet.get(), makeLook(KXColor(0.8f, 0.6f, 0.4f, 1)).get());
    auto* sun = s.addLight<KXDirectionalLight>();
    sun->setColor(KXColor(1, 1, 1, 1));
    const RTVec3 below(0.2f, 0.1f, -2), above(0.2f, 0.1f, 2);
    // Light travelling up lights the underside, seen from below, and not
    // the top; light travelling down the other way round.
    sun->setDirection(KXVector(0, 0, 1));
    expectColor(s.shade(below, kUp), 0.8f, 0.6f, 0.4f);
    expectColor(s.shade(above, kDown), 0, 0, 0);
    sun->setDirection(KXVector(0, 0, -1));
    expectColor(s.shade(below, kUp), 0, 0, 0);
    expectColor(s.shade(above, kDown), 0.8f, 0.6f, 0.4f);
    // A one-sided sheet is not seen from below at all.
    Shading one;
    auto oneSided = makeQuad(0.0f, 2.0f);
    addShape(one.root, oneSided.get(), makeLook(KXColor(0.8f, 0.6f, 0.4f, 1)).get());
    one.prepare();
    RTCaster::cast(one.primary, one.tree.get(), RTRay(below, kUp));
    EXPECT_TRUE(one.primary.getHits().empty());
}

TEST(ShadowFactor, AreaLightsDrawTheirNumbersEvenWhereTheyAddNothing)
{
    // A floor lit from below: no term of the light reaches it, so a hard
    // shadow ray has nothing to change and may be left out, but an area
    // light's rays draw random numbers that the next pixels must not see
    // again, so they are drawn all the same: 49 rays, two numbers each.
    const auto numbersDrawn = [](float radius) {
        Shading s;
        auto floor = makeQuad(0.0f, 5.0f);
        addShape(s.root, floor.get(), makeLook(KXColor(1, 1, 1, 1), KXColor(1, 1, 1, 1), 0.0f).get());
        auto cover = makeQuad(-3.0f, 2.0f);
        cover->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
        addShape(s.root, cover.get(), makeLook(KXColor(1, 1, 1, 1)).get());
        auto* bulb = s.addLight<KXPointLight>();
        bulb->setPosition(KXPosition(0, 0, -6));
        bulb->setRadius(radius);
        bulb->setCastShadows(true);
        auto* sun = s.addLight<KXDirectionalLight>();
        sun->setDirection(KXVector(0, 0, 1));
        sun->setCastShadows(true);
        expectColor(s.shade(RTVec3(0.3f, 0.2f, 3), kDown), 0, 0, 0);
        const int following = s.random.next();
        RTRandom fresh;
        for (int drawn = 0; drawn < 200; ++drawn)
            if (fresh.next() == following)
                return drawn;
        return -1;
    };
    EXPECT_EQ(numbersDrawn(0.0f), 0);
    EXPECT_EQ(numbersDrawn(0.5f), 98);
}
