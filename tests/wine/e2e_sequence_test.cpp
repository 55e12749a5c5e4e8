// The whole install sequence of the progress page, in a real wizard, against
// the download-server simulator, with the fake installer as every package.
// Runs once on an English and once on a Japanese system (CTest entries).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "install/command_lines.h"
#include "install/settings.h"
#include "pages/install_progress_page.h"
#include "probe/decision.h"
#include "resources/resource_ids.h"
#include "sim/fake_installer/fake_record.h"
#include "support/import_patch.h"
#include "support/machine_settings.h"
#include "support/message_boxes.h"
#include "support/stored_serial.h"
#include "support/server_control.h"
#include "support/temp_folder_sandbox.h"
#include "wine/e2e_harness.h"

namespace {

constexpr DWORD kRunLimit = 60000;

bool JapaneseSystem()
{
    return GetSystemDefaultLangID() == 0x0411;
}

struct Package {
    const char* folder;
    const char* responseName;
    const char* installerName;
};
const Package kKps = {"/kps/", "kps.iss", "KpsSetup.exe"};
const Package kKl = {"/kl/", "kl.iss", "KlSetup.exe"};
const Package kPcscB = {"/pcscb/", "pcscb.iss", "PcscBSetup.exe"};

std::string ResponsePath(const Package& p)
{
    return std::string(p.folder) + p.responseName;
}
std::string InstallerPath(const Package& p)
{
    return std::string(p.folder) + p.installerName;
}

const char kListPath[] = "/list/url_list.txt";

void SetBasicSoftwareVersion(const std::string* version)
{
    SetMachineText(kBasicSoftwareKey, kBasicSoftwareVersionValue, version);
}

// Request paths; a request that came as a proxy's absolute address counts by its path.
std::string PathOf(const std::string& target)
{
    if (target.compare(0, 7, "http://") != 0)
        return target;
    const std::string::size_type slash = target.find('/', 7);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

std::vector<std::string> Targets()
{
    std::vector<std::string> targets;
    for (const ServerRequest& request : ServerRequests())
        targets.push_back(PathOf(request.target));
    return targets;
}

std::vector<std::string> Programs(const std::vector<FakeRun>& runs)
{
    std::vector<std::string> names;
    for (const FakeRun& run : runs)
        names.push_back(run.program.substr(run.program.find_last_of('\\') + 1));
    return names;
}

int CountKind(const std::vector<WizardEvent>& events, WizardEvent::Kind kind)
{
    int count = 0;
    for (const WizardEvent& event : events)
        count += event.kind == kind ? 1 : 0;
    return count;
}

// The hand-over at every end: Next enabled, then pressed while enabled, and the
// wizard arrives on the next page.
void ExpectHandedOn(const std::vector<WizardEvent>& events)
{
    ASSERT_GE(events.size(), 3u);
    ASSERT_EQ(events.front().kind, WizardEvent::Buttons);
    EXPECT_EQ(events.front().value, 0) << "no wizard button enabled at the start";
    int presses = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != WizardEvent::Press)
            continue;
        ++presses;
        EXPECT_EQ(events[i].value, PSBTN_NEXT);
        EXPECT_TRUE(events[i].nextEnabled) << "Next pressed while disabled";
        ASSERT_GT(i, 0u);
        EXPECT_EQ(events[i - 1].kind, WizardEvent::Buttons);
        EXPECT_EQ(events[i - 1].value, PSWIZB_NEXT);
    }
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(events.back().kind, WizardEvent::Arrived);
}

class InstallSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable()) << "run under sim/server/with-server";
        ASSERT_TRUE(UseModuleResources());
        ASSERT_TRUE(ServerReset());
        fake = ReadWholeFile(ProgramFolder() + "fake_installer.exe");
        ASSERT_FALSE(fake.empty());
        // The installers are served from the server's folder (copies of the fake).
        ASSERT_FALSE(ServerRootDir().empty());
        for (const Package* p : {&kKps, &kKl, &kPcscB}) {
            ASSERT_TRUE(ServerPutFile(ResponsePath(*p), std::string("[") + p->responseName + "]\r\n"));
            ASSERT_TRUE(FileExists(ServerRootDir() + "\\" + (p->folder + 1) + p->installerName)) << p->installerName;
        }
        PutList(kListPath);
        listUrl = ServerUrl(kListPath);
        SetUrlListSetting(&listUrl);
        SetBasicSoftwareVersion(nullptr);
        record = temp.Base() + "runs.txt";
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
        SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
    }

    void TearDown() override
    {
        SetUrlListSetting(nullptr);
        SetBasicSoftwareVersion(nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
        SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
        needKpsPackage = 1;
        needKlPackage = 0;
        needPcscBPackage = 0;
    }

    // The list names the six files, keys in an order of their own.
    void PutList(const std::string& path)
    {
        std::string list;
        list += "PCSC_B_EXE," + ServerUrl(InstallerPath(kPcscB)) + "\r\n";
        list += "KPS_ISS," + ServerUrl(ResponsePath(kKps)) + "\r\n";
        list += "KL_EXE," + ServerUrl(InstallerPath(kKl)) + "\r\n";
        list += "KPS_EXE," + ServerUrl(InstallerPath(kKps)) + "\r\n";
        list += "PCSC_B_ISS," + ServerUrl(ResponsePath(kPcscB)) + "\r\n";
        list += "KL_ISS," + ServerUrl(ResponsePath(kKl)) + "\r\n";
        ASSERT_TRUE(ServerPutFile(path, list));
    }

    static void Select(int kps, int kl, int pcscB)
    {
        needKpsPackage = kps;
        needKlPackage = kl;
        needPcscBPackage = pcscB;
    }

    // The command line as it names the working folder `run` was started from,
    // which must be a private one below the temporary folder.
    std::string CommandLine(const Package& p, const FakeRun& run) const
    {
        // <temp>KuvanaSetup-<hex>\<package>\<installer>, alone there, with
        // its response file in the working folder's "response" subfolder.
        const std::string folder = run.program.substr(0, run.program.find_last_of('\\') + 1);
        const std::string work = folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
        const std::string root = temp.WorkRoot();
        EXPECT_EQ(work.compare(0, root.size() + 12, root + "KuvanaSetup-"), 0) << work;
        EXPECT_EQ(work.size(), root.size() + 12 + 16 + 1) << work;
        EXPECT_EQ(run.folder, p.installerName);
        EXPECT_EQ(_stricmp((run.directory + "\\").c_str(), folder.c_str()), 0) << run.directory;
        EXPECT_EQ(_stricmp(run.tmp.c_str(), (folder.substr(0, folder.size() - 1) + "-temp").c_str()), 0) << run.tmp;
        EXPECT_EQ(run.temp, run.tmp);
        return InstallCommandLine(folder + p.installerName, work + "response\\" + p.responseName);
    }

    // Every end removes the working folder with everything in it.
    void ExpectNothingLeft() const
    {
        EXPECT_TRUE(temp.Files().empty());
        EXPECT_TRUE(temp.Folders().empty());
        EXPECT_TRUE(FoldersIn(temp.WorkRoot()).empty());
    }

    static std::vector<std::string> Requests(const std::vector<const Package*>& packages)
    {
        // The list's signature follows it; the list binds everything else.
        std::vector<std::string> targets = {kListPath, std::string(kListPath) + ".p7"};
        for (const Package* p : packages) {
            targets.push_back(ResponsePath(*p));
            targets.push_back(InstallerPath(*p));
        }
        return targets;
    }

    // Texts of a normal end with the given package count and handled steps.
    static std::vector<std::string> NormalTexts(int handled, int n)
    {
        std::vector<std::string> texts;
        for (int k = 1; k <= handled; ++k)
            texts.push_back(StepText(IDS_DOWNLOADING, k, n));
        for (int k = 1; k <= handled; ++k)
            texts.push_back(StepText(IDS_INSTALLING, k, n));
        texts.push_back(ModuleText(IDS_FINISHING));
        texts.push_back(ModuleText(IDS_INSTALL_COMPLETE));
        return texts;
    }

    StoredSerialGuard storedSerial;
    TempFolderSandbox temp;
    std::string fake;
    std::string listUrl;
    std::string record;
};

