// Draw-level behaviour across stages: textured draws reach the right
// texels through the texture stages, fill and shade modes, the viewport's
// depth range, and perspective-correct interpolation.

#include "pipeline_support.h"

#include <cmath>

using namespace d3dtest;

namespace {

struct TexturedVertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u0, v0, u1, v1;
};
constexpr DWORD TEXTURED_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

DWORD texel(UINT x, UINT y) { return 0xFF000000 | (x * 60 << 16) | (y * 60 << 8) | 0x11; }

} // namespace

class PipelineStagesTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(8, 8);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    // A 4x4 texture whose texels all differ, point-sampled.
    void bindTexture(Com<IDirect3DTexture9>& texture)
    {
        ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x) {
                const DWORD c = texel(x, y);
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
            }
        texture->UnlockRect(0);
        device->SetTexture(0, texture.get());
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }

    void drawTexturedQuad(float u0max, float u1max)
    {
        // Pixel centres sit at integers, so texel centres map onto pixel
        // centres when the quad starts half a pixel up and left.
        const TexturedVertex quad[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0, 0},
                                        {7.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, u0max, 0, u1max, 0},
                                        {-0.5f, 7.5f, 0.5f, 1, 0xFFFFFFFF, 0, u0max, 0, u1max},
                                        {7.5f, 7.5f, 0.5f, 1, 0xFFFFFFFF, u0max, u0max, u1max, u1max}};
        device->SetFVF(TEXTURED_FVF);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexturedVertex));
        device->EndScene();
    }
};

TEST_F(PipelineStagesTest, TexturedQuadShowsEachTexelOnItsPixels)
{
    Com<IDirect3DTexture9> texture;
    bindTexture(texture);
    clear(0);
    drawTexturedQuad(1.0f, 0.0f);
    // Eight pixels over four texels: each texel covers a 2x2 block.
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x)
            EXPECT_EQ(texel(x / 2, y / 2), pixel(x, y)) << x << "," << y;
}

TEST_F(PipelineStagesTest, StagesReadTheCoordinateSetTheyAreGiven)
{
    Com<IDirect3DTexture9> texture;
    bindTexture(texture);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    clear(0);
    // Set 0 is all zero; set 1 spans the texture twice (wrapping).
    drawTexturedQuad(0.0f, 2.0f);
    for (UINT x = 0; x < 8; ++x)
        EXPECT_EQ(texel(x % 4, 0), pixel(x, 0)) << x;
}

TEST_F(PipelineStagesTest, WireframeAndPointFillDrawEdgesAndCorners)
{
    const std::vector<ScreenVertex> tri = {{1, 1, 0.5f, 1, 0xFFFFFFFF}, {6, 1, 0.5f, 1, 0xFFFFFFFF},
                                           {1, 6, 0.5f, 1, 0xFFFFFFFF}};
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    clear(0);
    drawScreen(D3DPT_TRIANGLELIST, tri, 1);
    EXPECT_NE(0u, pixel(3, 1));
    EXPECT_NE(0u, pixel(1, 3));
    EXPECT_EQ(0u, pixel(2, 2)) << "interior stays empty";
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    clear(0);
    drawScreen(D3DPT_TRIANGLELIST, tri, 1);
    int drawn = 0;
    for (DWORD p : pixels32())
        drawn += p != 0;
    EXPECT_EQ(3, drawn);
    EXPECT_NE(0u, pixel(6, 1));
}

TEST_F(PipelineStagesTest, FlatShadingTakesTheFirstVertexColour)
{
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    const std::vector<ScreenVertex> tri = {{0, 0, 0.5f, 1, 0xFF204080}, {8, 0, 0.5f, 1, 0xFFFFFFFF},
                                           {0, 8, 0.5f, 1, 0xFF000000}};
    clear(0);
    drawScreen(D3DPT_TRIANGLELIST, tri, 1);
    EXPECT_EQ(0xFF204080u, pixel(1, 1));
    EXPECT_EQ(0xFF204080u, pixel(5, 1));
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    clear(0);
    drawScreen(D3DPT_TRIANGLELIST, tri, 1);
    EXPECT_NE(0xFF204080u, pixel(5, 1));
}

TEST_F(PipelineStagesTest, ViewportDepthRangeScalesDepth)
{
    // With MinZ 0.5 and MaxZ 0.6 a vertex at clip depth 0 lands at 0.5.
    // Pre-transformed depths are not scaled: with GREATER, 0.45 loses
    // against it and 0.55 wins.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DVIEWPORT9 viewport = {0, 0, 8, 8, 0.5f, 0.6f};
    device->SetViewport(&viewport);
    struct Vertex {
        float x, y, z;
        DWORD color;
    };
    const Vertex quad[4] = {{-1, -1, 0, 0xFFFF0000}, {1, -1, 0, 0xFFFF0000}, {-1, 1, 0, 0xFFFF0000},
                            {1, 1, 0, 0xFFFF0000}};
    clear(0, 1.0f);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    device->EndScene();
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    drawRect(0, 0, 8, 8, 0.45f, 0xFF00FF00);
    EXPECT_EQ(0xFFFF0000u, pixel(4, 4));
    drawRect(0, 0, 8, 8, 0.55f, 0xFF0000FF);
    EXPECT_EQ(0xFF0000FFu, pixel(4, 4));
}

TEST_F(PipelineStagesTest, AttributesInterpolateWithPerspective)
{
    // A quad whose right edge is four times further away (rhw 1/4): the
    // colour follows the perspective-correct curve, not a screen-linear ramp.
    const float rhwFar = 0.25f;
    const std::vector<ScreenVertex> quad = {{-0.5f, -0.5f, 0.5f, 1.0f, 0xFF000000},
                                            {7.5f, -0.5f, 0.5f, rhwFar, 0xFFFF0000},
                                            {-0.5f, 7.5f, 0.5f, 1.0f, 0xFF000000},
                                            {7.5f, 7.5f, 0.5f, rhwFar, 0xFFFF0000}};
    clear(0);
    drawScreen(D3DPT_TRIANGLESTRIP, quad, 2);
    for (UINT x = 0; x < 8; ++x) {
        const double s = (x + 0.5) / 8.0; // screen fraction from the left edge
        const double q = (1 - s) * 1.0 + s * rhwFar;
        const double red = s * rhwFar / q;
        EXPECT_NEAR(std::lround(red * 255), channel(pixel(x, 3), 16), 1) << x;
    }
}
