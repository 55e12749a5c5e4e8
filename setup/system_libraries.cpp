#include "setup/system_libraries.h"

#include <windows.h>

namespace setup {

namespace {

// Those the program delay-loads (setup/setup.cmake); crypt32 before wintrust,
// which imports it.
const wchar_t* const kDelayLoaded[] = {L"crypt32.dll", L"wintrust.dll", L"newdev.dll"};

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

HMODULE LoadFromSystemFolder(const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // Without the flag (Vista, 7 without KB2533623): the full path, and its
    // own imports looked up from the system folder rather than ours.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryExW((std::wstring(folder) + L"\\" + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const SetDefaultDllDirectoriesFn setDefault =
        kernel == nullptr ? nullptr
                          : reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

bool LoadSystemLibraries(std::string* error)
{
    for (const wchar_t* name : kDelayLoaded) {
        if (LoadFromSystemFolder(name) == nullptr) {
            const std::wstring wide(name);
            *error = "cannot load " + std::string(wide.begin(), wide.end()) + " from the system folder (error " +
                     std::to_string(GetLastError()) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace setup