TEST_F(InstallSequenceTest, OnlyKpsCountsOneOfOneAndLeavesNothing)
{
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    Select(1, 0, 0);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    EXPECT_EQ(wizard.Texts(), NormalTexts(1, 1));
    EXPECT_EQ(Targets(), Requests({&kKps}));
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, CommandLine(kKps, runs[0]));
    EXPECT_EQ(runs[0].response, "[kps.iss]\r\n");
    ExpectNothingLeft();
    EXPECT_EQ(boxes.Count(), 0u);
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, AllThreePackagesInTheirOrderOnJapaneseSystemsOnly)
{
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    Select(1, 1, 1);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    const std::vector<FakeRun> runs = ReadFakeRuns(record);

    if (JapaneseSystem()) {
        EXPECT_EQ(wizard.Texts(), NormalTexts(3, 3));
        EXPECT_EQ(Targets(), Requests({&kKps, &kKl, &kPcscB}));
        EXPECT_EQ(Programs(runs), (std::vector<std::string>{"KpsSetup.exe", "KlSetup.exe", "PcscBSetup.exe"}));
        if (runs.size() == 3) {
            EXPECT_EQ(runs[1].commandLine, CommandLine(kKl, runs[1]));
            EXPECT_EQ(runs[2].commandLine, CommandLine(kPcscB, runs[2]));
        }
    } else {
        // N counts every selected package, but only KPS is handled here.
        EXPECT_EQ(wizard.Texts(), NormalTexts(1, 3));
        EXPECT_EQ(Targets(), Requests({&kKps}));
        EXPECT_EQ(Programs(runs), std::vector<std::string>{"KpsSetup.exe"});
    }
    for (const FakeRun& run : runs)
        EXPECT_TRUE(run.ended);
    ExpectNothingLeft();
    EXPECT_EQ(boxes.Count(), 0u);
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, KlIsStepOneWhenKpsIsNotSelected)
{
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    Select(0, 1, 0);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    if (JapaneseSystem()) {
        EXPECT_EQ(wizard.Texts(), NormalTexts(1, 1));
        EXPECT_EQ(Targets(), Requests({&kKl}));
        EXPECT_EQ(Programs(ReadFakeRuns(record)), std::vector<std::string>{"KlSetup.exe"});
    } else {
        EXPECT_EQ(wizard.Texts(), NormalTexts(0, 1));
        EXPECT_EQ(Targets(), Requests({}));
        EXPECT_TRUE(ReadFakeRuns(record).empty());
    }
    ExpectNothingLeft();
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, ProgressBarTurnsMarqueeForInstallationsAndEndsFull)
{
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    Select(1, 0, 0);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    const std::vector<WizardEvent> events = wizard.Events();

    // Downloads move a plain bar; the marquee starts with its style already
    // set, before the installation text; the bar ends at 100 without it.
    int marquee = -1, installText = -1, last = -1;
    for (int i = 0; i < int(events.size()); ++i) {
        const WizardEvent& e = events[i];
        if (e.kind == WizardEvent::Marquee && marquee < 0) {
            marquee = i;
            EXPECT_EQ(e.value, 1);
            EXPECT_TRUE(e.marqueeStyle) << "PBS_MARQUEE is set before the marquee starts";
        }
        if (e.kind == WizardEvent::Text && e.text == StepText(IDS_INSTALLING, 1, 1))
            installText = i;
        if (e.kind == WizardEvent::Position) {
            last = i;
            if (marquee < 0)
                EXPECT_FALSE(e.marqueeStyle) << "downloads show a percentage";
        }
    }
    ASSERT_GE(marquee, 0);
    EXPECT_LT(marquee, installText);
    ASSERT_GT(last, installText);
    EXPECT_EQ(events[last].value, 100);
    EXPECT_FALSE(events[last].marqueeStyle) << "the marquee style is gone before the bar is set to 100";
    EXPECT_EQ(CountKind(events, WizardEvent::Marquee), 1);
}

TEST_F(InstallSequenceTest, OlderBasicSoftwareStopsWithMessage125BeforeAnyDownload)
{
    for (const std::string version : {"1.0", "10.2", "1"}) {
        SCOPED_TRACE(version);
        ASSERT_TRUE(ServerReset());
        SetBasicSoftwareVersion(&version);
        MessageBoxScript boxes({IDOK}, 0, MessageBoxScript::Scope::Process);
        ProgressWizard wizard;
        ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
        ASSERT_EQ(boxes.Count(), 1u);
        const ShownDialog box = boxes.Shown()[0];
        EXPECT_EQ(box.text, ModuleText(IDS_OLDER_SOFTWARE));
        EXPECT_EQ(box.caption, "");
        EXPECT_EQ(box.type, UINT(MB_OK));
        EXPECT_EQ(box.owner, wizard.Sheet()) << "owned by the page, so by its wizard";
        EXPECT_TRUE(Targets().empty());
        EXPECT_TRUE(wizard.Texts().empty());
        ExpectNothingLeft();
        ExpectHandedOn(wizard.Events());
        wizard.Close();
        EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
    }
}

TEST_F(InstallSequenceTest, OtherBasicSoftwareVersionsProceed)
{
    Select(1, 0, 0);
    for (const std::string version : {"2.0", "", " 1.0", "01.0"}) {
        SCOPED_TRACE(version);
        ASSERT_TRUE(ServerReset());
        PutList(kListPath);
        ASSERT_TRUE(ServerPutFile(ResponsePath(kKps), "x"));
        SetBasicSoftwareVersion(&version);
        MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
        ProgressWizard wizard;
        ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_EQ(Targets(), Requests({&kKps}));
        wizard.Close();
        EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
    }
}

