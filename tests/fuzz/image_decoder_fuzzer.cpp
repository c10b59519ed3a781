// libFuzzer entry point for the image decoders (PNG, JPEG, BMP and DIB, TGA,
// DDS, Radiance HDR, PFM, PPM/PGM) behind KXImageUtils::decode. The file's
// signature picks the decoder; bytes without one are tried as a Targa
// picture and as a bitmap without its file header.
//
// Every input must decode or fail with -1 or -2, leaving the target image
// as it was. A decoded picture must fit the decoders' size limits, and
// (when small) survive encoding in its own format and decoding again:
// exactly for lossless formats, within the RGBE rounding for HDR.

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Pictures up to this many pixels are encoded again, keeping runs fast.
const uint64_t ROUND_TRIP_PIXELS = 1 << 16;
// A small fragment limit, so that larger pictures are held in pieces.
const size_t FRAGMENT_LIMIT = 1 << 14;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Pixel (x, y) as red, green, blue, alpha bytes whatever the format.
void rgbaAt(const KXRawImage2D& image, unsigned x, unsigned y, uint8_t* rgba)
{
    const unsigned char* p = image.getRow(y) + static_cast<size_t>(x) * 4;
    const bool bgra = image.getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA;
    rgba[0] = p[bgra ? 2 : 0];
    rgba[1] = p[1];
    rgba[2] = p[bgra ? 0 : 2];
    rgba[3] = p[3];
}

// Largest channel difference between two pictures of the same size.
int largestDifference(const KXRawImage2D& a, const KXRawImage2D& b, bool withAlpha)
{
    int worst = 0;
    for (unsigned y = 0; y < a.getHeight(); ++y) {
        for (unsigned x = 0; x < a.getWidth(); ++x) {
            uint8_t pa[4], pb[4];
            rgbaAt(a, x, y, pa);
            rgbaAt(b, x, y, pb);
            for (int c = 0; c < (withAlpha ? 4 : 3); ++c)
                worst = std::max(worst, std::abs(pa[c] - pb[c]));
        }
    }
    return worst;
}

void checkRoundTrip(const KXRawImage2D& decoded, KXImage2D::KXIMAGE2DFILETYPE type)
{
    KXImage2D encoded;
    require(KXImageUtils::encode(&decoded, &encoded, type) == 0);
    require(encoded.getFileType() == type);
    KXRawImage2D again(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    require(KXImageUtils::decode(&encoded, &again) == 0);
    require(again.getWidth() == decoded.getWidth() && again.getHeight() == decoded.getHeight());
    switch (type) {
    case KXImage2D::KXIMAGE2D_JPG:
        break; // lossy
    case KXImage2D::KXIMAGE2D_HDR:
        // A shared exponent costs the smaller channels some precision.
        require(largestDifference(decoded, again, false) <= 2);
        break;
    case KXImage2D::KXIMAGE2D_PPM:
    case KXImage2D::KXIMAGE2D_PFM:
        require(largestDifference(decoded, again, false) == 0);
        break;
    default:
        require(largestDifference(decoded, again, true) == 0);
        break;
    }
}

void checkDecode(const uint8_t* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE type)
{
    const KXImage2D file(data, size, type);
    // A marked one-pixel picture shows whether a failed decode touched it.
    KXRawImage2D picture(1, 1, KXRawImage2D::KXRAWIMAGE2D_BGRA, FRAGMENT_LIMIT);
    require(picture.createData() == 0);
    const unsigned char marker[4] = {1, 2, 3, 4};
    std::memcpy(picture.getRow(0), marker, 4);

    const int result = KXImageUtils::decode(&file, &picture);
    if (result != 0) {
        require(result == -1 || result == -2);
        require(picture.getWidth() == 1 && picture.getHeight() == 1 && picture.getRow(0) &&
                std::memcmp(picture.getRow(0), marker, 4) == 0);
        return;
    }
    require(picture.hasData());
    require(picture.getWidth() >= 1 && picture.getWidth() <= 65535);
    require(picture.getHeight() >= 1 && picture.getHeight() <= 65535);
    require(picture.getFormat() == KXRawImage2D::KXRAWIMAGE2D_BGRA);
    require(picture.getRow(picture.getHeight() - 1) != nullptr);

    const uint64_t pixels = static_cast<uint64_t>(picture.getWidth()) * picture.getHeight();
    if (pixels > ROUND_TRIP_PIXELS)
        return;
    const KXImage2D::KXIMAGE2DFILETYPE signature = KXImageUtils::getFileTypeFromData(data, size);
    checkRoundTrip(picture, signature != KXImage2D::KXIMAGE2D_UNKNOWN ? signature : type);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (KXImageUtils::getFileTypeFromData(data, size) != KXImage2D::KXIMAGE2D_UNKNOWN) {
        checkDecode(data, size, KXImage2D::KXIMAGE2D_UNKNOWN);
        return 0;
    }
    checkDecode(data, size, KXImage2D::KXIMAGE2D_TGA);
    checkDecode(data, size, KXImage2D::KXIMAGE2D_DIB);
    return 0;
}
