// The software status page in a real property sheet (the wizard host over the
// real DLL), with the download-server simulator in place of the maker's server
// and the fake installer in place of the net installer.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/fake_installer/fake_record.h"
#include "support/server_control.h"
#include "support/stored_serial.h"
#include "support/test_windows.h"
#include "support/wizard_host_run.h"

namespace {

const char kDefaultPath[] = "/Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe";

// The module's string as an ANSI page shows it.
std::string ModuleString(unsigned id)
{
    static HMODULE dll = LoadLibraryA("kuvana_coinst.dll");
    char text[1024] = {};
    LoadStringA(dll, id, text, sizeof text);
    WCHAR wide[1024] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
    return Utf8(wide);
}

// Requests reach the simulator as a proxy: the target is the whole address.
std::string HostOf(const std::string& target)
{
    size_t start = target.find("://");
    if (start == std::string::npos)
        return std::string();
    start += 3;
    std::string host = target.substr(start, target.find('/', start) - start);
    return host.substr(0, host.find(':'));
}

std::string PathOf(const std::string& target)
{
    size_t start = target.find("://");
    return start == std::string::npos ? target : target.substr(target.find('/', start + 3));
}

// The requests that did not fetch a release list or its signature.
std::vector<ServerRequest> FileRequests()
{
    std::vector<ServerRequest> files;
    for (const ServerRequest& request : ServerRequests())
        if (request.target.find("/url_list.txt") == std::string::npos)
            files.push_back(request);
    return files;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], DWORD(text.size()));
    return text;
}

std::string Script(const std::string& actions, const std::string& shot = std::string())
{
    return "dif 0x23\n"
           "show properties\n"
           "expect-page general\n"
           "tab 2\n"
           "expect-page 117\n" +
           (shot.empty() ? std::string() : "capture " + shot + "\n") + actions +
           "press ok\n"
           "wait-closed\n";
}

class StatusPageRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable());
        ASSERT_TRUE(ServerReset());
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        record = std::string(temp) + "status_page_net_installer.txt";
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
        // The maker's server is the simulator, reached as an HTTP proxy.
        SetEnvironmentVariableA("http_proxy", ServerUrl().c_str());
        installer = FileBytes(WindowsPath(KUVANA_BINARY_DIR "/bin/fake_installer.exe"));
        ASSERT_FALSE(installer.empty());
        ASSERT_TRUE(displayVersion.Remove());
        ASSERT_TRUE(setting.Remove());
        // The release list from the default address, whatever an earlier run left set.
        ASSERT_TRUE(urlList.Remove());
        // The maker's release for either language binds the net installer at
        // its default address.
        for (const char* language : {"en", "ja"})
            ASSERT_TRUE(ServerPutFile(std::string("/Products/kuvana/pcrw/driver/netinstaller/") + language +
                                          "/url_list.txt",
                                      ""));
        ASSERT_TRUE(ServerSetRelease(std::string("net=") + kDefaultPath));
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
        SetEnvironmentVariableA("http_proxy", nullptr);
    }

    HostRun Run(const std::string& script, bool standard = false)
    {
        HostOptions options;
        options.shots = ScreenshotFolder();
        options.standard = standard;
        HostRun run = RunWizardHost(script, options);
        EXPECT_EQ(run.exitCode, 0) << run.report;
        return run;
    }

    // The fake net installer's runs, once it has had time to start.
    std::vector<FakeRun> InstallerRuns(size_t expected)
    {
        std::vector<FakeRun> runs;
        for (int i = 0; i < 100; ++i) {
            runs = ReadFakeRuns(record);
            if (runs.size() >= expected && (runs.empty() || runs.back().ended))
                break;
            Sleep(50);
        }
        return runs;
    }

    StoredSerialGuard storedSerial;
    std::string record;
    std::string installer;
    RegistryValue displayVersion{kUninstallKey, "DisplayVersion"};
    RegistryValue setting{kNetInstallerKey, "Net Installer"};
    RegistryValue urlList{kNetInstallerKey, "URL List"};
};

