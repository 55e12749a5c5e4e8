// Paths and command lines of the install steps. Pure: no Windows calls.
#include "install/command_lines.h"

namespace {

const char kSilentOptions[] = " /nodialog /noreboot /nokps -s -f1\"";

bool IsTempVariable(const std::string& entry)
{
    const std::string::size_type equals = entry.find('=', 1);
    if (equals == std::string::npos)
        return false;
    std::string name = entry.substr(0, equals);
    for (char& c : name)
        c = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    return name == "TMP" || name == "TEMP";
}

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

std::string InstallCommandLine(const std::string& installerPath, const std::string& responsePath)
{
    return ProgramCommandLine(installerPath) + kSilentOptions + responsePath + "\"";
}

std::string ProgramCommandLine(const std::string& programPath)
{
    return "\"" + programPath + "\"";
}

std::string FolderOfPath(const std::string& path)
{
    const std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string EnvironmentWithTemp(const char* block, const std::string& tempFolder)
{
    std::string result;
    // Drive entries ("=C:=C:\\") begin with '='; their names start after it.
    for (const char* entry = block; entry != nullptr && *entry != '\0'; entry += std::string(entry).size() + 1) {
        const std::string text = entry;
        if (!IsTempVariable(text))
            result.append(text).push_back('\0');
    }
    for (const char* name : {"TMP=", "TEMP="})
        result.append(name).append(tempFolder).push_back('\0');
    result.push_back('\0');
    return result;
}
