#pragma once

// Vertex declarations and queries: small device objects without storage.

#include "d3d9/Objects.h"

#include <vector>

namespace swd3d9 {

class Device;

class VertexDeclaration final : public IDirect3DVertexDeclaration9, public Lifetime
{
public:
    // D3DERR_INVALIDCALL for a declaration that Direct3D would refuse,
    // E_OUTOFMEMORY when memory runs out (*declaration is then untouched).
    static HRESULT create(Device* device, const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration);

    // The elements without the terminating D3DDECL_END.
    const std::vector<D3DVERTEXELEMENT9>& elements() const { return m_elements; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;

protected:
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;

private:
    explicit VertexDeclaration(Device* device);
    ~VertexDeclaration() override = default;

    Device* m_device;
    std::vector<D3DVERTEXELEMENT9> m_elements;
};

// Event queries: issuing one finishes the draws before it (those waiting in
// the pipeline's batch are rasterised then), so it is signalled at once.
class Query final : public IDirect3DQuery9, public Lifetime
{
public:
    explicit Query(Device* device, D3DQUERYTYPE type);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override;
    D3DQUERYTYPE STDMETHODCALLTYPE GetType() override { return m_type; }
    DWORD STDMETHODCALLTYPE GetDataSize() override { return sizeof(BOOL); }
    HRESULT STDMETHODCALLTYPE Issue(DWORD dwIssueFlags) override;
    HRESULT STDMETHODCALLTYPE GetData(void* pData, DWORD dwSize, DWORD dwGetDataFlags) override;

protected:
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;

private:
    ~Query() override = default;

    Device* m_device;
    D3DQUERYTYPE m_type;
    bool m_issued = false;
};

} // namespace swd3d9
