// Texture-coordinate transforms: how a coordinate set with fewer than four
// components, or a generated one, enters the D3DTS_TEXTUREn matrix, and
// which components of the result D3DTTFF_COUNTn passes on. Each case
// draws a quad over the whole target with an 8x8 point-sampled texture
// whose texels name their own position, and compares every pixel with the
// texel the transformed coordinates name.

#include "pipeline_support.h"

#include <cmath>
#include <functional>
#include <vector>

using namespace d3dtest;

namespace {

constexpr UINT TARGET_SIZE = 64;
constexpr UINT TEXELS = 8;

struct QuadVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr DWORD QUAD_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// Texel (x, y) is red 32x + 16, green 32y + 16.
DWORD texelColour(UINT x, UINT y) { return 0xFF000000u | ((x * 32 + 16) << 16) | ((y * 32 + 16) << 8); }

struct Texel {
    int x, y;
};

D3DMATRIX identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// The 4x4 matrix the renderer builds from a 2D texture matrix: the 3x3
// (rows a b, c d, tx ty) in the upper left, the rest identity.
D3DMATRIX fromMatrix2D(float a, float b, float c, float d, float tx, float ty)
{
    D3DMATRIX m = identity();
    m._11 = a, m._12 = b;
    m._21 = c, m._22 = d;
    m._31 = tx, m._32 = ty;
    return m;
}

} // namespace

class PipelineTextureTransformTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(TARGET_SIZE, TARGET_SIZE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        ASSERT_EQ(D3D_OK, device->CreateTexture(TEXELS, TEXELS, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                texture.out(), nullptr));
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
        for (UINT y = 0; y < TEXELS; ++y)
            for (UINT x = 0; x < TEXELS; ++x)
                static_cast<DWORD*>(locked.pBits)[y * (locked.Pitch / 4) + x] = texelColour(x, y);
        texture->UnlockRect(0);
        device->SetTexture(0, texture.get());
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    }

    void TearDown() override
    {
        device->SetTexture(0, nullptr);
        texture.reset();
        PipelineTest::TearDown();
    }

    // A quad over the whole target (identity transforms: clip space is the
    // viewport) with coordinates (0, 0) at the top left and (1, 1) at the
    // bottom right, so that pixel (px, py) gets (px / 64, py / 64), and one
    // normal for every vertex.
    void drawQuad(float nx = 0.0f, float ny = 0.0f, float nz = -1.0f)
    {
        const QuadVertex quad[4] = {{-1, 1, 0.5f, nx, ny, nz, 0, 0},
                                    {1, 1, 0.5f, nx, ny, nz, 1, 0},
                                    {-1, -1, 0.5f, nx, ny, nz, 0, 1},
                                    {1, -1, 0.5f, nx, ny, nz, 1, 1}};
        clear(0);
        device->SetFVF(QUAD_FVF);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    void setTransform(DWORD flags, const D3DMATRIX& m)
    {
        device->SetTransform(D3DTS_TEXTURE0, &m);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
    }

    // Compares every pixel with the texel at the coordinates `expected`
    // gives for the pixel's own (u, v), wrapped; pixels whose coordinates
    // fall within a hundredth of a texel of a texel edge are skipped, as
    // rounding may take them either way. Returns the pixels compared.
    int expectTexels(const std::function<void(float u, float v, float& s, float& t)>& expected)
    {
        const std::vector<DWORD> image = pixels32();
        int compared = 0, wrong = 0;
        for (UINT py = 0; py < TARGET_SIZE; ++py)
            for (UINT px = 0; px < TARGET_SIZE; ++px) {
                float s, t;
                expected(static_cast<float>(px) / TARGET_SIZE, static_cast<float>(py) / TARGET_SIZE, s, t);
                const double S = (s - std::floor(s)) * TEXELS, T = (t - std::floor(t)) * TEXELS;
                const double fs = S - std::floor(S), ft = T - std::floor(T);
                if (fs < 0.01 || fs > 0.99 || ft < 0.01 || ft > 0.99)
                    continue;
                ++compared;
                const DWORD want = texelColour(static_cast<UINT>(S), static_cast<UINT>(T)) & 0xFFFFFF;
                const DWORD got = image[py * TARGET_SIZE + px] & 0xFFFFFF;
                if (got != want && ++wrong <= 3)
                    ADD_FAILURE() << "pixel (" << px << ", " << py << ") shows texel (" << channel(got, 16) / 32
                                  << ", " << channel(got, 8) / 32 << "), expected (" << static_cast<int>(S) << ", "
                                  << static_cast<int>(T) << ")";
            }
        EXPECT_EQ(0, wrong);
        return compared;
    }

    // The one texel every pixel shows.
    Texel uniformTexel()
    {
        const std::vector<DWORD> image = pixels32();
        const DWORD first = image[0] & 0xFFFFFF;
        for (DWORD p : image)
            if ((p & 0xFFFFFF) != first)
                return {-1, -1};
        return {channel(first, 16) / 32, channel(first, 8) / 32};
    }

    Com<IDirect3DTexture9> texture;
};

