#include "sceneapi/KXBackground.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <set>

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
    float out[4];
    for (int c = 0; c < 4; ++c)
        out[c] = p.getX() * m.get(0, c) + p.getY() * m.get(1, c) + p.getZ() * m.get(2, c) + w * m.get(3, c);
    return {out[0], out[1], out[2], out[3]};
}

std::vector<Clip> projectMesh(const KXCamera& camera, const KXTriMesh& mesh)
{
    const KXMatrix m = camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix();
    std::vector<Clip> clip;
    for (const KXPosition& v : mesh.getVertexArray())
        clip.push_back(toClip(m, v));
    return clip;
}

// Twice the signed screen area, positive for corners running counter-
// clockwise with y up: the triangles the renderer's cull mode 0 keeps.
float signedArea(const Clip& a, const Clip& b, const Clip& c)
{
    return (b.ndcX() - a.ndcX()) * (c.ndcY() - a.ndcY()) - (c.ndcX() - a.ndcX()) * (b.ndcY() - a.ndcY());
}

// Checks that a full-view mesh is front facing and covers exactly the clip
// square: all corners inside it, a total area of 4, and every sample point
// inside some triangle, where sample(x, y, triangle, weights) checks what the
// mesh shows there.
void expectFillsClipSquare(const KXCamera& camera, const KXTriMesh& mesh,
                           const std::function<void(float, float, const uint32_t*, const float*)>& sample)
{
    const std::vector<Clip> clip = projectMesh(camera, mesh);
    float area = 0.0f;
    for (const Clip& c : clip) {
        EXPECT_LE(std::max(std::fabs(c.ndcX()), std::fabs(c.ndcY())), 1.0f + 1e-6f);
        EXPECT_GT(c.depth(), 0.0f);
        EXPECT_LT(c.depth(), 1.0f);
    }
    for (int t = 0; t < mesh.getNumTriangles(); ++t) {
        uint32_t a, b, c;
        mesh.getTriangle(t, a, b, c);
        EXPECT_GT(signedArea(clip[a], clip[b], clip[c]), 0.0f);
        area += 0.5f * signedArea(clip[a], clip[b], clip[c]);
    }
    EXPECT_NEAR(area, 4.0f, 1e-5f);
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j <= 20; ++j) {
            const float x = -0.999f + 1.998f * i / 20.0f, y = -0.995f + 1.986f * j / 20.0f;
            const Clip p{x, y, 0.0f, 1.0f};
            bool covered = false;
            for (int t = 0; t < mesh.getNumTriangles() && !covered; ++t) {
                uint32_t k[3];
                mesh.getTriangle(t, k[0], k[1], k[2]);
                const float whole = signedArea(clip[k[0]], clip[k[1]], clip[k[2]]);
                const float w[3] = {signedArea(p, clip[k[1]], clip[k[2]]) / whole,
                                    signedArea(clip[k[0]], p, clip[k[2]]) / whole,
                                    signedArea(clip[k[0]], clip[k[1]], p) / whole};
                if (w[0] >= -1e-6f && w[1] >= -1e-6f && w[2] >= -1e-6f) {
                    covered = true;
                    sample(x, y, k, w);
                }
            }
            EXPECT_TRUE(covered) << x << ", " << y;
        }
    }
}

// The world matrix the canvas gives a sky camera each frame, as the renderer
// computes it: S × Ry × Rx × R for a box, S × Ry × R for a dome, R the
// rotation part of (scene view × S), with the renderer's angles.
KXMatrix canvasSkyWorld(const KXCamera& scene, bool box)
{
    const KXMatrix s = KXMatrix::scaling(-1.0f, 1.0f, 1.0f);
    const KXMatrix rx = KXMatrix::rotationX(1.570795f), ry = KXMatrix::rotationY(3.14159f);
    KXVector scale, translation;
    KXMatrix r;
    (scene.getViewMatrix() * s).decompose(scale, r, translation);
    return box ? s * ry * rx * r : s * ry * r;
}

// What the canvas and the application give the sky camera: the world matrix,
// and the scene camera's field of view and viewport.
void followSceneCamera(KXPerspectiveCamera& sky, const KXPerspectiveCamera& scene, bool box)
{
    sky.setFOV(scene.getFOV());
    sky.setViewport(scene.getViewport());
    sky.setWorldMatrix(canvasSkyWorld(scene, box));
}

// The documented meaning of the sky meshes' texture coordinates as scene
// directions: cube-map (x, y, z) is scene (x, z, y); dome u runs clockwise
// from -y (+y at 0.5, +x at 0.75), v from the zenith (0) to the horizon (1).
KXVector sceneDirectionOfCubeMap(const KXPosition& c)
{
    return KXVector(c.getX(), c.getZ(), c.getY());
}

