#include "support/test_windows.h"

#include <cstdlib>

OwnerWindow::OwnerWindow()
    : window(CreateWindowExA(0, "STATIC", "page", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr))
{
}

OwnerWindow::~OwnerWindow()
{
    DestroyWindow(window);
}

int CountOpenHandles()
{
    int count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 16384; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

std::string Utf8(const std::wstring& wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), &out[0], size, nullptr, nullptr);
    return out;
}

int WineMajor()
{
    using Version = const char*(CDECL*)();
    const Version version = reinterpret_cast<Version>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    return version == nullptr ? 0 : std::atoi(version());
}
