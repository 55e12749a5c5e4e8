// The paths and command lines the install steps build from the temporary
// folder (as GetTempPathA gives it, with its trailing backslash).
#ifndef KUVANA_INSTALL_COMMAND_LINES_H
#define KUVANA_INSTALL_COMMAND_LINES_H

#include <string>

// Where a download goes: the folder, a backslash and the name. The folder
// already ends in a backslash; the doubled one names the same file.
std::string DownloadPath(const std::string& tempFolder, const std::string& fileName);

// The longest local path the download job takes (it refuses 260 characters or
// more), and whether DownloadPath(folder, a name of nameLength characters)
// keeps to it, separators counted as DownloadPath writes them.
constexpr std::string::size_type kMaxDownloadPathLength = 259;
bool DownloadPathFits(const std::string& tempFolder, std::string::size_type nameLength);

// The net installer's file name and download path.
extern const char kNetInstallerFileName[];
std::string NetInstallerPath(const std::string& tempFolder);

// The silent installer's command line:
//   "<installer>" /nodialog /noreboot /nokps -s -f1"<response>"
// The program path is quoted: a folder holding blanks must not let the system
// start a program named after the folder's first words.
std::string InstallCommandLine(const std::string& installerPath, const std::string& responsePath);

// A command line that starts `programPath` with no arguments, quoted for the
// same reason.
std::string ProgramCommandLine(const std::string& programPath);

// The folder part of `path`: everything before its last backslash.
std::string FolderOfPath(const std::string& path);

// An environment block as Windows keeps it (UTF-16, NUL-separated
// "NAME=value" entries ending in an empty one) with TMP and TEMP, in any case,
// set to `tempFolder` where they stand, a missing one inserted where the
// block's order (by name, ignoring case) puts it, and the rest kept as they
// are. Repeats of either name go.
std::wstring EnvironmentWithTemp(const wchar_t* block, const std::wstring& tempFolder);

#endif
