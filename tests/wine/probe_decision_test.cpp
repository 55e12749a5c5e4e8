// The two finish-install decisions over simulated readers, on an English and
// (LC_ALL=ja_JP.UTF-8) a Japanese system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "probe/bounded_request.h"
#include "probe/decision.h"
#include "support/readers_scenario.h"

using readers::Reader;

namespace {

Reader Named(int kind, uint32_t unit, uint32_t identity, const std::string& name)
{
    Reader r;
    r.kind = kind;
    r.unit = unit;
    r.identity = identity;
    if (!name.empty()) {
        r.names[readers::english] = name;
        r.names[readers::japanese] = name;
    }
    return r;
}

const uint32_t embGroup1 = 0xC021;  // bits 14 and 15, series 2
const uint32_t embGroup2 = 0x4021;
const uint32_t embGroup8 = 0xC041;  // series 4
const uint32_t portGroup1 = 0x0002;
const uint32_t portGroup8 = 0x0005;

struct Flags {
    int kps;
    int kl;
    int pcscB;
};

bool operator==(const Flags& a, const Flags& b)
{
    return a.kps == b.kps && a.kl == b.kl && a.pcscB == b.pcscB;
}

std::ostream& operator<<(std::ostream& out, const Flags& f)
{
    return out << "KPS " << f.kps << " KL " << f.kl << " PCSC_B " << f.pcscB;
}

Flags Select()
{
    needKlPackage = 1;  // whatever a previous run left, the decision starts afresh
    needPcscBPackage = 1;
    needKpsPackage = 0;
    EXPECT_EQ(0u, SelectPackages());
    return Flags{needKpsPackage, needKlPackage, needPcscBPackage};
}

bool Japanese()
{
    return GetSystemDefaultLangID() == 0x0411;
}

class Decision : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        readers::RemoveDriverFiles();
        for (int kind = 0; kind < 3; ++kind)
            ASSERT_TRUE(readers::InstallDriverFile(kind, "1.0.0.0", &error)) << error;
        readers::DeleteKey(readers::softwareKey);
        readers::DeleteKey(readers::uninstallKey);
        readers::DeleteKey(readers::driverSoftwareKey);
    }
    static void TearDownTestSuite()
    {
        readers::RemoveAll();
        readers::RemoveDriverFiles();
        readers::DeleteKey(readers::uninstallKey);
        readers::DeleteKey(readers::driverSoftwareKey);
    }
    void Install(const std::vector<Reader>& list)
    {
        std::string error;
        ASSERT_TRUE(readers::Install(list, &error)) << error;
    }
    void RegisterSoftware(const std::string& driverVersion)
    {
        ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "2.4.0"));
        ASSERT_TRUE(readers::SetString(readers::driverSoftwareKey, "DriverVersion", driverVersion));
    }
};

}  // namespace

// Declared first: the flags as the module loaded them.
TEST(PackageFlags, KpsOnlyAtLoad)
{
    EXPECT_EQ(1, needKpsPackage);
    EXPECT_EQ(0, needKlPackage);
    EXPECT_EQ(0, needPcscBPackage);
}

// The Japanese run must really be one, or its expectations prove nothing.
TEST(SystemLanguage, IsTheOneTheRunAskedFor)
{
    const bool wanted = GetEnvironmentVariableA("KUVANA_EXPECT_JAPANESE", nullptr, 0) != 0;
    EXPECT_EQ(wanted, Japanese());
}

TEST_F(Decision, SelectPackagesByModelNamesOnAJapaneseSystemOnly)
{
    const Flags kpsOnly = {1, 0, 0};
    const Flags kl = {1, 1, 0};
    const Flags all = {1, 1, 1};
    const bool japanese = Japanese();
    const struct {
        std::vector<Reader> readers;
        Flags japanese;
    } cases[] = {
        {{Named(1, 0, embGroup1, "TQ-460")}, kl},
        {{Named(1, 0, embGroup1, "TQ-410/P")}, all},
        {{Named(1, 0, embGroup2, "TQ-410/S"), Named(1, 1, embGroup2, "TQ-470")}, all},
        {{Named(0, 3, portGroup1, "model 460 port")}, kl},
        {{Named(1, 0, embGroup1, "TQ-460"), Named(1, 1, embGroup1, "TQ-470")}, all},
        // groups 4 and 8 are never visited, whatever their names
        {{Named(1, 0, embGroup8, "TQ-470"), Named(0, 1, portGroup8, "TQ-410/P"), Named(2, 2, 0x01, "TQ-470")},
         kpsOnly},
        // a reader that cannot tell its name and matches no table row
        {{Named(1, 0, 0xFFFFFFFF, "")}, kpsOnly},
        {{Named(1, 0, embGroup1, "tq-410/p")}, kpsOnly},
        {{}, kpsOnly},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Install(cases[i].readers);
        EXPECT_EQ(japanese ? cases[i].japanese : kpsOnly, Select()) << "case " << i;
        if (!japanese)
            EXPECT_EQ(0u, readers::TotalCounters().opens) << "an English system opens no reader, case " << i;
    }
}

