// Whole reader installations through the wizard host: the class installer
// loaded by the simulated framework, simulated readers, the maker's server
// name reached through the download-server simulator as proxy, the fake
// installer as every package. English and Japanese system (CTest entries).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "install/command_lines.h"
#include "install/settings.h"
#include "resources/resource_ids.h"
#include "sim/fake_installer/fake_record.h"
#include "support/readers_scenario.h"
#include "support/server_control.h"
#include "support/temp_folder_sandbox.h"
#include "support/wizard_host_run.h"

namespace {

const char kListFolder[] = "/Products/kuvana/pcrw/driver/netinstaller/";
const char* const kKeys[3] = {"KPS", "KL", "PCSC_B"};
const char* const kInstallers[3] = {"kps_setup.exe", "kl_setup.exe", "pcscb_setup.exe"};
const char* const kResponses[3] = {"kps_setup.iss", "kl_setup.iss", "pcscb_setup.iss"};
const DWORD kNeedReboot = 0x100;

bool JapaneseSystem()
{
    return GetSystemDefaultLangID() == 0x0411;
}

std::string PackagePath(const char* name)
{
    return std::string("/pkg/") + name;
}

// The module's text as the host reports it (UTF-8), in this process's UI language.
std::string Utf8Text(UINT id)
{
    WCHAR wide[1024] = {};
    LoadStringW(GetModuleHandleA("kuvana_coinst.dll"), id, wide, 1024);
    char text[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

std::string Utf8Step(UINT id, int k, int n)
{
    return Utf8Text(id) + " (" + std::to_string(k) + "/" + std::to_string(n) + ")";
}

// The steps a person takes through the wizard, accepting the license.
std::string AcceptingScript(const std::string& extra = "")
{
    return "dif 0x1e\n"
           "show wizard\n"
           "expect-page welcome\n"
           "press next\n"
           "expect-page 108\n"
           "check 1002\n" +
           extra +
           "press next\n"
           "expect-page finish\n"
           "press finish\n"
           "wait-closed\n"
           "dif 0x2a if-requested\n";
}

// Status texts in order: the progress page's text as the host first found it
// (on a busy machine the first step may already stand when the page is
// reported), then each change.
std::vector<std::string> Texts(const HostRun& run)
{
    std::vector<std::string> texts;
    std::string progressPage;
    for (const HostEvent& e : run.events) {
        if (e.kind == "page" && e["template"] == "111")
            progressPage = e["n"];
        else if (e.kind == "control" && !progressPage.empty() && e["page"] == progressPage && e["id"] == "-1" &&
                 !e["text"].empty())
            texts.push_back(e["text"]);
        else if (e.kind == "text")
            texts.push_back(e["text"]);
    }
    return texts;
}

std::vector<std::string> Programs(const std::vector<FakeRun>& runs)
{
    std::vector<std::string> names;
    for (const FakeRun& run : runs)
        names.push_back(run.program.substr(run.program.find_last_of('\\') + 1));
    return names;
}

class WizardInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable()) << "run under sim/server/with-server";
        ASSERT_NE(LoadLibraryA("kuvana_coinst.dll"), nullptr);
        ASSERT_TRUE(ServerReset());
        ASSERT_FALSE(ServerRootDir().empty()) << "the installers are served from the server's folder";
        std::string list;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(ServerPutFile(PackagePath(kResponses[i]), std::string("; ") + kResponses[i] + "\r\n"));
            ASSERT_TRUE(FileExists(ServerRootDir() + "\\pkg\\" + kInstallers[i])) << kInstallers[i];
            list += std::string(kKeys[i]) + "_ISS,http://download.zorvik.co.jp" + PackagePath(kResponses[i]) + "\n";
            list += std::string(kKeys[i]) + "_EXE,http://download.zorvik.co.jp" + PackagePath(kInstallers[i]) + "\n";
        }
        for (const char* language : {"en", "ja"})
            ASSERT_TRUE(ServerPutFile(std::string(kListFolder) + language + "/url_list.txt", list));
        // No configured list address: the class installer's own default is used.
        urlList.Remove();
        displayVersion.Remove();
        SetEnvironmentVariableA("http_proxy", ServerUrl().c_str());
        record = temp.Base() + "runs.txt";
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
        workFolders = FoldersIn(SystemWindowsTemp());
    }

    // The wizard host is elevated, as Wine runs every process: its work
    // folders lie in the Windows folder's Temp. None is left there.
    void ExpectNoWorkFolderLeft() const
    {
        EXPECT_TRUE(temp.Folders().empty());
        EXPECT_EQ(FoldersIn(SystemWindowsTemp()), workFolders) << "the working folder goes at the end";
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("http_proxy", nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_SLEEP_MS", nullptr);
        readers::RemoveAll();
    }

    void Readers(const std::vector<std::string>& names)
    {
        std::string error;
        ASSERT_TRUE(readers::InstallNamedReaders(names, &error)) << error;
    }

    HostRun Run(const std::string& script, const char* program = "wizard_host.exe", const std::string& device = "")
    {
        HostOptions options;
        options.program = program;
        options.device = device;
        options.shots = ScreenshotFolder();
        HostRun run = RunWizardHost("full-text on\n" + script, options);
        EXPECT_EQ(run.exitCode, 0) << run.report;
        return run;
    }

    std::vector<std::string> Requests() const
    {
        std::vector<std::string> paths;
        for (const ServerRequest& request : ServerRequests()) {
            std::string target = request.target;
            if (target.compare(0, 7, "http://") == 0)
                target = target.substr(target.find('/', 7));
            paths.push_back(target);
        }
        return paths;
    }

    TempFolderSandbox temp;
    std::string record;
    std::set<std::string> workFolders;
    RegistryValue urlList{kNetInstallerKey, "URL List"};
    RegistryValue displayVersion{kUninstallKey, "DisplayVersion"};
};

