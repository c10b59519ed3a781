#pragma once

// Tile rasterisation: the triangles, lines and points binned into one tile,
// walked with their edge functions (triangles) or along their major axis
// (lines), every covered sample interpolated and handed to the pixel
// processor.

#include "pipeline/Binning.h"
#include "pipeline/PixelProcessor.h"
#include "pipeline/TriangleSetup.h"

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

} // namespace pipeline
} // namespace swd3d9
