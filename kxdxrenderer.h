#pragma once

// Umbrella header of the renderer library. The subsystems' headers are added
// here as they arrive.
#include "sceneapi/sceneapi.h"

// Version of the renderer library as "major.minor.patch".
const char* KXDXRendererVersion();
