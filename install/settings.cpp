// Reading the registry settings. Every failure is silent: callers take empty
// text as "not set".
#include "install/settings.h"

#include <windows.h>

#include <cstring>

namespace {

class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* subKey)
    {
        if (RegOpenKeyExA(parent, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~RegistryKey()
    {
        if (key != nullptr)
            RegCloseKey(key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const { return key; }

private:
    HKEY key = nullptr;
};

}  // namespace

std::string ReadRegistryText(const char* subKey, const char* valueName)
{
    RegistryKey key(HKEY_LOCAL_MACHINE, subKey);
    if (key.Get() == nullptr)
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
