// Tri-mesh implementations drawing on the software device: where the data
// live, the index width, meshes whose indices name vertices they do not
// have, what every vertex layout holds and shows, and two-sided meshes.

#include "test_trimesh_support.h"

#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"
#include "resources/KXDXVertexLayout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

using namespace meshtest;

// Equal within one step per channel (lighting rounds).
bool nearColor(uint32_t actual, uint32_t expected)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int((actual >> shift) & 0xFF) - int((expected >> shift) & 0xFF)) > 1)
            return false;
    return true;
}

TEST(TriMeshImpl, PoolOwnBuffersAndSystemMemoryDrawTheSamePicture)
{
    const StateSetup lit = lightFromViewer;
    KXTriMesh mesh;
    makeGrid(mesh, 6, 5, true, false);
    DeviceWindow pooled;
    ASSERT_TRUE(pooled.device);
    auto impl = pooled.make(mesh);
    ASSERT_TRUE(impl->hasPoolVertices() && impl->hasPoolIndices());
    const PresentedImage fromPool = renderFrame(pooled, lit, [&] { impl->draw(); });
    ASSERT_GT(countNonBlack(fromPool), 1000);

    // More vertices and indices than a pool buffer holds: buffers of its
    // own. The extra vertices are unused and the extra triangles have no area.
    KXTriMesh padded;
    std::vector<KXPosition> positions = mesh.getVertexArray();
    std::vector<KXUnitVector> normals = mesh.getNormalsArray();
    positions.resize(KXDXVbManager::BUFFER_VERTICES + 1, KXPosition(5, 5, 5));
    normals.resize(positions.size(), KXUnitVector(0, 0, -1));
    std::vector<uint32_t> indices = mesh.getIndicesArray();
    indices.resize(KXDXIbManager::BUFFER_INDICES + 3, 0);
    padded.set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), std::move(indices), std::move(normals));
    DeviceWindow own;
    impl = own.make(padded);
    ASSERT_EQ(impl->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
    EXPECT_FALSE(impl->hasPoolVertices() || impl->hasPoolIndices());
    expectSameImage(renderFrame(own, lit, [&] { impl->draw(); }), fromPool);

    // No buffer at all, then vertices in the pool with the indices falling
    // back: system memory, the pool block held until destruction.
    for (DWORD failing : {DWORD(SWD3D9_FAIL_VERTEXBUFFER | SWD3D9_FAIL_INDEXBUFFER), DWORD(SWD3D9_FAIL_INDEXBUFFER)}) {
        CreationFailures failures(failing);
        DeviceWindow system;
        impl = system.make(mesh);
        ASSERT_EQ(impl->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        expectSameImage(renderFrame(system, lit, [&] { impl->draw(); }), fromPool);
        impl.reset();
    }
}

// Triangles at vertices 69998..70000 and 0..2; the same triangles with the
// six vertices alone are the reference.
TEST(TriMeshImpl, AFewIndicesOfAFarVertexAreDrawnWithThirtyTwoBits)
{
    const std::vector<KXPosition> corners = {{-0.8f, 0.8f, 0.5f}, {0.0f, 0.8f, 0.5f}, {-0.8f, 0.0f, 0.5f},
                                             {0.1f, 0.0f, 0.3f},  {0.8f, 0.0f, 0.3f}, {0.1f, -0.8f, 0.3f}};
    const std::vector<KXColor> colors = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    KXTriMesh reference, far;
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, corners, {0, 1, 2, 3, 4, 5}, {}, colors);
    std::vector<KXPosition> positions(70001, KXPosition(0, 0, 0.9f));
    std::vector<KXColor> farColors(70001, KXColor(1, 1, 1));
    for (int k = 0; k < 3; ++k) {
        positions[k] = corners[k], farColors[k] = colors[k];
        positions[69998 + k] = corners[3 + k], farColors[69998 + k] = colors[3 + k];
    }
    far.set(KXTriMesh::KXTRIMESHTYPE_LIST, positions, {0, 1, 2, 69998, 69999, 70000}, {}, farColors);

    DeviceWindow target;
    const PresentedImage expected = renderMesh(target, reference);
    auto impl = target.make(far);
    EXPECT_EQ(impl->getIndexFormat(), D3DFMT_INDEX32);
    EXPECT_TRUE(impl->hasPoolIndices());
    expectSameImage(renderFrame(target, {}, [&] { impl->draw(); }), expected);
}

