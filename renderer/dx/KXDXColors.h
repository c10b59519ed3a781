#pragma once

#include "sceneapi/KXColor.h"

#include <d3d9.h>

// A colour as Direct3D receives it from the scene: the packed word of the
// colour (each component clamped and rounded to 8 bits) spread back into
// four floats.
inline D3DCOLORVALUE toD3DColorValue(const KXColor& color)
{
    const uint32_t word = color.getBGRA();
    return D3DCOLORVALUE{static_cast<float>((word >> 16) & 0xFF) / 255.0f,
                         static_cast<float>((word >> 8) & 0xFF) / 255.0f,
                         static_cast<float>(word & 0xFF) / 255.0f,
                         static_cast<float>((word >> 24) & 0xFF) / 255.0f};
}
