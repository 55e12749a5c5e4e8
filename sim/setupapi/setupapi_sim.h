// Control interface of the simulated setupapi.dll, for the wizard host and the
// tests. Everything is looked up at run time with GetProcAddress, so a process
// that got Wine's builtin setupapi instead simply finds nothing.
#ifndef KUVANA_SIM_SETUPAPI_SIM_H
#define KUVANA_SIM_SETUPAPI_SIM_H

#include <windows.h>

// Returned by KuvanaSimSetupapi: the proof that the simulator is the one loaded.
#define KUVANA_SIM_SETUPAPI_MAGIC 0x4B53494DUL

// SetupPromptReboot's scripted answers.
#define KUVANA_SIM_REBOOT_DECLINE 0
#define KUVANA_SIM_REBOOT_ACCEPT 1

typedef DWORD(WINAPI* KuvanaSimSetupapiProc)(void);
// How the next SetupPromptReboot calls answer (KUVANA_SIM_REBOOT_*).
typedef void(WINAPI* KuvanaSimSetRebootAnswerProc)(int answer);
// Number of SetupPromptReboot calls so far and the owner window of the last one.
typedef int(WINAPI* KuvanaSimRebootPromptsProc)(HWND* lastOwner);
// Number of calls of one of the simulated functions, by name; -1 for other names.
typedef int(WINAPI* KuvanaSimCallCountProc)(const char* function);
// One SetupDiCallClassInstaller call of this process, in order: its DIF code,
// its result and, when it failed, its last error.
struct KuvanaSimFrameworkCall {
    DWORD code;
    BOOL result;
    DWORD error;
};
// Copies up to `capacity` recorded calls; returns how many there were.
typedef int(WINAPI* KuvanaSimFrameworkCallsProc)(KuvanaSimFrameworkCall* calls, int capacity);
// Makes the next `count` calls of the named simulated function fail with `error`.
typedef BOOL(WINAPI* KuvanaSimFailProc)(const char* function, int count, DWORD error);

// The simulator's exports as seen from this process; all null when the
// simulator is not the setupapi.dll loaded.
struct SetupapiSim {
    KuvanaSimSetupapiProc magic = nullptr;
    KuvanaSimSetRebootAnswerProc setRebootAnswer = nullptr;
    KuvanaSimRebootPromptsProc rebootPrompts = nullptr;
    KuvanaSimCallCountProc callCount = nullptr;
    KuvanaSimFailProc fail = nullptr;
    KuvanaSimFrameworkCallsProc frameworkCalls = nullptr;

    bool Loaded() const { return magic != nullptr && magic() == KUVANA_SIM_SETUPAPI_MAGIC; }
};

inline FARPROC SetupapiSimProc(const char* name)
{
    HMODULE module = GetModuleHandleA("setupapi.dll");
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

template <typename T>
inline T SetupapiSimCast(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(SetupapiSimProc(name)));
}

inline SetupapiSim FindSetupapiSim()
{
    SetupapiSim sim;
    sim.magic = SetupapiSimCast<KuvanaSimSetupapiProc>("KuvanaSimSetupapi");
    sim.setRebootAnswer = SetupapiSimCast<KuvanaSimSetRebootAnswerProc>("KuvanaSimSetRebootAnswer");
    sim.rebootPrompts = SetupapiSimCast<KuvanaSimRebootPromptsProc>("KuvanaSimRebootPrompts");
    sim.callCount = SetupapiSimCast<KuvanaSimCallCountProc>("KuvanaSimCallCount");
    sim.fail = SetupapiSimCast<KuvanaSimFailProc>("KuvanaSimFail");
    sim.frameworkCalls = SetupapiSimCast<KuvanaSimFrameworkCallsProc>("KuvanaSimFrameworkCalls");
    return sim;
}

#endif
