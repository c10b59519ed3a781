// Vertex processing: lit vertex colours against the lighting equations
// evaluated here in double precision, material sources, vertex and table
// fog. Each case draws single points, whose pixel is the vertex's colour.

#include "pipeline_support.h"

#include <cmath>
#include <random>
#include <vector>

using namespace d3dtest;

namespace {

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec unit(Vec a)
{
    const double l = std::sqrt(dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
};
constexpr DWORD LIT_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

int expected8(double v) { return static_cast<int>(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0)); }

} // namespace

class PipelineLightingTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(64, 64);
        // Camera at the origin looking down +z (identity view), a 90-degree
        // field of view so that camera-space points map to known pixels.
        D3DXMATRIX projection;
        D3DXMatrixPerspectiveFovLH(&projection, 1.5707963f, 1.0f, 0.5f, 100.0f);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    // Draws one point and returns its pixel, found where it should project.
    DWORD drawPoint(const LitVertex& v)
    {
        clear(0);
        device->SetFVF(LIT_FVF);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof(v));
        device->EndScene();
        const double sx = 32.0 + 32.0 * v.x / v.z;
        const double sy = 32.0 - 32.0 * v.y / v.z;
        return pixel(static_cast<UINT>(std::ceil(sx - 0.5)), static_cast<UINT>(std::ceil(sy - 0.5)));
    }
};

TEST_F(PipelineLightingTest, PointAndSpotLightsFollowTheLightingEquations)
{
    D3DMATERIAL9 m{};
    m.Diffuse = {0.8f, 0.6f, 0.4f, 0.5f};
    m.Ambient = {0.3f, 0.2f, 0.1f, 1.0f};
    m.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    m.Emissive = {0.05f, 0.0f, 0.1f, 0.0f};
    m.Power = 12.0f;
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(40, 20, 60));
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);

    D3DLIGHT9 point{};
    point.Type = D3DLIGHT_POINT;
    point.Diffuse = {0.9f, 0.8f, 0.7f, 1};
    point.Specular = {0.6f, 0.6f, 0.6f, 1};
    point.Ambient = {0.1f, 0.1f, 0.1f, 1};
    point.Position = {2.0f, 1.0f, 1.0f};
    point.Range = 50.0f;
    point.Attenuation0 = 0.5f;
    point.Attenuation1 = 0.1f;
    point.Attenuation2 = 0.02f;
    D3DLIGHT9 spot{};
    spot.Type = D3DLIGHT_SPOT;
    spot.Diffuse = {0.5f, 0.7f, 0.9f, 1};
    spot.Position = {-1.0f, 0.0f, 2.0f};
    spot.Direction = {1.0f, 0.2f, 3.0f};
    spot.Range = 50.0f;
    spot.Attenuation0 = 1.0f;
    spot.Theta = 0.2f;
    spot.Phi = 0.9f;
    spot.Falloff = 2.0f;
    device->SetLight(0, &point);
    device->SetLight(1, &spot);
    device->LightEnable(0, TRUE);
    device->LightEnable(1, TRUE);

    const LitVertex vertex = {0.3f, -0.2f, 5.0f, -0.2f, 0.5f, -2.0f, 0xFFFFFFFF};
    const Vec p{vertex.x, vertex.y, vertex.z};
    const Vec n = unit({vertex.nx, vertex.ny, vertex.nz});
    const Vec toViewer = unit(Vec{0, 0, 0} - p);
    double ambient[3] = {40 / 255.0, 20 / 255.0, 60 / 255.0};
    double diffuse[3] = {0, 0, 0}, specular[3] = {0, 0, 0};
    // Point light.
    {
        const Vec l = Vec{2, 1, 1} - p;
        const double d = std::sqrt(dot(l, l));
        const double atten = 1.0 / (0.5 + 0.1 * d + 0.02 * d * d);
        const Vec ldir = unit(l);
        const double nl = dot(n, ldir);
        const double nh = dot(n, unit(toViewer + ldir));
        const double ld[3] = {0.9, 0.8, 0.7};
        for (int k = 0; k < 3; ++k) {
            ambient[k] += 0.1 * atten;
            if (nl > 0) {
                diffuse[k] += ld[k] * nl * atten;
                specular[k] += 0.6 * std::pow(std::max(0.0, nh), 12.0) * atten;
            }
        }
    }
    // Spot light: rho between the axis and the light-to-vertex direction.
    {
        const Vec l = Vec{-1, 0, 2} - p;
        const Vec ldir = unit(l);
        const Vec axis = unit({1.0, 0.2, 3.0});
        const double rho = -dot(ldir, axis);
        const double ct = std::cos(0.1), cp = std::cos(0.45);
        const double spotFactor = rho > ct ? 1.0 : rho <= cp ? 0.0 : std::pow((rho - cp) / (ct - cp), 2.0);
        ASSERT_GT(spotFactor, 0.05);
        ASSERT_LT(spotFactor, 0.95);
        const double nl = dot(n, ldir);
        const double ld[3] = {0.5, 0.7, 0.9};
        for (int k = 0; k < 3; ++k)
            if (nl > 0)
                diffuse[k] += ld[k] * nl * spotFactor;
    }
    const double ca[3] = {0.3, 0.2, 0.1}, cd[3] = {0.8, 0.6, 0.4}, ce[3] = {0.05, 0.0, 0.1};
    int expected[3];
    for (int k = 0; k < 3; ++k)
        expected[k] = expected8(ca[k] * ambient[k] + cd[k] * diffuse[k] + ce[k] + 0.5 * specular[k]);
    const DWORD c = drawPoint(vertex);
    EXPECT_NEAR(expected[0], channel(c, 16), 1);
    EXPECT_NEAR(expected[1], channel(c, 8), 1);
    EXPECT_NEAR(expected[2], channel(c, 0), 1);
    // The diffuse alpha is the material's.
    EXPECT_NEAR(128, channel(c, 24), 1);
}

