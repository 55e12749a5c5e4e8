// Runs one downloaded package installer silently and waits for it.
#include "install/package_install.h"

#include "install/command_lines.h"
#include "install/temp_folder.h"
#include "install/trusted_start.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

static_assert(sizeof(STARTUPINFOA) == 104, "the start-up record of a 64-bit process");

void InstallPackage(HWND pageWindow, const std::string& installerFolder, const char* installerName,
                    const std::string& responseFolder, const char* responseName, const std::string& tempFolder)
{
    const std::string installer = installerName ? installerName : "";
    const std::string response = responseFolder + (responseName ? responseName : "");
    ProcessHandles process;
    // Only an installer the maker signed is started; one that is not is
    // deleted and reported like one that failed to start.
    const bool started = !installerFolder.empty() && !installer.empty() &&
                         StartTrustedProgram(installerFolder + installer,
                                             InstallCommandLine(installerFolder + installer, response), tempFolder,
                                             process) == StartResult::Started;
    if (!started) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_INSTALL_FAILED, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
        return;
    }
    // The installer's exit code tells nothing we act on; only its end matters.
    WaitForSingleObject(process.Process(), INFINITE);
}
