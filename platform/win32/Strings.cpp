// Code-page conversion and module names. The ANSI and OEM code pages of this
// platform are UTF-8; wide strings are wchar_t, UTF-32 on Linux.
//
// Nothing here allocates: conversions count in a first pass and write in a
// second, so they cannot run out of memory.

#include "win32/Window.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <unistd.h>

using swwin32::setLastError;

namespace {

const char32_t REPLACEMENT_CHARACTER = 0xFFFD;
#define ERROR_MOD_NOT_FOUND 126L

// Decodes UTF-8, handing every character to emit; invalid sequences become
// U+FFFD, or stop the decoding (false) when strict.
template <class Emit>
bool decodeUtf8(const unsigned char* text, size_t size, bool strict, Emit&& emit)
{
    size_t i = 0;
    while (i < size) {
        const unsigned char c = text[i];
        char32_t code = 0;
        size_t length = 0;
        if (c < 0x80) {
            code = c;
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            length = 3;
        } else if ((c & 0xF8) == 0xF0) {
            code = c & 0x07;
            length = 4;
        }
        bool valid = length > 0 && i + length <= size;
        for (size_t k = 1; valid && k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (text[i + k] & 0x3F);
        }
        static const char32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            if (strict)
                return false;
            emit(REPLACEMENT_CHARACTER);
            ++i;
            continue;
        }
        emit(code);
        i += length;
    }
    return true;
}

// Encodes one character as UTF-8, handing every byte to emit.
template <class Emit>
void encodeUtf8(char32_t code, Emit&& emit)
{
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = REPLACEMENT_CHARACTER;
    if (code < 0x80) {
        emit(static_cast<char>(code));
    } else if (code < 0x800) {
        emit(static_cast<char>(0xC0 | (code >> 6)));
        emit(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        emit(static_cast<char>(0xE0 | (code >> 12)));
        emit(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        emit(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        emit(static_cast<char>(0xF0 | (code >> 18)));
        emit(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        emit(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        emit(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Bytes of the UTF-8 encoding of count wide characters.
size_t encodedSize(const wchar_t* text, size_t count)
{
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i)
        encodeUtf8(static_cast<char32_t>(text[i]), [&](char) { ++bytes; });
    return bytes;
}

// Writes the UTF-8 encoding of count wide characters, cut after limit bytes.
void encodeInto(const wchar_t* text, size_t count, char* out, size_t limit)
{
    size_t written = 0;
    for (size_t i = 0; i < count && written < limit; ++i)
        encodeUtf8(static_cast<char32_t>(text[i]), [&](char byte) {
            if (written < limit)
                out[written++] = byte;
        });
}

bool isUtf8CodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

constexpr size_t PATH_CAPACITY = 4096;

// The executable's path, decoded into path (terminated); its length, or 0
// when it cannot be read. A UTF-8 path decodes to at most as many
// characters as it has bytes.
size_t executablePath(wchar_t (&path)[PATH_CAPACITY])
{
    char bytes[PATH_CAPACITY];
    const ssize_t n = readlink("/proc/self/exe", bytes, sizeof(bytes) - 1);
    size_t length = 0;
    if (n > 0)
        decodeUtf8(reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(n), false,
                   [&](char32_t code) { path[length++] = static_cast<wchar_t>(code); });
    path[length] = L'\0';
    return length;
}

// The executable's module handle: any distinct non-null address will do.
char g_executableModule;

HMODULE executableModule() { return reinterpret_cast<HMODULE>(&g_executableModule); }

} // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) || !isUtf8CodePage(CodePage)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A length of -1 converts the terminating null as well.
    const size_t size = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
    size_t needed = 0;
    if (!decodeUtf8(text, size, strict, [&](char32_t) { ++needed; })) {
        setLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    // A count the int result cannot hold fits no buffer either.
    if (needed > static_cast<size_t>(INT_MAX)) {
        setLastError(cchWideChar == 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (cchWideChar == 0)
        return static_cast<int>(needed);
    if (needed > static_cast<size_t>(cchWideChar)) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    size_t written = 0;
    decodeUtf8(text, size, strict, [&](char32_t code) { lpWideCharStr[written++] = static_cast<wchar_t>(code); });
    return static_cast<int>(needed);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    (void)dwFlags;
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || !isUtf8CodePage(CodePage)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // UTF-8 can encode every character, so no default character is used.
    (void)lpDefaultChar;
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = FALSE;
    const size_t count = cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    // Up to four bytes a character: the size can pass what an int holds.
    const size_t needed = encodedSize(lpWideCharStr, count);
    if (needed > static_cast<size_t>(INT_MAX)) {
        setLastError(cbMultiByte == 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (cbMultiByte == 0)
        return static_cast<int>(needed);
    if (needed > static_cast<size_t>(cbMultiByte)) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    encodeInto(lpWideCharStr, count, lpMultiByteStr, needed);
    return static_cast<int>(needed);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName)
        return executableModule();
    wchar_t path[PATH_CAPACITY];
    const size_t length = executablePath(path);
    const wchar_t* slash = std::wcsrchr(path, L'/');
    const wchar_t* fileName = slash ? slash + 1 : path;
    if (length > 0 && lpModuleName[0] != L'\0' &&
        (std::wcscmp(lpModuleName, path) == 0 || std::wcscmp(lpModuleName, fileName) == 0))
        return executableModule();
    setLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (!lpModuleName)
        return executableModule();
    wchar_t name[MAX_PATH * 4] = {};
    if (MultiByteToWideChar(CP_ACP, 0, lpModuleName, -1, name, MAX_PATH * 4) == 0)
        return nullptr;
    return GetModuleHandleW(name);
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    if (hModule && hModule != executableModule()) {
        setLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wchar_t path[PATH_CAPACITY];
    const size_t length = executablePath(path);
    // A path that does not fit is cut, terminated, and reported with the
    // buffer's size, as Windows does.
    if (length >= nSize) {
        std::wmemcpy(lpFilename, path, nSize - 1);
        lpFilename[nSize - 1] = L'\0';
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::wmemcpy(lpFilename, path, length);
    lpFilename[length] = L'\0';
    setLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    wchar_t path[PATH_CAPACITY];
    const DWORD length = GetModuleFileNameW(hModule, path, PATH_CAPACITY);
    if (length == 0 || !lpFilename || nSize == 0)
        return 0;
    const size_t bytes = encodedSize(path, length);
    if (bytes >= nSize) {
        encodeInto(path, length, lpFilename, nSize - 1);
        lpFilename[nSize - 1] = '\0';
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    encodeInto(path, length, lpFilename, bytes);
    lpFilename[bytes] = '\0';
    return static_cast<DWORD>(bytes);
}

} // extern "C"
