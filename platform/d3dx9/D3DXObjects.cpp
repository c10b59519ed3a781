// ID3DXBuffer and ID3DXMatrixStack.

#include <d3dx9.h>

#include "d3d9/Objects.h"

#include <cstring>
#include <new>
#include <vector>

using swd3d9::Lifetime;
using swd3d9::answerQuery;

namespace {

class Buffer final : public ID3DXBuffer, public Lifetime
{
public:
    Buffer() : Lifetime(1) {}
    bool allocate(DWORD size)
    {
        try {
            m_bytes.assign(size, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        return answerQuery<ID3DXBuffer>(this, riid, ppvObject, {&IID_IUnknown, &IID_ID3DXBuffer});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }
    LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(m_bytes.size()); }

private:
    ~Buffer() override = default;
    std::vector<BYTE> m_bytes;
};

class MatrixStack final : public ID3DXMatrixStack, public Lifetime
{
public:
    MatrixStack() : Lifetime(1)
    {
        m_stack.resize(1);
        D3DXMatrixIdentity(&m_stack.back());
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        return answerQuery<ID3DXMatrixStack>(this, riid, ppvObject, {&IID_IUnknown, &IID_ID3DXMatrixStack});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }

    HRESULT STDMETHODCALLTYPE Pop() override
    {
        // The last matrix stays: popping it leaves the stack as it is.
        if (m_stack.size() > 1)
            m_stack.pop_back();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Push() override
    {
        try {
            m_stack.push_back(m_stack.back());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadIdentity() override
    {
        D3DXMatrixIdentity(&top());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadMatrix(CONST D3DXMATRIX* pM) override
    {
        if (!pM)
            return D3DERR_INVALIDCALL;
        top() = *pM;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE MultMatrix(CONST D3DXMATRIX* pM) override
    {
        if (!pM)
            return D3DERR_INVALIDCALL;
        D3DXMatrixMultiply(&top(), &top(), pM);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE MultMatrixLocal(CONST D3DXMATRIX* pM) override
    {
        if (!pM)
            return D3DERR_INVALIDCALL;
        D3DXMatrixMultiply(&top(), pM, &top());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE RotateAxis(CONST D3DXVECTOR3* pV, FLOAT Angle) override
    {
        D3DXMATRIX m;
        if (!D3DXMatrixRotationAxis(&m, pV, Angle))
            return D3DERR_INVALIDCALL;
        return MultMatrix(&m);
    }
    HRESULT STDMETHODCALLTYPE RotateAxisLocal(CONST D3DXVECTOR3* pV, FLOAT Angle) override
    {
        D3DXMATRIX m;
        if (!D3DXMatrixRotationAxis(&m, pV, Angle))
            return D3DERR_INVALIDCALL;
        return MultMatrixLocal(&m);
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRoll(FLOAT Yaw, FLOAT Pitch, FLOAT Roll) override
    {
        D3DXMATRIX m;
        D3DXMatrixRotationYawPitchRoll(&m, Yaw, Pitch, Roll);
        return MultMatrix(&m);
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRollLocal(FLOAT Yaw, FLOAT Pitch, FLOAT Roll) override
    {
        D3DXMATRIX m;
        D3DXMatrixRotationYawPitchRoll(&m, Yaw, Pitch, Roll);
        return MultMatrixLocal(&m);
    }
    HRESULT STDMETHODCALLTYPE Scale(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX m;
        D3DXMatrixScaling(&m, x, y, z);
        return MultMatrix(&m);
    }
    HRESULT STDMETHODCALLTYPE ScaleLocal(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX m;
        D3DXMatrixScaling(&m, x, y, z);
        return MultMatrixLocal(&m);
    }
    HRESULT STDMETHODCALLTYPE Translate(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX m;
        D3DXMatrixTranslation(&m, x, y, z);
        return MultMatrix(&m);
    }
    HRESULT STDMETHODCALLTYPE TranslateLocal(FLOAT x, FLOAT y, FLOAT z) override
    {
        D3DXMATRIX m;
        D3DXMatrixTranslation(&m, x, y, z);
        return MultMatrixLocal(&m);
    }
    D3DXMATRIX* STDMETHODCALLTYPE GetTop() override { return &top(); }

private:
    ~MatrixStack() override = default;
    D3DXMATRIX& top() { return m_stack.back(); }
    std::vector<D3DXMATRIX> m_stack;
};

} // namespace

extern "C" HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer)
{
    if (!ppBuffer)
        return D3DERR_INVALIDCALL;
    *ppBuffer = nullptr;
    Buffer* buffer = new (std::nothrow) Buffer();
    if (!buffer)
        return E_OUTOFMEMORY;
    if (!buffer->allocate(NumBytes)) {
        buffer->Release();
        return E_OUTOFMEMORY;
    }
    *ppBuffer = buffer;
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXCreateMatrixStack(DWORD Flags, LPD3DXMATRIXSTACK* ppStack)
{
    (void)Flags;
    if (!ppStack)
        return D3DERR_INVALIDCALL;
    *ppStack = nullptr;
    // The stack allocates its first matrix as it is made.
    try {
        *ppStack = new MatrixStack();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}
