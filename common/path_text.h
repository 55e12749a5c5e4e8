// Local paths as text: where a download goes and how long it may be. Pure: no
// Windows calls.
#ifndef KUVANA_COMMON_PATH_TEXT_H
#define KUVANA_COMMON_PATH_TEXT_H

#include <string>

// Where a download goes: the folder, a backslash and the name. The folder
// already ends in a backslash; the doubled one names the same file.
std::string DownloadPath(const std::string& tempFolder, const std::string& fileName);

// The longest local path the download job takes (it refuses 260 characters or
// more), and whether DownloadPath(folder, a name of nameLength characters)
// keeps to it, separators counted as DownloadPath writes them.
constexpr std::string::size_type kMaxDownloadPathLength = 259;
bool DownloadPathFits(const std::string& tempFolder, std::string::size_type nameLength);

// The folder part of `path`: everything before its last backslash.
std::string FolderOfPath(const std::string& path);

#endif
