// Tri-mesh implementations on the software device, each picture against a
// reference: where the data live, the index width, indices naming vertices
// the mesh lacks, the vertex layout of any set of arrays, two-sided meshes,
// meshes split within a device's limits. Then the shared buffer pools they
// draw from, and implementations letting go of a released device.

#include "KXDXTestSupport.h"

#include "resources/KXDXBufferEvents.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXTriMeshImpl.h"
#include "resources/KXDXVbManager.h"
#include "resources/KXDXVertexLayout.h"
#include "sceneapi/KXTriMesh.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using Impl = KXDXTriMeshImpl;
using kxdxtest::PresentedImage;
using StateSetup = std::function<void(IDirect3DDevice9*)>;

// A 64 x 64 window with a device without multisampling, so that edges cover
// whole pixels.
struct DeviceWindow {
    std::unique_ptr<Impl> make(KXTriMesh& mesh) const
    {
        return std::make_unique<Impl>(device.get(), device->getD3DCaps(), &mesh);
    }

    kxdxtest::TestWindow window{64, 64};
    kxdxtest::Made<KXDXDevice> device = kxdxtest::makeDevice(window.get(), nullptr, false);
};

// One frame on black drawing the implementations: identity transforms
// (positions are clip coordinates, depth in [0, 1]), no lighting, no
// culling, depth test on, then setup; the picture Present shows.
PresentedImage render(DeviceWindow& target, std::initializer_list<Impl*> impls, const StateSetup& setup = {})
{
    IDirect3DDevice9* d3d = target.device ? target.device->getD3DDevice() : nullptr;
    if (!d3d)
        return {};
    target.device->forgetBindings();
    kxdxtest::setIdentityTransforms(d3d);
    d3d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d3d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    if (setup)
        setup(d3d);
    return kxdxtest::drawFrame(d3d, target.window.get(), [&] {
        for (Impl* impl : impls)
            impl->draw();
    });
}

// Draws mesh through a fresh implementation made on target's device.
PresentedImage renderMesh(DeviceWindow& target, KXTriMesh& mesh, const StateSetup& setup = {})
{
    return target.device ? render(target, {target.make(mesh).get()}, setup) : PresentedImage();
}

long countNonBlack(const PresentedImage& image)
{
    return std::count_if(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

// Byte-identical pictures, and not an empty one.
void expectSameImage(const PresentedImage& actual, const PresentedImage& expected)
{
    ASSERT_GT(countNonBlack(expected), 100);
    EXPECT_TRUE(actual.pixels == expected.pixels) << "pixels differ";
}

const StateSetup culled = [](IDirect3DDevice9* d3d) { d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); };

// A white directional light shining into the screen (+z) on a white
// material, the vertex colours unused, over the given ambient light.
void lightFromViewer(IDirect3DDevice9* d3d, D3DCOLOR ambient = 0)
{
    d3d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d3d->SetRenderState(D3DRS_AMBIENT, ambient);
    d3d->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    d3d->SetLight(0, &light);
    d3d->LightEnable(0, TRUE);
    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    d3d->SetMaterial(&material);
}

// A grid of columns x rows cells over [-0.9, 0.9] squared at depth 0.5,
// with a colour ramp and normals fanning out towards the viewer: a
// triangle list of two triangles per cell, wound clockwise on screen.
void makeGrid(KXTriMesh& mesh, int columns, int rows, bool withNormals = true, bool withColors = true)
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
std::vector<uint32_t> gridRowStrip(int cells)
{
    std::vector<uint32_t> strip;
    for (uint32_t c = 0, row = uint32_t(cells) + 1; c < row; ++c)
        strip.insert(strip.end(), {c + row, c});
    return strip;
}

// Two triangles, one reaching vertices 69999 and 70000 of a mesh whose
// other vertices are unused; the reference has the five used vertices alone.
void makeFarMesh(KXTriMesh& far, KXTriMesh& reference)
{
    const std::vector<KXPosition> used = {
        {-0.8f, 0.8f, 0.5f}, {0.8f, 0.8f, 0.5f}, {-0.8f, -0.8f, 0.5f}, {0.8f, -0.8f, 0.5f}, {0.8f, 0.8f, 0.5f}};
    const std::vector<KXColor> colors = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}};
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, used, {0, 1, 2, 4, 3, 2}, {}, colors);
    std::vector<KXPosition> positions(70001, KXPosition(0, 0, 0.9f));
    std::vector<KXColor> farColors(70001, KXColor(1, 1, 1));
    for (uint32_t k = 0; k < 5; ++k) {
        positions[k < 3 ? k : 69996 + k] = used[k];
        farColors[k < 3 ? k : 69996 + k] = colors[k];
    }
    far.set(KXTriMesh::KXTRIMESHTYPE_LIST, positions, {0, 1, 2, 70000, 69999, 2}, {}, farColors);
}

