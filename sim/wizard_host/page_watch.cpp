#include <windows.h>
#include <commctrl.h>

#include "sim/wizard_host/capture.h"
#include "sim/wizard_host/driver.h"
#include "sim/wizard_host/report.h"

HWND Driver::Sheet()
{
    Lock guard;
    return shared.sheetOpen ? shared.sheet : nullptr;
}

HWND Driver::SheetButton(int id)
{
    Lock guard;
    const auto found = shared.buttons.find(id);
    return shared.sheetOpen && found != shared.buttons.end() ? found->second : nullptr;
}

HWND Driver::CurrentPage()
{
    HWND sheet = Sheet();
    DWORD_PTR page = 0;
    if (sheet == nullptr ||
        !SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 500, &page))
        return nullptr;
    return reinterpret_cast<HWND>(page);
}

PageMeta Driver::Meta(HWND page)
{
    Lock guard;
    auto found = shared.pages.find(page);
    return found != shared.pages.end() ? found->second : PageMeta();
}

int Driver::Number(HWND page)
{
    auto found = pageNumbers.find(page);
    return found != pageNumbers.end() ? found->second : 0;
}

std::wstring Driver::FullPath(const std::string& file)
{
    std::wstring wide = Wide(file);
    if (wide.size() > 1 && (wide[1] == L':' || wide[0] == L'\\' || wide[0] == L'/'))
        return wide;
    return shots + L"\\" + wide;
}

std::string Driver::ButtonsLine(HWND sheet)
{
    struct Named {
        const char* name;
        int id;
    } buttons[] = {{"back", kBackButton}, {"next", kNextButton}, {"finish", kFinishButton},
                   {"cancel", IDCANCEL}, {"ok", IDOK}, {"apply", kApplyButton}};
    std::string line;
    for (const Named& b : buttons) {
        HWND button = sheet != nullptr ? SheetButton(b.id) : nullptr;
        if (button == nullptr || !IsWindowVisible(button))
            continue;
        line += std::string(line.empty() ? "" : " ") + b.name + "=" + (IsWindowEnabled(button) ? "1" : "0");
    }
    return line;
}

// The text and progress state it reports are also given back, so the
// changes reported next start from exactly what this line showed.
std::string Driver::ControlLine(HWND page, HWND control, std::wstring* text, std::string* progress)
{
    int id = GetDlgCtrlID(control);
    std::wstring cls = ClassName(control);
    *text = WindowText(control);
    std::string line = "control page=" + std::to_string(Number(page)) + " id=" + std::to_string(id) +
                       " class=" + Utf8(cls) + " " + TextValue(*text) +
                       " enabled=" + (IsWindowEnabled(control) ? "1" : "0") +
                       " visible=" + (IsWindowVisible(control) ? "1" : "0");
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        LONG style = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        if (style == BS_AUTORADIOBUTTON || style == BS_RADIOBUTTON || style == BS_CHECKBOX ||
            style == BS_AUTOCHECKBOX)
            line += " checked=" + std::to_string(SendMessageW(control, BM_GETCHECK, 0, 0));
    }
    if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        *progress = ProgressState(control);
        line += " " + *progress;
    }
    return line;
}

std::string Driver::ProgressState(HWND bar)
{
    DWORD_PTR pos = 0;
    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 500, &pos);
    return "pos=" + std::to_string(pos) +
           " marquee=" + ((GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) ? "1" : "0");
}

