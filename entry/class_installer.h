// The exported device-installation callback.
#ifndef KUVANA_ENTRY_CLASS_INSTALLER_H
#define KUVANA_ENTRY_CLASS_INSTALLER_H

#include <windows.h>
#include <setupapi.h>

// Not in every SDK's setupapi.h.
#ifndef DIF_FINISHINSTALL_ACTION
#define DIF_FINISHINSTALL_ACTION 0x0000002A
#endif
#ifndef DI_FLAGSEX_FINISHINSTALL_ACTION
#define DI_FLAGSEX_FINISHINSTALL_ACTION 0x00000008L
#endif

// The combined driver-and-software installer holds this while it runs.
extern const char kDriverInstallerMutexName[];

extern "C" DWORD WINAPI ClassInstaller(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                       PSP_DEVINFO_DATA deviceInfoData);

// ORs extraFlagsEx (and DI_NEEDREBOOT when asked) into the device's install
// parameters; leaves them alone when they cannot be read.
void UpdateDeviceInstallFlags(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, bool needReboot,
                              DWORD extraFlagsEx);

#endif
