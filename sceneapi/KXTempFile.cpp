#include "sceneapi/KXTempFile.h"

#include "sceneapi/KXFileUtils.h"

#include <new>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <cstdint>
#else
#include <cstdlib>
#include <unistd.h>
#include <vector>
#endif

namespace {

#ifdef _WIN32

// Names tried before giving up; each one already taken costs one try.
const int MAX_ATTEMPTS = 100;

// The extension becomes part of a file name: path separators would move the
// file elsewhere, and a colon would name a stream of another file.
bool isPlainExtension(const wchar_t* extension)
{
    for (const wchar_t* c = extension; *c; ++c) {
        if (*c == L'/' || *c == L'\\' || *c == L':')
            return false;
    }
    return true;
}

// 48 bits for the next name, different for every call of the process and,
// through the process id and the clock, between processes (splitmix64).
uint64_t nextNameBits()
{
    static std::atomic<uint64_t> counter{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = (uint64_t(GetCurrentProcessId()) << 32) ^ uint64_t(now.QuadPart);
    x += (counter.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return (x ^ (x >> 31)) & 0xFFFFFFFFFFFFull;
}

// The user's temporary folder, with its trailing separator; empty when the
// system cannot say.
std::wstring defaultTempDirectory()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        return std::wstring();
    return std::wstring(buffer, length);
}

#else

const char* const DEFAULT_TEMP_DIRECTORY = "/tmp";

// A random part long enough that collisions only cost a retry inside mkstemps.
const char* const NAME_PATTERN = "kx-XXXXXX";

bool isPlainExtension(const std::string& extension)
{
    // The extension becomes part of a file name: path separators would move
    // the file elsewhere.
    for (char c : extension) {
        if (c == '/' || c == '\0')
            return false;
    }
    return true;
}

#endif

// Called from the destructor: a failure leaves the file behind, nothing more.
void removeNamedFile(const std::wstring& path)
{
#ifdef _WIN32
    DeleteFileW(path.c_str());
#else
    try {
        KXFileUtils::removeFile(path.c_str());
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
#endif
}

#ifdef _WIN32

// Windows has no mkstemps: random names are created with CREATE_NEW, which
// fails instead of opening a file that already exists, until one is free.
std::wstring createUniqueFile(const wchar_t* extension, const wchar_t* directory)
{
    std::wstring dir = directory && *directory ? std::wstring(directory) : defaultTempDirectory();
    if (dir.empty())
        return std::wstring();
    if (dir.back() != L'\\' && dir.back() != L'/')
        dir += L'\\';
    const wchar_t* ext = extension ? extension : L"";
    if (!isPlainExtension(ext))
        return std::wstring();

    static const wchar_t digits[] = L"0123456789abcdef";
    for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
        std::wstring path = dir + L"kx-";
        const uint64_t bits = nextNameBits();
        for (int shift = 44; shift >= 0; shift -= 4)
            path += digits[(bits >> shift) & 0xF];
        if (*ext) {
            path += L'.';
            path += ext;
        }
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return path;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

#else

std::wstring createUniqueFile(const wchar_t* extension, const wchar_t* directory)
{
    std::string dir = DEFAULT_TEMP_DIRECTORY;
    if (directory && *directory && !KXFileUtils::toNativePath(directory, dir))
        return std::wstring();
    std::string ext;
    if (extension && *extension && !KXFileUtils::toNativePath(extension, ext))
        return std::wstring();
    if (!isPlainExtension(ext))
        return std::wstring();

    std::string pattern = dir;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += NAME_PATTERN;
    int suffixLength = 0;
    if (!ext.empty()) {
        pattern += '.';
        pattern += ext;
        suffixLength = static_cast<int>(ext.size() + 1);
    }

    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), suffixLength);
    if (fd < 0)
        return std::wstring();
    ::close(fd);

    // From here on the file exists: whatever fails removes it again.
    std::wstring path;
    bool named = false;
    try {
        named = KXFileUtils::fromNativePath(buffer.data(), path);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    if (!named) {
        ::unlink(buffer.data());
        return std::wstring();
    }
    return path;
}

#endif

} // namespace

KXTempFile::KXTempFile(bool autoRemove, const wchar_t* extension, const wchar_t* directory)
    : m_autoRemove(autoRemove)
{
    // Out of memory before a file was made, there is simply no file.
    try {
        m_path = createUniqueFile(extension, directory);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

KXTempFile::~KXTempFile()
{
    if (m_autoRemove && !m_path.empty())
        removeNamedFile(m_path);
}
