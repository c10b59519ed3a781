#pragma once

// ID3DXEffect: a parsed and compiled effect bound to a device.
//
// The effect answers the description queries from its EffectDescription,
// holds the current values of its parameters, and applies a pass to the
// device (or to the application's state manager): the pass's states in the
// order written, its shaders with the sampler states, textures and
// uniform values they read.
//
// Handles are pointers to text the effect owns (a parameter's path, a
// technique's name), so a handle of another effect reads as a name and a
// name works wherever D3DX takes one. The object is implemented in three
// files: Effect.cpp (handles, descriptions, techniques, lifetime),
// EffectValues.cpp (parameter values and parameter blocks) and
// EffectPasses.cpp (Begin/BeginPass/End and the saved device state).

#include "d3d9/Objects.h"
#include "effect/EffectDescription.h"
#include "effect/EffectPrograms.h"
#include "effect/EffectStates.h"

#include <d3dx9effect.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace swd3d9 {
namespace effect {

class Effect final : public ID3DXEffect, public Lifetime
{
public:
    // The effect of a parsed and compiled description on a device; the
    // programs are the compiler's results, one per program of the
    // description (null where compiling failed). skipConstants: parameters
    // whose shader constants the application sets itself.
    static HRESULT create(IDirect3DDevice9* device, std::shared_ptr<const EffectDescription> description,
                          std::vector<std::shared_ptr<const shader::Program>> programs, DWORD flags,
                          const std::vector<std::string>& skipConstants, Effect** effect);

