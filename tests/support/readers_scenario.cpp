// Installs simulated readers into the Wine prefix (see readers_scenario.h).
#include "support/readers_scenario.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace readers {

const char softwareKey[] = "SOFTWARE\\Wow6432Node\\Zorvik Corporation\\Kuvana Port Software";
const char uninstallKey[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{6A2E91C4-3B7D-4E05-9F18-C2D47B0E5A63}";
const char driverSoftwareKey[] = "SOFTWARE\\Wow6432Node\\Zorvik Corporation\\Kuvana Port 2.0 Driver Software";

namespace {

const char hardwareId[] = "Root\\ZrvSim";
const char instancePrefix[] = "ROOT\\ZRVSIM\\";
const char enumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\ZRVSIM";
const char readerClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{bcdbf9f1-587d-4dc8-90d6-5c8a17119cd5}";
const char fakeInterfaceKey[] = "##?#ZZZFAKE#NOBRACE";
const GUID readerClass = {0xBCDBF9F1, 0x587D, 0x4DC8, {0x90, 0xD6, 0x5C, 0x8A, 0x17, 0x11, 0x9C, 0xD5}};
const GUID pcCardClass = {0x1AB5ECA2, 0xF4D9, 0x46B9, {0x9A, 0xF7, 0x3C, 0xA0, 0x12, 0xAC, 0x32, 0x7E}};
const char* const driverFileNames[3] = {"zrvport.sys", "zrvemb.sys", "zrvpccard.sys"};

size_t installedCount = 0;
std::string installReport;  // the wizard host's report of the last driver installation
std::vector<Counters> baselines;  // per reader, as Install left it

bool Fail(std::string* error, const std::string& what, DWORD code = GetLastError())
{
    if (error != nullptr) {
        char text[64];
        std::snprintf(text, sizeof text, " (error %lu)", static_cast<unsigned long>(code));
        *error = what + text;
    }
    return false;
}

std::string ModuleDirectory()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of("\\/"));
}

std::string DriversDirectory()
{
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\drivers";
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string InstanceId(size_t index)
{
    char id[64];
    std::snprintf(id, sizeof id, "%s%04u", instancePrefix, static_cast<unsigned>(index));
    return id;
}

std::string DeviceParametersKey(size_t index)
{
    char key[160];
    std::snprintf(key, sizeof key, "%s\\%04u\\Device Parameters", enumKey, static_cast<unsigned>(index));
    return key;
}

// The driver image the service loads; replaced only when the build changed it.
bool CopyDriverImage(std::string* error)
{
    const std::string source = ModuleDirectory() + "\\zrvsim.sys";
    const std::string target = DriversDirectory() + "\\zrvsim.sys";
    const std::string image = ReadWholeFile(source);
    if (image.empty())
        return Fail(error, "cannot read " + source);
    if (ReadWholeFile(target) == image)
        return true;
    if (CopyFileA(source.c_str(), target.c_str(), FALSE))
        return true;
    // A loaded image may not be overwritten; move it aside first.
    char aside[MAX_PATH];
    std::snprintf(aside, sizeof aside, "%s.%lu", target.c_str(), static_cast<unsigned long>(GetTickCount()));
    if (!MoveFileExA(target.c_str(), aside, MOVEFILE_REPLACE_EXISTING) ||
        !CopyFileA(source.c_str(), target.c_str(), FALSE))
        return Fail(error, "cannot install " + target);
    return true;
}

// The INF copies the class installer into the system folder, but Wine does
// not replace a file of the same version there: a stale copy from an earlier
// build is removed first, so that the installation puts this build's there.
bool RemoveStaleCoInstaller(std::string* error)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string target = std::string(system) + "\\kuvana_coinst.dll";
    const std::string current = ReadWholeFile(ModuleDirectory() + "\\kuvana_coinst.dll");
    const std::string installed = ReadWholeFile(target);
    if (installed.empty() || installed == current || DeleteFileA(target.c_str()))
        return true;
    char aside[MAX_PATH];
    std::snprintf(aside, sizeof aside, "%s.%lu", target.c_str(), static_cast<unsigned long>(GetTickCount()));
    return MoveFileExA(target.c_str(), aside, MOVEFILE_REPLACE_EXISTING) || Fail(error, "cannot remove " + target);
}

