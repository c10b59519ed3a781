#include "pipeline/DepthStencilSpan.h"

#include "pipeline/DepthTest.h"

#include "pipeline/PixelBuffer.h"

#include <cstring>

namespace swd3d9 {
namespace pipeline {

bool fitsDepthStencilSpan(const PixelContext& context)
{
    const PixelKey& key = context.key;
    const TargetView& target = context.target;
    // ZERO and ONE keep the colour; the alpha too when it is blended the same
    // way, not written, or not stored.
    const bool keepsAlpha = !(key.colorWrite & 0x8) || target.colorFormat == D3DFMT_X8R8G8B8 ||
                            (key.srcBlendAlpha == D3DBLEND_ZERO && key.destBlendAlpha == D3DBLEND_ONE &&
                             key.blendOpAlpha == D3DBLENDOP_ADD);
    const bool keepsColor = key.colorWrite == 0 || (key.blend && key.srcBlend == D3DBLEND_ZERO &&
                                                    key.destBlend == D3DBLEND_ONE && key.blendOp == D3DBLENDOP_ADD &&
                                                    keepsAlpha);
    const bool plainDepth = !target.depth || (target.depth->bytesPerPixel() == 4 && target.depth->samples() <= 1);
    return keepsColor && !key.alphaTest && target.samples <= 1 && plainDepth && (key.zEnable || key.stencil);
}

void depthStencilSpan(const PixelContext& pixels, int64_t lo, int64_t hi, int y, float z, float zStep,
                      bool frontFace)
{
    const PixelKey& key = pixels.key;
    const PixelConstants& c = pixels.constants;
    uint8_t* row = pixels.target.depth->pixel(0, static_cast<UINT>(y));
    uint8_t func = key.stencilFunc, failOp = key.stencilFail, zFailOp = key.stencilZFail, passOp = key.stencilPass;
    if (key.twoSidedStencil && !frontFace) {
        func = key.ccwStencilFunc;
        failOp = key.ccwStencilFail;
        zFailOp = key.ccwStencilZFail;
        passOp = key.ccwStencilPass;
    }
    const uint32_t reference = c.stencilRef & c.stencilMask;
    for (int64_t x = lo; x <= hi; ++x) {
        // Stepped one addition at a time, as the general path steps it.
        if (x != lo)
            z += zStep;
        uint8_t* at = row + x * 4;
        uint32_t word;
        std::memcpy(&word, at, 4);
        const uint32_t stored = word >> 8;
        const uint32_t stencil = word & 0xFF;
        const bool stencilPass = !key.stencil || compareFunction(func, reference, stencil & c.stencilMask);
        const uint32_t bits = key.zEnable ? depthBits24(z) : 0;
        const bool depthPass = !key.zEnable || !stencilPass || compareFunction(key.zFunc, bits, stored);
        uint32_t newStencil = stencil;
        if (key.stencil) {
            const uint8_t op = !stencilPass ? failOp : (!depthPass ? zFailOp : passOp);
            const uint32_t updated = stencilOperation(op, stencil, c.stencilRef);
            newStencil = (stencil & ~c.stencilWriteMask) | (updated & c.stencilWriteMask);
        }
        const bool writeDepth = key.zWrite && key.zEnable && stencilPass && depthPass;
        if (writeDepth || newStencil != stencil) {
            const uint32_t updatedWord = ((writeDepth ? bits : stored) << 8) | newStencil;
            std::memcpy(at, &updatedWord, 4);
        }
    }
}

} // namespace pipeline
} // namespace swd3d9
