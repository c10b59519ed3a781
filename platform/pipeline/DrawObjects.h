#pragma once

// The device's objects that a draw reads and writes, as the pipeline sees
// them. Triangles wait in the batch after their draw has returned, so the
// batch keeps a reference to every object its waiting triangles use until
// they are drawn, and tells the render target when they are drawn into
// it. The device's objects implement these interfaces; the pipeline knows
// nothing else of them.

namespace swd3d9 {
namespace pipeline {

// An object that waiting triangles read or write: a reference keeps it,
// and the memory they address, alive.
class HeldObject
{
public:
    virtual void addInternalRef() = 0;
    virtual void releaseInternalRef() = 0;

protected:
    ~HeldObject() = default;
};

// A render target as the batch draws into it.
class DrawnTarget
{
public:
    // Triangles or lines were drawn into the target.
    virtual void noteDrawn() = 0;

protected:
    ~DrawnTarget() = default;
};

// The render target, the depth buffer, the pixel shader and a texture per
// sampler.
constexpr int MAX_DRAW_OBJECTS = 24;

// What one draw's pixel state reads and writes.
struct DrawObjects {
    DrawnTarget* target;
    int targetWidth, targetHeight;
    // The target among them.
    HeldObject* held[MAX_DRAW_OBJECTS];
    int heldCount;
};

} // namespace pipeline
} // namespace swd3d9
