// Renders the raster scenes of the shared benchmark definitions through
// the Direct3D 9 API into a 1024 x 768 X8R8G8B8 target with a D24S8 depth
// buffer and prints one RESULT line per scene. The shaded scene draws the
// sphere through the effect shaded.fx (vertex and pixel programs).
//
//   kxbench_raster [--threads N] [--frames 20] [--runs 5] [--out DIR]
//                  [--scene sphere,cubes,fill,shaded,stencil,stages]
//
// The stencil scene (not run by default, as the references have no such
// scene) draws the sphere and the cubes over a floor, then their planar
// shadows as the shadow painter draws them, and reports the frame with and
// without the shadow pass. The stages scene (not run by default either)
// draws two of the fill scene's layers through two texture stages.

#include <d3dx9.h>
#include <swd3d9.h>
#include <windows.h>

#include "scene.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace anchor;

int g_frames = 20, g_runs = 5, g_warmup = 3;
unsigned g_threads = 2;
std::string g_out;

// Waits until the frame's draws are done, as applications do with an
// event query (the references end each frame with glFinish).
void finishFrame(IDirect3DDevice9* device)
{
    IDirect3DQuery9* query = nullptr;
    if (FAILED(device->CreateQuery(D3DQUERYTYPE_EVENT, &query)))
        return;
    query->Issue(D3DISSUE_END);
    BOOL done = FALSE;
    while (query->GetData(&done, sizeof(done), D3DGETDATA_FLUSH) == S_FALSE) {
    }
    query->Release();
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

D3DCOLORVALUE colorValue(const float* c) { return {c[0], c[1], c[2], c[3]}; }

template <class Frame>
double measure(IDirect3DDevice9* device, const char* name, Frame frame)
{
    for (int i = 0; i < g_warmup; ++i) {
        frame();
        finishFrame(device);
    }
    std::vector<double> fps;
    for (int r = 0; r < g_runs; ++r) {
        const double t0 = now();
        for (int f = 0; f < g_frames; ++f) {
            frame();
            finishFrame(device);
        }
        fps.push_back(g_frames / (now() - t0));
    }
    std::sort(fps.begin(), fps.end());
    if (!g_out.empty()) {
        IDirect3DSurface9* back = nullptr;
        if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) {
            std::string path = g_out + "/kx_raster_" + name + ".png";
            std::wstring wide(path.begin(), path.end());
            D3DXSaveSurfaceToFileW(wide.c_str(), D3DXIFF_PNG, back, nullptr, nullptr);
            back->Release();
        }
    }
    return fps[fps.size() / 2];
}

void setupLights(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_COLORVALUE(kGlobalAmbient[0], kGlobalAmbient[1], kGlobalAmbient[2], 1.0f));
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = colorValue(kLight0Diffuse);
    sun.Specular = colorValue(kLight0Specular);
    // The scene gives the direction toward the light; Direct3D wants the
    // direction the light travels.
    D3DXVECTOR3 toward(kLight0Dir[0], kLight0Dir[1], kLight0Dir[2]);
    D3DXVec3Normalize(&toward, &toward);
    sun.Direction = D3DXVECTOR3(-toward.x, -toward.y, -toward.z);
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);
    D3DLIGHT9 lamp{};
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = colorValue(kLight1Diffuse);
    lamp.Specular = colorValue(kLight1Specular);
    lamp.Position = D3DXVECTOR3(kLight1Pos[0], kLight1Pos[1], kLight1Pos[2]);
    lamp.Range = 1e6f;
    lamp.Attenuation0 = kLight1Atten[0];
    lamp.Attenuation1 = kLight1Atten[1];
    lamp.Attenuation2 = kLight1Atten[2];
    device->SetLight(1, &lamp);
    device->LightEnable(1, TRUE);
}

void setCamera(IDirect3DDevice9* device, const Camera& camera)
{
    const Mat4 view = viewMatrix(camera);
    device->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(view.m));
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovRH(&projection, camera.fovyDeg * float(kPi) / 180.0f, float(kWidth) / kHeight,
                               camera.znear, camera.zfar);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
}

struct MeshBuffers {
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    UINT vertexCount = 0, triangleCount = 0;

