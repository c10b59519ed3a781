#include "resources/KXDXImage2DImpl.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXDevice.h"
#include "sceneapi/KXImage2D.h"

#include <d3dx9.h>

#include <limits>

// Hearing the device is the one step that can run out of memory; one that
// runs out keeps no texture and links to no device, so that the texture
// state makes it again at the next use.
KXDXImage2DImpl::KXDXImage2DImpl(KXDXDevice* device, KXImage2D* image)
    : m_device(nullptr, [this] { releaseTexture(); })
{
    if (!kxRunWithinMemory([&] {
            m_device.reset(device);
            build(image);
        })) {
        releaseTexture();
        m_device.reset(nullptr);
    }
}

KXDXImage2DImpl::KXDXImage2DImpl(KXDXDevice* device)
    : m_device(nullptr, [this] { releaseTexture(); })
{
    kxRunWithinMemory([&] { m_device.reset(device); });
}

KXDXImage2DImpl::~KXDXImage2DImpl()
{
    releaseTexture();
}

void KXDXImage2DImpl::bind(unsigned stage)
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    if (!d3dDevice || !m_texture)
        return;
    d3dDevice->SetTexture(stage, m_texture);
}

void KXDXImage2DImpl::setTexture(IDirect3DTexture9* texture, bool owned)
{
    if (texture == m_texture) {
        m_ownsTexture = owned;
        return;
    }
    releaseTexture();
    m_texture = texture;
    m_ownsTexture = texture && owned;
}

bool KXDXImage2DImpl::linkDevice(KXDXDevice* device)
{
    if (device != m_device.get())
        releaseTexture();
    if (kxRunWithinMemory([&] { m_device.reset(device); }))
        return true;
    m_device.reset(nullptr);
    return false;
}

void KXDXImage2DImpl::build(KXImage2D* image)
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    if (!d3dDevice || !image)
        return;
    releaseTexture();
    const unsigned char* data = image->getData();
    // D3DX takes the file's size as a UINT; a larger file is not cut short.
    if (!data || image->getSize() > std::numeric_limits<UINT>::max())
        return;
    IDirect3DTexture9* texture = nullptr;
    const HRESULT made = D3DXCreateTextureFromFileInMemory(d3dDevice, data, static_cast<UINT>(image->getSize()),
                                                           &texture);
    if (SUCCEEDED(made)) {
        m_texture = texture;
        m_ownsTexture = texture != nullptr;
        return;
    }
    if (texture)
        texture->Release();
    // Data that does not decode never will; a texture that found no memory
    // may at the next use, made again by the texture state, which replaces
    // an implementation without a device.
    if (made == E_OUTOFMEMORY || made == D3DERR_OUTOFVIDEOMEMORY)
        m_device.reset(nullptr);
}

void KXDXImage2DImpl::releaseTexture()
{
    if (m_texture && m_ownsTexture)
        m_texture->Release();
    m_texture = nullptr;
    m_ownsTexture = false;
}
