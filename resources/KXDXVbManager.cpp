#include "resources/KXDXVbManager.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXBufferEvents.h"

namespace {

constexpr DWORD POSITION_NORMAL_FVF = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr DWORD POSITION_NORMAL_TEX_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
constexpr UINT POSITION_NORMAL_STRIDE = 24;
constexpr UINT POSITION_NORMAL_TEX_STRIDE = 32;

} // namespace

KXDXVbManager::KXDXVbManager(KXDXDevice* device)
    : m_device(device), m_positionNormal(BUFFER_VERTICES), m_positionNormalTex(BUFFER_VERTICES)
{
}

KXDXVbManager::~KXDXVbManager()
{
    // Holders of blocks hear it while the buffers still exist. Nothing may
    // leave a destructor: out of memory for the walk, nobody hears it.
    kxRunWithinMemory([&] { notify(KXDXVbIbMgrEvent(KXDXVbIbMgrEvent::KXDXVBIBMGREVENT_VBMANAGERDESTROYED)); });
}

const KXDXBufferPool& KXDXVbManager::getPool(KXDXVBPOOL pool) const
{
    return pool == KXDXVBPOOL_POSITIONNORMAL ? m_positionNormal : m_positionNormalTex;
}

int KXDXVbManager::allocate(uint32_t count, DWORD fvf, IDirect3DVertexBuffer9*& buffer, uint32_t& baseVertex)
{
    IDirect3DDevice9* d3d = m_device ? m_device->getD3DDevice() : nullptr;
    if (!d3d || count == 0 || count > BUFFER_VERTICES)
        return KXRESULT_FAILED;
    KXDXBufferPool* pool;
    UINT stride;
    if (fvf == POSITION_NORMAL_FVF) {
        pool = &m_positionNormal;
        stride = POSITION_NORMAL_STRIDE;
    } else if (fvf == POSITION_NORMAL_TEX_FVF) {
        pool = &m_positionNormalTex;
        stride = POSITION_NORMAL_TEX_STRIDE;
    } else {
        return KXRESULT_FAILED;
    }
    KXDXBufferPool::Block block;
    if (!pool->allocateFree(count, block)) {
        IDirect3DVertexBuffer9* created = nullptr;
        if (FAILED(d3d->CreateVertexBuffer(stride * BUFFER_VERTICES, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                           &created, nullptr)) ||
            !created)
            return KXRESULT_FAILED;
        if (!pool->addBuffer(created, count, block)) {
            created->Release();
            return KXRESULT_FAILED;
        }
    }
    buffer = static_cast<IDirect3DVertexBuffer9*>(block.buffer);
    baseVertex = block.start;
    return KXRESULT_OK;
}

void KXDXVbManager::update(KXObservable* source, const KXEvent& event)
{
    const auto* meshEvent = dynamic_cast<const KXDXTriMeshEvent*>(&event);
    if (!meshEvent || meshEvent->getKind() != KXDXTriMeshEvent::KXDXTRIMESHEVENT_RELEASEBLOCKS)
        return;
    const KXDXBufferPool::Block block{meshEvent->getVertexBuffer(), meshEvent->getVertexCount(),
                                      meshEvent->getBaseVertex()};
    if (m_positionNormal.owns(block.buffer))
        m_positionNormal.giveBack(block);
    else if (m_positionNormalTex.owns(block.buffer))
        m_positionNormalTex.giveBack(block);
    unregisterObserver(dynamic_cast<KXObserver*>(source));
}
