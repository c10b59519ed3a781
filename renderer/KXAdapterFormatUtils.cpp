#include "renderer/KXAdapterFormatUtils.h"

#include "renderer/KXResult.h"

int KXAdapterFormatUtils::getBestFormat(const std::vector<KXAdapterFormat>& formats, uint32_t windowMode,
                                        KXAdapterFormat& best)
{
    const KXAdapterFormat* chosen = nullptr;
    for (const KXAdapterFormat& format : formats) {
        if (format.windowMode != windowMode)
            continue;
        // Colour first, then depth-stencil, then multisampling; a full tie
        // keeps the earlier record.
        if (!chosen || format.colorFormat > chosen->colorFormat ||
            (format.colorFormat == chosen->colorFormat &&
             (format.depthStencil > chosen->depthStencil ||
              (format.depthStencil == chosen->depthStencil && format.multisampling > chosen->multisampling))))
            chosen = &format;
    }
    if (!chosen)
        return KXRESULT_FAILED;
    best = *chosen;
    return KXRESULT_OK;
}
