#include "sceneapi/KXCamera.h"
#include "sceneapi/KXCameraUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

struct Clip {
    float x, y, z, w;
    float ndcX() const { return x / w; }
    float ndcY() const { return y / w; }
    float depth() const { return z / w; }
};

// [x y z 1] × m, without the divide.
Clip toClip(const KXMatrix& m, const KXPosition& p)
{
    float out[4];
    for (int c = 0; c < 4; ++c)
        out[c] = p.getX() * m.get(0, c) + p.getY() * m.get(1, c) + p.getZ() * m.get(2, c) + m.get(3, c);
    return {out[0], out[1], out[2], out[3]};
}

KXMatrix worldViewProjection(const KXCamera& camera)
{
    return camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix();
}

KXVector randomUnit(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    KXVector v(n(rng), n(rng), n(rng) + 1e-3f);
    v.normalize();
    return v;
}

} // namespace

TEST(KXCameraTest, NewCamerasLookAlongYWithZUp)
{
    KXPerspectiveCamera perspective;
    KXOrthoCamera ortho(nullptr);
    for (const KXCamera* camera : {static_cast<const KXCamera*>(&perspective), static_cast<const KXCamera*>(&ortho)}) {
        EXPECT_EQ(camera->getEyePosition(), KXPosition(0, -5, 0));
        EXPECT_EQ(camera->getTargetPosition(), KXPosition(0, 0, 0));
        EXPECT_EQ(camera->getUpVector(), KXVector(0, 0, 1));
        EXPECT_TRUE(camera->getWorldMatrix().isIdentity());
        EXPECT_EQ(camera->getViewport(), KXDimension2D(100, 100));
        EXPECT_FLOAT_EQ(camera->getNearPlane(), 0.1f);
        EXPECT_FLOAT_EQ(camera->getFarPlane(), 100.0f);
    }
    EXPECT_FLOAT_EQ(perspective.getFOV(), 0.7853975f);
    int type = -1;
    EXPECT_FLOAT_EQ(ortho.getViewportScale(&type), 1.0f);
    EXPECT_EQ(type, KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    perspective.getViewportScale(&type);
    EXPECT_EQ(type, KXCamera::KXCAMERATYPE_PERSPECTIVE);
}

TEST(KXCameraTest, ViewSpaceHasTheEyeAtTheOriginLookingDownMinusZ)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-20.0f, 20.0f);
    for (int i = 0; i < 200; ++i) {
        KXPerspectiveCamera camera;
        const KXPosition eye(u(rng), u(rng), u(rng));
        const KXVector dir = randomUnit(rng), up = randomUnit(rng);
        if (dir.cross(up).length() < 0.1f)
            continue;
        camera.setPosition(eye, eye + dir * 3.0f, up);
        const KXMatrix& view = camera.getViewMatrix();
        EXPECT_NEAR(KXVector(view.transform(eye)).length(), 0.0f, 1e-4f);
        EXPECT_NEAR(view.transform(eye + dir * 3.0f).getZ(), -3.0f, 1e-4f);
        // Up (its part across the view) shows as +y, direction × up as +x.
        KXVector upAcross = up - dir * up.dot(dir), right = dir.cross(up);
        upAcross.normalize();
        right.normalize();
        EXPECT_NEAR(view.transform(upAcross).getY(), 1.0f, 1e-4f);
        EXPECT_NEAR(view.transform(right).getX(), 1.0f, 1e-4f);
        EXPECT_NEAR(camera.getViewDirection().dot(dir), 1.0f, 1e-5f);
    }

    // Degenerate input still gives a rotation: up along the view, eye on the
    // target (the camera keeps its direction), non-finite input refused.
    KXPerspectiveCamera camera;
    camera.setPosition(KXPosition(0, 0, 10), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    KXMatrix rotation = camera.getViewMatrix();
    rotation.setTranslation(KXVector(0, 0, 0));
    EXPECT_NEAR(rotation.determinant(), 1.0f, 1e-5f);
    camera.setPosition(KXPosition(3, 3, 3), KXPosition(3, 3, 3), KXVector(0, 1, 0));
    EXPECT_NEAR(camera.getViewDirection().getZ(), -1.0f, 1e-6f);
    camera.setPosition(KXPosition(NAN, 0, 0), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    EXPECT_EQ(camera.getEyePosition(), KXPosition(3, 3, 3));
}

TEST(KXCameraTest, PerspectiveMapsTheFrustumOntoTheClipVolume)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 100; ++i) {
        KXPerspectiveCamera camera;
        const float fov = 0.2f + 2.5f * u(rng), zNear = 0.01f + 2.0f * u(rng);
        const float zFar = zNear * (2.0f + 500.0f * u(rng));
        const float width = 10.0f + 2000.0f * u(rng), height = 10.0f + 2000.0f * u(rng);
        camera.setFOV(fov);
        camera.setViewport(KXDimension2D(width, height));
        camera.setNearPlane(zNear);
        camera.setFarPlane(zFar);
        const KXPosition eye(10.0f * u(rng), 10.0f * u(rng), 10.0f * u(rng));
        const KXVector dir = randomUnit(rng);
        camera.setPosition(eye, eye + dir * 3.0f, KXVector(0, 0, 1));

        // The target lands in the centre of the view.
        const Clip target = toClip(worldViewProjection(camera), eye + dir * 3.0f);
        EXPECT_NEAR(target.ndcX(), 0.0f, 1e-4f);
        EXPECT_NEAR(target.ndcY(), 0.0f, 1e-4f);
        // The corners of the near and far rectangles of a frustum with
        // tan(fov / 2) and the aspect ratio land on the clip volume's corners.
        const float tanHalf = std::tan(0.5f * fov), aspect = width / height;
        for (float z : {zNear, zFar}) {
            for (float sx : {-1.0f, 1.0f}) {
                for (float sy : {-1.0f, 1.0f}) {
                    const Clip c = toClip(camera.getProjectionMatrix(),
                                          KXPosition(sx * z * tanHalf * aspect, sy * z * tanHalf, -z));
                    EXPECT_NEAR(c.ndcX(), sx, 1e-4f);
                    EXPECT_NEAR(c.ndcY(), sy, 1e-4f);
                    EXPECT_NEAR(c.depth(), z == zNear ? 0.0f : 1.0f, 1e-4f);
                }
            }
        }
    }
}

