// Per-pixel operations: blend factors and operations against values worked
// out here, write masks, 16-bit quantisation, alpha test, stencil counts,
// depth bias at 16- and 24-bit precision, depth clears that keep the
// stencil, and multisample resolve.

#include "pipeline_support.h"

#include <cmath>

using namespace d3dtest;

namespace {

int to8(double v) { return static_cast<int>(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0)); }

} // namespace

struct WhiteVertex {
    float x, y, z;
    DWORD color;
};

class PipelinePixelOpsTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(8, 8);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    // Draws the white strip with the projection into a 16 x 16 target of
    // four samples and expects every border pixel white: each of its
    // samples covered. Skips on a device without four-sample targets.
    // Draws into a 16 x 16 target of four samples, resolved into the 16 x 16
    // single-sample target; false (msaa empty) on a device without one.
    bool bindFourSampleTarget(Com<IDirect3DSurface9>& msaa)
    {
        if (FAILED(device->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE,
                                              msaa.out(), nullptr)))
            return false;
        target.reset();
        depth.reset();
        makeTarget(16, 16, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN);
        device->SetRenderTarget(0, msaa.get());
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        return true;
    }

    void drawWhiteStripIntoFourSamples(const D3DMATRIX& projection, const std::vector<WhiteVertex>& strip)
    {
        Com<IDirect3DSurface9> msaa;
        if (!bindFourSampleTarget(msaa))
            GTEST_SKIP() << "no 4-sample targets";
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0));
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, static_cast<UINT>(strip.size() - 2),
                                                  strip.data(), sizeof(WhiteVertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
        ASSERT_EQ(D3D_OK, device->StretchRect(msaa.get(), nullptr, target.get(), nullptr, D3DTEXF_NONE));
        for (UINT i = 0; i < 16; ++i) {
            EXPECT_EQ(0xFFFFFFFFu, pixel(i, 0)) << "top row, column " << i;
            EXPECT_EQ(0xFFFFFFFFu, pixel(0, i)) << "left column, row " << i;
            EXPECT_EQ(0xFFFFFFFFu, pixel(i, 15)) << "bottom row, column " << i;
            EXPECT_EQ(0xFFFFFFFFu, pixel(15, i)) << "right column, row " << i;
        }
    }
};

TEST_F(PipelinePixelOpsTest, EveryBlendFactorMatchesItsDefinition)
{
    const DWORD dstColor = 0x8040C020, srcColor = 0x60C86432, constant = 0x30A05010;
    device->SetRenderState(D3DRS_BLENDFACTOR, constant);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    auto unpack = [](DWORD c, double* rgba) {
        rgba[0] = channel(c, 16) / 255.0;
        rgba[1] = channel(c, 8) / 255.0;
        rgba[2] = channel(c, 0) / 255.0;
        rgba[3] = channel(c, 24) / 255.0;
    };
    double s[4], d[4], k[4];
    unpack(srcColor, s);
    unpack(dstColor, d);
    unpack(constant, k);
    // Factor f for channel i (3: alpha).
    auto factor = [&](DWORD f, int i) -> double {
        switch (f) {
        case D3DBLEND_ZERO: return 0.0;
        case D3DBLEND_ONE: return 1.0;
        case D3DBLEND_SRCCOLOR: return s[i];
        case D3DBLEND_INVSRCCOLOR: return 1.0 - s[i];
        case D3DBLEND_SRCALPHA: return s[3];
        case D3DBLEND_INVSRCALPHA: return 1.0 - s[3];
        case D3DBLEND_DESTALPHA: return d[3];
        case D3DBLEND_INVDESTALPHA: return 1.0 - d[3];
        case D3DBLEND_DESTCOLOR: return d[i];
        case D3DBLEND_INVDESTCOLOR: return 1.0 - d[i];
        case D3DBLEND_SRCALPHASAT: return i == 3 ? 1.0 : std::min(s[3], 1.0 - d[3]);
        case D3DBLEND_BLENDFACTOR: return k[i];
        case D3DBLEND_INVBLENDFACTOR: return 1.0 - k[i];
        default: return -1.0;
        }
    };
    const DWORD factors[] = {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                             D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA,
                             D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCALPHASAT, D3DBLEND_BLENDFACTOR,
                             D3DBLEND_INVBLENDFACTOR};
    for (DWORD sf : factors)
        for (DWORD df : {static_cast<DWORD>(D3DBLEND_ONE), static_cast<DWORD>(D3DBLEND_INVSRCCOLOR),
                         static_cast<DWORD>(D3DBLEND_DESTALPHA)}) {
            device->SetRenderState(D3DRS_SRCBLEND, sf);
            device->SetRenderState(D3DRS_DESTBLEND, df);
            clear(dstColor);
            drawRect(0, 0, 8, 8, 0.5f, srcColor);
            const DWORD got = pixel(3, 3);
            const int shifts[4] = {16, 8, 0, 24};
            for (int i = 0; i < 4; ++i) {
                const double expected = s[i] * factor(sf, i) + d[i] * factor(df, i);
                EXPECT_NEAR(to8(expected), channel(got, shifts[i]), 1) << "src " << sf << " dst " << df << " ch " << i;
            }
        }
    // The "both" factors set the destination factor too.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    clear(dstColor);
    drawRect(0, 0, 8, 8, 0.5f, srcColor);
    EXPECT_NEAR(to8(s[0] * (1 - s[3]) + d[0] * s[3]), channel(pixel(3, 3), 16), 1);
}

