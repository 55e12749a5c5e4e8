// The page framework in process, against the simulated setupapi.dll: how a
// page describes itself, how it joins the dynamic page list, how the system's
// callbacks find it, and what the isolation-aware page creation passes on.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pages/common_controls.h"
#include "pages/install_progress_page.h"
#include "pages/license_page.h"
#include "pages/software_status_page.h"
#include "pages/wizard_page.h"
#include "resources/module.h"
#include "resources/resource_ids.h"
#include "sim/setupapi/setupapi_sim.h"
#include "support/message_boxes.h"

namespace {

const GUID kTestClass = {0x6b1c1d20, 0x4d3b, 0x4bd1, {0x9a, 0x51, 0x6f, 0x2e, 0x11, 0x52, 0x73, 0x03}};

// Templates and strings come from the real module, as in the product.
class Framework : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HMODULE dll = LoadLibraryA("..\\kuvana_coinst.dll");
        ASSERT_NE(dll, nullptr);
        moduleInstance = dll;
    }

    void SetUp() override
    {
        ASSERT_TRUE(FindSetupapiSim().Loaded()) << "the simulated setupapi.dll is not loaded";
        set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        element.cbSize = sizeof element;
        ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "KUVANA_SIM_TEST", &kTestClass, nullptr, nullptr, DICD_GENERATE_ID,
                                             &element));
        currentDeviceInfoSet = set;
        currentDeviceInfoData = &element;
    }

    void TearDown() override
    {
        currentDeviceInfoSet = nullptr;
        currentDeviceInfoData = nullptr;
        SetupDiDestroyDeviceInfoList(set);
    }

    // A wizard record that already lists `count` pages of another installer.
    void List(PSP_DEVINFO_DATA target, DWORD count)
    {
        SP_NEWDEVICEWIZARD_DATA record = {};
        record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        record.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
        for (DWORD i = 0; i < count; ++i)
            record.DynamicPages[i] = reinterpret_cast<HPROPSHEETPAGE>(ULONG_PTR(0x5000 + i));
        record.NumDynamicPages = count;
        ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, target, &record.ClassInstallHeader, sizeof record));
    }

    SP_NEWDEVICEWIZARD_DATA Listed(PSP_DEVINFO_DATA target)
    {
        SP_NEWDEVICEWIZARD_DATA record = {};
        record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        SetupDiGetClassInstallParamsA(set, target, &record.ClassInstallHeader, sizeof record, nullptr);
        return record;
    }

    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA element = {};
};

