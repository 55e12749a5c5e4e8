#include "entry/class_installer.h"

#include <cstring>

#include "pages/common_controls.h"
#include "pages/install_progress_page.h"
#include "pages/license_page.h"
#include "pages/software_status_page.h"
#include "pages/wizard_page.h"
#include "probe/decision.h"

const char kDriverInstallerMutexName[] = "KuvanaPortWithDriver.exe Single Execution Mutex";

namespace {

// Only an existence test: the mutex is never kept, never waited on.
bool DriverInstallerRunning()
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kDriverInstallerMutexName);
    if (mutex == nullptr)
        return false;  // cannot tell: behave as if nobody else were installing
    DWORD error = GetLastError();
    CloseHandle(mutex);
    return error == ERROR_ALREADY_EXISTS;
}

void FinishInstall(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData)
{
    SelectPackages();
    if (NeedWizardPages() != 0 && !DriverInstallerRunning()) {
        licensePage.AddPage();
        installProgressPage.AddPage();
    }
    // From 6.0 on the framework calls back with DIF_FINISHINSTALL_ACTION when asked.
    if (!IsVistaOrLater())
        return;
    UpdateDeviceInstallFlags(deviceInfoSet, deviceInfoData, false, DI_FLAGSEX_FINISHINSTALL_ACTION);
}

}  // namespace

void UpdateDeviceInstallFlags(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, bool needReboot,
                              DWORD extraFlagsEx)
{
    SP_DEVINSTALL_PARAMS_A params;
    memset(&params, 0, sizeof params);
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsA(deviceInfoSet, deviceInfoData, &params))
        return;
    params.FlagsEx |= extraFlagsEx;
    if (needReboot)
        params.Flags |= DI_NEEDREBOOT;
    SetupDiSetDeviceInstallParamsA(deviceInfoSet, deviceInfoData, &params);
}

extern "C" DWORD WINAPI ClassInstaller(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                       PSP_DEVINFO_DATA deviceInfoData)
{
    IsolationAwareInitCommonControls();
    currentDeviceInfoSet = deviceInfoSet;
    currentDeviceInfoData = deviceInfoData;
    switch (installFunction) {
    case DIF_NEWDEVICEWIZARD_FINISHINSTALL:
        FinishInstall(deviceInfoSet, deviceInfoData);
        return NO_ERROR;
    case DIF_ADDPROPERTYPAGE_ADVANCED:
        return softwareStatusPage.AddPage();
    case DIF_FINISHINSTALL_ACTION:
        UpdateDeviceInstallFlags(deviceInfoSet, deviceInfoData, true, 0);
        return NO_ERROR;
    default:
        return NO_ERROR;
    }
}
