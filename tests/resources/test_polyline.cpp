// The device-side polyline: which pixels its segments light for each type
// and vertex layout, what it binds, and how it outlives its device.

#include "resources/KXDXPolylineImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXPolyline.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace kxdxtest;

namespace {

const int WINDOW_SIZE = 64;

// Whether any pixel of the 3 x 3 block around (x, y) is not black: lines on
// pixel centres may be drawn on either neighbouring row or column.
bool litNear(const PresentedImage& image, int x, int y)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((image.at(static_cast<unsigned>(x + dx), static_cast<unsigned>(y + dy)) & 0xFFFFFF) != 0)
                return true;
    return false;
}

// The brightest pixel of the 3 x 3 block around (x, y).
uint32_t colorNear(const PresentedImage& image, int x, int y)
{
    uint32_t best = 0;
    int bestSum = -1;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const uint32_t c = image.at(static_cast<unsigned>(x + dx), static_cast<unsigned>(y + dy));
            const int sum = red(c) + green(c) + blue(c);
            if (sum > bestSum) {
                bestSum = sum;
                best = c;
            }
        }
    }
    return best;
}

// What stream 0 holds after a draw.
struct StreamBinding {
    IDirect3DVertexBuffer9* buffer = nullptr;
    UINT stride = 0;
    UINT size = 0;
    DWORD fvf = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
};

class PolylineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device = makeDevice(window.get());
        ASSERT_TRUE(device);
    }

    void TearDown() override
    {
        device.reset();
        live.expectBalanced();
    }

    IDirect3DDevice9* d3d() const { return device->getD3DDevice(); }

    // Clears to black, draws with lighting, depth and culling off, the
    // vertex colour (white without one) as the pixel colour and identity
    // transforms, presents, and returns what the window shows.
    PresentedImage render(const std::function<void()>& draw)
    {
        IDirect3DDevice9* d = d3d();
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        d->BeginScene();
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        d->SetTransform(D3DTS_WORLD, &identity);
        d->SetTransform(D3DTS_VIEW, &identity);
        d->SetTransform(D3DTS_PROJECTION, &identity);
        draw();
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        PresentedImage image = presentedImage(window.get());
        EXPECT_EQ(static_cast<unsigned>(WINDOW_SIZE), image.width);
        EXPECT_EQ(static_cast<unsigned>(WINDOW_SIZE), image.height);
        return image;
    }

    StreamBinding streamBinding() const
    {
        StreamBinding binding;
        UINT offset = 0;
        d3d()->GetStreamSource(0, &binding.buffer, &offset, &binding.stride);
        d3d()->GetFVF(&binding.fvf);
        if (binding.buffer) {
            D3DVERTEXBUFFER_DESC desc{};
            binding.buffer->GetDesc(&desc);
            binding.size = desc.Size;
            binding.pool = desc.Pool;
            // Only compared: the polyline keeps its own reference.
            binding.buffer->Release();
        }
        return binding;
    }

    LiveObjectCheck live;
    TestWindow window{WINDOW_SIZE, WINDOW_SIZE};
    std::unique_ptr<KXDXDevice> device;
};

TEST_F(PolylineTest, SegmentsTakePositionsInPairsAndLeaveAnOddLastOneUndrawn)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS,
                 {{8, 10, 0.5f}, {56, 10, 0.5f}, {8, 30, 0.5f}, {56, 30, 0.5f}, {8, 50, 0.5f}});
    KXDXPolylineImpl impl(device.get(), &polyline);
    EXPECT_EQ(device.get(), impl.getDevice());

    StreamBinding binding;
    const PresentedImage image = render([&] {
        impl.draw();
        binding = streamBinding();
    });
    EXPECT_TRUE(litNear(image, 32, 10));
    EXPECT_TRUE(litNear(image, 32, 30));
    EXPECT_EQ(0xFFFFFFFFu, colorNear(image, 32, 10));
    // A strip would join the pairs and run on to the fifth position.
    EXPECT_FALSE(litNear(image, 32, 20));
    EXPECT_FALSE(litNear(image, 32, 40));
    EXPECT_FALSE(litNear(image, 8, 50));

    // Five pre-transformed vertices of x, y, z, rhw in a managed buffer,
    // recorded as the device's stream-0 buffer.
    ASSERT_NE(nullptr, binding.buffer);
    EXPECT_EQ(binding.buffer, device->getCurrentVertexBuffer());
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZRHW), binding.fvf);
    EXPECT_EQ(16u, binding.stride);
    EXPECT_EQ(5u * 16u, binding.size);
    EXPECT_EQ(D3DPOOL_MANAGED, binding.pool);
}

TEST_F(PolylineTest, OpenChainJoinsNeighboursButNotTheEnds)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{8, 8, 0.5f}, {56, 8, 0.5f}, {56, 56, 0.5f}});
    KXDXPolylineImpl impl(device.get(), &polyline);

    const PresentedImage image = render([&] { impl.draw(); });
    EXPECT_TRUE(litNear(image, 32, 8));
    EXPECT_TRUE(litNear(image, 56, 32));
    EXPECT_FALSE(litNear(image, 32, 32));
    EXPECT_FALSE(litNear(image, 12, 52));
}

