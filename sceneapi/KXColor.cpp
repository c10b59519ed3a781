#include "sceneapi/KXColor.h"

namespace {

uint32_t toByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<uint32_t>(v * 255.0f + 0.5f);
}

} // namespace

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

uint32_t KXColor::getBGRA() const
{
    return (toByte(m_a) << 24) | (toByte(m_r) << 16) | (toByte(m_g) << 8) | toByte(m_b);
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

