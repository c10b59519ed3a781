#pragma once

#include "sceneapi/KXSceneExport.h"

#include <cstdint>

// A colour of four floats: red, green, blue and alpha. Components are not
// clamped on their own; clamp() brings them into 0..1.
class KXSCENE_API KXColor
{
public:
    KXColor() = default;
    KXColor(float r, float g, float b, float a = 1.0f) : m_r(r), m_g(g), m_b(b), m_a(a) {}
    // Reads red, green, blue and alpha from four floats; a null pointer gives
    // opaque black, the same as the default colour.
    explicit KXColor(const float* rgba);

    float getR() const { return m_r; }
    float getG() const { return m_g; }
    float getB() const { return m_b; }
    float getA() const { return m_a; }
    void setR(float r) { m_r = r; }
    void setG(float g) { m_g = g; }
    void setB(float b) { m_b = b; }
    void setA(float a) { m_a = a; }
    void set(float r, float g, float b, float a = 1.0f) { m_r = r; m_g = g; m_b = b; m_a = a; }
    // The four components in the order red, green, blue, alpha.
    void get(float* rgba) const;

    // Packs the colour as a Direct3D colour word: alpha in bits 24..31, red
    // 16..23, green 8..15, blue 0..7. Each component is clamped to 0..1 and
    // rounded to the nearest of 256 steps.
    uint32_t getBGRA() const
    {
        return (toByte(m_a) << 24) | (toByte(m_r) << 16) | (toByte(m_g) << 8) | toByte(m_b);
    }
    void setBGRA(uint32_t word);

    // Mean of red, green and blue; alpha is not part of it.
    float intensity() const { return (m_r + m_g + m_b) / 3.0f; }
    // Clamps every component to 0..1; NaN becomes 0.
    void clamp()
    {
        m_r = clamp01(m_r);
        m_g = clamp01(m_g);
        m_b = clamp01(m_b);
        m_a = clamp01(m_a);
    }

    KXColor operator+(const KXColor& c) const { return KXColor(m_r + c.m_r, m_g + c.m_g, m_b + c.m_b, m_a + c.m_a); }
    KXColor operator-(const KXColor& c) const { return KXColor(m_r - c.m_r, m_g - c.m_g, m_b - c.m_b, m_a - c.m_a); }
    KXColor operator*(const KXColor& c) const { return KXColor(m_r * c.m_r, m_g * c.m_g, m_b * c.m_b, m_a * c.m_a); }
    KXColor operator*(float s) const { return KXColor(m_r * s, m_g * s, m_b * s, m_a * s); }
    // Division by zero leaves the colour unchanged rather than producing infinities.
    KXColor operator/(float s) const;
    KXColor& operator+=(const KXColor& c) { return *this = *this + c; }
    KXColor& operator-=(const KXColor& c) { return *this = *this - c; }
    KXColor& operator*=(float s) { return *this = *this * s; }
    bool operator==(const KXColor& c) const { return m_r == c.m_r && m_g == c.m_g && m_b == c.m_b && m_a == c.m_a; }
    bool operator!=(const KXColor& c) const { return !(*this == c); }

private:
    static float clamp01(float v) { return !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v); }
    // 0..1 to the nearest of 256 steps; NaN and below 0 give 0.
    static uint32_t toByte(float v)
    {
        return !(v > 0.0f) ? 0u : (v >= 1.0f ? 255u : static_cast<uint32_t>(v * 255.0f + 0.5f));
    }

    float m_r = 0.0f;
    float m_g = 0.0f;
    float m_b = 0.0f;
    float m_a = 1.0f;
};
