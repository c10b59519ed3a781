#pragma once

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXSceneExport.h"

#include <cstddef>

// Encoding, decoding and image files.
//
// File types are those of KXImage2D::KXIMAGE2DFILETYPE: BMP, DIB, JPEG,
// PNG, TGA, PPM, PFM, Radiance HDR and uncompressed DDS can be read and
// written. Paths are wide strings. Every operation returns 0 on success,
// -1 on failure (unreadable or damaged data, a file that cannot be read or
// written, memory exhausted), -2 for a file type or feature that is not
// supported, -3 for a null pointer argument.
class KXSCENE_API KXImageUtils
{
public:
    // Quality used for JPEG when the caller gives none.
    static constexpr int DEFAULT_QUALITY = 90;

    // Decodes the encoded image into raw pixels, in the raw image's current
    // format and with its fragment limit. The file's signature decides the
    // codec; the image's file type is used for formats without one (TGA,
    // DIB). On failure the raw image is left as it was.
    static int decode(const KXImage2D* image, KXRawImage2D* raw);
    // Encodes raw pixels as a file of the given type into the image, which
    // takes the bytes and the type. quality (1 to 100) is used by JPEG;
    // lossless types ignore it. PPM, PFM, HDR and JPEG have no alpha.
    static int encode(const KXRawImage2D* raw, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE type,
                      int quality = DEFAULT_QUALITY);

    // Reads an image file as it is into the image; its type is taken from
    // the file's signature, else from the path's extension (-2 when neither
    // names a known type). Non-zero width or height scale the image to that
    // size while loading (it is then encoded again in the same type); 0
    // keeps the file's own width or height.
    static int loadImage2DFromFile(const wchar_t* path, KXImage2D* image, int width, int height);
    // Writes the image's encoded bytes as they are.
    static int saveImage2DToFile(const KXImage2D* image, const wchar_t* path);

    // Reads and decodes an image file into the raw image (format and
    // fragment limit as for decode).
    static int loadRawImage2DFromFile(const wchar_t* path, KXRawImage2D* raw);
    // Encodes the raw image in the type that the path's extension names.
    static int saveRawImage2DToFile(const KXRawImage2D* raw, const wchar_t* path, int quality = DEFAULT_QUALITY);
    static int saveRawImage2DToBMP(const KXRawImage2D* raw, const wchar_t* path);
    static int saveRawImage2DToPNG(const KXRawImage2D* raw, const wchar_t* path);

    // The usual extension of a file type, without the dot ("bmp", "jpg"),
    // into a buffer of size wide characters (260 at the usual call sites).
    // -1 for an unknown type or a buffer too small (an empty string is
    // written when there is room for one); -3 for a null buffer.
    static int getFileExtensionFromType(KXImage2D::KXIMAGE2DFILETYPE type, wchar_t* buffer, size_t size);
    // The file type of a path's extension (or of an extension alone, with or
    // without the dot), ignoring case; KXIMAGE2D_UNKNOWN when unknown.
    static KXImage2D::KXIMAGE2DFILETYPE getFileTypeFromExtension(const wchar_t* path);
    // The file type that the first bytes of a file identify; TGA and DIB
    // files carry no signature and give KXIMAGE2D_UNKNOWN.
    static KXImage2D::KXIMAGE2DFILETYPE getFileTypeFromData(const void* data, size_t size);

    // Largest file the loading operations read.
    static constexpr size_t MAX_FILE_SIZE = size_t(1) << 30;
};
