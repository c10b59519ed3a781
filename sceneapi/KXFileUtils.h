#pragma once

#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <string>
#include <vector>

// Wide-character paths and whole-file reads and writes.
//
// Paths reach this library as wide strings; the file system takes UTF-8
// bytes. Conversion is strict: a path that is not valid Unicode is refused
// rather than mangled into some other file's name.
class KXSCENE_API KXFileUtils
{
public:
    // UTF-8 form of a wide path. False for a null path or invalid Unicode
    // (lone surrogates, code points above U+10FFFF, embedded NULs cannot
    // occur in a C string anyway).
    static bool toNativePath(const wchar_t* path, std::string& native);
    // Wide form of a UTF-8 path; invalid sequences give false.
    static bool fromNativePath(const char* native, std::wstring& path);

    // Reads a whole file. 0 success, -1 when the file cannot be opened or
    // read or is larger than maxSize bytes, -3 for a null path.
    static int readFile(const wchar_t* path, std::vector<unsigned char>& bytes, size_t maxSize);
    // Writes (replaces) a whole file. 0 success, -1 failure, -3 null path or
    // null data with a non-zero size.
    static int writeFile(const wchar_t* path, const void* data, size_t size);
    // True when the path names an existing regular file.
    static bool fileExists(const wchar_t* path);
    // Removes a file. 0 success, -1 failure, -3 null path.
    static int removeFile(const wchar_t* path);
};
