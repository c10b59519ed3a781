// Texture-coordinate transforms: how a coordinate set with fewer than four
// components, or a generated one, enters the D3DTS_TEXTUREn matrix, and
// which components of the result D3DTTFF_COUNTn passes on, seen through an
// 8x8 point-sampled texture whose texels name their own position.

#include "pipeline_support.h"

#include <cmath>
#include <initializer_list>
#include <tuple>
#include <vector>

using namespace d3dtest;

namespace {

constexpr UINT TARGET_SIZE = 64;
constexpr UINT TEXELS = 8;

// Texel (x, y) is red 32x + 16, green 32y + 16.
DWORD texelColour(UINT x, UINT y) { return 0xFF000000u | ((x * 32 + 16) << 16) | ((y * 32 + 16) << 8); }

// The identity with the entries given as (row, column, value), counted from 1.
D3DMATRIX matrix(std::initializer_list<std::tuple<int, int, float>> entries)
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    for (const auto& [row, column, value] : entries)
        m.m[row - 1][column - 1] = value;
    return m;
}

// The coordinates (s, t) a pixel should sample, from its own (u, v).
struct TexCoord {
    float s, t;
};
using Expected = TexCoord (*)(float u, float v);

} // namespace

class PipelineTextureTransformTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(TARGET_SIZE, TARGET_SIZE, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
        Com<IDirect3DTexture9> texture;
        Com<IDirect3DSurface9> level;
        ASSERT_EQ(D3D_OK, device->CreateTexture(TEXELS, TEXELS, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                texture.out(), nullptr));
        texture->GetSurfaceLevel(0, level.out());
        fillSurface(level.get(), texelColour);
        device->SetTexture(0, texture.get()); // for the device to hold
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    }

    // A quad over the whole target (identity transforms) with one normal and coordinates from (0, 0)
    // at the top left to (1, 1) at the bottom right: pixel (px, py) gets (px / 64, py / 64).
    void drawQuad(const D3DMATRIX& m, DWORD flags, float nx = 0.0f, float ny = 0.0f)
    {
        device->SetTransform(D3DTS_TEXTURE0, &m);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        const float quad[4][8] = {{-1, 1, 0.5f, nx, ny, -1, 0, 0}, {1, 1, 0.5f, nx, ny, -1, 1, 0},
                                  {-1, -1, 0.5f, nx, ny, -1, 0, 1}, {1, -1, 0.5f, nx, ny, -1, 1, 1}};
        clear(0);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(quad[0])));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    // Compares every pixel with the texel `expected` names for its (u, v), wrapped, but for pixels
    // within a hundredth of a texel of an edge, which may round either way. Returns those compared.
    int expectTexels(Expected expected)
    {
        const std::vector<DWORD> image = pixels32();
        int compared = 0, wrong = 0;
        for (UINT i = 0; i < TARGET_SIZE * TARGET_SIZE; ++i) {
            const auto [s, t] = expected(static_cast<float>(i % TARGET_SIZE) / TARGET_SIZE,
                                         static_cast<float>(i / TARGET_SIZE) / TARGET_SIZE);
            const double S = (s - std::floor(s)) * TEXELS, T = (t - std::floor(t)) * TEXELS;
            const double fs = S - std::floor(S), ft = T - std::floor(T);
            if (fs < 0.01 || fs > 0.99 || ft < 0.01 || ft > 0.99)
                continue;
            ++compared;
            wrong += (image[i] & 0xFFFFFF) != (texelColour(static_cast<UINT>(S), static_cast<UINT>(T)) & 0xFFFFFF);
        }
        EXPECT_EQ(0, wrong) << "pixels showing another texel";
        return compared;
    }
};

