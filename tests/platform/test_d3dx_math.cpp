// D3DX math against independent truths: inverses that multiply back to
// identity, transforms checked against hand-computed values, and the
// matrix stack's order of multiplication.

#include "D3DTestSupport.h"

#include <cmath>
#include <random>

using namespace d3dtest;

namespace {

D3DXMATRIX randomMatrix(std::mt19937& random)
{
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = value(random);
    return m;
}

float maxDifference(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    float worst = 0.0f;
    for (int i = 0; i < 16; ++i)
        worst = std::max(worst, std::fabs(a.m[i / 4][i % 4] - b.m[i / 4][i % 4]));
    return worst;
}

} // namespace

TEST(D3DXMath, InverseTimesMatrixIsIdentityOverRandomMatrices)
{
    std::mt19937 random(7);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (int i = 0; i < 200; ++i) {
        const D3DXMATRIX m = randomMatrix(random);
        D3DXMATRIX inverse, product;
        float determinant = 0.0f;
        ASSERT_EQ(&inverse, D3DXMatrixInverse(&inverse, &determinant, &m));
        EXPECT_NEAR(determinant, D3DXMatrixDeterminant(&m), 1e-3f);
        if (std::fabs(determinant) < 0.05f)
            continue;
        D3DXMatrixMultiply(&product, &m, &inverse);
        EXPECT_LT(maxDifference(product, identity), 1e-3f);
        // The output may be the input.
        D3DXMATRIX inPlace = m;
        D3DXMatrixInverse(&inPlace, nullptr, &inPlace);
        EXPECT_LT(maxDifference(inPlace, inverse), 1e-5f);
    }
    // A singular matrix has no inverse and leaves the output alone.
    D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1), out = identity;
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&out, nullptr, &singular));
    EXPECT_TRUE(out == identity);
}

TEST(D3DXMath, ProductsApplyTheLeftMatrixFirst)
{
    std::mt19937 random(3);
    const D3DXMATRIX a = randomMatrix(random), b = randomMatrix(random);
    const D3DXVECTOR3 p(0.5f, -1.0f, 2.0f);
    D3DXVECTOR4 viaProduct, step, viaSteps;
    D3DXMATRIX ab;
    D3DXMatrixMultiply(&ab, &a, &b);
    D3DXVec3Transform(&viaProduct, &p, &ab);
    D3DXVec3Transform(&step, &p, &a);
    D3DXVec4Transform(&viaSteps, &step, &b);
    EXPECT_NEAR(viaProduct.x, viaSteps.x, 1e-4f);
    EXPECT_NEAR(viaProduct.w, viaSteps.w, 1e-4f);
    D3DXMATRIX transposed, twice;
    D3DXMatrixTranspose(&transposed, &a);
    EXPECT_EQ(a._12, transposed._21);
    D3DXMatrixTranspose(&twice, &transposed);
    EXPECT_TRUE(twice == a);
}

