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
// The picture spans sx = W / T tile widths and sy = H / T tile heights of
// clip space; tile (i, j), counted from the left and the top, is brought
// onto the clip square -1..1 by scaling clip x and y by sx and sy and
// shifting them by ox = sx - 1 - 2i and oy = -(sy - 1 - 2j) times w. Applied
// to the projection as P' = P * T(i, j) this holds for every projection the
// cameras make: perspective (w = -z in this right-handed scene space),
// orthographic (w = 1) and off-centre ones, and for the background's own
// camera. Partial tiles at the right and bottom are rendered whole and only
// their top-left part is used.
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

    // The projection that draws tile (column, row) of a picture spanning
    // scaleX × scaleY tiles: P * T(column, row).
    static KXMatrix tileProjection(const KXMatrix& projection, float scaleX, float scaleY, unsigned column,
                                   unsigned row);

protected:
    bool m_usable = true;
};
