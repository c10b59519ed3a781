// The sampler reads a texture through the plain view the device hands it:
// a view of other memory holding the same texels samples exactly as the
// device's own texture does, the texture's LOD limits the levels read, and
// what the sampler cannot read samples as an unbound sampler.

#include "D3DTestSupport.h"

#include "d3d9/DeviceState.h"
#include "d3d9/Resources.h"
#include "d3d9/SamplerTranslation.h"
#include "pipeline/TextureSampler.h"

#include <cstring>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::SampledTexture;
using swd3d9::SamplerSetup;

namespace {

constexpr UINT WIDTH = 8, HEIGHT = 4, LEVELS = 4;

// Texel (x, y) of a level: every channel differs between neighbours and
// between levels.
DWORD texel(UINT level, UINT x, UINT y)
{
    return (0x40u + 0x30u * level) << 24 | (60u * level) << 16 | ((37u * x + 11u * y) % 256u) << 8 |
           ((23u * y + 5u * x) % 256u);
}

class SampledTextureTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        swd3d9::DeviceState state{};
        swd3d9::setDefaultState(state, true);
        std::memcpy(states, state.samplerStates[0], sizeof(states));
        ASSERT_EQ(D3D_OK, device->CreateTexture(WIDTH, HEIGHT, LEVELS, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                texture.out(), nullptr));
        for (UINT level = 0; level < LEVELS; ++level) {
            D3DLOCKED_RECT locked;
            ASSERT_EQ(D3D_OK, texture->LockRect(level, &locked, nullptr, 0));
            for (UINT y = 0; y < std::max(HEIGHT >> level, 1u); ++y)
                for (UINT x = 0; x < std::max(WIDTH >> level, 1u); ++x) {
                    const DWORD c = texel(level, x, y);
                    std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &c, 4);
                }
            texture->UnlockRect(level);
        }
    }

    void TearDown() override
    {
        texture.reset();
        DeviceTest::TearDown();
    }

    // The same texels in memory of the test's own, rows padded so that the
    // pitch differs from the device's.
    SampledTexture ownCopy(DWORD lod)
    {
        SampledTexture view{};
        view.kind = D3DRTYPE_TEXTURE;
        view.format = D3DFMT_A8R8G8B8;
        view.lod = lod;
        view.levelCount = LEVELS;
        memory.assign(LEVELS, {});
        for (UINT level = 0; level < LEVELS; ++level) {
            const UINT w = std::max(WIDTH >> level, 1u), h = std::max(HEIGHT >> level, 1u);
            const size_t pitch = 4 * w + 12;
            memory[level].assign(pitch * h, 0xCD);
            for (UINT y = 0; y < h; ++y)
                for (UINT x = 0; x < w; ++x) {
                    const DWORD c = texel(level, x, y);
                    std::memcpy(memory[level].data() + y * pitch + 4 * x, &c, 4);
                }
            view.levels[0][level] = {memory[level].data(), w, h, 1, pitch, pitch * h};
        }
        return view;
    }

    void expectSameSamples(const SamplerSetup& a, const SamplerSetup& b, const char* what)
    {
        std::mt19937 random{7};
        std::uniform_real_distribution<float> coordinate(-1.5f, 2.5f), slope(0.0f, 0.6f);
        for (int i = 0; i < 400; ++i) {
            const float u = coordinate(random), v = coordinate(random);
            swd3d9::TexCoordDerivatives d{};
            d.dudx = slope(random);
            d.dvdy = slope(random);
            d.dvdx = slope(random) * 0.25f;
            float fromDevice[4], fromCopy[4];
            swd3d9::sample(a, u, v, 0.0f, d, fromDevice);
            swd3d9::sample(b, u, v, 0.0f, d, fromCopy);
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(fromDevice[c], fromCopy[c]) << what << " at (" << u << ", " << v << ") channel " << c;
        }
    }

    DWORD states[swd3d9::SAMPLER_STATE_COUNT];
    Com<IDirect3DTexture9> texture;
    std::vector<std::vector<uint8_t>> memory;
};

