#include "support/temp_folder_sandbox.h"

#include <vector>

#include "support/import_patch.h"

namespace {

// The innermost sandbox's Windows folder, as the program's own
// GetSystemWindowsDirectoryA gives it.
const std::string* sandboxWindows = nullptr;

UINT WINAPI SandboxWindowsDirectory(LPSTR buffer, UINT size)
{
    const std::string& folder = *sandboxWindows;
    if (folder.size() >= size)
        return UINT(folder.size() + 1);
    folder.copy(buffer, folder.size());
    buffer[folder.size()] = '\0';
    return UINT(folder.size());
}

bool SaveVariable(const char* name, std::string& value)
{
    char buffer[32768];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    value.assign(buffer, length);
    return true;
}

}  // namespace

TempFolderSandbox::TempFolderSandbox(const std::string& leaf)
{
    static LONG counter = 0;
    char system[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, system);
    base = std::string(system) + "kv" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(InterlockedIncrement(&counter)) + "\\";
    RemoveTree(base);
    CreateDirectoryA(base.c_str(), nullptr);
    folder = base + leaf + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    hadTmp = SaveVariable("TMP", savedTmp);
    hadTemp = SaveVariable("TEMP", savedTemp);
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
    windows = base + "windows";
    windowsTemp = windows + "\\Temp\\";
    CreateDirectoryA(windows.c_str(), nullptr);
    CreateDirectoryA(windowsTemp.c_str(), nullptr);
    outerWindows = sandboxWindows;
    sandboxWindows = &windows;
    windowsFolder.reset(new ImportPatch("kernel32.dll", "GetSystemWindowsDirectoryA",
                                        reinterpret_cast<void*>(&SandboxWindowsDirectory)));
}

std::string TempFolderSandbox::WorkRoot() const
{
    // Elevated and not SYSTEM, by the thread's (else the process's) token.
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return folder;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated != 0;
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    BYTE system[SECURITY_MAX_SID_SIZE] = {};
    DWORD systemSize = sizeof system;
    const bool isSystem = GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
                          CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) &&
                          EqualSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, system);
    CloseHandle(token);
    return elevated && !isSystem ? windowsTemp : folder;
}

TempFolderSandbox::~TempFolderSandbox()
{
    windowsFolder.reset();
    sandboxWindows = outerWindows;
    SetEnvironmentVariableA("TMP", hadTmp ? savedTmp.c_str() : nullptr);
    SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp.c_str() : nullptr);
    if (!savedDirectory.empty())
        SetCurrentDirectoryA(savedDirectory.c_str());
    RemoveTree(base);
}

void TempFolderSandbox::MakeTempPathUnreadable()
{
    const std::string tooLong = base + std::string(300, 'x') + "\\";
    SetEnvironmentVariableA("TMP", tooLong.c_str());
    SetEnvironmentVariableA("TEMP", tooLong.c_str());
    char current[MAX_PATH] = {};
    if (savedDirectory.empty() && GetCurrentDirectoryA(MAX_PATH, current) > 0)
        savedDirectory = current;
    SetCurrentDirectoryA(base.c_str());
}

namespace {

std::set<std::string> Entries(const std::string& folder, bool folders)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != ".." && ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders)
            names.insert(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

}  // namespace

std::string SystemWindowsTemp()
{
    // The wide call: the sandbox redirects only the program's ANSI one.
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    char ansi[MAX_PATH * 2] = {};
    if (length == 0 || length >= MAX_PATH ||
        WideCharToMultiByte(CP_ACP, 0, windows, int(length), ansi, sizeof ansi, nullptr, nullptr) == 0)
        return std::string();
    return std::string(ansi) + "\\Temp\\";
}

std::set<std::string> FoldersIn(const std::string& folder)
{
    return Entries(folder, true);
}

std::set<std::string> TempFolderSandbox::Files() const
{
    return Entries(folder, false);
}

std::set<std::string> TempFolderSandbox::Folders() const
{
    return Entries(folder, true);
}

bool WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

void RemoveTree(const std::string& folder)
{
    std::string root = folder;
    if (!root.empty() && root.back() != '\\')
        root += '\\';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(root + name);
            } else {
                SetFileAttributesA((root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((root + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(root.c_str());
}
