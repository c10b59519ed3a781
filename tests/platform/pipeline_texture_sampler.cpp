// Texture sampling: filters, level selection, addressing, cube faces,
// volumes and texel formats, on textures made through the device API.

#include "D3DTestSupport.h"

#include "d3d9/DeviceState.h"
#include "d3d9/Resources.h"
#include "d3d9/SamplerTranslation.h"
#include "pipeline/TextureSampler.h"

#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::SamplerSetup;
using swd3d9::TexCoordDerivatives;

namespace {

constexpr float TOLERANCE = 1.0f / 512.0f;

// Derivatives of a square footprint of `texels` top-level texels per pixel
// on a texture `size` texels wide.
TexCoordDerivatives footprint(float texels, float size)
{
    TexCoordDerivatives d{};
    d.dudx = texels / size;
    d.dvdy = texels / size;
    return d;
}

const TexCoordDerivatives ONE_TO_ONE_8 = footprint(1.0f, 8.0f);

class TextureSamplerTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        setDefaultSamplerStates();
    }

    void setDefaultSamplerStates()
    {
        swd3d9::DeviceState state{};
        swd3d9::setDefaultState(state, true);
        std::memcpy(states, state.samplerStates[0], sizeof(states));
    }

    // A texture whose texel (x, y) of each level is colour(level, x, y).
    IDirect3DTexture9* makeTexture(UINT width, UINT height, UINT levels, D3DFORMAT format,
                                   const std::function<DWORD(UINT, UINT, UINT)>& colour, DWORD usage = 0)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(D3D_OK, device->CreateTexture(width, height, levels, usage, format, D3DPOOL_MANAGED, &texture,
                                                nullptr));
        if (!texture)
            return nullptr;
        for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
            D3DSURFACE_DESC desc;
            texture->GetLevelDesc(level, &desc);
            D3DLOCKED_RECT locked;
            EXPECT_EQ(D3D_OK, texture->LockRect(level, &locked, nullptr, 0));
            for (UINT y = 0; y < desc.Height; ++y)
                for (UINT x = 0; x < desc.Width; ++x) {
                    BYTE* p = static_cast<BYTE*>(locked.pBits) + y * locked.Pitch;
                    const DWORD c = colour(level, x, y);
                    if (format == D3DFMT_R5G6B5) {
                        const WORD w = static_cast<WORD>(c);
                        std::memcpy(p + x * 2, &w, 2);
                    } else {
                        std::memcpy(p + x * 4, &c, 4);
                    }
                }
            texture->UnlockRect(level);
        }
        owned.emplace_back(texture);
        return texture;
    }

    SamplerSetup& prepare(IDirect3DBaseTexture9* texture)
    {
        swd3d9::prepareSampler(setup, states, texture ? swd3d9::toTexture(texture) : nullptr);
        return setup;
    }

    void sampleAt(float u, float v, const TexCoordDerivatives& d, float out[4], float w = 0.0f)
    {
        swd3d9::sample(setup, u, v, w, d, out);
    }

    void TearDown() override
    {
        for (IUnknown* object : owned)
            object->Release();
        owned.clear();
        DeviceTest::TearDown();
    }

    DWORD states[swd3d9::SAMPLER_STATE_COUNT];
    SamplerSetup setup;
    std::vector<IUnknown*> owned;
};

// Solid grey levels, each a different shade: level L has red = 40 * (L + 1).
DWORD levelShade(UINT level, UINT, UINT)
{
    const DWORD r = 40u * (level + 1);
    return 0xFF000000u | (r << 16);
}

float shadeOf(int level) { return 40.0f * static_cast<float>(level + 1) / 255.0f; }

// A row of texels numbered by their red channel: texel i has red 32 * i.
DWORD numbered(UINT, UINT x, UINT y) { return 0xFF000000u | ((32u * (x + 4 * y)) << 16); }

int texelNumber(const float rgba[4]) { return static_cast<int>(std::lround(rgba[0] * 255.0f / 32.0f)); }

} // namespace

TEST_F(TextureSamplerTest, PointSamplingReadsTheTexelContainingTheCoordinate)
{
    prepare(makeTexture(4, 4, 1, D3DFMT_A8R8G8B8, numbered));
    float c[4];
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            // The centre, and just inside both edges of the texel.
            for (float offset : {0.5f, 0.01f, 0.99f}) {
                sampleAt((static_cast<float>(x) + offset) / 4.0f, (static_cast<float>(y) + 0.5f) / 4.0f,
                         footprint(1, 4), c);
                EXPECT_EQ(x + 4 * y, texelNumber(c)) << x << "," << y << " offset " << offset;
            }
        }
}

