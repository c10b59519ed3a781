// Code-page conversion and module names. The ANSI and OEM code pages of this
// platform are UTF-8; wide strings are wchar_t, UTF-32 on Linux.

#include "win32/Window.h"

#include <string>
#include <unistd.h>

using swwin32::setLastError;

namespace {

const char32_t REPLACEMENT_CHARACTER = 0xFFFD;
#define ERROR_MOD_NOT_FOUND 126L

// Decodes UTF-8; invalid sequences become U+FFFD, or stop the decoding
// (false) when strict.
bool decodeUtf8(const unsigned char* text, size_t size, bool strict, std::u32string& out)
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
            out.push_back(REPLACEMENT_CHARACTER);
            ++i;
            continue;
        }
        out.push_back(code);
        i += length;
    }
    return true;
}

void encodeUtf8(char32_t code, std::string& out)
{
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = REPLACEMENT_CHARACTER;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool isUtf8CodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// The executable's path, decoded.
std::wstring executablePath()
{
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &path[0], path.size() - 1);
    if (n <= 0)
        return std::wstring();
    path.resize(static_cast<size_t>(n));
    std::u32string decoded;
    decodeUtf8(reinterpret_cast<const unsigned char*>(path.data()), path.size(), false, decoded);
    return std::wstring(decoded.begin(), decoded.end());
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
    const size_t size = cbMultiByte == -1 ? std::char_traits<char>::length(lpMultiByteStr) + 1
                                          : static_cast<size_t>(cbMultiByte);
    std::u32string decoded;
    if (!decodeUtf8(reinterpret_cast<const unsigned char*>(lpMultiByteStr), size,
                    (dwFlags & MB_ERR_INVALID_CHARS) != 0, decoded)) {
        setLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int needed = static_cast<int>(decoded.size());
    if (cchWideChar == 0)
        return needed;
    if (needed > cchWideChar) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < decoded.size(); ++i)
        lpWideCharStr[i] = static_cast<wchar_t>(decoded[i]);
    return needed;
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
    const size_t count = cchWideChar == -1 ? std::char_traits<wchar_t>::length(lpWideCharStr) + 1
                                           : static_cast<size_t>(cchWideChar);
    std::string encoded;
    for (size_t i = 0; i < count; ++i)
        encodeUtf8(static_cast<char32_t>(lpWideCharStr[i]), encoded);
    const int needed = static_cast<int>(encoded.size());
    if (cbMultiByte == 0)
        return needed;
    if (needed > cbMultiByte) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::char_traits<char>::copy(lpMultiByteStr, encoded.data(), encoded.size());
    return needed;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName)
        return executableModule();
    const std::wstring path = executablePath();
    const std::wstring name(lpModuleName);
    const size_t slash = path.find_last_of(L'/');
    const std::wstring fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (!name.empty() && (name == path || name == fileName))
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
    const std::wstring path = executablePath();
    // A path that does not fit is cut, terminated, and reported with the
    // buffer's size, as Windows does.
    if (path.size() >= nSize) {
        std::char_traits<wchar_t>::copy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = L'\0';
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::char_traits<wchar_t>::copy(lpFilename, path.data(), path.size());
    lpFilename[path.size()] = L'\0';
    setLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    wchar_t path[4096];
    const DWORD length = GetModuleFileNameW(hModule, path, 4096);
    if (length == 0 || !lpFilename || nSize == 0)
        return 0;
    std::string encoded;
    for (DWORD i = 0; i < length; ++i)
        encodeUtf8(static_cast<char32_t>(path[i]), encoded);
    if (encoded.size() >= nSize) {
        std::char_traits<char>::copy(lpFilename, encoded.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::char_traits<char>::copy(lpFilename, encoded.data(), encoded.size());
    lpFilename[encoded.size()] = '\0';
    return static_cast<DWORD>(encoded.size());
}

} // extern "C"