TEST_F(PipelineLightingTest, DirectionalLightUsesTheViewTransformAndVertexColourSource)
{
    // A rotated view: the light's world direction must be turned with it.
    D3DXMATRIX view;
    D3DXMatrixRotationY(&view, 0.7f);
    device->SetTransform(D3DTS_VIEW, &view);
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &view);
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {1, 1, 1, 1};
    sun.Direction = {0.3f, -0.5f, 1.0f};
    device->SetLight(3, &sun);
    device->LightEnable(3, TRUE);
    D3DMATERIAL9 m{};
    m.Diffuse = {0.1f, 0.1f, 0.1f, 1};
    device->SetMaterial(&m);
    // Diffuse from the vertex colour.
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);

    // Place the point where the camera sees it: camera (0.2,-0.1,4) in world.
    D3DXVECTOR3 camera(0.2f, -0.1f, 4.0f), world;
    D3DXVec3TransformCoord(&world, &camera, &inverse);
    const LitVertex v = {world.x, world.y, world.z, -0.3f, 0.5f, -1.0f, D3DCOLOR_XRGB(200, 100, 50)};
    clear(0);
    device->SetFVF(LIT_FVF);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof(v));
    device->EndScene();
    const DWORD c = pixel(static_cast<UINT>(std::ceil(32 + 32 * 0.2 / 4 - 0.5)),
                          static_cast<UINT>(std::ceil(32 + 32 * 0.1 / 4 - 0.5)));
    // Both vectors are in world space, so the rotation does not change N.L.
    const double nl = dot(unit({-0.3, 0.5, -1.0}), unit({-0.3, 0.5, -1.0}));
    EXPECT_NEAR(expected8(200 / 255.0 * nl), channel(c, 16), 1);
    EXPECT_NEAR(expected8(100 / 255.0 * nl), channel(c, 8), 1);
    EXPECT_NEAR(expected8(50 / 255.0 * nl), channel(c, 0), 1);
}

