#pragma once

#include "sceneapi/KXSceneExport.h"

// Converts image files from one type into another.
class KXSCENE_API KXImageConverter
{
public:
    // Reads the source file (any readable type) and writes it to the
    // destination in the type that the destination's extension names.
    // quality (1 to 100) is used by JPEG; lossless types ignore it.
    // Results as in KXImageUtils; -2 when the destination's extension names
    // no known type.
    static int convert(const wchar_t* sourcePath, const wchar_t* destinationPath, int quality);
};
