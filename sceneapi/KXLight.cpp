#include "sceneapi/KXLight.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

// Shorter vectors are what KXVector::normalize leaves alone: they name no
// direction.
bool isDirection(const KXVector& v)
{
    return std::isfinite(v.getX()) && std::isfinite(v.getY()) && std::isfinite(v.getZ()) && v.length() >= 1e-7f;
}

float clampAngle(float angle)
{
    return std::clamp(angle, 0.0f, kPi);
}

} // namespace

void KXLight::setColor(const KXColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    changed();
}

void KXLight::setCastShadows(bool castShadows)
{
    if (castShadows == m_castShadows)
        return;
    m_castShadows = castShadows;
    changed();
}

void KXDirectionalLight::setDirection(const KXVector& direction)
{
    if (!isDirection(direction))
        return;
    const KXUnitVector unit(direction);
    if (unit == m_direction)
        return;
    m_direction = unit;
    changed();
}

void KXPointLight::setPosition(const KXPosition& position)
{
    if (position == m_position)
        return;
    m_position = position;
    changed();
}

void KXPointLight::setAttenuation(const KXVector& attenuation)
{
    const float a[3] = {attenuation.getX(), attenuation.getY(), attenuation.getZ()};
    bool positive = false;
    for (float c : a) {
        if (!std::isfinite(c) || c < 0.0f)
            return;
        positive = positive || c > 0.0f;
    }
    if (!positive || attenuation == m_attenuation)
        return;
    m_attenuation = attenuation;
    changed();
}

void KXPointLight::setRange(float range)
{
    if (std::isnan(range) || range < 0.0f)
        return;
    range = std::min(range, MAX_RANGE);
    if (range == m_range)
        return;
    m_range = range;
    changed();
}

void KXPointLight::setRadius(float radius)
{
    if (!std::isfinite(radius) || radius < 0.0f || radius == m_radius)
        return;
    m_radius = radius;
    changed();
}

void KXSpotLight::setDirection(const KXVector& direction)
{
    if (!isDirection(direction))
        return;
    const KXUnitVector unit(direction);
    if (unit == m_direction)
        return;
    m_direction = unit;
    changed();
}

void KXSpotLight::setInnerSpreadAngle(float angle)
{
    if (!std::isfinite(angle))
        return;
    angle = clampAngle(angle);
    if (angle == m_innerAngle)
        return;
    m_innerAngle = angle;
    changed();
}

void KXSpotLight::setOuterSpreadAngle(float angle)
{
    if (!std::isfinite(angle))
        return;
    angle = clampAngle(angle);
    if (angle == m_outerAngle)
        return;
    m_outerAngle = angle;
    changed();
}

void KXSpotLight::setSpreadAngles(float inner, float outer)
{
    if (!std::isfinite(inner) || !std::isfinite(outer))
        return;
    inner = clampAngle(inner);
    outer = clampAngle(outer);
    if (inner > outer)
        std::swap(inner, outer);
    if (inner == m_innerAngle && outer == m_outerAngle)
        return;
    m_innerAngle = inner;
    m_outerAngle = outer;
    changed();
}

void KXSpotLight::setConcentration(float concentration)
{
    if (!std::isfinite(concentration) || concentration < 0.0f || concentration == m_concentration)
        return;
    m_concentration = concentration;
    changed();
}
