// D3DX 9 texture functions: loading image files into surfaces and textures,
// copying between surfaces, and saving surfaces and textures as files.

#include <d3dx9.h>

#include "d3d9/Blit.h"
#include "pipeline/Formats.h"
#include "d3d9/Resources.h"
#include "d3dx9/D3DXImage.h"
#include "d3dx9/D3DXPaths.h"
#include "sceneapi/KXFileUtils.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

using swd3d9::PixelBuffer;
using swd3d9::Surface;
using swd3d9::TextureCore;
using swd3dx::FloatImage;
using swd3dx::ImageFile;

namespace {

// Files the file functions read, at most.
const size_t MAX_FILE_SIZE = size_t(1) << 30;
// JPEG quality of saved files.
const int JPEG_QUALITY = 90;

// The objects behind interfaces whose pixels are about to be read or
// written here, with the device's waiting draws done first.
Surface* surfaceForAccess(IDirect3DSurface9* surface)
{
    Surface* object = swd3d9::toSurface(surface);
    if (object)
        swd3d9::flushPendingDraws(object->device());
    return object;
}

TextureCore* textureForAccess(IDirect3DBaseTexture9* texture)
{
    TextureCore* object = swd3d9::toTexture(texture);
    if (object)
        swd3d9::flushPendingDraws(object->resource().device());
    return object;
}

RECT wholeRect(UINT width, UINT height) { return RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)}; }

bool resolveRect(const RECT* rect, UINT width, UINT height, RECT& out)
{
    out = rect ? *rect : wholeRect(width, height);
    return swd3d9::isValidRect(out, width, height);
}

HRESULT readWholeFile(LPCWSTR path, std::vector<unsigned char>& bytes)
{
    if (!path)
        return D3DERR_INVALIDCALL;
    return KXFileUtils::readFile(path, bytes, MAX_FILE_SIZE) == 0 ? D3D_OK : D3DERR_NOTFOUND;
}

UINT nextPowerOfTwo(UINT value)
{
    UINT result = 1;
    while (result < value && result < (1u << 31))
        result <<= 1;
    return result;
}

bool isDefaultSize(UINT size) { return size == 0 || size == D3DX_DEFAULT; }

// A requested format as the caller's 32-bit code. D3DFMT_FROM_FILE and
// D3DX_DEFAULT lie beyond the enumerators of D3DFORMAT (whose values stop
// at 0x7FFFFFFF), so a request is copied as a number, never loaded as a
// D3DFORMAT, and becomes one only when it is in the enumeration's range.
DWORD formatCode(const D3DFORMAT& format)
{
    DWORD code;
    std::memcpy(&code, &format, sizeof code);
    return code;
}

const DWORD FROM_FILE_CODE = static_cast<DWORD>(-3);
const DWORD LARGEST_FORMAT_CODE = 0x7FFFFFFF;

bool isDefaultFormat(DWORD code) { return code == D3DFMT_UNKNOWN || code == D3DX_DEFAULT; }

