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

// [x y z w] × m, without the divide.
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

KXVector randomUnit(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    KXVector v;
    do {
        v = KXVector(n(rng), n(rng), n(rng));
    } while (v.length() < 1e-3f);
    v.normalize();
    return v;
}

// Counts the change notifications of an observable.
class ChangeCounter : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent&) override { ++count; }
    int count = 0;
};

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
        EXPECT_FLOAT_EQ(camera->getViewportScale(), 1.0f);
        EXPECT_FLOAT_EQ(camera->getNearPlane(), 0.1f);
        EXPECT_FLOAT_EQ(camera->getFarPlane(), 100.0f);
        EXPECT_FALSE(camera->isProjectionMatrixSet());
    }
    EXPECT_EQ(perspective.getCameraType(), KXCamera::KXCAMERATYPE_PERSPECTIVE);
    EXPECT_EQ(ortho.getCameraType(), KXCamera::KXCAMERATYPE_ORTHOGRAPHIC);
    EXPECT_FLOAT_EQ(perspective.getFOV(), 0.7853975f);
    int type = -1;
    ortho.getViewportScale(&type);
    EXPECT_EQ(type, 0);
    perspective.getViewportScale(&type);
    EXPECT_EQ(type, 1);
}

TEST(KXCameraTest, ViewSpaceHasTheEyeAtTheOriginLookingDownMinusZ)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-20.0f, 20.0f);
    for (int i = 0; i < 200; ++i) {
        KXPerspectiveCamera camera;
        const KXPosition eye(u(rng), u(rng), u(rng));
        const KXVector dir = randomUnit(rng);
        const float distance = 0.5f + std::fabs(u(rng));
        KXVector up = randomUnit(rng);
        if (dir.cross(up).length() < 0.1f)
            continue;
        camera.setPosition(eye, eye + dir * distance, up);
        const KXMatrix& view = camera.getViewMatrix();

        const KXPosition e = view.transform(eye);
        EXPECT_NEAR(KXVector(e).length(), 0.0f, 1e-4f);
        const KXPosition t = view.transform(eye + dir * distance);
        EXPECT_NEAR(t.getX(), 0.0f, 1e-4f);
        EXPECT_NEAR(t.getY(), 0.0f, 1e-4f);
        EXPECT_NEAR(t.getZ(), -distance, 1e-4f);
        // The part of up across the view direction shows as +y, the right
        // hand (direction × up) as +x.
        KXVector upAcross = up - dir * up.dot(dir);
        upAcross.normalize();
        const KXVector viewUp = view.transform(upAcross);
        EXPECT_NEAR(viewUp.getY(), 1.0f, 1e-4f);
        KXVector right = dir.cross(up);
        right.normalize();
        EXPECT_NEAR(view.transform(right).getX(), 1.0f, 1e-4f);

        const KXUnitVector looking = camera.getViewDirection();
        EXPECT_NEAR(looking.dot(dir), 1.0f, 1e-5f);
    }
}

