// Parameter values of Effect: the Get and Set functions with the
// conversions D3DX makes between bools, ints and floats, and parameter
// blocks.
//
// Values are stored as the parameter's own type, a matrix row after row.
// A number given as another type is converted: floats become ints by
// truncation and bools by their bit pattern (any non-zero bits are TRUE);
// ints and bools become floats by value. SetInt and GetInt on a float
// vector of 3 or 4 components, and SetVector and GetVector on an int
// scalar, pack a D3DCOLOR into its channels as D3DX does.

#include "effect/Effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {
namespace effect {

namespace {

float floatOf(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t bitsOf(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

int32_t intOf(uint32_t bits)
{
    int32_t i;
    std::memcpy(&i, &bits, 4);
    return i;
}

uint32_t bitsOf(int32_t i)
{
    uint32_t bits;
    std::memcpy(&bits, &i, 4);
    return bits;
}

// A float truncated to an int, as a C cast does on x86: values beyond the
// range (and NaN) give INT_MIN.
int32_t truncated(float f)
{
    if (!(f >= -2147483648.0f && f < 2147483648.0f))
        return INT32_MIN;
    return static_cast<int32_t>(f);
}

float readFloat(uint32_t bits, D3DXPARAMETER_TYPE type)
{
    switch (type) {
    case D3DXPT_FLOAT: return floatOf(bits);
    case D3DXPT_INT:
    case D3DXPT_BOOL: return static_cast<float>(intOf(bits));
    default: return 0.0f;
    }
}

int32_t readInt(uint32_t bits, D3DXPARAMETER_TYPE type)
{
    return type == D3DXPT_FLOAT ? truncated(floatOf(bits)) : intOf(bits);
}

// Any non-zero bits are TRUE, whatever the type.
BOOL readBool(uint32_t bits, D3DXPARAMETER_TYPE) { return bits != 0 ? TRUE : FALSE; }

uint32_t fromFloat(float f, D3DXPARAMETER_TYPE type)
{
    switch (type) {
    case D3DXPT_INT: return bitsOf(truncated(f));
    case D3DXPT_BOOL: return bitsOf(f) != 0 ? 1u : 0u;
    default: return bitsOf(f);
    }
}

uint32_t fromInt(int32_t n, D3DXPARAMETER_TYPE type)
{
    switch (type) {
    case D3DXPT_FLOAT: return bitsOf(static_cast<float>(n));
    case D3DXPT_BOOL: return n != 0 ? 1u : 0u;
    default: return bitsOf(n);
    }
}

// D3DCOLOR channels in [0, 1], and back (clamped, truncated).
constexpr float CHANNEL = 255.0f;

uint32_t channel(float v) { return static_cast<uint32_t>(std::min(std::max(0.0f, v), 1.0f) * CHANNEL); }

uint32_t packColor(float red, float green, float blue, float alpha)
{
    return channel(blue) | (channel(green) << 8) | (channel(red) << 16) | (channel(alpha) << 24);
}

// Red, green, blue and alpha.
void unpackColor(uint32_t color, float rgba[4])
{
    rgba[0] = ((color >> 16) & 0xFF) / CHANNEL;
    rgba[1] = ((color >> 8) & 0xFF) / CHANNEL;
    rgba[2] = (color & 0xFF) / CHANNEL;
    rgba[3] = ((color >> 24) & 0xFF) / CHANNEL;
}

bool isTexture(D3DXPARAMETER_TYPE type) { return type >= D3DXPT_TEXTURE && type <= D3DXPT_TEXTURECUBE; }
bool isSampler(D3DXPARAMETER_TYPE type) { return type >= D3DXPT_SAMPLER && type <= D3DXPT_SAMPLERCUBE; }
bool isShader(D3DXPARAMETER_TYPE type) { return type == D3DXPT_VERTEXSHADER || type == D3DXPT_PIXELSHADER; }
bool isMatrix(D3DXPARAMETER_CLASS c) { return c == D3DXPC_MATRIX_ROWS || c == D3DXPC_MATRIX_COLUMNS; }
bool isSingleNumber(const ParameterNode& node) { return !node.elements && node.rows == 1 && node.columns == 1; }

// SetInt and GetInt take a D3DCOLOR for a float colour of 3 or 4
// components: a vector, or a matrix of one column.
bool takesColor(const ParameterNode& node)
{
    return !node.elements && node.type == D3DXPT_FLOAT &&
           ((node.parameterClass == D3DXPC_VECTOR && node.columns != 2) ||
            (isMatrix(node.parameterClass) && node.rows != 2 && node.columns == 1));
}

// The place of matrix e in an array given by value, or by pointer.
template <class Matrix>
Matrix* matrixAt(Matrix* matrices, UINT e)
{
    return matrices + e;
}

template <class Matrix>
Matrix* matrixAt(Matrix** matrices, UINT e)
{
    return matrices[e];
}

template <class T>
T* pointerAt(const void* data, size_t index)
{
    T* p;
    std::memcpy(&p, static_cast<const char*>(data) + index * sizeof(T*), sizeof(T*));
    return p;
}

template <class T>
void storePointerAt(void* data, size_t index, T* p)
{
    std::memcpy(static_cast<char*>(data) + index * sizeof(T*), &p, sizeof(T*));
}

} // namespace

void Effect::releaseObjects()
{
    for (ObjectSlot& slot : m_objects)
        slot.holdTexture(nullptr);
}

void Effect::releaseBlock(ParameterBlock& block)
{
    for (RecordedValue& value : block.values)
        for (ObjectSlot& slot : value.objects)
            slot.holdTexture(nullptr);
    block.values.clear();
}

void Effect::noteChanged(int node)
{
    if (!m_recording)
        return;
    // Recording is best effort: without memory for the record, the block
    // misses this change and the setter still succeeds.
    try {
        const ParameterNode& n = m_description->parameters[node];
        RecordedValue value;
        value.node = node;
        value.words.assign(m_words.begin() + n.firstWord, m_words.begin() + n.firstWord + n.wordCount);
        value.objects.assign(m_objects.begin() + n.firstObject, m_objects.begin() + n.firstObject + n.objectCount);
        for (ObjectSlot& slot : value.objects)
            slot.texture = nullptr;
        m_recording->values.push_back(std::move(value));
        RecordedValue& recorded = m_recording->values.back();
        for (size_t k = 0; k < recorded.objects.size(); ++k)
            recorded.objects[k].holdTexture(m_objects[n.firstObject + k].texture);
    } catch (const std::bad_alloc&) {
    }
}

int Effect::shaderProgramOf(IUnknown* shader) const
{
    for (size_t i = 0; i < m_shaderObjects.size(); ++i)
        if (m_shaderObjects[i] && m_shaderObjects[i] == shader)
            return static_cast<int>(i);
    return -1;
}

bool Effect::currentValue(int index, Constant& value) const
{
    const ParameterNode& node = m_description->parameters[index];
    if (node.parameterClass == D3DXPC_OBJECT || node.wordCount == 0)
        return false;
    value.values.clear();
    bool anyFloat = false, allBool = true;
    std::vector<int> stack{index};
    while (!stack.empty()) {
        const ParameterNode& leaf = m_description->parameters[stack.back()];
        stack.pop_back();
        if (!leaf.children.empty()) {
            for (size_t k = leaf.children.size(); k-- > 0;)
                stack.push_back(leaf.children[k]);
            continue;
        }
        anyFloat = anyFloat || leaf.type == D3DXPT_FLOAT;
        allBool = allBool && leaf.type == D3DXPT_BOOL;
        for (uint32_t w = 0; w < leaf.wordCount; ++w)
            value.values.push_back(loadComponent(m_words[leaf.firstWord + w], leaf.type));
    }
    value.base = anyFloat ? Constant::Base::Float : allBool ? Constant::Base::Bool : Constant::Base::Int;
    return !value.values.empty();
}

HRESULT STDMETHODCALLTYPE Effect::SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes)
{
    int index = findParameter(hParameter);
    if (index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.parameterClass == D3DXPC_OBJECT && isSampler(node.type))
        return E_FAIL;
    if (!pData || Bytes < node.bytes)
        return D3DERR_INVALIDCALL;
    try {
        if (node.parameterClass != D3DXPC_OBJECT) {
            std::memcpy(m_words.data() + node.firstWord, pData, node.bytes);
        } else if (node.type == D3DXPT_STRING) {
            for (uint32_t k = 0; k < node.objectCount; ++k) {
                const char* text = pointerAt<const char>(pData, k);
                m_objects[node.firstObject + k].text = text ? text : "";
            }
        } else if (isTexture(node.type)) {
            for (uint32_t k = 0; k < node.objectCount; ++k)
                m_objects[node.firstObject + k].holdTexture(pointerAt<IDirect3DBaseTexture9>(pData, k));
        } else if (isShader(node.type)) {
            // Shaders of this effect, or NULL.
            std::vector<int> programs;
            for (uint32_t k = 0; k < node.objectCount; ++k) {
                IUnknown* shader = pointerAt<IUnknown>(pData, k);
                int program = shader ? shaderProgramOf(shader) : -1;
                if (shader && (program < 0 || m_description->programs[program].stage !=
                                                  (node.type == D3DXPT_VERTEXSHADER ? shader::ShaderStage::Vertex
                                                                                    : shader::ShaderStage::Pixel)))
                    return D3DERR_INVALIDCALL;
                programs.push_back(program);
            }
            for (uint32_t k = 0; k < node.objectCount; ++k)
                m_objects[node.firstObject + k].program = programs[k];
        } else {
            return D3DERR_INVALIDCALL;
        }
        noteChanged(index);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes)
{
    int index = findParameter(hParameter);
    if (index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.parameterClass == D3DXPC_OBJECT && isSampler(node.type))
        return E_FAIL;
    if (!pData || Bytes < node.bytes)
        return D3DERR_INVALIDCALL;
    if (node.parameterClass != D3DXPC_OBJECT) {
        std::memcpy(pData, m_words.data() + node.firstWord, node.bytes);
    } else if (node.type == D3DXPT_STRING) {
        for (uint32_t k = 0; k < node.objectCount; ++k)
            storePointerAt<const char>(pData, k, m_objects[node.firstObject + k].text.c_str());
    } else if (isTexture(node.type)) {
        for (uint32_t k = 0; k < node.objectCount; ++k) {
            IDirect3DBaseTexture9* texture = m_objects[node.firstObject + k].texture;
            if (texture)
                texture->AddRef();
            storePointerAt(pData, k, texture);
        }
    } else if (isShader(node.type)) {
        for (uint32_t k = 0; k < node.objectCount; ++k) {
            int program = m_objects[node.firstObject + k].program;
            IUnknown* shader = program >= 0 ? m_shaderObjects[program] : nullptr;
            if (shader)
                shader->AddRef();
            storePointerAt(pData, k, shader);
        }
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

int Effect::findNumeric(D3DXHANDLE handle, bool single) const
{
    int index = findParameter(handle);
    if (index < 0)
        return -1;
    const ParameterNode& node = m_description->parameters[index];
    return isNumeric(node) && (!single || isSingleNumber(node)) ? index : -1;
}

template <class T>
HRESULT Effect::storeNumbers(int index, const T* values, UINT count, uint32_t (*convert)(T, D3DXPARAMETER_TYPE))
{
    if (index < 0 || (!values && count))
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    count = std::min<UINT>(count, node.wordCount);
    for (UINT i = 0; i < count; ++i)
        m_words[node.firstWord + i] = convert(values[i], node.type);
    noteChanged(index);
    return D3D_OK;
}

template <class T>
HRESULT Effect::loadNumbers(int index, T* values, UINT count, T (*convert)(uint32_t, D3DXPARAMETER_TYPE)) const
{
    if (index < 0 || !values)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    count = std::min<UINT>(count, node.wordCount);
    for (UINT i = 0; i < count; ++i)
        values[i] = convert(m_words[node.firstWord + i], node.type);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetBool(D3DXHANDLE hParameter, BOOL b)
{
    return storeNumbers(findNumeric(hParameter, true), &b, 1, fromInt);
}

HRESULT STDMETHODCALLTYPE Effect::GetBool(D3DXHANDLE hParameter, BOOL* pb)
{
    return loadNumbers(findNumeric(hParameter, true), pb, 1, readBool);
}

// The values are not cut to 0 and 1 on the way into an int.
HRESULT STDMETHODCALLTYPE Effect::SetBoolArray(D3DXHANDLE hParameter, CONST BOOL* pb, UINT Count)
{
    return storeNumbers(findNumeric(hParameter, false), pb, Count, fromInt);
}

HRESULT STDMETHODCALLTYPE Effect::GetBoolArray(D3DXHANDLE hParameter, BOOL* pb, UINT Count)
{
    return loadNumbers(findNumeric(hParameter, false), pb, Count, readBool);
}

HRESULT STDMETHODCALLTYPE Effect::SetInt(D3DXHANDLE hParameter, INT n)
{
    int index = findNumeric(hParameter, false);
    if (index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (isSingleNumber(node))
        return storeNumbers(index, &n, 1, fromInt);
    if (!takesColor(node))
        return D3DERR_INVALIDCALL;
    float rgba[4];
    unpackColor(static_cast<uint32_t>(n), rgba);
    const UINT components = std::min<UINT>(node.rows * node.columns, 4);
    for (UINT i = 0; i < components; ++i)
        m_words[node.firstWord + i] = bitsOf(rgba[i]);
    noteChanged(index);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetInt(D3DXHANDLE hParameter, INT* pn)
{
    int index = findNumeric(hParameter, false);
    if (index < 0 || !pn)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (isSingleNumber(node))
        return loadNumbers(index, pn, 1, readInt);
    if (!takesColor(node))
        return D3DERR_INVALIDCALL;
    const uint32_t* w = m_words.data() + node.firstWord;
    const float alpha = node.rows * node.columns > 3 ? floatOf(w[3]) : 0.0f;
    *pn = static_cast<INT>(packColor(floatOf(w[0]), floatOf(w[1]), floatOf(w[2]), alpha));
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetIntArray(D3DXHANDLE hParameter, CONST INT* pn, UINT Count)
{
    return storeNumbers(findNumeric(hParameter, false), pn, Count, fromInt);
}

HRESULT STDMETHODCALLTYPE Effect::GetIntArray(D3DXHANDLE hParameter, INT* pn, UINT Count)
{
    return loadNumbers(findNumeric(hParameter, false), pn, Count, readInt);
}

HRESULT STDMETHODCALLTYPE Effect::SetFloat(D3DXHANDLE hParameter, FLOAT f)
{
    return storeNumbers(findNumeric(hParameter, true), &f, 1, fromFloat);
}

HRESULT STDMETHODCALLTYPE Effect::GetFloat(D3DXHANDLE hParameter, FLOAT* pf)
{
    return loadNumbers(findNumeric(hParameter, true), pf, 1, readFloat);
}

HRESULT STDMETHODCALLTYPE Effect::SetFloatArray(D3DXHANDLE hParameter, CONST FLOAT* pf, UINT Count)
{
    return storeNumbers(findNumeric(hParameter, false), pf, Count, fromFloat);
}

HRESULT STDMETHODCALLTYPE Effect::GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count)
{
    return loadNumbers(findNumeric(hParameter, false), pf, Count, readFloat);
}

void Effect::setVectorElement(const ParameterNode& node, const D3DXVECTOR4& vector)
{
    const float v[4] = {vector.x, vector.y, vector.z, vector.w};
    for (UINT i = 0; i < node.columns && i < 4; ++i)
        m_words[node.firstWord + i] = fromFloat(v[i], node.type);
}

D3DXVECTOR4 Effect::vectorElement(const ParameterNode& node) const
{
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (UINT i = 0; i < node.columns && i < 4; ++i)
        v[i] = readFloat(m_words[node.firstWord + i], node.type);
    return D3DXVECTOR4(v[0], v[1], v[2], v[3]);
}

HRESULT STDMETHODCALLTYPE Effect::SetVector(D3DXHANDLE hParameter, CONST D3DXVECTOR4* pVector)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pVector)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements || (node.parameterClass != D3DXPC_SCALAR && node.parameterClass != D3DXPC_VECTOR))
        return D3DERR_INVALIDCALL;
    // A colour into a D3DCOLOR.
    if (node.type == D3DXPT_INT && node.bytes == 4)
        m_words[node.firstWord] = packColor(pVector->x, pVector->y, pVector->z, pVector->w);
    else
        setVectorElement(node, *pVector);
    noteChanged(index);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pVector)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements || (node.parameterClass != D3DXPC_SCALAR && node.parameterClass != D3DXPC_VECTOR))
        return D3DERR_INVALIDCALL;
    if (node.type == D3DXPT_INT && node.bytes == 4) {
        float rgba[4];
        unpackColor(m_words[node.firstWord], rgba);
        *pVector = D3DXVECTOR4(rgba[0], rgba[1], rgba[2], rgba[3]);
    } else {
        *pVector = vectorElement(node);
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetVectorArray(D3DXHANDLE hParameter, CONST D3DXVECTOR4* pVector, UINT Count)
{
    int index = findParameter(hParameter);
    if (index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (!node.elements || node.elements < Count || node.parameterClass != D3DXPC_VECTOR || (!pVector && Count))
        return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < Count; ++e)
        setVectorElement(m_description->parameters[node.children[e]], pVector[e]);
    noteChanged(index);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count)
{
    if (!Count)
        return D3D_OK;
    int index = findParameter(hParameter);
    if (index < 0 || !pVector)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (Count > node.elements || node.parameterClass != D3DXPC_VECTOR)
        return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < Count; ++e)
        pVector[e] = vectorElement(m_description->parameters[node.children[e]]);
    return D3D_OK;
}

HRESULT Effect::setMatrixElement(const ParameterNode& node, const D3DXMATRIX& m, bool transpose)
{
    for (UINT r = 0; r < node.rows && r < 4; ++r)
        for (UINT c = 0; c < node.columns && c < 4; ++c)
            m_words[node.firstWord + r * node.columns + c] = fromFloat(transpose ? m.m[c][r] : m.m[r][c], node.type);
    return D3D_OK;
}

void Effect::getMatrixElement(const ParameterNode& node, D3DXMATRIX& m, bool transpose) const
{
    for (UINT r = 0; r < 4; ++r)
        for (UINT c = 0; c < 4; ++c) {
            float v = 0.0f;
            if (r < node.rows && c < node.columns)
                v = readFloat(m_words[node.firstWord + r * node.columns + c], node.type);
            (transpose ? m.m[c][r] : m.m[r][c]) = v;
        }
}

HRESULT Effect::setMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, bool transpose)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pMatrix)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements || !isMatrix(node.parameterClass))
        return D3DERR_INVALIDCALL;
    setMatrixElement(node, *pMatrix, transpose);
    noteChanged(index);
    return D3D_OK;
}

