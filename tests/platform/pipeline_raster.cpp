// Rasterisation rules: coverage of shared edges, the fill convention,
// lines, clipping, culling, and images independent of the thread count.

#include "pipeline_support.h"

#include <random>

using namespace d3dtest;

namespace {

// Additive blending of one unit per draw: each pixel's red channel counts
// how many times it was drawn.
void countDraws(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
}

constexpr DWORD ONE_RED = 0xFF010000;

} // namespace

class PipelineRasterTest : public PipelineTest
{
};

TEST_F(PipelineRasterTest, JitteredMeshCoversEveryPixelExactlyOnce)
{
    makeTarget(96, 80);
    clear(0);
    countDraws(device.get());
    // A grid over the whole target (and beyond) whose inner vertices sit at
    // random sub-pixel positions, some exactly on pixel centres.
    const int cells = 7;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> jitter(-4.0f, 4.0f);
    std::vector<float> gx((cells + 1) * (cells + 1)), gy(gx.size());
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            float x = -3.0f + i * (102.0f / cells), y = -5.0f + j * (90.0f / cells);
            if (i > 0 && i < cells && j > 0 && j < cells) {
                x += jitter(random);
                y += jitter(random);
                if ((i + j) % 3 == 0) {
                    x = std::round(x);
                    y = std::round(y);
                }
            }
            gx[j * (cells + 1) + i] = x;
            gy[j * (cells + 1) + i] = y;
        }
    std::vector<ScreenVertex> v;
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const int a = j * (cells + 1) + i, b = a + 1, c = a + cells + 1, d = c + 1;
            // Alternate the diagonal and the winding.
            const int tris[2][3] = {{a, b, d}, {a, d, c}};
            const int other[2][3] = {{a, b, c}, {b, d, c}};
            for (auto& t : ((i + j) & 1) ? other : tris)
                for (int k : t)
                    v.push_back({gx[k], gy[k], 0.5f, 1.0f, ONE_RED});
        }
    drawScreen(D3DPT_TRIANGLELIST, v, static_cast<UINT>(v.size() / 3));
    const std::vector<DWORD> image = pixels32();
    int wrong = 0;
    for (DWORD p : image)
        wrong += channel(p, 16) != 1;
    EXPECT_EQ(0, wrong);
}

TEST_F(PipelineRasterTest, FillConventionIncludesTopAndLeftEdgesOnly)
{
    makeTarget(16, 16);
    clear(0);
    countDraws(device.get());
    // Corners on pixel centres: columns and rows 2..5 are inside, 6 lies on
    // the right and bottom edges and is left out.
    drawRect(2.0f, 2.0f, 6.0f, 6.0f, 0.5f, ONE_RED);
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
            EXPECT_EQ(inside ? 1 : 0, channel(pixel(x, y), 16)) << x << "," << y;
        }
}

TEST_F(PipelineRasterTest, FanAroundACentreDrawsNoPixelTwice)
{
    makeTarget(64, 64);
    clear(0);
    countDraws(device.get());
    std::vector<ScreenVertex> fan = {{31.3f, 30.7f, 0.5f, 1, ONE_RED}};
    const int segments = 37;
    for (int i = 0; i <= segments; ++i) {
        const float a = 6.2831853f * (i % segments) / segments;
        fan.push_back({31.3f + 25.0f * std::cos(a), 30.7f + 25.0f * std::sin(a), 0.5f, 1, ONE_RED});
    }
    drawScreen(D3DPT_TRIANGLEFAN, fan, segments);
    int twice = 0, drawn = 0;
    for (DWORD p : pixels32()) {
        twice += channel(p, 16) > 1;
        drawn += channel(p, 16) == 1;
    }
    EXPECT_EQ(0, twice);
    // The 37-gon's area, within its perimeter's worth of pixels.
    const double area = 0.5 * segments * 25.0 * 25.0 * std::sin(6.2831853 / segments);
    EXPECT_NEAR(area, drawn, 2 * 3.1416 * 25);
}

TEST_F(PipelineRasterTest, LineStripDrawsSharedEndpointsOnce)
{
    makeTarget(32, 32);
    clear(0);
    countDraws(device.get());
    std::vector<ScreenVertex> strip = {{2, 2, 0.5f, 1, ONE_RED},
                                       {20, 2, 0.5f, 1, ONE_RED},
                                       {20, 15, 0.5f, 1, ONE_RED},
                                       {5, 25, 0.5f, 1, ONE_RED}};
    drawScreen(D3DPT_LINESTRIP, strip, 3);
    int twice = 0, drawn = 0;
    for (DWORD p : pixels32()) {
        twice += channel(p, 16) > 1;
        drawn += channel(p, 16) == 1;
    }
    EXPECT_EQ(0, twice);
    // One pixel per step along each segment's major axis: 18 + 13 + 15.
    EXPECT_EQ(18 + 13 + 15, drawn);
    EXPECT_EQ(1, channel(pixel(2, 2), 16));
    EXPECT_EQ(1, channel(pixel(19, 2), 16));
}

