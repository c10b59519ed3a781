// The flexible vertex formats of meshes and polylines drawn from vertex
// buffers: where each field is read, what is ignored, and which pixels
// lines light.

#include "pipeline_support.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

using namespace d3dtest;

namespace {

constexpr UINT TARGET_SIZE = 32;

// The pixels Direct3D's (GDI's) rule lights for a line between pixel
// centres: one per step along the major axis, the nearest to the line on
// the minor axis, from the first end up to but not including the last.
// The test lines have no ties.
std::set<std::pair<int, int>> linePixels(int x0, int y0, int x1, int y1)
{
    std::set<std::pair<int, int>> out;
    const int dx = x1 - x0, dy = y1 - y0;
    if (std::abs(dx) >= std::abs(dy)) {
        const int step = dx > 0 ? 1 : -1;
        for (int i = 0; i < std::abs(dx); ++i) {
            const int x = x0 + i * step;
            out.insert({x, static_cast<int>(std::lround(y0 + static_cast<double>(dy) * (x - x0) / dx))});
        }
    } else {
        const int step = dy > 0 ? 1 : -1;
        for (int i = 0; i < std::abs(dy); ++i) {
            const int y = y0 + i * step;
            out.insert({static_cast<int>(std::lround(x0 + static_cast<double>(dx) * (y - y0) / dy)), y});
        }
    }
    return out;
}

struct Point {
    int x, y;
};

// The polyline layouts: positions in screen pixels or in clip space
// (identity transforms), with or without a colour word.
enum class Layout { Position, Screen, PositionColour, ScreenColour };

DWORD fvfOf(Layout layout)
{
    switch (layout) {
    case Layout::Position: return D3DFVF_XYZ;
    case Layout::Screen: return D3DFVF_XYZRHW;
    case Layout::PositionColour: return D3DFVF_XYZ | D3DFVF_DIFFUSE;
    default: return D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
    }
}

// Vertex bytes of a layout for points at pixel centres.
std::vector<float> vertexData(Layout layout, const std::vector<Point>& points, DWORD colour, UINT& stride)
{
    std::vector<float> data;
    const bool screen = layout == Layout::Screen || layout == Layout::ScreenColour;
    const bool coloured = layout == Layout::PositionColour || layout == Layout::ScreenColour;
    for (const Point& p : points) {
        if (screen) {
            data.insert(data.end(), {static_cast<float>(p.x), static_cast<float>(p.y), 0.5f, 1.0f});
        } else {
            // Screen x = (1 + x) 16 and y = (1 - y) 16 put pixel centres at multiples of 1/16.
            const float half = TARGET_SIZE / 2.0f;
            data.insert(data.end(), {p.x / half - 1.0f, 1.0f - p.y / half, 0.5f});
        }
        if (coloured) {
            float word;
            std::memcpy(&word, &colour, 4);
            data.push_back(word);
        }
    }
    stride = static_cast<UINT>((screen ? 16 : 12) + (coloured ? 4 : 0));
    return data;
}

} // namespace

class PipelineVertexFormatTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(TARGET_SIZE, TARGET_SIZE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    // A managed vertex buffer holding `bytes`, bound to stream 0.
    void bindBuffer(const void* bytes, UINT size, UINT stride, DWORD fvf)
    {
        ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(size, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED,
                                                     buffer.out(), nullptr));
        void* data = nullptr;
        ASSERT_EQ(D3D_OK, buffer->Lock(0, 0, &data, 0));
        std::memcpy(data, bytes, size);
        buffer->Unlock();
        ASSERT_EQ(D3D_OK, device->SetStreamSource(0, buffer.get(), 0, stride));
        ASSERT_EQ(D3D_OK, device->SetFVF(fvf));
    }

    void draw(D3DPRIMITIVETYPE type, UINT primitives)
    {
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitive(type, 0, primitives));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    void TearDown() override
    {
        device->SetStreamSource(0, nullptr, 0, 0);
        buffer.reset();
        PipelineTest::TearDown();
    }

    Com<IDirect3DVertexBuffer9> buffer;
};

