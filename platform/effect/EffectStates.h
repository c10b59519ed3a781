#pragma once

// The state assignments of effect passes and sampler_state blocks: the
// names an effect may assign ("CullMode", "MinFilter[1]", "VertexShader"),
// the names of their values ("None", "Linear", "SrcAlpha"), and the device
// calls they turn into, made on the device or on the application's state
// manager.

#include "effect/EffectConstants.h"

#include <d3dx9effect.h>

#include <string>

namespace swd3d9 {
namespace effect {

enum class StateGroup : uint8_t {
    Render,
    TextureStage,
    Sampler,
    Texture,        // Texture[stage] in a pass; the sampler's texture in a sampler_state
    SamplerBinding, // Sampler[register] = (aSampler)
    VertexShader,
    PixelShader,
    Transform,
    LightEnable,
    Light,
    Material,
    FVF,
    NPatchMode,
    VertexShaderConstantF,
    VertexShaderConstantI,
    VertexShaderConstantB,
    PixelShaderConstantF,
    PixelShaderConstantI,
    PixelShaderConstantB,
};

// How a state's value is written.
enum class StateValue : uint8_t {
    Dword,  // enum values, counts, masks
    Float,  // the bits of a float
    Bool,   // TRUE or FALSE
    Color,  // a D3DCOLOR, from a number or from a float4 colour
    Vector, // light and material colours and vectors
    Matrix, // transforms
    Object, // textures, samplers, shaders
};

struct StateValueName {
    const char* name;
    DWORD value;
};

struct StateInfo {
    const char* name;
    StateGroup group;
    DWORD type; // the D3DRS_, D3DTSS_, D3DSAMP_ or D3DTS_ value, or the light or material member
    StateValue value;
    const StateValueName* valueNames; // null-terminated list, or null
    const char* valuePrefix;          // the Direct3D spelling's prefix ("D3DCULL_")
    bool indexed;                     // written with [index]
};

// Light and material members (StateInfo::type of those groups).
enum LightMember : DWORD {
    LIGHT_TYPE,
    LIGHT_DIFFUSE,
    LIGHT_SPECULAR,
    LIGHT_AMBIENT,
    LIGHT_POSITION,
    LIGHT_DIRECTION,
    LIGHT_RANGE,
    LIGHT_FALLOFF,
    LIGHT_ATTENUATION0,
    LIGHT_ATTENUATION1,
    LIGHT_ATTENUATION2,
    LIGHT_THETA,
    LIGHT_PHI
};
enum MaterialMember : DWORD {
    MATERIAL_DIFFUSE,
    MATERIAL_AMBIENT,
    MATERIAL_SPECULAR,
    MATERIAL_EMISSIVE,
    MATERIAL_POWER
};
// Transforms: StateInfo::type is the D3DTS_ value of index 0.

// The state of that name (case-insensitive), or -1.
int findState(const std::string& name);
const StateInfo& stateInfo(int state);
// Whether a state may appear inside sampler_state { }.
bool isSamplerState(const StateInfo& state);
// The value of a value name of the state ("CCW", "D3DCULL_CCW", "TRUE"),
// case-insensitive.
bool findStateValueName(const StateInfo& state, const std::string& name, DWORD& value);
// The number a name stands for in a state's value: a value name of the
// state (none when state is null), or TRUE or FALSE.
bool stateValueConstant(const StateInfo* state, const std::string& name, Constant& value);
// Largest index accepted in [index] for the state.
UINT maxStateIndex(const StateInfo& state);

// The 32-bit value a state takes from an evaluated value.
DWORD stateDword(const StateInfo& state, const Constant& value);

// Where state changes go: the application's state manager when it set one,
// else the device.
class StateTarget
{
public:
    StateTarget(IDirect3DDevice9* device, ID3DXEffectStateManager* manager) : m_device(device), m_manager(manager) {}

    HRESULT setRenderState(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    HRESULT setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
    HRESULT setTexture(DWORD sampler, IDirect3DBaseTexture9* texture);
    HRESULT setVertexShader(IDirect3DVertexShader9* shader);
    HRESULT setPixelShader(IDirect3DPixelShader9* shader);
    HRESULT setVertexShaderConstantF(UINT start, const float* data, UINT count);
    HRESULT setPixelShaderConstantF(UINT start, const float* data, UINT count);

    // A non-object state of the groups other than textures, samplers and
    // shaders, with its evaluated value.
    HRESULT applyValue(const StateInfo& state, UINT index, const Constant& value);

private:
    IDirect3DDevice9* m_device;
    ID3DXEffectStateManager* m_manager;
};

} // namespace effect
} // namespace swd3d9
