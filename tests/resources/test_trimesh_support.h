#pragma once

// Pieces shared by the tri-mesh and buffer-pool tests: meshes with known
// pictures, and one frame drawn on a device whose state is set directly.

#include "KXDXTestSupport.h"

#include "resources/KXDXTriMeshImpl.h"
#include "sceneapi/KXTriMesh.h"

#include <d3d9.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace meshtest {

// A device without multisampling, so that edges cover whole pixels; null
// when it cannot be made.
inline std::unique_ptr<KXDXDevice> makeSingleSampleDevice(HWND window)
{
    auto device = std::make_unique<KXDXDevice>();
    KXAdapterFormat settings;
    if (KXAdapterFormatUtils::getBestFormat(device->getCapabilities().adapterFormats,
                                            KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != 0)
        return nullptr;
    settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
    if (device->initialize(window, settings) != 0)
        return nullptr;
    return device;
}

// A window with a device on it.
struct DeviceWindow {
    explicit DeviceWindow(int size = 64) : window(size, size), device(makeSingleSampleDevice(window.get())) {}
    IDirect3DDevice9* d3d() const { return device ? device->getD3DDevice() : nullptr; }

    kxdxtest::TestWindow window;
    std::unique_ptr<KXDXDevice> device;
};

// Identity transforms (positions are clip coordinates: x and y in [-1, 1],
// depth z in [0, 1]), no lighting, no culling, depth test on, black
// background.
inline void plainState(IDirect3DDevice9* d3d)
{
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    d3d->SetTransform(D3DTS_WORLD, &identity);
    d3d->SetTransform(D3DTS_VIEW, &identity);
    d3d->SetTransform(D3DTS_PROJECTION, &identity);
    d3d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d3d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
}

// One frame: the state is put to plainState, then changed by setup, then
// draw runs between BeginScene and EndScene; the picture comes back
// through Present.
inline kxdxtest::PresentedImage renderFrame(DeviceWindow& target, const std::function<void(IDirect3DDevice9*)>& setup,
                                            const std::function<void()>& draw)
{
    IDirect3DDevice9* d3d = target.d3d();
    if (!d3d)
        return {};
    target.device->forgetBindings();
    plainState(d3d);
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
inline kxdxtest::PresentedImage renderMesh(DeviceWindow& target, KXTriMesh& mesh,
                                           const std::function<void(IDirect3DDevice9*)>& setup = {})
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

inline int countNonBlack(const kxdxtest::PresentedImage& image)
{
    int count = 0;
    for (uint32_t pixel : image.pixels)
        count += (pixel & 0xFFFFFF) != 0;
    return count;
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

} // namespace meshtest
