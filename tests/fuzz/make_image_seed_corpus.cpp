// Writes the seed corpus of the image decoder and D3DX loader fuzzers: small
// valid files of every format and variant the decoders read (bit depths,
// colour types, palettes, masks, run-length coding, orientations, mip
// chains, cube maps and volumes). The files are written here byte by byte,
// or through libpng and libjpeg for their variants, never by the codecs
// under test. Run it by hand with the corpus directory as argument after
// changing what the decoders read.

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_directory;
int g_files = 0;

void save(const std::string& name, const Bytes& bytes)
{
    std::ofstream out(g_directory + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", name.c_str());
        std::exit(1);
    }
    ++g_files;
}

struct Writer {
    Bytes bytes;
    void u8(unsigned v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16le(unsigned v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32le(uint32_t v)
    {
        u16le(v & 0xFFFF);
        u16le(v >> 16);
    }
    void u16be(unsigned v)
    {
        u8(v >> 8);
        u8(v);
    }
    void u32be(uint32_t v)
    {
        u16be(v >> 16);
        u16be(v & 0xFFFF);
    }
    void text(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
};

// A deterministic picture: channel c (red, green, blue, alpha) of pixel (x, y).
uint8_t sample(unsigned x, unsigned y, unsigned c)
{
    static const unsigned factors[4][2] = {{37, 11}, {13, 53}, {29, 31}, {7, 67}};
    return static_cast<uint8_t>(x * factors[c][0] + y * factors[c][1] + c * 40);
}

// ---------------------------------------------------------------- PNG

struct PngVariant {
    int colorType;
    int bitDepth;
    bool interlaced;
    bool transparency; // a tRNS chunk
    bool textChunks;
};

void pngWriteToBytes(png_structp png, png_bytep data, png_size_t length)
{
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void pngFlush(png_structp) {}

Bytes makePng(unsigned width, unsigned height, const PngVariant& v)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "libpng failed\n");
        std::exit(1);
    }
    png_set_write_fn(png, &out, pngWriteToBytes, pngFlush);
    png_set_IHDR(png, info, width, height, v.bitDepth, v.colorType,
                 v.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const unsigned levels = 1u << v.bitDepth;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    if (v.colorType == PNG_COLOR_TYPE_PALETTE) {
        for (unsigned i = 0; i < levels; ++i)
            palette.push_back(png_color{sample(i, 0, 0), sample(i, 1, 1), sample(i, 2, 2)});
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        if (v.transparency) {
            for (unsigned i = 0; i < levels && i < 3; ++i)
                alphas.push_back(static_cast<png_byte>(i * 100));
            png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
        }
    } else if (v.transparency) {
        png_color_16 key{};
        key.gray = 1;
        key.red = 1;
        key.green = 2;
        key.blue = 3;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (v.textChunks) {
        png_text texts[2] = {};
        texts[0].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[0].key = const_cast<char*>("Title");
        texts[0].text = const_cast<char*>("seed");
        texts[1].compression = PNG_TEXT_COMPRESSION_zTXt;
        texts[1].key = const_cast<char*>("Comment");
        texts[1].text = const_cast<char*>("a compressed comment, a compressed comment");
        png_set_text(png, info, texts, 2);
        png_set_gAMA(png, info, 0.45455);
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);

    // Rows packed as the file stores them (big-endian 16-bit samples).
    int channels = 1;
    if (v.colorType == PNG_COLOR_TYPE_RGB)
        channels = 3;
    else if (v.colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        channels = 2;
    else if (v.colorType == PNG_COLOR_TYPE_RGB_ALPHA)
        channels = 4;
    const size_t rowBytes = (static_cast<size_t>(width) * channels * v.bitDepth + 7) / 8;
    std::vector<Bytes> rows(height, Bytes(rowBytes, 0));
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const unsigned value = (sample(x, y, static_cast<unsigned>(c)) * 257u) >> (16 - v.bitDepth);
                const size_t bit = (static_cast<size_t>(x) * channels + c) * v.bitDepth;
                if (v.bitDepth == 16) {
                    rows[y][bit / 8] = static_cast<uint8_t>(value >> 8);
                    rows[y][bit / 8 + 1] = static_cast<uint8_t>(value);
                } else {
                    rows[y][bit / 8] |= static_cast<uint8_t>(value << (8 - v.bitDepth - bit % 8));
                }
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void writePngs()
{
    struct Named {
        const char* name;
        PngVariant variant;
    };
    const Named variants[] = {
        {"gray1", {PNG_COLOR_TYPE_GRAY, 1, false, false, false}},
        {"gray2", {PNG_COLOR_TYPE_GRAY, 2, false, false, false}},
        {"gray4", {PNG_COLOR_TYPE_GRAY, 4, false, false, false}},
        {"gray8", {PNG_COLOR_TYPE_GRAY, 8, false, false, false}},
        {"gray16", {PNG_COLOR_TYPE_GRAY, 16, false, false, false}},
        {"gray8_trns", {PNG_COLOR_TYPE_GRAY, 8, false, true, false}},
        {"gray_alpha8", {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, false}},
        {"gray_alpha16", {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false, false}},
        {"rgb8", {PNG_COLOR_TYPE_RGB, 8, false, false, true}},
        {"rgb16", {PNG_COLOR_TYPE_RGB, 16, false, false, false}},
        {"rgb8_trns", {PNG_COLOR_TYPE_RGB, 8, false, true, false}},
        {"rgba8", {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, false}},
        {"rgba16", {PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false, false}},
        {"rgba8_interlaced", {PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false, false}},
        {"palette1", {PNG_COLOR_TYPE_PALETTE, 1, false, false, false}},
        {"palette2", {PNG_COLOR_TYPE_PALETTE, 2, false, false, false}},
        {"palette4_interlaced", {PNG_COLOR_TYPE_PALETTE, 4, true, false, false}},
        {"palette8", {PNG_COLOR_TYPE_PALETTE, 8, false, false, false}},
        {"palette8_trns", {PNG_COLOR_TYPE_PALETTE, 8, false, true, false}},
    };
    for (const Named& n : variants)
        save(std::string("png_") + n.name + ".png", makePng(11, 7, n.variant));
}

// ---------------------------------------------------------------- JPEG

struct JpegVariant {
    J_COLOR_SPACE fileSpace; // colour space written to the file
    int quality;
    int hSampling;           // sampling factors of the first component
    int vSampling;
    bool progressive;
    bool arithmetic;
    bool optimize;
    int restartRows;
};

struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void onJpegFailure(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

// False when this libjpeg cannot write the variant (arithmetic coding is
// optional).
bool makeJpeg(unsigned width, unsigned height, const JpegVariant& v, Bytes& out)
{
    jpeg_compress_struct info;
    JpegFailure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = onJpegFailure;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    const bool cmyk = v.fileSpace == JCS_CMYK || v.fileSpace == JCS_YCCK;
    const bool gray = v.fileSpace == JCS_GRAYSCALE;
    info.input_components = cmyk ? 4 : gray ? 1 : 3;
    info.in_color_space = cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, v.fileSpace);
    jpeg_set_quality(&info, v.quality, TRUE);
    info.comp_info[0].h_samp_factor = v.hSampling;
    info.comp_info[0].v_samp_factor = v.vSampling;
    if (v.progressive)
        jpeg_simple_progression(&info);
    info.arith_code = v.arithmetic ? TRUE : FALSE;
    info.optimize_coding = v.optimize ? TRUE : FALSE;
    info.restart_in_rows = v.restartRows;
    jpeg_start_compress(&info, TRUE);
    Bytes row(static_cast<size_t>(width) * info.input_components);
    while (info.next_scanline < height) {
        for (unsigned x = 0; x < width; ++x)
            for (int c = 0; c < info.input_components; ++c)
                row[x * info.input_components + c] = sample(x, info.next_scanline, static_cast<unsigned>(c));
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    out.assign(buffer, buffer + size);
    std::free(buffer);
    return true;
}

void writeJpegs()
{
    struct Named {
        const char* name;
        JpegVariant variant;
    };
    const Named variants[] = {
        {"baseline420", {JCS_YCbCr, 75, 2, 2, false, false, false, 0}},
        {"baseline444_q95", {JCS_YCbCr, 95, 1, 1, false, false, false, 0}},
        {"baseline422_optimized", {JCS_YCbCr, 50, 2, 1, false, false, true, 0}},
        {"gray", {JCS_GRAYSCALE, 80, 1, 1, false, false, false, 0}},
        {"progressive", {JCS_YCbCr, 75, 2, 2, true, false, false, 0}},
        {"progressive_gray", {JCS_GRAYSCALE, 60, 1, 1, true, false, false, 0}},
        {"restart", {JCS_YCbCr, 75, 1, 1, false, false, false, 1}},
        {"arithmetic", {JCS_YCbCr, 75, 2, 2, false, true, false, 0}},
        {"arithmetic_progressive", {JCS_YCbCr, 75, 2, 2, true, true, false, 0}},
        {"rgb", {JCS_RGB, 85, 1, 1, false, false, false, 0}},
        {"cmyk", {JCS_CMYK, 85, 1, 1, false, false, false, 0}},
        {"ycck", {JCS_YCCK, 85, 2, 2, false, false, false, 0}},
    };
    for (const Named& n : variants) {
        Bytes file;
        if (makeJpeg(19, 9, n.variant, file))
            save(std::string("jpeg_") + n.name + ".jpg", file);
        else
            std::fprintf(stderr, "libjpeg cannot write %s; skipped\n", n.name);
    }
}

// ---------------------------------------------------------------- BMP

enum class BmpHeader { Core, Info, V4, V5 };

struct BmpVariant {
    BmpHeader header;
    unsigned bits;
    uint32_t compression;          // 0 plain, 3 bit fields, 6 alpha bit fields
    uint32_t masks[4];             // for bit fields
    bool topDown;
    bool fileHeader;
    unsigned paletteStored;        // entries written (indexed images)
    unsigned paletteDeclared;      // biClrUsed (0: all)
    bool zeroAlpha;                // 32-bit plain pixels with 0 in the fourth byte
};

uint32_t packMasked(unsigned x, unsigned y, const uint32_t masks[4])
{
    uint32_t pixel = 0;
    for (unsigned c = 0; c < 4; ++c) {
        const uint32_t mask = masks[c];
        if (!mask)
            continue;
        unsigned shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        const uint32_t max = mask >> shift;
        pixel |= ((static_cast<uint32_t>(sample(x, y, c)) * max / 255) << shift) & mask;
    }
    return pixel;
}

Bytes makeBmp(unsigned width, unsigned height, const BmpVariant& v)
{
    const uint32_t headerSize = v.header == BmpHeader::Core ? 12 : v.header == BmpHeader::Info ? 40
                               : v.header == BmpHeader::V4   ? 108
                                                              : 124;
    uint32_t masks[4] = {v.masks[0], v.masks[1], v.masks[2], v.masks[3]};
    if (v.compression == 0 && v.bits == 16) {
        const uint32_t defaults[4] = {0x7C00, 0x03E0, 0x001F, 0};
        std::memcpy(masks, defaults, sizeof masks);
    }
    if (v.compression == 0 && v.bits == 32) {
        const uint32_t defaults[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, v.zeroAlpha ? 0u : 0xFF000000u};
        std::memcpy(masks, defaults, sizeof masks);
    }
    const size_t stride = ((static_cast<size_t>(width) * v.bits + 31) / 32) * 4;
    Writer info;
    info.u32le(headerSize);
    if (v.header == BmpHeader::Core) {
        info.u16le(width);
        info.u16le(height);
        info.u16le(1);
        info.u16le(v.bits);
    } else {
        info.u32le(width);
        info.u32le(v.topDown ? static_cast<uint32_t>(-static_cast<int32_t>(height)) : height);
        info.u16le(1);
        info.u16le(v.bits);
        info.u32le(v.compression);
        info.u32le(static_cast<uint32_t>(stride * height));
        info.u32le(2835);
        info.u32le(2835);
        info.u32le(v.paletteDeclared);
        info.u32le(0);
        if (v.header != BmpHeader::Info) {
            for (uint32_t mask : v.masks)
                info.u32le(mask);
            info.u32le(0x73524742); // sRGB
            info.zeros(36 + 12);
            if (v.header == BmpHeader::V5)
                info.zeros(16);
        } else if (v.compression == 3) {
            for (int i = 0; i < 3; ++i)
                info.u32le(v.masks[i]);
        } else if (v.compression == 6) {
            for (uint32_t mask : v.masks)
                info.u32le(mask);
        }
    }
    const unsigned entrySize = v.header == BmpHeader::Core ? 3 : 4;
    for (unsigned i = 0; i < v.paletteStored; ++i) {
        info.u8(sample(i, 5, 2));
        info.u8(sample(i, 5, 1));
        info.u8(sample(i, 5, 0));
        if (entrySize == 4)
            info.u8(0);
    }
    Writer pixels;
    for (unsigned row = 0; row < height; ++row) {
        const unsigned y = v.topDown ? row : height - 1 - row;
        Bytes line(stride, 0);
        for (unsigned x = 0; x < width; ++x) {
            if (v.bits <= 8) {
                const unsigned count = v.paletteStored ? v.paletteStored : 1;
                const unsigned index = (x + y * 3) % count;
                const size_t bit = static_cast<size_t>(x) * v.bits;
                line[bit / 8] |= static_cast<uint8_t>(index << (8 - v.bits - bit % 8));
            } else if (v.bits == 24) {
                line[x * 3] = sample(x, y, 2);
                line[x * 3 + 1] = sample(x, y, 1);
                line[x * 3 + 2] = sample(x, y, 0);
            } else {
                const uint32_t pixel = packMasked(x, y, masks);
                for (unsigned b = 0; b < v.bits / 8; ++b)
                    line[x * (v.bits / 8) + b] = static_cast<uint8_t>(pixel >> (8 * b));
            }
        }
        pixels.bytes.insert(pixels.bytes.end(), line.begin(), line.end());
    }
    Writer file;
    if (v.fileHeader) {
        const uint32_t offset = 14 + static_cast<uint32_t>(info.bytes.size());
        file.text("BM");
        file.u32le(offset + static_cast<uint32_t>(pixels.bytes.size()));
        file.u32le(0);
        file.u32le(offset);
    }
    file.bytes.insert(file.bytes.end(), info.bytes.begin(), info.bytes.end());
    file.bytes.insert(file.bytes.end(), pixels.bytes.begin(), pixels.bytes.end());
    return file.bytes;
}

void writeBmps()
{
    struct Named {
        const char* name;
        BmpVariant variant;
    };
    const Named variants[] = {
        {"core1", {BmpHeader::Core, 1, 0, {}, false, true, 2, 0, false}},
        {"core4", {BmpHeader::Core, 4, 0, {}, false, true, 16, 0, false}},
        {"core8", {BmpHeader::Core, 8, 0, {}, false, true, 256, 0, false}},
        {"core24", {BmpHeader::Core, 24, 0, {}, false, true, 0, 0, false}},
        {"info1", {BmpHeader::Info, 1, 0, {}, false, true, 2, 2, false}},
        {"info4", {BmpHeader::Info, 4, 0, {}, false, true, 16, 0, false}},
        {"info4_short_palette", {BmpHeader::Info, 4, 0, {}, false, true, 5, 5, false}},
        {"info8", {BmpHeader::Info, 8, 0, {}, false, true, 256, 0, false}},
        {"info8_topdown", {BmpHeader::Info, 8, 0, {}, true, true, 7, 7, false}},
        {"info16", {BmpHeader::Info, 16, 0, {}, false, true, 0, 0, false}},
        {"info24", {BmpHeader::Info, 24, 0, {}, false, true, 0, 0, false}},
        {"info24_topdown", {BmpHeader::Info, 24, 0, {}, true, true, 0, 0, false}},
        {"info32_alpha", {BmpHeader::Info, 32, 0, {}, false, true, 0, 0, false}},
        {"info32_zero_alpha", {BmpHeader::Info, 32, 0, {}, false, true, 0, 0, true}},
        {"bitfields565", {BmpHeader::Info, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, false, true, 0, 0, false}},
        {"bitfields32", {BmpHeader::Info, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, false, true, 0, 0, false}},
        {"alphabitfields4444",
         {BmpHeader::Info, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}, false, true, 0, 0, false}},
        {"v4_argb", {BmpHeader::V4, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, false, true, 0, 0, false}},
        {"v5_1010102",
         {BmpHeader::V5, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, true, true, 0, 0, false}},
        {"v5_rgb24", {BmpHeader::V5, 24, 0, {}, false, true, 0, 0, false}},
    };
    for (const Named& n : variants)
        save(std::string("bmp_") + n.name + ".bmp", makeBmp(13, 5, n.variant));
    // Bitmaps without the file header.
    const Named dibs[] = {
        {"info8", {BmpHeader::Info, 8, 0, {}, false, false, 12, 12, false}},
        {"info24", {BmpHeader::Info, 24, 0, {}, false, false, 0, 0, false}},
        {"core4", {BmpHeader::Core, 4, 0, {}, false, false, 16, 0, false}},
        {"v4_argb", {BmpHeader::V4, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, true, false, 0, 0, false}},
    };
    for (const Named& n : dibs)
        save(std::string("dib_") + n.name + ".dib", makeBmp(6, 4, n.variant));
}

// ---------------------------------------------------------------- TGA

struct TgaVariant {
    unsigned type;          // 1, 2, 3 (+8 run-length coded)
    unsigned bits;
    unsigned paletteBits;   // colour-mapped images
    unsigned paletteFirst;
    unsigned descriptor;    // alpha bits and orientation
    unsigned idLength;
    bool footer;
};

void appendTgaValue(Writer& w, unsigned bits, unsigned x, unsigned y)
{
    switch (bits) {
    case 8:
        w.u8(sample(x, y, 0));
        break;
    case 15:
    case 16:
        w.u16le(((sample(x, y, 0) >> 3) << 10) | ((sample(x, y, 1) >> 3) << 5) | (sample(x, y, 2) >> 3) |
                ((sample(x, y, 3) & 0x80) << 8));
        break;
    case 24:
        w.u8(sample(x, y, 2));
        w.u8(sample(x, y, 1));
        w.u8(sample(x, y, 0));
        break;
    default:
        w.u8(sample(x, y, 2));
        w.u8(sample(x, y, 1));
        w.u8(sample(x, y, 0));
        w.u8(sample(x, y, 3));
        break;
    }
}

Bytes makeTga(unsigned width, unsigned height, const TgaVariant& v)
{
    const bool mapped = (v.type & 7) == 1;
    const unsigned paletteLength = 20;
    Writer w;
    w.u8(v.idLength);
    w.u8(mapped ? 1 : 0);
    w.u8(v.type);
    w.u16le(mapped ? v.paletteFirst : 0);
    w.u16le(mapped ? paletteLength : 0);
    w.u8(mapped ? v.paletteBits : 0);
    w.u16le(0);
    w.u16le(0);
    w.u16le(width);
    w.u16le(height);
    w.u8(v.bits);
    w.u8(v.descriptor);
    for (unsigned i = 0; i < v.idLength; ++i)
        w.u8('a' + i);
    if (mapped)
        for (unsigned i = 0; i < paletteLength; ++i)
            appendTgaValue(w, v.paletteBits, i, 9);
    // Stored pixels in file order; for colour-mapped images the index.
    auto appendPixel = [&](Writer& out, unsigned x, unsigned y) {
        if (mapped) {
            const unsigned index = v.paletteFirst + (x + 2 * y) % paletteLength;
            if (v.bits == 8)
                out.u8(index);
            else
                out.u16le(index);
        } else {
            appendTgaValue(out, v.bits, x, y);
        }
    };
    if (!(v.type & 8)) {
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                appendPixel(w, x, y);
    } else {
        // Alternating runs of one repeated pixel and raw packets, across row ends.
        const unsigned total = width * height;
        unsigned i = 0;
        bool repeat = true;
        while (i < total) {
            const unsigned count = std::min<unsigned>(repeat ? 5 : 3, total - i);
            w.u8((repeat ? 0x80 : 0) | (count - 1));
            if (repeat) {
                appendPixel(w, i % width, i / width);
            } else {
                for (unsigned k = 0; k < count; ++k)
                    appendPixel(w, (i + k) % width, (i + k) / width);
            }
            i += count;
            repeat = !repeat;
        }
    }
    if (v.footer) {
        w.zeros(8);
        w.text("TRUEVISION-XFILE.");
        w.u8(0);
    }
    return w.bytes;
}

void writeTgas()
{
    struct Named {
        const char* name;
        TgaVariant variant;
    };
    const Named variants[] = {
        {"mapped8_pal24", {1, 8, 24, 0, 0x20, 0, false}},
        {"mapped8_pal32_first3", {1, 8, 32, 3, 0x28, 0, true}},
        {"mapped16_pal16", {1, 16, 16, 0, 0x00, 4, false}},
        {"mapped8_pal15", {1, 8, 15, 0, 0x10, 0, false}},
        {"true15", {2, 15, 0, 0, 0x00, 0, false}},
        {"true16_alpha", {2, 16, 0, 0, 0x21, 0, false}},
        {"true24", {2, 24, 0, 0, 0x00, 0, true}},
        {"true32", {2, 32, 0, 0, 0x28, 3, false}},
        {"true32_right_to_left", {2, 32, 0, 0, 0x18, 0, false}},
        {"gray8", {3, 8, 0, 0, 0x20, 0, false}},
        {"rle_mapped8", {9, 8, 24, 0, 0x20, 0, false}},
        {"rle_true16", {10, 16, 0, 0, 0x01, 0, false}},
        {"rle_true24", {10, 24, 0, 0, 0x30, 0, false}},
        {"rle_true32", {10, 32, 0, 0, 0x28, 0, true}},
        {"rle_gray8", {11, 8, 0, 0, 0x00, 0, false}},
    };
    for (const Named& n : variants)
        save(std::string("tga_") + n.name + ".tga", makeTga(7, 5, n.variant));
}

// ---------------------------------------------------------------- DDS

const uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_ALPHA = 0x2, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40,
               DDPF_LUMINANCE = 0x20000;

uint32_t fourCC(const char* code)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24);
}

struct DdsLayout {
    unsigned width, height, depth; // depth > 1: a volume
    unsigned levels;
    unsigned faces;                 // cube face bits (0: not a cube map)
    uint32_t pfFlags, fourCC, bits;
    uint32_t masks[4];
};

unsigned side(unsigned size, unsigned level) { return std::max(1u, size >> level); }

// Bytes of one 2D surface.
size_t ddsSurfaceSize(const DdsLayout& l, unsigned w, unsigned h)
{
    if (l.pfFlags & DDPF_FOURCC) {
        if (l.fourCC == fourCC("DXT1"))
            return ((w + 3) / 4) * ((h + 3) / 4) * 8;
        if ((l.fourCC & 0xFF) == 'D')
            return ((w + 3) / 4) * ((h + 3) / 4) * 16;
        static const unsigned floatSizes[] = {2, 4, 8, 4, 8, 16}; // formats 111 to 116
        return static_cast<size_t>(w) * h * floatSizes[l.fourCC - 111];
    }
    return static_cast<size_t>(w) * h * (l.bits / 8);
}

Bytes makeDds(const DdsLayout& l)
{
    Writer w;
    w.text("DDS ");
    w.u32le(124);
    uint32_t flags = 0x1 | 0x2 | 0x4 | 0x1000;
    if (l.levels > 1)
        flags |= 0x20000;
    if (l.depth > 1)
        flags |= 0x800000;
    w.u32le(flags);
    w.u32le(l.height);
    w.u32le(l.width);
    w.u32le(static_cast<uint32_t>(ddsSurfaceSize(l, l.width, 1)));
    w.u32le(l.depth > 1 ? l.depth : 0);
    w.u32le(l.levels > 1 ? l.levels : 0);
    w.zeros(44);
    w.u32le(32);
    w.u32le(l.pfFlags);
    w.u32le(l.fourCC);
    w.u32le(l.bits);
    for (uint32_t mask : l.masks)
        w.u32le(mask);
    uint32_t caps = 0x1000;
    if (l.levels > 1 || l.faces || l.depth > 1)
        caps |= 0x8;
    if (l.levels > 1)
        caps |= 0x400000;
    uint32_t caps2 = 0;
    if (l.faces)
        caps2 = 0x200 | (l.faces << 10);
    if (l.depth > 1)
        caps2 |= 0x200000;
    w.u32le(caps);
    w.u32le(caps2);
    w.zeros(12);
    // Surface bytes: a pattern that gives each format varied values
    // (block colours in both DXT1 modes, both DXT5 alpha modes).
    const unsigned faceCount = l.faces ? static_cast<unsigned>(__builtin_popcount(l.faces)) : 1;
    unsigned seed = 1;
    for (unsigned face = 0; face < faceCount; ++face) {
        for (unsigned level = 0; level < l.levels; ++level) {
            const unsigned slices = l.depth > 1 ? side(l.depth, level) : 1;
            for (unsigned s = 0; s < slices; ++s) {
                const size_t size = ddsSurfaceSize(l, side(l.width, level), side(l.height, level));
                for (size_t i = 0; i < size; ++i) {
                    seed = seed * 1103515245u + 12345u;
                    w.u8(seed >> 16);
                }
            }
        }
    }
    return w.bytes;
}

void writeDdss()
{
    struct Named {
        const char* name;
        DdsLayout layout;
    };
    const Named layouts[] = {
        {"a8r8g8b8", {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}},
        {"x8r8g8b8", {5, 3, 1, 1, 0, DDPF_RGB, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}}},
        {"a8b8g8r8", {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}}},
        {"x8b8g8r8", {5, 3, 1, 1, 0, DDPF_RGB, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0}}},
        {"r8g8b8", {5, 3, 1, 1, 0, DDPF_RGB, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}}},
        {"r5g6b5", {5, 3, 1, 1, 0, DDPF_RGB, 0, 16, {0xF800, 0x07E0, 0x001F, 0}}},
        {"a1r5g5b5", {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}}},
        {"x1r5g5b5", {5, 3, 1, 1, 0, DDPF_RGB, 0, 16, {0x7C00, 0x03E0, 0x001F, 0}}},
        {"a4r4g4b4", {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}}},
        {"x4r4g4b4", {5, 3, 1, 1, 0, DDPF_RGB, 0, 16, {0x0F00, 0x00F0, 0x000F, 0}}},
        {"a2r10g10b10",
         {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}}},
        {"a2b10g10r10",
         {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000}}},
        {"g16r16", {5, 3, 1, 1, 0, DDPF_RGB, 0, 32, {0x0000FFFF, 0xFFFF0000, 0, 0}}},
        {"odd_masks", {5, 3, 1, 1, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0x7F, 0x3F80, 0x1FC000, 0xFFE00000}}},
        {"l8", {5, 3, 1, 1, 0, DDPF_LUMINANCE, 0, 8, {0xFF, 0, 0, 0}}},
        {"a8l8", {5, 3, 1, 1, 0, DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 0, 16, {0xFF, 0, 0, 0xFF00}}},
        {"l16", {5, 3, 1, 1, 0, DDPF_LUMINANCE, 0, 16, {0xFFFF, 0, 0, 0}}},
        {"a8", {5, 3, 1, 1, 0, DDPF_ALPHA, 0, 8, {0, 0, 0, 0xFF}}},
        {"dxt1", {6, 5, 1, 1, 0, DDPF_FOURCC, fourCC("DXT1"), 0, {}}},
        {"dxt2", {6, 5, 1, 1, 0, DDPF_FOURCC, fourCC("DXT2"), 0, {}}},
        {"dxt3", {6, 5, 1, 1, 0, DDPF_FOURCC, fourCC("DXT3"), 0, {}}},
        {"dxt4", {6, 5, 1, 1, 0, DDPF_FOURCC, fourCC("DXT4"), 0, {}}},
        {"dxt5", {6, 5, 1, 1, 0, DDPF_FOURCC, fourCC("DXT5"), 0, {}}},
        {"r16f", {3, 2, 1, 1, 0, DDPF_FOURCC, 111, 0, {}}},
        {"g16r16f", {3, 2, 1, 1, 0, DDPF_FOURCC, 112, 0, {}}},
        {"a16b16g16r16f", {3, 2, 1, 1, 0, DDPF_FOURCC, 113, 0, {}}},
        {"r32f", {3, 2, 1, 1, 0, DDPF_FOURCC, 114, 0, {}}},
        {"g32r32f", {3, 2, 1, 1, 0, DDPF_FOURCC, 115, 0, {}}},
        {"a32b32g32r32f", {3, 2, 1, 1, 0, DDPF_FOURCC, 116, 0, {}}},
        {"mips_a8r8g8b8", {8, 4, 1, 4, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}},
        {"mips_announced_beyond_chain", {4, 2, 1, 9, 0, DDPF_RGB, 0, 16, {0xF800, 0x07E0, 0x001F, 0}}},
        {"mips_dxt1", {8, 8, 1, 4, 0, DDPF_FOURCC, fourCC("DXT1"), 0, {}}},
        {"mips_dxt5", {8, 4, 1, 2, 0, DDPF_FOURCC, fourCC("DXT5"), 0, {}}},
        {"cube_a8r8g8b8", {4, 4, 1, 2, 0x3F, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}},
        {"cube_partial_x8r8g8b8", {4, 4, 1, 1, 0x22, DDPF_RGB, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}}},
        {"cube_dxt1", {8, 8, 1, 1, 0x3F, DDPF_FOURCC, fourCC("DXT1"), 0, {}}},
        {"cube_r16f", {2, 2, 1, 2, 0x3F, DDPF_FOURCC, 111, 0, {}}},
        {"volume_a8r8g8b8", {4, 4, 3, 3, 0, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}},
        {"volume_l8", {4, 2, 4, 1, 0, DDPF_LUMINANCE, 0, 8, {0xFF, 0, 0, 0}}},
        {"volume_dxt3", {4, 4, 2, 2, 0, DDPF_FOURCC, fourCC("DXT3"), 0, {}}},
    };
    for (const Named& n : layouts)
        save(std::string("dds_") + n.name + ".dds", makeDds(n.layout));
}

