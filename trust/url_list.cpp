// The URL list and the file-name rule. Pure: no Windows calls.
#include "trust/url_list.h"

#include <cstring>
#include <vector>

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
    return c >= 0x20 && c <= 0x7E && std::strchr("\\/:*?\"<>|", c) == nullptr;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

std::string UpperText(std::string text)
{
    for (char& c : text)
        c = Upper(c);
    return text;
}

// The part before the first '.', without trailing blanks, is what the system
// compares with its device names.
bool IsDeviceName(const std::string& name)
{
    std::string stem = UpperText(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const std::string& name)
{
    const std::size_t kMaxLength = 64;
    if (name.empty() || name.size() > kMaxLength || name.front() == '.' || name.back() == '.' ||
        name.front() == ' ' || name.back() == ' ')
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

std::string PackageFileName(const std::string& url, const char* suffix)
{
    const std::string name = PlainFileNameFromUrl(url);
    const std::string ending = UpperText(suffix);
    if (name.size() <= ending.size() || UpperText(name.substr(name.size() - ending.size())) != ending)
        return std::string();
    return name;
}

void ClearDuplicateNames(std::string* const* names, std::size_t count)
{
    std::vector<bool> duplicate(count, false);
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = i + 1; j < count; ++j)
            if (!names[i]->empty() && UpperText(*names[i]) == UpperText(*names[j]))
                duplicate[i] = duplicate[j] = true;
    for (std::size_t i = 0; i < count; ++i)
        if (duplicate[i])
            names[i]->clear();
}

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

UrlList::UrlList(const std::string& text)
{
    std::string::size_type at = 0;
    while (at < text.size()) {
        while (at < text.size() && Blank(text[at]))
            ++at;
        const std::string::size_type begin = at;
        while (at < text.size() && !Blank(text[at]))
            ++at;
        if (at == begin)
            break;
        const std::string::size_type length = at - begin;
        const std::string::size_type comma = text.find(',', begin);
        if (length > kMaxUrlListEntry || comma == std::string::npos || comma >= at)
            continue;
        entries.emplace_back(text.substr(begin, comma - begin), text.substr(comma + 1, at - comma - 1));
    }
}

std::string UrlList::Lookup(const std::string& key) const
{
    for (const auto& entry : entries)
        if (entry.first == key)
            return entry.second;
    return std::string();
}

std::vector<std::string> UrlList::Values(const std::string& key) const
{
    std::vector<std::string> values;
    for (const auto& entry : entries)
        if (entry.first == key)
            values.push_back(entry.second);
    return values;
}

bool UrlList::Names(const std::string& key) const
{
    for (const auto& entry : entries)
        if (entry.first == key)
            return true;
    return false;
}
