// The setup program's registry changes, each a small step that says what it
// found and did. Names and values are UTF-16 throughout: another vendor's
// entry in any script is written back exactly as it was read.
#ifndef KUVANA_SETUP_MACHINE_H
#define KUVANA_SETUP_MACHINE_H

#include <windows.h>

#include <string>
#include <vector>

namespace setup {

extern const wchar_t kCoDeviceInstallersKey[];  // SYSTEM\CurrentControlSet\Control\CoDeviceInstallers

// True when this process runs with administrator rights (an elevated token).
bool RunsElevated();

// The readers' class's co-installer list under CoDeviceInstallers; `exists`
// false when there is no value. False with a message when it cannot be read
// or is no well-formed REG_MULTI_SZ (then nothing may be written over it).
bool ReadClassCoInstallers(std::vector<std::wstring>* entries, bool* exists, std::string* error);
// Writes the list, or deletes the value when the list is empty.
bool WriteClassCoInstallers(const std::vector<std::wstring>& entries, std::string* error);

// The class key's display name, class name and icon (what [ClassInstall32]
// would write), each only where the key has no such value yet. What it wrote
// is recorded beside them, so that RemoveClassKeyValues takes out that and
// nothing else. `written` names the values it wrote.
bool AddClassKeyValues(std::vector<std::wstring>* written, std::string* error);
// Deletes the recorded values that still hold what AddClassKeyValues wrote,
// and the class key when AddClassKeyValues made it and it is empty again.
bool RemoveClassKeyValues(std::vector<std::wstring>* removed, std::string* error);

// Driver keys of the class whose CoInstallers32 names one of our DLLs, as
// "0000: kuvana_coinst.dll,ClassInstaller".
std::vector<std::wstring> DeviceCoInstallerRegistrations();

}  // namespace setup

#endif