TEST(D3DXMath, BuildersMatchHandComputedTransforms)
{
    D3DXMATRIX m;
    D3DXVECTOR3 out;
    const D3DXVECTOR3 x(1, 0, 0);
    // A quarter turn about z takes x to y (row vectors, counter-clockwise).
    D3DXMatrixRotationZ(&m, D3DX_PI / 2);
    D3DXVec3TransformCoord(&out, &x, &m);
    EXPECT_NEAR(0.0f, out.x, 1e-6f);
    EXPECT_NEAR(1.0f, out.y, 1e-6f);
    const D3DXVECTOR3 axis(0, 0, 2);
    D3DXMATRIX aboutAxis;
    D3DXMatrixRotationAxis(&aboutAxis, &axis, D3DX_PI / 2);
    EXPECT_LT(maxDifference(m, aboutAxis), 1e-6f);

    // Translation moves points, not directions.
    D3DXMatrixTranslation(&m, 1, 2, 3);
    D3DXVec3TransformCoord(&out, &x, &m);
    EXPECT_EQ(D3DXVECTOR3(2, 2, 3), out);
    D3DXVec3TransformNormal(&out, &x, &m);
    EXPECT_EQ(x, out);

    // A right-handed look-at puts the target straight ahead on -z.
    const D3DXVECTOR3 eye(0, -10, 0), at(0, 0, 0), up(0, 0, 1);
    D3DXMatrixLookAtRH(&m, &eye, &at, &up);
    D3DXVec3TransformCoord(&out, &at, &m);
    EXPECT_NEAR(0.0f, out.x, 1e-5f);
    EXPECT_NEAR(0.0f, out.y, 1e-5f);
    EXPECT_NEAR(-10.0f, out.z, 1e-5f);
    // A right-handed projection maps the near plane to depth 0 and the far
    // plane to depth 1.
    D3DXMatrixPerspectiveFovRH(&m, D3DX_PI / 2, 1.0f, 1.0f, 100.0f);
    const D3DXVECTOR3 nearPoint(0, 0, -1), farPoint(0, 0, -100);
    D3DXVec3TransformCoord(&out, &nearPoint, &m);
    EXPECT_NEAR(0.0f, out.z, 1e-6f);
    D3DXVec3TransformCoord(&out, &farPoint, &m);
    EXPECT_NEAR(1.0f, out.z, 1e-5f);
    const D3DXVECTOR3 edge(1, 0, -1);
    D3DXVec3TransformCoord(&out, &edge, &m);
    EXPECT_NEAR(1.0f, out.x, 1e-5f);

    // D3DXVec3Transform does not divide by w.
    D3DXVECTOR4 homogeneous;
    D3DXVec3Transform(&homogeneous, &edge, &m);
    EXPECT_NEAR(1.0f, homogeneous.w, 1e-6f);
    D3DXMatrixOrthoRH(&m, 4, 2, 0, 10);
    const D3DXVECTOR3 corner(2, 1, -10);
    D3DXVec3TransformCoord(&out, &corner, &m);
    EXPECT_NEAR(1.0f, out.x, 1e-6f);
    EXPECT_NEAR(1.0f, out.y, 1e-6f);
    EXPECT_NEAR(1.0f, out.z, 1e-6f);
}

TEST(D3DXMath, QuaternionsAndMatricesAgree)
{
    const D3DXVECTOR3 axis(1, 2, 3);
    D3DXQUATERNION q, back;
    D3DXMATRIX fromQuaternion, fromAxis;
    D3DXQuaternionRotationAxis(&q, &axis, 0.7f);
    D3DXMatrixRotationQuaternion(&fromQuaternion, &q);
    D3DXMatrixRotationAxis(&fromAxis, &axis, 0.7f);
    EXPECT_LT(maxDifference(fromQuaternion, fromAxis), 1e-5f);
    D3DXQuaternionRotationMatrix(&back, &fromAxis);
    EXPECT_NEAR(q.w, back.w, 1e-5f);
    EXPECT_NEAR(q.z, back.z, 1e-5f);
}

TEST(D3DXMatrixStack, LocalMultiplicationActsBeforeTheTop)
{
    Com<ID3DXMatrixStack> stack;
    ASSERT_EQ(D3D_OK, D3DXCreateMatrixStack(0, stack.out()));
    D3DXMATRIX identity, move, scale;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(*stack->GetTop() == identity);
    D3DXMatrixTranslation(&move, 5, 0, 0);
    D3DXMatrixScaling(&scale, 2, 2, 2);
    stack->LoadMatrix(&move);
    stack->Push();
    stack->MultMatrixLocal(&scale);
    EXPECT_TRUE(*stack->GetTop() == scale * move);
    stack->Pop();
    EXPECT_TRUE(*stack->GetTop() == move);
    stack->MultMatrix(&scale);
    EXPECT_TRUE(*stack->GetTop() == move * scale);
    // The bottom matrix stays when popped.
    stack->Pop();
    stack->Pop();
    EXPECT_TRUE(*stack->GetTop() == move * scale);
}

TEST(D3DXBuffer, HoldsTheBytesItWasMadeFor)
{
    Com<ID3DXBuffer> buffer;
    ASSERT_EQ(D3D_OK, D3DXCreateBuffer(40, buffer.out()));
    EXPECT_EQ(40u, buffer->GetBufferSize());
    ASSERT_NE(nullptr, buffer->GetBufferPointer());
    std::memset(buffer->GetBufferPointer(), 0xAB, 40);
    EXPECT_EQ(1u, refCount(buffer.get()));
}
