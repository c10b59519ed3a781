#pragma once

// A rectangle of the render target in pixels: top-left corner, width and
// height. The renderer takes and returns it; copy operations use the same
// layout for their rectangles. Plain field access, no checks.
class KXViewport
{
public:
    KXViewport() = default;
    KXViewport(unsigned x, unsigned y, unsigned width, unsigned height)
        : m_x(x), m_y(y), m_width(width), m_height(height)
    {
    }
    KXViewport(const KXViewport&) = default;
    KXViewport& operator=(const KXViewport&) = default;
    ~KXViewport() = default;

    unsigned getTopLeftCornerX() const { return m_x; }
    unsigned getTopLeftCornerY() const { return m_y; }
    unsigned getWidth() const { return m_width; }
    unsigned getHeight() const { return m_height; }
    void setTopLeftCornerX(unsigned x) { m_x = x; }
    void setTopLeftCornerY(unsigned y) { m_y = y; }
    void setWidth(unsigned width) { m_width = width; }
    void setHeight(unsigned height) { m_height = height; }

    bool operator==(const KXViewport& v) const
    {
        return m_x == v.m_x && m_y == v.m_y && m_width == v.m_width && m_height == v.m_height;
    }
    bool operator!=(const KXViewport& v) const { return !(*this == v); }

private:
    unsigned m_x = 0;
    unsigned m_y = 0;
    unsigned m_width = 100;
    unsigned m_height = 100;
};
