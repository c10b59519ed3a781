// The device's life cycle, presentation, scenes and state setters.

#include "d3d9/Device.h"

#include "d3d9/Direct3D9.h"
#include "pipeline/Formats.h"
#include "d3d9/Pipeline.h"
#include "d3d9/ProgramShaders.h"
#include "d3d9/StateBlock.h"
#include "d3d9/SwapChain.h"
#include "d3d9/VertexDeclaration.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace swd3d9 {

IDirect3DDevice9* deviceInterface(Device* device) { return device; }
void registerResource(Device* device, ResourceCore* resource) { device->registerResource(resource); }
void unregisterResource(Device* device, ResourceCore* resource) { device->unregisterResource(resource); }

void Device::registerResource(ResourceCore* resource)
{
    resource->m_previousOnDevice = nullptr;
    resource->m_nextOnDevice = m_firstResource;
    if (m_firstResource)
        m_firstResource->m_previousOnDevice = resource;
    m_firstResource = resource;
}

void Device::unregisterResource(ResourceCore* resource)
{
    if (resource->m_previousOnDevice)
        resource->m_previousOnDevice->m_nextOnDevice = resource->m_nextOnDevice;
    else if (m_firstResource == resource)
        m_firstResource = resource->m_nextOnDevice;
    if (resource->m_nextOnDevice)
        resource->m_nextOnDevice->m_previousOnDevice = resource->m_previousOnDevice;
    resource->m_previousOnDevice = resource->m_nextOnDevice = nullptr;
}
Device* toDevice(IDirect3DDevice9* device) { return device ? dynamic_cast<Device*>(device) : nullptr; }

namespace {

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

} // namespace

// Creation and destruction

Device::Device(Direct3D9* direct3d, const AdapterProfile& profile, HWND focusWindow, DWORD behaviorFlags)
    : Lifetime(1), m_direct3d(direct3d), m_profile(profile)
{
    m_direct3d->AddRef();
    m_creation.AdapterOrdinal = 0;
    m_creation.DeviceType = D3DDEVTYPE_HAL;
    m_creation.hFocusWindow = focusWindow;
    m_creation.BehaviorFlags = behaviorFlags;
    setDefaultState(m_state, false);
    m_state.fvf = 0;
    m_state.declaration = nullptr;
    for (StreamBinding& stream : m_state.streams)
        stream = StreamBinding{nullptr, 0, 0, 1};
    m_state.indices = nullptr;
    for (TextureCore*& texture : m_state.textures)
        texture = nullptr;
    for (Surface*& target : m_state.renderTargets)
        target = nullptr;
    m_state.depthStencil = nullptr;
    m_state.vertexShader = nullptr;
    m_state.pixelShader = nullptr;
    m_state.softwareVertexProcessing = (behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    for (UINT i = 0; i < 256; ++i) {
        const WORD value = static_cast<WORD>(i * 257);
        m_gammaRamp.red[i] = m_gammaRamp.green[i] = m_gammaRamp.blue[i] = value;
    }
}

Device::~Device()
{
    discardDraws(*this);
    discardRecording();
    releaseBindings();
    releasePresentation();
    // Only objects in the middle of their own release can be left; they
    // must not reach back into this device.
    while (ResourceCore* resource = m_firstResource) {
        m_firstResource = resource->m_nextOnDevice;
        resource->detachFromDevice();
    }
    m_direct3d->Release();
}

HRESULT Device::create(Direct3D9* direct3d, const AdapterProfile& profile, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device)
{
    const DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    // Hardware vertex processing needs the device to transform and light.
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        !(profile.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT))
        return D3DERR_INVALIDCALL;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) &&
        (processing != D3DCREATE_HARDWARE_VERTEXPROCESSING || !(profile.caps.DevCaps & D3DDEVCAPS_PUREDEVICE)))
        return D3DERR_INVALIDCALL;
    if (focusWindow && !IsWindow(focusWindow))
        return D3DERR_INVALIDCALL;
    if (!parameters->Windowed && !focusWindow)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS validated = *parameters;
    const HRESULT result = SwapChain::validateParameters(profile, validated, focusWindow);
    if (FAILED(result))
        return result;

    Device* created = new (std::nothrow) Device(direct3d, profile, focusWindow, behaviorFlags);
    if (!created)
        return E_OUTOFMEMORY;
    const HRESULT built = created->buildPresentation(validated);
    if (FAILED(built)) {
        created->Release();
        return built;
    }
    *parameters = validated;
    *device = created;
    return D3D_OK;
}

HRESULT Device::buildPresentation(const D3DPRESENT_PARAMETERS& parameters)
{
    m_swapChain = SwapChain::create(this, parameters, true);
    if (!m_swapChain)
        return D3DERR_OUTOFVIDEOMEMORY;
    if (parameters.EnableAutoDepthStencil) {
        const D3DSURFACE_DESC desc{parameters.AutoDepthStencilFormat,
                                   D3DRTYPE_SURFACE,
                                   D3DUSAGE_DEPTHSTENCIL,
                                   D3DPOOL_DEFAULT,
                                   parameters.MultiSampleType,
                                   parameters.MultiSampleQuality,
                                   parameters.BackBufferWidth,
                                   parameters.BackBufferHeight};
        m_autoDepthStencil = Surface::createStandalone(this, desc, false, true);
        if (!m_autoDepthStencil) {
            releasePresentation();
            return D3DERR_OUTOFVIDEOMEMORY;
        }
    }
    setDefaultState(m_state, m_autoDepthStencil != nullptr);
    bindRenderTarget(0, m_swapChain->backBuffer(0));
    bindDepthStencil(m_autoDepthStencil);
    resetViewportToTarget();
    return D3D_OK;
}

void Device::releasePresentation()
{
    if (m_autoDepthStencil) {
        delete m_autoDepthStencil;
        m_autoDepthStencil = nullptr;
    }
    if (m_swapChain) {
        m_swapChain->destroyImplicit();
        m_swapChain = nullptr;
    }
}