TEST(KXCameraTest, OrthographicViewIsViewportScaleHighAndAspectWide)
{
    KXOrthoCamera camera;
    camera.setViewport(KXDimension2D(300, 200));
    camera.setViewportScale(4.0f);
    camera.setNearPlane(-2.0f);
    camera.setFarPlane(8.0f);
    camera.setPosition(KXPosition(1, 2, 3), KXPosition(1, 12, 3), KXVector(0, 0, 1));
    // Looking along +y with +z up: half height 2, half width 3; depth runs
    // from y = 0 to y = 10.
    const struct {
        KXPosition p;
        float x, y, depth;
    } cases[] = {{KXPosition(1, 0, 3), 0, 0, 0},
                 {KXPosition(1, 10, 3), 0, 0, 1},
                 {KXPosition(4, 5, 5), 1, 1, 0.5f},
                 {KXPosition(-2, 7, 1), -1, -1, 0.7f}};
    for (const auto& c : cases) {
        const Clip clip = toClip(worldViewProjection(camera), c.p);
        EXPECT_NEAR(clip.ndcX(), c.x, 1e-5f);
        EXPECT_NEAR(clip.ndcY(), c.y, 1e-5f);
        EXPECT_NEAR(clip.depth(), c.depth, 1e-5f);
    }
    camera.setViewportScale(8.0f);
    EXPECT_NEAR(toClip(worldViewProjection(camera), KXPosition(4, 5, 5)).ndcX(), 0.5f, 1e-5f);
}

