#include "canvas/KXPlanarSoftShadowPainter.h"

#include "renderer/KXDevice.h"
#include "renderer/KXOutOfMemory.h"
#include "sceneapi/KXBounds.h"

KXPlanarSoftShadowPainter::~KXPlanarSoftShadowPainter()
{
    if (m_device)
        m_device->unregisterObserver(this);
}

void KXPlanarSoftShadowPainter::paint(const KXScene*)
{
}

void KXPlanarSoftShadowPainter::setDevice(KXDevice* device)
{
    // Registering may run out of memory, so it comes first: a painter that
    // cannot hear the new device stays on the one it had, still heard.
    if (device && !kxRunWithinMemory([&] { device->registerObserver(this); }))
        return;
    if (m_device && m_device != device)
        m_device->unregisterObserver(this);
    m_device = device;
}

void KXPlanarSoftShadowPainter::setSceneBounds(const KXBounds& bounds)
{
    const float size = FLOOR_SCALE * bounds.getRadius();
    const KXPosition centre = bounds.getCenter();
    m_floorMatrix = KXMatrix::scaling(size, size, size) * KXMatrix::translation(centre.getX(), centre.getY(), 0.0f);
}

void KXPlanarSoftShadowPainter::update(KXObservable* source, const KXEvent& event)
{
    const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event);
    if (!deviceEvent || !m_device || source != m_device)
        return;
    if (deviceEvent->getType() == KXDeviceEvent::KXDEVICEEVENT_RELEASE) {
        m_device->unregisterObserver(this);
        m_device = nullptr;
    }
}
