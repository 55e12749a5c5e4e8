#include "setup/coinstaller_list.h"


namespace setup {

namespace {

std::wstring Lower(std::wstring text)
{
    // Our names and the comparisons that matter are ASCII; other units stay.
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = wchar_t(c - L'A' + L'a');
    return text;
}

std::wstring Trimmed(const std::wstring& text)
{
    const wchar_t* blanks = L" \t";
    std::wstring::size_type first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// "dll , Entry" and "DLL,Entry" are one registration.
std::wstring Key(const std::wstring& entry)
{
    std::wstring::size_type comma = entry.find(L',');
    if (comma == std::wstring::npos)
        return Lower(Trimmed(entry));
    return Lower(Trimmed(entry.substr(0, comma))) + L"," + Lower(Trimmed(entry.substr(comma + 1)));
}

bool Contains(const std::vector<std::wstring>& entries, const std::wstring& entry)
{
    for (const std::wstring& e : entries)
        if (Key(e) == Key(entry))
            return true;
    return false;
}

}  // namespace

std::vector<std::wstring> ParseMultiString(const std::wstring& units)
{
    std::vector<std::wstring> entries;
    std::wstring::size_type start = 0;
    while (start < units.size()) {
        std::wstring::size_type end = units.find(L'\0', start);
        if (end == std::wstring::npos)
            end = units.size();
        if (end == start)
            break;
        entries.push_back(units.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::wstring BuildMultiString(const std::vector<std::wstring>& entries)
{
    std::wstring units;
    for (const std::wstring& entry : entries) {
        units += entry;
        units += L'\0';
    }
    units += L'\0';
    return units;
}

bool NamesOurCoInstaller(const std::wstring& entry)
{
    std::wstring dll = Lower(Trimmed(entry.substr(0, entry.find(L','))));
    std::wstring::size_type slash = dll.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        dll.erase(0, slash + 1);
    const std::wstring stem = L"kuvana_coinst", suffix = L".dll";
    if (dll.size() < stem.size() + suffix.size() || dll.compare(0, stem.size(), stem) != 0 ||
        dll.compare(dll.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::wstring middle = dll.substr(stem.size(), dll.size() - stem.size() - suffix.size());
    if (middle.empty())
        return true;
    if (middle[0] != L'_' || middle.size() == 1)
        return false;
    for (size_t i = 1; i < middle.size(); ++i)
        if (middle[i] < L'0' || middle[i] > L'9')
            return false;
    return true;
}

std::vector<std::wstring> WithEntry(const std::vector<std::wstring>& entries, const std::wstring& entry)
{
    std::vector<std::wstring> result;
    for (const std::wstring& e : entries)
        if (Key(e) == Key(entry) || !NamesOurCoInstaller(e))
            result.push_back(e);
    if (!Contains(result, entry))
        result.push_back(entry);
    return result;
}

std::vector<std::wstring> WithoutEntry(const std::vector<std::wstring>& entries, const std::wstring& entry)
{
    std::vector<std::wstring> result;
    for (const std::wstring& e : entries)
        if (Key(e) != Key(entry))
            result.push_back(e);
    return result;
}

}  // namespace setup
