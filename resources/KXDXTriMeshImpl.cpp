#include "resources/KXDXTriMeshImpl.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXBufferEvents.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// Meshes of this layout are kept in system memory even where buffers
// would do.
constexpr DWORD SYSTEM_MEMORY_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// 16-bit indices reach vertex 65535.
constexpr uint32_t INDEX16_VERTICES = 0x10000;

constexpr uint32_t NO_VERTEX = std::numeric_limits<uint32_t>::max();

uint32_t indexWidth(D3DFORMAT format)
{
    return format == D3DFMT_INDEX32 ? 4 : 2;
}

D3DFORMAT indexFormatFor(uint32_t largestIndex)
{
    return largestIndex < INDEX16_VERTICES ? D3DFMT_INDEX16 : D3DFMT_INDEX32;
}

uint32_t primitivesOf(D3DPRIMITIVETYPE type, size_t indexCount)
{
    if (type == D3DPT_TRIANGLELIST)
        return static_cast<uint32_t>(indexCount / 3);
    return indexCount >= 3 ? static_cast<uint32_t>(indexCount - 2) : 0;
}

// Copies indices at the given width (every index fits it).
void writeIndices(void* dest, const uint32_t* indices, size_t count, D3DFORMAT format)
{
    auto* out = static_cast<unsigned char*>(dest);
    if (format == D3DFMT_INDEX32) {
        std::memcpy(out, indices, count * sizeof(uint32_t));
        return;
    }
    for (size_t k = 0; k < count; ++k) {
        const uint16_t index = static_cast<uint16_t>(indices[k]);
        std::memcpy(out + 2 * k, &index, sizeof(index));
    }
}

std::vector<unsigned char> packIndices(const uint32_t* indices, size_t count, D3DFORMAT format)
{
    std::vector<unsigned char> packed(count * indexWidth(format));
    writeIndices(packed.data(), indices, count, format);
    return packed;
}

} // namespace

// Made before its device has a Direct3D device, an implementation is
// linked to none, so that the renderer makes a new one once there is one.
// One that runs out of memory while it is made gives back all it took and
// links to none either, for the same reason: it draws nothing, and never
// part of the mesh.
KXDXTriMeshImpl::KXDXTriMeshImpl(KXDXDevice* device, const D3DCAPS9* caps, KXTriMesh* mesh)
    : m_device(nullptr, [this] { releaseDeviceObjects(); })
{
    KXDXDevice* usable = device && device->getD3DDevice() ? device : nullptr;
    const bool made = kxRunWithinMemory([&] {
        m_device.reset(usable);
        if (usable && caps && mesh)
            build(*usable, *caps, *mesh);
    });
    if (!made) {
        releaseDeviceObjects();
        m_device.reset(nullptr);
    }
}

KXDXTriMeshImpl::~KXDXTriMeshImpl()
{
    releaseDeviceObjects();
}

void KXDXTriMeshImpl::build(KXDXDevice& device, const D3DCAPS9& caps, const KXTriMesh& mesh)
{
    m_layout = KXDXVertexLayout::of(mesh);
    m_vertexCount = static_cast<uint32_t>(mesh.getVertexArray().size());
    if (m_layout.stride == 0)
        return;
    IndexList list;
    if (!settleIndices(mesh, caps, list))
        return;
    // One draw must be able to address a triangle's three vertices.
    if (caps.MaxVertexIndex < 2 || caps.MaxPrimitiveCount == 0)
        return;
    m_twoSided = mesh.getSidedness() == KXTriMesh::KXSIDEDNESS_TWO;
    m_maxPrimitiveCount = caps.MaxPrimitiveCount;
    m_numVertices = list.largest + 1;
    m_indexFormat = indexFormatFor(list.largest);

    if (list.largest > caps.MaxVertexIndex) {
        buildChunks(mesh, list, caps.MaxVertexIndex);
        return;
    }
    if (m_primitiveCount > caps.MaxPrimitiveCount || m_layout.fvf == SYSTEM_MEMORY_FVF) {
        buildSystemMemory(mesh, list);
        return;
    }
    if (buildBuffers(device, mesh, list) == KXRESULT_BUFFERFALLBACK) {
        // Pool blocks already taken stay held until they are given back.
        releaseOwnBuffers();
        m_front = VertexSource();
        m_back = VertexSource();
        m_indices = IndexSource();
        buildSystemMemory(mesh, list);
        return;
    }
    m_storage = KXDXTRIMESHSTORAGE_BUFFERS;
}

