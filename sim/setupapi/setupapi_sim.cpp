// A setupapi.dll for the tests: what Wine's own lacks for a class installer
// (class-install parameters, set-wide device install parameters, a scripted
// restart prompt) is kept here, per device information set and per element (a
// null element meaning the whole set); every other export is forwarded to a
// renamed copy of Wine's setupapi, so real device enumeration keeps working.
// This library defines the setupapi functions rather than importing them.
#define _SETUPAPI_
#include <windows.h>
#include <setupapi.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sim/setupapi/setupapi_sim.h"

namespace {

const char kWineSetupapi[] = "setupapi_wine.dll";

struct Parameters {
    std::vector<BYTE> classInstall;  // empty: none set
    bool hasDeviceInstall = false;
    SP_DEVINSTALL_PARAMS_A deviceInstall = {};
};

struct SetState {
    Parameters setWide;
    std::map<DWORD, Parameters> elements;  // by DevInst
};

struct Failure {
    int count = 0;
    DWORD error = 0;
};

SRWLOCK lock = SRWLOCK_INIT;
std::map<HDEVINFO, SetState>* sets = nullptr;
std::map<std::string, int>* calls = nullptr;
std::map<std::string, Failure>* failures = nullptr;
int rebootAnswer = KUVANA_SIM_REBOOT_DECLINE;
int rebootPrompts = 0;
HWND rebootOwner = nullptr;
std::vector<KuvanaSimFrameworkCall>* frameworkCalls = nullptr;

class Locked {
public:
    Locked() { AcquireSRWLockExclusive(&lock); }
    ~Locked() { ReleaseSRWLockExclusive(&lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

const char* const kSimulated[] = {"SetupDiGetClassInstallParamsA", "SetupDiSetClassInstallParamsA",
                                  "SetupDiGetDeviceInstallParamsA", "SetupDiSetDeviceInstallParamsA",
                                  "SetupPromptReboot", "SetupDiDestroyDeviceInfoList", "SetupDiCallClassInstaller"};

void EnsureState()
{
    if (sets == nullptr) {
        sets = new std::map<HDEVINFO, SetState>();
        calls = new std::map<std::string, int>();
        failures = new std::map<std::string, Failure>();
        frameworkCalls = new std::vector<KuvanaSimFrameworkCall>();
    }
}

// Counts the call; true when a scripted failure applies (last error set).
bool CountAndMaybeFail(const char* function)
{
    Locked guard;
    EnsureState();
    (*calls)[function]++;
    auto found = failures->find(function);
    if (found == failures->end() || found->second.count <= 0)
        return false;
    found->second.count--;
    SetLastError(found->second.error);
    return true;
}

FARPROC Real(const char* name)
{
    static HMODULE wine = LoadLibraryA(kWineSetupapi);
    return wine != nullptr ? GetProcAddress(wine, name) : nullptr;
}

template <typename T>
T RealProc(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(Real(name)));
}

// The real library decides whether the set and the element are valid, as the
// framework would; last error set on failure.
bool ValidTarget(HDEVINFO set, PSP_DEVINFO_DATA element)
{
    if (set == nullptr || set == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    typedef BOOL(WINAPI * EnumProc)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
    EnumProc enumerate = RealProc<EnumProc>("SetupDiEnumDeviceInfo");
    SP_DEVINFO_DATA first = {};
    first.cbSize = sizeof first;
    if (enumerate == nullptr || (!enumerate(set, 0, &first) && GetLastError() == ERROR_INVALID_HANDLE)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (element == nullptr)
        return true;
    if (element->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return false;
    }
    typedef BOOL(WINAPI * InstanceIdProc)(HDEVINFO, PSP_DEVINFO_DATA, PSTR, DWORD, PDWORD);
    InstanceIdProc instanceId = RealProc<InstanceIdProc>("SetupDiGetDeviceInstanceIdA");
    char id[200];  // MAX_DEVICE_ID_LEN
    if (instanceId == nullptr || !instanceId(set, element, id, sizeof id, nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

// Under the lock.
Parameters& ParametersOf(HDEVINFO set, PSP_DEVINFO_DATA element)
{
    EnsureState();
    SetState& state = (*sets)[set];
    return element == nullptr ? state.setWide : state.elements[element->DevInst];
}

SP_DEVINSTALL_PARAMS_A DeviceInstallOf(const Parameters& parameters)
{
    if (parameters.hasDeviceInstall)
        return parameters.deviceInstall;
    SP_DEVINSTALL_PARAMS_A fresh;
    memset(&fresh, 0, sizeof fresh);
    fresh.cbSize = sizeof fresh;
    return fresh;
}

}  // namespace

extern "C" {

DWORD WINAPI KuvanaSimSetupapi(void)
{
    return KUVANA_SIM_SETUPAPI_MAGIC;
}

void WINAPI KuvanaSimSetRebootAnswer(int answer)
{
    Locked guard;
    rebootAnswer = answer;
}

int WINAPI KuvanaSimRebootPrompts(HWND* lastOwner)
{
    Locked guard;
    if (lastOwner != nullptr)
        *lastOwner = rebootOwner;
    return rebootPrompts;
}

int WINAPI KuvanaSimCallCount(const char* function)
{
    if (function == nullptr)
        return -1;
    for (const char* name : kSimulated) {
        if (strcmp(name, function) == 0) {
            Locked guard;
            EnsureState();
            auto found = calls->find(function);
            return found == calls->end() ? 0 : found->second;
        }
    }
    return -1;
}

int WINAPI KuvanaSimFrameworkCalls(KuvanaSimFrameworkCall* calls, int capacity)
{
    Locked guard;
    EnsureState();
    int count = static_cast<int>(frameworkCalls->size());
    for (int i = 0; calls != nullptr && i < count && i < capacity; ++i)
        calls[i] = (*frameworkCalls)[i];
    return count;
}

BOOL WINAPI KuvanaSimFail(const char* function, int count, DWORD error)
{
    if (KuvanaSimCallCount(function) < 0)
        return FALSE;
    Locked guard;
    (*failures)[function] = Failure{count, error};
    return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA element, PSP_CLASSINSTALL_HEADER params,
                                          DWORD size)
{
    if (CountAndMaybeFail("SetupDiSetClassInstallParamsA") || !ValidTarget(set, element))
        return FALSE;
    if (params != nullptr && (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER) || size < sizeof *params)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (params == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Locked guard;
    Parameters& target = ParametersOf(set, element);
    SP_DEVINSTALL_PARAMS_A device = DeviceInstallOf(target);
    if (params == nullptr) {
        target.classInstall.clear();
        device.Flags &= ~DI_CLASSINSTALLPARAMS;
    } else {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(params);
        target.classInstall.assign(bytes, bytes + size);
        device.Flags |= DI_CLASSINSTALLPARAMS;
    }
    target.deviceInstall = device;
    target.hasDeviceInstall = true;
    return TRUE;
}

BOOL WINAPI SetupDiGetClassInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA element, PSP_CLASSINSTALL_HEADER params,
                                          DWORD size, PDWORD requiredSize)
{
    if (CountAndMaybeFail("SetupDiGetClassInstallParamsA") || !ValidTarget(set, element))
        return FALSE;
    if (params != nullptr && params->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    Locked guard;
    const Parameters& source = ParametersOf(set, element);
    if (source.classInstall.empty()) {
        SetLastError(ERROR_NO_CLASSINSTALL_PARAMS);
        return FALSE;
    }
    DWORD stored = static_cast<DWORD>(source.classInstall.size());
    if (requiredSize != nullptr)
        *requiredSize = stored;
    if (params == nullptr || size < stored) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(params, source.classInstall.data(), stored);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA element, PSP_DEVINSTALL_PARAMS_A params)
{
    if (CountAndMaybeFail("SetupDiGetDeviceInstallParamsA") || !ValidTarget(set, element))
        return FALSE;
    if (params == nullptr || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    Locked guard;
    *params = DeviceInstallOf(ParametersOf(set, element));
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA element, PSP_DEVINSTALL_PARAMS_A params)
{
    if (CountAndMaybeFail("SetupDiSetDeviceInstallParamsA") || !ValidTarget(set, element))
        return FALSE;
    if (params == nullptr || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    Locked guard;
    Parameters& target = ParametersOf(set, element);
    target.deviceInstall = *params;
    target.hasDeviceInstall = true;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    CountAndMaybeFail("SetupDiDestroyDeviceInfoList");
    {
        Locked guard;
        EnsureState();
        sets->erase(set);  // the handle value may come back for another set
    }
    typedef BOOL(WINAPI * DestroyProc)(HDEVINFO);
    DestroyProc destroy = RealProc<DestroyProc>("SetupDiDestroyDeviceInfoList");
    return destroy != nullptr ? destroy(set) : FALSE;
}

// Wine's own framework does the work (co-installers, class installer, default
// action); the call is only recorded, so that a program can show which codes
// a device installation sent, for example inside UpdateDriverForPlugAndPlayDevices.
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION code, HDEVINFO set, PSP_DEVINFO_DATA element)
{
    if (CountAndMaybeFail("SetupDiCallClassInstaller"))
        return FALSE;
    typedef BOOL(WINAPI * CallProc)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);
    CallProc call = RealProc<CallProc>("SetupDiCallClassInstaller");
    BOOL result = call != nullptr ? call(code, set, element) : FALSE;
    DWORD error = result ? 0 : GetLastError();
    {
        Locked guard;
        EnsureState();
        frameworkCalls->push_back(KuvanaSimFrameworkCall{code, result, error});
    }
    SetLastError(error);
    return result;
}

// No dialog: the answer comes from the script. A restart is never started.
INT WINAPI SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    if (CountAndMaybeFail("SetupPromptReboot"))
        return -1;
    (void)queue;
    if (scanOnly)
        return 0;  // without a queue nothing asks for a restart
    Locked guard;
    rebootPrompts++;
    rebootOwner = owner;
    return rebootAnswer == KUVANA_SIM_REBOOT_ACCEPT ? (SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS)
                                                    : SPFILEQ_REBOOT_RECOMMENDED;
}

}  // extern "C"
