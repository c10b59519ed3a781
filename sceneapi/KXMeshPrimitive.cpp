#include "sceneapi/KXMeshPrimitive.h"

#include "sceneapi/KXPrimitiveBuilder.h"
#include "sceneapi/KXPrimitivesFactory.h"

KXMeshPrimitive::KXMeshPrimitive() = default;

KXMeshPrimitive::KXMeshPrimitive(KXScene* scene) : KXTriMesh(scene) {}

void KXMeshPrimitive::setAttributes(int attributes)
{
    attributes &= KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_ALL;
    if (attributes == m_attributes && m_upToDate)
        return;
    const int flipped = attributes ^ m_attributes;
    m_attributes = attributes;
    if (flipped & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_TWO_SIDED)
        setSidedness((attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_TWO_SIDED) ? KXSIDEDNESS_TWO
                                                                                        : KXSIDEDNESS_ONE);
    rebuild();
}

void KXMeshPrimitive::setVertexColor(const KXColor& color)
{
    const bool same = color.getR() == m_vertexColor.getR() && color.getG() == m_vertexColor.getG() &&
                      color.getB() == m_vertexColor.getB() && color.getA() == m_vertexColor.getA();
    m_vertexColor = color;
    if (!same && (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS))
        rebuild();
}

void KXMeshPrimitive::rebuild()
{
    KXPrimitiveBuilder builder;
    generate(builder);
    if (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_NO_NORMALS)
        builder.normals.clear();
    if (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_NO_TEXCOORDS)
        builder.texCoords.clear();
    std::vector<KXColor> colors;
    if (m_attributes & KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS)
        colors.assign(builder.vertices.size(), m_vertexColor);
    // The notification that set() sends must not mark the new mesh stale.
    m_rebuilding = true;
    set(KXTRIMESHTYPE_LIST, std::move(builder.vertices), std::move(builder.indices), std::move(builder.normals),
        std::move(colors), std::move(builder.texCoords));
    m_rebuilding = false;
    m_upToDate = true;
}

void KXMeshPrimitive::changed()
{
    if (!m_rebuilding)
        m_upToDate = false;
    KXTriMesh::changed();
}
