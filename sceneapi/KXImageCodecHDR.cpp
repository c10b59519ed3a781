// Radiance RGBE pictures: a text header, a resolution line, then scan lines
// of red, green and blue mantissas sharing one exponent byte per pixel,
// flat, run-length coded per component ("new" coding) or with the old
// repeat-pixel coding. Reads the standard orientation with rows from the
// top or the bottom; writes flat scan lines from the top.
//
// Values above 1 are clipped to white: the library's pixels are 8-bit.

#include "sceneapi/KXImageCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kxcodec {

namespace {

const char* const FORMAT_RGBE = "FORMAT=32-bit_rle_rgbe";
const char* const FORMAT_XYZE = "FORMAT=32-bit_rle_xyze";

// Reads the next header line; false at the end of the data. Lines longer
// than the buffer are cut (only the known ones matter).
bool readLine(ByteReader& in, char* line, size_t capacity)
{
    if (in.remaining() == 0)
        return false;
    size_t n = 0;
    while (in.remaining() > 0) {
        const unsigned char c = in.u8();
        if (c == '\n')
            break;
        if (n + 1 < capacity)
            line[n++] = static_cast<char>(c);
    }
    line[n] = '\0';
    return true;
}

bool parseDimension(const char*& text, char sign, char axis, uint32_t& value)
{
    if (text[0] != sign || text[1] != axis || text[2] != ' ')
        return false;
    text += 3;
    value = 0;
    const char* start = text;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + static_cast<uint32_t>(*text - '0');
        if (value > MAX_DECODED_SIDE)
            return false;
        ++text;
    }
    return text != start;
}

unsigned char rgbeToByte(unsigned mantissa, int exponent)
{
    if (exponent == 0)
        return 0;
    // Mantissas are read as they stand, so that 0 stays black; the encoder
    // rounds to the nearest mantissa to match.
    const double v = std::ldexp(static_cast<double>(mantissa), exponent - (128 + 8));
    if (v >= 1.0)
        return 255;
    return static_cast<unsigned char>(v * 255.0 + 0.5);
}

// Reads one scan line of width pixels into rgbe (4 bytes a pixel).
bool readScanline(ByteReader& in, uint32_t width, unsigned char* rgbe)
{
    // Run-length coded lines start with 2, 2 and the width in two bytes.
    if (width >= 8 && width < 0x8000 && in.remaining() >= 4) {
        const unsigned char* p = in.current();
        if (p[0] == 2 && p[1] == 2 && (p[2] & 0x80) == 0) {
            if (((p[2] << 8) | p[3]) != static_cast<int>(width))
                return false;
            in.skip(4);
            for (unsigned c = 0; c < 4; ++c) {
                uint32_t x = 0;
                while (x < width) {
                    unsigned count = in.u8();
                    if (in.failed())
                        return false;
                    if (count > 128) {
                        count -= 128;
                        const unsigned char value = in.u8();
                        if (in.failed() || count > width - x)
                            return false;
                        for (unsigned i = 0; i < count; ++i, ++x)
                            rgbe[x * 4 + c] = value;
                    } else {
                        if (count == 0 || count > width - x || count > in.remaining())
                            return false;
                        for (unsigned i = 0; i < count; ++i, ++x)
                            rgbe[x * 4 + c] = in.u8();
                    }
                }
            }
            return true;
        }
    }
    // Flat pixels, where 1, 1, 1, n repeats the previous pixel n times
    // (shifted by 8 more bits for each repeat that follows another).
    unsigned shift = 0;
    uint32_t x = 0;
    while (x < width) {
        if (in.remaining() < 4)
            return false;
        const unsigned char* p = in.current();
        in.skip(4);
        if (p[0] == 1 && p[1] == 1 && p[2] == 1) {
            if (x == 0 || shift > 16)
                return false;
            const uint64_t count = static_cast<uint64_t>(p[3]) << shift;
            if (count > width - x)
                return false;
            for (uint64_t i = 0; i < count; ++i, ++x)
                std::memcpy(rgbe + x * 4, rgbe + (x - 1) * 4, 4);
            shift += 8;
        } else {
            std::memcpy(rgbe + x * 4, p, 4);
            ++x;
            shift = 0;
        }
    }
    return true;
}

} // namespace