TEST_F(PipelinePixelOpsTest, BlendOperationsAndSeparateAlpha)
{
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const DWORD dst = 0x80604020, src = 0x40306090;
    struct Case {
        DWORD op;
        int r, g, b;
    };
    const Case cases[] = {{D3DBLENDOP_ADD, 0x90, 0xA0, 0xB0},
                          {D3DBLENDOP_SUBTRACT, 0x00, 0x20, 0x70},
                          {D3DBLENDOP_REVSUBTRACT, 0x30, 0x00, 0x00},
                          {D3DBLENDOP_MIN, 0x30, 0x40, 0x20},
                          {D3DBLENDOP_MAX, 0x60, 0x60, 0x90}};
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_BLENDOP, c.op);
        clear(dst);
        drawRect(0, 0, 8, 8, 0.5f, src);
        const DWORD got = pixel(2, 2);
        EXPECT_EQ(c.r, channel(got, 16)) << c.op;
        EXPECT_EQ(c.g, channel(got, 8)) << c.op;
        EXPECT_EQ(c.b, channel(got, 0)) << c.op;
    }
    // Alpha with its own factors: src ZERO, dst ONE keeps the old alpha
    // while the colour adds.
    device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
    clear(dst);
    drawRect(0, 0, 8, 8, 0.5f, src);
    EXPECT_EQ(0x80u, pixel(2, 2) >> 24);
    EXPECT_EQ(0x90, channel(pixel(2, 2), 16));
}

TEST_F(PipelinePixelOpsTest, ColorWriteMaskKeepsDisabledChannels)
{
    device->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA);
    clear(0x11223344);
    drawRect(0, 0, 8, 8, 0.5f, 0xAABBCCDD);
    EXPECT_EQ(0xAABB3344u, pixel(4, 4));
}

TEST_F(PipelinePixelOpsTest, AlphaTestComparesAgainstTheReference)
{
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    clear(0);
    drawRect(0, 0, 4, 8, 0.5f, 0x80FF0000);
    drawRect(4, 0, 8, 8, 0.5f, 0x81FF0000);
    EXPECT_EQ(0u, pixel(1, 1));
    EXPECT_EQ(0x81FF0000u, pixel(5, 1));
}

TEST_F(PipelinePixelOpsTest, SixteenBitTargetsRoundEachChannel)
{
    target.reset();
    depth.reset();
    makeTarget(8, 8, D3DFMT_R5G6B5, D3DFMT_UNKNOWN);
    clear(0);
    const int r = 100, g = 150, b = 200;
    drawRect(0, 0, 8, 8, 0.5f, D3DCOLOR_XRGB(r, g, b));
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, target->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    uint16_t value;
    std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + 2 * locked.Pitch + 2 * 2, 2);
    target->UnlockRect();
    EXPECT_EQ(std::lround(r * 31 / 255.0), value >> 11);
    EXPECT_EQ(std::lround(g * 63 / 255.0), (value >> 5) & 0x3F);
    EXPECT_EQ(std::lround(b * 31 / 255.0), value & 0x1F);
}

