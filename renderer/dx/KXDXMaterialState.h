#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

#include <d3d9.h>

// Material colours, vertex colours and specular highlights on a Direct3D
// device. The default material (the one reset() restores) is white diffuse
// with alpha 0 and nothing else.
class KXDXRENDERER_API KXDXMaterialState final : public KXMaterialState, public KXDXRenderStateBase
{
public:
    // Puts the device's material to the default.
    explicit KXDXMaterialState(KXDXDevice* device);
    ~KXDXMaterialState() = default;

    void reset() override;
    void enableColorVertex(int enable) override;
    void enableSpecular(int enable) override;
    void setMaterial(KXMaterial* material) override;

    const D3DMATERIAL9& getDefaultMaterial() const { return m_defaultMaterial; }

private:
    D3DMATERIAL9 m_defaultMaterial;
};
