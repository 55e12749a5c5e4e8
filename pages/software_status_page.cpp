#include "pages/software_status_page.h"

#include <string>

#include "install/net_installer.h"
#include "install/settings.h"
#include "probe/software_probes.h"
#include "resources/resource_ids.h"

SoftwareStatusPage softwareStatusPage;

namespace {

// While it lives the link is disabled and flagged busy; then enabled again,
// with the focus it had when nothing else has taken the focus since.
class LinkBusy {
public:
    LinkBusy(HWND link, bool* busy) : link_(link), busy_(busy), hadFocus_(GetFocus() == link)
    {
        *busy_ = true;
        EnableWindow(link_, FALSE);
    }
    ~LinkBusy()
    {
        EnableWindow(link_, TRUE);
        *busy_ = false;
        if (hadFocus_ && GetFocus() == nullptr && IsWindow(link_))
            SetFocus(link_);
    }
    LinkBusy(const LinkBusy&) = delete;
    LinkBusy& operator=(const LinkBusy&) = delete;

private:
    HWND link_;
    bool* busy_;
    bool hadFocus_;
};

}  // namespace

void SoftwareStatusPage::InitPageInfo()
{
    WizardPage::InitPageInfo();
    SetPageSettings(IDD_STATUS_PAGE, 0, 0);
}

UINT SoftwareStatusPage::PageCallback(HWND, UINT, LPPROPSHEETPAGEA)
{
    return 1;
}

void SoftwareStatusPage::InitControls(HWND window)
{
    pageWindow = window;
    char version[32] = {};
    if (ReadDisplayVersion(version, sizeof version)) {
        SetItemTextFromString(window, IDC_STATUS_TEXT, IDS_SOFTWARE_INSTALLED);
        // A blank holds no link, so the control sends no clicks.
        SendDlgItemMessageA(window, IDC_NET_INSTALLER_LINK, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(" "));
    } else {
        SetItemTextFromString(window, IDC_STATUS_TEXT, IDS_SOFTWARE_NOT_INSTALLED);
        SetItemTextFromString(window, IDC_NET_INSTALLER_LINK, IDS_INSTALL_LINK);
    }
}

void SoftwareStatusPage::OnNotify(const NMHDR* header)
{
    // The link is the only control on the page that sends these codes.
    if (header == nullptr || (header->code != static_cast<UINT>(NM_CLICK) &&
                              header->code != static_cast<UINT>(NM_RETURN)))
        return;
    // The launcher handles the sheet's messages while it downloads: a click
    // already queued, or any other way back in here, must not start a second
    // download. The link stays disabled until this one has ended.
    if (launching)
        return;
    std::string address = ReadNetInstallerSetting();
    if (address.empty())
        address = DefaultNetInstallerAddress();
    const HWND window = pageWindow;
    LinkBusy busy(GetDlgItem(window, IDC_NET_INSTALLER_LINK), &launching);
    NetInstallerLauncher(window, address.c_str());
}

INT_PTR SoftwareStatusPage::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitControls(window);
        return TRUE;
    case WM_NOTIFY:
        OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    case WM_COMMAND:
    case WM_CONTEXTMENU:
        return TRUE;
    default:
        return FALSE;
    }
}
