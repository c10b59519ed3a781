// KXImageUtils: encoding and decoding in every supported file type, files
// written by other programs, damaged and hostile files, and image files on
// disk.

#include "ImageTestSupport.h"

#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXTempFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using imagetest::makePattern;
using imagetest::maxDifference;
using imagetest::meanDifference;
using imagetest::pixelRGBA;

namespace {

using Type = KXImage2D::KXIMAGE2DFILETYPE;
using Format = KXRawImage2D::KXRAWIMAGE2DFMT;
using Bytes = std::vector<unsigned char>;

Bytes encodeBytes(const KXRawImage2D& raw, Type type, int quality = KXImageUtils::DEFAULT_QUALITY)
{
    auto image = KXMake<KXImage2D>();
    const int result = KXImageUtils::encode(&raw, image.get(), type, quality);
    EXPECT_EQ(0, result);
    if (result != 0 || !image->getData())
        return {};
    return Bytes(image->getData(), image->getData() + image->getSize());
}

// Decodes bytes labelled with a type; the image keeps its format.
int decodeBytes(const Bytes& bytes, Type type, KXRawImage2D& raw)
{
    auto image = KXMake<KXImage2D>(bytes.data(), bytes.size(), type);
    return KXImageUtils::decode(image.get(), &raw);
}

bool keepsAlpha(Type type)
{
    return type != KXImage2D::KXIMAGE2D_JPG && type != KXImage2D::KXIMAGE2D_PPM &&
           type != KXImage2D::KXIMAGE2D_PFM && type != KXImage2D::KXIMAGE2D_HDR;
}

// Largest error a lossless round trip may make: shared exponents cost
// Radiance pictures up to one step in the smaller channels.
int roundTripTolerance(Type type)
{
    return type == KXImage2D::KXIMAGE2D_HDR ? 1 : 0;
}

std::string typeName(Type type)
{
    wchar_t extension[260];
    KXImageUtils::getFileExtensionFromType(type, extension, 260);
    std::string name;
    for (const wchar_t* p = extension; *p; ++p)
        name += static_cast<char>(*p);
    return name;
}

const Type LOSSLESS_TYPES[] = {
    KXImage2D::KXIMAGE2D_BMP, KXImage2D::KXIMAGE2D_DIB, KXImage2D::KXIMAGE2D_PNG,
    KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_DDS, KXImage2D::KXIMAGE2D_PPM,
    KXImage2D::KXIMAGE2D_PFM, KXImage2D::KXIMAGE2D_HDR,
};

const Type ALL_TYPES[] = {
    KXImage2D::KXIMAGE2D_BMP, KXImage2D::KXIMAGE2D_DIB, KXImage2D::KXIMAGE2D_PNG,
    KXImage2D::KXIMAGE2D_TGA, KXImage2D::KXIMAGE2D_DDS, KXImage2D::KXIMAGE2D_PPM,
    KXImage2D::KXIMAGE2D_PFM, KXImage2D::KXIMAGE2D_HDR, KXImage2D::KXIMAGE2D_JPG,
};

// Bytes at the end of a file that a decoder does not need (the TGA footer).
size_t optionalTrailer(Type type)
{
    return type == KXImage2D::KXIMAGE2D_TGA ? 26 : 0;
}

uint32_t crc32(const unsigned char* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putU32be(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

void putU32le(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

Bytes textBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace

// Lossless types, every combination of source and target pixel format.
class LosslessRoundTrip : public ::testing::TestWithParam<std::tuple<Type, Format, Format>>
{
};

TEST_P(LosslessRoundTrip, GivesBackThePixels)
{
    const auto [type, sourceFormat, targetFormat] = GetParam();
    const KXRawImage2D original = makePattern(23, 17, sourceFormat);
    const Bytes bytes = encodeBytes(original, type);
    ASSERT_FALSE(bytes.empty());

    KXRawImage2D decoded(0, 0, targetFormat);
    ASSERT_EQ(0, decodeBytes(bytes, type, decoded));
    EXPECT_EQ(targetFormat, decoded.getFormat());
    EXPECT_LE(maxDifference(original, decoded, false), roundTripTolerance(type));
    if (keepsAlpha(type)) {
        EXPECT_EQ(0, maxDifference(original, decoded, true));
    } else {
        for (unsigned y = 0; y < decoded.getHeight(); ++y)
            for (unsigned x = 0; x < decoded.getWidth(); ++x)
                ASSERT_EQ(1.0f, decoded.getColor(x, y).getA());
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, LosslessRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(LOSSLESS_TYPES),
                                            ::testing::Values(KXRawImage2D::KXRAWIMAGE2D_BGRA,
                                                              KXRawImage2D::KXRAWIMAGE2D_RGBA),
                                            ::testing::Values(KXRawImage2D::KXRAWIMAGE2D_BGRA,
                                                              KXRawImage2D::KXRAWIMAGE2D_RGBA)),
                         [](const auto& info) {
                             return typeName(std::get<0>(info.param)) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "to" +
                                    std::to_string(std::get<2>(info.param));
                         });

// Opaque images take the shorter way through encoders that can leave
// alpha out.
TEST(ImageFiles, OpaquePngRoundTripIsExact)
{
    const KXRawImage2D original = makePattern(31, 9, KXRawImage2D::KXRAWIMAGE2D_RGBA, true);
    KXRawImage2D decoded;
    ASSERT_EQ(0, decodeBytes(encodeBytes(original, KXImage2D::KXIMAGE2D_PNG), KXImage2D::KXIMAGE2D_PNG, decoded));
    EXPECT_EQ(0, maxDifference(original, decoded));
}

// Every codec reads and writes through rows, so a fragmented image encodes
// to the same bytes and decodes to the same pixels.
class FragmentedImageFiles : public ::testing::TestWithParam<Type>
{
};

TEST_P(FragmentedImageFiles, EncodeAndDecodeLikeOnePiece)
{
    const Type type = GetParam();
    const size_t limit = 2 * 19 * 4; // two rows a piece
    const KXRawImage2D whole = makePattern(19, 13, KXRawImage2D::KXRAWIMAGE2D_BGRA);
    const KXRawImage2D pieces = makePattern(19, 13, KXRawImage2D::KXRAWIMAGE2D_BGRA, false, limit);
    ASSERT_TRUE(pieces.isFragmented());
    const Bytes bytes = encodeBytes(whole, type);
    EXPECT_EQ(bytes, encodeBytes(pieces, type));

    KXRawImage2D decodedWhole;
    KXRawImage2D decodedPieces(0, 0, KXRawImage2D::KXRAWIMAGE2D_BGRA, limit);
    ASSERT_EQ(0, decodeBytes(bytes, type, decodedWhole));
    ASSERT_EQ(0, decodeBytes(bytes, type, decodedPieces));
    EXPECT_TRUE(decodedPieces.isFragmented());
    EXPECT_EQ(0, maxDifference(decodedWhole, decodedPieces));
}

INSTANTIATE_TEST_SUITE_P(AllTypes, FragmentedImageFiles, ::testing::ValuesIn(ALL_TYPES),
                         [](const auto& info) { return typeName(info.param); });

TEST(ImageFiles, JpegStaysCloseToTheOriginal)
{
    const KXRawImage2D original = makePattern(64, 48, KXRawImage2D::KXRAWIMAGE2D_BGRA, true);
    KXRawImage2D decoded(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, decodeBytes(encodeBytes(original, KXImage2D::KXIMAGE2D_JPG, 95), KXImage2D::KXIMAGE2D_JPG, decoded));
    EXPECT_LT(meanDifference(original, decoded), 3.0);
    EXPECT_LE(maxDifference(original, decoded, false), 40);
    EXPECT_EQ(1.0f, decoded.getColor(5, 5).getA());
}

TEST(ImageFiles, JpegQualityTradesSizeForFidelity)
{
    const KXRawImage2D original = makePattern(64, 48, KXRawImage2D::KXRAWIMAGE2D_BGRA, true);
    const Bytes low = encodeBytes(original, KXImage2D::KXIMAGE2D_JPG, 20);
    const Bytes high = encodeBytes(original, KXImage2D::KXIMAGE2D_JPG, 95);
    EXPECT_LT(low.size(), high.size());
    KXRawImage2D lowDecoded, highDecoded;
    ASSERT_EQ(0, decodeBytes(low, KXImage2D::KXIMAGE2D_JPG, lowDecoded));
    ASSERT_EQ(0, decodeBytes(high, KXImage2D::KXIMAGE2D_JPG, highDecoded));
    EXPECT_LT(meanDifference(original, highDecoded), meanDifference(original, lowDecoded));
    // Out-of-range qualities are clamped rather than refused.
    EXPECT_EQ(encodeBytes(original, KXImage2D::KXIMAGE2D_JPG, 100),
              encodeBytes(original, KXImage2D::KXIMAGE2D_JPG, 1000));
}

TEST(ImageFiles, TheSignatureOutranksTheDeclaredType)
{
    const KXRawImage2D original = makePattern(8, 8);
    KXRawImage2D decoded;
    EXPECT_EQ(0, decodeBytes(encodeBytes(original, KXImage2D::KXIMAGE2D_PNG), KXImage2D::KXIMAGE2D_BMP, decoded));
    EXPECT_EQ(0, maxDifference(original, decoded));
    // Formats without a signature need their type.
    const Bytes tga = encodeBytes(original, KXImage2D::KXIMAGE2D_TGA);
    EXPECT_EQ(-2, decodeBytes(tga, KXImage2D::KXIMAGE2D_UNKNOWN, decoded));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, KXImageUtils::getFileTypeFromData(tga.data(), tga.size()));
    const Bytes dib = encodeBytes(original, KXImage2D::KXIMAGE2D_DIB);
    EXPECT_EQ(0, decodeBytes(dib, KXImage2D::KXIMAGE2D_DIB, decoded));
    EXPECT_EQ(0, maxDifference(original, decoded));
}

TEST(ImageFiles, ArgumentsAreChecked)
{
    const KXRawImage2D original = makePattern(4, 4);
    auto image = KXMake<KXImage2D>();
    KXRawImage2D raw;
    EXPECT_EQ(-3, KXImageUtils::decode(nullptr, &raw));
    EXPECT_EQ(-3, KXImageUtils::decode(image.get(), nullptr));
    EXPECT_EQ(-1, KXImageUtils::decode(image.get(), &raw)); // no data
    EXPECT_EQ(-3, KXImageUtils::encode(nullptr, image.get(), KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(-3, KXImageUtils::encode(&original, nullptr, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(-2, KXImageUtils::encode(&original, image.get(), KXImage2D::KXIMAGE2D_UNKNOWN));
    EXPECT_EQ(-2, KXImageUtils::encode(&original, image.get(), static_cast<Type>(42)));
    EXPECT_EQ(-1, KXImageUtils::encode(&raw, image.get(), KXImage2D::KXIMAGE2D_PNG)); // no pixels
    EXPECT_EQ(nullptr, image->getData());
}

// Files as other programs write them, with features the encoders above do
// not produce.
TEST(ForeignImageFiles, Bmp24BitBottomUpWithRowPadding)
{
    // 3 × 2 pixels: rows of 9 bytes padded to 12, the bottom row first.
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
    bmp.resize(54, 0);
    const Bytes bottom = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};     // blue, green, red
    const Bytes top = {0, 0, 0, 255, 255, 255, 10, 20, 30, 0, 0, 0};     // black, white, (30, 20, 10)
    bmp.insert(bmp.end(), bottom.begin(), bottom.end());
    bmp.insert(bmp.end(), top.begin(), top.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(bmp, KXImage2D::KXIMAGE2D_BMP, raw));
    ASSERT_EQ(3u, raw.getWidth());
    ASSERT_EQ(2u, raw.getHeight());
    EXPECT_EQ(0x000000FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0xFFFFFFFFu, pixelRGBA(raw, 1, 0));
    EXPECT_EQ(0x1E140AFFu, pixelRGBA(raw, 2, 0));
    EXPECT_EQ(0x0000FFFFu, pixelRGBA(raw, 0, 1));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 1, 1));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 2, 1));
}

TEST(ForeignImageFiles, BmpPaletteTopDown)
{
    // 4 × 2 at 4 bits a pixel, top-down (negative height), a palette of two
    // entries; index 5 lies past the palette.
    Bytes dib = {40, 0, 0, 0, 4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 4, 0};
    dib.resize(40, 0);
    dib[32] = 2; // colours used
    const Bytes palette = {0, 0, 255, 0, 0, 255, 0, 0}; // red, green
    dib.insert(dib.end(), palette.begin(), palette.end());
    const Bytes pixels = {0x01, 0x10, 0, 0, 0x11, 0x05, 0, 0};
    dib.insert(dib.end(), pixels.begin(), pixels.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(dib, KXImage2D::KXIMAGE2D_DIB, raw));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 1, 0));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 2, 0));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 3, 0));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 0, 1));
    EXPECT_EQ(0x000000FFu, pixelRGBA(raw, 3, 1));
}

