#include "wine/e2e_harness.h"

#include <commctrl.h>
#include <prsht.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>

#include "pages/install_progress_page.h"
#include "resources/module.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kNextButton = 0x3024;  // the wizard's Next button

struct Recorder {
    std::mutex lock;
    std::vector<WizardEvent> events;
    HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    void Add(const WizardEvent& event)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            events.push_back(event);
        }
        SetEvent(changed);
    }
};

Recorder recorder;
HHOOK beforeHook = nullptr;
HHOOK afterHook = nullptr;

bool IsProgressPage(HWND window)
{
    return window != nullptr && GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr;
}

bool IsStatusText(HWND control)
{
    return (GetDlgCtrlID(control) & 0xFFFF) == 0xFFFF && IsProgressPage(GetParent(control));
}

bool IsProgressBar(HWND control)
{
    return GetDlgCtrlID(control) == IDC_PROGRESS_BAR && IsProgressPage(GetParent(control));
}

// Before the message: the state of Next at the moment of a press.
LRESULT CALLBACK BeforeMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (m->message == PSM_PRESSBUTTON) {
            WizardEvent event{WizardEvent::Press, "", LPARAM(m->wParam)};
            event.nextEnabled = IsWindowEnabled(GetDlgItem(m->hwnd, kNextButton)) != FALSE;
            recorder.Add(event);
        } else if (m->message == PSM_SETWIZBUTTONS) {
            recorder.Add(WizardEvent{WizardEvent::Buttons, "", m->lParam});
        } else if ((m->message == PBM_SETMARQUEE || m->message == PBM_SETPOS) && IsProgressBar(m->hwnd)) {
            WizardEvent event{m->message == PBM_SETPOS ? WizardEvent::Position : WizardEvent::Marquee, "",
                              LPARAM(m->wParam)};
            event.marqueeStyle = (GetWindowLongPtrA(m->hwnd, GWL_STYLE) & PBS_MARQUEE) != 0;
            recorder.Add(event);
        }
    }
    return CallNextHookEx(beforeHook, code, wParam, lParam);
}

// After the message: a status text is read back exactly as the control holds it.
LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (m->message == WM_SETTEXT && IsStatusText(m->hwnd)) {
            char text[4096] = {};
            GetWindowTextA(m->hwnd, text, sizeof text);
            recorder.Add(WizardEvent{WizardEvent::Text, text});
        }
    }
    return CallNextHookEx(afterHook, code, wParam, lParam);
}

INT_PTR CALLBACK LastPageProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == UINT(PSN_SETACTIVE)) {
        recorder.Add(WizardEvent{WizardEvent::Arrived, ""});
        SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return FALSE;
}

// An empty child dialog for the page after the progress page.
struct BlankTemplate {
    DLGTEMPLATE head;
    WORD menu, windowClass, title;
};

BlankTemplate blankTemplate = {
    {WS_CHILD | WS_DISABLED | WS_CAPTION, 0, 0, 0, 0, 300, 200}, 0, 0, 0};

HWND sheetWindow = nullptr;

int CALLBACK SheetCallback(HWND window, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED)
        sheetWindow = window;
    return 0;
}

std::set<DWORD> ProcessThreads()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

typedef LONG(WINAPI* QueryThreadProc)(HANDLE, int, void*, ULONG, ULONG*);
const int kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress

// The module a thread started in: _beginthreadex threads start in the C runtime.
HMODULE StartModule(DWORD id)
{
    static QueryThreadProc query = reinterpret_cast<QueryThreadProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    HMODULE module = nullptr;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    if (thread == nullptr || query == nullptr)
        return nullptr;
    void* start = nullptr;
    if (query(thread, kThreadStartAddress, &start, sizeof start, nullptr) == 0)
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(start), &module);
    CloseHandle(thread);
    return module;
}

}  // namespace

std::vector<DWORD> RuntimeThreads()
{
    std::vector<DWORD> threads;
    const HMODULE runtimes[2] = {GetModuleHandleA("msvcrt.dll"), GetModuleHandleA("ucrtbase.dll")};
    for (DWORD id : ProcessThreads()) {
        HMODULE module = StartModule(id);
        if (module != nullptr && (module == runtimes[0] || module == runtimes[1]))
            threads.push_back(id);
    }
    return threads;
}

