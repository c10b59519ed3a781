// The rasteriser's dedicated span loops against the general per-pixel
// path: the same draws, once in a state the span loop takes and once with
// a no-op extra state (an alpha test that always passes) that sends every
// pixel through the general path, must give the same image. The plain-colour
// span and the point-sampled textured span perform the same floating-point
// operations in the same order, so they match bit for bit; the bilinear
// span filters in 8-bit fixed point, as texture units do, and stays within
// a unit or two per channel, almost always within one. Depth is computed
// alike on every path, so a depth-tested span covers exactly the same
// pixels.

#include "pipeline_support.h"

#include <algorithm>
#include <cstdlib>
#include <random>

using namespace d3dtest;

namespace {

struct TexturedVertex {
    float x, y, z, rhw;
    DWORD diffuse, specular;
    float u, v;
};
constexpr DWORD TEXTURED_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

struct SpanCase {
    D3DFORMAT targetFormat;
    bool blend;
    bool modulate; // texture times diffuse, else the texture alone
    DWORD filter;
    DWORD address;
    UINT textureSize;
    DWORD zFunc = 0; // 0: no depth test
    bool zWrite = false;
    bool specular = false;
    // Alpha blended with ONE and INVSRCALPHA (laid over the target's), the
    // colour with SRCALPHA and INVSRCALPHA.
    bool alphaOver = false;
};

} // namespace

class PipelineSpanTest : public PipelineTest
{
protected:
    void makeRandomTexture(std::mt19937& random, UINT size)
    {
        ASSERT_EQ(D3D_OK,
                  device->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
        std::uniform_int_distribution<DWORD> texel(0, 0xFFFFFFFF);
        for (UINT y = 0; y < size; ++y)
            for (UINT x = 0; x < size; ++x) {
                const DWORD c = texel(random);
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
            }
        texture->UnlockRect(0);
    }

    void applyCase(const SpanCase& c)
    {
        device->SetTexture(0, texture.get());
        device->SetRenderState(D3DRS_ZENABLE, c.zFunc ? D3DZB_TRUE : D3DZB_FALSE);
        device->SetRenderState(D3DRS_ZFUNC, c.zFunc ? c.zFunc : DWORD(D3DCMP_LESSEQUAL));
        device->SetRenderState(D3DRS_ZWRITEENABLE, c.zWrite);
        device->SetRenderState(D3DRS_SPECULARENABLE, c.specular);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, c.blend);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, c.alphaOver);
        device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_INVSRCALPHA);
        const DWORD op = c.modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
        device->SetTextureStageState(0, D3DTSS_COLOROP, op);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, op);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.address);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, c.address);
    }

    std::vector<DWORD> render(const std::vector<TexturedVertex>& v, bool generalPath)
    {
        device->SetRenderState(D3DRS_ALPHATESTENABLE, generalPath);
        device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
        clear(0x80406080, 0.6f);
        device->SetFVF(TEXTURED_FVF);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v.data(),
                                sizeof(TexturedVertex));
        device->EndScene();
        return pixels32();
    }

    // The depth and stencil buffers shown in colour (they cannot be locked):
    // blue holds the stencil value, bit by bit through the stencil test;
    // green counts the depths of 64 steps from 0 to 1 that lie beyond the
    // stored depth.
    std::vector<DWORD> revealDepthStencil(bool withStencil)
    {
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
        device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
        device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        const float w = static_cast<float>(width) + 1.0f, h = static_cast<float>(height) + 1.0f;
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device->SetRenderState(D3DRS_STENCILENABLE, withStencil);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        for (DWORD bit = 0; withStencil && bit < 8; ++bit) {
            device->SetRenderState(D3DRS_STENCILREF, 1u << bit);
            device->SetRenderState(D3DRS_STENCILMASK, 1u << bit);
            drawRect(-1.0f, -1.0f, w, h, 0.5f, 1u << bit);
        }
        device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
        for (int step = 0; step < 64; ++step)
            drawRect(-1.0f, -1.0f, w, h, (static_cast<float>(step) + 0.5f) / 64.0f, 0x000100);
        return pixels32();
    }

    Com<IDirect3DTexture9> texture;
};