std::string MultiString(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) {
        out += item;
        out += '\0';
    }
    out += '\0';
    return out;
}

std::string UnitObjectName(const Reader& reader)
{
    char name[32];
    if (reader.kind == 2)
        std::snprintf(name, sizeof name, "%u", static_cast<unsigned>(reader.unit & 0xFF));
    else
        std::snprintf(name, sizeof name, "%s%02u", reader.kind == 0 ? "UD" : "UG",
                      static_cast<unsigned>(reader.unit & 0xFF));
    return name;
}

bool SameInterfaceClass(const Reader& a, const Reader& b)
{
    return (a.kind == 2) == (b.kind == 2);
}

bool WriteScenario(HKEY key, const std::vector<Reader>& all, size_t index, DWORD generation)
{
    const Reader& r = all[index];
    bool ok = true;
    auto dword = [&](const char* name, DWORD value) {
        ok = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
                 ERROR_SUCCESS && ok;
    };
    dword("Generation", generation);  // readers of one installation find each other by it
    dword("Kind", DWORD(r.kind));
    dword("Unit", r.unit);
    dword("Word", r.word);
    dword("Identity", r.identity);
    for (const auto& name : r.names) {
        char valueName[32];
        std::snprintf(valueName, sizeof valueName, "Name%08X", static_cast<unsigned>(name.first));
        std::string bytes = name.second.substr(0, 128);
        ok = RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                            DWORD(bytes.size())) == ERROR_SUCCESS && ok;
    }
    for (const auto& failure : r.failures)
        dword(("Fail" + (failure.first == "Open" || failure.first == "Unit"
                             ? failure.first
                             : std::string(8 - std::min<size_t>(8, failure.first.size()), '0') + failure.first))
                  .c_str(),
              failure.second);
    for (const std::string& code : r.stalls)
        dword(("Stall" + std::string(8 - std::min<size_t>(8, code.size()), '0') + code).c_str(),
              r.stallsIgnoreCancel ? 2 : 1);
    std::vector<std::string> refused;
    if (r.refuseOtherUnits) {
        const std::string own = UnitObjectName(r);
        for (size_t i = 0; i < all.size(); ++i) {
            if (i == index || !SameInterfaceClass(r, all[i]))
                continue;
            std::string name = UnitObjectName(all[i]);
            bool seen = name == own;
            for (const std::string& n : refused)
                seen = seen || _stricmp(n.c_str(), name.c_str()) == 0;
            if (!seen)
                refused.push_back(name);
        }
    }
    std::wstring wide;
    for (const std::string& name : refused) {
        wide.append(name.begin(), name.end());
        wide += L'\0';
    }
    wide += L'\0';
    ok = RegSetValueExW(key, L"Refuse", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(wide.data()),
                        DWORD(wide.size() * sizeof(wchar_t))) == ERROR_SUCCESS && ok;
    return ok;
}