TEST_F(PipelineVertexFormatTest, PreTransformedVerticesSkipTheNormalTheyShouldNotHave)
{
    // D3DFVF_XYZRHW with D3DFVF_NORMAL is documented as a combination not to
    // use; the runtime takes it all the same, lays the normal out after the
    // position and, the vertices being lit already, never lights them.
    struct Vertex {
        float x, y, z, rhw;
        float nx, ny, nz;
        DWORD colour;
    };
    const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
    const float e = static_cast<float>(TARGET_SIZE);
    const Vertex quad[4] = {{0, 0, 0.5f, 1, 0, 0, -1, 0xFF2040C0},
                            {e, 0, 0.5f, 1, 0, 0, -1, 0xFF2040C0},
                            {0, e, 0.5f, 1, 0, 0, -1, 0xFF2040C0},
                            {e, e, 0.5f, 1, 0, 0, -1, 0xFF2040C0}};
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    clear(0);
    bindBuffer(quad, sizeof(quad), sizeof(Vertex), fvf);
    DWORD set = 0;
    device->GetFVF(&set);
    EXPECT_EQ(fvf, set);
    draw(D3DPT_TRIANGLESTRIP, 2);
    EXPECT_EQ(0x2040C0u, pixel(3, 5) & 0xFFFFFF);
    EXPECT_EQ(0x2040C0u, pixel(30, 30) & 0xFFFFFF);
}

TEST_F(PipelineVertexFormatTest, ThreeComponentCoordinatesAddressACubeTexture)
{
    // The mesh layout with a cubic coordinate: position, normal, then
    // (s, t, r) by D3DFVF_TEXCOORDSIZE3(0). Each face of the cube has its
    // own colour; a direction picks its face by the largest component.
    const DWORD faceColours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(D3D_OK, device->CreateCubeTexture(2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.out(), nullptr));
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 0, &locked, nullptr, 0));
        for (int i = 0; i < 4; ++i)
            static_cast<DWORD*>(locked.pBits)[(i / 2) * (locked.Pitch / 4) + i % 2] = faceColours[f];
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 0);
    }
    device->SetTexture(0, cube.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);

    struct Vertex {
        float x, y, z;
        float nx, ny, nz;
        float s, t, r;
    };
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);
    ASSERT_EQ(0x10112u, fvf);
    static_assert(sizeof(Vertex) == 36, "the renderer's stride");
    // A quad whose direction turns from (-1, 0.2, -3) at the left edge to
    // (1, 0.2, 3) at the right across the +x face: -z on the left third,
    // +x in the middle, +z on the right.
    const Vertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, 1, 0.2f, -3}, {1, 1, 0.5f, 0, 0, -1, 1, 0.2f, 3},
                            {-1, -1, 0.5f, 0, 0, -1, 1, 0.2f, -3}, {1, -1, 0.5f, 0, 0, -1, 1, 0.2f, 3}};
    clear(0);
    bindBuffer(quad, sizeof(quad), sizeof(Vertex), fvf);
    draw(D3DPT_TRIANGLESTRIP, 2);
    EXPECT_EQ(faceColours[D3DCUBEMAP_FACE_NEGATIVE_Z] & 0xFFFFFF, pixel(3, 16) & 0xFFFFFF);
    EXPECT_EQ(faceColours[D3DCUBEMAP_FACE_POSITIVE_X] & 0xFFFFFF, pixel(16, 16) & 0xFFFFFF);
    EXPECT_EQ(faceColours[D3DCUBEMAP_FACE_POSITIVE_Z] & 0xFFFFFF, pixel(29, 16) & 0xFFFFFF);

    // The y component selects the vertical faces the same way.
    const Vertex up[4] = {{-1, 1, 0.5f, 0, 0, -1, 0.1f, 5, -0.2f}, {1, 1, 0.5f, 0, 0, -1, 0.1f, 5, -0.2f},
                          {-1, -1, 0.5f, 0, 0, -1, 0.1f, -5, -0.2f}, {1, -1, 0.5f, 0, 0, -1, 0.1f, -5, -0.2f}};
    bindBuffer(up, sizeof(up), sizeof(Vertex), fvf);
    draw(D3DPT_TRIANGLESTRIP, 2);
    EXPECT_EQ(faceColours[D3DCUBEMAP_FACE_POSITIVE_Y] & 0xFFFFFF, pixel(16, 2) & 0xFFFFFF);
    EXPECT_EQ(faceColours[D3DCUBEMAP_FACE_NEGATIVE_Y] & 0xFFFFFF, pixel(16, 29) & 0xFFFFFF);
    device->SetTexture(0, nullptr);
}