// Settles the primitive type and the indices to draw. Triangles naming a
// vertex the mesh does not have are dropped, as the ray tracer drops them;
// a strip or fan that loses some, or that must be split to fit the
// device's limits, becomes a triangle list with every triangle in drawing
// order and in the vertex order the device itself assembles (fans start at
// their second vertex, which is the one flat shading takes).
bool KXDXTriMeshImpl::settleIndices(const KXTriMesh& mesh, const D3DCAPS9& caps, IndexList& list)
{
    switch (mesh.getTriMeshType()) {
    case KXTriMesh::KXTRIMESHTYPE_LIST:
        m_primitiveType = D3DPT_TRIANGLELIST;
        break;
    case KXTriMesh::KXTRIMESHTYPE_STRIP:
        m_primitiveType = D3DPT_TRIANGLESTRIP;
        break;
    case KXTriMesh::KXTRIMESHTYPE_FAN:
        m_primitiveType = D3DPT_TRIANGLEFAN;
        break;
    default:
        return false;
    }
    const std::vector<uint32_t>& source = mesh.getIndicesArray();
    const uint32_t primitives = primitivesOf(m_primitiveType, source.size());
    if (primitives == 0)
        return false;
    const size_t used = m_primitiveType == D3DPT_TRIANGLELIST ? size_t(primitives) * 3 : source.size();

    bool missing = false;
    uint32_t largest = 0;
    for (size_t k = 0; k < used; ++k) {
        const uint32_t index = source[k];
        if (index >= m_vertexCount)
            missing = true;
        else
            largest = std::max(largest, index);
    }
    const bool split = primitives > caps.MaxPrimitiveCount || largest > caps.MaxVertexIndex;
    if (!missing && !(split && m_primitiveType != D3DPT_TRIANGLELIST)) {
        list.indices = source.data();
        list.count = static_cast<uint32_t>(used);
        list.largest = largest;
        m_indexCount = list.count;
        m_primitiveCount = primitives;
        return true;
    }

    const bool fan = m_primitiveType == D3DPT_TRIANGLEFAN;
    list.rebuilt.reserve(size_t(primitives) * 3);
    largest = 0;
    const int triangles = mesh.getNumTriangles();
    for (int t = 0; t < triangles; ++t) {
        uint32_t a, b, c;
        if (!mesh.getTriangle(t, a, b, c) || a >= m_vertexCount || b >= m_vertexCount || c >= m_vertexCount)
            continue;
        if (fan)
            list.rebuilt.insert(list.rebuilt.end(), {b, c, a});
        else
            list.rebuilt.insert(list.rebuilt.end(), {a, b, c});
        largest = std::max({largest, a, b, c});
    }
    m_primitiveType = D3DPT_TRIANGLELIST;
    list.indices = list.rebuilt.data();
    list.count = static_cast<uint32_t>(list.rebuilt.size());
    list.largest = largest;
    m_indexCount = list.count;
    m_primitiveCount = list.count / 3;
    return m_primitiveCount > 0;
}

// Back side first, then front side, then indices: pool blocks, else
// buffers of its own. KXRESULT_BUFFERFALLBACK when an own buffer could not
// be created.
int KXDXTriMeshImpl::buildBuffers(KXDXDevice& device, const KXTriMesh& mesh, const IndexList& list)
{
    if (m_twoSided && m_layout.normals &&
        fillVertices(device, mesh, true, m_back) == KXRESULT_BUFFERFALLBACK)
        return KXRESULT_BUFFERFALLBACK;
    if (fillVertices(device, mesh, false, m_front) == KXRESULT_BUFFERFALLBACK)
        return KXRESULT_BUFFERFALLBACK;
    if (fillIndices(device, list, m_indices) == KXRESULT_BUFFERFALLBACK)
        return KXRESULT_BUFFERFALLBACK;
    return KXRESULT_OK;
}

