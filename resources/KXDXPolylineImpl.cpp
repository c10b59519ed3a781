#include "resources/KXDXPolylineImpl.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXDevice.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Appends one float or colour word to a vertex being written.
unsigned char* put(unsigned char* out, float value)
{
    std::memcpy(out, &value, sizeof(value));
    return out + sizeof(value);
}

unsigned char* put(unsigned char* out, uint32_t value)
{
    std::memcpy(out, &value, sizeof(value));
    return out + sizeof(value);
}

} // namespace

// One that runs out of memory while it is made keeps no buffer and links to
// no device, so that the renderer makes it again at the next draw.
KXDXPolylineImpl::KXDXPolylineImpl(KXDXDevice* device, KXPolyline* polyline)
    : m_device(nullptr, [this] { releaseBuffer(); })
{
    if (!kxRunWithinMemory([&] {
            m_device.reset(device);
            build(polyline);
        })) {
        releaseBuffer();
        m_primitiveCount = 0;
        m_device.reset(nullptr);
    }
}

KXDXPolylineImpl::~KXDXPolylineImpl()
{
    releaseBuffer();
}

void KXDXPolylineImpl::draw()
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    // A chain of one point has no segment; nothing is bound for it either.
    if (!d3dDevice || !m_vertexBuffer || m_primitiveCount == 0)
        return;
    d3dDevice->SetStreamSource(0, m_vertexBuffer, 0, m_stride);
    // Tri-meshes skip binding a pool buffer that is already on stream 0, so
    // every bind of stream 0 is recorded.
    device->setCurrentVertexBuffer(m_vertexBuffer);
    d3dDevice->SetFVF(m_fvf);
    d3dDevice->DrawPrimitive(m_primitiveType, 0, m_primitiveCount);
}

void KXDXPolylineImpl::build(KXPolyline* polyline)
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    if (!d3dDevice || !polyline)
        return;

    std::vector<KXPosition> positions = polyline->getVertices();
    const std::vector<KXColor>& colorArray = polyline->getColorArray();
    const size_t n = positions.size();
    if (n == 0)
        return;
    const bool withColors = colorArray.size() == n;
    std::vector<uint32_t> colors;
    if (withColors) {
        colors.reserve(n + 1);
        for (const KXColor& color : colorArray)
            colors.push_back(color.getBGRA());
    }

    switch (polyline->getPolylineType()) {
    case KXPolyline::KXPOLYLINETYPE_SEGMENTS:
        m_primitiveType = D3DPT_LINELIST;
        m_primitiveCount = static_cast<UINT>(n / 2);
        break;
    case KXPolyline::KXPOLYLINETYPE_OPEN:
        m_primitiveType = D3DPT_LINESTRIP;
        m_primitiveCount = static_cast<UINT>(n - 1);
        break;
    case KXPolyline::KXPOLYLINETYPE_CLOSED:
        // The strip returns to its start through a copy of the first point.
        m_primitiveType = D3DPT_LINESTRIP;
        m_primitiveCount = static_cast<UINT>(n);
        positions.push_back(positions.front());
        if (withColors)
            colors.push_back(colors.front());
        break;
    default:
        return;
    }

    const bool preTransformed = polyline->getPreTransformed();
    m_fvf = (preTransformed ? D3DFVF_XYZRHW : D3DFVF_XYZ) | (withColors ? D3DFVF_DIFFUSE : 0);
    m_stride = (preTransformed ? 16 : 12) + (withColors ? 4 : 0);

    // A buffer whose byte size does not fit Direct3D's UINT is not made.
    const size_t vertexCount = positions.size();
    if (vertexCount > std::numeric_limits<UINT>::max() / m_stride) {
        m_primitiveCount = 0;
        return;
    }
    m_vertexCount = static_cast<UINT>(vertexCount);

    // A buffer that found no memory may at the next draw: the polyline then
    // links to no device, so that the renderer makes it again.
    const HRESULT created = d3dDevice->CreateVertexBuffer(m_stride * m_vertexCount, D3DUSAGE_WRITEONLY, m_fvf,
                                                          D3DPOOL_MANAGED, &m_vertexBuffer, nullptr);
    void* locked = nullptr;
    const HRESULT lock = m_vertexBuffer ? m_vertexBuffer->Lock(0, 0, &locked, 0) : created;
    if (FAILED(lock) || !locked) {
        releaseBuffer();
        if (lock == E_OUTOFMEMORY || lock == D3DERR_OUTOFVIDEOMEMORY)
            m_device.reset(nullptr);
        return;
    }
    unsigned char* out = static_cast<unsigned char*>(locked);
    for (size_t i = 0; i < vertexCount; ++i) {
        out = put(out, positions[i].getX());
        out = put(out, positions[i].getY());
        out = put(out, positions[i].getZ());
        if (preTransformed)
            out = put(out, 1.0f);
        if (withColors)
            out = put(out, colors[i]);
    }
    m_vertexBuffer->Unlock();
}

void KXDXPolylineImpl::releaseBuffer()
{
    if (m_vertexBuffer) {
        m_vertexBuffer->Release();
        m_vertexBuffer = nullptr;
    }
}
