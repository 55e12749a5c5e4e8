// Paths and command lines of the install steps. Pure: no Windows calls.
#include "install/command_lines.h"

namespace {

const char kSilentOptions[] = " /nodialog /noreboot /nokps -s -f1\"";

}  // namespace

const char kNetInstallerFileName[] = "KuvanaNetInstaller.exe";

std::string DownloadPath(const std::string& tempFolder, const std::string& fileName)
{
    return tempFolder + "\\" + fileName;
}

bool DownloadPathFits(const std::string& tempFolder, std::string::size_type nameLength)
{
    const std::string::size_type base = DownloadPath(tempFolder, std::string()).size();
    return base <= kMaxDownloadPathLength && nameLength <= kMaxDownloadPathLength - base;
}

std::string NetInstallerPath(const std::string& tempFolder)
{
    return DownloadPath(tempFolder, kNetInstallerFileName);
}

std::string InstallCommandLine(const std::string& tempFolder, const std::string& installerName,
                               const std::string& responseName)
{
    return ProgramCommandLine(tempFolder + installerName) + kSilentOptions + tempFolder + responseName + "\"";
}

std::string ProgramCommandLine(const std::string& programPath)
{
    return "\"" + programPath + "\"";
}
