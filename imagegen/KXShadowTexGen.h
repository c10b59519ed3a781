#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXImage2D.h"

#include <memory>

class KXCanvas;
class KXDepthStencilSurface;
class KXDevice;
class KXDXRendererFactory;
class KXMemoryTexture;
class KXRenderer;
class KXRenderTexture;
class KXScene;

// Renders a scene (normally a soft-shadow canvas's silhouette) into a
// texture, softens it with the box blur on the CPU, uploads the result into
// a texture of its own and makes that texture an image's implementation, so
// that every appearance showing the image shows the soft shadow, without an
// image file in between.
//
// Made for one device: construct, initialize with the device and the size,
// then convert as often as needed; each convert overwrites the same upload
// texture. The images given the upload texture must be given another
// implementation (or none) before the generator is destroyed. The device
// objects do not survive a device reset: destroy the generator before one
// and make a new one after it.
class KXDXRENDERER_API KXShadowTexGen
{
public:
    // offScreen: rendering for a renderer that draws off screen, whose scene
    // objects keep their device forms apart from the window's.
    explicit KXShadowTexGen(int offScreen);
    KXShadowTexGen(const KXShadowTexGen&) = delete;
    KXShadowTexGen& operator=(const KXShadowTexGen&) = delete;
    ~KXShadowTexGen();

    // Binds everything to the device at width × height pixels. -1 for a null
    // device, a zero size, or a renderer or texture the device will not make
    // (nothing is stored for the first two); 0 when all is ready.
    int initialize(KXDevice* device, unsigned width, unsigned height);
    // Renders the scene with the canvas into the texture and hands the
    // blurred result to the image (the canvas's renderer is set to the
    // generator's). fileType is only checked: BMP, JPG and PNG are accepted,
    // nothing is encoded. -3 for a null argument, -1 for another file type,
    // before initialize, or when rendering or reading back fails (the image
    // then keeps what it had).
    int convert(const KXScene* scene, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType, KXCanvas* canvas);

    // The two halves of convert, for callers that keep the image apart from
    // the rendering. render: -1 when the texture could not be drawn into.
    // postProcess: -1 when the rendered texture cannot be read back, blurred
    // or uploaded.
    int render(const KXScene* scene, KXCanvas* canvas);
    int postProcess(KXImage2D* image);

    // 1 once initialize has succeeded.
    int isReady() const { return m_ready ? 1 : 0; }
    KXDevice* getDevice() const { return m_device; }
    KXRenderer* getRenderer() const { return m_renderer; }
    // The texture the blurred shadow is uploaded into (the images'
    // implementation), and the one rendered into.
    KXRenderTexture* getUploadTexture() const { return m_uploadTexture; }
    KXRenderTexture* getRenderTexture() const;

private:
    // Whether the device draws into the renderer's texture now.
    bool isTargetBound() const;

    std::unique_ptr<KXDXRendererFactory> m_factory;
    KXRenderer* m_renderer = nullptr;
    KXRenderTexture* m_uploadTexture = nullptr;
    KXMemoryTexture* m_blurSource = nullptr;
    KXMemoryTexture* m_blurTarget = nullptr;
    KXDepthStencilSurface* m_depthStencil = nullptr;
    KXDevice* m_device = nullptr;
    bool m_ready = false;
};
