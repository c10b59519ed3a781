#include "renderer/dx/KXDXOffScreenTextureState.h"

#include "renderer/KXOutOfMemory.h"
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

namespace {

// The entry of image in a map of the state's own textures: made for device
// when there is none, or when the one there ran out of memory as it was made
// (it then links to no device). Null, adding nothing, out of memory.
template <class Impl, class Image>
Impl* findOrMake(std::unordered_map<Image*, std::unique_ptr<Impl>>& images, KXDXDevice* device, Image* image)
{
    auto found = images.find(image);
    if (found != images.end() && found->second->getDevice() == device)
        return found->second.get();
    std::unique_ptr<Impl> made(new (std::nothrow) Impl(device, image));
    if (!made)
        return nullptr;
    if (found != images.end()) {
        found->second = std::move(made);
        return found->second.get();
    }
    Impl* entry = made.get();
    if (!kxRunWithinMemory([&] { images.emplace(image, std::move(made)); }))
        return nullptr;
    return entry;
}

} // namespace

KXDXImage2DImpl* KXDXOffScreenTextureState::findImage2D(KXImage2D* image)
{
    auto* current = dynamic_cast<KXDXImage2DImpl*>(image->getImplementation());
    if (current && current->getDevice() == getDXDevice())
        return current;
    return findOrMake(m_images2D, getDXDevice(), image);
}

KXDXImage3DImpl* KXDXOffScreenTextureState::findImage3D(KXImage3D* image)
{
    return findOrMake(m_images3D, getDXDevice(), image);
}
