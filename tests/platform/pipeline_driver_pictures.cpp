// Pictures Windows drivers draw where the device used to differ: colours
// in USHORT4N elements, projected and single-component texture
// coordinates, cube textures addressed by two components, pre-transformed
// vertices beyond the far plane.

#include "pipeline_support.h"

#include "d3d9/ProgramShaders.h"
#include "shader/ShaderCompiler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace d3dtest;

class DriverPictureTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(32, 32, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
    }

    void drawStrip(const void* vertices, UINT stride)
    {
        clear(0);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, stride));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }
};

// A colour given as four unsigned normalised shorts arrives as the vertex
// colour, as the caps' D3DDTCAPS_USHORT4N promises.
TEST_F(DriverPictureTest, UShort4NColoursArrive)
{
    struct V {
        float x, y, z, rhw;
        WORD colour[4]; // r, g, b, a
    };
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                          {0, 16, D3DDECLTYPE_USHORT4N, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    Com<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
    ASSERT_EQ(D3D_OK, device->SetVertexDeclaration(declaration.get()));
    const WORD r = 0xFFFF, g = 0x8080, b = 0x4040, a = 0xFFFF;
    const V quad[4] = {{0, 0, 0.5f, 1, {r, g, b, a}}, {32, 0, 0.5f, 1, {r, g, b, a}}, {0, 32, 0.5f, 1, {r, g, b, a}},
                       {32, 32, 0.5f, 1, {r, g, b, a}}};
    drawStrip(quad, sizeof(V));
    DWORD c = pixel(16, 16);
    EXPECT_EQ(0xFF, channel(c, 16));
    EXPECT_NEAR(0x80, channel(c, 8), 1);
    EXPECT_NEAR(0x40, channel(c, 0), 1);

    // Untransformed, as diffuse and as specular colour.
    struct U {
        float x, y, z;
        WORD diffuse[4], specular[4];
    };
    const D3DVERTEXELEMENT9 untransformed[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                               {0, 12, D3DDECLTYPE_USHORT4N, 0, D3DDECLUSAGE_COLOR, 0},
                                               {0, 20, D3DDECLTYPE_USHORT4N, 0, D3DDECLUSAGE_COLOR, 1},
                                               D3DDECL_END()};
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(untransformed, declaration.out()));
    ASSERT_EQ(D3D_OK, device->SetVertexDeclaration(declaration.get()));
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    const WORD none = 0;
    const U mesh[4] = {{-1, 1, 0.5f, {r, none, none, a}, {none, g, none, a}},
                       {1, 1, 0.5f, {r, none, none, a}, {none, g, none, a}},
                       {-1, -1, 0.5f, {r, none, none, a}, {none, g, none, a}},
                       {1, -1, 0.5f, {r, none, none, a}, {none, g, none, a}}};
    drawStrip(mesh, sizeof(U));
    c = pixel(16, 16);
    EXPECT_EQ(0xFF, channel(c, 16));
    EXPECT_NEAR(0x80, channel(c, 8), 1);
    EXPECT_EQ(0, channel(c, 0));
}

// Pre-transformed vertices are not clipped by their depth (the caps do not
// claim D3DPMISCCAPS_CLIPTLVERTS): a rectangle at z = 1.5 is drawn.
TEST_F(DriverPictureTest, PreTransformedVerticesBeyondTheFarPlaneAreDrawn)
{
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    ASSERT_FALSE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_CLIPTLVERTS);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    for (float z : {1.5f, -0.5f}) {
        clear(0);
        drawRect(0, 0, 32, 32, z, 0xFFFF0000);
        EXPECT_EQ(0xFFFF0000u, pixel(16, 16)) << "z " << z;
    }
    // With a depth test the depth is clamped to the buffer's range.
    makeTarget(32, 32);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    clear(0, 1.0f);
    drawRect(0, 0, 32, 32, 1.5f, 0xFFFF0000);
    EXPECT_EQ(0xFFFF0000u, pixel(16, 16));
}

