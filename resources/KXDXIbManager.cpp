#include "resources/KXDXIbManager.h"

KXDXIbManager::KXDXIbManager(KXDXDevice* device) : m_device(device) {}

KXDXIbManager::~KXDXIbManager() = default;

int KXDXIbManager::allocate(unsigned, IDirect3DIndexBuffer9*&, unsigned&)
{
    return -1;
}

void KXDXIbManager::update(KXObservable*, const KXEvent&) {}
