#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/dx/KXDXDeviceLink.h"
#include "resources/KXDXMemoryTexture.h"

#include <d3d9.h>

class KXDXDevice;

// An A8R8G8B8 colour surface: either a render target in the default pool
// (what an off-screen renderer draws into), with a memory texture of its
// size to read it back through, or a scratch surface in main memory. A
// render target uses the device's multisample type unless told otherwise.
// Render targets do not survive a device reset: their owner makes them
// again. The surface lets go of its Direct3D objects when the device is
// released.
class KXDXRENDERER_API KXDXRenderSurface : public KXRenderSurface
{
public:
    KXDXRenderSurface();
    // Releases whatever surface is still held.
    virtual ~KXDXRenderSurface();
    KXDXRenderSurface(const KXDXRenderSurface&) = delete;
    KXDXRenderSurface& operator=(const KXDXRenderSurface&) = delete;

    // -3 for null, -1 for a device that is not a KXDXDevice, else 0; the
    // read-back memory texture takes the same device.
    int initialize(KXDevice* device) override;
    // A render target (renderTarget non-zero) with its read-back texture, or
    // a scratch surface. -1 without a device or when Direct3D refuses (the
    // size then stays); a render target whose read-back texture cannot be
    // made is kept but gives -1.
    int create(unsigned width, unsigned height, int renderTarget) override;
    // Releases the read-back texture and the surface; the size stays.
    void release() override;
    // Copies sourceRect of source into destination of this surface, scaled
    // with D3DX's default filter; a render-target source is read through its
    // read-back texture (resolved first when multisampled). -3 without an
    // own surface or a source.
    int copyRegion(const KXViewport& destination, KXRenderSurface* source, const KXViewport& sourceRect) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    // A render target is read back through its memory texture.
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    // Reads this render target back into a memory texture of its size (a
    // multisampled one is resolved first). -1 when Direct3D refuses.
    int copyToMemoryTexture(KXMemoryTexture* texture) override;
    // Copies the whole surface onto a render surface of the same size with
    // StretchRect (resolving multisampling). -1 when Direct3D refuses.
    int copyTo(KXRenderSurface* target) override;
    // Uploads the memory texture's top-left corner (this surface's size) into
    // this surface; the texture must be at least as large.
    int loadFromMemoryTexture(KXMemoryTexture* texture) override;
    unsigned getHeight() override { return m_height; }
    unsigned getWidth() override { return m_width; }

    // Whether a render target made by create takes the device's multisample
    // type and quality (the default) or none.
    void setUseDeviceMultisampling(bool use) { m_useDeviceMultisampling = use; }
    bool getUseDeviceMultisampling() const { return m_useDeviceMultisampling; }
    // Whether the surface held is a render target (else a scratch surface).
    bool isRenderTarget() const { return m_renderTarget; }

    KXDXDevice* getDevice() const { return m_device.get(); }
    // The Direct3D surface, or null.
    IDirect3DSurface9* getSurface() const { return m_surface; }
    // The read-back texture of a render target.
    KXDXMemoryTexture* getMemoryTexture() { return &m_memoryTexture; }

private:
    void releaseSurface();

    KXDXDeviceLink m_device;
    IDirect3DSurface9* m_surface = nullptr;
    bool m_renderTarget = false;
    unsigned m_width = 0;
    unsigned m_height = 0;
    KXDXMemoryTexture m_memoryTexture;
    bool m_useDeviceMultisampling = true;
};
