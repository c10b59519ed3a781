// JPEG through libjpeg-turbo. Like libpng it reports errors by longjmp, so
// the calls run in functions whose state lives in structs made before
// setjmp.

#include "sceneapi/KXImageCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <jerror.h>
#include <new>
#include <stdexcept>

namespace kxcodec {

namespace {

// Cap on libjpeg's own working memory (coefficient buffers of progressive
// images come on top of the decoded pixels).
const long JPEG_WORKING_MEMORY = 256L << 20;

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void onJpegError(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// libjpeg carries on through damaged data with a warning, filling in grey;
// damaged or missing data is an error here. Other warnings (stray bytes
// between markers, unknown versions) are harmless and ignored.
void onJpegMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
    default:
        break;
    }
}

void onJpegOutput(j_common_ptr) {}

void installErrorHandler(JpegError* error, jpeg_compress_struct* compress, jpeg_decompress_struct* decompress)
{
    jpeg_error_mgr* manager = jpeg_std_error(&error->manager);
    manager->error_exit = onJpegError;
    manager->emit_message = onJpegMessage;
    manager->output_message = onJpegOutput;
    if (compress)
        compress->err = manager;
    if (decompress)
        decompress->err = manager;
}

struct JpegDecodeState {
    jpeg_decompress_struct info;
    JpegError error;
    const unsigned char* data;
    size_t size;
    KXRawImage2D* image;
    Bytes cmykRow; // one row of Adobe CMYK pixels before conversion
    Bytes rgbaRow;
};

// Adobe writes CMYK JPEGs inverted: each byte is 255 minus the ink.
void convertInvertedCmykRow(const unsigned char* cmyk, unsigned char* rgba, unsigned width)
{
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgba += 4) {
        const unsigned k = cmyk[3];
        rgba[0] = static_cast<unsigned char>((cmyk[0] * k + 127) / 255);
        rgba[1] = static_cast<unsigned char>((cmyk[1] * k + 127) / 255);
        rgba[2] = static_cast<unsigned char>((cmyk[2] * k + 127) / 255);
        rgba[3] = 255;
    }
}

int readJpeg(JpegDecodeState* s)
{
    if (setjmp(s->error.jump))
        return -1;
    jpeg_create_decompress(&s->info);
    s->info.mem->max_memory_to_use = JPEG_WORKING_MEMORY;
    jpeg_mem_src(&s->info, s->data, static_cast<unsigned long>(s->size));
    if (jpeg_read_header(&s->info, TRUE) != JPEG_HEADER_OK)
        return -1;

    const bool cmyk = s->info.jpeg_color_space == JCS_CMYK || s->info.jpeg_color_space == JCS_YCCK;
    if (cmyk)
        s->info.out_color_space = JCS_CMYK;
    else if (s->image->getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA)
        s->info.out_color_space = JCS_EXT_BGRA;
    else
        s->info.out_color_space = JCS_EXT_RGBA;
    const int prepared =
        prepareImage(*s->image, s->info.image_width, s->info.image_height, s->size, JPEG_PIXELS_PER_BYTE);
    if (prepared != 0)
        return prepared;

    jpeg_start_decompress(&s->info);
    if (s->info.output_width != s->image->getWidth() || s->info.output_height != s->image->getHeight() ||
        s->info.output_components != 4)
        return -1;
    if (cmyk) {
        try {
            s->cmykRow.resize(s->image->getRowSize());
            s->rgbaRow.resize(s->image->getRowSize());
        } catch (const std::bad_alloc&) {
            return -1;
        }
    }
    while (s->info.output_scanline < s->info.output_height) {
        const unsigned y = s->info.output_scanline;
        JSAMPROW row = cmyk ? s->cmykRow.data() : s->image->getRow(y);
        if (jpeg_read_scanlines(&s->info, &row, 1) != 1)
            return -1;
        if (cmyk) {
            convertInvertedCmykRow(s->cmykRow.data(), s->rgbaRow.data(), s->image->getWidth());
            storeRowRGBA(*s->image, y, s->rgbaRow.data());
        }
    }
    jpeg_finish_decompress(&s->info);
    return 0;
}

