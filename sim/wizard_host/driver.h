// The host's script thread: it acts as a person would on the sheet (pages,
// buttons, links, message boxes) and reports what the sheet shows. The
// watching half (page dumps, changes, message boxes, restart prompts) is in
// page_watch.cpp, the script commands in script_commands.cpp.
#ifndef KUVANA_SIM_WIZARD_DRIVER_H
#define KUVANA_SIM_WIZARD_DRIVER_H

#include <windows.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "sim/setupapi/setupapi_sim.h"
#include "sim/wizard_host/script.h"
#include "sim/wizard_host/sheet.h"

const DWORD kPoll = 20;
// How long a sheet closed by a button is left alone to go (see Service).
const DWORD kTeardownMs = 3000;

struct Driver {
    std::vector<ScriptCommand> script;
    DWORD timeout = 20000;
    std::wstring shots = L".";
    bool wizard = true;

    struct Answer {
        std::string button;
        std::string expect;
        std::string capture;
    };
    std::deque<Answer> answers;
    std::map<HWND, bool> boxesSeen;
    size_t activationsSeen = 0;
    int pageCount = 0;
    std::map<HWND, int> pageNumbers;
    HWND watchedPage = nullptr;
    std::map<HWND, std::wstring> lastTexts;
    std::string lastButtons;
    // When a button that ends the sheet (Finish, Cancel, OK) was pressed; 0
    // for none since the sheet was shown.
    DWORD closingSince = 0;
    std::map<HWND, std::string> lastProgress;
    int rebootPromptsSeen = 0;
    SetupapiSim sim;

    HWND Sheet();
    HWND SheetButton(int id);  // null without a sheet or such a button
    HWND CurrentPage();
    PageMeta Meta(HWND page);
    int Number(HWND page);
    std::wstring FullPath(const std::string& file);
    std::string ButtonsLine(HWND sheet);

    // The text and progress state it reports are also given back, so the
    // changes reported next start from exactly what this line showed.
    std::string ControlLine(HWND page, HWND control, std::wstring* text, std::string* progress);
    std::string ProgressState(HWND bar);
    void DumpPage(HWND page);

    // Called between every step of every wait: keeps the report current and
    // answers message boxes.
    void Service();
    void ServiceActivations();
    void ServiceChanges();
    void ServiceReboot();
    static BOOL CALLBACK CollectBox(HWND window, LPARAM context);
    static const char* ButtonName(int id);
    void ServiceBoxes();
    void Capture(HWND window, const std::string& file);

    // Waits (servicing) until `done` holds or the timeout passes.
    template <typename Condition>
    bool WaitFor(Condition done, DWORD limit)
    {
        DWORD start = GetTickCount();
        for (;;) {
            Service();
            if (done())
                return true;
            if (GetTickCount() - start > limit)
                return false;
            Sleep(kPoll);
        }
    }

    void Pause(DWORD milliseconds);
    bool PageMatches(HWND page, const std::string& what);
    HWND Control(const std::string& id);

    // A left click where the SysLink has its first link (the centre when it
    // has none: a person clicking the blank control).
    void ClickLink(HWND link, const std::string& id);
    bool Execute(const ScriptCommand& c);
    void Run();
    static DWORD WINAPI Thread(void* self);
};

#endif
