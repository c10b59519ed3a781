// Windows bitmaps: BMP files and bitmaps without the file header (DIB).
//
// Reads the core (OS/2) and info headers up to version 5, uncompressed 1,
// 4, 8, 16, 24 and 32 bits per pixel and bit-field masks, bottom-up and
// top-down. Run-length and embedded JPEG or PNG bitmaps are not supported.
// Writes 32-bit bit-field bitmaps with an alpha mask (a version 4 header),
// bottom-up, so that alpha survives the round trip.

#include "sceneapi/KXImageCodec.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace kxcodec {

namespace {

const uint32_t FILE_HEADER_SIZE = 14;
const uint32_t CORE_HEADER_SIZE = 12;
const uint32_t INFO_HEADER_SIZE = 40;
const uint32_t V4_HEADER_SIZE = 108;

const uint32_t BI_RGB = 0;
const uint32_t BI_BITFIELDS = 3;
const uint32_t BI_ALPHABITFIELDS = 6;

struct BitmapLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    unsigned bitsPerPixel = 0;
    uint32_t compression = BI_RGB;
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    unsigned paletteEntrySize = 4;
    uint32_t paletteCount = 0;
};

// Reads the header that starts at the reader's position. 0, -1 or -2.
int readHeader(ByteReader& in, BitmapLayout& layout)
{
    const size_t start = in.position();
    const uint32_t headerSize = in.u32le();
    if (headerSize == CORE_HEADER_SIZE) {
        layout.width = in.u16le();
        layout.height = in.u16le();
        const uint16_t planes = in.u16le();
        layout.bitsPerPixel = in.u16le();
        layout.paletteEntrySize = 3;
        if (in.failed() || planes != 1 || layout.width == 0 || layout.height == 0)
            return -1;
    } else if (headerSize >= INFO_HEADER_SIZE && headerSize <= 0x10000) {
        const int32_t width = static_cast<int32_t>(in.u32le());
        const int32_t height = static_cast<int32_t>(in.u32le());
        const uint16_t planes = in.u16le();
        layout.bitsPerPixel = in.u16le();
        layout.compression = in.u32le();
        in.skip(12); // image size and resolution
        layout.paletteCount = in.u32le();
        in.skip(4); // important colours
        if (in.failed() || planes != 1 || width <= 0 || height == 0 || height == INT32_MIN)
            return -1;
        layout.width = static_cast<uint32_t>(width);
        layout.topDown = height < 0;
        layout.height = static_cast<uint32_t>(height < 0 ? -height : height);
        const bool bitFields = layout.compression == BI_BITFIELDS || layout.compression == BI_ALPHABITFIELDS;
        if (bitFields) {
            // The masks are part of larger headers and follow a plain info header.
            const unsigned count = layout.compression == BI_ALPHABITFIELDS || headerSize >= 56 ? 4 : 3;
            for (unsigned i = 0; i < count; ++i)
                layout.masks[i] = in.u32le();
            if (in.failed())
                return -1;
            if (headerSize > INFO_HEADER_SIZE) {
                in.seek(start + headerSize);
                return in.failed() ? -1 : 0;
            }
            return 0;
        } else if (layout.compression != BI_RGB) {
            return -2;
        }
    } else {
        return -1;
    }
    in.seek(start + headerSize);
    return in.failed() ? -1 : 0;
}

// Fills in the default masks of uncompressed 16- and 32-bit pixels.
void setDefaultMasks(BitmapLayout& layout)
{
    if (layout.compression == BI_BITFIELDS || layout.compression == BI_ALPHABITFIELDS)
        return;
    if (layout.bitsPerPixel == 16) {
        layout.masks[0] = 0x7C00;
        layout.masks[1] = 0x03E0;
        layout.masks[2] = 0x001F;
    } else if (layout.bitsPerPixel == 32) {
        layout.masks[0] = 0x00FF0000;
        layout.masks[1] = 0x0000FF00;
        layout.masks[2] = 0x000000FF;
    }
}

int decodePixels(const unsigned char* data, size_t size, size_t offset, const BitmapLayout& layout,
                 const unsigned char* palette, uint32_t paletteCount, KXRawImage2D& image)
{
    const uint64_t stride = ((static_cast<uint64_t>(layout.width) * layout.bitsPerPixel + 31) / 32) * 4;
    if (offset > size || stride > (size - offset) / layout.height)
        return -1;
    const int prepared = prepareImage(image, layout.width, layout.height, size, UNCOMPRESSED);
    if (prepared != 0)
        return prepared;

    const MaskChannel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]), alpha(layout.masks[3]);
    // 32-bit bitmaps without an alpha mask often still carry alpha in the
    // fourth byte; it is used unless every pixel has 0 there.
    bool implicitAlpha = false;
    if (layout.bitsPerPixel == 32 && !alpha.present() && layout.compression == BI_RGB) {
        for (uint64_t i = 0; i < stride * layout.height && !implicitAlpha; i += 4)
            implicitAlpha = data[offset + i + 3] != 0;
    }

    Bytes rgba(static_cast<size_t>(layout.width) * 4);
    for (uint32_t row = 0; row < layout.height; ++row) {
        const unsigned char* src = data + offset + stride * row;
        unsigned char* out = rgba.data();
        for (uint32_t x = 0; x < layout.width; ++x, out += 4) {
            switch (layout.bitsPerPixel) {
            case 1:
            case 4:
            case 8: {
                const unsigned bits = layout.bitsPerPixel;
                const uint64_t bit = static_cast<uint64_t>(x) * bits;
                const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
                const unsigned index = (src[bit / 8] >> shift) & ((1u << bits) - 1);
                // Indices past the palette read as black rather than past the data.
                if (index < paletteCount) {
                    const unsigned char* entry = palette + static_cast<size_t>(index) * layout.paletteEntrySize;
                    out[0] = entry[2];
                    out[1] = entry[1];
                    out[2] = entry[0];
                } else {
                    out[0] = out[1] = out[2] = 0;
                }
                out[3] = 255;
                break;
            }
            case 24: {
                const unsigned char* p = src + static_cast<size_t>(x) * 3;
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
                out[3] = 255;
                break;
            }
            default: { // 16 and 32 bits through masks
                const unsigned char* p = src + static_cast<size_t>(x) * (layout.bitsPerPixel / 8);
                uint32_t pixel = p[0] | (p[1] << 8);
                if (layout.bitsPerPixel == 32)
                    pixel |= (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
                out[0] = red.extract(pixel);
                out[1] = green.extract(pixel);
                out[2] = blue.extract(pixel);
                if (alpha.present())
                    out[3] = alpha.extract(pixel);
                else
                    out[3] = implicitAlpha ? p[3] : 255;
                break;
            }
            }
        }
        const uint32_t y = layout.topDown ? row : layout.height - 1 - row;
        storeRowRGBA(image, y, rgba.data());
    }
    return 0;
}

} // namespace

