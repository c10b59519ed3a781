// Compiles against this platform's headers and against MinGW-w64's Windows
// headers alike (scripts/check-mingw.sh): the Direct3D 9, D3DX 9 and Win32
// calls the renderer makes, written as the renderer writes them, plus the
// values and layouts both sets of headers must agree on. Nothing runs.

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <cstddef>
#include <cstring>

// Layouts the renderer copies or hands over as they are.
static_assert(sizeof(D3DMATRIX) == 64, "D3DMATRIX");
static_assert(sizeof(D3DVIEWPORT9) == 24, "D3DVIEWPORT9");
static_assert(sizeof(D3DMATERIAL9) == 68, "D3DMATERIAL9");
static_assert(sizeof(D3DLIGHT9) == 104, "D3DLIGHT9");
static_assert(sizeof(D3DCAPS9) == 304, "D3DCAPS9");
static_assert(offsetof(D3DCAPS9, MaxPrimitiveCount) == 180, "D3DCAPS9 layout");
static_assert(offsetof(D3DCAPS9, VS20Caps) == 248, "D3DCAPS9 layout");
static_assert(sizeof(D3DSURFACE_DESC) == 32, "D3DSURFACE_DESC");
static_assert(sizeof(D3DLOCKED_RECT) == 16, "D3DLOCKED_RECT");
static_assert(sizeof(D3DXIMAGE_INFO) == 28, "D3DXIMAGE_INFO");
static_assert(sizeof(D3DVERTEXELEMENT9) == 8, "D3DVERTEXELEMENT9");
static_assert(offsetof(D3DPRESENT_PARAMETERS, hDeviceWindow) == 32, "D3DPRESENT_PARAMETERS layout");

// Values the renderer passes by number or compares against.
static_assert(D3D_SDK_VERSION == 32, "SDK version");
static_assert(D3DRS_ZENABLE == 7 && D3DRS_CULLMODE == 22 && D3DRS_LIGHTING == 137 && D3DRS_CLIPPLANEENABLE == 152 &&
                  D3DRS_SLOPESCALEDEPTHBIAS == 175 && D3DRS_DEPTHBIAS == 195 && D3DRS_BLENDOPALPHA == 209,
              "render states");
static_assert(D3DTSS_TEXCOORDINDEX == 11 && D3DTSS_TEXTURETRANSFORMFLAGS == 24 && D3DTSS_CONSTANT == 32,
              "texture-stage states");
static_assert(D3DSAMP_MAXANISOTROPY == 10 && D3DSAMP_DMAPOFFSET == 13, "sampler states");
static_assert(D3DTS_TEXTURE0 == 16 && D3DTS_WORLD == 256, "transform states");
static_assert(D3DFMT_A8R8G8B8 == 21 && D3DFMT_R5G6B5 == 23 && D3DFMT_A8B8G8R8 == 32 && D3DFMT_D24S8 == 75 &&
                  D3DFMT_D16 == 80 && D3DFMT_INDEX32 == 102 && D3DFMT_A32B32G32R32F == 116,
              "formats");
static_assert(D3DFMT_DXT1 == MAKEFOURCC('D', 'X', 'T', '1'), "compressed formats");
static_assert(D3DFVF_XYZ == 0x002 && D3DFVF_XYZRHW == 0x004 && D3DFVF_NORMAL == 0x010 && D3DFVF_DIFFUSE == 0x040 &&
                  D3DFVF_TEX1 == 0x100 && D3DFVF_TEXCOORDSIZE3(0) == 0x10000,
              "vertex formats");
static_assert(D3DTOP_BLENDFACTORALPHA == 14 && D3DTOP_DOTPRODUCT3 == 24 && D3DTA_TFACTOR == 3 &&
                  D3DTA_CONSTANT == 6 && D3DTSS_TCI_SPHEREMAP == 0x40000,
              "texture operations");
static_assert(D3DBLEND_INVBLENDFACTOR == 15 && D3DSTENCILOP_DECR == 8 && D3DCMP_ALWAYS == 8 && D3DCULL_CCW == 3,
              "raster enumerations");
