// Pictures drawn through effects against truths found another way: an
// effect doing Direct3D's vertex lighting against the fixed-function
// lighting of the same scene, the shaded-sphere effect against the picture
// Mesa's llvmpipe draws of that scene with a GLSL program, and the
// cube-reflection effect's colours against the cube faces the reflected
// directions select, computed here from the geometry.

#include "EffectTestSupport.h"
#include "PictureScenes.h"
#include "pipeline_support.h"

#include <array>
#include <cstdio>
#include <string>
#include <utility>

using d3dtest::Com;
using namespace picturetest;

namespace {

D3DCOLORVALUE colorValue(float r, float g, float b, float a = 1.0f) { return {r, g, b, a}; }

D3DXVECTOR4 asVector(const D3DCOLORVALUE& c) { return D3DXVECTOR4(c.r, c.g, c.b, c.a); }

class EffectPictureTest : public d3dtest::PipelineTest
{
protected:
    void TearDown() override
    {
        effect.reset();
        PipelineTest::TearDown();
    }

    void loadEffect(const std::string& file)
    {
        const std::string source = effecttest::readData(file);
        Com<ID3DXBuffer> errors;
        ASSERT_EQ(D3D_OK, D3DXCreateEffect(device.get(), source.data(), static_cast<UINT>(source.size()), nullptr,
                                           nullptr, 0, nullptr, effect.out(), errors.out()))
            << effecttest::bufferText(errors.get());
    }

    void drawSphere(const SphereMesh& mesh)
    {
        device->SetFVF(SPHERE_FVF);
        ASSERT_EQ(D3D_OK, device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0,
                                                         static_cast<UINT>(mesh.vertices.size()), mesh.triangleCount(),
                                                         mesh.indices.data(), D3DFMT_INDEX32, mesh.vertices.data(),
                                                         sizeof(SphereVertex)));
    }

    // Draws the sphere with every pass of the effect's current technique.
    void drawSphereWithEffect(const SphereMesh& mesh)
    {
        ASSERT_EQ(D3D_OK, device->BeginScene());
        UINT passes = 0;
        ASSERT_EQ(D3D_OK, effect->Begin(&passes, 0));
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(D3D_OK, effect->BeginPass(p));
            drawSphere(mesh);
            ASSERT_EQ(D3D_OK, effect->EndPass());
        }
        ASSERT_EQ(D3D_OK, effect->End());
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    Picture picture() { return readPicture(target.get()); }

    // Keeps a picture for the reader of a failed test, in the test's
    // working directory.
    static void keepPicture(IDirect3DSurface9* surface, const std::string& name)
    {
        D3DXSaveSurfaceToFileA(name.c_str(), D3DXIFF_PNG, surface, nullptr, nullptr);
    }

    Com<ID3DXEffect> effect;
};

// ---------------------------------------------------------------------------
// Fixed-function lighting and the same lighting as a vertex program.

// One directional and one attenuated point light on a coarse sphere that is
// scaled, turned and moved, so the normals need normalising and Gouraud
// facets show. The material's four colours all differ; lights brighter
// than one push the diffuse and specular colours of some vertices past one,
// so clamping them before or after interpolation differs; the sun shines
// from behind on the right, where a specular term without the N.L > 0 rule
// would show beyond its terminator.
struct LitScene {
    D3DXMATRIX world, view, projection;
    D3DXVECTOR3 eye;
    D3DLIGHT9 sun{}, lamp{};
    D3DMATERIAL9 material{};
    D3DCOLOR globalAmbient = 0;