// ---------------------------------------------------------------- HDR

// RGBE of pixel (x, y): mantissas from the picture, exponents around 128.
void appendRgbe(Writer& w, unsigned x, unsigned y)
{
    w.u8(sample(x, y, 0) | 0x80);
    w.u8(sample(x, y, 1));
    w.u8(sample(x, y, 2));
    w.u8(120 + (x + y) % 12);
}

enum class HdrCoding { Flat, RunLength, OldRepeat };

Bytes makeHdr(unsigned width, unsigned height, HdrCoding coding, bool formatLine, bool bottomUp,
              const char* format = "32-bit_rle_rgbe")
{
    Writer w;
    w.text("#?RADIANCE\n# made for the fuzzers\n");
    if (formatLine)
        w.text(std::string("FORMAT=") + format + "\n");
    w.text("EXPOSURE=1.0\n\n");
    w.text((bottomUp ? "+Y " : "-Y ") + std::to_string(height) + " +X " + std::to_string(width) + "\n");
    for (unsigned y = 0; y < height; ++y) {
        if (coding == HdrCoding::Flat) {
            for (unsigned x = 0; x < width; ++x)
                appendRgbe(w, x, y);
        } else if (coding == HdrCoding::OldRepeat) {
            // A pixel, then a repeat code, then a repeat of 256 times the
            // next count (the second repeat shifts by 8 bits).
            appendRgbe(w, 0, y);
            w.u8(1);
            w.u8(1);
            w.u8(1);
            w.u8(2);
            for (unsigned x = 3; x < width; ++x)
                appendRgbe(w, x, y);
        } else {
            w.u8(2);
            w.u8(2);
            w.u16be(width);
            for (unsigned c = 0; c < 4; ++c) {
                // A run of four equal values, then the rest as literals.
                Writer channel;
                for (unsigned x = 0; x < width; ++x) {
                    Writer pixel;
                    appendRgbe(pixel, x, y);
                    channel.u8(pixel.bytes[c]);
                }
                w.u8(128 + 4);
                w.u8(channel.bytes[0]);
                w.u8(width - 4);
                w.bytes.insert(w.bytes.end(), channel.bytes.begin() + 4, channel.bytes.end());
            }
        }
    }
    return w.bytes;
}