TEST(ForeignImageFiles, BmpFileStoringFewerPaletteEntriesThanDeclared)
{
    // 2 × 1 at 8 bits: 256 entries implied, two stored before the pixels.
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0};
    bmp.resize(54, 0);
    const Bytes rest = {10, 20, 30, 0, 40, 50, 60, 0, 1, 0, 0, 0};
    bmp.insert(bmp.end(), rest.begin(), rest.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(bmp, KXImage2D::KXIMAGE2D_BMP, raw));
    EXPECT_EQ(0x3C3228FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x1E140AFFu, pixelRGBA(raw, 1, 0));
}

TEST(ForeignImageFiles, Bmp16BitBitFields)
{
    // 2 × 1, R5G6B5 masks after the info header.
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 16, 0, 3};
    bmp.resize(54, 0);
    const Bytes masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    bmp.insert(bmp.end(), masks.begin(), masks.end());
    const Bytes pixels = {0x00, 0xF8, 0xE0, 0x07}; // pure red, pure green
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(bmp, KXImage2D::KXIMAGE2D_BMP, raw));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 1, 0));
}

// An interlaced grey PNG, its data in a stored (uncompressed) deflate block.
TEST(ForeignImageFiles, PngInterlacedGrey)
{
    const unsigned width = 7, height = 5;
    auto grey = [](unsigned x, unsigned y) { return static_cast<unsigned char>(x * 37 + y * 11); };
    Bytes scanlines;
    const unsigned passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& pass : passes) {
        if (pass[0] >= width || pass[1] >= height)
            continue;
        for (unsigned y = pass[1]; y < height; y += pass[3]) {
            scanlines.push_back(0); // no filter
            for (unsigned x = pass[0]; x < width; x += pass[2])
                scanlines.push_back(grey(x, y));
        }
    }
    Bytes zlib = {0x78, 0x01, 0x01, static_cast<unsigned char>(scanlines.size()), 0,
                  static_cast<unsigned char>(~scanlines.size()), 0xFF};
    zlib.insert(zlib.end(), scanlines.begin(), scanlines.end());
    uint32_t a = 1, b = 0;
    for (unsigned char c : scanlines) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    zlib.resize(zlib.size() + 4);
    putU32be(zlib, zlib.size() - 4, (b << 16) | a);

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto addChunk = [&png](const char* type, const Bytes& data) {
        png.resize(png.size() + 4);
        putU32be(png, png.size() - 4, static_cast<uint32_t>(data.size()));
        const size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        const uint32_t crc = crc32(png.data() + start, png.size() - start);
        png.resize(png.size() + 4);
        putU32be(png, png.size() - 4, crc);
    };
    addChunk("IHDR", {0, 0, 0, width, 0, 0, 0, height, 8, 0, 0, 0, 1});
    addChunk("IDAT", zlib);
    addChunk("IEND", {});

    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(png, KXImage2D::KXIMAGE2D_PNG, raw));
    ASSERT_EQ(width, raw.getWidth());
    ASSERT_EQ(height, raw.getHeight());
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const uint32_t g = grey(x, y);
            ASSERT_EQ((g << 24) | (g << 16) | (g << 8) | 0xFF, pixelRGBA(raw, x, y)) << x << "," << y;
        }
    }
}

