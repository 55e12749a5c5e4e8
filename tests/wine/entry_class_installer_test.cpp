// ClassInstaller as the framework calls it: the real DLL driven by the wizard
// host (sim/wizard_host) over the simulated setupapi.dll. Each case reads the
// install flags and dynamic page lists the host reports around each DIF call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/wizard_host_run.h"

namespace {

unsigned long Number(const std::string& text)
{
    return strtoul(text.c_str(), nullptr, 0);
}

class ClassInstallerCall : public ::testing::Test {
protected:
    // A machine where nothing of the reader software is registered: pages wanted.
    void SetUp() override
    {
        ASSERT_TRUE(displayVersion.Remove());
        ASSERT_TRUE(driverVersion.Remove());
    }

    HostRun Run(const std::string& script, const std::string& program = "wizard_host.exe")
    {
        HostOptions options;
        options.program = program;
        HostRun run = RunWizardHost(script, options);
        EXPECT_EQ(run.exitCode, 0) << run.report;
        EXPECT_EQ(run.First("end")["status"], "ok") << run.report;
        return run;
    }

    RegistryValue displayVersion{kUninstallKey, "DisplayVersion"};
    RegistryValue driverVersion{kDriverSoftwareKey, "DriverVersion"};
};

TEST_F(ClassInstallerCall, UnhandledCodesReturnNoErrorAndChangeNothing)
{
    HostRun run = Run("preset-pages 1\n"
                      "dif 0x02 record=wizard\n"    // DIF_INSTALLDEVICE
                      "dif 0x24 record=properties\n"  // DIF_ADDPROPERTYPAGE_BASIC
                      "dif 0x1d record=wizard\n"    // DIF_NEWDEVICEWIZARD_POSTANALYZE
                      "dif 0x2b record=wizard\n");
    std::vector<HostEvent> calls = run.All("dif");
    ASSERT_EQ(calls.size(), 4u) << run.report;
    for (const HostEvent& call : calls) {
        EXPECT_EQ(Number(call["result"]), 0u) << call.raw;
        EXPECT_EQ(call["flags"], call["flags-before"]) << call.raw;
        EXPECT_EQ(call["flagsex"], call["flagsex-before"]) << call.raw;
        EXPECT_EQ(call["pages"], "1") << call.raw;
    }
}

TEST_F(ClassInstallerCall, FinishInstallAddsBothPagesAndAsksForTheFinishAction)
{
    HostRun run = Run("preset-pages 1\n"
                      "dif 0x1e\n"
                      "dif 0x2a if-requested\n");
    HostEvent finish = run.First("dif", {{"code", "0x1e"}});
    EXPECT_EQ(Number(finish["result"]), 0u);
    EXPECT_EQ(finish["pages-before"], "1");
    EXPECT_EQ(finish["pages"], "3") << "license and progress page after the page already listed";
    EXPECT_EQ(Number(finish["flagsex"]), Number(finish["flagsex-before"]) | 0x8);
    EXPECT_EQ(finish["flags"], finish["flags-before"]);
    // The host calls back with DIF_FINISHINSTALL_ACTION, as the framework does.
    HostEvent action = run.First("dif", {{"code", "0x2a"}});
    ASSERT_FALSE(action.kind.empty()) << run.report;
    EXPECT_FALSE(action.Has("skipped")) << action.raw;
}

TEST_F(ClassInstallerCall, FinishInstallActionSetsNeedRebootOnly)
{
    HostRun run = Run("preset-pages 2\n"
                      "dif 0x2a record=wizard\n");
    HostEvent action = run.First("dif");
    EXPECT_EQ(Number(action["result"]), 0u);
    EXPECT_EQ(Number(action["flags"]), Number(action["flags-before"]) | 0x100);
    EXPECT_EQ(action["flagsex"], action["flagsex-before"]);
    EXPECT_EQ(action["pages"], "2");
}

TEST_F(ClassInstallerCall, NoPagesWhileTheCombinedInstallerHoldsItsMutex)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "KuvanaPortWithDriver.exe Single Execution Mutex");
    ASSERT_NE(mutex, nullptr);
    HostRun run = Run("dif 0x1e\n");
    CloseHandle(mutex);
    HostEvent finish = run.First("dif");
    EXPECT_EQ(finish["pages"], "0") << run.report;
    EXPECT_EQ(Number(finish["flagsex"]), Number(finish["flagsex-before"]) | 0x8) << "the finish action is still asked";

    // Released and gone again: the pages come back, and the probe did not keep it.
    HostRun again = Run("dif 0x1e\n");
    EXPECT_EQ(again.First("dif")["pages"], "2") << again.report;
    HANDLE probe = OpenMutexA(SYNCHRONIZE, FALSE, "KuvanaPortWithDriver.exe Single Execution Mutex");
    EXPECT_EQ(probe, nullptr) << "the entry point must not keep the mutex";
    if (probe != nullptr)
        CloseHandle(probe);
}

