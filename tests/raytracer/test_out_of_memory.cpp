// Traces while memory runs out, on the calling thread or a worker: each
// allocation of a trace failed in turn, the trace returns -1 exactly when
// one failed, throws nothing, leaves the tracer idle, and the next trace
// with memory enough draws the same picture as one that never ran short.
// The replaced allocation functions still let AddressSanitizer see every
// block.

#include "../renderer/KXAllocationFailures.h"

#include "RTTestScenes.h"

#include "raytracer/KXRayTracer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

using namespace rttest;
using kxalloc::CountingAllocations;
using kxalloc::FailingAllocations;
using kxalloc::Threads;

namespace {

constexpr unsigned SIZE = 24;

// A box standing on a floor, a glass pane in front of it, a light that
// casts shadows, a gradient behind: every stage of a trace has work. (Few
// triangles: each allocation of the trace is failed in turn.)
void buildScene(KXScene& scene)
{
    KXRoot* root = makeScene(scene, KXPosition(0, -6, 4), KXPosition(0, 0, 0.5f), SIZE, SIZE);
    auto gradient = KXMake<KXGradientBackground>();
    gradient->setColors(KXColor(0.9f, 0.9f, 1.0f, 1.0f), KXColor(0.2f, 0.3f, 0.7f, 1.0f));
    root->setBackground(gradient.get());
    auto lights = KXMake<KXLightModel>();
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(0.4f, 0.3f, -1.0f));
    sun->setColor(KXColor(1, 1, 1, 1));
    lights->addLight(sun.get());
    lights->setFixed(true);
    root->setLightModel(lights.get());
    auto floor = makeQuad(0.0f, 3.0f);
    addShape(root, floor.get(), makeLook(KXColor(0.7f, 0.7f, 0.6f, 1)).get());
    auto box = makeBox(KXPosition(0, 0, 1), 1.5f);
    addShape(root, box.get(), makeLook(KXColor(0.8f, 0.2f, 0.2f, 1), KXColor(1, 1, 1, 1), 32.0f).get());
    auto pane = makeQuad(0.0f, 0.8f);
    addShape(root, pane.get(), makeLook(KXColor(0.2f, 0.8f, 0.3f, 0.4f)).get(),
             KXMatrix::rotationAxis(KXVector(1, 0, 0), 1.2f) * KXMatrix::translation(0.5f, -2.0f, 1.0f));
}

bool samePixels(const KXRawImage2D& a, const KXRawImage2D& b)
{
    for (unsigned y = 0; y < a.getHeight(); ++y)
        if (std::memcmp(a.getRow(y), b.getRow(y), a.getRowSize()) != 0)
            return false;
    return true;
}

TEST(RayTracerOutOfMemory, ATraceThatRanShortFailsAndTheNextIsWhole)
{
    KXScene scene;
    buildScene(scene);
    KXRayTracer tracer;
    tracer.enableReflections(true);
    KXRawImage2D reference = makeImage(SIZE, SIZE);
    long allocations = 0;
    {
        CountingAllocations counting(Threads::Every);
        ASSERT_EQ(tracer.trace(&scene, reference), 0);
        allocations = counting.seen();
    }
    ASSERT_GT(allocations, 0);

    KXRawImage2D image = makeImage(SIZE, SIZE);
    for (long failures : {-1L, 1L}) {
        for (long k = 0; k < allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k << " of " << allocations
                                            << (failures == 1 ? " alone" : " on"));
            int result = 0;
            long refused = 0;
            bool threw = false;
            {
                FailingAllocations failing(k, failures, Threads::Every);
                try {
                    result = tracer.trace(&scene, image);
                } catch (...) {
                    threw = true;
                }
                failing.disarm();
                refused = failing.refused();
            }
            EXPECT_FALSE(threw);
            if (refused > 0) {
                EXPECT_EQ(result, -1) << "a trace that ran short reported success";
            } else {
                EXPECT_TRUE(result == 0 && samePixels(image, reference));
            }
            EXPECT_EQ(KXRayTracer::hasStopped(), 1);
            EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
            ASSERT_EQ(tracer.trace(&scene, image), 0);
            EXPECT_TRUE(samePixels(image, reference)) << "the trace after the failure is not whole";
            if (HasFailure())
                return;
        }
    }
}

// A tracer made without memory for its texture cache is made all the same;
// its first trace makes the cache and draws the whole picture.
TEST(RayTracerOutOfMemory, ATracerMadeShortTracesWholePicturesOnceMemoryIsBack)
{
    KXScene scene;
    buildScene(scene);
    KXRawImage2D reference = makeImage(SIZE, SIZE);
    {
        KXRayTracer tracer;
        tracer.enableReflections(true);
        ASSERT_EQ(tracer.trace(&scene, reference), 0);
    }
    std::optional<KXRayTracer> tracer;
    bool threw = false;
    {
        FailingAllocations failing(0);
        try {
            tracer.emplace();
        } catch (...) {
            threw = true;
        }
        failing.disarm();
        ASSERT_GT(failing.refused(), 0);
    }
    ASSERT_FALSE(threw);
    tracer->enableReflections(true);
    KXRawImage2D image = makeImage(SIZE, SIZE);
    {
        FailingAllocations failing(0);
        EXPECT_EQ(tracer->trace(&scene, image), -1);
    }
    ASSERT_EQ(tracer->trace(&scene, image), 0);
    EXPECT_TRUE(samePixels(image, reference));
}

#if defined(__SANITIZE_ADDRESS__)
// The allocation functions of these tests take their memory from malloc:
// AddressSanitizer must still catch a write past a block they handed out.
TEST(AllocationFailuresDeathTest, AddressSanitizerStillGuardsTheirBlocks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            // Through a volatile pointer, so that the write is left to
            // AddressSanitizer rather than caught by UBSan's object-size
            // check, which sees the block's size where new is inlined.
            char* volatile block = new char[16];
            block[16] = 1;
            delete[] block;
        },
        "heap-buffer-overflow");
}
#endif

} // namespace