// Ends buffer-creation failures however the test leaves.
struct CreationFailures {
    explicit CreationFailures(DWORD kinds) { SwD3D9SetCreationFailures(kinds); }
    ~CreationFailures() { SwD3D9SetCreationFailures(0); }
};

TEST(TriMeshImpl, PoolOwnBuffersAndSystemMemoryDrawTheSamePicture)
{
    const StateSetup lit = [](IDirect3DDevice9* d3d) { lightFromViewer(d3d); };
    KXTriMesh mesh;
    makeGrid(mesh, 6, 5, true, false);
    DeviceWindow pooled;
    ASSERT_TRUE(pooled.device);
    auto impl = pooled.make(mesh);
    ASSERT_TRUE(impl->hasPoolVertices() && impl->hasPoolIndices());
    const PresentedImage fromPool = render(pooled, {impl.get()}, lit);

    // More vertices and indices than a pool buffer holds: buffers of its
    // own. The extra vertices are unused and the extra triangles have no area.
    std::vector<KXPosition> positions = mesh.getVertexArray();
    std::vector<KXUnitVector> normals = mesh.getNormalsArray();
    positions.resize(KXDXVbManager::BUFFER_VERTICES + 1, KXPosition(5, 5, 5));
    normals.resize(positions.size(), KXUnitVector(0, 0, -1));
    std::vector<uint32_t> indices = mesh.getIndicesArray();
    indices.resize(KXDXIbManager::BUFFER_INDICES + 3, 0);
    KXTriMesh padded;
    padded.set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), std::move(indices), std::move(normals));
    DeviceWindow own;
    impl = own.make(padded);
    ASSERT_EQ(impl->getStorage(), Impl::KXDXTRIMESHSTORAGE_BUFFERS);
    EXPECT_FALSE(impl->hasPoolVertices() || impl->hasPoolIndices());
    expectSameImage(render(own, {impl.get()}, lit), fromPool);

    // No buffer at all, then vertices in the pool with the indices falling
    // back: system memory, the pool block held until destruction.
    for (DWORD failing : {DWORD(SWD3D9_FAIL_VERTEXBUFFER | SWD3D9_FAIL_INDEXBUFFER), DWORD(SWD3D9_FAIL_INDEXBUFFER)}) {
        CreationFailures failures(failing);
        DeviceWindow system;
        impl = system.make(mesh);
        ASSERT_EQ(impl->getStorage(), Impl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        expectSameImage(render(system, {impl.get()}, lit), fromPool);
        impl.reset();
    }
}

