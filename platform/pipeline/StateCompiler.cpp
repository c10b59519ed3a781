#include "pipeline/StateCompiler.h"

namespace swd3d9 {
namespace pipeline {

SetupParameters setupParameters(const PipelineContext& c, const CompiledDraw& draw)
{
    const PixelContext& pixels = c.pixels;
    const TargetView& target = pixels.target;
    SetupParameters setup{};
    setup.scaleX = target.viewportWidth * 0.5f;
    setup.offsetX = target.viewportX + target.viewportWidth * 0.5f;
    setup.scaleY = -target.viewportHeight * 0.5f;
    setup.offsetY = target.viewportY + target.viewportHeight * 0.5f;
    setup.scaleZ = target.maxZ - target.minZ;
    setup.offsetZ = target.minZ;
    setup.pretransformed = draw.layout.pretransformed;
    setup.clipLeft = target.clipLeft;
    setup.clipTop = target.clipTop;
    setup.clipRight = target.clipRight;
    setup.clipBottom = target.clipBottom;
    setup.varyingCount = pixels.varyingCount;
    if (pixels.program.executable) {
        setup.planeVaryings = pixels.program.interpolated;
        setup.planeVaryingCount = pixels.program.interpolatedCount;
    }
    setup.flatShade = pixels.key.flatShade;
    setup.cullMode = draw.cullMode;
    setup.depthBias = pixels.constants.depthBias;
    setup.slopeScaleBias = pixels.constants.slopeScaleBias;
    setup.sampleMargin = target.samples > 1 ? SUBPIXEL_ONE / 2 : 0;
    return setup;
}

} // namespace pipeline
} // namespace swd3d9