// A cube texture addressed by a two-component set looks along (u, v, 0):
// the larger of the two picks an x or y face (the missing third component
// reads as 0, as the declaration rule has it, and never as 1, which would
// pick +z).
TEST_F(DriverPictureTest, CubesAddressedByTwoComponentSetsLookAlongUV0)
{
    const DWORD* faces = CUBE_FACE_COLOURS;
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_NO_FATAL_FAILURE(makeFaceColouredCube(device.get(), cube));
    device->SetTexture(0, cube.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        float u, v;
        D3DCUBEMAP_FACES face;
    };
    const Case cases[] = {{0.8f, 0.2f, D3DCUBEMAP_FACE_POSITIVE_X},
                          {-0.3f, -0.9f, D3DCUBEMAP_FACE_NEGATIVE_Y},
                          {0.1f, 0.5f, D3DCUBEMAP_FACE_POSITIVE_Y}};
    for (const Case& k : cases) {
        // Pre-transformed, then untransformed with identity transforms
        // (clip space is the screen).
        const float screen[4][6] = {{0, 0, 0.5f, 1, k.u, k.v}, {32, 0, 0.5f, 1, k.u, k.v},
                                    {0, 32, 0.5f, 1, k.u, k.v}, {32, 32, 0.5f, 1, k.u, k.v}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        drawStrip(screen, sizeof(screen[0]));
        EXPECT_EQ(faces[k.face], pixel(16, 16) & 0xFFFFFF) << k.u << ", " << k.v << " pre-transformed";
        const float clip[4][5] = {{-1, 1, 0.5f, k.u, k.v}, {1, 1, 0.5f, k.u, k.v}, {-1, -1, 0.5f, k.u, k.v},
                                  {1, -1, 0.5f, k.u, k.v}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        drawStrip(clip, sizeof(clip[0]));
        EXPECT_EQ(faces[k.face], pixel(16, 16) & 0xFFFFFF) << k.u << ", " << k.v << " untransformed";
    }
}

// A managed texture written with D3DLOCK_NO_DIRTY_UPDATE keeps showing its
// old contents until a dirty region (AddDirtyRect, an ordinary lock)
// brings the new ones to the device, region by region.
TEST_F(DriverPictureTest, WritesWithoutDirtyUpdateWaitForADirtyRegion)
{
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    auto write = [&](DWORD flags, DWORD left, DWORD right) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, flags));
        static_cast<DWORD*>(locked.pBits)[0] = left;
        static_cast<DWORD*>(locked.pBits)[1] = right;
        ASSERT_EQ(D3D_OK, texture->UnlockRect(0));
    };
    device->SetTexture(0, texture.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    // The left half of the target shows texel 0, the right half texel 1.
    const float quad[4][6] = {{0, 0, 0.5f, 1, 0, 0}, {32, 0, 0.5f, 1, 1, 0}, {0, 32, 0.5f, 1, 0, 1},
                              {32, 32, 0.5f, 1, 1, 1}};
    auto shown = [&] {
        drawStrip(quad, sizeof(quad[0]));
        return std::make_pair(pixel(8, 16), pixel(24, 16));
    };
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    write(0, red, red);
    EXPECT_EQ(std::make_pair(red, red), shown());

    write(D3DLOCK_NO_DIRTY_UPDATE, green, blue);
    EXPECT_EQ(std::make_pair(red, red), shown()) << "the write waits";
    const RECT right{1, 0, 2, 1};
    ASSERT_EQ(D3D_OK, texture->AddDirtyRect(&right));
    EXPECT_EQ(std::make_pair(red, blue), shown()) << "the dirty texel arrives";
    // Reading does not mark anything dirty; an ordinary lock does.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(green, static_cast<DWORD*>(locked.pBits)[0]);
    texture->UnlockRect(0);
    EXPECT_EQ(std::make_pair(red, blue), shown());
    const RECT left{0, 0, 1, 1};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, &left, 0));
    texture->UnlockRect(0);
    EXPECT_EQ(std::make_pair(green, blue), shown());

    // A write without dirty tracking, then the whole texture marked dirty.
    write(D3DLOCK_NO_DIRTY_UPDATE, white, white);
    EXPECT_EQ(std::make_pair(green, blue), shown());
    ASSERT_EQ(D3D_OK, texture->AddDirtyRect(nullptr));
    EXPECT_EQ(std::make_pair(white, white), shown());
}

