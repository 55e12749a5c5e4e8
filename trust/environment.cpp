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

bool StartsWith(const std::wstring& name, const std::wstring& prefix)
{
    return name.size() >= prefix.size() && CompareNames(name.substr(0, prefix.size()), prefix) == 0;
}

// Each of these makes a program load a DLL or assembly that whoever set it
// chose, before the program's own code runs. In an elevated caller they come
// from HKCU\Environment, which every unelevated process of the same user can
// write. The .NET Framework profiler (COR_ENABLE_PROFILING with COR_PROFILER
// and COR_PROFILER_PATH, _32, _64, ...); .NET Core's profiler, startup hooks
// and runtime settings (CORECLR_*, DOTNET_*, and COMPlus_*, which both .NET
// runtimes read); and __COMPAT_LAYER, which applies compatibility shims and
// can run the program without elevation or with a shim's own DLLs.
const wchar_t* const kCodeLoadingNames[] = {L"COR_ENABLE_PROFILING", L"COR_PROFILER", L"__COMPAT_LAYER"};
const wchar_t* const kCodeLoadingPrefixes[] = {L"COR_PROFILER_PATH", L"CORECLR_", L"DOTNET_", L"COMPlus_"};

// A variable the installer's environment sets; without a value it goes.
struct Setting {
    const wchar_t* name;
    const std::wstring* value;
};

}  // namespace

bool IsCodeLoadingVariable(const std::wstring& name)
{
    for (const wchar_t* exact : kCodeLoadingNames)
        if (CompareNames(name, exact) == 0)
            return true;
    for (const wchar_t* prefix : kCodeLoadingPrefixes)
        if (StartsWith(name, prefix))
            return true;
    return false;
}

std::wstring InstallerEnvironment(const wchar_t* block, const std::wstring& tempFolder,
                                  const std::wstring* systemPath)
{
    // In the block's own order: PATH sorts before TEMP, TEMP before TMP.
    std::vector<Setting> settings;
    if (systemPath != nullptr)
        settings.push_back({L"Path", systemPath->empty() ? nullptr : systemPath});
    settings.push_back({L"TEMP", &tempFolder});
    settings.push_back({L"TMP", &tempFolder});
    std::vector<bool> placed(settings.size(), false);
    std::wstring result;
    auto place = [&](size_t which) {
        placed[which] = true;
        if (settings[which].value != nullptr)
            result.append(settings[which].name).append(L"=").append(*settings[which].value).push_back(L'\0');
    };
    for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
         entry += std::wstring(entry).size() + 1) {
        const std::wstring text = entry;
        const std::wstring name = EntryName(text);
        if (IsCodeLoadingVariable(name))
            continue;
        size_t same = settings.size();
        for (size_t which = 0; which < settings.size(); ++which) {
            const int order = CompareNames(settings[which].name, name);
            if (order == 0)
                same = which;
            else if (order < 0 && !placed[which])
                place(which);
        }
        if (same == settings.size())
            result.append(text).push_back(L'\0');
        else if (!placed[same])
            place(same);
    }
    for (size_t which = 0; which < settings.size(); ++which)
        if (!placed[which])
            place(which);
    result.push_back(L'\0');
    return result;
}

std::wstring ExpandVariables(const std::wstring& text, const Variables& variables)
{
    std::wstring result;
    std::wstring::size_type at = 0;
    while (at < text.size()) {
        const std::wstring::size_type open = text.find(L'%', at);
        const std::wstring::size_type close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            result.append(text, at, std::wstring::npos);
            break;
        }
        result.append(text, at, open - at);
        const std::wstring name = text.substr(open + 1, close - open - 1);
        const std::wstring* value = nullptr;
        for (const auto& variable : variables)
            if (!name.empty() && CompareNames(variable.first, name) == 0) {
                value = &variable.second;
                break;
            }
        if (value != nullptr) {
            result.append(*value);
            at = close + 1;
        } else {
            // Kept as written; its closing '%' may open the next one.
            result.append(text, open, close - open);
            at = close;
        }
    }
    return result;
}
