#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXObservable.h"

#include <functional>

class KXDevice;
class KXDXDevice;

// A device pointer that lets go of its device when the device is released:
// it observes the device, and on the release event calls the owner's
// callback (which drops whatever the owner made on the device) and then
// becomes null. A second, optional callback hears that the device has been
// reset. Everything that keeps a device beyond one call (renderers,
// render states, mesh, polyline and image implementations) holds its device
// through a link, so that nothing uses a device that is gone.
class KXDXRENDERER_API KXDXDeviceLink final : public KXObserver
{
public:
    // Registers with device (which may be null). Either callback may be empty.
    KXDXDeviceLink(KXDXDevice* device, std::function<void()> onRelease, std::function<void()> onReset = {});
    KXDXDeviceLink(const KXDXDeviceLink&) = delete;
    KXDXDeviceLink& operator=(const KXDXDeviceLink&) = delete;
    ~KXDXDeviceLink() override;

    KXDXDevice* get() const { return m_device; }
    // Links to another device (or none) without calling the callback.
    void reset(KXDXDevice* device);
    // The initialize step of a device resource: links to the Direct3D device
    // behind device. Moving to another device first calls the release
    // callback, since what was made on the old device cannot serve the new
    // one. Results follow KXRESULT: null is -3; a device of another class, or
    // no memory to register with it, is -1 (the link is then empty).
    int attach(KXDevice* device);

    void update(KXObservable* source, const KXEvent& event) override;

private:
    KXDXDevice* m_device = nullptr;
    std::function<void()> m_onRelease;
    std::function<void()> m_onReset;
};
