#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXDeviceLink.h"
#include "sceneapi/KXPolyline.h"

#include <d3d9.h>

class KXDXDevice;

// The device-side form of a polyline: a snapshot of its points (and colours,
// when there is one per point) in a managed vertex buffer of its own, drawn
// with one DrawPrimitive call. It lets go of the buffer when its device is
// released; the renderer then makes a new one.
class KXDXRENDERER_API KXDXPolylineImpl : public KXPolylineImpl
{
public:
    KXDXPolylineImpl(KXDXDevice* device, KXPolyline* polyline);
    KXDXPolylineImpl(const KXDXPolylineImpl&) = delete;
    KXDXPolylineImpl& operator=(const KXDXPolylineImpl&) = delete;
    ~KXDXPolylineImpl() override;

    // Binds the buffer to stream 0 and draws; nothing without a buffer.
    void draw() override;

    // The device the buffer was made on; null once that device is released.
    KXDXDevice* getDevice() const { return m_device.get(); }

private:
    void build(KXPolyline* polyline);
    void releaseBuffer();

    KXDXDeviceLink m_device;
    D3DPRIMITIVETYPE m_primitiveType = D3DPT_LINELIST;
    UINT m_vertexCount = 0;
    UINT m_primitiveCount = 0;
    DWORD m_fvf = D3DFVF_XYZ;
    UINT m_stride = 0;
    IDirect3DVertexBuffer9* m_vertexBuffer = nullptr;
};
