#include "entry/class_installer.h"

extern "C" DWORD WINAPI ClassInstaller(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                       PSP_DEVINFO_DATA deviceInfoData)
{
    (void)installFunction;
    (void)deviceInfoSet;
    (void)deviceInfoData;
    return NO_ERROR;
}