    LitScene()
    {
        D3DXMATRIX scale, turnY, turnX, move;
        D3DXMatrixScaling(&scale, 1.2f, 1.2f, 1.2f);
        D3DXMatrixRotationY(&turnY, 0.5f);
        D3DXMatrixRotationX(&turnX, 0.3f);
        D3DXMatrixTranslation(&move, 0.2f, -0.1f, -0.5f);
        world = scale * turnY * turnX * move;
        eye = D3DXVECTOR3(0.5f, 1.0f, 4.0f);
        const D3DXVECTOR3 at(0.0f, 0.0f, -0.3f), up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtRH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovRH(&projection, 0.8f, 4.0f / 3.0f, 0.1f, 50.0f);

        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Direction = D3DXVECTOR3(-1.0f, -0.3f, 0.5f);
        sun.Diffuse = colorValue(0.8f, 0.8f, 0.7f);
        sun.Specular = colorValue(1.6f, 1.6f, 1.6f);
        sun.Ambient = colorValue(0.05f, 0.05f, 0.05f);
        lamp.Type = D3DLIGHT_POINT;
        lamp.Position = D3DXVECTOR3(-2.0f, 1.5f, 2.0f);
        lamp.Diffuse = colorValue(2.2f, 1.2f, 2.0f);
        lamp.Specular = colorValue(0.6f, 0.6f, 0.6f);
        lamp.Ambient = colorValue(0.1f, 0.05f, 0.0f);
        lamp.Attenuation0 = 0.5f;
        lamp.Attenuation1 = 0.2f;
        lamp.Attenuation2 = 0.1f;
        lamp.Range = 1000.0f;

        material.Diffuse = colorValue(0.8f, 0.3f, 0.2f);
        material.Ambient = colorValue(0.4f, 0.6f, 0.2f);
        material.Specular = colorValue(0.8f, 0.8f, 0.7f);
        material.Emissive = colorValue(0.05f, 0.0f, 0.1f);
        material.Power = 10.0f;
        globalAmbient = D3DCOLOR_XRGB(32, 40, 48);
    }
};

class VertexLightingPictureTest : public EffectPictureTest
{
protected:
    void SetUp() override
    {
        EffectPictureTest::SetUp();
        makeTarget(320, 240);
        // Seen through a right-handed camera, the far side of the sphere
        // (counter-clockwise from outside) turns clockwise on the screen.
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }

    void drawFixedFunction(const LitScene& s, const SphereMesh& mesh)
    {
        device->SetTransform(D3DTS_WORLD, &s.world);
        device->SetTransform(D3DTS_VIEW, &s.view);
        device->SetTransform(D3DTS_PROJECTION, &s.projection);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
        device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
        device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
        device->SetRenderState(D3DRS_AMBIENT, s.globalAmbient);
        device->SetLight(0, &s.sun);
        device->SetLight(1, &s.lamp);
        device->LightEnable(0, TRUE);
        device->LightEnable(1, TRUE);
        device->SetMaterial(&s.material);
        clear(BACKGROUND);
        ASSERT_EQ(D3D_OK, device->BeginScene());
        drawSphere(mesh);
        ASSERT_EQ(D3D_OK, device->EndScene());
    }

    void drawProgrammed(const LitScene& s, const SphereMesh& mesh, const char* technique)
    {
        ASSERT_NO_FATAL_FAILURE(loadEffect("vertex_lighting.fx"));
        ASSERT_EQ(D3D_OK, effect->SetTechnique(technique));
        const D3DXMATRIX viewProjection = s.view * s.projection;
        effect->SetMatrix("World", &s.world);
        effect->SetMatrix("ViewProjection", &viewProjection);
        effect->SetFloatArray("EyePosition", &s.eye.x, 3);
        const D3DXVECTOR4 ambient(((s.globalAmbient >> 16) & 0xFF) / 255.0f, ((s.globalAmbient >> 8) & 0xFF) / 255.0f,
                                  (s.globalAmbient & 0xFF) / 255.0f, 1.0f);
        effect->SetVector("GlobalAmbient", &ambient);
        const std::array<std::pair<const char*, D3DCOLORVALUE>, 10> colors = {{
            {"MaterialDiffuse", s.material.Diffuse},
            {"MaterialAmbient", s.material.Ambient},
            {"MaterialSpecular", s.material.Specular},
            {"MaterialEmissive", s.material.Emissive},
            {"SunDiffuse", s.sun.Diffuse},
            {"SunSpecular", s.sun.Specular},
            {"SunAmbient", s.sun.Ambient},
            {"LampDiffuse", s.lamp.Diffuse},
            {"LampSpecular", s.lamp.Specular},
            {"LampAmbient", s.lamp.Ambient},
        }};
        for (const auto& c : colors) {
            const D3DXVECTOR4 value = asVector(c.second);
            ASSERT_EQ(D3D_OK, effect->SetVector(c.first, &value)) << c.first;
        }
        effect->SetFloat("MaterialPower", s.material.Power);
        effect->SetFloatArray("SunDirection", &s.sun.Direction.x, 3);
        effect->SetFloatArray("LampPosition", &s.lamp.Position.x, 3);
        const float attenuation[3] = {s.lamp.Attenuation0, s.lamp.Attenuation1, s.lamp.Attenuation2};
        effect->SetFloatArray("LampAttenuation", attenuation, 3);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        clear(BACKGROUND);
        drawSphereWithEffect(mesh);
    }

