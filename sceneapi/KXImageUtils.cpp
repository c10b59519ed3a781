#include "sceneapi/KXImageUtils.h"

#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImageCodec.h"
#include "sceneapi/KXImageResizer.h"

#include <cwchar>
#include <cwctype>
#include <new>
#include <utility>

namespace {

struct ExtensionEntry {
    const wchar_t* extension;
    KXImage2D::KXIMAGE2DFILETYPE type;
};

// The first entry of each type is its usual extension.
const ExtensionEntry EXTENSIONS[] = {
    {L"bmp", KXImage2D::KXIMAGE2D_BMP},  {L"jpg", KXImage2D::KXIMAGE2D_JPG},  {L"jpeg", KXImage2D::KXIMAGE2D_JPG},
    {L"jpe", KXImage2D::KXIMAGE2D_JPG},  {L"jfif", KXImage2D::KXIMAGE2D_JPG}, {L"tga", KXImage2D::KXIMAGE2D_TGA},
    {L"png", KXImage2D::KXIMAGE2D_PNG},  {L"dds", KXImage2D::KXIMAGE2D_DDS},  {L"dib", KXImage2D::KXIMAGE2D_DIB},
    {L"ppm", KXImage2D::KXIMAGE2D_PPM},  {L"pgm", KXImage2D::KXIMAGE2D_PPM},  {L"pnm", KXImage2D::KXIMAGE2D_PPM},
    {L"hdr", KXImage2D::KXIMAGE2D_HDR},  {L"pic", KXImage2D::KXIMAGE2D_HDR},  {L"pfm", KXImage2D::KXIMAGE2D_PFM},
};

bool equalsIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(static_cast<wint_t>(*a)) != std::towlower(static_cast<wint_t>(*b)))
            return false;
    }
    return *a == *b;
}

// Decodes into a fresh image of the target's format and fragment limit, so
// that a failure leaves the target untouched.
int decodeInto(const unsigned char* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE type, KXRawImage2D& raw)
{
    KXRawImage2D decoded(0, 0, raw.getFormat(), raw.getFragmentLimit());
    int result;
    try {
        result = kxcodec::decodeAny(data, size, type, decoded);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (result == 0)
        raw = std::move(decoded);
    // Exhausted memory is a failure like any other here.
    return result == kxcodec::OUT_OF_MEMORY ? -1 : result;
}

int encodeBytes(const KXRawImage2D& raw, KXImage2D::KXIMAGE2DFILETYPE type, int quality, kxcodec::Bytes& out)
{
    if (!KXImage2D::isValidFileType(type))
        return -2;
    if (!raw.hasData())
        return -1;
    try {
        const int result = kxcodec::encodeAny(raw, type, quality, out);
        if (result != 0)
            out.clear();
        return result == kxcodec::OUT_OF_MEMORY ? -1 : result;
    } catch (const std::bad_alloc&) {
        out.clear();
        return -1;
    }
}

int saveRaw(const KXRawImage2D* raw, const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE type, int quality)
{
    if (!raw || !path)
        return -3;
    kxcodec::Bytes bytes;
    const int result = encodeBytes(*raw, type, quality, bytes);
    if (result != 0)
        return result;
    return KXFileUtils::writeFile(path, bytes.data(), bytes.size());
}

} // namespace

int KXImageUtils::decode(const KXImage2D* image, KXRawImage2D* raw)
{
    if (!image || !raw)
        return -3;
    if (!image->getData())
        return -1;
    return decodeInto(image->getData(), image->getSize(), image->getFileType(), *raw);
}

int KXImageUtils::encode(const KXRawImage2D* raw, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE type, int quality)
{
    if (!raw || !image)
        return -3;
    kxcodec::Bytes bytes;
    const int result = encodeBytes(*raw, type, quality, bytes);
    if (result != 0)
        return result;
    image->setData(std::move(bytes), type);
    return 0;
}

