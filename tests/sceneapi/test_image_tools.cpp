// Temporary files, and the tools that work on whole images: converter,
// resizer and tile stitching.

#include "ImageTestSupport.h"

#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImageConverter.h"
#include "sceneapi/KXImageResizer.h"
#include "sceneapi/KXImageStitch.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXTempFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

using imagetest::makeConstant;
using imagetest::makePattern;
using imagetest::maxDifference;
using imagetest::meanDifference;
using imagetest::pixelRGBA;

namespace {

bool endsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t fileSize(const wchar_t* path)
{
    std::vector<unsigned char> bytes;
    return KXFileUtils::readFile(path, bytes, size_t(1) << 30) == 0 ? bytes.size() : 0;
}

} // namespace

TEST(TempFile, ExistsWhileTheObjectLives)
{
    std::wstring path;
    {
        KXTempFile file(true, L"bmp");
        ASSERT_NE(nullptr, file.getFileName());
        path = file.getFileName();
        EXPECT_TRUE(endsWith(path, L".bmp"));
        EXPECT_TRUE(KXFileUtils::fileExists(file.getFileName()));
        EXPECT_EQ(0u, fileSize(file.getFileName()));
    }
    EXPECT_FALSE(KXFileUtils::fileExists(path.c_str()));
}

TEST(TempFile, NamesAreUnique)
{
    std::vector<std::unique_ptr<KXTempFile>> files;
    std::set<std::wstring> names;
    for (int i = 0; i < 50; ++i) {
        files.push_back(std::make_unique<KXTempFile>(true, L"jpg"));
        ASSERT_NE(nullptr, files.back()->getFileName());
        names.insert(files.back()->getFileName());
    }
    EXPECT_EQ(50u, names.size());
}

TEST(TempFile, KeptWhenNotAutoRemoved)
{
    std::wstring path;
    {
        KXTempFile file(false, L"png");
        ASSERT_NE(nullptr, file.getFileName());
        path = file.getFileName();
    }
    EXPECT_TRUE(KXFileUtils::fileExists(path.c_str()));
    EXPECT_EQ(0, KXFileUtils::removeFile(path.c_str()));
}

TEST(TempFile, NoNameWhenNoFileCanBeMade)
{
    KXTempFile missingDirectory(true, L"bmp", L"/nonexistent/directory");
    EXPECT_EQ(nullptr, missingDirectory.getFileName());
    KXTempFile escapingExtension(true, L"x/../../y");
    EXPECT_EQ(nullptr, escapingExtension.getFileName());
    KXTempFile noExtension(true, nullptr);
    ASSERT_NE(nullptr, noExtension.getFileName());
    EXPECT_TRUE(KXFileUtils::fileExists(noExtension.getFileName()));
}

TEST(ImageConverter, ConvertsByTheDestinationExtension)
{
    const KXRawImage2D original = makePattern(40, 30, KXRawImage2D::KXRAWIMAGE2D_BGRA, true);
    KXTempFile bmp(true, L"bmp"), png(true, L"png"), low(true, L"jpg"), high(true, L"jpeg");
    ASSERT_EQ(0, KXImageUtils::saveRawImage2DToBMP(&original, bmp.getFileName()));

    ASSERT_EQ(0, KXImageConverter::convert(bmp.getFileName(), png.getFileName(), 85));
    std::vector<unsigned char> bytes;
    ASSERT_EQ(0, KXFileUtils::readFile(png.getFileName(), bytes, 1 << 20));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, KXImageUtils::getFileTypeFromData(bytes.data(), bytes.size()));
    KXRawImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(png.getFileName(), &loaded));
    EXPECT_EQ(0, maxDifference(original, loaded));

    // The quality figure reaches the JPEG encoder.
    ASSERT_EQ(0, KXImageConverter::convert(png.getFileName(), low.getFileName(), 25));
    ASSERT_EQ(0, KXImageConverter::convert(png.getFileName(), high.getFileName(), 95));
    EXPECT_LT(fileSize(low.getFileName()), fileSize(high.getFileName()));
    KXRawImage2D lowLoaded, highLoaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(low.getFileName(), &lowLoaded));
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(high.getFileName(), &highLoaded));
    EXPECT_LT(meanDifference(original, highLoaded), meanDifference(original, lowLoaded));
}

