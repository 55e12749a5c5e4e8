// The net installer launcher against the download-server simulator, which
// serves the fake installer as the net installer and a release list that
// binds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "install/command_lines.h"
#include "workfolder/work_folder.h"

#include "install/net_installer.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "sim/fake_installer/fake_record.h"
#include "support/machine_settings.h"
#include "support/message_boxes.h"
#include "support/server_control.h"
#include "support/standard_account.h"
#include "support/stored_serial.h"
#include "support/temp_folder_sandbox.h"
#include "support/test_windows.h"

namespace {

// The path as the program sees its own module: doubled backslashes read as one.
std::string Normalized(std::string path)
{
    for (std::string::size_type at; (at = path.find("\\\\")) != std::string::npos;)
        path.erase(at, 1);
    return path;
}

class NetInstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable()) << "run under sim/server/with-server";
        ASSERT_NE(LoadLibraryA("kuvana_coinst.dll"), nullptr);
        ASSERT_TRUE(ServerReset());
        // The list the sequence would take, binding the fake installer as the
        // net installer.
        ASSERT_TRUE(ServerPutFile(kListPath, ""));
        listUrl = ServerUrl(kListPath);
        SetUrlListSetting(&listUrl);
        ASSERT_TRUE(ServerSetRelease("net=/fake_installer.exe"));
        record = temp.Base() + "record.txt";
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
        eventName = "kuvana-net-installer-" + std::to_string(GetCurrentProcessId());
        release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", eventName.c_str());
    }
    void TearDown() override
    {
        // Let every started installer end, so the sandbox can be removed.
        SetEvent(release);
        for (int i = 0; i < 500 && !AllEnded(); ++i)
            Sleep(20);
        CloseHandle(release);
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
        SetUrlListSetting(nullptr);
    }

    // The requests that did not fetch the list or its signature.
    static std::vector<std::string> FileRequests()
    {
        std::vector<std::string> targets;
        for (const ServerRequest& request : ServerRequests())
            if (request.target.compare(0, std::strlen(kListPath), kListPath) != 0)
                targets.push_back(request.target);
        return targets;
    }

    bool AllEnded() const
    {
        for (const FakeRun& run : ReadFakeRuns(record))
            if (!run.ended)
                return false;
        return true;
    }
    // The installer records its end just before it exits: its folder can only
    // go once its process has let go of the file as well.
    void WaitUntilReleased() const
    {
        for (const FakeRun& run : ReadFakeRuns(record))
            for (int i = 0; i < 500; ++i) {
                HANDLE file = CreateFileA(run.program.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
                    Sleep(20);
                    continue;
                }
                if (file != INVALID_HANDLE_VALUE)
                    CloseHandle(file);
                break;
            }
    }
    // The launches' working folders now in the running account's work root
    // (names only).
    std::set<std::string> NetFolders() const
    {
        std::set<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((temp.WorkRoot() + "KuvanaNet-*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            names.insert(found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
    // Waits until `count` runs have recorded their start.
    std::vector<FakeRun> WaitForRuns(size_t count) const
    {
        // The installer records a run line by line: its folder, TMP and TEMP
        // may still be missing just after "started".
        std::vector<FakeRun> runs;
        for (int i = 0; i < 1000; ++i) {
            runs = ReadFakeRuns(record);
            if (runs.size() >= count && runs[count - 1].startRecorded)
                break;
            Sleep(20);
        }
        return runs;
    }

    std::string FakeUrl() const { return ServerUrl("/fake_installer.exe"); }

    static constexpr const char* kListPath = "/list/url_list.txt";
    StoredSerialGuard storedSerial;
    std::string listUrl;
    TempFolderSandbox temp{"temp dir"};
    OwnerWindow page;
    std::string record;
    std::string eventName;
    HANDLE release = nullptr;
};

TEST_F(NetInstallerTest, StartsTheDownloadFromAFolderOfItsOwnQuotedAndDoesNotWait)
{
    // Unquoted, "<base>temp dir\\..." would start this decoy.
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "fake_installer.exe").c_str(), (temp.Base() + "temp.exe").c_str(), FALSE));
    // Planted in the shared temporary folder beforehand: neither run, nor
    // overwritten, nor deleted, nor beside the started program.
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "fake_unsigned.exe").c_str(), temp.Path("KuvanaNetInstaller.exe").c_str(),
                          FALSE));
    ASSERT_TRUE(WriteWholeFile(temp.Path("version.dll"), "planted"));
    MessageBoxScript boxes;

    NetInstallerLauncher(page.window, FakeUrl().c_str());

    // Returned while the started installer still waits for our event.
    const std::vector<FakeRun> runs = WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].ended);
    const std::set<std::string> folders = NetFolders();
    ASSERT_EQ(folders.size(), 1u);
    // Elevated, as Wine runs us: in the Windows folder's Temp, away from
    // what was planted in the user's own.
    const std::string folder = temp.WorkRoot() + *folders.begin() + "\\";
    EXPECT_EQ(temp.WorkRoot(), temp.WindowsTemp());
    EXPECT_EQ(folders.begin()->size(), 10u + 16u) << *folders.begin();
    EXPECT_EQ(runs[0].commandLine, "\"" + folder + "net\\\\KuvanaNetInstaller.exe\"");
    EXPECT_EQ(_stricmp(Normalized(runs[0].program).c_str(), (folder + "net\\KuvanaNetInstaller.exe").c_str()), 0)
        << runs[0].program;
    // Alone in its folder, which is its current directory, with a temporary
    // folder of its own beside it.
    EXPECT_EQ(runs[0].folder, "KuvanaNetInstaller.exe");
    EXPECT_EQ(_stricmp(runs[0].directory.c_str(), (folder + "net").c_str()), 0) << runs[0].directory;
    EXPECT_EQ(_stricmp(runs[0].tmp.c_str(), (folder + "net-temp").c_str()), 0) << runs[0].tmp;
    EXPECT_EQ(runs[0].temp, runs[0].tmp);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(ReadWholeFile(folder + "net\\KuvanaNetInstaller.exe"),
              ReadWholeFile(ProgramFolder() + "fake_installer.exe"));
    EXPECT_EQ(ReadWholeFile(temp.Path("KuvanaNetInstaller.exe")), ReadWholeFile(ProgramFolder() + "fake_unsigned.exe"));
    EXPECT_EQ(temp.Files(), (std::set<std::string>{"KuvanaNetInstaller.exe", "version.dll"}));
    // The list this system would take and its signature, then the installer.
    ASSERT_EQ(ServerRequests().size(), 3u);
    EXPECT_EQ(ServerRequests()[0].target, kListPath);
    EXPECT_EQ(ServerRequests()[1].target, std::string(kListPath) + ".p7");
    EXPECT_EQ(ServerRequests()[2].target, "/fake_installer.exe");
}

