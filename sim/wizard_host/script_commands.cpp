#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "sim/wizard_host/driver.h"
#include "sim/wizard_host/framework.h"
#include "sim/wizard_host/report.h"

bool Driver::PageMatches(HWND page, const std::string& what)
{
    // Only a page whose activation has been reported counts.
    if (page == nullptr || Number(page) == 0)
        return false;
    PageMeta meta = Meta(page);
    if (what == meta.name || what == std::to_string(meta.templateId))
        return true;
    std::string title = Utf8(meta.title) + "\n" + Utf8(WindowText(page));
    return !what.empty() && !isdigit(static_cast<unsigned char>(what[0])) && title.find(what) != std::string::npos;
}

HWND Driver::Control(const std::string& id)
{
    HWND page = CurrentPage();
    if (page == nullptr)
        return nullptr;
    int number = atoi(id.c_str());
    for (HWND c = GetWindow(page, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        int own = GetDlgCtrlID(c);
        if (own == number)
            return c;
    }
    return nullptr;
}

// A left click where the SysLink has its first link (the centre when it
// has none: a person clicking the blank control).
void Driver::ClickLink(HWND link, const std::string& id)
{
    RECT client;
    GetClientRect(link, &client);
    POINT at = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    bool found = false;
    for (int y = client.top + 1; y < client.bottom && !found; y += 2) {
        for (int x = client.left + 1; x < client.right && !found; x += 2) {
            LHITTESTINFO hit = {};
            hit.pt.x = x;
            hit.pt.y = y;
            DWORD_PTR result = 0;
            SendMessageTimeoutW(link, LM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit), SMTO_ABORTIFHUNG, 500,
                                &result);
            if (result) {
                at.x = x;
                at.y = y;
                found = true;
            }
        }
    }
    // Posted even to a disabled link, as a click already queued would be.
    Report("link id=" + id + " has-link=" + (found ? "1" : "0") +
           " enabled=" + (IsWindowEnabled(link) ? "1" : "0"));
    LPARAM point = MAKELPARAM(at.x, at.y);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(link, WM_LBUTTONUP, 0, point);
}