TEST_F(PipelineSpanTest, TexturedSpanMatchesTheGeneralPathOnRandomDraws)
{
    std::mt19937 random(29);
    std::uniform_real_distribution<float> position(-10.0f, 74.0f), coordinate(-2.0f, 3.0f), rhw(0.2f, 2.0f);
    std::uniform_int_distribution<DWORD> color(0, 0xFFFFFFFF);
    const SpanCase cases[] = {
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 16},
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 12},
        {D3DFMT_X8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 16},
        {D3DFMT_A8R8G8B8, false, true, D3DTEXF_LINEAR, D3DTADDRESS_MIRROR, 16},
        {D3DFMT_A8R8G8B8, true, false, D3DTEXF_POINT, D3DTADDRESS_WRAP, 16},
        {D3DFMT_X8R8G8B8, false, false, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 16},
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_POINT, D3DTADDRESS_BORDER, 16},
        // Depth-tested, written or not, with specular added or not.
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 16, D3DCMP_LESS, true, true},
        {D3DFMT_X8R8G8B8, false, true, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 16, D3DCMP_GREATEREQUAL, false, false},
        {D3DFMT_A8R8G8B8, false, true, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 12, D3DCMP_NOTEQUAL, true, true},
        {D3DFMT_X8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 16, D3DCMP_ALWAYS, true, false},
        {D3DFMT_A8R8G8B8, true, false, D3DTEXF_POINT, D3DTADDRESS_WRAP, 16, D3DCMP_LESSEQUAL, true, true},
        {D3DFMT_A8R8G8B8, false, true, D3DTEXF_POINT, D3DTADDRESS_CLAMP, 16, D3DCMP_GREATER, true, false},
        // Alpha laid over the target's, bilinear (fixed point) and point.
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 16, 0, false, false, true},
        {D3DFMT_A8R8G8B8, true, false, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 16, D3DCMP_LESS, true, true, true},
        {D3DFMT_A8R8G8B8, true, true, D3DTEXF_POINT, D3DTADDRESS_WRAP, 16, D3DCMP_LESSEQUAL, false, false, true},
    };
    std::uniform_real_distribution<float> depthValue(0.0f, 1.0f);
    for (const SpanCase& c : cases) {
        makeTarget(64, 48, c.targetFormat, D3DFMT_D24S8);
        makeRandomTexture(random, c.textureSize);
        applyCase(c);
        // Overlapping triangles, each with its own perspective, so blended
        // pixels read what earlier triangles wrote.
        std::vector<TexturedVertex> v;
        // With a depth test, triangles at random depths cross each other
        // and the cleared depth of 0.6.
        for (int i = 0; i < 3 * 24; ++i)
            v.push_back({position(random), position(random), c.zFunc ? depthValue(random) : 0.5f, rhw(random),
                         color(random), color(random) & 0x3F3F3F3F, coordinate(random), coordinate(random)});
        const std::vector<DWORD> fast = render(v, false);
        const std::vector<DWORD> general = render(v, true);
        const bool fixedPoint = c.filter == D3DTEXF_LINEAR && c.address != D3DTADDRESS_MIRROR;
        int covered = 0, largest = 0, overOne = 0;
        for (size_t i = 0; i < fast.size(); ++i) {
            covered += general[i] != 0x80406080 && c.targetFormat == D3DFMT_A8R8G8B8;
            if (!fixedPoint) {
                ASSERT_EQ(fast[i], general[i]) << "pixel " << i << " case " << (&c - cases);
                continue;
            }
            int difference = 0;
            for (int shift = 0; shift < 32; shift += 8)
                difference = std::max(difference, std::abs(int((fast[i] >> shift) & 0xFF) -
                                                            int((general[i] >> shift) & 0xFF)));
            largest = std::max(largest, difference);
            overOne += difference > 1;
        }
        EXPECT_LE(largest, 2) << "case " << (&c - cases);
        EXPECT_LE(overOne, int(fast.size() / 200)) << "case " << (&c - cases);
        if (c.targetFormat == D3DFMT_A8R8G8B8) {
            EXPECT_GT(covered, 64 * 48 / 8) << "case " << (&c - cases);
        }
        target.reset();
        depth.reset();
        texture.reset();
    }
}

TEST_F(PipelineSpanTest, PlainColorSpanMatchesTheGeneralPathOnRandomDraws)
{
    // Gouraud colour with and without specular, depth-tested and
    // overlapping, with perspective; out-of-range colours from the
    // interpolation are clamped the same way on both paths.
    std::mt19937 random(31);
    std::uniform_real_distribution<float> position(-10.0f, 74.0f), depthValue(0.0f, 1.0f), rhw(0.2f, 2.0f);
    std::uniform_int_distribution<DWORD> color(0, 0xFFFFFFFF);
    struct LitScreenVertex {
        float x, y, z, rhw;
        DWORD diffuse, specular;
    };
    for (const bool specular : {false, true}) {
        for (const DWORD zFunc : {D3DCMP_LESSEQUAL, D3DCMP_GREATER}) {
            makeTarget(64, 48, specular ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, D3DFMT_D24S8);
            std::vector<LitScreenVertex> v;
            for (int i = 0; i < 3 * 30; ++i)
                v.push_back({position(random), position(random), depthValue(random), rhw(random), color(random),
                             color(random)});
            device->SetRenderState(D3DRS_SPECULARENABLE, specular);
            device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
            device->SetRenderState(D3DRS_ZFUNC, zFunc);
            std::vector<DWORD> images[2];
            for (int general = 0; general < 2; ++general) {
                device->SetRenderState(D3DRS_ALPHATESTENABLE, general);
                device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
                clear(0x80406080, zFunc == D3DCMP_GREATER ? 0.0f : 1.0f);
                device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
                device->BeginScene();
                device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v.data(),
                                        sizeof(LitScreenVertex));
                device->EndScene();
                images[general] = pixels32();
            }
            int covered = 0;
            for (size_t i = 0; i < images[0].size(); ++i) {
                covered += (images[1][i] & 0xFFFFFF) != 0x406080;
                ASSERT_EQ(images[0][i], images[1][i]) << "pixel " << i;
            }
            EXPECT_GT(covered, 64 * 48 / 2);
            target.reset();
            depth.reset();
        }
    }
}

