// Netpbm grey and colour maps (P2, P3, P5, P6) with any maximum value up to
// 65535, and the portable float map (PF colour, Pf grey). Both share the
// text header of white-space separated fields. Writes binary P6 with
// maximum 255, and little-endian PF.

#include "sceneapi/KXImageCodec.h"

#include <cstdio>
#include <cstring>

namespace kxcodec {

namespace {

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the text fields of a Netpbm-style header; '#' starts a comment
// that runs to the end of the line.
class HeaderReader
{
public:
    HeaderReader(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}

    // Next unsigned decimal field; false when there is none or it exceeds limit.
    bool readUnsigned(uint32_t limit, uint32_t& value)
    {
        skipSpaceAndComments();
        value = 0;
        size_t digits = 0;
        while (m_pos < m_size && m_data[m_pos] >= '0' && m_data[m_pos] <= '9') {
            value = value * 10 + (m_data[m_pos] - '0');
            if (value > limit)
                return false;
            ++m_pos;
            ++digits;
        }
        return digits > 0;
    }

    // Next field as text, at most 63 characters.
    bool readToken(char* token, size_t capacity)
    {
        skipSpaceAndComments();
        size_t n = 0;
        while (m_pos < m_size && !isSpace(m_data[m_pos]) && n + 1 < capacity)
            token[n++] = static_cast<char>(m_data[m_pos++]);
        token[n] = '\0';
        return n > 0 && (m_pos >= m_size || isSpace(m_data[m_pos]));
    }

    // The single white-space character that ends the header.
    bool endHeader()
    {
        if (m_pos >= m_size || !isSpace(m_data[m_pos]))
            return false;
        ++m_pos;
        return true;
    }

    size_t position() const { return m_pos; }
    void setPosition(size_t pos) { m_pos = pos; }

private:
    void skipSpaceAndComments()
    {
        while (m_pos < m_size) {
            if (isSpace(m_data[m_pos])) {
                ++m_pos;
            } else if (m_data[m_pos] == '#') {
                while (m_pos < m_size && m_data[m_pos] != '\n' && m_data[m_pos] != '\r')
                    ++m_pos;
            } else {
                break;
            }
        }
    }

    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

unsigned char scaleSample(uint32_t value, uint32_t maxValue)
{
    if (value >= maxValue)
        return 255;
    return static_cast<unsigned char>((static_cast<uint64_t>(value) * 255 + maxValue / 2) / maxValue);
}

unsigned char floatToByte(float v)
{
    if (!(v > 0.0f))
        return 0; // also NaN
    if (v >= 1.0f)
        return 255;
    return static_cast<unsigned char>(v * 255.0f + 0.5f);
}

// Sign of the scale field of a float map: -1, +1, or 0 when it is zero or
// not a number. Parsed by hand, because strtod follows the locale's decimal
// point.
int scaleSign(const char* text)
{
    int sign = 1;
    if (*text == '+' || *text == '-')
        sign = *text++ == '-' ? -1 : 1;
    bool digits = false, nonZero = false;
    for (; *text >= '0' && *text <= '9'; ++text) {
        digits = true;
        nonZero = nonZero || *text != '0';
    }
    if (*text == '.') {
        for (++text; *text >= '0' && *text <= '9'; ++text) {
            digits = true;
            nonZero = nonZero || *text != '0';
        }
    }
    if (digits && (*text == 'e' || *text == 'E')) {
        ++text;
        if (*text == '+' || *text == '-')
            ++text;
        if (!(*text >= '0' && *text <= '9'))
            return 0;
        while (*text >= '0' && *text <= '9')
            ++text;
    }
    if (!digits || *text != '\0' || !nonZero)
        return 0;
    return sign;
}

} // namespace

int decodePPM(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data || size < 3 || data[0] != 'P')
        return -1;
    const char kind = static_cast<char>(data[1]);
    if (kind == '1' || kind == '4')
        return -2; // bit maps
    if (kind != '2' && kind != '3' && kind != '5' && kind != '6')
        return -1;
    const bool ascii = kind == '2' || kind == '3';
    const unsigned channels = (kind == '3' || kind == '6') ? 3 : 1;

    HeaderReader header(data, size);
    header.setPosition(2);
    uint32_t width = 0, height = 0, maxValue = 0;
    if (!header.readUnsigned(MAX_DECODED_SIDE, width) || !header.readUnsigned(MAX_DECODED_SIDE, height) ||
        !header.readUnsigned(65535, maxValue) || maxValue == 0 || !header.endHeader())
        return -1;