void Device::releaseBindings()
{
    for (UINT i = 0; i < SAMPLER_COUNT; ++i)
        bindTexture(i, nullptr);
    for (UINT i = 0; i < STREAM_COUNT; ++i) {
        bindStream(i, nullptr);
        m_state.streams[i] = StreamBinding{nullptr, 0, 0, 1};
    }
    bindIndices(nullptr);
    for (UINT i = 0; i < RENDER_TARGET_COUNT; ++i)
        bindRenderTarget(i, nullptr);
    bindDepthStencil(nullptr);
    bindDeclaration(nullptr);
    m_state.fvf = 0;
    bindVertexShader(nullptr);
    bindPixelShader(nullptr);
}

void Device::resetViewportToTarget()
{
    const Surface* target = m_state.renderTargets[0];
    const UINT width = target ? target->desc().Width : 0;
    const UINT height = target ? target->desc().Height : 0;
    m_state.viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
    m_state.scissorRect = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    m_state.dirty |= DIRTY_VIEWPORT | DIRTY_SCISSOR;
}

// Bindings

void Device::bindTexture(UINT slot, TextureCore* texture)
{
    TextureCore* old = m_state.textures[slot];
    if (texture)
        texture->resource().addInternalRef();
    m_state.textures[slot] = texture;
    if (old)
        old->resource().releaseInternalRef();
    m_state.dirty |= DIRTY_TEXTURES;
}

void Device::bindStream(UINT stream, VertexBuffer* buffer)
{
    VertexBuffer* old = m_state.streams[stream].buffer;
    if (buffer)
        buffer->addInternalRef();
    m_state.streams[stream].buffer = buffer;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_STREAMS;
}

void Device::bindIndices(IndexBuffer* buffer)
{
    IndexBuffer* old = m_state.indices;
    if (buffer)
        buffer->addInternalRef();
    m_state.indices = buffer;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_INDICES;
}

void Device::bindRenderTarget(UINT index, Surface* surface)
{
    Surface* old = m_state.renderTargets[index];
    if (surface)
        surface->addInternalRef();
    m_state.renderTargets[index] = surface;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_TARGETS;
    if (index == 0)
        noteTargetsChanged();
}

void Device::bindDepthStencil(Surface* surface)
{
    Surface* old = m_state.depthStencil;
    if (surface)
        surface->addInternalRef();
    m_state.depthStencil = surface;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_TARGETS;
    noteTargetsChanged();
}

// A depth buffer must cover render target 0 and have its multisample type
// and quality (SetDepthStencilSurface's restrictions, which the debug
// runtime enforces at every draw); binding either is never refused.
void Device::noteTargetsChanged()
{
    const Surface* target = m_state.renderTargets[0];
    const Surface* depth = m_state.depthStencil;
    m_state.depthUnfitForTarget =
        target && depth &&
        (depth->desc().Width < target->desc().Width || depth->desc().Height < target->desc().Height ||
         depth->desc().MultiSampleType != target->desc().MultiSampleType ||
         depth->desc().MultiSampleQuality != target->desc().MultiSampleQuality);
}

void Device::bindDeclaration(VertexDeclaration* declaration)
{
    VertexDeclaration* old = m_state.declaration;
    if (declaration)
        declaration->addInternalRef();
    m_state.declaration = declaration;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_VERTEX_FORMAT;
}

void Device::bindVertexShader(Shader* shader)
{
    Shader* old = m_state.vertexShader;
    if (shader)
        shader->addInternalRef();
    m_state.vertexShader = shader;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_SHADERS;
}

void Device::bindPixelShader(Shader* shader)
{
    Shader* old = m_state.pixelShader;
    if (shader)
        shader->addInternalRef();
    m_state.pixelShader = shader;
    if (old)
        old->releaseInternalRef();
    m_state.dirty |= DIRTY_SHADERS;
}

void Device::discardRecording()
{
    if (StateBlock* recording = m_recording) {
        m_recording = nullptr;
        recording->releaseInternalRef();
    }
}

// Lost devices

void Device::loseDevice()
{
    m_lostState = LostState::Lost;
    m_inScene = false;
}

void Device::acknowledgeLoss()
{
    if (m_lostState == LostState::Lost)
        m_lostState = LostState::NotReset;
}

// IUnknown

HRESULT STDMETHODCALLTYPE Device::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DDevice9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3DDevice9});
}

// Device-wide queries

HRESULT STDMETHODCALLTYPE Device::TestCooperativeLevel()
{
    switch (m_lostState) {
    case LostState::Usable:
        return D3D_OK;
    case LostState::Lost:
        // The loss has now been seen; the next call finds the device
        // ready to be reset.
        m_lostState = LostState::NotReset;
        return D3DERR_DEVICELOST;
    default:
        return D3DERR_DEVICENOTRESET;
    }
}

UINT STDMETHODCALLTYPE Device::GetAvailableTextureMem() { return 512u << 20; }

HRESULT STDMETHODCALLTYPE Device::EvictManagedResources() { return D3D_OK; }