// A texture format the device holds for a requested one: the format
// itself, else one with as much alpha.
D3DFORMAT supportedFormat(DWORD requested, bool alpha)
{
    if (requested <= LARGEST_FORMAT_CODE && swd3d9::isColorFormat(static_cast<D3DFORMAT>(requested)))
        return static_cast<D3DFORMAT>(requested);
    if (requested == D3DFMT_DXT1)
        alpha = true;
    return alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

// Writes a picture into a rectangle of a surface with a filter; the
// surface's container learns of the change.
HRESULT loadIntoSurface(IDirect3DSurface9* destination, const RECT* destRect, FloatImage& picture, DWORD filter,
                        D3DCOLOR colorKey)
{
    Surface* surface = surfaceForAccess(destination);
    if (!surface)
        return D3DERR_INVALIDCALL;
    RECT rect;
    if (!resolveRect(destRect, surface->desc().Width, surface->desc().Height, rect))
        return D3DERR_INVALIDCALL;
    if (!swd3d9::isColorFormat(surface->desc().Format))
        return D3DERR_INVALIDCALL;
    const DWORD type = swd3dx::filterType(filter, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER);
    if (type == 0)
        return D3DERR_INVALIDCALL;
    swd3dx::applyColorKey(picture, colorKey);
    FloatImage scaled;
    if (!swd3dx::resample(picture, static_cast<UINT>(rect.right - rect.left), static_cast<UINT>(rect.bottom - rect.top),
                          type, scaled))
        return E_OUTOFMEMORY;
    swd3dx::writePixels(surface->pixels(), rect, 0, scaled);
    surface->noteContentChanged(&rect);
    return D3D_OK;
}

// Fills levels below srcLevel of every face from the level above.
// E_OUTOFMEMORY, with the levels done so far filled, when memory runs out.
[[nodiscard]] HRESULT filterLevels(TextureCore& texture, UINT sourceLevel, DWORD type)
{
    for (UINT face = 0; face < texture.faceCount(); ++face) {
        for (UINT level = sourceLevel + 1; level < texture.storedLevelCount(); ++level) {
            const UINT w = texture.width(level), h = texture.height(level);
            if (texture.kind() == D3DRTYPE_VOLUMETEXTURE) {
                PixelBuffer& from = texture.volume(level - 1)->pixels();
                PixelBuffer& to = texture.volume(level)->pixels();
                const UINT sourceDepth = from.depth();
                for (UINT z = 0; z < to.depth(); ++z) {
                    // Each slice averages the two slices above it.
                    FloatImage a, b, scaled;
                    const RECT all = wholeRect(from.width(), from.height());
                    if (!swd3dx::readPixels(from, all, std::min(sourceDepth - 1, z * 2), a) ||
                        !swd3dx::readPixels(from, all, std::min(sourceDepth - 1, z * 2 + 1), b))
                        return E_OUTOFMEMORY;
                    for (size_t i = 0; i < a.pixels.size(); ++i)
                        a.pixels[i] = (a.pixels[i] + b.pixels[i]) * 0.5f;
                    if (!swd3dx::resample(a, w, h, type, scaled))
                        return E_OUTOFMEMORY;
                    swd3dx::writePixels(to, wholeRect(w, h), z, scaled);
                }
            } else {
                Surface* from = texture.surface(face, level - 1);
                FloatImage picture, scaled;
                if (!swd3dx::readPixels(from->pixels(), wholeRect(from->desc().Width, from->desc().Height), 0,
                                        picture) ||
                    !swd3dx::resample(picture, w, h, type, scaled))
                    return E_OUTOFMEMORY;
                swd3dx::writePixels(texture.surface(face, level)->pixels(), wholeRect(w, h), 0, scaled);
            }
            texture.noteLevelChanged(face, level, nullptr, true);
        }
    }
    return D3D_OK;
}

// Loads one picture of a file into a level (and face) of a texture.
HRESULT loadLevel(TextureCore& texture, UINT face, UINT level, const ImageFile& file, UINT fileFace, UINT fileLevel,
                  DWORD filterType, D3DCOLOR colorKey)
{
    if (texture.kind() == D3DRTYPE_VOLUMETEXTURE) {
        PixelBuffer& pixels = texture.volume(level)->pixels();
        const UINT fileSlices = file.isDDS && file.dds.volume ? std::max(1u, file.dds.depth >> fileLevel) : 1;
        for (UINT z = 0; z < pixels.depth(); ++z) {
            FloatImage picture, scaled;
            const UINT slice = std::min(fileSlices - 1, z * fileSlices / pixels.depth());
            const HRESULT read = swd3dx::readImage(file, fileFace, fileLevel, slice, picture);
            if (FAILED(read))
                return read;
            swd3dx::applyColorKey(picture, colorKey);
            if (!swd3dx::resample(picture, pixels.width(), pixels.height(), filterType, scaled))
                return E_OUTOFMEMORY;
            swd3dx::writePixels(pixels, wholeRect(pixels.width(), pixels.height()), z, scaled);
        }
        texture.noteLevelChanged(0, level, nullptr, true);
        return D3D_OK;
    }
    Surface* surface = texture.surface(face, level);
    FloatImage picture, scaled;
    const HRESULT read = swd3dx::readImage(file, fileFace, fileLevel, 0, picture);
    if (FAILED(read))
        return read;
    swd3dx::applyColorKey(picture, colorKey);
    if (!swd3dx::resample(picture, surface->desc().Width, surface->desc().Height, filterType, scaled))
        return E_OUTOFMEMORY;
    swd3dx::writePixels(surface->pixels(), wholeRect(surface->desc().Width, surface->desc().Height), 0, scaled);
    surface->noteContentChanged(nullptr);
    return D3D_OK;
}

// Fills a new texture from a file: level by level from a DDS file whose
// levels match, else the top level and filtered levels below.
HRESULT fillTexture(TextureCore& texture, const ImageFile& file, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey)
{
    const DWORD type = swd3dx::filterType(filter, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER);
    const DWORD mipType = swd3dx::filterType(mipFilter, D3DX_FILTER_BOX);
    if (type == 0 || mipType == 0)
        return D3DERR_INVALIDCALL;
    const bool fileLevels = file.isDDS && texture.width(0) == file.info.Width && texture.height(0) == file.info.Height &&
                            texture.depth(0) == file.info.Depth;
    const bool generated = texture.generatesMipmaps();
    for (UINT face = 0; face < texture.faceCount(); ++face) {
        UINT fileFace = 0;
        if (texture.kind() == D3DRTYPE_CUBETEXTURE) {
            // Faces the file lacks stay empty.
            if (!file.isDDS || !((file.dds.faceMask >> face) & 1))
                continue;
            fileFace = face;
        }
        const UINT levels = generated ? 1 : texture.levelCount();
        for (UINT level = 0; level < levels; ++level) {
            if (level > 0 && !(fileLevels && level < file.info.MipLevels))
                break;
            const HRESULT loaded = loadLevel(texture, face, level, file, fileFace, level, type, colorKey);
            if (FAILED(loaded))
                return loaded;
        }
    }
    // Levels the file did not provide come from the levels above.
    const UINT provided = fileLevels ? std::min(file.info.MipLevels, texture.levelCount()) : 1;
    if (!generated && provided < texture.levelCount())
        return filterLevels(texture, provided - 1, mipType);
    return D3D_OK;
}

// Size, level count and format of a texture made from a file.
// False when the requested format is none the device holds.
bool chooseTextureLayout(const ImageFile& file, UINT& width, UINT& height, UINT& depth, UINT& levels,
                         const D3DFORMAT& requestedFormat, D3DFORMAT& format)
{
    auto pick = [](UINT requested, UINT fromFile) {
        if (isDefaultSize(requested))
            return nextPowerOfTwo(fromFile);
        if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE)
            return fromFile;
        return requested;
    };
    width = pick(width, file.info.Width);
    height = pick(height, file.info.Height);
    depth = pick(depth, file.info.Depth);
    if (levels == D3DX_FROM_FILE)
        levels = file.info.MipLevels;
    else if (levels == D3DX_DEFAULT)
        levels = 0;
    const DWORD code = formatCode(requestedFormat);
    if (code == FROM_FILE_CODE)
        format = file.info.Format;
    else if (isDefaultFormat(code))
        format = supportedFormat(file.info.Format, file.hasAlpha);
    else if (code <= LARGEST_FORMAT_CODE)
        format = static_cast<D3DFORMAT>(code);
    else
        return false;
    return swd3d9::isColorFormat(format);
}