    bool upload(IDirect3DDevice9* device, const Mesh& mesh)
    {
        vertexCount = static_cast<UINT>(mesh.vertexCount());
        triangleCount = static_cast<UINT>(mesh.triangleCount());
        if (FAILED(device->CreateVertexBuffer(vertexCount * 24, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_NORMAL,
                                              D3DPOOL_MANAGED, &vertices, nullptr)))
            return false;
        float* v = nullptr;
        vertices->Lock(0, 0, reinterpret_cast<void**>(&v), 0);
        for (UINT i = 0; i < vertexCount; ++i) {
            std::memcpy(v + 6 * i, &mesh.pos[3 * i], 12);
            std::memcpy(v + 6 * i + 3, &mesh.nrm[3 * i], 12);
        }
        vertices->Unlock();
        if (FAILED(device->CreateIndexBuffer(triangleCount * 12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                                             &indices, nullptr)))
            return false;
        void* p = nullptr;
        indices->Lock(0, 0, &p, 0);
        std::memcpy(p, mesh.idx.data(), triangleCount * 12);
        indices->Unlock();
        return true;
    }
    void bind(IDirect3DDevice9* device)
    {
        device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
        device->SetStreamSource(0, vertices, 0, 24);
        device->SetIndices(indices);
    }
    void release()
    {
        if (vertices)
            vertices->Release();
        if (indices)
            indices->Release();
        vertices = nullptr;
        indices = nullptr;
    }
};

const D3DCOLOR CLEAR = D3DCOLOR_COLORVALUE(kClearColor[0], kClearColor[1], kClearColor[2], 1.0f);

double runSphere(IDirect3DDevice9* device)
{
    static const Mesh sphere = makeSphere();
    MeshBuffers mesh;
    if (!mesh.upload(device, sphere))
        return 0.0;
    mesh.bind(device);
    setCamera(device, kSphereCamera);
    setupLights(device);
    D3DMATERIAL9 material{};
    material.Ambient = material.Diffuse = colorValue(kSphereDiffuse);
    material.Specular = colorValue(kSphereSpecular);
    material.Power = kSphereShininess;
    device->SetMaterial(&material);
    // The scene's front faces are counter-clockwise in a right-handed
    // space: seen through a right-handed camera, back faces turn clockwise.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    const double fps = measure(device, "sphere", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, mesh.vertexCount, 0, mesh.triangleCount);
        device->EndScene();
    });
    mesh.release();
    return fps;
}

double runCubes(IDirect3DDevice9* device)
{
    static const Mesh cube = makeCube();
    static const std::vector<CubeInstance> instances = makeCubeInstances();
    MeshBuffers mesh;
    if (!mesh.upload(device, cube))
        return 0.0;
    mesh.bind(device);
    setCamera(device, kCubeCamera);
    setupLights(device);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    D3DMATERIAL9 material{};
    material.Specular = colorValue(kCubeSpecular);
    material.Power = kCubeShininess;
    const double fps = measure(device, "cubes", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        for (const CubeInstance& c : instances) {
            material.Ambient = material.Diffuse = colorValue(c.color);
            device->SetMaterial(&material);
            device->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(c.model.m));
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, mesh.vertexCount, 0, mesh.triangleCount);
        }
        device->EndScene();
    });
    mesh.release();
    return fps;
}

double runFill(IDirect3DDevice9* device)
{
    const std::vector<uint8_t> rgba = makeTexture();
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(kTexSize, kTexSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)))
        return 0.0;
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < kTexSize; ++y)
        for (int x = 0; x < kTexSize; ++x) {
            const uint8_t* s = &rgba[(size_t(y) * kTexSize + x) * 4];
            uint8_t* d = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
            d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
        }
    texture->UnlockRect(0);
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
        float u, v;
    };
    const D3DCOLOR tint = D3DCOLOR_COLORVALUE(kFillColor[0], kFillColor[1], kFillColor[2], kFillColor[3]);
    const Vertex quad[4] = {{-1, -1, 0, tint, 0, 0}, {1, -1, 0, tint, 1, 0}, {1, 1, 0, tint, 1, 1}, {-1, 1, 0, tint, 0, 1}};
    const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    const double fps = measure(device, "fill", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        for (int i = 0; i < kFillLayers; ++i)
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX32, quad, sizeof(Vertex));
        device->EndScene();
    });
    device->SetTexture(0, nullptr);
    texture->Release();
    return fps;
}

IDirect3DTexture9* makeFillTexture(IDirect3DDevice9* device)
{
    const std::vector<uint8_t> rgba = makeTexture();
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(kTexSize, kTexSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)))
        return nullptr;
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < kTexSize; ++y)
        for (int x = 0; x < kTexSize; ++x) {
            const uint8_t* s = &rgba[(size_t(y) * kTexSize + x) * 4];
            uint8_t* d = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
            d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
        }
    texture->UnlockRect(0);
    return texture;
}

