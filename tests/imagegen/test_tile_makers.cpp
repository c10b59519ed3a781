#include "KXImageGenTestSupport.h"

#include "imagegen/KXCPUImageMaker.h"
#include "imagegen/KXGPUImageMaker.h"
#include "imagegen/KXTileImageMaker.h"

#include "canvas/KXCanvas.h"

#include <gtest/gtest.h>

#include <random>

using namespace kximagegentest;

namespace {

// Pixel coordinates (from the top-left corner) of a view-space point
// projected with P onto a target of width × height pixels.
void project(const KXMatrix& p, const float v[4], float width, float height, float& x, float& y)
{
    float clip[4];
    for (int c = 0; c < 4; ++c)
        clip[c] = v[0] * p.get(0, c) + v[1] * p.get(1, c) + v[2] * p.get(2, c) + v[3] * p.get(3, c);
    x = (clip[0] / clip[3] + 1.0f) * 0.5f * width;
    y = (1.0f - clip[1] / clip[3]) * 0.5f * height;
}

KXMatrix offCentre()
{
    // An orthographic projection shifted off the view axis.
    KXMatrix p = KXMatrix::orthographic(4.0f, 3.0f, 0.5f, 50.0f);
    p.set(3, 0, 0.3f);
    p.set(3, 1, -0.2f);
    return p;
}

} // namespace

// A point lands in a tile exactly where the whole picture has it, shifted
// by the tile's corner, for every kind of projection and for partial tiles
// drawn at their own size.
TEST(TileProjection, PutsEveryPointWhereTheWholePictureHasIt)
{
    const unsigned tile = 512, width = 1000, height = 600;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f), depth(-40.0f, -1.0f);
    for (const KXMatrix& projection : {KXMatrix::perspective(0.8f, float(width) / height, 0.1f, 100.0f),
                                       KXMatrix::orthographic(10.0f, 6.0f, 0.1f, 100.0f), offCentre()}) {
        for (int n = 0; n < 200; ++n) {
            const float v[4] = {spread(random), spread(random), depth(random), 1.0f};
            float x = 0, y = 0;
            project(projection, v, float(width), float(height), x, y);
            const unsigned i = std::min(1u, unsigned(std::max(0.0f, x) / tile));
            const unsigned j = std::min(1u, unsigned(std::max(0.0f, y) / tile));
            // The last column is 488 wide, the last row 88 high.
            const KXViewport rect(i * tile, j * tile, i ? width - tile : tile, j ? height - tile : tile);
            float tx = 0, ty = 0;
            project(KXTileImageMaker::tileProjection(projection, width, height, rect), v, float(rect.getWidth()),
                    float(rect.getHeight()), tx, ty);
            EXPECT_NEAR(x - float(i * tile), tx, 2e-3f * tile);
            EXPECT_NEAR(y - float(j * tile), ty, 2e-3f * tile);
        }
    }
    // Whole tiles of the example: column 0 shifts by sx - 1 = 0.953125,
    // column 1 by sx - 3.
    const KXMatrix identity;
    const KXMatrix first = KXTileImageMaker::tileProjection(identity, width, height, KXViewport(0, 0, tile, tile));
    EXPECT_FLOAT_EQ(1.953125f, first.get(0, 0));
    EXPECT_FLOAT_EQ(0.953125f, first.get(3, 0));
    EXPECT_FLOAT_EQ(-0.171875f, first.get(3, 1));
    EXPECT_FLOAT_EQ(-1.046875f,
                    KXTileImageMaker::tileProjection(identity, width, height, KXViewport(tile, 0, tile, tile)).get(3, 0));
}

namespace {

// A GPU maker whose tiles fail after the first `good` ones.
class FailingGPUImageMaker : public KXGPUImageMaker
{
public:
    FailingGPUImageMaker(KXImgGen* generator, unsigned good) : KXGPUImageMaker(generator), m_good(good) {}
    int addTile(unsigned column, unsigned row, const KXViewport& source, const KXViewport& destination,
                KXRenderSurface* tile) override
    {
        if (m_added++ >= m_good)
            return KXRESULT_FAILED;
        return KXGPUImageMaker::addTile(column, row, source, destination, tile);
    }

private:
    unsigned m_good;
    unsigned m_added = 0;
};

class FailingGenerator : public KXImgGen
{
public:
    using KXImgGen::KXImgGen;

protected:
    KXImageMaker* createMaker(KXImageMaker::KXMAKERTYPE type) override
    {
        if (type == KXImageMaker::KXMAKER_GPU)
            return new FailingGPUImageMaker(this, 3);
        return KXImgGen::createMaker(type);
    }
};

std::unique_ptr<KXImgGen> makeFailingGenerator(float width, float height, unsigned tile)
{
    kxdxtest::CapsOverride caps;
    caps.caps().MaxTextureWidth = tile;
    caps.caps().MaxTextureHeight = tile;
    caps.apply();
    auto generator = std::make_unique<FailingGenerator>(KXDimension2D(width, height), 0);
    if (generator->initialize() != KXRESULT_OK)
        return nullptr;
    return generator;
}

} // namespace

