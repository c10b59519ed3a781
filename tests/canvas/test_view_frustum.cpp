#include "canvas/KXViewFrustum.h"
#include "sceneapi/KXCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using State = KXViewFrustum::KXVIEWFRUSTUMSTATE;
constexpr State OUTSIDE = KXViewFrustum::KXVIEWFRUSTUM_OUTSIDE;
constexpr State INTERSECTING = KXViewFrustum::KXVIEWFRUSTUM_INTERSECTING;
constexpr State INSIDE = KXViewFrustum::KXVIEWFRUSTUM_INSIDE;

KXViewFrustum frustumOf(const KXCamera& camera)
{
    KXViewFrustum frustum;
    frustum.updateFrustum(camera.getWorldMatrix(), camera.getViewMatrix(), camera.getProjectionMatrix());
    return frustum;
}

State boxState(const KXViewFrustum& frustum, float x0, float y0, float z0, float x1, float y1, float z1)
{
    return frustum.isBoundsInFrustum(KXPosition(x0, y0, z0), KXPosition(x1, y1, z1));
}

// Eye at (0, -10, 0) looking along +y, +z up; near 1, far 50; square view.
// At distance d from the eye the perspective view is d·tan(22.5°) wide on
// each side (4.14 at the origin).
KXPerspectiveCamera perspectiveAlongY()
{
    KXPerspectiveCamera camera;
    camera.setPosition(KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    camera.setNearPlane(1.0f);
    camera.setFarPlane(50.0f);
    return camera;
}

// The same view, orthographic and 4 units high and wide.
KXOrthoCamera orthographicAlongY()
{
    KXOrthoCamera camera;
    camera.setPosition(KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    camera.setNearPlane(1.0f);
    camera.setFarPlane(50.0f);
    camera.setViewportScale(4.0f);
    return camera;
}

} // namespace

TEST(ViewFrustum, PerspectiveCameraSortsBoxesByWhereTheyLie)
{
    const KXViewFrustum frustum = frustumOf(perspectiveAlongY());
    EXPECT_EQ(boxState(frustum, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f), INSIDE);
    // Off to the left, to the right, above and below at the distance of the origin.
    EXPECT_EQ(boxState(frustum, -21.0f, -1.0f, -1.0f, -19.0f, 1.0f, 1.0f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, 19.0f, -1.0f, -1.0f, 21.0f, 1.0f, 1.0f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -1.0f, -1.0f, 6.0f, 1.0f, 1.0f, 7.0f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -1.0f, -1.0f, -7.0f, 1.0f, 1.0f, -6.0f), OUTSIDE);
    // Across the left edge, across the top edge.
    EXPECT_EQ(boxState(frustum, -6.0f, -1.0f, -1.0f, 0.0f, 1.0f, 1.0f), INTERSECTING);
    EXPECT_EQ(boxState(frustum, -1.0f, -1.0f, 3.0f, 1.0f, 1.0f, 6.0f), INTERSECTING);
    // Behind the camera. A box reaching into the mirror image of the view
    // cone behind the eye is cut by the side planes, which run on through the
    // eye, and is called intersecting: conservative, never wrong.
    EXPECT_EQ(boxState(frustum, -0.5f, -16.0f, -0.5f, 0.5f, -15.0f, 0.5f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -3.0f, -40.0f, -3.0f, 3.0f, -20.0f, 3.0f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -5.0f, -40.0f, -5.0f, 5.0f, -20.0f, 5.0f), INTERSECTING);
    // Around the eye (across the near plane), across the far plane, beyond it.
    EXPECT_EQ(boxState(frustum, -1.0f, -11.0f, -1.0f, 1.0f, -9.0f, 1.0f), INTERSECTING);
    EXPECT_EQ(boxState(frustum, -1.0f, 35.0f, -1.0f, 1.0f, 45.0f, 1.0f), INTERSECTING);
    EXPECT_EQ(boxState(frustum, -1.0f, 45.0f, -1.0f, 1.0f, 50.0f, 1.0f), OUTSIDE);
}

TEST(ViewFrustum, OrthographicCameraKeepsItsWidthAtEveryDistance)
{
    const KXViewFrustum frustum = frustumOf(orthographicAlongY());
    // The view is 2 units wide on each side, near and far alike.
    EXPECT_EQ(boxState(frustum, 1.5f, -8.0f, -0.5f, 1.9f, -7.0f, 0.5f), INSIDE);
    EXPECT_EQ(boxState(frustum, 1.5f, 35.0f, -0.5f, 1.9f, 36.0f, 0.5f), INSIDE);
    EXPECT_EQ(boxState(frustum, 2.1f, 35.0f, -0.5f, 3.0f, 36.0f, 0.5f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -0.5f, 0.0f, 1.5f, 0.5f, 1.0f, 2.5f), INTERSECTING);
    // Behind the eye and between the eye and the near plane.
    EXPECT_EQ(boxState(frustum, -0.5f, -15.0f, -0.5f, 0.5f, -12.0f, 0.5f), OUTSIDE);
    EXPECT_EQ(boxState(frustum, -0.5f, -9.9f, -0.5f, 0.5f, -9.1f, 0.5f), OUTSIDE);
}

TEST(ViewFrustum, EdgeCases)
{
    // A frustum never updated has zero planes and culls nothing.
    const KXViewFrustum unset;
    EXPECT_EQ(boxState(unset, -1e6f, -1e6f, -1e6f, -1e5f, -1e5f, -1e5f), INSIDE);

    // Touching a plane from outside is outside (the orthographic right plane is x = 2).
    const KXViewFrustum ortho = frustumOf(orthographicAlongY());
    EXPECT_EQ(boxState(ortho, 2.0f, 0.0f, -0.5f, 3.0f, 1.0f, 0.5f), OUTSIDE);
    EXPECT_EQ(boxState(ortho, 1.75f, 0.0f, -0.5f, 3.0f, 1.0f, 0.5f), INTERSECTING);

    // Planes are tested left first: a box wholly beyond the far plane but cut
    // by the left plane is called intersecting, a harmless false positive.
    const KXViewFrustum perspective = frustumOf(perspectiveAlongY());
    EXPECT_EQ(boxState(perspective, -100.0f, 60.0f, -1.0f, 0.0f, 70.0f, 1.0f), INTERSECTING);
    EXPECT_EQ(boxState(perspective, -1.0f, 60.0f, -1.0f, 1.0f, 70.0f, 1.0f), OUTSIDE);

    // A point is inside or outside, never between.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-60.0f, 60.0f);
    for (int i = 0; i < 2000; ++i) {
        const KXPosition p(coordinate(random), coordinate(random), coordinate(random) * 0.2f);
        ASSERT_NE(perspective.isBoundsInFrustum(p, p), INTERSECTING);
    }
}

// Random boxes against random cameras, checked point by point in clip space
// (-w ≤ x ≤ w, -w ≤ y ≤ w, 0 ≤ z ≤ w): a box called outside has no visible
// point, a box called inside has all eight corners visible, a box with all
// corners visible is called inside, and a box whose corners all lie beyond
// a clip plane, and well inside the planes tested before it, is called
// outside.
namespace {

struct Clip {
    float x, y, z, w;
};

Clip toClip(const KXMatrix& m, float px, float py, float pz)
{
    Clip c;
    c.x = px * m.get(0, 0) + py * m.get(1, 0) + pz * m.get(2, 0) + m.get(3, 0);
    c.y = px * m.get(0, 1) + py * m.get(1, 1) + pz * m.get(2, 1) + m.get(3, 1);
    c.z = px * m.get(0, 2) + py * m.get(1, 2) + pz * m.get(2, 2) + m.get(3, 2);
    c.w = px * m.get(0, 3) + py * m.get(1, 3) + pz * m.get(2, 3) + m.get(3, 3);
    return c;
}

// Signed slack of the six clip inequalities, in the frustum's plane order.
void slacks(const Clip& c, float out[6])
{
    out[0] = c.w + c.x;
    out[1] = c.w - c.x;
    out[2] = c.w - c.y;
    out[3] = c.w + c.y;
    out[4] = c.z;
    out[5] = c.w - c.z;
}

float tolerance(const Clip& c)
{
    return 1e-4f * (std::fabs(c.w) + std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z) + 1.0f);
}

// Every inequality holds with at least `margin` to spare (a negative margin
// lets points within rounding of the boundary pass).
bool within(const Clip& c, float margin)
{
    float s[6];
    slacks(c, s);
    return std::all_of(s, s + 6, [margin](float v) { return v > margin; });
}

bool visible(const Clip& c) { return within(c, tolerance(c)); }

struct Tally {
    int outside = 0, intersecting = 0, inside = 0;
};

void checkRandomBoxes(KXCamera& camera, std::mt19937& random, Tally& tally)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const KXMatrix m = camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix();
    KXViewFrustum frustum;
    frustum.updateFrustum(camera.getWorldMatrix(), camera.getViewMatrix(), camera.getProjectionMatrix());

    for (int i = 0; i < 500; ++i) {
        const float cx = 25.0f * unit(random), cy = 25.0f * unit(random), cz = 25.0f * unit(random);
        const float size = std::pow(10.0f, 1.2f * unit(random));
        const float hx = size * (0.1f + std::fabs(unit(random)));
        const float hy = size * (0.1f + std::fabs(unit(random)));
        const float hz = size * (0.1f + std::fabs(unit(random)));
        const KXPosition lo(cx - hx, cy - hy, cz - hz), hi(cx + hx, cy + hy, cz + hz);
        const State state = frustum.isBoundsInFrustum(lo, hi);

        bool allCornersInside = true;
        bool allCornersStrictlyInside = true;
        int outsidePlaneCount[6] = {};
        int insidePlaneCount[6] = {};
        for (int corner = 0; corner < 8; ++corner) {
            const Clip c = toClip(m, (corner & 1) ? hi.getX() : lo.getX(), (corner & 2) ? hi.getY() : lo.getY(),
                                  (corner & 4) ? hi.getZ() : lo.getZ());
            allCornersInside = allCornersInside && within(c, -tolerance(c));
            allCornersStrictlyInside = allCornersStrictlyInside && visible(c);
            float s[6];
            slacks(c, s);
            for (int p = 0; p < 6; ++p) {
                outsidePlaneCount[p] += s[p] < -tolerance(c) ? 1 : 0;
                insidePlaneCount[p] += s[p] > tolerance(c) ? 1 : 0;
            }
        }
        // The first plane (in the frustum's order) not clearly holding the
        // whole box; when the box is clearly beyond it, the box is outside.
        bool allBeyondFirstFailingPlane = false;
        for (int p = 0; p < 6; ++p) {
            if (insidePlaneCount[p] == 8)
                continue;
            allBeyondFirstFailingPlane = outsidePlaneCount[p] == 8;
            break;
        }

        if (state == INSIDE) {
            EXPECT_TRUE(allCornersInside) << "box " << i << " called inside with a corner outside";
        }
        if (allCornersStrictlyInside) {
            EXPECT_EQ(state, INSIDE) << "box " << i;
        }
        if (allBeyondFirstFailingPlane) {
            EXPECT_EQ(state, OUTSIDE) << "box " << i;
        }
        if (state == OUTSIDE) {
            // No point of a 7 × 7 × 7 grid over the box may be visible.
            constexpr int N = 7;
            for (int a = 0; a < N; ++a) {
                for (int b = 0; b < N; ++b) {
                    for (int c = 0; c < N; ++c) {
                        const float px = lo.getX() + (hi.getX() - lo.getX()) * a / (N - 1);
                        const float py = lo.getY() + (hi.getY() - lo.getY()) * b / (N - 1);
                        const float pz = lo.getZ() + (hi.getZ() - lo.getZ()) * c / (N - 1);
                        ASSERT_FALSE(visible(toClip(m, px, py, pz)))
                            << "box " << i << " called outside with a visible point (" << px << ", " << py << ", "
                            << pz << ")";
                    }
                }
            }
        }
        tally.outside += state == OUTSIDE ? 1 : 0;
        tally.intersecting += state == INTERSECTING ? 1 : 0;
        tally.inside += state == INSIDE ? 1 : 0;
    }
}

