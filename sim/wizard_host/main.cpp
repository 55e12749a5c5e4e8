// wizard_host.exe: plays the device-installation framework for the class
// installer under Wine. It calls ClassInstaller with the DIF codes a script
// names, shows the pages it got in a real wizard or property sheet, acts as a
// person would (radio buttons, buttons, links, message boxes) and reports what
// was shown. See README.md beside this file for the script and the report.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "sim/setupapi/setupapi_sim.h"
#include "sim/wizard_host/capture.h"
#include "sim/wizard_host/host_ids.h"
#include "sim/wizard_host/script.h"

#ifndef DI_FLAGSEX_FINISHINSTALL_ACTION
#define DI_FLAGSEX_FINISHINSTALL_ACTION 0x00000008L
#endif

namespace {

// The sheet's own buttons.
const int kBackButton = 0x3023;
const int kNextButton = 0x3024;
const int kFinishButton = 0x3025;
const int kApplyButton = 0x3021;
const char kRelaunchVariable[] = "KUVANA_WIZARD_HOST_RELAUNCHED";
const DWORD kPoll = 20;

typedef DWORD(WINAPI* ClassInstallerProc)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);

// ---------------------------------------------------------------- text ----

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), &out[0], size);
    return out;
}

std::string Hex(unsigned long long value, int digits = 8)
{
    char text[32];
    snprintf(text, sizeof text, "0x%0*llx", digits, value);
    return text;
}

std::wstring WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length))
        return std::wstring();
    // Room beyond the length: a text replaced by a longer one between the two
    // messages is still read whole, not cut at the old length.
    std::wstring text(length + 1025, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 1000,
                        &copied);
    text.resize(copied);
    return text;
}

std::wstring ClassName(HWND window)
{
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// ---------------------------------------------------------------- report --

CRITICAL_SECTION reportLock;
FILE* reportFile = nullptr;
int errors = 0;
bool fullText = false;

void Report(const std::string& line)
{
    EnterCriticalSection(&reportLock);
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
    if (reportFile != nullptr) {
        fprintf(reportFile, "%s\n", line.c_str());
        fflush(reportFile);
    }
    LeaveCriticalSection(&reportLock);
}

void ReportError(const std::string& message)
{
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&errors));
    Report("error message=" + Quote(message));
}

std::string TextValue(const std::wstring& text)
{
    std::string result = "text=" + Quote(Utf8(fullText || text.size() <= 160 ? text : text.substr(0, 160)));
    if (!fullText && text.size() > 160)
        result += " truncated=1";
    return result + " length=" + std::to_string(text.size());
}

// ------------------------------------------------------- shared state ----

struct PageMeta {
    int templateId = 0;  // 0: from memory
    std::string name;    // welcome, finish, general, other, or dll
    std::wstring title, subtitle;
};

struct Shared {
    CRITICAL_SECTION lock;
    HWND sheet = nullptr;
    bool sheetOpen = false;
    std::map<HWND, PageMeta> pages;  // by page window, from WM_INITDIALOG
    std::vector<HWND> activations;   // PSN_SETACTIVE, in order
    HINSTANCE hostInstance = nullptr;
    HANDLE sheetReady = nullptr;     // set when the sheet window exists (or failed)
    HANDLE sheetClosed = nullptr;
} shared;

