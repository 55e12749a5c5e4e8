// The machine-wide changes the setup program makes, each a small step that
// says what it found and did.
#ifndef KUVANA_SETUP_MACHINE_H
#define KUVANA_SETUP_MACHINE_H

#include <windows.h>

#include <string>
#include <vector>

#include "setup/driver_package.h"

namespace setup {

extern const char kCoDeviceInstallersKey[];  // SYSTEM\CurrentControlSet\Control\CoDeviceInstallers

// True when this process runs with administrator rights (an elevated token).
bool RunsElevated();

// The class's co-installer list under CoDeviceInstallers; `exists` false when
// there is no value. False with a message when it cannot be read or is no
// REG_MULTI_SZ (then nothing may be written over it).
bool ReadClassCoInstallers(const std::string& classGuid, std::vector<std::string>* entries, bool* exists,
                           std::string* error);
// Writes the list, or deletes the value when the list is empty.
bool WriteClassCoInstallers(const std::string& classGuid, const std::vector<std::string>& entries,
                            std::string* error);

// The class key's display name, class name and icon (what [ClassInstall32]
// would write).
bool WriteClassKey(const DriverPackage& package, std::string* error);

// Driver keys of the class whose CoInstallers32 names one of our DLLs, as
// "0000: kuvana_coinst.dll,ClassInstaller".
std::vector<std::string> DeviceCoInstallerRegistrations(const std::string& classGuid);

std::string SystemFolder();

// Copies a file unless an identical one is there; `what` says which.
bool CopyIfDifferent(const std::string& source, const std::string& target, std::string* what, std::string* error);

enum class Removal { Removed, Missing, AtRestart, Failed };
// Deletes the file, or when it is in use (a loaded co-installer) schedules
// its deletion for the next restart.
Removal RemoveFile(const std::string& path, DWORD* error);

enum class DriverResult { Updated, NoReader, NewerKept, Failed };
// Adds the package to the driver store and installs it on every present
// device with one of its hardware ids. `lines` gets one line per id.
DriverResult InstallDriver(const DriverPackage& package, bool* restart, std::vector<std::string>* lines);

}  // namespace setup

#endif
