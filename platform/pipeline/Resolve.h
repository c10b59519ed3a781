#pragma once

// The resolve stage: a multisampled surface read as one sample per pixel,
// and back-buffer rows turned into what a window shows.
//
// Direct3D leaves the resolve filter to the driver. Here a pixel resolves
// to the mean of its samples, channel by channel in the format's own
// integer units, rounded half up: (sum + n / 2) / n for n samples. The
// unused byte of X8R8G8B8 resolves to 255. Formats other than the render
// targets' (A8R8G8B8, X8R8G8B8, R5G6B5) average their decoded values and
// encode the mean again; depth formats keep their first sample.
//
// Everything that reads a multisampled surface (Present, StretchRect and
// the other copies, D3DX) resolves through resolveRow, so they agree byte
// for byte: a presented picture equals its read-back through StretchRect.

#include "pipeline/PixelBuffer.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Resolves `count` pixels of row y (slice z) from x on into `target`, in
// the buffer's own format. A single-sample buffer's row is copied.
void resolveRow(const PixelBuffer& source, UINT x, UINT y, UINT z, UINT count, uint8_t* target);

// `count` pixels of a colour format as the blue, green, red, 255 words a
// window shows. Each channel is the nearest 8-bit value to the stored one
// (a 5-bit red of 16 shows as 132).
void rowToBGRA(D3DFORMAT format, const uint8_t* row, UINT count, uint32_t* target);

} // namespace pipeline
} // namespace swd3d9