int KXDXTriMeshImpl::fillVertices(KXDXDevice& device, const KXTriMesh& mesh, bool backSide, VertexSource& source)
{
    IDirect3DDevice9* d3d = device.getD3DDevice();
    const uint64_t bytes = uint64_t(m_layout.stride) * m_vertexCount;
    auto write = [&](IDirect3DVertexBuffer9* buffer, UINT offset, UINT size) {
        void* data = nullptr;
        if (FAILED(buffer->Lock(offset, size, &data, 0)))
            return false;
        if (data)
            m_layout.write(mesh, data, nullptr, m_vertexCount, backSide);
        buffer->Unlock();
        return data != nullptr;
    };

    KXDXVbManager* manager = device.getVbManager();
    IDirect3DVertexBuffer9* buffer = nullptr;
    uint32_t base = 0;
    // Linked to the manager before a block is taken, so that every block
    // held can be given back.
    if (manager)
        attach(manager, m_vbManager);
    if (manager && manager->allocate(m_vertexCount, m_layout.fvf, buffer, base) == KXRESULT_OK) {
        (backSide ? m_heldBack : m_heldFront) = {buffer, m_vertexCount, base};
        if (write(buffer, base * m_layout.stride, static_cast<UINT>(bytes))) {
            source = {buffer, base, true};
            return KXRESULT_OK;
        }
    }

    buffer = nullptr;
    if (bytes > std::numeric_limits<UINT>::max() ||
        FAILED(d3d->CreateVertexBuffer(static_cast<UINT>(bytes), D3DUSAGE_WRITEONLY, m_layout.fvf, D3DPOOL_MANAGED,
                                       &buffer, nullptr)) ||
        !buffer)
        return KXRESULT_BUFFERFALLBACK;
    if (!write(buffer, 0, 0)) {
        // An unfilled buffer is never drawn.
        buffer->Release();
        return KXRESULT_FAILED;
    }
    (backSide ? m_ownBack : m_ownFront) = buffer;
    source = {buffer, 0, false};
    return KXRESULT_OK;
}

int KXDXTriMeshImpl::fillIndices(KXDXDevice& device, const IndexList& list, IndexSource& source)
{
    IDirect3DDevice9* d3d = device.getD3DDevice();
    const uint32_t width = indexWidth(m_indexFormat);
    const uint64_t bytes = uint64_t(width) * list.count;
    auto write = [&](IDirect3DIndexBuffer9* buffer, UINT offset, UINT size) {
        void* data = nullptr;
        if (FAILED(buffer->Lock(offset, size, &data, 0)))
            return false;
        if (data)
            writeIndices(data, list.indices, list.count, m_indexFormat);
        buffer->Unlock();
        return data != nullptr;
    };

    KXDXIbManager* manager = device.getIbManager();
    IDirect3DIndexBuffer9* buffer = nullptr;
    uint32_t start = 0;
    if (manager)
        attach(manager, m_ibManager);
    if (manager && manager->allocate(list.count, m_indexFormat, buffer, start) == KXRESULT_OK) {
        m_heldIndices = {buffer, list.count, start};
        if (write(buffer, start * width, static_cast<UINT>(bytes))) {
            source = {buffer, start, true};
            return KXRESULT_OK;
        }
    }

    buffer = nullptr;
    if (bytes > std::numeric_limits<UINT>::max() ||
        FAILED(d3d->CreateIndexBuffer(static_cast<UINT>(bytes), D3DUSAGE_WRITEONLY, m_indexFormat, D3DPOOL_MANAGED,
                                      &buffer, nullptr)) ||
        !buffer)
        return KXRESULT_BUFFERFALLBACK;
    if (!write(buffer, 0, 0)) {
        buffer->Release();
        return KXRESULT_FAILED;
    }
    m_ownIndices = buffer;
    source = {buffer, 0, false};
    return KXRESULT_OK;
}

void KXDXTriMeshImpl::buildSystemMemory(const KXTriMesh& mesh, const IndexList& list)
{
    Chunk chunk;
    chunk.front.resize(size_t(m_layout.stride) * m_vertexCount);
    m_layout.write(mesh, chunk.front.data(), nullptr, m_vertexCount, false);
    if (m_twoSided && m_layout.normals) {
        chunk.back.resize(chunk.front.size());
        m_layout.write(mesh, chunk.back.data(), nullptr, m_vertexCount, true);
    }
    chunk.format = m_indexFormat;
    chunk.indices = packIndices(list.indices, list.count, chunk.format);
    chunk.numVertices = m_numVertices;
    chunk.primitiveCount = m_primitiveCount;
    m_chunks.push_back(std::move(chunk));
    m_storage = KXDXTRIMESHSTORAGE_SYSTEMMEMORY;
}

