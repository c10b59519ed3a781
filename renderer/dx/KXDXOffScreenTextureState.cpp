#include "renderer/dx/KXDXOffScreenTextureState.h"

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"

#include <new>

KXDXOffScreenTextureState::KXDXOffScreenTextureState(KXDXDevice* device)
    : KXDXTextureState(device, Variant{false, false, true})
{
}

KXDXOffScreenTextureState::~KXDXOffScreenTextureState() = default;

KXDXImage2DImpl* KXDXOffScreenTextureState::findImage2D(KXImage2D* image)
{
    auto* current = dynamic_cast<KXDXImage2DImpl*>(image->getImplementation());
    if (current && current->getDevice() == getDXDevice())
        return current;
    KXDXDevice* device = getDXDevice();
    return m_images2D.findOrMake<KXDXImage2DImpl>(
        image, device, [&] { return new (std::nothrow) KXDXImage2DImpl(device, image); });
}

KXDXImage3DImpl* KXDXOffScreenTextureState::findImage3D(KXImage3D* image)
{
    KXDXDevice* device = getDXDevice();
    return m_images3D.findOrMake<KXDXImage3DImpl>(
        image, device, [&] { return new (std::nothrow) KXDXImage3DImpl(device, image); });
}
