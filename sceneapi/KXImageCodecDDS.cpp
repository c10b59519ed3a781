// DirectDraw surfaces: uncompressed RGB, luminance and alpha formats of 8 to
// 32 bits described by masks, the block-compressed DXT1 to DXT5, and the
// 16- and 32-bit float formats named by their Direct3D numbers; 2D
// textures with mip levels, cube maps and volumes. decodeDDS reads the
// first surface (top level of the first face or slice); decodeDDSImage any
// other. DX10 headers are not supported. encodeDDS writes uncompressed
// A8R8G8B8 without mip levels; appendDDSHeader heads files of any layout.

#include "sceneapi/KXImageCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kxcodec {

namespace {

const uint32_t MAGIC = 0x20534444; // "DDS "
const uint32_t HEADER_SIZE = 124;
const uint32_t PIXEL_FORMAT_SIZE = 32;

const uint32_t DDSD_CAPS = 0x1;
const uint32_t DDSD_HEIGHT = 0x2;
const uint32_t DDSD_WIDTH = 0x4;
const uint32_t DDSD_PITCH = 0x8;
const uint32_t DDSD_PIXELFORMAT = 0x1000;
const uint32_t DDSD_MIPMAPCOUNT = 0x20000;
const uint32_t DDSD_LINEARSIZE = 0x80000;
const uint32_t DDSD_DEPTH = 0x800000;

const uint32_t DDSCAPS_COMPLEX = 0x8;
const uint32_t DDSCAPS_TEXTURE = 0x1000;
const uint32_t DDSCAPS_MIPMAP = 0x400000;
const uint32_t DDSCAPS2_CUBEMAP = 0x200;
const uint32_t DDSCAPS2_CUBEMAP_FACES_SHIFT = 10; // +X at 0x400 up to -Z at 0x8000
const uint32_t DDSCAPS2_VOLUME = 0x200000;

constexpr uint32_t fourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(d)) << 24);
}

const uint32_t FOURCC_DXT1 = fourCC('D', 'X', 'T', '1');
const uint32_t FOURCC_DXT2 = fourCC('D', 'X', 'T', '2');
const uint32_t FOURCC_DXT3 = fourCC('D', 'X', 'T', '3');
const uint32_t FOURCC_DXT4 = fourCC('D', 'X', 'T', '4');
const uint32_t FOURCC_DXT5 = fourCC('D', 'X', 'T', '5');
// Float formats are stored under their Direct3D format numbers.
const uint32_t FOURCC_R16F = 111;
const uint32_t FOURCC_G16R16F = 112;
const uint32_t FOURCC_A16B16G16R16F = 113;
const uint32_t FOURCC_R32F = 114;
const uint32_t FOURCC_G32R32F = 115;
const uint32_t FOURCC_A32B32G32R32F = 116;

// Largest surface count a file may announce: 6 faces of 16 levels, or a
// volume of MAX_DECODED_SIDE slices.
const uint32_t MAX_MIP_LEVELS = 32;

bool isBlockCompressed(uint32_t code)
{
    return code == FOURCC_DXT1 || code == FOURCC_DXT2 || code == FOURCC_DXT3 || code == FOURCC_DXT4 ||
           code == FOURCC_DXT5;
}

// Bytes of one pixel of a float format; 0 for other codes.
uint32_t floatPixelSize(uint32_t code)
{
    switch (code) {
    case FOURCC_R16F:
        return 2;
    case FOURCC_G16R16F:
    case FOURCC_R32F:
        return 4;
    case FOURCC_A16B16G16R16F:
    case FOURCC_G32R32F:
        return 8;
    case FOURCC_A32B32G32R32F:
        return 16;
    default:
        return 0;
    }
}

uint32_t levelSide(uint32_t side, uint32_t level) { return std::max<uint32_t>(1, side >> level); }

// Bytes of one 2D surface of a level.
uint64_t surfaceSize(const DDSInfo& info, uint32_t level)
{
    const uint64_t w = levelSide(info.width, level), h = levelSide(info.height, level);
    if (info.formatFlags & DDS_PF_FOURCC) {
        if (isBlockCompressed(info.fourCC))
            return ((w + 3) / 4) * ((h + 3) / 4) * (info.fourCC == FOURCC_DXT1 ? 8 : 16);
        return w * h * floatPixelSize(info.fourCC);
    }
    return w * h * (info.bitCount / 8);
}

