#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXImageImpl.h"
#include "renderer/dx/KXDXDeviceLink.h"

#include <d3d9.h>

class KXDXDevice;
class KXImage3D;

// The device-side form of a cube or volume image: decoded once into a cube
// texture (one file, or six face files scaled to 512 x 512) or a volume
// texture of one device. It lets go of its textures when its device is
// released.
class KXDXRENDERER_API KXDXImage3DImpl : public KXImage3DImpl
{
public:
    KXDXImage3DImpl(KXDXDevice* device, KXImage3D* image);
    ~KXDXImage3DImpl() override;

    // Binds the cube texture, then the volume texture, to the stage.
    void bind(unsigned stage) override;

    // The device the textures were made on; null once that device is
    // released. Either texture may be null.
    KXDXDevice* getDevice() const { return m_device.get(); }
    IDirect3DCubeTexture9* getCubeTexture() const { return m_cubeTexture; }
    IDirect3DVolumeTexture9* getVolumeTexture() const { return m_volumeTexture; }

private:
    void build(KXImage3D* image);
    void releaseTextures();

    KXDXDeviceLink m_device;
    IDirect3DCubeTexture9* m_cubeTexture = nullptr;
    IDirect3DVolumeTexture9* m_volumeTexture = nullptr;
};
