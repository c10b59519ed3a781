#pragma once

#include "sceneapi/KXObservable.h"
#include "sceneapi/KXSceneExport.h"

#include <string>
#include <utility>

// The renderer-side form of a scene object (a device mesh, a texture, a
// compiled effect). The scene graph owns it once it is set: it is deleted
// when its object is destroyed or when the data it was made from change, so
// that the renderer makes a new one.
class KXImplementation
{
public:
    virtual ~KXImplementation() = default;
    // Called when the scene graph lets go of the implementation. The default
    // deletes it; an implementation owned elsewhere (a render texture lent to
    // an image) overrides it to release only what the scene object held.
    virtual void dispose() { delete this; }
};

// Event sent by scene objects to their observers.
class KXSCENE_API KXObjectEvent : public KXEvent
{
public:
    enum KXOBJECTEVENTKIND {
        KXOBJECTEVENT_CHANGED = 0,    // the object's data or settings changed
        KXOBJECTEVENT_DESTROYING = 1, // the object is about to be deleted
    };
    explicit KXObjectEvent(KXOBJECTEVENTKIND kind) : KXEvent(kind) {}
};

class KXScene;

// Base of every scene object.
//
// Objects are reference counted: whoever keeps an object (a group its
// children, a shape its geometry and appearance, an application its scene
// parts) holds a reference with ref() and lets it go with unref(); the last
// unref deletes the object. A new object starts with no reference, so the
// first holder takes it over. KXRef does the counting for code that keeps
// objects of its own. An object that nothing holds may also be deleted
// directly; deleting an object that is still held is an error.
class KXSCENE_API KXObject : public KXObservable
{
public:
    KXObject() = default;
    // The scene the object is made for; it may be null and is not owned.
    explicit KXObject(KXScene* scene) : m_scene(scene) {}
    KXObject(const KXObject& other);
    KXObject& operator=(const KXObject&) = delete;
    ~KXObject() override;

    KXScene* getScene() const { return m_scene; }

    // Brings derived data (bounds and similar caches) up to date. The result
    // tells nothing in particular and callers ignore it.
    virtual int refresh() { return 0; }

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    const std::wstring& getName() const { return m_name; }
    void setName(const std::wstring& name) { m_name = name; }

    void ref() const { ++m_refCount; }
    // Drops a reference and deletes the object when it was the last one.
    void unref() const;
    // Drops a reference without ever deleting: for handing an object back to
    // a caller that will take it over.
    void unrefNoDelete() const { --m_refCount; }
    int getRefCount() const { return m_refCount; }

protected:
    // Called by every setter: tells observers that the object changed. Derived
    // classes extend it to drop implementations and stale caches.
    virtual void changed();

private:
    mutable int m_refCount = 0;
    KXScene* m_scene = nullptr;
    bool m_enabled = true;
    // Whether observers have heard that the object is going.
    bool m_destroyingSent = false;
    std::wstring m_name;
};

// Holds one reference to a scene object for as long as it lives.
template <class T>
class KXRef
{
public:
    KXRef() = default;
    KXRef(T* object) : m_object(object) { if (m_object) m_object->ref(); }
    KXRef(const KXRef& other) : KXRef(other.m_object) {}
    KXRef(KXRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    template <class U>
    KXRef(const KXRef<U>& other) : KXRef(other.get()) {}
    ~KXRef() { if (m_object) m_object->unref(); }

    KXRef& operator=(T* object)
    {
        if (object)
            object->ref();
        if (m_object)
            m_object->unref();
        m_object = object;
        return *this;
    }
    KXRef& operator=(const KXRef& other) { return *this = other.m_object; }
    KXRef& operator=(KXRef&& other) noexcept
    {
        if (this != &other) {
            if (m_object)
                m_object->unref();
            m_object = other.m_object;
            other.m_object = nullptr;
        }
        return *this;
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool operator==(const T* object) const { return m_object == object; }
    bool operator!=(const T* object) const { return m_object != object; }

    // Gives up the reference without releasing the object; the caller takes
    // it over (its count still includes it).
    T* release()
    {
        T* object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    T* m_object = nullptr;
};

// Makes a raw pointer member hold another object: the new object is
// referenced before the old one is let go of, so setting the same object again
// is harmless. T must be complete where this is used.
template <class T>
void KXHold(T*& slot, T* object)
{
    if (object)
        object->ref();
    T* old = slot;
    slot = object;
    if (old)
        old->unref();
}

// Creates an object and holds it: auto mesh = KXMake<KXTriMesh>();
template <class T, class... Args>
KXRef<T> KXMake(Args&&... args)
{
    return KXRef<T>(new T(std::forward<Args>(args)...));
}

// The implementation slot carried by meshes, polylines, images and shader
// programs. The slot owns what is stored in it.
class KXImplementationSlot
{
public:
    KXImplementationSlot() = default;
    KXImplementationSlot(const KXImplementationSlot&) = delete;
    KXImplementationSlot& operator=(const KXImplementationSlot&) = delete;
    ~KXImplementationSlot() { discard(); }

    KXImplementation* get() const { return m_impl; }
    // Stores a new implementation; the one it replaces is disposed of.
    void set(KXImplementation* impl)
    {
        if (impl == m_impl)
            return;
        KXImplementation* old = m_impl;
        m_impl = impl;
        if (old)
            old->dispose();
    }
    void discard() { set(nullptr); }

private:
    KXImplementation* m_impl = nullptr;
};