// Dropped as the ray tracer drops them; the reference simply lacks them. Of
// a strip, the three triangles that use the index are left out, the others
// drawn in their own winding (culling on shows a wrong one). Fewer than
// three indices make no primitive count out of an unsigned underflow.
TEST(TriMeshImpl, TrianglesNamingMissingVerticesAreLeftOut)
{
    KXTriMesh grid;
    makeGrid(grid, 4, 4);
    const uint32_t missing = uint32_t(grid.getVertexArray().size()) + 5;
    std::vector<uint32_t> indices = grid.getIndicesArray(), kept;
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

    std::vector<uint32_t> strip = gridRowStrip(4), triangles;
    for (uint32_t t = 0; t + 2 < strip.size(); ++t) {
        const uint32_t a = strip[t], b = strip[t + 1], c = strip[t + 2];
        if (t < 2 || t > 4)
            triangles.insert(triangles.end(), {a, (t & 1) ? c : b, (t & 1) ? b : c});
    }
    strip[4] = missing;
    broken.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), strip, {}, grid.getColorArray());
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, grid.getVertexArray(), triangles, {}, grid.getColorArray());
    expectSameImage(renderMesh(target, broken, culled), renderMesh(target, reference, culled));

    for (const std::vector<uint32_t>& fan : {std::vector<uint32_t>{missing, 0, 1, 2}, std::vector<uint32_t>{0}}) {
        broken.set(KXTriMesh::KXTRIMESHTYPE_FAN, grid.getVertexArray(), fan);
        EXPECT_EQ(target.make(broken)->getStorage(), Impl::KXDXTRIMESHSTORAGE_NONE);
    }
}

// Every subset of the arrays has a layout in flexible-vertex-format order;
// pre-transformed positions (rhw 1) never come with normals; arrays of the
// wrong length are ignored. Vertex 1 is written word by word as the arrays
// say, one vertex apart from an odd address (locked memory need not be
// aligned), in order or picked through a vertex list, with the normal
// negated on the back side.
TEST(TriMeshLayout, EverySubsetOfArraysHasALayoutWithTheRightBytes)
{
    const auto word = [](float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        return w;
    };
    for (int subset = 0; subset < 24; ++subset) {
        const bool pre = subset & 1, normals = subset & 2, colors = subset & 4;
        const int tex = subset / 8 == 0 ? 0 : subset / 8 == 1 ? 2 : 3;
        SCOPED_TRACE(testing::Message() << "subset " << subset);
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
            const uint32_t pick = 1;
            for (bool picked : {false, true}) {
                std::vector<unsigned char> bytes(2 * layout.stride + 1, 0xCD);
                std::vector<uint32_t> written(expected.size());
                layout.write(mesh, bytes.data() + 1, picked ? &pick : nullptr, picked ? 1 : 2, back);
                std::memcpy(written.data(), bytes.data() + 1 + (picked ? 0 : layout.stride), layout.stride);
                EXPECT_EQ(written, expected) << (back ? "back" : "front") << (picked ? ", picked" : "");
            }
        }
    }
}

// A two-sided quad lit from the viewer over an ambient grey shows the grey
// on its front (normals away from the light), white on its back. Culling
// counter-clockwise shows the back of a quad wound away from the viewer and
// the front of one wound towards it, clockwise the reverse; without culling
// only the front is drawn (added up, a back side would show). The cull mode
// is put back. Positions and normals go to the pool, with colours to
// buffers of their own, with coordinates too to system memory.
TEST(TwoSidedMeshes, TheBackSideShowsWhereTheFrontIsCulled)
{
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    const auto centre = [&](KXTriMesh& mesh, DWORD cull, bool additive = false) {
        const PresentedImage image = render(target, {target.make(mesh).get()}, [&](IDirect3DDevice9* d3d) {
            lightFromViewer(d3d, D3DCOLOR_XRGB(64, 64, 64));
            d3d->SetRenderState(D3DRS_CULLMODE, cull);
            d3d->SetRenderState(D3DRS_ZENABLE, additive ? D3DZB_FALSE : D3DZB_TRUE);
            d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, additive ? TRUE : FALSE);
            d3d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
            d3d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        });
        EXPECT_EQ(cull, kxdxtest::renderState(target.device->getD3DDevice(), D3DRS_CULLMODE));
        return image.empty() ? 0u : image.at(32, 32) & 0xFFFFFF;
    };
    constexpr uint32_t NONE = 0, BACK = 0xFFFFFF, FRONT = 0x404040;
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
        EXPECT_EQ(target.make(away)->getStorage(),
                  storage == 2 ? Impl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY : Impl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_EQ(target.make(away)->hasPoolVertices(), storage == 0);
        EXPECT_EQ(BACK, centre(away, D3DCULL_CCW));
        EXPECT_EQ(FRONT, centre(facing, D3DCULL_CCW));
        EXPECT_EQ(BACK, centre(facing, D3DCULL_CW));
        EXPECT_EQ(FRONT, centre(away, D3DCULL_CW));
        EXPECT_EQ(FRONT, centre(away, D3DCULL_NONE, true));
        away.setSidedness(KXTriMesh::KXSIDEDNESS_ONE);
        EXPECT_EQ(NONE, centre(away, D3DCULL_CCW));
    }
}

