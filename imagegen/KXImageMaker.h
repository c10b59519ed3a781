#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXImage2D.h"

class IKXStatusMgr;
class KXCanvas;
class KXImgGen;
class KXOffScreenRenderer;
class KXPlanarSoftShadowPainter;
class KXRawImage2D;
class KXScene;
class KXSecondaryRenderer;

// Renders one picture of a given size with the image generator's off-screen
// renderer and a canvas, and hands it out as a file, an encoded image or raw
// pixels. Positions and dimensions are in pixels; a dimension is truncated
// to whole pixels. Results follow KXRESULT.
class KXDXRENDERER_API KXImageMaker
{
public:
    enum KXMAKERTYPE : int {
        KXMAKER_SIMPLE = 0, // one pass into a target of the picture's size
        KXMAKER_CPU = 1,    // tiles assembled in main memory
        KXMAKER_GPU = 2,    // tiles assembled in a system-memory surface of the device
    };

    // JPEG quality of every JPEG a maker writes.
    static constexpr int JPEG_QUALITY = 95;

    explicit KXImageMaker(KXImgGen* generator) : m_generator(generator) {}
    virtual ~KXImageMaker() = default;
    KXImageMaker(const KXImageMaker&) = delete;
    KXImageMaker& operator=(const KXImageMaker&) = delete;

    // -3 for a null scene or canvas or no generator, -2 when the generator's
    // renderer does not draw off screen, -1 for an empty picture or a failed
    // step, KXRESULT_CANCELLED when the status manager stopped it.
    virtual int render(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                       KXCanvas* canvas, IKXStatusMgr* status) = 0;
    virtual int getMakerType() const = 0;
    // The last picture rendered. A raw image without pixels takes the
    // picture's size; one with pixels must have it.
    virtual int saveToRawImage(KXRawImage2D* image) = 0;
    virtual int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;
    virtual int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) = 0;

    KXImgGen* getGenerator() const { return m_generator; }

protected:
    // The generator's renderer as the two interfaces a maker draws through;
    // false when it lacks either.
    bool getOffScreenRenderer(KXSecondaryRenderer*& secondary, KXOffScreenRenderer*& offScreen) const;
    // While it lives, the canvas's soft-shadow painter, when it has one,
    // renders its shadow texture at every paint: the texture it holds was
    // made for another device. The painter's own setting comes back after.
    class ShadowUpdate
    {
    public:
        explicit ShadowUpdate(KXCanvas* canvas);
        ~ShadowUpdate();
        ShadowUpdate(const ShadowUpdate&) = delete;
        ShadowUpdate& operator=(const ShadowUpdate&) = delete;

    private:
        KXPlanarSoftShadowPainter* m_painter;
        int m_previous = 0;
    };
    // Writes raw pixels as a file of the given type (JPEG at JPEG_QUALITY),
    // encoded from the picture as it is held (in pieces or not) without a
    // copy of its pixels.
    static int saveRawPicture(const KXRawImage2D& picture, const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType);
    // Encodes raw pixels into an image of the given type.
    static int encodeRawPicture(const KXRawImage2D& picture, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType);
    // Whole pixels of a dimension; false for a side below one pixel or not a
    // number.
    static bool toPixels(const KXDimension2D& dimension, unsigned& width, unsigned& height);

    KXImgGen* m_generator;
};
