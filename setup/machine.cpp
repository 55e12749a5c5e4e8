#include "setup/machine.h"

#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

#include "common/win_handles.h"
#include "setup/coinstaller_list.h"

namespace setup {

const char kCoDeviceInstallersKey[] = "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";

namespace {

const char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (handle_ != nullptr)
            RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    LONG Open(HKEY parent, const std::string& path, REGSAM access)
    {
        return RegOpenKeyExA(parent, path.c_str(), 0, access | KEY_WOW64_64KEY, &handle_);
    }
    LONG Create(HKEY parent, const std::string& path)
    {
        return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                               &handle_, nullptr);
    }
    HKEY Get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

std::string Message(const char* what, LONG status)
{
    return std::string(what) + " (error " + std::to_string(status) + ")";
}

// A REG_MULTI_SZ or REG_SZ value's bytes; empty when missing.
LONG QueryMulti(HKEY key, const char* name, std::string* bytes, DWORD* type)
{
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    bytes->assign(size, '\0');
    status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*bytes)[0]), &size);
    bytes->resize(size);
    return status;
}

bool SetString(HKEY key, const char* name, const std::string& value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

// The version in the device's driver key, as the INF's AddReg wrote it.
std::string PresentDriverVersion(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return std::string();
    char value[64] = {};
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key, "DriverVersion", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS || type != REG_SZ)
        value[0] = '\0';
    RegCloseKey(key);
    return value;
}

// Every present device of the class runs this very driver version, so
// installing it again over them changes no driver.
bool PresentDevicesRunVersion(const DriverPackage& package)
{
    DeviceInfoSet set(SetupDiGetClassDevsA(&package.classGuid, nullptr, nullptr, DIGCF_PRESENT));
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
bool DevicePresent(const std::string& id)
{
    DeviceInfoSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (set.Get() == INVALID_HANDLE_VALUE)
        return true;  // let the installation itself tell
    SP_DEVINFO_DATA device;
    for (DWORD i = 0;; ++i) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.Get(), i, &device))
            return false;
        for (DWORD property : {DWORD(SPDRP_HARDWAREID), DWORD(SPDRP_COMPATIBLEIDS)}) {
            char ids[2048] = {};
            if (!SetupDiGetDeviceRegistryPropertyA(set.Get(), &device, property, nullptr,
                                                   reinterpret_cast<BYTE*>(ids), sizeof ids - 2, nullptr))
                continue;
            for (const char* p = ids; *p != '\0'; p += strlen(p) + 1)
                if (_stricmp(p, id.c_str()) == 0)
                    return true;
        }
    }
}

}  // namespace

bool RunsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

bool ReadClassCoInstallers(const std::string& classGuid, std::vector<std::string>* entries, bool* exists,
                           std::string* error)
{
    entries->clear();
    *exists = false;
    Key key;
    LONG status = key.Open(HKEY_LOCAL_MACHINE, kCoDeviceInstallersKey, KEY_READ);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS) {
        *error = Message("cannot open CoDeviceInstallers", status);
        return false;
    }
    std::string bytes;
    DWORD type = 0;
    status = QueryMulti(key.Get(), classGuid.c_str(), &bytes, &type);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        *error = status != ERROR_SUCCESS ? Message("cannot read the class's value", status)
                                         : "the class's value is not a REG_MULTI_SZ list; it is left as it is";
        return false;
    }
    *exists = true;
    *entries = ParseMultiString(bytes);
    return true;
}

