#include "resources/KXDXShaderProgramImpl.h"

#include "renderer/KXDevice.h"
#include "renderer/KXOutOfMemory.h"
#include "renderer/dx/KXDXDevice.h"
#include "sceneapi/KXEffectVariable.h"

KXDXShaderProgramImpl::KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program)
    : KXDXShaderProgramImpl(device, program, KXDXShaderProgramUtils::KXIMAGECACHING_SHARED)
{
}

KXDXShaderProgramImpl::KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program, ID3DXEffect* effect)
    : KXDXShaderProgramImpl(device, program, effect, KXDXShaderProgramUtils::KXIMAGECACHING_SHARED)
{
}

KXDXShaderProgramImpl::KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program,
                                             KXDXShaderProgramUtils::KXIMAGECACHING caching)
    : m_program(program)
{
    attach(device, true, nullptr, caching);
}

KXDXShaderProgramImpl::KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program, ID3DXEffect* effect,
                                             KXDXShaderProgramUtils::KXIMAGECACHING caching)
    : m_program(program)
{
    attach(device, false, effect, caching);
}

KXDXShaderProgramImpl::~KXDXShaderProgramImpl()
{
    detachDevice();
    releaseEffect();
}

void KXDXShaderProgramImpl::attach(KXDXDevice* device, bool compile, ID3DXEffect* effect,
                                   KXDXShaderProgramUtils::KXIMAGECACHING caching)
{
    // An effect is only kept while the device's events are heard: it must
    // go before the device does.
    if (!device || !kxRunWithinMemory([&] { device->registerObserver(this); }))
        return;
    m_device = device;
    if (!m_program)
        return;
    bool complete = true;
    if (compile) {
        complete = KXDXShaderProgramUtils::buildEffect(device, m_program, caching, &m_effect) != E_OUTOFMEMORY;
    } else if (effect) {
        effect->AddRef();
        m_effect = effect;
        complete = KXDXShaderProgramUtils::prepareEffect(effect, device, m_program, caching);
    }
    // One made without enough memory is made again at the next draw.
    if (!complete) {
        releaseEffect();
        detachDevice();
    }
}

void KXDXShaderProgramImpl::detachDevice()
{
    if (m_device)
        m_device->unregisterObserver(this);
    m_device = nullptr;
}

void KXDXShaderProgramImpl::releaseEffect()
{
    if (!m_effect)
        return;
    KXEffectVariable::detachAll(m_effect);
    m_effect->Release();
    m_effect = nullptr;
}

void KXDXShaderProgramImpl::update(KXObservable* source, const KXEvent& event)
{
    const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event);
    if (!deviceEvent || !m_device || source != m_device)
        return;
    switch (deviceEvent->getType()) {
    case KXDeviceEvent::KXDEVICEEVENT_BEFORERESET:
        if (m_effect)
            m_effect->OnLostDevice();
        break;
    case KXDeviceEvent::KXDEVICEEVENT_AFTERRESET:
        if (m_effect)
            m_effect->OnResetDevice();
        break;
    case KXDeviceEvent::KXDEVICEEVENT_RELEASE:
        // The effect holds the device: it goes while the device still
        // exists.
        releaseEffect();
        detachDevice();
        break;
    }
}