// Runs on an English and a Japanese system: one configured list for every
// language serves both, and the packages follow the system's language.
TEST_F(InstallSequenceTest, ConfiguredListAddressIsUsedWhateverTheLanguage)
{
    const std::string other = ServerUrl("/elsewhere/url_list.txt");
    ASSERT_TRUE(ServerSetRelease("language=all"));
    PutList("/elsewhere/url_list.txt");
    SetUrlListSetting(&other);
    Select(1, 1, 0);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    const std::vector<std::string> targets = Targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets[0], "/elsewhere/url_list.txt");
    const std::vector<std::string> expected = JapaneseSystem()
                                                  ? std::vector<std::string>{"KpsSetup.exe", "KlSetup.exe"}
                                                  : std::vector<std::string>{"KpsSetup.exe"};
    EXPECT_EQ(Programs(ReadFakeRuns(record)), expected);
    ExpectNothingLeft();
}

TEST_F(InstallSequenceTest, DefaultListAddressFollowsTheSystemLanguage)
{
    char proxy[256] = {};
    if (GetEnvironmentVariableA("http_proxy", proxy, sizeof proxy) == 0)
        GTEST_SKIP() << "needs http_proxy pointing at the simulator (set by the CTest entry)";
    SetUrlListSetting(nullptr);
    const std::string path = std::string("/Products/kuvana/pcrw/driver/netinstaller/") +
                             (JapaneseSystem() ? "ja" : "en") + "/url_list.txt";
    PutList(path);
    Select(1, 0, 0);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    const std::vector<ServerRequest> requests = ServerRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(PathOf(requests[0].target), path);
    EXPECT_EQ(requests[0].Header("Host"), kDownloadServerHost);
    EXPECT_EQ(wizard.Texts(), NormalTexts(1, 1));
    wizard.Close();
    EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
    DeleteFileA(record.c_str());

    // At the default address only the system's own list counts: the other
    // language's, or one for every language, is a failed list (message 122).
    for (const char* language : {JapaneseSystem() ? "en" : "ja", "all"}) {
        SCOPED_TRACE(language);
        ASSERT_TRUE(ServerReset());
        ASSERT_TRUE(ServerSetRelease(std::string("language=") + language));
        PutList(path);
        MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
        ProgressWizard refused;
        ASSERT_TRUE(refused.WaitArrived(kRunLimit));
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
        EXPECT_TRUE(ReadFakeRuns(record).empty());
        ExpectNothingLeft();
    }
}

// ---- the reads before the first download, and the language per pass ---------
// The product's calls go through this program's import table, so a patched
// entry stands in for the system: it throws where running out of memory would,
// or answers the language from a script.

const char* throwOpeningKey = "";
void* originalOpenKey = nullptr;

LSTATUS WINAPI OpenKeyThrowing(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    if (path != nullptr && std::strcmp(path, throwOpeningKey) == 0)
        throw std::bad_alloc();
    return reinterpret_cast<decltype(&RegOpenKeyExA)>(originalOpenKey)(root, path, options, access, key);
}

void* originalLoadString = nullptr;

int WINAPI LoadStringThrowingFor125(HINSTANCE module, UINT id, LPSTR buffer, int size)
{
    if (id == IDS_OLDER_SOFTWARE)
        throw std::bad_alloc();
    return reinterpret_cast<decltype(&LoadStringA)>(originalLoadString)(module, id, buffer, size);
}

LANGID WINAPI LanguageThrowing()
{
    throw std::bad_alloc();
}