TEST_F(TextureSamplerTest, BilinearFilteringInterpolatesBetweenTexelCentres)
{
    // Black and white texels side by side.
    IDirect3DTexture9* pair = makeTexture(2, 1, 1, D3DFMT_A8R8G8B8,
                                          [](UINT, UINT x, UINT) { return x == 0 ? 0xFF000000u : 0xFFFFFFFFu; });
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_CLAMP;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    prepare(pair);
    float c[4];
    // Centres at u = 0.25 and 0.75; the midpoint and quarter points between.
    const float expected[][2] = {{0.25f, 0.0f}, {0.375f, 0.25f}, {0.5f, 0.5f}, {0.625f, 0.75f}, {0.75f, 1.0f},
                                 {0.0f, 0.0f}, {1.0f, 1.0f}};
    for (const auto& e : expected) {
        sampleAt(e[0], 0.5f, footprint(1, 2), c);
        EXPECT_NEAR(e[1], c[0], TOLERANCE) << "u = " << e[0];
        EXPECT_NEAR(1.0f, c[3], TOLERANCE);
    }
    // Wrapping blends the last texel into the first across the edge.
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    prepare(pair);
    sampleAt(0.0f, 0.5f, footprint(1, 2), c);
    EXPECT_NEAR(0.5f, c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, SpecialisedBilinearPathMatchesTheGeneralOne)
{
    // The same random image as ARGB (specialised routine) and as ABGR
    // (general routine), compared at random coordinates, wrapping and clamping.
    std::mt19937 random(7);
    std::vector<DWORD> argb(16 * 8);
    for (DWORD& p : argb)
        p = random();
    auto swapped = [](DWORD c) { return (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16); };
    IDirect3DTexture9* fast =
        makeTexture(16, 8, 1, D3DFMT_A8R8G8B8, [&](UINT, UINT x, UINT y) { return argb[y * 16 + x]; });
    IDirect3DTexture9* general = makeTexture(16, 8, 1, D3DFMT_A8B8G8R8,
                                             [&](UINT, UINT x, UINT y) { return swapped(argb[y * 16 + x]); });
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    std::uniform_real_distribution<float> coordinate(-2.0f, 3.0f);
    for (DWORD mode : {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP}) {
        states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = mode;
        SamplerSetup fastSetup, generalSetup;
        swd3d9::prepareSampler(fastSetup, states, swd3d9::toTexture(fast));
        swd3d9::prepareSampler(generalSetup, states, swd3d9::toTexture(general));
        ASSERT_NE(fastSetup.routine, generalSetup.routine);
        for (int i = 0; i < 500; ++i) {
            const float u = coordinate(random), v = coordinate(random);
            float a[4], b[4];
            swd3d9::sample(fastSetup, u, v, 0.0f, footprint(0.5f, 16), a);
            swd3d9::sample(generalSetup, u, v, 0.0f, footprint(0.5f, 16), b);
            for (int k = 0; k < 4; ++k)
                ASSERT_NEAR(a[k], b[k], 1e-5f) << "mode " << mode << " at " << u << "," << v;
        }
    }
}

TEST_F(TextureSamplerTest, BilinearLanesMatchTheRoutineBitForBit)
{
    // The many-lane form of the specialised routine gives the routine's
    // own bits for every lane: ordinary, far, non-finite and negative
    // coordinates, an odd-sized texture, and a count that leaves a tail.
    std::mt19937 random(11);
    IDirect3DTexture9* texture =
        makeTexture(13, 7, 1, D3DFMT_A8R8G8B8, [&](UINT, UINT, UINT) { return static_cast<DWORD>(random()); });
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    std::uniform_real_distribution<float> coordinate(-3.0f, 4.0f);
    const float special[] = {0.0f, -0.0f, 1.0f, -1e9f, 1e9f, 3e38f, INFINITY, -INFINITY, NAN, 1e-30f, -0.5f / 13};
    constexpr int LANES = 63;
    float u[LANES], v[LANES], out[4][LANES];
    float* const rgba[4] = {out[0], out[1], out[2], out[3]};
    for (DWORD mode : {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP}) {
        states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = mode;
        prepare(texture);
        ASSERT_NE(0, setup.bilinearArgb);
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < LANES; ++i) {
                u[i] = random() % 4 ? coordinate(random) : special[random() % std::size(special)];
                v[i] = random() % 4 ? coordinate(random) : special[random() % std::size(special)];
            }
            swd3d9::sampleBilinearArgbLanes(setup, u, v, LANES, rgba);
            for (int i = 0; i < LANES; ++i) {
                float expected[4];
                sampleAt(u[i], v[i], ONE_TO_ONE_8, expected);
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(0, std::memcmp(&expected[k], &out[k][i], sizeof(float)))
                        << "mode " << mode << " lane " << i << " at " << u[i] << "," << v[i];
            }
        }
    }
}