    static constexpr D3DCOLOR BACKGROUND = D3DCOLOR_XRGB(20, 30, 40);
};

TEST_F(VertexLightingPictureTest, VertexProgramDrawsTheFixedFunctionPicture)
{
    const LitScene scene;
    const SphereMesh mesh = makeSphere(1.0f, 24, 16);
    ASSERT_NO_FATAL_FAILURE(drawFixedFunction(scene, mesh));
    const Picture fixed = picture();

    // The picture is worth comparing: the sphere fills a good part of it and
    // the specular highlight (green is otherwise below 200) shows.
    size_t covered = 0, highlighted = 0;
    for (DWORD pixel : fixed.pixels) {
        covered += colorDifference(pixel, BACKGROUND) != 0;
        highlighted += channelOf(pixel, 8) > 200;
    }
    EXPECT_GT(covered, width * height / 5);
    EXPECT_GT(highlighted, 20u);

    for (const char* technique : {"ColorInterpolators", "TexcoordInterpolators"}) {
        SCOPED_TRACE(technique);
        ASSERT_NO_FATAL_FAILURE(drawProgrammed(scene, mesh, technique));
        const Picture programmed = picture();
        int worst = 0;
        UINT worstX = 0, worstY = 0;
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x) {
                const int difference = colorDifference(fixed.at(x, y), programmed.at(x, y));
                if (difference > worst)
                    worst = difference, worstX = x, worstY = y;
            }
        RecordProperty(std::string("max_difference_") + technique, worst);
        EXPECT_LE(worst, 2) << "at (" << worstX << ", " << worstY << "): fixed function " << std::hex
                            << fixed.at(worstX, worstY) << ", program " << programmed.at(worstX, worstY);
    }
}

// ---------------------------------------------------------------------------
// The shaded sphere against llvmpipe's picture.

