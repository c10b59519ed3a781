// The edge mask: Sobel marking of first-pass edges, and bits set from many
// threads at once.

#include "RTTestScenes.h"

#include "raytracer/RTEdgeMask.h"

#include <gtest/gtest.h>

using namespace rttest;

TEST(EdgeMask, MarksBothSidesOfAStepButNeverTheBorder)
{
    KXRawImage2D image = makeImage(16, 10);
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 16; ++x)
            image.setColor(x, y, x >= 8 ? KXColor(1, 1, 1, 1) : KXColor(0, 0, 0, 1));
    RTEdgeMask mask(16, 10);
    mask.detectEdges(image, 4);
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 16; ++x) {
            const bool edge = (x == 7 || x == 8) && y >= 1 && y <= 8;
            EXPECT_EQ(mask.test(x, y), edge) << x << ", " << y;
        }
    EXPECT_EQ(mask.count(), 16u);

    // A soft ramp (steps of 0.05 in intensity) stays below the threshold.
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 16; ++x)
            image.setColor(x, y, KXColor(0.05f * x, 0.05f * x, 0.05f * x, 1));
    RTEdgeMask soft(16, 10);
    soft.detectEdges(image, 4);
    EXPECT_EQ(soft.count(), 0u);

    // Images of two pixels or less across have no inner pixels.
    RTEdgeMask thin(2, 10);
    thin.detectEdges(image, 4);
    EXPECT_EQ(thin.count(), 0u);
}

TEST(EdgeMask, BitsSetConcurrentlyInSharedWordsAreAllKept)
{
    // Three pixels per row: every 64-bit word spans more than twenty rows.
    const unsigned width = 3, height = 2000;
    RTEdgeMask mask(width, height);
#pragma omp parallel for num_threads(8) schedule(dynamic, 1)
    for (int y = 0; y < static_cast<int>(height); ++y)
        for (unsigned x = 0; x < width; ++x)
            mask.set(x, static_cast<unsigned>(y));
    EXPECT_EQ(mask.count(), size_t(width) * height);
}
