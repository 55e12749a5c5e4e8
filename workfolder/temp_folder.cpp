#include "workfolder/temp_folder.h"

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

std::wstring WideFromAnsi(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

namespace {

class EnvironmentStrings {
public:
    EnvironmentStrings() : block(GetEnvironmentStringsW()) {}
    ~EnvironmentStrings()
    {
        if (block != nullptr)
            FreeEnvironmentStringsW(block);
    }
    EnvironmentStrings(const EnvironmentStrings&) = delete;
    EnvironmentStrings& operator=(const EnvironmentStrings&) = delete;
    const wchar_t* Get() const { return block; }

private:
    wchar_t* block;
};

}  // namespace

bool StartProgram(const std::string& programPath, const std::string& commandLine, const std::string& tempFolder,
                  ProcessHandles& handles)
{
    if (tempFolder.empty())
        return false;
    const std::wstring program = WideFromAnsi(programPath);
    const std::wstring folder = WideFromAnsi(FolderOfPath(tempFolder));
    // Its own folder as current directory: nothing else lies there.
    const std::wstring directory = WideFromAnsi(FolderOfPath(programPath));
    // CreateProcessW may write into its command line.
    std::wstring line = WideFromAnsi(commandLine);
    if (program.empty() || folder.empty() || line.empty())
        return false;
    // The installer's own temporary folder: the shared one (C:\Windows\Temp for
    // SYSTEM) lets anyone prepare the folders an installer extracts into.
    std::wstring environment;
    {
        const EnvironmentStrings host;
        if (host.Get() == nullptr)
            return false;
        environment = EnvironmentWithTemp(host.Get(), folder);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // No STARTF_USESHOWWINDOW: the program's window gets the system's default show state.
    startup.wShowWindow = SW_HIDE;
    return CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          &environment[0], directory.c_str(), &startup, handles.Out()) != FALSE;
}
