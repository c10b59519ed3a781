#pragma once

// The scenes the effect picture tests draw and the ways they compare
// pictures: the UV sphere of positions and normals, the checker texture the
// shaded sphere is filled with and the camera of the shaded-sphere scene
// (made exactly as the program that drew the reference picture makes them),
// and per-channel differences of 32-bit pictures.

#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace picturetest {

constexpr double PI = 3.14159265358979323846;

struct SphereVertex {
    float position[3];
    float normal[3];
};
static_assert(sizeof(SphereVertex) == 24, "the vertex is D3DFVF_XYZ | D3DFVF_NORMAL");
constexpr DWORD SPHERE_FVF = D3DFVF_XYZ | D3DFVF_NORMAL;

struct SphereMesh {
    std::vector<SphereVertex> vertices;
    std::vector<uint32_t> indices;
    UINT triangleCount() const { return static_cast<UINT>(indices.size() / 3); }
};

// A sphere around the origin, counter-clockwise seen from outside. Rows of
// vertices run from the +y pole (row 0) to the -y pole, slices + 1 vertices
// a row with the seam column repeated; the angles and normals are computed
// in double and stored as float, and the pole rows drop their degenerate
// triangles. The reference picture's sphere is made the same way, so both
// renderers rasterise the same triangles.
inline SphereMesh makeSphere(float radius, int slices, int stacks)
{
    SphereMesh mesh;
    mesh.vertices.reserve(static_cast<size_t>(stacks + 1) * (slices + 1));
    for (int i = 0; i <= stacks; ++i) {
        const double theta = PI * i / stacks;
        double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
        if (i == 0 || i == stacks) {
            sinTheta = 0.0;
            cosTheta = i == 0 ? 1.0 : -1.0;
        }
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2.0 * PI * j / slices;
            const double n[3] = {sinTheta * std::cos(phi), cosTheta, sinTheta * std::sin(phi)};
            SphereVertex v;
            for (int k = 0; k < 3; ++k) {
                v.normal[k] = static_cast<float>(n[k]);
                v.position[k] = static_cast<float>(radius * n[k]);
            }
            mesh.vertices.push_back(v);
        }
    }
    const uint32_t row = static_cast<uint32_t>(slices + 1);
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const uint32_t v0 = i * row + j, v1 = (i + 1) * row + j, v2 = (i + 1) * row + j + 1, v3 = i * row + j + 1;
            if (i != 0)
                mesh.indices.insert(mesh.indices.end(), {v0, v3, v2});
            if (i != stacks - 1)
                mesh.indices.insert(mesh.indices.end(), {v0, v2, v1});
        }
    return mesh;
}

// The shaded-sphere scene: 1024 x 768, a sphere of radius 1 in 250 slices
// and 201 stacks, seen from above the +z axis through a right-handed
// perspective camera, cleared to grey.
struct ShadedScene {
    static constexpr UINT WIDTH = 1024;
    static constexpr UINT HEIGHT = 768;
    static constexpr int SLICES = 250;
    static constexpr int STACKS = 201;
    static constexpr D3DCOLOR CLEAR = 0xFF333333;
    static constexpr int TEXTURE_SIZE = 256;

    static D3DXVECTOR3 eye() { return D3DXVECTOR3(0.0f, 1.0f, 3.5f); }

    static D3DXMATRIX view()
    {
        D3DXMATRIX m;
        const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f), from = eye();
        D3DXMatrixLookAtRH(&m, &from, &at, &up);
        return m;
    }

    static D3DXMATRIX projection()
    {
        D3DXMATRIX m;
        D3DXMatrixPerspectiveFovRH(&m, static_cast<float>(45.0 * PI / 180.0), static_cast<float>(WIDTH) / HEIGHT,
                                   0.1f, 100.0f);
        return m;
    }

    // Texel (x, y) of the fill texture, 0xAARRGGBB: 32-texel checks of
    // orange and blue, alpha rising along the diagonal.
    static D3DCOLOR texel(int x, int y)
    {
        const bool orange = (((x >> 5) ^ (y >> 5)) & 1) != 0;
        const DWORD alpha = static_cast<DWORD>(64 + ((x + y) >> 2));
        return (alpha << 24) | (orange ? 0x00E67828u : 0x002878E6u);
    }
};

inline int channelOf(DWORD color, int shift) { return static_cast<int>((color >> shift) & 0xFF); }

// The largest difference of the red, green and blue channels.
inline int colorDifference(DWORD a, DWORD b)
{
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(channelOf(a, shift) - channelOf(b, shift)));
    return worst;
}

// A picture read back from a surface, row after row of 0x??RRGGBB words.
struct Picture {
    UINT width = 0;
    UINT height = 0;
    std::vector<DWORD> pixels;

    DWORD at(UINT x, UINT y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Picture readPicture(IDirect3DSurface9* surface)
{
    Picture picture;
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (FAILED(surface->GetDesc(&desc)) || FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
        return picture;
    picture.width = desc.Width;
    picture.height = desc.Height;
    picture.pixels.resize(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        std::memcpy(&picture.pixels[static_cast<size_t>(y) * desc.Width],
                    static_cast<const BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch, desc.Width * 4);
    surface->UnlockRect();
    return picture;
}

// How closely one picture follows another: the largest channel difference
// of pixels at the same place, how many pixels are within `tolerance` of
// the pixel at the same place, and how many of some pixel of `reference` in
// the 3 x 3 block around the same place (a silhouette or an edge of a
// texture that falls one pixel over still matches). Pixels are counted only
// where either picture differs from the background colour.
struct Agreement {
    int maxDifference = 0;
    size_t counted = 0;
    size_t samePlace = 0;
    size_t matched = 0;
    double matchedShare() const { return counted ? static_cast<double>(matched) / counted : 0.0; }
};

inline Agreement compareNear(const Picture& picture, const Picture& reference, D3DCOLOR background, int tolerance)
{
    Agreement agreement;
    if (picture.width != reference.width || picture.height != reference.height) {
        agreement.maxDifference = 256;
        return agreement;
    }
    for (UINT y = 0; y < picture.height; ++y)
        for (UINT x = 0; x < picture.width; ++x) {
            const DWORD ours = picture.at(x, y);
            agreement.maxDifference = std::max(agreement.maxDifference, colorDifference(ours, reference.at(x, y)));
            if (colorDifference(ours, background) == 0 && colorDifference(reference.at(x, y), background) == 0)
                continue;
            ++agreement.counted;
            agreement.samePlace += colorDifference(ours, reference.at(x, y)) <= tolerance;
            bool matched = false;
            for (UINT ny = y ? y - 1 : 0; ny <= std::min(y + 1, picture.height - 1) && !matched; ++ny)
                for (UINT nx = x ? x - 1 : 0; nx <= std::min(x + 1, picture.width - 1) && !matched; ++nx)
                    matched = colorDifference(ours, reference.at(nx, ny)) <= tolerance;
            agreement.matched += matched;
        }
    return agreement;
}

} // namespace picturetest
