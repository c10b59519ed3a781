#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXTextureFilter.h"

// A box blur of one memory texture into another of the same size, on the
// CPU, weighted by alpha so that transparent texels do not darken their
// neighbours: a horizontal pass, then a vertical one. Each output texel
// averages a window of 2 x radius texels along the pass, one more on the
// left (or above) than on the right, clipped at the edges.
class KXDXRENDERER_API KXDXBoxBlurFilter : public KXBoxBlurFilter
{
public:
    KXDXBoxBlurFilter() = default;
    virtual ~KXDXBoxBlurFilter() = default;

    // -3 for a null texture; -1 for textures that are not KXDXMemoryTextures,
    // differ in size, hold no texture or cannot be locked; else 0.
    int apply(KXMemoryTexture* source, KXMemoryTexture* target) override;
    // Odd sizes of 3 and more are taken (0); others are refused (-1) and the
    // size stays.
    int setKernelSize(unsigned size) override;

    unsigned getKernelSize() const { return m_kernelSize; }
    // Half the kernel size, rounded down.
    unsigned getRadius() const { return m_kernelSize / 2; }

private:
    unsigned m_kernelSize = 17;
};
