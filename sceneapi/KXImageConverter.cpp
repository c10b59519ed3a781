#include "sceneapi/KXImageConverter.h"

#include "sceneapi/KXImageUtils.h"

int KXImageConverter::convert(const wchar_t* sourcePath, const wchar_t* destinationPath, int quality)
{
    if (!sourcePath || !destinationPath)
        return -3;
    // Refuse an unknown destination before the work of decoding.
    if (KXImageUtils::getFileTypeFromExtension(destinationPath) == KXImage2D::KXIMAGE2D_UNKNOWN)
        return -2;
    KXRawImage2D image;
    const int result = KXImageUtils::loadRawImage2DFromFile(sourcePath, &image);
    if (result != 0)
        return result;
    return KXImageUtils::saveRawImage2DToFile(&image, destinationPath, quality);
}
