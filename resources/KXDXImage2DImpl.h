#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXImageImpl.h"
#include "renderer/dx/KXDXDeviceLink.h"

#include <d3d9.h>

class KXDXDevice;
class KXImage2D;

// The device-side form of a 2D image: its encoded file decoded once into a
// texture of one device, bound to texture stages. It lets go of the texture
// when its device is released; the renderer then makes a new one.
class KXDXRENDERER_API KXDXImage2DImpl : public KXImage2DImpl
{
public:
    // Decodes the image at once; a null image or undecodable data leave no
    // texture.
    KXDXImage2DImpl(KXDXDevice* device, KXImage2D* image);
    ~KXDXImage2DImpl() override;

    // Binds the texture to the stage; nothing without a texture.
    void bind(unsigned stage) override;

    // The device the texture was made on; null once that device is released.
    KXDXDevice* getDevice() const { return m_device.get(); }
    IDirect3DTexture9* getTexture() const { return m_texture; }

protected:
    // For subclasses that supply a texture of their own: an owned texture
    // is released by this implementation (when replaced, when the device
    // goes and in the destructor); a texture not owned is only dropped.
    explicit KXDXImage2DImpl(KXDXDevice* device);
    void setTexture(IDirect3DTexture9* texture, bool owned);
    // Moves the implementation to another device (or none), releasing the
    // texture made on the old one; false when memory ran out, the
    // implementation then linked to no device.
    bool linkDevice(KXDXDevice* device);

private:
    void build(KXImage2D* image);
    void releaseTexture();

    KXDXDeviceLink m_device;
    IDirect3DTexture9* m_texture = nullptr;
    bool m_ownsTexture = false;
};
