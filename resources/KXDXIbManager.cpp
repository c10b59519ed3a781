#include "resources/KXDXIbManager.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXBufferEvents.h"

KXDXIbManager::KXDXIbManager(KXDXDevice* device)
    : m_device(device), m_indices16(BUFFER_INDICES), m_indices32(BUFFER_INDICES)
{
}

KXDXIbManager::~KXDXIbManager()
{
    // Holders of blocks hear it while the buffers still exist. Nothing may
    // leave a destructor: out of memory for the walk, nobody hears it.
    kxRunWithinMemory([&] { notify(KXDXVbIbMgrEvent(KXDXVbIbMgrEvent::KXDXVBIBMGREVENT_IBMANAGERDESTROYED)); });
}

const KXDXBufferPool& KXDXIbManager::getPool(D3DFORMAT format) const
{
    return format == D3DFMT_INDEX32 ? m_indices32 : m_indices16;
}

int KXDXIbManager::allocate(uint32_t count, D3DFORMAT format, IDirect3DIndexBuffer9*& buffer, uint32_t& startIndex)
{
    IDirect3DDevice9* d3d = m_device ? m_device->getD3DDevice() : nullptr;
    if (!d3d || count == 0 || count > BUFFER_INDICES || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return KXRESULT_FAILED;
    KXDXBufferPool& pool = format == D3DFMT_INDEX32 ? m_indices32 : m_indices16;
    const UINT width = format == D3DFMT_INDEX32 ? 4 : 2;
    KXDXBufferPool::Block block;
    if (!pool.allocateFree(count, block)) {
        IDirect3DIndexBuffer9* created = nullptr;
        if (FAILED(d3d->CreateIndexBuffer(width * BUFFER_INDICES, D3DUSAGE_WRITEONLY, format, D3DPOOL_MANAGED,
                                          &created, nullptr)) ||
            !created)
            return KXRESULT_FAILED;
        if (!pool.addBuffer(created, count, block)) {
            created->Release();
            return KXRESULT_FAILED;
        }
    }
    buffer = static_cast<IDirect3DIndexBuffer9*>(block.buffer);
    startIndex = block.start;
    return KXRESULT_OK;
}

void KXDXIbManager::update(KXObservable* source, const KXEvent& event)
{
    const auto* meshEvent = dynamic_cast<const KXDXTriMeshEvent*>(&event);
    if (!meshEvent || meshEvent->getKind() != KXDXTriMeshEvent::KXDXTRIMESHEVENT_RELEASEBLOCKS)
        return;
    const KXDXBufferPool::Block block{meshEvent->getIndexBuffer(), meshEvent->getIndexCount(),
                                      meshEvent->getStartIndex()};
    if (m_indices16.owns(block.buffer))
        m_indices16.giveBack(block);
    else if (m_indices32.owns(block.buffer))
        m_indices32.giveBack(block);
    unregisterObserver(dynamic_cast<KXObserver*>(source));
}
