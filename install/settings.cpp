// Reading the registry settings. Every failure is silent: callers take empty
// text as "not set".
#include "install/settings.h"

#include <windows.h>

#include <cstring>

#include "common/win_handles.h"

std::string ReadRegistryText(const char* subKey, const char* valueName)
{
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, subKey))
        return std::string();
    char buffer[kRegistryTextBufferSize];
    DWORD size = sizeof(buffer);
    // The type is not looked at: whatever the value holds is taken as text.
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size)
        != ERROR_SUCCESS)
        return std::string();
    if (size > sizeof(buffer))
        size = sizeof(buffer);
    const void* nul = memchr(buffer, '\0', size);
    return std::string(buffer, nul ? static_cast<const char*>(nul) - buffer : size);
}

std::string ReadUrlListSetting()
{
    return ReadRegistryText(kNetInstallerKey, kUrlListValue);
}

std::string ReadNetInstallerSetting()
{
    return ReadRegistryText(kNetInstallerKey, kNetInstallerValue);
}

std::string ReadBasicSoftwareVersion()
{
    return ReadRegistryText(kBasicSoftwareKey, kBasicSoftwareVersionValue);
}
