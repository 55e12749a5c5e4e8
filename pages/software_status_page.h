// The reader's property page: whether the reader software is installed and,
// when it is not, a link that fetches and starts the net installer.
#ifndef KUVANA_PAGES_SOFTWARE_STATUS_PAGE_H
#define KUVANA_PAGES_SOFTWARE_STATUS_PAGE_H

#include "pages/wizard_page.h"

class SoftwareStatusPage : public WizardPage {
public:
    void InitPageInfo() override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT PageCallback(HWND window, UINT message, LPPROPSHEETPAGEA page) override;

    HWND pageWindow = nullptr;

private:
    bool launching = false;  // a net-installer download runs
    void InitControls(HWND window);
    void OnNotify(const NMHDR* header);
};

extern SoftwareStatusPage softwareStatusPage;

#endif