// Serialises the pixels of a rectangle (or of whole levels) in a format a
// DDS file can name; false for formats it cannot.
bool ddsLayoutOf(D3DFORMAT format, kxcodec::DDSInfo& layout)
{
    using namespace kxcodec;
    struct Entry {
        D3DFORMAT format;
        uint32_t flags, bits, r, g, b, a;
    };
    static const Entry entries[] = {
        {D3DFMT_A8R8G8B8, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
        {D3DFMT_X8R8G8B8, DDS_PF_RGB, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},
        {D3DFMT_A8B8G8R8, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
        {D3DFMT_X8B8G8R8, DDS_PF_RGB, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
        {D3DFMT_R5G6B5, DDS_PF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0},
        {D3DFMT_X1R5G5B5, DDS_PF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0},
        {D3DFMT_A1R5G5B5, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
        {D3DFMT_A4R4G4B4, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
        {D3DFMT_X4R4G4B4, DDS_PF_RGB, 16, 0x0F00, 0x00F0, 0x000F, 0},
        {D3DFMT_A2R10G10B10, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
        {D3DFMT_A2B10G10R10, DDS_PF_RGB | DDS_PF_ALPHAPIXELS, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000},
        {D3DFMT_G16R16, DDS_PF_RGB, 32, 0x0000FFFF, 0xFFFF0000, 0, 0},
        {D3DFMT_A8, DDS_PF_ALPHA, 8, 0, 0, 0, 0xFF},
        {D3DFMT_L8, DDS_PF_LUMINANCE, 8, 0xFF, 0, 0, 0},
        {D3DFMT_A8L8, DDS_PF_LUMINANCE | DDS_PF_ALPHAPIXELS, 16, 0xFF, 0, 0, 0xFF00},
        {D3DFMT_L16, DDS_PF_LUMINANCE, 16, 0xFFFF, 0, 0, 0},
    };
    for (const Entry& e : entries) {
        if (e.format == format) {
            layout.formatFlags = e.flags;
            layout.bitCount = e.bits;
            layout.masks[0] = e.r;
            layout.masks[1] = e.g;
            layout.masks[2] = e.b;
            layout.masks[3] = e.a;
            layout.fourCC = 0;
            return true;
        }
    }
    switch (format) {
    case D3DFMT_R16F:
    case D3DFMT_G16R16F:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_R32F:
    case D3DFMT_G32R32F:
    case D3DFMT_A32B32G32R32F:
        layout.formatFlags = DDS_PF_FOURCC;
        layout.fourCC = static_cast<uint32_t>(format);
        layout.bitCount = 0;
        std::fill(layout.masks, layout.masks + 4, 0u);
        return true;
    default:
        return false;
    }
}

// Appends rows of a rectangle of one slice, converted to `format` (the
// buffer's own format copies bytes; samples are averaged). False when
// memory for the conversion runs out.
bool appendRect(const PixelBuffer& pixels, const RECT& rect, UINT slice, D3DFORMAT format, kxcodec::Bytes& out)
{
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const size_t rowBytes = static_cast<size_t>(width) * swd3d9::bytesPerPixel(format);
    if (format == pixels.format() && pixels.samples() == 1) {
        for (LONG y = rect.top; y < rect.bottom; ++y) {
            const uint8_t* p = pixels.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(y), slice);
            out.insert(out.end(), p, p + rowBytes);
        }
        return true;
    }
    FloatImage picture;
    if (!swd3dx::readPixels(pixels, rect, slice, picture))
        return false;
    std::vector<uint8_t> row(rowBytes);
    for (UINT y = 0; y < picture.height; ++y) {
        swd3d9::encodePixels(format, picture.at(0, y), width, row.data());
        out.insert(out.end(), row.begin(), row.end());
    }
    return true;
}

int fileTypeOf(D3DXIMAGE_FILEFORMAT format)
{
    switch (format) {
    case D3DXIFF_BMP:
        return KXImage2D::KXIMAGE2D_BMP;
    case D3DXIFF_JPG:
        return KXImage2D::KXIMAGE2D_JPG;
    case D3DXIFF_TGA:
        return KXImage2D::KXIMAGE2D_TGA;
    case D3DXIFF_PNG:
        return KXImage2D::KXIMAGE2D_PNG;
    case D3DXIFF_DDS:
        return KXImage2D::KXIMAGE2D_DDS;
    case D3DXIFF_PPM:
        return KXImage2D::KXIMAGE2D_PPM;
    case D3DXIFF_DIB:
        return KXImage2D::KXIMAGE2D_DIB;
    case D3DXIFF_HDR:
        return KXImage2D::KXIMAGE2D_HDR;
    case D3DXIFF_PFM:
        return KXImage2D::KXIMAGE2D_PFM;
    default:
        return KXImage2D::KXIMAGE2D_UNKNOWN;
    }
}

// Encodes one rectangle of one slice as a picture file.
HRESULT encodePicture(const PixelBuffer& pixels, const RECT& rect, UINT slice, D3DXIMAGE_FILEFORMAT format,
                      kxcodec::Bytes& out)
{
    const int type = fileTypeOf(format);
    if (type == KXImage2D::KXIMAGE2D_UNKNOWN)
        return D3DERR_INVALIDCALL;
    if (format == D3DXIFF_DDS) {
        kxcodec::DDSInfo layout;
        D3DFORMAT stored = pixels.format();
        if (!ddsLayoutOf(stored, layout)) {
            stored = D3DFMT_A8R8G8B8;
            ddsLayoutOf(stored, layout);
        }
        layout.width = static_cast<uint32_t>(rect.right - rect.left);
        layout.height = static_cast<uint32_t>(rect.bottom - rect.top);
        kxcodec::appendDDSHeader(out, layout);
        return appendRect(pixels, rect, slice, stored, out) ? D3D_OK : E_OUTOFMEMORY;
    }
    FloatImage picture;
    if (!swd3dx::readPixels(pixels, rect, slice, picture))
        return E_OUTOFMEMORY;
    KXRawImage2D raw(picture.width, picture.height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    if (raw.createData() != 0)
        return E_OUTOFMEMORY;
    const bool alpha = swd3d9::findFormat(pixels.format())->hasAlpha;
    std::vector<unsigned char> row(raw.getRowSize());
    for (UINT y = 0; y < picture.height; ++y) {
        const float* p = picture.at(0, y);
        for (size_t i = 0; i < row.size(); ++i) {
            const float v = (i % 4 == 3 && !alpha) ? 1.0f : p[i];
            row[i] = static_cast<unsigned char>(v <= 0.0f ? 0 : v >= 1.0f ? 255 : static_cast<int>(v * 255.0f + 0.5f));
        }
        kxcodec::storeRowRGBA(raw, y, row.data());
    }
    const int encoded = kxcodec::encodeAny(raw, static_cast<KXImage2D::KXIMAGE2DFILETYPE>(type), JPEG_QUALITY, out);
    if (encoded != 0)
        return encoded == kxcodec::OUT_OF_MEMORY ? E_OUTOFMEMORY : E_FAIL;
    return D3D_OK;
}

HRESULT encodeSurface(IDirect3DSurface9* source, D3DXIMAGE_FILEFORMAT format, const RECT* sourceRect,
                      kxcodec::Bytes& out)
{
    Surface* surface = surfaceForAccess(source);
    if (!surface || !swd3d9::isColorFormat(surface->desc().Format))
        return D3DERR_INVALIDCALL;
    RECT rect;
    if (!resolveRect(sourceRect, surface->desc().Width, surface->desc().Height, rect))
        return D3DERR_INVALIDCALL;
    return encodePicture(surface->pixels(), rect, 0, format, out);
}

HRESULT encodeTexture(IDirect3DBaseTexture9* source, D3DXIMAGE_FILEFORMAT format, kxcodec::Bytes& out)
{
    TextureCore* texture = textureForAccess(source);
    if (!texture)
        return D3DERR_INVALIDCALL;
    if (format != D3DXIFF_DDS) {
        // Other formats hold the top level of the first face or slice.
        const PixelBuffer& top = texture->kind() == D3DRTYPE_VOLUMETEXTURE ? texture->volume(0)->pixels()
                                                                           : texture->surface(0, 0)->pixels();
        return encodePicture(top, wholeRect(top.width(), top.height()), 0, format, out);
    }
    kxcodec::DDSInfo layout;
    D3DFORMAT stored = texture->format();
    if (!ddsLayoutOf(stored, layout)) {
        stored = D3DFMT_A8R8G8B8;
        ddsLayoutOf(stored, layout);
    }
    layout.width = texture->width(0);
    layout.height = texture->height(0);
    layout.depth = texture->depth(0);
    layout.volume = texture->kind() == D3DRTYPE_VOLUMETEXTURE;
    layout.faceMask = texture->kind() == D3DRTYPE_CUBETEXTURE ? 0x3F : 0;
    layout.mipLevels = texture->levelCount();
    kxcodec::appendDDSHeader(out, layout);
    for (UINT face = 0; face < texture->faceCount(); ++face) {
        for (UINT level = 0; level < texture->levelCount(); ++level) {
            const UINT w = texture->width(level), h = texture->height(level);
            if (layout.volume) {
                const PixelBuffer& pixels = texture->volume(level)->pixels();
                for (UINT z = 0; z < pixels.depth(); ++z)
                    if (!appendRect(pixels, wholeRect(w, h), z, stored, out))
                        return E_OUTOFMEMORY;
            } else if (!appendRect(texture->surface(face, level)->pixels(), wholeRect(w, h), 0, stored, out)) {
                return E_OUTOFMEMORY;
            }
        }
    }
    return D3D_OK;
}

HRESULT toBuffer(const kxcodec::Bytes& bytes, LPD3DXBUFFER* ppDestBuf)
{
    // A buffer's size is a DWORD: a file of 4 GiB or more cannot be held.
    if (bytes.size() > std::numeric_limits<DWORD>::max())
        return D3DERR_INVALIDCALL;
    LPD3DXBUFFER buffer = nullptr;
    const HRESULT created = D3DXCreateBuffer(static_cast<DWORD>(bytes.size()), &buffer);
    if (FAILED(created))
        return created;
    if (!bytes.empty())
        std::memcpy(buffer->GetBufferPointer(), bytes.data(), bytes.size());
    *ppDestBuf = buffer;
    return D3D_OK;
}

HRESULT writeFile(LPCWSTR path, const kxcodec::Bytes& bytes)
{
    return KXFileUtils::writeFile(path, bytes.data(), bytes.size()) == 0 ? D3D_OK : D3DERR_INVALIDCALL;
}

} // namespace

extern "C" {

// Image information

HRESULT WINAPI D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo)
{
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pSrcData || SrcDataSize == 0)
            return D3DERR_INVALIDCALL;
        ImageFile file;
        const HRESULT opened = swd3dx::openImageFile(pSrcData, SrcDataSize, file);
        if (SUCCEEDED(opened) && pSrcInfo)
            *pSrcInfo = file.info;
        return opened;
    });
}

HRESULT WINAPI D3DXGetImageInfoFromFileW(LPCWSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::vector<unsigned char> bytes;
        const HRESULT read = readWholeFile(pSrcFile, bytes);
        if (FAILED(read))
            return read;
        return D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), pSrcInfo);
    });
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::wstring path;
        if (!swd3dx::widenPath(pSrcFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXGetImageInfoFromFileW(path.c_str(), pSrcInfo);
    });
}

