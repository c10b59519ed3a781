#include "effect/Effect.h"

#include "d3d9/ProgramShaders.h"

#include <cstring>
#include <new>
#include <strings.h>

namespace swd3d9 {
namespace effect {

namespace {

// A name given where a handle is expected is read up to this length.
constexpr size_t MAX_NAME_LENGTH = 4096;

std::string nameOf(D3DXHANDLE handle) { return std::string(handle, strnlen(handle, MAX_NAME_LENGTH)); }

template <class T>
void releaseAndClear(T*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

} // namespace

Effect::Effect(IDirect3DDevice9* device, std::shared_ptr<const EffectDescription> description, DWORD flags)
    : Lifetime(1), m_device(device), m_description(std::move(description)), m_flags(flags)
{
    m_device->AddRef();
}

Effect::~Effect()
{
    dropSavedState();
    releaseObjects();
    for (auto& block : m_blocks)
        releaseBlock(*block);
    if (m_recording)
        releaseBlock(*m_recording);
    for (IUnknown*& shader : m_shaderObjects)
        releaseAndClear(shader);
    releaseAndClear(m_manager);
    m_device->Release();
}

HRESULT Effect::create(IDirect3DDevice9* device, std::shared_ptr<const EffectDescription> description,
                       std::vector<std::shared_ptr<const shader::Program>> programs, DWORD flags,
                       const std::vector<std::string>& skipConstants, Effect** effect)
{
    *effect = nullptr;
    Effect* created = new (std::nothrow) Effect(device, std::move(description), flags);
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT result;
    try {
        result = created->initialise(std::move(programs), skipConstants);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    }
    if (FAILED(result)) {
        created->Release();
        return result;
    }
    *effect = created;
    return D3D_OK;
}

HRESULT Effect::initialise(std::vector<std::shared_ptr<const shader::Program>> programs,
                           const std::vector<std::string>& skipConstants)
{
    const EffectDescription& d = *m_description;
    m_words = d.words;
    m_objects.resize(d.objects.size());
    for (size_t i = 0; i < d.objects.size(); ++i) {
        m_objects[i].text = d.objects[i].text;
        m_objects[i].program = d.objects[i].program;
    }

    // Names: every parameter, member and element, and the annotations of
    // parameters ("Light@UIName").
    for (size_t i = 0; i < d.parameters.size(); ++i) {
        const ParameterNode& node = d.parameters[i];
        m_handles[node.path.c_str()] = {HandleKind::Parameter, static_cast<int>(i), -1};
        if (!(node.flags & D3DX_PARAMETER_ANNOTATION))
            m_paths[node.path] = static_cast<int>(i);
    }
    for (int top : d.topLevelParameters)
        for (int a : d.parameters[top].annotations)
            m_paths[d.parameters[a].path] = a;
    for (size_t t = 0; t < d.techniques.size(); ++t) {
        const TechniqueDescription& technique = d.techniques[t];
        m_handles[technique.path.c_str()] = {HandleKind::Technique, static_cast<int>(t), -1};
        for (size_t p = 0; p < technique.passes.size(); ++p)
            m_handles[technique.passes[p].path.c_str()] = {HandleKind::Pass, static_cast<int>(p), static_cast<int>(t)};
    }

    m_skipConstant.assign(d.parameters.size(), false);
    for (const std::string& name : skipConstants) {
        auto p = m_paths.find(name);
        if (p == m_paths.end())
            continue;
        for (size_t i = 0; i < d.parameters.size(); ++i)
            if (d.parameters[i].topLevel == d.parameters[p->second].topLevel)
                m_skipConstant[i] = true;
    }

    // Programs and their device shaders.
    m_compiled = std::move(programs);
    m_compiled.resize(d.programs.size());
    m_programs.resize(d.programs.size());
    m_shaderObjects.assign(d.programs.size(), nullptr);
    m_uploaded.resize(d.programs.size());
    for (size_t i = 0; i < d.programs.size(); ++i) {
        bindProgram(d, i, m_compiled[i], m_paths, m_programs[i]);
        if (!m_compiled[i])
            continue;
        if (d.programs[i].stage == shader::ShaderStage::Vertex) {
            IDirect3DVertexShader9* shader = nullptr;
            if (SUCCEEDED(createVertexShader(m_device, m_compiled[i], m_programs[i].samplerRegisters, &shader)))
                m_shaderObjects[i] = shader;
        } else {
            IDirect3DPixelShader9* shader = nullptr;
            if (SUCCEEDED(createPixelShader(m_device, m_compiled[i], m_programs[i].samplerRegisters, &shader)))
                m_shaderObjects[i] = shader;
        }
    }
    computeTechniqueValidity();
    m_technique = d.techniques.empty() ? -1 : 0;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::QueryInterface(REFIID riid, void** ppvObject)
{
    // D3DX answers for ID3DXEffect and IUnknown only, not ID3DXBaseEffect.
    return answerQuery<ID3DXEffect>(this, riid, ppvObject, {&IID_IUnknown, &IID_ID3DXEffect});
}

// Handles.

D3DXHANDLE Effect::parameterHandle(int node) const
{
    return node < 0 ? nullptr : m_description->parameters[node].path.c_str();
}

D3DXHANDLE Effect::techniqueHandle(int technique) const
{
    return technique < 0 ? nullptr : m_description->techniques[technique].path.c_str();
}

D3DXHANDLE Effect::passHandle(int technique, int pass) const
{
    return m_description->techniques[technique].passes[pass].path.c_str();
}

int Effect::findParameterByPath(const std::string& path) const
{
    auto p = m_paths.find(path);
    return p == m_paths.end() ? -1 : p->second;
}

int Effect::findParameter(D3DXHANDLE handle) const
{
    if (!handle)
        return -1;
    auto h = m_handles.find(handle);
    if (h != m_handles.end() && h->second.kind == HandleKind::Parameter)
        return h->second.index;
    // Large-address-aware effects take handles only, never names.
    if (m_flags & D3DXFX_LARGEADDRESSAWARE)
        return -1;
    try {
        return findParameterByPath(nameOf(handle));
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int Effect::findTechnique(D3DXHANDLE handle) const
{
    if (!handle)
        return -1;
    auto h = m_handles.find(handle);
    if (h != m_handles.end() && h->second.kind == HandleKind::Technique)
        return h->second.index;
    if (m_flags & D3DXFX_LARGEADDRESSAWARE)
        return -1;
    const size_t length = strnlen(handle, MAX_NAME_LENGTH);
    const auto& techniques = m_description->techniques;
    for (size_t t = 0; t < techniques.size(); ++t)
        if (techniques[t].hasName && techniques[t].name.compare(0, std::string::npos, handle, length) == 0)
            return static_cast<int>(t);
    return -1;
}

bool Effect::findPass(D3DXHANDLE handle, int& technique, int& pass) const
{
    if (!handle)
        return false;
    auto h = m_handles.find(handle);
    if (h == m_handles.end() || h->second.kind != HandleKind::Pass)
        return false;
    technique = h->second.technique;
    pass = h->second.index;
    return true;
}

const std::vector<int>* Effect::annotationsOf(D3DXHANDLE object) const
{
    int technique, pass;
    if (findPass(object, technique, pass))
        return &m_description->techniques[technique].passes[pass].annotations;
    int t = findTechnique(object);
    if (t >= 0)
        return &m_description->techniques[t].annotations;
    int node = findParameter(object);
    if (node >= 0)
        return &m_description->parameters[node].annotations;
    return nullptr;
}

bool Effect::isNumeric(const ParameterNode& node) const
{
    return node.parameterClass == D3DXPC_SCALAR || node.parameterClass == D3DXPC_VECTOR ||
           node.parameterClass == D3DXPC_MATRIX_ROWS || node.parameterClass == D3DXPC_MATRIX_COLUMNS;
}

UINT Effect::structMemberCount(const ParameterNode& node) const
{
    if (node.parameterClass != D3DXPC_STRUCT)
        return 0;
    if (node.elements > 0)
        return node.children.empty()
                   ? 0
                   : static_cast<UINT>(m_description->parameters[node.children[0]].children.size());
    return static_cast<UINT>(node.children.size());
}

// Descriptions.

HRESULT STDMETHODCALLTYPE Effect::GetDesc(D3DXEFFECT_DESC* pDesc)
{
    if (!pDesc)
        return D3DERR_INVALIDCALL;
    pDesc->Creator = nullptr;
    pDesc->Parameters = static_cast<UINT>(m_description->topLevelParameters.size());
    pDesc->Techniques = static_cast<UINT>(m_description->techniques.size());
    pDesc->Functions = 0;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc)
{
    int index = findParameter(hParameter);
    if (!pDesc || index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    pDesc->Name = node.name.c_str();
    pDesc->Semantic = node.hasSemantic ? node.semantic.c_str() : nullptr;
    pDesc->Class = node.parameterClass;
    pDesc->Type = node.type;
    pDesc->Rows = node.rows;
    pDesc->Columns = node.columns;
    pDesc->Elements = node.elements;
    pDesc->Annotations = static_cast<UINT>(node.annotations.size());
    pDesc->StructMembers = structMemberCount(node);
    pDesc->Flags = node.flags;
    pDesc->Bytes = node.bytes;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc)
{
    // No handle: the first technique.
    int t = hTechnique ? findTechnique(hTechnique) : (m_description->techniques.empty() ? -1 : 0);
    if (!pDesc || t < 0)
        return D3DERR_INVALIDCALL;
    const TechniqueDescription& technique = m_description->techniques[t];
    pDesc->Name = technique.hasName ? technique.name.c_str() : nullptr;
    pDesc->Passes = static_cast<UINT>(technique.passes.size());
    pDesc->Annotations = static_cast<UINT>(technique.annotations.size());
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetPassDesc(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc)
{
    int technique, pass;
    if (!pDesc || !findPass(hPass, technique, pass))
        return D3DERR_INVALIDCALL;
    const PassDescription& p = m_description->techniques[technique].passes[pass];
    pDesc->Name = p.hasName ? p.name.c_str() : nullptr;
    pDesc->Annotations = static_cast<UINT>(p.annotations.size());
    // Compiled programs have no Direct3D shader bytecode to show.
    pDesc->pVertexShaderFunction = nullptr;
    pDesc->pPixelShaderFunction = nullptr;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetFunctionDesc(D3DXHANDLE hShader, D3DXFUNCTION_DESC* pDesc)
{
    // Effects list no functions (D3DXEFFECT_DESC::Functions is 0).
    (void)hShader;
    (void)pDesc;
    return D3DERR_INVALIDCALL;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetParameter(D3DXHANDLE hParameter, UINT Index)
{
    const EffectDescription& d = *m_description;
    if (!hParameter)
        return Index < d.topLevelParameters.size() ? parameterHandle(d.topLevelParameters[Index]) : nullptr;
    int parent = findParameter(hParameter);
    if (parent < 0 || Index >= d.parameters[parent].children.size())
        return nullptr;
    return parameterHandle(d.parameters[parent].children[Index]);
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName)
{
    int parent = hParameter ? findParameter(hParameter) : -1;
    if (!pName)
        return parameterHandle(parent);
    try {
        std::string name = nameOf(pName);
        if (!hParameter)
            return parameterHandle(findParameterByPath(name));
        if (parent < 0 || name.empty())
            return nullptr;
        const std::string& prefix = m_description->parameters[parent].path;
        return parameterHandle(findParameterByPath(prefix + (name[0] == '[' ? "" : ".") + name));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic)
{
    const EffectDescription& d = *m_description;
    const std::vector<int>* candidates = &d.topLevelParameters;
    if (hParameter) {
        int parent = findParameter(hParameter);
        if (parent < 0)
            return nullptr;
        candidates = &d.parameters[parent].children;
    }
    for (int i : *candidates) {
        const ParameterNode& node = d.parameters[i];
        if (!node.hasSemantic) {
            if (!pSemantic)
                return parameterHandle(i);
            continue;
        }
        if (pSemantic && strcasecmp(node.semantic.c_str(), pSemantic) == 0)
            return parameterHandle(i);
    }
    return nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetParameterElement(D3DXHANDLE hParameter, UINT Index)
{
    const EffectDescription& d = *m_description;
    if (!hParameter)
        return Index < d.topLevelParameters.size() ? parameterHandle(d.topLevelParameters[Index]) : nullptr;
    int parent = findParameter(hParameter);
    if (parent < 0 || Index >= d.parameters[parent].elements)
        return nullptr;
    return parameterHandle(d.parameters[parent].children[Index]);
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetTechnique(UINT Index)
{
    return Index < m_description->techniques.size() ? techniqueHandle(static_cast<int>(Index)) : nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetTechniqueByName(LPCSTR pName)
{
    if (!pName)
        return nullptr;
    const size_t length = strnlen(pName, MAX_NAME_LENGTH);
    const auto& techniques = m_description->techniques;
    for (size_t t = 0; t < techniques.size(); ++t)
        if (techniques[t].hasName && techniques[t].name.compare(0, std::string::npos, pName, length) == 0)
            return techniqueHandle(static_cast<int>(t));
    return nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetPass(D3DXHANDLE hTechnique, UINT Index)
{
    int t = findTechnique(hTechnique);
    if (t < 0 || Index >= m_description->techniques[t].passes.size())
        return nullptr;
    return passHandle(t, static_cast<int>(Index));
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetPassByName(D3DXHANDLE hTechnique, LPCSTR pName)
{
    int t = findTechnique(hTechnique);
    if (t < 0 || !pName)
        return nullptr;
    const size_t length = strnlen(pName, MAX_NAME_LENGTH);
    const auto& passes = m_description->techniques[t].passes;
    for (size_t p = 0; p < passes.size(); ++p)
        if (passes[p].hasName && passes[p].name.compare(0, std::string::npos, pName, length) == 0)
            return passHandle(t, static_cast<int>(p));
    return nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetFunction(UINT Index)
{
    (void)Index;
    return nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetFunctionByName(LPCSTR pName)
{
    (void)pName;
    return nullptr;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetAnnotation(D3DXHANDLE hObject, UINT Index)
{
    const std::vector<int>* annotations = annotationsOf(hObject);
    if (!annotations || Index >= annotations->size())
        return nullptr;
    return parameterHandle((*annotations)[Index]);
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetAnnotationByName(D3DXHANDLE hObject, LPCSTR pName)
{
    if (!pName)
        return nullptr;
    const std::vector<int>* annotations = annotationsOf(hObject);
    if (!annotations)
        return nullptr;
    const size_t length = strnlen(pName, MAX_NAME_LENGTH);
    for (int a : *annotations)
        if (m_description->parameters[a].name.compare(0, std::string::npos, pName, length) == 0)
            return parameterHandle(a);
    return nullptr;
}

// Techniques.

void Effect::programsOfState(const StateAssignment& a, std::vector<int>& programs) const
{
    if (a.state < 0)
        return;
    StateGroup group = stateInfo(a.state).group;
    if (group != StateGroup::VertexShader && group != StateGroup::PixelShader)
        return;
    if (a.kind == StateAssignment::Kind::Program) {
        programs.push_back(a.program);
    } else if (a.kind == StateAssignment::Kind::Object && a.parameter >= 0) {
        const ParameterNode& node = m_description->parameters[a.parameter];
        for (uint32_t s = node.firstObject; s < node.firstObject + node.objectCount; ++s)
            if (m_objects[s].program >= 0)
                programs.push_back(m_objects[s].program);
    }
}

void Effect::computeTechniqueValidity()
{
    const auto& techniques = m_description->techniques;
    m_techniqueValid.assign(techniques.size(), true);
    for (size_t t = 0; t < techniques.size(); ++t) {
        for (const PassDescription& pass : techniques[t].passes) {
            for (const StateAssignment& a : pass.states) {
                if (a.state < 0 || !a.known)
                    m_techniqueValid[t] = false;
                std::vector<int> programs;
                programsOfState(a, programs);
                for (int p : programs)
                    if (p < 0 || !m_shaderObjects[p])
                        m_techniqueValid[t] = false;
            }
        }
    }
}

HRESULT STDMETHODCALLTYPE Effect::SetTechnique(D3DXHANDLE hTechnique)
{
    int t = findTechnique(hTechnique);
    if (t < 0)
        return D3DERR_INVALIDCALL;
    m_technique = t;
    return D3D_OK;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::GetCurrentTechnique() { return techniqueHandle(m_technique); }

HRESULT STDMETHODCALLTYPE Effect::ValidateTechnique(D3DXHANDLE hTechnique)
{
    int t = findTechnique(hTechnique);
    if (t < 0)
        return D3DERR_INVALIDCALL;
    return m_techniqueValid[t] ? D3D_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE Effect::FindNextValidTechnique(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique)
{
    if (!pTechnique)
        return D3DERR_INVALIDCALL;
    size_t start = 0;
    if (hTechnique) {
        int t = findTechnique(hTechnique);
        if (t < 0)
            return D3DERR_INVALIDCALL;
        start = static_cast<size_t>(t) + 1;
    }
    for (size_t t = start; t < m_techniqueValid.size(); ++t) {
        if (m_techniqueValid[t]) {
            *pTechnique = techniqueHandle(static_cast<int>(t));
            return D3D_OK;
        }
    }
    *pTechnique = nullptr;
    return S_FALSE;
}

BOOL STDMETHODCALLTYPE Effect::IsParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique)
{
    try {
        return isParameterUsed(hParameter, hTechnique);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL Effect::isParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) const
{
    int index = findParameter(hParameter);
    int t = findTechnique(hTechnique);
    if (index < 0 || t < 0)
        return FALSE;
    const EffectDescription& d = *m_description;
    const int top = d.parameters[index].topLevel;
    if (d.parameters[top].flags & D3DX_PARAMETER_ANNOTATION)
        return FALSE;
    const std::string& name = d.parameters[top].name;
    auto samplerUses = [&](int samplerNode) {
        const ParameterNode& node = d.parameters[samplerNode];
        if (node.topLevel == top)
            return true;
        for (uint32_t s = node.firstObject; s < node.firstObject + node.objectCount; ++s) {
            int sampler = d.objects[s].sampler;
            if (sampler < 0)
                continue;
            for (const StateAssignment& a : d.samplers[sampler].states) {
                if (a.kind == StateAssignment::Kind::Object && a.parameter >= 0 &&
                    d.parameters[a.parameter].topLevel == top)
                    return true;
                if (a.kind == StateAssignment::Kind::Value && !a.constant)
                    for (const Token& token : a.expression)
                        if (token.kind == TokenKind::Identifier && token.text == name)
                            return true;
            }
        }
        return false;
    };
    for (const PassDescription& pass : d.techniques[t].passes) {
        for (const StateAssignment& a : pass.states) {
            if (a.kind == StateAssignment::Kind::Object) {
                if ((a.parameter >= 0 && d.parameters[a.parameter].topLevel == top) ||
                    (a.selector >= 0 && d.parameters[a.selector].topLevel == top))
                    return TRUE;
                if (a.parameter >= 0 && d.parameters[a.parameter].parameterClass == D3DXPC_OBJECT &&
                    d.parameters[a.parameter].type >= D3DXPT_SAMPLER &&
                    d.parameters[a.parameter].type <= D3DXPT_SAMPLERCUBE && samplerUses(a.parameter))
                    return TRUE;
            }
            if (a.kind == StateAssignment::Kind::Value && !a.constant)
                for (const Token& token : a.expression)
                    if (token.kind == TokenKind::Identifier && token.text == name)
                        return TRUE;
            std::vector<int> programs;
            programsOfState(a, programs);
            for (int p : programs) {
                for (const std::string& used : m_programs[p].names) {
                    if (used == name)
                        return TRUE;
                    int node = findParameterByPath(used);
                    if (node >= 0 && d.parameters[node].parameterClass == D3DXPC_OBJECT &&
                        d.parameters[node].type >= D3DXPT_SAMPLER && d.parameters[node].type <= D3DXPT_SAMPLERCUBE &&
                        samplerUses(node))
                        return TRUE;
                }
            }
        }
    }
    return FALSE;
}

// The device and the state manager.

HRESULT STDMETHODCALLTYPE Effect::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::OnLostDevice()
{
    // Textures of the default pool must go before the device can be reset;
    // the effect lets go of those it holds, as D3DX does.
    for (ObjectSlot& slot : m_objects) {
        IDirect3DBaseTexture9* texture = slot.texture;
        if (!texture)
            continue;
        D3DPOOL pool = D3DPOOL_MANAGED;
        switch (texture->GetType()) {
        case D3DRTYPE_TEXTURE: {
            D3DSURFACE_DESC desc;
            if (SUCCEEDED(static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc)))
                pool = desc.Pool;
            break;
        }
        case D3DRTYPE_CUBETEXTURE: {
            D3DSURFACE_DESC desc;
            if (SUCCEEDED(static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc)))
                pool = desc.Pool;
            break;
        }
        case D3DRTYPE_VOLUMETEXTURE: {
            D3DVOLUME_DESC desc;
            if (SUCCEEDED(static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &desc)))
                pool = desc.Pool;
            break;
        }
        default:
            break;
        }
        if (pool == D3DPOOL_DEFAULT)
            releaseAndClear(slot.texture);
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::OnResetDevice()
{
    // Nothing the effect holds depends on the reset device.
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetStateManager(LPD3DXEFFECTSTATEMANAGER pManager)
{
    if (pManager)
        pManager->AddRef();
    releaseAndClear(m_manager);
    m_manager = pManager;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetStateManager(LPD3DXEFFECTSTATEMANAGER* ppManager)
{
    if (!ppManager)
        return D3DERR_INVALIDCALL;
    if (m_manager)
        m_manager->AddRef();
    *ppManager = m_manager;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetPool(LPD3DXEFFECTPOOL* ppPool)
{
    // Effect pools are not supported (D3DXCreateEffectPool): no effect has one.
    if (!ppPool)
        return D3DERR_INVALIDCALL;
    *ppPool = nullptr;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::CloneEffect(IDirect3DDevice9* pDevice, ID3DXEffect** ppEffect)
{
    if (!ppEffect)
        return D3DERR_INVALIDCALL;
    *ppEffect = nullptr;
    if (m_flags & D3DXFX_NOT_CLONEABLE)
        return E_FAIL;
    if (!pDevice)
        return D3DERR_INVALIDCALL;
    try {
        std::vector<std::string> skipped;
        const EffectDescription& d = *m_description;
        for (int top : d.topLevelParameters)
            if (m_skipConstant[top])
                skipped.push_back(d.parameters[top].name);
        Effect* clone = nullptr;
        HRESULT result = create(pDevice, m_description, m_compiled, m_flags, skipped, &clone);
        if (FAILED(result))
            return result;
        // The clone starts with this effect's values; textures carry over
        // only to the same device.
        try {
            clone->m_words = m_words;
            for (size_t i = 0; i < m_objects.size(); ++i) {
                clone->m_objects[i].text = m_objects[i].text;
                clone->m_objects[i].program = m_objects[i].program;
                if (pDevice == m_device && m_objects[i].texture) {
                    m_objects[i].texture->AddRef();
                    clone->m_objects[i].texture = m_objects[i].texture;
                }
            }
        } catch (const std::bad_alloc&) {
            clone->Release();
            return E_OUTOFMEMORY;
        }
        clone->m_technique = m_technique;
        *ppEffect = clone;
        return D3D_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace effect
} // namespace swd3d9
