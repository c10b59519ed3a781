#pragma once

// Reference counting of every Direct3D and D3DX object of this platform.
//
// Direct3D 9 keeps two kinds of reference: the public count that AddRef and
// Release report, and the references the runtime holds itself (a texture,
// stream or render target bound to the device, a surface held by the
// texture it belongs to). An object dies when both are gone. Objects owned
// by a device (the back buffers and the automatic depth-stencil surface)
// die only with the device or when Reset replaces them.

#include "pipeline/DrawObjects.h"

#include <d3d9.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace swd3d9 {

// Live-object statistics for <swd3d9.h>.
void noteObjectCreated();
void noteObjectDestroyed();
void noteOverRelease();
UINT liveObjectCount();
UINT overReleaseCount();

class Lifetime : public pipeline::HeldObject
{
public:
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    ULONG addPublicRef();
    ULONG releasePublicRef();
    // Virtual so that parts of a container (the surfaces of a texture) can
    // hand their internal references to the container.
    void addInternalRef() override;
    void releaseInternalRef() override;
    ULONG publicRefs() const { return m_publicRefs; }
    ULONG internalRefs() const { return m_internalRefs; }

    // Objects that something else owns (a device's back buffers) are not
    // destroyed by their counts; the owner deletes them.
    void setOwnedElsewhere(bool owned) { m_ownedElsewhere = owned; }
    bool isOwnedElsewhere() const { return m_ownedElsewhere; }

protected:
    explicit Lifetime(ULONG initialPublicRefs);
    virtual ~Lifetime();

    // The public count left zero, or came back to it. Resources hold a
    // reference to their device while anything outside references them.
    virtual void onPublicRefsStarted() {}
    virtual void onPublicRefsEnded() {}

private:
    void destroyIfUnreferenced();

    ULONG m_publicRefs;
    ULONG m_internalRefs = 0;
    bool m_ownedElsewhere = false;
};

// Holds an internal reference on a Lifetime object while in scope.
template <class T>
class InternalRef
{
public:
    InternalRef() = default;
    explicit InternalRef(T* object) : m_object(object)
    {
        if (m_object)
            m_object->addInternalRef();
    }
    ~InternalRef() { reset(); }
    InternalRef(const InternalRef&) = delete;
    InternalRef& operator=(const InternalRef&) = delete;
    void reset(T* object = nullptr)
    {
        if (object)
            object->addInternalRef();
        T* old = m_object;
        m_object = object;
        if (old)
            old->releaseInternalRef();
    }
    T* get() const { return m_object; }

private:
    T* m_object = nullptr;
};

// Private data of resources (SetPrivateData and its companions).
class PrivateDataStore
{
public:
    PrivateDataStore() = default;
    PrivateDataStore(const PrivateDataStore&) = delete;
    PrivateDataStore& operator=(const PrivateDataStore&) = delete;
    ~PrivateDataStore();

    HRESULT set(REFGUID guid, const void* data, DWORD size, DWORD flags);
    HRESULT get(REFGUID guid, void* data, DWORD* size) const;
    HRESULT free(REFGUID guid);

private:
    struct Entry {
        GUID guid;
        std::vector<uint8_t> bytes;
        IUnknown* object = nullptr;
    };
    std::vector<Entry> m_entries;
};

// The default answer of QueryInterface for an object that implements the
// interfaces listed.
template <class Interface>
HRESULT answerQuery(Interface* self, REFIID riid, void** ppvObject, std::initializer_list<const GUID*> identifiers)
{
    if (!ppvObject)
        return E_POINTER;
    for (const GUID* id : identifiers) {
        if (IsEqualGUID(riid, *id)) {
            self->AddRef();
            *ppvObject = self;
            return S_OK;
        }
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

} // namespace swd3d9
