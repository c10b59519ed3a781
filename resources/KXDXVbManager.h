#pragma once

#include "renderer/KXExport.h"
#include "resources/KXDXBufferPool.h"
#include "sceneapi/KXObservable.h"

#include <d3d9.h>

#include <cstdint>

class KXDXDevice;

// Hands out blocks of large shared vertex buffers to tri-mesh
// implementations (positions with normals, and positions with normals and
// one coordinate pair) and takes them back when the implementations send a
// KXDXTriMeshEvent. Tells its observers with a KXDXVbIbMgrEvent of kind 0
// before it is destroyed, when the blocks it handed out become invalid.
class KXDXRENDERER_API KXDXVbManager : public KXObserver, public KXObservable
{
public:
    enum KXDXVBPOOL : int {
        KXDXVBPOOL_POSITIONNORMAL = 0,    // D3DFVF_XYZ | D3DFVF_NORMAL
        KXDXVBPOOL_POSITIONNORMALTEX = 1, // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    };
    // Vertices in one pool buffer, and so the largest block.
    static constexpr uint32_t BUFFER_VERTICES = 0x20000;

    explicit KXDXVbManager(KXDXDevice* device);
    ~KXDXVbManager() override;
    KXDXVbManager(const KXDXVbManager&) = delete;
    KXDXVbManager& operator=(const KXDXVbManager&) = delete;

    // 0 with the buffer and the block's first vertex, or -1 (no Direct3D
    // device, no vertices, more than one buffer holds, an FVF without a
    // pool, a buffer that could not be created, or no memory to keep track
    // of the block).
    int allocate(uint32_t count, DWORD fvf, IDirect3DVertexBuffer9*& buffer, uint32_t& baseVertex);
    // Takes back the vertex block of a KXDXTriMeshEvent and forgets its
    // sender.
    void update(KXObservable* source, const KXEvent& event) override;

    const KXDXBufferPool& getPool(KXDXVBPOOL pool) const;

private:
    KXDXDevice* m_device;
    KXDXBufferPool m_positionNormal;
    KXDXBufferPool m_positionNormalTex;
};
