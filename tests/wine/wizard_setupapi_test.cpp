// The simulated setupapi.dll under Wine: that it is the one loaded, that it
// keeps class-install and device-install parameters as the framework does, and
// that what it forwards reaches Wine's working implementation.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sim/setupapi/setupapi_sim.h"

namespace {

const GUID kTestClass = {0x6b1c1d20, 0x4d3b, 0x4bd1, {0x9a, 0x51, 0x6f, 0x2e, 0x11, 0x52, 0x73, 0x02}};

class DeviceSet : public ::testing::Test {
protected:
    void SetUp() override
    {
        set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        first.cbSize = sizeof first;
        second.cbSize = sizeof second;
        ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "KUVANA_SIM_TEST", &kTestClass, nullptr, nullptr, DICD_GENERATE_ID,
                                             &first));
        ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "KUVANA_SIM_TEST", &kTestClass, nullptr, nullptr, DICD_GENERATE_ID,
                                             &second));
    }
    void TearDown() override { SetupDiDestroyDeviceInfoList(set); }

    SP_NEWDEVICEWIZARD_DATA WizardRecord(DWORD pages)
    {
        SP_NEWDEVICEWIZARD_DATA record = {};
        record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        record.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
        for (DWORD i = 0; i < pages; ++i)
            record.DynamicPages[i] = reinterpret_cast<HPROPSHEETPAGE>(ULONG_PTR(0x1000 + i));
        record.NumDynamicPages = pages;
        return record;
    }

    bool GetRecord(PSP_DEVINFO_DATA element, SP_NEWDEVICEWIZARD_DATA* record)
    {
        *record = SP_NEWDEVICEWIZARD_DATA();
        record->ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        return SetupDiGetClassInstallParamsA(set, element, &record->ClassInstallHeader, sizeof *record, nullptr) !=
               FALSE;
    }

    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA first = {}, second = {};
};

std::string LoadedSetupapiPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("setupapi.dll"), path, MAX_PATH);
    std::string lower = path;
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

// Without its DllOverrides key Wine silently loads its builtin setupapi; every
// other test here would then test Wine, not the simulator.
TEST(SetupapiSimulator, IsTheSetupapiLoadedFromTheWizardFolder)
{
    SetupapiSim sim = FindSetupapiSim();
    ASSERT_TRUE(sim.Loaded()) << "loaded: " << LoadedSetupapiPath();
    std::string path = LoadedSetupapiPath();
    EXPECT_NE(path.find("\\bin\\wizard\\setupapi.dll"), std::string::npos) << path;
    EXPECT_NE(GetModuleHandleA("setupapi_wine.dll"), nullptr) << "forwarded exports load the copy of Wine's";
}

TEST_F(DeviceSet, ClassInstallParametersAreKeptPerElementAndForTheWholeSet)
{
    SP_NEWDEVICEWIZARD_DATA record;
    EXPECT_FALSE(GetRecord(&first, &record));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_CLASSINSTALL_PARAMS));

    SP_NEWDEVICEWIZARD_DATA three = WizardRecord(3);
    SP_NEWDEVICEWIZARD_DATA five = WizardRecord(5);
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, &first, &three.ClassInstallHeader, sizeof three));
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, nullptr, &five.ClassInstallHeader, sizeof five));

    ASSERT_TRUE(GetRecord(&first, &record));
    EXPECT_EQ(record.NumDynamicPages, 3u);
    EXPECT_EQ(record.DynamicPages[2], three.DynamicPages[2]);
    EXPECT_EQ(record.ClassInstallHeader.InstallFunction, DWORD(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
    ASSERT_TRUE(GetRecord(nullptr, &record));
    EXPECT_EQ(record.NumDynamicPages, 5u);
    EXPECT_FALSE(GetRecord(&second, &record)) << "another element has none of its own";

    // Setting them marks the install parameters; clearing them unmarks.
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof params;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &first, &params));
    EXPECT_TRUE(params.Flags & DI_CLASSINSTALLPARAMS);
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, &first, nullptr, 0));
    EXPECT_FALSE(GetRecord(&first, &record));
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &first, &params));
    EXPECT_FALSE(params.Flags & DI_CLASSINSTALLPARAMS);
}

TEST_F(DeviceSet, ClassInstallParametersCheckHeaderAndBufferLikeTheFramework)
{
    SP_NEWDEVICEWIZARD_DATA record = WizardRecord(1);
    record.ClassInstallHeader.cbSize = 12;
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set, &first, &record.ClassInstallHeader, sizeof record));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    record.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set, &first, &record.ClassInstallHeader, sizeof record));

    SP_NEWDEVICEWIZARD_DATA out = {};
    out.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetClassInstallParamsA(set, &first, &out.ClassInstallHeader, 100, &required));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, DWORD(sizeof record));
    out.ClassInstallHeader.cbSize = 0;
    EXPECT_FALSE(SetupDiGetClassInstallParamsA(set, &first, &out.ClassInstallHeader, sizeof out, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));

    EXPECT_FALSE(SetupDiGetClassInstallParamsA(INVALID_HANDLE_VALUE, nullptr, &out.ClassInstallHeader, sizeof out,
                                               nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SP_DEVINFO_DATA bad = first;
    bad.cbSize = 12;
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set, &bad, &record.ClassInstallHeader, sizeof record));
}