// Compressed bytes are appended to the output a block at a time. (libjpeg's
// own memory destination hands its buffer back only when compression
// finishes, so that a failure after the buffer grew leaves the caller with
// freed memory, and its size is an unsigned long: 32 bits on Windows.)
struct JpegSink {
    jpeg_destination_mgr manager;
    Bytes* out;
    bool full; // the output could not grow
    JOCTET block[4096];
};

JpegSink* sinkOf(j_compress_ptr info) { return reinterpret_cast<JpegSink*>(info->dest); }

void appendBlock(j_compress_ptr info, size_t length)
{
    JpegSink* sink = sinkOf(info);
    try {
        sink->out->insert(sink->out->end(), sink->block, sink->block + length);
    } catch (const std::bad_alloc&) {
        sink->full = true;
    } catch (const std::length_error&) {
        sink->full = true;
    }
    // Jump only after the exception is finished with.
    if (sink->full)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    sink->manager.next_output_byte = sink->block;
    sink->manager.free_in_buffer = sizeof sink->block;
}

void startSink(j_compress_ptr info)
{
    sinkOf(info)->manager.next_output_byte = sinkOf(info)->block;
    sinkOf(info)->manager.free_in_buffer = sizeof sinkOf(info)->block;
}

boolean emptySink(j_compress_ptr info)
{
    appendBlock(info, sizeof sinkOf(info)->block);
    return TRUE;
}

void finishSink(j_compress_ptr info)
{
    appendBlock(info, sizeof sinkOf(info)->block - sinkOf(info)->manager.free_in_buffer);
}

struct JpegEncodeState {
    jpeg_compress_struct info;
    JpegError error;
    JpegSink sink;
    const KXRawImage2D* image;
    int quality;
};

int writeJpeg(JpegEncodeState* s)
{
    if (setjmp(s->error.jump))
        return -1;
    jpeg_create_compress(&s->info);
    s->sink.manager.init_destination = startSink;
    s->sink.manager.empty_output_buffer = emptySink;
    s->sink.manager.term_destination = finishSink;
    s->info.dest = &s->sink.manager;
    s->info.image_width = s->image->getWidth();
    s->info.image_height = s->image->getHeight();
    s->info.input_components = 4;
    s->info.in_color_space =
        s->image->getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA ? JCS_EXT_BGRA : JCS_EXT_RGBA;
    jpeg_set_defaults(&s->info);
    jpeg_set_quality(&s->info, s->quality, TRUE);
    // At high quality colour is kept at full resolution as well: halving it
    // would cost more than the quantisation does.
    if (s->quality >= 90) {
        for (int c = 0; c < s->info.num_components; ++c) {
            s->info.comp_info[c].h_samp_factor = 1;
            s->info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&s->info, TRUE);
    while (s->info.next_scanline < s->info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(s->image->getRow(s->info.next_scanline));
        jpeg_write_scanlines(&s->info, &row, 1);
    }
    jpeg_finish_compress(&s->info);
    return 0;
}

} // namespace

int decodeJPEG(const unsigned char* data, size_t size, KXRawImage2D& image)
{
    // libjpeg takes the length as an unsigned long (32 bits on Windows).
    if (!data || size < 4 || static_cast<unsigned long>(size) != size)
        return -1;
    JpegDecodeState state{};
    state.data = data;
    state.size = size;
    state.image = &image;
    installErrorHandler(&state.error, nullptr, &state.info);
    const int result = readJpeg(&state);
    jpeg_destroy_decompress(&state.info);
    return result;
}

int encodeJPEG(const KXRawImage2D& image, int quality, Bytes& out)
{
    if (!image.hasData())
        return -1;
    JpegEncodeState state{};
    state.image = &image;
    state.quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    state.sink.out = &out;
    installErrorHandler(&state.error, &state.info, nullptr);
    const size_t start = out.size();
    const int result = writeJpeg(&state);
    jpeg_destroy_compress(&state.info);
    if (result != 0)
        out.resize(start);
    return state.sink.full ? OUT_OF_MEMORY : result;
}

} // namespace kxcodec