void writeHdrs()
{
    save("hdr_flat.hdr", makeHdr(5, 3, HdrCoding::Flat, true, false));
    save("hdr_flat_bottom_up_no_format.hdr", makeHdr(5, 3, HdrCoding::Flat, false, true));
    save("hdr_run_length.hdr", makeHdr(12, 3, HdrCoding::RunLength, true, false));
    save("hdr_old_repeat.hdr", makeHdr(6, 2, HdrCoding::OldRepeat, true, true));
    save("hdr_xyze.hdr", makeHdr(4, 2, HdrCoding::Flat, true, false, "32-bit_rle_xyze"));
}

// ---------------------------------------------------------------- PFM and PPM

Bytes makePfm(unsigned width, unsigned height, bool colour, bool littleEndian)
{
    Writer w;
    w.text(std::string(colour ? "PF" : "Pf") + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
           (littleEndian ? "-1.0" : "1.0") + "\n");
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            for (unsigned c = 0; c < (colour ? 3u : 1u); ++c) {
                // Values from below 0 to above 1.
                const float value = (static_cast<float>(sample(x, y, c)) - 20.0f) / 200.0f;
                uint32_t bits;
                std::memcpy(&bits, &value, 4);
                if (littleEndian)
                    w.u32le(bits);
                else
                    w.u32be(bits);
            }
        }
    }
    return w.bytes;
}