bool Driver::Execute(const ScriptCommand& c)
{
    const std::string& name = c.words[0];
    std::vector<std::string> args = c.Arguments();
    std::string first = args.empty() ? std::string() : args[0];
    static const std::map<std::string, size_t> known = {
        {"timeout", 1}, {"shots", 1},  {"full-text", 1}, {"target", 1},      {"preset-pages", 1},
        {"reboot-answer", 1}, {"dif", 1}, {"show", 1},   {"expect-page", 1}, {"tab", 1},
        {"check", 1},   {"press", 1},  {"link", 1},      {"enter", 1},       {"answer", 1},
        {"capture", 1}, {"dump", 0},   {"wait-text", 2}, {"wait-closed", 0}, {"sleep", 1},
        {"ping", 1}};
    auto command = known.find(name);
    if (command == known.end()) {
        ReportError("line " + std::to_string(c.line) + ": unknown command " + name);
        return false;
    }
    if (args.size() < command->second) {
        ReportError("line " + std::to_string(c.line) + ": " + name + " needs " +
                    std::to_string(command->second) + " argument(s)");
        return false;
    }
    if (name == "timeout") {
        timeout = DWORD(atoi(first.c_str()));
    } else if (name == "shots") {
        shots = Wide(first);
        CreateDirectoryW(shots.c_str(), nullptr);
    } else if (name == "full-text") {
        fullText = first == "on";
    } else if (name == "target") {
        framework.passElement = first != "set";
    } else if (name == "preset-pages") {
        framework.presetPages = atoi(first.c_str());
    } else if (name == "reboot-answer") {
        if (sim.setRebootAnswer != nullptr)
            sim.setRebootAnswer(first == "yes" ? KUVANA_SIM_REBOOT_ACCEPT : KUVANA_SIM_REBOOT_DECLINE);
    } else if (name == "dif") {
        DWORD code = DWORD(strtoul(first.c_str(), nullptr, 0));
        if (args.size() > 1 && args[1] == "if-requested" &&
            !(framework.lastFlagsEx & DI_FLAGSEX_FINISHINSTALL_ACTION)) {
            Report("dif code=" + Hex(code, 2) + " skipped=not-requested");
            return true;
        }
        Request request;
        request.kind = Request::Dif;
        request.code = code;
        request.record = c.Option("record");
        Submit(request);
        // Boxes are answered even while the class installer runs.
        while (WaitForSingleObject(requestDone, kPoll) != WAIT_OBJECT_0)
            Service();
    } else if (name == "show") {
        wizard = first == "wizard";
        Report(std::string("show kind=") + (wizard ? "wizard" : "properties") +
               " dll-pages=" + std::to_string(framework.pages.size()));
        ResetEvent(shared.sheetClosed);
        closingSince = 0;
        ResetEvent(shared.sheetReady);
        Request request;
        request.kind = Request::Show;
        request.wizard = wizard;
        Submit(request);
        if (!WaitFor([&] { return WaitForSingleObject(shared.sheetReady, 0) == WAIT_OBJECT_0; }, timeout) ||
            Sheet() == nullptr) {
            ReportError("the sheet did not open");
            return false;
        }
    } else if (name == "expect-page") {
        if (!WaitFor([&] { return PageMatches(CurrentPage(), first); }, timeout)) {
            PageMeta meta = Meta(CurrentPage());
            ReportError("line " + std::to_string(c.line) + ": expected page " + first + ", current is " +
                        meta.name + " " + std::to_string(meta.templateId));
            return false;
        }
    } else if (name == "tab") {
        HWND sheet = Sheet();
        if (sheet != nullptr)
            PostMessageW(sheet, PSM_SETCURSEL, WPARAM(atoi(first.c_str()) - 1), 0);
        Pause(200);
    } else if (name == "check") {
        HWND control = Control(first);
        if (control == nullptr) {
            ReportError("no control " + first + " on the current page");
            return false;
        }
        PostMessageW(control, BM_CLICK, 0, 0);
        Pause(100);
    } else if (name == "press") {
        int id = first == "back"     ? kBackButton
                 : first == "next"   ? kNextButton
                 : first == "finish" ? kFinishButton
                 : first == "cancel" ? IDCANCEL
                 : first == "ok"     ? IDOK
                 : first == "apply"  ? kApplyButton
                                     : 0;
        HWND sheet = Sheet();
        HWND button = sheet != nullptr && id != 0 ? SheetButton(id) : nullptr;
        if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
            Report("press button=" + first + " ignored=1");
        } else {
            Report("press button=" + first);
            if (closingSince == 0 && (id == kFinishButton || id == IDCANCEL || id == IDOK))
                closingSince = GetTickCount() | 1;
            PostMessageW(button, BM_CLICK, 0, 0);
        }
        Pause(150);
    } else if (name == "link") {
        HWND link = Control(first);
        if (link == nullptr) {
            ReportError("no control " + first + " on the current page");
            return false;
        }
        ClickLink(link, first);
        Pause(150);
    } else if (name == "enter") {
        HWND control = Control(first);
        HWND sheet = Sheet();
        if (control == nullptr || sheet == nullptr) {
            ReportError("no control " + first + " on the current page");
            return false;
        }
        Report("enter id=" + first);
        PostMessageW(sheet, kRunOnSheetThread, VK_RETURN, reinterpret_cast<LPARAM>(control));
        Pause(150);
    } else if (name == "answer") {
        answers.push_back(Answer{first, c.Option("expect"), c.Option("capture")});
    } else if (name == "capture") {
        HWND sheet = Sheet();
        if (sheet == nullptr) {
            ReportError("nothing to capture");
            return false;
        }
        Pause(100);
        Capture(sheet, first);
    } else if (name == "dump") {
        HWND page = CurrentPage();
        PageMeta meta = Meta(page);
        Report("dump page=" + std::to_string(Number(page)) + " name=" + meta.name +
               " template=" + std::to_string(meta.templateId));
        DumpPage(page);
    } else if (name == "wait-text") {
        HWND control = Control(first);
        std::string expected = args[1];
        if (!WaitFor([&] { return control && Utf8(WindowText(control)).find(expected) != std::string::npos; },
                     timeout)) {
            ReportError("line " + std::to_string(c.line) + ": control " + first + " never showed " +
                        Quote(expected));
            return false;
        }
    } else if (name == "wait-closed") {
        if (!WaitFor([&] { return WaitForSingleObject(shared.sheetClosed, 0) == WAIT_OBJECT_0; }, timeout)) {
            ReportError("line " + std::to_string(c.line) + ": the sheet is still open");
            return false;
        }
    } else if (name == "sleep") {
        Pause(DWORD(atoi(first.c_str())));
    } else if (name == "ping") {
        // Whether the sheet's thread answers a message within MS.
        HWND sheet = Sheet();
        DWORD_PTR result = 0;
        const DWORD start = GetTickCount();
        const bool answered = sheet != nullptr &&
                              SendMessageTimeoutW(sheet, WM_NULL, 0, 0, SMTO_NORMAL, DWORD(atoi(first.c_str())),
                                                  &result) != 0;
        Report(std::string("ping answered=") + (answered ? "1" : "0") +
               " ms=" + std::to_string(GetTickCount() - start));
    }
    return true;
}

void Driver::Run()
{
    sim = FindSetupapiSim();
    bool ok = true;
    for (const ScriptCommand& command : script) {
        if (!Execute(command)) {
            ok = false;
            break;
        }
    }
    // Leave nothing open: a sheet still up is cancelled, its boxes answered.
    if (Sheet() != nullptr) {
        if (ok)
            WaitFor([&] { return WaitForSingleObject(shared.sheetClosed, 0) == WAIT_OBJECT_0; }, 2000);
        if (Sheet() != nullptr) {
            ReportError("the sheet was still open at the end of the script");
            for (int tries = 0; tries < 50 && Sheet() != nullptr; ++tries) {
                HWND sheet = Sheet();
                if (sheet != nullptr)
                    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                answers.clear();
                Pause(100);
            }
        }
    }
    Service();
    Submit(Request());
}

DWORD WINAPI Driver::Thread(void* self)
{
    static_cast<Driver*>(self)->Run();
    return 0;
}