int decodeBMP(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data)
        return -1;
    ByteReader in(data, size);
    const bool withFileHeader = size >= 2 && data[0] == 'B' && data[1] == 'M';
    uint32_t pixelOffset = 0;
    if (withFileHeader) {
        in.skip(10);
        pixelOffset = in.u32le();
    }
    BitmapLayout layout;
    const int header = readHeader(in, layout);
    if (header != 0)
        return header;

    const unsigned bpp = layout.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return -2;
    if ((layout.compression == BI_BITFIELDS || layout.compression == BI_ALPHABITFIELDS) && bpp != 16 && bpp != 32)
        return -1;
    setDefaultMasks(layout);

    // The palette follows the header (and masks). BMP files give the start
    // of the pixels, and writers often store fewer entries than they
    // declare; without the file header the pixels follow the whole palette.
    const unsigned char* palette = nullptr;
    uint32_t paletteCount = 0;
    if (bpp <= 8) {
        paletteCount = layout.paletteCount == 0 ? (1u << bpp) : layout.paletteCount;
        if (paletteCount > 256)
            return -1;
        const size_t paletteStart = in.position();
        if (withFileHeader && pixelOffset >= paletteStart)
            paletteCount = std::min<uint64_t>(paletteCount, (pixelOffset - paletteStart) / layout.paletteEntrySize);
        palette = in.current();
        in.skip(static_cast<size_t>(paletteCount) * layout.paletteEntrySize);
        if (in.failed())
            return -1;
    }
    const size_t offset = withFileHeader ? pixelOffset : in.position();
    return decodePixels(data, size, offset, layout, palette, paletteCount, image);
}

int encodeBMP(const KXRawImage2D& image, bool withFileHeader, Bytes& out)
{
    if (!image.hasData() || image.getWidth() > INT32_MAX || image.getHeight() > INT32_MAX)
        return -1;
    const uint64_t pixelBytes = static_cast<uint64_t>(image.getRowSize()) * image.getHeight();
    const uint64_t headers = (withFileHeader ? FILE_HEADER_SIZE : 0) + V4_HEADER_SIZE;
    if (pixelBytes + headers > UINT32_MAX)
        return -1;

    out.reserve(out.size() + static_cast<size_t>(headers + pixelBytes));
    if (withFileHeader) {
        out.push_back('B');
        out.push_back('M');
        appendU32le(out, static_cast<uint32_t>(headers + pixelBytes));
        appendU32le(out, 0);
        appendU32le(out, static_cast<uint32_t>(headers));
    }
    appendU32le(out, V4_HEADER_SIZE);
    appendU32le(out, image.getWidth());
    appendU32le(out, image.getHeight()); // positive: bottom-up rows
    appendU16le(out, 1);
    appendU16le(out, 32);
    appendU32le(out, BI_BITFIELDS);
    appendU32le(out, static_cast<uint32_t>(pixelBytes));
    appendU32le(out, 2835); // 72 dots per inch, in dots per metre
    appendU32le(out, 2835);
    appendU32le(out, 0);
    appendU32le(out, 0);
    appendU32le(out, 0x00FF0000);
    appendU32le(out, 0x0000FF00);
    appendU32le(out, 0x000000FF);
    appendU32le(out, 0xFF000000);
    appendU32le(out, 0x73524742); // colour space 'sRGB'
    out.insert(out.end(), 36 + 12, 0); // end points and gamma, unused for sRGB

    // Blue, green, red, alpha bytes: the BGRA format as it is.
    Bytes rgba(image.getRowSize());
    for (unsigned row = image.getHeight(); row-- > 0;) {
        if (image.getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA) {
            const unsigned char* src = image.getRow(row);
            out.insert(out.end(), src, src + image.getRowSize());
        } else {
            loadRowRGBA(image, row, rgba.data());
            for (size_t i = 0; i < rgba.size(); i += 4) {
                out.push_back(rgba[i + 2]);
                out.push_back(rgba[i + 1]);
                out.push_back(rgba[i]);
                out.push_back(rgba[i + 3]);
            }
        }
    }
    return 0;
}

} // namespace kxcodec
