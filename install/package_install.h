// Runs one downloaded package installer silently and waits for it.
#ifndef KUVANA_INSTALL_PACKAGE_INSTALL_H
#define KUVANA_INSTALL_PACKAGE_INSTALL_H

#include <windows.h>

void InstallPackage(HWND pageWindow, const char* installerName, const char* responseName);

#endif
