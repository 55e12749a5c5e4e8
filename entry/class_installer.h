// The exported device-installation callback.
#ifndef KUVANA_ENTRY_CLASS_INSTALLER_H
#define KUVANA_ENTRY_CLASS_INSTALLER_H

#include <windows.h>
#include <setupapi.h>

extern "C" DWORD WINAPI ClassInstaller(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                       PSP_DEVINFO_DATA deviceInfoData);

#endif
