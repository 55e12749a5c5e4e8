// Module identity: the instance handle and the name the code finds itself by.
#ifndef KUVANA_ENTRY_MODULE_H
#define KUVANA_ENTRY_MODULE_H

#include <windows.h>

// Set by DllMain on process attach, cleared on detach.
extern HINSTANCE moduleInstance;

// Strings and resources are always looked up through this file name, so the
// library must be installed under it.
extern const char kModuleFileName[];  // "kuvana_coinst.dll"

#endif
