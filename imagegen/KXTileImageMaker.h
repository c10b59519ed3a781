#pragma once

#include "canvas/KXViewport.h"
#include "imagegen/KXImageMaker.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXMatrix.h"

class KXRenderSurface;

// Renders a picture larger than the largest tile the device can draw as a
// grid of square tiles, each by narrowing the camera's projection onto it,
// and hands every tile to the concrete maker to assemble.
//
// A tile covering the rectangle (a, b, tw, th) of a W × H picture is drawn
// into a viewport of tw × th pixels: clip x and y are scaled by W / tw and
// H / th and shifted by (W - 2a - tw) / tw and (th - H + 2b) / th times w,
// which brings the rectangle onto the clip square -1..1 (rows count from
// the top, hence the signs). Applied to the projection as P' = P * T this
// holds for every projection the cameras make: perspective (w = -z in this
// right-handed scene space), orthographic (w = 1) and off-centre ones, and
// for the background's own camera. Partial tiles at the right and bottom
// edges are drawn at their own size, not as whole tiles.
class KXDXRENDERER_API KXTileImageMaker : public KXImageMaker
{
public:
    explicit KXTileImageMaker(KXImgGen* generator) : KXImageMaker(generator) {}

    // The tile loop. -1 once the maker is unusable; a tile or end step that
    // fails makes it unusable for every later picture. Between tiles the
    // status manager hears the progress and may stop the loop
    // (KXRESULT_CANCELLED, which leaves the maker usable).
    int render(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene, KXCanvas* canvas,
               IKXStatusMgr* status) override;

    // Prepares the picture for the tiles of this dimension.
    virtual int beginImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXDimension2D& tile,
                           const KXScene* scene, KXCanvas* canvas, IKXStatusMgr* status) = 0;
    // Copies the source rectangle of the tile surface to the destination
    // rectangle of the picture (rectangles are left, top, width, height).
    virtual int addTile(unsigned column, unsigned row, const KXViewport& source, const KXViewport& destination,
                        KXRenderSurface* tile) = 0;
    virtual int endImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                         KXCanvas* canvas, IKXStatusMgr* status) = 0;
    virtual int isUsable() = 0;

    // The projection that draws the rectangle `tile` (left, top, width,
    // height in pixels) of a width × height picture into a viewport of the
    // tile's size: P * T.
    static KXMatrix tileProjection(const KXMatrix& projection, unsigned width, unsigned height,
                                   const KXViewport& tile);

protected:
    bool m_usable = true;
};
