#pragma once

#include "imagegen/KXImageMaker.h"
#include "renderer/KXDevice.h"
#include "renderer/KXExport.h"
#include "renderer/dx/KXDXRendererFactory.h"
#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXImage2D.h"

#include <cstdint>
#include <memory>

class IKXStatusMgr;
class KXCanvas;
class KXCPUImageMaker;
class KXRawImage2D;
class KXRenderer;
class KXScene;

// Turns a scene into a picture of any size, independent of any window on
// screen: for printing, export and thumbnails. The generator owns what it
// draws with: a factory, a device made for a hidden window, an off-screen
// renderer, a default canvas, and the image makers that do the rendering,
// tile by tile when the picture is larger than the largest tile the device
// draws. Results follow KXRESULT.
//
// The maximum picture size given to the constructor chooses the maker:
// pictures that fit one tile are rendered in one pass, larger ones by tiles
// assembled on the device, and the largest (and any the device fails to
// make) by tiles assembled in main memory. Anti-aliasing uses the device's multisampling when the device
// was created with it, else supersampling: the picture is rendered at twice
// its size and every 2 × 2 block averaged into a pixel.
//
// Constructed → initialize once → any number of conversions → destroyed.
// A generator and its device are used from one thread.
class KXDXRENDERER_API KXImgGen
{
public:
    // Bits of getFlags().
    enum KXIMGGENFLAGS : int {
        KXIMGGEN_MULTISAMPLING = 1, // the device was created with multisampling
        KXIMGGEN_ANTIALIAS = 2,     // anti-aliasing was asked for
    };
    // The first tile size tried; smaller ones are tried while the device
    // cannot make a render target of that size.
    static constexpr unsigned TILE_PROBE_START = 512;
    static constexpr unsigned MIN_TILE_SIZE = 128;
    // Largest picture a conversion makes, in pixels (4 GiB of raw pixels).
    static constexpr uint64_t MAX_PICTURE_PIXELS = uint64_t(1) << 30;
    // Above this many tiles of doubled picture, supersampled pictures are
    // assembled in main memory, tile by tile, rather than at twice their
    // size on the device.
    static constexpr double MAX_SUPERSAMPLED_TILES = 40.0;
    // Tiled pictures of more pixels than this are assembled in main memory
    // rather than in a surface of the device: written to a file from there
    // they need no second copy of their pixels.
    static constexpr uint64_t MAX_DEVICE_PICTURE_PIXELS = uint64_t(1) << 27;

    // antialias 1 asks for anti-aliasing. Nothing is initialised yet.
    KXImgGen(const KXDimension2D& maximumSize, int antialias);
    virtual ~KXImgGen();
    KXImgGen(const KXImgGen&) = delete;
    KXImgGen& operator=(const KXImgGen&) = delete;

    // Makes the hidden window and the device, finds the tile size and
    // chooses the maker. -1 when anything fails or on a second call.
    int initialize();

    // The picture as an encoded image of the given type. -3 before
    // initialize, for a null scene or output, and for a size that is not a
    // positive number of pixels or exceeds MAX_PICTURE_PIXELS; -2 when the
    // maker in use hands out no encoded images (the main-memory maker);
    // otherwise the maker's result. The canvas draws the scene; null uses
    // the generator's own. A canvas given keeps the renderer it had.
    int convert(const KXScene* scene, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType,
                const KXPosition2D& position, const KXDimension2D& dimension, IKXStatusMgr* status,
                KXCanvas* canvas);
    // The picture as raw pixels, in the raw image's own format.
    int convert(const KXScene* scene, KXRawImage2D* image, const KXPosition2D& position,
                const KXDimension2D& dimension, IKXStatusMgr* status, KXCanvas* canvas);
    // The picture written to a file of the given type, straight from the
    // maker's picture (the way to write pictures too large to copy).
    int convertToFile(const KXScene* scene, const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType,
                      const KXPosition2D& position, const KXDimension2D& dimension, IKXStatusMgr* status,
                      KXCanvas* canvas);

    // What the makers draw with.
    KXRendererFactory* getFactory() const { return m_factory.get(); }
    KXDevice* getDevice() const { return m_device; }
    KXRenderer* getRenderer() const { return m_renderer; }
    unsigned getMaxTileSize() const { return m_maxTileSize; }
    // Gives the renderer's target this size unless it has it already (every
    // change resets the device). 0, or -1 when the target cannot be made.
    int useTargetSize(unsigned width, unsigned height);
    unsigned getTargetWidth() const { return m_targetWidth; }
    unsigned getTargetHeight() const { return m_targetHeight; }

    // The maker chosen by initialize, null before.
    KXImageMaker* getPrimaryMaker() const { return m_primary.get(); }
    KXCPUImageMaker* getFallbackMaker() const { return m_fallback.get(); }
    // The maker of the last conversion (the fallback when the primary one
    // failed), null before any.
    KXImageMaker* getLastMaker() const { return m_lastMaker; }
    int getFlags() const { return m_flags; }
    // 1 when conversions render at twice the size and scale down.
    int getSupersample() const { return m_supersample; }
    // The settings the device was created with (after the device's own
    // fallbacks).
    const KXAdapterFormat& getDeviceSettings() const { return m_settings; }

protected:
    // Makes a maker of the given type for this generator; null without
    // memory.
    virtual KXImageMaker* createMaker(KXImageMaker::KXMAKERTYPE type);

private:
    struct Rendered;
    int checkConversion(const KXScene* scene, const void* output, const KXPosition2D& position,
                        const KXDimension2D& dimension) const;
    // The rendering step every conversion shares, once its arguments are
    // checked: the primary maker, and the main-memory maker when it fails.
    int render(const KXScene* scene, const void* output, const KXPosition2D& position,
               const KXDimension2D& dimension, IKXStatusMgr* status, KXCanvas* canvas, Rendered& rendered);
    void chooseMaker();
    unsigned probeTileSize();

    std::unique_ptr<KXDXRendererFactory> m_factory;
    KXDevice* m_device = nullptr;
    KXRenderer* m_renderer = nullptr;
    std::unique_ptr<KXCanvas> m_canvas;
    KXWindowHandle m_window = nullptr;
    unsigned m_maxTileSize = 0;
    unsigned m_targetWidth = 0;
    unsigned m_targetHeight = 0;
    std::unique_ptr<KXImageMaker> m_primary;
    std::unique_ptr<KXCPUImageMaker> m_fallback;
    KXImageMaker* m_lastMaker = nullptr;
    float m_maxWidth;
    float m_maxHeight;
    int m_flags = 0;
    int m_supersample = 0;
    KXAdapterFormat m_settings;
};