// The same rule for volume textures, whose dirty regions are boxes; and a
// refused LockBox leaves the caller's structure as it was.
TEST_F(DriverPictureTest, VolumeWritesWithoutDirtyUpdateWaitForADirtyBox)
{
    Com<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(D3D_OK,
              device->CreateVolumeTexture(2, 1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volume.out(), nullptr));
    auto write = [&](DWORD flags, DWORD left, DWORD right) {
        D3DLOCKED_BOX locked;
        ASSERT_EQ(D3D_OK, volume->LockBox(0, &locked, nullptr, flags));
        static_cast<DWORD*>(locked.pBits)[0] = left;
        static_cast<DWORD*>(locked.pBits)[1] = right;
        ASSERT_EQ(D3D_OK, volume->UnlockBox(0));
    };
    device->SetTexture(0, volume.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
    const float quad[4][7] = {{0, 0, 0.5f, 1, 0, 0, 0.5f},
                              {32, 0, 0.5f, 1, 1, 0, 0.5f},
                              {0, 32, 0.5f, 1, 0, 1, 0.5f},
                              {32, 32, 0.5f, 1, 1, 1, 0.5f}};
    auto shown = [&] {
        drawStrip(quad, sizeof(quad[0]));
        return std::make_pair(pixel(8, 16), pixel(24, 16));
    };
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    write(0, red, red);
    EXPECT_EQ(std::make_pair(red, red), shown());
    write(D3DLOCK_NO_DIRTY_UPDATE, green, blue);
    EXPECT_EQ(std::make_pair(red, red), shown()) << "the write waits";
    const D3DBOX right{1, 0, 2, 1, 0, 1};
    ASSERT_EQ(D3D_OK, volume->AddDirtyBox(&right));
    EXPECT_EQ(std::make_pair(red, blue), shown()) << "the dirty texel arrives";
    write(D3DLOCK_NO_DIRTY_UPDATE, white, white);
    EXPECT_EQ(std::make_pair(red, blue), shown());
    ASSERT_EQ(D3D_OK, volume->AddDirtyBox(nullptr));
    EXPECT_EQ(std::make_pair(white, white), shown());

    D3DLOCKED_BOX held;
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &held, nullptr, 0));
    D3DLOCKED_BOX refused{7, 9, &held};
    EXPECT_EQ(D3DERR_INVALIDCALL, volume->LockBox(0, &refused, nullptr, 0));
    EXPECT_EQ(7, refused.RowPitch);
    EXPECT_EQ(9, refused.SlicePitch);
    EXPECT_EQ(&held, refused.pBits);
    volume->UnlockBox(0);
}

// Texture coordinates with a projection divisor: D3DTTFF_PROJECTED without
// a component count, and with the counts drivers honour or ignore. A 4x4
// point-sampled texture whose texels name their position is clamped at its
// edges; the quad over the target carries the set (4x, 4y, 4, 6) for (x, y)
// from (0, 0) at the top left to (1, 1) at the bottom right.
class ProjectedCoordinatePictureTest : public DriverPictureTest
{
protected:
    static constexpr UINT TEXELS = 4;

    static DWORD texelColour(UINT x, UINT y) { return 0xFF000000u | ((x * 64 + 32) << 16) | ((y * 64 + 32) << 8); }

    void SetUp() override
    {
        DriverPictureTest::SetUp();
        Com<IDirect3DTexture9> texture;
        Com<IDirect3DSurface9> level;
        ASSERT_EQ(D3D_OK, device->CreateTexture(TEXELS, TEXELS, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                texture.out(), nullptr));
        texture->GetSurfaceLevel(0, level.out());
        fillSurface(level.get(), texelColour);
        device->SetTexture(0, texture.get());
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }

