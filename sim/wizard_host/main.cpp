// wizard_host.exe: plays the device-installation framework for the class
// installer under Wine. It calls ClassInstaller with the DIF codes a script
// names, shows the pages it got in a real wizard or property sheet, acts as a
// person would (radio buttons, buttons, links, message boxes) and reports what
// was shown. See README.md beside this file for the script and the report.
// This file: the command line and the framework's (main) thread.
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/setupapi/setupapi_sim.h"
#include "sim/wizard_host/driver.h"
#include "sim/wizard_host/framework.h"
#include "sim/wizard_host/report.h"
#include "sim/wizard_host/script.h"
#include "sim/wizard_host/sheet.h"

namespace {

const char kRelaunchVariable[] = "KUVANA_WIZARD_HOST_RELAUNCHED";

Driver driver;

std::wstring ExeDirectory()
{
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring ExeName()
{
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(text.find_last_of(L"\\/") + 1);
}

// HKCU\Software\Wine\AppDefaults\<exe>: this program alone gets the simulator
// (and, when given, a Windows version such as winxp64).
bool RegisterOverrides(const std::wstring& exe, const std::wstring& version)
{
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + exe;
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t order[] = L"native,builtin";
    bool ok = RegSetValueExW(handle, L"setupapi", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order) ==
              ERROR_SUCCESS;
    RegCloseKey(handle);
    if (!version.empty()) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS)
            return false;
        ok = RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                            DWORD((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
             ok;
        RegCloseKey(handle);
    }
    return ok;
}

int Relaunch()
{
    SetEnvironmentVariableA(kRelaunchVariable, "1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> commandLine(GetCommandLineW(), GetCommandLineW() + wcslen(GetCommandLineW()) + 1);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 3;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

bool ReadFileText(const std::wstring& path, std::string* text)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return false;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text->append(buffer, got);
    fclose(file);
    return true;
}

int Usage()
{
    fprintf(stderr,
            "usage: wizard_host [--dll PATH] [--report FILE] [--shots DIR] (--script FILE | -e COMMAND)...\n"
            "       wizard_host --register-overrides EXE[=VERSION]...\n"
            "       wizard_host [--report FILE] --update-driver HARDWARE_ID INF\n"
            "       wizard_host --device INSTANCE_ID [--report FILE] [--shots DIR] (--script FILE | -e COMMAND)...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    InitializeCriticalSection(&reportLock);
    InitializeCriticalSection(&shared.lock);
    InitializeCriticalSection(&requestLock);
    shared.hostInstance = GetModuleHandleW(nullptr);

    std::wstring dllPath = ExeDirectory() + L"\\..\\kuvana_coinst.dll";
    std::string scriptText;
    std::wstring reportPath;
    bool registerOnly = false;
    std::wstring deviceId, updateHardwareId, updateInf;
    std::vector<std::wstring> registrations;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--register-overrides") {
            registerOnly = true;
        } else if (registerOnly) {
            registrations.push_back(arg);
        } else if (arg == L"--update-driver" && i + 2 < argc) {
            updateHardwareId = argv[++i];
            updateInf = argv[++i];
        } else if (arg == L"--device" && hasValue) {
            deviceId = argv[++i];
        } else if (arg == L"--dll" && hasValue) {
            dllPath = argv[++i];
        } else if (arg == L"--report" && hasValue) {
            reportPath = argv[++i];
        } else if (arg == L"--shots" && hasValue) {
            driver.shots = argv[++i];
            CreateDirectoryW(driver.shots.c_str(), nullptr);
        } else if (arg == L"--script" && hasValue) {
            if (!ReadFileText(argv[++i], &scriptText)) {
                fprintf(stderr, "cannot read %ls\n", argv[i]);
                return 2;
            }
            scriptText += "\n";
        } else if (arg == L"-e" && hasValue) {
            scriptText += Utf8(argv[++i]) + "\n";
        } else {
            return Usage();
        }
    }
    if (registerOnly) {
        bool ok = !registrations.empty();
        for (const std::wstring& entry : registrations) {
            size_t equals = entry.find(L'=');
            ok = RegisterOverrides(entry.substr(0, equals), equals == std::wstring::npos ? L"" : entry.substr(equals + 1)) &&
                 ok;
        }
        return ok ? 0 : 1;
    }

    if (!FindSetupapiSim().Loaded()) {
        // The builtin setupapi was loaded: select the simulator for this program and start again.
        if (GetEnvironmentVariableA(kRelaunchVariable, nullptr, 0) != 0 || !RegisterOverrides(ExeName(), L"")) {
            fprintf(stderr, "wizard_host: the simulated setupapi.dll is not loaded\n");
            return 2;
        }
        return Relaunch();
    }
    if (!updateInf.empty()) {
        if (!reportPath.empty())
            reportFile = _wfopen(reportPath.c_str(), L"wb");
        int status = UpdateDriver(updateHardwareId, updateInf);
        if (reportFile != nullptr)
            fclose(reportFile);
        return status;
    }

    std::vector<ScriptCommand> script;
    std::string parseError;
    if (!ParseScript(scriptText, &script, &parseError)) {
        fprintf(stderr, "wizard_host: %s\n", parseError.c_str());
        return 2;
    }
    if (script.empty())
        return Usage();
    if (!reportPath.empty())
        reportFile = _wfopen(reportPath.c_str(), L"wb");

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    static const GUID readerClass = {0x6b1c1d20, 0x4d3b, 0x4bd1, {0x9a, 0x51, 0x6f, 0x2e, 0x11, 0x52, 0x73, 0x01}};
    framework.set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    framework.element.cbSize = sizeof framework.element;
    std::vector<HMODULE> coInstallers;
    Registrations registration;
    bool elementReady = false;
    if (!deviceId.empty()) {
        framework.viaFramework = true;
        elementReady = framework.set != INVALID_HANDLE_VALUE &&
                       SetupDiOpenDeviceInfoA(framework.set, Utf8(deviceId).c_str(), nullptr, 0, &framework.element);
        if (elementReady && LoadRegisteredCoInstallers(framework.set, &framework.element, &coInstallers, &registration)) {
            WCHAR path[MAX_PATH] = {};
            GetModuleFileNameW(coInstallers.back(), path, MAX_PATH);
            dllPath = path;
        }
    } else {
        elementReady = framework.set != INVALID_HANDLE_VALUE &&
                       SetupDiCreateDeviceInfoA(framework.set, "KUVANA_SIM_READER", &readerClass, "Kuvana Port reader",
                                                nullptr, DICD_GENERATE_ID, &framework.element);
        HMODULE dll = LoadLibraryW(dllPath.c_str());
        framework.classInstaller = dll ? reinterpret_cast<ClassInstallerProc>(
                                             reinterpret_cast<void (*)()>(GetProcAddress(dll, "ClassInstaller")))
                                       : nullptr;
    }
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    const bool loaded = framework.viaFramework ? !coInstallers.empty() : framework.classInstaller != nullptr;
    Report("host dll=" + Quote(Utf8(dllPath)) + " loaded=" + (loaded ? "1" : "0") +
           " setupapi=simulator windows=" + std::to_string(version.dwMajorVersion) + "." +
           std::to_string(version.dwMinorVersion) + "." + std::to_string(version.dwBuildNumber) +
           " system-language=" + Hex(GetSystemDefaultLangID(), 4) +
           " ui-language=" + Hex(GetUserDefaultUILanguage(), 4));
    if (framework.viaFramework && elementReady)
        Report("registration device=" + Quote(Utf8(deviceId)) + " class=" + registration.classGuid +
               " class-coinstallers=" + Quote(registration.classCoInstallers) +
               " coinstallers32=" + Quote(registration.deviceCoInstallers));
    if (!elementReady) {
        ReportError("cannot create the device information element: " + std::to_string(GetLastError()));
        Report("end status=failed errors=1");
        return 1;
    }
    if (!loaded) {
        ReportError(framework.viaFramework ? "no co-installer registered for the device or its class loads"
                                           : "cannot load ClassInstaller from the DLL");
        Report("end status=failed errors=1");
        return 1;
    }

    driver.script = script;
    requestReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    requestDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    shared.sheetReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    shared.sheetClosed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Driver::Thread, &driver, 0, nullptr);

    // The framework's thread: DIF calls and the sheet run here, as they would
    // in the real framework.
    for (bool running = true; running;) {
        MsgWaitForMultipleObjects(1, &requestReady, FALSE, INFINITE, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        for (;;) {
            EnterCriticalSection(&requestLock);
            bool any = !requests.empty();
            Request request;
            if (any) {
                request = requests.front();
                requests.pop_front();
            }
            LeaveCriticalSection(&requestLock);
            if (!any)
                break;
            if (request.kind == Request::Dif) {
                framework.Call(request.code, request.record);
                SetEvent(requestDone);
            } else if (request.kind == Request::Show) {
                ShowSheet(request.wizard, framework.pages);
            } else {
                running = false;
                break;
            }
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    SetupDiDestroyDeviceInfoList(framework.set);
    for (HMODULE module : coInstallers)
        FreeLibrary(module);
    Report(std::string("end status=") + (errors == 0 ? "ok" : "failed") + " errors=" + std::to_string(errors));
    if (reportFile != nullptr)
        fclose(reportFile);
    return errors == 0 ? 0 : 1;
}
