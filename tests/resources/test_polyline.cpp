// The device-side polyline: which pixels its segments light for each type,
// pre-transformed and transformed, with and without colours, and how it
// outlives its device.

#include "resources/KXDXPolylineImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXPolyline.h"

#include <d3d9.h>

#include <gtest/gtest.h>

#include <memory>

using namespace kxdxtest;

namespace {

// The brightest pixel of the 3 x 3 block around (x, y), black when none is
// lit: lines on pixel centres may be drawn on either neighbouring row or
// column.
uint32_t colorNear(const PresentedImage& image, int x, int y)
{
    uint32_t best = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const uint32_t c = image.at(static_cast<unsigned>(x + dx), static_cast<unsigned>(y + dy)) & 0xFFFFFF;
            if (red(c) + green(c) + blue(c) > red(best) + green(best) + blue(best))
                best = c;
        }
    }
    return best;
}

bool litNear(const PresentedImage& image, int x, int y)
{
    return colorNear(image, x, y) != 0;
}

class PolylineTest : public DeviceTest
{
protected:
    // Draws the polylines on black with lighting, depth and culling off, the
    // vertex colour (white without one) as the pixel colour and identity
    // transforms, and returns what the window shows.
    PresentedImage render(std::initializer_list<KXPolyline*> polylines)
    {
        IDirect3DDevice9* d = device->getD3DDevice();
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        d->BeginScene();
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
            d->SetTransform(t, &identity);
        for (KXPolyline* polyline : polylines) {
            KXDXPolylineImpl impl(device.get(), polyline);
            impl.draw();
        }
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        return presentedImage(window.get());
    }
};

// Segments take the positions in pairs (a strip would join the pairs) and
// leave an odd last one undrawn; an open chain joins neighbours, not its
// ends; a chain of one point draws nothing.
TEST_F(PolylineTest, SegmentsAndOpenChainsLightTheirPixels)
{
    KXPolyline segments, open, lonePoint;
    for (KXPolyline* polyline : {&segments, &open, &lonePoint})
        polyline->setPreTransformed(true);
    segments.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS,
                 {{8, 10, 0.5f}, {56, 10, 0.5f}, {8, 30, 0.5f}, {56, 30, 0.5f}, {8, 50, 0.5f}});
    lonePoint.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{32, 50, 0.5f}});
    PresentedImage image = render({&segments, &lonePoint});
    EXPECT_EQ(0xFFFFFFu, colorNear(image, 32, 10));
    EXPECT_TRUE(litNear(image, 32, 30));
    EXPECT_FALSE(litNear(image, 32, 20));
    EXPECT_FALSE(litNear(image, 32, 40));
    EXPECT_FALSE(litNear(image, 8, 50));
    EXPECT_FALSE(litNear(image, 32, 50));

    open.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{8, 8, 0.5f}, {56, 8, 0.5f}, {56, 56, 0.5f}});
    image = render({&open});
    EXPECT_TRUE(litNear(image, 32, 8));
    EXPECT_TRUE(litNear(image, 56, 32));
    EXPECT_FALSE(litNear(image, 32, 32));
}

// The closing side runs from the blue last vertex back to a red copy of the
// first.
TEST_F(PolylineTest, ClosedChainReturnsToTheFirstPositionWithItsColour)
{
    KXPolyline polyline;
    polyline.setPreTransformed(true);
    polyline.set(KXPolyline::KXPOLYLINETYPE_CLOSED, {{8, 8, 0.5f}, {56, 8, 0.5f}, {56, 56, 0.5f}, {8, 56, 0.5f}},
                 {KXColor(1, 0, 0), KXColor(0, 1, 0), KXColor(1, 1, 1), KXColor(0, 0, 1)});
    const PresentedImage image = render({&polyline});
    EXPECT_TRUE(litNear(image, 32, 8));
    EXPECT_TRUE(litNear(image, 56, 32));
    EXPECT_TRUE(litNear(image, 32, 56));
    ASSERT_TRUE(litNear(image, 8, 32));
    const uint32_t nearFirst = colorNear(image, 8, 12), nearLast = colorNear(image, 8, 52);
    EXPECT_GT(red(nearFirst), 180);
    EXPECT_LT(blue(nearFirst), 80);
    EXPECT_EQ(0, green(nearFirst));
    EXPECT_GT(blue(nearLast), 180);
    EXPECT_LT(red(nearLast), 80);
}

// Clip-space positions under identity transforms: y = 0.5 is row 16,
// y = -0.5 row 48, x from -0.75 to 0.75 columns 8 to 56. Colours of
// another count than the positions are ignored.
TEST_F(PolylineTest, TransformedPositionsGoThroughTheTransformsWithAndWithoutColours)
{
    KXPolyline colored, plain;
    colored.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, {{-0.75f, 0.5f, 0.5f}, {0.75f, 0.5f, 0.5f}},
                {KXColor(0, 1, 0), KXColor(0, 1, 0)});
    plain.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{-0.75f, -0.5f, 0.5f}, {0.75f, -0.5f, 0.5f}}, {KXColor(1, 0, 0)});
    const PresentedImage image = render({&colored, &plain});
    EXPECT_EQ(0x00FF00u, colorNear(image, 32, 16));
    EXPECT_EQ(0xFFFFFFu, colorNear(image, 32, 48));
    EXPECT_FALSE(litNear(image, 32, 32));
    EXPECT_FALSE(litNear(image, 3, 16));
}

// After the device is released the implementation holds nothing and draws
// nothing; one in the polyline's slot goes with the polyline, after the
// device. TearDown checks that every Direct3D object is gone.
TEST_F(PolylineTest, ReleasedDeviceTakesTheBufferAndLeavesTheImplementationInert)
{
    KXPolyline polyline;
    polyline.set(KXPolyline::KXPOLYLINETYPE_CLOSED, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    auto kept = std::make_unique<KXDXPolylineImpl>(device.get(), &polyline);
    EXPECT_EQ(device.get(), kept->getDevice());
    auto owned = std::make_unique<KXPolyline>();
    owned->set(KXPolyline::KXPOLYLINETYPE_OPEN, {{0, 0, 0}, {1, 0, 0}});
    owned->setImplementation(new KXDXPolylineImpl(device.get(), owned.get()));
    device->release();
    EXPECT_EQ(nullptr, kept->getDevice());
    kept->draw();
    device.reset();
    kept->draw();
}

} // namespace