TEST(ImageConverter, FailuresLeaveNoOutput)
{
    KXTempFile source(true, L"bmp");
    const std::string junk = "BM but not really";
    ASSERT_EQ(0, KXFileUtils::writeFile(source.getFileName(), junk.data(), junk.size()));
    KXTempFile target(true, L"png");
    EXPECT_EQ(-1, KXImageConverter::convert(source.getFileName(), target.getFileName(), 90));
    EXPECT_EQ(0u, fileSize(target.getFileName()));
    EXPECT_EQ(-2, KXImageConverter::convert(source.getFileName(), L"/tmp/out.gif", 90));
    EXPECT_EQ(-1, KXImageConverter::convert(L"/nonexistent/in.bmp", target.getFileName(), 90));
    EXPECT_EQ(-3, KXImageConverter::convert(nullptr, target.getFileName(), 90));
}

TEST(ImageResizer, ConstantImagesStayConstant)
{
    for (auto format : {KXRawImage2D::KXRAWIMAGE2D_BGRA, KXRawImage2D::KXRAWIMAGE2D_RGBA}) {
        const KXRawImage2D constant = makeConstant(37, 23, 17, 140, 251, 200, format);
        for (auto [width, height] : {std::pair{10, 7}, {37, 23}, {100, 61}, {1, 1}, {50, 5}, {3, 90}}) {
            KXRawImage2D resized;
            ASSERT_EQ(0, KXImageResizer::resize(constant, width, height, resized));
            EXPECT_EQ(format, resized.getFormat());
            EXPECT_EQ(0, maxDifference(makeConstant(width, height, 17, 140, 251, 200), resized))
                << width << " x " << height;
        }
    }
}

TEST(ImageResizer, HalvingAveragesEachBlock)
{
    // 2 × 2 blocks of black and white columns average to mid grey.
    KXRawImage2D stripes(8, 6);
    ASSERT_EQ(0, stripes.createData());
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 8; ++x)
            stripes.setColor(x, y, x % 2 ? KXColor(1, 1, 1) : KXColor(0, 0, 0));
    KXRawImage2D half;
    ASSERT_EQ(0, KXImageResizer::resize(stripes, 4, 3, half));
    EXPECT_EQ(0, maxDifference(makeConstant(4, 3, 128, 128, 128, 255), half));
}

TEST(ImageResizer, TransparentPixelsLendNoColour)
{
    KXRawImage2D image(2, 1);
    ASSERT_EQ(0, image.createData());
    image.setColor(0, 0, KXColor(1, 0, 0, 1));
    image.setColor(1, 0, KXColor(0, 1, 0, 0));
    KXRawImage2D one;
    ASSERT_EQ(0, KXImageResizer::resize(image, 1, 1, one));
    EXPECT_EQ(0xFF000080u, pixelRGBA(one, 0, 0));
}

TEST(ImageResizer, SameSizeIsACopyAndEnlargingInterpolates)
{
    const KXRawImage2D pattern = makePattern(16, 12);
    KXRawImage2D same;
    ASSERT_EQ(0, KXImageResizer::resize(pattern, 16, 12, same));
    EXPECT_EQ(0, maxDifference(pattern, same));

    // A horizontal ramp doubled in width stays a ramp: every target pixel
    // lies between its source neighbours.
    KXRawImage2D ramp(5, 1);
    ASSERT_EQ(0, ramp.createData());
    for (unsigned x = 0; x < 5; ++x)
        ramp.setColor(x, 0, KXColor(x * 50 / 255.0f, 0, 0, 1));
    KXRawImage2D doubled;
    ASSERT_EQ(0, KXImageResizer::resize(ramp, 10, 1, doubled));
    const int expectedRed[10] = {0, 13, 38, 63, 88, 113, 138, 163, 188, 200};
    for (unsigned x = 0; x < 10; ++x)
        EXPECT_EQ(expectedRed[x], static_cast<int>(pixelRGBA(doubled, x, 0) >> 24)) << x;
}

TEST(ImageResizer, BadRequestsAreRefused)
{
    const KXRawImage2D pattern = makePattern(4, 4);
    KXRawImage2D target = makePattern(2, 2);
    EXPECT_EQ(-1, KXImageResizer::resize(pattern, 0, 4, target));
    EXPECT_EQ(-1, KXImageResizer::resize(pattern, 4, -1, target));
    EXPECT_EQ(-1, KXImageResizer::resize(KXRawImage2D(4, 4), 2, 2, target));
    KXRawImage2D self = makePattern(4, 4);
    EXPECT_EQ(-1, KXImageResizer::resize(self, 2, 2, self));
    EXPECT_EQ(0, maxDifference(makePattern(2, 2), target));
}