TEST_F(PipelineVertexFormatTest, UnlitVerticesDrawTheirOwnColours)
{
    // With lighting off the vertex colours are drawn as they are, whatever
    // D3DRS_COLORVERTEX says, for the mesh layouts that carry colours; the
    // first stage's texture operation has no texture and ends the cascade.
    struct PositionColour {
        float x, y, z;
        DWORD colour;
    };
    struct Full {
        float x, y, z;
        float nx, ny, nz;
        DWORD colour;
        float u, v;
    };
    const DWORD colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    const float corner[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    // The pixels at the corners, nearest each vertex.
    const Point near[4] = {{0, 0}, {31, 0}, {0, 31}, {31, 31}};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (const DWORD colourVertex : {TRUE, FALSE}) {
        device->SetRenderState(D3DRS_COLORVERTEX, colourVertex);
        for (const DWORD fvf : {static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE),
                                static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1)}) {
            clear(0);
            if (fvf == (D3DFVF_XYZ | D3DFVF_DIFFUSE)) {
                PositionColour quad[4];
                for (int i = 0; i < 4; ++i)
                    quad[i] = {corner[i][0], corner[i][1], 0.5f, colours[i]};
                bindBuffer(quad, sizeof(quad), sizeof(PositionColour), fvf);
            } else {
                Full quad[4];
                for (int i = 0; i < 4; ++i)
                    quad[i] = {corner[i][0], corner[i][1], 0.5f, 0, 0, -1, colours[i], 0, 0};
                bindBuffer(quad, sizeof(quad), sizeof(Full), fvf);
            }
            draw(D3DPT_TRIANGLESTRIP, 2);
            for (int i = 0; i < 4; ++i) {
                const DWORD got = pixel(static_cast<UINT>(near[i].x), static_cast<UINT>(near[i].y));
                for (int shift : {16, 8, 0})
                    EXPECT_NEAR(channel(colours[i], shift), channel(got, shift), 24)
                        << "fvf " << fvf << " corner " << i << " colour vertex " << colourVertex;
            }
        }
    }
}

TEST_F(PipelineVertexFormatTest, LinesFromVertexBuffersLightTheRulesPixels)
{
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    // Separate segments: axis-aligned, diagonal, shallow and steep, some
    // drawn right to left or bottom to top.
    const std::vector<Point> list = {{2, 3}, {28, 3}, {5, 5}, {5, 25}, {8, 8}, {20, 20}, {3, 27},
                                     {24, 18}, {30, 2}, {22, 29}, {29, 14}, {8, 16}, {18, 30}, {14, 9}};
    // A chain, whose inner ends are drawn once, by the segment they start.
    const std::vector<Point> strip = {{2, 30}, {12, 20}, {26, 24}, {26, 10}, {15, 12}};
    std::set<std::pair<int, int>> listPixels, stripPixels;
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
        const auto p = linePixels(list[i].x, list[i].y, list[i + 1].x, list[i + 1].y);
        listPixels.insert(p.begin(), p.end());
    }
    for (size_t i = 0; i + 1 < strip.size(); ++i) {
        const auto p = linePixels(strip[i].x, strip[i].y, strip[i + 1].x, strip[i + 1].y);
        stripPixels.insert(p.begin(), p.end());
    }

    for (const Layout layout : {Layout::Position, Layout::Screen, Layout::PositionColour, Layout::ScreenColour}) {
        const bool coloured = layout == Layout::PositionColour || layout == Layout::ScreenColour;
        // Vertices without a colour are opaque white.
        const DWORD expected = coloured ? 0x00C08040u : 0x00FFFFFFu;
        for (const D3DPRIMITIVETYPE type : {D3DPT_LINELIST, D3DPT_LINESTRIP}) {
            const std::vector<Point>& points = type == D3DPT_LINELIST ? list : strip;
            const std::set<std::pair<int, int>>& lit = type == D3DPT_LINELIST ? listPixels : stripPixels;
            UINT stride = 0;
            const std::vector<float> data = vertexData(layout, points, 0xFFC08040u, stride);
            clear(0);
            bindBuffer(data.data(), static_cast<UINT>(data.size() * sizeof(float)), stride, fvfOf(layout));
            const UINT count = static_cast<UINT>(points.size());
            draw(type, type == D3DPT_LINELIST ? count / 2 : count - 1);
            const std::vector<DWORD> image = pixels32();
            int wrong = 0;
            for (int y = 0; y < static_cast<int>(TARGET_SIZE); ++y)
                for (int x = 0; x < static_cast<int>(TARGET_SIZE); ++x) {
                    const DWORD got = image[y * TARGET_SIZE + x] & 0xFFFFFF;
                    const DWORD want = lit.count({x, y}) ? expected : 0u;
                    if (got != want && ++wrong <= 4)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected "
                                      << want << std::dec << "; fvf " << fvfOf(layout) << ", "
                                      << (type == D3DPT_LINELIST ? "list" : "strip");
                }
            EXPECT_EQ(0, wrong);
        }
    }
}
