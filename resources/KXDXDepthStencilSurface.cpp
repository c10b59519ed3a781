#include "resources/KXDXDepthStencilSurface.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"

KXDXDepthStencilSurface::KXDXDepthStencilSurface() : m_device(nullptr, [this] { release(); }) {}

KXDXDepthStencilSurface::~KXDXDepthStencilSurface()
{
    release();
}

int KXDXDepthStencilSurface::initialize(KXDevice* device)
{
    return m_device.attach(device);
}

int KXDXDepthStencilSurface::create(unsigned width, unsigned height)
{
    IDirect3DDevice9* device = m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
    if (!device)
        return KXRESULT_FAILED;
    // D16 is the depth format every device offers; it has no stencil.
    KXDXComPtr<IDirect3DSurface9> surface;
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D16}) {
        if (SUCCEEDED(device->CreateDepthStencilSurface(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                        surface.out(), nullptr)) &&
            surface)
            break;
        surface.reset();
    }
    if (!surface)
        return KXRESULT_FAILED;
    release();
    m_surface = surface.detach();
    m_width = width;
    m_height = height;
    return KXRESULT_OK;
}

void KXDXDepthStencilSurface::release()
{
    if (m_surface)
        m_surface->Release();
    m_surface = nullptr;
}
