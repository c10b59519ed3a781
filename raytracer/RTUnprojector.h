#pragma once

#include "raytracer/RTRay.h"
#include "sceneapi/KXMatrix.h"

class KXCamera;

// Primary rays of a camera: the inverse of World·View·Projection carries a
// point of the image back into the scene. Perspective and orthographic
// cameras need no separate code, their projections make the difference.
class RTUnprojector
{
public:
    explicit RTUnprojector(const KXCamera& camera);

    // The ray through image position (px, py) of a width x height image
    // (pixel (0, 0) is the top-left corner; no half-pixel offset): from the
    // near plane (depth 0) toward the far plane (depth 1).
    RTRay primaryRay(float px, float py, unsigned width, unsigned height) const;
    // The rays through pixels x0 to x0 + count - 1 of a row, as primaryRay
    // gives each, computed four at a time.
    void primaryRays(unsigned x0, unsigned row, unsigned count, unsigned width, unsigned height, RTRay* rays) const;

private:
    KXMatrix m_inverse;
};