// The reference was drawn by Mesa 22.3's llvmpipe through OSMesa, the
// sphere shaded per pixel by a GLSL program doing the arithmetic of
// shaded.fx, at 1024 x 768 in RGBA8. Rounding and the order of arithmetic
// differ, and a pixel centre that lies on a triangle's edge may go to
// either side, so a pixel is compared with its neighbours too.
TEST_F(EffectPictureTest, ShadedSphereMatchesLlvmpipe)
{
    const std::string referencePath = effecttest::dataPath("shaded_llvmpipe.png");
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3D_OK, D3DXGetImageInfoFromFileA(referencePath.c_str(), &info)) << referencePath;
    ASSERT_EQ(ShadedScene::WIDTH, info.Width);
    ASSERT_EQ(ShadedScene::HEIGHT, info.Height);
    Com<IDirect3DSurface9> referenceSurface;
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(info.Width, info.Height, D3DFMT_A8R8G8B8,
                                                          D3DPOOL_SYSTEMMEM, referenceSurface.out(), nullptr));
    ASSERT_EQ(D3D_OK, D3DXLoadSurfaceFromFileA(referenceSurface.get(), nullptr, nullptr, referencePath.c_str(), nullptr,
                                               D3DX_FILTER_NONE, 0, nullptr));
    const Picture reference = readPicture(referenceSurface.get());

    makeTarget(ShadedScene::WIDTH, ShadedScene::HEIGHT);
    ASSERT_EQ(D3D_OK, SwD3D9SetRasterThreadCount(device.get(), 2));
    Com<IDirect3DTexture9> fill;
    ASSERT_EQ(D3D_OK, device->CreateTexture(ShadedScene::TEXTURE_SIZE, ShadedScene::TEXTURE_SIZE, 1, 0,
                                            D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, fill.out(), nullptr));
    D3DLOCKED_RECT locked;
    ASSERT_EQ(D3D_OK, fill->LockRect(0, &locked, nullptr, 0));
    for (int y = 0; y < ShadedScene::TEXTURE_SIZE; ++y)
        for (int x = 0; x < ShadedScene::TEXTURE_SIZE; ++x)
            static_cast<DWORD*>(static_cast<void*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch))[x] =
                ShadedScene::texel(x, y);
    fill->UnlockRect(0);

    ASSERT_NO_FATAL_FAILURE(loadEffect("shaded.fx"));
    // Direct3D 9 samples pixel (x, y) at screen position (x, y), OpenGL at
    // (x + 1/2, y + 1/2): moving the picture half a pixel left and up puts
    // both renderers' samples at the same points of the scene.
    D3DXMATRIX toOpenGLCentres;
    D3DXMatrixTranslation(&toOpenGLCentres, -1.0f / ShadedScene::WIDTH, 1.0f / ShadedScene::HEIGHT, 0.0f);
    const D3DXMATRIX viewProjection = ShadedScene::view() * ShadedScene::projection() * toOpenGLCentres;
    const D3DXVECTOR3 eye = ShadedScene::eye();
    const D3DXVECTOR4 viewPosition(eye.x, eye.y, eye.z, 1.0f);
    ASSERT_EQ(D3D_OK, effect->SetMatrix("WorldViewProjection", &viewProjection));
    ASSERT_EQ(D3D_OK, effect->SetVector("ViewPosition", &viewPosition));
    ASSERT_EQ(D3D_OK, effect->SetTexture("FillTexture", fill.get()));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    clear(ShadedScene::CLEAR);
    const SphereMesh sphere = makeSphere(1.0f, ShadedScene::SLICES, ShadedScene::STACKS);
    ASSERT_NO_FATAL_FAILURE(drawSphereWithEffect(sphere));
    const Picture ours = picture();

    const Agreement forward = compareNear(ours, reference, ShadedScene::CLEAR, 4);
    const Agreement backward = compareNear(reference, ours, ShadedScene::CLEAR, 4);
    RecordProperty("max_difference", forward.maxDifference);
    RecordProperty("matched_per_hundred_thousand",
                   static_cast<int>(1e5 * std::min(forward.matchedShare(), backward.matchedShare())));
    const double samePlaceShare = static_cast<double>(forward.samePlace) / std::max<size_t>(forward.counted, 1);
    RecordProperty("same_place_per_hundred_thousand", static_cast<int>(1e5 * samePlaceShare));
    // The share counts the sphere's pixels only, not the background both
    // pictures clear to the same grey.
    EXPECT_GT(forward.counted, 200000u);
    EXPECT_GE(forward.matchedShare(), 0.99) << forward.matched << " of " << forward.counted
                                            << " pixels match; largest difference " << forward.maxDifference;
    EXPECT_GE(backward.matchedShare(), 0.99) << backward.matched << " of " << backward.counted
                                             << " pixels of the reference match";
    if (HasFailure())
        keepPicture(target.get(), "shaded_sphere_failed.png");
}

// ---------------------------------------------------------------------------
// Cube reflections.

// The cube map's faces in D3DCUBEMAP_FACES order (+x, -x, +y, -y, +z, -z),
// each one colour whose lit channels differ from every other face's.
constexpr std::array<D3DCOLOR, 6> FACE_COLORS = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
const char* const FACE_NAMES[6] = {"+x", "-x", "+y", "-y", "+z", "-z"};

// The face Direct3D samples for a direction: the axis of the largest
// component, by its sign; -1 when the two largest are too close to tell
// after the sphere's facets bend the normals.
int faceOf(const D3DXVECTOR3& r, float margin)
{
    const float a[3] = {std::fabs(r.x), std::fabs(r.y), std::fabs(r.z)};
    const int major = a[0] >= a[1] && a[0] >= a[2] ? 0 : (a[1] >= a[2] ? 1 : 2);
    const float second = std::max(a[(major + 1) % 3], a[(major + 2) % 3]);
    if (a[major] - second < margin)
        return -1;
    const float component = major == 0 ? r.x : (major == 1 ? r.y : r.z);
    return 2 * major + (component < 0.0f ? 1 : 0);
}

