// The factory: what each creation returns, and destroys that take null.

#include "renderer/KXDevice.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/KXTextureFilter.h"
#include "renderer/dx/KXDXRendererFactory.h"
#include "resources/KXDXRenderSurface.h"

#include <gtest/gtest.h>

TEST(RendererFactory, CreatesTheFourRenderersAndNothingElse)
{
    KXDXRendererFactory factory;
    for (int type = 0; type <= 3; ++type) {
        KXRenderer* renderer = factory.createRenderer(static_cast<KXRenderer::KXRENDERERTYPE>(type));
        ASSERT_NE(nullptr, renderer) << type;
        EXPECT_EQ(type, renderer->getRendererType());
        EXPECT_EQ(nullptr, renderer->getDevice());
        // Secondary renderers are both secondary and of their kind.
        EXPECT_EQ(type != 0, dynamic_cast<KXSecondaryRenderer*>(renderer) != nullptr) << type;
        EXPECT_EQ(type == 1 || type == 3, dynamic_cast<KXOffScreenRenderer*>(renderer) != nullptr) << type;
        EXPECT_EQ(type == 2 || type == 3, dynamic_cast<KXTextureRenderer*>(renderer) != nullptr) << type;
        factory.destroyRenderer(renderer);
    }
    EXPECT_EQ(nullptr, factory.createRenderer(static_cast<KXRenderer::KXRENDERERTYPE>(4)));
    EXPECT_EQ(nullptr, factory.createRenderer(static_cast<KXRenderer::KXRENDERERTYPE>(-1)));
}

TEST(RendererFactory, BoxBlurIsTheOnlyFilter)
{
    KXDXRendererFactory factory;
    KXTextureFilter* filter = factory.createTextureFilter(KXTextureFilter::KXTEXTUREFILTER_BOXBLUR);
    ASSERT_NE(nullptr, filter);
    EXPECT_EQ(0, filter->setKernelSize(3));
    EXPECT_EQ(-1, filter->setKernelSize(4));
    factory.destroyTextureFilter(filter);
    EXPECT_EQ(nullptr, factory.createTextureFilter(static_cast<KXTextureFilter::KXTEXTUREFILTERTYPE>(1)));
}

TEST(RendererFactory, CreatesEmptyDeviceObjects)
{
    KXDXRendererFactory factory;
    KXDevice* device = factory.createDevice();
    ASSERT_NE(nullptr, device);
    KXAdapterFormat settings;
    EXPECT_EQ(-1, device->getSettings(settings)) << "not initialised yet";

    KXRenderSurface* surface = factory.createRenderSurface();
    ASSERT_NE(nullptr, surface);
    EXPECT_EQ(0u, surface->getWidth());
    EXPECT_EQ(0u, surface->getHeight());
    auto* dxSurface = dynamic_cast<KXDXRenderSurface*>(surface);
    ASSERT_NE(nullptr, dxSurface);
    EXPECT_TRUE(dxSurface->getUseDeviceMultisampling());
    EXPECT_EQ(nullptr, dxSurface->getSurface());

    KXRenderTexture* texture = factory.createRenderTexture();
    KXMemoryTexture* memory = factory.createMemoryTexture();
    KXDepthStencilSurface* depth = factory.createDepthStencilSurface();
    ASSERT_TRUE(texture && memory && depth);
    EXPECT_EQ(0u, texture->getWidth() + memory->getWidth() + depth->getWidth());

    factory.destroyDepthStencilSurface(depth);
    factory.destroyMemoryTexture(memory);
    factory.destroyRenderTexture(texture);
    factory.destroyRenderSurface(surface);
    factory.destroyDevice(device);
}

TEST(RendererFactory, DestroysAcceptNull)
{
    KXDXRendererFactory factory;
    factory.destroyDevice(nullptr);
    factory.destroyRenderer(nullptr);
    factory.destroyRenderSurface(nullptr);
    factory.destroyRenderTexture(nullptr);
    factory.destroyMemoryTexture(nullptr);
    factory.destroyTextureFilter(nullptr);
    factory.destroyDepthStencilSurface(nullptr);
}