Bytes makePnm(char kind, unsigned width, unsigned height, unsigned maxValue, bool comments)
{
    Writer w;
    w.text(std::string("P") + kind + "\n");
    if (comments)
        w.text("# a comment\n");
    w.text(std::to_string(width) + " " + (comments ? "# another\n" : "") + std::to_string(height) + "\n" +
           std::to_string(maxValue) + "\n");
    const bool ascii = kind == '2' || kind == '3';
    const unsigned channels = (kind == '3' || kind == '6') ? 3 : 1;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            for (unsigned c = 0; c < channels; ++c) {
                const unsigned value = sample(x, y, c) * maxValue / 255;
                if (ascii)
                    w.text(std::to_string(value) + (c + 1 == channels ? "\n" : " "));
                else if (maxValue < 256)
                    w.u8(value);
                else
                    w.u16be(value);
            }
        }
    }
    return w.bytes;
}

void writeFloatAndNetpbmMaps()
{
    save("pfm_colour_le.pfm", makePfm(4, 3, true, true));
    save("pfm_colour_be.pfm", makePfm(4, 3, true, false));
    save("pfm_grey_le.pfm", makePfm(5, 2, false, true));
    save("pfm_grey_be.pfm", makePfm(5, 2, false, false));
    save("ppm_p2_max15.pgm", makePnm('2', 4, 3, 15, true));
    save("ppm_p3_max255.ppm", makePnm('3', 4, 3, 255, false));
    save("ppm_p3_max65535.ppm", makePnm('3', 3, 2, 65535, true));
    save("ppm_p5_max255.pgm", makePnm('5', 6, 3, 255, false));
    save("ppm_p5_max65535.pgm", makePnm('5', 6, 3, 65535, false));
    save("ppm_p6_max255.ppm", makePnm('6', 6, 3, 255, true));
    save("ppm_p6_max1000.ppm", makePnm('6', 5, 2, 1000, false));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_image_seed_corpus DIRECTORY\n");
        return 2;
    }
    g_directory = argv[1];
    writePngs();
    writeJpegs();
    writeBmps();
    writeTgas();
    writeDdss();
    writeHdrs();
    writeFloatAndNetpbmMaps();
    std::printf("%d seed files written to %s\n", g_files, g_directory.c_str());
    return 0;
}
