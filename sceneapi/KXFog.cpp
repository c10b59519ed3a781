#include "sceneapi/KXFog.h"

#include <cmath>

void KXFog::setColor(const KXColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    changed();
}

void KXLinearFog::setFrontDistance(float distance)
{
    if (!std::isfinite(distance) || distance == m_front)
        return;
    m_front = distance;
    changed();
}

void KXLinearFog::setBackDistance(float distance)
{
    if (!std::isfinite(distance) || distance == m_back)
        return;
    m_back = distance;
    changed();
}

void KXExponentialFog::setDensity(float density)
{
    if (!std::isfinite(density) || density < 0.0f || density == m_density)
        return;
    m_density = density;
    changed();
}

void KXExponentialFog::setExpMode(int mode)
{
    if (mode == m_expMode)
        return;
    m_expMode = mode;
    changed();
}
