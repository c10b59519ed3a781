#pragma once

#include "canvas/KXViewport.h"
#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXMatrix.h"

class KXCamera;
class KXScene;

// The scene's root camera (and the camera of its background, when the
// background draws with one) lent to a picture: the root camera's viewport
// takes the picture's size, projections may be replaced for a tile, and
// everything is put back as it was when the object goes, including whether
// a projection was set by hand or computed from the camera's parameters.
class KXPictureCamera
{
public:
    KXPictureCamera(const KXScene* scene, const KXDimension2D& picture);
    ~KXPictureCamera();
    KXPictureCamera(const KXPictureCamera&) = delete;
    KXPictureCamera& operator=(const KXPictureCamera&) = delete;

    // Draws the rectangle `tile` of a width × height picture into a
    // viewport of the tile's size, with both cameras.
    void narrowToTile(unsigned width, unsigned height, const KXViewport& tile);

private:
    struct Saved {
        KXCamera* camera = nullptr;
        // What the camera had before, put back at the end.
        KXMatrix projection;
        bool projectionSet = false;
        // The projection of the whole picture, narrowed for each tile.
        KXMatrix pictureProjection;
    };
    static void save(KXCamera* camera, Saved& saved);
    static void restore(const Saved& saved);

    Saved m_camera;
    Saved m_background;
    KXDimension2D m_viewport;
};
