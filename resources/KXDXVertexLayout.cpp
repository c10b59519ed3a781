#include "resources/KXDXVertexLayout.h"

#include "sceneapi/KXTriMesh.h"

#include <cstring>

KXDXVertexLayout KXDXVertexLayout::of(const KXTriMesh& mesh)
{
    KXDXVertexLayout layout;
    const size_t n = mesh.getVertexArray().size();
    if (n == 0)
        return layout;
    layout.preTransformed = mesh.getPreTransformed();
    layout.fvf = layout.preTransformed ? D3DFVF_XYZRHW : D3DFVF_XYZ;
    layout.stride = layout.preTransformed ? 16 : 12;
    if (!layout.preTransformed && mesh.getNormalsArray().size() == n) {
        layout.normals = true;
        layout.fvf |= D3DFVF_NORMAL;
        layout.stride += 12;
    }
    if (mesh.getColorArray().size() == n) {
        layout.colors = true;
        layout.fvf |= D3DFVF_DIFFUSE;
        layout.stride += 4;
    }
    if (mesh.getCubicTexCoordsArray().size() == n) {
        layout.texCoordSize = 3;
        layout.fvf |= D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);
        layout.stride += 12;
    } else if (mesh.getTexCoordsArray().size() == n) {
        layout.texCoordSize = 2;
        layout.fvf |= D3DFVF_TEX1;
        layout.stride += 8;
    }
    return layout;
}

void KXDXVertexLayout::write(const KXTriMesh& mesh, void* dest, const uint32_t* vertices, size_t count,
                             bool backSide) const
{
    const auto& positions = mesh.getVertexArray();
    const auto& normalArray = mesh.getNormalsArray();
    const auto& colorArray = mesh.getColorArray();
    const auto& texCoords = mesh.getTexCoordsArray();
    const auto& cubicTexCoords = mesh.getCubicTexCoordsArray();
    const float sign = backSide ? -1.0f : 1.0f;
    auto* out = static_cast<unsigned char*>(dest);
    // Assembled in words, then copied: locked memory need not be aligned
    // for floats.
    float f[10];
    static_assert(sizeof(float) == sizeof(uint32_t), "vertex words are 32-bit");
    for (size_t k = 0; k < count; ++k) {
        const size_t i = vertices ? vertices[k] : k;
        size_t w = 0;
        const KXPosition& p = positions[i];
        f[w++] = p.getX();
        f[w++] = p.getY();
        f[w++] = p.getZ();
        if (preTransformed)
            f[w++] = 1.0f;
        if (normals) {
            const KXUnitVector& nv = normalArray[i];
            f[w++] = sign * nv.getX();
            f[w++] = sign * nv.getY();
            f[w++] = sign * nv.getZ();
        }
        if (colors) {
            const uint32_t color = colorArray[i].getBGRA();
            std::memcpy(&f[w++], &color, sizeof(color));
        }
        if (texCoordSize == 3) {
            const KXPosition& t = cubicTexCoords[i];
            f[w++] = t.getX();
            f[w++] = t.getY();
            f[w++] = t.getZ();
        } else if (texCoordSize == 2) {
            const KXPosition2D& t = texCoords[i];
            f[w++] = t.getX();
            f[w++] = t.getY();
        }
        std::memcpy(out, f, w * sizeof(float));
        out += stride;
    }
}