// Surfaces

HRESULT WINAPI D3DXLoadSurfaceFromFileInMemory(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY* pDestPalette,
                                               CONST RECT* pDestRect, LPCVOID pSrcData, UINT SrcDataSize,
                                               CONST RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey,
                                               D3DXIMAGE_INFO* pSrcInfo)
{
    (void)pDestPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDestSurface || !pSrcData || SrcDataSize == 0)
            return D3DERR_INVALIDCALL;
        ImageFile file;
        const HRESULT opened = swd3dx::openImageFile(pSrcData, SrcDataSize, file);
        if (FAILED(opened))
            return opened;
        FloatImage picture;
        UINT face = 0;
        while (file.isDDS && file.dds.faceMask && !((file.dds.faceMask >> face) & 1))
            ++face;
        const HRESULT read = swd3dx::readImage(file, face, 0, 0, picture);
        if (FAILED(read))
            return read;
        if (pSrcRect) {
            if (!swd3d9::isValidRect(*pSrcRect, picture.width, picture.height))
                return D3DERR_INVALIDCALL;
            FloatImage cropped;
            const UINT w = static_cast<UINT>(pSrcRect->right - pSrcRect->left);
            const UINT h = static_cast<UINT>(pSrcRect->bottom - pSrcRect->top);
            if (!cropped.allocate(w, h))
                return E_OUTOFMEMORY;
            for (UINT y = 0; y < h; ++y)
                std::copy_n(picture.at(static_cast<UINT>(pSrcRect->left), static_cast<UINT>(pSrcRect->top) + y),
                            static_cast<size_t>(w) * 4, cropped.at(0, y));
            picture = std::move(cropped);
        }
        const HRESULT loaded = loadIntoSurface(pDestSurface, pDestRect, picture, Filter, ColorKey);
        if (SUCCEEDED(loaded) && pSrcInfo)
            *pSrcInfo = file.info;
        return loaded;
    });
}

