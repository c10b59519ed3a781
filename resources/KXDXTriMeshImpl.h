#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXDeviceLink.h"
#include "resources/KXDXVertexLayout.h"
#include "sceneapi/KXObservable.h"
#include "sceneapi/KXTriMesh.h"

#include <d3d9.h>

#include <cstdint>
#include <vector>

class KXDXDevice;
class KXDXIbManager;
class KXDXVbManager;

// The device-side form of one KXTriMesh: a snapshot of its arrays, taken
// when it is made, packed into one interleaved vertex layout and an index
// list, with the Direct3D 9 calls that draw them.
//
// The data live in blocks of the device's shared buffer pools, in buffers
// of its own, or in system memory, tried in that order; meshes beyond the
// device's primitive or vertex-index limits live in system memory, split
// into draws the device accepts. Triangles that name vertices the mesh
// does not have are left out. Two-sided meshes draw their back side (normals
// turned around) first, with the culling reversed.
//
// Pool blocks go back to the pools when the implementation is destroyed or
// its device is released; after a release it holds nothing, draws nothing,
// and getDevice is null.
class KXDXRENDERER_API KXDXTriMeshImpl : public KXTriMeshImpl, public KXObserver, public KXObservable
{
public:
    // Where the vertices and indices live.
    enum KXDXTRIMESHSTORAGE : int {
        KXDXTRIMESHSTORAGE_NONE = 0,         // nothing to draw
        KXDXTRIMESHSTORAGE_BUFFERS = 1,      // Direct3D buffers: pool blocks or buffers of its own
        KXDXTRIMESHSTORAGE_SYSTEMMEMORY = 2, // arrays drawn with DrawIndexedPrimitiveUP
    };

    // Null arguments, or a device without a Direct3D device, give an
    // implementation that draws nothing. The mesh is read here and never
    // again.
    KXDXTriMeshImpl(KXDXDevice* device, const D3DCAPS9* caps, KXTriMesh* mesh);
    ~KXDXTriMeshImpl() override;
    KXDXTriMeshImpl(const KXDXTriMeshImpl&) = delete;
    KXDXTriMeshImpl& operator=(const KXDXTriMeshImpl&) = delete;

    // Draws with the device's current state.
    void draw() override;
    // Hears the buffer managers being destroyed.
    void update(KXObservable* source, const KXEvent& event) override;

    // The device it was made on; null once that device is released, for one
    // made without a Direct3D device, and for one that ran out of memory
    // while it was made.
    KXDXDevice* getDevice() const { return m_device.get(); }

    // What construction chose.
    KXDXTRIMESHSTORAGE getStorage() const { return m_storage; }
    DWORD getFVF() const { return m_layout.fvf; }
    uint32_t getStride() const { return m_layout.stride; }
    // The primitive type drawn: a strip or fan that had to be split, or
    // that named missing vertices, is drawn as a triangle list.
    D3DPRIMITIVETYPE getPrimitiveType() const { return m_primitiveType; }
    uint32_t getPrimitiveCount() const { return m_primitiveCount; }
    // The width of the indices (of the first chunk in split system memory).
    D3DFORMAT getIndexFormat() const { return m_indexFormat; }
    // System memory: the index arrays, each drawn on its own vertex array.
    size_t getNumChunks() const { return m_chunks.size(); }
    bool hasPoolVertices() const { return m_front.pooled; }
    bool hasPoolIndices() const { return m_indices.pooled; }

private:
    struct VertexSource {
        IDirect3DVertexBuffer9* buffer = nullptr;
        uint32_t base = 0;
        bool pooled = false;
    };
    struct IndexSource {
        IDirect3DIndexBuffer9* buffer = nullptr;
        uint32_t start = 0;
        bool pooled = false;
    };
    // A pool block held until it is given back.
    template <class Buffer>
    struct HeldBlock {
        Buffer* buffer = nullptr;
        uint32_t count = 0;
        uint32_t start = 0;
    };
    // Vertices and indices in system memory. Split meshes have one chunk
    // per run of triangles whose vertices fit the device's index limit,
    // each with its own vertices and rebased indices.
    struct Chunk {
        std::vector<unsigned char> front;
        std::vector<unsigned char> back;
        std::vector<unsigned char> indices;
        D3DFORMAT format = D3DFMT_INDEX16;
        uint32_t numVertices = 0; // largest index + 1
        uint32_t primitiveCount = 0;
    };
    // The triangles to draw, as construction settles them.
    struct IndexList {
        const uint32_t* indices = nullptr;
        uint32_t count = 0;
        uint32_t largest = 0;
        std::vector<uint32_t> rebuilt; // when indices had to be rewritten
    };

    void build(KXDXDevice& device, const D3DCAPS9& caps, const KXTriMesh& mesh);
    bool settleIndices(const KXTriMesh& mesh, const D3DCAPS9& caps, IndexList& list);
    int buildBuffers(KXDXDevice& device, const KXTriMesh& mesh, const IndexList& list);
    int fillVertices(KXDXDevice& device, const KXTriMesh& mesh, bool backSide, VertexSource& source);
    int fillIndices(KXDXDevice& device, const IndexList& list, IndexSource& source);
    void buildSystemMemory(const KXTriMesh& mesh, const IndexList& list);
    void buildChunks(const KXTriMesh& mesh, const IndexList& list, uint32_t maxVertexIndex);

    void drawSide(IDirect3DDevice9* d3d, KXDXDevice& device, bool backSide);
    void drawChunks(IDirect3DDevice9* d3d, bool backSide) const;

    // Registers with the manager and the manager with this, both or neither
    // (throws std::bad_alloc then).
    template <class Manager>
    void attach(Manager* manager, Manager*& attached);
    void giveBackBlocks();
    void releaseOwnBuffers();
    // Drops everything made on the device; afterwards nothing is drawn.
    void releaseDeviceObjects();

    KXDXDeviceLink m_device;

    KXDXTRIMESHSTORAGE m_storage = KXDXTRIMESHSTORAGE_NONE;
    KXDXVertexLayout m_layout;
    D3DPRIMITIVETYPE m_primitiveType = D3DPT_TRIANGLELIST;
    D3DFORMAT m_indexFormat = D3DFMT_INDEX16;
    uint32_t m_vertexCount = 0;
    uint32_t m_primitiveCount = 0;
    uint32_t m_indexCount = 0;
    uint32_t m_numVertices = 0; // the vertex range the indices address
    uint32_t m_maxPrimitiveCount = 0;
    bool m_twoSided = false;

    // Buffer mode: what is drawn from.
    VertexSource m_front;
    VertexSource m_back;
    IndexSource m_indices;
    // Buffers of its own (owned references).
    IDirect3DVertexBuffer9* m_ownFront = nullptr;
    IDirect3DVertexBuffer9* m_ownBack = nullptr;
    IDirect3DIndexBuffer9* m_ownIndices = nullptr;
    // Pool blocks held, and the managers they came from.
    HeldBlock<IDirect3DVertexBuffer9> m_heldFront;
    HeldBlock<IDirect3DVertexBuffer9> m_heldBack;
    HeldBlock<IDirect3DIndexBuffer9> m_heldIndices;
    KXDXVbManager* m_vbManager = nullptr;
    KXDXIbManager* m_ibManager = nullptr;

    // System-memory mode.
    std::vector<Chunk> m_chunks;
};
