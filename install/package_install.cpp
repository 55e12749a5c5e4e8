// Runs one downloaded package installer silently and waits for it.
#include "install/package_install.h"

#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/signed_file.h"
#include "install/temp_folder.h"
#include "install/trusted_start.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

static_assert(sizeof(STARTUPINFOA) == 104, "the start-up record of a 64-bit process");

void InstallPackage(HWND pageWindow, const std::string& installerFolder, const char* installerName,
                    const std::string& responseFolder, const char* responseName, const std::string& tempFolder)
{
    const std::string installer = installerName ? installerName : "";
    const std::string responseFile = responseName ? responseName : "";
    const std::string response = responseFolder + responseFile;
    ProcessHandles process;
    bool started = false;
    {
        // The response file steers the installer, so it too must carry the
        // maker's signature; it stays held, unchangeable, until the start has
        // returned, and is released before the installer's run is awaited.
        const bool named = !responseFolder.empty() && !responseFile.empty();
        const SignedFile steering(named ? response : std::string(),
                                  named ? responseFolder + SignatureName(responseFile) : std::string(),
                                  kMaxResponseBytes);
        // Only an installer the maker signed is started; one that is not is
        // deleted and reported like one that failed to start.
        started = steering.Trusted() && !installerFolder.empty() && !installer.empty() &&
                  StartTrustedProgram(installerFolder + installer,
                                      InstallCommandLine(installerFolder + installer, response), tempFolder,
                                      process) == StartResult::Started;
    }
    if (!started) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_INSTALL_FAILED, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
        return;
    }
    // The installer's exit code tells nothing we act on; only its end matters.
    WaitForSingleObject(process.Process(), INFINITE);
}
