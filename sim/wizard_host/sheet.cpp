#include "sim/wizard_host/sheet.h"

#include <commctrl.h>

#include "sim/wizard_host/host_ids.h"
#include "sim/wizard_host/report.h"

Shared shared;
const UINT kRunOnSheetThread = RegisterWindowMessageW(L"KuvanaWizardHostRun");

namespace {

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

int CALLBACK SheetCallback(HWND window, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        Lock guard;
        shared.sheet = window;
        shared.sheetOpen = true;
        shared.buttons.clear();
        for (int id : {kBackButton, kNextButton, kFinishButton, IDCANCEL, IDOK, kApplyButton})
            shared.buttons[id] = GetDlgItem(window, id);
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

}  // namespace

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
        shared.buttons.clear();
    }
    Report("sheet closed result=" + std::to_string(static_cast<long long>(result)));
    SetEvent(shared.sheetReady);  // in case it never came up
    SetEvent(shared.sheetClosed);
    if (header.hbmHeader != nullptr)
        DeleteObject(header.hbmHeader);
    if (header.hbmWatermark != nullptr)
        DeleteObject(header.hbmWatermark);
}