TEST(ForeignImageFiles, TgaRunLengthPacketsSpanRows)
{
    // 3 × 2, 24-bit, bottom-up: a run of four blue pixels crosses from the
    // bottom row into the top one, then two raw pixels.
    Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    const Bytes packets = {0x83, 255, 0, 0, 0x01, 0, 0, 255, 0, 255, 0};
    tga.insert(tga.end(), packets.begin(), packets.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(tga, KXImage2D::KXIMAGE2D_TGA, raw));
    EXPECT_EQ(0x0000FFFFu, pixelRGBA(raw, 0, 1));
    EXPECT_EQ(0x0000FFFFu, pixelRGBA(raw, 2, 1));
    EXPECT_EQ(0x0000FFFFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 1, 0));
    EXPECT_EQ(0x00FF00FFu, pixelRGBA(raw, 2, 0));
}

TEST(ForeignImageFiles, TgaGreyRightToLeftTopDown)
{
    Bytes tga = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x30, 10, 200};
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(tga, KXImage2D::KXIMAGE2D_TGA, raw));
    EXPECT_EQ(0xC8C8C8FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x0A0A0AFFu, pixelRGBA(raw, 1, 0));
}

TEST(ForeignImageFiles, NetpbmTextAndSixteenBitMaps)
{
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(textBytes("P3\n# a comment\n2 1 15\n15 0 0  0 15 5\n"), KXImage2D::KXIMAGE2D_PPM, raw));
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x00FF55FFu, pixelRGBA(raw, 1, 0));

    Bytes pgm = textBytes("P5 2 1 65535\n");
    const Bytes samples = {0xFF, 0xFF, 0x80, 0x00};
    pgm.insert(pgm.end(), samples.begin(), samples.end());
    ASSERT_EQ(0, decodeBytes(pgm, KXImage2D::KXIMAGE2D_UNKNOWN, raw));
    EXPECT_EQ(0xFFFFFFFFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0x808080FFu, pixelRGBA(raw, 1, 0));

    // Samples above the maximum are damage.
    EXPECT_EQ(-1, decodeBytes(textBytes("P2 1 1 15\n16\n"), KXImage2D::KXIMAGE2D_PPM, raw));
}