class Lock {
public:
    Lock() { EnterCriticalSection(&shared.lock); }
    ~Lock() { LeaveCriticalSection(&shared.lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

std::wstring ResourceString(HINSTANCE instance, const void* value, DWORD flags)
{
    if (value == nullptr)
        return std::wstring();
    if (IS_INTRESOURCE(value)) {
        WCHAR text[1024] = {};
        LoadStringW(instance, UINT(reinterpret_cast<ULONG_PTR>(value)), text, 1024);
        return text;
    }
    (void)flags;
    // A page's own copy keeps strings in the sheet's internal character set:
    // wide when the second byte is zero.
    const char* bytes = static_cast<const char*>(value);
    if (bytes[0] != '\0' && bytes[1] == '\0')
        return static_cast<const WCHAR*>(value);
    WCHAR text[1024] = {};
    MultiByteToWideChar(CP_ACP, 0, bytes, -1, text, 1024);
    return text;
}

// Sees the page descriptions (WM_INITDIALOG) and page activations on the
// sheet's thread.
LRESULT CALLBACK WatchSheet(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message != nullptr) {
        if (message->message == WM_INITDIALOG && message->lParam != 0 &&
            (GetWindowLongW(message->hwnd, GWL_STYLE) & WS_CHILD)) {
            const PROPSHEETPAGEW* page = reinterpret_cast<const PROPSHEETPAGEW*>(message->lParam);
            PageMeta meta;
            if (!(page->dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(page->pszTemplate))
                meta.templateId = int(reinterpret_cast<ULONG_PTR>(page->pszTemplate));
            if (page->hInstance == shared.hostInstance) {
                meta.name = meta.templateId == IDD_HOST_WELCOME    ? "welcome"
                            : meta.templateId == IDD_HOST_FINISH   ? "finish"
                            : meta.templateId == IDD_HOST_GENERAL  ? "general"
                                                                   : "other";
            } else {
                meta.name = "dll";
                if (page->dwSize >= 88) {
                    if (page->dwFlags & PSP_USEHEADERTITLE)
                        meta.title = ResourceString(page->hInstance, page->pszHeaderTitle, page->dwFlags);
                    if (page->dwFlags & PSP_USEHEADERSUBTITLE)
                        meta.subtitle = ResourceString(page->hInstance, page->pszHeaderSubTitle, page->dwFlags);
                }
            }
            Lock guard;
            shared.pages[message->hwnd] = meta;
        } else if (message->message == WM_NOTIFY && message->lParam != 0) {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(message->lParam);
            if (header->code == static_cast<UINT>(PSN_SETACTIVE)) {
                Lock guard;
                if (shared.pages.count(message->hwnd))
                    shared.activations.push_back(message->hwnd);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Work the driver hands to the sheet's thread (focus belongs to that thread).
const UINT kRunOnSheetThread = RegisterWindowMessageW(L"KuvanaWizardHostRun");

LRESULT CALLBACK RunOnSheetThread(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == kRunOnSheetThread) {
        HWND control = reinterpret_cast<HWND>(message->lParam);
        if (message->wParam == VK_RETURN) {
            SetFocus(control);
            PostMessageW(control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageW(control, WM_KEYUP, VK_RETURN, 0xC01C0001);
        }
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// -------------------------------------------------- host pages & sheet ----

INT_PTR CALLBACK HostPageProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        return TRUE;
    }
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_SETACTIVE)) {
        LONG_PTR kind = GetWindowLongPtrW(window, DWLP_USER);
        if (kind == IDD_HOST_WELCOME)
            SendMessageW(GetParent(window), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
        else if (kind == IDD_HOST_FINISH)
            SendMessageW(GetParent(window), PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
        return TRUE;
    }
    return FALSE;
}

HPROPSHEETPAGE HostPage(int templateId, bool exterior)
{
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.dwFlags = exterior ? PSP_HIDEHEADER : PSP_DEFAULT;
    page.hInstance = shared.hostInstance;
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pfnDlgProc = HostPageProc;
    page.lParam = templateId;
    return CreatePropertySheetPageW(&page);
}

int CALLBACK SheetCallback(HWND window, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        Lock guard;
        shared.sheet = window;
        shared.sheetOpen = true;
        SetEvent(shared.sheetReady);
    }
    return 0;
}

HBITMAP PlainBitmap(int width, int height, COLORREF colour)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT rect = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

// Runs on the main thread; returns when the sheet has closed.
void ShowSheet(bool wizard, const std::vector<HPROPSHEETPAGE>& dynamicPages)
{
    std::vector<HPROPSHEETPAGE> pages;
    if (wizard) {
        pages.push_back(HostPage(IDD_HOST_WELCOME, true));
        pages.insert(pages.end(), dynamicPages.begin(), dynamicPages.end());
        pages.push_back(HostPage(IDD_HOST_FINISH, true));
    } else {
        pages.push_back(HostPage(IDD_HOST_GENERAL, false));
        pages.insert(pages.end(), dynamicPages.begin(), dynamicPages.end());
    }
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_USECALLBACK;
    if (wizard) {
        header.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK | PSH_USEHBMHEADER | PSH_USEHBMWATERMARK;
        header.hbmHeader = PlainBitmap(49, 49, RGB(0x2E, 0x5C, 0x8A));
        header.hbmWatermark = PlainBitmap(164, 314, RGB(0x2E, 0x5C, 0x8A));
        header.pszCaption = L"Found New Hardware Wizard";
    } else {
        header.dwFlags |= PSH_NOAPPLYNOW | PSH_PROPTITLE;
        header.pszCaption = L"Kuvana Port reader";
    }
    header.hInstance = shared.hostInstance;
    header.nPages = UINT(pages.size());
    header.phpage = pages.data();
    header.pfnCallback = SheetCallback;
    HHOOK watch = SetWindowsHookExW(WH_CALLWNDPROC, WatchSheet, nullptr, GetCurrentThreadId());
    HHOOK run = SetWindowsHookExW(WH_GETMESSAGE, RunOnSheetThread, nullptr, GetCurrentThreadId());
    INT_PTR result = PropertySheetW(&header);
    UnhookWindowsHookEx(run);
    UnhookWindowsHookEx(watch);
    {
        Lock guard;
        shared.sheetOpen = false;
        shared.sheet = nullptr;
    }
    Report("sheet closed result=" + std::to_string(static_cast<long long>(result)));
    SetEvent(shared.sheetReady);  // in case it never came up
    SetEvent(shared.sheetClosed);
    if (header.hbmHeader != nullptr)
        DeleteObject(header.hbmHeader);
    if (header.hbmWatermark != nullptr)
        DeleteObject(header.hbmWatermark);
}

// ------------------------------------------------------ the framework ----

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
    void Call(DWORD code, std::string record_kind)
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
} framework;

// Requests from the driver thread to the main (framework) thread.
struct Request {
    enum Kind { Dif, Show, Quit } kind = Quit;
    DWORD code = 0;
    std::string record;
    bool wizard = true;
};
CRITICAL_SECTION requestLock;
std::deque<Request> requests;
HANDLE requestReady = nullptr;
HANDLE requestDone = nullptr;

void Submit(const Request& request)
{
    EnterCriticalSection(&requestLock);
    requests.push_back(request);
    LeaveCriticalSection(&requestLock);
    SetEvent(requestReady);
}

// ------------------------------------------------------------ driver ----

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
    std::map<HWND, std::string> lastProgress;
    int rebootPromptsSeen = 0;
    SetupapiSim sim;

    HWND Sheet()
    {
        Lock guard;
        return shared.sheetOpen ? shared.sheet : nullptr;
    }

    HWND CurrentPage()
    {
        HWND sheet = Sheet();
        DWORD_PTR page = 0;
        if (sheet == nullptr ||
            !SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 500, &page))
            return nullptr;
        return reinterpret_cast<HWND>(page);
    }

    PageMeta Meta(HWND page)
    {
        Lock guard;
        auto found = shared.pages.find(page);
        return found != shared.pages.end() ? found->second : PageMeta();
    }

    int Number(HWND page)
    {
        auto found = pageNumbers.find(page);
        return found != pageNumbers.end() ? found->second : 0;
    }

    std::wstring FullPath(const std::string& file)
    {
        std::wstring wide = Wide(file);
        if (wide.size() > 1 && (wide[1] == L':' || wide[0] == L'\\' || wide[0] == L'/'))
            return wide;
        return shots + L"\\" + wide;
    }

    std::string ButtonsLine(HWND sheet)
    {
        struct Named {
            const char* name;
            int id;
        } buttons[] = {{"back", kBackButton}, {"next", kNextButton}, {"finish", kFinishButton},
                       {"cancel", IDCANCEL}, {"ok", IDOK}, {"apply", kApplyButton}};
        std::string line;
        for (const Named& b : buttons) {
            HWND button = GetDlgItem(sheet, b.id);
            if (button == nullptr || !IsWindowVisible(button))
                continue;
            line += std::string(line.empty() ? "" : " ") + b.name + "=" + (IsWindowEnabled(button) ? "1" : "0");
        }
        return line;
    }

    // The text and progress state it reports are also given back, so the
    // changes reported next start from exactly what this line showed.
    std::string ControlLine(HWND page, HWND control, std::wstring* text, std::string* progress)
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

    std::string ProgressState(HWND bar)
    {
        DWORD_PTR pos = 0;
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 500, &pos);
        return "pos=" + std::to_string(pos) +
               " marquee=" + ((GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) ? "1" : "0");
    }

    void DumpPage(HWND page)
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
    void Service()
    {
        // Activations first: they were recorded when they happened, so a box
        // seen now came after them.
        ServiceActivations();
        ServiceBoxes();
        ServiceChanges();
        ServiceReboot();
    }

    void ServiceActivations()
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

    void ServiceChanges()
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

    void ServiceReboot()
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

    static BOOL CALLBACK CollectBox(HWND window, LPARAM context)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassName(window) == L"#32770" &&
            GetDlgItem(window, 0xFFFF) != nullptr)
            reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
        return TRUE;
    }

