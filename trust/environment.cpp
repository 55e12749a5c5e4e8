// The environment a started program gets. Pure: no Windows calls.
#include "trust/environment.h"

namespace {

wchar_t UpperAscii(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
}

// The name of an entry: up to the '=' after its first character, since drive
// entries ("=C:=C:\\") begin with one.
std::wstring EntryName(const std::wstring& entry)
{
    const std::wstring::size_type equals = entry.find(L'=', 1);
    return equals == std::wstring::npos ? entry : entry.substr(0, equals);
}

// Windows' order of names: by UTF-16 unit, letters compared as capitals.
int CompareNames(const std::wstring& a, const std::wstring& b)
{
    for (std::wstring::size_type i = 0; i < a.size() && i < b.size(); ++i) {
        const wchar_t x = UpperAscii(a[i]), y = UpperAscii(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::wstring EnvironmentWithTemp(const wchar_t* block, const std::wstring& tempFolder)
{
    // In the block's own order: TEMP sorts before TMP.
    const std::wstring names[] = {L"TEMP", L"TMP"};
    bool placed[] = {false, false};
    std::wstring result;
    auto place = [&](int which) {
        result.append(names[which]).append(L"=").append(tempFolder).push_back(L'\0');
        placed[which] = true;
    };
    for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
         entry += std::wstring(entry).size() + 1) {
        const std::wstring text = entry;
        const std::wstring name = EntryName(text);
        int same = -1;
        for (int which = 0; which < 2; ++which) {
            const int order = CompareNames(names[which], name);
            if (order == 0)
                same = which;
            else if (order < 0 && !placed[which])
                place(which);
        }
        if (same < 0)
            result.append(text).push_back(L'\0');
        else if (!placed[same])
            place(same);
    }
    for (int which = 0; which < 2; ++which)
        if (!placed[which])
            place(which);
    result.push_back(L'\0');
    return result;
}