TEST_F(StatusPageRun, InstalledSoftwareShowsItsSentenceAndNoLinkThatCouldStartAnything)
{
    ASSERT_TRUE(displayVersion.Set(""));  // an empty version still counts as installed
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    HostRun run = Run(Script("link 1009\nenter 1009\nsleep 500\n", "status-page-installed.png"));
    EXPECT_EQ(run.First("control", {{"id", "65535"}})["text"], ModuleString(103)) << run.report;
    EXPECT_EQ(run.First("control", {{"id", "1009"}})["text"], " ");
    EXPECT_EQ(run.First("link")["has-link"], "0");
    EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
    EXPECT_TRUE(ServerRequests().empty());
    EXPECT_TRUE(InstallerRuns(0).empty());
    EXPECT_EQ(run.First("page", {{"template", "117"}})["caption"], "Kuvana Port Software");
    EXPECT_EQ(run.First("capture")["ok"], "1");
}

TEST_F(StatusPageRun, ClickOnTheLinkFetchesTheConfiguredNetInstallerAndStartsIt)
{
    // A mirror of the file the release names.
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    ASSERT_TRUE(ServerPutFile("/net/KuvanaNetInstaller.exe", installer));
    ASSERT_TRUE(setting.Set(ServerUrl("/net/KuvanaNetInstaller.exe")));
    HostRun run = Run(Script("link 1009\nsleep 300\n", "status-page-not-installed.png"));
    EXPECT_EQ(run.First("control", {{"id", "65535"}})["text"], ModuleString(111)) << run.report;
    EXPECT_EQ(run.First("link")["has-link"], "1");
    EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
    std::vector<ServerRequest> requests = FileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(PathOf(requests[0].target), "/net/KuvanaNetInstaller.exe");
    std::vector<FakeRun> runs = InstallerRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].program.find("\\KuvanaNetInstaller.exe"), std::string::npos) << runs[0].program;
    // The texts stay as they were: the page is not refreshed after the start.
    EXPECT_EQ(run.All("text").size(), 0u) << run.report;
}

TEST_F(StatusPageRun, EnterOnTheLinkActsLikeAClickWithTheDefaultAddress)
{
    ASSERT_TRUE(setting.Set(""));  // empty counts as missing
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    HostRun run = Run(Script("enter 1009\nsleep 300\n"));
    EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
    std::vector<ServerRequest> requests = FileRequests();
    ASSERT_EQ(requests.size(), 1u) << run.report;
    EXPECT_EQ(HostOf(requests[0].target), "download.zorvik.co.jp") << requests[0].target;
    EXPECT_EQ(PathOf(requests[0].target), kDefaultPath);
    EXPECT_EQ(InstallerRuns(1).size(), 1u);
}

TEST_F(StatusPageRun, AnAddressTheDownloadRefusesEndsInTheFailureMessage)
{
    ASSERT_TRUE(setting.Set("https://127.0.0.1:1/KuvanaNetInstaller.exe"));
    HostRun run = Run(Script("answer ok\nlink 1009\nsleep 300\n"));
    std::vector<HostEvent> boxes = run.All("messagebox");
    ASSERT_EQ(boxes.size(), 1u) << run.report;
    EXPECT_EQ(boxes[0]["text"], ModuleString(123));
    EXPECT_EQ(boxes[0]["buttons"], "ok");
    EXPECT_TRUE(InstallerRuns(0).empty());
    // The page stays as it was and the link can be used again.
    EXPECT_EQ(run.First("control", {{"id", "65535"}})["text"], ModuleString(111));
}

TEST_F(StatusPageRun, ANetInstallerSettingNamingAnotherFileEndsInTheFailureMessage)
{
    // Signed by the maker, but not the file the release names.
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    ASSERT_TRUE(ServerPutFile("/net/other.exe", FileBytes(WindowsPath(KUVANA_BINARY_DIR "/bin/fake_kl.exe"))));
    ASSERT_TRUE(setting.Set(ServerUrl("/net/other.exe")));
    HostRun run = Run(Script("answer ok\nlink 1009\nsleep 300\n"));
    ASSERT_EQ(run.All("messagebox").size(), 1u) << run.report;
    EXPECT_EQ(run.All("messagebox")[0]["text"], ModuleString(123));
    EXPECT_TRUE(InstallerRuns(0).empty());
}

