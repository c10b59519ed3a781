#include "renderer/dx/KXDXMaterialState.h"

#include "renderer/dx/KXDXColors.h"
#include "sceneapi/KXMaterial.h"

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
    d3dMaterial.Diffuse = toD3DColorValue(material->getDiffuseColor());
    d3dMaterial.Ambient = toD3DColorValue(material->getAmbientColor());
    d3dMaterial.Specular = toD3DColorValue(material->getSpecularColor());
    d3dMaterial.Emissive = toD3DColorValue(material->getEmissiveColor());
    d3dMaterial.Power = material->getShininess();
    device->SetMaterial(&d3dMaterial);
}
