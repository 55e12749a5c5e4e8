// The framework may unload the class installer as soon as its wizard is gone.
// A sequence still running (an installer being waited for) must keep the
// library's code in place until it has ended, and unload it then; a download
// still running is stopped.
// Runs from bin/wizard with the simulated setupapi.dll (class-install pages).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "install/settings.h"
#include "sim/fake_installer/fake_record.h"
#include "sim/setupapi/setupapi_sim.h"
#include "support/server_control.h"
#include "support/temp_folder_sandbox.h"
#include "support/wizard_host_run.h"

namespace {

typedef DWORD(WINAPI* ClassInstallerProc)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);

// Handles the wizard's messages (the worker talks to it) until `done` or the time is up.
template <typename Done>
bool PumpUntil(Done done, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The framework's side of one installation: the library loaded, its pages in
// a modeless wizard, the license accepted, the sequence running on its worker.
class InstallRun {
public:
    // Serves the list and KPS's two files (kpsExe as the installer's body,
    // with the server's fault options kpsExeFaults).
    void Begin(const std::string& kpsExe, const std::string& kpsExeFaults = "none")
    {
        ASSERT_TRUE(FindSetupapiSim().Loaded()) << "needs the simulated setupapi.dll (bin/wizard, overrides)";
        ASSERT_TRUE(ServerAvailable());
        ASSERT_TRUE(ServerReset());
        ASSERT_TRUE(ServerPutFile("/p/kps.iss", "x") && ServerPutFile("/p/kps.exe", kpsExe));
        ASSERT_TRUE(ServerScript("/p/kps.exe", kpsExeFaults));
        ASSERT_TRUE(ServerPutFile("/p/url_list.txt", "KPS_ISS," + ServerUrl("/p/kps.iss") + "\nKPS_EXE," +
                                                          ServerUrl("/p/kps.exe") + "\n"));
        ASSERT_TRUE(urlList.Set(ServerUrl("/p/url_list.txt")));
        displayVersion.Remove();  // not installed: the pages are wanted

        dll = LoadLibraryA((ProgramFolder() + "..\\kuvana_coinst.dll").c_str());
        ASSERT_NE(dll, nullptr);
        ClassInstallerProc classInstaller = reinterpret_cast<ClassInstallerProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "ClassInstaller")));
        ASSERT_NE(classInstaller, nullptr);

        set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        SP_NEWDEVICEWIZARD_DATA data = {};
        data.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        data.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
        ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, nullptr, &data.ClassInstallHeader, sizeof data));
        EXPECT_EQ(classInstaller(DIF_NEWDEVICEWIZARD_FINISHINSTALL, set, nullptr), DWORD(NO_ERROR));
        ASSERT_TRUE(SetupDiGetClassInstallParamsA(set, nullptr, &data.ClassInstallHeader, sizeof data, nullptr));
        ASSERT_EQ(data.NumDynamicPages, 2u);

        PROPSHEETHEADERA header = {};
        header.dwSize = PROPSHEETHEADERA_V1_SIZE;
        header.dwFlags = PSH_WIZARD | PSH_MODELESS;
        header.pszCaption = "";
        header.nPages = data.NumDynamicPages;
        header.phpage = data.DynamicPages;
        sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
        ASSERT_NE(sheet, nullptr);
        // Accept the license and go on to the progress page.
        HWND license = PropSheet_GetCurrentPageHwnd(sheet);
        SendMessageA(GetDlgItem(license, 1002), BM_CLICK, 0, 0);
        PropSheet_PressButton(sheet, PSBTN_NEXT);
    }

    // The wizard goes, and the framework lets go of the library.
    void CloseWizard()
    {
        DestroyWindow(sheet);
        SetupDiDestroyDeviceInfoList(set);
        FreeLibrary(dll);
    }

    RegistryValue urlList{kNetInstallerKey, "URL List"};
    RegistryValue displayVersion{kUninstallKey, "DisplayVersion"};
    HMODULE dll = nullptr;
    HDEVINFO set = nullptr;
    HWND sheet = nullptr;
};

bool Unloaded() { return GetModuleHandleA("kuvana_coinst.dll") == nullptr; }

TEST(LibraryLifetime, RunningSequenceKeepsTheLibraryUntilItEnds)
{
    TempFolderSandbox temp;
    const std::string record = temp.Base() + "runs.txt";
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", "KuvanaE2eUnloadRelease");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "KuvanaE2eUnloadRelease");
    const std::string fake = ReadWholeFile(ProgramFolder() + "..\\fake_installer.exe");
    ASSERT_FALSE(fake.empty());
    InstallRun run;
    run.Begin(fake);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(PumpUntil([&] { return !ReadFakeRuns(record).empty(); }, 30000)) << "no installer started";

    run.CloseWizard();
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(Unloaded()) << "unloaded under the running sequence";

    SetEvent(release);
    EXPECT_TRUE(PumpUntil(Unloaded, 15000)) << "the sequence's reference was not released";
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].ended);
    CloseHandle(release);
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
}

// A wizard closed during a download that would take minutes: the transfer
// ends, the worker ends and the library unloads within a few polls.
TEST(LibraryLifetime, WizardClosedDuringASlowDownloadEndsTheTransferAndUnloads)
{
    TempFolderSandbox temp;
    const std::string record = temp.Base() + "runs.txt";
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
    InstallRun run;
    run.Begin(std::string(4 << 20, 'x'), "trickle=2048:100");  // about 200 s
    ASSERT_FALSE(HasFatalFailure());
    auto downloading = [] {
        for (const ServerRequest& request : ServerRequests())
            if (request.target == "/p/kps.exe")
                return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil(downloading, 30000)) << "the installer's download never began";
    PumpUntil([] { return false; }, 500);

    const DWORD closed = GetTickCount();
    run.CloseWizard();
    EXPECT_TRUE(PumpUntil(Unloaded, 10000)) << "still loaded after the wizard closed";
    const DWORD unloadedAfter = GetTickCount() - closed;
    printf("wizard closed to library unloaded: %lu ms\n", static_cast<unsigned long>(unloadedAfter));
    EXPECT_LT(unloadedAfter, 5000u);
    auto cut = [] {
        std::vector<std::string> aborted = ServerAbortedPaths();
        return std::find(aborted.begin(), aborted.end(), "/p/kps.exe") != aborted.end();
    };
    EXPECT_TRUE(PumpUntil(cut, 5000)) << "the server still sends the installer";
    EXPECT_TRUE(ReadFakeRuns(record).empty());
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
}

}  // namespace
