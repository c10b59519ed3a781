#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObservable.h"

#include <d3d9.h>

#include <cstdint>

// Sent by a tri-mesh implementation to the buffer managers it took blocks
// from. Kind 0 gives back one vertex block and one index block, each as
// {buffer, count, start}; a null buffer gives back nothing.
class KXDXRENDERER_API KXDXTriMeshEvent : public KXEvent
{
public:
    enum KXDXTRIMESHEVENTKIND : int {
        KXDXTRIMESHEVENT_RELEASEBLOCKS = 0,
    };

    KXDXTriMeshEvent(int kind, IDirect3DVertexBuffer9* vertexBuffer, uint32_t vertexCount, uint32_t baseVertex,
                     IDirect3DIndexBuffer9* indexBuffer, uint32_t indexCount, uint32_t startIndex)
        : KXEvent(kind), m_vertexBuffer(vertexBuffer), m_vertexCount(vertexCount), m_baseVertex(baseVertex),
          m_indexBuffer(indexBuffer), m_indexCount(indexCount), m_startIndex(startIndex)
    {
    }
    ~KXDXTriMeshEvent() override;

    IDirect3DVertexBuffer9* getVertexBuffer() const { return m_vertexBuffer; }
    uint32_t getVertexCount() const { return m_vertexCount; }
    uint32_t getBaseVertex() const { return m_baseVertex; }
    IDirect3DIndexBuffer9* getIndexBuffer() const { return m_indexBuffer; }
    uint32_t getIndexCount() const { return m_indexCount; }
    uint32_t getStartIndex() const { return m_startIndex; }

private:
    IDirect3DVertexBuffer9* m_vertexBuffer;
    uint32_t m_vertexCount;
    uint32_t m_baseVertex;
    IDirect3DIndexBuffer9* m_indexBuffer;
    uint32_t m_indexCount;
    uint32_t m_startIndex;
};

// Sent by a buffer manager that is being destroyed, before its buffers go:
// the blocks it handed out become invalid.
class KXDXRENDERER_API KXDXVbIbMgrEvent : public KXEvent
{
public:
    enum KXDXVBIBMGREVENTKIND : int {
        KXDXVBIBMGREVENT_VBMANAGERDESTROYED = 0,
        KXDXVBIBMGREVENT_IBMANAGERDESTROYED = 1,
    };

    explicit KXDXVbIbMgrEvent(int kind) : KXEvent(kind) {}
    ~KXDXVbIbMgrEvent() override;
};