TEST_F(ClassInstallerCall, BeforeWindows6PagesAreAddedButInstallFlagsStayUnchanged)
{
    HostRun run = Run("dif 0x1e\n"
                      "dif 0x2a if-requested\n",
                      "wizard_host_xp.exe");
    ASSERT_EQ(run.First("host")["windows"].substr(0, 2), "5.") << run.report;
    HostEvent finish = run.First("dif", {{"code", "0x1e"}});
    EXPECT_EQ(finish["pages"], "2");
    EXPECT_EQ(finish["flags"], finish["flags-before"]);
    EXPECT_EQ(finish["flagsex"], finish["flagsex-before"]);
    EXPECT_EQ(run.First("dif", {{"code", "0x2a"}})["skipped"], "not-requested");
}

TEST_F(ClassInstallerCall, NoPagesWhenSoftwareAndDriverSoftwareAreRegistered)
{
    ASSERT_TRUE(displayVersion.Set("2.0.0.0"));
    ASSERT_TRUE(driverVersion.Set("2.0.0.0"));
    HostRun run = Run("dif 0x1e\n");
    HostEvent finish = run.First("dif");
    EXPECT_EQ(finish["pages"], "0") << run.report;
    EXPECT_EQ(Number(finish["flagsex"]), Number(finish["flagsex-before"]) | 0x8);
    EXPECT_EQ(finish["flags"], finish["flags-before"]);
}

TEST_F(ClassInstallerCall, PropertySheetGetsTheStatusPageUpToTwentyPages)
{
    HostRun run = Run("preset-pages 19\n"
                      "dif 0x23\n"
                      "preset-pages 20\n"
                      "dif 0x23\n");
    std::vector<HostEvent> calls = run.All("dif");
    ASSERT_EQ(calls.size(), 2u) << run.report;
    EXPECT_EQ(calls[0]["pages"], "20");
    EXPECT_EQ(Number(calls[0]["result"]), 0u);
    EXPECT_EQ(calls[1]["pages-before"], "20");
    EXPECT_EQ(calls[1]["pages"], "20");
    EXPECT_EQ(Number(calls[1]["result"]), 0u);
    for (const HostEvent& call : calls)
        EXPECT_EQ(call["flags"], call["flags-before"]);
}

TEST_F(ClassInstallerCall, NullElementWorksOnTheSetWideParameters)
{
    HostRun run = Run("target set\n"
                      "dif 0x1e\n"
                      "dif 0x2a if-requested\n"
                      "dif 0x23\n");
    HostEvent finish = run.First("dif", {{"code", "0x1e"}});
    EXPECT_EQ(finish["target"], "set");
    EXPECT_EQ(finish["pages"], "2");
    EXPECT_EQ(Number(finish["flagsex"]) & 0x8, 0x8u);
    EXPECT_EQ(Number(run.First("dif", {{"code", "0x2a"}})["flags"]) & 0x100, 0x100u);
    EXPECT_EQ(run.First("dif", {{"code", "0x23"}})["pages"], "1");
}

}  // namespace
