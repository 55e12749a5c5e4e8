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

namespace {

int callDepth = 0;  // calls in progress on the framework's thread

// A framework may call the co-installer again while a call is in progress:
// Wine sends DIF_DESTROYPRIVATEDATA for every device of a set the probes
// destroy. The nested call must leave the device of the call in progress in
// place, or AddPage would work on the probes' destroyed set.
class CurrentDevice {
public:
    CurrentDevice(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData)
        : outerSet(currentDeviceInfoSet), outerData(currentDeviceInfoData), nested(callDepth > 0)
    {
        ++callDepth;
        currentDeviceInfoSet = deviceInfoSet;
        currentDeviceInfoData = deviceInfoData;
    }
    ~CurrentDevice()
    {
        --callDepth;
        if (nested) {
            currentDeviceInfoSet = outerSet;
            currentDeviceInfoData = outerData;
        }
    }
    CurrentDevice(const CurrentDevice&) = delete;
    CurrentDevice& operator=(const CurrentDevice&) = delete;

private:
    HDEVINFO outerSet;
    PSP_DEVINFO_DATA outerData;
    bool nested;
};

}  // namespace

extern "C" DWORD WINAPI ClassInstaller(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                       PSP_DEVINFO_DATA deviceInfoData)
{
    IsolationAwareInitCommonControls();
    CurrentDevice current(deviceInfoSet, deviceInfoData);
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
