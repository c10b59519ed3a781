#pragma once

#include "renderer/KXExport.h"
#include "resources/KXDXBufferPool.h"
#include "sceneapi/KXObservable.h"

#include <d3d9.h>

#include <cstdint>

class KXDXDevice;

// Hands out blocks of large shared index buffers, 16-bit or 32-bit as the
// caller's indices need, and takes them back when tri-mesh implementations
// send a KXDXTriMeshEvent. Tells its observers with a KXDXVbIbMgrEvent of
// kind 1 before it is destroyed.
class KXDXRENDERER_API KXDXIbManager : public KXObserver, public KXObservable
{
public:
    // Indices in one pool buffer of either width, and so the largest block.
    static constexpr uint32_t BUFFER_INDICES = 0x40000;

    explicit KXDXIbManager(KXDXDevice* device);
    ~KXDXIbManager() override;
    KXDXIbManager(const KXDXIbManager&) = delete;
    KXDXIbManager& operator=(const KXDXIbManager&) = delete;

    // 0 with the buffer and the block's first index, or -1 (no Direct3D
    // device, no indices, more than one buffer holds, a format other than
    // D3DFMT_INDEX16 and D3DFMT_INDEX32, a buffer that could not be
    // created, or no memory to keep track of the block).
    int allocate(uint32_t count, D3DFORMAT format, IDirect3DIndexBuffer9*& buffer, uint32_t& startIndex);
    // Takes back the index block of a KXDXTriMeshEvent and forgets its
    // sender.
    void update(KXObservable* source, const KXEvent& event) override;

    const KXDXBufferPool& getPool(D3DFORMAT format) const;

private:
    KXDXDevice* m_device;
    KXDXBufferPool m_indices16;
    KXDXBufferPool m_indices32;
};
