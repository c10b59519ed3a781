#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/dx/KXDXDeviceLink.h"

#include <d3d9.h>

class KXDXDevice;

// A depth-stencil surface for texture renderers: D24S8, or D16 where the
// device has no D24S8. Without multisampling, so that it fits non-
// multisampled render textures. A default-pool object: it does not survive
// a device reset, and is released with the device.
class KXDXRENDERER_API KXDXDepthStencilSurface : public KXDepthStencilSurface
{
public:
    KXDXDepthStencilSurface();
    // Releases whatever surface is still held.
    virtual ~KXDXDepthStencilSurface();
    KXDXDepthStencilSurface(const KXDXDepthStencilSurface&) = delete;
    KXDXDepthStencilSurface& operator=(const KXDXDepthStencilSurface&) = delete;

    // -3 for null, -1 for a device that is not a KXDXDevice, else 0.
    int initialize(KXDevice* device) override;
    // -1 without a device or when Direct3D refuses both formats (the size
    // then stays), else 0.
    int create(unsigned width, unsigned height) override;
    // Releases the surface; the size stays. Safe to call twice.
    void release() override;
    unsigned getHeight() override { return m_height; }
    unsigned getWidth() override { return m_width; }

    KXDXDevice* getDevice() const { return m_device.get(); }
    // The Direct3D surface, or null.
    IDirect3DSurface9* getSurface() const { return m_surface; }

private:
    KXDXDeviceLink m_device;
    IDirect3DSurface9* m_surface = nullptr;
    unsigned m_width = 0;
    unsigned m_height = 0;
};