// The driver's INF registers the class installer as the device's
// co-installer, and Wine's framework calls it for every code of the
// installation, DIF_NEWDEVICEWIZARD_FINISHINSTALL among them. Its
// class-install parameters exist only in the simulated setupapi, so the
// installation runs in the wizard host (its own program with the simulator).
bool UpdateDriver(const std::string& inf, std::string* error)
{
    std::string host = ModuleDirectory();
    if (host.size() < 7 || _stricmp(host.c_str() + host.size() - 7, "\\wizard") != 0)
        host += "\\wizard";
    host += "\\wizard_host.exe";
    char temp[MAX_PATH], report[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetTempFileNameA(temp, "zrv", 0, report);
    std::string command = "\"" + host + "\" --report \"" + report + "\" --update-driver " + hardwareId + " \"" +
                          inf + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(host.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return Fail(error, "cannot start " + host);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    installReport = ReadWholeFile(report);
    DeleteFileA(report);
    return code == 0 ? true : Fail(error, "the driver installation through the framework failed", code);
}

bool QueryDword(const std::string& key, const char* name, DWORD& value)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof value;
    LONG status = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(h);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

// Every reader publishes its counters once its paths exist.
bool WaitUntilStarted(size_t count, std::string* error)
{
    const DWORD deadline = GetTickCount() + 30000;
    for (;;) {
        size_t started = 0;
        for (size_t i = 0; i < count; ++i) {
            DWORD value = 0;
            if (QueryDword(DeviceParametersKey(i), "Opens", value))
                ++started;
        }
        if (started == count)
            return true;
        if (int(GetTickCount() - deadline) > 0)
            return Fail(error, "readers did not start: " + std::to_string(started) + " of " + std::to_string(count), 0);
        Sleep(20);
    }
}

// ---- version resources ------------------------------------------------------

class VersionBlock {
public:
    size_t Begin(const std::wstring& key, WORD valueLength, WORD type)
    {
        Align();
        size_t start = bytes_.size();
        Word(0);
        Word(valueLength);
        Word(type);
        for (wchar_t c : key)
            Word(WORD(c));
        Word(0);
        Align();
        return start;
    }
    void End(size_t start)
    {
        WORD length = WORD(bytes_.size() - start);
        std::memcpy(&bytes_[start], &length, sizeof length);
    }
    void Word(WORD w)
    {
        bytes_.push_back(char(w & 0xFF));
        bytes_.push_back(char(w >> 8));
    }
    void Data(const void* data, size_t size)
    {
        const char* p = static_cast<const char*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void Align()
    {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    const std::vector<char>& Bytes() const { return bytes_; }

private:
    std::vector<char> bytes_;
};

void StringValue(VersionBlock& block, const std::wstring& key, const std::string& value)
{
    size_t s = block.Begin(key, WORD(value.size() + 1), 1);
    for (char c : value)
        block.Word(WORD(static_cast<unsigned char>(c)));
    block.Word(0);
    block.End(s);
}

std::vector<char> VersionResource(const std::vector<Translation>& translations)
{
    VersionBlock block;
    size_t root = block.Begin(L"VS_VERSION_INFO", sizeof(VS_FIXEDFILEINFO), 0);
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_DRV;
    block.Data(&fixed, sizeof fixed);
    size_t strings = block.Begin(L"StringFileInfo", 0, 1);
    for (const Translation& t : translations) {
        wchar_t key[16];
        swprintf(key, 16, L"%04x%04x", t.language, t.codePage);
        size_t table = block.Begin(key, 0, 1);
        StringValue(block, L"FileDescription", "Simulated contactless reader driver");
        if (!t.productVersion.empty())
            StringValue(block, L"ProductVersion", t.productVersion);
        block.End(table);
    }
    block.End(strings);
    size_t vars = block.Begin(L"VarFileInfo", 0, 1);
    size_t var = block.Begin(L"Translation", WORD(4 * translations.size()), 0);
    for (const Translation& t : translations) {
        block.Word(t.language);
        block.Word(t.codePage);
    }
    block.End(var);
    block.End(vars);
    block.End(root);
    return block.Bytes();
}

}  // namespace

Reader NamedReader(const std::string& name, uint32_t unit)
{
    Reader r;
    r.kind = 1;
    r.unit = unit;
    r.word = 0x0100;
    r.identity = EmbIdentity(1, 2, 1);
    r.names[english] = name;
    r.names[japanese] = name;
    r.names[chinese] = name;
    return r;
}

uint32_t EmbIdentity(int group, uint32_t s, uint32_t n, bool bit14)
{
    // Groups 1 and 8 need bits 14 and 15; series 4 makes it group 8.
    uint32_t w = ((s & 7) << 4) | (n & 0xF);
    if (group == 1 || group == 8)
        return w | 0xC000;
    return w | (bit14 ? 0x4000 : 0x8000);
}

bool RemoveAll(std::string* error)
{
    DeleteKey(std::string(readerClassKey) + "\\" + fakeInterfaceKey);
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return Fail(error, "cannot list root devices");
    // Collect first: removing a device renumbers the members of the set.
    std::vector<std::string> ids;
    SP_DEVINFO_DATA device;
    for (DWORD i = 0;; ++i) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, i, &device))
            break;
        char id[MAX_DEVICE_ID_LEN] = {};
        if (SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr) &&
            _strnicmp(id, instancePrefix, sizeof instancePrefix - 1) == 0)
            ids.push_back(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    bool ok = true;
    set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    for (const std::string& id : ids) {
        device.cbSize = sizeof device;
        if (!SetupDiOpenDeviceInfoA(set, id.c_str(), nullptr, 0, &device) ||
            !SetupDiCallClassInstaller(DIF_REMOVE, set, &device))
            ok = Fail(error, "cannot remove " + id);
    }
    SetupDiDestroyDeviceInfoList(set);
    installedCount = 0;
    baselines.clear();
    return ok;
}

bool Install(const std::vector<Reader>& list, std::string* error, const char* inf)
{
    // Wine calls the readers' co-installer for every device of every set
    // destroyed, loading and unloading it each time unless it is loaded, as
    // it is on Windows while the framework runs it; keep it loaded here.
    static HMODULE coInstaller = LoadLibraryA("kuvana_coinst.dll");
    (void)coInstaller;
    installReport.clear();
    if (!RemoveAll(error) || !CopyDriverImage(error))
        return false;
    if (list.empty())
        return true;
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return Fail(error, "cannot create a device list");
    std::vector<SP_DEVINFO_DATA> devices(list.size());
    static DWORD installations = 0;
    const DWORD generation = (GetTickCount() << 8) | (++installations & 0xFF);
    bool ok = true;
    for (size_t i = 0; ok && i < list.size(); ++i) {
        SP_DEVINFO_DATA& device = devices[i];
        device.cbSize = sizeof device;
        const std::string id = InstanceId(i);
        static const char ids[] = "Root\\ZrvSim\0";
        if (!SetupDiCreateDeviceInfoA(set, id.c_str(), &GUID_NULL, nullptr, nullptr, 0, &device) ||
            !SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids),
                                               sizeof ids) ||
            !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
            ok = Fail(error, "cannot register " + id);
            break;
        }
        HKEY key = SetupDiCreateDevRegKeyA(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE) {
            ok = Fail(error, "cannot create the parameters of " + id);
            break;
        }
        ok = WriteScenario(key, list, i, generation) || Fail(error, "cannot write the scenario of " + id);
        RegCloseKey(key);
    }
    if (ok)
        ok = RemoveStaleCoInstaller(error) && UpdateDriver(ModuleDirectory() + "\\" + inf, error);
    for (size_t i = 0; ok && i < list.size(); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &devices[i], DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_WRITE);
        if (key == INVALID_HANDLE_VALUE) {
            ok = Fail(error, "no driver key for " + InstanceId(i));
            break;
        }
        const std::string& v = list[i].driverVersion;
        RegSetValueExA(key, "DriverVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), DWORD(v.size() + 1));
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    installedCount = list.size();
    if (!ok || !WaitUntilStarted(list.size(), error))
        return false;
    // The co-installer's finish-install call may already have probed the
    // readers; tests count from here.
    for (size_t i = 0; i < list.size(); ++i)
        baselines.push_back(ReadCounters(i));
    return true;
}

