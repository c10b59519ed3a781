#include "renderer/dx/KXDXSurfaceReader.h"

#include "renderer/KXResult.h"
#include "sceneapi/KXRawImage2D.h"

#include <cstdint>
#include <cstring>

namespace {

// The nearest 8-bit value to a 5- or 6-bit component, round(v * 255 / 31)
// and round(v * 255 / 63) in integers (no value falls on a half): what the
// window shows of the same pixel.
inline uint8_t widen5(unsigned v) { return static_cast<uint8_t>((v * 510u + 31u) / 62u); }
inline uint8_t widen6(unsigned v) { return static_cast<uint8_t>((v * 510u + 63u) / 126u); }

void copyRow(D3DFORMAT format, const uint8_t* source, uint8_t* destination, unsigned width)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
        std::memcpy(destination, source, static_cast<size_t>(width) * 4);
        break;
    case D3DFMT_X8R8G8B8:
        for (unsigned x = 0; x < width; ++x) {
            std::memcpy(destination + 4 * x, source + 4 * x, 3);
            destination[4 * x + 3] = 255;
        }
        break;
    case D3DFMT_R5G6B5:
        for (unsigned x = 0; x < width; ++x) {
            const unsigned pixel = source[2 * x] | (source[2 * x + 1] << 8);
            destination[4 * x + 0] = widen5(pixel & 0x1F);
            destination[4 * x + 1] = widen6((pixel >> 5) & 0x3F);
            destination[4 * x + 2] = widen5(pixel >> 11);
            destination[4 * x + 3] = 255;
        }
        break;
    default:
        break;
    }
}

} // namespace

KXDXComPtr<IDirect3DSurface9> KXDXSurfaceReader::readBack(IDirect3DDevice9* device, IDirect3DSurface9* target)
{
    KXDXComPtr<IDirect3DSurface9> none;
    if (!device || !target)
        return none;
    D3DSURFACE_DESC desc;
    if (FAILED(target->GetDesc(&desc)))
        return none;

    IDirect3DSurface9* plain = target;
    KXDXComPtr<IDirect3DSurface9> resolved;
    if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
        if (FAILED(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                              resolved.out(), nullptr)) ||
            !resolved ||
            FAILED(device->StretchRect(target, nullptr, resolved.get(), nullptr, D3DTEXF_NONE)))
            return none;
        plain = resolved.get();
    }

    KXDXComPtr<IDirect3DSurface9> memory;
    if (FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                   memory.out(), nullptr)) ||
        !memory || FAILED(device->GetRenderTargetData(plain, memory.get())))
        return none;
    return memory;
}

KXDXComPtr<IDirect3DSurface9> KXDXSurfaceReader::readBackBuffer(IDirect3DDevice9* device)
{
    KXDXComPtr<IDirect3DSurface9> backBuffer;
    if (!device || FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.out())) || !backBuffer)
        return KXDXComPtr<IDirect3DSurface9>();
    return readBack(device, backBuffer.get());
}

int KXDXSurfaceReader::copyToRawImage(IDirect3DSurface9* surface, KXRawImage2D& image)
{
    if (!surface)
        return KXRESULT_FAILED;
    D3DSURFACE_DESC desc;
    if (FAILED(surface->GetDesc(&desc)))
        return KXRESULT_FAILED;
    if (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_R5G6B5)
        return KXRESULT_FAILED;
    image.setWidth(desc.Width);
    image.setHeight(desc.Height);
    image.setFormat(KXRawImage2D::KXRAWIMAGE2D_BGRA);
    if (image.createData() != 0)
        return KXRESULT_FAILED;

    D3DLOCKED_RECT locked;
    if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY)) || !locked.pBits)
        return KXRESULT_FAILED;
    const auto* bits = static_cast<const uint8_t*>(locked.pBits);
    for (unsigned y = 0; y < desc.Height; ++y)
        copyRow(desc.Format, bits + static_cast<size_t>(y) * locked.Pitch, image.getRow(y), desc.Width);
    surface->UnlockRect();
    return KXRESULT_OK;
}
