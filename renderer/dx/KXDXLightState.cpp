#include "renderer/dx/KXDXLightState.h"

#include "renderer/dx/KXDXColors.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMatrix.h"

#include <algorithm>
#include <cstring>

namespace {

D3DVECTOR toD3DVector(const KXVector& v)
{
    return D3DVECTOR{v.getX(), v.getY(), v.getZ()};
}

// A direction carried by the rotation part of world, normalised.
D3DVECTOR transformDirection(const KXMatrix& world, const KXVector& direction)
{
    KXVector transformed = world.transform(direction);
    transformed.normalize();
    return toD3DVector(transformed);
}

// One colour component as an 8-bit channel: clamped to 0..1 first, so that a
// bright or negative component cannot spill into its neighbours, then
// truncated.
DWORD ambientChannel(float component)
{
    return static_cast<DWORD>(std::clamp(component, 0.0f, 1.0f) * 255.0f);
}

} // namespace

KXDXLightState::KXDXLightState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXLightState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    for (DWORD index = 0; index < MAX_LIGHTS; ++index)
        device->LightEnable(index, FALSE);
}

void KXDXLightState::enableLighting(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(enable));
}

void KXDXLightState::enableNormalization(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_NORMALIZENORMALS, static_cast<DWORD>(enable));
}

void KXDXLightState::enableLight(unsigned index, int enable)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (device && index < MAX_LIGHTS)
        device->LightEnable(index, enable ? TRUE : FALSE);
}

void KXDXLightState::setAmbientLight(KXLight* light)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !light)
        return;
    const KXColor& color = light->getColor();
    const DWORD ambient = ambientChannel(color.getA()) << 24 | ambientChannel(color.getR()) << 16 |
                          ambientChannel(color.getG()) << 8 | ambientChannel(color.getB());
    device->SetRenderState(D3DRS_AMBIENT, ambient);
}

bool KXDXLightState::toD3DLight(const KXLight& light, const KXMatrix& world, D3DLIGHT9& d3dLight)
{
    std::memset(&d3dLight, 0, sizeof(d3dLight));
    d3dLight.Specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    d3dLight.Ambient = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 1.0f};
    d3dLight.Diffuse = toD3DColorValue(light.getColor());
    d3dLight.Specular = d3dLight.Diffuse;

    switch (light.getLightType()) {
    case KXLight::KXLIGHTTYPE_DIRECTIONAL: {
        const auto* directional = dynamic_cast<const KXDirectionalLight*>(&light);
        if (!directional)
            return false;
        d3dLight.Type = D3DLIGHT_DIRECTIONAL;
        d3dLight.Direction = transformDirection(world, directional->getDirection());
        return true;
    }
    case KXLight::KXLIGHTTYPE_POINT:
    case KXLight::KXLIGHTTYPE_SPOT: {
        const auto* point = dynamic_cast<const KXPointLight*>(&light);
        const auto* spot = dynamic_cast<const KXSpotLight*>(&light);
        if (!point || (light.getLightType() == KXLight::KXLIGHTTYPE_SPOT && !spot))
            return false;
        d3dLight.Type = D3DLIGHT_POINT;
        const KXPosition position = world.transform(point->getPosition());
        d3dLight.Position = D3DVECTOR{position.getX(), position.getY(), position.getZ()};
        const KXVector& attenuation = point->getAttenuation();
        d3dLight.Attenuation0 = attenuation.getX();
        d3dLight.Attenuation1 = attenuation.getY();
        d3dLight.Attenuation2 = attenuation.getZ();
        d3dLight.Range = point->getRange();
        d3dLight.Falloff = 1.0f;
        if (light.getLightType() == KXLight::KXLIGHTTYPE_SPOT) {
            d3dLight.Type = D3DLIGHT_SPOT;
            d3dLight.Direction = transformDirection(world, spot->getDirection());
            // Direct3D refuses an inner cone wider than the outer one; the
            // light then keeps a sharp edge at the outer cone.
            d3dLight.Phi = spot->getOuterSpreadAngle();
            d3dLight.Theta = std::min(spot->getInnerSpreadAngle(), d3dLight.Phi);
            d3dLight.Falloff = spot->getConcentration();
        }
        return true;
    }
    default:
        return false;
    }
}

void KXDXLightState::setLight(unsigned index, KXLight* light, const KXMatrix& world)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || index >= MAX_LIGHTS || !light)
        return;
    D3DLIGHT9 d3dLight;
    if (!toD3DLight(*light, world, d3dLight))
        return;
    // A light Direct3D refuses would leave the slot lit by whatever light it
    // held before, so the slot is switched off instead.
    const bool accepted = SUCCEEDED(device->SetLight(index, &d3dLight));
    device->LightEnable(index, accepted ? TRUE : FALSE);
}