TEST(KXCameraTest, DegenerateUpVectorsAndTargetsStillGiveARotation)
{
    KXPerspectiveCamera camera;
    // Up along the view direction: the view matrix chooses its own roll.
    camera.setPosition(KXPosition(0, 0, 10), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    KXMatrix rotation = camera.getViewMatrix();
    rotation.setTranslation(KXVector(0, 0, 0));
    EXPECT_NEAR(rotation.determinant(), 1.0f, 1e-5f);
    EXPECT_NEAR(camera.getViewDirection().getZ(), -1.0f, 1e-6f);
    EXPECT_EQ(camera.getUpVector(), KXVector(0, 0, 1));

    // Eye on the target: the camera keeps looking the way it did.
    camera.setPosition(KXPosition(3, 3, 3), KXPosition(3, 3, 3), KXVector(0, 1, 0));
    EXPECT_NEAR(camera.getViewDirection().getZ(), -1.0f, 1e-6f);
    EXPECT_EQ(camera.getEyePosition(), KXPosition(3, 3, 3));

    // Non-finite input is refused as a whole; a zero up keeps the old one.
    camera.setPosition(KXPosition(NAN, 0, 0), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    EXPECT_EQ(camera.getEyePosition(), KXPosition(3, 3, 3));
    camera.setPosition(KXPosition(0, -1, 0), KXPosition(0, 0, 0), KXVector(0, 0, 0));
    EXPECT_EQ(camera.getUpVector(), KXVector(0, 1, 0));
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(camera.getViewMatrix()[i]));
}

TEST(KXCameraTest, PerspectiveMapsTheFrustumOntoTheClipVolume)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 100; ++i) {
        KXPerspectiveCamera camera;
        const float fov = 0.2f + 2.5f * u(rng);
        const float zNear = 0.01f + 2.0f * u(rng);
        const float zFar = zNear * (2.0f + 500.0f * u(rng));
        const float width = 10.0f + 2000.0f * u(rng), height = 10.0f + 2000.0f * u(rng);
        camera.setFOV(fov);
        camera.setViewport(KXDimension2D(width, height));
        camera.setNearPlane(zNear);
        camera.setFarPlane(zFar);
        const KXPosition eye(10.0f * u(rng), 10.0f * u(rng), 10.0f * u(rng));
        const KXVector dir = randomUnit(rng);
        camera.setPosition(eye, eye + dir * 3.0f, KXVector(0, 0, 1));
        ASSERT_EQ(camera.getAspectRatio(), width / height);

        const KXMatrix& p = camera.getProjectionMatrix();
        const float tanHalf = std::tan(0.5f * fov);
        EXPECT_NEAR(p.get(1, 1), 1.0f / tanHalf, 1e-3f / tanHalf);
        EXPECT_NEAR(p.get(0, 0), 1.0f / (tanHalf * width / height), 1e-3f * p.get(0, 0));

        // Points given in view space: the corners of the near and far
        // rectangles land on the corners of the clip volume.
        const KXMatrix& proj = camera.getProjectionMatrix();
        for (float z : {zNear, zFar}) {
            for (int corner = 0; corner < 4; ++corner) {
                const float sx = (corner & 1) ? 1.0f : -1.0f, sy = (corner & 2) ? 1.0f : -1.0f;
                const KXPosition v(sx * z * tanHalf * width / height, sy * z * tanHalf, -z);
                const Clip c = toClip(proj, v);
                EXPECT_GT(c.w, 0.0f);
                EXPECT_NEAR(c.ndcX(), sx, 1e-4f);
                EXPECT_NEAR(c.ndcY(), sy, 1e-4f);
                EXPECT_NEAR(c.depth(), z == zNear ? 0.0f : 1.0f, 1e-4f);
            }
        }
        // The target projects to the centre, between the planes.
        const Clip t = toClip(worldViewProjection(camera), eye + dir * 3.0f);
        EXPECT_NEAR(t.ndcX(), 0.0f, 1e-4f);
        EXPECT_NEAR(t.ndcY(), 0.0f, 1e-4f);
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
    const KXMatrix m = worldViewProjection(camera);

    // Looking along +y with +z up: +x is right. Half height 2, half width 3.
    const struct {
        KXPosition p;
        float x, y, depth;
    } cases[] = {
        {KXPosition(1, 2 - 2, 3), 0, 0, 0},         {KXPosition(1, 2 + 8, 3), 0, 0, 1},
        {KXPosition(1 + 3, 5, 3 + 2), 1, 1, 0.5f},   {KXPosition(1 - 3, 5, 3 - 2), -1, -1, 0.5f},
        {KXPosition(1 + 1.5f, 7, 3), 0.5f, 0, 0.7f},
    };
    for (const auto& c : cases) {
        const Clip clip = toClip(m, c.p);
        EXPECT_FLOAT_EQ(clip.w, 1.0f);
        EXPECT_NEAR(clip.ndcX(), c.x, 1e-5f);
        EXPECT_NEAR(clip.ndcY(), c.y, 1e-5f);
        EXPECT_NEAR(clip.depth(), c.depth, 1e-5f);
    }
    // Zooming out doubles the extent.
    camera.setViewportScale(8.0f);
    EXPECT_NEAR(toClip(worldViewProjection(camera), KXPosition(4, 5, 5)).ndcX(), 0.5f, 1e-5f);
}

