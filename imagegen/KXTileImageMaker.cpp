#include "imagegen/KXTileImageMaker.h"

#include "canvas/KXCanvas.h"
#include "imagegen/KXCanvasRendererLoan.h"
#include "imagegen/KXImgGen.h"
#include "imagegen/KXPictureCamera.h"
#include "imagegen/KXStatusMgr.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"

KXMatrix KXTileImageMaker::tileProjection(const KXMatrix& projection, unsigned width, unsigned height,
                                          const KXViewport& tile)
{
    // Clip x' = sx x + ox w and y' = sy y + oy w, for every row k of P; in
    // double precision, since pictures may be far larger than their tiles.
    const double w = width, h = height, tw = tile.getWidth(), th = tile.getHeight();
    const double a = tile.getTopLeftCornerX(), b = tile.getTopLeftCornerY();
    const float scaleX = static_cast<float>(w / tw), scaleY = static_cast<float>(h / th);
    const float offsetX = static_cast<float>((w - 2.0 * a - tw) / tw);
    const float offsetY = static_cast<float>((th - h + 2.0 * b) / th);
    KXMatrix narrowed = projection;
    for (int k = 0; k < 4; ++k) {
        const float pw = projection.get(k, 3);
        narrowed.set(k, 0, scaleX * projection.get(k, 0) + offsetX * pw);
        narrowed.set(k, 1, scaleY * projection.get(k, 1) + offsetY * pw);
    }
    return narrowed;
}

int KXTileImageMaker::render(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                             KXCanvas* canvas, IKXStatusMgr* status)
{
    if (!scene || !canvas || !m_generator)
        return KXRESULT_NULLARGUMENT;
    if (!isUsable())
        return KXRESULT_FAILED;
    unsigned width = 0, height = 0;
    const unsigned tile = m_generator->getMaxTileSize();
    if (!toPixels(dimension, width, height) || tile == 0)
        return KXRESULT_FAILED;
    KXSecondaryRenderer* secondary = nullptr;
    KXOffScreenRenderer* offScreen = nullptr;
    if (!getOffScreenRenderer(secondary, offScreen))
        return KXRESULT_UNSUPPORTED;
    ShadowUpdate shadowUpdate(canvas);

    const unsigned columns = width / tile + (width % tile ? 1 : 0);
    const unsigned rows = height / tile + (height % tile ? 1 : 0);
    if (m_generator->useTargetSize(tile, tile) != KXRESULT_OK)
        return KXRESULT_FAILED;

    KXRenderer* renderer = m_generator->getRenderer();
    KXDevice* device = m_generator->getDevice();
    const unsigned left = static_cast<unsigned>(position.getX());
    const unsigned top = static_cast<unsigned>(position.getY());
    const KXDimension2D tileSize(static_cast<float>(tile), static_cast<float>(tile));
    int tileResult = KXRESULT_OK;
    secondary->bindTarget();
    {
        KXCanvasRendererLoan loan(canvas, renderer);
        KXPictureCamera camera(scene, KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
        const int begun = beginImage(position, dimension, tileSize, scene, canvas, status);
        if (begun != KXRESULT_OK) {
            m_usable = false;
            secondary->restoreTarget();
            return begun;
        }
        const unsigned total = columns * rows;
        unsigned done = 0;
        if (status)
            status->setProgress(0, total);
        for (unsigned i = 0; i < columns && tileResult >= 0; ++i) {
            const unsigned tileWidth = (i == columns - 1 && width % tile) ? width % tile : tile;
            for (unsigned j = 0; j < rows; ++j) {
                if (status && status->isCancelled()) {
                    tileResult = KXRESULT_CANCELLED;
                    break;
                }
                const unsigned tileHeight = (j == rows - 1 && height % tile) ? height % tile : tile;
                // A partial tile is drawn into a viewport of its own size.
                const KXViewport viewport(0, 0, tileWidth, tileHeight);
                renderer->setViewport(&viewport);
                const KXViewport part(i * tile, j * tile, tileWidth, tileHeight);
                camera.narrowToTile(width, height, part);
                canvas->setPictureTile(width, height, part);
                canvas->render(scene, nullptr);
                canvas->clearPictureTile();
                // A device lost while drawing leaves the tile undrawn.
                if (!device || device->getStatus() != KXDevice::KXDEVICESTATUS_USABLE) {
                    tileResult = KXRESULT_FAILED;
                    break;
                }
                tileResult = addTile(i, j, KXViewport(0, 0, tileWidth, tileHeight),
                                     KXViewport(left + i * tile, top + j * tile, tileWidth, tileHeight),
                                     offScreen->getRenderSurface());
                if (tileResult < 0)
                    break;
                if (status)
                    status->setProgress(++done, total);
            }
        }
    }
    secondary->restoreTarget();
    const int ended = endImage(position, dimension, scene, canvas, status);
    if (tileResult == KXRESULT_CANCELLED)
        return tileResult;
    if (tileResult < 0) {
        m_usable = false;
        return tileResult;
    }
    if (ended < 0) {
        m_usable = false;
        return ended;
    }
    return KXRESULT_OK;
}
