#pragma once

// Internal to the renderer library: where a light camera's picture falls on
// a floor plane, as a grid the soft-shadow painter lays the picture on.

#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXPlane.h"
#include "sceneapi/KXVector.h"

#include <cstdint>
#include <vector>

class KXCamera;

class KXShadowFootprint
{
public:
    // Cells per side. An orthographic light's footprint is a parallelogram
    // that one cell lays exactly; a perspective light's is projective, and
    // the texture coordinates, exact at the grid points, are interpolated
    // linearly within each cell.
    static constexpr int DIVISIONS = 8;

    // Follows the ray of every grid point of the camera's picture (texture
    // coordinates (s, t), s to the right and t down, as the picture is stored)
    // to the unit plane. False, the arrays untouched, when a ray misses the
    // plane: parallel to it, or meeting it behind the camera.
    bool build(const KXCamera& camera, const KXPlane& unitPlane);

    // (DIVISIONS + 1)² points, row by row from t = 0.
    const std::vector<KXPosition>& getVertices() const { return m_vertices; }
    const std::vector<KXPosition2D>& getTexCoords() const { return m_texCoords; }
    // Two triangles per cell, counter-clockwise seen from the side of the
    // plane opposite its normal (the viewer's side).
    const std::vector<uint32_t>& getIndices() const { return m_indices; }

private:
    std::vector<KXPosition> m_vertices;
    std::vector<KXPosition2D> m_texCoords;
    std::vector<uint32_t> m_indices;
};