TEST_F(PolylineTest, ClosedChainReturnsToTheFirstPositionWithItsColour)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_CLOSED, {{8, 8, 0.5f}, {56, 8, 0.5f}, {56, 56, 0.5f}, {8, 56, 0.5f}},
                 {KXColor(1, 0, 0), KXColor(0, 1, 0), KXColor(1, 1, 1), KXColor(0, 0, 1)});
    KXDXPolylineImpl impl(device.get(), &polyline);

    StreamBinding binding;
    const PresentedImage image = render([&] {
        impl.draw();
        binding = streamBinding();
    });
    EXPECT_TRUE(litNear(image, 32, 8));
    EXPECT_TRUE(litNear(image, 56, 32));
    EXPECT_TRUE(litNear(image, 32, 56));
    // The closing side runs from the blue last vertex back to a red copy of
    // the first.
    ASSERT_TRUE(litNear(image, 8, 32));
    const uint32_t nearFirst = colorNear(image, 8, 12);
    const uint32_t nearLast = colorNear(image, 8, 52);
    EXPECT_GT(red(nearFirst), 180);
    EXPECT_LT(blue(nearFirst), 80);
    EXPECT_GT(blue(nearLast), 180);
    EXPECT_LT(red(nearLast), 80);
    EXPECT_EQ(0, green(nearFirst));

    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), binding.fvf);
    EXPECT_EQ(20u, binding.stride);
    EXPECT_EQ(5u * 20u, binding.size);
}

TEST_F(PolylineTest, TransformedPositionsGoThroughTheTransformsWithAndWithoutColours)
{
    // Clip-space positions under identity transforms: y = 0.5 is row 16,
    // y = -0.5 row 48, x from -0.75 to 0.75 columns 8 to 56.
    KXPolyline colored;
    colored.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, {{-0.75f, 0.5f, 0.5f}, {0.75f, 0.5f, 0.5f}},
                {KXColor(0, 1, 0), KXColor(0, 1, 0)});
    KXPolyline plain;
    plain.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{-0.75f, -0.5f, 0.5f}, {0.75f, -0.5f, 0.5f}});
    KXDXPolylineImpl coloredImpl(device.get(), &colored);
    KXDXPolylineImpl plainImpl(device.get(), &plain);

    StreamBinding coloredBinding, plainBinding;
    const PresentedImage image = render([&] {
        coloredImpl.draw();
        coloredBinding = streamBinding();
        plainImpl.draw();
        plainBinding = streamBinding();
    });
    EXPECT_EQ(0xFF00FF00u, colorNear(image, 32, 16));
    EXPECT_EQ(0xFFFFFFFFu, colorNear(image, 32, 48));
    EXPECT_FALSE(litNear(image, 32, 32));
    EXPECT_FALSE(litNear(image, 3, 16));

    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE), coloredBinding.fvf);
    EXPECT_EQ(16u, coloredBinding.stride);
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ), plainBinding.fvf);
    EXPECT_EQ(12u, plainBinding.stride);
    EXPECT_EQ(2u * 12u, plainBinding.size);
    EXPECT_EQ(plainBinding.buffer, device->getCurrentVertexBuffer());
}

TEST_F(PolylineTest, ColoursOfAnotherCountThanThePositionsAreIgnored)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{8, 20, 0.5f}, {56, 20, 0.5f}, {56, 40, 0.5f}},
                 {KXColor(1, 0, 0), KXColor(1, 0, 0)});
    KXDXPolylineImpl impl(device.get(), &polyline);

    StreamBinding binding;
    const PresentedImage image = render([&] {
        impl.draw();
        binding = streamBinding();
    });
    EXPECT_EQ(0xFFFFFFFFu, colorNear(image, 32, 20));
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZRHW), binding.fvf);
    EXPECT_EQ(16u, binding.stride);
}

TEST_F(PolylineTest, PolylinesWithoutSegmentsDrawNothingAndBindNothing)
{
    KXPolyline empty;
    KXPolyline lonePoint;
    lonePoint.setPreTransformed(true);
    lonePoint.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{32, 32, 0.5f}});
    KXDXPolylineImpl emptyImpl(device.get(), &empty);
    KXDXPolylineImpl lonePointImpl(device.get(), &lonePoint);
    KXDXPolylineImpl nullImpl(device.get(), nullptr);

    StreamBinding binding;
    const PresentedImage image = render([&] {
        emptyImpl.draw();
        lonePointImpl.draw();
        nullImpl.draw();
        binding = streamBinding();
    });
    EXPECT_EQ(nullptr, binding.buffer);
    EXPECT_EQ(nullptr, device->getCurrentVertexBuffer());
    EXPECT_FALSE(litNear(image, 32, 32));
}

TEST_F(PolylineTest, ReleasedDeviceTakesTheBufferAndLeavesTheImplementationInert)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_CLOSED, {{8, 8, 0.5f}, {56, 8, 0.5f}, {32, 56, 0.5f}});
    auto kept = std::make_unique<KXDXPolylineImpl>(device.get(), &polyline);
    // Stored in the slot, it goes with the polyline after the device.
    auto owned = std::make_unique<KXPolyline>();
    owned->set(KXPolyline::KXPOLYLINETYPE_OPEN, {{0, 0, 0}, {1, 0, 0}});
    owned->setImplementation(new KXDXPolylineImpl(device.get(), owned.get()));

    device->release();
    EXPECT_EQ(nullptr, kept->getDevice());
    kept->draw();
    device.reset();
    kept->draw();
    kept.reset();
    owned.reset();
    // TearDown checks that every Direct3D object is gone.
}

} // namespace
