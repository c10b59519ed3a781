#include "sceneapi/KXColor.h"

KXColor::KXColor(const float* rgba)
{
    if (rgba)
        set(rgba[0], rgba[1], rgba[2], rgba[3]);
}

void KXColor::get(float* rgba) const
{
    rgba[0] = m_r;
    rgba[1] = m_g;
    rgba[2] = m_b;
    rgba[3] = m_a;
}

void KXColor::setBGRA(uint32_t word)
{
    m_a = static_cast<float>((word >> 24) & 0xff) / 255.0f;
    m_r = static_cast<float>((word >> 16) & 0xff) / 255.0f;
    m_g = static_cast<float>((word >> 8) & 0xff) / 255.0f;
    m_b = static_cast<float>(word & 0xff) / 255.0f;
}

KXColor KXColor::operator/(float s) const
{
    if (s == 0.0f)
        return *this;
    return KXColor(m_r / s, m_g / s, m_b / s, m_a / s);
}

