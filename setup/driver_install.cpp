#include "setup/driver_install.h"

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>

#include "common/win_handles.h"
#include "reader_class.h"
#include "setup/report.h"
#include "setup/system_libraries.h"

namespace setup {

namespace {

// The version in the device's driver key, as the INF's AddReg wrote it.
std::wstring PresentDriverVersion(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return std::wstring();
    wchar_t value[64] = {};
    DWORD type = 0, size = sizeof value - sizeof value[0];
    if (RegQueryValueExW(key, L"DriverVersion", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS || type != REG_SZ)
        value[0] = L'\0';
    RegCloseKey(key);
    return value;
}

// Every present device of the class runs this very driver version, so
// installing it again over them changes no driver.
bool PresentDevicesRunVersion(const DriverPackage& package)
{
    DeviceInfoSet set(SetupDiGetClassDevsW(&kReaderClassGuid, nullptr, nullptr, DIGCF_PRESENT));
    if (set.Get() == INVALID_HANDLE_VALUE || package.driverVersion.empty())
        return false;
    bool any = false;
    SP_DEVINFO_DATA device;
    for (DWORD i = 0;; ++i) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.Get(), i, &device))
            break;
        if (PresentDriverVersion(set.Get(), &device) != package.driverVersion)
            return false;
        any = true;
    }
    return any;
}

// A present device with this hardware or compatible id. Asked before
// installing, as not every framework reports a missing device as an error.
bool DevicePresent(const std::wstring& id)
{
    DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (set.Get() == INVALID_HANDLE_VALUE)
        return true;  // let the installation itself tell
    SP_DEVINFO_DATA device;
    for (DWORD i = 0;; ++i) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.Get(), i, &device))
            return false;
        for (DWORD property : {DWORD(SPDRP_HARDWAREID), DWORD(SPDRP_COMPATIBLEIDS)}) {
            wchar_t ids[2048] = {};
            if (!SetupDiGetDeviceRegistryPropertyW(set.Get(), &device, property, nullptr,
                                                   reinterpret_cast<BYTE*>(ids), sizeof ids - 2 * sizeof ids[0],
                                                   nullptr))
                continue;
            for (const wchar_t* p = ids; *p != L'\0'; p += wcslen(p) + 1)
                if (_wcsicmp(p, id.c_str()) == 0)
                    return true;
        }
    }
}

}  // namespace

DriverResult InstallDriver(const DriverPackage& package, bool* restart, std::vector<std::string>* lines)
{
    *restart = false;
    // In the store, the package reaches a reader plugged in later too.
    wchar_t published[MAX_PATH] = {};
    if (!SetupCopyOEMInfW(package.inf.c_str(), nullptr, SPOST_PATH, 0, published, MAX_PATH, nullptr, nullptr)) {
        lines->push_back("cannot add the package to the driver store (error " + std::to_string(GetLastError()) + ")");
        return DriverResult::Failed;
    }
    lines->push_back("added to the driver store as " + Utf8(published));
    DriverResult result = DriverResult::NoReader;
    for (const std::wstring& wideId : package.hardwareIds) {
        const std::string id = Utf8(wideId);
        if (!DevicePresent(wideId)) {
            lines->push_back(id + ": no reader present");
            continue;
        }
        BOOL reboot = FALSE;
        const UpdateDriverFn update = UpdateDriverCall();
        if (update == nullptr) {
            lines->push_back("newdev.dll is not loaded");
            return DriverResult::Failed;
        }
        BOOL ok = update(nullptr, wideId.c_str(), package.inf.c_str(), 0, &reboot);
        DWORD error = ok ? 0 : GetLastError();
        // Not better than the present driver: installed again only when that
        // is this very version, so that no newer driver is replaced.
        if (!ok && error == ERROR_NO_MORE_ITEMS && PresentDevicesRunVersion(package)) {
            ok = update(nullptr, wideId.c_str(), package.inf.c_str(), INSTALLFLAG_FORCE, &reboot);
            error = ok ? 0 : GetLastError();
        }
        *restart = *restart || reboot;
        if (ok) {
            lines->push_back(id + ": the readers present got this driver");
            result = DriverResult::Updated;
        } else if (error == ERROR_NO_SUCH_DEVINST) {
            lines->push_back(id + ": no reader present");
        } else if (error == ERROR_NO_MORE_ITEMS) {
            lines->push_back(id + ": the readers present keep their newer driver");
            if (result == DriverResult::NoReader)
                result = DriverResult::NewerKept;
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(error));
            lines->push_back(id + ": not installed (error 0x" + hex + ")");
            return DriverResult::Failed;
        }
    }
    return result;
}

}  // namespace setup