// Two of the fill scene's layers through two texture stages: the texture
// times the diffuse colour, then doubled by the texture again (its second
// sampler reading the same coordinates). Few layers, as every sample takes
// the general path.
double runStages(IDirect3DDevice9* device)
{
    IDirect3DTexture9* texture = makeFillTexture(device);
    if (!texture)
        return 0.0;
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
        float u, v;
    };
    const D3DCOLOR tint = D3DCOLOR_COLORVALUE(kFillColor[0], kFillColor[1], kFillColor[2], kFillColor[3]);
    const Vertex quad[4] = {{-1, -1, 0, tint, 0, 0}, {1, -1, 0, tint, 1, 0}, {1, 1, 0, tint, 1, 1}, {-1, 1, 0, tint, 0, 1}};
    const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    for (DWORD stage = 0; stage < 2; ++stage) {
        device->SetTexture(stage, texture);
        device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 0);
        device->SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_MODULATE2X);
        device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(stage, D3DTSS_COLORARG2, stage == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        device->SetTextureStageState(stage, D3DTSS_ALPHAOP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
        device->SetTextureStageState(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(stage, D3DTSS_ALPHAARG2, stage == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        device->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    const double fps = measure(device, "stages", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        for (int i = 0; i < 2; ++i)
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX32, quad, sizeof(Vertex));
        device->EndScene();
    });
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    texture->Release();
    return fps;
}

double runShaded(IDirect3DDevice9* device)
{
#ifdef KX_SHADED_FX
    std::ifstream file(KX_SHADED_FX, std::ios::binary);
    std::stringstream source;
    source << file.rdbuf();
    const std::string text = source.str();
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    if (text.empty() || FAILED(D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr,
                                                0, nullptr, &effect, &errors))) {
        if (errors) {
            std::fprintf(stderr, "%s\n", static_cast<const char*>(errors->GetBufferPointer()));
            errors->Release();
        }
        return 0.0;
    }
    static const Mesh sphere = makeSphere();
    MeshBuffers mesh;
    IDirect3DTexture9* texture = makeFillTexture(device);
    if (!texture || !mesh.upload(device, sphere)) {
        effect->Release();
        return 0.0;
    }
    mesh.bind(device);
    setCamera(device, kSphereCamera);
    D3DXMATRIX view, projection, viewProjection;
    device->GetTransform(D3DTS_VIEW, &view);
    device->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    effect->SetMatrix("WorldViewProjection", &viewProjection);
    const D3DXVECTOR4 eye(kSphereCamera.eye[0], kSphereCamera.eye[1], kSphereCamera.eye[2], 1.0f);
    effect->SetVector("ViewPosition", &eye);
    effect->SetTexture("FillTexture", texture);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    const double fps = measure(device, "shaded", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        UINT passes = 0;
        effect->Begin(&passes, 0);
        for (UINT p = 0; p < passes; ++p) {
            effect->BeginPass(p);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, mesh.vertexCount, 0, mesh.triangleCount);
            effect->EndPass();
        }
        effect->End();
        device->EndScene();
    });
    mesh.release();
    effect->Release();
    texture->Release();
    return fps;
#else
    (void)device;
    return 0.0;
#endif
}