// Meshes beyond a device's primitive count or vertex index limit are split
// into draws the device accepts, and draw the same picture as on a device
// without limits.
class TriMeshLimits : public ::testing::Test
{
protected:
    // The mesh drawn on a device that reports and honours the limits; what
    // its implementation chose is kept.
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
        storage = impl->getStorage(), type = impl->getPrimitiveType(), format = impl->getIndexFormat();
        chunks = impl->getNumChunks();
        return render(limited, {impl.get()}, setup);
    }
    void expectSameAsUnlimited(KXTriMesh& mesh, DWORD maxPrimitives, DWORD maxIndex, const StateSetup& setup = culled)
    {
        SCOPED_TRACE(testing::Message() << "limits " << maxPrimitives << ", " << maxIndex);
        expectSameImage(renderLimited(mesh, maxPrimitives, maxIndex, setup), renderMesh(unlimited, mesh, setup));
    }

    Impl::KXDXTRIMESHSTORAGE storage = Impl::KXDXTRIMESHSTORAGE_NONE;
    D3DPRIMITIVETYPE type = D3DPT_POINTLIST;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    size_t chunks = 0;
    DeviceWindow unlimited;
};

// The smallest limits that still address a triangle make one draw of each;
// exactly at the limits the mesh keeps its buffers, as any mesh that fits.
// Limits too small for a triangle's three vertices draw nothing, and do not
// loop for ever.
TEST_F(TriMeshLimits, ListsSplitByPrimitiveCountAndByVertexIndex)
{
    KXTriMesh grid;
    makeGrid(grid, 12, 10); // 143 vertices, 240 triangles
    expectSameAsUnlimited(grid, 7, 0xFFFFFF);
    EXPECT_EQ(storage, Impl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    expectSameAsUnlimited(grid, 0xFFFFFF, 20);
    EXPECT_GE(chunks, 143u / 21u + 1);
    expectSameAsUnlimited(grid, 1, 2);
    EXPECT_EQ(chunks, 240u);
    expectSameAsUnlimited(grid, 240, 142);
    EXPECT_EQ(storage, Impl::KXDXTRIMESHSTORAGE_BUFFERS);
    for (auto limits : {std::make_pair(0xFFFFFFu, 1u), std::make_pair(0xFFFFFFu, 0u), std::make_pair(0u, 0xFFFFFFu)}) {
        const PresentedImage image = renderLimited(grid, limits.first, limits.second, culled);
        EXPECT_EQ(storage, Impl::KXDXTRIMESHSTORAGE_NONE);
        ASSERT_FALSE(image.empty());
        EXPECT_EQ(countNonBlack(image), 0);
    }
}

// Split strips and fans become lists in the device's own vertex order, so
// that culling keeps their winding and flat shading takes the same vertex's
// colour; within the limits they stay what they are.
TEST_F(TriMeshLimits, StripsAndFansThatMustBeSplitBecomeLists)
{
    KXTriMesh grid, strip, fan;
    makeGrid(grid, 30, 2);
    strip.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), gridRowStrip(30), {}, grid.getColorArray());
    // The top row's cells fanned out from the start of the next row:
    // clockwise on screen, each triangle of another colour.
    std::vector<uint32_t> fanIndices = {31};
    for (uint32_t k = 0; k <= 30; ++k)
        fanIndices.push_back(k);
    fan.set(KXTriMesh::KXTRIMESHTYPE_FAN, grid.getVertexArray(), fanIndices, {}, grid.getColorArray());
    const StateSetup flatAndCulled = [](IDirect3DDevice9* d3d) {
        d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        d3d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    };
    for (KXTriMesh* mesh : {&strip, &fan}) {
        expectSameAsUnlimited(*mesh, 4, 0xFFFFFF, flatAndCulled);
        EXPECT_EQ(type, D3DPT_TRIANGLELIST);
        expectSameAsUnlimited(*mesh, 0xFFFFFF, 6, flatAndCulled);
        EXPECT_EQ(type, D3DPT_TRIANGLELIST);
    }
    expectSameAsUnlimited(strip, 60, 61);
    EXPECT_EQ(type, D3DPT_TRIANGLESTRIP);
}

