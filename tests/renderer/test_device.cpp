// The Direct3D device: which back-buffer configuration is chosen, how
// creation falls back when the adapter refuses a configuration, and what
// its observers hear.

#include "KXDXTestSupport.h"

#include "renderer/KXResult.h"
#include "resources/KXDXIbManager.h"
#include "resources/KXDXVbManager.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kxdxtest;

namespace {

KXAdapterFormat format(uint32_t window, uint32_t color, uint32_t multisampling, uint32_t depth)
{
    KXAdapterFormat f;
    f.windowMode = window;
    f.colorFormat = color;
    f.multisampling = multisampling;
    f.depthStencil = depth;
    return f;
}

bool same(const KXAdapterFormat& a, const KXAdapterFormat& b)
{
    return a.windowMode == b.windowMode && a.colorFormat == b.colorFormat && a.multisampling == b.multisampling &&
           a.depthStencil == b.depthStencil;
}

} // namespace

TEST(AdapterFormat, BestFormatPrefersColourThenDepthThenMultisampling)
{
    KXAdapterFormat best = format(9, 9, 9, 9);
    EXPECT_EQ(KXRESULT_FAILED, KXAdapterFormatUtils::getBestFormat({}, 1, best));
    EXPECT_TRUE(same(best, format(9, 9, 9, 9))) << "the output stays untouched";

    // A full tie keeps the earlier record; multisampling decides last.
    ASSERT_EQ(KXRESULT_OK, KXAdapterFormatUtils::getBestFormat({format(1, 1, 3, 3), format(1, 1, 1, 3)}, 1, best));
    EXPECT_TRUE(same(best, format(1, 1, 3, 3)));
    ASSERT_EQ(KXRESULT_OK, KXAdapterFormatUtils::getBestFormat({format(1, 1, 1, 3), format(1, 1, 3, 3)}, 1, best));
    EXPECT_TRUE(same(best, format(1, 1, 3, 3)));
    // Colour wins over everything else.
    ASSERT_EQ(KXRESULT_OK, KXAdapterFormatUtils::getBestFormat({format(1, 0, 3, 3), format(1, 1, 1, 1)}, 1, best));
    EXPECT_TRUE(same(best, format(1, 1, 1, 1)));
    // Depth before multisampling; records of the other window mode are
    // never looked at.
    ASSERT_EQ(KXRESULT_OK, KXAdapterFormatUtils::getBestFormat(
                               {format(0, 1, 3, 3), format(1, 1, 3, 1), format(1, 1, 1, 3)}, 1, best));
    EXPECT_TRUE(same(best, format(1, 1, 1, 3)));
    EXPECT_EQ(KXRESULT_FAILED, KXAdapterFormatUtils::getBestFormat({format(0, 1, 3, 3)}, 1, best));
}

TEST(Device, CapableAdapterListsEveryConfigurationAndCreatesTheBest)
{
    LiveObjectCheck live;
    {
        TestWindow window(64, 48);
        KXDXDevice device;
        const KXDeviceCapabilities caps = device.getCapabilities();
        // Windowed and full screen, 32- and 16-bit, each with both depth
        // formats and multisampling.
        ASSERT_EQ(4u, caps.adapterFormats.size());
        EXPECT_TRUE(same(caps.adapterFormats[0], format(1, 1, 3, 3)));
        EXPECT_TRUE(same(caps.adapterFormats[3], format(0, 0, 3, 3)));
        EXPECT_EQ(1, caps.modulate);

        KXAdapterFormat settings;
        EXPECT_EQ(KXRESULT_FAILED, device.getSettings(settings));
        ASSERT_EQ(KXRESULT_OK, KXAdapterFormatUtils::getBestFormat(caps.adapterFormats, 1, settings));
        ASSERT_EQ(KXRESULT_OK, device.initialize(window.get(), settings));
        // The record names the configuration created: 24-bit depth with
        // stencil, non-maskable multisampling.
        EXPECT_TRUE(same(settings, format(1, 1, 3, 2)));
        KXAdapterFormat stored;
        ASSERT_EQ(KXRESULT_OK, device.getSettings(stored));
        EXPECT_TRUE(same(stored, settings));
        EXPECT_EQ(D3DFMT_D24S8, device.getPresentParameters().AutoDepthStencilFormat);
        EXPECT_EQ(D3DMULTISAMPLE_NONMASKABLE, device.getPresentParameters().MultiSampleType);
        EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, device.getStatus());
        // A second initialize would leak the first device.
        EXPECT_EQ(KXRESULT_FAILED, device.initialize(window.get(), settings));
        EXPECT_EQ(KXRESULT_FAILED, device.initialize(nullptr, settings));
    }
    live.expectBalanced();
}

