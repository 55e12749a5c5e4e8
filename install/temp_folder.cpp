#include "install/temp_folder.h"

#include <vector>

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

ProcessHandles::~ProcessHandles()
{
    if (info.hThread != nullptr)
        CloseHandle(info.hThread);
    if (info.hProcess != nullptr)
        CloseHandle(info.hProcess);
}

bool StartProgram(const std::string& commandLine, ProcessHandles& handles)
{
    // CreateProcessA may write into its command line.
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // No STARTF_USESHOWWINDOW: the program's window gets the system's default show state.
    startup.wShowWindow = SW_HIDE;
    return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          handles.Out()) != FALSE;
}
