#pragma once

#include "renderer/KXDevice.h"
#include "renderer/KXExport.h"

#include <cstdint>
#include <vector>

// Picks the back-buffer configuration to create a device with.
class KXDXRENDERER_API KXAdapterFormatUtils
{
public:
    // Among the formats of the requested window mode, the one with the
    // greatest colour format, then depth-stencil, then multisampling value;
    // ties keep the earlier. 0 with best filled, -1 (best untouched) when no
    // format has that window mode.
    static int getBestFormat(const std::vector<KXAdapterFormat>& formats, uint32_t windowMode,
                             KXAdapterFormat& best);
};