TEST(KXCameraTest, WorldMatrixAppliesBeneathTheWholeView)
{
    KXPerspectiveCamera camera;
    camera.setWorldMatrix(KXMatrix::translation(0, 0, 7));
    // The origin is moved to (0, 0, 7) before the view: off centre, above.
    const Clip c = toClip(worldViewProjection(camera), KXPosition(0, 0, 0));
    EXPECT_NEAR(c.ndcX(), 0.0f, 1e-5f);
    EXPECT_GT(c.ndcY(), 1.0f);
}

TEST(KXCameraTest, HandSetProjectionStaysUntilAProjectionParameterChanges)
{
    KXPerspectiveCamera camera;
    const KXMatrix computed = camera.getProjectionMatrix();
    KXMatrix tile = computed;
    tile.set(0, 0, tile.get(0, 0) * 2.5f);
    tile.set(2, 0, 1.5f);

    camera.setProjectionMatrix(tile);
    EXPECT_TRUE(camera.isProjectionMatrixSet());
    // Nothing that defines the projection: placement, world, the viewport
    // scale of a perspective camera, parameters set to their own values.
    camera.setPosition(KXPosition(1, 1, 1), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    camera.setWorldMatrix(KXMatrix::scaling(2, 2, 2));
    camera.setViewportScale(3.0f);
    camera.setViewport(camera.getViewport());
    camera.setNearPlane(camera.getNearPlane());
    camera.setFOV(camera.getFOV());
    EXPECT_EQ(camera.getProjectionMatrix(), tile);

    // Restoring the saved matrix, as tiled rendering does, is a hand-set
    // projection as well.
    camera.setProjectionMatrix(computed);
    EXPECT_EQ(camera.getProjectionMatrix(), computed);
    camera.setProjectionMatrix(tile);

    // Each defining parameter rebuilds the projection from the parameters.
    const auto rebuiltBy = [&](const std::function<void(KXPerspectiveCamera&)>& change) {
        KXPerspectiveCamera c;
        c.setProjectionMatrix(tile);
        change(c);
        KXPerspectiveCamera fresh;
        change(fresh);
        return !c.isProjectionMatrixSet() && c.getProjectionMatrix() == fresh.getProjectionMatrix();
    };
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setViewport(KXDimension2D(640, 480)); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setViewportWidth(50); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setViewportHeight(50); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setNearPlane(0.5f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setFarPlane(50.0f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.setFOV(1.0f); }));
    EXPECT_TRUE(rebuiltBy([](KXPerspectiveCamera& c) { c.resetProjectionMatrix(); }));

    KXOrthoCamera ortho;
    const KXMatrix orthoComputed = ortho.getProjectionMatrix();
    ortho.setProjectionMatrix(tile);
    ortho.setViewportScale(2.0f);
    EXPECT_FALSE(ortho.isProjectionMatrixSet());
    EXPECT_NEAR(ortho.getProjectionMatrix().get(1, 1), orthoComputed.get(1, 1) / 2.0f, 1e-6f);
}

