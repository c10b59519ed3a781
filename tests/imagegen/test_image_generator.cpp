#include "KXImageGenTestSupport.h"

#include "imagegen/KXCPUImageMaker.h"
#include "imagegen/KXImageMaker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kximagegentest;

namespace {

int makerOf(const std::unique_ptr<KXImgGen>& generator)
{
    return generator && generator->getPrimaryMaker() ? generator->getPrimaryMaker()->getMakerType() : -1;
}

} // namespace

TEST(ImageGenerator, ChoosesTheMakerFromTheLargestPictureAndTheTile)
{
    // No anti-aliasing: one pass when the picture fits a tile, else tiles.
    EXPECT_EQ(KXImageMaker::KXMAKER_GPU, makerOf(makeGenerator(600, 400, 0, 512)));
    EXPECT_EQ(KXImageMaker::KXMAKER_SIMPLE, makerOf(makeGenerator(400, 300, 0, 512)));
    {
        auto exact = makeGenerator(512, 512, 0, 512);
        ASSERT_TRUE(exact);
        EXPECT_EQ(512u, exact->getMaxTileSize());
        EXPECT_EQ(KXImageMaker::KXMAKER_SIMPLE, makerOf(exact));
        EXPECT_EQ(0, exact->getFlags() & KXImgGen::KXIMGGEN_MULTISAMPLING) << "no multisampling without anti-aliasing";
    }
    // Anti-aliasing without multisampling: twice the size, on the device
    // while (2w x 2h) / T^2 stays within 40 tiles, else in main memory.
    auto doubled = makeGenerator(200, 200, 1, 512, false);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(KXImageMaker::KXMAKER_SIMPLE, makerOf(doubled));
    EXPECT_EQ(1, doubled->getSupersample());
    EXPECT_EQ(KXImageMaker::KXMAKER_GPU, makerOf(makeGenerator(600, 400, 1, 512, false)));
    auto large = makeGenerator(3000, 3000, 1, 512, false);
    ASSERT_TRUE(large);
    EXPECT_EQ(KXImageMaker::KXMAKER_CPU, makerOf(large));
    EXPECT_EQ(0, large->getSupersample());
    EXPECT_EQ(2u, static_cast<KXCPUImageMaker*>(large->getPrimaryMaker())->getDownsampling())
        << "anti-aliasing is kept by averaging doubled tiles";
    // 2w x 2h = 2^32 wraps to 0 in 32 bits; the choice must still be the
    // main-memory maker.
    EXPECT_EQ(KXImageMaker::KXMAKER_CPU, makerOf(makeGenerator(32768, 32768, 1, 512, false)));
    // The largest pictures are assembled in main memory, anti-aliased or not.
    EXPECT_EQ(KXImageMaker::KXMAKER_GPU, makerOf(makeGenerator(8192, 8192, 0, 512)));
    EXPECT_EQ(KXImageMaker::KXMAKER_CPU, makerOf(makeGenerator(16000, 12000, 0, 512)));
    // With multisampling the device anti-aliases by itself.
    auto multisampled = makeGenerator(600, 400, 1, 512, true);
    ASSERT_TRUE(multisampled);
    EXPECT_NE(0, multisampled->getFlags() & KXImgGen::KXIMGGEN_MULTISAMPLING);
    EXPECT_EQ(0, multisampled->getSupersample());
    EXPECT_EQ(KXImageMaker::KXMAKER_GPU, makerOf(multisampled));
}

TEST(ImageGenerator, RefusesWhatItCannotDo)
{
    KXScene scene;
    KXShowcaseScene::build(scene, 64, 48);
    KXRawImage2D raw;
    {
        KXImgGen uninitialised(size(100, 100), 0);
        EXPECT_EQ(KXRESULT_NULLARGUMENT,
                  uninitialised.convert(&scene, &raw, KXPosition2D(0, 0), size(10, 10), nullptr, nullptr));
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(makeGenerator(nan, 100, 0)) << "a maximum size that is not a number";
    EXPECT_FALSE(makeGenerator(-5, 100, 0));

    auto generator = makeGenerator(256, 256, 0);
    ASSERT_TRUE(generator);
    EXPECT_EQ(KXRESULT_FAILED, generator->initialize()) << "a second initialize";
    const KXPosition2D origin(0, 0);
    for (const KXDimension2D& bad : {size(0, 10), KXDimension2D(-3, 10), KXDimension2D(nan, 10),
                                     KXDimension2D(std::numeric_limits<float>::infinity(), 10),
                                     size(65536, 32769)})
        EXPECT_EQ(KXRESULT_NULLARGUMENT, generator->convert(&scene, &raw, origin, bad, nullptr, nullptr))
            << bad.getWidth() << " x " << bad.getHeight();
    EXPECT_EQ(KXRESULT_NULLARGUMENT,
              generator->convert(&scene, &raw, KXPosition2D(-1, 0), size(10, 10), nullptr, nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, generator->convert(nullptr, &raw, origin, size(10, 10), nullptr, nullptr));
    EXPECT_EQ(KXRESULT_NULLARGUMENT,
              generator->convert(&scene, static_cast<KXRawImage2D*>(nullptr), origin, size(10, 10), nullptr, nullptr));
    EXPECT_FALSE(raw.hasData());
}
