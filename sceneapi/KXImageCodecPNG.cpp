// PNG through libpng. libpng reports errors by longjmp, so the functions
// that call it keep every object with a destructor outside the jump: the
// state they need lives in structs created before setjmp, and callbacks
// never jump out of a frame that owns anything.

#include "sceneapi/KXImageCodec.h"

#include <csetjmp>
#include <cstring>
#include <new>
#include <png.h>

namespace kxcodec {

namespace {

// Errors jump back without printing; warnings are dropped.
[[noreturn]] void onPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

struct PngSource {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->pos)
        png_error(png, "truncated");
    std::memcpy(out, source->data + source->pos, length);
    source->pos += length;
}

struct PngSink {
    Bytes* out;
    bool full = false; // the output could not grow
};

void writeToMemory(png_structp png, png_bytep data, png_size_t length)
{
    PngSink* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    try {
        sink->out->insert(sink->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        sink->full = true;
    }
    // Jump only after the exception is finished with.
    if (sink->full)
        png_error(png, "out of memory");
}

void flushMemory(png_structp) {}

// The decoding steps that run under libpng's error jump. The caller checked
// the signature and owns the structs.
int readPng(png_structp png, png_infop info, PngSource* source, KXRawImage2D* image)
{
    if (setjmp(png_jmpbuf(png)))
        return -1;
    png_set_read_fn(png, source, readFromMemory);
    png_set_user_limits(png, MAX_DECODED_SIDE, MAX_DECODED_SIDE);
    // Only the pixels, palette and transparency are used. libpng reads other
    // chunks whole into memory of their announced length (and inflates
    // compressed text and profiles), so that a few bytes could claim
    // gigabytes; skipped chunks are read in small pieces instead.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);

    // Everything becomes 8-bit red, green, blue and alpha.
    png_set_expand(png);
    png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    if (image->getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA)
        png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
        return -1;

    const int prepared = prepareImage(*image, width, height, source->size, PNG_PIXELS_PER_BYTE);
    if (prepared != 0)
        return prepared;
    // Interlaced images are read pass by pass into the same rows, which
    // libpng combines with what the earlier passes left there.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, image->getRow(y), nullptr);
    }
    png_read_end(png, nullptr);
    return 0;
}

int writePng(png_structp png, png_infop info, PngSink* sink, const KXRawImage2D* image, bool opaque)
{
    if (setjmp(png_jmpbuf(png)))
        return -1;
    png_set_write_fn(png, sink, writeToMemory, flushMemory);
    png_set_IHDR(png, info, image->getWidth(), image->getHeight(), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (image->getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA)
        png_set_bgr(png);
    // Rows keep their four bytes; for an opaque image libpng drops the alpha.
    if (opaque)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (unsigned y = 0; y < image->getHeight(); ++y)
        png_write_row(png, image->getRow(y));
    png_write_end(png, info);
    return 0;
}

} // namespace

int decodePNG(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return -1;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (!png)
        return -1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -1;
    }
    PngSource source{data, size, 0};
    const int result = readPng(png, info, &source, &image);
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

int encodePNG(const KXRawImage2D& image, Bytes& out)
{
    if (!image.hasData())
        return -1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (!png)
        return -1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return -1;
    }
    PngSink sink{&out};
    const int result = writePng(png, info, &sink, &image, isOpaque(image));
    png_destroy_write_struct(&png, &info);
    return sink.full ? OUT_OF_MEMORY : result;
}

} // namespace kxcodec