TEST_F(PipelinePixelOpsTest, StencilCountsOverlappingDraws)
{
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    clear(0, 1.0f, 0);
    const float rects[4][4] = {{0, 0, 6, 6}, {2, 2, 8, 8}, {1, 3, 5, 7}, {3, 0, 4, 8}};
    for (const auto& rc : rects)
        drawRect(rc[0], rc[1], rc[2], rc[3], 0.5f, 0xFFFFFFFF);
    // Read the counts back by drawing one colour per stencil value.
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    for (DWORD k = 0; k <= 4; ++k) {
        device->SetRenderState(D3DRS_STENCILREF, k);
        drawRect(0, 0, 8, 8, 0.5f, 0xFF000000 | (k * 40));
    }
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) {
            int count = 0;
            for (const auto& rc : rects)
                count += x >= rc[0] && x < rc[2] && y >= rc[1] && y < rc[3];
            EXPECT_EQ(count * 40, channel(pixel(x, y), 0)) << x << "," << y;
        }
}

TEST_F(PipelinePixelOpsTest, LargeDepthClearsKeepTheStencilInEveryRow)
{
    // A clear of many rows is split into bands of rows on several threads:
    // a depth clear still reaches every row and keeps every stencil value.
    ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), 2));
    makeTarget(70, 301);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILREF, 9);
    clear(0, 0.0f, 9);
    for (const float z : {1.0f, 0.25f}) {
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, z, 0));
        drawRect(0, 0, 70, 301, 0.5f, 0xFFFFFFFF);
        const std::vector<DWORD> image = pixels32();
        const DWORD expected = z == 1.0f ? 0xFFFFFFFFu : 0u;
        size_t differing = 0;
        for (const DWORD c : image)
            differing += c != expected;
        EXPECT_EQ(0u, differing) << "depth cleared to " << z;
    }
}

TEST_F(PipelinePixelOpsTest, StencilOperationsOnFailAndDepthFail)
{
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_LESS);
    device->SetRenderState(D3DRS_STENCILREF, 5);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_REPLACE);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_INVERT);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECRSAT);
    // Left half: stencil 7 (5 < 7 passes), right half stencil 2 (fails).
    clear(0, 0.5f, 7);
    ASSERT_EQ(D3D_OK, device->Clear(1, reinterpret_cast<const D3DRECT*>(&(const RECT&)RECT{4, 0, 8, 8}),
                                    D3DCLEAR_STENCIL, 0, 0.5f, 2));
    // Top rows behind the stored depth, bottom rows in front.
    drawRect(0, 0, 8, 4, 0.9f, 0xFFFFFFFF);
    drawRect(0, 4, 8, 8, 0.1f, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    // Top left: depth fails (invert 7); bottom left: both pass (decrement
    // 7); right: the stencil test fails (replace with the reference).
    const DWORD expected[4] = {static_cast<DWORD>(~7u & 0xFF), 6, 5, 5};
    const UINT probes[4][2] = {{1, 1}, {1, 6}, {6, 1}, {6, 6}};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
        device->SetRenderState(D3DRS_STENCILREF, expected[i]);
        drawRect(0, 0, 8, 8, 0.5f, 0xFFFFFFFF);
        EXPECT_EQ(0xFFFFFFFFu, pixel(probes[i][0], probes[i][1])) << i;
    }
}

TEST_F(PipelinePixelOpsTest, DepthBiasOrdersCoplanarDrawsAtTheBufferPrecision)
{
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24S8}) {
        target.reset();
        depth.reset();
        makeTarget(8, 8, D3DFMT_A8R8G8B8, format);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        const double unit = format == D3DFMT_D16 ? 1.0 / 65535 : 1.0 / 16777215;
        struct Case {
            double units;
            bool drawn;
        };
        // A bias below half a unit of the buffer rounds to the same depth;
        // the depth itself is a whole number of units.
        const Case cases[] = {{0.0, false}, {-0.2, false}, {-2.0, true}, {2.0, false}};
        const float z = static_cast<float>(4099 * unit);
        for (const Case& c : cases) {
            device->SetRenderState(D3DRS_DEPTHBIAS, 0);
            clear(0);
            drawRect(0, 0, 8, 8, z, 0xFFFF0000);
            device->SetRenderState(D3DRS_DEPTHBIAS, floatBits(static_cast<float>(c.units * unit)));
            drawRect(0, 0, 8, 8, z, 0xFF00FF00);
            EXPECT_EQ(c.drawn ? 0xFF00FF00u : 0xFFFF0000u, pixel(4, 4)) << format << " bias " << c.units;
        }
        device->SetRenderState(D3DRS_DEPTHBIAS, 0);
    }
}

