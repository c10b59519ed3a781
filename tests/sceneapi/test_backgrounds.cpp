#include "sceneapi/KXBackground.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr float kPi = 3.14159265f;

struct Clip {
    float x, y, z, w;
    float ndcX() const { return x / w; }
    float ndcY() const { return y / w; }
    float depth() const { return z / w; }
};

Clip toClip(const KXMatrix& m, const KXPosition& p, float w = 1.0f)
{
    const float in[4] = {p.getX(), p.getY(), p.getZ(), w};
    float out[4];
    for (int c = 0; c < 4; ++c)
        out[c] = in[0] * m.get(0, c) + in[1] * m.get(1, c) + in[2] * m.get(2, c) + in[3] * m.get(3, c);
    return {out[0], out[1], out[2], out[3]};
}

KXMatrix worldViewProjection(const KXCamera& camera)
{
    return camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix();
}

// Twice the signed area of a screen triangle, positive when its corners run
// counter-clockwise with y up: such triangles survive the renderer's cull
// mode 0, which removes clockwise ones.
float signedArea(const Clip& a, const Clip& b, const Clip& c)
{
    return (b.ndcX() - a.ndcX()) * (c.ndcY() - a.ndcY()) - (c.ndcX() - a.ndcX()) * (b.ndcY() - a.ndcY());
}

// Barycentric weights of (x, y) in a screen triangle.
bool barycentric(const Clip& a, const Clip& b, const Clip& c, float x, float y, float w[3])
{
    const float area = signedArea(a, b, c);
    if (area == 0.0f)
        return false;
    const Clip p{x, y, 0.0f, 1.0f};
    w[0] = signedArea(p, b, c) / area;
    w[1] = signedArea(a, p, c) / area;
    w[2] = signedArea(a, b, p) / area;
    return w[0] >= -1e-6f && w[1] >= -1e-6f && w[2] >= -1e-6f;
}

// The world matrix the canvas gives a sky camera each frame, written out as
// the renderer computes it: S × Ry × Rx × R for a box, S × Ry × R for a dome,
// with R the rotation part of (scene view × S) and the angles 1.570795 and
// 3.14159 as the renderer uses them.
KXMatrix canvasSkyWorld(const KXCamera& sceneCamera, bool box)
{
    const KXMatrix s = KXMatrix::scaling(-1.0f, 1.0f, 1.0f);
    const KXMatrix rx = KXMatrix::rotationX(1.570795f);
    const KXMatrix ry = KXMatrix::rotationY(3.14159f);
    KXVector scale, translation;
    KXMatrix r;
    (sceneCamera.getViewMatrix() * s).decompose(scale, r, translation);
    return box ? s * ry * rx * r : s * ry * r;
}

// Gives the sky camera what the application and the canvas give it: the
// scene camera's field of view and viewport, and the world matrix.
void followSceneCamera(KXPerspectiveCamera& sky, const KXPerspectiveCamera& scene, bool box)
{
    sky.setFOV(scene.getFOV());
    sky.setViewport(scene.getViewport());
    sky.setWorldMatrix(canvasSkyWorld(scene, box));
}

// Where the scene camera shows the scene direction d: the point at infinity.
Clip sceneDirectionClip(const KXCamera& scene, const KXVector& d)
{
    return toClip(scene.getViewMatrix() * scene.getProjectionMatrix(), KXPosition(d), 0.0f);
}

// Scene direction named by a cube-map direction: scene (x, y, z) is cube-map
// (x, z, y), +z up showing the top face and +y the front face.
KXVector sceneDirectionOfCubeMap(const KXPosition& c)
{
    return KXVector(c.getX(), c.getZ(), c.getY());
}

// Scene direction of a sky-dome texture coordinate: u around the horizon
// clockwise from -y (so +y at 0.5, +x at 0.75), v from the zenith (0) to the
// horizon (1).
KXVector sceneDirectionOfDomeUV(const KXPosition2D& uv)
{
    const float azimuth = 1.5f * kPi - 2.0f * kPi * uv.getX();
    const float elevation = (1.0f - uv.getY()) * 0.5f * kPi;
    return KXVector(std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
                    std::sin(elevation));
}