TEST_F(StatusPageRun, AServerThatAnswers404EndsInTheFailureMessageAndTheLinkWorksAgain)
{
    ASSERT_TRUE(setting.Set(ServerUrl("/net/missing.exe")));
    HostRun run = Run(Script("answer ok\nlink 1009\nsleep 300\nanswer ok\nlink 1009\nsleep 300\n"));
    ASSERT_EQ(run.All("messagebox").size(), 2u) << run.report;
    EXPECT_EQ(run.All("messagebox")[0]["text"], ModuleString(123));
    EXPECT_EQ(run.All("link")[1]["enabled"], "1") << run.report;
    EXPECT_EQ(FileRequests().size(), 2u);
    EXPECT_TRUE(InstallerRuns(0).empty());
}

// The download runs on the sheet's thread: the sheet still answers, and a
// second click meanwhile (the link is disabled) starts nothing.
TEST_F(StatusPageRun, TheSheetAnswersDuringTheDownloadAndASecondClickStartsNothing)
{
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    ASSERT_TRUE(ServerPutFile("/net/KuvanaNetInstaller.exe", installer));
    ASSERT_TRUE(ServerScript("/net/KuvanaNetInstaller.exe", "trickle=24000:100"));  // about 3 s
    ASSERT_TRUE(setting.Set(ServerUrl("/net/KuvanaNetInstaller.exe")));
    HostRun run = Run(Script("link 1009\nsleep 300\nping 1000\nlink 1009\nsleep 200\nping 1000\n"));
    std::vector<HostEvent> pings = run.All("ping");
    ASSERT_EQ(pings.size(), 2u) << run.report;
    for (HostEvent& ping : pings)
        EXPECT_EQ(ping["answered"], "1") << run.report;
    std::vector<HostEvent> links = run.All("link");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1]["enabled"], "0") << run.report;
    EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
    EXPECT_EQ(FileRequests().size(), 1u);
    EXPECT_EQ(InstallerRuns(1).size(), 1u);
}

// A sheet opened unelevated (a standard account, or an administrator's start
// that was not elevated) works as an elevated one does, from the account's
// own temporary folder: the Windows folder's Temp is an elevated account's.
TEST_F(StatusPageRun, EitherTokensSheetStartsTheNetInstallerFromItsOwnRoot)
{
    ASSERT_TRUE(ServerPutFile(kDefaultPath, installer));
    char temp[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    for (const bool standard : {false, true}) {
        SCOPED_TRACE(standard ? "standard" : "elevated");
        DeleteFileA(record.c_str());
        HostRun run = Run(Script("link 1009\nsleep 300\n"), standard);
        EXPECT_EQ(run.First("control", {{"id", "65535"}})["text"], ModuleString(111)) << run.report;
        EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
        std::vector<FakeRun> runs = InstallerRuns(1);
        ASSERT_EQ(runs.size(), 1u) << run.report;
        const std::string root = standard ? std::string(temp) : std::string(windows) + "\\Temp\\";
        EXPECT_EQ(Lower(runs[0].program.substr(0, root.size())), Lower(root)) << runs[0].program;
    }
}

// The page object is shared by every sheet of the process: a second sheet
// must work on its own window, not on the first one's (long destroyed).
TEST_F(StatusPageRun, ASecondPropertySheetInTheSameProcessUsesItsOwnPage)
{
    ASSERT_TRUE(setting.Set("https://127.0.0.1:1/KuvanaNetInstaller.exe"));
    HostRun run = Run(Script("") + Script("answer ok\nlink 1009\nsleep 300\n"));
    ASSERT_EQ(run.All("sheet").size(), 2u) << run.report;
    std::vector<HostEvent> boxes = run.All("messagebox");
    ASSERT_EQ(boxes.size(), 1u) << run.report;
    EXPECT_EQ(boxes[0]["owner"], "sheet");
    EXPECT_EQ(boxes[0]["text"], ModuleString(123));
    EXPECT_EQ(run.All("page").size(), 4u) << "General and status page, twice";
}

}  // namespace