TEST(KXCameraTest, HandSetProjectionStaysUntilAProjectionParameterChanges)
{
    KXPerspectiveCamera camera;
    KXMatrix tile = camera.getProjectionMatrix();
    tile.set(0, 0, tile.get(0, 0) * 2.5f);
    tile.set(2, 0, 1.5f);
    camera.setProjectionMatrix(tile);
    EXPECT_TRUE(camera.isProjectionMatrixSet());
    // Placement, world, a perspective camera's viewport scale and parameters
    // set to their own values do not define the projection.
    camera.setPosition(KXPosition(1, 1, 1), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    camera.setWorldMatrix(KXMatrix::scaling(2, 2, 2));
    camera.setViewportScale(3.0f);
    camera.setViewport(camera.getViewport());
    camera.setFOV(camera.getFOV());
    EXPECT_EQ(camera.getProjectionMatrix(), tile);

    const auto rebuiltBy = [&](const std::function<void(KXPerspectiveCamera&)>& change) {
        KXPerspectiveCamera edited, fresh;
        edited.setProjectionMatrix(tile);
        change(edited);
        change(fresh);
        return !edited.isProjectionMatrixSet() && edited.getProjectionMatrix() == fresh.getProjectionMatrix();
    };
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setViewport(KXDimension2D(640, 480)); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setViewportHeight(50); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setNearPlane(0.5f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setFarPlane(50.0f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setFOV(1.0f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.resetProjectionMatrix(); }));

    KXOrthoCamera ortho;
    ortho.setProjectionMatrix(tile);
    ortho.setViewportScale(2.0f);
    EXPECT_FALSE(ortho.isProjectionMatrixSet());
    EXPECT_FLOAT_EQ(ortho.getProjectionMatrix().get(1, 1), 1.0f);
}

TEST(KXCameraTest, InvalidParametersAreRefusedOrMadeUsable)
{
    KXPerspectiveCamera camera;
    camera.setFOV(0.0f);
    camera.setFOV(4.0f);
    camera.setViewportScale(-1.0f);
    camera.setViewport(KXDimension2D(-5, 10));
    EXPECT_FLOAT_EQ(camera.getFOV(), 0.7853975f);
    EXPECT_FLOAT_EQ(camera.getViewportScale(), 1.0f);
    EXPECT_EQ(camera.getViewport(), KXDimension2D(100, 100));

    // Kept as set, but the projection stays finite.
    camera.setViewportHeight(0.0f);
    camera.setNearPlane(0.0f);
    camera.setFarPlane(-3.0f);
    EXPECT_FLOAT_EQ(camera.getAspectRatio(), 1.0f);
    EXPECT_FLOAT_EQ(camera.getFarPlane(), -3.0f);
    KXOrthoCamera ortho;
    ortho.setNearPlane(5.0f);
    ortho.setFarPlane(5.0f);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(camera.getProjectionMatrix()[i]));
        EXPECT_TRUE(std::isfinite(ortho.getProjectionMatrix()[i]));
    }
}

// After the usual sequence every corner of the box lies in the clip volume:
// |x|, |y| <= w and depth in 0..1.
TEST(KXCameraUtilsTest, RandomBoundsFitInsideTheClipVolumeFromAnyDirection)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f), size(0.01f, 30.0f), fov(0.3f, 1.8f);
    std::uniform_int_distribution<unsigned> pixels(16, 2048);
    for (int i = 0; i < 400; ++i) {
        const KXPosition lo(u(rng), u(rng), u(rng));
        const KXBounds bounds(lo, KXPosition(lo.getX() + size(rng), lo.getY() + size(rng), lo.getZ() + size(rng)));
        const KXUnitVector direction(randomUnit(rng));
        // Every tenth case has its up vector along the direction.
        const KXUnitVector up = i % 10 == 0 ? direction : KXUnitVector(randomUnit(rng));
        KXOrthoCamera ortho;
        KXPerspectiveCamera perspective;
        perspective.setFOV(fov(rng));
        unsigned w = pixels(rng), h = pixels(rng);
        for (KXCamera* camera : {static_cast<KXCamera*>(&ortho), static_cast<KXCamera*>(&perspective)}) {
            // The camera's world matrix is part of what it draws.
            if (i % 3 == 0)
                camera->setWorldMatrix(KXMatrix::rotationZ(0.5f) * KXMatrix::scaling(2, 2, 3) *
                                       KXMatrix::translation(5, 0, 0));
            // A perspective camera is fitted for its aspect ratio when
            // initialised (square); the viewport may only widen it.
            if (camera == &perspective && w < h)
                std::swap(w, h);
            KXCameraUtils::initialize(camera, bounds, direction, up);
            KXCameraUtils::updateViewport(camera, w, h, bounds);
            KXCameraUtils::updateFarPlane(camera, bounds);
            KXCameraUtils::updateNearPlane(camera, bounds, 0.0f);
            if (camera->getWorldMatrix().isIdentity()) {
                EXPECT_GT(camera->getEyePosition().distance(bounds.getCenter()), bounds.getRadius());
            }
            for (int k = 0; k < 8; ++k) {
                const KXPosition& a = bounds.getLowerLeftPos();
                const KXPosition& b = bounds.getUpperRightPos();
                const Clip c = toClip(worldViewProjection(*camera),
                                      KXPosition((k & 1) ? b.getX() : a.getX(), (k & 2) ? b.getY() : a.getY(),
                                                 (k & 4) ? b.getZ() : a.getZ()));
                ASSERT_GT(c.w, 0.0f);
                EXPECT_LE(std::fabs(c.x), c.w) << "type " << camera->getCameraType() << " case " << i;
                EXPECT_LE(std::fabs(c.y), c.w) << "type " << camera->getCameraType() << " case " << i;
                EXPECT_GE(c.z, 0.0f);
                EXPECT_LE(c.z, c.w);
            }
        }
    }
}

