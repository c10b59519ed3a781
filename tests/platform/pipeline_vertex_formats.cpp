// The flexible vertex formats of meshes and polylines: where each field is
// read, what is ignored, and which pixels lines light.

#include "pipeline_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

using namespace d3dtest;

namespace {

constexpr int TARGET_SIZE = 32;

struct Point {
    int x, y;
};

// The pixels Direct3D's (GDI's) rule lights for a line between pixel
// centres: one per step along the major axis, the nearest to the line on
// the minor axis, from the first end up to but not including the last.
// The test lines have no ties.
void addLinePixels(Point a, Point b, std::set<std::pair<int, int>>& out)
{
    const int dx = b.x - a.x, dy = b.y - a.y, steps = std::max(std::abs(dx), std::abs(dy));
    for (int i = 0; i < steps; ++i)
        out.insert({static_cast<int>(std::lround(a.x + dx * static_cast<double>(i) / steps)),
                    static_cast<int>(std::lround(a.y + dy * static_cast<double>(i) / steps))});
}

// Vertices at pixel positions in the layout `fvf`: D3DFVF_XYZRHW at the
// position itself, D3DFVF_XYZ in clip space (identity transforms put
// screen x at (1 + x) 16, y at (1 - y) 16), then the normal (0, 0, -1),
// the colour and a (0, 0) coordinate set where the layout has them.
std::vector<DWORD> vertices(DWORD fvf, const std::vector<Point>& points, const std::vector<DWORD>& colours)
{
    std::vector<DWORD> out;
    for (size_t i = 0; i < points.size(); ++i) {
        const float x = static_cast<float>(points[i].x), y = static_cast<float>(points[i].y);
        if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW)
            out.insert(out.end(), {floatBits(x), floatBits(y), floatBits(0.5f), floatBits(1.0f)});
        else
            out.insert(out.end(), {floatBits(x / 16 - 1.0f), floatBits(1.0f - y / 16), floatBits(0.5f)});
        if (fvf & D3DFVF_NORMAL)
            out.insert(out.end(), {floatBits(0.0f), floatBits(0.0f), floatBits(-1.0f)});
        if (fvf & D3DFVF_DIFFUSE)
            out.push_back(colours[i % colours.size()]);
        if (fvf & D3DFVF_TEX1)
            out.insert(out.end(), {floatBits(0.0f), floatBits(0.0f)});
    }
    return out;
}

} // namespace

class PipelineVertexFormatTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(TARGET_SIZE, TARGET_SIZE, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    }

    // Clears, then draws `count` vertices' worth of `data`.
    void draw(DWORD fvf, D3DPRIMITIVETYPE type, UINT primitives, const std::vector<DWORD>& data, size_t count)
    {
        clear(0);
        device->SetFVF(fvf);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(type, primitives, data.data(),
                                                  static_cast<UINT>(data.size() * sizeof(DWORD) / count)));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }
};

TEST_F(PipelineVertexFormatTest, UnlitVerticesDrawTheirOwnColours)
{
    // With lighting off the mesh layout's colours are drawn as they are,
    // whatever D3DRS_COLORVERTEX says. D3DFVF_XYZRHW with D3DFVF_NORMAL,
    // documented as not to be used, is taken all the same: the normal lies
    // after the position and the vertices, lit already, are never lit.
    const std::vector<Point> corners = {{0, 0}, {32, 0}, {0, 32}, {32, 32}};
    const std::vector<DWORD> colours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    const DWORD mesh = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    struct Case {
        DWORD fvf, lighting, colourVertex;
    };
    for (const Case& c : {Case{mesh, FALSE, TRUE}, Case{mesh, FALSE, FALSE},
                          Case{D3DFVF_XYZRHW | D3DFVF_NORMAL | D3DFVF_DIFFUSE, TRUE, TRUE}}) {
        device->SetRenderState(D3DRS_LIGHTING, c.lighting);
        device->SetRenderState(D3DRS_COLORVERTEX, c.colourVertex);
        draw(c.fvf, D3DPT_TRIANGLESTRIP, 2, vertices(c.fvf, corners, colours), 4);
        // The pixel nearest each vertex.
        for (int i = 0; i < 4; ++i)
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(channel(colours[i], shift),
                            channel(pixel(std::min(corners[i].x, 31), std::min(corners[i].y, 31)), shift), 24)
                    << "fvf " << c.fvf << ", corner " << i << ", colour vertex " << c.colourVertex;
    }
}

TEST_F(PipelineVertexFormatTest, LinesLightThePixelsOfTheLineRule)
{
    // Axis-aligned, diagonal, shallow and steep segments, some drawn right
    // to left or bottom to top.
    const std::vector<Point> ends = {{2, 3}, {28, 3}, {5, 5}, {5, 25}, {8, 8}, {20, 20}, {3, 27},
                                     {24, 18}, {30, 2}, {22, 29}, {29, 14}, {8, 16}, {18, 30}, {14, 9}};
    std::set<std::pair<int, int>> lit;
    for (size_t i = 0; i < ends.size(); i += 2)
        addLinePixels(ends[i], ends[i + 1], lit);
    // Clip-space positions with a colour; screen positions without one,
    // drawn opaque white.
    for (const DWORD fvf : {D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DFVF_XYZRHW}) {
        draw(fvf, D3DPT_LINELIST, static_cast<UINT>(ends.size() / 2), vertices(fvf, ends, {0xFFC08040u}), ends.size());
        const DWORD colour = (fvf & D3DFVF_DIFFUSE) ? 0xC08040u : 0xFFFFFFu;
        const std::vector<DWORD> image = pixels32();
        int wrong = 0;
        for (int i = 0; i < TARGET_SIZE * TARGET_SIZE; ++i)
            wrong += (image[i] & 0xFFFFFF) != (lit.count({i % TARGET_SIZE, i / TARGET_SIZE}) ? colour : 0u);
        EXPECT_EQ(0, wrong) << "pixels unlike the rule's, fvf " << fvf;
    }
}
