// A program linking the renderer and the software device must hold one copy
// of each: the capabilities it overrides, the windows it creates and the
// objects it counts are the ones the renderer's Direct3D calls see.

#ifdef KX_HAVE_SOFTWARE_DEVICE

#include "KXDXTestSupport.h"

#include <gtest/gtest.h>

using namespace kxdxtest;

TEST(SharedLibraries, RendererSeesTheProgramsDeviceState)
{
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    {
        CapsOverride override;
        override.caps().MaxTextureWidth = 1234;
        override.caps().MaxTextureHeight = 567;
        override.apply();

        TestWindow window(64, 48);
        ASSERT_NE(window.get(), nullptr);
        KXDXDevice device;
        ASSERT_NE(device.getD3DCaps(), nullptr);
        EXPECT_EQ(device.getD3DCaps()->MaxTextureWidth, 1234u);
        EXPECT_EQ(device.getD3DCaps()->MaxTextureHeight, 567u);

        // The window made here is one the renderer's device can draw on.
        ASSERT_TRUE(initializeBest(device, window.get()));
        EXPECT_EQ(device.getStatus(), KXDevice::KXDEVICESTATUS_USABLE);
        EXPECT_GT(SwD3D9GetLiveObjectCount(), liveBefore);
    }
    EXPECT_EQ(SwD3D9GetLiveObjectCount(), liveBefore);
}

#endif
