#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

// The stencil test on a Direct3D device. Defaults: off, always passing,
// reference 0, all mask bits set, every operation keep.
class KXDXRENDERER_API KXDXStencilState final : public KXStencilState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXStencilState(KXDXDevice* device);
    ~KXDXStencilState() = default;

    void reset() override;
    void clear() override;
    void enableStencil(int enable) override;
    // A code outside KXCOMPARISON sets nothing.
    void setStencilFunction(int comparison) override;
    void setReference(unsigned value) override;
    void setMask(unsigned value) override;
    void setWriteMask(unsigned value) override;
    // An operation code outside KXSTENCILOPERATION sets keep.
    void setZFailOperation(int operation) override;
    void setFailOperation(int operation) override;
    void setPassOperation(int operation) override;

private:
    void setOperation(D3DRENDERSTATETYPE state, int operation);
};