    // The quad's set given as `components` floats through a declaration.
    void drawUntransformed(int components, DWORD flags)
    {
        struct V {
            float x, y, z, t[4];
        };
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
            {0, 12, static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + components - 1), 0, D3DDECLUSAGE_TEXCOORD, 0},
            D3DDECL_END()};
        Com<IDirect3DVertexDeclaration9> declaration;
        ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.out()));
        ASSERT_EQ(D3D_OK, device->SetVertexDeclaration(declaration.get()));
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        const V quad[4] = {{-1, 1, 0.5f, {0, 0, 4, 6}}, {1, 1, 0.5f, {4, 0, 4, 6}}, {-1, -1, 0.5f, {0, 4, 4, 6}},
                           {1, -1, 0.5f, {4, 4, 4, 6}}};
        drawStrip(quad, sizeof(V));
    }

    // The same set on pre-transformed vertices, its size given by the FVF.
    void drawPreTransformed(DWORD texCoordSize, DWORD flags)
    {
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | texCoordSize);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        const float quad[4][8] = {{0, 0, 0.5f, 1, 0, 0, 4, 6}, {32, 0, 0.5f, 1, 4, 0, 4, 6},
                                  {0, 32, 0.5f, 1, 0, 4, 4, 6}, {32, 32, 0.5f, 1, 4, 4, 4, 6}};
        const UINT stride = 4 * sizeof(float) + (texCoordSize == D3DFVF_TEXCOORDSIZE3(0) ? 12 : 16);
        std::vector<BYTE> packed(4 * stride);
        for (int i = 0; i < 4; ++i)
            std::memcpy(packed.data() + i * stride, quad[i], stride);
        drawStrip(packed.data(), stride);
    }

    // Every pixel shows the texel at (4x, 4y) / divisor, but for pixels
    // within a fiftieth of a texel of a texel edge. Returns those compared.
    int expectDividedBy(float divisor)
    {
        int compared = 0, wrong = 0;
        auto texel = [&](float coordinate, UINT& index) {
            const float scaled = std::min(std::max(coordinate / divisor, 0.0f), 1.0f) * TEXELS;
            const float fraction = scaled - std::floor(scaled);
            index = std::min(static_cast<UINT>(scaled), TEXELS - 1);
            return scaled >= TEXELS || (fraction > 0.02f && fraction < 0.98f);
        };
        for (UINT y = 0; y < 32; ++y)
            for (UINT x = 0; x < 32; ++x) {
                UINT s, t;
                if (!texel(4.0f * (x + 0.5f) / 32, s) || !texel(4.0f * (y + 0.5f) / 32, t))
                    continue;
                ++compared;
                wrong += (pixel(x, y) & 0xFFFFFF) != (texelColour(s, t) & 0xFFFFFF);
            }
        EXPECT_EQ(0, wrong) << "pixels showing another texel";
        return compared;
    }
};

