// The Direct3D rules an off-screen picture relies on: which surfaces lock,
// which become render targets, which copies the device accepts between
// each kind of surface, what blocks a Reset, and the round trips of a
// known pattern through the copies that are allowed.

#include "D3DTestSupport.h"

#include <cstring>

using namespace d3dtest;

namespace {

const UINT SIDE = 16;

enum Kind {
    RenderTarget,
    LockableTarget,
    MultisampledTarget,
    TargetTextureLevel,
    DefaultPlain,
    SystemPlain,
    ScratchPlain,
    SystemDynamicLevel,
    DefaultDynamicLevel,
    ManagedLevel,
    DepthStencil,
};

// What Direct3D 9 accepts for one kind of surface. The copy partners are a
// plain render target and a system-memory surface of the same size and
// format.
struct KindRule {
    Kind kind;
    const char* name;
    bool locks;
    bool rendersTo;         // SetRenderTarget
    bool readsBack;         // GetRenderTargetData source
    bool receivesReadBack;  // GetRenderTargetData destination
    bool stretchesFrom;     // StretchRect source, into a render target
    bool stretchesTo;       // StretchRect destination, from a render target
    bool updatesFrom;       // UpdateSurface source, into a render target
    bool updatesTo;         // UpdateSurface destination, from system memory
    bool blocksReset;
};

constexpr bool Y = true, N = false;

// clang-format off
const KindRule RULES[] = {
    //                                                              lock target rtdSrc rtdDst srSrc srDst usSrc usDst reset
    {RenderTarget,        "render target",                          N,   Y,     Y,     N,     Y,    Y,    N,    Y,    Y},
    {LockableTarget,      "lockable render target",                 Y,   Y,     Y,     N,     Y,    Y,    N,    Y,    Y},
    {MultisampledTarget,  "multisampled render target",             N,   Y,     N,     N,     Y,    N,    N,    N,    Y},
    {TargetTextureLevel,  "render-target texture level",            N,   Y,     Y,     N,     Y,    Y,    N,    Y,    Y},
    // StretchRect into a plain surface was accepted here after the
    // documentation's table; drivers refuse it.
    {DefaultPlain,        "default-pool plain surface",             Y,   N,     N,     N,     Y,    N,    N,    Y,    Y},
    {SystemPlain,         "system-memory plain surface",            Y,   N,     N,     Y,     N,    N,    Y,    N,    N},
    {ScratchPlain,        "scratch plain surface",                  Y,   N,     N,     N,     N,    N,    N,    N,    N},
    {SystemDynamicLevel,  "system-memory dynamic texture level",    Y,   N,     N,     Y,     N,    N,    Y,    N,    N},
    {DefaultDynamicLevel, "default-pool dynamic texture level",     Y,   N,     N,     N,     Y,    N,    N,    Y,    Y},
    {ManagedLevel,        "managed texture level",                  Y,   N,     N,     N,     N,    N,    N,    N,    N},
    {DepthStencil,        "depth-stencil surface",                  N,   N,     N,     N,     N,    N,    N,    N,    Y},
};
// clang-format on

class PictureTransferTest : public DeviceTest
{
protected:
    // A surface of the kind, SIDE x SIDE, in D3DFMT_A8R8G8B8 (D24S8 for
    // depth); a texture level keeps its texture alive.
    Com<IDirect3DSurface9> make(Kind kind)
    {
        Com<IDirect3DSurface9> surface;
        Com<IDirect3DTexture9> texture;
        const D3DFORMAT f = D3DFMT_A8R8G8B8;
        switch (kind) {
        case RenderTarget:
        case LockableTarget:
            device->CreateRenderTarget(SIDE, SIDE, f, D3DMULTISAMPLE_NONE, 0, kind == LockableTarget, surface.out(),
                                       nullptr);
            break;
        case MultisampledTarget:
            device->CreateRenderTarget(SIDE, SIDE, f, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, surface.out(), nullptr);
            break;
        case DefaultPlain:
        case SystemPlain:
        case ScratchPlain: {
            const D3DPOOL pool = kind == DefaultPlain  ? D3DPOOL_DEFAULT
                                 : kind == SystemPlain ? D3DPOOL_SYSTEMMEM
                                                       : D3DPOOL_SCRATCH;
            device->CreateOffscreenPlainSurface(SIDE, SIDE, f, pool, surface.out(), nullptr);
            break;
        }
        case TargetTextureLevel:
            device->CreateTexture(SIDE, SIDE, 0, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, f, D3DPOOL_DEFAULT,
                                  texture.out(), nullptr);
            break;
        case SystemDynamicLevel:
        case DefaultDynamicLevel:
            device->CreateTexture(SIDE, SIDE, 1, D3DUSAGE_DYNAMIC, f,
                                  kind == SystemDynamicLevel ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT, texture.out(),
                                  nullptr);
            break;
        case ManagedLevel:
            device->CreateTexture(SIDE, SIDE, 1, 0, f, D3DPOOL_MANAGED, texture.out(), nullptr);
            break;
        case DepthStencil:
            device->CreateDepthStencilSurface(SIDE, SIDE, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, surface.out(),
                                              nullptr);
            break;
        }
        if (texture)
            texture->GetSurfaceLevel(0, surface.out());
        return Com<IDirect3DSurface9>(surface.detach());
    }
};

DWORD patternAt(UINT x, UINT y) { return 0xFF000000u | (x * 13u << 16) | (y * 17u << 8) | ((x * y) & 0xFF); }

// Every pixel of a lockable 32-bit surface equals the pattern shifted by
// (dx, dy) over the rectangle.
::testing::AssertionResult holdsPattern(IDirect3DSurface9* surface, const RECT& area, int dx, int dy)
{
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x) {
            const DWORD expected = patternAt(static_cast<UINT>(x - dx), static_cast<UINT>(y - dy));
            const DWORD actual = readPixel(surface, x, y);
            if (actual != expected)
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << actual
                                                     << ", expected " << expected;
        }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(PictureTransferTest, EachKindOfSurfaceTakesTheCopiesDirect3DAllows)
{
    Com<IDirect3DSurface9> target = make(RenderTarget), system = make(SystemPlain), scratch = make(ScratchPlain);
    Com<IDirect3DSurface9> back = backBuffer();
    ASSERT_TRUE(target && system && scratch && back);
    for (const KindRule& rule : RULES) {
        SCOPED_TRACE(rule.name);
        Com<IDirect3DSurface9> s = make(rule.kind);
        ASSERT_TRUE(s);
        D3DLOCKED_RECT locked;
        const HRESULT lock = s->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
        EXPECT_EQ(rule.locks, SUCCEEDED(lock));
        if (SUCCEEDED(lock))
            s->UnlockRect();
        EXPECT_EQ(rule.rendersTo, SUCCEEDED(device->SetRenderTarget(0, s.get())));
        ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, back.get()));
        EXPECT_EQ(rule.readsBack, SUCCEEDED(device->GetRenderTargetData(s.get(), system.get())));
        EXPECT_EQ(rule.receivesReadBack, SUCCEEDED(device->GetRenderTargetData(target.get(), s.get())));
        EXPECT_EQ(rule.stretchesFrom,
                  SUCCEEDED(device->StretchRect(s.get(), nullptr, target.get(), nullptr, D3DTEXF_NONE)));
        EXPECT_EQ(rule.stretchesTo,
                  SUCCEEDED(device->StretchRect(target.get(), nullptr, s.get(), nullptr, D3DTEXF_NONE)));
        EXPECT_EQ(rule.updatesFrom, SUCCEEDED(device->UpdateSurface(s.get(), nullptr, target.get(), nullptr)));
        EXPECT_EQ(rule.updatesTo, SUCCEEDED(device->UpdateSurface(system.get(), nullptr, s.get(), nullptr)));
        // D3DX reads every colour surface, whatever its pool, and writes
        // into scratch memory.
        const bool colour = rule.kind != DepthStencil;
        EXPECT_EQ(colour, SUCCEEDED(D3DXLoadSurfaceFromSurface(scratch.get(), nullptr, nullptr, s.get(), nullptr,
                                                               nullptr, D3DX_DEFAULT, 0)));
        ID3DXBuffer* file = nullptr;
        EXPECT_EQ(colour, SUCCEEDED(D3DXSaveSurfaceToFileInMemory(&file, D3DXIFF_BMP, s.get(), nullptr, nullptr)));
        if (file)
            file->Release();
    }
}

