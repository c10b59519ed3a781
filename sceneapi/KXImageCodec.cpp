#include "sceneapi/KXImageCodec.h"

#include <cstring>

namespace kxcodec {

int prepareImage(KXRawImage2D& image, uint64_t width, uint64_t height, size_t encodedSize, uint64_t pixelsPerByte)
{
    if (width == 0 || height == 0 || width > MAX_DECODED_SIDE || height > MAX_DECODED_SIDE)
        return -1;
    const uint64_t pixels = width * height;
    if (pixels > MAX_DECODED_PIXELS)
        return -1;
    if (pixelsPerByte != UNCOMPRESSED) {
        const uint64_t allowance = static_cast<uint64_t>(encodedSize) * pixelsPerByte;
        if (pixels > allowance && pixels > MIN_PIXEL_ALLOWANCE)
            return -1;
    }
    image.setWidth(static_cast<unsigned>(width));
    image.setHeight(static_cast<unsigned>(height));
    // Within the limits the size cannot overflow: a failure is memory.
    return image.createData() == 0 ? 0 : OUT_OF_MEMORY;
}

void storeRowRGBA(KXRawImage2D& image, unsigned y, const unsigned char* rgba)
{
    unsigned char* row = image.getRow(y);
    if (!row)
        return;
    const size_t size = image.getRowSize();
    if (image.getFormat() == KXRawImage2D::KXRAWIMAGE2D_RGBA) {
        std::memcpy(row, rgba, size);
        return;
    }
    for (size_t i = 0; i < size; i += 4) {
        row[i] = rgba[i + 2];
        row[i + 1] = rgba[i + 1];
        row[i + 2] = rgba[i];
        row[i + 3] = rgba[i + 3];
    }
}

void loadRowRGBA(const KXRawImage2D& image, unsigned y, unsigned char* rgba)
{
    const unsigned char* row = image.getRow(y);
    if (!row)
        return;
    const size_t size = image.getRowSize();
    if (image.getFormat() == KXRawImage2D::KXRAWIMAGE2D_RGBA) {
        std::memcpy(rgba, row, size);
        return;
    }
    for (size_t i = 0; i < size; i += 4) {
        rgba[i] = row[i + 2];
        rgba[i + 1] = row[i + 1];
        rgba[i + 2] = row[i];
        rgba[i + 3] = row[i + 3];
    }
}

bool isOpaque(const KXRawImage2D& image)
{
    const size_t size = image.getRowSize();
    for (unsigned y = 0; y < image.getHeight(); ++y) {
        const unsigned char* row = image.getRow(y);
        if (!row)
            return true;
        // Alpha is the fourth byte in both formats.
        for (size_t i = 3; i < size; i += 4) {
            if (row[i] != 255)
                return false;
        }
    }
    return true;
}

void ByteReader::seek(size_t position)
{
    if (position > m_size) {
        m_failed = true;
        m_pos = m_size;
        return;
    }
    m_pos = position;
}

bool ByteReader::take(size_t count)
{
    if (m_failed || count > remaining()) {
        m_failed = true;
        return false;
    }
    return true;
}

uint8_t ByteReader::u8()
{
    if (!take(1))
        return 0;
    return m_data[m_pos++];
}

uint16_t ByteReader::u16le()
{
    if (!take(2))
        return 0;
    const unsigned char* p = m_data + m_pos;
    m_pos += 2;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ByteReader::u32le()
{
    if (!take(4))
        return 0;
    const unsigned char* p = m_data + m_pos;
    m_pos += 4;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t ByteReader::u32be()
{
    if (!take(4))
        return 0;
    const unsigned char* p = m_data + m_pos;
    m_pos += 4;
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void appendU16le(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void appendU32le(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void appendText(Bytes& out, const char* text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

MaskChannel::MaskChannel(uint32_t mask) : m_mask(mask)
{
    if (mask == 0)
        return;
    while (((mask >> m_shift) & 1u) == 0)
        ++m_shift;
    m_max = mask >> m_shift;
}

uint8_t MaskChannel::extract(uint32_t pixel) const
{
    if (m_mask == 0)
        return 0;
    const uint64_t value = (pixel & m_mask) >> m_shift;
    return static_cast<uint8_t>((value * 255 + m_max / 2) / m_max);
}

KXImage2D::KXIMAGE2DFILETYPE identifyFileType(const unsigned char* data, size_t size)
{
    if (!data)
        return KXImage2D::KXIMAGE2D_UNKNOWN;
    static const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(data, pngSignature, 8) == 0)
        return KXImage2D::KXIMAGE2D_PNG;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return KXImage2D::KXIMAGE2D_JPG;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return KXImage2D::KXIMAGE2D_BMP;
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0)
        return KXImage2D::KXIMAGE2D_DDS;
    if (size >= 2 && data[0] == '#' && data[1] == '?')
        return KXImage2D::KXIMAGE2D_HDR;
    if (size >= 3 && data[0] == 'P') {
        const bool space = data[2] == ' ' || data[2] == '\t' || data[2] == '\n' || data[2] == '\r';
        if (space && (data[1] == 'F' || data[1] == 'f'))
            return KXImage2D::KXIMAGE2D_PFM;
        if (space && data[1] >= '1' && data[1] <= '6')
            return KXImage2D::KXIMAGE2D_PPM;
    }
    return KXImage2D::KXIMAGE2D_UNKNOWN;
}

int decodeAny(const unsigned char* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE type, KXRawImage2D& image)
{
    if (!data || size == 0)
        return -1;
    // The content decides when it carries a signature: files are often
    // labelled with the wrong type, and a signature cannot lie about how to
    // read the rest.
    const KXImage2D::KXIMAGE2DFILETYPE identified = identifyFileType(data, size);
    if (identified != KXImage2D::KXIMAGE2D_UNKNOWN)
        type = identified;
    switch (type) {
    case KXImage2D::KXIMAGE2D_BMP:
    case KXImage2D::KXIMAGE2D_DIB:
        return decodeBMP(data, size, image);
    case KXImage2D::KXIMAGE2D_JPG:
        return decodeJPEG(data, size, image);
    case KXImage2D::KXIMAGE2D_TGA:
        return decodeTGA(data, size, image);
    case KXImage2D::KXIMAGE2D_PNG:
        return decodePNG(data, size, image);
    case KXImage2D::KXIMAGE2D_DDS:
        return decodeDDS(data, size, image);
    case KXImage2D::KXIMAGE2D_PPM:
        return decodePPM(data, size, image);
    case KXImage2D::KXIMAGE2D_HDR:
        return decodeHDR(data, size, image);
    case KXImage2D::KXIMAGE2D_PFM:
        return decodePFM(data, size, image);
    default:
        return -2;
    }
}

int encodeAny(const KXRawImage2D& image, KXImage2D::KXIMAGE2DFILETYPE type, int quality, Bytes& out)
{
    switch (type) {
    case KXImage2D::KXIMAGE2D_BMP:
        return encodeBMP(image, true, out);
    case KXImage2D::KXIMAGE2D_DIB:
        return encodeBMP(image, false, out);
    case KXImage2D::KXIMAGE2D_JPG:
        return encodeJPEG(image, quality, out);
    case KXImage2D::KXIMAGE2D_TGA:
        return encodeTGA(image, out);
    case KXImage2D::KXIMAGE2D_PNG:
        return encodePNG(image, out);
    case KXImage2D::KXIMAGE2D_DDS:
        return encodeDDS(image, out);
    case KXImage2D::KXIMAGE2D_PPM:
        return encodePPM(image, out);
    case KXImage2D::KXIMAGE2D_HDR:
        return encodeHDR(image, out);
    case KXImage2D::KXIMAGE2D_PFM:
        return encodePFM(image, out);
    default:
        return -2;
    }
}

} // namespace kxcodec
