#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

#include <vector>

class KXPlane;

// The user clip planes 0..5 of a Direct3D device. setClipPlane places a
// plane in world space and makes it the one plane in use; enableClipping
// switches every plane set since the last reset on or off together.
// Default: no plane in use.
class KXDXRENDERER_API KXDXClipState final : public KXClipState, public KXDXRenderStateBase
{
public:
    // Puts the device to the default.
    explicit KXDXClipState(KXDXDevice* device);
    ~KXDXClipState() override = default;

    void reset() override;
    // A null plane sets nothing.
    void setClipPlane(unsigned index, KXClipPlane* plane, const KXMatrix& world) override;
    void enableClipping(int enable) override;

    // The planes set since the last reset, in call order (repeats kept).
    const std::vector<unsigned>& getPlanes() const { return m_planes; }

    // The plane carried from object space into world space by world, with a
    // unit normal (a normal too short to normalise stays as it is).
    static KXPlane transformPlane(const KXPlane& plane, const KXMatrix& world);

private:
    std::vector<unsigned> m_planes;
};
