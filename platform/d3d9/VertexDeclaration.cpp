#include "d3d9/VertexDeclaration.h"

#include "d3d9/Device.h"
#include "d3d9/Pipeline.h"

#include <exception>
#include <new>

namespace swd3d9 {

VertexDeclaration::VertexDeclaration(Device* device) : Lifetime(1), m_device(device) { m_device->AddRef(); }

HRESULT VertexDeclaration::create(Device* device, const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration)
{
    UINT count = 0;
    for (;; ++count) {
        if (count >= MAXD3DDECLLENGTH)
            return D3DERR_INVALIDCALL;
        const D3DVERTEXELEMENT9& e = elements[count];
        if (e.Stream == 0xFF)
            break;
        if (e.Stream >= STREAM_COUNT || e.Type >= D3DDECLTYPE_UNUSED || e.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            e.Usage > MAXD3DDECLUSAGE || e.UsageIndex > MAXD3DDECLUSAGEINDEX || (e.Offset & 3) != 0)
            return D3DERR_INVALIDCALL;
    }
    std::vector<D3DVERTEXELEMENT9> list;
    try {
        list.assign(elements, elements + count);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    VertexDeclaration* created = new (std::nothrow) VertexDeclaration(device);
    if (!created)
        return E_OUTOFMEMORY;
    created->m_elements.swap(list);
    *declaration = created;
    return D3D_OK;
}

void VertexDeclaration::onPublicRefsStarted() { m_device->AddRef(); }
void VertexDeclaration::onPublicRefsEnded() { m_device->Release(); }

HRESULT STDMETHODCALLTYPE VertexDeclaration::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DVertexDeclaration9>(this, riid, ppvObject,
                                                    {&IID_IUnknown, &IID_IDirect3DVertexDeclaration9});
}

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements)
{
    if (!pNumElements)
        return D3DERR_INVALIDCALL;
    // The count includes the terminating element.
    const UINT count = static_cast<UINT>(m_elements.size()) + 1;
    if (pElement) {
        for (size_t i = 0; i < m_elements.size(); ++i)
            pElement[i] = m_elements[i];
        pElement[m_elements.size()] = D3DVERTEXELEMENT9 D3DDECL_END();
    }
    *pNumElements = count;
    return D3D_OK;
}

Query::Query(Device* device, D3DQUERYTYPE type) : Lifetime(1), m_device(device), m_type(type) { m_device->AddRef(); }

void Query::onPublicRefsStarted() { m_device->AddRef(); }
void Query::onPublicRefsEnded() { m_device->Release(); }

HRESULT STDMETHODCALLTYPE Query::QueryInterface(REFIID riid, void** ppvObject)
{
    return answerQuery<IDirect3DQuery9>(this, riid, ppvObject, {&IID_IUnknown, &IID_IDirect3DQuery9});
}

HRESULT STDMETHODCALLTYPE Query::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Query::Issue(DWORD dwIssueFlags)
{
    // Events know only an end.
    if (dwIssueFlags != D3DISSUE_END)
        return D3DERR_INVALIDCALL;
    flushDraws(*m_device);
    m_issued = true;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Query::GetData(void* pData, DWORD dwSize, DWORD dwGetDataFlags)
{
    (void)dwGetDataFlags;
    if (!m_issued)
        return D3DERR_INVALIDCALL;
    if (m_device->isLost())
        return D3DERR_DEVICELOST;
    if (pData && dwSize >= sizeof(BOOL))
        *static_cast<BOOL*>(pData) = TRUE;
    return S_OK;
}

} // namespace swd3d9
