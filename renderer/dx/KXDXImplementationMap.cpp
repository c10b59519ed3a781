#include "renderer/dx/KXDXImplementationMap.h"

#include "renderer/KXOutOfMemory.h"
#include "sceneapi/KXObject.h"

#include <utility>

KXDXImplementationMap::~KXDXImplementationMap()
{
    clear();
}

KXImplementation* KXDXImplementationMap::find(KXObject* object) const
{
    const auto found = m_entries.find(object);
    return found != m_entries.end() ? found->second.get() : nullptr;
}

bool KXDXImplementationMap::insert(KXObject* object, std::unique_ptr<KXImplementation> implementation)
{
    if (!object)
        return false;
    const auto found = m_entries.find(object);
    if (found != m_entries.end()) {
        found->second = std::move(implementation);
        return true;
    }
    // The object is listened to before it is entered, so that no entry ever
    // misses an edit; an entry that cannot be made leaves no registration.
    if (!kxRunWithinMemory([&] { object->registerObserver(this); }))
        return false;
    if (!kxRunWithinMemory([&] { m_entries.emplace(object, std::move(implementation)); })) {
        object->unregisterObserver(this);
        return false;
    }
    return true;
}

void KXDXImplementationMap::erase(KXObject* object)
{
    const auto found = m_entries.find(object);
    if (found == m_entries.end())
        return;
    object->unregisterObserver(this);
    m_entries.erase(found);
}

void KXDXImplementationMap::clear()
{
    for (auto& entry : m_entries)
        entry.first->unregisterObserver(this);
    m_entries.clear();
}

void KXDXImplementationMap::update(KXObservable* source, const KXEvent& event)
{
    const auto* objectEvent = dynamic_cast<const KXObjectEvent*>(&event);
    auto* object = dynamic_cast<KXObject*>(source);
    if (!objectEvent || !object)
        return;
    // Edits and the end of the object both make the entry stale.
    if (objectEvent->getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED ||
        objectEvent->getKind() == KXObjectEvent::KXOBJECTEVENT_DESTROYING)
        erase(object);
}
