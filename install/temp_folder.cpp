#include "install/temp_folder.h"

#include <vector>

#include "install/command_lines.h"

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

bool StartProgram(const std::string& programPath, const std::string& commandLine, const std::string& tempFolder,
                  ProcessHandles& handles)
{
    if (tempFolder.empty())
        return false;
    // The installer's own temporary folder: the shared one (C:\Windows\Temp for
    // SYSTEM) lets anyone prepare the folders an installer extracts into.
    std::string environment;
    {
        char* host = GetEnvironmentStringsA();
        if (host == nullptr)
            return false;
        environment = EnvironmentWithTemp(host, FolderOfPath(tempFolder));
        FreeEnvironmentStringsA(host);
    }
    // Its own folder as current directory: nothing else lies there.
    const std::string directory = FolderOfPath(programPath);
    // CreateProcessA may write into its command line.
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // No STARTF_USESHOWWINDOW: the program's window gets the system's default show state.
    startup.wShowWindow = SW_HIDE;
    return CreateProcessA(programPath.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, &environment[0],
                          directory.c_str(), &startup, handles.Out()) != FALSE;
}
