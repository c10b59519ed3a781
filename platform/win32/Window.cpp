#include "win32/Window.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <exception>
#include <new>
#include <unordered_set>

namespace swwin32 {

namespace {

const uint32_t WINDOW_MAGIC = 0x574e4457; // "WDNW"
const UINT DEFAULT_CLIENT_WIDTH = 640;
const UINT DEFAULT_CLIENT_HEIGHT = 480;

std::unordered_set<HWND__*>& liveWindows()
{
    static std::unordered_set<HWND__*> windows;
    return windows;
}

thread_local DWORD t_lastError = 0;

bool equalsIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b))
            return false;
    }
    return *a == *b;
}

UINT sizeOrDefault(int size, UINT fallback)
{
    if (size == CW_USEDEFAULT)
        return fallback;
    return size < 0 ? 0 : static_cast<UINT>(size);
}

} // namespace

std::mutex& windowMutex()
{
    static std::mutex mutex;
    return mutex;
}

HWND__* lookUpWindow(HWND hWnd)
{
    if (!hWnd || liveWindows().count(hWnd) == 0)
        return nullptr;
    return hWnd;
}

void setLastError(DWORD error) { t_lastError = error; }
DWORD lastError() { return t_lastError; }

// Classes that exist without registration.
bool isKnownClass(const wchar_t* name)
{
    static const wchar_t* const classes[] = {L"STATIC", L"BUTTON", L"EDIT"};
    for (const wchar_t* known : classes) {
        if (equalsIgnoringCase(name, known))
            return true;
    }
    return false;
}

HWND createWindow(DWORD exStyle, DWORD style, int x, int y, int width, int height)
{
    HWND__* window = new (std::nothrow) HWND__();
    if (!window) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    window->magic = WINDOW_MAGIC;
    window->x = x == CW_USEDEFAULT ? 0 : x;
    window->y = y == CW_USEDEFAULT ? 0 : y;
    window->clientWidth = sizeOrDefault(width, DEFAULT_CLIENT_WIDTH);
    window->clientHeight = sizeOrDefault(height, DEFAULT_CLIENT_HEIGHT);
    window->style = style;
    window->exStyle = exStyle;
    window->visible = (style & WS_VISIBLE) != 0;
    std::lock_guard<std::mutex> lock(windowMutex());
    try {
        liveWindows().insert(window);
    } catch (const std::exception&) {
        delete window;
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return window;
}

bool destroyWindow(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    if (!window)
        return false;
    liveWindows().erase(window);
    window->magic = 0;
    delete window;
    return true;
}

} // namespace swwin32

using namespace swwin32;

extern "C" {

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    (void)lpWindowName;
    (void)hMenu;
    (void)hInstance;
    (void)lpParam;
    if (!lpClassName || !isKnownClass(lpClassName)) {
        setLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (hWndParent) {
        std::lock_guard<std::mutex> lock(windowMutex());
        if (!lookUpWindow(hWndParent)) {
            setLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    }
    return createWindow(dwExStyle, dwStyle, X, Y, nWidth, nHeight);
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    (void)lpWindowName;
    wchar_t className[256] = {};
    if (lpClassName)
        MultiByteToWideChar(CP_ACP, 0, lpClassName, -1, className, 255);
    return CreateWindowExW(dwExStyle, lpClassName ? className : nullptr, L"", dwStyle, X, Y, nWidth, nHeight,
                           hWndParent, hMenu, hInstance, lpParam);
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    if (!destroyWindow(hWnd)) {
        setLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    return lookUpWindow(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    if (!window || !lpRect) {
        setLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    lpRect->left = 0;
    lpRect->top = 0;
    lpRect->right = static_cast<LONG>(window->clientWidth);
    lpRect->bottom = static_cast<LONG>(window->clientHeight);
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    if (!window || !lpRect) {
        setLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Windows here have no frame: the window is its client area.
    lpRect->left = window->x;
    lpRect->top = window->y;
    lpRect->right = window->x + static_cast<LONG>(window->clientWidth);
    lpRect->bottom = window->y + static_cast<LONG>(window->clientHeight);
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint)
{
    (void)bRepaint;
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    if (!window) {
        setLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->x = X;
    window->y = Y;
    window->clientWidth = nWidth < 0 ? 0 : static_cast<UINT>(nWidth);
    window->clientHeight = nHeight < 0 ? 0 : static_cast<UINT>(nHeight);
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    if (!window)
        return FALSE;
    const BOOL wasVisible = window->visible ? TRUE : FALSE;
    window->visible = nCmdShow != SW_HIDE;
    return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(windowMutex());
    HWND__* window = lookUpWindow(hWnd);
    return window && window->visible ? TRUE : FALSE;
}

DWORD WINAPI GetLastError(void) { return lastError(); }
void WINAPI SetLastError(DWORD dwErrCode) { setLastError(dwErrCode); }

} // extern "C"