int KXImageUtils::loadImage2DFromFile(const wchar_t* path, KXImage2D* image, int width, int height)
{
    if (!path || !image)
        return -3;
    if (width < 0 || height < 0)
        return -1;
    kxcodec::Bytes bytes;
    if (KXFileUtils::readFile(path, bytes, MAX_FILE_SIZE) != 0)
        return -1;
    KXImage2D::KXIMAGE2DFILETYPE type = getFileTypeFromData(bytes.data(), bytes.size());
    if (type == KXImage2D::KXIMAGE2D_UNKNOWN)
        type = getFileTypeFromExtension(path);
    if (type == KXImage2D::KXIMAGE2D_UNKNOWN)
        return -2;
    if (width == 0 && height == 0) {
        image->setData(std::move(bytes), type);
        return 0;
    }

    KXRawImage2D raw;
    int result = decodeInto(bytes.data(), bytes.size(), type, raw);
    if (result != 0)
        return result;
    KXRawImage2D scaled;
    result = KXImageResizer::resize(raw, width ? width : static_cast<int>(raw.getWidth()),
                                    height ? height : static_cast<int>(raw.getHeight()), scaled);
    if (result != 0)
        return result;
    return encode(&scaled, image, type, DEFAULT_QUALITY);
}

int KXImageUtils::saveImage2DToFile(const KXImage2D* image, const wchar_t* path)
{
    if (!image || !path)
        return -3;
    if (!image->getData())
        return -1;
    return KXFileUtils::writeFile(path, image->getData(), image->getSize());
}

int KXImageUtils::loadRawImage2DFromFile(const wchar_t* path, KXRawImage2D* raw)
{
    if (!path || !raw)
        return -3;
    kxcodec::Bytes bytes;
    if (KXFileUtils::readFile(path, bytes, MAX_FILE_SIZE) != 0)
        return -1;
    return decodeInto(bytes.data(), bytes.size(), getFileTypeFromExtension(path), *raw);
}

int KXImageUtils::saveRawImage2DToFile(const KXRawImage2D* raw, const wchar_t* path, int quality)
{
    if (!raw || !path)
        return -3;
    return saveRaw(raw, path, getFileTypeFromExtension(path), quality);
}

int KXImageUtils::saveRawImage2DToBMP(const KXRawImage2D* raw, const wchar_t* path)
{
    return saveRaw(raw, path, KXImage2D::KXIMAGE2D_BMP, DEFAULT_QUALITY);
}

int KXImageUtils::saveRawImage2DToPNG(const KXRawImage2D* raw, const wchar_t* path)
{
    return saveRaw(raw, path, KXImage2D::KXIMAGE2D_PNG, DEFAULT_QUALITY);
}

int KXImageUtils::getFileExtensionFromType(KXImage2D::KXIMAGE2DFILETYPE type, wchar_t* buffer, size_t size)
{
    if (!buffer)
        return -3;
    if (size > 0)
        buffer[0] = L'\0';
    for (const ExtensionEntry& entry : EXTENSIONS) {
        if (entry.type != type)
            continue;
        if (std::wcslen(entry.extension) + 1 > size)
            return -1;
        std::wcscpy(buffer, entry.extension);
        return 0;
    }
    return -1;
}

KXImage2D::KXIMAGE2DFILETYPE KXImageUtils::getFileTypeFromExtension(const wchar_t* path)
{
    if (!path)
        return KXImage2D::KXIMAGE2D_UNKNOWN;
    // The extension is what follows the last dot of the last path component;
    // a path without a separator or dot is taken as an extension alone.
    const wchar_t* extension = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'/' || *p == L'\\')
            extension = nullptr;
        else if (*p == L'.')
            extension = p + 1;
    }
    if (!extension)
        return KXImage2D::KXIMAGE2D_UNKNOWN;
    for (const ExtensionEntry& entry : EXTENSIONS) {
        if (equalsIgnoringCase(extension, entry.extension))
            return entry.type;
    }
    return KXImage2D::KXIMAGE2D_UNKNOWN;
}

KXImage2D::KXIMAGE2DFILETYPE KXImageUtils::getFileTypeFromData(const void* data, size_t size)
{
    return kxcodec::identifyFileType(static_cast<const unsigned char*>(data), size);
}
