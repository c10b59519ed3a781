#include "resources/KXDXRenderSurface.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXResourceSaver.h"

#include <d3dx9.h>

#include <limits>

namespace {

// A KXViewport-style rectangle (left, top, width, height) as a Direct3D
// RECT; false when its right or bottom edge does not fit a LONG.
bool toRect(const KXViewport& viewport, RECT& rect)
{
    const unsigned long long limit = static_cast<unsigned long long>(std::numeric_limits<LONG>::max());
    const unsigned long long right = static_cast<unsigned long long>(viewport.getTopLeftCornerX()) + viewport.getWidth();
    const unsigned long long bottom =
        static_cast<unsigned long long>(viewport.getTopLeftCornerY()) + viewport.getHeight();
    if (right > limit || bottom > limit)
        return false;
    rect.left = static_cast<LONG>(viewport.getTopLeftCornerX());
    rect.top = static_cast<LONG>(viewport.getTopLeftCornerY());
    rect.right = static_cast<LONG>(right);
    rect.bottom = static_cast<LONG>(bottom);
    return true;
}

} // namespace

KXDXRenderSurface::KXDXRenderSurface() : m_device(nullptr, [this] { release(); }) {}

KXDXRenderSurface::~KXDXRenderSurface()
{
    release();
}

int KXDXRenderSurface::initialize(KXDevice* device)
{
    const int linked = m_device.attach(device);
    return linked == KXRESULT_OK ? m_memoryTexture.initialize(device) : linked;
}

int KXDXRenderSurface::create(unsigned width, unsigned height, int renderTarget)
{
    KXDXDevice* dxDevice = m_device.get();
    IDirect3DDevice9* device = dxDevice ? dxDevice->getD3DDevice() : nullptr;
    if (!device)
        return KXRESULT_FAILED;
    KXDXComPtr<IDirect3DSurface9> surface;
    HRESULT made;
    if (renderTarget) {
        // The device's multisampling as it was actually created, after any
        // fallback.
        const D3DPRESENT_PARAMETERS& presentation = dxDevice->getPresentParameters();
        const D3DMULTISAMPLE_TYPE type = m_useDeviceMultisampling ? presentation.MultiSampleType : D3DMULTISAMPLE_NONE;
        const DWORD quality = m_useDeviceMultisampling ? presentation.MultiSampleQuality : 0;
        made = device->CreateRenderTarget(width, height, D3DFMT_A8R8G8B8, type, quality, FALSE, surface.out(), nullptr);
    } else {
        made = device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, surface.out(),
                                                   nullptr);
    }
    if (FAILED(made) || !surface)
        return KXRESULT_FAILED;
    release();
    m_surface = surface.detach();
    m_renderTarget = renderTarget != 0;
    m_width = width;
    m_height = height;
    if (m_renderTarget && m_memoryTexture.create(width, height) != KXRESULT_OK)
        return KXRESULT_FAILED;
    return KXRESULT_OK;
}

void KXDXRenderSurface::releaseSurface()
{
    if (m_surface)
        m_surface->Release();
    m_surface = nullptr;
}

void KXDXRenderSurface::release()
{
    m_memoryTexture.release();
    releaseSurface();
}

int KXDXRenderSurface::copyRegion(const KXViewport& destination, KXRenderSurface* source,
                                  const KXViewport& sourceRect)
{
    if (!m_surface || !source)
        return KXRESULT_NULLARGUMENT;
    auto* dxSource = dynamic_cast<KXDXRenderSurface*>(source);
    RECT to, from;
    if (!dxSource || !dxSource->m_surface || !toRect(destination, to) || !toRect(sourceRect, from))
        return KXRESULT_FAILED;
    // A render target cannot be locked (nor read at all while multisampled):
    // its pixels are read from its read-back texture.
    IDirect3DSurface9* readable = dxSource->m_surface;
    KXDXComPtr<IDirect3DSurface9> level;
    if (dxSource->m_renderTarget) {
        IDirect3DTexture9* texture = dxSource->m_memoryTexture.getTexture();
        if (dxSource->copyToMemoryTexture(&dxSource->m_memoryTexture) != KXRESULT_OK || !texture ||
            FAILED(texture->GetSurfaceLevel(0, level.out())) || !level)
            return KXRESULT_FAILED;
        readable = level.get();
    }
    return SUCCEEDED(D3DXLoadSurfaceFromSurface(m_surface, nullptr, &to, readable, nullptr, &from, D3DX_DEFAULT, 0))
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXDXRenderSurface::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToFile(m_surface, path, fileType);
}

