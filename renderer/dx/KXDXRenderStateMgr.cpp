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

#include <memory>

KXDXRenderStateMgr::KXDXRenderStateMgr(KXDXDevice* device) : KXDXRenderStateMgr(device, false) {}

KXDXRenderStateMgr::KXDXRenderStateMgr(KXDXDevice* device, bool offScreenTextures)
    : m_device(nullptr, [this] { detachAll(); }, [this] { resetAll(); })
{
    // Each state puts its part of the device to its defaults as it is made.
    // Made into owners first and handed over when all are there, so that a
    // manager that runs out of memory on the way (and throws) leaves nothing
    // behind.
    std::unique_ptr<KXDXMaterialState> material(new KXDXMaterialState(device));
    std::unique_ptr<KXDXTextureState> texture(offScreenTextures ? new KXDXOffScreenTextureState(device)
                                                                : new KXDXTextureState(device));
    std::unique_ptr<KXDXLightState> light(new KXDXLightState(device));
    std::unique_ptr<KXDXZBufferState> zBuffer(new KXDXZBufferState(device));
    std::unique_ptr<KXDXBlendState> blend(new KXDXBlendState(device));
    std::unique_ptr<KXDXPolyState> poly(new KXDXPolyState(device));
    std::unique_ptr<KXDXStencilState> stencil(new KXDXStencilState(device));
    std::unique_ptr<KXDXFogState> fog(new KXDXFogState(device));
    std::unique_ptr<KXDXClipState> clip(new KXDXClipState(device));
    // The device is heard only once the states exist.
    m_device.reset(device);
    m_material = material.release();
    m_texture = texture.release();
    m_light = light.release();
    m_zBuffer = zBuffer.release();
    m_blend = blend.release();
    m_poly = poly.release();
    m_stencil = stencil.release();
    m_fog = fog.release();
    m_clip = clip.release();
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
