#include "pages/wizard_page.h"

#include <cstddef>
#include <cstring>

#include "pages/common_controls.h"
#include "resources/module.h"
#include "resources/module_resources.h"

HDEVINFO currentDeviceInfoSet = nullptr;
PSP_DEVINFO_DATA currentDeviceInfoData = nullptr;

#ifdef _WIN64
// The device-installation framework reads these records at fixed sizes.
static_assert(sizeof(PageDescriptionA) == 104, "full page description with the header bitmap");
static_assert(sizeof(SP_NEWDEVICEWIZARD_DATA) == 192, "dynamic page record");
static_assert(offsetof(SP_NEWDEVICEWIZARD_DATA, DynamicPages) == offsetof(SP_ADDPROPERTYPAGE_DATA, DynamicPages),
              "wizard and property-sheet records share the page list");
static_assert(offsetof(SP_NEWDEVICEWIZARD_DATA, NumDynamicPages) ==
                  offsetof(SP_ADDPROPERTYPAGE_DATA, NumDynamicPages),
              "wizard and property-sheet records share the page count");
#endif

WizardPage::~WizardPage() {}

void WizardPage::InitPageInfo()
{
    memset(&pageInfo, 0, sizeof pageInfo);
    pageInfo.dwSize = sizeof(PageDescriptionA);
    // No icon is named: PSP_USEICONID with a null icon shows none.
    pageInfo.dwFlags = PSP_USEICONID | PSP_USECALLBACK | PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
    pageInfo.hInstance = moduleInstance;
    pageInfo.pszTitle = "";
    pageInfo.pszHeaderTitle = "";
    pageInfo.pszHeaderSubTitle = "";
    pageInfo.lParam = reinterpret_cast<LPARAM>(this);
}

void WizardPage::SetPageSettings(UINT templateId, UINT headerTitleId, UINT headerSubtitleId)
{
    pageInfo.pszTemplate = MAKEINTRESOURCEA(templateId);
    if (headerTitleId != 0)
        pageInfo.pszHeaderTitle = MAKEINTRESOURCEA(headerTitleId);
    if (headerSubtitleId != 0)
        pageInfo.pszHeaderSubTitle = MAKEINTRESOURCEA(headerSubtitleId);
    pageInfo.pfnDlgProc = PageDialogThunk;
    pageInfo.pfnCallback = PageCallbackThunk;
}

bool WizardPage::CreatePage()
{
    pageHandle = IsolationAwareCreatePropertySheetPageA(&pageInfo);
    return pageHandle != nullptr;
}

INT_PTR WizardPage::DialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

UINT WizardPage::PageCallback(HWND, UINT, LPPROPSHEETPAGEA)
{
    return 0;
}

DWORD WizardPage::AddPage()
{
    // The property-sheet record has the same page list at the same place.
    SP_NEWDEVICEWIZARD_DATA data;
    memset(&data, 0, sizeof data);
    data.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    if (!SetupDiGetClassInstallParamsA(currentDeviceInfoSet, currentDeviceInfoData, &data.ClassInstallHeader,
                                       sizeof data, nullptr))
        return 0;
    if (data.NumDynamicPages >= MAX_INSTALLWIZARD_DYNAPAGES)
        return 0;
    InitPageInfo();
    if (!CreatePage())
        return 0;
    data.DynamicPages[data.NumDynamicPages] = pageHandle;
    data.NumDynamicPages++;
    SetupDiSetClassInstallParamsA(currentDeviceInfoSet, currentDeviceInfoData, &data.ClassInstallHeader, sizeof data);
    return 0;
}

INT_PTR CALLBACK PageDialogThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WizardPage* page = nullptr;
    if (message == WM_INITDIALOG) {
        const PROPSHEETPAGEA* description = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        if (description != nullptr)
            page = reinterpret_cast<WizardPage*>(description->lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
    } else {
        page = reinterpret_cast<WizardPage*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT among them) have no page yet.
    if (page == nullptr)
        return FALSE;
    return page->DialogProc(window, message, wParam, lParam);
}

UINT CALLBACK PageCallbackThunk(HWND window, UINT message, LPPROPSHEETPAGEA page)
{
    WizardPage* object = page != nullptr ? reinterpret_cast<WizardPage*>(page->lParam) : nullptr;
    if (object == nullptr)
        return 0;
    return object->PageCallback(window, message, page);
}

void SetItemTextFromString(HWND dialog, int item, UINT stringId)
{
    char text[kStringBufferSize];
    LoadModuleStringInto(stringId, text);
    SetDlgItemTextA(dialog, item, text);
}