TEST_F(PictureTransferTest, DefaultPoolObjectsBlockResetUntilReleased)
{
    for (const KindRule& rule : RULES) {
        SCOPED_TRACE(rule.name);
        Com<IDirect3DSurface9> s = make(rule.kind);
        ASSERT_TRUE(s);
        D3DPRESENT_PARAMETERS p = parameters;
        EXPECT_EQ(rule.blocksReset ? D3DERR_INVALIDCALL : D3D_OK, device->Reset(&p));
        s.reset();
        p = parameters;
        ASSERT_EQ(D3D_OK, device->Reset(&p));
        EXPECT_EQ(D3D_OK, device->TestCooperativeLevel());
    }
}

TEST_F(PictureTransferTest, TexturesForPicturesFollowTheirPoolAndUsage)
{
    Com<IDirect3DTexture9> rendered, memory, larger, scratch, managed;
    ASSERT_EQ(D3D_OK, device->CreateTexture(SIDE, SIDE, 0, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP,
                                            D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, rendered.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateTexture(SIDE, SIDE, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                            memory.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateTexture(2 * SIDE, 2 * SIDE, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                            D3DPOOL_SYSTEMMEM, larger.out(), nullptr));
    ASSERT_EQ(D3D_OK,
              device->CreateTexture(SIDE, SIDE, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, scratch.out(), nullptr));
    ASSERT_EQ(D3D_OK,
              device->CreateTexture(SIDE, SIDE, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.out(), nullptr));
    // Generated mipmaps stay out of system memory and show one level.
    Com<IDirect3DTexture9> refused;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateTexture(SIDE, SIDE, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                                                        D3DPOOL_SYSTEMMEM, refused.out(), nullptr));
    EXPECT_EQ(1u, rendered->GetLevelCount());

    D3DLOCKED_RECT locked;
    EXPECT_EQ(D3DERR_INVALIDCALL, rendered->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    ASSERT_EQ(D3D_OK, memory->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK));
    memory->UnlockRect(0);

    // Uploads go from system memory to the default pool, level sizes
    // matching; only default-pool and (where the device samples system
    // memory) system-memory textures are drawn with.
    EXPECT_EQ(D3D_OK, device->UpdateTexture(memory.get(), rendered.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->UpdateTexture(larger.get(), rendered.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->UpdateTexture(scratch.get(), rendered.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->UpdateTexture(managed.get(), rendered.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->UpdateTexture(rendered.get(), memory.get()));
    EXPECT_EQ(D3D_OK, device->SetTexture(0, rendered.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetTexture(0, scratch.get()));
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    const bool samplesSystemMemory = (caps.DevCaps & D3DDEVCAPS_TEXTURESYSTEMMEMORY) != 0;
    EXPECT_EQ(samplesSystemMemory, SUCCEEDED(device->SetTexture(0, memory.get())));
    device->SetTexture(0, nullptr);

    // D3DX saves textures of every pool.
    for (IDirect3DTexture9* texture : {rendered.get(), memory.get(), scratch.get(), managed.get()}) {
        ID3DXBuffer* file = nullptr;
        EXPECT_EQ(D3D_OK, D3DXSaveTextureToFileInMemory(&file, D3DXIFF_PNG, texture, nullptr));
        if (file)
            file->Release();
    }
}

TEST_F(PictureTransferTest, DrawsNeedADepthBufferCoveringTheTargetWithItsSampling)
{
    struct Case {
        const char* name;
        D3DMULTISAMPLE_TYPE targetSamples;
        UINT depthWidth, depthHeight; // 0: no depth buffer
        D3DMULTISAMPLE_TYPE depthSamples;
        bool draws;
    };
    const Case cases[] = {
        {"no depth buffer", D3DMULTISAMPLE_NONE, 0, 0, D3DMULTISAMPLE_NONE, true},
        {"same size", D3DMULTISAMPLE_NONE, 32, 32, D3DMULTISAMPLE_NONE, true},
        {"larger", D3DMULTISAMPLE_NONE, 64, 40, D3DMULTISAMPLE_NONE, true},
        {"narrower", D3DMULTISAMPLE_NONE, 16, 32, D3DMULTISAMPLE_NONE, false},
        {"shorter", D3DMULTISAMPLE_NONE, 32, 31, D3DMULTISAMPLE_NONE, false},
        {"both multisampled", D3DMULTISAMPLE_4_SAMPLES, 32, 32, D3DMULTISAMPLE_4_SAMPLES, true},
        {"only the target multisampled", D3DMULTISAMPLE_4_SAMPLES, 32, 32, D3DMULTISAMPLE_NONE, false},
        {"only the depth multisampled", D3DMULTISAMPLE_NONE, 32, 32, D3DMULTISAMPLE_4_SAMPLES, false},
        {"other sample count", D3DMULTISAMPLE_4_SAMPLES, 32, 32, D3DMULTISAMPLE_2_SAMPLES, false},
    };
    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    const Vertex triangle[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF}, {32, 0, 0.5f, 1, 0xFFFFFFFF},
                                {0, 32, 0.5f, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Com<IDirect3DSurface9> target, depth;
        ASSERT_EQ(D3D_OK, device->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, c.targetSamples, 0, FALSE,
                                                     target.out(), nullptr));
        if (c.depthWidth) {
            ASSERT_EQ(D3D_OK, device->CreateDepthStencilSurface(c.depthWidth, c.depthHeight, D3DFMT_D24S8,
                                                                c.depthSamples, 0, FALSE, depth.out(), nullptr));
        }
        // Binding is never refused; the draw is.
        ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
        ASSERT_EQ(D3D_OK, device->SetDepthStencilSurface(depth.get()));
        ASSERT_EQ(D3D_OK, device->BeginScene());
        EXPECT_EQ(c.draws ? D3D_OK : D3DERR_INVALIDCALL, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle,
                                                                                   sizeof(Vertex)));
        device->EndScene();
    }
    Com<IDirect3DSurface9> back = backBuffer();
    device->SetRenderTarget(0, back.get());
    device->SetDepthStencilSurface(nullptr);
}

TEST_F(PictureTransferTest, PatternsSurviveEveryAllowedCopy)
{
    const RECT whole{0, 0, SIDE, SIDE};

    // Upload and read-back of a render texture: system-memory texture ->
    // UpdateTexture -> render-target texture -> GetRenderTargetData.
    Com<IDirect3DTexture9> memory, rendered, readBack;
    device->CreateTexture(SIDE, SIDE, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, memory.out(), nullptr);
    device->CreateTexture(SIDE, SIDE, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, readBack.out(),
                          nullptr);
    device->CreateTexture(SIDE, SIDE, 0, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                          D3DPOOL_DEFAULT, rendered.out(), nullptr);
    ASSERT_TRUE(memory && rendered && readBack);
    Com<IDirect3DSurface9> memoryLevel, renderedLevel, readBackLevel;
    memory->GetSurfaceLevel(0, memoryLevel.out());
    rendered->GetSurfaceLevel(0, renderedLevel.out());
    readBack->GetSurfaceLevel(0, readBackLevel.out());
    fillSurface(memoryLevel.get(), patternAt);
    ASSERT_EQ(D3D_OK, memory->AddDirtyRect(nullptr));
    ASSERT_EQ(D3D_OK, device->UpdateTexture(memory.get(), rendered.get()));
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(renderedLevel.get(), readBackLevel.get()));
    EXPECT_TRUE(holdsPattern(readBackLevel.get(), whole, 0, 0));

    // A surface upload at an offset, a same-size StretchRect, a read-back.
    Com<IDirect3DSurface9> target, copy, system;
    device->CreateRenderTarget(2 * SIDE, 2 * SIDE, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, target.out(),
                               nullptr);
    device->CreateRenderTarget(2 * SIDE, 2 * SIDE, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, copy.out(),
                               nullptr);
    device->CreateOffscreenPlainSurface(2 * SIDE, 2 * SIDE, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(),
                                        nullptr);
    ASSERT_TRUE(target && copy && system);
    const POINT at{5, 3};
    ASSERT_EQ(D3D_OK, device->UpdateSurface(memoryLevel.get(), nullptr, target.get(), &at));
    ASSERT_EQ(D3D_OK, device->StretchRect(target.get(), nullptr, copy.get(), nullptr, D3DTEXF_NONE));
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(copy.get(), system.get()));
    EXPECT_TRUE(holdsPattern(system.get(), RECT{5, 3, 5 + SIDE, 3 + SIDE}, 5, 3));
    // A whole source larger than the destination does not fit.
    Com<IDirect3DSurface9> small;
    device->CreateRenderTarget(SIDE / 2, SIDE / 2, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, small.out(),
                               nullptr);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->UpdateSurface(memoryLevel.get(), nullptr, small.get(), nullptr));

    // A tile placed into a full-size scratch picture by D3DX, as a tiled
    // picture is assembled: the part (2, 1)-(10, 7) of the render target
    // lands at (20, 30).
    Com<IDirect3DSurface9> picture;
    ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(64, 64, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, picture.out(),
                                                          nullptr));
    const RECT from{2 + 5, 1 + 3, 10 + 5, 7 + 3}, to{20, 30, 28, 36};
    ASSERT_EQ(D3D_OK,
              D3DXLoadSurfaceFromSurface(picture.get(), nullptr, &to, target.get(), nullptr, &from, D3DX_DEFAULT, 0));
    EXPECT_TRUE(holdsPattern(picture.get(), to, 18, 29));

    // Encoded and decoded again losslessly.
    ID3DXBuffer* file = nullptr;
    ASSERT_EQ(D3D_OK, D3DXSaveSurfaceToFileInMemory(&file, D3DXIFF_PNG, picture.get(), nullptr, nullptr));
    Com<IDirect3DSurface9> decoded;
    device->CreateOffscreenPlainSurface(64, 64, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, decoded.out(), nullptr);
    EXPECT_EQ(D3D_OK, D3DXLoadSurfaceFromFileInMemory(decoded.get(), nullptr, nullptr, file->GetBufferPointer(),
                                                      file->GetBufferSize(), nullptr, D3DX_FILTER_NONE, 0, nullptr));
    file->Release();
    EXPECT_TRUE(holdsPattern(decoded.get(), to, 18, 29));

    // A multisampled picture is read back through a resolve: every sample
    // of a filled rectangle has its colour, so the resolve keeps it exactly.
    Com<IDirect3DSurface9> multisampled;
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(2 * SIDE, 2 * SIDE, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0,
                                                 FALSE, multisampled.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->ColorFill(multisampled.get(), nullptr, 0xFF204060));
    const RECT corner{SIDE, 0, 2 * SIDE, SIDE};
    ASSERT_EQ(D3D_OK, device->ColorFill(multisampled.get(), &corner, 0x80C0A010));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->GetRenderTargetData(multisampled.get(), system.get()));
    ASSERT_EQ(D3D_OK, device->StretchRect(multisampled.get(), nullptr, copy.get(), nullptr, D3DTEXF_NONE));
    ASSERT_EQ(D3D_OK, device->GetRenderTargetData(copy.get(), system.get()));
    EXPECT_EQ(0xFF204060u, readPixel(system.get(), 3, 2 * SIDE - 1));
    EXPECT_EQ(0x80C0A010u, readPixel(system.get(), SIDE, 0));
    EXPECT_EQ(0x80C0A010u, readPixel(system.get(), 2 * SIDE - 1, SIDE - 1));
}

