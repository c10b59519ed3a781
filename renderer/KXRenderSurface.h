#pragma once

#include "canvas/KXViewport.h"
#include "renderer/KXImageImpl.h"
#include "sceneapi/KXImage2D.h"

class KXDevice;
class KXMemoryTexture;
class KXRawImage2D;

// Device surfaces and system-memory textures that carry pixels between the
// device, main memory and image files. Each is created empty by the
// factory, bound to a device with initialize, sized with create, emptied
// with release, and freed with the factory's matching destroy operation
// (which does not release: call release first). Rectangles use the layout
// of KXViewport (left, top, width, height). Results follow KXRESULT.

// A colour surface: the target of an off-screen renderer, or a scratch
// surface in main memory.
class KXRenderSurface
{
public:
    virtual int initialize(KXDevice* device) = 0;
    virtual int create(unsigned width, unsigned height, int renderTarget) = 0;
    virtual void release() = 0;
    virtual int copyRegion(const KXViewport& destination, KXRenderSurface* source, const KXViewport& sourceRect) = 0;
    virtual int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int saveToRawImage(KXRawImage2D* image) = 0;
    virtual int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int copyToMemoryTexture(KXMemoryTexture* texture) = 0;
    virtual int copyTo(KXRenderSurface* target) = 0;
    virtual int loadFromMemoryTexture(KXMemoryTexture* texture) = 0;
    virtual unsigned getHeight() = 0;
    virtual unsigned getWidth() = 0;

protected:
    KXRenderSurface() = default;
    ~KXRenderSurface() = default;
};

// A texture that can be rendered into and bound as the implementation of a
// 2D image. Its disposal by an image's implementation slot only releases
// the texture: the object stays with its owner.
class KXRenderTexture : public KXImage2DImpl
{
public:
    // Releases the texture; the object is not deleted.
    void dispose() override = 0;
    // bind(stage), from KXImage2DImpl, binds the texture to a stage.
    virtual int initialize(KXDevice* device) = 0;
    virtual int create(unsigned width, unsigned height, int mipmap, int renderTarget) = 0;
    virtual int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int saveToRawImage(KXRawImage2D* image) = 0;
    virtual int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int copyToMemoryTexture(KXMemoryTexture* texture) = 0;
    virtual int loadFromMemoryTexture(KXMemoryTexture* texture) = 0;
    virtual unsigned getHeight() = 0;
    virtual unsigned getWidth() = 0;

    // The texture's release is its disposal.
    void release() { dispose(); }
};

// A texture in main memory: the staging area for read-back and upload and
// the working image of filters.
class KXMemoryTexture
{
public:
    virtual int initialize(KXDevice* device) = 0;
    virtual int create(unsigned width, unsigned height) = 0;
    virtual void release() = 0;
    virtual int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int saveToRawImage(KXRawImage2D* image) = 0;
    virtual int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual unsigned getHeight() = 0;
    virtual unsigned getWidth() = 0;

protected:
    KXMemoryTexture() = default;
    ~KXMemoryTexture() = default;
};

// A depth-stencil surface for texture renderers.
class KXDepthStencilSurface
{
public:
    virtual int initialize(KXDevice* device) = 0;
    virtual int create(unsigned width, unsigned height) = 0;
    virtual void release() = 0;
    virtual unsigned getHeight() = 0;
    virtual unsigned getWidth() = 0;

protected:
    KXDepthStencilSurface() = default;
    ~KXDepthStencilSurface() = default;
};
