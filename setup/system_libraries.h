// The setup program runs elevated from a folder its user can write. Its
// load-time imports are KnownDLLs only (static.setup_checks); the other system
// DLLs it calls (crypt32, wintrust, newdev) it loads here first, from the
// system folder, and calls through the addresses taken from them, so the
// loader never looks in the program's folder for one. (Not delay-loading:
// binutils 2.44 puts a delay-load table in the read-only import section, and
// the first call then faults.)
#ifndef KUVANA_SETUP_SYSTEM_LIBRARIES_H
#define KUVANA_SETUP_SYSTEM_LIBRARIES_H

#include <windows.h>

#include <string>

namespace setup {

// Limits this process's DLL search to the system folder where Windows has
// SetDefaultDllDirectories (7 with KB2533623, 8 and later); else takes the
// current folder out of it. The first thing the program does.
void RestrictDllSearch();

// Loads each DLL from the system folder and takes the functions the program
// calls from it (trust/signature_calls.h, UpdateDriverCall). False with a
// message naming the DLL or function that failed.
bool LoadSystemLibraries(std::string* error);

typedef BOOL(WINAPI* UpdateDriverFn)(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL);
// newdev's UpdateDriverForPlugAndPlayDevicesW; null before LoadSystemLibraries.
UpdateDriverFn UpdateDriverCall();

}  // namespace setup

#endif
