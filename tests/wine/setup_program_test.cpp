// The setup program's refusals: without administrator rights, and when a
// reader's driver key already lists the class installer as its device
// co-installer. Either way it says why, exits with its own code and changes
// nothing: the class's value and the system folder stay as they were.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/readers_scenario.h"
#include "support/standard_account.h"
#include "support/temp_folder_sandbox.h"

namespace {

const char kClassGuid[] = "{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}";  // package/kuvana_reader.inx
const char kCoDeviceInstallers[] = "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";
const std::string kDriverKey = std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kClassGuid + "\\0099";

const DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED, which older MinGW headers lack

struct SetupRun {
    bool started = false;
    DWORD startError = 0;
    DWORD code = 0xFFFFFFFF;
    std::string output;
};

std::string PackagedProgram()
{
    return ProgramFolder() + "..\\package\\kuvana_setup.exe";
}

// Runs `program command` with `token` (nullptr: this process's own), ended
// after a minute at most.
SetupRun RunSetup(const std::string& program, const std::string& command, HANDLE token)
{
    TempFolderSandbox temp;
    const std::string outputPath = temp.Path("setup.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string line = "\"" + program + "\" " + command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    SetupRun run;
    run.started = token ? CreateProcessAsUserA(token, program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                               nullptr, &startup, &process)
                        : CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                         &startup, &process);
    run.startError = run.started ? 0 : GetLastError();
    CloseHandle(output);
    if (!run.started)
        return run;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, 5000);
    GetExitCodeProcess(process.hProcess, &run.code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.output = ReadWholeFile(outputPath);
    return run;
}

// The program's manifest text (resource 1), or empty.
std::string ManifestOf(const std::string& program, WORD* language = nullptr)
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

// The program as a start that is still not elevated runs it (Windows with
// UAC off for a standard user, or RunAsInvoker): the same file with its
// manifest asking for no elevation, so that the loader keeps the token given.
std::string InvokerCopy(const TempFolderSandbox& temp)
{
    const std::string copy = temp.Path("kuvana_setup_invoker.exe");
    WORD language = 0;
    std::string manifest = ManifestOf(PackagedProgram(), &language);
    const size_t at = manifest.find("requireAdministrator");
    if (at == std::string::npos || !CopyFileA(PackagedProgram().c_str(), copy.c_str(), FALSE))
        return std::string();
    manifest.replace(at, 20, "asInvoker");
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (update == nullptr)
        return std::string();
    const BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), language, &manifest[0],
                                    DWORD(manifest.size()));
    return EndUpdateResourceA(update, !ok) && ok ? copy : std::string();
}

// Wine's major version, or 0 outside Wine.
int WineMajor()
{
    using Version = const char*(CDECL*)();
    const Version version = reinterpret_cast<Version>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    return version == nullptr ? 0 : std::atoi(version());
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

// A person gets the elevation prompt. A standard start: Windows does not start
// the program (ERROR_ELEVATION_REQUIRED to a caller of CreateProcess); Wine
// 10's loader elevates it through the token's linked full token and it goes
// on (to the missing INF); Wine 8 keeps the token given, so the program
// itself refuses.
TEST(SetupProgram, AsksForElevationAndAStandardStartIsElevatedOrRefused)
{
    EXPECT_NE(ManifestOf(PackagedProgram()).find("level=\"requireAdministrator\""), std::string::npos);
    HANDLE standard = AccountToken(Elevation::Standard, true);
    ASSERT_NE(standard, nullptr);
    const SetupRun run = RunSetup(PackagedProgram(), "install Z:\\no\\such.inf", standard);
    CloseHandle(standard);
    const int wine = WineMajor();
    SCOPED_TRACE(testing::Message() << "Wine " << wine << "\n" << run.output);
    if (wine == 0) {
        EXPECT_FALSE(run.started);
        EXPECT_EQ(run.startError, kElevationRequired);
        return;
    }
    ASSERT_TRUE(run.started) << run.startError;
    const bool elevated = wine >= 10;
    EXPECT_EQ(run.code, elevated ? 4u : 2u);
    EXPECT_EQ(run.output.find("administrator rights are needed") == std::string::npos, elevated);
}

TEST(SetupProgram, RefusesAndChangesNothing)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string installed = std::string(system) + "\\kuvana_coinst_0100.dll";
    const std::string before("other.dll,OtherCoInstaller\0\0", 28);
    ASSERT_TRUE(readers::SetValue(kCoDeviceInstallers, kClassGuid, REG_MULTI_SZ, before.data(), DWORD(before.size())));
    TempFolderSandbox temp;
    const std::string invoker = InvokerCopy(temp);
    ASSERT_FALSE(invoker.empty());
    HANDLE standard = AccountToken(Elevation::Standard, true);
    ASSERT_NE(standard, nullptr);

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
        const std::string command = std::string(c.name).find("remove") == 0 ? "remove" : "install";
        const SetupRun run = c.standardUser ? RunSetup(invoker, command, standard)
                                            : RunSetup(PackagedProgram(), command, nullptr);
        readers::DeleteKey(kDriverKey);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find("Nothing was changed"), std::string::npos) << c.name;
        EXPECT_EQ(ClassValue(), before) << c.name;
        EXPECT_FALSE(FileExists(installed)) << c.name;
    }
    CloseHandle(standard);
    readers::DeleteValue(kCoDeviceInstallers, kClassGuid);
}

}  // namespace