std::string LastInstallReport()
{
    return installReport;
}

bool AddInterfaceWithoutBrace(size_t index, std::string* error)
{
    const std::string key = std::string(readerClassKey) + "\\" + fakeInterfaceKey;
    if (!SetString(key, "DeviceInstance", InstanceId(index)) ||
        !SetString(key + "\\#NoBrace", "SymbolicLink", "\\\\?\\ZZZFAKE#NOBRACE") ||
        !SetDword(key + "\\#NoBrace\\Control", "Linked", 1))
        return Fail(error, "cannot write the interface entry");
    return true;
}

Counters ReadCounters(size_t index)
{
    Counters c;
    QueryDword(DeviceParametersKey(index), "Opens", c.opens);
    QueryDword(DeviceParametersKey(index), "Requests", c.requests);
    if (index < baselines.size()) {
        c.opens -= baselines[index].opens;
        c.requests -= baselines[index].requests;
    }
    return c;
}

Counters TotalCounters()
{
    Counters total;
    for (size_t i = 0; i < installedCount; ++i) {
        Counters c = ReadCounters(i);
        total.opens += c.opens;
        total.requests += c.requests;
    }
    return total;
}

std::string DevicePath(size_t index)
{
    const std::string wanted = InstanceId(index);
    for (const GUID* cls : {&readerClass, &pcCardClass}) {
        HDEVINFO set = SetupDiGetClassDevsA(cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE)
            continue;
        SP_DEVINFO_DATA device;
        for (DWORD i = 0;; ++i) {
            device.cbSize = sizeof device;
            if (!SetupDiEnumDeviceInfo(set, i, &device))
                break;
            char id[MAX_DEVICE_ID_LEN] = {};
            SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr);
            if (_stricmp(id, wanted.c_str()) != 0)
                continue;
            SP_DEVICE_INTERFACE_DATA data;
            data.cbSize = sizeof data;
            for (DWORD j = 0; SetupDiEnumDeviceInterfaces(set, &device, cls, j, &data); ++j) {
                char buffer[1024] = {};
                SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
                if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr) &&
                    std::strchr(detail->DevicePath, '{') != nullptr) {
                    std::string path = detail->DevicePath;
                    SetupDiDestroyDeviceInfoList(set);
                    return path;
                }
            }
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    return std::string();
}

