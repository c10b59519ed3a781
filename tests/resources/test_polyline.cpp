// The device-side polyline: which pixels its segments light for each type,
// pre-transformed and transformed, with and without colours.

#include "resources/KXDXPolylineImpl.h"

#include "KXDXTestSupport.h"
#include "sceneapi/KXPolyline.h"

using namespace kxdxtest;

namespace {

class PolylineTest : public DeviceTest
{
protected:
    // Draws the polylines on black with lighting and depth off, the vertex
    // colour (white without one) as the pixel colour and identity
    // transforms, into `image`.
    void render(std::initializer_list<KXPolyline*> polylines)
    {
        d3d()->SetRenderState(D3DRS_LIGHTING, FALSE);
        d3d()->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        d3d()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d3d()->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        setIdentityTransforms(d3d());
        image = drawFrame(d3d(), window.get(), [&] {
            for (KXPolyline* polyline : polylines)
                KXDXPolylineImpl(device.get(), polyline).draw();
        });
        ASSERT_FALSE(image.empty());
    }
    // The brightest pixel of the 3 x 3 block around (x, y), black when none
    // is lit: lines on pixel centres may be drawn on either neighbouring row
    // or column.
    uint32_t colorNear(int x, int y) const
    {
        uint32_t best = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const uint32_t c = image.at(unsigned(x + dx), unsigned(y + dy)) & 0xFFFFFF;
                if (red(c) + green(c) + blue(c) > red(best) + green(best) + blue(best))
                    best = c;
            }
        }
        return best;
    }

    PresentedImage image;
};

} // namespace

// Pre-transformed: segments take the positions in pairs (a strip would
// join the pairs) and leave an odd last one undrawn; an open chain joins
// neighbours, not its ends; a closed chain runs from its blue last vertex
// back to a red copy of the first; a chain of one point draws nothing.
// Transformed, under identity transforms: y = 0.5 is row 16, y = -0.5 row
// 48, x from -0.75 to 0.75 columns 8 to 56; colours of another count than
// the positions are ignored.
TEST_F(PolylineTest, EachTypeLightsItsSegmentsTransformedOrNot)
{
    KXPolyline segments, lonePoint, open, closed;
    segments.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS,
                 {{8, 8, 0.5f}, {56, 8, 0.5f}, {8, 24, 0.5f}, {56, 24, 0.5f}, {8, 40, 0.5f}});
    lonePoint.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{32, 40, 0.5f}});
    open.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{8, 48, 0.5f}, {32, 48, 0.5f}, {32, 60, 0.5f}});
    closed.set(KXPolyline::KXPOLYLINETYPE_CLOSED, {{40, 32, 0.5f}, {60, 32, 0.5f}, {60, 60, 0.5f}, {40, 60, 0.5f}},
               {KXColor(1, 0, 0), KXColor(0, 1, 0), KXColor(1, 1, 1), KXColor(0, 0, 1)});
    for (KXPolyline* polyline : {&segments, &lonePoint, &open, &closed})
        polyline->setPreTransformed(true);
    ASSERT_NO_FATAL_FAILURE(render({&segments, &lonePoint, &open, &closed}));
    EXPECT_EQ(0xFFFFFFu, colorNear(32, 8));
    const int lit[][2] = {{32, 24}, {20, 48}, {32, 54}, {50, 32}, {60, 46}, {50, 60}};
    for (const auto& xy : lit)
        EXPECT_NE(0u, colorNear(xy[0], xy[1])) << xy[0] << ", " << xy[1];
    const int dark[][2] = {{32, 16}, {32, 32}, {32, 40}, {20, 54}};
    for (const auto& xy : dark)
        EXPECT_EQ(0u, colorNear(xy[0], xy[1])) << xy[0] << ", " << xy[1];
    const uint32_t nearFirst = colorNear(40, 36), nearLast = colorNear(40, 56);
    EXPECT_TRUE(red(nearFirst) > 180 && blue(nearFirst) < 80 && green(nearFirst) == 0) << std::hex << nearFirst;
    EXPECT_TRUE(blue(nearLast) > 180 && red(nearLast) < 80) << std::hex << nearLast;

    KXPolyline colored, plain;
    colored.set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, {{-0.75f, 0.5f, 0.5f}, {0.75f, 0.5f, 0.5f}},
                {KXColor(0, 1, 0), KXColor(0, 1, 0)});
    plain.set(KXPolyline::KXPOLYLINETYPE_OPEN, {{-0.75f, -0.5f, 0.5f}, {0.75f, -0.5f, 0.5f}}, {KXColor(1, 0, 0)});
    ASSERT_NO_FATAL_FAILURE(render({&colored, &plain}));
    EXPECT_EQ(0x00FF00u, colorNear(32, 16));
    EXPECT_EQ(0xFFFFFFu, colorNear(32, 48));
    EXPECT_EQ(0u, colorNear(32, 32));
    EXPECT_EQ(0u, colorNear(3, 16));
}
