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

namespace {

bool PlainCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// The part before the first '.' is what the system compares with its device names.
bool IsDeviceName(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem)
        c = Upper(c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const std::string& name)
{
    const std::size_t kMaxLength = 64;
    if (name.empty() || name.size() > kMaxLength || name.front() == '.' || name.back() == '.')
        return false;
    for (char c : name)
        if (!PlainCharacter(c))
            return false;
    return !IsDeviceName(name);
}

std::string PlainFileNameFromUrl(const std::string& url)
{
    const std::string name = FileNameFromUrl(url);
    return IsPlainFileName(name) ? name : std::string();
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
        if (comma == std::string::npos || entry.size() > kMaxUrlListEntry)
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