HRESULT WINAPI D3DXLoadSurfaceFromFileW(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY* pDestPalette,
                                        CONST RECT* pDestRect, LPCWSTR pSrcFile, CONST RECT* pSrcRect, DWORD Filter,
                                        D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::vector<unsigned char> bytes;
        const HRESULT read = readWholeFile(pSrcFile, bytes);
        if (FAILED(read))
            return read;
        return D3DXLoadSurfaceFromFileInMemory(pDestSurface, pDestPalette, pDestRect, bytes.data(),
                                               static_cast<UINT>(bytes.size()), pSrcRect, Filter, ColorKey, pSrcInfo);
    });
}

HRESULT WINAPI D3DXLoadSurfaceFromFileA(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY* pDestPalette,
                                        CONST RECT* pDestRect, LPCSTR pSrcFile, CONST RECT* pSrcRect, DWORD Filter,
                                        D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::wstring path;
        if (!swd3dx::widenPath(pSrcFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXLoadSurfaceFromFileW(pDestSurface, pDestPalette, pDestRect, path.c_str(), pSrcRect, Filter, ColorKey,
                                        pSrcInfo);
    });
}

HRESULT WINAPI D3DXLoadSurfaceFromSurface(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY* pDestPalette,
                                          CONST RECT* pDestRect, LPDIRECT3DSURFACE9 pSrcSurface,
                                          CONST PALETTEENTRY* pSrcPalette, CONST RECT* pSrcRect, DWORD Filter,
                                          D3DCOLOR ColorKey)
{
    (void)pDestPalette;
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        Surface* target = surfaceForAccess(pDestSurface);
        Surface* source = surfaceForAccess(pSrcSurface);
        if (!target || !source || !swd3d9::isColorFormat(source->desc().Format) ||
            !swd3d9::isColorFormat(target->desc().Format))
            return D3DERR_INVALIDCALL;
        RECT sourceRect, targetRect;
        if (!resolveRect(pSrcRect, source->desc().Width, source->desc().Height, sourceRect) ||
            !resolveRect(pDestRect, target->desc().Width, target->desc().Height, targetRect))
            return D3DERR_INVALIDCALL;
        const DWORD type = swd3dx::filterType(Filter, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER);
        if (type == 0)
            return D3DERR_INVALIDCALL;
        const bool sameSize = sourceRect.right - sourceRect.left == targetRect.right - targetRect.left &&
                              sourceRect.bottom - sourceRect.top == targetRect.bottom - targetRect.top;
        if (sameSize && ColorKey == 0 && target->samples() == 1) {
            // A copy needs no filter; samples of the source are averaged.
            swd3d9::copyRect(source->pixels(), sourceRect, target->pixels(), static_cast<UINT>(targetRect.left),
                             static_cast<UINT>(targetRect.top));
            target->noteContentChanged(&targetRect);
            return D3D_OK;
        }
        FloatImage picture;
        if (!swd3dx::readPixels(source->pixels(), sourceRect, 0, picture))
            return E_OUTOFMEMORY;
        return loadIntoSurface(pDestSurface, &targetRect, picture, Filter, ColorKey);
    });
}

