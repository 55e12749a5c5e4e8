// First wizard page: the license agreement with accept and do-not-accept.
// Going on without accepting asks whether to leave without the software, and
// on yes takes the progress page out of the wizard.
#ifndef KUVANA_PAGES_LICENSE_PAGE_H
#define KUVANA_PAGES_LICENSE_PAGE_H

#include "pages/wizard_page.h"

class LicensePage : public WizardPage {
public:
    void InitPageInfo() override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT PageCallback(HWND window, UINT message, LPPROPSHEETPAGEA page) override;

    void InitControls(HWND window);

private:
    void CheckNext(HWND window);
};

extern LicensePage licensePage;

// The license follows the system's default language, not the UI language.
UINT LicenseResourceFor(LANGID systemLanguage);

#endif
