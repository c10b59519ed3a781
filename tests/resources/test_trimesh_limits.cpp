// Tri-meshes beyond a device's primitive count or vertex index limit are
// split into draws the device accepts, and draw the same picture as on a
// device without limits.

#include "test_trimesh_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using kxdxtest::PresentedImage;
using meshtest::DeviceWindow;
using StateSetup = std::function<void(IDirect3DDevice9*)>;

const StateSetup culled = [](IDirect3DDevice9* d3d) { d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); };
const StateSetup flatAndCulled = [](IDirect3DDevice9* d3d) {
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
};

// A strip zigzagging along the first row of a grid, clockwise on screen.
void makeStrip(KXTriMesh& mesh, int cells)
{
    KXTriMesh grid;
    meshtest::makeGrid(grid, cells, 2);
    std::vector<uint32_t> strip;
    const uint32_t row = uint32_t(cells) + 1;
    for (uint32_t c = 0; c < row; ++c)
        strip.insert(strip.end(), {c + row, c});
    mesh.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), strip, {}, grid.getColorArray());
}

// A disc of coloured segments around its centre, clockwise on screen.
void makeFan(KXTriMesh& mesh, int segments)
{
    std::vector<KXPosition> positions = {{0, 0, 0.5f}};
    std::vector<KXColor> colors = {{1, 1, 1}};
    std::vector<uint32_t> fan = {0};
    for (int k = 0; k <= segments; ++k) {
        const float angle = -6.2831853f * float(k) / float(segments);
        positions.emplace_back(0.9f * std::cos(angle), 0.9f * std::sin(angle), 0.5f);
        colors.emplace_back(float(k % 3) / 2.0f, float(k % 5) / 4.0f, float(k % 7) / 6.0f);
        fan.push_back(uint32_t(k) + 1);
    }
    mesh.set(KXTriMesh::KXTRIMESHTYPE_FAN, positions, fan, {}, colors);
}

struct Limits {
    DWORD maxPrimitiveCount;
    DWORD maxVertexIndex;
};

// What construction on a limited device chose.
struct Choice {
    KXDXTriMeshImpl::KXDXTRIMESHSTORAGE storage;
    D3DPRIMITIVETYPE type;
    D3DFORMAT format;
    size_t chunks;
};

class TriMeshLimits : public ::testing::Test
{
protected:
    // The mesh drawn on a device that reports and honours the limits.
    PresentedImage renderLimited(KXTriMesh& mesh, Limits limits, const StateSetup& setup, Choice* choice = nullptr)
    {
        kxdxtest::CapsOverride override;
        override.caps().MaxPrimitiveCount = limits.maxPrimitiveCount;
        override.caps().MaxVertexIndex = limits.maxVertexIndex;
        override.apply();
        DeviceWindow limited;
        if (!limited.device)
            return {};
        KXDXTriMeshImpl impl(limited.device.get(), limited.device->getD3DCaps(), &mesh);
        if (choice)
            *choice = {impl.getStorage(), impl.getPrimitiveType(), impl.getIndexFormat(), impl.getNumChunks()};
        return meshtest::renderFrame(limited, setup, [&] { impl.draw(); });
    }

    void expectSameAsUnlimited(KXTriMesh& mesh, Limits limits, const StateSetup& setup, Choice* choice = nullptr)
    {
        const PresentedImage expected = meshtest::renderMesh(unlimited, mesh, setup);
        ASSERT_GT(meshtest::countNonBlack(expected), 200);
        const PresentedImage actual = renderLimited(mesh, limits, setup, choice);
        ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
        size_t differing = 0;
        for (size_t k = 0; k < expected.pixels.size(); ++k)
            differing += actual.pixels[k] != expected.pixels[k];
        EXPECT_EQ(differing, 0u) << "limits " << limits.maxPrimitiveCount << ", " << limits.maxVertexIndex;
    }

    DeviceWindow unlimited;
};

