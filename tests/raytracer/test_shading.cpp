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

TEST(ShadingTextures, TexturesAreDecodedOnceAndModulateTheLight)
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
    EXPECT_EQ(s.textures.size(), 1u);
    s.shade(RTVec3(0.5f, 0.5f, 2), kDown);
    EXPECT_EQ(s.textures.size(), 1u);

    // Without a material the texture colour itself.
    look->setMaterial(nullptr);
    expectColor(s.shade(RTVec3(0, 0, 2), kDown), 0.5f, 0.5f, 1.0f, 2e-3f);
    // An image that cannot be decoded gives KXColor() and is not kept.
    auto broken = KXMake<KXImage2D>();
    broken->setData("not an image", 12, KXImage2D::KXIMAGE2D_PNG);
    texture->setImage2D(broken.get());
    EXPECT_EQ(s.shade(RTVec3(0, 0, 2), kDown), KXColor());
    EXPECT_EQ(s.textures.size(), 1u);
}

TEST(ShadowFactor, OneSurfaceBlocksTwoHalveAreaLightsSpreadSamples)
{
    const auto receiverWith = [](std::initializer_list<std::pair<float, float>> occluders, Shading& s) {
        auto floor = makeQuad(0.0f, 10.0f);
        addShape(s.root, floor.get(), makeLook(KXColor(1, 1, 1, 1)).get());
        for (const auto& [height, alpha] : occluders) {
            auto cover = makeQuad(height, 2.0f);
            cover->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
            addShape(s.root, cover.get(), makeLook(KXColor(1, 1, 1, alpha)).get());
        }
    };
    const RTVec3 light(0, 0, 6);
    Shading open;
    receiverWith({}, open);
    EXPECT_EQ(open.shadow(RTVec3(0.1f, 0.2f, 0.5f), light, 0.0f), 1.0f);
    // 49 clear samples of 0.02 each.
    EXPECT_NEAR(open.shadow(RTVec3(0.1f, 0.2f, 0.5f), light, 0.5f), 0.98f, 1e-5f);

    Shading roof;
    receiverWith({{3.0f, 1.0f}}, roof);
    EXPECT_EQ(roof.shadow(RTVec3(0.1f, 0.2f, 1), light, 0.0f), 0.0f);
    EXPECT_EQ(roof.shadow(RTVec3(0.1f, 0.2f, 1), light, 0.5f), 0.0f);

    // Two panes of glass: two surfaces on the way.
    Shading panes;
    receiverWith({{2.0f, 0.5f}, {3.0f, 0.5f}}, panes);
    EXPECT_EQ(panes.shadow(RTVec3(0.1f, 0.2f, 1), light, 0.0f), 0.5f);
    // Each sample meeting two surfaces adds 0.01.
    EXPECT_NEAR(panes.shadow(RTVec3(0.1f, 0.2f, 1), light, 0.5f), 0.49f, 1e-5f);
    // A single pane is one surface, as good as a wall.
    Shading pane;
    receiverWith({{2.0f, 0.5f}}, pane);
    EXPECT_EQ(pane.shadow(RTVec3(0.1f, 0.2f, 1), light, 0.0f), 0.0f);

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

TEST(Reflections, MirrorsShowWhatTheyFaceTwoLevelsDeep)
{
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(1, 1, 1, 1), 0.0f).get()), 1.0f);
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(1, 1, 1, 1), 128.0f).get()), 0.0f);
    EXPECT_FLOAT_EQ(rtReflectivity(makeLook(KXColor(1, 1, 1, 1), KXColor(0.5f, 0.5f, 0.5f, 1), 64.0f).get()), 0.25f);
    auto bare = KXMake<KXAppearance>();
    EXPECT_EQ(rtReflectivity(bare.get()), 0.0f);

    // A mirror on the floor facing a glowing ceiling (normals down).
    Shading s;
    auto mirror = makeQuad(0.0f, 5.0f);
    addShape(s.root, mirror.get(), makeLook(KXColor(0.5f, 0.5f, 0.5f, 1), KXColor(1, 1, 1, 1), 0.0f).get());
    auto ceiling = makeQuad(0.0f, 5.0f);
    ceiling->setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    ceiling->setIndicesArray({0, 2, 1, 0, 3, 2});
    addShape(s.root, ceiling.get(),
             makeLook(KXColor(0, 0, 0, 1), KXColor(0, 0, 0, 1), 128.0f, KXColor(0, 0, 0, 1), KXColor(0.8f, 0.6f, 0.4f, 1))
                 .get(),
             KXMatrix::translation(0, 0, 4));
    // Seen from the side, below the ceiling: the mirror shows the glow,
    // weighted by its diffuse colour and reflectivity 1.
    expectColor(s.shade(RTVec3(0.5f, 0, 2), RTVec3(0.2f, 0, -1), true), 0.4f, 0.3f, 0.2f);
    expectColor(s.shade(RTVec3(0.5f, 0, 2), RTVec3(0.2f, 0, -1), false), 0, 0, 0);
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
