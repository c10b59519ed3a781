#pragma once

// Rectangle copies between pixel buffers: format conversion, stretching with
// point or linear filtering, resolving multisampled buffers, and fills.

#include "pipeline/PixelBuffer.h"

namespace swd3d9 {

// Copies a rectangle to (x, y) of the target, converting the format. A
// multisampled source is resolved (pipeline/Resolve.h), then converted,
// unless the target has as many samples, in which case every sample is
// copied.
void copyRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, UINT x, UINT y);
// Scales a rectangle onto another with point or bilinear sampling of the
// (resolved) source. False, with the target untouched, when memory for the
// scaled copy runs out.
bool stretchRect(const PixelBuffer& source, const RECT& sourceRect, PixelBuffer& target, const RECT& targetRect,
                 bool linear);
// Writes one pixel value (bytesPerPixel bytes) into a rectangle of every
// sample.
void fillRect(PixelBuffer& target, const RECT& rect, const uint8_t* pixel);
// Reads a rectangle as floating-point RGBA, resolving samples first.
void readRectRGBA(const PixelBuffer& source, const RECT& rect, float* rgba);

bool isValidRect(const RECT& rect, UINT width, UINT height);
bool rectsOverlap(const RECT& a, const RECT& b);

} // namespace swd3d9
