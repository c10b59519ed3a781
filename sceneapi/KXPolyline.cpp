#include "sceneapi/KXPolyline.h"

int KXPolyline::refresh()
{
    KXBounds b;
    b.compute(m_points.data(), static_cast<int>(m_points.size()));
    setBounds(b);
    return 0;
}

void KXPolyline::set(KXPOLYLINETYPE type, const KXPosition* points, int count, const KXColor* colors)
{
    std::vector<KXPosition> p;
    std::vector<KXColor> c;
    if (points && count > 0) {
        p.assign(points, points + count);
        if (colors)
            c.assign(colors, colors + count);
    }
    set(type, std::move(p), std::move(c));
}

void KXPolyline::set(KXPOLYLINETYPE type, std::vector<KXPosition> points, std::vector<KXColor> colors)
{
    m_type = type;
    m_points = std::move(points);
    m_colors = std::move(colors);
    refresh();
    changed();
}

int KXPolyline::getNumSegments() const
{
    const int n = static_cast<int>(m_points.size());
    switch (m_type) {
    case KXPOLYLINETYPE_SEGMENTS:
        return n / 2;
    case KXPOLYLINETYPE_OPEN:
        return n >= 2 ? n - 1 : 0;
    case KXPOLYLINETYPE_CLOSED:
        return n >= 3 ? n : (n == 2 ? 1 : 0);
    }
    return 0;
}

void KXPolyline::changed()
{
    m_impl.discard();
    KXGeometry::changed();
}
