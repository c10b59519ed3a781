#include "imagegen/KXShadowTexGen.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXViewport.h"
#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "renderer/KXTextureFilter.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRendererFactory.h"
#include "resources/KXDXRenderTexture.h"

#include <d3d9.h>

KXShadowTexGen::KXShadowTexGen(int offScreen)
{
    // Whatever finds no memory stays null, and initialize reports it.
    kxRunWithinMemory([&] {
        m_factory = std::make_unique<KXDXRendererFactory>();
        m_renderer = m_factory->createRenderer(offScreen ? KXRenderer::KXRENDERER_OFFSCREENTEXTURE
                                                         : KXRenderer::KXRENDERER_TEXTURE);
        m_uploadTexture = m_factory->createRenderTexture();
        m_blurSource = m_factory->createMemoryTexture();
        m_blurTarget = m_factory->createMemoryTexture();
        m_depthStencil = m_factory->createDepthStencilSurface();
    });
    if (auto* textureRenderer = dynamic_cast<KXTextureRenderer*>(m_renderer))
        textureRenderer->setDepthStencilSurface(m_depthStencil);
}

KXShadowTexGen::~KXShadowTexGen()
{
    if (!m_factory)
        return;
    if (m_renderer) {
        m_renderer->uninitialize();
        m_factory->destroyRenderer(m_renderer);
    }
    if (m_uploadTexture) {
        m_uploadTexture->release();
        m_factory->destroyRenderTexture(m_uploadTexture);
    }
    for (KXMemoryTexture* texture : {m_blurSource, m_blurTarget}) {
        if (texture) {
            texture->release();
            m_factory->destroyMemoryTexture(texture);
        }
    }
    if (m_depthStencil) {
        m_depthStencil->release();
        m_factory->destroyDepthStencilSurface(m_depthStencil);
    }
}

int KXShadowTexGen::initialize(KXDevice* device, unsigned width, unsigned height)
{
    if (!device || width == 0 || height == 0)
        return KXRESULT_FAILED;
    m_device = device;
    m_ready = false;
    auto* secondary = dynamic_cast<KXSecondaryRenderer*>(m_renderer);
    if (!secondary || !m_uploadTexture || !m_blurSource || !m_blurTarget || !m_depthStencil)
        return KXRESULT_FAILED;
    if (m_renderer->initialize(device) != KXRESULT_OK)
        return KXRESULT_FAILED;
    m_renderer->setSize(width, height);
    secondary->bindTarget();
    const KXViewport viewport(0, 0, width, height);
    m_renderer->setViewport(&viewport);
    secondary->restoreTarget();
    // One level that UpdateTexture can fill, not a render target.
    if (m_uploadTexture->initialize(device) != KXRESULT_OK || m_uploadTexture->create(width, height, 0, 0) != KXRESULT_OK)
        return KXRESULT_FAILED;
    if (m_blurSource->initialize(device) != KXRESULT_OK || m_blurSource->create(width, height) != KXRESULT_OK ||
        m_blurTarget->initialize(device) != KXRESULT_OK || m_blurTarget->create(width, height) != KXRESULT_OK)
        return KXRESULT_FAILED;
    // Without a depth-stencil surface the silhouette would be drawn with the
    // window's, which does not fit the texture.
    if (m_depthStencil->initialize(device) != KXRESULT_OK || m_depthStencil->create(width, height) != KXRESULT_OK)
        return KXRESULT_FAILED;
    KXRenderTexture* target = getRenderTexture();
    if (!target || target->getWidth() != width || target->getHeight() != height)
        return KXRESULT_FAILED;
    m_ready = true;
    return KXRESULT_OK;
}

KXRenderTexture* KXShadowTexGen::getRenderTexture() const
{
    auto* textureRenderer = dynamic_cast<KXTextureRenderer*>(m_renderer);
    return textureRenderer ? textureRenderer->getRenderTexture() : nullptr;
}

int KXShadowTexGen::convert(const KXScene* scene, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType,
                            KXCanvas* canvas)
{
    if (!scene || !image || !canvas)
        return KXRESULT_NULLARGUMENT;
    if (fileType != KXImage2D::KXIMAGE2D_BMP && fileType != KXImage2D::KXIMAGE2D_JPG &&
        fileType != KXImage2D::KXIMAGE2D_PNG)
        return KXRESULT_FAILED;
    if (render(scene, canvas) != KXRESULT_OK)
        return KXRESULT_FAILED;
    return postProcess(image);
}

bool KXShadowTexGen::isTargetBound() const
{
    // The bind reports nothing; a target that could not be bound leaves the
    // device drawing into the window's, which must not get the silhouette.
    auto* texture = dynamic_cast<KXDXRenderTexture*>(getRenderTexture());
    IDirect3DDevice9* device = texture && texture->getDevice() ? texture->getDevice()->getD3DDevice() : nullptr;
    if (!device || !texture || !texture->getTexture())
        return false;
    KXDXComPtr<IDirect3DSurface9> level;
    KXDXComPtr<IDirect3DSurface9> bound;
    return SUCCEEDED(texture->getTexture()->GetSurfaceLevel(0, level.out())) &&
           SUCCEEDED(device->GetRenderTarget(0, bound.out())) && level.get() == bound.get();
}

int KXShadowTexGen::render(const KXScene* scene, KXCanvas* canvas)
{
    if (!scene || !canvas)
        return KXRESULT_NULLARGUMENT;
    auto* secondary = dynamic_cast<KXSecondaryRenderer*>(m_renderer);
    if (!m_ready || !secondary)
        return KXRESULT_FAILED;
    secondary->bindTarget();
    const bool bound = isTargetBound();
    if (bound) {
        canvas->setRenderer(m_renderer);
        canvas->render(scene, nullptr);
    }
    secondary->restoreTarget();
    return bound ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXShadowTexGen::postProcess(KXImage2D* image)
{
    if (!image)
        return KXRESULT_NULLARGUMENT;
    KXRenderTexture* rendered = getRenderTexture();
    if (!m_ready || !rendered || rendered->copyToMemoryTexture(m_blurSource) != KXRESULT_OK)
        return KXRESULT_FAILED;
    KXTextureFilter* blur = m_factory->createTextureFilter(KXTextureFilter::KXTEXTUREFILTER_BOXBLUR);
    if (!blur)
        return KXRESULT_FAILED;
    const int blurred = blur->apply(m_blurSource, m_blurTarget);
    m_factory->destroyTextureFilter(blur);
    if (blurred != KXRESULT_OK)
        return KXRESULT_FAILED;
    // An image that let go of the upload texture released it: it is made again.
    if (m_uploadTexture->getWidth() == 0 &&
        m_uploadTexture->create(m_blurTarget->getWidth(), m_blurTarget->getHeight(), 0, 0) != KXRESULT_OK)
        return KXRESULT_FAILED;
    if (m_uploadTexture->loadFromMemoryTexture(m_blurTarget) != KXRESULT_OK)
        return KXRESULT_FAILED;
    // The slot holds the texture as a bindable image form; letting go of it
    // only releases the texture, the object stays here.
    auto* upload = dynamic_cast<KXDXRenderTexture*>(m_uploadTexture);
    if (!upload)
        return KXRESULT_FAILED;
    image->setImplementation(static_cast<KXDXImage2DImpl*>(upload));
    return KXRESULT_OK;
}