// The face whose colour a pixel shows, by its pattern of lit channels
// (the effect scales the face colours by a Fresnel factor of at least 0.1).
int faceShown(DWORD pixel)
{
    auto litChannels = [](DWORD c, int threshold) {
        return (channelOf(c, 16) > threshold ? 4 : 0) | (channelOf(c, 8) > threshold ? 2 : 0) |
               (channelOf(c, 0) > threshold ? 1 : 0);
    };
    for (int face = 0; face < 6; ++face)
        if (litChannels(pixel, 12) == litChannels(FACE_COLORS[face], 0))
            return face;
    return -1;
}

// A face colour times a factor, rounded.
DWORD scaledColor(D3DCOLOR color, float factor)
{
    DWORD out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8)
        out |= static_cast<DWORD>(channelOf(color, shift) * factor + 0.5f) << shift;
    return out;
}

class CubeReflectionPictureTest : public EffectPictureTest
{
protected:
    void SetUp() override
    {
        EffectPictureTest::SetUp();
        makeTarget(WIDTH, HEIGHT);
        ASSERT_EQ(D3D_OK,
                  device->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, environment.out(), nullptr));
        for (int face = 0; face < 6; ++face) {
            D3DLOCKED_RECT locked;
            ASSERT_EQ(D3D_OK,
                      environment->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    static_cast<DWORD*>(static_cast<void*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch))[x] =
                        FACE_COLORS[face];
            environment->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
        }
        ASSERT_NO_FATAL_FAILURE(loadEffect("cubemap.fx"));
        // No base colour and full reflectivity: a pixel is the face colour
        // times the effect's Fresnel factor.
        const D3DXVECTOR4 black(0.0f, 0.0f, 0.0f, 0.0f);
        ASSERT_EQ(D3D_OK, effect->SetVector("BaseColor", &black));
        ASSERT_EQ(D3D_OK, effect->SetFloat("Reflectivity", 1.0f));
        ASSERT_EQ(D3D_OK, effect->SetTexture("EnvTexture", environment.get()));
    }

    void TearDown() override
    {
        environment.reset();
        EffectPictureTest::TearDown();
    }

    // Draws the unit sphere, turned (which changes nothing but its facets)
    // and moved to CENTRE, seen from `eye` through a left-handed camera, in
    // which the sphere's far side turns counter-clockwise as the effect's
    // culling wants. Checks every pixel well inside the silhouette against
    // the face its reflected ray selects, and counts them by face.
    void checkReflections(const D3DXVECTOR3& eye, std::array<int, 6>& checked)
    {
        D3DXMATRIX turn, move, world, view, projection, viewProjection, inverseViewProjection, viewInverse;
        D3DXMatrixRotationYawPitchRoll(&turn, 0.7f, 0.4f, 0.2f);
        D3DXMatrixTranslation(&move, CENTRE.x, CENTRE.y, CENTRE.z);
        world = turn * move;
        const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &CENTRE, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.9f, static_cast<float>(WIDTH) / HEIGHT, 0.1f, 50.0f);
        viewProjection = view * projection;
        D3DXMatrixInverse(&inverseViewProjection, nullptr, &viewProjection);
        D3DXMatrixInverse(&viewInverse, nullptr, &view);
        const D3DXMATRIX worldViewProjection = world * viewProjection;
        ASSERT_EQ(D3D_OK, effect->SetMatrix("World", &world));
        ASSERT_EQ(D3D_OK, effect->SetMatrix("WorldViewProj", &worldViewProjection));
        ASSERT_EQ(D3D_OK, effect->SetMatrix("ViewInv", &viewInverse));
        clear(BACKGROUND);
        ASSERT_NO_FATAL_FAILURE(drawSphereWithEffect(makeSphere(1.0f, 96, 64)));
        const Picture shown = picture();

        int wrong = 0;
        std::string firstWrong;
        for (UINT y = 0; y < HEIGHT; ++y)
            for (UINT x = 0; x < WIDTH; ++x) {
                // Direct3D 9 samples pixel (x, y) at its integer screen position.
                const D3DXVECTOR3 ndcNear(2.0f * x / WIDTH - 1.0f, 1.0f - 2.0f * y / HEIGHT, 0.0f);
                const D3DXVECTOR3 ndcFar(ndcNear.x, ndcNear.y, 1.0f);
                D3DXVECTOR3 nearPoint, farPoint;
                D3DXVec3TransformCoord(&nearPoint, &ndcNear, &inverseViewProjection);
                D3DXVec3TransformCoord(&farPoint, &ndcFar, &inverseViewProjection);
                D3DXVECTOR3 incident = farPoint - nearPoint;
                D3DXVec3Normalize(&incident, &incident);
                // The ray's nearer hit of the sphere: only rays passing well
                // inside the silhouette are checked, the facets' silhouette
                // lying inside the true one.
                const D3DXVECTOR3 toCentre = CENTRE - eye;
                const double along = D3DXVec3Dot(&toCentre, &incident);
                const double missSquared = D3DXVec3Dot(&toCentre, &toCentre) - along * along;
                if (missSquared > 0.96 * 0.96)
                    continue;
                const float t = static_cast<float>(along - std::sqrt(1.0 - missSquared));
                const D3DXVECTOR3 normal = eye + incident * t - CENTRE;
                const D3DXVECTOR3 reflected = incident - normal * (2.0f * D3DXVec3Dot(&incident, &normal));
                const int face = faceOf(reflected, 0.06f);
                if (face < 0)
                    continue;
                ++checked[face];
                // The effect's Fresnel factor of the true sphere; the
                // facets' interpolated normals stay within a unit of it.
                const float facing = std::max(0.0f, -D3DXVec3Dot(&incident, &normal));
                const float fresnel = 0.1f + 0.9f * std::pow(1.0f - facing, 5.0f);
                const DWORD expected = scaledColor(FACE_COLORS[face], fresnel);
                const DWORD pixel = shown.at(x, y);
                if (colorDifference(pixel, expected) > 3 && wrong++ == 0) {
                    const int seen = faceShown(pixel);
                    char where[200];
                    std::snprintf(where, sizeof where,
                                  "pixel (%u, %u) is %06X (face %s), expected %06X: reflection toward face %s", x, y,
                                  static_cast<unsigned>(pixel & 0xFFFFFF), seen >= 0 ? FACE_NAMES[seen] : "none",
                                  static_cast<unsigned>(expected & 0xFFFFFF), FACE_NAMES[face]);
                    firstWrong = where;
                }
            }
        EXPECT_EQ(0, wrong) << "pixels of a wrong colour; the first: " << firstWrong;
    }

    static constexpr UINT WIDTH = 200;
    static constexpr UINT HEIGHT = 150;
    static constexpr D3DCOLOR BACKGROUND = 0xFF000000;
    const D3DXVECTOR3 CENTRE = D3DXVECTOR3(0.3f, -0.2f, 0.1f);
    Com<IDirect3DCubeTexture9> environment;
};

TEST_F(CubeReflectionPictureTest, ReflectedRaysShowTheFacesTheySelect)
{
    std::array<int, 6> checked{};
    const D3DXVECTOR3 eyes[] = {
        D3DXVECTOR3(0.3f, -0.2f, -2.9f), // straight from -z: the middle reflects toward -z, the rim toward +z
        D3DXVECTOR3(2.6f, 1.4f, 1.5f),
        D3DXVECTOR3(-1.8f, -2.3f, 1.2f),
    };
    for (const D3DXVECTOR3& eye : eyes) {
        SCOPED_TRACE(testing::Message() << "eye at " << eye.x << ", " << eye.y << ", " << eye.z);
        ASSERT_NO_FATAL_FAILURE(checkReflections(eye, checked));
    }
    for (int face = 0; face < 6; ++face)
        EXPECT_GT(checked[face], 500) << "face " << FACE_NAMES[face] << " hardly shown";
}

} // namespace