TEST_F(PipelineLightingTest, VertexFogFactorsAtKnownDepths)
{
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_XRGB(0, 0, 255));
    device->SetRenderState(D3DRS_FOGSTART, floatBits(2.0f));
    device->SetRenderState(D3DRS_FOGEND, floatBits(10.0f));
    device->SetRenderState(D3DRS_FOGDENSITY, floatBits(0.15f));
    struct Case {
        DWORD mode;
        float depth;
        double factor;
    };
    const Case cases[] = {
        {D3DFOG_LINEAR, 4.0f, 0.75},
        {D3DFOG_LINEAR, 12.0f, 0.0},
        {D3DFOG_EXP, 5.0f, std::exp(-0.75)},
        {D3DFOG_EXP2, 5.0f, std::exp(-0.5625)},
    };
    for (const Case& k : cases) {
        device->SetRenderState(D3DRS_FOGVERTEXMODE, k.mode);
        const LitVertex v = {0.0f, 0.0f, k.depth, 0, 0, -1, D3DCOLOR_XRGB(255, 0, 0)};
        const DWORD c = drawPoint(v);
        EXPECT_NEAR(expected8(k.factor), channel(c, 16), 1) << k.mode << " at " << k.depth;
        EXPECT_NEAR(expected8(1.0 - k.factor), channel(c, 0), 1) << k.mode << " at " << k.depth;
    }
}

TEST_F(PipelineLightingTest, TableFogUsesDepthPerPixel)
{
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_XRGB(0, 255, 0));
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_EXP);
    device->SetRenderState(D3DRS_FOGDENSITY, floatBits(2.0f));
    // Pre-transformed vertices with an identity projection: fog measures z.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    for (float z : {0.1f, 0.4f, 0.8f}) {
        clear(0);
        drawRect(0, 0, 64, 64, z, D3DCOLOR_XRGB(255, 0, 0));
        const double f = std::exp(-2.0 * z);
        const DWORD c = pixel(10, 10);
        EXPECT_NEAR(expected8(f), channel(c, 16), 1) << z;
        EXPECT_NEAR(expected8(1.0 - f), channel(c, 8), 1) << z;
    }
}

TEST_F(PipelineLightingTest, SpecularHighlightFollowsTheMaterialPower)
{
    // Specular alone, from a directional light, at a vertex whose half-vector
    // cosine is known: whole and fractional powers, small and large, give
    // nh^power.
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    sun.Direction = {0.0f, 0.0f, 1.0f};
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    const LitVertex vertex = {0.0f, 0.0f, 5.0f, 0.3f, 0.0f, -1.0f, 0xFFFFFFFF};
    // Light and viewer both lie along -z from the vertex: the half vector is
    // -z, for a viewer at the camera as for one at infinity (which looks
    // down +z like the camera).
    const double nh = 1.0 / std::sqrt(1.09);
    for (const DWORD local : {TRUE, FALSE}) {
        device->SetRenderState(D3DRS_LOCALVIEWER, local);
        for (const float power : {1.0f, 2.0f, 7.5f, 16.0f, 33.0f, 128.0f, 200.0f}) {
            D3DMATERIAL9 m{};
            m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
            m.Power = power;
            device->SetMaterial(&m);
            const DWORD c = drawPoint(vertex);
            const int expected = expected8(std::pow(nh, static_cast<double>(power)));
            EXPECT_NEAR(expected, channel(c, 16), 1) << "power " << power << ", local viewer " << local;
            EXPECT_NEAR(expected, channel(c, 0), 1) << "power " << power << ", local viewer " << local;
        }
    }
}

