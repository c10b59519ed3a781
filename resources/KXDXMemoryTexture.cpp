#include "resources/KXDXMemoryTexture.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXDevice.h"
#include "resources/KXDXResourceSaver.h"

KXDXMemoryTexture::KXDXMemoryTexture() : m_device(nullptr, [this] { release(); }) {}

KXDXMemoryTexture::~KXDXMemoryTexture()
{
    release();
}

int KXDXMemoryTexture::initialize(KXDevice* device)
{
    return m_device.attach(device);
}

int KXDXMemoryTexture::create(unsigned width, unsigned height)
{
    IDirect3DDevice9* device = m_device.get() ? m_device.get()->getD3DDevice() : nullptr;
    if (!device)
        return KXRESULT_FAILED;
    KXDXComPtr<IDirect3DTexture9> texture;
    if (FAILED(device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                     texture.out(), nullptr)) ||
        !texture)
        return KXRESULT_FAILED;
    release();
    m_texture = texture.detach();
    m_width = width;
    m_height = height;
    return KXRESULT_OK;
}

void KXDXMemoryTexture::release()
{
    if (m_texture)
        m_texture->Release();
    m_texture = nullptr;
    m_width = 0;
    m_height = 0;
}

int KXDXMemoryTexture::saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToFile(m_texture, path, fileType);
}

int KXDXMemoryTexture::saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return KXDXResourceSaver::saveToImage(m_texture, image, fileType);
}

int KXDXMemoryTexture::saveToRawImage(KXRawImage2D* image)
{
    if (!image || !m_texture)
        return KXRESULT_NULLARGUMENT;
    KXDXComPtr<IDirect3DSurface9> level;
    if (FAILED(m_texture->GetSurfaceLevel(0, level.out())) || !level)
        return KXRESULT_FAILED;
    return KXDXResourceSaver::saveToRawImage(level.get(), image);
}
