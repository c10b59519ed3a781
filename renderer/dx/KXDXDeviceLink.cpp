#include "renderer/dx/KXDXDeviceLink.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"

#include <utility>

KXDXDeviceLink::KXDXDeviceLink(KXDXDevice* device, std::function<void()> onRelease, std::function<void()> onReset)
    : m_onRelease(std::move(onRelease)), m_onReset(std::move(onReset))
{
    reset(device);
}

KXDXDeviceLink::~KXDXDeviceLink()
{
    reset(nullptr);
}

void KXDXDeviceLink::reset(KXDXDevice* device)
{
    if (device == m_device)
        return;
    // Registering is the step that can run out of memory; it comes first, so
    // that a link that throws is left on the device it had, still heard.
    if (device)
        device->registerObserver(this);
    if (m_device)
        m_device->unregisterObserver(this);
    m_device = device;
}

int KXDXDeviceLink::attach(KXDevice* device)
{
    if (!device)
        return KXRESULT_NULLARGUMENT;
    auto* dxDevice = dynamic_cast<KXDXDevice*>(device);
    if (!dxDevice)
        return KXRESULT_FAILED;
    if (dxDevice != m_device && m_device && m_onRelease)
        m_onRelease();
    if (!kxRunWithinMemory([&] { reset(dxDevice); })) {
        reset(nullptr);
        return KXRESULT_FAILED;
    }
    return KXRESULT_OK;
}

void KXDXDeviceLink::update(KXObservable* source, const KXEvent& event)
{
    const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event);
    if (!deviceEvent || source != m_device)
        return;
    if (deviceEvent->getType() == KXDeviceEvent::KXDEVICEEVENT_AFTERRESET) {
        if (m_onReset)
            m_onReset();
        return;
    }
    if (deviceEvent->getType() != KXDeviceEvent::KXDEVICEEVENT_RELEASE)
        return;
    // The owner drops its device objects while the device still exists.
    if (m_onRelease)
        m_onRelease();
    reset(nullptr);
}
