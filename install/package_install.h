// Runs one downloaded package installer silently and waits for it.
#ifndef KUVANA_INSTALL_PACKAGE_INSTALL_H
#define KUVANA_INSTALL_PACKAGE_INSTALL_H

#include <windows.h>

#include <string>

#include "trust/release.h"

// The installer lies alone in `installerFolder`, its response file in
// `responseFolder`; it runs in its own folder with TMP and TEMP at
// `tempFolder` (all three with trailing backslashes, inside the sequence's
// working folder). Each file must be the one the accepted release names
// (`installerFile`, `responseFile`) and lie inside the held `workFolder`;
// otherwise nothing starts and the person is told the installation failed.
void InstallPackage(HWND pageWindow, const std::string& installerFolder, const char* installerName,
                    const std::string& responseFolder, const char* responseName, const std::string& tempFolder,
                    const ReleaseFile& installerFile, const ReleaseFile& responseFile, HANDLE workFolder);

#endif
