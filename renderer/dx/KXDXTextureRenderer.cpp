#include "renderer/dx/KXDXTextureRenderer.h"

#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXDepthStencilSurface.h"
#include "resources/KXDXRenderTexture.h"

#include <new>

KXDXTextureTarget::~KXDXTextureTarget()
{
    forgetSaved();
    deleteTexture();
}

KXRenderTexture* KXDXTextureTarget::getRenderTexture() const
{
    return m_texture;
}

bool KXDXTextureTarget::createTexture()
{
    // Direct3D may refuse automatic mipmaps for render targets; a texture of
    // one level still serves.
    return m_texture->create(m_width, m_height, 1, 1) == KXRESULT_OK ||
           m_texture->create(m_width, m_height, 0, 1) == KXRESULT_OK;
}

void KXDXTextureTarget::setSize(KXDXDevice* device, unsigned width, unsigned height)
{
    if (!device)
        return;
    forgetSaved();
    deleteTexture();
    m_texture = new (std::nothrow) KXDXRenderTexture();
    if (!m_texture)
        return;
    m_width = width;
    m_height = height;
    if (m_texture->initialize(device) == KXRESULT_OK)
        createTexture();
}

void KXDXTextureTarget::bind(IDirect3DDevice9* device)
{
    if (!device || !m_texture || !m_texture->getTexture())
        return;
    KXDXComPtr<IDirect3DSurface9> level;
    if (FAILED(m_texture->getTexture()->GetSurfaceLevel(0, level.out())) || !level)
        return;
    // A second bind inside one bracket keeps what the first remembered.
    if (!m_bound) {
        KXDXComPtr<IDirect3DSurface9> target;
        KXDXComPtr<IDirect3DSurface9> depthStencil;
        if (FAILED(device->GetRenderTarget(0, target.out())))
            return;
        // A device without a depth-stencil surface answers D3DERR_NOTFOUND.
        device->GetDepthStencilSurface(depthStencil.out());
        if (FAILED(device->SetRenderTarget(0, level.get())))
            return;
        m_savedTarget = target.detach();
        m_savedDepthStencil = depthStencil.detach();
        m_bound = true;
    } else if (FAILED(device->SetRenderTarget(0, level.get()))) {
        return;
    }
    // A depth-stencil surface of another class binds nothing.
    if (!m_depthStencil)
        device->SetDepthStencilSurface(nullptr);
    else if (auto* depthStencil = dynamic_cast<KXDXDepthStencilSurface*>(m_depthStencil))
        device->SetDepthStencilSurface(depthStencil->getSurface());
}

void KXDXTextureTarget::restore(IDirect3DDevice9* device)
{
    if (device && m_bound) {
        if (m_savedTarget)
            device->SetRenderTarget(0, m_savedTarget);
        device->SetDepthStencilSurface(m_savedDepthStencil);
    }
    forgetSaved();
}

void KXDXTextureTarget::forgetSaved()
{
    if (m_savedTarget)
        m_savedTarget->Release();
    if (m_savedDepthStencil)
        m_savedDepthStencil->Release();
    m_savedTarget = nullptr;
    m_savedDepthStencil = nullptr;
    m_bound = false;
}

void KXDXTextureTarget::deleteTexture()
{
    if (!m_texture)
        return;
    m_texture->release();
    delete m_texture;
    m_texture = nullptr;
}

void KXDXTextureTarget::releaseForReset()
{
    // A reset binds the new back buffer and automatic depth buffer itself:
    // an open bracket has nothing left to restore.
    forgetSaved();
    if (m_texture)
        m_texture->release();
}

void KXDXTextureTarget::recreate()
{
    if (m_texture && !m_texture->getTexture() && m_width > 0 && m_height > 0)
        createTexture();
}

int KXDXTextureTarget::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!path || !m_texture)
        return KXRESULT_NULLARGUMENT;
    return m_texture->saveToFile(path, fileType);
}

int KXDXTextureTarget::saveToRawImage(KXRawImage2D* image)
{
    if (!image || !m_texture)
        return KXRESULT_NULLARGUMENT;
    return m_texture->saveToRawImage(image);
}

int KXDXTextureTarget::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!image || !m_texture)
        return KXRESULT_NULLARGUMENT;
    return m_texture->saveToImage(image, fileType);
}

KXDXTextureRenderer::KXDXTextureRenderer() = default;

KXDXTextureRenderer::~KXDXTextureRenderer() = default;

void KXDXTextureRenderer::uninitialize()
{
    KXDXRenderer::uninitialize();
    m_target.forgetSaved();
    m_target.deleteTexture();
}

void KXDXTextureRenderer::setSize(unsigned width, unsigned height)
{
    m_target.setSize(getDXDevice(), width, height);
}

void KXDXTextureRenderer::endScene()
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->EndScene();
}

int KXDXTextureRenderer::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_target.saveToFile(path, fileType);
}

int KXDXTextureRenderer::saveToRawImage(KXRawImage2D* image)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_target.saveToRawImage(image);
}

int KXDXTextureRenderer::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_target.saveToImage(image, fileType);
}

void KXDXTextureRenderer::bindTarget()
{
    m_target.bind(getD3DDevice());
}

void KXDXTextureRenderer::restoreTarget()
{
    m_target.restore(getD3DDevice());
}

void KXDXTextureRenderer::setDepthStencilSurface(KXDepthStencilSurface* surface)
{
    m_target.setDepthStencilSurface(surface);
}

KXRenderTexture* KXDXTextureRenderer::getRenderTexture()
{
    return m_target.getRenderTexture();
}

void KXDXTextureRenderer::deviceResetting()
{
    m_target.releaseForReset();
}

void KXDXTextureRenderer::deviceWasReset()
{
    m_target.recreate();
}

void KXDXTextureRenderer::deviceReleasing()
{
    m_target.forgetSaved();
}
