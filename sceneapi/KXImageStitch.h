#pragma once

#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXSceneExport.h"

// Joins the tiles of a large picture into one raw image.
//
// A picture rendered tile by tile is assembled by handing each tile to
// addTile with the rectangle of the tile that holds picture (partial tiles
// at the right and bottom edges hold less than a whole tile) and where that
// rectangle goes in the picture. Tiles may come in any order and in any
// pixel format; the picture may be fragmented. Nothing is allocated here:
// the caller makes the picture (createData) and keeps it.
class KXSCENE_API KXImageStitch
{
public:
    KXImageStitch() = default;
    explicit KXImageStitch(KXRawImage2D* picture) : m_picture(picture) {}

    // The picture that tiles are joined into; not owned.
    KXRawImage2D* getPicture() const { return m_picture; }
    void setPicture(KXRawImage2D* picture)
    {
        m_picture = picture;
        m_numTiles = 0;
    }

    // Copies the width × height rectangle at (sourceLeft, sourceTop) of the
    // tile to (destinationLeft, destinationTop) of the picture, converting
    // the pixel format. Parts outside the tile or the picture are skipped.
    // 0 success; -1 when the picture or the tile holds no pixels; -3 for a
    // null tile.
    int addTile(const KXRawImage2D* tile, unsigned sourceLeft, unsigned sourceTop, unsigned width, unsigned height,
                unsigned destinationLeft, unsigned destinationTop);
    // Tiles joined since the picture was set.
    unsigned getNumTiles() const { return m_numTiles; }

private:
    KXRawImage2D* m_picture = nullptr;
    unsigned m_numTiles = 0;
};
