// The silent package installation under Wine, with the fake installer standing
// in for a package: the exact command line, the quoted program path with a
// decoy program in the way, the wait, the start failure and the handles.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/win_handles.h"
#include "install/package_install.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "sim/fake_installer/fake_record.h"
#include "support/message_boxes.h"
#include "support/release_files.h"
#include "support/signed_files.h"
#include "support/test_windows.h"
#include "support/temp_folder_sandbox.h"

namespace {

// The signed response file of tests/wine/make-signed-files.
const char kResponse[] = "[InstallShield Silent]\r\nVersion=v7.00\r\nFile=Response File\r\n\x1a\x00tail";

class InstallPackageTest : public ::testing::Test {
protected:
    // A temporary folder with blanks, as every Windows 5.x profile has.
    InstallPackageTest() : temp("temp dir") {}

    void SetUp() override
    {
        ASSERT_NE(LoadLibraryA("kuvana_coinst.dll"), nullptr);
        record = temp.Base() + "record.txt";
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
        SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_EXIT_CODE", nullptr);
        ASSERT_TRUE(CopyFileA(Fake().c_str(), temp.Path("pkg.exe").c_str(), FALSE));
        ASSERT_TRUE(CreateDirectoryA(responses.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(ownTemp.c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(responses + "pkg.iss", std::string(kResponse, sizeof(kResponse) - 1)));
        // The release names these two files.
        installerFile = ReleaseFileOf(ReadWholeFile(Fake()));
        responseFile = ReleaseFileOf(std::string(kResponse, sizeof(kResponse) - 1));
    }
    // The installer in the sandbox's folder, its response file and its TMP in
    // subfolders, the folder held as a work folder is.
    void Install(HWND window, const std::string& folder, const char* installer, const char* response)
    {
        const DeviceHandle held(CreateFileA(temp.Folder().c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        InstallPackage(window, folder, installer, responses, response, ownTemp, installerFile, responseFile,
                       held.Get());
    }
    void TearDown() override { SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr); }

    static std::string Fake() { return ProgramFolder() + "fake_installer.exe"; }

    TempFolderSandbox temp;
    std::string record;
    OwnerWindow page;
    const std::string responses = temp.Path("response\\");
    const std::string ownTemp = temp.Path("pkg-temp\\");
    ReleaseFile installerFile;
    ReleaseFile responseFile;
};

TEST_F(InstallPackageTest, StartsTheInstallerWithTheExactQuotedCommandLine)
{
    MessageBoxScript boxes;
    SetEnvironmentVariableA("KUVANA_FAKE_EXIT_CODE", "3");  // a failing installer is not noticed
    // Outside every ANSI code page: the environment passes through none.
    const wchar_t probe[] = L"C:\\Users\\\x0101\xD55C\xD83D\xDE00";
    SetEnvironmentVariableW(L"KUVANA_FAKE_PROBE", probe);
    Install(page.window, temp.Folder(), "pkg.exe", "pkg.iss");
    SetEnvironmentVariableW(L"KUVANA_FAKE_PROBE", nullptr);

    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, "\"" + temp.Folder() + "pkg.exe\" /nodialog /noreboot /nokps -s -f1\"" +
                                       responses + "pkg.iss\"");
    // In its own folder, with a temporary folder of its own.
    EXPECT_EQ(_stricmp((runs[0].directory + "\\").c_str(), temp.Folder().c_str()), 0) << runs[0].directory;
    EXPECT_EQ(_stricmp((runs[0].tmp + "\\").c_str(), ownTemp.c_str()), 0) << runs[0].tmp;
    EXPECT_EQ(_stricmp((runs[0].temp + "\\").c_str(), ownTemp.c_str()), 0) << runs[0].temp;
    EXPECT_EQ(_stricmp(runs[0].program.c_str(), temp.Path("pkg.exe").c_str()), 0) << runs[0].program;
    EXPECT_EQ(runs[0].probe, std::string(reinterpret_cast<const char*>(probe), sizeof probe - sizeof(wchar_t)));
    ASSERT_TRUE(runs[0].responseRead);
    EXPECT_EQ(runs[0].response, std::string(kResponse, sizeof(kResponse) - 1));
    EXPECT_TRUE(runs[0].ended);
    EXPECT_EQ(boxes.Count(), 0u);
    // The step neither adds nor removes files: deleting them is the caller's job.
    EXPECT_EQ(temp.Files(), (std::set<std::string>{"pkg.exe"}));
    EXPECT_EQ(ReadWholeFile(responses + "pkg.iss"), std::string(kResponse, sizeof(kResponse) - 1));
}

TEST_F(InstallPackageTest, DecoyNamedAfterTheFoldersFirstWordIsNotStarted)
{
    // "<base>temp dir\pkg.exe ..." unquoted would start "<base>temp.exe".
    const std::string decoy = temp.Base() + "temp.exe";
    ASSERT_TRUE(CopyFileA(Fake().c_str(), decoy.c_str(), FALSE));

    Install(page.window, temp.Folder(), "pkg.exe", "pkg.iss");
    std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(_stricmp(runs[0].program.c_str(), temp.Path("pkg.exe").c_str()), 0) << runs[0].program;

    // The decoy is where the platform looks: the unquoted line starts it.
    std::string unquoted = temp.Folder() + "pkg.exe /nodialog /noreboot /nokps -s -f1\"" + responses + "pkg.iss\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &unquoted[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(_stricmp(runs[1].program.c_str(), decoy.c_str()), 0) << runs[1].program;
}

TEST_F(InstallPackageTest, MissingInstallerShowsMessage124OnceAndReturns)
{
    MessageBoxScript boxes;
    Install(page.window, temp.Folder(), "missing.exe", "pkg.iss");
    const std::vector<ShownDialog> shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, LoadModuleString(IDS_INSTALL_FAILED));
    EXPECT_FALSE(shown[0].text.empty());
    EXPECT_EQ(shown[0].type, UINT(MB_OK));
    EXPECT_EQ(shown[0].caption, "Error");  // no caption of our own
    EXPECT_EQ(shown[0].owner, page.window);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(InstallPackageTest, InstallersTheMakerDidNotSignAreDeletedAndReportedAs124)
{
    for (const char* other : {"fake_unsigned.exe", "fake_tampered.exe", "fake_stranger.exe", "fake_lookalike.exe"}) {
        SCOPED_TRACE(other);
        ASSERT_TRUE(CopyFileA((ProgramFolder() + other).c_str(), temp.Path("pkg.exe").c_str(), FALSE));
        // Even as the file the release names.
        installerFile = ReleaseFileOf(ReadWholeFile(ProgramFolder() + other));
        MessageBoxScript boxes;
        Install(page.window, temp.Folder(), "pkg.exe", "pkg.iss");
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, LoadModuleString(IDS_INSTALL_FAILED));
        EXPECT_TRUE(temp.Files().empty());
    }
    Sleep(300);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(InstallPackageTest, FilesOtherThanTheReleaseNamesAreRefusedAs124AndNothingStarts)
{
    const std::string response(kResponse, sizeof(kResponse) - 1);
    const std::string installer = ReadWholeFile(Fake());
    std::string changedInstaller = installer;
    changedInstaller[changedInstaller.size() / 2] ^= 1;
    std::string changedResponse = response;
    changedResponse[3] ^= 1;
    const struct {
        const char* why;
        bool isInstaller;
        std::string content;  // what lies there instead of the release's file
    } cases[] = {
        {"response: larger", false, response + "x"},
        {"response: smaller", false, response.substr(0, response.size() - 1)},
        {"response: one byte changed", false, changedResponse},
        {"response: another key's file (the installer)", false, installer},
        {"installer: larger", true, installer + "x"},
        {"installer: smaller", true, installer.substr(0, installer.size() - 1)},
        {"installer: one byte changed", true, changedInstaller},
        {"installer: another key's signed installer", true, ReadWholeFile(ProgramFolder() + "fake_stranger.exe")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(WriteWholeFile(responses + "pkg.iss", c.isInstaller ? response : c.content));
        ASSERT_TRUE(WriteWholeFile(temp.Path("pkg.exe"), c.isInstaller ? c.content : installer));
        MessageBoxScript boxes;
        Install(page.window, temp.Folder(), "pkg.exe", "pkg.iss");
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, LoadModuleString(IDS_INSTALL_FAILED));
    }
    Sleep(300);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(InstallPackageTest, TheResponseFileIsHeldReadOnlyUntilTheInstallerHasEnded)
{
    const std::string eventName = "kuvana-install-hold-" + std::to_string(GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(release, nullptr);
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", eventName.c_str());
    std::thread installer([&] { Install(nullptr, temp.Folder(), "pkg.exe", "pkg.iss"); });
    for (int i = 0; i < 300 && ReadFakeRuns(record).empty(); ++i)
        Sleep(20);
    ASSERT_EQ(ReadFakeRuns(record).size(), 1u);
    HANDLE writer = CreateFileA((responses + "pkg.iss").c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA((responses + "pkg.iss").c_str()));
    SetEvent(release);
    installer.join();
    CloseHandle(release);
    EXPECT_TRUE(DeleteFileA((responses + "pkg.iss").c_str()));
}

TEST_F(InstallPackageTest, EmptyNamesFailToStartRatherThanRunTheFolder)
{
    MessageBoxScript boxes;
    Install(page.window, temp.Folder(), "", "");
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(InstallPackageTest, NoWorkingFolderMeansNoStartFromElsewhere)
{
    // Without a folder the line would name a bare "pkg.exe", which the system
    // looks for in the current directory, among others.
    ASSERT_TRUE(CopyFileA(Fake().c_str(), (temp.Base() + "pkg.exe").c_str(), FALSE));
    temp.MakeTempPathUnreadable();  // and Base() the current directory
    MessageBoxScript boxes;
    Install(page.window, "", "pkg.exe", "pkg.iss");
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(InstallPackageTest, WaitsAsLongAsTheInstallerRuns)
{
    const std::string eventName = "kuvana-install-wait-" + std::to_string(GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(release, nullptr);
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", eventName.c_str());

    HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread installer([&] {
        Install(nullptr, temp.Folder(), "pkg.exe", "pkg.iss");
        SetEvent(returned);
    });
    // The installer is up and blocked on our event...
    for (int i = 0; i < 300 && ReadFakeRuns(record).empty(); ++i)
        Sleep(20);
    ASSERT_EQ(ReadFakeRuns(record).size(), 1u);
    // ...and the step is still waiting for it.
    EXPECT_EQ(WaitForSingleObject(returned, 500), DWORD(WAIT_TIMEOUT));
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(returned, 30000), DWORD(WAIT_OBJECT_0));
    installer.join();
    EXPECT_TRUE(ReadFakeRuns(record)[0].ended);
    CloseHandle(returned);
    CloseHandle(release);
}

TEST_F(InstallPackageTest, ClosesTheProcessAndThreadHandles)
{
    Install(nullptr, temp.Folder(), "pkg.exe", "pkg.iss");  // warm up whatever the first start opens for good
    const int before = CountOpenHandles();
    for (int i = 0; i < 4; ++i)
        Install(nullptr, temp.Folder(), "pkg.exe", "pkg.iss");
    const int after = CountOpenHandles();
    // Two handles a run would leak eight.
    EXPECT_LT(after, before + 4) << "before " << before << ", after " << after;
    EXPECT_EQ(ReadFakeRuns(record).size(), 5u);
}

}  // namespace
