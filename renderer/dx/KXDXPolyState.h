#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

// Shading, fill mode and culling on a Direct3D device. Defaults: Gouraud,
// solid, no culling.
class KXDXRENDERER_API KXDXPolyState final : public KXPolyState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXPolyState(KXDXDevice* device);
    ~KXDXPolyState() = default;

    void reset() override;
    // Codes outside their enumerations set nothing.
    void setShadeMode(int mode) override;
    void setFillMode(int mode) override;
    void setCullMode(int mode) override;
};