TEST(Device, CreationFallsBackStepByStepAndSaysSo)
{
    LiveObjectCheck live;
    TestWindow window(64, 48);
    struct Case {
        DWORD removed;
        DWORD devCapsRemoved;
        KXAdapterFormat expected;
        DWORD behavior;
    };
    // Each capability the adapter lacks is met by the matching fallback;
    // the request is always the best a capable adapter offers.
    const Case cases[] = {
        {SWD3D9_NO_D24S8, 0, format(1, 1, 3, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_MULTISAMPLE, 0, format(1, 1, 1, 2), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_D24S8 | SWD3D9_NO_MULTISAMPLE, 0, format(1, 1, 1, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_X8R8G8B8_DISPLAY, 0, format(1, 0, 1, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {0, D3DDEVCAPS_HWTRANSFORMANDLIGHT, format(1, 1, 3, 2), D3DCREATE_SOFTWARE_VERTEXPROCESSING},
    };
    for (const Case& c : cases) {
        CapsOverride override;
        override.removeFormatSupport(c.removed);
        override.caps().DevCaps &= ~c.devCapsRemoved;
        // The device's own list is the one of a capable adapter, so that
        // every fallback is exercised.
        KXAdapterFormat settings = format(1, 1, 3, 3);
        override.apply();
        KXDXDevice device;
        ASSERT_EQ(KXRESULT_OK, device.initialize(window.get(), settings)) << c.removed;
        EXPECT_TRUE(same(settings, c.expected))
            << c.removed << ": " << settings.colorFormat << settings.multisampling << settings.depthStencil;
        KXAdapterFormat stored;
        device.getSettings(stored);
        EXPECT_TRUE(same(stored, c.expected));
        D3DDEVICE_CREATION_PARAMETERS creation;
        ASSERT_EQ(D3D_OK, device.getD3DDevice()->GetCreationParameters(&creation));
        EXPECT_EQ(c.behavior, creation.BehaviorFlags & (D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    }
    live.expectBalanced();
}

TEST(Device, WithoutAnyUsableFormatCreationFails)
{
    CapsOverride override;
    override.removeFormatSupport(SWD3D9_NO_X8R8G8B8_DISPLAY | SWD3D9_NO_R5G6B5_DISPLAY);
    override.apply();
    TestWindow window(64, 48);
    KXDXDevice device;
    EXPECT_TRUE(device.getCapabilities().adapterFormats.empty());
    KXAdapterFormat settings = format(1, 1, 3, 3);
    EXPECT_EQ(KXRESULT_FAILED, KXAdapterFormatUtils::getBestFormat(device.getCapabilities().adapterFormats, 1,
                                                                   settings));
    EXPECT_EQ(KXRESULT_FAILED, device.initialize(window.get(), settings));
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_NODEVICE, device.getStatus());
}

TEST(Device, ObserversHearResetsAndTheRelease)
{
    TestWindow window(64, 48);
    DeviceEvents events;
    {
        KXDXDevice device;
        device.registerObserver(&events);
        // Nothing to reset before the device exists.
        device.reset();
        EXPECT_TRUE(events.types.empty());

        KXAdapterFormat settings = format(1, 1, 1, 2);
        ASSERT_EQ(KXRESULT_OK, device.initialize(window.get(), settings));
        device.setCurrentVertexBuffer(reinterpret_cast<IDirect3DVertexBuffer9*>(&events));
        device.reset();
        EXPECT_EQ((std::vector<int>{0, 1}), events.types);
        // A reset unbinds everything, so the cached binding is gone too.
        EXPECT_EQ(nullptr, device.getCurrentVertexBuffer());

        // The release tells observers before the pools and the device go.
        EXPECT_NE(nullptr, device.getVbManager());
        device.release();
        EXPECT_EQ((std::vector<int>{0, 1, 2}), events.types);
        EXPECT_EQ(nullptr, device.getD3DDevice());
        EXPECT_EQ(nullptr, device.getVbManager());
        EXPECT_EQ(nullptr, device.getIbManager());
        KXAdapterFormat stored;
        EXPECT_EQ(KXRESULT_FAILED, device.getSettings(stored));
        device.unregisterObserver(&events);
    }
    EXPECT_EQ(3u, events.types.size());
}

TEST(Device, LostDeviceIsReportedUntilReset)
{
    TestWindow window(64, 48);
    KXDXDevice device;
    KXAdapterFormat settings = format(1, 1, 1, 2);
    ASSERT_EQ(KXRESULT_OK, device.initialize(window.get(), settings));
    SwD3D9LoseDevice(device.getD3DDevice());
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_LOST, device.getStatus());
    EXPECT_EQ(D3DERR_DEVICELOST, device.getD3DDevice()->Present(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_NOTRESET, device.getStatus());
    device.reset();
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, device.getStatus());
}
