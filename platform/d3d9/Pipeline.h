#pragma once

// The entry point from the device's validated draw calls into the drawing
// pipeline (vertex processing, clipping, rasterisation, texturing, per-pixel
// operations). The device guarantees what the description says; the rest
// comes from the device's DeviceState, which the device side translates
// into the pipeline's keys as the draw's first stage.

#include "d3d9/DeviceState.h"
#include "pipeline/DrawDescription.h"

namespace swd3d9 {

class Device;

// Draws with the device's current state into its current render targets.
// Called only with valid arguments, inside a scene, on a device that is not
// lost. Triangles may wait in a batch: see flushDraws. E_OUTOFMEMORY when
// memory runs out; the draw then leaves nothing behind (what earlier draws
// left waiting stays) and the device draws on as before.
HRESULT drawPrimitives(Device& device, const DrawDescription& draw);

// Rasterises the triangles that wait. Called before anything reads or
// writes a surface, texture or volume outside the drawing pipeline (locks,
// copies, clears, presentation), changes the render targets, or resets
// the device. Does nothing when no draw waits. Cannot fail: rasterising
// allocates nothing.
void flushDraws(Device& device);

// Drops the triangles that wait, undrawn (the device is going away).
void discardDraws(Device& device);

// Runs work(context, i) for every i below count on the device's drawing
// threads (the caller among them) and returns when all are done: for work
// outside drawing that splits into independent parts, such as the row
// bands of a presentation or a clear. False when a part threw (the parts
// not yet started are then skipped).
bool runOnDrawingThreads(Device& device, unsigned count, void (*work)(void* context, unsigned index),
                         void* context);

} // namespace swd3d9
