#include "resources/KXDXRenderTexture.h"

#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXSurfaceReader.h"
#include "resources/KXDXMemoryTexture.h"
#include "resources/KXDXResourceSaver.h"

KXDXRenderTexture::KXDXRenderTexture() : KXDXImage2DImpl(nullptr) {}

// The texture is owned through KXDXImage2DImpl, which releases it.
KXDXRenderTexture::~KXDXRenderTexture() = default;

void KXDXRenderTexture::dispose()
{
    setTexture(nullptr, false);
    m_width = 0;
    m_height = 0;
}

void KXDXRenderTexture::bind(unsigned stage)
{
    KXDXImage2DImpl::bind(stage);
}

int KXDXRenderTexture::initialize(KXDevice* device)
{
    if (!device)
        return KXRESULT_NULLARGUMENT;
    auto* dxDevice = dynamic_cast<KXDXDevice*>(device);
    if (!dxDevice)
        return KXRESULT_FAILED;
    // A texture belongs to the device it was made on: moving to another
    // releases it.
    if (dxDevice != getDevice())
        dispose();
    return linkDevice(dxDevice) ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXRenderTexture::create(unsigned width, unsigned height, int mipmap, int renderTarget)
{
    IDirect3DDevice9* device = getDevice() ? getDevice()->getD3DDevice() : nullptr;
    if (!device)
        return KXRESULT_FAILED;
    const DWORD usage = (mipmap ? D3DUSAGE_AUTOGENMIPMAP : 0) | (renderTarget ? D3DUSAGE_RENDERTARGET : 0);
    KXDXComPtr<IDirect3DTexture9> texture;
    if (FAILED(device->CreateTexture(width, height, mipmap ? 0 : 1, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                     texture.out(), nullptr)) ||
        !texture)
        return KXRESULT_FAILED;
    setTexture(texture.detach(), true);
    m_width = width;
    m_height = height;
    return KXRESULT_OK;
}

int KXDXRenderTexture::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToFile(getTexture(), path, fileType);
}

int KXDXRenderTexture::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToImage(getTexture(), image, fileType);
}

int KXDXRenderTexture::saveToRawImage(KXRawImage2D* image)
{
    IDirect3DTexture9* texture = getTexture();
    if (!image || !texture)
        return KXRESULT_NULLARGUMENT;
    IDirect3DDevice9* device = getDevice() ? getDevice()->getD3DDevice() : nullptr;
    // A default-pool texture is never lockable: level 0 is copied into main
    // memory first (which only a render target allows).
    KXDXComPtr<IDirect3DSurface9> level;
    if (FAILED(texture->GetSurfaceLevel(0, level.out())) || !level)
        return KXRESULT_FAILED;
    const KXDXComPtr<IDirect3DSurface9> pixels = KXDXSurfaceReader::readBack(device, level.get());
    if (!pixels)
        return KXRESULT_FAILED;
    return KXDXResourceSaver::saveToRawImage(pixels.get(), image);
}

int KXDXRenderTexture::copyToMemoryTexture(KXMemoryTexture* texture)
{
    if (!texture)
        return KXRESULT_NULLARGUMENT;
    auto* memory = dynamic_cast<KXDXMemoryTexture*>(texture);
    IDirect3DDevice9* device = getDevice() ? getDevice()->getD3DDevice() : nullptr;
    if (!memory || !getTexture() || !memory->getTexture() || !device || memory->getWidth() != m_width ||
        memory->getHeight() != m_height)
        return KXRESULT_FAILED;
    KXDXComPtr<IDirect3DSurface9> source, destination;
    if (FAILED(getTexture()->GetSurfaceLevel(0, source.out())) || !source ||
        FAILED(memory->getTexture()->GetSurfaceLevel(0, destination.out())) || !destination)
        return KXRESULT_FAILED;
    return SUCCEEDED(device->GetRenderTargetData(source.get(), destination.get())) ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXDXRenderTexture::loadFromMemoryTexture(KXMemoryTexture* texture)
{
    if (!texture)
        return KXRESULT_NULLARGUMENT;
    auto* memory = dynamic_cast<KXDXMemoryTexture*>(texture);
    IDirect3DDevice9* device = getDevice() ? getDevice()->getD3DDevice() : nullptr;
    // UpdateTexture matches levels by size from the smallest up: a one-level
    // memory texture fills only a texture of exactly its size.
    if (!memory || !getTexture() || !memory->getTexture() || !device || memory->getWidth() != m_width ||
        memory->getHeight() != m_height)
        return KXRESULT_FAILED;
    // UpdateTexture may copy only what is marked dirty; a texture filled by
    // GetRenderTargetData is not, so the whole of it is marked first.
    memory->getTexture()->AddDirtyRect(nullptr);
    return device->UpdateTexture(memory->getTexture(), getTexture()) == D3D_OK ? KXRESULT_OK : KXRESULT_FAILED;
}