TEST(ForeignImageFiles, BigEndianGreyFloatMapRowsFromTheBottom)
{
    Bytes pfm = textBytes("Pf\n1 2\n1.0\n");
    const Bytes floats = {0x3F, 0x80, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00}; // 1.0 (bottom), 0.5 (top)
    pfm.insert(pfm.end(), floats.begin(), floats.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(pfm, KXImage2D::KXIMAGE2D_PFM, raw));
    EXPECT_EQ(0x808080FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0xFFFFFFFFu, pixelRGBA(raw, 0, 1));
}

TEST(ForeignImageFiles, RadianceRunLengthScanlines)
{
    // 8 × 1, bottom-up orientation, every component run-length coded: red
    // a run of 128, green literal values, blue a run of zeros, exponent 129
    // (so that a mantissa of 128 means 1.0).
    Bytes hdr = textBytes("#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n+Y 1 +X 8\n");
    const Bytes line = {2, 2, 0, 8, 128 + 8, 128, 8, 0, 16, 32, 48, 64, 80, 96, 112, 128 + 8, 0, 128 + 8, 129};
    hdr.insert(hdr.end(), line.begin(), line.end());
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(hdr, KXImage2D::KXIMAGE2D_UNKNOWN, raw));
    ASSERT_EQ(8u, raw.getWidth());
    EXPECT_EQ(0xFF0000FFu, pixelRGBA(raw, 0, 0));
    EXPECT_EQ(0xFF8000FFu, pixelRGBA(raw, 4, 0));
    // A line that claims another width is damage.
    hdr[hdr.size() - line.size() + 3] = 9;
    EXPECT_EQ(-1, decodeBytes(hdr, KXImage2D::KXIMAGE2D_HDR, raw));
}

