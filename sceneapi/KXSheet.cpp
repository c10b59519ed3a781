#include "sceneapi/KXSheet.h"

#include "sceneapi/KXPrimitiveBuilder.h"

KXSheet::KXSheet()
{
    rebuild();
}

KXSheet::KXSheet(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXSheet::setParameters(const KXPosition& center, const KXVector& u, const KXVector& v, float width,
                            float height)
{
    if (isUpToDate() && center == m_center && u == m_u && v == m_v && width == m_width && height == m_height)
        return;
    m_center = center;
    m_u = u;
    m_v = v;
    m_width = width;
    m_height = height;
    rebuild();
}

void KXSheet::setSubdivisions(int divisionsU, int divisionsV)
{
    divisionsU = KXPrimitiveBuilder::clampCount(divisionsU, 1, KXPrimitiveBuilder::kMaxStacks);
    divisionsV = KXPrimitiveBuilder::clampCount(divisionsV, 1, KXPrimitiveBuilder::kMaxStacks);
    if (isUpToDate() && divisionsU == m_divisionsU && divisionsV == m_divisionsV)
        return;
    m_divisionsU = divisionsU;
    m_divisionsV = divisionsV;
    rebuild();
}

void KXSheet::generate(KXPrimitiveBuilder& builder) const
{
    KXVector u = m_u;
    KXVector v = m_v;
    u.normalize();
    v.normalize();
    KXVector normal = u.cross(v);
    if (normal.length() >= 1e-7f)
        normal.normalize();
    else
        normal = KXVector(0.0f, 0.0f, 1.0f);
    builder.addGrid(m_center, u * KXPrimitiveBuilder::sanitizeLength(m_width),
                    v * KXPrimitiveBuilder::sanitizeLength(m_height), normal, m_divisionsU, m_divisionsV);
}