TEST_F(PipelineLightingTest, SmallCulledDrawsLightOnlyTheirDrawnVerticesWithTheSameResult)
{
    // Small lit triangle lists with culling on light only the vertices of
    // triangles that survive the cull test. The same triangles drawn in a
    // list long enough to be lit in full (padded with degenerate triangles)
    // must give the same image: shared vertices, triangles crossing the
    // view volume (clipped), indices past the vertex buffer, both windings
    // culled, flat and Gouraud shading.
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {0.7f, 0.6f, 0.5f, 1.0f};
    sun.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    sun.Direction = {0.3f, -0.4f, 1.0f};
    D3DLIGHT9 lamp{};
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = {0.3f, 0.5f, 0.7f, 1.0f};
    lamp.Specular = {0.4f, 0.4f, 0.4f, 1.0f};
    lamp.Position = {1.0f, 1.0f, 2.0f};
    lamp.Range = 100.0f;
    lamp.Attenuation0 = 1.0f;
    device->SetLight(0, &sun);
    device->SetLight(1, &lamp);
    device->LightEnable(0, TRUE);
    device->LightEnable(1, TRUE);
    D3DMATERIAL9 m{};
    m.Diffuse = {0.8f, 0.7f, 0.6f, 1.0f};
    m.Ambient = {0.2f, 0.2f, 0.2f, 1.0f};
    m.Specular = {0.6f, 0.6f, 0.6f, 1.0f};
    m.Power = 16.0f;
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(30, 30, 30));

    std::mt19937 random(5);
    std::uniform_real_distribution<float> lateral(-4.0f, 4.0f), depth(0.2f, 9.0f), unit(-1.0f, 1.0f);
    std::vector<LitVertex> vertices;
    for (int i = 0; i < 30; ++i)
        vertices.push_back({lateral(random), lateral(random), depth(random), unit(random), unit(random),
                            unit(random) - 1.0f, 0xFFFFFFFF});
    std::uniform_int_distribution<uint32_t> index(0, 31); // 30 and 31 lie past the buffer
    std::vector<uint32_t> indices;
    for (int i = 0; i < 3 * 40; ++i)
        indices.push_back(index(random));
    std::vector<uint32_t> padded = indices;
    padded.resize(3 * 70, 0);

    auto render = [&](const std::vector<uint32_t>& list) {
        clear(0);
        device->SetFVF(LIT_FVF);
        device->BeginScene();
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                       static_cast<UINT>(list.size() / 3), list.data(), D3DFMT_INDEX32,
                                       vertices.data(), sizeof(LitVertex));
        device->EndScene();
        return pixels32();
    };
    for (const DWORD cull : {D3DCULL_CW, D3DCULL_CCW})
        for (const DWORD shade : {D3DSHADE_GOURAUD, D3DSHADE_FLAT}) {
            SCOPED_TRACE(testing::Message() << "cull " << cull << " shade " << shade);
            device->SetRenderState(D3DRS_CULLMODE, cull);
            device->SetRenderState(D3DRS_SHADEMODE, shade);
            const std::vector<DWORD> small = render(indices);
            const std::vector<DWORD> full = render(padded);
            int lit = 0;
            for (size_t i = 0; i < small.size(); ++i) {
                ASSERT_EQ(full[i], small[i]) << "pixel " << i;
                lit += small[i] != 0;
            }
            EXPECT_GT(lit, 200);
        }
}

