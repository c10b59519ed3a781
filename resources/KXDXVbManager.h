#pragma once

#include "sceneapi/KXObservable.h"

#include <d3d9.h>

class KXDXDevice;

// Hands out blocks of large shared vertex buffers to tri-mesh
// implementations (positions with normals, and positions with normals and
// one coordinate pair) and takes them back when the implementations go.
class KXDXVbManager : public KXObserver, public KXObservable
{
public:
    explicit KXDXVbManager(KXDXDevice* device);
    ~KXDXVbManager() override;

    // 0 with the buffer and the block's first vertex, or -1.
    int allocate(unsigned count, DWORD fvf, IDirect3DVertexBuffer9*& buffer, unsigned& baseVertex);
    void update(KXObservable* source, const KXEvent& event) override;

private:
    KXDXDevice* m_device;
};