TEST(KXCameraUtilsTest, FitIsTight)
{
    // Along the diagonal the nearest and farthest corners lie on the bounding
    // sphere: they land at the two ends of the depth range.
    const KXBounds bounds(KXPosition(-1, -2, -3), KXPosition(3, 2, 1));
    KXOrthoCamera ortho;
    KXPerspectiveCamera perspective;
    for (KXCamera* camera : {static_cast<KXCamera*>(&ortho), static_cast<KXCamera*>(&perspective)}) {
        KXCameraUtils::initialize(camera, bounds, KXUnitVector(1, 1, 1), KXUnitVector(0, 0, 1));
        KXCameraUtils::updateViewport(camera, 256, 256, bounds);
        KXCameraUtils::updateFarPlane(camera, bounds);
        KXCameraUtils::updateNearPlane(camera, bounds);
        EXPECT_NEAR(toClip(worldViewProjection(*camera), bounds.getLowerLeftPos()).depth(), 0.0f, 0.01f);
        EXPECT_NEAR(toClip(worldViewProjection(*camera), bounds.getUpperRightPos()).depth(), 1.0f, 0.01f);
    }
    // Seen along z in a 2:1 view, the 4 × 4 box fills the height.
    KXCameraUtils::initialize(&ortho, bounds, KXUnitVector(0, 0, -1), KXUnitVector(0, 1, 0));
    KXCameraUtils::updateViewport(&ortho, 200, 100, bounds);
    EXPECT_NEAR(ortho.getViewportScale(), 4.0f, 0.01f);
    EXPECT_EQ(ortho.getViewport(), KXDimension2D(200, 100));
}

TEST(KXCameraUtilsTest, NearPlaneStaysPositiveWithTheEyeInsideAndNullCamerasAreIgnored)
{
    const KXBounds bounds(KXPosition(-10, -10, -10), KXPosition(10, 10, 10));
    KXPerspectiveCamera camera;
    camera.setPosition(KXPosition(0, 0, 0), KXPosition(0, 1, 0), KXVector(0, 0, 1));
    KXCameraUtils::updateFarPlane(&camera, bounds);
    KXCameraUtils::updateNearPlane(&camera, bounds, 5.0f);
    EXPECT_GT(camera.getFarPlane(), bounds.getRadius());
    EXPECT_FLOAT_EQ(camera.getNearPlane(), camera.getFarPlane() * 1e-3f);

    KXCameraUtils::initialize(nullptr, bounds, KXUnitVector(0, 0, -1), KXUnitVector(0, 1, 0));
    KXCameraUtils::updateViewport(nullptr, 10, 10, bounds);
    KXCameraUtils::updateNearPlane(nullptr, bounds);
    KXCameraUtils::updateFarPlane(nullptr, bounds);
}
