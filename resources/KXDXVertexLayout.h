#pragma once

#include "renderer/KXExport.h"

#include <d3d9.h>

#include <cstddef>
#include <cstdint>

class KXTriMesh;

// The interleaved vertex of a tri-mesh on the device, in flexible vertex
// format order: position (x, y, z, with rhw = 1.0 for pre-transformed
// meshes), normal, diffuse colour (KXColor::getBGRA), one set of two or
// (cubic) three texture coordinates. An optional array of the mesh takes
// part only when it has exactly as many entries as the positions.
// Direct3D refuses normals beside pre-transformed positions, so those
// meshes leave them out.
struct KXDXRENDERER_API KXDXVertexLayout {
    DWORD fvf = 0;       // 0 for a mesh without vertices
    uint32_t stride = 0; // bytes per vertex, 0 with fvf
    bool preTransformed = false;
    bool normals = false;
    bool colors = false;
    uint32_t texCoordSize = 0; // 0, 2 or 3 floats

    static KXDXVertexLayout of(const KXTriMesh& mesh);

    // Writes count vertices into dest (stride bytes apart): mesh vertex
    // i, or vertices[i] when a list is given. The back side has every
    // normal negated.
    void write(const KXTriMesh& mesh, void* dest, const uint32_t* vertices, size_t count, bool backSide) const;
};
