// The class installer's HKEY_LOCAL_MACHINE settings as tests set and clear
// them. Tests that change them take the CTest lock kuvana_hklm_settings.
#ifndef KUVANA_TESTS_SUPPORT_MACHINE_SETTINGS_H
#define KUVANA_TESTS_SUPPORT_MACHINE_SETTINGS_H

#include <string>

// Sets HKLM\key\value to `text` (REG_SZ), or deletes the value when null.
void SetMachineText(const char* key, const char* value, const std::string* text);
// The "URL List" setting; null deletes it.
void SetUrlListSetting(const std::string* url);

#endif
