// KXRawImage2D: layout, pixel access and fragmented storage.

#include "ImageTestSupport.h"

#include "sceneapi/KXRawImage2D.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using imagetest::makePattern;
using imagetest::maxDifference;

namespace {

const KXColor TRANSPARENT_BLACK(0.0f, 0.0f, 0.0f, 0.0f);

// Row-major bytes of an image, read through getRow.
std::vector<unsigned char> rowBytes(const KXRawImage2D& image)
{
    std::vector<unsigned char> bytes;
    for (unsigned y = 0; y < image.getHeight(); ++y)
        bytes.insert(bytes.end(), image.getRow(y), image.getRow(y) + image.getRowSize());
    return bytes;
}

} // namespace

TEST(RawImage2D, NewImageHasLayoutButNoPixels)
{
    KXRawImage2D image(7, 5, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    EXPECT_EQ(7u, image.getWidth());
    EXPECT_EQ(5u, image.getHeight());
    EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_RGBA, image.getFormat());
    EXPECT_FALSE(image.hasData());
    EXPECT_EQ(nullptr, image.getData());
    EXPECT_EQ(0u, image.getSize());
    EXPECT_EQ(TRANSPARENT_BLACK, image.getColor(0, 0));
    EXPECT_EQ(-1, image.setColor(0, 0, KXColor(1, 1, 1)));
}

TEST(RawImage2D, CreateDataGivesZeroedContiguousPixels)
{
    KXRawImage2D image(7, 5);
    ASSERT_EQ(0, image.createData());
    ASSERT_NE(nullptr, image.getData());
    EXPECT_EQ(7u * 5u * 4u, image.getSize());
    EXPECT_FALSE(image.isFragmented());
    EXPECT_EQ(image.getData() + 4 * image.getRowSize(), image.getRow(4));
    for (size_t i = 0; i < image.getSize(); ++i)
        ASSERT_EQ(0, image.getData()[i]);

    KXRawImage2D empty(0, 5);
    EXPECT_EQ(-1, empty.createData());
    EXPECT_FALSE(empty.hasData());
}

