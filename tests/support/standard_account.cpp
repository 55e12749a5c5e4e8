#include "support/standard_account.h"

#include <cstring>

namespace {

// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPath(std::string path)
{
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    using UnixName = char*(CDECL*)(const wchar_t*);
    const UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (unixName == nullptr || length <= 0)
        return std::string();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    char* name = unixName(wide.c_str());
    if (name == nullptr)
        return std::string();
    const std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Wine starts a Unix program given by its Windows path; true once `done`
// holds (its exit code does not come back through Wine).
template <class Done>
bool RunUnix(const char* program, std::string commandLine, Done done)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 250 && !done(); ++i)
        Sleep(20);
    return done();
}

}  // namespace

HANDLE AccountToken(Elevation wanted, bool primary)
{
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own))
        return nullptr;
    TOKEN_ELEVATION elevation = {};
    TOKEN_LINKED_TOKEN link = {};
    DWORD size = 0;
    HANDLE source = nullptr;
    if (GetTokenInformation(own, TokenElevation, &elevation, sizeof elevation, &size)) {
        if ((elevation.TokenIsElevated != 0) == (wanted == Elevation::Elevated))
            source = own;
        else if (GetTokenInformation(own, TokenLinkedToken, &link, sizeof link, &size))
            source = link.LinkedToken;
    }
    HANDLE token = nullptr;
    if (source != nullptr &&
        !DuplicateTokenEx(source, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                          primary ? TokenPrimary : TokenImpersonation, &token))
        token = nullptr;
    // A linked token may only be good for identification: use it as given.
    if (token == nullptr && source != nullptr && source != own)
        token = source;
    else if (source != nullptr && source != own)
        CloseHandle(source);
    CloseHandle(own);
    return token;
}

RunAsAccount::RunAsAccount(Elevation wanted) : token(AccountToken(wanted, false))
{
    active = token != nullptr && SetThreadToken(nullptr, token);
}

RunAsAccount::~RunAsAccount()
{
    if (active)
        RevertToSelf();
    if (token != nullptr)
        CloseHandle(token);
}

std::string ManifestOf(const std::string& program, WORD* language)
{
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return std::string();
    std::string text;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        if (data != nullptr)
            text.assign(data, SizeofResource(module, found));
        if (language != nullptr)
            EnumResourceLanguagesA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1),
                                   [](HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR out) -> BOOL {
                                       *reinterpret_cast<WORD*>(out) = lang;
                                       return FALSE;
                                   },
                                   reinterpret_cast<LONG_PTR>(language));
    }
    FreeLibrary(module);
    return text;
}

bool MakeInvokerCopy(const std::string& program, const std::string& copy)
{
    WORD language = 0;
    std::string manifest = ManifestOf(program, &language);
    size_t at = std::string::npos, length = 0;
    for (const char* level : {"requireAdministrator", "highestAvailable"})
        if (at == std::string::npos && (at = manifest.find(level)) != std::string::npos)
            length = strlen(level);
    if (at == std::string::npos || !CopyFileA(program.c_str(), copy.c_str(), FALSE))
        return false;
    manifest.replace(at, length, "asInvoker");
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (update == nullptr)
        return false;
    const BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), language, &manifest[0],
                                    DWORD(manifest.size()));
    return EndUpdateResourceA(update, !ok) && ok;
}

bool MakeUnixLink(const std::string& target, const std::string& link)
{
    const std::string from = UnixPath(target), to = UnixPath(link);
    return !from.empty() && !to.empty() && RunUnix("Z:\\bin\\ln", "ln -s \"" + from + "\" \"" + to + "\"", [&] {
               return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
           });
}

bool RemoveUnixLink(const std::string& link)
{
    const std::string path = UnixPath(link);
    return !path.empty() && RunUnix("Z:\\bin\\rm", "rm -f \"" + path + "\"", [&] {
               return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
           });
}