TEST_F(Framework, AddPageAppendsAfterThePagesAlreadyListed)
{
    List(&element, 2);
    EXPECT_EQ(licensePage.AddPage(), 0u);
    EXPECT_EQ(installProgressPage.AddPage(), 0u);
    SP_NEWDEVICEWIZARD_DATA record = Listed(&element);
    ASSERT_EQ(record.NumDynamicPages, 4u);
    EXPECT_EQ(record.DynamicPages[0], reinterpret_cast<HPROPSHEETPAGE>(ULONG_PTR(0x5000)));
    EXPECT_EQ(record.DynamicPages[1], reinterpret_cast<HPROPSHEETPAGE>(ULONG_PTR(0x5001)));
    EXPECT_NE(licensePage.pageHandle, nullptr);
    EXPECT_EQ(record.DynamicPages[2], licensePage.pageHandle);
    EXPECT_EQ(record.DynamicPages[3], installProgressPage.pageHandle);
    EXPECT_EQ(record.ClassInstallHeader.InstallFunction, DWORD(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
}

TEST_F(Framework, AddPageFillsTheTwentiethSlotAndNoMore)
{
    List(&element, 19);
    EXPECT_EQ(softwareStatusPage.AddPage(), 0u);
    SP_NEWDEVICEWIZARD_DATA record = Listed(&element);
    ASSERT_EQ(record.NumDynamicPages, 20u);
    EXPECT_EQ(record.DynamicPages[19], softwareStatusPage.pageHandle);

    HPROPSHEETPAGE before = softwareStatusPage.pageHandle;
    EXPECT_EQ(softwareStatusPage.AddPage(), 0u);
    record = Listed(&element);
    EXPECT_EQ(record.NumDynamicPages, 20u);
    EXPECT_EQ(record.DynamicPages[19], before);
    EXPECT_EQ(softwareStatusPage.pageHandle, before) << "a full list creates no page";
}

TEST_F(Framework, AddPageWithoutClassInstallParametersAddsNothing)
{
    SetupapiSim sim = FindSetupapiSim();
    int sets = sim.callCount("SetupDiSetClassInstallParamsA");
    EXPECT_EQ(licensePage.AddPage(), 0u);
    EXPECT_EQ(sim.callCount("SetupDiSetClassInstallParamsA"), sets);
    SP_NEWDEVICEWIZARD_DATA record = {};
    record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    EXPECT_FALSE(SetupDiGetClassInstallParamsA(set, &element, &record.ClassInstallHeader, sizeof record, nullptr));
}

TEST_F(Framework, NullElementMeansTheSetWideList)
{
    List(nullptr, 1);
    List(&element, 0);
    currentDeviceInfoData = nullptr;
    licensePage.AddPage();
    EXPECT_EQ(Listed(nullptr).NumDynamicPages, 2u);
    EXPECT_EQ(Listed(&element).NumDynamicPages, 0u);
}

TEST_F(Framework, PageDescriptionsCarryTheCommonAndThePageSettings)
{
    licensePage.InitPageInfo();
    const PageDescriptionA& info = licensePage.pageInfo;
    EXPECT_EQ(info.dwSize, 104u);
    EXPECT_EQ(info.dwFlags, DWORD(0x3084));
    EXPECT_EQ(info.hInstance, moduleInstance);
    EXPECT_STREQ(info.pszTitle, "");
    EXPECT_EQ(info.hIcon, nullptr);
    EXPECT_EQ(info.pszTemplate, MAKEINTRESOURCEA(IDD_LICENSE_PAGE));
    EXPECT_EQ(info.pszHeaderTitle, MAKEINTRESOURCEA(IDS_LICENSE_TITLE));
    EXPECT_EQ(info.pszHeaderSubTitle, MAKEINTRESOURCEA(IDS_LICENSE_SUBTITLE));
    EXPECT_EQ(info.lParam, reinterpret_cast<LPARAM>(&licensePage));
    EXPECT_EQ(info.pfnDlgProc, PageDialogThunk);
    EXPECT_EQ(info.pfnCallback, PageCallbackThunk);

    softwareStatusPage.InitPageInfo();
    EXPECT_EQ(softwareStatusPage.pageInfo.pszTemplate, MAKEINTRESOURCEA(IDD_STATUS_PAGE));
    EXPECT_STREQ(softwareStatusPage.pageInfo.pszHeaderTitle, "");
    EXPECT_STREQ(softwareStatusPage.pageInfo.pszHeaderSubTitle, "");
    EXPECT_EQ(softwareStatusPage.pageInfo.dwFlags, DWORD(0x3084));

    WizardPage base;
    base.InitPageInfo();
    EXPECT_EQ(base.pageInfo.pszTemplate, nullptr);
    EXPECT_EQ(base.pageInfo.pfnDlgProc, nullptr);
    EXPECT_EQ(base.PageCallback(nullptr, PSPCB_CREATE, nullptr), 0u) << "the base page refuses creation";
    EXPECT_EQ(licensePage.PageCallback(nullptr, PSPCB_CREATE, nullptr), 1u);
    EXPECT_EQ(softwareStatusPage.PageCallback(nullptr, PSPCB_ADDREF, nullptr), 1u);
}

// Records what reaches the page object.
class RecordingPage : public WizardPage {
public:
    INT_PTR DialogProc(HWND, UINT message, WPARAM, LPARAM) override
    {
        messages.push_back(message);
        return message == WM_APP ? 0x55 : FALSE;
    }
    UINT PageCallback(HWND, UINT message, LPPROPSHEETPAGEA) override
    {
        callbacks.push_back(message);
        return 7;
    }
    std::vector<UINT> messages;
    std::vector<UINT> callbacks;
};

// A DS_SETFONT dialog gets WM_SETFONT before WM_INITDIALOG.
std::vector<WORD> FontDialogTemplate()
{
    std::vector<WORD> t(64, 0);
    DLGTEMPLATE* header = reinterpret_cast<DLGTEMPLATE*>(t.data());
    header->style = WS_POPUP | DS_SETFONT;
    header->cx = 100;
    header->cy = 50;
    WORD* p = reinterpret_cast<WORD*>(header + 1);
    *p++ = 0;  // menu
    *p++ = 0;  // class
    *p++ = 0;  // title
    *p++ = 8;  // point size
    for (const wchar_t* f = L"MS Shell Dlg"; *f; ++f)
        *p++ = WORD(*f);
    *p++ = 0;
    return t;
}

TEST(PageThunks, MessagesBeforeInitDialogReachNoPageAndLaterOnesAreForwarded)
{
    RecordingPage page;
    PROPSHEETPAGEA description = {};
    description.dwSize = sizeof description;
    description.lParam = reinterpret_cast<LPARAM>(&page);
    std::vector<WORD> dialogTemplate = FontDialogTemplate();
    HWND window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), nullptr,
                                             PageDialogThunk, reinterpret_cast<LPARAM>(&description));
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(page.messages.empty());
    EXPECT_EQ(page.messages.front(), UINT(WM_INITDIALOG)) << "WM_SETFONT came first and must not reach the page";
    EXPECT_EQ(GetWindowLongPtrA(window, DWLP_USER), reinterpret_cast<LONG_PTR>(&page));
    EXPECT_EQ(PageDialogThunk(window, WM_APP, 0, 0), 0x55) << "the page's result is returned unchanged";
    DestroyWindow(window);

    HWND unbound = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(PageDialogThunk(unbound, WM_APP, 0, 0), FALSE);
    DestroyWindow(unbound);
}