// D3DTTFF_PROJECTED without a count divides by the last component the set
// supplies: a four-component set draws as COUNT4 | PROJECTED, a
// three-component one as COUNT3 | PROJECTED. Count bits beyond 4 (the
// flags 0xFFFFFFFF) draw the same. A two-component set under COUNT3 |
// PROJECTED is (u, v, 1) and draws undivided. These are the pictures of
// Windows drivers; the reference pages describe projection only together
// with a count.
TEST_F(ProjectedCoordinatePictureTest, ProjectionWithoutACountDividesByTheLastGivenComponent)
{
    struct Case {
        const char* what;
        int components;
        DWORD flags;
        float divisor;
    };
    const Case cases[] = {
        {"PROJECTED, four components", 4, D3DTTFF_PROJECTED, 6},
        {"PROJECTED, three components", 3, D3DTTFF_PROJECTED, 4},
        {"0xFFFFFFFF, four components", 4, 0xFFFFFFFF, 6},
        {"0xFFFFFFFF, three components", 3, 0xFFFFFFFF, 4},
        {"COUNT4 | PROJECTED, four components", 4, D3DTTFF_COUNT4 | D3DTTFF_PROJECTED, 6},
        {"COUNT3 | PROJECTED, four components", 4, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, 4},
        {"COUNT3 | PROJECTED, two components", 2, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, 1},
        {"no flags, four components", 4, D3DTTFF_DISABLE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        drawUntransformed(c.components, c.flags);
        EXPECT_GT(expectDividedBy(c.divisor), 400);
    }

    // Pre-transformed vertices are projected by the same rule.
    drawPreTransformed(D3DFVF_TEXCOORDSIZE4(0), D3DTTFF_PROJECTED);
    EXPECT_GT(expectDividedBy(6), 400) << "pre-transformed, four components";
    drawPreTransformed(D3DFVF_TEXCOORDSIZE3(0), D3DTTFF_PROJECTED);
    EXPECT_GT(expectDividedBy(4), 400) << "pre-transformed, three components";
}

// A vertex program writes all four components; the fixed-function pixel
// stage divides by the fourth under D3DTTFF_PROJECTED without a count, as
// Windows drivers draw it.
TEST_F(ProjectedCoordinatePictureTest, VertexProgramSetsAreDividedByTheirFourth)
{
    const char* const passThrough = R"(
void main(float3 position : POSITION, float4 texCoord : TEXCOORD0,
          out float4 clip : POSITION, out float4 coordinates : TEXCOORD0)
{
    clip = float4(position, 1);
    coordinates = texCoord;
}
)";
    std::string errors;
    const std::shared_ptr<const swd3d9::shader::Program> program = swd3d9::shader::compileShader(
        passThrough, "projected.hlsl", "main", swd3d9::shader::ShaderStage::Vertex, errors);
    ASSERT_TRUE(program) << errors;
    Com<IDirect3DVertexShader9> shader;
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), program, {}, shader.out()));
    ASSERT_EQ(D3D_OK, device->SetVertexShader(shader.get()));
    drawUntransformed(4, D3DTTFF_PROJECTED);
    EXPECT_GT(expectDividedBy(6), 400);
    device->SetVertexShader(nullptr);
}

// D3DTTFF_COUNT1 leaves the coordinates as the vertex gives them, the
// matrix unapplied, as D3DTTFF_DISABLE does: the picture of Windows
// drivers (the reference pages say one transformed component reaches the
// rasteriser, which no driver draws). Seen on a 2x2x2 volume texture,
// whose third coordinate would otherwise be lost.
TEST_F(DriverPictureTest, CountOneLeavesCoordinatesUntransformed)
{
    Com<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(D3D_OK, device->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volume.out(),
                                                  nullptr));
    // Texel (x, y, z) has red 0x40 + 0x80x, green 0x40 + 0x80y, blue 0x40 + 0x80z.
    D3DLOCKED_BOX box;
    ASSERT_EQ(D3D_OK, volume->LockBox(0, &box, nullptr, 0));
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 2; ++x) {
                const DWORD c = 0xFF000000u | ((0x40 + 0x80 * x) << 16) | ((0x40 + 0x80 * y) << 8) | (0x40 + 0x80 * z);
                std::memcpy(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch + x * 4, &c, 4);
            }
    ASSERT_EQ(D3D_OK, volume->UnlockBox(0));
    device->SetTexture(0, volume.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // (x, y, 0.75) across the target; a zero matrix would send all to (0, 0, 0).
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
    const float quad[4][6] = {{-1, 1, 0.5f, 0, 0, 0.75f}, {1, 1, 0.5f, 1, 0, 0.75f}, {-1, -1, 0.5f, 0, 1, 0.75f},
                              {1, -1, 0.5f, 1, 1, 0.75f}};
    const D3DMATRIX zero{};
    device->SetTransform(D3DTS_TEXTURE0, &zero);
    auto picture = [&](DWORD flags) {
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        drawStrip(quad, sizeof(quad[0]));
        return pixels32();
    };
    const std::vector<DWORD> untransformed = picture(D3DTTFF_DISABLE);
    EXPECT_EQ(untransformed, picture(D3DTTFF_COUNT1));
    EXPECT_EQ(0xC040C0u, untransformed[8 * 32 + 24] & 0xFFFFFF) << "texel (1, 0, 1)";
    EXPECT_EQ(0x40C0C0u, untransformed[24 * 32 + 8] & 0xFFFFFF) << "texel (0, 1, 1)";
}
