// Pictures Windows drivers draw where the device used to differ: colours
// in USHORT4N elements, projected and single-component texture
// coordinates, cube textures addressed by two components, pre-transformed
// vertices beyond the far plane.

#include "pipeline_support.h"

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
    const DWORD faces[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    Com<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(D3D_OK, device->CreateCubeTexture(1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, cube.out(), nullptr));
    for (int f = 0; f < 6; ++f) {
        Com<IDirect3DSurface9> face;
        cube->GetCubeMapSurface(D3DCUBEMAP_FACES(f), 0, face.out());
        fillSurface(face.get(), [&](UINT, UINT) { return faces[f]; });
    }
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