TEST_F(NetInstallerTest, ClosesTheHandlesOfTheStartedProcessAtOnce)
{
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
    NetInstallerLauncher(page.window, FakeUrl().c_str());  // warm-up: WinINet keeps some handles for good
    ASSERT_EQ(WaitForRuns(1).size(), 1u);
    for (int i = 0; i < 500 && !AllEnded(); ++i)
        Sleep(20);
    WaitUntilReleased();
    const int before = CountOpenHandles();
    for (int i = 0; i < 3; ++i) {
        NetInstallerLauncher(page.window, FakeUrl().c_str());
        ASSERT_EQ(WaitForRuns(size_t(i) + 2).size(), size_t(i) + 2);
        for (int n = 0; n < 500 && !AllEnded(); ++n)
            Sleep(20);
        WaitUntilReleased();
    }
    const int after = CountOpenHandles();
    EXPECT_LT(after, before + 3) << "before " << before << ", after " << after;
}

TEST_F(NetInstallerTest, NotFoundShowsMessage123AndStartsNothing)
{
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, ServerUrl("/missing/KuvanaNetInstaller.exe").c_str());
    const std::vector<ShownDialog> shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, LoadModuleString(IDS_DOWNLOAD_RETRY));
    EXPECT_FALSE(shown[0].text.empty());
    EXPECT_EQ(shown[0].type, UINT(MB_OK));
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].owner, page.window);
    Sleep(300);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    // The failed launch's folder went with its empty file.
    EXPECT_TRUE(NetFolders().empty());
    EXPECT_TRUE(temp.Files().empty());
}