TEST(PageThunks, CallbackFindsThePageThroughTheDescription)
{
    RecordingPage page;
    PROPSHEETPAGEA description = {};
    description.dwSize = sizeof description;
    description.lParam = reinterpret_cast<LPARAM>(&page);
    EXPECT_EQ(PageCallbackThunk(nullptr, PSPCB_CREATE, &description), 7u);
    EXPECT_EQ(PageCallbackThunk(nullptr, PSPCB_RELEASE, &description), 7u);
    ASSERT_EQ(page.callbacks.size(), 2u);
    EXPECT_EQ(page.callbacks[0], UINT(PSPCB_CREATE));
}

TEST_F(Framework, SetItemTextFromStringLoadsFromTheModuleAndEmptiesOnMissingStrings)
{
    HWND dialog = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND item = CreateWindowA("STATIC", "old", WS_CHILD, 0, 0, 10, 10, dialog, reinterpret_cast<HMENU>(65535),
                              nullptr, nullptr);
    ASSERT_NE(item, nullptr);
    SetItemTextFromString(dialog, 65535, IDS_SOFTWARE_INSTALLED);
    char text[256] = {};
    GetWindowTextA(item, text, sizeof text);
    if (GetUserDefaultUILanguage() != 0x0411)
        EXPECT_STREQ(text, "Kuvana Port Software has already been installed on this machine.");
    SetItemTextFromString(dialog, 65535, 999);
    GetWindowTextA(item, text, sizeof text);
    EXPECT_STREQ(text, "");
    DestroyWindow(dialog);
}

// What CreatePropertySheetPage received, seen from its PSPCB_ADDREF callback.
struct Received {
    DWORD flags = 0;
    HANDLE context = nullptr;
    int calls = 0;
} received;

UINT CALLBACK RecordAddRef(HWND, UINT message, LPPROPSHEETPAGEA page)
{
    if (message == PSPCB_ADDREF) {
        received.flags = page->dwFlags;
        received.context = page->dwSize >= 96 ? page->hActCtx : nullptr;
        received.calls++;
    }
    return 1;
}

PageDescriptionA PlainDescription(DWORD size)
{
    PageDescriptionA page;
    memset(&page, 0, sizeof page);
    page.dwSize = size;
    page.dwFlags = PSP_USECALLBACK;
    page.hInstance = moduleInstance;
    page.pszTemplate = MAKEINTRESOURCEA(IDD_STATUS_PAGE);
    page.pfnCallback = RecordAddRef;
    return page;
}

TEST_F(Framework, PageCreationAddsTheModuleContextOnlyWhereThereIsRoomAndNoneYet)
{
    IsolationAwareInitCommonControls();
    ASSERT_NE(ModuleActivationContext(), INVALID_HANDLE_VALUE);

    PageDescriptionA full = PlainDescription(104);
    received = Received();
    HPROPSHEETPAGE page = IsolationAwareCreatePropertySheetPageA(&full);
    ASSERT_NE(page, nullptr);
    if (received.calls == 0)
        GTEST_SKIP() << "this comctl32 does not call PSPCB_ADDREF at creation";
    EXPECT_TRUE(received.flags & PSP_USEFUSIONCONTEXT);
    EXPECT_EQ(received.context, ModuleActivationContext());
    EXPECT_EQ(full.dwFlags, DWORD(PSP_USECALLBACK)) << "the caller's description is not changed";

    PageDescriptionA own = PlainDescription(104);
    own.dwFlags |= PSP_USEFUSIONCONTEXT;
    own.hActCtx = reinterpret_cast<HANDLE>(ULONG_PTR(0x4321));
    received = Received();
    ASSERT_NE(IsolationAwareCreatePropertySheetPageA(&own), nullptr);
    EXPECT_EQ(received.flags, DWORD(PSP_USECALLBACK | PSP_USEFUSIONCONTEXT));
    EXPECT_EQ(received.context, own.hActCtx);

    PageDescriptionA small = PlainDescription(88);
    received = Received();
    ASSERT_NE(IsolationAwareCreatePropertySheetPageA(&small), nullptr);
    EXPECT_EQ(received.flags, DWORD(PSP_USECALLBACK)) << "no hActCtx member below 96 bytes";
}

