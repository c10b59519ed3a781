#include "sceneapi/KXBounds.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXMatrix2D.h"
#include "sceneapi/KXPlane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

void expectNear(const KXPosition& p, float x, float y, float z, float eps = 1e-4f)
{
    EXPECT_NEAR(p.getX(), x, eps);
    EXPECT_NEAR(p.getY(), y, eps);
    EXPECT_NEAR(p.getZ(), z, eps);
}

KXMatrix randomAffine(std::mt19937& rng)
{
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    return KXMatrix::scaling(1.0f + std::fabs(u(rng)), 1.0f + std::fabs(u(rng)), 0.5f + std::fabs(u(rng))) *
           KXMatrix::rotationAxis(KXVector(u(rng), u(rng), u(rng) + 3.0f), u(rng)) *
           KXMatrix::translation(u(rng), u(rng), u(rng));
}

} // namespace

TEST(KXColorTest, PacksAsDirect3DColourWordAndBack)
{
    const KXColor c(1.0f, 0.5f, 0.0f, 0.25f);
    EXPECT_EQ(c.getBGRA(), 0x40FF8000u);
    KXColor d;
    d.setBGRA(0x80102030u);
    EXPECT_FLOAT_EQ(d.getA(), 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(d.getR(), 16.0f / 255.0f);
    EXPECT_FLOAT_EQ(d.getG(), 32.0f / 255.0f);
    EXPECT_FLOAT_EQ(d.getB(), 48.0f / 255.0f);
    EXPECT_EQ(d.getBGRA(), 0x80102030u);
    // Out-of-range components are clamped when packed.
    EXPECT_EQ(KXColor(2.0f, -1.0f, 0.5f, 1.0f).getBGRA(), 0xFFFF0080u);
}

TEST(KXColorTest, ArithmeticIntensityAndClamp)
{
    const float rgba[4] = {0.2f, 0.4f, 0.6f, 0.8f};
    KXColor c(rgba);
    EXPECT_EQ(KXColor(nullptr), KXColor());
    EXPECT_EQ(KXColor(), KXColor(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_FLOAT_EQ(c.intensity(), 0.4f);
    EXPECT_FLOAT_EQ(KXColor(1, 1, 1, 0).intensity(), 1.0f);
    KXColor sum = c + c;
    sum += KXColor(0.1f, 0.1f, 0.1f, 0.1f);
    EXPECT_FLOAT_EQ(sum.getB(), 1.3f);
    EXPECT_FLOAT_EQ((c * KXColor(0.5f, 0.5f, 0.5f, 0.5f)).getG(), 0.2f);
    EXPECT_FLOAT_EQ((c / 2.0f).getR(), 0.1f);
    EXPECT_EQ(c / 0.0f, c);
    sum.clamp();
    EXPECT_FLOAT_EQ(sum.getR(), 0.5f);
    EXPECT_FLOAT_EQ(sum.getG(), 0.9f);
    EXPECT_EQ(sum.getB(), 1.0f);
    EXPECT_EQ(sum.getA(), 1.0f);
}

TEST(KXVectorTest, NormalizeLeavesShortVectorsAlone)
{
    KXVector v(3.0f, 0.0f, 4.0f);
    v.normalize();
    EXPECT_FLOAT_EQ(v.getX(), 0.6f);
    EXPECT_FLOAT_EQ(v.getZ(), 0.8f);
    KXVector tiny(1e-8f, 0.0f, 0.0f);
    tiny.normalize();
    EXPECT_EQ(tiny.getX(), 1e-8f);
    EXPECT_EQ(KXVector(1, 0, 0).cross(KXVector(0, 1, 0)), KXVector(0, 0, 1));
}

TEST(KXVectorTest, UnitVectorStaysNormalisedThroughEveryOperation)
{
    KXUnitVector u(0.0f, 0.0f, 5.0f);
    EXPECT_FLOAT_EQ(u.length(), 1.0f);
    u.setX(1.0f);
    EXPECT_NEAR(u.length(), 1.0f, 1e-6f);
    EXPECT_NEAR(u.getX(), std::sqrt(0.5f), 1e-6f);
    u *= 7.0f;
    EXPECT_NEAR(u.length(), 1.0f, 1e-6f);
    u += KXVector(0.0f, 10.0f, 0.0f);
    EXPECT_NEAR(u.length(), 1.0f, 1e-6f);
    // Through the base class the virtual operations keep the invariant too.
    KXVector& base = u;
    base /= 0.001f;
    base.setZ(-3.0f);
    EXPECT_NEAR(u.length(), 1.0f, 1e-6f);
    EXPECT_NEAR((u * 9.0f).length(), 1.0f, 1e-6f);
    EXPECT_NEAR((u + KXVector(4, 4, 4)).length(), 1.0f, 1e-6f);
    EXPECT_NEAR((-u).length(), 1.0f, 1e-6f);
}

TEST(KXMatrixTest, RowVectorConventionAppliesLeftFactorFirst)
{
    const KXMatrix m = KXMatrix::scaling(2, 2, 2) * KXMatrix::translation(1, 0, 0);
    expectNear(m.transform(KXPosition(1, 1, 1)), 3, 2, 2);
    const KXMatrix n = KXMatrix::translation(1, 0, 0) * KXMatrix::scaling(2, 2, 2);
    expectNear(n.transform(KXPosition(1, 1, 1)), 4, 2, 2);
    // Translation lives in the fourth row, as Direct3D expects.
    EXPECT_EQ(KXMatrix::translation(5, 6, 7).getData()[12], 5.0f);
    // Counter-clockwise rotation about +z takes +x to +y.
    expectNear(KXMatrix::rotationZ(1.5707963f).transform(KXPosition(1, 0, 0)), 0, 1, 0);
    expectNear(KXMatrix::rotationAxis(KXVector(0, 0, 2), 1.5707963f).transform(KXPosition(1, 0, 0)), 0, 1, 0);
    // Directions ignore translation.
    const KXVector d = KXMatrix::translation(9, 9, 9).transform(KXVector(1, 2, 3));
    EXPECT_EQ(d, KXVector(1, 2, 3));
}

TEST(KXMatrixTest, PointTransformDividesByWAndGivesOriginForTinyW)
{
    KXMatrix m;
    m.set(3, 3, 2.0f);
    expectNear(m.transform(KXPosition(2, 4, 6)), 1, 2, 3);
    m.set(3, 3, 1e-9f);
    expectNear(m.transform(KXPosition(2, 4, 6)), 0, 0, 0, 0.0f);
}

TEST(KXMatrixTest, InverseOfRandomAffineMatricesGivesIdentity)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const KXMatrix m = randomAffine(rng);
        KXMatrix inv;
        ASSERT_TRUE(m.getInverse(inv));
        const KXMatrix id = m * inv;
        for (int k = 0; k < 16; ++k)
            EXPECT_NEAR(id[k], (k % 5 == 0) ? 1.0f : 0.0f, 1e-4f);
    }
}

TEST(KXMatrixTest, SingularInverseLeavesDestinationUnchanged)
{
    const KXMatrix flat = KXMatrix::scaling(1, 1, 0);
    KXMatrix dst = KXMatrix::translation(1, 2, 3);
    EXPECT_FALSE(flat.getInverse(dst));
    EXPECT_EQ(dst, KXMatrix::translation(1, 2, 3));
    // The threshold is 1e-9 on the determinant: det = 1e-10 is singular,
    // det = 1e-6 is not.
    EXPECT_FALSE(KXMatrix::scaling(1e-5f, 1e-5f, 1.0f).getInverse(dst));
    EXPECT_TRUE(KXMatrix::scaling(1e-3f, 1e-3f, 1.0f).getInverse(dst));
    EXPECT_NEAR(dst.get(0, 0), 1000.0f, 0.01f);
    KXMatrix inPlace = flat;
    EXPECT_FALSE(inPlace.invert());
    EXPECT_EQ(inPlace, flat);
}

TEST(KXMatrixTest, TransposeAndDeterminant)
{
    std::mt19937 rng(3);
    const KXMatrix m = randomAffine(rng);
    EXPECT_EQ(m.getTranspose().getTranspose(), m);
    EXPECT_EQ(m.getTranspose().get(3, 0), m.get(0, 3));
    EXPECT_NEAR(KXMatrix::scaling(2, 3, 4).determinant(), 24.0f, 1e-5f);
    EXPECT_NEAR(KXMatrix::rotationAxis(KXVector(1, 2, 3), 0.7f).determinant(), 1.0f, 1e-5f);
}

TEST(KXMatrixTest, DecomposeRebuildsScaleRotationTranslation)
{
    std::mt19937 rng(11);
    for (int i = 0; i < 50; ++i) {
        const KXMatrix m = randomAffine(rng);
        KXVector s, t;
        KXMatrix r;
        ASSERT_TRUE(m.decompose(s, r, t));
        EXPECT_NEAR(r.determinant(), 1.0f, 1e-4f);
        const KXMatrix rebuilt = KXMatrix::scaling(s.getX(), s.getY(), s.getZ()) * r * KXMatrix::translation(t);
        for (int k = 0; k < 16; ++k)
            EXPECT_NEAR(rebuilt[k], m[k], 1e-4f);
    }
    KXVector s, t;
    KXMatrix r;
    ASSERT_TRUE(KXMatrix::scaling(-2, 1, 1).decompose(s, r, t));
    EXPECT_FLOAT_EQ(s.getX(), -2.0f);
    EXPECT_TRUE(r.isIdentity());
}

TEST(KXMatrixTest, LookAtAndProjectionMapTargetToCentreAndPlanesToDepthRange)
{
    const KXPosition eye(4, -6, 3), target(1, 2, 0.5f);
    const KXMatrix view = KXMatrix::lookAt(eye, target, KXVector(0, 0, 1));
    // The eye sits at the origin of view space and looks down -z.
    expectNear(view.transform(eye), 0, 0, 0);
    const float dist = (target - eye).length();
    expectNear(view.transform(target), 0, 0, -dist);
    // Up in the scene stays up on screen.
    EXPECT_GT(view.transform(KXPosition(1, 2, 5)).getY(), 0.0f);

    for (const KXMatrix& proj : {KXMatrix::perspective(0.8f, 1.5f, 0.5f, 50.0f),
                                 KXMatrix::orthographic(10.0f, 8.0f, 0.5f, 50.0f)}) {
        const KXMatrix vp = view * proj;
        expectNear(vp.transform(target), 0, 0, (vp.transform(target)).getZ());
        KXVector dir = target - eye;
        dir.normalize();
        EXPECT_NEAR(vp.transform(eye + dir * 0.5f).getZ(), 0.0f, 1e-4f);
        EXPECT_NEAR(vp.transform(eye + dir * 50.0f).getZ(), 1.0f, 1e-4f);
    }
    // Perspective: a point at the top edge of the field of view lands on y = 1.
    const float fov = 0.8f;
    const KXMatrix p = KXMatrix::perspective(fov, 2.0f, 1.0f, 10.0f);
    const KXPosition top = p.transform(KXPosition(0, std::tan(fov / 2) * 5.0f, -5.0f));
    EXPECT_NEAR(top.getY(), 1.0f, 1e-5f);
    const KXPosition right = p.transform(KXPosition(2.0f * std::tan(fov / 2) * 5.0f, 0, -5.0f));
    EXPECT_NEAR(right.getX(), 1.0f, 1e-5f);
}

TEST(KXBoundsTest, GrowComputeAndMeasures)
{
    KXBounds b;
    EXPECT_FALSE(b.isEmpty());
    EXPECT_EQ(b.getRadius(), 0.0f);
    b.grow(KXPosition(1.4f, 1.4f, 1.4f));
    expectNear(b.getLowerLeftPos(), 0, 0, 0);
    expectNear(b.getUpperRightPos(), 1.4f, 1.4f, 1.4f);

    const KXPosition pts[] = {{-1, 2, 0}, {3, -2, 1}, {0, 0, 5}};
    b.compute(pts, 3);
    expectNear(b.getLowerLeftPos(), -1, -2, 0);
    expectNear(b.getUpperRightPos(), 3, 2, 5);
    expectNear(b.getCenter(), 1, 0, 2.5f);
    EXPECT_FLOAT_EQ(b.getXRange(), 4.0f);
    EXPECT_FLOAT_EQ(b.getYRange(), 4.0f);
    EXPECT_FLOAT_EQ(b.getZRange(), 5.0f);
    EXPECT_FLOAT_EQ(b.getRadius(), 0.5f * std::sqrt(16.0f + 16.0f + 25.0f));

    KXBounds empty;
    empty.compute(static_cast<const KXPosition*>(nullptr), 0);
    EXPECT_TRUE(empty.isEmpty());
    KXBounds u = b;
    u.grow(empty);
    EXPECT_EQ(u, b);
    empty.grow(KXPosition(7, 7, 7));
    EXPECT_EQ(empty.getRadius(), 0.0f);
    expectNear(empty.getCenter(), 7, 7, 7);
}

TEST(KXBoundsTest, TransformedBoundsHoldEveryTransformedPoint)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 100; ++i) {
        const KXMatrix m = randomAffine(rng);
        const KXBounds b(KXPosition(-1, -2, -3), KXPosition(2, 1, 0.5f));
        KXBounds t = b;
        t.transform(m);
        for (int k = 0; k < 20; ++k) {
            const KXPosition p(-1 + 3 * u(rng), -2 + 3 * u(rng), -3 + 3.5f * u(rng));
            const KXPosition q = m.transform(p);
            EXPECT_GE(q.getX(), t.getLowerLeftPos().getX() - 1e-4f);
            EXPECT_LE(q.getZ(), t.getUpperRightPos().getZ() + 1e-4f);
        }
        // And it is tight: some corner touches each face.
        const KXPosition c = m.transform(b.getLowerLeftPos());
        EXPECT_TRUE(t.contains(c) || (c - t.getLowerLeftPos()).length() < 1e-3f);
    }
    KXBounds rotated(KXPosition(-1, -1, -1), KXPosition(1, 1, 1));
    rotated.transform(KXMatrix::rotationZ(0.78539816f));
    EXPECT_NEAR(rotated.getXRange(), 2.0f * std::sqrt(2.0f), 1e-5f);
    EXPECT_NEAR(rotated.getZRange(), 2.0f, 1e-5f);
}

