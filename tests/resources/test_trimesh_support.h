#pragma once

// Pieces shared by the tri-mesh and buffer-pool tests: meshes with known
// pictures, and one frame drawn on a device whose state is set directly.

#include "KXDXTestSupport.h"

#include "resources/KXDXTriMeshImpl.h"
#include "sceneapi/KXTriMesh.h"

#include <d3d9.h>

#include <functional>
#include <memory>
#include <vector>

namespace meshtest {

using kxdxtest::PresentedImage;
using StateSetup = std::function<void(IDirect3DDevice9*)>;

// A window with a device without multisampling, so that edges cover whole
// pixels; the device is null when it cannot be made.
struct DeviceWindow {
    explicit DeviceWindow(int size = 64) : window(size, size), device(std::make_unique<KXDXDevice>())
    {
        KXAdapterFormat settings;
        if (KXAdapterFormatUtils::getBestFormat(device->getCapabilities().adapterFormats,
                                                KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != 0)
            device.reset();
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        if (device && device->initialize(window.get(), settings) != 0)
            device.reset();
    }
    IDirect3DDevice9* d3d() const { return device ? device->getD3DDevice() : nullptr; }
    // An implementation of mesh on this window's device.
    std::unique_ptr<KXDXTriMeshImpl> make(KXTriMesh& mesh) const
    {
        return std::make_unique<KXDXTriMeshImpl>(device.get(), device->getD3DCaps(), &mesh);
    }

    kxdxtest::TestWindow window;
    std::unique_ptr<KXDXDevice> device;
};

// Ends buffer-creation failures however the test leaves.
struct CreationFailures {
    explicit CreationFailures(DWORD kinds) { SwD3D9SetCreationFailures(kinds); }
    ~CreationFailures() { SwD3D9SetCreationFailures(0); }
};

// One frame on black: identity transforms (positions are clip coordinates,
// depth in [0, 1]), no lighting, no culling, depth test on, then setup;
// draw runs between BeginScene and EndScene; the picture comes back
// through Present.
inline PresentedImage renderFrame(DeviceWindow& target, const StateSetup& setup, const std::function<void()>& draw)
{
    IDirect3DDevice9* d3d = target.d3d();
    if (!d3d)
        return {};
    target.device->forgetBindings();
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
        d3d->SetTransform(t, &identity);
    d3d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d3d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    if (setup)
        setup(d3d);
    d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    d3d->BeginScene();
    draw();
    d3d->EndScene();
    d3d->Present(nullptr, nullptr, nullptr, nullptr);
    return kxdxtest::presentedImage(target.window.get());
}

// Draws mesh through a fresh implementation made on target's device.
inline PresentedImage renderMesh(DeviceWindow& target, KXTriMesh& mesh, const StateSetup& setup = {})
{
    if (!target.device)
        return {};
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    return renderFrame(target, setup, [&] { impl.draw(); });
}

// A white directional light shining into the screen (+z) on a white
// diffuse material, no ambient light.
inline void lightFromViewer(IDirect3DDevice9* d3d)
{
    d3d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d3d->SetRenderState(D3DRS_AMBIENT, 0);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    d3d->SetLight(0, &light);
    d3d->LightEnable(0, TRUE);
    D3DMATERIAL9 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    d3d->SetMaterial(&material);
}

inline int countNonBlack(const PresentedImage& image)
{
    int count = 0;
    for (uint32_t pixel : image.pixels)
        count += (pixel & 0xFFFFFF) != 0;
    return count;
}

// Byte-identical pictures, and not an empty one.
inline void expectSameImage(const PresentedImage& actual, const PresentedImage& expected)
{
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
    size_t differing = 0;
    for (size_t k = 0; k < expected.pixels.size(); ++k)
        differing += actual.pixels[k] != expected.pixels[k];
    EXPECT_EQ(differing, 0u) << "pixels differ";
}

// A grid of columns x rows cells over [-0.9, 0.9] squared at depth 0.5,
// with a colour ramp and normals fanning out towards the viewer: a
// triangle list of two triangles per cell, wound clockwise on screen.
inline void makeGrid(KXTriMesh& mesh, int columns, int rows, bool withNormals = true, bool withColors = true)
{
    std::vector<KXPosition> positions;
    std::vector<KXUnitVector> normals;
    std::vector<KXColor> colors;
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= columns; ++c) {
            const float u = float(c) / float(columns), v = float(r) / float(rows);
            positions.emplace_back(-0.9f + 1.8f * u, 0.9f - 1.8f * v, 0.5f);
            normals.emplace_back(0.6f * (u - 0.5f), 0.6f * (v - 0.5f), -1.0f);
            colors.emplace_back(u, v, 1.0f - u * v, 1.0f);
        }
    }
    std::vector<uint32_t> indices;
    const uint32_t stride = uint32_t(columns) + 1;
    for (uint32_t r = 0; r < uint32_t(rows); ++r) {
        for (uint32_t c = 0; c < uint32_t(columns); ++c) {
            const uint32_t i = r * stride + c;
            indices.insert(indices.end(), {i, i + 1, i + stride, i + 1, i + stride + 1, i + stride});
        }
    }
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), std::move(indices),
             withNormals ? std::move(normals) : std::vector<KXUnitVector>{},
             withColors ? std::move(colors) : std::vector<KXColor>{});
}

// The first row of a grid of cells x 2 as a strip, clockwise on screen.
inline std::vector<uint32_t> gridRowStrip(int cells)
{
    std::vector<uint32_t> strip;
    const uint32_t row = uint32_t(cells) + 1;
    for (uint32_t c = 0; c < row; ++c)
        strip.insert(strip.end(), {c + row, c});
    return strip;
}

} // namespace meshtest