HRESULT WINAPI D3DXLoadSurfaceFromMemory(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY* pDestPalette,
                                         CONST RECT* pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat, UINT SrcPitch,
                                         CONST PALETTEENTRY* pSrcPalette, CONST RECT* pSrcRect, DWORD Filter,
                                         D3DCOLOR ColorKey)
{
    (void)pDestPalette;
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        // The source rectangle is required: it gives the size of the memory.
        if (!pDestSurface || !pSrcMemory || !pSrcRect || !swd3d9::isColorFormat(SrcFormat))
            return D3DERR_INVALIDCALL;
        const RECT& rect = *pSrcRect;
        if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom)
            return D3DERR_INVALIDCALL;
        const UINT width = static_cast<UINT>(rect.right - rect.left);
        const UINT height = static_cast<UINT>(rect.bottom - rect.top);
        const UINT size = swd3d9::bytesPerPixel(SrcFormat);
        if (static_cast<uint64_t>(rect.right) * size > SrcPitch)
            return D3DERR_INVALIDCALL;
        FloatImage picture;
        if (!picture.allocate(width, height))
            return E_OUTOFMEMORY;
        const uint8_t* memory = static_cast<const uint8_t*>(pSrcMemory);
        for (UINT y = 0; y < height; ++y)
            swd3d9::decodePixels(SrcFormat,
                                 memory + static_cast<size_t>(rect.top + y) * SrcPitch +
                                     static_cast<size_t>(rect.left) * size,
                                 width, picture.at(0, y));
        return loadIntoSurface(pDestSurface, pDestRect, picture, Filter, ColorKey);
    });
}

HRESULT WINAPI D3DXSaveSurfaceToFileInMemory(LPD3DXBUFFER* ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                             LPDIRECT3DSURFACE9 pSrcSurface, CONST PALETTEENTRY* pSrcPalette,
                                             CONST RECT* pSrcRect)
{
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!ppDestBuf)
            return D3DERR_INVALIDCALL;
        *ppDestBuf = nullptr;
        kxcodec::Bytes bytes;
        const HRESULT encoded = encodeSurface(pSrcSurface, DestFormat, pSrcRect, bytes);
        if (FAILED(encoded))
            return encoded;
        return toBuffer(bytes, ppDestBuf);
    });
}

HRESULT WINAPI D3DXSaveSurfaceToFileW(LPCWSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      LPDIRECT3DSURFACE9 pSrcSurface, CONST PALETTEENTRY* pSrcPalette,
                                      CONST RECT* pSrcRect)
{
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDestFile)
            return D3DERR_INVALIDCALL;
        kxcodec::Bytes bytes;
        const HRESULT encoded = encodeSurface(pSrcSurface, DestFormat, pSrcRect, bytes);
        if (FAILED(encoded))
            return encoded;
        return writeFile(pDestFile, bytes);
    });
}

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      LPDIRECT3DSURFACE9 pSrcSurface, CONST PALETTEENTRY* pSrcPalette,
                                      CONST RECT* pSrcRect)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::wstring path;
        if (!swd3dx::widenPath(pDestFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXSaveSurfaceToFileW(path.c_str(), DestFormat, pSrcSurface, pSrcPalette, pSrcRect);
    });
}

// Texture creation

HRESULT WINAPI D3DXCheckTextureRequirements(LPDIRECT3DDEVICE9 pDevice, UINT* pWidth, UINT* pHeight,
                                            UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool)
{
    if (!pDevice)
        return D3DERR_INVALIDCALL;
    D3DCAPS9 caps;
    pDevice->GetDeviceCaps(&caps);
    const bool scratch = Pool == D3DPOOL_SCRATCH;
    UINT width = pWidth ? *pWidth : 0, height = pHeight ? *pHeight : 0;
    // A missing side takes the other one, or 256.
    if (isDefaultSize(width))
        width = isDefaultSize(height) ? 256 : height;
    if (isDefaultSize(height))
        height = width;
    if (!scratch) {
        width = std::min<UINT>(width, caps.MaxTextureWidth);
        height = std::min<UINT>(height, caps.MaxTextureHeight);
    }
    if (pWidth)
        *pWidth = width;
    if (pHeight)
        *pHeight = height;
    if (pNumMipLevels) {
        const UINT full = swd3d9::fullMipChain(width, height, 1);
        UINT levels = *pNumMipLevels;
        if (Usage & D3DUSAGE_AUTOGENMIPMAP)
            levels = levels <= 1 ? levels : 0;
        else if (levels == 0 || levels == D3DX_DEFAULT || levels > full)
            levels = full;
        *pNumMipLevels = levels;
    }
    if (pFormat) {
        const DWORD code = formatCode(*pFormat);
        D3DFORMAT chosen = supportedFormat(isDefaultFormat(code) ? DWORD(D3DFMT_A8R8G8B8) : code, true);
        if ((Usage & D3DUSAGE_RENDERTARGET) && !swd3d9::isRenderTargetFormat(chosen))
            chosen = swd3d9::findFormat(chosen)->hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        *pFormat = chosen;
    }
    return D3D_OK;
}

HRESULT WINAPI D3DXCheckCubeTextureRequirements(LPDIRECT3DDEVICE9 pDevice, UINT* pSize, UINT* pNumMipLevels,
                                                DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool)
{
    UINT width = pSize ? *pSize : 0, height = width;
    const HRESULT result = D3DXCheckTextureRequirements(pDevice, &width, &height, pNumMipLevels, Usage, pFormat, Pool);
    if (pSize)
        *pSize = width;
    return result;
}