TEST_F(InstallSequenceTest, AnExceptionInTheReadsBeforeTheDownloadsEndsAsCancelDoes)
{
    const std::string older = "1.0";
    struct Case {
        const char* what;
        const char* dll;
        const char* function;
        void* replacement;
        void** original;
        const char* key;
    } cases[] = {
        {"basic-software version", "advapi32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(&OpenKeyThrowing),
         &originalOpenKey, kBasicSoftwareKey},
        {"message 125", "user32.dll", "LoadStringA", reinterpret_cast<void*>(&LoadStringThrowingFor125),
         &originalLoadString, ""},
        {"URL-list setting", "advapi32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(&OpenKeyThrowing),
         &originalOpenKey, kNetInstallerKey},
        {"default list address", "kernel32.dll", "GetSystemDefaultLangID",
         reinterpret_cast<void*>(&LanguageThrowing), nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(ServerReset());
        SetBasicSoftwareVersion(c.original == &originalLoadString ? &older : nullptr);
        SetUrlListSetting(c.replacement == &LanguageThrowing ? nullptr : &listUrl);
        MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
        {
            throwOpeningKey = c.key;
            ImportPatch patch(c.dll, c.function, c.replacement);
            ASSERT_TRUE(patch.Applied());
            if (c.original != nullptr)
                *c.original = patch.Original();
            ProgressWizard wizard;
            EXPECT_TRUE(wizard.WaitArrived(10000));
            ExpectHandedOn(wizard.Events());
            wizard.Close();
            EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
        }
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_TRUE(Targets().empty());
        ExpectNothingLeft();
    }
}

std::vector<LANGID> languageAnswers;
size_t languageCalls = 0;

LANGID WINAPI ScriptedLanguage()
{
    const size_t call = languageCalls++;
    return languageAnswers[call < languageAnswers.size() ? call : languageAnswers.size() - 1];
}

TEST_F(InstallSequenceTest, TheLanguageIsAskedAfreshForTheInstallations)
{
    // Japanese for the list and while the packages are fetched, English by
    // their installation.
    Select(1, 1, 1);
    ASSERT_TRUE(ServerSetRelease("language=ja"));
    languageAnswers = {0x0411, 0x0411, 0x0409};
    languageCalls = 0;
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    {
        ImportPatch patch("kernel32.dll", "GetSystemDefaultLangID", reinterpret_cast<void*>(&ScriptedLanguage));
        ASSERT_TRUE(patch.Applied());
        ProgressWizard wizard;
        ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
        EXPECT_EQ(wizard.Texts(), (std::vector<std::string>{StepText(IDS_DOWNLOADING, 1, 3),
                                                             StepText(IDS_DOWNLOADING, 2, 3),
                                                             StepText(IDS_DOWNLOADING, 3, 3),
                                                             StepText(IDS_INSTALLING, 1, 3), ModuleText(IDS_FINISHING),
                                                             ModuleText(IDS_INSTALL_COMPLETE)}));
    }
    EXPECT_EQ(languageCalls, 3u);
    EXPECT_EQ(Targets(), Requests({&kKps, &kKl, &kPcscB}));
    EXPECT_EQ(Programs(ReadFakeRuns(record)), std::vector<std::string>{"KpsSetup.exe"});
    ExpectNothingLeft();
}

TEST_F(InstallSequenceTest, CancelDuringTheListDownloadLooksNothingUpAndHandsOn)
{
    ASSERT_TRUE(ServerScript(kListPath, "status=404"));
    MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
    EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_RETRYCANCEL));
    EXPECT_EQ(Targets(), std::vector<std::string>{kListPath});
    EXPECT_TRUE(wizard.Texts().empty()) << "the status text stays as it was";
    EXPECT_EQ(CountKind(wizard.Events(), WizardEvent::Marquee), 0);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, CancelDuringTheSecondPackageInstallsNothingAndLeavesNothing)
{
    if (!JapaneseSystem())
        GTEST_SKIP() << "a second package is handled on Japanese systems only";
    Select(1, 1, 1);
    ASSERT_TRUE(ServerScript(ResponsePath(kKl), "status=404"));
    MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
    std::vector<std::string> expected = Requests({&kKps});
    expected.push_back(ResponsePath(kKl));
    EXPECT_EQ(Targets(), expected);
    ExpectNothingLeft();
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    EXPECT_EQ(wizard.Texts(),
              (std::vector<std::string>{StepText(IDS_DOWNLOADING, 1, 3), StepText(IDS_DOWNLOADING, 2, 3)}));
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, FailingServerIsRetriedUntilItRecovers)
{
    Select(1, 0, 0);
    ASSERT_TRUE(ServerScript(InstallerPath(kKps), "fail=2"));
    MessageBoxScript boxes({IDRETRY, IDRETRY}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    EXPECT_EQ(boxes.Count(), 2u) << boxes.Describe();
    std::vector<std::string> expected = Requests({&kKps});
    expected.push_back(InstallerPath(kKps));
    expected.push_back(InstallerPath(kKps));
    EXPECT_EQ(Targets(), expected);
    EXPECT_EQ(wizard.Texts(), NormalTexts(1, 1));
    EXPECT_EQ(ReadFakeRuns(record).size(), 1u);
    ExpectNothingLeft();
}

TEST_F(InstallSequenceTest, InstallerThatCannotStartIsReportedAndTheSequenceGoesOn)
{
    Select(1, 1, 0);
    ASSERT_TRUE(ServerPutFile(InstallerPath(kKps), "this is no program\r\n"));
    MessageBoxScript boxes({IDOK}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_INSTALL_FAILED));
    EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_OK));
    if (JapaneseSystem()) {
        EXPECT_EQ(wizard.Texts(), NormalTexts(2, 2));
        EXPECT_EQ(Programs(ReadFakeRuns(record)), std::vector<std::string>{"KlSetup.exe"});
    } else {
        EXPECT_EQ(wizard.Texts(), NormalTexts(1, 2));
        EXPECT_TRUE(ReadFakeRuns(record).empty());
    }
    ExpectNothingLeft();
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, ClosedDuringAnInstallationWaitsForItAndStartsNothingMore)
{
    Select(1, 1, 1);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "KuvanaE2eReleaseInstaller");
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", "KuvanaE2eReleaseInstaller");
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    const DWORD start = GetTickCount();
    while (ReadFakeRuns(record).empty() && GetTickCount() - start < kRunLimit)
        Sleep(20);
    ASSERT_EQ(ReadFakeRuns(record).size(), 1u);
    wizard.Close();
    EXPECT_FALSE(IsWindow(wizard.Sheet()));
    EXPECT_FALSE(wizard.WaitWorkerEnded(500)) << "the running installer is still waited for";
    const std::vector<FakeRun> running = ReadFakeRuns(record);
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(FileExists(running[0].program));
    SetEvent(release);
    EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
    CloseHandle(release);

    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u) << "no package after the wizard was closed";
    EXPECT_TRUE(runs[0].ended);
    // The installer that ran has its files removed, and its folder with them.
    ExpectNothingLeft();
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(wizard.Arrived());
}

