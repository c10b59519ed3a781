// Truevision TGA: colour-mapped, true-colour and grey images, plain or
// run-length coded, in any of the four pixel orders. Writes uncompressed
// 32-bit images with top-left origin.

#include "sceneapi/KXImageCodec.h"

namespace kxcodec {

namespace {

const unsigned HEADER_SIZE = 18;

struct TgaLayout {
    unsigned type = 0; // 1 colour-mapped, 2 true colour, 3 grey; +8 run-length coded
    unsigned bitsPerPixel = 0;
    unsigned alphaBits = 0;
    bool topDown = false;
    bool rightToLeft = false;
    uint32_t width = 0;
    uint32_t height = 0;
    const unsigned char* palette = nullptr;
    unsigned paletteFirst = 0;
    unsigned paletteLength = 0;
    unsigned paletteBits = 0;
};

// One stored value (a pixel or a palette entry) of the given size as RGBA.
void unpackColor(const unsigned char* p, unsigned bits, unsigned alphaBits, unsigned char* rgba)
{
    switch (bits) {
    case 8:
        rgba[0] = rgba[1] = rgba[2] = p[0];
        rgba[3] = 255;
        break;
    case 15:
    case 16: {
        const unsigned v = p[0] | (p[1] << 8);
        rgba[0] = static_cast<unsigned char>(((v >> 10) & 31) * 255 / 31);
        rgba[1] = static_cast<unsigned char>(((v >> 5) & 31) * 255 / 31);
        rgba[2] = static_cast<unsigned char>((v & 31) * 255 / 31);
        rgba[3] = (bits == 16 && alphaBits > 0 && !(v & 0x8000)) ? 0 : 255;
        break;
    }
    case 24:
        rgba[0] = p[2];
        rgba[1] = p[1];
        rgba[2] = p[0];
        rgba[3] = 255;
        break;
    default: // 32
        rgba[0] = p[2];
        rgba[1] = p[1];
        rgba[2] = p[0];
        rgba[3] = p[3];
        break;
    }
}

// The RGBA value of one stored pixel of the image.
bool readPixel(const TgaLayout& layout, const unsigned char* p, unsigned char* rgba)
{
    if ((layout.type & 7) != 1) {
        unpackColor(p, layout.bitsPerPixel, layout.alphaBits, rgba);
        return true;
    }
    const unsigned index = layout.bitsPerPixel == 8 ? p[0] : static_cast<unsigned>(p[0] | (p[1] << 8));
    if (index < layout.paletteFirst || index - layout.paletteFirst >= layout.paletteLength)
        return false;
    const unsigned entryBytes = (layout.paletteBits + 7) / 8;
    unpackColor(layout.palette + static_cast<size_t>(index - layout.paletteFirst) * entryBytes, layout.paletteBits,
                0, rgba);
    return true;
}

} // namespace

int decodeTGA(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data)
        return -1;
    ByteReader in(data, size);
    TgaLayout layout;
    const unsigned idLength = in.u8();
    const unsigned colorMapType = in.u8();
    layout.type = in.u8();
    layout.paletteFirst = in.u16le();
    layout.paletteLength = in.u16le();
    layout.paletteBits = in.u8();
    in.skip(4); // origin
    layout.width = in.u16le();
    layout.height = in.u16le();
    layout.bitsPerPixel = in.u8();
    const unsigned descriptor = in.u8();
    if (in.failed() || colorMapType > 1)
        return -1;
    layout.alphaBits = descriptor & 0x0F;
    layout.rightToLeft = (descriptor & 0x10) != 0;
    layout.topDown = (descriptor & 0x20) != 0;

    const unsigned baseType = layout.type & 7;
    if ((layout.type & ~8u) == 0 || baseType > 3 || (layout.type & ~11u) != 0)
        return -2;
    const unsigned bpp = layout.bitsPerPixel;
    if (baseType == 1 && ((bpp != 8 && bpp != 16) || colorMapType != 1))
        return -1;
    if (baseType == 2 && bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32)
        return -2;
    if (baseType == 3 && bpp != 8)
        return -2;

