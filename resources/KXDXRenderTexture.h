#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderSurface.h"
#include "resources/KXDXImage2DImpl.h"

#include <d3d9.h>

class KXDXDevice;

// An A8R8G8B8 texture in the default pool that a texture renderer draws
// into (when made as a render target) and that binds to texture stages like
// any 2D image: it is a KXDXImage2DImpl whose texture is its own, so that
// it can be stored in an image's implementation slot without being handed
// over. The slot's disposal only releases the texture; the object stays
// with its owner. It does not survive a device reset, and lets go of its
// texture when the device is released.
class KXDXRENDERER_API KXDXRenderTexture : public KXRenderTexture, public KXDXImage2DImpl
{
public:
    KXDXRenderTexture();
    ~KXDXRenderTexture() override;
    KXDXRenderTexture(const KXDXRenderTexture&) = delete;
    KXDXRenderTexture& operator=(const KXDXRenderTexture&) = delete;

    // Releases the texture; the size becomes 0 x 0. Safe to call twice.
    void dispose() override;
    // Binds the texture to the stage; nothing without a texture.
    void bind(unsigned stage) override;
    // -3 for null, -1 for a device that is not a KXDXDevice, else 0.
    int initialize(KXDevice* device) override;
    // A texture of one level, or a full chain whose levels Direct3D makes
    // from level 0 (mipmap non-zero); a render target when renderTarget is
    // non-zero. -1 without a device or when Direct3D refuses (the size then
    // stays), else the old texture is replaced, 0.
    int create(unsigned width, unsigned height, int mipmap, int renderTarget) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    // Level 0, read back through main memory (a default-pool texture is
    // never lockable).
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    // Reads level 0 of this render target back into a memory texture of its
    // size. -1 when Direct3D refuses.
    int copyToMemoryTexture(KXMemoryTexture* texture) override;
    // Uploads a memory texture at least as large into this texture.
    int loadFromMemoryTexture(KXMemoryTexture* texture) override;
    unsigned getHeight() override { return m_height; }
    unsigned getWidth() override { return m_width; }

    // getDevice() and getTexture() come from KXDXImage2DImpl.

private:
    unsigned m_width = 0;
    unsigned m_height = 0;
};