TEST_F(PipelineTextureTransformTest, UntransformedCoordinatesAddressTheirTexels)
{
    // A matrix without D3DTTFF_COUNTn is not applied.
    setTransform(D3DTTFF_DISABLE, fromMatrix2D(0, 1, 1, 0, 0.5f, 0.5f));
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) { s = u, t = v; }), 2000);
}

TEST_F(PipelineTextureTransformTest, TwoDimensionalSetsTakeTheTranslationFromTheThirdRow)
{
    // Rotated a quarter turn, scaled by two and translated: (u, v, 1, 0)
    // times the matrix.
    setTransform(D3DTTFF_COUNT2, fromMatrix2D(0, 2, -2, 0, 0.25f, 0.125f));
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) {
                  s = -2 * v + 0.25f;
                  t = 2 * u + 0.125f;
              }),
              2000);

    // A shear with a translation, as an arbitrary affine 2D transform.
    setTransform(D3DTTFF_COUNT2, fromMatrix2D(1.5f, 0.25f, -0.5f, 0.75f, -0.3f, 0.6f));
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) {
                  s = 1.5f * u - 0.5f * v - 0.3f;
                  t = 0.25f * u + 0.75f * v + 0.6f;
              }),
              2000);

    // The fourth row meets the fourth component, which is 0 for a 2D set.
    D3DMATRIX fourthRow = identity();
    fourthRow._41 = 0.5f;
    fourthRow._42 = 0.25f;
    setTransform(D3DTTFF_COUNT2, fourthRow);
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) { s = u, t = v; }), 2000);
}

TEST_F(PipelineTextureTransformTest, OnlyTheCountedResultsReachTheRasteriser)
{
    // D3DTTFF_COUNT1 passes u alone: a 2D texture then samples with v = 0,
    // whatever the matrix makes of the second component.
    setTransform(D3DTTFF_COUNT1, fromMatrix2D(1, 0.5f, 0, 1, 0.0625f, 0.3f));
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float, float& s, float& t) {
                  s = u + 0.0625f;
                  t = 0.0f + 0.5f / TEXELS; // row 0 (the centre, to count the pixel)
              }),
              2000);

    // D3DTTFF_COUNT3 with D3DTTFF_PROJECTED divides the first two by the third.
    D3DMATRIX projective = fromMatrix2D(1, 0, 0, 1, 0, 0);
    projective._33 = 2.0f;
    projective._31 = 0.5f; // translation before the division
    setTransform(D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, projective);
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) {
                  s = (u + 0.5f) / 2.0f;
                  t = v / 2.0f;
              }),
              2000);
}

TEST_F(PipelineTextureTransformTest, CameraSpacePositionEntersAsAPointWithWOne)
{
    // (x, y, z, 1): the fourth row translates, the third scales z. With
    // identity view the camera-space position is the quad's own, x and y
    // from -1 to 1 and z = 0.5.
    D3DMATRIX m{};
    m._11 = 0.5f;
    m._22 = -0.5f;
    m._31 = 0.25f; // times z = 0.5
    m._33 = 1.0f;
    m._41 = 0.5f;
    m._42 = 0.5f;
    m._44 = 1.0f;
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    setTransform(D3DTTFF_COUNT2, m);
    drawQuad();
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) {
                  const float x = 2 * u - 1, y = 1 - 2 * v;
                  s = 0.5f * x + 0.25f * 0.5f + 0.5f;
                  t = -0.5f * y + 0.5f;
              }),
              2000);
}

TEST_F(PipelineTextureTransformTest, CameraSpaceNormalEntersWithWOne)
{
    // (nx, ny, nz, 1): here (0.3, 0.6, -1), so u = 0.3 + 0.125 from the
    // fourth row, v = 0.6 + 0.25 nz from the third: texel (3, 2).
    D3DMATRIX m = identity();
    m._32 = 0.25f;
    m._41 = 0.125f;
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    setTransform(D3DTTFF_COUNT2, m);
    drawQuad(0.3f, 0.6f, -1.0f);
    const Texel texel = uniformTexel();
    EXPECT_EQ(3, texel.x);
    EXPECT_EQ(2, texel.y);
}