TEST_F(NetInstallerTest, ProgramsTheMakerDidNotSignAreRefusedAsAFailedDownload)
{
    // Each is the file the release names, yet not signed by the maker.
    for (const char* other : {"/fake_unsigned.exe", "/fake_tampered.exe", "/fake_stranger.exe"}) {
        ASSERT_TRUE(ServerSetRelease(std::string("net=") + other));
        MessageBoxScript boxes;
        NetInstallerLauncher(page.window, ServerUrl(other).c_str());
        ASSERT_EQ(boxes.Count(), 1u) << other;
        EXPECT_EQ(boxes.Shown()[0].text, LoadModuleString(IDS_DOWNLOAD_RETRY));
        EXPECT_TRUE(NetFolders().empty()) << other;
    }
    EXPECT_EQ(FileRequests().size(), 3u);
    Sleep(300);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(NetInstallerTest, OnlyTheNetInstallerOfAnAcceptedReleaseStarts)
{
    // The maker signed each of these, but the release names another file (a
    // "Net Installer" setting naming another program is refused the same way).
    for (const char* other : {"/fake_kl.exe", "/_fault/extra=1/fake_installer.exe"}) {
        MessageBoxScript boxes;
        NetInstallerLauncher(page.window, ServerUrl(other).c_str());
        ASSERT_EQ(boxes.Count(), 1u) << other;
        EXPECT_TRUE(NetFolders().empty()) << other;
    }
    // A list that is not accepted: nothing more is fetched.
    for (const char* release : {"expires=-60", "language=ja", "serial=0", "key=maker"}) {
        ASSERT_TRUE(ServerReset());
        ASSERT_TRUE(ServerPutFile(kListPath, ""));
        ASSERT_TRUE(ServerSetRelease(std::string("net=/fake_installer.exe,serial=5")));
        if (std::string(release) == "serial=0") {
            NetInstallerLauncher(page.window, FakeUrl().c_str());  // the machine accepts serial 5
            ASSERT_EQ(WaitForRuns(1).size(), 1u);
            ASSERT_TRUE(ServerReset());
            ASSERT_TRUE(ServerPutFile(kListPath, ""));
            ASSERT_TRUE(ServerSetRelease("net=/fake_installer.exe"));
        }
        ASSERT_TRUE(ServerSetRelease(release));
        MessageBoxScript boxes;
        NetInstallerLauncher(page.window, FakeUrl().c_str());
        ASSERT_EQ(boxes.Count(), 1u) << release;
        EXPECT_EQ(boxes.Shown()[0].text, LoadModuleString(IDS_DOWNLOAD_RETRY));
        EXPECT_TRUE(FileRequests().empty()) << release;
    }
    Sleep(300);
    EXPECT_EQ(ReadFakeRuns(record).size(), 1u);
}

TEST_F(NetInstallerTest, AddressesTheJobRefusesFailAtOnce)
{
    const std::string refused[] = {"ftp://127.0.0.1/fake_installer.exe", "http://", "",
                                   ServerUrl("/") + std::string(511, 'a')};
    for (const std::string& url : refused) {
        MessageBoxScript boxes;
        NetInstallerLauncher(page.window, url.c_str());
        EXPECT_EQ(boxes.Count(), 1u) << url;
    }
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, nullptr);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(FileRequests().empty());
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    EXPECT_TRUE(NetFolders().empty());
}

TEST_F(NetInstallerTest, TemporaryFolderTooLongForThePathIsAFailure)
{
    // The temporary folder is a standard account's work root.
    StandardAccount standard;
    ASSERT_TRUE(standard.Active());
    // 237 characters of folder and 23 of name reach 260.
    std::string longFolder = temp.Base();
    while (longFolder.size() < 236)
        longFolder += "d";
    longFolder += "\\";
    ASSERT_EQ(longFolder.size(), 237u);
    SetEnvironmentVariableA("TMP", longFolder.c_str());
    SetEnvironmentVariableA("TEMP", longFolder.c_str());
    char seen[MAX_PATH] = {};
    ASSERT_EQ(GetTempPathA(MAX_PATH, seen), 237u) << seen;
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ServerRequests().empty());
    SetEnvironmentVariableA("TMP", temp.Folder().c_str());
    SetEnvironmentVariableA("TEMP", temp.Folder().c_str());
}

TEST_F(NetInstallerTest, NoTemporaryFolderMeansNoDownloadIntoTheDriveRoot)
{
    StandardAccount standard;
    ASSERT_TRUE(standard.Active());
    temp.MakeTempPathUnreadable();
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ServerRequests().empty());
    EXPECT_FALSE(FileExists("\\KuvanaNetInstaller.exe"));
    DeleteFileA("\\KuvanaNetInstaller.exe");
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

