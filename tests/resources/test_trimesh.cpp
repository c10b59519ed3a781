// Tri-mesh implementations drawing on the software device: where the data
// live, what every vertex layout shows, two-sided meshes, and meshes whose
// indices name vertices they do not have.

#include "test_trimesh_support.h"

#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

using kxdxtest::PresentedImage;
using meshtest::DeviceWindow;
using meshtest::renderMesh;

// Ends creation failures however the test leaves.
struct CreationFailures {
    explicit CreationFailures(DWORD kinds) { SwD3D9SetCreationFailures(kinds); }
    ~CreationFailures() { SwD3D9SetCreationFailures(0); }
};

// Equal within one step per channel (lighting rounds).
bool nearColor(uint32_t actual, uint32_t expected)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int((actual >> shift) & 0xFF) - int((expected >> shift) & 0xFF)) > 1)
            return false;
    return true;
}

void expectSameImage(const PresentedImage& actual, const PresentedImage& expected)
{
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    size_t differing = 0;
    for (size_t k = 0; k < expected.pixels.size(); ++k)
        differing += actual.pixels[k] != expected.pixels[k];
    EXPECT_EQ(differing, 0u) << "pixels differ";
}

TEST(TriMeshImpl, APositionOnlyQuadDrawsTwoTrianglesFromATwelveByteLayout)
{
    DeviceWindow target;
    ASSERT_TRUE(target.device);
    KXTriMesh mesh;
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST, {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f},
                                             {0.5f, -0.5f, 0.5f}},
             {0, 1, 2, 1, 3, 2});
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
    EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZ));
    EXPECT_EQ(impl.getStride(), 12u);
    EXPECT_EQ(impl.getPrimitiveCount(), 2u);
    EXPECT_FALSE(impl.hasPoolVertices()); // no pool for this layout
    EXPECT_TRUE(impl.hasPoolIndices());
    EXPECT_EQ(impl.getIndexFormat(), D3DFMT_INDEX16);

    const PresentedImage image = meshtest::renderFrame(target, {}, [&] { impl.draw(); });
    ASSERT_EQ(image.width, 64u);
    // The quad covers the middle half of the window in white (no lighting,
    // no vertex colour).
    EXPECT_EQ(meshtest::countNonBlack(image), 32 * 32);
    EXPECT_EQ(image.at(32, 32), 0xFFFFFFFFu);
    EXPECT_EQ(image.at(4, 4), 0xFF000000u);
}

TEST(TriMeshImpl, PoolOwnBuffersAndSystemMemoryDrawTheSamePicture)
{
    const auto lit = [](IDirect3DDevice9* d3d) { meshtest::lightFromViewer(d3d); };
    KXTriMesh mesh;
    meshtest::makeGrid(mesh, 6, 5, true, false);

    DeviceWindow pooled;
    ASSERT_TRUE(pooled.device);
    PresentedImage fromPool;
    {
        KXDXTriMeshImpl impl(pooled.device.get(), pooled.device->getD3DCaps(), &mesh);
        EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
        ASSERT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_TRUE(impl.hasPoolVertices());
        EXPECT_TRUE(impl.hasPoolIndices());
        fromPool = meshtest::renderFrame(pooled, lit, [&] { impl.draw(); });
    }
    ASSERT_GT(meshtest::countNonBlack(fromPool), 1000);

    // More vertices than a pool buffer holds and more indices than an index
    // pool buffer holds: buffers of its own. The extra vertices are unused
    // and the extra triangles have no area.
    KXTriMesh padded;
    {
        std::vector<KXPosition> positions = mesh.getVertexArray();
        std::vector<KXUnitVector> normals = mesh.getNormalsArray();
        positions.resize(KXDXVbManager::BUFFER_VERTICES + 1, KXPosition(5, 5, 5));
        normals.resize(positions.size(), KXUnitVector(0, 0, -1));
        std::vector<uint32_t> indices = mesh.getIndicesArray();
        indices.resize(KXDXIbManager::BUFFER_INDICES + 3, 0);
        padded.set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), std::move(indices), std::move(normals));
    }
    DeviceWindow own;
    {
        KXDXTriMeshImpl impl(own.device.get(), own.device->getD3DCaps(), &padded);
        ASSERT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_FALSE(impl.hasPoolVertices());
        EXPECT_FALSE(impl.hasPoolIndices());
        expectSameImage(meshtest::renderFrame(own, lit, [&] { impl.draw(); }), fromPool);
    }

    // No buffer can be created on a fresh device: system memory.
    DeviceWindow system;
    {
        CreationFailures failures(SWD3D9_FAIL_VERTEXBUFFER | SWD3D9_FAIL_INDEXBUFFER);
        KXDXTriMeshImpl impl(system.device.get(), system.device->getD3DCaps(), &mesh);
        ASSERT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        expectSameImage(meshtest::renderFrame(system, lit, [&] { impl.draw(); }), fromPool);
    }
    // Vertices in the pool, indices falling back: system memory as well.
    {
        CreationFailures failures(SWD3D9_FAIL_INDEXBUFFER);
        DeviceWindow mixed;
        KXDXTriMeshImpl impl(mixed.device.get(), mixed.device->getD3DCaps(), &mesh);
        ASSERT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
        expectSameImage(meshtest::renderFrame(mixed, lit, [&] { impl.draw(); }), fromPool);
    }
}

