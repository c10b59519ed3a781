#include "sceneapi/KXVector.h"

#include <cmath>

namespace {

constexpr float kMinNormalizeLength = 1e-7f;

KXVector normalized(KXVector v)
{
    v.KXVector::normalize();
    return v;
}

} // namespace

KXPosition::KXPosition(const KXVector& v) : m_x(v.getX()), m_y(v.getY()), m_z(v.getZ()) {}

float KXPosition::distance(const KXPosition& p) const
{
    return (*this - p).length();
}

KXPosition KXPosition::operator+(const KXVector& v) const
{
    return KXPosition(m_x + v.getX(), m_y + v.getY(), m_z + v.getZ());
}

KXPosition KXPosition::operator-(const KXVector& v) const
{
    return KXPosition(m_x - v.getX(), m_y - v.getY(), m_z - v.getZ());
}

KXVector KXPosition::operator-(const KXPosition& p) const
{
    return KXVector(m_x - p.m_x, m_y - p.m_y, m_z - p.m_z);
}

KXPosition& KXPosition::operator+=(const KXVector& v)
{
    m_x += v.getX();
    m_y += v.getY();
    m_z += v.getZ();
    return *this;
}

KXPosition& KXPosition::operator-=(const KXVector& v)
{
    m_x -= v.getX();
    m_y -= v.getY();
    m_z -= v.getZ();
    return *this;
}

void KXVector::normalize()
{
    const float len = KXVector::length();
    if (len >= kMinNormalizeLength) {
        m_x /= len;
        m_y /= len;
        m_z /= len;
    }
}

float KXVector::length() const
{
    return std::sqrt(m_x * m_x + m_y * m_y + m_z * m_z);
}

void KXVector::set(float x, float y, float z)
{
    m_x = x;
    m_y = y;
    m_z = z;
    // A unit vector re-normalises through its own setter.
    setZ(z);
}

KXVector& KXVector::operator+=(const KXVector& v)
{
    m_x += v.m_x;
    m_y += v.m_y;
    m_z += v.m_z;
    return *this;
}

KXVector& KXVector::operator-=(const KXVector& v)
{
    m_x -= v.m_x;
    m_y -= v.m_y;
    m_z -= v.m_z;
    return *this;
}

KXVector& KXVector::operator*=(float s)
{
    m_x *= s;
    m_y *= s;
    m_z *= s;
    return *this;
}

KXVector& KXVector::operator/=(float s)
{
    if (s != 0.0f) {
        m_x /= s;
        m_y /= s;
        m_z /= s;
    }
    return *this;
}

KXVector KXVector::operator+(const KXVector& v) const
{
    return KXVector(m_x + v.m_x, m_y + v.m_y, m_z + v.m_z);
}

KXVector KXVector::operator-(const KXVector& v) const
{
    return KXVector(m_x - v.m_x, m_y - v.m_y, m_z - v.m_z);
}

KXVector KXVector::operator-() const
{
    return KXVector(-m_x, -m_y, -m_z);
}

KXVector KXVector::operator*(float s) const
{
    return KXVector(m_x * s, m_y * s, m_z * s);
}

KXVector KXVector::operator/(float s) const
{
    if (s == 0.0f)
        return KXVector(m_x, m_y, m_z);
    return KXVector(m_x / s, m_y / s, m_z / s);
}

KXVector KXVector::cross(const KXVector& v) const
{
    return KXVector(m_y * v.m_z - m_z * v.m_y, m_z * v.m_x - m_x * v.m_z, m_x * v.m_y - m_y * v.m_x);
}

KXUnitVector& KXUnitVector::operator=(const KXVector& v)
{
    m_x = v.getX();
    m_y = v.getY();
    m_z = v.getZ();
    KXVector::normalize();
    return *this;
}

void KXUnitVector::setX(float x)
{
    m_x = x;
    KXVector::normalize();
}

void KXUnitVector::setY(float y)
{
    m_y = y;
    KXVector::normalize();
}

void KXUnitVector::setZ(float z)
{
    m_z = z;
    KXVector::normalize();
}

KXVector& KXUnitVector::operator+=(const KXVector& v)
{
    KXVector::operator+=(v);
    KXVector::normalize();
    return *this;
}

KXVector& KXUnitVector::operator-=(const KXVector& v)
{
    KXVector::operator-=(v);
    KXVector::normalize();
    return *this;
}

KXVector& KXUnitVector::operator*=(float s)
{
    KXVector::operator*=(s);
    KXVector::normalize();
    return *this;
}

KXVector& KXUnitVector::operator/=(float s)
{
    KXVector::operator/=(s);
    KXVector::normalize();
    return *this;
}

KXVector KXUnitVector::operator+(const KXVector& v) const { return normalized(KXVector::operator+(v)); }
KXVector KXUnitVector::operator-(const KXVector& v) const { return normalized(KXVector::operator-(v)); }
KXVector KXUnitVector::operator-() const { return normalized(KXVector::operator-()); }
KXVector KXUnitVector::operator*(float s) const { return normalized(KXVector::operator*(s)); }
KXVector KXUnitVector::operator/(float s) const { return normalized(KXVector::operator/(s)); }
