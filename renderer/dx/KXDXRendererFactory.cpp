#include "renderer/dx/KXDXRendererFactory.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXBoxBlurFilter.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXOffScreenRenderer.h"
#include "renderer/dx/KXDXOffScreenTextureRenderer.h"
#include "renderer/dx/KXDXRenderer.h"
#include "renderer/dx/KXDXTextureRenderer.h"
#include "resources/KXDXDepthStencilSurface.h"
#include "resources/KXDXMemoryTexture.h"
#include "resources/KXDXRenderSurface.h"
#include "resources/KXDXRenderTexture.h"

#include <new>

namespace {

// A new T, or null when memory runs out, whether for the object itself or
// inside its constructor.
template <class T>
T* make()
{
    T* made = nullptr;
    if (!kxRunWithinMemory([&] { made = new (std::nothrow) T(); }))
        return nullptr;
    return made;
}

// Deletes an object the factory made, through its concrete class (the
// abstract surface classes have no virtual destructor); an object of
// another class is left to whoever made it.
template <class Concrete, class Abstract>
void destroyAs(Abstract* object)
{
    delete dynamic_cast<Concrete*>(object);
}

} // namespace

KXDevice* KXDXRendererFactory::createDevice()
{
    return make<KXDXDevice>();
}

void KXDXRendererFactory::destroyDevice(KXDevice* device)
{
    delete device;
}

KXRenderer* KXDXRendererFactory::createRenderer(KXRenderer::KXRENDERERTYPE type)
{
    switch (type) {
    case KXRenderer::KXRENDERER_WINDOW:
        return make<KXDXRenderer>();
    case KXRenderer::KXRENDERER_OFFSCREEN:
        return make<KXDXOffScreenRenderer>();
    case KXRenderer::KXRENDERER_TEXTURE:
        return make<KXDXTextureRenderer>();
    case KXRenderer::KXRENDERER_OFFSCREENTEXTURE:
        return make<KXDXOffScreenTextureRenderer>();
    }
    return nullptr;
}

void KXDXRendererFactory::destroyRenderer(KXRenderer* renderer)
{
    delete renderer;
}

KXRenderSurface* KXDXRendererFactory::createRenderSurface()
{
    return make<KXDXRenderSurface>();
}

void KXDXRendererFactory::destroyRenderSurface(KXRenderSurface* surface)
{
    destroyAs<KXDXRenderSurface>(surface);
}

KXRenderTexture* KXDXRendererFactory::createRenderTexture()
{
    return make<KXDXRenderTexture>();
}

void KXDXRendererFactory::destroyRenderTexture(KXRenderTexture* texture)
{
    destroyAs<KXDXRenderTexture>(texture);
}

KXMemoryTexture* KXDXRendererFactory::createMemoryTexture()
{
    return make<KXDXMemoryTexture>();
}

void KXDXRendererFactory::destroyMemoryTexture(KXMemoryTexture* texture)
{
    destroyAs<KXDXMemoryTexture>(texture);
}

KXTextureFilter* KXDXRendererFactory::createTextureFilter(KXTextureFilter::KXTEXTUREFILTERTYPE type)
{
    if (type != KXTextureFilter::KXTEXTUREFILTER_BOXBLUR)
        return nullptr;
    return make<KXDXBoxBlurFilter>();
}

void KXDXRendererFactory::destroyTextureFilter(KXTextureFilter* filter)
{
    destroyAs<KXDXBoxBlurFilter>(filter);
}

KXDepthStencilSurface* KXDXRendererFactory::createDepthStencilSurface()
{
    return make<KXDXDepthStencilSurface>();
}

void KXDXRendererFactory::destroyDepthStencilSurface(KXDepthStencilSurface* surface)
{
    destroyAs<KXDXDepthStencilSurface>(surface);
}