TEST_F(TextureSamplerTest, AddressingModesMapOutOfRangeTexels)
{
    IDirect3DTexture9* row = makeTexture(4, 1, 1, D3DFMT_A8R8G8B8, numbered);
    states[D3DSAMP_BORDERCOLOR] = 0x80FF00FFu;
    // Texel columns -6 .. 9 and the texel each mode reads (-1: border).
    struct Mode {
        DWORD mode;
        int texels[16];
    };
    const Mode modes[] = {
        {D3DTADDRESS_WRAP, {2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
        {D3DTADDRESS_MIRROR, {2, 3, 3, 2, 1, 0, 0, 1, 2, 3, 3, 2, 1, 0, 0, 1}},
        {D3DTADDRESS_CLAMP, {0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3}},
        {D3DTADDRESS_BORDER, {-1, -1, -1, -1, -1, -1, 0, 1, 2, 3, -1, -1, -1, -1, -1, -1}},
        {D3DTADDRESS_MIRRORONCE, {3, 3, 3, 2, 1, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3}},
    };
    for (const Mode& m : modes) {
        states[D3DSAMP_ADDRESSU] = m.mode;
        prepare(row);
        for (int i = 0; i < 16; ++i) {
            const int column = i - 6;
            float c[4];
            sampleAt((static_cast<float>(column) + 0.5f) / 4.0f, 0.5f, footprint(1, 4), c);
            if (m.texels[i] < 0) {
                EXPECT_NEAR(1.0f, c[0], TOLERANCE) << "border, mode " << m.mode << " column " << column;
                EXPECT_NEAR(0.0f, c[1], TOLERANCE);
                EXPECT_NEAR(128.0f / 255.0f, c[3], TOLERANCE);
            } else {
                EXPECT_EQ(m.texels[i], texelNumber(c)) << "mode " << m.mode << " column " << column;
            }
        }
    }
}

TEST_F(TextureSamplerTest, BilinearFilteringBlendsTowardsTheBorderColour)
{
    IDirect3DTexture9* white = makeTexture(1, 1, 1, D3DFMT_A8R8G8B8, [](UINT, UINT, UINT) { return 0xFFFFFFFFu; });
    states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = D3DTADDRESS_BORDER;
    states[D3DSAMP_BORDERCOLOR] = 0x00000000u;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    prepare(white);
    float c[4];
    sampleAt(0.5f, 0.5f, footprint(0.25f, 1), c);
    EXPECT_NEAR(1.0f, c[0], TOLERANCE);
    // Halfway from the texel centre to the next (border) centre, on one axis.
    sampleAt(1.0f, 0.5f, footprint(0.25f, 1), c);
    EXPECT_NEAR(0.5f, c[0], TOLERANCE);
    EXPECT_NEAR(0.5f, c[3], TOLERANCE);
    // A corner: a quarter of the footprint is inside.
    sampleAt(1.0f, 1.0f, footprint(0.25f, 1), c);
    EXPECT_NEAR(0.25f, c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, MipPointSelectsTheNearestLevelOfDetail)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    prepare(texture);
    // Texels per pixel and the level that holds the nearest detail.
    const std::pair<float, int> cases[] = {{0.25f, 0}, {1.0f, 0}, {1.41f, 0}, {1.42f, 1}, {2.0f, 1},
                                           {2.8f, 1},  {2.9f, 2}, {4.0f, 2},  {8.0f, 3},  {100.0f, 3}};
    for (const auto& [texels, level] : cases) {
        float c[4];
        sampleAt(0.3f, 0.6f, footprint(texels, 8), c);
        EXPECT_NEAR(shadeOf(level), c[0], TOLERANCE) << texels << " texels per pixel";
    }
    // The footprint's longer side decides.
    TexCoordDerivatives stretched{};
    stretched.dudx = 1.0f / 8.0f;
    stretched.dvdy = 4.0f / 8.0f;
    EXPECT_NEAR(2.0f, swd3d9::computeLod(setup, stretched), 1e-5f);
    // Without a mip filter the top level is read at any scale.
    states[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    prepare(texture);
    float c[4];
    sampleAt(0.3f, 0.6f, footprint(8.0f, 8), c);
    EXPECT_NEAR(shadeOf(0), c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, MipLinearBlendsAdjacentLevels)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    prepare(texture);
    for (float lod : {0.5f, 1.0f, 1.25f, 2.75f}) {
        float c[4];
        sampleAt(0.4f, 0.4f, footprint(std::exp2(lod), 8), c);
        const int lower = static_cast<int>(lod);
        const float t = lod - static_cast<float>(lower);
        const float expected = shadeOf(lower) * (1.0f - t) + shadeOf(lower + 1) * t;
        EXPECT_NEAR(expected, c[0], TOLERANCE) << "lod " << lod;
    }
}

TEST_F(TextureSamplerTest, MaxMipLevelAndLodBiasShiftTheLevel)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    float c[4];

    states[D3DSAMP_MAXMIPLEVEL] = 2;
    prepare(texture);
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_NEAR(shadeOf(2), c[0], TOLERANCE);
    // Beyond the chain: the last level.
    states[D3DSAMP_MAXMIPLEVEL] = 9;
    prepare(texture);
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_NEAR(shadeOf(3), c[0], TOLERANCE);

    states[D3DSAMP_MAXMIPLEVEL] = 0;
    states[D3DSAMP_MIPMAPLODBIAS] = floatBits(1.0f);
    prepare(texture);
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_NEAR(shadeOf(1), c[0], TOLERANCE);
    states[D3DSAMP_MIPMAPLODBIAS] = floatBits(-1.0f);
    prepare(texture);
    sampleAt(0.5f, 0.5f, footprint(4.0f, 8), c);
    EXPECT_NEAR(shadeOf(1), c[0], TOLERANCE);
}

// Without mip filtering drivers read the top level the texture's LOD gives
// and ignore MAXMIPLEVEL, however far the footprint minifies.
TEST_F(TextureSamplerTest, WithoutMipFilteringMaxMipLevelIsIgnored)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    float c[4];
    for (DWORD maxLevel : {0u, 2u, 3u}) {
        states[D3DSAMP_MAXMIPLEVEL] = maxLevel;
        prepare(texture);
        sampleAt(0.5f, 0.5f, footprint(8.0f, 8), c);
        EXPECT_NEAR(shadeOf(0), c[0], TOLERANCE) << "MAXMIPLEVEL " << maxLevel;
    }
    texture->SetLOD(1);
    states[D3DSAMP_MAXMIPLEVEL] = 3;
    prepare(texture);
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_NEAR(shadeOf(1), c[0], TOLERANCE);
    // With point mip filtering the larger of the two limits applies.
    states[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    prepare(texture);
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_NEAR(shadeOf(3), c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, MagnificationAndMinificationUseTheirOwnFilters)
{
    IDirect3DTexture9* pair = makeTexture(2, 1, 1, D3DFMT_A8R8G8B8,
                                          [](UINT, UINT x, UINT) { return x == 0 ? 0xFF000000u : 0xFFFFFFFFu; });
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_CLAMP;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    prepare(pair);
    float c[4];
    sampleAt(0.45f, 0.5f, footprint(0.5f, 2), c);
    EXPECT_NEAR(0.0f, c[0], TOLERANCE);
    sampleAt(0.45f, 0.5f, footprint(1.5f, 2), c);
    EXPECT_NEAR(0.4f, c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, AnisotropicFilteringKeepsDetailAlongTheShortAxis)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MINFILTER] = D3DTEXF_ANISOTROPIC;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
    // Four texels across, one down: trilinear reads level 2, anisotropic
    // with four probes stays at level 0.
    TexCoordDerivatives d{};
    d.dudx = 4.0f / 8.0f;
    d.dvdy = 1.0f / 8.0f;
    float c[4];
    states[D3DSAMP_MAXANISOTROPY] = 4;
    prepare(texture);
    sampleAt(0.5f, 0.5f, d, c);
    EXPECT_NEAR(shadeOf(0), c[0], TOLERANCE);
    // Limited to two probes: level 1.
    states[D3DSAMP_MAXANISOTROPY] = 2;
    prepare(texture);
    sampleAt(0.5f, 0.5f, d, c);
    EXPECT_NEAR(shadeOf(1), c[0], TOLERANCE);
    // One probe is trilinear filtering.
    states[D3DSAMP_MAXANISOTROPY] = 1;
    prepare(texture);
    sampleAt(0.5f, 0.5f, d, c);
    EXPECT_NEAR(shadeOf(2), c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, QuadDerivativesSelectTheLevel)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    prepare(texture);
    // Two texels per pixel in x, one in y: level 1.
    const float u[4] = {0.25f, 0.5f, 0.25f, 0.5f};
    const float v[4] = {0.25f, 0.25f, 0.375f, 0.375f};
    const float w[4] = {};
    float c[4][4];
    swd3d9::sampleQuad(setup, u, v, w, c);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(shadeOf(1), c[i][0], TOLERANCE) << "pixel " << i;
}

TEST_F(TextureSamplerTest, CubeFaceSelectionFollowsTheMajorAxis)
{
    struct Case {
        float x, y, z;
        int face;
        float s, t;
    };
    const Case cases[] = {
        {1.0f, 0.5f, 0.5f, D3DCUBEMAP_FACE_POSITIVE_X, 0.25f, 0.25f},
        {-1.0f, 0.5f, 0.5f, D3DCUBEMAP_FACE_NEGATIVE_X, 0.75f, 0.25f},
        {0.5f, 1.0f, 0.5f, D3DCUBEMAP_FACE_POSITIVE_Y, 0.75f, 0.75f},
        {0.5f, -1.0f, 0.5f, D3DCUBEMAP_FACE_NEGATIVE_Y, 0.75f, 0.25f},
        {0.5f, 0.5f, 1.0f, D3DCUBEMAP_FACE_POSITIVE_Z, 0.75f, 0.25f},
        {0.5f, 0.5f, -1.0f, D3DCUBEMAP_FACE_NEGATIVE_Z, 0.25f, 0.25f},
        // Scale does not matter; only direction.
        {-4.0f, 0.0f, 2.0f, D3DCUBEMAP_FACE_NEGATIVE_X, 0.75f, 0.5f},
    };
    for (const Case& c : cases) {
        float s, t;
        EXPECT_EQ(c.face, swd3d9::selectCubeFace(c.x, c.y, c.z, s, t)) << c.x << "," << c.y << "," << c.z;
        EXPECT_NEAR(c.s, s, 1e-6f);
        EXPECT_NEAR(c.t, t, 1e-6f);
    }
}

TEST_F(TextureSamplerTest, CubeTexturesReadTheSelectedFace)
{
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateCubeTexture(4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr));
    owned.emplace_back(cube);
    // Face f solid, red = 40 * (f + 1), except texel (0, 0) of +X, white.
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0));
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x) {
                const DWORD c = face == 0 && x == 0 && y == 0 ? 0xFFFFFFFFu : levelShade(face, x, y);
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
            }
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    prepare(cube);
    const float directions[6][3] = {{1, 0.1f, 0.2f}, {-1, 0.1f, 0.2f}, {0.1f, 1, 0.2f},
                                    {0.1f, -1, 0.2f}, {0.1f, 0.2f, 1}, {0.1f, 0.2f, -1}};
    TexCoordDerivatives d{};
    for (int face = 0; face < 6; ++face) {
        float c[4];
        swd3d9::sample(setup, directions[face][0], directions[face][1], directions[face][2], d, c);
        EXPECT_NEAR(shadeOf(face), c[0], TOLERANCE) << "face " << face;
    }
    // +X's texel (0, 0) is towards +z and +y.
    float c[4];
    swd3d9::sample(setup, 1.0f, 0.9f, 0.9f, d, c);
    EXPECT_NEAR(1.0f, c[1], TOLERANCE);
    // Filtering stops at the face's edge: at the far edge of row 0 the
    // white texel on the other side of the face does not bleed in, even
    // with the sampler set to wrap.
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    prepare(cube);
    swd3d9::sample(setup, 1.0f, 0.75f, -1.0f, d, c);
    EXPECT_NEAR(0.0f, c[1], TOLERANCE);
    EXPECT_NEAR(shadeOf(0), c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, VolumeTexturesFilterInThreeDimensions)
{
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(D3D_OK,
              device->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr));
    owned.emplace_back(volume);
    D3DLOCKED_BOX box;
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &box, nullptr, 0));
    // Texel (x, y, z) has red 30 * (x + 2y + 4z).
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 2; ++x) {
                const DWORD c = 0xFF000000u | ((30u * (x + 2 * y + 4 * z)) << 16);
                std::memcpy(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch + x * 4, &c, 4);
            }
    volume->UnlockBox(0);
    states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = states[D3DSAMP_ADDRESSW] = D3DTADDRESS_CLAMP;
    prepare(volume);
    float c[4];
    TexCoordDerivatives d{};
    swd3d9::sample(setup, 0.75f, 0.25f, 0.75f, d, c);
    EXPECT_NEAR(30.0f * 5.0f / 255.0f, c[0], TOLERANCE);
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    prepare(volume);
    // The centre averages all eight: 30 * 3.5.
    swd3d9::sample(setup, 0.5f, 0.5f, 0.5f, d, c);
    EXPECT_NEAR(30.0f * 3.5f / 255.0f, c[0], TOLERANCE);
    // Halfway between slices only.
    swd3d9::sample(setup, 0.25f, 0.25f, 0.5f, d, c);
    EXPECT_NEAR(30.0f * 2.0f / 255.0f, c[0], TOLERANCE);
}

