#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXRenderer.h"

#include <d3d9.h>

class KXDXDevice;
class KXDXRenderTexture;

// The render texture that the texture renderers draw into, with the
// depth-stencil surface they draw with and the device's targets they
// replace between bindTarget and restoreTarget.
//
// The texture lives in the default pool, which Direct3D refuses to reset
// around: releaseForReset lets go of it (and of the remembered targets)
// before a reset, and recreate makes it again, in the same object, at the
// same size, so that an image that holds it as its implementation keeps a
// valid one.
class KXDXRENDERER_API KXDXTextureTarget
{
public:
    KXDXTextureTarget() = default;
    KXDXTextureTarget(const KXDXTextureTarget&) = delete;
    KXDXTextureTarget& operator=(const KXDXTextureTarget&) = delete;
    ~KXDXTextureTarget();

    void setDepthStencilSurface(KXDepthStencilSurface* surface) { m_depthStencil = surface; }
    KXDepthStencilSurface* getDepthStencilSurface() const { return m_depthStencil; }
    KXRenderTexture* getRenderTexture() const;

    // Replaces the render texture by a new mipmapped render-target texture
    // of that size made on device.
    void setSize(KXDXDevice* device, unsigned width, unsigned height);
    // Remembers the device's render target and depth-stencil surface, then
    // binds level 0 of the texture and the depth-stencil surface (none when
    // none is set). Nothing changes when the texture cannot be bound.
    void bind(IDirect3DDevice9* device);
    // Binds the remembered surfaces again and lets go of them.
    void restore(IDirect3DDevice9* device);
    // Lets go of the remembered surfaces without binding them.
    void forgetSaved();
    // Releases and deletes the render texture.
    void deleteTexture();
    void releaseForReset();
    void recreate();

    // -3 without an argument or a render texture, else the texture's save.
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType);
    int saveToRawImage(KXRawImage2D* image);
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType);

private:
    bool createTexture();

    KXDepthStencilSurface* m_depthStencil = nullptr;
    KXDXRenderTexture* m_texture = nullptr;
    unsigned m_width = 0;
    unsigned m_height = 0;
    // Held only between bind and restore; either may be null (a device
    // without a depth-stencil surface), hence the flag.
    IDirect3DSurface9* m_savedTarget = nullptr;
    IDirect3DSurface9* m_savedDepthStencil = nullptr;
    bool m_bound = false;
};

// A renderer that draws into a render texture, which can afterwards be bound
// like any 2D image (planar reflections, soft shadows). It draws scene
// objects through their implementation slots as the window renderer does,
// and never presents: the window's frame is left to the window renderer.
class KXDXRENDERER_API KXDXTextureRenderer : public KXDXRenderer, public KXSecondaryRenderer, public KXTextureRenderer
{
public:
    KXDXTextureRenderer();
    ~KXDXTextureRenderer() override;

    KXRENDERERTYPE getRendererType() const override { return KXRENDERER_TEXTURE; }
    void uninitialize() override;
    // Replaces the render texture by one of that size.
    void setSize(unsigned width, unsigned height) override;
    // Closes the scene without presenting.
    void endScene() override;
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
    KXDXTextureTarget m_target;
};
