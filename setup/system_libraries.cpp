#include "setup/system_libraries.h"

#include "trust/signature_calls.h"

namespace {

SignatureCalls signatureCalls = {};
setup::UpdateDriverFn updateDriver = nullptr;

}  // namespace

const SignatureCalls& TheSignatureCalls()
{
    return signatureCalls;
}

namespace setup {

namespace {

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

namespace {

// `name`'s address in `module` as the pointer type `T`; false when missing.
template <typename T>
bool Take(HMODULE module, const char* name, T* function, std::string* error)
{
    *function = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*function == nullptr)
        *error = std::string("the system's DLL lacks ") + name;
    return *function != nullptr;
}

HMODULE Load(const wchar_t* name, std::string* error)
{
    HMODULE module = LoadFromSystemFolder(name);
    if (module == nullptr) {
        const std::wstring wide(name);
        *error = "cannot load " + std::string(wide.begin(), wide.end()) + " from the system folder (error " +
                 std::to_string(GetLastError()) + ")";
    }
    return module;
}

}  // namespace

bool LoadSystemLibraries(std::string* error)
{
    // crypt32 before wintrust, which imports it.
    HMODULE crypt32 = Load(L"crypt32.dll", error);
    HMODULE wintrust = crypt32 == nullptr ? nullptr : Load(L"wintrust.dll", error);
    HMODULE newdev = wintrust == nullptr ? nullptr : Load(L"newdev.dll", error);
    SignatureCalls calls = {};
    UpdateDriverFn update = nullptr;
    if (newdev == nullptr || !Take(crypt32, "CertGetNameStringW", &calls.certGetNameString, error) ||
        !Take(wintrust, "WinVerifyTrust", &calls.verifyTrust, error) ||
        !Take(wintrust, "WTHelperProvDataFromStateData", &calls.provDataFromStateData, error) ||
        !Take(wintrust, "WTHelperGetProvSignerFromChain", &calls.provSignerFromChain, error) ||
        !Take(newdev, "UpdateDriverForPlugAndPlayDevicesW", &update, error))
        return false;
    signatureCalls = calls;
    updateDriver = update;
    return true;
}

UpdateDriverFn UpdateDriverCall()
{
    return updateDriver;
}

}  // namespace setup