TEST(ForeignImageFiles, DdsWithoutAlpha)
{
    // X8R8G8B8: the fourth byte is not alpha.
    const KXRawImage2D original = makePattern(5, 3);
    Bytes dds = encodeBytes(original, KXImage2D::KXIMAGE2D_DDS);
    putU32le(dds, 80, 0x40);     // RGB, no alpha pixels
    putU32le(dds, 104, 0);       // no alpha mask
    KXRawImage2D raw;
    ASSERT_EQ(0, decodeBytes(dds, KXImage2D::KXIMAGE2D_DDS, raw));
    EXPECT_EQ(0, maxDifference(original, raw, false));
    EXPECT_EQ(1.0f, raw.getColor(1, 1).getA());

    putU32le(dds, 80, 0x4); // block-compressed
    EXPECT_EQ(-2, decodeBytes(dds, KXImage2D::KXIMAGE2D_DDS, raw));
}

// Damaged and hostile input.
class DamagedImageFiles : public ::testing::TestWithParam<Type>
{
};

TEST_P(DamagedImageFiles, TruncatedFilesAreRefused)
{
    const Type type = GetParam();
    const Bytes bytes = encodeBytes(makePattern(9, 7), type);
    ASSERT_FALSE(bytes.empty());
    KXRawImage2D raw = makePattern(2, 2);
    for (size_t length = 0; length + optionalTrailer(type) < bytes.size(); ++length) {
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_NE(0, decodeBytes(cut, type, raw)) << "length " << length;
    }
    // The image that failed decodes were given is untouched.
    EXPECT_EQ(0, maxDifference(makePattern(2, 2), raw));
}

