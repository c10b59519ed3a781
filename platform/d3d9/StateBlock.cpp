#include "d3d9/StateBlock.h"

#include "d3d9/Device.h"
#include "d3d9/ProgramShaders.h"
#include "d3d9/VertexDeclaration.h"

#include <cstring>
#include <exception>
#include <new>

namespace swd3d9 {

namespace {

// The render states of the pixel and vertex groups, as the Direct3D 9
// documentation lists them; a few (fog start, end and density, the
// material sources, the local viewer) belong to both.
const DWORD PIXEL_RENDER_STATES[] = {
    D3DRS_ZENABLE, D3DRS_SPECULARENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE,
    D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZFUNC, D3DRS_ALPHAREF,
    D3DRS_ALPHAFUNC, D3DRS_DITHERENABLE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_ALPHABLENDENABLE,
    D3DRS_DEPTHBIAS, D3DRS_STENCILENABLE, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS,
    D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR,
    D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2, D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7,
    D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10, D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14, D3DRS_WRAP15,
    D3DRS_LOCALVIEWER, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE, D3DRS_DIFFUSEMATERIALSOURCE,
    D3DRS_SPECULARMATERIALSOURCE, D3DRS_COLORWRITEENABLE, D3DRS_BLENDOP, D3DRS_SCISSORTESTENABLE,
    D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE, D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFAIL,
    D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC, D3DRS_COLORWRITEENABLE1,
    D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR, D3DRS_SRGBWRITEENABLE,
    D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA};

const DWORD VERTEX_RENDER_STATES[] = {
    D3DRS_CULLMODE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY,
    D3DRS_RANGEFOGENABLE, D3DRS_AMBIENT, D3DRS_COLORVERTEX, D3DRS_FOGVERTEXMODE, D3DRS_CLIPPING, D3DRS_LIGHTING,
    D3DRS_LOCALVIEWER, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE, D3DRS_DIFFUSEMATERIALSOURCE,
    D3DRS_SPECULARMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE, D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN,
    D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A, D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C,
    D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK, D3DRS_PATCHEDGESTYLE, D3DRS_POINTSIZE_MAX,
    D3DRS_INDEXEDVERTEXBLENDENABLE, D3DRS_TWEENFACTOR, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE,
    D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y,
    D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W, D3DRS_ENABLEADAPTIVETESSELLATION};

// Every texture-stage state but the two of vertex processing is blending,
// pixel state; D3DTSS_CONSTANT, which the documented list predates, is
// blending state like its neighbours. The coordinate index and transform
// flags belong to both groups.
const DWORD PIXEL_STAGE_STATES[] = {
    D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2,
    D3DTSS_BUMPENVMAT00, D3DTSS_BUMPENVMAT01, D3DTSS_BUMPENVMAT10, D3DTSS_BUMPENVMAT11, D3DTSS_TEXCOORDINDEX,
    D3DTSS_BUMPENVLSCALE, D3DTSS_BUMPENVLOFFSET, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTSS_COLORARG0, D3DTSS_ALPHAARG0,
    D3DTSS_RESULTARG, D3DTSS_CONSTANT};

const DWORD VERTEX_STAGE_STATES[] = {D3DTSS_TEXCOORDINDEX, D3DTSS_TEXTURETRANSFORMFLAGS};

// The sampler number of Set/GetSamplerState and SetTexture for a slot of
// the device's arrays.
DWORD samplerOfSlot(UINT slot) { return slot < 16 ? slot : D3DDMAPSAMPLER + (slot - 16); }

// Swaps the object a slot holds, keeping one internal reference on it.
template <class T>
void hold(T*& slot, T* object)
{
    if (object)
        object->addInternalRef();
    T* old = slot;
    slot = object;
    if (old)
        old->releaseInternalRef();
}

void holdTexture(TextureCore*& slot, TextureCore* texture)
{
    if (texture)
        texture->resource().addInternalRef();
    TextureCore* old = slot;
    slot = texture;
    if (old)
        old->resource().releaseInternalRef();
}

// Copies the selected registers of one constant file.
template <class T, size_t N, size_t M>
void copySelected(T (&to)[N][M], const T (&from)[N][M], const std::bitset<N>& selected)
{
    for (size_t i = 0; i < N; ++i) {
        if (selected[i])
            std::memcpy(to[i], from[i], sizeof(T) * M);
    }
}

template <size_t N>
void copySelected(BOOL (&to)[N], const BOOL (&from)[N], const std::bitset<N>& selected)
{
    for (size_t i = 0; i < N; ++i) {
        if (selected[i])
            to[i] = from[i];
    }
}

// Calls `set(start, count)` for each run of consecutive selected
// registers, so that a whole constant file is set in one call.
template <size_t N, class Set>
void forEachRun(const std::bitset<N>& selected, Set set)
{
    size_t i = 0;
    while (i < N) {
        if (!selected[i]) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < N && selected[end])
            ++end;
        set(static_cast<UINT>(i), static_cast<UINT>(end - i));
        i = end;
    }
}

} // namespace