    in.skip(idLength);
    if (colorMapType == 1) {
        const unsigned pb = layout.paletteBits;
        if (pb != 15 && pb != 16 && pb != 24 && pb != 32)
            return -1;
        layout.palette = in.current();
        in.skip(static_cast<size_t>(layout.paletteLength) * ((pb + 7) / 8));
    }
    if (in.failed())
        return -1;

    const unsigned bytesPerPixel = (bpp + 7) / 8;
    const uint64_t pixels = static_cast<uint64_t>(layout.width) * layout.height;
    const bool runLength = (layout.type & 8) != 0;
    if (!runLength && pixels * bytesPerPixel > in.remaining())
        return -1;
    // A run-length packet of 1 + bytesPerPixel bytes describes at most 128 pixels.
    const uint64_t runLengthBound = 128 / (1 + bytesPerPixel) + 1;
    const int prepared = prepareImage(image, layout.width, layout.height, in.remaining(),
                                      runLength ? runLengthBound : UNCOMPRESSED);
    if (prepared != 0)
        return prepared;

    Bytes rgba(static_cast<size_t>(layout.width) * 4);
    unsigned packetLeft = 0;
    bool packetRepeats = false;
    unsigned char repeated[4] = {0, 0, 0, 255};
    for (uint32_t row = 0; row < layout.height; ++row) {
        for (uint32_t i = 0; i < layout.width; ++i) {
            const uint32_t x = layout.rightToLeft ? layout.width - 1 - i : i;
            unsigned char* out = rgba.data() + static_cast<size_t>(x) * 4;
            if (!runLength) {
                if (!readPixel(layout, in.current(), out))
                    return -1;
                in.skip(bytesPerPixel);
                continue;
            }
            // Packets may run on from one row into the next.
            if (packetLeft == 0) {
                const unsigned header = in.u8();
                packetLeft = (header & 0x7F) + 1;
                packetRepeats = (header & 0x80) != 0;
                if (packetRepeats) {
                    if (in.remaining() < bytesPerPixel || !readPixel(layout, in.current(), repeated))
                        return -1;
                    in.skip(bytesPerPixel);
                }
                if (in.failed())
                    return -1;
            }
            if (packetRepeats) {
                for (int c = 0; c < 4; ++c)
                    out[c] = repeated[c];
            } else {
                if (in.remaining() < bytesPerPixel || !readPixel(layout, in.current(), out))
                    return -1;
                in.skip(bytesPerPixel);
            }
            --packetLeft;
        }
        const uint32_t y = layout.topDown ? row : layout.height - 1 - row;
        storeRowRGBA(image, y, rgba.data());
    }
    return 0;
}

int encodeTGA(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData() || image.getWidth() > 0xFFFF || image.getHeight() > 0xFFFF)
        return -1;
    const unsigned char header[HEADER_SIZE] = {
        0, 0, 2,                // no id, no colour map, uncompressed true colour
        0, 0, 0, 0, 0,          // colour map specification
        0, 0, 0, 0,             // origin
        static_cast<unsigned char>(image.getWidth()), static_cast<unsigned char>(image.getWidth() >> 8),
        static_cast<unsigned char>(image.getHeight()), static_cast<unsigned char>(image.getHeight() >> 8),
        32, 0x28,               // 8 alpha bits, rows from the top
    };
    out.insert(out.end(), header, header + HEADER_SIZE);
    Bytes rgba(image.getRowSize());
    for (unsigned y = 0; y < image.getHeight(); ++y) {
        loadRowRGBA(image, y, rgba.data());
        for (size_t i = 0; i < rgba.size(); i += 4) {
            out.push_back(rgba[i + 2]);
            out.push_back(rgba[i + 1]);
            out.push_back(rgba[i]);
            out.push_back(rgba[i + 3]);
        }
    }
    // The version 2 footer, without extension or developer areas.
    for (int i = 0; i < 8; ++i)
        out.push_back(0);
    appendText(out, "TRUEVISION-XFILE.");
    out.push_back(0);
    return 0;
}

} // namespace kxcodec