HRESULT WINAPI D3DXCheckVolumeTextureRequirements(LPDIRECT3DDEVICE9 pDevice, UINT* pWidth, UINT* pHeight,
                                                  UINT* pDepth, UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                                  D3DPOOL Pool)
{
    (void)Usage;
    if (!pDevice)
        return D3DERR_INVALIDCALL;
    D3DCAPS9 caps;
    pDevice->GetDeviceCaps(&caps);
    UINT width = pWidth ? *pWidth : 0, height = pHeight ? *pHeight : 0, depth = pDepth ? *pDepth : 0;
    if (isDefaultSize(width))
        width = 256;
    if (isDefaultSize(height))
        height = 256;
    if (isDefaultSize(depth))
        depth = 1;
    if (Pool != D3DPOOL_SCRATCH) {
        width = std::min<UINT>(width, caps.MaxVolumeExtent);
        height = std::min<UINT>(height, caps.MaxVolumeExtent);
        depth = std::min<UINT>(depth, caps.MaxVolumeExtent);
    }
    if (pWidth)
        *pWidth = width;
    if (pHeight)
        *pHeight = height;
    if (pDepth)
        *pDepth = depth;
    if (pNumMipLevels) {
        const UINT full = swd3d9::fullMipChain(width, height, depth);
        if (*pNumMipLevels == 0 || *pNumMipLevels == D3DX_DEFAULT || *pNumMipLevels > full)
            *pNumMipLevels = full;
    }
    if (pFormat) {
        const DWORD code = formatCode(*pFormat);
        *pFormat = supportedFormat(isDefaultFormat(code) ? DWORD(D3DFMT_A8R8G8B8) : code, true);
    }
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateTexture(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                 D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DTEXTURE9* ppTexture)
{
    if (!pDevice || !ppTexture)
        return D3DERR_INVALIDCALL;
    const HRESULT checked = D3DXCheckTextureRequirements(pDevice, &Width, &Height, &MipLevels, Usage, &Format, Pool);
    if (FAILED(checked))
        return checked;
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, Format, Pool, ppTexture, nullptr);
}

HRESULT WINAPI D3DXCreateCubeTexture(LPDIRECT3DDEVICE9 pDevice, UINT Size, UINT MipLevels, DWORD Usage,
                                     D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DCUBETEXTURE9* ppCubeTexture)
{
    if (!pDevice || !ppCubeTexture)
        return D3DERR_INVALIDCALL;
    const HRESULT checked = D3DXCheckCubeTextureRequirements(pDevice, &Size, &MipLevels, Usage, &Format, Pool);
    if (FAILED(checked))
        return checked;
    return pDevice->CreateCubeTexture(Size, MipLevels, Usage, Format, Pool, ppCubeTexture, nullptr);
}

HRESULT WINAPI D3DXCreateVolumeTexture(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, UINT Depth,
                                       UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                       LPDIRECT3DVOLUMETEXTURE9* ppVolumeTexture)
{
    if (!pDevice || !ppVolumeTexture)
        return D3DERR_INVALIDCALL;
    const HRESULT checked =
        D3DXCheckVolumeTextureRequirements(pDevice, &Width, &Height, &Depth, &MipLevels, Usage, &Format, Pool);
    if (FAILED(checked))
        return checked;
    return pDevice->CreateVolumeTexture(Width, Height, Depth, MipLevels, Usage, Format, Pool, ppVolumeTexture,
                                        nullptr);
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                   UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                                   D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                                   D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                   LPDIRECT3DTEXTURE9* ppTexture)
{
    (void)pPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppTexture)
            return D3DERR_INVALIDCALL;
        *ppTexture = nullptr;
        ImageFile file;
        const HRESULT opened = swd3dx::openImageFile(pSrcData, SrcDataSize, file);
        if (FAILED(opened))
            return opened;
        UINT depth = 1;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        if (!chooseTextureLayout(file, Width, Height, depth, MipLevels, Format, format))
            return D3DERR_INVALIDCALL;
        if (Usage & D3DUSAGE_AUTOGENMIPMAP)
            MipLevels = MipLevels <= 1 ? MipLevels : 0;
        const HRESULT checked = D3DXCheckTextureRequirements(pDevice, &Width, &Height, nullptr, Usage, &format, Pool);
        if (FAILED(checked))
            return checked;
        LPDIRECT3DTEXTURE9 texture = nullptr;
        const HRESULT created =
            pDevice->CreateTexture(Width, Height, MipLevels, Usage, format, Pool, &texture, nullptr);
        if (FAILED(created))
            return created;
        const HRESULT filled = swd3dx::guarded(
            [&] { return fillTexture(*swd3d9::toTexture(texture), file, Filter, MipFilter, ColorKey); });
        if (FAILED(filled)) {
            texture->Release();
            return filled;
        }
        if (pSrcInfo)
            *pSrcInfo = file.info;
        *ppTexture = texture;
        return D3D_OK;
    });
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemory(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                 LPDIRECT3DTEXTURE9* ppTexture)
{
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileW(LPDIRECT3DDEVICE9 pDevice, LPCWSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::vector<unsigned char> bytes;
        const HRESULT read = readWholeFile(pSrcFile, bytes);
        if (FAILED(read))
            return read;
        return D3DXCreateTextureFromFileInMemory(pDevice, bytes.data(), static_cast<UINT>(bytes.size()), ppTexture);
    });
}

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::wstring path;
        if (!swd3dx::widenPath(pSrcFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXCreateTextureFromFileW(pDevice, path.c_str(), ppTexture);
    });
}

