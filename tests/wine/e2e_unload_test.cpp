// The framework may unload the class installer as soon as its wizard is gone.
// A sequence still running (an installer being waited for) must keep the
// library's code in place until it has ended, and unload it then.
// Runs from bin/wizard with the simulated setupapi.dll (class-install pages).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

#include <gtest/gtest.h>

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

TEST(LibraryLifetime, RunningSequenceKeepsTheLibraryUntilItEnds)
{
    ASSERT_TRUE(FindSetupapiSim().Loaded()) << "needs the simulated setupapi.dll (bin/wizard, overrides)";
    ASSERT_TRUE(ServerAvailable());
    TempFolderSandbox temp;
    const std::string record = temp.Base() + "runs.txt";
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", "KuvanaE2eUnloadRelease");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "KuvanaE2eUnloadRelease");

    ASSERT_TRUE(ServerReset());
    const std::string fake = ReadWholeFile(ProgramFolder() + "..\\fake_installer.exe");
    ASSERT_FALSE(fake.empty());
    ASSERT_TRUE(ServerPutFile("/p/kps.iss", "x") && ServerPutFile("/p/kps.exe", fake));
    ASSERT_TRUE(ServerPutFile("/p/url_list.txt", "KPS_ISS," + ServerUrl("/p/kps.iss") + "\nKPS_EXE," +
                                                      ServerUrl("/p/kps.exe") + "\n"));
    RegistryValue urlList(kNetInstallerKey, "URL List");
    ASSERT_TRUE(urlList.Set(ServerUrl("/p/url_list.txt")));
    RegistryValue displayVersion(kUninstallKey, "DisplayVersion");
    displayVersion.Remove();  // not installed: the pages are wanted

    HMODULE dll = LoadLibraryA((ProgramFolder() + "..\\kuvana_coinst.dll").c_str());
    ASSERT_NE(dll, nullptr);
    ClassInstallerProc classInstaller = reinterpret_cast<ClassInstallerProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "ClassInstaller")));
    ASSERT_NE(classInstaller, nullptr);

    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
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
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    ASSERT_NE(sheet, nullptr);
    // Accept the license and go on to the progress page.
    HWND license = PropSheet_GetCurrentPageHwnd(sheet);
    SendMessageA(GetDlgItem(license, 1002), BM_CLICK, 0, 0);
    PropSheet_PressButton(sheet, PSBTN_NEXT);
    ASSERT_TRUE(PumpUntil([&] { return !ReadFakeRuns(record).empty(); }, 30000)) << "no installer started";

    // The wizard goes, and the framework lets go of the library.
    DestroyWindow(sheet);
    SetupDiDestroyDeviceInfoList(set);
    FreeLibrary(dll);
    PumpUntil([] { return false; }, 300);
    EXPECT_NE(GetModuleHandleA("kuvana_coinst.dll"), nullptr) << "unloaded under the running sequence";

    SetEvent(release);
    EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("kuvana_coinst.dll") == nullptr; }, 15000))
        << "the sequence's reference was not released";
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].ended);
    CloseHandle(release);
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
    SetEnvironmentVariableA("KUVANA_FAKE_WAIT_EVENT", nullptr);
}

}  // namespace
