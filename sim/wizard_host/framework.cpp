#include "sim/wizard_host/framework.h"

#include "sim/setupapi/setupapi_sim.h"
#include "sim/wizard_host/host_ids.h"
#include "sim/wizard_host/report.h"
#include "sim/wizard_host/sheet.h"

Framework framework;
CRITICAL_SECTION requestLock;
std::deque<Request> requests;
HANDLE requestReady = nullptr;
HANDLE requestDone = nullptr;

namespace {

const char* DifName(DWORD code)
{
    switch (code) {
    case DIF_INSTALLDEVICE: return "DIF_INSTALLDEVICE";
    case DIF_REMOVE: return "DIF_REMOVE";
    case DIF_DESTROYPRIVATEDATA: return "DIF_DESTROYPRIVATEDATA";
    case DIF_INSTALLDEVICEFILES: return "DIF_INSTALLDEVICEFILES";
    case DIF_SELECTBESTCOMPATDRV: return "DIF_SELECTBESTCOMPATDRV";
    case DIF_ALLOW_INSTALL: return "DIF_ALLOW_INSTALL";
    case DIF_REGISTERDEVICE: return "DIF_REGISTERDEVICE";
    case DIF_NEWDEVICEWIZARD_FINISHINSTALL: return "DIF_NEWDEVICEWIZARD_FINISHINSTALL";
    case DIF_INSTALLINTERFACES: return "DIF_INSTALLINTERFACES";
    case DIF_REGISTER_COINSTALLERS: return "DIF_REGISTER_COINSTALLERS";
    case DIF_ADDPROPERTYPAGE_ADVANCED: return "DIF_ADDPROPERTYPAGE_ADVANCED";
    case 0x2A: return "DIF_FINISHINSTALL_ACTION";
    default: return "other";
    }
}

}  // namespace

void Framework::Call(DWORD code, std::string record_kind)
{
    if (record_kind.empty())
        record_kind = code == DIF_NEWDEVICEWIZARD_FINISHINSTALL ? "wizard"
                      : code == DIF_ADDPROPERTYPAGE_ADVANCED    ? "properties"
                                                                : "none";
    SP_NEWDEVICEWIZARD_DATA record = {};
    record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    record.ClassInstallHeader.InstallFunction =
        record_kind == "wizard" ? DIF_NEWDEVICEWIZARD_FINISHINSTALL : DIF_ADDPROPERTYPAGE_ADVANCED;
    bool setsRecord = record_kind != "none";
    if (setsRecord) {
        for (int i = 0; i < presetPages && i < MAX_INSTALLWIZARD_DYNAPAGES; ++i)
            record.DynamicPages[record.NumDynamicPages++] = HostPage(IDD_HOST_PLACEHOLDER, false);
        if (!SetupDiSetClassInstallParamsA(set, Target(), &record.ClassInstallHeader, sizeof record))
            ReportError("cannot set the class-install parameters: " + std::to_string(GetLastError()));
    }
    DWORD flagsBefore = 0, flagsExBefore = 0, flags = 0, flagsEx = 0;
    InstallFlags(&flagsBefore, &flagsExBefore);
    SP_NEWDEVICEWIZARD_DATA previous = {};
    previous.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    bool listed = SetupDiGetClassInstallParamsA(set, Target(), &previous.ClassInstallHeader, sizeof previous,
                                                nullptr) != FALSE;
    DWORD before = previous.NumDynamicPages;
    DWORD result = 0;
    if (viaFramework)
        result = SetupDiCallClassInstaller(code, set, Target()) ? 0 : GetLastError();
    else
        result = classInstaller(code, set, Target());
    InstallFlags(&flags, &flagsEx);
    lastFlagsEx = flagsEx;
    std::string line = "dif code=" + Hex(code, 2) + " result=" + Hex(result) +
                       (viaFramework ? " via=framework" : "") + " target=" + (passElement ? "element" : "set") +
                       " flags-before=" + Hex(flagsBefore) +
                       " flags=" + Hex(flags) + " flagsex-before=" + Hex(flagsExBefore) +
                       " flagsex=" + Hex(flagsEx);
    if (listed) {
        SP_NEWDEVICEWIZARD_DATA after = {};
        after.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        if (SetupDiGetClassInstallParamsA(set, Target(), &after.ClassInstallHeader, sizeof after, nullptr)) {
            pages.assign(after.DynamicPages, after.DynamicPages + after.NumDynamicPages);
            line += " pages-before=" + std::to_string(before) +
                    " pages=" + std::to_string(after.NumDynamicPages);
        } else {
            ReportError("cannot read the class-install parameters back");
        }
    }
    Report(line);
}