uint32_t slicesOf(const DDSInfo& info, uint32_t level) { return info.volume ? levelSide(info.depth, level) : 1; }

uint64_t levelSize(const DDSInfo& info, uint32_t level) { return surfaceSize(info, level) * slicesOf(info, level); }

uint64_t faceSize(const DDSInfo& info)
{
    uint64_t total = 0;
    for (uint32_t level = 0; level < info.mipLevels; ++level)
        total += levelSize(info, level);
    return total;
}

uint32_t faceCount(const DDSInfo& info)
{
    if (info.faceMask == 0)
        return 1;
    uint32_t count = 0;
    for (uint32_t face = 0; face < 6; ++face)
        count += (info.faceMask >> face) & 1;
    return count;
}

uint16_t load16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t load32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

float halfToFloat(uint16_t h)
{
    const int exponent = (h >> 10) & 0x1F;
    const int mantissa = h & 0x3FF;
    float value;
    if (exponent == 0)
        value = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        value = mantissa ? 0.0f : INFINITY;
    else
        value = std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
    return (h & 0x8000) ? -value : value;
}

float loadFloat(const unsigned char* p)
{
    const uint32_t bits = load32(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

unsigned char floatToByte(float v)
{
    // NaN and negative values read as 0; values above 1 clip to white.
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<unsigned char>(v * 255.0f + 0.5f);
}

void expand565(uint16_t c, unsigned char* rgb)
{
    const unsigned r = (c >> 11) & 0x1F, g = (c >> 5) & 0x3F, b = c & 0x1F;
    rgb[0] = static_cast<unsigned char>((r << 3) | (r >> 2));
    rgb[1] = static_cast<unsigned char>((g << 2) | (g >> 4));
    rgb[2] = static_cast<unsigned char>((b << 3) | (b >> 2));
}

// The 16 RGBA texels of a colour block; the three-colour mode with
// transparent black exists only in DXT1 blocks.
void decodeColorBlock(const unsigned char* block, bool allowTransparent, unsigned char* texels)
{
    const uint16_t c0 = load16(block), c1 = load16(block + 2);
    unsigned char palette[4][4];
    expand565(c0, palette[0]);
    expand565(c1, palette[1]);
    palette[0][3] = palette[1][3] = 255;
    if (c0 > c1 || !allowTransparent) {
        for (int c = 0; c < 3; ++c) {
            palette[2][c] = static_cast<unsigned char>((2 * palette[0][c] + palette[1][c] + 1) / 3);
            palette[3][c] = static_cast<unsigned char>((palette[0][c] + 2 * palette[1][c] + 1) / 3);
        }
        palette[2][3] = palette[3][3] = 255;
    } else {
        for (int c = 0; c < 3; ++c) {
            palette[2][c] = static_cast<unsigned char>((palette[0][c] + palette[1][c]) / 2);
            palette[3][c] = 0;
        }
        palette[2][3] = 255;
        palette[3][3] = 0;
    }
    const uint32_t indices = load32(block + 4);
    for (int i = 0; i < 16; ++i)
        std::memcpy(texels + i * 4, palette[(indices >> (2 * i)) & 3], 4);
}

void decodeExplicitAlpha(const unsigned char* block, unsigned char* texels)
{
    for (int i = 0; i < 16; ++i) {
        const unsigned nibble = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
        texels[i * 4 + 3] = static_cast<unsigned char>(nibble * 17);
    }
}

void decodeInterpolatedAlpha(const unsigned char* block, unsigned char* texels)
{
    unsigned alpha[8];
    alpha[0] = block[0];
    alpha[1] = block[1];
    if (alpha[0] > alpha[1]) {
        for (unsigned i = 1; i < 7; ++i)
            alpha[i + 1] = ((7 - i) * alpha[0] + i * alpha[1] + 3) / 7;
    } else {
        for (unsigned i = 1; i < 5; ++i)
            alpha[i + 1] = ((5 - i) * alpha[0] + i * alpha[1] + 2) / 5;
        alpha[6] = 0;
        alpha[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        texels[i * 4 + 3] = static_cast<unsigned char>(alpha[(bits >> (3 * i)) & 7]);
}

int decodeBlocks(const DDSInfo& info, const unsigned char* p, uint32_t width, uint32_t height, KXRawImage2D& image)
{
    const uint32_t blocksWide = (width + 3) / 4;
    const uint32_t blockBytes = info.fourCC == FOURCC_DXT1 ? 8 : 16;
    Bytes rows(static_cast<size_t>(width) * 4 * 4);
    unsigned char texels[64];
    for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            const unsigned char* block = p + (static_cast<size_t>(by) * blocksWide + bx) * blockBytes;
            if (info.fourCC == FOURCC_DXT1) {
                decodeColorBlock(block, true, texels);
            } else {
                decodeColorBlock(block + 8, false, texels);
                if (info.fourCC == FOURCC_DXT2 || info.fourCC == FOURCC_DXT3)
                    decodeExplicitAlpha(block, texels);
                else
                    decodeInterpolatedAlpha(block, texels);
            }
            for (uint32_t y = 0; y < 4; ++y)
                for (uint32_t x = 0; x < 4 && bx * 4 + x < width; ++x)
                    std::memcpy(&rows[(static_cast<size_t>(y) * width + bx * 4 + x) * 4], texels + (y * 4 + x) * 4, 4);
        }
        for (uint32_t y = 0; y < 4 && by * 4 + y < height; ++y)
            storeRowRGBA(image, by * 4 + y, &rows[static_cast<size_t>(y) * width * 4]);
    }
    return 0;
}

void decodeFloatPixel(uint32_t code, const unsigned char* p, unsigned char* out)
{
    float rgba[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    switch (code) {
    case FOURCC_R16F:
        rgba[0] = halfToFloat(load16(p));
        break;
    case FOURCC_G16R16F:
        rgba[0] = halfToFloat(load16(p));
        rgba[1] = halfToFloat(load16(p + 2));
        break;
    case FOURCC_A16B16G16R16F:
        for (int c = 0; c < 4; ++c)
            rgba[c] = halfToFloat(load16(p + 2 * c));
        break;
    case FOURCC_R32F:
        rgba[0] = loadFloat(p);
        break;
    case FOURCC_G32R32F:
        rgba[0] = loadFloat(p);
        rgba[1] = loadFloat(p + 4);
        break;
    default:
        for (int c = 0; c < 4; ++c)
            rgba[c] = loadFloat(p + 4 * c);
        break;
    }
    for (int c = 0; c < 4; ++c)
        out[c] = floatToByte(rgba[c]);
}

} // namespace

int readDDSInfo(const unsigned char* data, size_t size, DDSInfo& info)
{
    if (!data)
        return -1;
    ByteReader in(data, size);
    const uint32_t magic = in.u32le();
    const uint32_t headerSize = in.u32le();
    const uint32_t flags = in.u32le();
    const uint32_t height = in.u32le();
    const uint32_t width = in.u32le();
    in.skip(4); // pitch or linear size
    const uint32_t depth = in.u32le();
    const uint32_t mipCount = in.u32le();
    in.skip(44);
    const uint32_t formatSize = in.u32le();
    const uint32_t formatFlags = in.u32le();
    const uint32_t code = in.u32le();
    const uint32_t bits = in.u32le();
    uint32_t masks[4];
    for (uint32_t& mask : masks)
        mask = in.u32le();
    in.skip(4); // caps
    const uint32_t caps2 = in.u32le();
    in.seek(4 + HEADER_SIZE);
    if (in.failed() || magic != MAGIC || headerSize != HEADER_SIZE || formatSize != PIXEL_FORMAT_SIZE)
        return -1;

    DDSInfo result;
    result.width = width;
    result.height = height;
    result.formatFlags = formatFlags;
    result.dataOffset = 4 + HEADER_SIZE;
    if (formatFlags & DDS_PF_FOURCC) {
        if (!isBlockCompressed(code) && floatPixelSize(code) == 0)
            return -2;
        result.fourCC = code;
        // DXT1 blocks may hold transparent texels, so they count as alpha.
        result.hasAlpha = code != FOURCC_R16F && code != FOURCC_G16R16F && code != FOURCC_R32F &&
                          code != FOURCC_G32R32F;
    } else {
        if (!(formatFlags & (DDS_PF_RGB | DDS_PF_LUMINANCE | DDS_PF_ALPHA)))
            return -2;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return -2;
        result.bitCount = bits;
        std::memcpy(result.masks, masks, sizeof(masks));
        result.hasAlpha = (formatFlags & (DDS_PF_ALPHAPIXELS | DDS_PF_ALPHA)) && masks[3] != 0;
    }
    if ((caps2 & DDSCAPS2_VOLUME) && (flags & DDSD_DEPTH) && depth > 1) {
        result.volume = true;
        result.depth = depth;
    }
    if (caps2 & DDSCAPS2_CUBEMAP) {
        result.faceMask = (caps2 >> DDSCAPS2_CUBEMAP_FACES_SHIFT) & 0x3F;
        if (result.faceMask == 0 || result.volume || width != height)
            return -1;
    }
    if (width == 0 || height == 0 || width > MAX_DECODED_SIDE || height > MAX_DECODED_SIDE ||
        result.depth > MAX_DECODED_SIDE)
        return -1;
    result.mipLevels = (flags & DDSD_MIPMAPCOUNT) && mipCount > 0 ? mipCount : 1;
    // Writers sometimes announce more levels than the chain has; the
    // levels below 1 x 1 (x 1) are not there.
    uint32_t fullChain = 1;
    for (uint32_t side = std::max(width, std::max(height, result.depth)); side > 1; side >>= 1)
        ++fullChain;
    if (result.mipLevels > MAX_MIP_LEVELS)
        return -1;
    result.mipLevels = std::min(result.mipLevels, fullChain);
    // Every announced surface must be in the file.
    const uint64_t needed = faceSize(result) * faceCount(result);
    if (needed > size - result.dataOffset)
        return -1;
    info = result;
    return 0;
}

int decodeDDSImage(const unsigned char* data, size_t size, const DDSInfo& info, uint32_t face, uint32_t level,
                   uint32_t slice, KXRawImage2D& image)
{
    if (!data || level >= info.mipLevels || slice >= slicesOf(info, level))
        return -1;
    // Surfaces follow in order: the faces present, each with all its levels.
    uint64_t offset = info.dataOffset;
    if (info.faceMask != 0) {
        if (face >= 6 || !((info.faceMask >> face) & 1))
            return -1;
        for (uint32_t f = 0; f < face; ++f)
            if ((info.faceMask >> f) & 1)
                offset += faceSize(info);
    } else if (face != 0) {
        return -1;
    }
    for (uint32_t l = 0; l < level; ++l)
        offset += levelSize(info, l);
    offset += surfaceSize(info, level) * slice;
    if (offset + surfaceSize(info, level) > size)
        return -1;

    const uint32_t width = levelSide(info.width, level);
    const uint32_t height = levelSide(info.height, level);
    const int prepared = prepareImage(image, width, height, size, UNCOMPRESSED);
    if (prepared != 0)
        return prepared;
    const unsigned char* p = data + offset;
    if ((info.formatFlags & DDS_PF_FOURCC) && isBlockCompressed(info.fourCC))
        return decodeBlocks(info, p, width, height, image);

    Bytes rgba(static_cast<size_t>(width) * 4);
    if (info.formatFlags & DDS_PF_FOURCC) {
        const uint32_t pixelSize = floatPixelSize(info.fourCC);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x, p += pixelSize)
                decodeFloatPixel(info.fourCC, p, rgba.data() + static_cast<size_t>(x) * 4);
            storeRowRGBA(image, y, rgba.data());
        }
        return 0;
    }

    const unsigned bytesPerPixel = info.bitCount / 8;
    const MaskChannel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]),
        alpha(info.hasAlpha ? info.masks[3] : 0);
    const bool luminance = (info.formatFlags & DDS_PF_LUMINANCE) != 0;
    const bool alphaOnly =
        (info.formatFlags & DDS_PF_ALPHA) && !(info.formatFlags & (DDS_PF_RGB | DDS_PF_LUMINANCE));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x, p += bytesPerPixel) {
            uint32_t pixel = 0;
            for (unsigned b = 0; b < bytesPerPixel; ++b)
                pixel |= static_cast<uint32_t>(p[b]) << (8 * b);
            unsigned char* out = rgba.data() + static_cast<size_t>(x) * 4;
            if (alphaOnly) {
                out[0] = out[1] = out[2] = 0;
            } else if (luminance) {
                out[0] = out[1] = out[2] = red.extract(pixel);
            } else {
                out[0] = red.extract(pixel);
                out[1] = green.extract(pixel);
                out[2] = blue.extract(pixel);
            }
            out[3] = alpha.present() ? alpha.extract(pixel) : 255;
        }
        storeRowRGBA(image, y, rgba.data());
    }
    return 0;
}

