#pragma once

#include "renderer/KXRenderer.h"
#include "renderer/KXTextureFilter.h"

class KXDepthStencilSurface;
class KXDevice;
class KXMemoryTexture;
class KXRenderSurface;
class KXRenderTexture;

// Creates devices, renderers, surfaces, textures and filters, each new and
// uninitialised. Whatever it creates is freed with the matching destroy
// operation, never with delete; every destroy operation accepts null.
class KXRendererFactory
{
public:
    virtual KXDevice* createDevice() = 0;
    virtual void destroyDevice(KXDevice* device) = 0;
    // Null for a type outside KXRENDERERTYPE.
    virtual KXRenderer* createRenderer(KXRenderer::KXRENDERERTYPE type) = 0;
    virtual void destroyRenderer(KXRenderer* renderer) = 0;
    virtual KXRenderSurface* createRenderSurface() = 0;
    virtual void destroyRenderSurface(KXRenderSurface* surface) = 0;
    virtual KXRenderTexture* createRenderTexture() = 0;
    virtual void destroyRenderTexture(KXRenderTexture* texture) = 0;
    virtual KXMemoryTexture* createMemoryTexture() = 0;
    virtual void destroyMemoryTexture(KXMemoryTexture* texture) = 0;
    // Null for a type outside KXTEXTUREFILTERTYPE.
    virtual KXTextureFilter* createTextureFilter(KXTextureFilter::KXTEXTUREFILTERTYPE type) = 0;
    virtual void destroyTextureFilter(KXTextureFilter* filter) = 0;
    virtual KXDepthStencilSurface* createDepthStencilSurface() = 0;
    virtual void destroyDepthStencilSurface(KXDepthStencilSurface* surface) = 0;

protected:
    KXRendererFactory() = default;
    ~KXRendererFactory() = default;
};