HRESULT STDMETHODCALLTYPE Device::GetDirect3D(IDirect3D9** ppD3D9)
{
    if (!ppD3D9)
        return D3DERR_INVALIDCALL;
    m_direct3d->AddRef();
    *ppD3D9 = m_direct3d;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDeviceCaps(D3DCAPS9* pCaps)
{
    if (!pCaps)
        return D3DERR_INVALIDCALL;
    *pCaps = m_profile.caps;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode)
{
    if (iSwapChain != 0 || !pMode || !m_swapChain)
        return D3DERR_INVALIDCALL;
    return m_swapChain->GetDisplayMode(pMode);
}

HRESULT STDMETHODCALLTYPE Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters)
{
    if (!pParameters)
        return D3DERR_INVALIDCALL;
    *pParameters = m_creation;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap)
{
    Surface* bitmap = toSurface(pCursorBitmap);
    if (!bitmap || bitmap->desc().Format != D3DFMT_A8R8G8B8 || XHotSpot >= bitmap->desc().Width ||
        YHotSpot >= bitmap->desc().Height)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

void STDMETHODCALLTYPE Device::SetCursorPosition(int X, int Y, DWORD Flags)
{
    (void)X;
    (void)Y;
    (void)Flags;
}

BOOL STDMETHODCALLTYPE Device::ShowCursor(BOOL bShow)
{
    const BOOL previous = m_cursorVisible;
    m_cursorVisible = bShow ? TRUE : FALSE;
    return previous;
}

// Swap chains and presentation

HRESULT STDMETHODCALLTYPE Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                                            IDirect3DSwapChain9** pSwapChain)
{
    if (!pPresentationParameters || !pSwapChain)
        return D3DERR_INVALIDCALL;
    *pSwapChain = nullptr;
    // Additional swap chains are windowed.
    if (!pPresentationParameters->Windowed)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS validated = *pPresentationParameters;
    const HRESULT result = SwapChain::validateParameters(m_profile, validated, m_creation.hFocusWindow);
    if (FAILED(result))
        return result;
    SwapChain* chain = SwapChain::create(this, validated, false);
    if (!chain)
        return D3DERR_OUTOFVIDEOMEMORY;
    *pPresentationParameters = validated;
    *pSwapChain = chain;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain)
{
    if (!pSwapChain)
        return D3DERR_INVALIDCALL;
    *pSwapChain = nullptr;
    if (iSwapChain != 0 || !m_swapChain)
        return D3DERR_INVALIDCALL;
    m_swapChain->AddRef();
    *pSwapChain = m_swapChain;
    return D3D_OK;
}

UINT STDMETHODCALLTYPE Device::GetNumberOfSwapChains() { return 1; }

HRESULT STDMETHODCALLTYPE Device::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    flushDraws(*this);
    if (!pPresentationParameters)
        return D3DERR_INVALIDCALL;
    // A loss nobody has noticed yet cannot be repaired.
    if (m_lostState == LostState::Lost)
        return D3DERR_DEVICELOST;
    D3DPRESENT_PARAMETERS validated = *pPresentationParameters;
    if (!validated.Windowed && !m_creation.hFocusWindow) {
        m_lostState = LostState::NotReset;
        return D3DERR_INVALIDCALL;
    }
    if (FAILED(SwapChain::validateParameters(m_profile, validated, m_creation.hFocusWindow))) {
        m_lostState = LostState::NotReset;
        return D3DERR_INVALIDCALL;
    }
    // Resources of the default pool must all have been released, the back
    // buffers and the automatic depth-stencil surface included, and so must
    // state blocks. What only the device's bindings hold goes with the
    // bindings; shaders and vertex declarations outlive a Reset, unbound.
    bool blocked = m_additionalSwapChains > 0 || m_stateBlocks > 0;
    for (const ResourceCore* resource = m_firstResource; resource; resource = resource->m_nextOnDevice) {
        if (resource->pool() == D3DPOOL_DEFAULT && resource->publicRefs() > 0)
            blocked = true;
    }
    if (m_swapChain && m_swapChain->publicRefs() > 0)
        blocked = true;
    if (blocked) {
        m_lostState = LostState::NotReset;
        return D3DERR_INVALIDCALL;
    }
    discardRecording();
    releaseBindings();
    releasePresentation();
    const HRESULT built = buildPresentation(validated);
    if (FAILED(built)) {
        m_lostState = LostState::NotReset;
        return built;
    }
    *pPresentationParameters = validated;
    m_lostState = LostState::Usable;
    m_inScene = false;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                                          CONST RGNDATA* pDirtyRegion)
{
    // A Reset that failed left the device without presentation: it waits
    // for the next Reset.
    if (!m_swapChain)
        return D3DERR_DEVICELOST;
    return m_swapChain->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion, 0);
}

HRESULT STDMETHODCALLTYPE Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                                IDirect3DSurface9** ppBackBuffer)
{
    if (!ppBackBuffer || iSwapChain != 0 || !m_swapChain)
        return D3DERR_INVALIDCALL;
    return m_swapChain->GetBackBuffer(iBackBuffer, Type, ppBackBuffer);
}

HRESULT STDMETHODCALLTYPE Device::GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus)
{
    if (iSwapChain != 0 || !m_swapChain)
        return D3DERR_INVALIDCALL;
    return m_swapChain->GetRasterStatus(pRasterStatus);
}

HRESULT STDMETHODCALLTYPE Device::SetDialogBoxMode(BOOL bEnableDialogs)
{
    (void)bEnableDialogs;
    return D3D_OK;
}

void STDMETHODCALLTYPE Device::SetGammaRamp(UINT iSwapChain, DWORD Flags, CONST D3DGAMMARAMP* pRamp)
{
    (void)Flags;
    if (iSwapChain == 0 && pRamp)
        m_gammaRamp = *pRamp;
}

void STDMETHODCALLTYPE Device::GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp)
{
    if (iSwapChain == 0 && pRamp)
        *pRamp = m_gammaRamp;
}

// Render targets

