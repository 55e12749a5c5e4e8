// Paths and command lines of the install steps. Pure: no Windows calls.
#include "install/command_lines.h"

#include "common/path_text.h"

namespace {

const char kSilentOptions[] = " /nodialog /noreboot /nokps -s -f1\"";

}  // namespace

const char kNetInstallerFileName[] = "KuvanaNetInstaller.exe";

std::string NetInstallerPath(const std::string& tempFolder)
{
    return DownloadPath(tempFolder, kNetInstallerFileName);
}

std::string InstallCommandLine(const std::string& installerPath, const std::string& responsePath)
{
    return ProgramCommandLine(installerPath) + kSilentOptions + responsePath + "\"";
}

std::string ProgramCommandLine(const std::string& programPath)
{
    return "\"" + programPath + "\"";
}