// The index width follows the largest index: a few indices of a far vertex
// are drawn with 32 bits, from the pool. Real devices refuse 32-bit index
// draws where MaxVertexIndex is at most 0xFFFF: there, rebased chunks keep
// every index within 16 bits, a few triangles far out in chunks of their
// own vertices.
TEST_F(TriMeshLimits, IndexWidthFollowsTheLargestIndexAndTheDevice)
{
    KXTriMesh far, reference, grid;
    makeFarMesh(far, reference);
    auto impl = unlimited.make(far);
    EXPECT_EQ(impl->getIndexFormat(), D3DFMT_INDEX32);
    EXPECT_TRUE(impl->hasPoolIndices());
    expectSameImage(render(unlimited, {impl.get()}, culled), renderMesh(unlimited, reference, culled));
    expectSameAsUnlimited(far, 0xFFFFFF, 0xFFFF);
    EXPECT_EQ(format, D3DFMT_INDEX16);
    makeGrid(grid, 260, 260, false, true); // indices up to 68120
    expectSameAsUnlimited(grid, 0xFFFFFF, 0xFFFF);
    EXPECT_EQ(format, D3DFMT_INDEX16);
    EXPECT_EQ(chunks, 2u);
}

constexpr DWORD POSITION_NORMAL = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr uint32_t CAPACITY = KXDXVbManager::BUFFER_VERTICES;

// A pool's free list as (buffer, count, start).
using Blocks = std::vector<std::tuple<IUnknown*, uint32_t, uint32_t>>;
Blocks freeBlocks(const KXDXBufferPool& pool)
{
    Blocks blocks;
    for (const KXDXBufferPool::Block& block : pool.getFreeBlocks())
        blocks.emplace_back(block.buffer, block.count, block.start);
    return blocks;
}

class BufferPools : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(target.device); }

    KXDXVbManager& vertices() { return *target.device->getVbManager(); }
    Blocks freeVertices() { return freeBlocks(vertices().getPool(KXDXVbManager::KXDXVBPOOL_POSITIONNORMAL)); }
    // A block of count vertices; its start.
    uint32_t take(uint32_t count, IDirect3DVertexBuffer9*& buffer)
    {
        uint32_t base = 99;
        EXPECT_EQ(vertices().allocate(count, POSITION_NORMAL, buffer, base), 0);
        return base;
    }
    // Gives a vertex block back the way a mesh implementation does.
    void giveBack(IDirect3DVertexBuffer9* buffer, uint32_t count, uint32_t start)
    {
        KXObservable sender;
        vertices().update(&sender, KXDXTriMeshEvent(0, buffer, count, start, nullptr, 0, 0));
    }

    DeviceWindow target;
};