HRESULT STDMETHODCALLTYPE Device::SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget)
{
    flushDraws(*this);
    if (RenderTargetIndex >= m_profile.caps.NumSimultaneousRTs || RenderTargetIndex >= RENDER_TARGET_COUNT)
        return D3DERR_INVALIDCALL;
    Surface* surface = toSurface(pRenderTarget);
    if (pRenderTarget && (!surface || !surface->isRenderTarget() || surface->device() != this))
        return D3DERR_INVALIDCALL;
    if (!surface && RenderTargetIndex == 0)
        return D3DERR_INVALIDCALL;
    bindRenderTarget(RenderTargetIndex, surface);
    // Setting the first target makes the viewport and the scissor
    // rectangle cover it.
    if (RenderTargetIndex == 0)
        resetViewportToTarget();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget)
{
    if (!ppRenderTarget)
        return D3DERR_INVALIDCALL;
    *ppRenderTarget = nullptr;
    if (RenderTargetIndex >= m_profile.caps.NumSimultaneousRTs || RenderTargetIndex >= RENDER_TARGET_COUNT)
        return D3DERR_INVALIDCALL;
    Surface* surface = m_state.renderTargets[RenderTargetIndex];
    if (!surface)
        return D3DERR_NOTFOUND;
    surface->AddRef();
    *ppRenderTarget = surface;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil)
{
    flushDraws(*this);
    Surface* surface = toSurface(pNewZStencil);
    if (pNewZStencil && (!surface || !surface->isDepthStencil() || surface->device() != this))
        return D3DERR_INVALIDCALL;
    bindDepthStencil(surface);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface)
{
    if (!ppZStencilSurface)
        return D3DERR_INVALIDCALL;
    *ppZStencilSurface = nullptr;
    if (!m_state.depthStencil)
        return D3DERR_NOTFOUND;
    m_state.depthStencil->AddRef();
    *ppZStencilSurface = m_state.depthStencil;
    return D3D_OK;
}

// Scenes

HRESULT STDMETHODCALLTYPE Device::BeginScene()
{
    if (m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::EndScene()
{
    if (!m_inScene)
        return D3DERR_INVALIDCALL;
    m_inScene = false;
    return D3D_OK;
}

// Transforms

namespace {

D3DMATRIX* transformSlot(DeviceState& state, D3DTRANSFORMSTATETYPE type, uint32_t& dirty)
{
    const DWORD t = static_cast<DWORD>(type);
    if (t == D3DTS_VIEW) {
        dirty = DIRTY_VIEW;
        return &state.view;
    }
    if (t == D3DTS_PROJECTION) {
        dirty = DIRTY_PROJECTION;
        return &state.projection;
    }
    if (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7) {
        dirty = DIRTY_TEXTURE_TRANSFORMS;
        return &state.textureTransforms[t - D3DTS_TEXTURE0];
    }
    if (t >= 256 && t < 256 + WORLD_MATRIX_COUNT) {
        dirty = DIRTY_WORLD;
        return &state.world[t - 256];
    }
    return nullptr;
}

} // namespace

HRESULT STDMETHODCALLTYPE Device::SetTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix)
{
    uint32_t dirty = 0;
    D3DMATRIX* slot = transformSlot(m_state, State, dirty);
    if (!slot || !pMatrix)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordTransform(static_cast<DWORD>(State), *pMatrix);
        return D3D_OK;
    }
    *slot = *pMatrix;
    m_state.dirty |= dirty;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix)
{
    uint32_t dirty = 0;
    D3DMATRIX* slot = transformSlot(m_state, State, dirty);
    if (!slot || !pMatrix)
        return D3DERR_INVALIDCALL;
    *pMatrix = *slot;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix)
{
    uint32_t dirty = 0;
    D3DMATRIX* slot = transformSlot(m_state, State, dirty);
    if (!slot || !pMatrix)
        return D3DERR_INVALIDCALL;
    // The given matrix acts first: it multiplies the current one on the left.
    // State blocks do not record this call: it changes the device even
    // while one is recorded.
    *slot = multiply(*pMatrix, *slot);
    m_state.dirty |= dirty;
    return D3D_OK;
}

// Viewport, material, lights, clip planes