void Submit(const Request& request)
{
    EnterCriticalSection(&requestLock);
    requests.push_back(request);
    LeaveCriticalSection(&requestLock);
    SetEvent(requestReady);
}

int UpdateDriver(const std::wstring& hardwareId, const std::wstring& inf)
{
    typedef BOOL(WINAPI * UpdateProc)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);
    HMODULE newdev = LoadLibraryW(L"newdev.dll");
    UpdateProc update = newdev ? reinterpret_cast<UpdateProc>(reinterpret_cast<void (*)()>(
                                     GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA")))
                               : nullptr;
    BOOL reboot = FALSE;
    const DWORD installFlagForce = 1;
    BOOL ok = update != nullptr &&
              update(nullptr, Utf8(hardwareId).c_str(), Utf8(inf).c_str(), installFlagForce, &reboot);
    DWORD error = ok ? 0 : GetLastError();
    KuvanaSimFrameworkCall calls[64];
    int count = FindSetupapiSim().frameworkCalls(calls, 64);
    for (int i = 0; i < count && i < 64; ++i)
        Report("framework code=" + Hex(calls[i].code, 2) + " name=" + DifName(calls[i].code) +
               " result=" + std::to_string(calls[i].result) + " error=" + Hex(calls[i].error));
    Report("update-driver result=" + std::to_string(ok) + " error=" + Hex(error) + " reboot=" + std::to_string(reboot));
    if (newdev != nullptr)
        FreeLibrary(newdev);
    return ok ? 0 : 1;
}

// --device: the framework loads the co-installers registered for the
// device's setup class (CoDeviceInstallers) and those named in its driver key.
// Wine unloads them after every call, while Windows keeps them until the
// device information set is destroyed; the pages they add need them loaded,
// so the host keeps a reference for the set's lifetime.
namespace {

bool LoadList(HKEY key, const wchar_t* value, std::vector<HMODULE>* modules, std::string* names)
{
    WCHAR list[1024] = {};
    DWORD type = 0, size = sizeof list - 2 * sizeof(WCHAR);
    LONG status = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(list), &size);
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return true;
    for (const WCHAR* entry = list; *entry != L'\0'; entry += wcslen(entry) + 1) {
        std::wstring text = entry;
        *names += (names->empty() ? "" : ";") + Utf8(text);
        HMODULE module = LoadLibraryW(text.substr(0, text.find(L',')).c_str());
        if (module == nullptr)
            return false;
        modules->push_back(module);
    }
    return true;
}

}  // namespace

bool LoadRegisteredCoInstallers(HDEVINFO set, PSP_DEVINFO_DATA element, std::vector<HMODULE>* modules,
                                Registrations* found)
{
    const GUID& g = element->ClassGuid;
    WCHAR guid[40] = {};
    swprintf(guid, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(g.Data1),
             g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
             g.Data4[7]);
    found->classGuid = Utf8(guid);
    HKEY key = nullptr;
    bool ok = true;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        ok = LoadList(key, guid, modules, &found->classCoInstallers);
        RegCloseKey(key);
    }
    key = SetupDiOpenDevRegKey(set, element, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
        ok = LoadList(key, L"CoInstallers32", modules, &found->deviceCoInstallers) && ok;
        RegCloseKey(key);
    }
    return ok && !modules->empty();
}
