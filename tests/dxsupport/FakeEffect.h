#pragma once

// A recording ID3DXEffect for the tests of the code that drives effects
// (effect variables, parameter descriptions, image binding, the renderer's
// effect draws) without compiling an effect: parameters with descriptions,
// values and typed annotations are declared by the test, and the calls that
// change the effect or run it are written to a log. Header-only and free of
// Direct3D functions, so that tests of libraries that do not link the
// device can use it too.

#include <d3dx9effect.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace kxdxtest {

class FakeEffect final : public ID3DXEffect
{
public:
    // A parameter or an annotation: its description, its value (numbers as
    // floats, or text), and the annotations of a parameter.
    struct Node {
        std::string name;
        std::string semantic;
        D3DXPARAMETER_CLASS parameterClass = D3DXPC_SCALAR;
        D3DXPARAMETER_TYPE type = D3DXPT_FLOAT;
        UINT rows = 1;
        UINT columns = 1;
        std::vector<float> values;
        std::string text;
        IDirect3DBaseTexture9* texture = nullptr;
        std::vector<std::unique_ptr<Node>> annotations;

        Node& value(std::vector<float> v)
        {
            values = std::move(v);
            return *this;
        }
        Node& annotate(const char* annotationName, const char* annotationText)
        {
            Node& a = addAnnotation(annotationName, D3DXPT_STRING, D3DXPC_OBJECT);
            a.text = annotationText;
            return *this;
        }
        Node& annotate(const char* annotationName, float number)
        {
            addAnnotation(annotationName, D3DXPT_FLOAT, D3DXPC_SCALAR).values = {number};
            return *this;
        }
        Node& annotate(const char* annotationName, int number)
        {
            addAnnotation(annotationName, D3DXPT_INT, D3DXPC_SCALAR).values = {static_cast<float>(number)};
            return *this;
        }
        Node& annotate(const char* annotationName, bool flag)
        {
            addAnnotation(annotationName, D3DXPT_BOOL, D3DXPC_SCALAR).values = {flag ? 1.0f : 0.0f};
            return *this;
        }
        Node& addAnnotation(const char* annotationName, D3DXPARAMETER_TYPE annotationType,
                            D3DXPARAMETER_CLASS annotationClass)
        {
            annotations.push_back(std::make_unique<Node>());
            Node& a = *annotations.back();
            a.name = annotationName;
            a.type = annotationType;
            a.parameterClass = annotationClass;
            return a;
        }
    };

    // A new effect holding one reference, which the caller owns.
    static FakeEffect* create() { return new FakeEffect(); }

    Node& addParameter(const char* name, D3DXPARAMETER_TYPE type, D3DXPARAMETER_CLASS parameterClass = D3DXPC_SCALAR,
                       const char* semantic = "")
    {
        m_parameters.push_back(std::make_unique<Node>());
        Node& p = *m_parameters.back();
        p.name = name;
        p.semantic = semantic;
        p.type = type;
        p.parameterClass = parameterClass;
        if (parameterClass == D3DXPC_MATRIX_ROWS || parameterClass == D3DXPC_MATRIX_COLUMNS)
            p.rows = p.columns = 4;
        else if (parameterClass == D3DXPC_VECTOR)
            p.columns = 4;
        return p;
    }
    // A float4x4 with a semantic, as the renderer's matrix parameters are.
    Node& addMatrix(const char* name, const char* semantic)
    {
        return addParameter(name, D3DXPT_FLOAT, D3DXPC_MATRIX_COLUMNS, semantic);
    }
    Node* parameter(const char* name) const
    {
        for (const auto& p : m_parameters)
            if (p->name == name)
                return p.get();
        return nullptr;
    }
    static D3DXHANDLE handleOf(const Node* node) { return reinterpret_cast<D3DXHANDLE>(node); }

    // What the effect was asked to do, in order: "SetFloat(Ks)",
    // "SetMatrix(World)", "SetTexture(Tex)", "BeginPass(1)",
    // "OnLostDevice", ... Calls may go to a log the test shares with other
    // recorders.
    std::vector<std::string>& log() { return *m_log; }
    void shareLog(std::vector<std::string>* log) { m_log = log ? log : &m_ownLog; }

    // How the technique calls answer.
    UINT passes = 1;
    bool hasValidTechnique = true;
    bool failSetTechnique = false;
    bool failBegin = false;
    std::vector<UINT> failingPasses;
    // GetDesc fails, so the effect seems to have no parameters.
    bool failGetDesc = false;

    ULONG refCount() const { return m_refs; }

    // IUnknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    // Descriptions and handles.
    HRESULT STDMETHODCALLTYPE GetDesc(D3DXEFFECT_DESC* desc) override
    {
        if (!desc || failGetDesc)
            return D3DERR_INVALIDCALL;
        desc->Creator = nullptr;
        desc->Parameters = static_cast<UINT>(m_parameters.size());
        desc->Techniques = 1;
        desc->Functions = 0;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetParameterDesc(D3DXHANDLE handle, D3DXPARAMETER_DESC* desc) override
    {
        const Node* node = find(handle);
        if (!node || !desc)
            return D3DERR_INVALIDCALL;
        desc->Name = node->name.c_str();
        desc->Semantic = node->semantic.empty() ? nullptr : node->semantic.c_str();
        desc->Class = node->parameterClass;
        desc->Type = node->type;
        desc->Rows = node->rows;
        desc->Columns = node->columns;
        desc->Elements = 0;
        desc->Annotations = static_cast<UINT>(node->annotations.size());
        desc->StructMembers = 0;
        desc->Flags = 0;
        desc->Bytes = node->rows * node->columns * 4;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTechniqueDesc(D3DXHANDLE, D3DXTECHNIQUE_DESC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPassDesc(D3DXHANDLE, D3DXPASS_DESC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFunctionDesc(D3DXHANDLE, D3DXFUNCTION_DESC*) override { return E_NOTIMPL; }
    D3DXHANDLE STDMETHODCALLTYPE GetParameter(D3DXHANDLE parent, UINT index) override
    {
        if (parent || index >= m_parameters.size())
            return nullptr;
        return handleOf(m_parameters[index].get());
    }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterByName(D3DXHANDLE parent, LPCSTR name) override
    {
        const Node* node = parent || !name ? nullptr : parameter(name);
        return node ? handleOf(node) : nullptr;
    }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) override
    {
        if (parent || !semantic)
            return nullptr;
        for (const auto& p : m_parameters)
            if (equalIgnoringCase(p->semantic, semantic))
                return handleOf(p.get());
        return nullptr;
    }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterElement(D3DXHANDLE, UINT) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetTechnique(UINT index) override { return index == 0 ? technique() : nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(LPCSTR) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetPass(D3DXHANDLE, UINT) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetPassByName(D3DXHANDLE, LPCSTR) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetFunction(UINT) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetFunctionByName(LPCSTR) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotation(D3DXHANDLE object, UINT index) override
    {
        const Node* node = find(object);
        if (!node || index >= node->annotations.size())
            return nullptr;
        return handleOf(node->annotations[index].get());
    }
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotationByName(D3DXHANDLE object, LPCSTR name) override
    {
        const Node* node = find(object);
        if (!node || !name)
            return nullptr;
        for (const auto& a : node->annotations)
            if (a->name == name)
                return handleOf(a.get());
        return nullptr;
    }

    // Values.
    HRESULT STDMETHODCALLTYPE SetValue(D3DXHANDLE, LPCVOID, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValue(D3DXHANDLE, LPVOID, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBool(D3DXHANDLE handle, BOOL b) override
    {
        const float value = b ? 1.0f : 0.0f;
        return setNumbers("SetBool", handle, &value, 1);
    }
    HRESULT STDMETHODCALLTYPE GetBool(D3DXHANDLE handle, BOOL* b) override
    {
        return getNumber(handle, b, [](float v) -> BOOL { return v != 0.0f; });
    }
    HRESULT STDMETHODCALLTYPE SetBoolArray(D3DXHANDLE, CONST BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBoolArray(D3DXHANDLE, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInt(D3DXHANDLE handle, INT n) override
    {
        const float value = static_cast<float>(n);
        return setNumbers("SetInt", handle, &value, 1);
    }
    HRESULT STDMETHODCALLTYPE GetInt(D3DXHANDLE handle, INT* n) override
    {
        return getNumber(handle, n, [](float v) { return static_cast<INT>(v); });
    }
    HRESULT STDMETHODCALLTYPE SetIntArray(D3DXHANDLE, CONST INT*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIntArray(D3DXHANDLE, INT*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFloat(D3DXHANDLE handle, FLOAT f) override
    {
        return setNumbers("SetFloat", handle, &f, 1);
    }
    HRESULT STDMETHODCALLTYPE GetFloat(D3DXHANDLE handle, FLOAT* f) override
    {
        return getNumber(handle, f, [](float v) { return v; });
    }
    HRESULT STDMETHODCALLTYPE SetFloatArray(D3DXHANDLE handle, CONST FLOAT* f, UINT count) override
    {
        if (!f)
            return D3DERR_INVALIDCALL;
        return setNumbers("SetFloatArray", handle, f, count);
    }
    HRESULT STDMETHODCALLTYPE GetFloatArray(D3DXHANDLE handle, FLOAT* f, UINT count) override
    {
        const Node* node = numeric(handle);
        if (!node || !f)
            return D3DERR_INVALIDCALL;
        // Like D3DX, only the parameter's own components are written.
        for (UINT i = 0; i < count && i < node->values.size(); ++i)
            f[i] = node->values[i];
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVector(D3DXHANDLE handle, CONST D3DXVECTOR4* v) override
    {
        if (!v)
            return D3DERR_INVALIDCALL;
        const float values[4] = {v->x, v->y, v->z, v->w};
        return setNumbers("SetVector", handle, values, 4);
    }
    HRESULT STDMETHODCALLTYPE GetVector(D3DXHANDLE, D3DXVECTOR4*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVectorArray(D3DXHANDLE, CONST D3DXVECTOR4*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVectorArray(D3DXHANDLE, D3DXVECTOR4*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrix(D3DXHANDLE handle, CONST D3DXMATRIX* m) override
    {
        if (!m)
            return D3DERR_INVALIDCALL;
        return setNumbers("SetMatrix", handle, &m->_11, 16);
    }
    HRESULT STDMETHODCALLTYPE GetMatrix(D3DXHANDLE, D3DXMATRIX*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrixArray(D3DXHANDLE, CONST D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMatrixArray(D3DXHANDLE, D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrixPointerArray(D3DXHANDLE, CONST D3DXMATRIX**, UINT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMatrixPointerArray(D3DXHANDLE, D3DXMATRIX**, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrixTranspose(D3DXHANDLE, CONST D3DXMATRIX*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMatrixTranspose(D3DXHANDLE, D3DXMATRIX*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrixTransposeArray(D3DXHANDLE, CONST D3DXMATRIX*, UINT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMatrixTransposeArray(D3DXHANDLE, D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMatrixTransposePointerArray(D3DXHANDLE, CONST D3DXMATRIX**, UINT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMatrixTransposePointerArray(D3DXHANDLE, D3DXMATRIX**, UINT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetString(D3DXHANDLE handle, LPCSTR text) override
    {
        Node* node = find(handle);
        if (!node || !text || node->type != D3DXPT_STRING)
            return D3DERR_INVALIDCALL;
        try {
            node->text = text;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        record("SetString", node);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetString(D3DXHANDLE handle, LPCSTR* text) override
    {
        const Node* node = find(handle);
        if (!node || !text || node->type != D3DXPT_STRING)
            return D3DERR_INVALIDCALL;
        *text = node->text.c_str();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(D3DXHANDLE handle, IDirect3DBaseTexture9* texture) override
    {
        Node* node = find(handle);
        if (!node)
            return D3DERR_INVALIDCALL;
        // The effect holds its own reference, as D3DX does.
        if (texture)
            texture->AddRef();
        if (node->texture)
            node->texture->Release();
        node->texture = texture;
        record("SetTexture", node);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTexture(D3DXHANDLE handle, IDirect3DBaseTexture9** texture) override
    {
        const Node* node = find(handle);
        if (!node || !texture)
            return D3DERR_INVALIDCALL;
        *texture = node->texture;
        if (node->texture)
            node->texture->AddRef();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelShader(D3DXHANDLE, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShader(D3DXHANDLE, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetArrayRange(D3DXHANDLE, UINT, UINT) override { return E_NOTIMPL; }

    // Techniques and passes.
    HRESULT STDMETHODCALLTYPE GetPool(LPD3DXEFFECTPOOL* pool) override
    {
        if (pool)
            *pool = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetTechnique(D3DXHANDLE handle) override
    {
        noteCall("SetTechnique");
        return failSetTechnique || handle != technique() ? D3DERR_INVALIDCALL : D3D_OK;
    }
    D3DXHANDLE STDMETHODCALLTYPE GetCurrentTechnique() override { return technique(); }
    HRESULT STDMETHODCALLTYPE ValidateTechnique(D3DXHANDLE) override { return hasValidTechnique ? D3D_OK : E_FAIL; }
    HRESULT STDMETHODCALLTYPE FindNextValidTechnique(D3DXHANDLE after, D3DXHANDLE* found) override
    {
        noteCall("FindNextValidTechnique");
        if (!found)
            return D3DERR_INVALIDCALL;
        *found = !after && hasValidTechnique ? technique() : nullptr;
        return D3D_OK;
    }
    BOOL STDMETHODCALLTYPE IsParameterUsed(D3DXHANDLE, D3DXHANDLE) override { return TRUE; }
    HRESULT STDMETHODCALLTYPE Begin(UINT* passCount, DWORD flags) override
    {
        note([flags] { return "Begin(" + std::to_string(flags) + ")"; });
        if (failBegin || !passCount)
            return D3DERR_INVALIDCALL;
        *passCount = passes;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginPass(UINT pass) override
    {
        note([pass] { return "BeginPass(" + std::to_string(pass) + ")"; });
        for (UINT failing : failingPasses)
            if (failing == pass)
                return D3DERR_INVALIDCALL;
        return pass < passes ? D3D_OK : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE CommitChanges() override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE EndPass() override { return noteCall("EndPass"); }
    HRESULT STDMETHODCALLTYPE End() override { return noteCall("End"); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override
    {
        if (device)
            *device = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnLostDevice() override { return noteCall("OnLostDevice"); }
    HRESULT STDMETHODCALLTYPE OnResetDevice() override { return noteCall("OnResetDevice"); }
    HRESULT STDMETHODCALLTYPE SetStateManager(LPD3DXEFFECTSTATEMANAGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStateManager(LPD3DXEFFECTSTATEMANAGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginParameterBlock() override { return E_NOTIMPL; }
    D3DXHANDLE STDMETHODCALLTYPE EndParameterBlock() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE ApplyParameterBlock(D3DXHANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteParameterBlock(D3DXHANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CloneEffect(IDirect3DDevice9*, ID3DXEffect** effect) override
    {
        if (effect)
            *effect = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetRawValue(D3DXHANDLE, LPCVOID, UINT, UINT) override { return E_NOTIMPL; }

private:
    FakeEffect() = default;
    ~FakeEffect()
    {
        for (const auto& p : m_parameters)
            if (p->texture)
                p->texture->Release();
    }

    D3DXHANDLE technique() const { return reinterpret_cast<D3DXHANDLE>(&m_technique); }

    // Only handles this effect gave out are accepted.
    Node* find(D3DXHANDLE handle) const
    {
        for (const auto& p : m_parameters) {
            if (handleOf(p.get()) == handle)
                return p.get();
            for (const auto& a : p->annotations)
                if (handleOf(a.get()) == handle)
                    return a.get();
        }
        return nullptr;
    }
    // A node with a number to read.
    Node* numeric(D3DXHANDLE handle) const
    {
        Node* node = find(handle);
        return node && node->type != D3DXPT_STRING && !node->values.empty() ? node : nullptr;
    }
    // The first number of a numeric parameter, converted to the caller's type.
    template <class T, class Convert>
    HRESULT getNumber(D3DXHANDLE handle, T* out, Convert convert) const
    {
        const Node* node = numeric(handle);
        if (!node || !out)
            return D3DERR_INVALIDCALL;
        *out = convert(node->values[0]);
        return D3D_OK;
    }
    HRESULT setNumbers(const char* call, D3DXHANDLE handle, const float* values, size_t count)
    {
        Node* node = find(handle);
        if (!node || node->type == D3DXPT_STRING)
            return D3DERR_INVALIDCALL;
        try {
            node->values.assign(values, values + count);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        record(call, node);
        return D3D_OK;
    }
    void record(const char* call, const Node* node)
    {
        note([&] { return std::string(call) + "(" + node->name + ")"; });
    }
    // Writes to the log; out of memory (as the tests of memory failures
    // make it) the entry is lost, and nothing is thrown at the caller, as
    // an effect never throws.
    template <class Entry>
    void note(Entry entry)
    {
        try {
            m_log->push_back(entry());
        } catch (const std::bad_alloc&) {
        }
    }
    // A call that only goes to the log, and succeeds.
    HRESULT noteCall(const char* call)
    {
        note([call] { return std::string(call); });
        return D3D_OK;
    }
    static bool equalIgnoringCase(const std::string& a, const char* b)
    {
        if (a.size() != std::strlen(b))
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }

    ULONG m_refs = 1;
    std::vector<std::unique_ptr<Node>> m_parameters;
    std::vector<std::string> m_ownLog;
    std::vector<std::string>* m_log = &m_ownLog;
    char m_technique = 0;
};

// Holds the test's own reference to a fake effect.
struct FakeEffectRelease {
    void operator()(FakeEffect* effect) const
    {
        if (effect)
            effect->Release();
    }
};
using FakeEffectPtr = std::unique_ptr<FakeEffect, FakeEffectRelease>;

inline FakeEffectPtr makeFakeEffect()
{
    return FakeEffectPtr(FakeEffect::create());
}

} // namespace kxdxtest
