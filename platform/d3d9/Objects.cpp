#include "d3d9/Objects.h"

#include <atomic>
#include <cstring>
#include <exception>

namespace swd3d9 {

namespace {

std::atomic<UINT> g_liveObjects{0};
std::atomic<UINT> g_overReleases{0};

} // namespace

void noteObjectCreated() { ++g_liveObjects; }
void noteObjectDestroyed() { --g_liveObjects; }
void noteOverRelease() { ++g_overReleases; }
UINT liveObjectCount() { return g_liveObjects.load(); }
UINT overReleaseCount() { return g_overReleases.load(); }

Lifetime::Lifetime(ULONG initialPublicRefs) : m_publicRefs(initialPublicRefs) { noteObjectCreated(); }

Lifetime::~Lifetime() { noteObjectDestroyed(); }

ULONG Lifetime::addPublicRef()
{
    if (m_publicRefs++ == 0)
        onPublicRefsStarted();
    return m_publicRefs;
}

ULONG Lifetime::releasePublicRef()
{
    if (m_publicRefs == 0) {
        // A release nobody owed: counted so that tests can find it.
        noteOverRelease();
        return 0;
    }
    if (--m_publicRefs > 0)
        return m_publicRefs;
    // Letting go of the device may destroy it, and with it the bindings
    // that keep this object alive; hold it until the hook is done.
    ++m_internalRefs;
    onPublicRefsEnded();
    --m_internalRefs;
    destroyIfUnreferenced();
    return 0;
}

void Lifetime::addInternalRef() { ++m_internalRefs; }

void Lifetime::releaseInternalRef()
{
    if (m_internalRefs == 0)
        return;
    --m_internalRefs;
    destroyIfUnreferenced();
}

void Lifetime::destroyIfUnreferenced()
{
    if (m_publicRefs == 0 && m_internalRefs == 0 && !m_ownedElsewhere)
        delete this;
}

PrivateDataStore::~PrivateDataStore()
{
    for (Entry& entry : m_entries) {
        if (entry.object)
            entry.object->Release();
    }
}

HRESULT PrivateDataStore::set(REFGUID guid, const void* data, DWORD size, DWORD flags)
{
    if (!data && size != 0)
        return D3DERR_INVALIDCALL;
    const bool isObject = (flags & D3DSPD_IUNKNOWN) != 0;
    if (isObject && (size != sizeof(IUnknown*) || !data))
        return D3DERR_INVALIDCALL;
    Entry entry;
    entry.guid = guid;
    // Memory is taken before anything changes: data that cannot be stored
    // leaves the old data under the GUID, and no reference taken.
    try {
        if (size > 0)
            entry.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        m_entries.reserve(m_entries.size() + 1);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    if (isObject) {
        IUnknown* object = *static_cast<IUnknown* const*>(data);
        if (object)
            object->AddRef();
        entry.object = object;
    }
    free(guid);
    m_entries.push_back(std::move(entry));
    return D3D_OK;
}

HRESULT PrivateDataStore::get(REFGUID guid, void* data, DWORD* size) const
{
    if (!size)
        return D3DERR_INVALIDCALL;
    for (const Entry& entry : m_entries) {
        if (!IsEqualGUID(entry.guid, guid))
            continue;
        const DWORD needed = static_cast<DWORD>(entry.bytes.size());
        if (!data) {
            *size = needed;
            return D3D_OK;
        }
        if (*size < needed) {
            *size = needed;
            return D3DERR_MOREDATA;
        }
        if (entry.object)
            entry.object->AddRef();
        if (needed > 0)
            std::memcpy(data, entry.bytes.data(), needed);
        *size = needed;
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

HRESULT PrivateDataStore::free(REFGUID guid)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (IsEqualGUID(it->guid, guid)) {
            if (it->object)
                it->object->Release();
            m_entries.erase(it);
            return D3D_OK;
        }
    }
    return D3DERR_NOTFOUND;
}

} // namespace swd3d9