TEST_F(Decision, SelectPackagesSkipsReadersWithoutTheirDriverFile)
{
    Install({Named(1, 0, embGroup1, "TQ-470"), Named(0, 1, portGroup1, "TQ-460")});
    ASSERT_TRUE(readers::RemoveDriverFile(1));
    EXPECT_EQ(Japanese() ? (Flags{1, 1, 0}) : (Flags{1, 0, 0}), Select());
    readers::RemoveDriverFiles();
    EXPECT_EQ((Flags{1, 0, 0}), Select());
}

TEST_F(Decision, NeedWizardPagesWhenTheSoftwareIsNotRegistered)
{
    Install({Named(1, 0, embGroup1, "TQ-460")});
    EXPECT_EQ(1u, NeedWizardPages());
    EXPECT_EQ(0u, readers::TotalCounters().opens);  // decided before any reader is opened
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "2.4.0", REG_EXPAND_SZ));
    EXPECT_EQ(1u, NeedWizardPages());
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "2.4.0"));
    EXPECT_EQ(1u, NeedWizardPages());  // no driver software key
    ASSERT_TRUE(readers::SetString(readers::driverSoftwareKey, "Other", "1"));
    EXPECT_EQ(1u, NeedWizardPages());  // no DriverVersion
    EXPECT_EQ(0u, readers::TotalCounters().opens);
    ASSERT_TRUE(readers::SetString(readers::driverSoftwareKey, "DriverVersion", "1.0.0.0"));
    EXPECT_EQ(0u, NeedWizardPages());
}

TEST_F(Decision, NeedWizardPagesWhenAnEmbReadersDriverIsNewer)
{
    Reader emb = Named(1, 0, embGroup1, "TQ-460");
    emb.driverVersion = "2.0.0.0";
    Install({Named(0, 1, portGroup1, "port"), emb});
    const struct {
        const char* registered;
        DWORD pages;
    } cases[] = {{"1.5.0.0", 1}, {"1.99", 1}, {"2.0.0.0", 0}, {"2.0", 0}, {"2.0.0.1", 0}, {"10.0.0.0", 0}};
    for (const auto& c : cases) {
        RegisterSoftware(c.registered);
        EXPECT_EQ(c.pages, NeedWizardPages()) << c.registered;
    }
    // The value's type is not checked: a DWORD 0x31 reads as the text "1".
    DWORD one = 0x31;
    ASSERT_TRUE(readers::SetValue(readers::driverSoftwareKey, "DriverVersion", REG_DWORD, &one, 4));
    EXPECT_EQ(1u, NeedWizardPages());
    // 128 bytes without a terminator are read as 128 characters, no further.
    const std::string nines(128, '9');
    ASSERT_TRUE(readers::SetValue(readers::driverSoftwareKey, "DriverVersion", REG_BINARY, nines.data(), 128));
    EXPECT_EQ(0u, NeedWizardPages());
    ASSERT_TRUE(readers::SetString(readers::driverSoftwareKey, "DriverVersion", std::string(200, '1')));
    EXPECT_EQ(1u, NeedWizardPages());  // too long for its 128 bytes: the query fails
}

TEST_F(Decision, NeedWizardPagesIgnoresReadersOutsideEmbGroupOne)
{
    Reader port = Named(0, 1, portGroup1, "port");
    port.driverVersion = "9.0.0.0";
    Reader emb2 = Named(1, 2, embGroup2, "TQ-460");
    emb2.driverVersion = "9.0.0.0";
    Reader emb8 = Named(1, 3, embGroup8, "TQ-460");
    emb8.driverVersion = "9.0.0.0";
    Install({port, emb2, emb8, Named(2, 4, 0x01, "")});
    RegisterSoftware("1.0.0.0");
    EXPECT_EQ(0u, NeedWizardPages());

    Reader emb1 = Named(1, 5, embGroup1, "TQ-460");
    emb1.driverVersion = "9.0.0.0";
    Install({port, emb2, emb8, emb1});
    EXPECT_EQ(1u, NeedWizardPages());
    ASSERT_TRUE(readers::RemoveDriverFile(1));  // its driver file is gone: not in the inventory
    EXPECT_EQ(0u, NeedWizardPages());
}

