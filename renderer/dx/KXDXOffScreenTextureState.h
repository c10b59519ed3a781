#pragma once

#include "renderer/KXExport.h"
#include "renderer/dx/KXDXImplementationMap.h"
#include "renderer/dx/KXDXTextureState.h"

// The texture state of the off-screen renderers, which often draw on a
// device of their own: it never writes an image's implementation slot.
// An image whose slot already holds a texture of this device is bound from
// there; every other image gets a texture made for this device and kept in
// the state's own maps, which the state owns for its whole life and which
// drop an image's texture when the image is edited or destroyed. Cube and
// volume images always go through the state's map.
//
// It also differs from the window state in three details kept for the
// off-screen pictures: reset leaves the colour arguments alone, the dot
// product operation draws as modulate, and cube textures take the colour
// arguments of their attributes as 2D textures do.
class KXDXRENDERER_API KXDXOffScreenTextureState final : public KXDXTextureState
{
public:
    explicit KXDXOffScreenTextureState(KXDXDevice* device);
    ~KXDXOffScreenTextureState() override;

    size_t getNumImages2D() const { return m_images2D.size(); }
    size_t getNumImages3D() const { return m_images3D.size(); }

protected:
    KXDXImage2DImpl* findImage2D(KXImage2D* image) override;
    KXDXImage3DImpl* findImage3D(KXImage3D* image) override;

private:
    KXDXImplementationMap m_images2D;
    KXDXImplementationMap m_images3D;
};
