// Draw calls: argument checks, then a plain description for the pipeline.

#include "d3d9/Device.h"

#include "d3d9/Pipeline.h"
#include "d3d9/VertexDeclaration.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace swd3d9 {

namespace {

// 64-bit: a MaxPrimitiveCount near 2^32 makes counts beyond 32 bits.
uint64_t verticesOf(D3DPRIMITIVETYPE type, UINT primitives)
{
    const uint64_t count = primitives;
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

// Which streams the current vertex layout reads.
uint32_t streamsUsed(const DeviceState& state)
{
    if (!state.declaration)
        return 1u;
    uint32_t mask = 0;
    for (const D3DVERTEXELEMENT9& element : state.declaration->elements())
        mask |= 1u << element.Stream;
    return mask;
}

bool fillStreams(const DeviceState& state, DrawDescription& draw)
{
    std::memset(draw.streams, 0, sizeof(draw.streams));
    const uint32_t used = streamsUsed(state);
    for (UINT i = 0; i < STREAM_COUNT; ++i) {
        if (!(used & (1u << i)))
            continue;
        const StreamBinding& binding = state.streams[i];
        if (!binding.buffer || binding.stride == 0 || binding.offset > binding.buffer->size())
            return false;
        StreamView& view = draw.streams[i];
        view.data = binding.buffer->data() + binding.offset;
        view.size = binding.buffer->size() - binding.offset;
        view.stride = binding.stride;
        view.vertexLimit = view.size / view.stride;
    }
    return true;
}

// Every used stream holds vertices first .. first + count - 1.
bool streamsHold(const DrawDescription& draw, uint64_t first, uint64_t count)
{
    for (const StreamView& view : draw.streams) {
        if (view.data && first + count > view.vertexLimit)
            return false;
    }
    return true;
}

} // namespace

// 32-bit indices can be created on any device but drawn only where
// MaxVertexIndex goes beyond what 16 bits address.
bool Device::supportsIndex32() const { return m_profile.caps.MaxVertexIndex > 0xFFFF; }

HRESULT Device::validateDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, UINT& vertexOrIndexCount) const
{
    if (!m_inScene || m_state.depthUnfitForTarget)
        return D3DERR_INVALIDCALL;
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDCALL;
    if (primitiveCount > m_profile.caps.MaxPrimitiveCount)
        return D3DERR_INVALIDCALL;
    // Fixed-function drawing needs a layout with a position.
    if (!m_state.declaration && (m_state.fvf & D3DFVF_POSITION_MASK) == 0)
        return D3DERR_INVALIDCALL;
    // Vertex and index numbers of the draw must fit the 32 bits that
    // address them.
    const uint64_t count = verticesOf(type, primitiveCount);
    if (count > UINT32_MAX)
        return D3DERR_INVALIDCALL;
    vertexOrIndexCount = static_cast<UINT>(count);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount)
{
    if (isLost())
        return D3D_OK;
    UINT vertexCount = 0;
    const HRESULT check = validateDraw(PrimitiveType, PrimitiveCount, vertexCount);
    if (FAILED(check))
        return check;
    DrawDescription draw{};
    if (!fillStreams(m_state, draw) || !streamsHold(draw, StartVertex, vertexCount))
        return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0)
        return D3D_OK;
    draw.primitiveType = PrimitiveType;
    draw.primitiveCount = PrimitiveCount;
    draw.indexed = false;
    draw.startVertex = StartVertex;
    draw.vertexCount = vertexCount;
    draw.fvf = m_state.declaration ? 0 : m_state.fvf;
    draw.declaration = m_state.declaration ? &m_state.declaration->elements() : nullptr;
    return drawPrimitives(*this, draw);
}

HRESULT STDMETHODCALLTYPE Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex,
                                                       UINT MinVertexIndex, UINT NumVertices, UINT startIndex,
                                                       UINT primCount)
{
    if (isLost())
        return D3D_OK;
    UINT indexCount = 0;
    const HRESULT check = validateDraw(PrimitiveType, primCount, indexCount);
    if (FAILED(check))
        return check;
    const IndexBuffer* indices = m_state.indices;
    if (!indices)
        return D3DERR_INVALIDCALL;
    const UINT indexSize = indices->desc().Format == D3DFMT_INDEX32 ? 4 : 2;
    if (indexSize == 4 && !supportsIndex32())
        return D3DERR_INVALIDCALL;
    if (static_cast<uint64_t>(startIndex) + indexCount > indices->size() / indexSize)
        return D3DERR_INVALIDCALL;
    DrawDescription draw{};
    if (!fillStreams(m_state, draw))
        return D3DERR_INVALIDCALL;
    // The promised vertex range must exist and be addressable.
    const int64_t first = static_cast<int64_t>(BaseVertexIndex) + MinVertexIndex;
    if (first < 0 || NumVertices == 0 || !streamsHold(draw, static_cast<uint64_t>(first), NumVertices))
        return D3DERR_INVALIDCALL;
    if (static_cast<uint64_t>(MinVertexIndex) + NumVertices - 1 > m_profile.caps.MaxVertexIndex)
        return D3DERR_INVALIDCALL;
    if (primCount == 0)
        return D3D_OK;
    draw.primitiveType = PrimitiveType;
    draw.primitiveCount = primCount;
    draw.indexed = true;
    draw.indices = indices->data() + static_cast<size_t>(startIndex) * indexSize;
    draw.indexSize = indexSize;
    draw.indexCount = indexCount;
    draw.baseVertex = BaseVertexIndex;
    draw.minIndex = MinVertexIndex;
    draw.numVertices = NumVertices;
    draw.fvf = m_state.declaration ? 0 : m_state.fvf;
    draw.declaration = m_state.declaration ? &m_state.declaration->elements() : nullptr;
    return drawPrimitives(*this, draw);
}