// Splits a triangle list whose indices exceed the device's limit into runs
// of consecutive triangles that use at most maxVertexIndex + 1 distinct
// vertices; each run gets those vertices in an array of its own and its
// indices renumbered into it, so that no index passes the limit. Triangles
// keep their order.
void KXDXTriMeshImpl::buildChunks(const KXTriMesh& mesh, const IndexList& list, uint32_t maxVertexIndex)
{
    const size_t limit = size_t(maxVertexIndex) + 1;
    std::vector<uint32_t> localOf(m_vertexCount, NO_VERTEX);
    std::vector<uint32_t> globals;
    std::vector<uint32_t> indices;
    auto flush = [&] {
        if (indices.empty())
            return;
        Chunk chunk;
        const size_t count = globals.size();
        chunk.front.resize(size_t(m_layout.stride) * count);
        m_layout.write(mesh, chunk.front.data(), globals.data(), count, false);
        if (m_twoSided && m_layout.normals) {
            chunk.back.resize(chunk.front.size());
            m_layout.write(mesh, chunk.back.data(), globals.data(), count, true);
        }
        chunk.numVertices = static_cast<uint32_t>(count);
        chunk.format = indexFormatFor(chunk.numVertices - 1);
        chunk.indices = packIndices(indices.data(), indices.size(), chunk.format);
        chunk.primitiveCount = static_cast<uint32_t>(indices.size() / 3);
        m_chunks.push_back(std::move(chunk));
        for (uint32_t global : globals)
            localOf[global] = NO_VERTEX;
        globals.clear();
        indices.clear();
    };
    for (uint32_t k = 0; k + 2 < list.count; k += 3) {
        const uint32_t a = list.indices[k], b = list.indices[k + 1], c = list.indices[k + 2];
        const size_t fresh = (localOf[a] == NO_VERTEX) + (localOf[b] == NO_VERTEX && b != a) +
                             (localOf[c] == NO_VERTEX && c != a && c != b);
        if (globals.size() + fresh > limit)
            flush();
        for (uint32_t global : {a, b, c}) {
            if (localOf[global] == NO_VERTEX) {
                localOf[global] = static_cast<uint32_t>(globals.size());
                globals.push_back(global);
            }
            indices.push_back(localOf[global]);
        }
    }
    flush();
    m_indexFormat = m_chunks.empty() ? D3DFMT_INDEX16 : m_chunks.front().format;
    m_storage = KXDXTRIMESHSTORAGE_SYSTEMMEMORY;
}

void KXDXTriMeshImpl::draw()
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3d = device ? device->getD3DDevice() : nullptr;
    if (!d3d || m_storage == KXDXTRIMESHSTORAGE_NONE)
        return;
    if (m_storage == KXDXTRIMESHSTORAGE_SYSTEMMEMORY) {
        // Drawing from system memory unbinds stream 0 and the indices.
        device->setCurrentVertexBuffer(nullptr);
        device->setCurrentIndexBuffer(nullptr);
    }
    if (m_twoSided) {
        // The back side shows where the front is culled: drawn first with
        // the culling reversed, then the caller's cull mode comes back.
        DWORD cull = D3DCULL_NONE;
        d3d->GetRenderState(D3DRS_CULLMODE, &cull);
        if (cull == D3DCULL_CW || cull == D3DCULL_CCW) {
            d3d->SetRenderState(D3DRS_CULLMODE, cull == D3DCULL_CW ? D3DCULL_CCW : D3DCULL_CW);
            drawSide(d3d, *device, true);
            d3d->SetRenderState(D3DRS_CULLMODE, cull);
        }
    }
    drawSide(d3d, *device, false);
}

void KXDXTriMeshImpl::drawSide(IDirect3DDevice9* d3d, KXDXDevice& device, bool backSide)
{
    if (m_storage == KXDXTRIMESHSTORAGE_SYSTEMMEMORY) {
        d3d->SetFVF(m_layout.fvf);
        drawChunks(d3d, backSide);
        return;
    }
    // Without normals both sides are the same vertices.
    const VertexSource& vertices = backSide && m_layout.normals ? m_back : m_front;
    if (!vertices.buffer || !m_indices.buffer)
        return;
    // Pool buffers are shared by many meshes: bind them only when another
    // buffer is bound.
    if (!vertices.pooled || device.getCurrentVertexBuffer() != vertices.buffer) {
        d3d->SetStreamSource(0, vertices.buffer, 0, m_layout.stride);
        device.setCurrentVertexBuffer(vertices.buffer);
    }
    if (!m_indices.pooled || device.getCurrentIndexBuffer() != m_indices.buffer) {
        d3d->SetIndices(m_indices.buffer);
        device.setCurrentIndexBuffer(m_indices.buffer);
    }
    d3d->SetFVF(m_layout.fvf);
    d3d->DrawIndexedPrimitive(m_primitiveType, static_cast<INT>(vertices.base), 0, m_numVertices, m_indices.start,
                              m_primitiveCount);
}

