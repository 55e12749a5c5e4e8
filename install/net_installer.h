// Downloads the net installer into the temporary folder and starts it.
#ifndef KUVANA_INSTALL_NET_INSTALLER_H
#define KUVANA_INSTALL_NET_INSTALLER_H

#include <windows.h>

void NetInstallerLauncher(HWND pageWindow, const char* url);

#endif
