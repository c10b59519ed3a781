#include "sceneapi/KXGeometryGroup.h"

#include "sceneapi/KXTriMesh.h"

#include <algorithm>

KXGeometryGroup::~KXGeometryGroup()
{
    for (KXGeometry* g : m_geometries) {
        g->unregisterObserver(this);
        g->unref();
    }
}

KXGeometry* KXGeometryGroup::getGeometry(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_geometries.size()))
        return nullptr;
    return m_geometries[index];
}

void KXGeometryGroup::addGeometry(KXGeometry* geometry)
{
    if (!geometry)
        return;
    geometry->ref();
    if (std::find(m_geometries.begin(), m_geometries.end(), geometry) == m_geometries.end())
        geometry->registerObserver(this);
    m_geometries.push_back(geometry);
    changed();
}

bool KXGeometryGroup::removeGeometry(KXGeometry* geometry)
{
    auto it = std::find(m_geometries.begin(), m_geometries.end(), geometry);
    if (it == m_geometries.end())
        return false;
    m_geometries.erase(it);
    if (std::find(m_geometries.begin(), m_geometries.end(), geometry) == m_geometries.end())
        geometry->unregisterObserver(this);
    changed();
    geometry->unref();
    return true;
}

void KXGeometryGroup::removeAllGeometry()
{
    std::vector<KXGeometry*> old;
    old.swap(m_geometries);
    for (KXGeometry* g : old)
        g->unregisterObserver(this);
    changed();
    for (KXGeometry* g : old)
        g->unref();
}

KXBounds KXGeometryGroup::getBounds() const
{
    KXBounds b;
    b.makeEmpty();
    for (const KXGeometry* g : m_geometries)
        b.grow(g->getBounds());
    return b;
}

int KXGeometryGroup::getNumTriangles() const
{
    int n = 0;
    for (const KXGeometry* g : m_geometries)
        if (g->getGeomType() == KXGeometry::KXGEOMTYPE_TRIMESH)
            n += static_cast<const KXTriMesh*>(g)->getNumTriangles();
    return n;
}

int KXGeometryGroup::refresh()
{
    for (KXGeometry* g : m_geometries)
        g->refresh();
    return 0;
}

void KXGeometryGroup::update(KXObservable*, const KXEvent& event)
{
    if (event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED && dynamic_cast<const KXObjectEvent*>(&event))
        changed();
}
