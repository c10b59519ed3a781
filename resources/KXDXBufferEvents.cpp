#include "resources/KXDXBufferEvents.h"

// Out of line, so that the events' type information lives in this library.
KXDXTriMeshEvent::~KXDXTriMeshEvent() = default;

KXDXVbIbMgrEvent::~KXDXVbIbMgrEvent() = default;