KXVector sceneDirectionOfDomeUV(const KXPosition2D& uv)
{
    const float azimuth = 1.5f * kPi - 2.0f * kPi * uv.getX(), elevation = (1.0f - uv.getY()) * 0.5f * kPi;
    return KXVector(std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
                    std::sin(elevation));
}

// For random scene cameras, every vertex of the sky mesh must show where the
// scene camera shows the direction it stands for (the point at infinity),
// and the triangles in view must be front facing. Sky points and directions
// have the same length, so clip x, y and w agree; only depth differs.
void expectSkyFollowsSceneCameras(KXPerspectiveCamera& sky, const KXTriMesh& mesh, bool box,
                                  const std::function<KXVector(int)>& directionOfVertex)
{
    std::mt19937 rng(99);
    std::normal_distribution<float> n(0.0f, 1.0f);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    int visible = 0;
    for (int i = 0; i < 40; ++i) {
        KXPerspectiveCamera scene;
        const KXPosition eye(10.0f * n(rng), 10.0f * n(rng), 10.0f * n(rng));
        scene.setPosition(eye, eye + KXVector(n(rng), n(rng), n(rng)), KXVector(n(rng), n(rng), n(rng)));
        scene.setFOV(0.4f + 1.4f * u(rng));
        scene.setViewport(KXDimension2D(200.0f + 800.0f * u(rng), 200.0f + 800.0f * u(rng)));
        followSceneCamera(sky, scene, box);
        const std::vector<Clip> clip = projectMesh(sky, mesh);
        const KXMatrix sceneViewProjection = scene.getViewMatrix() * scene.getProjectionMatrix();
        for (int v = 0; v < mesh.getNumVertices(); ++v) {
            const Clip expected = toClip(sceneViewProjection, KXPosition(directionOfVertex(v)), 0.0f);
            EXPECT_NEAR(clip[v].x, expected.x, 1e-3f * (1.0f + std::fabs(expected.x)));
            EXPECT_NEAR(clip[v].y, expected.y, 1e-3f * (1.0f + std::fabs(expected.y)));
            EXPECT_NEAR(clip[v].w, expected.w, 1e-3f * (1.0f + std::fabs(expected.w)));
        }
        for (int t = 0; t < mesh.getNumTriangles(); ++t) {
            uint32_t a, b, c;
            mesh.getTriangle(t, a, b, c);
            if (clip[a].w > 0.0f && clip[b].w > 0.0f && clip[c].w > 0.0f) {
                EXPECT_GT(signedArea(clip[a], clip[b], clip[c]), 0.0f);
                ++visible;
            }
        }
    }
    EXPECT_GT(visible, 40);
}

} // namespace

