#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObservable.h"

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <utility>

class KXImplementation;
class KXObject;

// Device-side implementations that a renderer or render state keeps for
// scene objects of its own, beside the objects' implementation slots, keyed
// by object. The map observes every object it has an entry for: when the
// object changes or is about to be destroyed its entry is deleted and the
// map stops listening to it, so that the next lookup makes a new
// implementation from the current data and an object later created at the
// same address never finds a stale one.
class KXDXRENDERER_API KXDXImplementationMap final : public KXObserver
{
public:
    KXDXImplementationMap() = default;
    KXDXImplementationMap(const KXDXImplementationMap&) = delete;
    KXDXImplementationMap& operator=(const KXDXImplementationMap&) = delete;
    ~KXDXImplementationMap() override;

    // The implementation entered for object, or null.
    KXImplementation* find(KXObject* object) const;
    template <class Impl>
    Impl* findAs(KXObject* object) const
    {
        return dynamic_cast<Impl*>(find(object));
    }
    // The implementation of object, made with make (a new Impl or null) when
    // there is none or when the one there is not on device: made before the
    // owner moved to another device, or out of memory as it was made (it
    // then links to no device). Null, entering nothing, out of memory.
    template <class Impl, class Device, class Make>
    Impl* findOrMake(KXObject* object, Device* device, Make make)
    {
        Impl* impl = findAs<Impl>(object);
        if (impl && impl->getDevice() == device)
            return impl;
        std::unique_ptr<Impl> made(make());
        impl = made.get();
        if (!made || !insert(object, std::move(made)))
            return nullptr;
        return impl;
    }
    // Enters implementation for object, replacing (and deleting) what was
    // there. False when memory ran out: implementation is deleted and the
    // map is as it was without the old entry.
    bool insert(KXObject* object, std::unique_ptr<KXImplementation> implementation);
    void erase(KXObject* object);
    // Deletes every implementation and stops listening to every object.
    void clear();
    std::size_t size() const { return m_entries.size(); }

    void update(KXObservable* source, const KXEvent& event) override;

private:
    std::unordered_map<KXObject*, std::unique_ptr<KXImplementation>> m_entries;
};
