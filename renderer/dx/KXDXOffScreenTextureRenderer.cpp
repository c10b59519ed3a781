#include "renderer/dx/KXDXOffScreenTextureRenderer.h"

#include "renderer/KXResult.h"

KXDXOffScreenTextureRenderer::KXDXOffScreenTextureRenderer() = default;

KXDXOffScreenTextureRenderer::~KXDXOffScreenTextureRenderer() = default;

void KXDXOffScreenTextureRenderer::uninitialize()
{
    KXDXRenderer::uninitialize();
    m_textureTarget.forgetSaved();
    m_textureTarget.deleteTexture();
}

void KXDXOffScreenTextureRenderer::setSize(unsigned width, unsigned height)
{
    m_textureTarget.setSize(getDXDevice(), width, height);
}

int KXDXOffScreenTextureRenderer::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_textureTarget.saveToFile(path, fileType);
}

int KXDXOffScreenTextureRenderer::saveToRawImage(KXRawImage2D* image)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_textureTarget.saveToRawImage(image);
}

int KXDXOffScreenTextureRenderer::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!getD3DDevice())
        return KXRESULT_FAILED;
    return m_textureTarget.saveToImage(image, fileType);
}

void KXDXOffScreenTextureRenderer::bindTarget()
{
    m_textureTarget.bind(getD3DDevice());
}

void KXDXOffScreenTextureRenderer::restoreTarget()
{
    m_textureTarget.restore(getD3DDevice());
}

void KXDXOffScreenTextureRenderer::setDepthStencilSurface(KXDepthStencilSurface* surface)
{
    m_textureTarget.setDepthStencilSurface(surface);
}

KXRenderTexture* KXDXOffScreenTextureRenderer::getRenderTexture()
{
    return m_textureTarget.getRenderTexture();
}

void KXDXOffScreenTextureRenderer::deviceResetting()
{
    KXDXOffScreenRenderer::deviceResetting();
    m_textureTarget.releaseForReset();
}

void KXDXOffScreenTextureRenderer::deviceWasReset()
{
    KXDXOffScreenRenderer::deviceWasReset();
    m_textureTarget.recreate();
}

void KXDXOffScreenTextureRenderer::deviceReleasing()
{
    KXDXOffScreenRenderer::deviceReleasing();
    m_textureTarget.forgetSaved();
}