TEST_F(PipelineTextureTransformTest, CoordinatesEnterTheMatrixExtendedByTheirDimension)
{
    struct Case {
        const char* what;
        DWORD texCoordIndex, flags;
        D3DMATRIX m;
        Expected expected;
        float nx = 0.0f, ny = 0.0f;
    };
    const Case cases[] = {
        {"a matrix without D3DTTFF_COUNTn is not applied", 0, D3DTTFF_DISABLE, matrix({{1, 1, 3}, {3, 2, 0.5f}}),
         [](float u, float v) { return TexCoord{u, v}; }},
        {"a 2D set is (u, v, 1, 0): the third row translates, the fourth meets the 0", 0, D3DTTFF_COUNT2,
         matrix({{1, 1, 1.5f}, {1, 2, 0.25f}, {2, 1, -0.5f}, {2, 2, 0.75f}, {3, 1, -0.3f}, {3, 2, 0.6f}, {4, 1, 0.5f}}),
         [](float u, float v) { return TexCoord{1.5f * u - 0.5f * v - 0.3f, 0.25f * u + 0.75f * v + 0.6f}; }},
        // The reference pages would pass the transformed u alone; Windows
        // drivers apply no matrix and pass the whole set, as for DISABLE.
        {"D3DTTFF_COUNT1 leaves the set untransformed", 0, D3DTTFF_COUNT1,
         matrix({{1, 2, 0.5f}, {3, 1, 0.0625f}, {3, 2, 0.3f}}), [](float u, float v) { return TexCoord{u, v}; }},
        {"D3DTTFF_PROJECTED divides the first two by the third", 0, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED,
         matrix({{3, 1, 0.5f}, {3, 3, 2.0f}}), [](float u, float v) { return TexCoord{(u + 0.5f) / 2, v / 2}; }},
        // The quad's own position (2u - 1, 1 - 2v, 0.5): s = x / 2 + z / 4 + 1 / 2, t = y / 2 + 1 / 2.
        {"camera-space position is (x, y, z, 1)", D3DTSS_TCI_CAMERASPACEPOSITION, D3DTTFF_COUNT2,
         matrix({{1, 1, 0.5f}, {2, 2, 0.5f}, {3, 1, 0.25f}, {4, 1, 0.5f}, {4, 2, 0.5f}}),
         [](float u, float v) { return TexCoord{u + 0.125f, 1 - v}; }},
        // Here (0.3, 0.6, -1): u = 0.3 + 0.125, v = 0.6 + 0.25 nz.
        {"camera-space normal is (nx, ny, nz, 1)", D3DTSS_TCI_CAMERASPACENORMAL, D3DTTFF_COUNT2,
         matrix({{3, 2, 0.25f}, {4, 1, 0.125f}}), [](float, float) { return TexCoord{0.425f, 0.35f}; }, 0.3f, 0.6f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, c.texCoordIndex);
        drawQuad(c.m, c.flags, c.nx, c.ny);
        EXPECT_GT(expectTexels(c.expected), 2000);
    }

    // A sphere map is (u, v, 1, 0) too, one texel everywhere for one normal and a viewer at infinity:
    // a quarter in the third row moves it two texels, an eighth in the fourth row not at all.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    drawQuad(matrix({}), D3DTTFF_COUNT2, 0.5f, 0.3f);
    const DWORD plain = pixel(32, 32);
    drawQuad(matrix({{3, 1, 0.25f}, {4, 1, 0.125f}}), D3DTTFF_COUNT2, 0.5f, 0.3f);
    EXPECT_EQ(texelColour((channel(plain, 16) / 32 + 2) % TEXELS, channel(plain, 8) / 32), pixel(32, 32));
}

TEST_F(PipelineTextureTransformTest, CubesAreAddressedByThreeComponentAndReflectedSets)
{
    const DWORD* faces = CUBE_FACE_COLOURS;
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_NO_FATAL_FAILURE(makeFaceColouredCube(device.get(), cube));
    device->SetTexture(0, cube.get());
    // The mesh layout with (s, t, r) by D3DFVF_TEXCOORDSIZE3(0), (1, 0.2, -3) to (1, 0.2, 3) from left
    // to right: the largest component picks -z on the left third, +x in the middle, +z on the right.
    const float quad[4][9] = {{-1, 1, 0.5f, 0, 0, -1, 1, 0.2f, -3}, {1, 1, 0.5f, 0, 0, -1, 1, 0.2f, 3},
                              {-1, -1, 0.5f, 0, 0, -1, 1, 0.2f, -3}, {1, -1, 0.5f, 0, 0, -1, 1, 0.2f, 3}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(quad[0])));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_EQ(faces[D3DCUBEMAP_FACE_NEGATIVE_Z], pixel(6, 32) & 0xFFFFFF);
    EXPECT_EQ(faces[D3DCUBEMAP_FACE_POSITIVE_X], pixel(32, 32) & 0xFFFFFF);
    EXPECT_EQ(faces[D3DCUBEMAP_FACE_POSITIVE_Z], pixel(58, 32) & 0xFFFFFF);

    // The camera-space reflection vector is (rx, ry, rz, 1): a surface facing the camera reflects
    // what lies behind it (-z), the viewer at infinity or local; a fourth row (3, 0, 0) turns it to +x.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    for (const DWORD local : {FALSE, TRUE}) {
        device->SetRenderState(D3DRS_LOCALVIEWER, local);
        drawQuad(matrix({}), D3DTTFF_COUNT3);
        EXPECT_EQ(faces[D3DCUBEMAP_FACE_NEGATIVE_Z], pixel(32, 32) & 0xFFFFFF) << "local viewer " << local;
        drawQuad(matrix({{4, 1, 3.0f}}), D3DTTFF_COUNT3);
        EXPECT_EQ(faces[D3DCUBEMAP_FACE_POSITIVE_X], pixel(32, 32) & 0xFFFFFF) << "local viewer " << local;
    }
}
