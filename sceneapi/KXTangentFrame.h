#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

#include <vector>

class KXTriMesh;

// Per-vertex tangent space of a textured tri-mesh, for bump mapping through
// the dot-product texture operation: updateTriMeshColor writes, as each
// vertex's colour, the direction toward a light expressed in that vertex's
// tangent space and packed into 0..1 (x, y, z to red, green, blue).
class KXSCENE_API KXTangentFrame
{
public:
    explicit KXTangentFrame(KXTriMesh* mesh);

    // Recomputes tangents and binormals from the mesh's positions, normals and
    // texture coordinates. Called on creation and whenever the mesh changes.
    void compute();
    // Rewrites the mesh's colours for a light at the given position (in the
    // mesh's coordinates). A mesh without texture coordinates or normals of
    // full length is left unchanged.
    void updateTriMeshColor(const KXPosition& lightPosition);

    const std::vector<KXVector>& getTangents() const { return m_tangents; }
    const std::vector<KXVector>& getBinormals() const { return m_binormals; }
    void invalidate() { m_valid = false; }

private:
    KXTriMesh* m_mesh;
    std::vector<KXVector> m_tangents;
    std::vector<KXVector> m_binormals;
    bool m_valid = false;
    bool m_updating = false;
};
