#pragma once

// Tile rasterisation: the triangles, lines and points binned into one tile,
// walked with their edge functions (triangles) or along their major axis
// (lines), every covered sample interpolated and handed to the pixel
// processor.

#include "pipeline/Binning.h"
#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

#include <algorithm>

namespace swd3d9 {
namespace pipeline {

struct RasterInputs {
    // The pixel contexts triangles name (Triangle::context); lines and
    // points use the first. All draw into the same render target.
    const PixelContext* const* contexts;
    const std::vector<Triangle>* triangles;
    const std::vector<Plane>* planes;
    const std::vector<LineSegment>* lines;
    const std::vector<float>* lineVaryings;
    const TileBins* bins;
    bool drawsLines; // bins hold lines (and points) rather than triangles
};

// Sample positions of a render target with this many samples, in
// 1/SUBPIXEL_ONE pixel units from the pixel centre.
void samplePositions(UINT samples, int offsets[16][2]);

void rasterizeTile(const RasterInputs& inputs, int tile);

// The pixels of row y within x0..x1 whose sample (offsetX, offsetY) from
// the centre the triangle covers: lo..hi; false when none.
inline bool coveredSpan(const Triangle& t, int y, int x0, int x1, int offsetX, int offsetY, int64_t& lo,
                        int64_t& hi)
{
    // Each edge bounds x from one side; b > 0 in the floor divisions.
    auto floorDivide = [](int64_t a, int64_t b) {
        const int64_t q = a / b;
        return (a % b != 0 && a < 0) ? q - 1 : q;
    };
    const int64_t py = static_cast<int64_t>(y) * SUBPIXEL_ONE + offsetY;
    lo = x0, hi = x1;
    for (int e = 0; e < 3; ++e) {
        const int64_t slope = t.edgeA[e] * SUBPIXEL_ONE;
        const int64_t constant = t.edgeA[e] * offsetX + t.edgeB[e] * py + t.edgeC[e];
        if (slope > 0)
            lo = std::max(lo, -floorDivide(constant, slope));
        else if (slope < 0)
            hi = std::min(hi, floorDivide(constant, -slope));
        else if (constant < 0)
            hi = lo - 1;
    }
    return lo <= hi;
}

} // namespace pipeline
} // namespace swd3d9