TEST(KXCameraTest, InvalidParametersNeverGiveANonFiniteProjection)
{
    KXPerspectiveCamera camera;
    camera.setFOV(0.0f);
    camera.setFOV(4.0f);
    camera.setFOV(NAN);
    EXPECT_FLOAT_EQ(camera.getFOV(), 0.7853975f);
    camera.setViewportScale(-1.0f);
    camera.setViewportScale(0.0f);
    EXPECT_FLOAT_EQ(camera.getViewportScale(), 1.0f);
    camera.setViewport(KXDimension2D(-5, 10));
    EXPECT_EQ(camera.getViewport(), KXDimension2D(100, 100));

    // Kept as set, but the projection stays usable.
    camera.setViewportHeight(0.0f);
    EXPECT_FLOAT_EQ(camera.getAspectRatio(), 1.0f);
    camera.setNearPlane(0.0f);
    camera.setFarPlane(-3.0f);
    EXPECT_FLOAT_EQ(camera.getNearPlane(), 0.0f);
    EXPECT_FLOAT_EQ(camera.getFarPlane(), -3.0f);
    KXOrthoCamera ortho;
    ortho.setNearPlane(5.0f);
    ortho.setFarPlane(5.0f);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(camera.getProjectionMatrix()[i]));
        EXPECT_TRUE(std::isfinite(ortho.getProjectionMatrix()[i]));
    }

    // Near and far set in either order end where they were put.
    KXPerspectiveCamera ordered;
    ordered.setNearPlane(200.0f);
    ordered.setFarPlane(1000.0f);
    const Clip c = toClip(ordered.getProjectionMatrix(), KXPosition(0, 0, -200.0f));
    EXPECT_NEAR(c.depth(), 0.0f, 1e-5f);
}

TEST(KXCameraTest, ObserversHearRealChangesOnly)
{
    KXOrthoCamera camera;
    ChangeCounter counter;
    camera.registerObserver(&counter);
    camera.setViewportScale(1.0f);
    camera.setNearPlane(0.1f);
    camera.setPosition(camera.getEyePosition(), camera.getTargetPosition(), camera.getUpVector());
    camera.setWorldMatrix(KXMatrix());
    EXPECT_EQ(counter.count, 0);
    camera.setViewportScale(2.0f);
    camera.setNearPlane(1.0f);
    camera.setPosition(KXPosition(1, 0, 0), KXPosition(0, 0, 0), KXVector(0, 0, 1));
    camera.setWorldMatrix(KXMatrix::translation(1, 0, 0));
    camera.setProjectionMatrix(KXMatrix());
    EXPECT_EQ(counter.count, 5);
    camera.unregisterObserver(&counter);
}

// The fitting utilities are checked against the definition of the clip
// volume: after the usual sequence every corner of the box has |x|, |y| <= w
// and depth in 0..1.
TEST(KXCameraUtilsTest, RandomBoundsFitInsideTheClipVolumeFromAnyDirection)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    std::uniform_real_distribution<float> size(0.01f, 30.0f);
    std::uniform_int_distribution<unsigned> pixels(16, 2048);
    for (int i = 0; i < 400; ++i) {
        const KXPosition lo(u(rng), u(rng), u(rng));
        const KXBounds bounds(lo, KXPosition(lo.getX() + size(rng), lo.getY() + size(rng), lo.getZ() + size(rng)));
        KXUnitVector direction(randomUnit(rng));
        KXUnitVector up(randomUnit(rng));
        if (i % 10 == 0)
            up = direction; // the up vector along the direction must still work
        if (i % 7 == 0)
            direction = KXUnitVector(0, 0, -1);

        KXOrthoCamera ortho;
        KXPerspectiveCamera perspective;
        perspective.setFOV(0.3f + 1.5f * std::fabs(u(rng)) / 50.0f);
        unsigned w = pixels(rng), h = pixels(rng);
        for (KXCamera* camera : {static_cast<KXCamera*>(&ortho), static_cast<KXCamera*>(&perspective)}) {
            // A perspective camera is fitted for the aspect ratio it has when
            // initialised; the usual call keeps it square or wider.
            if (camera == &perspective && w < h)
                std::swap(w, h);
            KXCameraUtils::initialize(camera, bounds, direction, up);
            KXCameraUtils::updateViewport(camera, w, h, bounds);
            KXCameraUtils::updateFarPlane(camera, bounds);
            KXCameraUtils::updateNearPlane(camera, bounds, 0.0f);

            EXPECT_GT(camera->getEyePosition().distance(bounds.getCenter()), bounds.getRadius());
            EXPECT_GT(camera->getNearPlane(), 0.0f);
            const KXMatrix m = worldViewProjection(*camera);
            for (int k = 0; k < 8; ++k) {
                const KXPosition& a = bounds.getLowerLeftPos();
                const KXPosition& b = bounds.getUpperRightPos();
                const KXPosition corner((k & 1) ? b.getX() : a.getX(), (k & 2) ? b.getY() : a.getY(),
                                        (k & 4) ? b.getZ() : a.getZ());
                const Clip c = toClip(m, corner);
                ASSERT_GT(c.w, 0.0f);
                EXPECT_LE(std::fabs(c.x), c.w) << "camera type " << camera->getCameraType() << " case " << i;
                EXPECT_LE(std::fabs(c.y), c.w) << "camera type " << camera->getCameraType() << " case " << i;
                EXPECT_GE(c.z, 0.0f);
                EXPECT_LE(c.z, c.w);
            }
        }
    }
}

