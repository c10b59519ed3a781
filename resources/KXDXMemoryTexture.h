#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/dx/KXDXDeviceLink.h"

#include <d3d9.h>

class KXDXDevice;

// A texture in main memory (one A8R8G8B8 level in D3DPOOL_SYSTEMMEM,
// dynamic, hence lockable): the staging area that render targets are read
// back into and that default-pool textures are updated from, and the
// working image of the box blur. It survives device resets; it lets go of
// its texture when the device is released.
class KXDXRENDERER_API KXDXMemoryTexture : public KXMemoryTexture
{
public:
    KXDXMemoryTexture();
    // Releases whatever texture is still held.
    virtual ~KXDXMemoryTexture();
    KXDXMemoryTexture(const KXDXMemoryTexture&) = delete;
    KXDXMemoryTexture& operator=(const KXDXMemoryTexture&) = delete;

    // -3 for null, -1 for a device that is not a KXDXDevice (or no memory to
    // hear it), else 0.
    int initialize(KXDevice* device) override;
    // -1 without a device or when Direct3D refuses (the size then stays);
    // else the old texture is replaced, 0.
    int create(unsigned width, unsigned height) override;
    // Releases the texture; the size becomes 0 x 0. Safe to call twice.
    void release() override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    unsigned getHeight() override { return m_height; }
    unsigned getWidth() override { return m_width; }

    // The device the texture is made on; null before initialize and once
    // the device is released.
    KXDXDevice* getDevice() const { return m_device.get(); }
    // The texture, or null.
    IDirect3DTexture9* getTexture() const { return m_texture; }

private:
    KXDXDeviceLink m_device;
    IDirect3DTexture9* m_texture = nullptr;
    unsigned m_width = 0;
    unsigned m_height = 0;
};
