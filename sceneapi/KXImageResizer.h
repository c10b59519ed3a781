#pragma once

#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXSceneExport.h"

// Scales images: each axis is reduced with a box filter (every source pixel
// weighted by the part of it that a target pixel covers) and enlarged by
// linear interpolation between pixel centres. Colours are filtered with
// alpha premultiplied, so that transparent pixels lend no colour to their
// neighbours. Results as in KXImageUtils: 0, -1, -2, -3.
class KXSCENE_API KXImageResizer
{
public:
    // Writes a copy of the source image file scaled to width × height into
    // the destination, in the type its extension names (JPEG at quality 95).
    static int resize(const wchar_t* sourcePath, int width, int height, const wchar_t* destinationPath);
    // Scales raw pixels into the destination, which takes the source's
    // format and keeps its own fragment limit. The source and destination
    // must be different images. -1 for a width or height below 1 or a
    // source without data.
    static int resize(const KXRawImage2D& source, int width, int height, KXRawImage2D& destination);

    // JPEG quality of the file form.
    static constexpr int FILE_QUALITY = 95;
};