TEST(KXCameraUtilsTest, FitIsTight)
{
    // Seen along the diagonal, the nearest and farthest corners lie on the
    // bounding sphere: they land at the ends of the depth range.
    const KXBounds bounds(KXPosition(-1, -2, -3), KXPosition(3, 2, 1));
    KXUnitVector diagonal(1, 1, 1);
    for (bool perspectiveCamera : {false, true}) {
        KXOrthoCamera ortho;
        KXPerspectiveCamera perspective;
        KXCamera& camera = perspectiveCamera ? static_cast<KXCamera&>(perspective) : ortho;
        KXCameraUtils::initialize(&camera, bounds, diagonal, KXUnitVector(0, 0, 1));
        KXCameraUtils::updateViewport(&camera, 256, 256, bounds);
        KXCameraUtils::updateFarPlane(&camera, bounds);
        KXCameraUtils::updateNearPlane(&camera, bounds);
        const KXMatrix m = worldViewProjection(camera);
        EXPECT_NEAR(toClip(m, bounds.getLowerLeftPos()).depth(), 0.0f, 0.01f);
        EXPECT_NEAR(toClip(m, bounds.getUpperRightPos()).depth(), 1.0f, 0.01f);
    }

    // An orthographic view along an axis is filled by the box's wider side.
    KXOrthoCamera ortho;
    KXCameraUtils::initialize(&ortho, bounds, KXUnitVector(0, 0, -1), KXUnitVector(0, 1, 0));
    KXCameraUtils::updateViewport(&ortho, 200, 100, bounds);
    EXPECT_NEAR(ortho.getViewportScale(), 4.0f, 0.01f);
    const Clip top = toClip(worldViewProjection(ortho), KXPosition(1, 2, 0));
    EXPECT_NEAR(top.ndcY(), 1.0f, 0.01f);
    EXPECT_EQ(ortho.getViewport(), KXDimension2D(200, 100));
}

TEST(KXCameraUtilsTest, WorldMatrixOfTheCameraIsPartOfTheFit)
{
    const KXBounds bounds(KXPosition(0, 0, 0), KXPosition(1, 1, 1));
    KXOrthoCamera camera;
    camera.setWorldMatrix(KXMatrix::scaling(10, 10, 10) * KXMatrix::translation(100, 0, 0));
    KXCameraUtils::initialize(&camera, bounds, KXUnitVector(0, 1, 0), KXUnitVector(0, 0, 1));
    KXCameraUtils::updateViewport(&camera, 64, 64, bounds);
    KXCameraUtils::updateFarPlane(&camera, bounds);
    KXCameraUtils::updateNearPlane(&camera, bounds);
    const Clip far = toClip(worldViewProjection(camera), KXPosition(1, 1, 1));
    EXPECT_LE(std::fabs(far.ndcX()), 1.0f);
    EXPECT_LE(far.depth(), 1.0f);
    EXPECT_GT(camera.getViewportScale(), 10.0f);
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
