#pragma once

// A point in the plane (texture space, image space or screen space).
class KXPosition2D
{
public:
    KXPosition2D() = default;
    KXPosition2D(float x, float y) : m_x(x), m_y(y) {}
    float getX() const { return m_x; }
    float getY() const { return m_y; }
    void setX(float x) { m_x = x; }
    void setY(float y) { m_y = y; }
    void set(float x, float y) { m_x = x; m_y = y; }
    bool operator==(const KXPosition2D& p) const { return m_x == p.m_x && m_y == p.m_y; }

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
};

// A width and a height.
class KXDimension2D
{
public:
    KXDimension2D() = default;
    KXDimension2D(float width, float height) : m_width(width), m_height(height) {}
    float getWidth() const { return m_width; }
    float getHeight() const { return m_height; }
    void setWidth(float w) { m_width = w; }
    void setHeight(float h) { m_height = h; }
    void set(float w, float h) { m_width = w; m_height = h; }
    bool operator==(const KXDimension2D& d) const { return m_width == d.m_width && m_height == d.m_height; }

private:
    float m_width = 0.0f;
    float m_height = 0.0f;
};
