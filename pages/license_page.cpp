#include "pages/license_page.h"

#include "pages/install_progress_page.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

LicensePage licensePage;

UINT LicenseResourceFor(LANGID systemLanguage)
{
    return systemLanguage == 0x0411 ? IDR_LICENSE_JAPANESE : IDR_LICENSE_ENGLISH;
}

void LicensePage::InitPageInfo()
{
    WizardPage::InitPageInfo();
    SetPageSettings(IDD_LICENSE_PAGE, IDS_LICENSE_TITLE, IDS_LICENSE_SUBTITLE);
}

UINT LicensePage::PageCallback(HWND, UINT, LPPROPSHEETPAGEA)
{
    return 1;
}

void LicensePage::InitControls(HWND window)
{
    SetItemTextFromString(window, IDC_ACCEPT, IDS_ACCEPT);
    SetItemTextFromString(window, IDC_DECLINE, IDS_DECLINE);
    SendDlgItemMessageA(window, IDC_DECLINE, BM_SETCHECK, BST_CHECKED, 0);
    std::string license = LoadLicenseText(LicenseResourceFor(GetSystemDefaultLangID()));
    SetDlgItemTextA(window, IDC_LICENSE_TEXT, license.c_str());
    // Back stays disabled on this page; the radio buttons never change this.
    SendMessageA(GetParent(window), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    SendDlgItemMessageA(window, IDC_LICENSE_TEXT, EM_SETSEL, 0, 0);
    // Posted, so the focus moves once the sheet has finished setting up the page.
    PostMessageA(window, WM_NEXTDLGCTL, 0, 0);
}

void LicensePage::CheckNext(HWND window)
{
    if (SendDlgItemMessageA(window, IDC_ACCEPT, BM_GETCHECK, 0, 0) == BST_CHECKED)
        return;
    char question[kStringBufferSize];
    LoadModuleStringInto(IDS_LEAVE_WITHOUT_INSTALL, question);
    int answer = MessageBoxA(window, question, "", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDNO) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, -1);  // stay on this page
        return;
    }
    // The wizard then moves on to whatever follows, without installing. With
    // no progress page created there is nothing to remove: a null handle
    // would make the sheet remove whatever page stands at index 1.
    if (installProgressPage.pageHandle != nullptr)
        SendMessageA(GetParent(window), PSM_REMOVEPAGE, 1,
                     reinterpret_cast<LPARAM>(installProgressPage.pageHandle));
}

INT_PTR LicensePage::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitControls(window);
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == static_cast<UINT>(PSN_WIZNEXT))
            CheckNext(window);
        return TRUE;
    }
    case WM_COMMAND:
    case WM_CONTEXTMENU:
        return TRUE;
    default:
        return FALSE;
    }
}
