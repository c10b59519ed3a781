// The plain-colour span against the general per-pixel path over the states
// it specialises on: every depth function, depth writes on and off, depth
// testing off, specular on and off, both 32-bit target formats. The same
// draws, once as the span takes them and once with an always-passing alpha
// test that sends every pixel through the general path, must leave the same
// colour and depth bit for bit.

#include "pipeline_support.h"

#include <cstring>
#include <limits>
#include <random>

using namespace d3dtest;

namespace {

struct LitScreenVertex {
    float x, y, z, rhw;
    DWORD diffuse, specular;
};
constexpr DWORD LIT_SCREEN_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

struct PlainCase {
    D3DFORMAT format;
    bool specular;
    DWORD zEnable;
    DWORD zFunc;
    bool zWrite;
};

} // namespace

class PipelinePlainSpanTest : public PipelineTest
{
protected:
    // Colour and depth words after drawing the triangles over a first layer
    // drawn with depth writes on, so that every depth function sees both
    // outcomes.
    std::pair<std::vector<DWORD>, std::vector<DWORD>> render(const PlainCase& c,
                                                             const std::vector<LitScreenVertex>& under,
                                                             const std::vector<LitScreenVertex>& over, bool general)
    {
        device->SetRenderState(D3DRS_ALPHATESTENABLE, general);
        device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_SPECULARENABLE, c.specular);
        clear(0x80406080, 0.5f, 0x5A);
        device->SetFVF(LIT_SCREEN_FVF);
        device->BeginScene();
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(under.size() / 3), under.data(),
                                sizeof(LitScreenVertex));
        device->SetRenderState(D3DRS_ZENABLE, c.zEnable);
        device->SetRenderState(D3DRS_ZFUNC, c.zFunc);
        device->SetRenderState(D3DRS_ZWRITEENABLE, c.zWrite);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(over.size() / 3), over.data(),
                                sizeof(LitScreenVertex));
        device->EndScene();
        return {pixels32(), depthWords()};
    }

    std::vector<DWORD> depthWords()
    {
        std::vector<DWORD> out(width * height);
        D3DLOCKED_RECT locked;
        if (FAILED(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
            return out;
        for (UINT y = 0; y < height; ++y)
            std::memcpy(&out[y * width], static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch, width * 4);
        depth->UnlockRect();
        return out;
    }
};

TEST_F(PipelinePlainSpanTest, MatchesTheGeneralPathForEveryDepthState)
{
    std::mt19937 random(77);
    // Positions reach past the 70 x 50 target (spans clipped at both ends,
    // rows that end at the last column); depths cross 0 and 1 so clamping
    // is exercised; 1/w varies for perspective.
    std::uniform_real_distribution<float> position(-12.0f, 80.0f), depthValue(-0.1f, 1.1f), rhw(0.2f, 2.0f);
    std::uniform_int_distribution<DWORD> color(0, 0xFFFFFFFF);
    auto triangles = [&](int count) {
        std::vector<LitScreenVertex> v;
        for (int i = 0; i < 3 * count; ++i)
            v.push_back({position(random), position(random), depthValue(random), rhw(random), color(random),
                         color(random)});
        return v;
    };
    const DWORD functions[] = {D3DCMP_NEVER,   D3DCMP_LESS,     D3DCMP_EQUAL,        D3DCMP_LESSEQUAL,
                               D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS};
    std::vector<PlainCase> cases;
    for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8})
        for (const bool specular : {false, true}) {
            for (const DWORD zFunc : functions)
                for (const bool zWrite : {false, true})
                    cases.push_back({format, specular, D3DZB_TRUE, zFunc, zWrite});
            cases.push_back({format, specular, D3DZB_FALSE, D3DCMP_NEVER, true});
        }
    for (const PlainCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " specular " << c.specular << " zEnable "
                                        << c.zEnable << " zFunc " << c.zFunc << " zWrite " << c.zWrite);
        makeTarget(70, 50, c.format, D3DFMT_D24S8);
        std::vector<LitScreenVertex> under = triangles(12);
        const std::vector<LitScreenVertex> over = triangles(30);
        // A large last triangle, left uncovered by the first layer.
        under.push_back({5.0f, 5.0f, 0.4f, 1.0f, color(random), color(random)});
        under.push_back({66.0f, 9.0f, 0.7f, 0.5f, color(random), color(random)});
        under.push_back({9.0f, 46.0f, 0.2f, 1.5f, color(random), color(random)});
        // The last triangle of the first layer is drawn again in other
        // colours: equal depths, where EQUAL passes and LESS and LESSEQUAL
        // part ways.
        std::vector<LitScreenVertex> drawn = over;
        for (size_t k = under.size() - 3; k < under.size(); ++k) {
            LitScreenVertex again = under[k];
            again.diffuse = ~again.diffuse;
            drawn.push_back(again);
        }
        const auto span = render(c, under, drawn, false);
        const auto general = render(c, under, drawn, true);
        int changed = 0;
        const auto firstLayer = render({c.format, c.specular, D3DZB_TRUE, D3DCMP_NEVER, false}, under, {}, true);
        for (size_t i = 0; i < span.first.size(); ++i) {
            ASSERT_EQ(general.first[i], span.first[i]) << "colour of pixel " << i;
            ASSERT_EQ(general.second[i], span.second[i]) << "depth of pixel " << i;
            changed += span.first[i] != firstLayer.first[i];
        }
        // The draws did something unless nothing can pass.
        if (c.zEnable == D3DZB_TRUE && c.zFunc == D3DCMP_NEVER)
            EXPECT_EQ(0, changed);
        else
            EXPECT_GT(changed, 20);
        target.reset();
        depth.reset();
    }
}

TEST_F(PipelinePlainSpanTest, SmallDrawsWithFarOrInvalidPositionsDrawSafely)
{
    // Small draws have their screen box prefetched; positions far outside
    // the target or not numbers must neither fault nor change what is drawn.
    makeTarget(64, 48, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    clear(0x00000000);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<ScreenVertex> far = {{-1e30f, -1e30f, 0.5f, 1, 0xFFFF0000},
                                           {1e30f, 0.0f, 0.5f, 1, 0xFFFF0000},
                                           {0.0f, 1e30f, 0.5f, 1, 0xFFFF0000}};
    const std::vector<ScreenVertex> invalid = {{nan, 4.0f, 0.5f, 1, 0xFF00FF00},
                                               {60.0f, nan, 0.5f, 1, 0xFF00FF00},
                                               {4.0f, 40.0f, nan, 1, 0xFF00FF00}};
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    drawScreen(D3DPT_TRIANGLELIST, far, 1);
    drawScreen(D3DPT_TRIANGLELIST, invalid, 1);
    // A small triangle inside the target still draws where it should.
    drawRect(8.0f, 8.0f, 16.0f, 16.0f, 0.25f, 0xFF0000FF);
    const std::vector<DWORD> image = pixels32();
    EXPECT_EQ(0xFF0000FFu, image[10 * 64 + 10]);
    EXPECT_NE(0xFF0000FFu, image[20 * 64 + 20]);
}
