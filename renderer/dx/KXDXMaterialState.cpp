#include "renderer/dx/KXDXMaterialState.h"

#include "sceneapi/KXMaterial.h"

namespace {

// A colour as Direct3D receives it: the packed word of the colour (each
// component clamped and rounded to 8 bits) spread back into four floats.
D3DCOLORVALUE toColorValue(const KXColor& color)
{
    const uint32_t word = color.getBGRA();
    return D3DCOLORVALUE{static_cast<float>((word >> 16) & 0xFF) / 255.0f,
                         static_cast<float>((word >> 8) & 0xFF) / 255.0f,
                         static_cast<float>(word & 0xFF) / 255.0f,
                         static_cast<float>((word >> 24) & 0xFF) / 255.0f};
}

} // namespace

KXDXMaterialState::KXDXMaterialState(KXDXDevice* device) : KXDXRenderStateBase(device), m_defaultMaterial()
{
    m_defaultMaterial.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    reset();
}

void KXDXMaterialState::reset()
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetMaterial(&m_defaultMaterial);
}

void KXDXMaterialState::enableColorVertex(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_COLORVERTEX, static_cast<DWORD>(enable));
}

void KXDXMaterialState::enableSpecular(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_SPECULARENABLE, enable ? TRUE : FALSE);
}

void KXDXMaterialState::setMaterial(KXMaterial* material)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !material)
        return;
    D3DMATERIAL9 d3dMaterial;
    d3dMaterial.Diffuse = toColorValue(material->getDiffuseColor());
    d3dMaterial.Ambient = toColorValue(material->getAmbientColor());
    d3dMaterial.Specular = toColorValue(material->getSpecularColor());
    d3dMaterial.Emissive = toColorValue(material->getEmissiveColor());
    d3dMaterial.Power = material->getShininess();
    device->SetMaterial(&d3dMaterial);
}