TEST_F(TextureSamplerTest, TexelFormatsDecodeTheirChannelOrder)
{
    float c[4];
    prepare(makeTexture(1, 1, 1, D3DFMT_R5G6B5, [](UINT, UINT, UINT) { return 0xF81Fu; }));
    sampleAt(0.5f, 0.5f, footprint(1, 1), c);
    EXPECT_NEAR(1.0f, c[0], TOLERANCE);
    EXPECT_NEAR(0.0f, c[1], TOLERANCE);
    EXPECT_NEAR(1.0f, c[2], TOLERANCE);
    EXPECT_NEAR(1.0f, c[3], TOLERANCE);
    prepare(makeTexture(1, 1, 1, D3DFMT_A8B8G8R8, [](UINT, UINT, UINT) { return 0x40336699u; }));
    sampleAt(0.5f, 0.5f, footprint(1, 1), c);
    EXPECT_NEAR(0x99 / 255.0f, c[0], TOLERANCE);
    EXPECT_NEAR(0x33 / 255.0f, c[2], TOLERANCE);
    EXPECT_NEAR(0x40 / 255.0f, c[3], TOLERANCE);
}

TEST_F(TextureSamplerTest, GeneratedMipLevelsFollowTheTopLevel)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateTexture(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                            &texture, nullptr));
    owned.emplace_back(texture);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) {
            const DWORD c = 0xFF2050C0u;
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
        }
    texture->UnlockRect(0);
    states[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    prepare(texture);
    ASSERT_GT(setup.lastLevel, 2);
    float c[4];
    sampleAt(0.5f, 0.5f, footprint(8.0f, 8), c);
    EXPECT_NEAR(0x20 / 255.0f, c[0], TOLERANCE);
    EXPECT_NEAR(0xC0 / 255.0f, c[2], TOLERANCE);
}