TEST_F(PictureTransferTest, MultisampledPicturesAreOfferedForWindowsAndTargets)
{
    // The image makers render antialiased pictures with the device's own
    // multisampling when the adapter offers it for the back-buffer format.
    for (D3DMULTISAMPLE_TYPE type : {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES}) {
        DWORD levels = 0;
        EXPECT_EQ(D3D_OK,
                  d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, type, &levels));
        EXPECT_EQ(D3D_OK,
                  d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, TRUE, type, &levels));
        EXPECT_EQ(D3D_OK, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_D24S8, TRUE, type, &levels));
    }
    EXPECT_EQ(D3DERR_NOTAVAILABLE, d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, TRUE,
                                                                   D3DMULTISAMPLE_16_SAMPLES, nullptr));
    // A reset to a multisampled back buffer sizes the automatic depth
    // buffer with it, so a target of that size and sampling draws with it.
    D3DPRESENT_PARAMETERS p = parameters;
    p.BackBufferWidth = 40;
    p.BackBufferHeight = 24;
    p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    Com<IDirect3DSurface9> depth, target;
    ASSERT_EQ(D3D_OK, device->GetDepthStencilSurface(depth.out()));
    D3DSURFACE_DESC desc;
    depth->GetDesc(&desc);
    EXPECT_EQ(D3DMULTISAMPLE_4_SAMPLES, desc.MultiSampleType);
    EXPECT_EQ(40u, desc.Width);
    EXPECT_EQ(24u, desc.Height);
    depth.reset();
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(40, 24, D3DFMT_A8R8G8B8, p.MultiSampleType, p.MultiSampleQuality,
                                                 FALSE, target.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target.get()));
    struct Vertex {
        float x, y, z, rhw;
        DWORD colour;
    };
    const Vertex triangle[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF}, {40, 0, 0.5f, 1, 0xFFFFFFFF},
                                {0, 24, 0.5f, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(D3D_OK, device->BeginScene());
    EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)));
    device->EndScene();
    Com<IDirect3DSurface9> back = backBuffer();
    device->SetRenderTarget(0, back.get());
}