bool WriteClassCoInstallers(const std::string& classGuid, const std::vector<std::string>& entries, std::string* error)
{
    Key key;
    LONG status = key.Create(HKEY_LOCAL_MACHINE, kCoDeviceInstallersKey);
    if (status == ERROR_SUCCESS) {
        if (entries.empty()) {
            status = RegDeleteValueA(key.Get(), classGuid.c_str());
            if (status == ERROR_FILE_NOT_FOUND)
                status = ERROR_SUCCESS;
        } else {
            const std::string bytes = BuildMultiString(entries);
            status = RegSetValueExA(key.Get(), classGuid.c_str(), 0, REG_MULTI_SZ,
                                    reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
        }
    }
    if (status != ERROR_SUCCESS)
        *error = Message("cannot write CoDeviceInstallers", status);
    return status == ERROR_SUCCESS;
}

bool WriteClassKey(const DriverPackage& package, std::string* error)
{
    Key key;
    LONG status = key.Create(HKEY_LOCAL_MACHINE, kClassKey + package.classGuidText);
    if (status != ERROR_SUCCESS || !SetString(key.Get(), nullptr, package.classTitle) ||
        !SetString(key.Get(), "Class", package.className) || !SetString(key.Get(), "Icon", "-20")) {
        *error = Message("cannot write the class key", status);
        return false;
    }
    return true;
}

std::vector<std::string> DeviceCoInstallerRegistrations(const std::string& classGuid)
{
    std::vector<std::string> found;
    Key classKey;
    if (classKey.Open(HKEY_LOCAL_MACHINE, kClassKey + classGuid, KEY_READ) != ERROR_SUCCESS)
        return found;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(classKey.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Key driverKey;
        std::string bytes;
        DWORD type = 0;
        if (driverKey.Open(classKey.Get(), name, KEY_READ) != ERROR_SUCCESS ||
            QueryMulti(driverKey.Get(), "CoInstallers32", &bytes, &type) != ERROR_SUCCESS)
            continue;
        // REG_SZ is read as a one-entry list, as the framework reads it.
        std::vector<std::string> entries = ParseMultiString(type == REG_SZ || type == REG_MULTI_SZ ? bytes : "");
        for (const std::string& entry : entries)
            if (NamesOurCoInstaller(entry))
                found.push_back(std::string(name) + ": " + entry);
    }
    return found;
}

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder) : std::string();
}

bool CopyIfDifferent(const std::string& source, const std::string& target, std::string* what, std::string* error)
{
    auto read = [](const std::string& path, std::string* bytes) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        LARGE_INTEGER size = {};
        bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
        if (ok) {
            bytes->assign(size_t(size.QuadPart), '\0');
            DWORD got = 0;
            ok = bytes->empty() || (ReadFile(file, &(*bytes)[0], DWORD(bytes->size()), &got, nullptr) &&
                                    got == bytes->size());
        }
        CloseHandle(file);
        return ok;
    };
    std::string wanted, present;
    if (!read(source, &wanted)) {
        *error = "cannot read " + source;
        return false;
    }
    if (read(target, &present) && present == wanted) {
        *what = "already there";
        return true;
    }
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        *error = Message(("cannot copy it to " + target).c_str(), LONG(GetLastError()));
        return false;
    }
    *what = "copied";
    return true;
}

Removal RemoveFile(const std::string& path, DWORD* error)
{
    if (DeleteFileA(path.c_str()))
        return Removal::Removed;
    *error = GetLastError();
    if (*error == ERROR_FILE_NOT_FOUND)
        return Removal::Missing;
    if ((*error == ERROR_ACCESS_DENIED || *error == ERROR_SHARING_VIOLATION) &&
        MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return Removal::AtRestart;
    *error = GetLastError();
    return Removal::Failed;
}

DriverResult InstallDriver(const DriverPackage& package, bool* restart, std::vector<std::string>* lines)
{
    *restart = false;
    // In the store, the package reaches a reader plugged in later too.
    char published[MAX_PATH] = {};
    if (!SetupCopyOEMInfA(package.inf.c_str(), nullptr, SPOST_PATH, 0, published, MAX_PATH, nullptr, nullptr)) {
        lines->push_back("cannot add the package to the driver store (error " + std::to_string(GetLastError()) + ")");
        return DriverResult::Failed;
    }
    lines->push_back("added to the driver store as " + std::string(published));
    DriverResult result = DriverResult::NoReader;
    for (const std::string& id : package.hardwareIds) {
        if (!DevicePresent(id)) {
            lines->push_back(id + ": no reader present");
            continue;
        }
        BOOL reboot = FALSE;
        BOOL ok = UpdateDriverForPlugAndPlayDevicesA(nullptr, id.c_str(), package.inf.c_str(), 0, &reboot);
        DWORD error = ok ? 0 : GetLastError();
        // Not better than the present driver: installed again only when that
        // is this very version, so that no newer driver is replaced.
        if (!ok && error == ERROR_NO_MORE_ITEMS && PresentDevicesRunVersion(package)) {
            ok = UpdateDriverForPlugAndPlayDevicesA(nullptr, id.c_str(), package.inf.c_str(), INSTALLFLAG_FORCE,
                                                    &reboot);
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
