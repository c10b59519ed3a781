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
    // An object deleted directly tells its observers too, so that none keeps
    // its address; only the observable part of it is left by now, which is
    // all an observer may use at this point (the address, unregistering).
    if (!m_destroyingSent)
        notify(KXObjectEvent(KXObjectEvent::KXOBJECTEVENT_DESTROYING));
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
    self->m_destroyingSent = true;
    self->notify(KXObjectEvent(KXObjectEvent::KXOBJECTEVENT_DESTROYING));
    delete self;
}

void KXObject::changed()
{
    notify(KXObjectEvent(KXObjectEvent::KXOBJECTEVENT_CHANGED));
}