// The matrix arrays, given by value or by pointer: every pointer is checked
// before any matrix is stored.
template <class Matrices>
HRESULT Effect::setMatrices(D3DXHANDLE hParameter, Matrices matrices, UINT count, bool transpose)
{
    int index = findParameter(hParameter);
    if (index < 0 || (!matrices && count))
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements < count || !isMatrix(node.parameterClass))
        return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < count; ++e)
        if (!matrixAt(matrices, e))
            return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < count; ++e)
        setMatrixElement(m_description->parameters[node.children[e]], *matrixAt(matrices, e), transpose);
    noteChanged(index);
    return D3D_OK;
}

template <class Matrices>
HRESULT Effect::getMatrices(D3DXHANDLE hParameter, Matrices matrices, UINT count, bool transpose) const
{
    if (!count)
        return D3D_OK;
    int index = findParameter(hParameter);
    if (index < 0 || !matrices)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (count > node.elements || !isMatrix(node.parameterClass))
        return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < count; ++e)
        if (!matrixAt(matrices, e))
            return D3DERR_INVALIDCALL;
    for (UINT e = 0; e < count; ++e)
        getMatrixElement(m_description->parameters[node.children[e]], *matrixAt(matrices, e), transpose);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrix(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix)
{
    return setMatrix(hParameter, pMatrix, false);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pMatrix)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements || !isMatrix(node.parameterClass))
        return D3DERR_INVALIDCALL;
    getMatrixElement(node, *pMatrix, false);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrixTranspose(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix)
{
    return setMatrix(hParameter, pMatrix, true);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrixTranspose(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pMatrix)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.elements)
        return D3DERR_INVALIDCALL;
    // Scalars and vectors read as a matrix of one row, not transposed, as D3DX has it.
    if (node.parameterClass == D3DXPC_SCALAR || node.parameterClass == D3DXPC_VECTOR) {
        getMatrixElement(node, *pMatrix, false);
        return D3D_OK;
    }
    if (!isMatrix(node.parameterClass))
        return D3DERR_INVALIDCALL;
    getMatrixElement(node, *pMatrix, true);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrixArray(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix, UINT Count)
{
    return setMatrices(hParameter, pMatrix, Count, false);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count)
{
    return getMatrices(hParameter, pMatrix, Count, false);
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrixPointerArray(D3DXHANDLE hParameter, CONST D3DXMATRIX** ppMatrix, UINT Count)
{
    return setMatrices(hParameter, ppMatrix, Count, false);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrixPointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count)
{
    return getMatrices(hParameter, ppMatrix, Count, false);
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrixTransposeArray(D3DXHANDLE hParameter, CONST D3DXMATRIX* pMatrix,
                                                          UINT Count)
{
    return setMatrices(hParameter, pMatrix, Count, true);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrixTransposeArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count)
{
    return getMatrices(hParameter, pMatrix, Count, true);
}

HRESULT STDMETHODCALLTYPE Effect::SetMatrixTransposePointerArray(D3DXHANDLE hParameter, CONST D3DXMATRIX** ppMatrix,
                                                                 UINT Count)
{
    return setMatrices(hParameter, ppMatrix, Count, true);
}

HRESULT STDMETHODCALLTYPE Effect::GetMatrixTransposePointerArray(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix,
                                                                 UINT Count)
{
    return getMatrices(hParameter, ppMatrix, Count, true);
}

HRESULT STDMETHODCALLTYPE Effect::SetString(D3DXHANDLE hParameter, LPCSTR pString)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pString)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.type != D3DXPT_STRING || node.elements || !node.objectCount)
        return D3DERR_INVALIDCALL;
    try {
        m_objects[node.firstObject].text = pString;
        noteChanged(index);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetString(D3DXHANDLE hParameter, LPCSTR* ppString)
{
    int index = findParameter(hParameter);
    if (index < 0 || !ppString)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.type != D3DXPT_STRING || node.elements || !node.objectCount)
        return D3DERR_INVALIDCALL;
    *ppString = m_objects[node.firstObject].text.c_str();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture)
{
    int index = findParameter(hParameter);
    if (index < 0)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (!isTexture(node.type) || node.elements || !node.objectCount)
        return D3DERR_INVALIDCALL;
    m_objects[node.firstObject].holdTexture(pTexture);
    noteChanged(index);
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9** ppTexture)
{
    int index = findParameter(hParameter);
    if (index < 0 || !ppTexture)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (!isTexture(node.type) || node.elements || !node.objectCount)
        return D3DERR_INVALIDCALL;
    *ppTexture = m_objects[node.firstObject].texture;
    if (*ppTexture)
        (*ppTexture)->AddRef();
    return D3D_OK;
}

