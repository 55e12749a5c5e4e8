// Runs one downloaded package installer silently and waits for it.
#include "install/package_install.h"

#include "common/final_path.h"
#include "common/win_handles.h"
#include "install/command_lines.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "trust/file_hash.h"
#include "trust/trusted_start.h"

static_assert(sizeof(STARTUPINFOA) == 104, "the start-up record of a 64-bit process");

void InstallPackage(HWND pageWindow, const std::string& installerFolder, const char* installerName,
                    const std::string& responseFolder, const char* responseName, const std::string& tempFolder,
                    const ReleaseFile& installerFile, const ReleaseFile& responseFile, HANDLE workFolder)
{
    const std::string installer = installerName ? installerName : "";
    const std::string responseFileName = responseName ? responseName : "";
    const std::string response = responseFolder + responseFileName;
    const bool named = !responseFolder.empty() && !responseFileName.empty();
    // The response file steers the installer: it must be the one the release
    // names, and stays held with read sharing only until the installer has
    // ended, so nobody changes it under the running installer.
    const DeviceHandle steering(named ? CreateFileA(response.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                      : INVALID_HANDLE_VALUE);
    ProcessHandles process;
    // Only the installer the release names, signed by the maker, is started;
    // one that is not is deleted and reported like one that failed to start.
    const bool started = steering.Valid() && LiesInside(steering.Get(), workFolder) &&
                         FileMatchesRelease(steering.Get(), responseFile) &&
                         !installerFolder.empty() && !installer.empty() &&
                         StartTrustedProgram(installerFolder + installer,
                                             InstallCommandLine(installerFolder + installer, response), tempFolder,
                                             process, &installerFile, workFolder) == StartResult::Started;
    if (!started) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_INSTALL_FAILED, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
        return;
    }
    // The installer's exit code tells nothing we act on; only its end matters.
    WaitForSingleObject(process.Process(), INFINITE);
}
