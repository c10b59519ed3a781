#include "sceneapi/KXFileUtils.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool appendUtf8(uint32_t cp, std::string& out)
{
    if (cp >= 0xD800 && cp <= 0xDFFF)
        return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        return false;
    }
    return true;
}

void appendWide(uint32_t cp, std::wstring& out)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

// Closes a C stream on every path out of a function.
struct FileCloser {
    FILE* file;
    ~FileCloser()
    {
        if (file)
            std::fclose(file);
    }
};

} // namespace

bool KXFileUtils::toNativePath(const wchar_t* path, std::string& native)
{
    native.clear();
    if (!path)
        return false;
    for (const wchar_t* p = path; *p; ++p) {
        uint32_t cp = static_cast<uint32_t>(*p);
        // Two-byte wide characters carry code points above U+FFFF as surrogate pairs.
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF) {
            const uint32_t low = static_cast<uint32_t>(p[1]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++p;
        }
        if (!appendUtf8(cp, native)) {
            native.clear();
            return false;
        }
    }
    return true;
}

bool KXFileUtils::fromNativePath(const char* native, std::wstring& path)
{
    path.clear();
    if (!native)
        return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(native);
    while (*s) {
        uint32_t cp = *s;
        int extra = 0;
        uint32_t minimum = 0;
        if (cp < 0x80) {
            extra = 0;
        } else if ((cp & 0xE0) == 0xC0) {
            cp &= 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if ((cp & 0xF0) == 0xE0) {
            cp &= 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if ((cp & 0xF8) == 0xF0) {
            cp &= 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            path.clear();
            return false;
        }
        ++s;
        for (int i = 0; i < extra; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) {
                path.clear();
                return false;
            }
            cp = (cp << 6) | (*s & 0x3F);
        }
        // Overlong forms, surrogates and out-of-range values are not Unicode.
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            path.clear();
            return false;
        }
        appendWide(cp, path);
    }
    return true;
}

int KXFileUtils::readFile(const wchar_t* path, std::vector<unsigned char>& bytes, size_t maxSize)
{
    if (!path)
        return -3;
    std::string native;
    if (!toNativePath(path, native))
        return -1;
    struct stat info;
    if (::stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxSize)
        return -1;
    FileCloser file{std::fopen(native.c_str(), "rb")};
    if (!file.file)
        return -1;
    const size_t size = static_cast<size_t>(info.st_size);
    try {
        bytes.assign(size, 0);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return -1;
    }
    if (size > 0 && std::fread(bytes.data(), 1, size, file.file) != size) {
        bytes.clear();
        return -1;
    }
    return 0;
}

int KXFileUtils::writeFile(const wchar_t* path, const void* data, size_t size)
{
    if (!path || (!data && size > 0))
        return -3;
    std::string native;
    if (!toNativePath(path, native))
        return -1;
    FileCloser file{std::fopen(native.c_str(), "wb")};
    if (!file.file)
        return -1;
    if (size > 0 && std::fwrite(data, 1, size, file.file) != size)
        return -1;
    FILE* f = file.file;
    file.file = nullptr;
    return std::fclose(f) == 0 ? 0 : -1;
}

bool KXFileUtils::fileExists(const wchar_t* path)
{
    std::string native;
    if (!toNativePath(path, native))
        return false;
    struct stat info;
    return ::stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int KXFileUtils::removeFile(const wchar_t* path)
{
    if (!path)
        return -3;
    std::string native;
    if (!toNativePath(path, native))
        return -1;
    return ::unlink(native.c_str()) == 0 ? 0 : -1;
}
