// The system's PATH and whether we are SYSTEM.
#include "trust/system_environment.h"

#include <windows.h>

#include <vector>

#include "trust/environment.h"
#include "common/win_handles.h"

namespace {

const wchar_t kEnvironmentKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey()
    {
        if (key != nullptr)
            RegCloseKey(key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY key = nullptr;
};

// The key's string values, unexpanded, after the Windows folder's own names.
Variables SystemVariables(HKEY key)
{
    Variables variables;
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const std::wstring folder(windows, length);
        variables.push_back({L"SystemRoot", folder});
        variables.push_back({L"windir", folder});
        variables.push_back({L"SystemDrive", folder.substr(0, 2)});
    }
    DWORD longestName = 0, longestValue = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                         &longestValue, nullptr, nullptr) != ERROR_SUCCESS)
        return variables;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> value(longestValue + sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = DWORD(name.size()), valueSize = DWORD(value.size()), type = 0;
        const LONG status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, value.data(), &valueSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            continue;
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data()), valueSize / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        variables.push_back({std::wstring(name.data(), nameLength), text});
    }
    return variables;
}

}  // namespace

bool RunningAsSystem()
{
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const DeviceHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    return size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
           IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, WinLocalSystemSid);
}

std::wstring ReadSystemPath()
{
    RegistryKey environment;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_QUERY_VALUE, &environment.key) != ERROR_SUCCESS)
        return std::wstring();
    // Expanded with the system's own values: the caller's SystemRoot is as
    // much the caller's as its PATH.
    const Variables variables = SystemVariables(environment.key);
    for (const auto& variable : variables)
        if (CompareStringOrdinal(variable.first.c_str(), int(variable.first.size()), L"Path", 4, TRUE) == CSTR_EQUAL)
            return ExpandVariables(variable.second, variables);
    return std::wstring();
}
