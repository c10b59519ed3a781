// DirectDraw surface files beyond the first surface: block-compressed
// pixels, mip chains, cube faces and volume slices.

#include "sceneapi/KXImageCodec.h"

#include <gtest/gtest.h>

using kxcodec::Bytes;
using kxcodec::DDSInfo;

namespace {

const uint32_t DXT1 = 0x31545844, DXT3 = 0x33545844, DXT5 = 0x35545844;

DDSInfo compressedLayout(uint32_t code, uint32_t width, uint32_t height)
{
    DDSInfo layout;
    layout.width = width;
    layout.height = height;
    layout.formatFlags = kxcodec::DDS_PF_FOURCC;
    layout.fourCC = code;
    return layout;
}

void append16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void append32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Red and blue end points; texels 0 to 3 of the first row use indices 0 to 3.
void appendColourBlock(Bytes& out, uint16_t c0, uint16_t c1)
{
    append16(out, c0);
    append16(out, c1);
    append32(out, 0xE4); // indices 0, 1, 2, 3 in the first row, 0 elsewhere
}

uint32_t rgba(const KXRawImage2D& image, unsigned x, unsigned y)
{
    const unsigned char* p = image.getRow(y) + x * 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

} // namespace

TEST(DdsBlockCompression, Dxt1FourAndThreeColourBlocks)
{
    Bytes file;
    kxcodec::appendDDSHeader(file, compressedLayout(DXT1, 8, 4));
    appendColourBlock(file, 0xF800, 0x001F); // c0 > c1: four colours
    appendColourBlock(file, 0x001F, 0xF800); // c0 <= c1: three colours and transparent black
    DDSInfo info;
    ASSERT_EQ(0, kxcodec::readDDSInfo(file.data(), file.size(), info));
    EXPECT_TRUE(info.hasAlpha);
    KXRawImage2D image(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, kxcodec::decodeDDS(file.data(), file.size(), image));
    EXPECT_EQ(0xFF0000FFu, rgba(image, 0, 0));
    EXPECT_EQ(0x0000FFFFu, rgba(image, 1, 0));
    EXPECT_EQ(0xAA0055FFu, rgba(image, 2, 0)); // two thirds red
    EXPECT_EQ(0x5500AAFFu, rgba(image, 3, 0));
    EXPECT_EQ(0xFF0000FFu, rgba(image, 3, 3)); // index 0 below the first row
    EXPECT_EQ(0x7F007FFFu, rgba(image, 6, 0)); // the mean of the end points
    EXPECT_EQ(0x00000000u, rgba(image, 7, 0)); // transparent black
}

TEST(DdsBlockCompression, Dxt3AndDxt5Alpha)
{
    Bytes dxt3;
    kxcodec::appendDDSHeader(dxt3, compressedLayout(DXT3, 4, 4));
    dxt3.push_back(0x8F); // texel 0: 0xF, texel 1: 0x8
    dxt3.insert(dxt3.end(), 7, 0);
    appendColourBlock(dxt3, 0x001F, 0xF800); // explicit-alpha blocks always have four colours
    KXRawImage2D image(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, kxcodec::decodeDDS(dxt3.data(), dxt3.size(), image));
    EXPECT_EQ(0x0000FFFFu, rgba(image, 0, 0));
    EXPECT_EQ(0xFF000088u, rgba(image, 1, 0));
    EXPECT_EQ(0x00u, rgba(image, 3, 0) & 0xFF);
    EXPECT_NE(0u, rgba(image, 3, 0) >> 8); // four-colour mode: no transparent black

    Bytes dxt5;
    kxcodec::appendDDSHeader(dxt5, compressedLayout(DXT5, 4, 4));
    dxt5.push_back(255);
    dxt5.push_back(0);
    // Alpha indices 0, 1, 2 for texels 0, 1, 2: bits 000 001 010.
    const uint64_t bits = (1u << 3) | (2u << 6);
    for (int i = 0; i < 6; ++i)
        dxt5.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    appendColourBlock(dxt5, 0xFFFF, 0x0000);
    ASSERT_EQ(0, kxcodec::decodeDDS(dxt5.data(), dxt5.size(), image));
    EXPECT_EQ(255u, rgba(image, 0, 0) & 0xFF);
    EXPECT_EQ(0u, rgba(image, 1, 0) & 0xFF);
    EXPECT_EQ(219u, rgba(image, 2, 0) & 0xFF); // (6 x 255 + 0) / 7, rounded
}

TEST(DdsLayouts, CubeFacesLevelsAndVolumeSlicesAreAddressedInFileOrder)
{
    // A cube map holding +X and -Z only, 2x2 with two levels, L8 pixels
    // numbered by their position in the file.
    DDSInfo layout;
    layout.width = layout.height = 2;
    layout.mipLevels = 2;
    layout.faceMask = (1u << 0) | (1u << 5);
    layout.formatFlags = kxcodec::DDS_PF_LUMINANCE;
    layout.bitCount = 8;
    layout.masks[0] = 0xFF;
    Bytes file;
    kxcodec::appendDDSHeader(file, layout);
    for (unsigned char v = 1; v <= 10; ++v) // 4 + 1 texels per face
        file.push_back(v * 10);
    DDSInfo info;
    ASSERT_EQ(0, kxcodec::readDDSInfo(file.data(), file.size(), info));
    EXPECT_EQ(2u, info.mipLevels);
    EXPECT_EQ(layout.faceMask, info.faceMask);
    KXRawImage2D image(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(0, kxcodec::decodeDDSImage(file.data(), file.size(), info, 5, 0, 0, image));
    EXPECT_EQ(60u, rgba(image, 0, 0) >> 24);
    ASSERT_EQ(0, kxcodec::decodeDDSImage(file.data(), file.size(), info, 5, 1, 0, image));
    EXPECT_EQ(1u, image.getWidth());
    EXPECT_EQ(100u, rgba(image, 0, 0) >> 24);
    // A face the file does not hold, and a truncated file.
    EXPECT_EQ(-1, kxcodec::decodeDDSImage(file.data(), file.size(), info, 2, 0, 0, image));
    file.pop_back();
    EXPECT_EQ(-1, kxcodec::readDDSInfo(file.data(), file.size(), info));

    // A volume 2x1x4 with two levels: slices of each level follow it.
    DDSInfo volume = layout;
    volume.faceMask = 0;
    volume.volume = true;
    volume.width = 2;
    volume.height = 1;
    volume.depth = 4;
    Bytes volumeFile;
    kxcodec::appendDDSHeader(volumeFile, volume);
    for (unsigned char v = 1; v <= 10; ++v) // 8 texels, then 2 slices of 1
        volumeFile.push_back(v);
    ASSERT_EQ(0, kxcodec::readDDSInfo(volumeFile.data(), volumeFile.size(), info));
    EXPECT_TRUE(info.volume);
    EXPECT_EQ(4u, info.depth);
    ASSERT_EQ(0, kxcodec::decodeDDSImage(volumeFile.data(), volumeFile.size(), info, 0, 0, 3, image));
    EXPECT_EQ(8u, rgba(image, 1, 0) >> 24);
    ASSERT_EQ(0, kxcodec::decodeDDSImage(volumeFile.data(), volumeFile.size(), info, 0, 1, 1, image));
    EXPECT_EQ(10u, rgba(image, 0, 0) >> 24);
}
