#pragma once

// Everything a device's setters change, as plain arrays and structs that
// the drawing pipeline reads directly. Setters write a value and raise a
// dirty bit; the pipeline turns the state into its keys when it sees the
// bits and clears them.

#include "pipeline/Limits.h"

#include <d3d9.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace swd3d9 {

class Surface;
class TextureCore;
class VertexBuffer;
class IndexBuffer;
class VertexDeclaration;
class Shader;

constexpr UINT RENDER_STATE_COUNT = 256;
constexpr UINT TEXTURE_STAGE_STATE_COUNT = 33;
// Samplers 0 to 15, then the displacement-map sampler and the four vertex
// texture samplers.
constexpr UINT SAMPLER_COUNT = 21;
constexpr UINT WORLD_MATRIX_COUNT = 256;
constexpr UINT CLIP_PLANE_COUNT = 6;
constexpr UINT RENDER_TARGET_COUNT = 4;
constexpr UINT VERTEX_SHADER_FLOAT_CONSTANTS = 256;
constexpr UINT PIXEL_SHADER_FLOAT_CONSTANTS = 224;
constexpr UINT SHADER_INT_CONSTANTS = 16;
constexpr UINT SHADER_BOOL_CONSTANTS = 16;

// The slot of a sampler number (0-15, D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER0-3), or -1.
int samplerSlot(DWORD sampler);
bool isValidRenderState(DWORD state);
bool isValidTextureStageState(DWORD type);
bool isValidSamplerState(DWORD type);

enum DirtyBit : uint32_t {
    DIRTY_RENDER_STATES = 1u << 0,
    DIRTY_STAGE_STATES = 1u << 1,
    DIRTY_SAMPLER_STATES = 1u << 2,
    DIRTY_WORLD = 1u << 3,
    DIRTY_VIEW = 1u << 4,
    DIRTY_PROJECTION = 1u << 5,
    DIRTY_TEXTURE_TRANSFORMS = 1u << 6,
    DIRTY_VIEWPORT = 1u << 7,
    DIRTY_MATERIAL = 1u << 8,
    DIRTY_LIGHTS = 1u << 9,
    DIRTY_CLIP_PLANES = 1u << 10,
    DIRTY_VERTEX_FORMAT = 1u << 11,
    DIRTY_STREAMS = 1u << 12,
    DIRTY_INDICES = 1u << 13,
    DIRTY_TEXTURES = 1u << 14,
    DIRTY_TARGETS = 1u << 15,
    DIRTY_SCISSOR = 1u << 16,
    DIRTY_SHADERS = 1u << 17,
    DIRTY_SHADER_CONSTANTS = 1u << 18,
    DIRTY_ALL = 0xFFFFFFFFu,
};

struct LightSlot {
    D3DLIGHT9 light;
    bool enabled;
};

struct StreamBinding {
    VertexBuffer* buffer;
    UINT offset;
    UINT stride;
    UINT frequency;
};

struct DeviceState {
    DWORD renderStates[RENDER_STATE_COUNT];
    DWORD stageStates[TEXTURE_STAGE_COUNT][TEXTURE_STAGE_STATE_COUNT];
    DWORD samplerStates[SAMPLER_COUNT][SAMPLER_STATE_COUNT];

    D3DMATRIX view;
    D3DMATRIX projection;
    D3DMATRIX world[WORLD_MATRIX_COUNT];
    D3DMATRIX textureTransforms[TEXTURE_STAGE_COUNT];

    D3DVIEWPORT9 viewport;
    RECT scissorRect;
    D3DMATERIAL9 material;
    // Lights by index, as SetLight made them.
    std::unordered_map<DWORD, LightSlot> lights;
    // Indices of the enabled lights, in the order they were enabled.
    std::vector<DWORD> enabledLights;
    float clipPlanes[CLIP_PLANE_COUNT][4];
    D3DCLIPSTATUS9 clipStatus;

    DWORD fvf;
    VertexDeclaration* declaration;
    StreamBinding streams[STREAM_COUNT];
    IndexBuffer* indices;
    TextureCore* textures[SAMPLER_COUNT];
    Surface* renderTargets[RENDER_TARGET_COUNT];
    Surface* depthStencil;
    // The bound depth buffer is smaller than render target 0 or sampled
    // differently: Direct3D refuses draws then (kept with the bindings, so
    // that a draw checks one flag).
    bool depthUnfitForTarget = false;

    Shader* vertexShader;
    Shader* pixelShader;
    float vertexShaderFloats[VERTEX_SHADER_FLOAT_CONSTANTS][4];
    int vertexShaderInts[SHADER_INT_CONSTANTS][4];
    BOOL vertexShaderBools[SHADER_BOOL_CONSTANTS];
    float pixelShaderFloats[PIXEL_SHADER_FLOAT_CONSTANTS][4];
    int pixelShaderInts[SHADER_INT_CONSTANTS][4];
    BOOL pixelShaderBools[SHADER_BOOL_CONSTANTS];

    BOOL softwareVertexProcessing;
    float nPatchSegments;
    UINT currentTexturePalette;

    uint32_t dirty;
};

// The documented defaults of every render, texture-stage and sampler state,
// identity transforms, a zero material, no lights, no clip planes, no
// bindings. zEnable is D3DZB_TRUE when the device has an automatic
// depth-stencil surface. Bindings are not released here: the device does
// that first.
void setDefaultState(DeviceState& state, bool zEnable);
void setIdentity(D3DMATRIX& matrix);

} // namespace swd3d9
