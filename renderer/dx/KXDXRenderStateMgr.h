#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/dx/KXDXDeviceLink.h"

class KXDXBlendState;
class KXDXClipState;
class KXDXDevice;
class KXDXFogState;
class KXDXLightState;
class KXDXMaterialState;
class KXDXPolyState;
class KXDXStencilState;
class KXDXTextureState;
class KXDXZBufferState;

// The nine Direct3D render states of one device. Making the manager puts
// every family to its defaults.
//
// The manager follows its device: Direct3D's Reset restores Direct3D's own
// defaults, which are not the families' (culling, depth test, material...),
// so after every reset of the device each family is reset again; when the
// device is released the states are detached from it and do nothing more.
class KXDXRENDERER_API KXDXRenderStateMgr : public KXRenderStateMgr
{
public:
    explicit KXDXRenderStateMgr(KXDXDevice* device);
    ~KXDXRenderStateMgr() override;

    // The device, null once it has been released.
    KXDXDevice* getDevice() const { return m_device.get(); }
    // Resets the nine families in the order of the accessors.
    void resetAll();

protected:
    // With offScreenTextures the texture state is a KXDXOffScreenTextureState.
    KXDXRenderStateMgr(KXDXDevice* device, bool offScreenTextures);

private:
    void detachAll();

    KXDXMaterialState* m_material = nullptr;
    KXDXTextureState* m_texture = nullptr;
    KXDXLightState* m_light = nullptr;
    KXDXZBufferState* m_zBuffer = nullptr;
    KXDXBlendState* m_blend = nullptr;
    KXDXPolyState* m_poly = nullptr;
    KXDXStencilState* m_stencil = nullptr;
    KXDXFogState* m_fog = nullptr;
    KXDXClipState* m_clip = nullptr;
    KXDXDeviceLink m_device;
};

// The render states of the off-screen renderers: the same families, with a
// texture state that keeps the textures it makes to itself instead of
// storing them in the images (KXDXOffScreenTextureState).
class KXDXRENDERER_API KXDXOffScreenRenderStateMgr final : public KXDXRenderStateMgr
{
public:
    explicit KXDXOffScreenRenderStateMgr(KXDXDevice* device);
    ~KXDXOffScreenRenderStateMgr() override;
};
