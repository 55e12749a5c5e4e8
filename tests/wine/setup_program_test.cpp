// The setup program, run elevated from a folder its user can write, as a
// vendor's download unpacks it. It refuses without administrator rights,
// over the legacy package, a class installer that is not the maker's and an
// INF of another class: it says why, exits with its own code and changes
// nothing. It loads no DLL planted in its folder. Install, then remove,
// leaves the class's value and key exactly as they were, another vendor's
// entries included.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/readers_scenario.h"
#include "support/standard_account.h"
#include "support/temp_folder_sandbox.h"
#include "support/test_windows.h"

namespace {

const char kClassGuid[] = "{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}";  // package/kuvana_reader.inx
const char kKeyboardGuid[] = "{4D36E96B-E325-11CE-BFC1-08002BE10318}";
const char kCoDeviceInstallers[] = "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";
const std::string kClassKey = std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kClassGuid;
const std::string kDriverKey = kClassKey + "\\0099";
const char kDll[] = "kuvana_coinst_0100.dll";
// DLLs a planted copy of planted_dll.dll stands for. Native first (the test's
// WINEDLLOVERRIDES, which Wine takes from the Unix environment, so from
// setup_program_test.cmake), Wine looks for them as Windows does for a DLL
// outside the KnownDLLs: the program's folder first.
const char* const kPlanted[] = {"newdev.dll", "wintrust.dll", "crypt32.dll"};

std::string SystemDll()
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\" + kDll;
}

// The class's co-installer value and its key's values, byte for byte, and
// whether the class installer is in the system folder.
std::string MachineState(const std::string& guid)
{
    std::string state;
    HKEY key = nullptr;
    BYTE data[4096];
    DWORD type = 0, size = sizeof data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCoDeviceInstallers, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, std::wstring(guid.begin(), guid.end()).c_str(), nullptr, &type, data, &size) ==
            ERROR_SUCCESS)
            state += "value " + std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size) + "\n";
        RegCloseKey(key);
    }
    const std::string classKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\" + guid;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, classKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            size = sizeof data;
            if (RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            state += "class " + std::string(reinterpret_cast<char*>(name), length * 2) + "=" + std::to_string(type) +
                     ":" + std::string(reinterpret_cast<char*>(data), size) + "\n";
        }
        RegCloseKey(key);
    }
    return state + (FileExists(SystemDll()) ? "dll in the system folder\n" : "");
}

bool SetWide(const std::string& keyPath, const wchar_t* name, DWORD type, const std::wstring& units)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(units.data()),
                                       DWORD(units.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void DeleteClassValues()
{
    readers::DeleteValue(kCoDeviceInstallers, kClassGuid);
    for (const char* name : {"", "Class", "Icon"})
        readers::DeleteValue(kClassKey, name);
}

// The program's folder as a vendor ships it, with `dll` (a file of
// bin/setup/) as the class installer and the planted DLLs beside it.
class VendorFolder {
public:
    explicit VendorFolder(const std::string& dll) : folder(temp.Path("vendor\\"))
    {
        CreateDirectoryA(folder.c_str(), nullptr);
        CopyFileA((ProgramFolder() + "..\\package\\kuvana_setup.exe").c_str(), (folder + "kuvana_setup.exe").c_str(), FALSE);
        CopyFileA((ProgramFolder() + "setup\\" + dll).c_str(), (folder + kDll).c_str(), FALSE);
        for (const char* planted : kPlanted)
            CopyFileA((ProgramFolder() + "planted_dll.dll").c_str(), (folder + planted).c_str(), FALSE);
    }
    std::string Path(const std::string& name) const { return folder + name; }
    std::string Loaded() const
    {
        std::string loaded;
        for (const char* planted : kPlanted)
            if (FileExists(folder + planted + ".loaded"))
                loaded += std::string(planted) + " ";
        return loaded;
    }

private:
    TempFolderSandbox temp;
    std::string folder;
};

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

// Runs `program arguments` with `token` (nullptr: this process's own), its
// output kept in `outputPath`; ended after a minute at most.
SetupRun RunProgram(const std::string& program, const std::string& arguments, const std::string& outputPath,
                    HANDLE token)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string line = "\"" + program + "\" " + arguments;
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

// Runs the folder's setup program with `token` (nullptr: this process's own).
SetupRun RunSetup(const VendorFolder& vendor, const std::string& arguments, HANDLE token = nullptr)
{
    return RunProgram(vendor.Path("kuvana_setup.exe"), arguments, vendor.Path("setup.txt"), token);
}

// The simulated readers' declarative package: the package's form, in the
// readers' class, with no catalog or driver file the driver store would want.
std::string PackageInf()
{
    return ProgramFolder() + "zrvsim_declarative.inf";
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
    TempFolderSandbox temp;
    const SetupRun run = RunProgram(PackagedProgram(), "install Z:\\no\\such.inf", temp.Path("setup.txt"), standard);
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
    DeleteClassValues();
    ASSERT_FALSE(FileExists(SystemDll()));
    const std::string before("other.dll,OtherCoInstaller\0\0", 28);
    ASSERT_TRUE(readers::SetValue(kCoDeviceInstallers, kClassGuid, REG_MULTI_SZ, before.data(), DWORD(before.size())));
    HANDLE standard = AccountToken(Elevation::Standard, true);
    ASSERT_NE(standard, nullptr);
    // The INF naming the keyboard class instead of the readers'.
    std::string keyboardInf = ReadWholeFile(PackageInf());
    const std::string readersClass = std::string("Class=KuvanaPortReader\r\nClassGuid=") + kClassGuid;
    ASSERT_NE(keyboardInf.find(readersClass), std::string::npos);
    keyboardInf.replace(keyboardInf.find(readersClass), readersClass.size(),
                        std::string("Class=Keyboard\r\nClassGuid=") + kKeyboardGuid);

    const struct {
        const char* name;
        const char* dll;  // in bin/setup/
        bool standardUser;
        bool deviceCoInstaller;  // a reader's driver key lists the DLL (the legacy package)
        bool keyboardInf;
        DWORD code;
        const char* says;
    } cases[] = {
        {"install without administrator rights", kDll, true, false, false, 2, "administrator rights are needed"},
        {"remove without administrator rights", kDll, true, false, false, 2, "administrator rights are needed"},
        {"install over the legacy package", kDll, false, true, false, 3, "called twice for every code"},
        {"an unsigned class installer", "refused\\unsigned.dll", false, false, false, 4, "does not carry the signature"},
        {"one signed by another publisher", "refused\\stranger.dll", false, false, false, 4, "does not carry the signature"},
        {"one changed after signing", "refused\\tampered.dll", false, false, false, 4, "does not carry the signature"},
        {"an INF of the keyboard class", kDll, false, false, true, 4, "not the readers' class KuvanaPortReader"},
    };
    const std::string readersBefore = MachineState(kClassGuid), keyboardBefore = MachineState(kKeyboardGuid);
    for (const auto& c : cases) {
        VendorFolder vendor(c.dll);
        // A start that is still not elevated: the program with its manifest
        // asking for no elevation, so that neither Wine's loader nor UAC
        // raises the token given.
        if (c.standardUser)
            ASSERT_TRUE(MakeInvokerCopy(PackagedProgram(), vendor.Path("kuvana_setup.exe"))) << c.name;
        if (c.deviceCoInstaller)
            ASSERT_TRUE(readers::SetString(kDriverKey, "CoInstallers32", std::string("kuvana_coinst.dll,ClassInstaller\0", 33),
                                           REG_MULTI_SZ));
        std::string inf = PackageInf();
        if (c.keyboardInf) {
            inf = vendor.Path("keyboard.inf");
            ASSERT_TRUE(WriteWholeFile(inf, keyboardInf));
        }
        const SetupRun run = RunSetup(vendor, std::string(std::string(c.name).find("remove") == 0 ? "remove" : "install") +
                                                  " \"" + inf + "\"",
                                      c.standardUser ? standard : nullptr);
        readers::DeleteKey(kDriverKey);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find("othing was changed"), std::string::npos) << c.name;
        EXPECT_EQ(MachineState(kClassGuid), readersBefore) << c.name;
        EXPECT_EQ(MachineState(kKeyboardGuid), keyboardBefore) << c.name;
        EXPECT_EQ(vendor.Loaded(), "") << c.name << ": loaded from the program's folder";
    }
    CloseHandle(standard);
    readers::DeleteValue(kCoDeviceInstallers, kClassGuid);
}

