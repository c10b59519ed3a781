#include "sceneapi/KXShape.h"

#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXTriMesh.h"

KXShape::~KXShape()
{
    if (m_geometry) {
        m_geometry->unregisterObserver(this);
        m_geometry->unref();
    }
    if (m_geometryGroup) {
        m_geometryGroup->unregisterObserver(this);
        m_geometryGroup->unref();
    }
    if (m_appearance)
        m_appearance->unref();
    if (m_selectedAppearance)
        m_selectedAppearance->unref();
}

void KXShape::setGeometry(KXGeometry* geometry)
{
    if (geometry == m_geometry)
        return;
    if (m_geometry)
        m_geometry->unregisterObserver(this);
    KXHold(m_geometry, geometry);
    if (m_geometry)
        m_geometry->registerObserver(this);
    invalidateBounds();
    KXObject::changed();
}

void KXShape::setGeometryGroup(KXGeometryGroup* group)
{
    if (group == m_geometryGroup)
        return;
    if (m_geometryGroup)
        m_geometryGroup->unregisterObserver(this);
    KXHold(m_geometryGroup, group);
    if (m_geometryGroup)
        m_geometryGroup->registerObserver(this);
    invalidateBounds();
    KXObject::changed();
}

void KXShape::setAppearance(KXAppearance* appearance)
{
    if (appearance == m_appearance)
        return;
    KXHold(m_appearance, appearance);
    KXObject::changed();
}

void KXShape::setSelectedAppearance(KXAppearance* appearance)
{
    if (appearance == m_selectedAppearance)
        return;
    KXHold(m_selectedAppearance, appearance);
    KXObject::changed();
}

int KXShape::getNumTriangles() const
{
    int n = 0;
    if (m_geometry && m_geometry->getGeomType() == KXGeometry::KXGEOMTYPE_TRIMESH)
        n += static_cast<const KXTriMesh*>(m_geometry)->getNumTriangles();
    if (m_geometryGroup)
        n += m_geometryGroup->getNumTriangles();
    return n;
}

int KXShape::refresh()
{
    if (m_geometry)
        m_geometry->refresh();
    if (m_geometryGroup)
        m_geometryGroup->refresh();
    return KXNode::refresh();
}

void KXShape::update(KXObservable* source, const KXEvent& event)
{
    if (event.getKind() != KXObjectEvent::KXOBJECTEVENT_CHANGED || !dynamic_cast<const KXObjectEvent*>(&event))
        return;
    if (source == m_geometry || source == m_geometryGroup) {
        invalidateBounds();
        KXObject::changed();
    }
}

KXBounds KXShape::computeBounds() const
{
    KXBounds bounds;
    bounds.makeEmpty();
    if (m_geometry)
        bounds.grow(m_geometry->getBounds());
    if (m_geometryGroup)
        bounds.grow(m_geometryGroup->getBounds());
    return bounds;
}
