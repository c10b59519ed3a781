#include "canvas/KXShadowFootprint.h"

#include "sceneapi/KXCamera.h"
#include "sceneapi/KXMatrix.h"

#include <cmath>

bool KXShadowFootprint::build(const KXCamera& camera, const KXPlane& unitPlane)
{
    // Clip space back to the scene: a point of the picture at depth 0 and at
    // depth 1 gives the ray the camera sees it along.
    KXMatrix toScene;
    if (!(camera.getWorldMatrix() * camera.getViewMatrix() * camera.getProjectionMatrix()).getInverse(toScene))
        return false;
    constexpr int n = DIVISIONS;
    std::vector<KXPosition> vertices;
    std::vector<KXPosition2D> texCoords;
    vertices.reserve((n + 1) * (n + 1));
    texCoords.reserve((n + 1) * (n + 1));
    for (int row = 0; row <= n; ++row) {
        for (int column = 0; column <= n; ++column) {
            const float s = static_cast<float>(column) / n;
            const float t = static_cast<float>(row) / n;
            // Texture rows run down the picture, clip y up.
            const float x = 2.0f * s - 1.0f;
            const float y = 1.0f - 2.0f * t;
            const KXPosition nearPoint = toScene.transform(KXPosition(x, y, 0.0f));
            const KXPosition farPoint = toScene.transform(KXPosition(x, y, 1.0f));
            const float dNear = unitPlane.distance(nearPoint);
            const float dFar = unitPlane.distance(farPoint);
            const float slope = dNear - dFar;
            // The plane is met at the parameter u along near → far; behind
            // the near plane (u < 0) the camera does not see it.
            if (!(std::fabs(slope) > 1e-12f))
                return false;
            const float u = dNear / slope;
            if (!(u >= 0.0f) || !std::isfinite(u))
                return false;
            const KXVector along = farPoint - nearPoint;
            KXPosition hit = nearPoint + along * u;
            // Exactly in the plane, whatever rounding left of the distance.
            hit = hit - unitPlane.getNormal() * unitPlane.distance(hit);
            vertices.push_back(hit);
            texCoords.emplace_back(s, t);
        }
    }

    // A triangle is counter-clockwise for the viewer when its edges' cross
    // product points at the viewer, against the normal. The grid is a
    // projection of the picture, so all its cells turn the way the first
    // does: with s × t along the normal, a → c → b turns the right way.
    const KXVector edgeS = vertices[1] - vertices[0];
    const KXVector edgeT = vertices[n + 1] - vertices[0];
    const bool sThenTAlongNormal = edgeS.cross(edgeT).dot(unitPlane.getNormal()) > 0.0f;
    std::vector<uint32_t> indices;
    indices.reserve(n * n * 6);
    for (int row = 0; row < n; ++row) {
        for (int column = 0; column < n; ++column) {
            // a b
            // c d
            const uint32_t a = static_cast<uint32_t>(row * (n + 1) + column);
            const uint32_t b = a + 1;
            const uint32_t c = a + static_cast<uint32_t>(n + 1);
            const uint32_t d = c + 1;
            if (sThenTAlongNormal)
                indices.insert(indices.end(), {a, c, b, b, c, d});
            else
                indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    }
    m_vertices = std::move(vertices);
    m_texCoords = std::move(texCoords);
    m_indices = std::move(indices);
    return true;
}
