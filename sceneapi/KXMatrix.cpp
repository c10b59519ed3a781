#include "sceneapi/KXMatrix.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kSingularDeterminant = 1e-9;
constexpr float kMinW = 1e-8f;

} // namespace

KXMatrix::KXMatrix()
{
    setIdentity();
}

KXMatrix::KXMatrix(const float* sixteen)
{
    if (sixteen)
        std::memcpy(m_m, sixteen, sizeof(m_m));
    else
        setIdentity();
}

KXMatrix::KXMatrix(float m11, float m12, float m13, float m14,
                   float m21, float m22, float m23, float m24,
                   float m31, float m32, float m33, float m34,
                   float m41, float m42, float m43, float m44)
    : m_m{m11, m12, m13, m14, m21, m22, m23, m24, m31, m32, m33, m34, m41, m42, m43, m44}
{
}

void KXMatrix::setData(const float* sixteen)
{
    if (sixteen)
        std::memcpy(m_m, sixteen, sizeof(m_m));
}

void KXMatrix::setIdentity()
{
    for (int i = 0; i < 16; ++i)
        m_m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

bool KXMatrix::isIdentity() const
{
    return *this == KXMatrix();
}

KXMatrix KXMatrix::operator*(const KXMatrix& n) const
{
    KXMatrix r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += m_m[i * 4 + k] * n.m_m[k * 4 + j];
            r.m_m[i * 4 + j] = s;
        }
    }
    return r;
}

KXMatrix& KXMatrix::operator*=(const KXMatrix& n)
{
    *this = *this * n;
    return *this;
}

bool KXMatrix::operator==(const KXMatrix& n) const
{
    for (int i = 0; i < 16; ++i)
        if (m_m[i] != n.m_m[i])
            return false;
    return true;
}

namespace {

// The cofactor expansion, in double precision so that the singularity
// threshold is judged on an accurate determinant.
void cofactors(const float* m, double* inv)
{
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
}

} // namespace

float KXMatrix::determinant() const
{
    double inv[16];
    double m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = m_m[i];
    cofactors(m_m, inv);
    return static_cast<float>(m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12]);
}

bool KXMatrix::getInverse(KXMatrix& dst) const
{
    double inv[16];
    cofactors(m_m, inv);
    const double det = m_m[0] * inv[0] + m_m[1] * inv[4] + m_m[2] * inv[8] + m_m[3] * inv[12];
    if (std::fabs(det) < kSingularDeterminant)
        return false;
    const double invDet = 1.0 / det;
    for (int i = 0; i < 16; ++i)
        dst.m_m[i] = static_cast<float>(inv[i] * invDet);
    return true;
}

bool KXMatrix::invert()
{
    return getInverse(*this);
}

KXMatrix KXMatrix::getTranspose() const
{
    KXMatrix t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.m_m[c * 4 + r] = m_m[r * 4 + c];
    return t;
}

void KXMatrix::transpose()
{
    *this = getTranspose();
}

KXPosition KXMatrix::transform(const KXPosition& p) const
{
    const float x = p.getX(), y = p.getY(), z = p.getZ();
    const float w = x * m_m[3] + y * m_m[7] + z * m_m[11] + m_m[15];
    if (std::fabs(w) < kMinW)
        return KXPosition(0.0f, 0.0f, 0.0f);
    return KXPosition((x * m_m[0] + y * m_m[4] + z * m_m[8] + m_m[12]) / w,
                      (x * m_m[1] + y * m_m[5] + z * m_m[9] + m_m[13]) / w,
                      (x * m_m[2] + y * m_m[6] + z * m_m[10] + m_m[14]) / w);
}

KXVector KXMatrix::transform(const KXVector& v) const
{
    const float x = v.getX(), y = v.getY(), z = v.getZ();
    return KXVector(x * m_m[0] + y * m_m[4] + z * m_m[8],
                    x * m_m[1] + y * m_m[5] + z * m_m[9],
                    x * m_m[2] + y * m_m[6] + z * m_m[10]);
}

