// The setup program runs elevated from a folder its user can write. Its
// load-time imports are KnownDLLs only (static.setup_checks); every other
// system DLL it calls (newdev, wintrust, crypt32) is delay-loaded and loaded
// here first, from the system folder, so the loader never looks in the
// program's folder for it.
#ifndef KUVANA_SETUP_SYSTEM_LIBRARIES_H
#define KUVANA_SETUP_SYSTEM_LIBRARIES_H

#include <string>

namespace setup {

// Limits this process's DLL search to the system folder where Windows has
// SetDefaultDllDirectories (7 with KB2533623, 8 and later); else takes the
// current folder out of it. The first thing the program does.
void RestrictDllSearch();

// Loads each delay-loaded DLL from the system folder; the delay-load helper
// then finds it loaded. False with a message naming the one that failed.
bool LoadSystemLibraries(std::string* error);

}  // namespace setup

#endif
