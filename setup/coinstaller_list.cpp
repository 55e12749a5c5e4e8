#include "setup/coinstaller_list.h"

#include <cctype>

namespace setup {

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t";
    std::string::size_type first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// "dll , Entry" and "DLL,Entry" are one registration.
std::string Key(const std::string& entry)
{
    std::string::size_type comma = entry.find(',');
    if (comma == std::string::npos)
        return Lower(Trimmed(entry));
    return Lower(Trimmed(entry.substr(0, comma))) + "," + Lower(Trimmed(entry.substr(comma + 1)));
}

bool Contains(const std::vector<std::string>& entries, const std::string& entry)
{
    for (const std::string& e : entries)
        if (Key(e) == Key(entry))
            return true;
    return false;
}

}  // namespace

std::vector<std::string> ParseMultiString(const std::string& bytes)
{
    std::vector<std::string> entries;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        std::string::size_type end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end == start)
            break;
        entries.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::string BuildMultiString(const std::vector<std::string>& entries)
{
    std::string bytes;
    for (const std::string& entry : entries) {
        bytes += entry;
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

bool NamesOurCoInstaller(const std::string& entry)
{
    std::string dll = Lower(Trimmed(entry.substr(0, entry.find(','))));
    std::string::size_type slash = dll.find_last_of("\\/");
    if (slash != std::string::npos)
        dll.erase(0, slash + 1);
    const std::string stem = "kuvana_coinst", suffix = ".dll";
    if (dll.size() < stem.size() + suffix.size() || dll.compare(0, stem.size(), stem) != 0 ||
        dll.compare(dll.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string middle = dll.substr(stem.size(), dll.size() - stem.size() - suffix.size());
    if (middle.empty())
        return true;
    if (middle[0] != '_' || middle.size() == 1)
        return false;
    for (size_t i = 1; i < middle.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(middle[i])))
            return false;
    return true;
}

std::vector<std::string> WithEntry(const std::vector<std::string>& entries, const std::string& entry)
{
    std::vector<std::string> result;
    for (const std::string& e : entries)
        if (Key(e) == Key(entry) || !NamesOurCoInstaller(e))
            result.push_back(e);
    if (!Contains(result, entry))
        result.push_back(entry);
    return result;
}

std::vector<std::string> WithoutEntry(const std::vector<std::string>& entries, const std::string& entry)
{
    std::vector<std::string> result;
    for (const std::string& e : entries)
        if (Key(e) != Key(entry))
            result.push_back(e);
    return result;
}

}  // namespace setup