TEST(SetupProgram, InstallThenRemoveLeavesOthersAsTheyWere)
{
    const std::wstring ours = L"kuvana_coinst_0100.dll,ClassInstaller";
    // Another vendor's entry in Greek and katakana, outside the ANSI code page.
    const std::wstring theirs = L"\x0391\x03A9 vendor.dll,\x30AB\x30CA";
    const struct {
        const char* name;
        bool value;      // the class's value holds their entry
        bool classKey;   // the class key holds a title and an icon of someone else's
    } cases[] = {
        {"nothing there", false, false},
        {"another vendor's entry and the class key's own values", true, true},
    };
    for (const auto& c : cases) {
        DeleteClassValues();
        if (c.value)
            ASSERT_TRUE(SetWide(kCoDeviceInstallers, L"{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}", REG_MULTI_SZ,
                                theirs + L'\0' + L'\0'));
        if (c.classKey)
            ASSERT_TRUE(SetWide(kClassKey, nullptr, REG_SZ, std::wstring(L"Their title") + L'\0') &&
                        SetWide(kClassKey, L"Icon", REG_SZ, std::wstring(L"-5") + L'\0'));
        const std::string before = MachineState(kClassGuid);
        VendorFolder vendor(kDll);

        SetupRun run = RunSetup(vendor, "install \"" + PackageInf() + "\"");
        EXPECT_EQ(run.code, 7u) << c.name << "\n" << run.output;
        const std::wstring value = (c.value ? theirs + L'\0' : L"") + ours + L'\0' + L'\0';
        const std::string during = MachineState(kClassGuid);
        EXPECT_NE(during.find("value 7:" + std::string(reinterpret_cast<const char*>(value.data()), value.size() * 2)),
                  std::string::npos) << c.name << "\n" << run.output;
        const std::string title = c.classKey ? "Their title" : "Kuvana Port readers";
        EXPECT_NE(during.find(std::string("=1:") + std::string(reinterpret_cast<const char*>(
                      std::wstring(title.begin(), title.end()).c_str()), title.size() * 2)),
                  std::string::npos) << c.name << "\n" << during;
        EXPECT_NE(during.find("dll in the system folder"), std::string::npos) << c.name;

        run = RunSetup(vendor, "remove \"" + PackageInf() + "\"");
        EXPECT_EQ(run.code, 0u) << c.name << "\n" << run.output;
        EXPECT_EQ(MachineState(kClassGuid), before) << c.name << "\n" << run.output;
        EXPECT_EQ(vendor.Loaded(), "") << c.name << ": loaded from the program's folder";
    }
    DeleteClassValues();
}

}  // namespace
