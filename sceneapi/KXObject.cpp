#include "sceneapi/KXObject.h"

#include <cassert>

KXObject::KXObject(const KXObject& other)
    : KXObservable(), m_refCount(0), m_scene(other.m_scene), m_enabled(other.m_enabled), m_name(other.m_name)
{
}

KXObject::~KXObject()
{
    // Deleting an object that a group, shape or KXRef still holds leaves them
    // with a dangling pointer.
    assert(m_refCount <= 0);
}

void KXObject::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    changed();
}

void KXObject::unref() const
{
    if (--m_refCount > 0)
        return;
    // Observers hear of the end while the whole object is still intact.
    KXObject* self = const_cast<KXObject*>(this);
    self->notify(KXObjectEvent(KXObjectEvent::KXOBJECTEVENT_DESTROYING));
    delete self;
}

void KXObject::changed()
{
    notify(KXObjectEvent(KXObjectEvent::KXOBJECTEVENT_CHANGED));
}
