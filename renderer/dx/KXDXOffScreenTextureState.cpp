#include "renderer/dx/KXDXOffScreenTextureState.h"

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"

#include <new>
#include <utility>

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
    auto found = m_images2D.find(image);
    if (found == m_images2D.end()) {
        std::unique_ptr<KXDXImage2DImpl> made(new (std::nothrow) KXDXImage2DImpl(getDXDevice(), image));
        found = m_images2D.emplace(image, std::move(made)).first;
    }
    return found->second.get();
}

KXDXImage3DImpl* KXDXOffScreenTextureState::findImage3D(KXImage3D* image)
{
    auto found = m_images3D.find(image);
    if (found == m_images3D.end()) {
        std::unique_ptr<KXDXImage3DImpl> made(new (std::nothrow) KXDXImage3DImpl(getDXDevice(), image));
        found = m_images3D.emplace(image, std::move(made)).first;
    }
    return found->second.get();
}