HRESULT WINAPI D3DXCreateCubeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                       UINT Size, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                                       D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                                       D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                       LPDIRECT3DCUBETEXTURE9* ppCubeTexture)
{
    (void)pPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppCubeTexture)
            return D3DERR_INVALIDCALL;
        *ppCubeTexture = nullptr;
        ImageFile file;
        const HRESULT opened = swd3dx::openImageFile(pSrcData, SrcDataSize, file);
        if (FAILED(opened))
            return opened;
        // Only cube-map files make cube textures.
        if (!file.isDDS || file.dds.faceMask == 0)
            return D3DXERR_INVALIDDATA;
        UINT height = Size, depth = 1;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        if (!chooseTextureLayout(file, Size, height, depth, MipLevels, Format, format))
            return D3DERR_INVALIDCALL;
        if (Usage & D3DUSAGE_AUTOGENMIPMAP)
            MipLevels = MipLevels <= 1 ? MipLevels : 0;
        const HRESULT checked = D3DXCheckCubeTextureRequirements(pDevice, &Size, nullptr, Usage, &format, Pool);
        if (FAILED(checked))
            return checked;
        LPDIRECT3DCUBETEXTURE9 texture = nullptr;
        const HRESULT created = pDevice->CreateCubeTexture(Size, MipLevels, Usage, format, Pool, &texture, nullptr);
        if (FAILED(created))
            return created;
        const HRESULT filled = swd3dx::guarded(
            [&] { return fillTexture(*swd3d9::toTexture(texture), file, Filter, MipFilter, ColorKey); });
        if (FAILED(filled)) {
            texture->Release();
            return filled;
        }
        if (pSrcInfo)
            *pSrcInfo = file.info;
        *ppCubeTexture = texture;
        return D3D_OK;
    });
}

HRESULT WINAPI D3DXCreateCubeTextureFromFileInMemory(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                     LPDIRECT3DCUBETEXTURE9* ppCubeTexture)
{
    return D3DXCreateCubeTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                   D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                   nullptr, nullptr, ppCubeTexture);
}

HRESULT WINAPI D3DXCreateVolumeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData,
                                                         UINT SrcDataSize, UINT Width, UINT Height, UINT Depth,
                                                         UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                         DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                                         D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                         LPDIRECT3DVOLUMETEXTURE9* ppVolumeTexture)
{
    (void)pPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppVolumeTexture)
            return D3DERR_INVALIDCALL;
        *ppVolumeTexture = nullptr;
        ImageFile file;
        const HRESULT opened = swd3dx::openImageFile(pSrcData, SrcDataSize, file);
        if (FAILED(opened))
            return opened;
        if (file.isDDS && file.dds.faceMask != 0)
            return D3DXERR_INVALIDDATA;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        if (!chooseTextureLayout(file, Width, Height, Depth, MipLevels, Format, format))
            return D3DERR_INVALIDCALL;
        const HRESULT checked =
            D3DXCheckVolumeTextureRequirements(pDevice, &Width, &Height, &Depth, nullptr, Usage, &format, Pool);
        if (FAILED(checked))
            return checked;
        LPDIRECT3DVOLUMETEXTURE9 texture = nullptr;
        const HRESULT created =
            pDevice->CreateVolumeTexture(Width, Height, Depth, MipLevels, Usage, format, Pool, &texture, nullptr);
        if (FAILED(created))
            return created;
        const HRESULT filled = swd3dx::guarded(
            [&] { return fillTexture(*swd3d9::toTexture(texture), file, Filter, MipFilter, ColorKey); });
        if (FAILED(filled)) {
            texture->Release();
            return filled;
        }
        if (pSrcInfo)
            *pSrcInfo = file.info;
        *ppVolumeTexture = texture;
        return D3D_OK;
    });
}

HRESULT WINAPI D3DXCreateVolumeTextureFromFileInMemory(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                       LPDIRECT3DVOLUMETEXTURE9* ppVolumeTexture)
{
    return D3DXCreateVolumeTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                     ppVolumeTexture);
}

// Texture saving and filtering

HRESULT WINAPI D3DXSaveTextureToFileInMemory(LPD3DXBUFFER* ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                             LPDIRECT3DBASETEXTURE9 pSrcTexture, CONST PALETTEENTRY* pSrcPalette)
{
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!ppDestBuf)
            return D3DERR_INVALIDCALL;
        *ppDestBuf = nullptr;
        kxcodec::Bytes bytes;
        const HRESULT encoded = encodeTexture(pSrcTexture, DestFormat, bytes);
        if (FAILED(encoded))
            return encoded;
        return toBuffer(bytes, ppDestBuf);
    });
}

HRESULT WINAPI D3DXSaveTextureToFileW(LPCWSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      LPDIRECT3DBASETEXTURE9 pSrcTexture, CONST PALETTEENTRY* pSrcPalette)
{
    (void)pSrcPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        if (!pDestFile)
            return D3DERR_INVALIDCALL;
        kxcodec::Bytes bytes;
        const HRESULT encoded = encodeTexture(pSrcTexture, DestFormat, bytes);
        if (FAILED(encoded))
            return encoded;
        return writeFile(pDestFile, bytes);
    });
}

HRESULT WINAPI D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      LPDIRECT3DBASETEXTURE9 pSrcTexture, CONST PALETTEENTRY* pSrcPalette)
{
    return swd3dx::guarded([&]() -> HRESULT {
        std::wstring path;
        if (!swd3dx::widenPath(pDestFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXSaveTextureToFileW(path.c_str(), DestFormat, pSrcTexture, pSrcPalette);
    });
}

HRESULT WINAPI D3DXFilterTexture(LPDIRECT3DBASETEXTURE9 pBaseTexture, CONST PALETTEENTRY* pPalette, UINT SrcLevel,
                                 DWORD Filter)
{
    (void)pPalette;
    return swd3dx::guarded([&]() -> HRESULT {
        TextureCore* texture = textureForAccess(pBaseTexture);
        if (!texture)
            return D3DERR_INVALIDCALL;
        if (SrcLevel == D3DX_DEFAULT)
            SrcLevel = 0;
        const DWORD type = swd3dx::filterType(Filter, D3DX_FILTER_BOX);
        if (type == 0 || SrcLevel >= texture->levelCount())
            return D3DERR_INVALIDCALL;
        if (texture->generatesMipmaps()) {
            texture->regenerateMipmaps();
            return D3D_OK;
        }
        return filterLevels(*texture, SrcLevel, type);
    });
}

} // extern "C"