int KXDXRenderSurface::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToImage(m_surface, image, fileType);
}

int KXDXRenderSurface::saveToRawImage(KXRawImage2D* image)
{
    if (!image || !m_surface)
        return KXRESULT_NULLARGUMENT;
    // A render target is never lockable: it is read back through main memory.
    if (m_renderTarget) {
        if (copyToMemoryTexture(&m_memoryTexture) != KXRESULT_OK)
            return KXRESULT_FAILED;
        return m_memoryTexture.saveToRawImage(image);
    }
    return KXDXResourceSaver::saveToRawImage(m_surface, image);
}

int KXDXRenderSurface::copyToMemoryTexture(KXMemoryTexture* texture)
{
    if (!texture)
        return KXRESULT_NULLARGUMENT;
    auto* memory = dynamic_cast<KXDXMemoryTexture*>(texture);
    IDirect3DDevice9* device = m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
    if (!memory || !m_surface || !memory->getTexture() || !device || memory->getWidth() != m_width ||
        memory->getHeight() != m_height)
        return KXRESULT_FAILED;
    KXDXComPtr<IDirect3DSurface9> level;
    D3DSURFACE_DESC desc;
    if (FAILED(memory->getTexture()->GetSurfaceLevel(0, level.out())) || !level || FAILED(m_surface->GetDesc(&desc)))
        return KXRESULT_FAILED;
    // GetRenderTargetData refuses a multisampled source: such a target is
    // first resolved into a plain render target of its size.
    IDirect3DSurface9* source = m_surface;
    KXDXComPtr<IDirect3DSurface9> resolved;
    if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
        if (FAILED(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                              resolved.out(), nullptr)) ||
            !resolved || FAILED(device->StretchRect(m_surface, nullptr, resolved.get(), nullptr, D3DTEXF_NONE)))
            return KXRESULT_FAILED;
        source = resolved.get();
    }
    return SUCCEEDED(device->GetRenderTargetData(source, level.get())) ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXRenderSurface::copyTo(KXRenderSurface* target)
{
    if (!target)
        return KXRESULT_NULLARGUMENT;
    auto* dxTarget = dynamic_cast<KXDXRenderSurface*>(target);
    IDirect3DDevice9* device = m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
    if (!dxTarget || !m_surface || !dxTarget->m_surface || !device || dxTarget->m_width != m_width ||
        dxTarget->m_height != m_height)
        return KXRESULT_FAILED;
    return SUCCEEDED(device->StretchRect(m_surface, nullptr, dxTarget->m_surface, nullptr, D3DTEXF_NONE))
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXDXRenderSurface::loadFromMemoryTexture(KXMemoryTexture* texture)
{
    if (!texture)
        return KXRESULT_NULLARGUMENT;
    auto* memory = dynamic_cast<KXDXMemoryTexture*>(texture);
    IDirect3DDevice9* device = m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
    if (!memory || !m_surface || !memory->getTexture() || !device || m_width > memory->getWidth() ||
        m_height > memory->getHeight())
        return KXRESULT_FAILED;
    KXDXComPtr<IDirect3DSurface9> level;
    if (FAILED(memory->getTexture()->GetSurfaceLevel(0, level.out())) || !level)
        return KXRESULT_FAILED;
    // UpdateSurface needs the source rectangle to fit the destination: the
    // texture's top-left corner of this surface's size is uploaded.
    const RECT corner = {0, 0, static_cast<LONG>(m_width), static_cast<LONG>(m_height)};
    return device->UpdateSurface(level.get(), &corner, m_surface, nullptr) == D3D_OK ? KXRESULT_OK
                                                                                       : KXRESULT_FAILED;
}