HRESULT STDMETHODCALLTYPE Device::SetViewport(CONST D3DVIEWPORT9* pViewport)
{
    if (!pViewport)
        return D3DERR_INVALIDCALL;
    const Surface* target = m_state.renderTargets[0];
    const D3DVIEWPORT9& v = *pViewport;
    // Only a failed Reset leaves no render target.
    if (!target)
        return D3DERR_INVALIDCALL;
    // A viewport reaching past the render target is accepted, as drivers
    // do (the documentation says it fails): draws and clears keep to the
    // target's pixels.
    if (v.Width == 0 || v.Height == 0)
        return D3DERR_INVALIDCALL;
    if (!(v.MinZ >= 0.0f && v.MinZ <= 1.0f && v.MaxZ >= 0.0f && v.MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordViewport(v);
        return D3D_OK;
    }
    m_state.viewport = v;
    m_state.dirty |= DIRTY_VIEWPORT;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetViewport(D3DVIEWPORT9* pViewport)
{
    if (!pViewport)
        return D3DERR_INVALIDCALL;
    *pViewport = m_state.viewport;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetMaterial(CONST D3DMATERIAL9* pMaterial)
{
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordMaterial(*pMaterial);
        return D3D_OK;
    }
    m_state.material = *pMaterial;
    m_state.dirty |= DIRTY_MATERIAL;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetMaterial(D3DMATERIAL9* pMaterial)
{
    if (!pMaterial)
        return D3DERR_INVALIDCALL;
    *pMaterial = m_state.material;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetLight(DWORD Index, CONST D3DLIGHT9* pLight)
{
    if (!pLight)
        return D3DERR_INVALIDCALL;
    const D3DLIGHT9& light = *pLight;
    if (light.Type != D3DLIGHT_POINT && light.Type != D3DLIGHT_SPOT && light.Type != D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    if (light.Type != D3DLIGHT_DIRECTIONAL) {
        const float maxRange = std::sqrt(FLT_MAX);
        if (!(light.Range >= 0.0f && light.Range <= maxRange))
            return D3DERR_INVALIDCALL;
        if (light.Attenuation0 < 0.0f || light.Attenuation1 < 0.0f || light.Attenuation2 < 0.0f)
            return D3DERR_INVALIDCALL;
    }
    if (light.Type == D3DLIGHT_SPOT &&
        !(light.Theta >= 0.0f && light.Phi >= light.Theta && light.Phi <= 3.14159266f))
        return D3DERR_INVALIDCALL;
    if (light.Type != D3DLIGHT_POINT &&
        light.Direction.x == 0.0f && light.Direction.y == 0.0f && light.Direction.z == 0.0f)
        return D3DERR_INVALIDCALL;
    if (m_recording)
        return m_recording->recordLight(Index, light);
    auto found = m_state.lights.find(Index);
    if (found == m_state.lights.end()) {
        // A light table that cannot grow keeps the lights it has.
        try {
            m_state.lights.emplace(Index, LightSlot{light, false});
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
    } else {
        found->second.light = light;
    }
    m_state.dirty |= DIRTY_LIGHTS;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetLight(DWORD Index, D3DLIGHT9* pLight)
{
    if (!pLight)
        return D3DERR_INVALIDCALL;
    auto found = m_state.lights.find(Index);
    if (found == m_state.lights.end())
        return D3DERR_INVALIDCALL;
    *pLight = found->second.light;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::LightEnable(DWORD Index, BOOL Enable)
{
    const bool enable = Enable != FALSE;
    if (m_recording)
        return m_recording->recordLightEnable(Index, enable);
    std::vector<DWORD>& enabled = m_state.enabledLights;
    auto found = m_state.lights.find(Index);
    // Memory is taken before anything changes: a light that cannot be
    // created or listed as enabled leaves the lights as they were.
    try {
        if (enable)
            enabled.reserve(enabled.size() + 1);
        if (found == m_state.lights.end()) {
            // Enabling a light never set creates the default light: white,
            // directional, pointing along +z.
            D3DLIGHT9 light;
            std::memset(&light, 0, sizeof(light));
            light.Type = D3DLIGHT_DIRECTIONAL;
            light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
            light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
            found = m_state.lights.emplace(Index, LightSlot{light, false}).first;
        }
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    if (found->second.enabled != enable) {
        found->second.enabled = enable;
        if (enable) {
            enabled.push_back(Index);
        } else {
            for (auto it = enabled.begin(); it != enabled.end(); ++it) {
                if (*it == Index) {
                    enabled.erase(it);
                    break;
                }
            }
        }
    }
    m_state.dirty |= DIRTY_LIGHTS;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetLightEnable(DWORD Index, BOOL* pEnable)
{
    if (!pEnable)
        return D3DERR_INVALIDCALL;
    auto found = m_state.lights.find(Index);
    if (found == m_state.lights.end())
        return D3DERR_INVALIDCALL;
    *pEnable = found->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetClipPlane(DWORD Index, CONST float* pPlane)
{
    if (!pPlane || Index >= m_profile.caps.MaxUserClipPlanes || Index >= CLIP_PLANE_COUNT)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordClipPlane(Index, pPlane);
        return D3D_OK;
    }
    std::memcpy(m_state.clipPlanes[Index], pPlane, 4 * sizeof(float));
    m_state.dirty |= DIRTY_CLIP_PLANES;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetClipPlane(DWORD Index, float* pPlane)
{
    if (!pPlane || Index >= m_profile.caps.MaxUserClipPlanes || Index >= CLIP_PLANE_COUNT)
        return D3DERR_INVALIDCALL;
    std::memcpy(pPlane, m_state.clipPlanes[Index], 4 * sizeof(float));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetClipStatus(CONST D3DCLIPSTATUS9* pClipStatus)
{
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    m_state.clipStatus = *pClipStatus;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetClipStatus(D3DCLIPSTATUS9* pClipStatus)
{
    if (!pClipStatus)
        return D3DERR_INVALIDCALL;
    *pClipStatus = m_state.clipStatus;
    return D3D_OK;
}

// Render, texture-stage and sampler states

HRESULT STDMETHODCALLTYPE Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    const DWORD state = static_cast<DWORD>(State);
    if (!isValidRenderState(state))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordRenderState(state, Value);
        return D3D_OK;
    }
    // A value set again changes nothing the pipeline has compiled: the
    // next draw reuses its pixel state instead of building and comparing it.
    if (m_state.renderStates[state] == Value)
        return D3D_OK;
    m_state.renderStates[state] = Value;
    m_state.dirty |= DIRTY_RENDER_STATES;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    const DWORD state = static_cast<DWORD>(State);
    if (!pValue || !isValidRenderState(state))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.renderStates[state];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture)
{
    if (!ppTexture)
        return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    const int slot = samplerSlot(Stage);
    if (slot < 0)
        return D3DERR_INVALIDCALL;
    if (TextureCore* texture = m_state.textures[slot]) {
        IDirect3DBaseTexture9* object = texture->textureInterface();
        object->AddRef();
        *ppTexture = object;
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    const int slot = samplerSlot(Stage);
    if (slot < 0)
        return D3DERR_INVALIDCALL;
    TextureCore* texture = toTexture(pTexture);
    if (pTexture) {
        if (!texture || texture->resource().device() != this)
            return D3DERR_INVALIDCALL;
        // Scratch textures are never used for drawing; system-memory ones
        // only where the device can sample them.
        if (texture->pool() == D3DPOOL_SCRATCH ||
            (texture->pool() == D3DPOOL_SYSTEMMEM && !(m_profile.caps.DevCaps & D3DDEVCAPS_TEXTURESYSTEMMEMORY)))
            return D3DERR_INVALIDCALL;
    }
    if (m_recording)
        m_recording->recordTexture(static_cast<UINT>(slot), texture);
    else if (m_state.textures[slot] != texture)
        bindTexture(static_cast<UINT>(slot), texture);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    const DWORD type = static_cast<DWORD>(Type);
    if (!pValue || Stage >= TEXTURE_STAGE_COUNT || !isValidTextureStageState(type))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.stageStates[Stage][type];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    const DWORD type = static_cast<DWORD>(Type);
    if (Stage >= TEXTURE_STAGE_COUNT || !isValidTextureStageState(type))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordStageState(Stage, type, Value);
        return D3D_OK;
    }
    if (m_state.stageStates[Stage][type] == Value)
        return D3D_OK;
    m_state.stageStates[Stage][type] = Value;
    m_state.dirty |= DIRTY_STAGE_STATES;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    const int slot = samplerSlot(Sampler);
    const DWORD type = static_cast<DWORD>(Type);
    if (!pValue || slot < 0 || !isValidSamplerState(type))
        return D3DERR_INVALIDCALL;
    *pValue = m_state.samplerStates[slot][type];
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    const int slot = samplerSlot(Sampler);
    const DWORD type = static_cast<DWORD>(Type);
    if (slot < 0 || !isValidSamplerState(type))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordSamplerState(static_cast<UINT>(slot), type, Value);
        return D3D_OK;
    }
    if (m_state.samplerStates[slot][type] == Value)
        return D3D_OK;
    m_state.samplerStates[slot][type] = Value;
    m_state.dirty |= DIRTY_SAMPLER_STATES;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::ValidateDevice(DWORD* pNumPasses)
{
    if (!pNumPasses)
        return D3DERR_INVALIDCALL;
    *pNumPasses = 1;
    return D3D_OK;
}

// Palettes: no palettised format exists on this device.

HRESULT STDMETHODCALLTYPE Device::SetPaletteEntries(UINT PaletteNumber, CONST PALETTEENTRY* pEntries)
{
    (void)PaletteNumber;
    return pEntries ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries)
{
    (void)PaletteNumber;
    if (!pEntries)
        return D3DERR_INVALIDCALL;
    std::memset(pEntries, 0, 256 * sizeof(PALETTEENTRY));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetCurrentTexturePalette(UINT PaletteNumber)
{
    if (m_recording) {
        m_recording->recordTexturePalette(PaletteNumber);
        return D3D_OK;
    }
    m_state.currentTexturePalette = PaletteNumber;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetCurrentTexturePalette(UINT* PaletteNumber)
{
    if (!PaletteNumber)
        return D3DERR_INVALIDCALL;
    *PaletteNumber = m_state.currentTexturePalette;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetScissorRect(CONST RECT* pRect)
{
    if (!pRect)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordScissorRect(*pRect);
        return D3D_OK;
    }
    m_state.scissorRect = *pRect;
    m_state.dirty |= DIRTY_SCISSOR;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetScissorRect(RECT* pRect)
{
    if (!pRect)
        return D3DERR_INVALIDCALL;
    *pRect = m_state.scissorRect;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetSoftwareVertexProcessing(BOOL bSoftware)
{
    // Only mixed-mode devices switch.
    if (!(m_creation.BehaviorFlags & D3DCREATE_MIXED_VERTEXPROCESSING))
        return D3DERR_INVALIDCALL;
    m_state.softwareVertexProcessing = bSoftware ? TRUE : FALSE;
    return D3D_OK;
}

BOOL STDMETHODCALLTYPE Device::GetSoftwareVertexProcessing() { return m_state.softwareVertexProcessing; }

HRESULT STDMETHODCALLTYPE Device::SetNPatchMode(float nSegments)
{
    if (m_recording) {
        m_recording->recordNPatchMode(nSegments);
        return D3D_OK;
    }
    m_state.nPatchSegments = nSegments;
    return D3D_OK;
}

float STDMETHODCALLTYPE Device::GetNPatchMode() { return m_state.nPatchSegments; }

// State blocks

HRESULT STDMETHODCALLTYPE Device::CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB)
{
    if (!ppSB)
        return D3DERR_INVALIDCALL;
    *ppSB = nullptr;
    if (m_recording)
        return D3DERR_INVALIDCALL;
    return StateBlock::create(this, Type, ppSB);
}

HRESULT STDMETHODCALLTYPE Device::BeginStateBlock()
{
    if (m_recording)
        return D3DERR_INVALIDCALL;
    StateBlock* recording = StateBlock::createRecording(this);
    if (!recording)
        return E_OUTOFMEMORY;
    recording->addInternalRef();
    m_recording = recording;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::EndStateBlock(IDirect3DStateBlock9** ppSB)
{
    if (!ppSB || !m_recording)
        return D3DERR_INVALIDCALL;
    StateBlock* recorded = m_recording;
    m_recording = nullptr;
    recorded->handOut();
    recorded->releaseInternalRef();
    *ppSB = recorded;
    return D3D_OK;
}

// Vertex formats, streams and indices

HRESULT STDMETHODCALLTYPE Device::CreateVertexDeclaration(CONST D3DVERTEXELEMENT9* pVertexElements,
                                                          IDirect3DVertexDeclaration9** ppDecl)
{
    if (!pVertexElements || !ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = nullptr;
    return VertexDeclaration::create(this, pVertexElements, ppDecl);
}

HRESULT STDMETHODCALLTYPE Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl)
{
    VertexDeclaration* declaration = pDecl ? dynamic_cast<VertexDeclaration*>(pDecl) : nullptr;
    if (pDecl && !declaration)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordVertexFormat(declaration, 0);
        return D3D_OK;
    }
    bindDeclaration(declaration);
    m_state.fvf = 0;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl)
{
    if (!ppDecl)
        return D3DERR_INVALIDCALL;
    *ppDecl = m_state.declaration;
    if (m_state.declaration)
        m_state.declaration->AddRef();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetFVF(DWORD FVF)
{
    if (m_recording) {
        m_recording->recordVertexFormat(nullptr, FVF);
        return D3D_OK;
    }
    if (m_state.fvf == FVF && !m_state.declaration)
        return D3D_OK;
    bindDeclaration(nullptr);
    m_state.fvf = FVF;
    m_state.dirty |= DIRTY_VERTEX_FORMAT;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetFVF(DWORD* pFVF)
{
    if (!pFVF)
        return D3DERR_INVALIDCALL;
    *pFVF = m_state.fvf;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                                  UINT OffsetInBytes, UINT Stride)
{
    if (StreamNumber >= STREAM_COUNT || StreamNumber >= m_profile.caps.MaxStreams)
        return D3DERR_INVALIDCALL;
    // The binding already made: it passed every check below when it was.
    const StreamBinding& bound = m_state.streams[StreamNumber];
    if (!m_recording && pStreamData && pStreamData == bound.buffer && OffsetInBytes == bound.offset &&
        Stride == bound.stride)
        return D3D_OK;
    VertexBuffer* buffer = toVertexBuffer(pStreamData);
    if (pStreamData && (!buffer || buffer->device() != this))
        return D3DERR_INVALIDCALL;
    if (Stride > m_profile.caps.MaxStreamStride || (OffsetInBytes & 3) != 0)
        return D3DERR_INVALIDCALL;
    if (OffsetInBytes != 0 && !(m_profile.caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET))
        return D3DERR_INVALIDCALL;
    // Unbinding a stream keeps its stride, as Direct3D does: GetStreamSource
    // goes on reporting it.
    const UINT stride = buffer ? Stride : bound.stride;
    if (m_recording) {
        m_recording->recordStreamSource(StreamNumber, buffer, OffsetInBytes, stride);
        return D3D_OK;
    }
    bindStream(StreamNumber, buffer);
    m_state.streams[StreamNumber].offset = OffsetInBytes;
    m_state.streams[StreamNumber].stride = stride;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData,
                                                  UINT* pOffsetInBytes, UINT* pStride)
{
    if (StreamNumber >= STREAM_COUNT || !ppStreamData || !pOffsetInBytes || !pStride)
        return D3DERR_INVALIDCALL;
    const StreamBinding& binding = m_state.streams[StreamNumber];
    *ppStreamData = binding.buffer;
    if (binding.buffer)
        binding.buffer->AddRef();
    *pOffsetInBytes = binding.offset;
    *pStride = binding.stride;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetStreamSourceFreq(UINT StreamNumber, UINT Setting)
{
    if (StreamNumber >= STREAM_COUNT || (Setting & 0x3FFFFFFF) == 0)
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordStreamFrequency(StreamNumber, Setting);
        return D3D_OK;
    }
    m_state.streams[StreamNumber].frequency = Setting;
    m_state.dirty |= DIRTY_STREAMS;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting)
{
    if (StreamNumber >= STREAM_COUNT || !pSetting)
        return D3DERR_INVALIDCALL;
    *pSetting = m_state.streams[StreamNumber].frequency;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::SetIndices(IDirect3DIndexBuffer9* pIndexData)
{
    if (!m_recording && pIndexData && pIndexData == m_state.indices)
        return D3D_OK;
    IndexBuffer* buffer = toIndexBuffer(pIndexData);
    if (pIndexData && (!buffer || buffer->device() != this))
        return D3DERR_INVALIDCALL;
    if (m_recording) {
        m_recording->recordIndices(buffer);
        return D3D_OK;
    }
    bindIndices(buffer);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetIndices(IDirect3DIndexBuffer9** ppIndexData)
{
    if (!ppIndexData)
        return D3DERR_INVALIDCALL;
    *ppIndexData = m_state.indices;
    if (m_state.indices)
        m_state.indices->AddRef();
    return D3D_OK;
}

// Shaders. Direct3D shader bytecode is not supported: the device runs
// compiled programs, whose shader objects createVertexShader and
// createPixelShader make. Constants are kept whatever is bound.

HRESULT STDMETHODCALLTYPE Device::CreateVertexShader(CONST DWORD* pFunction, IDirect3DVertexShader9** ppShader)
{
    (void)pFunction;
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::SetVertexShader(IDirect3DVertexShader9* pShader)
{
    VertexShader* shader = toVertexShader(pShader);
    if (pShader && (!shader || shader->device() != this))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordVertexShader(shader);
    else if (m_state.vertexShader != shader)
        bindVertexShader(shader);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexShader(IDirect3DVertexShader9** ppShader)
{
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    // Only vertex shader objects are ever bound here.
    VertexShader* shader = static_cast<VertexShader*>(m_state.vertexShader);
    if (shader)
        shader->AddRef();
    *ppShader = shader;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::CreatePixelShader(CONST DWORD* pFunction, IDirect3DPixelShader9** ppShader)
{
    (void)pFunction;
    if (ppShader)
        *ppShader = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShader(IDirect3DPixelShader9* pShader)
{
    PixelShader* shader = toPixelShader(pShader);
    if (pShader && (!shader || shader->device() != this))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordPixelShader(shader);
    else if (m_state.pixelShader != shader)
        bindPixelShader(shader);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPixelShader(IDirect3DPixelShader9** ppShader)
{
    if (!ppShader)
        return D3DERR_INVALIDCALL;
    PixelShader* shader = static_cast<PixelShader*>(m_state.pixelShader);
    if (shader)
        shader->AddRef();
    *ppShader = shader;
    return D3D_OK;
}

namespace {

// Register ranges of the constant setters and getters: `count` registers
// from `start` within a file of N.
template <size_t N>
bool fitsRegisters(const void* data, UINT start, UINT count)
{
    return data && start <= N && count <= N - start;
}

template <class T, size_t N, size_t M>
void setConstants(T (&registers)[N][M], UINT start, const T* data, UINT count, uint32_t& dirty)
{
    if (count > 0)
        std::memcpy(registers[start], data, sizeof(T) * M * count);
    dirty |= DIRTY_SHADER_CONSTANTS;
}

template <class T, size_t N, size_t M>
HRESULT getConstants(const T (&registers)[N][M], UINT start, T* data, UINT count)
{
    if (!fitsRegisters<N>(data, start, count))
        return D3DERR_INVALIDCALL;
    if (count > 0)
        std::memcpy(data, registers[start], sizeof(T) * M * count);
    return D3D_OK;
}

template <size_t N>
void setBools(BOOL (&registers)[N], UINT start, const BOOL* data, UINT count, uint32_t& dirty)
{
    for (UINT i = 0; i < count; ++i)
        registers[start + i] = data[i] ? TRUE : FALSE;
    dirty |= DIRTY_SHADER_CONSTANTS;
}

template <size_t N>
HRESULT getBools(const BOOL (&registers)[N], UINT start, BOOL* data, UINT count)
{
    if (!fitsRegisters<N>(data, start, count))
        return D3DERR_INVALIDCALL;
    std::memcpy(data, registers + start, sizeof(BOOL) * count);
    return D3D_OK;
}

} // namespace

HRESULT STDMETHODCALLTYPE Device::SetVertexShaderConstantF(UINT StartRegister, CONST float* pConstantData,
                                                           UINT Vector4fCount)
{
    if (!fitsRegisters<VERTEX_SHADER_FLOAT_CONSTANTS>(pConstantData, StartRegister, Vector4fCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordVertexShaderFloats(StartRegister, pConstantData, Vector4fCount);
    else
        setConstants(m_state.vertexShaderFloats, StartRegister, pConstantData, Vector4fCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexShaderConstantF(UINT StartRegister, float* pConstantData,
                                                           UINT Vector4fCount)
{
    return getConstants(m_state.vertexShaderFloats, StartRegister, pConstantData, Vector4fCount);
}

HRESULT STDMETHODCALLTYPE Device::SetVertexShaderConstantI(UINT StartRegister, CONST int* pConstantData,
                                                           UINT Vector4iCount)
{
    if (!fitsRegisters<SHADER_INT_CONSTANTS>(pConstantData, StartRegister, Vector4iCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordVertexShaderInts(StartRegister, pConstantData, Vector4iCount);
    else
        setConstants(m_state.vertexShaderInts, StartRegister, pConstantData, Vector4iCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount)
{
    return getConstants(m_state.vertexShaderInts, StartRegister, pConstantData, Vector4iCount);
}

HRESULT STDMETHODCALLTYPE Device::SetVertexShaderConstantB(UINT StartRegister, CONST BOOL* pConstantData,
                                                           UINT BoolCount)
{
    if (!fitsRegisters<SHADER_BOOL_CONSTANTS>(pConstantData, StartRegister, BoolCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordVertexShaderBools(StartRegister, pConstantData, BoolCount);
    else
        setBools(m_state.vertexShaderBools, StartRegister, pConstantData, BoolCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetVertexShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount)
{
    return getBools(m_state.vertexShaderBools, StartRegister, pConstantData, BoolCount);
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShaderConstantF(UINT StartRegister, CONST float* pConstantData,
                                                          UINT Vector4fCount)
{
    if (!fitsRegisters<PIXEL_SHADER_FLOAT_CONSTANTS>(pConstantData, StartRegister, Vector4fCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordPixelShaderFloats(StartRegister, pConstantData, Vector4fCount);
    else
        setConstants(m_state.pixelShaderFloats, StartRegister, pConstantData, Vector4fCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPixelShaderConstantF(UINT StartRegister, float* pConstantData,
                                                          UINT Vector4fCount)
{
    return getConstants(m_state.pixelShaderFloats, StartRegister, pConstantData, Vector4fCount);
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShaderConstantI(UINT StartRegister, CONST int* pConstantData,
                                                          UINT Vector4iCount)
{
    if (!fitsRegisters<SHADER_INT_CONSTANTS>(pConstantData, StartRegister, Vector4iCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordPixelShaderInts(StartRegister, pConstantData, Vector4iCount);
    else
        setConstants(m_state.pixelShaderInts, StartRegister, pConstantData, Vector4iCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPixelShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount)
{
    return getConstants(m_state.pixelShaderInts, StartRegister, pConstantData, Vector4iCount);
}

HRESULT STDMETHODCALLTYPE Device::SetPixelShaderConstantB(UINT StartRegister, CONST BOOL* pConstantData,
                                                          UINT BoolCount)
{
    if (!fitsRegisters<SHADER_BOOL_CONSTANTS>(pConstantData, StartRegister, BoolCount))
        return D3DERR_INVALIDCALL;
    if (m_recording)
        m_recording->recordPixelShaderBools(StartRegister, pConstantData, BoolCount);
    else
        setBools(m_state.pixelShaderBools, StartRegister, pConstantData, BoolCount, m_state.dirty);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Device::GetPixelShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount)
{
    return getBools(m_state.pixelShaderBools, StartRegister, pConstantData, BoolCount);
}

// Patches are not supported (no D3DDEVCAPS_RTPATCHES or NPATCHES).

HRESULT STDMETHODCALLTYPE Device::DrawRectPatch(UINT Handle, CONST float* pNumSegs,
                                                CONST D3DRECTPATCH_INFO* pRectPatchInfo)
{
    (void)Handle;
    (void)pNumSegs;
    (void)pRectPatchInfo;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::DrawTriPatch(UINT Handle, CONST float* pNumSegs,
                                               CONST D3DTRIPATCH_INFO* pTriPatchInfo)
{
    (void)Handle;
    (void)pNumSegs;
    (void)pTriPatchInfo;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::DeletePatch(UINT Handle)
{
    (void)Handle;
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Device::CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery)
{
    if (Type != D3DQUERYTYPE_EVENT) {
        if (ppQuery)
            *ppQuery = nullptr;
        return D3DERR_NOTAVAILABLE;
    }
    // A null pointer asks whether the type is supported.
    if (!ppQuery)
        return D3D_OK;
    Query* query = new (std::nothrow) Query(this, Type);
    if (!query)
        return E_OUTOFMEMORY;
    *ppQuery = query;
    return D3D_OK;
}

} // namespace swd3d9