// The point of a sky-box mesh that carries cube-map direction c, found by
// interpolating within the triangle of c's face that contains it.
bool skyBoxPointFor(const KXTriMesh& mesh, KXPosition c, KXPosition& out)
{
    const float m = std::max({std::fabs(c.getX()), std::fabs(c.getY()), std::fabs(c.getZ())});
    c = KXPosition(c.getX() / m, c.getY() / m, c.getZ() / m);
    const auto& cubic = mesh.getCubicTexCoordsArray();
    const auto& v = mesh.getVertexArray();
    for (uint32_t t = 0; t < static_cast<uint32_t>(mesh.getNumTriangles()); ++t) {
        uint32_t i[3];
        mesh.getTriangle(t, i[0], i[1], i[2]);
        const KXVector a(cubic[i[0]]), e1 = cubic[i[1]] - cubic[i[0]], e2 = cubic[i[2]] - cubic[i[0]];
        const KXVector n = e1.cross(e2);
        // c must lie in the triangle's plane.
        if (std::fabs((KXVector(c) - a).dot(n)) > 1e-5f * n.length())
            continue;
        const KXVector q = KXVector(c) - a;
        const float d11 = e1.dot(e1), d12 = e1.dot(e2), d22 = e2.dot(e2);
        const float q1 = q.dot(e1), q2 = q.dot(e2);
        const float det = d11 * d22 - d12 * d12;
        const float b1 = (d22 * q1 - d12 * q2) / det, b2 = (d11 * q2 - d12 * q1) / det;
        if (b1 < -1e-5f || b2 < -1e-5f || b1 + b2 > 1.0f + 1e-5f)
            continue;
        out = v[i[0]] + (v[i[1]] - v[i[0]]) * b1 + (v[i[2]] - v[i[0]]) * b2;
        return true;
    }
    return false;
}

// Random scene cameras looking every which way, with varied fields of view
// and aspect ratios.
KXRef<KXPerspectiveCamera> randomSceneCamera(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    auto camera = KXMake<KXPerspectiveCamera>();
    const KXPosition eye(10.0f * n(rng), 10.0f * n(rng), 10.0f * n(rng));
    const KXVector dir(n(rng), n(rng), n(rng));
    camera->setPosition(eye, eye + dir, KXVector(n(rng), n(rng), n(rng)));
    camera->setFOV(0.4f + 1.4f * u(rng));
    camera->setViewport(KXDimension2D(200.0f + 800.0f * u(rng), 200.0f + 800.0f * u(rng)));
    return camera;
}

} // namespace

