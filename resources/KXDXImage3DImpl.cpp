#include "resources/KXDXImage3DImpl.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXDevice.h"
#include "sceneapi/KXImage3D.h"

#include <d3dx9.h>

#include <limits>

namespace {

// Six face files make a cube of this edge, one level, whatever their sizes.
const UINT CUBE_FACE_EDGE = 512;
// Opaque black in a face file becomes transparent black.
const D3DCOLOR CUBE_FACE_COLOR_KEY = 0xFF000000;

// D3DX takes file sizes as UINTs; a larger file is refused rather than cut
// short.
bool fitsLoader(const unsigned char* data, size_t size)
{
    return data && size > 0 && size <= std::numeric_limits<UINT>::max();
}

} // namespace

// Hearing the device is the one step that can run out of memory; one that
// runs out keeps no texture and links to no device, so that the texture
// state makes it again at the next use.
KXDXImage3DImpl::KXDXImage3DImpl(KXDXDevice* device, KXImage3D* image)
    : m_device(nullptr, [this] { releaseTextures(); })
{
    if (!kxRunWithinMemory([&] {
            m_device.reset(device);
            build(image);
        })) {
        releaseTextures();
        m_device.reset(nullptr);
    }
}

KXDXImage3DImpl::~KXDXImage3DImpl()
{
    releaseTextures();
}

void KXDXImage3DImpl::bind(unsigned stage)
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    if (!d3dDevice)
        return;
    if (m_cubeTexture)
        d3dDevice->SetTexture(stage, m_cubeTexture);
    if (m_volumeTexture)
        d3dDevice->SetTexture(stage, m_volumeTexture);
}

void KXDXImage3DImpl::build(KXImage3D* image)
{
    KXDXDevice* device = m_device.get();
    IDirect3DDevice9* d3dDevice = device ? device->getD3DDevice() : nullptr;
    if (!d3dDevice || !image)
        return;
    releaseTextures();

    // Data that does not decode never will; textures that found no memory
    // may at the next use: they are let go of with the device, and the
    // texture state makes an implementation without a device again.
    bool outOfMemory = false;
    auto succeeded = [&outOfMemory](HRESULT result) {
        outOfMemory = outOfMemory || result == E_OUTOFMEMORY || result == D3DERR_OUTOFVIDEOMEMORY;
        return SUCCEEDED(result);
    };
    switch (image->getImage3DType()) {
    case KXImage3D::KXIMAGE3D_CUBEMAP:
        if (fitsLoader(image->getData(), image->getSize())) {
            IDirect3DCubeTexture9* texture = nullptr;
            if (succeeded(D3DXCreateCubeTextureFromFileInMemory(d3dDevice, image->getData(),
                                                                static_cast<UINT>(image->getSize()), &texture)))
                m_cubeTexture = texture;
            else if (texture)
                texture->Release();
        }
        break;
    case KXImage3D::KXIMAGE3D_VOLUME:
        if (fitsLoader(image->getData(), image->getSize())) {
            IDirect3DVolumeTexture9* texture = nullptr;
            if (succeeded(D3DXCreateVolumeTextureFromFileInMemory(d3dDevice, image->getData(),
                                                                  static_cast<UINT>(image->getSize()), &texture)))
                m_volumeTexture = texture;
            else if (texture)
                texture->Release();
        }
        break;
    case KXImage3D::KXIMAGE3D_CUBEFACES: {
        IDirect3DCubeTexture9* texture = nullptr;
        if (!succeeded(D3DXCreateCubeTexture(d3dDevice, CUBE_FACE_EDGE, 1, 0, D3DFMT_A8B8G8R8, D3DPOOL_MANAGED,
                                             &texture)) ||
            !texture) {
            if (texture)
                texture->Release();
            break;
        }
        m_cubeTexture = texture;
        // Image faces are numbered as Direct3D's cube faces. A face that
        // does not load stays as created; the others go on.
        for (int face = 0; face < KXImage3D::NUM_CUBEMAP_FACES; ++face) {
            const unsigned char* data = image->getComponentData(face);
            const size_t size = image->getComponentSize(face);
            if (!fitsLoader(data, size))
                continue;
            IDirect3DSurface9* surface = nullptr;
            if (!succeeded(m_cubeTexture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, &surface)) ||
                !surface)
                continue;
            succeeded(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, data, static_cast<UINT>(size),
                                                      nullptr, D3DX_FILTER_LINEAR, CUBE_FACE_COLOR_KEY, nullptr));
            surface->Release();
        }
        break;
    }
    default:
        break;
    }
    if (outOfMemory) {
        releaseTextures();
        m_device.reset(nullptr);
    }
}

void KXDXImage3DImpl::releaseTextures()
{
    if (m_cubeTexture) {
        m_cubeTexture->Release();
        m_cubeTexture = nullptr;
    }
    if (m_volumeTexture) {
        m_volumeTexture->Release();
        m_volumeTexture = nullptr;
    }
}