// Creation and lifetime

StateBlock::StateBlock(Device* device) : Lifetime(0), m_device(device), m_values() {}

StateBlock::~StateBlock() { releaseHeldObjects(); }

HRESULT StateBlock::create(Device* device, D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block)
{
    if (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE)
        return D3DERR_INVALIDCALL;
    StateBlock* created = new (std::nothrow) StateBlock(device);
    if (!created)
        return E_OUTOFMEMORY;
    // Held while it is filled, so that a failure destroys it.
    created->addInternalRef();
    if (type == D3DSBT_ALL)
        created->selectEverything();
    else if (type == D3DSBT_PIXELSTATE)
        created->selectPixelState();
    else
        created->selectVertexState();
    if (type != D3DSBT_PIXELSTATE && FAILED(created->selectLights())) {
        created->releaseInternalRef();
        return E_OUTOFMEMORY;
    }
    created->captureFrom(device->state());
    created->handOut();
    created->releaseInternalRef();
    *block = created;
    return D3D_OK;
}

StateBlock* StateBlock::createRecording(Device* device) { return new (std::nothrow) StateBlock(device); }

void StateBlock::onPublicRefsStarted()
{
    m_device->registerStateBlock();
    m_device->AddRef();
}

// The application's last reference is gone: nothing can apply the block
// any more, so what it holds goes now, while its device still exists.
void StateBlock::onPublicRefsEnded()
{
    releaseHeldObjects();
    m_device->unregisterStateBlock();
    m_device->Release();
}

void StateBlock::releaseHeldObjects()
{
    for (TextureCore*& texture : m_values.textures)
        holdTexture(texture, nullptr);
    for (StreamBinding& stream : m_values.streams)
        hold(stream.buffer, static_cast<VertexBuffer*>(nullptr));
    hold(m_values.indices, static_cast<IndexBuffer*>(nullptr));
    hold(m_values.declaration, static_cast<VertexDeclaration*>(nullptr));
    hold(m_values.vertexShader, static_cast<Shader*>(nullptr));
    hold(m_values.pixelShader, static_cast<Shader*>(nullptr));
}

// The documented groups

void StateBlock::selectPixelState()
{
    Selection& s = m_selection;
    for (DWORD state : PIXEL_RENDER_STATES)
        s.renderStates.set(state);
    for (auto& stage : s.stageStates)
        for (DWORD type : PIXEL_STAGE_STATES)
            stage.set(type);
    for (auto& sampler : s.samplerStates)
        for (DWORD type = D3DSAMP_ADDRESSU; type <= D3DSAMP_ELEMENTINDEX; ++type)
            sampler.set(type);
    s.pixelShader = true;
    s.pixelShaderFloats.set();
    s.pixelShaderInts.set();
    s.pixelShaderBools.set();
}

void StateBlock::selectVertexState()
{
    Selection& s = m_selection;
    for (DWORD state : VERTEX_RENDER_STATES)
        s.renderStates.set(state);
    for (auto& stage : s.stageStates)
        for (DWORD type : VERTEX_STAGE_STATES)
            stage.set(type);
    for (auto& sampler : s.samplerStates)
        sampler.set(D3DSAMP_DMAPOFFSET);
    s.nPatchMode = true;
    s.vertexShader = true;
    s.vertexShaderFloats.set();
    s.vertexShaderInts.set();
    s.vertexShaderBools.set();
    s.streamFrequencies.set();
    s.vertexFormat = true;
}

