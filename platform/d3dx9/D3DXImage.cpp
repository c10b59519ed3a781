#include "d3dx9/D3DXImage.h"

#include "d3d9/Blit.h"
#include "pipeline/Formats.h"
#include "d3d9/Resources.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace swd3dx {

namespace {

D3DXIMAGE_FILEFORMAT fileFormatOf(KXImage2D::KXIMAGE2DFILETYPE type)
{
    switch (type) {
    case KXImage2D::KXIMAGE2D_JPG:
        return D3DXIFF_JPG;
    case KXImage2D::KXIMAGE2D_TGA:
        return D3DXIFF_TGA;
    case KXImage2D::KXIMAGE2D_PNG:
        return D3DXIFF_PNG;
    case KXImage2D::KXIMAGE2D_DDS:
        return D3DXIFF_DDS;
    case KXImage2D::KXIMAGE2D_PPM:
        return D3DXIFF_PPM;
    case KXImage2D::KXIMAGE2D_DIB:
        return D3DXIFF_DIB;
    case KXImage2D::KXIMAGE2D_HDR:
        return D3DXIFF_HDR;
    case KXImage2D::KXIMAGE2D_PFM:
        return D3DXIFF_PFM;
    default:
        return D3DXIFF_BMP;
    }
}

// The Direct3D format of a DDS file's pixels.
D3DFORMAT formatOfDDS(const kxcodec::DDSInfo& dds)
{
    // Block-compressed formats are their four-character codes, float
    // formats their format numbers.
    if (dds.formatFlags & kxcodec::DDS_PF_FOURCC)
        return static_cast<D3DFORMAT>(dds.fourCC);
    struct Layout {
        uint32_t bits, r, g, b, a;
        D3DFORMAT withAlpha, withoutAlpha;
    };
    static const Layout layouts[] = {
        {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8},
        {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8},
        {16, 0xF800, 0x07E0, 0x001F, 0, D3DFMT_R5G6B5, D3DFMT_R5G6B5},
        {16, 0x7C00, 0x03E0, 0x001F, 0x8000, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5},
        {16, 0x0F00, 0x00F0, 0x000F, 0xF000, D3DFMT_A4R4G4B4, D3DFMT_X4R4G4B4},
        {24, 0xFF0000, 0x00FF00, 0x0000FF, 0, D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000, D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10},
        {32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10, D3DFMT_A2B10G10R10},
        {32, 0x0000FFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16, D3DFMT_G16R16},
    };
    if (dds.formatFlags & kxcodec::DDS_PF_LUMINANCE) {
        if (dds.bitCount == 8)
            return D3DFMT_L8;
        if (dds.bitCount == 16)
            return dds.hasAlpha ? D3DFMT_A8L8 : D3DFMT_L16;
        return D3DFMT_UNKNOWN;
    }
    if (!(dds.formatFlags & kxcodec::DDS_PF_RGB))
        return dds.bitCount == 8 ? D3DFMT_A8 : D3DFMT_UNKNOWN;
    for (const Layout& l : layouts) {
        if (l.bits == dds.bitCount && l.r == dds.masks[0] && l.g == dds.masks[1] && l.b == dds.masks[2] &&
            (!dds.hasAlpha || l.a == dds.masks[3]))
            return dds.hasAlpha ? l.withAlpha : l.withoutAlpha;
    }
    return dds.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

bool hasTransparency(const KXRawImage2D& image)
{
    return !kxcodec::isOpaque(image);
}

} // namespace

bool FloatImage::allocate(UINT w, UINT h)
{
    try {
        pixels.assign(static_cast<size_t>(w) * h * 4, 0.0f);
    } catch (const std::bad_alloc&) {
        *this = FloatImage();
        return false;
    } catch (const std::length_error&) {
        *this = FloatImage();
        return false;
    }
    width = w;
    height = h;
    return true;
}

HRESULT openImageFile(const void* data, UINT size, ImageFile& file)
{
    if (!data || size == 0)
        return D3DXERR_INVALIDDATA;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    file.data = bytes;
    file.size = size;
    D3DXIMAGE_INFO& info = file.info;
    const KXImage2D::KXIMAGE2DFILETYPE type = kxcodec::identifyFileType(bytes, size);
    if (type == KXImage2D::KXIMAGE2D_DDS) {
        if (kxcodec::readDDSInfo(bytes, size, file.dds) != 0)
            return D3DXERR_INVALIDDATA;
        file.isDDS = true;
        file.hasAlpha = file.dds.hasAlpha;
        info.Width = file.dds.width;
        info.Height = file.dds.height;
        info.Depth = file.dds.depth;
        info.MipLevels = file.dds.mipLevels;
        info.Format = formatOfDDS(file.dds);
        info.ResourceType = file.dds.volume    ? D3DRTYPE_VOLUMETEXTURE
                            : file.dds.faceMask ? D3DRTYPE_CUBETEXTURE
                                               : D3DRTYPE_TEXTURE;
        info.ImageFileFormat = D3DXIFF_DDS;
        return D3D_OK;
    }
    KXRawImage2D picture(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    int result;
    KXImage2D::KXIMAGE2DFILETYPE decodedType = type;
    try {
        if (type != KXImage2D::KXIMAGE2D_UNKNOWN) {
            result = kxcodec::decodeAny(bytes, size, type, picture);
        } else {
            // Formats without a signature: a bitmap without its file
            // header, then a Targa picture.
            decodedType = KXImage2D::KXIMAGE2D_DIB;
            result = kxcodec::decodeAny(bytes, size, decodedType, picture);
            if (result != 0 && result != kxcodec::OUT_OF_MEMORY) {
                decodedType = KXImage2D::KXIMAGE2D_TGA;
                result = kxcodec::decodeAny(bytes, size, decodedType, picture);
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (result != 0)
        return result == kxcodec::OUT_OF_MEMORY ? E_OUTOFMEMORY : D3DXERR_INVALIDDATA;
    file.picture = std::move(picture);
    info.Width = file.picture.getWidth();
    info.Height = file.picture.getHeight();
    info.Depth = 1;
    info.MipLevels = 1;
    info.ResourceType = D3DRTYPE_TEXTURE;
    info.ImageFileFormat = fileFormatOf(decodedType);
    // Formats that cannot carry alpha load without it; the others keep it
    // where the picture uses it.
    const bool alphaFormat = decodedType == KXImage2D::KXIMAGE2D_PNG || decodedType == KXImage2D::KXIMAGE2D_TGA ||
                             decodedType == KXImage2D::KXIMAGE2D_BMP || decodedType == KXImage2D::KXIMAGE2D_DIB;
    file.hasAlpha = alphaFormat && hasTransparency(file.picture);
    info.Format = file.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    return D3D_OK;
}

HRESULT readImage(const ImageFile& file, UINT face, UINT level, UINT slice, FloatImage& image)
{
    KXRawImage2D decoded(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    const KXRawImage2D* picture = &file.picture;
    if (file.isDDS) {
        const HRESULT decodedResult = guarded([&] {
            const int result = kxcodec::decodeDDSImage(file.data, file.size, file.dds, face, level, slice, decoded);
            if (result == 0)
                return D3D_OK;
            return result == kxcodec::OUT_OF_MEMORY ? E_OUTOFMEMORY : HRESULT(D3DXERR_INVALIDDATA);
        });
        if (FAILED(decodedResult))
            return decodedResult;
        picture = &decoded;
    } else if (face != 0 || level != 0 || slice != 0) {
        return D3DXERR_INVALIDDATA;
    }
    if (!image.allocate(picture->getWidth(), picture->getHeight()))
        return E_OUTOFMEMORY;
    return guarded([&] {
        std::vector<unsigned char> row(picture->getRowSize());
        for (UINT y = 0; y < image.height; ++y) {
            kxcodec::loadRowRGBA(*picture, y, row.data());
            float* out = image.at(0, y);
            for (size_t i = 0; i < row.size(); ++i)
                out[i] = static_cast<float>(row[i]) / 255.0f;
        }
        return D3D_OK;
    });
}

DWORD filterType(DWORD filter, DWORD fallback)
{
    if (filter == D3DX_DEFAULT)
        filter = fallback;
    const DWORD type = filter & 0xFF;
    return (type >= D3DX_FILTER_NONE && type <= D3DX_FILTER_BOX) ? type : 0;
}

void applyColorKey(FloatImage& image, D3DCOLOR colorKey)
{
    if (colorKey == 0)
        return;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        float* p = &image.pixels[i];
        uint8_t bytes[4];
        swd3d9::encodePixels(D3DFMT_A8R8G8B8, p, 1, bytes);
        const D3DCOLOR argb = static_cast<D3DCOLOR>(bytes[0]) | (static_cast<D3DCOLOR>(bytes[1]) << 8) |
                              (static_cast<D3DCOLOR>(bytes[2]) << 16) | (static_cast<D3DCOLOR>(bytes[3]) << 24);
        if (argb == colorKey)
            p[0] = p[1] = p[2] = p[3] = 0.0f;
    }
}

namespace {

struct Tap {
    UINT index;
    float weight;
};

// The source taps of each target position along one axis.
void axisTaps(UINT sourceSize, UINT targetSize, DWORD type, std::vector<std::vector<Tap>>& taps)
{
    taps.assign(targetSize, {});
    const double scale = static_cast<double>(sourceSize) / targetSize;
    for (UINT t = 0; t < targetSize; ++t) {
        std::vector<Tap>& list = taps[t];
        const double centre = (t + 0.5) * scale - 0.5;
        if (type == D3DX_FILTER_POINT) {
            const double nearest = std::floor(centre + 0.5);
            list.push_back({static_cast<UINT>(std::min<double>(sourceSize - 1, std::max(0.0, nearest))), 1.0f});
            continue;
        }
        // Box and triangle filters average the area a target texel covers
        // when shrinking; enlarging, and the linear filter, interpolate.
        if ((type == D3DX_FILTER_BOX || type == D3DX_FILTER_TRIANGLE) && scale > 1.0) {
            const double from = t * scale, to = (t + 1) * scale;
            for (UINT s = static_cast<UINT>(from); s < sourceSize && s < to; ++s) {
                const double overlap = std::min<double>(s + 1, to) - std::max<double>(s, from);
                if (overlap > 0.0)
                    list.push_back({s, static_cast<float>(overlap / scale)});
            }
            continue;
        }
        const double clamped = std::min<double>(sourceSize - 1, std::max(0.0, centre));
        const UINT s0 = static_cast<UINT>(clamped);
        const UINT s1 = std::min(sourceSize - 1, s0 + 1);
        const float a = static_cast<float>(clamped - s0);
        list.push_back({s0, 1.0f - a});
        if (a > 0.0f)
            list.push_back({s1, a});
    }
}

} // namespace

bool resample(const FloatImage& source, UINT width, UINT height, DWORD type, FloatImage& target)
{
    if (!target.allocate(width, height))
        return false;
    if (type == D3DX_FILTER_NONE || (source.width == width && source.height == height)) {
        const UINT w = std::min(width, source.width), h = std::min(height, source.height);
        for (UINT y = 0; y < h; ++y)
            std::copy_n(source.at(0, y), static_cast<size_t>(w) * 4, target.at(0, y));
        return true;
    }
    std::vector<std::vector<Tap>> across, down;
    const HRESULT tapped = guarded([&] {
        axisTaps(source.width, width, type, across);
        axisTaps(source.height, height, type, down);
        return D3D_OK;
    });
    FloatImage rows;
    if (FAILED(tapped) || !rows.allocate(width, source.height))
        return false;
    for (UINT y = 0; y < source.height; ++y)
        for (UINT x = 0; x < width; ++x) {
            float* out = rows.at(x, y);
            for (const Tap& tap : across[x]) {
                const float* p = source.at(tap.index, y);
                for (int c = 0; c < 4; ++c)
                    out[c] += p[c] * tap.weight;
            }
        }
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            float* out = target.at(x, y);
            for (const Tap& tap : down[y]) {
                const float* p = rows.at(x, tap.index);
                for (int c = 0; c < 4; ++c)
                    out[c] += p[c] * tap.weight;
            }
        }
    return true;
}

swd3d9::PixelBuffer* surfacePixels(IDirect3DSurface9* surface)
{
    swd3d9::Surface* object = swd3d9::toSurface(surface);
    if (!object)
        return nullptr;
    // The device's waiting draws may still write these pixels.
    swd3d9::flushPendingDraws(object->device());
    return &object->pixels();
}

bool readPixels(const swd3d9::PixelBuffer& pixels, const RECT& rect, UINT slice, FloatImage& image)
{
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const UINT height = static_cast<UINT>(rect.bottom - rect.top);
    if (!image.allocate(width, height))
        return false;
    if (slice == 0) {
        swd3d9::readRectRGBA(pixels, rect, image.pixels.data());
        return true;
    }
    for (UINT y = 0; y < height; ++y)
        swd3d9::decodePixels(pixels.format(),
                             pixels.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(rect.top) + y, slice), width,
                             image.at(0, y));
    return true;
}

void writePixels(swd3d9::PixelBuffer& pixels, const RECT& rect, UINT slice, const FloatImage& image)
{
    const UINT width = std::min<UINT>(static_cast<UINT>(rect.right - rect.left), image.width);
    const UINT height = std::min<UINT>(static_cast<UINT>(rect.bottom - rect.top), image.height);
    for (UINT s = 0; s < pixels.samples(); ++s)
        for (UINT y = 0; y < height; ++y)
            swd3d9::encodePixels(pixels.format(), image.at(0, y), width,
                                 pixels.pixel(static_cast<UINT>(rect.left), static_cast<UINT>(rect.top) + y, slice, s));
}

} // namespace swd3dx
