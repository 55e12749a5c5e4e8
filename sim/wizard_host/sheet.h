// The sheet the host shows: its own wizard or property pages around the class
// installer's, and what it learns about each page on the sheet's thread.
#ifndef KUVANA_SIM_WIZARD_SHEET_H
#define KUVANA_SIM_WIZARD_SHEET_H

#include <windows.h>
#include <prsht.h>

#include <map>
#include <string>
#include <vector>

// The sheet's own buttons.
const int kBackButton = 0x3023;
const int kNextButton = 0x3024;
const int kFinishButton = 0x3025;
const int kApplyButton = 0x3021;

struct PageMeta {
    int templateId = 0;  // 0: from memory
    std::string name;    // welcome, finish, general, other, or dll
    std::wstring title, subtitle;
};

struct Shared {
    CRITICAL_SECTION lock;
    HWND sheet = nullptr;
    bool sheetOpen = false;
    // The sheet's buttons by id, found on the sheet's thread as it comes up:
    // they live as long as the sheet. Another thread must not look them up
    // with GetDlgItem on the sheet: while the sheet's thread destroys a page,
    // Wine 10.0's wineserver can loop for ever listing the siblings of that
    // page, which GetDlgItem starts from (the first child).
    std::map<int, HWND> buttons;
    std::map<HWND, PageMeta> pages;  // by page window, from WM_INITDIALOG
    std::vector<HWND> activations;   // PSN_SETACTIVE, in order
    HINSTANCE hostInstance = nullptr;
    HANDLE sheetReady = nullptr;     // set when the sheet window exists (or failed)
    HANDLE sheetClosed = nullptr;
};
extern Shared shared;

class Lock {
public:
    Lock() { EnterCriticalSection(&shared.lock); }
    ~Lock() { LeaveCriticalSection(&shared.lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

// Posted to the sheet with wParam VK_RETURN and a control as lParam: Enter on
// that control, from the sheet's thread (focus belongs to it).
extern const UINT kRunOnSheetThread;

// One of the host's own pages (host.rc), exterior for the wizard's first and last.
HPROPSHEETPAGE HostPage(int templateId, bool exterior);

// Runs on the main thread; returns when the sheet has closed.
void ShowSheet(bool wizard, const std::vector<HPROPSHEETPAGE>& dynamicPages);

#endif
