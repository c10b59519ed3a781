#include "sceneapi/KXWireSheet.h"

#include "sceneapi/KXPrimitiveBuilder.h"
#include "sceneapi/KXPrimitivesFactory.h"

KXWireSheet::KXWireSheet()
{
    rebuild();
}

KXWireSheet::KXWireSheet(KXScene* scene) : KXPolyline(scene)
{
    rebuild();
}

void KXWireSheet::setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width,
                                float height)
{
    if (m_upToDate && center == m_center && u == m_u && v == m_v && width == m_width && height == m_height)
        return;
    m_center = center;
    m_u = u;
    m_v = v;
    m_width = width;
    m_height = height;
    rebuild();
}

void KXWireSheet::setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width,
                                float height, int divisions)
{
    divisions = KXPrimitiveBuilder::clampCount(divisions, 1, KXPrimitiveBuilder::kMaxStacks);
    if (divisions != m_divisionsU || divisions != m_divisionsV) {
        m_divisionsU = divisions;
        m_divisionsV = divisions;
        m_upToDate = false;
    }
    setParameters(center, u, v, width, height);
}

void KXWireSheet::setDivisions(int divisionsU, int divisionsV)
{
    divisionsU = KXPrimitiveBuilder::clampCount(divisionsU, 1, KXPrimitiveBuilder::kMaxStacks);
    divisionsV = KXPrimitiveBuilder::clampCount(divisionsV, 1, KXPrimitiveBuilder::kMaxStacks);
    if (m_upToDate && divisionsU == m_divisionsU && divisionsV == m_divisionsV)
        return;
    m_divisionsU = divisionsU;
    m_divisionsV = divisionsV;
    rebuild();
}

void KXWireSheet::setAttributes(int attributes)
{
    attributes &= KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_ALL;
    if (m_upToDate && attributes == m_attributes)
        return;
    m_attributes = attributes;
    rebuild();
}

void KXWireSheet::setVertexColor(const KXColor& color)
{
    const bool same = color.getR() == m_vertexColor.getR() && color.getG() == m_vertexColor.getG() &&
                      color.getB() == m_vertexColor.getB() && color.getA() == m_vertexColor.getA();
    m_vertexColor = color;
    if (!same && (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS))
        rebuild();
}

void KXWireSheet::rebuild()
{
    KXVector u = m_u;
    KXVector v = m_v;
    u.normalize();
    v.normalize();
    const KXVector uSpan = u * KXPrimitiveBuilder::sanitizeLength(m_width);
    const KXVector vSpan = v * KXPrimitiveBuilder::sanitizeLength(m_height);
    const KXVector halfU = uSpan * 0.5f;
    const KXVector halfV = vSpan * 0.5f;

    std::vector<KXPosition> points;
    points.reserve(2 * static_cast<size_t>(m_divisionsU + m_divisionsV + 2));
    for (int i = 0; i <= m_divisionsU; ++i) {
        const KXPosition onU = m_center + uSpan * (static_cast<float>(i) / static_cast<float>(m_divisionsU) - 0.5f);
        points.push_back(onU - halfV);
        points.push_back(onU + halfV);
    }
    for (int j = 0; j <= m_divisionsV; ++j) {
        const KXPosition onV = m_center + vSpan * (static_cast<float>(j) / static_cast<float>(m_divisionsV) - 0.5f);
        points.push_back(onV - halfU);
        points.push_back(onV + halfU);
    }
    std::vector<KXColor> colors;
    if (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS)
        colors.assign(points.size(), m_vertexColor);

    m_rebuilding = true;
    set(KXPOLYLINETYPE_SEGMENTS, std::move(points), std::move(colors));
    m_rebuilding = false;
    m_upToDate = true;
}

void KXWireSheet::changed()
{
    if (!m_rebuilding)
        m_upToDate = false;
    KXPolyline::changed();
}