TEST_F(PipelineLightingTest, LitColoursFollowLightAndViewChangesMadeInAnyOrder)
{
    // Random changes of the lights, their enabling, lighting itself and the
    // view, with points drawn after each: the lights prepared for one draw
    // are reused only while nothing they depend on changed. The world
    // transform undoes the view, so points and normals stay put in camera
    // space while the lights turn with the view.
    device->SetRenderState(D3DRS_AMBIENT, 0);
    D3DMATERIAL9 m{};
    m.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&m);
    std::mt19937 random(23);
    std::uniform_real_distribution<float> unitRange(-1.0f, 1.0f), angle(-3.0f, 3.0f), intensity(0.0f, 0.8f);
    constexpr int SLOTS = 3;
    D3DLIGHT9 lights[SLOTS];
    bool enabled[SLOTS] = {};
    auto randomLight = [&] {
        D3DLIGHT9 l{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {intensity(random), intensity(random), intensity(random), 1.0f};
        l.Direction = {unitRange(random), unitRange(random), unitRange(random) + 2.5f};
        return l;
    };
    for (int i = 0; i < SLOTS; ++i) {
        lights[i] = randomLight();
        device->SetLight(i, &lights[i]);
    }
    bool lighting = true;
    D3DXMATRIX view;
    D3DXMatrixIdentity(&view);
    const Vec normals[3] = {unit({0.0, 0.0, -1.0}), unit({0.6, 0.3, -1.0}), unit({-0.5, -0.7, -0.4})};
    const Vec places[3] = {{0.0, 0.0, 4.0}, {1.5, 1.0, 4.0}, {-1.5, -1.0, 4.0}};

    for (int step = 0; step < 60; ++step) {
        switch (random() % 4) {
        case 0: {
            const int i = static_cast<int>(random() % SLOTS);
            lights[i] = randomLight();
            device->SetLight(i, &lights[i]);
            break;
        }
        case 1: {
            const int i = static_cast<int>(random() % SLOTS);
            enabled[i] = !enabled[i];
            device->LightEnable(i, enabled[i]);
            break;
        }
        case 2:
            lighting = !lighting;
            device->SetRenderState(D3DRS_LIGHTING, lighting);
            break;
        default: {
            D3DXMatrixRotationYawPitchRoll(&view, angle(random), angle(random), angle(random));
            D3DXMATRIX world;
            D3DXMatrixTranspose(&world, &view);
            device->SetTransform(D3DTS_VIEW, &view);
            device->SetTransform(D3DTS_WORLD, &world);
            break;
        }
        }
        for (int p = 0; p < 3; ++p) {
            const LitVertex v = {static_cast<float>(places[p].x), static_cast<float>(places[p].y),
                                 static_cast<float>(places[p].z), static_cast<float>(normals[p].x),
                                 static_cast<float>(normals[p].y), static_cast<float>(normals[p].z), 0xFFFFFFFF};
            clear(0);
            device->SetFVF(LIT_FVF);
            device->BeginScene();
            device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof(v));
            device->EndScene();
            const DWORD c = pixel(static_cast<UINT>(std::ceil(32.0 + 32.0 * places[p].x / places[p].z - 0.5)),
                                  static_cast<UINT>(std::ceil(32.0 - 32.0 * places[p].y / places[p].z - 0.5)));
            double rgb[3] = {1.0, 1.0, 1.0};
            if (lighting) {
                rgb[0] = rgb[1] = rgb[2] = 0.0;
                for (int i = 0; i < SLOTS; ++i) {
                    if (!enabled[i])
                        continue;
                    // The light's direction in camera space: the world one
                    // turned by the view.
                    const D3DVECTOR& d = lights[i].Direction;
                    const D3DXVECTOR3 worldDirection(d.x, d.y, d.z);
                    D3DXVECTOR3 turned;
                    D3DXVec3TransformNormal(&turned, &worldDirection, &view);
                    const Vec toLight = unit({-turned.x, -turned.y, -turned.z});
                    const double nl = std::max(0.0, dot(normals[p], toLight));
                    rgb[0] += lights[i].Diffuse.r * nl;
                    rgb[1] += lights[i].Diffuse.g * nl;
                    rgb[2] += lights[i].Diffuse.b * nl;
                }
            }
            ASSERT_NEAR(expected8(rgb[0]), channel(c, 16), 1) << "step " << step << ", point " << p;
            ASSERT_NEAR(expected8(rgb[1]), channel(c, 8), 1) << "step " << step << ", point " << p;
            ASSERT_NEAR(expected8(rgb[2]), channel(c, 0), 1) << "step " << step << ", point " << p;
        }
    }
}