TEST_F(PipelineRasterTest, CullModesJudgeTheWindingOnScreen)
{
    makeTarget(16, 16);
    // Clockwise on screen (y down).
    std::vector<ScreenVertex> clockwise = {{1, 1, 0.5f, 1, 0xFFFFFFFF}, {14, 1, 0.5f, 1, 0xFFFFFFFF},
                                           {1, 14, 0.5f, 1, 0xFFFFFFFF}};
    std::vector<ScreenVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
    const DWORD modes[3] = {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW};
    const bool drawsClockwise[3] = {true, false, true};
    const bool drawsCounter[3] = {true, true, false};
    for (int m = 0; m < 3; ++m) {
        device->SetRenderState(D3DRS_CULLMODE, modes[m]);
        clear(0);
        drawScreen(D3DPT_TRIANGLELIST, clockwise, 1);
        EXPECT_EQ(drawsClockwise[m], pixel(3, 3) != 0) << m;
        clear(0);
        drawScreen(D3DPT_TRIANGLELIST, counter, 1);
        EXPECT_EQ(drawsCounter[m], pixel(3, 3) != 0) << m;
    }
}

TEST_F(PipelineRasterTest, TrianglesCrossingTheNearPlaneAreClipped)
{
    makeTarget(32, 32);
    clear(0);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, 1.5707963f, 1.0f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    struct Vertex {
        float x, y, z;
        DWORD color;
    };
    // A floor reaching from behind the viewer far into the distance: the
    // part behind the near plane is cut off, the rest fills the lower half.
    const Vertex floor[4] = {{-50, -1, -10, 0xFF00FF00}, {50, -1, -10, 0xFF00FF00}, {-50, -1, 90, 0xFF00FF00},
                             {50, -1, 90, 0xFF00FF00}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, floor, sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(0xFF00FF00u, pixel(16, 31));
    EXPECT_EQ(0xFF00FF00u, pixel(0, 20));
    EXPECT_EQ(0u, pixel(16, 10));
}

TEST_F(PipelineRasterTest, UserClipPlanesCutInWorldSpace)
{
    makeTarget(32, 32);
    clear(0);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    D3DXMATRIX world;
    // The world transform moves the quad; the plane x >= 0.5 is in world space.
    D3DXMatrixTranslation(&world, 0.5f, 0.0f, 0.0f);
    device->SetTransform(D3DTS_WORLD, &world);
    const float plane[4] = {1.0f, 0.0f, 0.0f, -0.5f};
    device->SetClipPlane(0, plane);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 1);
    struct Vertex {
        float x, y, z;
        DWORD color;
    };
    const Vertex quad[4] = {{-1.5f, -1, 0.5f, 0xFFFF0000}, {0.5f, -1, 0.5f, 0xFFFF0000}, {-1.5f, 1, 0.5f, 0xFFFF0000},
                            {0.5f, 1, 0.5f, 0xFFFF0000}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    // World x spans -1..1 on screen columns 0..32; the plane keeps x >= 0.5.
    EXPECT_EQ(0u, pixel(20, 16));
    EXPECT_EQ(0xFFFF0000u, pixel(26, 16));
}

TEST_F(PipelineRasterTest, ImagesAreIdenticalWhateverTheThreadCount)
{
    makeTarget(300, 200);
    // Enough triangles and vertices for vertex shading and setup to be
    // split into parallel chunks too.
    std::vector<ScreenVertex> v;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(-20.0f, 320.0f), y(-20.0f, 220.0f), z(0.0f, 1.0f), d(-15.0f, 15.0f);
    std::uniform_int_distribution<DWORD> color(0, 0xFFFFFFFF);
    const UINT triangles = 12000;
    for (UINT i = 0; i < triangles; ++i) {
        const float cx = x(random), cy = y(random);
        for (int k = 0; k < 3; ++k)
            v.push_back({cx + d(random), cy + d(random), z(random), 1.0f, color(random) | 0x20000000});
    }
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    std::vector<DWORD> reference;
    for (UINT threads : {1u, 2u, 5u}) {
        ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), threads));
        clear(0xFF102030);
        drawScreen(D3DPT_TRIANGLELIST, v, triangles);
        const std::vector<DWORD> image = pixels32();
        if (reference.empty())
            reference = image;
        else
            EXPECT_TRUE(image == reference) << threads << " threads";
    }
}

TEST_F(PipelineRasterTest, AStrideShorterThanTheLayoutNeverReadsPastTheBuffer)
{
    makeTarget(16, 16);
    clear(0);
    // Three 16-byte positions in a 48-byte buffer under a 20-byte layout:
    // the third vertex's colour would lie past the end of the buffer, so
    // that vertex is not read and its triangle is dropped.
    Com<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(48, 0, 0, D3DPOOL_MANAGED, buffer.out(), nullptr));
    void* p = nullptr;
    ASSERT_EQ(D3D_OK, buffer->Lock(0, 0, &p, 0));
    const float positions[12] = {0, 0, 0.5f, 1, 16, 0, 0.5f, 1, 0, 16, 0.5f, 1};
    std::memcpy(p, positions, sizeof(positions));
    buffer->Unlock();
    device->SetFVF(SCREEN_FVF);
    device->SetStreamSource(0, buffer.get(), 0, 16);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1));
    ASSERT_EQ(D3D_OK, device->EndScene());
    device->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(0u, pixel(2, 2));
}
