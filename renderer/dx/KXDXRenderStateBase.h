#pragma once

#include "renderer/dx/KXDXDevice.h"

#include <d3d9.h>

// What every Direct3D render state shares: the device it sets state on (not
// owned). Without a device, or once the manager has detached the state from
// a released device, every operation does nothing.
class KXDXRenderStateBase
{
public:
    KXDXDevice* getDXDevice() const { return m_device; }
    // The Direct3D device, or null.
    IDirect3DDevice9* getD3DDevice() const { return m_device ? m_device->getD3DDevice() : nullptr; }
    // Called by the manager when the device is released.
    void detachDevice() { m_device = nullptr; }

protected:
    explicit KXDXRenderStateBase(KXDXDevice* device) : m_device(device) {}
    KXDXRenderStateBase(const KXDXRenderStateBase&) = delete;
    KXDXRenderStateBase& operator=(const KXDXRenderStateBase&) = delete;
    ~KXDXRenderStateBase() = default;

private:
    KXDXDevice* m_device;
};
