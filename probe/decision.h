// The install decision made when a reader's driver has been installed.
#ifndef KUVANA_PROBE_DECISION_H
#define KUVANA_PROBE_DECISION_H

#include <windows.h>

// Package flags: written by SelectPackages on the framework's thread before the
// install sequence's thread exists, only read afterwards.
extern int needKpsPackage;    // true at load
extern int needKlPackage;     // false at load
extern int needPcscBPackage;  // false at load

// Sets the three package flags; always returns 0.
DWORD SelectPackages();

// 1 when the license and progress pages must be added, else 0.
DWORD NeedWizardPages();

#endif