TEST_F(WizardInstallTest, OneReaderInstallsThePackagesOfTheSystemLanguage)
{
    Readers({"ZRW-410/P"});
    SetEnvironmentVariableA("KUVANA_FAKE_SLEEP_MS", "300");
    for (const char* installer : kInstallers)
        ASSERT_TRUE(ServerScript(PackagePath(installer), "trickle=131072:80"));
    const HostRun run = Run(AcceptingScript());

    EXPECT_EQ(run.PageTemplates(), (std::vector<std::string>{"201", "108", "111", "202"})) << run.report;
    const std::vector<std::string> texts = Texts(run);
    const int n = JapaneseSystem() ? 3 : 1;
    // A reader with a "410/P" model name selects all three packages on a
    // Japanese system; elsewhere only KPS is selected.
    std::vector<std::string> expected;
    for (int k = 1; k <= n; ++k)
        expected.push_back(Utf8Step(IDS_DOWNLOADING, k, n));
    for (int k = 1; k <= n; ++k)
        expected.push_back(Utf8Step(IDS_INSTALLING, k, n));
    // The host samples the page every 20 ms: a text replaced at once (113) or
    // shown as the wizard moves on (106) may be missed, but the order holds
    // and the steps, held up by slow downloads and installers, are all seen.
    std::vector<std::string> all = expected;
    all.push_back(Utf8Text(IDS_FINISHING));
    all.push_back(Utf8Text(IDS_INSTALL_COMPLETE));
    size_t next = 0;
    std::set<std::string> seen;
    for (const std::string& text : texts) {
        if (!seen.insert(text).second)
            continue;  // a page activation makes the host report its texts again
        while (next < all.size() && all[next] != text)
            ++next;
        EXPECT_LT(next, all.size()) << "out of order or unexpected: " << text << "\n" << run.report;
    }
    for (const std::string& step : expected)
        EXPECT_NE(std::find(texts.begin(), texts.end(), step), texts.end()) << step << "\n" << run.report;

    const std::string list = std::string(kListFolder) + (JapaneseSystem() ? "ja" : "en") + "/url_list.txt";
    std::vector<std::string> requests = {list, list + ".p7"};
    std::vector<std::string> programs;
    for (int i = 0; i < n; ++i) {
        requests.push_back(PackagePath(kResponses[i]));
        requests.push_back(PackagePath(kInstallers[i]));
        programs.push_back(kInstallers[i]);
    }
    EXPECT_EQ(Requests(), requests);
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    EXPECT_EQ(Programs(runs), programs);
    if (!runs.empty()) {
        // Started from the sequence's own working folder below the temporary folder.
        const std::string folder = runs[0].program.substr(0, runs[0].program.find_last_of('\\') + 1);
        const std::string work = folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
        const std::string root = SystemWindowsTemp();
        EXPECT_EQ(_strnicmp(work.c_str(), (root + "KuvanaSetup-").c_str(), root.size() + 12), 0) << work;
        EXPECT_EQ(runs[0].commandLine,
                  InstallCommandLine(folder + kInstallers[0], work + "response\\" + kResponses[0]));
    }
    EXPECT_TRUE(temp.Files().empty());
    ExpectNoWorkFolderLeft();
    EXPECT_TRUE(run.All("messagebox").empty()) << run.report;
    EXPECT_TRUE(run.All("reboot-prompt").empty()) << "no restart prompt from Windows 6.0 on";

    // The finish-install action the class installer asked for marks the restart.
    const HostEvent action = run.First("dif", {{"code", "0x2a"}});
    ASSERT_EQ(action.kind, "dif") << run.report;
    EXPECT_FALSE(action.Has("skipped"));
    EXPECT_TRUE(std::stoul(action["flags"], nullptr, 16) & kNeedReboot);
}