TEST_F(SampledTextureTest, AViewOfOtherMemorySamplesAsTheDeviceTexture)
{
    struct Filtering {
        const char* name;
        DWORD minFilter, magFilter, mipFilter, address;
    };
    const Filtering cases[] = {
        {"point, no mip levels, wrap", D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE, D3DTADDRESS_WRAP},
        {"bilinear, one level, clamp", D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE, D3DTADDRESS_CLAMP},
        {"trilinear, mirror", D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTADDRESS_MIRROR},
        {"anisotropic, point mip, border", D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_POINT,
         D3DTADDRESS_BORDER},
    };
    for (const Filtering& f : cases) {
        states[D3DSAMP_MINFILTER] = f.minFilter;
        states[D3DSAMP_MAGFILTER] = f.magFilter;
        states[D3DSAMP_MIPFILTER] = f.mipFilter;
        states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = f.address;
        states[D3DSAMP_MAXANISOTROPY] = 4;
        states[D3DSAMP_BORDERCOLOR] = 0x80402010u;
        SamplerSetup fromDevice, fromCopy;
        swd3d9::prepareSampler(fromDevice, states, swd3d9::toTexture(texture.get()));
        const SampledTexture copy = ownCopy(0);
        swd3d9::setupSampler(fromCopy, states, &copy);
        ASSERT_TRUE(fromDevice.bound) << f.name;
        EXPECT_EQ(fromDevice.routine, fromCopy.routine) << f.name;
        EXPECT_EQ(fromDevice.bilinearArgb, fromCopy.bilinearArgb) << f.name;
        EXPECT_EQ(fromDevice.firstLevel, fromCopy.firstLevel) << f.name;
        EXPECT_EQ(fromDevice.lastLevel, fromCopy.lastLevel) << f.name;
        expectSameSamples(fromDevice, fromCopy, f.name);
    }
}

TEST_F(SampledTextureTest, TheTexturesLodIsTheMostDetailedLevelRead)
{
    // Without mip filtering the sampler reads the LOD's level however
    // small the footprint; with it, no level above the LOD.
    texture->SetLOD(2);
    for (DWORD mipFilter : {static_cast<DWORD>(D3DTEXF_NONE), static_cast<DWORD>(D3DTEXF_POINT)}) {
        states[D3DSAMP_MINFILTER] = states[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        states[D3DSAMP_MIPFILTER] = mipFilter;
        SamplerSetup fromDevice, fromCopy;
        swd3d9::prepareSampler(fromDevice, states, swd3d9::toTexture(texture.get()));
        const SampledTexture copy = ownCopy(2);
        swd3d9::setupSampler(fromCopy, states, &copy);
        EXPECT_EQ(2, fromDevice.firstLevel);
        EXPECT_EQ(2, fromCopy.firstLevel);
        // Texel (1, 0) of level 2 (2 x 1 texels), magnified.
        float rgba[4];
        swd3d9::sample(fromDevice, 0.75f, 0.5f, 0.0f, swd3d9::TexCoordDerivatives{}, rgba);
        const DWORD expected = texel(2, 1, 0);
        EXPECT_NEAR(static_cast<float>((expected >> 16) & 0xFF) / 255.0f, rgba[0], 1e-6f);
        EXPECT_NEAR(static_cast<float>((expected >> 8) & 0xFF) / 255.0f, rgba[1], 1e-6f);
        EXPECT_NEAR(static_cast<float>(expected & 0xFF) / 255.0f, rgba[2], 1e-6f);
        EXPECT_NEAR(static_cast<float>(expected >> 24) / 255.0f, rgba[3], 1e-6f);
        expectSameSamples(fromDevice, fromCopy, "LOD 2");
    }
}

TEST_F(SampledTextureTest, WhatCannotBeReadSamplesAsAnUnboundSampler)
{
    SampledTexture copy = ownCopy(0);
    SampledTexture unreadableFormat = copy;
    unreadableFormat.format = D3DFMT_UYVY;
    SampledTexture noLevels = copy;
    noLevels.levelCount = 0;
    const SampledTexture* unreadable[] = {nullptr, &unreadableFormat, &noLevels};
    for (const SampledTexture* view : unreadable) {
        SamplerSetup setup;
        swd3d9::setupSampler(setup, states, view);
        EXPECT_FALSE(setup.bound);
        float rgba[4];
        swd3d9::sample(setup, 0.3f, 0.6f, 0.0f, swd3d9::TexCoordDerivatives{}, rgba);
        EXPECT_EQ(0.0f, rgba[0]);
        EXPECT_EQ(0.0f, rgba[1]);
        EXPECT_EQ(0.0f, rgba[2]);
        EXPECT_EQ(1.0f, rgba[3]);
    }
    EXPECT_FALSE(swd3d9::samplerDecodes(D3DFMT_UYVY));
    EXPECT_TRUE(swd3d9::samplerDecodes(D3DFMT_A8R8G8B8));
    EXPECT_TRUE(swd3d9::samplerDecodes(D3DFMT_L8));

    // A texture the device cannot sample reads the same through the
    // device's translation.
    SamplerSetup setup;
    swd3d9::prepareSampler(setup, states, nullptr);
    EXPECT_FALSE(setup.bound);
}

} // namespace
