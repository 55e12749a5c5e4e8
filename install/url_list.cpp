// The URL list and the file-name rule. Pure: no Windows calls.
#include "install/url_list.h"

#include <locale>

std::string FileNameFromUrl(const std::string& url)
{
    const std::string::size_type slash = url.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return url.substr(slash + 1);
}

UrlList::UrlList(const std::string& path)
{
    // Entries are split by the white-space class of the "C" locale, whatever
    // the process's global locale says.
    file.imbue(std::locale::classic());
    file.open(path.c_str(), std::ios::in);
}

std::string UrlList::Lookup(const std::string& key)
{
    if (!file.is_open())
        return std::string();
    file.clear();
    file.seekg(0, std::ios::beg);
    std::string entry;
    while (file >> entry) {
        const std::string::size_type comma = entry.find(',');
        if (comma == std::string::npos)
            continue;
        if (comma == key.size() && entry.compare(0, comma, key) == 0)
            return entry.substr(comma + 1);
    }
    return std::string();
}

void UrlList::Close()
{
    file.close();
}