    static const char* ButtonName(int id)
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

    void ServiceBoxes()
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

    void Capture(HWND window, const std::string& file)
    {
        std::wstring path = FullPath(file);
        bool ok = window != nullptr && CaptureWindowPng(window, path);
        Report("capture file=" + Quote(Utf8(path)) + " ok=" + (ok ? "1" : "0"));
        if (!ok)
            ReportError("capture failed: " + file);
    }

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

    void Pause(DWORD milliseconds)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            Service();
            Sleep(kPoll);
        }
        Service();
    }

    bool PageMatches(HWND page, const std::string& what)
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

    HWND Control(const std::string& id)
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
    void ClickLink(HWND link, const std::string& id)
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

    bool Execute(const ScriptCommand& c)
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
            HWND button = sheet != nullptr && id != 0 ? GetDlgItem(sheet, id) : nullptr;
            if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
                Report("press button=" + first + " ignored=1");
            } else {
                Report("press button=" + first);
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

    void Run()
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

    static DWORD WINAPI Thread(void* self)
    {
        static_cast<Driver*>(self)->Run();
        return 0;
    }
} driver;

// ------------------------------------------------------------- start ----

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

// --update-driver: Wine's own device installation of the devices with this
// hardware id from this INF (newdev), with the codes it sent to the framework.
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

