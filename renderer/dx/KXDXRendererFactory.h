#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRendererFactory.h"

// The library's entry point for everything device-related: devices, the
// four renderers, render surfaces and textures, memory textures,
// depth-stencil surfaces and the box blur, each created new and
// uninitialised and handed out as its abstract class. A creation without
// memory returns null; every destroy operation accepts null. Surfaces and
// textures are released by their owner before they are destroyed.
class KXDXRENDERER_API KXDXRendererFactory : public KXRendererFactory
{
public:
    KXDXRendererFactory() = default;
    virtual ~KXDXRendererFactory() = default;

    KXDevice* createDevice() override;
    void destroyDevice(KXDevice* device) override;
    KXRenderer* createRenderer(KXRenderer::KXRENDERERTYPE type) override;
    void destroyRenderer(KXRenderer* renderer) override;
    KXRenderSurface* createRenderSurface() override;
    void destroyRenderSurface(KXRenderSurface* surface) override;
    KXRenderTexture* createRenderTexture() override;
    void destroyRenderTexture(KXRenderTexture* texture) override;
    KXMemoryTexture* createMemoryTexture() override;
    void destroyMemoryTexture(KXMemoryTexture* texture) override;
    KXTextureFilter* createTextureFilter(KXTextureFilter::KXTEXTUREFILTERTYPE type) override;
    void destroyTextureFilter(KXTextureFilter* filter) override;
    KXDepthStencilSurface* createDepthStencilSurface() override;
    void destroyDepthStencilSurface(KXDepthStencilSurface* surface) override;
};