// Blocks come one after the other from a whole buffer; a request for a
// whole buffer leaves an empty free block behind, which serves nobody but
// takes the block back when it is given back. Refused requests create no
// buffer.
TEST_F(BufferPools, BlocksAreHandedOutFirstFitAndRefusalsMakeNoBuffer)
{
    IDirect3DVertexBuffer9 *first = nullptr, *second = nullptr, *whole = nullptr;
    EXPECT_EQ(take(100, first), 0u);
    EXPECT_EQ(take(CAPACITY - 100, second), 100u);
    EXPECT_EQ(first, second);
    EXPECT_EQ(take(CAPACITY, whole), 0u);
    EXPECT_EQ(take(1, second), 0u);
    EXPECT_NE(second, whole);
    giveBack(whole, CAPACITY, 0);
    EXPECT_EQ(freeVertices(), (Blocks{{whole, CAPACITY, 0}, {second, CAPACITY - 1, 1}}));
    const UINT live = SwD3D9GetLiveObjectCount();
    uint32_t base = 0;
    EXPECT_EQ(vertices().allocate(CAPACITY + 1, POSITION_NORMAL, first, base), -1);
    EXPECT_EQ(vertices().allocate(10, D3DFVF_XYZ, first, base), -1);
    EXPECT_EQ(SwD3D9GetLiveObjectCount(), live) << "a refused request created a buffer";
}

// A block given back merges with one free neighbour; a block already free,
// wholly or in part, is dropped: freed twice, it would be handed out twice.
TEST_F(BufferPools, FreedBlocksMergeWithOneNeighbourAndAreNeverFreedTwice)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    const uint32_t first = take(100, buffer), second = take(100, buffer);
    giveBack(buffer, 100, first);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, CAPACITY - 200, 200}, {buffer, 100, 0}}));
    giveBack(buffer, 100, second);
    const Blocks merged = {{buffer, CAPACITY - 100, 100}, {buffer, 100, 0}};
    EXPECT_EQ(freeVertices(), merged);

    // Again; the first block once more (it touches the merged block at its
    // start); a block inside a free one; a buffer the pools do not own.
    giveBack(buffer, 100, second);
    giveBack(buffer, 100, first);
    giveBack(buffer, 50, 1000);
    giveBack(nullptr, 100, 0);
    EXPECT_EQ(freeVertices(), merged);

    // First fit takes the first block large enough, in list order.
    EXPECT_EQ(take(100, buffer), 100u);
    EXPECT_EQ(take(CAPACITY - 200, buffer), 200u);
    EXPECT_EQ(freeVertices(), (Blocks{{buffer, 100, 0}}));
}

// Implementations left in the meshes' slots (pooled, own buffers, system
// memory) let go of a released device and draw nothing after. Created
// again without pools, the device draws new implementations from buffers
// of their own; the old ones go with their meshes, after the device.
TEST(BufferPoolsLifetime, ImplementationsLetGoOfAReleasedDevice)
{
    kxdxtest::LiveObjectCheck live;
    KXTriMesh pooled, own, system;
    makeGrid(pooled, 3, 3, true, false);
    makeGrid(own, 3, 3, false, true);
    makeGrid(system, 3, 3);
    system.setTexCoordsArray(std::vector<KXPosition2D>(system.getVertexArray().size()));
    system.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    {
        DeviceWindow target;
        ASSERT_TRUE(target.device);
        Impl* impls[3];
        KXTriMesh* meshes[] = {&pooled, &own, &system};
        for (int k = 0; k < 3; ++k)
            meshes[k]->setImplementation(impls[k] = target.make(*meshes[k]).release());
        EXPECT_EQ(impls[2]->getStorage(), Impl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        const PresentedImage before = render(target, {impls[0]});
        ASSERT_GT(countNonBlack(before), 1000);

        target.device->release();
        for (Impl* impl : impls) {
            EXPECT_EQ(impl->getDevice(), nullptr);
            EXPECT_EQ(impl->getStorage(), Impl::KXDXTRIMESHSTORAGE_NONE);
        }
        ASSERT_TRUE(kxdxtest::initializeBest(*target.device, target.window.get(), false));
        EXPECT_EQ(target.device->getVbManager(), nullptr);
        auto again = target.make(pooled);
        EXPECT_EQ(again->getStorage(), Impl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_EQ(render(target, {impls[0], impls[1], impls[2], again.get()}).pixels, before.pixels);
    }
    live.expectBalanced();
}

} // namespace