// Each chunk in draws of at most the device's primitive count; only lists
// exceed it (strips and fans that would were made lists).
void KXDXTriMeshImpl::drawChunks(IDirect3DDevice9* d3d, bool backSide) const
{
    for (const Chunk& chunk : m_chunks) {
        const unsigned char* vertices = backSide && m_layout.normals ? chunk.back.data() : chunk.front.data();
        const uint32_t width = indexWidth(chunk.format);
        const uint64_t perDraw = m_primitiveType == D3DPT_TRIANGLELIST ? m_maxPrimitiveCount : chunk.primitiveCount;
        for (uint64_t first = 0; first < chunk.primitiveCount; first += perDraw) {
            const uint64_t count = std::min<uint64_t>(perDraw, chunk.primitiveCount - first);
            d3d->DrawIndexedPrimitiveUP(m_primitiveType, 0, chunk.numVertices, static_cast<UINT>(count),
                                        chunk.indices.data() + first * 3 * width, chunk.format, vertices,
                                        m_layout.stride);
        }
    }
}

void KXDXTriMeshImpl::update(KXObservable* source, const KXEvent& event)
{
    const auto* managerEvent = dynamic_cast<const KXDXVbIbMgrEvent*>(&event);
    if (!managerEvent)
        return;
    // The manager's buffers are about to go, and the blocks in them.
    if (managerEvent->getKind() == KXDXVbIbMgrEvent::KXDXVBIBMGREVENT_VBMANAGERDESTROYED && m_vbManager &&
        source == static_cast<KXObservable*>(m_vbManager)) {
        unregisterObserver(m_vbManager);
        m_vbManager = nullptr;
        m_heldFront = {};
        m_heldBack = {};
        if (m_front.pooled)
            m_front = VertexSource();
        if (m_back.pooled)
            m_back = VertexSource();
    } else if (managerEvent->getKind() == KXDXVbIbMgrEvent::KXDXVBIBMGREVENT_IBMANAGERDESTROYED && m_ibManager &&
               source == static_cast<KXObservable*>(m_ibManager)) {
        unregisterObserver(m_ibManager);
        m_ibManager = nullptr;
        m_heldIndices = {};
        if (m_indices.pooled)
            m_indices = IndexSource();
    }
}

template <class Manager>
void KXDXTriMeshImpl::attach(Manager* manager, Manager*& attached)
{
    if (attached == manager)
        return;
    // Both ways or not at all: each registration may run out of memory.
    registerObserver(manager);
    try {
        manager->registerObserver(this);
    } catch (...) {
        unregisterObserver(manager);
        throw;
    }
    attached = manager;
}

void KXDXTriMeshImpl::giveBackBlocks()
{
    const KXDXTriMeshEvent front(KXDXTriMeshEvent::KXDXTRIMESHEVENT_RELEASEBLOCKS, m_heldFront.buffer,
                                 m_heldFront.count, m_heldFront.start, m_heldIndices.buffer, m_heldIndices.count,
                                 m_heldIndices.start);
    const KXDXTriMeshEvent back(KXDXTriMeshEvent::KXDXTRIMESHEVENT_RELEASEBLOCKS, m_heldBack.buffer,
                                m_heldBack.count, m_heldBack.start, nullptr, 0, 0);
    for (const KXDXTriMeshEvent* event : {&front, &back}) {
        // The walk over the observers copies their list; out of memory the
        // event goes straight to the managers the blocks came from, since
        // this runs on destruction too and the blocks must not be lost.
        if (kxRunWithinMemory([&] { notify(*event); }))
            continue;
        if (m_vbManager)
            m_vbManager->update(this, *event);
        if (m_ibManager)
            m_ibManager->update(this, *event);
    }
    if (m_vbManager) {
        unregisterObserver(m_vbManager);
        m_vbManager->unregisterObserver(this);
        m_vbManager = nullptr;
    }
    if (m_ibManager) {
        unregisterObserver(m_ibManager);
        m_ibManager->unregisterObserver(this);
        m_ibManager = nullptr;
    }
    m_heldFront = {};
    m_heldBack = {};
    m_heldIndices = {};
}

void KXDXTriMeshImpl::releaseOwnBuffers()
{
    for (IDirect3DVertexBuffer9** buffer : {&m_ownFront, &m_ownBack}) {
        if (*buffer)
            (*buffer)->Release();
        *buffer = nullptr;
    }
    if (m_ownIndices)
        m_ownIndices->Release();
    m_ownIndices = nullptr;
}

void KXDXTriMeshImpl::releaseDeviceObjects()
{
    giveBackBlocks();
    releaseOwnBuffers();
    m_front = VertexSource();
    m_back = VertexSource();
    m_indices = IndexSource();
    std::vector<Chunk>().swap(m_chunks);
    m_storage = KXDXTRIMESHSTORAGE_NONE;
}