// The reader's own DriverVersion text is compared whole with the registered
// one: packed, 2.1.300.0 would read as 2.1.44.0 and look older than 2.1.100.0.
TEST_F(Decision, NeedWizardPagesComparesWholeDriverVersionTexts)
{
    const struct {
        const char* reader;
        const char* registered;
        DWORD pages;
    } cases[] = {
        {"2.1.300.0", "2.1.100.0", 1},   // newer, a number above 255
        {"2.1.300.0", "2.1.300.0", 0},   // equal
        {"2.1.300.0", "2.1.301.0", 0},   // older
        {"2.1.300.0", "not a version", 1},  // reads as 0.0.0.0
        {"not a version", "2.1.100.0", 0},
    };
    std::string installed;
    for (const auto& c : cases) {
        if (installed != c.reader) {
            Reader emb = Named(1, 0, embGroup1, "TQ-460");
            emb.driverVersion = c.reader;
            Install({emb});
            installed = c.reader;
        }
        RegisterSoftware(c.registered);
        EXPECT_EQ(c.pages, NeedWizardPages()) << c.reader << " against " << c.registered;
    }
}

// A reader that never completes a request holds each decision up for the
// request's time bound once, and the decision comes out as if the request
// had failed.
TEST_F(Decision, AReaderThatNeverAnswersCostsTheBoundOnceAndCountsAsFailing)
{
    struct Outcome {
        Flags flags;
        DWORD pages;
    };
    auto decide = [](const char* what) {
        Outcome outcome;
        ULONGLONG t0 = GetTickCount64();
        outcome.flags = Select();
        ULONGLONG t1 = GetTickCount64();
        outcome.pages = NeedWizardPages();
        ULONGLONG t2 = GetTickCount64();
        const ULONGLONG limit = readerRequestTimeoutMs + 1000;
        EXPECT_LT(t1 - t0, limit) << what << ": SelectPackages";
        EXPECT_LT(t2 - t1, limit) << what << ": NeedWizardPages";
        return outcome;
    };
    RegisterSoftware("1.0.0.0");
    // identity: in the walk; word: in the walk of a zrvport reader, whose
    // identity request is not checked; model name: in the identification.
    const struct {
        int kind;
        uint32_t identity;
        const char* code;
    } cases[] = {{1, embGroup1, "2221E4"}, {0, portGroup1, "222450"}, {1, embGroup1, "222804"}};
    for (const auto& c : cases) {
        Outcome outcomes[2];
        for (int stalled = 0; stalled < 2; ++stalled) {
            Reader reader = Named(c.kind, 0, c.identity, "TQ-460");
            reader.driverVersion = "9.0.0.0";
            if (stalled)
                reader.stalls.push_back(c.code);
            else
                reader.failures[c.code] = ERROR_IO_DEVICE;
            Install({reader});
            outcomes[stalled] = decide(c.code);
        }
        EXPECT_EQ(outcomes[0].flags, outcomes[1].flags) << c.code;
        EXPECT_EQ(outcomes[0].pages, outcomes[1].pages) << c.code;
    }
}

namespace {

const char resultEnv[] = "KUVANA_DECISION_RESULT";

// Child mode: both decisions under the Windows version the prefix reports.
int DecideInChild(const char* resultFile)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    SelectPackages();
    DWORD pages = NeedWizardPages();
    FILE* out = std::fopen(resultFile, "w");
    if (out == nullptr)
        return 2;
    std::fprintf(out, "%lu %d %d %d %lu", static_cast<unsigned long>(info.dwMajorVersion), needKpsPackage, needKlPackage,
                 needPcscBPackage, static_cast<unsigned long>(pages));
    std::fclose(out);
    return 0;
}

}  // namespace

// Windows 10 decides as XP and 7 do; only a system the driver probe does not
// handle (NT 4.0) falls back to KPS only and to adding the pages.
TEST_F(Decision, DecisionsAreTheSameFromXpToWindows10)
{
    Reader emb = Named(1, 0, embGroup1, "TQ-410/P");
    emb.driverVersion = "2.0.0.0";
    Install({emb});
    RegisterSoftware("2.0.0.0");
    const std::string handled = Japanese() ? "1 1 1 0" : "1 0 0 0";
    EXPECT_EQ("5 " + handled, readers::RunSelfWithWindowsVersion("winxp64", resultEnv));
    EXPECT_EQ("6 " + handled, readers::RunSelfWithWindowsVersion("win7", resultEnv));
    EXPECT_EQ("10 " + handled, readers::RunSelfWithWindowsVersion("win10", resultEnv));
    EXPECT_EQ("4 1 0 0 1", readers::RunSelfWithWindowsVersion("nt40", resultEnv));
}

int main(int argc, char** argv)
{
    char resultFile[MAX_PATH] = {};
    if (GetEnvironmentVariableA(resultEnv, resultFile, MAX_PATH) != 0)
        return DecideInChild(resultFile);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
