#include "renderer/KXDevice.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"

// Out-of-line destructors anchor the virtual tables and type information of
// the interfaces in the renderer library, so that run-time type tests agree
// across the library boundary.
KXRenderer::~KXRenderer() = default;
KXRenderStateMgr::~KXRenderStateMgr() = default;
KXTextureState::~KXTextureState() = default;
KXClipState::~KXClipState() = default;
KXDevice::~KXDevice() = default;
KXDeviceEvent::~KXDeviceEvent() = default;