TEST(TriMeshImpl, AFewIndicesOfAFarVertexAreDrawnWithThirtyTwoBits)
{
    // Triangles at vertices 69998..70000 and 0..2; the same triangles with
    // the six vertices alone are the reference.
    const std::vector<KXPosition> corners = {{-0.8f, 0.8f, 0.5f}, {0.0f, 0.8f, 0.5f}, {-0.8f, 0.0f, 0.5f},
                                             {0.1f, 0.0f, 0.3f},  {0.8f, 0.0f, 0.3f}, {0.1f, -0.8f, 0.3f}};
    const std::vector<KXColor> colors = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    KXTriMesh reference;
    reference.set(KXTriMesh::KXTRIMESHTYPE_LIST, corners, {0, 1, 2, 3, 4, 5}, {}, colors);

    std::vector<KXPosition> positions(70001, KXPosition(0, 0, 0.9f));
    std::vector<KXColor> farColors(70001, KXColor(1, 1, 1));
    for (int k = 0; k < 3; ++k) {
        positions[k] = corners[k], farColors[k] = colors[k];
        positions[69998 + k] = corners[3 + k], farColors[69998 + k] = colors[3 + k];
    }
    KXTriMesh far;
    far.set(KXTriMesh::KXTRIMESHTYPE_LIST, positions, {0, 1, 2, 69998, 69999, 70000}, {}, farColors);

    DeviceWindow target;
    const PresentedImage expected = renderMesh(target, reference);
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &far);
    EXPECT_EQ(impl.getIndexFormat(), D3DFMT_INDEX32);
    EXPECT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
    EXPECT_TRUE(impl.hasPoolIndices());
    expectSameImage(meshtest::renderFrame(target, {}, [&] { impl.draw(); }), expected);

    // The same from system memory.
    DeviceWindow system;
    CreationFailures failures(SWD3D9_FAIL_VERTEXBUFFER | SWD3D9_FAIL_INDEXBUFFER);
    KXDXTriMeshImpl fromMemory(system.device.get(), system.device->getD3DCaps(), &far);
    ASSERT_EQ(fromMemory.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY);
    EXPECT_EQ(fromMemory.getIndexFormat(), D3DFMT_INDEX32);
    expectSameImage(meshtest::renderFrame(system, {}, [&] { fromMemory.draw(); }), expected);
}

