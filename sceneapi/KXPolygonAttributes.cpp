#include "sceneapi/KXPolygonAttributes.h"

void KXPolygonAttributes::setPolygonOffset(float offset)
{
    if (offset == m_offset)
        return;
    m_offset = offset;
    changed();
}

void KXPolygonAttributes::setPolygonOffsetFactor(float factor)
{
    if (factor == m_offsetFactor)
        return;
    m_offsetFactor = factor;
    changed();
}

void KXPolygonAttributes::setCullMode(KXCULLMODE mode)
{
    if (mode == m_cullMode)
        return;
    m_cullMode = mode;
    changed();
}

void KXPolygonAttributes::setFillMode(KXFILLMODE mode)
{
    if (mode == m_fillMode)
        return;
    m_fillMode = mode;
    changed();
}