TEST_F(PipelineTextureTransformTest, SphereMapCoordinatesAreTwoDimensional)
{
    // Whatever the sphere map gives, it enters as (u, v, 1, 0): a
    // translation in the third row moves every pixel by it, one in the
    // fourth row does nothing. A quarter of the texture is two texels.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    setTransform(D3DTTFF_COUNT2, identity());
    drawQuad(0.5f, 0.3f, -1.0f);
    const std::vector<DWORD> plain = pixels32();

    D3DMATRIX third = identity();
    third._31 = 0.25f;
    setTransform(D3DTTFF_COUNT2, third);
    drawQuad(0.5f, 0.3f, -1.0f);
    const std::vector<DWORD> shifted = pixels32();

    D3DMATRIX fourth = identity();
    fourth._41 = 0.25f;
    setTransform(D3DTTFF_COUNT2, fourth);
    drawQuad(0.5f, 0.3f, -1.0f);
    const std::vector<DWORD> unshifted = pixels32();

    int moved = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        const int x = channel(plain[i], 16) / 32, y = channel(plain[i], 8) / 32;
        const int sx = channel(shifted[i], 16) / 32, sy = channel(shifted[i], 8) / 32;
        moved += sx == (x + 2) % 8 && sy == y;
        EXPECT_EQ(plain[i], unshifted[i]);
    }
    // Pixels near a texel edge may round either way.
    EXPECT_GT(moved, static_cast<int>(plain.size()) * 9 / 10);
}

TEST_F(PipelineTextureTransformTest, ReflectionVectorEntersWithWOneAndMirrorsTheViewer)
{
    // A cube whose faces are six colours, read by the camera-space
    // reflection vector: a surface facing the camera reflects what lies
    // behind the camera (-z), with the viewer at infinity as well as local.
    const DWORD faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(D3D_OK, device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.out(), nullptr));
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 0, &locked, nullptr, 0));
        for (int i = 0; i < 16; ++i)
            static_cast<DWORD*>(locked.pBits)[(i / 4) * (locked.Pitch / 4) + i % 4] = faces[f];
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 0);
    }
    device->SetTexture(0, cube.get());
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    setTransform(D3DTTFF_COUNT3, identity());
    for (DWORD local : {FALSE, TRUE}) {
        device->SetRenderState(D3DRS_LOCALVIEWER, local);
        drawQuad(0.0f, 0.0f, -1.0f);
        EXPECT_EQ(faces[D3DCUBEMAP_FACE_NEGATIVE_Z] & 0xFFFFFF, pixel(TARGET_SIZE / 2, TARGET_SIZE / 2) & 0xFFFFFF)
            << "local viewer " << local;
    }
    // (rx, ry, rz, 1): a fourth row of (3, 0, 0) turns the reflection at
    // the centre, about (0, 0, -1), towards +x.
    D3DMATRIX m = identity();
    m._41 = 3.0f;
    setTransform(D3DTTFF_COUNT3, m);
    drawQuad(0.0f, 0.0f, -1.0f);
    EXPECT_EQ(faces[D3DCUBEMAP_FACE_POSITIVE_X] & 0xFFFFFF, pixel(TARGET_SIZE / 2, TARGET_SIZE / 2) & 0xFFFFFF);
    device->SetTexture(0, nullptr);
}

TEST_F(PipelineTextureTransformTest, PreTransformedVerticesKeepTheirCoordinates)
{
    // Direct3D does not transform the coordinates of transformed and lit vertices.
    struct ScreenTexVertex {
        float x, y, z, rhw;
        float u, v;
    };
    const float e = static_cast<float>(TARGET_SIZE);
    const ScreenTexVertex quad[4] = {{0, 0, 0.5f, 1, 0, 0}, {e, 0, 0.5f, 1, 1, 0}, {0, e, 0.5f, 1, 0, 1},
                                     {e, e, 0.5f, 1, 1, 1}};
    setTransform(D3DTTFF_COUNT2, fromMatrix2D(0, 1, 1, 0, 0.5f, 0.5f));
    clear(0);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenTexVertex)));
    ASSERT_EQ(D3D_OK, device->EndScene());
    EXPECT_GT(expectTexels([](float u, float v, float& s, float& t) { s = u, t = v; }), 2000);
}
