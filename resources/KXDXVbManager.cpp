#include "resources/KXDXVbManager.h"

KXDXVbManager::KXDXVbManager(KXDXDevice* device) : m_device(device) {}

KXDXVbManager::~KXDXVbManager() = default;

int KXDXVbManager::allocate(unsigned, DWORD, IDirect3DVertexBuffer9*&, unsigned&)
{
    return -1;
}

void KXDXVbManager::update(KXObservable*, const KXEvent&) {}