static_assert(D3DUSAGE_AUTOGENMIPMAP == 0x400 && D3DUSAGE_DYNAMIC == 0x200 && D3DLOCK_READONLY == 0x10 &&
                  D3DLOCK_NOSYSLOCK == 0x800,
              "usage and lock flags");
static_assert(D3DPRASTERCAPS_DEPTHBIAS == 0x04000000 && D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS == 0x02000000 &&
                  D3DPTFILTERCAPS_MINFANISOTROPIC == 0x400 && D3DPTFILTERCAPS_MAGFANISOTROPIC == 0x04000000 &&
                  D3DDEVCAPS_HWTRANSFORMANDLIGHT == 0x10000,
              "capability bits");
static_assert(D3DXIFF_BMP == 0 && D3DXIFF_PNG == 3 && D3DXIFF_DDS == 4 && D3DXIFF_PFM == 8, "D3DX file formats");
static_assert(D3DX_FILTER_LINEAR == 3 && D3DX_DEFAULT == 0xFFFFFFFF, "D3DX filters");
static_assert(D3DERR_INVALIDCALL == static_cast<HRESULT>(0x8876086C) &&
                  D3DERR_DEVICELOST == static_cast<HRESULT>(0x88760868) &&
                  D3DERR_DEVICENOTRESET == static_cast<HRESULT>(0x88760869) &&
                  D3DERR_NOTAVAILABLE == static_cast<HRESULT>(0x8876086A),
              "result codes");

namespace mingwcheck {

// Hidden window and device, as image generation makes them.
HRESULT makeDevice(IDirect3D9** direct3d, IDirect3DDevice9** device, HWND* window)
{
    WCHAR path[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, path, MAX_PATH);
    *window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, NULL, NULL, GetModuleHandleW(path), NULL);
    if (!*window)
        return E_FAIL;
    *direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*direct3d)
        return E_FAIL;
    D3DCAPS9 caps;
    (*direct3d)->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    DWORD levels = 0;
    (*direct3d)->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE);
    (*direct3d)->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                   D3DFMT_D24S8);
    (*direct3d)->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D24S8);
    (*direct3d)->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONMASKABLE,
                                            &levels);
    D3DPRESENT_PARAMETERS p;
    p = D3DPRESENT_PARAMETERS();
    p.Windowed = TRUE;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    p.MultiSampleQuality = levels - 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = *window;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    const DWORD behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                          : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    return (*direct3d)->CreateDevice(caps.AdapterOrdinal, caps.DeviceType, *window, behaviour, &p, device);
}

// A frame of the window renderer.
void frame(IDirect3DDevice9* device, const D3DXMATRIX& view, const D3DXMATRIX& projection, ID3DXMatrixStack* stack)
{
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DVIEWPORT9 viewport = {0, 0, 100, 100, 0.0f, 1.0f};
    device->SetViewport(&viewport);
    device->Clear(0, NULL, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 0, 0, 0), 1.0f, 0);
    device->BeginScene();
    D3DXMATRIX local;
    D3DXMatrixIdentity(&local);
    stack->Push();
    stack->MultMatrixLocal(&local);
    device->SetTransform(D3DTS_WORLD, stack->GetTop());
    stack->Pop();
    D3DMATERIAL9 material = {};
    device->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    const float depthBias = 0.0f;
    DWORD depthBiasBits;
    std::memcpy(&depthBiasBits, &depthBias, sizeof(depthBiasBits));
    device->SetRenderState(D3DRS_DEPTHBIAS, depthBiasBits);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    float plane[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    device->SetClipPlane(0, plane);
    DWORD cull = 0;
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    struct Vertex {
        float x, y, z, nx, ny, nz, u, v;
    } vertices[3] = {};
    WORD indices[3] = {0, 1, 2};
    device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, vertices, sizeof(Vertex));
    device->EndScene();
    if (device->Present(NULL, NULL, NULL, NULL) == D3DERR_DEVICELOST && device->TestCooperativeLevel() != D3D_OK) {
        D3DPRESENT_PARAMETERS p = {};
        device->Reset(&p);
    }
}