// Pictures whose values Windows drivers give: a 640 x 480 target with
// identity transforms, so that clip space is the screen, and pixels read
// where vertices fall.
class DriverLightingTest : public PipelineTest
{
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        makeTarget(640, 480, D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        device->SetRenderState(D3DRS_CLIPPING, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    template <class Vertex>
    void drawIndexed(DWORD fvf, const std::vector<Vertex>& vertices, const std::vector<WORD>& indices)
    {
        device->SetFVF(fvf);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        ASSERT_EQ(D3D_OK, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                                         static_cast<UINT>(indices.size() / 3), indices.data(),
                                                         D3DFMT_INDEX16, vertices.data(), sizeof(Vertex)));
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    static int grey(DWORD c) { return channel(c, 16); }
};

// Specular light from directional, point and spot lights, with the viewer
// at infinity and local, on a 5 x 5 grid facing the camera at z = 1. The
// expected values are what Windows drivers draw; with the viewer at
// infinity the direction towards it is -z in camera space (the camera's
// side), as drivers have it.
TEST_F(DriverLightingTest, SpecularHighlightsMatchTheDrivers)
{
    struct GridVertex {
        float x, y, z, nx, ny, nz;
    };
    std::vector<GridVertex> grid;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            grid.push_back({x * 0.5f - 1.0f, y * 0.5f - 1.0f, 1.0f, 0.0f, 0.0f, -1.0f});
    std::vector<WORD> indices;
    for (WORD y = 0; y < 4; ++y)
        for (WORD x = 0; x < 4; ++x) {
            const WORD i = static_cast<WORD>(y * 5 + x);
            indices.insert(indices.end(), {static_cast<WORD>(i + 1), i, static_cast<WORD>(i + 5),
                                           static_cast<WORD>(i + 1), static_cast<WORD>(i + 5),
                                           static_cast<WORD>(i + 6)});
        }
    D3DMATERIAL9 m{};
    m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.Power = 30.0f;
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->LightEnable(0, TRUE);

    D3DLIGHT9 directional{}, point{}, spot{};
    directional.Type = D3DLIGHT_DIRECTIONAL;
    directional.Specular = {1.0f, 1.0f, 1.0f, 0.0f};
    directional.Direction = {0.0f, 0.0f, 1.0f};
    point.Type = D3DLIGHT_POINT;
    point.Specular = {1.0f, 1.0f, 1.0f, 0.0f};
    point.Range = 100.0f;
    point.Attenuation2 = 1.0f;
    spot = point;
    spot.Type = D3DLIGHT_SPOT;
    spot.Direction = {0.0f, 0.0f, 1.0f};
    spot.Falloff = 1.0f;
    spot.Theta = 3.14159265f / 12.0f;
    spot.Phi = 3.14159265f / 3.0f;
    // Grey levels at a corner, an edge middle and the centre of the grid.
    struct Case {
        const char* name;
        const D3DLIGHT9* light;
        BOOL localViewer;
        int corner, edge, centre;
    };
    const Case cases[] = {
        {"directional", &directional, FALSE, 0xff, 0xff, 0xff},
        {"directional, local", &directional, TRUE, 0x3c, 0x71, 0xff},
        {"point", &point, FALSE, 0x28, 0x5a, 0xff},
        {"point, local", &point, TRUE, 0x00, 0x07, 0xff},
        {"spot", &spot, FALSE, 0x00, 0x14, 0xff},
        {"spot, local", &spot, TRUE, 0x00, 0x02, 0xff},
    };
    for (const Case& k : cases) {
        device->SetLight(0, k.light);
        device->SetRenderState(D3DRS_LOCALVIEWER, k.localViewer);
        clear(0xFFFFFFFF);
        drawIndexed(D3DFVF_XYZ | D3DFVF_NORMAL, grid, indices);
        EXPECT_NEAR(k.corner, grey(pixel(160, 120)), 1) << k.name;
        EXPECT_NEAR(k.corner, grey(pixel(480, 360)), 1) << k.name;
        EXPECT_NEAR(k.edge, grey(pixel(320, 120)), 1) << k.name;
        EXPECT_NEAR(k.edge, grey(pixel(160, 240)), 1) << k.name;
        EXPECT_NEAR(k.centre, grey(pixel(320, 240)), 1) << k.name;
    }
}

// Normals under a singular world matrix transform by the matrix itself
// (transposed), and under a non-affine one by the inverse of the whole
// 4x4 matrix: lit and black, as drivers draw them.
TEST_F(DriverLightingTest, SingularAndNonAffineWorldMatricesLightAsDriversDo)
{
    struct NormalVertex {
        float x, y, z, nx, ny, nz;
        DWORD diffuse;
    };
    const std::vector<WORD> indices = {0, 1, 2, 2, 3, 0};
    const std::vector<NormalVertex> facing = {{-1.0f, -1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                              {-1.0f, 1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                              {1.0f, 1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                              {1.0f, -1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff}};
    const std::vector<NormalVertex> translated = {{-11.0f, -11.0f, -10.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                                  {-11.0f, -9.0f, -10.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                                  {-9.0f, -9.0f, -10.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff},
                                                  {-9.0f, -11.0f, -10.0f, 0.0f, 0.0f, -1.0f, 0xff0000ff}};
    const D3DMATRIX singular = {{{1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f,
                                  0.5f, 1.0f}}};
    const D3DMATRIX nonAffine = {{{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f, 10.0f,
                                   10.0f, 10.0f, 0.0f}}};
    // The default light: white, directional, along +z.
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->LightEnable(0, TRUE);
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

    device->SetTransform(D3DTS_WORLD, &singular);
    clear(0xFFFFFFFF);
    drawIndexed(fvf, facing, indices);
    EXPECT_EQ(0x000000FFu, pixel(320, 240) & 0x00FFFFFFu) << "singular";

    device->SetTransform(D3DTS_WORLD, &nonAffine);
    clear(0xFFFFFFFF);
    drawIndexed(fvf, translated, indices);
    EXPECT_EQ(0x00000000u, pixel(320, 240) & 0x00FFFFFFu) << "non-affine";
}

// Linear fog with its start equal to its end fogs fully at every depth,
// per vertex and per pixel.
TEST_F(PipelineLightingTest, LinearFogWithStartEqualToEndFogsFully)
{
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_XRGB(0, 0, 255));
    device->SetRenderState(D3DRS_FOGSTART, floatBits(20.0f));
    device->SetRenderState(D3DRS_FOGEND, floatBits(20.0f));
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    for (float depth : {2.0f, 30.0f}) {
        const LitVertex v = {0.0f, 0.0f, depth, 0, 0, -1, D3DCOLOR_XRGB(255, 0, 0)};
        EXPECT_EQ(0x0000FFu, drawPoint(v) & 0xFFFFFFu) << "vertex fog at " << depth;
    }
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    for (float depth : {2.0f, 30.0f}) {
        const LitVertex v = {0.0f, 0.0f, depth, 0, 0, -1, D3DCOLOR_XRGB(255, 0, 0)};
        EXPECT_EQ(0x0000FFu, drawPoint(v) & 0xFFFFFFu) << "table fog at " << depth;
    }
}

// With fog on and neither a vertex nor a table fog mode, the fog factor is
// the specular alpha, for untransformed vertices as for pre-transformed
// ones.
TEST_F(PipelineLightingTest, FogWithoutModesTakesTheSpecularAlpha)
{
    struct SpecularVertex {
        float x, y, z;
        DWORD diffuse, specular;
    };
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_XRGB(0, 0, 255));
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    for (const DWORD alpha : {0x00u, 0x40u, 0xFFu}) {
        const SpecularVertex v = {0.0f, 0.0f, 4.0f, D3DCOLOR_XRGB(255, 0, 0), alpha << 24};
        clear(0);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof(v));
        device->EndScene();
        const DWORD c = pixel(32, 32);
        EXPECT_NEAR(static_cast<int>(alpha), channel(c, 16), 1) << alpha;
        EXPECT_NEAR(255 - static_cast<int>(alpha), channel(c, 0), 1) << alpha;
    }
}

// Table fog on pre-transformed vertices whose rhw is zero fogs by depth
// like any other; the colours do not turn black.
TEST_F(PipelineLightingTest, TableFogOnVerticesWithZeroRhw)
{
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, D3DCOLOR_XRGB(0, 255, 0));
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, floatBits(0.0f));
    device->SetRenderState(D3DRS_FOGEND, floatBits(1.0f));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    const DWORD red = D3DCOLOR_XRGB(255, 0, 0);
    std::vector<ScreenVertex> quad = {{0, 0, 0.25f, 0.0f, red}, {64, 0, 0.25f, 0.0f, red},
                                      {0, 64, 0.25f, 0.0f, red}, {64, 64, 0.25f, 0.0f, red}};
    clear(0);
    drawScreen(D3DPT_TRIANGLESTRIP, quad, 2);
    const DWORD c = pixel(20, 40);
    EXPECT_NEAR(expected8(0.75), channel(c, 16), 1);
    EXPECT_NEAR(expected8(0.25), channel(c, 8), 1);
}