int decodeHDR(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data || size < 2 || data[0] != '#' || data[1] != '?')
        return -1;
    ByteReader in(data, size);
    char line[256];
    readLine(in, line, sizeof line); // the "#?RADIANCE" line
    // Files without a format line are RGBE by convention.
    for (;;) {
        if (!readLine(in, line, sizeof line))
            return -1;
        if (line[0] == '\0')
            break;
        if (std::strcmp(line, FORMAT_XYZE) == 0)
            return -2;
    }
    if (!readLine(in, line, sizeof line))
        return -1;
    // Standard orientation: rows from the top (-Y) or bottom (+Y), columns
    // from the left. Other orders (columns first, mirrored) are refused.
    const char* text = line;
    uint32_t width = 0, height = 0;
    const bool topDown = line[0] == '-';
    if (!parseDimension(text, topDown ? '-' : '+', 'Y', height) || *text++ != ' ' ||
        !parseDimension(text, '+', 'X', width) || *text != '\0')
        return (line[0] == '-' || line[0] == '+') ? -2 : -1;

    // A run-length coded scan line takes at least two bytes per 127 values of
    // each of its four components. (Old-style repeats can pack more, but
    // such files are rare enough to be refused when they would exceed this.)
    const uint64_t pixelsPerByte = 127 / 8 + 1;
    const int prepared = prepareImage(image, width, height, in.remaining(), pixelsPerByte);
    if (prepared != 0)
        return prepared;
    Bytes rgbe(static_cast<size_t>(width) * 4);
    Bytes rgba(static_cast<size_t>(width) * 4);
    for (uint32_t row = 0; row < height; ++row) {
        if (!readScanline(in, width, rgbe.data()))
            return -1;
        for (size_t i = 0; i < rgbe.size(); i += 4) {
            const int exponent = rgbe[i + 3];
            rgba[i] = rgbeToByte(rgbe[i], exponent);
            rgba[i + 1] = rgbeToByte(rgbe[i + 1], exponent);
            rgba[i + 2] = rgbeToByte(rgbe[i + 2], exponent);
            rgba[i + 3] = 255;
        }
        storeRowRGBA(image, topDown ? row : height - 1 - row, rgba.data());
    }
    return 0;
}

int encodeHDR(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData())
        return -1;
    appendText(out, "#?RADIANCE\n");
    appendText(out, FORMAT_RGBE);
    char resolution[64];
    std::snprintf(resolution, sizeof resolution, "\n\n-Y %u +X %u\n", image.getHeight(), image.getWidth());
    appendText(out, resolution);
    Bytes rgba(image.getRowSize());
    for (unsigned y = 0; y < image.getHeight(); ++y) {
        loadRowRGBA(image, y, rgba.data());
        for (size_t i = 0; i < rgba.size(); i += 4) {
            const unsigned char m = std::max(rgba[i], std::max(rgba[i + 1], rgba[i + 2]));
            if (m == 0) {
                appendU32le(out, 0);
                continue;
            }
            // Shared exponent of the largest component; mantissas rounded to
            // the nearest of 0..255.
            int exponent = 0;
            const double frac = std::frexp(m / 255.0, &exponent);
            const double scale = frac * 256.0 / (m / 255.0);
            for (unsigned c = 0; c < 3; ++c)
                out.push_back(static_cast<unsigned char>(std::min(255.0, rgba[i + c] / 255.0 * scale + 0.5)));
            out.push_back(static_cast<unsigned char>(exponent + 128));
        }
    }
    return 0;
}

} // namespace kxcodec
