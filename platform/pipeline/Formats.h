#pragma once

// Pixel formats of the software device: which exist, their sizes, and
// conversion of pixels to and from floating-point RGBA.

#include <d3d9.h>

#include <cstdint>

namespace swd3d9 {

struct FormatInfo {
    D3DFORMAT format;
    uint8_t bytesPerPixel;
    bool hasAlpha;
    bool isDepth;
    bool hasStencil;
    // Can be a render target (and a back buffer).
    bool renderTarget;
};

// The description of a format the device stores, or null.
const FormatInfo* findFormat(D3DFORMAT format);
// Colour formats the device can hold in textures and surfaces.
bool isColorFormat(D3DFORMAT format);
bool isDepthFormat(D3DFORMAT format);
bool isRenderTargetFormat(D3DFORMAT format);
// 0 for formats the device does not store.
UINT bytesPerPixel(D3DFORMAT format);

// Pixels to red, green, blue, alpha floats (four per pixel). Channels a
// format lacks read as 1, except the colour of alpha-only formats, which
// reads as 0.
void decodePixels(D3DFORMAT format, const uint8_t* source, UINT count, float* rgba);
// Floats to pixels, each channel clamped to the format's range and rounded
// to nearest.
void encodePixels(D3DFORMAT format, const float* rgba, UINT count, uint8_t* target);
// The bytes of one pixel of an ARGB colour (at most 16).
void encodeColor(D3DFORMAT format, D3DCOLOR color, uint8_t* pixel);

// The stored form of a depth in 0..1: 16 bits for D16, 24 bits (stored in
// the high bits of the word, above the stencil byte) for D24S8 and D24X8.
uint32_t depthToBits(D3DFORMAT format, float depth);
// The largest stored depth value of a format.
uint32_t maxDepthBits(D3DFORMAT format);

// IEEE half precision.
uint16_t floatToHalf(float value);
float halfToFloat(uint16_t value);

} // namespace swd3d9