template <class Shader>
HRESULT Effect::getShader(D3DXHANDLE hParameter, D3DXPARAMETER_TYPE type, Shader** ppShader) const
{
    int index = findParameter(hParameter);
    if (index < 0 || !ppShader)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.type != type || node.elements || !node.objectCount)
        return D3DERR_INVALIDCALL;
    int program = m_objects[node.firstObject].program;
    *ppShader = program >= 0 ? static_cast<Shader*>(m_shaderObjects[program]) : nullptr;
    if (*ppShader)
        (*ppShader)->AddRef();
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::GetPixelShader(D3DXHANDLE hParameter, IDirect3DPixelShader9** ppPShader)
{
    return getShader(hParameter, D3DXPT_PIXELSHADER, ppPShader);
}

HRESULT STDMETHODCALLTYPE Effect::GetVertexShader(D3DXHANDLE hParameter, IDirect3DVertexShader9** ppVShader)
{
    return getShader(hParameter, D3DXPT_VERTEXSHADER, ppVShader);
}

HRESULT STDMETHODCALLTYPE Effect::SetArrayRange(D3DXHANDLE hParameter, UINT uStart, UINT uEnd)
{
    // Whole arrays are always uploaded; the range changes nothing.
    (void)uStart;
    (void)uEnd;
    return findParameter(hParameter) < 0 ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT STDMETHODCALLTYPE Effect::SetRawValue(D3DXHANDLE hParameter, LPCVOID pData, UINT ByteOffset, UINT Bytes)
{
    int index = findParameter(hParameter);
    if (index < 0 || !pData)
        return D3DERR_INVALIDCALL;
    const ParameterNode& node = m_description->parameters[index];
    if (node.parameterClass == D3DXPC_OBJECT)
        return D3DERR_INVALIDCALL;
    if (ByteOffset > node.bytes || Bytes > node.bytes - ByteOffset)
        return D3DERR_INVALIDCALL;
    std::memcpy(reinterpret_cast<char*>(m_words.data() + node.firstWord) + ByteOffset, pData, Bytes);
    noteChanged(index);
    return D3D_OK;
}

// Parameter blocks.

HRESULT STDMETHODCALLTYPE Effect::BeginParameterBlock()
{
    if (m_recording)
        return D3DERR_INVALIDCALL;
    try {
        m_recording.reset(new ParameterBlock());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

D3DXHANDLE STDMETHODCALLTYPE Effect::EndParameterBlock()
{
    if (!m_recording)
        return nullptr;
    try {
        ParameterBlock& block = *m_recording;
        block.handleText = "<parameter block " + std::to_string(m_blocks.size()) + ">";
        m_blocks.reserve(m_blocks.size() + 1);
        m_handles[block.handleText.c_str()] = {HandleKind::Block, 0, -1};
        m_blocks.push_back(std::move(m_recording));
        return m_blocks.back()->handleText.c_str();
    } catch (const std::bad_alloc&) {
        releaseBlock(*m_recording);
        m_recording.reset();
        return nullptr;
    }
}

HRESULT STDMETHODCALLTYPE Effect::ApplyParameterBlock(D3DXHANDLE hParameterBlock)
{
    auto h = hParameterBlock ? m_handles.find(hParameterBlock) : m_handles.end();
    if (h == m_handles.end() || h->second.kind != HandleKind::Block)
        return D3DERR_INVALIDCALL;
    for (const auto& block : m_blocks) {
        if (block->handleText.c_str() != hParameterBlock)
            continue;
        if (block->values.empty())
            return D3DERR_INVALIDCALL;
        try {
            for (const RecordedValue& value : block->values) {
                const ParameterNode& node = m_description->parameters[value.node];
                std::copy(value.words.begin(), value.words.end(), m_words.begin() + node.firstWord);
                for (size_t k = 0; k < value.objects.size(); ++k) {
                    ObjectSlot& slot = m_objects[node.firstObject + k];
                    slot.text = value.objects[k].text;
                    slot.program = value.objects[k].program;
                    slot.holdTexture(value.objects[k].texture);
                }
                noteChanged(value.node);
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Effect::DeleteParameterBlock(D3DXHANDLE hParameterBlock)
{
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (!hParameterBlock || m_blocks[i]->handleText.c_str() != hParameterBlock)
            continue;
        m_handles.erase(m_blocks[i]->handleText.c_str());
        releaseBlock(*m_blocks[i]);
        m_blocks.erase(m_blocks.begin() + static_cast<long>(i));
        return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

} // namespace effect
} // namespace swd3d9
