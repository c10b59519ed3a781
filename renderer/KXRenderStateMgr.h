#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"

// Holds one object of each render-state family; a renderer creates its
// manager when it is initialised and reaches every state through it. The
// concrete manager creates and owns the states and stores them with
// setStates.
class KXDXRENDERER_API KXRenderStateMgr
{
public:
    virtual ~KXRenderStateMgr();

    KXMaterialState* getMaterialState() const { return m_material; }
    KXTextureState* getTextureState() const { return m_texture; }
    KXLightState* getLightState() const { return m_light; }
    KXZBufferState* getZBufferState() const { return m_zBuffer; }
    KXBlendState* getBlendState() const { return m_blend; }
    KXPolyState* getPolyState() const { return m_poly; }
    KXStencilState* getStencilState() const { return m_stencil; }
    KXFogState* getFogState() const { return m_fog; }
    KXClipState* getClipState() const { return m_clip; }

protected:
    KXRenderStateMgr() = default;
    KXRenderStateMgr(const KXRenderStateMgr&) = delete;
    KXRenderStateMgr& operator=(const KXRenderStateMgr&) = delete;

    // Stores the states (not owned here: the concrete manager owns them).
    void setStates(KXMaterialState* material, KXTextureState* texture, KXLightState* light, KXZBufferState* zBuffer,
                   KXBlendState* blend, KXPolyState* poly, KXStencilState* stencil, KXFogState* fog,
                   KXClipState* clip)
    {
        m_material = material;
        m_texture = texture;
        m_light = light;
        m_zBuffer = zBuffer;
        m_blend = blend;
        m_poly = poly;
        m_stencil = stencil;
        m_fog = fog;
        m_clip = clip;
    }

private:
    KXMaterialState* m_material = nullptr;
    KXTextureState* m_texture = nullptr;
    KXLightState* m_light = nullptr;
    KXZBufferState* m_zBuffer = nullptr;
    KXBlendState* m_blend = nullptr;
    KXPolyState* m_poly = nullptr;
    KXStencilState* m_stencil = nullptr;
    KXFogState* m_fog = nullptr;
    KXClipState* m_clip = nullptr;
};
