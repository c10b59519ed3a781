#include "sceneapi/KXMatrix2D.h"

#include <cmath>
#include <cstring>

KXMatrix2D::KXMatrix2D()
{
    setIdentity();
}

KXMatrix2D::KXMatrix2D(const float* nine)
{
    setIdentity();
    setData(nine);
}

void KXMatrix2D::setData(const float* nine)
{
    if (nine)
        std::memcpy(m_m, nine, sizeof(m_m));
}

void KXMatrix2D::setIdentity()
{
    for (int i = 0; i < 9; ++i)
        m_m[i] = (i % 4 == 0) ? 1.0f : 0.0f;
}

bool KXMatrix2D::isIdentity() const
{
    return *this == KXMatrix2D();
}

KXMatrix2D KXMatrix2D::operator*(const KXMatrix2D& n) const
{
    KXMatrix2D r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m_m[i * 3 + j] = m_m[i * 3] * n.m_m[j] + m_m[i * 3 + 1] * n.m_m[3 + j] + m_m[i * 3 + 2] * n.m_m[6 + j];
    return r;
}

bool KXMatrix2D::operator==(const KXMatrix2D& n) const
{
    return std::memcmp(m_m, n.m_m, sizeof(m_m)) == 0;
}

KXPosition2D KXMatrix2D::transform(const KXPosition2D& p) const
{
    const float x = p.getX(), y = p.getY();
    const float w = x * m_m[2] + y * m_m[5] + m_m[8];
    const float u = x * m_m[0] + y * m_m[3] + m_m[6];
    const float v = x * m_m[1] + y * m_m[4] + m_m[7];
    if (std::fabs(w) < 1e-8f || w == 1.0f)
        return KXPosition2D(u, v);
    return KXPosition2D(u / w, v / w);
}

void KXMatrix2D::transform(float& u, float& v) const
{
    const float x = u, y = v;
    u = x * m_m[0] + y * m_m[3] + m_m[6];
    v = x * m_m[1] + y * m_m[4] + m_m[7];
}

KXMatrix2D KXMatrix2D::translation(float x, float y)
{
    KXMatrix2D m;
    m.m_m[6] = x;
    m.m_m[7] = y;
    return m;
}

KXMatrix2D KXMatrix2D::scaling(float x, float y)
{
    KXMatrix2D m;
    m.m_m[0] = x;
    m.m_m[4] = y;
    return m;
}

KXMatrix2D KXMatrix2D::rotation(float angle)
{
    KXMatrix2D m;
    const float c = std::cos(angle), s = std::sin(angle);
    m.m_m[0] = c;
    m.m_m[1] = s;
    m.m_m[3] = -s;
    m.m_m[4] = c;
    return m;
}
