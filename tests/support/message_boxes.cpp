#include "support/message_boxes.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

namespace {

const int kMessageTextId = 0xFFFF;

struct ButtonSet {
    UINT type;
    std::vector<int> ids;
};

const ButtonSet kButtonSets[] = {
    {MB_OK, {IDOK}},
    {MB_OKCANCEL, {IDCANCEL, IDOK}},
    {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
    {MB_YESNOCANCEL, {IDCANCEL, IDYES, IDNO}},
    {MB_YESNO, {IDYES, IDNO}},
    {MB_RETRYCANCEL, {IDCANCEL, IDRETRY}},
    {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
};

bool IsDialog(HWND window)
{
    char name[16] = {};
    GetClassNameA(window, name, sizeof(name));
    return strcmp(name, "#32770") == 0;
}

std::vector<int> PushButtons(HWND dialog)
{
    std::vector<int> ids;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16] = {};
        GetClassNameA(child, name, sizeof(name));
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        const LONG kind = style & BS_TYPEMASK;
        if (_stricmp(name, "Button") == 0 && (style & WS_VISIBLE) && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON))
            ids.push_back(GetDlgCtrlID(child));
    }
    return ids;
}

UINT TypeOf(std::vector<int> ids)
{
    ids.erase(std::remove(ids.begin(), ids.end(), IDHELP), ids.end());
    std::sort(ids.begin(), ids.end());
    for (const ButtonSet& set : kButtonSets) {
        std::vector<int> sorted = set.ids;
        std::sort(sorted.begin(), sorted.end());
        if (sorted == ids)
            return set.type;
    }
    return ~0u;
}

std::string TextA(HWND window)
{
    char buffer[4096] = {};
    GetWindowTextA(window, buffer, sizeof(buffer));
    return buffer;
}

std::wstring TextW(HWND window)
{
    wchar_t buffer[4096] = {};
    GetWindowTextW(window, buffer, 4096);
    return buffer;
}

}  // namespace

struct MessageBoxScript::State {
    std::vector<int> answers;
    int defaultAnswer = 0;
    bool anyDialog = false;
    mutable std::mutex lock;
    std::vector<ShownDialog> shown;
    std::set<HWND> answered;  // windows still alive that were already answered

    HHOOK hook = nullptr;
    HANDLE watcher = nullptr;
    HANDLE stop = nullptr;

    // Records and answers `window` if it is a dialog not seen before.
    void Handle(HWND window)
    {
        if (!IsDialog(window))
            return;
        HWND textControl = GetDlgItem(window, kMessageTextId);
        const bool isMessageBox = textControl != nullptr;
        if (!isMessageBox && !anyDialog)
            return;
        ShownDialog dialog;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!answered.insert(window).second)
                return;
        }
        dialog.window = window;
        dialog.owner = GetWindow(window, GW_OWNER);
        dialog.threadId = GetWindowThreadProcessId(window, nullptr);
        dialog.isMessageBox = isMessageBox;
        if (isMessageBox) {
            dialog.text = TextA(textControl);
            dialog.wideText = TextW(textControl);
        }
        dialog.caption = TextA(window);
        dialog.wideCaption = TextW(window);
        dialog.buttons = PushButtons(window);
        dialog.type = TypeOf(dialog.buttons);
        {
            std::lock_guard<std::mutex> guard(lock);
            const size_t index = shown.size();
            int answer = index < answers.size() ? answers[index] : defaultAnswer;
            if (answer == 0) {
                const std::vector<int>& b = dialog.buttons;
                answer = std::find(b.begin(), b.end(), IDCANCEL) != b.end() ? IDCANCEL : b.empty() ? IDCANCEL : b[0];
            }
            dialog.answer = answer;
            shown.push_back(dialog);
        }
        // Posted: the box reads it once its modal loop runs.
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(dialog.answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, dialog.answer)));
    }

    void Forget()
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = answered.begin(); it != answered.end();)
            it = IsWindow(*it) ? std::next(it) : answered.erase(it);
    }
};

namespace {

// The hooked thread's script; one at a time per thread.
thread_local MessageBoxScript::State* hookedState = nullptr;

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && hookedState != nullptr) {
        hookedState->Forget();
        hookedState->Handle(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window))
        reinterpret_cast<MessageBoxScript::State*>(parameter)->Handle(window);
    return TRUE;
}

unsigned long __stdcall Watch(void* parameter)
{
    auto* state = static_cast<MessageBoxScript::State*>(parameter);
    while (WaitForSingleObject(state->stop, 5) == WAIT_TIMEOUT) {
        state->Forget();
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(state));
    }
    return 0;
}

}  // namespace

MessageBoxScript::MessageBoxScript(std::vector<int> answers, int defaultAnswer, Scope scope, bool anyDialog)
    : state(std::make_shared<State>())
{
    state->answers = std::move(answers);
    state->defaultAnswer = defaultAnswer;
    state->anyDialog = anyDialog;
    if (scope == Scope::Thread) {
        hookedState = state.get();
        state->hook = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    } else {
        state->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        state->watcher = CreateThread(nullptr, 0, Watch, state.get(), 0, nullptr);
    }
}

MessageBoxScript::~MessageBoxScript()
{
    if (state->hook != nullptr) {
        UnhookWindowsHookEx(state->hook);
        if (hookedState == state.get())
            hookedState = nullptr;
    }
    if (state->watcher != nullptr) {
        SetEvent(state->stop);
        WaitForSingleObject(state->watcher, INFINITE);
        CloseHandle(state->watcher);
        CloseHandle(state->stop);
    }
}

std::vector<ShownDialog> MessageBoxScript::Shown() const
{
    std::lock_guard<std::mutex> guard(state->lock);
    return state->shown;
}

size_t MessageBoxScript::Count() const
{
    std::lock_guard<std::mutex> guard(state->lock);
    return state->shown.size();
}

std::string MessageBoxScript::Describe() const
{
    std::string lines;
    for (const ShownDialog& box : Shown())
        lines += "box \"" + box.text + "\" answered " + ButtonName(box.answer) + "\n";
    return lines;
}

bool MessageBoxScript::WaitForCount(size_t count, DWORD milliseconds) const
{
    const DWORD start = GetTickCount();
    while (Count() < count) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(5);
    }
    return true;
}

std::string ButtonName(int id)
{
    static const std::map<int, std::string> names = {
        {IDOK, "OK"},         {IDCANCEL, "Cancel"},      {IDABORT, "Abort"},          {IDRETRY, "Retry"},
        {IDIGNORE, "Ignore"}, {IDYES, "Yes"},            {IDNO, "No"},                {IDHELP, "Help"},
        {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"}};
    auto it = names.find(id);
    return it != names.end() ? it->second : std::to_string(id);
}
