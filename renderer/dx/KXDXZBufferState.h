#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

// The depth buffer on a Direct3D device. Defaults: test and write on,
// less-or-equal, no depth bias. Which depth biases the adapter supports is
// read once, when the state is made.
class KXDXRENDERER_API KXDXZBufferState final : public KXZBufferState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXZBufferState(KXDXDevice* device);
    ~KXDXZBufferState() = default;

    void reset() override;
    void clear() override;
    void enableZBuffer(int enable) override;
    void enableZWrite(int enable) override;
    // A code outside KXCOMPARISON sets nothing.
    void setZFunction(int comparison) override;
    // Sets nothing on an adapter without depth bias; the slope-scaled bias
    // only where the adapter has it.
    void setDepthBias(float bias, float slopeScaledBias) override;

    bool hasDepthBias() const { return m_depthBias; }
    bool hasSlopeScaledDepthBias() const { return m_slopeScaledDepthBias; }

private:
    bool m_depthBias = false;
    bool m_slopeScaledDepthBias = false;
};
