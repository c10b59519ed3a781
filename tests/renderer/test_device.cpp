// The Direct3D device: which back-buffer configuration is chosen, how
// creation falls back when the adapter refuses a configuration, and what
// its observers hear.

#include "KXDXTestSupport.h"

#include "renderer/KXResult.h"

#include <vector>

using namespace kxdxtest;

namespace {

KXAdapterFormat format(uint32_t window, uint32_t color, uint32_t multisampling, uint32_t depth)
{
    return KXAdapterFormat{window, color, multisampling, depth};
}

bool same(const KXAdapterFormat& a, const KXAdapterFormat& b)
{
    return a.windowMode == b.windowMode && a.colorFormat == b.colorFormat && a.multisampling == b.multisampling &&
           a.depthStencil == b.depthStencil;
}

// The best windowed record of the list, or (9, 9, 9, 9) when there is none.
KXAdapterFormat best(const std::vector<KXAdapterFormat>& formats)
{
    KXAdapterFormat chosen = format(9, 9, 9, 9);
    const int result = KXAdapterFormatUtils::getBestFormat(formats, 1, chosen);
    EXPECT_EQ(result == KXRESULT_OK, !same(chosen, format(9, 9, 9, 9))) << "the output is written on success only";
    return chosen;
}

} // namespace

// Colour wins over everything, then depth, then multisampling; a full tie
// keeps the earlier record; records of the other window mode are never
// looked at.
TEST(AdapterFormat, BestFormatPrefersColourThenDepthThenMultisampling)
{
    EXPECT_TRUE(same(best({}), format(9, 9, 9, 9)));
    EXPECT_TRUE(same(best({format(1, 1, 3, 3), format(1, 1, 1, 3)}), format(1, 1, 3, 3)));
    EXPECT_TRUE(same(best({format(1, 1, 1, 3), format(1, 1, 3, 3)}), format(1, 1, 3, 3)));
    EXPECT_TRUE(same(best({format(1, 0, 3, 3), format(1, 1, 1, 1)}), format(1, 1, 1, 1)));
    EXPECT_TRUE(same(best({format(0, 1, 3, 3), format(1, 1, 3, 1), format(1, 1, 1, 3)}), format(1, 1, 1, 3)));
    EXPECT_TRUE(same(best({format(0, 1, 3, 3)}), format(9, 9, 9, 9)));
}

// A capable adapter lists windowed and full screen, 32- and 16-bit, each
// with both depth formats and multisampling; the best of them is created
// with 24-bit depth and stencil and non-maskable multisampling. Each
// capability the adapter lacks is met by the matching fallback from that
// same request. The settings and the record say what was created; there is
// no record before, and a second initialize would leak the first device.
// Without any usable display format there is nothing to create.
TEST(Device, CreationFallsBackStepByStepAndSaysSo)
{
    LiveObjectCheck live;
    TestWindow window(64, 48);
    KXDeviceCapabilities capable;
    {
        const Made<KXDevice> probe = createDevice();
        ASSERT_TRUE(probe);
        capable = probe->getCapabilities();
    }
    ASSERT_EQ(4u, capable.adapterFormats.size());
    EXPECT_TRUE(same(capable.adapterFormats[0], format(1, 1, 3, 3)));
    EXPECT_TRUE(same(capable.adapterFormats[3], format(0, 0, 3, 3)));
    const struct {
        DWORD removed, devCapsRemoved;
        KXAdapterFormat expected;
        DWORD behavior;
    } cases[] = {
        {0, 0, format(1, 1, 3, 2), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_D24S8, 0, format(1, 1, 3, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_MULTISAMPLE, 0, format(1, 1, 1, 2), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_D24S8 | SWD3D9_NO_MULTISAMPLE, 0, format(1, 1, 1, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {SWD3D9_NO_X8R8G8B8_DISPLAY, 0, format(1, 0, 1, 1), D3DCREATE_HARDWARE_VERTEXPROCESSING},
        {0, D3DDEVCAPS_HWTRANSFORMANDLIGHT, format(1, 1, 3, 2), D3DCREATE_SOFTWARE_VERTEXPROCESSING},
        {SWD3D9_NO_X8R8G8B8_DISPLAY | SWD3D9_NO_R5G6B5_DISPLAY, 0, format(1, 1, 3, 3), 0}, // nothing to create
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "removed " << c.removed << ", device caps " << c.devCapsRemoved);
        CapsOverride override;
        override.removeFormatSupport(c.removed);
        override.caps().DevCaps &= ~c.devCapsRemoved;
        override.apply();
        Made<KXDXDevice> device = createDevice<KXDXDevice>();
        ASSERT_TRUE(device);
        KXAdapterFormat settings = format(1, 1, 3, 3), stored;
        EXPECT_EQ(KXRESULT_FAILED, device->getSettings(stored));
        if (!c.behavior) {
            EXPECT_TRUE(device->getCapabilities().adapterFormats.empty());
            EXPECT_EQ(KXRESULT_FAILED, device->initialize(window.get(), settings));
            EXPECT_EQ(KXDevice::KXDEVICESTATUS_NODEVICE, device->getStatus());
            continue;
        }
        ASSERT_EQ(KXRESULT_OK, device->initialize(window.get(), settings));
        EXPECT_TRUE(same(settings, c.expected));
        device->getSettings(stored);
        EXPECT_TRUE(same(stored, c.expected));
        D3DDEVICE_CREATION_PARAMETERS creation;
        ASSERT_EQ(D3D_OK, device->getD3DDevice()->GetCreationParameters(&creation));
        EXPECT_EQ(c.behavior, creation.BehaviorFlags & (D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING));
        if (c.removed == 0 && c.devCapsRemoved == 0) {
            EXPECT_EQ(D3DFMT_D24S8, device->getPresentParameters().AutoDepthStencilFormat);
            EXPECT_EQ(D3DMULTISAMPLE_NONMASKABLE, device->getPresentParameters().MultiSampleType);
            EXPECT_EQ(KXRESULT_FAILED, device->initialize(window.get(), settings));
        }
    }
    live.expectBalanced();
}

// Nothing to reset before the device exists. A reset tells observers
// before and after, and unbinds everything, the cached binding too; the
// release tells them before the pools and the device go.
TEST(Device, ObserversHearResetsAndTheRelease)
{
    TestWindow window(64, 48);
    DeviceEvents events;
    Made<KXDXDevice> device = createDevice<KXDXDevice>();
    ASSERT_TRUE(device);
    device->registerObserver(&events);
    device->reset();
    EXPECT_TRUE(events.types.empty());

    ASSERT_TRUE(initializeBest(*device, window.get()));
    device->setCurrentVertexBuffer(reinterpret_cast<IDirect3DVertexBuffer9*>(&events));
    device->reset();
    EXPECT_EQ((std::vector<int>{0, 1}), events.types);
    EXPECT_EQ(nullptr, device->getCurrentVertexBuffer());
    EXPECT_NE(nullptr, device->getVbManager());
    device->release();
    EXPECT_EQ((std::vector<int>{0, 1, 2}), events.types);
    EXPECT_EQ(nullptr, device->getD3DDevice());
    EXPECT_EQ(nullptr, device->getVbManager());
    device->unregisterObserver(&events);
}
