#include "sceneapi/KXBounds.h"

#include <algorithm>

KXBounds::KXBounds(const KXPosition& lowerLeft, const KXPosition& upperRight)
{
    set(lowerLeft, upperRight);
}

void KXBounds::set(const KXPosition& lowerLeft, const KXPosition& upperRight)
{
    m_lower = KXPosition(std::min(lowerLeft.getX(), upperRight.getX()), std::min(lowerLeft.getY(), upperRight.getY()),
                         std::min(lowerLeft.getZ(), upperRight.getZ()));
    m_upper = KXPosition(std::max(lowerLeft.getX(), upperRight.getX()), std::max(lowerLeft.getY(), upperRight.getY()),
                         std::max(lowerLeft.getZ(), upperRight.getZ()));
    m_empty = false;
}

KXPosition KXBounds::getCenter() const
{
    return KXPosition((m_lower.getX() + m_upper.getX()) * 0.5f, (m_lower.getY() + m_upper.getY()) * 0.5f,
                      (m_lower.getZ() + m_upper.getZ()) * 0.5f);
}

float KXBounds::getRadius() const
{
    return m_empty ? 0.0f : (m_upper - m_lower).length() * 0.5f;
}

float KXBounds::getXRange() const { return m_empty ? 0.0f : m_upper.getX() - m_lower.getX(); }
float KXBounds::getYRange() const { return m_empty ? 0.0f : m_upper.getY() - m_lower.getY(); }
float KXBounds::getZRange() const { return m_empty ? 0.0f : m_upper.getZ() - m_lower.getZ(); }

void KXBounds::makeEmpty()
{
    m_lower = KXPosition();
    m_upper = KXPosition();
    m_empty = true;
}

void KXBounds::grow(const KXPosition& p)
{
    if (m_empty) {
        m_lower = p;
        m_upper = p;
        m_empty = false;
        return;
    }
    m_lower = KXPosition(std::min(m_lower.getX(), p.getX()), std::min(m_lower.getY(), p.getY()),
                         std::min(m_lower.getZ(), p.getZ()));
    m_upper = KXPosition(std::max(m_upper.getX(), p.getX()), std::max(m_upper.getY(), p.getY()),
                         std::max(m_upper.getZ(), p.getZ()));
}

void KXBounds::grow(const KXBounds& b)
{
    if (b.m_empty)
        return;
    grow(b.m_lower);
    grow(b.m_upper);
}

void KXBounds::compute(const KXPosition* points, int count)
{
    makeEmpty();
    for (int i = 0; points && i < count; ++i)
        grow(points[i]);
}

void KXBounds::compute(const float* xyz, int count)
{
    makeEmpty();
    for (int i = 0; xyz && i < count; ++i)
        grow(KXPosition(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]));
}

void KXBounds::transform(const KXMatrix& m)
{
    if (m_empty)
        return;
    const KXPosition lo = m_lower, hi = m_upper;
    makeEmpty();
    for (int corner = 0; corner < 8; ++corner) {
        const KXPosition p((corner & 1) ? hi.getX() : lo.getX(), (corner & 2) ? hi.getY() : lo.getY(),
                           (corner & 4) ? hi.getZ() : lo.getZ());
        grow(m.transform(p));
    }
}

bool KXBounds::contains(const KXPosition& p) const
{
    return !m_empty && p.getX() >= m_lower.getX() && p.getX() <= m_upper.getX() && p.getY() >= m_lower.getY() &&
           p.getY() <= m_upper.getY() && p.getZ() >= m_lower.getZ() && p.getZ() <= m_upper.getZ();
}

bool KXBounds::operator==(const KXBounds& b) const
{
    if (m_empty || b.m_empty)
        return m_empty == b.m_empty;
    return m_lower == b.m_lower && m_upper == b.m_upper;
}
