#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

// Fog on a Direct3D device. setVertexFog and setRangeFog only choose how the
// next setFog sets the fog up (per vertex or per pixel, range or depth);
// setFog takes the fog's colour and parameters; enableFog switches it on.
// Defaults: fog off, both flags clear, range fog off.
class KXDXRENDERER_API KXDXFogState final : public KXFogState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXFogState(KXDXDevice* device);
    ~KXDXFogState() = default;

    void reset() override;
    void setVertexFog(int enable) override;
    void setRangeFog(int enable) override;
    void enableFog(int enable) override;
    void setFog(KXFog* fog) override;

    int getVertexFog() const { return m_vertexFog; }
    int getRangeFog() const { return m_rangeFog; }

private:
    int m_vertexFog = 0;
    int m_rangeFog = 0;
};
