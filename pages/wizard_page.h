// The page object shared by the wizard and property pages: it describes itself
// to the system, and the system's single dialog procedure and page callback
// find it again through the description's lParam.
#ifndef KUVANA_PAGES_WIZARD_PAGE_H
#define KUVANA_PAGES_WIZARD_PAGE_H

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

// The device of the entry-point call in progress; AddPage works on it.
extern HDEVINFO currentDeviceInfoSet;
extern PSP_DEVINFO_DATA currentDeviceInfoData;

// The full page description, the one with the header bitmap (104 bytes in the
// 64-bit build). MinGW's prsht.h stops one layout earlier.
#if defined(PROPSHEETPAGEA_V4_SIZE)
typedef PROPSHEETPAGEA PageDescriptionA;
#else
struct PageDescriptionA : PROPSHEETPAGEA {
    union {
        HBITMAP hbmHeader;
        LPCSTR pszbmHeader;
    };
};
#endif

class WizardPage {
public:
    virtual ~WizardPage();
    virtual void InitPageInfo();
    virtual bool CreatePage();
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual UINT PageCallback(HWND window, UINT message, LPPROPSHEETPAGEA page);

    // The settings a concrete page adds to the common ones: its dialog template,
    // its header strings (0 = none) and the two thunks.
    void SetPageSettings(UINT templateId, UINT headerTitleId, UINT headerSubtitleId);

    // Appends this page to the current device's dynamic page list; always 0.
    DWORD AddPage();

    HPROPSHEETPAGE pageHandle = nullptr;
    PageDescriptionA pageInfo = {};
};

INT_PTR CALLBACK PageDialogThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT CALLBACK PageCallbackThunk(HWND window, UINT message, LPPROPSHEETPAGEA page);

// Sets a dialog item's text from the module's string table (empty when missing).
void SetItemTextFromString(HWND dialog, int item, UINT stringId);

#endif