    // True when the technique (index) can be used: its shaders compiled
    // and its states are all known.
    bool isTechniqueValid(size_t technique) const { return m_techniqueValid[technique]; }
    size_t techniqueCount() const { return m_description->techniques.size(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }

    // ID3DXBaseEffect
    HRESULT STDMETHODCALLTYPE GetDesc(D3DXEFFECT_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetPassDesc(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetFunctionDesc(D3DXHANDLE hShader, D3DXFUNCTION_DESC* pDesc) override;
    D3DXHANDLE STDMETHODCALLTYPE GetParameter(D3DXHANDLE hParameter, UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) override;
    D3DXHANDLE STDMETHODCALLTYPE GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic) override;
    D3DXHANDLE STDMETHODCALLTYPE GetParameterElement(D3DXHANDLE hParameter, UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetTechnique(UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(LPCSTR pName) override;
    D3DXHANDLE STDMETHODCALLTYPE GetPass(D3DXHANDLE hTechnique, UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetPassByName(D3DXHANDLE hTechnique, LPCSTR pName) override;
    D3DXHANDLE STDMETHODCALLTYPE GetFunction(UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetFunctionByName(LPCSTR pName) override;
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotation(D3DXHANDLE hObject, UINT Index) override;
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotationByName(D3DXHANDLE hObject, LPCSTR pName) override;
    HRESULT STDMETHODCALLTYPE SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) override;
    HRESULT STDMETHODCALLTYPE GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) override;
    HRESULT STDMETHODCALLTYPE SetBool(D3DXHANDLE hParameter, BOOL b) override;
    HRESULT STDMETHODCALLTYPE GetBool(D3DXHANDLE hParameter, BOOL* pb) override;
    HRESULT STDMETHODCALLTYPE SetBoolArray(D3DXHANDLE hParameter, CONST BOOL* pb, UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetBoolArray(D3DXHANDLE hParameter, BOOL* pb, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetInt(D3DXHANDLE hParameter, INT n) override;
    HRESULT STDMETHODCALLTYPE GetInt(D3DXHANDLE hParameter, INT* pn) override;
    HRESULT STDMETHODCALLTYPE SetIntArray(D3DXHANDLE hParameter, CONST INT* pn, UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetIntArray(D3DXHANDLE hParameter, INT* pn, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetFloat(D3DXHANDLE hParameter, FLOAT f) override;
    HRESULT STDMETHODCALLTYPE GetFloat(D3DXHANDLE hParameter, FLOAT* pf) override;
    HRESULT STDMETHODCALLTYPE SetFloatArray(D3DXHANDLE hParameter, CONST FLOAT* pf, UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetVector(D3DXHANDLE hParameter, CONST D3DXVECTOR4* pVector) override;
    HRESULT STDMETHODCALLTYPE GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) override;
    HRESULT STDMETHODCALLTYPE SetVectorArray(D3DXHANDLE hParameter, CONST D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetMatrix(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE SetMatrixArray(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetMatrixPointerArray(D3DXHANDLE hParameter, CONST D3DXMATRIX** ppMatrix,
                                                    UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetMatrixPointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetMatrixTranspose(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetMatrixTranspose(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE SetMatrixTransposeArray(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix,
                                                      UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetMatrixTransposeArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix,
                                                      UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetMatrixTransposePointerArray(D3DXHANDLE hParameter, CONST D3DXMATRIX** ppMatrix,
                                                             UINT Count) override;
    HRESULT STDMETHODCALLTYPE GetMatrixTransposePointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix,
                                                             UINT Count) override;
    HRESULT STDMETHODCALLTYPE SetString(D3DXHANDLE hParameter, LPCSTR pString) override;
    HRESULT STDMETHODCALLTYPE GetString(D3DXHANDLE hParameter, LPCSTR* ppString) override;
    HRESULT STDMETHODCALLTYPE SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT STDMETHODCALLTYPE GetPixelShader(D3DXHANDLE hParameter, IDirect3DPixelShader9** ppPShader) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(D3DXHANDLE hParameter, IDirect3DVertexShader9** ppVShader) override;
    HRESULT STDMETHODCALLTYPE SetArrayRange(D3DXHANDLE hParameter, UINT uStart, UINT uEnd) override;

    // ID3DXEffect
    HRESULT STDMETHODCALLTYPE GetPool(LPD3DXEFFECTPOOL* ppPool) override;
    HRESULT STDMETHODCALLTYPE SetTechnique(D3DXHANDLE hTechnique) override;
    D3DXHANDLE STDMETHODCALLTYPE GetCurrentTechnique() override;
    HRESULT STDMETHODCALLTYPE ValidateTechnique(D3DXHANDLE hTechnique) override;
    HRESULT STDMETHODCALLTYPE FindNextValidTechnique(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique) override;
    BOOL STDMETHODCALLTYPE IsParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) override;
    HRESULT STDMETHODCALLTYPE Begin(UINT* pPasses, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE BeginPass(UINT Pass) override;
    HRESULT STDMETHODCALLTYPE CommitChanges() override;
    HRESULT STDMETHODCALLTYPE EndPass() override;
    HRESULT STDMETHODCALLTYPE End() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE OnLostDevice() override;
    HRESULT STDMETHODCALLTYPE OnResetDevice() override;
    HRESULT STDMETHODCALLTYPE SetStateManager(LPD3DXEFFECTSTATEMANAGER pManager) override;
    HRESULT STDMETHODCALLTYPE GetStateManager(LPD3DXEFFECTSTATEMANAGER* ppManager) override;
    HRESULT STDMETHODCALLTYPE BeginParameterBlock() override;
    D3DXHANDLE STDMETHODCALLTYPE EndParameterBlock() override;
    HRESULT STDMETHODCALLTYPE ApplyParameterBlock(D3DXHANDLE hParameterBlock) override;
    HRESULT STDMETHODCALLTYPE DeleteParameterBlock(D3DXHANDLE hParameterBlock) override;
    HRESULT STDMETHODCALLTYPE CloneEffect(IDirect3DDevice9* pDevice, ID3DXEffect** ppEffect) override;
    HRESULT STDMETHODCALLTYPE SetRawValue(D3DXHANDLE hParameter, LPCVOID pData, UINT ByteOffset,
                                          UINT Bytes) override;

private:
    enum class HandleKind : uint8_t { Parameter, Technique, Pass, Block };
    struct HandleTarget {
        HandleKind kind;
        int index;     // node, technique, pass within the technique, or block
        int technique; // passes
    };

    // The current value of an object slot.
    struct ObjectSlot {
        std::string text;                        // strings
        IDirect3DBaseTexture9* texture = nullptr; // textures (a reference held)
        int program = -1;                        // shaders

        // Holds `held` in place of the texture held before.
        void holdTexture(IDirect3DBaseTexture9* held)
        {
            if (held == texture)
                return;
            if (held)
                held->AddRef();
            if (texture)
                texture->Release();
            texture = held;
        }
    };

    // A parameter block: values recorded between BeginParameterBlock and
    // EndParameterBlock, written back by ApplyParameterBlock.
    struct RecordedValue {
        int node;
        std::vector<uint32_t> words;
        std::vector<ObjectSlot> objects; // textures hold references
    };
    struct ParameterBlock {
        std::string handleText;
        std::vector<RecordedValue> values;
    };

    // Device state saved by Begin for End to restore; textures and shaders
    // are held by reference.
    struct SavedState {
        std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> renderStates;
        struct StageState {
            DWORD stage;
            D3DTEXTURESTAGESTATETYPE type;
            DWORD value;
        };
        std::vector<StageState> stageStates;
        struct SamplerState {
            DWORD sampler;
            D3DSAMPLERSTATETYPE type;
            DWORD value;
        };
        std::vector<SamplerState> samplerStates;
        std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> textures; // references held
        bool vertexShaderSaved = false;
        bool pixelShaderSaved = false;
        IDirect3DVertexShader9* vertexShader = nullptr;
        IDirect3DPixelShader9* pixelShader = nullptr;
        std::vector<float> vertexFloats; // registers 0 .. size / 4
        std::vector<float> pixelFloats;
        std::vector<int> vertexInts, pixelInts;
        std::vector<BOOL> vertexBools, pixelBools;
        std::vector<std::pair<D3DTRANSFORMSTATETYPE, D3DMATRIX>> transforms;
        std::vector<std::pair<DWORD, D3DLIGHT9>> lights;
        std::vector<std::pair<DWORD, BOOL>> lightEnables;
        bool materialSaved = false;
        D3DMATERIAL9 material;
        bool fvfSaved = false;
        DWORD fvf = 0;
        bool nPatchSaved = false;
        float nPatchSegments = 0.0f;
    };

    Effect(IDirect3DDevice9* device, std::shared_ptr<const EffectDescription> description, DWORD flags);
    ~Effect() override;
    HRESULT initialise(std::vector<std::shared_ptr<const shader::Program>> programs,
                       const std::vector<std::string>& skipConstants);

    // Handles (Effect.cpp).
    D3DXHANDLE parameterHandle(int node) const;
    D3DXHANDLE techniqueHandle(int technique) const;
    D3DXHANDLE passHandle(int technique, int pass) const;
    int findParameter(D3DXHANDLE handle) const; // handle or name; -1
    int findParameterByPath(const std::string& path) const;
    int findTechnique(D3DXHANDLE handle) const; // handle or name; -1
    bool findPass(D3DXHANDLE handle, int& technique, int& pass) const;
    const std::vector<int>* annotationsOf(D3DXHANDLE object) const;
    bool isNumeric(const ParameterNode& node) const;
    UINT structMemberCount(const ParameterNode& node) const;
    void computeTechniqueValidity();
    void programsOfState(const StateAssignment& a, std::vector<int>& programs) const;
    BOOL isParameterUsed(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) const;

    // Values (EffectValues.cpp).
    void releaseObjects();
    void noteChanged(int node);
    void releaseBlock(ParameterBlock& block);
    // The parameter a handle names when it holds numbers (single: one
    // number, not an array); -1 otherwise.
    int findNumeric(D3DXHANDLE handle, bool single) const;
    // Numbers of one type into or out of a parameter (index, -1 refused),
    // as many as both hold.
    template <class T>
    HRESULT storeNumbers(int index, const T* values, UINT count, uint32_t (*convert)(T, D3DXPARAMETER_TYPE));
    template <class T>
    HRESULT loadNumbers(int index, T* values, UINT count, T (*convert)(uint32_t, D3DXPARAMETER_TYPE)) const;
    void setVectorElement(const ParameterNode& node, const D3DXVECTOR4& vector);
    D3DXVECTOR4 vectorElement(const ParameterNode& node) const;
    HRESULT setMatrixElement(const ParameterNode& node, const D3DXMATRIX& m, bool transpose);
    void getMatrixElement(const ParameterNode& node, D3DXMATRIX& m, bool transpose) const;
    HRESULT setMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, bool transpose);
    // Matrices: an array of them, or of pointers to them.
    template <class Matrices>
    HRESULT setMatrices(D3DXHANDLE hParameter, Matrices matrices, UINT count, bool transpose);
    template <class Matrices>
    HRESULT getMatrices(D3DXHANDLE hParameter, Matrices matrices, UINT count, bool transpose) const;
    template <class Shader>
    HRESULT getShader(D3DXHANDLE hParameter, D3DXPARAMETER_TYPE type, Shader** ppShader) const;
    bool currentValue(int node, Constant& value) const;
    int shaderProgramOf(IUnknown* shader) const;

    // Passes (EffectPasses.cpp).
    NameResolver runtimeResolver(const StateInfo* state) const;
    bool evaluateState(const StateAssignment& a, Constant& value) const;
    int objectParameter(const StateAssignment& a) const;
    HRESULT applyPass(int technique, int pass, bool everything);
    HRESULT applySampler(StateTarget& target, DWORD samplerRegister, int samplerNode, bool everything);
    HRESULT applyProgram(StateTarget& target, int program, bool everything);
    void writeUniforms(int program, std::vector<float>& image);
    void saveState(int technique, DWORD flags);
    void restoreState();
    void dropSavedState();

    IDirect3DDevice9* m_device;
    std::shared_ptr<const EffectDescription> m_description;
    DWORD m_flags;
    std::unordered_map<const void*, HandleTarget> m_handles;
    std::unordered_map<std::string, int> m_paths;

    std::vector<uint32_t> m_words;
    std::vector<ObjectSlot> m_objects;

    std::vector<std::shared_ptr<const shader::Program>> m_compiled;
    std::vector<ProgramBinding> m_programs;
    std::vector<IUnknown*> m_shaderObjects; // per program: its device shader, or null
    std::vector<std::vector<float>> m_uploaded; // per program: the uniform image last uploaded
    std::vector<bool> m_techniqueValid;
    std::vector<bool> m_skipConstant; // per node

    int m_technique = -1;
    bool m_begun = false;
    DWORD m_beginFlags = 0;
    int m_pass = -1;
    std::unique_ptr<SavedState> m_saved;
    ID3DXEffectStateManager* m_manager = nullptr;

    std::vector<std::unique_ptr<ParameterBlock>> m_blocks;
    std::unique_ptr<ParameterBlock> m_recording;
};

} // namespace effect
} // namespace swd3d9