TEST(KXBackgroundTest, KindsOwnWhatTheyAreDrawnWith)
{
    KXSingleColorBackground single;
    KXGradientBackground gradient;
    KXImageBackground image;
    KXSkyBox box(nullptr);
    KXSkyDome dome;
    const KXBackground* all[] = {&single, &gradient, &image, &box, &dome};
    for (int type = 0; type < 5; ++type) {
        EXPECT_EQ(all[type]->getBackgroundType(), type);
        EXPECT_EQ(all[type]->getCamera() == nullptr, type == 0);
        EXPECT_EQ(all[type]->getGeometry() == nullptr, type == 0);
        EXPECT_EQ(all[type]->getLightModel() == nullptr, type < 2); // gradients are drawn unlit
    }
    EXPECT_EQ(gradient.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    EXPECT_EQ(box.getCamera()->getCameraType(), KXCamera::KXCAMERATYPE_PERSPECTIVE);
    EXPECT_NE(image.getTexture2D(), nullptr);
    EXPECT_NE(dome.getTexture2D(), nullptr);

    // Parts are held by reference.
    auto texture = KXMake<KXTexture2D>();
    image.setTexture2D(texture.get());
    EXPECT_EQ(texture->getRefCount(), 2);
    image.setTexture2D(nullptr);
    EXPECT_EQ(texture->getRefCount(), 1);

    // A sky box serves as the root's reflection environment.
    auto root = KXMake<KXRoot>();
    auto environment = KXMake<KXSkyBox>();
    root->setReflectionEnvironment(environment.get());
    const auto* skyBox = dynamic_cast<const KXSkyBox*>(root->getReflectionEnvironment());
    ASSERT_NE(skyBox, nullptr);
    EXPECT_EQ(skyBox->getTexture3D()->getTextureType(), KXTexture::KXTEXTURE_3D);
}

TEST(KXBackgroundTest, DefaultLightModelLightsEveryNormalFully)
{
    KXSkyBox box;
    const KXLightModel& model = *box.getLightModel();
    std::mt19937 rng(3);
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (int i = 0; i < 1000; ++i) {
        const KXUnitVector normal(n(rng), n(rng), n(rng));
        float diffuse = 0.0f;
        for (int l = 0; l < model.getNumLights(); ++l) {
            const auto& light = dynamic_cast<const KXDirectionalLight&>(*model.getLight(l));
            diffuse += std::max(0.0f, -normal.dot(light.getDirection())) * light.getColor().getR();
        }
        EXPECT_GE(diffuse, 1.0f - 1e-5f);
    }
}

TEST(KXGradientBackgroundTest, ColourStopsAreSortedClampedAndInterpolated)
{
    KXGradientBackground gradient;
    const KXColor red(1, 0, 0, 1), green(0, 1, 0, 1), blue(0, 0, 1, 1);
    gradient.setColorStops({{0.75f, blue}, {-3.0f, red}, {NAN, green}, {0.25f, green}});
    ASSERT_EQ(gradient.getColorStops().size(), 3u);
    EXPECT_FLOAT_EQ(gradient.getColorStops()[0].position, 0.0f);
    EXPECT_EQ(gradient.getColorAt(0.125f), KXColor(0.5f, 0.5f, 0, 1));
    EXPECT_EQ(gradient.getColorAt(0.9f), blue);
    gradient.setColorStops({});
    EXPECT_EQ(gradient.getColorStops().size(), 3u);
    // The last stop lies inside the view: a new one is added at the top.
    gradient.setTopColor(red);
    EXPECT_EQ(gradient.getColorStops().size(), 4u);
    EXPECT_EQ(gradient.getColorAt(0.875f), KXColor(0.5f, 0, 0.5f, 1));
}

// Seen through its own camera, the gradient's mesh tiles the clip square
// exactly, front side up, and shows the gradient's colour at every height.
TEST(KXGradientBackgroundTest, GeometryFillsTheClipSquareOfItsCameraWithTheGradient)
{
    KXGradientBackground gradient;
    const KXColor red(1, 0, 0, 1), green(0, 1, 0, 1), blue(0, 0, 1, 1);
    const std::vector<std::vector<KXGradientBackground::KXColorStop>> cases = {
        {}, // the default blend
        {{0.3f, red}, {0.6f, green}},
        {{0.0f, red}, {0.5f, red}, {0.5f, blue}, {1.0f, green}}, // a sharp edge
        {{0.4f, blue}},
    };
    for (const auto& stops : cases) {
        if (!stops.empty())
            gradient.setColorStops(stops);
        const KXTriMesh& mesh = *gradient.getGeometry();
        EXPECT_TRUE(mesh.getNormalsArray().empty());
        EXPECT_TRUE(mesh.getTexCoordsArray().empty());
        const auto& colors = mesh.getColorArray();
        ASSERT_EQ(colors.size(), mesh.getVertexArray().size());
        expectFillsClipSquare(*gradient.getCamera(), mesh, [&](float, float y, const uint32_t* k, const float* w) {
            const KXColor shown = colors[k[0]] * w[0] + colors[k[1]] * w[1] + colors[k[2]] * w[2];
            const KXColor expected = gradient.getColorAt(0.5f * (y + 1.0f));
            EXPECT_NEAR(shown.getR(), expected.getR(), 1e-4f);
            EXPECT_NEAR(shown.getG(), expected.getG(), 1e-4f);
            EXPECT_NEAR(shown.getB(), expected.getB(), 1e-4f);
        });
    }
}

// Tiled rendering narrows a view by editing the z row of the projection as
// for a perspective camera. The quad lies one unit in front of its eye, so
// the edit moves it exactly as it moves a perspective scene.
TEST(KXGradientBackgroundTest, ProjectionZRowEditsShiftTheQuadLikeAPerspectiveView)
{
    KXGradientBackground gradient;
    KXPerspectiveCamera scene;
    const std::pair<KXCamera*, KXPosition> views[] = {
        {&scene, scene.getTargetPosition()},
        {gradient.getCamera(), gradient.getGeometry()->getVertexArray()[0]},
    };
    float shift[2];
    for (int i = 0; i < 2; ++i) {
        KXCamera& camera = *views[i].first;
        const auto ndcX = [&] {
            return toClip(camera.getViewMatrix() * camera.getProjectionMatrix(), views[i].second).ndcX();
        };
        const float before = ndcX();
        KXMatrix p = camera.getProjectionMatrix();
        p.set(2, 0, 0.75f);
        camera.setProjectionMatrix(p);
        shift[i] = ndcX() - before;
    }
    EXPECT_NEAR(shift[0], shift[1], 1e-5f);
    EXPECT_NEAR(std::fabs(shift[1]), 0.75f, 1e-5f);
}

TEST(KXImageBackgroundTest, QuadFillsTheViewFacingTheCameraWithTheImageUpright)
{
    KXImageBackground image;
    const KXTriMesh& mesh = *image.getGeometry();
    const KXCamera& camera = *image.getCamera();
    ASSERT_EQ(mesh.getNormalsArray().size(), mesh.getVertexArray().size());
    for (const KXUnitVector& n : mesh.getNormalsArray())
        EXPECT_NEAR(camera.getViewMatrix().transform(n.toVector()).getZ(), 1.0f, 1e-6f); // toward the eye
    // Texture (0, 0) is the top left of the view, (1, 1) the bottom right.
    const auto& uv = mesh.getTexCoordsArray();
    ASSERT_EQ(uv.size(), mesh.getVertexArray().size());
    expectFillsClipSquare(camera, mesh, [&](float x, float y, const uint32_t* k, const float* w) {
        EXPECT_NEAR(uv[k[0]].getX() * w[0] + uv[k[1]].getX() * w[1] + uv[k[2]].getX() * w[2], 0.5f * (x + 1), 1e-5f);
        EXPECT_NEAR(uv[k[0]].getY() * w[0] + uv[k[1]].getY() * w[1] + uv[k[2]].getY() * w[2], 0.5f * (1 - y), 1e-5f);
    });
}

TEST(KXSkyBoxTest, MeshIsACubeSeenFromInsideWithOneCubeFacePerTriangle)
{
    KXSkyBox box;
    const KXTriMesh& mesh = *box.getGeometry();
    ASSERT_EQ(mesh.getNumTriangles(), 12);
    ASSERT_EQ(mesh.getNormalsArray().size(), mesh.getVertexArray().size());
    ASSERT_EQ(mesh.getCubicTexCoordsArray().size(), mesh.getVertexArray().size());
    for (int i = 0; i < mesh.getNumVertices(); ++i) {
        const KXVector p(mesh.getVertexArray()[i]);
        EXPECT_FLOAT_EQ(std::max({std::fabs(p.getX()), std::fabs(p.getY()), std::fabs(p.getZ())}), 1.0f);
        EXPECT_LT(mesh.getNormalsArray()[i].dot(p), 0.0f) << "normals point inward";
    }
    // A face lookup by triangle needs all three cube-map directions of a
    // triangle on one side of exactly one axis: two triangles per face.
    int perFace[6] = {};
    for (int t = 0; t < 12; ++t) {
        uint32_t k[3];
        mesh.getTriangle(t, k[0], k[1], k[2]);
        int faces = 0;
        for (int axis = 0; axis < 3; ++axis) {
            for (int side = 0; side < 2; ++side) {
                const float sign = side == 0 ? 1.0f : -1.0f;
                const auto& cubic = mesh.getCubicTexCoordsArray();
                if (std::all_of(k, k + 3, [&](uint32_t v) { return cubic[v][axis] * sign > 0; })) {
                    ++perFace[2 * axis + side];
                    ++faces;
                }
            }
        }
        EXPECT_EQ(faces, 1);
    }
    for (int count : perFace)
        EXPECT_EQ(count, 2);
}

TEST(KXSkyBoxTest, LookingAlongTheSceneAxesShowsTheMatchingFaces)
{
    KXSkyBox box;
    const KXTriMesh& mesh = *box.getGeometry();
    // Centre of the face whose triangles' cube-map directions all point along axis.
    const auto faceCentre = [&](const KXPosition& axis) {
        std::set<uint32_t> face;
        for (int t = 0; t < mesh.getNumTriangles(); ++t) {
            uint32_t k[3];
            mesh.getTriangle(t, k[0], k[1], k[2]);
            if (std::all_of(k, k + 3, [&](uint32_t v) {
                    return KXVector(mesh.getCubicTexCoordsArray()[v]).dot(KXVector(axis)) > 0.999f;
                }))
                face.insert(k, k + 3);
        }
        KXVector sum;
        for (uint32_t v : face)
            sum += KXVector(mesh.getVertexArray()[v]);
        return KXPosition(sum / static_cast<float>(face.size()));
    };
    const struct {
        KXVector direction, up;
        KXPosition ahead, above, right; // cube-map faces expected there
    } views[] = {
        {KXVector(0, 1, 0), KXVector(0, 0, 1), KXPosition(0, 0, 1), KXPosition(0, 1, 0), KXPosition(1, 0, 0)},
        {KXVector(0, 0, 1), KXVector(0, 1, 0), KXPosition(0, 1, 0), KXPosition(0, 0, 1), KXPosition(-1, 0, 0)},
        {KXVector(1, 0, 0), KXVector(0, 0, 1), KXPosition(1, 0, 0), KXPosition(0, 1, 0), KXPosition(0, 0, -1)},
        {KXVector(0, -1, 0), KXVector(0, 0, 1), KXPosition(0, 0, -1), KXPosition(0, 1, 0), KXPosition(-1, 0, 0)},
    };
    for (const auto& view : views) {
        KXPerspectiveCamera scene;
        scene.setPosition(KXPosition(3, -2, 1), KXPosition(3, -2, 1) + view.direction, view.up);
        followSceneCamera(*box.getCamera(), scene, true);
        // In the sky camera's view space: ahead is -z, above +y, right +x.
        const KXMatrix m = box.getCamera()->getWorldMatrix() * box.getCamera()->getViewMatrix();
        const KXPosition ahead = m.transform(faceCentre(view.ahead));
        const KXPosition above = m.transform(faceCentre(view.above));
        const KXPosition right = m.transform(faceCentre(view.right));
        EXPECT_NEAR(ahead.getZ(), -1.0f, 1e-4f);
        EXPECT_NEAR(above.getY(), 1.0f, 1e-4f);
        EXPECT_NEAR(right.getX(), 1.0f, 1e-4f);
    }
}

TEST(KXSkyBoxTest, SkyFollowsAnySceneViewUnmirrored)
{
    KXSkyBox box;
    const KXTriMesh& mesh = *box.getGeometry();
    expectSkyFollowsSceneCameras(*box.getCamera(), mesh, true,
                                 [&](int v) { return sceneDirectionOfCubeMap(mesh.getCubicTexCoordsArray()[v]); });
}

TEST(KXSkyDomeTest, SkyFollowsAnySceneViewUnmirrored)
{
    KXSkyDome dome;
    const KXTriMesh& mesh = *dome.getGeometry();
    ASSERT_EQ(mesh.getTexCoordsArray().size(), mesh.getVertexArray().size());
    for (int v = 0; v < mesh.getNumVertices(); ++v)
        EXPECT_LT(mesh.getNormalsArray()[v].dot(KXVector(mesh.getVertexArray()[v])), -0.999f);
    expectSkyFollowsSceneCameras(*dome.getCamera(), mesh, false,
                                 [&](int v) { return sceneDirectionOfDomeUV(mesh.getTexCoordsArray()[v]); });
}

// Before any frame the sky cameras have the world matrix the canvas gives
// them for the default view, so that a picture traced first is right too.
TEST(KXSkyDomeTest, DefaultWorldMatricesAreThoseOfTheDefaultView)
{
    KXPerspectiveCamera scene;
    KXSkyBox box;
    KXSkyDome dome;
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(box.getCamera()->getWorldMatrix()[i], canvasSkyWorld(scene, true)[i], 1e-5f);
        EXPECT_NEAR(dome.getCamera()->getWorldMatrix()[i], canvasSkyWorld(scene, false)[i], 1e-5f);
    }
}

TEST(KXFogTest, KindsDefaultsAndSetters)
{
    KXLinearFog linear;
    KXExponentialFog exponential(nullptr);
    EXPECT_EQ(linear.getFogType(), KXFog::KXFOGTYPE_LINEAR);
    EXPECT_EQ(exponential.getFogType(), KXFog::KXFOGTYPE_EXPONENTIAL);
    EXPECT_EQ(linear.getColor(), KXColor(1, 1, 1, 1));
    EXPECT_FLOAT_EQ(linear.getBackDistance(), 100.0f);
    EXPECT_FLOAT_EQ(exponential.getDensity(), 0.1f);
    EXPECT_EQ(exponential.getExpMode(), 0);
    exponential.setDensity(0.2f);
    exponential.setDensity(-1.0f);
    exponential.setExpMode(1);
    linear.setBackDistance(INFINITY);
    EXPECT_FLOAT_EQ(exponential.getDensity(), 0.2f);
    EXPECT_EQ(exponential.getExpMode(), 1);
    EXPECT_FLOAT_EQ(linear.getBackDistance(), 100.0f);
}
