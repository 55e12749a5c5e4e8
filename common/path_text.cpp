// Local paths as text. Pure: no Windows calls.
#include "common/path_text.h"

std::string DownloadPath(const std::string& tempFolder, const std::string& fileName)
{
    return tempFolder + "\\" + fileName;
}

bool DownloadPathFits(const std::string& tempFolder, std::string::size_type nameLength)
{
    const std::string::size_type base = DownloadPath(tempFolder, std::string()).size();
    return base <= kMaxDownloadPathLength && nameLength <= kMaxDownloadPathLength - base;
}

std::string FolderOfPath(const std::string& path)
{
    const std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