TEST(KXPlaneAndMatrix2DTest, DistancesAndTextureTransforms)
{
    const KXPlane ground;
    EXPECT_FLOAT_EQ(ground.distance(KXPosition(3, 4, 2)), 2.0f);
    KXPlane p(KXVector(0, 0, -2), KXPosition(0, 0, 0.001f));
    EXPECT_FLOAT_EQ(p.getC(), -1.0f);
    EXPECT_FLOAT_EQ(p.getD(), 0.001f);
    KXPlane unnormalised(0, 3, 4, 10);
    unnormalised.normalize();
    EXPECT_FLOAT_EQ(unnormalised.getD(), 2.0f);

    const KXMatrix2D m = KXMatrix2D::scaling(2, 3) * KXMatrix2D::translation(0.5f, 0.25f);
    float u = 1.0f, v = 1.0f;
    m.transform(u, v);
    EXPECT_FLOAT_EQ(u, 2.5f);
    EXPECT_FLOAT_EQ(v, 3.25f);
    // Element layout: u' = u*m0 + v*m3 + m6.
    EXPECT_FLOAT_EQ(m.getData()[6], 0.5f);
    const KXPosition2D r = KXMatrix2D::rotation(1.5707963f).transform(KXPosition2D(1, 0));
    EXPECT_NEAR(r.getX(), 0.0f, 1e-6f);
    EXPECT_NEAR(r.getY(), 1.0f, 1e-6f);
}
