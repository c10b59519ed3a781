#pragma once

// Internal to the image library: the file-format codecs behind KXImageUtils.
// Each format lives in its own KXImageCodec<FORMAT>.cpp; this header holds
// their entry points and the helpers they share.
//
// Decoders read untrusted bytes. They check every length against the data
// before reading, refuse images beyond the limits below before allocating,
// and write into the image they are given only through prepareImage and its
// rows. Results: 0 success, -1 damaged or truncated data, -2 a valid file
// using a feature these codecs do not support, OUT_OF_MEMORY when the
// pixels of a valid size cannot be allocated (containers that cannot grow
// throw std::bad_alloc, which the callers catch).

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXRawImage2D.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kxcodec {

using Bytes = std::vector<unsigned char>;

// Largest width or height a decoder accepts.
constexpr uint32_t MAX_DECODED_SIDE = 65535;
// Largest number of pixels a decoder accepts (1 GiB of pixels).
constexpr uint64_t MAX_DECODED_PIXELS = uint64_t(1) << 28;
// A compressed file may describe at most so many pixels per byte of its own
// size; beyond that its header is taken to lie. Small files may always
// describe MIN_PIXEL_ALLOWANCE pixels. This stops a few bytes from claiming
// gigabytes, at the price of refusing freak files: deflate manages about
// 1000 bytes per byte (a flat RGBA PNG gives some 250 pixels per byte, a flat
// one-bit PNG more), and a flat baseline JPEG some 200 pixels per byte.
constexpr uint64_t PNG_PIXELS_PER_BYTE = 2048;
constexpr uint64_t JPEG_PIXELS_PER_BYTE = 1024;
constexpr uint64_t MIN_PIXEL_ALLOWANCE = uint64_t(1) << 22;
// Run-length coded formats give their own exact bound; uncompressed formats
// pass UNCOMPRESSED after checking that the file holds all the pixels.
constexpr uint64_t UNCOMPRESSED = 0;

// The result of a decoder that could not allocate the pixels.
constexpr int OUT_OF_MEMORY = -4;

// Gives the image (keeping its format and fragment limit) the decoded size
// and allocates its pixels. -1 when the size is 0 or beyond the limits
// above, OUT_OF_MEMORY when memory runs out. pixelsPerByte bounds the
// pixels for encodedSize bytes of compressed data (UNCOMPRESSED: no such
// bound).
int prepareImage(KXRawImage2D& image, uint64_t width, uint64_t height, size_t encodedSize, uint64_t pixelsPerByte);

// Pixel rows as red, green, blue, alpha bytes, whatever the image's format.
void storeRowRGBA(KXRawImage2D& image, unsigned y, const unsigned char* rgba);
void loadRowRGBA(const KXRawImage2D& image, unsigned y, unsigned char* rgba);
// True when every pixel is opaque, so an encoder may leave alpha out.
bool isOpaque(const KXRawImage2D& image);

// Bounds-checked little- and big-endian reads; a read past the end gives 0
// and sets the failed flag, which callers test once after a group of reads.
class ByteReader
{
public:
    ByteReader(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}

    size_t position() const { return m_pos; }
    size_t remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
    bool failed() const { return m_failed; }
    // Moves to an absolute position; past the end sets the failed flag.
    void seek(size_t position);
    void skip(size_t count) { seek(m_pos + (count <= remaining() ? count : remaining() + 1)); }
    const unsigned char* current() const { return m_data + m_pos; }

    uint8_t u8();
    uint16_t u16le();
    uint32_t u32le();
    uint32_t u32be();

private:
    bool take(size_t count);

    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_failed = false;
};

void appendU16le(Bytes& out, uint32_t value);
void appendU32le(Bytes& out, uint32_t value);
void appendText(Bytes& out, const char* text);

// One colour channel of a packed pixel described by a bit mask (BMP bit
// fields, DDS pixel formats), scaled to 0..255.
class MaskChannel
{
public:
    explicit MaskChannel(uint32_t mask = 0);
    bool present() const { return m_mask != 0; }
    uint8_t extract(uint32_t pixel) const;

private:
    uint32_t m_mask;
    unsigned m_shift = 0;
    uint32_t m_max = 0;
};

// The type a file's first bytes identify, or KXIMAGE2D_UNKNOWN (formats
// without a signature, TGA and DIB, are never recognised here).
KXImage2D::KXIMAGE2DFILETYPE identifyFileType(const unsigned char* data, size_t size);

// Per-format entry points. Decoders fill an image whose format and fragment
// limit the caller chose; encoders append a whole file to out (0, -1 for an
// image the format cannot hold, OUT_OF_MEMORY).
int decodePNG(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodePNG(const KXRawImage2D& image, Bytes& out);
int decodeJPEG(const unsigned char* data, size_t size, KXRawImage2D& image);
// quality 1 (smallest) to 100 (best); other values are clamped.
int encodeJPEG(const KXRawImage2D& image, int quality, Bytes& out);
// Reads a BMP file, or a bitmap without the file header (DIB).
int decodeBMP(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodeBMP(const KXRawImage2D& image, bool withFileHeader, Bytes& out);
int decodeTGA(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodeTGA(const KXRawImage2D& image, Bytes& out);
int decodePPM(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodePPM(const KXRawImage2D& image, Bytes& out);
int decodePFM(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodePFM(const KXRawImage2D& image, Bytes& out);
int decodeHDR(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodeHDR(const KXRawImage2D& image, Bytes& out);
int decodeDDS(const unsigned char* data, size_t size, KXRawImage2D& image);
int encodeDDS(const KXRawImage2D& image, Bytes& out);

// Decodes by the file's signature, falling back to the given type for
// formats without one. -2 when neither identifies a supported format.
int decodeAny(const unsigned char* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE type, KXRawImage2D& image);
// -2 for KXIMAGE2D_UNKNOWN and out-of-range types.
int encodeAny(const KXRawImage2D& image, KXImage2D::KXIMAGE2DFILETYPE type, int quality, Bytes& out);

// DirectDraw surfaces with every surface they hold (mip levels, cube faces,
// volume slices), for texture loaders and savers.
struct DDSInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;     // slices of a volume; 1 otherwise
    uint32_t mipLevels = 1; // at least 1
    uint32_t faceMask = 0;  // cube faces present (bit i: face i, +X -X +Y -Y +Z -Z); 0 for other files
    bool volume = false;
    bool hasAlpha = false;  // whether the pixels carry alpha
    // Pixel layout: masks of an uncompressed format, or a four-character
    // code (DXT1 to DXT5, or a Direct3D format number for float formats).
    uint32_t formatFlags = 0;
    uint32_t fourCC = 0;
    uint32_t bitCount = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    size_t dataOffset = 0;
};
// Reads and checks the header, and that the file holds every surface it
// announces. 0, -1 damaged, -2 a layout these codecs do not decode.
int readDDSInfo(const unsigned char* data, size_t size, DDSInfo& info);
// Decodes slice `slice` of mip level `level` of cube face `face` (0 for
// files that are not cube maps; a face the file holds) into the image.
int decodeDDSImage(const unsigned char* data, size_t size, const DDSInfo& info, uint32_t face, uint32_t level,
                   uint32_t slice, KXRawImage2D& image);
// Appends the header of a DDS file whose surfaces the caller appends in
// file order: each cube face in turn, its levels from the top, each
// level's slices. formatFlags, fourCC, bitCount and masks describe them.
void appendDDSHeader(Bytes& out, const DDSInfo& layout);
// Header flag values for appendDDSHeader.
constexpr uint32_t DDS_PF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDS_PF_ALPHA = 0x2;
constexpr uint32_t DDS_PF_FOURCC = 0x4;
constexpr uint32_t DDS_PF_RGB = 0x40;
constexpr uint32_t DDS_PF_LUMINANCE = 0x20000;

} // namespace kxcodec
