#include "workfolder/temp_folder.h"

bool ReadTempFolder(std::string& folder)
{
    // GetTempPath2A, where the system has it, gives SYSTEM a folder of its own
    // instead of the shared C:\Windows\Temp.
    using TempPathFunction = DWORD(WINAPI*)(DWORD, LPSTR);
    static const TempPathFunction getTempPath2 = reinterpret_cast<TempPathFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTempPath2A")));
    char buffer[MAX_PATH] = {};
    const DWORD length = getTempPath2 != nullptr ? getTempPath2(MAX_PATH, buffer) : GetTempPathA(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH)
        return false;
    folder.assign(buffer, length);
    return true;
}

WorkRoot WorkRootFor(const FolderAccount& account)
{
    return account.elevated && !account.system ? WorkRoot::WindowsTemp : WorkRoot::TempFolder;
}

bool ReadWorkRoot(std::string& root)
{
    FolderAccount account;
    if (!ReadFolderAccount(account))
        return false;
    if (WorkRootFor(account) == WorkRoot::TempFolder)
        return ReadTempFolder(root);
    // The shared Windows folder, not a Terminal Services user's own copy.
    char buffer[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    std::string folder(buffer, length);
    if (folder.back() != '\\')
        folder.push_back('\\');
    folder += "Temp\\";
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (folder.size() >= MAX_PATH || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    root = folder;
    return true;
}
