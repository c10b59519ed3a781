#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXOffScreenRenderer.h"
#include "renderer/dx/KXDXTextureRenderer.h"

// An off-screen renderer whose target is a render texture (shadow
// textures): scene objects go through the off-screen renderer's private
// maps, and the target, depth-stencil surface and read-back are those of
// the texture renderer. Its render surfaces are never made; setSize does
// not reset the device, and the caller gives a depth-stencil surface of the
// texture's size.
class KXDXRENDERER_API KXDXOffScreenTextureRenderer : public KXDXOffScreenRenderer, public KXTextureRenderer
{
public:
    KXDXOffScreenTextureRenderer();
    ~KXDXOffScreenTextureRenderer() override;

    KXRENDERERTYPE getRendererType() const override { return KXRENDERER_OFFSCREENTEXTURE; }
    // Deletes the render texture; the maps are kept until the renderer is
    // destroyed.
    void uninitialize() override;
    void setSize(unsigned width, unsigned height) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;

    void bindTarget() override;
    void restoreTarget() override;

    void setDepthStencilSurface(KXDepthStencilSurface* surface) override;
    KXRenderTexture* getRenderTexture() override;

protected:
    void deviceResetting() override;
    void deviceWasReset() override;
    void deviceReleasing() override;

private:
    KXDXTextureTarget m_textureTarget;
};