// Dropped as the ray tracer drops them; the reference simply lacks them.
TEST(TriMeshImpl, TrianglesNamingMissingVerticesAreLeftOut)
{
    KXTriMesh grid;
    makeGrid(grid, 4, 4);
    const uint32_t missing = uint32_t(grid.getVertexArray().size()) + 5;
    std::vector<uint32_t> indices = grid.getIndicesArray();
    std::vector<uint32_t> kept;
    for (size_t t = 0; t < indices.size() / 3; ++t) {
        if (t == 1 || t == 3)
            indices[3 * t + 2] = missing;
        else
            kept.insert(kept.end(), indices.begin() + 3 * t, indices.begin() + 3 * t + 3);
    }
    KXTriMesh broken, reference;
    broken.set(KXTriMesh::KXTRIMESHTYPE_LIST, grid.getVertexArray(), indices, {}, grid.getColorArray());
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, grid.getVertexArray(), kept, {}, grid.getColorArray());
    DeviceWindow target;
    expectSameImage(renderMesh(target, broken), renderMesh(target, reference));

    // A strip with one index out of range: the three triangles that use it
    // are left out, the others drawn in their own winding (culling on shows
    // a wrong one).
    std::vector<uint32_t> strip = gridRowStrip(4);
    std::vector<uint32_t> triangles;
    for (uint32_t t = 0; t + 2 < strip.size(); ++t) {
        const uint32_t a = strip[t], b = strip[t + 1], c = strip[t + 2];
        if (t < 2 || t > 4)
            triangles.insert(triangles.end(), {a, (t & 1) ? c : b, (t & 1) ? b : c});
    }
    strip[4] = missing;
    broken.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), strip, {}, grid.getColorArray());
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, grid.getVertexArray(), triangles, {}, grid.getColorArray());
    const auto culled = [](IDirect3DDevice9* d3d) { d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); };
    const PresentedImage stripExpected = renderMesh(target, reference, culled);
    ASSERT_GT(countNonBlack(stripExpected), 100);
    expectSameImage(renderMesh(target, broken, culled), stripExpected);

    broken.set(KXTriMesh::KXTRIMESHTYPE_FAN, grid.getVertexArray(), {missing, 0, 1, 2});
    EXPECT_EQ(target.make(broken)->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
}

