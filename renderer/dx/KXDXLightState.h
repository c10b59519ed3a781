#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

#include <d3d9.h>

class KXMatrix;

// Lighting and the eight lights of a Direct3D device. Defaults: lighting
// on, normals not renormalised, no ambient light, every light off.
class KXDXRENDERER_API KXDXLightState final : public KXLightState, public KXDXRenderStateBase
{
public:
    // Puts the device to the defaults.
    explicit KXDXLightState(KXDXDevice* device);
    ~KXDXLightState() = default;

    void reset() override;
    void enableLighting(int enable) override;
    void enableLight(unsigned index, int enable) override;
    // The light's colour, each component clamped to 0..1, as the global
    // ambient light.
    void setAmbientLight(KXLight* light) override;
    // Sets light index from a directional, point or spot light carried into
    // place by world, and enables the slot when Direct3D accepts the light;
    // a light Direct3D refuses leaves the slot disabled. Ambient lights and
    // lights whose class does not match their type set nothing.
    void setLight(unsigned index, KXLight* light, const KXMatrix& world) override;
    void enableNormalization(int enable) override;

    // The Direct3D light of a scene light under world; false for a light that
    // has no Direct3D form (ambient, or a class that does not match its type).
    static bool toD3DLight(const KXLight& light, const KXMatrix& world, D3DLIGHT9& d3dLight);
};
