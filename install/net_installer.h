// Downloads the net installer into the temporary folder and starts it.
#ifndef KUVANA_INSTALL_NET_INSTALLER_H
#define KUVANA_INSTALL_NET_INSTALLER_H

#include <windows.h>

// Handles the calling thread's window messages while the download runs, so
// the caller must keep what it started from being started again meanwhile.
void NetInstallerLauncher(HWND pageWindow, const char* url);

#endif
