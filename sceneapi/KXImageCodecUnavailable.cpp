// The PNG and JPEG entry points of a scene library built without libpng and
// libjpeg (CMake option KX_PNG_JPEG=OFF): both formats are reported as
// unsupported, never as damaged, so callers tell the two apart.

#include "sceneapi/KXImageCodec.h"

namespace kxcodec {

namespace {

const int UNSUPPORTED = -2;

} // namespace

int decodePNG(const unsigned char*, size_t, KXRawImage2D&)
{
    return UNSUPPORTED;
}

int encodePNG(const KXRawImage2D&, Bytes&)
{
    return UNSUPPORTED;
}

int decodeJPEG(const unsigned char*, size_t, KXRawImage2D&)
{
    return UNSUPPORTED;
}

int encodeJPEG(const KXRawImage2D&, int, Bytes&)
{
    return UNSUPPORTED;
}

} // namespace kxcodec