// --device: the framework loads the co-installers named in the device's
// driver key. Wine unloads them after every call, while Windows keeps them
// until the device information set is destroyed; the pages they add need
// them loaded, so the host keeps a reference for the set's lifetime.
bool LoadRegisteredCoInstallers(HDEVINFO set, PSP_DEVINFO_DATA element, std::vector<HMODULE>* modules,
                                std::string* names)
{
    HKEY key = SetupDiOpenDevRegKey(set, element, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return false;
    WCHAR value[1024] = {};
    DWORD type = 0, size = sizeof value - 2 * sizeof(WCHAR);
    LONG status = RegQueryValueExW(key, L"CoInstallers32", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return false;
    for (const WCHAR* entry = value; *entry != L'\0'; entry += wcslen(entry) + 1) {
        std::wstring text = entry;
        *names += (names->empty() ? "" : ";") + Utf8(text);
        HMODULE module = LoadLibraryW(text.substr(0, text.find(L',')).c_str());
        if (module == nullptr)
            return false;
        modules->push_back(module);
    }
    return !modules->empty();
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
    std::string registration;
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
        Report("registration device=" + Quote(Utf8(deviceId)) + " coinstallers32=" + Quote(registration));
    if (!elementReady) {
        ReportError("cannot create the device information element: " + std::to_string(GetLastError()));
        Report("end status=failed errors=1");
        return 1;
    }
    if (!loaded) {
        ReportError(framework.viaFramework ? "the device's driver key names no co-installer that loads"
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
