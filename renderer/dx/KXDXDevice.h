#pragma once

#include "renderer/KXDevice.h"
#include "renderer/KXExport.h"

#include <d3d9.h>

class KXDXIbManager;
class KXDXVbManager;

// One Direct3D 9 device for one window. The constructor creates Direct3D,
// reads the adapter's capabilities and lists the back-buffer configurations
// it supports; initialize creates the device from a chosen configuration,
// falling back step by step until Direct3D accepts one. Observers hear a
// KXDeviceEvent before and after every reset and before the device is
// released; they must stop using the device on the release event.
//
// The device also owns the vertex- and index-buffer pools that tri-meshes
// draw from, and remembers the vertex buffer last bound to stream 0 and the
// index buffer last bound, so that meshes sharing a pool buffer skip
// redundant binds.
class KXDXRENDERER_API KXDXDevice : public KXDevice
{
public:
    KXDXDevice();
    ~KXDXDevice() override;

    // 0, or -1 for a null window, no Direct3D, a device already created or
    // every fallback refused. settings receives the fallbacks taken.
    int initialize(KXWindowHandle window, KXAdapterFormat& settings) override;
    int getSettings(KXAdapterFormat& settings) override;
    KXDeviceCapabilities getCapabilities() override;
    // Tells observers (release event), deletes the buffer pools and
    // releases the Direct3D device. The pools are not made again by a later
    // initialize.
    void release() override;
    KXDEVICESTATUS getStatus() override;
    // Tells observers, forgets the cached buffer bindings (a reset unbinds
    // everything) and resets the device with the stored presentation
    // parameters; does nothing before initialize.
    void reset() override;

    // The Direct3D device; null before initialize and after release.
    IDirect3DDevice9* getD3DDevice() const { return m_device; }
    // The adapter's capabilities, read once when the object was made (all
    // zero without Direct3D). The pointer stays valid for the object's life.
    const D3DCAPS9* getD3DCaps() const { return &m_caps; }
    // The parameters the device is created and reset with; the renderer's
    // setSize writes the back-buffer size here before a reset.
    D3DPRESENT_PARAMETERS& getPresentParameters() { return m_presentParameters; }

    // The buffer pools; either may be null.
    KXDXVbManager* getVbManager() const { return m_vbManager; }
    KXDXIbManager* getIbManager() const { return m_ibManager; }

    // The buffers last bound, as recorded by those who bound them. Only
    // compared, never dereferenced.
    IDirect3DVertexBuffer9* getCurrentVertexBuffer() const { return m_currentVertexBuffer; }
    void setCurrentVertexBuffer(IDirect3DVertexBuffer9* buffer) { m_currentVertexBuffer = buffer; }
    IDirect3DIndexBuffer9* getCurrentIndexBuffer() const { return m_currentIndexBuffer; }
    void setCurrentIndexBuffer(IDirect3DIndexBuffer9* buffer) { m_currentIndexBuffer = buffer; }
    // Forgets both bindings, so that the next draw binds its buffers again.
    void forgetBindings()
    {
        m_currentVertexBuffer = nullptr;
        m_currentIndexBuffer = nullptr;
    }

private:
    void buildCapabilities();
    void buildAdapterFormats();
    bool probeDepthFormat(D3DFORMAT format, D3DFORMAT depthFormat) const;

    IDirect3D9* m_direct3D = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    D3DCAPS9 m_caps{};
    D3DPRESENT_PARAMETERS m_presentParameters{};
    KXDeviceCapabilities m_capabilities;
    bool m_created = false;
    KXAdapterFormat m_settings;
    KXDXVbManager* m_vbManager = nullptr;
    KXDXIbManager* m_ibManager = nullptr;
    IDirect3DVertexBuffer9* m_currentVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_currentIndexBuffer = nullptr;
};