// The sphere and the cubes standing over a floor, lit, then their planar
// shadows as the shadow painter draws them: flattened onto the floor along
// the sun, lit by a translucent black material, blended, stencil-tested so
// that each floor pixel darkens once, depth-tested without depth writes.
// The frame is measured with and without the shadow pass; a line of its own
// gives the frame without it and the shadow pass's share of the frame.
double runStencil(IDirect3DDevice9* device)
{
    static const Mesh sphere = makeSphere();
    static const Mesh cube = makeCube();
    static const std::vector<CubeInstance> instances = makeCubeInstances();
    MeshBuffers sphereMesh, cubeMesh;
    if (!sphereMesh.upload(device, sphere) || !cubeMesh.upload(device, cube))
        return 0.0;
    struct FloorVertex {
        float x, y, z, nx, ny, nz;
    };
    const float floorY = -3.0f, half = 12.0f;
    const FloorVertex floor[4] = {{-half, floorY, -half, 0, 1, 0},
                                  {half, floorY, -half, 0, 1, 0},
                                  {half, floorY, half, 0, 1, 0},
                                  {-half, floorY, half, 0, 1, 0}};
    const uint32_t floorIndices[6] = {0, 2, 1, 0, 3, 2};
    setCamera(device, kCubeCamera);
    setupLights(device);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DXMATRIX sphereWorld;
    D3DXMatrixTranslation(&sphereWorld, 0.0f, 1.5f, 3.5f);
    // Onto a plane just above the floor, along the direction toward the sun.
    D3DXMATRIX flatten;
    const D3DXVECTOR4 toSun(kLight0Dir[0], kLight0Dir[1], kLight0Dir[2], 0.0f);
    const D3DXPLANE plane(0.0f, 1.0f, 0.0f, -(floorY + 0.01f));
    D3DXMatrixShadow(&flatten, &toSun, &plane);
    D3DMATERIAL9 material{};
    material.Specular = colorValue(kCubeSpecular);
    material.Power = kCubeShininess;
    D3DMATERIAL9 shadow{};
    shadow.Diffuse = {0.0f, 0.0f, 0.0f, 0.5f};

    const auto drawObjects = [&](const D3DXMATRIX* after, bool colours) {
        sphereMesh.bind(device);
        D3DXMATRIX world = sphereWorld;
        if (after)
            world *= *after;
        if (colours) {
            material.Ambient = material.Diffuse = colorValue(kSphereDiffuse);
            device->SetMaterial(&material);
        }
        device->SetTransform(D3DTS_WORLD, &world);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, sphereMesh.vertexCount, 0, sphereMesh.triangleCount);
        cubeMesh.bind(device);
        for (const CubeInstance& c : instances) {
            if (colours) {
                material.Ambient = material.Diffuse = colorValue(c.color);
                device->SetMaterial(&material);
            }
            world = *reinterpret_cast<const D3DXMATRIX*>(c.model.m);
            if (after)
                world *= *after;
            device->SetTransform(D3DTS_WORLD, &world);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, cubeMesh.vertexCount, 0, cubeMesh.triangleCount);
        }
    };
    const auto drawScene = [&] {
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
        device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->SetTransform(D3DTS_WORLD, &identity);
        material.Ambient = material.Diffuse = {0.55f, 0.55f, 0.55f, 1.0f};
        device->SetMaterial(&material);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, floorIndices, D3DFMT_INDEX32, floor,
                                       sizeof(FloorVertex));
        drawObjects(nullptr, true);
    };
    const auto drawShadows = [&] {
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
        device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILREF, 0);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
        device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetMaterial(&shadow);
        drawObjects(&flatten, false);
    };
    const double without = measure(device, "stencil_without_shadows", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        drawScene();
        device->EndScene();
    });
    const double with = measure(device, "stencil", [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, CLEAR, 1.0f, 0);
        device->BeginScene();
        drawScene();
        drawShadows();
        device->EndScene();
    });
    device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    sphereMesh.release();
    cubeMesh.release();
    std::printf("RESULT raster scene=stencil_without_shadows threads=%u fps_median=%.2f shadow_pass_share=%.3f\n",
                g_threads, without, with > 0.0 && without > 0.0 ? 1.0 - with / without : 0.0);
    return with;
}

} // namespace

int main(int argc, char** argv)
{
    std::string scenes = "sphere,cubes,fill";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--threads")
            g_threads = static_cast<unsigned>(std::atoi(next)), ++i;
        else if (a == "--frames")
            g_frames = std::max(1, std::atoi(next)), ++i;
        else if (a == "--runs")
            g_runs = std::max(1, std::atoi(next)), ++i;
        else if (a == "--out")
            g_out = next, ++i;
        else if (a == "--scene")
            scenes = next, ++i;
    }
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!window || !d3d)
        return 1;
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                 &device)))
        return 1;
    SwD3D9SetRasterThreadCount(device, g_threads);
    struct Scene {
        const char* name;
        double (*run)(IDirect3DDevice9*);
    };
    const Scene all[6] = {{"sphere", runSphere}, {"cubes", runCubes},     {"fill", runFill},
                          {"shaded", runShaded}, {"stencil", runStencil}, {"stages", runStages}};
    for (const Scene& s : all) {
        if (scenes.find(s.name) == std::string::npos)
            continue;
        const double fps = s.run(device);
        std::printf("RESULT raster scene=%s threads=%u fps_median=%.2f\n", s.name, g_threads, fps);
        std::fflush(stdout);
    }
    device->Release();
    d3d->Release();
    DestroyWindow(window);
    return 0;
}