// Buffers, textures, surfaces and the D3DX file functions.
void resources(IDirect3DDevice9* device, const void* file, UINT fileSize)
{
    IDirect3DVertexBuffer9* vertices = NULL;
    IDirect3DIndexBuffer9* indices = NULL;
    device->CreateVertexBuffer(1024, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_MANAGED, &vertices, NULL);
    device->CreateIndexBuffer(1024, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, NULL);
    void* data = NULL;
    vertices->Lock(0, 0, &data, 0);
    vertices->Unlock();
    device->SetStreamSource(0, vertices, 0, 12);
    device->SetIndices(indices);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
    device->DrawPrimitive(D3DPT_LINESTRIP, 0, 1);

    IDirect3DTexture9 *renderTexture = NULL, *memory = NULL, *image = NULL;
    device->CreateTexture(256, 256, 0, D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                          D3DPOOL_DEFAULT, &renderTexture, NULL);
    device->CreateTexture(256, 256, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &memory, NULL);
    D3DXCreateTextureFromFileInMemory(device, file, fileSize, &image);
    IDirect3DSurface9 *level = NULL, *memoryLevel = NULL, *target = NULL, *depth = NULL, *scratch = NULL,
                      *saved = NULL;
    renderTexture->GetSurfaceLevel(0, &level);
    memory->GetSurfaceLevel(0, &memoryLevel);
    device->GetRenderTarget(0, &saved);
    device->SetRenderTarget(0, level);
    device->CreateDepthStencilSurface(256, 256, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &depth, NULL);
    device->SetDepthStencilSurface(depth);
    device->GetRenderTargetData(level, memoryLevel);
    D3DLOCKED_RECT locked;
    memory->LockRect(0, &locked, NULL, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    memory->UnlockRect(0);
    memory->AddDirtyRect(NULL);
    device->UpdateTexture(memory, renderTexture);
    device->CreateRenderTarget(256, 256, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, NULL);
    device->StretchRect(target, NULL, level, NULL, D3DTEXF_NONE);
    device->UpdateSurface(memoryLevel, NULL, target, NULL);
    device->CreateOffscreenPlainSurface(512, 512, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &scratch, NULL);
    RECT destination = {0, 0, 256, 256};
    D3DXLoadSurfaceFromSurface(scratch, NULL, &destination, target, NULL, &destination, D3DX_DEFAULT, 0);
    device->SetRenderTarget(0, saved);
    device->SetTexture(0, image);

    ID3DXBuffer* buffer = NULL;
    D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_PNG, target, NULL, NULL);
    D3DXSaveSurfaceToFileW(L"out.bmp", D3DXIFF_BMP, target, NULL, NULL);
    D3DXSaveTextureToFileW(L"out.dds", D3DXIFF_DDS, memory, NULL);
    D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_JPG, memory, NULL);
    buffer->GetBufferPointer();
    buffer->GetBufferSize();
    buffer->Release();

    IDirect3DCubeTexture9* cube = NULL;
    IDirect3DVolumeTexture9* volume = NULL;
    D3DXCreateCubeTextureFromFileInMemory(device, file, fileSize, &cube);
    D3DXCreateVolumeTextureFromFileInMemory(device, file, fileSize, &volume);
    D3DXCreateCubeTexture(device, 512, 1, 0, D3DFMT_A8B8G8R8, D3DPOOL_MANAGED, &cube);
    IDirect3DSurface9* face = NULL;
    cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 0, &face);
    D3DXLoadSurfaceFromFileInMemory(face, NULL, NULL, file, fileSize, NULL, D3DX_FILTER_LINEAR, 0xFF000000, NULL);
    D3DSURFACE_DESC desc;
    face->GetDesc(&desc);
    face->Release();
    cube->Release();
}

// The effect parameters' matrix products.
void effectMatrices(const D3DXMATRIX& world, const D3DXMATRIX& view)
{
    D3DXMATRIX worldView, inverse, transposed;
    D3DXMatrixMultiply(&worldView, &world, &view);
    D3DXMatrixInverse(&inverse, NULL, &worldView);
    D3DXMatrixTranspose(&transposed, &inverse);
    D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
    D3DXVECTOR4 eye;
    D3DXVec3Transform(&eye, &origin, &inverse);
    WCHAR wide[64];
    MultiByteToWideChar(CP_ACP, 0, "name", -1, wide, 64);
}

} // namespace mingwcheck
