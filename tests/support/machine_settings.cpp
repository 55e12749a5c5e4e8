// The class installer's machine settings, written by tests.
#include "support/machine_settings.h"

#include <windows.h>

#include "install/settings.h"

void SetMachineText(const char* key, const char* value, const std::string* text)
{
    HKEY handle = nullptr;
    if (text == nullptr) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &handle) == ERROR_SUCCESS) {
            RegDeleteValueA(handle, value);
            RegCloseKey(handle);
        }
        return;
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()), DWORD(text->size() + 1));
    RegCloseKey(handle);
}

void SetUrlListSetting(const std::string* url)
{
    SetMachineText(kNetInstallerKey, kUrlListValue, url);
}