// When the device maker fails, the main-memory maker makes the same
// picture, and the failed maker refuses every later one.
TEST(TileMakers, TheMainMemoryMakerStandsInForAFailedOne)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 700, 500));
    auto failing = makeFailingGenerator(700, 500, 128);
    ASSERT_TRUE(failing);
    int result = -1;
    const KXRawImage2D fallback = picture(*failing, scene, 700, 500, &result);
    ASSERT_EQ(KXRESULT_OK, result);
    EXPECT_EQ(failing->getFallbackMaker(), failing->getLastMaker());
    auto* primary = static_cast<KXTileImageMaker*>(failing->getPrimaryMaker());
    EXPECT_EQ(0, primary->isUsable());
    KXCanvas canvas;
    EXPECT_EQ(KXRESULT_FAILED, primary->render(KXPosition2D(0, 0), size(700, 500), &scene, &canvas, nullptr));
    const KXRawImage2D once = singlePass(scene, 700, 500);
    ASSERT_TRUE(once.hasData());
    EXPECT_LT(compare(fallback, once, 8).share, 0.002) << "the fallback's picture is the scene, not black";

    // Into an image held in pieces, in the other byte order.
    KXRawImage2D pieces(0, 0, KXRawImage2D::KXRAWIMAGE2D_BGRA, 64 * 1024);
    ASSERT_EQ(KXRESULT_OK,
              failing->convert(&scene, &pieces, KXPosition2D(0, 0), size(700, 500), nullptr, nullptr));
    EXPECT_TRUE(pieces.isFragmented());
    ASSERT_EQ(0, pieces.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_RGBA));
    EXPECT_EQ(0, compare(pieces, fallback, 0).largest);

    // The main-memory maker's own rules.
    KXCPUImageMaker* cpu = failing->getFallbackMaker();
    KXImage2D encoded;
    EXPECT_EQ(KXRESULT_UNSUPPORTED, cpu->saveToImage(&encoded, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(KXRESULT_FAILED, cpu->saveToFile(L"/tmp/kx_never.dds", KXImage2D::KXIMAGE2D_DDS));
    KXImage2D viaGenerator;
    EXPECT_EQ(KXRESULT_UNSUPPORTED, failing->convert(&scene, &viaGenerator, KXImage2D::KXIMAGE2D_PNG,
                                                     KXPosition2D(0, 0), size(700, 500), nullptr, nullptr));
}

// Cancelling stops between tiles, does not fall back and leaves the maker
// usable.
TEST(TileMakers, CancellingStopsBetweenTiles)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 300, 200));
    auto generator = makeGenerator(300, 200, 0, 128);
    ASSERT_TRUE(generator);
    CountingStatus stopAtThird(2);
    KXRawImage2D raw;
    EXPECT_EQ(KXRESULT_CANCELLED,
              generator->convert(&scene, &raw, KXPosition2D(0, 0), size(300, 200), &stopAtThird, nullptr));
    EXPECT_EQ(generator->getPrimaryMaker(), generator->getLastMaker());
    EXPECT_EQ(2u, stopAtThird.lastDone);
    EXPECT_EQ(6u, stopAtThird.lastTotal) << "3 columns x 2 rows";

    CountingStatus all;
    EXPECT_EQ(KXRESULT_OK, generator->convert(&scene, &raw, KXPosition2D(0, 0), size(300, 200), &all, nullptr));
    EXPECT_EQ(generator->getPrimaryMaker(), generator->getLastMaker());
    EXPECT_EQ(6u, all.lastDone);
    EXPECT_EQ(7u, all.reports) << "0 of 6, then once per tile";
}