// Everything the two groups hold, every render, stage and sampler state,
// and the bindings, transforms and fixed-function parameters.
void StateBlock::selectEverything()
{
    selectPixelState();
    selectVertexState();
    Selection& s = m_selection;
    const D3DCAPS9& caps = m_device->caps();
    for (DWORD state = 0; state < RENDER_STATE_COUNT; ++state) {
        if (isValidRenderState(state))
            s.renderStates.set(state);
    }
    for (auto& stage : s.stageStates)
        for (DWORD type = 0; type < TEXTURE_STAGE_STATE_COUNT; ++type) {
            if (isValidTextureStageState(type))
                stage.set(type);
        }
    for (auto& sampler : s.samplerStates)
        for (DWORD type = 0; type < SAMPLER_STATE_COUNT; ++type) {
            if (isValidSamplerState(type))
                sampler.set(type);
        }
    s.textures.set();
    for (UINT stream = 0; stream < STREAM_COUNT && stream < caps.MaxStreams; ++stream)
        s.streamSources.set(stream);
    s.indices = true;
    s.view = s.projection = true;
    s.worldMatrices.set();
    s.textureTransforms.set();
    for (UINT plane = 0; plane < CLIP_PLANE_COUNT && plane < caps.MaxUserClipPlanes; ++plane)
        s.clipPlanes.set(plane);
    s.viewport = s.scissorRect = s.material = true;
    s.texturePalette = true;
}