HRESULT STDMETHODCALLTYPE Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                                  CONST void* pVertexStreamZeroData, UINT VertexStreamZeroStride)
{
    if (isLost())
        return D3D_OK;
    UINT vertexCount = 0;
    const HRESULT check = validateDraw(PrimitiveType, PrimitiveCount, vertexCount);
    if (FAILED(check))
        return check;
    if (!pVertexStreamZeroData || VertexStreamZeroStride == 0)
        return D3DERR_INVALIDCALL;
    HRESULT result = D3D_OK;
    if (PrimitiveCount > 0) {
        DrawDescription draw{};
        StreamView& view = draw.streams[0];
        view.data = static_cast<const uint8_t*>(pVertexStreamZeroData);
        view.stride = VertexStreamZeroStride;
        view.vertexLimit = vertexCount;
        view.size = static_cast<uint64_t>(vertexCount) * VertexStreamZeroStride;
        draw.primitiveType = PrimitiveType;
        draw.primitiveCount = PrimitiveCount;
        draw.indexed = false;
        draw.startVertex = 0;
        draw.vertexCount = vertexCount;
        draw.fvf = m_state.declaration ? 0 : m_state.fvf;
        draw.declaration = m_state.declaration ? &m_state.declaration->elements() : nullptr;
        result = drawPrimitives(*this, draw);
    }
    // Drawing from user memory leaves stream 0 unbound, drawn or not.
    bindStream(0, nullptr);
    m_state.streams[0].offset = 0;
    m_state.streams[0].stride = 0;
    return result;
}

HRESULT STDMETHODCALLTYPE Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                                         UINT NumVertices, UINT PrimitiveCount, CONST void* pIndexData,
                                                         D3DFORMAT IndexDataFormat, CONST void* pVertexStreamZeroData,
                                                         UINT VertexStreamZeroStride)
{
    if (isLost())
        return D3D_OK;
    UINT indexCount = 0;
    const HRESULT check = validateDraw(PrimitiveType, PrimitiveCount, indexCount);
    if (FAILED(check))
        return check;
    if (!pIndexData || !pVertexStreamZeroData || VertexStreamZeroStride == 0 || NumVertices == 0)
        return D3DERR_INVALIDCALL;
    if (IndexDataFormat != D3DFMT_INDEX16 && IndexDataFormat != D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    if (IndexDataFormat == D3DFMT_INDEX32 && !supportsIndex32())
        return D3DERR_INVALIDCALL;
    if (static_cast<uint64_t>(MinVertexIndex) + NumVertices - 1 > m_profile.caps.MaxVertexIndex)
        return D3DERR_INVALIDCALL;
    HRESULT result = D3D_OK;
    if (PrimitiveCount > 0) {
        DrawDescription draw{};
        StreamView& view = draw.streams[0];
        // The caller's vertex array is known to hold MinVertexIndex + NumVertices
        // vertices; vertex numbers stop at the 32 bits that address them.
        view.data = static_cast<const uint8_t*>(pVertexStreamZeroData);
        view.stride = VertexStreamZeroStride;
        view.vertexLimit = static_cast<UINT>(std::min<uint64_t>(UINT32_MAX, uint64_t{MinVertexIndex} + NumVertices));
        view.size = static_cast<uint64_t>(view.vertexLimit) * VertexStreamZeroStride;
        draw.primitiveType = PrimitiveType;
        draw.primitiveCount = PrimitiveCount;
        draw.indexed = true;
        draw.indices = static_cast<const uint8_t*>(pIndexData);
        draw.indexSize = IndexDataFormat == D3DFMT_INDEX32 ? 4 : 2;
        draw.indexCount = indexCount;
        draw.baseVertex = 0;
        draw.minIndex = MinVertexIndex;
        draw.numVertices = NumVertices;
        draw.fvf = m_state.declaration ? 0 : m_state.fvf;
        draw.declaration = m_state.declaration ? &m_state.declaration->elements() : nullptr;
        result = drawPrimitives(*this, draw);
    }
    // Drawing from user memory leaves stream 0 and the indices unbound,
    // drawn or not.
    bindStream(0, nullptr);
    m_state.streams[0].offset = 0;
    m_state.streams[0].stride = 0;
    bindIndices(nullptr);
    return result;
}

HRESULT STDMETHODCALLTYPE Device::ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                                  IDirect3DVertexBuffer9* pDestBuffer,
                                                  IDirect3DVertexDeclaration9* pVertexDecl, DWORD Flags)
{
    (void)SrcStartIndex;
    (void)DestIndex;
    (void)VertexCount;
    (void)pDestBuffer;
    (void)pVertexDecl;
    (void)Flags;
    // Needs the vertex pipeline.
    return D3DERR_NOTAVAILABLE;
}

} // namespace swd3d9
