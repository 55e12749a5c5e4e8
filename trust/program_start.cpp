#include "trust/program_start.h"

#include "common/path_text.h"
#include "common/wide_text.h"
#include "trust/environment.h"
#include "trust/system_environment.h"

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
    // SYSTEM) lets anyone prepare the folders an installer extracts into. An
    // administrator's elevated caller has the user's own PATH, whose folders
    // the user's unelevated processes can write; the installer gets the
    // system's, in which the loader looks last for a DLL. SYSTEM's is the
    // system's already.
    const bool system = RunningAsSystem();
    const std::wstring systemPath = system ? std::wstring() : ReadSystemPath();
    std::wstring environment;
    {
        const EnvironmentStrings host;
        if (host.Get() == nullptr)
            return false;
        environment = InstallerEnvironment(host.Get(), folder, system ? nullptr : &systemPath);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // No STARTF_USESHOWWINDOW: the program's window gets the system's default show state.
    startup.wShowWindow = SW_HIDE;
    return CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          &environment[0], directory.c_str(), &startup, handles.Out()) != FALSE;
}