// Fewer than three indices make no primitive count out of an unsigned
// underflow; an implementation made before its device exists draws nothing.
TEST(TriMeshImpl, TooFewIndicesDrawNothing)
{
    DeviceWindow target;
    for (auto type : {KXTriMesh::KXTRIMESHTYPE_LIST, KXTriMesh::KXTRIMESHTYPE_STRIP, KXTriMesh::KXTRIMESHTYPE_FAN}) {
        for (std::vector<uint32_t> indices : {std::vector<uint32_t>{}, {0}, {0, 1}}) {
            KXTriMesh mesh;
            mesh.set(type, {{0, 0, 0.5f}, {1, 0, 0.5f}, {0, 1, 0.5f}}, indices);
            auto impl = target.make(mesh);
            EXPECT_EQ(impl->getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
            EXPECT_EQ(countNonBlack(renderFrame(target, {}, [&] { impl->draw(); })), 0);
        }
    }
    KXTriMesh mesh;
    makeGrid(mesh, 1, 1);
    KXDXDevice uninitialised;
    KXDXTriMeshImpl early(&uninitialised, uninitialised.getD3DCaps(), &mesh);
    EXPECT_EQ(early.getDevice(), nullptr);
}

// Every subset of the arrays has a layout in flexible-vertex-format order;
// pre-transformed positions (rhw 1) never come with normals. Vertex 1 is
// written word by word as the arrays say, one vertex apart from an odd
// address (locked memory need not be aligned), in order or picked through a
// vertex list, with the normal negated on the back side.
TEST(TriMeshLayout, EverySubsetOfArraysHasALayoutWithTheRightBytes)
{
    auto word = [](float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        return w;
    };
    for (int subset = 0; subset < 24; ++subset) {
        const bool pre = subset & 1, normals = subset & 2, colors = subset & 4;
        const int tex = subset / 8 == 0 ? 0 : subset / 8 == 1 ? 2 : 3;
        SCOPED_TRACE(testing::Message() << "pre " << pre << " normals " << normals << " colors " << colors
                                        << " tex " << tex);
        // Arrays of the wrong length are ignored.
        KXTriMesh mesh;
        mesh.setVertexArray({{1, 2, 3}, {4, 5, 6}});
        mesh.setPreTransformed(pre);
        mesh.setNormalsArray(normals ? std::vector<KXUnitVector>{{0, 0, 1}, {0, 1, 0}}
                                     : std::vector<KXUnitVector>{{1, 0, 0}});
        mesh.setColorArray(colors ? std::vector<KXColor>{{1, 0, 0, 1}, {0, 0, 1, 0.5f}}
                                  : std::vector<KXColor>(3, KXColor(1, 1, 1, 1)));
        if (tex)
            mesh.setTexCoordsArray({{0.25f, 0.5f}, {0.75f, 1.0f}});
        if (tex == 3)
            mesh.setCubicTexCoordsArray({{1, 0, 0}, {0, -1, 0}});
        const KXDXVertexLayout layout = KXDXVertexLayout::of(mesh);
        const bool hasNormals = normals && !pre;
        EXPECT_EQ(layout.fvf, DWORD((pre ? D3DFVF_XYZRHW : D3DFVF_XYZ) | (hasNormals ? D3DFVF_NORMAL : 0) |
                                    (colors ? D3DFVF_DIFFUSE : 0) | (tex ? D3DFVF_TEX1 : 0) |
                                    (tex == 3 ? D3DFVF_TEXCOORDSIZE3(0) : 0)));
        for (bool back : {false, true}) {
            const float sign = back ? -1.0f : 1.0f;
            std::vector<uint32_t> expected = {word(4), word(5), word(6)};
            if (pre)
                expected.push_back(word(1.0f));
            if (hasNormals)
                expected.insert(expected.end(), {word(sign * 0.0f), word(sign * 1.0f), word(sign * 0.0f)});
            if (colors)
                expected.push_back(KXColor(0, 0, 1, 0.5f).getBGRA());
            if (tex == 2)
                expected.insert(expected.end(), {word(0.75f), word(1.0f)});
            if (tex == 3)
                expected.insert(expected.end(), {word(0), word(-1), word(0)});
            ASSERT_EQ(layout.stride, expected.size() * 4);
            std::vector<unsigned char> bytes(2 * layout.stride + 1, 0xCD);
            std::vector<uint32_t> second(expected.size());
            layout.write(mesh, bytes.data() + 1, nullptr, 2, back);
            std::memcpy(second.data(), bytes.data() + 1 + layout.stride, layout.stride);
            EXPECT_EQ(second, expected) << (back ? "back" : "front");
            const uint32_t pick = 1;
            layout.write(mesh, bytes.data() + 1, &pick, 1, back);
            std::memcpy(second.data(), bytes.data() + 1, layout.stride);
            EXPECT_EQ(second, expected) << "picked";
        }
    }
}

// What the device makes of two layouts: plain positions in white, normals
// with colours unlit and lit (the vertex colour as the diffuse colour, the
// normal facing the light).
TEST(TriMeshLayout, LayoutsDrawWhatTheirArraysSay)
{
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    KXTriMesh mesh;
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST,
             {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}}, {0, 1, 2, 1, 3, 2});
    PresentedImage image = renderMesh(target, mesh);
    EXPECT_EQ(countNonBlack(image), 32 * 32);
    EXPECT_EQ(image.at(32, 32), 0xFFFFFFFFu);

    mesh.setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    mesh.setColorArray(std::vector<KXColor>(4, KXColor(1, 0.5f, 0)));
    EXPECT_EQ(renderMesh(target, mesh).at(32, 32), KXColor(1, 0.5f, 0).getBGRA());
    image = renderMesh(target, mesh, [](IDirect3DDevice9* d3d) {
        lightFromViewer(d3d);
        d3d->SetRenderState(D3DRS_COLORVERTEX, TRUE);
        d3d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    });
    EXPECT_PRED2(nearColor, image.at(32, 32), KXColor(1, 0.5f, 0).getBGRA());
}

