#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

// Alpha blending on a Direct3D device. Defaults: blending off, source one,
// destination zero, add.
class KXDXRENDERER_API KXDXBlendState final : public KXBlendState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXBlendState(KXDXDevice* device);
    ~KXDXBlendState() = default;

    void reset() override;
    void enableBlending(int enable) override;
    // Factor codes outside KXBLENDFACTOR set nothing.
    void setSourceBlend(int factor) override;
    void setDestinationBlend(int factor) override;
    // Operation codes outside KXBLENDOPERATION set nothing.
    void setBlendOperation(int operation) override;

    // The Direct3D blend of a factor code; 0 for a code outside the table.
    static DWORD toD3DBlend(int factor);
};
