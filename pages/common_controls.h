// The two common-controls functions the module needs, resolved from
// Comctl32.dll at run time inside the module's activation context, so that the
// module's side-by-side manifest selects version 6 (the status page's SysLink
// exists only there). MinGW has no isolation-aware wrapper headers; these do
// what the platform's wrappers do for the same two functions.
#ifndef KUVANA_PAGES_COMMON_CONTROLS_H
#define KUVANA_PAGES_COMMON_CONTROLS_H

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

// Calls InitCommonControls inside the module's context; nothing is called when
// the context cannot be activated.
void IsolationAwareInitCommonControls();

// CreatePropertySheetPageA inside the module's context. A description large
// enough to carry hActCtx and without PSP_USEFUSIONCONTEXT gets the module's
// context (on a copy: the caller's description is not changed). Null on any
// failure, with the failing call's last error kept.
HPROPSHEETPAGE IsolationAwareCreatePropertySheetPageA(LPCPROPSHEETPAGEA page);

// The cached activation context (null when the module has none), or
// INVALID_HANDLE_VALUE when it could not be obtained.
HANDLE ModuleActivationContext();

#endif