TEST(RawImage2D, SizesThatOverflowAreRefusedWithoutAllocating)
{
    KXRawImage2D image(0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(-1, image.createData());
    EXPECT_FALSE(image.hasData());
    unsigned char byte = 0;
    EXPECT_EQ(-1, image.setData(&byte, 1));
}

TEST(RawImage2D, ColorsAreStoredInTheBytesOfEachFormat)
{
    const KXColor color(1.0f, 128 / 255.0f, 0.0f, 64 / 255.0f);
    KXRawImage2D bgra(2, 2, KXRawImage2D::KXRAWIMAGE2D_BGRA);
    KXRawImage2D rgba(2, 2, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, bgra.createData());
    ASSERT_EQ(0, rgba.createData());
    ASSERT_EQ(0, bgra.setColor(1, 1, color));
    ASSERT_EQ(0, rgba.setColor(1, 1, color));

    const unsigned char* b = bgra.getRow(1) + 4;
    EXPECT_EQ((std::vector<int>{0, 128, 255, 64}), (std::vector<int>{b[0], b[1], b[2], b[3]}));
    const unsigned char* r = rgba.getRow(1) + 4;
    EXPECT_EQ((std::vector<int>{255, 128, 0, 64}), (std::vector<int>{r[0], r[1], r[2], r[3]}));
    // A BGRA pixel in memory is the Direct3D colour word.
    uint32_t word;
    std::memcpy(&word, b, 4);
    EXPECT_EQ(color.getBGRA(), word);

    EXPECT_EQ(color, bgra.getColor(1, 1));
    EXPECT_EQ(color, rgba.getColor(1, 1));
}

TEST(RawImage2D, SetColorClampsAndRounds)
{
    KXRawImage2D image(1, 1);
    ASSERT_EQ(0, image.createData());
    image.setColor(0, 0, KXColor(2.0f, -1.0f, 0.5f, 1.0f));
    EXPECT_EQ(KXColor(1.0f, 0.0f, 128 / 255.0f, 1.0f), image.getColor(0, 0));
}

TEST(RawImage2D, AccessOutsideTheImageIsHarmless)
{
    KXRawImage2D image = makePattern(4, 3);
    const std::vector<unsigned char> before = rowBytes(image);
    EXPECT_EQ(TRANSPARENT_BLACK, image.getColor(4, 0));
    EXPECT_EQ(TRANSPARENT_BLACK, image.getColor(0, 3));
    EXPECT_EQ(TRANSPARENT_BLACK, image.getColor(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(-1, image.setColor(4, 0, KXColor(1, 1, 1)));
    EXPECT_EQ(-1, image.setColor(0, 3, KXColor(1, 1, 1)));
    EXPECT_EQ(nullptr, image.getRow(3));
    EXPECT_EQ(before, rowBytes(image));
}

TEST(RawImage2D, SetDataCopiesContiguousRowsAndChecksTheSize)
{
    const KXRawImage2D source = makePattern(5, 4);
    KXRawImage2D copy(5, 4);
    EXPECT_EQ(0, copy.setData(source.getData(), source.getSize()));
    EXPECT_EQ(0, maxDifference(source, copy));

    KXRawImage2D wrong(5, 4);
    EXPECT_EQ(-1, wrong.setData(source.getData(), source.getSize() - 4));
    EXPECT_EQ(-1, wrong.setData(source.getData(), source.getSize() + 4));
    EXPECT_EQ(-3, wrong.setData(nullptr, source.getSize()));
    EXPECT_FALSE(wrong.hasData());
}

TEST(RawImage2D, ResizingDiscardsPixelsButReformattingKeepsBytes)
{
    KXRawImage2D image = makePattern(4, 4);
    const std::vector<unsigned char> bytes = rowBytes(image);
    image.setWidth(4);
    EXPECT_TRUE(image.hasData());
    EXPECT_EQ(0, image.setFormat(KXRawImage2D::KXRAWIMAGE2D_RGBA));
    EXPECT_EQ(bytes, rowBytes(image));
    EXPECT_EQ(-1, image.setFormat(7));
    EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_RGBA, image.getFormat());
    image.setHeight(5);
    EXPECT_FALSE(image.hasData());
}

TEST(RawImage2D, ConvertToFormatKeepsColours)
{
    const KXRawImage2D original = makePattern(6, 3, KXRawImage2D::KXRAWIMAGE2D_BGRA);
    KXRawImage2D converted = original;
    ASSERT_EQ(0, converted.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_RGBA));
    EXPECT_EQ(KXRawImage2D::KXRAWIMAGE2D_RGBA, converted.getFormat());
    EXPECT_EQ(0, maxDifference(original, converted));
    EXPECT_NE(rowBytes(original), rowBytes(converted));
}

// Fragmented storage must be invisible to everything but getData.
class FragmentedRawImage : public ::testing::Test
{
protected:
    static constexpr unsigned WIDTH = 13;
    static constexpr unsigned HEIGHT = 11;
    // Three rows per piece: four pieces, the last of two rows.
    static constexpr size_t LIMIT = 3 * WIDTH * 4 + 5;

    KXRawImage2D whole = makePattern(WIDTH, HEIGHT);
    KXRawImage2D pieces = makePattern(WIDTH, HEIGHT, KXRawImage2D::KXRAWIMAGE2D_BGRA, false, LIMIT);
};

TEST_F(FragmentedRawImage, IsHeldInBandsOfWholeRows)
{
    EXPECT_FALSE(whole.isFragmented());
    ASSERT_TRUE(pieces.isFragmented());
    EXPECT_EQ(4u, pieces.getNumFragments());
    EXPECT_EQ(3u, pieces.getRowsPerFragment());
    EXPECT_EQ(3u * WIDTH * 4, pieces.getFragmentSize(0));
    EXPECT_EQ(2u * WIDTH * 4, pieces.getFragmentSize(3));
    EXPECT_EQ(0u, pieces.getFragmentSize(4));
    EXPECT_EQ(nullptr, pieces.getFragmentData(4));
    EXPECT_EQ(whole.getSize(), pieces.getSize());
    EXPECT_EQ(nullptr, pieces.getData());
    EXPECT_EQ(pieces.getFragmentData(1), pieces.getRow(3));
    EXPECT_EQ(pieces.getFragmentData(1) + pieces.getRowSize(), pieces.getRow(4));
}

TEST_F(FragmentedRawImage, ReadsAndWritesLikeOnePiece)
{
    EXPECT_EQ(rowBytes(whole), rowBytes(pieces));
    // Rows 2 and 3 lie in different pieces, as do 5 and 6.
    for (unsigned y : {2u, 3u, 5u, 6u, 10u}) {
        for (unsigned x = 0; x < WIDTH; ++x) {
            const KXColor c((x * 19 % 256) / 255.0f, (y * 31 % 256) / 255.0f, 0.5f, 1.0f);
            EXPECT_EQ(0, whole.setColor(x, y, c));
            EXPECT_EQ(0, pieces.setColor(x, y, c));
        }
    }
    for (unsigned y = 0; y < HEIGHT; ++y)
        for (unsigned x = 0; x < WIDTH; ++x)
            ASSERT_EQ(whole.getColor(x, y), pieces.getColor(x, y)) << x << "," << y;
    EXPECT_EQ(TRANSPARENT_BLACK, pieces.getColor(0, HEIGHT));
    EXPECT_EQ(-1, pieces.setColor(WIDTH, 0, KXColor()));
}

TEST_F(FragmentedRawImage, SetDataSpreadsRowsOverThePieces)
{
    KXRawImage2D target(WIDTH, HEIGHT, KXRawImage2D::KXRAWIMAGE2D_BGRA, LIMIT);
    ASSERT_EQ(0, target.setData(whole.getData(), whole.getSize()));
    EXPECT_TRUE(target.isFragmented());
    EXPECT_EQ(rowBytes(whole), rowBytes(target));
}

TEST_F(FragmentedRawImage, CopiesKeepTheirOwnPieces)
{
    KXRawImage2D copy = pieces;
    EXPECT_TRUE(copy.isFragmented());
    copy.setColor(0, 0, KXColor(1, 1, 1, 1));
    EXPECT_NE(copy.getColor(0, 0), pieces.getColor(0, 0));
}

TEST_F(FragmentedRawImage, RowsWiderThanTheLimitGetAPieceEach)
{
    KXRawImage2D image(WIDTH, 3, KXRawImage2D::KXRAWIMAGE2D_BGRA, 8);
    ASSERT_EQ(0, image.createData());
    EXPECT_EQ(3u, image.getNumFragments());
    EXPECT_EQ(1u, image.getRowsPerFragment());
}
