// The wizard page that downloads and installs the selected packages on a
// worker thread and then moves the wizard on by itself.
#ifndef KUVANA_PAGES_INSTALL_PROGRESS_PAGE_H
#define KUVANA_PAGES_INSTALL_PROGRESS_PAGE_H

#include "pages/wizard_page.h"

class InstallProgressPage : public WizardPage {
public:
    void InitPageInfo() override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT PageCallback(HWND window, UINT message, LPPROPSHEETPAGEA page) override;

    // Runs on the worker thread from start to one of its three ends.
    void InstallSequence();

    HWND pageWindow = nullptr;
};

extern InstallProgressPage installProgressPage;

// True on Windows 6.0 and later; older systems get a restart prompt.
bool IsVistaOrLater();

#endif