// The samples of a multisampled target's left column at x offsets -6/16
// and -2/16 lie outside the clip square: a strip covering them is drawn
// into them whether it reaches a hair into the view or stops a hair short
// of it (before, the second was dropped for lying wholly beyond the side,
// and tiles drawn side by side showed a column of half-covered pixels).
TEST_F(PipelinePixelOpsTest, StripsLeftOfTheViewStillCoverTheLeftColumnsSamples)
{
    for (const float right : {0.01f, -0.01f}) {
        Com<IDirect3DSurface9> msaa;
        if (!bindFourSampleTarget(msaa))
            GTEST_SKIP() << "no 4-sample targets";
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0));
        // Screen x -0.45 to `right` (screen x = (clip x + 1) · 8), all rows.
        const float x0 = -0.45f / 8.0f - 1.0f, x1 = right / 8.0f - 1.0f;
        const WhiteVertex strip[] = {{x0, 2.0f, 0.5f, 0xFFFFFFFF}, {x1, 2.0f, 0.5f, 0xFFFFFFFF},
                                     {x0, -2.0f, 0.5f, 0xFFFFFFFF}, {x1, -2.0f, 0.5f, 0xFFFFFFFF}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(WhiteVertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
        ASSERT_EQ(D3D_OK, device->StretchRect(msaa.get(), nullptr, target.get(), nullptr, D3DTEXF_NONE));
        // Two of the four samples covered: half white.
        EXPECT_NEAR(channel(pixel(0, 8), 16), 128, 1) << "strip ending at " << right;
        EXPECT_EQ(channel(pixel(1, 8), 16), 0);
    }
}

TEST_F(PipelinePixelOpsTest, MultisampledEdgesResolveToCoverage)
{
    Com<IDirect3DSurface9> msaa;
    if (!bindFourSampleTarget(msaa))
        GTEST_SKIP() << "no 4-sample targets";
    ASSERT_EQ(D3D_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0));
    // A diagonal edge through the middle: interior pixels full white, the
    // pixels it crosses in between.
    std::vector<ScreenVertex> v = {{-1, -1, 0.5f, 1, 0xFFFFFFFF}, {17, -1, 0.5f, 1, 0xFFFFFFFF},
                                   {-1, 17, 0.5f, 1, 0xFFFFFFFF}};
    drawScreen(D3DPT_TRIANGLELIST, v, 1);
    ASSERT_EQ(D3D_OK, device->StretchRect(msaa.get(), nullptr, target.get(), nullptr, D3DTEXF_NONE));
    EXPECT_EQ(0xFFFFFFFFu, pixel(2, 2));
    EXPECT_EQ(0xFF000000u, pixel(14, 14));
    int partial = 0;
    // Pixel centres on the edge have some samples on each side.
    for (UINT i = 1; i < 16; ++i) {
        const int r = channel(pixel(i, 16 - i), 16);
        partial += r > 0 && r < 255;
    }
    EXPECT_GT(partial, 8);
}

// Within the guard band the sides of the view volume do not cut triangles:
// the rasterizer keeps to the viewport's pixels, so a triangle reaching past
// the view covers every sample of the border pixels, including the samples
// that lie outside the clip square (Direct3D 9 puts pixel centres on whole
// coordinates, so half of them do).
TEST_F(PipelinePixelOpsTest, TrianglesPastTheViewCoverTheBorderPixelsWhole)
{
    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    // Twice the clip square, as a square of two triangles.
    drawWhiteStripIntoFourSamples(identity, {{-2, -2, 0.5f, 0xFFFFFFFF},
                                             {2, -2, 0.5f, 0xFFFFFFFF},
                                             {-2, 2, 0.5f, 0xFFFFFFFF},
                                             {2, 2, 0.5f, 0xFFFFFFFF}});
}

// The same for a triangle that reaches behind the eye: it must be cut, and
// its sides are cut at the guard band's edges, not the view's (a large floor
// seen in perspective, drawn tile by tile, would otherwise leave
// half-covered lines at the tiles' edges).
TEST_F(PipelinePixelOpsTest, TrianglesCutByTheNearPlaneCoverTheBorderPixelsWhole)
{
    // x / z and y / z on screen, depth 0 at z = 0.1 and 1 at z = 100.
    const float n = 0.1f, f = 100.0f;
    const D3DMATRIX projection = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, f / (f - n), 1, 0, 0, -n * f / (f - n), 0}}};
    // The plane z = 2 + y / 2, from behind the eye (z = -1) to beyond the
    // top of the view: it fills the view.
    drawWhiteStripIntoFourSamples(projection, {{-10, -6, -1, 0xFFFFFFFF},
                                               {10, -6, -1, 0xFFFFFFFF},
                                               {-10, 10, 7, 0xFFFFFFFF},
                                               {10, 10, 7, 0xFFFFFFFF}});
}
