#include "resources/KXDXResourceSaver.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXComPtr.h"
#include "renderer/dx/KXDXRenderer.h"
#include "renderer/dx/KXDXSurfaceReader.h"
#include "sceneapi/KXRawImage2D.h"

#include <d3dx9.h>

namespace {

// Hands the encoded bytes to the image, which is told the type of the file
// it now holds (unknown types are written as BMP). Taking the copy can run
// out of memory.
int storeEncoded(ID3DXBuffer* encoded, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!encoded)
        return KXRESULT_FAILED;
    int stored = -1;
    kxRunWithinMemory([&] {
        stored = image->setData(encoded->GetBufferPointer(), encoded->GetBufferSize(),
                                KXDXRenderer::writtenFileType(fileType));
    });
    return stored == 0 ? KXRESULT_OK : KXRESULT_FAILED;
}

bool isSavable(const void* object, const void* target, KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    return object && target && KXDXRenderer::isSavableFileType(fileType);
}

} // namespace

int KXDXResourceSaver::saveToFile(IDirect3DSurface9* surface, const wchar_t* path,
                                  KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!isSavable(surface, path, fileType))
        return KXRESULT_FAILED;
    return SUCCEEDED(D3DXSaveSurfaceToFileW(path, KXDXRenderer::toFileFormat(fileType), surface, nullptr, nullptr))
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXDXResourceSaver::saveToFile(IDirect3DBaseTexture9* texture, const wchar_t* path,
                                  KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!isSavable(texture, path, fileType))
        return KXRESULT_FAILED;
    return SUCCEEDED(D3DXSaveTextureToFileW(path, KXDXRenderer::toFileFormat(fileType), texture, nullptr))
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

int KXDXResourceSaver::saveToImage(IDirect3DSurface9* surface, KXImage2D* image,
                                   KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!isSavable(surface, image, fileType))
        return KXRESULT_FAILED;
    KXDXComPtr<ID3DXBuffer> encoded;
    if (FAILED(D3DXSaveSurfaceToFileInMemory(encoded.out(), KXDXRenderer::toFileFormat(fileType), surface, nullptr,
                                             nullptr)))
        return KXRESULT_FAILED;
    return storeEncoded(encoded.get(), image, fileType);
}

int KXDXResourceSaver::saveToImage(IDirect3DBaseTexture9* texture, KXImage2D* image,
                                   KXImage2D::KXIMAGE2DFILETYPE fileType)
{
    if (!isSavable(texture, image, fileType))
        return KXRESULT_FAILED;
    KXDXComPtr<ID3DXBuffer> encoded;
    if (FAILED(D3DXSaveTextureToFileInMemory(encoded.out(), KXDXRenderer::toFileFormat(fileType), texture, nullptr)))
        return KXRESULT_FAILED;
    return storeEncoded(encoded.get(), image, fileType);
}

int KXDXResourceSaver::saveToRawImage(IDirect3DSurface9* lockable, KXRawImage2D* image)
{
    if (!lockable || !image)
        return KXRESULT_NULLARGUMENT;
    return KXDXSurfaceReader::copyToRawImage(lockable, *image);
}
