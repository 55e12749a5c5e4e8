// Module identity: the instance handle and the name the code finds itself by.
#ifndef KUVANA_RESOURCES_MODULE_H
#define KUVANA_RESOURCES_MODULE_H

#include <windows.h>

// Set by DllMain on process attach, cleared on detach.
extern HINSTANCE moduleInstance;

// Strings and resources are looked up in moduleInstance, or through this
// file name where no instance was recorded (the product's code linked into
// a test program).
extern const char kModuleFileName[];  // "kuvana_coinst.dll"

#endif
