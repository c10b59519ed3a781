// Replaces the program's operator new: the only file of this test program
// that may include it.
#include "KXAllocationFailures.h"

#include "KXImageGenTestSupport.h"

#include <gtest/gtest.h>

using namespace kximagegentest;

namespace {

// Makes a generator and converts a tiled picture (on the device, then in
// main memory when that fails); the result of the first step that failed.
int makePicture(const KXScene& scene, unsigned tile, KXRawImage2D& raw)
{
    kxdxtest::CapsOverride caps;
    caps.caps().MaxTextureWidth = tile;
    caps.caps().MaxTextureHeight = tile;
    caps.apply();
    KXImgGen generator(size(300, 200), 0);
    const int initialized = generator.initialize();
    if (initialized != KXRESULT_OK)
        return initialized;
    return generator.convert(&scene, &raw, KXPosition2D(0, 0), size(300, 200), nullptr, nullptr);
}

} // namespace

// Wherever memory runs out, making a generator and a picture fails with a
// result (or succeeds), never crashes, and leaves no Direct3D object behind.
TEST(ImageGeneratorOutOfMemory, EveryFailedAllocationEndsCleanly)
{
    KXScene scene;
    ASSERT_EQ(0, KXShowcaseScene::build(scene, 300, 200));
    const kxdxtest::LiveObjectCheck live;
    long allocations = 0;
    {
        KXRawImage2D raw;
        kxalloc::CountingAllocations counting;
        ASSERT_EQ(KXRESULT_OK, makePicture(scene, 128, raw));
        allocations = counting.seen();
    }
    ASSERT_GT(allocations, 0);
    // Every allocation up to the first picture, then a sample of the rest.
    const long step = allocations > 400 ? allocations / 200 : 1;
    for (long k = 0; k < allocations; k += (k < 200 ? 1 : step)) {
        SCOPED_TRACE(testing::Message() << "allocation " << k << " of " << allocations);
        KXRawImage2D raw;
        int result = KXRESULT_OK;
        {
            kxalloc::FailingAllocations failing(k);
            result = makePicture(scene, 128, raw);
        }
        EXPECT_TRUE(result == KXRESULT_OK || result == KXRESULT_FAILED) << result;
        if (result == KXRESULT_OK) {
            EXPECT_EQ(300u, raw.getWidth());
            EXPECT_EQ(200u, raw.getHeight());
        }
    }
    live.expectBalanced();
}
