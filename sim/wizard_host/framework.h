// The device-installation framework the host plays: the device information
// set, the DIF calls with their class-install records, and the requests the
// script's thread hands to the framework's (main) thread.
#ifndef KUVANA_SIM_WIZARD_FRAMEWORK_H
#define KUVANA_SIM_WIZARD_FRAMEWORK_H

#include <windows.h>
#include <prsht.h>
#include <setupapi.h>

#include <deque>
#include <string>
#include <vector>

#ifndef DI_FLAGSEX_FINISHINSTALL_ACTION
#define DI_FLAGSEX_FINISHINSTALL_ACTION 0x00000008L
#endif

typedef DWORD(WINAPI* ClassInstallerProc)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);

struct Framework {
    ClassInstallerProc classInstaller = nullptr;
    bool viaFramework = false;  // a real device: every code goes through SetupDiCallClassInstaller
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA element = {};
    bool passElement = true;
    int presetPages = 0;
    DWORD lastFlagsEx = 0;
    std::vector<HPROPSHEETPAGE> pages;  // from the last DIF call that listed pages

    PSP_DEVINFO_DATA Target() { return passElement ? &element : nullptr; }

    bool InstallFlags(DWORD* flags, DWORD* flagsEx)
    {
        SP_DEVINSTALL_PARAMS_A params = {};
        params.cbSize = sizeof params;
        if (!SetupDiGetDeviceInstallParamsA(set, Target(), &params))
            return false;
        *flags = params.Flags;
        *flagsEx = params.FlagsEx;
        return true;
    }

    // `record`: "wizard" or "properties" sets that class-install record (with
    // the preset pages) before the call; "none" leaves the parameters alone.
    void Call(DWORD code, std::string record_kind);
};
extern Framework framework;

// Requests from the driver thread to the main (framework) thread.
struct Request {
    enum Kind { Dif, Show, Quit } kind = Quit;
    DWORD code = 0;
    std::string record;
    bool wizard = true;
};
extern CRITICAL_SECTION requestLock;  // initialised by wmain
extern std::deque<Request> requests;
extern HANDLE requestReady;
extern HANDLE requestDone;

void Submit(const Request& request);

// --update-driver: Wine's own device installation of the devices with this
// hardware id from this INF (newdev), with the codes it sent to the framework.
int UpdateDriver(const std::wstring& hardwareId, const std::wstring& inf);

// Where the framework finds a device's co-installers: its class's value under
// CoDeviceInstallers, and CoInstallers32 in its driver key ("a;b" lists).
struct Registrations {
    std::string classGuid;
    std::string classCoInstallers;
    std::string deviceCoInstallers;
};

// --device: loads the co-installers registered for the device's class and in
// its driver key, and keeps them for the set's lifetime (see framework.cpp).
bool LoadRegisteredCoInstallers(HDEVINFO set, PSP_DEVINFO_DATA element, std::vector<HMODULE>* modules,
                                Registrations* found);

#endif
