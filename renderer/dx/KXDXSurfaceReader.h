#pragma once

#include "renderer/dx/KXDXComPtr.h"

#include <d3d9.h>

class KXRawImage2D;

// Reads the pixels of a render target back into main memory the way
// Direct3D allows: a render target is not lockable and a multisampled one
// cannot be copied to main memory, so a multisampled target is first
// resolved into a plain render target of its size with StretchRect, then
// GetRenderTargetData copies it into a lockable system-memory surface.
class KXDXSurfaceReader
{
public:
    // A lockable system-memory surface holding the target's pixels, or
    // empty when the device refuses any step.
    static KXDXComPtr<IDirect3DSurface9> readBack(IDirect3DDevice9* device, IDirect3DSurface9* target);
    // The back buffer of swap chain 0, read back.
    static KXDXComPtr<IDirect3DSurface9> readBackBuffer(IDirect3DDevice9* device);

    // Copies a lockable 32- or 16-bit surface into the raw image as blue,
    // green, red, alpha bytes (format 3), row by row through the surface's
    // pitch: X8R8G8B8 pixels get alpha 255, R5G6B5 components become the
    // nearest 8-bit values. 0, or -1 when the surface cannot be locked or has
    // another format or the image cannot hold the pixels.
    static int copyToRawImage(IDirect3DSurface9* surface, KXRawImage2D& image);
};