TEST(TriMeshImpl, TrianglesNamingMissingVerticesAreLeftOut)
{
    KXTriMesh grid;
    meshtest::makeGrid(grid, 4, 4);
    const uint32_t missing = uint32_t(grid.getVertexArray().size()) + 5;

    // A list: the second and fourth triangles name a vertex that does not
    // exist; the reference simply lacks them.
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
    const PresentedImage expected = renderMesh(target, reference);
    expectSameImage(renderMesh(target, broken), expected);

    // A strip across the first row of cells with one index out of range:
    // the three triangles that use it are left out, the others drawn in
    // their own winding (culling on shows a wrong one).
    const uint32_t row = 5; // vertices per grid row
    std::vector<uint32_t> strip;
    for (uint32_t c = 0; c < row; ++c)
        strip.insert(strip.end(), {c + row, c});
    std::vector<uint32_t> triangles;
    for (uint32_t t = 0; t + 2 < strip.size(); ++t) {
        if (t >= 2 && t <= 4)
            continue;
        const uint32_t a = strip[t], b = strip[t + 1], c = strip[t + 2];
        triangles.insert(triangles.end(), {a, (t & 1) ? c : b, (t & 1) ? b : c});
    }
    strip[4] = missing;
    KXTriMesh brokenStrip, stripReference;
    brokenStrip.set(KXTriMesh::KXTRIMESHTYPE_STRIP, grid.getVertexArray(), strip, {}, grid.getColorArray());
    stripReference.set(KXTriMesh::KXTRIMESHTYPE_LIST, grid.getVertexArray(), triangles, {}, grid.getColorArray());
    const auto culled = [](IDirect3DDevice9* d3d) { d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); };
    const PresentedImage stripExpected = renderMesh(target, stripReference, culled);
    ASSERT_GT(meshtest::countNonBlack(stripExpected), 100);
    expectSameImage(renderMesh(target, brokenStrip, culled), stripExpected);

    // Only missing vertices: nothing at all.
    KXTriMesh nothing;
    nothing.set(KXTriMesh::KXTRIMESHTYPE_FAN, grid.getVertexArray(), {missing, 0, 1, 2});
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &nothing);
    EXPECT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
}

TEST(TriMeshImpl, TooFewIndicesDrawNothing)
{
    DeviceWindow target;
    for (auto type : {KXTriMesh::KXTRIMESHTYPE_LIST, KXTriMesh::KXTRIMESHTYPE_STRIP, KXTriMesh::KXTRIMESHTYPE_FAN}) {
        for (std::vector<uint32_t> indices : {std::vector<uint32_t>{}, {0}, {0, 1}}) {
            KXTriMesh mesh;
            mesh.set(type, {{0, 0, 0.5f}, {1, 0, 0.5f}, {0, 1, 0.5f}}, indices);
            KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
            EXPECT_EQ(impl.getStorage(), KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_NONE);
            EXPECT_EQ(meshtest::countNonBlack(meshtest::renderFrame(target, {}, [&] { impl.draw(); })), 0);
        }
    }
    // Null arguments give an implementation that draws nothing.
    KXTriMesh mesh;
    meshtest::makeGrid(mesh, 1, 1);
    KXDXTriMeshImpl noMesh(target.device.get(), target.device->getD3DCaps(), nullptr);
    KXDXTriMeshImpl noCaps(target.device.get(), nullptr, &mesh);
    KXDXTriMeshImpl noDevice(nullptr, target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(noDevice.getDevice(), nullptr);
    // Made before the device exists: replaced once it does.
    KXDXDevice uninitialised;
    KXDXTriMeshImpl early(&uninitialised, uninitialised.getD3DCaps(), &mesh);
    EXPECT_EQ(early.getDevice(), nullptr);
    EXPECT_EQ(meshtest::countNonBlack(meshtest::renderFrame(target, {}, [&] {
                  noMesh.draw();
                  noCaps.draw();
                  noDevice.draw();
              })),
              0);
}

// Every layout shows what its arrays say.
class TriMeshLayouts : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(target.device); }

    // A quad over the middle half of the window, clockwise on screen.
    static void setQuad(KXTriMesh& mesh)
    {
        mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST,
                 {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}},
                 {0, 1, 2, 1, 3, 2});
    }

    DeviceWindow target;
};

TEST_F(TriMeshLayouts, NormalsWithColoursAndNoCoordinates)
{
    KXTriMesh mesh;
    setQuad(mesh);
    mesh.setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    mesh.setColorArray(std::vector<KXColor>(4, KXColor(1, 0.5f, 0)));
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE));
    EXPECT_EQ(impl.getStride(), 28u);
    const PresentedImage unlit = meshtest::renderFrame(target, {}, [&] { impl.draw(); });
    EXPECT_EQ(unlit.at(32, 32), KXColor(1, 0.5f, 0).getBGRA());

    // Lit, the colour is the vertex's (diffuse from the vertex colour) and
    // the normal faces the light.
    const PresentedImage lit = meshtest::renderFrame(target,
                                                     [](IDirect3DDevice9* d3d) {
                                                         meshtest::lightFromViewer(d3d);
                                                         d3d->SetRenderState(D3DRS_COLORVERTEX, TRUE);
                                                         d3d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE,
                                                                             D3DMCS_COLOR1);
                                                     },
                                                     [&] { impl.draw(); });
    EXPECT_PRED2(nearColor, lit.at(32, 32), KXColor(1, 0.5f, 0).getBGRA());
}