bool KXMatrix::decompose(KXVector& scale, KXMatrix& rotation, KXVector& translation) const
{
    translation = getTranslation();
    KXVector rows[3] = {KXVector(m_m[0], m_m[1], m_m[2]), KXVector(m_m[4], m_m[5], m_m[6]),
                        KXVector(m_m[8], m_m[9], m_m[10])};
    float s[3] = {rows[0].length(), rows[1].length(), rows[2].length()};
    rotation.setIdentity();
    if (s[0] == 0.0f || s[1] == 0.0f || s[2] == 0.0f) {
        scale = KXVector(s[0], s[1], s[2]);
        return false;
    }
    // A negative determinant means a mirroring; fold it into the x scale so
    // that the rotation stays proper.
    if (rows[0].cross(rows[1]).dot(rows[2]) < 0.0f)
        s[0] = -s[0];
    scale = KXVector(s[0], s[1], s[2]);
    for (int r = 0; r < 3; ++r) {
        rotation.m_m[r * 4 + 0] = rows[r].getX() / s[r];
        rotation.m_m[r * 4 + 1] = rows[r].getY() / s[r];
        rotation.m_m[r * 4 + 2] = rows[r].getZ() / s[r];
    }
    return true;
}

void KXMatrix::setTranslation(const KXVector& t)
{
    m_m[12] = t.getX();
    m_m[13] = t.getY();
    m_m[14] = t.getZ();
}

KXMatrix KXMatrix::translation(float x, float y, float z)
{
    KXMatrix m;
    m.m_m[12] = x;
    m.m_m[13] = y;
    m.m_m[14] = z;
    return m;
}

KXMatrix KXMatrix::scaling(float x, float y, float z)
{
    KXMatrix m;
    m.m_m[0] = x;
    m.m_m[5] = y;
    m.m_m[10] = z;
    return m;
}

KXMatrix KXMatrix::rotationX(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    return KXMatrix(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
}

KXMatrix KXMatrix::rotationY(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    return KXMatrix(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
}

KXMatrix KXMatrix::rotationZ(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    return KXMatrix(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
}

KXMatrix KXMatrix::rotationAxis(const KXVector& axis, float angle)
{
    KXVector a = axis;
    a.normalize();
    const float x = a.getX(), y = a.getY(), z = a.getZ();
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    return KXMatrix(t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0,
                    t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0,
                    t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0,
                    0, 0, 0, 1);
}

KXMatrix KXMatrix::lookAt(const KXPosition& eye, const KXPosition& target, const KXVector& up)
{
    KXVector zaxis = eye - target;
    zaxis.normalize();
    KXVector xaxis = up.cross(zaxis);
    xaxis.normalize();
    const KXVector yaxis = zaxis.cross(xaxis);
    const KXVector e(eye);
    return KXMatrix(xaxis.getX(), yaxis.getX(), zaxis.getX(), 0,
                    xaxis.getY(), yaxis.getY(), zaxis.getY(), 0,
                    xaxis.getZ(), yaxis.getZ(), zaxis.getZ(), 0,
                    -xaxis.dot(e), -yaxis.dot(e), -zaxis.dot(e), 1);
}

KXMatrix KXMatrix::perspective(float fovY, float aspect, float zNear, float zFar)
{
    const float yScale = 1.0f / std::tan(fovY * 0.5f);
    const float xScale = aspect != 0.0f ? yScale / aspect : yScale;
    const float range = zNear - zFar;
    return KXMatrix(xScale, 0, 0, 0,
                    0, yScale, 0, 0,
                    0, 0, zFar / range, -1,
                    0, 0, zNear * zFar / range, 0);
}

KXMatrix KXMatrix::perspectiveOffCenter(float l, float r, float b, float t, float zNear, float zFar)
{
    const float range = zNear - zFar;
    return KXMatrix(2 * zNear / (r - l), 0, 0, 0,
                    0, 2 * zNear / (t - b), 0, 0,
                    (l + r) / (r - l), (t + b) / (t - b), zFar / range, -1,
                    0, 0, zNear * zFar / range, 0);
}

KXMatrix KXMatrix::orthographic(float width, float height, float zNear, float zFar)
{
    return orthographicOffCenter(-width * 0.5f, width * 0.5f, -height * 0.5f, height * 0.5f, zNear, zFar);
}

KXMatrix KXMatrix::orthographicOffCenter(float l, float r, float b, float t, float zNear, float zFar)
{
    const float range = zNear - zFar;
    return KXMatrix(2 / (r - l), 0, 0, 0,
                    0, 2 / (t - b), 0, 0,
                    0, 0, 1 / range, 0,
                    (l + r) / (l - r), (t + b) / (b - t), zNear / range, 1);
}
