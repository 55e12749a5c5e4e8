// Loading the module's own strings and license texts. Both come from the
// module's own instance (moduleInstance, which DllMain records), so a copy
// installed under a versioned name finds them too; only code linked into a
// program outside the DLL, with no instance recorded, finds the DLL by its
// name (kModuleFileName).
#ifndef KUVANA_RESOURCES_MODULE_RESOURCES_H
#define KUVANA_RESOURCES_MODULE_RESOURCES_H

#include <windows.h>

#include <string>

// Size of every string buffer, as LoadStringA is always given.
constexpr int kStringBufferSize = 1024;

// String resource `id` in the thread's UI language (neutral block as fallback);
// empty when missing.
std::string LoadModuleString(UINT id);

// Loads string `id` into `buffer` (kStringBufferSize bytes); returns its length.
int LoadModuleStringInto(UINT id, char* buffer);

// RT_HTML resource `id`, from its first byte up to its first NUL or its end;
// empty when missing.
std::string LoadLicenseText(UINT id);

#endif