// A two-sided quad whose normals point away from the viewer and the light:
// its front side shows the ambient grey, its back side (normals turned
// towards the light) white. The storage follows the layout: positions and
// normals go to the pool, colours added make buffers of its own, colours
// and coordinates system memory.
TEST(TwoSidedMeshes, TheBackSideShowsWhereTheFrontIsCulled)
{
    enum Shade { NONE, FRONT, BACK };
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    const auto draw = [&](KXTriMesh& mesh, DWORD cull, bool additive = false) {
        auto impl = target.make(mesh);
        DWORD after = 0;
        const PresentedImage image = renderFrame(
            target,
            [&](IDirect3DDevice9* d3d) {
                lightFromViewer(d3d);
                D3DMATERIAL9 material{};
                material.Diffuse = material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
                d3d->SetMaterial(&material);
                d3d->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(64, 64, 64));
                d3d->SetRenderState(D3DRS_COLORVERTEX, FALSE);
                d3d->SetRenderState(D3DRS_CULLMODE, cull);
                // Added up, a back side drawn as well would show.
                d3d->SetRenderState(D3DRS_ZENABLE, additive ? D3DZB_FALSE : D3DZB_TRUE);
                d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, additive ? TRUE : FALSE);
                d3d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
                d3d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
            },
            [&] {
                impl->draw();
                target.d3d()->GetRenderState(D3DRS_CULLMODE, &after);
            });
        target.d3d()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        EXPECT_EQ(after, cull) << "the cull mode is put back";
        const uint32_t centre = image.empty() ? 0u : image.at(32, 32) & 0xFFFFFF;
        if (centre != 0 && centre != 0xFFFFFF) {
            EXPECT_PRED2(nearColor, centre, 0x404040u);
        }
        return centre == 0 ? NONE : centre == 0xFFFFFF ? BACK : FRONT;
    };
    for (int storage = 0; storage < 3; ++storage) {
        SCOPED_TRACE(testing::Message() << "storage " << storage);
        KXTriMesh away, facing;
        for (KXTriMesh* mesh : {&away, &facing}) {
            mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST,
                      {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}},
                      mesh == &facing ? std::vector<uint32_t>{0, 1, 2, 1, 3, 2}
                                      : std::vector<uint32_t>{0, 2, 1, 1, 2, 3},
                      std::vector<KXUnitVector>(4, KXUnitVector(0, 0, 1)));
            if (storage > 0)
                mesh->setColorArray(std::vector<KXColor>(4, KXColor(1, 1, 1)));
            if (storage > 1)
                mesh->setTexCoordsArray(std::vector<KXPosition2D>(4));
            mesh->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
        }
        EXPECT_EQ(target.make(away)->getStorage(), storage == 2 ? KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY
                                                                : KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_EQ(target.make(away)->hasPoolVertices(), storage == 0);
        // Normal culling: wound away from the viewer shows the back, wound
        // towards it the front; mirrored culling swaps them; without culling
        // only the front is drawn.
        EXPECT_EQ(draw(away, D3DCULL_CCW), BACK);
        EXPECT_EQ(draw(facing, D3DCULL_CCW), FRONT);
        EXPECT_EQ(draw(facing, D3DCULL_CW), BACK);
        EXPECT_EQ(draw(away, D3DCULL_CW), FRONT);
        EXPECT_EQ(draw(away, D3DCULL_NONE, true), FRONT);
        away.setSidedness(KXTriMesh::KXSIDEDNESS_ONE);
        EXPECT_EQ(draw(away, D3DCULL_CCW), NONE);
    }
}

} // namespace