bool WaitThreadsEnded(const std::vector<DWORD>& threads, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (DWORD id : threads) {
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
        if (thread == nullptr)
            continue;  // already gone
        const DWORD spent = GetTickCount() - start;
        const DWORD result = WaitForSingleObject(thread, spent < milliseconds ? milliseconds - spent : 0);
        CloseHandle(thread);
        if (result != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

std::string ModuleText(UINT id)
{
    return LoadModuleString(id);
}

std::string StepText(UINT id, int k, int n)
{
    char count[64];
    snprintf(count, sizeof count, " (%d/%d)", k, n);
    return ModuleText(id) + count;
}

bool UseModuleResources()
{
    HMODULE module = LoadLibraryA("kuvana_coinst.dll");
    if (module == nullptr)
        return false;
    moduleInstance = module;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return true;
}

ProgressWizard::ProgressWizard()
{
    {
        std::lock_guard<std::mutex> guard(recorder.lock);
        recorder.events.clear();
    }
    const std::vector<DWORD> before = RuntimeThreads();
    threadsBefore = before;
    ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread = CreateThread(nullptr, 0, Thread, this, 0, nullptr);
    WaitForSingleObject(ready, 10000);
}

DWORD WINAPI ProgressWizard::Thread(void* argument)
{
    ProgressWizard* self = static_cast<ProgressWizard*>(argument);
    beforeHook = SetWindowsHookExA(WH_CALLWNDPROC, BeforeMessage, nullptr, GetCurrentThreadId());
    afterHook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());

    installProgressPage.InitPageInfo();
    HPROPSHEETPAGE pages[2];
    pages[0] = CreatePropertySheetPageA(reinterpret_cast<LPCPROPSHEETPAGEA>(&installProgressPage.pageInfo));
    installProgressPage.pageHandle = pages[0];

    PROPSHEETPAGEA last = {};
    last.dwSize = PROPSHEETPAGEA_V1_SIZE;
    last.dwFlags = PSP_DLGINDIRECT;
    last.hInstance = GetModuleHandleA(nullptr);
    last.pResource = &blankTemplate.head;
    last.pfnDlgProc = LastPageProc;
    pages[1] = CreatePropertySheetPageA(&last);

    PROPSHEETHEADERA header = {};
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_WIZARD | PSH_USECALLBACK | PSH_MODELESS;
    header.hInstance = moduleInstance;
    header.pszCaption = "";
    header.nPages = 2;
    header.phpage = pages;
    header.pfnCallback = SheetCallback;
    sheetWindow = nullptr;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    self->sheet = sheet;
    self->page = installProgressPage.pageWindow;
    SetEvent(self->ready);

    MSG message;
    while (sheet != nullptr && IsWindow(sheet) && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!PropSheet_IsDialogMessage(sheet, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        // A modeless sheet that was cancelled or finished is the owner's to destroy.
        if (PropSheet_GetCurrentPageHwnd(sheet) == nullptr) {
            DestroyWindow(sheet);
            break;
        }
    }
    UnhookWindowsHookEx(beforeHook);
    UnhookWindowsHookEx(afterHook);
    return 0;
}

ProgressWizard::~ProgressWizard()
{
    Close();
    // The next wizard must not meet this one's worker.
    WaitWorkerEnded(20000);
    CloseHandle(thread);
    CloseHandle(ready);
}

void ProgressWizard::Close()
{
    if (thread == nullptr)
        return;
    if (sheet != nullptr && IsWindow(sheet))
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (WaitForSingleObject(thread, 5000) == WAIT_TIMEOUT && sheet != nullptr)
        PostMessageA(sheet, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread, 5000);
}

bool ProgressWizard::WaitWorkerEnded(DWORD milliseconds)
{
    std::vector<DWORD> started;
    for (DWORD id : RuntimeThreads())
        if (std::find(threadsBefore.begin(), threadsBefore.end(), id) == threadsBefore.end())
            started.push_back(id);
    return WaitThreadsEnded(started, milliseconds);
}

bool ProgressWizard::WaitArrived(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!Arrived()) {
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return false;
        WaitForSingleObject(recorder.changed, milliseconds - spent);
    }
    return true;
}

bool ProgressWizard::WaitTexts(size_t count, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (Texts().size() < count) {
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return false;
        WaitForSingleObject(recorder.changed, milliseconds - spent);
    }
    return true;
}

std::vector<WizardEvent> ProgressWizard::Events() const
{
    std::lock_guard<std::mutex> guard(recorder.lock);
    return recorder.events;
}

std::vector<std::string> ProgressWizard::Texts() const
{
    std::vector<std::string> texts;
    for (const WizardEvent& event : Events())
        if (event.kind == WizardEvent::Text)
            texts.push_back(event.text);
    return texts;
}

bool ProgressWizard::Arrived() const
{
    for (const WizardEvent& event : Events())
        if (event.kind == WizardEvent::Arrived)
            return true;
    return false;
}
