#pragma once

// State blocks: a set of device states and the values the block holds for
// them. The set is either a documented group (CreateStateBlock's
// D3DSBT_ALL, D3DSBT_PIXELSTATE, D3DSBT_VERTEXSTATE) or what the setters
// called between BeginStateBlock and EndStateBlock recorded. Capture
// refreshes the values from the device, Apply sets them on it; neither
// touches a state outside the set.
//
// A block holds internal references on the objects among its values
// (textures, vertex and index buffers, the vertex declaration, shaders),
// and while the application holds the block, the block holds its device.

#include "d3d9/DeviceState.h"
#include "d3d9/Objects.h"

#include <bitset>
#include <vector>

namespace swd3d9 {

class Device;

class StateBlock final : public IDirect3DStateBlock9, public Lifetime
{
public:
    // A block of the documented group `type`, captured from the device.
    // D3DERR_INVALIDCALL for another type, E_OUTOFMEMORY when memory runs
    // out.
    static HRESULT create(Device* device, D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block);
    // An empty block for the device to record into. The device holds it by
    // an internal reference until EndStateBlock hands it to the
    // application with handOut. Null when memory runs out.
    static StateBlock* createRecording(Device* device);
    void handOut() { addPublicRef(); }

    // Recording: the device's setters call these, after checking their
    // arguments, instead of changing the device.
    void recordRenderState(DWORD state, DWORD value);
    void recordStageState(UINT stage, DWORD type, DWORD value);
    void recordSamplerState(UINT slot, DWORD type, DWORD value);
    void recordTexture(UINT slot, TextureCore* texture);
    void recordStreamSource(UINT stream, VertexBuffer* buffer, UINT offset, UINT stride);
    void recordStreamFrequency(UINT stream, UINT setting);
    void recordIndices(IndexBuffer* buffer);
    void recordVertexFormat(VertexDeclaration* declaration, DWORD fvf);
    // `type` is a valid D3DTRANSFORMSTATETYPE of SetTransform.
    void recordTransform(DWORD type, const D3DMATRIX& matrix);
    void recordViewport(const D3DVIEWPORT9& viewport);
    void recordScissorRect(const RECT& rect);
    void recordMaterial(const D3DMATERIAL9& material);
    HRESULT recordLight(DWORD index, const D3DLIGHT9& light);
    HRESULT recordLightEnable(DWORD index, bool enable);
    void recordClipPlane(UINT index, const float* plane);
    void recordVertexShader(Shader* shader);
    void recordPixelShader(Shader* shader);
    // Register ranges already checked against the device's register counts.
    void recordVertexShaderFloats(UINT start, const float* data, UINT count);
    void recordVertexShaderInts(UINT start, const int* data, UINT count);
    void recordVertexShaderBools(UINT start, const BOOL* data, UINT count);
    void recordPixelShaderFloats(UINT start, const float* data, UINT count);
    void recordPixelShaderInts(UINT start, const int* data, UINT count);
    void recordPixelShaderBools(UINT start, const BOOL* data, UINT count);
    void recordNPatchMode(float segments);
    void recordTexturePalette(UINT palette);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }

    // IDirect3DStateBlock9
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE Capture() override;
    HRESULT STDMETHODCALLTYPE Apply() override;

protected:
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;

private:
    // Which states the block holds.
    struct Selection {
        std::bitset<RENDER_STATE_COUNT> renderStates;
        std::bitset<TEXTURE_STAGE_STATE_COUNT> stageStates[TEXTURE_STAGE_COUNT];
        std::bitset<SAMPLER_STATE_COUNT> samplerStates[SAMPLER_COUNT];
        std::bitset<SAMPLER_COUNT> textures;
        // Buffer, offset and stride of each stream; its frequency apart.
        std::bitset<STREAM_COUNT> streamSources;
        std::bitset<STREAM_COUNT> streamFrequencies;
        std::bitset<WORLD_MATRIX_COUNT> worldMatrices;
        std::bitset<TEXTURE_STAGE_COUNT> textureTransforms;
        std::bitset<CLIP_PLANE_COUNT> clipPlanes;
        std::bitset<VERTEX_SHADER_FLOAT_CONSTANTS> vertexShaderFloats;
        std::bitset<SHADER_INT_CONSTANTS> vertexShaderInts;
        std::bitset<SHADER_BOOL_CONSTANTS> vertexShaderBools;
        std::bitset<PIXEL_SHADER_FLOAT_CONSTANTS> pixelShaderFloats;
        std::bitset<SHADER_INT_CONSTANTS> pixelShaderInts;
        std::bitset<SHADER_BOOL_CONSTANTS> pixelShaderBools;
        bool indices = false;
        // The FVF or the vertex declaration, whichever is in use.
        bool vertexFormat = false;
        bool view = false;
        bool projection = false;
        bool viewport = false;
        bool scissorRect = false;
        bool material = false;
        bool vertexShader = false;
        bool pixelShader = false;
        bool nPatchMode = false;
        bool texturePalette = false;
    };

    // A light the block holds: its parameters, its enable, or both.
    struct LightRecord {
        DWORD index;
        D3DLIGHT9 light;
        bool enabled;
        bool holdsLight;
        bool holdsEnable;
    };

    explicit StateBlock(Device* device);
    ~StateBlock() override;

    void selectPixelState();
    void selectVertexState();
    void selectEverything();
    // Fails only when memory runs out.
    HRESULT selectLights();
    void captureFrom(const DeviceState& state);
    void releaseHeldObjects();
    // The record of light `index`, made when missing; null when memory runs out.
    LightRecord* lightRecord(DWORD index);

    Device* m_device;
    Selection m_selection;
    // The values of the selected states, in the device's own layout; the
    // rest of the structure is unused.
    DeviceState m_values;
    std::vector<LightRecord> m_lights;
};

} // namespace swd3d9