TEST_F(DeviceSet, DeviceInstallParametersAreKeptPerElementAndForTheWholeSet)
{
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof params;
    ASSERT_EQ(sizeof params, 320u);
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, nullptr, &params));
    EXPECT_EQ(params.Flags, 0u);
    params.FlagsEx |= 0x8;
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsA(set, nullptr, &params));

    SP_DEVINSTALL_PARAMS_A element = {};
    element.cbSize = sizeof element;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &first, &element));
    EXPECT_EQ(element.FlagsEx, 0u) << "the set-wide parameters are not the element's";
    element.Flags |= DI_NEEDREBOOT;
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsA(set, &first, &element));

    SP_DEVINSTALL_PARAMS_A back = {};
    back.cbSize = sizeof back;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, nullptr, &back));
    EXPECT_EQ(back.FlagsEx, 0x8u);
    EXPECT_EQ(back.Flags, 0u);
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &first, &back));
    EXPECT_EQ(back.Flags, DWORD(DI_NEEDREBOOT));

    back.cbSize = sizeof back - 4;
    EXPECT_FALSE(SetupDiGetDeviceInstallParamsA(set, &first, &back));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
}

TEST_F(DeviceSet, ScriptedFailuresCountDown)
{
    SetupapiSim sim = FindSetupapiSim();
    ASSERT_TRUE(sim.Loaded());
    int before = sim.callCount("SetupDiGetDeviceInstallParamsA");
    ASSERT_TRUE(sim.fail("SetupDiGetDeviceInstallParamsA", 1, ERROR_ACCESS_DENIED));
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof params;
    EXPECT_FALSE(SetupDiGetDeviceInstallParamsA(set, &first, &params));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(SetupDiGetDeviceInstallParamsA(set, &first, &params));
    EXPECT_EQ(sim.callCount("SetupDiGetDeviceInstallParamsA"), before + 2);
    EXPECT_EQ(sim.callCount("SetupDiGetClassDevsA"), -1) << "forwarded functions are not counted";
    EXPECT_FALSE(sim.fail("SetupDiGetClassDevsA", 1, ERROR_ACCESS_DENIED));
}

TEST(SetupapiSimulator, RebootPromptAnswersFromTheScriptAndShowsNothing)
{
    SetupapiSim sim = FindSetupapiSim();
    ASSERT_TRUE(sim.Loaded());
    HWND owner = reinterpret_cast<HWND>(ULONG_PTR(0x1234));
    int before = sim.rebootPrompts(nullptr);
    sim.setRebootAnswer(KUVANA_SIM_REBOOT_DECLINE);
    EXPECT_EQ(SetupPromptReboot(nullptr, owner, FALSE), SPFILEQ_REBOOT_RECOMMENDED);
    sim.setRebootAnswer(KUVANA_SIM_REBOOT_ACCEPT);
    EXPECT_EQ(SetupPromptReboot(nullptr, owner, FALSE), SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS);
    EXPECT_EQ(SetupPromptReboot(nullptr, nullptr, TRUE), 0) << "a scan is not a prompt";
    HWND last = nullptr;
    EXPECT_EQ(sim.rebootPrompts(&last), before + 2);
    EXPECT_EQ(last, owner);
    sim.setRebootAnswer(KUVANA_SIM_REBOOT_DECLINE);
}

// A forwarded function Wine only stubs would abort the process here: the list
// the static check trusts is the list this test calls.
TEST(SetupapiSimulator, ForwardedFunctionsTheProductReliesOnAreRealInWine)
{
    std::ifstream list(KUVANA_SOURCE_DIR "/sim/setupapi/forwarded_verified.txt");
    ASSERT_TRUE(list.good());
    HMODULE wine = LoadLibraryA("setupapi_wine.dll");
    ASSERT_NE(wine, nullptr);
    typedef ULONG_PTR(WINAPI * AnyProc)(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                        ULONG_PTR, ULONG_PTR);
    std::string name;
    int called = 0;
    while (std::getline(list, name)) {
        if (name.empty() || name[0] == '#')
            continue;
        FARPROC proc = GetProcAddress(wine, name.c_str());
        ASSERT_NE(proc, nullptr) << name;
        fprintf(stderr, "calling %s with null arguments\n", name.c_str());
        // Null arguments: a real implementation fails cleanly (or makes an
        // empty set), a stub ends the process.
        reinterpret_cast<AnyProc>(reinterpret_cast<void (*)()>(proc))(0, 0, 0, 0, 0, 0, 0, 0);
        ++called;
    }
    EXPECT_GT(called, 3);
}

TEST(SetupapiSimulator, ForwardsEnumerationToWine)
{
    // The real implementation answers an empty interface class with an empty set.
    HDEVINFO devices = SetupDiGetClassDevsA(&kTestClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(devices, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(devices, nullptr, &kTestClass, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(devices));
}