TEST_P(DamagedImageFiles, CorruptedBytesNeverCrash)
{
    const Type type = GetParam();
    const Bytes bytes = encodeBytes(makePattern(9, 7), type);
    std::mt19937 random(12345);
    for (int trial = 0; trial < 300; ++trial) {
        Bytes damaged = bytes;
        const int flips = 1 + trial % 8;
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] = static_cast<unsigned char>(random());
        KXRawImage2D raw;
        if (decodeBytes(damaged, type, raw) == 0) {
            EXPECT_TRUE(raw.hasData());
            EXPECT_LE(static_cast<uint64_t>(raw.getWidth()) * raw.getHeight(), uint64_t(1) << 22);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, DamagedImageFiles, ::testing::ValuesIn(ALL_TYPES),
                         [](const auto& info) { return typeName(info.param); });

TEST(HostileImageFiles, HugeSizesInSmallFilesAreRefused)
{
    const KXRawImage2D small = makePattern(9, 7);
    KXRawImage2D raw;

    // PNG: a valid header chunk claiming 60000 × 60000.
    Bytes png = encodeBytes(small, KXImage2D::KXIMAGE2D_PNG);
    putU32be(png, 16, 60000);
    putU32be(png, 20, 60000);
    putU32be(png, 29, crc32(png.data() + 12, 17));
    EXPECT_EQ(-1, decodeBytes(png, KXImage2D::KXIMAGE2D_PNG, raw));

    // JPEG: the frame header claiming 60000 × 60000.
    Bytes jpg = encodeBytes(small, KXImage2D::KXIMAGE2D_JPG);
    for (size_t i = 2; i + 8 < jpg.size(); ++i) {
        if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
            jpg[i + 5] = jpg[i + 7] = 0xEA;
            jpg[i + 6] = jpg[i + 8] = 0x60;
            break;
        }
    }
    EXPECT_EQ(-1, decodeBytes(jpg, KXImage2D::KXIMAGE2D_JPG, raw));

    Bytes bmp = encodeBytes(small, KXImage2D::KXIMAGE2D_BMP);
    putU32le(bmp, 18, 0x7FFFFFFF);
    putU32le(bmp, 22, 0x7FFFFFFF);
    EXPECT_EQ(-1, decodeBytes(bmp, KXImage2D::KXIMAGE2D_BMP, raw));

    Bytes dds = encodeBytes(small, KXImage2D::KXIMAGE2D_DDS);
    putU32le(dds, 12, 0xFFFFFFFF);
    putU32le(dds, 16, 0xFFFFFFFF);
    EXPECT_EQ(-1, decodeBytes(dds, KXImage2D::KXIMAGE2D_DDS, raw));

    Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 32, 0, 0xFF, 1, 2, 3, 4};
    EXPECT_EQ(-1, decodeBytes(tga, KXImage2D::KXIMAGE2D_TGA, raw));

    EXPECT_EQ(-1, decodeBytes(textBytes("P6 60000 60000 255\nxyz"), KXImage2D::KXIMAGE2D_PPM, raw));
    EXPECT_EQ(-1, decodeBytes(textBytes("P6 99999999999 2 255\nxyz"), KXImage2D::KXIMAGE2D_PPM, raw));
    EXPECT_EQ(-1, decodeBytes(textBytes("PF 60000 60000 -1.0\nxyz"), KXImage2D::KXIMAGE2D_PFM, raw));
    EXPECT_EQ(-1, decodeBytes(textBytes("#?RADIANCE\n\n-Y 60000 +X 60000\n\x02\x02"), KXImage2D::KXIMAGE2D_HDR, raw));
    EXPECT_FALSE(raw.hasData());
}

