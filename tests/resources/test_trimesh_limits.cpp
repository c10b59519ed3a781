// Tri-meshes beyond a device's primitive count or vertex index limit are
// split into draws the device accepts, and draw the same picture as on a
// device without limits.

#include "test_trimesh_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace meshtest;

const StateSetup culled = [](IDirect3DDevice9* d3d) { d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); };

class TriMeshLimits : public ::testing::Test
{
protected:
    // What construction on a limited device chose.
    struct Choice {
        KXDXTriMeshImpl::KXDXTRIMESHSTORAGE storage;
        D3DPRIMITIVETYPE type;
        D3DFORMAT format;
        size_t chunks;
    };

    // The mesh drawn on a device that reports and honours the limits.
    PresentedImage renderLimited(KXTriMesh& mesh, DWORD maxPrimitives, DWORD maxIndex, const StateSetup& setup)
    {
        kxdxtest::CapsOverride override;
        override.caps().MaxPrimitiveCount = maxPrimitives;
        override.caps().MaxVertexIndex = maxIndex;
        override.apply();
        DeviceWindow limited;
        if (!limited.device)
            return {};
        auto impl = limited.make(mesh);
        choice = {impl->getStorage(), impl->getPrimitiveType(), impl->getIndexFormat(), impl->getNumChunks()};
        return renderFrame(limited, setup, [&] { impl->draw(); });
    }

    void expectSameAsUnlimited(KXTriMesh& mesh, DWORD maxPrimitives, DWORD maxIndex,
                               const StateSetup& setup = culled)
    {
        SCOPED_TRACE(testing::Message() << "limits " << maxPrimitives << ", " << maxIndex);
        const PresentedImage expected = renderMesh(unlimited, mesh, setup);
        ASSERT_GT(countNonBlack(expected), 200);
        expectSameImage(renderLimited(mesh, maxPrimitives, maxIndex, setup), expected);
    }

    DeviceWindow unlimited;
    Choice choice{};
};

TEST_F(TriMeshLimits, ListsSplitByPrimitiveCountAndByVertexIndex)
{
    KXTriMesh grid;
    makeGrid(grid, 12, 10); // 143 vertices, 240 triangles
    expectSameAsUnlimited(grid, 7, 0xFFFFFF);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    expectSameAsUnlimited(grid, 0xFFFFFF, 20);
    EXPECT_GE(choice.chunks, 143u / 21u + 1);
    expectSameAsUnlimited(grid, 5, 20);
    // The smallest limits that still address a triangle: one per draw.
    expectSameAsUnlimited(grid, 1, 2);
    EXPECT_EQ(choice.chunks, 240u);
    // Exactly at the limits: the buffers, as any mesh that fits.
    expectSameAsUnlimited(grid, 240, 142);
    EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
}

// Split strips and fans become lists in the device's own vertex order, so
// that flat shading takes the same vertex's colour.
TEST_F(TriMeshLimits, StripsAndFansThatMustBeSplitBecomeLists)
{
    KXTriMesh grid, strip, fan;
    makeGrid(grid, 30, 2);
    strip.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), gridRowStrip(30), {}, grid.getColorArray());
    // A disc of coloured segments around its centre, clockwise on screen.
    std::vector<KXPosition> positions = {{0, 0, 0.5f}};
    std::vector<KXColor> colors = {{1, 1, 1}};
    std::vector<uint32_t> indices = {0};
    for (int k = 0; k <= 40; ++k) {
        const float angle = -6.2831853f * float(k) / 40.0f;
        positions.emplace_back(0.9f * std::cos(angle), 0.9f * std::sin(angle), 0.5f);
        colors.emplace_back(float(k % 3) / 2.0f, float(k % 5) / 4.0f, float(k % 7) / 6.0f);
        indices.push_back(uint32_t(k) + 1);
    }
    fan.set(KXTriMesh::KXTRIMESHTYPE_FAN, positions, indices, {}, colors);
    const StateSetup flatAndCulled = [](IDirect3DDevice9* d3d) {
        d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    };
    for (const StateSetup& setup : {culled, flatAndCulled}) {
        for (KXTriMesh* mesh : {&strip, &fan}) {
            expectSameAsUnlimited(*mesh, 4, 0xFFFFFF, setup);
            EXPECT_EQ(choice.type, D3DPT_TRIANGLELIST);
            expectSameAsUnlimited(*mesh, 0xFFFFFF, 6, setup);
            EXPECT_EQ(choice.type, D3DPT_TRIANGLELIST);
        }
    }
    // Within the limits they stay what they are.
    expectSameAsUnlimited(strip, 60, 61);
    EXPECT_EQ(choice.type, D3DPT_TRIANGLESTRIP);
}

// Real devices refuse 32-bit index draws where MaxVertexIndex is at most
// 0xFFFF: rebased chunks keep every index within 16 bits.
TEST_F(TriMeshLimits, SixteenBitDevicesNeverGetThirtyTwoBitIndices)
{
    KXTriMesh grid;
    makeGrid(grid, 260, 260, false, true); // indices up to 68120
    expectSameAsUnlimited(grid, 0xFFFFFF, 0xFFFF);
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
    expectSameAsUnlimited(far, 0xFFFFFF, 0xFFFF);
    EXPECT_EQ(choice.format, D3DFMT_INDEX16);
}

// No draw could address a triangle's three vertices: nothing, and no
// endless loop.
TEST_F(TriMeshLimits, LimitsTooSmallForOneTriangleDrawNothing)
{
    KXTriMesh grid;
    makeGrid(grid, 4, 4);
    for (auto limits : {std::make_pair(0xFFFFFFu, 1u), std::make_pair(0xFFFFFFu, 0u), std::make_pair(0u, 0xFFFFFFu)}) {
        const PresentedImage image = renderLimited(grid, limits.first, limits.second, culled);
        EXPECT_EQ(choice.storage, KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
        ASSERT_FALSE(image.empty());
        EXPECT_EQ(countNonBlack(image), 0);
    }
}

} // namespace