TEST(ImageResizer, ResizesFiles)
{
    const KXRawImage2D constant = makeConstant(30, 20, 90, 60, 30, 255);
    KXTempFile source(true, L"png"), target(true, L"bmp");
    ASSERT_EQ(0, KXImageUtils::saveRawImage2DToPNG(&constant, source.getFileName()));
    ASSERT_EQ(0, KXImageResizer::resize(source.getFileName(), 15, 40, target.getFileName()));
    KXRawImage2D loaded;
    ASSERT_EQ(0, KXImageUtils::loadRawImage2DFromFile(target.getFileName(), &loaded));
    EXPECT_EQ(0, maxDifference(makeConstant(15, 40, 90, 60, 30, 255), loaded));
    EXPECT_EQ(-3, KXImageResizer::resize(nullptr, 15, 40, target.getFileName()));
}

// Tiles cut from a picture and joined again give the picture back, for any
// tile size, partial tiles at the edges, mixed pixel formats and a
// fragmented picture.
TEST(ImageStitch, TilesJoinIntoTheWholePicture)
{
    const unsigned width = 50, height = 37;
    const KXRawImage2D original = makePattern(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    for (unsigned tileSize : {16u, 7u, 64u}) {
        KXRawImage2D picture(width, height, KXRawImage2D::KXRAWIMAGE2D_RGBA, 5 * width * 4);
        ASSERT_EQ(0, picture.createData());
        ASSERT_TRUE(picture.isFragmented());
        KXImageStitch stitch(&picture);
        // Tiles come as the renderer gives them: full size, BGRA, with only
        // their top-left part in the picture at the right and bottom edges.
        KXRawImage2D tile(tileSize, tileSize, KXRawImage2D::KXRAWIMAGE2D_BGRA);
        ASSERT_EQ(0, tile.createData());
        unsigned tiles = 0;
        for (unsigned top = 0; top < height; top += tileSize) {
            for (unsigned left = 0; left < width; left += tileSize) {
                for (unsigned y = 0; y < tileSize; ++y)
                    for (unsigned x = 0; x < tileSize; ++x)
                        tile.setColor(x, y, original.getColor(left + x, top + y));
                const unsigned w = std::min(tileSize, width - left), h = std::min(tileSize, height - top);
                ASSERT_EQ(0, stitch.addTile(&tile, 0, 0, w, h, left, top));
                ++tiles;
            }
        }
        EXPECT_EQ(tiles, stitch.getNumTiles());
        EXPECT_EQ(0, maxDifference(original, picture)) << "tile size " << tileSize;
    }
}

TEST(ImageStitch, PartsOutsideEitherImageAreSkipped)
{
    const KXRawImage2D tile = makeConstant(8, 8, 255, 0, 0, 255);
    KXRawImage2D picture(10, 10);
    ASSERT_EQ(0, picture.createData());
    KXImageStitch stitch(&picture);
    // The rectangle runs past the tile and past the picture.
    ASSERT_EQ(0, stitch.addTile(&tile, 4, 4, 100, 100, 7, 8));
    for (unsigned y = 0; y < 10; ++y) {
        for (unsigned x = 0; x < 10; ++x) {
            const bool covered = x >= 7 && y >= 8;
            EXPECT_EQ(covered ? 0xFF0000FFu : 0u, pixelRGBA(picture, x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(0, stitch.addTile(&tile, 20, 0, 4, 4, 0, 0));
    EXPECT_EQ(0, stitch.addTile(&tile, 0, 0, 4, 4, 10, 0));
    EXPECT_EQ(0u, pixelRGBA(picture, 0, 0));

    EXPECT_EQ(-3, stitch.addTile(nullptr, 0, 0, 1, 1, 0, 0));
    const KXRawImage2D empty(8, 8);
    EXPECT_EQ(-1, stitch.addTile(&empty, 0, 0, 1, 1, 0, 0));
    KXImageStitch unset;
    EXPECT_EQ(-1, unset.addTile(&tile, 0, 0, 1, 1, 0, 0));
}