// Image files on disk.
TEST(ImageFileIO, RawImagesThroughBmpAndPngFiles)
{
    const KXRawImage2D original = makePattern(21, 11);
    KXTempFile bmp(true, L"bmp");
    KXTempFile png(true, L"png");
    ASSERT_NE(nullptr, bmp.getFileName());
    ASSERT_NE(nullptr, png.getFileName());
    EXPECT_EQ(0, KXImageUtils::saveRawImage2DToBMP(&original, bmp.getFileName()));
    EXPECT_EQ(0, KXImageUtils::saveRawImage2DToPNG(&original, png.getFileName()));

    for (const wchar_t* path : {bmp.getFileName(), png.getFileName()}) {
        KXRawImage2D loaded(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
        ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(path, &loaded));
        EXPECT_EQ(0, maxDifference(original, loaded));
    }
    EXPECT_EQ(-3, KXImageUtils::saveRawImage2DToBMP(nullptr, bmp.getFileName()));
    EXPECT_EQ(-3, KXImageUtils::saveRawImage2DToPNG(&original, nullptr));
}

TEST(ImageFileIO, SavingPicksTheTypeFromTheExtension)
{
    const KXRawImage2D original = makePattern(6, 5);
    KXTempFile tga(true, L"TGA");
    ASSERT_EQ(0, KXImageUtils::saveRawImage2DToFile(&original, tga.getFileName()));
    KXRawImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(tga.getFileName(), &loaded));
    EXPECT_EQ(0, maxDifference(original, loaded));

    KXTempFile unknown(true, L"xyz");
    EXPECT_EQ(-2, KXImageUtils::saveRawImage2DToFile(&original, unknown.getFileName()));
}

TEST(ImageFileIO, LoadImage2DKeepsTheFileBytes)
{
    const KXRawImage2D original = makePattern(12, 10);
    const Bytes png = encodeBytes(original, KXImage2D::KXIMAGE2D_PNG);
    // A PNG named .bmp is still a PNG.
    KXTempFile file(true, L"bmp");
    ASSERT_EQ(0, KXFileUtils::writeFile(file.getFileName(), png.data(), png.size()));
    auto image = KXMake<KXImage2D>();
    ASSERT_EQ(0, KXImageUtils::loadImage2DFromFile(file.getFileName(), image.get(), 0, 0));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, image->getFileType());
    EXPECT_EQ(png, Bytes(image->getData(), image->getData() + image->getSize()));

    KXTempFile copy(true, L"png");
    ASSERT_EQ(0, KXImageUtils::saveImage2DToFile(image.get(), copy.getFileName()));
    KXRawImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(copy.getFileName(), &loaded));
    EXPECT_EQ(0, maxDifference(original, loaded));
}

TEST(ImageFileIO, LoadImage2DCanScale)
{
    KXTempFile file(true, L"bmp");
    const KXRawImage2D original = imagetest::makeConstant(12, 10, 40, 80, 120, 255);
    ASSERT_EQ(0, KXImageUtils::saveRawImage2DToBMP(&original, file.getFileName()));
    auto image = KXMake<KXImage2D>();
    ASSERT_EQ(0, KXImageUtils::loadImage2DFromFile(file.getFileName(), image.get(), 6, 0));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_BMP, image->getFileType());
    KXRawImage2D decoded;
    ASSERT_EQ(0, KXImageUtils::decode(image.get(), &decoded));
    EXPECT_EQ(6u, decoded.getWidth());
    EXPECT_EQ(10u, decoded.getHeight());
    EXPECT_EQ(0, maxDifference(imagetest::makeConstant(6, 10, 40, 80, 120, 255), decoded));
}