TEST(KXBackgroundTest, TypesAndKinds)
{
    KXSingleColorBackground single;
    KXGradientBackground gradient;
    KXImageBackground image;
    KXSkyBox box(nullptr);
    KXSkyDome dome;
    const KXBackground* all[] = {&single, &gradient, &image, &box, &dome};
    for (int type = 0; type < 5; ++type)
        EXPECT_EQ(all[type]->getBackgroundType(), type);

    EXPECT_EQ(single.getCamera(), nullptr);
    EXPECT_EQ(single.getGeometry(), nullptr);
    EXPECT_EQ(single.getColor(), KXColor(0.5f, 0.5f, 0.5f, 1.0f));
    for (const KXBackground* b : {all[1], all[2], all[3], all[4]}) {
        ASSERT_NE(b->getCamera(), nullptr);
        ASSERT_NE(b->getGeometry(), nullptr);
        EXPECT_EQ(b->getGeometry()->getGeomType(), KXGeometry::KXGEOMTYPE_TRIMESH);
    }
    EXPECT_EQ(gradient.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    EXPECT_EQ(image.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    EXPECT_EQ(box.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_PERSPECTIVE);
    EXPECT_EQ(dome.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_PERSPECTIVE);

    // Textured kinds start with a texture and a light model; gradients are
    // drawn unlit.
    EXPECT_EQ(gradient.getLightModel(), nullptr);
    EXPECT_NE(image.getTexture2D(), nullptr);
    EXPECT_EQ(image.getTextureAttributes(), nullptr);
    EXPECT_NE(box.getTexture3D(), nullptr);
    EXPECT_NE(dome.getTexture2D(), nullptr);
    EXPECT_NE(image.getLightModel(), nullptr);
    EXPECT_NE(box.getLightModel(), nullptr);
    EXPECT_NE(dome.getLightModel(), nullptr);
}

TEST(KXBackgroundTest, DefaultLightModelLightsEveryNormalFully)
{
    KXSkyBox box;
    const KXLightModel* model = box.getLightModel();
    ASSERT_NE(model, nullptr);
    std::mt19937 rng(3);
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (int i = 0; i < 1000; ++i) {
        KXUnitVector normal(n(rng), n(rng), n(rng));
        float diffuse = 0.0f;
        for (int l = 0; l < model->getNumLights(); ++l) {
            const auto* light = dynamic_cast<const KXDirectionalLight*>(model->getLight(l));
            ASSERT_NE(light, nullptr);
            // Diffuse light is N · L with L pointing toward the light.
            diffuse += std::max(0.0f, -normal.dot(light->getDirection())) * light->getColor().getR();
        }
        EXPECT_GE(diffuse, 1.0f - 1e-5f);
    }
}

TEST(KXBackgroundTest, BackgroundsHoldTheirPartsByReference)
{
    auto image = KXMake<KXImageBackground>();
    auto texture = KXMake<KXTexture2D>();
    auto attributes = KXMake<KXTextureAttributes>();
    image->setTexture2D(texture.get());
    image->setTextureAttributes(attributes.get());
    EXPECT_EQ(texture->getRefCount(), 2);
    EXPECT_EQ(attributes->getRefCount(), 2);
    image->setLightModel(nullptr);
    EXPECT_EQ(image->getLightModel(), nullptr);
    image = nullptr;
    EXPECT_EQ(texture->getRefCount(), 1);
    EXPECT_EQ(attributes->getRefCount(), 1);

    // A sky box serves as the root's reflection environment.
    auto root = KXMake<KXRoot>();
    auto box = KXMake<KXSkyBox>();
    root->setReflectionEnvironment(box.get());
    const auto* environment = dynamic_cast<const KXSkyBox*>(root->getReflectionEnvironment());
    ASSERT_NE(environment, nullptr);
    EXPECT_NE(environment->getTexture3D(), nullptr);
    EXPECT_EQ(environment->getTexture3D()->getTextureType(), KXTexture::KXTEXTURE_3D);
}

TEST(KXGradientBackgroundTest, ColourStopsAreSortedClampedAndInterpolated)
{
    KXGradientBackground gradient;
    EXPECT_EQ(gradient.getBottomColor(), KXColor(0.85f, 0.85f, 0.9f, 1.0f));
    EXPECT_EQ(gradient.getTopColor(), KXColor(0.25f, 0.35f, 0.55f, 1.0f));

    const KXColor red(1, 0, 0, 1), green(0, 1, 0, 1), blue(0, 0, 1, 1);
    gradient.setColorStops({{0.75f, blue}, {-3.0f, red}, {NAN, green}, {0.25f, green}});
    ASSERT_EQ(gradient.getColorStops().size(), 3u);
    EXPECT_FLOAT_EQ(gradient.getColorStops()[0].position, 0.0f);
    EXPECT_FLOAT_EQ(gradient.getColorStops()[1].position, 0.25f);
    EXPECT_FLOAT_EQ(gradient.getColorStops()[2].position, 0.75f);
    EXPECT_EQ(gradient.getColorAt(0.125f), KXColor(0.5f, 0.5f, 0, 1));
    EXPECT_EQ(gradient.getColorAt(0.9f), blue);
    EXPECT_EQ(gradient.getTopColor(), blue);

    gradient.setColorStops({});
    EXPECT_EQ(gradient.getColorStops().size(), 3u);

    // The top stop lies inside the view: a new one is added at the edge.
    gradient.setTopColor(red);
    EXPECT_EQ(gradient.getColorStops().size(), 4u);
    EXPECT_EQ(gradient.getColorAt(0.875f), KXColor(0.5f, 0, 0.5f, 1));
    gradient.setBottomColor(blue);
    EXPECT_EQ(gradient.getColorStops().size(), 4u);
    EXPECT_EQ(gradient.getBottomColor(), blue);
}

// The gradient's mesh, seen through its own camera, must tile the clip square
// exactly, front side up, with the colour of the gradient at every height.
TEST(KXGradientBackgroundTest, GeometryFillsTheClipSquareOfItsCameraWithTheGradient)
{
    KXGradientBackground gradient;
    const KXColor red(1, 0, 0, 1), green(0, 1, 0, 1), blue(0, 0, 1, 1);
    const std::vector<std::vector<KXGradientBackground::KXColorStop>> cases = {
        {},
        {{0.3f, red}, {0.6f, green}},
        {{0.0f, red}, {0.5f, red}, {0.5f, blue}, {1.0f, green}}, // a sharp edge at the middle
        {{0.4f, blue}},
    };
    for (const auto& stops : cases) {
        if (!stops.empty())
            gradient.setColorStops(stops);
        const KXTriMesh* mesh = gradient.getGeometry();
        EXPECT_TRUE(mesh->getNormalsArray().empty());
        EXPECT_TRUE(mesh->getTexCoordsArray().empty());
        ASSERT_EQ(mesh->getColorArray().size(), mesh->getVertexArray().size());

        const KXCamera& camera = *gradient.getCamera();
        const KXMatrix m = worldViewProjection(camera);
        std::vector<Clip> clip;
        float minX = 2, maxX = -2, minY = 2, maxY = -2;
        for (const KXPosition& v : mesh->getVertexArray()) {
            clip.push_back(toClip(m, v));
            // One unit in front of the eye, inside the depth range.
            EXPECT_NEAR(camera.getViewMatrix().transform(v).getZ(), -1.0f, 1e-6f);
            EXPECT_GT(clip.back().depth(), 0.0f);
            EXPECT_LT(clip.back().depth(), 1.0f);
            minX = std::min(minX, clip.back().ndcX());
            maxX = std::max(maxX, clip.back().ndcX());
            minY = std::min(minY, clip.back().ndcY());
            maxY = std::max(maxY, clip.back().ndcY());
        }
        EXPECT_FLOAT_EQ(minX, -1.0f);
        EXPECT_FLOAT_EQ(maxX, 1.0f);
        EXPECT_FLOAT_EQ(minY, -1.0f);
        EXPECT_FLOAT_EQ(maxY, 1.0f);

        float area = 0.0f;
        for (int t = 0; t < mesh->getNumTriangles(); ++t) {
            uint32_t a, b, c;
            mesh->getTriangle(t, a, b, c);
            const float twice = signedArea(clip[a], clip[b], clip[c]);
            EXPECT_GT(twice, 0.0f);
            area += 0.5f * twice;
        }
        EXPECT_NEAR(area, 4.0f, 1e-5f);

        // Every sample of the square is covered, with the gradient's colour.
        for (int i = 0; i <= 20; ++i) {
            for (int j = 0; j <= 20; ++j) {
                const float x = -0.999f + 1.998f * i / 20.0f, y = -0.993f + 1.998f * j / 20.0f;
                bool covered = false;
                for (int t = 0; t < mesh->getNumTriangles() && !covered; ++t) {
                    uint32_t k[3];
                    mesh->getTriangle(t, k[0], k[1], k[2]);
                    float w[3];
                    if (!barycentric(clip[k[0]], clip[k[1]], clip[k[2]], x, y, w))
                        continue;
                    covered = true;
                    const auto& colors = mesh->getColorArray();
                    const KXColor shown = colors[k[0]] * w[0] + colors[k[1]] * w[1] + colors[k[2]] * w[2];
                    const KXColor expected = gradient.getColorAt(0.5f * (y + 1.0f));
                    EXPECT_NEAR(shown.getR(), expected.getR(), 1e-4f);
                    EXPECT_NEAR(shown.getG(), expected.getG(), 1e-4f);
                    EXPECT_NEAR(shown.getB(), expected.getB(), 1e-4f);
                }
                EXPECT_TRUE(covered) << x << ", " << y;
            }
        }
    }
}

TEST(KXGradientBackgroundTest, ColourChangesRebuildTheGeometry)
{
    KXGradientBackground gradient;
    KXTriMesh* mesh = gradient.getGeometry();
    gradient.setColors(KXColor(1, 0, 0, 1), KXColor(0, 0, 1, 1));
    EXPECT_EQ(gradient.getGeometry(), mesh);
    const auto& colors = mesh->getColorArray();
    const auto& vertices = mesh->getVertexArray();
    for (size_t i = 0; i < vertices.size(); ++i)
        EXPECT_EQ(colors[i], vertices[i].getY() < 0.0f ? KXColor(1, 0, 0, 1) : KXColor(0, 0, 1, 1));
}

// Tiled rendering narrows a view by editing the z row of the projection, as
// for a perspective camera. The background quad sits one unit in front of its
// eye, so such an edit moves it exactly as it moves a perspective view.
TEST(KXGradientBackgroundTest, ProjectionZRowEditsShiftTheQuadLikeAPerspectiveView)
{
    KXGradientBackground gradient;
    KXPerspectiveCamera scene;
    KXOrthoCamera* background = gradient.getCamera();

    const KXPosition scenePoint = scene.getTargetPosition();
    const KXPosition quadPoint = gradient.getGeometry()->getVertexArray()[0];
    const float sceneBefore = toClip(worldViewProjection(scene), scenePoint).ndcX();
    const float quadBefore = toClip(worldViewProjection(*background), quadPoint).ndcX();
    for (KXCamera* camera : {static_cast<KXCamera*>(&scene), static_cast<KXCamera*>(background)}) {
        KXMatrix p = camera->getProjectionMatrix();
        p.set(2, 0, 0.75f);
        p.set(2, 1, -0.25f);
        camera->setProjectionMatrix(p);
    }
    const float sceneShift = toClip(worldViewProjection(scene), scenePoint).ndcX() - sceneBefore;
    const float quadShift = toClip(worldViewProjection(*background), quadPoint).ndcX() - quadBefore;
    EXPECT_NEAR(sceneShift, quadShift, 1e-5f);
    EXPECT_NEAR(std::fabs(quadShift), 0.75f, 1e-5f);
}

TEST(KXImageBackgroundTest, QuadFillsTheViewFacingTheCameraWithTheImageUpright)
{
    KXImageBackground image;
    const KXTriMesh* mesh = image.getGeometry();
    const KXCamera& camera = *image.getCamera();
    ASSERT_EQ(mesh->getNormalsArray().size(), mesh->getVertexArray().size());
    ASSERT_EQ(mesh->getTexCoordsArray().size(), mesh->getVertexArray().size());
    EXPECT_TRUE(mesh->getColorArray().empty());

    const KXMatrix m = worldViewProjection(camera);
    std::vector<Clip> clip;
    for (size_t i = 0; i < mesh->getVertexArray().size(); ++i) {
        clip.push_back(toClip(m, mesh->getVertexArray()[i]));
        // The normal points back at the eye (+z of view space).
        EXPECT_NEAR(camera.getViewMatrix().transform(mesh->getNormalsArray()[i].toVector()).getZ(), 1.0f, 1e-6f);
    }
    float area = 0.0f;
    for (int t = 0; t < mesh->getNumTriangles(); ++t) {
        uint32_t a, b, c;
        mesh->getTriangle(t, a, b, c);
        EXPECT_GT(signedArea(clip[a], clip[b], clip[c]), 0.0f);
        area += 0.5f * signedArea(clip[a], clip[b], clip[c]);
    }
    EXPECT_NEAR(area, 4.0f, 1e-5f);

    // Texture (0, 0) is the top left of the view, (1, 1) the bottom right.
    for (float x : {-1.0f, -0.3f, 0.6f, 1.0f}) {
        for (float y : {-1.0f, 0.2f, 1.0f}) {
            bool covered = false;
            for (int t = 0; t < mesh->getNumTriangles() && !covered; ++t) {
                uint32_t k[3];
                mesh->getTriangle(t, k[0], k[1], k[2]);
                float w[3];
                if (!barycentric(clip[k[0]], clip[k[1]], clip[k[2]], x, y, w))
                    continue;
                covered = true;
                const auto& uv = mesh->getTexCoordsArray();
                EXPECT_NEAR(uv[k[0]].getX() * w[0] + uv[k[1]].getX() * w[1] + uv[k[2]].getX() * w[2],
                            0.5f * (x + 1.0f), 1e-5f);
                EXPECT_NEAR(uv[k[0]].getY() * w[0] + uv[k[1]].getY() * w[1] + uv[k[2]].getY() * w[2],
                            0.5f * (1.0f - y), 1e-5f);
            }
            EXPECT_TRUE(covered);
        }
    }
}

TEST(KXSkyBoxTest, MeshIsACubeSeenFromInsideWithOneCubeFacePerTriangle)
{
    KXSkyBox box;
    const KXTriMesh* mesh = box.getGeometry();
    ASSERT_EQ(mesh->getNumVertices(), 24);
    ASSERT_EQ(mesh->getNumTriangles(), 12);
    ASSERT_EQ(mesh->getNormalsArray().size(), 24u);
    ASSERT_EQ(mesh->getCubicTexCoordsArray().size(), 24u);
    EXPECT_TRUE(mesh->getTexCoordsArray().empty());
    for (int i = 0; i < 24; ++i) {
        const KXVector p(mesh->getVertexArray()[i]);
        EXPECT_FLOAT_EQ(std::max({std::fabs(p.getX()), std::fabs(p.getY()), std::fabs(p.getZ())}), 1.0f);
        EXPECT_LT(mesh->getNormalsArray()[i].dot(p), 0.0f) << "normals point inward";
    }
    // Each triangle lies wholly on one cube-map face: all three coordinates
    // share the sign of the face axis, as a face lookup by triangle needs.
    int perFace[6] = {};
    for (int t = 0; t < 12; ++t) {
        uint32_t k[3];
        mesh->getTriangle(t, k[0], k[1], k[2]);
        const KXPosition c[3] = {mesh->getCubicTexCoordsArray()[k[0]], mesh->getCubicTexCoordsArray()[k[1]],
                                 mesh->getCubicTexCoordsArray()[k[2]]};
        const auto all = [&](int axis, float sign) {
            return c[0][axis] * sign > 0 && c[1][axis] * sign > 0 && c[2][axis] * sign > 0;
        };
        int face = 1;
        if (all(0, -1))
            face = 1;
        else if (all(0, 1))
            face = 0;
        else if (all(1, -1))
            face = 3;
        else if (all(1, 1))
            face = 2;
        else if (all(2, -1))
            face = 5;
        else if (all(2, 1))
            face = 4;
        const KXVector centre = (KXVector(c[0]) + KXVector(c[1]) + KXVector(c[2])) / 3.0f;
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (std::fabs(centre[a]) > std::fabs(centre[axis]))
                axis = a;
        EXPECT_EQ(face, 2 * axis + (centre[axis] < 0 ? 1 : 0));
        ++perFace[face];
    }
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(perFace[f], 2);
}

// Before any frame the sky camera has the world matrix the canvas would give
// it for the default view, so that a picture traced first is right as well.
TEST(KXSkyBoxTest, DefaultWorldMatrixIsTheOneOfTheDefaultView)
{
    KXPerspectiveCamera scene;
    KXSkyBox box;
    KXSkyDome dome;
    const KXMatrix boxWorld = canvasSkyWorld(scene, true), domeWorld = canvasSkyWorld(scene, false);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(box.getCamera()->getWorldMatrix()[i], boxWorld[i], 1e-5f);
        EXPECT_NEAR(dome.getCamera()->getWorldMatrix()[i], domeWorld[i], 1e-5f);
    }
}

TEST(KXSkyBoxTest, LookingAlongTheSceneAxesShowsTheMatchingFaces)
{
    KXSkyBox box;
    KXPerspectiveCamera& sky = *box.getCamera();
    const struct {
        KXVector direction, up;
        KXPosition centreFace, topOfFace, rightOfFace;
    } views[] = {
        // Along +y with +z up: the front face, the top face above it, +X to the right.
        {KXVector(0, 1, 0), KXVector(0, 0, 1), KXPosition(0, 0, 1), KXPosition(0, 0.3f, 1), KXPosition(0.3f, 0, 1)},
        // Straight up with +y at the top of the view: the top face (+Y), with
        // the front (+Z) at its top and +X to its right.
        {KXVector(0, 0, 1), KXVector(0, 1, 0), KXPosition(0, 1, 0), KXPosition(0, 1, 0.3f), KXPosition(0.3f, 1, 0)},
        // Along +x with +z up: the right face (+X), with -y, the back, to its right.
        {KXVector(1, 0, 0), KXVector(0, 0, 1), KXPosition(1, 0, 0), KXPosition(1, 0.3f, 0), KXPosition(1, 0, -0.3f)},
        // Along -y: the back face (-Z), with -x to its right.
        {KXVector(0, -1, 0), KXVector(0, 0, 1), KXPosition(0, 0, -1), KXPosition(0, 0.3f, -1), KXPosition(-0.3f, 0, -1)},
    };
    for (const auto& view : views) {
        KXPerspectiveCamera scene;
        scene.setViewport(KXDimension2D(640, 480));
        scene.setPosition(KXPosition(3, -2, 1), KXPosition(3, -2, 1) + view.direction, view.up);
        followSceneCamera(sky, scene, true);
        const KXMatrix m = worldViewProjection(sky);
        KXPosition p;
        ASSERT_TRUE(skyBoxPointFor(*box.getGeometry(), view.centreFace, p));
        const Clip centre = toClip(m, p);
        EXPECT_GT(centre.w, 0.0f);
        EXPECT_NEAR(centre.ndcX(), 0.0f, 1e-4f);
        EXPECT_NEAR(centre.ndcY(), 0.0f, 1e-4f);
        EXPECT_GT(centre.depth(), 0.0f);
        EXPECT_LT(centre.depth(), 1.0f);
        ASSERT_TRUE(skyBoxPointFor(*box.getGeometry(), view.topOfFace, p));
        const Clip top = toClip(m, p);
        EXPECT_NEAR(top.ndcX(), 0.0f, 1e-4f);
        EXPECT_GT(top.ndcY(), 0.1f);
        ASSERT_TRUE(skyBoxPointFor(*box.getGeometry(), view.rightOfFace, p));
        const Clip right = toClip(m, p);
        EXPECT_GT(right.ndcX(), 0.1f);
        EXPECT_NEAR(right.ndcY(), 0.0f, 1e-4f);
    }
}

// The strongest form: whatever the scene camera does, every point of the sky
// box shows exactly where the scene camera shows the direction it stands for,
// and the faces in view are wound so that the renderer keeps them.
TEST(KXSkyBoxTest, SkyFollowsAnySceneViewUnmirrored)
{
    KXSkyBox box;
    const KXTriMesh& mesh = *box.getGeometry();
    std::mt19937 rng(99);
    int visibleTriangles = 0;
    for (int i = 0; i < 100; ++i) {
        const auto scene = randomSceneCamera(rng);
        followSceneCamera(*box.getCamera(), *scene, true);
        const KXMatrix m = worldViewProjection(*box.getCamera());
        std::vector<Clip> clip;
        for (int v = 0; v < mesh.getNumVertices(); ++v) {
            clip.push_back(toClip(m, mesh.getVertexArray()[v]));
            const Clip expected = sceneDirectionClip(*scene, sceneDirectionOfCubeMap(mesh.getCubicTexCoordsArray()[v]));
            EXPECT_EQ(clip.back().w > 0.0f, expected.w > 0.0f);
            if (clip.back().w > 0.05f && expected.w > 0.05f) {
                EXPECT_NEAR(clip.back().ndcX(), expected.ndcX(), 2e-3f * std::max(1.0f, std::fabs(expected.ndcX())));
                EXPECT_NEAR(clip.back().ndcY(), expected.ndcY(), 2e-3f * std::max(1.0f, std::fabs(expected.ndcY())));
            }
        }
        for (int t = 0; t < mesh.getNumTriangles(); ++t) {
            uint32_t a, b, c;
            mesh.getTriangle(t, a, b, c);
            if (clip[a].w > 0.0f && clip[b].w > 0.0f && clip[c].w > 0.0f) {
                EXPECT_GT(signedArea(clip[a], clip[b], clip[c]), 0.0f);
                ++visibleTriangles;
            }
        }
    }
    EXPECT_GT(visibleTriangles, 100);
}

TEST(KXSkyDomeTest, MeshIsAHemisphereSeenFromInside)
{
    KXSkyDome dome;
    const KXTriMesh* mesh = dome.getGeometry();
    ASSERT_EQ(mesh->getNumVertices(), (KXSkyDome::SEGMENTS + 1) * (KXSkyDome::RINGS + 1));
    ASSERT_EQ(mesh->getNormalsArray().size(), mesh->getVertexArray().size());
    ASSERT_EQ(mesh->getTexCoordsArray().size(), mesh->getVertexArray().size());
    EXPECT_TRUE(mesh->getCubicTexCoordsArray().empty());
    EXPECT_TRUE(mesh->getColorArray().empty());
    for (int i = 0; i < mesh->getNumVertices(); ++i) {
        const KXVector p(mesh->getVertexArray()[i]);
        EXPECT_NEAR(p.length(), 1.0f, 1e-5f);
        EXPECT_LT(mesh->getNormalsArray()[i].dot(p), -0.999f);
        const KXPosition2D& uv = mesh->getTexCoordsArray()[i];
        EXPECT_GE(uv.getX(), 0.0f);
        EXPECT_LE(uv.getX(), 1.0f);
        EXPECT_GE(uv.getY(), 0.0f);
        EXPECT_LE(uv.getY(), 1.0f);
    }
}

TEST(KXSkyDomeTest, SkyFollowsAnySceneViewUnmirrored)
{
    KXSkyDome dome;
    const KXTriMesh& mesh = *dome.getGeometry();
    std::mt19937 rng(5);
    int visibleTriangles = 0;
    for (int i = 0; i < 50; ++i) {
        const auto scene = randomSceneCamera(rng);
        followSceneCamera(*dome.getCamera(), *scene, false);
        const KXMatrix m = worldViewProjection(*dome.getCamera());
        std::vector<Clip> clip;
        for (int v = 0; v < mesh.getNumVertices(); ++v) {
            clip.push_back(toClip(m, mesh.getVertexArray()[v]));
            const Clip expected = sceneDirectionClip(*scene, sceneDirectionOfDomeUV(mesh.getTexCoordsArray()[v]));
            if (clip.back().w > 0.05f && expected.w > 0.05f) {
                EXPECT_NEAR(clip.back().ndcX(), expected.ndcX(), 2e-3f * std::max(1.0f, std::fabs(expected.ndcX())));
                EXPECT_NEAR(clip.back().ndcY(), expected.ndcY(), 2e-3f * std::max(1.0f, std::fabs(expected.ndcY())));
            }
        }
        for (int t = 0; t < mesh.getNumTriangles(); ++t) {
            uint32_t a, b, c;
            mesh.getTriangle(t, a, b, c);
            if (clip[a].w > 0.0f && clip[b].w > 0.0f && clip[c].w > 0.0f) {
                EXPECT_GT(signedArea(clip[a], clip[b], clip[c]), 0.0f);
                ++visibleTriangles;
            }
        }
    }
    EXPECT_GT(visibleTriangles, 1000);
}

TEST(KXSkyDomeTest, LookingAheadShowsTheMiddleOfTheImageAtTheHorizon)
{
    KXSkyDome dome;
    KXPerspectiveCamera scene; // along +y with +z up
    followSceneCamera(*dome.getCamera(), scene, false);
    const KXMatrix m = worldViewProjection(*dome.getCamera());
    const KXTriMesh& mesh = *dome.getGeometry();
    bool found = false;
    for (int v = 0; v < mesh.getNumVertices(); ++v) {
        const KXPosition2D& uv = mesh.getTexCoordsArray()[v];
        const Clip c = toClip(m, mesh.getVertexArray()[v]);
        if (uv.getX() == 0.5f && uv.getY() == 1.0f) {
            found = true;
            EXPECT_NEAR(c.ndcX(), 0.0f, 1e-4f);
            EXPECT_NEAR(c.ndcY(), 0.0f, 1e-4f);
        }
        // Higher in the image is higher in the view, and u grows to the right.
        if (uv.getX() == 0.5f && uv.getY() < 1.0f && c.w > 0.0f && c.ndcY() < 1.0f)
            EXPECT_GT(c.ndcY(), 0.0f);
        if (uv.getY() == 1.0f && std::fabs(uv.getX() - 0.5f) < 0.1f && uv.getX() != 0.5f)
            EXPECT_EQ(c.ndcX() > 0.0f, uv.getX() > 0.5f);
    }
    EXPECT_TRUE(found);
}

TEST(KXFogTest, KindsDefaultsAndSetters)
{
    KXLinearFog linear;
    KXExponentialFog exponential(nullptr);
    EXPECT_EQ(linear.getFogType(), KXFog::KXFOGTYPE_LINEAR);
    EXPECT_EQ(exponential.getFogType(), KXFog::KXFOGTYPE_EXPONENTIAL);
    EXPECT_EQ(linear.getColor(), KXColor(1, 1, 1, 1));
    EXPECT_FLOAT_EQ(linear.getFrontDistance(), 1.0f);
    EXPECT_FLOAT_EQ(linear.getBackDistance(), 100.0f);
    EXPECT_FLOAT_EQ(exponential.getDensity(), 0.1f);
    EXPECT_EQ(exponential.getExpMode(), 0);

    exponential.setColor(KXColor(0.5f, 0.5f, 0.5f, 0.0f));
    exponential.setDensity(0.2f);
    exponential.setDensity(-1.0f);
    exponential.setDensity(NAN);
    exponential.setExpMode(1);
    EXPECT_EQ(exponential.getColor(), KXColor(0.5f, 0.5f, 0.5f, 0.0f));
    EXPECT_FLOAT_EQ(exponential.getDensity(), 0.2f);
    EXPECT_EQ(exponential.getExpMode(), 1);

    linear.setFrontDistance(5.0f);
    linear.setBackDistance(INFINITY);
    EXPECT_FLOAT_EQ(linear.getFrontDistance(), 5.0f);
    EXPECT_FLOAT_EQ(linear.getBackDistance(), 100.0f);
}