    const uint64_t samples = static_cast<uint64_t>(width) * height * channels;
    const unsigned sampleBytes = maxValue < 256 ? 1 : 2;
    const size_t remaining = size - header.position();
    // Text samples take at least a digit and a separator each.
    if (ascii ? samples * 2 > remaining + 1 : samples * sampleBytes > remaining)
        return -1;
    const int prepared = prepareImage(image, width, height, size, UNCOMPRESSED);
    if (prepared != 0)
        return prepared;

    const unsigned char* p = data + header.position();
    Bytes rgba(static_cast<size_t>(width) * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t v[3] = {0, 0, 0};
            for (unsigned c = 0; c < channels; ++c) {
                if (ascii) {
                    if (!header.readUnsigned(maxValue, v[c]))
                        return -1;
                } else if (sampleBytes == 1) {
                    v[c] = *p++;
                } else {
                    v[c] = (p[0] << 8) | p[1];
                    p += 2;
                }
            }
            unsigned char* out = rgba.data() + static_cast<size_t>(x) * 4;
            for (unsigned c = 0; c < 3; ++c)
                out[c] = scaleSample(v[channels == 3 ? c : 0], maxValue);
            out[3] = 255;
        }
        storeRowRGBA(image, y, rgba.data());
    }
    return 0;
}

int encodePPM(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData())
        return -1;
    char header[64];
    std::snprintf(header, sizeof header, "P6\n%u %u\n255\n", image.getWidth(), image.getHeight());
    appendText(out, header);
    Bytes rgba(image.getRowSize());
    for (unsigned y = 0; y < image.getHeight(); ++y) {
        loadRowRGBA(image, y, rgba.data());
        for (size_t i = 0; i < rgba.size(); i += 4)
            out.insert(out.end(), rgba.begin() + static_cast<std::ptrdiff_t>(i),
                       rgba.begin() + static_cast<std::ptrdiff_t>(i + 3));
    }
    return 0;
}

int decodePFM(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data || size < 3 || data[0] != 'P' || (data[1] != 'F' && data[1] != 'f'))
        return -1;
    const unsigned channels = data[1] == 'F' ? 3 : 1;
    HeaderReader header(data, size);
    header.setPosition(2);
    uint32_t width = 0, height = 0;
    char scaleText[64];
    if (!header.readUnsigned(MAX_DECODED_SIDE, width) || !header.readUnsigned(MAX_DECODED_SIDE, height) ||
        !header.readToken(scaleText, sizeof scaleText) || !header.endHeader())
        return -1;
    // The sign of the scale gives the byte order: negative is little-endian.
    const int sign = scaleSign(scaleText);
    if (sign == 0)
        return -1;
    const bool littleEndian = sign < 0;

    const uint64_t samples = static_cast<uint64_t>(width) * height * channels;
    if (samples * 4 > size - header.position())
        return -1;
    const int prepared = prepareImage(image, width, height, size, UNCOMPRESSED);
    if (prepared != 0)
        return prepared;

    const unsigned char* pixels = data + header.position();
    Bytes rgba(static_cast<size_t>(width) * 4);
    const size_t rowBytes = static_cast<size_t>(width) * channels * 4;
    for (uint32_t row = 0; row < height; ++row) {
        const unsigned char* p = pixels + rowBytes * row;
        for (uint32_t x = 0; x < width; ++x) {
            float v[3] = {0.0f, 0.0f, 0.0f};
            for (unsigned c = 0; c < channels; ++c, p += 4) {
                const uint32_t bits = littleEndian
                                          ? (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24))
                                          : ((static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
                std::memcpy(&v[c], &bits, 4);
            }
            unsigned char* out = rgba.data() + static_cast<size_t>(x) * 4;
            for (unsigned c = 0; c < 3; ++c)
                out[c] = floatToByte(v[channels == 3 ? c : 0]);
            out[3] = 255;
        }
        // Rows are stored from the bottom up.
        storeRowRGBA(image, height - 1 - row, rgba.data());
    }
    return 0;
}

int encodePFM(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData())
        return -1;
    char header[64];
    std::snprintf(header, sizeof header, "PF\n%u %u\n-1.0\n", image.getWidth(), image.getHeight());
    appendText(out, header);
    Bytes rgba(image.getRowSize());
    for (unsigned row = image.getHeight(); row-- > 0;) {
        loadRowRGBA(image, row, rgba.data());
        for (size_t i = 0; i < rgba.size(); i += 4) {
            for (unsigned c = 0; c < 3; ++c) {
                const float v = static_cast<float>(rgba[i + c]) / 255.0f;
                uint32_t bits;
                std::memcpy(&bits, &v, 4);
                appendU32le(out, bits);
            }
        }
    }
    return 0;
}

} // namespace kxcodec