// The reader's driver comes from an INF that registers the class installer as
// the device's co-installer; Wine's own framework installs it, and the host
// then sends the wizard's codes through SetupDiCallClassInstaller.
TEST_F(WizardInstallTest, ReaderInstalledFromTheInfGetsThePagesThroughTheFramework)
{
    Readers({"ZRW-410/P"});
    const HostRun install = ParseReport(readers::LastInstallReport());
    EXPECT_EQ(install.First("update-driver")["result"], "1") << install.report;
    // Registered by DIF_REGISTER_COINSTALLERS, the co-installer is called for the codes after it.
    EXPECT_LT(install.IndexOf("framework", {{"name", "DIF_REGISTER_COINSTALLERS"}, {"result", "1"}}),
              install.IndexOf("framework", {{"name", "DIF_INSTALLDEVICE"}, {"result", "1"}}))
        << install.report;
    EXPECT_GE(install.IndexOf("framework", {{"name", "DIF_REGISTER_COINSTALLERS"}}), 0) << install.report;
    EXPECT_FALSE(readers::DevicePath(0).empty()) << "the driver runs and its interface is there";

    const HostRun run = Run(AcceptingScript(), "wizard_host.exe", "ROOT\\ZRVSIM\\0000");
    EXPECT_EQ(run.First("registration")["coinstallers32"], "kuvana_coinst.dll,ClassInstaller") << run.report;
    const std::string dll = run.First("host")["dll"];
    EXPECT_NE(dll.find("\\system32\\kuvana_coinst.dll"), std::string::npos) << "copied by the INF: " << dll;
    const HostEvent finish = run.First("dif", {{"code", "0x1e"}, {"via", "framework"}});
    ASSERT_EQ(finish.kind, "dif") << run.report;
    EXPECT_EQ(finish["pages"], "2");
    EXPECT_EQ(run.PageTemplates(), (std::vector<std::string>{"201", "108", "111", "202"})) << run.report;
    // On a Japanese system the probe found the reader's "410/P" model name.
    EXPECT_EQ(ReadFakeRuns(record).size(), JapaneseSystem() ? 3u : 1u) << run.report;
    const HostEvent action = run.First("dif", {{"code", "0x2a"}, {"via", "framework"}});
    ASSERT_EQ(action.kind, "dif") << run.report;
    EXPECT_TRUE(std::stoul(action["flags"], nullptr, 16) & kNeedReboot);
}

// Registered as the class's installer, its NO_ERROR for every code tells the
// framework that the class installer did the work: every step reports
// success, and no driver is installed.
TEST_F(WizardInstallTest, RegisteredAsClassInstallerTheDriverIsNeverInstalled)
{
    ASSERT_TRUE(readers::RemoveAll());  // a class installer would swallow the removal too
    {
        RegistryValue installer32(
            "SYSTEM\\CurrentControlSet\\Control\\Class\\{6B1C1D20-4D3B-4BD1-9A51-6F2E11527301}", "Installer32");
        ASSERT_TRUE(installer32.Set("kuvana_coinst.dll,ClassInstaller"));
        std::string error;
        EXPECT_FALSE(readers::InstallNamedReaders({"ZRW-380"}, &error));
        const HostRun install = ParseReport(readers::LastInstallReport());
        EXPECT_EQ(install.First("update-driver")["result"], "1") << "reported as success";
        EXPECT_EQ(install.First("framework", {{"name", "DIF_INSTALLDEVICE"}})["result"], "1") << install.report;
        EXPECT_NE(error.find("no driver key"), std::string::npos) << error;
        EXPECT_TRUE(readers::DevicePath(0).empty());
    }
    std::string error;
    EXPECT_TRUE(readers::RemoveAll(&error)) << error;
}

