// Runs one downloaded package installer silently and waits for it.
#ifndef KUVANA_INSTALL_PACKAGE_INSTALL_H
#define KUVANA_INSTALL_PACKAGE_INSTALL_H

#include <windows.h>

#include <string>

// Both files lie in `folder`, the sequence's working folder (trailing backslash).
void InstallPackage(HWND pageWindow, const std::string& folder, const char* installerName,
                    const char* responseName);

#endif
