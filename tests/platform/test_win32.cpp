// The Win32 subset: windows with a client size, module names, code pages.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(Windows, StaticWindowHasItsClientSizeUntilDestroyed)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 320, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    RECT rect;
    ASSERT_TRUE(GetClientRect(window, &rect));
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(320, rect.right);
    EXPECT_EQ(200, rect.bottom);
    ASSERT_TRUE(MoveWindow(window, 5, 5, 100, 50, FALSE));
    ASSERT_TRUE(GetClientRect(window, &rect));
    EXPECT_EQ(100, rect.right);
    EXPECT_EQ(50, rect.bottom);
    EXPECT_TRUE(DestroyWindow(window));
    // A destroyed handle is no window any more.
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(GetClientRect(window, &rect));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST(Windows, HiddenZeroSizeWindowAndUnknownClass)
{
    HWND window = CreateWindowExW(0, L"static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    RECT rect;
    ASSERT_TRUE(GetClientRect(window, &rect));
    EXPECT_EQ(0, rect.right);
    DestroyWindow(window);
    EXPECT_EQ(nullptr, CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
}

TEST(Modules, ExecutablePathNamesTheExecutableModule)
{
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::wstring(path).size());
    EXPECT_NE(std::wstring::npos, std::wstring(path).find(L"kxd3d9_tests"));
    EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(path));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"/no/such/module.so"));
    // A buffer too small gets a terminated prefix and its own size back.
    WCHAR small[4];
    EXPECT_EQ(4u, GetModuleFileNameW(nullptr, small, 4));
    EXPECT_EQ(L'\0', small[3]);
}

TEST(CodePages, Utf8RoundTripWithTerminatorAndSizeQueries)
{
    const char* text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    ASSERT_EQ(10, wideLength); // 9 characters and the terminator
    std::wstring wide(static_cast<size_t>(wideLength), L'?');
    ASSERT_EQ(wideLength, MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], wideLength));
    EXPECT_EQ(L'\u00FC', wide[2]);
    EXPECT_EQ(static_cast<wchar_t>(0x1F600), wide[8]);
    const int narrowLength = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(narrowLength), '?');
    ASSERT_EQ(narrowLength,
              WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], narrowLength, nullptr, nullptr));
    EXPECT_STREQ(text, narrow.c_str());
    // Too small a buffer fails without writing past it.
    wchar_t tiny[3];
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, text, -1, tiny, 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    // Broken UTF-8 is refused when asked to be strict.
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3(", 2, tiny, 3));
    EXPECT_EQ(2, MultiByteToWideChar(CP_UTF8, 0, "\xC3(", 2, tiny, 3));
    EXPECT_EQ(L'\uFFFD', tiny[0]);
}