// The lights the device has now, enabled ones last in the order they were
// enabled, so that applying the block enables them in that order. Lights
// made later are not the block's.
HRESULT StateBlock::selectLights()
{
    const DeviceState& state = m_device->state();
    try {
        m_lights.reserve(state.lights.size());
        for (const auto& entry : state.lights) {
            if (!entry.second.enabled)
                m_lights.push_back(LightRecord{entry.first, entry.second.light, false, true, true});
        }
        for (DWORD index : state.enabledLights)
            m_lights.push_back(LightRecord{index, state.lights.at(index).light, true, true, true});
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

StateBlock::LightRecord* StateBlock::lightRecord(DWORD index)
{
    for (LightRecord& record : m_lights) {
        if (record.index == index)
            return &record;
    }
    try {
        D3DLIGHT9 none;
        std::memset(&none, 0, sizeof(none));
        m_lights.push_back(LightRecord{index, none, false, false, false});
    } catch (const std::exception&) {
        return nullptr;
    }
    return &m_lights.back();
}

// Capture

void StateBlock::captureFrom(const DeviceState& state)
{
    const Selection& s = m_selection;
    DeviceState& v = m_values;
    for (UINT i = 0; i < RENDER_STATE_COUNT; ++i) {
        if (s.renderStates[i])
            v.renderStates[i] = state.renderStates[i];
    }
    for (UINT stage = 0; stage < TEXTURE_STAGE_COUNT; ++stage)
        for (UINT type = 0; type < TEXTURE_STAGE_STATE_COUNT; ++type) {
            if (s.stageStates[stage][type])
                v.stageStates[stage][type] = state.stageStates[stage][type];
        }
    for (UINT slot = 0; slot < SAMPLER_COUNT; ++slot) {
        for (UINT type = 0; type < SAMPLER_STATE_COUNT; ++type) {
            if (s.samplerStates[slot][type])
                v.samplerStates[slot][type] = state.samplerStates[slot][type];
        }
        if (s.textures[slot])
            holdTexture(v.textures[slot], state.textures[slot]);
    }
    for (UINT stream = 0; stream < STREAM_COUNT; ++stream) {
        if (s.streamSources[stream]) {
            hold(v.streams[stream].buffer, state.streams[stream].buffer);
            v.streams[stream].offset = state.streams[stream].offset;
            v.streams[stream].stride = state.streams[stream].stride;
        }
        if (s.streamFrequencies[stream])
            v.streams[stream].frequency = state.streams[stream].frequency;
    }
    if (s.indices)
        hold(v.indices, state.indices);
    if (s.vertexFormat) {
        hold(v.declaration, state.declaration);
        v.fvf = state.fvf;
    }
    if (s.view)
        v.view = state.view;
    if (s.projection)
        v.projection = state.projection;
    for (UINT i = 0; i < WORLD_MATRIX_COUNT; ++i) {
        if (s.worldMatrices[i])
            v.world[i] = state.world[i];
    }
    for (UINT i = 0; i < TEXTURE_STAGE_COUNT; ++i) {
        if (s.textureTransforms[i])
            v.textureTransforms[i] = state.textureTransforms[i];
    }
    for (UINT i = 0; i < CLIP_PLANE_COUNT; ++i) {
        if (s.clipPlanes[i])
            std::memcpy(v.clipPlanes[i], state.clipPlanes[i], sizeof(v.clipPlanes[i]));
    }
    if (s.viewport)
        v.viewport = state.viewport;
    if (s.scissorRect)
        v.scissorRect = state.scissorRect;
    if (s.material)
        v.material = state.material;
    for (LightRecord& record : m_lights) {
        const auto found = state.lights.find(record.index);
        if (found == state.lights.end())
            continue;
        if (record.holdsLight)
            record.light = found->second.light;
        if (record.holdsEnable)
            record.enabled = found->second.enabled;
    }
    if (s.vertexShader)
        hold(v.vertexShader, state.vertexShader);
    if (s.pixelShader)
        hold(v.pixelShader, state.pixelShader);
    copySelected(v.vertexShaderFloats, state.vertexShaderFloats, s.vertexShaderFloats);
    copySelected(v.vertexShaderInts, state.vertexShaderInts, s.vertexShaderInts);
    copySelected(v.vertexShaderBools, state.vertexShaderBools, s.vertexShaderBools);
    copySelected(v.pixelShaderFloats, state.pixelShaderFloats, s.pixelShaderFloats);
    copySelected(v.pixelShaderInts, state.pixelShaderInts, s.pixelShaderInts);
    copySelected(v.pixelShaderBools, state.pixelShaderBools, s.pixelShaderBools);
    if (s.nPatchMode)
        v.nPatchSegments = state.nPatchSegments;
    if (s.texturePalette)
        v.currentTexturePalette = state.currentTexturePalette;
}

HRESULT STDMETHODCALLTYPE StateBlock::Capture()
{
    if (m_device->isRecordingStateBlock())
        return D3DERR_INVALIDCALL;
    captureFrom(m_device->state());
    return D3D_OK;
}

// Apply: the values go through the device's own setters, so that the
// pipeline sees the same changes as from the application.
HRESULT STDMETHODCALLTYPE StateBlock::Apply()
{
    if (m_device->isRecordingStateBlock())
        return D3DERR_INVALIDCALL;
    const Selection& s = m_selection;
    const DeviceState& v = m_values;
    Device* d = m_device;
    HRESULT result = D3D_OK;
    for (UINT i = 0; i < RENDER_STATE_COUNT; ++i) {
        if (s.renderStates[i])
            d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(i), v.renderStates[i]);
    }
    for (UINT stage = 0; stage < TEXTURE_STAGE_COUNT; ++stage)
        for (UINT type = 0; type < TEXTURE_STAGE_STATE_COUNT; ++type) {
            if (s.stageStates[stage][type])
                d->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), v.stageStates[stage][type]);
        }
    for (UINT slot = 0; slot < SAMPLER_COUNT; ++slot) {
        const DWORD sampler = samplerOfSlot(slot);
        for (UINT type = 0; type < SAMPLER_STATE_COUNT; ++type) {
            if (s.samplerStates[slot][type])
                d->SetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(type), v.samplerStates[slot][type]);
        }
        if (s.textures[slot])
            d->SetTexture(sampler, v.textures[slot] ? v.textures[slot]->textureInterface() : nullptr);
    }
    for (UINT stream = 0; stream < STREAM_COUNT; ++stream) {
        const StreamBinding& binding = v.streams[stream];
        if (s.streamSources[stream])
            d->SetStreamSource(stream, binding.buffer, binding.offset, binding.stride);
        if (s.streamFrequencies[stream])
            d->SetStreamSourceFreq(stream, binding.frequency);
    }
    if (s.indices)
        d->SetIndices(v.indices);
    if (s.vertexFormat) {
        if (v.declaration)
            d->SetVertexDeclaration(v.declaration);
        else
            d->SetFVF(v.fvf);
    }
    if (s.view)
        d->SetTransform(D3DTS_VIEW, &v.view);
    if (s.projection)
        d->SetTransform(D3DTS_PROJECTION, &v.projection);
    for (UINT i = 0; i < WORLD_MATRIX_COUNT; ++i) {
        if (s.worldMatrices[i])
            d->SetTransform(D3DTS_WORLDMATRIX(i), &v.world[i]);
    }
    for (UINT i = 0; i < TEXTURE_STAGE_COUNT; ++i) {
        if (s.textureTransforms[i])
            d->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + i), &v.textureTransforms[i]);
    }
    for (UINT i = 0; i < CLIP_PLANE_COUNT; ++i) {
        if (s.clipPlanes[i])
            d->SetClipPlane(i, v.clipPlanes[i]);
    }
    if (s.viewport)
        d->SetViewport(&v.viewport);
    if (s.scissorRect)
        d->SetScissorRect(&v.scissorRect);
    if (s.material)
        d->SetMaterial(&v.material);
    for (const LightRecord& record : m_lights) {
        if (record.holdsLight && d->SetLight(record.index, &record.light) == E_OUTOFMEMORY)
            result = E_OUTOFMEMORY;
        if (record.holdsEnable && d->LightEnable(record.index, record.enabled) == E_OUTOFMEMORY)
            result = E_OUTOFMEMORY;
    }
    if (s.vertexShader)
        d->SetVertexShader(static_cast<VertexShader*>(v.vertexShader));
    if (s.pixelShader)
        d->SetPixelShader(static_cast<PixelShader*>(v.pixelShader));
    forEachRun(s.vertexShaderFloats,
               [&](UINT start, UINT count) { d->SetVertexShaderConstantF(start, v.vertexShaderFloats[start], count); });
    forEachRun(s.vertexShaderInts,
               [&](UINT start, UINT count) { d->SetVertexShaderConstantI(start, v.vertexShaderInts[start], count); });
    forEachRun(s.vertexShaderBools,
               [&](UINT start, UINT count) { d->SetVertexShaderConstantB(start, v.vertexShaderBools + start, count); });
    forEachRun(s.pixelShaderFloats,
               [&](UINT start, UINT count) { d->SetPixelShaderConstantF(start, v.pixelShaderFloats[start], count); });
    forEachRun(s.pixelShaderInts,
               [&](UINT start, UINT count) { d->SetPixelShaderConstantI(start, v.pixelShaderInts[start], count); });
    forEachRun(s.pixelShaderBools,
               [&](UINT start, UINT count) { d->SetPixelShaderConstantB(start, v.pixelShaderBools + start, count); });
    if (s.nPatchMode)
        d->SetNPatchMode(v.nPatchSegments);
    if (s.texturePalette)
        d->SetCurrentTexturePalette(v.currentTexturePalette);
    return result;
}

