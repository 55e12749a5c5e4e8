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