void Driver::DumpPage(HWND page)
{
    HWND sheet = Sheet();
    if (page == nullptr || sheet == nullptr)
        return;
    for (HWND c = GetWindow(page, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        std::wstring text;
        std::string progress;
        Report(ControlLine(page, c, &text, &progress));
        lastTexts[c] = text;
        if (!progress.empty())
            lastProgress[c] = progress;
    }
    lastButtons = ButtonsLine(sheet);
    Report("buttons " + lastButtons);
}

// Called between every step of every wait: keeps the report current and
// answers message boxes.
void Driver::Service()
{
    // Nothing is read from the sheet's windows while a press of Finish,
    // Cancel or OK takes them down (see Shared::buttons for what Wine 10.0's
    // wineserver does with a listing that races a page's destruction). A
    // sheet still there after a while kept itself open (a page refused, or
    // asks first), and is watched again.
    if (closingSince != 0 && WaitForSingleObject(shared.sheetClosed, 0) != WAIT_OBJECT_0 &&
        GetTickCount() - closingSince < kTeardownMs)
        return;
    // Activations first: they were recorded when they happened, so a box
    // seen now came after them.
    ServiceActivations();
    ServiceBoxes();
    ServiceChanges();
    ServiceReboot();
}

void Driver::ServiceActivations()
{
    std::vector<HWND> fresh;
    {
        Lock guard;
        for (; activationsSeen < shared.activations.size(); ++activationsSeen)
            fresh.push_back(shared.activations[activationsSeen]);
    }
    for (HWND page : fresh) {
        if (!pageNumbers.count(page))
            pageNumbers[page] = ++pageCount;
        PageMeta meta = Meta(page);
        std::string line = "page n=" + std::to_string(Number(page)) + " name=" + meta.name +
                           " template=" + std::to_string(meta.templateId);
        if (wizard)
            line += " title=" + Quote(Utf8(meta.title)) + " subtitle=" + Quote(Utf8(meta.subtitle));
        line += " caption=" + Quote(Utf8(WindowText(page)));
        Report(line);
    }
    if (!fresh.empty()) {
        // Let the page finish its own activation before reading it; when
        // the sheet has already moved on, the next activation reports.
        Sleep(50);
        HWND current = CurrentPage();
        lastTexts.clear();
        lastProgress.clear();
        watchedPage = current == fresh.back() ? current : nullptr;
        DumpPage(watchedPage);
    }
}

void Driver::ServiceChanges()
{
    HWND sheet = Sheet();
    if (sheet == nullptr || watchedPage == nullptr || !IsWindow(watchedPage) || !IsWindowVisible(sheet))
        return;
    for (HWND c = GetWindow(watchedPage, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        std::wstring text = WindowText(c);
        auto found = lastTexts.find(c);
        if (!IsWindow(c))
            continue;
        if (found == lastTexts.end() || found->second != text) {
            lastTexts[c] = text;
            Report("text page=" + std::to_string(Number(watchedPage)) + " id=" +
                   std::to_string(GetDlgCtrlID(c)) + " " + TextValue(text));
        }
        if (_wcsicmp(ClassName(c).c_str(), PROGRESS_CLASSW) == 0) {
            std::string state = ProgressState(c);
            if (lastProgress[c] != state) {
                lastProgress[c] = state;
                Report("progress page=" + std::to_string(Number(watchedPage)) + " id=" +
                       std::to_string(GetDlgCtrlID(c)) + " " + state);
            }
        }
    }
    std::string buttons = ButtonsLine(sheet);
    if (!buttons.empty() && buttons != lastButtons) {
        lastButtons = buttons;
        Report("buttons " + buttons);
    }
}

void Driver::ServiceReboot()
{
    if (sim.rebootPrompts == nullptr)
        return;
    HWND owner = nullptr;
    int count = sim.rebootPrompts(&owner);
    for (; rebootPromptsSeen < count; ++rebootPromptsSeen) {
        int page = Number(owner);
        Report("reboot-prompt n=" + std::to_string(rebootPromptsSeen + 1) +
               " owner=" + (page ? "page:" + std::to_string(page) : owner == Sheet() && owner ? "sheet" : Hex(
                                reinterpret_cast<ULONG_PTR>(owner), 1)));
    }
}

BOOL CALLBACK Driver::CollectBox(HWND window, LPARAM context)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWND sheet = nullptr;
    {
        Lock guard;
        sheet = shared.sheet;
    }
    // Never the sheet itself: its children are not listed from this thread
    // (see Shared::buttons).
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassName(window) == L"#32770" &&
        window != sheet && GetDlgItem(window, 0xFFFF) != nullptr)
        reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

const char* Driver::ButtonName(int id)
{
    switch (id) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDABORT: return "abort";
    case IDRETRY: return "retry";
    case IDIGNORE: return "ignore";
    case IDYES: return "yes";
    case IDNO: return "no";
    case 10: return "tryagain";
    case 11: return "continue";
    default: return "";
    }
}

void Driver::ServiceBoxes()
{
    std::vector<HWND> boxes;
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&boxes));
    for (auto it = boxesSeen.begin(); it != boxesSeen.end();)
        it = IsWindow(it->first) ? std::next(it) : boxesSeen.erase(it);
    for (HWND box : boxes) {
        if (boxesSeen.count(box) || box == Sheet())
            continue;
        boxesSeen[box] = true;
        Sleep(30);  // let it finish laying itself out
        std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
        std::string buttons;
        std::map<std::string, HWND> byName;
        for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            const char* name = ButtonName(GetDlgCtrlID(c));
            if (*name && IsWindowVisible(c) && _wcsicmp(ClassName(c).c_str(), L"Button") == 0) {
                buttons += std::string(buttons.empty() ? "" : ",") + name;
                byName[name] = c;
            }
        }
        // The default button is the one drawn as such (Enter presses it).
        std::string defaultName;
        for (auto& named : byName) {
            if ((GetWindowLongW(named.second, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                defaultName = named.first;
        }
        HWND owner = GetWindow(box, GW_OWNER);
        std::string ownerText = Number(owner) ? "page:" + std::to_string(Number(owner))
                                : owner && owner == Sheet() ? "sheet"
                                : owner                    ? "other"
                                                           : "none";
        std::string answer = defaultName;
        std::string how = "default";
        if (!answers.empty()) {
            Answer scripted = answers.front();
            answers.pop_front();
            answer = scripted.button;
            how = "script";
            if (!scripted.expect.empty() && Utf8(text).find(scripted.expect) == std::string::npos)
                ReportError("message box text does not contain " + Quote(scripted.expect));
            if (!scripted.capture.empty())
                Capture(box, scripted.capture);
        }
        Report("messagebox caption=" + Quote(Utf8(WindowText(box))) + " " + TextValue(text) +
               " buttons=" + buttons + " default=" + (defaultName.empty() ? "none" : defaultName) +
               " owner=" + ownerText + " answer=" + answer + " by=" + how);
        auto button = byName.find(answer);
        if (button == byName.end()) {
            ReportError("message box has no button " + answer);
            button = byName.begin();
        }
        if (button != byName.end())
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button->second), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button->second));
    }
}

void Driver::Capture(HWND window, const std::string& file)
{
    std::wstring path = FullPath(file);
    bool ok = window != nullptr && CaptureWindowPng(window, path);
    Report("capture file=" + Quote(Utf8(path)) + " ok=" + (ok ? "1" : "0"));
    if (!ok)
        ReportError("capture failed: " + file);
}

void Driver::Pause(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        Service();
        Sleep(kPoll);
    }
    Service();
}
