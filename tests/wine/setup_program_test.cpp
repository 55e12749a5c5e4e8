// The setup program's refusals: without administrator rights, and when a
// reader's driver key already lists the class installer as its device
// co-installer. Either way it says why, exits with its own code and changes
// nothing: the class's value and the system folder stay as they were.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/readers_scenario.h"
#include "support/temp_folder_sandbox.h"

namespace {

const char kClassGuid[] = "{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}";  // package/kuvana_reader.inx
const char kCoDeviceInstallers[] = "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";
const std::string kDriverKey = std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kClassGuid + "\\0099";

struct SetupRun {
    DWORD code = 0xFFFFFFFF;
    std::string output;
};

// Runs the package's setup program with `token` (nullptr: this process's own).
SetupRun RunSetup(const char* command, HANDLE token)
{
    TempFolderSandbox temp;
    const std::string outputPath = temp.Path("setup.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    const std::string program = ProgramFolder() + "..\\package\\kuvana_setup.exe";
    std::string line = "\"" + program + "\" " + command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    SetupRun run;
    BOOL started = token ? CreateProcessAsUserA(token, program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                                nullptr, &startup, &process)
                         : CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    CloseHandle(output);
    if (!started)
        return run;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.output = ReadWholeFile(outputPath);
    return run;
}

// This elevated process's limited twin, as UAC gives a standard start.
HANDLE LimitedToken()
{
    HANDLE own = nullptr;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return nullptr;
    BOOL ok = GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size);
    CloseHandle(own);
    return ok ? linked.LinkedToken : nullptr;
}

std::string ClassValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCoDeviceInstallers, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    char value[512] = {};
    DWORD size = sizeof value - 2;
    RegQueryValueExA(key, kClassGuid, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return std::string(value, size);
}

TEST(SetupProgram, RefusesAndChangesNothing)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string installed = std::string(system) + "\\kuvana_coinst_0100.dll";
    const std::string before("other.dll,OtherCoInstaller\0\0", 28);
    ASSERT_TRUE(readers::SetValue(kCoDeviceInstallers, kClassGuid, REG_MULTI_SZ, before.data(), DWORD(before.size())));
    HANDLE limited = LimitedToken();
    ASSERT_NE(limited, nullptr);

    const struct {
        const char* name;
        bool standardUser;
        bool deviceCoInstaller;  // a reader's driver key lists the DLL (the legacy package)
        DWORD code;
        const char* says;
    } cases[] = {
        {"install without administrator rights", true, false, 2, "administrator rights are needed"},
        {"remove without administrator rights", true, false, 2, "administrator rights are needed"},
        {"install over the legacy package", false, true, 3, "called twice for every code"},
    };
    for (const auto& c : cases) {
        if (c.deviceCoInstaller)
            ASSERT_TRUE(readers::SetString(kDriverKey, "CoInstallers32", std::string("kuvana_coinst.dll,ClassInstaller\0", 33),
                                           REG_MULTI_SZ));
        const SetupRun run = RunSetup(std::string(c.name).find("remove") == 0 ? "remove" : "install",
                                 c.standardUser ? limited : nullptr);
        readers::DeleteKey(kDriverKey);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find("Nothing was changed"), std::string::npos) << c.name;
        EXPECT_EQ(ClassValue(), before) << c.name;
        EXPECT_FALSE(FileExists(installed)) << c.name;
    }
    CloseHandle(limited);
    readers::DeleteValue(kCoDeviceInstallers, kClassGuid);
}

}  // namespace
