// Passes of Effect: Begin saves the device state the technique changes,
// BeginPass applies a pass, CommitChanges applies again what depends on
// parameter values, End restores the saved state.
//
// A pass applies its state assignments in the order written. Setting a
// shader also binds what its program reads: each sampler's sampler_state
// (its texture and sampler states) on the register the program was given,
// and the uniform block, built from the current parameter values as an
// image of float registers and uploaded from register 0.

#include "effect/Effect.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace swd3d9 {
namespace effect {

namespace {

bool isSamplerType(D3DXPARAMETER_TYPE type) { return type >= D3DXPT_SAMPLER && type <= D3DXPT_SAMPLERCUBE; }

} // namespace

NameResolver Effect::runtimeResolver(const StateInfo* state) const
{
    return [this, state](const std::string& name, Constant& value) {
        if (stateValueConstant(state, name, value))
            return true;
        for (const auto& c : m_description->staticConstants)
            if (c.first == name) {
                value = c.second;
                return true;
            }
        int node = findParameterByPath(name);
        return node >= 0 && currentValue(node, value);
    };
}

bool Effect::evaluateState(const StateAssignment& a, Constant& value) const
{
    if (a.constant) {
        value = a.value;
        return true;
    }
    ConstantEvaluator evaluator(runtimeResolver(a.state >= 0 ? &stateInfo(a.state) : nullptr));
    return !a.expression.empty() &&
           evaluator.evaluate(a.expression.data(), a.expression.data() + a.expression.size(), value);
}

int Effect::objectParameter(const StateAssignment& a) const
{
    if (a.kind != StateAssignment::Kind::Object || a.parameter < 0)
        return -1;
    if (a.selector < 0)
        return a.parameter;
    // Array[IndexParameter]: the element the index picks now.
    const ParameterNode& selector = m_description->parameters[a.selector];
    double index = loadComponent(m_words[selector.firstWord], selector.type);
    const ParameterNode& array = m_description->parameters[a.parameter];
    if (!(index >= 0.0) || index >= static_cast<double>(array.children.size()))
        return -1;
    return array.children[static_cast<size_t>(index)];
}

void Effect::writeUniforms(int program, std::vector<float>& image)
{
    const ProgramBinding& binding = m_programs[program];
    const shader::ProgramInfo& info = binding.program->info();
    image.assign(static_cast<size_t>(binding.registers) * 4, 0.0f);
    const size_t imageBytes = image.size() * 4;
    auto store = [&](size_t offset, uint32_t bits) {
        if (offset + 4 <= imageBytes)
            std::memcpy(reinterpret_cast<char*>(image.data()) + offset, &bits, 4);
    };
    const auto& nodes = m_description->parameters;
    for (size_t u = 0; u < info.uniforms.size(); ++u) {
        const shader::UniformVariable& uniform = info.uniforms[u];
        int index = binding.uniformParameters[u];
        if (index < 0)
            continue;
        if (m_skipConstant[index]) {
            // The application keeps these registers itself: what the
            // device holds stays.
            UINT first = uniform.offset / 16;
            UINT last = std::min<UINT>(binding.registers,
                                       (uniform.offset + std::max<uint32_t>(uniform.size, 4) + 15) / 16);
            for (UINT r = first; r < last; ++r) {
                float registerValue[4];
                HRESULT read = info.stage == shader::ShaderStage::Vertex
                                   ? m_device->GetVertexShaderConstantF(r, registerValue, 1)
                                   : m_device->GetPixelShaderConstantF(r, registerValue, 1);
                if (SUCCEEDED(read))
                    std::memcpy(image.data() + 4 * static_cast<size_t>(r), registerValue, sizeof(registerValue));
            }
            continue;
        }
        const ParameterNode& node = nodes[index];
        const UINT elementCount = node.elements ? std::min<UINT>(node.elements, std::max<uint32_t>(uniform.elements, 1))
                                                : 1;
        for (UINT e = 0; e < elementCount; ++e) {
            const ParameterNode& element = node.elements ? nodes[node.children[e]] : node;
            if (element.parameterClass == D3DXPC_STRUCT || element.parameterClass == D3DXPC_OBJECT)
                continue;
            const size_t base = uniform.offset + static_cast<size_t>(e) * uniform.arrayStride;
            for (UINT r = 0; r < element.rows; ++r) {
                for (UINT c = 0; c < element.columns; ++c) {
                    uint32_t bits = m_words[element.firstWord + r * element.columns + c];
                    if (element.type == D3DXPT_BOOL)
                        bits = bits != 0 ? 1u : 0u;
                    size_t offset;
                    if (uniform.rows > 1)
                        offset = uniform.columnMajor ? base + 16 * c + 4 * r : base + 16 * r + 4 * c;
                    else
                        offset = base + 4 * (static_cast<size_t>(r) * element.columns + c);
                    store(offset, bits);
                }
            }
        }
    }
}

HRESULT Effect::applySampler(StateTarget& target, DWORD samplerRegister, int samplerNode, bool everything)
{
    const ParameterNode& node = m_description->parameters[samplerNode];
    if (!isSamplerType(node.type) || node.objectCount != 1)
        return D3D_OK;
    int sampler = m_description->objects[node.firstObject].sampler;
    if (sampler < 0)
        return D3D_OK;
    HRESULT result = D3D_OK;
    for (const StateAssignment& a : m_description->samplers[sampler].states) {
        if (a.state < 0 || !a.known)
            continue;
        const StateInfo& info = stateInfo(a.state);
        HRESULT hr = D3D_OK;
        if (info.group == StateGroup::Texture) {
            int texture = objectParameter(a);
            IDirect3DBaseTexture9* object =
                texture >= 0 ? m_objects[m_description->parameters[texture].firstObject].texture : nullptr;
            hr = target.setTexture(samplerRegister, object);
        } else if (info.group == StateGroup::Sampler) {
            if (!everything && a.constant)
                continue;
            Constant value;
            if (!evaluateState(a, value))
                continue;
            hr = target.setSamplerState(samplerRegister, static_cast<D3DSAMPLERSTATETYPE>(info.type),
                                        stateDword(info, value));
        }
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT Effect::applyProgram(StateTarget& target, int program, bool everything)
{
    const ProgramBinding& binding = m_programs[program];
    if (!binding.program)
        return E_FAIL;
    HRESULT result = D3D_OK;
    for (size_t i = 0; i < binding.samplerParameters.size(); ++i) {
        if (binding.samplerParameters[i] < 0)
            continue;
        HRESULT hr = applySampler(target, binding.samplerRegisters[i], binding.samplerParameters[i], everything);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    if (binding.registers == 0)
        return result;
    std::vector<float> image;
    writeUniforms(program, image);
    if (everything || image != m_uploaded[program]) {
        HRESULT hr = binding.program->info().stage == shader::ShaderStage::Vertex
                         ? target.setVertexShaderConstantF(0, image.data(), binding.registers)
                         : target.setPixelShaderConstantF(0, image.data(), binding.registers);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
        m_uploaded[program].swap(image);
    }
    return result;
}

HRESULT Effect::applyPass(int technique, int pass, bool everything)
{
    StateTarget target(m_device, m_manager);
    HRESULT result = D3D_OK;
    auto note = [&result](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    };
    for (const StateAssignment& a : m_description->techniques[technique].passes[pass].states) {
        if (a.state < 0 || !a.known)
            continue;
        const StateInfo& info = stateInfo(a.state);
        switch (info.group) {
        case StateGroup::Texture: {
            if (!everything && a.kind != StateAssignment::Kind::Object)
                break;
            int texture = objectParameter(a);
            note(target.setTexture(a.index,
                                   texture >= 0 ? m_objects[m_description->parameters[texture].firstObject].texture
                                                : nullptr));
            break;
        }
        case StateGroup::SamplerBinding: {
            int sampler = objectParameter(a);
            if (sampler >= 0)
                note(applySampler(target, a.index, sampler, everything));
            break;
        }
        case StateGroup::VertexShader:
        case StateGroup::PixelShader: {
            int program = -1;
            if (a.kind == StateAssignment::Kind::Program) {
                program = a.program;
            } else if (a.kind == StateAssignment::Kind::Object) {
                int node = objectParameter(a);
                if (node < 0) {
                    note(E_FAIL);
                    break;
                }
                program = m_objects[m_description->parameters[node].firstObject].program;
            }
            IUnknown* shader = program >= 0 ? m_shaderObjects[program] : nullptr;
            if (program >= 0 && !shader) {
                note(E_FAIL);
                break;
            }
            if (everything || a.kind == StateAssignment::Kind::Object) {
                if (info.group == StateGroup::VertexShader)
                    note(target.setVertexShader(static_cast<IDirect3DVertexShader9*>(shader)));
                else
                    note(target.setPixelShader(static_cast<IDirect3DPixelShader9*>(shader)));
            }
            if (program >= 0)
                note(applyProgram(target, program, everything));
            break;
        }
        default: {
            if (!everything && a.constant)
                break;
            Constant value;
            if (!evaluateState(a, value)) {
                note(E_FAIL);
                break;
            }
            note(target.applyValue(info, a.index, value));
            break;
        }
        }
    }
    return result;
}

HRESULT STDMETHODCALLTYPE Effect::Begin(UINT* pPasses, DWORD Flags)
{
    if (m_technique < 0)
        return D3DERR_INVALIDCALL;
    // A second Begin saves the state afresh, as D3DX does.
    dropSavedState();
    if (!(Flags & D3DXFX_DONOTSAVESTATE)) {
        try {
            saveState(m_technique, Flags);
        } catch (const std::bad_alloc&) {
            dropSavedState();
            return E_OUTOFMEMORY;
        }
    }
    if (pPasses)
        *pPasses = static_cast<UINT>(m_description->techniques[m_technique].passes.size());
    m_begun = true;
    m_beginFlags = Flags;
    m_pass = -1;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::BeginPass(UINT Pass)
{
    if (!m_begun || m_technique < 0 || m_pass >= 0 || Pass >= m_description->techniques[m_technique].passes.size())
        return D3DERR_INVALIDCALL;
    HRESULT result;
    try {
        result = applyPass(m_technique, static_cast<int>(Pass), true);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(result))
        m_pass = static_cast<int>(Pass);
    return result;
}

HRESULT STDMETHODCALLTYPE Effect::CommitChanges()
{
    if (m_pass < 0)
        return D3D_OK;
    try {
        return applyPass(m_technique, m_pass, false);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE Effect::EndPass()
{
    if (m_pass < 0)
        return D3DERR_INVALIDCALL;
    m_pass = -1;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::End()
{
    if (!m_begun)
        return D3D_OK;
    restoreState();
    m_begun = false;
    m_pass = -1;
    return D3D_OK;
}

void Effect::saveState(int technique, DWORD flags)
{
    const bool shaders = !(flags & D3DXFX_DONOTSAVESHADERSTATE);
    const bool samplers = !(flags & D3DXFX_DONOTSAVESAMPLERSTATE);
    std::set<DWORD> renderStates, textures, lights, lightEnables;
    std::set<std::pair<DWORD, DWORD>> stageStates, samplerStates;
    std::set<DWORD> transforms;
    bool vertexShader = false, pixelShader = false, material = false, fvf = false, nPatch = false;
    UINT vertexFloats = 0, pixelFloats = 0;
    bool vertexInts = false, pixelInts = false, vertexBools = false, pixelBools = false;

    auto samplerOf = [&](DWORD samplerRegister, int samplerNode) {
        const ParameterNode& node = m_description->parameters[samplerNode];
        if (!isSamplerType(node.type))
            return;
        for (uint32_t s = node.firstObject; s < node.firstObject + node.objectCount; ++s) {
            int sampler = m_description->objects[s].sampler;
            if (sampler < 0)
                continue;
            for (const StateAssignment& a : m_description->samplers[sampler].states) {
                if (a.state < 0 || !a.known)
                    continue;
                const StateInfo& info = stateInfo(a.state);
                if (info.group == StateGroup::Texture)
                    textures.insert(samplerRegister);
                else if (info.group == StateGroup::Sampler)
                    samplerStates.insert({samplerRegister, info.type});
            }
        }
    };

    for (const PassDescription& pass : m_description->techniques[technique].passes) {
        for (const StateAssignment& a : pass.states) {
            if (a.state < 0 || !a.known)
                continue;
            const StateInfo& info = stateInfo(a.state);
            switch (info.group) {
            case StateGroup::Render: renderStates.insert(info.type); break;
            case StateGroup::TextureStage: stageStates.insert({a.index, info.type}); break;
            case StateGroup::Sampler: samplerStates.insert({a.index, info.type}); break;
            case StateGroup::Texture: textures.insert(a.index); break;
            case StateGroup::SamplerBinding:
                if (a.parameter >= 0) {
                    const ParameterNode& node = m_description->parameters[a.parameter];
                    if (a.selector >= 0)
                        for (int element : node.children)
                            samplerOf(a.index, element);
                    else
                        samplerOf(a.index, a.parameter);
                }
                break;
            case StateGroup::VertexShader:
            case StateGroup::PixelShader: {
                (info.group == StateGroup::VertexShader ? vertexShader : pixelShader) = true;
                std::vector<int> programs;
                programsOfState(a, programs);
                for (int p : programs) {
                    const ProgramBinding& binding = m_programs[p];
                    UINT& floats = info.group == StateGroup::VertexShader ? vertexFloats : pixelFloats;
                    floats = std::max(floats, binding.registers);
                    for (size_t i = 0; i < binding.samplerParameters.size(); ++i)
                        if (binding.samplerParameters[i] >= 0)
                            samplerOf(binding.samplerRegisters[i], binding.samplerParameters[i]);
                }
                break;
            }
            case StateGroup::Transform: transforms.insert(info.type + a.index); break;
            case StateGroup::LightEnable: lightEnables.insert(a.index); break;
            case StateGroup::Light: lights.insert(a.index); break;
            case StateGroup::Material: material = true; break;
            case StateGroup::FVF: fvf = true; break;
            case StateGroup::NPatchMode: nPatch = true; break;
            case StateGroup::VertexShaderConstantF:
            case StateGroup::PixelShaderConstantF: {
                Constant value;
                UINT count = 1;
                if (evaluateState(a, value))
                    count = std::max<UINT>(1, static_cast<UINT>((value.values.size() + 3) / 4));
                UINT& floats = info.group == StateGroup::VertexShaderConstantF ? vertexFloats : pixelFloats;
                floats = std::max(floats, a.index + count);
                break;
            }
            case StateGroup::VertexShaderConstantI: vertexInts = true; break;
            case StateGroup::PixelShaderConstantI: pixelInts = true; break;
            case StateGroup::VertexShaderConstantB: vertexBools = true; break;
            case StateGroup::PixelShaderConstantB: pixelBools = true; break;
            }
        }
    }

    // Held by the effect from the start, so that references taken below are
    // released if memory runs out on the way.
    m_saved.reset(new SavedState());
    SavedState* saved = m_saved.get();
    for (DWORD state : renderStates) {
        DWORD value;
        if (SUCCEEDED(m_device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &value)))
            saved->renderStates.push_back({static_cast<D3DRENDERSTATETYPE>(state), value});
    }
    for (const auto& s : stageStates) {
        DWORD value;
        auto type = static_cast<D3DTEXTURESTAGESTATETYPE>(s.second);
        if (SUCCEEDED(m_device->GetTextureStageState(s.first, type, &value)))
            saved->stageStates.push_back({s.first, type, value});
    }
    if (samplers)
        for (const auto& s : samplerStates) {
            DWORD value;
            auto type = static_cast<D3DSAMPLERSTATETYPE>(s.second);
            if (SUCCEEDED(m_device->GetSamplerState(s.first, type, &value)))
                saved->samplerStates.push_back({s.first, type, value});
        }
    saved->textures.reserve(textures.size());
    for (DWORD sampler : textures) {
        IDirect3DBaseTexture9* texture = nullptr;
        if (SUCCEEDED(m_device->GetTexture(sampler, &texture)))
            saved->textures.push_back({sampler, texture});
    }
    if (shaders) {
        if (vertexShader && SUCCEEDED(m_device->GetVertexShader(&saved->vertexShader)))
            saved->vertexShaderSaved = true;
        if (pixelShader && SUCCEEDED(m_device->GetPixelShader(&saved->pixelShader)))
            saved->pixelShaderSaved = true;
        vertexFloats = std::min<UINT>(vertexFloats, 256);
        pixelFloats = std::min<UINT>(pixelFloats, 224);
        saved->vertexFloats.resize(static_cast<size_t>(vertexFloats) * 4);
        if (vertexFloats && FAILED(m_device->GetVertexShaderConstantF(0, saved->vertexFloats.data(), vertexFloats)))
            saved->vertexFloats.clear();
        saved->pixelFloats.resize(static_cast<size_t>(pixelFloats) * 4);
        if (pixelFloats && FAILED(m_device->GetPixelShaderConstantF(0, saved->pixelFloats.data(), pixelFloats)))
            saved->pixelFloats.clear();
        // Integer and boolean constants are few: all of them.
        if (vertexInts) {
            saved->vertexInts.resize(16 * 4);
            if (FAILED(m_device->GetVertexShaderConstantI(0, saved->vertexInts.data(), 16)))
                saved->vertexInts.clear();
        }
        if (pixelInts) {
            saved->pixelInts.resize(16 * 4);
            if (FAILED(m_device->GetPixelShaderConstantI(0, saved->pixelInts.data(), 16)))
                saved->pixelInts.clear();
        }
        if (vertexBools) {
            saved->vertexBools.resize(16);
            if (FAILED(m_device->GetVertexShaderConstantB(0, saved->vertexBools.data(), 16)))
                saved->vertexBools.clear();
        }
        if (pixelBools) {
            saved->pixelBools.resize(16);
            if (FAILED(m_device->GetPixelShaderConstantB(0, saved->pixelBools.data(), 16)))
                saved->pixelBools.clear();
        }
    }
    for (DWORD type : transforms) {
        D3DMATRIX m;
        if (SUCCEEDED(m_device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(type), &m)))
            saved->transforms.push_back({static_cast<D3DTRANSFORMSTATETYPE>(type), m});
    }
    for (DWORD index : lights) {
        D3DLIGHT9 light;
        if (SUCCEEDED(m_device->GetLight(index, &light)))
            saved->lights.push_back({index, light});
    }
    // A light the device does not have yet is off: End turns it off again
    // (the light itself, once made, cannot be taken back).
    for (DWORD index : lightEnables) {
        BOOL enabled = FALSE;
        if (FAILED(m_device->GetLightEnable(index, &enabled)))
            enabled = FALSE;
        saved->lightEnables.push_back({index, enabled});
    }
    if (material && SUCCEEDED(m_device->GetMaterial(&saved->material)))
        saved->materialSaved = true;
    if (fvf && SUCCEEDED(m_device->GetFVF(&saved->fvf)))
        saved->fvfSaved = true;
    if (nPatch) {
        saved->nPatchSegments = m_device->GetNPatchMode();
        saved->nPatchSaved = true;
    }
}

void Effect::restoreState()
{
    if (!m_saved)
        return;
    // Straight to the device, as a state block would apply it.
    SavedState& s = *m_saved;
    for (const auto& r : s.renderStates)
        m_device->SetRenderState(r.first, r.second);
    for (const auto& t : s.stageStates)
        m_device->SetTextureStageState(t.stage, t.type, t.value);
    for (const auto& t : s.samplerStates)
        m_device->SetSamplerState(t.sampler, t.type, t.value);
    for (const auto& t : s.textures)
        m_device->SetTexture(t.first, t.second);
    if (s.vertexShaderSaved)
        m_device->SetVertexShader(s.vertexShader);
    if (s.pixelShaderSaved)
        m_device->SetPixelShader(s.pixelShader);
    if (!s.vertexFloats.empty())
        m_device->SetVertexShaderConstantF(0, s.vertexFloats.data(), static_cast<UINT>(s.vertexFloats.size() / 4));
    if (!s.pixelFloats.empty())
        m_device->SetPixelShaderConstantF(0, s.pixelFloats.data(), static_cast<UINT>(s.pixelFloats.size() / 4));
    if (!s.vertexInts.empty())
        m_device->SetVertexShaderConstantI(0, s.vertexInts.data(), 16);
    if (!s.pixelInts.empty())
        m_device->SetPixelShaderConstantI(0, s.pixelInts.data(), 16);
    if (!s.vertexBools.empty())
        m_device->SetVertexShaderConstantB(0, s.vertexBools.data(), 16);
    if (!s.pixelBools.empty())
        m_device->SetPixelShaderConstantB(0, s.pixelBools.data(), 16);
    for (const auto& t : s.transforms)
        m_device->SetTransform(t.first, &t.second);
    for (const auto& l : s.lights)
        m_device->SetLight(l.first, &l.second);
    for (const auto& l : s.lightEnables)
        m_device->LightEnable(l.first, l.second);
    if (s.materialSaved)
        m_device->SetMaterial(&s.material);
    if (s.fvfSaved)
        m_device->SetFVF(s.fvf);
    if (s.nPatchSaved)
        m_device->SetNPatchMode(s.nPatchSegments);
    dropSavedState();
}

void Effect::dropSavedState()
{
    if (!m_saved)
        return;
    for (auto& t : m_saved->textures)
        if (t.second)
            t.second->Release();
    if (m_saved->vertexShader)
        m_saved->vertexShader->Release();
    if (m_saved->pixelShader)
        m_saved->pixelShader->Release();
    m_saved.reset();
}

} // namespace effect
} // namespace swd3d9