TEST_F(InstallSequenceTest, ClosedDuringADownloadStartsNoFurtherDownloadOrInstallation)
{
    Select(1, 1, 1);
    ASSERT_TRUE(ServerScript(InstallerPath(kKps), "delay=1500"));
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitTexts(1, kRunLimit));
    const DWORD start = GetTickCount();
    while (Targets().size() < Requests({&kKps}).size() && GetTickCount() - start < kRunLimit)
        Sleep(20);
    wizard.Close();
    EXPECT_TRUE(wizard.WaitWorkerEnded(15000));
    EXPECT_EQ(Targets(), Requests({&kKps}));
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_FALSE(wizard.Arrived());
    ExpectNothingLeft();
}

TEST_F(InstallSequenceTest, ListNamesThatAreNotPlainFileNamesAndOversizedFilesFailTheDownload)
{
    Select(1, 0, 0);
    const std::string escape = ServerUrl("/kps/..\\escape.exe");
    ASSERT_TRUE(ServerPutFile("/kps/..\\escape.exe", fake));
    ASSERT_TRUE(ServerPutFile("/kps/version.dll", fake));
    ASSERT_TRUE(ServerPutFile("/kps/big.iss", std::string(64 * 1024 + 1, ';')));
    const std::string response = "KPS_ISS," + ServerUrl(ResponsePath(kKps)) + "\n";
    const std::string installer = "KPS_EXE," + ServerUrl(InstallerPath(kKps)) + "\n";
    const struct {
        std::string list;
        std::string release;  // a change to the release lines, which stays
    } cases[] = {
        {response + "KPS_EXE," + escape + "\n", ""},
        // A DLL where the response file goes would lie beside nothing, yet is refused.
        {"KPS_ISS," + ServerUrl("/kps/version.dll") + "\n" + installer, ""},
        // A response file is a few lines: 64 KiB is its bound.
        {"KPS_ISS," + ServerUrl("/kps/big.iss") + "\n" + installer, ""},
        // The installer one byte longer than the release says.
        {response + installer, "line=KPS_EXE_SIZE:" + std::to_string(fake.size() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list + c.release);
        ASSERT_TRUE(ServerPutFile(kListPath, c.list));
        ASSERT_TRUE(c.release.empty() || ServerSetRelease(c.release));
        MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
        ProgressWizard wizard;
        ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
        EXPECT_FALSE(FileExists(temp.Base() + "escape.exe")) << "written outside the temporary folder";
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
        EXPECT_TRUE(ReadFakeRuns(record).empty());
        ExpectNothingLeft();
    }
}

TEST_F(InstallSequenceTest, TheListsOwnNameKeepsToTheRuleToo)
{
    Select(1, 0, 0);
    const std::string escapingList = ServerUrl("/list/..\\list.txt");
    ASSERT_TRUE(ServerPutFile("/list/..\\list.txt", "KPS_EXE," + ServerUrl(InstallerPath(kKps)) + "\n"));
    SetUrlListSetting(&escapingList);
    MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_FALSE(FileExists(temp.Base() + "list.txt")) << "written outside the temporary folder";
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    ExpectNothingLeft();
}

TEST_F(InstallSequenceTest, InstallerNotSignedByTheMakerIsRefusedAndTheSequenceGoesOn)
{
    Select(1, 1, 0);
    ASSERT_TRUE(ServerPutFile(InstallerPath(kKps), ReadWholeFile(ProgramFolder() + "fake_stranger.exe")));
    MessageBoxScript boxes({IDOK}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_INSTALL_FAILED));
    EXPECT_EQ(Programs(ReadFakeRuns(record)),
              JapaneseSystem() ? std::vector<std::string>{"KlSetup.exe"} : std::vector<std::string>{});
    ExpectNothingLeft();
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, ResponseFileOtherThanTheReleaseNamesIsRefusedAndTheSequenceGoesOn)
{
    Select(1, 1, 0);
    // One byte changed after the release was signed: its size is the list's,
    // its hash is not. (A longer file fails its download at once: message 122.)
    ASSERT_TRUE(ServerPinSignature(kListPath));
    ASSERT_TRUE(ServerPutFile(ResponsePath(kKps), "[kps.isx]\r\n"));
    MessageBoxScript boxes({IDOK}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_INSTALL_FAILED));
    EXPECT_EQ(Targets(), Requests(JapaneseSystem() ? std::vector<const Package*>{&kKps, &kKl}
                                                   : std::vector<const Package*>{&kKps}));
    EXPECT_EQ(Programs(ReadFakeRuns(record)),
              JapaneseSystem() ? std::vector<std::string>{"KlSetup.exe"} : std::vector<std::string>{});
    ExpectNothingLeft();
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, ListWithoutTheMakersValidSignatureIsAFailedListDownload)
{
    Select(1, 0, 0);
    // A list changed after signing, whose signature first cannot be fetched
    // (Retry) and then does not fit (Cancel): both are failed list downloads.
    ASSERT_TRUE(ServerPinSignature(kListPath));
    ASSERT_TRUE(ServerPutFile(kListPath, "KPS_EXE," + ServerUrl("/elsewhere/KpsSetup.exe") + "\r\n"));
    ASSERT_TRUE(ServerScript(std::string(kListPath) + ".p7", "fail=1"));
    MessageBoxScript boxes({IDRETRY, IDCANCEL}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));

    ASSERT_EQ(boxes.Count(), 2u);
    for (const ShownDialog& box : boxes.Shown())
        EXPECT_EQ(box.text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
    const std::string signature = std::string(kListPath) + ".p7";
    EXPECT_EQ(Targets(), (std::vector<std::string>{kListPath, signature, kListPath, signature}));
    EXPECT_TRUE(wizard.Texts().empty());
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    ExpectNothingLeft();
    ExpectHandedOn(wizard.Events());
}