void placeRandomly(KXCamera& camera, std::mt19937& random)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    camera.setPosition(KXPosition(30.0f * unit(random), 30.0f * unit(random), 30.0f * unit(random)),
                       KXPosition(5.0f * unit(random), 5.0f * unit(random), 5.0f * unit(random)),
                       KXVector(unit(random), unit(random), 1.0f));
    camera.setViewport(KXDimension2D(100.0f + 900.0f * std::fabs(unit(random)), 100.0f + 900.0f * std::fabs(unit(random))));
    camera.setNearPlane(0.5f + 2.0f * std::fabs(unit(random)));
    camera.setFarPlane(40.0f + 40.0f * std::fabs(unit(random)));
    // A world matrix with a rotation and translation in half of the cases.
    if (unit(random) > 0.0f)
        camera.setWorldMatrix(KXMatrix::rotationAxis(KXVector(unit(random), unit(random), unit(random) + 2.0f),
                                                     3.0f * unit(random)) *
                              KXMatrix::translation(3.0f * unit(random), 3.0f * unit(random), 3.0f * unit(random)));
}

} // namespace

TEST(ViewFrustum, RandomBoxesAgreeWithClipSpaceForPerspectiveCameras)
{
    std::mt19937 random(2024);
    Tally tally;
    for (int round = 0; round < 8; ++round) {
        KXPerspectiveCamera camera;
        placeRandomly(camera, random);
        camera.setFOV(0.3f + 1.5f * std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
        checkRandomBoxes(camera, random, tally);
    }
    // The boxes cover all three answers, so every check above was exercised.
    EXPECT_GT(tally.outside, 200);
    EXPECT_GT(tally.intersecting, 200);
    EXPECT_GT(tally.inside, 50);
}

TEST(ViewFrustum, RandomBoxesAgreeWithClipSpaceForOrthographicCameras)
{
    std::mt19937 random(99);
    Tally tally;
    for (int round = 0; round < 8; ++round) {
        KXOrthoCamera camera;
        placeRandomly(camera, random);
        camera.setViewportScale(10.0f + 30.0f * std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
        checkRandomBoxes(camera, random, tally);
    }
    EXPECT_GT(tally.outside, 200);
    EXPECT_GT(tally.intersecting, 200);
    EXPECT_GT(tally.inside, 50);
}