bool InstallDriverFile(int kind, const std::vector<Translation>& translations, std::string* error)
{
    const std::string target = DriversDirectory() + "\\" + driverFileNames[kind];
    if (!CopyFileA((ModuleDirectory() + "\\zrvsim.sys").c_str(), target.c_str(), FALSE))
        return Fail(error, "cannot copy " + target);
    std::vector<char> resource = VersionResource(translations);
    HANDLE update = BeginUpdateResourceA(target.c_str(), FALSE);
    if (update == nullptr)
        return Fail(error, "cannot update " + target);
    BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                              resource.data(), DWORD(resource.size()));
    if (!EndUpdateResourceA(update, !ok) || !ok)
        return Fail(error, "cannot write the version of " + target);
    return true;
}

bool RemoveDriverFile(int kind)
{
    const std::string target = DriversDirectory() + "\\" + driverFileNames[kind];
    return DeleteFileA(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

void RemoveDriverFiles()
{
    for (int kind = 0; kind < 3; ++kind)
        RemoveDriverFile(kind);
}

bool SetValue(const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(h);
    return status == ERROR_SUCCESS;
}

bool SetString(const std::string& key, const std::string& name, const std::string& value, DWORD type)
{
    return SetValue(key, name, type, value.c_str(), DWORD(value.size() + 1));
}

bool SetDword(const std::string& key, const std::string& name, DWORD value)
{
    return SetValue(key, name, REG_DWORD, &value, sizeof value);
}

void DeleteValue(const std::string& key, const std::string& name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, &h) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(h, name.c_str());
    RegCloseKey(h);
}

void DeleteKey(const std::string& key)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

std::string ParametersKey(int kind)
{
    static const char* const keys[3] = {"SYSTEM\\CurrentControlSet\\Services\\Zrvport\\Parameters",
                                        "SYSTEM\\CurrentControlSet\\Services\\zrvemb\\Parameters",
                                        "SYSTEM\\CurrentControlSet\\Services\\zrvpccard\\Parameters"};
    return keys[kind];
}

std::string ParametersValue(int kind)
{
    return kind == 1 ? "101c" : "101";
}

bool InstallNamedReaders(const std::vector<std::string>& names, std::string* error, const char* inf)
{
    std::vector<Reader> list;
    for (size_t i = 0; i < names.size(); ++i)
        list.push_back(NamedReader(names[i], uint32_t(i)));
    RemoveDriverFiles();
    return InstallDriverFile(1, "1.0.0.0", error) && Install(list, error, inf);
}

std::string RunSelfWithWindowsVersion(const char* version, const char* resultVariable)
{
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const char* name = std::strrchr(exe, '\\');
    name = name != nullptr ? name + 1 : exe;
    const std::string key = std::string("Software\\Wine\\AppDefaults\\") + name;
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return std::string();
    RegSetValueExA(h, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), DWORD(std::strlen(version) + 1));

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string result = std::string(temp) + "kuvana_child_" + resultVariable + ".txt";
    DeleteFileA(result.c_str());
    SetEnvironmentVariableA(resultVariable, result.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = std::string("\"") + exe + "\"";
    std::string failure = "(no child)";
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        DWORD wait = WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        failure = "(child " + std::to_string(wait) + " exit " + std::to_string(code) + ")";
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SetEnvironmentVariableA(resultVariable, nullptr);
    RegDeleteValueA(h, "Version");
    RegCloseKey(h);
    std::string content = ReadWholeFile(result);
    DeleteFileA(result.c_str());
    return content.empty() ? failure : content;
}

}  // namespace readers