TEST_F(InstallSequenceTest, RelativeAddressesAreResolvedAgainstTheListsOwn)
{
    Select(1, 0, 0);
    // A mirror serves the signed release unchanged under another folder.
    ASSERT_TRUE(ServerPutFile("/mirror/list/url_list.txt", "KPS_ISS,../../kps/kps.iss\r\nKPS_EXE,/kps/KpsSetup.exe\r\n"));
    const std::string mirror = ServerUrl("/mirror/list/url_list.txt");
    SetUrlListSetting(&mirror);
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/mirror/list/url_list.txt", "/mirror/list/url_list.txt.p7",
                                                   ResponsePath(kKps), InstallerPath(kKps)}));
    EXPECT_EQ(Programs(ReadFakeRuns(record)), std::vector<std::string>{"KpsSetup.exe"});
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(InstallSequenceTest, OnlyResponseFilesTheSequenceHandlesMustDifferInName)
{
    // Installers lie in folders of their own: all three may be setup.exe.
    for (const Package* p : {&kKps, &kKl, &kPcscB})
        ASSERT_TRUE(ServerPutFile(std::string(p->folder) + "setup.exe",
                                  ReadWholeFile(ServerRootDir() + "\\" + (p->folder + 1) + p->installerName)));
    const auto list = [](const std::string& klResponse) {
        return "KPS_ISS," + ServerUrl(ResponsePath(kKps)) + "\nKPS_EXE," + ServerUrl("/kps/setup.exe") +
               "\nKL_ISS," + ServerUrl(klResponse) + "\nKL_EXE," + ServerUrl("/kl/setup.exe") + "\nPCSC_B_ISS," +
               ServerUrl(ResponsePath(kPcscB)) + "\nPCSC_B_EXE," + ServerUrl("/pcscb/setup.exe") + "\n";
    };
    ASSERT_TRUE(ServerPutFile("/kl/KPS.ISS", "[KPS.ISS]\r\n"));
    const struct {
        const char* why;
        int kl;
        std::string klResponse;
        bool refused;  // both response files count as missing: 122
    } cases[] = {
        {"three installers named setup.exe", 1, ResponsePath(kKl).c_str(), false},
        {"KL's response file named as KPS's, KL not selected", 0, "/kl/KPS.ISS", false},
        {"KL's response file named as KPS's, both handled", 1, "/kl/KPS.ISS", JapaneseSystem()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(ServerPutFile(kListPath, list(c.klResponse)));
        Select(1, c.kl, c.kl);
        MessageBoxScript boxes({IDCANCEL}, 0, MessageBoxScript::Scope::Process);
        ProgressWizard wizard;
        ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
        ASSERT_EQ(boxes.Count(), c.refused ? 1u : 0u);
        if (c.refused) {
            EXPECT_EQ(boxes.Shown()[0].text, ModuleText(IDS_DOWNLOAD_RETRY_CANCEL));
            EXPECT_TRUE(ReadFakeRuns(record).empty());
        } else {
            EXPECT_EQ(ReadFakeRuns(record).size(), JapaneseSystem() && c.kl ? 3u : 1u);
        }
        DeleteFileA(record.c_str());
        ExpectNothingLeft();
    }
}

TEST_F(InstallSequenceTest, FilesPlantedInTheTemporaryFolderAreNeitherRunNorTouched)
{
    Select(1, 0, 0);
    const std::string planted = ReadWholeFile(ProgramFolder() + "fake_unsigned.exe");
    for (const char* name : {"KpsSetup.exe", "kps.iss", "url_list.txt", "version.dll"})
        ASSERT_TRUE(WriteWholeFile(temp.Path(name), name == std::string("KpsSetup.exe") ? planted : name));
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "KuvanaE2eReleasePlanted");
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", "KuvanaE2eReleasePlanted");
    MessageBoxScript boxes({}, 0, MessageBoxScript::Scope::Process);
    ProgressWizard wizard;
    // Recorded line by line: wait until the response file has been read too.
    const DWORD start = GetTickCount();
    std::vector<FakeRun> runs;
    while ((runs = ReadFakeRuns(record)).empty() || !runs[0].responseRead) {
        if (GetTickCount() - start > kRunLimit)
            break;
        Sleep(20);
    }
    ASSERT_EQ(runs.size(), 1u);
    // The installer runs from its own folder, alone.
    EXPECT_EQ(runs[0].commandLine, CommandLine(kKps, runs[0]));
    EXPECT_EQ(runs[0].response, "[kps.iss]\r\n");
    EXPECT_EQ(FoldersIn(temp.WorkRoot()).size(), 1u);
    // Held by the sequence while its installer runs: nobody renames it.
    const std::string work = runs[0].program.substr(0, runs[0].program.find("\\kps\\"));
    EXPECT_FALSE(MoveFileExA(work.c_str(), (work + "x").c_str(), 0)) << work;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    SetEvent(release);
    ASSERT_TRUE(wizard.WaitArrived(kRunLimit));
    CloseHandle(release);
    for (const char* name : {"KpsSetup.exe", "kps.iss", "url_list.txt", "version.dll"})
        EXPECT_EQ(ReadWholeFile(temp.Path(name)), name == std::string("KpsSetup.exe") ? planted : name) << name;
    EXPECT_TRUE(FoldersIn(temp.WorkRoot()).empty());
    EXPECT_EQ(boxes.Count(), 0u);
}

// Once the page is gone MessageBoxA cannot ask (it returns 0): the download step
// must take that as Cancel, not retry against the server forever.
TEST_F(InstallSequenceTest, ClosedDuringAFailingDownloadEndsWithoutRetryingForever)
{
    Select(1, 0, 0);
    ASSERT_TRUE(ServerScript(InstallerPath(kKps), "delay=1000,status=404"));
    ProgressWizard wizard;
    ASSERT_TRUE(wizard.WaitTexts(1, kRunLimit));
    const DWORD start = GetTickCount();
    while (Targets().size() < Requests({&kKps}).size() && GetTickCount() - start < kRunLimit)
        Sleep(20);
    wizard.Close();
    // Nobody is left to answer the retry question.
    EXPECT_TRUE(wizard.WaitWorkerEnded(10000));
    int attempts = 0;
    for (const std::string& target : Targets())
        attempts += target == InstallerPath(kKps) ? 1 : 0;
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(ReadFakeRuns(record).empty());
}

}  // namespace