TEST(PictureTransferCaps, StretchRectHonoursTheTextureAndFilterCaps)
{
    SWD3D9CAPSOVERRIDE override;
    std::memset(&override, 0, sizeof(override));
    SwD3D9GetDefaultCaps(&override.Caps);
    override.Caps.DevCaps2 &= ~D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    override.Caps.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT;
    SwD3D9SetCapsOverride(&override);
    Com<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    SwD3D9SetCapsOverride(nullptr);
    ASSERT_TRUE(d3d);
    HWND window = makeWindow(32, 32);
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    Com<IDirect3DDevice9> device;
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                        device.out()));
    {
        Com<IDirect3DSurface9> a, b, level;
        Com<IDirect3DTexture9> texture;
        device->CreateRenderTarget(SIDE, SIDE, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, a.out(), nullptr);
        device->CreateRenderTarget(SIDE, SIDE, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, b.out(), nullptr);
        device->CreateTexture(SIDE, SIDE, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out(),
                              nullptr);
        ASSERT_TRUE(a && b && texture);
        texture->GetSurfaceLevel(0, level.out());
        EXPECT_EQ(D3D_OK, device->StretchRect(a.get(), nullptr, b.get(), nullptr, D3DTEXF_NONE));
        EXPECT_EQ(D3D_OK, device->StretchRect(a.get(), nullptr, b.get(), nullptr, D3DTEXF_POINT));
        EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(a.get(), nullptr, b.get(), nullptr, D3DTEXF_LINEAR));
        EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(level.get(), nullptr, b.get(), nullptr, D3DTEXF_NONE));
        EXPECT_EQ(D3DERR_INVALIDCALL, device->StretchRect(a.get(), nullptr, level.get(), nullptr, D3DTEXF_NONE));
    }
    device.reset();
    d3d.reset();
    DestroyWindow(window);
}