TEST_F(TriMeshLimits, ListsSplitByPrimitiveCountAndByVertexIndex)
{
    KXTriMesh grid;
    meshtest::makeGrid(grid, 12, 10); // 143 vertices, 240 triangles
    Choice choice{};
    expectSameAsUnlimited(grid, {7, 0xFFFFFF}, culled, &choice);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    EXPECT_EQ(choice.chunks, 1u);

    expectSameAsUnlimited(grid, {0xFFFFFF, 20}, culled, &choice);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    EXPECT_GE(choice.chunks, 143u / 21u + 1);
    EXPECT_EQ(choice.format, D3DFMT_INDEX16);

    expectSameAsUnlimited(grid, {5, 20}, culled);
    // The smallest limits that still address a triangle: one per draw.
    expectSameAsUnlimited(grid, {1, 2}, culled, &choice);
    EXPECT_EQ(choice.chunks, 240u);

    // Exactly at the limits: the buffers, as any mesh that fits.
    expectSameAsUnlimited(grid, {240, 142}, culled, &choice);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
}

TEST_F(TriMeshLimits, StripsAndFansThatMustBeSplitBecomeLists)
{
    KXTriMesh strip, fan;
    makeStrip(strip, 30);
    makeFan(fan, 40);
    for (const StateSetup& setup : {culled, flatAndCulled}) {
        for (KXTriMesh* mesh : {&strip, &fan}) {
            Choice choice{};
            expectSameAsUnlimited(*mesh, {4, 0xFFFFFF}, setup, &choice);
            EXPECT_EQ(choice.type, D3DPT_TRIANGLELIST);
            expectSameAsUnlimited(*mesh, {0xFFFFFF, 6}, setup, &choice);
            EXPECT_EQ(choice.type, D3DPT_TRIANGLELIST);
            EXPECT_GT(choice.chunks, 1u);
        }
    }
    // Within the limits they stay what they are.
    Choice choice{};
    expectSameAsUnlimited(strip, {60, 61}, culled, &choice);
    EXPECT_EQ(choice.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
}

TEST_F(TriMeshLimits, SixteenBitDevicesNeverGetThirtyTwoBitIndices)
{
    // 261 x 261 vertices: indices up to 68120, more than 16 bits address.
    KXTriMesh grid;
    meshtest::makeGrid(grid, 260, 260, false, true);
    Choice choice{};
    expectSameAsUnlimited(grid, {0xFFFFFF, 0xFFFF}, culled, &choice);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    EXPECT_EQ(choice.format, D3DFMT_INDEX16);
    EXPECT_EQ(choice.chunks, 2u);

    // A few triangles far out: chunks of their own vertices.
    std::vector<KXPosition> positions(70001, KXPosition(0, 0, 0.9f));
    std::vector<KXColor> colors(70001, KXColor(1, 1, 1));
    positions[0] = {-0.8f, 0.8f, 0.5f}, positions[1] = {0.8f, 0.8f, 0.5f}, positions[2] = {-0.8f, -0.8f, 0.5f};
    positions[69999] = {0.8f, -0.8f, 0.5f};
    positions[70000] = {0.8f, 0.8f, 0.5f};
    colors[0] = {1, 0, 0}, colors[69999] = {0, 0, 1};
    KXTriMesh far;
    far.set(KXTriMesh::KXTRIMESHTYPE_LIST, positions, {0, 1, 2, 70000, 69999, 2}, {}, colors);
    expectSameAsUnlimited(far, {0xFFFFFF, 0xFFFF}, culled, &choice);
    EXPECT_EQ(choice.format, D3DFMT_INDEX16);
}

TEST_F(TriMeshLimits, LimitsTooSmallForOneTriangleDrawNothing)
{
    KXTriMesh grid;
    meshtest::makeGrid(grid, 4, 4);
    for (Limits limits : {Limits{0xFFFFFF, 1}, Limits{0xFFFFFF, 0}, Limits{0, 0xFFFFFF}}) {
        Choice choice{};
        const PresentedImage image = renderLimited(grid, limits, culled, &choice);
        EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
        ASSERT_FALSE(image.empty());
        EXPECT_EQ(meshtest::countNonBlack(image), 0);
    }
}

} // namespace