TEST_F(TriMeshLayouts, PreTransformedMeshesLeaveTheirNormalsOut)
{
    KXTriMesh mesh;
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST, {{8, 8, 0.5f}, {24, 8, 0.5f}, {8, 24, 0.5f}, {24, 24, 0.5f}},
             {0, 1, 2, 1, 3, 2}, std::vector<KXUnitVector>(4, KXUnitVector(0, 0, 1)),
             std::vector<KXColor>(4, KXColor(0, 1, 0)));
    mesh.setPreTransformed(true);
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    const PresentedImage image = meshtest::renderFrame(target, {}, [&] { impl.draw(); });
    // Pixels 8..23 in both directions.
    EXPECT_EQ(meshtest::countNonBlack(image), 16 * 16);
    EXPECT_EQ(image.at(8, 8), 0xFF00FF00u);
    EXPECT_EQ(image.at(23, 23), 0xFF00FF00u);
}

TEST_F(TriMeshLayouts, TextureCoordinatesPickTexels)
{
    IDirect3DDevice9* d3d = target.d3d();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(d3d->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT rect{};
    ASSERT_EQ(texture->LockRect(0, &rect, nullptr, 0), D3D_OK);
    const uint32_t texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    std::memcpy(rect.pBits, texels, sizeof(texels));
    texture->UnlockRect(0);

    // Positions, normals and coordinates: the pool layout.
    KXTriMesh mesh;
    setQuad(mesh);
    mesh.setNormalsArray(std::vector<KXUnitVector>(4, KXUnitVector(0, 0, -1)));
    mesh.setTexCoordsArray({{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_TRUE(impl.hasPoolVertices());
    const PresentedImage image =
        meshtest::renderFrame(target, [&](IDirect3DDevice9* d) { d->SetTexture(0, texture); }, [&] { impl.draw(); });
    d3d->SetTexture(0, nullptr);
    texture->Release();
    EXPECT_EQ(image.at(20, 32), 0xFFFF0000u);
    EXPECT_EQ(image.at(44, 32), 0xFF0000FFu);
}

TEST_F(TriMeshLayouts, CubicCoordinatesPickCubeFaces)
{
    IDirect3DDevice9* d3d = target.d3d();
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(d3d->CreateCubeTexture(1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const uint32_t faceColors[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
    for (int face = 0; face < 6; ++face) {
        D3DLOCKED_RECT rect{};
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &rect, nullptr, 0), D3D_OK);
        std::memcpy(rect.pBits, &faceColors[face], 4);
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    }
    // Left half towards -y, right half towards +x.
    KXTriMesh mesh;
    mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST,
             {{-0.5f, 0.5f, 0.5f}, {0.0f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.0f, -0.5f, 0.5f},
              {0.0f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {0.0f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}},
             {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6});
    mesh.setCubicTexCoordsArray({{0, -1, 0}, {0, -1, 0}, {0, -1, 0}, {0, -1, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0},
                                 {1, 0, 0}});
    KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
    EXPECT_EQ(impl.getFVF(), DWORD(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)));
    const PresentedImage image =
        meshtest::renderFrame(target, [&](IDirect3DDevice9* d) { d->SetTexture(0, cube); }, [&] { impl.draw(); });
    d3d->SetTexture(0, nullptr);
    cube->Release();
    EXPECT_EQ(image.at(24, 32), faceColors[D3DCUBEMAP_FACE_NEGATIVE_Y]);
    EXPECT_EQ(image.at(40, 32), faceColors[D3DCUBEMAP_FACE_POSITIVE_X]);
}

// A two-sided quad whose normals point away from the viewer and the
// light: its front side shows the ambient grey, its back side (normals
// turned towards the light) white.
class TwoSidedMeshes : public ::testing::Test
{
protected:
    enum Storage { POOL, OWN, SYSTEM };
    enum Shade { NONE, FRONT, BACK };

    void SetUp() override { ASSERT_TRUE(target.device); }

    // clockwise: wound clockwise on screen (front faces the viewer). The
    // storage is chosen by the layout: positions and normals go to the
    // pool, colours added make buffers of its own, colours and
    // coordinates system memory.
    static void setQuad(KXTriMesh& mesh, bool clockwise, Storage storage)
    {
        std::vector<uint32_t> indices = {0, 1, 2, 1, 3, 2};
        if (!clockwise)
            indices = {0, 2, 1, 1, 2, 3};
        mesh.set(KXTriMesh::KXTRIMESHTYPE_LIST,
                 {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}}, indices,
                 std::vector<KXUnitVector>(4, KXUnitVector(0, 0, 1)));
        if (storage != POOL)
            mesh.setColorArray(std::vector<KXColor>(4, KXColor(1, 1, 1)));
        if (storage == SYSTEM)
            mesh.setTexCoordsArray(std::vector<KXPosition2D>(4));
        mesh.setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
    }

    // What the centre pixel shows, and the cull mode left after the draw.
    std::pair<Shade, DWORD> draw(KXTriMesh& mesh, Storage storage, DWORD cull, bool additive = false)
    {
        KXDXTriMeshImpl impl(target.device.get(), target.device->getD3DCaps(), &mesh);
        EXPECT_EQ(impl.getStorage(), storage == SYSTEM ? KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_SYSTEMMEMORY
                                                       : KXDXTriMeshImpl::KXDXTRIMESHSTORAGE_BUFFERS);
        EXPECT_EQ(impl.hasPoolVertices(), storage == POOL);
        DWORD after = 0;
        const PresentedImage image = meshtest::renderFrame(
            target,
            [&](IDirect3DDevice9* d3d) {
                meshtest::lightFromViewer(d3d);
                D3DMATERIAL9 material{};
                material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
                material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
                d3d->SetMaterial(&material);
                d3d->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(64, 64, 64));
                d3d->SetRenderState(D3DRS_COLORVERTEX, FALSE);
                d3d->SetRenderState(D3DRS_CULLMODE, cull);
                d3d->SetRenderState(D3DRS_ZENABLE, additive ? D3DZB_FALSE : D3DZB_TRUE);
                d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, additive ? TRUE : FALSE);
                d3d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
                d3d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
            },
            [&] {
                impl.draw();
                target.d3d()->GetRenderState(D3DRS_CULLMODE, &after);
            });
        target.d3d()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        const uint32_t centre = image.empty() ? 0u : image.at(32, 32) & 0xFFFFFF;
        const Shade shade = centre == 0 ? NONE : centre == 0xFFFFFF ? BACK : FRONT;
        if (shade == FRONT) {
            EXPECT_PRED2(nearColor, centre, 0x404040u);
        }
        return {shade, after};
    }

    DeviceWindow target;
};

TEST_F(TwoSidedMeshes, TheBackSideShowsWhereTheFrontIsCulled)
{
    for (Storage storage : {POOL, OWN, SYSTEM}) {
        SCOPED_TRACE(testing::Message() << "storage " << storage);
        KXTriMesh away, facing;
        setQuad(away, false, storage);
        setQuad(facing, true, storage);
        using Result = std::pair<Shade, DWORD>;
        // Normal culling: the quad wound away from the viewer shows its back,
        // the one wound towards the viewer its front.
        EXPECT_EQ(draw(away, storage, D3DCULL_CCW), Result(BACK, D3DCULL_CCW));
        EXPECT_EQ(draw(facing, storage, D3DCULL_CCW), Result(FRONT, D3DCULL_CCW));
        // Mirrored culling swaps them.
        EXPECT_EQ(draw(facing, storage, D3DCULL_CW), Result(BACK, D3DCULL_CW));
        EXPECT_EQ(draw(away, storage, D3DCULL_CW), Result(FRONT, D3DCULL_CW));
        // Without culling only the front is drawn: added up, a back side
        // would show.
        EXPECT_EQ(draw(away, storage, D3DCULL_NONE, true), Result(FRONT, D3DCULL_NONE));
        // One-sided, the quad wound away is not drawn at all.
        away.setSidedness(KXTriMesh::KXSIDEDNESS_ONE);
        EXPECT_EQ(draw(away, storage, D3DCULL_CCW), Result(NONE, D3DCULL_CCW));
    }
}

} // namespace