TEST(ImageFileIO, MissingAndUnknownFiles)
{
    auto image = KXMake<KXImage2D>();
    KXRawImage2D raw;
    EXPECT_EQ(-1, KXImageUtils::loadImage2DFromFile(L"/nonexistent/dir/picture.png", image.get(), 0, 0));
    EXPECT_EQ(-1, KXImageUtils::loadRawImage2DFromFile(L"/nonexistent/dir/picture.png", &raw));
    EXPECT_EQ(-3, KXImageUtils::loadImage2DFromFile(nullptr, image.get(), 0, 0));
    EXPECT_EQ(-3, KXImageUtils::loadImage2DFromFile(L"x.png", nullptr, 0, 0));

    KXTempFile text(true, L"txt");
    const std::string words = "hello";
    ASSERT_EQ(0, KXFileUtils::writeFile(text.getFileName(), words.data(), words.size()));
    EXPECT_EQ(-2, KXImageUtils::loadImage2DFromFile(text.getFileName(), image.get(), 0, 0));
    EXPECT_EQ(-2, KXImageUtils::loadRawImage2DFromFile(text.getFileName(), &raw));
}

TEST(ImageFileIO, PathsBeyondAsciiReachTheFileSystem)
{
    KXTempFile file(true, L"\u00e9t\u00e9\U0001F600.png");
    ASSERT_NE(nullptr, file.getFileName());
    const KXRawImage2D original = makePattern(3, 3);
    ASSERT_EQ(0, KXImageUtils::saveRawImage2DToPNG(&original, file.getFileName()));
    std::string native;
    ASSERT_TRUE(KXFileUtils::toNativePath(file.getFileName(), native));
    EXPECT_NE(std::string::npos, native.find("\xC3\xA9t\xC3\xA9\xF0\x9F\x98\x80.png"));
    KXRawImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(file.getFileName(), &loaded));
    EXPECT_EQ(0, maxDifference(original, loaded));

    const wchar_t loneSurrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    EXPECT_FALSE(KXFileUtils::toNativePath(loneSurrogate, native));
    EXPECT_EQ(-1, KXImageUtils::saveRawImage2DToPNG(&original, loneSurrogate));
}

TEST(ImageFileTypes, ExtensionsOfEveryType)
{
    const std::pair<Type, const wchar_t*> expected[] = {
        {KXImage2D::KXIMAGE2D_BMP, L"bmp"}, {KXImage2D::KXIMAGE2D_JPG, L"jpg"}, {KXImage2D::KXIMAGE2D_TGA, L"tga"},
        {KXImage2D::KXIMAGE2D_PNG, L"png"}, {KXImage2D::KXIMAGE2D_DDS, L"dds"}, {KXImage2D::KXIMAGE2D_DIB, L"dib"},
        {KXImage2D::KXIMAGE2D_PPM, L"ppm"}, {KXImage2D::KXIMAGE2D_HDR, L"hdr"}, {KXImage2D::KXIMAGE2D_PFM, L"pfm"},
    };
    for (const auto& [type, extension] : expected) {
        wchar_t buffer[260];
        ASSERT_EQ(0, KXImageUtils::getFileExtensionFromType(type, buffer, 260));
        EXPECT_EQ(std::wstring(extension), buffer);
        EXPECT_EQ(type, KXImageUtils::getFileTypeFromExtension(buffer));
    }
    wchar_t buffer[4] = L"old";
    EXPECT_EQ(-1, KXImageUtils::getFileExtensionFromType(KXImage2D::KXIMAGE2D_UNKNOWN, buffer, 4));
    EXPECT_EQ(std::wstring(), buffer);
    EXPECT_EQ(-1, KXImageUtils::getFileExtensionFromType(KXImage2D::KXIMAGE2D_JPG, buffer, 3));
    EXPECT_EQ(0, KXImageUtils::getFileExtensionFromType(KXImage2D::KXIMAGE2D_JPG, buffer, 4));
    EXPECT_EQ(-3, KXImageUtils::getFileExtensionFromType(KXImage2D::KXIMAGE2D_JPG, nullptr, 260));
}

TEST(ImageFileTypes, TypesOfPaths)
{
    EXPECT_EQ(KXImage2D::KXIMAGE2D_JPG, KXImageUtils::getFileTypeFromExtension(L"C:\\Pictures\\Photo.JPEG"));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, KXImageUtils::getFileTypeFromExtension(L"/tmp/a.b/c.png"));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, KXImageUtils::getFileTypeFromExtension(L".png"));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, KXImageUtils::getFileTypeFromExtension(L"/tmp/a.png/c"));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, KXImageUtils::getFileTypeFromExtension(L"picture.gif"));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, KXImageUtils::getFileTypeFromExtension(nullptr));
}
