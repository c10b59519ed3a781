// Triangles wait in a batch across draws and are rasterised when something
// looks at or changes what they use. The image must not depend on it: the
// same draws, once batched and once with the batch forced out after every
// draw (filling an unrelated surface does that), give the same pixels,
// including when textures change content, are drawn into, or are let go of
// while draws that read them still wait, and when draws differ only in the
// sampler of a second texture stage.

#include "pipeline_support.h"

#include <random>

using namespace d3dtest;

namespace {

struct BatchVertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};
constexpr DWORD BATCH_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

} // namespace

class PipelineBatchingTest : public PipelineTest
{
protected:
    void TearDown() override
    {
        unrelated.reset();
        PipelineTest::TearDown();
    }

    void makeTexture(Com<IDirect3DTexture9>& texture, UINT size, DWORD usage, D3DPOOL pool)
    {
        texture.reset();
        EXPECT_EQ(D3D_OK, device->CreateTexture(size, size, 1, usage, D3DFMT_A8R8G8B8, pool, texture.out(), nullptr));
    }

    void fillTexture(IDirect3DTexture9* texture, std::mt19937& random)
    {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x) {
                const DWORD c = static_cast<DWORD>(random());
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &c, 4);
            }
        texture->UnlockRect(0);
    }

    // Forces waiting draws out through the public interface.
    void flushByFill()
    {
        ASSERT_EQ(D3D_OK, device->ColorFill(unrelated.get(), nullptr, 0));
    }

    void drawTriangles(std::mt19937& random, int count)
    {
        std::uniform_real_distribution<float> position(-8.0f, 104.0f), depthValue(0.0f, 1.0f), coordinate(-1.0f, 2.0f);
        std::vector<BatchVertex> v;
        for (int i = 0; i < 3 * count; ++i)
            v.push_back({position(random), position(random), depthValue(random), 1.0f,
                         static_cast<DWORD>(random()) | 0x40000000u, coordinate(random), coordinate(random)});
        device->SetFVF(BATCH_FVF);
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, v.data(), sizeof(BatchVertex)));
    }

    void randomState(std::mt19937& random, IDirect3DTexture9* const* textures, int textureCount)
    {
        const int pick = static_cast<int>(random() % (textureCount + 1));
        device->SetTexture(0, pick < textureCount ? textures[pick] : nullptr);
        device->SetTextureStageState(0, D3DTSS_COLOROP, pick < textureCount ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, pick < textureCount ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, random() % 2 ? D3DTEXF_LINEAR : D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        // Now and then a second stage: states that differ only in its
        // sampler must not share a batched state.
        const int second = static_cast<int>(random() % (textureCount + 2));
        device->SetTexture(1, second < textureCount ? textures[second] : nullptr);
        device->SetTextureStageState(1, D3DTSS_COLOROP, second < textureCount ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        device->SetSamplerState(1, D3DSAMP_MAGFILTER, random() % 2 ? D3DTEXF_LINEAR : D3DTEXF_POINT);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, random() % 2);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        const DWORD functions[] = {D3DCMP_LESS, D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_ALWAYS};
        device->SetRenderState(D3DRS_ZFUNC, functions[random() % 4]);
        device->SetRenderState(D3DRS_ZWRITEENABLE, random() % 2);
        device->SetRenderState(D3DRS_FILLMODE, random() % 8 == 0 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    }

    // Draws into a texture, then with that texture and two others into the
    // target, refilling one texture and letting go of another on the way.
    std::vector<DWORD> drawScene(bool flushEveryDraw)
    {
        std::mt19937 random(41);
        makeTarget(96, 80);
        Com<IDirect3DTexture9> painted, refilled, released;
        unrelated.reset();
        EXPECT_EQ(D3D_OK, device->CreateRenderTarget(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                     unrelated.out(), nullptr));
        makeTexture(painted, 32, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
        makeTexture(refilled, 8, 0, D3DPOOL_MANAGED);
        makeTexture(released, 16, 0, D3DPOOL_MANAGED);
        fillTexture(refilled.get(), random);
        fillTexture(released.get(), random);
        const auto afterDraw = [&] {
            if (flushEveryDraw)
                flushByFill();
        };

        device->BeginScene();
        // Into the texture.
        Com<IDirect3DSurface9> paintedLevel;
        EXPECT_EQ(D3D_OK, painted->GetSurfaceLevel(0, paintedLevel.out()));
        EXPECT_EQ(D3D_OK, device->SetRenderTarget(0, paintedLevel.get()));
        device->SetDepthStencilSurface(nullptr);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0);
        IDirect3DTexture9* sources[] = {refilled.get(), released.get()};
        for (int i = 0; i < 6; ++i) {
            randomState(random, sources, 2);
            drawTriangles(random, 2);
            afterDraw();
        }
        // Into the target, reading all three.
        EXPECT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
        EXPECT_EQ(D3D_OK, device->SetDepthStencilSurface(depth.get()));
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 0.5f, 0);
        IDirect3DTexture9* all[] = {refilled.get(), released.get(), painted.get()};
        for (int i = 0; i < 60; ++i) {
            randomState(random, all, 3);
            drawTriangles(random, 1 + static_cast<int>(random() % 3));
            afterDraw();
            if (i == 20) {
                // A large triangle with the texture, then new texels: it
                // shows the old ones, later draws the new.
                device->SetTexture(0, refilled.get());
                device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
                device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
                device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
                const BatchVertex cover[] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                             {96, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                             {0, 80, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
                device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cover, sizeof(BatchVertex));
                afterDraw();
                fillTexture(refilled.get(), random);
            }
        }
        // Draws that differ only in the second stage's texture.
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        for (int i = 0; i < 4; ++i) {
            device->SetTexture(1, all[i % 2]);
            drawTriangles(random, 2);
            afterDraw();
        }
        // Let go of a texture that waiting draws still read.
        device->SetTexture(0, released.get());
        drawTriangles(random, 3);
        afterDraw();
        all[1] = nullptr;
        released.reset();
        device->SetTexture(0, nullptr);
        device->SetTexture(1, nullptr);
        device->EndScene();
        return pixels32();
    }

    Com<IDirect3DSurface9> unrelated;
};

TEST_F(PipelineBatchingTest, BatchedDrawsGiveTheImageOfDrawsDoneOneByOne)
{
    for (UINT threads : {1u, 3u}) {
        ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), threads));
        const std::vector<DWORD> batched = drawScene(false);
        const std::vector<DWORD> oneByOne = drawScene(true);
        ASSERT_EQ(batched.size(), oneByOne.size());
        size_t differing = 0, drawn = 0;
        for (size_t i = 0; i < batched.size(); ++i) {
            differing += batched[i] != oneByOne[i];
            drawn += batched[i] != 0xFF808080;
        }
        EXPECT_EQ(0u, differing) << threads << " threads";
        EXPECT_GT(drawn, batched.size() / 2) << threads << " threads";
    }
}

TEST_F(PipelineBatchingTest, WaitingDrawsAreDoneBeforeCopiesAndClearsSeeTheTarget)
{
    makeTarget(64, 64);
    clear(0xFF000000);
    Com<IDirect3DSurface9> copy;
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(64, 64, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, copy.out(),
                                                          nullptr));
    drawRect(0, 0, 32, 64, 0.5f, 0xFFFF0000);
    // The copy sees the rectangle; the clear of the right half comes after it.
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(target.get(), copy.get()));
    D3DRECT right = {32, 0, 64, 64};
    ASSERT_EQ(D3D_OK, device->Clear(1, &right, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0));
    drawRect(16, 0, 48, 64, 0.5f, 0xFF00FF00);
    EXPECT_EQ(0xFFFF0000u, readPixel(copy.get(), 8, 8));
    EXPECT_EQ(0xFF000000u, readPixel(copy.get(), 40, 8));
    EXPECT_EQ(0xFFFF0000u, pixel(8, 8));
    EXPECT_EQ(0xFF00FF00u, pixel(20, 8));
    EXPECT_EQ(0xFF00FF00u, pixel(40, 8));
    EXPECT_EQ(0xFF0000FFu, pixel(60, 8));
}
