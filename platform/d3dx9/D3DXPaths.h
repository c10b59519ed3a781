#pragma once

// File names given to the ANSI D3DX entry points, turned into the wide
// names the wide entry points and the file library take.

#include <windows.h>

#include <string>

namespace swd3dx {

// path read in the ANSI code page; false for a null path or one the code
// page cannot convert.
inline bool widenPath(LPCSTR path, std::wstring& wide)
{
    if (!path)
        return false;
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0)
        return false;
    wide.assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return true;
}

} // namespace swd3dx