int decodeDDS(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    DDSInfo info;
    const int result = readDDSInfo(data, size, info);
    if (result != 0)
        return result;
    uint32_t face = 0;
    while (info.faceMask != 0 && !((info.faceMask >> face) & 1))
        ++face;
    return decodeDDSImage(data, size, info, face, 0, 0, image);
}

void appendDDSHeader(Bytes& out, const DDSInfo& layout)
{
    const bool compressed = (layout.formatFlags & DDS_PF_FOURCC) && isBlockCompressed(layout.fourCC);
    uint32_t flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    flags |= compressed ? DDSD_LINEARSIZE : DDSD_PITCH;
    if (layout.mipLevels > 1)
        flags |= DDSD_MIPMAPCOUNT;
    if (layout.volume)
        flags |= DDSD_DEPTH;
    uint32_t pitch;
    if (compressed)
        pitch = static_cast<uint32_t>(surfaceSize(layout, 0));
    else if (layout.formatFlags & DDS_PF_FOURCC)
        pitch = layout.width * floatPixelSize(layout.fourCC);
    else
        pitch = layout.width * (layout.bitCount / 8);
    appendU32le(out, MAGIC);
    appendU32le(out, HEADER_SIZE);
    appendU32le(out, flags);
    appendU32le(out, layout.height);
    appendU32le(out, layout.width);
    appendU32le(out, pitch);
    appendU32le(out, layout.volume ? layout.depth : 0);
    appendU32le(out, layout.mipLevels > 1 ? layout.mipLevels : 0);
    out.insert(out.end(), 44, 0);
    appendU32le(out, PIXEL_FORMAT_SIZE);
    appendU32le(out, layout.formatFlags);
    appendU32le(out, layout.fourCC);
    appendU32le(out, layout.bitCount);
    for (uint32_t mask : layout.masks)
        appendU32le(out, mask);
    uint32_t caps = DDSCAPS_TEXTURE;
    if (layout.mipLevels > 1)
        caps |= DDSCAPS_COMPLEX | DDSCAPS_MIPMAP;
    if (layout.faceMask != 0 || layout.volume)
        caps |= DDSCAPS_COMPLEX;
    uint32_t caps2 = 0;
    if (layout.faceMask != 0)
        caps2 |= DDSCAPS2_CUBEMAP | (layout.faceMask << DDSCAPS2_CUBEMAP_FACES_SHIFT);
    if (layout.volume)
        caps2 |= DDSCAPS2_VOLUME;
    appendU32le(out, caps);
    appendU32le(out, caps2);
    out.insert(out.end(), 12, 0); // further caps and reserved
}

int encodeDDS(const KXRawImage2D& image, Bytes& out)
{
    // The header's row pitch is 32 bits.
    if (!image.hasData() || image.getWidth() > UINT32_MAX / 4)
        return -1;
    DDSInfo layout;
    layout.width = image.getWidth();
    layout.height = image.getHeight();
    layout.formatFlags = DDS_PF_RGB | DDS_PF_ALPHAPIXELS;
    layout.bitCount = 32;
    layout.masks[0] = 0x00FF0000;
    layout.masks[1] = 0x0000FF00;
    layout.masks[2] = 0x000000FF;
    layout.masks[3] = 0xFF000000;
    appendDDSHeader(out, layout);

    // A8R8G8B8 words in memory are the BGRA format's bytes.
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
    return 0;
}

} // namespace kxcodec
