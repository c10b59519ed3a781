#pragma once

#include "sceneapi/KXObservable.h"

#include <d3d9.h>

class KXDXDevice;

// Hands out blocks of large shared index buffers (16-bit for requests of
// fewer than 65536 indices, 32-bit otherwise) and takes them back.
class KXDXIbManager : public KXObserver, public KXObservable
{
public:
    explicit KXDXIbManager(KXDXDevice* device);
    ~KXDXIbManager() override;

    // 0 with the buffer and the block's first index, or -1.
    int allocate(unsigned count, IDirect3DIndexBuffer9*& buffer, unsigned& startIndex);
    void update(KXObservable* source, const KXEvent& event) override;

private:
    KXDXDevice* m_device;
};