TEST_F(PipelineSpanTest, DepthStencilSpanMatchesTheGeneralPathOnRandomDraws)
{
    // Draws that leave the colour alone (colour writes off, or blended with
    // ZERO and ONE) under random depth and stencil states, one-sided and
    // two-sided, over a depth buffer and stencil that earlier triangles have
    // already marked: the span and the general path (forced by an alpha
    // test that passes everything) leave the same depth, stencil and colour.
    std::mt19937 random(43);
    std::uniform_real_distribution<float> position(-10.0f, 74.0f), depthValue(-0.1f, 1.1f), rhw(0.2f, 2.0f);
    std::uniform_int_distribution<DWORD> color(0, 0xFFFFFFFF), function(D3DCMP_NEVER, D3DCMP_ALWAYS),
        operation(D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR), byte(0, 255), coin(0, 1), keeping(0, 2);
    for (int trial = 0; trial < 16; ++trial) {
        const D3DFORMAT format = coin(random) ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
        makeTarget(64, 48, format, trial % 5 == 4 ? D3DFMT_D24X8 : D3DFMT_D24S8);
        std::vector<ScreenVertex> marks, v;
        for (int i = 0; i < 3 * 12; ++i)
            marks.push_back({position(random), position(random), depthValue(random), rhw(random), color(random)});
        for (int i = 0; i < 3 * 24; ++i)
            v.push_back({position(random), position(random), depthValue(random), rhw(random), color(random)});
        const DWORD states[][2] = {
            {D3DRS_ZENABLE, coin(random) || trial == 0 ? DWORD(D3DZB_TRUE) : DWORD(D3DZB_FALSE)},
            {D3DRS_ZFUNC, function(random)},
            {D3DRS_ZWRITEENABLE, coin(random)},
            {D3DRS_STENCILENABLE, trial == 0 ? 0u : coin(random)},
            {D3DRS_STENCILFUNC, function(random)},
            {D3DRS_STENCILFAIL, operation(random)},
            {D3DRS_STENCILZFAIL, operation(random)},
            {D3DRS_STENCILPASS, operation(random)},
            {D3DRS_STENCILREF, byte(random)},
            {D3DRS_STENCILMASK, coin(random) ? 0xFFu : byte(random)},
            {D3DRS_STENCILWRITEMASK, coin(random) ? 0xFFu : byte(random)},
            {D3DRS_TWOSIDEDSTENCILMODE, coin(random)},
            {D3DRS_CCW_STENCILFUNC, function(random)},
            {D3DRS_CCW_STENCILFAIL, operation(random)},
            {D3DRS_CCW_STENCILZFAIL, operation(random)},
            {D3DRS_CCW_STENCILPASS, operation(random)},
        };
        // How the colour is kept: writes off; ZERO and ONE with the alpha
        // laid over the target's (its colour factors alone keep an X8R8G8B8
        // target, not an A8R8G8B8 one); ZERO and ONE for the alpha too.
        const DWORD keep = keeping(random);
        std::vector<DWORD> images[2], depths[2];
        for (int general = 0; general < 2; ++general) {
            // The same marks first, drawn as usual: depths and stencil values
            // to test against.
            device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
            device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
            device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
            device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
            device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
            device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
            device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
            device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
            device->SetRenderState(D3DRS_STENCILWRITEMASK, 0xFF);
            clear(0x80406080, 0.7f, 3);
            drawScreen(D3DPT_TRIANGLELIST, marks, static_cast<UINT>(marks.size() / 3));
            for (const auto& state : states)
                device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state[0]), state[1]);
            device->SetRenderState(D3DRS_COLORWRITEENABLE, keep == 0 ? 0u : 0xFu);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, keep != 0);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
            device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
            device->SetRenderState(D3DRS_SRCBLENDALPHA, keep == 2 ? D3DBLEND_ZERO : D3DBLEND_ONE);
            device->SetRenderState(D3DRS_DESTBLENDALPHA, keep == 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
            device->SetRenderState(D3DRS_ALPHATESTENABLE, general);
            device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
            drawScreen(D3DPT_TRIANGLELIST, v, static_cast<UINT>(v.size() / 3));
            images[general] = pixels32();
            depths[general] = revealDepthStencil(trial % 5 != 4);
        }
        for (size_t i = 0; i < depths[0].size(); ++i) {
            ASSERT_EQ(depths[0][i], depths[1][i]) << "depth and stencil, pixel " << i << " trial " << trial;
            // The unused byte of an X8R8G8B8 pixel may differ: a write
            // fills it, a kept pixel keeps what the clear left there.
            const DWORD used = format == D3DFMT_X8R8G8B8 ? 0xFFFFFFu : 0xFFFFFFFFu;
            ASSERT_EQ(images[0][i] & used, images[1][i] & used) << "colour, pixel " << i << " trial " << trial;
        }
        target.reset();
        depth.reset();
    }
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
}
