#include "sceneapi/KXPlane.h"

#include <cmath>

KXPlane::KXPlane(const KXVector& normal, const KXPosition& point)
{
    KXVector n = normal;
    n.normalize();
    m_a = n.getX();
    m_b = n.getY();
    m_c = n.getZ();
    m_d = -(m_a * point.getX() + m_b * point.getY() + m_c * point.getZ());
}

void KXPlane::get(float* abcd) const
{
    abcd[0] = m_a;
    abcd[1] = m_b;
    abcd[2] = m_c;
    abcd[3] = m_d;
}

void KXPlane::normalize()
{
    const float len = std::sqrt(m_a * m_a + m_b * m_b + m_c * m_c);
    if (len < 1e-7f)
        return;
    m_a /= len;
    m_b /= len;
    m_c /= len;
    m_d /= len;
}