// The sheet as the license page sees it: every PSM_ message it receives.
struct SheetMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<SheetMessage> sheetMessages;

LRESULT CALLBACK FakeSheet(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= PSM_SETCURSEL && message <= PSM_SETCURSEL + 0x80)
        sheetMessages.push_back(SheetMessage{message, wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

class LicenseLogic : public Framework {
protected:
    void SetUp() override
    {
        Framework::SetUp();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = FakeSheet;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KuvanaFakeSheet";
        RegisterClassA(&windowClass);
        sheet = CreateWindowA("KuvanaFakeSheet", "", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(sheet, nullptr);
        licensePage.InitPageInfo();
        sheetMessages.clear();
        page = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(IDD_LICENSE_PAGE), sheet, PageDialogThunk,
                                  reinterpret_cast<LPARAM>(&licensePage.pageInfo));
        ASSERT_NE(page, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(sheet);
        installProgressPage.pageHandle = savedProgressHandle;
        Framework::TearDown();
    }

    // Sends PSN_WIZNEXT as the sheet does; a dialog answers WM_NOTIFY with
    // its message result (-1 keeps the wizard on the page).
    LONG_PTR Next()
    {
        sheetMessages.clear();
        NMHDR header = {sheet, 0, static_cast<UINT>(PSN_WIZNEXT)};
        return SendMessageA(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    }

    HWND sheet = nullptr;
    HWND page = nullptr;
    HPROPSHEETPAGE savedProgressHandle = installProgressPage.pageHandle;
};

TEST_F(LicenseLogic, ArrivalEnablesNextOnlyAndSelectsDoNotAccept)
{
    ASSERT_EQ(sheetMessages.size(), 1u);
    EXPECT_EQ(sheetMessages[0].message, UINT(PSM_SETWIZBUTTONS));
    EXPECT_EQ(sheetMessages[0].lParam, LPARAM(PSWIZB_NEXT));
    EXPECT_EQ(SendDlgItemMessageA(page, IDC_DECLINE, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(page, IDC_ACCEPT, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_GT(GetWindowTextLengthA(GetDlgItem(page, IDC_LICENSE_TEXT)), 1000);
    // The radio buttons switch themselves and leave the sheet's buttons alone.
    SendDlgItemMessageA(page, IDC_ACCEPT, BM_CLICK, 0, 0);
    EXPECT_EQ(sheetMessages.size(), 1u);
}

TEST_F(LicenseLogic, NextWithoutAcceptAsksAndNoKeepsThePage)
{
    MessageBoxScript boxes({IDNO});
    EXPECT_EQ(Next(), -1);
    ASSERT_EQ(boxes.Count(), 1u);
    ShownDialog box = boxes.Shown()[0];
    EXPECT_EQ(box.type, UINT(MB_YESNO));
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.owner, sheet) << "owned by the page's top-level window";
    EXPECT_TRUE(sheetMessages.empty());
}

TEST_F(LicenseLogic, YesRemovesTheProgressPageByItsHandle)
{
    installProgressPage.pageHandle = reinterpret_cast<HPROPSHEETPAGE>(ULONG_PTR(0x7777));
    MessageBoxScript boxes({IDYES});
    EXPECT_EQ(Next(), 0);
    ASSERT_EQ(sheetMessages.size(), 1u);
    EXPECT_EQ(sheetMessages[0].message, UINT(PSM_REMOVEPAGE));
    EXPECT_EQ(sheetMessages[0].wParam, WPARAM(1));
    EXPECT_EQ(sheetMessages[0].lParam, LPARAM(0x7777));
}

// Without a progress page there is nothing to remove; PSM_REMOVEPAGE with a
// null handle would remove whichever page stands at index 1.
TEST_F(LicenseLogic, YesWithoutAProgressPageRemovesNothing)
{
    installProgressPage.pageHandle = nullptr;
    MessageBoxScript boxes({IDYES});
    EXPECT_EQ(Next(), 0);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(sheetMessages.empty());
}

TEST_F(LicenseLogic, NextWithAcceptMovesOnWithoutAQuestion)
{
    SendDlgItemMessageA(page, IDC_ACCEPT, BM_CLICK, 0, 0);
    MessageBoxScript boxes({IDNO});
    EXPECT_EQ(Next(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(sheetMessages.empty());
}

}  // namespace