// Recording

void StateBlock::recordRenderState(DWORD state, DWORD value)
{
    m_selection.renderStates.set(state);
    m_values.renderStates[state] = value;
}

void StateBlock::recordStageState(UINT stage, DWORD type, DWORD value)
{
    m_selection.stageStates[stage].set(type);
    m_values.stageStates[stage][type] = value;
}

void StateBlock::recordSamplerState(UINT slot, DWORD type, DWORD value)
{
    m_selection.samplerStates[slot].set(type);
    m_values.samplerStates[slot][type] = value;
}

void StateBlock::recordTexture(UINT slot, TextureCore* texture)
{
    m_selection.textures.set(slot);
    holdTexture(m_values.textures[slot], texture);
}

void StateBlock::recordStreamSource(UINT stream, VertexBuffer* buffer, UINT offset, UINT stride)
{
    m_selection.streamSources.set(stream);
    hold(m_values.streams[stream].buffer, buffer);
    m_values.streams[stream].offset = offset;
    m_values.streams[stream].stride = stride;
}

void StateBlock::recordStreamFrequency(UINT stream, UINT setting)
{
    m_selection.streamFrequencies.set(stream);
    m_values.streams[stream].frequency = setting;
}

void StateBlock::recordIndices(IndexBuffer* buffer)
{
    m_selection.indices = true;
    hold(m_values.indices, buffer);
}

void StateBlock::recordVertexFormat(VertexDeclaration* declaration, DWORD fvf)
{
    m_selection.vertexFormat = true;
    hold(m_values.declaration, declaration);
    m_values.fvf = fvf;
}