// Elevated, without the Windows folder's Temp there is no work folder: the
// launch fails as a download does, and nothing falls back to the user's own
// temporary folder.
TEST_F(NetInstallerTest, NoWindowsTempForAnElevatedLaunchIsARefusalNotTheUsersTemp)
{
    ASSERT_TRUE(RemoveDirectoryA(temp.WindowsTemp().c_str()));
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ServerRequests().empty());
    EXPECT_TRUE(temp.Files().empty());
    EXPECT_TRUE(temp.Folders().empty());
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(NetInstallerTest, EachLaunchHasItsOwnFolderWhichTheNextLaunchRemovesOnceReleased)
{
    // Wine shows every file as the account's own, with no label: ours only
    // to the account unelevated, whose folders lie in its temporary folder.
    StandardAccount standard;
    ASSERT_TRUE(standard.Active());
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    ASSERT_EQ(WaitForRuns(1).size(), 1u);
    const std::set<std::string> first = NetFolders();
    ASSERT_EQ(first.size(), 1u);
    // A folder of ours by name that a standard user could have made is not
    // ours by owner under Windows; under Wine every file has the one owner,
    // so only the name and the contents are tried here: a stranger's file
    // keeps its folder.
    const std::string lookalike = temp.Folder() + "KuvanaNet-" + std::string(16, 'a') + "\\";
    ASSERT_TRUE(CreateDirectoryA(lookalike.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(lookalike + "theirs.txt", "x"));

    // The first installer still runs from its folder: a second launch works
    // in a new one and leaves the first alone.
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(WaitForRuns(2).size(), 2u);
    EXPECT_EQ(NetFolders().size(), 3u);

    // Once both have ended, a launch removes their folders, but only once
    // they are a minute old.
    SetEvent(release);
    for (int i = 0; i < 500 && !AllEnded(); ++i)
        Sleep(20);
    WaitUntilReleased();
    NetInstallerLauncher(page.window, ServerUrl("/missing.exe").c_str());
    EXPECT_EQ(NetFolders().size(), 3u);
    RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName, 0);
    EXPECT_EQ(NetFolders(), (std::set<std::string>{"KuvanaNet-" + std::string(16, 'a')}));
    EXPECT_TRUE(FileExists(lookalike + "theirs.txt"));
}

TEST_F(NetInstallerTest, NoCleanUpRemovesTheFileOfALaunchBetweenItsDownloadAndItsStart)
{
    ASSERT_TRUE(ServerScript("/fake_installer.exe", "trickle=65536:100"));
    volatile bool launched = false;
    int sweeps = 0;
    std::thread other([&] {
        // Another launch's clean-up, over and over, with no age limit, from
        // the moment the file exists.
        auto downloading = [&] {
            for (const std::string& name : NetFolders())
                if (FileExists(temp.WorkRoot() + name + "\\net\\KuvanaNetInstaller.exe"))
                    return true;
            return false;
        };
        for (int i = 0; i < 2000 && !launched && !downloading(); ++i)
            Sleep(2);
        while (!launched) {
            RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName, 0);
            ++sweeps;
        }
    });
    MessageBoxScript boxes;
    NetInstallerLauncher(page.window, FakeUrl().c_str());
    launched = true;
    other.join();
    EXPECT_GT(sweeps, 0);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(WaitForRuns(1).size(), 1u);
}

// WinVerifyTrust takes a while on a large installer (and far longer when it
// fetches revocation data): the window the launcher runs under answers pings
// of 100 ms from the download's end until the installer has been started.
TEST_F(NetInstallerTest, TheCallersWindowAnswersWhileTheSignatureIsChecked)
{
    const std::string big = ReadWholeFile(KUVANA_BINARY_DIR "/bench/signed_64mib.exe");
    ASSERT_GT(big.size(), 60u << 20);
    ASSERT_TRUE(ServerPutFile("/big/KuvanaNetInstaller.exe", big));
    ASSERT_TRUE(ServerSetRelease("net=/big/KuvanaNetInstaller.exe"));
    volatile HWND window = nullptr;
    volatile bool returned = false;
    std::thread sheet([&] {
        OwnerWindow own;
        window = own.window;
        NetInstallerLauncher(own.window, ServerUrl("/big/KuvanaNetInstaller.exe").c_str());
        returned = true;
    });
    auto downloaded = [&] {
        for (const std::string& name : NetFolders()) {
            WIN32_FILE_ATTRIBUTE_DATA data = {};
            if (GetFileAttributesExA((temp.WorkRoot() + name + "\\net\\KuvanaNetInstaller.exe").c_str(),
                                     GetFileExInfoStandard, &data) &&
                data.nFileSizeLow == big.size())
                return true;
        }
        return false;
    };
    for (int i = 0; i < 12000 && !returned && !downloaded(); ++i)
        Sleep(5);
    int pings = 0, unanswered = 0;
    DWORD slowest = 0;
    while (!returned) {
        const DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        // A window the launcher's thread destroyed on its way out counts not.
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) && !returned)
            ++unanswered;
        slowest = std::max(slowest, GetTickCount() - start);
        ++pings;
        Sleep(20);
    }
    sheet.join();
    EXPECT_EQ(WaitForRuns(1).size(), 1u);
    EXPECT_GE(pings, 3) << "the check took no time";
    // A window left waiting misses every ping of the check; on a loaded
    // machine one that answers may still miss the odd one.
    EXPECT_LE(unanswered * 4, pings) << unanswered << " of " << pings << " pings unanswered, slowest " << slowest
                                     << " ms";
    std::printf("during the check: %d pings, slowest answer %lu ms\n", pings, slowest);
}

}  // namespace
