#pragma once

// Windows of this process: what a window handle points to, and the
// registry that tells live handles from stale ones.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

// The object behind an HWND. Only the platform looks inside.
struct HWND__ {
    uint32_t magic;
    LONG x, y;
    UINT clientWidth, clientHeight;
    DWORD style, exStyle;
    bool visible;
    // What Present last showed: width x height pixels of blue, green, red, 255.
    UINT presentedWidth = 0, presentedHeight = 0;
    std::vector<uint32_t> presented;
};

namespace swwin32 {

// Guards every window's fields and the registry.
std::mutex& windowMutex();
// The window behind a handle, or null when the handle is not a live
// window. Call with windowMutex() held.
HWND__* lookUpWindow(HWND hWnd);

// The calling thread's last-error value.
void setLastError(DWORD error);
DWORD lastError();

} // namespace swwin32