TEST_F(TextureSamplerTest, UnboundSamplerReadsOpaqueBlack)
{
    prepare(nullptr);
    float c[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    sampleAt(0.5f, 0.5f, ONE_TO_ONE_8, c);
    EXPECT_EQ(0.0f, c[0]);
    EXPECT_EQ(0.0f, c[2]);
    EXPECT_EQ(1.0f, c[3]);
}

TEST_F(TextureSamplerTest, NonFiniteCoordinatesStayInsideTheTexture)
{
    IDirect3DTexture9* texture = makeTexture(8, 8, 4, D3DFMT_A8R8G8B8, levelShade);
    const float bad[] = {std::nanf(""), INFINITY, -INFINITY, 3e38f, -3e38f};
    for (DWORD mode : {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP, D3DTADDRESS_BORDER,
                       D3DTADDRESS_MIRRORONCE}) {
        for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC}) {
            states[D3DSAMP_ADDRESSU] = states[D3DSAMP_ADDRESSV] = mode;
            states[D3DSAMP_MINFILTER] = states[D3DSAMP_MAGFILTER] = filter;
            states[D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
            states[D3DSAMP_MAXANISOTROPY] = 8;
            prepare(texture);
            for (float u : bad)
                for (float dd : {0.0f, 1.0f, INFINITY}) {
                    TexCoordDerivatives d{};
                    d.dudx = dd;
                    d.dvdy = 0.1f;
                    float c[4];
                    sampleAt(u, 0.5f, d, c);
                    sampleAt(0.5f, u, d, c);
                }
        }
    }
}