TEST_F(WizardInstallTest, SeveralReadersAddTheirPackagesOnce)
{
    Readers({"ZRW-380", "ZRW-460", "ZRW-470"});
    const HostRun run = Run(AcceptingScript());
    std::vector<std::string> programs = {kInstallers[0]};
    if (JapaneseSystem()) {
        programs.push_back(kInstallers[1]);
        programs.push_back(kInstallers[2]);
    }
    EXPECT_EQ(Programs(ReadFakeRuns(record)), programs) << run.report;
    EXPECT_TRUE(temp.Files().empty());
    ExpectNoWorkFolderLeft();
}

TEST_F(WizardInstallTest, OlderSystemsGetOneRestartPromptAfterTheInstallations)
{
    Readers({"ZRW-380"});
    const HostRun run = Run(AcceptingScript(), "wizard_host_xp.exe");
    ASSERT_EQ(run.First("host")["windows"].substr(0, 2), "5.") << run.report;
    const std::vector<HostEvent> prompts = run.All("reboot-prompt");
    ASSERT_EQ(prompts.size(), 1u) << run.report;
    EXPECT_EQ(prompts[0]["owner"].compare(0, 5, "page:"), 0) << "owned by the progress page";
    EXPECT_GT(run.IndexOf("reboot-prompt"), run.IndexOf("text", {{"text", Utf8Step(IDS_INSTALLING, 1, 1)}}));
    EXPECT_EQ(ReadFakeRuns(record).size(), 1u);
    // Before 6.0 no finish-install action is requested.
    EXPECT_TRUE(run.First("dif", {{"code", "0x2a"}}).Has("skipped")) << run.report;
}

TEST_F(WizardInstallTest, DeclinedLicenseEndsTheWizardWithoutAnyDownload)
{
    Readers({"ZRW-380"});
    const HostRun run = Run(
        "dif 0x1e\nshow wizard\nexpect-page welcome\npress next\nexpect-page 108\n"
        "answer yes\npress next\nexpect-page finish\npress finish\nwait-closed\n");
    EXPECT_EQ(run.PageTemplates(), (std::vector<std::string>{"201", "108", "202"})) << run.report;
    ASSERT_EQ(run.All("messagebox").size(), 1u);
    EXPECT_EQ(run.All("messagebox")[0]["text"], Utf8Text(IDS_LEAVE_WITHOUT_INSTALL));
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

TEST_F(WizardInstallTest, CancelledDownloadHandsTheWizardOnWithNothingInstalled)
{
    Readers({"ZRW-380"});
    ASSERT_TRUE(ServerScript(PackagePath(kInstallers[0]), "status=503"));
    const HostRun run = Run(AcceptingScript("answer cancel\n"));
    const std::vector<HostEvent> boxes = run.All("messagebox");
    ASSERT_EQ(boxes.size(), 1u) << run.report;
    EXPECT_EQ(boxes[0]["text"], Utf8Text(IDS_DOWNLOAD_RETRY_CANCEL));
    // Reached the finish page through the page's own press of Next.
    EXPECT_EQ(run.PageTemplates().back(), "202") << run.report;
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    // Files already downloaded go with the working folder.
    EXPECT_TRUE(temp.Files().empty());
    ExpectNoWorkFolderLeft();
}

TEST_F(WizardInstallTest, WizardClosedDuringTheSequenceStartsNothingMoreAndDoesNotCrash)
{
    Readers({"ZRW-410/P"});
    // The installer download crawls, so the person closes the wizard during it.
    ASSERT_TRUE(ServerScript(PackagePath(kInstallers[0]), "trickle=65536:200"));
    const HostRun run = Run(
        "dif 0x1e\nshow wizard\nexpect-page welcome\npress next\nexpect-page 108\ncheck 1002\npress next\n"
        "expect-page 111\nwait-text -1 \"(1/\"\nsleep 300\npress cancel\nwait-closed\nsleep 4000\n");
    EXPECT_EQ(run.First("end")["status"], "ok") << run.report;
    EXPECT_TRUE(ReadFakeRuns(record).empty()) << "no installer after the wizard was closed";
    const std::vector<std::string> requests = Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(), PackagePath(kInstallers[0])) << "no download after the wizard was closed";
}

}  // namespace
