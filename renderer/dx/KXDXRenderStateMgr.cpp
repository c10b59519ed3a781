#include "renderer/dx/KXDXRenderStateMgr.h"

#include "renderer/dx/KXDXBlendState.h"
#include "renderer/dx/KXDXClipState.h"
#include "renderer/dx/KXDXFogState.h"
#include "renderer/dx/KXDXLightState.h"
#include "renderer/dx/KXDXMaterialState.h"
#include "renderer/dx/KXDXOffScreenTextureState.h"
#include "renderer/dx/KXDXPolyState.h"
#include "renderer/dx/KXDXStencilState.h"
#include "renderer/dx/KXDXTextureState.h"
#include "renderer/dx/KXDXZBufferState.h"

KXDXRenderStateMgr::KXDXRenderStateMgr(KXDXDevice* device) : KXDXRenderStateMgr(device, false) {}

KXDXRenderStateMgr::KXDXRenderStateMgr(KXDXDevice* device, bool offScreenTextures)
    : m_device(device, [this] { detachAll(); }, [this] { resetAll(); })
{
    // Each state puts its part of the device to its defaults as it is made.
    m_material = new KXDXMaterialState(device);
    m_texture = offScreenTextures ? new KXDXOffScreenTextureState(device) : new KXDXTextureState(device);
    m_light = new KXDXLightState(device);
    m_zBuffer = new KXDXZBufferState(device);
    m_blend = new KXDXBlendState(device);
    m_poly = new KXDXPolyState(device);
    m_stencil = new KXDXStencilState(device);
    m_fog = new KXDXFogState(device);
    m_clip = new KXDXClipState(device);
    setStates(m_material, m_texture, m_light, m_zBuffer, m_blend, m_poly, m_stencil, m_fog, m_clip);
}

KXDXRenderStateMgr::~KXDXRenderStateMgr()
{
    // Stop hearing the device before the states go.
    m_device.reset(nullptr);
    setStates(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    delete m_material;
    delete m_texture;
    delete m_light;
    delete m_zBuffer;
    delete m_blend;
    delete m_poly;
    delete m_stencil;
    delete m_fog;
    delete m_clip;
}

void KXDXRenderStateMgr::resetAll()
{
    m_material->reset();
    m_texture->reset();
    m_light->reset();
    m_zBuffer->reset();
    m_blend->reset();
    m_poly->reset();
    m_stencil->reset();
    m_fog->reset();
    m_clip->reset();
}

void KXDXRenderStateMgr::detachAll()
{
    m_material->detachDevice();
    m_texture->detachDevice();
    m_light->detachDevice();
    m_zBuffer->detachDevice();
    m_blend->detachDevice();
    m_poly->detachDevice();
    m_stencil->detachDevice();
    m_fog->detachDevice();
    m_clip->detachDevice();
}

KXDXOffScreenRenderStateMgr::KXDXOffScreenRenderStateMgr(KXDXDevice* device) : KXDXRenderStateMgr(device, true) {}

KXDXOffScreenRenderStateMgr::~KXDXOffScreenRenderStateMgr() = default;