void StateBlock::recordTransform(DWORD type, const D3DMATRIX& matrix)
{
    Selection& s = m_selection;
    if (type == D3DTS_VIEW) {
        s.view = true;
        m_values.view = matrix;
    } else if (type == D3DTS_PROJECTION) {
        s.projection = true;
        m_values.projection = matrix;
    } else if (type >= D3DTS_TEXTURE0 && type <= D3DTS_TEXTURE7) {
        s.textureTransforms.set(type - D3DTS_TEXTURE0);
        m_values.textureTransforms[type - D3DTS_TEXTURE0] = matrix;
    } else {
        s.worldMatrices.set(type - 256);
        m_values.world[type - 256] = matrix;
    }
}

void StateBlock::recordViewport(const D3DVIEWPORT9& viewport)
{
    m_selection.viewport = true;
    m_values.viewport = viewport;
}

void StateBlock::recordScissorRect(const RECT& rect)
{
    m_selection.scissorRect = true;
    m_values.scissorRect = rect;
}

void StateBlock::recordMaterial(const D3DMATERIAL9& material)
{
    m_selection.material = true;
    m_values.material = material;
}

HRESULT StateBlock::recordLight(DWORD index, const D3DLIGHT9& light)
{
    LightRecord* record = lightRecord(index);
    if (!record)
        return E_OUTOFMEMORY;
    record->light = light;
    record->holdsLight = true;
    return D3D_OK;
}

HRESULT StateBlock::recordLightEnable(DWORD index, bool enable)
{
    LightRecord* record = lightRecord(index);
    if (!record)
        return E_OUTOFMEMORY;
    record->enabled = enable;
    record->holdsEnable = true;
    return D3D_OK;
}

void StateBlock::recordClipPlane(UINT index, const float* plane)
{
    m_selection.clipPlanes.set(index);
    std::memcpy(m_values.clipPlanes[index], plane, sizeof(m_values.clipPlanes[index]));
}

void StateBlock::recordVertexShader(Shader* shader)
{
    m_selection.vertexShader = true;
    hold(m_values.vertexShader, shader);
}

void StateBlock::recordPixelShader(Shader* shader)
{
    m_selection.pixelShader = true;
    hold(m_values.pixelShader, shader);
}

namespace {

template <class T, size_t N, size_t M>
void recordRegisters(T (&registers)[N][M], std::bitset<N>& selected, UINT start, const T* data, UINT count)
{
    if (count > 0)
        std::memcpy(registers[start], data, sizeof(T) * M * count);
    for (UINT i = 0; i < count; ++i)
        selected.set(start + i);
}

template <size_t N>
void recordBools(BOOL (&registers)[N], std::bitset<N>& selected, UINT start, const BOOL* data, UINT count)
{
    for (UINT i = 0; i < count; ++i) {
        registers[start + i] = data[i] ? TRUE : FALSE;
        selected.set(start + i);
    }
}

} // namespace

void StateBlock::recordVertexShaderFloats(UINT start, const float* data, UINT count)
{
    recordRegisters(m_values.vertexShaderFloats, m_selection.vertexShaderFloats, start, data, count);
}

void StateBlock::recordVertexShaderInts(UINT start, const int* data, UINT count)
{
    recordRegisters(m_values.vertexShaderInts, m_selection.vertexShaderInts, start, data, count);
}

void StateBlock::recordVertexShaderBools(UINT start, const BOOL* data, UINT count)
{
    recordBools(m_values.vertexShaderBools, m_selection.vertexShaderBools, start, data, count);
}

void StateBlock::recordPixelShaderFloats(UINT start, const float* data, UINT count)
{
    recordRegisters(m_values.pixelShaderFloats, m_selection.pixelShaderFloats, start, data, count);
}

void StateBlock::recordPixelShaderInts(UINT start, const int* data, UINT count)
{
    recordRegisters(m_values.pixelShaderInts, m_selection.pixelShaderInts, start, data, count);
}

void StateBlock::recordPixelShaderBools(UINT start, const BOOL* data, UINT count)
{
    recordBools(m_values.pixelShaderBools, m_selection.pixelShaderBools, start, data, count);
}

void StateBlock::recordNPatchMode(float segments)
{
    m_selection.nPatchMode = true;
    m_values.nPatchSegments = segments;
}

void StateBlock::recordTexturePalette(UINT palette)
{
    m_selection.texturePalette = true;
    m_values.currentTexturePalette = palette;
}

// IUnknown and IDirect3DStateBlock9

HRESULT STDMETHODCALLTYPE StateBlock::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DStateBlock9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3DStateBlock9});
}

HRESULT STDMETHODCALLTYPE StateBlock::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

} // namespace swd3d9
