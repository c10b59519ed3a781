// DirectDraw surfaces: reads the first surface (top mip level of the first
// face or slice) of uncompressed RGB, luminance and alpha formats of 8 to 32
// bits described by masks; block-compressed and DX10 formats are not
// supported. Writes uncompressed A8R8G8B8 without mip levels.

#include "sceneapi/KXImageCodec.h"

namespace kxcodec {

namespace {

const uint32_t HEADER_SIZE = 124;
const uint32_t PIXEL_FORMAT_SIZE = 32;

const uint32_t DDSD_CAPS = 0x1;
const uint32_t DDSD_HEIGHT = 0x2;
const uint32_t DDSD_WIDTH = 0x4;
const uint32_t DDSD_PITCH = 0x8;
const uint32_t DDSD_PIXELFORMAT = 0x1000;
const uint32_t DDSCAPS_TEXTURE = 0x1000;

const uint32_t DDPF_ALPHAPIXELS = 0x1;
const uint32_t DDPF_ALPHA = 0x2;
const uint32_t DDPF_FOURCC = 0x4;
const uint32_t DDPF_RGB = 0x40;
const uint32_t DDPF_LUMINANCE = 0x20000;

} // namespace

int decodeDDS(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data)
        return -1;
    ByteReader in(data, size);
    const uint32_t magic = in.u32le();
    const uint32_t headerSize = in.u32le();
    in.skip(4); // flags
    const uint32_t height = in.u32le();
    const uint32_t width = in.u32le();
    in.skip(4 + 4 + 4 + 44); // pitch, depth, mip count, reserved
    const uint32_t formatSize = in.u32le();
    const uint32_t formatFlags = in.u32le();
    in.skip(4); // four-character code
    const uint32_t bits = in.u32le();
    uint32_t masks[4];
    for (uint32_t& mask : masks)
        mask = in.u32le();
    in.seek(4 + HEADER_SIZE);
    if (in.failed() || magic != 0x20534444 || headerSize != HEADER_SIZE || formatSize != PIXEL_FORMAT_SIZE)
        return -1;
    if (formatFlags & DDPF_FOURCC)
        return -2;
    if (!(formatFlags & (DDPF_RGB | DDPF_LUMINANCE | DDPF_ALPHA)))
        return -2;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return -2;

    const unsigned bytesPerPixel = bits / 8;
    if (width == 0 || height == 0 || static_cast<uint64_t>(width) * bytesPerPixel > in.remaining() / height)
        return -1;
    if (prepareImage(image, width, height, size, UNCOMPRESSED) != 0)
        return -1;

    const bool hasAlpha = (formatFlags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) != 0;
    const MaskChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(hasAlpha ? masks[3] : 0);
    const bool luminance = (formatFlags & DDPF_LUMINANCE) != 0;
    const bool alphaOnly = (formatFlags & DDPF_ALPHA) && !(formatFlags & (DDPF_RGB | DDPF_LUMINANCE));
    Bytes rgba(static_cast<size_t>(width) * 4);
    const unsigned char* p = in.current();
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

int encodeDDS(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData())
        return -1;
    appendU32le(out, 0x20534444); // "DDS "
    appendU32le(out, HEADER_SIZE);
    appendU32le(out, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT);
    appendU32le(out, image.getHeight());
    appendU32le(out, image.getWidth());
    appendU32le(out, static_cast<uint32_t>(image.getRowSize()));
    appendU32le(out, 0); // depth
    appendU32le(out, 0); // mip levels
    out.insert(out.end(), 44, 0);
    appendU32le(out, PIXEL_FORMAT_SIZE);
    appendU32le(out, DDPF_RGB | DDPF_ALPHAPIXELS);
    appendU32le(out, 0);
    appendU32le(out, 32);
    appendU32le(out, 0x00FF0000);
    appendU32le(out, 0x0000FF00);
    appendU32le(out, 0x000000FF);
    appendU32le(out, 0xFF000000);
    appendU32le(out, DDSCAPS_TEXTURE);
    out.insert(out.end(), 16, 0); // further caps and reserved

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
